#pragma once
// Walk of the search kinds a, b and c for 13 to 16 colours at the AVX tiers. Each list
// is cut into segments of whole steps of four rows; a segment forms its sums in one way
// (its shape, which fixes what the row's offsets name and how the sums are bracketed)
// and writes the bound bytes that all its rows share as constants. The constants are
// derived here, when compiling, from the same rows the run-time tables are built from.
#include <array>
#include <cstddef>
#include <cstdint>

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

// The segments tile the list exactly, and a shape that names runs by pattern covers
// exactly the rows of that pattern.
template <size_t S>
constexpr bool run_plan_fits(const std::array<RunSegment, S> &plan, char kind, uint32_t n) {
    uint32_t rows = 0, text_rows = 0;
    for (size_t s = 0; s < S; ++s) {
        const uint32_t seg_rows = 4u * plan[s].steps;
        if (kind == 'a' && (seg_rows != kRunKindARows || plan[s].shape != RunShape(s))) { return false; }
        if (kind == 'b' && (seg_rows != kClusterBBlockRows[n][s] || plan[s].shape != RunShape(5 + s))) { return false; }
        if (kind == 'c' && plan[s].shape < RunShape::MiddleFirst) { return false; }
        rows += seg_rows;
    }
    run_rows(kind, n, 0, 1000, [&](ClusterRow) { ++text_rows; });
    return rows == run_list_rows(kind, n) && (kind == 'a' || text_rows == rows);
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
inline constexpr auto kRunPlanB16 = make_run_plan(
    'b', 16, {{RunShape::Empty2, 26}, {RunShape::Empty3, 26}, {RunShape::Empty0, 26}, {RunShape::Empty1, 25}});
inline constexpr auto kRunPlanB15 = make_run_plan(
    'b', 15, {{RunShape::Empty2, 22}, {RunShape::Empty3, 22}, {RunShape::Empty0, 22}, {RunShape::Empty1, 22}});
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
inline constexpr auto kRunPlanB14 = make_run_plan(
    'b', 14, {{RunShape::Empty2, 20}, {RunShape::Empty3, 20}, {RunShape::Empty0, 19}, {RunShape::Empty1, 19}});
inline constexpr auto kRunPlanB13 = make_run_plan(
    'b', 13, {{RunShape::Empty2, 16}, {RunShape::Empty3, 16}, {RunShape::Empty0, 16}, {RunShape::Empty1, 16}});
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
