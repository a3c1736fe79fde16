#pragma once
// Checks the pipeline's filter nodes make before touching an input frame's planes.
#include <cstdint>

#include "media/video_frame.h"

// True when frame holds raw pixels of pix_fmt, exactly width x height, and every plane
// of the layout is present and large enough for those rows (line size at least one row
// of pixels, data size covering every row, whether the line size is negative or not).
bool raw_frame_fits(const VideoFrame *frame, PixFmt pix_fmt, uint32_t width, uint32_t height);

// Bytes of one row of plane i of a layout, width pixels wide (UYVY and V210 included).
uint64_t plane_row_bytes(const PixDescriptor &desc, PixFmt pix_fmt, uint32_t plane, uint32_t width);
// Rows of plane i for a frame of height rows.
uint64_t plane_rows(const PixDescriptor &desc, uint32_t plane, uint32_t height);
