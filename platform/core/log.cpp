#include "platform/core/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex g_log_mutex;
}

void zlog(const char *fmt, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    std::lock_guard<std::mutex> lock(g_log_mutex);
    fputs(buf, stderr);
    size_t n = 0;
    while (buf[n]) n++;
    if (n == 0 || buf[n - 1] != '\n') fputc('\n', stderr);
}

void zassert_fail(const char *expr, const char *func, const char *file, int line) {
    fprintf(stderr, "Assertion failed: (%s), function %s, file %s, line %d.\n", expr, func, file, line);
    fflush(stderr);
    abort();
}
