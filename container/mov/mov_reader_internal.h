#pragma once
// Helpers shared by the reader's source files. Callers bound every offset first.
#include <cstdint>
#include <cstring>

#include "platform/core/byte_order.h"

namespace movr {

inline bool type_is(const char t[4], const char *s) { return std::memcmp(t, s, 4) == 0; }
inline constexpr uint32_t fourcc(const char *s) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

}  // namespace movr
