// The evaluators that take their candidate records from the caller give the search
// kernels' results over the same tables, keep the first of equal errors, and refuse a
// pattern without a middle cluster.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_tables.h"

namespace {

struct State {
    ClusterBest best;
    ClusterBounds bounds;
    State() {
        memset(&best, 0, sizeof best);
        best.error = 3.4028235e38f;
        bounds = {0, 0, 1, 0};
    }
};

void expect_same(const State &a, const State &b) {
    EXPECT_EQ(a.best.error, b.best.error);
    EXPECT_EQ(0, memcmp(a.best.start, b.best.start, 3 * sizeof(float)));
    EXPECT_EQ(0, memcmp(a.best.end, b.best.end, 3 * sizeof(float)));
    EXPECT_EQ(a.bounds.b0, b.bounds.b0);
    EXPECT_EQ(a.bounds.b1, b.bounds.b1);
    EXPECT_EQ(a.bounds.b2, b.bounds.b2);
}

// Random weighted sorted colours prepared for count c.
void random_sums(const DxtEncOps &ops, uint32_t c, std::mt19937 &rng, ClusterSums *sums) {
    alignas(32) float sorted[16][4];
    for (uint32_t k = 0; k < c; ++k) {
        const float w = c == 16 ? 1.0f : std::sqrt(static_cast<float>(1 + rng() % 3));
        for (int ch = 0; ch < 3; ++ch) { sorted[k][ch] = static_cast<float>(rng() % 256) / 255.0f * w; }
        sorted[k][3] = w;
    }
    ops.cluster_prepare[c - 2](sorted, sums);
}

TEST(ClusterEvaluators, MatchTheSearchKernels) {
    DxtEncOps ops;
    memset(&ops, 0, sizeof ops);
    dxtenc_init_ops_cluster(&ops, DXTENC_PIX_RGBA8);
    const ClusterCandidateTables &t = cluster_candidate_tables();
    std::mt19937 rng(7);
    for (uint32_t c : {2u, 5u, 7u, 10u, 15u, 16u}) {
        for (int trial = 0; trial < 8; ++trial) {
            SCOPED_TRACE(testing::Message() << "count " << c << " trial " << trial);
            ClusterSums sums;
            random_sums(ops, c, rng, &sums);
            // Arrays a and b through the pattern evaluator, two rows per call.
            for (int array : {CLUSTER_ARRAY_A, CLUSTER_ARRAY_B}) {
                const ClusterCandidateList &l = t.lists[array][c];
                if (!l.rows) { continue; }
                State kernel, evaluator;
                if (c == 16) {
                    (array == CLUSTER_ARRAY_A ? ops.cluster_search_a16 : ops.cluster_search_b16)(
                        &kernel.best, &kernel.bounds, &sums, t.factors16, l.records, l.bounds);
                } else {
                    (array == CLUSTER_ARRAY_A ? ops.cluster_search_a : ops.cluster_search_b)[c - 2](
                        &kernel.best, &kernel.bounds, &sums, l.records, l.bounds);
                }
                for (uint32_t r = 0; r < l.rows; r += 2) {
                    uint8_t present[4], position[6];
                    uint8_t k = 0;
                    for (int b = 0; b < 4; ++b) {
                        present[b] = (l.patterns[r] >> b) & 1;
                        position[b] = present[b] ? k++ : 0;
                    }
                    position[4] = k++;
                    position[5] = k;
                    const uint64_t *rec = l.records + static_cast<size_t>(r) * l.fields;
                    if (c == 16) {
                        cluster_try_alphax_betax_16(&evaluator.best, &evaluator.bounds, &sums, t.factors16, rec,
                                                    l.bounds + 3 * r, present, l.fields, position);
                    } else {
                        cluster_try_alphax_betax(&evaluator.best, &evaluator.bounds, &sums, rec, l.bounds + 3 * r,
                                                 present, l.fields, position);
                    }
                }
                SCOPED_TRACE("abcd"[array]);
                expect_same(kernel, evaluator);
            }
            // Arrays c and d through the general evaluators.
            for (int array : {CLUSTER_ARRAY_C, CLUSTER_ARRAY_D}) {
                const ClusterCandidateList &l = t.lists[array][c];
                if (!l.rows) { continue; }
                State kernel, evaluator;
                if (c == 16) {
                    (array == CLUSTER_ARRAY_C ? ops.cluster_search_c16 : ops.cluster_search_d16)(
                        &kernel.best, &kernel.bounds, &sums, t.factors16, l.records, l.bounds);
                } else {
                    (array == CLUSTER_ARRAY_C ? ops.cluster_search_c : ops.cluster_search_d)[c - 2](
                        &kernel.best, &kernel.bounds, &sums, l.records, l.bounds);
                }
                for (uint32_t r = 0; r < l.rows; r += 2) {
                    const uint64_t *rec = l.records + static_cast<size_t>(r) * l.fields;
                    if (c == 16) {
                        cluster_try_partition_16(&evaluator.best, &evaluator.bounds, &sums, t.factors16, rec,
                                                 l.bounds + 3 * r);
                    } else if (r + 1 == l.rows) {
                        cluster_try_partition_one(&evaluator.best, &evaluator.bounds, &sums, rec, l.bounds + 3 * r);
                    } else {
                        cluster_try_partition(&evaluator.best, &evaluator.bounds, &sums, rec, l.bounds + 3 * r);
                    }
                }
                SCOPED_TRACE("abcd"[array]);
                expect_same(kernel, evaluator);
            }
            // Array e through the split evaluators.
            if (c >= 3) {
                State kernel, evaluator;
                if (c == 16) {
                    ops.cluster_search_e16(&kernel.best, &kernel.bounds, &sums);
                    const float ends[2] = {1.0f / 15.0f, 15.0f};
                    cluster_try_split_16_first(&evaluator.best, &evaluator.bounds, &sums, 48,
                                               48ull * cluster_range_entry(16, 1, 16), ends);
                    cluster_try_split_16_last(&evaluator.best, &evaluator.bounds, &sums, 48 * 15, 48 * 135, ends);
                    for (uint8_t k = 2; k <= 14; ++k) {
                        const float consts[4] = {1.0f / k, 1.0f / (16 - k), float(k), float(16 - k)};
                        cluster_try_split_16(&evaluator.best, &evaluator.bounds, &sums, 48ull * k,
                                             48ull * cluster_range_entry(16, k, 16), k, consts);
                    }
                } else {
                    ops.cluster_search_e[c - 2](&kernel.best, &kernel.bounds, &sums);
                    std::vector<uint64_t> pairs;
                    for (uint32_t k = 1; k < c; ++k) {
                        pairs.push_back(48ull * k);
                        pairs.push_back(48ull * cluster_range_entry(c, k, c));
                    }
                    cluster_try_splits(&evaluator.best, &evaluator.bounds, &sums, pairs.data(), c);
                }
                SCOPED_TRACE("e");
                expect_same(kernel, evaluator);
            }
        }
    }
}

TEST(ClusterEvaluators, FirstOfEqualErrorsAndPatternWithoutMiddle) {
    DxtEncOps ops;
    memset(&ops, 0, sizeof ops);
    dxtenc_init_ops_cluster(&ops, DXTENC_PIX_RGBA8);
    std::mt19937 rng(3);
    ClusterSums sums;
    random_sums(ops, 4, rng, &sums);
    const ClusterCandidateList &l = cluster_candidate_tables().lists[CLUSTER_ARRAY_C][4];
    // The same record twice, with different bounds bytes: the first stays.
    std::vector<uint64_t> twice(l.records + 5 * 25, l.records + 5 * 26);
    twice.insert(twice.end(), twice.begin(), twice.end());
    const uint8_t bnd[6] = {1, 2, 3, 9, 9, 9};
    State s;
    cluster_try_partition(&s.best, &s.bounds, &sums, twice.data(), bnd);
    EXPECT_EQ(s.bounds.b0, 1);
    EXPECT_EQ(s.bounds.b2, 3);
    // Neither middle cluster: a message, nothing evaluated.
    const uint8_t present[4] = {1, 0, 0, 1}, position[6] = {0, 0, 0, 1, 2, 3};
    State before = s;
    testing::internal::CaptureStdout();
    cluster_try_alphax_betax(&s.best, &s.bounds, &sums, l.records, bnd, present, 3, position);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERREUR : ALPHAX need part 1 et 2\n");
    expect_same(before, s);
}

}  // namespace
