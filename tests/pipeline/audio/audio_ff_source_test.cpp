#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/error_of.h"
#include "pipeline/audio/audio_planar_ring.h"
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
    Frame(AudioSampleFormat format, uint32_t channels, uint32_t frequency, uint8_t planar) {
        init_audio_frame(&f);
        alloc_audio_frame(&f, format, channels, frequency, planar, frequency);
    }
    ~Frame() { free_audio_frame(&f); }
    float *plane(uint32_t c) { return reinterpret_cast<float *>(f.planes[c]); }
    void append_to(Bytes &b) const {
        const uint8_t *p = f.planes[0];
        b.insert(b.end(), p, p + uint64_t(f.nb_samples) * f.channels * f.bytes_per_sample);
    }
};

TEST(AudioPlanarRing, CapacityMarginAndChecks) {
    SoundIo *ctx = soundio_create();
    ASSERT_NE(ctx, nullptr);
    AudioPlanarRing ring;
    struct Case {
        uint32_t planes, frequency, capacity, bps;
        const char *message;
    } cases[] = {
        {0, 1, 1, 1, "Invalid plane count (0)"},     {1, 0, 1, 1, "Invalid frequency (0)"},
        {1, 1, 0, 1, "Invalid nb samples (0)"},      {1, 1, 1, 0, "Invalid byte per sample (0)"},
        {1, 1, 0x40000000, 8, "Invalid nb samples"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(
            mediatest::error_of([&] { audio_planar_ring_init(ctx, &ring, c.planes, c.frequency, c.capacity, c.bps); }),
            c.message);
        audio_planar_ring_free(&ring);
    }
    EXPECT_EQ(mediatest::error_of([&] { audio_planar_ring_init(ctx, nullptr, 1, 1, 1, 1); }),
              "Unallocated ring buffer p");

    // libsoundio rounds buffers up to whole pages: the ring still never holds more than
    // its capacity, and a run of samples stays contiguous across the wrap.
    audio_planar_ring_init(ctx, &ring, 2, 48000, 100, 4);
    EXPECT_GT(ring.margin, 0u);
    uint8_t *planes[2];
    uint32_t n = 0;
    for (int round = 0; round < 40; round++) {
        audio_planar_ring_get_writable(&ring, &n, planes);
        ASSERT_EQ(n, 100u);
        for (uint32_t p = 0; p < 2; p++)
            for (uint32_t i = 0; i < 70; i++) reinterpret_cast<uint32_t *>(planes[p])[i] = round * 1000 + i + p;
        audio_planar_ring_advance_write(&ring, 70);
        audio_planar_ring_get_writable(&ring, &n, planes);
        EXPECT_EQ(n, 30u);
        audio_planar_ring_get_readable(&ring, &n, planes);
        ASSERT_EQ(n, 70u);
        EXPECT_EQ(reinterpret_cast<uint32_t *>(planes[1])[69], uint32_t(round * 1000 + 70));
        audio_planar_ring_advance_read(&ring, 70);
    }
    audio_planar_ring_free(&ring);
    soundio_destroy(ctx);
}

// A Matroska file with a small video stream (0), two FLAC tracks (1: stereo 44100 Hz,
// 2: mono 48000 Hz) and a stereo AAC track at 44100 Hz (3).
class FfAudioSource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir;
        ffmpeg_ = testutil::require_tool("ffmpeg");
        if (ffmpeg_.empty()) return;
        path_ = dir_->file("tracks.mkv");
        const std::string cmd =
            ffmpeg_ +
            " -v error -f lavfi -i testsrc2=size=64x32:rate=10:duration=3.3"
            " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=3.3"
            " -f lavfi -i sine=frequency=1000:sample_rate=48000:duration=2.7"
            " -filter_complex "
            "'[1:a]aformat=channel_layouts=stereo,asplit[a][b];[a]aformat=sample_fmts=s16[st];[b]anull[st2]'"
            " -map 0:v -map [st] -map 2:a -map [st2] -c:v mjpeg -c:a:0 flac -c:a:1 flac"
            " -c:a:2 aac " +
            testutil::shell_quote(path_);
        ASSERT_EQ(testutil::run_command(cmd).status, 0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static Bytes tool_pcm(int track) {
        const std::string out = dir_->file("track.raw");
        const std::string cmd = ffmpeg_ + " -v error -y -i " + testutil::shell_quote(path_) +
                                " -map 0:a:" + std::to_string(track) + " -f s16le " + testutil::shell_quote(out);
        EXPECT_EQ(testutil::run_command(cmd).status, 0);
        return testutil::read_file(out);
    }
    static testutil::TempDir *dir_;
    static std::string ffmpeg_, path_;
};
testutil::TempDir *FfAudioSource::dir_ = nullptr;
std::string FfAudioSource::ffmpeg_, FfAudioSource::path_;

TEST_F(FfAudioSource, TwoFlacTracksReadAlternately) {
    ASSERT_FALSE(ffmpeg_.empty());
    const int32_t streams[2] = {1, 2};
    AudioFfmpegSourceParams prm{path_.c_str(), streams, 2};
    Demuxer d(create_audio_demuxer_ff(prm, 1));
    EXPECT_EQ(d->kind, uint32_t(AudioDemuxerKind_Other));
    Frame stereo(AudioSampleFormat_S16LE, 2, 44100, 0), mono(AudioSampleFormat_S16LE, 1, 48000, 1);
    Bytes a, b;
    int empty_a = 0, empty_b = 0;
    for (int i = 0; i < 6; i++) {
        audio_demuxer_read(d.get(), &stereo.f, 1);
        stereo.append_to(a);
        empty_a += stereo.f.nb_samples == 0;
        audio_demuxer_read(d.get(), &mono.f, 2);
        mono.append_to(b);
        empty_b += mono.f.nb_samples == 0;
    }
    EXPECT_EQ(a, tool_pcm(0));
    EXPECT_EQ(b, tool_pcm(1));
    EXPECT_EQ(empty_a, 2);  // 3.3 s: four reads with samples
    EXPECT_EQ(empty_b, 3);  // 2.7 s: three
    EXPECT_EQ(stereo.f.channel_states[1], AudioChannelState_Silent);
    EXPECT_EQ(reinterpret_cast<int16_t *>(stereo.f.planes[0])[1000], 0);
}

TEST_F(FfAudioSource, AacGivesPlanarFloat) {
    ASSERT_FALSE(ffmpeg_.empty());
    const int32_t streams[1] = {3};
    AudioFfmpegSourceParams prm{path_.c_str(), streams, 1};
    Demuxer d(create_audio_demuxer_ff(prm, 1));
    Frame packed(AudioSampleFormat_F32LE, 2, 44100, 0), planar(AudioSampleFormat_F32LE, 2, 44100, 1);
    EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(d.get(), &packed.f, 3); }), "Invalid planar mode");
    audio_demuxer_read(d.get(), &planar.f, 3);
    EXPECT_EQ(planar.f.nb_samples, 44100u);
    float peak = 0;
    for (uint32_t i = 0; i < 44100; i++) peak = std::max(peak, planar.plane(1)[i]);
    EXPECT_GT(peak, 0.05f);
}

TEST_F(FfAudioSource, Refusals) {
    ASSERT_FALSE(ffmpeg_.empty());
    struct Case {
        const char *path;
        std::vector<int32_t> streams;
        const char *message;
    } cases[] = {
        {path_.c_str(), {}, "Invalid demuxing track count"},  {path_.c_str(), {0}, "Invalid audio track"},
        {path_.c_str(), {1, 9}, "Invalid audio track num"},   {path_.c_str(), {-1}, "Invalid audio track num"},
        {"/nonexistent/x.mkv", {1}, "Can't open input file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        AudioFfmpegSourceParams prm{c.path, c.streams.data(), uint32_t(c.streams.size())};
        EXPECT_EQ(mediatest::error_of([&] { Demuxer d(create_audio_demuxer_ff(prm, 1)); }), c.message);
    }
    const int32_t streams[1] = {1};
    AudioFfmpegSourceParams prm{path_.c_str(), streams, 1};
    Demuxer d(create_audio_demuxer_ff(prm, 1));
    Frame ok(AudioSampleFormat_S16LE, 2, 44100, 0), planar(AudioSampleFormat_S16LE, 2, 44100, 1),
        fmt(AudioSampleFormat_S32LE, 2, 44100, 0), rate(AudioSampleFormat_S16LE, 2, 48000, 0),
        ch(AudioSampleFormat_S16LE, 1, 44100, 0);
    struct ReadCase {
        AudioFrame *frame;
        uint32_t stream;
        const char *message;
    } reads[] = {
        {&ok.f, 2, "Invalid audio track index"}, {&ch.f, 1, "Invalid channels"}, {&rate.f, 1, "Invalid freq"},
        {&planar.f, 1, "Invalid planar mode"},   {&fmt.f, 1, "Invalid pcm fmt"},
    };
    for (const ReadCase &c : reads) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(d.get(), c.frame, c.stream); }), c.message);
    }
}

}  // namespace

namespace {

// Reading only one of two requested tracks: the other's ring fills up to its 60 seconds,
// then reads stop decoding and come back short; the buffered track keeps every sample.
TEST(FfAudioSourceRing, FullRingStopsDecoding) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    testutil::TempDir dir;
    const std::string path = dir.file("long.mkv");
    ASSERT_EQ(testutil::run_command(ffmpeg +
                                    " -v error -f lavfi -i sine=frequency=300:sample_rate=8000:duration=64"
                                    " -f lavfi -i sine=frequency=700:sample_rate=8000:duration=64"
                                    " -map 0:a -map 1:a -c:a flac " +
                                    testutil::shell_quote(path))
                  .status,
              0);
    const int32_t streams[2] = {0, 1};
    AudioFfmpegSourceParams prm{path.c_str(), streams, 2};
    Demuxer d(create_audio_demuxer_ff(prm, 1));
    Frame a(AudioSampleFormat_S16LE, 1, 8000, 1), b(AudioSampleFormat_S16LE, 1, 8000, 1);
    uint64_t total_a = 0;
    for (int i = 0; i < 64; i++) {
        audio_demuxer_read(d.get(), &a.f, 0);
        total_a += a.f.nb_samples;
    }
    EXPECT_GE(total_a, 60u * 8000);
    EXPECT_LT(total_a, 64u * 8000);

    Bytes got;
    for (int i = 0; i < 60; i++) {
        audio_demuxer_read(d.get(), &b.f, 1);
        b.append_to(got);
    }
    const std::string raw = dir.file("b.raw");
    ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -i " + testutil::shell_quote(path) + " -map 0:a:1 -f s16le " +
                                    testutil::shell_quote(raw))
                  .status,
              0);
    const Bytes tool = testutil::read_file(raw);
    ASSERT_GE(tool.size(), got.size());
    EXPECT_EQ(got, Bytes(tool.begin(), tool.begin() + got.size()));
    EXPECT_EQ(got.size(), 60u * 8000 * 2);
}

}  // namespace
