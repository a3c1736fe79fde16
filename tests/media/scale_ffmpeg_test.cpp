// The scale node against the ffmpeg tool: same source, same filter, ranges and matrix.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scale_frames.h"
#include "testutil/testutil.h"

using namespace scaletest;

namespace {

struct FfCase {
    const char *name;
    const char *src_ff;  // ffmpeg pixel format of the source
    PixFmt src;
    uint32_t sw, sh;
    const char *dst_ff;
    PixFmt dst;
    uint32_t dw, dh;
    uint32_t quality;
    uint32_t src_range, dst_range;  // 1 full
    uint8_t use_swscale;
    std::string vf;  // the ffmpeg filter doing the same conversion
    bool sixteen;    // compare 16-bit words
};

std::string sws_vf(uint32_t w, uint32_t h, const char *flags, const char *in_range, const char *out_range) {
    return "scale=" + std::to_string(w) + ":" + std::to_string(h) + ":flags=" + flags +
           "+full_chroma_int:in_range=" + in_range + ":out_range=" + out_range +
           ":in_color_matrix=bt709:out_color_matrix=bt709";
}

TEST(ScaleFfmpeg, MatchesFfmpegWithinOneCodeValue) {
    const FfCase cases[] = {
        {"yuv420p -> rgba, bilinear, limited to full", "yuv420p", PixFmt_YUV420, 320, 240, "rgba", PixFmt_RGBA8, 200,
         150, 1, 0, 1, 1, sws_vf(200, 150, "bilinear", "tv", "pc"), false},
        {"yuv420p -> rgba, same size", "yuv420p", PixFmt_YUV420, 320, 240, "rgba", PixFmt_RGBA8, 320, 240, 1, 0, 1, 1,
         sws_vf(320, 240, "bilinear", "tv", "pc"), false},
        {"yuv422p10 -> yuv444p10, bicubic, limited", "yuv422p10le", PixFmt_YUV422_10, 320, 240, "yuv444p10le",
         PixFmt_YUV444_10, 160, 120, 2, 0, 0, 1, sws_vf(160, 120, "bicubic", "tv", "tv"), true},
        {"rgba -> yuv420p, lanczos, full to limited", "rgba", PixFmt_RGBA8, 320, 240, "yuv420p", PixFmt_YUV420, 176,
         144, 3, 1, 0, 1, sws_vf(176, 144, "lanczos", "pc", "tv"), false},
        // zimg path against ffmpeg's zimg filter.
        {"zimg: yuv420p -> rgba, bilinear, limited to full", "yuv420p", PixFmt_YUV420, 320, 240, "rgba", PixFmt_RGBA8,
         200, 150, 1, 0, 1, 0,
         "zscale=w=200:h=150:filter=bilinear:rangein=limited:range=full:matrixin=709:transferin=709:"
         "primariesin=709:transfer=709:primaries=709:dither=none,format=gbrp",
         false},
    };
    testutil::TempDir dir;
    for (const FfCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> src = testutil::ffmpeg_raw_frame(
            "-f lavfi -i testsrc2=size=" + std::to_string(c.sw) + "x" + std::to_string(c.sh), c.src_ff);
        ASSERT_EQ(src.size(), raw_size(c.src, c.sw, c.sh));
        const std::string path = dir.file(std::string("src_") + c.src_ff + ".raw");
        testutil::write_file(path, src);
        const std::vector<uint8_t> want =
            testutil::ffmpeg_raw_frame(std::string("-f rawvideo -pix_fmt ") + c.src_ff + " -s " + std::to_string(c.sw) +
                                           "x" + std::to_string(c.sh) + " -i " + testutil::shell_quote(path),
                                       c.dst_ff, c.vf);
        ASSERT_EQ(want.size(), raw_size(c.dst, c.dw, c.dh));

        ScaleFilterParams p = make_params(c.src, c.sw, c.sh, c.dst, c.dw, c.dh);
        p.quality = c.quality;
        p.src_range = c.src_range;
        p.dst_range = c.dst_range;
        p.use_swscale = c.use_swscale;
        p.allow_avx2 = 1;
        FramePtr in = frame_from_raw(src, c.src, c.sw, c.sh);
        const std::vector<uint8_t> got = convert(p, in.get());
        ASSERT_EQ(got.size(), want.size());
        int worst = 0;
        size_t worst_at = 0;
        const size_t step = c.sixteen ? 2 : 1;
        for (size_t i = 0; i < got.size(); i += step) {
            const int a = c.sixteen ? got[i] | got[i + 1] << 8 : got[i];
            const int b = c.sixteen ? want[i] | want[i + 1] << 8 : want[i];
            if (std::abs(a - b) > worst) {
                worst = std::abs(a - b);
                worst_at = i;
            }
        }
        EXPECT_LE(worst, 1) << "at byte " << worst_at;
    }
}

}  // namespace
