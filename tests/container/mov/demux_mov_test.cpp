// The MOV frame demuxer on files made by the ffmpeg tool and on hand-made ones.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <memory>

#include "container/mov/mov_demuxer.h"
#include "container/mov/mov_reader_fixtures.h"
#include "platform/core/errors.h"

using namespace movtest;

namespace {

struct DemuxerPtr {
    VideoDemuxer *d = nullptr;
    ~DemuxerPtr() { video_demuxer_free(d); }
};

struct Frames {
    std::vector<VideoFrame *> f;
    explicit Frames(size_t n) {
        for (size_t i = 0; i < n; i++) f.push_back(video_frame_new());
    }
    ~Frames() {
        for (VideoFrame *x : f) video_frame_destroy(&x);
    }
};

std::string error_of(const MovDemuxerParams &p) {
    try {
        VideoDemuxer *d = create_video_demuxer_mov(&p, 1);
        video_demuxer_free(d);
    } catch (const ProcessError &e) { return e.what(); }
    return "";
}

class MovDemuxer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir;
        path_ = dir_->file("hap100.mov");
        ASSERT_TRUE(ffmpeg_make("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 100 -c:v hap", path_));
        packets_ = ffprobe_packets(path_, "v:0");
        bytes_ = testutil::read_file(path_);
    }
    static void TearDownTestSuite() { delete dir_; }

    // The frame holds exactly the stored bytes of sample n.
    static void expect_sample(const VideoFrame *f, uint32_t n) {
        SCOPED_TRACE(n);
        ASSERT_LT(n, packets_.size());
        EXPECT_EQ(f->frame_index, n);
        EXPECT_EQ(f->error_flags, 0u);
        EXPECT_EQ(f->data_descriptor, VideoFrameHapData);
        EXPECT_EQ(f->is_raw, 0);
        ASSERT_EQ(f->data_size[0], packets_[n].size);
        EXPECT_EQ(std::memcmp(f->data[0], bytes_.data() + packets_[n].pos, packets_[n].size), 0);
    }

    static MovDemuxerParams params(uint32_t start, uint32_t end, bool reverse = false) {
        MovDemuxerParams p;
        p.path = path_.c_str();
        p.start_frame = start;
        p.end_frame = end;
        p.reverse = reverse;
        return p;
    }

    static testutil::TempDir *dir_;
    static std::string path_;
    static std::vector<Packet> packets_;
    static Bytes bytes_;
};
testutil::TempDir *MovDemuxer::dir_;
std::string MovDemuxer::path_;
std::vector<Packet> MovDemuxer::packets_;
Bytes MovDemuxer::bytes_;

TEST_F(MovDemuxer, DeliversEveryFrameInOrder) {
    ASSERT_EQ(packets_.size(), 100u);
    MovDemuxerParams p = params(0, 0xFFFFFFFF);
    DemuxerPtr d;
    d.d = create_video_demuxer_mov(&p, 8);
    EXPECT_EQ(d.d->kind, 1u);
    EXPECT_STREQ(d.d->message, "");
    Frames frames(8);
    uint32_t next = 0;
    std::vector<uint32_t> per_call;
    for (;;) {
        uint32_t n = video_demuxer_demux(d.d, frames.f.data());
        per_call.push_back(n);
        if (n == 0) break;
        for (uint32_t i = 0; i < n; i++) expect_sample(frames.f[i], next++);
    }
    EXPECT_EQ(next, 100u);
    ASSERT_EQ(per_call.size(), 14u);
    EXPECT_EQ(per_call[12], 4u);
}

TEST_F(MovDemuxer, ReverseRangesEnd) {
    struct Case {
        uint32_t start, end, per_call;
        std::vector<std::vector<uint32_t>> calls;
    } cases[] = {
        {90, 99, 4, {{99, 98, 97, 96}, {95, 94, 93, 92}, {91, 90}, {}}},
        // From frame 0 the run ends too, after frame 0.
        {0, 4, 3, {{4, 3, 2}, {1, 0}, {}, {}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        MovDemuxerParams p = params(c.start, c.end, true);
        DemuxerPtr d;
        d.d = create_video_demuxer_mov(&p, c.per_call);
        Frames frames(c.per_call);
        for (const auto &expected : c.calls) {
            uint32_t n = video_demuxer_demux(d.d, frames.f.data());
            ASSERT_EQ(n, expected.size());
            for (uint32_t i = 0; i < n; i++) expect_sample(frames.f[i], expected[i]);
        }
    }
}

TEST_F(MovDemuxer, FrameOnRequest) {
    MovDemuxerParams p = params(10, 0xFFFFFFFF);
    DemuxerPtr d;
    d.d = create_video_demuxer_mov(&p, 1);
    Frames frames(1);
    struct Case {
        uint32_t index;
        bool clamp;
        int64_t expect;  // -1: throws
    } cases[] = {{57, false, 57}, {99, false, 99}, {120, true, 99}, {120, false, -1},
                 {5, true, 10},   {5, false, -1},  {10, false, 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        if (c.expect < 0) {
            EXPECT_THROW(video_demuxer_get_frame(d.d, c.index, frames.f[0], c.clamp), ProcessError);
            continue;
        }
        video_demuxer_get_frame(d.d, c.index, frames.f[0], c.clamp);
        expect_sample(frames.f[0], uint32_t(c.expect));
    }
    // get_frame leaves the demux position alone.
    ASSERT_EQ(video_demuxer_demux(d.d, frames.f.data()), 1u);
    expect_sample(frames.f[0], 10);
}

TEST_F(MovDemuxer, CreationErrors) {
    testutil::TempDir dir;
    std::string png = dir.file("png.mov");
    ASSERT_TRUE(ffmpeg_make("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 2 -c:v png", png));
    MovDemuxerParams other = params(0, 0xFFFFFFFF);
    other.path = png.c_str();
    MovDemuxerParams missing = params(0, 0xFFFFFFFF);
    missing.path = "/nonexistent.mov";
    struct Case {
        MovDemuxerParams p;
        const char *error;
    } cases[] = {
        {params(10, 5), "Invalid start end f"},
        {params(100, 0xFFFFFFFF), "Invalid start f (outside file)"},
        {params(0, 100), "Invalid end f (outside file)"},
        {other, "Invalid mov format mov demux"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(error_of(c.p), c.error);
    }
    EXPECT_NE(error_of(missing), "");
    VideoDemuxer *bare = video_demuxer_new(0, 0);
    EXPECT_EQ(bare->frames_per_call, 1u);
    video_demuxer_free(bare);
}

TEST_F(MovDemuxer, ReadFailureFlagsTheFrameAndGoesOn) {
    // A copy that shrinks after opening: the samples past the cut cannot be read.
    testutil::TempDir dir;
    std::string copy = dir.file("copy.mov");
    testutil::write_file(copy, bytes_);
    MovDemuxerParams p = params(0, 0xFFFFFFFF);
    p.path = copy.c_str();
    DemuxerPtr d;
    d.d = create_video_demuxer_mov(&p, 100);
    ASSERT_EQ(truncate(copy.c_str(), off_t(packets_[50].pos + 1)), 0);
    Frames frames(100);
    ASSERT_EQ(video_demuxer_demux(d.d, frames.f.data()), 100u);
    for (uint32_t i = 0; i < 100; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames.f[i]->frame_index, i);
        if (i < 50) {
            expect_sample(frames.f[i], i);
        } else {
            EXPECT_EQ(frames.f[i]->error_flags, VideoFrameError_ReadFailed);
        }
    }
}

TEST(MovDemuxerFiles, IncompleteFileMessageAndLastFrames) {
    testutil::TempDir dir;
    std::string path = dir.file("fast.mov");
    ASSERT_TRUE(ffmpeg_make("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 10 -c:v hap -movflags faststart", path));
    auto packets = ffprobe_packets(path, "v:0");
    ASSERT_EQ(packets.size(), 10u);
    Bytes b = testutil::read_file(path);
    // Cut inside the last sample: nine frames stay.
    b.resize(packets[9].pos + packets[9].size - 1);
    testutil::write_file(path, b);
    MovDemuxerParams p;
    p.path = path.c_str();
    DemuxerPtr d;
    d.d = create_video_demuxer_mov(&p, 16);
    EXPECT_STREQ(d.d->message, "Incomplete mov file.");
    Frames frames(16);
    ASSERT_EQ(video_demuxer_demux(d.d, frames.f.data()), 9u);
    EXPECT_EQ(frames.f[8]->data_size[0], packets[8].size);
    EXPECT_EQ(frames.f[8]->error_flags, 0u);
}

TEST(MovDemuxerFiles, RawFrames) {
    struct Case {
        const char *args;
        PixFmt fmt;
    } cases[] = {{"-c:v v210", PixFmt_V210}, {"-c:v rawvideo -pix_fmt uyvy422", PixFmt_UYVY}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        testutil::TempDir dir;
        std::string path = dir.file("raw.mov");
        ASSERT_TRUE(ffmpeg_make(std::string("-f lavfi -i testsrc2=size=96x8:rate=25 -frames:v 3 ") + c.args, path));
        auto packets = ffprobe_packets(path, "v:0");
        Bytes bytes = testutil::read_file(path);
        MovDemuxerParams p;
        p.path = path.c_str();
        DemuxerPtr d;
        d.d = create_video_demuxer_mov(&p, 3);
        Frames frames(3);
        ASSERT_EQ(video_demuxer_demux(d.d, frames.f.data()), 3u);
        for (uint32_t i = 0; i < 3; i++) {
            const VideoFrame *f = frames.f[i];
            EXPECT_EQ(f->pix_fmt, c.fmt);
            EXPECT_EQ(f->width, 96u);
            EXPECT_EQ(f->height, 8u);
            EXPECT_EQ(f->is_raw, 1);
            EXPECT_EQ(f->error_flags, 0u);
            ASSERT_EQ(f->data_size[0], packets[i].size);
            EXPECT_EQ(std::memcmp(f->data[0], bytes.data() + packets[i].pos, packets[i].size), 0);
        }
    }
}

TEST(MovDemuxerFiles, ShortRawSampleIsFlagged) {
    testutil::TempDir dir;
    // 4x2 UYVY needs 16 bytes; the second sample holds only 10.
    VideoTrakDesc s;
    s.codec = "2vuy";
    s.width = 4;
    s.height = 2;
    s.stts = {{2, 1}};
    s.sizes = {16, 10};
    s.stsc = {{1, 2}};
    s.chunk_offsets = {kMdatStart};
    Bytes data(26, 0x55);
    std::string path = dir.file("short.mov");
    testutil::write_file(path, mov_file(data, atoms({atom("mvhd", zeros(100)), video_trak(s)})));
    MovDemuxerParams p;
    p.path = path.c_str();
    DemuxerPtr d;
    d.d = create_video_demuxer_mov(&p, 1);
    Frames frames(1);
    video_demuxer_get_frame(d.d, 0, frames.f[0], false);
    EXPECT_EQ(frames.f[0]->error_flags, 0u);
    // The same frame again: the missing part must not keep frame 0's pixels unflagged.
    video_demuxer_get_frame(d.d, 1, frames.f[0], false);
    EXPECT_EQ(frames.f[0]->error_flags, VideoFrameError_Corrupt);
    EXPECT_EQ(frames.f[0]->frame_index, 1u);
    EXPECT_EQ(frames.f[0]->data[0][10], 0);
}

}  // namespace
