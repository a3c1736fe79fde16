#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/error_of.h"
#include "pipeline/audio/audio_sources.h"
#include "testutil/testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct DemuxerDeleter {
    void operator()(AudioDemuxer *d) const { free_audio_demuxer(d); }
};
using Demuxer = std::unique_ptr<AudioDemuxer, DemuxerDeleter>;

struct Frame {
    AudioFrame f;
    Frame(AudioSampleFormat format, uint32_t channels, uint32_t frequency) {
        init_audio_frame(&f);
        alloc_audio_frame(&f, format, channels, frequency, 0, frequency);
    }
    ~Frame() { free_audio_frame(&f); }
    Bytes bytes() const {
        return Bytes(f.planes[0], f.planes[0] + uint64_t(f.nb_samples) * f.channels * f.bytes_per_sample);
    }
};

// Two seconds and a half of 25 fps video with a 24-bit big-endian stereo track at 48000 Hz
// and a 16-bit little-endian mono track at 44100 Hz.
class MovPcmSource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir;
        ffmpeg_ = testutil::require_tool("ffmpeg");
        if (ffmpeg_.empty()) return;
        path_ = dir_->file("two_tracks.mov");
        const std::string cmd = ffmpeg_ +
                                " -v error -f lavfi -i testsrc2=size=64x32:rate=25:duration=2.5"
                                " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2.5"
                                " -f lavfi -i sine=frequency=1000:sample_rate=44100:duration=2.5"
                                " -filter_complex [1:a]aformat=channel_layouts=stereo[st]"
                                " -map 0:v -map [st] -map 2:a -c:v mjpeg -c:a:0 pcm_s24be -c:a:1 pcm_s16le " +
                                testutil::shell_quote(path_);
        ASSERT_EQ(testutil::run_command(cmd).status, 0);
        video_only_ = dir_->file("video.mov");
        ASSERT_EQ(testutil::run_command(ffmpeg_ +
                                        " -v error -f lavfi -i testsrc2=size=64x32:rate=25:duration=0.2 -c:v mjpeg " +
                                        testutil::shell_quote(video_only_))
                      .status,
                  0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static Bytes tool_pcm(int track, const char *format) {
        const std::string out = dir_->file("track.raw");
        const std::string cmd = ffmpeg_ + " -v error -y -i " + testutil::shell_quote(path_) +
                                " -map 0:a:" + std::to_string(track) + " -c:a copy -f " + format + " " +
                                testutil::shell_quote(out);
        EXPECT_EQ(testutil::run_command(cmd).status, 0);
        return testutil::read_file(out);
    }
    static testutil::TempDir *dir_;
    static std::string ffmpeg_, path_, video_only_;
};
testutil::TempDir *MovPcmSource::dir_ = nullptr;
std::string MovPcmSource::ffmpeg_, MovPcmSource::path_, MovPcmSource::video_only_;

// Reads every second of a track until the source gives an empty frame.
Bytes read_all(AudioDemuxer *d, uint32_t track, Frame &frame, int *reads = nullptr) {
    Bytes all;
    for (int i = 0; i < 100; i++) {
        audio_demuxer_read(d, &frame.f, track);
        if (frame.f.nb_samples == 0) {
            EXPECT_EQ(frame.f.channel_states[0], AudioChannelState_Silent);
            if (reads) *reads = i;
            return all;
        }
        Bytes b = frame.bytes();
        all.insert(all.end(), b.begin(), b.end());
    }
    ADD_FAILURE() << "the source never ended";
    return all;
}

TEST_F(MovPcmSource, TracksReadAsTheStoredBytes) {
    ASSERT_FALSE(ffmpeg_.empty());
    AudioMovSourceParams prm;
    prm.path = path_.c_str();
    Demuxer d(create_audio_demuxer_mov_pcm(prm, 1));
    EXPECT_EQ(d->kind, uint32_t(AudioDemuxerKind_Other));
    Frame s24(AudioSampleFormat_S24BE, 2, 48000), s16(AudioSampleFormat_S16LE, 1, 44100);
    // Alternate reads of the two tracks keep their own positions.
    Bytes a, b;
    for (int i = 0; i < 3; i++) {
        audio_demuxer_read(d.get(), &s24.f, 0);
        Bytes x = s24.bytes();
        a.insert(a.end(), x.begin(), x.end());
        audio_demuxer_read(d.get(), &s16.f, 1);
        Bytes y = s16.bytes();
        b.insert(b.end(), y.begin(), y.end());
    }
    EXPECT_EQ(s24.f.nb_samples, 24000u);  // the last half second
    EXPECT_EQ(a, tool_pcm(0, "s24be"));
    EXPECT_EQ(b, tool_pcm(1, "s16le"));
    audio_demuxer_read(d.get(), &s24.f, 0);
    EXPECT_EQ(s24.f.nb_samples, 0u);
    EXPECT_EQ(s24.f.channel_states[1], AudioChannelState_Silent);
    EXPECT_EQ(s24.f.planes[0][100], 0);
}

TEST_F(MovPcmSource, StartAndEndFramesBecomeSamples) {
    ASSERT_FALSE(ffmpeg_.empty());
    const Bytes whole = tool_pcm(0, "s24be");
    struct Case {
        uint8_t use_file_rate;
        uint32_t num, den, start;
        int32_t end;
        uint64_t first, last;  // samples read, [first, last)
    } cases[] = {
        {1, 0, 0, 25, -1, 48000, 120000}, {0, 25, 1, 25, 49, 48000, 96000},
        {0, 50, 1, 25, 49, 24000, 48000}, {1, 0, 0, 0, 1000, 0, 120000},  // beyond the track: to its end
        {0, 25, 1, 10, 10, 19200, 21120},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " .. " + std::to_string(c.end));
        AudioMovSourceParams prm;
        prm.path = path_.c_str();
        prm.use_file_rate = c.use_file_rate;
        prm.rate_num = c.num;
        prm.rate_den = c.den;
        prm.start_frame = c.start;
        prm.end_frame = c.end;
        Demuxer d(create_audio_demuxer_mov_pcm(prm, 1));
        Frame s24(AudioSampleFormat_S24BE, 2, 48000);
        EXPECT_EQ(read_all(d.get(), 0, s24), Bytes(whole.begin() + c.first * 6, whole.begin() + c.last * 6));
    }
}

TEST_F(MovPcmSource, Refusals) {
    ASSERT_FALSE(ffmpeg_.empty());
    AudioMovSourceParams prm;
    prm.path = video_only_.c_str();
    EXPECT_EQ(mediatest::error_of([&] { Demuxer d(create_audio_demuxer_mov_pcm(prm, 1)); }), "Can't find audio");
    prm.path = path_.c_str();
    prm.start_frame = 10;
    prm.end_frame = 9;
    EXPECT_EQ(mediatest::error_of([&] { Demuxer d(create_audio_demuxer_mov_pcm(prm, 1)); }), "Invalid end f");
    prm.use_file_rate = 0;
    prm.rate_den = 0;
    prm.end_frame = -1;
    EXPECT_EQ(mediatest::error_of([&] { Demuxer d(create_audio_demuxer_mov_pcm(prm, 1)); }), "Invalid frame rate");

    prm.use_file_rate = 1;
    prm.start_frame = 0;
    Demuxer d(create_audio_demuxer_mov_pcm(prm, 1));
    Frame s24(AudioSampleFormat_S24BE, 2, 48000), mono(AudioSampleFormat_S24BE, 1, 48000),
        rate(AudioSampleFormat_S24BE, 2, 44100), fmt(AudioSampleFormat_S24LE, 2, 48000);
    Frame planar(AudioSampleFormat_S24BE, 2, 48000);
    free_audio_frame(&planar.f);
    alloc_audio_frame(&planar.f, AudioSampleFormat_S24BE, 2, 48000, 1, 48000);
    struct Case {
        AudioFrame *frame;
        uint32_t track;
        const char *message;
    } cases[] = {
        {&s24.f, 2, "Invalid track num"}, {&mono.f, 0, "Invalid channels"}, {&rate.f, 0, "Invalid freq"},
        {&planar.f, 0, "Invalid planar"}, {&fmt.f, 0, "Invalid pcm fmt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(d.get(), c.frame, c.track); }), c.message);
    }
    Demuxer two(create_audio_demuxer_mov_pcm(prm, 2));
    EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(two.get(), &s24.f, 0); }), "Not enough space out f mov pcm");
}

}  // namespace
