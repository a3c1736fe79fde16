// BC7 block decoding: hand-made blocks of every mode with values worked out from the
// format's rules, and an independent decoder (Mesa's software GL) on random blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "container/texdec/dxt_decoder.h"
#include "container/texdec/bc7_gl_oracle.h"

namespace {

struct Field {
    uint32_t value;
    uint32_t bits;
};

// Lays the fields out least significant bit first; they must fill the 128 bits exactly.
std::vector<uint8_t> make_block(const std::vector<Field> &fields) {
    std::vector<uint8_t> b(16, 0);
    uint32_t ofs = 0;
    for (const Field &f : fields) {
        for (uint32_t i = 0; i < f.bits; i++, ofs++)
            if ((f.value >> i) & 1) b[ofs >> 3] |= uint8_t(1u << (ofs & 7));
    }
    EXPECT_EQ(ofs, 128u);
    return b;
}

// Appends 16 indices of `bits` bits, the anchor pixels one bit shorter.
void add_indices(std::vector<Field> &f, const std::vector<uint32_t> &idx, uint32_t bits,
                 std::initializer_list<uint32_t> anchors) {
    for (uint32_t i = 0; i < 16; i++) {
        bool anchor = false;
        for (uint32_t a : anchors) anchor |= a == i;
        f.push_back({idx[i], bits - (anchor ? 1 : 0)});
    }
}

struct PixelCheck {
    uint32_t pixel;
    uint8_t rgba[4];
};

struct HandBlock {
    const char *name;
    std::vector<Field> fields;
    std::vector<PixelCheck> checks;
};

std::vector<HandBlock> hand_blocks() {
    std::vector<HandBlock> cases;
    {
        // Mode 0, partition 0 (anchors 0, 3, 15). Subset 0: e0 = (15,0,0) p1 -> (255,8,8),
        // e1 = 0 p0 -> 0; weight 27 of index 3: (37*255+32)>>6 = 147, (37*8+32)>>6 = 5.
        // Subset 1: e0 = (5,0,3) p0 -> (82,0,49), e1 = (10,0,3) p1 -> (173,8,57); index 3:
        // (37*82+27*173+32)>>6 = 120, (27*8+32)>>6 = 3, (37*49+27*57+32)>>6 = 52.
        // Subset 2: e1 red 15 p0 -> 247; index 2 (weight 18): (18*247+32)>>6 = 69.
        std::vector<Field> f = {{1, 1}, {0, 4}};
        for (uint32_t v : {15u, 0u, 5u, 10u, 0u, 15u}) f.push_back({v, 4});  // red
        for (uint32_t v : {0u, 0u, 0u, 0u, 0u, 0u}) f.push_back({v, 4});     // green
        for (uint32_t v : {0u, 0u, 3u, 3u, 0u, 0u}) f.push_back({v, 4});     // blue
        for (uint32_t p : {1u, 0u, 0u, 1u, 0u, 0u}) f.push_back({p, 1});
        add_indices(f, {0, 7, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 3, {0, 3, 15});
        cases.push_back({"mode0",
                         f,
                         {{0, {255, 8, 8, 255}},
                          {1, {0, 0, 0, 255}},
                          {4, {147, 5, 5, 255}},
                          {3, {120, 3, 52, 255}},
                          {15, {69, 0, 0, 255}}}});
    }
    {
        // Mode 1, partition 13 (rows 0-1 subset 0, rows 2-3 subset 1; anchor 15).
        // Subset 0 p1: e0 = (63,0,0) -> (255,2,2), e1 = (0,63,0) -> (2,255,2); index 2 (18):
        // (46*255+18*2+32)>>6 = 184, (46*2+18*255+32)>>6 = 73, 2.
        // Subset 1 p0: e0 = (10,30,50) -> (40,120,201), e1 = (20,40,60) -> (80,161,241);
        // index 3 (27): 57, 137, 218.
        std::vector<Field> f = {{2, 2}, {13, 6}};
        for (uint32_t v : {63u, 0u, 10u, 20u}) f.push_back({v, 6});
        for (uint32_t v : {0u, 63u, 30u, 40u}) f.push_back({v, 6});
        for (uint32_t v : {0u, 0u, 50u, 60u}) f.push_back({v, 6});
        f.push_back({1, 1});
        f.push_back({0, 1});
        add_indices(f, {0, 0, 0, 0, 0, 7, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3}, 3, {0, 15});
        cases.push_back({"mode1",
                         f,
                         {{0, {255, 2, 2, 255}},
                          {5, {2, 255, 2, 255}},
                          {7, {184, 73, 2, 255}},
                          {8, {40, 120, 201, 255}},
                          {15, {57, 137, 218, 255}}}});
    }
    {
        // Mode 2, partition 0. Subset 0 red e0 31 -> 255, index 1 (21): 171.
        // Subset 1 green e1 16 -> 132, index 2 (43): 89. Subset 2 blue e0 1 -> 8, index 0.
        std::vector<Field> f = {{4, 3}, {0, 6}};
        for (uint32_t v : {31u, 0u, 0u, 0u, 0u, 0u}) f.push_back({v, 5});
        for (uint32_t v : {0u, 0u, 0u, 16u, 0u, 0u}) f.push_back({v, 5});
        for (uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u}) f.push_back({v, 5});
        add_indices(f, {1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, {0, 3, 15});
        cases.push_back({"mode2", f, {{0, {171, 0, 0, 255}}, {2, {0, 89, 0, 255}}, {15, {0, 0, 8, 255}}}});
    }
    {
        // Mode 3, partition 0 (columns 0-1 subset 0; anchor 15). Subset 0: e0 = (100,50,0)
        // p1 -> (201,101,1), e1 = (0,0,127) p0 -> (0,0,254); index 1: 135, 68, 84.
        // Subset 1: e0 = 0 p0, e1 = 127 p1 -> 255; index 1: 84; index 3: 255.
        std::vector<Field> f = {{8, 4}, {0, 6}};
        for (uint32_t v : {100u, 0u, 0u, 127u}) f.push_back({v, 7});
        for (uint32_t v : {50u, 0u, 0u, 127u}) f.push_back({v, 7});
        for (uint32_t v : {0u, 127u, 0u, 127u}) f.push_back({v, 7});
        for (uint32_t p : {1u, 0u, 0u, 1u}) f.push_back({p, 1});
        add_indices(f, {1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 2, {0, 15});
        cases.push_back({"mode3", f, {{0, {135, 68, 84, 255}}, {2, {255, 255, 255, 255}}, {15, {84, 84, 84, 255}}}});
    }
    for (uint32_t variant = 0; variant < 2; variant++) {
        // Mode 4: red e0 31 -> 255, alpha e1 63 -> 255. Pixel 0 has 2-bit index 1 and 3-bit
        // index 3. Selector 0: colour 2-bit (21): red 171, alpha 3-bit (27): 108.
        // Selector 1 with rotation 1: alpha 2-bit (21): 84, red 3-bit (27): 147, then R and A swap.
        std::vector<Field> f = {{16, 5}, {variant, 2}, {variant, 1}};
        for (uint32_t v : {31u, 0u, 0u, 0u, 0u, 0u}) f.push_back({v, 5});
        f.push_back({0, 6});
        f.push_back({63, 6});
        std::vector<uint32_t> i2(16, 0), i3(16, 0);
        i2[0] = 1;
        i3[0] = 3;
        i3[9] = 7;
        add_indices(f, i2, 2, {0});
        add_indices(f, i3, 3, {0});
        if (variant == 0)
            cases.push_back(
                {"mode4 selector 0", f, {{0, {171, 0, 0, 108}}, {1, {255, 0, 0, 0}}, {9, {255, 0, 0, 255}}}});
        else
            cases.push_back({"mode4 selector 1 rotation 1", f, {{0, {84, 0, 0, 147}}, {9, {0, 0, 0, 0}}}});
    }
    {
        // Mode 5, rotation 1: red e0 127 -> 255, alpha e1 200. Pixel 0 colour index 1 (21):
        // red 171; alpha index 1: (21*200+32)>>6 = 66; rotation 1 swaps R and A.
        std::vector<Field> f = {{32, 6}, {1, 2}};
        for (uint32_t v : {127u, 0u, 0u, 0u, 0u, 0u}) f.push_back({v, 7});
        f.push_back({0, 8});
        f.push_back({200, 8});
        std::vector<uint32_t> ic(16, 0), ia(16, 0);
        ic[0] = 1;
        ia[0] = 1;
        ia[3] = 3;
        add_indices(f, ic, 2, {0});
        add_indices(f, ia, 2, {0});
        cases.push_back({"mode5 rotation 1", f, {{0, {66, 0, 0, 171}}, {3, {200, 0, 0, 255}}, {1, {0, 0, 0, 255}}}});
    }
    {
        // Mode 6: e0 = (10,20,30,127) p1 -> (21,41,61,255), e1 = (100,0,127,0) p0 -> (200,0,254,0).
        // Index 7 (30): (34*21+30*200+32)>>6 = 105, 22, 151, 135.
        std::vector<Field> f = {{64, 7}};
        for (uint32_t v : {10u, 100u, 20u, 0u, 30u, 127u, 127u, 0u}) f.push_back({v, 7});
        f.push_back({1, 1});
        f.push_back({0, 1});
        add_indices(f, {7, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 4, {0});
        cases.push_back({"mode6", f, {{0, {105, 22, 151, 135}}, {1, {200, 0, 254, 0}}, {2, {21, 41, 61, 255}}}});
    }
    {
        // Mode 7, partition 13 (anchor 15). Subset 0: e0 = (31,0,0,31) p1 -> (255,4,4,255),
        // e1 = (0,31,0,0) p0 -> (0,251,0,0); index 1 (21): 171, 85, 3, 171.
        // Subset 1: e1 = 16 p1 -> 134; index 1: 44; index 3: 134.
        std::vector<Field> f = {{128, 8}, {13, 6}};
        for (uint32_t v : {31u, 0u, 0u, 16u}) f.push_back({v, 5});
        for (uint32_t v : {0u, 31u, 0u, 16u}) f.push_back({v, 5});
        for (uint32_t v : {0u, 0u, 0u, 16u}) f.push_back({v, 5});
        for (uint32_t v : {31u, 0u, 0u, 16u}) f.push_back({v, 5});
        for (uint32_t p : {1u, 0u, 0u, 1u}) f.push_back({p, 1});
        add_indices(f, {1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 1}, 2, {0, 15});
        cases.push_back(
            {"mode7",
             f,
             {{0, {171, 85, 3, 171}}, {1, {255, 4, 4, 255}}, {8, {134, 134, 134, 134}}, {15, {44, 44, 44, 44}}}});
    }
    return cases;
}

TEST(Bc7Decode, HandMadeBlocksOfEveryMode) {
    for (const HandBlock &c : hand_blocks()) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> block = make_block(c.fields);
        uint8_t px[64];
        std::memset(px, 0xCD, sizeof px);
        EXPECT_TRUE(unpack_bc7(block.data(), px));
        for (const PixelCheck &k : c.checks) {
            SCOPED_TRACE(k.pixel);
            for (int ch = 0; ch < 4; ch++) EXPECT_EQ(px[4 * k.pixel + ch], k.rgba[ch]) << "channel " << ch;
        }
    }
}

TEST(Bc7Decode, ModeFromLowestSetBitAndReservedBlock) {
    // 0x41: mode 0 wins over mode 6. Bit 6 is bit 1 of subset 0's first red end point
    // (bits 5-8): v = 2, p-bit 0 -> ((2 << 1) << 3) | (32 >> 5) = 33; every index is 0.
    // 0x80: mode 7 with everything else zero -> black with alpha 0.
    uint8_t b41[16] = {0x41};
    uint8_t b80[16] = {0x80};
    uint8_t px[64];
    std::vector<uint8_t> want0(64, 0), want7(64, 0);
    for (int i = 0; i < 16; i++) want0[4 * i + 3] = 255;  // mode 0 has no alpha
    for (int i : {0, 1, 4, 5, 8}) want0[4 * i] = 33;      // subset 0 of partition 0
    ASSERT_TRUE(unpack_bc7(b41, px));
    EXPECT_EQ(std::vector<uint8_t>(px, px + 64), want0);
    ASSERT_TRUE(unpack_bc7(b80, px));
    EXPECT_EQ(std::vector<uint8_t>(px, px + 64), want7);

    // Reserved mode: defined output (transparent black), never what was in the buffer before.
    uint8_t reserved[16] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memset(px, 0xCD, sizeof px);
    EXPECT_FALSE(unpack_bc7(reserved, px));
    EXPECT_EQ(std::vector<uint8_t>(px, px + 64), std::vector<uint8_t>(64, 0));
}

TEST(Bc7Decode, EqualMode6EndPointsGiveOneColourWhateverTheIndices) {
    // e0 = e1 = (90, 10, 50, 127) with p-bits 1: every pixel (181, 21, 101, 255).
    std::vector<Field> f = {{64, 7}};
    for (uint32_t v : {90u, 90u, 10u, 10u, 50u, 50u, 127u, 127u}) f.push_back({v, 7});
    f.push_back({1, 1});
    f.push_back({1, 1});
    add_indices(f, {5, 15, 0, 3, 9, 11, 2, 1, 14, 13, 12, 6, 7, 8, 4, 10}, 4, {0});
    const std::vector<uint8_t> block = make_block(f);
    uint8_t px[64];
    ASSERT_TRUE(unpack_bc7(block.data(), px));
    for (int i = 0; i < 16; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(px[4 * i + 0], 181);
        EXPECT_EQ(px[4 * i + 1], 21);
        EXPECT_EQ(px[4 * i + 2], 101);
        EXPECT_EQ(px[4 * i + 3], 255);
    }
}

TEST(Bc7Decode, TextureDecoderPlacesBc7Blocks) {
    // An 8x4 HAP R texture: a solid mode 5 block (0, 126, 129, 255), then a reserved block
    // that decodes to transparent black, into a destination with padded rows.
    const uint8_t texture[32] = {0x20, 0x00, 0xC0, 0x0F, 0x00, 0x04, 0xFC, 0x03};
    DxtDecContext ctx;
    ASSERT_EQ(dxtdec_init(&ctx, 8, 4, DxtDecCodec_BC7, 0), 0);
    constexpr ptrdiff_t kLine = 40;
    std::vector<uint8_t> dst(4 * kLine, 0xCD);
    ASSERT_EQ(dxtdec_decode_frame(&ctx, texture, nullptr, dst.data(), kLine), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++) {
            SCOPED_TRACE(::testing::Message() << "pixel " << x << "," << y);
            const uint8_t *p = &dst[y * kLine + 4 * x];
            const std::vector<uint8_t> want =
                x < 4 ? std::vector<uint8_t>{0, 126, 129, 255} : std::vector<uint8_t>(4, 0);
            EXPECT_EQ(std::vector<uint8_t>(p, p + 4), want);
        }
    EXPECT_EQ(dst[32], 0xCD);  // row padding untouched
}

TEST(Bc7Decode, AgreesWithMesaOnRandomBlocksOfEveryMode) {
    // Random bits behind each mode's marker: every partition, p-bit, rotation and index
    // layout gets exercised against an independent decoder.
    constexpr int kPerMode = 256;
    std::mt19937 rng(7);
    std::vector<uint8_t> blocks;
    for (int mode = 0; mode < 8; mode++) {
        for (int n = 0; n < kPerMode; n++) {
            uint8_t b[16];
            for (uint8_t &x : b) x = uint8_t(rng());
            b[0] = uint8_t((b[0] & ~((2u << mode) - 1)) | (1u << mode));
            blocks.insert(blocks.end(), b, b + 16);
        }
    }
    std::vector<uint8_t> gl;
    std::string why;
    ASSERT_TRUE(bc7_gl_oracle_decode(blocks, gl, why)) << why;
    const size_t count = blocks.size() / 16;
    size_t mismatches = 0;
    for (size_t k = 0; k < count; k++) {
        uint8_t px[64];
        unpack_bc7(&blocks[16 * k], px);
        if (std::memcmp(px, &gl[64 * k], 64) != 0 && mismatches++ < 5)
            ADD_FAILURE() << "block " << k << " (mode " << k / kPerMode << ") differs from Mesa";
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
