// Frame copies and graph runs at 1080p: the per-frame costs of the framework itself.
#include <benchmark/benchmark.h>

#include <cstring>

#include "media/video_filter.h"
#include "media/video_frame.h"

namespace {

void BM_CopyRows(benchmark::State &state) {
    // Different line sizes: one memcpy per row.
    VideoFrame *src = video_frame_new(), *dst = video_frame_new();
    video_frame_alloc(src, 1918, 1080, PixFmt_RGBA8, 0);
    video_frame_alloc(dst, 1918, 1080, PixFmt_RGBA8, 1);
    std::memset(src->data[0], 1, src->data_size[0]);
    for (auto _ : state) {
        video_frame_copy(dst, src);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * src->data_size[0]);
    video_frame_destroy(&src);
    video_frame_destroy(&dst);
}
BENCHMARK(BM_CopyRows);

void BM_CopyWholePlanes(benchmark::State &state) {
    VideoFrame *src = video_frame_new(), *dst = video_frame_new();
    video_frame_alloc(src, 1920, 1080, PixFmt_YUV420, 1);
    video_frame_alloc(dst, 1920, 1080, PixFmt_YUV420, 1);
    for (int i = 0; i < 3; ++i) std::memset(src->data[i], 1, src->data_size[i]);
    for (auto _ : state) {
        video_frame_copy(dst, src);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (src->data_size[0] + 2 * src->data_size[1]));
    video_frame_destroy(&src);
    video_frame_destroy(&dst);
}
BENCHMARK(BM_CopyWholePlanes);

struct ViewNode {
    VideoFrame out;
};

void view_process(VideoFilter *f) {
    auto *node = static_cast<ViewNode *>(f->priv_data);
    video_frame_copy_header(&node->out, f->inputs[0]);
    f->output = &node->out;
}

void view_destroy(VideoFilter *f) { delete static_cast<ViewNode *>(f->priv_data); }

void BM_GraphOfFourViews(benchmark::State &state) {
    FilterGraph *graph = filter_graph_create(4, 1);
    for (int i = 0; i < 4; ++i) {
        VideoFilter *f = video_filter_create(VideoFilterType_Pass, 1);
        auto *node = new ViewNode;
        video_frame_init(&node->out);
        f->priv_data = node;
        f->process = view_process;
        f->destroy = view_destroy;
        filter_graph_add_filter(graph, f);
    }
    VideoFrame *in = video_frame_new();
    video_frame_alloc(in, 1920, 1080, PixFmt_RGBA8, 1);
    VideoFrame *inputs[] = {in};
    for (auto _ : state) {
        filter_graph_process(graph, inputs, 1);
        benchmark::DoNotOptimize(graph->output);
    }
    filter_graph_free(graph);
    video_frame_destroy(&in);
}
BENCHMARK(BM_GraphOfFourViews);

void BM_ReallocSameLayout(benchmark::State &state) {
    VideoFrame *f = video_frame_new();
    for (auto _ : state) {
        video_frame_realloc_if_changed(f, 1920, 1080, PixFmt_RGBA8, 1);
        benchmark::DoNotOptimize(f->data[0]);
    }
    video_frame_destroy(&f);
}
BENCHMARK(BM_ReallocSameLayout);

}  // namespace

BENCHMARK_MAIN();
