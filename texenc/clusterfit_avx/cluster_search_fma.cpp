// Search kernels of kinds e and d for 15 and 16 colours, AVX+FMA tier: the fused steps
// are explicit multiply-adds; the snap adds 0.5 in the same fused operation and
// truncates, so halves go up.
#include <immintrin.h>

#include <initializer_list>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx,fma")

namespace {
#include "texenc/clusterfit_avx/cluster_search_avx.inc"

// x * y + z and z - x * y, rounded once.
inline __m128 fmadd(__m128 x, __m128 y, __m128 z) { return _mm_fmadd_ps(x, y, z); }
inline __m256 fmadd(__m256 x, __m256 y, __m256 z) { return _mm256_fmadd_ps(x, y, z); }
inline __m128 fnmadd(__m128 x, __m128 y, __m128 z) { return _mm_fnmadd_ps(x, y, z); }
inline __m256 fnmadd(__m256 x, __m256 y, __m256 z) { return _mm256_fnmadd_ps(x, y, z); }

struct Fma {
    static constexpr MeanLimit kLastGroupLimit = MeanLimit::Integer;

    // q = trunc(v * scale + 0.5) as an integer; with integer_clamp q is held to
    // 0 .. scale (done on the converted value, which is the same integer).
    template <typename V>
    static V snap(V v, bool clamp_low, bool clamp_high) {
        V q = truncate(fmadd(v, grid_scale<V>(), splat<V>(0.5f)));
        if (clamp_high) { q = min(q, grid_scale<V>()); }
        if (clamp_low) { q = max(q, splat<V>(0.0f)); }
        return mul(q, grid_step<V>());
    }
    template <typename V>
    static V snap_mean(V m, MeanLimit limit) {
        if (limit == MeanLimit::Float) { return snap(min(m, splat<V>(1.0f)), false, false); }
        return snap(m, false, limit == MeanLimit::Integer);
    }
    static __m128 snap_unit(__m128 v) { return snap(v, true, true); }

    template <int N, typename V>
    static V split_error(V s0, V s1, V a, V b, V wa, V wb) {
        V t = neg(mul(s0, a));
        t = fnmadd(s1, b, t);
        V s;
        if constexpr (N == 16) {
            s = add(mul(mul(wb, b), b), mul(mul(wa, a), a));
        } else {
            s = fmadd(a, mul(wa, a), mul(mul(wb, b), b));
        }
        return fmadd(t, splat<V>(2.0f), s);
    }

    static __m128 inverse_det(__m128 alpha2, __m128 beta2, __m128 ab) {
        return div(_mm_set1_ps(1.0f), fnmadd(ab, ab, mul(alpha2, beta2)));
    }
    static void end_points(__m128 alpha, __m128 beta, __m128 alpha2, __m128 beta2, __m128 ab, __m128 factor, __m128 *a,
                           __m128 *b) {
        *a = mul(fnmadd(ab, beta, mul(beta2, alpha)), factor);
        *b = mul(fnmadd(ab, alpha, mul(alpha2, beta)), factor);
    }
    static __m128 error(__m128 alpha, __m128 beta, __m128 alpha2, __m128 beta2, __m128 ab, __m128 a, __m128 b) {
        __m128 t = fnmadd(a, alpha, mul(mul(a, b), ab));
        t = fnmadd(b, beta, t);
        const __m128 s = fmadd(mul(a, a), alpha2, mul(mul(b, b), beta2));
        return fmadd(t, _mm_set1_ps(2.0f), s);
    }
};

}  // namespace

void cluster_search_e_count15_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e15<Fma>(best, bounds, sums);
}
void cluster_search_e_count16_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    search_e16<Fma>(best, bounds, sums);
}
void cluster_search_d_count15_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *records, const void *bounds_list) {
    search_d<Fma, false>(best, bounds, sums, nullptr, records, bounds_list);
}
void cluster_search_d_count16_fma(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                  const void *factors, const void *records, const void *bounds_list) {
    search_d<Fma, true>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
