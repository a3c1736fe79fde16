// Search kernels of kinds e, a, b, c and d for 11 and 12 colours, AVX tier.
#include <immintrin.h>

#include <initializer_list>
#include <utility>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_avx.inc"
#include "texenc/clusterfit_avx/cluster_search_1112.inc"

// The start is clamped as min(a, 1) then max(., 0), the end as min(1, b) then max(0, .):
// a NaN start becomes 1, a NaN end stays NaN, and a zero end keeps its sign.
struct AvxShare : Avx {
    template <typename V>
    static V snap_start(V a) {
        return snap(max(min(a, splat<V>(1.0f)), splat<V>(0.0f)));
    }
    template <typename V>
    static V snap_end(V b) {
        return snap(max(splat<V>(0.0f), min(splat<V>(1.0f), b)));
    }
};

}  // namespace

CLUSTER_SEARCH_1112_MEMBERS(avx, AvxShare, AvxShare)
