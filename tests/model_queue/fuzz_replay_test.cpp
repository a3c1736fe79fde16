// Replays the inputs kept from fuzzing the queue-file reader (fuzz/inputs/queue_reader/).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/queue_fuzz_body.h"
#include "queue_fixture.h"

namespace {

TEST_F(QueueFiles, FuzzReplayKeptInputs) {
    const std::filesystem::path dir =
        std::filesystem::path(ZELQA_SOURCE_DIR) / "tests/model_queue/fuzz/inputs/queue_reader";
    if (!std::filesystem::exists(dir)) return;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        const std::vector<uint8_t> data = testutil::read_file(entry.path().string());
        testing::internal::CaptureStderr();
        queue_fuzz::queue_reader(data.data(), data.size());
        testing::internal::GetCapturedStderr();
    }
}

}  // namespace
