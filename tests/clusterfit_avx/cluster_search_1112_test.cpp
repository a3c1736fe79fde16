// Search members for 11 and 12 colours: the range numbering they are written against,
// the fixed data they use in place of table entries, and what the end-point clamps do
// with NaN and signed zeros.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

const ClusterCandidateList &list(ClusterArray array, uint32_t n) { return cluster_candidate_tables().lists[array][n]; }

// Ranges written inclusively, [i..j] = colours i to j: position q among all ranges, the
// whole range [0..n-1] owning no records, so records 3p .. 3p + 2 with p = q + 1 for
// i = 0 and p = q otherwise, and scalar entry 1 + q.
TEST(ClusterSearch1112, InclusiveRangesMapToTheSharedLayout) {
    struct Landmark {
        uint32_t n, i, first_record, first_scalar;
    };
    const Landmark landmarks[] = {
        {12, 0, 3, 1}, {12, 1, 36, 13}, {12, 2, 69, 24}, {12, 5, 150, 51}, {12, 10, 225, 76}, {12, 11, 231, 78},
        {11, 0, 3, 1}, {11, 1, 33, 12}, {11, 2, 63, 22}, {11, 5, 135, 46}, {11, 9, 189, 64},  {11, 10, 195, 66},
    };
    for (const Landmark &l : landmarks) {
        EXPECT_EQ(full_at(l.n, l.i, l.i + 1), 16u * l.first_record) << l.n << " " << l.i;
        EXPECT_EQ(cross_at(l.n, l.i, l.i + 1), cross_base(l.n) + 4u * l.first_scalar) << l.n << " " << l.i;
    }
    for (uint32_t n : {11u, 12u}) {
        const uint32_t ranges = n * (n + 1) / 2;
        for (uint32_t i = 0; i < n; ++i) {
            for (uint32_t j = i; j < n; ++j) {
                const uint32_t q = i * n - i * (i - 1) / 2 + (j - i);
                const uint32_t p = i == 0 ? q + 1 : q;
                if (!(i == 0 && j == n - 1)) {
                    ASSERT_EQ(48ull * cluster_range_entry(n, i, j + 1), 48ull * p) << n << ": " << i << ".." << j;
                }
                ASSERT_EQ(cluster_cross_base(n) + 4ull * cluster_cross_index(n, i, j + 1), 48ull * ranges + 4 * (1 + q))
                    << n << ": " << i << ".." << j;
            }
        }
    }
    EXPECT_EQ(cluster_sums_size(12), 4060u);
    EXPECT_EQ(cluster_sums_size(11), 3436u);
    EXPECT_EQ(cluster_cross_base(12), 3744u);
    EXPECT_EQ(cluster_cross_base(11), 3168u);
}

// Kind a reads only candidate 0's leading and pair-weight offsets in some passes, the
// whole range's pair weight at its place in another, and writes constant bound bytes:
// all of it must be what the shared table holds.
TEST(ClusterSearch1112, KindAPassesDeriveTheTablesEntries) {
    for (uint32_t n : {11u, 12u}) {
        const ClusterCandidateList &l = list(CLUSTER_ARRAY_A, n);
        ASSERT_EQ(l.rows, 40u);
        ASSERT_EQ(l.fields, 3u);
        for (uint32_t g = 0; g < 10; ++g) {
            const ClusterPassA &pass = kClusterPassesA[g / 2];
            const uint64_t *rec = l.records + 12 * g;
            const uint8_t *bnd = l.bounds + 12 * g;
            for (uint32_t k = 0; k < 4; ++k) {
                SCOPED_TRACE(testing::Message() << n << " colours, group " << g << ", candidate " << k);
                EXPECT_EQ(rec[0] + 48 * k, rec[3 * k]);
                const uint64_t pair = pass.pair == ClusterPairA::Step    ? rec[2] + 4 * k
                                      : pass.pair == ClusterPairA::Whole ? cluster_whole_pair_weight(n)
                                                                         : rec[3 * k + 2];
                EXPECT_EQ(pair, rec[3 * k + 2]);
                for (int i = 0; i < 3; ++i) {
                    const ClusterByteA from = pass.bound[i];
                    const uint32_t want = from == ClusterByteA::Zero ? 0
                                          : from == ClusterByteA::Count
                                              ? n
                                              : bnd[3 * k + int(from) - int(ClusterByteA::Table0)];
                    EXPECT_EQ(want, bnd[3 * k + i]) << "byte " << i;
                }
                // The leading run has 4 (g % 2) + k + 1 colours.
                const uint32_t t = 4 * (g % 2) + k + 1;
                EXPECT_TRUE(bnd[3 * k] == t || bnd[3 * k + 1] == t || bnd[3 * k + 2] == t);
            }
        }
    }
}

TEST(ClusterSearch1112, KindDPositionsAreTheTablesRows) {
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, 11);
    ASSERT_EQ(l.rows, 2u);
    ASSERT_EQ(l.fields, 5u);
    for (int p = 0; p < 2; ++p) {
        for (int f = 0; f < 5; ++f) { EXPECT_EQ(kClusterD11Records[p][f], l.records[5 * p + f]) << p << " " << f; }
    }
    const uint8_t bounds[6] = {9, 11, 11, 10, 11, 11};
    EXPECT_EQ(std::memcmp(l.bounds, bounds, 6), 0);
}

struct Record {
    ClusterBest best;
    ClusterBounds bounds;
};
Record start_record() {
    Record r;
    std::memset(&r, 0, sizeof r);
    r.best.error = FLT_MAX;
    r.bounds = ClusterBounds{0, 0, 1, 0};
    return r;
}

using Search = void (*)(ClusterBest *, ClusterBounds *, const ClusterSums *, const void *, const void *);

TEST(ClusterSearch1112, KindDReadsOnlyTheBoundsList) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    Sorted s;
    for (int k = 0; k < 11; ++k) {
        const float w = k == 10 ? 2.0f : 1.0f;  // 6 pixels on colour 10
        for (int c = 0; c < 3; ++c) { s.v[k][c] = w * float((k * 23 + c * 71) % 256) / 255.0f; }
        s.v[k][3] = w;
    }
    ClusterSums sums;
    cluster_prepare_count11_avx(s.v, &sums);
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, 11);
    for (Search d : {cluster_search_d_count11_avx, cluster_search_d_count11_fma}) {
        Record with = start_record(), without = start_record();
        d(&with.best, &with.bounds, &sums, l.records, l.bounds);
        d(&without.best, &without.bounds, &sums, nullptr, l.bounds);
        EXPECT_EQ(std::memcmp(&with, &without, sizeof with), 0);
        EXPECT_EQ(with.bounds.b1, 11);
    }
}

uint32_t bits_of(const float *v, int l) { return bits(v[l]); }

// Sums of colours with zero weight: every determinant is 0 and every end point NaN. The
// AVX tier clamps the start as min(a, 1), which turns NaN into 1, and the end as min(1, b),
// which keeps it; its errors are NaN, which the keep rule writes, so each group's first
// candidate replaces the last and the last group's first candidate stays. The FMA tier
// clamps both end points like the start (kind a), or the integer after the truncation,
// where NaN gives 0 (kind d); its errors are 0 and the first candidate stays.
TEST(ClusterSearch1112, NanEndPointsFollowTheClampOrder) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    struct Case {
        const char *name;
        Search search;
        ClusterArray array;
        uint32_t n;
        uint8_t bounds[3];
        float start, end;  // lanes 0..2; lane 3 is 0 but for a NaN end
        bool nan_error;
    };
    const Case cases[] = {
        {"a12 avx", cluster_search_a_count12_avx, CLUSTER_ARRAY_A, 12, {5, 12, 12}, 1.0f, NAN, true},
        {"a11 avx", cluster_search_a_count11_avx, CLUSTER_ARRAY_A, 11, {5, 11, 11}, 1.0f, NAN, true},
        {"a12 fma", cluster_search_a_count12_fma, CLUSTER_ARRAY_A, 12, {0, 0, 1}, 1.0f, 1.0f, false},
        {"a11 fma", cluster_search_a_count11_fma, CLUSTER_ARRAY_A, 11, {0, 0, 1}, 1.0f, 1.0f, false},
        {"d11 avx", cluster_search_d_count11_avx, CLUSTER_ARRAY_D, 11, {9, 11, 11}, 1.0f, NAN, true},
        {"d11 fma", cluster_search_d_count11_fma, CLUSTER_ARRAY_D, 11, {9, 11, 11}, 0.0f, 0.0f, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sorted s;  // all zero, weights too
        ClusterSums sums;
        (c.n == 12 ? cluster_prepare_count12_avx : cluster_prepare_count11_avx)(s.v, &sums);
        Record r = start_record();
        c.search(&r.best, &r.bounds, &sums, list(c.array, c.n).records, list(c.array, c.n).bounds);
        EXPECT_EQ(r.bounds.b0, c.bounds[0]);
        EXPECT_EQ(r.bounds.b1, c.bounds[1]);
        EXPECT_EQ(r.bounds.b2, c.bounds[2]);
        EXPECT_EQ(std::isnan(r.best.error), c.nan_error);
        for (int l = 0; l < 3; ++l) {
            EXPECT_EQ(bits_of(r.best.start, l), bits(c.start)) << l;
            if (std::isnan(c.end)) {
                EXPECT_TRUE(std::isnan(r.best.end[l])) << l;
            } else {
                EXPECT_EQ(bits_of(r.best.end, l), bits(c.end)) << l;
            }
        }
        EXPECT_EQ(bits_of(r.best.start, 3), 0u);
        if (!std::isnan(c.end)) { EXPECT_EQ(bits_of(r.best.end, 3), 0u); }
    }
}

// Kind d on sums whose determinant is negative (not reachable with real weights): with
// X = (2, 1, 0, 1), Y = (1, 2, 0, 1) and AB = 2 the solve gives start lanes (-0, 1, -0)
// and end lanes (1, -0, -0). The AVX start's max(., 0) makes +0 of -0, the AVX end's
// max(0, .) keeps -0; the FMA member's integer clamp gives +0.
TEST(ClusterSearch1112, SignOfZeroFollowsTheClampOrder) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    ClusterSums sums;
    std::memset(&sums, 0, sizeof sums);
    const float x[4] = {2, 1, 0, 1}, y[4] = {1, 2, 0, 1}, ab = 2;
    for (const auto &rec : kClusterD11Records) {
        std::memcpy(reinterpret_cast<uint8_t *>(sums.values) + rec[0], x, 16);  // `full` of the index-0 run
        std::memcpy(reinterpret_cast<uint8_t *>(sums.values) + rec[1], y, 16);  // `one_third` of the index-2 run
        std::memcpy(reinterpret_cast<uint8_t *>(sums.values) + rec[4], &ab, 4);
    }
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, 11);
    struct Case {
        const char *name;
        Search search;
        uint32_t end_zero;  // bits of the end's lanes 1 and 2
    };
    for (const Case &c :
         {Case{"avx", cluster_search_d_count11_avx, 0x80000000u}, Case{"fma", cluster_search_d_count11_fma, 0u}}) {
        SCOPED_TRACE(c.name);
        Record r = start_record();
        c.search(&r.best, &r.bounds, &sums, l.records, l.bounds);
        ASSERT_EQ(r.bounds.b0, 9);
        EXPECT_EQ(bits_of(r.best.start, 0), 0u);
        EXPECT_EQ(r.best.start[1], 1.0f);
        EXPECT_EQ(bits_of(r.best.start, 2), 0u);
        EXPECT_EQ(r.best.end[0], 1.0f);
        EXPECT_EQ(bits_of(r.best.end, 1), c.end_zero);
        EXPECT_EQ(bits_of(r.best.end, 2), c.end_zero);
        EXPECT_EQ(bits_of(r.best.end, 3), 0u);
    }
}

// The split search on n colours: colour 0 alone, the rest white, unit weights, so the
// split (1, 1, 1) wins with colour 0 as its start. A red of the float nearest 14.5/31
// gives 14.5 times 31: code 14 at the AVX tier, 15 at the AVX+FMA tier.
TEST(ClusterSearch1112, HalfStepSnapsByTier) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const float red = 14.5f / 31.0f;
    ASSERT_EQ(red * 31.0f, 14.5f);
    using SearchE = void (*)(ClusterBest *, ClusterBounds *, const ClusterSums *);
    struct Case {
        uint32_t n;
        SearchE search;
        int code;
    };
    const Case cases[] = {{12, cluster_search_e_count12_avx, 14},
                          {12, cluster_search_e_count12_fma, 15},
                          {11, cluster_search_e_count11_avx, 14},
                          {11, cluster_search_e_count11_fma, 15}};
    for (const Case &c : cases) {
        Sorted s;
        for (uint32_t k = 0; k < c.n; ++k) {
            for (int ch = 0; ch < 3; ++ch) { s.v[k][ch] = k == 0 ? (ch == 0 ? red : 0.0f) : 1.0f; }
            s.v[k][3] = 1.0f;
        }
        ClusterSums sums;
        (c.n == 12 ? cluster_prepare_count12_avx : cluster_prepare_count11_avx)(s.v, &sums);
        Record r = start_record();
        c.search(&r.best, &r.bounds, &sums);
        EXPECT_EQ(r.bounds.b0, 1) << c.n;
        EXPECT_EQ(r.best.start[0], float(c.code) * (1.0f / 31.0f)) << c.n << " code " << c.code;
        EXPECT_EQ(r.best.end[0], 1.0f);
    }
}

// After set-up every search entry of 11 and 12 colours holds a member of the tier.
TEST(ClusterSearch1112, SetUpStoresTheMembersOfItsTier) {
    struct Case {
        uint32_t mask;
        bool fma;
    };
    for (const Case &c : {Case{0x28, false}, Case{0x68, true}}) {
        if (!has_avx() || (c.fma && !has_fma())) { continue; }
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << c.mask);
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, c.mask), 0);
        const DxtEncOps &o = ctx.ops;
        EXPECT_EQ(o.cluster_search_e[9], c.fma ? cluster_search_e_count11_fma : cluster_search_e_count11_avx);
        EXPECT_EQ(o.cluster_search_e[10], c.fma ? cluster_search_e_count12_fma : cluster_search_e_count12_avx);
        EXPECT_EQ(o.cluster_search_a[9], c.fma ? cluster_search_a_count11_fma : cluster_search_a_count11_avx);
        EXPECT_EQ(o.cluster_search_a[10], c.fma ? cluster_search_a_count12_fma : cluster_search_a_count12_avx);
        EXPECT_EQ(o.cluster_search_b[9], c.fma ? cluster_search_b_count11_fma : cluster_search_b_count11_avx);
        EXPECT_EQ(o.cluster_search_b[10], c.fma ? cluster_search_b_count12_fma : cluster_search_b_count12_avx);
        EXPECT_EQ(o.cluster_search_c[9], c.fma ? cluster_search_c_count11_fma : cluster_search_c_count11_avx);
        EXPECT_EQ(o.cluster_search_c[10], c.fma ? cluster_search_c_count12_fma : cluster_search_c_count12_avx);
        EXPECT_EQ(o.cluster_search_d[9], c.fma ? cluster_search_d_count11_fma : cluster_search_d_count11_avx);
        EXPECT_EQ(o.cluster_prepare[9], cluster_prepare_count11_avx);
        EXPECT_EQ(o.cluster_prepare[10], cluster_prepare_count12_avx);
    }
}

// Kinds b and c walk their sections group by group: together the sections take every row
// of the table once, with the table's number of offsets per candidate.
TEST(ClusterSearch1112, SectionsWalkEveryRowOfTheTables) {
    struct Case {
        ClusterArray array;
        uint32_t n;
        const ClusterSectionBC *sections;
        size_t count;
        uint32_t rows;
    };
    const Case cases[] = {
        {CLUSTER_ARRAY_B, 12, kClusterB12, std::size(kClusterB12), 208},
        {CLUSTER_ARRAY_B, 11, kClusterB11, std::size(kClusterB11), 176},
        {CLUSTER_ARRAY_C, 12, kClusterC12, std::size(kClusterC12), 192},
        {CLUSTER_ARRAY_C, 11, kClusterC11, std::size(kClusterC11), 132},
    };
    for (const Case &c : cases) {
        const ClusterCandidateList &l = list(c.array, c.n);
        uint32_t rows = 0;
        for (size_t i = 0; i < c.count; ++i) {
            EXPECT_EQ(c.sections[i].fields, l.fields) << c.n << " section " << i;
            rows += 4u * c.sections[i].groups;
        }
        EXPECT_EQ(rows, c.rows) << c.n;
        EXPECT_EQ(l.rows, c.rows) << c.n;
    }
}

// The splits of kind e and the rows of kinds a to d name every partition with at least two
// non-empty runs once: 451 for 12 colours, 360 for 11.
TEST(ClusterSearch1112, KindsTogetherTryEveryPartitionOnce) {
    for (uint32_t n : {11u, 12u}) {
        std::vector<int> seen((n + 1) * (n + 1) * (n + 1), 0);
        auto mark = [&](uint32_t b0, uint32_t b1, uint32_t b2) { ++seen[(b0 * (n + 1) + b1) * (n + 1) + b2]; };
        for (uint32_t k = 1; k < n; ++k) { mark(k, k, k); }
        uint32_t total = n - 1;
        for (ClusterArray array : {CLUSTER_ARRAY_A, CLUSTER_ARRAY_B, CLUSTER_ARRAY_C, CLUSTER_ARRAY_D}) {
            const ClusterCandidateList &l = list(array, n);
            for (uint32_t r = 0; r < l.rows; ++r) { mark(l.bounds[3 * r], l.bounds[3 * r + 1], l.bounds[3 * r + 2]); }
            total += l.rows;
        }
        EXPECT_EQ(total, n == 12 ? 451u : 360u);
        for (uint32_t b0 = 0; b0 <= n; ++b0) {
            for (uint32_t b1 = b0; b1 <= n; ++b1) {
                for (uint32_t b2 = b1; b2 <= n; ++b2) {
                    const uint32_t runs = (b0 > 0) + (b1 > b0) + (b2 > b1) + (n > b2);
                    EXPECT_EQ(seen[(b0 * (n + 1) + b1) * (n + 1) + b2], runs >= 2 ? 1 : 0)
                        << n << ": (" << b0 << "," << b1 << "," << b2 << ")";
                }
            }
        }
    }
}

// Every table member of 11 and 12 colours on range sums that lie 16 bytes past a 32-byte
// boundary and on tables copied into buffers of exactly their rows (the shared lists
// carry zero triples after their rows; AddressSanitizer catches a read past the copies).
TEST(ClusterSearch1112, SixteenByteAlignedSumsAndExactlySizedTables) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    struct Case {
        const char *name;
        Search search;
        ClusterArray array;
        uint32_t n;
    };
    const Case cases[] = {
        {"a12 avx", cluster_search_a_count12_avx, CLUSTER_ARRAY_A, 12},
        {"a12 fma", cluster_search_a_count12_fma, CLUSTER_ARRAY_A, 12},
        {"b12 avx", cluster_search_b_count12_avx, CLUSTER_ARRAY_B, 12},
        {"b12 fma", cluster_search_b_count12_fma, CLUSTER_ARRAY_B, 12},
        {"c12 avx", cluster_search_c_count12_avx, CLUSTER_ARRAY_C, 12},
        {"c12 fma", cluster_search_c_count12_fma, CLUSTER_ARRAY_C, 12},
        {"a11 avx", cluster_search_a_count11_avx, CLUSTER_ARRAY_A, 11},
        {"a11 fma", cluster_search_a_count11_fma, CLUSTER_ARRAY_A, 11},
        {"b11 avx", cluster_search_b_count11_avx, CLUSTER_ARRAY_B, 11},
        {"b11 fma", cluster_search_b_count11_fma, CLUSTER_ARRAY_B, 11},
        {"c11 avx", cluster_search_c_count11_avx, CLUSTER_ARRAY_C, 11},
        {"c11 fma", cluster_search_c_count11_fma, CLUSTER_ARRAY_C, 11},
        {"d11 avx", cluster_search_d_count11_avx, CLUSTER_ARRAY_D, 11},
        {"d11 fma", cluster_search_d_count11_fma, CLUSTER_ARRAY_D, 11},
    };
    std::mt19937 rng(5);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ClusterCandidateList &l = list(c.array, c.n);
        const std::vector<uint64_t> records(l.records, l.records + size_t(l.rows) * l.fields);
        const std::vector<uint8_t> bounds(l.bounds, l.bounds + 3 * size_t(l.rows));
        for (int trial = 0; trial < 20; ++trial) {
            Sorted s;
            for (uint32_t k = 0; k < c.n; ++k) {
                const float w = std::sqrt(float(1 + rng() % 3));
                for (int ch = 0; ch < 3; ++ch) { s.v[k][ch] = w * float(rng() % 256) / 255.0f; }
                s.v[k][3] = w;
            }
            ClusterSums sums;
            (c.n == 12 ? cluster_prepare_count12_avx : cluster_prepare_count11_avx)(s.v, &sums);
            alignas(32) static uint8_t shifted[sizeof(ClusterSums) + 32];
            std::memcpy(shifted + 16, &sums, cluster_sums_size(c.n));
            const ClusterSums *moved = reinterpret_cast<const ClusterSums *>(shifted + 16);
            Record want = start_record(), got = start_record();
            c.search(&want.best, &want.bounds, &sums, l.records, l.bounds);
            c.search(&got.best, &got.bounds, moved, records.data(), bounds.data());
            ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "trial " << trial;
        }
    }
}

}  // namespace
