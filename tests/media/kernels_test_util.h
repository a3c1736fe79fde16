#pragma once
// Pixel images in the row kernels' layouts, for the kernel tests.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "media/kernels/row_kernels.h"

namespace kt {

inline constexpr float kK8 = std::bit_cast<float>(0x3B808081u);
inline constexpr float kK16 = std::bit_cast<float>(0x37800080u);

inline uint32_t fbits(float f) { return std::bit_cast<uint32_t>(f); }
inline float bitsf(uint32_t b) { return std::bit_cast<float>(b); }

// A layout as memory sees it: the channel letters in memory order (packed) or plane order
// (planar), and the bytes of one sample.
struct Layout {
    const char *word;
    int code;
    const char *chans;
    int sample;  // 1, 2 or 4 bytes
    bool planar;
    bool is_float() const { return sample == 4; }
    bool has_alpha() const { return std::strchr(chans, 'A') != nullptr; }
    bool has_pad() const { return std::strchr(chans, 'X') != nullptr; }
    int nch() const { return static_cast<int>(std::strlen(chans)); }
};

inline const Layout kLayouts[] = {
    {"argb8", 0, "ARGB", 1, false},
    {"rgba8", 1, "RGBA", 1, false},
    {"rgb8", 2, "RGB", 1, false},
    {"bgr8", 3, "BGR", 1, false},
    {"rgbx8", 4, "RGBX", 1, false},
    {"rgba16", 5, "RGBA", 2, false},
    {"rgbx16", 6, "RGBX", 2, false},
    {"rgba32f", 7, "RGBA", 4, false},
    {"rgbx32f", 8, "RGBX", 4, false},
    {"planar_rgb8", 9, "RGB", 1, true},
    {"planar_rgba8", 10, "RGBA", 1, true},
    {"planar_rgb16", 13, "RGB", 2, true},
    {"planar_rgba16", 14, "RGBA", 2, true},
    {"planar_rgb32f", 15, "RGB", 4, true},
    {"planar_rgba32f", 16, "RGBA", 4, true},
};

inline const Layout &layout(const std::string &word) {
    for (const Layout &l : kLayouts)
        if (word == l.word) return l;
    ADD_FAILURE() << "no layout " << word;
    return kLayouts[0];
}

// An image with padded rows (pad bytes after each row) and guard bytes after the planes.
struct Image {
    Layout lay;
    uint32_t w, h;
    std::vector<uint8_t> buf[4];
    int64_t stride[4] = {};
    uint8_t *plane[4] = {};

    Image(const Layout &l, uint32_t width, uint32_t rows, uint8_t fill = 0xCD) : lay(l), w(width), h(rows) {
        const int planes = l.planar ? l.nch() : 1;
        const int64_t row = static_cast<int64_t>(width) * (l.planar ? 1 : l.nch()) * l.sample;
        for (int p = 0; p < planes; ++p) {
            stride[p] = row + 8 * l.sample;
            buf[p].assign(static_cast<size_t>(stride[p] * rows + 64), fill);
            plane[p] = buf[p].data();
        }
    }
    // Byte address of channel c of pixel (x, y).
    uint8_t *at(uint32_t x, uint32_t y, char c) {
        const char *pos = std::strchr(lay.chans, c);
        if (!pos) return nullptr;
        const int k = static_cast<int>(pos - lay.chans);
        if (lay.planar) return plane[k] + y * stride[k] + x * lay.sample;
        return plane[0] + y * stride[0] + (x * lay.nch() + k) * lay.sample;
    }
    void set(uint32_t x, uint32_t y, char c, uint32_t bits) {
        uint8_t *p = at(x, y, c);
        std::memcpy(p, &bits, lay.sample);
    }
    uint32_t get(uint32_t x, uint32_t y, char c) {
        uint32_t v = 0;
        std::memcpy(&v, at(x, y, c), lay.sample);
        return v;
    }
    const uint8_t *const *src() const { return plane; }
};

inline void run(RowKernel fn, Image &dst, const Image &src, uint32_t width, uint32_t rows) {
    fn(dst.plane, src.plane, dst.stride, src.stride, width, rows);
}

}  // namespace kt
