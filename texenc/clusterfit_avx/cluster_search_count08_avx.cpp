// Search kernels of 8 colours, AVX tier.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_search_low.h"

#pragma GCC target("avx")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_low_avx.inc"
#include "texenc/clusterfit_avx/cluster_search_low.inc"
}  // namespace

void cluster_search_e_count08_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e_low<LowAvx, 8>(best, bounds, sums);
}
void cluster_search_a_count08_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_a_low<LowAvx, 8>(best, bounds, sums, records, bounds_list);
}
void cluster_search_d_count08_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_d_low<LowAvx, 8>(best, bounds, sums, records, bounds_list);
}
void cluster_search_b_count08_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_b_low<LowAvx, 8>(best, bounds, sums, records, bounds_list);
}
void cluster_search_c_count08_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_c_low<LowAvx, 8>(best, bounds, sums, records, bounds_list);
}
