#pragma once
// AVX and AVX+FMA search members for 2 to 7 colours, and their set-up.
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/ops/dxtenc_ops.h"

#define CLUSTER_FEW_DECLARE_E(NN, tier) \
    void cluster_search_e_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums);
#define CLUSTER_FEW_DECLARE_LIST(kind, NN, tier)                                                                       \
    void cluster_search_##kind##_count##NN##_##tier(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                                    const void *records, const void *bounds_list);
#define CLUSTER_FEW_DECLARE(tier)         \
    CLUSTER_FEW_DECLARE_LIST(c, 02, tier) \
    CLUSTER_FEW_DECLARE_LIST(d, 02, tier) \
    CLUSTER_FEW_DECLARE_E(03, tier)       \
    CLUSTER_FEW_DECLARE_LIST(c, 03, tier) \
    CLUSTER_FEW_DECLARE_LIST(d, 03, tier) \
    CLUSTER_FEW_DECLARE_E(04, tier)       \
    CLUSTER_FEW_DECLARE_LIST(c, 04, tier) \
    CLUSTER_FEW_DECLARE_E(05, tier)       \
    CLUSTER_FEW_DECLARE_LIST(a, 05, tier) \
    CLUSTER_FEW_DECLARE_LIST(b, 05, tier) \
    CLUSTER_FEW_DECLARE_LIST(c, 05, tier) \
    CLUSTER_FEW_DECLARE_E(06, tier)       \
    CLUSTER_FEW_DECLARE_LIST(a, 06, tier) \
    CLUSTER_FEW_DECLARE_LIST(b, 06, tier) \
    CLUSTER_FEW_DECLARE_LIST(c, 06, tier) \
    CLUSTER_FEW_DECLARE_E(07, tier)       \
    CLUSTER_FEW_DECLARE_LIST(a, 07, tier) \
    CLUSTER_FEW_DECLARE_LIST(b, 07, tier) \
    CLUSTER_FEW_DECLARE_LIST(c, 07, tier) \
    CLUSTER_FEW_DECLARE_LIST(d, 07, tier)
CLUSTER_FEW_DECLARE(avx)
CLUSTER_FEW_DECLARE(fma)
#undef CLUSTER_FEW_DECLARE
#undef CLUSTER_FEW_DECLARE_LIST
#undef CLUSTER_FEW_DECLARE_E

// Search members for 2 to 7 colours over the baseline ones (called by
// dxtenc_init_ops_avx and dxtenc_init_ops_fma).
void cluster_few_init_avx(DxtEncOps *ops);
void cluster_few_init_fma(DxtEncOps *ops);
