#include "container/texdec/bc7decomp/bc7decomp.h"

#include <cstring>

#include "platform/core/log.h"
#include "texenc/ops/bc7_format.h"

namespace bc7decomp {

uint32_t bc7_interp2(uint32_t e0, uint32_t e1, uint32_t index) {
    ZASSERT(index < 4);
    return bc7_interp(e0, e1, bc7fmt::kWeights2[index]);
}

uint32_t bc7_interp3(uint32_t e0, uint32_t e1, uint32_t index) {
    ZASSERT(index < 8);
    return bc7_interp(e0, e1, bc7fmt::kWeights3[index]);
}

}  // namespace bc7decomp

using namespace bc7decomp;

namespace {

uint32_t mode_of(const uint8_t *b) {
    for (uint32_t m = 0; m < 8; m++)
        if (b[0] & (1u << m)) return m;
    return 8;
}

const uint32_t *weights_of(uint32_t bits) {
    return bits == 2 ? bc7fmt::kWeights2 : (bits == 3 ? bc7fmt::kWeights3 : bc7fmt::kWeights4);
}

// Modes 0 to 3 and 7: several subsets, one index set; alpha 255 unless the mode stores it.
bool unpack_multi_subset(uint32_t mode, const uint8_t *b, uint8_t *pixels) {
    const bc7fmt::ModeInfo &mi = bc7fmt::kModes[mode];
    uint32_t ofs = 0;
    if (read_bits32(b, ofs, mode + 1) != (1u << mode)) return false;
    const uint32_t partition = read_bits32(b, ofs, mi.partition_bits);
    const uint32_t ns = mi.subsets;
    const uint32_t nch = mi.alpha_bits ? 4 : 3;

    uint32_t ep[3][2][4];  // [subset][end point][channel], stored values
    for (uint32_t c = 0; c < nch; c++) {
        const uint32_t bits = c < 3 ? mi.color_bits : mi.alpha_bits;
        for (uint32_t s = 0; s < ns; s++)
            for (uint32_t e = 0; e < 2; e++) ep[s][e][c] = read_bits32(b, ofs, bits);
    }
    uint32_t pbits[3][2] = {};
    for (uint32_t s = 0; s < ns; s++) {
        if (mi.endpoint_pbits) {
            pbits[s][0] = read_bits32(b, ofs, 1);
            pbits[s][1] = read_bits32(b, ofs, 1);
        } else if (mi.shared_pbits) {
            pbits[s][0] = pbits[s][1] = read_bits32(b, ofs, 1);
        }
    }
    const bool has_pbit = mi.endpoint_pbits || mi.shared_pbits;

    uint8_t palette[3][8][4];
    const uint32_t ni = 1u << mi.index_bits;
    const uint32_t *w = weights_of(mi.index_bits);
    for (uint32_t s = 0; s < ns; s++) {
        uint32_t e8[2][4];
        for (uint32_t e = 0; e < 2; e++) {
            for (uint32_t c = 0; c < nch; c++) {
                const uint32_t bits = c < 3 ? mi.color_bits : mi.alpha_bits;
                e8[e][c] = bc7_dequant(ep[s][e][c], pbits[s][e], bits, has_pbit);
                ZASSERT(e8[e][c] <= 255);
            }
            if (nch == 3) e8[e][3] = 255;
        }
        for (uint32_t k = 0; k < ni; k++)
            for (uint32_t c = 0; c < 4; c++) palette[s][k][c] = uint8_t(bc7_interp(e8[0][c], e8[1][c], w[k]));
    }

    for (uint32_t i = 0; i < 16; i++) {
        const uint32_t s = bc7fmt::subset_of(ns, partition, i);
        const bool anchor = i == bc7fmt::anchor_of(ns, partition, s);
        const uint32_t idx = read_bits32(b, ofs, mi.index_bits - (anchor ? 1 : 0));
        std::memcpy(pixels + 4 * i, palette[s][idx], 4);
    }
    ZASSERT(ofs == 128);
    return true;
}

}  // namespace

bool unpack_bc7_mode0_2(uint32_t mode, const void *block, uint8_t *pixels) {
    if (mode != 0 && mode != 2) return false;
    return unpack_multi_subset(mode, static_cast<const uint8_t *>(block), pixels);
}

bool unpack_bc7_mode1_3_7(uint32_t mode, const void *block, uint8_t *pixels) {
    if (mode != 1 && mode != 3 && mode != 7) return false;
    return unpack_multi_subset(mode, static_cast<const uint8_t *>(block), pixels);
}

bool unpack_bc7_mode4_5(uint32_t mode, const void *block, uint8_t *pixels) {
    if (mode != 4 && mode != 5) return false;
    const uint8_t *b = static_cast<const uint8_t *>(block);
    const bc7fmt::ModeInfo &mi = bc7fmt::kModes[mode];
    uint32_t ofs = 0;
    if (read_bits32(b, ofs, mode + 1) != (1u << mode)) return false;
    const uint32_t rotation = read_bits32(b, ofs, mi.rotation_bits);
    const uint32_t index_sel = read_bits32(b, ofs, mi.index_sel_bits);

    uint32_t e8[2][4];
    for (uint32_t c = 0; c < 4; c++) {
        const uint32_t bits = c < 3 ? mi.color_bits : mi.alpha_bits;
        for (uint32_t e = 0; e < 2; e++) e8[e][c] = bc7_dequant(read_bits32(b, ofs, bits), 0, bits, false);
    }
    // The first index set is always the 2-bit one; in mode 4 the selector bit
    // gives it to alpha instead of colour.
    uint32_t idx1[16], idx2[16];
    for (uint32_t i = 0; i < 16; i++) idx1[i] = read_bits32(b, ofs, mi.index_bits - (i == 0 ? 1 : 0));
    for (uint32_t i = 0; i < 16; i++) idx2[i] = read_bits32(b, ofs, mi.index2_bits - (i == 0 ? 1 : 0));
    ZASSERT(ofs == 128);

    const uint32_t *color_idx = index_sel ? idx2 : idx1;
    const uint32_t *alpha_idx = index_sel ? idx1 : idx2;
    const uint32_t *wc = weights_of(index_sel ? mi.index2_bits : mi.index_bits);
    const uint32_t *wa = weights_of(index_sel ? mi.index_bits : mi.index2_bits);
    for (uint32_t i = 0; i < 16; i++) {
        uint8_t px[4];
        for (uint32_t c = 0; c < 3; c++) px[c] = uint8_t(bc7_interp(e8[0][c], e8[1][c], wc[color_idx[i]]));
        px[3] = uint8_t(bc7_interp(e8[0][3], e8[1][3], wa[alpha_idx[i]]));
        if (rotation) {
            const uint8_t t = px[3];
            px[3] = px[rotation - 1];
            px[rotation - 1] = t;
        }
        std::memcpy(pixels + 4 * i, px, 4);
    }
    return true;
}

bool unpack_bc7_mode6(const void *block, uint8_t *pixels) {
    const uint8_t *b = static_cast<const uint8_t *>(block);
    if ((b[0] & 0x7F) != 0x40) return false;
    uint64_t lo, hi;
    std::memcpy(&lo, b, 8);
    std::memcpy(&hi, b + 8, 8);
    // Bits 7..62: R0 R1 G0 G1 B0 B1 A0 A1 (7 bits each), bit 63: p0, bit 64: p1, then indices.
    const uint32_t p0 = uint32_t(lo >> 63);
    const uint32_t p1 = uint32_t(hi & 1);
    uint32_t e0[4], e1[4];
    for (uint32_t c = 0; c < 4; c++) {
        e0[c] = uint32_t((lo >> (7 + 14 * c)) & 0x7F) << 1 | p0;
        e1[c] = uint32_t((lo >> (14 + 14 * c)) & 0x7F) << 1 | p1;
    }
    uint8_t palette[16][4];
    for (uint32_t k = 0; k < 16; k++)
        for (uint32_t c = 0; c < 4; c++) palette[k][c] = uint8_t(bc7_interp(e0[c], e1[c], bc7fmt::kWeights4[k]));
    // Pixel 0 has 3 index bits (65..67); pixel i > 0 has 4 bits at 64 + 4 i.
    std::memcpy(pixels, palette[(hi >> 1) & 7], 4);
    for (uint32_t i = 1; i < 16; i++) std::memcpy(pixels + 4 * i, palette[(hi >> (4 * i)) & 15], 4);
    return true;
}

bool unpack_bc7(const void *block, void *pixels) {
    const uint8_t *b = static_cast<const uint8_t *>(block);
    uint8_t *px = static_cast<uint8_t *>(pixels);
    switch (mode_of(b)) {
    case 0:
    case 2: return unpack_bc7_mode0_2(mode_of(b), b, px);
    case 1:
    case 3:
    case 7: return unpack_bc7_mode1_3_7(mode_of(b), b, px);
    case 4:
    case 5: return unpack_bc7_mode4_5(mode_of(b), b, px);
    case 6: return unpack_bc7_mode6(b, px);
    default:
        // Reserved mode: the format decodes it to transparent black.
        std::memset(px, 0, 64);
        return false;
    }
}
