// MOV writer throughput: 1080p HAP frames with PCM audio, written to a file
// under TMPDIR and closed (index and movie atom included). Reports MB/s of file data.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "container/mov/mov_writer_hl/mov_writer.h"

namespace {

std::string temp_path() {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/movwriter_bench_" + std::to_string(getpid()) + ".mov";
}

// An uncompressed HAP frame of the codec's block size (8 or 16 bytes per 4x4 block).
std::vector<uint8_t> hap_frame(uint32_t block_bytes, uint8_t type) {
    const uint32_t size = 1920 / 4 * (1080 / 4) * block_bytes;
    std::vector<uint8_t> f(4 + size);
    f[0] = uint8_t(size), f[1] = uint8_t(size >> 8), f[2] = uint8_t(size >> 16), f[3] = type;
    std::mt19937 rng(1);
    for (size_t i = 4; i < f.size(); i++) f[i] = uint8_t(rng());
    return f;
}

// args: codec (0 Hap1, 1 HapY), audio tracks (stereo 24-bit 48 kHz each)
void BM_WriteMov1080p(benchmark::State &state) {
    const bool q = state.range(0) == 1;
    const uint32_t tracks = uint32_t(state.range(1));
    const auto frame = q ? hap_frame(16, 0xAF) : hap_frame(8, 0xAB);
    const int frames = 120;       // 5 s at 24/1
    const uint32_t block = 2000;  // sample frames per audio call, as an audio pass would hand them
    std::vector<uint8_t> pcm(size_t(block) * 2 * 3, 0x11);
    const std::string path = temp_path();
    uint64_t bytes = 0;
    for (auto _ : state) {
        Mov_Writer_Video w(path.c_str(), 1920, 1080, 24, {24, 1}, 1.0f, q ? "HapY" : "Hap1", 0, true, 0, false);
        if (tracks) w.set_audio_tracks(tracks, 48000, 24, 2, false, 0);
        for (int i = 0; i < frames; i++) w.write_video_frame(frame.data(), uint32_t(frame.size()));
        const uint64_t samples = 48000ull * frames / 24;
        for (uint32_t t = 0; t < tracks; t++)
            for (uint64_t done = 0; done < samples; done += block) w.write_audio_samples(pcm.data(), block, t);
        w.close();
        bytes += uint64_t(frames) * frame.size() + uint64_t(tracks) * samples * 6;
        state.PauseTiming();
        unlink(path.c_str());  // the writer never replaces a file
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["MB/s"] = benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_WriteMov1080p)
    ->ArgNames({"hapq", "tracks"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({1, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
