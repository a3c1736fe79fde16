#include "pipeline/source/video_frame_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/error_of.h"
#include "pipeline/probe/media_probe.h"
#include "pipeline/source/ff_source_fixtures.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;
using namespace sourcetest;

struct Probe {
    MediaInfo *m = nullptr;
    explicit Probe(const std::string &path) : m(get_media_info(path.c_str())) {}
    ~Probe() { free_media_info(&m); }
};

struct Access {
    VideoFrameAccess *a = nullptr;
    ~Access() { free_video_frame_access(&a); }
};

VideoFrameAccessParams params_of(const MediaInfo *m, uint8_t keep_textures = 0, uint32_t first = 0, uint32_t last = 0) {
    VideoFrameAccessParams p;
    p.info = m;
    p.keep_textures = keep_textures;
    p.first_img = first;
    p.last_img = last;
    return p;
}

TEST(VideoFrameAccess, CacheAndClampOnAMovFile) {
    const std::string file = make_clip("access_hapq.mov", "-c:v hap -format hap_q", 100);
    Probe probe(file);
    ASSERT_EQ(probe.m->nb_frames, 100u);
    Access access{create_video_frame_access(params_of(probe.m))};

    testing::internal::CaptureStdout();
    VideoFrame *first = video_frame_access_get_frame(access.a, 10);
    VideoFrame *again = video_frame_access_get_frame(access.a, 10);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->frame_index, 10u);
    EXPECT_NE(out.find("Frame : 10 already in cache"), std::string::npos) << out;

    testing::internal::CaptureStdout();
    VideoFrame *past = video_frame_access_get_frame(access.a, 500);
    EXPECT_EQ(past->frame_index, 99u);
    video_frame_access_get_frame(access.a, 99);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Frame : 99 already in cache"), std::string::npos) << out;
    // Pixels in the probed layout.
    EXPECT_EQ(past->is_raw, 1);
    EXPECT_EQ(past->pix_fmt, probe.m->pix_fmt);
    EXPECT_EQ(past->width, kWidth);
}

TEST(VideoFrameAccess, HapTexturesKeptOrDecoded) {
    const std::string file = make_clip("access_hapq_short.mov", "-c:v hap -format hap_q", 3);
    Probe probe(file);
    Access kept{create_video_frame_access(params_of(probe.m, 1))};
    const VideoFrame *tex = video_frame_access_get_frame(kept.a, 1);
    EXPECT_EQ(tex->data_descriptor, VideoFrameDxtData_HAPQ);
    EXPECT_EQ(tex->is_raw, 0);

    Access decoded{create_video_frame_access(params_of(probe.m, 0))};
    const VideoFrame *pix = video_frame_access_get_frame(decoded.a, 1);
    EXPECT_EQ(pix->data_descriptor, VideoFrameUnknown);
    EXPECT_EQ(pix->pix_fmt, probe.m->pix_fmt);
}

// Through the FFmpeg source, frame n is the tool's frame n.
TEST(VideoFrameAccess, FfmpegSourceGivesFrameN) {
    const std::string file = make_clip("h264.mkv", h264_args("matroska"), 48, "30000/1001");
    Probe probe(file);
    ASSERT_EQ(probe.m->video_src_type, MediaInfoVideoSrc_Ffmpeg);
    Access access{create_video_frame_access(params_of(probe.m))};
    const std::string raw = fixture_dir().file("access.raw");
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    for (uint32_t n : {17u, 3u}) {
        SCOPED_TRACE(n);
        ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y -i " + testutil::shell_quote(file) + " -vf " +
                                        testutil::shell_quote("select=eq(n\\," + std::to_string(n) + ")") +
                                        " -frames:v 1 -f rawvideo -pix_fmt yuv420p " + testutil::shell_quote(raw))
                      .status,
                  0);
        const std::vector<uint8_t> ref = testutil::read_file(raw);
        const VideoFrame *f = video_frame_access_get_frame(access.a, n);
        ASSERT_EQ(f->pix_fmt, PixFmt_YUV420);
        EXPECT_EQ(f->frame_index, n);
        ASSERT_EQ(ref.size(), size_t(kWidth) * kHeight * 3 / 2);
        for (uint32_t y = 0; y < kHeight; ++y)
            ASSERT_EQ(memcmp(f->data[0] + int64_t(y) * f->linesize[0], ref.data() + size_t(y) * kWidth, kWidth), 0)
                << "row " << y;
    }
    // Past the end: a failed read, not the last picture again.
    EXPECT_EQ(error_of([&] { video_frame_access_get_frame(access.a, 1000); }), "Fail to read frame");
}

TEST(VideoFrameAccess, ImageSequenceWithAMissingImage) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    testutil::TempDir dir;
    ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y -f lavfi -i testsrc2=size=32x16 -frames:v 5 " +
                                    "-start_number 1 " + testutil::shell_quote(dir.file("img_%03d.png")))
                  .status,
              0);
    ASSERT_EQ(remove(dir.file("img_003.png").c_str()), 0);
    Probe probe(dir.file("img_001.png"));
    Access access{create_video_frame_access(params_of(probe.m, 0, 1, 5))};
    const VideoFrame *f = video_frame_access_get_frame(access.a, 2);
    EXPECT_EQ(f->width, 32u);
    EXPECT_EQ(f->frame_index, 2u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(error_of([&] { video_frame_access_get_frame(access.a, 3); }), "Fail to read frame");
    testing::internal::GetCapturedStdout();
    // Clamped to the last image.
    EXPECT_EQ(video_frame_access_get_frame(access.a, 9)->frame_index, 5u);
}

TEST(VideoFrameAccess, CreationFailures) {
    const std::string file = make_clip("intra_prores422.mov", "-c:v prores_ks -profile:v 2", 3);
    Probe probe(file);
    EXPECT_EQ(error_of([&] { create_video_frame_access(VideoFrameAccessParams{}); }), "Unset src info");
    struct Case {
        const char *error;
        void (*edit)(MediaInfo *m);
    } cases[] = {
        {"No video in src", [](MediaInfo *m) { m->have_video = false; }},
        {"Unsupported media type", [](MediaInfo *m) { m->video_src_type = MediaInfoVideoSrc_None; }},
        {"Unsupported codec intra decode", [](MediaInfo *m) { m->data_descriptor = VideoFrameExrData; }},
        {"Unsupported codec intra decode", [](MediaInfo *m) { m->data_descriptor = VideoFrameDxtData_HAP; }},
        {"Mov dataformat not hap codec", [](MediaInfo *m) { m->data_descriptor = VideoFrameHapData; }},
        {"Unknown dxv codec",
         [](MediaInfo *m) {
             m->data_descriptor = VideoFrameDxv3Data;
             m->codec_sub_fourcc = 0x41424344;
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        MediaInfo *m = clone_media_info(probe.m);
        c.edit(m);
        EXPECT_EQ(error_of([&] {
                      VideoFrameAccess *a = create_video_frame_access(params_of(m));
                      free_video_frame_access(&a);
                  }),
                  c.error);
        free_media_info(&m);
    }
}

}  // namespace
