// Rows per second of the row kernels at 1920 and 3840 pixels, plain and AVX2 tiers.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "media/kernels/row_kernels.h"
#include "platform/core/cpu.h"

namespace {

constexpr uint32_t kRows = 32;

// Four planes of 16 bytes per pixel, so any layout fits.
struct Buffers {
    std::vector<uint8_t> buf[4];
    uint8_t *p[4];
    int64_t stride[4];
    explicit Buffers(uint32_t width, bool floats) {
        std::mt19937 rng(7);
        for (int k = 0; k < 4; ++k) {
            stride[k] = 16 * static_cast<int64_t>(width) + 64;
            buf[k].resize(stride[k] * kRows + 64);
            for (size_t i = 0; i + 4 <= buf[k].size(); i += 4) {
                if (floats) {
                    const float f = static_cast<float>(rng() % 1000) / 999.0f;
                    std::memcpy(&buf[k][i], &f, 4);
                } else {
                    const uint32_t v = rng();
                    std::memcpy(&buf[k][i], &v, 4);
                }
            }
            p[k] = buf[k].data();
        }
    }
};

bool is_float_source(const std::string &name) { return name.find("32f_to") != std::string::npos; }

void run_row(benchmark::State &state, RowKernel fn, bool floats, uint32_t width) {
    Buffers src(width, floats), dst(width, false);
    const uint8_t *s[4] = {src.p[0], src.p[1], src.p[2], src.p[3]};
    for (auto _ : state) {
        fn(dst.p, s, dst.stride, src.stride, width, kRows);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void run_plane(benchmark::State &state, PlaneKernel fn, bool floats, uint32_t width) {
    Buffers src(width, floats), dst(width, false);
    for (auto _ : state) {
        fn(dst.p[0], src.p[0], dst.stride[0], src.stride[0], width, kRows);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Kernels with no AVX2 member that the scale node uses often.
struct Plain {
    const char *name;
    RowKernel fn;
} const kPlainOnly[] = {
    {"conv_v210_to_planar_yuv422_10", conv_v210_to_planar_yuv422_10_c},
    {"conv_planar_yuv422_to_uyvy", conv_planar_yuv422_to_uyvy_c},
    {"conv_rgba8_to_planar_rgba8", conv_rgba8_to_planar_rgba8_c},
    {"conv_planar_rgba8_to_rgba8", conv_planar_rgba8_to_rgba8_c},
    {"conv_rgba8_to_bgr8", conv_rgba8_to_bgr8_c},
    {"premult_rgba16_to_rgba16", premult_rgba16_to_rgba16_c},
};

int register_all() {
    const CpuFeatures &f = cpu_features();
    for (uint32_t width : {1920u, 3840u}) {
        const std::string w = "/" + std::to_string(width);
        for (unsigned i = 0; i < kRowKernelTwinCount; ++i) {
            const RowKernelTwin &t = kRowKernelTwins[i];
            const bool floats = is_float_source(t.name);
            benchmark::RegisterBenchmark((std::string(t.name) + "_c" + w).c_str(), run_row, t.plain, floats, width);
            if (f.avx2 && (!t.needs_fma || f.fma))
                benchmark::RegisterBenchmark((std::string(t.name) + "_avx2" + w).c_str(), run_row, t.avx2, floats,
                                             width);
        }
        for (unsigned i = 0; i < kPlaneKernelTwinCount; ++i) {
            const PlaneKernelTwin &t = kPlaneKernelTwins[i];
            const bool floats = is_float_source(t.name);
            benchmark::RegisterBenchmark((std::string(t.name) + "_c" + w).c_str(), run_plane, t.plain, floats, width);
            if (f.avx2 && (!t.needs_fma || f.fma))
                benchmark::RegisterBenchmark((std::string(t.name) + "_avx2" + w).c_str(), run_plane, t.avx2, floats,
                                             width);
        }
        for (const Plain &p : kPlainOnly)
            benchmark::RegisterBenchmark((std::string(p.name) + "_c" + w).c_str(), run_row, p.fn, false, width);
    }
    return 0;
}

const int registered = register_all();

}  // namespace

BENCHMARK_MAIN();
