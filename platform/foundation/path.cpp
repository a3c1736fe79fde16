#include "platform/foundation/path.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>

namespace {

// The path without trailing separators; "/" (or "///") stays "/".
std::string_view strip_trailing_slashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

// Position of the dot that starts the extension of `name` (a last component), or npos.
// A dot that starts the name (".rc", "..") starts no extension.
size_t extension_dot(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") return std::string_view::npos;
    return dot;
}

}  // namespace

std::string path_last_component(std::string_view path) {
    path = strip_trailing_slashes(path);
    if (path == "/") return "/";
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string path_extension(std::string_view path) {
    std::string name = path_last_component(path);
    size_t dot = extension_dot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string path_name_without_extension(std::string_view path) {
    std::string name = path_last_component(path);
    size_t dot = extension_dot(name);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string path_without_extension(std::string_view path) {
    path = strip_trailing_slashes(path);
    const size_t slash = path.rfind('/');
    const size_t name_at = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = extension_dot(path.substr(name_at));
    return std::string(dot == std::string_view::npos ? path : path.substr(0, name_at + dot));
}

std::string path_folder(std::string_view path) {
    path = strip_trailing_slashes(path);
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::string();
    std::string_view folder = strip_trailing_slashes(path.substr(0, slash + 1));
    return std::string(folder);
}

std::vector<std::string> path_components(std::string_view path) {
    std::vector<std::string> out;
    size_t i = 0;
    if (!path.empty() && path[0] == '/') out.emplace_back("/");
    while (i < path.size()) {
        const size_t slash = path.find('/', i);
        const size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > i) out.emplace_back(path.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

std::string path_append_component(std::string_view path, std::string_view component) {
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    std::string out(strip_trailing_slashes(path));
    if (component.empty()) return out;
    if (!out.empty() && out.back() != '/') out += '/';
    out += component;
    return out;
}

bool list_folder(const std::string &path, std::vector<std::string> &names, std::string &error) {
    names.clear();
    DIR *dir = opendir(path.c_str());
    if (!dir) {
        error = strerror(errno);
        return false;
    }
    for (;;) {
        errno = 0;
        dirent *e = readdir(dir);
        if (!e) break;
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int err = errno;
    closedir(dir);
    if (err != 0) {
        names.clear();
        error = strerror(err);
        return false;
    }
    return true;
}
