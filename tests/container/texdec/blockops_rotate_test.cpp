// Rotate and flip node: raw element moves for every element size, texture blocks
// against the same transform of decoded pixels, pass-through flips, refusals.
#include "container/texdec/rotate_flip.h"
#include "container/texdec/blockops_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using blockops::NodeHolder;
using blockops::run_node;

std::string create_error(const RotateFlipParams &p) {
    try {
        video_filter_free(create_filter_rotate_flip(p));
    } catch (const std::exception &e) { return e.what(); }
    return "";
}

TEST(BlockopsRotate, CreationRefusals) {
    struct Case {
        RotateFlipParams p;
        const char *error;
    } cases[] = {
        {{64, 64, 0, PixFmt_RGBA8, 0, 0, 0}, "Bypass Rotate/flip unavailable"},
        {{64, 64, 0, PixFmt_RGBA8, 0, 6, 0}, "Unknown case rotate/flip"},
        {{64, 64, 1, PixFmt_Undefined, VideoFrameDxtData_HAP, 6, 0}, "Unknown case rotate/flip"},
        {{1918, 64, 1, PixFmt_Undefined, VideoFrameDxtData_HAP, 1, 0}, "Invalid rotate/flip parameters"},
        {{64, 64, 1, PixFmt_Undefined, VideoFrameDxtData_HAPR, 1, 0}, "Invalid rotate/flip parameters"},
        {{64, 64, 0, PixFmt_YUV420, 0, 1, 0}, "Invalid rotate/flip parameters"},
        {{64, 64, 0, PixFmt_UYVY, 0, 1, 0}, "Invalid rotate/flip parameters"},
        {{64, 64, 0, PixFmt_Undefined, 0, 1, 0}, "Invalid rotate/flip parameters"},
        {{64, 64, 0, PixFmt_YUVA444_12, 0, 3, 0}, ""},
        {{64, 64, 1, PixFmt_Undefined, VideoFrameDxtData_HAPQA, 2, 0}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(create_error(c.p), c.error);
    }
}

// Raw frame whose every byte says where it came from.
VideoFrame *numbered_raw(PixFmt fmt, uint32_t w, uint32_t h, uint32_t seed) {
    VideoFrame *f = video_frame_new();
    video_frame_alloc(f, w, h, fmt, 1);
    std::mt19937 rng(seed);
    for (uint32_t p = 0; p < f->nb_planes; ++p)
        for (uint32_t y = 0; y < h; ++y)
            for (int64_t i = 0; i < f->linesize[p]; ++i) f->data[p][y * f->linesize[p] + i] = uint8_t(rng());
    return f;
}

// Source (row, column) shown at destination (row, column) for each transform.
void source_of(uint32_t t, uint32_t dr, uint32_t dc, uint32_t w, uint32_t h, uint32_t *r, uint32_t *c) {
    switch (t) {
    case 1: *r = h - 1 - dc, *c = dr; break;
    case 2: *r = h - 1 - dr, *c = w - 1 - dc; break;
    case 3: *r = dc, *c = w - 1 - dr; break;
    case 4: *r = dr, *c = w - 1 - dc; break;
    default: *r = h - 1 - dr, *c = dc; break;
    }
}

TEST(BlockopsRotate, RawElementsMoveWhole) {
    struct Fmt {
        PixFmt fmt;
        uint32_t bytes;
    } fmts[] = {{PixFmt_Grey8, 1},  {PixFmt_Grey16, 2},   {PixFmt_RGB8, 3},       {PixFmt_RGBA8, 4},
                {PixFmt_RGBA16, 8}, {PixFmt_RGBA32F, 16}, {PixFmt_YUVA444_12, 2}, {PixFmt_PlanarRGB8, 1}};
    const uint32_t w = 13, h = 7;
    for (const Fmt &f : fmts)
        for (uint32_t t = 1; t <= 5; ++t) {
            SCOPED_TRACE(testing::Message() << get_pix_fmt_name(f.fmt) << " transform " << t);
            VideoFrame *in = numbered_raw(f.fmt, w, h, t);
            in->frame_index = 77;
            NodeHolder node(create_filter_rotate_flip({w, h, 0, f.fmt, 0, t, 0}));
            ASSERT_EQ(run_node(node.f, in), "");
            const VideoFrame *out = node.f->output;
            const bool swap = t == 1 || t == 3;
            ASSERT_EQ(out->width, swap ? h : w);
            ASSERT_EQ(out->height, swap ? w : h);
            EXPECT_EQ(out->frame_index, 77u);
            for (uint32_t p = 0; p < in->nb_planes; ++p)
                for (uint32_t dr = 0; dr < out->height; ++dr)
                    for (uint32_t dc = 0; dc < out->width; ++dc) {
                        uint32_t r, c;
                        source_of(t, dr, dc, w, h, &r, &c);
                        ASSERT_EQ(std::memcmp(out->data[p] + dr * out->linesize[p] + dc * f.bytes,
                                              in->data[p] + r * in->linesize[p] + c * f.bytes, f.bytes),
                                  0)
                            << "plane " << p << " at " << dr << "," << dc;
                    }
            video_frame_destroy(&in);
        }
}

TEST(BlockopsRotate, QuarterTurnsOfFullHdCorners) {
    VideoFrame *in = video_frame_new();
    video_frame_alloc(in, 1920, 1080, PixFmt_RGBA8, 1);
    auto put = [&](uint32_t r, uint32_t c, uint32_t v) {
        std::memcpy(in->data[0] + r * in->linesize[0] + 4 * c, &v, 4);
    };
    put(1079, 0, 0xB0770000);  // bottom-left
    put(0, 1919, 0x0000C0DE);  // top-right
    for (auto [t, want] : {std::pair<uint32_t, uint32_t>{1, 0xB0770000}, {3, 0x0000C0DE}}) {
        NodeHolder node(create_filter_rotate_flip({1920, 1080, 0, PixFmt_RGBA8, 0, t, 0}));
        ASSERT_EQ(run_node(node.f, in), "");
        uint32_t got;
        std::memcpy(&got, node.f->output->data[0], 4);
        EXPECT_EQ(got, want) << t;
        EXPECT_EQ(node.f->output->width, 1080u);
    }
    video_frame_destroy(&in);
}

TEST(BlockopsRotate, VerticalFlipPassThrough) {
    VideoFrame *in = numbered_raw(PixFmt_PlanarRGBA8, 10, 6, 5);
    in->frame_index = 3;
    for (uint8_t allowed : {1, 0}) {
        SCOPED_TRACE(int(allowed));
        NodeHolder node(create_filter_rotate_flip({10, 6, 0, PixFmt_PlanarRGBA8, 0, 5, allowed}));
        ASSERT_EQ(run_node(node.f, in), "");
        const VideoFrame *out = node.f->output;
        EXPECT_EQ(out->frame_index, 3u);
        ASSERT_EQ(out->nb_planes, 4u);
        for (uint32_t p = 0; p < 4; ++p) {
            if (allowed) {
                EXPECT_EQ(out->data[p], in->data[p] + 5 * in->linesize[p]);
                EXPECT_EQ(out->linesize[p], -in->linesize[p]);
                EXPECT_TRUE(out->is_external);
            }
            for (uint32_t r = 0; r < 6; ++r)
                EXPECT_EQ(std::memcmp(out->data[p] + int64_t(r) * out->linesize[p],
                                      in->data[p] + (5 - r) * in->linesize[p], 10),
                          0);
        }
    }
    video_frame_destroy(&in);
}

// Texture pixels transformed on the pixel grid: the reference for block transforms.
std::vector<uint8_t> transform_pixels(const std::vector<uint8_t> &px, uint32_t w, uint32_t h, uint32_t t) {
    const bool swap = t == 1 || t == 3;
    const uint32_t ow = swap ? h : w, oh = swap ? w : h;
    std::vector<uint8_t> out(px.size());
    for (uint32_t dr = 0; dr < oh; ++dr)
        for (uint32_t dc = 0; dc < ow; ++dc) {
            uint32_t r, c;
            source_of(t, dr, dc, w, h, &r, &c);
            std::memcpy(&out[(dr * size_t(ow) + dc) * 4], &px[(r * size_t(w) + c) * 4], 4);
        }
    return out;
}

TEST(BlockopsRotate, TexturesGiveThePixelsOfTheTransformedPicture) {
    const uint32_t w = 24, h = 16;
    for (uint32_t desc = VideoFrameDxtData_HAP; desc <= VideoFrameDxtData_HAPAlphaOnly; ++desc)
        for (uint32_t t = 1; t <= 5; ++t) {
            SCOPED_TRACE(testing::Message() << "descriptor " << desc << " transform " << t);
            VideoFrame *in = blockops::random_texture_frame(VideoFrameDataDescriptor(desc), w, h, 7 * desc + t);
            NodeHolder node(create_filter_rotate_flip({w, h, 1, PixFmt_Undefined, desc, t, 1}));
            ASSERT_EQ(run_node(node.f, in), "");
            const auto want = transform_pixels(blockops::texture_pixels(in), w, h, t);
            const auto got = blockops::texture_pixels(node.f->output);
            ASSERT_EQ(got.size(), want.size());
            size_t bad = 0;
            for (size_t i = 0; i < got.size(); ++i) bad += got[i] != want[i];
            EXPECT_EQ(bad, 0u);
            video_frame_destroy(&in);
        }
}

TEST(BlockopsRotate, IndexPermutationOfSingleBlocks) {
    // DXT1 horizontal flip: row 0 indices 0,1,2,3 read 3,2,1,0; end points kept.
    const uint8_t dxt1[8] = {0x12, 0x34, 0x56, 0x78, 0xE4, 0, 0, 0};  // row 0: 0,1,2,3
    uint8_t out[8];
    rotate_flip_texture_kernel(4, 8, false)(out, dxt1, 1, 1, 8, 8);
    EXPECT_EQ(std::memcmp(out, dxt1, 4), 0);
    EXPECT_EQ(out[4], 0x1B);  // 3,2,1,0
    // RGTC1 quarter turn: the index of pixel (0,0) ends at pixel (0,3).
    const uint8_t rgtc1[8] = {200, 10, 5, 0, 0, 0, 0, 0};  // pixel 0 index 5
    rotate_flip_texture_kernel(1, 8, true)(out, rgtc1, 1, 1, 8, 8);
    uint64_t bits = 0;
    for (int i = 5; i >= 0; --i) bits = bits << 8 | out[2 + i];
    EXPECT_EQ(bits, uint64_t(5) << (3 * 3));
    // The block itself moves to the mirrored column.
    uint8_t row[16] = {0}, flipped[16], single[8];
    std::memcpy(row, dxt1, 8);
    rotate_flip_texture_kernel(4, 8, false)(flipped, row, 2, 1, 16, 16);
    rotate_flip_texture_kernel(4, 8, false)(single, dxt1, 1, 1, 8, 8);
    EXPECT_EQ(std::memcmp(flipped + 8, single, 8), 0);
    EXPECT_EQ(flipped[8], 0x12);
    EXPECT_EQ(flipped[0], 0);
}

TEST(BlockopsRotate, ProcessRefusesOtherFrames) {
    NodeHolder raw(create_filter_rotate_flip({16, 8, 0, PixFmt_RGBA8, 0, 1, 0}));
    NodeHolder tex(create_filter_rotate_flip({16, 8, 1, PixFmt_Undefined, VideoFrameDxtData_HAPA, 2, 0}));
    VideoFrame *rgb = numbered_raw(PixFmt_RGB8, 16, 8, 1);
    VideoFrame *wide = numbered_raw(PixFmt_RGBA8, 20, 8, 1);
    VideoFrame *tall = numbered_raw(PixFmt_RGBA8, 16, 12, 1);
    VideoFrame *hap = blockops::random_texture_frame(VideoFrameDxtData_HAP, 16, 8, 1);
    struct Case {
        VideoFilter *node;
        VideoFrame *in;
        const char *error;
    } cases[] = {
        {raw.f, nullptr, "Invalid inputs"}, {raw.f, rgb, "Invalid pixel format"}, {raw.f, wide, "Invalid width"},
        {raw.f, tall, "Invalid height"},    {tex.f, hap, "Invalid data format"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(run_node(c.node, c.in), c.error);
    }
    for (VideoFrame *f : {rgb, wide, tall, hap}) video_frame_destroy(&f);
}

}  // namespace
