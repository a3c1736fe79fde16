// Search kernels of 9 colours, AVX+FMA tier.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_search_low.h"

#pragma GCC target("avx,fma")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_low_fma.inc"
#include "texenc/clusterfit_avx/cluster_search_low.inc"
}  // namespace

void cluster_search_e_count09_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e_low<LowFma, 9>(best, bounds, sums);
}
void cluster_search_a_count09_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_a_low<LowFma, 9>(best, bounds, sums, records, bounds_list);
}
void cluster_search_b_count09_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_b_low<LowFma, 9>(best, bounds, sums, records, bounds_list);
}
void cluster_search_c_count09_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_c_low<LowFma, 9>(best, bounds, sums, records, bounds_list);
}
