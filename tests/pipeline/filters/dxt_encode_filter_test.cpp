#include "pipeline/filters/dxt_encode_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "container/node_test_util.h"
#include "pipeline/filters/frames_util.h"
#include "media/error_of.h"
#include "texenc/dxtenc.h"

namespace {

using mediatest::error_of;
using nodetest::Filter;
using nodetest::run_node;
using pipetest::Frame;

DxtEncodeParams params(uint32_t codec, uint32_t w, uint32_t h, PixFmt fmt, uint8_t quality = 1, uint8_t luma = 0) {
    return DxtEncodeParams{codec, w, h, uint32_t(fmt), quality, luma};
}

TEST(DxtEncodeFilter, OutputFrameDescribesTheTextureBuffer) {
    struct Case {
        uint32_t codec;
        uint32_t w, h;
        uint32_t alloc_w, alloc_h;
        VideoFrameDataDescriptor descriptor;
        uint32_t nb_planes;
        int64_t line[2];
        uint8_t block_bytes[2];
    } cases[] = {
        {HapCodec_HAP, 1920, 1080, 1920, 1080, VideoFrameDxtData_HAP, 1, {3840, 0}, {8, 0}},
        {HapCodec_HAPA, 5, 3, 8, 4, VideoFrameDxtData_HAPA, 1, {32, 0}, {16, 0}},
        {HapCodec_HAPQ, 8, 8, 8, 8, VideoFrameDxtData_HAPQ, 1, {32, 0}, {16, 0}},
        {HapCodec_HAPQA, 1918, 1078, 1920, 1080, VideoFrameDxtData_HAPQA, 2, {7680, 3840}, {16, 8}},
        {HapCodec_HAPAlphaOnly, 4, 4, 4, 4, VideoFrameDxtData_HAPAlphaOnly, 1, {8, 0}, {8, 0}},
        {HapCodec_HAPR, 13, 1, 16, 4, VideoFrameDxtData_HAPR, 1, {64, 0}, {16, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.descriptor);
        Filter f(create_filter_dxt_encode(params(c.codec, c.w, c.h, PixFmt_RGBA8)));
        ASSERT_EQ(f.f->type, VideoFilterType_DxtEncode);
        const VideoFrame *out = f.f->output;
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->width, c.w);
        EXPECT_EQ(out->height, c.h);
        EXPECT_EQ(out->alloc_width, c.alloc_w);
        EXPECT_EQ(out->alloc_height, c.alloc_h);
        EXPECT_EQ(out->data_descriptor, c.descriptor);
        EXPECT_EQ(out->is_raw, 0);
        EXPECT_EQ(out->is_external, 1);
        ASSERT_EQ(out->nb_planes, c.nb_planes);
        uint64_t total = 0;
        for (uint32_t i = 0; i < c.nb_planes; ++i) {
            EXPECT_EQ(out->linesize[i], c.line[i]);
            EXPECT_EQ(out->block_bytes[i], c.block_bytes[i]);
            EXPECT_EQ(out->data_size[i], uint32_t(c.line[i] * (c.alloc_h / 4)));
            EXPECT_EQ(out->alloc_size[i], out->data_size[i]);
            total += out->data_size[i];
        }
        if (c.nb_planes == 2) { EXPECT_EQ(out->data[1], out->data[0] + out->data_size[0]); }
        const uint32_t enc_codec[] = {0, 1, 4, 5, 3, 6};
        EXPECT_EQ(total, dxtenc_encoded_size(uint16_t(c.w), uint16_t(c.h), enc_codec[c.codec], 0));
    }
    // The HAP Q Alpha buffer of 1918x1078: 480 x 270 blocks of 24 bytes.
    Filter qa(create_filter_dxt_encode(params(HapCodec_HAPQA, 1918, 1078, PixFmt_RGBA8)));
    EXPECT_EQ(uint64_t(qa.f->output->data_size[0]) + qa.f->output->data_size[1], 480ull * 270 * 24);
}

TEST(DxtEncodeFilter, RefusedParameters) {
    struct Case {
        DxtEncodeParams p;
        const char *message;
    } cases[] = {
        {params(0, 0, 16, PixFmt_RGBA8), "Invalid size (empty)"},
        {params(0, 16, 0, PixFmt_RGBA8), "Invalid size (empty)"},
        {params(0, 65536, 4, PixFmt_RGBA8), "Invalid size (Out of range)"},
        {params(0, 4, 65536, PixFmt_RGBA8), "Invalid size (Out of range)"},
        {params(6, 16, 16, PixFmt_RGBA8), "Invalid hap codec"},
        {params(0, 16, 16, PixFmt_RGBA32F), "Invalid input fmt"},
        {params(0, 16, 16, PixFmt_RGBX32F), "Invalid input fmt"},
        {params(0, 16, 16, PixFmt_PlanarRGB32F), "Invalid input fmt"},
        {params(0, 16, 16, PixFmt_YUV420), "Invalid input fmt"},
        {params(0, 16, 16, PixFmt_Undefined), "Invalid input fmt"},
        {params(0, 16, 16, PixFmt(77)), "Invalid input fmt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(error_of([&] { video_filter_free(create_filter_dxt_encode(c.p)); }), c.message);
    }
    testing::internal::CaptureStdout();
    error_of([] { create_filter_dxt_encode(params(0, 16, 16, PixFmt_RGBA32F)); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid input fmt encode : Packed RGBA32f LE\n");
    // The largest sides are taken.
    for (const auto &p : {params(0, 65535, 4, PixFmt_RGBA8), params(0, 4, 65535, PixFmt_RGB8)}) {
        Filter f(create_filter_dxt_encode(p));
        EXPECT_EQ(f.f->output->alloc_width, p.width == 65535 ? 65536u : 4u);
    }
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v) b = uint8_t(rng());
    return v;
}

// The texture of the encoder called directly with the given codec, quality and layout.
std::vector<uint8_t> direct_encode(uint32_t enc_codec, uint8_t quality, uint32_t enc_fmt, bool no_alpha, uint32_t w,
                                   uint32_t h, const VideoFrame *in) {
    DxtEncContext ctx{};
    ctx.no_alpha = no_alpha;
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(w), uint16_t(h), enc_codec, quality, 1, enc_fmt, 0, 1, 0xf8), 0);
    std::vector<uint8_t> out(dxtenc_encoded_size(uint16_t(w), uint16_t(h), enc_codec, 0));
    const uint8_t *planes[4] = {in->data[0], in->data[1], in->data[2], in->data[3]};
    dxtenc_encode_frame(&ctx, out.data(), planes, in->linesize);
    return out;
}

std::vector<uint8_t> node_texture(const VideoFilter *f) {
    const VideoFrame *o = f->output;
    std::vector<uint8_t> v(o->data[0], o->data[0] + o->data_size[0]);
    if (o->nb_planes == 2) v.insert(v.end(), o->data[1], o->data[1] + o->data_size[1]);
    return v;
}

TEST(DxtEncodeFilter, QualityCodecAndLayoutReachTheEncoder) {
    const uint32_t w = 20, h = 12;
    Frame in(w, h, PixFmt_RGBA8);
    pipetest::fill_plane(in.f, 0, random_bytes(w * h * 4, 5).data(), w * 4, h);
    in->frame_index = 42;
    struct Case {
        const char *name;
        DxtEncodeParams p;
        uint32_t enc_codec;
        uint8_t quality;
        bool no_alpha;
    } cases[] = {
        {"quality 0 is slow", params(HapCodec_HAP, w, h, PixFmt_RGBA8, 0), DXTENC_CODEC_DXT1, 3, false},
        {"quality 7 is slow", params(HapCodec_HAP, w, h, PixFmt_RGBA8, 7), DXTENC_CODEC_DXT1, 3, false},
        {"quality 2 is normal", params(HapCodec_HAPA, w, h, PixFmt_RGBA8, 2), DXTENC_CODEC_DXT5, 2, false},
        {"alpha-only from luma", params(HapCodec_HAPAlphaOnly, w, h, PixFmt_RGBA8, 1, 1), DXTENC_CODEC_RGTC1_LUMA, 1,
         false},
        {"alpha-only from alpha", params(HapCodec_HAPAlphaOnly, w, h, PixFmt_RGBA8, 1, 0), DXTENC_CODEC_RGTC1_ALPHA, 1,
         false},
        {"RGBX keeps no alpha", params(HapCodec_HAPA, w, h, PixFmt_RGBX8, 1), DXTENC_CODEC_DXT5, 1, true},
        {"HAP Q Alpha", params(HapCodec_HAPQA, w, h, PixFmt_RGBA8, 1), DXTENC_CODEC_YCOCG_DXT5_ALPHA, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Filter f(create_filter_dxt_encode(c.p));
        in->pix_fmt = PixFmt(c.p.pix_fmt);
        ASSERT_EQ(run_node(f.f, in.f), "");
        EXPECT_EQ(f.f->output->frame_index, 42u);
        EXPECT_EQ(node_texture(f.f), direct_encode(c.enc_codec, c.quality, DXTENC_PIX_RGBA8, c.no_alpha, w, h, in.f));
    }
    // Slow and fast really differ on this picture, so the cases above tell them apart.
    in->pix_fmt = PixFmt_RGBA8;
    EXPECT_NE(direct_encode(DXTENC_CODEC_DXT1, 3, DXTENC_PIX_RGBA8, false, w, h, in.f),
              direct_encode(DXTENC_CODEC_DXT1, 1, DXTENC_PIX_RGBA8, false, w, h, in.f));
}

TEST(DxtEncodeFilter, RefusedInputsLeaveTheBufferUnchanged) {
    const uint32_t w = 16, h = 8;
    Filter f(create_filter_dxt_encode(params(HapCodec_HAP, w, h, PixFmt_RGBA8)));
    Frame good(w, h, PixFmt_RGBA8);
    pipetest::fill_plane(good.f, 0, random_bytes(w * h * 4, 9).data(), w * 4, h);
    ASSERT_EQ(run_node(f.f, good.f), "");
    const auto before = node_texture(f.f);

    Frame other_fmt(w, h, PixFmt_RGBX8);
    Frame narrow(w - 4, h, PixFmt_RGBA8);
    Frame short_rows(w, h - 1, PixFmt_RGBA8);
    Frame short_line(w, h, PixFmt_RGBA8, 0);
    short_line->linesize[0] = w * 4 - 4;
    Frame no_plane(w, h, PixFmt_RGBA8);
    uint8_t *keep = no_plane->data[0];
    no_plane->data[0] = nullptr;
    struct Case {
        const char *name;
        VideoFrame *in;
        const char *message;
    } cases[] = {
        {"other layout", other_fmt.f, "Invalid pix fmt input"},
        {"narrower frame", narrow.f, "Invalid input frame size"},
        {"fewer rows", short_rows.f, "Invalid input frame size"},
        {"line shorter than a row", short_line.f, "Invalid input frame size"},
        {"missing plane", no_plane.f, "Invalid input frame size"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_node(f.f, c.in), c.message);
        EXPECT_EQ(node_texture(f.f), before);
    }
    no_plane->data[0] = keep;
    testing::internal::CaptureStdout();
    run_node(f.f, other_fmt.f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid pix fmt : Packed RGBX8 (expected : Packed RGBA8)\n");
    VideoFrame **slots = f.f->inputs;
    f.f->inputs = nullptr;
    EXPECT_EQ(error_of([&] { f.f->process(f.f); }), "Invalid inputs");
    f.f->inputs = slots;
}

}  // namespace
