#pragma once
// Candidates of the search kinds a to d for 2 to 7 colours at the AVX tiers, worked out
// when compiling from the shared row lists: each row's places in the range sums, how its
// sums of three terms are bracketed, and which bound bytes a batch writes as constants.
#include <array>
#include <cstddef>
#include <cstdint>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_rows.h"
#include "texenc/clusterfit/cluster_tables.h"

// Which two terms of a sum of three are added first: the two third-weighted terms
// (Middle), or the outer run's `full` with the term of the index-2 run (WithTwo) or of
// the index-3 run (WithThree).
enum class FewBracket : uint8_t { Middle, WithTwo, WithThree };

// A bound byte written on a store: the entry's own byte `from` of the bounds list, or,
// with from < 0, the constant `value`.
struct FewByte {
    int8_t from = 0;
    uint8_t value = 0;
};

struct FewRow {
    ClusterRow bounds;
    // Byte offsets into the sums: `full` of the index-0 and index-1 runs, `one_third` of
    // the index-2 and index-3 runs (`two_thirds` follows), the cross value of [b0, b2).
    // An empty run names the empty entry (0 or 16), an empty middle the cross value 0.
    uint64_t full0 = 0, third2 = 16, third3 = 16, full1 = 0, cross = 0;
    FewBracket alpha = FewBracket::Middle, beta = FewBracket::Middle;
    FewByte bytes[3];
};

constexpr uint32_t few_list_rows(char kind, uint32_t n) {
    if (kind == 'a') { return 5 * cluster_a_rows_per_pattern(n); }
    if (kind == 'c') { return kClusterCRows[n]; }
    if (kind == 'd') { return kClusterDRows[n]; }
    uint32_t rows = 0;
    for (uint16_t r : kClusterBBlockRows[n]) { rows += r; }
    return rows;
}

constexpr ClusterRow few_list_row(char kind, uint32_t n, uint32_t r) {
    if (kind == 'a') { return cluster_a_row(n, cluster_a_rows_per_pattern(n), r); }
    ClusterRow out{};
    cluster_for_rows(kind == 'b'   ? kClusterRowsB[n]
                     : kind == 'c' ? kClusterRowsC[n]
                                   : kClusterRowsD[n],
                     r, 1, [&](ClusterRow x) { out = x; });
    return out;
}

// Rows whose sums of three terms are not bracketed as Middle.
constexpr void few_brackets(char kind, uint32_t n, uint32_t r, FewBracket *alpha, FewBracket *beta) {
    *alpha = *beta = FewBracket::Middle;
    if (kind != 'c') { return; }
    if (n == 4 && (r == 14 || r == 15 || r == 23)) { *beta = FewBracket::WithTwo; }
    if (n == 6 && r >= 4 && r < 8) { *beta = FewBracket::WithThree; }
    if (n == 7 && r >= 20 && r < 24) { *alpha = FewBracket::WithTwo; }
    if (n == 7 && r >= 24 && r < 28) { *beta = FewBracket::WithThree; }
}

// Batches of kind c whose rows all end on one b2, written as a constant.
constexpr bool few_constant_b2(char kind, uint32_t n, uint32_t r) {
    return kind == 'c' && ((n == 6 && r >= 4 && r < 8) || (n == 7 && r >= 24 && r < 28));
}

// Rows first .. last - 1 of the block of rows that shares the writing of bound bytes:
// the shape of kinds a and b; kinds c and d copy every byte.
constexpr void few_byte_block(char kind, uint32_t n, uint32_t r, uint32_t *first, uint32_t *last) {
    *first = r;
    *last = r + 1;
    if (kind == 'a') {
        const uint32_t per = cluster_a_rows_per_pattern(n);
        *first = r / per * per;
        *last = *first + per;
    } else if (kind == 'b') {
        uint32_t start = 0;
        for (uint16_t rows : kClusterBBlockRows[n]) {
            if (r < start + rows) {
                *first = start;
                *last = start + rows;
                return;
            }
            start += rows;
        }
    }
}

template <char Kind, uint32_t N>
constexpr std::array<FewRow, few_list_rows(Kind, N)> make_few_plan() {
    std::array<FewRow, few_list_rows(Kind, N)> plan{};
    for (uint32_t r = 0; r < plan.size(); ++r) {
        FewRow &p = plan[r];
        const ClusterRow b = few_list_row(Kind, N, r);
        p.bounds = b;
        p.full0 = 48ull * cluster_range_entry(N, 0, b.b0);
        p.third2 = 48ull * cluster_range_entry(N, b.b0, b.b1) + 16;
        p.third3 = 48ull * cluster_range_entry(N, b.b1, b.b2) + 16;
        p.full1 = 48ull * cluster_range_entry(N, b.b2, N);
        p.cross = cluster_cross_base(N) + 4ull * cluster_cross_index(N, b.b0, b.b2);
        few_brackets(Kind, N, r, &p.alpha, &p.beta);
        // A byte shared by the whole block is a constant; one equal to an earlier byte in
        // every row of the block is copied from that byte; any other is the row's own.
        uint32_t first = 0, last = 0;
        few_byte_block(Kind, N, r, &first, &last);
        for (int i = 0; i < 3; ++i) {
            p.bytes[i] = FewByte{int8_t(i), 0};
            if (i == 2 && few_constant_b2(Kind, N, r)) { p.bytes[i] = FewByte{-1, b.b2}; }
            if (last - first == 1) { continue; }
            auto byte = [](ClusterRow x, int j) { return j == 0 ? x.b0 : j == 1 ? x.b1 : x.b2; };
            bool constant = true;
            for (uint32_t q = first; q < last; ++q) {
                constant = constant && byte(few_list_row(Kind, N, q), i) == byte(few_list_row(Kind, N, first), i);
            }
            if (constant) {
                p.bytes[i] = FewByte{-1, byte(b, i)};
                continue;
            }
            for (int j = 0; j < i; ++j) {
                bool same = true;
                for (uint32_t q = first; q < last; ++q) {
                    same = same && byte(few_list_row(Kind, N, q), i) == byte(few_list_row(Kind, N, q), j);
                }
                if (same) {
                    p.bytes[i] = FewByte{int8_t(j), 0};
                    break;
                }
            }
        }
    }
    return plan;
}

template <char Kind, uint32_t N>
inline constexpr auto kFewPlan = make_few_plan<Kind, N>();

// Terms of a row's sums: the index-0 (alpha) or index-1 (beta) run's `full`, then the
// index-2 and index-3 runs' terms; a term of an empty run is 0.
struct FewTerms {
    bool outer, two, three;
};
constexpr FewTerms few_alpha_terms(const FewRow &r) {
    return {r.bounds.b0 > 0, r.bounds.b1 > r.bounds.b0, r.bounds.b2 > r.bounds.b1};
}
constexpr FewTerms few_beta_terms(const FewRow &r, uint32_t n) {
    return {r.bounds.b2<n, r.bounds.b1> r.bounds.b0, r.bounds.b2 > r.bounds.b1};
}
constexpr bool few_full(FewTerms t) { return t.outer && t.two && t.three; }

// Bracketing of a register holding rows lo and hi: that of the row with three terms
// (rows that both have three must agree).
constexpr bool few_pair_agrees(FewTerms lo_t, FewBracket lo, FewTerms hi_t, FewBracket hi) {
    return !(few_full(lo_t) && few_full(hi_t)) || lo == hi;
}
constexpr FewBracket few_pair_bracket(FewTerms lo_t, FewBracket lo, FewBracket hi) { return few_full(lo_t) ? lo : hi; }
