#pragma once
// The background merge node: flattens packed RGB frames with alpha onto a background
// (black, white, checkerboard, none, a custom colour or a two-colour checkerboard), with
// straight or premultiplied alpha and an opacity factor, at 8, 16 and 32-bit float.
//
// One row kernel per combination of layout, alpha convention, background and opacity is
// chosen at creation. Rows run on the calling thread or in slices on the global queue
// (the call returns when every slice is done); in place, the output shares the input's
// planes and the kernels write into them.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

enum BgMergeBackground : uint32_t {
    BgMerge_Black = 0,
    BgMerge_White = 1,
    BgMerge_Checkerboard = 2,   // white and grey 0.7, squares of 10 pixels
    BgMerge_None = 3,           // alpha kept, only scaled by the opacity
    BgMerge_CustomColor = 4,    // colour 1
    BgMerge_CustomChecker = 5,  // colour 1 and colour 2, squares of 10 pixels
};

struct BgMergeParams {
    uint32_t src_pix_fmt;
    uint32_t width;
    uint32_t height;
    float opacity;        // factor on every pixel's alpha; 1.0 leaves it unchanged
    uint32_t alpha_mode;  // 0 premultiplied, other values straight
    uint32_t background;  // BgMergeBackground
    float color1[4];      // red, green, blue (alpha unused), 0..1
    float color2[4];
    uint8_t in_place;
    uint8_t sliced;
    uint8_t allow_avx2;
};

// (output planes, input planes, output and input line sizes, width, rows, opacity, first
// column, frame row of the first row, colour 1 then colour 2 as 8 floats).
using BgMergeKernel = void (*)(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_stride[4],
                               const int64_t src_stride[4], uint32_t width, uint32_t rows, float opacity,
                               uint32_t first_col, uint32_t first_row, const float *colors);

// Type VideoFilterType_BgMerge, one input. Throws "Unknown background bg merge", "Unknown
// bg merge src format", "Can't get pix descriptor : Unknown pixfmt" or "Filter bg merge :
// unsupported pix fmt".
VideoFilter *create_filter_bg_merge(const BgMergeParams &params);

// The row kernel for a source layout with alpha convention, background, mode (1 opacity
// 1.0, 2 any other opacity) and tier; nullptr when there is none.
BgMergeKernel bg_merge_find_kernel(PixFmt src, bool straight, uint32_t background, uint32_t mode, bool in_place,
                                   bool avx2);
