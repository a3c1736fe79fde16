// Search kernels of kinds e, a, b, c and d for 2 to 7 colours, AVX+FMA tier.
#include <immintrin.h>

#include <array>
#include <utility>

#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_few_plan.h"
#include "texenc/clusterfit_avx/cluster_search_few.h"

#pragma GCC target("avx,fma")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_fma.inc"
#include "texenc/clusterfit_avx/cluster_tier_few_fma.inc"
#include "texenc/clusterfit_avx/cluster_search_few.inc"
}  // namespace

CLUSTER_FEW_MEMBERS(fma, FewFma, FewFmaD)
