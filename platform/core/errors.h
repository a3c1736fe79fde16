#pragma once
// Exceptions of the processing code (media to engine).
//
// A failure carries a fixed English message (a few are French); running out of
// memory is kept apart as std::bad_alloc so the task can report "Out Of Memory".
#include <new>
#include <stdexcept>
#include <string>

class ProcessError : public std::runtime_error {
public:
    explicit ProcessError(const char *msg) : std::runtime_error(msg) {}
    explicit ProcessError(const std::string &msg) : std::runtime_error(msg) {}
};

[[noreturn]] void throw_process_error(const char *msg);
// printf-style; the text is cut at 1023 characters.
[[noreturn]] void throw_process_errorf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void throw_alloc_error();
