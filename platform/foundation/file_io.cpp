#include "platform/foundation/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::string reason(const char *what, const std::string &path) {
    return std::string(what) + " " + path + ": " + strerror(errno);
}

mode_t default_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool write_file_atomic(const std::string &path, const void *data, size_t size, std::string *error) {
    std::string tmp = path + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        if (error) *error = reason("can't create a file beside", path);
        return false;
    }
    tmp = name.data();
    const char *p = static_cast<const char *>(data);
    size_t left = size;
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (!ok) {
        if (error) *error = reason("can't write", tmp);
    } else if (fchmod(fd, default_file_mode()) != 0 || fsync(fd) != 0) {
        ok = false;
        if (error) *error = reason("can't write", tmp);
    }
    if (close(fd) != 0 && ok) {
        ok = false;
        if (error) *error = reason("can't write", tmp);
    }
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        if (error) *error = reason("can't replace", path);
    }
    if (!ok) unlink(tmp.c_str());
    return ok;
}

bool write_file_atomic(const std::string &path, const std::string &text, std::string *error) {
    return write_file_atomic(path, text.data(), text.size(), error);
}

bool read_whole_file(const std::string &path, std::string *out, std::string *error, size_t max_size) {
    out->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = reason("can't open", path);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "not a regular file: " + path;
        close(fd);
        return false;
    }
    if (uint64_t(st.st_size) > max_size) {
        if (error) *error = "file too large: " + path;
        close(fd);
        return false;
    }
    std::string buf;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = reason("can't read", path);
            close(fd);
            return false;
        }
        if (n == 0) break;
        if (buf.size() + size_t(n) > max_size) {
            if (error) *error = "file too large: " + path;
            close(fd);
            return false;
        }
        buf.append(chunk, size_t(n));
    }
    close(fd);
    *out = std::move(buf);
    return true;
}

bool is_existing_file(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool path_entry_exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
