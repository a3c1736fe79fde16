// Which gathering, axis, projection and packing members the encoder set-up stores for
// each layout, tier mask, quality and codec.
#include <cstring>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

TEST(ClusterSetupAvx, StagesFollowTheMask) {
    const CpuFeatures &cpu = cpu_features();
    for (uint32_t codec : {uint32_t(DXTENC_CODEC_DXT1), uint32_t(DXTENC_CODEC_DXT5)}) {
        for (uint8_t quality : {uint8_t(2), uint8_t(3)}) {
            for (uint32_t mask : {0x00u, 0x20u, 0x28u, 0x68u, 0x88u, 0xB8u, 0xF8u}) {
                for (uint32_t format = 0; format < 16; ++format) {
                    if (format == DXTENC_PIX_ARGB32F) { continue; }
                    SCOPED_TRACE(testing::Message() << "codec " << codec << " quality " << int(quality) << " format "
                                                    << format << " mask 0x" << std::hex << mask);
                    DxtEncContext ctx;
                    std::memset(&ctx, 0, sizeof ctx);
                    ASSERT_EQ(dxtenc_init(&ctx, 64, 64, codec, quality, 0, format, 0, 1, mask), 0);
                    const DxtEncOps &o = ctx.ops;
                    const bool avx = (mask & 0x28) == 0x28 && cpu.avx;
                    const bool avx2 = (mask & 0x88) == 0x88 && cpu.avx && cpu.avx2 && quality == 2;
                    EXPECT_EQ(o.to_unique_colors,
                              avx ? cluster_unique_colors_kernel_avx(format) : cluster_unique_colors_kernel(format));
                    EXPECT_NE(o.to_unique_colors, nullptr);
                    EXPECT_EQ(o.cluster_axis[0], avx ? cluster_axis_count02_avx : cluster_axis_count02_sse41);
                    EXPECT_EQ(o.cluster_axis[14], avx ? cluster_axis_count16_avx : cluster_axis_count16_sse41);
                    EXPECT_EQ(o.cluster_project[7], avx ? cluster_project_count09_avx : cluster_project_count09_sse41);
                    EXPECT_EQ(o.cluster_project[13], avx ? cluster_project_count15_avx : cluster_project_count15_sse41);
                    EXPECT_EQ(o.cluster_sort[14], cluster_sort_count16_sse41);
                    EXPECT_EQ(o.pack_block, avx2 ? dxt_pack_block_avx2 : dxt_pack_block_sse41);
                    EXPECT_EQ(o.pack_block_565, dxt_pack_block_565_sse41);
                }
            }
        }
    }
}

TEST(ClusterSetupAvx, EachLayoutGetsItsGatheringMember) {
    const struct {
        uint32_t format;
        DxtToUniqueColorsFn member;
    } cases[] = {
        {DXTENC_PIX_ARGB8, to_unique_colors_argb8_avx},
        {DXTENC_PIX_BGRA8, to_unique_colors_bgra8_avx},
        {DXTENC_PIX_BGRA8_BOTTOM_UP, to_unique_colors_bgra8_avx},
        {DXTENC_PIX_RGBA8, to_unique_colors_rgba8_avx},
        {DXTENC_PIX_ARGB16, to_unique_colors_argb16_avx},
        {DXTENC_PIX_ARGB16_SCALED, to_unique_colors_argb15_avx},
        {DXTENC_PIX_RGBA16, to_unique_colors_rgba16_avx},
        {DXTENC_PIX_RGB8, to_unique_colors_rgb8_avx},
        {DXTENC_PIX_BGR8, to_unique_colors_bgr8_avx},
        {DXTENC_PIX_PLANAR_RGBA8, to_unique_colors_planar8_avx},
        {DXTENC_PIX_PLANAR_RGB8, to_unique_colors_planar8_avx},
        {DXTENC_PIX_PLANAR_RGB10, to_unique_colors_planar10_avx},
        {DXTENC_PIX_PLANAR_RGB12, to_unique_colors_planar12_avx},
        {DXTENC_PIX_PLANAR_RGBA16, to_unique_colors_planar16_avx},
        {DXTENC_PIX_PLANAR_RGB16, to_unique_colors_planar16_avx},
    };
    for (const auto &c : cases) { EXPECT_EQ(cluster_unique_colors_kernel_avx(c.format), c.member) << c.format; }
}

}  // namespace
