// Search kernels of kinds e, a, b, c and d for 11 and 12 colours, AVX+FMA tier.
#include <immintrin.h>

#include <initializer_list>
#include <utility>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx,fma")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"
#include "texenc/clusterfit_avx/cluster_tier_fma.inc"
#include "texenc/clusterfit_avx/cluster_search_1112.inc"

// Every split group clamps its means in float. Both end points are clamped in float
// before the snap as min(v, 1) then max(., 0), so a NaN becomes 1.
struct FmaShare : Fma {
    static constexpr MeanLimit kLastGroupLimit = MeanLimit::Float;

    template <typename V>
    static V snap_start(V v) {
        return snap(max(min(v, splat<V>(1.0f)), splat<V>(0.0f)), false, false);
    }
    template <typename V>
    static V snap_end(V v) {
        return snap_start(v);
    }
};

// Kind d clamps the integer after the truncation: a NaN or out-of-range lane gives 0.
struct FmaShareD : FmaShare {
    template <typename V>
    static V snap_start(V v) {
        return snap(v, true, true);
    }
    template <typename V>
    static V snap_end(V v) {
        return snap(v, true, true);
    }
};

}  // namespace

CLUSTER_SEARCH_1112_MEMBERS(fma, FmaShare, FmaShareD)
