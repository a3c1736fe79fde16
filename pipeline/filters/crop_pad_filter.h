#pragma once
// Crop and pad nodes on raw frames.
//
// The crop node copies nothing: its output frame points into the input frame's planes
// and lives exactly as long as that input. The pad node copies a frame into a larger one
// of its own (allocated once) and fills the margins with black, opaque or transparent.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

struct CropFilterParams {
    uint32_t pix_fmt;
    uint32_t src_width;
    uint32_t src_height;
    uint32_t top;  // pixels removed on each side
    uint32_t left;
    uint32_t bottom;
    uint32_t right;
};

struct PadFilterParams {
    uint32_t transparent;  // non-zero: alpha of the margins 0 (layouts with alpha only)
    uint32_t pix_fmt;
    uint32_t src_width;
    uint32_t src_height;
    uint32_t dst_width;  // centred mode
    uint32_t dst_height;
    uint8_t explicit_margins;  // non-zero: the four margins below instead of centring
    uint32_t left;
    uint32_t top;
    uint32_t right;
    uint32_t bottom;
};

// Whether a crop of this layout keeps whole chroma samples (printing the reason of a
// refusal, or the UYVY note).
bool crop_is_supported(PixFmt pix_fmt, uint32_t top, uint32_t left, uint32_t bottom, uint32_t right);

// Type VideoFilterType_Crop, one input. Throws "Invalid crop fmt", "Invalid horizontal
// crop" or "Invalid vertical crop".
VideoFilter *create_filter_crop(const CropFilterParams &params);

// Type VideoFilterType_Pad, one input. Layouts: Packed RGBA8, RGB8, RGBX8, RGBA16, RGBX16,
// RGBA32f, RGBX32f, Planar RGB8, RGBA8, RGB16, RGBA16 and Grey8; others throw
// "Filter Pad : unsupported pix fmt".
VideoFilter *create_filter_pad(const PadFilterParams &params);
