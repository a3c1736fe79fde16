#include "pipeline/filters/bg_merge_filter.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "media/filter_node.h"
#include "media/kernels/row_kernels.h"
#include "pipeline/filters/filter_checks.h"
#include "pipeline/filters/row_slices.h"
#include "platform/core/dispatch.h"
#include "platform/core/errors.h"

namespace {

enum BgMergeMode : uint32_t {
    BgMergeMode_Copy = 0,
    BgMergeMode_Merge = 1,
    BgMergeMode_MergeOpacity = 2,
    BgMergeMode_Unset = 3,
};

struct BgMergeData {
    VideoFrame *output;
    PixFmt src_pix_fmt;
    PixFmt out_pix_fmt;
    uint32_t width;
    uint32_t height;
    uint32_t background;
    uint32_t alpha_mode;
    float opacity;
    uint8_t in_place;
    uint8_t sliced;
    uint32_t mode;
    RowSlicePlan slices;
    float colors[8];  // colour 1, then colour 2
    BgMergeKernel kernel;
    uint8_t avx2;
};

PixFmt output_format(PixFmt src, bool keep_alpha) {
    switch (src) {
    case PixFmt_RGBA8:
    case PixFmt_RGBX8: return keep_alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
    case PixFmt_RGBA16:
    case PixFmt_RGBX16: return keep_alpha ? PixFmt_RGBA16 : PixFmt_RGBX16;
    case PixFmt_RGBA32F:
    case PixFmt_RGBX32F: return keep_alpha ? PixFmt_RGBA32F : PixFmt_RGBX32F;
    default: throw_process_error("Unknown bg merge src format");
    }
}

void bg_merge_check_input(const BgMergeData *d, const VideoFrame *in) {
    if (!in) throw_process_error("Invalid no frame bg merge");
    if (in->width != d->width) {
        printf("Invalid src width bg merge : Found : %u ; Expected : %u\n", in->width, d->width);
        throw_process_error("Invalid src width bg merge");
    }
    if (in->height != d->height) {
        printf("Invalid src height bg merge : Found : %u ; Expected : %u\n", in->height, d->height);
        throw_process_error("Invalid src height bg merge");
    }
    if (in->pix_fmt != d->src_pix_fmt) {
        printf("Invalid src pix fmt bg merge : Found : %s ; Expected : %s\n", get_pix_fmt_name(in->pix_fmt),
               get_pix_fmt_name(d->src_pix_fmt));
        throw_process_error("Invalid src pix fmt bg merge");
    }
    // The kernels walk width x height pixels through the planes.
    if (!raw_frame_fits(in, d->src_pix_fmt, d->width, d->height)) throw_process_error("Invalid input frame size");
}

void bg_merge_run_slice(const BgMergeData *d, const VideoFrame *in, uint32_t first_row, uint32_t rows) {
    uint8_t *src[4], *dst[4];
    int64_t src_stride[4], dst_stride[4];
    row_slice_planes(in, first_row, src, src_stride);
    row_slice_planes(d->output, first_row, dst, dst_stride);
    d->kernel(dst, src, dst_stride, src_stride, d->width, rows, d->opacity, 0, first_row, d->colors);
}

void bg_merge_process(VideoFilter *filter) {
    auto *d = filter_node_data<BgMergeData>(filter);
    if (!filter->inputs) throw_process_error("Invalid inputs");
    const VideoFrame *in = filter->inputs[0];
    bg_merge_check_input(d, in);
    if (d->in_place) video_frame_copy_header(d->output, in);
    d->output->pix_fmt = d->out_pix_fmt;
    d->output->frame_index = in->frame_index;
    if (d->mode == BgMergeMode_Copy) {
        if (!d->in_place) video_frame_copy(d->output, in);
    } else if (d->sliced) {
        dispatch_apply(d->slices.count, [d, in](size_t i) {
            if (d->slices.rows[i]) bg_merge_run_slice(d, in, d->slices.first_row[i], d->slices.rows[i]);
        });
    } else {
        bg_merge_run_slice(d, in, 0, d->height);
    }
    filter->output = d->output;
}

void bg_merge_destroy(VideoFilter *filter) {
    filter_node_destroy<BgMergeData>(filter, [](BgMergeData *d) { video_frame_destroy(&d->output); });
}

}  // namespace

VideoFilter *create_filter_bg_merge(const BgMergeParams &params) {
    return filter_node_create<BgMergeData>(
        VideoFilterType_BgMerge, 1, bg_merge_process, bg_merge_destroy, [&](BgMergeData *d) -> VideoFrame * {
            d->output = video_frame_new();
            d->src_pix_fmt = PixFmt(params.src_pix_fmt);
            d->width = params.width;
            d->height = params.height;
            d->background = params.background;
            d->alpha_mode = params.alpha_mode;
            d->opacity = params.opacity;
            d->in_place = params.in_place;
            d->sliced = params.sliced;
            d->mode = BgMergeMode_Unset;
            if (d->background > BgMerge_CustomChecker) throw_process_error("Unknown background bg merge");
            // Exact comparisons: NaN is not 1.0.
            const bool full_opacity = d->opacity == 1.0f;
            if (d->background == BgMerge_None && full_opacity)
                d->out_pix_fmt = d->src_pix_fmt;
            else
                d->out_pix_fmt = output_format(d->src_pix_fmt, d->background == BgMerge_None);
            memcpy(d->colors, params.color1, sizeof(params.color1));
            memcpy(d->colors + 4, params.color2, sizeof(params.color2));
            d->avx2 = row_kernels_avx2_gate(params.allow_avx2 == 1) ? 1 : 0;
            if (d->sliced && d->height != 0) plan_row_slices(&d->slices, d->height, row_slice_core_count());

            // Codes past the table have no layout to merge either.
            if (d->src_pix_fmt >= PixFmt_Undefined) throw_process_error("Can't get pix descriptor : Unknown pixfmt");
            const bool has_alpha = get_pix_descriptor(d->src_pix_fmt).flags & PixDesc_Alpha;
            if (!has_alpha)
                d->mode = full_opacity ? BgMergeMode_Copy : BgMergeMode_MergeOpacity;
            else if (!full_opacity)
                d->mode = BgMergeMode_MergeOpacity;
            else if ((d->background == BgMerge_Black && d->alpha_mode == 0) || d->background == BgMerge_None)
                d->mode = BgMergeMode_Copy;
            else
                d->mode = BgMergeMode_Merge;
            if (d->mode != BgMergeMode_Copy) {
                d->kernel = bg_merge_find_kernel(d->src_pix_fmt, d->alpha_mode != 0, d->background, d->mode,
                                                 d->in_place != 0, d->avx2 != 0);
                if (!d->kernel) throw_process_error("Filter bg merge : unsupported pix fmt");
            }
            if (d->in_place)
                d->output->is_external = 1;
            else
                video_frame_alloc(d->output, d->width, d->height, d->out_pix_fmt, 1);
            return d->output;
        });
}
