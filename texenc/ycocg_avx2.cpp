// Scaled YCoCg-DXT5 kernels, AVX2 and AVX2+FMA tier: conversion, the quality-1 stages and
// the quantisers, evaluators and index kernel of the quality-2/3 chroma search.
#include <immintrin.h>

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "texenc/ycocg.h"

#pragma GCC target("avx2,fma")

using namespace ycocg;

namespace {
#include "texenc/ycocg_convert_avx.inc"

inline float fmaf1(float a, float b, float c) {
    return _mm_cvtss_f32(_mm_fmadd_ss(_mm_set_ss(a), _mm_set_ss(b), _mm_set_ss(c)));
}

// Sum of the eight lanes (fixed pairwise order).
inline float hsum(__m256 v) {
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 1));
    return _mm_cvtss_f32(s);
}

inline int32_t component(float v, float top) {
    const int32_t q = int32_t(fmaf1(v, top, 0.5f));
    return q < 0 ? 0 : q > int32_t(top) ? int32_t(top) : q;
}

inline uint64_t luma_byte(float x) { return uint64_t(int(fmaf1(x, 255.0f, 0.5f))) & 0xFF; }

uint64_t luma_indices(const float *y, const float *t) {
    uint64_t bits = 0;
    for (int h = 0; h < 16; h += 8) {
        const __m256 v = _mm256_load_ps(y + h);
        __m256i c = _mm256_setzero_si256();
        for (int j = 0; j < 7; j++) {
            // A true comparison is all ones (-1): subtracting counts it.
            c = _mm256_sub_epi32(c, _mm256_castps_si256(_mm256_cmp_ps(v, _mm256_set1_ps(t[j]), _CMP_LE_OQ)));
        }
        __m256i k = _mm256_and_si256(_mm256_add_epi32(c, _mm256_set1_epi32(1)), _mm256_set1_epi32(7));
        // k < 2: k ^= 1
        const __m256i small = _mm256_cmpgt_epi32(_mm256_set1_epi32(2), k);
        k = _mm256_xor_si256(k, _mm256_and_si256(small, _mm256_set1_epi32(1)));
        alignas(32) int32_t ks[8];
        _mm256_store_si256(reinterpret_cast<__m256i *>(ks), k);
        for (int i = 0; i < 8; i++) bits |= uint64_t(ks[i]) << (3 * (h + i));
    }
    return bits;
}

inline void inset_luma(const DxtEncYcocgBlock *b, float &lo, float &hi) {
    const float inset = fmaf1(0.03125f, b->y_max - b->y_min, -kHalfStep);
    lo = b->y_min + inset;
    hi = b->y_max - inset;
    if (lo > 1.0f) lo = 1.0f;
    if (hi > 1.0f) hi = 1.0f;
    if (lo < 0.0f) lo = 0.0f;
    if (hi < 0.0f) hi = 0.0f;
}

// Palette values (a hi + b lo) / 7 of the quality-2/3 member: the outer pairs fused.
void luma_palette(float lo, float hi, float *p) {
    p[0] = lo;
    p[1] = hi;
    p[2] = fmaf1(6.0f, hi, lo) * kSeventh;
    for (int j = 1; j < 5; j++) p[j + 2] = (float(6 - j) * hi + float(1 + j) * lo) * kSeventh;
    p[7] = fmaf1(6.0f, lo, hi) * kSeventh;
}

float luma_error(const float *y, const float *p) {
    __m256 acc = _mm256_setzero_ps();
    for (int h = 0; h < 16; h += 8) {
        const __m256 v = _mm256_load_ps(y + h);
        __m256 m = _mm256_set1_ps(FLT_MAX);
        for (int k = 0; k < 8; k++) {
            const __m256 d = _mm256_sub_ps(v, _mm256_set1_ps(p[k]));
            m = _mm256_min_ps(m, _mm256_mul_ps(d, d));
        }
        acc = _mm256_add_ps(acc, m);
    }
    return hsum(acc);
}

// Quality-1 end points and their fused pixel-domain palette (P0 second, P1 first).
void q1_endpoints(const float *box, int scale, int32_t *e, float *pco, float *pcg) {
    const float fs = float(scale);
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = (box[i] - kHalf) * fs + kHalf;
    const float inset_co = (v[2] - v[0]) * 0.0625f - kHalfStep, inset_cg = (v[3] - v[1]) * 0.0625f - kHalfStep;
    e[0] = component(v[0] + inset_co, 31.0f);
    e[1] = component(v[1] + inset_cg, 63.0f);
    e[2] = component(v[2] - inset_co, 31.0f);
    e[3] = component(v[3] - inset_cg, 63.0f);
    const int x[4] = {(e[0] << 3) | (e[0] >> 2), (e[1] << 2) | (e[1] >> 4), (e[2] << 3) | (e[2] >> 2),
                      (e[3] << 2) | (e[3] >> 4)};
    const float inv = 1.0f / fs;
    float u[4];
    for (int i = 0; i < 4; i++) u[i] = fmaf1(fmaf1(float(x[i]), kInv255, -kHalf), inv, kHalf);
    pco[0] = u[2];
    pcg[0] = u[3];
    pco[1] = u[0];
    pcg[1] = u[1];
    pco[2] = fmaf1(pco[1] - pco[0], kThird, pco[0]);
    pcg[2] = fmaf1(pcg[1] - pcg[0], kThird, pcg[0]);
    pco[3] = fmaf1(pco[1] - pco[0], kTwoThirds, pco[0]);
    pcg[3] = fmaf1(pcg[1] - pcg[0], kTwoThirds, pcg[0]);
}

inline void store_colour_half(uint8_t *out, const int32_t *e, int scale, uint32_t indices) {
    const uint32_t s = uint32_t(scale - 1);
    const uint32_t w =
        (uint32_t(e[2]) << 11 | uint32_t(e[3]) << 5 | s) | (uint32_t(e[0]) << 11 | uint32_t(e[1]) << 5 | s) << 16;
    std::memcpy(out, &w, 4);
    std::memcpy(out + 4, &indices, 4);
}

// Index word from four distance vectors of eight pixels (h = 0 or 8).
inline uint32_t index_bits(const __m256 *d, int h) {
    const __m256 x0 = _mm256_and_ps(_mm256_cmp_ps(d[2], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[2], d[1], _CMP_LT_OQ));
    const __m256 x1 = _mm256_and_ps(_mm256_cmp_ps(d[3], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[3], d[1], _CMP_LT_OQ));
    const __m256 x2 = _mm256_and_ps(_mm256_cmp_ps(d[3], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[3], d[2], _CMP_LT_OQ));
    const uint32_t hi = uint32_t(_mm256_movemask_ps(_mm256_or_ps(x0, x1)));
    const uint32_t lo = uint32_t(_mm256_movemask_ps(x2));
    // Interleave: bit i of lo to bit 2i, bit i of hi to bit 2i + 1.
    uint32_t spread = 0;
    for (int i = 0; i < 8; i++) spread |= (((lo >> i) & 1) | ((hi >> i) & 1) << 1) << (2 * i);
    return spread << (2 * h);
}

template <int S>
inline float scaled(float v) {
    if constexpr (S == 1)
        return v;
    else
        return (v - kHalf) * float(S) + kHalf;
}

template <int S>
void inset_quantize(const float *box, int32_t *e) {
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = scaled<S>(box[i]);
    const float inset_co = (v[2] - v[0]) * 0.0625f - kHalfStep, inset_cg = (v[3] - v[1]) * 0.0625f - kHalfStep;
    e[0] = component(v[0] + inset_co, 31.0f);
    e[1] = component(v[1] + inset_cg, 63.0f);
    e[2] = component(v[2] - inset_co, 31.0f);
    e[3] = component(v[3] - inset_cg, 63.0f);
}

template <int S>
void quantize_flat(const float *box, int32_t *e) {
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = scaled<S>(box[i]);
    e[0] = component(v[0] - kHalfStep, 31.0f);
    e[1] = component(v[1] - kHalfStep, 63.0f);
    e[2] = component(v[2] + kHalfStep, 31.0f);
    e[3] = component(v[3] + kHalfStep, 63.0f);
}

template <int S>
inline float pixel_value(int32_t q, float inv) {
    if constexpr (S == 1)
        return float(q) * inv;
    else
        return fmaf1(fmaf1(float(q), inv, -kHalf), S == 2 ? 0.5f : 0.25f, kHalf);
}

template <int S, bool Q3>
void endpoint_search(const DxtEncYcocgBlock *b, float *best_error, const int32_t *cand, float *distances,
                     int32_t *best) {
    const float aco = pixel_value<S>(cand[0], kInv31), acg = pixel_value<S>(cand[1], kInv63);
    // The six second end points side by side (lanes 6 and 7 repeat lane 5).
    alignas(32) float bco[8], bcg[8];
    alignas(32) int32_t e2[8], e3[8];
    for (int j = 0; j < 8; j++) {
        const int jj = j < 6 ? j : 5;
        e2[j] = Q3 ? cand[2] : std::min(cand[2] + jj, 31);
        e3[j] = std::min(cand[3] + jj, 63);
        bco[j] = pixel_value<S>(e2[j], kInv31);
        bcg[j] = pixel_value<S>(e3[j], kInv63);
    }
    const __m256 Bco = _mm256_load_ps(bco), Bcg = _mm256_load_ps(bcg);
    const __m256 Aco = _mm256_set1_ps(aco), Acg = _mm256_set1_ps(acg);
    const __m256 dco = _mm256_sub_ps(Aco, Bco), dcg = _mm256_sub_ps(Acg, Bcg);
    const __m256 pco[4] = {Bco, Aco, _mm256_fmadd_ps(dco, _mm256_set1_ps(kThird), Bco),
                           _mm256_fmadd_ps(dco, _mm256_set1_ps(kTwoThirds), Bco)};
    const __m256 pcg[4] = {Bcg, Acg, _mm256_fmadd_ps(dcg, _mm256_set1_ps(kThird), Bcg),
                           _mm256_fmadd_ps(dcg, _mm256_set1_ps(kTwoThirds), Bcg)};
    const __m256 co = _mm256_set1_ps(b->co[0]), cg = _mm256_set1_ps(b->cg[0]);
    alignas(32) float d[4][8];
    for (int k = 0; k < 4; k++) {
        const __m256 a = _mm256_sub_ps(co, pco[k]), c = _mm256_sub_ps(cg, pcg[k]);
        _mm256_store_ps(d[k], _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c)));
    }
    // Lowest lane among the smallest errors.
    int w = 0;
    float win = FLT_MAX;
    for (int j = 0; j < 6; j++) {
        const float m = std::min(std::min(d[0][j], d[1][j]), std::min(d[2][j], d[3][j]));
        const float err = m * m;
        if (err < win) {
            win = err;
            w = j;
        }
    }
    if (win < *best_error) {
        *best_error = win;
        best[0] = cand[0];
        best[1] = cand[1];
        best[2] = e2[w];
        best[3] = e3[w];
        for (int k = 0; k < 4; k++) distances[k] = d[k][w];
    }
}

// Error of one second end point (eight pixels per step, lanes summed at the end); fills
// its distance table when given one.
template <int S>
float candidate_error(const DxtEncYcocgBlock *b, const float *scratch, int32_t e2, int32_t e3, float *table) {
    const float aco = scratch[16], acg = scratch[17];
    const float bco = pixel_value<S>(e2, kInv31), bcg = pixel_value<S>(e3, kInv63);
    const __m256 Bco = _mm256_set1_ps(bco), Bcg = _mm256_set1_ps(bcg);
    const __m256 dco = _mm256_set1_ps(aco - bco), dcg = _mm256_set1_ps(acg - bcg);
    const __m256 p2co = _mm256_fmadd_ps(dco, _mm256_set1_ps(kThird), Bco);
    const __m256 p2cg = _mm256_fmadd_ps(dcg, _mm256_set1_ps(kThird), Bcg);
    const __m256 p3co = _mm256_fmadd_ps(dco, _mm256_set1_ps(kTwoThirds), Bco);
    const __m256 p3cg = _mm256_fmadd_ps(dcg, _mm256_set1_ps(kTwoThirds), Bcg);
    __m256 acc = _mm256_setzero_ps();
    for (int h = 0; h < 16; h += 8) {
        const __m256 co = _mm256_load_ps(b->co + h), cg = _mm256_load_ps(b->cg + h);
        __m256 a = _mm256_sub_ps(co, Bco), c = _mm256_sub_ps(cg, Bcg);
        const __m256 d0 = _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c));
        const __m256 d1 = _mm256_load_ps(scratch + h);
        a = _mm256_sub_ps(co, p2co);
        c = _mm256_sub_ps(cg, p2cg);
        const __m256 d2 = _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c));
        a = _mm256_sub_ps(co, p3co);
        c = _mm256_sub_ps(cg, p3cg);
        const __m256 d3 = _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c));
        if (table) {
            _mm256_store_ps(table + h, d0);
            _mm256_store_ps(table + 16 + h, d1);
            _mm256_store_ps(table + 32 + h, d2);
            _mm256_store_ps(table + 48 + h, d3);
        }
        const __m256 m = _mm256_min_ps(_mm256_min_ps(d0, d1), _mm256_min_ps(d2, d3));
        acc = _mm256_add_ps(acc, _mm256_mul_ps(m, m));
    }
    return hsum(acc);
}

template <int S, bool Q3, int First>
void refine(const DxtEncYcocgBlock *b, float *best_error, int32_t *cand, float *distances, int32_t *best,
            float *scratch) {
    if constexpr (First == 0) {
        const int32_t c0 = std::min(cand[0], 31), c1 = std::min(cand[1], 63);
        const float aco = pixel_value<S>(c0, kInv31), acg = pixel_value<S>(c1, kInv63);
        const __m256 Aco = _mm256_set1_ps(aco), Acg = _mm256_set1_ps(acg);
        for (int h = 0; h < 16; h += 8) {
            const __m256 a = _mm256_sub_ps(_mm256_load_ps(b->co + h), Aco);
            const __m256 c = _mm256_sub_ps(_mm256_load_ps(b->cg + h), Acg);
            _mm256_store_ps(scratch + h, _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c)));
        }
        scratch[16] = aco;
        scratch[17] = acg;
        scratch[18] = pixel_value<S>(std::min(cand[2], 31), kInv31);
        scratch[19] = pixel_value<S>(std::min(cand[3], 63), kInv63);
    }
    int32_t e2[2], e3[2];
    for (int j = 0; j < 2; j++) {
        e2[j] = Q3 ? cand[2] : std::min(cand[2] + First + j, 31);
        e3[j] = std::min(cand[3] + First + j, 63);
    }
    const float err1 = candidate_error<S>(b, scratch, e2[0], e3[0], nullptr);
    const float err2 = candidate_error<S>(b, scratch, e2[1], e3[1], nullptr);
    const int w = err2 < err1 ? 1 : 0;
    const float err = w ? err2 : err1;
    if (err < *best_error) {
        *best_error = err;
        best[0] = cand[0];
        best[1] = cand[1];
        best[2] = e2[w];
        best[3] = e3[w];
        candidate_error<S>(b, scratch, e2[w], e3[w], distances);
    }
    cand[2] = e2[1];
    cand[3] = e3[1];
}

}  // namespace

const DxtToYcocgFn ycocg_to_ycocg_avx2[16] = {packed<0>, packed<1>, packed<1>, packed<3>, packed<4>, packed<5>,
                                              packed<6>, nullptr,   packed<8>, packed<9>, nullptr,   nullptr,
                                              nullptr,   nullptr,   nullptr,   nullptr};
const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_avx2[16] = {
    nullptr, nullptr, nullptr,    nullptr,    nullptr,    nullptr,    nullptr,    nullptr,
    nullptr, nullptr, planar<10>, planar<10>, planar<12>, planar<13>, planar<14>, planar<14>};

void ycocg_y_block_fast_avx2(uint8_t *out, DxtEncYcocgBlock *b) {
    float lo, hi;
    inset_luma(b, lo, hi);
    b->y_min = lo;
    b->y_max = hi;
    const float mid = (hi - lo) * kInv14;
    float t[7];
    t[0] = lo + mid;
    t[1] = fmaf1(kSeventh, fmaf1(6.0f, hi, lo), mid);
    for (int j = 1; j < 5; j++) t[j + 1] = fmaf1(kSeventh, fmaf1(float(6 - j), hi, float(1 + j) * lo), mid);
    t[6] = fmaf1(kSeventh, fmaf1(6.0f, lo, hi), mid);
    const uint64_t v = luma_byte(hi) | luma_byte(lo) << 8 | luma_indices(b->y, t) << 16;
    std::memcpy(out, &v, 8);
}

void ycocg_y_block_avx2(uint8_t *out, DxtEncYcocgBlock *b) {
    float lo = b->y_min, hi = b->y_max, blo, bhi;
    inset_luma(b, blo, bhi);
    float pa[8], pb[8];
    luma_palette(lo, hi, pa);
    luma_palette(blo, bhi, pb);
    const float err_a = luma_error(b->y, pa), err_b = luma_error(b->y, pb);
    const float *p = pa;
    if (!(err_b > err_a)) {
        lo = blo;
        hi = bhi;
        p = pb;
        b->y_min = lo;
        b->y_max = hi;
    }
    const float mid = (hi - lo) * kInv14;
    float t[7];
    t[0] = lo + mid;
    for (int j = 0; j < 6; j++) t[j + 1] = p[j + 2] + mid;
    const uint64_t v = luma_byte(hi) | luma_byte(lo) << 8 | luma_indices(b->y, t) << 16;
    std::memcpy(out, &v, 8);
}

void ycocg_color_block_avx2(uint8_t *out, DxtEncYcocgBlock *b) {
    select_diagonal(b);
    const int scale = ycocg_choose_scale(b->box, 4);
    int32_t e[4];
    float pco[4], pcg[4];
    q1_endpoints(b->box, scale, e, pco, pcg);
    uint32_t indices = 0;
    for (int h = 0; h < 16; h += 8) {
        const __m256 co = _mm256_load_ps(b->co + h), cg = _mm256_load_ps(b->cg + h);
        __m256 d[4];
        for (int k = 0; k < 4; k++) {
            const __m256 a = _mm256_sub_ps(co, _mm256_set1_ps(pco[k])), c = _mm256_sub_ps(cg, _mm256_set1_ps(pcg[k]));
            d[k] = _mm256_fmadd_ps(c, c, _mm256_mul_ps(a, a));
        }
        indices |= index_bits(d, h);
    }
    store_colour_half(out, e, scale, indices);
}

void ycocg_color_block_flat_avx2(uint8_t *out, DxtEncYcocgBlock *b) {
    const int scale = ycocg_choose_scale(b->box, 4);
    int32_t e[4];
    float pco[4], pcg[4];
    q1_endpoints(b->box, scale, e, pco, pcg);
    float d[4];
    for (int k = 0; k < 4; k++) {
        const float a = b->co[0] - pco[k], c = b->cg[0] - pcg[k];
        d[k] = a * a + c * c;
    }
    store_colour_half(out, e, scale, ycocg_color_index(d[0], d[1], d[2], d[3]) * 0x55555555u);
}

const DxtYcocgQuantizeFn ycocg_inset_quantize_avx2[3] = {inset_quantize<1>, inset_quantize<2>, inset_quantize<4>};
const DxtYcocgQuantizeFn ycocg_quantize_avx2[3] = {quantize_flat<1>, quantize_flat<2>, quantize_flat<4>};
const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q2_avx2[3] = {endpoint_search<1, false>, endpoint_search<2, false>,
                                                                   endpoint_search<4, false>};
const DxtYcocgRefineFn ycocg_refine_a_q2_avx2[3] = {refine<1, false, 0>, refine<2, false, 0>, refine<4, false, 0>};
const DxtYcocgRefineFn ycocg_refine_b_q2_avx2[3] = {refine<1, false, 1>, refine<2, false, 1>, refine<4, false, 1>};
const DxtYcocgRefineFn ycocg_refine_a_q3_avx2[3] = {refine<1, true, 0>, refine<2, true, 0>, refine<4, true, 0>};
const DxtYcocgRefineFn ycocg_refine_b_q3_avx2[3] = {refine<1, true, 1>, refine<2, true, 1>, refine<4, true, 1>};

void ycocg_color_indices_avx2(const float *distances, uint64_t *index_word) {
    uint32_t w = 0;
    for (int h = 0; h < 16; h += 8) {
        const __m256 d[4] = {_mm256_load_ps(distances + h), _mm256_load_ps(distances + 16 + h),
                             _mm256_load_ps(distances + 32 + h), _mm256_load_ps(distances + 48 + h)};
        w |= index_bits(d, h);
    }
    // Only the low half of the slot is written.
    std::memcpy(index_word, &w, 4);
}
