#pragma once
// Cluster fit of one DXT colour block: records shared by its stages and the baseline
// members of its DxtEncOps fields.
//
// Stages, in the order cluster_fit_colors runs them for a block of c = 2..16 distinct
// colours: principal axis, projection, stable ordering, range sums of the weighted sorted
// colours, the search arrays e, a, b, c, d over fixed candidate partitions, packing.
// Every kernel is a pure function of its arguments (the candidate tables are constants),
// so any number of blocks are fitted at once on different threads.
#include <cstddef>
#include <cstdint>

#include "texenc/ops/dxtenc_ops.h"

// Writes the 8-byte colour block of a block of 2..16 distinct colours (set.weights filled
// by the caller). Other counts print a message and write 8 zero bytes.
void cluster_fit_colors(const DxtColorSet &set, uint8_t *out, uint64_t count, const DxtEncOps &ops);

// Baseline members of every cluster-fit field (to_unique_colors for the layout,
// pack_block, pack_block_565, axis, project, sort, prepare and the filled search entries).
void dxtenc_init_ops_cluster(DxtEncOps *ops, uint32_t pixel_format);

// Best candidate so far: snapped end points (r, g, b on the 565 grid, spare lane) and
// its error. Replaced only by a strictly smaller error.
struct alignas(32) ClusterBest {
    float start[4];  // palette weight 1 in cluster 0 (index 0)
    float end[4];    // palette weight 1 in cluster 1 (index 1)
    float error;
};

// Bounds b0 <= b1 <= b2 of the winning partition: sorted positions [0,b0) take index 0,
// [b0,b1) index 2, [b1,b2) index 3, [b2,c) index 1.
struct ClusterBounds {
    uint8_t b0, b1, b2, spare;
};

// Sums over one run of consecutive sorted colours {x, y, z, w} (colour times weight, weight).
struct RangeSums {
    float full[4];        // (x, y, z, w)
    float one_third[4];   // (x/3, y/3, z/3, w/9), summed per colour
    float two_thirds[4];  // (2x/3, 2y/3, 2z/3, 4w/9), summed per colour
};

// Range sums of one block: c(c+1)/2 RangeSums entries (entry 0 is the empty run, [0,j) is
// entry j, the whole run [0,c) has none), then the cross floats (sum of 2w/9 per run;
// by run length for 16 colours). The search kernels address it through byte offsets.
constexpr size_t kClusterSumsBytes = 6624;  // 16 colours need 6596
struct alignas(32) ClusterSums {
    float values[kClusterSumsBytes / sizeof(float)];
};

// Byte layout of the sums of count c (2..16), shared with the candidate tables.
constexpr uint32_t cluster_range_entries(uint32_t c) { return c * (c + 1) / 2; }
constexpr uint32_t cluster_cross_base(uint32_t c) { return 48 * cluster_range_entries(c); }
// Entry index of the run [i, j), 0 <= i < j <= c, except [0, c); 0 for an empty run.
constexpr uint32_t cluster_range_entry(uint32_t c, uint32_t i, uint32_t j) {
    if (i == j) { return 0; }
    if (i == 0) { return j; }
    return c + (i - 1) * c - (i - 1) * i / 2 + (j - i - 1);
}
// Float index of the cross value of [i, j) for counts 2..15 ([0, c) included).
constexpr uint32_t cluster_cross_index(uint32_t c, uint32_t i, uint32_t j) {
    if (i == j) { return 0; }
    if (i == 0) { return j; }
    return (c + 1) + (i - 1) * c - (i - 1) * i / 2 + (j - i - 1);
}
// Bytes of the sums table of count c.
constexpr uint32_t cluster_sums_size(uint32_t c) {
    return cluster_cross_base(c) + 4 * (c == 16 ? 17 : cluster_range_entries(c) + 1);
}
static_assert(cluster_sums_size(16) == 6596 && cluster_sums_size(16) <= kClusterSumsBytes);
static_assert(cluster_sums_size(15) == 6244 && cluster_cross_base(15) == 5760);

// Working record of one cluster_fit_colors call (on the caller's stack).
struct alignas(32) ClusterFitWork {
    ClusterSums sums;
    alignas(32) float sorted[16][4];
    alignas(32) float projections[16];
    alignas(16) float axis[4];
    ClusterBest best;
    ClusterBounds bounds;
    uint8_t order[16];
    uint8_t index_of_color[16];
    uint8_t pixel_indices[16];
};

// Baseline members (stage contracts as in dxtenc_ops.h; 16-byte aligned buffers are not
// required by them).
void dxt_pack_block_sse41(const ClusterBest *best, const uint8_t *indices, uint8_t *out);
void dxt_pack_block_565_sse41(const uint8_t *endpoints, const uint8_t *indices, uint8_t *out);
void cluster_axis_template_sse41(float *axis, const float (*colors)[4], const float *weights, int32_t count);

// Candidate evaluators. Records hold byte offsets into the sums (see cluster_tables.h);
// bounds lists three bytes per candidate. The two-candidate forms solve both candidates,
// then offer the first and the second to `best` (replaced only by a smaller error).
void cluster_try_partition(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const uint64_t *records,
                           const uint8_t *bounds_list);  // 2 records of 5
void cluster_try_partition_one(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                               const uint64_t *record, const uint8_t *bounds_list);
void cluster_try_partition_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
                              const uint64_t *records, const uint8_t *bounds_list);  // 2 records of 6
// Records of record_len fields holding only the clusters flagged in present (clusters 0,
// 2, 3, 1); position gives the field of each of them, then of the cross value (and, for
// the 16-colour form, of the factor). Without cluster 2 and 3 it prints a message and
// evaluates nothing.
void cluster_try_alphax_betax(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                              const uint64_t *records, const uint8_t *bounds_list, const uint8_t *present,
                              uint32_t record_len, const uint8_t *position);
void cluster_try_alphax_betax_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                 const float *factors, const uint64_t *records, const uint8_t *bounds_list,
                                 const uint8_t *present, uint32_t record_len, const uint8_t *position);
// Splits (k, k, k), k = 1 .. count - 1, from pairs of offsets ([0, k), [k, count)).
void cluster_try_splits(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const uint64_t *pairs,
                        uint64_t count);
// 16 colours: constants (1/k, 1/(16 - k), k, 16 - k); the end forms take (1/15, 15).
void cluster_try_split_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                          uint64_t offset1, uint8_t k, const float *constants);
void cluster_try_split_16_first(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                                uint64_t offset1, const float *constants);
void cluster_try_split_16_last(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                               uint64_t offset1, const float *constants);

// Gathering member for a pixel layout; null for layouts without one (7 and unknown values).
DxtToUniqueColorsFn cluster_unique_colors_kernel(uint32_t pixel_format);
