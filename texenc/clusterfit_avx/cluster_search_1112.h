#pragma once
// AVX and AVX+FMA search members for 11 and 12 colours, and the fixed data they use in
// place of table entries (the tests hold it against the shared tables).
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"

#define CLUSTER_AVX_DECLARE_SEARCH_1112(tier)                                                                \
    void cluster_search_e_count11_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_e_count12_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_a_count11_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_a_count12_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_d_count11_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);
CLUSTER_AVX_DECLARE_SEARCH_1112(avx)
CLUSTER_AVX_DECLARE_SEARCH_1112(fma)
#undef CLUSTER_AVX_DECLARE_SEARCH_1112

// Kind a: ten groups of four candidates, walked in five passes of two groups. Candidate k
// of a group reads the table's trailing offset; its leading record is candidate 0's plus
// 3k records, and "next" is the record after a leading or trailing one.
enum class ClusterTermA : uint8_t { None, Lead, LeadNext, Trail, TrailNext };
// Pair weight of candidate k: candidate 0's entry plus k entries, the whole range's
// entry, or the candidate's own table entry.
enum class ClusterPairA : uint8_t { Step, Whole, Own };
// A bound byte written: 0, the colour count, or the candidate's table byte b0, b1, b2.
enum class ClusterByteA : uint8_t { Zero, Count, Table0, Table1, Table2 };

struct ClusterPassA {
    ClusterTermA x[2], y[2];  // each a sum of one or two records
    ClusterPairA pair;
    ClusterByteA bound[3];
};

using CTA = ClusterTermA;
using CBA = ClusterByteA;
inline constexpr ClusterPassA kClusterPassesA[5] = {
    {{CTA::Lead, CTA::None}, {CTA::LeadNext, CTA::Trail}, ClusterPairA::Step, {CBA::Zero, CBA::Zero, CBA::Table2}},
    {{CTA::LeadNext, CTA::None}, {CTA::Lead, CTA::Trail}, ClusterPairA::Step, {CBA::Zero, CBA::Table1, CBA::Table2}},
    {{CTA::Trail, CTA::LeadNext},
     {CTA::Lead, CTA::TrailNext},
     ClusterPairA::Whole,
     {CBA::Zero, CBA::Table1, CBA::Count}},
    {{CTA::Trail, CTA::Lead}, {CTA::TrailNext, CTA::None}, ClusterPairA::Own, {CBA::Table0, CBA::Table0, CBA::Count}},
    {{CTA::TrailNext, CTA::Lead}, {CTA::Trail, CTA::None}, ClusterPairA::Own, {CBA::Table0, CBA::Count, CBA::Count}},
};

// Byte offset of the pair weight of the whole range of c colours.
constexpr uint64_t cluster_whole_pair_weight(uint32_t c) {
    return cluster_cross_base(c) + 4ull * cluster_cross_index(c, 0, c);
}

// Kind d, 11 colours: (b0, 11, 11) for b0 = 9, 10, positions compiled in, in the
// record layout of the tables: the run [0, b0) (`full`), the run [b0, 11) (`one_third`),
// the two empty runs, the run's pair weight.
constexpr uint64_t cluster_d11_record(uint32_t b0, int field) {
    return field == 0   ? 48ull * cluster_range_entry(11, 0, b0)
           : field == 1 ? 48ull * cluster_range_entry(11, b0, 11) + 16
           : field == 2 ? 16
           : field == 3 ? 0
                        : cluster_cross_base(11) + 4ull * cluster_cross_index(11, b0, 11);
}
inline constexpr uint64_t kClusterD11Records[2][5] = {
    {cluster_d11_record(9, 0), cluster_d11_record(9, 1), cluster_d11_record(9, 2), cluster_d11_record(9, 3),
     cluster_d11_record(9, 4)},
    {cluster_d11_record(10, 0), cluster_d11_record(10, 1), cluster_d11_record(10, 2), cluster_d11_record(10, 3),
     cluster_d11_record(10, 4)},
};
static_assert(kClusterD11Records[0][0] == 432 && kClusterD11Records[0][1] == 3088 && kClusterD11Records[0][4] == 3428);
static_assert(kClusterD11Records[1][0] == 480 && kClusterD11Records[1][1] == 3136 && kClusterD11Records[1][4] == 3432);
static_assert(cluster_whole_pair_weight(12) == 3792 && cluster_whole_pair_weight(11) == 3212);
