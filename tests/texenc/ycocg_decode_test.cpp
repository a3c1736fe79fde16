// HAP Q textures read back by a decoder written here from the public scaled-YCoCg rules:
// a DXT5 block whose alpha is Y, whose red and green carry Co and Cg magnified by a scale
// stored in blue ((blue * 255/8) + 1), with 0.5 * 256/255 as zero chroma.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testutil/testutil.h"
#include "texenc/dxtenc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Eight-value (a0 > a1) or six-value palette of a DXT5 alpha / RGTC1 block.
void alpha_palette(uint8_t a0, uint8_t a1, int *p)
{
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

void decode_alpha_block(const uint8_t *blk, int *out16)
{
    int p[8];
    alpha_palette(blk[0], blk[1], p);
    uint64_t bits = 0;
    for (int i = 0; i < 6; i++) bits |= uint64_t(blk[2 + i]) << (8 * i);
    for (int i = 0; i < 16; i++) out16[i] = p[(bits >> (3 * i)) & 7];
}

// One scaled-YCoCg block to 16 RGB pixels.
void decode_ycocg_block(const uint8_t *blk, uint8_t (*rgb)[3])
{
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
Bytes decode_ycocg(const uint8_t *tex, uint32_t w, uint32_t h)
{
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

Bytes decode_rgtc1(const uint8_t *tex, uint32_t w, uint32_t h)
{
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

Bytes encode(const Bytes &rgba, uint32_t w, uint32_t h, uint32_t codec, int quality, uint32_t isa)
{
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(w), uint16_t(h), codec, uint8_t(quality), 1, DXTENC_PIX_RGBA8, 0, 4, isa),
              0);
    Bytes out(dxtenc_encoded_size(uint16_t(w), uint16_t(h), codec, 0));
    const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {int64_t(w) * 4, 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

struct Picture {
    const char *name;
    std::string input;
    uint32_t w, h;
    double floor_db[3];  // RGB PSNR floor at qualities 1, 2, 3 (measured 36.65/37.26/38.85, 39.54/39.59/39.90)
};

TEST(YcocgDecode, IndependentDecoderMeetsQualityFloors)
{
    // Odd sizes exercise the edge blocks; the alpha is a diagonal ramp for codec 5.
    const Picture pictures[] = {
        {"testsrc2", "-f lavfi -i testsrc2=size=318x178:rate=1", 318, 178, {36.0, 36.7, 38.3}},
        {"coffee", "-i " + testutil::shell_quote(testutil::testdata_photo("coffee.png")), 0, 0, {39.0, 39.1, 39.4}},
    };
    for (const Picture &pic : pictures) {
        uint32_t w = pic.w, h = pic.h;
        std::string input = pic.input;
        if (w == 0) {
            // Photos: a fixed crop keeps the test quick whatever the file's size.
            w = 254, h = 190;
        }
        const std::string vf = pic.w == 0 ? "crop=" + std::to_string(w) + ":" + std::to_string(h) + ":0:0" : "";
        Bytes rgba = testutil::ffmpeg_raw_frame(input, "rgba", vf);
        ASSERT_EQ(rgba.size(), size_t(w) * h * 4) << pic.name;
        for (uint32_t y = 0; y < h; y++)
            for (uint32_t x = 0; x < w; x++) rgba[(size_t(y) * w + x) * 4 + 3] = uint8_t((x + y) * 255 / (w + h));
        const size_t n = size_t(w) * h;
        double prev = 0;
        for (int q = 1; q <= 3; q++) {
            for (uint32_t codec : {4u, 5u}) {
                SCOPED_TRACE(testing::Message() << pic.name << " q" << q << " codec " << codec);
                Bytes tex = encode(rgba, w, h, codec, q, 0);
                const size_t tex1 = size_t((w + 3) / 4) * ((h + 3) / 4) * 16;
                ASSERT_EQ(tex.size(), codec == 5 ? tex1 + tex1 / 2 : tex1);
                Bytes dec = decode_ycocg(tex.data(), w, h);
                const double psnr = testutil::psnr8(rgba.data(), dec.data(), n, 4, 3);
                EXPECT_GT(psnr, pic.floor_db[q - 1]);
                if (codec == 4) {
                    // A slower quality never loses to a faster one on a whole picture.
                    EXPECT_GE(psnr, prev - 0.01);
                    prev = psnr;
                } else {
                    // The alpha texture follows the YCoCg texture.
                    Bytes alpha(n);
                    for (size_t i = 0; i < n; i++) alpha[i] = rgba[4 * i + 3];
                    Bytes a = decode_rgtc1(tex.data() + tex1, w, h);
                    EXPECT_GT(testutil::psnr8(alpha.data(), a.data(), n), 40.0);
                    // ... and leaves the YCoCg texture as codec 4 writes it.
                    Bytes t4 = encode(rgba, w, h, 4, q, 0);
                    EXPECT_EQ(0, std::memcmp(t4.data(), tex.data(), tex1));
                }
            }
        }
    }
}

}  // namespace
