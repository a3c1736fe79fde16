// BC7 encoder to decoder: quality floors, opaque alpha, solid colours and agreement of our
// decoder with Mesa's on what the encoder writes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "container/texdec/bc7_gl_oracle.h"
#include "testutil/testutil.h"
#include "texenc/ops/bc7_format.h"
#include "texenc/bc7enc/bc7enc.h"

namespace {

struct Picture {
    int width = 0, height = 0;  // multiples of 4
    std::vector<uint8_t> rgba;
};

struct Quality {
    uint32_t level, partitions;
};
constexpr Quality kQualities[3] = {{0, 4}, {1, 16}, {4, 64}};

std::vector<uint8_t> encode(const Picture &pic, Quality q) {
    bc7enc_build_tables();
    const int bw = pic.width / 4, bh = pic.height / 4;
    std::vector<uint8_t> blocks(size_t(bw) * bh * 16);
    for (int by = 0; by < bh; by++)
        for (int bx = 0; bx < bw; bx++) {
            uint8_t px[16][4];
            for (int y = 0; y < 4; y++)
                std::memcpy(px[4 * y], &pic.rgba[4 * (size_t(4 * by + y) * pic.width + 4 * bx)], 16);
            bc7enc_encode_pixels(&blocks[16 * (size_t(by) * bw + bx)], px, q.level, q.partitions);
        }
    return blocks;
}

std::vector<uint8_t> decode(const std::vector<uint8_t> &blocks, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * height * 4);
    const int bw = width / 4;
    for (size_t k = 0; k < blocks.size() / 16; k++) {
        uint8_t px[64];
        unpack_bc7(&blocks[16 * k], px);
        const int bx = int(k % bw), by = int(k / bw);
        for (int y = 0; y < 4; y++) std::memcpy(&out[4 * (size_t(4 * by + y) * width + 4 * bx)], px + 16 * y, 16);
    }
    return out;
}

Picture load(const std::string &input, int width, int height, const std::string &vf) {
    Picture p;
    p.width = width;
    p.height = height;
    p.rgba = testutil::ffmpeg_raw_frame(input, "rgba", vf);
    EXPECT_EQ(p.rgba.size(), size_t(width) * height * 4) << input;
    return p;
}

uint32_t mode_of(const uint8_t *block) {
    for (uint32_t m = 0; m < 8; m++)
        if (block[0] & (1u << m)) return m;
    return 8;
}

struct FloorCase {
    const char *name;
    std::string input;
    int width, height;
    std::string vf;
    double rgb_floor[3];    // per quality
    double alpha_floor[3];  // 0: source is opaque, alpha must stay exactly 255
};

TEST(Bc7RoundTrip, PsnrFloorsPerQuality) {
    // logo.png is stored as RGBA but every alpha is 255; the alpha case gets its alpha from
    // ffmpeg: a hard-edged disc over a ramp from 0, on top of the photo.
    const std::string coffee = "-i " + testutil::shell_quote(testutil::testdata_photo("coffee.png"));
    const std::vector<FloorCase> cases = {
        {"testsrc2", "-f lavfi -i testsrc2=size=128x96", 128, 96, "", {36.5, 35.9, 35.9}, {0, 0, 0}},
        {"coffee photo", coffee, 160, 128, "crop=160:128:200:120", {43.6, 44.5, 44.9}, {0, 0, 0}},
        {"logo",
         "-i " + testutil::shell_quote(testutil::testdata_photo("logo.png")),
         128,
         128,
         "crop=128:128:180:180",
         {48.6, 49.6, 50.0},
         {0, 0, 0}},
        {"coffee with alpha",
         coffee,
         160,
         128,
         "crop=160:128:200:120,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
         "a='if(lt(hypot(X-80,Y-64),40),255,clip(X*1.6,0,255))'",
         {42.4, 42.6, 42.8},
         {47.0, 46.9, 46.8}},
    };
    for (const FloorCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Picture pic = load(c.input, c.width, c.height, c.vf);
        if (pic.rgba.empty()) continue;
        for (int qi = 0; qi < 3; qi++) {
            SCOPED_TRACE("quality " + std::to_string(qi + 1));
            const std::vector<uint8_t> blocks = encode(pic, kQualities[qi]);
            const std::vector<uint8_t> out = decode(blocks, pic.width, pic.height);
            const size_t n = size_t(pic.width) * pic.height;
            const double rgb = testutil::psnr8(pic.rgba.data(), out.data(), n, 4, 3);
            const double alpha = testutil::psnr8(pic.rgba.data() + 3, out.data() + 3, n, 4, 1);
            printf("%s q%d: rgb %.2f dB alpha %.2f dB\n", c.name, qi + 1, rgb, alpha);
            EXPECT_GE(rgb, c.rgb_floor[qi]);
            if (c.alpha_floor[qi] == 0) {
                for (size_t i = 0; i < n; i++)
                    if (out[4 * i + 3] != 255) {
                        ADD_FAILURE() << "opaque source decoded with alpha " << int(out[4 * i + 3]) << " at pixel "
                                      << i;
                        break;
                    }
            } else {
                EXPECT_GE(alpha, c.alpha_floor[qi]);
            }
            for (size_t k = 0; k < blocks.size() / 16; k++) {
                const uint32_t m = mode_of(&blocks[16 * k]);
                EXPECT_TRUE(m == 1 || m == 5 || m == 6 || m == 7) << "block " << k << " mode " << m;
            }
        }
    }
}

TEST(Bc7RoundTrip, SolidBlocksDecodeExactlyForEveryValue) {
    // Each channel takes every value 0..255 across the sweep, exact and inexact alike.
    bc7enc_build_tables();
    for (int v = 0; v < 256; v++) {
        const uint8_t rgba[4] = {uint8_t(v), uint8_t(255 - v), uint8_t((v * 7) & 255), uint8_t((v * 13 + 5) & 255)};
        uint8_t px[16][4];
        for (auto &p : px) std::memcpy(p, rgba, 4);
        uint8_t block[16], out[64];
        bc7enc_encode_pixels(block, px, 0, 4);
        ASSERT_TRUE(unpack_bc7(block, out));
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(std::vector<uint8_t>(out + 4 * i, out + 4 * i + 4), std::vector<uint8_t>(rgba, rgba + 4))
                << "value " << v << " pixel " << i;
    }
}

// Pixels a solution stands for, worked out from its fields (no bit layout involved).
void expected_pixels(const Bc7BlockSolution &s, uint8_t *out) {
    const bc7fmt::ModeInfo &mi = bc7fmt::kModes[s.m_mode];
    const bool pb = mi.endpoint_pbits || mi.shared_pbits;
    auto expand = [](uint32_t v, uint32_t bits) { return ((v << (8 - bits)) | (v >> (2 * bits - 8))) & 0xFF; };
    auto weights = [](uint32_t bits) {
        return bits == 2 ? bc7fmt::kWeights2 : (bits == 3 ? bc7fmt::kWeights3 : bc7fmt::kWeights4);
    };
    for (uint32_t i = 0; i < 16; i++) {
        const uint32_t sub = bc7fmt::subset_of(mi.subsets, s.m_partition, i);
        uint32_t e[2][4];
        for (uint32_t k = 0; k < 2; k++)
            for (uint32_t c = 0; c < 4; c++) {
                const uint32_t bits = c < 3 ? mi.color_bits : mi.alpha_bits;
                if (c == 3 && bits == 0) {
                    e[k][c] = 255;
                    continue;
                }
                const uint32_t v = k == 0 ? s.m_low[sub][c] : s.m_high[sub][c];
                const uint32_t p = mi.shared_pbits ? s.m_pbits[sub][0] : s.m_pbits[sub][k];
                e[k][c] = pb ? expand((v << 1) | p, bits + 1) : expand(v, bits);
            }
        uint32_t color_bits = mi.index_bits, alpha_bits = mi.index_bits;
        uint32_t ci = s.m_selectors[i], ai = s.m_selectors[i];
        if (mi.index2_bits) {
            alpha_bits = s.m_index_selector ? mi.index_bits : mi.index2_bits;
            color_bits = s.m_index_selector ? mi.index2_bits : mi.index_bits;
            ai = s.m_alpha_selectors[i];
        }
        uint8_t px[4];
        for (uint32_t c = 0; c < 4; c++) {
            const uint32_t w = c < 3 ? weights(color_bits)[ci] : weights(alpha_bits)[ai];
            px[c] = uint8_t(((64 - w) * e[0][c] + w * e[1][c] + 32) >> 6);
        }
        if (s.m_rotation) std::swap(px[3], px[s.m_rotation - 1]);
        std::memcpy(out + 4 * i, px, 4);
    }
}

TEST(Bc7RoundTrip, PackedSolutionsOfEveryModeDecodeToTheirPixels) {
    // Random fields for each of the eight layouts, anchors with the top bit set included:
    // the packer's flips must never change what the block decodes to.
    std::mt19937 rng(21);
    for (uint32_t mode = 0; mode < 8; mode++) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const bc7fmt::ModeInfo &mi = bc7fmt::kModes[mode];
        for (int n = 0; n < 200; n++) {
            Bc7BlockSolution s;
            s.m_mode = mode;
            s.m_partition = mi.partition_bits ? rng() % (1u << mi.partition_bits) : 0;
            s.m_rotation = mi.rotation_bits ? rng() % 4 : 0;
            s.m_index_selector = mi.index_sel_bits ? rng() % 2 : 0;
            for (int i = 0; i < 16; i++) {
                s.m_selectors[i] = uint8_t(rng() % (1u << (s.m_index_selector ? mi.index2_bits : mi.index_bits)));
                if (mi.index2_bits)
                    s.m_alpha_selectors[i] =
                        uint8_t(rng() % (1u << (s.m_index_selector ? mi.index_bits : mi.index2_bits)));
            }
            for (int sub = 0; sub < 3; sub++)
                for (int c = 0; c < 4; c++) {
                    const uint32_t bits = c < 3 ? mi.color_bits : (mi.alpha_bits ? mi.alpha_bits : 1);
                    s.m_low[sub][c] = uint8_t(rng() % (1u << bits));
                    s.m_high[sub][c] = uint8_t(rng() % (1u << bits));
                    s.m_pbits[sub][0] = rng() % 2;
                    s.m_pbits[sub][1] = mi.shared_pbits ? s.m_pbits[sub][0] : rng() % 2;
                }
            uint8_t block[16], got[64], want[64];
            encode_bc7_block(block, &s);
            ASSERT_EQ(mode_of(block), mode);
            ASSERT_TRUE(unpack_bc7(block, got));
            expected_pixels(s, want);
            ASSERT_EQ(std::vector<uint8_t>(got, got + 64), std::vector<uint8_t>(want, want + 64)) << "case " << n;
        }
    }
}

TEST(Bc7RoundTrip, MesaDecodesOurBlocksLikeOurDecoder) {
    // Noise with alpha and a photograph: every mode the encoder writes, read by both decoders.
    Picture pic = load("-i " + testutil::shell_quote(testutil::testdata_photo("rocket.jpg")), 128, 64,
                       "crop=128:64:100:100,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
                       "a='if(gt(Y,31),255,clip(X*2+mod(X*X*7+Y*13,61),0,255))'");
    if (pic.rgba.empty()) return;
    std::vector<uint8_t> blocks;
    for (int q = 0; q < 3; q++) {
        const std::vector<uint8_t> b = encode(pic, kQualities[q]);
        blocks.insert(blocks.end(), b.begin(), b.end());
    }
    bool seen[8] = {};
    for (size_t k = 0; k < blocks.size() / 16; k++) seen[mode_of(&blocks[16 * k])] = true;
    EXPECT_TRUE(seen[1] && seen[5] && seen[6] && seen[7]);
    std::vector<uint8_t> gl;
    std::string why;
    ASSERT_TRUE(bc7_gl_oracle_decode(blocks, gl, why)) << why;
    for (size_t k = 0; k < blocks.size() / 16; k++) {
        uint8_t px[64];
        unpack_bc7(&blocks[16 * k], px);
        ASSERT_EQ(std::vector<uint8_t>(px, px + 64), std::vector<uint8_t>(&gl[64 * k], &gl[64 * k + 64]))
            << "block " << k << " mode " << mode_of(&blocks[16 * k]);
    }
}

}  // namespace
