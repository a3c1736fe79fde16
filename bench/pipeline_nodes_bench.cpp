// Frames per second (items_per_second) of the background merge and YCoCg-to-RGB nodes at
// 1080p and 2160p, rows on one slice (the calling thread) and sliced over the physical cores.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "media/video_filter.h"
#include "media/video_frame.h"
#include "pipeline/filters/bg_merge_filter.h"
#include "pipeline/filters/ycocg_filter.h"

namespace {

const uint32_t kSizes[][2] = {{1920, 1080}, {3840, 2160}};

VideoFrame *noisy_frame(uint32_t w, uint32_t h, PixFmt fmt) {
    VideoFrame *f = video_frame_new();
    video_frame_alloc(f, w, h, fmt, 1);
    for (uint32_t i = 0; i < f->nb_planes; ++i)
        for (uint32_t b = 0; b < f->alloc_size[i]; ++b) f->data[i][b] = uint8_t(b * 7 + i * 13 + (b >> 9));
    return f;
}

void run_node(benchmark::State &state, VideoFilter *node, VideoFrame *in, const std::string &label) {
    node->inputs[0] = in;
    for (auto _ : state) {
        node->process(node);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel(label);
    video_filter_free(node);
    video_frame_destroy(&in);
}

// Straight RGBA8 over the checkerboard and over white, opacity 1, not in place.
void BM_BgMerge(benchmark::State &state) {
    const uint32_t *size = kSizes[state.range(0)];
    const bool sliced = state.range(1) != 0;
    const uint32_t background = state.range(2) ? BgMerge_Checkerboard : BgMerge_White;
    BgMergeParams p{};
    p.src_pix_fmt = PixFmt_RGBA8;
    p.width = size[0];
    p.height = size[1];
    p.opacity = 1.0f;
    p.alpha_mode = 1;
    p.background = background;
    p.sliced = sliced;
    p.allow_avx2 = 1;
    run_node(state, create_filter_bg_merge(p), noisy_frame(size[0], size[1], PixFmt_RGBA8),
             std::to_string(size[1]) + "p rgba8 over " + (state.range(2) ? "checkerboard" : "white") +
                 (sliced ? ", sliced" : ", one slice"));
}
BENCHMARK(BM_BgMerge)->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_YCoCgToRgb(benchmark::State &state) {
    const uint32_t *size = kSizes[state.range(0)];
    const bool sliced = state.range(1) != 0;
    const PixFmt fmt = state.range(2) ? PixFmt_YUVA420 : PixFmt_YUV420;
    run_node(state, create_filter_ycocg_to_rgb({uint32_t(fmt), size[0], size[1], uint8_t(sliced)}),
             noisy_frame(size[0], size[1], fmt),
             std::to_string(size[1]) + "p " + get_pix_fmt_name(fmt) + (sliced ? ", sliced" : ", one slice"));
}
BENCHMARK(BM_YCoCgToRgb)->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
