#pragma once
// Rotate and flip node: quarter turns and mirrors of raw frames (element by element)
// and of texture frames (blocks moved, indices permuted inside each block).
#include <cstdint>

#include "media/video_filter.h"

enum : uint32_t {
    RotateFlip_None = 0,      // refused
    RotateFlip_Rotate90 = 1,  // clockwise
    RotateFlip_Rotate180 = 2,
    RotateFlip_Rotate270 = 3,
    RotateFlip_FlipH = 4,  // left and right exchanged
    RotateFlip_FlipV = 5,  // top and bottom exchanged
};

struct RotateFlipParams {
    uint32_t width;
    uint32_t height;
    uint8_t texture;           // 1 texture frames, 0 raw frames
    PixFmt pix_fmt;            // raw frames
    uint32_t data_descriptor;  // texture frames: 13 to 17
    uint32_t transform;
    uint8_t pass_through_allowed;  // raw vertical flip by negative line sizes, no copy
};

// Writes the whole transformed destination plane. Sizes count elements (raw) or
// blocks (texture) of the source; line sizes are signed bytes.
typedef void (*RotateFlipKernel)(uint8_t *dst, const uint8_t *src, uint32_t width, uint32_t height,
                                 int64_t src_linesize, int64_t dst_linesize);

// The kernel of a transform (1..5) for raw elements of 1, 2, 3, 4, 8 or 16 bytes,
// or for texture blocks (block_bytes 8 with rgtc1 false: DXT1; 8 with rgtc1: RGTC1;
// 16: DXT5). nullptr when there is none.
RotateFlipKernel rotate_flip_raw_kernel(uint32_t transform, uint32_t element_bytes);
RotateFlipKernel rotate_flip_texture_kernel(uint32_t transform, uint32_t block_bytes, bool rgtc1);

VideoFilter *create_filter_rotate_flip(const RotateFlipParams &params);
void filter_rotate_flip_process(VideoFilter *filter);
void filter_rotate_flip_destroy(VideoFilter *filter);
