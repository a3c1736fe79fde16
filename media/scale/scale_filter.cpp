// The scale node: planning at creation, conversion per frame.
#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "media/filter_node.h"
#include "media/scale/scale_filter_internal.h"
#include "platform/core/aligned_alloc.h"
#include "platform/core/errors.h"

namespace {

uint32_t div_up(uint32_t n, uint32_t d) { return uint32_t((uint64_t(n) + d - 1) / d); }

bool has_flag(PixFmt fmt, uint32_t flag) { return (get_pix_descriptor(fmt).flags & flag) != 0; }

bool source_fmt_supported(uint32_t fmt) { return fmt <= 24 || (fmt >= 27 && fmt <= 35); }

bool target_fmt_supported(uint32_t fmt) {
    return fmt <= 17 || fmt == 22 || fmt == 23 || fmt == 24 || (fmt >= 27 && fmt <= 30) || fmt == 34;
}

constexpr uint32_t kChromaFlags = PixDesc_420 | PixDesc_422 | PixDesc_444;

void reset_intermediate(ScaleFilterData *d) {
    d->mid_src_fmt = PixFmt_Undefined;
    d->mid_dst_fmt = PixFmt_Undefined;
    d->kernel_pre = nullptr;
    d->kernel_post = nullptr;
    d->plane_step_on = false;
    memset(d->plane_step, 0, sizeof(d->plane_step));
}

// A plane-by-plane copy of the frame (same layout on both sides).
void assign_plane_copy(ScaleFilterData *d, PixFmt fmt) {
    const ScaleFilterParams &p = d->params;
    memset(d->plane_step, 0, sizeof(d->plane_step));
    if (fmt == PixFmt_UYVY) {
        // Whole pixel pairs: an odd last pixel still shares its pair's chroma.
        d->plane_step[0] = {copy_plane, 2 * (p.src_w + (p.src_w & 1)), p.src_h};
    } else if (fmt == PixFmt_V210) {
        d->plane_step[0] = {copy_plane, div_up(p.src_w, 6) * 16, p.src_h};
    } else {
        const PixDescriptor desc = get_pix_descriptor(fmt);
        for (uint32_t i = 0; i < desc.nb_planes; ++i)
            d->plane_step[i] = {copy_plane, div_up(p.src_w, desc.sub_w[i]) * desc.bytes_per_pixel[i],
                                div_up(p.src_h, desc.sub_h[i])};
    }
    d->plane_step_on = true;
}

uint32_t family_of(uint32_t flags) { return flags & (PixDesc_Yuv | PixDesc_Grey | PixDesc_Rgb | PixDesc_Cmyk); }

// Depth conversions plane by plane between two planar layouts of one family; leaves the
// plane step off when the layouts need none or a depth pair has no kernel.
void assign_plane_conv(ScaleFilterData *d, PixFmt from, PixFmt to) {
    if (d->alpha_op == ScaleAlphaOp_Plain) {
        from = get_no_alpha_pix_fmt(from);
        to = get_no_alpha_pix_fmt(to);
    }
    if (from == to) return;
    const PixDescriptor fd = get_pix_descriptor(from);
    const PixDescriptor td = get_pix_descriptor(to);
    if (!(fd.flags & PixDesc_Planar) || !(td.flags & PixDesc_Planar)) return;
    const uint32_t family = family_of(fd.flags);
    if (family != family_of(td.flags)) return;
    if ((family & PixDesc_Yuv) && !(fd.flags & td.flags & kChromaFlags)) return;

    const ScaleFilterParams &p = d->params;
    const uint32_t planes = fd.nb_planes < td.nb_planes ? fd.nb_planes : td.nb_planes;
    const bool from_float = fd.flags & PixDesc_Float;
    const bool to_float = td.flags & PixDesc_Float;
    d->plane_step_on = true;
    for (uint32_t i = 0; i < planes; ++i) {
        const int sbits = fd.bit_depth[i];
        const int dbits = td.bit_depth[i];
        PlaneKernel k = nullptr;
        // 32 bits means float, and only in float layouts.
        if ((sbits == 32) == from_float && (dbits == 32) == to_float) k = plane_conv_kernel_find(sbits, dbits);
        if (!k) {
            switch (sbits) {
            case 8:
                printf("WARNING ASSIGN PLANE CONV : Plane 8 to %d bits unsupported (is float : %d)\n", dbits,
                       int(to_float));
                break;
            case 10:
                printf("WARNING ASSIGN PLANE CONV : Plane 10 LE to %d bits unsupported (is float : %d)\n", dbits,
                       int(to_float));
                break;
            case 12:
                printf("WARNING ASSIGN PLANE CONV : Plane 12 LE to %d bits unsupported (is float : %d)\n", dbits,
                       int(to_float));
                break;
            case 16:
                printf(
                    "WARNING ASSIGN PLANE CONV : Plane 16 LE to %d bits unsupported (is float : %d) "
                    "(Plane : %u)\n",
                    dbits, int(to_float), i);
                break;
            default:
                printf("WARNING : Plane 32f LE to %d bits unsupported (is float : %d) (Plane : %u)\n", dbits,
                       int(to_float), i);
                break;
            }
            // The layouts then differ only in their alpha plane: the next stage reads
            // the previous one's planes as they are.
            d->plane_step_on = false;
            memset(d->plane_step, 0, sizeof(d->plane_step));
            return;
        }
        d->plane_step[i] = {plane_kernel_for_tier(k, d->use_avx2), div_up(p.src_w, fd.sub_w[i]),
                            div_up(p.src_h, fd.sub_h[i])};
    }
}

// Same size, one conversion kernel or a plane copy, or planar steps between kernels.
bool plan_same_size(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const PixFmt src = PixFmt(p.src_pix_fmt);
    const PixFmt dst = PixFmt(p.dst_pix_fmt);
    const ScaleAlphaOp op = d->alpha_op;
    const bool src_alpha = has_flag(src, PixDesc_Alpha);
    const bool dst_alpha = has_flag(dst, PixDesc_Alpha);

    if (op == ScaleAlphaOp_Premultiply || op == ScaleAlphaOp_Unpremultiply) {
        d->kernel_pre = get_alpha_op_kernel(src, dst, op, d->use_avx2);
    } else {
        const PixFmt cmp_src = op == ScaleAlphaOp_Plain ? get_no_alpha_pix_fmt(src) : src;
        const PixFmt cmp_dst = op == ScaleAlphaOp_Plain ? get_no_alpha_pix_fmt(dst) : dst;
        if (cmp_src != cmp_dst) {
            d->kernel_pre = get_conv_kernel(src, dst, d->use_avx2);
        } else {
            // Padding never becomes alpha: a packed target whose alpha the source
            // lacks gets it from the kernel (opaque); planar targets get the fill.
            if (!src_alpha && dst_alpha && src != dst) d->kernel_pre = get_conv_kernel(src, dst, d->use_avx2);
            if (!d->kernel_pre) assign_plane_copy(d, cmp_src);
        }
    }
    if (d->kernel_pre || d->plane_step_on) return true;

    const uint32_t sf = get_pix_descriptor(src).flags;
    const uint32_t df = get_pix_descriptor(dst).flags;
    const bool alpha_change = op == ScaleAlphaOp_Premultiply || op == ScaleAlphaOp_Unpremultiply;
    if ((sf & PixDesc_Rgb) && (df & PixDesc_Rgb)) {
        const bool keep = op != ScaleAlphaOp_Plain;
        d->mid_src_fmt = get_scale_planar_fmt(src, src_alpha && keep);
        d->mid_dst_fmt = get_scale_planar_fmt(dst, dst_alpha && keep);
        if (d->mid_src_fmt != src && (sf & PixDesc_Packed))
            d->kernel_pre = get_alpha_op_kernel(src, d->mid_src_fmt, op, d->use_avx2);
        if (d->mid_dst_fmt != dst && (df & PixDesc_Packed))
            d->kernel_post = get_conv_kernel(d->mid_dst_fmt, dst, d->use_avx2);
        const bool pre_missing = d->mid_src_fmt != src && (sf & PixDesc_Packed) && !d->kernel_pre;
        const bool post_missing = d->mid_dst_fmt != dst && (df & PixDesc_Packed) && !d->kernel_post;
        // Only the kernel before the planes can carry an alpha operation.
        const bool op_lost = alpha_change && !d->kernel_pre;
        if (pre_missing || post_missing || op_lost) {
            reset_intermediate(d);
            return false;
        }
        assign_plane_conv(d, d->mid_src_fmt, d->mid_dst_fmt);
        return true;
    }
    if ((sf & PixDesc_Yuv) && (df & PixDesc_Yuv) && (sf & df & kChromaFlags) && !alpha_change) {
        const bool keep = op == ScaleAlphaOp_KeepAlpha;
        d->mid_src_fmt = get_scale_planar_fmt(src, src_alpha && keep);
        d->mid_dst_fmt = get_scale_planar_fmt(dst, dst_alpha);
        if (d->mid_src_fmt != src && (sf & PixDesc_Packed))
            d->kernel_pre = get_conv_kernel(src, d->mid_src_fmt, d->use_avx2);
        if (d->mid_dst_fmt != dst && (df & PixDesc_Packed))
            d->kernel_post = get_conv_kernel(d->mid_dst_fmt, dst, d->use_avx2);
        const bool pre_missing = d->mid_src_fmt != src && (sf & PixDesc_Packed) && !d->kernel_pre;
        const bool post_missing = d->mid_dst_fmt != dst && (df & PixDesc_Packed) && !d->kernel_post;
        if (pre_missing || post_missing) {
            reset_intermediate(d);
            return false;
        }
        assign_plane_conv(d, d->mid_src_fmt, d->mid_dst_fmt);
        return true;
    }
    reset_intermediate(d);
    return false;
}

bool plan_half_size(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const PixFmt src = PixFmt(p.src_pix_fmt);
    const PixFmt dst = PixFmt(p.dst_pix_fmt);
    reset_intermediate(d);
    RowKernel k = nullptr;
    if (d->alpha_op == ScaleAlphaOp_Plain || d->alpha_op == ScaleAlphaOp_KeepAlpha) {
        if ((src == PixFmt_RGBX8 && dst == PixFmt_RGBX8) ||
            (src == PixFmt_RGBA8 && (dst == PixFmt_RGBA8 || dst == PixFmt_RGBX8)))
            k = halfsize_rgba8_to_rgba8_c;
        else if (src == PixFmt_RGBX8 && dst == PixFmt_RGBA8)
            k = halfsize_rgbx8_to_rgba8_c;
    }
    if (!k) {
        printf("Can't find half dim bilinear optim path : %s -> %s (Alpha %s -> %s)\n", get_pix_fmt_name(src),
               get_pix_fmt_name(dst), get_scale_alpha_mode_name(p.src_alpha_mode),
               get_scale_alpha_mode_name(p.dst_alpha_mode));
        return false;
    }
    d->kernel_pre = row_kernel_for_tier(k, d->use_avx2);
    return true;
}

bool plan_swscale(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const PixFmt src = PixFmt(p.src_pix_fmt);
    const PixFmt dst = PixFmt(p.dst_pix_fmt);
    reset_intermediate(d);
    if (has_flag(src, PixDesc_Float) && has_flag(dst, PixDesc_Float)) return false;

    d->mid_src_fmt = get_ff_compatible_pix_fmt(src);
    d->mid_dst_fmt = get_ff_compatible_pix_fmt(dst);
    if (d->mid_src_fmt == PixFmt_Undefined || d->mid_dst_fmt == PixFmt_Undefined) {
        reset_intermediate(d);
        return false;
    }
    const ScaleAlphaOp op = d->alpha_op;
    bool pre_carries = false;
    bool post_carries = false;
    if (op == ScaleAlphaOp_Premultiply || op == ScaleAlphaOp_Unpremultiply) {
        if (!has_flag(src, PixDesc_Yuv)) {
            pre_carries = true;
        } else if (has_flag(dst, PixDesc_Rgb)) {
            post_carries = true;
        } else if (has_flag(dst, PixDesc_Yuv)) {
            reset_intermediate(d);
            return false;
        } else {
            pre_carries = true;
        }
    }
    bool missing = false;
    if (pre_carries || d->mid_src_fmt != src) {
        d->kernel_pre = pre_carries ? get_alpha_op_kernel(src, d->mid_src_fmt, op, d->use_avx2)
                                    : get_conv_kernel(src, d->mid_src_fmt, d->use_avx2);
        missing |= !d->kernel_pre;
    }
    if (post_carries || d->mid_dst_fmt != dst) {
        d->kernel_post = post_carries ? get_alpha_op_kernel(d->mid_dst_fmt, dst, op, d->use_avx2)
                                      : get_conv_kernel(d->mid_dst_fmt, dst, d->use_avx2);
        missing |= !d->kernel_post;
    }
    if (missing) {
        reset_intermediate(d);
        return false;
    }
    return true;
}

void plan_zimg(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const PixFmt src = PixFmt(p.src_pix_fmt);
    const PixFmt dst = PixFmt(p.dst_pix_fmt);
    reset_intermediate(d);
    // zimg flattens a straight source over black when the target has no alpha: with
    // alpha dropped (plain) it must not see the source's alpha at all. A target with
    // alpha always keeps it (zimg makes it opaque when the source has none).
    const bool src_keep = has_flag(src, PixDesc_Alpha) && d->alpha_op != ScaleAlphaOp_Plain;
    d->mid_src_fmt = get_scale_planar_fmt(src, src_keep);
    d->mid_dst_fmt = get_scale_planar_fmt(dst, true);
    bool missing = false;
    // A planar layout and its no-alpha form share their first planes: no kernel needed.
    if (d->mid_src_fmt != src && has_flag(src, PixDesc_Packed)) {
        d->kernel_pre = get_conv_kernel(src, d->mid_src_fmt, d->use_avx2);
        missing |= !d->kernel_pre;
    }
    if (d->mid_dst_fmt != dst) {
        d->kernel_post = get_conv_kernel(d->mid_dst_fmt, dst, d->use_avx2);
        missing |= !d->kernel_post;
    }
    if (missing) {
        printf("Can't find scaling path : %s -> %s (Alpha %s -> %s)\n", get_pix_fmt_name(src), get_pix_fmt_name(dst),
               get_scale_alpha_mode_name(p.src_alpha_mode), get_scale_alpha_mode_name(p.dst_alpha_mode));
        throw_process_error("Can't find scaling path");
    }
}

void plan_fill_alpha(ScaleFilterData *d) {
    const PixFmt src = PixFmt(d->params.src_pix_fmt);
    const PixFmt dst = PixFmt(d->params.dst_pix_fmt);
    const PixDescriptor dd = get_pix_descriptor(dst);
    if (has_flag(src, PixDesc_Alpha) || !(dd.flags & PixDesc_Planar) || !(dd.flags & PixDesc_Alpha)) return;
    const bool is_float = dd.flags & PixDesc_Float;
    switch (dd.bit_depth[3]) {
    case 8: d->fill_alpha = fill_alpha_plane_max; break;
    case 10: d->fill_alpha = fill_alpha_plane_10bit; break;
    case 12: d->fill_alpha = fill_alpha_plane_12bit; break;
    case 16: d->fill_alpha = fill_alpha_plane_16bit; break;
    case 32:
        if (is_float) {
            d->fill_alpha = fill_alpha_plane_32f;
            break;
        }
        [[fallthrough]];
    default: throw_process_error("Fill alpha unsupported bitdepth");
    }
    d->fill_alpha_on = true;
}

int sws_matrix(uint32_t matrix) { return matrix == 1 ? SWS_CS_SMPTE170M : SWS_CS_ITU709; }

void setup_swscale(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    int flags;
    switch (p.quality) {
    case 1: flags = SWS_BILINEAR; break;
    case 2: flags = SWS_BICUBIC; break;
    case 3: flags = SWS_LANCZOS; break;
    default: flags = SWS_POINT; break;
    }
    flags |= SWS_FULL_CHR_H_INT;
    d->sws = sws_getCachedContext(nullptr, int(p.src_w), int(p.src_h), AVPixelFormat(get_ff_pix_fmt(d->mid_src_fmt)),
                                  int(p.dst_w), int(p.dst_h), AVPixelFormat(get_ff_pix_fmt(d->mid_dst_fmt)), flags,
                                  nullptr, nullptr, nullptr);
    if (!d->sws) return;  // reported at processing
    int *inv_table = nullptr;
    int *table = nullptr;
    int src_range = 0, dst_range = 0, brightness = 0, contrast = 0, saturation = 0;
    sws_getColorspaceDetails(d->sws, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast, &saturation);
    src_range = (p.src_range == 1 || !has_flag(PixFmt(p.src_pix_fmt), PixDesc_Yuv)) ? 1 : 0;
    dst_range = (p.dst_range == 1 || !has_flag(PixFmt(p.dst_pix_fmt), PixDesc_Yuv)) ? 1 : 0;
    sws_setColorspaceDetails(d->sws, sws_getCoefficients(sws_matrix(p.src_matrix)), src_range,
                             sws_getCoefficients(sws_matrix(p.dst_matrix)), dst_range, brightness, contrast,
                             saturation);
}

void setup_zimg(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const bool interlaced = p.interlaced != 0;
    zimg_image_format src_format;
    zimg_image_format dst_format;
    zimg_image_format_default(&src_format, ZIMG_API_VERSION);
    zimg_image_format_default(&dst_format, ZIMG_API_VERSION);
    src_format.width = p.src_w;
    src_format.height = interlaced ? p.src_h / 2 : p.src_h;
    dst_format.width = p.dst_w;
    dst_format.height = interlaced ? p.dst_h / 2 : p.dst_h;
    fill_zimg_image_format(&src_format, d->mid_src_fmt, p.src_alpha_mode, p.src_range, p.src_chroma_loc, p.src_matrix);
    fill_zimg_image_format(&dst_format, d->mid_dst_fmt, p.dst_alpha_mode, p.dst_range, p.dst_chroma_loc, p.dst_matrix);
    d->zimg_src_planes = get_pix_descriptor(d->mid_src_fmt).nb_planes;
    d->zimg_dst_planes = get_pix_descriptor(d->mid_dst_fmt).nb_planes;

    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    switch (p.quality) {
    case 0: params.resample_filter = ZIMG_RESIZE_POINT; break;
    case 1: params.resample_filter = ZIMG_RESIZE_BILINEAR; break;
    case 2: params.resample_filter = ZIMG_RESIZE_BICUBIC; break;
    case 3: params.resample_filter = ZIMG_RESIZE_LANCZOS; break;
    default: throw_process_error("Scale filter : scale quality unknown");
    }
    params.resample_filter_uv = params.resample_filter;
    params.dither_type = ZIMG_DITHER_NONE;
    params.cpu_type = ZIMG_CPU_NONE;

    const int graphs = interlaced ? 2 : 1;
    for (int g = 0; g < graphs; ++g) {
        if (interlaced) {
            const bool top = (p.interlaced == 1) == (g == 0);
            src_format.field_parity = dst_format.field_parity = top ? ZIMG_FIELD_TOP : ZIMG_FIELD_BOTTOM;
        }
        ScaleZimgGraph &zg = d->zimg[g];
        zg.graph = zimg_filter_graph_build(&src_format, &dst_format, &params);
        if (!zg.graph) {
            char msg[1024];
            const int code = zimg_get_last_error(msg, sizeof(msg));
            printf("ZIMG error : %d ; %s\n", code, msg);
            throw_process_error(g ? "Scale filter : Can't build graph interlace" : "Scale filter : Can't build graph");
        }
        const zimg_error_code_e err = zimg_filter_graph_get_tmp_size(zg.graph, &zg.tmp_size);
        if (err != ZIMG_ERROR_SUCCESS) {
            printf("Error val : %d\n", int(err));
            throw_process_error(g ? "Scale filter : can't get tmp data graph interlace"
                                  : "Scale filter : can't get tmp data graph");
        }
        zg.tmp = zalloc_aligned(zg.tmp_size ? zg.tmp_size : 64);
        if (!zg.tmp)
            throw_process_error(g ? "Scale filter : can't allocate tmp data graph interlace"
                                  : "Scale filter : can't allocate tmp data graph");
    }
}

void scale_filter_destroy(VideoFilter *filter) {
    filter_node_destroy<ScaleFilterData>(filter, [](ScaleFilterData *d) {
        video_frame_free_planes(&d->frame_pre);
        video_frame_free_planes(&d->frame_mid);
        video_frame_destroy(&d->output);
        for (ScaleZimgGraph &zg : d->zimg) {
            if (zg.graph) zimg_filter_graph_free(zg.graph);
            zfree_aligned(zg.tmp);
        }
        if (d->sws) sws_freeContext(d->sws);
    });
}

// Planes and line sizes of one stage's frame, as the kernels take them.
struct Planes {
    uint8_t *data[4];
    int64_t linesize[4];
};

Planes planes_of(const VideoFrame *f) {
    Planes pl{};
    for (int i = 0; i < 4; ++i) {
        pl.data[i] = f->data[i];
        pl.linesize[i] = f->linesize[i];
    }
    return pl;
}

bool is_gbr(PixFmt fmt) {
    switch (get_ff_pix_fmt(fmt)) {
    case AV_PIX_FMT_GBRP:
    case AV_PIX_FMT_GBRP10LE:
    case AV_PIX_FMT_GBRP12LE:
    case AV_PIX_FMT_GBRP16LE:
    case AV_PIX_FMT_GBRAP:
    case AV_PIX_FMT_GBRAP16LE: return true;
    default: return false;
    }
}

void ff_planes(const Planes &pl, PixFmt fmt, uint8_t *data[4], int linesize[4]) {
    static const int kGbrOrder[4] = {1, 2, 0, 3};
    const bool gbr = is_gbr(fmt);
    for (int i = 0; i < 4; ++i) {
        const int j = gbr ? kGbrOrder[i] : i;
        data[i] = pl.data[j];
        linesize[i] = int(pl.linesize[j]);
    }
}

// Rows an interlaced zimg run leaves unwritten in an odd-height target repeat the row
// above, so no line of the frame stays uninitialised.
void repeat_missing_field_rows(const ScaleFilterData *d, const Planes &out) {
    const ScaleFilterParams &p = d->params;
    const PixDescriptor desc = get_pix_descriptor(d->mid_dst_fmt);
    const uint32_t field_h = p.dst_h / 2;
    for (uint32_t i = 0; i < d->zimg_dst_planes; ++i) {
        const uint32_t rows = div_up(p.dst_h, desc.sub_h[i]);
        const uint32_t written = 2 * (field_h / desc.sub_h[i]);
        const size_t bytes = size_t(div_up(p.dst_w, desc.sub_w[i])) * desc.bytes_per_pixel[i];
        for (uint32_t r = written; r < rows && r > 0; ++r)
            memcpy(out.data[i] + int64_t(r) * out.linesize[i], out.data[i] + int64_t(r - 1) * out.linesize[i], bytes);
    }
}

void run_zimg(ScaleFilterData *d, const Planes &in, const Planes &out) {
    const ScaleFilterParams &p = d->params;
    zimg_image_buffer_const src_buf;
    zimg_image_buffer dst_buf;
    memset(&src_buf, 0, sizeof(src_buf));
    memset(&dst_buf, 0, sizeof(dst_buf));
    src_buf.version = ZIMG_API_VERSION;
    dst_buf.version = ZIMG_API_VERSION;
    const bool interlaced = p.interlaced != 0;
    const int64_t factor = interlaced ? 2 : 1;
    for (uint32_t i = 0; i < d->zimg_src_planes; ++i) {
        if (!in.data[i]) {
            printf("WARNING : Null src plane : %u\n", i);
            throw_process_error("Invalid plane src scaling");
        }
        src_buf.plane[i].data = in.data[i];
        src_buf.plane[i].stride = ptrdiff_t(in.linesize[i] * factor);
        src_buf.plane[i].mask = ZIMG_BUFFER_MAX;
    }
    for (uint32_t i = 0; i < d->zimg_dst_planes; ++i) {
        if (!out.data[i]) {
            printf("WARNING : Null dst plane : %u\n", i);
            throw_process_error("Invalid plane dst scaling");
        }
        dst_buf.plane[i].data = out.data[i];
        dst_buf.plane[i].stride = ptrdiff_t(out.linesize[i] * factor);
        dst_buf.plane[i].mask = ZIMG_BUFFER_MAX;
    }
    int err = zimg_filter_graph_process(d->zimg[0].graph, &src_buf, &dst_buf, d->zimg[0].tmp, nullptr, nullptr, nullptr,
                                        nullptr);
    if (err) {
        printf("Error val : %d\n", err);
        throw_process_error("Scale processing error");
    }
    if (!interlaced) return;
    for (uint32_t i = 0; i < d->zimg_src_planes; ++i) src_buf.plane[i].data = in.data[i] + in.linesize[i];
    for (uint32_t i = 0; i < d->zimg_dst_planes; ++i) dst_buf.plane[i].data = out.data[i] + out.linesize[i];
    err = zimg_filter_graph_process(d->zimg[1].graph, &src_buf, &dst_buf, d->zimg[1].tmp, nullptr, nullptr, nullptr,
                                    nullptr);
    if (err) {
        printf("Error val : %d\n", err);
        throw_process_error("Scale interlace processing error");
    }
    repeat_missing_field_rows(d, out);
}

void scale_filter_process(VideoFilter *filter) {
    auto *d = filter_node_data<ScaleFilterData>(filter);
    const VideoFrame *input = filter_node_input(filter);
    const ScaleFilterParams &p = d->params;
    VideoFrame *output = d->output;
    output->frame_index = input->frame_index;

    if (input->width != p.src_w || input->height != p.src_h) {
        printf(
            "ERROR input frame doesn't match expected resolution (found : %u x%u), expected : "
            "(%ux%u)\n",
            input->width, input->height, p.src_w, p.src_h);
        throw_process_error("Invalid input scaling resolution");
    }
    if (input->pix_fmt != p.src_pix_fmt) {
        // Reading another layout's planes as ours could run past them.
        printf("ERROR input frame scale pix fmt (%s) not in expected fmt : %s\n", get_pix_fmt_name(input->pix_fmt),
               get_pix_fmt_name(PixFmt(p.src_pix_fmt)));
        throw_process_error("Invalid input scaling pix fmt");
    }
    const uint32_t in_planes = get_pix_descriptor(PixFmt(p.src_pix_fmt)).nb_planes;
    for (uint32_t i = 0; i < in_planes; ++i) {
        if (!input->data[i]) {
            printf("WARNING : Null src plane : %u\n", i);
            throw_process_error("Invalid plane src scaling");
        }
    }

    const Planes out = planes_of(output);
    Planes cur = planes_of(input);
    switch (d->mode) {
    case ScaleMode_OwnKernels: {
        if (d->kernel_pre) {
            const Planes t = (d->kernel_post || d->plane_step_on) ? planes_of(&d->frame_pre) : out;
            d->kernel_pre(t.data, cur.data, t.linesize, cur.linesize, p.src_w, p.src_h);
            cur = t;
        }
        if (d->plane_step_on) {
            const Planes t = d->kernel_post ? planes_of(&d->frame_mid) : out;
            for (int i = 0; i < 4; ++i) {
                const ScalePlaneStep &s = d->plane_step[i];
                if (s.width == 0 || s.height == 0) continue;
                s.kernel(t.data[i], cur.data[i], t.linesize[i], cur.linesize[i], s.width, s.height);
            }
            cur = t;
        }
        if (d->kernel_post) d->kernel_post(out.data, cur.data, out.linesize, cur.linesize, p.dst_w, p.dst_h);
        break;
    }
    case ScaleMode_Swscale: {
        if (!d->sws) throw_process_error("Invalid scaling ctx");
        if (d->kernel_pre) {
            const Planes t = planes_of(&d->frame_pre);
            d->kernel_pre(t.data, cur.data, t.linesize, cur.linesize, p.src_w, p.src_h);
            cur = t;
        }
        const Planes t = d->kernel_post ? planes_of(&d->frame_mid) : out;
        uint8_t *src_data[4];
        uint8_t *dst_data[4];
        int src_ls[4];
        int dst_ls[4];
        ff_planes(cur, d->mid_src_fmt, src_data, src_ls);
        ff_planes(t, d->mid_dst_fmt, dst_data, dst_ls);
        sws_scale(d->sws, src_data, src_ls, 0, int(p.src_h), dst_data, dst_ls);
        if (d->kernel_post) d->kernel_post(out.data, t.data, out.linesize, t.linesize, p.dst_w, p.dst_h);
        break;
    }
    case ScaleMode_Zimg: {
        if (d->kernel_pre) {
            const Planes t = planes_of(&d->frame_pre);
            d->kernel_pre(t.data, cur.data, t.linesize, cur.linesize, p.src_w, p.src_h);
            cur = t;
        }
        const Planes t = d->kernel_post ? planes_of(&d->frame_mid) : out;
        run_zimg(d, cur, t);
        if (d->kernel_post) d->kernel_post(out.data, t.data, out.linesize, t.linesize, p.dst_w, p.dst_h);
        break;
    }
    default: throw_process_error("Invalid intern data");
    }

    if (d->fill_alpha_on) {
        if (output->nb_planes < 4 || !output->data[3]) {
            printf("WARNING can't find alpha plane out");
            throw_process_error("Invalid dst alpha plane fill");
        }
        // Bytes for the 8-bit fill, samples for the others: dst_w either way.
        d->fill_alpha(output->data[3], output->linesize[3], p.dst_w, p.dst_h);
    }
}

bool width_fits_int(PixFmt fmt, uint32_t width) {
    const PixDescriptor desc = get_pix_descriptor(fmt);
    for (uint32_t i = 0; i < desc.nb_planes; ++i) {
        const uint64_t line = (uint64_t(desc.bytes_per_pixel[i]) * width + 63) & ~uint64_t(63);
        if (line > 2147483646u) return false;
    }
    return true;
}

void plan_and_allocate(ScaleFilterData *d) {
    const ScaleFilterParams &p = d->params;
    const PixFmt src = PixFmt(p.src_pix_fmt);
    const PixFmt dst = PixFmt(p.dst_pix_fmt);

    d->use_swscale = p.use_swscale == 1;
    if (d->use_swscale) {
        if (!width_fits_int(src, p.src_w) || !width_fits_int(dst, p.dst_w)) {
            printf("Pix fmt width doesn't fit INT");
            d->use_swscale = false;
        } else if (has_flag(src, PixDesc_Float) && has_flag(dst, PixDesc_Float)) {
            d->use_swscale = false;
        } else if (p.interlaced != 0) {
            d->use_swscale = false;
        }
    }
    d->alpha_op = get_scale_alpha_op(src, dst, p.src_alpha_mode, p.dst_alpha_mode);

    if (p.src_w == p.dst_w && p.src_h == p.dst_h && p.disable_fast_path == 0 && p.src_matrix == p.dst_matrix &&
        plan_same_size(d))
        d->mode = ScaleMode_OwnKernels;
    if (d->mode == ScaleMode_Undecided && uint64_t(p.src_w) == 2ull * p.dst_w && uint64_t(p.src_h) == 2ull * p.dst_h &&
        p.quality == 1 && p.disable_fast_path == 0 && p.src_matrix == p.dst_matrix && plan_half_size(d))
        d->mode = ScaleMode_OwnKernels;
    if (d->mode == ScaleMode_Undecided && d->use_swscale && plan_swscale(d)) d->mode = ScaleMode_Swscale;
    if (d->mode == ScaleMode_Undecided) {
        plan_zimg(d);
        d->mode = ScaleMode_Zimg;
    }
    plan_fill_alpha(d);

    if (d->mode == ScaleMode_Swscale) setup_swscale(d);
    if (d->mode == ScaleMode_Zimg) setup_zimg(d);

    if (d->kernel_pre && d->mid_src_fmt != PixFmt_Undefined)
        video_frame_alloc(&d->frame_pre, p.src_w, p.src_h, d->mid_src_fmt, 1);
    if (d->kernel_post) video_frame_alloc(&d->frame_mid, p.dst_w, p.dst_h, d->mid_dst_fmt, 1);
    d->output = video_frame_new();
    video_frame_alloc(d->output, p.dst_w, p.dst_h, dst, 1);
}

}  // namespace

VideoFilter *create_filter_scale(const ScaleFilterParams *params) {
    const ScaleFilterParams &p = *params;
    if (!source_fmt_supported(p.src_pix_fmt)) {
        if (p.src_pix_fmt != PixFmt_UYVYA && p.src_pix_fmt != PixFmt_Undefined)
            printf("Warning : Unsupported pix fmt for scaling : %u\n", p.src_pix_fmt);
        printf("Unsupported input fmt : %s\n", get_pix_fmt_name(PixFmt(p.src_pix_fmt)));
        throw_process_error("Unsupported input pix fmt\n");
    }
    if (!target_fmt_supported(p.dst_pix_fmt)) {
        printf("Unsupported output fmt : %s\n", get_pix_fmt_name(PixFmt(p.dst_pix_fmt)));
        throw_process_error("Unsupported output pix fmt");
    }
    if (p.src_w == 0 || p.src_h == 0 || p.dst_w == 0 || p.dst_h == 0) {
        printf("Invalid scaling dim src : %u x %u ; Dst : %u x %u\n", p.src_w, p.src_h, p.dst_w, p.dst_h);
        throw_process_error("Invalid dimensions (zero)");
    }

    return filter_node_create<ScaleFilterData>(VideoFilterType_Scale, 1, scale_filter_process, scale_filter_destroy,
                                               [&](ScaleFilterData *d) {
                                                   d->params = p;
                                                   d->mode = ScaleMode_Undecided;
                                                   d->mid_src_fmt = d->mid_dst_fmt = PixFmt_Undefined;
                                                   video_frame_init(&d->frame_pre);
                                                   video_frame_init(&d->frame_mid);
                                                   d->use_avx2 = row_kernels_avx2_gate(p.allow_avx2 == 1);
                                                   plan_and_allocate(d);
                                                   return d->output;
                                               });
}
