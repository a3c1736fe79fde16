// Principal axis and projection, AVX tier: every count against a scalar model that adds
// in the count's tree (bit for bit, stale entries NaN), the colour order against the
// baseline tier's, and a block whose axis is not a number.
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

using AxisFn = void (*)(float *, const float (*)[4], const float *);
using ProjectFn = void (*)(float *, const float (*)[4], const float *);
using SortFn = void (*)(const float *, uint8_t *);

#define AXIS_ROW(NN)    cluster_axis_count##NN##_avx,
#define PROJECT_ROW(NN) cluster_project_count##NN##_avx,
const AxisFn kAxis[15] = {CLUSTER_AVX_FOR_EACH_COUNT(AXIS_ROW)};
const ProjectFn kProject[15] = {CLUSTER_AVX_FOR_EACH_COUNT(PROJECT_ROW)};
#undef AXIS_ROW
#undef PROJECT_ROW
#define BASE_ROW(NN, n) \
    {cluster_axis_count##NN##_sse41, cluster_project_count##NN##_sse41, cluster_sort_count##NN##_sse41},
struct BaseStages {
    AxisFn axis;
    ProjectFn project;
    SortFn sort;
};
const BaseStages kBase[15] = {CLUSTER_FOR_EACH_COUNT(BASE_ROW)};
#undef BASE_ROW

const float kNaN = std::bit_cast<float>(0x7FC00000u);

// ---------------------------------------------------------------------------------------
// The model: each sum over the colours in the tree of its count; a term past the count is
// absent and leaves its partner as it is.

using Term = std::optional<float>;
Term plus(Term a, Term b) {
    if (!a) { return b; }
    if (!b) { return a; }
    return *a + *b;
}

float tree(const float *x, int n) {
    Term t[16];
    for (int i = 0; i < 16; ++i) {
        if (i < n) { t[i] = x[i]; }
    }
    auto P = plus;
    Term r;
    if (n == 2) {
        r = P(t[0], t[1]);
    } else if (n == 3) {
        r = P(P(t[0], t[1]), t[2]);
    } else if (n == 4) {
        r = P(P(t[0], t[1]), P(t[2], t[3]));
    } else if (n <= 7) {
        r = P(P(P(t[0], t[4]), P(t[1], t[5])), P(P(t[2], t[6]), P(t[3], t[7])));
    } else if (n == 8) {
        r = P(P(P(t[0], t[1]), P(t[2], t[3])), P(P(t[4], t[5]), P(t[6], t[7])));
    } else {
        r = P(P(P(P(t[0], t[8]), P(t[1], t[9])), P(P(t[2], t[10]), P(t[3], t[11]))),
              P(P(P(t[4], t[12]), P(t[5], t[13])), P(P(t[6], t[14]), P(t[7], t[15]))));
    }
    return *r;
}

struct Axis {
    float v[3];
};

Axis model_axis(const float (*c)[4], const float *w, int n) {
    float wr[16], wg[16], wb[16], ws[16];
    for (int i = 0; i < n; ++i) {
        const float wi = n == 16 ? 1.0f : w[i];
        ws[i] = wi;
        wr[i] = n == 16 ? c[i][0] : wi * c[i][0];
        wg[i] = n == 16 ? c[i][1] : wi * c[i][1];
        wb[i] = n == 16 ? c[i][2] : wi * c[i][2];
    }
    const float W = n == 16 ? 16.0f : n == 15 ? 15.414213f : tree(ws, n);
    const float mr = tree(wr, n) / W, mg = tree(wg, n) / W, mb = tree(wb, n) / W;
    float t[6][16];
    for (int i = 0; i < n; ++i) {
        const float dr = c[i][0] - mr, dg = c[i][1] - mg, db = c[i][2] - mb;
        if (n == 16) {
            t[0][i] = dr * dr;
            t[1][i] = dg * dg;
            t[2][i] = db * db;
            t[3][i] = dg * dr;
            t[4][i] = db * dr;
            t[5][i] = db * dg;
        } else {
            t[0][i] = (w[i] * dr) * dr;
            t[1][i] = (w[i] * dg) * dg;
            t[2][i] = (w[i] * db) * db;
            t[3][i] = (w[i] * dg) * dr;
            t[4][i] = (w[i] * db) * dr;
            t[5][i] = (w[i] * db) * dg;
        }
    }
    const float rr = tree(t[0], n), gg = tree(t[1], n), bb = tree(t[2], n);
    const float rg = tree(t[3], n), rb = tree(t[4], n), gb = tree(t[5], n);
    const float cr[3] = {rr, rg, rb}, cg[3] = {rg, gg, gb}, cb[3] = {rb, gb, bb};
    float v[3], u[3] = {};
    for (int k = 0; k < 3; ++k) { v[k] = (cr[k] + cg[k]) + cb[k]; }
    auto max = [](float x, float y) { return x > y ? x : y; };
    for (int step = 0; step < 4; ++step) {
        const float m = max(max(v[1], v[0]), v[2]);
        const float s = 1.0f / m;
        for (int k = 0; k < 3; ++k) { u[k] = v[k] * s; }
        if (step < 3) {
            for (int k = 0; k < 3; ++k) { v[k] = ((cr[k] * u[0]) + (cg[k] * u[1])) + (cb[k] * u[2]); }
        }
    }
    return {{u[0], u[1], u[2]}};
}

// Entries the projection member writes: up to the end of its last vector.
int projected_entries(int n) { return n <= 4 ? 4 : n <= 8 ? 8 : n == 9 ? 9 : n <= 12 ? 12 : 16; }

bool same_bits(float a, float b) { return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b)); }

// One block's distinct colours with weights from pixel counts adding up to 16; entries
// past the count NaN.
struct alignas(32) Set {
    float colors[16][4];
    float weights[16];
    int n;
};

Set stale_set(int n) {
    Set s;
    s.n = n;
    for (auto &c : s.colors) {
        for (float &f : c) { f = kNaN; }
    }
    for (float &w : s.weights) { w = kNaN; }
    return s;
}

void set_weights(Set &s, std::mt19937 &rng) {
    int counts[16];
    for (int i = 0; i < s.n; ++i) { counts[i] = 1; }
    for (int extra = 16 - s.n; extra > 0; --extra) { ++counts[rng() % s.n]; }
    for (int i = 0; i < s.n; ++i) { s.weights[i] = std::sqrt(float(counts[i])); }
}

// Random distinct 8-bit colours; shape picks how they spread.
Set random_set(int n, int shape, std::mt19937 &rng) {
    Set s = stale_set(n);
    const int base[3] = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
    for (int i = 0; i < n; ++i) {
        // Distinct colours where the shape has enough of them.
        for (int attempt = 0; attempt < 50; ++attempt) {
            int v[3];
            const int t = int(rng() % 256) - 128;
            for (int c = 0; c < 3; ++c) {
                switch (shape) {
                case 0: v[c] = int(rng() % 256); break;                                // anywhere
                case 1: v[c] = base[c] + t * (c + 1) / 3 + int(rng() % 5) - 2; break;  // near a line
                case 2: v[c] = c == 1 ? int(rng() % 256) : base[c]; break;             // green only
                case 3: v[c] = base[c] + (c == 0 ? t : c == 1 ? -t : 0); break;        // equal channel sums
                default: v[c] = int(rng() % 4) * 85; break;                            // few levels
                }
                v[c] = v[c] < 0 ? 0 : v[c] > 255 ? 255 : v[c];
            }
            for (int c = 0; c < 3; ++c) { s.colors[i][c] = float(v[c]) / 255.0f; }
            s.colors[i][3] = kNaN;  // never read
            bool fresh = true;
            for (int j = 0; j < i; ++j) { fresh = fresh && std::memcmp(s.colors[j], s.colors[i], 12) != 0; }
            if (fresh) { break; }
        }
    }
    set_weights(s, rng);
    return s;
}

TEST(ClusterAxisAvx, EveryCountEqualsTheModelBitForBit) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(2704);
    for (int n = 2; n <= 16; ++n) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        int checked = 0;
        for (int trial = 0; trial < 1500; ++trial) {
            const Set s = random_set(n, trial % 5, rng);
            alignas(16) float axis[4] = {kNaN, kNaN, kNaN, kNaN};
            kAxis[n - 2](axis, s.colors, s.weights);
            const Axis m = model_axis(s.colors, s.weights, n);
            for (int k = 0; k < 3; ++k) {
                ASSERT_TRUE(same_bits(axis[k], m.v[k]))
                    << "trial " << trial << " lane " << k << ": " << axis[k] << " (0x" << std::hex << bits(axis[k])
                    << ") model " << m.v[k] << " (0x" << bits(m.v[k]) << ")";
            }
            ++checked;
        }
        EXPECT_EQ(checked, 1500);
    }
}

TEST(ClusterAxisAvx, KnownAxes) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    struct Case {
        const char *name;
        std::vector<std::array<float, 3>> colors;
        std::vector<float> weights;
        float axis[3];  // exact, or NaN
    };
    const Case cases[] = {
        {"black and white", {{0, 0, 0}, {1, 1, 1}}, {1, 1}, {1, 1, 1}},
        {"black and red", {{0, 0, 0}, {1, 0, 0}}, {1, 1}, {1, 0, 0}},
        {"a line", {{0, 0, 0}, {0.5f, 0.25f, 0}, {1, 0.5f, 0}}, {1, 2, std::sqrt(13.0f)}, {1, 0.5f, 0}},
        {"green only", {{0.2f, 0, 0.4f}, {0.2f, 0.5f, 0.4f}, {0.2f, 1, 0.4f}}, {2, 2, 2}, {0, 1, 0}},
        {"pure red and pure green", {{1, 0, 0}, {0, 1, 0}}, {2.828427f, 2.828427f}, {kNaN, kNaN, kNaN}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int n = int(c.colors.size());
        Set s = stale_set(n);
        for (int i = 0; i < n; ++i) {
            std::memcpy(s.colors[i], c.colors[i].data(), 12);
            s.weights[i] = c.weights[i];
        }
        alignas(16) float axis[4];
        kAxis[n - 2](axis, s.colors, s.weights);
        for (int k = 0; k < 3; ++k) {
            if (std::isnan(c.axis[k])) {
                EXPECT_TRUE(std::isnan(axis[k])) << k;
            } else {
                EXPECT_NEAR(axis[k], c.axis[k], 1e-6) << k;
            }
        }
    }
    // Sixteen colours read no weight; fifteen divide by the same weight sum whatever the
    // weights say.
    std::mt19937 rng(5);
    const Set s16 = random_set(16, 0, rng);
    alignas(16) float a[4], b[4];
    kAxis[14](a, s16.colors, s16.weights);
    const float nan_weights[16] = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN,
                                   kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    kAxis[14](b, s16.colors, nan_weights);
    EXPECT_EQ(std::memcmp(a, b, 12), 0);
}

TEST(ClusterProjectAvx, EveryCountEqualsTheModelBitForBit) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(2705);
    const float kSentinel = std::bit_cast<float>(0x7FC0BEEFu);
    for (int n = 2; n <= 16; ++n) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        for (int trial = 0; trial < 500; ++trial) {
            const Set s = random_set(n, trial % 5, rng);
            alignas(16) float axis[4];
            if (trial % 4 == 0) {
                kAxis[n - 2](axis, s.colors, s.weights);
            } else {
                std::uniform_real_distribution<float> d(-1.5f, 1.5f);
                for (float &f : axis) { f = d(rng); }
            }
            if (trial == 1) { axis[1] = kNaN; }
            axis[3] = kNaN;  // not read
            alignas(32) float p[16];
            for (float &f : p) { f = kSentinel; }
            kProject[n - 2](p, s.colors, axis);
            for (int i = 0; i < 16; ++i) {
                if (i >= projected_entries(n)) {
                    ASSERT_EQ(bits(p[i]), bits(kSentinel)) << "entry " << i << " written";
                    continue;
                }
                const float r = i < n ? s.colors[i][0] : 0.0f, g = i < n ? s.colors[i][1] : 0.0f,
                            b = i < n ? s.colors[i][2] : 0.0f;
                const float want = ((r * axis[0]) + (g * axis[1])) + (b * axis[2]);
                ASSERT_TRUE(same_bits(p[i], want)) << "trial " << trial << " entry " << i;
            }
        }
    }
}

// The colour order of the two tiers may differ only where two projections lie within
// rounding of each other, or where the matrix times (1, 1, 1) is rounding noise.
TEST(ClusterAxisAvx, ColourOrderMatchesTheBaselineUpToRounding) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(2706);
    int differ = 0, ties = 0, flat = 0;
    for (int n = 2; n <= 16; ++n) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        for (int trial = 0; trial < 2000; ++trial) {
            const Set s = random_set(n, trial % 5, rng);
            alignas(16) float axis_a[4], axis_b[4];
            alignas(32) float pa[16], pb[16];
            uint8_t oa[16], ob[16];
            for (int i = 0; i < 16; ++i) { oa[i] = ob[i] = uint8_t(i); }
            kAxis[n - 2](axis_a, s.colors, s.weights);
            kProject[n - 2](pa, s.colors, axis_a);
            kBase[n - 2].sort(pa, oa);
            kBase[n - 2].axis(axis_b, s.colors, s.weights);
            kBase[n - 2].project(pb, s.colors, axis_b);
            kBase[n - 2].sort(pb, ob);
            if (std::memcmp(oa, ob, size_t(n)) == 0) { continue; }
            ++differ;
            // Matrix and its start vector in double.
            double w[16], sum_w = 0, mean[3] = {};
            for (int i = 0; i < n; ++i) {
                w[i] = n == 16 ? 1.0 : s.weights[i];
                sum_w += w[i];
                for (int c = 0; c < 3; ++c) { mean[c] += w[i] * s.colors[i][c]; }
            }
            double cov[3][3] = {};
            for (int i = 0; i < n; ++i) {
                for (int a = 0; a < 3; ++a) {
                    for (int b = 0; b < 3; ++b) {
                        cov[a][b] += w[i] * (s.colors[i][a] - mean[a] / sum_w) * (s.colors[i][b] - mean[b] / sum_w);
                    }
                }
            }
            double largest = 0, start = 0;
            for (int a = 0; a < 3; ++a) {
                start = std::fmax(start, std::fabs(cov[a][0] + cov[a][1] + cov[a][2]));
                for (int b = 0; b < 3; ++b) { largest = std::fmax(largest, std::fabs(cov[a][b])); }
            }
            if (start <= 1e-6 * largest) {
                ++flat;
                continue;
            }
            // Every pair the two orders put the other way round is a near tie in one tier.
            int pos_a[16], pos_b[16];
            for (int k = 0; k < n; ++k) {
                pos_a[oa[k]] = k;
                pos_b[ob[k]] = k;
            }
            double range_a = 0, range_b = 0;
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    range_a = std::fmax(range_a, std::fabs(double(pa[i]) - pa[j]));
                    range_b = std::fmax(range_b, std::fabs(double(pb[i]) - pb[j]));
                }
            }
            bool tie = true;
            for (int i = 0; i < n; ++i) {
                for (int j = i + 1; j < n; ++j) {
                    if ((pos_a[i] < pos_a[j]) == (pos_b[i] < pos_b[j])) { continue; }
                    tie = tie && (std::fabs(double(pa[i]) - pa[j]) <= 1e-5 * range_a ||
                                  std::fabs(double(pb[i]) - pb[j]) <= 1e-5 * range_b);
                }
            }
            if (tie) {
                ++ties;
            } else {
                ADD_FAILURE() << "trial " << trial << ": order differs without a near tie";
            }
        }
    }
    std::printf("[ colour order ] %d of %d blocks ordered differently (%d near ties, %d flat start)\n", differ,
                15 * 2000, ties, flat);
}

// Decoded RGB of pixel k of a four-colour DXT1 block (or the colour-0 block of equal colours).
std::array<int, 3> decode(const uint8_t *block, int k) {
    const uint16_t c[2] = {uint16_t(block[0] | block[1] << 8), uint16_t(block[2] | block[3] << 8)};
    int rgb[2][3];
    for (int e = 0; e < 2; ++e) {
        const int r = c[e] >> 11, g = c[e] >> 5 & 63, b = c[e] & 31;
        rgb[e][0] = r << 3 | r >> 2;
        rgb[e][1] = g << 2 | g >> 4;
        rgb[e][2] = b << 3 | b >> 2;
    }
    const int index = block[4 + k / 4] >> (2 * (k % 4)) & 3;
    std::array<int, 3> out{};
    for (int ch = 0; ch < 3; ++ch) {
        const int a = rgb[0][ch], b = rgb[1][ch];
        out[ch] = index == 0 ? a : index == 1 ? b : index == 2 ? (2 * a + b) / 3 : (a + 2 * b) / 3;
    }
    if (c[0] <= c[1] && index >= 2) { out = {-1, -1, -1}; }  // not a four-colour block
    return out;
}

TEST(ClusterAxisAvx, ColoursOfOneChannelSumStillCodeTheBlock) {
    // Pure red and pure green, eight pixels each: the axis is not a number at both tiers.
    std::vector<uint8_t> rgba(64, 0);
    for (int k = 0; k < 16; ++k) {
        rgba[4 * k + (k < 8 ? 0 : 1)] = 255;
        rgba[4 * k + 3] = 255;
    }
    alignas(16) float axis[4];
    const float colors[2][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}}, weights[2] = {2.828427f, 2.828427f};
    kBase[0].axis(axis, colors, weights);
    EXPECT_TRUE(std::isnan(axis[0]));
    if (has_avx()) {
        cluster_axis_count02_avx(axis, colors, weights);
        EXPECT_TRUE(std::isnan(axis[0]));
    }
    for (uint8_t quality : {uint8_t(2), uint8_t(3)}) {
        for (uint32_t isa : {0x00u, 0x28u, 0xF8u}) {
            SCOPED_TRACE(testing::Message() << "quality " << int(quality) << " mask 0x" << std::hex << isa);
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            ctx.no_alpha = 1;
            ASSERT_EQ(dxtenc_init(&ctx, 4, 4, DXTENC_CODEC_DXT1, quality, 0, DXTENC_PIX_RGBA8, 0, 1, isa), 0);
            uint8_t block[8];
            const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
            const int64_t strides[4] = {16, 0, 0, 0};
            dxtenc_encode_frame(&ctx, block, planes, strides);
            for (int k = 0; k < 16; ++k) {
                const std::array<int, 3> want = {k < 8 ? 255 : 0, k < 8 ? 0 : 255, 0};
                EXPECT_EQ(decode(block, k), want) << "pixel " << k;
            }
        }
    }
}

}  // namespace
