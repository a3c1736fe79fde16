// Range-sum preparation, AVX tier: the layout of every count against a plain reference
// that follows the run rules one float operation at a time, and its relation to the
// baseline preparation.
#include <cfloat>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit_avx/cluster_avx.h"

using namespace cfavx;

namespace {

const auto &kAvx = kPrepareAvx;

// Runs built from two halves instead of left to right: (count, i, j, split).
struct Split {
    uint32_t n, i, j, m;
};
const Split kFullSplits[] = {{5, 0, 4, 2}, {5, 1, 5, 3}, {6, 0, 4, 2}};
const Split kCrossSplits[] = {{4, 0, 4, 2}, {5, 0, 4, 2}, {5, 0, 5, 3}, {5, 1, 5, 3}, {6, 0, 6, 3}, {6, 1, 6, 4}};

template <size_t K>
uint32_t split_of(const Split (&table)[K], uint32_t n, uint32_t i, uint32_t j) {
    for (const Split &s : table) {
        if (s.n == n && s.i == i && s.j == j) { return s.m; }
    }
    return 0;
}

struct Vec {
    float l[4];
};
Vec plus(const Vec &a, const Vec &b) { return {{a.l[0] + b.l[0], a.l[1] + b.l[1], a.l[2] + b.l[2], a.l[3] + b.l[3]}}; }
Vec times(const Vec &a, const float *k) { return {{a.l[0] * k[0], a.l[1] * k[1], a.l[2] * k[2], a.l[3] * k[3]}}; }

const float kThird[4] = {1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 9.0f};
const float kTwoThirds[4] = {2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 4.0f / 9.0f};

// `full` of [i, j) by the rules: one colour copied, otherwise the run [i, j-1) plus colour
// j-1, or the two halves of a split run.
Vec ref_full(const Sorted &s, uint32_t n, uint32_t i, uint32_t j) {
    const Vec c{{s.v[j - 1][0], s.v[j - 1][1], s.v[j - 1][2], s.v[j - 1][3]}};
    if (j == i + 1) { return c; }
    if (const uint32_t m = split_of(kFullSplits, n, i, j)) { return plus(ref_full(s, n, i, m), ref_full(s, n, m, j)); }
    return plus(ref_full(s, n, i, j - 1), c);
}
float ref_cross(const Sorted &s, uint32_t n, uint32_t i, uint32_t j) {
    const float x = s.v[j - 1][3] * (2.0f / 9.0f);
    if (j == i + 1) { return x; }
    if (const uint32_t m = split_of(kCrossSplits, n, i, j)) { return ref_cross(s, n, i, m) + ref_cross(s, n, m, j); }
    return ref_cross(s, n, i, j - 1) + x;
}

std::vector<uint8_t> reference(const Sorted &s, uint32_t n) {
    std::vector<uint8_t> out(sums_bytes(n), 0);
    auto put = [&](uint64_t offset, const float *f, int count) { std::memcpy(out.data() + offset, f, 4 * count); };
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = i + 1; j <= n; ++j) {
            if (i == 0 && j == n) { continue; }
            const Vec f = ref_full(s, n, i, j);
            Vec t = times(f, kThird), u = times(f, kTwoThirds);
            if (n == 3 && j == i + 2) {
                const Vec c0 = ref_full(s, n, i, i + 1), c1 = ref_full(s, n, i + 1, i + 2);
                t = plus(times(c0, kThird), times(c1, kThird));
                u = plus(times(c0, kTwoThirds), times(c1, kTwoThirds));
            }
            put(full_at(n, i, j), f.l, 4);
            put(full_at(n, i, j) + 16, t.l, 4);
            put(full_at(n, i, j) + 32, u.l, 4);
        }
    }
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = i + 1; j <= n && n < 16; ++j) {
            const float c = ref_cross(s, n, i, j);
            put(cross_at(n, i, j), &c, 1);
        }
    }
    if (n == 16) {
        for (int l = 0; l <= 16; ++l) {
            const float c = static_cast<float>(2.0L * l / 9.0L);
            put(cross_base(16) + 4 * l, &c, 1);
        }
    }
    return out;
}

// n weighted colours: random 8-bit channels, pixel counts summing to 16, square-root
// weights; 16 colours take weight 1 unscaled.
Sorted random_sorted(std::mt19937 &rng, uint32_t n) {
    std::vector<int> counts(n, 1);
    for (uint32_t extra = 16 - n; extra > 0; --extra) { ++counts[rng() % n]; }
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        const float w = n == 16 ? 1.0f : std::sqrt(static_cast<float>(counts[k]));
        for (int c = 0; c < 3; ++c) { s.v[k][c] = static_cast<float>(rng() % 256) / 255.0f * w; }
        s.v[k][3] = w;
    }
    return s;
}

TEST(ClusterPrepareAvx, EveryCountMatchesTheRunRulesAndWritesOnlyItsLayout) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(7);
    for (uint32_t n = 2; n <= 16; ++n) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        for (int trial = 0; trial < 50; ++trial) {
            const Sorted s = random_sorted(rng, n);
            ClusterSums got;
            std::memset(&got, 0xA5, sizeof got);
            kAvx[n](s.v, &got);
            const std::vector<uint8_t> want = reference(s, n);
            const uint8_t *g = reinterpret_cast<const uint8_t *>(got.values);
            ASSERT_EQ(std::memcmp(g, want.data(), want.size()), 0) << "trial " << trial;
            for (size_t b = want.size(); b < sizeof got; ++b) { ASSERT_EQ(g[b], 0xA5) << "byte " << b; }
        }
    }
}

TEST(ClusterPrepareAvx, KnownSizesAndValues) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    const uint32_t sizes[17] = {0,    0,    160,  316,  524,  784,  1096, 1460, 1876,
                                2344, 2864, 3436, 4060, 4736, 5464, 6244, 6596};
    for (uint32_t n = 2; n <= 16; ++n) { EXPECT_EQ(sums_bytes(n), sizes[n]) << n; }
    // Count 16: the cross of eleven colours is the float nearest 22/9, not eleven sums.
    Sorted s;
    for (int k = 0; k < 16; ++k) { s.v[k][3] = 1.0f; }
    ClusterSums sums;
    cluster_prepare_count16_avx(s.v, &sums);
    EXPECT_EQ(bits(float_at(sums, 6528 + 4 * 11)), 0x401C71C7u);
    EXPECT_EQ(bits(float_at(sums, 6528 + 4 * 9)), bits(2.0f));
    // Count 2: zero entry, the two colours, cross 0, x0, x0 + x1, x1.
    Sorted two;
    const float c0[4] = {0.25f, 0.5f, 0.75f, 1.0f}, c1[4] = {1.0f, 0.0f, 0.5f, 1.4142135f};
    std::memcpy(two.v[0], c0, 16);
    std::memcpy(two.v[1], c1, 16);
    cluster_prepare_count02_avx(two.v, &sums);
    for (int k = 0; k < 12; ++k) { EXPECT_EQ(bits(sums.values[k]), 0u); }
    EXPECT_EQ(std::memcmp(sums.values + 12, c0, 16), 0);
    EXPECT_EQ(std::memcmp(sums.values + 24, c1, 16), 0);
    const float x0 = 1.0f * (2.0f / 9.0f), x1 = 1.4142135f * (2.0f / 9.0f);
    const float cross[4] = {0.0f, x0, x0 + x1, x1};
    EXPECT_EQ(std::memcmp(sums.values + 36, cross, 16), 0);
}

// Beside the baseline: counts 2 and 3 are byte-identical; elsewhere `full` and the cross
// values agree but for the split runs (and what is built on them), and the thirds are
// the run's `full` times the constants, where the baseline sums per-colour products.
TEST(ClusterPrepareAvx, AgreesWithTheBaselineButForTheSplitRuns) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    DxtEncOps base;
    std::memset(&base, 0, sizeof base);
    dxtenc_init_ops_cluster(&base, DXTENC_PIX_RGBA8);
    std::mt19937 rng(11);
    for (uint32_t n = 2; n <= 16; ++n) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        // Runs whose `full` may differ: the split runs and the one built on one (count 6).
        auto full_may_differ = [n](uint32_t i, uint32_t j) {
            return split_of(kFullSplits, n, i, j) != 0 || (n == 6 && i == 0 && j == 5);
        };
        for (int trial = 0; trial < 50; ++trial) {
            const Sorted s = random_sorted(rng, n);
            ClusterSums avx, ref;
            std::memset(&avx, 0, sizeof avx);
            std::memset(&ref, 0, sizeof ref);
            kAvx[n](s.v, &avx);
            base.cluster_prepare[n - 2](s.v, &ref);
            if (n <= 3) {
                ASSERT_EQ(std::memcmp(avx.values, ref.values, sums_bytes(n)), 0);
                continue;
            }
            for (uint32_t i = 0; i < n; ++i) {
                for (uint32_t j = i + 1; j <= n; ++j) {
                    if (!(i == 0 && j == n)) {
                        const uint64_t at = full_at(n, i, j);
                        float f[4];
                        for (int l = 0; l < 4; ++l) {
                            f[l] = float_at(avx, at + 4 * l);
                            if (!full_may_differ(i, j)) {
                                ASSERT_EQ(bits(f[l]), bits(float_at(ref, at + 4 * l))) << i << " " << j;
                            }
                            ASSERT_EQ(bits(float_at(avx, at + 16 + 4 * l)), bits(f[l] * kThird[l]));
                            ASSERT_EQ(bits(float_at(avx, at + 32 + 4 * l)), bits(f[l] * kTwoThirds[l]));
                        }
                    }
                    if (n < 16 && split_of(kCrossSplits, n, i, j) == 0) {
                        ASSERT_EQ(bits(float_at(avx, cross_at(n, i, j))), bits(float_at(ref, cross_at(n, i, j))));
                    }
                }
            }
            if (n == 16) {
                ASSERT_EQ(std::memcmp(reinterpret_cast<const uint8_t *>(avx.values) + 6528,
                                      reinterpret_cast<const uint8_t *>(ref.values) + 6528, 68),
                          0);
            }
        }
    }
}

}  // namespace
