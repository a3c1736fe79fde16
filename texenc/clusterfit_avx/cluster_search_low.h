#pragma once
// Search members of the cluster fit for 8, 9 and 10 colours, AVX and AVX+FMA tiers, and
// what they take from constants of their own instead of table columns: stepped offsets,
// fixed places and bound bytes (the tests compare these with the shared tables).
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_tables.h"

#define CLUSTER_LOW_DECLARE_SEARCH(NN, tier)                                                                     \
    void cluster_search_e_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_a_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                             const void *records, const void *bounds_list);                      \
    void cluster_search_b_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                             const void *records, const void *bounds_list);                      \
    void cluster_search_c_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                             const void *records, const void *bounds_list);
#define CLUSTER_LOW_DECLARE_SEARCH_D(NN, tier)                                                                  \
    void cluster_search_d_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                             const void *records, const void *bounds_list);
CLUSTER_LOW_DECLARE_SEARCH(08, avx)
CLUSTER_LOW_DECLARE_SEARCH(09, avx)
CLUSTER_LOW_DECLARE_SEARCH(10, avx)
CLUSTER_LOW_DECLARE_SEARCH(08, fma)
CLUSTER_LOW_DECLARE_SEARCH(09, fma)
CLUSTER_LOW_DECLARE_SEARCH(10, fma)
CLUSTER_LOW_DECLARE_SEARCH_D(08, avx)
CLUSTER_LOW_DECLARE_SEARCH_D(10, avx)
CLUSTER_LOW_DECLARE_SEARCH_D(08, fma)
CLUSTER_LOW_DECLARE_SEARCH_D(10, fma)
#undef CLUSTER_LOW_DECLARE_SEARCH
#undef CLUSTER_LOW_DECLARE_SEARCH_D

// Stores the members above into the entries of counts 8 to 10 (after the frame's set-up).
void cluster_low_init_avx(DxtEncOps *ops);
void cluster_low_init_fma(DxtEncOps *ops);

// Splits (k, k, k) of kind e: group sizes in order, 0 ending the list.
constexpr uint8_t kClusterLowSplitGroups[11][4] = {
    {}, {}, {}, {}, {}, {}, {}, {}, {4, 3, 0}, {4, 4, 0}, {4, 2, 3, 0},
};

// Where a kernel takes one value of a candidate from.
enum class ClusterLowSource : uint8_t {
    Table,  // its own column of the table
    Step,   // the group's first candidate's column, one entry (48 bytes) or float further per candidate
    Fixed,  // a place of its own (kind a: ab[0, n))
};
// A bound byte: a column of table B, or a constant (kClusterLowCountByte: the colour count).
struct ClusterLowByte {
    bool table;
    uint8_t value;  // the column, or the constant
};
constexpr uint8_t kClusterLowCountByte = 0xFF;
constexpr ClusterLowByte low_column(uint8_t c) { return {true, c}; }
constexpr ClusterLowByte low_constant(uint8_t v) { return {false, v}; }

// Kind a: a prefix [0, k) and a suffix [k, n) on two index groups, one shape per mask
// (ClusterPattern), k = 1 .. cluster_a_rows_per_pattern(n), groups of four.
struct ClusterLowShapeA {
    uint8_t mask;
    ClusterLowSource prefix;  // Table or Step
    ClusterLowSource ab;      // Step, Fixed or Table
    ClusterLowByte bounds[3];
};
constexpr ClusterLowShapeA kClusterLowShapesA[5] = {
    {CLUSTER_PATTERN_31,
     ClusterLowSource::Step,
     ClusterLowSource::Step,
     {low_constant(0), low_constant(0), low_column(2)}},
    {CLUSTER_PATTERN_21,
     ClusterLowSource::Step,
     ClusterLowSource::Step,
     {low_constant(0), low_column(1), low_column(2)}},
    {CLUSTER_PATTERN_23,
     ClusterLowSource::Step,
     ClusterLowSource::Fixed,
     {low_constant(0), low_column(1), low_constant(kClusterLowCountByte)}},
    {CLUSTER_PATTERN_03,
     ClusterLowSource::Step,
     ClusterLowSource::Table,
     {low_column(0), low_column(0), low_constant(kClusterLowCountByte)}},
    {CLUSTER_PATTERN_02,
     ClusterLowSource::Step,
     ClusterLowSource::Table,
     {low_column(0), low_constant(kClusterLowCountByte), low_constant(kClusterLowCountByte)}},
};

// Byte offset of ab[0, n), kind a's fixed place.
constexpr uint64_t cluster_low_whole_ab(uint32_t n) {
    return cluster_cross_base(n) + 4ull * cluster_cross_index(n, 0, n);
}

// Offsets of a four-run candidate as the tables give them: S of [0,b0), S/3 of [b0,b1),
// S/3 of [b1,b2), S of [b2,n), ab[b0,b2).
struct ClusterLowPlaces {
    uint64_t offsets[5];
};
constexpr ClusterLowPlaces cluster_low_places(uint32_t n, uint32_t b0, uint32_t b1, uint32_t b2) {
    return {{48ull * cluster_range_entry(n, 0, b0), 48ull * cluster_range_entry(n, b0, b1) + 16,
             48ull * cluster_range_entry(n, b1, b2) + 16, 48ull * cluster_range_entry(n, b2, n),
             cluster_cross_base(n) + 4ull * cluster_cross_index(n, b0, b2)}};
}
// Kind d of 10 colours holds the places of its one candidate (5, 6, 9).
constexpr ClusterLowPlaces kClusterLowD10 = cluster_low_places(10, 5, 6, 9);

// Kind c: groups of four in runs that share the order of their three-term sums (0 groups
// end the list). Alpha outer first: (full[C0] + two_thirds[C2]) + one_third[C3]; beta
// outer first: one_third[C2] + (two_thirds[C3] + full[C1]); otherwise the two middle
// terms are added first.
struct ClusterLowOrderRun {
    uint8_t groups;
    bool alpha_outer_first;
    bool beta_outer_first;
};
constexpr ClusterLowOrderRun kClusterLowOrdersC[11][5] = {
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {{5, false, false}, {3, true, false}, {1, false, true}, {5, false, false}, {}},   // 8 colours
    {{6, true, false}, {2, false, true}, {6, false, false}, {}, {}},                  // 9
    {{1, false, false}, {10, true, false}, {3, false, true}, {8, false, false}, {}},  // 10
};
