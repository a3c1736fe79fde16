// Fast DXT colour fit and RGTC1 index search, AVX2 tier: the 16 per-pixel dot products
// in two 256-bit registers. The refinement (which needs FMA as well) fuses its final
// multiply-add; everything else gives the baseline's results.
#include <immintrin.h>

#include <cstring>

#include "texenc/dxtenc_fastfit_common.h"
#include "texenc/dxtenc_kernels.h"

#pragma GCC target("avx2,fma")

namespace {
#include "texenc/dxtenc_fastfit_reduce.inc"

using fastfit::pack565;

// Dot products of the 16 pixels. lo holds pixels 0..3 | 8..11, hi pixels 4..7 | 12..15.
struct Dots {
    __m256i lo, hi;
};

inline Dots dots(const uint8_t *planar, int wr, int wg, int wb) {
    const __m256i r = _mm256_cvtepu8_epi16(_mm_load_si128(reinterpret_cast<const __m128i *>(planar)));
    const __m256i g = _mm256_cvtepu8_epi16(_mm_load_si128(reinterpret_cast<const __m128i *>(planar + 16)));
    const __m256i b = _mm256_cvtepu8_epi16(_mm_load_si128(reinterpret_cast<const __m128i *>(planar + 32)));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i wrg = _mm256_set1_epi32(int((uint32_t(uint16_t(wg)) << 16) | uint16_t(wr)));
    const __m256i wb0 = _mm256_set1_epi32(int(uint16_t(wb)));
    Dots d;
    d.lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(r, g), wrg),
                            _mm256_madd_epi16(_mm256_unpacklo_epi16(b, zero), wb0));
    d.hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(r, g), wrg),
                            _mm256_madd_epi16(_mm256_unpackhi_epi16(b, zero), wb0));
    return d;
}

// Pixel-order bit mask of the lanes equal to value.
inline unsigned equal_mask(const Dots &d, __m256i value) {
    unsigned lo = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(d.lo, value))));
    unsigned hi = unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(d.hi, value))));
    return (lo & 0xF) | (hi & 0xF) << 4 | (lo >> 4) << 8 | (hi >> 4) << 12;
}

inline __m256i broadcast_min(__m256i v) {
    v = _mm256_min_epi32(v, _mm256_permute2x128_si256(v, v, 1));
    v = _mm256_min_epi32(v, _mm256_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm256_min_epi32(v, _mm256_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
}

inline __m256i broadcast_max(__m256i v) {
    v = _mm256_max_epi32(v, _mm256_permute2x128_si256(v, v, 1));
    v = _mm256_max_epi32(v, _mm256_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm256_max_epi32(v, _mm256_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
}
}  // namespace

void fast_fit_endpoints_avx2(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats) {
    const __m128i zero = _mm_setzero_si128();
    int range[3], mean[3];
    __m256i c16[3];
    for (int k = 0; k < 3; k++) {
        const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i *>(planar + 16 * k));
        __m128i sad = _mm_sad_epu8(v, zero);
        int sum = _mm_cvtsi128_si32(sad) + _mm_extract_epi32(sad, 2);
        mean[k] = (sum + 8) >> 4;
        stats->sum[k] = sum;
        stats->mean[k] = mean[k];
        range[k] = hmax8(v) - hmin8(v);
        c16[k] = _mm256_sub_epi16(_mm256_cvtepu8_epi16(v), _mm256_set1_epi16(short(mean[k])));
    }
    stats->sum[3] = 0;
    stats->mean[3] = 0;

    static const int kPairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
    float c[6];
    for (int k = 0; k < 6; k++) {
        __m256i s = _mm256_madd_epi16(c16[kPairs[k][0]], c16[kPairs[k][1]]);
        c[k] = float(hsum32(_mm_add_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)))) / 255.0f;
    }
    // The axis is the baseline's own code: same association, and -ffp-contract=off keeps
    // its multiplies and adds separate even though the pragma allows FMA.
    float vr = float(range[0]), vg = float(range[1]), vb = float(range[2]);
    int w[3];
    fastfit::axis_weights(c, vr, vg, vb, w);
    Dots d = dots(planar, w[0], w[1], w[2]);
    __m256i lo = broadcast_min(_mm256_min_epi32(d.lo, d.hi));
    __m256i hi = broadcast_max(_mm256_max_epi32(d.lo, d.hi));
    *a = pack565(planar, __builtin_ctz(equal_mask(d, hi)));
    *b = pack565(planar, __builtin_ctz(equal_mask(d, lo)));
}

void fast_fit_indices_avx2(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word, const uint8_t *expand) {
    const fastfit::IndexAxis ax = fastfit::index_axis(a, b, expand);
    const __m256i t1 = _mm256_set1_epi32(ax.t1);
    const __m256i th = _mm256_set1_epi32(ax.th);
    const __m256i t0 = _mm256_set1_epi32(ax.t0);
    Dots d = dots(planar, ax.d[0], ax.d[1], ax.d[2]);
    // Code: bit 0 p < T0, bit 1 p < T1, bit 2 p < Th.
    const __m256i table = _mm256_setr_epi32(0, 2, 0, 2, 3, 3, 1, 1);
    auto index_of = [&](__m256i p) {
        __m256i code = _mm256_and_si256(_mm256_cmpgt_epi32(t0, p), _mm256_set1_epi32(1));
        code = _mm256_or_si256(code, _mm256_and_si256(_mm256_cmpgt_epi32(t1, p), _mm256_set1_epi32(2)));
        code = _mm256_or_si256(code, _mm256_and_si256(_mm256_cmpgt_epi32(th, p), _mm256_set1_epi32(4)));
        return _mm256_permutevar8x32_epi32(table, code);
    };
    // packs per 128-bit lane: [0..3 4..7 | 8..11 12..15] as words.
    __m256i w16 = _mm256_packs_epi32(index_of(d.lo), index_of(d.hi));
    __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(w16), _mm256_extracti128_si256(w16, 1));
    __m128i v = _mm_maddubs_epi16(bytes, _mm_setr_epi8(1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4));
    v = _mm_madd_epi16(v, _mm_setr_epi16(1, 16, 1, 16, 1, 16, 1, 16));
    v = _mm_packus_epi32(v, v);
    v = _mm_packus_epi16(v, v);
    *index_word = uint32_t(_mm_cvtsi128_si32(v));
}

void fast_fit_refine_avx2(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                          const DxtBlockStats *stats) {
    // Index bytes by a variable shift of the broadcast word.
    const __m256i word = _mm256_set1_epi32(int(index_word));
    alignas(16) uint8_t idx_bytes[16];
    {
        const __m256i sh_lo = _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14);
        const __m256i sh_hi = _mm256_setr_epi32(16, 18, 20, 22, 24, 26, 28, 30);
        const __m256i m3 = _mm256_set1_epi32(3);
        __m256i lo = _mm256_and_si256(_mm256_srlv_epi32(word, sh_lo), m3);
        __m256i hi = _mm256_and_si256(_mm256_srlv_epi32(word, sh_hi), m3);
        __m256i w16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), _MM_SHUFFLE(3, 1, 2, 0));
        __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(w16), _mm256_extracti128_si256(w16, 1));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx_bytes), bytes);
    }
    const __m128i idx = _mm_load_si128(reinterpret_cast<const __m128i *>(idx_bytes));
    const RefineSums sums = refine_sums(planar, idx);
    const int xx = sums.xx, yy = sums.yy, xy = sums.xy;
    const int *at1 = sums.at1;
    const int det = xx * yy - xy * xy;
    const float f = 0.36470589f / float(det);
    const float fg = f * 2.032258f;
    const __m128 half = _mm_set_ss(0.5f);
    int ea[3], eb[3];
    for (int ch = 0; ch < 3; ch++) {
        const int at2 = 3 * stats->sum[ch] - at1[ch];
        const __m128 k = _mm_set_ss(ch == 1 ? fg : f);
        const int top = ch == 1 ? 63 : 31;
        const __m128 na = _mm_set_ss(float(at1[ch] * yy - at2 * xy));
        const __m128 nb = _mm_set_ss(float(at2 * xx - at1[ch] * xy));
        int ia = _mm_cvttss_si32(_mm_fmadd_ss(na, k, half));
        int ib = _mm_cvttss_si32(_mm_fmadd_ss(nb, k, half));
        ea[ch] = ia <= 0 ? 0 : ia > top ? top : ia;
        eb[ch] = ib <= 0 ? 0 : ib > top ? top : ib;
    }
    *a = uint64_t(ea[0] << 11 | ea[1] << 5 | ea[2]);
    *b = uint64_t(eb[0] << 11 | eb[1] << 5 | eb[2]);
}

void alpha_block_indices_avx2(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error) {
    __m256i total = _mm256_setzero_si256();
    for (int h = 0; h < 2; h++) {
        const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(values + 8 * h)));
        __m256i best = _mm256_set1_epi32(0x7FFFFFFF), best_k = _mm256_setzero_si256();
        for (int k = 0; k < 8; k++) {
            __m256i d = _mm256_sub_epi32(v, _mm256_set1_epi32(palette[k]));
            d = _mm256_mullo_epi32(d, d);
            __m256i lt = _mm256_cmpgt_epi32(best, d);
            best = _mm256_min_epi32(best, d);
            best_k = _mm256_blendv_epi8(best_k, _mm256_set1_epi32(k), lt);
        }
        total = _mm256_add_epi32(total, best);
        __m256i w16 = _mm256_packs_epi32(best_k, best_k);  // [0..3 0..3 | 4..7 4..7]
        __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(w16), _mm256_extracti128_si256(w16, 1));
        // bytes: 0..3 0..3 4..7 4..7
        uint32_t lo = uint32_t(_mm_cvtsi128_si32(bytes)), hi = uint32_t(_mm_extract_epi32(bytes, 2));
        std::memcpy(indices + 8 * h, &lo, 4);
        std::memcpy(indices + 8 * h + 4, &hi, 4);
    }
    __m128i t = _mm_add_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    *error = uint32_t(hsum32(t));
}
