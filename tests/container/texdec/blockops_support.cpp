#include "container/texdec/blockops_support.h"

#include <cstring>
#include <random>
#include <stdexcept>

#include "container/texdec/dxt_decoder.h"
#include "container/texdec/dxt_repack.h"

namespace blockops {

namespace {

void random_dxt1(uint8_t *b, std::mt19937 &rng) {
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(rng());
    const uint16_t c0 = uint16_t(b[0] | b[1] << 8), c1 = uint16_t(b[2] | b[3] << 8);
    if (c0 <= c1) {
        // Keep only three-colour blocks whose colours a DXT5 half can hold exactly.
        uint8_t tmp[8];
        while (!dxt1_block_to_four_colour(b, tmp)) {
            const uint32_t keep_low = rng() % 2 ? 0x55555555u : 0xFFFFFFFFu;
            uint32_t idx = uint32_t(rng()) & keep_low;
            if (keep_low == 0xFFFFFFFFu) {
                // indices 0 and 3 only: the end point colour and black
                uint32_t sel = uint32_t(rng());
                idx = 0;
                for (int j = 0; j < 16; ++j) idx |= ((sel >> j) & 1 ? 3u : 0u) << (2 * j);
                b[2] = b[0];
                b[3] = b[1];
            }
            std::memcpy(b + 4, &idx, 4);
        }
    }
}

}  // namespace

VideoFrame *random_texture_frame(VideoFrameDataDescriptor desc, uint32_t width, uint32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    VideoFrame *f = video_frame_new();
    video_frame_alloc_dxt(f, width, height, desc);
    for (uint32_t p = 0; p < f->nb_planes; ++p) {
        const uint32_t bb = f->block_bytes[p];
        const uint32_t blocks = f->data_size[p] / bb;
        for (uint32_t i = 0; i < blocks; ++i) {
            uint8_t *b = f->data[p] + size_t(i) * bb;
            if (desc == VideoFrameDxtData_HAP) {
                random_dxt1(b, rng);
            } else {
                for (uint32_t k = 0; k < bb; ++k) b[k] = uint8_t(rng());
            }
        }
    }
    return f;
}

std::vector<uint8_t> texture_pixels(const VideoFrame *frame) {
    uint32_t codec;
    switch (frame->data_descriptor) {
    case VideoFrameDxtData_HAP: codec = DxtDecCodec_DXT1; break;
    case VideoFrameDxtData_HAPA: codec = DxtDecCodec_DXT5; break;
    case VideoFrameDxtData_HAPQ: codec = DxtDecCodec_YCoCg; break;
    case VideoFrameDxtData_HAPQA: codec = DxtDecCodec_YCoCg_RGTC1; break;
    case VideoFrameDxtData_HAPAlphaOnly: codec = DxtDecCodec_RGTC1_Luma; break;
    default: throw std::runtime_error("no pixels for this texture");
    }
    const uint32_t w = frame->alloc_width, h = frame->alloc_height;
    DxtDecContext ctx;
    if (dxtdec_init(&ctx, uint16_t(w), uint16_t(h), codec, 1) != 0) throw std::runtime_error("init");
    std::vector<uint8_t> px(size_t(w) * h * 4);
    dxtdec_decode_frame(&ctx, frame->data[0], frame->data[1], px.data(), ptrdiff_t(w) * 4);
    return px;
}

std::string run_node(VideoFilter *filter, VideoFrame *input) {
    filter->inputs[0] = input;
    try {
        filter->process(filter);
    } catch (const std::exception &e) { return e.what(); }
    return "";
}

}  // namespace blockops
