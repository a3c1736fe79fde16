#include "pipeline/image/image_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "media/error_of.h"
#include "pipeline/image/image_test_util.h"

namespace {

struct Node {
    VideoFilter *f = nullptr;
    ~Node() { video_filter_free(f); }
};

// A compressed-sample frame over the file's bytes.
struct Sample {
    std::vector<uint8_t> bytes;
    VideoFrame frame;
    Sample(std::vector<uint8_t> b, VideoFrameDataDescriptor d) : bytes(std::move(b)) {
        video_frame_init(&frame);
        bytes.resize(bytes.size() + 64);
        video_frame_set_compressed_data(&frame, bytes.data(), uint32_t(bytes.size() - 64), d);
        frame.frame_index = 17;
    }
};

std::string run(VideoFilter *f, Sample &s) {
    VideoFrame *inputs[1] = {&s.frame};
    f->inputs[0] = inputs[0];
    testing::internal::CaptureStdout();
    std::string e = mediatest::error_of([&] { f->process(f); });
    testing::internal::GetCapturedStdout();
    return e;
}

// Compares the node's 4-byte pixels with the tool's raw decode; `bytes_per_channel` 1 or 2.
void expect_pixels(const VideoFrame *out, const std::vector<uint8_t> &raw, uint32_t w, uint32_t h,
                   uint32_t bytes_per_channel, int max_diff = 0) {
    const size_t row = size_t(w) * 4 * bytes_per_channel;
    ASSERT_EQ(raw.size(), row * h);
    int worst = 0;
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t *a = out->data[0] + y * out->linesize[0];
        const uint8_t *b = raw.data() + y * row;
        for (size_t i = 0; i < row; i++) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    EXPECT_LE(worst, max_diff);
}

TEST(PngDecode, PixelsEqualTheToolsDecode) {
    testutil::TempDir dir;
    struct Case {
        const char *pix_fmt;
        const char *vf;
        PixFmt out;
        const char *raw;  // the tool's decode in the node's layout
        bool alpha_expected;
        const char *message;
    } cases[] = {
        {"rgba", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, "rgba", true, ""},
        {"rgba", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, "rgba", false,
         "Alpha channel mismatch (Alpha found)"},
        {"rgb24", "", PixFmt_RGBX8, "rgba", false, ""},
        {"rgb24", "", PixFmt_RGBA8, "rgba", true, "Alpha channel mismatch (No alpha found)"},
        {"gray", "", PixFmt_RGBX8, "rgba", false, ""},
        {"ya8", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, "rgba", true, ""},
        {"pal8", "", PixFmt_RGBX8, "rgba", false, ""},
        {"pal8", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, "rgba", false, ""},  // tRNS: no warning
        {"rgb48be", "", PixFmt_RGBA16, "rgba64le", false, ""},                              // alpha 65535
        {"rgba64be", "format=rgba64le", PixFmt_RGBX16, "rgba64le", true, ""},
        {"rgb24", "", PixFmt_RGBA16, "rgba", false, ""},   // 8 bits widened: v x 257
        {"rgb48be", "", PixFmt_RGBX8, "rgba", false, ""},  // 16 bits cut: one step from the tool's rounding
        {"monob", "", PixFmt_RGBX8, "rgba", false, ""},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pix_fmt) + " -> " + get_pix_fmt_name(c.out) + " " + c.vf);
        const std::string path = dir.file(std::to_string(n++) + ".png");
        ASSERT_TRUE(imagetest::make_image(path, "37x21", c.pix_fmt, c.vf));
        const std::vector<uint8_t> raw = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), c.raw);
        Node node;
        node.f = create_filter_png_decode(ImageDecodeParams{37, 21, c.out, c.alpha_expected});
        Sample s(testutil::read_file(path), VideoFramePngData);
        ASSERT_EQ(run(node.f, s), "");
        EXPECT_STREQ(node.f->message, c.message);
        EXPECT_EQ(node.f->output->frame_index, 17u);
        EXPECT_EQ(node.f->output->linesize[0] % 64, 0);
        const bool out16 = c.out == PixFmt_RGBA16 || c.out == PixFmt_RGBX16;
        if (out16 && strcmp(c.raw, "rgba") == 0) {
            // Widened samples: both bytes equal the 8-bit value (the tool's own widening is
            // not exact, so its 8-bit decode is the reference).
            const VideoFrame *out = node.f->output;
            int bad = 0;
            for (uint32_t y = 0; y < 21; y++)
                for (uint32_t i = 0; i < 37 * 4; i++) {
                    const uint8_t *v = out->data[0] + y * out->linesize[0] + 2 * i;
                    bad += v[0] != raw[y * 37 * 4 + i] || v[1] != raw[y * 37 * 4 + i];
                }
            EXPECT_EQ(bad, 0);
        } else {
            expect_pixels(node.f->output, raw, 37, 21, out16 ? 2 : 1, strcmp(c.pix_fmt, "rgb48be") == 0 && !out16);
        }
    }
}

TEST(PngDecode, Refusals) {
    testutil::TempDir dir;
    const std::string path = dir.file("a.png");
    ASSERT_TRUE(imagetest::make_image(path, "16x8", "rgb24"));
    std::vector<uint8_t> png = testutil::read_file(path);
    EXPECT_EQ(mediatest::error_of([] {
                  create_filter_png_decode(ImageDecodeParams{0, 8, PixFmt_RGBA8, 0});
              }),
              "Invalid decoding resolution");
    EXPECT_EQ(mediatest::error_of([] {
                  create_filter_png_decode(ImageDecodeParams{16, 8, PixFmt_RGB8, 0});
              }),
              "Invalid out pix fmt");
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t width;
        VideoFrameDataDescriptor d;
        const char *error;
        uint32_t flags;
    } cases[] = {
        {std::vector<uint8_t>(png.begin(), png.begin() + 7), 16, VideoFramePngData,
         "Failed to read png (Invalid filesize (< 8))", VideoFrameError_Corrupt},
        {std::vector<uint8_t>(20, 'x'), 16, VideoFramePngData, "Failed to read png (Not a png file)",
         VideoFrameError_Corrupt},
        {png, 16, VideoFrameJpegData, "Invalid data descriptor", 0},
        {png, 18, VideoFramePngData, "Fail to decode png image (Resolution mismatch)",
         VideoFrameError_InvalidResolution},
        {std::vector<uint8_t>(png.begin(), png.end() - 30), 16, VideoFramePngData, "Error reading png file",
         VideoFrameError_Corrupt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        Node node;
        node.f = create_filter_png_decode(ImageDecodeParams{c.width, 8, PixFmt_RGBA8, 0});
        Sample s(c.bytes, c.d);
        EXPECT_EQ(run(node.f, s), c.error);
        EXPECT_EQ(node.f->output->error_flags, c.flags);
    }
}

TEST(TiffDecode, PixelsEqualTheToolsDecode) {
    testutil::TempDir dir;
    struct Case {
        const char *pix_fmt;
        const char *vf;
        PixFmt out;
        bool alpha_expected;
        const char *message;
    } cases[] = {
        {"rgb24", "", PixFmt_RGBX8, false, ""},
        {"rgba", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, true, ""},
        {"rgba", "format=rgba,colorchannelmixer=aa=0.5", PixFmt_RGBA8, false, "Alpha channel mismatch (Alpha found)"},
        {"rgb24", "", PixFmt_RGBA8, true, "Alpha channel mismatch (No alpha found)"},
        {"gray", "", PixFmt_RGBX8, false, ""},
        {"rgb48le", "", PixFmt_RGBX8, false, ""},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pix_fmt) + " " + c.vf + " " + c.message);
        const std::string path = dir.file(std::to_string(n++) + ".tif");
        ASSERT_TRUE(imagetest::make_image(path, "37x21", c.pix_fmt, c.vf));
        const std::vector<uint8_t> raw = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "rgba");
        Node node;
        node.f = create_filter_tiff_decode(ImageDecodeParams{37, 21, c.out, c.alpha_expected});
        Sample s(testutil::read_file(path), VideoFrameTiffData);
        ASSERT_EQ(run(node.f, s), "");
        EXPECT_STREQ(node.f->message, c.message);
        EXPECT_EQ(node.f->output->linesize[0], 37 * 4);
        // libtiff's RGBA reader premultiplies unassociated alpha: (c x a + 127) / 255.
        std::vector<uint8_t> expected = raw;
        if (strcmp(c.pix_fmt, "rgba") == 0)
            for (size_t i = 0; i < expected.size(); i += 4)
                for (int ch = 0; ch < 3; ch++) expected[i + ch] = uint8_t((raw[i + ch] * raw[i + 3] + 127) / 255);
        // 16-bit samples reach 8 bits by libtiff's cut and the tool's rounding: one step apart.
        expect_pixels(node.f->output, expected, 37, 21, 1, strcmp(c.pix_fmt, "rgb48le") == 0 ? 1 : 0);
    }
    Node node;
    node.f = create_filter_tiff_decode(ImageDecodeParams{36, 21, PixFmt_RGBA8, 0});
    Sample s(testutil::read_file(dir.file("0.tif")), VideoFrameTiffData);
    EXPECT_EQ(run(node.f, s), "Fail to decode tiff image (Resolution mismatch)");
    Sample empty(std::vector<uint8_t>(), VideoFrameTiffData);
    EXPECT_EQ(run(node.f, empty), "Empty data");
    Sample junk(std::vector<uint8_t>(100, 'x'), VideoFrameTiffData);
    EXPECT_EQ(run(node.f, junk), "Fail to decode tiff (Invalid file)");
    EXPECT_EQ(mediatest::error_of([] {
                  create_filter_tiff_decode(ImageDecodeParams{8, 8, PixFmt_RGBA16, 0});
              }),
              "Invalid out pix fmt");
}

// Pictures stored bottom-up come out top row first.
TEST(TiffDecode, BottomUpPicturesComeOutTopRowFirst) {
    testutil::TempDir dir;
    for (uint16_t orientation : {ORIENTATION_TOPLEFT, ORIENTATION_BOTLEFT}) {
        SCOPED_TRACE(orientation);
        const std::string path = dir.file(std::to_string(orientation) + ".tif");
        ASSERT_TRUE(imagetest::make_tiff(path, 5, 4, 3, 8, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, orientation));
        Node node;
        node.f = create_filter_tiff_decode(ImageDecodeParams{5, 4, PixFmt_RGBX8, 0});
        Sample s(testutil::read_file(path), VideoFrameTiffData);
        ASSERT_EQ(run(node.f, s), "");
        const VideoFrame *out = node.f->output;
        for (uint32_t y = 0; y < 4; y++) {
            const uint32_t stored = orientation == ORIENTATION_BOTLEFT ? 3 - y : y;
            EXPECT_EQ(out->data[0][y * out->linesize[0] + 4], uint8_t(3 * 13 + stored * 7)) << y;  // G of pixel 1
        }
    }
}

TEST(JpegDecode, CloseToTheToolsDecode) {
    testutil::TempDir dir;
    // TurboJPEG's fast DCT and smooth chroma upsampling against FFmpeg's decoder and
    // scaler (nearest chroma): on a softened testsrc2 the measured worst channel
    // differences stay within these bounds.
    struct Case {
        const char *pix_fmt;
        int max_diff;
    } cases[] = {{"yuvj444p", 6}, {"yuvj420p", 40}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pix_fmt);
        const std::string path = dir.file(std::string(c.pix_fmt) + ".jpg");
        ASSERT_TRUE(imagetest::make_image(path, "64x48", c.pix_fmt, "gblur=sigma=2"));
        const std::vector<uint8_t> raw = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "rgb24");
        Node node;
        node.f = create_filter_jpeg_decode(64, 48);
        Sample s(testutil::read_file(path), VideoFrameJpegData);
        ASSERT_EQ(run(node.f, s), "");
        const VideoFrame *out = node.f->output;
        ASSERT_EQ(raw.size(), 64u * 48 * 3);
        int worst = 0;
        double err = 0;
        for (uint32_t y = 0; y < 48; y++)
            for (uint32_t x = 0; x < 64; x++)
                for (int ch = 0; ch < 3; ch++) {
                    int d = std::abs(int(out->data[0][y * out->linesize[0] + x * 4 + ch]) -
                                     int(raw[(y * 64 + x) * 3 + ch]));
                    worst = std::max(worst, d);
                    err += d * d;
                }
        const double psnr = 10 * std::log10(255.0 * 255.0 / (err / (64 * 48 * 3) + 1e-9));
        printf("%s: worst %d, PSNR %.1f dB\n", c.pix_fmt, worst, psnr);
        EXPECT_LE(worst, c.max_diff);
        EXPECT_GE(psnr, 32.0);
    }
    // A channel swap is far outside those bounds.
    const std::string path = dir.file("yuvj444p.jpg");
    const std::vector<uint8_t> raw = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "bgr24");
    Node node;
    node.f = create_filter_jpeg_decode(64, 48);
    Sample s(testutil::read_file(path), VideoFrameJpegData);
    ASSERT_EQ(run(node.f, s), "");
    int worst = 0;
    for (uint32_t i = 0; i < 64 * 48; i++)
        worst = std::max(worst,
                         std::abs(int(node.f->output->data[0][(i / 64) * node.f->output->linesize[0] + (i % 64) * 4]) -
                                  int(raw[i * 3])));
    EXPECT_GT(worst, 40);
}

TEST(JpegDecode, CmykWarningAndRefusals) {
    const std::vector<uint8_t> cmyk = imagetest::turbojpeg_image(24, 16, TJPF_CMYK, TJSAMP_444);
    ASSERT_FALSE(cmyk.empty());
    Node node;
    node.f = create_filter_jpeg_decode(24, 16);
    Sample s(cmyk, VideoFrameJpegData);
    EXPECT_EQ(run(node.f, s), "");
    EXPECT_STREQ(node.f->message, "CMYK file. Colors can be inaccurate");
    EXPECT_EQ(node.f->output->pix_fmt, PixFmt_RGBX8);

    Node small;
    small.f = create_filter_jpeg_decode(24, 18);
    EXPECT_EQ(run(small.f, s), "Fail to decode jpeg image (Resolution mismatch)");
    EXPECT_EQ(small.f->output->error_flags, VideoFrameError_InvalidResolution);
    Sample junk(std::vector<uint8_t>(50, 'x'), VideoFrameJpegData);
    EXPECT_EQ(run(small.f, junk), "Fail to decode jpeg image (Not a valid jpeg file, corrupt header)");
    EXPECT_EQ(small.f->output->error_flags, VideoFrameError_Corrupt);
    Sample cut(std::vector<uint8_t>(cmyk.begin(), cmyk.begin() + cmyk.size() / 2), VideoFrameJpegData);
    EXPECT_EQ(run(node.f, cut), "Fail to decode jpeg image (Corrupt data)");
    EXPECT_EQ(node.f->output->error_flags, VideoFrameError_Corrupt);
    EXPECT_EQ(mediatest::error_of([] { create_filter_jpeg_decode(0, 4); }), "Invalid decoding resolution");
}

// Every truncation of valid pictures fails with a message or decodes; never a crash.
TEST(ImageDecode, TruncatedPicturesFailCleanly) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        const char *pix_fmt;
        VideoFrameDataDescriptor d;
    } cases[] = {{"a.png", "rgba", VideoFramePngData},
                 {"a.jpg", "yuvj420p", VideoFrameJpegData},
                 {"a.tif", "rgba", VideoFrameTiffData}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(imagetest::make_image(dir.file(c.name), "19x7", c.pix_fmt));
        const std::vector<uint8_t> whole = testutil::read_file(dir.file(c.name));
        Node node;
        node.f = c.d == VideoFramePngData    ? create_filter_png_decode(ImageDecodeParams{19, 7, PixFmt_RGBA8, 1})
                 : c.d == VideoFrameJpegData ? create_filter_jpeg_decode(19, 7)
                                             : create_filter_tiff_decode(ImageDecodeParams{19, 7, PixFmt_RGBA8, 1});
        for (size_t n = 0; n < whole.size(); n++) {
            Sample s(std::vector<uint8_t>(whole.begin(), whole.begin() + n), c.d);
            run(node.f, s);
        }
    }
}

}  // namespace
