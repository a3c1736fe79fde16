#include "platform/core/aligned_alloc.h"

#include <cstdlib>
#include <new>

void *zalloc_aligned(size_t size) noexcept {
    if (size == 0) return nullptr;
    void *p = nullptr;
    if (posix_memalign(&p, kZAlign, size) != 0) return nullptr;
    return p;
}

void *zalloc_aligned_or_throw(size_t size) {
    void *p = zalloc_aligned(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    return p;
}

void zfree_aligned(void *p) noexcept { free(p); }
