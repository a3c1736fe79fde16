#include "pipeline/filters/bg_merge_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "container/node_test_util.h"
#include "media/error_of.h"
#include "pipeline/filters/frames_util.h"
#include "platform/core/cpu.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;
using nodetest::Filter;
using nodetest::run_node;
using pipetest::Frame;

BgMergeParams merge(PixFmt fmt, uint32_t w, uint32_t h, uint32_t background, bool straight, float opacity = 1.0f,
                    uint8_t in_place = 0, uint8_t sliced = 0, uint8_t avx2 = 0) {
    BgMergeParams p{};
    p.src_pix_fmt = fmt;
    p.width = w;
    p.height = h;
    p.opacity = opacity;
    p.alpha_mode = straight ? 1 : 0;
    p.background = background;
    const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
    memcpy(p.color1, black, sizeof(black));
    memcpy(p.color2, white, sizeof(white));
    p.in_place = in_place;
    p.sliced = sliced;
    p.allow_avx2 = avx2;
    return p;
}

// Bytes per pixel of the packed layouts the node merges.
size_t pixel_bytes(PixFmt fmt) { return get_pix_descriptor(fmt).bytes_per_pixel[0]; }

// One run over a frame of width x rows pixels whose rows all repeat `pixels` (packed bytes).
std::vector<uint8_t> run_merge(const BgMergeParams &p, const std::vector<uint8_t> &row, PixFmt *out_fmt = nullptr) {
    const PixFmt fmt = PixFmt(p.src_pix_fmt);
    Frame in(p.width, p.height, fmt);
    for (uint32_t y = 0; y < p.height; ++y) memcpy(in->data[0] + y * in->linesize[0], row.data(), row.size());
    Filter f(create_filter_bg_merge(p));
    EXPECT_EQ(run_node(f.f, in.f), "");
    if (out_fmt) *out_fmt = f.f->output->pix_fmt;
    return pipetest::plane_bytes(f.f->output, 0, p.width * pixel_bytes(fmt), p.height);
}

std::vector<uint8_t> u16(std::initializer_list<uint16_t> v) {
    std::vector<uint8_t> b(v.size() * 2);
    memcpy(b.data(), v.begin(), b.size());
    return b;
}

std::vector<uint8_t> f32(std::initializer_list<float> v) {
    std::vector<uint8_t> b(v.size() * 4);
    memcpy(b.data(), v.begin(), b.size());
    return b;
}

TEST(BgMergeFilter, PixelValues) {
    const float nan = std::nanf("");
    struct Case {
        const char *name;
        BgMergeParams p;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
        PixFmt out_fmt;
    } cases[] = {
        {"straight over white",
         merge(PixFmt_RGBA8, 3, 1, BgMerge_White, true),
         {100, 100, 100, 200, 255, 255, 255, 128, 9, 80, 200, 0},
         {133, 133, 133, 255, 255, 255, 255, 255, 255, 255, 255, 255},
         PixFmt_RGBX8},
        {"premultiplied over white",
         merge(PixFmt_RGBA8, 2, 1, BgMerge_White, false),
         {100, 100, 100, 200, 250, 0, 10, 10},
         {155, 155, 155, 255, 255, 245, 255, 255},
         PixFmt_RGBX8},
        {"straight over black",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_Black, true),
         {100, 100, 100, 200},
         {78, 78, 78, 255},
         PixFmt_RGBX8},
        {"premultiplied over black is a copy",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_Black, false),
         {100, 90, 80, 70},
         {100, 90, 80, 70},
         PixFmt_RGBX8},
        {"custom colour, opaque and clear",
         merge(PixFmt_RGBA8, 2, 1, BgMerge_CustomColor, true),
         {1, 2, 3, 255, 1, 2, 3, 0},
         {1, 2, 3, 255, 0, 0, 0, 255},
         PixFmt_RGBX8},
        {"none at half opacity, straight",
         merge(PixFmt_RGBA8, 2, 1, BgMerge_None, true, 0.5f),
         {10, 20, 30, 255, 10, 20, 30, 201},
         {10, 20, 30, 128, 10, 20, 30, 101},
         PixFmt_RGBA8},
        {"none at half opacity, premultiplied",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_None, false, 0.5f),
         {10, 21, 30, 255},
         {5, 11, 15, 128},
         PixFmt_RGBA8},
        {"RGBX none at half opacity",
         merge(PixFmt_RGBX8, 1, 1, BgMerge_None, true, 0.5f),
         {10, 20, 255, 0},
         {5, 10, 128, 128},
         PixFmt_RGBA8},
        {"straight over black at half opacity",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_Black, true, 0.5f),
         {255, 100, 0, 255},
         {128, 50, 0, 255},
         PixFmt_RGBX8},
        {"straight over white at half opacity",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_White, true, 0.5f),
         {255, 100, 0, 255},
         {255, 178, 128, 255},
         PixFmt_RGBX8},
        {"NaN opacity is not a copy",
         merge(PixFmt_RGBA8, 1, 1, BgMerge_Black, false, nan),
         {100, 90, 80, 70},
         {0, 0, 0, 255},
         PixFmt_RGBX8},
        {"16 bits straight over white", merge(PixFmt_RGBA16, 2, 1, BgMerge_White, true),
         u16({1000, 2000, 3000, 65535, 1000, 2000, 3000, 0}),
         u16({1000, 2000, 3000, 65535, 65535, 65535, 65535, 65535}), PixFmt_RGBX16},
        {"16 bits none at half opacity", merge(PixFmt_RGBA16, 2, 1, BgMerge_None, true, 0.5f),
         u16({1000, 2000, 3000, 65535, 1000, 2000, 3000, 0}), u16({1000, 2000, 3000, 32768, 0, 0, 0, 0}),
         PixFmt_RGBA16},
        {"float RGBX over black at half opacity", merge(PixFmt_RGBX32F, 1, 1, BgMerge_Black, true, 0.5f),
         f32({1.0f, 0.5f, 0.25f, 0.0f}), f32({0.5f, 0.25f, 0.125f, 1.0f}), PixFmt_RGBX32F},
        {"float straight over white", merge(PixFmt_RGBA32F, 1, 1, BgMerge_White, true), f32({0.2f, 0.4f, 1.0f, 0.5f}),
         f32({0.6f, 0.7f, 1.0f, 1.0f}), PixFmt_RGBX32F},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (uint8_t in_place : {0, 1}) {
            SCOPED_TRACE(int(in_place));
            BgMergeParams p = c.p;
            p.in_place = in_place;
            PixFmt out_fmt;
            EXPECT_EQ(run_merge(p, c.in, &out_fmt), c.out);
            EXPECT_EQ(out_fmt, c.out_fmt);
        }
    }
}

// Fully transparent pixels show the background's squares of 10 pixels, whatever the slicing.
TEST(BgMergeFilter, CheckerboardPhaseFollowsTheFrameRow) {
    struct Case {
        PixFmt fmt;
        uint32_t background;
        std::vector<uint8_t> light, dark;  // output pixels
    } cases[] = {
        {PixFmt_RGBA8, BgMerge_Checkerboard, {255, 255, 255, 255}, {179, 179, 179, 255}},
        {PixFmt_RGBA16, BgMerge_Checkerboard, u16({65535, 65535, 65535, 65535}), u16({45875, 45875, 45875, 65535})},
        {PixFmt_RGBA32F, BgMerge_Checkerboard, f32({1.0f, 1.0f, 1.0f, 1.0f}), f32({0.7f, 0.7f, 0.7f, 1.0f})},
        {PixFmt_RGBA8, BgMerge_CustomChecker, {0, 0, 0, 255}, {255, 255, 255, 255}},
        {PixFmt_RGBA16, BgMerge_CustomChecker, u16({0, 0, 0, 65535}), u16({65535, 65535, 65535, 65535})},
        {PixFmt_RGBA32F, BgMerge_CustomChecker, f32({0, 0, 0, 1.0f}), f32({1.0f, 1.0f, 1.0f, 1.0f})},
    };
    const uint32_t w = 30, h = 45;
    for (const Case &c : cases) {
        for (uint8_t sliced : {0, 1}) {
            for (uint8_t in_place : {0, 1}) {
                SCOPED_TRACE(testing::Message() << get_pix_fmt_name(c.fmt) << " bg " << c.background << " sliced "
                                                << int(sliced) << " in place " << int(in_place));
                const size_t bpp = pixel_bytes(c.fmt);
                const std::vector<uint8_t> row(w * bpp, 0);
                const auto out = run_merge(merge(c.fmt, w, h, c.background, true, 1.0f, in_place, sliced), row);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x) {
                        const bool light = ((y % 20) < 10) == ((x % 20) < 10);
                        const uint8_t *p = out.data() + (y * w + x) * bpp;
                        ASSERT_EQ(std::vector<uint8_t>(p, p + bpp), light ? c.light : c.dark) << x << "," << y;
                    }
            }
        }
    }
}

// Random pictures: slices, in-place runs and the AVX2 tier give the bytes of one plain slice.
TEST(BgMergeFilter, SlicedInPlaceAndAvx2EqualThePlainRun) {
    const bool avx2 = cpu_features().avx && cpu_features().avx2;
    std::mt19937 rng(17);
    const uint32_t w = 37, h = 53;
    for (PixFmt fmt : {PixFmt_RGBA8, PixFmt_RGBA16, PixFmt_RGBA32F, PixFmt_RGBX8}) {
        const size_t bpp = pixel_bytes(fmt);
        Frame src(w, h, fmt);
        for (uint32_t y = 0; y < h; ++y) {
            uint8_t *row = src->data[0] + y * src->linesize[0];
            for (size_t b = 0; b < w * bpp; ++b) row[b] = uint8_t(rng());
            if (fmt == PixFmt_RGBA32F)
                for (uint32_t v = 0; v < w * 4; ++v) {
                    const float x = float(rng() % 1001) / 1000.0f;  // 0..1, with exact 0 and 1
                    memcpy(row + 4 * v, &x, 4);
                }
        }
        for (uint32_t background = 0; background <= 5; ++background)
            for (float opacity : {1.0f, 0.6f})
                for (bool straight : {true, false}) {
                    SCOPED_TRACE(testing::Message() << get_pix_fmt_name(fmt) << " bg " << background << " opacity "
                                                    << opacity << " straight " << straight);
                    auto run = [&](uint8_t in_place, uint8_t sliced, uint8_t allow_avx2) {
                        Frame in(w, h, fmt);
                        video_frame_copy(in.f, src.f);
                        Filter f(create_filter_bg_merge(
                            merge(fmt, w, h, background, straight, opacity, in_place, sliced, allow_avx2)));
                        EXPECT_EQ(run_node(f.f, in.f), "");
                        return pipetest::plane_bytes(f.f->output, 0, w * bpp, h);
                    };
                    const auto plain = run(0, 0, 0);
                    EXPECT_EQ(run(0, 1, 0), plain);
                    EXPECT_EQ(run(1, 1, 0), plain);
                    if (avx2) { EXPECT_EQ(run(0, 1, 1), plain); }
                }
    }
    if (!avx2) GTEST_SKIP() << "no AVX2: tier compared only where it exists";
}

TEST(BgMergeFilter, RefusedParametersAndFrames) {
    struct Case {
        BgMergeParams p;
        const char *message;
    } cases[] = {
        {merge(PixFmt_RGBA8, 4, 4, 6, true), "Unknown background bg merge"},
        {merge(PixFmt_PlanarRGBA8, 4, 4, BgMerge_Black, true), "Unknown bg merge src format"},
        {merge(PixFmt_PlanarRGBA8, 4, 4, BgMerge_None, true, 0.5f), "Unknown bg merge src format"},
        {merge(PixFmt_Undefined, 4, 4, BgMerge_None, true), "Can't get pix descriptor : Unknown pixfmt"},
    };
    for (const auto &c : cases) EXPECT_EQ(error_of([&] { video_filter_free(create_filter_bg_merge(c.p)); }), c.message);

    // Background "none" at opacity 1 takes any layout and copies it.
    Filter keep(create_filter_bg_merge(merge(PixFmt_YUV420, 4, 4, BgMerge_None, true)));
    Frame yuv(4, 4, PixFmt_YUV420);
    memset(yuv->data[1], 77, yuv->data_size[1]);
    ASSERT_EQ(run_node(keep.f, yuv.f), "");
    EXPECT_EQ(keep.f->output->pix_fmt, PixFmt_YUV420);
    EXPECT_EQ(keep.f->output->data[1][3], 77);

    Filter f(create_filter_bg_merge(merge(PixFmt_RGBA8, 8, 4, BgMerge_White, true)));
    EXPECT_EQ(f.f->type, VideoFilterType_BgMerge);
    Frame wide(9, 4, PixFmt_RGBA8), tall(8, 5, PixFmt_RGBA8), other(8, 4, PixFmt_RGBX8), cut(8, 4, PixFmt_RGBA8);
    cut->data_size[0] = 8 * 4 * 3;
    EXPECT_EQ(run_node(f.f, nullptr), "Invalid no frame bg merge");
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_node(f.f, wide.f), "Invalid src width bg merge");
    EXPECT_EQ(run_node(f.f, tall.f), "Invalid src height bg merge");
    EXPECT_EQ(run_node(f.f, other.f), "Invalid src pix fmt bg merge");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Invalid src width bg merge : Found : 9 ; Expected : 8\n"
              "Invalid src height bg merge : Found : 5 ; Expected : 4\n"
              "Invalid src pix fmt bg merge : Found : Packed RGBX8 ; Expected : Packed RGBA8\n");
    EXPECT_EQ(run_node(f.f, cut.f), "Invalid input frame size");
}

// Straight alpha over white agrees with the ffmpeg tool's overlay within one code value.
TEST(BgMergeFilter, OverWhiteAgreesWithFfmpegOverlay) {
    const std::string src =
        testutil::shell_quote("testsrc2=size=96x64,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='255*X/W'");
    const auto rgba = testutil::ffmpeg_raw_frame("-f lavfi -i " + src, "rgba");
    const auto want =
        testutil::ffmpeg_raw_frame("-f lavfi -i color=white:size=96x64 -f lavfi -i " + src + " -filter_complex " +
                                       testutil::shell_quote("[0][1]overlay=format=rgb"),
                                   "rgba");
    ASSERT_EQ(rgba.size(), 96u * 64 * 4);
    ASSERT_EQ(want.size(), rgba.size());
    Frame in(96, 64, PixFmt_RGBA8);
    pipetest::fill_plane(in.f, 0, rgba.data(), 96 * 4, 64);
    Filter f(create_filter_bg_merge(merge(PixFmt_RGBA8, 96, 64, BgMerge_White, true)));
    ASSERT_EQ(run_node(f.f, in.f), "");
    const auto got = pipetest::plane_bytes(f.f->output, 0, 96 * 4, 64);
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (i % 4 != 3) worst = std::max(worst, std::abs(int(got[i]) - int(want[i])));
    EXPECT_LE(worst, 1);
}

}  // namespace
