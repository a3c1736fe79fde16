#pragma once
// Walk of the search kinds a, b and c for 13 to 16 colours at the AVX tiers. Each list
// is cut into segments of whole steps of four rows; a segment forms its sums in one way
// (its shape, which fixes what the row's offsets name and how the sums are bracketed)
// and writes the bound bytes that all its rows share as constants. The constants are
// derived here, when compiling, from the same rows the run-time tables are built from.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_rows.h"
#include "texenc/clusterfit/cluster_tables.h"

enum class RunShape : uint8_t {
    // Kind a: leading run [0, k) and trailing run [k, n) on two palette points.
    // Offsets: leading run, trailing run, cross.
    LeadOn3TrailOn1,  // (0, 0, k)
    LeadOn2TrailOn1,  // (0, k, k)
    LeadOn2TrailOn3,  // (0, k, n)
    LeadOn0TrailOn3,  // (k, k, n)
    LeadOn0TrailOn2,  // (k, n, n)
    // Kind b: three runs, index 2, 3, 0 or 1 empty. Offsets: the three runs, cross.
    Empty2,  // (i, i, j)
    Empty3,  // (i, j, j)
    Empty0,  // (0, i, j)
    Empty1,  // (i, j, n)
    // Kind c: four runs (0, 2, 3, 1), then cross. alpha = S0 + A2 + A3 and
    // beta = B2 + B3 + S1 bracketed as named.
    MiddleFirst,   // S0 + (A2 + A3), (B2 + B3) + S1
    LeadingFirst,  // (S0 + A2) + A3, (B2 + B3) + S1
    TrailingFirst  // S0 + (A2 + A3), B2 + (B3 + S1)
};

// Offsets per row of a shape, without the 16-colour factor offset that ends every row.
constexpr uint32_t run_shape_fields(RunShape s) {
    return s <= RunShape::LeadOn0TrailOn2 ? 3 : s <= RunShape::Empty1 ? 4 : 5;
}

struct RunSegment {
    RunShape shape{};
    uint16_t steps = 0;
    int16_t fixed[3] = {-1, -1, -1};  // bound byte shared by every row, -1 if none
};

struct RunSpan {
    RunShape shape;
    uint16_t steps;
};

constexpr uint32_t kRunKindARows = 12;  // splits k = 1 .. 12 per placement at 13 to 16 colours

// Calls f(row) for rows first .. first + count - 1 of kind 'a', 'b' or 'c' of count n.
template <typename F>
constexpr void run_rows(char kind, uint32_t n, uint32_t first, uint32_t count, F &&f) {
    if (kind == 'a') {
        for (uint32_t r = first; r < first + count; ++r) { f(cluster_a_row(n, kRunKindARows, r)); }
    } else {
        cluster_for_rows(kind == 'b' ? kClusterRowsB[n] : kClusterRowsC[n], first, count, f);
    }
}

constexpr uint32_t run_list_rows(char kind, uint32_t n) {
    if (kind == 'a') { return 5 * kRunKindARows; }
    if (kind == 'c') { return kClusterCRows[n]; }
    uint32_t rows = 0;
    for (uint16_t r : kClusterBBlockRows[n]) { rows += r; }
    return rows;
}

template <size_t S>
constexpr std::array<RunSegment, S> make_run_plan(char kind, uint32_t n, const RunSpan (&spans)[S]) {
    std::array<RunSegment, S> plan{};
    uint32_t first = 0;
    for (size_t s = 0; s < S; ++s) {
        RunSegment &seg = plan[s];
        seg.shape = spans[s].shape;
        seg.steps = spans[s].steps;
        int16_t common[3] = {-2, -2, -2};  // -2: no row seen yet
        run_rows(kind, n, first, 4u * seg.steps, [&](ClusterRow r) {
            const int16_t b[3] = {r.b0, r.b1, r.b2};
            for (int i = 0; i < 3; ++i) { common[i] = common[i] == -2 || common[i] == b[i] ? b[i] : int16_t(-1); }
        });
        for (int i = 0; i < 3; ++i) { seg.fixed[i] = common[i] < 0 ? int16_t(-1) : common[i]; }
        first += 4u * seg.steps;
    }
    return plan;
}

// Rows of a plan, and the segment that holds a row.
template <size_t S>
constexpr uint32_t run_plan_rows(const std::array<RunSegment, S> &plan) {
    uint32_t rows = 0;
    for (const RunSegment &seg : plan) { rows += 4u * seg.steps; }
    return rows;
}
template <size_t S>
constexpr size_t run_plan_segment(const std::array<RunSegment, S> &plan, uint32_t row) {
    uint32_t first = 0;
    for (size_t s = 0; s < S; ++s) {
        first += 4u * plan[s].steps;
        if (row < first) { return s; }
    }
    return S;
}

// The segments tile the list exactly, and a shape that names runs by pattern covers
// exactly the rows of that pattern (kind b: its blocks in order, each in one or more
// segments).
template <size_t S>
constexpr bool run_plan_fits(const std::array<RunSegment, S> &plan, char kind, uint32_t n) {
    uint32_t rows = 0, text_rows = 0, block_rows[4] = {};
    for (size_t s = 0; s < S; ++s) {
        const uint32_t seg_rows = 4u * plan[s].steps;
        if (kind == 'a' && (seg_rows != kRunKindARows || plan[s].shape != RunShape(s))) { return false; }
        if (kind == 'b') {
            if (plan[s].shape < RunShape::Empty2 || plan[s].shape > RunShape::Empty1) { return false; }
            if (s > 0 && plan[s].shape < plan[s - 1].shape) { return false; }
            block_rows[int(plan[s].shape) - int(RunShape::Empty2)] += seg_rows;
        }
        if (kind == 'c' && plan[s].shape < RunShape::MiddleFirst) { return false; }
        rows += seg_rows;
    }
    if (kind == 'b') {
        for (int b = 0; b < 4; ++b) {
            if (block_rows[b] != kClusterBBlockRows[n][b]) { return false; }
        }
    }
    run_rows(kind, n, 0, 1000, [&](ClusterRow) { ++text_rows; });
    return rows == run_list_rows(kind, n) && (kind == 'a' || text_rows == rows);
}

// Rows of a list, known when compiling.
template <char Kind, uint32_t N>
inline constexpr auto kRunRows = [] {
    std::array<ClusterRow, run_list_rows(Kind, N)> rows{};
    uint32_t i = 0;
    run_rows(Kind, N, 0, run_list_rows(Kind, N), [&](ClusterRow r) { rows[i++] = r; });
    return rows;
}();

// Non-empty clusters of a shape's rows: bit 0 cluster 0, bit 1 cluster 2, bit 2 cluster
// 3, bit 3 cluster 1 (the patterns of the tables).
constexpr uint8_t run_shape_clusters(RunShape s) {
    switch (s) {
    case RunShape::LeadOn3TrailOn1: return 0x0C;
    case RunShape::LeadOn2TrailOn1: return 0x0A;
    case RunShape::LeadOn2TrailOn3: return 0x06;
    case RunShape::LeadOn0TrailOn3: return 0x05;
    case RunShape::LeadOn0TrailOn2: return 0x03;
    case RunShape::Empty2: return 0x0D;
    case RunShape::Empty3: return 0x0B;
    case RunShape::Empty0: return 0x0E;
    case RunShape::Empty1: return 0x07;
    default: return 0x0F;
    }
}

// Offsets of one row into the sums, the numbers its record in the tables holds: the
// clusters of its shape in the order 0, 2, 3, 1 (`full` on index 0 and 1, `one_third` on
// 2 and 3; an empty one names the empty entry), then its cross value.
struct RunRowFields {
    uint64_t at[5] = {};
};
constexpr RunRowFields run_row_fields(uint32_t n, RunShape shape, ClusterRow r) {
    const uint32_t cut[5] = {0, r.b0, r.b1, r.b2, n};
    const uint8_t clusters = run_shape_clusters(shape);
    RunRowFields out;
    int f = 0;
    for (int k = 0; k < 4; ++k) {
        if (!(clusters & (1u << k))) { continue; }
        const uint32_t i = cut[k], j = cut[k + 1];
        const uint64_t middle = k == 1 || k == 2 ? 16 : 0;
        out.at[f++] = (i == j ? 0 : 48ull * cluster_range_entry(n, i, j)) + middle;
    }
    const uint32_t cross = n == 16 ? r.b2 - r.b0 : cluster_cross_index(n, r.b0, r.b2);
    out.at[f] = cluster_cross_base(n) + 4ull * cross;
    return out;
}

// 16 colours: a row's factor is determined by this key (81 times its determinant).
constexpr int64_t run_factor_key16(ClusterRow r) {
    const int64_t p = r.b0, q = r.b1 - r.b0, t = r.b2 - r.b1, s = 16 - r.b2;
    return (9 * p + 4 * q + t) * (9 * s + q + 4 * t) - 4 * (q + t) * (q + t);
}
// The table's value of a key: the float nearest 81 / d among the quotient rounded to
// float and its neighbours toward 0 and toward 1 (as the table is built).
constexpr float run_factor16(int64_t d) {
    const float f = static_cast<float>(81.0 / static_cast<double>(d));
    const uint32_t bits = std::bit_cast<uint32_t>(f);
    const float toward_zero = std::bit_cast<float>(bits - 1);
    const float toward_one = f < 1.0f ? std::bit_cast<float>(bits + 1) : f > 1.0f ? toward_zero : f;
    auto dist = [d](float g) {
        const double x = static_cast<double>(g) * static_cast<double>(d) - 81.0;
        return x < 0 ? -x : x;
    };
    float best = f;
    double best_dist = dist(f);
    for (float g : {toward_zero, toward_one}) {
        if (dist(g) < best_dist) {
            best = g;
            best_dist = dist(g);
        }
    }
    return best;
}
// 16 colours: the factors of a list's rows in row order, padded with copies of the last
// to whole groups of eight.
template <char Kind>
struct RunFactors16 {
    alignas(32) float value[(run_list_rows(Kind, 16) + 7) / 8 * 8] = {};
};
template <char Kind>
inline constexpr RunFactors16<Kind> kRunFactors16 = [] {
    RunFactors16<Kind> f;
    constexpr uint32_t rows = run_list_rows(Kind, 16);
    for (uint32_t r = 0; r < (rows + 7) / 8 * 8; ++r) {
        f.value[r] = run_factor16(run_factor_key16(kRunRows<Kind, 16>[r < rows ? r : rows - 1]));
    }
    return f;
}();

// What the rows of each step of a segment share, so that a kernel reads it once per step:
// the fields (bit f for field f) equal in the four rows of every step, and whether the
// four cross values of every step follow one another or are one.
enum class CrossRead : uint8_t { Each, Consecutive, One };
struct RunReads {
    uint8_t shared = 0;
    CrossRead cross = CrossRead::Each;
};
template <size_t S>
constexpr RunReads run_segment_reads(char kind, uint32_t n, const std::array<RunSegment, S> &plan, size_t seg) {
    uint32_t first = 0;
    for (size_t s = 0; s < seg; ++s) { first += 4u * plan[s].steps; }
    const RunShape shape = plan[seg].shape;
    const uint32_t fields = run_shape_fields(shape);
    uint8_t shared = uint8_t((1u << (fields - 1)) - 1);
    bool consecutive = true, one = true;
    for (uint32_t step = 0; step < plan[seg].steps; ++step) {
        RunRowFields f[4];
        uint32_t i = 0;
        run_rows(kind, n, first + 4 * step, 4, [&](ClusterRow r) { f[i++] = run_row_fields(n, shape, r); });
        for (uint32_t k = 1; k < 4; ++k) {
            for (uint32_t j = 0; j + 1 < fields; ++j) {
                if (f[k].at[j] != f[0].at[j]) { shared = uint8_t(shared & ~(1u << j)); }
            }
            const uint64_t c0 = f[0].at[fields - 1], c = f[k].at[fields - 1];
            consecutive = consecutive && c == c0 + 4 * k;
            one = one && c == c0;
        }
    }
    return {shared, one ? CrossRead::One : consecutive ? CrossRead::Consecutive : CrossRead::Each};
}

inline constexpr auto kRunPlanA16 = make_run_plan('a', 16,
                                                  {{RunShape::LeadOn3TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn2, 3}});
inline constexpr auto kRunPlanA15 = make_run_plan('a', 15,
                                                  {{RunShape::LeadOn3TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn2, 3}});
inline constexpr auto kRunPlanB16 = make_run_plan('b', 16,
                                                  {{RunShape::Empty2, 21},
                                                   {RunShape::Empty2, 5},
                                                   {RunShape::Empty3, 21},
                                                   {RunShape::Empty3, 5},
                                                   {RunShape::Empty0, 21},
                                                   {RunShape::Empty0, 5},
                                                   {RunShape::Empty1, 21},
                                                   {RunShape::Empty1, 4}});
inline constexpr auto kRunPlanB15 = make_run_plan('b', 15,
                                                  {{RunShape::Empty2, 18},
                                                   {RunShape::Empty2, 4},
                                                   {RunShape::Empty3, 18},
                                                   {RunShape::Empty3, 4},
                                                   {RunShape::Empty0, 18},
                                                   {RunShape::Empty0, 4},
                                                   {RunShape::Empty1, 18},
                                                   {RunShape::Empty1, 4}});
inline constexpr auto kRunPlanC16 = make_run_plan('c', 16,
                                                  {{RunShape::MiddleFirst, 5},
                                                   {RunShape::LeadingFirst, 79},
                                                   {RunShape::TrailingFirst, 9},
                                                   {RunShape::MiddleFirst, 23},
                                                   {RunShape::MiddleFirst, 3}});
inline constexpr auto kRunPlanC15 = make_run_plan('c', 15,
                                                  {{RunShape::MiddleFirst, 5},
                                                   {RunShape::LeadingFirst, 61},
                                                   {RunShape::TrailingFirst, 9},
                                                   {RunShape::MiddleFirst, 19},
                                                   {RunShape::MiddleFirst, 2}});
inline constexpr auto kRunPlanA14 = make_run_plan('a', 14,
                                                  {{RunShape::LeadOn3TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn2, 3}});
inline constexpr auto kRunPlanA13 = make_run_plan('a', 13,
                                                  {{RunShape::LeadOn3TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn1, 3},
                                                   {RunShape::LeadOn2TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn3, 3},
                                                   {RunShape::LeadOn0TrailOn2, 3}});
// 14 colours: the two-run splits at 13 sit in the last groups of the first three blocks.
inline constexpr auto kRunPlanB14 = make_run_plan('b', 14,
                                                  {{RunShape::Empty2, 15},
                                                   {RunShape::Empty2, 5},
                                                   {RunShape::Empty3, 15},
                                                   {RunShape::Empty3, 5},
                                                   {RunShape::Empty0, 15},
                                                   {RunShape::Empty0, 4},
                                                   {RunShape::Empty1, 15},
                                                   {RunShape::Empty1, 4}});
inline constexpr auto kRunPlanB13 = make_run_plan('b', 13,
                                                  {{RunShape::Empty2, 12},
                                                   {RunShape::Empty2, 4},
                                                   {RunShape::Empty3, 12},
                                                   {RunShape::Empty3, 4},
                                                   {RunShape::Empty0, 12},
                                                   {RunShape::Empty0, 4},
                                                   {RunShape::Empty1, 12},
                                                   {RunShape::Empty1, 4}});
// Three-run splits first (14 colours: one group; 13 colours: two), then the four loops;
// the last row of 14 colours is repeated to fill its group.
inline constexpr auto kRunPlanC14 = make_run_plan('c', 14,
                                                  {{RunShape::MiddleFirst, 1},
                                                   {RunShape::LeadingFirst, 46},
                                                   {RunShape::TrailingFirst, 7},
                                                   {RunShape::MiddleFirst, 16},
                                                   {RunShape::MiddleFirst, 3}});
inline constexpr auto kRunPlanC13 = make_run_plan('c', 13,
                                                  {{RunShape::MiddleFirst, 2},
                                                   {RunShape::LeadingFirst, 34},
                                                   {RunShape::TrailingFirst, 6},
                                                   {RunShape::MiddleFirst, 13},
                                                   {RunShape::MiddleFirst, 2}});
static_assert(run_plan_fits(kRunPlanA16, 'a', 16) && run_plan_fits(kRunPlanA15, 'a', 15));
static_assert(run_plan_fits(kRunPlanB16, 'b', 16) && run_plan_fits(kRunPlanB15, 'b', 15));
static_assert(run_plan_fits(kRunPlanC16, 'c', 16) && run_plan_fits(kRunPlanC15, 'c', 15));
static_assert(run_plan_fits(kRunPlanA14, 'a', 14) && run_plan_fits(kRunPlanA13, 'a', 13));
static_assert(run_plan_fits(kRunPlanB14, 'b', 14) && run_plan_fits(kRunPlanB13, 'b', 13));
static_assert(run_plan_fits(kRunPlanC14, 'c', 14) && run_plan_fits(kRunPlanC13, 'c', 13));
