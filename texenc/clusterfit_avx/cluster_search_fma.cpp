// Search kernels of kind e for 13 to 16 colours and of kind d for 15 and 16 colours,
// AVX+FMA tier: the fused steps are explicit multiply-adds; the snap adds 0.5 in the same
// fused operation and truncates, so halves go up.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx,fma")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_fma.inc"

}  // namespace

void cluster_search_e_count13_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e13<Fma>(best, bounds, sums);
}
void cluster_search_e_count14_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e14<Fma>(best, bounds, sums);
}
void cluster_search_e_count15_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e15<Fma>(best, bounds, sums);
}
void cluster_search_e_count16_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e16<Fma>(best, bounds, sums);
}
void cluster_search_d_count15_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_d<Fma, false>(best, bounds, sums, nullptr, records, bounds_list);
}
void cluster_search_d_count16_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *factors, const void *records, const void *bounds_list) {
    search_d<Fma, true>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
