// Cluster-fit driver and the baseline set-up of its DxtEncOps fields.
#include <cstdio>
#include <cstring>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"

void cluster_fit_colors(const DxtColorSet &set, uint8_t *out, uint64_t count, const DxtEncOps &ops) {
    ClusterFitWork w;
    for (int i = 0; i < 16; ++i) {
        w.order[i] = static_cast<uint8_t>(i);  // the ordering kernels need the identity
    }
    memset(&w.best, 0, sizeof w.best);
    w.best.error = 3.4028235e38f;  // largest finite float: the first candidate always wins
    w.bounds = ClusterBounds{0, 0, 1, 0};

    if (count < 2 || count > 16) {
        printf("ERROR : non code pour count : %llu\n", static_cast<unsigned long long>(count));
        // Zero end points and every index 3: equal end points pack to eight zero bytes.
        memset(w.pixel_indices, 3, sizeof w.pixel_indices);
        ops.pack_block(&w.best, w.pixel_indices, out);
        return;
    }
    const uint32_t c = static_cast<uint32_t>(count);
    const uint32_t slot = c - 2;
    ops.cluster_axis[slot](w.axis, set.colors, set.weights);
    ops.cluster_project[slot](w.projections, set.colors, w.axis);
    ops.cluster_sort[slot](w.projections, w.order);

    if (c == 16) {
        for (uint32_t j = 0; j < 16; ++j) {
            const float *col = set.colors[w.order[j]];
            w.sorted[j][0] = col[0];
            w.sorted[j][1] = col[1];
            w.sorted[j][2] = col[2];
            w.sorted[j][3] = 1.0f;
        }
    } else {
        for (uint32_t j = 0; j < c; ++j) {
            const float *col = set.colors[w.order[j]];
            const float wt = set.weights[w.order[j]];
            w.sorted[j][0] = col[0] * wt;
            w.sorted[j][1] = col[1] * wt;
            w.sorted[j][2] = col[2] * wt;
            w.sorted[j][3] = wt;
        }
    }
    ops.cluster_prepare[slot](w.sorted, &w.sums);

    const ClusterCandidateTables &t = cluster_candidate_tables();
    if (c == 16) {
        ops.cluster_search_e16(&w.best, &w.bounds, &w.sums);
        const ClusterCandidateList *l = &t.lists[0][16];
        ops.cluster_search_a16(&w.best, &w.bounds, &w.sums, t.factors16, l[0 * 17].records, l[0 * 17].bounds);
        ops.cluster_search_b16(&w.best, &w.bounds, &w.sums, t.factors16, l[1 * 17].records, l[1 * 17].bounds);
        ops.cluster_search_c16(&w.best, &w.bounds, &w.sums, t.factors16, l[2 * 17].records, l[2 * 17].bounds);
        ops.cluster_search_d16(&w.best, &w.bounds, &w.sums, t.factors16, l[3 * 17].records, l[3 * 17].bounds);
    } else {
        if (c >= 3) { ops.cluster_search_e[slot](&w.best, &w.bounds, &w.sums); }
        DxtClusterSearchFn const *searches[4] = {ops.cluster_search_a, ops.cluster_search_b, ops.cluster_search_c,
                                                 ops.cluster_search_d};
        for (int array = 0; array < 4; ++array) {
            const ClusterCandidateList &l = t.lists[array][c];
            if (l.rows != 0) { searches[array][slot](&w.best, &w.bounds, &w.sums, l.records, l.bounds); }
        }
    }

    // Clusters to indices: [0,b0) 0, [b0,b1) 2, [b1,b2) 3, [b2,c) 1.
    for (uint32_t j = 0; j < c; ++j) {
        const uint8_t index = j < w.bounds.b0 ? 0 : j < w.bounds.b1 ? 2 : j < w.bounds.b2 ? 3 : 1;
        w.index_of_color[w.order[j]] = index;
    }
    for (int p = 0; p < 16; ++p) {
        const uint8_t m = static_cast<uint8_t>(set.map[p]);
        // A map entry of -1 marks a pixel that takes index 3 whatever the fit found. Any
        // other number past the count is not a colour of this block: it gets index 3 too
        // rather than an index read from an unset entry.
        w.pixel_indices[p] = (m == 0xFF || m >= c) ? 3 : w.index_of_color[m];
    }
    ops.pack_block(&w.best, w.pixel_indices, out);
}

DxtToUniqueColorsFn cluster_unique_colors_kernel(uint32_t pixel_format) {
    switch (pixel_format) {
    case DXTENC_PIX_ARGB8: return to_unique_colors_argb8_sse41;
    case DXTENC_PIX_BGRA8:
    case DXTENC_PIX_BGRA8_BOTTOM_UP: return to_unique_colors_bgra8_sse41;
    case DXTENC_PIX_RGBA8: return to_unique_colors_rgba8_sse41;
    case DXTENC_PIX_ARGB16: return to_unique_colors_argb16_sse41;
    case DXTENC_PIX_ARGB16_SCALED: return to_unique_colors_argb15_sse41;
    case DXTENC_PIX_RGBA16: return to_unique_colors_rgba16_sse41;
    case DXTENC_PIX_RGB8: return to_unique_colors_rgb8_sse41;
    case DXTENC_PIX_BGR8: return to_unique_colors_bgr8_sse41;
    case DXTENC_PIX_PLANAR_RGBA8:
    case DXTENC_PIX_PLANAR_RGB8: return to_unique_colors_planar8_sse41;
    case DXTENC_PIX_PLANAR_RGB10: return to_unique_colors_planar10_sse41;
    case DXTENC_PIX_PLANAR_RGB12: return to_unique_colors_planar12_sse41;
    case DXTENC_PIX_PLANAR_RGBA16:
    case DXTENC_PIX_PLANAR_RGB16: return to_unique_colors_planar16_sse41;
    default: return nullptr;
    }
}

void dxtenc_init_ops_cluster(DxtEncOps *ops, uint32_t pixel_format) {
    (void)cluster_candidate_tables();  // build the shared tables before any slice runs
    ops->to_unique_colors = cluster_unique_colors_kernel(pixel_format);
    ops->pack_block = dxt_pack_block_sse41;
    ops->pack_block_565 = dxt_pack_block_565_sse41;
#define CF_SET_STAGES(NN, n)                                         \
    ops->cluster_axis[n - 2] = cluster_axis_count##NN##_sse41;       \
    ops->cluster_project[n - 2] = cluster_project_count##NN##_sse41; \
    ops->cluster_sort[n - 2] = cluster_sort_count##NN##_sse41;       \
    ops->cluster_prepare[n - 2] = cluster_prepare_count##NN##_sse41;
    CLUSTER_FOR_EACH_COUNT(CF_SET_STAGES)
#undef CF_SET_STAGES
#define CF_SET_SEARCH(arr, NN) ops->cluster_search_##arr[1##NN - 102] = cluster_search_##arr##_count##NN##_sse41;
#define CF_SET_SEARCH_E(NN)    ops->cluster_search_e[1##NN - 102] = cluster_search_e_count##NN##_sse41;
    CLUSTER_FOR_EACH_SEARCH_A(CF_SET_SEARCH)
    CLUSTER_FOR_EACH_SEARCH_B(CF_SET_SEARCH)
    CLUSTER_FOR_EACH_SEARCH_C(CF_SET_SEARCH)
    CLUSTER_FOR_EACH_SEARCH_D(CF_SET_SEARCH)
    CLUSTER_FOR_EACH_SEARCH_E(CF_SET_SEARCH_E)
#undef CF_SET_SEARCH
#undef CF_SET_SEARCH_E
    ops->cluster_search_e16 = cluster_search_e_count16_sse41;
    ops->cluster_search_a16 = cluster_search_a_count16_sse41;
    ops->cluster_search_b16 = cluster_search_b_count16_sse41;
    ops->cluster_search_c16 = cluster_search_c_count16_sse41;
    ops->cluster_search_d16 = cluster_search_d_count16_sse41;
}
