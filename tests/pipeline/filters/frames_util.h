#pragma once
// Frames for the filter node tests: owned frames filled from packed bytes, and the rows of
// a frame's plane as packed bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/video_frame.h"

namespace pipetest {

// A frame that frees itself.
struct Frame {
    VideoFrame *f = video_frame_new();
    Frame() = default;
    Frame(uint32_t w, uint32_t h, PixFmt fmt, uint8_t align = 1) { video_frame_alloc(f, w, h, fmt, align); }
    ~Frame() { video_frame_destroy(&f); }
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;
    VideoFrame *operator->() { return f; }
};

// Rows of plane i (row_bytes each) from packed bytes.
inline void fill_plane(VideoFrame *f, uint32_t plane, const uint8_t *bytes, size_t row_bytes, uint32_t rows) {
    for (uint32_t r = 0; r < rows; ++r)
        memcpy(f->data[plane] + int64_t(r) * f->linesize[plane], bytes + r * row_bytes, row_bytes);
}

// Rows of plane i as packed bytes.
inline std::vector<uint8_t> plane_bytes(const VideoFrame *f, uint32_t plane, size_t row_bytes, uint32_t rows) {
    std::vector<uint8_t> out(row_bytes * rows);
    for (uint32_t r = 0; r < rows; ++r)
        memcpy(out.data() + r * row_bytes, f->data[plane] + int64_t(r) * f->linesize[plane], row_bytes);
    return out;
}

}  // namespace pipetest
