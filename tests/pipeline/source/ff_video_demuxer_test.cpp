#include "pipeline/source/ff_video_demuxer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "media/error_of.h"
#include "pipeline/source/ff_source_fixtures.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;
using namespace sourcetest;

struct ToolFrame {
    uint32_t index;
    uint32_t flags;
    std::string md5;
};

// Runs the frame printer of tests/tools on a file.
std::vector<ToolFrame> our_frames(const std::string &path, uint32_t pix_fmt, const std::string &options,
                                  std::string *error = nullptr) {
    const std::string cmd = std::string(ZELQA_FF_SOURCE_FRAMES) + " " + testutil::shell_quote(path) + " " +
                            std::to_string(pix_fmt) + " " + std::to_string(kWidth) + " " + std::to_string(kHeight) +
                            " " + options;
    const auto r = testutil::run_command(cmd);
    std::vector<ToolFrame> frames;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        std::istringstream w(line);
        std::string tag;
        w >> tag;
        if (tag == "RESULT") {
            ToolFrame f;
            w >> f.index >> f.flags >> f.md5;
            frames.push_back(f);
        } else if (tag == "ERROR" && error) {
            *error = line.substr(6);
        }
    }
    return frames;
}

uint32_t tool_frame_count(const std::string &path) {
    const std::string ffprobe = testutil::require_tool("ffprobe");
    const auto r = testutil::run_command(ffprobe + " -v error -count_frames -select_streams v:0 -show_entries " +
                                         "stream=nb_read_frames -of csv=p=0 " + testutil::shell_quote(path));
    return uint32_t(strtoul(r.output.c_str(), nullptr, 10));
}

struct Clip {
    const char *label;
    std::string path;
    uint32_t pix_fmt;
    const char *ff_pix_fmt;
};

std::vector<Clip> clips() {
    return {
        {"H.264 MKV", make_clip("h264.mkv", h264_args("matroska"), 48, "30000/1001"), PixFmt_YUV420, "yuv420p"},
        {"ProRes MOV", make_clip("prores.mov", "-c:v prores_ks -profile:v 2", 24), PixFmt_YUV422_10, "yuv422p10le"},
        // MPEG-TS streams start at 1.4 s or later.
        {"H.264 MPEG-TS", make_clip("h264.ts", h264_args("mpegts")), PixFmt_YUV420, "yuv420p"},
        // No timestamps at all.
        {"raw H.264", make_clip("h264.h264", h264_args("h264")), PixFmt_YUV420, "yuv420p"},
    };
}

TEST(FfVideoDemuxer, NativeLayoutMatchesTheToolFrameByFrame) {
    for (const Clip &c : clips()) {
        SCOPED_TRACE(c.label);
        const std::vector<std::string> ref = tool_md5s(c.path, c.ff_pix_fmt);
        ASSERT_EQ(ref.size(), tool_frame_count(c.path));
        // Batches of 4 hand the decoder's planes out; a huge alignment forces the copy path.
        std::vector<std::string> runs = {"--batch 4"};
        if (c.pix_fmt == PixFmt_YUV422_10) runs.push_back("--batch 1 --align 1048576");
        for (const std::string &options : runs) {
            SCOPED_TRACE(options);
            const std::vector<ToolFrame> ours = our_frames(c.path, c.pix_fmt, options);
            ASSERT_EQ(ours.size(), ref.size());
            for (size_t i = 0; i < ours.size(); ++i) {
                EXPECT_EQ(ours[i].index, i);
                EXPECT_EQ(ours[i].flags, 0u);
                EXPECT_EQ(ours[i].md5, ref[i]) << "frame " << i;
            }
        }
    }
}

TEST(FfVideoDemuxer, StartAndEndFramesPickTheToolsFrames) {
    struct Case {
        size_t clip;
        int start, end;
        uint32_t batch;
    } cases[] = {
        {0, 10, 20, 3}, {2, 10, 20, 3}, {3, 10, 20, 3}, {1, 5, 9, 2},  // inside the file
        {0, 0, 0, 4},   {2, 7, 7, 2},                                  // one frame
        {3, 5, -1, 4},  {2, 30, -1, 8}, {0, -1, 13, 5},                // open ends
    };
    const std::vector<Clip> all = clips();
    for (const Case &c : cases) {
        const Clip &clip = all[c.clip];
        SCOPED_TRACE(std::string(clip.label) + " " + std::to_string(c.start) + ".." + std::to_string(c.end));
        const std::vector<std::string> ref = tool_md5s(clip.path, clip.ff_pix_fmt);
        const size_t first = size_t(std::max(c.start, 0));
        const size_t last = c.end < 0 ? ref.size() - 1 : size_t(c.end);
        const std::vector<ToolFrame> ours =
            our_frames(clip.path, clip.pix_fmt,
                       "--start " + std::to_string(c.start) + " --end " + std::to_string(c.end) + " --batch " +
                           std::to_string(c.batch));
        ASSERT_EQ(ours.size(), last - first + 1);
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i].index, i);  // indices count delivered frames
            EXPECT_EQ(ours[i].md5, ref[first + i]) << "frame " << first + i;
        }
    }
}

TEST(FfVideoDemuxer, GetFrameByNumber) {
    for (const Clip &c : clips()) {
        SCOPED_TRACE(c.label);
        const std::vector<std::string> ref = tool_md5s(c.path, c.ff_pix_fmt);
        const uint32_t n = uint32_t(ref.size());
        const std::vector<uint32_t> asked = {0, 17, 5, 11, 12, 13, n - 1, 1, n, 1000};
        std::string list;
        for (uint32_t a : asked) list += (list.empty() ? "" : ",") + std::to_string(a);
        const std::vector<ToolFrame> ours = our_frames(c.path, c.pix_fmt, "--slice --get " + list);
        ASSERT_EQ(ours.size(), asked.size());
        for (size_t i = 0; i < asked.size(); ++i) {
            SCOPED_TRACE(asked[i]);
            EXPECT_EQ(ours[i].index, asked[i]);
            if (asked[i] < n) {
                EXPECT_EQ(ours[i].flags, 0u);
                EXPECT_EQ(ours[i].md5, ref[asked[i]]);
            } else {
                // Past the end nothing is decoded: a failed read, never the last picture again.
                EXPECT_EQ(ours[i].flags, VideoFrameError_ReadFailed);
            }
        }
    }
}

TEST(FfVideoDemuxer, Rgba8MatchesTheToolsScale) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    for (const Clip &c : {clips()[0], clips()[1]}) {
        SCOPED_TRACE(c.label);
        const std::string ours_path = fixture_dir().file("ours.rgba");
        const std::string ref_path = fixture_dir().file("ref.rgba");
        ASSERT_FALSE(our_frames(c.path, PixFmt_RGBA8, "--batch 3 --raw " + testutil::shell_quote(ours_path)).empty());
        ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y -i " + testutil::shell_quote(c.path) +
                                        " -vf scale=flags=bilinear -pix_fmt rgba -f rawvideo " +
                                        testutil::shell_quote(ref_path))
                      .status,
                  0);
        const std::vector<uint8_t> ours = testutil::read_file(ours_path);
        const std::vector<uint8_t> ref = testutil::read_file(ref_path);
        ASSERT_EQ(ours.size(), ref.size());
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int(ours[i]) - int(ref[i])));
        EXPECT_LE(worst, 1);
    }
}

struct Source {
    VideoDemuxer *d = nullptr;
    VideoFrame *f = video_frame_new();
    ~Source() {
        video_demuxer_free(d);
        video_frame_destroy(&f);
    }
};

FfVideoDemuxerParams params_for(const std::string &path, uint32_t pix_fmt) {
    FfVideoDemuxerParams p;
    p.path = path.c_str();
    p.pix_fmt = pix_fmt;
    p.dec_width = p.dst_width = kWidth;
    p.dec_height = p.dst_height = kHeight;
    p.slice_threading = 1;
    return p;
}

// Converted planar RGB keeps our plane order R, G, B, as the packed layout shows it.
TEST(FfVideoDemuxer, PlanarRgbConversionKeepsRedInPlaneZero) {
    const std::string path = clips()[0].path;
    Source packed, planar;
    FfVideoDemuxerParams p = params_for(path, PixFmt_RGBA8);
    packed.d = create_video_demuxer_ff(p, 1);
    p.pix_fmt = PixFmt_PlanarRGB8;
    planar.d = create_video_demuxer_ff(p, 1);
    video_demuxer_get_frame(packed.d, 7, packed.f, false);
    video_demuxer_get_frame(planar.d, 7, planar.f, false);
    ASSERT_EQ(packed.f->error_flags, 0u);
    ASSERT_EQ(planar.f->error_flags, 0u);
    ASSERT_EQ(planar.f->nb_planes, 3u);
    // The two conversions interpolate chroma differently: compare means, which a plane
    // swap moves by more than 100.
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        double sum = 0;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const int a = packed.f->data[0][y * packed.f->linesize[0] + x * 4 + c];
                const int b = planar.f->data[c][y * planar.f->linesize[c] + x];
                sum += std::abs(a - b);
            }
        EXPECT_LT(sum / (kWidth * kHeight), 12.0);
    }
}

TEST(FfVideoDemuxer, OpeningFailures) {
    const std::string clip = clips()[0].path;
    testutil::TempDir dir;
    const std::string text = dir.file("notes.mp4");
    testutil::write_file(text, "not a video file at all\n", 24);
    const std::string audio = make_tone("tone.wav");
    struct Case {
        std::string path;
        uint32_t pix_fmt, dec_w, dst_w;
        const char *error;
    } cases[] = {
        {clip, PixFmt_RGBA8, 0, kWidth, "Invalid dec resolution"},
        {clip, PixFmt_RGBA8, kWidth, 0, "Invalid dst resolution"},
        {clip, PixFmt_RGBA32F, kWidth, kWidth, "Request unknown pix fmt for ff"},
        {clip, PixFmt_PlanarRGBA32F, kWidth, kWidth, "Request unknown pix fmt for ff"},
        {clip, PixFmt_V210, kWidth, kWidth, "Request unknown pix fmt for ff"},
        {clip, PixFmt_Undefined, kWidth, kWidth, "Request unknown pix fmt for ff"},
        {clip, 1000, kWidth, kWidth, "Request unknown pix fmt for ff"},
        {dir.file("missing.mkv"), PixFmt_RGBA8, kWidth, kWidth, "Can't open input file"},
        {text, PixFmt_RGBA8, kWidth, kWidth, "Can't open input file"},
        {audio, PixFmt_RGBA8, kWidth, kWidth, "Can't find video stream"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        FfVideoDemuxerParams p = params_for(c.path, c.pix_fmt);
        p.dec_width = c.dec_w;
        p.dst_width = c.dst_w;
        EXPECT_EQ(error_of([&] { video_demuxer_free(create_video_demuxer_ff(p, 2)); }), c.error);
    }
}

}  // namespace
