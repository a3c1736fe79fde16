#include "platform/core/errors.h"

#include <cstdarg>
#include <cstdio>

void throw_process_error(const char *msg) { throw ProcessError(msg); }

void throw_process_errorf(const char *fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    throw ProcessError(buf);
}

void throw_alloc_error() { throw std::bad_alloc(); }
