// AVX block gathering: the whole block is loaded into four channel vectors (red, green,
// blue, alpha; 16 bytes each, pixel i in byte i), from which the planar block, the
// same-colour flag, the channel range, alpha and luma come without branches.
// Reads exactly the block's bytes. Layout-5 words above 0x8000 give 255 here.
#include <immintrin.h>

#include <cstring>

#include "texenc/dxtenc_kernels.h"

#pragma GCC target("avx")

namespace {

struct Channels {
    __m128i r, g, b, a;
};

inline __m128i load32(const uint8_t *p) {
    int v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

inline __m128i load64(const uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }

inline __m128i load96(const uint8_t *p) {
    __m128i v = load64(p);
    int hi;
    std::memcpy(&hi, p + 8, 4);
    return _mm_insert_epi32(v, hi, 2);
}

// Four rows, each [r0..r3 g0..g3 b0..b3 a0..a3], to channel vectors.
inline Channels transpose_rows(__m128i x0, __m128i x1, __m128i x2, __m128i x3) {
    __m128i t0 = _mm_unpacklo_epi32(x0, x1), t1 = _mm_unpacklo_epi32(x2, x3);
    __m128i u0 = _mm_unpackhi_epi32(x0, x1), u1 = _mm_unpackhi_epi32(x2, x3);
    return {_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1), _mm_unpacklo_epi64(u0, u1),
            _mm_unpackhi_epi64(u0, u1)};
}

// Byte positions of R, G, B, A in a 4-byte pixel (layouts 0, 1, 3) or a 3-byte pixel
// (8, 9; alpha then comes from a constant 255 lane).
template <uint32_t L>
inline __m128i pixel_shuffle() {
    if constexpr (L == 0)
        return _mm_setr_epi8(1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12);
    else if constexpr (L == 3)
        return _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    else if constexpr (L == 1 || L == 2)
        return _mm_setr_epi8(2, 6, 10, 14, 1, 5, 9, 13, 0, 4, 8, 12, 3, 7, 11, 15);
    else if constexpr (L == 8)
        return _mm_setr_epi8(0, 3, 6, 9, 1, 4, 7, 10, 2, 5, 8, 11, 15, 15, 15, 15);
    else
        return _mm_setr_epi8(2, 5, 8, 11, 1, 4, 7, 10, 0, 3, 6, 9, 15, 15, 15, 15);
}

// 16-bit samples to 8 bits by the layout's rule (v: eight words).
template <uint32_t L>
inline __m128i reduce16(__m128i v) {
    if constexpr (L == 5)
        return _mm_srli_epi16(v, 7);  // packus saturates above 255
    else if constexpr (L == 12)
        return _mm_and_si128(_mm_srli_epi16(v, 2), _mm_set1_epi16(0xFF));
    else if constexpr (L == 13)
        return _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi16(0xFF));
    else
        return _mm_srli_epi16(v, 8);
}

template <uint32_t L>
inline Channels load_block(const uint8_t *const *planes, const int64_t *strides) {
    const __m128i opaque = _mm_set1_epi8(char(0xFF));
    if constexpr (L <= 3) {
        const __m128i sh = pixel_shuffle<L>();
        __m128i x[4];
        for (int r = 0; r < 4; r++) {
            x[r] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(planes[0] + r * strides[0])), sh);
        }
        return transpose_rows(x[0], x[1], x[2], x[3]);
    } else if constexpr (L == 8 || L == 9) {
        const __m128i sh = pixel_shuffle<L>();
        __m128i x[4];
        for (int r = 0; r < 4; r++) {
            // Lane 15 of the shuffle picks byte 15, which the insert leaves 0; set it to 255.
            __m128i row = _mm_insert_epi32(load96(planes[0] + r * strides[0]), -1, 3);
            x[r] = _mm_shuffle_epi8(row, sh);
        }
        return transpose_rows(x[0], x[1], x[2], x[3]);
    } else if constexpr (L >= 4 && L <= 6) {
        // Words per pixel: A R G B (4, 5) or R G B A (6).
        const __m128i sh = L == 6 ? _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15)
                                  : _mm_setr_epi8(2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9);
        __m128i x[4];
        for (int r = 0; r < 4; r++) {
            const uint8_t *row = planes[0] + r * strides[0];
            // Pixels 0, 1 then 2, 3 as [R0 R1 G0 G1 B0 B1 A0 A1] words.
            __m128i lo = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row)), sh);
            __m128i hi = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + 16)), sh);
            // [R0 R1 R2 R3 G0..G3] and [B0..B3 A0..A3] as words, then to bytes.
            __m128i rg = _mm_unpacklo_epi32(lo, hi), ba = _mm_unpackhi_epi32(lo, hi);
            x[r] = _mm_packus_epi16(reduce16<L>(rg), reduce16<L>(ba));
        }
        return transpose_rows(x[0], x[1], x[2], x[3]);
    } else if constexpr (L == 10 || L == 11) {
        Channels c;
        __m128i *dst[4] = {&c.r, &c.g, &c.b, &c.a};
        const int n = L == 10 ? 4 : 3;
        for (int k = 0; k < n; k++) {
            const uint8_t *p = planes[k];
            const int64_t s = strides[k];
            __m128i v = _mm_unpacklo_epi32(load32(p), load32(p + s));
            __m128i w = _mm_unpacklo_epi32(load32(p + 2 * s), load32(p + 3 * s));
            *dst[k] = _mm_unpacklo_epi64(v, w);
        }
        if (L == 11) c.a = opaque;
        return c;
    } else {
        static_assert(L >= 12 && L <= 15, "no loader");
        Channels c;
        __m128i *dst[4] = {&c.r, &c.g, &c.b, &c.a};
        const int n = L == 14 ? 4 : 3;
        for (int k = 0; k < n; k++) {
            const uint8_t *p = planes[k];
            const int64_t s = strides[k];
            __m128i v = _mm_unpacklo_epi64(load64(p), load64(p + s));
            __m128i w = _mm_unpacklo_epi64(load64(p + 2 * s), load64(p + 3 * s));
            *dst[k] = _mm_packus_epi16(reduce16<L>(v), reduce16<L>(w));
        }
        if (L != 14) c.a = opaque;
        return c;
    }
}

inline uint8_t hmin(__m128i v) {
    v = _mm_min_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 1));
    return uint8_t(_mm_cvtsi128_si32(v));
}

inline uint8_t hmax(__m128i v) {
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    return uint8_t(_mm_cvtsi128_si32(v));
}

inline void store_planar(uint8_t *planar, const Channels &c) {
    _mm_store_si128(reinterpret_cast<__m128i *>(planar), c.r);
    _mm_store_si128(reinterpret_cast<__m128i *>(planar + 16), c.g);
    _mm_store_si128(reinterpret_cast<__m128i *>(planar + 32), c.b);
}

template <uint32_t L, int Form>
void planar_avx(uint8_t *planar, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1,
                int64_t s2, uint64_t *result) {
    const uint8_t *planes[4] = {p0, p1, p2, p2};
    const int64_t strides[4] = {s0, s1, s2, s2};
    Channels c = load_block < L == 10 ? 11 : L == 14 ? 15 : L > (planes, strides);
    store_planar(planar, c);
    if constexpr (Form == 0) {
        const __m128i zero = _mm_setzero_si128();
        __m128i eq = _mm_and_si128(_mm_cmpeq_epi8(c.r, _mm_shuffle_epi8(c.r, zero)),
                                   _mm_cmpeq_epi8(c.g, _mm_shuffle_epi8(c.g, zero)));
        eq = _mm_and_si128(eq, _mm_cmpeq_epi8(c.b, _mm_shuffle_epi8(c.b, zero)));
        *result = _mm_movemask_epi8(eq) == 0xFFFF ? 1 : 0;
    } else {
        int rr = hmax(c.r) - hmin(c.r), rg = hmax(c.g) - hmin(c.g), rb = hmax(c.b) - hmin(c.b);
        int m = rr > rg ? rr : rg;
        *result = uint64_t(m > rb ? m : rb);
    }
}

template <uint32_t L>
void alpha_avx(uint8_t *values, const uint8_t *p0, const uint8_t *p3, int64_t s0, int64_t s3, uint64_t *min,
               uint64_t *max) {
    const uint8_t *planes[4] = {p0, p0, p0, p3};
    const int64_t strides[4] = {s0, s0, s0, s3};
    __m128i a;
    if constexpr (L == 10) {
        const uint8_t *p = p3;
        __m128i v = _mm_unpacklo_epi32(load32(p), load32(p + s3));
        __m128i w = _mm_unpacklo_epi32(load32(p + 2 * s3), load32(p + 3 * s3));
        a = _mm_unpacklo_epi64(v, w);
    } else if constexpr (L == 14) {
        const uint8_t *p = p3;
        __m128i v = _mm_unpacklo_epi64(load64(p), load64(p + s3));
        __m128i w = _mm_unpacklo_epi64(load64(p + 2 * s3), load64(p + 3 * s3));
        a = _mm_packus_epi16(_mm_srli_epi16(v, 8), _mm_srli_epi16(w, 8));
    } else {
        a = load_block<L>(planes, strides).a;
    }
    _mm_store_si128(reinterpret_cast<__m128i *>(values), a);
    *min = hmin(a);
    *max = hmax(a);
}

// floor((R + G + B) / 3) as ((R + G + B) * 43691) >> 17 on eight words.
inline __m128i luma8(__m128i r, __m128i g, __m128i b) {
    __m128i s = _mm_add_epi16(_mm_add_epi16(r, g), b);
    return _mm_srli_epi16(_mm_mulhi_epu16(s, _mm_set1_epi16(short(43691))), 1);
}

template <uint32_t L>
void luma_avx(uint8_t *values, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1,
              int64_t s2, uint64_t *min, uint64_t *max) {
    const uint8_t *planes[4] = {p0, p1, p2, p2};
    const int64_t strides[4] = {s0, s1, s2, s2};
    Channels c = load_block<L>(planes, strides);
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = luma8(_mm_unpacklo_epi8(c.r, zero), _mm_unpacklo_epi8(c.g, zero), _mm_unpacklo_epi8(c.b, zero));
    __m128i hi = luma8(_mm_unpackhi_epi8(c.r, zero), _mm_unpackhi_epi8(c.g, zero), _mm_unpackhi_epi8(c.b, zero));
    __m128i l = _mm_packus_epi16(lo, hi);
    _mm_store_si128(reinterpret_cast<__m128i *>(values), l);
    *min = hmin(l);
    *max = hmax(l);
}

}  // namespace

#define PLANAR_AVX(stem, L)                                                                                          \
    void to_planar_rgb_##stem##_avx(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, \
                                    int64_t s1, int64_t s2, uint64_t *res) {                                         \
        planar_avx<L, 0>(d, p0, p1, p2, s0, s1, s2, res);                                                            \
    }                                                                                                                \
    void to_planar_rgb_range_##stem##_avx(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,       \
                                          int64_t s0, int64_t s1, int64_t s2, uint64_t *res) {                       \
        planar_avx<L, 1>(d, p0, p1, p2, s0, s1, s2, res);                                                            \
    }
PLANAR_AVX(argb8, 0)
PLANAR_AVX(bgra8, 1)
PLANAR_AVX(rgba8, 3)
PLANAR_AVX(argb16, 4)
PLANAR_AVX(argb16_scaled, 5)
PLANAR_AVX(rgba16, 6)
PLANAR_AVX(rgb8, 8)
PLANAR_AVX(bgr8, 9)
PLANAR_AVX(planar_rgb8, 11)
PLANAR_AVX(planar_rgb10, 12)
PLANAR_AVX(planar_rgb12, 13)
PLANAR_AVX(planar_rgb16, 15)
#undef PLANAR_AVX

#define ALPHA_AVX(stem, L)                                                                                             \
    void to_alpha_##stem##_avx(uint8_t *v, const uint8_t *p0, const uint8_t *p3, int64_t s0, int64_t s3, uint64_t *mn, \
                               uint64_t *mx) {                                                                         \
        alpha_avx<L>(v, p0, p3, s0, s3, mn, mx);                                                                       \
    }
ALPHA_AVX(argb8, 0)
ALPHA_AVX(bgra8, 1)
ALPHA_AVX(rgba8, 3)
ALPHA_AVX(argb16, 4)
ALPHA_AVX(argb16_scaled, 5)
ALPHA_AVX(rgba16, 6)
ALPHA_AVX(planar_rgba8, 10)
ALPHA_AVX(planar_rgba16, 14)
#undef ALPHA_AVX

#define LUMA_AVX(stem, L)                                                                                      \
    void to_luma_##stem##_avx(uint8_t *v, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, \
                              int64_t s1, int64_t s2, uint64_t *mn, uint64_t *mx) {                            \
        luma_avx<L>(v, p0, p1, p2, s0, s1, s2, mn, mx);                                                        \
    }
LUMA_AVX(argb8, 0)
LUMA_AVX(bgra8, 1)
LUMA_AVX(rgba8, 3)
LUMA_AVX(argb16, 4)
LUMA_AVX(argb16_scaled, 5)
LUMA_AVX(rgba16, 6)
LUMA_AVX(rgb8, 8)
LUMA_AVX(planar_rgb8, 11)
LUMA_AVX(planar_rgb10, 12)
LUMA_AVX(planar_rgb12, 13)
LUMA_AVX(planar_rgb16, 15)
#undef LUMA_AVX

void alpha_inner_minmax_avx(const uint8_t *values, uint64_t *min, uint64_t *max) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values));
    const __m128i ones = _mm_set1_epi8(char(0xFF));
    const __m128i zero = _mm_setzero_si128();
    // 0 never wins the minimum (seen as 255); 255 never wins the maximum (seen as 0).
    __m128i for_min = _mm_or_si128(v, _mm_cmpeq_epi8(v, zero));
    __m128i for_max = _mm_andnot_si128(_mm_cmpeq_epi8(v, ones), v);
    *min = hmin(for_min);
    *max = hmax(for_max);
}

void alpha_block_indices_avx(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error) {
    // Four values at a time in 32-bit lanes against the eight entries.
    __m128i total = _mm_setzero_si128();
    const __m128i big = _mm_set1_epi32(0x7FFFFFFF);
    for (int q = 0; q < 4; q++) {
        __m128i v = _mm_cvtepu8_epi32(load32(values + 4 * q));
        __m128i best = big, best_k = _mm_setzero_si128();
        for (int k = 0; k < 8; k++) {
            __m128i d = _mm_sub_epi32(v, _mm_set1_epi32(palette[k]));
            d = _mm_mullo_epi32(d, d);
            __m128i lt = _mm_cmplt_epi32(d, best);
            best = _mm_min_epi32(best, d);
            best_k = _mm_blendv_epi8(best_k, _mm_set1_epi32(k), lt);
        }
        total = _mm_add_epi32(total, best);
        __m128i k8 = _mm_packus_epi16(_mm_packus_epi32(best_k, best_k), _mm_setzero_si128());
        int packed = _mm_cvtsi128_si32(k8);
        std::memcpy(indices + 4 * q, &packed, 4);
    }
    total = _mm_add_epi32(total, _mm_srli_si128(total, 8));
    total = _mm_add_epi32(total, _mm_srli_si128(total, 4));
    *error = uint32_t(_mm_cvtsi128_si32(total));
}

const DxtToPlanarRgbFn dxtenc_to_planar_rgb_avx[16] = {
    to_planar_rgb_argb8_avx,        to_planar_rgb_bgra8_avx,
    to_planar_rgb_bgra8_avx,        to_planar_rgb_rgba8_avx,
    to_planar_rgb_argb16_avx,       to_planar_rgb_argb16_scaled_avx,
    to_planar_rgb_rgba16_avx,       nullptr,
    to_planar_rgb_rgb8_avx,         to_planar_rgb_bgr8_avx,
    to_planar_rgb_planar_rgb8_avx,  to_planar_rgb_planar_rgb8_avx,
    to_planar_rgb_planar_rgb10_avx, to_planar_rgb_planar_rgb12_avx,
    to_planar_rgb_planar_rgb16_avx, to_planar_rgb_planar_rgb16_avx,
};
const DxtToPlanarRgbFn dxtenc_to_planar_rgb_range_avx[16] = {
    to_planar_rgb_range_argb8_avx,        to_planar_rgb_range_bgra8_avx,
    to_planar_rgb_range_bgra8_avx,        to_planar_rgb_range_rgba8_avx,
    to_planar_rgb_range_argb16_avx,       to_planar_rgb_range_argb16_scaled_avx,
    to_planar_rgb_range_rgba16_avx,       nullptr,
    to_planar_rgb_range_rgb8_avx,         to_planar_rgb_range_bgr8_avx,
    to_planar_rgb_range_planar_rgb8_avx,  to_planar_rgb_range_planar_rgb8_avx,
    to_planar_rgb_range_planar_rgb10_avx, to_planar_rgb_range_planar_rgb12_avx,
    to_planar_rgb_range_planar_rgb16_avx, to_planar_rgb_range_planar_rgb16_avx,
};
const DxtToAlphaFn dxtenc_to_alpha_avx[16] = {
    to_alpha_argb8_avx,
    to_alpha_bgra8_avx,
    to_alpha_bgra8_avx,
    to_alpha_rgba8_avx,
    to_alpha_argb16_avx,
    to_alpha_argb16_scaled_avx,
    to_alpha_rgba16_avx,
    nullptr,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_planar_rgba8_avx,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_planar_rgba16_avx,
    to_alpha_opaque,
};
const DxtToLumaFn dxtenc_to_luma_avx[16] = {
    to_luma_argb8_avx,        to_luma_bgra8_avx,         to_luma_bgra8_avx,        to_luma_rgba8_avx,
    to_luma_argb16_avx,       to_luma_argb16_scaled_avx, to_luma_rgba16_avx,       nullptr,
    to_luma_rgb8_avx,         to_luma_rgb8_avx,          to_luma_planar_rgb8_avx,  to_luma_planar_rgb8_avx,
    to_luma_planar_rgb10_avx, to_luma_planar_rgb12_avx,  to_luma_planar_rgb16_avx, to_luma_planar_rgb16_avx,
};
