#include "pipeline/audio/audio_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "media/error_of.h"

namespace {

struct NodeDeleter {
    void operator()(AudioFilter *n) const { free_audio_filter(n); }
};
using Node = std::unique_ptr<AudioFilter, NodeDeleter>;

struct Frame {
    AudioFrame f;
    Frame() { init_audio_frame(&f); }
    Frame(AudioSampleFormat format, uint32_t channels, uint32_t frequency, uint8_t planar, uint32_t samples) {
        init_audio_frame(&f);
        alloc_audio_frame(&f, format, channels, frequency, planar, samples);
    }
    ~Frame() { free_audio_frame(&f); }
    float *plane(uint32_t c) { return reinterpret_cast<float *>(f.planes[c]); }
};

AudioFilterConvertParams convert_params(uint32_t channels, AudioSampleFormat in_format, uint8_t in_planar,
                                        uint32_t in_rate, AudioSampleFormat out_format, uint8_t out_planar,
                                        uint32_t out_rate, uint8_t dual = 0) {
    return {1, channels, in_format, in_planar, in_rate, out_format, out_planar, out_rate, dual};
}

void run(AudioFilter *node, AudioFrame *in) {
    node->inputs[0] = in;
    audio_filter_process(node);
}

TEST(AudioFilterNode, PoolAndRecordChecks) {
    EXPECT_EQ(mediatest::error_of([] { new_audio_filter(0, 0); }), "Zero input filter audio");
    ArrayAudioFilter pool;
    EXPECT_EQ(mediatest::error_of([&] { init_audio_filter_pool(&pool, 0); }), "Invalid filters count");
    init_audio_filter_pool(&pool, 4);
    for (int i = 0; i < 4; i++) audio_filter_pool_add(&pool, new_audio_filter(1, 2));
    AudioFilter *fifth = new_audio_filter(2, 1);
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_pool_add(&pool, fifth); }), "Not enough space for filter");
    free_audio_filter(fifth);
    free_audio_filter_pool(&pool);
    EXPECT_EQ(pool.items, nullptr);
    free_audio_filter(nullptr);
}

TEST(AudioFilterNode, ConvertCreationErrors) {
    struct Case {
        AudioFilterConvertParams p;
        const char *message;
    } cases[] = {
        {convert_params(6, AudioSampleFormat_F32LE, 1, 48000, AudioSampleFormat_S16LE, 0, 48000, 1),
         "Invalid dual stereo channels"},
        {convert_params(4, AudioSampleFormat_F32LE, 1, 48000, AudioSampleFormat_S16LE, 1, 48000, 1),
         "Invalid dual stereo out mode"},
        {convert_params(2, AudioSampleFormat(11), 0, 48000, AudioSampleFormat_S16LE, 0, 48000),
         "Unknown audio descriptor"},
        {convert_params(2, AudioSampleFormat_S16LE, 0, 48000, AudioSampleFormat_S16LE, 0, 0),
         "Zero value audio process p f"},
        {convert_params(2, AudioSampleFormat_S16LE, 0, 48000, AudioSampleFormat(12), 0, 48000),
         "Unknown audio descriptor"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(mediatest::error_of([&] { Node n(create_audio_filter_convert(c.p)); }), c.message);
    }
}

TEST(AudioFilterNode, PlanarFloatAtEqualRatesIsForwarded) {
    Node node(create_audio_filter_convert(
        convert_params(2, AudioSampleFormat_F32LE, 1, 48000, AudioSampleFormat_F32LE, 1, 48000)));
    Frame in(AudioSampleFormat_F32LE, 2, 48000, 1, 48000);
    in.f.nb_samples = 300;
    in.f.channel_masks[1] = 0x30;
    in.f.channel_states[0] = AudioChannelState_Silent;
    run(node.get(), &in.f);
    EXPECT_EQ(node->output->planes[0], in.f.planes[0]);
    EXPECT_EQ(node->output->planes[1], in.f.planes[1]);
    EXPECT_EQ(node->output->nb_samples, 300u);
    EXPECT_EQ(node->output->channel_masks[1], 0x30u);
    EXPECT_EQ(node->output->channel_states[0], AudioChannelState_Silent);

    // An empty input gives silence in the node's own planes, never in the input's.
    Frame small(AudioSampleFormat_F32LE, 2, 48000, 1, 1);
    for (uint32_t i = 0; i < 48000; i++) small.plane(0)[i] = 0.5f;
    run(node.get(), &small.f);
    small.f.nb_samples = 0;
    run(node.get(), &small.f);
    EXPECT_NE(node->output->planes[0], small.f.planes[0]);
    EXPECT_EQ(node->output->nb_samples, 0u);
    EXPECT_EQ(small.plane(0)[47999], 0.5f);
}

TEST(AudioFilterNode, RunChecksTheInputFrame) {
    Node node(create_audio_filter_convert(
        convert_params(2, AudioSampleFormat_S16LE, 0, 44100, AudioSampleFormat_F32LE, 1, 48000)));
    Frame rate(AudioSampleFormat_S16LE, 2, 48000, 0, 48000);
    Frame ch(AudioSampleFormat_S16LE, 1, 44100, 0, 44100);
    Frame fmt(AudioSampleFormat_S24LE, 2, 44100, 0, 44100);
    Frame longer(AudioSampleFormat_S16LE, 2, 44100, 0, 88200);
    longer.f.nb_samples = 44101;  // more than the node's one second
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &rate.f); }), "Invalid in freq");
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &ch.f); }), "Invalid in ch");
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &fmt.f); }), "Invalid in frame");
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &longer.f); }), "Invalid in frame");
    node->inputs[0] = nullptr;
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_process(node.get()); }), "Invalid inputs");
}

TEST(AudioFilterNode, InterleavedS16ResampledToPlanarFloat) {
    Node node(create_audio_filter_convert(
        convert_params(2, AudioSampleFormat_S16LE, 0, 44100, AudioSampleFormat_F32LE, 1, 48000)));
    Frame in(AudioSampleFormat_S16LE, 2, 44100, 0, 44100);
    int16_t *s = reinterpret_cast<int16_t *>(in.f.planes[0]);
    for (uint32_t i = 0; i < 44100; i++) {
        s[2 * i] = 8192;
        s[2 * i + 1] = -16384;
    }
    in.f.nb_samples = 44100;
    run(node.get(), &in.f);
    ASSERT_EQ(node->output->nb_samples, 48000u);
    const float *l = reinterpret_cast<const float *>(node->output->planes[0]);
    const float *r = reinterpret_cast<const float *>(node->output->planes[1]);
    EXPECT_NEAR(l[24000], 0.25f, 1e-4);
    EXPECT_NEAR(r[24000], -0.5f, 1e-4);

    // Half a second: half a second out; the rest of the output is silence, not the
    // previous second.
    in.f.nb_samples = 22050;
    run(node.get(), &in.f);
    ASSERT_EQ(node->output->nb_samples, 24000u);
    EXPECT_NEAR(l[12000], 0.25f, 1e-4);
    EXPECT_EQ(l[24000 + 500], 0.0f);
    EXPECT_EQ(r[47999], 0.0f);
}

TEST(AudioFilterNode, EmptyInputKeepsItsChannelStates) {
    Node node(create_audio_filter_convert(
        convert_params(2, AudioSampleFormat_S16LE, 0, 48000, AudioSampleFormat_S24LE, 0, 48000)));
    Frame in(AudioSampleFormat_S16LE, 2, 48000, 0, 48000);
    in.f.nb_samples = 0;
    in.f.channel_states[0] = 0;
    in.f.channel_states[1] = AudioChannelState_Silent;
    run(node.get(), &in.f);
    EXPECT_EQ(node->output->nb_samples, 0u);
    EXPECT_EQ(node->output->channel_states[0], 0);
    EXPECT_EQ(node->output->channel_states[1], AudioChannelState_Silent);
}

TEST(AudioFilterNode, DualStereoSplitsIntoTwoInterleavedPairs) {
    Node node(create_audio_filter_convert(
        convert_params(4, AudioSampleFormat_F32LE, 1, 48000, AudioSampleFormat_S16LE, 0, 48000, 1)));
    Frame in(AudioSampleFormat_F32LE, 4, 48000, 1, 48000);
    const float v[4] = {0.5f, -0.5f, 0.25f, -0.25f};
    for (uint32_t c = 0; c < 4; c++) {
        for (uint32_t i = 0; i < 10; i++) in.plane(c)[i] = v[c];
        in.f.channel_masks[c] = 1u << (c + 4);
    }
    in.f.nb_samples = 10;
    run(node.get(), &in.f);
    const AudioFrame *o[2] = {node->output, node->output2};
    for (int k = 0; k < 2; k++) {
        SCOPED_TRACE(k);
        ASSERT_EQ(o[k]->channels, 2u);
        EXPECT_EQ(o[k]->planar, 0);
        EXPECT_EQ(o[k]->nb_samples, 10u);
        const int16_t *s = reinterpret_cast<const int16_t *>(o[k]->planes[0]);
        EXPECT_EQ(s[18], int16_t(std::lround(v[2 * k] * 32767)));
        EXPECT_EQ(s[19], int16_t(std::lround(v[2 * k + 1] * 32767)));
        EXPECT_EQ(o[k]->channel_masks[0], 1u << (2 * k + 4));
        EXPECT_EQ(o[k]->channel_masks[1], 1u << (2 * k + 5));
    }
}

// Amplitude of the residual after a least-squares fit of a sine of known frequency
// (with offset) over [from, to).
double fit_residual_peak(const std::vector<float> &y, double freq, double rate, size_t from, size_t to) {
    double m[3][3] = {}, v[3] = {};
    auto basis = [&](size_t i, double b[3]) {
        const double t = 2 * M_PI * freq * double(i) / rate;
        b[0] = std::sin(t);
        b[1] = std::cos(t);
        b[2] = 1;
    };
    for (size_t i = from; i < to; i++) {
        double b[3];
        basis(i, b);
        for (int r = 0; r < 3; r++) {
            v[r] += b[r] * y[i];
            for (int c = 0; c < 3; c++) m[r][c] += b[r] * b[c];
        }
    }
    // Gaussian elimination on the 3x3 normal equations.
    for (int p = 0; p < 3; p++)
        for (int r = p + 1; r < 3; r++) {
            const double k = m[r][p] / m[p][p];
            for (int c = p; c < 3; c++) m[r][c] -= k * m[p][c];
            v[r] -= k * v[p];
        }
    double x[3];
    for (int r = 2; r >= 0; r--) {
        double s = v[r];
        for (int c = r + 1; c < 3; c++) s -= m[r][c] * x[c];
        x[r] = s / m[r][r];
    }
    double peak = 0;
    for (size_t i = from; i < to; i++) {
        double b[3];
        basis(i, b);
        peak = std::max(peak, std::fabs(y[i] - (x[0] * b[0] + x[1] * b[1] + x[2] * b[2])));
    }
    return peak;
}

// Second by second through one node: the resampler keeps its state, so no block edge
// shows in the output (a stateless resampler dips at every second).
TEST(AudioFilterNode, ResampledSineHasNoSecondBoundaries) {
    struct Case {
        uint32_t in, out;
    } cases[] = {{44100, 48000}, {48000, 44100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        Node node(create_audio_filter_convert(
            convert_params(2, AudioSampleFormat_S16LE, 0, c.in, AudioSampleFormat_F32LE, 1, c.out)));
        Frame in(AudioSampleFormat_S16LE, 2, c.in, 0, c.in);
        std::vector<float> left;
        const int seconds = 5;
        for (int s = 0; s < seconds; s++) {
            int16_t *p = reinterpret_cast<int16_t *>(in.f.planes[0]);
            for (uint32_t i = 0; i < c.in; i++) {
                const double t = double(uint64_t(s) * c.in + i) / c.in;
                p[2 * i] = int16_t(std::lround(16384 * std::sin(2 * M_PI * 997 * t)));
                p[2 * i + 1] = 0;
            }
            in.f.nb_samples = c.in;
            run(node.get(), &in.f);
            ASSERT_EQ(node->output->nb_samples, c.out);
            const float *l = reinterpret_cast<const float *>(node->output->planes[0]);
            left.insert(left.end(), l, l + c.out);
        }
        const size_t margin = c.out / 20;  // 50 ms
        const double peak = fit_residual_peak(left, 997, c.out, margin, left.size() - margin);
        EXPECT_LT(20 * std::log10(peak), -70.0);
    }
}

TEST(AudioChannelMatrix, SumsFollowTheMasks) {
    // Two stereo tracks, masks 1, 2, 1, 2: left = both lefts, right = both rights.
    AudioFilterMappingParams prm{48000, 48000, 2, 4, 2, nullptr};
    const uint64_t masks[4] = {1, 2, 1, 2};
    prm.masks = masks;
    Node node(create_audio_filter_mapping(prm));
    Frame a(AudioSampleFormat_F32LE, 2, 48000, 1, 48000), b(AudioSampleFormat_F32LE, 2, 48000, 1, 48000);
    for (uint32_t i = 0; i < 100; i++) {
        a.plane(0)[i] = 0.75f;
        a.plane(1)[i] = -0.25f;
        b.plane(0)[i] = 0.5f;
        b.plane(1)[i] = 0.125f;
    }
    a.f.nb_samples = 100;
    b.f.nb_samples = 100;
    node->inputs[0] = &a.f;
    node->inputs[1] = &b.f;
    audio_filter_process(node.get());
    const AudioFrame *o = node->output;
    EXPECT_EQ(o->nb_samples, 100u);
    EXPECT_EQ(reinterpret_cast<float *>(o->planes[0])[99], 1.25f);  // no scaling, no clamp
    EXPECT_EQ(reinterpret_cast<float *>(o->planes[1])[0], -0.125f);

    // The second input longer than the first: the run covers it.
    b.f.nb_samples = 120;
    audio_filter_process(node.get());
    EXPECT_EQ(o->nb_samples, 120u);

    Frame mono(AudioSampleFormat_F32LE, 1, 48000, 1, 48000);
    node->inputs[1] = &mono.f;
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_process(node.get()); }), "Invalid channels count in");
    Frame six(AudioSampleFormat_F32LE, 6, 48000, 1, 48000);
    node->inputs[1] = &six.f;
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_process(node.get()); }), "Invalid channels count in");
    Frame packed(AudioSampleFormat_F32LE, 2, 48000, 0, 48000);
    node->inputs[1] = &packed.f;
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_process(node.get()); }), "Invalid data layout");
    Frame s16(AudioSampleFormat_S16LE, 2, 48000, 1, 48000);
    node->inputs[1] = &s16.f;
    EXPECT_EQ(mediatest::error_of([&] { audio_filter_process(node.get()); }), "Invalid data type");
}

TEST(AudioChannelMatrix, UnmappedOutputsAreSilentAndManySourcesSumInOrder) {
    // Bit 5 on a 3-channel output is ignored; output 2 gets nothing; output 0 sums 7 inputs.
    const uint64_t masks[7] = {0x21, 1, 1, 1, 1, 1, 0x23};
    AudioFilterMappingParams prm{48000, 48000, 1, 7, 3, masks};
    Node node(create_audio_filter_mapping(prm));
    EXPECT_EQ(node->output->channel_states[0], 0);
    EXPECT_EQ(node->output->channel_states[2], AudioChannelState_Silent);
    Frame in(AudioSampleFormat_F32LE, 7, 48000, 1, 48000);
    const float v[7] = {1e8f, 1.0f, -1e8f, 3.0f, 0.5f, 1e-3f, 7.0f};
    for (uint32_t c = 0; c < 7; c++) in.plane(c)[0] = v[c];
    for (uint32_t i = 0; i < 48000; i++) node->output->planes[2][i] = 0x55;  // must be cleared
    in.f.nb_samples = 1;
    run(node.get(), &in.f);
    float expected = v[0];
    for (int c = 1; c < 7; c++) expected += v[c];
    EXPECT_EQ(reinterpret_cast<float *>(node->output->planes[0])[0], expected);
    EXPECT_EQ(reinterpret_cast<float *>(node->output->planes[1])[0], v[6]);
    EXPECT_EQ(reinterpret_cast<float *>(node->output->planes[2])[0], 0.0f);

    const uint64_t zeros[2] = {0, 0};
    AudioFilterMappingParams none{48000, 48000, 1, 2, 2, zeros};
    Node silent(create_audio_filter_mapping(none));
    EXPECT_EQ(silent->output->channel_states[0], AudioChannelState_Silent);
    EXPECT_EQ(silent->output->channel_states[1], AudioChannelState_Silent);
    AudioFilterMappingParams bad{48000, 48000, 1, 0, 2, zeros};
    EXPECT_EQ(mediatest::error_of([&] { Node n(create_audio_filter_mapping(bad)); }),
              "Invalid tracks count In,out (0)");
}

TEST(AudioGainNode, FactorsForwardingSilenceAndClamp) {
    const float gains[4] = {-6.0f, 0.0f, 6.0f, 12.0f};
    for (uint8_t clamp : {uint8_t(0), uint8_t(1)}) {
        SCOPED_TRACE(int(clamp));
        AudioFilterGainParams prm{48000, 48000, 4, gains, clamp};
        Node node(create_audio_filter_gain(prm));
        Frame in(AudioSampleFormat_F32LE, 4, 48000, 1, 48000);
        for (uint32_t c = 0; c < 4; c++) in.plane(c)[0] = 0.75f;
        in.f.channel_states[3] = AudioChannelState_Silent;
        in.f.channel_masks[2] = 0x40;
        in.f.nb_samples = 1;
        run(node.get(), &in.f);
        const AudioFrame *o = node->output;
        EXPECT_EQ(reinterpret_cast<float *>(o->planes[0])[0], 0.75f * float(std::pow(10.0, -6.0 * double(0.05f))));
        EXPECT_NEAR(reinterpret_cast<float *>(o->planes[0])[0] / 0.75f, 0.501187, 1e-6);
        EXPECT_EQ(o->planes[1], in.f.planes[1]);
        EXPECT_EQ(reinterpret_cast<float *>(o->planes[2])[0],
                  clamp ? 1.0f : 0.75f * float(std::pow(10.0, 6.0 * double(0.05f))));
        EXPECT_EQ(reinterpret_cast<float *>(o->planes[3])[0], 0.0f);
        EXPECT_EQ(o->channel_masks[2], 0x40u);
        EXPECT_EQ(o->channel_states[3], AudioChannelState_Silent);
        EXPECT_EQ(o->nb_samples, 1u);
    }
    AudioFilterGainParams prm{48000, 48000, 2, nullptr, 1};
    Node node(create_audio_filter_gain(prm));
    Frame three(AudioSampleFormat_F32LE, 3, 48000, 1, 48000);
    Frame packed(AudioSampleFormat_F32LE, 2, 48000, 0, 48000);
    Frame s16(AudioSampleFormat_S16LE, 2, 48000, 1, 48000);
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &three.f); }), "Inconsistent channels count");
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &packed.f); }), "Invalid packed");
    EXPECT_EQ(mediatest::error_of([&] { run(node.get(), &s16.f); }), "Invalid input format");
}

// Gains whose factor does not fit a float (or is not a number) never turn a sample into
// NaN: silence stays silent and a sound goes to full scale, or is kept for a NaN gain.
TEST(AudioGainNode, HugeAndNonFiniteGains) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float db;
        float from_half;  // what 0.5 becomes with the clamp flag
    } cases[] = {
        {800.0f, 1.0f}, {1e30f, 1.0f}, {inf, 1.0f}, {-inf, 0.0f}, {-1e30f, 0.0f}, {std::nanf(""), 0.5f},
    };
    for (const auto &c : cases) {
        for (uint8_t clamp : {uint8_t(0), uint8_t(1)}) {
            SCOPED_TRACE(testing::Message() << c.db << " clamp " << int(clamp));
            const float gains[1] = {c.db};
            Node node(create_audio_filter_gain({48000, 48000, 1, gains, clamp}));
            Frame in(AudioSampleFormat_F32LE, 1, 48000, 1, 48000);
            const float v[4] = {0.0f, -0.0f, 0.5f, -0.5f};
            for (int i = 0; i < 4; i++) in.plane(0)[i] = v[i];
            in.f.nb_samples = 4;
            run(node.get(), &in.f);
            const float *o = reinterpret_cast<const float *>(node->output->planes[0]);
            EXPECT_EQ(o[0], 0.0f);
            EXPECT_EQ(o[1], 0.0f);
            if (clamp) {
                EXPECT_EQ(o[2], c.from_half);
                EXPECT_EQ(o[3], -c.from_half);
            } else {
                EXPECT_FALSE(std::isnan(o[2]));
                EXPECT_EQ(o[2] >= 1.0f, c.from_half == 1.0f) << o[2];
                EXPECT_EQ(o[3], -o[2]);
            }
        }
    }
}

}  // namespace
