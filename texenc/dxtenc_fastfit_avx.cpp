// Fast DXT colour fit, AVX tier: the 16 pixels stay in vector registers; the per-pixel
// work has no branches. Same results as the baseline except the refinement's green
// factor (f * 2.032258 instead of 63 * f / 31) and the zero fourth lanes of the stats.
#include <immintrin.h>

#include "texenc/dxtenc_fastfit_common.h"
#include "texenc/dxtenc_kernels.h"

#pragma GCC target("avx")

namespace {
#include "texenc/dxtenc_fastfit_reduce.inc"

using fastfit::pack565;

// Per-pixel dot products r * wr + g * wg + b * wb for pixels 4q..4q+3 (q = 0..3), in
// 32-bit lanes; weights and channel values fit 16 bits.
struct Dots {
    __m128i d[4];
};

inline Dots dots(__m128i r, __m128i g, __m128i b, int wr, int wg, int wb) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wrg = _mm_set1_epi32(int((uint32_t(uint16_t(wg)) << 16) | uint16_t(wr)));
    const __m128i wb0 = _mm_set1_epi32(int(uint16_t(wb)));
    __m128i r16[2] = {_mm_unpacklo_epi8(r, zero), _mm_unpackhi_epi8(r, zero)};
    __m128i g16[2] = {_mm_unpacklo_epi8(g, zero), _mm_unpackhi_epi8(g, zero)};
    __m128i b16[2] = {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)};
    Dots out;
    for (int h = 0; h < 2; h++) {
        __m128i rg_lo = _mm_unpacklo_epi16(r16[h], g16[h]), rg_hi = _mm_unpackhi_epi16(r16[h], g16[h]);
        __m128i b_lo = _mm_unpacklo_epi16(b16[h], zero), b_hi = _mm_unpackhi_epi16(b16[h], zero);
        out.d[2 * h] = _mm_add_epi32(_mm_madd_epi16(rg_lo, wrg), _mm_madd_epi16(b_lo, wb0));
        out.d[2 * h + 1] = _mm_add_epi32(_mm_madd_epi16(rg_hi, wrg), _mm_madd_epi16(b_hi, wb0));
    }
    return out;
}

inline int first_lane_equal(const Dots &ds, __m128i value) {
    int mask = 0;
    for (int q = 0; q < 4; q++) mask |= _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(ds.d[q], value))) << (4 * q);
    return __builtin_ctz(unsigned(mask));
}

// Sixteen 2-bit indices (one per byte, 0..3) to the index word.
inline uint32_t pack_index_bytes(__m128i idx) {
    __m128i v = _mm_maddubs_epi16(idx, _mm_setr_epi8(1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4, 1, 4));
    v = _mm_madd_epi16(v, _mm_setr_epi16(1, 16, 1, 16, 1, 16, 1, 16));
    v = _mm_packus_epi32(v, v);
    v = _mm_packus_epi16(v, v);
    return uint32_t(_mm_cvtsi128_si32(v));
}

}  // namespace

void fast_fit_endpoints_avx(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i ch[3] = {_mm_load_si128(reinterpret_cast<const __m128i *>(planar)),
                           _mm_load_si128(reinterpret_cast<const __m128i *>(planar + 16)),
                           _mm_load_si128(reinterpret_cast<const __m128i *>(planar + 32))};
    int range[3], mean[3];
    __m128i c16[3][2];
    for (int k = 0; k < 3; k++) {
        __m128i sad = _mm_sad_epu8(ch[k], zero);
        int sum = _mm_cvtsi128_si32(sad) + _mm_extract_epi32(sad, 2);
        mean[k] = (sum + 8) >> 4;
        stats->sum[k] = sum;
        stats->mean[k] = mean[k];
        range[k] = hmax8(ch[k]) - hmin8(ch[k]);
        const __m128i m = _mm_set1_epi16(short(mean[k]));
        c16[k][0] = _mm_sub_epi16(_mm_unpacklo_epi8(ch[k], zero), m);
        c16[k][1] = _mm_sub_epi16(_mm_unpackhi_epi8(ch[k], zero), m);
    }
    stats->sum[3] = 0;
    stats->mean[3] = 0;

    static const int kPairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
    float c[6];
    for (int k = 0; k < 6; k++) {
        const int x = kPairs[k][0], y = kPairs[k][1];
        __m128i s = _mm_add_epi32(_mm_madd_epi16(c16[x][0], c16[y][0]), _mm_madd_epi16(c16[x][1], c16[y][1]));
        c[k] = float(hsum32(s)) / 255.0f;
    }

    float vr = float(range[0]), vg = float(range[1]), vb = float(range[2]);
    int w[3];
    fastfit::axis_weights(c, vr, vg, vb, w);

    Dots ds = dots(ch[0], ch[1], ch[2], w[0], w[1], w[2]);
    __m128i lo = _mm_min_epi32(_mm_min_epi32(ds.d[0], ds.d[1]), _mm_min_epi32(ds.d[2], ds.d[3]));
    __m128i hi = _mm_max_epi32(_mm_max_epi32(ds.d[0], ds.d[1]), _mm_max_epi32(ds.d[2], ds.d[3]));
    lo = _mm_min_epi32(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(1, 0, 3, 2)));
    lo = _mm_min_epi32(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(2, 3, 0, 1)));
    hi = _mm_max_epi32(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(1, 0, 3, 2)));
    hi = _mm_max_epi32(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(2, 3, 0, 1)));
    *a = pack565(planar, first_lane_equal(ds, hi));
    *b = pack565(planar, first_lane_equal(ds, lo));
}

void fast_fit_indices_avx(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word, const uint8_t *expand) {
    const fastfit::IndexAxis ax = fastfit::index_axis(a, b, expand);
    const __m128i t1 = _mm_set1_epi32(ax.t1);
    const __m128i th = _mm_set1_epi32(ax.th);
    const __m128i t0 = _mm_set1_epi32(ax.t0);
    Dots ds = dots(_mm_load_si128(reinterpret_cast<const __m128i *>(planar)),
                   _mm_load_si128(reinterpret_cast<const __m128i *>(planar + 16)),
                   _mm_load_si128(reinterpret_cast<const __m128i *>(planar + 32)), ax.d[0], ax.d[1], ax.d[2]);
    const __m128i two = _mm_set1_epi32(2), three = _mm_set1_epi32(3);
    __m128i idx[4];
    for (int q = 0; q < 4; q++) {
        // p >= Th: 2 when p < T0 else 0; p < Th: 1 when p < T1 else 3.
        __m128i lt0 = _mm_cmpgt_epi32(t0, ds.d[q]);
        __m128i lt1 = _mm_cmpgt_epi32(t1, ds.d[q]);
        __m128i lth = _mm_cmpgt_epi32(th, ds.d[q]);
        __m128i upper = _mm_andnot_si128(lth, _mm_and_si128(lt0, two));
        __m128i lower = _mm_and_si128(lth, _mm_xor_si128(three, _mm_and_si128(lt1, two)));
        idx[q] = _mm_or_si128(upper, lower);
    }
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(idx[0], idx[1]), _mm_packs_epi32(idx[2], idx[3]));
    *index_word = pack_index_bytes(bytes);
}

void fast_fit_refine_avx(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                         const DxtBlockStats *stats) {
    // Index bytes: byte i = (word >> 2i) & 3.
    const __m128i word = _mm_set1_epi32(int(index_word));
    const __m128i bytes = _mm_shuffle_epi8(word, _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3));
    const __m128i mask3 = _mm_set1_epi8(3);
    const __m128i s0 = _mm_and_si128(bytes, mask3);
    const __m128i s1 = _mm_and_si128(_mm_srli_epi16(bytes, 2), mask3);
    const __m128i s2 = _mm_and_si128(_mm_srli_epi16(bytes, 4), mask3);
    const __m128i s3 = _mm_and_si128(_mm_srli_epi16(bytes, 6), mask3);
    const __m128i m1 = _mm_setr_epi8(0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0);
    const __m128i m2 = _mm_setr_epi8(0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0);
    const __m128i m3 = _mm_setr_epi8(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1);
    __m128i idx = _mm_blendv_epi8(s0, s1, m1);
    idx = _mm_blendv_epi8(idx, s2, m2);
    idx = _mm_blendv_epi8(idx, s3, m3);

    const RefineSums sums = refine_sums(planar, idx);
    const int xx = sums.xx, yy = sums.yy, xy = sums.xy;
    const int *at1 = sums.at1;
    const int det = xx * yy - xy * xy;
    const float f = 0.36470589f / float(det);
    const float fg = f * 2.032258f;
    int ea[3], eb[3];
    for (int ch = 0; ch < 3; ch++) {
        const int at2 = 3 * stats->sum[ch] - at1[ch];
        const float k = ch == 1 ? fg : f;
        const int top = ch == 1 ? 63 : 31;
        int ia = int(float(at1[ch] * yy - at2 * xy) * k + 0.5f);
        int ib = int(float(at2 * xx - at1[ch] * xy) * k + 0.5f);
        ea[ch] = ia <= 0 ? 0 : ia > top ? top : ia;
        eb[ch] = ib <= 0 ? 0 : ib > top ? top : ib;
    }
    *a = uint64_t(ea[0] << 11 | ea[1] << 5 | ea[2]);
    *b = uint64_t(eb[0] << 11 | eb[1] << 5 | eb[2]);
}
