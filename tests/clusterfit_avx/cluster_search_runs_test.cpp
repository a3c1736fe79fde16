// Kinds a, b and c for 15 and 16 colours at the AVX tiers: the constant bound bytes of
// their walk equal the shared tables, the rows the kernels rely on hold, and no member
// reads past the last row of its tables.
#include <cfloat>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_runs_plan.h"

using namespace cfavx;

namespace {

const ClusterCandidateList &list(ClusterArray array, uint32_t n) { return cluster_candidate_tables().lists[array][n]; }

struct Plan {
    const char *name;
    ClusterArray array;
    uint32_t count;
    const RunSegment *segments;
    size_t size;
};
template <size_t S>
Plan plan(const char *name, ClusterArray array, uint32_t n, const std::array<RunSegment, S> &p) {
    return {name, array, n, p.data(), S};
}
const Plan kPlans[] = {
    plan("a16", CLUSTER_ARRAY_A, 16, kRunPlanA16),
    plan("a15", CLUSTER_ARRAY_A, 15, kRunPlanA15),
    plan("b16", CLUSTER_ARRAY_B, 16, kRunPlanB16),
    plan("b15", CLUSTER_ARRAY_B, 15, kRunPlanB15),
};

TEST(ClusterRunsPlan, SegmentsTileTheListsAndTheirConstantBytesAreTheRows) {
    for (const Plan &p : kPlans) {
        SCOPED_TRACE(p.name);
        const ClusterCandidateList &l = list(p.array, p.count);
        uint32_t row = 0;
        int constants = 0;
        for (size_t s = 0; s < p.size; ++s) {
            const RunSegment &seg = p.segments[s];
            EXPECT_EQ(l.fields, run_shape_fields(seg.shape) + (p.count == 16 ? 1 : 0)) << "segment " << s;
            for (uint32_t r = row; r < row + 4u * seg.steps; ++r) {
                for (int i = 0; i < 3; ++i) {
                    if (seg.fixed[i] < 0) { continue; }
                    EXPECT_EQ(l.bounds[3 * r + i], seg.fixed[i]) << "row " << r << " byte " << i;
                    ++constants;
                }
            }
            row += 4u * seg.steps;
        }
        EXPECT_EQ(row, l.rows);
        EXPECT_GT(constants, 0);
    }
    // The bytes the placements and shape groups fix are constants of the walk.
    struct Fixed {
        const RunSegment &seg;
        int16_t b0, b1, b2;
    };
    const Fixed fixed[] = {
        {kRunPlanA16[0], 0, 0, -1},   {kRunPlanA16[1], 0, -1, -1},  {kRunPlanA16[2], 0, -1, 16},
        {kRunPlanA16[3], -1, -1, 16}, {kRunPlanA16[4], -1, 16, 16}, {kRunPlanA15[2], 0, -1, 15},
        {kRunPlanA15[4], -1, 15, 15}, {kRunPlanB16[0], -1, -1, -1}, {kRunPlanB16[2], 0, -1, -1},
        {kRunPlanB16[3], -1, -1, 16}, {kRunPlanB15[2], 0, -1, -1},  {kRunPlanB15[3], -1, -1, 15},
    };
    for (const Fixed &f : fixed) {
        EXPECT_EQ(f.seg.fixed[0], f.b0);
        EXPECT_EQ(f.seg.fixed[1], f.b1);
        EXPECT_EQ(f.seg.fixed[2], f.b2);
    }
}

TEST(ClusterRunsPlan, NamedRowsOfTheLists) {
    const ClusterCandidateList &b16 = list(CLUSTER_ARRAY_B, 16), &b15 = list(CLUSTER_ARRAY_B, 15);
    ASSERT_EQ(b16.rows, 412u);
    ASSERT_EQ(b15.rows, 352u);
    // Counted from 1.
    const struct {
        uint32_t row;
        uint8_t b[3];
    } b16_rows[] = {{1, {1, 1, 2}}, {105, {1, 2, 2}}, {209, {0, 1, 2}}, {313, {1, 2, 16}}, {412, {8, 15, 16}}};
    for (const auto &r : b16_rows) {
        EXPECT_EQ(std::memcmp(b16.bounds + 3 * (r.row - 1), r.b, 3), 0) << "row " << r.row;
    }
    // The four zero triples after the 16-colour lists of kinds a and b.
    for (const ClusterCandidateList *l : {&b16, &list(CLUSTER_ARRAY_A, 16)}) {
        for (uint32_t i = 0; i < 12; ++i) { EXPECT_EQ(l->bounds[3 * l->rows + i], 0); }
    }
    const struct {
        uint32_t row;
        uint64_t offsets[4];
    } b15_rows[] = {{1, {48, 736, 1968, 5824}}, {177, {64, 736, 1968, 5768}}, {352, {336, 4336, 5728, 6128}}};
    for (const auto &r : b15_rows) {
        for (int f = 0; f < 4; ++f) { EXPECT_EQ(b15.records[4 * (r.row - 1) + f], r.offsets[f]) << "row " << r.row; }
    }
    const ClusterCandidateList &a15 = list(CLUSTER_ARRAY_A, 15), &a16 = list(CLUSTER_ARRAY_A, 16);
    ASSERT_EQ(a15.rows, 60u);
    ASSERT_EQ(a16.rows, 60u);
    // Placement 1, k = 1 and 12; placement 3, k = 1; placement 4, k = 1; placement 5, k = 12.
    const struct {
        uint32_t row;
        uint64_t offsets[3];
    } a15_rows[] = {{0, {64, 1344, 5764}},
                    {11, {592, 5568, 5808}},
                    {24, {64, 1360, 5820}},
                    {36, {48, 1360, 5876}},
                    {59, {576, 5584, 6228}}};
    for (const auto &r : a15_rows) {
        for (int f = 0; f < 3; ++f) { EXPECT_EQ(a15.records[3 * r.row + f], r.offsets[f]) << "row " << r.row; }
    }
    // Family 1, k = 1 at 16 colours: one colour at index 3, fifteen at index 1, factor 0.6.
    EXPECT_EQ(cluster_candidate_tables().factors16[a16.records[3] / 4], 0.6f);
}

// A block of n colours near a line, sums prepared by the AVX tier.
ClusterSums block_sums(uint32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        const float w = n == 16 ? 1.0f : (k % 3 == 0 ? 1.4142135f : 1.0f);
        const float t = float(rng() % 256) / 255.0f;
        for (int c = 0; c < 3; ++c) {
            s.v[k][c] = w * std::fmin(1.0f, t * (0.5f + 0.25f * float(c)) + float(rng() % 9) / 255.0f);
        }
        s.v[k][3] = w;
    }
    ClusterSums sums;
    std::memset(&sums, 0, sizeof sums);
    (n == 16 ? cluster_prepare_count16_avx : cluster_prepare_count15_avx)(s.v, &sums);
    return sums;
}

struct Runs {
    const char *name;
    ClusterArray array;
    DxtClusterSearchFn f15;
    DxtClusterSearch16Fn f16;
    bool fma;
};
const Runs kRuns[] = {
    {"a avx", CLUSTER_ARRAY_A, cluster_search_a_count15_avx, cluster_search_a_count16_avx, false},
    {"a fma", CLUSTER_ARRAY_A, cluster_search_a_count15_fma, cluster_search_a_count16_fma, true},
    {"b avx", CLUSTER_ARRAY_B, cluster_search_b_count15_avx, cluster_search_b_count16_avx, false},
    {"b fma", CLUSTER_ARRAY_B, cluster_search_b_count15_fma, cluster_search_b_count16_fma, true},
};

// Under AddressSanitizer a read past the last row of the exactly sized copies fails.
TEST(ClusterRunsMembers, ReadNothingPastTheLastRow) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    for (const Runs &m : kRuns) {
        for (uint32_t n : {15u, 16u}) {
            SCOPED_TRACE(testing::Message() << m.name << ", " << n << " colours");
            const ClusterCandidateList &l = list(m.array, n);
            const std::vector<uint64_t> records(l.records, l.records + size_t(l.rows) * l.fields);
            const std::vector<uint8_t> bounds(l.bounds, l.bounds + 3 * size_t(l.rows));
            const ClusterCandidateTables &t = cluster_candidate_tables();
            const std::vector<float> factors(t.factors16, t.factors16 + t.factor_count);
            for (uint32_t seed = 0; seed < 4; ++seed) {
                const ClusterSums sums = block_sums(n, seed);
                ClusterBest got{}, want{};
                ClusterBounds got_b{0, 0, 1, 0}, want_b{0, 0, 1, 0};
                got.error = want.error = FLT_MAX;
                if (n == 16) {
                    m.f16(&got, &got_b, &sums, factors.data(), records.data(), bounds.data());
                    m.f16(&want, &want_b, &sums, t.factors16, l.records, l.bounds);
                } else {
                    m.f15(&got, &got_b, &sums, records.data(), bounds.data());
                    m.f15(&want, &want_b, &sums, l.records, l.bounds);
                }
                EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
                EXPECT_EQ(std::memcmp(&got_b, &want_b, sizeof got_b), 0);
            }
        }
    }
}

}  // namespace
