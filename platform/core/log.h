#pragma once
// System-log substitute: interface and model code log here (standard error).
// Processing code and console jobs print their own lines on standard output.

void zlog(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Always-on assertion: reports expression, function, file and line, then aborts.
[[noreturn]] void zassert_fail(const char *expr, const char *func, const char *file, int line);
#define ZASSERT(e) ((e) ? (void)0 : zassert_fail(#e, __func__, __FILE__, __LINE__))
