#pragma once
// The texture encode node: one raw frame into the block-compressed textures of one HAP
// output (DXT1, DXT5, YCoCg-DXT5, YCoCg-DXT5 + RGTC1 alpha, RGTC1 or BC7).
//
// One encoder context and one 64-byte aligned texture buffer live as long as the node;
// the output frame describes that buffer (external planes) and a run allocates nothing.
// The encoder runs as one slice on the calling thread.
#include <cstdint>

#include "container/hap/hap_frame.h"
#include "media/video_filter.h"
#include "media/video_frame.h"

struct DxtEncodeParams {
    uint32_t hap_codec;  // HapCodec 0..5
    uint32_t width;      // size of the frames the node will receive, 1..65535
    uint32_t height;
    uint32_t pix_fmt;              // PixFmt of those frames
    uint8_t quality;               // 1 fast, 2 normal, anything else slow
    uint8_t alpha_only_from_luma;  // HAP Alpha-only: 1 from the luma, 0 from the alpha
};

// Type VideoFilterType_DxtEncode, one input. Throws "Invalid size (empty)", "Invalid size
// (Out of range)", "Invalid hap codec", "Invalid input fmt" or "Can't create dxt encoding".
VideoFilter *create_filter_dxt_encode(const DxtEncodeParams &params);
