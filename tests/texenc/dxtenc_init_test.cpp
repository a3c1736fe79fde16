// Encoder set-up: refusals and their messages, slice plans, texture sizes and tiers.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/core/cpu.h"
#include "platform/core/errors.h"
#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

struct InitResult {
    int32_t rc;
    std::string out;
};

InitResult init(DxtEncContext &ctx, uint32_t codec, int quality, uint32_t fmt, uint8_t no_alpha = 0,
                uint32_t threads = 1, uint16_t w = 64, uint16_t h = 64, uint32_t isa = 0xF8, uint32_t pad = 0) {
    std::memset(&ctx, 0, sizeof(ctx));
    ctx.no_alpha = no_alpha;
    testing::internal::CaptureStdout();
    int32_t rc = dxtenc_init(&ctx, w, h, codec, uint8_t(quality), 1, fmt, pad, threads, isa);
    return {rc, testing::internal::GetCapturedStdout()};
}

TEST(DxtEncInit, RefusalsPrintOneLineAndReturnOne) {
    struct Case {
        uint32_t codec;
        int quality;
        uint32_t fmt;
        uint8_t no_alpha;
        int32_t rc;
        const char *message;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 1, "DxtEnc DXT1 Qualite inconnu : 0\n"},
        {0, 4, 1, 0, 1, "DxtEnc DXT1 Qualite inconnu : 4\n"},
        {1, 9, 3, 0, 1, "DxtEnc DXT5 Qualite inconnu : 9\n"},
        // The quality is tested before the layout.
        {0, 0, 7, 0, 1, "DxtEnc DXT1 Qualite inconnu : 0\n"},
        {0, 1, 7, 0, 1, "DXT1 invalid pix fmt : 7\n"},
        {1, 1, 7, 0, 1, "DXT1 invalid pix fmt : 7\n"},
        // A layout above 15 is refused before anything else.
        {0, 1, 16, 0, 1, "Pad invalid pix fmt : 16\n"},
        {2, 1, 99, 0, 1, "Pad invalid pix fmt : 99\n"},
        {2, 1, 7, 0, 1, "RGTC1 Luma invalid pix fmt : 7\n"},
        {3, 1, 7, 0, 1, "RGTC1 Alpha invalid pix fmt : 7\n"},
        {6, 0, 7, 0, 1, "BC7 invalid pix fmt : 7\n"},
        {6, 0, 1, 0, 1, "BC7 invalid quality : 0\n"},
        // RGTC1 ignores the quality; alpha from the float layout is fine without alpha.
        {2, 9, 1, 0, 0, ""},
        {3, 9, 1, 0, 0, ""},
        {3, 1, 7, 1, 0, ""},
        {0, 1, 15, 0, 0, ""},
        {1, 1, 2, 0, 0, ""},
        {0, 2, 7, 0, 1, "DXT1 invalid pix fmt : 7\n"},
        {0, 3, 7, 0, 1, "Cs unsupported : 7\n"},
        {1, 3, 7, 0, 1, "Cs unsupported : 7\n"},
        {0, 2, 12, 0, 0, ""},
        {1, 3, 14, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "codec " << c.codec << " quality " << c.quality << " fmt " << c.fmt);
        DxtEncContext ctx;
        InitResult r = init(ctx, c.codec, c.quality, c.fmt, c.no_alpha);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.out, c.message);
    }
}

TEST(DxtEncInit, UnknownAndUnavailableCodecsAreRefused) {
    for (uint32_t codec : {7u, 100u}) {
        SCOPED_TRACE(codec);
        DxtEncContext ctx;
        InitResult r = init(ctx, codec, 1, 1);
        EXPECT_EQ(r.rc, 1);
        // One line, ending in a line break.
        ASSERT_FALSE(r.out.empty());
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
        EXPECT_EQ(ctx.ops.encode_block_tex1, nullptr);
    }
}

TEST(DxtEncInit, SlicePlans) {
    struct Case {
        uint32_t threads;
        uint16_t height;
        uint16_t slices;
        std::vector<uint16_t> first, rows;
    };
    std::vector<uint16_t> first64, rows64;
    for (int i = 0; i < 32; i++) {
        first64.push_back(uint16_t(32 * i));
        rows64.push_back(32);
    }
    first64.push_back(1024);
    rows64.push_back(28);
    first64.push_back(1052);
    rows64.push_back(30);
    const Case cases[] = {
        {8, 1080, 8, {0, 136, 272, 408, 544, 680, 816, 948}, {136, 136, 136, 136, 136, 136, 132, 132}},
        {64, 1082, 34, first64, rows64},
        {2, 33, 2, {0, 16}, {16, 17}},
        {2, 30, 1, {}, {}},
        {1, 1080, 1, {}, {}},
        {4, 0, 0, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, height " << c.height);
        DxtEncContext ctx;
        InitResult r = init(ctx, 0, 1, 1, 0, c.threads, 64, c.height);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(ctx.slice_count, c.slices);
        for (size_t i = 0; i < c.first.size(); i++) {
            EXPECT_EQ(ctx.slice_first_row[i], c.first[i]) << "slice " << i;
            EXPECT_EQ(ctx.slice_rows[i], c.rows[i]) << "slice " << i;
        }
    }
}

TEST(DxtEncSize, EncodedSizes) {
    struct Case {
        uint16_t w, h;
        uint32_t codec, pad;
        uint32_t size;
    };
    const Case cases[] = {
        {1920, 1080, 0, 0, 1036800},
        {1920, 1080, 1, 0, 2073600},
        {1920, 1080, 4, 0, 2073600},
        {1920, 1080, 6, 0, 2073600},
        {1920, 1080, 5, 0, 3110400},
        {5, 5, 1, 0, 4 * 16},
        {5, 5, 1, 3, 16},
        {3, 7, 0, 3, 0},
        {3, 7, 0, 7, 2 * 8},
        {1918, 1078, 2, 0, 480 * 270 * 8},
        {0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " codec " << c.codec << " pad " << c.pad);
        EXPECT_EQ(dxtenc_encoded_size(c.w, c.h, c.codec, c.pad), c.size);
    }
}

TEST(DxtEncSize, SizesPast32BitsAreRefused) {
    // 16384 x 16384 blocks of 24 bytes: 6.4 GB would wrap in 32 bits.
    EXPECT_THROW(dxtenc_encoded_size(65535, 65535, 5, 0), ProcessError);
    EXPECT_THROW(dxtenc_encoded_size(65535, 65535, 1, 0), ProcessError);
    EXPECT_EQ(dxtenc_encoded_size(65535, 65535, 0, 0), 16384u * 16384u * 8u);
    DxtEncContext ctx;
    InitResult r = init(ctx, 3, 1, 1, 0, 1, 65535, 65535);
    EXPECT_EQ(r.rc, 0);
    r = init(ctx, 1, 1, 1, 0, 1, 65535, 65535);
    EXPECT_EQ(r.rc, 1);
    EXPECT_FALSE(r.out.empty());
}

TEST(DxtEncInit, TierChoice) {
    const CpuFeatures &cpu = cpu_features();
    struct Case {
        uint32_t isa;
        bool avx, avx2, avx2_fma;
    };
    const Case cases[] = {
        {0x00, false, false, false},
        {0x10, false, false, false},
        {0xF0, false, false, false},
        {0x18, false, false, false},
        {0x28, cpu.avx, false, false},
        {0x88, false, cpu.avx2, false},
        {0xF8, cpu.avx, cpu.avx2, cpu.avx2 && cpu.fma},
        {0xB8, cpu.avx, cpu.avx2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << c.isa);
        DxtEncContext ctx;
        ASSERT_EQ(init(ctx, 1, 1, 0, 0, 1, 64, 64, c.isa).rc, 0);
        const DxtEncOps &o = ctx.ops;
        EXPECT_EQ(o.to_planar_rgb, c.avx ? dxtenc_to_planar_rgb_avx[0] : dxtenc_to_planar_rgb_sse41[0]);
        EXPECT_EQ(o.to_alpha, c.avx ? dxtenc_to_alpha_avx[0] : dxtenc_to_alpha_sse41[0]);
        EXPECT_EQ(o.fast_fit_indices, c.avx2  ? fast_fit_indices_avx2
                                      : c.avx ? fast_fit_indices_avx
                                              : fast_fit_indices_sse41);
        EXPECT_EQ(o.fast_fit_endpoints, c.avx2  ? fast_fit_endpoints_avx2
                                        : c.avx ? fast_fit_endpoints_avx
                                                : fast_fit_endpoints_sse41);
        EXPECT_EQ(o.fast_fit_refine, c.avx2_fma ? fast_fit_refine_avx2
                                     : c.avx    ? fast_fit_refine_avx
                                                : fast_fit_refine_sse41);
        EXPECT_EQ(o.alpha_palette_indices, c.avx2  ? alpha_block_indices_avx2
                                           : c.avx ? alpha_block_indices_avx
                                                   : alpha_block_indices_sse41);
        EXPECT_EQ(o.encode_block_tex1, encode_block_dxt5_q1);
        EXPECT_EQ(o.pad_partial_block, pad_partial_block_argb8_repeat);
    }
}

TEST(DxtEncInit, FieldsFollowLayoutAndAlpha) {
    DxtEncContext ctx;
    // Without alpha the alpha kernel writes 255 whatever the layout holds.
    ASSERT_EQ(init(ctx, 3, 1, 0, 1).rc, 0);
    EXPECT_EQ(ctx.ops.to_alpha, to_alpha_opaque);
    ASSERT_EQ(init(ctx, 3, 1, 11, 0).rc, 0);
    EXPECT_EQ(ctx.ops.to_alpha, to_alpha_opaque);
    ASSERT_EQ(init(ctx, 3, 1, 2, 0, 1, 64, 64, 0).rc, 0);
    EXPECT_EQ(ctx.ops.to_alpha, dxtenc_to_alpha_sse41[1]);
    // Pad modes: 3 repeats like 0, values above 3 fill zero like 2.
    ASSERT_EQ(init(ctx, 0, 1, 9, 0, 1, 64, 64, 0xF8, 3).rc, 0);
    EXPECT_EQ(ctx.ops.pad_partial_block, pad_partial_block_bgr8_repeat);
    ASSERT_EQ(init(ctx, 0, 1, 10, 0, 1, 64, 64, 0xF8, 7).rc, 0);
    EXPECT_EQ(ctx.ops.pad_partial_block, pad_partial_block_planar_rgba8_zero);
    ASSERT_EQ(init(ctx, 0, 1, 5, 0, 1, 64, 64, 0xF8, 1).rc, 0);
    EXPECT_EQ(ctx.ops.pad_partial_block, pad_partial_block_argb16_scaled_black);
}

}  // namespace

namespace {

TEST(DxtEncInit, SlowQualityDropsAvx2) {
    const CpuFeatures &cpu = cpu_features();
    if (!cpu.avx2) GTEST_SKIP() << "no AVX2";
    DxtEncContext ctx;
    ASSERT_EQ(init(ctx, 1, 2, 1).rc, 0);
    EXPECT_EQ(ctx.ops.alpha_palette_indices, alpha_block_indices_avx2);
    EXPECT_EQ(ctx.ops.encode_block_tex1, encode_block_dxt5_q2);
    EXPECT_EQ(ctx.ops.to_planar_rgb_range, dxtenc_to_planar_rgb_range_avx[1]);
    ASSERT_EQ(init(ctx, 1, 3, 1).rc, 0);
    EXPECT_EQ(ctx.ops.alpha_palette_indices, alpha_block_indices_avx);
    EXPECT_EQ(ctx.ops.encode_block_tex1, encode_block_dxt5_q3);
    // RGTC1 keeps AVX2 at any quality value.
    ASSERT_EQ(init(ctx, 3, 3, 1).rc, 0);
    EXPECT_EQ(ctx.ops.alpha_palette_indices, alpha_block_indices_avx2);
}

}  // namespace
