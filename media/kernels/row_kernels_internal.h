#pragma once
// Sample helpers shared by the plain row kernels.
#include <bit>
#include <cstdint>

namespace rowk {

// Nearest single-precision values to 1/255 and 1/65535: 255 * kK8 and 65535 * kK16 are 1.0.
inline constexpr float kK8 = std::bit_cast<float>(0x3B808081u);
inline constexpr float kK16 = std::bit_cast<float>(0x37800080u);
// Largest float below one half: adding it and truncating rounds halves away from zero.
inline constexpr float kAlmostHalf = std::bit_cast<float>(0x3EFFFFFFu);

// Rounds a non-negative float to nearest, halves up (what roundf does for y >= 0).
inline uint32_t round_pos(float y) { return static_cast<uint32_t>(y + kAlmostHalf); }

// Float to an integer sample of full scale s: NaN and x <= 0 give 0, x >= 1 gives s.
inline uint32_t quantise(float x, uint32_t s) {
    if (!(x > 0.0f)) return 0;
    if (x >= 1.0f) return s;
    return round_pos(x * static_cast<float>(s));
}

// Row r of a plane whose samples are T: the stride is used in whole samples.
template <class T, class B>
inline T *row_at(B *base, int64_t stride, uint32_t r) {
    return reinterpret_cast<T *>(base) + static_cast<int64_t>(r) * (stride / static_cast<int64_t>(sizeof(T)));
}

}  // namespace rowk
