// BC7 encoder to decoder: quality floors, opaque alpha, solid colours and agreement of our
// decoder with Mesa's on what the encoder writes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "container/bc7decomp/bc7decomp.h"
#include "tests/container/bc7_gl_oracle.h"
#include "testutil/testutil.h"
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
        {"testsrc2", "-f lavfi -i testsrc2=size=128x96", 128, 96, "", {35, 35, 35}, {0, 0, 0}},
        {"coffee photo", coffee, 160, 128, "crop=160:128:200:120", {43, 44, 44.5}, {0, 0, 0}},
        {"logo", "-i " + testutil::shell_quote(testutil::testdata_photo("logo.png")), 128, 128,
         "crop=128:128:180:180", {47, 48, 48.5}, {0, 0, 0}},
        {"coffee with alpha", coffee, 160, 128,
         "crop=160:128:200:120,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
         "a='if(lt(hypot(X-80,Y-64),40),255,clip(X*1.6,0,255))'",
         {40, 41, 41}, {40, 41, 41}},
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
                        ADD_FAILURE() << "opaque source decoded with alpha " << int(out[4 * i + 3]) << " at pixel " << i;
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

}  // namespace
