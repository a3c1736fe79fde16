// Seconds of audio per second of work (items_per_second, one item = one second):
// - the audio chain of one output: 8 channels of interleaved s16 at 44100 Hz converted to
//   planar float at 48000 Hz, channel mapping, gain and output conversion to s24;
// - the same chain at 48000 Hz in (no resampling);
// - loudness analysis (integrated, short-term, range and true peak) of 48 kHz stereo s16.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "pipeline/audio/audio_analyser.h"
#include "pipeline/audio/audio_filter.h"

namespace {

void fill_s16(AudioFrame *f) {
    int16_t *s = reinterpret_cast<int16_t *>(f->planes[0]);
    for (uint32_t i = 0; i < f->capacity; i++)
        for (uint32_t c = 0; c < f->channels; c++)
            s[i * f->channels + c] = int16_t(12000 * std::sin(0.01 * (c + 1) * i) + (i * 7919 % 601) - 300);
    f->nb_samples = f->capacity;
}

void BM_Chain8(benchmark::State &state) {
    const uint32_t in_rate = uint32_t(state.range(0)), out_rate = 48000, ch = 8;
    AudioFrame in;
    init_audio_frame(&in);
    alloc_audio_frame(&in, AudioSampleFormat_S16LE, ch, in_rate, 0, in_rate);
    fill_s16(&in);
    ArrayAudioFilter pool;
    init_audio_filter_pool(&pool, 4);
    AudioFilter *conv = create_audio_filter_convert(
        {1, ch, AudioSampleFormat_S16LE, 0, in_rate, AudioSampleFormat_F32LE, 1, out_rate, 0});
    audio_filter_pool_add(&pool, conv);
    std::vector<uint64_t> masks(ch);
    for (uint32_t k = 0; k < ch; k++) masks[k] = uint64_t(1) << k;
    masks[0] |= 4;  // one summed channel
    AudioFilter *map = create_audio_filter_mapping({out_rate, out_rate, 1, ch, ch, masks.data()});
    audio_filter_pool_add(&pool, map);
    std::vector<float> gains(ch, -3.0f);
    AudioFilter *gain = create_audio_filter_gain({out_rate, out_rate, ch, gains.data(), 1});
    audio_filter_pool_add(&pool, gain);
    AudioFilter *out = create_audio_filter_convert(
        {1, ch, AudioSampleFormat_F32LE, 1, out_rate, AudioSampleFormat_S24LE, 0, out_rate, 0});
    audio_filter_pool_add(&pool, out);
    conv->inputs[0] = &in;
    map->inputs[0] = conv->output;
    gain->inputs[0] = map->output;
    out->inputs[0] = gain->output;
    for (auto _ : state) {
        in.nb_samples = in_rate;
        audio_filter_process(conv);
        audio_filter_process(map);
        audio_filter_process(gain);
        audio_filter_process(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    free_audio_filter_pool(&pool);
    free_audio_frame(&in);
}
BENCHMARK(BM_Chain8)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

void BM_Loudness(benchmark::State &state) {
    AudioFrame in;
    init_audio_frame(&in);
    alloc_audio_frame(&in, AudioSampleFormat_S16LE, 2, 48000, 0, 48000);
    fill_s16(&in);
    AudioAnalyser *a = create_audio_analyser({1, 2, AudioSampleFormat_S16LE, 0, 48000, 0, 0}, {1, 1, 1, 1, 0});
    for (auto _ : state) audio_analyser_add_frame(a, &in);
    state.SetItemsProcessed(int64_t(state.iterations()));
    free_audio_analyser(a);
    free_audio_frame(&in);
}
BENCHMARK(BM_Loudness)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
