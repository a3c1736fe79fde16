#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/errors.h"
#include "platform/core/file_io.h"
#include "testutil/testutil.h"

namespace {

struct Outcome {
    std::string thrown;  // empty when nothing was thrown
    std::string printed;
};

Outcome run(const std::function<void()> &fn) {
    Outcome o;
    testing::internal::CaptureStdout();
    try {
        fn();
    } catch (const ProcessError &e) { o.thrown = e.what(); }
    fflush(stdout);
    o.printed = testing::internal::GetCapturedStdout();
    return o;
}

// Both ends of a pipe as streams: a pipe cannot seek or tell.
struct Pipe {
    FILE *read_end = nullptr, *write_end = nullptr;
    Pipe() {
        int fds[2];
        if (pipe(fds) == 0) {
            read_end = fdopen(fds[0], "rb");
            write_end = fdopen(fds[1], "wb");
        }
    }
    ~Pipe() {
        if (read_end) fclose(read_end);
        if (write_end) fclose(write_end);
    }
};

}  // namespace

TEST(FileIo, WritesAndReadsBackAtOffsets) {
    testutil::TempDir dir;
    FILE *f = fopen(dir.file("a.bin").c_str(), "w+b");
    ASSERT_TRUE(f);
    const uint8_t bytes[7] = {1, 2, 3, 4, 5, 6, 7};
    file_write_checked(f, bytes, sizeof(bytes));
    EXPECT_EQ(file_tell(f), 7u);
    file_seek_from_start(f, 2);
    file_write_checked(f, bytes, 2);
    file_seek_to_end(f);
    EXPECT_EQ(file_tell(f), 7u);
    uint8_t back[5] = {};
    file_read_at(f, back, 1, 5);
    const uint8_t expected[5] = {2, 1, 2, 5, 6};
    EXPECT_EQ(std::memcmp(back, expected, 5), 0);
    file_read_at(f, back, 7, 0);  // nothing to read at the end is no error
    fclose(f);
}

// Each failure keeps its fixed text and carries the system's reason: in the thrown text
// where it has room, otherwise on the counts line (callers match the two short texts).
TEST(FileIo, FailuresReportTheSystemsReason) {
    testutil::TempDir dir;
    testutil::write_file(dir.file("ten.bin"), std::vector<uint8_t>(10, 0xAB));
    FILE *ten = fopen(dir.file("ten.bin").c_str(), "rb");
    FILE *write_only = fopen(dir.file("w.bin").c_str(), "wb");
    FILE *full = fopen("/dev/full", "wb");
    ASSERT_TRUE(ten && write_only && full);
    setvbuf(full, nullptr, _IONBF, 0);
    setvbuf(ten, nullptr, _IONBF, 0);
    Pipe pipe_ends;
    ASSERT_TRUE(pipe_ends.read_end && pipe_ends.write_end);
    uint8_t buf[32] = {};

    const std::string espipe = strerror(ESPIPE), ebadf = strerror(EBADF), enospc = strerror(ENOSPC);
    struct Case {
        const char *name;
        std::function<void()> op;
        std::string thrown, printed;
    } cases[] = {
        {"seek on a pipe", [&] { file_seek_from_start(pipe_ends.read_end, 5); },
         "Seek from start error (return != 0) : -1. Offset from start : 5. " + espipe, ""},
        {"seek past LONG_MAX", [&] { file_seek_from_start(ten, 9223372036854775807ull); },
         "Seek from start error (offset > LONG_MAX) : 9223372036854775807. LONG_MAX : 9223372036854775807. ", ""},
        {"seek to end of a pipe", [&] { file_seek_to_end(pipe_ends.read_end); },
         "Seek to end of file error (return != 0) : -1. " + espipe, ""},
        {"tell on a pipe", [&] { file_tell(pipe_ends.read_end); },
         "Can't get file size : Ftell return -1. Error : " + std::to_string(ESPIPE) + ". " + espipe, ""},
        {"short read", [&] { file_read_at(ten, buf, 4, 8); }, "File read error",
         "Nb bytes read request : 8. Nb bytes read : 6. End of file\n"},
        {"read from a write-only stream", [&] { file_read_at(write_only, buf, 0, 4); }, "File read error",
         "Nb bytes read request : 4. Nb bytes read : 0. " + ebadf + "\n"},
        {"write to a full device", [&] { file_write_checked(full, buf, 16); }, "Error file write",
         "Number of bytes to write : 16. Number bytes write : 0. " + enospc + "\n"},
        {"write to a read-only stream", [&] { file_write_checked(ten, buf, 3); }, "Error file write",
         "Number of bytes to write : 3. Number bytes write : 0. " + ebadf + "\n"},
        {"write without a stream", [&] { file_write_checked(nullptr, buf, 3); }, "Error file write",
         "Number of bytes to write : 3. Number bytes write : 0. No file\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = run(c.op);
        EXPECT_EQ(o.thrown, c.thrown);
        EXPECT_EQ(o.printed, c.printed);
    }
    fclose(ten);
    fclose(write_only);
    fclose(full);
}
