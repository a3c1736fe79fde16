#pragma once
// The YCoCg-to-RGB node: frames whose three colour planes hold Y, Co and Cg (the DXV
// YCoCg variants decoded by FFmpeg) become packed 8-bit RGB. libswscale brings the
// chroma planes to full resolution, then a row kernel applies the inverse transform.
//
//   Planar YUV 420  (plane 1 Cg, plane 2 Co)      -> Packed RGBX8 (X = 255)
//   Planar YUVA 422 (plane 1 Co, plane 2 Cg, 4:2:0 chroma) -> Packed RGBA8 (A = plane 3)
//
// Frames and the scaler are made once; a run allocates nothing. With threading the rows
// run in slices on the global queue and the call returns when all are done.
#include <cstdint>

#include "media/kernels/row_kernels.h"
#include "media/video_filter.h"
#include "media/video_frame.h"

struct YCoCgToRgbParams {
    uint32_t pix_fmt;  // PixFmt_YUV420 or PixFmt_YUVA420
    uint32_t width;
    uint32_t height;
    uint8_t threaded;  // non-zero: rows in slices over the physical cores
};

// Type VideoFilterType_YCoCgToRgb, one input. Another layout throws
// "Unsupported pix fmt ycocg_to_rgb".
VideoFilter *create_filter_ycocg_to_rgb(const YCoCgToRgbParams &params);

// FFmpeg's pixel format (an AVPixelFormat value) of a layout; layouts FFmpeg lacks throw
// "Request unknown pix fmt for ff".
int pix_fmt_to_ff(PixFmt pix_fmt);

// Row kernels of the inverse transform over full-resolution planes (Y, P1, P2[, A]),
// results clamped to 0..255.
// Cg in plane 1, Co in plane 2: R = Y + Co - Cg, G = Y + Cg - 128, B = Y - Cg - Co + 256, X 255.
void ycocg_cgco_to_rgbx8_c(ZELQA_ROW_KERNEL_ARGS);
// Co in plane 1, Cg in plane 2, alpha in plane 3.
void ycocg_cocg_alpha_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS);
