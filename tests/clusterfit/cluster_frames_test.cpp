// Whole frames at the normal and slow DXT qualities, written as DDS and decoded by the
// ffmpeg tool: the cluster fit must beat the fast quality on a photograph.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testutil/testutil.h"
#include "texenc/dxtenc.h"

namespace {

TEST(ClusterFitFrames, NormalAndSlowBeatFastThroughFfmpeg) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    const int width = 600, height = 400;
    const std::vector<uint8_t> source =
        testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(testutil::testdata_photo("coffee.png")), "rgba");
    ASSERT_EQ(source.size(), static_cast<size_t>(width) * height * 4);
    testutil::TempDir dir;
    for (uint32_t codec : {uint32_t(DXTENC_CODEC_DXT1), uint32_t(DXTENC_CODEC_DXT5)}) {
        double psnr[4] = {};
        for (uint8_t quality = 1; quality <= 3; ++quality) {
            SCOPED_TRACE(testing::Message() << "codec " << codec << " quality " << int(quality));
            DxtEncContext ctx;
            memset(&ctx, 0, sizeof ctx);
            ASSERT_EQ(dxtenc_init(&ctx, width, height, codec, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 0, 0),
                      0);
            std::vector<uint8_t> blocks(dxtenc_encoded_size(width, height, codec, DXTENC_PAD_REPEAT));
            const uint8_t *planes[4] = {source.data(), nullptr, nullptr, nullptr};
            const int64_t strides[4] = {4 * width, 0, 0, 0};
            dxtenc_encode_frame(&ctx, blocks.data(), planes, strides);
            const std::string path = dir.file("q" + std::to_string(quality) + ".dds");
            testutil::write_file(
                path, testutil::dds_file(width, height, codec == DXTENC_CODEC_DXT5 ? "DXT5" : "DXT1", blocks));
            const std::vector<uint8_t> decoded =
                testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "rgba");
            ASSERT_EQ(decoded.size(), source.size());
            psnr[quality] = testutil::psnr8(source.data(), decoded.data(), static_cast<size_t>(width) * height, 4, 3);
        }
        SCOPED_TRACE(testing::Message() << "codec " << codec << " PSNR " << psnr[1] << " " << psnr[2] << " "
                                        << psnr[3]);
        RecordProperty("psnr_codec" + std::to_string(codec),
                       std::to_string(psnr[1]) + " " + std::to_string(psnr[2]) + " " + std::to_string(psnr[3]));
        EXPECT_GT(psnr[1], 30.0);
        EXPECT_GT(psnr[2], psnr[1]);
        EXPECT_GE(psnr[3], psnr[2]);
    }
}

}  // namespace
