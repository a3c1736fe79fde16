// Edge-block completion and the frame walk: block order, partial blocks, slices, the
// bottom-up layout and the second texture of codec 5's layout.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DxtPad, PackedLayoutModes) {
    // Layout 0, 3 valid columns, 2 valid rows; pixel (r, c) = {r, c, 0x40 + r, 0x80 + c}.
    uint8_t src[2][16];
    for (int r = 0; r < 2; r++)
        for (int c = 0; c < 4; c++) {
            uint8_t *p = &src[r][4 * c];
            p[0] = uint8_t(r), p[1] = uint8_t(c), p[2] = uint8_t(0x40 + r), p[3] = uint8_t(0x80 + c);
        }
    const uint8_t *planes[4] = {&src[0][0], nullptr, nullptr, nullptr};
    const int64_t strides[4] = {16, 0, 0, 0};
    struct Case {
        DxtPadPartialBlockFn fn;
        uint8_t fill[4];
        bool repeat;
    };
    const Case cases[] = {{pad_partial_block_argb8_repeat, {}, true},
                          {pad_partial_block_argb8_black, {0xFF, 0, 0, 0}, false},
                          {pad_partial_block_argb8_zero, {0, 0, 0, 0}, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.repeat ? "repeat" : c.fill[0] ? "black" : "zero");
        uint8_t scratch[1024];
        std::memset(scratch, 0xCD, sizeof(scratch));
        c.fn(scratch, planes, strides, 3, 2);
        for (int r = 0; r < 4; r++)
            for (int col = 0; col < 4; col++) {
                SCOPED_TRACE(testing::Message() << "row " << r << " col " << col);
                const uint8_t *got = scratch + 16 * r + 4 * col;
                const uint8_t *want;
                if (r < 2 && col < 3)
                    want = &src[r][4 * col];
                else if (c.repeat)
                    want = &src[r < 2 ? r : 1][4 * (col < 3 ? col : 2)];
                else
                    want = c.fill;
                EXPECT_EQ(0, std::memcmp(got, want, 4));
            }
        // Nothing past the single plane is touched.
        EXPECT_EQ(scratch[64], 0xCD);
    }
}

TEST(DxtPad, PlanarLayoutsWriteOnlyTheirPlanes) {
    uint8_t p[4][2][4];
    for (int k = 0; k < 4; k++)
        for (int r = 0; r < 2; r++)
            for (int c = 0; c < 4; c++) p[k][r][c] = uint8_t(16 * k + 4 * r + c + 1);
    const uint8_t *planes[4] = {&p[0][0][0], &p[1][0][0], &p[2][0][0], &p[3][0][0]};
    const int64_t strides[4] = {4, 4, 4, 4};
    {
        uint8_t scratch[64];
        std::memset(scratch, 0xCD, sizeof(scratch));
        pad_partial_block_planar_rgba8_black(scratch, planes, strides, 3, 2);
        for (int k = 0; k < 4; k++)
            for (int r = 0; r < 4; r++)
                for (int c = 0; c < 4; c++) {
                    uint8_t want = r < 2 && c < 3 ? p[k][r][c] : k == 3 ? 0xFF : 0;
                    EXPECT_EQ(scratch[16 * k + 4 * r + c], want) << k << r << c;
                }
    }
    {
        uint8_t scratch[64];
        std::memset(scratch, 0xCD, sizeof(scratch));
        pad_partial_block_planar_rgb8_repeat(scratch, planes, strides, 1, 1);
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 16; i++) EXPECT_EQ(scratch[16 * k + i], p[k][0][0]);
        for (int i = 48; i < 64; i++) EXPECT_EQ(scratch[i], 0xCD);
    }
    // A whole block passes unchanged.
    {
        uint16_t w[3][4][4];
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 16; i++) w[k][i / 4][i % 4] = uint16_t(1000 * k + 37 * i);
        const uint8_t *wp[4] = {reinterpret_cast<uint8_t *>(w[0]), reinterpret_cast<uint8_t *>(w[1]),
                                reinterpret_cast<uint8_t *>(w[2]), nullptr};
        const int64_t ws[4] = {8, 8, 8, 0};
        uint8_t scratch[128];
        pad_partial_block_planar_rgb12_zero(scratch, wp, ws, 4, 4);
        EXPECT_EQ(0, std::memcmp(scratch, w, 96));
    }
}

// A DXT1 "encoder" whose blocks record the first and last pixel it was given.
void probe_block(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &) {
    std::memcpy(out, planes[0], 4);
    std::memcpy(out + 4, planes[0] + 3 * strides[0] + 12, 4);
}

std::vector<uint8_t> make_rgba(int w, int h, int stride) {
    std::vector<uint8_t> px(size_t(stride) * h, 0xEE);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t *p = &px[size_t(y) * stride + 4 * x];
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 0x55, p[3] = 0xFF;
        }
    return px;
}

Bytes run_probe(int w, int h, uint32_t pad, uint32_t threads, uint32_t fmt, const std::vector<uint8_t> &px,
                int stride) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(w), uint16_t(h), 0, 1, 1, fmt, pad, threads, 0), 0);
    ctx.ops.encode_block_tex1 = probe_block;
    Bytes out(dxtenc_encoded_size(uint16_t(w), uint16_t(h), 0, pad), 0x11);
    const uint8_t *planes[4] = {px.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {stride, 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

TEST(DxtFrame, BlockOrderAndEdgeBlocks) {
    // 5 x 5 in repeat mode: whole, right edge, bottom edge, corner.
    auto px = make_rgba(5, 5, 24);
    Bytes out = run_probe(5, 5, 0, 1, DXTENC_PIX_RGBA8, px, 24);
    ASSERT_EQ(out.size(), 32u);
    const Bytes want = {
        0, 0, 0x55, 0xFF, 3, 3, 0x55, 0xFF,  // whole block: pixels (0,0) and (3,3)
        4, 0, 0x55, 0xFF, 4, 3, 0x55, 0xFF,  // right edge: column 4 repeated
        0, 4, 0x55, 0xFF, 3, 4, 0x55, 0xFF,  // bottom edge: row 4 repeated
        4, 4, 0x55, 0xFF, 4, 4, 0x55, 0xFF,  // corner
    };
    EXPECT_EQ(out, want);
    // Zero pad: the corner's last pixel is zero.
    out = run_probe(5, 5, 2, 1, DXTENC_PIX_RGBA8, px, 24);
    EXPECT_EQ(Bytes(out.begin() + 24, out.end()), (Bytes{4, 4, 0x55, 0xFF, 0, 0, 0, 0}));
    // Mode 3 keeps only the whole block.
    out = run_probe(5, 5, 3, 1, DXTENC_PIX_RGBA8, px, 24);
    EXPECT_EQ(out, Bytes(want.begin(), want.begin() + 8));
    // Width 3 in mode 3: nothing at all; height 2: only the bottom strip.
    EXPECT_TRUE(run_probe(3, 8, 3, 1, DXTENC_PIX_RGBA8, px, 24).empty());
    out = run_probe(5, 2, 0, 1, DXTENC_PIX_RGBA8, px, 24);
    EXPECT_EQ(out, (Bytes{0, 0, 0x55, 0xFF, 3, 1, 0x55, 0xFF, 4, 0, 0x55, 0xFF, 4, 1, 0x55, 0xFF}));
}

TEST(DxtFrame, BottomUpLayoutReadsLastRowsFirst) {
    // Layout 2 is BGRA8 stored bottom-up: block 0 comes from the last four stored rows.
    const int w = 8, h = 8;
    auto px = make_rgba(w, h, 32);
    Bytes out = run_probe(w, h, 0, 1, DXTENC_PIX_BGRA8_BOTTOM_UP, px, 32);
    // First pixel of block 0 is stored row 7; its last pixel stored row 4, column 3.
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{0, 7, 0x55, 0xFF, 3, 4, 0x55, 0xFF}));
    EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 24), (Bytes{0, 3, 0x55, 0xFF, 3, 0, 0x55, 0xFF}));
}

TEST(DxtFrame, SlicesGiveTheSameTexture) {
    std::mt19937 rng(7);
    const int w = 37, h = 203, stride = 4 * w + 12;
    std::vector<uint8_t> px(size_t(stride) * h);
    for (auto &b : px) b = uint8_t(rng());
    for (uint32_t codec : {0u, 1u, 2u, 3u}) {
        for (uint32_t pad : {0u, 3u}) {
            SCOPED_TRACE(testing::Message() << "codec " << codec << " pad " << pad);
            Bytes ref;
            for (uint32_t threads : {1u, 3u, 8u, 64u}) {
                DxtEncContext ctx;
                std::memset(&ctx, 0, sizeof(ctx));
                ASSERT_EQ(dxtenc_init(&ctx, w, h, codec, 1, 1, DXTENC_PIX_RGBA8, pad, threads, 0xF8), 0);
                Bytes out(dxtenc_encoded_size(w, h, codec, pad) + 16, 0x5A);
                const uint8_t *planes[4] = {px.data(), nullptr, nullptr, nullptr};
                const int64_t strides[4] = {stride, 0, 0, 0};
                dxtenc_encode_frame(&ctx, out.data(), planes, strides);
                // Nothing past the texture.
                for (size_t i = out.size() - 16; i < out.size(); i++) ASSERT_EQ(out[i], 0x5A);
                if (ref.empty())
                    ref = out;
                else
                    EXPECT_EQ(out, ref) << threads << " threads";
            }
        }
    }
}

}  // namespace
