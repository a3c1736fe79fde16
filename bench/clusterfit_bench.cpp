// DXT1 encoding of a photo: our fast, normal and slow qualities on one thread against
// libsquish's cluster fit (range fit and iterative cluster fit for reference); DXT1 and
// DXT5 at the normal and slow qualities per cluster-fit tier; one block per colour count
// and tier; the 1920x1080 frame of the speed aim. Reports
// megapixels per second and the PSNR of the decoded RGB against the source (all blocks
// decoded by libsquish). libsquish also tries the three-colour mode of DXT1; our fit
// searches the four-colour palette only.
//
//   OMP_NUM_THREADS=1 build/bench/clusterfit_bench
#include <squish.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/core/cpu.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc.h"

namespace {

struct Photo {
    int width = 600, height = 400;
    std::vector<uint8_t> rgba;
};

const Photo &photo() {
    static const Photo p = [] {
        Photo ph;
        const std::string cmd = std::string("ffmpeg -v error -i ") + ZELQA_TESTDATA_DIR +
                                "/photos/coffee.png -frames:v 1 -f rawvideo -pix_fmt rgba -";
        ph.rgba.resize(static_cast<size_t>(ph.width) * ph.height * 4);
        FILE *f = popen(cmd.c_str(), "r");
        const size_t got = f ? fread(ph.rgba.data(), 1, ph.rgba.size(), f) : 0;
        if (f) { pclose(f); }
        if (got != ph.rgba.size()) {
            fprintf(stderr, "cannot read the photo through ffmpeg\n");
            ph.rgba.clear();
        }
        return ph;
    }();
    return p;
}

double psnr_rgb(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    double se = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            const double d = static_cast<double>(a[i + c]) - b[i + c];
            se += d * d;
            ++n;
        }
    }
    return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / se);
}

void report(benchmark::State &state, const Photo &p, const std::vector<uint8_t> &blocks, int format = squish::kDxt1) {
    std::vector<uint8_t> decoded(p.rgba.size());
    squish::DecompressImage(decoded.data(), p.width, p.height, blocks.data(), format);
    state.counters["PSNR"] = psnr_rgb(p.rgba, decoded);
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * p.width * p.height / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_ZelqaDxt1(benchmark::State &state) {
    const Photo &p = photo();
    if (p.rgba.empty()) {
        state.SkipWithError("no photo");
        return;
    }
    DxtEncContext ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.no_alpha = 1;
    const uint8_t quality = static_cast<uint8_t>(state.range(0));
    if (dxtenc_init(&ctx, p.width, p.height, DXTENC_CODEC_DXT1, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 1,
                    0xF8) != 0) {
        state.SkipWithError("dxtenc_init refused the quality");
        return;
    }
    std::vector<uint8_t> blocks(dxtenc_encoded_size(p.width, p.height, DXTENC_CODEC_DXT1, DXTENC_PAD_REPEAT));
    const uint8_t *planes[4] = {p.rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * p.width, 0, 0, 0};
    for (auto _ : state) {
        dxtenc_encode_frame(&ctx, blocks.data(), planes, strides);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks);
}
BENCHMARK(BM_ZelqaDxt1)->ArgName("quality")->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_Squish(benchmark::State &state) {
    const Photo &p = photo();
    if (p.rgba.empty()) {
        state.SkipWithError("no photo");
        return;
    }
    const int flags = static_cast<int>(state.range(0));
    std::vector<uint8_t> blocks(squish::GetStorageRequirements(p.width, p.height, squish::kDxt1));
    for (auto _ : state) {
        squish::CompressImage(p.rgba.data(), p.width, p.height, blocks.data(), squish::kDxt1 | flags);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks);
}
// Flags: the fit (64 range, 32 cluster, 256 iterative cluster); no metric is passed, so
// the channels weigh the same, as in the PSNR.
BENCHMARK(BM_Squish)
    ->ArgName("flags")
    ->Arg(squish::kColourRangeFit)
    ->Arg(squish::kColourClusterFit)
    ->Arg(squish::kColourIterativeClusterFit)
    ->Unit(benchmark::kMillisecond);


// DXT1 and DXT5 at the normal and slow qualities per cluster-fit tier: 0x00 the baseline,
// 0x28 AVX, 0x68 AVX+FMA, 0xF8 what the texture-encode node passes (the AVX2 packer at the
// normal quality; the slow quality clears AVX2).
void BM_ZelqaTier(benchmark::State &state) {
    const Photo &p = photo();
    if (p.rgba.empty()) {
        state.SkipWithError("no photo");
        return;
    }
    const uint32_t codec = static_cast<uint32_t>(state.range(0));
    const uint8_t quality = static_cast<uint8_t>(state.range(1));
    const uint32_t isa = static_cast<uint32_t>(state.range(2));
    DxtEncContext ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.no_alpha = 1;
    if (dxtenc_init(&ctx, p.width, p.height, codec, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 1, isa) != 0) {
        state.SkipWithError("dxtenc_init refused the set-up");
        return;
    }
    std::vector<uint8_t> blocks(dxtenc_encoded_size(p.width, p.height, codec, DXTENC_PAD_REPEAT));
    const uint8_t *planes[4] = {p.rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * p.width, 0, 0, 0};
    for (auto _ : state) {
        dxtenc_encode_frame(&ctx, blocks.data(), planes, strides);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks, codec == DXTENC_CODEC_DXT5 ? squish::kDxt5 : squish::kDxt1);
}
BENCHMARK(BM_ZelqaTier)
    ->ArgNames({"codec", "quality", "isa"})
    ->ArgsProduct({{DXTENC_CODEC_DXT1, DXTENC_CODEC_DXT5}, {2, 3}, {0x00, 0x28, 0x68, 0xF8}})
    ->Unit(benchmark::kMillisecond);

void BM_SquishDxt5(benchmark::State &state) {
    const Photo &p = photo();
    if (p.rgba.empty()) {
        state.SkipWithError("no photo");
        return;
    }
    const int flags = static_cast<int>(state.range(0));
    std::vector<uint8_t> blocks(squish::GetStorageRequirements(p.width, p.height, squish::kDxt5));
    for (auto _ : state) {
        squish::CompressImage(p.rgba.data(), p.width, p.height, blocks.data(), squish::kDxt5 | flags);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks, squish::kDxt5);
}
BENCHMARK(BM_SquishDxt5)->ArgName("flags")->Arg(squish::kColourClusterFit)->Unit(benchmark::kMillisecond);

// The speed aim on a 1920x1080 photograph (coffee.png scaled by the ffmpeg tool): DXT1 at
// the normal and slow qualities per tier on one thread and on every processor, beside
// libsquish's cluster fit (with OMP_NUM_THREADS=1 for its one-thread figure). Tier masks
// as above; threads 1 or 0 (one per processor).
const Photo &frame1080() {
    static const Photo p = [] {
        Photo ph;
        ph.width = 1920;
        ph.height = 1080;
        const std::string cmd = std::string("ffmpeg -v error -nostdin -i ") + ZELQA_TESTDATA_DIR +
                                "/photos/coffee.png -vf scale=1920:1080:flags=lanczos -frames:v 1 -f rawvideo "
                                "-pix_fmt rgba -";
        ph.rgba.resize(static_cast<size_t>(ph.width) * ph.height * 4);
        FILE *f = popen(cmd.c_str(), "r");
        const size_t got = f ? fread(ph.rgba.data(), 1, ph.rgba.size(), f) : 0;
        if (f) { pclose(f); }
        if (got != ph.rgba.size()) {
            fprintf(stderr, "cannot make the 1920x1080 frame through ffmpeg\n");
            ph.rgba.clear();
        }
        return ph;
    }();
    return p;
}

void BM_Frame1080(benchmark::State &state) {
    const Photo &p = frame1080();
    if (p.rgba.empty()) {
        state.SkipWithError("no frame");
        return;
    }
    const uint8_t quality = static_cast<uint8_t>(state.range(0));
    const uint32_t isa = static_cast<uint32_t>(state.range(1));
    const uint32_t threads = static_cast<uint32_t>(state.range(2));
    const CpuFeatures &cpu = cpu_features();
    if (((isa & 0x20) && !cpu.avx) || ((isa & 0x40) && !cpu.fma) || ((isa & 0x80) && !cpu.avx2)) {
        state.SkipWithError("the processor lacks the tier");
        return;
    }
    DxtEncContext ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.no_alpha = 1;
    if (dxtenc_init(&ctx, p.width, p.height, DXTENC_CODEC_DXT1, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT,
                    threads, isa) != 0) {
        state.SkipWithError("dxtenc_init refused the set-up");
        return;
    }
    std::vector<uint8_t> blocks(dxtenc_encoded_size(p.width, p.height, DXTENC_CODEC_DXT1, DXTENC_PAD_REPEAT));
    const uint8_t *planes[4] = {p.rgba.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * p.width, 0, 0, 0};
    for (auto _ : state) {
        dxtenc_encode_frame(&ctx, blocks.data(), planes, strides);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks);
}
// One thread: rates over processor time, so a busy machine skews them less.
BENCHMARK(BM_Frame1080)
    ->ArgNames({"quality", "isa", "threads"})
    ->ArgsProduct({{2, 3}, {0x00, 0x28, 0x68, 0xF8}, {1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame1080)
    ->ArgNames({"quality", "isa", "threads"})
    ->ArgsProduct({{2, 3}, {0x00, 0x28, 0x68, 0xF8}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SquishFrame1080(benchmark::State &state) {
    const Photo &p = frame1080();
    if (p.rgba.empty()) {
        state.SkipWithError("no frame");
        return;
    }
    std::vector<uint8_t> blocks(squish::GetStorageRequirements(p.width, p.height, squish::kDxt1));
    for (auto _ : state) {
        squish::CompressImage(p.rgba.data(), p.width, p.height, blocks.data(),
                              squish::kDxt1 | squish::kColourClusterFit);
        benchmark::DoNotOptimize(blocks.data());
    }
    report(state, p, blocks);
}
// Processor time for the one-thread figure (OMP_NUM_THREADS=1), wall time for all cores.
BENCHMARK(BM_SquishFrame1080)->Name("BM_SquishFrame1080/cpu")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SquishFrame1080)
    ->Name("BM_SquishFrame1080/wall")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// One block of n distinct colours through the cluster fit of a tier (time per block).
void BM_ClusterBlock(benchmark::State &state) {
    const uint32_t n = static_cast<uint32_t>(state.range(0));
    const uint32_t isa = static_cast<uint32_t>(state.range(1));
    DxtEncContext ctx;
    memset(&ctx, 0, sizeof ctx);
    if (dxtenc_init(&ctx, 64, 64, DXTENC_CODEC_DXT1, 3, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 1, isa) != 0) {
        state.SkipWithError("dxtenc_init refused the set-up");
        return;
    }
    // 64 blocks of n distinct colours near a line, with pixel counts summing to 16.
    std::vector<DxtColorSet> sets(64);
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (DxtColorSet &s : sets) {
        memset(&s, 0, sizeof s);
        s.count = n;
        int counts[16];
        for (uint32_t k = 0; k < n; ++k) { counts[k] = 1; }
        for (uint32_t extra = 16 - n; extra > 0; --extra) { ++counts[next() % n]; }
        const float base[3] = {float(next() % 128), float(next() % 128), float(next() % 128)};
        for (uint32_t k = 0; k < n; ++k) {
            const float t = float(next() % 128);
            for (int c = 0; c < 3; ++c) {
                s.colors[k][c] =
                    std::fmin(base[c] + t * (0.5f + 0.25f * float(c)) + float(next() % 5), 255.0f) / 255.0f;
            }
            s.weights[k] = std::sqrt(static_cast<float>(counts[k]));
        }
        for (int px = 0; px < 16; ++px) { s.map[px] = px % static_cast<int>(n); }
    }
    uint8_t out[8];
    size_t i = 0;
    for (auto _ : state) {
        cluster_fit_colors(sets[i++ & 63], out, n, ctx.ops);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_ClusterBlock)
    ->ArgNames({"colours", "isa"})
    ->ArgsProduct({{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {0x00, 0x28, 0x68}});

// One cluster-fit stage per call, baseline (tier 0) against AVX (tier 1; AVX2 for the
// packer), over every block of the photo: gathering of RGBA8, RGB8 and planar 16-bit
// blocks, the axis of 8 and 16 colours, the projection of 16 colours, the packer.
enum Stage { kGatherRgba8, kGatherRgb8, kGatherPlanar16, kAxis8, kAxis16, kProject16, kPack };

void BM_ClusterStage(benchmark::State &state) {
    const Photo &p = photo();
    if (p.rgba.empty()) {
        state.SkipWithError("no photo");
        return;
    }
    const int stage = static_cast<int>(state.range(0));
    const bool fast = state.range(1) != 0;
    const CpuFeatures &cpu = cpu_features();
    if (fast && !(cpu.avx && (stage != kPack || cpu.avx2))) {
        state.SkipWithError("the processor lacks the tier");
        return;
    }
    // The photo's blocks in raster order, in the three layouts.
    const int kBlocks = (p.width / 4) * (p.height / 4);
    std::vector<uint8_t> rgba(kBlocks * 64), rgb(kBlocks * 48), planar(kBlocks * 96);
    std::vector<DxtColorSet> sets(kBlocks);
    for (int b = 0; b < kBlocks; ++b) {
        for (int k = 0; k < 16; ++k) {
            const int x = b % (p.width / 4) * 4 + k % 4, y = b / (p.width / 4) * 4 + k / 4;
            const uint8_t *px = &p.rgba[(static_cast<size_t>(y) * p.width + x) * 4];
            for (int c = 0; c < 4; ++c) { rgba[b * 64 + k * 4 + c] = px[c]; }
            for (int c = 0; c < 3; ++c) {
                rgb[b * 48 + k * 3 + c] = px[c];
                planar[b * 96 + c * 32 + 2 * k] = 0x5A;
                planar[b * 96 + c * 32 + 2 * k + 1] = px[c];
            }
        }
        DxtColorSet &s = sets[b];
        memset(&s, 0, sizeof s);
        to_unique_colors_rgba8_sse41(s.colors, &s.count, s.map, &rgba[b * 64], nullptr, nullptr, 16, 0, 0);
        for (uint64_t i = 0; i < s.count; ++i) { s.weights[i] = std::sqrt(static_cast<float>(s.pixel_counts[i])); }
    }
    alignas(32) float axis[4] = {1.0f, 0.5f, 0.25f, 0.0f}, proj[16];
    ClusterBest best;
    memset(&best, 0, sizeof best);
    uint8_t out[8], indices[16];
    for (int k = 0; k < 16; ++k) { indices[k] = static_cast<uint8_t>(k * 7 % 4); }
    const DxtToUniqueColorsFn gather[3][2] = {{to_unique_colors_rgba8_sse41, to_unique_colors_rgba8_avx},
                                              {to_unique_colors_rgb8_sse41, to_unique_colors_rgb8_avx},
                                              {to_unique_colors_planar16_sse41, to_unique_colors_planar16_avx}};
    const DxtClusterAxisFn axis_fn[2][2] = {{cluster_axis_count08_sse41, cluster_axis_count08_avx},
                                            {cluster_axis_count16_sse41, cluster_axis_count16_avx}};
    const DxtClusterProjectFn project_fn[2] = {cluster_project_count16_sse41, cluster_project_count16_avx};
    const DxtPackBlockFn pack_fn[2] = {dxt_pack_block_sse41, dxt_pack_block_avx2};
    DxtColorSet g;
    size_t i = 0;
    for (auto _ : state) {
        const int b = static_cast<int>(i++ % static_cast<size_t>(kBlocks));
        switch (stage) {
        case kGatherRgba8: gather[0][fast](g.colors, &g.count, g.map, &rgba[b * 64], nullptr, nullptr, 16, 0, 0); break;
        case kGatherRgb8: gather[1][fast](g.colors, &g.count, g.map, &rgb[b * 48], nullptr, nullptr, 12, 0, 0); break;
        case kGatherPlanar16: {
            const uint8_t *q = &planar[b * 96];
            gather[2][fast](g.colors, &g.count, g.map, q, q + 32, q + 64, 8, 8, 8);
            break;
        }
        case kAxis8: axis_fn[0][fast](axis, sets[b].colors, sets[b].weights); break;
        case kAxis16: axis_fn[1][fast](axis, sets[b].colors, sets[b].weights); break;
        case kProject16: project_fn[fast](proj, sets[b].colors, axis); break;
        default:
            best.start[0] = static_cast<float>(b % 32) / 31.0f;
            pack_fn[fast](&best, indices, out);
            break;
        }
        benchmark::DoNotOptimize(g);
        benchmark::DoNotOptimize(axis);
        benchmark::DoNotOptimize(proj);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_ClusterStage)
    ->ArgNames({"stage", "avx"})
    ->ArgsProduct({{kGatherRgba8, kGatherRgb8, kGatherPlanar16, kAxis8, kAxis16, kProject16, kPack}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
