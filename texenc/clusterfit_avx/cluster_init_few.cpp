// Set-up of the AVX and AVX+FMA search members for 2 to 7 colours.
#include "texenc/clusterfit_avx/cluster_search_few.h"

#define CLUSTER_FEW_SET(tier)                                       \
    ops->cluster_search_c[2 - 2] = cluster_search_c_count02_##tier; \
    ops->cluster_search_d[2 - 2] = cluster_search_d_count02_##tier; \
    ops->cluster_search_e[3 - 2] = cluster_search_e_count03_##tier; \
    ops->cluster_search_c[3 - 2] = cluster_search_c_count03_##tier; \
    ops->cluster_search_d[3 - 2] = cluster_search_d_count03_##tier; \
    ops->cluster_search_e[4 - 2] = cluster_search_e_count04_##tier; \
    ops->cluster_search_c[4 - 2] = cluster_search_c_count04_##tier; \
    ops->cluster_search_e[5 - 2] = cluster_search_e_count05_##tier; \
    ops->cluster_search_a[5 - 2] = cluster_search_a_count05_##tier; \
    ops->cluster_search_b[5 - 2] = cluster_search_b_count05_##tier; \
    ops->cluster_search_c[5 - 2] = cluster_search_c_count05_##tier; \
    ops->cluster_search_e[6 - 2] = cluster_search_e_count06_##tier; \
    ops->cluster_search_a[6 - 2] = cluster_search_a_count06_##tier; \
    ops->cluster_search_b[6 - 2] = cluster_search_b_count06_##tier; \
    ops->cluster_search_c[6 - 2] = cluster_search_c_count06_##tier; \
    ops->cluster_search_e[7 - 2] = cluster_search_e_count07_##tier; \
    ops->cluster_search_a[7 - 2] = cluster_search_a_count07_##tier; \
    ops->cluster_search_b[7 - 2] = cluster_search_b_count07_##tier; \
    ops->cluster_search_c[7 - 2] = cluster_search_c_count07_##tier; \
    ops->cluster_search_d[7 - 2] = cluster_search_d_count07_##tier;

void cluster_few_init_avx(DxtEncOps *ops) { CLUSTER_FEW_SET(avx) }

void cluster_few_init_fma(DxtEncOps *ops) { CLUSTER_FEW_SET(fma) }
