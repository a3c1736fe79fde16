// Tier harness of the AVX cluster-fit search members. Every member runs on a corpus of
// prepared sums and must equal a plain reference of its tier bit for bit; beside its
// baseline member it must keep the same partition and end points except where a known
// rounding difference decides. The references take every offset from the candidate's
// bounds and compute one float operation at a time (std::fmaf for the fused steps).
#include <cfloat>
#include <climits>
#include <cmath>
#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit/cluster_tables.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_search_low.h"
#include "texenc/clusterfit_avx/cluster_search_few.h"

using namespace cfavx;

namespace {

enum class Tier { Avx, Fma };
// Deliberate changes of the reference, to show that the corpus notices them.
enum class Mutation { None, Bracketing, Unfused, Section };

using Call = void (*)(ClusterBest *, ClusterBounds *, const ClusterSums *);

const ClusterCandidateList &list(ClusterArray array, uint32_t n) { return cluster_candidate_tables().lists[array][n]; }

template <DxtClusterSearchFn F>
void call15(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, 15);
    F(b, o, s, l.records, l.bounds);
}
template <DxtClusterSearchFn F, ClusterArray A, uint32_t N>
void call_list(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    F(b, o, s, list(A, N).records, list(A, N).bounds);
}
template <DxtClusterSearch16Fn F>
void call16(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, 16);
    F(b, o, s, cluster_candidate_tables().factors16, l.records, l.bounds);
}
// Members of kinds a, b and c with the tables of their array.
template <ClusterArray A, DxtClusterSearchFn F>
void list15(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    F(b, o, s, list(A, 15).records, list(A, 15).bounds);
}
template <ClusterArray A, DxtClusterSearch16Fn F>
void list16(ClusterBest *b, ClusterBounds *o, const ClusterSums *s) {
    F(b, o, s, cluster_candidate_tables().factors16, list(A, 16).records, list(A, 16).bounds);
}
#define CLUSTER_RUNS_ROWS(kind, ARRAY)                          \
    {#kind "16_avx",                                            \
     16,                                                        \
     #kind[0],                                                  \
     Tier::Avx,                                                 \
     list16<ARRAY, cluster_search_##kind##_count16_avx>,        \
     list16<ARRAY, cluster_search_##kind##_count16_sse41>},     \
        {#kind "16_fma",                                        \
         16,                                                    \
         #kind[0],                                              \
         Tier::Fma,                                             \
         list16<ARRAY, cluster_search_##kind##_count16_fma>,    \
         list16<ARRAY, cluster_search_##kind##_count16_sse41>}, \
        {#kind "15_avx",                                        \
         15,                                                    \
         #kind[0],                                              \
         Tier::Avx,                                             \
         list15<ARRAY, cluster_search_##kind##_count15_avx>,    \
         list15<ARRAY, cluster_search_##kind##_count15_sse41>}, \
        {#kind "15_fma",                                        \
         15,                                                    \
         #kind[0],                                              \
         Tier::Fma,                                             \
         list15<ARRAY, cluster_search_##kind##_count15_fma>,    \
         list15<ARRAY, cluster_search_##kind##_count15_sse41>},

struct Member {
    const char *name;
    uint32_t count;
    char kind;
    Tier tier;
    Call member;
    Call baseline;
};

void PrintTo(const Member &m, std::ostream *os) { *os << m.name; }

// Kinds e, a, b and c of 13 and 14 colours.
#define MIDDLE_LIST(kind, NN, ARRAY)                                    \
    {#kind #NN "_avx",                                                  \
     NN,                                                                \
     #kind[0],                                                          \
     Tier::Avx,                                                         \
     call_list<cluster_search_##kind##_count##NN##_avx, ARRAY, NN>,     \
     call_list<cluster_search_##kind##_count##NN##_sse41, ARRAY, NN>},  \
        {#kind #NN "_fma",                                              \
         NN,                                                            \
         #kind[0],                                                      \
         Tier::Fma,                                                     \
         call_list<cluster_search_##kind##_count##NN##_fma, ARRAY, NN>, \
         call_list<cluster_search_##kind##_count##NN##_sse41, ARRAY, NN>},
#define MIDDLE_MEMBERS(NN)                                                                                          \
    {"e" #NN "_avx", NN, 'e', Tier::Avx, cluster_search_e_count##NN##_avx, cluster_search_e_count##NN##_sse41},     \
        {"e" #NN "_fma", NN, 'e', Tier::Fma, cluster_search_e_count##NN##_fma, cluster_search_e_count##NN##_sse41}, \
        MIDDLE_LIST(a, NN, CLUSTER_ARRAY_A) MIDDLE_LIST(b, NN, CLUSTER_ARRAY_B) MIDDLE_LIST(c, NN, CLUSTER_ARRAY_C)

// Every member built so far; later kinds and counts add their rows here.
const Member kMembers[] = {
    {"e16_avx", 16, 'e', Tier::Avx, cluster_search_e_count16_avx, cluster_search_e_count16_sse41},
    {"e16_fma", 16, 'e', Tier::Fma, cluster_search_e_count16_fma, cluster_search_e_count16_sse41},
    {"e15_avx", 15, 'e', Tier::Avx, cluster_search_e_count15_avx, cluster_search_e_count15_sse41},
    {"e15_fma", 15, 'e', Tier::Fma, cluster_search_e_count15_fma, cluster_search_e_count15_sse41},
    {"d16_avx", 16, 'd', Tier::Avx, call16<cluster_search_d_count16_avx>, call16<cluster_search_d_count16_sse41>},
    {"d16_fma", 16, 'd', Tier::Fma, call16<cluster_search_d_count16_fma>, call16<cluster_search_d_count16_sse41>},
    {"d15_avx", 15, 'd', Tier::Avx, call15<cluster_search_d_count15_avx>, call15<cluster_search_d_count15_sse41>},
    {"d15_fma", 15, 'd', Tier::Fma, call15<cluster_search_d_count15_fma>, call15<cluster_search_d_count15_sse41>},
    MIDDLE_MEMBERS(14)
        MIDDLE_MEMBERS(13){"e12_avx", 12, 'e', Tier::Avx, cluster_search_e_count12_avx, cluster_search_e_count12_sse41},
    {"e12_fma", 12, 'e', Tier::Fma, cluster_search_e_count12_fma, cluster_search_e_count12_sse41},
    {"e11_avx", 11, 'e', Tier::Avx, cluster_search_e_count11_avx, cluster_search_e_count11_sse41},
    {"e11_fma", 11, 'e', Tier::Fma, cluster_search_e_count11_fma, cluster_search_e_count11_sse41},
    {"a12_avx", 12, 'a', Tier::Avx, call_list<cluster_search_a_count12_avx, CLUSTER_ARRAY_A, 12>,
     call_list<cluster_search_a_count12_sse41, CLUSTER_ARRAY_A, 12>},
    {"a12_fma", 12, 'a', Tier::Fma, call_list<cluster_search_a_count12_fma, CLUSTER_ARRAY_A, 12>,
     call_list<cluster_search_a_count12_sse41, CLUSTER_ARRAY_A, 12>},
    {"a11_avx", 11, 'a', Tier::Avx, call_list<cluster_search_a_count11_avx, CLUSTER_ARRAY_A, 11>,
     call_list<cluster_search_a_count11_sse41, CLUSTER_ARRAY_A, 11>},
    {"a11_fma", 11, 'a', Tier::Fma, call_list<cluster_search_a_count11_fma, CLUSTER_ARRAY_A, 11>,
     call_list<cluster_search_a_count11_sse41, CLUSTER_ARRAY_A, 11>},
    {"d11_avx", 11, 'd', Tier::Avx, call_list<cluster_search_d_count11_avx, CLUSTER_ARRAY_D, 11>,
     call_list<cluster_search_d_count11_sse41, CLUSTER_ARRAY_D, 11>},
    {"d11_fma", 11, 'd', Tier::Fma, call_list<cluster_search_d_count11_fma, CLUSTER_ARRAY_D, 11>,
     call_list<cluster_search_d_count11_sse41, CLUSTER_ARRAY_D, 11>},
    {"b12_avx", 12, 'b', Tier::Avx, call_list<cluster_search_b_count12_avx, CLUSTER_ARRAY_B, 12>,
     call_list<cluster_search_b_count12_sse41, CLUSTER_ARRAY_B, 12>},
    {"b12_fma", 12, 'b', Tier::Fma, call_list<cluster_search_b_count12_fma, CLUSTER_ARRAY_B, 12>,
     call_list<cluster_search_b_count12_sse41, CLUSTER_ARRAY_B, 12>},
    {"c12_avx", 12, 'c', Tier::Avx, call_list<cluster_search_c_count12_avx, CLUSTER_ARRAY_C, 12>,
     call_list<cluster_search_c_count12_sse41, CLUSTER_ARRAY_C, 12>},
    {"c12_fma", 12, 'c', Tier::Fma, call_list<cluster_search_c_count12_fma, CLUSTER_ARRAY_C, 12>,
     call_list<cluster_search_c_count12_sse41, CLUSTER_ARRAY_C, 12>},
    {"b11_avx", 11, 'b', Tier::Avx, call_list<cluster_search_b_count11_avx, CLUSTER_ARRAY_B, 11>,
     call_list<cluster_search_b_count11_sse41, CLUSTER_ARRAY_B, 11>},
    {"b11_fma", 11, 'b', Tier::Fma, call_list<cluster_search_b_count11_fma, CLUSTER_ARRAY_B, 11>,
     call_list<cluster_search_b_count11_sse41, CLUSTER_ARRAY_B, 11>},
    {"c11_avx", 11, 'c', Tier::Avx, call_list<cluster_search_c_count11_avx, CLUSTER_ARRAY_C, 11>,
     call_list<cluster_search_c_count11_sse41, CLUSTER_ARRAY_C, 11>},
    {"c11_fma", 11, 'c', Tier::Fma, call_list<cluster_search_c_count11_fma, CLUSTER_ARRAY_C, 11>,
     call_list<cluster_search_c_count11_sse41, CLUSTER_ARRAY_C, 11>},
    CLUSTER_RUNS_ROWS(a, CLUSTER_ARRAY_A) CLUSTER_RUNS_ROWS(b, CLUSTER_ARRAY_B) CLUSTER_RUNS_ROWS(c, CLUSTER_ARRAY_C)
#define LOW_MEMBERS(NN, n)                                                                                         \
    {"e" #NN "_avx", n, 'e', Tier::Avx, cluster_search_e_count##NN##_avx, cluster_search_e_count##NN##_sse41},     \
        {"e" #NN "_fma", n, 'e', Tier::Fma, cluster_search_e_count##NN##_fma, cluster_search_e_count##NN##_sse41}, \
        {"a" #NN "_avx",                                                                                           \
         n,                                                                                                        \
         'a',                                                                                                      \
         Tier::Avx,                                                                                                \
         call_list<cluster_search_a_count##NN##_avx, CLUSTER_ARRAY_A, n>,                                          \
         call_list<cluster_search_a_count##NN##_sse41, CLUSTER_ARRAY_A, n>},                                       \
        {"a" #NN "_fma",                                                                                           \
         n,                                                                                                        \
         'a',                                                                                                      \
         Tier::Fma,                                                                                                \
         call_list<cluster_search_a_count##NN##_fma, CLUSTER_ARRAY_A, n>,                                          \
         call_list<cluster_search_a_count##NN##_sse41, CLUSTER_ARRAY_A, n>},                                       \
        LOW_MEMBER_LIST(b, NN, n, CLUSTER_ARRAY_B) LOW_MEMBER_LIST(c, NN, n, CLUSTER_ARRAY_C)
#define LOW_MEMBER_LIST(kind, NN, n, ARRAY)                            \
    {#kind #NN "_avx",                                                 \
     n,                                                                \
     #kind[0],                                                         \
     Tier::Avx,                                                        \
     call_list<cluster_search_##kind##_count##NN##_avx, ARRAY, n>,     \
     call_list<cluster_search_##kind##_count##NN##_sse41, ARRAY, n>},  \
        {#kind #NN "_fma",                                             \
         n,                                                            \
         #kind[0],                                                     \
         Tier::Fma,                                                    \
         call_list<cluster_search_##kind##_count##NN##_fma, ARRAY, n>, \
         call_list<cluster_search_##kind##_count##NN##_sse41, ARRAY, n>},
#define LOW_MEMBERS_D(NN, n)                                              \
    {"d" #NN "_avx",                                                      \
     n,                                                                   \
     'd',                                                                 \
     Tier::Avx,                                                           \
     call_list<cluster_search_d_count##NN##_avx, CLUSTER_ARRAY_D, n>,     \
     call_list<cluster_search_d_count##NN##_sse41, CLUSTER_ARRAY_D, n>},  \
        {"d" #NN "_fma",                                                  \
         n,                                                               \
         'd',                                                             \
         Tier::Fma,                                                       \
         call_list<cluster_search_d_count##NN##_fma, CLUSTER_ARRAY_D, n>, \
         call_list<cluster_search_d_count##NN##_sse41, CLUSTER_ARRAY_D, n>},
        LOW_MEMBERS(10, 10) LOW_MEMBERS(09, 9) LOW_MEMBERS(08, 8) LOW_MEMBERS_D(10, 10) LOW_MEMBERS_D(08, 8)
#undef LOW_MEMBERS
#undef LOW_MEMBER_LIST
#undef LOW_MEMBERS_D
#include "cluster_members_few.inc"
};

// 11 and 12 colours clamp the end of a least-squares candidate as min(1, b) then
// max(0, .) at the AVX tier.
bool end_clamp_swapped(const Member &m) { return m.count == 11 || m.count == 12; }

// Grouping of the three-record sums of a row. Kind c of 11 and 12 colours adds V0 + V2 of
// X first in its b2 runs (groups 3 to 18 of 11 colours, 6 to 29 of 12) and V2 + V0 of Y
// first in its b0 runs (groups 19 to 22, 30 to 33); elsewhere the two middle runs come
// first.
// Kind c of 8 to 10 colours does the same in the row spans below.
enum class Grouping { MiddleFirst, XOuterFirst, YOuterFirst };
Grouping grouping(const Member &m, uint32_t row, Mutation mut) {
    if (m.kind == 'c' && m.count <= 10) {
        struct Span {
            uint32_t n, first, end;
            Grouping grouping;
        };
        const Span spans[] = {{10, 4, 44, Grouping::XOuterFirst}, {10, 44, 56, Grouping::YOuterFirst},
                              {9, 0, 24, Grouping::XOuterFirst},  {9, 24, 32, Grouping::YOuterFirst},
                              {8, 20, 32, Grouping::XOuterFirst}, {8, 32, 36, Grouping::YOuterFirst}};
        for (const Span &sp : spans) {
            if (sp.n == m.count && row >= sp.first && row < sp.end) { return sp.grouping; }
        }
        return Grouping::MiddleFirst;
    }
    if (m.kind != 'c' || (m.count != 11 && m.count != 12)) { return Grouping::MiddleFirst; }
    const uint32_t g = row / 4, b2_runs = m.count == 11 ? 3 : 6, b0_runs = m.count == 11 ? 19 : 30;
    if (g >= b2_runs && g < b0_runs) { return Grouping::XOuterFirst; }
    if (g >= b0_runs && g < b0_runs + 4) {
        return mut == Mutation::Section ? Grouping::MiddleFirst : Grouping::YOuterFirst;
    }
    return Grouping::MiddleFirst;
}

// ---------------------------------------------------------------------------------------
// Reference arithmetic.

float from_bits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}
const float kScale[4] = {31.0f, 63.0f, 31.0f, 0.0f};
const float kStep[4] = {from_bits(0x3D042108), from_bits(0x3C820821), from_bits(0x3D042108), 0.0f};

float fmin_op(float x, float y) { return x < y ? x : y; }  // the vector minimum: y unless x < y
float fmax_op(float x, float y) { return x > y ? x : y; }
// Truncation toward zero as the processor converts: out of range or NaN gives INT_MIN.
int32_t truncate_int(float y) {
    if (!(y >= -2147483648.0f && y < 2147483648.0f)) { return INT32_MIN; }
    return static_cast<int32_t>(y);
}
float snap_avx(float x, int l) { return std::nearbyint(x * kScale[l]) * kStep[l]; }
float snap_fma(float x, int l, bool clamp_low, bool clamp_high) {
    int32_t q = truncate_int(std::fmaf(x, kScale[l], 0.5f));
    const int32_t top = static_cast<int32_t>(kScale[l]);
    if (clamp_high && q > top) { q = top; }
    if (clamp_low && q < 0) { q = 0; }
    return static_cast<float>(q) * kStep[l];
}

struct V4 {
    float l[4];
};
V4 load(const ClusterSums &s, uint64_t offset) {
    V4 v;
    for (int i = 0; i < 4; ++i) { v.l[i] = float_at(s, offset + 4 * i); }
    return v;
}

struct Candidate {
    uint8_t bounds[3];
    float a[4], b[4];          // snapped end points
    float raw_a[4], raw_b[4];  // before the snap (after any float clamp)
    float error;
};

// Split (k, k, k) of kind e.
Candidate eval_e(const Member &m, const ClusterSums &s, uint32_t k, Mutation mut) {
    const uint32_t n = m.count;
    const V4 s0 = load(s, full_at(n, 0, k)), s1 = load(s, full_at(n, k, n));
    const bool last_group = n == 16 ? (k == 14 || k == 1 || k == 15) : (k == 13 || k == 14);
    float wa, wb;
    Candidate c{};
    c.bounds[0] = c.bounds[1] = c.bounds[2] = uint8_t(k);
    for (int l = 0; l < 4; ++l) {
        float ma, mb;
        bool one_a = false, one_b = false;
        if (n == 16) {
            wa = float(k);
            wb = float(16 - k);
            one_a = k == 1;
            one_b = k == 15;
            ma = one_a ? s0.l[l] : s0.l[l] * (1.0f / float(k));
            mb = one_b ? s1.l[l] : s1.l[l] * (1.0f / float(16 - k));
        } else {
            wa = s0.l[3];
            wb = s1.l[3];
            ma = s0.l[l] / wa;
            mb = s1.l[l] / wb;
        }
        if (m.tier == Tier::Avx) {
            c.raw_a[l] = one_a ? ma : fmin_op(ma, 1.0f);
            c.raw_b[l] = one_b ? mb : fmin_op(mb, 1.0f);
            c.a[l] = snap_avx(c.raw_a[l], l);
            c.b[l] = snap_avx(c.raw_b[l], l);
        } else {
            c.raw_a[l] = last_group ? ma : fmin_op(ma, 1.0f);
            c.raw_b[l] = last_group ? mb : fmin_op(mb, 1.0f);
            c.a[l] = snap_fma(c.raw_a[l], l, false, last_group);
            c.b[l] = snap_fma(c.raw_b[l], l, false, last_group);
        }
    }
    float e[3];
    for (int l = 0; l < 3; ++l) {
        const float a = c.a[l], b = c.b[l];
        const float sb = mut == Mutation::Bracketing ? wb * (b * b) : (wb * b) * b;
        if (m.tier == Tier::Avx) {
            float t = (-(s0.l[l] * a)) - (s1.l[l] * b);
            t = t + t;
            e[l] = t + (sb + (wa * a) * a);
        } else {
            float t = -(a * s0.l[l]);
            t = mut == Mutation::Unfused ? t - s1.l[l] * b : std::fmaf(-b, s1.l[l], t);
            const float s2 = n == 16 ? sb + (wa * a) * a : std::fmaf(a, wa * a, sb);
            e[l] = std::fmaf(t, 2.0f, s2);
        }
    }
    c.error = (e[0] + e[1]) + e[2];
    return c;
}

// The float nearest 81 / d, d = 81 (alpha2 beta2 - alphabeta^2) of unit weights.
float factor16(uint32_t b0, uint32_t b1, uint32_t b2) {
    const int64_t p = b0, q = b1 - b0, t = b2 - b1, r = 16 - b2;
    const int64_t d = (9 * p + 4 * q + t) * (9 * r + q + 4 * t) - 4 * (q + t) * (q + t);
    const float f = static_cast<float>(81.0 / static_cast<double>(d));
    float best = f;
    for (float g : {std::nextafter(f, 0.0f), std::nextafter(f, 1.0f)}) {
        if (std::fabs(double(g) * double(d) - 81.0) < std::fabs(double(best) * double(d) - 81.0)) { best = g; }
    }
    return best;
}

// At the AVX+FMA tier kind d clamps the grid integer after the truncation, the other
// kinds clamp the value to [0, 1] before it.
bool fma_clamps_last(const Member &m) { return m.kind == 'd'; }

// A partition of kinds a to d, all offsets from its bounds; an empty run reads the zero
// entry, which adds +0.0.
Candidate eval_d(const Member &m, const ClusterSums &s, const uint8_t *bnd, Mutation mut,
                 Grouping grouping = Grouping::MiddleFirst) {
    const uint32_t n = m.count, b0 = bnd[0], b1 = bnd[1], b2 = bnd[2];
    const int runs = (b0 > 0) + (b1 > b0) + (b2 > b1) + (n > b2);
    // Without a sum of three terms the changed bracketing is that of (b b) B2 and (a a) A2.
    const bool bracket_sums = mut == Mutation::Bracketing && runs >= 3;
    const bool bracket_square = mut == Mutation::Bracketing && runs < 3;
    const V4 full0 = load(s, full_at(n, 0, b0)), full1 = load(s, full_at(n, b2, n));
    const V4 third2 = load(s, full_at(n, b0, b1) + 16), two_thirds2 = load(s, full_at(n, b0, b1) + 32);
    const V4 third3 = load(s, full_at(n, b1, b2) + 16), two_thirds3 = load(s, full_at(n, b1, b2) + 32);
    const float ab = float_at(s, cross_at(n, b0, b2));
    V4 A, B;
    for (int l = 0; l < 4; ++l) {
        A.l[l] = bracket_sums                        ? (full0.l[l] + third3.l[l]) + two_thirds2.l[l]
                 : grouping == Grouping::XOuterFirst ? (full0.l[l] + two_thirds2.l[l]) + third3.l[l]
                                                     : full0.l[l] + (third3.l[l] + two_thirds2.l[l]);
        B.l[l] = grouping == Grouping::YOuterFirst ? third2.l[l] + (two_thirds3.l[l] + full1.l[l])
                                                   : full1.l[l] + (third2.l[l] + two_thirds3.l[l]);
    }
    const float alpha2 = A.l[3], beta2 = B.l[3];
    float factor;
    if (n == 16) {
        factor = factor16(b0, b1, b2);
    } else if (m.tier == Tier::Avx) {
        factor = 1.0f / ((alpha2 * beta2) - (ab * ab));
    } else {
        factor = 1.0f / std::fmaf(-ab, ab, alpha2 * beta2);
    }
    Candidate c{};
    c.bounds[0] = uint8_t(b0);
    c.bounds[1] = uint8_t(b1);
    c.bounds[2] = uint8_t(b2);
    for (int l = 0; l < 4; ++l) {
        float a, b;
        if (m.tier == Tier::Avx) {
            a = ((beta2 * A.l[l]) - (ab * B.l[l])) * factor;
            b = ((alpha2 * B.l[l]) - (ab * A.l[l])) * factor;
            c.raw_a[l] = fmax_op(fmin_op(a, 1.0f), 0.0f);
            c.raw_b[l] = end_clamp_swapped(m) ? fmax_op(0.0f, fmin_op(1.0f, b)) : fmax_op(fmin_op(b, 1.0f), 0.0f);
            c.a[l] = snap_avx(c.raw_a[l], l);
            c.b[l] = snap_avx(c.raw_b[l], l);
        } else if (fma_clamps_last(m)) {
            a = std::fmaf(-ab, B.l[l], beta2 * A.l[l]) * factor;
            b = std::fmaf(-ab, A.l[l], alpha2 * B.l[l]) * factor;
            c.raw_a[l] = a;
            c.raw_b[l] = b;
            c.a[l] = snap_fma(a, l, true, true);
            c.b[l] = snap_fma(b, l, true, true);
        } else {
            a = std::fmaf(-ab, B.l[l], beta2 * A.l[l]) * factor;
            b = std::fmaf(-ab, A.l[l], alpha2 * B.l[l]) * factor;
            c.raw_a[l] = fmax_op(fmin_op(a, 1.0f), 0.0f);
            c.raw_b[l] = fmax_op(fmin_op(b, 1.0f), 0.0f);
            c.a[l] = snap_fma(c.raw_a[l], l, false, false);
            c.b[l] = snap_fma(c.raw_b[l], l, false, false);
        }
    }
    float e[3];
    for (int l = 0; l < 3; ++l) {
        const float a = c.a[l], b = c.b[l];
        const float bb = bracket_square ? b * (b * beta2) : (b * b) * beta2;
        if (m.tier == Tier::Avx) {
            float t = ((a * b) * ab) - (a * A.l[l]);
            t = t - (B.l[l] * b);
            t = t + t;
            e[l] = t + (bb + (bracket_square ? a * (a * alpha2) : (a * a) * alpha2));
        } else {
            float t = std::fmaf(-a, A.l[l], (a * b) * ab);
            t = mut == Mutation::Unfused ? t - b * B.l[l] : std::fmaf(-b, B.l[l], t);
            const float s2 = bracket_square ? std::fmaf(a, a * alpha2, bb) : std::fmaf(a * a, alpha2, bb);
            e[l] = std::fmaf(t, 2.0f, s2);
        }
    }
    c.error = (e[0] + e[1]) + e[2];
    return c;
}

#include "cluster_reference_runs.inc"
#include "cluster_reference_few.inc"

// Candidates of a member in evaluation order.
std::vector<Candidate> candidates(const Member &m, const ClusterSums &s, Mutation mut = Mutation::None) {
    if (m.count >= 13 && m.kind >= 'a' && m.kind <= 'c') { return candidates_runs(m, s, mut); }
    if (m.count <= 7) { return candidates_few(m, s, mut); }
    std::vector<Candidate> out;
    if (m.kind == 'e') {
        std::vector<uint32_t> ks;
        if (m.count == 16) {
            for (uint32_t k = 2; k <= 14; ++k) { ks.push_back(k); }
            ks.push_back(1);
            ks.push_back(15);
        } else {
            for (uint32_t k = 1; k < m.count; ++k) { ks.push_back(k); }
        }
        for (uint32_t k : ks) { out.push_back(eval_e(m, s, k, mut)); }
    } else {
        const ClusterArray array = m.kind == 'a'   ? CLUSTER_ARRAY_A
                                   : m.kind == 'b' ? CLUSTER_ARRAY_B
                                   : m.kind == 'c' ? CLUSTER_ARRAY_C
                                                   : CLUSTER_ARRAY_D;
        const ClusterCandidateList &l = list(array, m.count);
        for (uint32_t r = 0; r < l.rows; ++r) {
            Grouping g = grouping(m, r, mut);
            Mutation row_mut = mut;
            // The changed order for kind c of 8 to 10 colours: the b2 runs' alpha sums as
            // the other groups add them.
            if (m.kind == 'c' && m.count <= 10 && mut == Mutation::Bracketing) {
                if (g == Grouping::XOuterFirst) { g = Grouping::MiddleFirst; }
                row_mut = Mutation::None;
            }
            out.push_back(eval_d(m, s, l.bounds + 3 * r, row_mut, g));
        }
    }
    return out;
}

// Strict improvement in evaluation order; the record's lane 3 becomes +0.0 when written.
void apply(const std::vector<Candidate> &cands, ClusterBest *best, ClusterBounds *bounds) {
    for (const Candidate &c : cands) {
        if (c.error < best->error) {
            std::memcpy(best->start, c.a, 16);
            std::memcpy(best->end, c.b, 16);
            best->error = c.error;
            bounds->b0 = c.bounds[0];
            bounds->b1 = c.bounds[1];
            bounds->b2 = c.bounds[2];
        }
    }
}

// ---------------------------------------------------------------------------------------
// Corpus.

struct Block {
    std::string name;
    Sorted sorted;  // (w r, w g, w b, w) in their order
    ClusterSums sums;
};

const float kSqrt[16] = {1.0f, 1.4142135f, 1.7320508f, 2.0f,       2.2360680f, 2.4494898f, 2.6457512f, 2.8284271f,
                         3.0f, 3.1622777f, 3.3166248f, 3.4641016f, 3.6055512f, 3.7416574f, 3.8729833f, 4.0f};

using Colors = std::vector<std::array<float, 3>>;

DxtClusterPrepareFn prepare_of(uint32_t n) { return kPrepareAvx[n]; }

Block make_block(const std::string &name, uint32_t n, Colors colors, const std::vector<int> &counts, bool sort) {
    if (sort) {
        std::stable_sort(colors.begin(), colors.end(),
                         [](const auto &x, const auto &y) { return x[0] + x[1] + x[2] < y[0] + y[1] + y[2]; });
    }
    Block b;
    b.name = name;
    for (uint32_t k = 0; k < n; ++k) {
        const float w = n == 16 ? 1.0f : kSqrt[counts[k] - 1];
        for (int c = 0; c < 3; ++c) { b.sorted.v[k][c] = n == 16 ? colors[k][c] : colors[k][c] * w; }
        b.sorted.v[k][3] = w;
    }
    std::memset(&b.sums, 0, sizeof b.sums);
    prepare_of(n)(b.sorted.v, &b.sums);
    return b;
}

std::vector<int> random_counts(std::mt19937 &rng, uint32_t n) {
    std::vector<int> counts(n, 1);
    for (uint32_t extra = 16 - n; extra > 0; --extra) { ++counts[rng() % n]; }
    return counts;
}

std::vector<Block> corpus(uint32_t n) {
    std::vector<Block> blocks;
    std::mt19937 rng(1000 + n);
    auto byte = [&] { return float(rng() % 256) / 255.0f; };
    for (int i = 0; i < 400; ++i) {
        Colors c(n);
        for (auto &x : c) { x = {byte(), byte(), byte()}; }
        blocks.push_back(make_block("random " + std::to_string(i), n, c, random_counts(rng, n), true));
    }
    // Colours near a line, as photographs give them.
    for (int i = 0; i < 200; ++i) {
        Colors c(n);
        const float base[3] = {byte(), byte(), byte()}, dir[3] = {byte() - 0.5f, byte() - 0.5f, byte() - 0.5f};
        for (auto &x : c) {
            const float t = byte();
            for (int k = 0; k < 3; ++k) {
                const float v = std::round((base[k] + t * dir[k]) * 255.0f + float(int(rng() % 7) - 3));
                x[k] = std::fmin(std::fmax(v, 0.0f), 255.0f) / 255.0f;
            }
        }
        blocks.push_back(make_block("line " + std::to_string(i), n, c, random_counts(rng, n), true));
    }
    blocks.push_back(make_block("all zero", n, Colors(n, {0.0f, 0.0f, 0.0f}), random_counts(rng, n), false));
    for (int i = 0; i < 20; ++i) {
        Colors c(n);
        for (auto &x : c) { x = {float(rng() % 2), float(rng() % 2), float(rng() % 2)}; }
        blocks.push_back(make_block("channels at 0 and 255 " + std::to_string(i), n, c, random_counts(rng, n), true));
    }
    Colors ramp(n), ramp_down(n);
    for (uint32_t k = 0; k < n; ++k) {
        const float v = float(k * 255 / (n - 1)) / 255.0f;
        ramp[k] = {v, v, v};
        ramp_down[n - 1 - k] = {v, v, v};
    }
    blocks.push_back(make_block("grey ramp", n, ramp, std::vector<int>(n, 1 + (n == 15 ? 0 : 0)), false));
    blocks.push_back(make_block("grey ramp weighted", n, ramp, random_counts(rng, n), false));
    blocks.push_back(make_block("grey ramp down", n, ramp_down, random_counts(rng, n), false));
    for (int i = 0; i < 40; ++i) {
        Colors c(n);
        for (auto &x : c) {
            const int r = rng() % 32, g = rng() % 64, b = rng() % 32;
            x = {float((r << 3) | (r >> 2)) / 255.0f, float((g << 2) | (g >> 4)) / 255.0f,
                 float((b << 3) | (b >> 2)) / 255.0f};
        }
        blocks.push_back(make_block("on grid " + std::to_string(i), n, c, random_counts(rng, n), true));
    }
    // Colours on half steps of the grid, so that means and solutions land near them.
    for (int i = 0; i < 60; ++i) {
        Colors c(n);
        const int base = rng() % 30;
        for (auto &x : c) {
            const int d = int(rng() % 3);
            x = {(float(base + d) + 0.5f) / 31.0f, (float(2 * base + d) + 0.5f) / 63.0f,
                 (float(base + (d == 0 ? 1 : 0)) + 0.5f) / 31.0f};
        }
        blocks.push_back(make_block("half steps " + std::to_string(i), n, c,
                                    i % 2 ? random_counts(rng, n) : std::vector<int>(n, n == 16 ? 1 : 1), i % 3 != 0));
    }
    return blocks;
}

// Built on first use per count.
const std::vector<Block> &corpus_of(uint32_t n) {
    static std::vector<Block> built[17];
    static std::once_flag once[17];
    std::call_once(once[n], [n] { built[n] = corpus(n); });
    return built[n];
}

// Incoming best records: the start value, the winner's error (nothing may win), another
// candidate's error and one ulp below it.
std::vector<float> incoming_errors(const std::vector<Candidate> &cands) {
    std::vector<float> errs;
    for (const Candidate &c : cands) { errs.push_back(c.error); }
    std::vector<float> sorted = errs;
    std::sort(sorted.begin(), sorted.end());
    const float mid = sorted[sorted.size() / 2];
    return {FLT_MAX, sorted.front(), mid, std::nextafter(mid, -INFINITY)};
}

struct Record {
    ClusterBest best;
    ClusterBounds bounds;
};
Record start_record(float error) {
    Record r;
    std::memset(&r, 0, sizeof r);
    for (int l = 0; l < 4; ++l) {
        r.best.start[l] = 7.0f + float(l);
        r.best.end[l] = -3.0f - float(l);
    }
    r.best.error = error;
    r.bounds = ClusterBounds{0xEE, 0xDD, 0xCC, 0xBB};
    return r;
}
bool same(const Record &x, const Record &y) {
    return std::memcmp(x.best.start, y.best.start, 16) == 0 && std::memcmp(x.best.end, y.best.end, 16) == 0 &&
           bits(x.best.error) == bits(y.best.error) && std::memcmp(&x.bounds, &y.bounds, 4) == 0;
}
std::string describe(const Record &r) {
    char s[256];
    std::snprintf(s, sizeof s, "bounds (%d,%d,%d) error %.9g start (%a %a %a %a) end (%a %a %a %a)", r.bounds.b0,
                  r.bounds.b1, r.bounds.b2, r.best.error, r.best.start[0], r.best.start[1], r.best.start[2],
                  r.best.start[3], r.best.end[0], r.best.end[1], r.best.end[2], r.best.end[3]);
    return s;
}

class ClusterSearchTier : public testing::TestWithParam<Member> {};

TEST_P(ClusterSearchTier, EqualsItsTierReferenceBitForBit) {
    const Member &m = GetParam();
    if (!has_avx() || (m.tier == Tier::Fma && !has_fma())) { GTEST_SKIP() << "tier not available"; }
    int runs = 0, replaced = 0;
    for (const Block &b : corpus_of(m.count)) {
        const std::vector<Candidate> cands = candidates(m, b.sums);
        for (float incoming : incoming_errors(cands)) {
            Record got = start_record(incoming), want = start_record(incoming);
            m.member(&got.best, &got.bounds, &b.sums);
            apply(cands, &want.best, &want.bounds);
            ASSERT_TRUE(same(got, want)) << b.name << ", incoming " << incoming << "\n  got  " << describe(got)
                                         << "\n  want " << describe(want);
            if (want.bounds.b0 != 0xEE) {
                ++replaced;
                EXPECT_EQ(bits(got.best.start[3]), 0u);
                EXPECT_EQ(bits(got.best.end[3]), 0u);
            }
            ++runs;
        }
    }
    // Both outcomes occur: the corpus replaces the best and leaves it untouched.
    EXPECT_GT(replaced, 0);
    EXPECT_LT(replaced, runs);
}

TEST_P(ClusterSearchTier, CorpusNoticesAChangedBracketingAndAnUnfusedProduct) {
    const Member &m = GetParam();
    if (!has_avx() || (m.tier == Tier::Fma && !has_fma())) { GTEST_SKIP() << "tier not available"; }
    std::vector<Mutation> mutations = {Mutation::Bracketing};
    if (m.tier == Tier::Fma) { mutations.push_back(Mutation::Unfused); }
    if (m.kind == 'c' && (m.count == 11 || m.count == 12)) { mutations.push_back(Mutation::Section); }
    for (Mutation mut : mutations) {
        int noticed = 0;
        for (const Block &b : corpus_of(m.count)) {
            Record got = start_record(FLT_MAX), want = start_record(FLT_MAX);
            m.member(&got.best, &got.bounds, &b.sums);
            apply(candidates(m, b.sums, mut), &want.best, &want.bounds);
            noticed += !same(got, want);
        }
        EXPECT_GT(noticed, 0) << "mutation " << int(mut);
    }
}

// Weighted squared error of a partition's palette over the block's colours, in double.
double true_error(const Block &b, uint32_t n, const uint8_t *bounds, const float *a, const float *e) {
    double sum = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const double w = b.sorted.v[k][3];
        const double alpha = k < bounds[0] ? 1.0 : k < bounds[1] ? 2.0 / 3.0 : k < bounds[2] ? 1.0 / 3.0 : 0.0;
        for (int c = 0; c < 3; ++c) {
            const double x = double(b.sorted.v[k][c]) / w;
            const double d = alpha * a[c] + (1.0 - alpha) * e[c] - x;
            sum += w * d * d;
        }
    }
    return sum;
}
double energy(const Block &b, uint32_t n) {
    double sum = 0;
    for (uint32_t k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) { sum += double(b.sorted.v[k][c]) * b.sorted.v[k][c] / b.sorted.v[k][3]; }
    }
    return sum;
}
bool near_half_step(const Candidate &c) {
    for (int l = 0; l < 3; ++l) {
        for (float v : {c.raw_a[l], c.raw_b[l]}) {
            const double x = double(v) * kScale[l];
            if (std::fabs(x - std::floor(x) - 0.5) < 1e-4) { return true; }
        }
    }
    return false;
}

TEST_P(ClusterSearchTier, KeepsTheBaselineChoiceButForRoundingCauses) {
    const Member &m = GetParam();
    if (!has_avx() || (m.tier == Tier::Fma && !has_fma())) { GTEST_SKIP() << "tier not available"; }
    int blocks = 0, differ = 0, near_tie = 0, half_step = 0;
    for (const Block &b : corpus_of(m.count)) {
        Record tier = start_record(FLT_MAX), base = start_record(FLT_MAX);
        m.member(&tier.best, &tier.bounds, &b.sums);
        m.baseline(&base.best, &base.bounds, &b.sums);
        ++blocks;
        const bool equal = std::memcmp(&tier.bounds, &base.bounds, 3) == 0 &&
                           std::memcmp(tier.best.start, base.best.start, 12) == 0 &&
                           std::memcmp(tier.best.end, base.best.end, 12) == 0;
        if (equal) { continue; }
        ++differ;
        const uint8_t tb[3] = {tier.bounds.b0, tier.bounds.b1, tier.bounds.b2};
        const uint8_t bb[3] = {base.bounds.b0, base.bounds.b1, base.bounds.b2};
        const double et = true_error(b, m.count, tb, tier.best.start, tier.best.end);
        const double eb = true_error(b, m.count, bb, base.best.start, base.best.end);
        if (std::fabs(et - eb) <= 1e-5 * std::fmax(energy(b, m.count), 1e-30) || et == eb) {
            ++near_tie;
            continue;
        }
        // A winning partition whose least-squares value sits on a half step of the grid.
        bool half = false;
        for (const Candidate &c : candidates(m, b.sums)) {
            if ((std::memcmp(c.bounds, tb, 3) == 0 || std::memcmp(c.bounds, bb, 3) == 0) && near_half_step(c)) {
                half = true;
            }
        }
        if (half) {
            ++half_step;
            continue;
        }
        ADD_FAILURE() << b.name << ": unexplained difference\n  tier     " << describe(tier) << "\n  baseline "
                      << describe(base);
    }
    std::printf("[ %s ] %d of %d blocks differ from the baseline: %d near ties, %d half steps\n", m.name, differ,
                blocks, near_tie, half_step);
    RecordProperty("differ", differ);
}

INSTANTIATE_TEST_SUITE_P(Members, ClusterSearchTier, testing::ValuesIn(kMembers),
                         [](const testing::TestParamInfo<Member> &i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// Documented differences between the tiers.

// n colours: colour 0 as given, the rest white, unit weights, so the split (1, 1, 1) wins
// with colour 0 itself as its first end point.
ClusterSums one_apart(uint32_t n, const float *color0) {
    Sorted s;
    for (uint32_t k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) { s.v[k][c] = k == 0 ? color0[c] : 1.0f; }
        s.v[k][3] = 1.0f;
    }
    ClusterSums sums;
    prepare_of(n)(s.v, &sums);
    return sums;
}

TEST(ClusterSearchTiers, HalfStepsSnapByTier) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const float half_up = 16.5f / 31.0f, tiny = 0.5f / 31.0f;
    struct Case {
        const char *name;
        float color[3];
        int avx[3], fma[3], baseline[3];  // grid steps of the first end point
    };
    const Case cases[] = {
        {"16.5/31, 0.5, 0.5/31", {half_up, 0.5f, tiny}, {16, 32, 0}, {17, 32, 1}, {17, 32, 1}},
        {"0.5 everywhere", {0.5f, 0.5f, 0.5f}, {16, 32, 16}, {16, 32, 16}, {16, 32, 16}},
    };
    for (const Case &c : cases) {
        for (uint32_t n : {15u, 16u}) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << n << " colours");
            const ClusterSums sums = one_apart(n, c.color);
            const Call avx = n == 16 ? cluster_search_e_count16_avx : cluster_search_e_count15_avx;
            const Call fma = n == 16 ? cluster_search_e_count16_fma : cluster_search_e_count15_fma;
            const Call base = n == 16 ? cluster_search_e_count16_sse41 : cluster_search_e_count15_sse41;
            const std::pair<Call, const int *> runs[] = {{avx, c.avx}, {fma, c.fma}, {base, c.baseline}};
            for (const auto &[call, steps] : runs) {
                Record r = start_record(FLT_MAX);
                call(&r.best, &r.bounds, &sums);
                EXPECT_EQ(r.bounds.b0, 1);
                for (int l = 0; l < 3; ++l) { EXPECT_EQ(bits(r.best.start[l]), bits(float(steps[l]) * kStep[l])) << l; }
            }
        }
    }
}

TEST(ClusterSearchTiers, AllZeroColoursKeepEachMembersFirstCandidate) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    struct Case {
        const char *name;
        Call call;
        uint32_t n;
        ClusterBounds first;
    };
    const Case cases[] = {
        {"e16 avx", cluster_search_e_count16_avx, 16, {2, 2, 2, 0}},
        {"e16 fma", cluster_search_e_count16_fma, 16, {2, 2, 2, 0}},
        {"e16 baseline", cluster_search_e_count16_sse41, 16, {1, 1, 1, 0}},
        {"e15 avx", cluster_search_e_count15_avx, 15, {1, 1, 1, 0}},
        {"e15 fma", cluster_search_e_count15_fma, 15, {1, 1, 1, 0}},
        {"d16 avx", call16<cluster_search_d_count16_avx>, 16, {5, 6, 15, 0}},
        {"d16 fma", call16<cluster_search_d_count16_fma>, 16, {5, 6, 15, 0}},
        {"d15 avx", call15<cluster_search_d_count15_avx>, 15, {11, 12, 13, 0}},
        {"d15 fma", call15<cluster_search_d_count15_fma>, 15, {11, 12, 13, 0}},
#define MIDDLE_FIRST(NN, c_first)                                                                             \
    {"e" #NN " avx", cluster_search_e_count##NN##_avx, NN, {1, 1, 1, 0}},                                     \
        {"e" #NN " fma", cluster_search_e_count##NN##_fma, NN, {1, 1, 1, 0}},                                 \
        {"a" #NN " avx", call_list<cluster_search_a_count##NN##_avx, CLUSTER_ARRAY_A, NN>, NN, {0, 0, 1, 0}}, \
        {"a" #NN " fma", call_list<cluster_search_a_count##NN##_fma, CLUSTER_ARRAY_A, NN>, NN, {0, 0, 1, 0}}, \
        {"b" #NN " avx", call_list<cluster_search_b_count##NN##_avx, CLUSTER_ARRAY_B, NN>, NN, {1, 1, 2, 0}}, \
        {"b" #NN " fma", call_list<cluster_search_b_count##NN##_fma, CLUSTER_ARRAY_B, NN>, NN, {1, 1, 2, 0}}, \
        {"c" #NN " avx", call_list<cluster_search_c_count##NN##_avx, CLUSTER_ARRAY_C, NN>, NN, c_first},      \
        {"c" #NN " fma", call_list<cluster_search_c_count##NN##_fma, CLUSTER_ARRAY_C, NN>, NN, c_first},
        MIDDLE_FIRST(14, (ClusterBounds{0, 8, 13, 0})) MIDDLE_FIRST(13, (ClusterBounds{9, 9, 12, 0}))
#undef MIDDLE_FIRST
            {"e12 avx", cluster_search_e_count12_avx, 12, {1, 1, 1, 0}},
        {"e12 fma", cluster_search_e_count12_fma, 12, {1, 1, 1, 0}},
        {"e11 avx", cluster_search_e_count11_avx, 11, {1, 1, 1, 0}},
        {"e11 fma", cluster_search_e_count11_fma, 11, {1, 1, 1, 0}},
        {"a12 avx", call_list<cluster_search_a_count12_avx, CLUSTER_ARRAY_A, 12>, 12, {0, 0, 1, 0}},
        {"a12 fma", call_list<cluster_search_a_count12_fma, CLUSTER_ARRAY_A, 12>, 12, {0, 0, 1, 0}},
        {"a11 avx", call_list<cluster_search_a_count11_avx, CLUSTER_ARRAY_A, 11>, 11, {0, 0, 1, 0}},
        {"a11 fma", call_list<cluster_search_a_count11_fma, CLUSTER_ARRAY_A, 11>, 11, {0, 0, 1, 0}},
        // (9, 11, 11) and (10, 11, 11) tie: the first stays.
        {"d11 avx", call_list<cluster_search_d_count11_avx, CLUSTER_ARRAY_D, 11>, 11, {9, 11, 11, 0}},
        {"d11 fma", call_list<cluster_search_d_count11_fma, CLUSTER_ARRAY_D, 11>, 11, {9, 11, 11, 0}},
        {"b12 avx", call_list<cluster_search_b_count12_avx, CLUSTER_ARRAY_B, 12>, 12, {1, 1, 2, 0}},
        {"b12 fma", call_list<cluster_search_b_count12_fma, CLUSTER_ARRAY_B, 12>, 12, {1, 1, 2, 0}},
        {"c12 avx", call_list<cluster_search_c_count12_avx, CLUSTER_ARRAY_C, 12>, 12, {0, 0, 9, 0}},
        {"c12 fma", call_list<cluster_search_c_count12_fma, CLUSTER_ARRAY_C, 12>, 12, {0, 0, 9, 0}},
        {"b11 avx", call_list<cluster_search_b_count11_avx, CLUSTER_ARRAY_B, 11>, 11, {1, 1, 2, 0}},
        {"b11 fma", call_list<cluster_search_b_count11_fma, CLUSTER_ARRAY_B, 11>, 11, {1, 1, 2, 0}},
        {"c11 avx", call_list<cluster_search_c_count11_avx, CLUSTER_ARRAY_C, 11>, 11, {0, 0, 9, 0}},
        {"c11 fma", call_list<cluster_search_c_count11_fma, CLUSTER_ARRAY_C, 11>, 11, {0, 0, 9, 0}},
#define LOW_FIRST(NN, n)                                                                                    \
    {"e" #NN " avx", cluster_search_e_count##NN##_avx, n, {1, 1, 1, 0}},                                    \
        {"e" #NN " fma", cluster_search_e_count##NN##_fma, n, {1, 1, 1, 0}},                                \
        {"a" #NN " avx", call_list<cluster_search_a_count##NN##_avx, CLUSTER_ARRAY_A, n>, n, {0, 0, 1, 0}}, \
        {"a" #NN " fma", call_list<cluster_search_a_count##NN##_fma, CLUSTER_ARRAY_A, n>, n, {0, 0, 1, 0}},
        LOW_FIRST(10, 10) LOW_FIRST(09, 9) LOW_FIRST(08, 8)
#undef LOW_FIRST
            {"d10 avx", call_list<cluster_search_d_count10_avx, CLUSTER_ARRAY_D, 10>, 10, {5, 6, 9, 0}},
        {"d10 fma", call_list<cluster_search_d_count10_fma, CLUSTER_ARRAY_D, 10>, 10, {5, 6, 9, 0}},
        // Equal errors: (1, 2, 7) stays before (3, 4, 7).
        {"d08 avx", call_list<cluster_search_d_count08_avx, CLUSTER_ARRAY_D, 8>, 8, {1, 2, 7, 0}},
        {"d08 fma", call_list<cluster_search_d_count08_fma, CLUSTER_ARRAY_D, 8>, 8, {1, 2, 7, 0}},
#define LOW_FIRST_BC(NN, n, c_first)                                                                        \
    {"b" #NN " avx", call_list<cluster_search_b_count##NN##_avx, CLUSTER_ARRAY_B, n>, n, {1, 1, 2, 0}},     \
        {"b" #NN " fma", call_list<cluster_search_b_count##NN##_fma, CLUSTER_ARRAY_B, n>, n, {1, 1, 2, 0}}, \
        {"c" #NN " avx", call_list<cluster_search_c_count##NN##_avx, CLUSTER_ARRAY_C, n>, n, c_first},      \
        {"c" #NN " fma", call_list<cluster_search_c_count##NN##_fma, CLUSTER_ARRAY_C, n>, n, c_first},
        LOW_FIRST_BC(10, 10, (ClusterBounds{6, 6, 9, 0})) LOW_FIRST_BC(09, 9, (ClusterBounds{1, 2, 3, 0}))
            LOW_FIRST_BC(08, 8, (ClusterBounds{0, 0, 5, 0}))
#undef LOW_FIRST_BC
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const float black[3] = {0, 0, 0};
        Sorted s;
        for (uint32_t k = 0; k < c.n; ++k) { s.v[k][3] = 1.0f; }
        ClusterSums sums;
        prepare_of(c.n)(s.v, &sums);
        (void)black;
        Record r = start_record(FLT_MAX);
        c.call(&r.best, &r.bounds, &sums);
        EXPECT_EQ(r.bounds.b0, c.first.b0);
        EXPECT_EQ(r.bounds.b1, c.first.b1);
        EXPECT_EQ(r.bounds.b2, c.first.b2);
        EXPECT_EQ(r.best.error, 0.0f);
    }
}

// ---------------------------------------------------------------------------------------
// 8 to 10 colours.

// End points of a member on sums where the winner's least-squares end points are given
// exactly: kind e by a colour apart from white ones, kind d by sums made so that every
// candidate has alpha = (x, 1), beta = (y, 1) and no cross term (det 1).
struct LowSnapRun {
    const char *name;
    Call call;
    uint32_t n;
    char kind;
    Tier tier;
};

ClusterSums crafted_d_sums(uint32_t n, const float *x, const float *y) {
    ClusterSums sums;
    std::memset(&sums, 0, sizeof sums);
    const ClusterCandidateList &l = list(CLUSTER_ARRAY_D, n);
    for (uint32_t r = 0; r < l.rows; ++r) {
        const uint8_t *b = l.bounds + 3 * r;
        float *first = sums.values + full_at(n, 0, b[0]) / 4, *last = sums.values + full_at(n, b[2], n) / 4;
        for (int c = 0; c < 3; ++c) {
            first[c] = x[c];
            last[c] = y[c];
        }
        first[3] = last[3] = 1.0f;
    }
    return sums;
}

TEST(ClusterSearchLow, HalfStepsAndOutOfRangeValuesSnapByTierAndForm) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    const LowSnapRun runs[] = {
        {"e10 avx", cluster_search_e_count10_avx, 10, 'e', Tier::Avx},
        {"e10 fma", cluster_search_e_count10_fma, 10, 'e', Tier::Fma},
        {"e09 avx", cluster_search_e_count09_avx, 9, 'e', Tier::Avx},
        {"e09 fma", cluster_search_e_count09_fma, 9, 'e', Tier::Fma},
        {"e08 avx", cluster_search_e_count08_avx, 8, 'e', Tier::Avx},
        {"e08 fma", cluster_search_e_count08_fma, 8, 'e', Tier::Fma},
        {"d10 avx", call_list<cluster_search_d_count10_avx, CLUSTER_ARRAY_D, 10>, 10, 'd', Tier::Avx},
        {"d10 fma", call_list<cluster_search_d_count10_fma, CLUSTER_ARRAY_D, 10>, 10, 'd', Tier::Fma},
        {"d08 avx", call_list<cluster_search_d_count08_avx, CLUSTER_ARRAY_D, 8>, 8, 'd', Tier::Avx},
        {"d08 fma", call_list<cluster_search_d_count08_fma, CLUSTER_ARRAY_D, 8>, 8, 'd', Tier::Fma},
    };
    struct Case {
        const char *name;
        float value[3];
        int avx[3], fma[3];  // grid steps
        bool below_zero;     // kind e has no lower limit
    };
    const Case cases[] = {
        {"2.5/31, 0.5/63, 4.5/31", {2.5f / 31.0f, 0.5f / 63.0f, 4.5f / 31.0f}, {2, 0, 4}, {3, 1, 5}, false},
        {"0.5 everywhere", {0.5f, 0.5f, 0.5f}, {16, 32, 16}, {16, 32, 16}, false},
        {"above 1", {1.25f, 1.0000001f, 7.0f}, {31, 63, 31}, {31, 63, 31}, false},
        {"below 0", {-0.001f, -0.25f, -3.0f}, {0, 0, 0}, {0, 0, 0}, true},
    };
    const float other[3] = {0.25f, 0.5f, 0.75f};
    for (const LowSnapRun &run : runs) {
        for (const Case &c : cases) {
            if (c.below_zero && run.kind == 'e') { continue; }
            SCOPED_TRACE(testing::Message() << run.name << ", " << c.name);
            const ClusterSums sums =
                run.kind == 'e' ? one_apart(run.n, c.value) : crafted_d_sums(run.n, c.value, other);
            Record r = start_record(FLT_MAX);
            run.call(&r.best, &r.bounds, &sums);
            if (run.kind == 'e') { EXPECT_EQ(r.bounds.b0, 1); }
            const int *steps = run.tier == Tier::Avx ? c.avx : c.fma;
            for (int l = 0; l < 3; ++l) { EXPECT_EQ(bits(r.best.start[l]), bits(float(steps[l]) * kStep[l])) << l; }
            EXPECT_EQ(bits(r.best.start[3]), 0u);
        }
    }
}

// Least-squares end points of any partition of equal colours are those colours, up to
// rounding: outside [0, 1] they end on the grid's ends.
TEST(ClusterSearchLow, EqualColoursOutsideTheRangeEndOnTheGridEnds) {
    if (!has_fma()) { GTEST_SKIP() << "needs AVX and FMA"; }
    for (const Member &m : kMembers) {
        if (m.count > 10 || m.kind == 'e') { continue; }
        SCOPED_TRACE(m.name);
        std::mt19937 rng(m.count);
        const Block b =
            make_block("equal", m.count, Colors(m.count, {1.7f, -0.4f, 0.3f}), random_counts(rng, m.count), false);
        Record r = start_record(FLT_MAX);
        m.member(&r.best, &r.bounds, &b.sums);
        for (const float *p : {r.best.start, r.best.end}) {
            EXPECT_EQ(p[0], 1.0f);
            EXPECT_EQ(bits(p[1]), 0u);
        }
    }
}

// What the members take from constants of their own equals the shared tables.
TEST(ClusterSearchLow, FixedPlacesAndBoundBytesMatchTheTables) {
    for (uint32_t n : {8u, 9u, 10u}) {
        SCOPED_TRACE(testing::Message() << n << " colours");
        uint32_t splits = 0;
        for (uint8_t size : kClusterLowSplitGroups[n]) { splits += size; }
        EXPECT_EQ(splits, n - 1);

        const ClusterCandidateList &a = list(CLUSTER_ARRAY_A, n);
        const uint32_t per_shape = cluster_a_rows_per_pattern(n);
        ASSERT_EQ(a.rows, 5 * per_shape);
        ASSERT_EQ(per_shape % 4, 0u);
        for (uint32_t row = 0; row < a.rows; ++row) {
            const ClusterLowShapeA &shape = kClusterLowShapesA[row / per_shape];
            const uint32_t first = row / 4 * 4, j = row % 4;
            const uint64_t *rec = a.records + 3 * row, *head = a.records + 3 * first;
            SCOPED_TRACE(testing::Message() << "kind a row " << row);
            EXPECT_EQ(a.patterns[row], shape.mask);
            if (shape.prefix == ClusterLowSource::Step) { EXPECT_EQ(rec[0], head[0] + 48 * j); }
            if (shape.ab == ClusterLowSource::Step) { EXPECT_EQ(rec[2], head[2] + 4 * j); }
            if (shape.ab == ClusterLowSource::Fixed) {
                EXPECT_EQ(rec[2], cluster_low_whole_ab(n));
                EXPECT_EQ(rec[2], cross_at(n, 0, n));
            }
            for (int c = 0; c < 3; ++c) {
                const ClusterLowByte &src = shape.bounds[c];
                const uint8_t want = a.bounds[3 * row + c];
                if (src.table) {
                    EXPECT_EQ(a.bounds[3 * row + src.value], want) << c;
                } else {
                    EXPECT_EQ(src.value == kClusterLowCountByte ? n : src.value, want) << c;
                }
            }
        }
    }
    const ClusterCandidateList &d = list(CLUSTER_ARRAY_D, 10);
    ASSERT_EQ(d.rows, 1u);
    for (int f = 0; f < 5; ++f) { EXPECT_EQ(kClusterLowD10.offsets[f], d.records[f]) << f; }
    EXPECT_EQ(std::vector<uint8_t>(d.bounds, d.bounds + 3), (std::vector<uint8_t>{5, 6, 9}));
    // The places written out from the layout: S[0,5), S/3[5,6), S/3[6,9), S[9,10), ab[5,9).
    const uint64_t places[5] = {full_at(10, 0, 5), full_at(10, 5, 6) + 16, full_at(10, 6, 9) + 16, full_at(10, 9, 10),
                                cross_at(10, 5, 9)};
    for (int f = 0; f < 5; ++f) { EXPECT_EQ(kClusterLowD10.offsets[f], places[f]) << f; }
}

}  // namespace
