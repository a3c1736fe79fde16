// Baseline block gathering: planar RGB blocks (same-colour flag or channel range),
// RGBA blocks, alpha and luma values, and the two RGTC1 search kernels.
#include <cstdio>
#include <cstring>

#include "texenc/dxtenc_kernels.h"
#include "texenc/dxtenc_pixels.h"

using dxtenc_px::read_pixel;
using dxtenc_px::Rgba8;

namespace {

template <uint32_t L>
inline void gather_planar(uint8_t *planar, const uint8_t *const *planes, const int64_t *strides) {
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            Rgba8 px = read_pixel<L, false>(planes, strides, r, c);
            planar[4 * r + c] = px.r;
            planar[16 + 4 * r + c] = px.g;
            planar[32 + 4 * r + c] = px.b;
        }
    }
}

inline uint64_t same_color(const uint8_t *planar) {
    for (int ch = 0; ch < 3; ch++) {
        for (int i = 1; i < 16; i++) {
            if (planar[16 * ch + i] != planar[16 * ch]) return 0;
        }
    }
    return 1;
}

inline uint64_t largest_range(const uint8_t *planar) {
    int best = 0;
    for (int ch = 0; ch < 3; ch++) {
        int lo = 255, hi = 0;
        for (int i = 0; i < 16; i++) {
            int v = planar[16 * ch + i];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        best = hi - lo > best ? hi - lo : best;
    }
    return uint64_t(best);
}

template <uint32_t L, int Form>
void planar_kernel(uint8_t *planar, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1,
                   int64_t s2, uint64_t *result) {
    const uint8_t *planes[4] = {p0, p1, p2, nullptr};
    const int64_t strides[4] = {s0, s1, s2, 0};
    gather_planar<L>(planar, planes, strides);
    *result = Form == 0 ? same_color(planar) : largest_range(planar);
}

template <uint32_t L, bool Opaque>
void rgba_kernel(uint8_t *rgba, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, const uint8_t *p3, int64_t s0,
                 int64_t s1, int64_t s2, int64_t s3) {
    const uint8_t *planes[4] = {p0, p1, p2, p3};
    const int64_t strides[4] = {s0, s1, s2, s3};
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) {
            Rgba8 px = read_pixel<L>(planes, strides, r, c);
            uint8_t *d = rgba + 4 * (4 * r + c);
            d[0] = px.r;
            d[1] = px.g;
            d[2] = px.b;
            d[3] = Opaque ? 255 : px.a;
        }
    }
}

inline void minmax16(const uint8_t *values, uint64_t *min, uint64_t *max) {
    int lo = 255, hi = 0;
    for (int i = 0; i < 16; i++) {
        lo = values[i] < lo ? values[i] : lo;
        hi = values[i] > hi ? values[i] : hi;
    }
    *min = uint64_t(lo);
    *max = uint64_t(hi);
}

template <uint32_t L, int Luma>
void alpha_kernel(uint8_t *values, const uint8_t *const *planes, const int64_t *strides, uint64_t *min, uint64_t *max) {
    if constexpr (!Luma && !dxtenc_px::has_alpha<L>()) {
        to_alpha_opaque(values, nullptr, nullptr, 0, 0, min, max);
        return;
    } else {
        for (int r = 0; r < 4; r++) {
            for (int c = 0; c < 4; c++) {
                if constexpr (Luma) {
                    Rgba8 px = read_pixel<L, false>(planes, strides, r, c);
                    values[4 * r + c] = uint8_t(((px.r + px.g + px.b) * 21846) >> 16);
                } else {
                    values[4 * r + c] = dxtenc_px::read_alpha<L>(planes, strides, r, c);
                }
            }
        }
        minmax16(values, min, max);
    }
}

template <uint32_t L>
void alpha_member(uint8_t *values, const uint8_t *p0, const uint8_t *p3, int64_t s0, int64_t s3, uint64_t *min,
                  uint64_t *max) {
    const uint8_t *planes[4] = {p0, nullptr, nullptr, p3};
    const int64_t strides[4] = {s0, 0, 0, s3};
    alpha_kernel<L, 0>(values, planes, strides, min, max);
}

template <uint32_t L>
void luma_member(uint8_t *values, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1,
                 int64_t s2, uint64_t *min, uint64_t *max) {
    const uint8_t *planes[4] = {p0, p1, p2, nullptr};
    const int64_t strides[4] = {s0, s1, s2, 0};
    alpha_kernel<L, 1>(values, planes, strides, min, max);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Generic routines.

void to_planar_rgb_template_c(uint8_t *planar, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0,
                              int64_t s1, int64_t s2, uint64_t *result, uint32_t pixel_format, int form) {
#define CASE(L)                                                          \
    case L:                                                              \
        if (form == 0)                                                   \
            planar_kernel<L, 0>(planar, p0, p1, p2, s0, s1, s2, result); \
        else                                                             \
            planar_kernel<L, 1>(planar, p0, p1, p2, s0, s1, s2, result); \
        return;
    switch (pixel_format) {
        CASE(0)
        CASE(1) CASE(2) CASE(3) CASE(4) CASE(5) CASE(6) CASE(8) CASE(9) CASE(10) CASE(11) CASE(12) CASE(13)
            CASE(14) default
            : printf("ERROR : to_planar_rgb_template_c : pix fmt non implemente : %d\n", int(pixel_format));
        *result = 1;
        return;
    }
#undef CASE
}

void to_alpha_template(uint8_t *values, const uint8_t *const *planes, const int64_t *strides, uint64_t *min,
                       uint64_t *max, uint32_t pixel_format, int luma) {
#define CASE(L)                                                    \
    case L:                                                        \
        if (luma)                                                  \
            alpha_kernel<L, 1>(values, planes, strides, min, max); \
        else                                                       \
            alpha_kernel<L, 0>(values, planes, strides, min, max); \
        return;
    switch (pixel_format) {
        CASE(0)
        CASE(1) CASE(2) CASE(3) CASE(4) CASE(5) CASE(6) CASE(8) CASE(9) CASE(10) CASE(11) CASE(12) CASE(13) CASE(14)
            CASE(15) default : printf("ERROR : to_alpha_template : pix fmt non gere : %d\n", int(pixel_format));
        return;
    }
#undef CASE
}

void to_alpha_opaque(uint8_t *values, const uint8_t *, const uint8_t *, int64_t, int64_t, uint64_t *min,
                     uint64_t *max) {
    std::memset(values, 255, 16);
    *min = 255;
    *max = 255;
}

// ---------------------------------------------------------------------------------------
// Named members.

#define PLANAR_MEMBERS(stem, L)                                                                                        \
    void to_planar_rgb_##stem##_sse41(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, \
                                      int64_t s1, int64_t s2, uint64_t *res) {                                         \
        planar_kernel<L, 0>(d, p0, p1, p2, s0, s1, s2, res);                                                           \
    }                                                                                                                  \
    void to_planar_rgb_range_##stem##_sse41(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,       \
                                            int64_t s0, int64_t s1, int64_t s2, uint64_t *res) {                       \
        planar_kernel<L, 1>(d, p0, p1, p2, s0, s1, s2, res);                                                           \
    }
PLANAR_MEMBERS(argb8, 0)
PLANAR_MEMBERS(bgra8, 1)
PLANAR_MEMBERS(rgba8, 3)
PLANAR_MEMBERS(argb16, 4)
PLANAR_MEMBERS(argb16_scaled, 5)
PLANAR_MEMBERS(rgba16, 6)
PLANAR_MEMBERS(rgb8, 8)
PLANAR_MEMBERS(bgr8, 9)
PLANAR_MEMBERS(planar_rgb8, 11)
PLANAR_MEMBERS(planar_rgb10, 12)
PLANAR_MEMBERS(planar_rgb12, 13)
PLANAR_MEMBERS(planar_rgb16, 15)
#undef PLANAR_MEMBERS

#define RGBA_MEMBERS(stem, L)                                                                               \
    void to_rgba_##stem##_sse41(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,        \
                                const uint8_t *p3, int64_t s0, int64_t s1, int64_t s2, int64_t s3) {        \
        rgba_kernel<L, false>(d, p0, p1, p2, p3, s0, s1, s2, s3);                                           \
    }                                                                                                       \
    void to_rgba_opaque_##stem##_sse41(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, \
                                       const uint8_t *p3, int64_t s0, int64_t s1, int64_t s2, int64_t s3) { \
        rgba_kernel<L, true>(d, p0, p1, p2, p3, s0, s1, s2, s3);                                            \
    }
RGBA_MEMBERS(argb8, 0)
RGBA_MEMBERS(bgra8, 1)
RGBA_MEMBERS(rgba8, 3)
RGBA_MEMBERS(argb16, 4)
RGBA_MEMBERS(argb16_scaled, 5)
RGBA_MEMBERS(rgba16, 6)
RGBA_MEMBERS(planar_rgba8, 10)
RGBA_MEMBERS(planar_rgba16, 14)
#undef RGBA_MEMBERS
// Layouts without alpha: one kernel serves both forms.
#define RGB_MEMBER(stem, L)                                                                          \
    void to_rgba_##stem##_sse41(uint8_t *d, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, \
                                const uint8_t *p3, int64_t s0, int64_t s1, int64_t s2, int64_t s3) { \
        rgba_kernel<L, true>(d, p0, p1, p2, p3, s0, s1, s2, s3);                                     \
    }
RGB_MEMBER(rgb8, 8)
RGB_MEMBER(bgr8, 9)
RGB_MEMBER(planar_rgb8, 11)
RGB_MEMBER(planar_rgb10, 12)
RGB_MEMBER(planar_rgb12, 13)
RGB_MEMBER(planar_rgb16, 15)
#undef RGB_MEMBER

#define ALPHA_MEMBER(stem, L)                                                                              \
    void to_alpha_##stem##_sse41(uint8_t *v, const uint8_t *p0, const uint8_t *p3, int64_t s0, int64_t s3, \
                                 uint64_t *mn, uint64_t *mx) {                                             \
        alpha_member<L>(v, p0, p3, s0, s3, mn, mx);                                                        \
    }
ALPHA_MEMBER(argb8, 0)
ALPHA_MEMBER(bgra8, 1)
ALPHA_MEMBER(rgba8, 3)
ALPHA_MEMBER(argb16, 4)
ALPHA_MEMBER(argb16_scaled, 5)
ALPHA_MEMBER(rgba16, 6)
ALPHA_MEMBER(planar_rgba8, 10)
ALPHA_MEMBER(planar_rgba16, 14)
#undef ALPHA_MEMBER

#define LUMA_MEMBER(stem, L)                                                                                     \
    void to_luma_##stem##_sse41(uint8_t *v, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, int64_t s0, \
                                int64_t s1, int64_t s2, uint64_t *mn, uint64_t *mx) {                            \
        luma_member<L>(v, p0, p1, p2, s0, s1, s2, mn, mx);                                                       \
    }
LUMA_MEMBER(argb8, 0)
LUMA_MEMBER(bgra8, 1)
LUMA_MEMBER(rgba8, 3)
LUMA_MEMBER(argb16, 4)
LUMA_MEMBER(argb16_scaled, 5)
LUMA_MEMBER(rgba16, 6)
LUMA_MEMBER(rgb8, 8)
LUMA_MEMBER(bgr8, 9)
LUMA_MEMBER(planar_rgba8, 10)
LUMA_MEMBER(planar_rgb8, 11)
LUMA_MEMBER(planar_rgb10, 12)
LUMA_MEMBER(planar_rgb12, 13)
LUMA_MEMBER(planar_rgba16, 14)
LUMA_MEMBER(planar_rgb16, 15)
#undef LUMA_MEMBER

void alpha_inner_minmax_sse41(const uint8_t *values, uint64_t *min, uint64_t *max) {
    int lo = 255, hi = 0;
    for (int i = 0; i < 16; i++) {
        int v = values[i];
        if (v != 0 && v < lo) lo = v;
        if (v != 255 && v > hi) hi = v;
    }
    *min = uint64_t(lo);
    *max = uint64_t(hi);
}

void alpha_block_indices_sse41(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error) {
    uint32_t total = 0;
    for (int i = 0; i < 16; i++) {
        int best = 0;
        int32_t best_d = 1 << 30;
        for (int k = 0; k < 8; k++) {
            int32_t d = int32_t(values[i]) - int32_t(palette[k]);
            d *= d;
            if (d < best_d) {
                best_d = d;
                best = k;
            }
        }
        indices[i] = uint8_t(best);
        total += uint32_t(best_d);
    }
    *error = total;
}

// ---------------------------------------------------------------------------------------
// Members by layout (layout 2 takes layout 1's; 7 has none).

const DxtToPlanarRgbFn dxtenc_to_planar_rgb_sse41[16] = {
    to_planar_rgb_argb8_sse41,        to_planar_rgb_bgra8_sse41,
    to_planar_rgb_bgra8_sse41,        to_planar_rgb_rgba8_sse41,
    to_planar_rgb_argb16_sse41,       to_planar_rgb_argb16_scaled_sse41,
    to_planar_rgb_rgba16_sse41,       nullptr,
    to_planar_rgb_rgb8_sse41,         to_planar_rgb_bgr8_sse41,
    to_planar_rgb_planar_rgb8_sse41,  to_planar_rgb_planar_rgb8_sse41,
    to_planar_rgb_planar_rgb10_sse41, to_planar_rgb_planar_rgb12_sse41,
    to_planar_rgb_planar_rgb16_sse41, to_planar_rgb_planar_rgb16_sse41,
};
const DxtToPlanarRgbFn dxtenc_to_planar_rgb_range_sse41[16] = {
    to_planar_rgb_range_argb8_sse41,        to_planar_rgb_range_bgra8_sse41,
    to_planar_rgb_range_bgra8_sse41,        to_planar_rgb_range_rgba8_sse41,
    to_planar_rgb_range_argb16_sse41,       to_planar_rgb_range_argb16_scaled_sse41,
    to_planar_rgb_range_rgba16_sse41,       nullptr,
    to_planar_rgb_range_rgb8_sse41,         to_planar_rgb_range_bgr8_sse41,
    to_planar_rgb_range_planar_rgb8_sse41,  to_planar_rgb_range_planar_rgb8_sse41,
    to_planar_rgb_range_planar_rgb10_sse41, to_planar_rgb_range_planar_rgb12_sse41,
    to_planar_rgb_range_planar_rgb16_sse41, to_planar_rgb_range_planar_rgb16_sse41,
};
const DxtToAlphaFn dxtenc_to_alpha_sse41[16] = {
    to_alpha_argb8_sse41,
    to_alpha_bgra8_sse41,
    to_alpha_bgra8_sse41,
    to_alpha_rgba8_sse41,
    to_alpha_argb16_sse41,
    to_alpha_argb16_scaled_sse41,
    to_alpha_rgba16_sse41,
    nullptr,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_planar_rgba8_sse41,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_opaque,
    to_alpha_planar_rgba16_sse41,
    to_alpha_opaque,
};
const DxtToLumaFn dxtenc_to_luma_sse41[16] = {
    to_luma_argb8_sse41,        to_luma_bgra8_sse41,         to_luma_bgra8_sse41,         to_luma_rgba8_sse41,
    to_luma_argb16_sse41,       to_luma_argb16_scaled_sse41, to_luma_rgba16_sse41,        nullptr,
    to_luma_rgb8_sse41,         to_luma_bgr8_sse41,          to_luma_planar_rgba8_sse41,  to_luma_planar_rgb8_sse41,
    to_luma_planar_rgb10_sse41, to_luma_planar_rgb12_sse41,  to_luma_planar_rgba16_sse41, to_luma_planar_rgb16_sse41,
};
const DxtBc7GatherFn dxtenc_bc7_gather_sse41[16] = {
    to_rgba_argb8_sse41,        to_rgba_bgra8_sse41,         to_rgba_bgra8_sse41,         to_rgba_rgba8_sse41,
    to_rgba_argb16_sse41,       to_rgba_argb16_scaled_sse41, to_rgba_rgba16_sse41,        nullptr,
    to_rgba_rgb8_sse41,         to_rgba_bgr8_sse41,          to_rgba_planar_rgba8_sse41,  to_rgba_planar_rgb8_sse41,
    to_rgba_planar_rgb10_sse41, to_rgba_planar_rgb12_sse41,  to_rgba_planar_rgba16_sse41, to_rgba_planar_rgb16_sse41,
};
const DxtBc7GatherFn dxtenc_bc7_gather_opaque_sse41[16] = {
    to_rgba_opaque_argb8_sse41,
    to_rgba_opaque_bgra8_sse41,
    to_rgba_opaque_bgra8_sse41,
    to_rgba_opaque_rgba8_sse41,
    to_rgba_opaque_argb16_sse41,
    to_rgba_opaque_argb16_scaled_sse41,
    to_rgba_opaque_rgba16_sse41,
    nullptr,
    to_rgba_rgb8_sse41,
    to_rgba_bgr8_sse41,
    to_rgba_opaque_planar_rgba8_sse41,
    to_rgba_planar_rgb8_sse41,
    to_rgba_planar_rgb10_sse41,
    to_rgba_planar_rgb12_sse41,
    to_rgba_opaque_planar_rgba16_sse41,
    to_rgba_planar_rgb16_sse41,
};
