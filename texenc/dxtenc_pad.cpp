// Completion of blocks that reach past the right or bottom edge of the frame: the valid
// pixels are copied into a 4x4 scratch block of the source layout and the rest is filled.
#include <cstdio>
#include <cstring>

#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

struct PadLayout {
    int planes;              // planes written
    int element;             // bytes copied per column (pixel of a packed layout, sample of a planar one)
    uint8_t black[16];       // fill element of planes 0..2 in the black mode
    uint8_t black_alpha[2];  // fill element of plane 3 (planar RGBA) in the black mode
};

// Indexed by layout 0..15.
const PadLayout kPadLayouts[16] = {
    {1, 4, {0xFF, 0, 0, 0}, {}},                 // 0 ARGB8
    {1, 4, {0, 0, 0, 0xFF}, {}},                 // 1 BGRA8
    {1, 4, {0, 0, 0, 0xFF}, {}},                 // 2 BGRA8 bottom-up
    {1, 4, {0, 0, 0, 0xFF}, {}},                 // 3 RGBA8
    {1, 8, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, {}},  // 4 ARGB16
    {1, 8, {0x00, 0x80, 0, 0, 0, 0, 0, 0}, {}},  // 5 ARGB16 scaled (0x8000)
    {1, 8, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {}},  // 6 RGBA16
    {1, 16, {0, 0, 0x80, 0x3F}, {}},             // 7 float A = 1.0, R, G, B = 0
    {1, 3, {}, {}},                              // 8 RGB8
    {1, 3, {}, {}},                              // 9 BGR8
    {4, 1, {}, {0xFF}},                          // 10 planar RGBA8
    {3, 1, {}, {}},                              // 11 planar RGB8
    {3, 2, {}, {}},                              // 12 planar RGB10
    {3, 2, {}, {}},                              // 13 planar RGB12
    {4, 2, {}, {0xFF, 0xFF}},                    // 14 planar RGBA16
    {3, 2, {}, {}},                              // 15 planar RGB16
};

inline void pad_impl(uint8_t *scratch, const uint8_t *const *planes, const int64_t *strides, uint32_t cols,
                     uint32_t rows, uint32_t layout, uint32_t mode) {
    const PadLayout &pl = kPadLayouts[layout];
    const int e = pl.element;
    const int row_bytes = 4 * e;  // the column step of the layout
    static const uint8_t zero[16] = {};
    for (int k = 0; k < pl.planes; k++) {
        uint8_t *dst = scratch + k * 4 * row_bytes;
        const uint8_t *fill = mode == DXTENC_PAD_BLACK ? (k == 3 ? pl.black_alpha : pl.black) : zero;
        for (uint32_t y = 0; y < rows; y++) {
            uint8_t *d = dst + y * row_bytes;
            std::memcpy(d, planes[k] + int64_t(y) * strides[k], cols * e);
            for (uint32_t x = cols; x < 4; x++) {
                std::memcpy(d + x * e, mode == DXTENC_PAD_REPEAT ? d + (cols - 1) * e : fill, e);
            }
        }
        for (uint32_t y = rows; y < 4; y++) {
            uint8_t *d = dst + y * row_bytes;
            if (mode == DXTENC_PAD_REPEAT) {
                std::memcpy(d, d - row_bytes, row_bytes);
            } else {
                for (int x = 0; x < 4; x++) std::memcpy(d + x * e, fill, e);
            }
        }
    }
}

}  // namespace

void pad_partial_block(uint8_t *scratch, const uint8_t *const *planes, const int64_t *strides, uint32_t cols,
                       uint32_t rows, uint32_t pixel_format, uint32_t pad_mode) {
    if (pixel_format > 15) {
        printf("ERROR : pad_partial_block : pix fmt non gerer 2 : %d\n", int(pixel_format));
        return;
    }
    // Mode 3 never reaches here from the slice loop; it completes like mode 0. Modes above
    // 3 fill with zero.
    uint32_t mode = pad_mode == DXTENC_PAD_SKIP ? DXTENC_PAD_REPEAT : pad_mode > 3 ? DXTENC_PAD_ZERO : pad_mode;
    pad_impl(scratch, planes, strides, cols, rows, pixel_format, mode);
}

// Members specialised by layout and mode (the layout and mode are constants, so each one
// compiles to straight copies).
#define DXTENC_PAD_DEF(stem, layout)                                                                           \
    void pad_partial_block_##stem##_repeat(uint8_t *s, const uint8_t *const *p, const int64_t *st, uint32_t c, \
                                           uint32_t r) {                                                       \
        pad_impl(s, p, st, c, r, layout, DXTENC_PAD_REPEAT);                                                   \
    }                                                                                                          \
    void pad_partial_block_##stem##_black(uint8_t *s, const uint8_t *const *p, const int64_t *st, uint32_t c,  \
                                          uint32_t r) {                                                        \
        pad_impl(s, p, st, c, r, layout, DXTENC_PAD_BLACK);                                                    \
    }                                                                                                          \
    void pad_partial_block_##stem##_zero(uint8_t *s, const uint8_t *const *p, const int64_t *st, uint32_t c,   \
                                         uint32_t r) {                                                         \
        pad_impl(s, p, st, c, r, layout, DXTENC_PAD_ZERO);                                                     \
    }

DXTENC_PAD_DEF(argb8, 0)
DXTENC_PAD_DEF(bgra8, 1)
DXTENC_PAD_DEF(rgba8, 3)
DXTENC_PAD_DEF(argb16, 4)
DXTENC_PAD_DEF(argb16_scaled, 5)
DXTENC_PAD_DEF(rgba16, 6)
DXTENC_PAD_DEF(argb32f, 7)
DXTENC_PAD_DEF(rgb8, 8)
DXTENC_PAD_DEF(bgr8, 9)
DXTENC_PAD_DEF(planar_rgba8, 10)
DXTENC_PAD_DEF(planar_rgb8, 11)
DXTENC_PAD_DEF(planar_rgb10, 12)
DXTENC_PAD_DEF(planar_rgb12, 13)
DXTENC_PAD_DEF(planar_rgba16, 14)
DXTENC_PAD_DEF(planar_rgb16, 15)
#undef DXTENC_PAD_DEF

DxtPadPartialBlockFn dxtenc_pad_member(uint32_t pixel_format, uint32_t pad_mode) {
#define ROW(stem) \
    { pad_partial_block_##stem##_repeat, pad_partial_block_##stem##_black, pad_partial_block_##stem##_zero }
    static const DxtPadPartialBlockFn members[16][3] = {
        ROW(argb8),        ROW(bgra8),         ROW(bgra8),         ROW(rgba8),
        ROW(argb16),       ROW(argb16_scaled), ROW(rgba16),        ROW(argb32f),
        ROW(rgb8),         ROW(bgr8),          ROW(planar_rgba8),  ROW(planar_rgb8),
        ROW(planar_rgb10), ROW(planar_rgb12),  ROW(planar_rgba16), ROW(planar_rgb16),
    };
#undef ROW
    if (pixel_format > 15) return nullptr;
    uint32_t column = pad_mode == DXTENC_PAD_REPEAT || pad_mode == DXTENC_PAD_SKIP ? 0
                      : pad_mode == DXTENC_PAD_BLACK                               ? 1
                                                                                   : 2;
    return members[pixel_format][column];
}
