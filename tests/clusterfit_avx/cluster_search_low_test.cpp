// Search members of 8 to 10 colours beyond the tier harness: what the set-up stores, that
// the kernels of a count together try every partition once, and that no member reads
// past the end of its lists.
#include <cfloat>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_search_low.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

struct CountMembers {
    uint32_t n;
    DxtClusterSearchEFn e[2];
    DxtClusterSearchFn lists[4][2];  // arrays a, b, c, d; AVX then AVX+FMA (d: null for 9)
};
const CountMembers kCounts[] = {
    {8,
     {cluster_search_e_count08_avx, cluster_search_e_count08_fma},
     {{cluster_search_a_count08_avx, cluster_search_a_count08_fma},
      {cluster_search_b_count08_avx, cluster_search_b_count08_fma},
      {cluster_search_c_count08_avx, cluster_search_c_count08_fma},
      {cluster_search_d_count08_avx, cluster_search_d_count08_fma}}},
    {9,
     {cluster_search_e_count09_avx, cluster_search_e_count09_fma},
     {{cluster_search_a_count09_avx, cluster_search_a_count09_fma},
      {cluster_search_b_count09_avx, cluster_search_b_count09_fma},
      {cluster_search_c_count09_avx, cluster_search_c_count09_fma},
      {nullptr, nullptr}}},
    {10,
     {cluster_search_e_count10_avx, cluster_search_e_count10_fma},
     {{cluster_search_a_count10_avx, cluster_search_a_count10_fma},
      {cluster_search_b_count10_avx, cluster_search_b_count10_fma},
      {cluster_search_c_count10_avx, cluster_search_c_count10_fma},
      {cluster_search_d_count10_avx, cluster_search_d_count10_fma}}},
};

TEST(ClusterSearchLowSetup, EveryEntryOfEightToTenColoursHoldsTheTiersMember) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    for (const uint32_t mask : {0x28u, 0x68u}) {
        const int tier = mask == 0x68 ? 1 : 0;
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, mask), 0);
        const DxtEncOps &o = ctx.ops;
        const DxtClusterSearchFn *arrays[4] = {o.cluster_search_a, o.cluster_search_b, o.cluster_search_c,
                                               o.cluster_search_d};
        for (const CountMembers &c : kCounts) {
            SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << mask << std::dec << ", " << c.n << " colours");
            EXPECT_EQ(o.cluster_search_e[c.n - 2], c.e[tier]);
            for (int a = 0; a < 4; ++a) {
                if (c.lists[a][tier]) { EXPECT_EQ(arrays[a][c.n - 2], c.lists[a][tier]) << "array " << a; }
            }
        }
    }
}

// The splits of kind e and the rows the driver passes to arrays a to d: every triple
// with at least two non-empty runs exactly once.
TEST(ClusterSearchLowSetup, TheKernelsOfACountTryEveryPartitionOnce) {
    const std::map<uint32_t, size_t> expected = {{8, 161}, {9, 216}, {10, 282}};
    for (const CountMembers &c : kCounts) {
        SCOPED_TRACE(testing::Message() << c.n << " colours");
        std::multiset<std::tuple<int, int, int>> tried;
        for (uint32_t k = 1; k < c.n; ++k) { tried.insert({k, k, k}); }
        for (const ClusterArray a : {CLUSTER_ARRAY_A, CLUSTER_ARRAY_B, CLUSTER_ARRAY_C, CLUSTER_ARRAY_D}) {
            const ClusterCandidateList &l = cluster_candidate_tables().lists[a][c.n];
            EXPECT_EQ(l.rows % (a == CLUSTER_ARRAY_D ? 1 : 4), 0u) << "array " << a;
            for (uint32_t r = 0; r < l.rows; ++r) {
                tried.insert({l.bounds[3 * r], l.bounds[3 * r + 1], l.bounds[3 * r + 2]});
            }
        }
        EXPECT_EQ(tried.size(), expected.at(c.n));
        const int n = int(c.n);
        for (int b0 = 0; b0 <= n; ++b0) {
            for (int b1 = b0; b1 <= n; ++b1) {
                for (int b2 = b1; b2 <= n; ++b2) {
                    const int runs = (b0 > 0) + (b1 > b0) + (b2 > b1) + (n > b2);
                    EXPECT_EQ(tried.count({b0, b1, b2}), runs >= 2 ? 1u : 0u) << b0 << "," << b1 << "," << b2;
                }
            }
        }
    }
}

ClusterSums random_sums(uint32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        const float w = float(1 + rng() % 3);
        for (int c = 0; c < 3; ++c) { s.v[k][c] = w * float(rng() % 256) / 255.0f; }
        s.v[k][3] = w;
    }
    ClusterSums sums;
    std::memset(&sums, 0, sizeof sums);
    kPrepareAvx[n](s.v, &sums);
    return sums;
}

// Under AddressSanitizer a read past the last row of the exactly sized copies fails.
TEST(ClusterSearchLowSetup, MembersReadNothingPastTheLastRow) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    for (const CountMembers &c : kCounts) {
        for (int a = 0; a < 4; ++a) {
            const ClusterCandidateList &l = cluster_candidate_tables().lists[a][c.n];
            const std::vector<uint64_t> records(l.records, l.records + size_t(l.rows) * l.fields);
            const std::vector<uint8_t> bounds(l.bounds, l.bounds + 3 * size_t(l.rows));
            for (int tier = 0; tier < 2; ++tier) {
                if (!c.lists[a][tier]) { continue; }
                SCOPED_TRACE(testing::Message() << c.n << " colours, array " << a << ", tier " << tier);
                for (uint32_t seed = 0; seed < 4; ++seed) {
                    const ClusterSums sums = random_sums(c.n, seed);
                    ClusterBest got{}, want{};
                    ClusterBounds got_b{0, 0, 1, 0}, want_b{0, 0, 1, 0};
                    got.error = want.error = FLT_MAX;
                    c.lists[a][tier](&got, &got_b, &sums, records.data(), bounds.data());
                    c.lists[a][tier](&want, &want_b, &sums, l.records, l.bounds);
                    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
                    EXPECT_EQ(std::memcmp(&got_b, &want_b, sizeof got_b), 0);
                }
            }
        }
    }
}

}  // namespace
