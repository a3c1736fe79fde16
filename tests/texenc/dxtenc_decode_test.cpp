// Our textures read back by an independent decoder: the ffmpeg tool decodes DXT1, DXT5
// and RGTC1 (ATI1) wrapped in a DDS header.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testutil/testutil.h"
#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;

using testutil::dds_file;

// Decoded RGBA8 of the DDS file (ffmpeg's own size: the visible w x h).
Bytes ffmpeg_decode(const testutil::TempDir &dir, const Bytes &dds, uint32_t w, uint32_t h) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    if (ffmpeg.empty()) return {};
    const std::string path = dir.file("t.dds");
    testutil::write_file(path, dds);
    auto r = testutil::run_command(testutil::shell_quote(ffmpeg) + " -v error -nostdin -i " +
                                   testutil::shell_quote(path) + " -f rawvideo -pix_fmt rgba - 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.size(), size_t(w) * h * 4);
    return Bytes(r.output.begin(), r.output.end());
}

Bytes encode(const Bytes &rgba, uint32_t w, uint32_t h, uint32_t codec, uint32_t fmt, uint32_t isa, uint32_t threads,
             int quality = 1) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(w), uint16_t(h), codec, uint8_t(quality), 1, fmt, 0, threads, isa), 0);
    Bytes out(dxtenc_encoded_size(uint16_t(w), uint16_t(h), codec, 0));
    const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {int64_t(w) * 4, 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

TEST(DxtDecode, FfmpegReadsOurTexturesAboveAQualityFloor) {
    testutil::TempDir dir;
    struct Size {
        uint32_t w, h;
        double rgb_floor_db;  // testsrc2's sharp text costs more on small pictures
    };
    struct Codec {
        uint32_t codec;
        int quality;
        const char *fourcc;
    };
    const Codec codecs[] = {{0, 1, "DXT1"}, {1, 1, "DXT5"}, {3, 1, "ATI1"}, {0, 2, "DXT1"},
                            {0, 3, "DXT1"}, {1, 2, "DXT5"}, {1, 3, "DXT5"}};
    // Measured: 38.2 dB and 35.3 dB on RGB; the alpha ramp above 40 dB.
    for (Size s : {Size{1918, 1078, 36.0}, Size{254, 126, 33.0}}) {
        const std::string input =
            "-f lavfi -i testsrc2=size=" + std::to_string(s.w) + "x" + std::to_string(s.h) + ":rate=1";
        // Alpha: a smooth horizontal ramp, so DXT5 and RGTC1 have something to fit.
        Bytes rgba = testutil::ffmpeg_raw_frame(input, "rgba");
        ASSERT_EQ(rgba.size(), size_t(s.w) * s.h * 4);
        for (uint32_t y = 0; y < s.h; y++)
            for (uint32_t x = 0; x < s.w; x++) rgba[(size_t(y) * s.w + x) * 4 + 3] = uint8_t(x * 255 / s.w);
        double fast_db = 0;
        for (const Codec &c : codecs) {
            for (uint32_t isa : {0u, 0xF8u}) {
                // The tiers are compared block by block elsewhere; the cluster fit is slow.
                if (s.w > 1000 && (isa == 0 || c.quality > 1)) continue;
                SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " " << c.fourcc << " quality " << c.quality
                                                << " isa 0x" << std::hex << isa);
                Bytes tex = encode(rgba, s.w, s.h, c.codec, DXTENC_PIX_RGBA8, isa, 4, c.quality);
                Bytes dec = ffmpeg_decode(dir, dds_file(s.w, s.h, c.fourcc, tex), s.w, s.h);
                ASSERT_EQ(dec.size(), rgba.size());
                const size_t n = size_t(s.w) * s.h;
                if (c.codec == 3) {
                    // The single channel comes back as grey in R, G and B.
                    Bytes alpha(n), grey(n);
                    for (size_t i = 0; i < n; i++) alpha[i] = rgba[4 * i + 3], grey[i] = dec[4 * i];
                    EXPECT_GT(testutil::psnr8(alpha.data(), grey.data(), n), 40.0);
                } else {
                    const double db = testutil::psnr8(rgba.data(), dec.data(), n, 4, 3);
                    EXPECT_GT(db, s.rgb_floor_db);
                    // The slower qualities stay close to the fast one on this synthetic picture.
                    if (c.quality == 1)
                        fast_db = db;
                    else
                        EXPECT_GT(db, fast_db - 0.5);
                    if (c.codec == 1) {
                        Bytes a0(n), a1(n);
                        for (size_t i = 0; i < n; i++) a0[i] = rgba[4 * i + 3], a1[i] = dec[4 * i + 3];
                        EXPECT_GT(testutil::psnr8(a0.data(), a1.data(), n), 40.0);
                    }
                }
            }
        }
    }
}

TEST(DxtDecode, SolidBlocksDecodeExactly) {
    testutil::TempDir dir;
    // Every 4x4 block a different solid colour (and alpha): DXT1/DXT5 colours decode to the
    // values the single-colour tables code, DXT5 alpha and RGTC1 to the source values.
    const uint32_t w = 64, h = 64;
    Bytes rgba(w * h * 4);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
            const uint32_t b = (y / 4) * 16 + x / 4;
            uint8_t *p = &rgba[(y * w + x) * 4];
            p[0] = uint8_t(b * 37), p[1] = uint8_t(b * 91 + 5), p[2] = uint8_t(255 - b), p[3] = uint8_t(b);
        }
    for (uint32_t codec : {0u, 1u, 3u}) {
        SCOPED_TRACE(codec);
        const char *fourcc = codec == 0 ? "DXT1" : codec == 1 ? "DXT5" : "ATI1";
        Bytes dec = ffmpeg_decode(dir, dds_file(w, h, fourcc, encode(rgba, w, h, codec, 3, 0, 1)), w, h);
        ASSERT_EQ(dec.size(), rgba.size());
        // The 2/3 : 1/3 point of a single-colour pair. FFmpeg interpolates on the 5/6-bit
        // values before expanding them, so it may land a little off the exact point.
        auto off_coded = [](const DxtSingleColorEntry *lut, int v, bool six, int got) {
            const int o = six ? 32 : 0;
            return std::abs(got - (2 * dxt_expand_table[o + lut[v].high] + dxt_expand_table[o + lut[v].low]) / 3);
        };
        int worst = 0;
        for (size_t i = 0; i < size_t(w) * h; i++) {
            // Every pixel of a solid block decodes to the block's first pixel.
            const size_t first = (i / w / 4 * 4) * w + (i % w) / 4 * 4;
            for (int c = 0; c < 4; c++) ASSERT_EQ(dec[4 * i + c], dec[4 * first + c]) << i;
            if (codec == 3) {
                ASSERT_EQ(dec[4 * i], rgba[4 * i + 3]) << i;
                continue;
            }
            worst = std::max(worst, off_coded(dxt_single_color_lut5, rgba[4 * i], false, dec[4 * i]));
            worst = std::max(worst, off_coded(dxt_single_color_lut6, rgba[4 * i + 1], true, dec[4 * i + 1]));
            worst = std::max(worst, off_coded(dxt_single_color_lut5, rgba[4 * i + 2], false, dec[4 * i + 2]));
            if (codec == 1) { ASSERT_EQ(dec[4 * i + 3], rgba[4 * i + 3]) << i; }
        }
        EXPECT_LE(worst, 1);
    }
}

}  // namespace
