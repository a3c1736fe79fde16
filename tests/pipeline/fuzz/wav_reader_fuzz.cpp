// libFuzzer target for the WAV and RF64 reader: header walk, then sample reads at both ends.
// Not part of the gcc build; built by hand with clang from the repository root:
//   clang++ -std=c++20 -O1 -g -I. -Itests -fsanitize=fuzzer,address,undefined tests/pipeline/fuzz/wav_reader_fuzz.cpp
//     pipeline/audio/wav_reader.cpp container/mov/mov_reader*.cpp platform/core/*.cpp -o wav_reader_fuzz -lpthread
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pipeline/audio/wav_reader.h"
#include "platform/core/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = [] {
        const char *dir = getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/zelqa_wav_fuzz_" + std::to_string(getpid()) + ".wav";
    }();
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    WavReader r;
    wav_reader_init(&r);
    try {
        wav_reader_open(&r, path.c_str());
        (void)wav_reader_get_format(&r);
        if (r.bytes_per_sample_instant <= 1024) {
            std::vector<uint8_t> buf(r.bytes_per_sample_instant * 64);
            wav_reader_read_samples_locked(&r, buf.data(), 0, 64);
            if (r.nb_samples > 10) wav_reader_read_samples(&r, buf.data(), r.nb_samples - 10, 64);
        }
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
    wav_reader_free(&r);
    return 0;
}
