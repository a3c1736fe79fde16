#include "pipeline/audio/audio_analyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "media/error_of.h"
#include "pipeline/audio/audio_demuxer.h"
#include "pipeline/audio/wav_reader.h"
#include "testutil/testutil.h"

namespace {

struct AnalyserDeleter {
    void operator()(AudioAnalyser *a) const { free_audio_analyser(a); }
};
using Analyser = std::unique_ptr<AudioAnalyser, AnalyserDeleter>;

struct Frame {
    AudioFrame f;
    Frame(AudioSampleFormat format, uint32_t channels, uint32_t frequency, uint8_t planar) {
        init_audio_frame(&f);
        alloc_audio_frame(&f, format, channels, frequency, planar, frequency);
    }
    ~Frame() { free_audio_frame(&f); }
    float *plane(uint32_t c) { return reinterpret_cast<float *>(f.planes[c]); }
};

const AudioAnalyserOptions kAll{1, 1, 1, 1, 0};

AudioAnalyserParams params(uint32_t channels, AudioSampleFormat format, uint8_t planar, uint64_t start = 0,
                           uint64_t count = 0) {
    return {1, channels, format, planar, 48000, start, count};
}

TEST(AudioAnalyser, RefusedChannelCounts) {
    for (uint32_t ch : {0u, 3u, 5u, 7u, 9u}) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(mediatest::error_of(
                      [&] { Analyser a(create_audio_analyser(params(ch, AudioSampleFormat_F32LE, 1), kAll)); }),
                  "Unsupported input");
    }
    AudioAnalyserParams low = params(2, AudioSampleFormat_F32LE, 1);
    low.frequency = 8;
    EXPECT_EQ(mediatest::error_of([&] { Analyser a(create_audio_analyser(low, kAll)); }), "Can't create ebur128_state");
    EXPECT_EQ(mediatest::error_of([] { audio_analyser_add_frame(nullptr, nullptr); }), "Invalid audio analyser (NULL)");
}

TEST(AudioAnalyser, SilenceAndDualStereoPeaks) {
    for (uint32_t ch : {1u, 2u, 4u, 6u, 8u}) {
        SCOPED_TRACE(ch);
        Analyser a(create_audio_analyser(params(ch, AudioSampleFormat_F32LE, 1), kAll));
        Frame fr(AudioSampleFormat_F32LE, ch, 48000, 1);
        fill_audio_frame_silence(&fr.f);
        fr.f.nb_samples = 48000;
        for (int i = 0; i < 2; i++) EXPECT_EQ(audio_analyser_add_frame(a.get(), &fr.f), 1);
        EXPECT_EQ(audio_analyser_finish(a.get()), 1);
        EXPECT_EQ(a->results->is_silent, 1);
        for (uint32_t c = 0; c < ch; c++) {
            EXPECT_EQ(a->results->sample_peak[c], -INFINITY);
            EXPECT_EQ(a->results->true_peak[c], -INFINITY);
        }
    }
    // Four channels: two stereo states; channel 3 (the second state's first) is measured there.
    Analyser a(create_audio_analyser(params(4, AudioSampleFormat_F32LE, 1), kAll));
    EXPECT_EQ(a->results->nb_states, 2u);
    Frame fr(AudioSampleFormat_F32LE, 4, 48000, 1);
    fill_audio_frame_silence(&fr.f);
    fr.f.nb_samples = 48000;
    for (uint32_t i = 0; i < 48000; i++) fr.plane(2)[i] = 0.5f * std::sin(2 * M_PI * 1000 * i / 48000.0);
    for (int i = 0; i < 3; i++) audio_analyser_add_frame(a.get(), &fr.f);
    EXPECT_EQ(audio_analyser_finish(a.get()), 0);
    const AudioAnalyserResults *r = a->results;
    EXPECT_NEAR(r->sample_peak[2], 20 * std::log10(0.5), 0.01);
    EXPECT_EQ(r->sample_peak[0], -INFINITY);
    EXPECT_EQ(r->sample_peak[3], -INFINITY);
    EXPECT_GT(r->integrated[1], -40.0);
    EXPECT_LT(r->integrated[0], -69.0);  // silence: the library's floor
}

TEST(AudioAnalyser, StartSampleAndCountSpanFrames) {
    // The first second is loud, the second loud up to sample 24000 then quiet.
    Frame loud(AudioSampleFormat_F32LE, 1, 48000, 1), mixed(AudioSampleFormat_F32LE, 1, 48000, 1);
    for (uint32_t i = 0; i < 48000; i++) {
        loud.plane(0)[i] = i % 2 ? 0.9f : -0.9f;
        mixed.plane(0)[i] = i < 24000 ? 0.9f : (i % 2 ? 0.1f : -0.1f);
    }
    loud.f.nb_samples = mixed.f.nb_samples = 48000;
    const AudioAnalyserOptions peaks{0, 0, 0, 1, 0};
    Analyser a(create_audio_analyser(params(1, AudioSampleFormat_F32LE, 1, 72000), peaks));
    EXPECT_EQ(audio_analyser_add_frame(a.get(), &loud.f), 1);
    EXPECT_EQ(a->measured, 0u);
    EXPECT_EQ(audio_analyser_add_frame(a.get(), &mixed.f), 1);
    EXPECT_EQ(a->measured, 24000u);
    audio_analyser_finish(a.get());
    EXPECT_NEAR(a->results->sample_peak[0], -20.0, 1e-4);

    Analyser counted(create_audio_analyser(params(1, AudioSampleFormat_F32LE, 1, 0, 48000), peaks));
    EXPECT_EQ(audio_analyser_add_frame(counted.get(), &loud.f), 0);
    EXPECT_EQ(audio_analyser_add_frame(counted.get(), &mixed.f), 0);
    EXPECT_EQ(counted->measured, 48000u);
}

TEST(AudioAnalyser, StopAtSound) {
    const AudioAnalyserOptions stop{0, 0, 0, 0, 1};
    Analyser a(create_audio_analyser(params(2, AudioSampleFormat_S16LE, 0), stop));
    Frame fr(AudioSampleFormat_S16LE, 2, 48000, 0);
    fill_audio_frame_silence(&fr.f);
    fr.f.nb_samples = 48000;
    EXPECT_EQ(audio_analyser_add_frame(a.get(), &fr.f), 1);
    EXPECT_EQ(audio_analyser_add_frame(a.get(), &fr.f), 1);
    reinterpret_cast<int16_t *>(fr.f.planes[0])[40001] = 3;
    EXPECT_EQ(audio_analyser_add_frame(a.get(), &fr.f), 0);
}

// Files made by the ffmpeg tool, measured by us through the WAV source and by the tool's
// ebur128 and astats filters.
TEST(AudioAnalyser, MatchesTheToolsMeasures) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    testutil::TempDir dir;
    struct Case {
        const char *name, *source, *codec;
        uint32_t channels;
    } cases[] = {
        {"tone", "aevalsrc=0.1*sin(2*PI*1000*t):c=stereo:s=48000:d=6", "pcm_s16le", 2},
        {"pink", "anoisesrc=color=pink:amplitude=0.5:seed=7:r=48000:d=6", "pcm_s24le", 1},
        {"surround",
         "aevalsrc=0.3*sin(2*PI*440*t)|0.2*sin(2*PI*550*t)|0.25*sin(2*PI*660*t)|0.5*sin(2*PI*60*t)|"
         "0.1*sin(2*PI*3000*t)|0.15*sin(2*PI*7000*t):c=5.1:s=48000:d=6",
         "pcm_f32le", 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".wav");
        ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -f lavfi -i '" + c.source + "' -c:a " + c.codec + " " +
                                        testutil::shell_quote(path))
                      .status,
                  0);
        const std::string tool_out =
            testutil::run_command(ffmpeg + " -nostats -i " + testutil::shell_quote(path) +
                                  " -af ebur128=peak=true,astats=measure_perchannel=none -f null - 2>&1")
                .output;
        // The summary comes last: take the last "I:" and the "Peak:" after "True peak:".
        const size_t i_pos = tool_out.rfind(" I:");
        const size_t tp_pos = tool_out.find("Peak:", tool_out.rfind("True peak:"));
        const size_t sp_pos = tool_out.rfind("Peak level dB:");
        ASSERT_NE(i_pos, std::string::npos);
        ASSERT_NE(tp_pos, std::string::npos);
        ASSERT_NE(sp_pos, std::string::npos);
        const double tool_i = std::strtod(tool_out.c_str() + i_pos + 3, nullptr);
        const double tool_tp = std::strtod(tool_out.c_str() + tp_pos + 5, nullptr);
        const double tool_sp = std::strtod(tool_out.c_str() + sp_pos + 14, nullptr);

        AudioWavSourceParams wp;
        wp.path = path.c_str();
        std::unique_ptr<AudioDemuxer, void (*)(AudioDemuxer *)> src(create_audio_demuxer_wav(wp, 1),
                                                                    free_audio_demuxer);
        WavReader probe;
        wav_reader_init(&probe);
        wav_reader_open(&probe, path.c_str());
        const AudioSampleFormat format = wav_reader_get_format(&probe);
        wav_reader_free(&probe);
        Frame fr(format, c.channels, 48000, 0);
        Analyser a(create_audio_analyser(params(c.channels, format, 0), kAll));
        for (;;) {
            audio_demuxer_read(src.get(), &fr.f, 0);
            if (fr.f.nb_samples == 0) break;
            audio_analyser_add_frame(a.get(), &fr.f);
        }
        EXPECT_EQ(audio_analyser_finish(a.get()), 0);
        const AudioAnalyserResults *r = a->results;
        EXPECT_NEAR(r->integrated[0], tool_i, 0.1);
        EXPECT_NEAR(*std::max_element(r->true_peak, r->true_peak + c.channels), tool_tp, 0.3);
        EXPECT_NEAR(*std::max_element(r->sample_peak, r->sample_peak + c.channels), tool_sp, 1e-3);
    }
}

}  // namespace
