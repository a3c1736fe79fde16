// BC7 encoder speed (megapixels per second) and quality (RGB PSNR after decoding) at the
// three qualities, on one thread and on every core. Pictures come from the ffmpeg tool:
// testsrc2 at 1280x720 and a photograph (coffee.png, 600x400).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "platform/core/cpu.h"
#include "platform/core/dispatch.h"
#include "texenc/bc7enc/bc7enc.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

Picture load(const std::string &input, int width, int height) {
    Picture p;
    const std::string cmd =
        "ffmpeg -v error -nostdin " + input + " -frames:v 1 -f rawvideo -pix_fmt rgba - 2>/dev/null";
    FILE *f = popen(cmd.c_str(), "r");
    if (!f) return p;
    p.rgba.resize(size_t(width) * height * 4);
    const size_t got = fread(p.rgba.data(), 1, p.rgba.size(), f);
    pclose(f);
    if (got != p.rgba.size()) p.rgba.clear();
    p.width = width;
    p.height = height;
    return p;
}

const Picture &picture(int which) {
    static const Picture pics[2] = {
        load("-f lavfi -i testsrc2=size=1280x720", 1280, 720),
        load("-i " ZELQA_TESTDATA_DIR "/photos/coffee.png", 600, 400),
    };
    return pics[which];
}

constexpr uint32_t kLevel[3] = {0, 1, 4}, kLimit[3] = {4, 16, 64};

// Encodes one row of blocks.
void encode_row(const Picture &pic, int by, int q, uint8_t *out) {
    for (int bx = 0; bx < pic.width / 4; bx++) {
        uint8_t px[16][4];
        for (int y = 0; y < 4; y++)
            std::memcpy(px[4 * y], &pic.rgba[4 * (size_t(4 * by + y) * pic.width + 4 * bx)], 16);
        bc7enc_encode_pixels(out + 16 * bx, px, kLevel[q], kLimit[q]);
    }
}

double psnr_rgb(const Picture &pic, const std::vector<uint8_t> &blocks) {
    const int bw = pic.width / 4;
    double se = 0;
    for (size_t k = 0; k < blocks.size() / 16; k++) {
        uint8_t px[64];
        unpack_bc7(&blocks[16 * k], px);
        const int bx = int(k % bw), by = int(k / bw);
        for (int i = 0; i < 16; i++)
            for (int c = 0; c < 3; c++) {
                const double d =
                    double(px[4 * i + c]) - pic.rgba[4 * (size_t(4 * by + i / 4) * pic.width + 4 * bx + i % 4) + c];
                se += d * d;
            }
    }
    const double mse = se / (double(pic.width) * pic.height * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Arguments: picture (0 testsrc2, 1 photo), quality index (0..2), threads (1 or 0 = all cores).
void BM_bc7_encode(benchmark::State &state) {
    const Picture &pic = picture(int(state.range(0)));
    if (pic.rgba.empty()) {
        state.SkipWithError("ffmpeg could not make the picture");
        return;
    }
    const int q = int(state.range(1));
    const bool all_cores = state.range(2) == 0;
    bc7enc_build_tables();
    const int rows = pic.height / 4;
    const size_t row_bytes = size_t(pic.width / 4) * 16;
    std::vector<uint8_t> blocks(row_bytes * rows);
    for (auto _ : state) {
        if (all_cores)
            dispatch_apply(size_t(rows), [&](size_t r) { encode_row(pic, int(r), q, &blocks[row_bytes * r]); });
        else
            for (int r = 0; r < rows; r++) encode_row(pic, r, q, &blocks[row_bytes * r]);
        benchmark::DoNotOptimize(blocks.data());
    }
    const double pixels = double(pic.width) * pic.height;
    state.counters["MP/s"] =
        benchmark::Counter(pixels * 1e-6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["PSNR_dB"] = psnr_rgb(pic, blocks);
    state.counters["threads"] = all_cores ? double(cpu_count_available()) : 1.0;
}

BENCHMARK(BM_bc7_encode)
    ->ArgNames({"picture", "quality", "threads"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
