// Distinct colours of a 4x4 block, AVX tier: one pass shared by every source layout, with
// a loader per layout that builds the block's 16 colour keys (red in the low byte, then
// green and blue, top byte zero) as four row vectors. Each row load touches exactly the
// block's bytes of that row.
#include <immintrin.h>

#include <cstring>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {

inline const uint8_t *row_of(const uint8_t *plane, int64_t stride, int r) { return plane + r * stride; }

inline __m128i load32(const uint8_t *p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}
inline __m128i load64(const uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }
inline __m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

// Bytes of one 16-byte row picked into the four keys; -1 gives a zero byte.
template <int R, int G, int B, int Step>
inline __m128i pick_mask() {
    return _mm_setr_epi8(R, G, B, -1, Step + R, Step + G, Step + B, -1, 2 * Step + R, 2 * Step + G, 2 * Step + B, -1,
                         3 * Step + R, 3 * Step + G, 3 * Step + B, -1);
}

// Four-byte pixels; R, G, B the byte of each channel.
template <int R, int G, int B>
struct Packed8 {
    static void keys(__m128i *k, const uint8_t *const *pl, const int64_t *st) {
        const __m128i pick = pick_mask<R, G, B, 4>();
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) { k[r] = _mm_shuffle_epi8(load128(row_of(pl[0], st[0], r)), pick); }
    }
};

// Three-byte pixels: a row is an 8-byte and a 4-byte load.
template <int R, int G, int B>
struct Packed24 {
    static void keys(__m128i *k, const uint8_t *const *pl, const int64_t *st) {
        const __m128i pick = pick_mask<R, G, B, 3>();
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) {
            const uint8_t *p = row_of(pl[0], st[0], r);
            k[r] = _mm_shuffle_epi8(_mm_unpacklo_epi64(load64(p), load32(p + 8)), pick);
        }
    }
};

// Channel reductions of 16-bit samples to 8 bits, in the low byte of each word.
struct High8 {
    static __m128i get(__m128i s) { return _mm_srli_epi16(s, 8); }
};
struct Scaled15 {  // 0x8000 and above give 255
    static __m128i get(__m128i s) { return _mm_srli_epi16(_mm_min_epu16(s, _mm_set1_epi16(0x7FFF)), 7); }
};
template <int Bits>
struct LowBits {
    static __m128i get(__m128i s) {
        return _mm_srli_epi16(_mm_and_si128(s, _mm_set1_epi16((1 << Bits) - 1)), Bits - 8);
    }
};

// Four 16-bit words per pixel; R, G, B the word of each channel. The low bytes of the
// reduced words are picked.
template <int R, int G, int B, class Reduce>
struct Packed16 {
    static void keys(__m128i *k, const uint8_t *const *pl, const int64_t *st) {
        const __m128i lo =
            _mm_setr_epi8(2 * R, 2 * G, 2 * B, -1, 8 + 2 * R, 8 + 2 * G, 8 + 2 * B, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m128i hi =
            _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2 * R, 2 * G, 2 * B, -1, 8 + 2 * R, 8 + 2 * G, 8 + 2 * B, -1);
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) {
            const uint8_t *p = row_of(pl[0], st[0], r);
            k[r] = _mm_or_si128(_mm_shuffle_epi8(Reduce::get(load128(p)), lo),
                                _mm_shuffle_epi8(Reduce::get(load128(p + 16)), hi));
        }
    }
};

// Keys from three rows of four 8-bit samples (in the low 4 bytes of each vector).
inline __m128i planar_keys(__m128i r, __m128i g, __m128i b) {
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(r, g), _mm_unpacklo_epi8(b, _mm_setzero_si128()));
}

struct Planar8 {
    static void keys(__m128i *k, const uint8_t *const *pl, const int64_t *st) {
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) {
            k[r] = planar_keys(load32(row_of(pl[0], st[0], r)), load32(row_of(pl[1], st[1], r)),
                               load32(row_of(pl[2], st[2], r)));
        }
    }
};

template <class Reduce>
struct Planar16 {
    static __m128i plane(const uint8_t *p) { return _mm_packus_epi16(Reduce::get(load64(p)), _mm_setzero_si128()); }
    static void keys(__m128i *k, const uint8_t *const *pl, const int64_t *st) {
#pragma GCC unroll 4
        for (int r = 0; r < 4; ++r) {
            k[r] = planar_keys(plane(row_of(pl[0], st[0], r)), plane(row_of(pl[1], st[1], r)),
                               plane(row_of(pl[2], st[2], r)));
        }
    }
};

inline uint32_t lane(__m128i v, int i) {
    switch (i) {
    case 0: return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    case 1: return static_cast<uint32_t>(_mm_extract_epi32(v, 1));
    case 2: return static_cast<uint32_t>(_mm_extract_epi32(v, 2));
    default: return static_cast<uint32_t>(_mm_extract_epi32(v, 3));
    }
}

// The distinct-colour walk. A matched key is ORed to all ones, which no key equals (its
// top byte is zero), so it also marks the pixel assigned; pixels of earlier rows are all
// assigned when a colour opens, so only its own row and the rows below are compared.
template <class Loader>
void gather(float (*colors)[4], uint64_t *count, int32_t *map, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,
            int64_t s0, int64_t s1, int64_t s2) {
    const uint8_t *const planes[3] = {p0, p1, p2};
    const int64_t strides[3] = {s0, s1, s2};
    __m128i keys[4];
    Loader::keys(keys, planes, strides);
    __m128i rows[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    __m128i number = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi32(1);
    const __m128 scale = _mm_set1_ps(255.0f);
    int32_t *const pixel_counts = map + 16;
    uint32_t n = 0, assigned = 0;
#pragma GCC unroll 16
    for (int k = 0; k < 16; ++k) {
        const int row = k / 4;
        const uint32_t key = lane(keys[row], k % 4);
        if (key == 0xFFFFFFFFu) { continue; }
        const __m128i wanted = _mm_set1_epi32(static_cast<int32_t>(key));
        __m128i matched = _mm_setzero_si128();
#pragma GCC unroll 4
        for (int r = row; r < 4; ++r) {
            const __m128i eq = _mm_cmpeq_epi32(keys[r], wanted);
            keys[r] = _mm_or_si128(keys[r], eq);
            rows[r] = _mm_or_si128(rows[r], _mm_and_si128(eq, number));
            matched = _mm_add_epi32(matched, _mm_and_si128(eq, one));
        }
        matched = _mm_hadd_epi32(matched, matched);
        matched = _mm_hadd_epi32(matched, matched);
        const uint32_t found = static_cast<uint32_t>(_mm_cvtsi128_si32(matched));
        const __m128 c = _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(key))));
        _mm_storeu_ps(colors[n], _mm_div_ps(c, scale));
        pixel_counts[n] = static_cast<int32_t>(found);
        ++n;
        number = _mm_add_epi32(number, one);
        assigned += found;
        if (assigned == 16) { break; }
    }
    *count = n;
#pragma GCC unroll 4
    for (int r = 0; r < 4; ++r) { _mm_storeu_si128(reinterpret_cast<__m128i *>(map + 4 * r), rows[r]); }
}

using Argb8 = Packed8<1, 2, 3>;
using Bgra8 = Packed8<2, 1, 0>;
using Rgba8 = Packed8<0, 1, 2>;
using Rgb8 = Packed24<0, 1, 2>;
using Bgr8 = Packed24<2, 1, 0>;
using Argb16 = Packed16<1, 2, 3, High8>;
using Argb15 = Packed16<1, 2, 3, Scaled15>;
using Rgba16 = Packed16<0, 1, 2, High8>;

}  // namespace

#define CLUSTER_AVX_GATHER(name, loader)                                                                           \
    void to_unique_colors_##name##_avx(float(*colors)[4], uint64_t *count, int32_t *map, const uint8_t *p0,        \
                                       const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1, int64_t s2) { \
        gather<loader>(colors, count, map, p0, p1, p2, s0, s1, s2);                                                \
    }
CLUSTER_AVX_GATHER(argb8, Argb8)
CLUSTER_AVX_GATHER(bgra8, Bgra8)
CLUSTER_AVX_GATHER(rgba8, Rgba8)
CLUSTER_AVX_GATHER(rgb8, Rgb8)
CLUSTER_AVX_GATHER(bgr8, Bgr8)
CLUSTER_AVX_GATHER(planar8, Planar8)
CLUSTER_AVX_GATHER(planar10, Planar16<LowBits<10>>)
CLUSTER_AVX_GATHER(planar12, Planar16<LowBits<12>>)
CLUSTER_AVX_GATHER(planar16, Planar16<High8>)
CLUSTER_AVX_GATHER(argb16, Argb16)
CLUSTER_AVX_GATHER(argb15, Argb15)
CLUSTER_AVX_GATHER(rgba16, Rgba16)
#undef CLUSTER_AVX_GATHER

DxtToUniqueColorsFn cluster_unique_colors_kernel_avx(uint32_t pixel_format) {
    static constexpr DxtToUniqueColorsFn kPacked16[3] = {to_unique_colors_argb16_avx, to_unique_colors_argb15_avx,
                                                         to_unique_colors_rgba16_avx};
    switch (pixel_format) {
    case DXTENC_PIX_ARGB8: return to_unique_colors_argb8_avx;
    case DXTENC_PIX_BGRA8:
    case DXTENC_PIX_BGRA8_BOTTOM_UP: return to_unique_colors_bgra8_avx;
    case DXTENC_PIX_RGBA8: return to_unique_colors_rgba8_avx;
    case DXTENC_PIX_ARGB16:
    case DXTENC_PIX_ARGB16_SCALED:
    case DXTENC_PIX_RGBA16: return kPacked16[pixel_format - DXTENC_PIX_ARGB16];
    case DXTENC_PIX_RGB8: return to_unique_colors_rgb8_avx;
    case DXTENC_PIX_BGR8: return to_unique_colors_bgr8_avx;
    case DXTENC_PIX_PLANAR_RGBA8:
    case DXTENC_PIX_PLANAR_RGB8: return to_unique_colors_planar8_avx;
    case DXTENC_PIX_PLANAR_RGB10: return to_unique_colors_planar10_avx;
    case DXTENC_PIX_PLANAR_RGB12: return to_unique_colors_planar12_avx;
    case DXTENC_PIX_PLANAR_RGBA16:
    case DXTENC_PIX_PLANAR_RGB16: return to_unique_colors_planar16_avx;
    default: return nullptr;
    }
}
