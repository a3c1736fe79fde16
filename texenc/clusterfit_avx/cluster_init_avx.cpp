// Set-up of the AVX and AVX+FMA cluster-fit members.
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_search_low.h"
#include "texenc/clusterfit_avx/cluster_search_few.h"

// Kinds e, a, b and c of 13 and 14 colours.
#define CLUSTER_AVX_SET_MIDDLE(NN, tier)                                 \
    ops->cluster_search_e[NN - 2] = cluster_search_e_count##NN##_##tier; \
    ops->cluster_search_a[NN - 2] = cluster_search_a_count##NN##_##tier; \
    ops->cluster_search_b[NN - 2] = cluster_search_b_count##NN##_##tier; \
    ops->cluster_search_c[NN - 2] = cluster_search_c_count##NN##_##tier;

void dxtenc_init_ops_avx(DxtEncOps *ops) {
#define CLUSTER_AVX_SET_PREPARE(NN) ops->cluster_prepare[1##NN - 102] = cluster_prepare_count##NN##_avx;
    CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_SET_PREPARE)
#undef CLUSTER_AVX_SET_PREPARE
    ops->cluster_search_e[15 - 2] = cluster_search_e_count15_avx;
    ops->cluster_search_d[15 - 2] = cluster_search_d_count15_avx;
    ops->cluster_search_e16 = cluster_search_e_count16_avx;
    ops->cluster_search_d16 = cluster_search_d_count16_avx;
    ops->cluster_search_a[15 - 2] = cluster_search_a_count15_avx;
    ops->cluster_search_b[15 - 2] = cluster_search_b_count15_avx;
    ops->cluster_search_a16 = cluster_search_a_count16_avx;
    ops->cluster_search_b16 = cluster_search_b_count16_avx;
    ops->cluster_search_c[15 - 2] = cluster_search_c_count15_avx;
    ops->cluster_search_c16 = cluster_search_c_count16_avx;
    CLUSTER_AVX_SET_MIDDLE(13, avx)
    CLUSTER_AVX_SET_MIDDLE(14, avx)
    ops->cluster_search_e[11 - 2] = cluster_search_e_count11_avx;
    ops->cluster_search_e[12 - 2] = cluster_search_e_count12_avx;
    ops->cluster_search_a[11 - 2] = cluster_search_a_count11_avx;
    ops->cluster_search_a[12 - 2] = cluster_search_a_count12_avx;
    ops->cluster_search_d[11 - 2] = cluster_search_d_count11_avx;
    ops->cluster_search_b[11 - 2] = cluster_search_b_count11_avx;
    ops->cluster_search_b[12 - 2] = cluster_search_b_count12_avx;
    ops->cluster_search_c[11 - 2] = cluster_search_c_count11_avx;
    ops->cluster_search_c[12 - 2] = cluster_search_c_count12_avx;
    cluster_low_init_avx(ops);
    cluster_few_init_avx(ops);
}

void dxtenc_init_ops_fma(DxtEncOps *ops) {
    ops->cluster_search_e[15 - 2] = cluster_search_e_count15_fma;
    ops->cluster_search_d[15 - 2] = cluster_search_d_count15_fma;
    ops->cluster_search_e16 = cluster_search_e_count16_fma;
    ops->cluster_search_d16 = cluster_search_d_count16_fma;
    ops->cluster_search_a[15 - 2] = cluster_search_a_count15_fma;
    ops->cluster_search_b[15 - 2] = cluster_search_b_count15_fma;
    ops->cluster_search_a16 = cluster_search_a_count16_fma;
    ops->cluster_search_b16 = cluster_search_b_count16_fma;
    ops->cluster_search_c[15 - 2] = cluster_search_c_count15_fma;
    ops->cluster_search_c16 = cluster_search_c_count16_fma;
    CLUSTER_AVX_SET_MIDDLE(13, fma)
    CLUSTER_AVX_SET_MIDDLE(14, fma)
    ops->cluster_search_e[11 - 2] = cluster_search_e_count11_fma;
    ops->cluster_search_e[12 - 2] = cluster_search_e_count12_fma;
    ops->cluster_search_a[11 - 2] = cluster_search_a_count11_fma;
    ops->cluster_search_a[12 - 2] = cluster_search_a_count12_fma;
    ops->cluster_search_d[11 - 2] = cluster_search_d_count11_fma;
    ops->cluster_search_b[11 - 2] = cluster_search_b_count11_fma;
    ops->cluster_search_b[12 - 2] = cluster_search_b_count12_fma;
    ops->cluster_search_c[11 - 2] = cluster_search_c_count11_fma;
    ops->cluster_search_c[12 - 2] = cluster_search_c_count12_fma;
    cluster_low_init_fma(ops);
    cluster_few_init_fma(ops);
}
