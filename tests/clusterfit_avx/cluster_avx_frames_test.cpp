// Whole frames through the AVX cluster-fit tiers: the four shared photos (one scaled to
// 1920x1080, the others at their own sizes with partial edge blocks; logo.png with its
// alpha) coded as DXT1 and DXT5 at the normal and slow qualities with the baseline and each
// faster tier, on one thread and on every processor. Every colour block that differs from
// the baseline's must come from a known rounding cause (a near tie of the fit's error, a
// least-squares value on a half step of the grid, or a colour order that the two tiers'
// axes put otherwise), the alpha half never differs, the picture the ffmpeg tool decodes
// keeps the baseline's PSNR, and the thread count never changes a byte.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "cluster_trace.h"
#include "testutil/testutil.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

struct Photo {
    const char *name;
    int width, height;  // the frame coded: the photo's own size, or scaled to it
    bool scaled;
};
const Photo kPhotos[] = {
    {"coffee.png", 1920, 1080, true},
    {"chelsea.png", 451, 300, false},
    {"rocket.jpg", 640, 427, false},
    {"logo.png", 500, 500, false},
};

const std::vector<uint8_t> &pixels_of(const Photo &ph) {
    static std::map<std::string, std::vector<uint8_t>> cache;
    auto it = cache.find(ph.name);
    if (it == cache.end()) {
        const std::string vf =
            ph.scaled ? "scale=" + std::to_string(ph.width) + ":" + std::to_string(ph.height) : std::string();
        it = cache
                 .emplace(ph.name, testutil::ffmpeg_raw_frame(
                                       "-i " + testutil::shell_quote(testutil::testdata_photo(ph.name)), "rgba", vf))
                 .first;
    }
    return it->second;
}

std::vector<uint8_t> encode(const Photo &ph, uint32_t codec, uint8_t quality, uint32_t isa, uint32_t threads) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    EXPECT_EQ(dxtenc_init(&ctx, uint16_t(ph.width), uint16_t(ph.height), codec, quality, 0, DXTENC_PIX_RGBA8,
                          DXTENC_PAD_REPEAT, threads, isa),
              0);
    std::vector<uint8_t> out(dxtenc_encoded_size(uint16_t(ph.width), uint16_t(ph.height), codec, DXTENC_PAD_REPEAT));
    const uint8_t *planes[4] = {pixels_of(ph).data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * int64_t(ph.width), 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

// The distinct colours of block (bx, by), edge pixels repeated as the padding does, with
// the palette index each took in a colour block.
TraceFit fit_of(const Photo &ph, int bx, int by, const uint8_t *color_block) {
    std::map<uint32_t, int> seen;
    std::vector<std::array<float, 3>> colors;
    std::vector<int> counts;
    int32_t map[16];
    for (int p = 0; p < 16; ++p) {
        const int x = std::min(bx * 4 + p % 4, ph.width - 1), y = std::min(by * 4 + p / 4, ph.height - 1);
        const uint8_t *px = pixels_of(ph).data() + (size_t(y) * size_t(ph.width) + size_t(x)) * 4;
        const uint32_t key = uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16;
        auto it = seen.find(key);
        if (it == seen.end()) {
            it = seen.emplace(key, int(colors.size())).first;
            colors.push_back({float(px[0]) / 255.0f, float(px[1]) / 255.0f, float(px[2]) / 255.0f});
            counts.push_back(0);
        }
        ++counts[size_t(it->second)];
        map[p] = it->second;
    }
    std::vector<float> weights;
    for (int n : counts) { weights.push_back(std::sqrt(float(n))); }
    return trace_fit(colors, weights, map, color_block);
}

double decoded_psnr(const testutil::TempDir &dir, const Photo &ph, uint32_t codec, const std::vector<uint8_t> &blocks,
                    int channel_from, int channels) {
    const std::string path = dir.file("frame.dds");
    testutil::write_file(path, testutil::dds_file(uint32_t(ph.width), uint32_t(ph.height),
                                                  codec == DXTENC_CODEC_DXT5 ? "DXT5" : "DXT1", blocks));
    const std::vector<uint8_t> decoded = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "rgba");
    const std::vector<uint8_t> &src = pixels_of(ph);
    EXPECT_EQ(decoded.size(), src.size());
    if (decoded.size() != src.size()) { return 0; }
    return testutil::psnr8(src.data() + channel_from, decoded.data() + channel_from, size_t(ph.width) * ph.height, 4,
                           channels);
}

class ClusterAvxFrames : public testing::TestWithParam<Photo> {};

TEST_P(ClusterAvxFrames, DifferencesFromTheBaselineHaveKnownCausesAndKeepThePsnr) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    ASSERT_FALSE(testutil::require_tool("ffmpeg").empty());
    const Photo &ph = GetParam();
    ASSERT_EQ(pixels_of(ph).size(), size_t(ph.width) * ph.height * 4);
    const int bw = (ph.width + 3) / 4, bh = (ph.height + 3) / 4;
    testutil::TempDir dir;
    for (uint32_t codec : {uint32_t(DXTENC_CODEC_DXT1), uint32_t(DXTENC_CODEC_DXT5)}) {
        for (uint8_t quality : {uint8_t(2), uint8_t(3)}) {
            const std::vector<uint8_t> base = encode(ph, codec, quality, 0x00, 0);
            EXPECT_EQ(encode(ph, codec, quality, 0x00, 1), base) << "baseline: one thread and all differ";
            const double base_db = decoded_psnr(dir, ph, codec, base, 0, 3);
            const size_t block_bytes = codec == DXTENC_CODEC_DXT5 ? 16 : 8, colour_at = block_bytes - 8;
            for (uint32_t isa : {0x28u, 0x68u, 0xF8u}) {
                if ((isa & 0x40) && !has_fma()) { continue; }
                if (isa == 0xF8 && quality == 3) { continue; }  // the slow quality clears AVX2: 0x68 again
                SCOPED_TRACE(testing::Message() << ph.name << " codec " << codec << " quality " << int(quality)
                                                << " mask 0x" << std::hex << isa);
                const std::vector<uint8_t> tier = encode(ph, codec, quality, isa, 0);
                ASSERT_EQ(tier.size(), base.size());
                EXPECT_EQ(encode(ph, codec, quality, isa, 1), tier) << "one thread and all differ";
                int differ = 0, causes[4] = {};
                for (int by = 0; by < bh; ++by) {
                    for (int bx = 0; bx < bw; ++bx) {
                        const size_t at = (size_t(by) * size_t(bw) + size_t(bx)) * block_bytes;
                        ASSERT_EQ(std::memcmp(&tier[at], &base[at], colour_at), 0) << "alpha half differs";
                        if (std::memcmp(&tier[at + colour_at], &base[at + colour_at], 8) == 0) { continue; }
                        ++differ;
                        const TraceFit t = fit_of(ph, bx, by, &tier[at + colour_at]),
                                       b = fit_of(ph, bx, by, &base[at + colour_at]);
                        const TraceCause cause = trace_cause(t, b);
                        if (++causes[int(cause)] <= 5 && cause == TraceCause::Unexplained) {
                            ADD_FAILURE() << "block (" << bx << ", " << by << "): errors " << fit_error(t) << " and "
                                          << fit_error(b) << " of energy " << energy(t);
                        }
                    }
                }
                const double db = decoded_psnr(dir, ph, codec, tier, 0, 3);
                std::printf(
                    "[ %s codec %u quality %d mask 0x%02x ] %d of %d colour blocks differ (%d near ties, %d "
                    "half steps, %d colour orders, %d unexplained); PSNR %.4f dB, baseline %.4f dB\n",
                    ph.name, codec, quality, isa, differ, bw * bh, causes[0], causes[1], causes[2], causes[3], db,
                    base_db);
                EXPECT_EQ(causes[int(TraceCause::Unexplained)], 0);
                EXPECT_GE(db, base_db - 0.01);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Photos, ClusterAvxFrames, testing::ValuesIn(kPhotos),
                         [](const testing::TestParamInfo<Photo> &i) {
                             std::string name = i.param.name;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
