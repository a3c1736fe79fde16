// Frames made by the ffmpeg tool: parse, unpack, pack again, and decode to the same
// pixels as ffmpeg's own decoder.
#include "container/texdec/dxt_decoder.h"
#include "container/hap/hap.h"
#include "container/hap/hap_test_clips.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

void serial_for(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *) {
    for (uint32_t i = 0; i < count; ++i) work(jobs, i);
}

struct Kind {
    const char *format;
    HapTextureFormat texture;
    uint32_t block_bytes;
    DxtBlockDecoder decoder;
    int max_diff;  // largest channel difference allowed against ffmpeg's decode
    bool alpha;    // compare the alpha byte too
};

// ffmpeg converts HAP Q with the integer YCoCg rule. Its encoder writes scale byte 0
// (s = 1), where the float rule gives the same integers; keep a margin of 3 for it.
const Kind kKinds[] = {
    {"hap", HapTextureFormat_RGB_DXT1, 8, decode_block_dxt1, 0, false},
    {"hap_alpha", HapTextureFormat_RGBA_DXT5, 16, decode_block_dxt5, 0, true},
    {"hap_q", HapTextureFormat_YCoCg_DXT5, 16, decode_block_ycocg_int, 0, false},
    {"hap_q", HapTextureFormat_YCoCg_DXT5, 16, decode_block_ycocg_float, 3, false},
};

std::vector<uint8_t> unpack(const std::vector<uint8_t> &frame, uint64_t expected, HapTextureFormat *format) {
    std::vector<uint8_t> tex(expected);
    uint64_t used = 0;
    EXPECT_EQ(
        hap_decode(frame.data(), uint32_t(frame.size()), 0, serial_for, nullptr, tex.data(), tex.size(), &used, format),
        HapResult_No_Error);
    EXPECT_EQ(used, expected);
    return tex;
}

std::vector<uint8_t> to_pixels(const std::vector<uint8_t> &tex, uint32_t w, uint32_t h, const Kind &k) {
    const uint32_t bw = (w + 3) / 4, bh = (h + 3) / 4;
    std::vector<uint8_t> plane(size_t(bw) * 16 * bh * 4);
    const uint8_t *src = tex.data();
    for (uint32_t by = 0; by < bh; ++by)
        for (uint32_t bx = 0; bx < bw; ++bx)
            src += k.decoder(plane.data() + size_t(by) * 4 * bw * 16 + bx * 16, bw * 16, src);
    return plane;
}

TEST(HapFfmpeg, FramesParseUnpackAndPackAgain) {
    for (const char *format : {"hap", "hap_alpha", "hap_q"}) {
        SCOPED_TRACE(format);
        const auto &clip = haptest::ffmpeg_hap_clip(format, 192, 108);
        ASSERT_TRUE(clip.ok);
        const Kind *kind = nullptr;
        for (const Kind &k : kKinds)
            if (std::string(k.format) == format) kind = &k;
        const uint64_t tex_bytes = uint64_t(192 / 4) * (108 / 4) * kind->block_bytes;
        for (const auto &frame : clip.frames) {
            uint32_t count = 0, chunks = 0;
            ASSERT_EQ(hap_get_texture_count(frame.data(), uint32_t(frame.size()), &count), HapResult_No_Error);
            EXPECT_EQ(count, 1u);
            ASSERT_EQ(hap_get_chunk_count(frame.data(), uint32_t(frame.size()), 0, &chunks), HapResult_No_Error);
            EXPECT_GT(chunks, 1u);
            HapTextureFormat f = 0;
            const auto tex = unpack(frame, tex_bytes, &f);
            EXPECT_EQ(f, kind->texture);
            for (uint32_t comp : {HapCompressorNone, HapCompressorSnappy}) {
                const void *buf = tex.data();
                const uint64_t len = tex.size();
                std::vector<uint8_t> again(hap_max_encoded_length(1, &len, &f, &chunks));
                uint64_t used = 0;
                ASSERT_EQ(hap_encode(1, &buf, &len, &f, &comp, &chunks, again.data(), again.size(), &used),
                          HapResult_No_Error);
                again.resize(used);
                HapTextureFormat f2 = 0;
                EXPECT_EQ(unpack(again, tex_bytes, &f2), tex);
                EXPECT_EQ(f2, f);
            }
        }
    }
}

TEST(HapFfmpeg, PixelsMatchFfmpegDecode) {
    for (const Kind &k : kKinds) {
        for (auto [w, h] : {std::pair<uint32_t, uint32_t>{192, 108}}) {
            SCOPED_TRACE(testing::Message() << k.format << " max " << k.max_diff << " " << w << "x" << h);
            const auto &clip = haptest::ffmpeg_hap_clip(k.format, w, h);
            ASSERT_TRUE(clip.ok);
            int worst = 0;
            size_t differing = 0;
            for (size_t i = 0; i < clip.frames.size(); ++i) {
                HapTextureFormat f;
                const auto tex = unpack(clip.frames[i], uint64_t(w / 4) * (h / 4) * k.block_bytes, &f);
                const auto plane = to_pixels(tex, w, h, k);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x)
                        for (int c = 0; c < (k.alpha ? 4 : 3); ++c) {
                            const int ours = plane[size_t(y) * w * 4 + 4 * x + c];
                            const int theirs = clip.rgba[i][(size_t(y) * w + x) * 4 + c];
                            worst = std::max(worst, std::abs(ours - theirs));
                            differing += ours != theirs;
                        }
            }
            RecordProperty(std::string(k.format) + "_max_diff", worst);
            std::printf("%s %ux%u: largest difference %d, %zu differing samples\n", k.format, w, h, worst, differing);
            EXPECT_LE(worst, k.max_diff);
        }
    }
}

}  // namespace
