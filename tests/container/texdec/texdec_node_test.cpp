// Texture decode node: creation checks, geometry, HAP Q Alpha merging, and the
// whole decode path against ffmpeg's pixels.
#include "container/texdec/dxt_decode_filter.h"
#include "container/hap/hap_frame.h"
#include "container/hap/hap_test_clips.h"
#include "container/node_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using nodetest::Filter;
using nodetest::run_node;

std::string create_error(const DxtDecodeParams &p) {
    try {
        video_filter_free(create_filter_dxt_decode(p));
    } catch (const std::exception &e) { return e.what(); }
    return "";
}

TEST(TexdecNode, CreationChecks) {
    struct Case {
        DxtDecodeParams p;
        const char *error;
    } cases[] = {
        {{HapCodec_HAP, 64, 64, 0, PixFmt_RGBA8, 0}, ""},
        {{HapCodec_HAPQA, 64, 64, 0, PixFmt_RGBX8, 1}, ""},
        {{HapCodec(6), 64, 64, 0, PixFmt_RGBA8, 0}, "invalid codec"},
        {{HapCodec_HAP, 64, 64, 0, PixFmt_RGB8, 0}, "Invalid pixel format"},
        {{HapCodec_HAP, 64, 64, 0, PixFmt_PlanarRGBA8, 0}, "Invalid pixel format"},
        {{HapCodec_HAP, 64, 64, 0, PixFmt_RGBA16, 0}, "Invalid pixel format"},
        {{HapCodec_HAP, 70000, 4, 0, PixFmt_RGBA8, 0}, "Can't create dxt decodeur ctx"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(create_error(c.p), c.error);
    }
}

TEST(TexdecNode, PartialBlocksAndShortInputs) {
    Filter node(create_filter_dxt_decode({HapCodec_HAPAlphaOnly, 6, 5, 0, PixFmt_RGBA8, 0}));
    const VideoFrame *out = node.f->output;
    EXPECT_EQ(out->width, 6u);
    EXPECT_EQ(out->height, 5u);
    EXPECT_EQ(out->alloc_width, 8u);
    EXPECT_EQ(out->alloc_height, 8u);
    VideoFrame *in = video_frame_new();
    video_frame_alloc_dxt(in, 6, 5, VideoFrameDxtData_HAPAlphaOnly);
    for (int k = 0; k < 4; ++k) {
        uint8_t *b = in->data[0] + 8 * k;
        std::memset(b, 0, 8);
        b[0] = b[1] = uint8_t(50 * (k + 1));
    }
    in->frame_index = 12;
    ASSERT_EQ(run_node(node.f, in), "");
    EXPECT_EQ(out->frame_index, 12u);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            const uint8_t *p = out->data[0] + y * out->linesize[0] + 4 * x;
            const uint8_t v = uint8_t(50 * ((y / 4) * 2 + x / 4 + 1));
            EXPECT_EQ(p[0], v);
            EXPECT_EQ(p[3], 255);
        }
    in->data_size[0] -= 1;
    EXPECT_EQ(run_node(node.f, in), "Invalid inputs");
    video_frame_destroy(&in);
}

TEST(TexdecNode, QAlphaTakesAlphaFromSecondTexture) {
    for (uint8_t option : {0, 1}) {
        SCOPED_TRACE(int(option));
        Filter node(create_filter_dxt_decode({HapCodec_HAPQA, 8, 4, 0, PixFmt_RGBA8, option}));
        VideoFrame *in = video_frame_new();
        video_frame_alloc_dxt(in, 8, 4, VideoFrameDxtData_HAPQA);
        std::memset(in->data[0], 0, in->data_size[0]);
        for (int k = 0; k < 2; ++k) {
            uint8_t *c = in->data[0] + 16 * k;
            c[0] = c[1] = 90;  // Y 90 everywhere, Co = Cg = 0 -> grey-ish colour
            uint8_t *a = in->data[1] + 8 * k;
            std::memset(a, 0, 8);
            a[0] = a[1] = uint8_t(k ? 30 : 200);
        }
        ASSERT_EQ(run_node(node.f, in), "");
        const uint8_t *left = node.f->output->data[0], *right = left + 16;
        EXPECT_EQ(left[3], 200);
        EXPECT_EQ(right[3], 30);
        // Colour bytes are those of the colour texture alone, by the chosen conversion.
        uint8_t ref[4 * 16];
        (option ? decode_block_ycocg_float : decode_block_ycocg_int)(ref, 16, in->data[0]);
        for (int y = 0; y < 4; ++y)
            for (int i = 0; i < 16; ++i)
                if (i % 4 != 3) { EXPECT_EQ(left[y * node.f->output->linesize[0] + i], ref[y * 16 + i]); }
        video_frame_destroy(&in);
    }
}

TEST(TexdecNode, FfmpegFramesDecodeToFfmpegPixels) {
    struct Case {
        const char *format;
        HapCodec codec;
        int channels;
    } cases[] = {{"hap", HapCodec_HAP, 3}, {"hap_alpha", HapCodec_HAPA, 4}, {"hap_q", HapCodec_HAPQ, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        const uint32_t w = 192, h = 108;
        const auto &clip = haptest::ffmpeg_hap_clip(c.format, w, h);
        ASSERT_TRUE(clip.ok);
        Filter hap(create_filter_hap_frame_decode({c.codec, w, h, 0, 1}));
        Filter tex(create_filter_dxt_decode({c.codec, w, h, 0, PixFmt_RGBA8, 0}));
        for (size_t i = 0; i < clip.frames.size(); ++i) {
            auto bytes = clip.frames[i];
            VideoFrame *sample = video_frame_new();
            video_frame_set_compressed_data(sample, bytes.data(), uint32_t(bytes.size()), VideoFrameHapData);
            ASSERT_EQ(run_node(hap.f, sample), "");
            ASSERT_EQ(run_node(tex.f, hap.f->output), "");
            const VideoFrame *out = tex.f->output;
            int worst = 0;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    for (int ch = 0; ch < c.channels; ++ch)
                        worst = std::max(worst, std::abs(int(out->data[0][y * out->linesize[0] + 4 * x + ch]) -
                                                         int(clip.rgba[i][(y * w + x) * 4 + ch])));
            EXPECT_EQ(worst, 0);
            video_frame_destroy(&sample);
        }
    }
}

}  // namespace
