// Kinds a, b and c for 13 to 16 colours at the AVX tiers: the constant bound bytes of
// their walk equal the shared tables, the rows the kernels rely on hold, and no member
// reads past the last row of its tables.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_runs_plan.h"
#include "texenc/dxtenc.h"

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
    plan("a16", CLUSTER_ARRAY_A, 16, kRunPlanA16), plan("a15", CLUSTER_ARRAY_A, 15, kRunPlanA15),
    plan("b16", CLUSTER_ARRAY_B, 16, kRunPlanB16), plan("b15", CLUSTER_ARRAY_B, 15, kRunPlanB15),
    plan("a14", CLUSTER_ARRAY_A, 14, kRunPlanA14), plan("a13", CLUSTER_ARRAY_A, 13, kRunPlanA13),
    plan("b14", CLUSTER_ARRAY_B, 14, kRunPlanB14), plan("b13", CLUSTER_ARRAY_B, 13, kRunPlanB13),
    plan("c14", CLUSTER_ARRAY_C, 14, kRunPlanC14), plan("c13", CLUSTER_ARRAY_C, 13, kRunPlanC13),
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
        {kRunPlanA15[4], -1, 15, 15}, {kRunPlanB16[0], -1, -1, -1}, {kRunPlanB16[4], 0, -1, -1},
        {kRunPlanB16[6], -1, -1, 16}, {kRunPlanB15[4], 0, -1, -1},  {kRunPlanB15[6], -1, -1, 15},
        {kRunPlanC16[2], -1, -1, 15}, {kRunPlanC15[2], -1, -1, 14}, {kRunPlanA14[2], 0, -1, 14},
        {kRunPlanA14[4], -1, 14, 14}, {kRunPlanA13[0], 0, 0, -1},   {kRunPlanA13[2], 0, -1, 13},
        {kRunPlanA13[4], -1, 13, 13}, {kRunPlanB14[4], 0, -1, -1},  {kRunPlanB14[6], -1, -1, 14},
        {kRunPlanB13[4], 0, -1, -1},  {kRunPlanB13[6], -1, -1, 13}, {kRunPlanC14[2], -1, -1, 13},
        {kRunPlanC13[2], -1, -1, 12},
    };
    for (const Fixed &f : fixed) {
        EXPECT_EQ(f.seg.fixed[0], f.b0);
        EXPECT_EQ(f.seg.fixed[1], f.b1);
        EXPECT_EQ(f.seg.fixed[2], f.b2);
    }
}

// The factor table holds one value per distinct key, in order of first use over the
// lists a, b, c and d; a row's factor lies at the byte offset of its key there.
struct RunFactorKeys16 {
    int64_t key[1024] = {};
    uint32_t count = 0;
};
constexpr RunFactorKeys16 kRunFactorKeys16 = [] {
    RunFactorKeys16 k;
    auto note = [&k](ClusterRow r) {
        const int64_t d = run_factor_key16(r);
        for (uint32_t i = 0; i < k.count; ++i) {
            if (k.key[i] == d) { return; }
        }
        k.key[k.count++] = d;
    };
    run_rows('a', 16, 0, run_list_rows('a', 16), note);
    run_rows('b', 16, 0, run_list_rows('b', 16), note);
    run_rows('c', 16, 0, run_list_rows('c', 16), note);
    cluster_for_rows(kClusterRowsD[16], 0, kClusterDRows[16], note);
    return k;
}();
constexpr uint64_t run_factor_offset16(ClusterRow r) {
    const int64_t d = run_factor_key16(r);
    uint32_t i = 0;
    while (kRunFactorKeys16.key[i] != d) { ++i; }
    return 4ull * i;
}

// The kernels take every offset, the rows' bound bytes and the 16-colour factors from
// what is derived when compiling; it must be what the built tables hold, row by row.
template <char Kind, uint32_t N, size_t S>
void expect_compiled_rows(ClusterArray array, const std::array<RunSegment, S> &plan) {
    SCOPED_TRACE(testing::Message() << Kind << N);
    const ClusterCandidateList &l = list(array, N);
    const ClusterCandidateTables &t = cluster_candidate_tables();
    const auto &rows = kRunRows<Kind, N>;
    ASSERT_EQ(rows.size(), l.rows);
    for (uint32_t r = 0; r < l.rows; ++r) {
        const ClusterRow row = rows[r];
        EXPECT_EQ(l.bounds[3 * r], row.b0) << "row " << r;
        EXPECT_EQ(l.bounds[3 * r + 1], row.b1) << "row " << r;
        EXPECT_EQ(l.bounds[3 * r + 2], row.b2) << "row " << r;
        const RunShape shape = plan[run_plan_segment(plan, r)].shape;
        const RunRowFields f = run_row_fields(N, shape, row);
        for (uint32_t k = 0; k < run_shape_fields(shape); ++k) {
            EXPECT_EQ(f.at[k], l.records[r * l.fields + k]) << "row " << r << " field " << k;
        }
        if constexpr (N == 16) {
            const uint64_t at = l.records[r * l.fields + l.fields - 1];
            EXPECT_EQ(run_factor_offset16(row), at) << "row " << r;
            EXPECT_EQ(bits(kRunFactors16<Kind>.value[r]), bits(t.factors16[at / 4])) << "row " << r;
        }
    }
}

TEST(ClusterRunsPlan, RowsOffsetsAndFactorsKnownWhenCompilingAreTheTables) {
    expect_compiled_rows<'a', 16>(CLUSTER_ARRAY_A, kRunPlanA16);
    expect_compiled_rows<'b', 16>(CLUSTER_ARRAY_B, kRunPlanB16);
    expect_compiled_rows<'c', 16>(CLUSTER_ARRAY_C, kRunPlanC16);
    expect_compiled_rows<'a', 15>(CLUSTER_ARRAY_A, kRunPlanA15);
    expect_compiled_rows<'b', 15>(CLUSTER_ARRAY_B, kRunPlanB15);
    expect_compiled_rows<'c', 15>(CLUSTER_ARRAY_C, kRunPlanC15);
    expect_compiled_rows<'a', 14>(CLUSTER_ARRAY_A, kRunPlanA14);
    expect_compiled_rows<'b', 14>(CLUSTER_ARRAY_B, kRunPlanB14);
    expect_compiled_rows<'c', 14>(CLUSTER_ARRAY_C, kRunPlanC14);
    expect_compiled_rows<'a', 13>(CLUSTER_ARRAY_A, kRunPlanA13);
    expect_compiled_rows<'b', 13>(CLUSTER_ARRAY_B, kRunPlanB13);
    expect_compiled_rows<'c', 13>(CLUSTER_ARRAY_C, kRunPlanC13);
    // The padding of the factors repeats the last row's.
    EXPECT_EQ(bits(kRunFactors16<'b'>.value[415]), bits(kRunFactors16<'b'>.value[411]));
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
    // The four zero triples after the 16-colour lists of kinds a, b and c.
    for (const ClusterCandidateList *l : {&b16, &list(CLUSTER_ARRAY_A, 16), &list(CLUSTER_ARRAY_C, 16)}) {
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
    const ClusterCandidateList &c15 = list(CLUSTER_ARRAY_C, 15);
    ASSERT_EQ(c15.rows, 384u);
    ASSERT_EQ(list(CLUSTER_ARRAY_C, 16).rows, 476u);
    const struct {
        uint32_t row;
        uint8_t b[3];
        uint64_t offsets[5];
    } c15_rows[] = {{0, {0, 0, 13}, {0, 16, 640, 5664, 5812}},
                    {20, {1, 2, 3}, {48, 736, 1408, 2544, 5828}},
                    {264, {1, 11, 14}, {48, 1168, 5392, 5712, 5872}},
                    {382, {9, 14, 15}, {432, 4960, 5728, 0, 6180}},
                    {383, {11, 14, 15}, {}}};
    for (const auto &r : c15_rows) {
        EXPECT_EQ(std::memcmp(c15.bounds + 3 * r.row, r.b, 3), 0) << "row " << r.row;
        for (int f = 0; f < 5 && r.offsets[1] != 0; ++f) {
            EXPECT_EQ(c15.records[5 * r.row + f], r.offsets[f]) << "row " << r.row;
        }
    }
    // (1, 2, 3) at 16 colours: run sizes 1, 1, 1, 13, factor 9/188.
    const ClusterCandidateList &c16 = list(CLUSTER_ARRAY_C, 16);
    EXPECT_EQ(std::memcmp(c16.bounds + 3 * 20, "\x01\x02\x03", 3), 0);
    EXPECT_EQ(cluster_candidate_tables().factors16[c16.records[6 * 20 + 5] / 4], 0.047872342f);
    // (0, 0, 13) at 16 colours: factor 3/13.
    EXPECT_EQ(cluster_candidate_tables().factors16[c16.records[5] / 4], 0.23076923f);
    // Family 1, k = 1 at 16 colours: one colour at index 3, fifteen at index 1, factor 0.6.
    EXPECT_EQ(cluster_candidate_tables().factors16[a16.records[3] / 4], 0.6f);
}

TEST(ClusterRunsPlan, NamedRowsOfThirteenAndFourteenColours) {
    struct Row {
        uint32_t n;
        ClusterArray array;
        uint32_t row;
        uint8_t b[3];
        std::vector<uint64_t> offsets;
    };
    const Row rows[] = {
        // Kind a: placement 1, k = 1 and 12; placement 3, k = 1; placement 4, k = 1; placement 5, k = 12.
        {13, CLUSTER_ARRAY_A, 0, {0, 0, 1}, {64, 1152, 4372}},
        {13, CLUSTER_ARRAY_A, 11, {0, 0, 12}, {592, 4320, 4416}},
        {13, CLUSTER_ARRAY_A, 24, {0, 1, 13}, {64, 1168, 4420}},
        {13, CLUSTER_ARRAY_A, 36, {1, 1, 13}, {48, 1168, 4468}},
        {13, CLUSTER_ARRAY_A, 59, {12, 13, 13}, {576, 4336, 4732}},
        {14, CLUSTER_ARRAY_A, 0, {0, 0, 1}, {64, 1248, 5044}},
        {14, CLUSTER_ARRAY_A, 11, {0, 0, 12}, {592, 4944, 5088}},
        {14, CLUSTER_ARRAY_A, 24, {0, 1, 14}, {64, 1264, 5096}},
        {14, CLUSTER_ARRAY_A, 36, {1, 1, 14}, {48, 1264, 5148}},
        {14, CLUSTER_ARRAY_A, 59, {12, 14, 14}, {576, 4960, 5456}},
        // Kind b of 14 colours: the first row of each shape block and the two-run splits at 13.
        {14, CLUSTER_ARRAY_B, 0, {1, 1, 2}, {48, 688, 1824, 5100}},
        {14, CLUSTER_ARRAY_B, 72, {0, 0, 13}, {0, 640, 4992, 5092}},
        {14, CLUSTER_ARRAY_B, 73, {13, 13, 14}, {624, 5008, 0, 5460}},
        {14, CLUSTER_ARRAY_B, 80, {1, 2, 2}, {48, 688, 1824, 5100}},
        {14, CLUSTER_ARRAY_B, 152, {0, 13, 13}, {0, 640, 4992, 5092}},
        {14, CLUSTER_ARRAY_B, 153, {13, 14, 14}, {624, 5008, 0, 5460}},
        {14, CLUSTER_ARRAY_B, 160, {0, 1, 2}, {64, 688, 1824, 5048}},
        {14, CLUSTER_ARRAY_B, 232, {0, 13, 14}, {640, 5008, 0, 5096}},
        {14, CLUSTER_ARRAY_B, 236, {1, 2, 14}, {48, 688, 1840, 5148}},
        // Kind c: the three-run rows come first; 14 colours repeats its last row.
        {13, CLUSTER_ARRAY_C, 0, {9, 9, 12}, {}},
        {13, CLUSTER_ARRAY_C, 7, {11, 12, 13}, {}},
        {13, CLUSTER_ARRAY_C, 8, {1, 2, 3}, {}},
        {13, CLUSTER_ARRAY_C, 227, {9, 10, 12}, {}},
        {14, CLUSTER_ARRAY_C, 0, {0, 8, 13}, {}},
        {14, CLUSTER_ARRAY_C, 3, {12, 13, 14}, {}},
        {14, CLUSTER_ARRAY_C, 290, {10, 11, 13}, {}},
        {14, CLUSTER_ARRAY_C, 291, {10, 11, 13}, {}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.n << " colours, array " << r.array << ", row " << r.row);
        const ClusterCandidateList &l = list(r.array, r.n);
        ASSERT_LT(r.row, l.rows);
        EXPECT_EQ(std::memcmp(l.bounds + 3 * r.row, r.b, 3), 0);
        for (size_t f = 0; f < r.offsets.size(); ++f) { EXPECT_EQ(l.records[l.fields * r.row + f], r.offsets[f]) << f; }
    }
    EXPECT_EQ(list(CLUSTER_ARRAY_B, 13).rows, 256u);
    EXPECT_EQ(list(CLUSTER_ARRAY_B, 14).rows, 312u);
    EXPECT_EQ(list(CLUSTER_ARRAY_C, 13).rows, 228u);
    const ClusterCandidateList &c14 = list(CLUSTER_ARRAY_C, 14);
    ASSERT_EQ(c14.rows, 292u);
    EXPECT_EQ(std::memcmp(c14.records + 5 * 290, c14.records + 5 * 291, 5 * sizeof(uint64_t)), 0);
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
    kPrepareAvx[n](s.v, &sums);
    return sums;
}

struct Runs {
    const char *name;
    ClusterArray array;
    DxtClusterSearchFn f13, f14, f15;
    DxtClusterSearch16Fn f16;
    bool fma;
};
#define RUNS_ROW(kind, KIND, tier)                                                          \
    {                                                                                       \
#kind " " #tier, CLUSTER_ARRAY_##KIND, cluster_search_##kind##_count13_##tier,      \
            cluster_search_##kind##_count14_##tier, cluster_search_##kind##_count15_##tier, \
            cluster_search_##kind##_count16_##tier, #tier[0] == 'f'                         \
    }
const Runs kRuns[] = {RUNS_ROW(a, A, avx), RUNS_ROW(a, A, fma), RUNS_ROW(b, B, avx),
                      RUNS_ROW(b, B, fma), RUNS_ROW(c, C, avx), RUNS_ROW(c, C, fma)};
#undef RUNS_ROW

// Under AddressSanitizer a read past the last row of the exactly sized copies fails.
TEST(ClusterRunsMembers, ReadNothingPastTheLastRow) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    for (const Runs &m : kRuns) {
        for (uint32_t n : {13u, 14u, 15u, 16u}) {
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
                    const DxtClusterSearchFn f = n == 13 ? m.f13 : n == 14 ? m.f14 : m.f15;
                    f(&got, &got_b, &sums, records.data(), bounds.data());
                    f(&want, &want_b, &sums, l.records, l.bounds);
                }
                EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
                EXPECT_EQ(std::memcmp(&got_b, &want_b, sizeof got_b), 0);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// The search entries of every count, wrapped to record the partitions each call is
// handed: kind e its splits (k, k, k), the others every row of the tables they are given.

DxtEncOps g_inner;
std::vector<std::array<uint8_t, 3>> g_seen;

void note_splits(uint32_t n) {
    for (uint32_t k = 1; k < n; ++k) { g_seen.push_back({uint8_t(k), uint8_t(k), uint8_t(k)}); }
}
void note_rows(uint32_t n, const void *bounds_list) {
    for (uint32_t a = 0; a < 4; ++a) {
        const ClusterCandidateList &l = list(ClusterArray(a), n);
        if (l.bounds != bounds_list) { continue; }
        for (uint32_t r = 0; r < l.rows; ++r) {
            g_seen.push_back({l.bounds[3 * r], l.bounds[3 * r + 1], l.bounds[3 * r + 2]});
        }
        return;
    }
    ADD_FAILURE() << "a search entry was handed tables of another count";
}
template <uint32_t N>
void e_of(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    note_splits(N);
    g_inner.cluster_search_e[N - 2](b, o, s);
}
void e16(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    note_splits(16);
    g_inner.cluster_search_e16(b, o, s);
}
template <uint32_t N, int A>
void list_of(ClusterBest *b, ClusterBounds *o, const ClusterSums *s, const void *r, const void *l) {
    note_rows(N, l);
    DxtClusterSearchFn const *entries[4] = {g_inner.cluster_search_a, g_inner.cluster_search_b,
                                            g_inner.cluster_search_c, g_inner.cluster_search_d};
    entries[A][N - 2](b, o, s, r, l);
}
// Wraps the filled search entries of N colours.
template <uint32_t N>
void wrap_count(DxtEncOps &ops) {
    if (ops.cluster_search_e[N - 2]) { ops.cluster_search_e[N - 2] = e_of<N>; }
    DxtClusterSearchFn *entries[4] = {ops.cluster_search_a, ops.cluster_search_b, ops.cluster_search_c,
                                      ops.cluster_search_d};
    const DxtClusterSearchFn wrapped[4] = {list_of<N, 0>, list_of<N, 1>, list_of<N, 2>, list_of<N, 3>};
    for (int a = 0; a < 4; ++a) {
        if (entries[a][N - 2]) { entries[a][N - 2] = wrapped[a]; }
    }
}
template <uint32_t... N>
void wrap_counts(DxtEncOps &ops, std::integer_sequence<uint32_t, N...>) {
    (wrap_count<N + 2>(ops), ...);
}
template <int A>
void list16_of(ClusterBest *b, ClusterBounds *o, const ClusterSums *s, const void *f, const void *r, const void *l) {
    note_rows(16, l);
    DxtClusterSearch16Fn const entries[4] = {g_inner.cluster_search_a16, g_inner.cluster_search_b16,
                                             g_inner.cluster_search_c16, g_inner.cluster_search_d16};
    entries[A](b, o, s, f, r, l);
}

// Sorted distinct triples of one driver run per count, and how many were handed in all.
std::vector<std::array<uint8_t, 3>> driver_triples(uint32_t mask, uint32_t n, size_t *handed) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    EXPECT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, mask), 0);
    g_inner = ctx.ops;
    DxtEncOps ops = ctx.ops;
    wrap_counts(ops, std::make_integer_sequence<uint32_t, 14>());  // 2 to 15 colours
    ops.cluster_search_e16 = e16;
    ops.cluster_search_a16 = list16_of<0>;
    ops.cluster_search_b16 = list16_of<1>;
    ops.cluster_search_c16 = list16_of<2>;
    ops.cluster_search_d16 = list16_of<3>;
    DxtColorSet set;
    std::memset(&set, 0, sizeof set);
    set.count = n;
    for (uint32_t k = 0; k < n; ++k) {
        set.colors[k][0] = float(k * 16) / 255.0f;
        set.colors[k][1] = float(255 - k * 9) / 255.0f;
        set.colors[k][2] = float((k * 37) % 256) / 255.0f;
        set.weights[k] = k == 0 && n == 15 ? 1.4142135f : 1.0f;
    }
    for (int p = 0; p < 16; ++p) { set.map[p] = int32_t(uint32_t(p) < n ? uint32_t(p) : 0); }
    g_seen.clear();
    uint8_t out[8];
    cluster_fit_colors(set, out, n, ops);
    std::vector<std::array<uint8_t, 3>> seen = g_seen;
    std::sort(seen.begin(), seen.end());
    *handed = seen.size();
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    return seen;
}

// 2 to 7 colours: per block the driver hands each faster tier's kernels every partition
// the baseline tries (the 6-colour kind-c list ends on (2, 3, 5) twice).
TEST(ClusterRunsMembers, TwoToSevenColoursTryTheBaselinesPartitions) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const size_t distinct[8] = {0, 0, 6, 16, 31, 52, 80, 116};
    for (uint32_t n = 2; n <= 7; ++n) {
        size_t handed_base = 0;
        const auto base = driver_triples(0x00, n, &handed_base);
        EXPECT_EQ(base.size(), distinct[n]) << n << " colours";
        EXPECT_EQ(handed_base, distinct[n] + (n == 6 ? 1 : 0)) << n << " colours";
        for (uint32_t mask : {0x28u, 0x68u}) {
            SCOPED_TRACE(testing::Message() << n << " colours, mask 0x" << std::hex << mask);
            size_t handed_tier = 0;
            EXPECT_EQ(driver_triples(mask, n, &handed_tier), base);
            EXPECT_EQ(handed_tier, handed_base);
        }
    }
}

TEST(ClusterRunsMembers, FifteenAndSixteenColoursRunOnAvxTierMembersOnly) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, 0x68), 0);
    const DxtEncOps &o = ctx.ops;
    const DxtClusterSearchEFn e[2] = {o.cluster_search_e[13], o.cluster_search_e16};
    const DxtClusterSearchFn listed15[4] = {o.cluster_search_a[13], o.cluster_search_b[13], o.cluster_search_c[13],
                                            o.cluster_search_d[13]};
    const DxtClusterSearch16Fn listed16[4] = {o.cluster_search_a16, o.cluster_search_b16, o.cluster_search_c16,
                                              o.cluster_search_d16};
    EXPECT_EQ(e[0], cluster_search_e_count15_fma);
    EXPECT_EQ(e[1], cluster_search_e_count16_fma);
    const DxtClusterSearchFn fma15[4] = {cluster_search_a_count15_fma, cluster_search_b_count15_fma,
                                         cluster_search_c_count15_fma, cluster_search_d_count15_fma};
    const DxtClusterSearch16Fn fma16[4] = {cluster_search_a_count16_fma, cluster_search_b_count16_fma,
                                           cluster_search_c_count16_fma, cluster_search_d_count16_fma};
    for (int a = 0; a < 4; ++a) {
        EXPECT_EQ(listed15[a], fma15[a]) << "kind " << char('a' + a);
        EXPECT_EQ(listed16[a], fma16[a]) << "kind " << char('a' + a);
    }
    for (uint32_t n : {15u, 16u}) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        size_t handed_tier = 0, handed_base = 0;
        const auto tier = driver_triples(0x68, n, &handed_tier);
        const auto base = driver_triples(0x00, n, &handed_base);
        EXPECT_EQ(tier.size(), n == 16 ? 965u : 812u);
        EXPECT_EQ(tier, base);
        EXPECT_EQ(handed_tier, tier.size());
        EXPECT_EQ(handed_base, base.size());
    }
}

TEST(ClusterRunsMembers, ThirteenAndFourteenColoursRunOnAvxTierMembersOnly) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    DxtEncContext tier_ctx, base_ctx;
    std::memset(&tier_ctx, 0, sizeof tier_ctx);
    std::memset(&base_ctx, 0, sizeof base_ctx);
    ASSERT_EQ(dxtenc_init(&tier_ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, 0x68), 0);
    ASSERT_EQ(dxtenc_init(&base_ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, 0x00), 0);
    const DxtEncOps &o = tier_ctx.ops, &base = base_ctx.ops;
    const DxtClusterSearchEFn e[2] = {cluster_search_e_count13_fma, cluster_search_e_count14_fma};
    const DxtClusterSearchFn fma[2][3] = {
        {cluster_search_a_count13_fma, cluster_search_b_count13_fma, cluster_search_c_count13_fma},
        {cluster_search_a_count14_fma, cluster_search_b_count14_fma, cluster_search_c_count14_fma}};
    for (uint32_t n : {13u, 14u}) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        EXPECT_EQ(o.cluster_search_e[n - 2], e[n - 13]);
        EXPECT_NE(o.cluster_search_e[n - 2], base.cluster_search_e[n - 2]);
        const DxtClusterSearchFn *entries[4] = {o.cluster_search_a, o.cluster_search_b, o.cluster_search_c,
                                                o.cluster_search_d};
        const DxtClusterSearchFn *base_entries[4] = {base.cluster_search_a, base.cluster_search_b,
                                                     base.cluster_search_c, base.cluster_search_d};
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(entries[a][n - 2], fma[n - 13][a]) << "kind " << char('a' + a);
            EXPECT_NE(entries[a][n - 2], base_entries[a][n - 2]) << "kind " << char('a' + a);
        }
        EXPECT_EQ(entries[3][n - 2], nullptr);
        EXPECT_EQ(base_entries[3][n - 2], nullptr);

        size_t handed_tier = 0, handed_base = 0;
        const auto tier = driver_triples(0x68, n, &handed_tier);
        const auto base_triples = driver_triples(0x00, n, &handed_base);
        EXPECT_EQ(tier.size(), n == 14 ? 676u : 556u);
        EXPECT_EQ(tier, base_triples);
        // 14 colours: the last kind-c row (10, 11, 13) comes twice.
        EXPECT_EQ(handed_tier, tier.size() + (n == 14 ? 1 : 0));
        EXPECT_EQ(handed_base, handed_tier);
    }
}

// 8 to 10 colours: per block the driver hands the tier's kernels every partition the
// baseline tries, each once.
TEST(ClusterRunsMembers, EightToTenColoursTryTheBaselinesPartitions) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const std::pair<uint32_t, size_t> counts[] = {{8, 161}, {9, 216}, {10, 282}};
    for (const auto &[n, distinct] : counts) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        size_t handed_tier = 0, handed_base = 0;
        const auto tier = driver_triples(0x68, n, &handed_tier);
        const auto base = driver_triples(0x00, n, &handed_base);
        EXPECT_EQ(tier.size(), distinct);
        EXPECT_EQ(tier, base);
        EXPECT_EQ(handed_tier, distinct);
        EXPECT_EQ(handed_base, distinct);
    }
}

}  // namespace
