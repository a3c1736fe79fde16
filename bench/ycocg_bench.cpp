// HAP Q texture encoding (codecs 4 and 5) of one 1920x1080 photographic frame, at every
// quality and tier, on one thread, side by side with FFmpeg's own HAP Q encoder
// (`ffmpeg -c:v hap -format hap_q -compressor none -threads 1`) on the same frame.
// Counters: frames per second (fps), megapixels per second, and the RGB PSNR after
// decoding (ours with the independent decoder of the tests, FFmpeg's with ffmpeg).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "texenc/dxtenc.h"
#include "texenc/ycocg_test_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kW = 1920, kH = 1080;

std::string run(const std::string &cmd) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

std::string temp_dir() {
    const char *d = std::getenv("TMPDIR");
    const std::string dir = std::string(d && *d ? d : "/tmp") + "/ycocg_bench_" + std::to_string(getpid());
    run("mkdir -p '" + dir + "'");
    return dir;
}

// The photo scaled to 1080p, RGBA, with a diagonal alpha ramp for codec 5.
const Bytes &frame() {
    static const Bytes f = [] {
        const std::string photo = std::string(ZELQA_TESTDATA_DIR) + "/photos/coffee.png";
        const std::string s = run("ffmpeg -v error -nostdin -i '" + photo + "' -vf scale=" + std::to_string(kW) + ":" +
                                  std::to_string(kH) + " -frames:v 1 -f rawvideo -pix_fmt rgba -");
        Bytes b(s.begin(), s.end());
        if (b.size() != size_t(kW) * kH * 4) {
            fprintf(stderr, "cannot read the test photo with ffmpeg\n");
            std::exit(1);
        }
        for (uint32_t y = 0; y < kH; y++)
            for (uint32_t x = 0; x < kW; x++) b[(size_t(y) * kW + x) * 4 + 3] = uint8_t((x + y) * 255 / (kW + kH));
        return b;
    }();
    return f;
}

double psnr_rgb(const Bytes &a, const Bytes &b) {
    double se = 0;
    size_t n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        for (int c = 0; c < 3; c++, n++) {
            const double d = double(a[i + c]) - double(b[i + c]);
            se += d * d;
        }
    if (se == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(n) / se);
}

// args: codec (4, 5), quality (1..3), isa mask (0 baseline, 0x28 AVX, 0xF8 every tier)
void BM_HapQ(benchmark::State &state) {
    const uint32_t codec = uint32_t(state.range(0));
    const int quality = int(state.range(1));
    const uint32_t isa = uint32_t(state.range(2));
    const Bytes &src = frame();
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    if (dxtenc_init(&ctx, kW, kH, codec, uint8_t(quality), 1, DXTENC_PIX_RGBA8, 0, 1, isa) != 0) {
        state.SkipWithError("set-up refused");
        return;
    }
    Bytes out(dxtenc_encoded_size(kW, kH, codec, 0));
    const uint8_t *planes[4] = {src.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {int64_t(kW) * 4, 0, 0, 0};
    for (auto _ : state) {
        dxtenc_encode_frame(&ctx, out.data(), planes, strides);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MPix/s"] =
        benchmark::Counter(double(state.iterations()) * kW * kH / 1e6, benchmark::Counter::kIsRate);
    state.counters["PSNR_dB"] = psnr_rgb(src, ycocg_test::decode_ycocg(out.data(), kW, kH));
}

// FFmpeg's HAP Q encoder on the same frame. A run of 1 and a run of 11 frames are timed
// and subtracted, so process start-up and file output do not count.
void BM_FfmpegHapQ(benchmark::State &state) {
    const Bytes &src = frame();
    const std::string dir = temp_dir();
    const std::string raw = dir + "/frame.raw", mov = dir + "/hapq.mov";
    {
        FILE *f = fopen(raw.c_str(), "wb");
        if (!f || fwrite(src.data(), 1, src.size(), f) != src.size()) {
            state.SkipWithError("cannot write the frame");
            if (f) fclose(f);
            return;
        }
        fclose(f);
    }
    auto encode = [&](int frames) {
        const std::string cmd = "ffmpeg -v error -nostdin -y -f rawvideo -pix_fmt rgba -s " + std::to_string(kW) + "x" +
                                std::to_string(kH) + " -stream_loop " + std::to_string(frames - 1) + " -i '" + raw +
                                "' -frames:v " + std::to_string(frames) +
                                " -c:v hap -format hap_q -compressor none -threads 1 '" + mov + "'";
        const auto t0 = std::chrono::steady_clock::now();
        run(cmd);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    double per_frame = 0;
    for (auto _ : state) {
        const double t1 = encode(1), t11 = encode(11);
        per_frame = (t11 - t1) / 10.0;
        state.SetIterationTime(per_frame > 0 ? per_frame : 1e-9);
    }
    const std::string dec = run("ffmpeg -v error -nostdin -i '" + mov + "' -frames:v 1 -f rawvideo -pix_fmt rgba -");
    state.counters["fps"] = per_frame > 0 ? 1.0 / per_frame : 0.0;
    state.counters["MPix/s"] = per_frame > 0 ? kW * kH / 1e6 / per_frame : 0.0;
    state.counters["PSNR_dB"] = psnr_rgb(src, Bytes(dec.begin(), dec.end()));
    run("rm -rf '" + dir + "'");
}

void hapq_args(benchmark::internal::Benchmark *b) {
    for (int codec : {4, 5})
        for (int q : {1, 2, 3})
            for (int isa : {0x00, 0x28, 0xF8}) b->Args({codec, q, isa});
}

}  // namespace

BENCHMARK(BM_HapQ)->Apply(hapq_args)->ArgNames({"codec", "quality", "isa"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegHapQ)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
