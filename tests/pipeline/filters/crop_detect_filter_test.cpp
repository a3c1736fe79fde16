#include "pipeline/filters/crop_detect_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
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

CropDetectParams detect(PixFmt fmt, uint8_t align = 0, uint8_t write_back = 0, uint32_t need_mode = 0) {
    return CropDetectParams{1, align, 0, need_mode, uint32_t(fmt), write_back};
}

// Writes the alpha sample of pixel (x, y) for the layouts the node measures.
void set_alpha(VideoFrame *f, uint32_t x, uint32_t y, double a) {
    switch (f->pix_fmt) {
    case PixFmt_RGBA8: f->data[0][y * f->linesize[0] + 4 * x + 3] = uint8_t(a); break;
    case PixFmt_RGBA16: {
        const uint16_t v = uint16_t(a);
        memcpy(f->data[0] + y * f->linesize[0] + 8 * x + 6, &v, 2);
        break;
    }
    case PixFmt_RGBA32F: {
        const float v = float(a);
        memcpy(f->data[0] + y * f->linesize[0] + 16 * x + 12, &v, 4);
        break;
    }
    case PixFmt_PlanarRGBA32F: {
        const float v = float(a);
        memcpy(f->data[3] + y * f->linesize[3] + 4 * x, &v, 4);
        break;
    }
    case PixFmt_PlanarRGBA16:
    case PixFmt_YUVA444_10:
    case PixFmt_YUVA444_12: {
        const uint16_t v = uint16_t(a);
        memcpy(f->data[3] + y * f->linesize[3] + 2 * x, &v, 2);
        break;
    }
    default: f->data[3][y * f->linesize[3] + x] = uint8_t(a); break;
    }
}

// A frame of opaque pixels (alpha `full`) with transparent margins.
void fill_with_margins(VideoFrame *f, double full, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
    for (uint32_t y = 0; y < f->height; ++y)
        for (uint32_t x = 0; x < f->width; ++x) {
            const bool clear = x < left || y < top || x >= f->width - right || y >= f->height - bottom;
            set_alpha(f, x, y, clear ? 0 : full);
        }
}

struct Expect {
    uint8_t empty, found;
    uint32_t left, top, right, bottom;
};

void expect_result(const VideoFilter *f, const Expect &e) {
    const CropDetectResult *r = crop_detect_get_result(f);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->empty, e.empty);
    EXPECT_EQ(r->found, e.found);
    EXPECT_EQ(r->left, e.left);
    EXPECT_EQ(r->top, e.top);
    EXPECT_EQ(r->right, e.right);
    EXPECT_EQ(r->bottom, e.bottom);
    EXPECT_EQ(r->reserved, 0);
}

TEST(CropDetectFilter, BordersPerLayoutAndAlignment) {
    struct Case {
        const char *name;
        PixFmt fmt;
        uint32_t w, h;
        uint8_t align;
        uint32_t margins[4];  // left, top, right, bottom made transparent
        Expect expect;
        std::function<void(VideoFrame *)> extra;
    } cases[] = {
        {"opaque", PixFmt_RGBA8, 1920, 1080, 1, {0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, nullptr},
        {"top 100 rows", PixFmt_RGBA8, 1920, 1080, 1, {0, 100, 0, 0}, {0, 1, 0, 100, 0, 0}, nullptr},
        {"all transparent", PixFmt_RGBA8, 64, 32, 0, {64, 0, 0, 0}, {1, 0, 0, 0, 0, 0}, nullptr},
        {"1918 wide, right 3, aligned", PixFmt_RGBA8, 1918, 8, 1, {0, 0, 3, 0}, {0, 1, 0, 0, 2, 0}, nullptr},
        {"1920 wide, right 3, aligned", PixFmt_RGBA8, 1920, 8, 1, {0, 0, 3, 0}, {0, 0, 0, 0, 0, 0}, nullptr},
        {"1920 wide, left 5 right 3, aligned", PixFmt_RGBA8, 1920, 8, 1, {5, 0, 3, 0}, {0, 1, 4, 0, 0, 0}, nullptr},
        {"unaligned borders", PixFmt_RGBA8, 61, 30, 0, {5, 3, 2, 7}, {0, 1, 5, 3, 2, 7}, nullptr},
        {"aligned bottom of an odd height", PixFmt_RGBA8, 64, 30, 1, {0, 0, 0, 3}, {0, 1, 0, 0, 0, 2}, nullptr},
        {"16 bits", PixFmt_RGBA16, 40, 20, 0, {1, 2, 3, 4}, {0, 1, 1, 2, 3, 4}, nullptr},
        {"float", PixFmt_RGBA32F, 40, 20, 0, {0, 0, 6, 0}, {0, 1, 0, 0, 6, 0}, nullptr},
        {"planar float", PixFmt_PlanarRGBA32F, 40, 20, 0, {2, 0, 0, 0}, {0, 1, 2, 0, 0, 0}, nullptr},
        {"planar 8 bits", PixFmt_PlanarRGBA8, 40, 20, 0, {0, 0, 0, 9}, {0, 1, 0, 0, 0, 9}, nullptr},
        {"YUVA 4:2:0 alpha plane", PixFmt_YUVA420, 40, 20, 0, {4, 0, 0, 0}, {0, 1, 4, 0, 0, 0}, nullptr},
        {"YUVA 444", PixFmt_YUVA444, 40, 20, 0, {0, 0, 5, 0}, {0, 1, 0, 0, 5, 0}, nullptr},
        {"planar 16 bits", PixFmt_PlanarRGBA16, 40, 20, 0, {0, 1, 0, 0}, {0, 1, 0, 1, 0, 0}, nullptr},
        // Only the low 10 (12) bits count: high bits set over zero are still transparent.
        {"10 bits masked",
         PixFmt_YUVA444_10,
         40,
         20,
         0,
         {3, 0, 0, 0},
         {0, 1, 3, 0, 0, 0},
         [](VideoFrame *f) {
             for (uint32_t y = 0; y < 20; ++y) set_alpha(f, 0, y, 0xFC00);
         }},
        {"12 bits masked",
         PixFmt_YUVA444_12,
         40,
         20,
         0,
         {0, 0, 2, 0},
         {0, 1, 0, 0, 2, 0},
         [](VideoFrame *f) {
             for (uint32_t y = 0; y < 20; ++y) set_alpha(f, 39, y, 0xF000);
         }},
        // A rounded logo: only the top-left corner is transparent, nothing is measured.
        {"one corner",
         PixFmt_RGBA8,
         40,
         20,
         0,
         {0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0},
         [](VideoFrame *f) {
             for (uint32_t y = 0; y < 5; ++y)
                 for (uint32_t x = 0; x < 5; ++x) set_alpha(f, x, y, 0);
         }},
        // A NaN alpha is not zero: the left column holds content.
        {"NaN is content",
         PixFmt_RGBA32F,
         40,
         20,
         0,
         {3, 0, 0, 0},
         {0, 1, 2, 0, 0, 0},
         [](VideoFrame *f) { set_alpha(f, 2, 10, std::nan("")); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Frame in(c.w, c.h, c.fmt);
        const PixDescriptor desc = get_pix_descriptor(c.fmt);
        const double full = (desc.flags & PixDesc_Float) ? 1.0 : double((1u << desc.bit_depth[3 % desc.nb_planes]) - 1);
        fill_with_margins(in.f, full, c.margins[0], c.margins[1], c.margins[2], c.margins[3]);
        if (c.extra) c.extra(in.f);
        Filter f(create_filter_crop_detect(detect(c.fmt, c.align)));
        ASSERT_EQ(run_node(f.f, in.f), "");
        EXPECT_EQ(f.f->output, in.f);
        expect_result(f.f, c.expect);
    }
}

TEST(CropDetectFilter, WriteBackStoresTheRectangleAndDropsUnneededAlpha) {
    Frame in(40, 20, PixFmt_RGBA8);
    fill_with_margins(in.f, 255, 4, 2, 6, 0);
    Filter f(create_filter_crop_detect(detect(PixFmt_RGBA8, 0, 1, 1)));
    ASSERT_EQ(run_node(f.f, in.f), "");
    EXPECT_EQ(in->rect_flags, VideoFrameRect_Valid);
    EXPECT_EQ(in->rect.x, 4u);
    EXPECT_EQ(in->rect.y, 2u);
    EXPECT_EQ(in->rect.w, 30u);
    EXPECT_EQ(in->rect.h, 18u);
    EXPECT_EQ(crop_detect_get_result(f.f)->alpha_needed, 1);
    EXPECT_EQ(in->pix_fmt, PixFmt_RGBA8);

    // Fully opaque with the pixel test: the frame is relabelled without alpha.
    Frame opaque(8, 4, PixFmt_RGBA8);
    fill_with_margins(opaque.f, 255, 0, 0, 0, 0);
    ASSERT_EQ(run_node(f.f, opaque.f), "");
    EXPECT_EQ(crop_detect_get_result(f.f)->alpha_needed, 0);
    EXPECT_EQ(opaque->pix_fmt, PixFmt_RGBX8);
    EXPECT_EQ(opaque->rect_flags, VideoFrameRect_Valid);
    EXPECT_EQ(opaque->rect.w, 8u);

    // Empty frame: no visible content.
    Frame clear(8, 4, PixFmt_RGBA8);
    fill_with_margins(clear.f, 255, 8, 0, 0, 0);
    clear->rect = {1, 2, 3, 4};
    ASSERT_EQ(run_node(f.f, clear.f), "");
    EXPECT_EQ(clear->rect_flags, VideoFrameRect_NoContent | VideoFrameRect_Valid);
    EXPECT_EQ(clear->rect.w, 0u);
    EXPECT_EQ(clear->rect.x, 0u);

    // 16-bit and float pixel tests relabel to their own twins.
    for (PixFmt fmt : {PixFmt_RGBA16, PixFmt_RGBA32F}) {
        Frame o(4, 4, fmt);
        fill_with_margins(o.f, fmt == PixFmt_RGBA16 ? 65535 : 1.0, 0, 0, 0, 0);
        Filter g(create_filter_crop_detect(detect(fmt, 0, 1, 1)));
        ASSERT_EQ(run_node(g.f, o.f), "");
        EXPECT_EQ(o->pix_fmt, fmt == PixFmt_RGBA16 ? PixFmt_RGBX16 : PixFmt_RGBX32F);
    }
}

TEST(CropDetectFilter, RefusalsAndUnsupportedLayouts) {
    CropDetectParams grey = detect(PixFmt_RGBA8);
    grey.alpha_as_grey = 1;
    EXPECT_EQ(error_of([&] { create_filter_crop_detect(grey); }), "not imp rgba as grey");
    EXPECT_EQ(error_of([] { create_filter_crop_detect(detect(PixFmt_RGBA8, 0, 0, 2)); }), "not imp alpha need mode");
    // Layouts without alpha ignore the alpha-need mode.
    Filter yuv(create_filter_crop_detect(detect(PixFmt_YUV420, 0, 0, 2)));
    testing::internal::CaptureStdout();
    Filter yuv2(create_filter_crop_detect(detect(PixFmt_YUV420)));
    Filter planar(create_filter_crop_detect(detect(PixFmt_PlanarRGBA8, 0, 0, 1)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unsupported crop detect for pix fmt : Planar YUV 420\n"
              "Unsupported alpha need for pix fmt : Planar RGBA8\n");
    Frame y(16, 8, PixFmt_YUV420);
    ASSERT_EQ(run_node(yuv2.f, y.f), "");
    expect_result(yuv2.f, {0, 0, 0, 0, 0, 0});

    Filter f(create_filter_crop_detect(detect(PixFmt_RGBA8)));
    Frame other(8, 8, PixFmt_RGBX8);
    EXPECT_EQ(run_node(f.f, other.f), "Unexpected pix fmt");
    Frame compressed;
    video_frame_alloc_compressed(compressed.f, 64, VideoFramePngData);
    compressed->pix_fmt = PixFmt_RGBA8;
    EXPECT_EQ(run_node(f.f, compressed.f), "Invalid data type video frame");
    Frame cut(8, 8, PixFmt_RGBA8);
    cut->data_size[0] = 8 * 4 * 7;  // one row short
    EXPECT_EQ(run_node(f.f, cut.f), "Invalid input frame size");
    EXPECT_EQ(crop_detect_get_result(nullptr), nullptr);
}

// An RGBA PNG made by the ffmpeg tool, padded with fully transparent black.
TEST(CropDetectFilter, FindsTheTransparentPadOfAnFfmpegPng) {
    testutil::TempDir dir;
    const std::string png = dir.file("padded.png");
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    const auto made = testutil::run_command(testutil::shell_quote(ffmpeg) +
                                            " -v error -nostdin -f lavfi -i testsrc2=size=64x48 -vf " +
                                            testutil::shell_quote("format=rgba,pad=83:61:7:5:color=black@0") +
                                            " -frames:v 1 " + testutil::shell_quote(png) + " 2>/dev/null");
    ASSERT_EQ(made.status, 0);
    const auto raw = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(png), "rgba");
    ASSERT_EQ(raw.size(), 83u * 61 * 4);
    Frame in(83, 61, PixFmt_RGBA8);
    pipetest::fill_plane(in.f, 0, raw.data(), 83 * 4, 61);
    Filter exact(create_filter_crop_detect(detect(PixFmt_RGBA8)));
    ASSERT_EQ(run_node(exact.f, in.f), "");
    expect_result(exact.f, {0, 1, 7, 5, 12, 8});
    Filter aligned(create_filter_crop_detect(detect(PixFmt_RGBA8, 1)));
    ASSERT_EQ(run_node(aligned.f, in.f), "");
    // Right: 83 - ceil4(83 - 12) = 11; bottom: 61 - ceil4(61 - 8) = 5.
    expect_result(aligned.f, {0, 1, 4, 4, 11, 5});
}

}  // namespace
