// Scaled YCoCg-DXT5 kernels, AVX tier: conversion (eight pixels per vector) and the
// quality-1 luma and chroma halves.
#include <immintrin.h>

#include <cstring>

#include "texenc/ycocg.h"

#pragma GCC target("avx")

using namespace ycocg;

namespace {

inline uint16_t ld16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// R, G, B of the 16 pixels on the 0..255 scale; returns whether all read values are 0.
template <uint32_t L>
bool load_rgb(const uint8_t *const *pl, const int64_t *st, float *R, float *G, float *B)
{
    uint32_t any = 0;
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            const int i = 4 * r + c;
            if constexpr (L <= 3 || L == 8 || L == 9) {
                constexpr int bpp = L >= 8 ? 3 : 4;
                const uint8_t *p = pl[0] + r * st[0] + bpp * c;
                uint8_t x, y, z;
                if constexpr (L == 0) { x = p[1]; y = p[2]; z = p[3]; }
                else if constexpr (L == 3 || L == 8) { x = p[0]; y = p[1]; z = p[2]; }
                else { x = p[2]; y = p[1]; z = p[0]; }
                any |= x | y | z;
                R[i] = x; G[i] = y; B[i] = z;
            } else if constexpr (L >= 4 && L <= 6) {
                const uint8_t *p = pl[0] + r * (st[0] / 2 * 2) + 8 * c;
                const int o = L == 6 ? 0 : 2;
                const uint16_t x = ld16(p + o), y = ld16(p + o + 2), z = ld16(p + o + 4);
                any |= x | y | z;
                if constexpr (L == 5) {
                    const float k = 0.0077819824f;
                    R[i] = float(x) * k; G[i] = float(y) * k; B[i] = float(z) * k;
                } else {
                    R[i] = float(x) / 255.0f; G[i] = float(y) / 255.0f; B[i] = float(z) / 255.0f;
                }
            } else if constexpr (L == 10) {
                const uint8_t x = pl[0][r * st[0] + c], y = pl[1][r * st[1] + c], z = pl[2][r * st[2] + c];
                any |= x | y | z;
                R[i] = x; G[i] = y; B[i] = z;
            } else {
                uint16_t v[3];
                for (int k = 0; k < 3; k++) v[k] = ld16(pl[k] + r * (st[k] / 2 * 2) + 2 * c);
                if constexpr (L == 12 || L == 13) {
                    constexpr int shift = L == 12 ? 2 : 4;
                    constexpr uint16_t mask = L == 12 ? 0x3FF : 0xFFF;
                    for (int k = 0; k < 3; k++) v[k] = uint16_t((v[k] & mask) >> shift);
                    R[i] = v[0]; G[i] = v[1]; B[i] = v[2];
                } else {
                    R[i] = float(v[0]) / 255.0f; G[i] = float(v[1]) / 255.0f; B[i] = float(v[2]) / 255.0f;
                }
                any |= v[0] | v[1] | v[2];
            }
        }
    }
    return any == 0;
}

inline __m256 unit(__m256 v)
{
    return _mm256_div_ps(_mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(255.0f)),
                         _mm256_set1_ps(255.0f));
}

inline float hmin(__m256 v)
{
    __m128 m = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    m = _mm_min_ps(m, _mm_movehl_ps(m, m));
    m = _mm_min_ss(m, _mm_shuffle_ps(m, m, 1));
    return _mm_cvtss_f32(m);
}

inline float hmax(__m256 v)
{
    __m128 m = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    m = _mm_max_ps(m, _mm_movehl_ps(m, m));
    m = _mm_max_ss(m, _mm_shuffle_ps(m, m, 1));
    return _mm_cvtss_f32(m);
}

// The transform on two groups of eight pixels, Co wholly in single precision.
template <uint32_t L>
void convert(DxtEncYcocgBlock *b, const uint8_t *const *pl, const int64_t *st, uint64_t *all_black)
{
    alignas(32) float R[16], G[16], B[16];
    if (load_rgb<L>(pl, st, R, G, B)) {
        *all_black = 1;
        return;
    }
    *all_black = 0;
    const __m256 two = _mm256_set1_ps(2.0f), quarter = _mm256_set1_ps(0.25f), c128 = _mm256_set1_ps(128.0f);
    __m256 ymin = _mm256_set1_ps(1.0f), ymax = _mm256_setzero_ps();
    __m256 comin = ymin, cgmin = ymin, comax = ymax, cgmax = ymax;
    for (int h = 0; h < 16; h += 8) {
        const __m256 r = _mm256_load_ps(R + h), g = _mm256_load_ps(G + h), bl = _mm256_load_ps(B + h);
        const __m256 g2 = _mm256_add_ps(g, g);
        const __m256 y = unit(_mm256_mul_ps(_mm256_add_ps(_mm256_add_ps(_mm256_add_ps(g2, r), bl), two), quarter));
        const __m256 t = _mm256_sub_ps(_mm256_add_ps(r, r), _mm256_add_ps(bl, bl));
        const __m256 co = unit(_mm256_add_ps(_mm256_mul_ps(_mm256_add_ps(t, two), quarter), c128));
        const __m256 cg =
            unit(_mm256_add_ps(c128, _mm256_mul_ps(_mm256_add_ps(_mm256_sub_ps(_mm256_sub_ps(g2, r), bl), two), quarter)));
        _mm256_store_ps(b->y + h, y);
        _mm256_store_ps(b->co + h, co);
        _mm256_store_ps(b->cg + h, cg);
        ymin = _mm256_min_ps(ymin, y);
        ymax = _mm256_max_ps(ymax, y);
        comin = _mm256_min_ps(comin, co);
        comax = _mm256_max_ps(comax, co);
        cgmin = _mm256_min_ps(cgmin, cg);
        cgmax = _mm256_max_ps(cgmax, cg);
    }
    b->y_min = hmin(ymin);
    b->y_max = hmax(ymax);
    _mm_store_ps(b->box, _mm_setr_ps(hmin(comin), hmin(cgmin), hmax(comax), hmax(cgmax)));
}

template <uint32_t L>
void packed(DxtEncYcocgBlock *b, const uint8_t *p0, int64_t s0, uint64_t *all_black)
{
    const uint8_t *pl[4] = {p0, nullptr, nullptr, nullptr};
    const int64_t st[4] = {s0, 0, 0, 0};
    convert<L>(b, pl, st, all_black);
}

template <uint32_t L>
void planar(DxtEncYcocgBlock *b, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1,
            int64_t s2, uint64_t *all_black)
{
    const uint8_t *pl[4] = {p0, p1, p2, nullptr};
    const int64_t st[4] = {s0, s1, s2, 0};
    convert<L>(b, pl, st, all_black);
}

// 16 luma indices against seven thresholds, two vectors of eight pixels.
uint64_t luma_indices(const float *y, const float *t)
{
    alignas(32) float counts[16];
    const __m256 one = _mm256_set1_ps(1.0f);
    for (int h = 0; h < 16; h += 8) {
        const __m256 v = _mm256_load_ps(y + h);
        __m256 c = _mm256_setzero_ps();
        for (int j = 0; j < 7; j++) c = _mm256_add_ps(c, _mm256_and_ps(_mm256_cmp_ps(v, _mm256_set1_ps(t[j]), _CMP_LE_OQ), one));
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

// Diagonal selection with the eight-lane summation order.
void select_diagonal(DxtEncYcocgBlock *b)
{
    float *box = b->box;
    const __m256 cco = _mm256_set1_ps((box[0] + box[2]) * 0.5f), ccg = _mm256_set1_ps((box[1] + box[3]) * 0.5f);
    const __m256 p0 = _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(b->cg), ccg), _mm256_sub_ps(_mm256_load_ps(b->co), cco));
    const __m256 p1 =
        _mm256_mul_ps(_mm256_sub_ps(_mm256_load_ps(b->cg + 8), ccg), _mm256_sub_ps(_mm256_load_ps(b->co + 8), cco));
    alignas(32) float s[8];
    _mm256_store_ps(s, _mm256_add_ps(p0, p1));
    const float sum = ((s[0] + s[4]) + (s[1] + s[5])) + ((s[2] + s[6]) + (s[3] + s[7]));
    if (sum < 0.0f) {
        const float t = box[1];
        box[1] = box[3];
        box[3] = t;
    }
}

inline int32_t component(float v, float top)
{
    int32_t q = int32_t(v * top + 0.5f);
    return q < 0 ? 0 : q > int32_t(top) ? int32_t(top) : q;
}

}  // namespace

const DxtToYcocgFn ycocg_to_ycocg_avx[16] = {packed<0>, packed<1>, packed<1>, packed<3>, packed<4>, packed<5>,
                                             packed<6>, nullptr,   packed<8>, packed<9>, nullptr,   nullptr,
                                             nullptr,   nullptr,   nullptr,   nullptr};
const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_avx[16] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    planar<10>, planar<10>, planar<12>, planar<13>, planar<14>, planar<14>};

void ycocg_y_block_fast_avx(uint8_t *out, DxtEncYcocgBlock *b)
{
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

void ycocg_color_block_avx(uint8_t *out, DxtEncYcocgBlock *b)
{
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
    const uint32_t w = (uint32_t(e[2]) << 11 | uint32_t(e[3]) << 5 | s) |
                       (uint32_t(e[0]) << 11 | uint32_t(e[1]) << 5 | s) << 16;
    std::memcpy(out, &w, 4);
    std::memcpy(out + 4, &indices, 4);
}
