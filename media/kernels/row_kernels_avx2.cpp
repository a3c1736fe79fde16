// AVX2 twins of the row kernels. Each row runs a vector head over whole steps of B pixels,
// then hands the remaining pixels to the plain twin, so tails match it exactly.
#include <immintrin.h>

#include <cstdint>

#include "media/kernels/row_kernels.h"
#include "media/kernels/row_kernels_internal.h"

#pragma GCC target("avx2,fma")

namespace {

// Row r of a plane whose samples are `sample` bytes, the stride used in whole samples.
inline const uint8_t *src_row(const uint8_t *base, int64_t stride, uint32_t r, int64_t sample) {
    return base + static_cast<int64_t>(r) * (stride / sample) * sample;
}
inline uint8_t *dst_row(uint8_t *base, int64_t stride, uint32_t r, int64_t sample) {
    return base + static_cast<int64_t>(r) * (stride / sample) * sample;
}

inline __m128i load128(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline __m256i load256(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
inline void store128(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
inline void store256(uint8_t *p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
inline __m256 load_ps(const uint8_t *p) { return _mm256_loadu_ps(reinterpret_cast<const float *>(p)); }
inline void store_ps(uint8_t *p, __m256 v) { _mm256_storeu_ps(reinterpret_cast<float *>(p), v); }

// Functions, not globals: a vector constant at namespace scope could be built before main on
// a processor without AVX.
inline __m256 k8v() { return _mm256_set1_ps(rowk::kK8); }
inline __m256 k16v() { return _mm256_set1_ps(rowk::kK16); }

// Packed single-plane walk: Step(s, d) converts B pixels; the tail goes to the plain twin.
template <uint32_t B, int SrcBpp, int DstBpp, int SrcSample, int DstSample, class Step>
inline void packed_walk(ZELQA_ROW_KERNEL_ARGS, RowKernel plain, Step step) {
    const uint32_t head = width / B * B;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = src_row(src[0], src_stride[0], r, SrcSample);
        uint8_t *d = dst_row(dst[0], dst_stride[0], r, DstSample);
        for (uint32_t i = 0; i < head; i += B) step(s + i * SrcBpp, d + i * DstBpp);
        if (head < width) {
            const uint8_t *ts[4] = {s + head * SrcBpp, nullptr, nullptr, nullptr};
            uint8_t *td[4] = {d + head * DstBpp, nullptr, nullptr, nullptr};
            plain(td, ts, dst_stride, src_stride, width - head, 1);
        }
    }
}

template <uint32_t B, int SrcSample, int DstSample, class Step>
inline void plane_walk(ZELQA_PLANE_KERNEL_ARGS, PlaneKernel plain, Step step) {
    const uint32_t head = width / B * B;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = src_row(src, src_stride, r, SrcSample);
        uint8_t *d = dst_row(dst, dst_stride, r, DstSample);
        for (uint32_t i = 0; i < head; i += B) step(s + i * SrcSample, d + i * DstSample);
        if (head < width) plain(d + head * DstSample, s + head * SrcSample, dst_stride, src_stride, width - head, 1);
    }
}

// Fused quantiser: NaN to 0, clamp to 0..1, x * S + 0.5 rounded once, truncated.
inline __m256i fused_quantise(__m256 x, __m256 scale) {
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f), half = _mm256_set1_ps(0.5f);
    x = _mm256_and_ps(x, _mm256_cmp_ps(x, x, _CMP_ORD_Q));
    x = _mm256_max_ps(_mm256_min_ps(x, one), zero);
    return _mm256_cvttps_epi32(_mm256_fmadd_ps(x, scale, half));
}

// 32 values of 0..255 in four registers (8 each, in order) to 32 bytes in order.
inline __m256i pack32_to_bytes(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i p = _mm256_packus_epi16(_mm256_packs_epi32(a, b), _mm256_packs_epi32(c, d));
    return _mm256_permutevar8x32_epi32(p, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}
// 16 values of 0..65535 in two registers to 16 words in order.
inline __m256i pack16_to_words(__m256i a, __m256i b) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
}
// 16 words of 0..255 to 16 bytes in order.
inline __m128i words_to_bytes(__m256i v) {
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// ---- packed conversions ----

template <bool Opaque>
void rgba8_to_rgba16(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    const __m256i alpha = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    packed_walk<4, 4, 8, 1, 2>(dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
        __m256i w = _mm256_cvtepu8_epi16(load128(s));
        w = _mm256_or_si256(_mm256_slli_epi16(w, 8), w);
        if (Opaque) w = _mm256_or_si256(w, alpha);
        store256(d, w);
    });
}

template <bool Opaque>
void rgba8_to_rgba32f(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<4, 4, 16, 1, 4>(
        dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
            const __m128i v = load128(s);
            __m256 lo = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(v)), k8v());
            __m256 hi = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(v, 8))), k8v());
            if (Opaque) {
                lo = _mm256_blend_ps(lo, _mm256_set1_ps(1.0f), 0x88);
                hi = _mm256_blend_ps(hi, _mm256_set1_ps(1.0f), 0x88);
            }
            store_ps(d, lo);
            store_ps(d + 32, hi);
        });
}

template <bool Opaque>
void rgba16_to_rgba32f(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<2, 8, 16, 2, 4>(
        dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
            __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(load128(s))), k16v());
            if (Opaque) f = _mm256_blend_ps(f, _mm256_set1_ps(1.0f), 0x88);
            store_ps(d, f);
        });
}

template <bool Opaque>
void rgba16_to_rgba8(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<4, 8, 4, 2, 1>(dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
        __m128i b = words_to_bytes(_mm256_srli_epi16(load256(s), 8));
        if (Opaque) b = _mm_or_si128(b, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
        store128(d, b);
    });
}

template <bool Opaque>
void rgba32f_to_rgba8(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<8, 16, 4, 4, 1>(
        dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
            const __m256 scale = _mm256_set1_ps(255.0f);
            __m256i b = pack32_to_bytes(fused_quantise(load_ps(s), scale), fused_quantise(load_ps(s + 32), scale),
                                        fused_quantise(load_ps(s + 64), scale), fused_quantise(load_ps(s + 96), scale));
            if (Opaque) b = _mm256_or_si256(b, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
            store256(d, b);
        });
}

template <bool Opaque>
void rgba32f_to_rgba16(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    const __m256i alpha = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    packed_walk<8, 16, 8, 4, 2>(
        dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
            const __m256 scale = _mm256_set1_ps(65535.0f);
            __m256i w0 = pack16_to_words(fused_quantise(load_ps(s), scale), fused_quantise(load_ps(s + 32), scale));
            __m256i w1 =
                pack16_to_words(fused_quantise(load_ps(s + 64), scale), fused_quantise(load_ps(s + 96), scale));
            if (Opaque) {
                w0 = _mm256_or_si256(w0, alpha);
                w1 = _mm256_or_si256(w1, alpha);
            }
            store256(d, w0);
            store256(d + 32, w1);
        });
}

// ---- premultiply and unpremultiply ----

// 8-bit premultiply of 4 pixels widened to words; alpha words kept (or made 255).
template <bool Black>
inline __m256i premult8_words(__m256i c) {
    const __m256i bcast = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15, 6, 7, 6, 7, 6, 7, 6,
                                           7, 14, 15, 14, 15, 14, 15, 14, 15);
    const __m256i a = _mm256_shuffle_epi8(c, bcast);
    const __m256i t = _mm256_mullo_epi16(_mm256_add_epi16(c, _mm256_srli_epi16(a, 7)), a);
    const __m256i low = _mm256_and_si256(t, _mm256_sub_epi16(_mm256_set1_epi16(255), a));
    __m256i p =
        _mm256_and_si256(_mm256_add_epi16(_mm256_srli_epi16(t, 8), _mm256_srli_epi16(low, 7)), _mm256_set1_epi16(0xFF));
    return Black ? _mm256_blend_epi16(p, _mm256_set1_epi16(255), 0x88) : _mm256_blend_epi16(p, c, 0x88);
}

template <bool Black>
void premult_rgba8(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<8, 4, 4, 1, 1>(dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
        const __m256i v = load256(s);
        const __m256i lo = premult8_words<Black>(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        const __m256i hi = premult8_words<Black>(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
        store256(d, _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), _MM_SHUFFLE(3, 1, 2, 0)));
    });
}

// Fused unpremultiply of two pixels (one per 128-bit lane) given as integer samples.
inline __m256i fused_unpremult(__m256i v, __m256 scale, __m256i limit) {
    const __m256 f = _mm256_cvtepi32_ps(v);
    const __m256 a = _mm256_shuffle_ps(f, f, _MM_SHUFFLE(3, 3, 3, 3));
    const __m256 q = _mm256_div_ps(f, a);  // a = 0 lanes are discarded below
    __m256i i = _mm256_cvttps_epi32(_mm256_fmadd_ps(q, scale, _mm256_set1_ps(0.5f)));
    i = _mm256_min_epu32(i, limit);
    i = _mm256_blend_epi32(i, v, 0x88);
    const __m256i zero_alpha = _mm256_castps_si256(_mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_EQ_OQ));
    return _mm256_andnot_si256(zero_alpha, i);
}

void unpremult_rgba8_fused(ZELQA_ROW_KERNEL_ARGS) {
    packed_walk<8, 4, 4, 1, 1>(
        dst, src, dst_stride, src_stride, width, rows, unpremult_rgba8_to_rgba8_c, [&](const uint8_t *s, uint8_t *d) {
            const __m256 scale = _mm256_set1_ps(255.0f);
            const __m256i limit = _mm256_set1_epi32(255);
            __m256i p[4];
            for (int k = 0; k < 4; ++k)
                p[k] = fused_unpremult(
                    _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s + 8 * k))), scale, limit);
            store256(d, pack32_to_bytes(p[0], p[1], p[2], p[3]));
        });
}

void unpremult_rgba16_fused(ZELQA_ROW_KERNEL_ARGS) {
    packed_walk<8, 8, 8, 2, 2>(dst, src, dst_stride, src_stride, width, rows, unpremult_rgba16_to_rgba16_c,
                               [&](const uint8_t *s, uint8_t *d) {
                                   const __m256 scale = _mm256_set1_ps(65535.0f);
                                   const __m256i limit = _mm256_set1_epi32(65535);
                                   __m256i p[4];
                                   for (int k = 0; k < 4; ++k)
                                       p[k] = fused_unpremult(_mm256_cvtepu16_epi32(load128(s + 16 * k)), scale, limit);
                                   store256(d, pack16_to_words(p[0], p[1]));
                                   store256(d + 32, pack16_to_words(p[2], p[3]));
                               });
}

template <bool Black>
void premult_rgba32f(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    packed_walk<8, 16, 16, 4, 4>(
        dst, src, dst_stride, src_stride, width, rows, plain, [&](const uint8_t *s, uint8_t *d) {
            for (int k = 0; k < 4; ++k) {
                const __m256 v = load_ps(s + 32 * k);
                const __m256 m = _mm256_mul_ps(v, _mm256_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
                store_ps(d + 32 * k, _mm256_blend_ps(m, Black ? _mm256_set1_ps(1.0f) : v, 0x88));
            }
        });
}

void unpremult_rgba32f(ZELQA_ROW_KERNEL_ARGS) {
    packed_walk<8, 16, 16, 4, 4>(dst, src, dst_stride, src_stride, width, rows, unpremult_rgba32f_to_rgba32f_c,
                                 [&](const uint8_t *s, uint8_t *d) {
                                     for (int k = 0; k < 4; ++k) {
                                         const __m256 v = load_ps(s + 32 * k);
                                         const __m256 a = _mm256_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
                                         const __m256 zero_alpha = _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_EQ_OQ);
                                         const __m256 q = _mm256_andnot_ps(zero_alpha, _mm256_div_ps(v, a));
                                         store_ps(d + 32 * k, _mm256_blend_ps(q, v, 0x88));
                                     }
                                 });
}

// ---- 4:2:2 ----

// Per 128-bit lane of UYVY bytes (4 pairs): the 8 Y bytes, then U0..U3, then V0..V3.
inline __m256i uyvy_split(__m256i v) {
    const __m256i m = _mm256_setr_epi8(1, 3, 5, 7, 9, 11, 13, 15, 0, 4, 8, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                       0, 4, 8, 12, 2, 6, 10, 14);
    return _mm256_shuffle_epi8(v, m);
}

// 8 pairs (32 bytes) to 16 Y, 8 U and 8 V bytes.
inline void uyvy_unpack16(const uint8_t *s, __m128i &y, __m128i &u, __m128i &v) {
    const __m256i t = _mm256_permutevar8x32_epi32(uyvy_split(load256(s)), _mm256_setr_epi32(0, 1, 4, 5, 2, 6, 3, 7));
    y = _mm256_castsi256_si128(t);
    const __m128i uv = _mm256_extracti128_si256(t, 1);  // U0..U7, V0..V7
    u = uv;
    v = _mm_srli_si128(uv, 8);
}

template <uint32_t PairsPerStep, class Step>
inline void uyvy_walk(ZELQA_ROW_KERNEL_ARGS, RowKernel plain, int sample, Step step) {
    const uint32_t pairs = width / 2;
    const uint32_t head = pairs / PairsPerStep * PairsPerStep;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = src_row(src[0], src_stride[0], r, 1);
        uint8_t *y = dst_row(dst[0], dst_stride[0], r, sample);
        uint8_t *u = dst_row(dst[1], dst_stride[1], r, sample);
        uint8_t *v = dst_row(dst[2], dst_stride[2], r, sample);
        for (uint32_t k = 0; k < head; k += PairsPerStep)
            step(s + 4 * k, y + 2 * k * sample, u + k * sample, v + k * sample);
        if (head < pairs) {
            const uint8_t *ts[4] = {s + 4 * head, nullptr, nullptr, nullptr};
            uint8_t *td[4] = {y + 2 * head * sample, u + head * sample, v + head * sample, nullptr};
            plain(td, ts, dst_stride, src_stride, width - 2 * head, 1);
        }
    }
}

inline __m256i widen_10(__m128i b) {
    const __m256i w = _mm256_cvtepu8_epi16(b);
    return _mm256_or_si256(_mm256_slli_epi16(w, 2), _mm256_srli_epi16(w, 6));
}

// ---- half size ----

// Two rows of 8 source pixels to 4 destination pixels.
template <bool Opaque>
inline __m128i halve4(const uint8_t *s0, const uint8_t *s1) {
    const __m256i a = load256(s0), b = load256(s1);
    // Words: pixels 0,1 | 2,3 and 4,5 | 6,7, rows summed.
    __m256i lo = _mm256_add_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(a)),
                                  _mm256_cvtepu8_epi16(_mm256_castsi256_si128(b)));
    __m256i hi = _mm256_add_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(a, 1)),
                                  _mm256_cvtepu8_epi16(_mm256_extracti128_si256(b, 1)));
    lo = _mm256_add_epi16(lo, _mm256_srli_si256(lo, 8));  // low half of each lane: pair sums
    hi = _mm256_add_epi16(hi, _mm256_srli_si256(hi, 8));
    __m256i s = _mm256_unpacklo_epi64(lo, hi);                 // d0 d2 | d1 d3
    s = _mm256_permute4x64_epi64(s, _MM_SHUFFLE(3, 1, 2, 0));  // d0 d1 d2 d3
    s = _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_and_si256(_mm256_srli_epi16(s, 1), _mm256_set1_epi16(1))), 2);
    __m128i out = words_to_bytes(s);
    if (Opaque) out = _mm_or_si128(out, _mm_set1_epi32(static_cast<int>(0xFF000000u)));
    return out;
}

template <bool Opaque>
void halfsize(ZELQA_ROW_KERNEL_ARGS, RowKernel plain) {
    const uint32_t w = width / 2, h = rows / 2;
    const uint32_t head = w / 4 * 4;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t *s0 = src_row(src[0], src_stride[0], 2 * y, 1);
        const uint8_t *s1 = src_row(src[0], src_stride[0], 2 * y + 1, 1);
        uint8_t *d = dst_row(dst[0], dst_stride[0], y, 1);
        for (uint32_t x = 0; x < head; x += 4) store128(d + 4 * x, halve4<Opaque>(s0 + 8 * x, s1 + 8 * x));
        if (head < w) {
            const uint8_t *ts[4] = {s0 + 8 * head, nullptr, nullptr, nullptr};
            uint8_t *td[4] = {d + 4 * head, nullptr, nullptr, nullptr};
            // Source rows 2y and 2y + 1 are one stride apart, as the plain kernel steps.
            plain(td, ts, dst_stride, src_stride, 2 * (w - head), 2);
        }
    }
}

}  // namespace

// ---- exported members ----

void conv_uyvy_to_planar_yuv422_avx2(ZELQA_ROW_KERNEL_ARGS) {
    uyvy_walk<16>(dst, src, dst_stride, src_stride, width, rows, conv_uyvy_to_planar_yuv422_c, 1,
                  [](const uint8_t *s, uint8_t *y, uint8_t *u, uint8_t *v) {
                      const __m256i a = _mm256_permutevar8x32_epi32(uyvy_split(load256(s)),
                                                                    _mm256_setr_epi32(0, 1, 4, 5, 2, 6, 3, 7));
                      const __m256i b = _mm256_permutevar8x32_epi32(uyvy_split(load256(s + 32)),
                                                                    _mm256_setr_epi32(0, 1, 4, 5, 2, 6, 3, 7));
                      store256(y, _mm256_permute2x128_si256(a, b, 0x20));
                      const __m128i uva = _mm256_extracti128_si256(a, 1), uvb = _mm256_extracti128_si256(b, 1);
                      store128(u, _mm_unpacklo_epi64(uva, uvb));
                      store128(v, _mm_unpackhi_epi64(uva, uvb));
                  });
}

void conv_uyvy_to_planar_yuv422_10_avx2(ZELQA_ROW_KERNEL_ARGS) {
    uyvy_walk<8>(dst, src, dst_stride, src_stride, width, rows, conv_uyvy_to_planar_yuv422_10_c, 2,
                 [](const uint8_t *s, uint8_t *y, uint8_t *u, uint8_t *v) {
                     __m128i yy, uu, vv;
                     uyvy_unpack16(s, yy, uu, vv);
                     store256(y, widen_10(yy));
                     store128(u, _mm256_castsi256_si128(widen_10(uu)));
                     store128(v, _mm256_castsi256_si128(widen_10(vv)));
                 });
}

#define ZELQA_ARGS_FWD dst, src, dst_stride, src_stride, width, rows
void conv_rgba8_to_rgba16_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba8_to_rgba16<false>(ZELQA_ARGS_FWD, conv_rgba8_to_rgba16_c);
}
void conv_rgbx8_to_rgba16_avx2(ZELQA_ROW_KERNEL_ARGS) { rgba8_to_rgba16<true>(ZELQA_ARGS_FWD, conv_rgbx8_to_rgba16_c); }
void conv_rgba8_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba8_to_rgba32f<false>(ZELQA_ARGS_FWD, conv_rgba8_to_rgba32f_c);
}
void conv_rgbx8_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba8_to_rgba32f<true>(ZELQA_ARGS_FWD, conv_rgbx8_to_rgba32f_c);
}
void conv_rgba16_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba16_to_rgba32f<false>(ZELQA_ARGS_FWD, conv_rgba16_to_rgba32f_c);
}
void conv_rgbx16_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba16_to_rgba32f<true>(ZELQA_ARGS_FWD, conv_rgbx16_to_rgba32f_c);
}
void conv_rgba16_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba16_to_rgba8<false>(ZELQA_ARGS_FWD, conv_rgba16_to_rgba8_c);
}
void conv_rgbx16_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) { rgba16_to_rgba8<true>(ZELQA_ARGS_FWD, conv_rgbx16_to_rgba8_c); }
void conv_rgba32f_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba32f_to_rgba8<false>(ZELQA_ARGS_FWD, conv_rgba32f_to_rgba8_c);
}
void conv_rgbx32f_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba32f_to_rgba8<true>(ZELQA_ARGS_FWD, conv_rgbx32f_to_rgba8_c);
}
void conv_rgba32f_to_rgba16_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba32f_to_rgba16<false>(ZELQA_ARGS_FWD, conv_rgba32f_to_rgba16_c);
}
void conv_rgbx32f_to_rgba16_avx2(ZELQA_ROW_KERNEL_ARGS) {
    rgba32f_to_rgba16<true>(ZELQA_ARGS_FWD, conv_rgbx32f_to_rgba16_c);
}
void premult_rgba8_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) {
    premult_rgba8<false>(ZELQA_ARGS_FWD, premult_rgba8_to_rgba8_c);
}
void premult_black_rgba8_to_rgbx8_avx2(ZELQA_ROW_KERNEL_ARGS) {
    premult_rgba8<true>(ZELQA_ARGS_FWD, premult_black_rgba8_to_rgbx8_c);
}
void unpremult_rgba8_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) { unpremult_rgba8_fused(ZELQA_ARGS_FWD); }
void unpremult_rgba16_to_rgba16_avx2(ZELQA_ROW_KERNEL_ARGS) { unpremult_rgba16_fused(ZELQA_ARGS_FWD); }
void premult_rgba32f_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    premult_rgba32f<false>(ZELQA_ARGS_FWD, premult_rgba32f_to_rgba32f_c);
}
void premult_black_rgba32f_to_rgbx32f_avx2(ZELQA_ROW_KERNEL_ARGS) {
    premult_rgba32f<true>(ZELQA_ARGS_FWD, premult_black_rgba32f_to_rgbx32f_c);
}
void unpremult_rgba32f_to_rgba32f_avx2(ZELQA_ROW_KERNEL_ARGS) { unpremult_rgba32f(ZELQA_ARGS_FWD); }
void halfsize_rgba8_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) { halfsize<false>(ZELQA_ARGS_FWD, halfsize_rgba8_to_rgba8_c); }
void halfsize_rgbx8_to_rgba8_avx2(ZELQA_ROW_KERNEL_ARGS) { halfsize<true>(ZELQA_ARGS_FWD, halfsize_rgbx8_to_rgba8_c); }
#undef ZELQA_ARGS_FWD

#define ZELQA_PLANE_FWD dst, src, dst_stride, src_stride, width, rows
void conv_plane8_to_plane10_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<16, 1, 2>(ZELQA_PLANE_FWD, conv_plane8_to_plane10_c,
                         [](const uint8_t *s, uint8_t *d) { store256(d, widen_10(load128(s))); });
}
void conv_plane8_to_plane16_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<16, 1, 2>(ZELQA_PLANE_FWD, conv_plane8_to_plane16_c, [](const uint8_t *s, uint8_t *d) {
        const __m256i w = _mm256_cvtepu8_epi16(load128(s));
        store256(d, _mm256_or_si256(_mm256_slli_epi16(w, 8), w));
    });
}
void conv_plane8_to_plane32f_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<32, 1, 4>(ZELQA_PLANE_FWD, conv_plane8_to_plane32f_c, [](const uint8_t *s, uint8_t *d) {
        for (int k = 0; k < 4; ++k) {
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(s + 8 * k));
            store_ps(d + 32 * k, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b)), k8v()));
        }
    });
}
void conv_plane10_to_plane8_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<16, 2, 1>(ZELQA_PLANE_FWD, conv_plane10_to_plane8_c, [](const uint8_t *s, uint8_t *d) {
        store128(d, words_to_bytes(_mm256_and_si256(_mm256_srli_epi16(load256(s), 2), _mm256_set1_epi16(0xFF))));
    });
}
void conv_plane16_to_plane8_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<16, 2, 1>(ZELQA_PLANE_FWD, conv_plane16_to_plane8_c, [](const uint8_t *s, uint8_t *d) {
        store128(d, words_to_bytes(_mm256_srli_epi16(load256(s), 8)));
    });
}
void conv_plane16_to_plane32f_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<8, 2, 4>(ZELQA_PLANE_FWD, conv_plane16_to_plane32f_c, [](const uint8_t *s, uint8_t *d) {
        store_ps(d, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(load128(s))), k16v()));
    });
}
void conv_plane32f_to_plane8_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<32, 4, 1>(ZELQA_PLANE_FWD, conv_plane32f_to_plane8_c, [](const uint8_t *s, uint8_t *d) {
        const __m256 scale = _mm256_set1_ps(255.0f);
        store256(d, pack32_to_bytes(fused_quantise(load_ps(s), scale), fused_quantise(load_ps(s + 32), scale),
                                    fused_quantise(load_ps(s + 64), scale), fused_quantise(load_ps(s + 96), scale)));
    });
}
void conv_plane32f_to_plane16_avx2(ZELQA_PLANE_KERNEL_ARGS) {
    plane_walk<32, 4, 2>(ZELQA_PLANE_FWD, conv_plane32f_to_plane16_c, [](const uint8_t *s, uint8_t *d) {
        const __m256 scale = _mm256_set1_ps(65535.0f);
        store256(d, pack16_to_words(fused_quantise(load_ps(s), scale), fused_quantise(load_ps(s + 32), scale)));
        store256(d + 32,
                 pack16_to_words(fused_quantise(load_ps(s + 64), scale), fused_quantise(load_ps(s + 96), scale)));
    });
}
#undef ZELQA_PLANE_FWD
