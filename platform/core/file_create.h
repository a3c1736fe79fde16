#pragma once
// Creating output files without ever replacing what is on disk.
#include <cstdio>
#include <string>

// Creates and opens a new file for writing with O_CREAT | O_EXCL, so an existing entry
// (file, folder, link, even a dangling one) is never opened, followed or truncated. When
// `path` is taken, the next free "<path without extension>_<n>.<extension>" (n = 1, 2, ...)
// is created instead and `path` is set to it. Returns null with errno set when the file
// cannot be created for another reason, or when no free name is found.
FILE *file_create_exclusive(std::string &path);

// "<path without extension>_<n>.<extension>": "/a/clip.mov", 2 -> "/a/clip_2.mov";
// a name without extension, or whose only dot is its first character, gets no dot.
std::string file_numbered_path(const std::string &path, unsigned long n);
