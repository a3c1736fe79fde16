// Baseline search kernels of the cluster fit: every candidate of a list is solved by
// weighted least squares on the prepared range sums, its end points snapped to the 565
// grid, and it replaces the best only with a strictly smaller error (so among equal
// errors the one tried first stays).
//
// Sums of a candidate, lane by lane (lane 3 carries alpha2 and beta2):
//   alphax = (full[C0] + two_thirds[C2]) + one_third[C3]
//   betax  = (full[C1] + one_third[C2]) + two_thirds[C3]
// with absent clusters left out; an empty cluster read as the zero entry adds +0.0, so
// every array gives a partition the same bits.
#include <emmintrin.h>

#include <cstdio>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"

namespace {

inline __m128 at(const ClusterSums *sums, uint64_t offset) {
    return _mm_loadu_ps(reinterpret_cast<const float *>(reinterpret_cast<const uint8_t *>(sums) + offset));
}
inline float scalar_at(const void *base, uint64_t offset) {
    return *reinterpret_cast<const float *>(reinterpret_cast<const uint8_t *>(base) + offset);
}
inline float lane3(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3))); }

// Round half away from zero on the 565 grid: v * k + copysign(0.49999997, v), truncated,
// times the float of 1/k. Lane 3 has k = 0 and ends as 0.
inline __m128 snap(__m128 v) {
    const __m128 grid = _mm_setr_ps(31.0f, 63.0f, 31.0f, 0.0f);
    const __m128 step = _mm_setr_ps(0.032258064f, 0.015873017f, 0.032258064f, 0.0f);
    const __m128 sign = _mm_and_ps(v, _mm_set1_ps(-0.0f));
    const __m128 bias = _mm_or_ps(_mm_set1_ps(0.49999997f), sign);
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(v, grid), bias);
    return _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvttps_epi32(scaled)), step);
}

inline float sum3(__m128 e) {
    float l[4];
    _mm_storeu_ps(l, e);
    return (l[0] + l[1]) + l[2];
}

inline void keep(ClusterBest *best, ClusterBounds *bounds, __m128 start, __m128 end, float error, uint8_t b0,
                 uint8_t b1, uint8_t b2) {
    if (best->error > error) {
        _mm_storeu_ps(best->start, start);
        _mm_storeu_ps(best->end, end);
        best->error = error;
        bounds->b0 = b0;
        bounds->b1 = b1;
        bounds->b2 = b2;
    }
}

// One candidate from its sums; factor < 0 asks for the division.
inline void evaluate(ClusterBest *best, ClusterBounds *bounds, __m128 alphax, __m128 betax, float alphabeta,
                     float factor, const uint8_t *bnd) {
    const float alpha2 = lane3(alphax), beta2 = lane3(betax);
    const __m128 a2 = _mm_set1_ps(alpha2), b2 = _mm_set1_ps(beta2), ab = _mm_set1_ps(alphabeta);
    const __m128 f = _mm_set1_ps(factor);
    __m128 start = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(alphax, b2), _mm_mul_ps(betax, ab)), f);
    __m128 end = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(betax, a2), _mm_mul_ps(alphax, ab)), f);
    // Clamp to [0, 1]; the max comes first so that a NaN becomes 0.
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    start = snap(_mm_min_ps(_mm_max_ps(start, zero), one));
    end = snap(_mm_min_ps(_mm_max_ps(end, zero), one));
    // start^2 alpha2 + end^2 beta2 + 2 (start end alphabeta - start alphax - end betax):
    // the squared error minus the constant sum of w colour^2.
    const __m128 squares = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(start, start), a2), _mm_mul_ps(_mm_mul_ps(end, end), b2));
    const __m128 cross = _mm_sub_ps(_mm_sub_ps(_mm_mul_ps(_mm_mul_ps(start, end), ab), _mm_mul_ps(start, alphax)),
                                    _mm_mul_ps(end, betax));
    const float error = sum3(_mm_add_ps(squares, _mm_add_ps(cross, cross)));
    keep(best, bounds, start, end, error, bnd[0], bnd[1], bnd[2]);
}

inline float solve_factor(__m128 alphax, __m128 betax, float alphabeta) {
    return 1.0f / (lane3(alphax) * lane3(betax) - alphabeta * alphabeta);
}

// Rows of a pattern: fields are the present clusters (order 0, 2, 3, 1), the cross
// value and, for 16 colours, the factor offset.
template <uint8_t Mask, bool Sixteen>
const uint64_t *walk_pattern(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
                             const uint64_t *rec, const uint8_t *&bnd, uint32_t rows) {
    constexpr bool has0 = Mask & 1, has2 = Mask & 2, has3 = Mask & 4, has1 = Mask & 8;
    constexpr int fields = has0 + has2 + has3 + has1 + 1 + Sixteen;
    for (uint32_t r = 0; r < rows; ++r, rec += fields, bnd += 3) {
        int k = 0;
        const __m128 f0 = has0 ? at(sums, rec[k++]) : _mm_setzero_ps();
        const __m128 t2 = has2 ? at(sums, rec[k]) : _mm_setzero_ps();
        const __m128 u2 = has2 ? at(sums, rec[k++] + 16) : _mm_setzero_ps();
        const __m128 t3 = has3 ? at(sums, rec[k]) : _mm_setzero_ps();
        const __m128 u3 = has3 ? at(sums, rec[k++] + 16) : _mm_setzero_ps();
        const __m128 f1 = has1 ? at(sums, rec[k++]) : _mm_setzero_ps();
        const float alphabeta = scalar_at(sums, rec[k++]);
        __m128 alphax, betax;
        if constexpr (has0 && has2) {
            alphax = _mm_add_ps(f0, u2);
            alphax = has3 ? _mm_add_ps(alphax, t3) : alphax;
        } else if constexpr (has0) {
            alphax = has3 ? _mm_add_ps(f0, t3) : f0;
        } else if constexpr (has2) {
            alphax = has3 ? _mm_add_ps(u2, t3) : u2;
        } else {
            alphax = t3;
        }
        if constexpr (has1 && has2) {
            betax = _mm_add_ps(f1, t2);
            betax = has3 ? _mm_add_ps(betax, u3) : betax;
        } else if constexpr (has1) {
            betax = has3 ? _mm_add_ps(f1, u3) : f1;
        } else if constexpr (has2) {
            betax = has3 ? _mm_add_ps(t2, u3) : t2;
        } else {
            betax = u3;
        }
        const float factor = Sixteen ? scalar_at(factors, rec[k]) : solve_factor(alphax, betax, alphabeta);
        evaluate(best, bounds, alphax, betax, alphabeta, factor, bnd);
    }
    return rec;
}

template <int N, bool Sixteen = (N == 16)>
void search_a(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
              const void *records, const void *bounds_list) {
    constexpr uint32_t k = cluster_a_rows_per_pattern(N);
    const uint64_t *rec = static_cast<const uint64_t *>(records);
    const uint8_t *bnd = static_cast<const uint8_t *>(bounds_list);
    rec = walk_pattern<CLUSTER_PATTERN_31, Sixteen>(best, bounds, sums, factors, rec, bnd, k);
    rec = walk_pattern<CLUSTER_PATTERN_21, Sixteen>(best, bounds, sums, factors, rec, bnd, k);
    rec = walk_pattern<CLUSTER_PATTERN_23, Sixteen>(best, bounds, sums, factors, rec, bnd, k);
    rec = walk_pattern<CLUSTER_PATTERN_03, Sixteen>(best, bounds, sums, factors, rec, bnd, k);
    walk_pattern<CLUSTER_PATTERN_02, Sixteen>(best, bounds, sums, factors, rec, bnd, k);
}

template <int N, bool Sixteen = (N == 16)>
void search_b(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
              const void *records, const void *bounds_list) {
    constexpr const uint16_t *rows = kClusterBBlockRows[N];
    const uint64_t *rec = static_cast<const uint64_t *>(records);
    const uint8_t *bnd = static_cast<const uint8_t *>(bounds_list);
    rec = walk_pattern<CLUSTER_PATTERN_031, Sixteen>(best, bounds, sums, factors, rec, bnd, rows[0]);
    rec = walk_pattern<CLUSTER_PATTERN_021, Sixteen>(best, bounds, sums, factors, rec, bnd, rows[1]);
    rec = walk_pattern<CLUSTER_PATTERN_231, Sixteen>(best, bounds, sums, factors, rec, bnd, rows[2]);
    walk_pattern<CLUSTER_PATTERN_023, Sixteen>(best, bounds, sums, factors, rec, bnd, rows[3]);
}

// Arrays c and d: records of all four clusters.
template <int Rows, bool Sixteen>
void search_cd(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
               const void *records, const void *bounds_list) {
    const uint64_t *rec = static_cast<const uint64_t *>(records);
    const uint8_t *bnd = static_cast<const uint8_t *>(bounds_list);
    walk_pattern<0x0F, Sixteen>(best, bounds, sums, factors, rec, bnd, Rows);
}

// Split (k, k, k) from the full sums of [0, k) and [k, c): end points are the means of the
// two groups, either by division by their weights or, with unit weights, by multiplication
// with the float reciprocal of their sizes (a group of one colour is taken as it is).
inline void split_error(ClusterBest *best, ClusterBounds *bounds, __m128 x0, __m128 x1, __m128 start, __m128 end,
                        __m128 w0, __m128 w1, uint8_t k) {
    start = snap(start);
    end = snap(end);
    const __m128 squares = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(start, start), w0), _mm_mul_ps(_mm_mul_ps(end, end), w1));
    const __m128 dots = _mm_add_ps(_mm_mul_ps(start, x0), _mm_mul_ps(end, x1));
    const float error = sum3(_mm_sub_ps(squares, _mm_add_ps(dots, dots)));
    keep(best, bounds, start, end, error, k, k, k);
}

inline void split_means(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t off0, uint64_t off1,
                        uint8_t k) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 x0 = at(sums, off0), x1 = at(sums, off1);
    const __m128 w0 = _mm_set1_ps(lane3(x0)), w1 = _mm_set1_ps(lane3(x1));
    // Means of non-negative colours need no lower limit.
    split_error(best, bounds, x0, x1, _mm_min_ps(_mm_div_ps(x0, w0), one), _mm_min_ps(_mm_div_ps(x1, w1), one), w0, w1,
                k);
}

inline void split_unit(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t off0, uint64_t off1,
                       uint8_t k, const float *recips, const float *sizes) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 x0 = at(sums, off0), x1 = at(sums, off1);
    const __m128 start = k == 1 ? x0 : _mm_min_ps(_mm_mul_ps(x0, _mm_set1_ps(recips[0])), one);
    const __m128 end = k == 15 ? x1 : _mm_min_ps(_mm_mul_ps(x1, _mm_set1_ps(recips[1])), one);
    split_error(best, bounds, x0, x1, start, end, _mm_set1_ps(sizes[0]), _mm_set1_ps(sizes[1]), k);
}

// Reciprocals (1/k, 1/(16-k)) and sizes (k, 16-k) of the 16-colour splits, k = 1..15.
struct Split16Constants {
    float recips[16][2];
    float sizes[16][2];
    Split16Constants() : recips{}, sizes{} {
        for (int k = 1; k < 16; ++k) {
            recips[k][0] = 1.0f / static_cast<float>(k);
            recips[k][1] = 1.0f / static_cast<float>(16 - k);
            sizes[k][0] = static_cast<float>(k);
            sizes[k][1] = static_cast<float>(16 - k);
        }
    }
};
const Split16Constants kSplit16;

void split16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, int k) {
    split_unit(best, bounds, sums, 48ull * cluster_range_entry(16, 0, k), 48ull * cluster_range_entry(16, k, 16),
               static_cast<uint8_t>(k), kSplit16.recips[k], kSplit16.sizes[k]);
}

template <int N>
void search_e(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    for (int k = 1; k < N; ++k) {
        split_means(best, bounds, sums, 48ull * cluster_range_entry(N, 0, k), 48ull * cluster_range_entry(N, k, N),
                    static_cast<uint8_t>(k));
    }
}

// Sums of a record whose layout is given at run time (present clusters 0, 2, 3, 1 and the
// index of each field), added in the same order as the fixed patterns.
void record_sums(const ClusterSums *sums, const uint64_t *rec, const uint8_t *present, const uint8_t *position,
                 __m128 *alphax, __m128 *betax, float *alphabeta) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 f0 = present[0] ? at(sums, rec[position[0]]) : zero;
    const __m128 t2 = present[1] ? at(sums, rec[position[1]]) : zero;
    const __m128 u2 = present[1] ? at(sums, rec[position[1]] + 16) : zero;
    const __m128 t3 = present[2] ? at(sums, rec[position[2]]) : zero;
    const __m128 u3 = present[2] ? at(sums, rec[position[2]] + 16) : zero;
    const __m128 f1 = present[3] ? at(sums, rec[position[3]]) : zero;
    __m128 ax = present[0] ? f0 : u2;
    if (present[0] && present[1]) { ax = _mm_add_ps(ax, u2); }
    ax = present[2] ? (present[0] || present[1] ? _mm_add_ps(ax, t3) : t3) : ax;
    __m128 bx = present[3] ? f1 : t2;
    if (present[3] && present[1]) { bx = _mm_add_ps(bx, t2); }
    bx = present[2] ? (present[3] || present[1] ? _mm_add_ps(bx, u3) : u3) : bx;
    *alphax = ax;
    *betax = bx;
    *alphabeta = scalar_at(sums, rec[position[4]]);
}

// Both candidates are solved before either is offered, the first one first.
void try_pair(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
              const uint64_t *records, const uint8_t *bnd, const uint8_t *present, uint32_t record_len,
              const uint8_t *position, int candidates) {
    for (int c = 0; c < candidates; ++c) {
        const uint64_t *rec = records + static_cast<size_t>(c) * record_len;
        __m128 ax, bx;
        float ab;
        record_sums(sums, rec, present, position, &ax, &bx, &ab);
        const float factor = factors ? scalar_at(factors, rec[position[5]]) : solve_factor(ax, bx, ab);
        evaluate(best, bounds, ax, bx, ab, factor, bnd + 3 * c);
    }
}

constexpr uint8_t kAllPresent[4] = {1, 1, 1, 1};
constexpr uint8_t kFullPositions[6] = {0, 1, 2, 3, 4, 5};

bool middle_present(const uint8_t *present) {
    if (present[1] || present[2]) { return true; }
    printf("ERREUR : ALPHAX need part 1 et 2\n");
    return false;
}

}  // namespace

#define CF_SEARCH_A(arr, NN)                                                                                   \
    void cluster_search_a_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                            const void *records, const void *bounds_list) {                    \
        search_a<1##NN - 100>(best, bounds, sums, nullptr, records, bounds_list);                              \
    }
#define CF_SEARCH_B(arr, NN)                                                                                   \
    void cluster_search_b_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                            const void *records, const void *bounds_list) {                    \
        search_b<1##NN - 100>(best, bounds, sums, nullptr, records, bounds_list);                              \
    }
#define CF_SEARCH_C(arr, NN)                                                                                   \
    void cluster_search_c_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                            const void *records, const void *bounds_list) {                    \
        search_cd<kClusterCRows[1##NN - 100], false>(best, bounds, sums, nullptr, records, bounds_list);       \
    }
#define CF_SEARCH_D(arr, NN)                                                                                   \
    void cluster_search_d_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, \
                                            const void *records, const void *bounds_list) {                    \
        search_cd<kClusterDRows[1##NN - 100], false>(best, bounds, sums, nullptr, records, bounds_list);       \
    }
#define CF_SEARCH_E(NN)                                                                                          \
    void cluster_search_e_count##NN##_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) { \
        search_e<1##NN - 100>(best, bounds, sums);                                                               \
    }
CLUSTER_FOR_EACH_SEARCH_A(CF_SEARCH_A)
CLUSTER_FOR_EACH_SEARCH_B(CF_SEARCH_B)
CLUSTER_FOR_EACH_SEARCH_C(CF_SEARCH_C)
CLUSTER_FOR_EACH_SEARCH_D(CF_SEARCH_D)
CLUSTER_FOR_EACH_SEARCH_E(CF_SEARCH_E)

void cluster_search_e_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums) {
    split16(best, bounds, sums, 1);
    split16(best, bounds, sums, 15);
    for (int k = 2; k <= 14; ++k) { split16(best, bounds, sums, k); }
}

void cluster_search_a_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                    const void *factors, const void *records, const void *bounds_list) {
    search_a<16>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
void cluster_search_b_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                    const void *factors, const void *records, const void *bounds_list) {
    search_b<16>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
void cluster_search_c_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                    const void *factors, const void *records, const void *bounds_list) {
    search_cd<kClusterCRows[16], true>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}
void cluster_search_d_count16_sse41(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                    const void *factors, const void *records, const void *bounds_list) {
    search_cd<kClusterDRows[16], true>(best, bounds, sums, static_cast<const float *>(factors), records, bounds_list);
}

// ---------------------------------------------------------------------------------------
// Evaluators for callers that hold their own candidate records.

void cluster_try_partition(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const uint64_t *records,
                           const uint8_t *bounds_list) {
    try_pair(best, bounds, sums, nullptr, records, bounds_list, kAllPresent, 5, kFullPositions, 2);
}

void cluster_try_partition_one(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                               const uint64_t *record, const uint8_t *bounds_list) {
    try_pair(best, bounds, sums, nullptr, record, bounds_list, kAllPresent, 5, kFullPositions, 1);
}

void cluster_try_partition_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const float *factors,
                              const uint64_t *records, const uint8_t *bounds_list) {
    try_pair(best, bounds, sums, factors, records, bounds_list, kAllPresent, 6, kFullPositions, 2);
}

void cluster_try_alphax_betax(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                              const uint64_t *records, const uint8_t *bounds_list, const uint8_t *present,
                              uint32_t record_len, const uint8_t *position) {
    if (middle_present(present)) {
        try_pair(best, bounds, sums, nullptr, records, bounds_list, present, record_len, position, 2);
    }
}

void cluster_try_alphax_betax_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                 const float *factors, const uint64_t *records, const uint8_t *bounds_list,
                                 const uint8_t *present, uint32_t record_len, const uint8_t *position) {
    if (middle_present(present)) {
        try_pair(best, bounds, sums, factors, records, bounds_list, present, record_len, position, 2);
    }
}

void cluster_try_splits(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, const uint64_t *pairs,
                        uint64_t count) {
    if (count == 1) { return; }
    const uint64_t last = count <= 2 ? 1 : count - 1;
    for (uint64_t k = 1; k <= last; ++k) {
        split_means(best, bounds, sums, pairs[2 * (k - 1)], pairs[2 * (k - 1) + 1], static_cast<uint8_t>(k));
    }
}

void cluster_try_split_16(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                          uint64_t offset1, uint8_t k, const float *constants) {
    const float recips[2] = {constants[0], constants[1]}, sizes[2] = {constants[2], constants[3]};
    split_unit(best, bounds, sums, offset0, offset1, k, recips, sizes);
}

void cluster_try_split_16_first(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                                uint64_t offset1, const float *constants) {
    const float recips[2] = {1.0f, constants[0]}, sizes[2] = {1.0f, constants[1]};
    split_unit(best, bounds, sums, offset0, offset1, 1, recips, sizes);
}

void cluster_try_split_16_last(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums, uint64_t offset0,
                               uint64_t offset1, const float *constants) {
    const float recips[2] = {constants[0], 1.0f}, sizes[2] = {constants[1], 1.0f};
    split_unit(best, bounds, sums, offset0, offset1, 15, recips, sizes);
}
