#pragma once
// Helpers of the scale node tests: raw (tightly packed) pictures in and out of frames.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "media/scale/scale_filter.h"
#include "media/video_filter.h"
#include "media/video_frame.h"

namespace scaletest {

struct FrameDeleter {
    void operator()(VideoFrame *f) const { video_frame_destroy(&f); }
};
using FramePtr = std::unique_ptr<VideoFrame, FrameDeleter>;

struct FilterDeleter {
    void operator()(VideoFilter *f) const { video_filter_free(f); }
};
using FilterPtr = std::unique_ptr<VideoFilter, FilterDeleter>;

// Bytes of one row of plane i (whole pixel pairs for UYVY).
inline size_t row_bytes(PixFmt fmt, uint32_t width, uint32_t plane) {
    const PixDescriptor d = get_pix_descriptor(fmt);
    if (fmt == PixFmt_UYVY) return 2 * size_t(width + (width & 1));
    return size_t((width + d.sub_w[plane] - 1) / d.sub_w[plane]) * d.bytes_per_pixel[plane];
}

inline uint32_t plane_rows(PixFmt fmt, uint32_t height, uint32_t plane) {
    const PixDescriptor d = get_pix_descriptor(fmt);
    return (height + d.sub_h[plane] - 1) / d.sub_h[plane];
}

inline size_t raw_size(PixFmt fmt, uint32_t w, uint32_t h) {
    size_t n = 0;
    for (uint32_t i = 0; i < get_pix_descriptor(fmt).nb_planes; ++i) n += row_bytes(fmt, w, i) * plane_rows(fmt, h, i);
    return n;
}

// A frame with 64-byte aligned rows holding the packed planes of raw, one after another
// (ffmpeg's rawvideo order; planar RGB is R, G, B, A here).
inline FramePtr frame_from_raw(const std::vector<uint8_t> &raw, PixFmt fmt, uint32_t w, uint32_t h) {
    FramePtr f(video_frame_new());
    video_frame_alloc(f.get(), w, h, fmt, 1);
    size_t off = 0;
    for (uint32_t i = 0; i < f->nb_planes; ++i) {
        const size_t rb = row_bytes(fmt, w, i);
        for (uint32_t r = 0; r < plane_rows(fmt, h, i); ++r, off += rb)
            if (off + rb <= raw.size()) memcpy(f->data[i] + r * f->linesize[i], raw.data() + off, rb);
    }
    return f;
}

inline std::vector<uint8_t> raw_from_frame(const VideoFrame *f) {
    std::vector<uint8_t> raw;
    for (uint32_t i = 0; i < f->nb_planes; ++i) {
        const size_t rb = row_bytes(f->pix_fmt, f->width, i);
        for (uint32_t r = 0; r < plane_rows(f->pix_fmt, f->height, i); ++r) {
            const uint8_t *row = f->data[i] + r * f->linesize[i];
            raw.insert(raw.end(), row, row + rb);
        }
    }
    return raw;
}

inline ScaleFilterParams make_params(PixFmt src, uint32_t sw, uint32_t sh, PixFmt dst, uint32_t dw, uint32_t dh) {
    ScaleFilterParams p{};
    p.src_pix_fmt = src;
    p.src_w = sw;
    p.src_h = sh;
    p.dst_pix_fmt = dst;
    p.dst_w = dw;
    p.dst_h = dh;
    p.src_range = p.dst_range = 1;
    p.src_matrix = p.dst_matrix = 3;
    p.src_alpha_mode = p.dst_alpha_mode = 1;
    p.quality = 1;
    return p;
}

// Runs one frame through a new node and returns the output's packed planes.
inline std::vector<uint8_t> convert(const ScaleFilterParams &p, VideoFrame *input) {
    FilterPtr node(create_filter_scale(&p));
    node->inputs[0] = input;
    node->process(node.get());
    return raw_from_frame(node->output);
}

}  // namespace scaletest
