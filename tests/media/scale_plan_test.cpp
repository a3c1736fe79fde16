// Which plan the scale node settles on, and what it refuses.
#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "media/scale/scale_filter_internal.h"
#include "platform/core/cpu.h"
#include "platform/core/errors.h"
#include "scale_frames.h"

using namespace scaletest;

namespace {

constexpr uint32_t kPremult = ScaleAlphaMode_Premultiplied;
constexpr uint32_t kStraight = ScaleAlphaMode_Straight;

struct PlanCase {
    const char *name;
    PixFmt src;
    uint32_t sw, sh;
    PixFmt dst;
    uint32_t dw, dh;
    uint32_t quality;
    uint8_t use_swscale;
    uint32_t src_alpha, dst_alpha;
    ScaleMode mode;
    ScaleAlphaOp op;
    RowKernel pre;
    RowKernel post;
    PlaneKernel step;           // kernel of plane 0, nullptr: step off
    uint32_t step_w1, step_h1;  // size of plane 1's step (when on)
    FillKernel fill;
};

const ScaleFilterData &data_of(const VideoFilter *f) { return *static_cast<const ScaleFilterData *>(f->priv_data); }

TEST(ScalePlan, ChoosesEngineKernelsAndAlphaOperation) {
    const PlanCase cases[] = {
        // Straight colour flattened premultiplied is multiplied by alpha, whether or not
        // the target keeps alpha; premultiplied to straight divides.
        {"rgba8 straight -> rgbx8 premult", PixFmt_RGBA8, 64, 32, PixFmt_RGBX8, 64, 32, 1, 0, kStraight, kPremult,
         ScaleMode_OwnKernels, ScaleAlphaOp_Premultiply, premult_rgba8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgba8 premult -> rgbx8 straight", PixFmt_RGBA8, 64, 32, PixFmt_RGBX8, 64, 32, 1, 0, kPremult, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Unpremultiply, unpremult_rgba8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgba8 straight -> rgba8 premult", PixFmt_RGBA8, 64, 32, PixFmt_RGBA8, 64, 32, 1, 0, kStraight, kPremult,
         ScaleMode_OwnKernels, ScaleAlphaOp_Premultiply, premult_rgba8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgba8 straight -> rgbx8 straight: plane copy", PixFmt_RGBA8, 64, 32, PixFmt_RGBX8, 64, 32, 1, 0, kStraight,
         kStraight, ScaleMode_OwnKernels, ScaleAlphaOp_Plain, nullptr, nullptr, copy_plane, 0, 0, nullptr},
        // Padding never becomes alpha.
        {"rgbx8 -> rgba8", PixFmt_RGBX8, 64, 32, PixFmt_RGBA8, 64, 32, 1, 0, kStraight, kStraight, ScaleMode_OwnKernels,
         ScaleAlphaOp_Plain, conv_rgbx8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgbx16 -> rgba16", PixFmt_RGBX16, 64, 32, PixFmt_RGBA16, 64, 32, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, conv_rgbx16_to_rgba16_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgbx32f -> rgba32f", PixFmt_RGBX32F, 64, 32, PixFmt_RGBA32F, 64, 32, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, conv_rgbx32f_to_rgba32f_c, nullptr, nullptr, 0, 0, nullptr},
        {"planar rgb8 -> planar rgba8: copy and fill", PixFmt_PlanarRGB8, 64, 32, PixFmt_PlanarRGBA8, 64, 32, 1, 0,
         kStraight, kStraight, ScaleMode_OwnKernels, ScaleAlphaOp_Plain, nullptr, nullptr, copy_plane, 64, 32,
         fill_alpha_plane_max},
        {"yuv420 -> yuv420 10 bits, odd size", PixFmt_YUV420, 7, 5, PixFmt_YUV420_10, 7, 5, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, nullptr, nullptr, conv_plane8_to_plane10_c, 4, 3, nullptr},
        {"yuv444 -> yuva444 10 bits", PixFmt_YUV444, 8, 8, PixFmt_YUVA444_10, 8, 8, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, nullptr, nullptr, conv_plane8_to_plane10_c, 8, 8,
         fill_alpha_plane_10bit},
        {"rgb8 -> bgr8 through planar rgb8", PixFmt_RGB8, 64, 32, PixFmt_BGR8, 64, 32, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, conv_rgb8_to_planar_rgb8_c, conv_planar_rgb8_to_bgr8_c, nullptr, 0,
         0, nullptr},
        {"uyvy -> yuv422 10 bits", PixFmt_UYVY, 64, 32, PixFmt_YUV422_10, 64, 32, 1, 0, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, conv_uyvy_to_planar_yuv422_10_c, nullptr, nullptr, 0, 0, nullptr},
        // Exact halving of packed 8-bit RGBA at bilinear quality only.
        {"rgba8 half size, bilinear", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 1, 1, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_KeepAlpha, halfsize_rgba8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgbx8 -> rgba8 half size", PixFmt_RGBX8, 64, 32, PixFmt_RGBA8, 32, 16, 1, 1, kStraight, kStraight,
         ScaleMode_OwnKernels, ScaleAlphaOp_Plain, halfsize_rgbx8_to_rgba8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgba8 half size, bicubic, libswscale", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 2, 1, kStraight,
         kStraight, ScaleMode_Swscale, ScaleAlphaOp_KeepAlpha, nullptr, nullptr, nullptr, 0, 0, nullptr},
        {"rgba8 half size, bicubic, zimg", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 2, 0, kStraight,
         kStraight, ScaleMode_Zimg, ScaleAlphaOp_KeepAlpha, conv_rgba8_to_planar_rgba8_c, conv_planar_rgba8_to_rgba8_c,
         nullptr, 0, 0, nullptr},
        {"bgr8 half size goes to libswscale", PixFmt_BGR8, 64, 32, PixFmt_BGR8, 32, 16, 1, 1, kStraight, kStraight,
         ScaleMode_Swscale, ScaleAlphaOp_Plain, nullptr, nullptr, nullptr, 0, 0, nullptr},
        // Alpha dropped: zimg never sees it (it would flatten straight colour over black).
        {"rgba8 -> yuv420 resized, zimg", PixFmt_RGBA8, 64, 32, PixFmt_YUV420, 48, 24, 1, 0, kStraight, kStraight,
         ScaleMode_Zimg, ScaleAlphaOp_Plain, conv_rgba8_to_planar_rgb8_c, nullptr, nullptr, 0, 0, nullptr},
        {"rgba32f -> yuv420 resized, libswscale via planar 16", PixFmt_RGBA32F, 64, 32, PixFmt_YUV420, 48, 24, 1, 1,
         kStraight, kStraight, ScaleMode_Swscale, ScaleAlphaOp_Plain, conv_rgba32f_to_planar_rgba16_c, nullptr, nullptr,
         0, 0, nullptr},
        {"float to float skips libswscale", PixFmt_RGBA32F, 64, 32, PixFmt_PlanarRGBA32F, 48, 24, 1, 1, kStraight,
         kStraight, ScaleMode_Zimg, ScaleAlphaOp_KeepAlpha, conv_rgba32f_to_planar_rgba32f_c, nullptr, nullptr, 0, 0,
         nullptr},
        // The alpha operation rides on the kernel after libswscale for a YUV source.
        {"yuva444 10 straight -> rgba8 premult", PixFmt_YUVA444_10, 64, 32, PixFmt_RGBA8, 48, 24, 1, 1, kStraight,
         kPremult, ScaleMode_Swscale, ScaleAlphaOp_Premultiply, nullptr, premult_rgba8_to_rgba8_c, nullptr, 0, 0,
         nullptr},
    };
    for (const PlanCase &c : cases) {
        SCOPED_TRACE(c.name);
        ScaleFilterParams p = make_params(c.src, c.sw, c.sh, c.dst, c.dw, c.dh);
        p.quality = c.quality;
        p.use_swscale = c.use_swscale;
        p.src_alpha_mode = c.src_alpha;
        p.dst_alpha_mode = c.dst_alpha;
        FilterPtr node(create_filter_scale(&p));
        ASSERT_EQ(node->type, VideoFilterType_Scale);
        ASSERT_EQ(node->nb_inputs, 1u);
        const ScaleFilterData &d = data_of(node.get());
        EXPECT_EQ(d.mode, c.mode);
        EXPECT_EQ(d.alpha_op, c.op);
        EXPECT_EQ(d.kernel_pre, c.pre);
        EXPECT_EQ(d.kernel_post, c.post);
        EXPECT_EQ(d.plane_step_on, c.step != nullptr);
        if (c.step) {
            EXPECT_EQ(d.plane_step[0].kernel, c.step);
            EXPECT_EQ(d.plane_step[1].width, c.step_w1);
            EXPECT_EQ(d.plane_step[1].height, c.step_h1);
        }
        EXPECT_EQ(d.fill_alpha_on, c.fill != nullptr);
        if (c.fill) { EXPECT_EQ(d.fill_alpha, c.fill); }
        EXPECT_EQ(node->output->pix_fmt, c.dst);
        EXPECT_EQ(node->output->width, c.dw);
        EXPECT_EQ(node->output->height, c.dh);
    }
}

TEST(ScalePlan, DisabledFastPathAndMatrixChangeLeaveOwnKernels) {
    ScaleFilterParams p = make_params(PixFmt_RGBA8, 64, 32, PixFmt_RGBA8, 32, 16);
    p.disable_fast_path = 1;
    FilterPtr a(create_filter_scale(&p));
    EXPECT_EQ(data_of(a.get()).mode, ScaleMode_Zimg);

    p = make_params(PixFmt_YUV420, 64, 32, PixFmt_YUV420, 64, 32);
    p.dst_matrix = 1;
    p.use_swscale = 1;
    FilterPtr b(create_filter_scale(&p));
    EXPECT_EQ(data_of(b.get()).mode, ScaleMode_Swscale);

    // Interlaced pictures go to zimg, with one graph per field.
    p = make_params(PixFmt_YUV422, 64, 32, PixFmt_YUV422, 32, 16);
    p.use_swscale = 1;
    p.interlaced = 1;
    FilterPtr c(create_filter_scale(&p));
    EXPECT_EQ(data_of(c.get()).mode, ScaleMode_Zimg);
    EXPECT_NE(data_of(c.get()).zimg[1].graph, nullptr);
}

// The AVX2 tier is chosen once, only when the creator allows it and the processor has it.
TEST(ScalePlan, ChoosesTheAvx2TierOnlyWhenAllowed) {
    const CpuFeatures &cpu = cpu_features();
    if (!(cpu.avx && cpu.avx2)) GTEST_SKIP() << "no AVX2";
    struct Case {
        uint8_t allow;
        RowKernel pre;
    };
    const Case cases[] = {{0, halfsize_rgba8_to_rgba8_c}, {1, halfsize_rgba8_to_rgba8_avx2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.allow));
        ScaleFilterParams p = make_params(PixFmt_RGBA8, 128, 64, PixFmt_RGBA8, 64, 32);
        p.allow_avx2 = c.allow;
        FilterPtr node(create_filter_scale(&p));
        EXPECT_EQ(data_of(node.get()).use_avx2, c.allow == 1);
        EXPECT_EQ(data_of(node.get()).kernel_pre, c.pre);
    }
}

TEST(ScalePlan, RefusesWithTheNodesMessages) {
    struct Refusal {
        const char *name;
        ScaleFilterParams p;
        const char *message;
    };
    auto with = [](ScaleFilterParams p, auto edit) {
        edit(p);
        return p;
    };
    const ScaleFilterParams base = make_params(PixFmt_RGBA8, 64, 32, PixFmt_YUV420, 48, 24);
    const Refusal cases[] = {
        {"v210 target", with(base, [](ScaleFilterParams &p) { p.dst_pix_fmt = PixFmt_V210; }),
         "Unsupported output pix fmt"},
        {"yuva420 target", with(base, [](ScaleFilterParams &p) { p.dst_pix_fmt = PixFmt_YUVA420; }),
         "Unsupported output pix fmt"},
        {"yuva444 source", with(base, [](ScaleFilterParams &p) { p.src_pix_fmt = PixFmt_YUVA444; }),
         "Unsupported input pix fmt\n"},
        {"uyvya source", with(base, [](ScaleFilterParams &p) { p.src_pix_fmt = PixFmt_UYVYA; }),
         "Unsupported input pix fmt\n"},
        {"code above the table", with(base, [](ScaleFilterParams &p) { p.src_pix_fmt = 77; }),
         "Unsupported input pix fmt\n"},
        {"zero width", with(base, [](ScaleFilterParams &p) { p.dst_w = 0; }), "Invalid dimensions (zero)"},
        {"zero height", with(base, [](ScaleFilterParams &p) { p.src_h = 0; }), "Invalid dimensions (zero)"},
        {"unknown quality", with(base, [](ScaleFilterParams &p) { p.quality = 4; }),
         "Scale filter : scale quality unknown"},
        // 4:2:0 needs even field heights.
        {"interlaced 4:2:0 with odd field",
         with(base,
              [](ScaleFilterParams &p) {
                  p.src_pix_fmt = PixFmt_YUV420;
                  p.src_h = 30;
                  p.interlaced = 1;
              }),
         "Scale filter : Can't build graph"},
    };
    for (const Refusal &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            VideoFilter *f = create_filter_scale(&c.p);
            video_filter_free(f);
            ADD_FAILURE() << "accepted";
        } catch (const ProcessError &e) { EXPECT_EQ(std::string(e.what()), c.message); }
    }
}

TEST(ScaleHelpers, FitDimKeepsRatioInsideBox) {
    struct Fit {
        unsigned sw, sh, bw, bh, w, h;
    };
    const Fit cases[] = {
        {1920, 1080, 500, 500, 500, 281},
        {1080, 1920, 500, 500, 281, 500},
        {1, 10000, 100, 100, 1, 100},
        {10000, 1, 100, 100, 100, 1},
        {1280, 720, 1920, 1080, 1920, 1080},
        {640, 480, 1920, 1080, 1440, 1080},
        {3, 2, 5, 5, 5, 3},  // 3.3333 rounds down
    };
    for (const Fit &c : cases) {
        SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " in " + std::to_string(c.bw) + "x" +
                     std::to_string(c.bh));
        unsigned w = 0, h = 0;
        get_fit_dim_keep_ratio(&w, &h, c.sw, c.sh, c.bw, c.bh);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
}

TEST(ScaleHelpers, LayoutTables) {
    EXPECT_EQ(get_ff_pix_fmt(PixFmt_RGBX16), AV_PIX_FMT_RGBA64LE);
    EXPECT_EQ(get_ff_pix_fmt(PixFmt_PlanarRGBA16), AV_PIX_FMT_GBRAP16LE);
    EXPECT_EQ(get_ff_pix_fmt(PixFmt_YUVA420), AV_PIX_FMT_YUVA420P);
    EXPECT_EQ(get_ff_pix_fmt(PixFmt_YUV422_12), AV_PIX_FMT_YUV422P12LE);
    for (PixFmt f : {PixFmt_RGBA32F, PixFmt_V210, PixFmt_CMYK8}) {
        SCOPED_TRACE(get_pix_fmt_name(f));
        EXPECT_THROW(
            {
                try {
                    get_ff_pix_fmt(f);
                } catch (const ProcessError &e) {
                    EXPECT_STREQ(e.what(), "Request unknown pix fmt for ff");
                    throw;
                }
            },
            ProcessError);
    }
    EXPECT_EQ(get_ff_compatible_pix_fmt(PixFmt_RGBX32F), PixFmt_PlanarRGB16);
    EXPECT_EQ(get_ff_compatible_pix_fmt(PixFmt_PlanarRGBA32F), PixFmt_PlanarRGBA16);
    EXPECT_EQ(get_ff_compatible_pix_fmt(PixFmt_V210), PixFmt_YUV422_10);
    EXPECT_EQ(get_ff_compatible_pix_fmt(PixFmt_CMYK8), PixFmt_Undefined);

    EXPECT_EQ(get_scale_planar_fmt(PixFmt_ARGB8, true), PixFmt_PlanarRGBA8);
    EXPECT_EQ(get_scale_planar_fmt(PixFmt_RGBA16, false), PixFmt_PlanarRGB16);
    EXPECT_EQ(get_scale_planar_fmt(PixFmt_YUVA444_12, false), PixFmt_YUV444_12);
    EXPECT_EQ(get_scale_planar_fmt(PixFmt_V210, true), PixFmt_YUV422_10);
    EXPECT_THROW(get_scale_planar_fmt(PixFmt_YUVA420, false), ProcessError);  // no 4:2:0 without alpha pair
    EXPECT_THROW(get_scale_planar_fmt(PixFmt_CMYK8, false), ProcessError);
}

}  // namespace
