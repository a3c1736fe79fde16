// HAP Q textures read back by the independent decoder of ycocg_test_decoder.h.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testutil/testutil.h"
#include "texenc/dxtenc.h"
#include "texenc/ycocg_test_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ycocg_test::decode_rgtc1;
using ycocg_test::decode_ycocg;

Bytes encode(const Bytes &rgba, uint32_t w, uint32_t h, uint32_t codec, int quality, uint32_t isa) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(w), uint16_t(h), codec, uint8_t(quality), 1, DXTENC_PIX_RGBA8, 0, 4, isa), 0);
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
    double floor_db[3];  // RGB PSNR floor at qualities 1, 2, 3 (measured 36.65/40.16/41.64, 39.54/39.64/39.95)
};

TEST(YcocgDecode, IndependentDecoderMeetsQualityFloors) {
    // Odd sizes exercise the edge blocks; the alpha is a diagonal ramp for codec 5.
    const Picture pictures[] = {
        // Its saturated two-colour edges lie on both diagonals of the chroma plane.
        {"testsrc2", "-f lavfi -i testsrc2=size=318x178:rate=1", 318, 178, {36.0, 39.5, 41.0}},
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
