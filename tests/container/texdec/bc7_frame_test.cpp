// HAP R through the texture encoder's frame path: set-up of codec 6, block order, the
// quality's per-block encoder, opaque sources, and decoding back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "testutil/testutil.h"
#include "texenc/bc7enc/bc7enc.h"
#include "texenc/dxtenc.h"

namespace {

TEST(Bc7Frame, EncodeFrameWritesTheQualitysBlocksInRowOrder) {
    // 64x32 RGBA8 testsrc2 with a ramp alpha; two slices.
    constexpr int W = 64, H = 32;
    std::vector<uint8_t> rgba =
        testutil::ffmpeg_raw_frame("-f lavfi -i testsrc2=size=64x32", "rgba",
                                   "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='clip(X*4+Y,0,255)'");
    ASSERT_EQ(rgba.size(), size_t(W * H * 4));
    const uint32_t level[3] = {0, 1, 4}, limit[3] = {4, 16, 64};
    for (uint8_t no_alpha : {0, 1}) {
        for (uint8_t quality = 1; quality <= 3; quality++) {
            SCOPED_TRACE(::testing::Message() << "quality " << int(quality) << " no_alpha " << int(no_alpha));
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            ctx.no_alpha = no_alpha;
            ASSERT_EQ(dxtenc_init(&ctx, W, H, DXTENC_CODEC_BC7, quality, 1, DXTENC_PIX_RGBA8, 0, 2, 0xF8), 0);
            const uint32_t size = dxtenc_encoded_size(W, H, DXTENC_CODEC_BC7, 0);
            ASSERT_EQ(size, uint32_t(W / 4 * H / 4 * 16));
            std::vector<uint8_t> out(size, 0xCD);
            const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
            const int64_t strides[4] = {W * 4, 0, 0, 0};
            dxtenc_encode_frame(&ctx, out.data(), planes, strides);

            size_t mismatches = 0;
            for (int by = 0; by < H / 4; by++)
                for (int bx = 0; bx < W / 4; bx++) {
                    uint8_t px[16][4];
                    for (int y = 0; y < 4; y++) std::memcpy(px[4 * y], &rgba[4 * ((4 * by + y) * W + 4 * bx)], 16);
                    if (no_alpha)
                        for (auto &p : px) p[3] = 255;
                    uint8_t want[16], dec[64];
                    bc7enc_encode_pixels(want, px, level[quality - 1], limit[quality - 1]);
                    const uint8_t *got = &out[16 * (by * (W / 4) + bx)];
                    if (std::memcmp(got, want, 16) != 0) mismatches++;
                    unpack_bc7(got, dec);
                    if (no_alpha) {
                        for (int i = 0; i < 16; i++) ASSERT_EQ(dec[4 * i + 3], 255) << "block " << bx << "," << by;
                    }
                }
            EXPECT_EQ(mismatches, 0u);
        }
    }
}

}  // namespace
