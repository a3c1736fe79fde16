#pragma once
// Row kernels: stateless loops that convert a rectangle of rows between raw pixel
// layouts. None allocates, fails or keeps state; disjoint row ranges may be converted
// from several threads at once.
//
// Samples: 8-bit bytes; 10-, 12- and 16-bit values in one little-endian 16-bit word each
// (10 and 12 bits right-aligned); floats with 1.0 as full scale at every depth.
// Strides are signed byte counts; a kernel steps by the stride rounded to whole samples
// of its plane (words for 16-bit planes and V210 rows, floats for float planes).
// Zero rows or a zero width write nothing.
//
// Names: operation, source layout, "_to_", destination layout, tier ending (_c plain,
// _avx2 AVX2 twin). A packed destination pair with alpha and padding (rgba8/rgbx8, ...)
// is served by the kernel named after the alpha layout; the padding receives what the
// kernel writes as alpha.
#include <cstdint>

#include "media/video_frame.h"

// Multi-plane shape: four plane pointers and strides per side (packed layouts use entry 0,
// planar RGB entries 0..2 (R, G, B) and 3 (A), planar YUV 0..2 (Y, U, V)); width in pixels.
using RowKernel = void (*)(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_stride[4],
                           const int64_t src_stride[4], uint32_t width, uint32_t rows);
// Depth conversions (width in samples) and copy_plane (width in bytes).
using PlaneKernel = void (*)(uint8_t *dst, const uint8_t *src, int64_t dst_stride, int64_t src_stride, uint32_t width,
                             uint32_t rows);
// Opaque-alpha fills: width in bytes for fill_alpha_plane_max, in samples for the others.
using FillKernel = void (*)(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);

#define ZELQA_ROW_KERNEL_ARGS                                                                                     \
    uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_stride[4], const int64_t src_stride[4], \
        uint32_t width, uint32_t rows
#define ZELQA_PLANE_KERNEL_ARGS \
    uint8_t *dst, const uint8_t *src, int64_t dst_stride, int64_t src_stride, uint32_t width, uint32_t rows

// ---- Single plane ----

void copy_plane(ZELQA_PLANE_KERNEL_ARGS);

void fill_alpha_plane_max(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);
void fill_alpha_plane_10bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);
void fill_alpha_plane_12bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);
void fill_alpha_plane_16bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);
void fill_alpha_plane_32f(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows);

// Depth conversions conv_planeS_to_planeD_c; S, D in 8, 10, 12, 16, 32f.
// clang-format off
#define ZELQA_PLANE_CONV_KERNELS(X) \
    X(8, 10) X(8, 12) X(8, 16) X(8, 32f) \
    X(10, 8) X(10, 12) X(10, 16) X(10, 32f) \
    X(12, 8) X(12, 10) X(12, 16) X(12, 32f) \
    X(16, 8) X(16, 10) X(16, 12) X(16, 32f) \
    X(32f, 8) X(32f, 10) X(32f, 12) X(32f, 16)
// clang-format on

#define ZELQA_DECLARE_PLANE_CONV(s, d) void conv_plane##s##_to_plane##d##_c(ZELQA_PLANE_KERNEL_ARGS);
ZELQA_PLANE_CONV_KERNELS(ZELQA_DECLARE_PLANE_CONV)

// ---- RGB families: X(operation, source layout, destination layout) ----
// Packed sources (conv_rgba8_to_rgba16_c, premult_argb8_to_planar_rgb16_c, ...).
// clang-format off
#define ZELQA_PACKED_RGB_KERNELS(X) \
    X(conv, argb8, rgba8) X(premult, argb8, rgba8) X(unpremult, argb8, rgba8) \
    X(conv, argb8, rgba16) X(premult, argb8, rgba16) X(unpremult, argb8, rgba16) \
    X(conv, argb8, rgba32f) X(premult, argb8, rgba32f) X(unpremult, argb8, rgba32f) \
    X(conv, argb8, planar_rgb8) X(premult, argb8, planar_rgb8) X(unpremult, argb8, planar_rgb8) \
    X(conv, argb8, planar_rgba8) X(premult, argb8, planar_rgba8) X(unpremult, argb8, planar_rgba8) \
    X(conv, argb8, planar_rgb16) X(premult, argb8, planar_rgb16) X(unpremult, argb8, planar_rgb16) \
    X(conv, argb8, planar_rgba16) X(premult, argb8, planar_rgba16) \
    X(unpremult, argb8, planar_rgba16) X(conv, argb8, planar_rgb32f) \
    X(premult, argb8, planar_rgb32f) X(unpremult, argb8, planar_rgb32f) \
    X(conv, argb8, planar_rgba32f) X(premult, argb8, planar_rgba32f) \
    X(unpremult, argb8, planar_rgba32f) \
    X(conv, rgba8, argb8) X(premult, rgba8, rgba8) X(unpremult, rgba8, rgba8) X(conv, rgba8, rgb8) \
    X(conv, rgba8, bgr8) X(conv, rgba8, rgba16) X(premult, rgba8, rgba16) \
    X(unpremult, rgba8, rgba16) X(conv, rgba8, rgba32f) X(premult, rgba8, rgba32f) \
    X(unpremult, rgba8, rgba32f) X(conv, rgba8, planar_rgb8) X(premult, rgba8, planar_rgb8) \
    X(unpremult, rgba8, planar_rgb8) X(conv, rgba8, planar_rgba8) X(premult, rgba8, planar_rgba8) \
    X(unpremult, rgba8, planar_rgba8) X(conv, rgba8, planar_rgb16) X(premult, rgba8, planar_rgb16) \
    X(unpremult, rgba8, planar_rgb16) X(conv, rgba8, planar_rgba16) \
    X(premult, rgba8, planar_rgba16) X(unpremult, rgba8, planar_rgba16) \
    X(conv, rgba8, planar_rgb32f) X(premult, rgba8, planar_rgb32f) \
    X(unpremult, rgba8, planar_rgb32f) X(conv, rgba8, planar_rgba32f) \
    X(premult, rgba8, planar_rgba32f) X(unpremult, rgba8, planar_rgba32f) \
    X(conv, rgbx8, argb8) X(conv, rgbx8, rgba8) X(conv, rgbx8, rgba16) X(conv, rgbx8, rgba32f) \
    X(conv, rgbx8, planar_rgba8) X(conv, rgbx8, planar_rgba16) X(conv, rgbx8, planar_rgba32f) \
    X(conv, rgb8, rgba8) X(conv, rgb8, rgba16) X(conv, rgb8, rgba32f) X(conv, rgb8, planar_rgb8) \
    X(conv, rgb8, planar_rgba8) X(conv, rgb8, planar_rgb16) X(conv, rgb8, planar_rgba16) \
    X(conv, rgb8, planar_rgb32f) X(conv, rgb8, planar_rgba32f) \
    X(conv, bgr8, rgba8) X(conv, bgr8, rgba16) X(conv, bgr8, rgba32f) X(conv, bgr8, planar_rgb8) \
    X(conv, bgr8, planar_rgba8) X(conv, bgr8, planar_rgb16) X(conv, bgr8, planar_rgba16) \
    X(conv, bgr8, planar_rgb32f) X(conv, bgr8, planar_rgba32f) \
    X(conv, rgba16, rgba8) X(premult, rgba16, rgba8) X(unpremult, rgba16, rgba8) \
    X(premult, rgba16, rgba16) X(unpremult, rgba16, rgba16) X(conv, rgba16, rgba32f) \
    X(premult, rgba16, rgba32f) X(unpremult, rgba16, rgba32f) X(conv, rgba16, planar_rgb8) \
    X(premult, rgba16, planar_rgb8) X(unpremult, rgba16, planar_rgb8) \
    X(conv, rgba16, planar_rgba8) X(premult, rgba16, planar_rgba8) \
    X(unpremult, rgba16, planar_rgba8) X(conv, rgba16, planar_rgb16) \
    X(premult, rgba16, planar_rgb16) X(unpremult, rgba16, planar_rgb16) \
    X(conv, rgba16, planar_rgba16) X(premult, rgba16, planar_rgba16) \
    X(unpremult, rgba16, planar_rgba16) X(conv, rgba16, planar_rgb32f) \
    X(premult, rgba16, planar_rgb32f) X(unpremult, rgba16, planar_rgb32f) \
    X(conv, rgba16, planar_rgba32f) X(premult, rgba16, planar_rgba32f) \
    X(unpremult, rgba16, planar_rgba32f) \
    X(conv, rgbx16, rgba8) X(conv, rgbx16, rgba16) X(conv, rgbx16, rgba32f) \
    X(conv, rgbx16, planar_rgba8) X(conv, rgbx16, planar_rgba16) X(conv, rgbx16, planar_rgba32f) \
    X(conv, rgba32f, rgba8) X(premult, rgba32f, rgba8) X(unpremult, rgba32f, rgba8) \
    X(conv, rgba32f, rgba16) X(premult, rgba32f, rgba16) X(unpremult, rgba32f, rgba16) \
    X(premult, rgba32f, rgba32f) X(unpremult, rgba32f, rgba32f) X(conv, rgba32f, planar_rgb8) \
    X(premult, rgba32f, planar_rgb8) X(unpremult, rgba32f, planar_rgb8) \
    X(conv, rgba32f, planar_rgba8) X(premult, rgba32f, planar_rgba8) \
    X(unpremult, rgba32f, planar_rgba8) X(conv, rgba32f, planar_rgb16) \
    X(premult, rgba32f, planar_rgb16) X(unpremult, rgba32f, planar_rgb16) \
    X(conv, rgba32f, planar_rgba16) X(premult, rgba32f, planar_rgba16) \
    X(unpremult, rgba32f, planar_rgba16) X(conv, rgba32f, planar_rgb32f) \
    X(premult, rgba32f, planar_rgb32f) X(unpremult, rgba32f, planar_rgb32f) \
    X(conv, rgba32f, planar_rgba32f) X(premult, rgba32f, planar_rgba32f) \
    X(unpremult, rgba32f, planar_rgba32f) \
    X(conv, rgbx32f, rgba8) X(conv, rgbx32f, rgba16) X(conv, rgbx32f, rgba32f) \
    X(conv, rgbx32f, planar_rgba8) X(conv, rgbx32f, planar_rgba16) \
    X(conv, rgbx32f, planar_rgba32f)
// clang-format on

// Planar RGB sources (conv_planar_rgba16_to_rgba8_c, premult_planar_rgba8_to_planar_rgb16_c, ...).
// clang-format off
#define ZELQA_PLANAR_RGB_KERNELS(X) \
    X(conv, planar_rgba8, argb8) X(conv, planar_rgba8, rgba8) X(premult, planar_rgba8, rgba8) \
    X(unpremult, planar_rgba8, rgba8) X(conv, planar_rgba8, rgb8) X(conv, planar_rgba8, bgr8) \
    X(conv, planar_rgba8, rgba16) X(premult, planar_rgba8, rgba16) \
    X(unpremult, planar_rgba8, rgba16) X(conv, planar_rgba8, rgba32f) \
    X(premult, planar_rgba8, rgba32f) X(unpremult, planar_rgba8, rgba32f) \
    X(premult, planar_rgba8, planar_rgb8) X(unpremult, planar_rgba8, planar_rgb8) \
    X(premult, planar_rgba8, planar_rgba8) X(unpremult, planar_rgba8, planar_rgba8) \
    X(premult, planar_rgba8, planar_rgb16) X(unpremult, planar_rgba8, planar_rgb16) \
    X(premult, planar_rgba8, planar_rgba16) X(unpremult, planar_rgba8, planar_rgba16) \
    X(premult, planar_rgba8, planar_rgb32f) X(unpremult, planar_rgba8, planar_rgb32f) \
    X(premult, planar_rgba8, planar_rgba32f) X(unpremult, planar_rgba8, planar_rgba32f) \
    X(conv, planar_rgb8, argb8) X(conv, planar_rgb8, rgba8) X(conv, planar_rgb8, rgb8) \
    X(conv, planar_rgb8, bgr8) X(conv, planar_rgb8, rgba16) X(conv, planar_rgb8, rgba32f) \
    X(conv, planar_rgba16, rgba8) X(premult, planar_rgba16, rgba8) \
    X(unpremult, planar_rgba16, rgba8) X(conv, planar_rgba16, rgba16) \
    X(premult, planar_rgba16, rgba16) X(unpremult, planar_rgba16, rgba16) \
    X(conv, planar_rgba16, rgba32f) X(premult, planar_rgba16, rgba32f) \
    X(unpremult, planar_rgba16, rgba32f) X(premult, planar_rgba16, planar_rgb8) \
    X(unpremult, planar_rgba16, planar_rgb8) X(premult, planar_rgba16, planar_rgba8) \
    X(unpremult, planar_rgba16, planar_rgba8) X(premult, planar_rgba16, planar_rgb16) \
    X(unpremult, planar_rgba16, planar_rgb16) X(premult, planar_rgba16, planar_rgba16) \
    X(unpremult, planar_rgba16, planar_rgba16) X(premult, planar_rgba16, planar_rgb32f) \
    X(unpremult, planar_rgba16, planar_rgb32f) X(premult, planar_rgba16, planar_rgba32f) \
    X(unpremult, planar_rgba16, planar_rgba32f) \
    X(conv, planar_rgb16, rgba8) X(conv, planar_rgb16, rgba16) X(conv, planar_rgb16, rgba32f) \
    X(conv, planar_rgba32f, rgba8) X(premult, planar_rgba32f, rgba8) \
    X(unpremult, planar_rgba32f, rgba8) X(conv, planar_rgba32f, rgba16) \
    X(premult, planar_rgba32f, rgba16) X(unpremult, planar_rgba32f, rgba16) \
    X(conv, planar_rgba32f, rgba32f) X(premult, planar_rgba32f, rgba32f) \
    X(unpremult, planar_rgba32f, rgba32f) X(premult, planar_rgba32f, planar_rgb8) \
    X(unpremult, planar_rgba32f, planar_rgb8) X(premult, planar_rgba32f, planar_rgba8) \
    X(unpremult, planar_rgba32f, planar_rgba8) X(premult, planar_rgba32f, planar_rgb16) \
    X(unpremult, planar_rgba32f, planar_rgb16) X(premult, planar_rgba32f, planar_rgba16) \
    X(unpremult, planar_rgba32f, planar_rgba16) X(premult, planar_rgba32f, planar_rgb32f) \
    X(unpremult, planar_rgba32f, planar_rgb32f) X(premult, planar_rgba32f, planar_rgba32f) \
    X(unpremult, planar_rgba32f, planar_rgba32f) \
    X(conv, planar_rgb32f, rgba8) X(conv, planar_rgb32f, rgba16) X(conv, planar_rgb32f, rgba32f)
// clang-format on

#define ZELQA_DECLARE_RGB_KERNEL(op, s, d) void op##_##s##_to_##d##_c(ZELQA_ROW_KERNEL_ARGS);
ZELQA_PACKED_RGB_KERNELS(ZELQA_DECLARE_RGB_KERNEL)
ZELQA_PLANAR_RGB_KERNELS(ZELQA_DECLARE_RGB_KERNEL)

// Premultiply over black: colour times alpha, padding written opaque.
void premult_black_rgba8_to_rgbx8_c(ZELQA_ROW_KERNEL_ARGS);
void premult_black_rgba16_to_rgbx16_c(ZELQA_ROW_KERNEL_ARGS);
void premult_black_rgba32f_to_rgbx32f_c(ZELQA_ROW_KERNEL_ARGS);

// ---- 4:2:2 video (whole pixel pairs only; an odd last pixel is left as it was) ----
// uyvy sources also serve uyvya (plane 0 only; its alpha plane is not touched).
void conv_uyvy_to_planar_yuv422_c(ZELQA_ROW_KERNEL_ARGS);
void conv_uyvy_to_planar_yuv422_10_c(ZELQA_ROW_KERNEL_ARGS);
void conv_uyvy_to_planar_yuv422_12_c(ZELQA_ROW_KERNEL_ARGS);
void conv_planar_yuv422_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS);
void conv_planar_yuv422_10_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS);
void conv_planar_yuv422_12_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS);
void conv_v210_to_planar_yuv422_c(ZELQA_ROW_KERNEL_ARGS);
void conv_v210_to_planar_yuv422_10_c(ZELQA_ROW_KERNEL_ARGS);

// ---- Half-size packed 8-bit RGBA (width and rows of the source; 2x2 average) ----
void halfsize_rgba8_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS);
void halfsize_rgbx8_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS);  // alpha 255

// ---- AVX2 twins: same shapes and results as their plain twins, except that the
// fused float-to-integer heads round the float just below 1/510 to 1 at 8 bits (q gives 0).
// Call them only when row_kernels_avx2_gate() allowed it, and the members marked as using
// FMA only when the processor also has FMA; row_kernel_for_tier checks both. ----
// X(stem, step B, uses FMA); step in pixels (half-size: destination pixels).
#define ZELQA_AVX2_ROW_KERNELS(X)                                                                                      \
    X(conv_uyvy_to_planar_yuv422, 32, false)                                                                           \
    X(conv_uyvy_to_planar_yuv422_10, 16, false) X(conv_rgba8_to_rgba16, 4, false) X(conv_rgbx8_to_rgba16, 4, false)    \
        X(conv_rgba8_to_rgba32f, 4, false) X(conv_rgbx8_to_rgba32f, 4, false) X(conv_rgba16_to_rgba32f, 2, false)      \
            X(conv_rgbx16_to_rgba32f, 2, false) X(conv_rgba16_to_rgba8, 4, false) X(conv_rgbx16_to_rgba8, 4, false)    \
                X(conv_rgba32f_to_rgba8, 8, true) X(conv_rgbx32f_to_rgba8, 8, true) X(conv_rgba32f_to_rgba16, 8, true) \
                    X(conv_rgbx32f_to_rgba16, 8, true) X(premult_rgba8_to_rgba8, 8, false)                             \
                        X(premult_black_rgba8_to_rgbx8, 8, false) X(unpremult_rgba8_to_rgba8, 8, true)                 \
                            X(unpremult_rgba16_to_rgba16, 8, true) X(premult_rgba32f_to_rgba32f, 8, false)             \
                                X(premult_black_rgba32f_to_rgbx32f, 8, false)                                          \
                                    X(unpremult_rgba32f_to_rgba32f, 8, false) X(halfsize_rgba8_to_rgba8, 4, false)     \
                                        X(halfsize_rgbx8_to_rgba8, 4, false)
// X(stem, step B, uses FMA); step in samples.
#define ZELQA_AVX2_PLANE_KERNELS(X)                                                                                 \
    X(conv_plane8_to_plane10, 16, false)                                                                            \
    X(conv_plane8_to_plane16, 16, false) X(conv_plane8_to_plane32f, 32, false) X(conv_plane10_to_plane8, 16, false) \
        X(conv_plane16_to_plane8, 16, false) X(conv_plane16_to_plane32f, 8, false)                                  \
            X(conv_plane32f_to_plane8, 32, true) X(conv_plane32f_to_plane16, 32, true)

#define ZELQA_DECLARE_AVX2_ROW(stem, step, fma)   void stem##_avx2(ZELQA_ROW_KERNEL_ARGS);
#define ZELQA_DECLARE_AVX2_PLANE(stem, step, fma) void stem##_avx2(ZELQA_PLANE_KERNEL_ARGS);
ZELQA_AVX2_ROW_KERNELS(ZELQA_DECLARE_AVX2_ROW)
ZELQA_AVX2_PLANE_KERNELS(ZELQA_DECLARE_AVX2_PLANE)

// ---- Choosing kernels ----

enum class RowOp { conv, premult, unpremult };

// The plain kernel converting src_fmt to dst_fmt with the operation, or nullptr when the
// pair has none (e.g. same layouts, a plane copy). Padding (X) sources read as opaque;
// rgbx8 to rgbx16 and to rgbx32f convert the padding like a channel.
RowKernel row_kernel_find(RowOp op, PixFmt src_fmt, PixFmt dst_fmt);
// The depth conversion between single planes of 8, 10, 12, 16 or 32 (float) bits, or nullptr.
PlaneKernel plane_conv_kernel_find(int src_bits, int dst_bits);

// Tier gate, taken once when a node is set up: the creator allows AVX2 and the processor
// has AVX (with OS register saving) and AVX2.
bool row_kernels_avx2_gate(bool allow_avx2);

struct RowKernelTwin {
    const char *name;  // stem, without tier ending
    RowKernel plain;
    RowKernel avx2;
    uint32_t step;  // pixels per vector step (half-size: destination pixels)
    bool needs_fma;
};
struct PlaneKernelTwin {
    const char *name;
    PlaneKernel plain;
    PlaneKernel avx2;
    uint32_t step;  // samples per vector step
    bool needs_fma;
};
extern const RowKernelTwin kRowKernelTwins[];
extern const unsigned kRowKernelTwinCount;
extern const PlaneKernelTwin kPlaneKernelTwins[];
extern const unsigned kPlaneKernelTwinCount;

// The kernel to call in the tier: the AVX2 twin of `plain` when use_avx2 is set, it has
// one, and the processor has FMA too for the members that need it; else `plain`.
RowKernel row_kernel_for_tier(RowKernel plain, bool use_avx2);
PlaneKernel plane_kernel_for_tier(PlaneKernel plain, bool use_avx2);
