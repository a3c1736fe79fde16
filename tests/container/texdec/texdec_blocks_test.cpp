// Texture block decoders: palettes, three-colour mode, alpha, YCoCg conversions,
// and the frame walker's placement of blocks.
#include "container/texdec/dxt_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using Block = std::array<uint8_t, 16>;
using Pixels = std::array<std::array<uint8_t, 4>, 16>;

void put_colour(uint8_t *b, uint16_t c0, uint16_t c1, const std::array<int, 16> &idx) {
    b[0] = uint8_t(c0);
    b[1] = uint8_t(c0 >> 8);
    b[2] = uint8_t(c1);
    b[3] = uint8_t(c1 >> 8);
    uint32_t bits = 0;
    for (int j = 0; j < 16; ++j) bits |= uint32_t(idx[j]) << (2 * j);
    std::memcpy(b + 4, &bits, 4);
}

void put_values(uint8_t *b, uint8_t v0, uint8_t v1, const std::array<int, 16> &idx) {
    b[0] = v0;
    b[1] = v1;
    uint64_t bits = 0;
    for (int j = 0; j < 16; ++j) bits |= uint64_t(idx[j]) << (3 * j);
    for (int i = 0; i < 6; ++i) b[2 + i] = uint8_t(bits >> (8 * i));
}

std::array<int, 16> all(int i) {
    std::array<int, 16> a;
    a.fill(i);
    return a;
}

Pixels run(DxtBlockDecoder dec, const Block &b, uint32_t expected_bytes, uint8_t fill = 0x77) {
    // 4 rows of 16 bytes with a 24-byte line: the gaps must stay untouched.
    std::vector<uint8_t> plane(4 * 24, fill);
    EXPECT_EQ(dec(plane.data(), 24, b.data()), expected_bytes);
    Pixels p;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) std::memcpy(p[4 * y + x].data(), &plane[y * 24 + 4 * x], 4);
        for (int g = 16; g < 24; ++g) EXPECT_EQ(plane[y * 24 + g], fill);
    }
    return p;
}

TEST(TexdecBlocks, KnownPixels) {
    struct Case {
        const char *what;
        DxtBlockDecoder dec;
        uint32_t bytes;
        Block block;
        int pixel;
        std::array<uint8_t, 4> expected;
    };
    std::vector<Case> cases;
    auto dxt1 = [](uint16_t c0, uint16_t c1, int idx) {
        Block b{};
        put_colour(b.data(), c0, c1, all(idx));
        return b;
    };
    auto dxt5 = [](uint8_t a0, uint8_t a1, int aidx, uint16_t c0, uint16_t c1, int cidx) {
        Block b{};
        put_values(b.data(), a0, a1, all(aidx));
        put_colour(b.data() + 8, c0, c1, all(cidx));
        return b;
    };
    cases.push_back({"dxt1 equal end points index 3 is opaque black",
                     decode_block_dxt1,
                     8,
                     dxt1(0x1234, 0x1234, 3),
                     5,
                     {0, 0, 0, 255}});
    cases.push_back({"dxt1 red/blue entry 2", decode_block_dxt1, 8, dxt1(0xF800, 0x001F, 2), 0, {170, 0, 85, 255}});
    cases.push_back({"dxt1 red/blue entry 3", decode_block_dxt1, 8, dxt1(0xF800, 0x001F, 3), 15, {85, 0, 170, 255}});
    cases.push_back(
        {"dxt1 three-colour midpoint", decode_block_dxt1, 8, dxt1(0x001F, 0xF800, 2), 7, {127, 0, 127, 255}});
    cases.push_back({"dxt1 three-colour index 3", decode_block_dxt1, 8, dxt1(0x001F, 0xF800, 3), 7, {0, 0, 0, 255}});
    cases.push_back({"dxt5 c0 < c1 keeps four colours",
                     decode_block_dxt5,
                     16,
                     dxt5(9, 9, 0, 0x001F, 0xF800, 3),
                     3,
                     {170, 0, 85, 9}});
    cases.push_back({"dxt5 alpha 255/0 index 2", decode_block_dxt5, 16, dxt5(255, 0, 2, 0, 0, 0), 1, {0, 0, 0, 218}});
    cases.push_back({"dxt5 alpha 0/255 index 2", decode_block_dxt5, 16, dxt5(0, 255, 2, 0, 0, 0), 1, {0, 0, 0, 51}});
    cases.push_back({"dxt5 alpha 0/255 index 6", decode_block_dxt5, 16, dxt5(0, 255, 6, 0, 0, 0), 1, {0, 0, 0, 0}});
    cases.push_back({"dxt5 alpha 0/255 index 7", decode_block_dxt5, 16, dxt5(0, 255, 7, 0, 0, 0), 1, {0, 0, 0, 255}});
    // Colour entry 3 of these end points decodes to Co 0, Cg 128, scale 16; alpha is Y 100.
    const Block ycocg16 = dxt5(100, 0, 0, 0x03E2, 0x0402, 3);
    cases.push_back({"ycocg int scale 16", decode_block_ycocg_int, 16, ycocg16, 9, {58, 100, 142, 255}});
    cases.push_back({"ycocg float scale 16", decode_block_ycocg_float, 16, ycocg16, 9, {57, 100, 143, 255}});
    // Scale byte 5: s = 1 in integers, 1.625 in floats.
    const Block ycocg5 = dxt5(100, 0, 0, 0x03E0, 0x0401, 3);
    cases.push_back({"ycocg int scale 5", decode_block_ycocg_int, 16, ycocg5, 2, {0, 100, 228, 255}});
    cases.push_back({"ycocg float scale 5", decode_block_ycocg_float, 16, ycocg5, 2, {21, 100, 179, 255}});
    {
        Block b{};
        put_values(b.data(), 200, 200, all(0));
        cases.push_back({"rgtc1 grey", decode_block_rgtc1_grey, 8, b, 11, {200, 200, 200, 255}});
        cases.push_back(
            {"rgtc1 alpha writes byte 3 only", decode_block_rgtc1_alpha, 8, b, 11, {0x77, 0x77, 0x77, 200}});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Pixels p = run(c.dec, c.block, c.bytes);
        EXPECT_EQ(p[c.pixel], c.expected);
    }
}

TEST(TexdecBlocks, IndicesAddressPixelsInRasterOrder) {
    std::array<int, 16> idx;
    for (int j = 0; j < 16; ++j) idx[j] = j % 8;
    Block b{};
    put_values(b.data(), 0, 70, idx);  // a0 < a1: 0, 70, 14, 28, 42, 56, 0, 255
    const uint8_t pal[8] = {0, 70, 14, 28, 42, 56, 0, 255};
    uint8_t v[16];
    rgtc1_unpack_block(b.data(), v);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(v[j], pal[j % 8]) << j;
    std::array<int, 16> cidx;
    for (int j = 0; j < 16; ++j) cidx[j] = (j * 7) % 4;
    put_colour(b.data(), 0xFFFF, 0x0000, cidx);  // white, black, 170, 85
    const uint8_t grey[4] = {255, 0, 170, 85};
    const Pixels p = run(decode_block_dxt1, b, 8);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(p[j][1], grey[cidx[j]]) << j;
}

TEST(TexdecFrame, WalksBlocksIntoRoundedPlanes) {
    // 6 x 5 pixels: 2 x 2 blocks into an 8 x 8 plane that is exactly that big.
    struct Case {
        uint32_t codec;
        uint8_t option;
        size_t bytes0, bytes1;
    } cases[] = {{DxtDecCodec_DXT1, 0, 8, 0},
                 {DxtDecCodec_DXT5, 0, 16, 0},
                 {DxtDecCodec_RGTC1_Luma, 0, 8, 0},
                 {DxtDecCodec_YCoCg_RGTC1, 0, 16, 8},
                 {DxtDecCodec_YCoCg_RGTC1, 1, 16, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codec);
        DxtDecContext ctx;
        ASSERT_EQ(dxtdec_init(&ctx, 6, 5, c.codec, c.option), 0);
        std::vector<uint8_t> t0(4 * c.bytes0), t1(4 * 8);
        for (int k = 0; k < 4; ++k) {
            uint8_t *b0 = t0.data() + k * c.bytes0;
            const uint8_t v = uint8_t(40 * (k + 1));
            if (c.codec == DxtDecCodec_DXT1) put_colour(b0, 0xFFFF, 0x0000, all(k));  // 255, 0, 170, 85
            if (c.codec == DxtDecCodec_DXT5) put_values(b0, v, v, all(0));
            if (c.codec == DxtDecCodec_RGTC1_Luma) put_values(b0, v, v, all(0));
            if (c.codec == DxtDecCodec_YCoCg_RGTC1) {
                put_values(b0, 90, 90, all(0));
                put_values(t1.data() + 8 * k, v, v, all(0));
            }
        }
        std::unique_ptr<uint8_t[]> plane(new uint8_t[8 * 8 * 4]);
        ASSERT_EQ(dxtdec_decode_frame(&ctx, t0.data(), t1.data(), plane.get(), 32), 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int k = (y / 4) * 2 + x / 4;
                const uint8_t v = uint8_t(40 * (k + 1));
                const uint8_t *p = plane.get() + y * 32 + 4 * x;
                switch (c.codec) {
                case DxtDecCodec_DXT1: EXPECT_EQ(p[1], (std::array<int, 4>{255, 0, 170, 85}[k])); break;
                case DxtDecCodec_DXT5:
                case DxtDecCodec_YCoCg_RGTC1: EXPECT_EQ(p[3], v); break;
                default: EXPECT_EQ(p[1], v); break;
                }
            }
    }
    DxtDecContext ctx;
    EXPECT_EQ(dxtdec_init(&ctx, 4, 4, 7, 0), 1);
}

}  // namespace
