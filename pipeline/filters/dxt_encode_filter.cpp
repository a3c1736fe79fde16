#include "pipeline/filters/dxt_encode_filter.h"

#include <cstdio>
#include <new>

#include "media/filter_node.h"
#include "pipeline/filters/filter_checks.h"
#include "platform/core/aligned_alloc.h"
#include "platform/core/errors.h"
#include "texenc/dxtenc.h"

namespace {

struct DxtEncodeFilterData {
    uint8_t *buffer;  // 64-byte aligned, owned
    VideoFrame output;
    uint32_t width;
    uint32_t height;
    PixFmt pix_fmt;
    DxtEncContext ctx;
};

struct CodecRow {
    uint32_t enc_codec;
    VideoFrameDataDescriptor descriptor;
    DxtCodec planes[2];
    uint32_t nb_planes;
};

CodecRow codec_row(uint32_t hap_codec, bool luma) {
    switch (hap_codec) {
    case HapCodec_HAP: return {DXTENC_CODEC_DXT1, VideoFrameDxtData_HAP, {DxtCodec_DXT1}, 1};
    case HapCodec_HAPA: return {DXTENC_CODEC_DXT5, VideoFrameDxtData_HAPA, {DxtCodec_DXT5}, 1};
    case HapCodec_HAPQ: return {DXTENC_CODEC_YCOCG_DXT5, VideoFrameDxtData_HAPQ, {DxtCodec_DXT5}, 1};
    case HapCodec_HAPQA:
        return {DXTENC_CODEC_YCOCG_DXT5_ALPHA, VideoFrameDxtData_HAPQA, {DxtCodec_DXT5, DxtCodec_RGTC1}, 2};
    case HapCodec_HAPAlphaOnly:
        return {luma ? DXTENC_CODEC_RGTC1_LUMA : DXTENC_CODEC_RGTC1_ALPHA,
                VideoFrameDxtData_HAPAlphaOnly,
                {DxtCodec_RGTC1},
                1};
    default: return {DXTENC_CODEC_BC7, VideoFrameDxtData_HAPR, {DxtCodec_BC7}, 1};
    }
}

void dxt_encode_destroy(VideoFilter *filter) {
    filter_node_destroy<DxtEncodeFilterData>(filter, [](DxtEncodeFilterData *d) { zfree_aligned(d->buffer); });
}

void dxt_encode_process(VideoFilter *filter) {
    auto *d = filter_node_data<DxtEncodeFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (in->pix_fmt != d->pix_fmt) {
        printf("Invalid pix fmt : %s (expected : %s)\n", get_pix_fmt_name(in->pix_fmt), get_pix_fmt_name(d->pix_fmt));
        throw_process_error("Invalid pix fmt input");
    }
    // The encoder reads width x height pixels through the planes: check they are there.
    if (!raw_frame_fits(in, d->pix_fmt, d->width, d->height)) throw_process_error("Invalid input frame size");
    d->output.frame_index = in->frame_index;
    const uint8_t *planes[4] = {};
    int64_t strides[4] = {};
    for (uint32_t i = 0; i < in->nb_planes && i < 4; ++i) {
        planes[i] = in->data[i];
        strides[i] = in->linesize[i];
    }
    dxtenc_encode_frame(&d->ctx, d->buffer, planes, strides);
}

// The encoder's source layout for a PixFmt and whether that layout lacks alpha; false
// for the layouts the node refuses.
bool dxt_encode_pixel_format(PixFmt pix_fmt, uint32_t *encoder_format, bool *no_alpha) {
    struct Row {
        PixFmt pix_fmt;
        uint32_t encoder_format;
        bool no_alpha;
    };
    static const Row kRows[] = {
        {PixFmt_ARGB8, DXTENC_PIX_ARGB8, false},
        {PixFmt_RGBA8, DXTENC_PIX_RGBA8, false},
        {PixFmt_RGB8, DXTENC_PIX_RGB8, true},
        {PixFmt_BGR8, DXTENC_PIX_BGR8, true},
        {PixFmt_RGBX8, DXTENC_PIX_RGBA8, true},
        {PixFmt_RGBA16, DXTENC_PIX_RGBA16, false},
        {PixFmt_RGBX16, DXTENC_PIX_RGBA16, true},
        {PixFmt_PlanarRGB8, DXTENC_PIX_PLANAR_RGB8, true},
        {PixFmt_PlanarRGBA8, DXTENC_PIX_PLANAR_RGBA8, false},
        {PixFmt_PlanarRGB10, DXTENC_PIX_PLANAR_RGB10, true},
        {PixFmt_PlanarRGB12, DXTENC_PIX_PLANAR_RGB12, true},
        {PixFmt_PlanarRGB16, DXTENC_PIX_PLANAR_RGB16, true},
        {PixFmt_PlanarRGBA16, DXTENC_PIX_PLANAR_RGBA16, false},
    };
    for (const Row &r : kRows) {
        if (r.pix_fmt != pix_fmt) continue;
        *encoder_format = r.encoder_format;
        *no_alpha = r.no_alpha;
        return true;
    }
    return false;
}

}  // namespace

VideoFilter *create_filter_dxt_encode(const DxtEncodeParams &params) {
    return filter_node_create<DxtEncodeFilterData>(
        VideoFilterType_DxtEncode, 1, dxt_encode_process, dxt_encode_destroy,
        [&](DxtEncodeFilterData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->width = params.width;
            d->height = params.height;
            if (d->width == 0 || d->height == 0) throw_process_error("Invalid size (empty)");
            if (d->width > 65535 || d->height > 65535) throw_process_error("Invalid size (Out of range)");
            const uint8_t quality =
                params.quality == 1 || params.quality == 2 ? params.quality : uint8_t(DXTENC_QUALITY_SLOW);
            d->ctx.no_alpha = 0;
            if (params.hap_codec > HapCodec_HAPR) throw_process_error("Invalid hap codec");
            const CodecRow codec = codec_row(params.hap_codec, params.alpha_only_from_luma == 1);
            const PixFmt fmt = PixFmt(params.pix_fmt);
            uint32_t enc_format = 0;
            bool no_alpha = false;
            if (!dxt_encode_pixel_format(fmt, &enc_format, &no_alpha)) {
                printf("Invalid input fmt encode : %s\n", get_pix_fmt_name(fmt));
                throw_process_error("Invalid input fmt");
            }
            d->ctx.no_alpha = no_alpha ? 1 : 0;
            d->pix_fmt = fmt;
            if (dxtenc_init(&d->ctx, uint16_t(d->width), uint16_t(d->height), codec.enc_codec, quality, 1, enc_format,
                            DXTENC_PAD_REPEAT, 1, 0xf8) != 0)
                throw_process_error("Can't create dxt encoding");
            const uint32_t size =
                dxtenc_encoded_size(uint16_t(d->width), uint16_t(d->height), codec.enc_codec, DXTENC_PAD_REPEAT);
            d->buffer = static_cast<uint8_t *>(zalloc_aligned_or_throw(size));

            VideoFrame &out = d->output;
            out.width = d->width;
            out.height = d->height;
            out.alloc_width = round_up_mult_4(d->width);
            out.alloc_height = round_up_mult_4(d->height);
            out.data_descriptor = codec.descriptor;
            out.is_raw = 0;
            out.is_external = 1;
            out.nb_planes = codec.nb_planes;
            uint8_t *plane = d->buffer;
            for (uint32_t i = 0; i < codec.nb_planes; ++i) {
                const uint32_t block_bytes = get_dxt_block_bytes(codec.planes[i]);
                out.block_bytes[i] = uint8_t(block_bytes);
                out.linesize[i] = int64_t(out.alloc_width / 4) * block_bytes;
                out.alloc_size[i] = out.data_size[i] = uint32_t(out.linesize[i] * (out.alloc_height / 4));
                out.data[i] = plane;
                plane += out.data_size[i];
            }
            return &d->output;
        });
}
