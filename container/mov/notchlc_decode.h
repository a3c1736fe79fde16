#pragma once
// Notch LC decode node (filter type 30): one LZ4-compressed sample of 12-bit luma,
// 12-bit 4:4:4 chroma and optional 12-bit alpha, decoded to 12-bit planes and, for the
// RGB outputs, converted to packed 8- or 16-bit RGB(A).
//
// Every size read from a sample is checked against the sample and the payload before
// use; a bad sample throws with flag VideoFrameError_Corrupt set on the output frame.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

struct NotchLcDecodeParams {
    PixFmt pix_fmt;  // 1, 4, 5, 6 (packed RGB) or 32, 33 (12-bit planar)
    uint32_t width;  // must equal the size stored in every frame
    uint32_t height;
    uint8_t slice_over_cores;  // 1: split each phase over the physical cores
};

constexpr uint32_t kNotchLcMaxSlices = 64;

struct SliceTable {
    uint32_t first[kNotchLcMaxSlices];
    uint32_t count[kNotchLcMaxSlices];  // 0 past the last slice
    uint32_t nb_slices;
};

// Row kernel: four destination and four source row pointers (null for an absent plane),
// their line sizes in bytes, the width in pixels and the number of rows.
using NotchLcConvertKernel = void (*)(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4],
                                      const int64_t src_ls[4], uint32_t width, uint32_t rows);

struct NotchLcDecoder {
    VideoFrame *out_frame;
    VideoFrame *yuv_frame;  // RGB outputs only
    uint32_t width, height;
    uint8_t decode_alpha;
    uint8_t convert_to_rgb;
    uint8_t slice_over_cores;
    uint8_t *payload;  // malloc, grows only; 64 zero bytes follow the payload
    uint32_t payload_size;
    uint64_t payload_capacity;
    SliceTable group_slices;      // 4-row groups (luma)
    SliceTable block_row_slices;  // 16-row groups (alpha, chroma)
    SliceTable row_slices;        // rows (conversion)
    NotchLcConvertKernel convert_kernel;
};

VideoFilter *create_filter_notchlc_decode(const NotchLcDecodeParams *params);
void notchlc_decode_process(VideoFilter *filter);
void notchlc_decode_destroy(VideoFilter *filter);
void notchlc_decoder_free(NotchLcDecoder *decoder);

// Slices of `units` units with at least `min_units` each over the physical cores.
void notchlc_slice_plan(SliceTable *table, uint32_t units, uint32_t min_units);
// The same for a given core count (1 to 64).
void notchlc_slice_plan_for_cores(SliceTable *table, uint32_t units, uint32_t min_units, uint32_t cores);

void notchlc_to_rgbx8(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4],
                      const int64_t src_ls[4], uint32_t width, uint32_t rows);
void notchlc_to_rgba8(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4],
                      const int64_t src_ls[4], uint32_t width, uint32_t rows);
void notchlc_to_rgbx16(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4],
                       const int64_t src_ls[4], uint32_t width, uint32_t rows);
void notchlc_to_rgba16(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4],
                       const int64_t src_ls[4], uint32_t width, uint32_t rows);
