#pragma once
// AVX and AVX+FMA members of the cluster-fit fields of DxtEncOps: the range-sum
// preparation of every count (one form for both tiers) and the search kernels built so
// far. Every member keeps the contract of the baseline member it replaces.
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/ops/dxtenc_ops.h"
#include "texenc/clusterfit_avx/cluster_search_1112.h"

// AVX preparation members (counts 2..16) and the AVX search members over the baseline
// ones. Call only when the processor and the operating system support AVX.
void dxtenc_init_ops_avx(DxtEncOps *ops);
// AVX+FMA search members over the AVX ones; the preparation members stay AVX. Call after
// dxtenc_init_ops_avx, only when FMA is supported too.
void dxtenc_init_ops_fma(DxtEncOps *ops);

// clang-format off
#define CLUSTER_AVX_FOR_EACH_COUNT(X) \
    X(02) X(03) X(04) X(05) X(06) X(07) X(08) X(09) X(10) X(11) X(12) X(13) X(14) X(15) X(16)
// clang-format on

#define CLUSTER_AVX_DECLARE_PREPARE(NN) \
    void cluster_prepare_count##NN##_avx(const float(*sorted)[4], ClusterSums *sums);
CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_DECLARE_PREPARE)
#undef CLUSTER_AVX_DECLARE_PREPARE

// Search members: kind e takes (best, bounds, sums); kind d for 15 colours adds the
// records and the bounds list, for 16 colours the factor table before them.
#define CLUSTER_AVX_DECLARE_SEARCH(tier)                                                                     \
    void cluster_search_e_count13_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_e_count14_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_e_count15_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_e_count16_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums); \
    void cluster_search_d_count15_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *records, const void *bounds_list);                      \
    void cluster_search_d_count16_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,  \
                                         const void *factors, const void *records, const void *bounds_list);
CLUSTER_AVX_DECLARE_SEARCH(avx)
CLUSTER_AVX_DECLARE_SEARCH(fma)
#undef CLUSTER_AVX_DECLARE_SEARCH

// Distinct colours, principal axis, projection (AVX) and packing (AVX2) members.
// clang-format off
#define CLUSTER_AVX_FOR_EACH_GATHER(X) \
    X(argb8) X(bgra8) X(rgba8) X(rgb8) X(bgr8) X(planar8) \
    X(planar10) X(planar12) X(planar16) X(argb16) X(argb15) X(rgba16)
// clang-format on
#define CLUSTER_AVX_DECLARE_GATHER(name)                                                                    \
    void to_unique_colors_##name##_avx(float(*colors)[4], uint64_t *count, int32_t *map, const uint8_t *p0, \
                                       const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1, int64_t s2);
CLUSTER_AVX_FOR_EACH_GATHER(CLUSTER_AVX_DECLARE_GATHER)
#undef CLUSTER_AVX_DECLARE_GATHER
#define CLUSTER_AVX_DECLARE_AXIS_PROJECT(NN)                                                       \
    void cluster_axis_count##NN##_avx(float *axis, const float(*colors)[4], const float *weights); \
    void cluster_project_count##NN##_avx(float *projections, const float(*colors)[4], const float *axis);
CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_DECLARE_AXIS_PROJECT)
#undef CLUSTER_AVX_DECLARE_AXIS_PROJECT
void dxt_pack_block_avx2(const ClusterBest *best, const uint8_t *indices, uint8_t *out);
// AVX gathering member of a pixel layout; null for layouts without one.
DxtToUniqueColorsFn cluster_unique_colors_kernel_avx(uint32_t pixel_format);
// AVX axis and projection members of every count.
void cluster_init_axis_project_avx(DxtEncOps *ops);

// Search members of kinds a, b and c: (best, bounds, sums, [factors,] records, bounds list).
#define CLUSTER_AVX_DECLARE_RUNS(kind, tier)                                                                       \
    void cluster_search_##kind##_count13_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                const void *records, const void *bounds_list);                     \
    void cluster_search_##kind##_count14_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                const void *records, const void *bounds_list);                     \
    void cluster_search_##kind##_count15_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                const void *records, const void *bounds_list);                     \
    void cluster_search_##kind##_count16_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                const void *factors, const void *records, const void *bounds_list);
CLUSTER_AVX_DECLARE_RUNS(a, avx)
CLUSTER_AVX_DECLARE_RUNS(a, fma)
CLUSTER_AVX_DECLARE_RUNS(b, avx)
CLUSTER_AVX_DECLARE_RUNS(b, fma)
CLUSTER_AVX_DECLARE_RUNS(c, avx)
CLUSTER_AVX_DECLARE_RUNS(c, fma)
#undef CLUSTER_AVX_DECLARE_RUNS
