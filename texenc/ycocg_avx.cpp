// Scaled YCoCg-DXT5 kernels, AVX tier: conversion (eight pixels per vector) and the
// quality-1 luma and chroma halves.
#include <immintrin.h>

#include <cstring>

#include "texenc/ycocg.h"

#pragma GCC target("avx")

using namespace ycocg;

namespace {
#include "texenc/ycocg_convert_avx.inc"

// 16 luma indices against seven thresholds, two vectors of eight pixels.
uint64_t luma_indices(const float *y, const float *t) {
    alignas(32) float counts[16];
    const __m256 one = _mm256_set1_ps(1.0f);
    for (int h = 0; h < 16; h += 8) {
        const __m256 v = _mm256_load_ps(y + h);
        __m256 c = _mm256_setzero_ps();
        for (int j = 0; j < 7; j++)
            c = _mm256_add_ps(c, _mm256_and_ps(_mm256_cmp_ps(v, _mm256_set1_ps(t[j]), _CMP_LE_OQ), one));
        _mm256_store_ps(counts + h, c);
    }
    uint64_t bits = 0;
    for (int i = 0; i < 16; i++) {
        uint32_t k = (uint32_t(counts[i]) + 1) & 7;
        if (k < 2) k ^= 1;
        bits |= uint64_t(k) << (3 * i);
    }
    return bits;
}

inline int32_t component(float v, float top) {
    int32_t q = int32_t(v * top + 0.5f);
    return q < 0 ? 0 : q > int32_t(top) ? int32_t(top) : q;
}

}  // namespace

const DxtToYcocgFn ycocg_to_ycocg_avx[16] = {packed<0>, packed<1>, packed<1>, packed<3>, packed<4>, packed<5>,
                                             packed<6>, nullptr,   packed<8>, packed<9>, nullptr,   nullptr,
                                             nullptr,   nullptr,   nullptr,   nullptr};
const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_avx[16] = {
    nullptr, nullptr, nullptr,    nullptr,    nullptr,    nullptr,    nullptr,    nullptr,
    nullptr, nullptr, planar<10>, planar<10>, planar<12>, planar<13>, planar<14>, planar<14>};

void ycocg_y_block_fast_avx(uint8_t *out, DxtEncYcocgBlock *b) {
    const float inset = (b->y_max - b->y_min) * 0.03125f - kHalfStep;
    float lo = b->y_min + inset, hi = b->y_max - inset;
    if (lo > 1.0f) lo = 1.0f;
    if (hi > 1.0f) hi = 1.0f;
    if (lo < 0.0f) lo = 0.0f;
    if (hi < 0.0f) hi = 0.0f;
    b->y_min = lo;
    b->y_max = hi;
    const float mid = (hi - lo) * kInv14;
    float t[7];
    t[0] = lo + mid;
    for (int j = 0; j < 6; j++) t[j + 1] = (float(6 - j) * hi + float(1 + j) * lo) * kSeventh + mid;
    const uint64_t a0 = uint64_t(int(hi * 255.0f + 0.5f)) & 0xFF, a1 = uint64_t(int(lo * 255.0f + 0.5f)) & 0xFF;
    const uint64_t v = a0 | a1 << 8 | luma_indices(b->y, t) << 16;
    std::memcpy(out, &v, 8);
}

void ycocg_color_block_avx(uint8_t *out, DxtEncYcocgBlock *b) {
    select_diagonal(b);
    const int scale = ycocg_choose_scale(b->box, 4);
    const float fs = float(scale);
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = (b->box[i] - kHalf) * fs + kHalf;
    const float inset_co = (v[2] - v[0]) * 0.0625f - kHalfStep, inset_cg = (v[3] - v[1]) * 0.0625f - kHalfStep;
    const int32_t e[4] = {component(v[0] + inset_co, 31.0f), component(v[1] + inset_cg, 63.0f),
                          component(v[2] - inset_co, 31.0f), component(v[3] - inset_cg, 63.0f)};
    const int x[4] = {(e[0] << 3) | (e[0] >> 2), (e[1] << 2) | (e[1] >> 4), (e[2] << 3) | (e[2] >> 2),
                      (e[3] << 2) | (e[3] >> 4)};
    const float inv = 1.0f / fs;
    float u[4];
    for (int i = 0; i < 4; i++) u[i] = (float(x[i]) * kInv255 - kHalf) * inv + kHalf;
    float pco[4] = {u[2], u[0]}, pcg[4] = {u[3], u[1]};
    pco[2] = (pco[1] - pco[0]) * kThird + pco[0];
    pcg[2] = (pcg[1] - pcg[0]) * kThird + pcg[0];
    pco[3] = (pco[1] - pco[0]) * kTwoThirds + pco[0];
    pcg[3] = (pcg[1] - pcg[0]) * kTwoThirds + pcg[0];

    uint32_t indices = 0;
    for (int h = 0; h < 16; h += 8) {
        const __m256 co = _mm256_load_ps(b->co + h), cg = _mm256_load_ps(b->cg + h);
        __m256 d[4];
        for (int k = 0; k < 4; k++) {
            const __m256 a = _mm256_sub_ps(co, _mm256_set1_ps(pco[k])), c = _mm256_sub_ps(cg, _mm256_set1_ps(pcg[k]));
            d[k] = _mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(c, c));
        }
        const __m256 x0 = _mm256_and_ps(_mm256_cmp_ps(d[2], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[2], d[1], _CMP_LT_OQ));
        const __m256 x1 = _mm256_and_ps(_mm256_cmp_ps(d[3], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[3], d[1], _CMP_LT_OQ));
        const __m256 x2 = _mm256_and_ps(_mm256_cmp_ps(d[3], d[0], _CMP_LT_OQ), _mm256_cmp_ps(d[3], d[2], _CMP_LT_OQ));
        const uint32_t hi = uint32_t(_mm256_movemask_ps(_mm256_or_ps(x0, x1)));
        const uint32_t lo = uint32_t(_mm256_movemask_ps(x2));
        for (int i = 0; i < 8; i++) {
            const uint32_t idx = ((lo >> i) & 1) + 2 * ((hi >> i) & 1);
            indices |= idx << (2 * (h + i));
        }
    }
    const uint32_t s = uint32_t(scale - 1);
    const uint32_t w =
        (uint32_t(e[2]) << 11 | uint32_t(e[3]) << 5 | s) | (uint32_t(e[0]) << 11 | uint32_t(e[1]) << 5 | s) << 16;
    std::memcpy(out, &w, 4);
    std::memcpy(out + 4, &indices, 4);
}
