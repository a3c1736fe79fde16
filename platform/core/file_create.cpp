#include "platform/core/file_create.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Past this many taken names something is wrong with the folder; give up.
constexpr unsigned long kMaxNumberedNames = 100000;

}  // namespace

std::string file_numbered_path(const std::string &path, unsigned long n) {
    const size_t slash = path.rfind('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const std::string suffix = "_" + std::to_string(n);
    if (dot == std::string::npos || dot <= name_start) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

FILE *file_create_exclusive(std::string &path) {
    std::string candidate = path;
    for (unsigned long n = 1;; n++) {
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FILE *f = fdopen(fd, "wb");
            if (!f) {
                const int e = errno;
                close(fd);
                unlink(candidate.c_str());
                errno = e;
                return nullptr;
            }
            path = candidate;
            return f;
        }
        if (errno != EEXIST) return nullptr;
        if (n > kMaxNumberedNames) return nullptr;  // errno stays EEXIST
        candidate = file_numbered_path(path, n);
    }
}
