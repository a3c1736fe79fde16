#pragma once
// Texture frames with varied blocks, and their pixels through the block decoders,
// for comparing block operations with the same operation on pixels.
#include <cstdint>
#include <string>
#include <vector>

#include "media/video_filter.h"
#include "media/video_frame.h"

namespace blockops {

// Random blocks of every kind the layout allows (DXT1 three-colour blocks that a
// DXT5 colour half can hold, DXT5 colour halves with c0 <= c1, both RGTC1 modes).
VideoFrame *random_texture_frame(VideoFrameDataDescriptor desc, uint32_t width, uint32_t height, uint32_t seed);

// RGBA pixels of a texture frame over its allocated (block-rounded) size; HAP Q
// and HAP Q Alpha use the float YCoCg rule.
std::vector<uint8_t> texture_pixels(const VideoFrame *frame);

// Runs a node on one input; returns the exception text or "".
std::string run_node(VideoFilter *filter, VideoFrame *input);

struct NodeHolder {
    VideoFilter *f;
    explicit NodeHolder(VideoFilter *f) : f(f) {}
    ~NodeHolder() { video_filter_free(f); }
    NodeHolder(const NodeHolder &) = delete;
    NodeHolder &operator=(const NodeHolder &) = delete;
};

}  // namespace blockops
