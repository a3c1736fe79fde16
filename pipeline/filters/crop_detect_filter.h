#pragma once
// The crop-detect node: measures the fully transparent borders of each frame (alpha
// exactly zero), optionally rounded so the rest keeps multiples of 4, tells whether the
// frame needs its alpha, and can write the found rectangle into the frame. Its output is
// its input frame.
//
// Layouts measured: Packed RGBA8, RGBA16 LE, RGBA32f LE; Planar RGBA8, RGBA 16 bits LE,
// RGBA 32f LE, YUVA 422 (4:2:0), YUVA 444, YUVA 444 10 and 12 bits LE. A node made for
// another layout measures nothing (found stays 0).
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

struct CropDetectParams {
    uint32_t detect_mode;      // 1 measures the transparent borders; other values skip it
    uint8_t align_4;           // 1 rounds the borders so the rest keeps multiples of 4
    uint8_t alpha_as_grey;     // must be 0
    uint32_t alpha_need_mode;  // 0: needed whenever the layout has alpha; 1: test the pixels
    uint32_t pix_fmt;
    uint8_t write_back;  // 1: store the rectangle in the frame, relabel frames without need of alpha
};

// Reset at every run; read by the caller after the run.
struct CropDetectResult {
    uint8_t empty;         // every row fully transparent
    uint8_t alpha_needed;  // result of the alpha-need test
    uint8_t reserved;
    uint8_t found;  // at least one border is not 0
    uint32_t left;  // borders in pixels (0 when not found)
    uint32_t top;
    uint32_t right;
    uint32_t bottom;
};

// Type VideoFilterType_CropDetect, one input. Throws "not imp rgba as grey" or
// "not imp alpha need mode".
VideoFilter *create_filter_crop_detect(const CropDetectParams &params);

// The result record of a crop-detect node; nullptr for a node of another type.
const CropDetectResult *crop_detect_get_result(const VideoFilter *filter);
