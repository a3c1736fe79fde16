#include "platform/core/file_io.h"

#include <sys/types.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>

#include "platform/core/errors.h"

namespace {

// Why a read or write stopped short: the error the stream reports, else the end of the file.
const char *short_transfer_reason(FILE *file, int err) {
    if (!file) return "No file";
    if (ferror(file) && err != 0) return strerror(err);
    if (feof(file)) return "End of file";
    return err != 0 ? strerror(err) : "Unknown error";
}

}  // namespace

void file_seek_from_start(FILE *file, uint64_t offset) {
    if (offset >= uint64_t(LLONG_MAX))
        throw_process_errorf("Seek from start error (offset > LONG_MAX) : %" PRIu64 ". LONG_MAX : %lld. ", offset,
                             LLONG_MAX);
    errno = 0;
    const int ret = fseeko(file, off_t(offset), SEEK_SET);
    if (ret != 0) {
        const int e = errno;
        throw_process_errorf("Seek from start error (return != 0) : %d. Offset from start : %" PRIu64 ". %s", ret,
                             offset, strerror(e));
    }
}

void file_seek_to_end(FILE *file) {
    errno = 0;
    const int ret = fseeko(file, 0, SEEK_END);
    if (ret != 0) {
        const int e = errno;
        throw_process_errorf("Seek to end of file error (return != 0) : %d. %s", ret, strerror(e));
    }
}

uint64_t file_tell(FILE *file) {
    errno = 0;
    const off_t pos = ftello(file);
    if (pos < 0) {
        const int e = errno;
        throw_process_errorf("Can't get file size : Ftell return %lld. Error : %d. %s", (long long)pos, e, strerror(e));
    }
    return uint64_t(pos);
}

void file_read_at(FILE *file, void *buffer, uint64_t offset, uint64_t length) {
    file_seek_from_start(file, offset);
    errno = 0;
    const size_t n = length ? fread(buffer, 1, size_t(length), file) : 0;
    if (n != length) {
        const int e = errno;
        printf("Nb bytes read request : %" PRIu64 ". Nb bytes read : %zu. %s\n", length, n,
               short_transfer_reason(file, e));
        throw_process_error("File read error");
    }
}

void file_write_checked(FILE *file, const void *data, uint64_t length) {
    errno = 0;
    const size_t n = file && length ? fwrite(data, 1, size_t(length), file) : 0;
    if (n != length) {
        const int e = errno;
        printf("Number of bytes to write : %" PRIu64 ". Number bytes write : %zu. %s\n", length, n,
               short_transfer_reason(file, e));
        throw_process_error("Error file write");
    }
}
