// Pixels through the scale node: own kernels, colour conversion, fields, refused inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/scale/scale_filter_internal.h"
#include "platform/core/errors.h"
#include "scale_frames.h"

using namespace scaletest;

namespace {

std::vector<uint8_t> words(std::initializer_list<uint16_t> v) {
    std::vector<uint8_t> out;
    for (uint16_t w : v) {
        out.push_back(uint8_t(w & 0xFF));
        out.push_back(uint8_t(w >> 8));
    }
    return out;
}

TEST(ScaleConvert, OwnKernelPlansGiveExactSamples) {
    struct Case {
        const char *name;
        PixFmt src;
        uint32_t sw, sh;
        std::vector<uint8_t> in;
        PixFmt dst;
        uint32_t dw, dh;
        uint32_t src_alpha, dst_alpha;
        std::vector<uint8_t> want;
        std::vector<bool> ignore;  // bytes whose value does not matter (padding)
    };
    const Case cases[] = {
        {"rgbx8 -> rgba8: alpha opaque, padding dropped",
         PixFmt_RGBX8,
         2,
         1,
         {10, 20, 30, 77, 40, 50, 60, 0},
         PixFmt_RGBA8,
         2,
         1,
         1,
         1,
         {10, 20, 30, 255, 40, 50, 60, 255},
         {}},
        {"rgba8 straight -> rgbx8 premultiplied",
         PixFmt_RGBA8,
         3,
         1,
         {255, 200, 254, 128, 200, 200, 200, 100, 254, 254, 254, 254},
         PixFmt_RGBX8,
         3,
         1,
         1,
         0,
         {128, 100, 127, 0, 78, 78, 78, 0, 253, 253, 253, 0},
         {false, false, false, true, false, false, false, true, false, false, false, true}},
        {"rgba8 premultiplied -> rgbx8 straight",
         PixFmt_RGBA8,
         2,
         1,
         {64, 64, 64, 128, 200, 10, 0, 100},
         PixFmt_RGBX8,
         2,
         1,
         0,
         1,
         {128, 128, 128, 0, 255, 26, 0, 0},
         {false, false, false, true, false, false, false, true}},
        {"planar rgb8 -> planar rgba8: alpha filled",
         PixFmt_PlanarRGB8,
         2,
         1,
         {1, 2, 3, 4, 5, 6},
         PixFmt_PlanarRGBA8,
         2,
         1,
         1,
         1,
         {1, 2, 3, 4, 5, 6, 255, 255},
         {}},
        {"yuv420 -> yuv420 10 bits, odd size",
         PixFmt_YUV420,
         3,
         3,
         {0, 128, 255, 1, 2, 3, 4, 5, 6, /*U*/ 0, 255, 128, 64, /*V*/ 255, 0, 1, 2},
         PixFmt_YUV420_10,
         3,
         3,
         1,
         1,
         words({0, 514, 1023, 4, 8, 12, 16, 20, 24, 0, 1023, 514, 257, 1023, 0, 4, 8}),
         {}},
        // (s + ((s >> 1) & 1)) >> 2 per byte: a remainder of 3 rounds up, 2 rounds down.
        {"rgba8 half size",
         PixFmt_RGBA8,
         4,
         2,
         {0, 0, 0, 0, 1, 1, 0, 0, 10, 10, 10, 10, 10, 10, 10, 10,
          1, 0, 1, 0, 1, 1, 2, 7, 10, 10, 10, 10, 10, 10, 10, 10},
         PixFmt_RGBA8,
         2,
         1,
         1,
         1,
         {1, 0, 1, 2, 10, 10, 10, 10},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScaleFilterParams p = make_params(c.src, c.sw, c.sh, c.dst, c.dw, c.dh);
        p.src_alpha_mode = c.src_alpha;
        p.dst_alpha_mode = c.dst_alpha;
        FramePtr in = frame_from_raw(c.in, c.src, c.sw, c.sh);
        const std::vector<uint8_t> got = convert(p, in.get());
        ASSERT_EQ(got.size(), c.want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (!c.ignore.empty() && c.ignore[i]) continue;
            EXPECT_EQ(int(got[i]), int(c.want[i])) << "byte " << i;
        }
    }
}

// Limited-range grey (Y 126, U = V = 128) is RGB 128 on every engine: colour conversion
// goes through the matrix and range only, never through linear light.
TEST(ScaleConvert, LimitedGreyStaysMidGreyOnEveryEngine) {
    struct Case {
        const char *name;
        uint8_t use_swscale;
        uint32_t matrix;
        PixFmt dst;
        uint32_t dw, dh;
        uint32_t interlaced;
    };
    const Case cases[] = {
        {"zimg, planar rgb8, BT.709", 0, 3, PixFmt_PlanarRGB8, 12, 6, 0},
        {"zimg, rgba8, SD", 0, 1, PixFmt_RGBA8, 12, 6, 0},
        {"zimg, rgb16 planar, same size", 0, 3, PixFmt_PlanarRGB16, 16, 8, 0},
        {"zimg interlaced, rgbx8", 1, 3, PixFmt_RGBX8, 12, 6, 1},
        {"libswscale, rgba8", 1, 3, PixFmt_RGBA8, 12, 6, 0},
    };
    const uint32_t w = 16, h = 8;
    std::vector<uint8_t> yuv(w * h * 3, 128);
    std::fill(yuv.begin(), yuv.begin() + w * h, 126);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScaleFilterParams p = make_params(PixFmt_YUV444, w, h, c.dst, c.dw, c.dh);
        p.src_range = 0;
        p.src_matrix = p.dst_matrix = c.matrix;
        p.use_swscale = c.use_swscale;
        p.interlaced = c.interlaced;
        p.disable_fast_path = 1;
        FramePtr in = frame_from_raw(yuv, PixFmt_YUV444, w, h);
        const std::vector<uint8_t> got = convert(p, in.get());
        const PixDescriptor d = get_pix_descriptor(c.dst);
        const bool sixteen = d.bit_depth[0] == 16;
        const bool packed4 = (d.flags & PixDesc_Packed) && d.bytes_per_pixel[0] == 4;
        ASSERT_FALSE(got.empty());
        for (size_t i = 0; i < got.size(); i += sixteen ? 2 : 1) {
            if (packed4 && i % 4 == 3) continue;
            const int v = sixteen ? got[i] | got[i + 1] << 8 : got[i];
            // (126 - 16) / 219 of full scale.
            ASSERT_EQ(v, sixteen ? 32917 : 128) << "sample " << i;
        }
    }
}

// Each field is resampled apart; an odd target height leaves the last row to be repeated,
// never uninitialised.
TEST(ScaleConvert, InterlacedKeepsFieldsApartAndFillsOddLastRow) {
    const uint32_t w = 16, h = 12;
    std::vector<uint8_t> yuv(w * h * 3, 128);
    for (uint32_t y = 0; y < h; ++y) memset(&yuv[y * w], y % 2 ? 200 : 60, w);
    struct Case {
        const char *name;
        PixFmt dst;
        uint32_t interlaced;
    };
    const Case cases[] = {
        {"yuv444 target, top field first", PixFmt_YUV444, 1},
        {"yuv444 target, bottom field first", PixFmt_YUV444, 2},
        {"uyvy target through a kernel", PixFmt_UYVY, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScaleFilterParams p = make_params(PixFmt_YUV444, w, h, c.dst, 8, 7);
        p.interlaced = c.interlaced;
        FilterPtr node(create_filter_scale(&p));
        auto *d = static_cast<ScaleFilterData *>(node->priv_data);
        // Poison every byte the node could leave alone.
        for (VideoFrame *f : {node->output, &d->frame_mid})
            for (uint32_t i = 0; i < f->nb_planes; ++i) memset(f->data[i], 0xAB, f->alloc_size[i]);
        FramePtr in = frame_from_raw(yuv, PixFmt_YUV444, w, h);
        node->inputs[0] = in.get();
        node->process(node.get());
        const VideoFrame *out = node->output;
        for (uint32_t y = 0; y < 7; ++y) {
            SCOPED_TRACE("row " + std::to_string(y));
            const uint8_t want_y = y == 6 ? 200 : (y % 2 ? 200 : 60);
            if (c.dst == PixFmt_UYVY) {
                const uint8_t *row = out->data[0] + y * out->linesize[0];
                for (uint32_t x = 0; x < 8; ++x) {
                    ASSERT_EQ(row[2 * x + 1], want_y);
                    ASSERT_EQ(row[2 * x], 128);
                }
            } else {
                for (uint32_t x = 0; x < 8; ++x) {
                    ASSERT_EQ(out->data[0][y * out->linesize[0] + x], want_y);
                    ASSERT_EQ(out->data[1][y * out->linesize[1] + x], 128);
                    ASSERT_EQ(out->data[2][y * out->linesize[2] + x], 128);
                }
            }
        }
    }
}

TEST(ScaleConvert, RefusesFramesThatDoNotMatchThePlan) {
    ScaleFilterParams p = make_params(PixFmt_RGBA8, 8, 4, PixFmt_RGBA8, 8, 4);
    FilterPtr node(create_filter_scale(&p));
    FramePtr wrong_fmt = frame_from_raw({}, PixFmt_RGB8, 8, 4);
    FramePtr wrong_size = frame_from_raw({}, PixFmt_RGBA8, 8, 5);
    struct Case {
        const char *name;
        VideoFrame *input;
        const char *message;
    };
    const Case cases[] = {
        {"smaller layout", wrong_fmt.get(), "Invalid input scaling pix fmt"},
        {"other size", wrong_size.get(), "Invalid input scaling resolution"},
        {"empty slot", nullptr, "Invalid inputs"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        node->inputs[0] = c.input;
        try {
            node->process(node.get());
            ADD_FAILURE() << "processed";
        } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), c.message); }
    }
}

TEST(ScaleConvert, RunsInsideAGraphFrameAfterFrame) {
    ScaleFilterParams p = make_params(PixFmt_RGB8, 32, 16, PixFmt_YUV420, 16, 8);
    p.use_swscale = 1;
    p.dst_range = 0;
    FilterGraph *graph = filter_graph_create(1, 1);
    filter_graph_add_filter(graph, create_filter_scale(&p));
    for (uint8_t v : {uint8_t(0), uint8_t(255), uint8_t(90)}) {
        SCOPED_TRACE(int(v));
        FramePtr in = frame_from_raw(std::vector<uint8_t>(32 * 16 * 3, v), PixFmt_RGB8, 32, 16);
        in->frame_index = v;
        VideoFrame *inputs[] = {in.get()};
        filter_graph_process(graph, inputs, 1);
        ASSERT_EQ(graph->output->frame_index, v);
        // Full-range grey to limited range: Y = 16 + v * 219 / 255, chroma neutral.
        const int want = 16 + (v * 219 + 127) / 255;
        EXPECT_NEAR(graph->output->data[0][5 * graph->output->linesize[0] + 7], want, 1);
        EXPECT_NEAR(graph->output->data[1][3], 128, 1);
    }
    filter_graph_free(graph);
}

}  // namespace
