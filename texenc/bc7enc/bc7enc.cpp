// BC7 colour cell compression: the end points, p-bits and indices of one subset.
#include "texenc/bc7enc/bc7enc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/core/log.h"

Bc7OptimalEndpoint g_bc7_mode_1_optimal_endpoints[256][2];
Bc7OptimalEndpoint g_bc7_mode_7_optimal_endpoints[256][4];

namespace {

// {t^2, t(1-t), (1-t)^2} rounded to six decimals, then t, for t = w / 64.
constexpr Bc7WeightTerms make_terms(uint32_t w) {
    const double t = w / 64.0;
    auto r6 = [](double x) { return double((long long)(x * 1e6 + 0.5)) / 1e6; };
    return {{float(r6(t * t)), float(r6(t * (1 - t))), float(r6((1 - t) * (1 - t))), float(t)}};
}

void build_tables_once() {
    for (int c = 0; c < 256; c++) {
        for (int p = 0; p < 2; p++) {
            Bc7OptimalEndpoint best = {0xFFFF, 0, 0};
            for (int lo = 0; lo < 64; lo++) {
                for (int hi = 0; hi < 64; hi++) {
                    const int el = 4 * lo + (lo >> 5) + 2 * p;
                    const int eh = 4 * hi + (hi >> 5) + 2 * p;
                    const int k = (46 * el + 18 * eh + 32) >> 6;
                    const int err = (k - c) * (k - c);
                    if (err < best.m_err) best = {uint16_t(err), uint8_t(lo), uint8_t(hi)};
                }
            }
            g_bc7_mode_1_optimal_endpoints[c][p] = best;
        }
        for (int lp = 0; lp < 4; lp++) {
            const int pl = lp & 1, ph = lp >> 1;
            Bc7OptimalEndpoint best = {0xFFFF, 0, 0};
            for (int lo = 0; lo < 32; lo++) {
                for (int hi = 0; hi < 32; hi++) {
                    const int el = 8 * lo + (lo >> 3) + 4 * pl;
                    const int eh = 8 * hi + (hi >> 3) + 4 * ph;
                    const int k = (43 * el + 21 * eh + 32) >> 6;
                    const int err = (k - c) * (k - c);
                    if (err < best.m_err) best = {uint16_t(err), uint8_t(lo), uint8_t(hi)};
                }
            }
            g_bc7_mode_7_optimal_endpoints[c][lp] = best;
        }
    }
}

std::once_flag g_tables_once;

struct Vec4 {
    float c[4];
};

// scale_color without its checks, for the inner loops (n is 6 to 8 there).
inline uint32_t expand_to_8(uint32_t v, uint32_t n) { return ((v << (8 - n)) | (v >> (2 * n - 8))) & 0xFF; }

// A degenerate least-squares fit may give NaN: it clamps to 0 like any value below range.
float clamp01(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }

// Sets the results from a candidate when its error is strictly lower.
void keep_if_better(Bc7CellResults *r, uint64_t err, const uint8_t low[4], const uint8_t high[4],
                    const uint32_t pbits[2], const uint8_t *selectors, uint32_t n) {
    if (err >= r->m_best_overall_err) return;
    r->m_best_overall_err = err;
    std::memcpy(r->m_low, low, 4);
    std::memcpy(r->m_high, high, 4);
    r->m_pbits[0] = pbits[0];
    r->m_pbits[1] = pbits[1];
    std::memcpy(r->m_selectors, selectors, n);
}

}  // namespace

const Bc7WeightTerms g_bc7_weight_terms2[4] = {make_terms(0), make_terms(21), make_terms(43), make_terms(64)};
const Bc7WeightTerms g_bc7_weight_terms3[8] = {make_terms(0),  make_terms(9),  make_terms(18), make_terms(27),
                                               make_terms(37), make_terms(46), make_terms(55), make_terms(64)};
const Bc7WeightTerms g_bc7_weight_terms4[16] = {make_terms(0),  make_terms(4),  make_terms(9),  make_terms(13),
                                                make_terms(17), make_terms(21), make_terms(26), make_terms(30),
                                                make_terms(34), make_terms(38), make_terms(43), make_terms(47),
                                                make_terms(51), make_terms(55), make_terms(60), make_terms(64)};

void bc7enc_build_tables() {
    // Built once: the tables are read without locks by every encoder, so they are never
    // rewritten while another thread may be encoding.
    std::call_once(g_tables_once, build_tables_once);
}

uint32_t scale_color(uint32_t v, uint32_t n) {
    ZASSERT((n >= 4) && (n <= 8));
    ZASSERT(v <= 255);
    return ((v << (8 - n)) | (v >> (2 * n - 8))) & 0xFF;
}

static uint64_t bc7_pack_mode1_one_color(const Bc7CellParams *pParams, Bc7CellResults *pResults, uint32_t r, uint32_t g,
                                         uint32_t b, uint8_t *pSelectors) {
    const uint32_t col[3] = {r, g, b};
    uint32_t s[2] = {0, 0};
    for (uint32_t p = 0; p < 2; p++)
        for (uint32_t c = 0; c < 3; c++) s[p] += g_bc7_mode_1_optimal_endpoints[col[c]][p].m_err;
    const uint32_t p = s[0] == 0 ? 0 : (s[1] < s[0] ? 1 : 0);

    uint32_t val[3];
    for (uint32_t c = 0; c < 3; c++) {
        const Bc7OptimalEndpoint &e = g_bc7_mode_1_optimal_endpoints[col[c]][p];
        pResults->m_low[c] = e.m_lo;
        pResults->m_high[c] = e.m_hi;
        const uint32_t low8 = scale_color((e.m_lo << 1) | p, 7);
        const uint32_t high8 = scale_color((e.m_hi << 1) | p, 7);
        val[c] = (46 * low8 + 18 * high8 + 32) >> 6;
    }
    pResults->m_low[3] = pResults->m_high[3] = 0;
    pResults->m_pbits[0] = p;
    pResults->m_pbits[1] = 0;
    std::memset(pSelectors, 2, pParams->m_num_pixels);

    uint64_t err = 0;
    for (uint32_t i = 0; i < pParams->m_num_pixels; i++)
        for (uint32_t c = 0; c < 3; c++) {
            const int64_t d = int64_t(val[c]) - pParams->m_pixels[i][c];
            err += uint64_t(pParams->m_channel_weights[c]) * uint64_t(d * d);
        }
    pResults->m_best_overall_err = err;
    return err;
}

static uint64_t bc7_pack_mode7_one_color(const Bc7CellParams *pParams, Bc7CellResults *pResults, uint32_t r, uint32_t g,
                                         uint32_t b, uint32_t a, uint8_t *pSelectors, uint32_t num_pixels,
                                         const uint8_t (*pPixels)[4]) {
    const uint32_t col[4] = {r, g, b, a};
    uint32_t best_err = UINT32_MAX, best_p = 0;
    for (uint32_t lp = 0; lp < 4; lp++) {  // (p_low, p_high) = (0,0), (1,0), (0,1), (1,1)
        uint32_t err = 0;
        for (uint32_t c = 0; c < 4; c++) err += g_bc7_mode_7_optimal_endpoints[col[c]][lp].m_err;
        if (err < best_err) {
            best_err = err;
            best_p = lp;
            if (!err) break;
        }
    }
    const uint32_t pl = best_p & 1, ph = best_p >> 1;
    uint32_t val[4];
    for (uint32_t c = 0; c < 4; c++) {
        const Bc7OptimalEndpoint &e = g_bc7_mode_7_optimal_endpoints[col[c]][best_p];
        pResults->m_low[c] = e.m_lo;
        pResults->m_high[c] = e.m_hi;
        const uint32_t low8 = scale_color((e.m_lo << 1) | pl, 6);
        const uint32_t high8 = scale_color((e.m_hi << 1) | ph, 6);
        val[c] = (43 * low8 + 21 * high8 + 32) >> 6;
    }
    pResults->m_pbits[0] = pl;
    pResults->m_pbits[1] = ph;
    std::memset(pSelectors, 1, num_pixels);

    uint64_t err = 0;
    for (uint32_t i = 0; i < num_pixels; i++)
        for (uint32_t c = 0; c < 4; c++) {
            const int64_t d = int64_t(val[c]) - pPixels[i][c];
            err += uint64_t(pParams->m_channel_weights[c]) * uint64_t(d * d);
        }
    pResults->m_best_overall_err = err;
    return err;
}

// Index choice and error of every pixel for one quantised pair; NC is 3 (RGB) or 4 (RGBA).
template <uint32_t NC>
static uint64_t evaluate_pixels(const int32_t lo8[4], const int32_t hi8[4], const Bc7CellParams *pParams,
                                uint8_t *sel) {
    const uint32_t N = pParams->m_num_weights;
    int32_t palette[16][4];
    for (uint32_t k = 0; k < N; k++) {
        const int32_t w = int32_t(pParams->m_weight_table[k]);
        for (uint32_t c = 0; c < 4; c++) palette[k][c] = ((64 - w) * lo8[c] + w * hi8[c] + 32) >> 6;
    }
    int32_t d[NC];
    int32_t dd = 0;
    for (uint32_t c = 0; c < NC; c++) {
        d[c] = hi8[c] - lo8[c];
        dd += d[c] * d[c];
    }
    const float f = float(N) / (float(dd) + 0.00000125f);
    uint64_t wc[NC];
    for (uint32_t c = 0; c < NC; c++) wc[c] = pParams->m_channel_weights[c];

    uint64_t total = 0;
    for (uint32_t i = 0; i < pParams->m_num_pixels; i++) {
        const uint8_t *px = pParams->m_pixels[i];
        int32_t dot = 0;
        for (uint32_t c = 0; c < NC; c++) dot += (int32_t(px[c]) - lo8[c]) * d[c];
        int32_t s = int32_t(float(dot) * f + 0.5f);
        s = std::clamp<int32_t>(s, 1, int32_t(N) - 1);
        uint64_t e0 = 0, e1 = 0;
        for (uint32_t c = 0; c < NC; c++) {
            const int64_t a = palette[s - 1][c] - int32_t(px[c]);
            const int64_t b = palette[s][c] - int32_t(px[c]);
            e0 += wc[c] * uint64_t(a * a);
            e1 += wc[c] * uint64_t(b * b);
        }
        if (e0 < e1) {
            sel[i] = uint8_t(s - 1);
            total += e0;
        } else {
            sel[i] = uint8_t(s);
            total += e1;
        }
    }
    return total;
}

static void bc7_evaluate_solution(const uint8_t low[4], const uint8_t high[4], const uint32_t pbits[2],
                                  const Bc7CellParams *pParams, Bc7CellResults *pResults) {
    const uint32_t n = pParams->m_endpoint_bits + (pParams->m_has_pbits ? 1 : 0);
    const uint32_t pl = pbits[0];
    const uint32_t ph = pParams->m_shared_pbit ? pbits[0] : pbits[1];

    // Entry 0 is the low end point and entry N - 1 the high one (weights 0 and 64).
    int32_t lo8[4], hi8[4];
    for (uint32_t c = 0; c < 4; c++) {
        lo8[c] = int32_t(expand_to_8(pParams->m_has_pbits ? uint32_t((low[c] << 1) | pl) : low[c], n));
        hi8[c] = int32_t(expand_to_8(pParams->m_has_pbits ? uint32_t((high[c] << 1) | ph) : high[c], n));
    }
    uint8_t sel[16];
    const uint64_t total =
        pParams->m_has_alpha ? evaluate_pixels<4>(lo8, hi8, pParams, sel) : evaluate_pixels<3>(lo8, hi8, pParams, sel);
    keep_if_better(pResults, total, low, high, pbits, sel, pParams->m_num_pixels);
}

static uint64_t bc7_find_optimal_solution(uint32_t mode, const Bc7CellParams *pParams, Bc7CellResults *pResults,
                                          Vec4 xl, Vec4 xh) {
    (void)mode;
    for (uint32_t c = 0; c < 4; c++) {
        xl.c[c] = clamp01(xl.c[c]);
        xh.c[c] = clamp01(xh.c[c]);
    }
    uint8_t ql[4], qh[4];
    uint32_t pbits[2] = {0, 0};
    const uint32_t nc = pParams->m_has_alpha ? 4 : 3;

    if (pParams->m_has_pbits) {
        const uint32_t b = pParams->m_endpoint_bits;
        const int P = (1 << (b + 1)) - 1;
        // Stored (b+1)-bit number of x with p-bit p.
        auto quant = [P](float x, int p) {
            const int q = int((x * float(P) - float(p)) * 0.5f + 0.5f);
            return std::min((q << 1) | p, P - 1 + p);
        };
        if (pParams->m_shared_pbit) {
            float best_err = 0;
            int best_p = 0;
            for (int p = 0; p < 2; p++) {
                float err = 0;
                for (uint32_t c = 0; c < nc; c++) {
                    const float l = float(expand_to_8(uint32_t(quant(xl.c[c], p)), b + 1)) / 255.0f - xl.c[c];
                    const float h = float(expand_to_8(uint32_t(quant(xh.c[c], p)), b + 1)) / 255.0f - xh.c[c];
                    err += l * l + h * h;
                }
                if (p == 0 || err < best_err) {
                    best_err = err;
                    best_p = p;
                }
            }
            for (uint32_t c = 0; c < 4; c++) {
                ql[c] = uint8_t(quant(xl.c[c], best_p) >> 1);
                qh[c] = uint8_t(quant(xh.c[c], best_p) >> 1);
            }
            // Distinct values that collapsed onto one end point: pull the pair apart.
            for (uint32_t c = 0; c < 3; c++) {
                if (xl.c[c] != xh.c[c] && ql[c] == qh[c]) {
                    const int v = ql[c];
                    if (v > (P >> 2))
                        ql[c] = uint8_t(v - 1);
                    else if (v < (P >> 1))
                        qh[c] = uint8_t(v + 1);
                    else if (v > 0)
                        ql[c] = uint8_t(v - 1);
                }
            }
            pbits[0] = pbits[1] = uint32_t(best_p);
        } else {
            for (uint32_t e = 0; e < 2; e++) {
                const Vec4 &x = e == 0 ? xl : xh;
                uint8_t *q = e == 0 ? ql : qh;
                int best_p = 0;
                if (!pParams->m_has_alpha) {
                    // Opaque cell: only p-bit 1 lets the alpha end point reach 255, so an
                    // opaque source never decodes slightly transparent.
                    best_p = 1;
                } else {
                    float best_err = 0;
                    for (int p = 0; p < 2; p++) {
                        float err = 0;
                        for (uint32_t c = 0; c < nc; c++) {
                            const float d = float(expand_to_8(uint32_t(quant(x.c[c], p)), b + 1)) - 255.0f * x.c[c];
                            err += d * d;
                        }
                        if (p == 0 || err < best_err) {
                            best_err = err;
                            best_p = p;
                        }
                    }
                }
                for (uint32_t c = 0; c < 4; c++) q[c] = uint8_t(quant(x.c[c], best_p) >> 1);
                pbits[e] = uint32_t(best_p);
            }
        }
    } else {
        const float m = float((1 << pParams->m_endpoint_bits) - 1);
        for (uint32_t c = 0; c < 4; c++) {
            ql[c] = uint8_t(std::clamp(int(xl.c[c] * m + 0.5f), 0, 255));
            qh[c] = uint8_t(std::clamp(int(xh.c[c] * m + 0.5f), 0, 255));
        }
    }

    const bool same_pbits = pParams->m_shared_pbit
                                ? pResults->m_pbits[0] == pbits[0]
                                : (pResults->m_pbits[0] == pbits[0] && pResults->m_pbits[1] == pbits[1]);
    if (pResults->m_best_overall_err != UINT64_MAX && std::memcmp(pResults->m_low, ql, 4) == 0 &&
        std::memcmp(pResults->m_high, qh, 4) == 0 && same_pbits)
        return pResults->m_best_overall_err;

    bc7_evaluate_solution(ql, qh, pbits, pParams, pResults);
    return pResults->m_best_overall_err;
}

// Least-squares end points (0..255 scale) for the given indices. The first result is the
// end point weighted by t (the high one), the second by 1 - t.
static void bc7_least_squares(bool rgba, uint32_t num_pixels, const uint8_t *pSelectors, const Bc7WeightTerms *pTerms,
                              Vec4 &first, Vec4 &second, const uint8_t (*pPixels)[4]) {
    float z00 = 0, z10 = 0, z11 = 0;
    float q00[4] = {0, 0, 0, 0}, t[4] = {0, 0, 0, 0};
    const uint32_t nc = rgba ? 4 : 3;
    for (uint32_t i = 0; i < num_pixels; i++) {
        const float *w = pTerms[pSelectors[i]].v;
        z00 += w[0];
        z10 += w[1];
        z11 += w[2];
        for (uint32_t c = 0; c < nc; c++) {
            q00[c] += w[3] * float(pPixels[i][c]);
            t[c] += float(pPixels[i][c]);
        }
    }
    float det = z00 * z11 - z10 * z10;
    if (det != 0.0f) det = 1.0f / det;
    for (uint32_t c = 0; c < nc; c++) {
        const float q10 = t[c] - q00[c];
        first.c[c] = (z11 * q00[c] - z10 * q10) * det;
        second.c[c] = (z00 * q10 - z10 * q00[c]) * det;
        if (first.c[c] < 0.0f || second.c[c] > 255.0f) {
            uint32_t lo = 255, hi = 0;
            for (uint32_t i = 0; i < num_pixels; i++) {
                lo = std::min<uint32_t>(lo, pPixels[i][c]);
                hi = std::max<uint32_t>(hi, pPixels[i][c]);
            }
            if (lo == hi) first.c[c] = second.c[c] = float(lo);
        }
    }
    if (!rgba) first.c[3] = second.c[3] = 255.0f;
}

static void bc7_least_squares_rgb(uint32_t num_pixels, const uint8_t *pSelectors, const Bc7WeightTerms *pTerms,
                                  Vec4 &first, Vec4 &second, const uint8_t (*pPixels)[4]) {
    bc7_least_squares(false, num_pixels, pSelectors, pTerms, first, second, pPixels);
}

static void bc7_least_squares_rgba(uint32_t num_pixels, const uint8_t *pSelectors, const Bc7WeightTerms *pTerms,
                                   Vec4 &first, Vec4 &second, const uint8_t (*pPixels)[4]) {
    bc7_least_squares(true, num_pixels, pSelectors, pTerms, first, second, pPixels);
}

// Refits the end points to the given indices and evaluates the quantised pair.
static uint64_t refit(uint32_t mode, const Bc7CellParams *pParams, Bc7CellResults *pResults, const uint8_t *sel) {
    Vec4 a{}, b{};
    if (pParams->m_has_alpha)
        bc7_least_squares_rgba(pParams->m_num_pixels, sel, pParams->m_weight_terms, a, b, pParams->m_pixels);
    else
        bc7_least_squares_rgb(pParams->m_num_pixels, sel, pParams->m_weight_terms, a, b, pParams->m_pixels);
    for (uint32_t c = 0; c < 4; c++) {
        a.c[c] *= 0.003921569f;
        b.c[c] *= 0.003921569f;
    }
    return bc7_find_optimal_solution(mode, pParams, pResults, a, b);
}

uint64_t color_cell_compression(uint32_t mode, const Bc7CellParams *pParams, Bc7CellResults *pResults,
                                const Bc7EncodeParams *pComp_params) {
    ZASSERT((mode == 6) || (mode == 7) || (!pParams->m_has_alpha));
    const uint32_t n = pParams->m_num_pixels;
    const uint8_t(*px)[4] = pParams->m_pixels;
    pResults->m_best_overall_err = UINT64_MAX;

    if (mode == 1 || mode == 7) {
        const uint32_t nc = mode == 1 ? 3 : 4;
        bool one = true;
        for (uint32_t i = 1; i < n && one; i++)
            for (uint32_t c = 0; c < nc; c++) one &= px[i][c] == px[0][c];
        if (one) {
            if (mode == 1)
                return bc7_pack_mode1_one_color(pParams, pResults, px[0][0], px[0][1], px[0][2], pResults->m_selectors);
            return bc7_pack_mode7_one_color(pParams, pResults, px[0][0], px[0][1], px[0][2], px[0][3],
                                            pResults->m_selectors, n, px);
        }
    }

    // Mean (0..255) and unit mean (0..1).
    uint32_t sum[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < n; i++)
        for (uint32_t c = 0; c < 4; c++) sum[c] += px[i][c];
    const float inv = 1.0f / float(n);
    const float inv255 = 1.0f / (255.0f * float(n));
    Vec4 mean, unit;
    for (uint32_t c = 0; c < 4; c++) {
        mean.c[c] = float(sum[c]) * inv;
        unit.c[c] = clamp01(float(sum[c]) * inv255);
    }

    // Principal axis.
    Vec4 axis = {{0, 0, 0, 0}};
    if (pParams->m_has_alpha) {
        Vec4 v = {{0, 0, 0, 0}};
        for (uint32_t i = 0; i < n; i++) {
            Vec4 c, nrm;
            for (uint32_t k = 0; k < 4; k++) c.c[k] = float(px[i][k]) - mean.c[k];
            nrm = i == 0 ? c : v;
            const float l2 = nrm.c[0] * nrm.c[0] + nrm.c[1] * nrm.c[1] + nrm.c[2] * nrm.c[2] + nrm.c[3] * nrm.c[3];
            if (l2 != 0.0f) {
                const float s = 1.0f / std::sqrt(l2);
                for (float &x : nrm.c) x *= s;
            }
            const float dot = c.c[0] * nrm.c[0] + c.c[1] * nrm.c[1] + c.c[2] * nrm.c[2] + c.c[3] * nrm.c[3];
            for (uint32_t k = 0; k < 4; k++) v.c[k] += c.c[k] * dot;
        }
        axis = v;
        const float l2 = v.c[0] * v.c[0] + v.c[1] * v.c[1] + v.c[2] * v.c[2] + v.c[3] * v.c[3];
        if (l2 != 0.0f) {
            const float s = 1.0f / std::sqrt(l2);
            for (float &x : axis.c) x *= s;
        }
    } else {
        float cov[6] = {0, 0, 0, 0, 0, 0};  // rr rg rb gg gb bb
        for (uint32_t i = 0; i < n; i++) {
            const float r = float(px[i][0]) - mean.c[0];
            const float g = float(px[i][1]) - mean.c[1];
            const float b = float(px[i][2]) - mean.c[2];
            cov[0] += r * r;
            cov[1] += r * g;
            cov[2] += r * b;
            cov[3] += g * g;
            cov[4] += g * b;
            cov[5] += b * b;
        }
        float xr = 0.9f, xg = 1.0f, xb = 0.7f;
        for (int iter = 0; iter < 3; iter++) {
            const float r = (xb * cov[2] + xr * cov[0]) + xg * cov[1];
            const float g = (xb * cov[4] + xr * cov[1]) + xg * cov[3];
            const float b = (xb * cov[5] + xr * cov[2]) + xg * cov[4];
            xr = r;
            xg = g;
            xb = b;
            const float m = std::max(std::fabs(xr), std::max(std::fabs(xg), std::fabs(xb)));
            if (m > 1e-10f) {
                xr /= m;
                xg /= m;
                xb /= m;
            }
        }
        const float l2 = xr * xr + xg * xg + xb * xb;
        if (l2 >= 1e-10f) {
            const float s = 1.0f / std::sqrt(l2);
            axis = {{xr * s, xg * s, xb * s, 0.0f}};
        }
    }
    if (axis.c[0] * axis.c[0] + axis.c[1] * axis.c[1] + axis.c[2] * axis.c[2] + axis.c[3] * axis.c[3] < 0.5f) {
        if (pParams->m_has_alpha)
            axis = {{0.5f, 0.5f, 0.5f, 0.5f}};
        else {
            const float s = 1.0f / std::sqrt(3.0f);
            axis = {{s, s, s, 0.0f}};
        }
    }

    // Extent of the pixels along the axis.
    float l = 1e9f, h = -1e9f;
    for (uint32_t i = 0; i < n; i++) {
        float t = 0;
        for (uint32_t c = 0; c < 4; c++) t += (float(px[i][c]) - mean.c[c]) * axis.c[c];
        l = std::min(l, t);
        h = std::max(h, t);
    }
    Vec4 e0, e1;
    for (uint32_t c = 0; c < 4; c++) {
        e0.c[c] = clamp01(unit.c[c] + axis.c[c] * (l / 255.0f));
        e1.c[c] = clamp01(unit.c[c] + axis.c[c] * (h / 255.0f));
    }
    if (e0.c[0] + e0.c[1] + e0.c[2] + e0.c[3] > e1.c[0] + e1.c[1] + e1.c[2] + e1.c[3]) std::swap(e0, e1);

    if (bc7_find_optimal_solution(mode, pParams, pResults, e0, e1) == 0) return 0;

    if (pComp_params->m_least_squares) {
        if (refit(mode, pParams, pResults, pResults->m_selectors) == 0) return 0;
    }

    if (pComp_params->m_level >= 1) {
        const uint32_t N = pParams->m_num_weights;
        uint8_t start[16], var[16];
        std::memcpy(start, pResults->m_selectors, n);
        uint32_t min_sel = 16, max_sel = 0;
        for (uint32_t i = 0; i < n; i++) {
            min_sel = std::min<uint32_t>(min_sel, start[i]);
            max_sel = std::max<uint32_t>(max_sel, start[i]);
        }
        for (int variant = 0; variant < 3; variant++) {
            for (uint32_t i = 0; i < n; i++) {
                const uint32_t s = start[i];
                uint32_t v = s;
                if (variant != 1 && s == min_sel && s < N - 1)
                    v = s + 1;
                else if (variant != 0 && s == max_sel && s > 0)
                    v = s - 1;
                var[i] = uint8_t(v);
            }
            if (refit(mode, pParams, pResults, var) == 0) return 0;
        }

        if (pComp_params->m_level >= 2 && pResults->m_best_overall_err > ((uint64_t(n) * 56) >> 4)) {
            const int Q = pComp_params->m_level < 4 ? 1 : int(pComp_params->m_level) - 2;
            for (int ly = -Q; ly <= 1; ly++) {
                for (int hy = int(N) - 2; hy <= int(N) - 1 + Q; hy++) {
                    if (ly == 0 && hy == int(N) - 1) continue;
                    for (uint32_t i = 0; i < n; i++) {
                        const float v = std::floor(float(N - 1) * float(int(start[i]) - ly) / float(hy - ly) + 0.5f);
                        var[i] = uint8_t(std::clamp(int(v), 0, int(N) - 1));
                    }
                    if (refit(mode, pParams, pResults, var) == 0) return 0;
                }
            }
        }
    }

    if (mode == 1 || mode == 7) {
        uint32_t r = uint32_t(int(unit.c[0] * 255.0f + 0.5f));
        uint32_t g = uint32_t(int(unit.c[1] * 255.0f + 0.5f));
        uint32_t b = uint32_t(int(unit.c[2] * 255.0f + 0.5f));
        uint32_t a = uint32_t(int(unit.c[3] * 255.0f + 0.5f));
        Bc7CellResults avg;
        avg.m_selectors = pResults->m_selectors_temp;
        const uint64_t err =
            mode == 1 ? bc7_pack_mode1_one_color(pParams, &avg, r, g, b, pResults->m_selectors_temp)
                      : bc7_pack_mode7_one_color(pParams, &avg, r, g, b, a, pResults->m_selectors_temp, n, px);
        keep_if_better(pResults, err, avg.m_low, avg.m_high, avg.m_pbits, pResults->m_selectors_temp, n);
    }
    return pResults->m_best_overall_err;
}
