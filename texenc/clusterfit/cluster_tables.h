#pragma once
// Candidate partitions of the cluster-fit search, shared by every kernel tier.
//
// For a count c the candidates are the bound triples 0 <= b0 <= b1 <= b2 <= c except the
// four that put every colour into one cluster. They are split over the arrays e, a, b, c
// and d; the row order of each array is fixed (it decides which of two equal errors wins,
// and the faster tiers walk the rows in groups that share runs).
//
// Per array and count the tables hold, in evaluation order:
//   - bounds: three bytes (b0, b1, b2) per row, then zero bytes (at least four zero
//     triples, total a multiple of 16);
//   - records: unsigned 64-bit byte offsets into ClusterSums per row:
//       array a: the two non-empty clusters in the order 0, 2, 3, 1, then the cross value;
//       array b: the three clusters of the row's pattern, then the cross value;
//       arrays c, d: clusters 0, 2, 3, 1, then the cross value;
//     plus, for 16 colours, the byte offset of the row's factor in the factor table.
//     A cluster on index 0 or 1 names its run's `full` vector, one on index 2 or 3 its
//     `one_third` vector (`two_thirds` follows it). An empty cluster names the empty
//     entry (0 for `full`, 16 for `one_third`), an empty middle the cross value 0.
//   - patterns (arrays a and b): the pattern of each row, see ClusterPattern.
// Array e (the splits (k, k, k)) needs no table: its kernels compute their offsets.
//
// The factor table (16 colours) holds 1 / (alpha2 beta2 - alphabeta^2) of unit weights,
// the float nearest the exact rational, one per distinct value in order of first use.
#include <cstdint>

// Non-empty clusters of a pattern row, as a mask: bit 0 cluster 0, bit 1 cluster 2,
// bit 2 cluster 3, bit 3 cluster 1.
enum ClusterPattern : uint8_t {
    CLUSTER_PATTERN_31 = 0x0C,   // (0, 0, k)
    CLUSTER_PATTERN_21 = 0x0A,   // (0, k, k)
    CLUSTER_PATTERN_23 = 0x06,   // (0, k, c)
    CLUSTER_PATTERN_03 = 0x05,   // (k, k, c)
    CLUSTER_PATTERN_02 = 0x03,   // (k, c, c)
    CLUSTER_PATTERN_031 = 0x0D,  // (i, i, j)
    CLUSTER_PATTERN_021 = 0x0B,  // (i, j, j)
    CLUSTER_PATTERN_231 = 0x0E,  // (0, i, j)
    CLUSTER_PATTERN_023 = 0x07,  // (i, j, c)
};

struct ClusterCandidateList {
    const uint64_t *records = nullptr;
    const uint8_t *bounds = nullptr;
    const uint8_t *patterns = nullptr;  // arrays a and b only
    uint32_t rows = 0;                  // 0: the array does not exist for the count
    uint32_t fields = 0;                // offsets per record
};

enum ClusterArray : uint32_t { CLUSTER_ARRAY_A = 0, CLUSTER_ARRAY_B, CLUSTER_ARRAY_C, CLUSTER_ARRAY_D };

struct ClusterCandidateTables {
    ClusterCandidateList lists[4][17];  // [array][colour count]
    const float *factors16 = nullptr;
    uint32_t factor_count = 0;
};

// Built on first use (thread-safe), never freed.
const ClusterCandidateTables &cluster_candidate_tables();

// Split of array a: k = 1..K for every pattern.
constexpr uint32_t cluster_a_rows_per_pattern(uint32_t c) {
    return c < 5 ? 0 : c == 5 || c == 9 || c == 13 ? c - 1 : c <= 8 ? 4 : c <= 12 ? 8 : 12;
}
// Rows of array b per pattern block (031, 021, 231, 023).
constexpr uint16_t kClusterBBlockRows[17][4] = {
    {},
    {},
    {},
    {},
    {},
    {4, 4, 4, 4},          // 5
    {12, 12, 8, 8},        // 6
    {12, 12, 12, 12},      // 7
    {20, 20, 20, 16},      // 8
    {28, 28, 28, 28},      // 9
    {36, 36, 36, 36},      // 10
    {44, 44, 44, 44},      // 11
    {52, 52, 52, 52},      // 12
    {64, 64, 64, 64},      // 13
    {80, 80, 76, 76},      // 14
    {88, 88, 88, 88},      // 15
    {104, 104, 104, 100},  // 16
};

// Rows of arrays c and d per count (0: no such array).
constexpr uint16_t kClusterCRows[17] = {0, 0, 4, 12, 28, 12, 16, 40, 56, 56, 88, 132, 192, 228, 292, 384, 476};
constexpr uint16_t kClusterDRows[17] = {0, 0, 2, 2, 0, 0, 0, 2, 2, 0, 1, 2, 0, 0, 0, 2, 2};
