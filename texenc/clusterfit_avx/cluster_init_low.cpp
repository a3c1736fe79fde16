// Set-up of the AVX and AVX+FMA search members of 8 to 10 colours.
#include "texenc/clusterfit_avx/cluster_search_low.h"

#define CLUSTER_LOW_SET(NN, tier)                                             \
    ops->cluster_search_e[1##NN - 102] = cluster_search_e_count##NN##_##tier; \
    ops->cluster_search_a[1##NN - 102] = cluster_search_a_count##NN##_##tier; \
    ops->cluster_search_b[1##NN - 102] = cluster_search_b_count##NN##_##tier; \
    ops->cluster_search_c[1##NN - 102] = cluster_search_c_count##NN##_##tier;
#define CLUSTER_LOW_SET_D(NN, tier) ops->cluster_search_d[1##NN - 102] = cluster_search_d_count##NN##_##tier;

void cluster_low_init_avx(DxtEncOps *ops) {
    CLUSTER_LOW_SET(08, avx)
    CLUSTER_LOW_SET(09, avx)
    CLUSTER_LOW_SET(10, avx)
    CLUSTER_LOW_SET_D(08, avx)
    CLUSTER_LOW_SET_D(10, avx)
}

void cluster_low_init_fma(DxtEncOps *ops) {
    CLUSTER_LOW_SET(08, fma)
    CLUSTER_LOW_SET(09, fma)
    CLUSTER_LOW_SET(10, fma)
    CLUSTER_LOW_SET_D(08, fma)
    CLUSTER_LOW_SET_D(10, fma)
}
