#include "container/texdec/dxt_decode_filter.h"

#include <new>

#include "media/filter_node.h"
#include "platform/core/errors.h"

namespace {

struct DxtDecodeFilterData {
    VideoFrame output;
    HapCodec codec;
    uint32_t width;
    uint32_t height;
    DxtDecContext context;
    uint8_t flag;
};

uint32_t decoder_codec(HapCodec codec) {
    switch (codec) {
    case HapCodec_HAP: return DxtDecCodec_DXT1;
    case HapCodec_HAPA: return DxtDecCodec_DXT5;
    case HapCodec_HAPQ: return DxtDecCodec_YCoCg;
    case HapCodec_HAPQA: return DxtDecCodec_YCoCg_RGTC1;
    case HapCodec_HAPAlphaOnly: return DxtDecCodec_RGTC1_Luma;
    case HapCodec_HAPR: return DxtDecCodec_BC7;
    }
    return ~0u;
}

}  // namespace

VideoFilter *create_filter_dxt_decode(const DxtDecodeParams &params) {
    return filter_node_create<DxtDecodeFilterData>(
        VideoFilterType_DxtDecode, 1, dxt_decode_process, dxt_decode_destroy,
        [&](DxtDecodeFilterData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->codec = params.codec;
            d->width = params.width;
            d->height = params.height;
            d->flag = params.flag;
            if (params.codec > HapCodec_HAPR) throw_process_error("invalid codec");
            // The block decoders write 4 bytes per pixel, 16 per block row.
            if (params.pix_fmt != PixFmt_RGBA8 && params.pix_fmt != PixFmt_RGBX8)
                throw_process_error("Invalid pixel format");
            // The decoder's sides are 16-bit.
            if (params.width > 0xFFFF || params.height > 0xFFFF) throw_process_error("Can't create dxt decodeur ctx");
            video_frame_alloc_round(&d->output, params.width, params.height, params.pix_fmt, 0,
                                    round_up_mult_4(params.width), round_up_mult_4(params.height));
            if (dxtdec_init(&d->context, uint16_t(params.width), uint16_t(params.height), decoder_codec(params.codec),
                            params.option) != 0)
                throw_process_error("Can't create dxt decodeur ctx");
            return &d->output;
        });
}

void dxt_decode_process(VideoFilter *filter) {
    auto *d = filter_node_data<DxtDecodeFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    // The walker reads whole textures of the node's size: refuse shorter planes.
    const uint64_t blocks = uint64_t(get_dxt_block_count(d->width)) * get_dxt_block_count(d->height);
    const bool two = d->context.codec == DxtDecCodec_YCoCg_RGTC1;
    const uint64_t bytes0 =
        blocks * (d->context.codec == DxtDecCodec_DXT1 || d->context.codec == DxtDecCodec_RGTC1_Luma ? 8 : 16);
    if (!in->data[0] || in->data_size[0] < bytes0 || (two && (!in->data[1] || in->data_size[1] < blocks * 8)))
        throw_process_error("Invalid inputs");
    dxtdec_decode_frame(&d->context, in->data[0], in->data[1], d->output.data[0], d->output.linesize[0]);
    d->output.frame_index = in->frame_index;
}

void dxt_decode_destroy(VideoFilter *filter) {
    filter_node_destroy<DxtDecodeFilterData>(filter,
                                             [](DxtDecodeFilterData *d) { video_frame_free_planes(&d->output); });
}
