#include "pipeline/audio/wav_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "media/error_of.h"
#include "pipeline/audio/audio_demuxer.h"
#include "testutil/testutil.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put(Bytes &b, const char *four) { b.insert(b.end(), four, four + 4); }
void put16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put64(Bytes &b, uint64_t v) {
    put32(b, uint32_t(v));
    put32(b, uint32_t(v >> 32));
}
void chunk(Bytes &b, const char *id, const Bytes &payload, uint32_t size) {
    put(b, id);
    put32(b, size);
    b.insert(b.end(), payload.begin(), payload.end());
}
void chunk(Bytes &b, const char *id, const Bytes &payload) { chunk(b, id, payload, uint32_t(payload.size())); }

Bytes fmt_payload(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits) {
    Bytes p;
    put16(p, tag);
    put16(p, channels);
    put32(p, rate);
    put32(p, rate * channels * bits / 8);
    put16(p, channels * bits / 8);
    put16(p, bits);
    return p;
}

Bytes extensible_payload(uint32_t sub, uint32_t channels, uint32_t bits) {
    Bytes p = fmt_payload(0xFFFE, channels, 48000, bits);
    put16(p, 22);
    put16(p, bits);
    put32(p, 3);
    put16(p, sub);
    p.resize(40, 0x11);  // rest of the GUID
    return p;
}

Bytes header(const char *riff = "RIFF") {
    Bytes b;
    put(b, riff);
    put32(b, 0);
    put(b, "WAVE");
    return b;
}

Bytes ds64(uint64_t data_size, uint32_t table = 0) {
    Bytes p;
    put64(p, 0);
    put64(p, data_size);
    put64(p, 0);
    put32(p, table);
    return p;
}

struct Opened {
    WavReader r;
    std::string error;
    std::string printed;
};

// Opens bytes written to a temporary file; records the error text and the printed lines.
Opened open_bytes(const Bytes &bytes) {
    testutil::TempDir dir;
    const std::string path = dir.file("a.wav");
    testutil::write_file(path, bytes);
    Opened o;
    wav_reader_init(&o.r);
    testing::internal::CaptureStdout();
    o.error = mediatest::error_of([&] { wav_reader_open(&o.r, path.c_str()); });
    o.printed = testing::internal::GetCapturedStdout();
    wav_reader_free(&o.r);
    return o;
}

TEST(WavReader, HandMadeHeaders) {
    const Bytes pcm16 = fmt_payload(1, 2, 48000, 16);
    const Bytes four_samples(16, 0x22);
    struct Case {
        const char *name;
        Bytes bytes;
        const char *error;
        const char *printed;  // substring of the printed lines, or ""
        uint64_t nb_samples;
    } cases[] = {
        {"too short", Bytes(43, 0), "Not enough bytes in wav file", "", 0},
        {"not riff",
         [] {
             Bytes b = header("RIFX");
             b.resize(44);
             return b;
         }(),
         "Not a riff/rf64 file", "", 0},
        {"not wave",
         [] {
             Bytes b = header();
             memcpy(&b[8], "AVI ", 4);
             b.resize(44);
             return b;
         }(),
         "Not a wav file", "", 0},
        {"empty data",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", {});
             return b;
         }(),
         "Can't calculate data samples count", "", 0},
        {"data cut to the file",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples, 4000);
             return b;
         }(),
         "", "", 4},
        {"odd chunk skipped with its pad byte",
         [&] {
             Bytes b = header();
             chunk(b, "LIST", {1, 2, 3});
             b.push_back(0);
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples);
             return b;
         }(),
         "", "", 4},
        {"failing fmt ends the walk",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", pcm16);
             chunk(b, "fmt ", fmt_payload(1, 2, 48000, 12));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid DATA Chunk", "failed to parse chunk in WAV : Unsupported bits per sample : 12", 0},
        {"fmt too small",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", Bytes(14, 0));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Invalid fmt chunk size", 0},
        {"extensible too small",
         [&] {
             Bytes b = header();
             Bytes p = extensible_payload(1, 2, 16);
             p.resize(38);
             chunk(b, "fmt ", p);
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Invalid fmt wav extensible chunk size", 0},
        {"extensible sub-format",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", extensible_payload(2, 2, 16));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Unsupported audio format (WAV EXTENSIBLE)", 0},
        {"format tag",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", fmt_payload(2, 2, 48000, 16));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Unsupported audio format\n", 0},
        {"no channel",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", fmt_payload(1, 0, 48000, 16));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Invalid channels count (0)", 0},
        {"rate 0",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", fmt_payload(1, 2, 0, 16));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Invalid frequency (0)", 0},
        {"absurd rate",
         [&] {
             Bytes b = header();
             chunk(b, "fmt ", fmt_payload(1, 64, 0x40000000, 64));
             chunk(b, "data", four_samples);
             return b;
         }(),
         "Can't find valid FMT Chunk", "Invalid frequency (1073741824)", 0},
        {"RF64 data before ds64",
         [&] {
             Bytes b = header("RF64");
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples, 0xFFFFFFFF);
             chunk(b, "ds64", ds64(16));
             return b;
         }(),
         "Can't find valid DATA Chunk", "Invalid data chunk size in RF64", 0},
        {"RF64 chunk table",
         [&] {
             Bytes b = header("RF64");
             chunk(b, "ds64", ds64(16, 1));
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples, 0xFFFFFFFF);
             return b;
         }(),
         "Can't find valid FMT Chunk", "RF64 file with chunk table unsupported", 0},
        {"RF64 size from ds64",
         [&] {
             Bytes b = header("RF64");
             chunk(b, "ds64", ds64(8));
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples, 0xFFFFFFFF);
             return b;
         }(),
         "", "", 2},
        {"RF64 huge ds64 size",
         [&] {
             Bytes b = header("RF64");
             chunk(b, "ds64", ds64(~uint64_t(0) - 7));
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples, 0xFFFFFFFF);
             return b;
         }(),
         "", "", 4},
        {"ds64 in RIFF",
         [&] {
             Bytes b = header();
             chunk(b, "ds64", ds64(8));
             chunk(b, "fmt ", pcm16);
             chunk(b, "data", four_samples);
             return b;
         }(),
         "", "DS64 chunk found in RIFF file", 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Opened o = open_bytes(c.bytes);
        EXPECT_EQ(o.error, c.error);
        EXPECT_NE(o.printed.find(c.printed), std::string::npos) << o.printed;
        if (!*c.error) { EXPECT_EQ(o.r.nb_samples, c.nb_samples); }
    }
}

TEST(WavReader, MissingFileGivesSystemReason) {
    WavReader r;
    wav_reader_init(&r);
    EXPECT_EQ(mediatest::error_of([&] { wav_reader_open(&r, "/nonexistent/x.wav"); }),
              "Can't open file : /nonexistent/x.wav. Error : 2. No such file or directory");
    wav_reader_free(&r);
}

struct ToolCase {
    const char *name;
    const char *codec;  // encoder of the fixture
    const char *raw;    // raw format of the oracle's output
    const char *extra;  // more ffmpeg output options
    uint32_t channels;
    AudioSampleFormat format;
    bool rf64;
};

const ToolCase kToolCases[] = {
    {"u8", "pcm_u8", "u8", "", 1, AudioSampleFormat_U8, false},
    {"s16", "pcm_s16le", "s16le", "", 2, AudioSampleFormat_S16LE, false},
    {"s24", "pcm_s24le", "s24le", "", 2, AudioSampleFormat_S24LE, false},
    {"s32", "pcm_s32le", "s32le", "", 2, AudioSampleFormat_S32LE, false},
    {"f32", "pcm_f32le", "f32le", "", 2, AudioSampleFormat_F32LE, false},
    {"f64", "pcm_f64le", "f64le", "", 1, AudioSampleFormat_F64LE, false},
    {"extensible 5.1", "pcm_s24le", "s24le", "", 6, AudioSampleFormat_S24LE, false},
    {"rf64", "pcm_s16le", "s16le", "-rf64 always", 2, AudioSampleFormat_S16LE, true},
};

// A signal whose channels all differ, so a channel swap shows.
std::string source_args(uint32_t channels, double seconds) {
    std::string expr;
    for (uint32_t c = 0; c < channels; c++) {
        if (c) expr += "|";
        expr += "0.8*sin(" + std::to_string(200 + 110 * c) + "*2*PI*t)";
    }
    return "-f lavfi -i \"aevalsrc='" + expr + "':s=48000:d=" + std::to_string(seconds) + "\"";
}

std::string make_fixture(const testutil::TempDir &dir, const ToolCase &c, double seconds) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const std::string path = dir.file(std::string(c.codec) + std::to_string(c.channels) + ".wav");
    testutil::CommandResult r =
        testutil::run_command(ffmpeg + " -v error -nostdin -y " + source_args(c.channels, seconds) + " -c:a " +
                              c.codec + " " + c.extra + " " + testutil::shell_quote(path));
    EXPECT_EQ(r.status, 0) << c.name;
    return path;
}

Bytes oracle_samples(const std::string &path, const ToolCase &c) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    testutil::CommandResult r = testutil::run_command(ffmpeg + " -v error -nostdin -i " + testutil::shell_quote(path) +
                                                      " -c:a pcm_" + c.raw + " -f " + c.raw + " -");
    EXPECT_EQ(r.status, 0);
    return Bytes(r.output.begin(), r.output.end());
}

TEST(WavReader, ReadsWhatTheToolWrote) {
    testutil::TempDir dir;
    for (const ToolCase &c : kToolCases) {
        SCOPED_TRACE(c.name);
        const std::string path = make_fixture(dir, c, 0.25);
        const Bytes expected = oracle_samples(path, c);
        WavReader r;
        wav_reader_init(&r);
        ASSERT_EQ(mediatest::error_of([&] { wav_reader_open(&r, path.c_str()); }), "");
        EXPECT_EQ(r.is_rf64, c.rf64);
        EXPECT_EQ(r.channels, c.channels);
        EXPECT_EQ(r.sample_rate, 48000u);
        EXPECT_EQ(wav_reader_get_format(&r), c.format);
        ASSERT_EQ(r.nb_samples * r.bytes_per_sample_instant, expected.size());
        EXPECT_EQ(r.nb_samples, 12000u);
        EXPECT_FLOAT_EQ(r.duration, 0.25f);
        Bytes got(expected.size() + 8, 0xEE);
        EXPECT_EQ(wav_reader_read_samples_locked(&r, got.data(), 0, r.nb_samples + 100), r.nb_samples);
        EXPECT_EQ(got[expected.size()], 0xEE);  // nothing past the samples
        got.resize(expected.size());
        EXPECT_TRUE(got == expected);
        EXPECT_EQ(mediatest::error_of([&] { wav_reader_read_samples(&r, got.data(), r.nb_samples, 1); }),
                  "Can't read samples (invalid start sample : 12000 ; Max samples count : 12000");
        wav_reader_free(&r);
    }
}

// Every truncation of valid files either opens or fails with a message.
TEST(WavReader, TruncatedFilesFailCleanly) {
    testutil::TempDir dir;
    for (const ToolCase &c : {kToolCases[6], kToolCases[7]}) {
        SCOPED_TRACE(c.name);
        const Bytes whole = testutil::read_file(make_fixture(dir, c, 0.001));
        const std::string path = dir.file("cut.wav");
        for (size_t n = 0; n <= whole.size(); n++) {
            testutil::write_file(path, whole.data(), n);
            WavReader r;
            wav_reader_init(&r);
            testing::internal::CaptureStdout();
            try {
                wav_reader_open(&r, path.c_str());
                Bytes buf(r.nb_samples * r.bytes_per_sample_instant);
                EXPECT_EQ(wav_reader_read_samples(&r, buf.data(), 0, r.nb_samples), r.nb_samples);
                EXPECT_TRUE(std::equal(buf.begin(), buf.end(), whole.begin() + r.data_offset)) << n;
            } catch (const ProcessError &e) { EXPECT_STRNE(e.what(), "") << n; }
            testing::internal::GetCapturedStdout();
            wav_reader_free(&r);
        }
    }
}

// --- WAV source --------------------------------------------------------------------

struct Source {
    AudioDemuxer *d = nullptr;
    ~Source() { free_audio_demuxer(d); }
};

TEST(WavSource, StartEndAndSilenceAfterTheEnd) {
    testutil::TempDir dir;
    const ToolCase &c = kToolCases[1];  // s16 stereo, 48000 Hz
    const std::string path = make_fixture(dir, c, 3);
    const Bytes all = oracle_samples(path, c);
    ASSERT_EQ(all.size(), 144000u * 4);

    AudioWavSourceParams p;
    p.path = path.c_str();
    p.start = 1.5;
    p.end = 9;  // beyond the file: warning, read to the end
    Source s;
    testing::internal::CaptureStdout();
    s.d = create_audio_demuxer_wav(p, 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("WARNING : Not enough sample, for end sample value"),
              std::string::npos);
    EXPECT_EQ(s.d->kind, 0u);

    AudioFrame f;
    init_audio_frame(&f);
    alloc_audio_frame(&f, AudioSampleFormat_S16LE, 2, 48000, 0, 48000);
    audio_demuxer_read(s.d, &f, 0);
    ASSERT_EQ(f.nb_samples, 48000u);
    EXPECT_EQ(memcmp(f.planes[0], all.data() + 72000 * 4, 48000 * 4), 0);
    EXPECT_EQ(f.channel_states[0], 0);

    f.channel_states[1] = 5;
    audio_demuxer_read(s.d, &f, 0);  // the last 0.5 s, then silence
    ASSERT_EQ(f.nb_samples, 24000u);
    EXPECT_EQ(memcmp(f.planes[0], all.data() + 120000 * 4, 24000 * 4), 0);
    EXPECT_EQ(f.channel_states[1], 0);  // cleared before the read
    for (uint32_t i = 24000 * 4; i < f.data_size; i++) ASSERT_EQ(f.data[i], 0) << i;

    audio_demuxer_read(s.d, &f, 0);
    EXPECT_EQ(f.nb_samples, 0u);
    EXPECT_EQ(f.channel_states[0], AudioChannelState_Silent);
    EXPECT_EQ(f.channel_states[1], AudioChannelState_Silent);
    free_audio_frame(&f);

    // An end point inside the file stops there.
    p.start = 0;
    p.end = 0.5;
    Source s2;
    s2.d = create_audio_demuxer_wav(p, 1);
    alloc_audio_frame(&f, AudioSampleFormat_S16LE, 2, 48000, 0, 48000);
    audio_demuxer_read(s2.d, &f, 0);
    EXPECT_EQ(f.nb_samples, 24000u);
    free_audio_frame(&f);
}

TEST(WavSource, FrameMustMatchTheFile) {
    testutil::TempDir dir;
    const std::string path = make_fixture(dir, kToolCases[1], 0.1);
    AudioWavSourceParams p;
    p.path = path.c_str();
    Source s;
    s.d = create_audio_demuxer_wav(p, 2);
    struct Case {
        AudioSampleFormat format;
        uint32_t channels, rate;
        uint8_t planar;
        uint32_t samples;
        const char *error;
    } cases[] = {
        {AudioSampleFormat_S16LE, 1, 48000, 0, 96000, "Invalid channels input wav"},
        {AudioSampleFormat_S16LE, 2, 44100, 0, 96000, "Invalid freq"},
        {AudioSampleFormat_S16LE, 2, 48000, 1, 96000, "Invalid planar"},
        {AudioSampleFormat_S24LE, 2, 48000, 0, 96000, "Invalid pcm fmt"},
        {AudioSampleFormat_S16LE, 2, 48000, 0, 48000, "Not enough space out f wav"},  // two seconds per read
        {AudioSampleFormat_S16LE, 2, 48000, 0, 96000, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        AudioFrame f;
        init_audio_frame(&f);
        alloc_audio_frame(&f, c.format, c.channels, c.rate, c.planar, c.samples);
        testing::internal::CaptureStdout();
        EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(s.d, &f, 0); }), c.error);
        testing::internal::GetCapturedStdout();
        free_audio_frame(&f);
    }
    EXPECT_EQ(mediatest::error_of([&] { audio_demuxer_read(nullptr, nullptr, 0); }), "Invalid audio demuxer (NULL)");

    p.path = "/nonexistent.wav";
    EXPECT_NE(mediatest::error_of([&] { create_audio_demuxer_wav(p, 1); }).find("Can't open file"), std::string::npos);
}

}  // namespace
