#include "pipeline/audio/pcm_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "media/error_of.h"

namespace {

using Bytes = std::vector<uint8_t>;

AudioDescriptor desc(AudioSampleFormat format, uint32_t channels, uint32_t frequency, uint8_t planar) {
    AudioDescriptor d;
    init_audio_descriptor(&d, format, channels, frequency, planar);
    return d;
}

// Writes `samples` of every channel set to v through the output converter in the given
// layout; returns the bytes of each channel's samples in order (interleaved data is
// split back per channel).
std::vector<Bytes> convert_out(AudioSampleFormat format, uint32_t channels, uint8_t planar, float v, int samples) {
    AudioDescriptor d = desc(format, channels, 48000, planar);
    AudioOutputConverter conv;
    init_audio_output_converter(&conv, &d);
    std::vector<std::vector<float>> src(channels, std::vector<float>(samples, v));
    std::vector<const float *> sp;
    for (auto &s : src) sp.push_back(s.data());
    const size_t b = d.bytes_per_sample;
    const bool is_planar = planar || channels == 1;
    std::vector<Bytes> planes(is_planar ? channels : 1, Bytes(b * samples * (is_planar ? 1 : channels), 0xAA));
    std::vector<uint8_t *> dp;
    for (auto &p : planes) dp.push_back(p.data());
    run_audio_output_converter(&conv, dp.data(), sp.data(), samples);
    std::vector<Bytes> per_channel(channels);
    for (uint32_t c = 0; c < channels; c++)
        for (int i = 0; i < samples; i++) {
            const uint8_t *s = is_planar ? planes[c].data() + i * b : planes[0].data() + (i * channels + c) * b;
            per_channel[c].insert(per_channel[c].end(), s, s + b);
        }
    return per_channel;
}

TEST(PcmConvert, FloatToStoredRoundsAndClipsInEveryLayout) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        AudioSampleFormat format;
        float v;
        Bytes expected;
    } cases[] = {
        {AudioSampleFormat_S16LE, 0.5f, {0x00, 0x40}},  // 16383.5 rounds away from zero
        {AudioSampleFormat_S16LE, -1.0f, {0x01, 0x80}},
        {AudioSampleFormat_S16LE, 1.0f, {0xFF, 0x7F}},
        {AudioSampleFormat_S16LE, 3.0f, {0xFF, 0x7F}},
        {AudioSampleFormat_S16LE, -3.0f, {0x00, 0x80}},
        {AudioSampleFormat_S16LE, nan, {0x00, 0x00}},
        {AudioSampleFormat_S16BE, 2.0f, {0x7F, 0xFF}},
        {AudioSampleFormat_S16BE, -2.0f, {0x80, 0x00}},
        {AudioSampleFormat_S16BE, nan, {0x80, 0x00}},
        {AudioSampleFormat_U8, 0.0f, {127}},
        {AudioSampleFormat_U8, -1.0f, {0}},
        {AudioSampleFormat_U8, 1.0f, {254}},
        {AudioSampleFormat_U8, 5.0f, {255}},
        {AudioSampleFormat_U8, nan, {0}},
        {AudioSampleFormat_S24LE, 1.0f / 8388607.0f, {0x01, 0x00, 0x00}},
        {AudioSampleFormat_S24BE, 1.0f / 8388607.0f, {0x00, 0x00, 0x01}},
        {AudioSampleFormat_S24LE, -2.0f, {0x00, 0x00, 0x80}},
        {AudioSampleFormat_S24BE, 1.0f, {0x7F, 0xFF, 0xFF}},
        {AudioSampleFormat_S24LE, nan, {0x00, 0x00, 0x80}},
        {AudioSampleFormat_S32LE, 1.0f, {0xFF, 0xFF, 0xFF, 0x7F}},
        {AudioSampleFormat_S32BE, 1.0f, {0x7F, 0xFF, 0xFF, 0xFF}},
        {AudioSampleFormat_S32LE, 2.0f, {0xFF, 0xFF, 0xFF, 0x7F}},
        {AudioSampleFormat_S32LE, -1.0f, {0x00, 0x00, 0x00, 0x80}},
        {AudioSampleFormat_S32BE, -1.0f, {0x80, 0x00, 0x00, 0x00}},
        {AudioSampleFormat_S32LE, -7.0f, {0x00, 0x00, 0x00, 0x80}},
        {AudioSampleFormat_S32BE, nan, {0x80, 0x00, 0x00, 0x00}},
        {AudioSampleFormat_F32LE, 1.5f, {0x00, 0x00, 0xC0, 0x3F}},  // float output is not clamped
        {AudioSampleFormat_F32BE, 1.5f, {0x3F, 0xC0, 0x00, 0x00}},
        {AudioSampleFormat_F64LE, -0.5f, {0, 0, 0, 0, 0, 0, 0xE0, 0xBF}},
        {AudioSampleFormat_F64BE, -0.5f, {0xBF, 0xE0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        for (uint32_t channels : {1u, 2u, 3u, 6u}) {
            for (uint8_t planar : {uint8_t(0), uint8_t(1)}) {
                SCOPED_TRACE("format " + std::to_string(c.format) + " value " + std::to_string(c.v) + " channels " +
                             std::to_string(channels) + " planar " + std::to_string(planar));
                std::vector<Bytes> out = convert_out(c.format, channels, planar, c.v, 5);
                Bytes five;
                for (int i = 0; i < 5; i++) five.insert(five.end(), c.expected.begin(), c.expected.end());
                for (uint32_t ch = 0; ch < channels; ch++) EXPECT_EQ(out[ch], five);
            }
        }
    }
}

// Stored bytes of one sample to float through the input converter, in each layout.
TEST(PcmConvert, StoredToFloatInEveryLayout) {
    struct Case {
        AudioSampleFormat format;
        Bytes sample;
        float expected;
    } cases[] = {
        {AudioSampleFormat_U8, {128}, 0.0f},
        {AudioSampleFormat_U8, {0}, -1.0f},
        {AudioSampleFormat_U8, {255}, 127.0f / 128.0f},
        {AudioSampleFormat_S16LE, {0x00, 0x80}, -1.0f},
        {AudioSampleFormat_S16BE, {0x40, 0x00}, 0.5f},
        {AudioSampleFormat_S24LE, {0x00, 0x00, 0x80}, -8388608.0f * 256.0f * 4.6566134e-10f},
        {AudioSampleFormat_S24BE, {0x00, 0x00, 0x01}, 256.0f * 4.6566134e-10f},
        {AudioSampleFormat_S32LE, {0x00, 0x00, 0x00, 0x40}, 0.5f},
        {AudioSampleFormat_S32BE, {0x80, 0x00, 0x00, 0x00}, -1.0f},
        {AudioSampleFormat_F32LE, {0x00, 0x00, 0xC0, 0x3F}, 1.0f},  // 1.5 clamped
        {AudioSampleFormat_F32LE, {0x00, 0x00, 0xC0, 0x7F}, 0.0f},  // NaN
        {AudioSampleFormat_F32BE, {0xBF, 0x00, 0x00, 0x00}, -0.5f},
        {AudioSampleFormat_F64LE, {0, 0, 0, 0, 0, 0, 0x04, 0xC0}, -1.0f},  // -2.5 clamped
        {AudioSampleFormat_F64BE, {0x3F, 0xD0, 0, 0, 0, 0, 0, 0}, 0.25f},
    };
    for (const Case &c : cases) {
        for (uint32_t channels : {1u, 2u, 5u}) {
            for (uint8_t planar : {uint8_t(0), uint8_t(1)}) {
                SCOPED_TRACE("format " + std::to_string(c.format) + " channels " + std::to_string(channels) +
                             " planar " + std::to_string(planar));
                const int n = 3;
                AudioDescriptor d = desc(c.format, channels, 48000, planar);
                AudioInputConverter conv;
                reset_audio_input_converter(&conv);
                init_audio_input_converter(&conv, &d, 0, 48000, AudioReadMode_Plain, 1);
                const bool is_planar = planar || channels == 1;
                // Channel k holds the sample in instant k % n, silence elsewhere: tells
                // channels and instants apart.
                std::vector<Bytes> planes(is_planar ? channels : 1);
                for (int i = 0; i < n; i++)
                    for (uint32_t ch = 0; ch < channels; ch++) {
                        Bytes s(c.sample.size());
                        fill_pcm_silence(s.data(), c.format, 1, 1);
                        if (i == int(ch % n)) s = c.sample;
                        Bytes &p = planes[is_planar ? ch : 0];
                        p.insert(p.end(), s.begin(), s.end());
                    }
                std::vector<const uint8_t *> sp;
                for (auto &p : planes) sp.push_back(p.data());
                std::vector<std::vector<float>> out(channels, std::vector<float>(n, 9.0f));
                std::vector<float *> dp;
                for (auto &o : out) dp.push_back(o.data());
                EXPECT_EQ(run_audio_input_converter_samples(&conv, dp.data(), sp.data(), n, n), uint64_t(n));
                for (uint32_t ch = 0; ch < channels; ch++)
                    for (int i = 0; i < n; i++) EXPECT_EQ(out[ch][i], i == int(ch % n) ? c.expected : 0.0f);
                free_audio_input_converter(&conv);
            }
        }
    }
}

TEST(PcmConvert, PairAveragingReadsTwiceTheChannels) {
    // Four interleaved s16 channels: 1 and 3 make left, 2 and 4 make right.
    const int16_t data[8] = {16384, -8192, 0, 8192, -32768, 0, 0, 0};
    AudioDescriptor d = desc(AudioSampleFormat_S16LE, 2, 48000, 0);
    AudioInputConverter conv;
    reset_audio_input_converter(&conv);
    init_audio_input_converter(&conv, &d, 0, 48000, AudioReadMode_PairAverage, 1);
    float l[2], r[2];
    float *dst[2] = {l, r};
    const uint8_t *src[1] = {reinterpret_cast<const uint8_t *>(data)};
    run_audio_input_converter_samples(&conv, dst, src, 2, 2);
    EXPECT_EQ(l[0], 0.25f);
    EXPECT_EQ(r[0], 0.0f);
    EXPECT_EQ(l[1], -0.5f);
    EXPECT_EQ(r[1], 0.0f);
    free_audio_input_converter(&conv);
}

TEST(PcmConvert, SilenceByFormat) {
    Bytes b(12, 0x55);
    fill_pcm_silence(b.data(), AudioSampleFormat_U8, 3, 2);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), Bytes(6, 128));
    EXPECT_EQ(b[6], 0x55);
    fill_pcm_silence(b.data(), AudioSampleFormat_S24BE, 2, 2);
    EXPECT_EQ(b, Bytes(12, 0));
    EXPECT_EQ(mediatest::error_of([&] { fill_pcm_silence(b.data(), AudioSampleFormat(11), 1, 1); }),
              "Unknown audio descriptor");
}

TEST(PcmConvert, SetUpErrorsRaiseAtInit) {
    struct Case {
        uint32_t format, channels, frequency, out_frequency, read_mode, seconds;
        uint8_t planar;
        const char *message;
    } cases[] = {
        {1, 2, 48000, 48000, 3, 1, 0, "Coeff read not supported"},
        {1, 2, 48000, 48000, 0, 1, 0, "Zero value audio process p f"},
        {1, 2, 48000, 0, 1, 1, 0, "Zero value audio process p f"},
        {1, 2, 48000, 48000, 1, 0, 0, "Zero value audio process p f"},
        {11, 2, 48000, 48000, 1, 1, 0, "Unsupported pcm codec stereo"},
        {11, 3, 48000, 48000, 1, 1, 0, "Unsupported pcm codec multi channels"},
        {11, 3, 48000, 48000, 1, 1, 1, "Unsupported pcm codec mono"},
        {1, 1, 1, 48000, 1, 1, 0, "Frequency conversion error"},  // ratio beyond 256
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        AudioDescriptor d{AudioSampleFormat(c.format), c.planar, c.channels, c.frequency, 2, 2};
        AudioInputConverter conv;
        reset_audio_input_converter(&conv);
        EXPECT_EQ(mediatest::error_of(
                      [&] { init_audio_input_converter(&conv, &d, 0, c.out_frequency, c.read_mode, c.seconds); }),
                  c.message);
        free_audio_input_converter(&conv);
    }
    struct OutCase {
        uint32_t format, channels;
        uint8_t planar;
        const char *message;
    } out_cases[] = {
        {1, 0, 0, "invalid dest audio params"},  {11, 1, 0, "Unsupported pcm codec p"},
        {11, 2, 0, "Unsupported pcm codec p"},   {11, 4, 1, "Unsupported pcm codec p"},
        {11, 4, 0, "Unsupported pcm codec gen"},
    };
    for (const OutCase &c : out_cases) {
        SCOPED_TRACE(c.message);
        AudioDescriptor d{AudioSampleFormat(c.format), c.planar, c.channels, 48000, 2, 2};
        AudioOutputConverter conv;
        EXPECT_EQ(mediatest::error_of([&] { init_audio_output_converter(&conv, &d); }), c.message);
    }
}

// Blocks of one stream through a resampling converter: each block gives
// nearest(total in x ratio) minus what came before, so whole seconds give whole seconds
// and the total never drifts, whatever the block sizes.
TEST(PcmConvert, ResampledCountsFollowTheStreamTotal) {
    struct Case {
        uint32_t in, out;
        std::vector<uint32_t> blocks;
    } cases[] = {
        {44100, 48000, {44100, 44100, 44100}},
        {48000, 44100, {48000, 48000, 17}},
        {44100, 48000, {100, 44100, 44100, 3}},  // a short block first: later blocks must still fit
        {22050, 48000, {1, 2, 22050, 11025}},
        {96000, 44100, {96000, 95999, 96000}},
        {8000, 48000, {8000, 8000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        AudioDescriptor d = desc(AudioSampleFormat_F32LE, 1, c.in, 1);
        AudioInputConverter conv;
        reset_audio_input_converter(&conv);
        init_audio_input_converter(&conv, &d, 0, c.out, AudioReadMode_Plain, 1);
        std::vector<float> in(c.in, 0.25f), out(c.out);
        const uint8_t *src[1] = {reinterpret_cast<const uint8_t *>(in.data())};
        float *dst[1] = {out.data()};
        uint64_t total_in = 0, total_out = 0;
        for (uint32_t n : c.blocks) {
            total_in += n;
            const uint64_t got = run_audio_input_converter_samples(&conv, dst, src, n, c.out);
            const uint64_t expected_total = uint64_t(std::floor(double(total_in) * c.out / c.in + 0.5));
            if (n == c.in) { EXPECT_EQ(got, c.out); }
            total_out += got;
            EXPECT_EQ(total_out, expected_total);
        }
        free_audio_input_converter(&conv);
    }
}

}  // namespace
