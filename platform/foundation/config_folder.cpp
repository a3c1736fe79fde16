#include "platform/foundation/config_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/path.h"

std::optional<std::string> config_folder_path() {
    const char *xdg = getenv("XDG_CONFIG_HOME");
    // XDG_CONFIG_HOME counts only when it is an absolute path.
    if (xdg && xdg[0] == '/') return path_append_component(xdg, "ZelqaHapEncoder");
    const char *home = getenv("HOME");
    if (home && home[0] == '/') return path_append_component(path_append_component(home, ".config"), "ZelqaHapEncoder");
    return std::nullopt;
}

namespace {

bool is_folder(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool make_folder_with_parents(const std::string &path, std::string *error) {
    if (path.empty()) {
        if (error) *error = strerror(ENOENT);
        return false;
    }
    // Walk down the components, making each one that is missing.
    std::string current;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        current = path.substr(0, next);
        pos = next + 1;
        if (current.empty() || current.back() == '/') continue;
        if (mkdir(current.c_str(), 0777) == 0) continue;
        const int err = errno;
        if (err == EEXIST && is_folder(current)) continue;
        if (error) *error = strerror(err == EEXIST ? ENOTDIR : err);
        return false;
    }
    return true;
}
