#include "container/texdec/dxt_crop_convert.h"

#include <cstring>
#include <new>

#include "media/filter_node.h"
#include "platform/core/errors.h"

namespace {

struct DxtCropConvertFilterData {
    VideoFrame *output;
    uint32_t in_codec;
    uint32_t out_codec;
    uint32_t conversion;
    uint32_t src_width, src_height;
    uint32_t out_width, out_height;
    uint32_t crop_left, crop_top, crop_right, crop_bottom;
    uint32_t repack;
    uint64_t src_offset[2];
    uint32_t bytes_per_copy[2];
    uint32_t copy_count;
    uint8_t nb_out_planes;
    uint8_t first_src_plane;
    uint32_t blocks_per_row;
    DxtRepackKernel kernel;
};

struct Conversion {
    uint32_t out_codec;
    uint32_t src_block_bytes[2];
    DxtRepackKernel kernel;
    uint8_t nb_out_planes;
    uint8_t first_src_plane;
};

// Throws "Dxt Crop convert : invalid codec choice" or "Unknown codec".
Conversion pick_conversion(uint32_t codec, uint32_t conversion) {
    auto bad = [] { throw_process_error("Dxt Crop convert : invalid codec choice"); };
    switch (codec) {
    case HapCodec_HAP:
        if (conversion == 0) return {HapCodec_HAP, {8, 0}, nullptr, 1, 0};
        if (conversion == 3) return {HapCodec_HAPA, {8, 0}, dxt_repack_dxt1_to_dxt5, 1, 0};
        break;
    case HapCodec_HAPA:
        if (conversion == 0) return {HapCodec_HAPA, {16, 0}, nullptr, 1, 0};
        if (conversion == 1) return {HapCodec_HAP, {16, 0}, dxt_repack_dxt5_to_dxt1, 1, 0};
        if (conversion == 2) return {HapCodec_HAPAlphaOnly, {16, 0}, dxt_repack_dxt5_to_rgtc1, 1, 0};
        break;
    case HapCodec_HAPQ:
        if (conversion == 0) return {HapCodec_HAPQ, {16, 0}, nullptr, 1, 0};
        // Plane 1 (alpha) is filled, not read.
        if (conversion == 3) return {HapCodec_HAPQA, {16, 0}, nullptr, 1, 0};
        break;
    case HapCodec_HAPQA:
        if (conversion == 0) return {HapCodec_HAPQA, {16, 8}, nullptr, 2, 0};
        if (conversion == 1) return {HapCodec_HAPQ, {16, 8}, nullptr, 1, 0};
        if (conversion == 2) return {HapCodec_HAPAlphaOnly, {16, 8}, nullptr, 1, 1};
        break;
    case HapCodec_HAPAlphaOnly:
        if (conversion == 0) return {HapCodec_HAPAlphaOnly, {8, 0}, nullptr, 1, 0};
        if (conversion == 4) return {HapCodec_HAPA, {8, 0}, dxt_repack_rgtc1_to_dxt5, 1, 0};
        break;
    case HapCodec_HAPR:
        if (conversion == 0) return {HapCodec_HAPR, {16, 0}, nullptr, 1, 0};
        break;
    default:
        if (conversion != 0) bad();
        throw_process_error("Unknown codec");
    }
    bad();
    return {};
}

}  // namespace

void check_dxt_crop(uint32_t *out_width, uint32_t *out_height, uint32_t width, uint32_t height, uint32_t crop_left,
                    uint32_t crop_top, uint32_t crop_right, uint32_t crop_bottom) {
    if (width == 0) throw_process_error("Src width 0");
    if (height == 0) throw_process_error("Src height 0");
    if (crop_left % 4) throw_process_error("Left crop not multiple of 4");
    if (crop_top % 4) throw_process_error("Top crop not multiple of 4");
    if (crop_left == 0 && crop_top == 0 && crop_right == 0 && crop_bottom == 0) {
        *out_width = width;
        *out_height = height;
        return;
    }
    if ((crop_left || crop_right) && width < 5) throw_process_error("Width too small for horizontal crop");
    if ((crop_top || crop_bottom) && height < 5) throw_process_error("height too small for vertical crop");
    // Signed on purpose: a side below 4 fails here even for a crop on the other axis.
    if (int64_t(crop_left) > int64_t(width) - 4) throw_process_error("Invalid left crop (> min_width)");
    if (crop_right > width - 4) throw_process_error("Invalid right crop (> min_width)");
    if (int64_t(crop_top) > int64_t(height) - 4) throw_process_error("Invalid top crop (> min_height)");
    if (crop_bottom > height - 4) throw_process_error("Invalid bottom crop (> min_height)");
    if (int64_t(width) - crop_left - crop_right <= 0) throw_process_error("Invalid horizontal crop");
    if (int64_t(height) - crop_top - crop_bottom <= 0) throw_process_error("Invalid vertical crop");
    *out_width = width - crop_left - crop_right;
    *out_height = height - crop_top - crop_bottom;
}

void get_dxt_crop_out_dim(uint32_t *out_width, uint32_t *out_height, const DxtCropConvertParams &p) {
    check_dxt_crop(out_width, out_height, p.width, p.height, p.crop_left, p.crop_top, p.crop_right, p.crop_bottom);
}

VideoFilter *create_filter_dxt_crop_convert(const DxtCropConvertParams &params) {
    return filter_node_create<DxtCropConvertFilterData>(
        VideoFilterType_DxtCropConvert, 1, filter_dxt_crop_convert_process, filter_dxt_crop_convert_destroy,
        [&](DxtCropConvertFilterData *d) -> VideoFrame * {
            d->in_codec = d->out_codec = params.codec;
            d->conversion = params.conversion;
            d->src_width = params.width;
            d->src_height = params.height;
            d->crop_left = params.crop_left;
            d->crop_top = params.crop_top;
            d->crop_right = params.crop_right;
            d->crop_bottom = params.crop_bottom;
            const Conversion c = pick_conversion(params.codec, params.conversion);
            d->out_codec = c.out_codec;
            d->kernel = c.kernel;
            d->repack = c.kernel ? 1 : 0;
            d->nb_out_planes = c.nb_out_planes;
            d->first_src_plane = c.first_src_plane;
            get_dxt_crop_out_dim(&d->out_width, &d->out_height, params);

            const uint64_t bs = get_dxt_block_count(d->src_width);
            const uint32_t bo = get_dxt_block_count(d->out_width);
            const uint32_t ro = get_dxt_block_count(d->out_height);
            d->blocks_per_row = bo;
            d->copy_count = ro;
            for (uint32_t k = 0; k < d->nb_out_planes; ++k) {
                const uint64_t b = c.src_block_bytes[d->first_src_plane + k];
                d->src_offset[k] = b * (bs * (d->crop_top / 4) + d->crop_left / 4);
                d->bytes_per_copy[k] = uint32_t(b * bo);
            }
            if (!d->kernel && d->crop_left == 0 && d->crop_right == 0) {
                // Full-width rows are contiguous in the source: one copy per plane.
                d->copy_count = 1;
                for (uint32_t k = 0; k < d->nb_out_planes; ++k) {
                    const uint64_t bytes = uint64_t(d->bytes_per_copy[k]) * ro;
                    if (bytes > UINT32_MAX) throw_process_error("Invalid plane size");
                    d->bytes_per_copy[k] = uint32_t(bytes);
                }
            }
            d->output = video_frame_new();
            video_frame_alloc_dxt(d->output, d->out_width, d->out_height,
                                  VideoFrameDataDescriptor(uint32_t(VideoFrameDxtData_HAP) + d->out_codec));
            return d->output;
        });
}

void filter_dxt_crop_convert_process(VideoFilter *filter) {
    auto *d = filter_node_data<DxtCropConvertFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    // The geometry was fixed for one codec and size: refuse other frames rather than
    // read past their planes.
    if (in->data_descriptor != uint32_t(VideoFrameDxtData_HAP) + d->in_codec)
        throw_process_error("Invalid data format");
    if (in->width != d->src_width) throw_process_error("Invalid width");
    if (in->height != d->src_height) throw_process_error("Invalid height");
    VideoFrame *out = d->output;
    for (uint32_t k = 0; k < d->nb_out_planes; ++k) {
        const uint32_t sp = d->first_src_plane + k;
        if (!in->data[sp] || !out->data[k]) throw_process_error("Invalid data plane");
        const uint8_t *src = in->data[sp] + d->src_offset[k];
        uint8_t *dst = out->data[k];
        for (uint32_t row = 0; row < d->copy_count; ++row) {
            if (d->kernel)
                d->kernel(dst, src, d->blocks_per_row);
            else
                std::memcpy(dst, src, d->bytes_per_copy[k]);
            src += in->linesize[sp];
            dst += out->linesize[k];
        }
    }
    if (d->in_codec == HapCodec_HAPQ && d->out_codec == HapCodec_HAPQA) {
        // Opaque alpha: these RGTC1 bytes decode to 255 at every pixel (indices 7, 1, 0).
        static const uint8_t opaque[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
        const uint32_t blocks = out->data_size[1] / 8;
        for (uint32_t i = 0; i < blocks; ++i) std::memcpy(out->data[1] + 8 * size_t(i), opaque, 8);
    }
    out->frame_index = in->frame_index;
}

void filter_dxt_crop_convert_destroy(VideoFilter *filter) {
    filter_node_destroy<DxtCropConvertFilterData>(filter,
                                                  [](DxtCropConvertFilterData *d) { video_frame_destroy(&d->output); });
}
