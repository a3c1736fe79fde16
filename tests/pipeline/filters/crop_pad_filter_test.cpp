#include "pipeline/filters/crop_pad_filter.h"

#include <gtest/gtest.h>

#include <cstring>
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

CropFilterParams crop(PixFmt fmt, uint32_t w, uint32_t h, uint32_t top, uint32_t left, uint32_t bottom,
                      uint32_t right) {
    return CropFilterParams{uint32_t(fmt), w, h, top, left, bottom, right};
}

TEST(CropFilter, RefusedCrops) {
    struct Case {
        const char *name;
        CropFilterParams p;
        const char *message;
    } cases[] = {
        {"4:2:0 odd left", crop(PixFmt_YUV420, 64, 32, 0, 3, 0, 0), "Invalid crop fmt"},
        {"4:2:0 odd top", crop(PixFmt_YUV420, 64, 32, 1, 0, 0, 0), "Invalid crop fmt"},
        {"4:2:2 odd right", crop(PixFmt_YUV422_10, 64, 32, 0, 0, 0, 1), "Invalid crop fmt"},
        {"UYVY odd left", crop(PixFmt_UYVY, 64, 32, 0, 1, 0, 0), "Invalid crop fmt"},
        {"UYVY A", crop(PixFmt_UYVYA, 64, 32, 0, 2, 0, 0), "Invalid crop fmt"},
        {"V210", crop(PixFmt_V210, 64, 32, 0, 6, 0, 0), "Invalid crop fmt"},
        {"undefined", crop(PixFmt_Undefined, 64, 32, 0, 0, 0, 0), "Invalid crop fmt"},
        {"left + right = width", crop(PixFmt_RGBA8, 64, 32, 0, 30, 0, 34), "Invalid horizontal crop"},
        {"top + bottom = height", crop(PixFmt_RGBA8, 64, 32, 16, 0, 16, 0), "Invalid vertical crop"},
        // Margins that wrap in 32 bits must not pass for a small crop.
        {"wrapping left", crop(PixFmt_RGBA8, 64, 32, 0, 0xFFFFFFFF, 0, 2), "Invalid horizontal crop"},
        {"wrapping top", crop(PixFmt_RGBA8, 64, 32, 0xFFFFFFF0, 0, 0x20, 0), "Invalid vertical crop"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of([&] { video_filter_free(create_filter_crop(c.p)); }), c.message);
    }
    testing::internal::CaptureStdout();
    error_of([] { create_filter_crop(crop(PixFmt_YUV420, 64, 32, 0, 3, 0, 0)); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unsupported crop fmt : Planar YUV 420\n");
    // A crop of nothing is taken for every layout with a descriptor.
    Filter none(create_filter_crop(crop(PixFmt_UYVYA, 64, 32, 0, 0, 0, 0)));
    EXPECT_EQ(none.f->type, VideoFilterType_Crop);
}

TEST(CropFilter, PlanesPointIntoTheInput) {
    struct Case {
        const char *name;
        CropFilterParams p;
        int64_t offset[4][2];  // rows and bytes from each plane's start
    } cases[] = {
        {"4:2:0 top 2 left 4", crop(PixFmt_YUV420, 64, 32, 2, 4, 0, 0), {{2, 4}, {1, 2}, {1, 2}, {0, 0}}},
        {"UYVY left 2", crop(PixFmt_UYVY, 64, 32, 0, 2, 0, 2), {{0, 4}, {0, 0}, {0, 0}, {0, 0}}},
        {"YUVA 420 alpha full size", crop(PixFmt_YUVA420, 64, 32, 4, 6, 2, 2), {{4, 6}, {2, 3}, {2, 3}, {4, 6}}},
        {"RGBA16", crop(PixFmt_RGBA16, 64, 32, 3, 5, 0, 1), {{3, 40}, {0, 0}, {0, 0}, {0, 0}}},
        {"Planar RGBA 32f", crop(PixFmt_PlanarRGBA32F, 64, 32, 1, 1, 1, 1), {{1, 4}, {1, 4}, {1, 4}, {1, 4}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Filter f(create_filter_crop(c.p));
        Frame in(c.p.src_width, c.p.src_height, PixFmt(c.p.pix_fmt));
        in->frame_index = 9;
        ASSERT_EQ(run_node(f.f, in.f), "");
        const VideoFrame *out = f.f->output;
        EXPECT_EQ(out->width, c.p.src_width - c.p.left - c.p.right);
        EXPECT_EQ(out->height, c.p.src_height - c.p.top - c.p.bottom);
        EXPECT_EQ(out->frame_index, 9u);
        EXPECT_EQ(out->is_external, 1);
        for (uint32_t i = 0; i < in->nb_planes; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(out->data[i], in->data[i] + c.offset[i][0] * in->linesize[i] + c.offset[i][1]);
            EXPECT_EQ(out->linesize[i], in->linesize[i]);
        }
    }
}

TEST(CropFilter, RefusesAnInputItWasNotMadeFor) {
    Filter f(create_filter_crop(crop(PixFmt_RGBA8, 64, 32, 2, 2, 2, 2)));
    Frame small(32, 32, PixFmt_RGBA8);
    Frame other(64, 32, PixFmt_RGBX8);
    EXPECT_EQ(run_node(f.f, small.f), "Invalid input frame size");
    EXPECT_EQ(run_node(f.f, other.f), "Invalid input frame size");
}

// Our crop of the ffmpeg tool's raw frame equals its crop filter byte for byte.
TEST(CropFilter, EqualsFfmpegCrop) {
    struct Case {
        PixFmt fmt;
        const char *ff;
        uint32_t top, left, bottom, right;
    } cases[] = {
        {PixFmt_YUV420, "yuv420p", 2, 4, 6, 8},       {PixFmt_YUV422_10, "yuv422p10le", 3, 6, 1, 2},
        {PixFmt_UYVY, "uyvy422", 5, 2, 0, 4},         {PixFmt_RGBA8, "rgba", 1, 3, 7, 5},
        {PixFmt_PlanarRGB16, "gbrp16le", 0, 1, 1, 0},
    };
    const uint32_t w = 64, h = 48;
    const std::string src = "-f lavfi -i testsrc2=size=64x48";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ff);
        const PixDescriptor desc = get_pix_descriptor(c.fmt);
        const auto raw = testutil::ffmpeg_raw_frame(src, c.ff);
        const uint32_t ow = w - c.left - c.right, oh = h - c.top - c.bottom;
        const auto want = testutil::ffmpeg_raw_frame(src, c.ff,
                                                     std::string("format=") + c.ff + ",crop=" + std::to_string(ow) +
                                                         ":" + std::to_string(oh) + ":" + std::to_string(c.left) + ":" +
                                                         std::to_string(c.top));
        Frame in(w, h, c.fmt, 0);
        size_t at = 0;
        for (uint32_t i = 0; i < desc.nb_planes; ++i) {
            const size_t row = size_t(in->linesize[i]);
            const uint32_t rows = in->data_size[i] / in->linesize[i];
            ASSERT_LE(at + row * rows, raw.size());
            pipetest::fill_plane(in.f, i, raw.data() + at, row, rows);
            at += row * rows;
        }
        ASSERT_EQ(at, raw.size());
        Filter f(create_filter_crop(crop(c.fmt, w, h, c.top, c.left, c.bottom, c.right)));
        ASSERT_EQ(run_node(f.f, in.f), "");
        std::vector<uint8_t> got;
        for (uint32_t i = 0; i < desc.nb_planes; ++i) {
            const uint32_t sw = desc.sub_w[i], sh = desc.sub_h[i];
            size_t row = size_t((ow + sw - 1) / sw) * desc.bytes_per_pixel[i];
            if (c.fmt == PixFmt_UYVY) row = size_t(ow) * 2;
            const auto plane = pipetest::plane_bytes(f.f->output, i, row, (oh + sh - 1) / sh);
            got.insert(got.end(), plane.begin(), plane.end());
        }
        EXPECT_EQ(got, want);
    }
}

PadFilterParams pad(PixFmt fmt, uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh, uint32_t transparent = 0) {
    PadFilterParams p{};
    p.transparent = transparent;
    p.pix_fmt = fmt;
    p.src_width = sw;
    p.src_height = sh;
    p.dst_width = dw;
    p.dst_height = dh;
    return p;
}

// Rows of the output whose first byte is the margin's, from the top and from the bottom.
std::pair<uint32_t, uint32_t> margin_rows(const VideoFrame *out, uint8_t content) {
    uint32_t top = 0, bottom = 0;
    while (top < out->height && out->data[0][top * out->linesize[0]] != content) ++top;
    while (bottom < out->height && out->data[0][(out->height - 1 - bottom) * out->linesize[0]] != content) ++bottom;
    return {top, bottom};
}

TEST(PadFilter, CentredMarginsPutTheOddRowOnTop) {
    struct Case {
        uint32_t sw, sh, dw, dh;
        uint32_t top, bottom, left, right;
    } cases[] = {
        {1920, 1080, 1920, 1081, 1, 0, 0, 0},
        {1000, 563, 1000, 1000, 219, 218, 0, 0},
        {5, 4, 8, 4, 0, 0, 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dh);
        Filter f(create_filter_pad(pad(PixFmt_Grey8, c.sw, c.sh, c.dw, c.dh)));
        Frame in(c.sw, c.sh, PixFmt_Grey8);
        for (uint32_t r = 0; r < c.sh; ++r) memset(in->data[0] + r * in->linesize[0], 0x80, c.sw);
        ASSERT_EQ(run_node(f.f, in.f), "");
        const VideoFrame *out = f.f->output;
        ASSERT_EQ(out->width, c.dw);
        ASSERT_EQ(out->height, c.dh);
        if (c.left == 0) {
            EXPECT_EQ(margin_rows(out, 0x80), std::make_pair(c.top, c.bottom));
        } else {
            const uint8_t *row = out->data[0];
            EXPECT_EQ(std::vector<uint8_t>(row, row + c.dw),
                      (std::vector<uint8_t>{0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 0}));
        }
    }
}

TEST(PadFilter, MarginPixelsPerLayout) {
    const float one = 1.0f;
    uint8_t f1[16] = {};
    memcpy(f1 + 12, &one, 4);
    struct Case {
        PixFmt fmt;
        uint32_t transparent;
        uint32_t plane;
        std::vector<uint8_t> pixel;
    } cases[] = {
        {PixFmt_RGBA8, 0, 0, {0, 0, 0, 255}},
        {PixFmt_RGBA8, 1, 0, {0, 0, 0, 0}},
        {PixFmt_RGBX8, 1, 0, {0, 0, 0, 255}},
        {PixFmt_RGB8, 0, 0, {0, 0, 0}},
        {PixFmt_RGBA16, 0, 0, {0, 0, 0, 0, 0, 0, 255, 255}},
        {PixFmt_RGBA16, 1, 0, {0, 0, 0, 0, 0, 0, 0, 0}},
        {PixFmt_RGBX16, 1, 0, {0, 0, 0, 0, 0, 0, 255, 255}},
        {PixFmt_RGBA32F, 0, 0, std::vector<uint8_t>(f1, f1 + 16)},
        {PixFmt_RGBA32F, 1, 0, std::vector<uint8_t>(16, 0)},
        {PixFmt_RGBX32F, 1, 0, std::vector<uint8_t>(f1, f1 + 16)},
        {PixFmt_PlanarRGBA8, 0, 3, {255}},
        {PixFmt_PlanarRGBA8, 1, 3, {0}},
        {PixFmt_PlanarRGBA8, 0, 0, {0}},
        {PixFmt_PlanarRGB16, 0, 2, {0, 0}},
        {PixFmt_PlanarRGBA16, 0, 3, {0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(get_pix_fmt_name(c.fmt));
        SCOPED_TRACE(c.transparent);
        Filter f(create_filter_pad(pad(c.fmt, 2, 2, 4, 3, c.transparent)));
        Frame in(2, 2, c.fmt);
        for (uint32_t i = 0; i < in->nb_planes; ++i) memset(in->data[i], 0x5A, in->data_size[i]);
        ASSERT_EQ(run_node(f.f, in.f), "");
        const VideoFrame *out = f.f->output;
        const size_t bpp = c.pixel.size();
        // Top row (margin), then the left and right margins of a content row.
        for (uint32_t x = 0; x < 4; ++x) {
            const uint8_t *p = out->data[c.plane] + x * bpp;
            EXPECT_EQ(std::vector<uint8_t>(p, p + bpp), c.pixel) << "top, x " << x;
        }
        const uint8_t *row = out->data[c.plane] + out->linesize[c.plane];
        EXPECT_EQ(std::vector<uint8_t>(row, row + bpp), c.pixel);
        EXPECT_EQ(std::vector<uint8_t>(row + 3 * bpp, row + 4 * bpp), c.pixel);
        EXPECT_EQ(row[bpp], 0x5A);
        EXPECT_EQ(row[3 * bpp - 1], 0x5A);
    }
}

TEST(PadFilter, ExplicitMarginsAndRefusals) {
    PadFilterParams p = pad(PixFmt_RGBX8, 100, 50, 0, 0);
    p.explicit_margins = 1;
    p.left = 10;
    p.right = 20;
    p.top = 5;
    p.bottom = 0;
    Filter f(create_filter_pad(p));
    EXPECT_EQ(f.f->type, VideoFilterType_Pad);
    EXPECT_EQ(f.f->output->width, 130u);
    EXPECT_EQ(f.f->output->height, 55u);
    Frame in(100, 50, PixFmt_RGBX8);
    memset(in->data[0], 7, in->data_size[0]);
    in->frame_index = 3;
    ASSERT_EQ(run_node(f.f, in.f), "");
    EXPECT_EQ(f.f->output->frame_index, 3u);
    EXPECT_EQ(f.f->output->data[0][5 * f.f->output->linesize[0] + 10 * 4], 7);
    EXPECT_EQ(f.f->output->data[0][54 * f.f->output->linesize[0] + 109 * 4], 7);
    EXPECT_EQ(f.f->output->data[0][54 * f.f->output->linesize[0] + 110 * 4], 0);

    Frame small(99, 50, PixFmt_RGBX8);
    EXPECT_EQ(run_node(f.f, small.f), "Invalid input frame size");
    struct Case {
        PadFilterParams p;
        const char *message;
    } cases[] = {
        {pad(PixFmt_YUV420, 16, 16, 32, 32), "Filter Pad : unsupported pix fmt"},
        {pad(PixFmt_RGBA8, 16, 16, 15, 32), "Pad filter : src > dst W"},
        {pad(PixFmt_RGBA8, 16, 16, 32, 15), "Pad filter : src > dst H"},
    };
    for (const auto &c : cases) EXPECT_EQ(error_of([&] { video_filter_free(create_filter_pad(c.p)); }), c.message);
}

// Our centred pad of an RGBA picture equals the ffmpeg tool's pad with the same offsets.
TEST(PadFilter, EqualsFfmpegPad) {
    const std::string src = "-f lavfi -i testsrc2=size=100x56";
    const auto raw = testutil::ffmpeg_raw_frame(src, "rgba");
    const auto want = testutil::ffmpeg_raw_frame(src, "rgba", "format=rgba,pad=100:99:0:22:black");
    ASSERT_EQ(raw.size(), 100u * 56 * 4);
    Frame in(100, 56, PixFmt_RGBA8);
    pipetest::fill_plane(in.f, 0, raw.data(), 400, 56);
    Filter f(create_filter_pad(pad(PixFmt_RGBA8, 100, 56, 100, 99)));
    ASSERT_EQ(run_node(f.f, in.f), "");
    EXPECT_EQ(pipetest::plane_bytes(f.f->output, 0, 400, 99), want);
}

}  // namespace
