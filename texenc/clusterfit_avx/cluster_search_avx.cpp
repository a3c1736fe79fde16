// Search kernels of kind e for 13 to 16 colours and of kind d for 15 and 16 colours, AVX
// tier: every product and sum rounded on its own; the snap rounds to the nearest grid
// step, ties to even.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_avx.inc"

}  // namespace

void cluster_search_e_count13_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e13<Avx>(best, bounds, sums);
}
void cluster_search_e_count14_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e14<Avx>(best, bounds, sums);
}
void cluster_search_e_count15_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e15<Avx>(best, bounds, sums);
}
void cluster_search_e_count16_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e16<Avx>(best, bounds, sums);
}
void cluster_search_d_count15_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_d<Avx, false>(best, bounds, sums, nullptr, records, bounds_list);
}
void cluster_search_d_count16_avx(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *factors, const void *records, const void *bounds_list) {
    search_d<Avx, true>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
