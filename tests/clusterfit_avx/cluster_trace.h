#pragma once
// Tracing a colour block that two cluster-fit tiers coded differently to a known cause:
// a near tie of the fit's error, a least-squares value within rounding of a half step of
// the grid, or colours that the two tiers' axes and projections put in another order.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"

namespace cfavx {

// The block's distinct colours (channels on 0..1), their weights, the palette index each
// took in a colour block, and the block's end points on the grid (0..1).
struct TraceFit {
    std::vector<std::array<float, 3>> colors;
    std::vector<float> weights;
    std::vector<int> index;
    double end[2][3];
};

// map gives the colour number of each pixel; a colour takes the index of its first pixel.
inline TraceFit trace_fit(const std::vector<std::array<float, 3>> &colors, const std::vector<float> &weights,
                          const int32_t *map, const uint8_t *color_block) {
    TraceFit f;
    f.colors = colors;
    f.weights = weights;
    f.index.assign(colors.size(), 3);
    const uint16_t cs[2] = {uint16_t(color_block[0] | color_block[1] << 8),
                            uint16_t(color_block[2] | color_block[3] << 8)};
    const uint32_t indices = uint32_t(color_block[4]) | uint32_t(color_block[5]) << 8 | uint32_t(color_block[6]) << 16 |
                             uint32_t(color_block[7]) << 24;
    for (int e = 0; e < 2; ++e) {
        f.end[e][0] = double(cs[e] >> 11) / 31.0;
        f.end[e][1] = double((cs[e] >> 5) & 63) / 63.0;
        f.end[e][2] = double(cs[e] & 31) / 31.0;
    }
    for (int p = 15; p >= 0; --p) {
        const int32_t k = map[p];
        if (k >= 0 && size_t(k) < colors.size()) { f.index[size_t(k)] = int((indices >> (2 * p)) & 3); }
    }
    return f;
}

// Weight of the palette index on the first end point.
inline double alpha_of(int index) { return index == 0 ? 1.0 : index == 1 ? 0.0 : index == 2 ? 2.0 / 3.0 : 1.0 / 3.0; }

inline double fit_error(const TraceFit &f) {
    double e = 0;
    for (size_t k = 0; k < f.colors.size(); ++k) {
        const double a = alpha_of(f.index[k]);
        for (int c = 0; c < 3; ++c) {
            const double d = a * f.end[0][c] + (1 - a) * f.end[1][c] - f.colors[k][size_t(c)];
            e += f.weights[k] * d * d;
        }
    }
    return e;
}

inline double energy(const TraceFit &f) {
    double e = 0;
    for (size_t k = 0; k < f.colors.size(); ++k) {
        for (int c = 0; c < 3; ++c) { e += f.weights[k] * double(f.colors[k][size_t(c)]) * f.colors[k][size_t(c)]; }
    }
    return e;
}

// Least-squares end points of the block's partition (clamped to 0..1): does any channel
// sit within rounding of a half step of the grid?
inline bool half_step(const TraceFit &f) {
    double a2 = 0, b2 = 0, ab = 0, ax[3] = {}, bx[3] = {};
    for (size_t k = 0; k < f.colors.size(); ++k) {
        const double a = alpha_of(f.index[k]), b = 1 - a, w = f.weights[k];
        a2 += w * a * a;
        b2 += w * b * b;
        ab += w * a * b;
        for (int c = 0; c < 3; ++c) {
            ax[c] += w * a * f.colors[k][size_t(c)];
            bx[c] += w * b * f.colors[k][size_t(c)];
        }
    }
    const double det = a2 * b2 - ab * ab;
    if (!(det > 1e-12)) { return false; }
    const double scale[3] = {31, 63, 31};
    for (int c = 0; c < 3; ++c) {
        const double ends[2] = {(ax[c] * b2 - bx[c] * ab) / det, (bx[c] * a2 - ax[c] * ab) / det};
        for (double v : ends) {
            const double x = std::fmin(std::fmax(v, 0.0), 1.0) * scale[c];
            if (std::fabs(x - std::floor(x) - 0.5) < 1e-4) { return true; }
        }
    }
    return false;
}

// Do the AVX axis and projection order the block's colours otherwise than the baseline's?
// (They round differently; the axis tests bound when that changes the order.)
inline bool order_differs(const TraceFit &f) {
    const size_t n = f.colors.size();
    if (n < 2 || n > 16) { return false; }
    alignas(32) float colors[16][4] = {}, weights[16] = {}, axis[4], p[16];
    for (size_t k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) { colors[k][c] = f.colors[k][size_t(c)]; }
        weights[k] = f.weights[k];
    }
#define TRACE_ORDER_ROW(NN, n) \
    {cluster_axis_count##NN##_sse41, cluster_project_count##NN##_sse41, cluster_sort_count##NN##_sse41},
    const struct {
        DxtClusterAxisFn axis;
        DxtClusterProjectFn project;
        DxtClusterSortFn sort;
    } base[15] = {CLUSTER_FOR_EACH_COUNT(TRACE_ORDER_ROW)};
#undef TRACE_ORDER_ROW
#define TRACE_ORDER_ROW(NN) {cluster_axis_count##NN##_avx, cluster_project_count##NN##_avx},
    const struct {
        DxtClusterAxisFn axis;
        DxtClusterProjectFn project;
    } avx[15] = {CLUSTER_AVX_FOR_EACH_COUNT(TRACE_ORDER_ROW)};
#undef TRACE_ORDER_ROW
    uint8_t order[2][16];
    for (int t = 0; t < 2; ++t) {
        for (int i = 0; i < 16; ++i) { order[t][i] = uint8_t(i); }
        (t == 0 ? base[n - 2].axis : avx[n - 2].axis)(axis, colors, weights);
        (t == 0 ? base[n - 2].project : avx[n - 2].project)(p, colors, axis);
        base[n - 2].sort(p, order[t]);
    }
    return std::memcmp(order[0], order[1], n) != 0;
}

enum class TraceCause { NearTie, HalfStep, ColourOrder, Unexplained };

// Why the tier's colour block differs from the baseline's (both traced from their bytes).
inline TraceCause trace_cause(const TraceFit &tier, const TraceFit &base) {
    const double et = fit_error(tier), eb = fit_error(base);
    if (std::fabs(et - eb) <= 1e-5 * std::fmax(energy(tier), 1e-30)) { return TraceCause::NearTie; }
    if (half_step(tier) || half_step(base)) { return TraceCause::HalfStep; }
    if (order_differs(tier)) { return TraceCause::ColourOrder; }
    return TraceCause::Unexplained;
}

}  // namespace cfavx
