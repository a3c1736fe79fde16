// BC7 block encoder: solid blocks, mode choice, partition estimate and bit packing.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/log.h"
#include "texenc/ops/bc7_format.h"
#include "texenc/bc7enc/bc7enc.h"
#include "texenc/ops/dxtenc_ops.h"

namespace {

// Order in which the estimator tries the two-subset partitions.
constexpr uint8_t g_bc7_partition_order[64] = {0,  13, 1,  2,  15, 14, 10, 16, 3,  23, 26, 6,  7,  21, 19, 29,
                                               8,  4,  9,  20, 5,  31, 22, 17, 18, 11, 12, 30, 24, 25, 28, 27,
                                               32, 33, 34, 45, 46, 51, 49, 50, 48, 38, 39, 37, 53, 52, 54, 36,
                                               57, 58, 55, 41, 40, 42, 43, 59, 44, 56, 47, 35, 60, 63, 62, 61};

// Bit y + 1 of mask p: partition p is worth trying when y was the best of the first 14 candidates.
constexpr uint32_t g_bc7_partition_filter[35] = {
    0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x106,      0x8A,       0xFFFFFFFF, 0xFFFFFFFF,
    0x10104,    0x8088,     0xFFFFFFFF, 0x14100,    0xC080,     0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
    0xC000,     0x414000,   0x1024000,  0xC006,     0xFFFFFFFF, 0x41400A,   0xFFFFFFFF, 0x1028006,  0x40000A,
    0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x3C000,    0xFFFFFFFF, 0xFFFFFFFF, 0x900001E,  0x803C800};

// Appends num_bits of val at *pCur_ofs; the block is two little-endian 64-bit words.
inline void set_block_bits(uint64_t *pWords, uint32_t val, uint32_t num_bits, uint32_t *pCur_ofs) {
    ZASSERT((num_bits <= 32) && (val < (1ULL << num_bits)));
    const uint32_t ofs = *pCur_ofs;
    if (num_bits) {
        pWords[ofs >> 6] |= uint64_t(val) << (ofs & 63);
        if ((ofs & 63) + num_bits > 64) pWords[1] |= uint64_t(val) >> (64 - (ofs & 63));
    }
    *pCur_ofs += num_bits;
    ZASSERT(*pCur_ofs <= 128);
}

// Squared error of one estimator subset against its min/max palette; stops early past `limit`.
uint64_t estimate_subset_error(const uint8_t (*px)[4], const uint8_t *subset_of_pixel, uint32_t subset,
                               const uint32_t weights[4], uint32_t mode, uint64_t limit) {
    const uint32_t nc = mode == 7 ? 4 : 3;
    int lo[4] = {255, 255, 255, 255}, hi[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < 16; i++) {
        if (subset_of_pixel[i] != subset) continue;
        for (uint32_t c = 0; c < nc; c++) {
            lo[c] = std::min<int>(lo[c], px[i][c]);
            hi[c] = std::max<int>(hi[c], px[i][c]);
        }
    }
    const uint32_t np = mode == 7 ? 4 : 8;
    int pal[8][4];
    for (uint32_t k = 0; k < np; k++)
        for (uint32_t c = 0; c < nc; c++) {
            if (mode == 7) {
                static constexpr int w7[4][2] = {{64, 0}, {43, 21}, {21, 43}, {0, 64}};
                pal[k][c] = k == 0 ? lo[c] : (k == 3 ? hi[c] : (w7[k][0] * lo[c] + w7[k][1] * hi[c] + 32) >> 6);
            } else {
                const int w = int(bc7fmt::kWeights3[k]);
                pal[k][c] = ((64 - w) * lo[c] + w * hi[c] + 32) >> 6;
            }
        }
    int d[4] = {0, 0, 0, 0};
    for (uint32_t c = 0; c < nc; c++) d[c] = hi[c] - lo[c];
    int s[8], thr[7];
    for (uint32_t k = 0; k < np; k++) {
        s[k] = 0;
        for (uint32_t c = 0; c < nc; c++) s[k] += pal[k][c] * d[c];
    }
    for (uint32_t k = 0; k + 1 < np; k++) thr[k] = (s[k] + s[k + 1] + 1) >> 1;

    uint64_t err = 0;
    for (uint32_t i = 0; i < 16; i++) {
        if (subset_of_pixel[i] != subset) continue;
        int q = 0;
        for (uint32_t c = 0; c < nc; c++) q += int(px[i][c]) * d[c];
        uint32_t idx = 0;
        for (uint32_t k = 0; k + 1 < np; k++) idx += q >= thr[k] ? 1 : 0;
        for (uint32_t c = 0; c < nc; c++) {
            const int64_t e = pal[idx][c] - int(px[i][c]);
            err += uint64_t(weights[c]) * uint64_t(e * e);
        }
        if (err > limit) break;
    }
    return err;
}

// Pixels of one subset of a two-subset partition, in pixel order.
uint32_t split_subset(const uint8_t (*pPixels)[4], uint32_t partition, uint32_t subset, uint8_t (*out)[4]) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < 16; i++)
        if (bc7fmt::kPartition2[partition][i] == subset) std::memcpy(out[n++], pPixels[i], 4);
    return n;
}

void fill_cell(Bc7CellParams &p, uint32_t mode, bool has_alpha, const uint8_t (*px)[4], uint32_t n,
               const Bc7EncodeParams *comp) {
    p.m_num_pixels = n;
    p.m_pixels = px;
    std::memcpy(p.m_channel_weights, comp->m_weights, sizeof p.m_channel_weights);
    p.m_has_alpha = has_alpha;
    switch (mode) {
    case 6:
        p.m_num_weights = 16;
        p.m_weight_table = bc7fmt::kWeights4;
        p.m_weight_terms = g_bc7_weight_terms4;
        p.m_endpoint_bits = 7;
        p.m_has_pbits = true;
        p.m_shared_pbit = false;
        break;
    case 1:
        p.m_num_weights = 8;
        p.m_weight_table = bc7fmt::kWeights3;
        p.m_weight_terms = g_bc7_weight_terms3;
        p.m_endpoint_bits = 6;
        p.m_has_pbits = true;
        p.m_shared_pbit = true;
        break;
    case 5:
        p.m_num_weights = 4;
        p.m_weight_table = bc7fmt::kWeights2;
        p.m_weight_terms = g_bc7_weight_terms2;
        p.m_endpoint_bits = 7;
        p.m_has_pbits = false;
        p.m_shared_pbit = false;
        break;
    default:  // 7
        p.m_num_weights = 4;
        p.m_weight_table = bc7fmt::kWeights2;
        p.m_weight_terms = g_bc7_weight_terms2;
        p.m_endpoint_bits = 5;
        p.m_has_pbits = true;
        p.m_shared_pbit = false;
        break;
    }
}

// Tries a two-subset mode (1 or 7) against the best error so far; fills the solution when it wins.
void try_two_subset_mode(uint32_t mode, const uint8_t (*pPixels)[4], const Bc7EncodeParams *comp, bool has_alpha,
                         uint64_t &best_err, Bc7BlockSolution &sol) {
    const uint32_t p = bc7_estimate_partition(pPixels, comp, comp->m_weights, mode);
    uint8_t sub_px[2][16][4];
    uint8_t sub_sel[2][16], sub_tmp[16];
    Bc7CellResults res[2];
    uint64_t total = 0;
    for (uint32_t s = 0; s < 2; s++) {
        const uint32_t n = split_subset(pPixels, p, s, sub_px[s]);
        Bc7CellParams cell;
        fill_cell(cell, mode, has_alpha, sub_px[s], n, comp);
        res[s].m_selectors = sub_sel[s];
        res[s].m_selectors_temp = sub_tmp;
        total += color_cell_compression(mode, &cell, &res[s], comp);
        if (total > best_err) return;  // the second subset is not worth compressing
    }
    if (total >= best_err) return;
    best_err = total;
    sol = Bc7BlockSolution{};
    sol.m_mode = mode;
    sol.m_partition = p;
    uint32_t k[2] = {0, 0};
    for (uint32_t i = 0; i < 16; i++) {
        const uint32_t s = bc7fmt::kPartition2[p][i];
        sol.m_selectors[i] = sub_sel[s][k[s]++];
    }
    for (uint32_t s = 0; s < 2; s++) {
        std::memcpy(sol.m_low[s], res[s].m_low, 4);
        std::memcpy(sol.m_high[s], res[s].m_high, 4);
        sol.m_pbits[s][0] = res[s].m_pbits[0];
        sol.m_pbits[s][1] = res[s].m_pbits[1];
    }
}

// Mode 5: the colour as one cell, the alpha fitted on its own (2-bit indices, 8-bit end points).
uint64_t handle_alpha_block_mode5(const uint8_t (*pPixels)[4], const Bc7EncodeParams *comp, Bc7BlockSolution &sol) {
    Bc7CellParams cell;
    fill_cell(cell, 5, false, pPixels, 16, comp);
    uint8_t sel[16], tmp[16];
    Bc7CellResults results5;
    results5.m_selectors = sel;
    results5.m_selectors_temp = tmp;
    const uint64_t mode5_color_err = color_cell_compression(5, &cell, &results5, comp);
    const uint64_t *pMode5_err = &mode5_color_err;
    ZASSERT(*pMode5_err == results5.m_best_overall_err);

    int lo = 255, hi = 0;
    for (uint32_t i = 0; i < 16; i++) {
        lo = std::min<int>(lo, pPixels[i][3]);
        hi = std::max<int>(hi, pPixels[i][3]);
    }
    uint8_t best_sel[16] = {};
    int best_lo = lo, best_hi = hi;
    uint64_t best_alpha_err = 0;
    if (lo != hi) {
        best_alpha_err = UINT64_MAX;
        const uint32_t passes = comp->m_level == 0 ? 2 : 3;
        for (uint32_t pass = 0; pass < passes; pass++) {
            const int pal[4] = {lo, (43 * lo + 21 * hi + 32) >> 6, (21 * lo + 43 * hi + 32) >> 6, hi};
            uint8_t s[16];
            uint64_t err = 0;
            for (uint32_t i = 0; i < 16; i++) {
                const int a = pPixels[i][3];
                int best_k = 0, best_d = 1 << 30;
                for (int k = 0; k < 4; k++) {
                    const int d = std::abs(pal[k] - a);
                    if (d < best_d) {
                        best_d = d;
                        best_k = k;
                    }
                }
                s[i] = uint8_t(best_k);
                err += uint64_t(comp->m_weights[3]) * uint64_t(best_d * best_d);
            }
            if (err < best_alpha_err) {
                best_alpha_err = err;
                best_lo = lo;
                best_hi = hi;
                std::memcpy(best_sel, s, 16);
            }
            if (pass + 1 == passes) break;

            float z00 = 0, z10 = 0, z11 = 0, q00 = 0, t = 0;
            for (uint32_t i = 0; i < 16; i++) {
                const float *w = g_bc7_weight_terms2[s[i]].v;
                z00 += w[0];
                z10 += w[1];
                z11 += w[2];
                q00 += w[3] * float(pPixels[i][3]);
                t += float(pPixels[i][3]);
            }
            const float q10 = t - q00;
            float det = z00 * z11 - z10 * z10;
            if (det != 0.0f) det = 1.0f / det;
            float first = (z11 * q00 - z10 * q10) * det;
            float second = (z00 * q10 - z10 * q00) * det;
            if ((first < 0.0f || second > 255.0f) && lo == hi) first = second = float(lo);
            // Kept within a byte (a negative or degenerate fit must not wrap) before the conversion.
            auto to_byte = [](float x) { return x > 0.0f ? int(std::floor(std::min(x, 255.0f) + 0.5f)) : 0; };
            int a = to_byte(first);
            int b = to_byte(second);
            if (a > b) std::swap(a, b);
            if (a == lo && b == hi) break;
            lo = a;
            hi = b;
        }
    }

    sol = Bc7BlockSolution{};
    sol.m_mode = 5;
    std::memcpy(sol.m_selectors, sel, 16);
    std::memcpy(sol.m_alpha_selectors, best_sel, 16);
    for (uint32_t c = 0; c < 3; c++) {
        sol.m_low[0][c] = results5.m_low[c];
        sol.m_high[0][c] = results5.m_high[c];
    }
    sol.m_low[0][3] = uint8_t(best_lo);
    sol.m_high[0][3] = uint8_t(best_hi);
    return *pMode5_err + best_alpha_err;
}

void flip_indices(uint8_t *sel, uint32_t bits, const uint8_t *subset_of_pixel, uint32_t subset) {
    const uint32_t top = (1u << bits) - 1;
    for (uint32_t i = 0; i < 16; i++)
        if (!subset_of_pixel || subset_of_pixel[i] == subset) sel[i] = uint8_t(top - sel[i]);
}

}  // namespace

uint32_t bc7_estimate_partition(const uint8_t (*pPixels)[4], const Bc7EncodeParams *pComp_params,
                                const uint32_t weights[4], uint32_t mode) {
    const uint32_t n = pComp_params->m_partition_limit;
    if (n < 2) return 0;
    const uint32_t count = std::min<uint32_t>(n, 64);
    uint64_t best_err = UINT64_MAX;
    uint32_t best_p = 0, filter_y = 0;
    for (uint32_t pos = 0; pos < count && best_err != 0; pos++) {
        const uint32_t p = g_bc7_partition_order[pos];
        if (pos == 14) filter_y = best_p;
        const bool skip = pComp_params->m_partition_filter && pos >= 14 && pos <= 34 &&
                          !(g_bc7_partition_filter[p] & (1u << (filter_y + 1)));
        if (!skip) {
            uint64_t total = 0;
            for (uint32_t s = 0; s < 2 && total < best_err; s++)
                total += estimate_subset_error(pPixels, bc7fmt::kPartition2[p], s, weights, mode, best_err);
            if (total < best_err) {
                best_err = total;
                best_p = p;
            }
        }
        if (pos == 34 && best_p != 34) break;
    }
    return best_p;
}

void encode_bc7_block(void *pBlock, const Bc7BlockSolution *pResults) {
    ZASSERT(pResults->m_index_selector <= 1);
    ZASSERT(pResults->m_rotation <= 3);
    const uint32_t mode = pResults->m_mode;
    const bc7fmt::ModeInfo &mi = bc7fmt::kModes[mode];
    const uint32_t ns = mi.subsets;
    const uint32_t partition = pResults->m_partition;

    uint8_t low[3][4], high[3][4];
    uint32_t pbits[3][2];
    uint8_t sel[16], sel2[16];
    std::memcpy(low, pResults->m_low, sizeof low);
    std::memcpy(high, pResults->m_high, sizeof high);
    std::memcpy(pbits, pResults->m_pbits, sizeof pbits);
    std::memcpy(sel, pResults->m_selectors, 16);
    std::memcpy(sel2, pResults->m_alpha_selectors, 16);

    // Every anchor index must have a clear top bit: invert the subset's indices and exchange its end points.
    if (mi.index2_bits == 0) {
        uint8_t subset_of_pixel[16];
        for (uint32_t i = 0; i < 16; i++) subset_of_pixel[i] = uint8_t(bc7fmt::subset_of(ns, partition, i));
        for (uint32_t s = 0; s < ns; s++) {
            const uint32_t anchor = bc7fmt::anchor_of(ns, partition, s);
            if (sel[anchor] & (1u << (mi.index_bits - 1))) {
                flip_indices(sel, mi.index_bits, subset_of_pixel, s);
                std::swap(low[s], high[s]);
                if (mi.endpoint_pbits) std::swap(pbits[s][0], pbits[s][1]);
            }
        }
    } else {
        // Modes 4 and 5: colour and alpha flip apart. In mode 4 the index selector gives the
        // 3-bit set to colour.
        const uint32_t color_bits = pResults->m_index_selector ? mi.index2_bits : mi.index_bits;
        const uint32_t alpha_bits = pResults->m_index_selector ? mi.index_bits : mi.index2_bits;
        if (sel[0] & (1u << (color_bits - 1))) {
            flip_indices(sel, color_bits, nullptr, 0);
            for (uint32_t c = 0; c < 3; c++) std::swap(low[0][c], high[0][c]);
        }
        if (sel2[0] & (1u << (alpha_bits - 1))) {
            flip_indices(sel2, alpha_bits, nullptr, 0);
            std::swap(low[0][3], high[0][3]);
        }
    }

    uint64_t out[2] = {0, 0};
    uint32_t cur_bit_ofs = 0;
    set_block_bits(out, 1u << mode, mode + 1, &cur_bit_ofs);
    set_block_bits(out, partition, mi.partition_bits, &cur_bit_ofs);
    set_block_bits(out, pResults->m_rotation, mi.rotation_bits, &cur_bit_ofs);
    set_block_bits(out, pResults->m_index_selector, mi.index_sel_bits, &cur_bit_ofs);
    const uint32_t nch = mi.alpha_bits ? 4 : 3;
    for (uint32_t c = 0; c < nch; c++) {
        const uint32_t bits = c < 3 ? mi.color_bits : mi.alpha_bits;
        for (uint32_t s = 0; s < ns; s++) {
            set_block_bits(out, low[s][c], bits, &cur_bit_ofs);
            set_block_bits(out, high[s][c], bits, &cur_bit_ofs);
        }
    }
    for (uint32_t s = 0; s < ns; s++) {
        if (mi.endpoint_pbits) {
            set_block_bits(out, pbits[s][0], 1, &cur_bit_ofs);
            set_block_bits(out, pbits[s][1], 1, &cur_bit_ofs);
        } else if (mi.shared_pbits) {
            set_block_bits(out, pbits[s][0], 1, &cur_bit_ofs);
        }
    }
    if (mi.index2_bits == 0) {
        for (uint32_t i = 0; i < 16; i++) {
            const uint32_t s = bc7fmt::subset_of(ns, partition, i);
            const bool anchor = i == bc7fmt::anchor_of(ns, partition, s);
            set_block_bits(out, sel[i], mi.index_bits - (anchor ? 1 : 0), &cur_bit_ofs);
        }
    } else {
        // The 2-bit set comes first.
        const uint8_t *first = pResults->m_index_selector ? sel2 : sel;
        const uint8_t *second = pResults->m_index_selector ? sel : sel2;
        for (uint32_t i = 0; i < 16; i++) set_block_bits(out, first[i], mi.index_bits - (i == 0 ? 1 : 0), &cur_bit_ofs);
        for (uint32_t i = 0; i < 16; i++)
            set_block_bits(out, second[i], mi.index2_bits - (i == 0 ? 1 : 0), &cur_bit_ofs);
    }
    ZASSERT(cur_bit_ofs == 128);
    uint8_t *bytes = static_cast<uint8_t *>(pBlock);
    for (int i = 0; i < 8; i++) {
        bytes[i] = uint8_t(out[0] >> (8 * i));
        bytes[8 + i] = uint8_t(out[1] >> (8 * i));
    }
}

bool bc7enc_compress_block(void *pBlock, const uint8_t (*pPixels)[4], const Bc7EncodeParams *pComp_params) {
    ZASSERT(g_bc7_mode_1_optimal_endpoints[255][0].m_hi != 0);

    bool opaque = true;
    for (uint32_t i = 0; i < 16; i++) opaque &= pPixels[i][3] == 255;

    Bc7BlockSolution sol;
    Bc7CellParams cell6;
    fill_cell(cell6, 6, !opaque, pPixels, 16, pComp_params);
    uint8_t sel6[16], tmp6[16];
    Bc7CellResults res6;
    res6.m_selectors = sel6;
    res6.m_selectors_temp = tmp6;
    uint64_t best_err = color_cell_compression(6, &cell6, &res6, pComp_params);
    sol.m_mode = 6;
    std::memcpy(sol.m_selectors, sel6, 16);
    std::memcpy(sol.m_low[0], res6.m_low, 4);
    std::memcpy(sol.m_high[0], res6.m_high, 4);
    sol.m_pbits[0][0] = res6.m_pbits[0];
    sol.m_pbits[0][1] = res6.m_pbits[1];

    if (opaque) {
        if (best_err != 0 && pComp_params->m_partition_limit != 0)
            try_two_subset_mode(1, pPixels, pComp_params, false, best_err, sol);
    } else if (best_err != 0) {
        if (pComp_params->m_alpha_mode5) {
            Bc7BlockSolution sol5;
            const uint64_t err5 = handle_alpha_block_mode5(pPixels, pComp_params, sol5);
            if (err5 < best_err) {
                best_err = err5;
                sol = sol5;
            }
        }
        if (best_err != 0 && pComp_params->m_alpha_mode7)
            try_two_subset_mode(7, pPixels, pComp_params, true, best_err, sol);
    }
    encode_bc7_block(pBlock, &sol);
    return !opaque;
}

void bc7enc_encode_solid_block(void *pBlock, const uint8_t rgba[4]) {
    uint64_t low_ep[3], high_ep[3];
    bool two = false;
    for (uint32_t c = 0; c < 3; c++) {
        const uint32_t v = rgba[c];
        if ((v & 1) == (v >> 7)) {
            low_ep[c] = high_ep[c] = v >> 1;  // (e << 1) | (e >> 6) == v
        } else {
            two = true;
            low_ep[c] = v == 128 ? 63 : (v - 1) >> 1;
            high_ep[c] = v == 128 ? 66 : (v + 1) >> 1;
        }
    }
    uint64_t lo = 0x20 | low_ep[0] << 8 | low_ep[1] << 22 | low_ep[2] << 36 | uint64_t(rgba[3]) << 50;
    uint64_t hi = 0;
    if (two) {
        // Every colour index 1 (weight 21) between the pair; exact channels hold the value twice.
        lo |= high_ep[0] << 15 | high_ep[1] << 29 | high_ep[2] << 43;
        hi = 0xAAAAAAACull;
    }
    uint8_t *out = static_cast<uint8_t *>(pBlock);
    for (int i = 0; i < 8; i++) {
        out[i] = uint8_t(lo >> (8 * i));
        out[8 + i] = uint8_t(hi >> (8 * i));
    }
}

void bc7enc_encode_pixels(void *pBlock, const uint8_t (*pPixels)[4], uint32_t level, uint32_t partition_limit) {
    uint8_t mn[4] = {255, 255, 255, 255}, mx[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < 16; i++)
        for (uint32_t c = 0; c < 4; c++) {
            mn[c] = std::min(mn[c], pPixels[i][c]);
            mx[c] = std::max(mx[c], pPixels[i][c]);
        }
    if (std::memcmp(mn, mx, 4) == 0) {
        bc7enc_encode_solid_block(pBlock, mn);
        return;
    }
    Bc7EncodeParams params;
    params.m_partition_limit = partition_limit;
    params.m_level = level;
    bc7enc_compress_block(pBlock, pPixels, &params);
}

void encode_block_bc7(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, uint32_t level,
                      uint32_t partition_limit, const DxtEncOps &ops) {
    alignas(16) uint8_t px[16][4];
    ops.bc7_gather(&px[0][0], planes[0], planes[1], planes[2], planes[3], strides[0], strides[1], strides[2],
                   strides[3]);
    bc7enc_encode_pixels(out, px, level, partition_limit);
}

void encode_block_bc7_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    encode_block_bc7(out, planes, strides, 0, 4, ops);
}

void encode_block_bc7_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    encode_block_bc7(out, planes, strides, 1, 16, ops);
}

void encode_block_bc7_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    encode_block_bc7(out, planes, strides, 4, 64, ops);
}
