#pragma once
// 64-byte aligned allocation. Memory is not zero-filled.
#include <cstddef>
#include <memory>

constexpr size_t kZAlign = 64;

// Returns nullptr when the memory cannot be had (or size is 0).
void *zalloc_aligned(size_t size) noexcept;
// Throws std::bad_alloc when the memory cannot be had.
void *zalloc_aligned_or_throw(size_t size);
void zfree_aligned(void *p) noexcept;

struct ZAlignedDeleter {
    void operator()(void *p) const noexcept { zfree_aligned(p); }
};
template <typename T>
using ZAlignedPtr = std::unique_ptr<T, ZAlignedDeleter>;

template <typename T>
ZAlignedPtr<T[]> zalloc_aligned_array(size_t count) {
    return ZAlignedPtr<T[]>(static_cast<T *>(zalloc_aligned_or_throw(count * sizeof(T))));
}
