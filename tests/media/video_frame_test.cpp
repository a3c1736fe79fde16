#include "media/video_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "error_of.h"
#include "platform/core/errors.h"

namespace {

using mediatest::error_of;

struct FrameHolder {
    VideoFrame *f = video_frame_new();
    ~FrameHolder() { video_frame_destroy(&f); }
};

bool aligned64(const void *p) { return (reinterpret_cast<uintptr_t>(p) & 63) == 0; }

TEST(VideoFrame, NewFrameIsEmptyRawAndDestroyNullsTheSlot) {
    VideoFrame *f = video_frame_new();
    EXPECT_EQ(f->is_raw, 1);
    EXPECT_EQ(f->data_descriptor, VideoFrameUnknown);
    EXPECT_EQ(f->pix_fmt, PixFmt_Undefined);
    EXPECT_EQ(f->nb_planes, 0u);
    EXPECT_EQ(f->error_flags, 0u);
    EXPECT_EQ(f->rect_flags, 0u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f->data[i], nullptr);
    video_frame_alloc(f, 16, 16, PixFmt_RGBA8, 1);
    video_frame_destroy(&f);
    EXPECT_EQ(f, nullptr);
    video_frame_destroy(&f);  // a null slot is fine
    video_frame_destroy(nullptr);
    video_frame_free_planes(nullptr);
}

struct RawAllocCase {
    const char *name;
    PixFmt fmt;
    uint32_t w, h;
    uint8_t align;
    uint32_t nb_planes;
    int64_t line[4];
    uint32_t size[4];
};

TEST(VideoFrame, RawAllocationSizesPlanesByLayout) {
    const RawAllocCase cases[] = {
        {"uyvy 1919", PixFmt_UYVY, 1919, 2, 0, 1, {3840}, {7680}},
        {"uyvy 1919 aligned", PixFmt_UYVY, 1919, 2, 1, 1, {3840}, {7680}},
        {"uyvy 1921 aligned", PixFmt_UYVY, 1921, 2, 1, 1, {3904}, {7808}},
        {"v210 1920", PixFmt_V210, 1920, 3, 0, 1, {5120}, {15360}},
        {"v210 1", PixFmt_V210, 1, 3, 0, 1, {128}, {384}},
        {"yuv420 5x5", PixFmt_YUV420, 5, 5, 0, 3, {5, 3, 3}, {25, 9, 9}},
        {"yuva 4x4 is 4:2:0", PixFmt_YUVA420, 4, 4, 0, 4, {4, 2, 2, 4}, {16, 4, 4, 16}},
        {"yuv422 10 bits 5x3", PixFmt_YUV422_10, 5, 3, 0, 3, {10, 6, 6}, {30, 18, 18}},
        {"rgba16 3x2 aligned", PixFmt_RGBA16, 3, 2, 1, 1, {64}, {128}},
        {"rgb8 3x2", PixFmt_RGB8, 3, 2, 0, 1, {9}, {18}},
        {"cmyka8 3x2", PixFmt_CMYKA8, 3, 2, 0, 1, {15}, {30}},
        {"planar rgba32f 3x1 aligned", PixFmt_PlanarRGBA32F, 3, 1, 1, 4, {64, 64, 64, 64}, {64, 64, 64, 64}},
        {"uyvy alpha 3x2 aligned", PixFmt_UYVYA, 3, 2, 1, 2, {64, 64}, {128, 128}},
        {"uyvy alpha 3x2", PixFmt_UYVYA, 3, 2, 0, 2, {8, 3}, {16, 6}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrameHolder h;
        VideoFrame *f = h.f;
        f->error_flags = VideoFrameError_Corrupt;
        f->frame_index = 77;
        f->data_descriptor = VideoFrameHapData;
        video_frame_alloc(f, c.w, c.h, c.fmt, c.align);
        ASSERT_EQ(f->nb_planes, c.nb_planes);
        EXPECT_EQ(f->is_raw, 1);
        EXPECT_EQ(f->is_external, 0);
        EXPECT_EQ(f->pix_fmt, c.fmt);
        EXPECT_EQ(f->width, c.w);
        EXPECT_EQ(f->alloc_width, c.w);
        EXPECT_EQ(f->height, c.h);
        EXPECT_EQ(f->alloc_height, c.h);
        // Left alone by the allocation.
        EXPECT_EQ(f->error_flags, VideoFrameError_Corrupt);
        EXPECT_EQ(f->frame_index, 77u);
        EXPECT_EQ(f->data_descriptor, VideoFrameHapData);
        for (uint32_t i = 0; i < c.nb_planes; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(f->linesize[i], c.line[i]);
            EXPECT_EQ(f->alloc_size[i], c.size[i]);
            EXPECT_EQ(f->data_size[i], c.size[i]);
            ASSERT_NE(f->data[i], nullptr);
            if (c.fmt != PixFmt_UYVYA || i == 0) { EXPECT_TRUE(aligned64(f->data[i])); }
            // The whole plane is writable (ASan checks the bounds).
            std::memset(f->data[i], 0xAB, c.size[i]);
        }
        for (uint32_t i = c.nb_planes; i < 4; ++i) EXPECT_EQ(f->data[i], nullptr);
        if (c.fmt == PixFmt_UYVYA) { EXPECT_EQ(f->data[1], f->data[0] + c.size[0]); }
    }
}

TEST(VideoFrame, AllocationReleasesOldPlanesAndNeverFreesExternalOnes) {
    // Owned planes held before are released (the leak checker of the sanitizer build
    // sees any that are not); external ones are left to their owner.
    std::vector<uint8_t> ext0(4 * 8 * 2), ext1(8 * 2), ext2(8 * 2), ext3(8 * 2);
    uint8_t *planes[4] = {ext0.data(), ext1.data(), ext2.data(), ext3.data()};
    const int64_t lines[4] = {8, 8, 8, 8};
    FrameHolder h;
    video_frame_alloc(h.f, 8, 8, PixFmt_PlanarRGBA16, 0);
    video_frame_alloc(h.f, 8, 8, PixFmt_UYVYA, 1);
    video_frame_alloc(h.f, 8, 8, PixFmt_YUV444, 0);
    video_frame_set_external_planes(h.f, planes, lines, 8, 2, PixFmt_PlanarRGBA8);
    EXPECT_EQ(h.f->data[3], ext3.data());
    video_frame_alloc(h.f, 4, 4, PixFmt_Grey8, 0);
    EXPECT_EQ(h.f->nb_planes, 1u);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(h.f->data[i], nullptr);
    video_frame_alloc_dxt(h.f, 8, 8, VideoFrameDxtData_HAPQA);
    video_frame_alloc_compressed(h.f, 100, VideoFramePngData);
    video_frame_set_compressed_data(h.f, ext0.data(), 10, VideoFrameHapData);
    video_frame_alloc(h.f, 4, 4, PixFmt_Grey8, 0);
}

TEST(VideoFrame, PlaneOf4GiBOrMoreIsRefusedBeforeAnythingChanges) {
    struct Case {
        const char *name;
        PixFmt fmt;
        uint32_t w, h;
    } cases[] = {
        {"rgba32f 65536 x 65536 (2^36)", PixFmt_RGBA32F, 65536, 65536},
        {"rgba8 32768 x 32768 (exactly 4 GiB)", PixFmt_RGBA8, 32768, 32768},
        {"grey16 max width wraps in 32 bits", PixFmt_Grey16, 0xFFFFFFFFu, 1},
        {"uyvy alpha block above 4 GiB", PixFmt_UYVYA, 0x30000000u, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrameHolder h;
        video_frame_alloc(h.f, 4, 4, PixFmt_RGBA8, 0);
        uint8_t *before = h.f->data[0];
        EXPECT_EQ(error_of([&] { video_frame_alloc(h.f, c.w, c.h, c.fmt, 1); }), "Invalid plane size");
        EXPECT_EQ(h.f->data[0], before);
        EXPECT_EQ(h.f->width, 4u);
        EXPECT_EQ(h.f->pix_fmt, PixFmt_RGBA8);
    }
    FrameHolder h;
    EXPECT_EQ(error_of([&] { video_frame_alloc(h.f, 4, 4, PixFmt_Undefined, 0); }),
              "Can't get pix descriptor : Unknown pixfmt");
}

TEST(VideoFrame, AllocRoundKeepsVisibleSizeAndRefusesSmallerRounding) {
    FrameHolder h;
    video_frame_alloc_round(h.f, 1918, 1080, PixFmt_RGBA8, 1, 1920, 1088);
    EXPECT_EQ(h.f->width, 1918u);
    EXPECT_EQ(h.f->height, 1080u);
    EXPECT_EQ(h.f->alloc_width, 1920u);
    EXPECT_EQ(h.f->alloc_height, 1088u);
    EXPECT_EQ(h.f->linesize[0], 7680);
    EXPECT_EQ(h.f->alloc_size[0], 7680u * 1088u);

    uint8_t *before = h.f->data[0];
    EXPECT_EQ(error_of([&] { video_frame_alloc_round(h.f, 100, 50, PixFmt_Grey8, 0, 99, 50); }),
              "Invalid round resolution");
    EXPECT_EQ(error_of([&] { video_frame_alloc_round(h.f, 100, 50, PixFmt_Grey8, 0, 100, 49); }),
              "Invalid round resolution");
    EXPECT_EQ(h.f->data[0], before);
    EXPECT_EQ(h.f->width, 1918u);
    EXPECT_EQ(h.f->pix_fmt, PixFmt_RGBA8);
}

TEST(VideoFrame, ReallocIfChangedKeepsPlanesOnlyForTheSameRawLayout) {
    FrameHolder h;
    VideoFrame *f = h.f;
    video_frame_realloc_if_changed(f, 8, 4, PixFmt_RGBA8, 1);
    ASSERT_NE(f->data[0], nullptr);
    std::memset(f->data[0], 0x5A, f->data_size[0]);
    uint8_t *kept = f->data[0];
    video_frame_realloc_if_changed(f, 8, 4, PixFmt_RGBA8, 1);
    EXPECT_EQ(f->data[0], kept);
    EXPECT_EQ(f->data[0][f->data_size[0] - 1], 0x5A);

    video_frame_realloc_if_changed(f, 8, 5, PixFmt_RGBA8, 1);
    EXPECT_EQ(f->height, 5u);
    EXPECT_EQ(f->alloc_size[0], 64u * 5);

    // A texture frame becomes raw again.
    video_frame_alloc_dxt(f, 8, 8, VideoFrameDxtData_HAP);
    video_frame_realloc_if_changed(f, 8, 8, PixFmt_RGBA8, 0);
    EXPECT_EQ(f->is_raw, 1);
    EXPECT_EQ(f->data_descriptor, VideoFrameUnknown);
    EXPECT_EQ(f->block_bytes[0], 0);
    EXPECT_EQ(f->data_size[0], 8u * 4 * 8);

    // External planes of the same layout are replaced by owned ones, and not freed.
    std::vector<uint8_t> ext(32 * 8, 0x11);
    uint8_t *planes[4] = {ext.data(), nullptr, nullptr, nullptr};
    const int64_t lines[4] = {32, 0, 0, 0};
    video_frame_set_external_planes(f, planes, lines, 8, 8, PixFmt_RGBA8);
    f->data_descriptor = VideoFrameHapData;
    video_frame_realloc_if_changed(f, 8, 8, PixFmt_RGBA8, 0);
    EXPECT_EQ(f->is_external, 0);
    EXPECT_NE(f->data[0], ext.data());
    EXPECT_EQ(f->data_descriptor, VideoFrameUnknown);
    EXPECT_EQ(ext[0], 0x11);
}

struct ExternalCase {
    const char *name;
    PixFmt fmt;
    uint32_t w, h;
    int64_t line[4];
    const char *error;  // "" when accepted
    uint32_t size[4];
};

TEST(VideoFrame, ExternalPlanesSizeIsAbsoluteLineTimesRows) {
    const ExternalCase cases[] = {
        {"rgba8 top-down", PixFmt_RGBA8, 10, 3, {40}, "", {120}},
        {"rgba8 bottom-up (flip)", PixFmt_RGBA8, 10, 3, {-40}, "", {120}},
        {"yuv420 odd height", PixFmt_YUV420, 5, 5, {8, -4, 4}, "", {40, 12, 12}},
        {"largest accepted size", PixFmt_Grey8, 1, 2, {0x7FFFFFFF}, "", {0xFFFFFFFEu}},
        {"0xFFFFFFFF refused", PixFmt_Grey8, 1, 1, {0xFFFFFFFF}, "Invalid plane size", {}},
        {"2^32 refused", PixFmt_Grey8, 1, 0x10000, {0x10000}, "Invalid plane size", {}},
        {"product would wrap 64 bits", PixFmt_Grey8, 1, 4, {INT64_C(0x4000000000000000)}, "Invalid plane size", {}},
        {"most negative line", PixFmt_Grey8, 1, 1, {INT64_MIN}, "Invalid plane size", {}},
        {"undefined layout", PixFmt_Undefined, 1, 1, {4}, "Can't get pix descriptor : Unknown pixfmt", {}},
    };
    static uint8_t mem[4][64];
    uint8_t *planes[4] = {mem[0], mem[1], mem[2], mem[3]};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrameHolder h;
        video_frame_alloc(h.f, 4, 4, PixFmt_YUVA444, 0);  // owned planes are released
        h.f->error_flags = VideoFrameError_Corrupt;
        h.f->data_descriptor = VideoFramePngData;
        const std::string err =
            error_of([&] { video_frame_set_external_planes(h.f, planes, c.line, c.w, c.h, c.fmt); });
        EXPECT_EQ(err, c.error);
        if (*c.error) {
            EXPECT_EQ(h.f->is_external, 0);  // unchanged
            continue;
        }
        EXPECT_EQ(h.f->is_external, 1);
        EXPECT_EQ(h.f->is_raw, 1);
        EXPECT_EQ(h.f->error_flags, 0u);
        EXPECT_EQ(h.f->data_descriptor, VideoFramePngData);
        EXPECT_EQ(h.f->width, c.w);
        EXPECT_EQ(h.f->alloc_height, c.h);
        const uint32_t n = get_pix_descriptor(c.fmt).nb_planes;
        ASSERT_EQ(h.f->nb_planes, n);
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(h.f->data[i], planes[i]);
            EXPECT_EQ(h.f->linesize[i], c.line[i]);
            EXPECT_EQ(h.f->alloc_size[i], c.size[i]);
            EXPECT_EQ(h.f->data_size[i], c.size[i]);
        }
        EXPECT_EQ(h.f->data[3], nullptr);
    }
}

struct DxtCase {
    const char *name;
    VideoFrameDataDescriptor desc;
    uint32_t w, h;
    uint32_t aw, ah, nb_planes;
    int64_t line[2];
    uint32_t size[2];
    uint8_t block[2];
};

TEST(VideoFrame, TextureFramePlanesFollowTheirCodecs) {
    const DxtCase cases[] = {
        {"hap q alpha 1918x1080",
         VideoFrameDxtData_HAPQA,
         1918,
         1080,
         1920,
         1080,
         2,
         {7680, 3840},
         {2073600, 1036800},
         {16, 8}},
        {"hap 5x5", VideoFrameDxtData_HAP, 5, 5, 8, 8, 1, {16}, {32}, {8}},
        {"hap alpha 1920x1080", VideoFrameDxtData_HAPA, 1920, 1080, 1920, 1080, 1, {7680}, {2073600}, {16}},
        {"hap q 4x4", VideoFrameDxtData_HAPQ, 4, 4, 4, 4, 1, {16}, {16}, {16}},
        {"alpha only 9x1", VideoFrameDxtData_HAPAlphaOnly, 9, 1, 12, 4, 1, {24}, {24}, {8}},
        {"hap r 1x1", VideoFrameDxtData_HAPR, 1, 1, 4, 4, 1, {16}, {16}, {16}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrameHolder h;
        h.f->error_flags = VideoFrameError_InvalidCodec;
        h.f->pix_fmt = PixFmt_RGBA8;
        video_frame_alloc_dxt(h.f, c.w, c.h, c.desc);
        EXPECT_EQ(h.f->is_raw, 0);
        EXPECT_EQ(h.f->is_external, 0);
        EXPECT_EQ(h.f->data_descriptor, c.desc);
        EXPECT_EQ(h.f->width, c.w);
        EXPECT_EQ(h.f->height, c.h);
        EXPECT_EQ(h.f->alloc_width, c.aw);
        EXPECT_EQ(h.f->alloc_height, c.ah);
        EXPECT_EQ(h.f->error_flags, VideoFrameError_InvalidCodec);
        EXPECT_EQ(h.f->pix_fmt, PixFmt_RGBA8);
        ASSERT_EQ(h.f->nb_planes, c.nb_planes);
        for (uint32_t i = 0; i < c.nb_planes; ++i) {
            EXPECT_EQ(h.f->linesize[i], c.line[i]);
            EXPECT_EQ(h.f->alloc_size[i], c.size[i]);
            EXPECT_EQ(h.f->data_size[i], c.size[i]);
            EXPECT_EQ(h.f->block_bytes[i], c.block[i]);
            EXPECT_TRUE(aligned64(h.f->data[i]));
            std::memset(h.f->data[i], 0, c.size[i]);
        }
    }
    FrameHolder h;
    for (auto bad : {VideoFrameHdrData, VideoFrameUnknown, static_cast<VideoFrameDataDescriptor>(40)}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(error_of([&] { video_frame_alloc_dxt(h.f, 4, 4, bad); }), "DXT frame : invalid dxt codec");
        EXPECT_EQ(h.f->nb_planes, 0u);
    }
    EXPECT_EQ(error_of([&] { video_frame_alloc_dxt(h.f, 65536, 65536, VideoFrameDxtData_HAPR); }),
              "Invalid plane size");
}

TEST(VideoFrame, CompressedBufferIsReusedWhileTheSampleFits) {
    FrameHolder h;
    VideoFrame *f = h.f;
    f->error_flags = VideoFrameError_Corrupt;
    f->frame_index = 9;
    video_frame_alloc_compressed(f, 1000, VideoFramePngData);
    EXPECT_EQ(f->alloc_size[0], 1064u);
    EXPECT_EQ(f->data_size[0], 1000u);
    EXPECT_EQ(f->nb_planes, 1u);
    EXPECT_EQ(f->is_raw, 0);
    EXPECT_EQ(f->error_flags, 0u);
    EXPECT_EQ(f->frame_index, 0u);
    EXPECT_EQ(f->data_descriptor, VideoFramePngData);
    EXPECT_TRUE(aligned64(f->data[0]));
    std::memset(f->data[0], 1, 1064);
    uint8_t *first = f->data[0];

    video_frame_alloc_compressed(f, 900, VideoFrameJpegData);
    EXPECT_EQ(f->data[0], first);
    EXPECT_EQ(f->data_size[0], 900u);
    EXPECT_EQ(f->alloc_size[0], 1064u);
    EXPECT_EQ(f->data_descriptor, VideoFrameJpegData);

    video_frame_alloc_compressed(f, 1001, VideoFrameJpegData);
    EXPECT_EQ(f->alloc_size[0], 1065u);
    std::memset(f->data[0], 2, 1065);

    // A frame viewing someone else's sample gets its own buffer.
    std::vector<uint8_t> ext(4096, 7);
    video_frame_set_compressed_data(f, ext.data(), 4000, VideoFrameHapData);
    EXPECT_EQ(f->is_external, 1);
    EXPECT_EQ(f->data[0], ext.data());
    EXPECT_EQ(f->data_size[0], 4000u);
    video_frame_alloc_compressed(f, 2000, VideoFrameHapData);
    EXPECT_EQ(f->is_external, 0);
    EXPECT_NE(f->data[0], ext.data());
    EXPECT_EQ(ext[0], 7);

    EXPECT_EQ(error_of([&] { video_frame_alloc_compressed(f, 0xFFFFFFC0u, VideoFrameHapData); }), "Invalid plane size");
}

void fill_pattern(VideoFrame *f) {
    for (uint32_t p = 0; p < f->nb_planes; ++p)
        for (uint32_t i = 0; i < f->data_size[p]; ++i) f->data[p][i] = static_cast<uint8_t>(p * 64 + i * 7);
}

TEST(VideoFrame, CopyRowByRowWhenLineSizesDiffer) {
    FrameHolder src, dst;
    video_frame_alloc(src.f, 40, 3, PixFmt_PlanarRGB8, 0);  // lines of 40
    video_frame_alloc(dst.f, 40, 3, PixFmt_PlanarRGB8, 1);  // lines of 64
    fill_pattern(src.f);
    std::memset(dst.f->data[0], 0xEE, dst.f->data_size[0]);
    src.f->frame_index = 41;
    video_frame_copy(dst.f, src.f);
    EXPECT_EQ(dst.f->frame_index, 41u);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(0, std::memcmp(dst.f->data[p] + y * 64, src.f->data[p] + y * 40, 40)) << p << " " << y;
    EXPECT_EQ(dst.f->data[0][40], 0xEE);  // padding untouched

    // Equal line sizes: one piece of the smaller data size.
    FrameHolder same;
    video_frame_alloc(same.f, 40, 3, PixFmt_PlanarRGB8, 0);
    video_frame_copy(same.f, src.f);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(0, std::memcmp(same.f->data[p], src.f->data[p], 120));
}

TEST(VideoFrame, CopyNeverWritesPastASmallerDestination) {
    struct Case {
        const char *name;
        PixFmt fmt;
        uint32_t sw, sh, dw, dh;
        uint8_t salign, dalign;
    } cases[] = {
        {"fewer rows, other line size", PixFmt_RGBA8, 16, 64, 16, 8, 1, 0},
        {"narrower rows", PixFmt_RGBA8, 40, 8, 8, 8, 0, 1},
        {"4:2:0 fewer rows", PixFmt_YUV420, 30, 31, 30, 9, 1, 0},
        {"equal lines, fewer rows", PixFmt_Grey8, 64, 20, 64, 3, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FrameHolder src, dst;
        video_frame_alloc(src.f, c.sw, c.sh, c.fmt, c.salign);
        video_frame_alloc(dst.f, c.dw, c.dh, c.fmt, c.dalign);
        fill_pattern(src.f);
        video_frame_copy(dst.f, src.f);  // ASan reports any write past dst
        const int64_t row = std::min(src.f->linesize[0], dst.f->linesize[0]);
        EXPECT_EQ(0, std::memcmp(dst.f->data[0], src.f->data[0], row));
    }
}

TEST(VideoFrame, CopyFromABottomUpPlaneKeepsDisplayOrder) {
    // Three rows stored top-down in memory, described bottom-up by a negative line.
    std::vector<uint8_t> mem = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    uint8_t *planes[4] = {mem.data() + 8, nullptr, nullptr, nullptr};
    const int64_t lines[4] = {-4, 0, 0, 0};
    FrameHolder flipped, dst;
    video_frame_set_external_planes(flipped.f, planes, lines, 4, 3, PixFmt_Grey8);
    video_frame_alloc(dst.f, 4, 3, PixFmt_Grey8, 0);
    video_frame_copy(dst.f, flipped.f);
    const uint8_t want[12] = {3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1};
    EXPECT_EQ(0, std::memcmp(dst.f->data[0], want, 12));
}

TEST(VideoFrame, CopyFailuresAndWarnings) {
    FrameHolder a, b;
    video_frame_alloc(a.f, 4, 4, PixFmt_Grey8, 0);
    video_frame_alloc(b.f, 4, 4, PixFmt_Grey8, 1);
    EXPECT_EQ(error_of([&] { video_frame_copy(nullptr, a.f); }), "Invalid dst video frame (copy)");
    EXPECT_EQ(error_of([&] { video_frame_copy(a.f, nullptr); }), "Invalid src video frame (copy)");

    b.f->linesize[0] = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(error_of([&] { video_frame_copy(b.f, a.f); }), "Invalid linesize");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR : Src linesize : 4 ; Dst linesize : 0\n");

    // A compressed sample into a frame whose plane 0 holds no data.
    FrameHolder sample, empty;
    video_frame_alloc_compressed(sample.f, 100, VideoFrameHapData);
    std::memset(sample.f->data[0], 9, 100);
    video_frame_alloc_compressed(empty.f, 100, VideoFrameHapData);
    std::memset(empty.f->data[0], 0, 164);
    empty.f->data_size[0] = 0;
    testing::internal::CaptureStdout();
    video_frame_copy(empty.f, sample.f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "WARN : Can't copy data for plane : 0 (size src : 100 ; size dst : 0)\n");
    EXPECT_EQ(empty.f->data[0][0], 0);
}

TEST(VideoFrame, CopyHeaderMakesAViewWithTheRectangle) {
    FrameHolder src, dst;
    video_frame_alloc_dxt(src.f, 8, 8, VideoFrameDxtData_HAPQA);
    src.f->error_flags = VideoFrameError_Corrupt;
    src.f->frame_index = 5;
    src.f->rect_flags = VideoFrameRect_Valid;
    src.f->rect = {1, 2, 3, 4};
    video_frame_alloc(dst.f, 16, 16, PixFmt_PlanarRGBA16, 0);  // released, not leaked
    video_frame_copy_header(dst.f, src.f);
    EXPECT_EQ(dst.f->is_external, 1);
    EXPECT_EQ(dst.f->is_raw, 0);
    EXPECT_EQ(dst.f->data_descriptor, VideoFrameDxtData_HAPQA);
    EXPECT_EQ(dst.f->error_flags, VideoFrameError_Corrupt);
    EXPECT_EQ(dst.f->frame_index, 5u);
    EXPECT_EQ(dst.f->nb_planes, 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(dst.f->data[i], src.f->data[i]);
        EXPECT_EQ(dst.f->linesize[i], src.f->linesize[i]);
        EXPECT_EQ(dst.f->data_size[i], src.f->data_size[i]);
        EXPECT_EQ(dst.f->block_bytes[i], src.f->block_bytes[i]);
    }
    EXPECT_EQ(dst.f->data[2], nullptr);
    EXPECT_EQ(dst.f->rect_flags, VideoFrameRect_Valid);
    EXPECT_EQ(dst.f->rect.x, 1u);
    EXPECT_EQ(dst.f->rect.h, 4u);
    // Destroying the view leaves src's planes alive (ASan would see a double free).
}

TEST(PixFmt, NamesAndDescriptors) {
    struct Case {
        uint32_t code;
        const char *name;
        uint8_t planes;
        uint32_t flags;
        uint8_t bpp0, depth0;
        uint32_t sub_w1, sub_h1;
    } cases[] = {
        {0, "Packed ARGB8", 1, 0x26, 4, 8, 1, 1},
        {7, "Packed RGBA32f LE", 1, 0x1026, 16, 32, 1, 1},
        {21, "Planar Grey 32f bits LE", 1, 0x1018, 4, 32, 1, 1},
        {22, "Planar YUV 420", 3, 0x148, 1, 8, 2, 2},
        {25, "Planar YUVA 422", 4, 0x14A, 1, 8, 2, 2},
        {31, "Planar YUV 422 12 bits LE", 3, 0x248, 2, 12, 2, 1},
        {35, "Packed V210 (42210LE)", 1, 0x244, 4, 10, 1, 1},
        {36, "Packed UYVY A (422)", 2, 0x246, 4, 8, 1, 1},
        {38, "Packed CMYKA8", 1, 0x806, 5, 8, 1, 1},
        {40, "Unknown pix fmt", 1, 0, 0, 0, 1, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        const auto fmt = static_cast<PixFmt>(c.code);
        EXPECT_STREQ(get_pix_fmt_name(fmt), c.name);
        PixDescriptor d = get_pix_descriptor(fmt);
        EXPECT_EQ(d.nb_planes, c.planes);
        EXPECT_EQ(d.flags, c.flags);
        EXPECT_EQ(d.bytes_per_pixel[0], c.bpp0);
        EXPECT_EQ(d.bit_depth[0], c.depth0);
        EXPECT_EQ(d.sub_w[1], c.sub_w1);
        EXPECT_EQ(d.sub_h[1], c.sub_h1);
        EXPECT_EQ(d.bytes_per_pixel[3], c.planes == 4 ? d.bytes_per_pixel[0] : 0);
        EXPECT_EQ(d.sub_h[3], 1u);
    }
    EXPECT_EQ(get_pix_descriptor(PixFmt_UYVYA).bit_depth[1], 0);
    EXPECT_STREQ(get_pix_fmt_name(PixFmt_Undefined), "Undefined (Unknown)");
    EXPECT_EQ(error_of([] { get_pix_descriptor(PixFmt_Undefined); }), "Can't get pix descriptor : Unknown pixfmt");

    EXPECT_STREQ(get_data_descriptor_name(VideoFrameHapData), "VideoFrameHapData");
    EXPECT_STREQ(get_data_descriptor_name(VideoFrameDxtData_HAPAlphaOnly), "VideoFrameDxtData_HAPAlphaOnly");
    EXPECT_STREQ(get_data_descriptor_name(VideoFrameUnknown), "VideoFrameUnknown");
    EXPECT_STREQ(get_data_descriptor_name(static_cast<VideoFrameDataDescriptor>(20)), "Unknown data descriptor");
}

TEST(VideoFrame, ErrorFlagTextTakesTheFirstBitInOrder) {
    struct Case {
        uint32_t flags;
        const char *text;
    } cases[] = {
        {0x02 | 0x20, "Corrupt frame"},
        {0x04 | 0x08, "Invalid codec"},
        {0x08 | 0x10, "Invalid resolution"},
        {0x10 | 0x20, "Invalid pixel format"},
        {0x20, "Fail to read frame"},
        {0x40, "Unknown error (flags unknown)"},
        {0x01, "Unknown error (flags unknown)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_STREQ(get_video_frame_error_text(c.flags), c.text);
    }
    EXPECT_EQ(get_video_frame_error_text(0), nullptr);
}

TEST(DxtSizing, BlockCountsAndSizes) {
    struct Case {
        uint32_t w, h;
        DxtCodec codec;
        uint32_t size;
    } cases[] = {
        {5, 5, DxtCodec_DXT1, 32},
        {1920, 1080, DxtCodec_DXT1, 1036800},
        {1920, 1080, DxtCodec_DXT5, 2073600},
        {1918, 1080, DxtCodec_RGTC1, 1036800},
        {1, 1, DxtCodec_BC7, 16},
        {0, 9, DxtCodec_BC7, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.w);
        EXPECT_EQ(get_dxt_data_size(c.w, c.h, c.codec), c.size);
    }
    EXPECT_EQ(get_dxt_block_count(0), 0u);
    EXPECT_EQ(get_dxt_block_count(4), 1u);
    EXPECT_EQ(get_dxt_block_count(5), 2u);
    EXPECT_EQ(get_dxt_block_count(0xFFFFFFFFu), 0x40000000u);
    EXPECT_EQ(round_up_mult_4(1918), 1920u);
    EXPECT_EQ(round_up_mult_4(1920), 1920u);
    EXPECT_EQ(error_of([] { get_dxt_block_bytes(static_cast<DxtCodec>(4)); }), "Unknown dxt codec");
    // 16384 x 16384 blocks of 16 bytes is 4 GiB: no longer a 32-bit size.
    EXPECT_EQ(error_of([] { get_dxt_data_size(65535, 65535, DxtCodec_BC7); }), "Invalid plane size");
}

}  // namespace
