#pragma once
// Named baseline members of the cluster-fit fields of DxtEncOps.
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"

// clang-format off
#define CLUSTER_FOR_EACH_COUNT(X) \
    X(02, 2)                      \
    X(03, 3)                      \
    X(04, 4)                      \
    X(05, 5)                      \
    X(06, 6)                      \
    X(07, 7)                      \
    X(08, 8)                      \
    X(09, 9)                      \
    X(10, 10)                     \
    X(11, 11)                     \
    X(12, 12)                     \
    X(13, 13)                     \
    X(14, 14)                     \
    X(15, 15)                     \
    X(16, 16)
// clang-format on

#define CLUSTER_DECLARE_GATHER(name)                                                                          \
    void to_unique_colors_##name##_sse41(float(*colors)[4], uint64_t *count, int32_t *map, const uint8_t *p0, \
                                         const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1, int64_t s2);
CLUSTER_DECLARE_GATHER(argb8)
CLUSTER_DECLARE_GATHER(bgra8)
CLUSTER_DECLARE_GATHER(rgba8)
CLUSTER_DECLARE_GATHER(argb16)
CLUSTER_DECLARE_GATHER(argb15)
CLUSTER_DECLARE_GATHER(rgba16)
CLUSTER_DECLARE_GATHER(rgb8)
CLUSTER_DECLARE_GATHER(bgr8)
CLUSTER_DECLARE_GATHER(planar8)
CLUSTER_DECLARE_GATHER(planar10)
CLUSTER_DECLARE_GATHER(planar12)
CLUSTER_DECLARE_GATHER(planar16)
#undef CLUSTER_DECLARE_GATHER

#define CLUSTER_DECLARE_COUNT_STAGES(NN, n)                                                                 \
    void cluster_axis_count##NN##_sse41(float *axis, const float(*colors)[4], const float *weights);        \
    void cluster_project_count##NN##_sse41(float *projections, const float(*colors)[4], const float *axis); \
    void cluster_sort_count##NN##_sse41(const float *projections, uint8_t *order);                          \
    void cluster_prepare_count##NN##_sse41(const float(*sorted)[4], ClusterSums *sums);
CLUSTER_FOR_EACH_COUNT(CLUSTER_DECLARE_COUNT_STAGES)
#undef CLUSTER_DECLARE_COUNT_STAGES

// Search members: arrays a..d take (best, bounds, sums, records, bounds list), the
// 16-colour ones the factor table before the records, array e only the first three.
#define CLUSTER_DECLARE_SEARCH(arr, NN)                                                                              \
    void cluster_search_##arr##_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                  const void *records, const void *bounds_list);
#define CLUSTER_DECLARE_SEARCH_E(NN) \
    void cluster_search_e_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums);
#define CLUSTER_DECLARE_SEARCH16(arr)                                                                            \
    void cluster_search_##arr##_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                              const void *factors, const void *records, const void *bounds_list);

// Which (array, count) members exist.
// clang-format off
#define CLUSTER_FOR_EACH_SEARCH_A(X) X(a, 05) X(a, 06) X(a, 07) X(a, 08) X(a, 09) X(a, 10) X(a, 11) X(a, 12) X(a, 13) X(a, 14) X(a, 15)
// clang-format on
// clang-format off
#define CLUSTER_FOR_EACH_SEARCH_B(X) X(b, 05) X(b, 06) X(b, 07) X(b, 08) X(b, 09) X(b, 10) X(b, 11) X(b, 12) X(b, 13) X(b, 14) X(b, 15)
// clang-format on
// clang-format off
#define CLUSTER_FOR_EACH_SEARCH_C(X) \
    X(c, 02) X(c, 03) X(c, 04) X(c, 05) X(c, 06) X(c, 07) X(c, 08) X(c, 09) X(c, 10) X(c, 11) X(c, 12) X(c, 13) X(c, 14) X(c, 15)
// clang-format on
// clang-format off
#define CLUSTER_FOR_EACH_SEARCH_D(X) X(d, 02) X(d, 03) X(d, 07) X(d, 08) X(d, 10) X(d, 11) X(d, 15)
// clang-format on
// clang-format off
#define CLUSTER_FOR_EACH_SEARCH_E(X) X(03) X(04) X(05) X(06) X(07) X(08) X(09) X(10) X(11) X(12) X(13) X(14) X(15)
// clang-format on

CLUSTER_FOR_EACH_SEARCH_A(CLUSTER_DECLARE_SEARCH)
CLUSTER_FOR_EACH_SEARCH_B(CLUSTER_DECLARE_SEARCH)
CLUSTER_FOR_EACH_SEARCH_C(CLUSTER_DECLARE_SEARCH)
CLUSTER_FOR_EACH_SEARCH_D(CLUSTER_DECLARE_SEARCH)
CLUSTER_FOR_EACH_SEARCH_E(CLUSTER_DECLARE_SEARCH_E)
CLUSTER_DECLARE_SEARCH_E(16)
CLUSTER_DECLARE_SEARCH16(a)
CLUSTER_DECLARE_SEARCH16(b)
CLUSTER_DECLARE_SEARCH16(c)
CLUSTER_DECLARE_SEARCH16(d)
