#include "pipeline/source/img_seq_demuxer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/error_of.h"
#include "media/video_filter.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/source/images_seq_parser.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;

struct Demuxer {
    VideoDemuxer *d = nullptr;
    ~Demuxer() { video_demuxer_free(d); }
};

struct Frames {
    std::vector<VideoFrame *> f;
    explicit Frames(size_t n) {
        for (size_t i = 0; i < n; ++i) f.push_back(video_frame_new());
    }
    ~Frames() {
        for (VideoFrame *x : f) video_frame_destroy(&x);
    }
};

// Each file holds its own name, so a read shows which file was opened.
void write_named(const std::string &path) { testutil::write_file(path, path.data(), path.size()); }

std::string content(const VideoFrame *f) { return std::string(reinterpret_cast<char *>(f->data[0]), f->data_size[0]); }

ImgSeqDemuxerParams params(const std::string &prefix, const char *ext, uint32_t first, uint32_t last, uint32_t digits) {
    ImgSeqDemuxerParams p;
    p.path_prefix = prefix.c_str();
    p.ext = ext;
    p.first = first;
    p.last = last;
    p.digits = digits;
    p.image_kind = VideoFramePngData;
    return p;
}

TEST(ImgSeqDemuxer, FileNames) {
    testutil::TempDir dir;
    struct Case {
        uint32_t digits;
        uint32_t number;
        const char *name;
    } cases[] = {
        {5, 42, "shot_00042.png"}, {12, 42, "shot_0000000042.png"},           // more than 10 digits counts as 10
        {1, 123, "shot_123.png"},  {10, 4294967295u, "shot_4294967295.png"},  // unsigned, never a negative name
        {0, 7, "shot_.png"},                                                  // a single image: always prefix.ext
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        write_named(dir.file(c.name));
        const std::string prefix = dir.file("shot_");
        Demuxer d{create_video_demuxer_img_seq(params(prefix, "png", c.number, c.number, c.digits), 1)};
        Frames f(1);
        video_demuxer_get_frame(d.d, c.digits ? c.number : 0, f.f[0], false);
        EXPECT_EQ(f.f[0]->error_flags, 0u);
        EXPECT_EQ(f.f[0]->data_descriptor, VideoFramePngData);
        EXPECT_EQ(content(f.f[0]), dir.file(c.name));
        EXPECT_EQ(f.f[0]->frame_index, c.digits ? c.number : 0u);
    }
}

TEST(ImgSeqDemuxer, BatchesAndRanges) {
    testutil::TempDir dir;
    for (uint32_t n = 10; n <= 20; ++n) write_named(dir.file("f" + std::to_string(n) + ".png"));
    write_named(dir.file("f100.png"));
    write_named(dir.file("f101.png"));
    write_named(dir.file("f102.png"));
    const std::string prefix = dir.file("f");

    Demuxer a{create_video_demuxer_img_seq(params(prefix, "png", 100, 102, 3), 4)};
    Frames f(4);
    EXPECT_EQ(video_demuxer_demux(a.d, f.f.data()), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(f.f[i]->frame_index, 100 + i);
        EXPECT_EQ(content(f.f[i]), dir.file("f" + std::to_string(100 + i) + ".png"));
    }
    EXPECT_EQ(video_demuxer_demux(a.d, f.f.data()), 0u);

    Demuxer b{create_video_demuxer_img_seq(params(prefix, "png", 10, 20, 2), 1)};
    EXPECT_EQ(error_of([&] { video_demuxer_get_frame(b.d, 5, f.f[0], false); }), "Out of range frame");
    EXPECT_EQ(error_of([&] { video_demuxer_get_frame(b.d, 25, f.f[0], false); }), "Out of range frame");
    video_demuxer_get_frame(b.d, 5, f.f[0], true);
    EXPECT_EQ(f.f[0]->frame_index, 10u);
    video_demuxer_get_frame(b.d, 25, f.f[0], true);
    EXPECT_EQ(f.f[0]->frame_index, 20u);
    EXPECT_EQ(content(f.f[0]), dir.file("f20.png"));
}

TEST(ImgSeqDemuxer, LastNumberOfTheRangeEndsTheSource) {
    testutil::TempDir dir;
    write_named(dir.file("x4294967294.png"));
    write_named(dir.file("x4294967295.png"));
    const std::string prefix = dir.file("x");
    Demuxer d{create_video_demuxer_img_seq(params(prefix, "png", 4294967294u, 4294967295u, 10), 1)};
    Frames f(1);
    EXPECT_EQ(video_demuxer_demux(d.d, f.f.data()), 1u);
    EXPECT_EQ(video_demuxer_demux(d.d, f.f.data()), 1u);
    EXPECT_EQ(f.f[0]->frame_index, 4294967295u);
    EXPECT_EQ(f.f[0]->error_flags, 0u);
    // Number 0 does not follow 4294967295.
    EXPECT_EQ(video_demuxer_demux(d.d, f.f.data()), 0u);
}

TEST(ImgSeqDemuxer, CreationFailures) {
    const std::string prefix = "/tmp/x";
    ImgSeqDemuxerParams p = params(prefix, "png", 5, 4, 2);
    EXPECT_EQ(error_of([&] { create_video_demuxer_img_seq(p, 1); }), "Invalid start f (> a end)");
    p = params(prefix, "png", 1, 4, 2);
    p.image_kind = VideoFrameProresData;
    EXPECT_EQ(error_of([&] { create_video_demuxer_img_seq(p, 1); }), "Invalid image sequence format");
    p = params(prefix, "", 1, 4, 2);
    EXPECT_EQ(error_of([&] { create_video_demuxer_img_seq(p, 1); }), "Invalid path or ext len");
    const std::string empty;
    p = params(empty, "png", 1, 4, 2);
    EXPECT_EQ(error_of([&] { create_video_demuxer_img_seq(p, 1); }), "Invalid path or ext len");
    p.path_prefix = nullptr;
    EXPECT_EQ(error_of([&] { create_video_demuxer_img_seq(p, 1); }), "Invalid path or ext len");
}

// Unreadable files give flagged frames with their number; the frames around them read.
TEST(ImgSeqDemuxer, UnreadableFilesAreFlagged) {
    testutil::TempDir dir;
    write_named(dir.file("s1.png"));
    testutil::write_file(dir.file("s2.png"), "", 0);  // empty
    // 3 is missing
    {
        // Larger than any frame buffer: refused from its size, never allocated (sparse file).
        FILE *big = fopen(dir.file("s4.png").c_str(), "wb");
        ASSERT_NE(big, nullptr);
        ASSERT_EQ(ftruncate(fileno(big), off_t(0x100000000LL) + 1), 0);
        fclose(big);
        FILE *near = fopen(dir.file("s5.png").c_str(), "wb");
        ASSERT_NE(near, nullptr);
        ASSERT_EQ(ftruncate(fileno(near), off_t(0xFFFFFFFFLL) - 10), 0);
        fclose(near);
    }
    write_named(dir.file("s6.png"));
    const std::string prefix = dir.file("s");
    Demuxer d{create_video_demuxer_img_seq(params(prefix, "png", 1, 6, 1), 6)};
    Frames f(6);
    testing::internal::CaptureStdout();
    ASSERT_EQ(video_demuxer_demux(d.d, f.f.data()), 6u);
    const std::string out = testing::internal::GetCapturedStdout();
    const uint32_t expected[6] = {0,
                                  VideoFrameError_ReadFailed,
                                  VideoFrameError_ReadFailed,
                                  VideoFrameError_ReadFailed,
                                  VideoFrameError_ReadFailed,
                                  0};
    for (uint32_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(f.f[i]->error_flags, expected[i]);
        EXPECT_EQ(f.f[i]->frame_index, i + 1);
    }
    EXPECT_EQ(content(f.f[5]), dir.file("s6.png"));
    EXPECT_NE(out.find("Error read image 2 (Empty file)"), std::string::npos) << out;
    EXPECT_NE(out.find("Error read image 3 (Can't open file : " + dir.file("s3.png") + ")"), std::string::npos) << out;
    EXPECT_NE(out.find("Error read image 4 (File excess size)"), std::string::npos) << out;
    EXPECT_NE(out.find("Error read image 5 ("), std::string::npos) << out;
}

// A PNG sequence made by the ffmpeg tool without its file 42: the parser stops the run at
// 41, and a graph reading frames 1 to 100 stops at 42.
TEST(ImgSeqDemuxer, MissingImageStopsTheGraph) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    testutil::TempDir dir;
    const std::string cmd = ffmpeg + " -v error -nostdin -y -f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 100 " +
                            "-start_number 1 " + testutil::shell_quote(dir.file("take_%04d.png"));
    ASSERT_EQ(testutil::run_command(cmd).status, 0);
    ASSERT_EQ(remove(dir.file("take_0042.png").c_str()), 0);

    const ImagesSeqParserRef p = ImagesSeqParser::init_with_filepath(dir.file("take_0001.png"));
    p->parse_folder();
    EXPECT_EQ(p->start_f, 1u);
    EXPECT_EQ(p->end_f, 41u);
    ASSERT_TRUE(p->str_missing_frame.has_value());
    EXPECT_EQ(*p->str_missing_frame, "1 missing frame : [42]");

    const std::string prefix = dir.file(p->basename);
    ImgSeqDemuxerParams ip = params(prefix, "png", 1, 100, p->digits);
    Demuxer d{create_video_demuxer_img_seq(ip, 8)};
    FilterGraph *g = filter_graph_create(1, 1);
    filter_graph_add_filter(g, create_filter_png_decode(ImageDecodeParams{32, 16, PixFmt_RGBX8, 0}));
    Frames f(8);
    std::string error;
    uint32_t decoded = 0, flagged = 0, n;
    testing::internal::CaptureStdout();
    while ((n = video_demuxer_demux(d.d, f.f.data())) > 0) {
        for (uint32_t i = 0; i < n; ++i) {
            if (f.f[i]->error_flags) {
                EXPECT_EQ(f.f[i]->error_flags, VideoFrameError_ReadFailed);
                EXPECT_EQ(f.f[i]->frame_index, 42u);
                flagged++;
            }
            const std::string e = error_of([&] { filter_graph_process(g, &f.f[i], 1); });
            if (e.empty())
                decoded++;
            else
                error = e;
        }
    }
    testing::internal::GetCapturedStdout();
    filter_graph_free(g);
    EXPECT_EQ(flagged, 1u);
    EXPECT_EQ(decoded, 99u);
    EXPECT_EQ(error, "Fail to read frame : 42");
}

}  // namespace
