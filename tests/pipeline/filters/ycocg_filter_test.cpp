#include "pipeline/filters/ycocg_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "container/node_test_util.h"
#include "media/error_of.h"
#include "pipeline/filters/frames_util.h"
#include "pipeline/filters/row_slices.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

using mediatest::error_of;
using nodetest::Filter;
using nodetest::run_node;
using pipetest::Frame;

TEST(RowSlices, PlanPerRowsAndCores) {
    struct Case {
        uint32_t rows, cores;
        uint32_t count;
        uint32_t first_rows, first_count;  // rows of the first slices, and how many slices have them
        uint32_t other_rows;
    } cases[] = {
        {1080, 10, 10, 108, 10, 108}, {1081, 8, 8, 136, 1, 135},   {50, 64, 50, 1, 50, 1},
        {3, 8, 3, 1, 3, 1},           {1080, 100, 64, 17, 56, 16},  // capped at 64 slices
        {2160, 6, 6, 360, 6, 360},    {7, 0, 1, 7, 1, 7},           // no core count: one slice
        {0, 8, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows on " << c.cores << " cores");
        RowSlicePlan plan{};
        plan_row_slices(&plan, c.rows, c.cores);
        ASSERT_EQ(plan.count, c.count);
        uint32_t next = 0;
        for (uint32_t i = 0; i < plan.count; ++i) {
            EXPECT_EQ(plan.first_row[i], next);
            EXPECT_EQ(plan.rows[i], i < c.first_count ? c.first_rows : c.other_rows) << "slice " << i;
            next += plan.rows[i];
        }
        EXPECT_EQ(next, c.rows);
    }
    EXPECT_GE(row_slice_core_count(), 1u);
}

YCoCgToRgbParams params(PixFmt fmt, uint32_t w, uint32_t h, uint8_t threaded = 0) {
    return YCoCgToRgbParams{uint32_t(fmt), w, h, threaded};
}

// A 4:2:0 frame whose planes each hold one value.
void fill_constant(VideoFrame *f, const uint8_t values[4]) {
    for (uint32_t i = 0; i < f->nb_planes; ++i) memset(f->data[i], values[i], f->data_size[i]);
}

TEST(YCoCgToRgbFilter, InverseTransformOfConstantPlanes) {
    struct Case {
        PixFmt fmt;
        uint8_t planes[4];  // Y, plane 1, plane 2, alpha
        uint8_t rgba[4];
    } cases[] = {
        {PixFmt_YUV420, {100, 128, 128, 0}, {100, 100, 100, 255}},
        {PixFmt_YUV420, {255, 255, 0, 0}, {0, 255, 255, 255}},   // Cg 255, Co 0: G 382 and B 256 clamp
        {PixFmt_YUV420, {50, 100, 200, 0}, {150, 22, 6, 255}},   // Cg 100, Co 200
        {PixFmt_YUVA420, {50, 200, 100, 77}, {150, 22, 6, 77}},  // Co 200, Cg 100, alpha kept
        {PixFmt_YUVA420, {0, 0, 255, 0}, {0, 127, 1, 0}},
    };
    for (const Case &c : cases) {
        for (uint8_t threaded : {0, 1}) {
            SCOPED_TRACE(testing::Message()
                         << get_pix_fmt_name(c.fmt) << " " << int(c.planes[0]) << " threaded " << int(threaded));
            Frame in(18, 10, c.fmt);
            fill_constant(in.f, c.planes);
            in->frame_index = 5;
            Filter f(create_filter_ycocg_to_rgb(params(c.fmt, 18, 10, threaded)));
            ASSERT_EQ(run_node(f.f, in.f), "");
            const VideoFrame *out = f.f->output;
            EXPECT_EQ(out->pix_fmt, c.fmt == PixFmt_YUV420 ? PixFmt_RGBX8 : PixFmt_RGBA8);
            EXPECT_EQ(out->frame_index, 5u);
            for (uint32_t y = 0; y < 10; ++y)
                for (uint32_t x = 0; x < 18; ++x) {
                    const uint8_t *p = out->data[0] + y * out->linesize[0] + 4 * x;
                    ASSERT_EQ(std::vector<uint8_t>(p, p + 4), std::vector<uint8_t>(c.rgba, c.rgba + 4))
                        << x << "," << y;
                }
        }
    }
}

TEST(YCoCgToRgbFilter, SlicedRowsEqualOneSlice) {
    std::mt19937 rng(3);
    const uint32_t w = 70, h = 81;
    for (PixFmt fmt : {PixFmt_YUV420, PixFmt_YUVA420}) {
        SCOPED_TRACE(get_pix_fmt_name(fmt));
        Frame in(w, h, fmt);
        for (uint32_t i = 0; i < in->nb_planes; ++i)
            for (uint32_t b = 0; b < in->data_size[i]; ++b) in->data[i][b] = uint8_t(rng());
        Filter one(create_filter_ycocg_to_rgb(params(fmt, w, h, 0)));
        Filter many(create_filter_ycocg_to_rgb(params(fmt, w, h, 1)));
        ASSERT_EQ(run_node(one.f, in.f), "");
        ASSERT_EQ(run_node(many.f, in.f), "");
        EXPECT_EQ(pipetest::plane_bytes(one.f->output, 0, w * 4, h),
                  pipetest::plane_bytes(many.f->output, 0, w * 4, h));
    }
}

TEST(YCoCgToRgbFilter, RowKernelsFollowTheFormulas) {
    std::mt19937 rng(11);
    const uint32_t w = 64;
    std::vector<uint8_t> planes[4];
    for (auto &p : planes) {
        p.resize(w);
        for (auto &b : p) b = uint8_t(rng());
    }
    auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    const uint8_t *src[4] = {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data()};
    const int64_t src_stride[4] = {w, w, w, w};
    std::vector<uint8_t> out(w * 4);
    uint8_t *dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int64_t dst_stride[4] = {w * 4, 0, 0, 0};
    ycocg_cgco_to_rgbx8_c(dst, src, dst_stride, src_stride, w, 1);
    for (uint32_t x = 0; x < w; ++x) {
        const int Y = planes[0][x], Cg = planes[1][x], Co = planes[2][x];
        ASSERT_EQ(out[4 * x + 0], clamp(Y + Co - Cg));
        ASSERT_EQ(out[4 * x + 1], clamp(Y + Cg - 128));
        ASSERT_EQ(out[4 * x + 2], clamp(Y - Co - Cg + 256));
        ASSERT_EQ(out[4 * x + 3], 255);
    }
    ycocg_cocg_alpha_to_rgba8_c(dst, src, dst_stride, src_stride, w, 1);
    for (uint32_t x = 0; x < w; ++x) {
        const int Y = planes[0][x], Co = planes[1][x], Cg = planes[2][x];
        ASSERT_EQ(out[4 * x + 0], clamp(Y + Co - Cg));
        ASSERT_EQ(out[4 * x + 1], clamp(Y + Cg - 128));
        ASSERT_EQ(out[4 * x + 2], clamp(Y - Co - Cg + 256));
        ASSERT_EQ(out[4 * x + 3], planes[3][x]);
    }
}

TEST(YCoCgToRgbFilter, Refusals) {
    EXPECT_EQ(error_of([] { create_filter_ycocg_to_rgb(params(PixFmt_YUV444, 16, 16)); }),
              "Unsupported pix fmt ycocg_to_rgb");
    Filter f(create_filter_ycocg_to_rgb(params(PixFmt_YUV420, 16, 8)));
    EXPECT_EQ(f.f->type, VideoFilterType_YCoCgToRgb);
    Frame compressed;
    video_frame_alloc_compressed(compressed.f, 64, VideoFrameDxv3Data);
    compressed->pix_fmt = PixFmt_YUV420;
    EXPECT_EQ(run_node(f.f, compressed.f), "Filter Ycocg : Unsupported pixel data");
    Frame other(16, 8, PixFmt_YUV422);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_node(f.f, other.f), "Filter Ycocg to rgb : unsupported pix fmt");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error, unknown pix fmt : Planar YUV 422\n");
    // libswscale would read a full-size picture through a smaller frame's planes.
    Frame small(16, 6, PixFmt_YUV420);
    EXPECT_EQ(run_node(f.f, small.f), "Invalid input frame size");
}

TEST(YCoCgToRgbFilter, FfmpegFormatMap) {
    struct Case {
        PixFmt fmt;
        int ff;
    } cases[] = {{PixFmt_YUV420, AV_PIX_FMT_YUV420P},
                 {PixFmt_YUVA420, AV_PIX_FMT_YUVA420P},
                 {PixFmt_RGBX8, AV_PIX_FMT_RGB0},
                 {PixFmt_RGBX16, AV_PIX_FMT_RGBA64LE},
                 {PixFmt_UYVY, AV_PIX_FMT_UYVY422}};
    for (const Case &c : cases) EXPECT_EQ(pix_fmt_to_ff(c.fmt), c.ff) << get_pix_fmt_name(c.fmt);
    for (PixFmt fmt : {PixFmt_RGBA32F, PixFmt_RGBX32F, PixFmt_PlanarRGB32F, PixFmt_PlanarRGBA32F, PixFmt_V210})
        EXPECT_EQ(error_of([&] { pix_fmt_to_ff(fmt); }), "Request unknown pix fmt for ff") << get_pix_fmt_name(fmt);
}

}  // namespace
