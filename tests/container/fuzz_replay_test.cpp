// Replays the inputs kept from the fuzz targets of the HAP frames, the Notch LC decoder
// and the BC7 decoder (tests/container/fuzz/inputs/TARGET/) through the same code the
// targets run: each input must be decoded or refused without a fault, which the
// sanitizer build of ./test.sh checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "container/fuzz/bc7_target.h"
#include "container/fuzz/hap_frame_target.h"
#include "container/fuzz/notchlc_target.h"

namespace {

std::vector<uint8_t> read_all(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FuzzReplay, KeptInputsOfEveryTarget) {
    struct Target {
        const char *name;
        bool (*run)(const uint8_t *, size_t);
    } const targets[] = {
        {"hap_frame",
         [](const uint8_t *d, size_t n) {
             fuzz_target::run_hap_frame(d, n);
             return true;
         }},
        {"notchlc",
         [](const uint8_t *d, size_t n) {
             fuzz_target::run_notchlc(d, n);
             return true;
         }},
        {"bc7", fuzz_target::run_bc7},
    };
    for (const Target &t : targets) {
        SCOPED_TRACE(t.name);
        const auto dir = std::filesystem::path(ZELQA_SOURCE_DIR) / "tests/container/fuzz/inputs" / t.name;
        ASSERT_TRUE(std::filesystem::is_directory(dir));
        size_t count = 0;
        for (const auto &entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            SCOPED_TRACE(entry.path().string());
            const std::vector<uint8_t> bytes = read_all(entry.path());
            ASSERT_EQ(bytes.size(), entry.file_size());
            EXPECT_TRUE(t.run(bytes.data(), bytes.size()));
            count++;
        }
        EXPECT_GT(count, 0u);
    }
}

}  // namespace
