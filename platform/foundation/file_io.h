#pragma once
// Whole-file reads and atomic writes.
#include <cstddef>
#include <string>

// Writes the bytes to a new file beside `path`, then renames it over `path`, so readers
// see either the old file or the complete new one. False with the system's reason in
// *error on failure; the old file is then untouched.
bool write_file_atomic(const std::string &path, const void *data, size_t size, std::string *error);
bool write_file_atomic(const std::string &path, const std::string &text, std::string *error);

// Reads a whole regular file of at most `max_size` bytes. False with a reason in *error.
bool read_whole_file(const std::string &path, std::string *out, std::string *error,
                     size_t max_size = size_t(256) << 20);

// Something exists at the path and it is not a folder.
bool is_existing_file(const std::string &path);

// Any entry of the file system at the path: a file, a folder, a link (even a dangling one).
bool path_entry_exists(const std::string &path);
