// HAP frame packing and unpacking speed at 1920x1080, in frames per second, with 1 and
// 8 chunks. Textures come from the ffmpeg tool's HAP encoder (a photograph scaled to
// 1080p, and testsrc2), unpacked once; packing uses snappy like the engine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "container/hap/hap.h"
#include "container/hap/hap_frame.h"

namespace {

struct Texture {
    std::vector<uint8_t> bytes;
    HapTextureFormat format = 0;
};

Texture load(const std::string &input, const char *hap_format) {
    const std::string cmd = "ffmpeg -v error -nostdin " + input +
                            " -vf scale=1920:1080,format=rgba -frames:v 1 -c:v hap -format " + hap_format +
                            " -chunks 1 -f rawvideo - 2>/dev/null";
    std::vector<uint8_t> frame;
    if (FILE *f = popen(cmd.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof(buf), f)) > 0) frame.insert(frame.end(), buf, buf + n);
        pclose(f);
    }
    Texture t;
    t.bytes.resize(1920 * 1080);  // DXT5 size; DXT1 uses half
    uint64_t used = 0;
    if (hap_decode(frame.data(), uint32_t(frame.size()), 0, hap_chunk_work_serial, nullptr, t.bytes.data(),
                   t.bytes.size(), &used, &t.format) != HapResult_No_Error)
        t.bytes.clear();
    t.bytes.resize(used);
    return t;
}

const Texture &texture(int which) {
    static const Texture textures[4] = {
        load("-i " ZELQA_TESTDATA_DIR "/photos/coffee.png", "hap"),
        load("-i " ZELQA_TESTDATA_DIR "/photos/coffee.png", "hap_q"),
        load("-f lavfi -i testsrc2=size=1920x1080", "hap"),
        load("-f lavfi -i testsrc2=size=1920x1080", "hap_q"),
    };
    return textures[which];
}

const char *kNames[4] = {"photo HAP", "photo HAP Q", "testsrc2 HAP", "testsrc2 HAP Q"};

std::vector<uint8_t> pack(const Texture &t, uint32_t chunks, uint64_t *used) {
    const uint64_t len = t.bytes.size();
    std::vector<uint8_t> out(hap_max_encoded_length(1, &len, &t.format, &chunks));
    const void *buf = t.bytes.data();
    const uint32_t comp = HapCompressorSnappy;
    if (hap_encode(1, &buf, &len, &t.format, &comp, &chunks, out.data(), out.size(), used) != HapResult_No_Error)
        out.clear();
    return out;
}

void BM_Pack(benchmark::State &state) {
    const Texture &t = texture(int(state.range(0)));
    const uint32_t chunks = uint32_t(state.range(1));
    if (t.bytes.empty()) return state.SkipWithError("ffmpeg could not make the texture");
    const uint64_t len = t.bytes.size();
    std::vector<uint8_t> out(hap_max_encoded_length(1, &len, &t.format, &chunks));
    const void *buf = t.bytes.data();
    const uint32_t comp = HapCompressorSnappy;
    uint64_t used = 0;
    for (auto _ : state) {
        hap_encode(1, &buf, &len, &t.format, &comp, &chunks, out.data(), out.size(), &used);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(std::string(kNames[state.range(0)]) + ", ratio " + std::to_string(double(used) / len));
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Unpack(benchmark::State &state) {
    const Texture &t = texture(int(state.range(0)));
    const uint32_t chunks = uint32_t(state.range(1));
    const bool parallel = state.range(2) != 0;
    if (t.bytes.empty()) return state.SkipWithError("ffmpeg could not make the texture");
    uint64_t used = 0;
    const std::vector<uint8_t> frame = pack(t, chunks, &used);
    std::vector<uint8_t> out(t.bytes.size());
    for (auto _ : state) {
        uint64_t n = 0;
        HapTextureFormat f;
        hap_decode(frame.data(), uint32_t(used), 0, parallel ? hap_chunk_work_parallel : hap_chunk_work_serial, nullptr,
                   out.data(), out.size(), &n, &f);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(std::string(kNames[state.range(0)]) + (parallel ? ", parallel" : ", serial"));
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Pack)->ArgsProduct({{0, 1, 2, 3}, {1, 8}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Unpack)->ArgsProduct({{0, 1, 2, 3}, {1, 8}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
