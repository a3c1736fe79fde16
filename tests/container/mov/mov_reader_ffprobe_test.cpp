// The MOV reader against ffprobe on files made by the ffmpeg tool.
#include <gtest/gtest.h>

#include <cstring>

#include "container/mov/mov_reader.h"
#include "container/mov/mov_reader_fixtures.h"

using namespace movtest;

namespace {

struct ReaderHolder {
    MovReader r;
    ReaderHolder() { mov_reader_init(&r); }
    ~ReaderHolder() { mov_reader_close(&r); }
};

std::string fourcc_text(uint32_t c) { return std::string{char(c >> 24), char(c >> 16), char(c >> 8), char(c)}; }

struct VideoCase {
    const char *name;
    const char *size;
    int frames;
    const char *args;  // output options
    const char *tag;
    bool supported;
    uint16_t depth;  // 0: not checked
};

const VideoCase kVideoCases[] = {
    {"hap", "64x48", 7, "-c:v hap -format hap", "Hap1", true, 24},
    {"hap_alpha", "64x48", 7, "-pix_fmt rgba -c:v hap -format hap_alpha", "Hap5", true, 32},
    {"hap_q_chunks", "64x48", 7, "-c:v hap -format hap_q -chunks 4", "HapY", true, 24},
    {"prores_proxy", "64x48", 5, "-c:v prores_ks -profile:v 0", "apco", true, 0},
    {"prores_hq", "64x48", 5, "-c:v prores_ks -profile:v 3", "apch", true, 0},
    {"prores_4444_alpha", "64x48", 5, "-c:v prores_ks -profile:v 4 -pix_fmt yuva444p10le", "ap4h", true, 32},
    {"prores_4444", "64x48", 5, "-c:v prores_ks -profile:v 4 -pix_fmt yuv444p10le", "ap4h", true, 24},
    {"dnxhr", "256x144", 3, "-c:v dnxhd -profile:v dnxhr_lb", "AVdh", true, 0},
    {"mjpeg", "64x48", 5, "-c:v mjpeg", "jpeg", true, 0},
    {"png", "64x48", 3, "-c:v png", "png ", false, 0},
    {"uyvy", "64x48", 3, "-c:v rawvideo -pix_fmt uyvy422", "2vuy", true, 0},
    {"v210", "64x48", 3, "-c:v v210", "v210", true, 0},
};

class MovReaderVideo : public ::testing::TestWithParam<VideoCase> {};

TEST_P(MovReaderVideo, AgreesWithFfprobe) {
    const VideoCase &c = GetParam();
    testutil::TempDir dir;
    std::string file = dir.file("in.mov");
    ASSERT_TRUE(ffmpeg_make(std::string("-f lavfi -i testsrc2=size=") + c.size + ":rate=25 -frames:v " +
                                std::to_string(c.frames) + " " + c.args,
                            file));
    auto streams = ffprobe_rows(
        "-select_streams v:0 -show_entries stream=codec_tag_string,width,height,nb_frames,r_frame_rate", file);
    ASSERT_EQ(streams.size(), 1u);
    auto &s = streams[0];

    ReaderHolder h;
    MovReaderParams p;
    p.path = file.c_str();
    ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
    EXPECT_EQ(h.r.nb_video_tracks, 1u);
    EXPECT_EQ(fourcc_text(h.r.codec), s["codec_tag_string"]);
    EXPECT_EQ(fourcc_text(h.r.codec), c.tag);
    EXPECT_EQ(std::to_string(h.r.width), s["width"]);
    EXPECT_EQ(std::to_string(h.r.height), s["height"]);
    EXPECT_EQ(std::to_string(h.r.fps_rational.num) + "/" + std::to_string(h.r.fps_rational.den), s["r_frame_rate"]);
    EXPECT_DOUBLE_EQ(h.r.fps, 25.0);
    EXPECT_FALSE(h.r.is_vfr);
    EXPECT_EQ(h.r.video_codec_supported, c.supported);
    if (c.depth) { EXPECT_EQ(h.r.depth, c.depth); }
    if (!c.supported) {
        EXPECT_EQ(h.r.seek_table, nullptr);
        return;
    }
    EXPECT_EQ(std::to_string(h.r.nb_frames), s["nb_frames"]);
    auto packets = ffprobe_packets(file, "v:0");
    ASSERT_EQ(packets.size(), h.r.nb_frames);
    for (size_t i = 0; i < packets.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(h.r.seek_table[i].offset, packets[i].pos);
        EXPECT_EQ(h.r.seek_table[i].size, packets[i].size);
    }
    EXPECT_EQ(h.r.warning_flags, 0u);
}

INSTANTIATE_TEST_SUITE_P(Codecs, MovReaderVideo, ::testing::ValuesIn(kVideoCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(MovReaderVideo, DnxhdClassFromAres) {
    testutil::TempDir dir;
    std::string file = dir.file("dnxhd.mov");
    ASSERT_TRUE(ffmpeg_make(
        "-f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 2 -c:v dnxhd -b:v 36M -pix_fmt yuv422p", file));
    ReaderHolder h;
    MovReaderParams p;
    p.path = file.c_str();
    ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
    EXPECT_EQ(fourcc_text(h.r.codec), "AVdn");
    EXPECT_EQ(h.r.nb_frames, 2u);
    EXPECT_EQ(h.r.codec_variant, 1u);  // 8-bit 4:2:2 class
    auto packets = ffprobe_packets(file, "v:0");
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(h.r.seek_table[1].offset, packets[1].pos);
}

TEST(MovReaderVideo, DnxhrVariantFromFirstSample) {
    testutil::TempDir dir;
    std::string file = dir.file("dnxhr.mov");
    ASSERT_TRUE(ffmpeg_make(
        "-f lavfi -i testsrc2=size=256x144:rate=25 -frames:v 2 -c:v dnxhd -profile:v dnxhr_hqx -pix_fmt yuv422p10le",
        file));
    ReaderHolder h;
    MovReaderParams p;
    p.path = file.c_str();
    ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
    EXPECT_EQ(h.r.codec_variant, 5u);  // 4:2:2 10-bit
}

TEST(MovReaderTimecode, StartFrameAndDropFlag) {
    struct Case {
        const char *rate;
        const char *tc;
        uint32_t start;
        uint32_t drop;
    } cases[] = {{"25", "01:00:00:00", 90000, 0}, {"30000/1001", "00:01:00;02", 1800, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tc);
        testutil::TempDir dir;
        std::string file = dir.file("tc.mov");
        ASSERT_TRUE(ffmpeg_make(std::string("-f lavfi -i testsrc2=size=64x48:rate=") + c.rate +
                                    " -frames:v 3 -c:v hap -timecode " + testutil::shell_quote(c.tc),
                                file));
        auto tags = ffprobe_rows("-show_entries stream_tags=timecode", file);
        bool seen = false;
        for (auto &row : tags) seen |= row["tag:timecode"] == c.tc;
        EXPECT_TRUE(seen);
        ReaderHolder h;
        MovReaderParams p;
        p.path = file.c_str();
        ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
        EXPECT_TRUE(h.r.have_timecode);
        EXPECT_EQ(h.r.tc_start_frame, c.start);
        EXPECT_EQ(h.r.tc_flags & 1u, c.drop);
        EXPECT_EQ(h.r.nb_frames, 3u);
    }
}

// A variable-rate source above the rate cap: every sample is indexed and the last
// output frames come from the last samples, not a frozen copy of a middle one.
TEST(MovReaderVfr, CappedRateKeepsLastFrames) {
    testutil::TempDir dir;
    std::string file = dir.file("vfr.mov");
    ASSERT_TRUE(
        ffmpeg_make("-f lavfi -i testsrc2=size=64x48:rate=60 -frames:v 120 "
                    "-vf \"setpts='if(lt(N,60),N/60,1+(N-60)/40)/TB'\" -fps_mode passthrough -c:v hap",
                    file));
    auto packets = ffprobe_packets(file, "v:0");
    ASSERT_EQ(packets.size(), 120u);
    struct Case {
        uint64_t flags;
        ZRational cap;
        uint32_t frames;
        ZRational fps;
    } cases[] = {
        {MOV_FLAG_VFR_LIMIT_FPS, {30, 1}, 75, {30, 1}},
        {0, {60, 1}, 149, {60, 1}},
        {MOV_FLAG_VFR_KEEP_SAMPLES, {60, 1}, 120, {60, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flags);
        ReaderHolder h;
        MovReaderParams p;
        p.path = file.c_str();
        p.mov_intra_demuxer_flags = c.flags;
        p.max_vfr_to_cfr_fps = c.cap;
        ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
        EXPECT_TRUE(h.r.is_vfr);
        EXPECT_EQ(h.r.fps_rational.num, c.fps.num);
        EXPECT_EQ(h.r.fps_rational.den, c.fps.den);
        ASSERT_EQ(h.r.nb_frames, c.frames);
        EXPECT_EQ(h.r.warning_flags & MOV_WARNING_INDEX_INCOMPLETE, 0u);
        // The last output frame shows one of the last two source samples.
        uint64_t last = h.r.seek_table[h.r.nb_frames - 1].offset;
        EXPECT_TRUE(last == packets[119].pos || last == packets[118].pos) << last;
        // Output frames never go backwards in the source.
        for (uint32_t k = 1; k < h.r.nb_frames; k++) ASSERT_GE(h.r.seek_table[k].offset, h.r.seek_table[k - 1].offset);
        if (c.flags == MOV_FLAG_VFR_KEEP_SAMPLES) {
            for (uint32_t k = 0; k < 120; k++) ASSERT_EQ(h.r.seek_table[k].offset, packets[k].pos);
        }
    }
}

// PCM audio tracks of several formats: description, format code and bytes against
// `ffmpeg -c:a copy`.
TEST(MovReaderAudio, TracksAgreeWithFfmpegCopy) {
    struct Track {
        const char *codec;
        int channels;
        int rate;
        AudioSampleFormat format;
        const char *tag;
    } tracks[] = {
        {"pcm_s16le", 2, 48000, AudioSampleFormat_S16LE, "sowt"},
        {"pcm_s16be", 1, 44100, AudioSampleFormat_S16BE, "twos"},
        {"pcm_s24le", 2, 48000, AudioSampleFormat_S24LE, "in24"},
        {"pcm_s24be", 2, 48000, AudioSampleFormat_S24BE, "in24"},
        {"pcm_s32le", 2, 48000, AudioSampleFormat_S32LE, "in32"},
        {"pcm_f32be", 2, 48000, AudioSampleFormat_F32BE, "fl32"},
        {"pcm_f64le", 1, 48000, AudioSampleFormat_F64LE, "fl64"},
        {"pcm_u8", 1, 22050, AudioSampleFormat_U8, "raw "},
        {"pcm_s16le", 6, 48000, AudioSampleFormat_S16LE, "sowt"},
        {"pcm_f32le", 3, 96000, AudioSampleFormat_F32LE, "lpcm"},
    };
    const size_t n = sizeof(tracks) / sizeof(tracks[0]);
    testutil::TempDir dir;
    std::string file = dir.file("audio.mov");
    std::string args = "-f lavfi -i testsrc2=size=64x48:rate=25 ";
    for (size_t i = 0; i < n; i++)
        args += "-f lavfi -i sine=frequency=" + std::to_string(300 + 100 * i) +
                ":sample_rate=" + std::to_string(tracks[i].rate) + ":duration=1.3 ";
    args += "-map 0:v ";
    for (size_t i = 0; i < n; i++) args += "-map " + std::to_string(i + 1) + ":a ";
    args += "-frames:v 32 -c:v hap ";
    for (size_t i = 0; i < n; i++)
        args += "-c:a:" + std::to_string(i) + " " + tracks[i].codec + " -ac:a:" + std::to_string(i) + " " +
                std::to_string(tracks[i].channels) + " ";
    ASSERT_TRUE(ffmpeg_make(args, file));

    ReaderHolder h;
    MovReaderParams p;
    p.path = file.c_str();
    ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
    ASSERT_EQ(h.r.nb_audio_tracks, n);
    auto streams =
        ffprobe_rows("-select_streams a -show_entries stream=codec_tag_string,channels,sample_rate,duration_ts", file);
    ASSERT_EQ(streams.size(), n);
    for (size_t i = 0; i < n; i++) {
        SCOPED_TRACE(std::string(tracks[i].codec) + " x" + std::to_string(tracks[i].channels));
        const MovAudioTrack &t = h.r.audio_tracks[i];
        EXPECT_EQ(fourcc_text(t.codec), streams[i]["codec_tag_string"]);
        EXPECT_EQ(fourcc_text(t.codec), tracks[i].tag);
        EXPECT_EQ(std::to_string(t.channels), streams[i]["channels"]);
        EXPECT_EQ(std::to_string(t.sample_rate), streams[i]["sample_rate"]);
        EXPECT_EQ(std::to_string(t.nb_samples), streams[i]["duration_ts"]);
        EXPECT_EQ(t.track_id, i + 2);
        ASSERT_TRUE(t.pcm_supported);
        EXPECT_EQ(mov_reader_get_pcm_format(&t), tracks[i].format);

        std::string raw = dir.file("track" + std::to_string(i) + ".raw");
        ASSERT_TRUE(ffmpeg_make(
            "-i " + testutil::shell_quote(file) + " -map 0:a:" + std::to_string(i) + " -c:a copy -f data", raw));
        auto expected = testutil::read_file(raw);
        ASSERT_EQ(expected.size(), t.nb_samples * t.bytes_per_frame);
        // Whole track in one read, then in uneven pieces that cross chunk boundaries.
        std::vector<uint8_t> got(expected.size());
        EXPECT_EQ(mov_reader_read_audio(&h.r, got.data(), uint32_t(i), 0, t.nb_samples), t.nb_samples);
        EXPECT_EQ(got, expected);
        std::fill(got.begin(), got.end(), 0xAA);
        uint64_t pos = 0;
        for (uint64_t piece = 997; pos < t.nb_samples; piece = piece * 7 % 4099 + 1) {
            uint64_t r = mov_reader_read_audio(&h.r, got.data() + pos * t.bytes_per_frame, uint32_t(i), pos, piece);
            ASSERT_GT(r, 0u);
            pos += r;
        }
        EXPECT_EQ(pos, t.nb_samples);
        EXPECT_EQ(got, expected);
        // Past the end: no frames, no error.
        EXPECT_EQ(mov_reader_read_audio(&h.r, got.data(), uint32_t(i), t.nb_samples, 10), 0u);
    }
}

}  // namespace
