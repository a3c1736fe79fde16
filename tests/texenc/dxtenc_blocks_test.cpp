// Exact blocks of the DXT1, DXT5 and RGTC1 encoders at the baseline tier, the constant
// tables and the fast colour fit's documented corner cases.
#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One 4x4 block given as RGBA8 pixels (layout 3), encoded at the baseline tier.
Bytes encode_rgba_block(const std::array<uint8_t, 64> &rgba, uint32_t codec, int quality = 1) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, 4, 4, codec, uint8_t(quality), 1, DXTENC_PIX_RGBA8, 0, 1, 0), 0);
    Bytes out(dxtenc_encoded_size(4, 4, codec, 0));
    const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {16, 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

std::array<uint8_t, 64> solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    std::array<uint8_t, 64> px;
    for (int i = 0; i < 16; i++) {
        px[4 * i] = r;
        px[4 * i + 1] = g;
        px[4 * i + 2] = b;
        px[4 * i + 3] = a;
    }
    return px;
}

std::array<uint8_t, 64> with_alpha(const std::array<uint8_t, 16> &alpha) {
    auto px = solid(10, 20, 30);
    for (int i = 0; i < 16; i++) px[4 * i + 3] = alpha[i];
    return px;
}

TEST(DxtBlocks, ExactColourBlocks) {
    struct Case {
        const char *name;
        std::array<uint8_t, 64> px;
        Bytes block;
    };
    const Case cases[] = {
        {"white", solid(255, 255, 255), {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"black", solid(0, 0, 0), {0, 0, 0, 0, 0, 0, 0, 0}},
        // e0 = 13 << 11 | 34 << 5 | 15, e1 = 11 << 11 | 27 << 5 | 17, every index 2.
        {"grey-green", solid(100, 128, 128), {0x4F, 0x6C, 0x71, 0x5B, 0xAA, 0xAA, 0xAA, 0xAA}},
        // Alpha does not count as a colour difference.
        {"solid with alpha ramp",
         [] {
             auto p = solid(100, 128, 128);
             for (int i = 0; i < 16; i++) p[4 * i + 3] = uint8_t(i * 17);
             return p;
         }(),
         {0x4F, 0x6C, 0x71, 0x5B, 0xAA, 0xAA, 0xAA, 0xAA}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode_rgba_block(c.px, DXTENC_CODEC_DXT1), c.block);
        Bytes dxt5 = encode_rgba_block(c.px, DXTENC_CODEC_DXT5);
        EXPECT_EQ(Bytes(dxt5.begin() + 8, dxt5.end()), c.block);
    }
}

TEST(DxtBlocks, ExactRgtc1Blocks) {
    struct Case {
        const char *name;
        std::array<uint8_t, 16> values;
        Bytes block;
    };
    std::array<uint8_t, 16> ramp{}, halves{}, near{}, tens{};
    for (int i = 0; i < 16; i++) {
        ramp[i] = uint8_t(17 * i);
        halves[i] = i < 8 ? 0 : 255;
        near[i] = i < 15 ? 128 : 129;
        tens[i] = i % 2 ? 20 : 10;
    }
    std::array<uint8_t, 16> c0{}, c255{};
    c255.fill(255);
    const Case cases[] = {
        {"ramp 0..255", ramp, {0xFF, 0x00, 0xC9, 0x6F, 0xB7, 0xE4, 0x26, 0x01}},
        {"eight 0 then eight 255", halves, {0xFA, 0xFF, 0xB6, 0x6D, 0xDB, 0x49, 0x92, 0x24}},
        {"fifteen 128 then 129", near, {0x80, 0x85, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}},
        {"constant 0", c0, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"constant 255", c255, {0xFF, 0, 0, 0, 0, 0, 0, 0}},
        // Both palettes fit exactly; ties go to the six-value mode.
        {"10 and 20", tens, {10, 20, 0x08, 0x82, 0x20, 0x08, 0x82, 0x20}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode_rgba_block(with_alpha(c.values), DXTENC_CODEC_RGTC1_ALPHA), c.block);
        // The DXT5 alpha half at the normal quality is the same fit; the luma codec too
        // when the luma carries the values.
        std::array<uint8_t, 64> grey;
        for (int i = 0; i < 16; i++) grey[4 * i] = grey[4 * i + 1] = grey[4 * i + 2] = c.values[i], grey[4 * i + 3] = 7;
        EXPECT_EQ(encode_rgba_block(grey, DXTENC_CODEC_RGTC1_LUMA), c.block);
    }
}

TEST(DxtBlocks, FastAlphaHalf) {
    struct Case {
        const char *name;
        std::array<uint8_t, 16> alpha;
        Bytes half;
    };
    std::array<uint8_t, 16> opaque{}, black_white{}, step{};
    opaque.fill(255);
    for (int i = 0; i < 16; i++) {
        black_white[i] = i % 2 ? 255 : 0;
        step[i] = i == 0 ? 101 : (i == 1 ? 107 : 100);
    }
    // 0 takes index 1, 255 index 0: pairs 1,0 -> bits 001 000.
    Bytes bw = {255, 0};
    for (int k = 0; k < 2; k++) {
        uint32_t v = 0;
        for (int j = 0; j < 8; j++) v |= uint32_t(j % 2 ? 0 : 1) << (3 * j);
        bw.push_back(uint8_t(v));
        bw.push_back(uint8_t(v >> 8));
        bw.push_back(uint8_t(v >> 16));
    }
    // d = 7, r = 6: m + 1 gives level 1, index 7; the maximum index 0; the minimum index 1.
    Bytes st = {107, 100};
    {
        uint8_t idx[16];
        for (int i = 0; i < 16; i++) idx[i] = 1;
        idx[0] = 7;
        idx[1] = 0;
        for (int h = 0; h < 2; h++) {
            uint32_t v = 0;
            for (int j = 0; j < 8; j++) v |= uint32_t(idx[8 * h + j]) << (3 * j);
            st.push_back(uint8_t(v));
            st.push_back(uint8_t(v >> 8));
            st.push_back(uint8_t(v >> 16));
        }
    }
    const Case cases[] = {
        {"opaque", opaque, {0xFF, 0, 0, 0, 0, 0, 0, 0}},
        {"0 and 255", black_white, bw},
        {"d = 7", step, st},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = encode_rgba_block(with_alpha(c.alpha), DXTENC_CODEC_DXT5);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), c.half);
    }
}

TEST(DxtTables, SingleAndOneColourExamples) {
    struct Case {
        int v;
        uint8_t h5, l5, h6, l6;
    };
    const Case single[] = {{1, 0, 0, 0, 1}, {100, 13, 11, 30, 15}, {128, 15, 17, 34, 27}, {255, 31, 31, 63, 63}};
    for (const Case &c : single) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(dxt_single_color_lut5[c.v].high, c.h5);
        EXPECT_EQ(dxt_single_color_lut5[c.v].low, c.l5);
        EXPECT_EQ(dxt_single_color_lut6[c.v].high, c.h6);
        EXPECT_EQ(dxt_single_color_lut6[c.v].low, c.l6);
    }
    struct OneCase {
        int v;
        std::array<uint8_t, 6> e5, e6;
    };
    const OneCase one[] = {{100, {12, 0, 1, 3, 31, 1}, {25, 0, 1, 14, 47, 0}},
                           {128, {16, 0, 4, 10, 27, 0}, {32, 0, 2, 16, 63, 0}}};
    for (const OneCase &c : one) {
        SCOPED_TRACE(c.v);
        const DxtOneColorEntry &a = dxt_one_color_lut5[c.v], &b = dxt_one_color_lut6[c.v];
        EXPECT_EQ((std::array<uint8_t, 6>{a.a, a.zero, a.error_a, a.x, a.y, a.error_b}), c.e5);
        EXPECT_EQ((std::array<uint8_t, 6>{b.a, b.zero, b.error_a, b.x, b.y, b.error_b}), c.e6);
    }
    // Every single-colour pair codes its value within a small error.
    for (int v = 0; v < 256; v++) {
        int e5 =
            (2 * dxt_expand_table[dxt_single_color_lut5[v].high] + dxt_expand_table[dxt_single_color_lut5[v].low]) / 3;
        int e6 = (2 * dxt_expand_table[32 + dxt_single_color_lut6[v].high] +
                  dxt_expand_table[32 + dxt_single_color_lut6[v].low]) /
                 3;
        EXPECT_LE(std::abs(e5 - v), 2) << v;
        EXPECT_LE(std::abs(e6 - v), 1) << v;
    }
}

alignas(16) uint8_t g_planar[48];

void set_pixel(uint8_t *planar, int i, int r, int g, int b) {
    planar[i] = uint8_t(r);
    planar[16 + i] = uint8_t(g);
    planar[32 + i] = uint8_t(b);
}

TEST(DxtFastFit, BaselineCornerCases) {
    // Two colours one step apart in blue: the luma axis; the first extreme pixel wins.
    for (int i = 0; i < 16; i++) set_pixel(g_planar, i, 50, 60, i == 5 || i == 9 ? 71 : 70);
    uint64_t a = 99, b = 99;
    DxtBlockStats st;
    fast_fit_endpoints_sse41(g_planar, &a, &b, &st);
    EXPECT_EQ(st.sum[2], 70 * 16 + 2);
    EXPECT_EQ(st.mean[0], 50);
    // A is pixel 5 (71 blue), B pixel 0.
    auto q = [](int x, int bits) {
        int t = ((1 << bits) - 1) * x + 128;
        return (t + (t >> 8)) >> 8;
    };
    EXPECT_EQ(a, uint64_t(q(50, 5) << 11 | q(60, 6) << 5 | q(71, 5)));
    EXPECT_EQ(b, uint64_t(q(50, 5) << 11 | q(60, 6) << 5 | q(70, 5)));

    // Indices 0 and 1 only: the refinement gives each group's mean.
    uint32_t word = 0;
    for (int i = 0; i < 16; i++) {
        bool first = i < 8;
        set_pixel(g_planar, i, first ? 200 + i : 10, first ? 100 : 30 + i, first ? 0 : 255);
        word |= uint32_t(first ? 0 : 1) << (2 * i);
    }
    fast_fit_endpoints_sse41(g_planar, &a, &b, &st);
    fast_fit_refine_sse41(g_planar, &a, &b, word, &st);
    // red of group A: mean 203.5 -> 203.5 * 31 / 255 = 24.7 -> 25; green 100 -> 24.7 -> 25; blue 0.
    EXPECT_EQ(a, uint64_t(25 << 11 | 25 << 5 | 0));
    // group B: red 10 -> 1.2 -> 1; green mean 41.5 -> 10.25 -> 10; blue 255 -> 31.
    EXPECT_EQ(b, uint64_t(1 << 11 | 10 << 5 | 31));

    // Results past the 5- and 6-bit ranges are clamped, not wrapped.
    word = 0;
    for (int i = 0; i < 16; i++) {
        int idx = i < 8 ? 2 : 3;
        set_pixel(g_planar, i, i < 8 ? 255 : 0, i < 8 ? 0 : 255, 128);
        word |= uint32_t(idx) << (2 * i);
    }
    fast_fit_endpoints_sse41(g_planar, &a, &b, &st);
    fast_fit_refine_sse41(g_planar, &a, &b, word, &st);
    EXPECT_EQ((a >> 11) & 31, 31u);
    EXPECT_EQ((a >> 5) & 63, 0u);
    EXPECT_EQ((b >> 11) & 31, 0u);
    EXPECT_EQ((b >> 5) & 63, 63u);
    EXPECT_LT(a, 0x10000u);
    EXPECT_LT(b, 0x10000u);
}

TEST(DxtFastFit, IndexThresholdsGoTowardA) {
    // A = white, B = black: palette 255, 0, 170, 85 on each channel; d = 255 per channel.
    const uint32_t A = 0xFFFF, B = 0;
    struct Case {
        int grey;
        uint32_t index;
    };
    // Dots are 765 * grey; thresholds: T0 = (s0 + s2) / 2 at grey 212.5 -> 212 goes to 2,
    // 213 to 0; Th at 127.5; T1 at 42.5.
    const Case cases[] = {{255, 0}, {213, 0}, {212, 2}, {128, 2}, {127, 3}, {43, 3}, {42, 1}, {0, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.grey);
        for (int i = 0; i < 16; i++) set_pixel(g_planar, i, c.grey, c.grey, c.grey);
        uint64_t w = 0;
        fast_fit_indices_sse41(g_planar, A, B, &w, dxt_expand_table);
        EXPECT_EQ(w, uint64_t(c.index * 0x55555555u));
    }
}

}  // namespace

namespace {

std::array<uint8_t, 64> rows_of(const std::array<std::array<uint8_t, 3>, 4> &row_colors) {
    std::array<uint8_t, 64> px;
    for (int i = 0; i < 16; i++) {
        for (int c = 0; c < 3; c++) px[4 * i + c] = row_colors[i / 4][c];
        px[4 * i + 3] = uint8_t(255 - i);
    }
    return px;
}

TEST(DxtBlocks, NormalAndSlowQualities) {
    struct Case {
        const char *name;
        std::array<uint8_t, 64> px;
        Bytes q3;
    };
    auto checker = solid(0, 0, 0);
    for (int i = 0; i < 16; i++)
        if (i % 2) checker[4 * i] = checker[4 * i + 1] = checker[4 * i + 2] = 255;
    const Case cases[] = {
        {"red over blue",
         rows_of({{{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {0, 0, 255}}}),
         {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55}},
        {"blue over red",
         rows_of({{{0, 0, 255}, {0, 0, 255}, {255, 0, 0}, {255, 0, 0}}}),
         {0x00, 0xF8, 0x1F, 0x00, 0x55, 0x55, 0x00, 0x00}},
        {"black and white", checker, {0xFF, 0xFF, 0x00, 0x00, 0x11, 0x11, 0x11, 0x11}},
        {"grey rows",
         rows_of({{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}}),
         {0xFF, 0xFF, 0x00, 0x00, 0x55, 0xFF, 0xAA, 0x00}},
        // One distinct colour (alpha varies): the exact/mixed single-colour choice.
        {"one colour",
         rows_of({{{100, 128, 128}, {100, 128, 128}, {100, 128, 128}, {100, 128, 128}}}),
         {0xFB, 0xFF, 0x0A, 0x1A, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encode_rgba_block(c.px, DXTENC_CODEC_DXT1, 3), c.q3);
        Bytes dxt5 = encode_rgba_block(c.px, DXTENC_CODEC_DXT5, 3);
        EXPECT_EQ(Bytes(dxt5.begin() + 8, dxt5.end()), c.q3);
        // The normal quality sends these wide-range blocks to the cluster fit as well.
        if (std::string(c.name) != "one colour") { EXPECT_EQ(encode_rgba_block(c.px, DXTENC_CODEC_DXT1, 2), c.q3); }
    }
}

TEST(DxtBlocks, NormalQualityRangeThreshold) {
    // Two colours 14 apart in green take the fast fit; 15 apart, the cluster fit.
    for (int step : {1, 14, 15, 40}) {
        SCOPED_TRACE(step);
        auto px = solid(90, 100, 110);
        for (int i = 0; i < 16; i += 3) px[4 * i + 1] = uint8_t(100 + step);
        Bytes q1 = encode_rgba_block(px, DXTENC_CODEC_DXT1, 1);
        Bytes q2 = encode_rgba_block(px, DXTENC_CODEC_DXT1, 2);
        Bytes q3 = encode_rgba_block(px, DXTENC_CODEC_DXT1, 3);
        EXPECT_EQ(q2, step <= 14 ? q1 : q3);
    }
    // A solid block at the normal quality uses the fast quality's solid tables.
    EXPECT_EQ(encode_rgba_block(solid(100, 128, 128), DXTENC_CODEC_DXT1, 2),
              (Bytes{0x4F, 0x6C, 0x71, 0x5B, 0xAA, 0xAA, 0xAA, 0xAA}));
    // Constant alpha 0 at the normal and slow qualities: 8 zero bytes.
    for (int q : {2, 3}) {
        Bytes b = encode_rgba_block(solid(1, 2, 3, 0), DXTENC_CODEC_DXT5, q);
        EXPECT_EQ(Bytes(b.begin(), b.begin() + 8), Bytes(8, 0));
    }
}

}  // namespace

namespace {

// The fast alpha half written out plainly, for random blocks of every spread.
Bytes fast_alpha_model(const std::array<uint8_t, 16> &a) {
    int m = 255, mx = 0;
    for (uint8_t v : a) m = std::min(m, int(v)), mx = std::max(mx, int(v));
    Bytes out(8, 0);
    out[0] = uint8_t(m == mx ? m : mx);
    if (m == mx) return out;
    out[1] = uint8_t(m);
    const int d = mx - m, s = d >= 8 ? 1 : 0, r = (d >> s) + 3 * s - 1;
    uint64_t bits = 0;
    for (int i = 0; i < 16; i++) {
        const int q = std::min(7, (7 * (a[i] - m) + r) / d);
        const int idx = q == 0 ? 1 : q == 7 ? 0 : 8 - q;
        bits |= uint64_t(idx) << (3 * i);
    }
    for (int k = 0; k < 6; k++) out[2 + k] = uint8_t(bits >> (8 * k));
    return out;
}

TEST(DxtBlocks, FastAlphaHalfMatchesPlainModel) {
    std::mt19937 rng(17);
    for (int iter = 0; iter < 2000; iter++) {
        std::array<uint8_t, 16> a;
        const int lo = int(rng() % 256), span = int(rng() % (256 - lo));
        for (auto &v : a) v = uint8_t(lo + (span ? int(rng() % (span + 1)) : 0));
        Bytes b = encode_rgba_block(with_alpha(a), DXTENC_CODEC_DXT5);
        ASSERT_EQ(Bytes(b.begin(), b.begin() + 8), fast_alpha_model(a)) << "iteration " << iter;
    }
}

}  // namespace
