// Compressed-block crop and convert node: crop rules, block geometry, re-packing,
// and agreement with the same crop and conversion done on decoded pixels.
#include "container/texdec/dxt_crop_convert.h"
#include "container/texdec/dxt_decoder.h"
#include "container/texdec/blockops_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

using blockops::NodeHolder;
using blockops::run_node;

std::string crop_error(uint32_t w, uint32_t h, uint32_t l, uint32_t t, uint32_t r, uint32_t b, uint32_t *ow = nullptr,
                       uint32_t *oh = nullptr) {
    uint32_t x = 0, y = 0;
    try {
        check_dxt_crop(&x, &y, w, h, l, t, r, b);
    } catch (const std::exception &e) { return e.what(); }
    if (ow) *ow = x;
    if (oh) *oh = y;
    return "";
}

TEST(BlockopsCrop, CropRules) {
    struct Case {
        uint32_t w, h, l, t, r, b;
        const char *error;
        uint32_t ow, oh;
    } cases[] = {
        {16, 16, 0, 0, 0, 0, "", 16, 16},
        {16, 8, 0, 0, 2, 0, "", 14, 8},
        {16, 8, 4, 0, 6, 0, "", 6, 8},
        {0, 8, 0, 0, 0, 0, "Src width 0", 0, 0},
        {8, 0, 0, 0, 0, 0, "Src height 0", 0, 0},
        {16, 16, 2, 0, 0, 0, "Left crop not multiple of 4", 0, 0},
        {16, 16, 0, 6, 0, 0, "Top crop not multiple of 4", 0, 0},
        {4, 16, 4, 0, 0, 0, "Width too small for horizontal crop", 0, 0},
        {16, 4, 0, 0, 0, 1, "height too small for vertical crop", 0, 0},
        {8, 16, 8, 0, 0, 0, "Invalid left crop (> min_width)", 0, 0},
        {8, 16, 4, 0, 4, 0, "Invalid horizontal crop", 0, 0},
        {12, 16, 0, 0, 9, 0, "Invalid right crop (> min_width)", 0, 0},
        {3, 16, 0, 4, 0, 0, "Invalid left crop (> min_width)", 0, 0},
        {16, 3, 4, 0, 0, 0, "Invalid top crop (> min_height)", 0, 0},
        {16, 12, 0, 0, 0, 9, "Invalid bottom crop (> min_height)", 0, 0},
        {16, 8, 0, 4, 0, 4, "Invalid vertical crop", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << c.l << "," << c.t << "," << c.r << "," << c.b);
        uint32_t ow = 0, oh = 0;
        EXPECT_EQ(crop_error(c.w, c.h, c.l, c.t, c.r, c.b, &ow, &oh), c.error);
        if (!*c.error) {
            EXPECT_EQ(ow, c.ow);
            EXPECT_EQ(oh, c.oh);
        }
    }
}

TEST(BlockopsCrop, CreationRefusals) {
    struct Case {
        uint32_t codec, conversion;
        const char *error;
    } cases[] = {
        {HapCodec_HAPR, 3, "Dxt Crop convert : invalid codec choice"},
        {HapCodec_HAP, 1, "Dxt Crop convert : invalid codec choice"},
        {HapCodec_HAPQ, 4, "Dxt Crop convert : invalid codec choice"},
        {HapCodec_HAPAlphaOnly, 3, "Dxt Crop convert : invalid codec choice"},
        {7, 1, "Dxt Crop convert : invalid codec choice"},
        {7, 0, "Unknown codec"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        try {
            video_filter_free(create_filter_dxt_crop_convert({64, 64, c.codec, 0, 0, 0, 0, c.conversion}));
            ADD_FAILURE() << "created";
        } catch (const std::exception &e) { EXPECT_STREQ(e.what(), c.error); }
    }
}

TEST(BlockopsCrop, BlockGeometryAndFixedBytes) {
    // Width 16, crop left 4 and right 6: source block columns 1 and 2.
    VideoFrame *in = blockops::random_texture_frame(VideoFrameDxtData_HAPQA, 16, 12, 1);
    in->frame_index = 9;
    struct Case {
        uint32_t l, t, r, b, conversion;
        uint32_t first_col, cols, first_row, rows;
        uint32_t src_plane;
        VideoFrameDataDescriptor desc;
    } cases[] = {
        {4, 0, 6, 0, 0, 1, 2, 0, 3, 0, VideoFrameDxtData_HAPQA},
        {0, 4, 2, 0, 0, 0, 4, 1, 2, 0, VideoFrameDxtData_HAPQA},
        {0, 0, 0, 0, 1, 0, 4, 0, 3, 0, VideoFrameDxtData_HAPQ},
        {4, 4, 0, 1, 2, 1, 3, 1, 2, 1, VideoFrameDxtData_HAPAlphaOnly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.l << "," << c.t << "," << c.r << "," << c.b << " conv " << c.conversion);
        NodeHolder node(create_filter_dxt_crop_convert({16, 12, HapCodec_HAPQA, c.l, c.t, c.r, c.b, c.conversion}));
        ASSERT_EQ(run_node(node.f, in), "");
        const VideoFrame *out = node.f->output;
        EXPECT_EQ(out->data_descriptor, c.desc);
        EXPECT_EQ(out->width, 16 - c.l - c.r);
        EXPECT_EQ(out->height, 12 - c.t - c.b);
        EXPECT_EQ(out->frame_index, 9u);
        for (uint32_t k = 0; k < out->nb_planes; ++k) {
            const uint32_t sp = c.src_plane + k, bb = in->block_bytes[sp];
            for (uint32_t row = 0; row < c.rows; ++row)
                EXPECT_EQ(
                    std::memcmp(out->data[k] + row * out->linesize[k],
                                in->data[sp] + (c.first_row + row) * in->linesize[sp] + c.first_col * bb, c.cols * bb),
                    0)
                    << "plane " << k << " row " << row;
        }
    }
    video_frame_destroy(&in);
}

TEST(BlockopsCrop, FixedBlocksOfConversions) {
    struct Case {
        HapCodec codec;
        VideoFrameDataDescriptor in_desc;
        uint32_t conversion;
        uint32_t plane;   // output plane to check
        uint32_t offset;  // bytes of each output block that hold the fixed pattern
        std::vector<uint8_t> fixed;
        int32_t copied_at;  // where the source block sits in the output block, -1 none
    } cases[] = {
        {HapCodec_HAP, VideoFrameDxtData_HAP, 3, 0, 0, {0xFF, 0, 0, 0, 0, 0, 0, 0}, 8},
        {HapCodec_HAPAlphaOnly, VideoFrameDxtData_HAPAlphaOnly, 4, 0, 8, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0},
        {HapCodec_HAPQ, VideoFrameDxtData_HAPQ, 3, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codec);
        VideoFrame *in = blockops::random_texture_frame(c.in_desc, 32, 16, 2);
        // Four-colour DXT1 blocks travel unchanged.
        if (c.codec == HapCodec_HAP)
            for (uint32_t i = 0; i < in->data_size[0]; i += 8) {
                in->data[0][i + 1] = 0xFF;
                in->data[0][i + 3] = 0x00;
            }
        NodeHolder node(create_filter_dxt_crop_convert({32, 16, c.codec, 0, 0, 0, 0, c.conversion}));
        ASSERT_EQ(run_node(node.f, in), "");
        const VideoFrame *out = node.f->output;
        const uint32_t ob = out->block_bytes[c.plane], ib = in->block_bytes[0];
        for (uint32_t i = 0; i < out->data_size[c.plane] / ob; ++i) {
            const uint8_t *b = out->data[c.plane] + i * ob;
            ASSERT_EQ(std::memcmp(b + c.offset, c.fixed.data(), 8), 0) << i;
            if (c.copied_at >= 0) { ASSERT_EQ(std::memcmp(b + c.copied_at, in->data[0] + i * ib, ib), 0) << i; }
        }
        video_frame_destroy(&in);
    }
}

// Crop and convert on pixels: the reference the block operation must match.
std::vector<uint8_t> crop_pixels(const std::vector<uint8_t> &src, uint32_t src_w, uint32_t l, uint32_t t, uint32_t w,
                                 uint32_t h, uint32_t in_codec, uint32_t conversion) {
    std::vector<uint8_t> out(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t *s = &src[((t + y) * size_t(src_w) + l + x) * 4];
            uint8_t *d = &out[(y * size_t(w) + x) * 4];
            std::memcpy(d, s, 4);
            if (conversion == 1) d[3] = 255;                             // drop alpha
            if (conversion == 2) d[0] = d[1] = d[2] = s[3], d[3] = 255;  // alpha as grey
            if (conversion == 3) d[3] = 255;                             // opaque alpha
            if (conversion == 4) d[3] = s[0], d[0] = d[1] = d[2] = 255;  // grey as alpha on white
            if (in_codec == HapCodec_HAPQA && conversion == 2) d[0] = d[1] = d[2] = s[3];
        }
    return out;
}

TEST(BlockopsCrop, SamePixelsAsCroppingDecodedPixels) {
    struct Case {
        HapCodec codec;
        uint32_t conversion;
    } cases[] = {
        {HapCodec_HAP, 0},   {HapCodec_HAP, 3},   {HapCodec_HAPA, 0},         {HapCodec_HAPA, 1},
        {HapCodec_HAPA, 2},  {HapCodec_HAPQ, 0},  {HapCodec_HAPQ, 3},         {HapCodec_HAPQA, 0},
        {HapCodec_HAPQA, 1}, {HapCodec_HAPQA, 2}, {HapCodec_HAPAlphaOnly, 0}, {HapCodec_HAPAlphaOnly, 4},
    };
    struct Crop {
        uint32_t l, t, r, b;
    } crops[] = {{0, 0, 0, 0}, {8, 4, 0, 0}, {0, 0, 5, 3}, {12, 8, 7, 1}};
    const uint32_t W = 64, H = 40;
    for (const Case &c : cases)
        for (const Crop &k : crops) {
            SCOPED_TRACE(testing::Message() << "codec " << c.codec << " conv " << c.conversion << " crop " << k.l << ","
                                            << k.t << "," << k.r << "," << k.b);
            VideoFrame *in = blockops::random_texture_frame(
                VideoFrameDataDescriptor(uint32_t(VideoFrameDxtData_HAP) + c.codec), W, H, 100 + c.codec);
            NodeHolder node(create_filter_dxt_crop_convert({W, H, c.codec, k.l, k.t, k.r, k.b, c.conversion}));
            ASSERT_EQ(run_node(node.f, in), "");
            const VideoFrame *out = node.f->output;
            const auto src_px = blockops::texture_pixels(in);
            const auto out_px = blockops::texture_pixels(out);
            // Whole output blocks, partial edge blocks included.
            const auto want = crop_pixels(src_px, in->alloc_width, k.l, k.t, out->alloc_width, out->alloc_height,
                                          c.codec, c.conversion);
            ASSERT_EQ(out_px.size(), want.size());
            size_t bad = 0;
            for (size_t i = 0; i < want.size(); ++i) bad += out_px[i] != want[i];
            EXPECT_EQ(bad, 0u);
            video_frame_destroy(&in);
        }
}

TEST(BlockopsCrop, ThreeColourBlocksKeepTheirColours) {
    // DXT1 blocks in three-colour mode (c0 <= c1) cannot travel unchanged into a DXT5
    // colour half, which always decodes four colours.
    struct Case {
        const char *what;
        uint16_t c0, c1;
        std::vector<int> indices;  // cycled over the 16 pixels
        bool exact;
    } cases[] = {
        {"end point and black", 0x7BEF, 0x7BEF, {0, 3}, true},
        {"two end points and black", 0x001F, 0xF800, {0, 1, 3, 3}, false},
        {"black only", 0x1234, 0x5678, {3}, true},
        {"midpoint of equal end points", 0x4208, 0x4208, {2, 2, 0, 3}, true},
        {"midpoint and end point", 0x0000, 0x0400, {0, 2}, true},
        {"gradient", 0x0000, 0xFFFF, {0, 1, 2}, false},
        {"end points only", 0x1000, 0x2000, {0, 1, 1, 0}, true},
        {"all four entries", 0x0010, 0x8000, {0, 1, 2, 3}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        uint8_t dxt1[8] = {uint8_t(c.c0), uint8_t(c.c0 >> 8), uint8_t(c.c1), uint8_t(c.c1 >> 8), 0, 0, 0, 0};
        uint32_t idx = 0;
        for (int j = 0; j < 16; ++j) idx |= uint32_t(c.indices[j % c.indices.size()]) << (2 * j);
        std::memcpy(dxt1 + 4, &idx, 4);
        uint8_t dxt5[16];
        dxt_repack_dxt1_to_dxt5(dxt5, dxt1, 1);
        uint8_t p1[64], p5[64];
        decode_block_dxt1(p1, 16, dxt1);
        decode_block_dxt5(p5, 16, dxt5);
        int worst = 0;
        long sse = 0, sse_copy = 0;  // the fit minimises the squared error
        uint8_t copied[16] = {0xFF};
        std::memcpy(copied + 8, dxt1, 8);
        uint8_t pc[64];
        decode_block_dxt5(pc, 16, copied);
        for (int i = 0; i < 64; ++i) {
            if (i % 4 == 3) {
                EXPECT_EQ(p5[i], 255);
                continue;
            }
            worst = std::max(worst, std::abs(p1[i] - p5[i]));
            sse += (p1[i] - p5[i]) * (p1[i] - p5[i]);
            sse_copy += (p1[i] - pc[i]) * (p1[i] - pc[i]);
        }
        if (c.exact) {
            EXPECT_EQ(worst, 0);
        } else {
            EXPECT_LE(sse, sse_copy);
        }
        // The way back (DXT5 to DXT1) is always exact, whatever the end-point order.
        uint8_t back[8];
        uint8_t dxt5_any[16] = {0};
        std::memcpy(dxt5_any + 8, dxt1, 8);
        dxt_repack_dxt5_to_dxt1(back, dxt5_any, 1);
        uint8_t pb[64], pa[64];
        decode_block_dxt1(pb, 16, back);
        decode_block_dxt5(pa, 16, dxt5_any);
        for (int i = 0; i < 64; ++i) {
            if (i % 4 != 3) { ASSERT_EQ(pb[i], pa[i]) << i; }
        }
    }
}

TEST(BlockopsCrop, ProcessRefusesOtherFrames) {
    NodeHolder node(create_filter_dxt_crop_convert({32, 16, HapCodec_HAPA, 4, 0, 0, 0, 0}));
    VideoFrame *good = blockops::random_texture_frame(VideoFrameDxtData_HAPA, 32, 16, 3);
    VideoFrame *other = blockops::random_texture_frame(VideoFrameDxtData_HAP, 32, 16, 3);
    VideoFrame *narrow = blockops::random_texture_frame(VideoFrameDxtData_HAPA, 28, 16, 3);
    VideoFrame *short_ = blockops::random_texture_frame(VideoFrameDxtData_HAPA, 32, 12, 3);
    EXPECT_EQ(run_node(node.f, good), "");
    EXPECT_EQ(run_node(node.f, nullptr), "Invalid inputs");
    EXPECT_EQ(run_node(node.f, other), "Invalid data format");
    EXPECT_EQ(run_node(node.f, narrow), "Invalid width");
    EXPECT_EQ(run_node(node.f, short_), "Invalid height");
    for (VideoFrame *f : {good, other, narrow, short_}) video_frame_destroy(&f);
}

}  // namespace
