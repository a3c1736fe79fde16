#pragma once
// A decoder for HAP Q textures written from the public scaled-YCoCg rules: a DXT5 block
// whose alpha is Y, whose red and green carry Co and Cg magnified by a scale stored in
// blue ((blue * 255/8) + 1), with 0.5 * 256/255 as zero chroma. Also RGTC1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ycocg_test {

using Bytes = std::vector<uint8_t>;

// Eight-value (a0 > a1) or six-value palette of a DXT5 alpha / RGTC1 block.
inline void alpha_palette(uint8_t a0, uint8_t a1, int *p) {
    p[0] = a0;
    p[1] = a1;
    if (a0 > a1) {
        for (int k = 2; k < 8; k++) p[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (int k = 2; k < 6; k++) p[k] = ((6 - k) * a0 + (k - 1) * a1 + 2) / 5;
        p[6] = 0;
        p[7] = 255;
    }
}

inline void decode_alpha_block(const uint8_t *blk, int *out16) {
    int p[8];
    alpha_palette(blk[0], blk[1], p);
    uint64_t bits = 0;
    for (int i = 0; i < 6; i++) bits |= uint64_t(blk[2 + i]) << (8 * i);
    for (int i = 0; i < 16; i++) out16[i] = p[(bits >> (3 * i)) & 7];
}

// One scaled-YCoCg block to 16 RGB pixels.
inline void decode_ycocg_block(const uint8_t *blk, uint8_t (*rgb)[3]) {
    int y[16];
    decode_alpha_block(blk, y);
    const uint16_t c0 = uint16_t(blk[8] | blk[9] << 8), c1 = uint16_t(blk[10] | blk[11] << 8);
    auto expand = [](uint16_t c, int *v) {
        const int r = c >> 11, g = (c >> 5) & 63, b = c & 31;
        v[0] = (r << 3) | (r >> 2);
        v[1] = (g << 2) | (g >> 4);
        v[2] = (b << 3) | (b >> 2);
    };
    float pal[4][3];
    int e0[3], e1[3];
    expand(c0, e0);
    expand(c1, e1);
    // DXT5 colour halves always use the four-colour order.
    for (int c = 0; c < 3; c++) {
        pal[0][c] = float(e0[c]);
        pal[1][c] = float(e1[c]);
        pal[2][c] = (2.0f * e0[c] + e1[c]) / 3.0f;
        pal[3][c] = (e0[c] + 2.0f * e1[c]) / 3.0f;
    }
    uint32_t idx;
    std::memcpy(&idx, blk + 12, 4);
    for (int i = 0; i < 16; i++) {
        const float *c = pal[(idx >> (2 * i)) & 3];
        const float scale = (c[2] / 255.0f) * (255.0f / 8.0f) + 1.0f;
        const float off = 0.5f * 256.0f / 255.0f;
        const float co = (c[0] / 255.0f - off) / scale, cg = (c[1] / 255.0f - off) / scale;
        const float Y = float(y[i]) / 255.0f;
        const float v[3] = {Y + co - cg, Y + cg, Y - co - cg};
        for (int k = 0; k < 3; k++) rgb[i][k] = uint8_t(std::lround(std::clamp(v[k], 0.0f, 1.0f) * 255.0f));
    }
}

// Decodes a w x h HAP Q texture (blocks in rows) to RGBA with alpha 255.
inline Bytes decode_ycocg(const uint8_t *tex, uint32_t w, uint32_t h) {
    Bytes out(size_t(w) * h * 4, 255);
    const uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
    for (uint32_t by = 0; by < bh; by++)
        for (uint32_t bx = 0; bx < bw; bx++) {
            uint8_t rgb[16][3];
            decode_ycocg_block(tex + (size_t(by) * bw + bx) * 16, rgb);
            for (int i = 0; i < 16; i++) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < w && y < h) std::memcpy(&out[(size_t(y) * w + x) * 4], rgb[i], 3);
            }
        }
    return out;
}

inline Bytes decode_rgtc1(const uint8_t *tex, uint32_t w, uint32_t h) {
    Bytes out(size_t(w) * h);
    const uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
    for (uint32_t by = 0; by < bh; by++)
        for (uint32_t bx = 0; bx < bw; bx++) {
            int v[16];
            decode_alpha_block(tex + (size_t(by) * bw + bx) * 8, v);
            for (int i = 0; i < 16; i++) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < w && y < h) out[size_t(y) * w + x] = uint8_t(v[i]);
            }
        }
    return out;
}

}  // namespace ycocg_test
