// The whole fit: worked blocks with known bytes, caller errors, and the search against
// an exhaustive evaluation of the same candidates written out independently.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_tables.h"

namespace {

DxtEncOps baseline_ops() {
    DxtEncOps ops;
    memset(&ops, 0, sizeof ops);
    dxtenc_init_ops_cluster(&ops, DXTENC_PIX_RGBA8);
    return ops;
}

// Gathers an RGBA8 block and sets the weights as the block encoders do.
DxtColorSet gather(const DxtEncOps &ops, const std::vector<uint32_t> &pixels) {
    DxtColorSet set;
    memset(&set, 0, sizeof set);
    ops.to_unique_colors(set.colors, &set.count, set.map, reinterpret_cast<const uint8_t *>(pixels.data()), nullptr,
                         nullptr, 16, 0, 0);
    for (uint64_t i = 0; i < set.count; ++i) { set.weights[i] = std::sqrt(static_cast<float>(set.pixel_counts[i])); }
    return set;
}

std::vector<uint8_t> fit(const DxtEncOps &ops, const DxtColorSet &set, uint64_t count) {
    std::vector<uint8_t> out(8, 0xCD);
    cluster_fit_colors(set, out.data(), count, ops);
    return out;
}

TEST(ClusterFit, WorkedBlocks) {
    const DxtEncOps ops = baseline_ops();
    const uint32_t red = 0xFF0000FF, blue = 0xFFFF0000, black = 0xFF000000, white = 0xFFFFFFFF;
    struct Case {
        const char *name;
        std::vector<uint32_t> pixels;
        std::vector<uint8_t> block;
    };
    std::vector<uint32_t> red_over_blue(16, blue), blue_over_red(16, red), checker(16), greys(16);
    for (int i = 0; i < 8; ++i) {
        red_over_blue[i] = red;
        blue_over_red[i] = blue;
    }
    const uint32_t grey[4] = {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF};
    for (int i = 0; i < 16; ++i) {
        checker[i] = i % 2 ? white : black;
        greys[i] = grey[i / 4];
    }
    const Case cases[] = {
        {"red over blue", red_over_blue, {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55}},
        {"blue over red", blue_over_red, {0x00, 0xF8, 0x1F, 0x00, 0x55, 0x55, 0x00, 0x00}},
        {"black and white", checker, {0xFF, 0xFF, 0x00, 0x00, 0x11, 0x11, 0x11, 0x11}},
        {"four greys", greys, {0xFF, 0xFF, 0x00, 0x00, 0x55, 0xFF, 0xAA, 0x00}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DxtColorSet set = gather(ops, c.pixels);
        EXPECT_EQ(fit(ops, set, set.count), c.block);
    }
}

// Runs the stages like the driver and returns the search result.
struct SearchResult {
    ClusterBest best;
    ClusterBounds bounds;
};

SearchResult search_sorted(const DxtEncOps &ops, const float (*sorted)[4], uint32_t c, ClusterSums *sums) {
    SearchResult r;
    memset(&r.best, 0, sizeof r.best);
    r.best.error = 3.4028235e38f;
    r.bounds = {0, 0, 1, 0};
    ops.cluster_prepare[c - 2](sorted, sums);
    const ClusterCandidateTables &t = cluster_candidate_tables();
    if (c == 16) {
        ops.cluster_search_e16(&r.best, &r.bounds, sums);
        DxtClusterSearch16Fn fns[4] = {ops.cluster_search_a16, ops.cluster_search_b16, ops.cluster_search_c16,
                                       ops.cluster_search_d16};
        for (int a = 0; a < 4; ++a) {
            fns[a](&r.best, &r.bounds, sums, t.factors16, t.lists[a][16].records, t.lists[a][16].bounds);
        }
    } else {
        if (c >= 3) { ops.cluster_search_e[c - 2](&r.best, &r.bounds, sums); }
        const DxtClusterSearchFn *fns[4] = {ops.cluster_search_a, ops.cluster_search_b, ops.cluster_search_c,
                                            ops.cluster_search_d};
        for (int a = 0; a < 4; ++a) {
            const ClusterCandidateList &l = t.lists[a][c];
            if (l.rows) { fns[a][c - 2](&r.best, &r.bounds, sums, l.records, l.bounds); }
        }
    }
    return r;
}

// Independent evaluation of one partition from the sums table, with the same operation
// order as the definition of the fit (scalar code, one rounding per operation).
struct Reference {
    uint32_t c;
    const float *v;
    int entry(int i, int j) const {  // by walking the layout
        if (i == j) { return 0; }
        int n = 1;
        for (int a = 0; a < static_cast<int>(c); ++a) {
            for (int b = a + 1; b <= static_cast<int>(c); ++b) {
                if (a == 0 && b == static_cast<int>(c)) { continue; }
                if (a == i && b == j) { return n; }
                ++n;
            }
        }
        ADD_FAILURE() << "no entry";
        return 0;
    }
    const float *full(int i, int j) const { return v + 12 * entry(i, j); }
    const float *third(int i, int j) const { return v + 12 * entry(i, j) + 4; }
    const float *two_thirds(int i, int j) const { return v + 12 * entry(i, j) + 8; }
    float cross(int i, int j) const {
        const float *base = v + 6 * c * (c + 1);
        if (c == 16) { return base[j - i]; }
        if (i == j) { return base[0]; }
        int n = 1;
        for (int a = 0; a < static_cast<int>(c); ++a) {
            for (int b = a + 1; b <= static_cast<int>(c); ++b) {
                if (a == i && b == j) { return base[n]; }
                ++n;
            }
        }
        return NAN;
    }
    static float snap(float x, int channel) {
        const float grid = channel == 1 ? 63.0f : 31.0f;
        const float step = channel == 1 ? 0.015873017f : 0.032258064f;
        const float t = x * grid + std::copysign(0.49999997f, x);
        return static_cast<float>(static_cast<int32_t>(t)) * step;
    }
    float split(int k) const {
        const float *x0 = full(0, k), *x1 = full(k, c);
        const float w0 = c == 16 ? static_cast<float>(k) : x0[3], w1 = c == 16 ? static_cast<float>(16 - k) : x1[3];
        float e[3];
        for (int ch = 0; ch < 3; ++ch) {
            float s, t;
            if (c == 16) {
                s = k == 1 ? x0[ch] : std::fmin(x0[ch] * (1.0f / static_cast<float>(k)), 1.0f);
                t = k == 15 ? x1[ch] : std::fmin(x1[ch] * (1.0f / static_cast<float>(16 - k)), 1.0f);
            } else {
                s = std::fmin(x0[ch] / w0, 1.0f);
                t = std::fmin(x1[ch] / w1, 1.0f);
            }
            s = snap(s, ch);
            t = snap(t, ch);
            const float dots = s * x0[ch] + t * x1[ch];
            e[ch] = (s * s * w0 + t * t * w1) - 2.0f * dots;
        }
        return (e[0] + e[1]) + e[2];
    }
    float general(int b0, int b1, int b2) const {
        const float zero[4] = {};
        const float *f0 = b0 ? full(0, b0) : zero, *f1 = b2 < static_cast<int>(c) ? full(b2, c) : zero;
        const float *t2 = b0 < b1 ? third(b0, b1) : zero, *u2 = b0 < b1 ? two_thirds(b0, b1) : zero;
        const float *t3 = b1 < b2 ? third(b1, b2) : zero, *u3 = b1 < b2 ? two_thirds(b1, b2) : zero;
        float ax[4], bx[4];
        for (int l = 0; l < 4; ++l) {
            ax[l] = (f0[l] + u2[l]) + t3[l];
            bx[l] = (f1[l] + t2[l]) + u3[l];
        }
        const float ab = cross(b0, b2);
        float factor;
        if (c == 16) {
            const long long p = b0, q = b1 - b0, t = b2 - b1, s = 16 - b2;
            factor = static_cast<float>(81.0L / ((9 * p + 4 * q + t) * (9 * s + q + 4 * t) - 4 * (q + t) * (q + t)));
        } else {
            factor = 1.0f / (ax[3] * bx[3] - ab * ab);
        }
        float e[3];
        for (int ch = 0; ch < 3; ++ch) {
            float s = (ax[ch] * bx[3] - bx[ch] * ab) * factor;
            float t = (bx[ch] * ax[3] - ax[ch] * ab) * factor;
            s = snap(std::isnan(s) ? 0.0f : std::fmin(std::fmax(s, 0.0f), 1.0f), ch);
            t = snap(std::isnan(t) ? 0.0f : std::fmin(std::fmax(t, 0.0f), 1.0f), ch);
            const float cross_terms = ((s * t) * ab - s * ax[ch]) - t * bx[ch];
            e[ch] = (s * s * ax[3] + t * t * bx[3]) + 2.0f * cross_terms;
        }
        return (e[0] + e[1]) + e[2];
    }
};

TEST(ClusterFit, SearchFindsTheLeastErrorOfAllCandidates) {
    const DxtEncOps ops = baseline_ops();
    const ClusterCandidateTables &t = cluster_candidate_tables();
    std::mt19937 rng(20261211);
    for (uint32_t c = 2; c <= 16; ++c) {
        for (int trial = 0; trial < 24; ++trial) {
            SCOPED_TRACE(testing::Message() << "count " << c << " trial " << trial);
            // Odd trials draw from few levels, so that equal errors occur.
            const int levels = trial % 2 ? 3 : 256;
            alignas(32) float sorted[16][4];
            for (uint32_t k = 0; k < c; ++k) {
                const float w = c == 16 ? 1.0f : std::sqrt(static_cast<float>(1 + rng() % 4));
                for (int ch = 0; ch < 3; ++ch) {
                    const float value = static_cast<float>(rng() % levels * (255 / (levels - 1))) / 255.0f;
                    sorted[k][ch] = c == 16 ? value : value * w;
                }
                sorted[k][3] = w;
            }
            ClusterSums sums;
            const SearchResult got = search_sorted(ops, sorted, c, &sums);

            // Every candidate in search order; strictly smaller errors win.
            const Reference ref{c, sums.values};
            float best = 3.4028235e38f;
            ClusterBounds best_bounds{0, 0, 1, 0};
            auto offer = [&](float e, int b0, int b1, int b2) {
                if (best > e) {
                    best = e;
                    best_bounds = {static_cast<uint8_t>(b0), static_cast<uint8_t>(b1), static_cast<uint8_t>(b2), 0};
                }
            };
            std::vector<int> splits;
            if (c == 16) {
                splits = {1, 15, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
            } else {
                for (uint32_t k = 1; k < c && c >= 3; ++k) { splits.push_back(static_cast<int>(k)); }
            }
            for (int k : splits) { offer(ref.split(k), k, k, k); }
            for (int a = 0; a < 4; ++a) {
                const ClusterCandidateList &l = t.lists[a][c];
                for (uint32_t r = 0; r < l.rows; ++r) {
                    const uint8_t *b = l.bounds + 3 * r;
                    offer(ref.general(b[0], b[1], b[2]), b[0], b[1], b[2]);
                }
            }
            EXPECT_EQ(got.best.error, best);
            EXPECT_EQ(got.bounds.b0, best_bounds.b0);
            EXPECT_EQ(got.bounds.b1, best_bounds.b1);
            EXPECT_EQ(got.bounds.b2, best_bounds.b2);
        }
    }
}

TEST(ClusterFit, WinnerErrorsOfWorkedBlocks) {
    const DxtEncOps ops = baseline_ops();
    struct Case {
        const char *name;
        std::vector<std::vector<float>> colors;  // sorted order
        std::vector<float> weights;
        float error;
        ClusterBounds bounds;
    };
    const float root8 = std::sqrt(8.0f), root15 = std::sqrt(15.0f);
    const Case cases[] = {
        {"red and blue", {{1, 0, 0}, {0, 0, 1}}, {root8, root8}, -5.656854f, {1, 1, 1, 0}},
        {"four greys",
         {{0, 0, 0}, {85 / 255.0f, 85 / 255.0f, 85 / 255.0f}, {170 / 255.0f, 170 / 255.0f, 170 / 255.0f}, {1, 1, 1}},
         {2, 2, 2, 2},
         -9.333334f,
         {1, 2, 3, 0}},
        {"one black and fifteen white", {{0, 0, 0}, {1, 1, 1}}, {1, root15}, -11.6189499f, {1, 1, 1, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t n = static_cast<uint32_t>(c.colors.size());
        alignas(32) float sorted[16][4];
        for (uint32_t k = 0; k < n; ++k) {
            for (int ch = 0; ch < 3; ++ch) { sorted[k][ch] = c.colors[k][ch] * c.weights[k]; }
            sorted[k][3] = c.weights[k];
        }
        ClusterSums sums;
        const SearchResult r = search_sorted(ops, sorted, n, &sums);
        EXPECT_FLOAT_EQ(r.best.error, c.error);
        EXPECT_EQ(r.bounds.b0, c.bounds.b0);
        EXPECT_EQ(r.bounds.b1, c.bounds.b1);
        EXPECT_EQ(r.bounds.b2, c.bounds.b2);
    }
}

TEST(ClusterFit, CallerErrorsAndMarkedPixels) {
    const DxtEncOps ops = baseline_ops();
    std::vector<uint32_t> pixels(16, 0xFF000000);
    for (int i = 8; i < 16; ++i) { pixels[i] = 0xFFFFFFFF; }
    DxtColorSet set = gather(ops, pixels);
    // Counts outside 2..16: message on standard output and eight zero bytes.
    for (uint64_t count : {0ull, 1ull, 17ull}) {
        SCOPED_TRACE(count);
        testing::internal::CaptureStdout();
        const std::vector<uint8_t> out = fit(ops, set, count);
        const std::string text = testing::internal::GetCapturedStdout();
        EXPECT_EQ(text, "ERROR : non code pour count : " + std::to_string(count) + "\n");
        EXPECT_EQ(out, std::vector<uint8_t>(8, 0));
    }
    // A pixel marked -1 takes index 3 (one third start, two thirds end; 2 in the block when
    // the packer exchanges the end points); so does a colour number past the count. The
    // fit itself puts black and white on the end points (indices 0 and 1).
    set.map[0] = -1;
    set.map[15] = 9;
    const std::vector<uint8_t> out = fit(ops, set, set.count);
    const uint32_t indices = out[4] | out[5] << 8 | out[6] << 16 | static_cast<uint32_t>(out[7]) << 24;
    EXPECT_GE(indices & 3, 2u);
    EXPECT_EQ(indices >> 30, indices & 3);
    for (int p = 1; p < 15; ++p) { EXPECT_LT((indices >> (2 * p)) & 3, 2u) << "pixel " << p; }
    EXPECT_NE((indices >> 2) & 3, (indices >> 16) & 3);
}

}  // namespace
