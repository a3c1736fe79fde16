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
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_b_count11_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_b_count12_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_c_count11_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_c_count12_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
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

// Kinds b and c: every candidate reads its offsets from the table (four per candidate
// for kind b: e0, e1, e2 and the pair weight; five for kind c: p0 to p3 and the pair
// weight). A section of the table says which records its two sums add, and in which
// grouping.
struct ClusterTermBC {
    uint8_t field;  // the candidate's offset
    uint8_t next;   // 1: the record after the one at the offset
};
struct ClusterSumBC {
    ClusterTermBC t[3];
    uint8_t terms;    // 2 or 3
    bool first_pair;  // three terms: (t0 + t1) + t2, else t0 + (t1 + t2)
};
struct ClusterSectionBC {
    uint8_t fields;  // offsets per candidate, the pair weight last
    ClusterSumBC x, y;
    uint8_t groups;
};

namespace cluster_bc {
constexpr ClusterTermBC at(int field) { return {uint8_t(field), 0}; }
constexpr ClusterTermBC after(int field) { return {uint8_t(field), 1}; }
constexpr ClusterSumBC two(ClusterTermBC a, ClusterTermBC b) { return {{a, b, {}}, 2, false}; }
constexpr ClusterSumBC first_pair(ClusterTermBC a, ClusterTermBC b, ClusterTermBC c) { return {{a, b, c}, 3, true}; }
constexpr ClusterSumBC last_pair(ClusterTermBC a, ClusterTermBC b, ClusterTermBC c) { return {{a, b, c}, 3, false}; }

// Kind b, by the palette entry left empty: 2 (x, x, y), 3 (x, y, y), 0 (0, x, y), 1 (x, y, n).
constexpr ClusterSectionBC b_no2(int groups) { return {4, two(at(0), at(1)), two(after(1), at(2)), uint8_t(groups)}; }
constexpr ClusterSectionBC b_no3(int groups) { return {4, two(at(0), after(1)), two(at(1), at(2)), uint8_t(groups)}; }
constexpr ClusterSectionBC b_no0(int groups) {
    return {4, two(after(0), at(1)), first_pair(at(0), after(1), at(2)), uint8_t(groups)};
}
constexpr ClusterSectionBC b_no1(int groups) {
    return {4, last_pair(at(0), after(1), at(2)), two(at(1), after(2)), uint8_t(groups)};
}
// Kind c: X = V0(p0) + V2(p1) + V1(p2), Y = V1(p1) + V2(p2) + V0(p3); the middle runs'
// records first, except X of the b2 runs (V0(p0) + V2(p1) first) and Y of the b0 runs
// (V2(p2) + V0(p3) first).
constexpr ClusterSumBC kCx = last_pair(at(0), after(1), at(2));
constexpr ClusterSumBC kCy = first_pair(at(1), after(2), at(3));
constexpr ClusterSectionBC c_plain(int groups) { return {5, kCx, kCy, uint8_t(groups)}; }
constexpr ClusterSectionBC c_b2_runs(int groups) {
    return {5, first_pair(at(0), after(1), at(2)), kCy, uint8_t(groups)};
}
constexpr ClusterSectionBC c_b0_runs(int groups) {
    return {5, kCx, last_pair(at(1), after(2), at(3)), uint8_t(groups)};
}
}  // namespace cluster_bc

// Sections in table order.
inline constexpr ClusterSectionBC kClusterB12[] = {cluster_bc::b_no2(13), cluster_bc::b_no3(13), cluster_bc::b_no0(13),
                                                   cluster_bc::b_no1(13)};
inline constexpr ClusterSectionBC kClusterB11[] = {cluster_bc::b_no2(11), cluster_bc::b_no3(11), cluster_bc::b_no0(11),
                                                   cluster_bc::b_no1(11)};
// Fixed head, b2 runs, b0 runs, pairs, tail.
inline constexpr ClusterSectionBC kClusterC12[] = {cluster_bc::c_plain(6), cluster_bc::c_b2_runs(24),
                                                   cluster_bc::c_b0_runs(4), cluster_bc::c_plain(11),
                                                   cluster_bc::c_plain(3)};
inline constexpr ClusterSectionBC kClusterC11[] = {cluster_bc::c_plain(3), cluster_bc::c_b2_runs(16),
                                                   cluster_bc::c_b0_runs(4), cluster_bc::c_plain(9),
                                                   cluster_bc::c_plain(1)};
