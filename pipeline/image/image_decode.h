#pragma once
// Decode nodes of still images: one compressed PNG, JPEG or TIFF picture (plane 0 of a
// compressed-sample frame, data_size[0] bytes) into a raw frame of the size and layout
// fixed at creation. A picture of another size is an error, never rescaled. Warnings (an
// alpha mismatch, a CMYK picture) go into the node's message, which is about the last
// picture only.
//
// The PNG and JPEG nodes set the output's error flags before they throw (0x02 corrupt
// data, 0x08 resolution mismatch). Failures are ProcessError or std::bad_alloc.
#include <cstdint>

#include "media/video_filter.h"

struct ImageDecodeParams {
    uint32_t width;
    uint32_t height;
    PixFmt pix_fmt;          // PNG: RGBA8, RGBX8, RGBA16, RGBX16; TIFF: RGBA8, RGBX8
    uint8_t alpha_expected;  // the source was probed as having alpha
};

// Output lines are 64-byte aligned.
VideoFilter *create_filter_png_decode(const ImageDecodeParams &params);
// Output rows are packed (width x 4 bytes).
VideoFilter *create_filter_tiff_decode(const ImageDecodeParams &params);
// Always Packed RGBX8 with 64-byte aligned lines; a CMYK picture fills each pixel with its
// C, M, Y and K bytes.
VideoFilter *create_filter_jpeg_decode(uint32_t width, uint32_t height);
