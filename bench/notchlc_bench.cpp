// Notch LC decoding of a 1920x1080 frame, one slice and over the cores, to 12-bit planes
// and to packed RGBA; run by hand.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

#include "container/mov/notchlc_decode.h"
#include "container/mov/notchlc_sample.h"

namespace {

void decode(benchmark::State &state, PixFmt fmt, uint8_t slices) {
    const uint32_t w = 1920, h = 1080;
    auto sample = notchlc_sample::sample_of(notchlc_sample::payload_of(notchlc_sample::random_picture(w, h, true, 5)));
    sample.resize(sample.size() + 64);
    NotchLcDecodeParams p{fmt, w, h, slices};
    VideoFilter *f = create_filter_notchlc_decode(&p);
    VideoFrame *in = video_frame_new();
    video_frame_set_compressed_data(in, sample.data(), uint32_t(sample.size() - 64), VideoFrameNotchLcData);
    f->inputs[0] = in;
    // The RGB path prints a line per frame; keep the benchmark output readable.
    fflush(stdout);
    const int saved = dup(1);
    FILE *null = fopen("/dev/null", "w");
    if (null) dup2(fileno(null), 1);
    for (auto _ : state) notchlc_decode_process(f);
    fflush(stdout);
    if (saved >= 0) dup2(saved, 1), close(saved);
    if (null) fclose(null);
    state.SetItemsProcessed(state.iterations());
    state.counters["MPix/s"] =
        benchmark::Counter(double(w) * h * state.iterations() / 1e6, benchmark::Counter::kIsRate);
    video_filter_free(f);
    video_frame_destroy(&in);
}

}  // namespace

BENCHMARK_CAPTURE(decode, yuva12_one_slice, PixFmt_YUVA444_12, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(decode, yuva12_cores, PixFmt_YUVA444_12, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(decode, rgba8_one_slice, PixFmt_RGBA8, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(decode, rgba8_cores, PixFmt_RGBA8, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
