// Which cluster-fit members the encoder set-up stores for each tier mask.
#include <cstring>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/clusterfit_avx/cluster_search_low.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

enum class Expect { Baseline, Avx, Fma };

TEST(ClusterSetupAvx, MaskChoosesTheMembers) {
    struct Case {
        uint32_t mask;
        Expect expect;
        bool needs_fma;
    };
    const Case cases[] = {
        {0x00, Expect::Baseline, false}, {0x08, Expect::Baseline, false}, {0x20, Expect::Baseline, false},
        {0x60, Expect::Baseline, false}, {0x28, Expect::Avx, false},      {0xB8, Expect::Avx, false},
        {0xF8, Expect::Fma, true},       {0x68, Expect::Fma, true},
    };
    for (uint8_t quality : {2, 3}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << "quality " << int(quality) << " mask 0x" << std::hex << c.mask);
            Expect expect = c.expect;
            if (expect != Expect::Baseline && !has_avx()) { expect = Expect::Baseline; }
            if (expect == Expect::Fma && !has_fma()) { expect = Expect::Avx; }
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            ASSERT_EQ(dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, quality, 0, DXTENC_PIX_RGBA8, 0, 1, c.mask), 0);
            const DxtEncOps &o = ctx.ops;
            const bool base = expect == Expect::Baseline, fma = expect == Expect::Fma;
            EXPECT_EQ(o.cluster_prepare[0], base ? cluster_prepare_count02_sse41 : cluster_prepare_count02_avx);
            EXPECT_EQ(o.cluster_prepare[14], base ? cluster_prepare_count16_sse41 : cluster_prepare_count16_avx);
            EXPECT_EQ(o.cluster_search_e[13], base  ? cluster_search_e_count15_sse41
                                              : fma ? cluster_search_e_count15_fma
                                                    : cluster_search_e_count15_avx);
            EXPECT_EQ(o.cluster_search_d[13], base  ? cluster_search_d_count15_sse41
                                              : fma ? cluster_search_d_count15_fma
                                                    : cluster_search_d_count15_avx);
            EXPECT_EQ(o.cluster_search_e16, base  ? cluster_search_e_count16_sse41
                                            : fma ? cluster_search_e_count16_fma
                                                  : cluster_search_e_count16_avx);
            EXPECT_EQ(o.cluster_search_d16, base  ? cluster_search_d_count16_sse41
                                            : fma ? cluster_search_d_count16_fma
                                                  : cluster_search_d_count16_avx);
#define CLUSTER_EXPECT_RUNS(kind)                                                        \
    EXPECT_EQ(o.cluster_search_##kind[13], base  ? cluster_search_##kind##_count15_sse41 \
                                           : fma ? cluster_search_##kind##_count15_fma   \
                                                 : cluster_search_##kind##_count15_avx); \
    EXPECT_EQ(o.cluster_search_##kind##16, base  ? cluster_search_##kind##_count16_sse41 \
                                           : fma ? cluster_search_##kind##_count16_fma   \
                                                 : cluster_search_##kind##_count16_avx);
            CLUSTER_EXPECT_RUNS(a)
            CLUSTER_EXPECT_RUNS(b)
            CLUSTER_EXPECT_RUNS(c)
#undef CLUSTER_EXPECT_RUNS
            auto pick = [&](auto baseline, auto avx, auto fma_member) {
                return base ? baseline : fma ? fma_member : avx;
            };
            EXPECT_EQ(o.cluster_search_e[10 - 2],
                      pick(cluster_search_e_count10_sse41, cluster_search_e_count10_avx, cluster_search_e_count10_fma));
            EXPECT_EQ(o.cluster_search_a[9 - 2],
                      pick(cluster_search_a_count09_sse41, cluster_search_a_count09_avx, cluster_search_a_count09_fma));
            EXPECT_EQ(o.cluster_search_d[8 - 2],
                      pick(cluster_search_d_count08_sse41, cluster_search_d_count08_avx, cluster_search_d_count08_fma));
            EXPECT_EQ(o.cluster_search_d[10 - 2],
                      pick(cluster_search_d_count10_sse41, cluster_search_d_count10_avx, cluster_search_d_count10_fma));
            EXPECT_EQ(o.cluster_search_e[14 - 2],
                      pick(cluster_search_e_count14_sse41, cluster_search_e_count14_avx, cluster_search_e_count14_fma));
            EXPECT_EQ(o.cluster_search_c[13 - 2],
                      pick(cluster_search_c_count13_sse41, cluster_search_c_count13_avx, cluster_search_c_count13_fma));
        }
    }
}

TEST(ClusterSetupAvx, FastQualityAndOtherCodecsLeaveTheFieldsEmpty) {
    for (uint32_t codec : {DXTENC_CODEC_DXT1, DXTENC_CODEC_RGTC1_LUMA, DXTENC_CODEC_YCOCG_DXT5}) {
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof ctx);
        ASSERT_EQ(dxtenc_init(&ctx, 64, 64, codec, 1, 0, DXTENC_PIX_RGBA8, 0, 1, 0xF8), 0);
        EXPECT_EQ(ctx.ops.cluster_prepare[14], nullptr);
        EXPECT_EQ(ctx.ops.cluster_search_e16, nullptr);
    }
}

}  // namespace
