#pragma once
// Texture decode node: the texture planes of one HAP frame to 8-bit RGBA pixels.
#include <cstdint>

#include "container/texdec/dxt_decoder.h"
#include "container/hap/hap_frame.h"
#include "media/video_filter.h"

struct DxtDecodeParams {
    HapCodec codec;
    uint32_t width;
    uint32_t height;
    uint8_t flag;    // no effect on the pixels
    PixFmt pix_fmt;  // PixFmt_RGBA8 or PixFmt_RGBX8
    uint8_t option;  // HAP Q Alpha: non-zero for the float YCoCg conversion
};

// Output planes cover whole blocks (size rounded up to 4); the visible size stays.
// Throws "invalid codec", "Invalid pixel format" (not a 4-byte R, G, B, A layout)
// or "Can't create dxt decodeur ctx" (a side above 65535).
VideoFilter *create_filter_dxt_decode(const DxtDecodeParams &params);
void dxt_decode_process(VideoFilter *filter);
void dxt_decode_destroy(VideoFilter *filter);
