// Scaled YCoCg-DXT5 blocks, baseline tier: colour transform, luma and chroma halves, the
// quality-2/3 chroma search and the per-block encoders.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "texenc/ycocg.h"

using namespace ycocg;

namespace {

inline float clamp_unit(float v) {
    // NaN falls through both tests and becomes 0 below: the float layout must stay in range.
    if (v > 1.0f) return 1.0f;
    if (v >= 0.0f) return v;
    return 0.0f;
}

inline float to_unit(float v) { return v < 0.0f ? 0.0f : std::fmin(v, 255.0f) / 255.0f; }

inline uint16_t ld16(const uint8_t *p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline float ldf(const uint8_t *p) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

// R, G, B of pixel (r, c) on the 0..255 scale, and whether they are all zero as read.
struct Rgbf {
    float r, g, b;
    bool black;
};

Rgbf read_rgb(const uint8_t *const *planes, const int64_t *strides, int r, int c, uint32_t L, bool &known) {
    known = true;
    // 16-bit and float rows advance by the stride rounded toward zero to whole samples.
    const int64_t s0 = strides[0];
    const int64_t s16 = s0 / 2 * 2, s32 = s0 / 4 * 4;
    switch (L) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 8:
    case 9: {
        const int bpp = L >= 8 ? 3 : 4;
        const uint8_t *p = planes[0] + r * s0 + bpp * c;
        uint8_t R, G, B;
        if (L == 0) {
            R = p[1];
            G = p[2];
            B = p[3];
        } else if (L == 3 || L == 8) {
            R = p[0];
            G = p[1];
            B = p[2];
        } else {
            R = p[2];
            G = p[1];
            B = p[0];
        }
        return {float(R), float(G), float(B), (R | G | B) == 0};
    }
    case 4:
    case 5:
    case 6: {
        const uint8_t *p = planes[0] + r * s16 + 8 * c;
        uint16_t R, G, B;
        if (L == 6) {
            R = ld16(p);
            G = ld16(p + 2);
            B = ld16(p + 4);
        } else {
            R = ld16(p + 2);
            G = ld16(p + 4);
            B = ld16(p + 6);
        }
        const bool black = (R | G | B) == 0;
        if (L == 5) {
            const float k = 0.0077819824f;  // 255 / 32768
            return {float(R) * k, float(G) * k, float(B) * k, black};
        }
        return {float(R) / 255.0f, float(G) / 255.0f, float(B) / 255.0f, black};
    }
    case 7: {
        const uint8_t *p = planes[0] + r * s32 + 16 * c;
        const float R = clamp_unit(ldf(p + 4)), G = clamp_unit(ldf(p + 8)), B = clamp_unit(ldf(p + 12));
        return {R * 255.0f, G * 255.0f, B * 255.0f, R == 0.0f && G == 0.0f && B == 0.0f};
    }
    case 10:
    case 11: {
        const uint8_t R = planes[0][r * strides[0] + c], G = planes[1][r * strides[1] + c],
                      B = planes[2][r * strides[2] + c];
        return {float(R), float(G), float(B), (R | G | B) == 0};
    }
    case 12:
    case 13:
    case 14:
    case 15: {
        uint16_t v[3];
        for (int k = 0; k < 3; k++) v[k] = ld16(planes[k] + r * (strides[k] / 2 * 2) + 2 * c);
        if (L == 14 || L == 15) {
            return {float(v[0]) / 255.0f, float(v[1]) / 255.0f, float(v[2]) / 255.0f, (v[0] | v[1] | v[2]) == 0};
        }
        // Bits above the sample width are not part of the sample.
        const int shift = L == 12 ? 2 : 4;
        const uint16_t mask = L == 12 ? 0x3FF : 0xFFF;
        for (int k = 0; k < 3; k++) v[k] = uint16_t((v[k] & mask) >> shift);
        return {float(v[0]), float(v[1]), float(v[2]), (v[0] | v[1] | v[2]) == 0};
    }
    default: known = false; return {0, 0, 0, false};
    }
}

inline int quantize(float v, float top) {
    if (v > 1.0f) return int(top);
    return int(std::roundf(std::fmax(0.0f, v) * top));
}

inline void store_colour_half(uint8_t *out, const int32_t *e, int scale, uint32_t indices) {
    const uint32_t s = uint32_t(scale - 1);
    const uint32_t c0 = uint32_t(e[2]) << 11 | uint32_t(e[3]) << 5 | s;
    const uint32_t c1 = uint32_t(e[0]) << 11 | uint32_t(e[1]) << 5 | s;
    const uint32_t w = c0 | c1 << 16;
    std::memcpy(out, &w, 4);
    std::memcpy(out + 4, &indices, 4);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Colour transform.

void to_ycocg_template(DxtEncYcocgBlock *block, const uint8_t *const *planes, const int64_t *strides,
                       uint64_t *all_black, uint32_t pixel_format) {
    float y_min = 1.0f, y_max = 0.0f;
    float box[4] = {1.0f, 1.0f, 0.0f, 0.0f};
    *all_black = 1;
    for (int i = 0; i < 16; i++) {
        bool known;
        const Rgbf px = read_rgb(planes, strides, i / 4, i % 4, pixel_format, known);
        if (!known) printf("Unsupported pix fmt ycocg : %d\n", int(pixel_format));
        if (!px.black) *all_black = 0;
        const float R = px.r, G = px.g, B = px.b;
        const float Y = (((2.0f * G + R) + B) + 2.0f) * 0.25f;
        const float co_d = float(((double(R) + double(R)) - 2.0 * double(B) + 2.0) * 0.25);
        const float Co = 128.0f + co_d;
        const float Cg = 128.0f + (((2.0f * G - R) - B) + 2.0f) * 0.25f;
        const float y = to_unit(Y), co = to_unit(Co), cg = to_unit(Cg);
        block->y[i] = y;
        block->co[i] = co;
        block->cg[i] = cg;
        y_min = std::fmin(y_min, y);
        y_max = std::fmax(y_max, y);
        box[0] = std::fmin(box[0], co);
        box[1] = std::fmin(box[1], cg);
        box[2] = std::fmax(box[2], co);
        box[3] = std::fmax(box[3], cg);
    }
    block->y_min = y_min;
    block->y_max = y_max;
    std::memcpy(block->box, box, sizeof(box));
}

namespace {

template <uint32_t L>
void to_ycocg_packed(DxtEncYcocgBlock *block, const uint8_t *plane0, int64_t stride0, uint64_t *all_black) {
    const uint8_t *planes[4] = {plane0, nullptr, nullptr, nullptr};
    const int64_t strides[4] = {stride0, 0, 0, 0};
    to_ycocg_template(block, planes, strides, all_black, L);
}

template <uint32_t L>
void to_ycocg_planar(DxtEncYcocgBlock *block, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0,
                     int64_t s1, int64_t s2, uint64_t *all_black) {
    const uint8_t *planes[4] = {p0, p1, p2, nullptr};
    const int64_t strides[4] = {s0, s1, s2, 0};
    to_ycocg_template(block, planes, strides, all_black, L);
}

}  // namespace

const DxtToYcocgFn ycocg_to_ycocg_sse41[16] = {to_ycocg_packed<0>,
                                               to_ycocg_packed<1>,
                                               to_ycocg_packed<1>,
                                               to_ycocg_packed<3>,
                                               to_ycocg_packed<4>,
                                               to_ycocg_packed<5>,
                                               to_ycocg_packed<6>,
                                               to_ycocg_packed<7>,
                                               to_ycocg_packed<8>,
                                               to_ycocg_packed<9>,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr,
                                               nullptr};
const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_sse41[16] = {nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            nullptr,
                                                            to_ycocg_planar<10>,
                                                            to_ycocg_planar<10>,
                                                            to_ycocg_planar<12>,
                                                            to_ycocg_planar<13>,
                                                            to_ycocg_planar<14>,
                                                            to_ycocg_planar<14>};

// ---------------------------------------------------------------------------------------
// Luma.

uint64_t ycocg_y_indices_sse41(const float *y, float lo, float hi) {
    static constexpr float pa[6] = {6, 5, 4, 3, 2, 1};
    const float mid = (hi - lo) / 14.0f;
    float t[7];
    t[0] = lo + mid;
    for (int j = 0; j < 6; j++) t[j + 1] = (pa[j] * hi + pa[5 - j] * lo) * kSeventh + mid;
    uint64_t bits = 0;
    for (int i = 0; i < 16; i++) {
        uint32_t c = 0;
        for (int j = 0; j < 7; j++) c += y[i] <= t[j];
        uint32_t k = (c + 1) & 7;
        if (k < 2) k ^= 1;
        bits |= uint64_t(k) << (3 * i);
    }
    return bits;
}

namespace {

inline void inset_luma(const DxtEncYcocgBlock *b, float &lo, float &hi) {
    const float inset = (b->y_max - b->y_min) * 0.03125f - kHalfStep;
    lo = b->y_min + inset;
    hi = b->y_max - inset;
    if (lo > 1.0f) lo = 1.0f;
    if (hi > 1.0f) hi = 1.0f;
    if (lo < 0.0f) lo = 0.0f;
    if (hi < 0.0f) hi = 0.0f;
}

inline void store_luma(uint8_t *out, float lo, float hi, uint64_t indices) {
    const uint64_t a0 = uint64_t(int(std::roundf(hi * 255.0f))) & 0xFF;
    const uint64_t a1 = uint64_t(int(std::roundf(lo * 255.0f))) & 0xFF;
    const uint64_t v = a0 | a1 << 8 | indices << 16;
    std::memcpy(out, &v, 8);
}

float luma_error(const float *y, float lo, float hi) {
    static constexpr float pa[6] = {6, 5, 4, 3, 2, 1};
    float p[8] = {lo, hi};
    for (int j = 0; j < 6; j++) p[j + 2] = (pa[j] * hi + pa[5 - j] * lo) * kSeventh;
    float err = 0.0f;
    for (int i = 0; i < 16; i++) {
        float m = FLT_MAX;
        for (int k = 0; k < 8; k++) {
            const float d = y[i] - p[k];
            m = std::fmin(m, d * d);
        }
        err += m;
    }
    return err;
}

}  // namespace

void ycocg_y_block_fast_sse41(uint8_t *out, DxtEncYcocgBlock *block) {
    float lo, hi;
    inset_luma(block, lo, hi);
    block->y_min = lo;
    block->y_max = hi;
    store_luma(out, lo, hi, ycocg_y_indices_sse41(block->y, lo, hi));
}

void ycocg_y_block_sse41(uint8_t *out, DxtEncYcocgBlock *block) {
    float lo = block->y_min, hi = block->y_max;
    float blo, bhi;
    inset_luma(block, blo, bhi);
    const float err_a = luma_error(block->y, lo, hi);
    const float err_b = luma_error(block->y, blo, bhi);
    if (!(err_b > err_a)) {
        lo = blo;
        hi = bhi;
        block->y_min = lo;
        block->y_max = hi;
    }
    store_luma(out, lo, hi, ycocg_y_indices_sse41(block->y, lo, hi));
}

// ---------------------------------------------------------------------------------------
// Chroma, shared steps.

void ycocg_select_diagonal(DxtEncYcocgBlock *block) {
    float *box = block->box;
    const float c_co = (box[0] + box[2]) * 0.5f;
    const float c_cg = (box[1] + box[3]) * 0.5f;
    float s = 0.0f;
    for (int i = 0; i < 16; i++) s += (block->cg[i] - c_cg) * (block->co[i] - c_co);
    if (s < 0.0f) {
        const float t = box[1];
        box[1] = box[3];
        box[3] = t;
    }
}

int ycocg_choose_scale(const float *values, int count) {
    float m = 0.0f;
    for (int i = 0; i < count; i++) m = std::fmax(m, std::fabs(values[i] - kHalf));
    if (m < k32) return 4;
    if (m < k64) return 2;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Quality-1 chroma.

namespace {

// Inset and quantised end points of the box at a scale, as the quality-1 encoders do it.
void q1_endpoints(const float *box, int scale, int32_t *e) {
    const float fs = float(scale);
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = (box[i] - kHalf) * fs + kHalf;
    const float inset_co = (v[2] - v[0]) * 0.0625f - kHalfStep;
    const float inset_cg = (v[3] - v[1]) * 0.0625f - kHalfStep;
    e[0] = quantize(v[0] + inset_co, 31.0f);
    e[1] = quantize(v[1] + inset_cg, 63.0f);
    e[2] = quantize(v[2] - inset_co, 31.0f);
    e[3] = quantize(v[3] - inset_cg, 63.0f);
}

// Pixel-domain palette of the quality-1 encoders (bit-replicated components); P0 is the
// second end point, P1 the first. Also leaves the two end points in box.
void q1_palette(float *box, const int32_t *e, int scale, float *pco, float *pcg) {
    const float fs = float(scale);
    const int x[4] = {(e[0] << 3) | (e[0] >> 2), (e[1] << 2) | (e[1] >> 4), (e[2] << 3) | (e[2] >> 2),
                      (e[3] << 2) | (e[3] >> 4)};
    float u[4];
    for (int i = 0; i < 4; i++) u[i] = (float(x[i]) * kInv255 - kHalf) / fs + kHalf;
    std::memcpy(box, u, sizeof(u));
    pco[0] = u[2];
    pcg[0] = u[3];
    pco[1] = u[0];
    pcg[1] = u[1];
    pco[2] = (pco[1] - pco[0]) * kThird + pco[0];
    pcg[2] = (pcg[1] - pcg[0]) * kThird + pcg[0];
    pco[3] = (pco[1] - pco[0]) * kTwoThirds + pco[0];
    pcg[3] = (pcg[1] - pcg[0]) * kTwoThirds + pcg[0];
}

inline uint32_t pixel_index(float co, float cg, const float *pco, const float *pcg) {
    float d[4];
    for (int k = 0; k < 4; k++) {
        const float a = co - pco[k], b = cg - pcg[k];
        d[k] = a * a + b * b;
    }
    return ycocg_color_index(d[0], d[1], d[2], d[3]);
}

}  // namespace

void ycocg_color_block_sse41(uint8_t *out, DxtEncYcocgBlock *block) {
    ycocg_select_diagonal(block);
    const int scale = ycocg_choose_scale(block->box, 4);
    int32_t e[4];
    q1_endpoints(block->box, scale, e);
    float pco[4], pcg[4];
    q1_palette(block->box, e, scale, pco, pcg);
    uint32_t indices = 0;
    for (int i = 0; i < 16; i++) indices |= pixel_index(block->co[i], block->cg[i], pco, pcg) << (2 * i);
    store_colour_half(out, e, scale, indices);
}

void ycocg_color_block_flat_sse41(uint8_t *out, DxtEncYcocgBlock *block) {
    const int scale = ycocg_choose_scale(block->box, 4);
    int32_t e[4];
    q1_endpoints(block->box, scale, e);
    float pco[4], pcg[4];
    q1_palette(block->box, e, scale, pco, pcg);
    const uint32_t index = pixel_index(block->co[0], block->cg[0], pco, pcg);
    store_colour_half(out, e, scale, index * 0x55555555u);
}

// ---------------------------------------------------------------------------------------
// Quality-2/3 stages.

namespace {

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
    const float inset_co = (v[2] - v[0]) * 0.0625f - kHalfStep;
    const float inset_cg = (v[3] - v[1]) * 0.0625f - kHalfStep;
    e[0] = quantize(v[0] + inset_co, 31.0f);
    e[1] = quantize(v[1] + inset_cg, 63.0f);
    e[2] = quantize(v[2] - inset_co, 31.0f);
    e[3] = quantize(v[3] - inset_cg, 63.0f);
}

template <int S>
void quantize_flat(const float *box, int32_t *e) {
    float v[4];
    for (int i = 0; i < 4; i++) v[i] = scaled<S>(box[i]);
    e[0] = quantize(v[0] - kHalfStep, 31.0f);
    e[1] = quantize(v[1] - kHalfStep, 63.0f);
    e[2] = quantize(v[2] + kHalfStep, 31.0f);
    e[3] = quantize(v[3] + kHalfStep, 63.0f);
}

// Pixel-domain value of a quantised component (inv = 1/31 or 1/63).
template <int S>
inline float pixel_value(int32_t q, float inv) {
    if constexpr (S == 1)
        return float(q) * inv;
    else
        return (float(q) * inv - kHalf) * (S == 2 ? 0.5f : 0.25f) + kHalf;
}

struct Palette {
    float co[4], cg[4];
};

// P0 = B (second end point), P1 = A (first).
inline Palette make_palette(float aco, float acg, float bco, float bcg) {
    Palette p;
    p.co[0] = bco;
    p.cg[0] = bcg;
    p.co[1] = aco;
    p.cg[1] = acg;
    p.co[2] = (aco - bco) * kThird + bco;
    p.cg[2] = (acg - bcg) * kThird + bcg;
    p.co[3] = (aco - bco) * kTwoThirds + bco;
    p.cg[3] = (acg - bcg) * kTwoThirds + bcg;
    return p;
}

inline float sq_dist(float co, float cg, float pco, float pcg) {
    const float a = co - pco, b = cg - pcg;
    return a * a + b * b;
}

inline float min4(const float *d) { return std::fmin(std::fmin(d[0], d[1]), std::fmin(d[2], d[3])); }

// Tries the six second end points of a constant-chroma block (Q3: only Cg moves).
template <int S, bool Q3>
void endpoint_search(const DxtEncYcocgBlock *b, float *best_error, const int32_t *cand, float *distances,
                     int32_t *best) {
    const float aco = pixel_value<S>(cand[0], kInv31), acg = pixel_value<S>(cand[1], kInv63);
    float win_err = FLT_MAX, win_d[4] = {};
    int32_t win_e2 = 0, win_e3 = 0;
    for (int j = 0; j < 6; j++) {
        const int32_t e2 = Q3 ? cand[2] : std::min(cand[2] + j, 31);
        const int32_t e3 = std::min(cand[3] + j, 63);
        const Palette p = make_palette(aco, acg, pixel_value<S>(e2, kInv31), pixel_value<S>(e3, kInv63));
        float d[4];
        for (int k = 0; k < 4; k++) d[k] = sq_dist(b->co[0], b->cg[0], p.co[k], p.cg[k]);
        const float m = min4(d);
        const float err = m * m;
        if (err < win_err) {
            win_err = err;
            std::memcpy(win_d, d, sizeof(d));
            win_e2 = e2;
            win_e3 = e3;
        }
    }
    if (win_err < *best_error) {
        *best_error = win_err;
        best[0] = cand[0];
        best[1] = cand[1];
        best[2] = win_e2;
        best[3] = win_e3;
        std::memcpy(distances, win_d, sizeof(win_d));
    }
}

// Error of one second end point over the 16 pixels; fills its distance table when given
// one (only the winner's table is kept, so the others are not written at all).
template <int S>
float candidate_error(const DxtEncYcocgBlock *b, const float *scratch, int32_t e2, int32_t e3, float *table) {
    const float aco = scratch[16], acg = scratch[17];
    const Palette p = make_palette(aco, acg, pixel_value<S>(e2, kInv31), pixel_value<S>(e3, kInv63));
    float err = 0.0f;
    for (int i = 0; i < 16; i++) {
        float d[4];
        d[0] = sq_dist(b->co[i], b->cg[i], p.co[0], p.cg[0]);
        d[1] = scratch[i];
        d[2] = sq_dist(b->co[i], b->cg[i], p.co[2], p.cg[2]);
        d[3] = sq_dist(b->co[i], b->cg[i], p.co[3], p.cg[3]);
        if (table) {
            for (int k = 0; k < 4; k++) table[16 * k + i] = d[k];
        }
        const float m = min4(d);
        err += m * m;
    }
    return err;
}

// Two second end points: steps (first, first + 1) from the candidate's; first = 0 for the
// opening call (which also fills the scratch), 1 for the following ones.
template <int S, bool Q3, int First>
void refine(const DxtEncYcocgBlock *b, float *best_error, int32_t *cand, float *distances, int32_t *best,
            float *scratch) {
    if constexpr (First == 0) {
        const float aco = pixel_value<S>(cand[0], kInv31), acg = pixel_value<S>(cand[1], kInv63);
        for (int i = 0; i < 16; i++) scratch[i] = sq_dist(b->co[i], b->cg[i], aco, acg);
        scratch[16] = aco;
        scratch[17] = acg;
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

const DxtYcocgQuantizeFn ycocg_inset_quantize_sse41[3] = {inset_quantize<1>, inset_quantize<2>, inset_quantize<4>};
const DxtYcocgQuantizeFn ycocg_quantize_sse41[3] = {quantize_flat<1>, quantize_flat<2>, quantize_flat<4>};
const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q2_sse41[3] = {
    endpoint_search<1, false>, endpoint_search<2, false>, endpoint_search<4, false>};
const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q3_sse41[3] = {endpoint_search<1, true>, endpoint_search<2, true>,
                                                                    endpoint_search<4, true>};
const DxtYcocgRefineFn ycocg_refine_a_q2_sse41[3] = {refine<1, false, 0>, refine<2, false, 0>, refine<4, false, 0>};
const DxtYcocgRefineFn ycocg_refine_b_q2_sse41[3] = {refine<1, false, 1>, refine<2, false, 1>, refine<4, false, 1>};
const DxtYcocgRefineFn ycocg_refine_a_q3_sse41[3] = {refine<1, true, 0>, refine<2, true, 0>, refine<4, true, 0>};
const DxtYcocgRefineFn ycocg_refine_b_q3_sse41[3] = {refine<1, true, 1>, refine<2, true, 1>, refine<4, true, 1>};

void ycocg_color_indices_sse41(const float *distances, uint64_t *index_word) {
    uint32_t w = 0;
    for (int i = 0; i < 16; i++) {
        w |= ycocg_color_index(distances[i], distances[16 + i], distances[32 + i], distances[48 + i]) << (2 * i);
    }
    *index_word = w;
}

// ---------------------------------------------------------------------------------------
// The searches.

namespace {

struct SearchState {
    float best_error = FLT_MAX;
    int32_t best[4] = {};
    alignas(32) float distances[64] = {};
    alignas(32) float scratch[24] = {};
};

inline bool flat_chroma(const float *box) { return box[0] == box[2] && box[1] == box[3]; }

void finish_flat(const SearchState &st, uint8_t *out, int scale) {
    const uint32_t index = ycocg_color_index(st.distances[0], st.distances[1], st.distances[2], st.distances[3]);
    store_colour_half(out, st.best, scale, index * 0x55555555u);
}

void finish(const DxtEncOps &ops, const SearchState &st, uint8_t *out, int scale) {
    uint64_t w = 0;
    ops.ycocg_color_indices(st.distances, &w);
    store_colour_half(out, st.best, scale, uint32_t(w));
}

// The candidate loops of the non-constant searches, from the quantised box o.
void search_q2(const DxtEncOps &ops, DxtEncYcocgBlock *block, int k, const int32_t *o, SearchState &st) {
    int32_t prev0 = -1, prev1 = -1;
    for (int d = 0; d < 6; d++) {
        const int32_t e0 = std::max(0, o[0] - d), e1 = std::max(0, o[1] - d);
        if (d > 0 && e0 == prev0 && e1 == prev1) break;
        prev0 = e0;
        prev1 = e1;
        int32_t cand[4] = {e0, e1, o[2], o[3]};
        ops.ycocg_refine_a[k](block, &st.best_error, cand, st.distances, st.best, st.scratch);
        for (int r = 0; r < 2 && (cand[2] < 31 || cand[3] < 63); r++) {
            ops.ycocg_refine_b[k](block, &st.best_error, cand, st.distances, st.best, st.scratch);
        }
    }
}

void search_q3(const DxtEncOps &ops, DxtEncYcocgBlock *block, int k, const int32_t *o, bool flat, SearchState &st) {
    int32_t prev0 = -1;
    for (int dco = 0; dco < 6; dco++) {
        const int32_t e0 = std::max(0, o[0] - dco);
        if (dco > 0 && e0 == prev0) break;
        prev0 = e0;
        int32_t prev1 = -1;
        for (int dcg = 0; dcg < 6; dcg++) {
            const int32_t e1 = std::max(0, o[1] - dcg);
            if (dcg > 0 && e1 == prev1) break;
            prev1 = e1;
            int32_t prev2 = -1;
            for (int j = 0; j < 6; j++) {
                const int32_t e2 = std::min(o[2] + j, 31);
                if (j > 0 && e2 == prev2) break;
                prev2 = e2;
                int32_t cand[4] = {e0, e1, e2, o[3]};
                if (flat) {
                    ops.ycocg_endpoint_search[k](block, &st.best_error, cand, st.distances, st.best);
                    continue;
                }
                ops.ycocg_refine_a[k](block, &st.best_error, cand, st.distances, st.best, st.scratch);
                for (int r = 0; r < 2 && cand[3] < 63; r++) {
                    ops.ycocg_refine_b[k](block, &st.best_error, cand, st.distances, st.best, st.scratch);
                }
            }
        }
    }
}

// The loops lower the first end point and raise the second, which widens a box along the
// rising diagonal but narrows the Cg of one along the falling diagonal (Cg bounds
// exchanged), whose inset Cg ends then never get back out: a two-colour block lost up to a
// dozen levels. Such a block is searched a second time with its Cg mirrored about the
// centre of the scale's grid (where q and 63 - q change places), so that both Cg ends
// widen; the better of the two searches is kept, the first on a tie.
void search_falling_mirrored(const DxtEncOps &ops, DxtEncYcocgBlock *block, int quality, int scale, SearchState &st) {
    float *box = block->box;
    if (!(box[1] > box[3])) return;
    // u(q) + u(63 - q) for the pixel-domain values u of the scale.
    const float c = scale == 1 ? 1.0f : scale == 2 ? 511.0f / 510.0f : 1023.0f / 1020.0f;
    for (int i = 0; i < 16; i++) block->cg[i] = c - block->cg[i];
    box[1] = c - box[1];
    box[3] = c - box[3];
    SearchState wide;
    int32_t o[4];
    ops.ycocg_inset_quantize[scale >> 1](box, o);
    if (quality == 2)
        search_q2(ops, block, scale >> 1, o, wide);
    else
        search_q3(ops, block, scale >> 1, o, false, wide);
    if (wide.best_error < st.best_error) {
        // Distances do not change under the mirror; the Cg components go back.
        wide.best[1] = 63 - wide.best[1];
        wide.best[3] = 63 - wide.best[3];
        st = wide;
    }
}

}  // namespace

void ycocg_color_search_q2(const DxtEncOps &ops, uint8_t *out, DxtEncYcocgBlock *block) {
    SearchState st;
    int32_t o[4];
    if (flat_chroma(block->box)) {
        const int scale = ycocg_choose_scale(block->box, 2);
        const int k = scale >> 1;
        ops.ycocg_quantize[k](block->box, o);
        int32_t prev0 = -1, prev1 = -1;
        for (int d = 0; d < 6; d++) {
            const int32_t e0 = std::max(0, o[0] - d), e1 = std::max(0, o[1] - d);
            if (d > 0 && e0 == prev0 && e1 == prev1) break;
            prev0 = e0;
            prev1 = e1;
            const int32_t cand[4] = {e0, e1, o[2], o[3]};
            ops.ycocg_endpoint_search[k](block, &st.best_error, cand, st.distances, st.best);
        }
        finish_flat(st, out, scale);
        return;
    }
    ycocg_select_diagonal(block);
    const int scale = ycocg_choose_scale(block->box, 4);
    const int k = scale >> 1;
    ops.ycocg_inset_quantize[k](block->box, o);
    search_q2(ops, block, k, o, st);
    search_falling_mirrored(ops, block, 2, scale, st);
    finish(ops, st, out, scale);
}

void ycocg_color_search_q3(const DxtEncOps &ops, uint8_t *out, DxtEncYcocgBlock *block) {
    SearchState st;
    int32_t o[4];
    const bool flat = flat_chroma(block->box);
    if (!flat) ycocg_select_diagonal(block);
    const int scale = ycocg_choose_scale(block->box, 4);
    const int k = scale >> 1;
    ops.ycocg_inset_quantize[k](block->box, o);
    search_q3(ops, block, k, o, flat, st);
    if (flat) {
        finish_flat(st, out, scale);
        return;
    }
    search_falling_mirrored(ops, block, 3, scale, st);
    finish(ops, st, out, scale);
}

// ---------------------------------------------------------------------------------------
// Per-block encoders.

namespace {

template <bool Planar>
inline void convert(const DxtEncOps &ops, DxtEncYcocgBlock *b, const uint8_t *const *planes, const int64_t *strides,
                    uint64_t *black) {
    if constexpr (Planar) {
        ops.to_ycocg_planar(b, planes[0], planes[1], planes[2], strides[0], strides[1], strides[2], black);
    } else {
        ops.to_ycocg(b, planes[0], strides[0], black);
    }
}

template <int Q, bool Planar>
void encode_block(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    DxtEncYcocgBlock b;
    uint64_t black = 0;
    convert<Planar>(ops, &b, planes, strides, &black);
    if (black) {
        static constexpr uint8_t q1[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x84, 0, 0, 0, 0, 0, 0};
        static constexpr uint8_t q23[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0x23, 0x08, 0xE3, 0xBD, 0xFF, 0xFF, 0xFF, 0xFF};
        std::memcpy(out, Q == 1 ? q1 : q23, 16);
        return;
    }
    if constexpr (Q == 1) {
        if (b.y_min == b.y_max) {
            const uint64_t v = uint64_t(int(std::roundf(b.y_min * 255.0f)));
            std::memcpy(out, &v, 8);
        } else {
            ops.ycocg_y_block(out, &b);
        }
        if (flat_chroma(b.box))
            ops.ycocg_color_block_flat(out + 8, &b);
        else
            ops.ycocg_color_block(out + 8, &b);
    } else {
        const int a = int(b.y_min * 255.0f + 0.5f), c = int(b.y_max * 255.0f + 0.5f);
        if ((a & 0xFF) == (c & 0xFF)) {
            const uint64_t v = uint64_t(uint32_t(a));
            std::memcpy(out, &v, 8);
        } else {
            ops.ycocg_y_block(out, &b);
        }
        if constexpr (Q == 2)
            ycocg_color_search_q2(ops, out + 8, &b);
        else
            ycocg_color_search_q3(ops, out + 8, &b);
    }
}

}  // namespace

void encode_block_ycocg_q1_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<1, false>(out, planes, strides, ops);
}
void encode_block_ycocg_q1_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<1, true>(out, planes, strides, ops);
}
void encode_block_ycocg_q2_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<2, false>(out, planes, strides, ops);
}
void encode_block_ycocg_q2_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<2, true>(out, planes, strides, ops);
}
void encode_block_ycocg_q3_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<3, false>(out, planes, strides, ops);
}
void encode_block_ycocg_q3_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops) {
    encode_block<3, true>(out, planes, strides, ops);
}
