// Range sums of the sorted, weighted colours for counts 2..16, AVX tier (both search
// tiers read them). Each run's `full` extends the previous run of its row by one colour,
// except a few runs of counts 4 to 6 that are built from two halves; `one_third` and
// `two_thirds` are the run's rounded `full` times the constants (count 3 adds the
// single-colour products for its runs of two). Cross values scale each weight by 2/9
// first and extend along the row the same way; count 16 stores them by run length.
#include <immintrin.h>

#include <cstring>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {

// Split point of a run built from two halves [i, m) + [m, j), or 0 for the running form.
constexpr uint32_t full_split(uint32_t c, uint32_t i, uint32_t j) {
    if (c == 5 && i == 0 && j == 4) { return 2; }
    if (c == 5 && i == 1 && j == 5) { return 3; }
    if (c == 6 && i == 0 && j == 4) { return 2; }
    return 0;
}
constexpr uint32_t cross_split(uint32_t c, uint32_t i, uint32_t j) {
    if ((c == 4 || c == 5) && i == 0 && j == 4) { return 2; }
    if (c == 5 && i == 0 && j == 5) { return 3; }
    if (c == 5 && i == 1 && j == 5) { return 3; }
    if (c == 6 && i == 0 && j == 6) { return 3; }
    if (c == 6 && i == 1 && j == 6) { return 4; }
    return 0;
}

// Count 16: the cross value of a run by its length, the float nearest to 2L/9.
struct Cross16 {
    float v[17];
    constexpr Cross16() : v{} {
        for (int l = 0; l <= 16; ++l) { v[l] = static_cast<float>(2 * l) / 9.0f; }
    }
};
constexpr Cross16 kCross16;

inline __m128 color(const float (*sorted)[4], uint32_t k) { return _mm_load_ps(sorted[k]); }

// Left-to-right sum of colours i .. j-1 (a run that is not itself split).
inline __m128 running_full(const float (*sorted)[4], uint32_t i, uint32_t j) {
    __m128 s = color(sorted, i);
    for (uint32_t k = i + 1; k < j; ++k) { s = _mm_add_ps(s, color(sorted, k)); }
    return s;
}
inline float running_cross(const float *x, uint32_t i, uint32_t j) {
    float s = x[i];
    for (uint32_t k = i + 1; k < j; ++k) { s = s + x[k]; }
    return s;
}

template <uint32_t C>
void prepare(const float (*sorted)[4], ClusterSums *out) {
    float *const sums = out->values;
    const __m128 third = _mm_setr_ps(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 9.0f);
    const __m128 two_thirds = _mm_setr_ps(2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 4.0f / 9.0f);
    const __m128 zero = _mm_setzero_ps();
    _mm_store_ps(sums + 0, zero);
    _mm_store_ps(sums + 4, zero);
    _mm_store_ps(sums + 8, zero);
#pragma GCC unroll 16
    for (uint32_t i = 0; i < C; ++i) {
        __m128 full = color(sorted, i);
#pragma GCC unroll 16
        for (uint32_t j = i + 1; j <= C; ++j) {
            if (j > i + 1) {
                const uint32_t m = full_split(C, i, j);
                full = m != 0 ? _mm_add_ps(running_full(sorted, i, m), running_full(sorted, m, j))
                              : _mm_add_ps(full, color(sorted, j - 1));
            }
            if (i == 0 && j == C) { break; }  // the whole run has no entry
            float *const e = sums + 12 * cluster_range_entry(C, i, j);
            _mm_store_ps(e, full);
            if (C == 3 && j == i + 2) {
                const __m128 c0 = color(sorted, i), c1 = color(sorted, i + 1);
                _mm_store_ps(e + 4, _mm_add_ps(_mm_mul_ps(c0, third), _mm_mul_ps(c1, third)));
                _mm_store_ps(e + 8, _mm_add_ps(_mm_mul_ps(c0, two_thirds), _mm_mul_ps(c1, two_thirds)));
            } else {
                _mm_store_ps(e + 4, _mm_mul_ps(full, third));
                _mm_store_ps(e + 8, _mm_mul_ps(full, two_thirds));
            }
        }
    }
    float *const cross = sums + 12 * cluster_range_entries(C);
    if constexpr (C == 16) {
        std::memcpy(cross, kCross16.v, sizeof kCross16.v);
    } else {
        float x[C];
#pragma GCC unroll 16
        for (uint32_t k = 0; k < C; ++k) { x[k] = sorted[k][3] * (2.0f / 9.0f); }
        cross[0] = 0.0f;
#pragma GCC unroll 16
        for (uint32_t i = 0; i < C; ++i) {
            float s = x[i];
#pragma GCC unroll 16
            for (uint32_t j = i + 1; j <= C; ++j) {
                if (j > i + 1) {
                    const uint32_t m = cross_split(C, i, j);
                    s = m != 0 ? running_cross(x, i, m) + running_cross(x, m, j) : s + x[j - 1];
                }
                cross[cluster_cross_index(C, i, j)] = s;
            }
        }
    }
}

}  // namespace

#define CLUSTER_AVX_PREPARE(NN)                                                        \
    void cluster_prepare_count##NN##_avx(const float(*sorted)[4], ClusterSums *sums) { \
        prepare<1##NN - 100>(sorted, sums);                                            \
    }
CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_PREPARE)
#undef CLUSTER_AVX_PREPARE
