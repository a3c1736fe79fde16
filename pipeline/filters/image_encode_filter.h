#pragma once
// PNG and JPEG encode nodes: one raw frame into a still image held in memory (snapshots).
// The output frame is one compressed sample (VideoFramePngData or VideoFrameJpegData)
// owned by the node and replaced at every run; after a failure it holds no image.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

struct PngEncodeParams {
    uint8_t channels;   // 1 grey, 2 grey-alpha, 3 RGB, 4 RGBA
    uint8_t bit_depth;  // 8 or 16
    uint32_t width;     // not read: the size comes from the input
    uint32_t height;
    uint32_t compression;  // 0 fast, 1 smaller, other values libpng's defaults
};

struct JpegEncodeParams {
    uint32_t width;
    uint32_t height;
    uint32_t quality;  // 0 becomes 1, above 100 becomes 100
};

// Type VideoFilterType_PngEncode, one input. Packed RGBA8/RGBX8/RGBA16/RGBX16 with 3
// channels drop their fourth sample; 16-bit little-endian samples are stored big-endian.
VideoFilter *create_filter_png_encode(const PngEncodeParams &params);

// Type VideoFilterType_JpegEncode, one input: Packed RGBA8 or RGBX8 (fourth byte ignored),
// 4:2:0, fast DCT. Throws "Fail to init jpeg encoding".
VideoFilter *create_filter_jpeg_encode(const JpegEncodeParams &params);
