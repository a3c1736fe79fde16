#pragma once
// How each source layout stores a pixel and how a channel is reduced to 8 bits.
// Shared by the baseline kernels; the faster tiers read the same positions.
#include <cstdint>
#include <cstring>

namespace dxtenc_px {

struct Rgba8 {
    uint8_t r, g, b, a;
};

inline uint16_t load16(const uint8_t *p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline const uint8_t *row(const uint8_t *plane, int64_t stride, int r) { return plane + r * stride; }

// Words of the layout scaled to 0..0x8000: 0x8000 is full scale; a word above it is out of
// range and keeps the low 8 bits of v >> 7 here.
inline uint8_t reduce_scaled15(uint16_t v) { return v == 0x8000 ? 255 : uint8_t((v >> 7) & 0xFF); }

// Reads pixel (r, c) of layout L (never 2 or 7: layout 2 is read as 1, 7 has no reader).
// Layouts without alpha give 255; with Alpha false the alpha plane of the planar RGBA
// layouts is not read (callers that only want colour need not pass it).
template <uint32_t L, bool Alpha = true>
inline Rgba8 read_pixel(const uint8_t *const *planes, const int64_t *strides, int r, int c) {
    Rgba8 px{0, 0, 0, 255};
    if constexpr (L == 0 || L == 1 || L == 2 || L == 3) {
        const uint8_t *p = row(planes[0], strides[0], r) + 4 * c;
        if constexpr (L == 0)
            px = {p[1], p[2], p[3], p[0]};
        else if constexpr (L == 3)
            px = {p[0], p[1], p[2], p[3]};
        else
            px = {p[2], p[1], p[0], p[3]};
    } else if constexpr (L == 4 || L == 5 || L == 6) {
        const uint8_t *p = row(planes[0], strides[0], r) + 8 * c;
        uint16_t w0 = load16(p), w1 = load16(p + 2), w2 = load16(p + 4), w3 = load16(p + 6);
        if constexpr (L == 4)
            px = {uint8_t(w1 >> 8), uint8_t(w2 >> 8), uint8_t(w3 >> 8), uint8_t(w0 >> 8)};
        else if constexpr (L == 6)
            px = {uint8_t(w0 >> 8), uint8_t(w1 >> 8), uint8_t(w2 >> 8), uint8_t(w3 >> 8)};
        else
            px = {reduce_scaled15(w1), reduce_scaled15(w2), reduce_scaled15(w3), reduce_scaled15(w0)};
    } else if constexpr (L == 8 || L == 9) {
        const uint8_t *p = row(planes[0], strides[0], r) + 3 * c;
        if constexpr (L == 8)
            px = {p[0], p[1], p[2], 255};
        else
            px = {p[2], p[1], p[0], 255};
    } else if constexpr (L == 10 || L == 11) {
        px.r = row(planes[0], strides[0], r)[c];
        px.g = row(planes[1], strides[1], r)[c];
        px.b = row(planes[2], strides[2], r)[c];
        if constexpr (L == 10 && Alpha) px.a = row(planes[3], strides[3], r)[c];
    } else {
        static_assert(L >= 12 && L <= 15, "no reader for this layout");
        constexpr int shift = L == 12 ? 2 : L == 13 ? 4 : 8;
        px.r = uint8_t(load16(row(planes[0], strides[0], r) + 2 * c) >> shift);
        px.g = uint8_t(load16(row(planes[1], strides[1], r) + 2 * c) >> shift);
        px.b = uint8_t(load16(row(planes[2], strides[2], r) + 2 * c) >> shift);
        if constexpr (L == 14 && Alpha) px.a = uint8_t(load16(row(planes[3], strides[3], r) + 2 * c) >> 8);
    }
    return px;
}

// Alpha of pixel (r, c) alone: the planar RGBA layouts read plane 3 only.
template <uint32_t L>
inline uint8_t read_alpha(const uint8_t *const *planes, const int64_t *strides, int r, int c) {
    if constexpr (L == 10)
        return row(planes[3], strides[3], r)[c];
    else if constexpr (L == 14)
        return uint8_t(load16(row(planes[3], strides[3], r) + 2 * c) >> 8);
    else
        return read_pixel<L>(planes, strides, r, c).a;
}

template <uint32_t L>
constexpr bool has_alpha() {
    return L <= 7 || L == 10 || L == 14;
}

}  // namespace dxtenc_px
