// Frames per second of the scale node (items_per_second): one node on one thread, and one
// node per core converting at the same time (nodes are single-threaded by design).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "media/scale/scale_filter.h"
#include "media/video_filter.h"
#include "media/video_frame.h"
#include "platform/core/cpu.h"
#include "platform/core/dispatch.h"

namespace {

struct Job {
    const char *name;
    PixFmt src;
    uint32_t sw, sh;
    PixFmt dst;
    uint32_t dw, dh;
    uint32_t quality;
    uint8_t use_swscale;
};

const Job kJobs[] = {
    {"1080p yuv420p -> rgba8, libswscale", PixFmt_YUV420, 1920, 1080, PixFmt_RGBA8, 1920, 1080, 1, 1},
    {"1080p yuv420p -> rgba8, zimg", PixFmt_YUV420, 1920, 1080, PixFmt_RGBA8, 1920, 1080, 1, 0},
    {"2160p rgba8 -> 1080p, bilinear (half-size kernel)", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 1, 1},
    {"2160p rgba8 -> 1080p, bicubic, libswscale", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 2, 1},
    {"2160p rgba8 -> 1080p, bicubic, zimg", PixFmt_RGBA8, 3840, 2160, PixFmt_RGBA8, 1920, 1080, 2, 0},
};

struct Worker {
    VideoFilter *node = nullptr;
    VideoFrame *input = nullptr;
};

Worker make_worker(const Job &j) {
    ScaleFilterParams p{};
    p.src_pix_fmt = j.src;
    p.src_w = j.sw;
    p.src_h = j.sh;
    p.dst_pix_fmt = j.dst;
    p.dst_w = j.dw;
    p.dst_h = j.dh;
    p.src_range = 0;
    p.dst_range = 1;
    p.src_matrix = p.dst_matrix = 3;
    p.src_alpha_mode = p.dst_alpha_mode = 1;
    p.quality = j.quality;
    p.use_swscale = j.use_swscale;
    p.allow_avx2 = 1;
    Worker w;
    w.node = create_filter_scale(&p);
    w.input = video_frame_new();
    video_frame_alloc(w.input, j.sw, j.sh, j.src, 1);
    for (uint32_t i = 0; i < w.input->nb_planes; ++i)
        for (uint32_t b = 0; b < w.input->alloc_size[i]; ++b) w.input->data[i][b] = uint8_t(b * 7 + i);
    w.node->inputs[0] = w.input;
    return w;
}

void free_worker(Worker &w) {
    video_filter_free(w.node);
    video_frame_destroy(&w.input);
}

void BM_Scale(benchmark::State &state) {
    const Job &job = kJobs[state.range(0)];
    const bool all_cores = state.range(1) != 0;
    const size_t n = all_cores ? cpu_count_available() : 1;
    std::vector<Worker> workers;
    for (size_t i = 0; i < n; ++i) workers.push_back(make_worker(job));
    for (auto _ : state) {
        if (n == 1) {
            workers[0].node->process(workers[0].node);
        } else {
            dispatch_apply(n, [&](size_t i) { workers[i].node->process(workers[i].node); });
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
    state.SetLabel(std::string(job.name) + (all_cores ? ", one node per core" : ", one thread"));
    for (Worker &w : workers) free_worker(w);
}
BENCHMARK(BM_Scale)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
