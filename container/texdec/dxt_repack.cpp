#include "container/texdec/dxt_repack.h"

#include <cstring>
#include <limits>

#include "platform/core/byte_order.h"

namespace {

// Same expansion and palette rules as the block decoders.
inline int expand5(int x) {
    const int v = 255 * x + 16;
    return (v + (v >> 5)) >> 5;
}
inline int expand6(int x) {
    const int v = 255 * x + 32;
    return (v + (v >> 6)) >> 6;
}

struct Rgb {
    int c[3];
    bool operator==(const Rgb &o) const { return c[0] == o.c[0] && c[1] == o.c[1] && c[2] == o.c[2]; }
};

Rgb expand(uint16_t v) { return {{expand5(v >> 11), expand6((v >> 5) & 63), expand5(v & 31)}}; }

void palette(uint16_t c0, uint16_t c1, bool four, Rgb pal[4]) {
    const Rgb e0 = expand(c0), e1 = expand(c1);
    pal[0] = e0;
    pal[1] = e1;
    for (int k = 0; k < 3; ++k) {
        if (four || c0 > c1) {
            pal[2].c[k] = (2 * e0.c[k] + e1.c[k]) / 3;
            pal[3].c[k] = (e0.c[k] + 2 * e1.c[k]) / 3;
        } else {
            pal[2].c[k] = (e0.c[k] + e1.c[k]) / 2;
            pal[3].c[k] = 0;
        }
    }
}

// The 565 codes whose expansions bracket v in each channel (one when v is hit exactly).
void nearby_codes(const int v[3], int codes[3][2], int counts[3]) {
    for (int k = 0; k < 3; ++k) {
        const int top = k == 1 ? 63 : 31;
        int below = 0;
        while (below < top && (k == 1 ? expand6(below + 1) : expand5(below + 1)) <= v[k]) ++below;
        const int at = k == 1 ? expand6(below) : expand5(below);
        codes[k][0] = below;
        counts[k] = 1;
        if (at != v[k] && below < top) codes[k][counts[k]++] = below + 1;
    }
}

struct Fit {
    uint64_t error = std::numeric_limits<uint64_t>::max();
    uint16_t c0 = 0, c1 = 0;
    uint32_t indices = 0;
};

// Best indices for the 16 target colours with end points (c0, c1) in four-colour mode.
void try_pair(uint16_t c0, uint16_t c1, const Rgb target[16], Fit *best) {
    Rgb pal[4];
    palette(c0, c1, true, pal);
    uint64_t err = 0;
    uint32_t indices = 0;
    for (int j = 0; j < 16 && err < best->error; ++j) {
        uint32_t bi = 0;
        int be = std::numeric_limits<int>::max();
        for (uint32_t i = 0; i < 4; ++i) {
            int e = 0;
            for (int k = 0; k < 3; ++k) {
                const int d = pal[i].c[k] - target[j].c[k];
                e += d * d;
            }
            if (e < be) be = e, bi = i;
        }
        err += uint64_t(be);
        indices |= bi << (2 * j);
    }
    if (err < best->error) *best = {err, c0, c1, indices};
}

}  // namespace

void four_colour_block_to_dxt1(const uint8_t colour[8], uint8_t out[8]) {
    const uint16_t c0 = load_le16(colour), c1 = load_le16(colour + 2);
    const uint32_t idx = load_le32(colour + 4);
    if (c0 > c1) {
        std::memcpy(out, colour, 8);
    } else if (c0 < c1) {
        // Swapped end points give the four-colour palette in the order 1, 0, 3, 2.
        store_le16(out, c1);
        store_le16(out + 2, c0);
        store_le32(out + 4, idx ^ 0x55555555u);
    } else {
        // Equal end points: every four-colour entry is that colour, which DXT1 index 0 shows.
        store_le16(out, c0);
        store_le16(out + 2, c1);
        store_le32(out + 4, 0);
    }
}

bool dxt1_block_to_four_colour(const uint8_t dxt1[8], uint8_t out[8]) {
    const uint16_t c0 = load_le16(dxt1), c1 = load_le16(dxt1 + 2);
    const uint32_t idx = load_le32(dxt1 + 4);
    // Four-colour blocks, and three-colour blocks that use only the end points, decode
    // the same either way. (Index bit 1 set means index 2 or 3.)
    if (c0 > c1 || (idx & 0xAAAAAAAAu) == 0) {
        std::memcpy(out, dxt1, 8);
        return true;
    }
    Rgb pal[4];
    palette(c0, c1, false, pal);
    Rgb target[16];
    Rgb used[4];
    int nused = 0;
    for (int j = 0; j < 16; ++j) {
        target[j] = pal[(idx >> (2 * j)) & 3];
        bool seen = false;
        for (int u = 0; u < nused; ++u) seen |= used[u] == target[j];
        if (!seen) used[nused++] = target[j];
    }
    // Candidate end-point pairs: two used colours placed as both end points, as end
    // point and third, as end point and two thirds, or as the two thirds; each real
    // end point then tries the 565 codes that bracket it.
    Fit best;
    // The block's own end points first: the result is never worse than they give.
    try_pair(c0, c1, target, &best);
    auto try_points = [&](const int p0[3], const int p1[3]) {
        int codes0[3][2], codes1[3][2], n0[3], n1[3];
        int v0[3], v1[3];
        for (int k = 0; k < 3; ++k) {
            v0[k] = p0[k] < 0 ? 0 : p0[k] > 255 ? 255 : p0[k];
            v1[k] = p1[k] < 0 ? 0 : p1[k] > 255 ? 255 : p1[k];
        }
        nearby_codes(v0, codes0, n0);
        nearby_codes(v1, codes1, n1);
        for (int r0 = 0; r0 < n0[0]; ++r0)
            for (int g0 = 0; g0 < n0[1]; ++g0)
                for (int b0 = 0; b0 < n0[2]; ++b0) {
                    const uint16_t e0 = uint16_t(codes0[0][r0] << 11 | codes0[1][g0] << 5 | codes0[2][b0]);
                    for (int r1 = 0; r1 < n1[0]; ++r1)
                        for (int g1 = 0; g1 < n1[1]; ++g1)
                            for (int b1 = 0; b1 < n1[2]; ++b1) {
                                if (best.error == 0) return;
                                const uint16_t e1 = uint16_t(codes1[0][r1] << 11 | codes1[1][g1] << 5 | codes1[2][b1]);
                                try_pair(e0, e1, target, &best);
                            }
                }
    };
    for (int a = 0; a < nused && best.error; ++a)
        for (int b = 0; b < nused && best.error; ++b) {
            if (a == b) {
                if (nused == 1) try_points(used[a].c, used[a].c);
                continue;
            }
            int third[3], two_thirds[3], lo[3], hi[3];
            for (int k = 0; k < 3; ++k) {
                const int ak = used[a].c[k], d = used[b].c[k] - ak;
                third[k] = ak + 3 * d;
                two_thirds[k] = ak + (3 * d + (d >= 0 ? 1 : -1)) / 2;
                lo[k] = 2 * ak - used[b].c[k];
                hi[k] = 2 * used[b].c[k] - ak;
            }
            if (a < b) try_points(used[a].c, used[b].c);
            try_points(used[a].c, third);
            try_points(used[a].c, two_thirds);
            if (a < b) try_points(lo, hi);
        }
    store_le16(out, best.c0);
    store_le16(out + 2, best.c1);
    store_le32(out + 4, best.indices);
    return best.error == 0;
}

void dxt_repack_dxt1_to_dxt5(void *dst, const void *src, uint32_t count) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    static const uint8_t opaque[8] = {0xFF, 0, 0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i, d += 16, s += 8) {
        std::memcpy(d, opaque, 8);
        dxt1_block_to_four_colour(s, d + 8);
    }
}

void dxt_repack_dxt5_to_dxt1(void *dst, const void *src, uint32_t count) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    for (uint32_t i = 0; i < count; ++i, d += 8, s += 16) four_colour_block_to_dxt1(s + 8, d);
}

void dxt_repack_dxt5_to_rgtc1(void *dst, const void *src, uint32_t count) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    for (uint32_t i = 0; i < count; ++i, d += 8, s += 16) std::memcpy(d, s, 8);
}

void dxt_repack_rgtc1_to_dxt5(void *dst, const void *src, uint32_t count) {
    uint8_t *d = static_cast<uint8_t *>(dst);
    const uint8_t *s = static_cast<const uint8_t *>(src);
    static const uint8_t white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i, d += 16, s += 8) {
        std::memcpy(d, s, 8);
        std::memcpy(d + 8, white, 8);
    }
}
