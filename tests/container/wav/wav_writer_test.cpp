// WAV files written by the WAV writer, checked byte by byte and read back by FFmpeg.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "container/wav/wav_writer.h"
#include "container/mov/mov_writer_test_util.h"
#include "platform/core/errors.h"

using namespace mwtest;
using testutil::shell_quote;

namespace {

struct WavCase {
    const char *name;
    uint8_t channels;
    uint8_t bytes;
    uint32_t frequency;
    bool is_float;
    bool bext;
    uint64_t time_reference;
    size_t frames;  // sample frames written
    size_t block;   // frames per add call
    const char *codec;
};

std::vector<uint8_t> write_wav(const std::string &path, const WavCase &c, std::vector<uint8_t> *samples) {
    *samples = random_bytes(c.frames * c.channels * c.bytes, c.frames + c.channels);
    WavWriter w;
    wav_writer_init(&w);
    w.write_bext = c.bext;
    w.bext_time_reference = c.time_reference;
    wav_writer_set_format(&w, c.channels, c.bytes, c.frequency, c.is_float);
    wav_writer_alloc_buffer(&w, 1);
    wav_writer_open(&w, path.c_str());
    const size_t fb = size_t(c.channels) * c.bytes;
    for (size_t done = 0; done < c.frames;) {
        size_t n = std::min(c.block, c.frames - done);
        wav_writer_add_samples(&w, samples->data() + done * fb, n * fb);
        done += n;
    }
    wav_writer_close(&w);
    wav_writer_close(&w);  // a second close does nothing
    return testutil::read_file(path);
}

}  // namespace

TEST(WavWriter, FilesHaveTheHeaderAndReadBackWithFFmpeg) {
    const WavCase cases[] = {
        {"stereo 24-bit 48k", 2, 3, 48000, false, false, 0, 48000 + 17, 1000, "pcm_s24le"},
        {"mono 24-bit odd size", 1, 3, 44100, false, false, 0, 4411, 4411, "pcm_s24le"},
        {"mono float 44.1k", 1, 4, 44100, true, false, 0, 30000, 7000, "pcm_f32le"},
        {"six 16-bit with bext", 6, 2, 48000, false, true, 0x123456789ull, 96000, 48000, "pcm_s16le"},
        {"eight 32-bit", 8, 4, 48000, false, false, 0, 12345, 100, "pcm_s32le"},
        {"empty file", 2, 2, 48000, false, false, 0, 0, 1, "pcm_s16le"},
        {"empty with bext", 2, 2, 48000, false, true, 0, 0, 1, "pcm_s16le"},
    };
    testutil::TempDir dir;
    for (const WavCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("out.wav");
        unlink(path.c_str());  // the writers never replace a file
        std::vector<uint8_t> samples;
        auto f = write_wav(path, c, &samples);
        const size_t header = c.bext ? 690 : 80;
        // An odd data chunk is followed by a zero pad byte that only the RIFF size counts.
        const size_t pad = samples.size() % 2;
        ASSERT_EQ(f.size(), header + samples.size() + pad);
        if (pad) { EXPECT_EQ(f.back(), 0); }
        EXPECT_EQ(std::memcmp(f.data(), "RIFF", 4), 0);
        EXPECT_EQ(le32(&f[4]), f.size() - 8);
        EXPECT_EQ(std::memcmp(&f[8], "WAVEJUNK", 8), 0);
        EXPECT_EQ(le32(&f[16]), 28u);
        for (int i = 20; i < 48; i++) EXPECT_EQ(f[i], 0) << i;
        size_t fmt = 48;
        if (c.bext) {
            EXPECT_EQ(std::memcmp(&f[48], "bext", 4), 0);
            EXPECT_EQ(le32(&f[52]), 602u);
            EXPECT_EQ(std::memcmp(&f[312], "ZELQA_STUDIO\0", 13), 0);
            EXPECT_EQ(std::memcmp(&f[344], "ZELQA\0", 6), 0);
            EXPECT_EQ(le32(&f[394]), uint32_t(c.time_reference));
            EXPECT_EQ(le32(&f[398]), uint32_t(c.time_reference >> 32));
            fmt = 658;
        }
        const uint8_t *p = &f[fmt];
        EXPECT_EQ(std::memcmp(p, "fmt ", 4), 0);
        EXPECT_EQ(le32(p + 4), 16u);
        EXPECT_EQ(le16(p + 8), c.is_float ? 3 : 1);
        EXPECT_EQ(le16(p + 10), c.channels);
        EXPECT_EQ(le32(p + 12), c.frequency);
        EXPECT_EQ(le32(p + 16), c.frequency * c.channels * c.bytes);
        EXPECT_EQ(le16(p + 20), c.channels * c.bytes);
        EXPECT_EQ(le16(p + 22), 8 * c.bytes);
        EXPECT_EQ(std::memcmp(p + 24, "data", 4), 0);
        EXPECT_EQ(le32(p + 28), samples.size());
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), f.begin() + header));

        std::string info = probe_stream(path, "a:0", "stream=codec_name,sample_rate,channels");
        EXPECT_EQ(info, std::string("codec_name=") + c.codec + "\nsample_rate=" + std::to_string(c.frequency) +
                            "\nchannels=" + std::to_string(c.channels) + "\n");
        if (c.bext) {
            std::string tags = probe_stream(path, "a:0", "format_tags=encoded_by,originator_reference,time_reference");
            EXPECT_NE(tags.find("encoded_by=ZELQA_STUDIO"), std::string::npos) << tags;
            EXPECT_NE(tags.find("originator_reference=ZELQA"), std::string::npos) << tags;
            EXPECT_NE(tags.find("time_reference=" + std::to_string(c.time_reference)), std::string::npos) << tags;
        }
        std::string raw = dir.file("raw.bin");
        unlink(raw.c_str());
        auto r = run(testutil::require_tool("ffmpeg") + " -v error -y -i " + shell_quote(path) +
                     " -map 0:a -c copy -f data " + shell_quote(raw));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(testutil::read_file(raw) == samples);
    }
}

TEST(WavWriter, LongFilesBecomeRF64ThroughTheReservedChunk) {
    // The 32-bit limit is lowered so that a few kilobytes cross it; the boundary
    // case is exact: RIFF size == limit is patched, one byte more is RF64.
    struct Case {
        const char *name;
        bool bext;
        uint64_t limit_delta;  // limit = file length - 8 - delta
        bool rf64;
    } cases[] = {
        {"at the limit", false, 0, false},
        {"one byte over", false, 1, true},
        {"far over", false, 5000, true},
        {"far over with bext", true, 5000, true},
    };
    testutil::TempDir dir;
    const size_t frames = 3001;  // mono 24-bit: an odd data size
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("long.wav");
        unlink(path.c_str());  // the writers never replace a file
        auto samples = random_bytes(frames * 3, 77);
        const uint64_t header = c.bext ? 690 : 80;
        const uint64_t length = header + samples.size() + 1;  // and the pad byte
        WavWriter w;
        wav_writer_init(&w);
        EXPECT_EQ(w.max_riff32_size, 4294967294ull);
        w.max_riff32_size = length - 8 - c.limit_delta;
        w.write_bext = c.bext;
        wav_writer_set_format(&w, 1, 3, 48000, false);
        wav_writer_alloc_buffer(&w, 0);
        wav_writer_open(&w, path.c_str());
        wav_writer_add_samples(&w, samples.data(), samples.size());
        wav_writer_close(&w);

        auto f = testutil::read_file(path);
        ASSERT_EQ(f.size(), length);
        const uint64_t data_size_at = header - 4;
        if (!c.rf64) {
            EXPECT_EQ(std::memcmp(f.data(), "RIFF", 4), 0);
            EXPECT_EQ(le32(&f[4]), length - 8);
            EXPECT_EQ(std::memcmp(&f[12], "JUNK", 4), 0);
            EXPECT_EQ(le32(&f[data_size_at]), samples.size());
        } else {
            EXPECT_EQ(std::memcmp(f.data(), "RF64", 4), 0);
            EXPECT_EQ(le32(&f[4]), 0xFFFFFFFFu);
            EXPECT_EQ(std::memcmp(&f[8], "WAVEds64", 8), 0);
            EXPECT_EQ(le32(&f[16]), 28u);
            EXPECT_EQ(le32(&f[20]) | (uint64_t(le32(&f[24])) << 32), length - 8);
            EXPECT_EQ(le32(&f[28]) | (uint64_t(le32(&f[32])) << 32), samples.size());
            EXPECT_EQ(le32(&f[36]) | (uint64_t(le32(&f[40])) << 32), frames);
            EXPECT_EQ(le32(&f[44]), 0u);
            EXPECT_EQ(le32(&f[data_size_at]), 0xFFFFFFFFu);
        }
        std::string fmt = probe_stream(path, "a:0", "stream=codec_name,sample_rate,channels,duration_ts");
        EXPECT_EQ(fmt,
                  "codec_name=pcm_s24le\nsample_rate=48000\nchannels=1\nduration_ts=" + std::to_string(frames) + "\n");
        std::string raw = dir.file("raw.bin");
        unlink(raw.c_str());
        auto r = run(testutil::require_tool("ffmpeg") + " -v error -y -i " + shell_quote(path) +
                     " -map 0:a -c copy -f data " + shell_quote(raw));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_TRUE(testutil::read_file(raw) == samples);
    }
}

TEST(WavWriter, FormatAndSampleErrorsCarryTheirMessages) {
    testutil::TempDir dir;
    const std::string path = dir.file("never.wav");
    struct Case {
        const char *message;
        std::function<void(WavWriter *)> fn;
    } cases[] = {
        {"Invalid channels count : 0", [](WavWriter *w) { wav_writer_set_format(w, 0, 2, 48000, false); }},
        {"Unsupported quantification float (32 bits f (4) supporte) : 3",
         [](WavWriter *w) { wav_writer_set_format(w, 2, 3, 48000, true); }},
        {"Unsupported quantification (16 bits i (2), 24 bits i (3), 32 bits i (4) supporte) : 1",
         [](WavWriter *w) { wav_writer_set_format(w, 2, 1, 48000, false); }},
        {"Unsupported frequence (44100, 48000 supportes) : 32000",
         [](WavWriter *w) { wav_writer_set_format(w, 2, 2, 32000, false); }},
        {"Invalid internal buffer size (0)", [](WavWriter *w) { wav_writer_alloc_buffer(w, 1); }},
        {"Impossible d'ajouter des samples dans le buffer interne (taille 0)",
         [](WavWriter *w) {
             uint8_t b[4] = {};
             wav_writer_add_samples(w, b, 4);
         }},
        {"Invalid interleaved data size : 5 (Non multiple de channels * quantif : 4)",
         [](WavWriter *w) {
             uint8_t b[8] = {};
             wav_writer_set_format(w, 2, 2, 48000, false);
             wav_writer_alloc_buffer(w, 1);
             wav_writer_add_samples(w, b, 0);  // nothing, no check
             wav_writer_add_samples(w, b, 5);
         }},
        {"Impossible d'ajouter des samples dans le buffer interne (buffer == NULL)",
         [](WavWriter *w) {
             uint8_t b[4] = {};
             wav_writer_set_format(w, 2, 2, 48000, false);
             w->buffer_capacity = 4;
             wav_writer_add_samples(w, b, 4);
             w->buffer_capacity = 0;
         }},
        {"Can't open NULL file", [](WavWriter *w) { wav_writer_open(w, nullptr); }},
        // Opening without a complete format is refused before the file is created.
        {"Invalid channels count : 0", [&](WavWriter *w) { wav_writer_open(w, path.c_str()); }},
        {"Unsupported frequence (44100, 48000 supportes) : 0",
         [&](WavWriter *w) {
             try {
                 wav_writer_set_format(w, 2, 3, 32000, false);
             } catch (const ProcessError &) {}
             wav_writer_open(w, path.c_str());
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        WavWriter w;
        wav_writer_init(&w);
        EXPECT_EQ(thrown_message([&] { c.fn(&w); }), c.message);
        EXPECT_EQ(w.file, nullptr);
        wav_writer_close(&w);
        EXPECT_EQ(w.buffer, nullptr);
        EXPECT_NE(access(path.c_str(), F_OK), 0);
    }
    // A failing set_format keeps what it had checked before.
    WavWriter w;
    wav_writer_init(&w);
    EXPECT_THROW(wav_writer_set_format(&w, 2, 3, 32000, false), ProcessError);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.bytes_per_sample, 3);
    EXPECT_EQ(w.frequency, 0u);
    wav_writer_close(nullptr);
}

TEST(WavWriter, AFullBufferWaitsForTheNextSamples) {
    testutil::TempDir dir;
    std::string path = dir.file("buf.wav");
    WavWriter w;
    wav_writer_init(&w);
    wav_writer_set_format(&w, 2, 2, 44100, false);
    wav_writer_alloc_buffer(&w, 0);
    EXPECT_EQ(w.buffer_capacity, 44100u * 4);
    wav_writer_open(&w, path.c_str());
    auto second = random_bytes(44100 * 4, 5);
    wav_writer_add_samples(&w, second.data(), second.size());
    EXPECT_EQ(testutil::read_file(path).size(), 80u);  // still in memory
    wav_writer_add_samples(&w, second.data(), 4);
    EXPECT_EQ(testutil::read_file(path).size(), 80u + second.size());
    EXPECT_EQ(w.data_bytes_written, second.size());
    wav_writer_close(&w);
    auto f = testutil::read_file(path);
    ASSERT_EQ(f.size(), 80u + second.size() + 4);
    EXPECT_EQ(le32(&f[76]), second.size() + 4);
}

TEST(WavWriter, ShortWritesThrowAndKeepTheStreamOpen) {
    struct Case {
        const char *name;
        uint64_t limit;
        int failing_call;  // 0 open, 1 first add, 2 second add, 3 close
    } cases[] = {
        {"header", 40, 0},
        {"full buffer", 80 + 1000, 2},
        {"last buffer at close", 80 + 192000 + 10, 3},
    };
    testutil::TempDir dir;
    auto second = random_bytes(48000 * 4, 6);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("short.wav");
        unlink(path.c_str());  // the writers never replace a file
        WavWriter w;
        wav_writer_init(&w);
        wav_writer_set_format(&w, 2, 2, 48000, false);
        wav_writer_alloc_buffer(&w, 1);
        int call = 0;
        std::string msg = "(nothing thrown)";
        {
            FileSizeLimit limit(c.limit);
            try {
                wav_writer_open(&w, path.c_str());
                call = 1;
                wav_writer_add_samples(&w, second.data(), second.size());
                call = 2;
                wav_writer_add_samples(&w, second.data(), 400);
                call = 3;
                wav_writer_close(&w);
            } catch (const ProcessError &e) { msg = e.what(); }
        }
        EXPECT_EQ(msg, "Error file write");
        EXPECT_EQ(call, c.failing_call);
        if (call == 1 || call == 2) { EXPECT_NE(w.file, nullptr); }
        if (call == 3) { EXPECT_EQ(w.file, nullptr); }  // a failing close still releases the file
        if (w.file) fclose(w.file), w.file = nullptr;
        wav_writer_close(&w);
    }
}

TEST(WavWriter, ATakenNameMovesToTheNextFreeOne) {
    // Never opens an existing entry: a file, a folder or a link keeps its bytes.
    testutil::TempDir dir;
    const std::string path = dir.file("mix.wav");
    testutil::write_file(path, "keep", 4);
    ASSERT_EQ(symlink(dir.file("elsewhere.wav").c_str(), dir.file("mix_1.wav").c_str()), 0);
    WavWriter w;
    wav_writer_init(&w);
    wav_writer_set_format(&w, 1, 2, 48000, false);
    wav_writer_alloc_buffer(&w, 1);
    EXPECT_EQ(wav_writer_open(&w, path.c_str()), dir.file("mix_2.wav"));
    const int16_t samples[4] = {1, -2, 3, -4};
    wav_writer_add_samples(&w, samples, sizeof(samples));
    wav_writer_close(&w);
    EXPECT_EQ(testutil::read_file(path), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_NE(access(dir.file("elsewhere.wav").c_str(), F_OK), 0);
    EXPECT_EQ(testutil::read_file(dir.file("mix_2.wav")).size(), 80u + sizeof(samples));
}

TEST(WavWriter, AFailingCloseStillReleasesTheFile) {
    // Mono 24-bit: 3 x 101 bytes of data, an odd size that needs the pad byte.
    struct Case {
        const char *name;
        uint64_t limit;
    } cases[] = {
        {"last buffer", 80 + 10},
        {"pad byte", 80 + 303},
    };
    testutil::TempDir dir;
    auto open_descriptors = [] {
        size_t n = 0;
        for (const auto &e : std::filesystem::directory_iterator("/proc/self/fd")) n += e.exists() ? 1 : 0;
        return n;
    };
    const auto samples = random_bytes(303, 8);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("close.wav");
        unlink(path.c_str());  // the writers never replace a file
        const size_t before = open_descriptors();
        WavWriter w;
        wav_writer_init(&w);
        wav_writer_set_format(&w, 1, 3, 48000, false);
        wav_writer_alloc_buffer(&w, 1);
        std::string msg = "(nothing thrown)";
        {
            FileSizeLimit limit(c.limit);
            wav_writer_open(&w, path.c_str());
            wav_writer_add_samples(&w, samples.data(), samples.size());
            try {
                wav_writer_close(&w);
            } catch (const ProcessError &e) { msg = e.what(); }
        }
        EXPECT_EQ(msg, "Error file write");
        EXPECT_EQ(w.file, nullptr);
        EXPECT_EQ(w.buffer, nullptr);
        EXPECT_EQ(open_descriptors(), before);
        wav_writer_close(&w);  // nothing left to do
    }
}
