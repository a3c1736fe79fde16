#include "pipeline/filters/ycocg_filter.h"

#include <climits>
#include <cstdio>
#include <new>

extern "C" {
#include <libswscale/swscale.h>
}

#include "media/filter_node.h"
#include "media/scale/scale_filter.h"
#include "pipeline/filters/filter_checks.h"
#include "pipeline/filters/row_slices.h"
#include "platform/core/dispatch.h"
#include "platform/core/errors.h"

namespace {

struct YCoCgToRgbData {
    VideoFrame mid;  // full-resolution Y, Co/Cg (and alpha) planes
    VideoFrame out;
    uint32_t width;
    uint32_t height;
    uint8_t threaded;
    PixFmt in_fmt;
    int in_ff;
    PixFmt mid_fmt;
    int mid_ff;
    PixFmt out_fmt;
    RowKernel kernel;
    RowSlicePlan slices;
    SwsContext *sws;
};

inline uint8_t clamp8(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

template <int CoPlane, int CgPlane, bool Alpha>
void ycocg_rows(ZELQA_ROW_KERNEL_ARGS) {
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *y = src[0] + int64_t(r) * src_stride[0];
        const uint8_t *co = src[CoPlane] + int64_t(r) * src_stride[CoPlane];
        const uint8_t *cg = src[CgPlane] + int64_t(r) * src_stride[CgPlane];
        const uint8_t *a = Alpha ? src[3] + int64_t(r) * src_stride[3] : nullptr;
        uint8_t *d = dst[0] + int64_t(r) * dst_stride[0];
        for (uint32_t x = 0; x < width; ++x) {
            const int Y = y[x], Co = co[x], Cg = cg[x];
            d[4 * x + 0] = clamp8(Y + Co - Cg);
            d[4 * x + 1] = clamp8(Y + Cg - 128);
            d[4 * x + 2] = clamp8(Y - Cg - Co + 256);
            d[4 * x + 3] = Alpha ? a[x] : 255;
        }
    }
}

void ycocg_destroy(VideoFilter *filter) {
    filter_node_destroy<YCoCgToRgbData>(filter, [](YCoCgToRgbData *d) {
        video_frame_free_planes(&d->mid);
        video_frame_free_planes(&d->out);
        if (d->sws) sws_freeContext(d->sws);
    });
}

int checked_int_stride(int64_t ls) {
    if (ls > INT_MAX || ls < INT_MIN) throw_process_error("Invalid linesize");
    return int(ls);
}

void upsample_chroma(YCoCgToRgbData *d, const VideoFrame *in) {
    d->sws = sws_getCachedContext(d->sws, int(d->width), int(d->height), AVPixelFormat(d->in_ff), int(d->width),
                                  int(d->height), AVPixelFormat(d->mid_ff), SWS_BILINEAR | SWS_FULL_CHR_H_INT, nullptr,
                                  nullptr, nullptr);
    if (!d->sws) throw_process_error("Fail to create scaler");
    int *inv_table = nullptr, *table = nullptr;
    int src_range = 0, dst_range = 0, brightness = 0, contrast = 0, saturation = 0;
    sws_getColorspaceDetails(d->sws, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast, &saturation);
    const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(d->sws, bt709, src_range, bt709, dst_range, brightness, contrast, saturation);

    const uint8_t *src[4] = {};
    int src_stride[4] = {};
    uint8_t *dst[4] = {};
    int dst_stride[4] = {};
    for (uint32_t i = 0; i < 4; ++i) {
        if (i < in->nb_planes) {
            src[i] = in->data[i];
            src_stride[i] = checked_int_stride(in->linesize[i]);
        }
        if (i < d->mid.nb_planes) {
            dst[i] = d->mid.data[i];
            dst_stride[i] = checked_int_stride(d->mid.linesize[i]);
        }
    }
    sws_scale(d->sws, src, src_stride, 0, int(d->height), dst, dst_stride);
}

void run_rows(const YCoCgToRgbData *d, uint32_t first_row, uint32_t rows) {
    uint8_t *src[4], *dst[4];
    int64_t src_stride[4], dst_stride[4];
    row_slice_planes(&d->mid, first_row, src, src_stride);
    row_slice_planes(&d->out, first_row, dst, dst_stride);
    d->kernel(dst, src, dst_stride, src_stride, d->width, rows);
}

void ycocg_process(VideoFilter *filter) {
    auto *d = filter_node_data<YCoCgToRgbData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (!in->is_raw) throw_process_error("Filter Ycocg : Unsupported pixel data");
    if (in->pix_fmt != d->in_fmt) {
        printf("Error, unknown pix fmt : %s\n", get_pix_fmt_name(in->pix_fmt));
        throw_process_error("Filter Ycocg to rgb : unsupported pix fmt");
    }
    // libswscale reads width x height through the input's planes: refuse anything smaller.
    if (!raw_frame_fits(in, d->in_fmt, d->width, d->height)) throw_process_error("Invalid input frame size");

    upsample_chroma(d, in);
    if (d->threaded) {
        dispatch_apply(d->slices.count, [d](size_t i) {
            if (d->slices.rows[i]) run_rows(d, d->slices.first_row[i], d->slices.rows[i]);
        });
    } else {
        run_rows(d, 0, d->height);
    }
    d->out.frame_index = in->frame_index;
    filter->output = &d->out;
}

}  // namespace

int pix_fmt_to_ff(PixFmt pix_fmt) { return get_ff_pix_fmt(pix_fmt); }

void ycocg_cgco_to_rgbx8_c(ZELQA_ROW_KERNEL_ARGS) {
    ycocg_rows<2, 1, false>(dst, src, dst_stride, src_stride, width, rows);
}

void ycocg_cocg_alpha_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS) {
    ycocg_rows<1, 2, true>(dst, src, dst_stride, src_stride, width, rows);
}

VideoFilter *create_filter_ycocg_to_rgb(const YCoCgToRgbParams &params) {
    return filter_node_create<YCoCgToRgbData>(
        VideoFilterType_YCoCgToRgb, 1, ycocg_process, ycocg_destroy, [&](YCoCgToRgbData *d) -> VideoFrame * {
            video_frame_init(&d->mid);
            video_frame_init(&d->out);
            d->width = params.width;
            d->height = params.height;
            d->threaded = params.threaded;
            d->in_fmt = PixFmt(params.pix_fmt);
            switch (params.pix_fmt) {
            case PixFmt_YUV420:
                d->mid_fmt = PixFmt_YUV444;
                d->out_fmt = PixFmt_RGBX8;
                d->kernel = ycocg_cgco_to_rgbx8_c;
                break;
            case PixFmt_YUVA420:
                d->mid_fmt = PixFmt_YUVA444;
                d->out_fmt = PixFmt_RGBA8;
                d->kernel = ycocg_cocg_alpha_to_rgba8_c;
                break;
            default: throw_process_error("Unsupported pix fmt ycocg_to_rgb");
            }
            video_frame_realloc_if_changed(&d->mid, d->width, d->height, d->mid_fmt, 1);
            video_frame_realloc_if_changed(&d->out, d->width, d->height, d->out_fmt, 1);
            d->in_ff = pix_fmt_to_ff(d->in_fmt);
            d->mid_ff = pix_fmt_to_ff(d->mid_fmt);
            if (d->threaded) plan_row_slices(&d->slices, d->height, row_slice_core_count());
            return &d->out;
        });
}
