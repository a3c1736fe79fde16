#include "pipeline/filters/image_encode_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "container/node_test_util.h"
#include "media/error_of.h"
#include "pipeline/filters/frames_util.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;
using nodetest::Filter;
using nodetest::run_node;
using pipetest::Frame;

std::vector<uint8_t> output_bytes(const VideoFilter *f) {
    const VideoFrame *o = f->output;
    return std::vector<uint8_t>(o->data[0], o->data[0] + o->data_size[0]);
}

// The ffmpeg tool's reading of an image file: its pixel format and raw pixels.
struct Decoded {
    std::string pix_fmt;
    std::vector<uint8_t> pixels;
};

Decoded ffmpeg_read(const std::vector<uint8_t> &file, const std::string &name, const std::string &out_fmt) {
    testutil::TempDir dir;
    const std::string path = dir.file(name);
    testutil::write_file(path, file);
    Decoded d;
    const std::string ffprobe = testutil::require_tool("ffprobe");
    const auto probe = testutil::run_command(testutil::shell_quote(ffprobe) +
                                             " -v error -show_entries stream=codec_name,pix_fmt -of csv=p=0 " +
                                             testutil::shell_quote(path));
    d.pix_fmt = probe.output;
    while (!d.pix_fmt.empty() && (d.pix_fmt.back() == '\n' || d.pix_fmt.back() == '\r')) d.pix_fmt.pop_back();
    d.pixels = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), out_fmt);
    return d;
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v) b = uint8_t(rng());
    return v;
}

TEST(PngEncodeFilter, FfmpegReadsBackTheInputBytes) {
    const uint32_t w = 33, h = 17;
    struct Case {
        const char *name;
        PixFmt fmt;
        uint8_t channels, depth;
        uint32_t compression;
        const char *probe;   // codec and pixel format ffprobe reports
        const char *ff_out;  // raw format asked from the ffmpeg tool
    } cases[] = {
        {"rgba", PixFmt_RGBA8, 4, 8, 2, "png,rgba", "rgba"},
        {"rgbx as rgb", PixFmt_RGBX8, 3, 8, 0, "png,rgb24", "rgb24"},
        {"rgba as rgb", PixFmt_RGBA8, 3, 8, 1, "png,rgb24", "rgb24"},
        {"grey", PixFmt_Grey8, 1, 8, 1, "png,gray", "gray"},
        {"grey 16", PixFmt_Grey16, 1, 16, 2, "png,gray16be", "gray16be"},
        {"rgba 16", PixFmt_RGBA16, 4, 16, 0, "png,rgba64be", "rgba64be"},
        {"rgbx 16 as rgb", PixFmt_RGBX16, 3, 16, 2, "png,rgb48be", "rgb48be"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Frame in(w, h, c.fmt);
        const size_t in_row = size_t(w) * get_pix_descriptor(c.fmt).bytes_per_pixel[0];
        const auto pixels = random_bytes(in_row * h, 7);
        pipetest::fill_plane(in.f, 0, pixels.data(), in_row, h);
        in->frame_index = 12;
        Filter f(create_filter_png_encode({c.channels, c.depth, w, h, c.compression}));
        ASSERT_EQ(run_node(f.f, in.f), "");
        EXPECT_EQ(f.f->output->data_descriptor, VideoFramePngData);
        EXPECT_EQ(f.f->output->frame_index, 12u);
        const Decoded d = ffmpeg_read(output_bytes(f.f), "out.png", c.ff_out);
        EXPECT_EQ(d.pix_fmt, c.probe);
        // Expected file samples: the kept channels, 16-bit samples big-endian.
        const size_t sample = c.depth / 8;
        const size_t in_channels = in_row / w / sample;
        std::vector<uint8_t> want;
        for (size_t px = 0; px < size_t(w) * h; ++px)
            for (size_t ch = 0; ch < c.channels; ++ch)
                for (size_t b = 0; b < sample; ++b)
                    want.push_back(pixels[(px * in_channels + ch) * sample + (sample - 1 - b)]);
        EXPECT_EQ(d.pixels, want);
    }
}

TEST(PngEncodeFilter, SixteenBitSamplesAreStoredBigEndian) {
    Frame in(1, 1, PixFmt_Grey16);
    const uint16_t v = 0x0102;
    memcpy(in->data[0], &v, 2);
    Filter f(create_filter_png_encode({1, 16, 1, 1, 2}));
    ASSERT_EQ(run_node(f.f, in.f), "");
    const Decoded d = ffmpeg_read(output_bytes(f.f), "one.png", "gray16be");
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0x01, 0x02}));
}

TEST(PngEncodeFilter, RunsReplaceTheImageAndRefusals) {
    Filter f(create_filter_png_encode({4, 8, 0, 0, 2}));
    EXPECT_EQ(f.f->type, VideoFilterType_PngEncode);
    Frame first(8, 8, PixFmt_RGBA8), second(4, 2, PixFmt_RGBA8);
    memset(first->data[0], 1, first->data_size[0]);
    memset(second->data[0], 200, second->data_size[0]);
    ASSERT_EQ(run_node(f.f, first.f), "");
    ASSERT_EQ(run_node(f.f, second.f), "");
    const Decoded d = ffmpeg_read(output_bytes(f.f), "second.png", "rgba");
    EXPECT_EQ(d.pixels, std::vector<uint8_t>(4 * 2 * 4, 200));

    for (uint8_t channels : {0, 5}) {
        Filter bad(create_filter_png_encode({channels, 8, 0, 0, 2}));
        EXPECT_EQ(run_node(bad.f, first.f), "Invalid channel count");
        EXPECT_EQ(bad.f->output->data_size[0], 0u);
    }
    // Rows that the plane cannot hold are refused before libpng reads them.
    Filter deep(create_filter_png_encode({4, 16, 0, 0, 2}));
    Frame packed(8, 8, PixFmt_RGBA8, 0);  // 32-byte lines: half the 16-bit row
    EXPECT_EQ(run_node(deep.f, packed.f), "Invalid input frame size");
    Frame cut(8, 8, PixFmt_RGBA8, 0);
    cut->data_size[0] -= 1;
    EXPECT_EQ(run_node(f.f, cut.f), "Invalid input frame size");
    EXPECT_EQ(f.f->output->data_size[0], 0u);  // the previous image is gone
}

TEST(JpegEncodeFilter, QualityBoundsAndBottomUpPlanes) {
    const uint32_t w = 48, h = 32;
    Frame in(w, h, PixFmt_RGBX8);
    const auto pixels = random_bytes(size_t(w) * h * 4, 3);
    pipetest::fill_plane(in.f, 0, pixels.data(), w * 4, h);
    auto encode = [&](uint32_t quality, VideoFrame *frame) {
        Filter f(create_filter_jpeg_encode({w, h, quality}));
        EXPECT_EQ(run_node(f.f, frame), "");
        EXPECT_EQ(f.f->output->data_descriptor, VideoFrameJpegData);
        return output_bytes(f.f);
    };
    EXPECT_EQ(encode(0, in.f), encode(1, in.f));
    EXPECT_EQ(encode(250, in.f), encode(100, in.f));
    EXPECT_NE(encode(1, in.f), encode(100, in.f));

    // The same picture stored bottom-up (negative line size) encodes to the same file.
    Frame flipped(w, h, PixFmt_RGBX8);
    for (uint32_t y = 0; y < h; ++y)
        memcpy(flipped->data[0] + (h - 1 - y) * flipped->linesize[0], pixels.data() + y * w * 4, w * 4);
    uint8_t *planes[4] = {flipped->data[0] + (h - 1) * flipped->linesize[0], nullptr, nullptr, nullptr};
    const int64_t lines[4] = {-flipped->linesize[0], 0, 0, 0};
    Frame view;
    video_frame_set_external_planes(view.f, planes, lines, w, h, PixFmt_RGBX8);
    EXPECT_EQ(encode(90, view.f), encode(90, in.f));
}

TEST(JpegEncodeFilter, RefusalsAndCompressorFailure) {
    Filter f(create_filter_jpeg_encode({16, 16, 90}));
    EXPECT_EQ(f.f->type, VideoFilterType_JpegEncode);
    Frame yuv(16, 16, PixFmt_YUV420);
    EXPECT_EQ(run_node(f.f, yuv.f), "Encode Jpeg : unsupported pix fmt");
    Frame small(16, 15, PixFmt_RGBA8);
    EXPECT_EQ(run_node(f.f, small.f), "Invalid input frame size");
    // A size the compressor refuses is an error, not an empty image.
    std::vector<uint8_t> buffer(64 * 8);
    uint8_t *planes[4] = {buffer.data(), nullptr, nullptr, nullptr};
    const int64_t lines[4] = {64, 0, 0, 0};
    Frame empty;
    video_frame_set_external_planes(empty.f, planes, lines, 0, 8, PixFmt_RGBA8);
    Filter zero(create_filter_jpeg_encode({0, 8, 90}));
    EXPECT_EQ(run_node(zero.f, empty.f), "Fail to encode jpeg");
    EXPECT_EQ(zero.f->output->data_size[0], 0u);
}

// A photo of the shared test data through the node: mjpeg 4:2:0 that the ffmpeg tool decodes
// close to the source.
TEST(JpegEncodeFilter, PhotoDecodesInFfmpeg) {
    const uint32_t w = 320, h = 240;
    const auto rgba = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(testutil::testdata_photo("chelsea.png")),
                                                 "rgba", "scale=320:240");
    ASSERT_EQ(rgba.size(), size_t(w) * h * 4);
    Frame in(w, h, PixFmt_RGBA8);
    pipetest::fill_plane(in.f, 0, rgba.data(), w * 4, h);
    Filter f(create_filter_jpeg_encode({w, h, 90}));
    ASSERT_EQ(run_node(f.f, in.f), "");
    const Decoded d = ffmpeg_read(output_bytes(f.f), "photo.jpg", "rgba");
    EXPECT_EQ(d.pix_fmt, "mjpeg,yuvj420p");
    ASSERT_EQ(d.pixels.size(), rgba.size());
    EXPECT_GT(testutil::psnr8(d.pixels.data(), rgba.data(), size_t(w) * h, 4, 3), 32.0);
}

}  // namespace
