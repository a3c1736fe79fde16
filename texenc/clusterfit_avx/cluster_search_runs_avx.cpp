// Search kernels of kinds a, b and c for 13 to 16 colours, AVX tier.
#include <immintrin.h>

#include <initializer_list>
#include <utility>

#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_runs_plan.h"

#pragma GCC target("avx")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_avx.inc"
#include "texenc/clusterfit_avx/cluster_search_runs.inc"
}  // namespace

CLUSTER_RUNS_MEMBERS(avx, Avx)
