#include "pipeline/filters/crop_pad_filter.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "media/filter_node.h"
#include "pipeline/filters/filter_checks.h"
#include "platform/core/errors.h"

namespace {

// --- Crop ----------------------------------------------------------------------------

struct CropFilterData {
    VideoFrame output;  // planes point into the input's
    PixFmt pix_fmt;
    uint32_t row_offset[4];
    uint32_t col_offset[4];
    uint32_t out_width;
    uint32_t out_height;
    uint32_t src_width;
    uint32_t src_height;
    PixDescriptor desc;
};

void crop_destroy(VideoFilter *filter) {
    filter_node_destroy<CropFilterData>(filter, [](CropFilterData *) {});
}

void crop_process(VideoFilter *filter) {
    auto *d = filter_node_data<CropFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    // The offsets were worked out for one layout and size: a smaller frame would put the
    // planes outside the input.
    if (!raw_frame_fits(in, d->pix_fmt, d->src_width, d->src_height)) throw_process_error("Invalid input frame size");
    uint8_t *planes[4] = {};
    int64_t linesizes[4] = {};
    for (uint32_t i = 0; i < d->desc.nb_planes; ++i) {
        planes[i] = in->data[i] + int64_t(d->row_offset[i]) * in->linesize[i] +
                    int64_t(d->desc.bytes_per_pixel[i]) * d->col_offset[i];
        linesizes[i] = in->linesize[i];
    }
    video_frame_set_external_planes(&d->output, planes, linesizes, d->out_width, d->out_height, d->pix_fmt);
    d->output.frame_index = in->frame_index;
}

// --- Pad -----------------------------------------------------------------------------

struct PadFilterData {
    VideoFrame output;  // owned planes, destination size
    uint32_t src_width;
    uint32_t src_height;
    PixFmt pix_fmt;
    PixDescriptor desc;
    uint32_t nb_planes;
    uint32_t top;
    uint32_t bottom;
    uint32_t left;
    uint32_t right;
    uint64_t src_row_bytes[4];
    uint8_t fill[4][16];  // one pixel of margin per plane, bytes_per_pixel long
};

void pad_destroy(VideoFilter *filter) {
    filter_node_destroy<PadFilterData>(filter, [](PadFilterData *d) { video_frame_free_planes(&d->output); });
}

// count pixels of bpp bytes each, all equal to pixel.
void fill_pixels(uint8_t *dst, const uint8_t *pixel, uint32_t bpp, uint64_t count) {
    bool uniform = true;
    for (uint32_t b = 1; b < bpp; ++b) uniform = uniform && pixel[b] == pixel[0];
    if (uniform) {
        memset(dst, pixel[0], count * bpp);
        return;
    }
    for (uint64_t i = 0; i < count; ++i) memcpy(dst + i * bpp, pixel, bpp);
}

void pad_process(VideoFilter *filter) {
    auto *d = filter_node_data<PadFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (!raw_frame_fits(in, d->pix_fmt, d->src_width, d->src_height)) throw_process_error("Invalid input frame size");
    const uint64_t dst_width = uint64_t(d->left) + d->src_width + d->right;
    for (uint32_t i = 0; i < d->nb_planes; ++i) {
        const uint32_t bpp = d->desc.bytes_per_pixel[i];
        const uint8_t *fill = d->fill[i];
        uint8_t *q = d->output.data[i];
        const int64_t ls = d->output.linesize[i];
        for (uint32_t r = 0; r < d->top; ++r, q += ls) fill_pixels(q, fill, bpp, dst_width);
        const uint8_t *s = in->data[i];
        for (uint64_t r = 0; r < plane_rows(d->desc, i, d->src_height); ++r, q += ls, s += in->linesize[i]) {
            fill_pixels(q, fill, bpp, d->left);
            memcpy(q + uint64_t(d->left) * bpp, s, d->src_row_bytes[i]);
            fill_pixels(q + uint64_t(d->left) * bpp + d->src_row_bytes[i], fill, bpp, d->right);
        }
        for (uint32_t r = 0; r < d->bottom; ++r, q += ls) fill_pixels(q, fill, bpp, dst_width);
    }
    d->output.frame_index = in->frame_index;
}

void set_fill_words(PadFilterData *d, bool transparent) {
    memset(d->fill, 0, sizeof(d->fill));
    const float one = 1.0f;
    switch (d->pix_fmt) {
    case PixFmt_RGBA8:
        if (!transparent) d->fill[0][3] = 0xff;
        break;
    case PixFmt_RGBX8: d->fill[0][3] = 0xff; break;
    case PixFmt_RGBA16:
        if (!transparent) d->fill[0][6] = d->fill[0][7] = 0xff;
        break;
    case PixFmt_RGBX16: d->fill[0][6] = d->fill[0][7] = 0xff; break;
    case PixFmt_RGBA32F:
        if (!transparent) memcpy(&d->fill[0][12], &one, 4);
        break;
    case PixFmt_RGBX32F: memcpy(&d->fill[0][12], &one, 4); break;
    case PixFmt_PlanarRGBA8:
        if (!transparent) d->fill[3][0] = 0xff;
        break;
    default: break;  // all zero (Planar RGBA 16 bits included, alpha plane too)
    }
}

}  // namespace

bool crop_is_supported(PixFmt pix_fmt, uint32_t top, uint32_t left, uint32_t bottom, uint32_t right) {
    if (pix_fmt >= PixFmt_Undefined) {
        printf("Invalid src pix fmt crop Unknown\n");
        return false;
    }
    if (top == 0 && left == 0 && bottom == 0 && right == 0) return true;
    const PixDescriptor desc = get_pix_descriptor(pix_fmt);
    if (!(desc.flags & PixDesc_Yuv)) return true;
    if (pix_fmt == PixFmt_UYVYA) return false;
    if (pix_fmt == PixFmt_UYVY) {
        printf("Cas particulier UYVY\n");
        return left % 2 == 0 && right % 2 == 0;
    }
    if (desc.flags & PixDesc_Planar) {
        const uint32_t sw = desc.sub_w[1], sh = desc.sub_h[1];
        if (sw > 1 && (left % sw != 0 || right % sw != 0)) return false;
        if (sh > 1 && (top % sh != 0 || bottom % sh != 0)) return false;
        return true;
    }
    printf("Unsupported YUV Crop packed\n");
    return false;
}

VideoFilter *create_filter_crop(const CropFilterParams &params) {
    const PixFmt fmt = PixFmt(params.pix_fmt);
    if (!crop_is_supported(fmt, params.top, params.left, params.bottom, params.right)) {
        printf("Unsupported crop fmt : %s\n", get_pix_fmt_name(fmt));
        throw_process_error("Invalid crop fmt");
    }
    return filter_node_create<CropFilterData>(
        VideoFilterType_Crop, 1, crop_process, crop_destroy, [&](CropFilterData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            // 64 bits: huge margins must not wrap into a valid-looking crop.
            if (uint64_t(params.left) + params.right >= params.src_width)
                throw_process_error("Invalid horizontal crop");
            if (int64_t(params.src_height) - params.top - params.bottom <= 0)
                throw_process_error("Invalid vertical crop");
            if (!crop_is_supported(fmt, params.top, params.left, params.bottom, params.right))
                throw_process_error("Invalid fmt crop");
            d->pix_fmt = fmt;
            d->src_width = params.src_width;
            d->src_height = params.src_height;
            d->out_width = params.src_width - params.left - params.right;
            d->out_height = params.src_height - params.top - params.bottom;
            d->desc = get_pix_descriptor(fmt);
            for (uint32_t i = 0; i < 4; ++i) {
                d->row_offset[i] = params.top;
                d->col_offset[i] = params.left;
            }
            if (fmt == PixFmt_UYVY) {
                d->col_offset[0] = params.left / 2;  // in 4-byte pixel pairs
            } else {
                for (uint32_t i = 0; i < d->desc.nb_planes; ++i) {
                    if (d->desc.sub_w[i] > 1) d->col_offset[i] = params.left / d->desc.sub_w[i];
                    if (d->desc.sub_h[i] > 1) d->row_offset[i] = params.top / d->desc.sub_h[i];
                }
            }
            return &d->output;
        });
}

VideoFilter *create_filter_pad(const PadFilterParams &params) {
    const PixFmt fmt = PixFmt(params.pix_fmt);
    switch (fmt) {
    case PixFmt_RGBA8:
    case PixFmt_RGB8:
    case PixFmt_RGBX8:
    case PixFmt_RGBA16:
    case PixFmt_RGBX16:
    case PixFmt_RGBA32F:
    case PixFmt_RGBX32F:
    case PixFmt_PlanarRGB8:
    case PixFmt_PlanarRGBA8:
    case PixFmt_PlanarRGB16:
    case PixFmt_PlanarRGBA16:
    case PixFmt_Grey8: break;
    default:
        printf("Error, unknown pix fmt : %s\n", get_pix_fmt_name(fmt));
        throw_process_error("Filter Pad : unsupported pix fmt");
    }
    return filter_node_create<PadFilterData>(
        VideoFilterType_Pad, 1, pad_process, pad_destroy, [&](PadFilterData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->pix_fmt = fmt;
            d->src_width = params.src_width;
            d->src_height = params.src_height;
            uint64_t dst_w, dst_h;
            if (params.explicit_margins) {
                d->left = params.left;
                d->top = params.top;
                d->right = params.right;
                d->bottom = params.bottom;
                dst_w = uint64_t(d->left) + d->src_width + d->right;
                dst_h = uint64_t(d->top) + d->src_height + d->bottom;
                if (dst_w > UINT32_MAX || dst_h > UINT32_MAX) throw_process_error("Invalid plane size");
            } else {
                if (params.dst_width < params.src_width) throw_process_error("Pad filter : src > dst W");
                if (params.dst_height < params.src_height) throw_process_error("Pad filter : src > dst H");
                const uint32_t dh = params.dst_height - params.src_height;
                const uint32_t dw = params.dst_width - params.src_width;
                d->top = dh / 2 + dh % 2;  // the odd row or column goes to the top or left
                d->bottom = dh / 2;
                d->left = dw / 2 + dw % 2;
                d->right = dw / 2;
                dst_w = params.dst_width;
                dst_h = params.dst_height;
            }
            d->desc = get_pix_descriptor(fmt);
            d->nb_planes = d->desc.nb_planes;
            for (uint32_t i = 0; i < d->nb_planes; ++i)
                d->src_row_bytes[i] = plane_row_bytes(d->desc, fmt, i, d->src_width);
            set_fill_words(d, params.transparent != 0);
            video_frame_alloc(&d->output, uint32_t(dst_w), uint32_t(dst_h), fmt, 1);
            return &d->output;
        });
}
