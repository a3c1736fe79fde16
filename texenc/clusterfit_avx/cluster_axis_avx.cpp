// Principal axis and projections of a block's distinct colours, AVX tier, one template
// over the colour count. The colours are transposed into channel vectors (four lanes up
// to 4 colours, eight per vector from 5); lanes past the count hold a zero colour with
// weight -0, so their terms are -0 and leave every sum unchanged. Each sum is added in
// the tree of its count; every product and sum is rounded on its own.
#include <immintrin.h>

#include <bit>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx")

namespace {

inline __m128 add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
inline __m256 add(__m256 a, __m256 b) { return _mm256_add_ps(a, b); }
inline __m128 sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m256 sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
inline __m128 mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m256 mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
inline __m128 and_(__m128 a, __m128 b) { return _mm_and_ps(a, b); }
inline __m256 and_(__m256 a, __m256 b) { return _mm256_and_ps(a, b); }
inline __m128 or_(__m128 a, __m128 b) { return _mm_or_ps(a, b); }
inline __m256 or_(__m256 a, __m256 b) { return _mm256_or_ps(a, b); }
inline __m256 lane_splat(__m256, __m128 v) { return _mm256_set_m128(v, v); }

template <bool Wide>
struct VectorOf {
    using V = __m128;
};
template <>
struct VectorOf<true> {
    using V = __m256;
};

// Vector shape of count N: lanes per vector and vectors per channel.
template <int N>
struct Shape {
    static constexpr int kLanes = N <= 4 ? 4 : 8;
    static constexpr int kVectors = N <= 8 ? 1 : 2;
    using V = typename VectorOf<(N > 4)>::V;
};

// Present lanes all ones, lanes past the count zero; and -0 in the lanes past the count.
template <int N, int First>
constexpr float present(int lane) {
    return First + lane < N ? std::bit_cast<float>(0xFFFFFFFFu) : 0.0f;
}
template <int N, int First>
constexpr float absent_sign(int lane) {
    return First + lane < N ? 0.0f : -0.0f;
}
template <int N, int First>
typename Shape<N>::V lane_mask(bool sign) {
    if constexpr (Shape<N>::kLanes == 4) {
        return sign ? _mm_setr_ps(absent_sign<N, First>(0), absent_sign<N, First>(1), absent_sign<N, First>(2),
                                  absent_sign<N, First>(3))
                    : _mm_setr_ps(present<N, First>(0), present<N, First>(1), present<N, First>(2),
                                  present<N, First>(3));
    } else {
        return sign ? _mm256_setr_ps(absent_sign<N, First>(0), absent_sign<N, First>(1), absent_sign<N, First>(2),
                                     absent_sign<N, First>(3), absent_sign<N, First>(4), absent_sign<N, First>(5),
                                     absent_sign<N, First>(6), absent_sign<N, First>(7))
                    : _mm256_setr_ps(present<N, First>(0), present<N, First>(1), present<N, First>(2),
                                     present<N, First>(3), present<N, First>(4), present<N, First>(5),
                                     present<N, First>(6), present<N, First>(7));
    }
}

template <int N>
inline __m128 color(const float (*colors)[4], int k) {
    return k < N ? _mm_loadu_ps(colors[k]) : _mm_setzero_ps();
}

// Red, green and blue of colours First .. First + lanes - 1 (zero past the count).
template <int N, int First>
void channels(const float (*colors)[4], typename Shape<N>::V *r, typename Shape<N>::V *g, typename Shape<N>::V *b) {
    if constexpr (Shape<N>::kLanes == 4) {
        __m128 c0 = color<N>(colors, 0), c1 = color<N>(colors, 1), c2 = color<N>(colors, 2), c3 = color<N>(colors, 3);
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        *r = c0;
        *g = c1;
        *b = c2;
    } else {
        // Colour k in the low half, k + 4 in the high half; then a transpose in each half.
        __m256 t[4];
        for (int k = 0; k < 4; ++k) {
            t[k] = _mm256_set_m128(color<N>(colors, First + k + 4), color<N>(colors, First + k));
        }
        const __m256 rg01 = _mm256_unpacklo_ps(t[0], t[1]), bx01 = _mm256_unpackhi_ps(t[0], t[1]);
        const __m256 rg23 = _mm256_unpacklo_ps(t[2], t[3]), bx23 = _mm256_unpackhi_ps(t[2], t[3]);
        *r = _mm256_shuffle_ps(rg01, rg23, _MM_SHUFFLE(1, 0, 1, 0));
        *g = _mm256_shuffle_ps(rg01, rg23, _MM_SHUFFLE(3, 2, 3, 2));
        *b = _mm256_shuffle_ps(bx01, bx23, _MM_SHUFFLE(1, 0, 1, 0));
    }
}

// Weights of colours First ..; -0 past the count (those entries are not read).
template <int N, int First>
typename Shape<N>::V load_weights(const float *weights) {
    const auto mask = lane_mask<N, First>(false);
    if constexpr (Shape<N>::kLanes == 4) {
        return or_(_mm_maskload_ps(weights + First, _mm_castps_si128(mask)), lane_mask<N, First>(true));
    } else {
        return or_(_mm256_maskload_ps(weights + First, _mm256_castps_si256(mask)), lane_mask<N, First>(true));
    }
}

// (a0+a1)+(a2+a3), likewise b, c, d: one lane each.
inline __m128 tree4(__m128 a, __m128 b, __m128 c, __m128 d) {
    return _mm_hadd_ps(_mm_hadd_ps(a, b), _mm_hadd_ps(c, d));
}

// Sums of four term vectors (of one or two vectors each) in the tree of count N.
template <int N>
__m128 reduce(const typename Shape<N>::V *a, const typename Shape<N>::V *b, const typename Shape<N>::V *c,
              const typename Shape<N>::V *d) {
    if constexpr (N <= 4) {
        return tree4(*a, *b, *c, *d);
    } else if constexpr (N < 8) {
        // ((x0 + x4) + (x1 + x5)) + ((x2 + x6) + (x3 + x7))
        auto fold = [](__m256 x) { return _mm_add_ps(_mm256_castps256_ps128(x), _mm256_extractf128_ps(x, 1)); };
        return tree4(fold(*a), fold(*b), fold(*c), fold(*d));
    } else {
        // Count 8: ((x0 + x1) + (x2 + x3)) + ((x4 + x5) + (x6 + x7)); from 9 on the same
        // tree over x_i + x_(i+8).
        __m256 x[4] = {a[0], b[0], c[0], d[0]};
        if constexpr (N > 8) {
            x[0] = add(x[0], a[1]);
            x[1] = add(x[1], b[1]);
            x[2] = add(x[2], c[1]);
            x[3] = add(x[3], d[1]);
        }
        const __m256 h = _mm256_hadd_ps(_mm256_hadd_ps(x[0], x[1]), _mm256_hadd_ps(x[2], x[3]));
        return _mm_add_ps(_mm256_castps256_ps128(h), _mm256_extractf128_ps(h, 1));
    }
}

inline __m128 splat_lane0(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 0, 0, 0)); }
inline __m128 splat_lane1(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)); }
inline __m128 splat_lane2(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)); }

template <int N>
void axis_of(float *axis, const float (*colors)[4], const float *weights) {
    using V = typename Shape<N>::V;
    constexpr int kV = Shape<N>::kVectors;
    V r[kV], g[kV], b[kV], w[kV];
    channels<N, 0>(colors, &r[0], &g[0], &b[0]);
    if constexpr (kV == 2) { channels<N, 8>(colors, &r[1], &g[1], &b[1]); }
    V wr[kV], wg[kV], wb[kV];
    for (int i = 0; i < kV; ++i) {
        if constexpr (N == 16) {
            w[i] = wr[i] = r[i];  // no weights; w[i] unused
            wg[i] = g[i];
            wb[i] = b[i];
        } else {
            w[i] = i == 0 ? load_weights<N, 0>(weights) : load_weights<N, 8>(weights);
            wr[i] = mul(w[i], r[i]);
            wg[i] = mul(w[i], g[i]);
            wb[i] = mul(w[i], b[i]);
        }
    }
    // (W, S_r, S_g, S_b), W a constant for 15 and 16 colours.
    __m128 sums = reduce<N>(w, wr, wg, wb);
    if constexpr (N == 15) { sums = _mm_blend_ps(sums, _mm_set_ss(15.414213f), 1); }
    if constexpr (N == 16) { sums = _mm_blend_ps(sums, _mm_set_ss(16.0f), 1); }
    // (S_r, S_g, S_b, W) / W
    const __m128 mean = _mm_div_ps(_mm_shuffle_ps(sums, sums, _MM_SHUFFLE(0, 3, 2, 1)), splat_lane0(sums));

    V dr[kV], dg[kV], db[kV];
    V t[6][kV];  // rr, gg, bb, rg, rb, gb
    for (int i = 0; i < kV; ++i) {
        const __m128 mr = splat_lane0(mean), mg = splat_lane1(mean), mb = splat_lane2(mean);
        if constexpr (Shape<N>::kLanes == 4) {
            dr[i] = sub(r[i], mr);
            dg[i] = sub(g[i], mg);
            db[i] = sub(b[i], mb);
        } else {
            dr[i] = sub(r[i], lane_splat(r[i], mr));
            dg[i] = sub(g[i], lane_splat(g[i], mg));
            db[i] = sub(b[i], lane_splat(b[i], mb));
        }
        if constexpr (N != 16) {
            // Deviations past the count are +0, so with the -0 weight every term is -0.
            const V keep = i == 0 ? lane_mask<N, 0>(false) : lane_mask<N, 8>(false);
            dr[i] = and_(dr[i], keep);
            dg[i] = and_(dg[i], keep);
            db[i] = and_(db[i], keep);
            const V wdr = mul(w[i], dr[i]), wdg = mul(w[i], dg[i]), wdb = mul(w[i], db[i]);
            t[0][i] = mul(wdr, dr[i]);
            t[1][i] = mul(wdg, dg[i]);
            t[2][i] = mul(wdb, db[i]);
            t[3][i] = mul(wdg, dr[i]);
            t[4][i] = mul(wdb, dr[i]);
            t[5][i] = mul(wdb, dg[i]);
        } else {
            t[0][i] = mul(dr[i], dr[i]);
            t[1][i] = mul(dg[i], dg[i]);
            t[2][i] = mul(db[i], db[i]);
            t[3][i] = mul(dg[i], dr[i]);
            t[4][i] = mul(db[i], dr[i]);
            t[5][i] = mul(db[i], dg[i]);
        }
    }
    const __m128 cov0 = reduce<N>(t[0], t[1], t[2], t[3]);  // rr, gg, bb, rg
    const __m128 cov1 = reduce<N>(t[4], t[5], t[4], t[5]);  // rb, gb, rb, gb
    alignas(16) float c0[4], c1[4];
    _mm_store_ps(c0, cov0);
    _mm_store_ps(c1, cov1);
    const float rr = c0[0], gg = c0[1], bb = c0[2], rg = c0[3], rb = c1[0], gb = c1[1];
    const __m128 col_r = _mm_setr_ps(rr, rg, rb, 0.0f);
    const __m128 col_g = _mm_setr_ps(rg, gg, gb, 0.0f);
    const __m128 col_b = _mm_setr_ps(rb, gb, bb, 0.0f);

    // Power iteration from (1, 1, 1), scaled by the signed largest component.
    __m128 v = _mm_add_ps(_mm_add_ps(col_r, col_g), col_b);
    __m128 u = v;
    for (int step = 0; step < 4; ++step) {
        const __m128 m = _mm_max_ss(_mm_max_ss(splat_lane1(v), v), splat_lane2(v));
        const __m128 s = _mm_div_ss(_mm_set_ss(1.0f), m);
        u = _mm_mul_ps(v, splat_lane0(s));
        if (step < 3) {
            v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(col_r, splat_lane0(u)), _mm_mul_ps(col_g, splat_lane1(u))),
                           _mm_mul_ps(col_b, splat_lane2(u)));
        }
    }
    _mm_storeu_ps(axis, u);
}

// Projections of colours 0 .. N-1 and of zero colours to the end of the last vector
// written (4, 8, 9, 12 or 16 entries).
template <int N>
void project(float *projections, const float (*colors)[4], const float *axis) {
    const __m128 a = _mm_loadu_ps(axis);
    const __m128 ar = splat_lane0(a), ag = splat_lane1(a), ab = splat_lane2(a);
    using V = typename Shape<N>::V;
    V r, g, b;
    channels<N, 0>(colors, &r, &g, &b);
    if constexpr (N <= 4) {
        _mm_storeu_ps(projections, add(add(mul(r, ar), mul(g, ag)), mul(b, ab)));
    } else {
        const V vr = lane_splat(r, ar), vg = lane_splat(r, ag), vb = lane_splat(r, ab);
        _mm256_storeu_ps(projections, add(add(mul(r, vr), mul(g, vg)), mul(b, vb)));
        if constexpr (N > 8) {
            channels<N, 8>(colors, &r, &g, &b);
            const __m256 p = add(add(mul(r, vr), mul(g, vg)), mul(b, vb));
            if constexpr (N == 9) {
                _mm_store_ss(projections + 8, _mm256_castps256_ps128(p));
            } else if constexpr (N <= 12) {
                _mm_storeu_ps(projections + 8, _mm256_castps256_ps128(p));
            } else {
                _mm256_storeu_ps(projections + 8, p);
            }
        }
    }
}

}  // namespace

#define CLUSTER_AVX_AXIS_PROJECT(NN)                                                                       \
    void cluster_axis_count##NN##_avx(float *axis, const float(*colors)[4], const float *weights) {        \
        axis_of<1##NN - 100>(axis, colors, weights);                                                       \
    }                                                                                                      \
    void cluster_project_count##NN##_avx(float *projections, const float(*colors)[4], const float *axis) { \
        project<1##NN - 100>(projections, colors, axis);                                                   \
    }
CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_AXIS_PROJECT)
#undef CLUSTER_AVX_AXIS_PROJECT

void cluster_init_axis_project_avx(DxtEncOps *ops) {
#define CLUSTER_AVX_SET_AXIS_PROJECT(NN)                           \
    ops->cluster_axis[1##NN - 102] = cluster_axis_count##NN##_avx; \
    ops->cluster_project[1##NN - 102] = cluster_project_count##NN##_avx;
    CLUSTER_AVX_FOR_EACH_COUNT(CLUSTER_AVX_SET_AXIS_PROJECT)
#undef CLUSTER_AVX_SET_AXIS_PROJECT
}
