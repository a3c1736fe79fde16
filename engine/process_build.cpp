#include "engine/process_build.h"

#include "engine/process_outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "container/hap/hap.h"
#include "container/mov/mov_demuxer.h"
#include "container/mov/notchlc_decode.h"
#include "container/texdec/dxt_crop_convert.h"
#include "container/texdec/dxt_decode_filter.h"
#include "container/texdec/rotate_flip.h"
#include "media/scale/scale_filter.h"
#include "pipeline/filters/crop_pad_filter.h"
#include "pipeline/filters/dxt_encode_filter.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/filters/ycocg_filter.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/source/ff_video_demuxer.h"
#include "pipeline/source/img_seq_demuxer.h"
#include "platform/core/errors.h"

namespace {

bool is_image_source(const MediaInfo *info) { return info->video_src_type == MediaInfoVideoSrc_Image; }

bool is_encodable_pix_fmt(PixFmt f) {
    return f <= PixFmt_RGBX16 || (f >= PixFmt_PlanarRGB8 && f <= PixFmt_PlanarRGBA16);
}

bool is_rotatable_pix_fmt(PixFmt f) {
    return f <= PixFmt_Grey32F || f == PixFmt_YUV444 || f == PixFmt_YUVA444 || f == PixFmt_YUV444_10 ||
           f == PixFmt_YUVA444_10 || f == PixFmt_YUV444_12 || f == PixFmt_YUVA444_12;
}

bool is_yuv_pix_fmt(PixFmt f) { return f < PixFmt_Undefined && (get_pix_descriptor(f).flags & PixDesc_Yuv); }

bool alpha_conversion_needed(uint32_t src_kind, uint32_t dst_kind) {
    return (src_kind == 0 && dst_kind == 1) || (src_kind == 1 && dst_kind == 0);
}

// Scale quality of the settings (0 bilinear, 1 bicubic, 2 lanczos) to the node's.
uint32_t scale_quality_from_setting(uint32_t q) {
    if (q <= 2) return q + 1;
    printf("Warning : Unknown scaling quality (default to bilinear)\n");
    return 1;
}

bool crop_item_has_edge(const HAPStandalone_CropParamsItem &item) {
    return item.crop_l || item.crop_t || item.crop_r || item.crop_b;
}

// Appends a node; a node the branch cannot take is freed before the failure passes on.
void add_node(VideoGraphTreeBranch *branch, VideoFilter *node) {
    try {
        branch_add_filter(branch, node);
    } catch (...) {
        video_filter_free(node);
        throw;
    }
}

// The current state of a branch being built: layout and size of its last output.
struct Cursor {
    PixFmt pix_fmt;
    uint32_t width;
    uint32_t height;
};

struct BuildState {
    HapStandaloneProcess *ctx;
    uint32_t src_alpha_kind;  // 2 none
    uint32_t dst_alpha_kind;
    PixFmt decode_fmt;  // D
    PixFmt intermediate_fmt;
    uint32_t src_range;  // colour range handed to the scale nodes for the source side
};

// YUV matrix of the source as the probe found it.
uint32_t info_matrix(const BuildState &st) { return st.ctx->src_info->color_matrix; }

ScaleFilterParams scale_params(const BuildState &st, const Cursor &from, PixFmt to, uint32_t to_w, uint32_t to_h) {
    const MediaInfo *info = st.ctx->src_info;
    ScaleFilterParams p{};
    p.src_pix_fmt = from.pix_fmt;
    p.src_range = st.src_range;
    p.src_chroma_loc = info->chroma_location;
    p.src_w = from.width;
    p.src_h = from.height;
    p.dst_pix_fmt = to;
    p.dst_w = to_w;
    p.dst_h = to_h;
    p.interlaced = 0;
    p.disable_fast_path = 0;
    p.use_swscale = st.ctx->video_interp.packed_intermediate ? 1 : 0;
    p.allow_avx2 = 1;
    return p;
}

// A conversion to the intermediate layout at the same size, before a crop or a rotation.
void add_intermediate_conversion(const BuildState &st, VideoGraphTreeBranch *branch, Cursor *cur) {
    ScaleFilterParams p = scale_params(st, *cur, st.intermediate_fmt, cur->width, cur->height);
    p.src_matrix = info_matrix(st);
    p.dst_range = p.src_range;
    p.dst_chroma_loc = p.src_chroma_loc;
    p.dst_matrix = p.src_matrix;
    p.src_alpha_mode = 0;
    p.dst_alpha_mode = 0;
    p.quality = 1;
    add_node(branch, create_filter_scale(&p));
    cur->pix_fmt = st.intermediate_fmt;
}

void add_pixel_crop(VideoGraphTreeBranch *branch, Cursor *cur, const HAPStandalone_CropParamsItem &item) {
    HapProcessCropParams cp{cur->pix_fmt, cur->width, cur->height, item.crop_l, item.crop_t, item.crop_r, item.crop_b};
    uint32_t w = 0, h = 0;
    check_crop_out_dims(cp, &w, &h);
    CropFilterParams p{};
    p.pix_fmt = cur->pix_fmt;
    p.src_width = cur->width;
    p.src_height = cur->height;
    p.top = item.crop_t;
    p.left = item.crop_l;
    p.bottom = item.crop_b;
    p.right = item.crop_r;
    add_node(branch, create_filter_crop(p));
    cur->width = w;
    cur->height = h;
}

void add_pixel_rotation(VideoGraphTreeBranch *branch, Cursor *cur, uint32_t transform) {
    RotateFlipParams p{};
    p.width = cur->width;
    p.height = cur->height;
    p.texture = 0;
    p.pix_fmt = cur->pix_fmt;
    p.data_descriptor = VideoFrameUnknown;
    p.transform = transform;
    p.pass_through_allowed = 1;
    add_node(branch, create_filter_rotate_flip(p));
    if (transform == RotateFlip_Rotate90 || transform == RotateFlip_Rotate270) std::swap(cur->width, cur->height);
}

void add_texture_rotation(VideoGraphTreeBranch *branch, uint32_t *w, uint32_t *h, HapCodec codec, uint32_t transform) {
    RotateFlipParams p{};
    p.width = *w;
    p.height = *h;
    p.texture = 1;
    p.pix_fmt = PixFmt_Undefined;
    p.data_descriptor = uint32_t(VideoFrameDxtData_HAP) + uint32_t(codec);
    p.transform = transform;
    p.pass_through_allowed = 1;
    add_node(branch, create_filter_rotate_flip(p));
    if (transform == RotateFlip_Rotate90 || transform == RotateFlip_Rotate270) std::swap(*w, *h);
}

void add_hap_encode(const HapStandaloneProcess *ctx, VideoGraphTreeBranch *branch, uint32_t w, uint32_t h) {
    HapFrameEncodeParams p{};
    p.codec = HapCodec(ctx->hap_codec);
    p.width = w;
    p.height = h;
    p.chunk_count = ctx->hap_params.nb_chunks;
    p.compressor = ctx->hap_params.nb_chunks ? HapCompressorSnappy : HapCompressorNone;
    add_node(branch, create_filter_hap_frame_encode(p));
}

void add_texture_and_hap_encode(const HapStandaloneProcess *ctx, VideoGraphTreeBranch *branch, const Cursor &cur) {
    DxtEncodeParams p{};
    p.hap_codec = uint32_t(ctx->hap_codec);
    p.width = cur.width;
    p.height = cur.height;
    p.pix_fmt = cur.pix_fmt;
    uint32_t q = ctx->encode_params.quality;
    if (q > 2) {
        printf("Unknown enc quality : %u\n", q);
        q = 0;
    }
    p.quality = uint8_t(q + 1);
    p.alpha_only_from_luma = ctx->encode_params.codec == 4 ? 1 : 0;
    add_node(branch, create_filter_dxt_encode(p));
    add_hap_encode(ctx, branch, cur.width, cur.height);
}

// Branch 0's decode stage of the encode mode; returns the layout of its last output.
PixFmt add_decode_stage(const BuildState &st, VideoGraphTreeBranch *branch) {
    const HapStandaloneProcess *ctx = st.ctx;
    const MediaInfo *info = ctx->src_info;
    const uint32_t w = info->width, h = info->height;
    const PixFmt d = st.decode_fmt;

    if (info->video_src_type == MediaInfoVideoSrc_Ffmpeg) return d;  // the source delivers pixels

    if (is_image_source(info)) {
        switch (info->data_descriptor) {
        case VideoFramePngData:
        case VideoFrameTiffData: {
            ImageDecodeParams p{};
            p.width = w;
            p.height = h;
            p.pix_fmt = d;
            p.alpha_expected = d != PixFmt_RGBX8 ? 1 : 0;
            add_node(branch, info->data_descriptor == VideoFramePngData ? create_filter_png_decode(p)
                                                                        : create_filter_tiff_decode(p));
            return d;
        }
        case VideoFrameJpegData: add_node(branch, create_filter_jpeg_decode(w, h)); return PixFmt_RGBX8;
        default: throw_process_error("Throw unsupported image sequence");
        }
    }

    // MOV samples.
    if (info->is_hap || info->data_descriptor == VideoFrameHapData) {
        HapCodec codec = hap_codec_of_fourcc(info->codec_fourcc);
        HapFrameDecodeParams hp{};
        hp.codec = codec;
        hp.width = w;
        hp.height = h;
        hp.texture_choice = 0;
        hp.parallel = 0;
        PixFmt out = d;
        if (codec == HapCodec_HAPQA && !ctx->use_src_alpha) {
            hp.texture_choice = 1;
            codec = HapCodec_HAPQ;
            out = PixFmt_RGBX8;
        }
        add_node(branch, create_filter_hap_frame_decode(hp));
        DxtDecodeParams dp{};
        dp.codec = codec;
        dp.width = w;
        dp.height = h;
        dp.flag = 0;
        dp.pix_fmt = out;
        add_node(branch, create_filter_dxt_decode(dp));
        return out;
    }
    if (info->data_descriptor == VideoFrameUnknown) {
        if (info->pix_fmt == PixFmt_Undefined) throw_process_error("Unknown quicktime codec");
        return info->pix_fmt;
    }
    if (info->data_descriptor == VideoFrameNotchLcData) {
        NotchLcDecodeParams p{};
        p.pix_fmt = d;
        p.width = w;
        p.height = h;
        p.slice_over_cores = 0;
        add_node(branch, create_filter_notchlc_decode(&p));
        return d;
    }

    FfIntraDecodeParams p;
    try {
        p = ff_intra_decode_params(info->data_descriptor, w, h, info->codec_fourcc, info->codec_sub_fourcc, d);
    } catch (const ProcessError &) {
        throw_process_error("Unknown DXV3 codec");  // the only refusal: an unknown DXV texture format
    }
    p.report_changes = 1;
    if (info->data_descriptor == VideoFrameProresData && (d == PixFmt_YUV444_12 || d == PixFmt_YUVA444_12)) {
        p.pix_fmt = d == PixFmt_YUV444_12 ? PixFmt_YUV444_10 : PixFmt_YUVA444_10;
        p.force_prores_10bit = 1;
    }
    add_node(branch, create_filter_ff_intra_decode(p));
    if (!ff_intra_decode_is_ycocg(p)) return PixFmt(p.pix_fmt);
    const PixFmt ycocg_fmt = PixFmt(p.pix_fmt);
    YCoCgToRgbParams yp{};
    yp.pix_fmt = ycocg_fmt;
    yp.width = w;
    yp.height = h;
    yp.threaded = 0;
    add_node(branch, create_filter_ycocg_to_rgb(yp));
    return ycocg_fmt == PixFmt_YUV420 ? PixFmt_RGBX8 : PixFmt_RGBA8;
}

VideoGraphTree *build_encode_single(const BuildState &st) {
    HapStandaloneProcess *ctx = st.ctx;
    VideoGraphTree *tree = create_video_graph_tree(1, 1, 1);
    try {
        VideoGraphTreeBranch *branch = create_video_graph_tree_branch(10, 1);
        try {
            branch_connect_global_input(branch, 0);
            video_graph_tree_add_branch(tree, branch);
        } catch (...) {
            free_video_graph_tree_branch(&branch);
            throw;
        }
        Cursor cur{add_decode_stage(st, branch), ctx->src_info->width, ctx->src_info->height};

        const HAPStandalone_CropParamsItem *item =
            ctx->hap_params.nb_crop_items ? &ctx->hap_params.crop_items[0] : nullptr;
        if (item && crop_item_has_edge(*item)) {
            if (!is_crop_compatible_pix_fmt(
                    {cur.pix_fmt, cur.width, cur.height, item->crop_l, item->crop_t, item->crop_r, item->crop_b}))
                add_intermediate_conversion(st, branch, &cur);
            add_pixel_crop(branch, &cur, *item);
        }
        if (ctx->hap_params.transform_mode != 0) {
            if (!is_rotatable_pix_fmt(cur.pix_fmt)) add_intermediate_conversion(st, branch, &cur);
            add_pixel_rotation(branch, &cur, ctx->hap_params.transform_mode);
        }
        if (!is_encodable_pix_fmt(cur.pix_fmt) || cur.width != ctx->target_width || cur.height != ctx->target_height ||
            alpha_conversion_needed(st.src_alpha_kind, st.dst_alpha_kind)) {
            ScaleFilterParams p = scale_params(st, cur, st.intermediate_fmt, ctx->target_width, ctx->target_height);
            p.src_matrix = info_matrix(st);
            p.src_alpha_mode = st.src_alpha_kind;
            p.dst_range = 2;
            p.dst_chroma_loc = 6;
            p.dst_matrix = p.src_matrix;
            p.dst_alpha_mode = st.dst_alpha_kind;
            p.quality = scale_quality_from_setting(ctx->encode_params.scale_quality);
            add_node(branch, create_filter_scale(&p));
            cur = Cursor{st.intermediate_fmt, ctx->target_width, ctx->target_height};
        }
        add_texture_and_hap_encode(ctx, branch, cur);
        video_graph_tree_add_output_from_branch(tree, 0);
    } catch (...) {
        free_video_graph_tree(&tree);
        throw;
    }
    return tree;
}

// Branch fed by the last output of branch 0.
VideoGraphTreeBranch *add_child_branch(VideoGraphTree *tree, uint32_t capacity) {
    VideoGraphTreeBranch *branch = create_video_graph_tree_branch(capacity, 1);
    try {
        branch_connect_prev_branch_output(tree, branch, 0);
        video_graph_tree_add_branch(tree, branch);
    } catch (...) {
        free_video_graph_tree_branch(&branch);
        throw;
    }
    return branch;
}

VideoGraphTree *build_encode_multicrop(const BuildState &st) {
    HapStandaloneProcess *ctx = st.ctx;
    const uint32_t n = ctx->hap_params.nb_crop_items;
    VideoGraphTree *tree = create_video_graph_tree(n + 1, 1, n);
    try {
        // Up to two decode nodes and one conversion.
        VideoGraphTreeBranch *b0 = create_video_graph_tree_branch(3, 1);
        try {
            branch_connect_global_input(b0, 0);
            video_graph_tree_add_branch(tree, b0);
        } catch (...) {
            free_video_graph_tree_branch(&b0);
            throw;
        }
        Cursor cur{add_decode_stage(st, b0), ctx->src_info->width, ctx->src_info->height};
        if (!is_encodable_pix_fmt(cur.pix_fmt) || st.src_alpha_kind != st.dst_alpha_kind) {
            ScaleFilterParams p = scale_params(st, cur, st.intermediate_fmt, cur.width, cur.height);
            p.src_matrix = info_matrix(st);
            p.src_alpha_mode = st.src_alpha_kind;
            p.dst_range = ctx->src_info->color_range;
            p.dst_chroma_loc = ctx->src_info->chroma_location;
            p.dst_matrix = p.src_matrix;
            p.dst_alpha_mode = st.dst_alpha_kind;
            p.quality = 1;
            add_node(b0, create_filter_scale(&p));
            cur.pix_fmt = st.intermediate_fmt;
        }
        branch_add_passthrough_if_empty(b0);

        for (uint32_t k = 0; k < n; ++k) {
            const HAPStandalone_CropParamsItem &item = ctx->hap_params.crop_items[k];
            VideoGraphTreeBranch *branch = add_child_branch(tree, 5);
            Cursor c = cur;
            if (crop_item_has_edge(item)) {
                if (!is_crop_compatible_pix_fmt(
                        {c.pix_fmt, c.width, c.height, item.crop_l, item.crop_t, item.crop_r, item.crop_b}))
                    throw_process_error("Invalid pixel format multicrop");
                add_pixel_crop(branch, &c, item);
            }
            if (item.transform_mode != 0) add_pixel_rotation(branch, &c, item.transform_mode);
            add_texture_and_hap_encode(ctx, branch, c);
            video_graph_tree_add_output_from_branch(tree, k + 1);
        }
    } catch (...) {
        free_video_graph_tree(&tree);
        throw;
    }
    return tree;
}

struct SmartPlan {
    HapCodec src_codec;  // as the crop and convert node sees it
    uint32_t texture_choice;
    uint32_t conversion;
};

SmartPlan plan_smart(const HapStandaloneProcess *ctx) {
    SmartPlan plan{hap_codec_of_fourcc(ctx->src_info->codec_fourcc), 0, 0};
    const HapCodec target = HapCodec(ctx->hap_codec);
    if (plan.src_codec == HapCodec_HAPQA) {
        if (target == HapCodec_HAPQ) {
            plan.texture_choice = 1;
            plan.src_codec = HapCodec_HAPQ;
        } else if (ctx->conform_params.codec == 5) {
            plan.texture_choice = 2;
            plan.src_codec = HapCodec_HAPAlphaOnly;
        } else {
            throw_process_error("Hap codec conversion unsupported for HAPQA In");
        }
    }
    if (plan.src_codec == target) return plan;
    switch (plan.src_codec) {
    case HapCodec_HAP:
        if (target != HapCodec_HAPA) throw_process_error("Hap codec conversion unsupported for HAP In");
        plan.conversion = 3;
        break;
    case HapCodec_HAPA:
        if (target == HapCodec_HAP)
            plan.conversion = 1;
        else if (target == HapCodec_HAPAlphaOnly && ctx->conform_params.codec == 5)
            plan.conversion = 2;
        else
            throw_process_error("Hap codec conversion unsupported for HAPA In");
        break;
    case HapCodec_HAPQ:
        if (target != HapCodec_HAPQA) throw_process_error("Hap codec conversion unsupported for HAPQ In");
        plan.conversion = 3;
        break;
    case HapCodec_HAPQA: throw_process_error("Hap codec conversion unsupported for HAPQA In");
    case HapCodec_HAPAlphaOnly:
        if (target != HapCodec_HAPA) throw_process_error("Hap codec conversion unsupported for HAPAlphaOnly In");
        plan.conversion = 4;
        break;
    default: throw_process_error("Hap codec conversion unsupported");
    }
    return plan;
}

void add_smart_decode(const HapStandaloneProcess *ctx, VideoGraphTreeBranch *branch, const SmartPlan &plan) {
    HapFrameDecodeParams p{};
    p.codec = hap_codec_of_fourcc(ctx->src_info->codec_fourcc);
    p.width = ctx->src_info->width;
    p.height = ctx->src_info->height;
    p.texture_choice = plan.texture_choice;
    p.parallel = 0;
    add_node(branch, create_filter_hap_frame_decode(p));
}

// Crop and convert on the blocks when there is anything to do; updates the size.
void add_smart_crop_convert(const HapStandaloneProcess *ctx, VideoGraphTreeBranch *branch, const SmartPlan &plan,
                            const HAPStandalone_CropParamsItem *item, uint32_t *w, uint32_t *h) {
    const bool edge = item && crop_item_has_edge(*item);
    if (!edge && plan.conversion == 0) return;
    DxtCropConvertParams p{};
    p.width = *w;
    p.height = *h;
    p.codec = plan.src_codec;
    if (item) {
        p.crop_left = item->crop_l;
        p.crop_top = item->crop_t;
        p.crop_right = item->crop_r;
        p.crop_bottom = item->crop_b;
    }
    p.conversion = plan.conversion;
    get_dxt_crop_out_dim(w, h, p);
    add_node(branch, create_filter_dxt_crop_convert(p));
    (void)ctx;
}

VideoGraphTree *build_smart_single(HapStandaloneProcess *ctx, const SmartPlan &plan) {
    VideoGraphTree *tree = create_video_graph_tree(1, 1, 1);
    try {
        VideoGraphTreeBranch *branch = create_video_graph_tree_branch(5, 1);
        try {
            branch_connect_global_input(branch, 0);
            video_graph_tree_add_branch(tree, branch);
        } catch (...) {
            free_video_graph_tree_branch(&branch);
            throw;
        }
        add_smart_decode(ctx, branch, plan);
        uint32_t w = ctx->src_info->width, h = ctx->src_info->height;
        const HAPStandalone_CropParamsItem *item =
            ctx->hap_params.nb_crop_items ? &ctx->hap_params.crop_items[0] : nullptr;
        add_smart_crop_convert(ctx, branch, plan, item, &w, &h);
        if (ctx->hap_params.transform_mode != 0)
            add_texture_rotation(branch, &w, &h, HapCodec(ctx->hap_codec), ctx->hap_params.transform_mode);
        add_hap_encode(ctx, branch, w, h);
        if (w != ctx->target_width || h != ctx->target_height) {
            printf("Single output smart render : Target dim (%u x %u) != Expected dim (%u x %u)\n", w, h,
                   ctx->target_width, ctx->target_height);
            throw_process_error(
                "Internal error in output resolution evaluation of smart rendering (please contact support)");
        }
        video_graph_tree_add_output_from_branch(tree, 0);
    } catch (...) {
        free_video_graph_tree(&tree);
        throw;
    }
    return tree;
}

VideoGraphTree *build_smart_multicrop(HapStandaloneProcess *ctx, const SmartPlan &plan) {
    const uint32_t n = ctx->hap_params.nb_crop_items;
    VideoGraphTree *tree = create_video_graph_tree(n + 1, 1, n);
    try {
        VideoGraphTreeBranch *b0 = create_video_graph_tree_branch(1, 1);
        try {
            branch_connect_global_input(b0, 0);
            video_graph_tree_add_branch(tree, b0);
        } catch (...) {
            free_video_graph_tree_branch(&b0);
            throw;
        }
        add_smart_decode(ctx, b0, plan);
        for (uint32_t k = 0; k < n; ++k) {
            const HAPStandalone_CropParamsItem &item = ctx->hap_params.crop_items[k];
            VideoGraphTreeBranch *branch = add_child_branch(tree, 4);
            uint32_t w = ctx->src_info->width, h = ctx->src_info->height;
            add_smart_crop_convert(ctx, branch, plan, &item, &w, &h);
            if (item.transform_mode != 0)
                add_texture_rotation(branch, &w, &h, HapCodec(ctx->hap_codec), item.transform_mode);
            if (w != item.dst_width || h != item.dst_height) {
                printf("Multicrop smart render : Target dim (%u x %u) != Expected dim (%u x %u)\n", w, h,
                       item.dst_width, item.dst_height);
                throw_process_error(
                    "Internal error in output resolution multicrop evaluation of smart rendering "
                    "(please contact support)");
            }
            add_hap_encode(ctx, branch, w, h);
            video_graph_tree_add_output_from_branch(tree, k + 1);
        }
    } catch (...) {
        free_video_graph_tree(&tree);
        throw;
    }
    return tree;
}

void resolve_frame_range(HapStandaloneProcess *ctx) {
    const MediaInfo *info = ctx->src_info;
    HAPStandalone_VideoInterpretation &vi = ctx->video_interp;
    if (is_image_source(info)) {
        if (vi.start_frame < 0) throw_process_error("Invalid start frame (unset)");
        if (vi.end_frame < 0) throw_process_error("Invalid end frame (unset)");
        if (vi.end_frame < vi.start_frame) throw_process_error("Invalid end frame (before start frame)");
    } else {
        const int64_t count = info->nb_frames;
        if (count == 0) throw_process_error("Invalid duration main input file");
        if (vi.start_frame < 0) vi.start_frame = 0;
        if (vi.start_frame >= count) throw_process_error("Invalid start frame");
        if (vi.end_frame < 0) vi.end_frame = count - 1;
        if (vi.end_frame >= count) throw_process_error("Invalid end frame (outside file)");
        if (vi.end_frame < vi.start_frame) throw_process_error("Invalid end frame (before start frame)");
    }
}

void open_video_source(HapStandaloneProcess *ctx, const HapProcessFrameRange &range, PixFmt decode_fmt) {
    const MediaInfo *info = ctx->src_info;
    switch (info->video_src_type) {
    case MediaInfoVideoSrc_Mov: {
        MovDemuxerParams p{};
        p.path = info->filepath;
        p.start_frame = uint32_t(range.first);
        p.end_frame = uint32_t(range.last);
        p.reverse = false;
        p.data_descriptor = info->data_descriptor;
        p.mov_intra_demuxer_flags = info->mov_intra_demuxer_flags;
        p.max_vfr_to_cfr_fps = info->max_vfr_to_cfr_fps;
        ctx->video_demuxer = create_video_demuxer_mov(&p, ctx->nb_threads);
        break;
    }
    case MediaInfoVideoSrc_Image: {
        ImgSeqDemuxerParams p{};
        p.path_prefix = info->img_seq_path_base;
        p.ext = info->ext;
        p.first = uint32_t(range.first);
        p.last = uint32_t(range.last);
        p.digits = info->img_seq_digits;
        p.image_kind = info->data_descriptor;
        ctx->video_demuxer = create_video_demuxer_img_seq(p, ctx->nb_threads);
        break;
    }
    case MediaInfoVideoSrc_Ffmpeg: {
        FfVideoDemuxerParams p{};
        p.path = info->filepath;
        p.pix_fmt = decode_fmt;
        p.dec_width = p.dst_width = info->width;
        p.dec_height = p.dst_height = info->height;
        p.scale_quality = uint8_t(scale_quality_from_setting(ctx->encode_params.scale_quality));
        p.alignment = 64;
        p.start_frame = int32_t(range.first);
        p.end_frame = int32_t(range.last);
        ctx->video_demuxer = create_video_demuxer_ff(p, ctx->nb_threads);
        break;
    }
    default: throw_process_error("Unsupported video type");
    }
}

}  // namespace

HapProcessFrameRange compute_process_frame_range(int64_t start, int64_t end, int32_t in_point, int32_t out_point) {
    HapProcessFrameRange r{};
    r.first = in_point <= 0 ? start : start + in_point;
    if (end < r.first) {
        printf("Invalid frame range range : StartF : %u > src End frame : %u\n", uint32_t(r.first), uint32_t(end));
        throw_process_error("Invalid start/end range");
    }
    r.last = out_point < 0 ? end : start + out_point;
    if (r.last > end) {
        printf("Invalid end frame (%u) > src end frame (%u) (clamp)\n", uint32_t(r.last), uint32_t(end));
        r.last = end;
    }
    if (r.last < r.first) {
        printf("Invalid frame range range : StartF : %u > End frame : %u\n", uint32_t(r.first), uint32_t(r.last));
        throw_process_error("Invalid start/end range");
    }
    return r;
}

ZRational get_interpretation_fps(const MediaInfo *info, const HapStandMediaSrcInterpret *interpret) {
    MediaSrcInterpretation mi;
    if (interpret) mi.obj = *interpret;
    return mi.get_fps_with_src(info ? info->fps : ZRational{0, 0});
}

ZRational get_process_output_fps(const HapStandaloneProcess *ctx) {
    if (ctx->video_interp.use_custom_fps) return ctx->video_interp.custom_fps;
    return get_interpretation_fps(ctx->src_info, ctx->src_interpret);
}

uint32_t get_process_src_alpha_kind(const HapStandaloneProcess *ctx) {
    const MediaInfo *info = ctx->src_info;
    MediaSrcInterpretation mi;
    if (ctx->src_interpret) mi.obj = *ctx->src_interpret;
    if (!info || !info->have_video || !mi.is_alpha_need_with_src(info->have_alpha)) return 2;
    return mi.get_alpha_mode_with_src(info->have_alpha_kind ? info->alpha_kind : 2);
}

uint32_t get_process_target_alpha_kind(const HapStandaloneProcess *ctx) {
    switch (ctx->hap_params.alpha_conversion) {
    case 1: return 0;
    case 2: return 1;
    default: return get_process_src_alpha_kind(ctx);
    }
}

PixFmt get_out_pix_fmt_for_ffmpeg_decoding(const MediaInfo *info, bool use_src_alpha) {
    const PixFmt f = info->pix_fmt;
    if (f <= PixFmt_YUV444 || (f >= PixFmt_YUV420_10 && f <= PixFmt_V210)) return f;
    if (f == PixFmt_UYVYA) {
        printf("Unsupported pix fmt for scaling : %s\n", get_pix_fmt_name(f));
    } else if (f >= PixFmt_Undefined) {
        printf("Unknown pix fmt get_out_pix_fmt_for_ffmpeg_decoding\n");
    } else {
        printf("Warning : Unsupported pix fmt for scaling : %u\n", uint32_t(f));
        printf("Unsupported pix fmt for scaling : %s\n", get_pix_fmt_name(f));
    }
    return use_src_alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
}

bool is_crop_compatible_pix_fmt(const HapProcessCropParams &p) {
    return crop_is_supported(p.pix_fmt, p.crop_t, p.crop_l, p.crop_b, p.crop_r);
}

void check_crop_out_dims(const HapProcessCropParams &p, uint32_t *out_width, uint32_t *out_height) {
    const int64_t w = int64_t(p.width) - p.crop_l - p.crop_r;
    const int64_t h = int64_t(p.height) - p.crop_t - p.crop_b;
    if (w < 4) {
        printf("ERROR : Check after crop dim : Invalid horizontal crop : %lld\n)", static_cast<long long>(w));
        throw_process_error("Invalid horizontal crop");
    }
    if (h < 4) {
        printf("ERROR : Check after crop dim : Invalid vertical crop : %lld\n)", static_cast<long long>(h));
        throw_process_error("Invalid vertical crop");
    }
    *out_width = uint32_t(w);
    *out_height = uint32_t(h);
}

const char *get_video_demuxer_warning(const HapStandaloneProcess *ctx) {
    if (!ctx->video_demuxer || ctx->video_demuxer->message[0] == '\0') return nullptr;
    return ctx->video_demuxer->message;
}

void build_hap_standalone_process(HapStandaloneProcess *ctx) {
    if (ctx->mode != kHapProcessModeNoVideo) {
        const MediaInfo *info = ctx->src_info;
        if (!info) throw_process_error("No main input file");
        if (!info->have_video) throw_process_error("No supported video for main input file");
        if (ctx->mode == kHapProcessModeSmart && !info->is_hap) throw_process_error("No hap source for conform mode");

        resolve_frame_range(ctx);
        const HapProcessFrameRange range =
            compute_process_frame_range(ctx->video_interp.start_frame, ctx->video_interp.end_frame,
                                        ctx->video_interp.in_point, ctx->video_interp.out_point);
        ctx->nb_frames_to_process = uint32_t(range.last - range.first + 1);

        ctx->fps = get_process_output_fps(ctx);
        if (ctx->fps.num == 0 || ctx->fps.den == 0) throw_process_error("Invalid target fps val");

        BuildState st{};
        st.ctx = ctx;
        st.src_alpha_kind = get_process_src_alpha_kind(ctx);
        st.dst_alpha_kind = get_process_target_alpha_kind(ctx);
        if (ctx->mode == kHapProcessModeEncode) {
            ctx->hap_codec = hap_codec_from_setting(ctx->encode_params.codec);
            ctx->use_src_alpha = false;
            if (st.src_alpha_kind != 2) {
                switch (ctx->hap_codec) {
                case HapCodec_HAPA:
                case HapCodec_HAPQA:
                case HapCodec_HAPR: ctx->use_src_alpha = true; break;
                case HapCodec_HAPAlphaOnly:
                    ctx->use_src_alpha =
                        ctx->encode_params.codec != 4 || alpha_conversion_needed(st.src_alpha_kind, st.dst_alpha_kind);
                    break;
                default: ctx->use_src_alpha = alpha_conversion_needed(st.src_alpha_kind, st.dst_alpha_kind);
                }
            }
        } else {
            ctx->hap_codec = hap_codec_from_setting(ctx->conform_params.codec);
            ctx->use_src_alpha = false;
        }
        const bool packed = ctx->video_interp.packed_intermediate;
        st.intermediate_fmt = ctx->use_src_alpha ? (packed ? PixFmt_RGBA8 : PixFmt_PlanarRGBA8)
                                                 : (packed ? PixFmt_RGBX8 : PixFmt_PlanarRGB8);
        if (is_yuv_pix_fmt(info->pix_fmt)) {
            switch (ctx->src_interpret ? ctx->src_interpret->video_range : 0) {
            case 2: st.src_range = 1; break;
            case 1: st.src_range = 0; break;
            default: st.src_range = info->color_range;
            }
        } else {
            st.src_range = 2;
        }
        if (ctx->mode == kHapProcessModeEncode)
            st.decode_fmt = get_out_pix_fmt_for_ffmpeg_decoding(info, ctx->use_src_alpha);

        if (info->video_src_type != MediaInfoVideoSrc_Ffmpeg) open_video_source(ctx, range, st.decode_fmt);

        build_mov_writers(ctx);

        ctx->nb_slots = 2 * ctx->nb_threads;
        ctx->slots = new HAPStandalone_ThreadData[ctx->nb_slots]();
        ctx->frames.array = new VideoFrame *[ctx->nb_slots]();
        ctx->frames.count = ctx->nb_slots;
        for (uint32_t i = 0; i < ctx->nb_slots; ++i) ctx->frames.array[i] = video_frame_new();

        if (ctx->mode == kHapProcessModeEncode) {
            if (info->video_src_type == MediaInfoVideoSrc_Ffmpeg) open_video_source(ctx, range, st.decode_fmt);
            for (uint32_t i = 0; i < ctx->nb_slots; ++i)
                ctx->slots[i].graph =
                    ctx->hap_params.is_multicrop ? build_encode_multicrop(st) : build_encode_single(st);
        } else {
            const SmartPlan plan = plan_smart(ctx);
            for (uint32_t i = 0; i < ctx->nb_slots; ++i)
                ctx->slots[i].graph =
                    ctx->hap_params.is_multicrop ? build_smart_multicrop(ctx, plan) : build_smart_single(ctx, plan);
        }
    }
    build_audio_outputs(ctx);
}
