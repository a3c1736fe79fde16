#pragma once
// Path text helpers with the usual Cocoa path rules: "/" separates components, trailing
// separators are ignored, and a leading "." starts a hidden name rather than an extension.
// They work on the text only; nothing touches the file system.
#include <string>
#include <string_view>
#include <vector>

// Last component: "/a/b.txt" -> "b.txt", "/a/b/" -> "b", "/" -> "/", "" -> "".
std::string path_last_component(std::string_view path);

// Text after the last "." of the last component, without the dot: "b.tar.gz" -> "gz",
// "b." -> "". None ("") when the component has no dot or its only dot is the first character.
std::string path_extension(std::string_view path);

// Last component without its extension and its dot: "/a/b.tar.gz" -> "b.tar", "/a/.rc" -> ".rc".
std::string path_name_without_extension(std::string_view path);

// The path without the extension of its last component and without trailing separators:
// "/a/take.mp4" -> "/a/take", "/a/b.tar.gz/" -> "/a/b.tar", "/a/.rc" -> "/a/.rc".
std::string path_without_extension(std::string_view path);

// The path without its last component: "/a/b.txt" -> "/a", "/a/b/" -> "/a", "/a" -> "/",
// "/" -> "/", "b.txt" -> "".
std::string path_folder(std::string_view path);

// Components of a path: "/" is the first component of an absolute path, empty components
// and trailing separators are left out: "/a//b/" -> {"/", "a", "b"}, "a/b" -> {"a", "b"}.
std::vector<std::string> path_components(std::string_view path);

// The path with one more component: "/a" + "b/c" -> "/a/b/c", "/a/" + "b" -> "/a/b",
// "" + "b" -> "b", "/a" + "" -> "/a".
std::string path_append_component(std::string_view path, std::string_view component);

// One level of a folder: the names of its entries ("." and ".." left out) in the order the
// system gives them. On failure returns false, leaves `names` empty and sets `error` to the
// system's reason (strerror text).
bool list_folder(const std::string &path, std::vector<std::string> &names, std::string &error);
