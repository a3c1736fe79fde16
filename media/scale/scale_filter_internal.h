#pragma once
// Private state and plan helpers of the scale node (shared with its tests).
#include <cstddef>
#include <cstdint>

#include <zimg.h>

#include "media/kernels/row_kernels.h"
#include "media/scale/scale_filter.h"

struct SwsContext;

enum ScaleMode : uint32_t {
    ScaleMode_OwnKernels = 0,
    ScaleMode_Swscale = 1,
    ScaleMode_Zimg = 2,
    ScaleMode_Undecided = 3,
};

enum ScaleAlphaOp : uint32_t {
    ScaleAlphaOp_Plain = 0,        // no alpha kept (or none to begin with)
    ScaleAlphaOp_Premultiply = 1,  // straight in, premultiplied out
    ScaleAlphaOp_Unpremultiply = 2,
    ScaleAlphaOp_KeepAlpha = 3,  // alpha passes unchanged
};

struct ScalePlaneStep {
    PlaneKernel kernel;  // copy_plane (width in bytes) or a depth conversion (in samples)
    uint32_t width;
    uint32_t height;
};

struct ScaleZimgGraph {
    zimg_filter_graph *graph;
    void *tmp;  // 64-byte aligned
    size_t tmp_size;
};

struct ScaleFilterData {
    ScaleFilterParams params;
    bool use_avx2;
    bool use_swscale;
    ScaleMode mode;
    ScaleAlphaOp alpha_op;
    PixFmt mid_src_fmt;  // PixFmt_Undefined when there is none
    PixFmt mid_dst_fmt;
    RowKernel kernel_pre;
    RowKernel kernel_post;
    ScalePlaneStep plane_step[4];
    bool plane_step_on;
    FillKernel fill_alpha;
    bool fill_alpha_on;
    VideoFrame frame_pre;
    VideoFrame frame_mid;
    VideoFrame *output;
    ScaleZimgGraph zimg[2];  // [1] for the second field
    uint32_t zimg_src_planes;
    uint32_t zimg_dst_planes;
    SwsContext *sws;
};

// Alpha operation for the two layouts and alpha modes.
ScaleAlphaOp get_scale_alpha_op(PixFmt src, PixFmt dst, uint32_t src_mode, uint32_t dst_mode);

RowKernel get_conv_kernel(PixFmt src, PixFmt dst, bool use_avx2);
RowKernel get_premult_kernel(PixFmt src, PixFmt dst, bool use_avx2);
RowKernel get_unpremult_kernel(PixFmt src, PixFmt dst, bool use_avx2);
// 1 premultiply, 2 unpremultiply, 0 and 3 conversion.
RowKernel get_alpha_op_kernel(PixFmt src, PixFmt dst, ScaleAlphaOp op, bool use_avx2);

// Fills zimg's format for a planar layout and one side's colour words. Throws the node's
// messages for layouts zimg cannot take.
void fill_zimg_image_format(zimg_image_format *format, PixFmt pix_fmt, uint32_t alpha_mode, uint32_t range,
                            uint32_t chroma_loc, uint32_t matrix);

// "Premult Black", "Straight", "Unknown".
const char *get_scale_alpha_mode_name(uint32_t mode);
