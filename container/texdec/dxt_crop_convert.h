#pragma once
// Compressed-block crop and convert node: keeps the blocks of a crop rectangle of a
// texture frame and optionally re-packs them for another HAP codec, without
// decoding pixels.
#include <cstdint>

#include "container/texdec/dxt_repack.h"
#include "container/hap/hap_frame.h"
#include "media/video_filter.h"

struct DxtCropConvertParams {
    uint32_t width;
    uint32_t height;
    uint32_t codec;      // HapCodec of the input frames
    uint32_t crop_left;  // multiple of 4
    uint32_t crop_top;   // multiple of 4
    uint32_t crop_right;
    uint32_t crop_bottom;
    uint32_t conversion;  // 0 keep, 1 drop alpha, 2 alpha only, 3 add opaque alpha, 4 alpha-only to RGBA
};

// Validates the crop and writes the output size; throws on an invalid crop.
void check_dxt_crop(uint32_t *out_width, uint32_t *out_height, uint32_t width, uint32_t height, uint32_t crop_left,
                    uint32_t crop_top, uint32_t crop_right, uint32_t crop_bottom);
void get_dxt_crop_out_dim(uint32_t *out_width, uint32_t *out_height, const DxtCropConvertParams &params);

VideoFilter *create_filter_dxt_crop_convert(const DxtCropConvertParams &params);
void filter_dxt_crop_convert_process(VideoFilter *filter);
void filter_dxt_crop_convert_destroy(VideoFilter *filter);
