// Candidate tables: the search is exhaustive, and every record names the sums its
// bounds call for. The known rows below are those the faster tiers address by position.
#include "texenc/clusterfit/cluster_tables.h"

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/clusterfit/cluster_fit.h"

namespace {

using Triple = std::tuple<int, int, int>;

Triple row_of(const ClusterCandidateList &l, uint32_t r) {
    return {l.bounds[3 * r], l.bounds[3 * r + 1], l.bounds[3 * r + 2]};
}

// Range entries and cross values numbered by walking the layout (row by row), not by
// the closed forms the tables use.
struct Layout {
    std::map<std::pair<int, int>, uint64_t> entry, cross;
    explicit Layout(int c) {
        uint64_t n = 1;
        for (int j = 1; j < c; ++j) { entry[{0, j}] = n++; }
        for (int i = 1; i < c; ++i) {
            for (int j = i + 1; j <= c; ++j) { entry[{i, j}] = n++; }
        }
        uint64_t m = 1;
        for (int i = 0; i < c; ++i) {
            for (int j = i + 1; j <= c; ++j) { cross[{i, j}] = m++; }
        }
        const uint64_t base = 48 * n;
        for (auto &kv : cross) { kv.second = base + 4 * (c == 16 ? kv.first.second - kv.first.first : kv.second); }
        cross[{-1, -1}] = base;  // empty middle
    }
    uint64_t full(int i, int j) const { return i == j ? 0 : 48 * entry.at({i, j}); }
    uint64_t third(int i, int j) const { return i == j ? 16 : 48 * entry.at({i, j}) + 16; }
    uint64_t cross_of(int i, int j) const { return i == j ? cross.at({-1, -1}) : cross.at({i, j}); }
};

float nearest_factor16(int b0, int b1, int b2) {
    const long long p = b0, q = b1 - b0, t = b2 - b1, s = 16 - b2;
    const long long d = (9 * p + 4 * q + t) * (9 * s + q + 4 * t) - 4 * (q + t) * (q + t);
    return static_cast<float>(81.0L / static_cast<long double>(d));
}

TEST(ClusterTables, EveryPartitionButTheSingularOnesExactlyOnce) {
    const ClusterCandidateTables &t = cluster_candidate_tables();
    for (int c = 2; c <= 16; ++c) {
        SCOPED_TRACE(c);
        std::map<Triple, int> seen;
        for (int k = 1; k < c && c >= 3; ++k) {
            ++seen[{k, k, k}];  // array e
        }
        int repeats = 0;
        for (int array = 0; array < 4; ++array) {
            const ClusterCandidateList &l = t.lists[array][c];
            for (uint32_t r = 0; r < l.rows; ++r) {
                // Only the last row of array c may repeat the row before it (it fills a
                // group of four in the faster tiers).
                if (array == CLUSTER_ARRAY_C && r + 1 == l.rows && r > 0 && row_of(l, r) == row_of(l, r - 1)) {
                    ++repeats;
                    continue;
                }
                ++seen[row_of(l, r)];
            }
        }
        EXPECT_EQ(repeats, c == 6 || c == 14 ? 1 : 0);
        size_t expected = 0;
        for (int b0 = 0; b0 <= c; ++b0) {
            for (int b1 = b0; b1 <= c; ++b1) {
                for (int b2 = b1; b2 <= c; ++b2) {
                    const bool singular =
                        (b0 == 0 && b1 == 0 && (b2 == 0 || b2 == c)) || (b1 == c && (b0 == 0 || b0 == c));
                    auto it = seen.find({b0, b1, b2});
                    if (singular) {
                        EXPECT_TRUE(it == seen.end()) << b0 << "," << b1 << "," << b2;
                    } else {
                        ++expected;
                        ASSERT_TRUE(it != seen.end()) << "missing " << b0 << "," << b1 << "," << b2;
                        EXPECT_EQ(it->second, 1) << b0 << "," << b1 << "," << b2;
                    }
                }
            }
        }
        EXPECT_EQ(seen.size(), expected);
        EXPECT_EQ(expected, static_cast<size_t>((c + 1) * (c + 2) * (c + 3) / 6 - 4));
    }
}

TEST(ClusterTables, RecordsNameTheRunsOfTheirBounds) {
    const ClusterCandidateTables &t = cluster_candidate_tables();
    for (int c = 2; c <= 16; ++c) {
        const Layout lay(c);
        for (int array = 0; array < 4; ++array) {
            const ClusterCandidateList &l = t.lists[array][c];
            for (uint32_t r = 0; r < l.rows; ++r) {
                SCOPED_TRACE(testing::Message() << "count " << c << " array "
                                                << "abcd"[array] << " row " << r);
                const auto [b0, b1, b2] = row_of(l, r);
                const int cut[5] = {0, b0, b1, b2, c};
                const uint8_t mask = l.patterns ? l.patterns[r] : 0x0F;
                std::vector<uint64_t> want;
                for (int k = 0; k < 4; ++k) {
                    if (mask & (1 << k)) {
                        const bool middle = k == 1 || k == 2;
                        want.push_back(middle ? lay.third(cut[k], cut[k + 1]) : lay.full(cut[k], cut[k + 1]));
                    } else {
                        ASSERT_EQ(cut[k], cut[k + 1]) << "a cluster left out of a record must be empty";
                    }
                }
                want.push_back(lay.cross_of(b0, b2));
                const uint32_t fields = l.fields;
                ASSERT_EQ(fields, want.size() + (c == 16 ? 1 : 0));
                const uint64_t *rec = l.records + static_cast<size_t>(r) * fields;
                for (size_t k = 0; k < want.size(); ++k) { EXPECT_EQ(rec[k], want[k]) << "field " << k; }
                if (c == 16) {
                    ASSERT_EQ(rec[fields - 1] % 4, 0u);
                    ASSERT_LT(rec[fields - 1] / 4, t.factor_count);
                    EXPECT_EQ(t.factors16[rec[fields - 1] / 4], nearest_factor16(b0, b1, b2));
                }
            }
            // The bounds are followed by at least four zero triples.
            for (uint32_t k = 0; k < 12 && l.rows; ++k) { EXPECT_EQ(l.bounds[3 * l.rows + k], 0); }
        }
    }
}

TEST(ClusterTables, KnownRows) {
    const ClusterCandidateTables &t = cluster_candidate_tables();
    struct Case {
        int array, count, row;
        Triple bounds;
        std::vector<uint64_t> offsets;  // leading fields
    };
    const Case cases[] = {
        {CLUSTER_ARRAY_B, 15, 0, {1, 1, 2}, {48, 736, 1968, 5824}},
        {CLUSTER_ARRAY_B, 15, 176, {0, 1, 2}, {64, 736, 1968, 5768}},
        {CLUSTER_ARRAY_B, 15, 264, {1, 2, 15}, {48, 736, 1984, 5876}},
        {CLUSTER_ARRAY_B, 14, 72, {0, 0, 13}, {0, 640, 4992, 5092}},
        {CLUSTER_ARRAY_B, 14, 73, {13, 13, 14}, {624, 5008, 0, 5460}},
        {CLUSTER_ARRAY_B, 14, 232, {0, 13, 14}, {640, 5008, 0, 5096}},
        {CLUSTER_ARRAY_B, 16, 104, {1, 2, 2}, {}},
        {CLUSTER_ARRAY_B, 16, 411, {8, 15, 16}, {}},
        {CLUSTER_ARRAY_C, 15, 0, {0, 0, 13}, {0, 16, 640, 5664, 5812}},
        {CLUSTER_ARRAY_C, 15, 20, {1, 2, 3}, {48, 736, 1408, 2544, 5828}},
        {CLUSTER_ARRAY_C, 15, 264, {1, 11, 14}, {48, 1168, 5392, 5712, 5872}},
        {CLUSTER_ARRAY_C, 15, 382, {9, 14, 15}, {432, 4960, 5728, 0, 6180}},
        {CLUSTER_ARRAY_C, 14, 291, {10, 11, 13}, {}},
        {CLUSTER_ARRAY_D, 16, 0, {5, 6, 15}, {240, 3376, 4288, 6480, 6568}},
        {CLUSTER_ARRAY_D, 16, 1, {7, 8, 15}, {336, 4384, 5104, 6480, 6560}},
        {CLUSTER_ARRAY_D, 15, 1, {11, 12, 14}, {528, 5296, 5536, 5712, 6212}},
        {CLUSTER_ARRAY_D, 2, 0, {0, 1, 2}, {0, 64, 112, 0, 152}},
        {CLUSTER_ARRAY_A, 16, 59, {12, 16, 16}, {}},
        {CLUSTER_ARRAY_A, 5, 13, {2, 2, 5}, {}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << "abcd"[k.array] << k.count << " row " << k.row);
        const ClusterCandidateList &l = t.lists[k.array][k.count];
        ASSERT_LT(static_cast<uint32_t>(k.row), l.rows);
        EXPECT_EQ(row_of(l, k.row), k.bounds);
        for (size_t f = 0; f < k.offsets.size(); ++f) {
            EXPECT_EQ(l.records[static_cast<size_t>(k.row) * l.fields + f], k.offsets[f]) << "field " << f;
        }
    }
    // Factors of 16 colours: the first ones in use and the two last candidates.
    const float first[4] = {0.6f, 0.32142857f, 0.23076923f, 0.1875f};
    for (int i = 0; i < 4; ++i) { EXPECT_EQ(t.factors16[i], first[i]); }
    const ClusterCandidateList &d16 = t.lists[CLUSTER_ARRAY_D][16];
    EXPECT_EQ(t.factors16[d16.records[5] / 4], 0.035714287f);
    EXPECT_EQ(t.factors16[d16.records[11] / 4], 0.03169014f);
}

}  // namespace
