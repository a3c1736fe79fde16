#include "container/texdec/dxt_decoder.h"

#include <cmath>
#include <cstring>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "platform/core/byte_order.h"

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

// 255 x / 31 and 255 x / 63 rounded to nearest.
inline uint8_t expand5(uint32_t x) {
    const uint32_t v = 255 * x + 16;
    return uint8_t((v + (v >> 5)) >> 5);
}
inline uint8_t expand6(uint32_t x) {
    const uint32_t v = 255 * x + 32;
    return uint8_t((v + (v >> 6)) >> 6);
}

inline Rgba expand565(uint16_t c) { return {expand5(c >> 11), expand6((c >> 5) & 0x3F), expand5(c & 0x1F), 255}; }

// four_colours forces the c0 > c1 palette (DXT5 colour blocks).
void colour_palette(const uint8_t *block, bool four_colours, Rgba pal[4]) {
    const uint16_t c0 = load_le16(block), c1 = load_le16(block + 2);
    const Rgba e0 = expand565(c0), e1 = expand565(c1);
    pal[0] = e0;
    pal[1] = e1;
    if (four_colours || c0 > c1) {
        pal[2] = {uint8_t((2 * e0.r + e1.r) / 3), uint8_t((2 * e0.g + e1.g) / 3), uint8_t((2 * e0.b + e1.b) / 3), 255};
        pal[3] = {uint8_t((e0.r + 2 * e1.r) / 3), uint8_t((e0.g + 2 * e1.g) / 3), uint8_t((e0.b + 2 * e1.b) / 3), 255};
    } else {
        // Three-colour mode: index 3 is opaque black.
        pal[2] = {uint8_t((e0.r + e1.r) / 2), uint8_t((e0.g + e1.g) / 2), uint8_t((e0.b + e1.b) / 2), 255};
        pal[3] = {0, 0, 0, 255};
    }
}

void write_colour_block(uint8_t *dst, ptrdiff_t line_size, const uint8_t *block, bool four_colours) {
    Rgba pal[4];
    colour_palette(block, four_colours, pal);
    const uint32_t indices = load_le32(block + 4);
    for (int y = 0; y < 4; ++y) {
        uint8_t *row = dst + y * line_size;
        for (int x = 0; x < 4; ++x) {
            const Rgba &c = pal[(indices >> (2 * (4 * y + x))) & 3];
            row[4 * x + 0] = c.r;
            row[4 * x + 1] = c.g;
            row[4 * x + 2] = c.b;
            row[4 * x + 3] = c.a;
        }
    }
}

// 8-entry palette of a BC4 / DXT5 alpha block.
void value_palette(uint8_t v0, uint8_t v1, uint8_t pal[8]) {
    pal[0] = v0;
    pal[1] = v1;
    if (v0 > v1) {
        for (int i = 2; i < 8; ++i) pal[i] = uint8_t(((8 - i) * v0 + (i - 1) * v1) / 7);
    } else {
        for (int i = 2; i < 6; ++i) pal[i] = uint8_t(((6 - i) * v0 + (i - 1) * v1) / 5);
        pal[6] = 0;
        pal[7] = 255;
    }
}

void ycocg_int_in_place(uint8_t *dst, ptrdiff_t line_size) {
    for (int y = 0; y < 4; ++y) {
        uint8_t *p = dst + y * line_size;
        for (int x = 0; x < 4; ++x, p += 4) {
            const int s = (p[2] >> 3) + 1;
            const int co = (int(p[0]) - 128) / s;
            const int cg = (int(p[1]) - 128) / s;
            const int luma = p[3];
            auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(luma + co - cg);
            p[1] = clamp(luma + cg);
            p[2] = clamp(luma - co - cg);
            p[3] = 255;
        }
    }
}

inline uint8_t round_clamp(float v) {
    const float t = std::trunc(v + std::copysign(0.49999997f, v));
    return uint8_t(t < 0.0f ? 0.0f : t > 255.0f ? 255.0f : t);
}

void ycocg_float_in_place(uint8_t *dst, ptrdiff_t line_size) {
    const float k = 0.003921568859368563f;
    const float m = 0.501960813999176f;
    for (int y = 0; y < 4; ++y) {
        uint8_t *p = dst + y * line_size;
        for (int x = 0; x < 4; ++x, p += 4) {
            const float luma = float(p[3]) * k;
            float co = float(p[0]) * k - m;
            float cg = float(p[1]) * k - m;
            const float s = float(p[2]) * k * 31.875f + 1.0f;
            co = co / s;
            cg = cg / s;
            p[0] = round_clamp((luma + co - cg) * 255.0f);
            p[1] = round_clamp((luma + cg) * 255.0f);
            p[2] = round_clamp((luma - co - cg) * 255.0f);
            p[3] = 255;
        }
    }
}

}  // namespace

void rgtc1_unpack_block(const uint8_t *src, uint8_t values[16]) {
    uint8_t pal[8];
    value_palette(src[0], src[1], pal);
    const uint64_t bits = load_le48(src + 2);
    for (int j = 0; j < 16; ++j) values[j] = pal[(bits >> (3 * j)) & 7];
}

uint32_t decode_block_dxt1(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    write_colour_block(dst, line_size, src, false);
    return 8;
}

uint32_t decode_block_dxt5(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    write_colour_block(dst, line_size, src + 8, true);
    uint8_t alpha[16];
    rgtc1_unpack_block(src, alpha);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) dst[y * line_size + 4 * x + 3] = alpha[4 * y + x];
    return 16;
}

uint32_t decode_block_ycocg_int(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    decode_block_dxt5(dst, line_size, src);
    ycocg_int_in_place(dst, line_size);
    return 16;
}

uint32_t decode_block_ycocg_float(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    decode_block_dxt5(dst, line_size, src);
    ycocg_float_in_place(dst, line_size);
    return 16;
}

uint32_t decode_block_rgtc1_grey(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    uint8_t v[16];
    rgtc1_unpack_block(src, v);
    for (int y = 0; y < 4; ++y) {
        uint8_t *row = dst + y * line_size;
        for (int x = 0; x < 4; ++x) {
            const uint8_t g = v[4 * y + x];
            row[4 * x + 0] = g;
            row[4 * x + 1] = g;
            row[4 * x + 2] = g;
            row[4 * x + 3] = 255;
        }
    }
    return 8;
}

uint32_t decode_block_rgtc1_alpha(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    uint8_t v[16];
    rgtc1_unpack_block(src, v);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) dst[y * line_size + 4 * x + 3] = v[4 * y + x];
    return 8;
}

uint32_t decode_block_bc7(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src) {
    uint8_t px[64];
    unpack_bc7(src, px);  // a reserved-mode block gives transparent black
    for (int y = 0; y < 4; ++y) std::memcpy(dst + y * line_size, px + 16 * y, 16);
    return 16;
}

int dxtdec_init(DxtDecContext *context, uint16_t width, uint16_t height, uint32_t codec, uint8_t option) {
    if (!context || codec > DxtDecCodec_BC7) return 1;
    context->codec = codec;
    context->width = width;
    context->height = height;
    context->second_block_decoder = nullptr;
    switch (codec) {
    case DxtDecCodec_DXT1: context->block_decoder = decode_block_dxt1; break;
    case DxtDecCodec_DXT5: context->block_decoder = decode_block_dxt5; break;
    case DxtDecCodec_RGTC1_Luma:
    case DxtDecCodec_RGTC1_Alpha: context->block_decoder = decode_block_rgtc1_grey; break;
    case DxtDecCodec_YCoCg: context->block_decoder = decode_block_ycocg_float; break;
    case DxtDecCodec_YCoCg_RGTC1:
        context->block_decoder = option ? decode_block_ycocg_float : decode_block_ycocg_int;
        context->second_block_decoder = decode_block_rgtc1_alpha;
        break;
    case DxtDecCodec_BC7: context->block_decoder = decode_block_bc7; break;
    }
    return 0;
}

int dxtdec_decode_frame(const DxtDecContext *context, const uint8_t *texture0, const uint8_t *texture1, uint8_t *dst,
                        ptrdiff_t line_size) {
    const uint32_t rows = (uint32_t(context->height) + 3) / 4;
    const uint32_t cols = (uint32_t(context->width) + 3) / 4;
    const DxtBlockDecoder first = context->block_decoder;
    const DxtBlockDecoder second = context->codec == DxtDecCodec_YCoCg_RGTC1 ? context->second_block_decoder : nullptr;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t *row = dst + ptrdiff_t(r) * 4 * line_size;
        for (uint32_t c = 0; c < cols; ++c) {
            uint8_t *block = row + 16 * size_t(c);
            texture0 += first(block, line_size, texture0);
            if (second) texture1 += second(block, line_size, texture1);
        }
    }
    return 0;
}
