// Search kernels of kinds e and d for 15 and 16 colours, AVX tier: every product and sum
// rounded on its own; the snap rounds to the nearest grid step, ties to even.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"

struct Avx {
    static constexpr MeanLimit kLastGroupLimit = MeanLimit::Float;

    template <typename V>
    static V snap(V v) {
        return mul(round_even(mul(v, grid_scale<V>())), grid_step<V>());
    }
    template <typename V>
    static V snap_mean(V m, MeanLimit limit) {
        return snap(limit == MeanLimit::None ? m : min(m, splat<V>(1.0f)));
    }
    static __m128 snap_unit(__m128 v) { return snap(max(min(v, _mm_set1_ps(1.0f)), _mm_setzero_ps())); }

    template <int N, typename V>
    static V split_error(V s0, V s1, V a, V b, V wa, V wb) {
        V t = sub(neg(mul(s0, a)), mul(s1, b));
        t = add(t, t);
        const V s = add(mul(mul(wb, b), b), mul(mul(wa, a), a));
        return add(t, s);
    }

    static __m128 inverse_det(__m128 alpha2, __m128 beta2, __m128 ab) {
        return div(_mm_set1_ps(1.0f), sub(mul(alpha2, beta2), mul(ab, ab)));
    }
    static void end_points(__m128 alpha, __m128 beta, __m128 alpha2, __m128 beta2, __m128 ab, __m128 factor, __m128 *a,
                           __m128 *b) {
        *a = mul(sub(mul(beta2, alpha), mul(ab, beta)), factor);
        *b = mul(sub(mul(alpha2, beta), mul(ab, alpha)), factor);
    }
    static __m128 error(__m128 alpha, __m128 beta, __m128 alpha2, __m128 beta2, __m128 ab, __m128 a, __m128 b) {
        __m128 t = sub(mul(mul(a, b), ab), mul(a, alpha));
        t = sub(t, mul(beta, b));
        t = add(t, t);
        const __m128 s = add(mul(mul(b, b), beta2), mul(mul(a, a), alpha2));
        return add(t, s);
    }
};

}  // namespace

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
