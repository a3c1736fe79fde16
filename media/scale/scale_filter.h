#pragma once
// The scale node: converts raw frames of one layout and size into another layout and
// size (bit depth, alpha representation, colourimetry, interlaced fields).
//
// The node settles its plan once, at creation: own row kernels (same size, or exact
// halving of packed 8-bit RGBA), libswscale, or zimg between planar layouts, with a
// conversion kernel before and after the engine and an opaque-alpha fill. Every buffer
// is allocated at creation; a frame is converted without allocating. One thread uses a
// node at a time; separate nodes run in parallel.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

enum ScaleAlphaMode : uint32_t {
    ScaleAlphaMode_Premultiplied = 0,  // "Premult Black"
    ScaleAlphaMode_Straight = 1,       // "Straight"
    ScaleAlphaMode_Unknown = 2,        // "Unknown"
};

// Colour words of each side:
//   range: 1 full range, anything else limited (YUV only; RGB and grey are full range);
//   chroma_loc: 1 center, 2 top-left, 3 top, 4 bottom-left, 5 bottom, else left;
//   matrix: 1 standard definition (SMPTE 170M), else BT.709.
struct ScaleFilterParams {
    uint32_t src_pix_fmt;
    uint32_t src_range;
    uint32_t src_chroma_loc;
    uint32_t src_matrix;
    uint32_t src_alpha_mode;
    uint32_t src_w;
    uint32_t src_h;
    uint32_t dst_pix_fmt;
    uint32_t dst_range;
    uint32_t dst_chroma_loc;
    uint32_t dst_matrix;
    uint32_t dst_alpha_mode;
    uint32_t dst_w;
    uint32_t dst_h;
    uint32_t quality;           // 0 point, 1 bilinear, 2 bicubic, 3 Lanczos
    uint32_t interlaced;        // 0 progressive; 1 even lines are the top field; other: bottom field
    uint8_t disable_fast_path;  // 1: never plan with own kernels
    uint8_t use_swscale;        // 1: prefer libswscale when it can do the job
    uint8_t allow_avx2;         // 1: AVX2 kernels may be used
};

// A node of type VideoFilterType_Scale with one input slot; its output frame belongs to
// the node. Refused parameters throw ProcessError (messages are the node's own).
VideoFilter *create_filter_scale(const ScaleFilterParams *params);

// Largest size of the source's aspect ratio inside box_w x box_h (each side at least 1).
void get_fit_dim_keep_ratio(unsigned *out_w, unsigned *out_h, unsigned src_w, unsigned src_h, unsigned box_w,
                            unsigned box_h);

// Layout without alpha of the same family (RGBA8 -> RGBX8, Planar RGBA8 -> Planar RGB8, ...);
// other codes unchanged.
PixFmt get_no_alpha_pix_fmt(PixFmt pix_fmt);
// Planar layout zimg works in for a layout; throws "Can't find packed to planar fmt" or
// "Can't find no alpha planar fmt".
PixFmt get_scale_planar_fmt(PixFmt pix_fmt, bool keep_alpha);
// FFmpeg's AVPixelFormat for a layout; throws "Request unknown pix fmt for ff".
int get_ff_pix_fmt(PixFmt pix_fmt);
// Layout libswscale works in for a layout, or PixFmt_Undefined (39) when there is none.
PixFmt get_ff_compatible_pix_fmt(PixFmt pix_fmt);
