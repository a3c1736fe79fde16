// Search members for 2 to 7 colours: the places and bound bytes compiled into them, the
// candidate lists, the set-up, what the tiers do with a half step of the grid, and exact
// fits through the whole encoder.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_few_plan.h"
#include "texenc/clusterfit_avx/cluster_search_few.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

const ClusterCandidateList &list(ClusterArray array, uint32_t n) { return cluster_candidate_tables().lists[array][n]; }

std::string triples(const uint8_t *b, uint32_t rows) {
    std::string s;
    for (uint32_t r = 0; r < rows; ++r) {
        for (int i = 0; i < 3; ++i) { s += char('0' + b[3 * r + i]); }
        s += r + 1 < rows ? " " : "";
    }
    return s;
}

// The lists of 2 to 4 colours, where arrays a and b do not exist.
TEST(ClusterSearchFew, ListsOfTwoToFourColours) {
    struct Case {
        ClusterArray array;
        uint32_t n;
        const char *rows;
    };
    const Case cases[] = {
        {CLUSTER_ARRAY_C, 2, "001 112 011 122"},
        {CLUSTER_ARRAY_D, 2, "012 111"},
        {CLUSTER_ARRAY_C, 3, "001 002 011 022 013 023 113 223 112 122 012 123"},
        {CLUSTER_ARRAY_D, 3, "133 233"},
        {CLUSTER_ARRAY_C, 4,
         "001 002 011 022 014 024 114 224 144 244 112 113 122 133 012 013 124 134 003 334 033 344 034 023 223 123 "
         "233 234"},
    };
    for (const Case &c : cases) {
        const ClusterCandidateList &l = list(c.array, c.n);
        EXPECT_EQ(triples(l.bounds, l.rows), c.rows) << "array " << int(c.array) << ", " << c.n << " colours";
    }
    // With the splits, every candidate but the four of one cluster, once.
    for (uint32_t n = 2; n <= 4; ++n) {
        std::vector<int> seen(125, 0);
        for (uint32_t k = 1; n > 2 && k < n; ++k) { ++seen[k * 25 + k * 5 + k]; }
        for (ClusterArray a : {CLUSTER_ARRAY_C, CLUSTER_ARRAY_D}) {
            const ClusterCandidateList &l = list(a, n);
            for (uint32_t r = 0; r < l.rows; ++r) {
                ++seen[l.bounds[3 * r] * 25 + l.bounds[3 * r + 1] * 5 + l.bounds[3 * r + 2]];
            }
        }
        int candidates = 0;
        for (uint32_t b0 = 0; b0 <= n; ++b0) {
            for (uint32_t b1 = b0; b1 <= n; ++b1) {
                for (uint32_t b2 = b1; b2 <= n; ++b2) {
                    const bool one_cluster =
                        (b0 == b2 && (b0 == 0 || b0 == n)) || (b0 == 0 && b1 == n) || (b0 == 0 && b1 == 0 && b2 == n);
                    EXPECT_EQ(seen[b0 * 25 + b1 * 5 + b2], one_cluster ? 0 : 1) << n << ": " << b0 << b1 << b2;
                    candidates += !one_cluster;
                }
            }
        }
        EXPECT_EQ(candidates, n == 2 ? 6 : n == 3 ? 16 : 31);
    }
}

// The places compiled into the members are those the table's records name, and every
// bound byte written as a constant, or copied from another byte, is the entry's own.
template <char Kind, uint32_t N>
void expect_plan_is_table(ClusterArray array) {
    SCOPED_TRACE(testing::Message() << "kind " << Kind << ", " << N << " colours");
    const auto &plan = kFewPlan<Kind, N>;
    const ClusterCandidateList &l = list(array, N);
    ASSERT_EQ(plan.size(), l.rows);
    for (uint32_t r = 0; r < l.rows; ++r) {
        SCOPED_TRACE(testing::Message() << "row " << r);
        const FewRow &p = plan[r];
        const uint8_t *b = l.bounds + 3 * r;
        EXPECT_EQ(p.bounds.b0, b[0]);
        EXPECT_EQ(p.bounds.b1, b[1]);
        EXPECT_EQ(p.bounds.b2, b[2]);
        const uint64_t *rec = l.records + size_t(l.fields) * r;
        const uint64_t places[4] = {p.full0, p.third2, p.third3, p.full1};
        if (l.fields == 5) {
            for (int f = 0; f < 4; ++f) { EXPECT_EQ(places[f], rec[f]) << "field " << f; }
        } else {
            // Only the pattern's clusters (0, 2, 3, 1 in that order) have a field.
            const uint8_t bits[4] = {0x01, 0x02, 0x04, 0x08};
            uint32_t f = 0;
            for (int c = 0; c < 4; ++c) {
                if (l.patterns[r] & bits[c]) { EXPECT_EQ(places[c], rec[f++]) << "cluster " << c; }
            }
            ASSERT_EQ(f + 1, l.fields);
        }
        EXPECT_EQ(p.cross, rec[l.fields - 1]);
        for (int i = 0; i < 3; ++i) {
            const FewByte &w = p.bytes[i];
            EXPECT_EQ(w.from < 0 ? w.value : b[w.from], b[i]) << "byte " << i;
            // Kinds c and d copy every byte, but for the batches of kind c that end on
            // one b2 (the 6-colour rows 045 to 345 and the 7-colour rows 24 to 27).
            const bool constant_b2 =
                Kind == 'c' && i == 2 && ((N == 6 && r >= 4 && r < 8) || (N == 7 && r >= 24 && r < 28));
            if (Kind == 'c' || Kind == 'd') { EXPECT_EQ(w.from, constant_b2 ? -1 : i); }
        }
    }
}

TEST(ClusterSearchFew, CompiledPlacesAndBoundBytesAreTheTables) {
    expect_plan_is_table<'c', 2>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'d', 2>(CLUSTER_ARRAY_D);
    expect_plan_is_table<'c', 3>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'d', 3>(CLUSTER_ARRAY_D);
    expect_plan_is_table<'c', 4>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'a', 5>(CLUSTER_ARRAY_A);
    expect_plan_is_table<'b', 5>(CLUSTER_ARRAY_B);
    expect_plan_is_table<'c', 5>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'a', 6>(CLUSTER_ARRAY_A);
    expect_plan_is_table<'b', 6>(CLUSTER_ARRAY_B);
    expect_plan_is_table<'c', 6>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'a', 7>(CLUSTER_ARRAY_A);
    expect_plan_is_table<'b', 7>(CLUSTER_ARRAY_B);
    expect_plan_is_table<'c', 7>(CLUSTER_ARRAY_C);
    expect_plan_is_table<'d', 7>(CLUSTER_ARRAY_D);
    // Kinds a and b of 5 colours write the bytes their shape fixes as constants, and
    // copy b0 into b1 of the shapes (i, i, j) and b1 into b2 of (i, j, j).
    const auto &a = kFewPlan<'a', 5>;
    EXPECT_EQ(a[13].bytes[0].from, 0);
    EXPECT_EQ(a[13].bytes[1].from, 0);
    EXPECT_EQ(a[13].bytes[2].from, -1);
    EXPECT_EQ(a[9].bytes[0].from, -1);
    EXPECT_EQ(a[9].bytes[2].value, 5);
    const auto &b = kFewPlan<'b', 5>;
    EXPECT_EQ(b[1].bytes[1].from, 0);
    EXPECT_EQ(b[5].bytes[2].from, 1);
    EXPECT_EQ(b[9].bytes[0].from, -1);
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

using SearchE = void (*)(ClusterBest *, ClusterBounds *, const ClusterSums *);
using SearchList = void (*)(ClusterBest *, ClusterBounds *, const ClusterSums *, const void *, const void *);

const DxtClusterPrepareFn kPrepare[8] = {nullptr,
                                         nullptr,
                                         cluster_prepare_count02_avx,
                                         cluster_prepare_count03_avx,
                                         cluster_prepare_count04_avx,
                                         cluster_prepare_count05_avx,
                                         cluster_prepare_count06_avx,
                                         cluster_prepare_count07_avx};

// A member with the shared lists of its array, or a member of kind e.
struct FewMember {
    const char *name;
    uint32_t n;
    SearchE e;
    SearchList search;
    ClusterArray array;
};
void run(const FewMember &m, const ClusterSums &sums, Record *r) {
    if (m.e) {
        m.e(&r->best, &r->bounds, &sums);
    } else {
        m.search(&r->best, &r->bounds, &sums, list(m.array, m.n).records, list(m.array, m.n).bounds);
    }
}

// Equal errors everywhere: each member keeps its first candidate.
TEST(ClusterSearchFew, AllZeroColoursKeepEachMembersFirstCandidate) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    struct Case {
        FewMember member;
        uint8_t first[3];
    };
#define FEW_ZERO_E(NN, n, tier)                                                                            \
    {                                                                                                      \
        {"e" #NN " " #tier, n, cluster_search_e_count##NN##_##tier, nullptr, CLUSTER_ARRAY_A}, { 1, 1, 1 } \
    }
#define FEW_ZERO(kind, ARRAY, NN, n, tier, b0, b1, b2)                                                       \
    {                                                                                                        \
        {#kind #NN " " #tier, n, nullptr, cluster_search_##kind##_count##NN##_##tier, ARRAY}, { b0, b1, b2 } \
    }
#define FEW_ZERO_TIER(tier)                                                                                     \
    FEW_ZERO(c, CLUSTER_ARRAY_C, 02, 2, tier, 0, 0, 1), FEW_ZERO(d, CLUSTER_ARRAY_D, 02, 2, tier, 0, 1, 2),     \
        FEW_ZERO_E(03, 3, tier), FEW_ZERO(c, CLUSTER_ARRAY_C, 03, 3, tier, 0, 0, 1),                            \
        FEW_ZERO(d, CLUSTER_ARRAY_D, 03, 3, tier, 1, 3, 3), FEW_ZERO_E(04, 4, tier),                            \
        FEW_ZERO(c, CLUSTER_ARRAY_C, 04, 4, tier, 0, 0, 1), FEW_ZERO_E(05, 5, tier),                            \
        FEW_ZERO(a, CLUSTER_ARRAY_A, 05, 5, tier, 0, 0, 1), FEW_ZERO(b, CLUSTER_ARRAY_B, 05, 5, tier, 1, 1, 2), \
        FEW_ZERO(c, CLUSTER_ARRAY_C, 05, 5, tier, 1, 1, 4), FEW_ZERO_E(06, 6, tier),                            \
        FEW_ZERO(a, CLUSTER_ARRAY_A, 06, 6, tier, 0, 0, 1), FEW_ZERO(b, CLUSTER_ARRAY_B, 06, 6, tier, 1, 1, 2), \
        FEW_ZERO(c, CLUSTER_ARRAY_C, 06, 6, tier, 0, 5, 6), FEW_ZERO_E(07, 7, tier),                            \
        FEW_ZERO(a, CLUSTER_ARRAY_A, 07, 7, tier, 0, 0, 1), FEW_ZERO(b, CLUSTER_ARRAY_B, 07, 7, tier, 1, 1, 2), \
        FEW_ZERO(c, CLUSTER_ARRAY_C, 07, 7, tier, 0, 0, 5), FEW_ZERO(d, CLUSTER_ARRAY_D, 07, 7, tier, 3, 4, 5)
    const Case cases[] = {FEW_ZERO_TIER(avx), FEW_ZERO_TIER(fma)};
#undef FEW_ZERO_TIER
#undef FEW_ZERO
#undef FEW_ZERO_E
    for (const Case &c : cases) {
        SCOPED_TRACE(c.member.name);
        Sorted s;
        for (uint32_t k = 0; k < c.member.n; ++k) { s.v[k][3] = 1.0f; }
        ClusterSums sums;
        kPrepare[c.member.n](s.v, &sums);
        Record r = start_record();
        run(c.member, sums, &r);
        EXPECT_EQ(r.bounds.b0, c.first[0]);
        EXPECT_EQ(r.bounds.b1, c.first[1]);
        EXPECT_EQ(r.bounds.b2, c.first[2]);
        EXPECT_EQ(r.best.error, 0.0f);
    }
}

// Sorted colours of n colours with the given pixel counts (weights their square roots).
ClusterSums sums_of(uint32_t n, const std::vector<std::array<float, 3>> &colors, const std::vector<int> &counts) {
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        const float w = std::sqrt(float(counts[k]));
        for (int c = 0; c < 3; ++c) { s.v[k][c] = colors[k][c] * w; }
        s.v[k][3] = w;
    }
    ClusterSums sums;
    kPrepare[n](s.v, &sums);
    return sums;
}

// The float nearest 1/62 times 31 rounds to exactly 0.5: the AVX tier goes to the even
// step 0, the AVX+FMA tier up to step 1, whether the value is limited in float first
// (kind e of 4 colours), its grid integer limited from above (kind e of 3 colours) or
// clamped after the truncation (kind d). Colour 0 alone, the rest white: the split
// (1, 1, 1) fits exactly and its start is colour 0.
TEST(ClusterSearchFew, HalfStepSnapsByTierInEveryForm) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const float x = 1.0f / 62.0f;
    ASSERT_EQ(x * 31.0f, 0.5f);
    ASSERT_EQ(std::fmaf(x, 31.0f, 0.5f), 1.0f);
    struct Case {
        FewMember member;
        int step;
    };
    const Case cases[] = {
        {{"e04 avx", 4, cluster_search_e_count04_avx, nullptr, CLUSTER_ARRAY_A}, 0},
        {{"e04 fma", 4, cluster_search_e_count04_fma, nullptr, CLUSTER_ARRAY_A}, 1},
        {{"e03 avx", 3, cluster_search_e_count03_avx, nullptr, CLUSTER_ARRAY_A}, 0},
        {{"e03 fma", 3, cluster_search_e_count03_fma, nullptr, CLUSTER_ARRAY_A}, 1},
        {{"d02 avx", 2, nullptr, cluster_search_d_count02_avx, CLUSTER_ARRAY_D}, 0},
        {{"d02 fma", 2, nullptr, cluster_search_d_count02_fma, CLUSTER_ARRAY_D}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.member.name);
        std::vector<std::array<float, 3>> colors(c.member.n, {1.0f, 1.0f, 1.0f});
        colors[0] = {x, 0.0f, 0.0f};
        const ClusterSums sums = sums_of(c.member.n, colors, std::vector<int>(c.member.n, 1));
        Record r = start_record();
        run(c.member, sums, &r);
        EXPECT_EQ(r.bounds.b0, 1);
        EXPECT_EQ(r.bounds.b1, 1);
        EXPECT_EQ(r.bounds.b2, 1);
        EXPECT_EQ(bits(r.best.start[0]), bits(c.step == 0 ? 0.0f : 0.0322580636f));
        EXPECT_EQ(bits(r.best.start[3]), 0u);
        EXPECT_EQ(bits(r.best.end[3]), 0u);
    }
}

// The split after the third of 4 colours wins and is stored from the third lane; the
// repeated fourth lane, with the same error, stores nothing over a record that holds it.
TEST(ClusterSearchFew, RepeatedLaneOfFourColoursNeverReplacesTheThirdSplit) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const std::vector<std::array<float, 3>> colors = {
        {0.1f, 0.2f, 0.3f}, {0.12f, 0.21f, 0.3f}, {0.11f, 0.2f, 0.31f}, {0.9f, 0.8f, 0.7f}};
    const ClusterSums sums = sums_of(4, colors, {5, 4, 6, 1});
    for (SearchE e : {cluster_search_e_count04_avx, cluster_search_e_count04_fma}) {
        Record r = start_record();
        e(&r.best, &r.bounds, &sums);
        EXPECT_EQ(r.bounds.b0, 3);
        EXPECT_EQ(r.bounds.b2, 3);
        Record held = r;
        held.bounds = ClusterBounds{9, 9, 9, 0};
        Record after = held;
        e(&after.best, &after.bounds, &sums);
        EXPECT_EQ(std::memcmp(&after, &held, sizeof held), 0);
    }
}

// One black pixel among fifteen white: only (1, 1, 1) fits every pixel, and the driver's
// sequence of members ends on it at every tier, its error minus the weighted squares.
TEST(ClusterSearchFew, OneBlackPixelAmongWhiteEndsOnTheSplit) {
    for (uint32_t mask : {0x00u, 0x28u, 0x68u}) {
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << mask);
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 4, 4, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, mask), 0);
        const DxtEncOps &o = ctx.ops;
        Sorted s;
        const float w = std::sqrt(15.0f);
        s.v[0][3] = 1.0f;
        for (int c = 0; c < 4; ++c) { s.v[1][c] = w; }
        alignas(32) ClusterSums sums;
        o.cluster_prepare[0](s.v, &sums);
        Record r = start_record();
        for (auto [search, array] :
             {std::pair{o.cluster_search_c[0], CLUSTER_ARRAY_C}, std::pair{o.cluster_search_d[0], CLUSTER_ARRAY_D}}) {
            search(&r.best, &r.bounds, &sums, list(array, 2).records, list(array, 2).bounds);
        }
        EXPECT_EQ(r.bounds.b0, 1);
        EXPECT_EQ(r.bounds.b1, 1);
        EXPECT_EQ(r.bounds.b2, 1);
        EXPECT_FLOAT_EQ(r.best.error, -3.0f * std::sqrt(15.0f));
        EXPECT_NEAR(r.best.error, -11.6189499f, 2e-6f);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(r.best.start[c], 0.0f);
            EXPECT_EQ(r.best.end[c], 1.0f);
        }
    }
}

// Whole 4x4 blocks that the fit meets exactly give the same colour block at every tier
// and both slow qualities.
TEST(ClusterSearchFew, ExactFitsThroughTheEncoder) {
    struct Case {
        const char *name;
        uint8_t rows[4][4][3];  // row, column, rgb
        uint8_t want[8];
    };
    auto rows_of = [](std::initializer_list<std::array<uint8_t, 3>> per_row) {
        Case c{};
        int y = 0;
        for (const auto &rgb : per_row) {
            for (int x = 0; x < 4; ++x) {
                for (int k = 0; k < 3; ++k) { c.rows[y][x][k] = rgb[k]; }
            }
            ++y;
        }
        return c;
    };
    std::vector<Case> cases;
    Case red_blue = rows_of({{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {0, 0, 255}});
    red_blue.name = "red top rows over blue";
    std::memcpy(red_blue.want, "\x00\xF8\x1F\x00\x00\x00\x55\x55", 8);
    cases.push_back(red_blue);
    Case blue_red = rows_of({{0, 0, 255}, {0, 0, 255}, {255, 0, 0}, {255, 0, 0}});
    blue_red.name = "blue top rows over red";
    std::memcpy(blue_red.want, "\x00\xF8\x1F\x00\x55\x55\x00\x00", 8);
    cases.push_back(blue_red);
    Case checker = rows_of({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    checker.name = "black and white alternating, black first";
    for (int y = 0; y < 4; ++y) {
        for (int x = 1; x < 4; x += 2) { std::memset(checker.rows[y][x], 255, 3); }
    }
    std::memcpy(checker.want, "\xFF\xFF\x00\x00\x11\x11\x11\x11", 8);
    cases.push_back(checker);
    Case grey = rows_of({{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}});
    grey.name = "grey rows 0, 85, 170, 255";
    std::memcpy(grey.want, "\xFF\xFF\x00\x00\x55\xFF\xAA\x00", 8);
    cases.push_back(grey);
    for (const Case &c : cases) {
        uint8_t rgba[16][4];
        for (int p = 0; p < 16; ++p) {
            for (int k = 0; k < 3; ++k) { rgba[p][k] = c.rows[p / 4][p % 4][k]; }
            rgba[p][3] = 255;
        }
        for (uint8_t quality : {2, 3}) {
            for (uint32_t mask : {0x00u, 0x28u, 0x68u}) {
                SCOPED_TRACE(testing::Message()
                             << c.name << ", quality " << int(quality) << ", mask 0x" << std::hex << mask);
                DxtEncContext ctx;
                std::memset(&ctx, 0, sizeof ctx);
                ctx.no_alpha = 1;
                ASSERT_EQ(dxtenc_init(&ctx, 4, 4, DXTENC_CODEC_DXT1, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 1,
                                      mask),
                          0);
                ASSERT_EQ(dxtenc_encoded_size(4, 4, DXTENC_CODEC_DXT1, DXTENC_PAD_REPEAT), 8u);
                uint8_t out[8] = {};
                const uint8_t *planes[4] = {&rgba[0][0], nullptr, nullptr, nullptr};
                const int64_t strides[4] = {16, 0, 0, 0};
                dxtenc_encode_frame(&ctx, out, planes, strides);
                EXPECT_EQ(std::memcmp(out, c.want, 8), 0)
                    << std::hex << int(out[0]) << " " << int(out[1]) << " " << int(out[2]) << " " << int(out[3]) << " "
                    << int(out[4]) << " " << int(out[5]) << " " << int(out[6]) << " " << int(out[7]);
            }
        }
    }
}

// Every count from 2 to 7 runs on members of the faster tier only, and its arrays
// together hold every candidate but the four of one cluster, each once (the 6-colour
// list c repeats its last row).
TEST(ClusterSearchFew, CountsTwoToSevenRunOnTheFasterTierAndCoverEveryCandidate) {
    if (has_fma()) {
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, 0x68), 0);
        DxtEncOps base;
        std::memset(&base, 0, sizeof base);
        dxtenc_init_ops_cluster(&base, DXTENC_PIX_RGBA8);
        const DxtEncOps &o = ctx.ops;
        for (uint32_t n = 2; n <= 7; ++n) {
            SCOPED_TRACE(testing::Message() << n << " colours");
            for (auto [fast, slow] : {std::pair{o.cluster_search_a[n - 2], base.cluster_search_a[n - 2]},
                                      std::pair{o.cluster_search_b[n - 2], base.cluster_search_b[n - 2]},
                                      std::pair{o.cluster_search_c[n - 2], base.cluster_search_c[n - 2]},
                                      std::pair{o.cluster_search_d[n - 2], base.cluster_search_d[n - 2]}}) {
                EXPECT_TRUE(slow == nullptr || fast != slow);
                EXPECT_EQ(fast == nullptr, slow == nullptr);
            }
            EXPECT_TRUE(base.cluster_search_e[n - 2] == nullptr ||
                        o.cluster_search_e[n - 2] != base.cluster_search_e[n - 2]);
        }
    }
    auto count = [](const auto &plan, uint32_t n, std::vector<int> &seen) {
        for (const FewRow &r : plan) { ++seen[(r.bounds.b0 * (n + 1) + r.bounds.b1) * (n + 1) + r.bounds.b2]; }
    };
    const int want[8] = {0, 0, 6, 16, 31, 52, 80, 116};
    for (uint32_t n = 2; n <= 7; ++n) {
        std::vector<int> seen((n + 1) * (n + 1) * (n + 1), 0);
        for (uint32_t k = 1; n > 2 && k < n; ++k) { ++seen[(k * (n + 1) + k) * (n + 1) + k]; }
        switch (n) {
        case 2: count(kFewPlan<'c', 2>, n, seen), count(kFewPlan<'d', 2>, n, seen); break;
        case 3: count(kFewPlan<'c', 3>, n, seen), count(kFewPlan<'d', 3>, n, seen); break;
        case 4: count(kFewPlan<'c', 4>, n, seen); break;
        case 5:
            count(kFewPlan<'a', 5>, n, seen), count(kFewPlan<'b', 5>, n, seen), count(kFewPlan<'c', 5>, n, seen);
            break;
        case 6:
            count(kFewPlan<'a', 6>, n, seen), count(kFewPlan<'b', 6>, n, seen), count(kFewPlan<'c', 6>, n, seen);
            break;
        default:
            count(kFewPlan<'a', 7>, n, seen), count(kFewPlan<'b', 7>, n, seen), count(kFewPlan<'c', 7>, n, seen),
                count(kFewPlan<'d', 7>, n, seen);
        }
        int distinct = 0;
        for (uint32_t b0 = 0; b0 <= n; ++b0) {
            for (uint32_t b1 = b0; b1 <= n; ++b1) {
                for (uint32_t b2 = b1; b2 <= n; ++b2) {
                    const int times = seen[(b0 * (n + 1) + b1) * (n + 1) + b2];
                    const bool one_cluster =
                        (b0 == b2 && (b0 == 0 || b0 == n)) || (b0 == 0 && b1 == n) || (b0 == 0 && b1 == 0 && b2 == n);
                    const bool repeated = n == 6 && b0 == 2 && b1 == 3 && b2 == 5;
                    EXPECT_EQ(times, one_cluster ? 0 : repeated ? 2 : 1) << n << ": " << b0 << b1 << b2;
                    distinct += times > 0;
                }
            }
        }
        EXPECT_EQ(distinct, want[n]) << n << " colours";
    }
}

// Sums of n colours that the partition (b0, b1, b2) fits exactly with the end points
// black and white: its runs hold 0, 1/3, 2/3 and 1 in the order of their indices 0, 2,
// 3 and 1. 1/3 and 2/3 are off the red and blue grids, so every other partition fits
// worse.
ClusterSums exact_fit(uint32_t n, const uint8_t *bounds, DxtClusterPrepareFn prepare) {
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        const float v = k < bounds[0] ? 0.0f : k < bounds[1] ? 1.0f / 3.0f : k < bounds[2] ? 2.0f / 3.0f : 1.0f;
        const float w = std::sqrt(float(1 + k % 3));
        for (int c = 0; c < 3; ++c) { s.v[k][c] = v * w; }
        s.v[k][3] = w;
    }
    ClusterSums sums;
    std::memset(&sums, 0, sizeof sums);
    prepare(s.v, &sums);
    return sums;
}

// The members of a count, as the driver calls them after set-up, every partition in
// turn fitting exactly: the sequence ends on that partition at every tier, so each of
// the 6, 16, 31, 52, 80 and 116 partitions is scored on its own runs, as the baseline
// scores it. The lists are handed as exactly sized copies, so that under
// AddressSanitizer a read past a list's last row fails (most members read only the
// winner's bounds; its row is every row in turn).
TEST(ClusterSearchFew, EveryPartitionEndsTheDriversSequenceWhereItFitsExactly) {
    for (uint32_t mask : {0x00u, 0x28u, 0x68u}) {
        if ((mask & 0x20) && !has_avx()) { continue; }
        if ((mask & 0x40) && !has_fma()) { continue; }
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, 0, 1, mask), 0);
        const DxtEncOps &o = ctx.ops;
        const int want[8] = {0, 0, 6, 16, 31, 52, 80, 116};
        for (uint32_t n = 2; n <= 7; ++n) {
            SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << mask << std::dec << ", " << n << " colours");
            const DxtClusterSearchFn entries[4] = {o.cluster_search_a[n - 2], o.cluster_search_b[n - 2],
                                                   o.cluster_search_c[n - 2], o.cluster_search_d[n - 2]};
            std::vector<uint64_t> records[4];
            std::vector<uint8_t> bounds[4];
            for (int a = 0; a < 4; ++a) {
                const ClusterCandidateList &l = list(ClusterArray(a), n);
                ASSERT_EQ(entries[a] == nullptr, l.rows == 0) << "array " << a;
                records[a].assign(l.records, l.records + size_t(l.rows) * l.fields);
                bounds[a].assign(l.bounds, l.bounds + 3 * size_t(l.rows));
            }
            int partitions = 0;
            for (uint8_t b0 = 0; b0 <= n; ++b0) {
                for (uint8_t b1 = b0; b1 <= n; ++b1) {
                    for (uint8_t b2 = b1; b2 <= n; ++b2) {
                        const int runs = (b0 > 0) + (b1 > b0) + (b2 > b1) + (n > b2);
                        if (runs < 2) { continue; }
                        ++partitions;
                        SCOPED_TRACE(testing::Message() << int(b0) << int(b1) << int(b2));
                        const uint8_t fit[3] = {b0, b1, b2};
                        const ClusterSums sums = exact_fit(n, fit, o.cluster_prepare[n - 2]);
                        Record r = start_record();
                        if (o.cluster_search_e[n - 2]) { o.cluster_search_e[n - 2](&r.best, &r.bounds, &sums); }
                        for (int a = 0; a < 4; ++a) {
                            if (entries[a]) {
                                entries[a](&r.best, &r.bounds, &sums, records[a].data(), bounds[a].data());
                            }
                        }
                        EXPECT_EQ(r.bounds.b0, b0);
                        EXPECT_EQ(r.bounds.b1, b1);
                        EXPECT_EQ(r.bounds.b2, b2);
                        for (int c = 0; c < 3; ++c) {
                            EXPECT_EQ(r.best.start[c], 0.0f);
                            EXPECT_EQ(r.best.end[c], 1.0f);
                        }
                    }
                }
            }
            EXPECT_EQ(partitions, want[n]);
        }
    }
}

// The 6-colour kind-c list ends on (2, 3, 5) twice; the second row, with the same error
// as the first, is never stored, whatever bytes its entry holds.
TEST(ClusterSearchFew, RepeatedRowOfSixColoursKindCIsNeverStored) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_C, 6);
    ASSERT_EQ(l.rows, 16u);
    ASSERT_EQ(std::memcmp(l.bounds + 3 * 14, l.bounds + 3 * 15, 3), 0);
    std::vector<uint8_t> bounds(l.bounds, l.bounds + 3 * 16);
    std::memset(&bounds[3 * 15], 9, 3);
    const uint8_t fit[3] = {2, 3, 5};
    const ClusterSums sums = exact_fit(6, fit, cluster_prepare_count06_avx);
    for (SearchList c : {cluster_search_c_count06_avx, cluster_search_c_count06_fma}) {
        Record r = start_record();
        c(&r.best, &r.bounds, &sums, l.records, bounds.data());
        EXPECT_EQ(r.bounds.b0, 2);
        EXPECT_EQ(r.bounds.b1, 3);
        EXPECT_EQ(r.bounds.b2, 5);
    }
}

TEST(ClusterSearchFew, SetUpStoresTheMembersOfItsTier) {
    struct Case {
        uint32_t mask;
        bool fma;
    };
    for (const Case &c : {Case{0x28, false}, Case{0x68, true}}) {
        if (!has_avx() || (c.fma && !has_fma())) { continue; }
        for (uint8_t quality : {2, 3}) {
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT5, quality, 0, DXTENC_PIX_RGBA8, 0, 1, c.mask), 0);
            const DxtEncOps &o = ctx.ops;
#define FEW_EXPECT(kind, NN, n)               \
    EXPECT_EQ(o.cluster_search_##kind[n - 2], \
              c.fma ? cluster_search_##kind##_count##NN##_fma : cluster_search_##kind##_count##NN##_avx)
            FEW_EXPECT(c, 02, 2);
            FEW_EXPECT(d, 02, 2);
            FEW_EXPECT(e, 03, 3);
            FEW_EXPECT(c, 03, 3);
            FEW_EXPECT(d, 03, 3);
            FEW_EXPECT(e, 04, 4);
            FEW_EXPECT(c, 04, 4);
            FEW_EXPECT(e, 05, 5);
            FEW_EXPECT(a, 05, 5);
            FEW_EXPECT(b, 05, 5);
            FEW_EXPECT(c, 05, 5);
            FEW_EXPECT(e, 06, 6);
            FEW_EXPECT(a, 06, 6);
            FEW_EXPECT(b, 06, 6);
            FEW_EXPECT(c, 06, 6);
            FEW_EXPECT(e, 07, 7);
            FEW_EXPECT(a, 07, 7);
            FEW_EXPECT(b, 07, 7);
            FEW_EXPECT(c, 07, 7);
            FEW_EXPECT(d, 07, 7);
#undef FEW_EXPECT
            for (uint32_t n = 2; n <= 7; ++n) { EXPECT_EQ(o.cluster_prepare[n - 2], kPrepare[n]); }
        }
    }
}

}  // namespace
