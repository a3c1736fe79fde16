// HAP Q set-up: refusals of codecs 4 and 5, and which kernel each tier mask selects.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/core/cpu.h"
#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"
#include "texenc/ycocg.h"

namespace {

struct YcocgSetup {
    int32_t rc;
    std::string out;
    DxtEncContext ctx;
};

YcocgSetup init(uint32_t codec, int quality, uint32_t fmt, uint8_t no_alpha, uint32_t isa) {
    YcocgSetup s;
    std::memset(&s.ctx, 0, sizeof(s.ctx));
    s.ctx.no_alpha = no_alpha;
    testing::internal::CaptureStdout();
    s.rc = dxtenc_init(&s.ctx, 64, 64, codec, uint8_t(quality), 1, fmt, 0, 1, isa);
    s.out = testing::internal::GetCapturedStdout();
    return s;
}

TEST(YcocgInit, RefusalsAndAcceptedLayouts) {
    struct Case {
        uint32_t codec;
        int quality;
        uint32_t fmt;
        uint8_t no_alpha;
        int32_t rc;
        const char *message;
    };
    const Case cases[] = {
        {4, 0, 3, 0, 1, "DxtEnc DXT5 ycocg unknown quality : 0\n"},
        {4, 4, 3, 0, 1, "DxtEnc DXT5 ycocg unknown quality : 4\n"},
        {5, 200, 7, 0, 1, "DxtEnc DXT5 ycocg unknown quality : 200\n"},  // quality before layout
        {5, 2, 7, 0, 1, "RGTC1 Alpha invalid pix fmt : 7\n"},
        {5, 2, 7, 1, 0, ""},
        {4, 3, 7, 0, 0, ""},
        {4, 1, 15, 0, 0, ""},
        {5, 1, 12, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "codec " << c.codec << " q" << c.quality << " fmt " << c.fmt);
        const YcocgSetup s = init(c.codec, c.quality, c.fmt, c.no_alpha, 0xF8);
        EXPECT_EQ(s.rc, c.rc);
        EXPECT_EQ(s.out, c.message);
        if (c.rc == 0) {
            EXPECT_NE(s.ctx.ops.encode_block_tex1, nullptr);
            EXPECT_EQ(s.ctx.ops.encode_block_tex2 != nullptr, c.codec == 5);
        }
    }
}

TEST(YcocgInit, TierMasksChooseTheDocumentedMembers) {
    const CpuFeatures &cpu = cpu_features();
    struct Case {
        uint32_t isa;
        bool needs_avx, needs_avx2, needs_fma;
        // Expected tier of the conversion (0 baseline, 1 AVX, 2 AVX2), of the quality-1
        // luma/chroma (0, 1, 2 = AVX2+FMA), and whether qualities 2/3 run AVX2+FMA.
        int conv, q1, search;
    };
    const Case cases[] = {
        {0xF0, false, false, false, 0, 0, 0},  // without 0x08 nothing beyond the baseline
        {0x18, false, false, false, 0, 0, 0}, {0x38, true, false, false, 1, 1, 0},  // AVX only
        {0x78, true, false, true, 1, 1, 0},                                         // AVX and FMA
        {0xB8, true, true, false, 2, 1, 0},                                         // AVX2 without FMA
        {0xF8, true, true, true, 2, 2, 1},
    };
    for (const Case &c : cases) {
        if ((c.needs_avx && !cpu.avx) || (c.needs_avx2 && !cpu.avx2) || (c.needs_fma && !cpu.fma)) continue;
        for (uint32_t fmt : {3u, 7u, 12u}) {
            for (int q = 1; q <= 3; q++) {
                SCOPED_TRACE(testing::Message()
                             << "isa 0x" << std::hex << c.isa << std::dec << " fmt " << fmt << " q" << q);
                const YcocgSetup s = init(4, q, fmt, 0, c.isa);
                ASSERT_EQ(s.rc, 0);
                const DxtEncOps &o = s.ctx.ops;
                const int conv = fmt == 7 ? 0 : c.conv;  // the float layout has only the baseline
                if (fmt >= 10) {
                    const DxtToYcocgPlanarFn *t[] = {ycocg_to_ycocg_planar_sse41, ycocg_to_ycocg_planar_avx,
                                                     ycocg_to_ycocg_planar_avx2};
                    EXPECT_EQ(o.to_ycocg_planar, t[conv][fmt]);
                } else {
                    const DxtToYcocgFn *t[] = {ycocg_to_ycocg_sse41, ycocg_to_ycocg_avx, ycocg_to_ycocg_avx2};
                    EXPECT_EQ(o.to_ycocg, t[conv][fmt]);
                }
                if (q == 1) {
                    const DxtYcocgYBlockFn y[] = {ycocg_y_block_fast_sse41, ycocg_y_block_fast_avx,
                                                  ycocg_y_block_fast_avx2};
                    const DxtYcocgColorBlockFn col[] = {ycocg_color_block_sse41, ycocg_color_block_avx,
                                                        ycocg_color_block_avx2};
                    EXPECT_EQ(o.ycocg_y_block, y[c.q1]);
                    EXPECT_EQ(o.ycocg_color_block, col[c.q1]);
                    // The constant-chroma field has no AVX member.
                    EXPECT_EQ(o.ycocg_color_block_flat,
                              c.q1 == 2 ? ycocg_color_block_flat_avx2 : ycocg_color_block_flat_sse41);
                    EXPECT_EQ(o.encode_block_tex1,
                              fmt >= 10 ? encode_block_ycocg_q1_planar : encode_block_ycocg_q1_packed);
                    continue;
                }
                const bool f = c.search;
                EXPECT_EQ(o.ycocg_y_block, f ? ycocg_y_block_avx2 : ycocg_y_block_sse41);
                EXPECT_EQ(o.ycocg_color_indices, f ? ycocg_color_indices_avx2 : ycocg_color_indices_sse41);
                for (int k = 0; k < 3; k++) {
                    EXPECT_EQ(o.ycocg_inset_quantize[k],
                              (f ? ycocg_inset_quantize_avx2 : ycocg_inset_quantize_sse41)[k]);
                    EXPECT_EQ(o.ycocg_quantize[k], (f ? ycocg_quantize_avx2 : ycocg_quantize_sse41)[k]);
                    if (q == 2) {
                        EXPECT_EQ(o.ycocg_endpoint_search[k],
                                  (f ? ycocg_endpoint_search_q2_avx2 : ycocg_endpoint_search_q2_sse41)[k]);
                        EXPECT_EQ(o.ycocg_refine_a[k], (f ? ycocg_refine_a_q2_avx2 : ycocg_refine_a_q2_sse41)[k]);
                        EXPECT_EQ(o.ycocg_refine_b[k], (f ? ycocg_refine_b_q2_avx2 : ycocg_refine_b_q2_sse41)[k]);
                    } else {
                        // The quality-3 constant-chroma evaluators keep the baseline at every tier.
                        EXPECT_EQ(o.ycocg_endpoint_search[k], ycocg_endpoint_search_q3_sse41[k]);
                        EXPECT_EQ(o.ycocg_refine_a[k], (f ? ycocg_refine_a_q3_avx2 : ycocg_refine_a_q3_sse41)[k]);
                        EXPECT_EQ(o.ycocg_refine_b[k], (f ? ycocg_refine_b_q3_avx2 : ycocg_refine_b_q3_sse41)[k]);
                    }
                }
            }
        }
    }
}

}  // namespace
