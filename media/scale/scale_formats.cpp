// Layout helpers of the scale node: alpha operation, planar and FFmpeg layouts, kernel
// choice, zimg formats and the fit-in-box size.
#include <cmath>
#include <cstdio>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "media/scale/scale_filter_internal.h"
#include "platform/core/errors.h"

PixFmt get_no_alpha_pix_fmt(PixFmt pix_fmt) {
    switch (pix_fmt) {
    case PixFmt_RGBA8: return PixFmt_RGBX8;
    case PixFmt_RGBA32F: return PixFmt_RGBX32F;
    case PixFmt_PlanarRGBA8: return PixFmt_PlanarRGB8;
    case PixFmt_PlanarRGBA16: return PixFmt_PlanarRGB16;
    case PixFmt_PlanarRGBA32F: return PixFmt_PlanarRGB32F;
    case PixFmt_YUVA444_10: return PixFmt_YUV444_10;
    case PixFmt_YUVA444_12: return PixFmt_YUV444_12;
    default: return pix_fmt;
    }
}

PixFmt get_scale_planar_fmt(PixFmt pix_fmt, bool keep_alpha) {
    const PixDescriptor desc = get_pix_descriptor(pix_fmt);
    if (desc.flags & PixDesc_Planar) {
        if (!(desc.flags & PixDesc_Alpha) || keep_alpha) return pix_fmt;
        const PixFmt no_alpha = get_no_alpha_pix_fmt(pix_fmt);
        if (no_alpha == pix_fmt) {
            printf("Can't find no alpha planar fmt : %s\n", get_pix_fmt_name(pix_fmt));
            throw_process_error("Can't find no alpha planar fmt");
        }
        return no_alpha;
    }
    switch (pix_fmt) {
    case PixFmt_ARGB8:
    case PixFmt_RGBA8: return keep_alpha ? PixFmt_PlanarRGBA8 : PixFmt_PlanarRGB8;
    case PixFmt_RGB8:
    case PixFmt_BGR8:
    case PixFmt_RGBX8: return PixFmt_PlanarRGB8;
    case PixFmt_RGBA16: return keep_alpha ? PixFmt_PlanarRGBA16 : PixFmt_PlanarRGB16;
    case PixFmt_RGBX16: return PixFmt_PlanarRGB16;
    case PixFmt_RGBA32F: return keep_alpha ? PixFmt_PlanarRGBA32F : PixFmt_PlanarRGB32F;
    case PixFmt_RGBX32F: return PixFmt_PlanarRGB32F;
    case PixFmt_UYVY: return PixFmt_YUV422;
    case PixFmt_V210: return PixFmt_YUV422_10;
    default:
        printf("Can't find packed to planar fmt : %s\n", get_pix_fmt_name(pix_fmt));
        throw_process_error("Can't find packed to planar fmt");
    }
}

namespace {

// AV_PIX_FMT_NONE for layouts FFmpeg is not given.
int ff_pix_fmt_or_none(PixFmt pix_fmt) {
    switch (pix_fmt) {
    case PixFmt_ARGB8: return AV_PIX_FMT_ARGB;
    case PixFmt_RGBA8: return AV_PIX_FMT_RGBA;
    case PixFmt_RGB8: return AV_PIX_FMT_RGB24;
    case PixFmt_BGR8: return AV_PIX_FMT_BGR24;
    case PixFmt_RGBX8: return AV_PIX_FMT_RGB0;
    case PixFmt_RGBA16:
    case PixFmt_RGBX16: return AV_PIX_FMT_RGBA64LE;
    case PixFmt_PlanarRGB8: return AV_PIX_FMT_GBRP;
    case PixFmt_PlanarRGBA8: return AV_PIX_FMT_GBRAP;
    case PixFmt_PlanarRGB10: return AV_PIX_FMT_GBRP10LE;
    case PixFmt_PlanarRGB12: return AV_PIX_FMT_GBRP12LE;
    case PixFmt_PlanarRGB16: return AV_PIX_FMT_GBRP16LE;
    case PixFmt_PlanarRGBA16: return AV_PIX_FMT_GBRAP16LE;
    case PixFmt_Grey8: return AV_PIX_FMT_GRAY8;
    case PixFmt_Grey10: return AV_PIX_FMT_GRAY10LE;
    case PixFmt_Grey12: return AV_PIX_FMT_GRAY12LE;
    case PixFmt_Grey16: return AV_PIX_FMT_GRAY16LE;
    case PixFmt_Grey32F: return AV_PIX_FMT_GRAYF32LE;
    case PixFmt_YUV420: return AV_PIX_FMT_YUV420P;
    case PixFmt_YUV422: return AV_PIX_FMT_YUV422P;
    case PixFmt_YUV444: return AV_PIX_FMT_YUV444P;
    case PixFmt_YUVA420: return AV_PIX_FMT_YUVA420P;
    case PixFmt_YUVA444: return AV_PIX_FMT_YUVA444P;
    case PixFmt_YUV420_10: return AV_PIX_FMT_YUV420P10LE;
    case PixFmt_YUV422_10: return AV_PIX_FMT_YUV422P10LE;
    case PixFmt_YUV444_10: return AV_PIX_FMT_YUV444P10LE;
    case PixFmt_YUVA444_10: return AV_PIX_FMT_YUVA444P10LE;
    case PixFmt_YUV422_12: return AV_PIX_FMT_YUV422P12LE;
    case PixFmt_YUV444_12: return AV_PIX_FMT_YUV444P12LE;
    case PixFmt_YUVA444_12: return AV_PIX_FMT_YUVA444P12LE;
    case PixFmt_UYVY: return AV_PIX_FMT_UYVY422;
    default: return AV_PIX_FMT_NONE;
    }
}

}  // namespace

int get_ff_pix_fmt(PixFmt pix_fmt) {
    const int ff = ff_pix_fmt_or_none(pix_fmt);
    if (ff == AV_PIX_FMT_NONE) throw_process_error("Request unknown pix fmt for ff");
    return ff;
}

PixFmt get_ff_compatible_pix_fmt(PixFmt pix_fmt) {
    if (ff_pix_fmt_or_none(pix_fmt) != AV_PIX_FMT_NONE) return pix_fmt;
    switch (pix_fmt) {
    case PixFmt_RGBA32F:
    case PixFmt_PlanarRGBA32F: return PixFmt_PlanarRGBA16;
    case PixFmt_RGBX32F:
    case PixFmt_PlanarRGB32F: return PixFmt_PlanarRGB16;
    case PixFmt_V210: return PixFmt_YUV422_10;
    default: printf("Unsupported pix fmt for ff : %s\n", get_pix_fmt_name(pix_fmt)); return PixFmt_Undefined;
    }
}

ScaleAlphaOp get_scale_alpha_op(PixFmt src, PixFmt dst, uint32_t src_mode, uint32_t dst_mode) {
    if (!(get_pix_descriptor(src).flags & PixDesc_Alpha)) return ScaleAlphaOp_Plain;
    const bool dst_alpha = get_pix_descriptor(dst).flags & PixDesc_Alpha;
    // Premultiplying takes straight colour in, whether or not the target keeps alpha.
    if (src_mode == ScaleAlphaMode_Straight && dst_mode == ScaleAlphaMode_Premultiplied)
        return ScaleAlphaOp_Premultiply;
    if (src_mode == ScaleAlphaMode_Premultiplied && dst_mode == ScaleAlphaMode_Straight)
        return ScaleAlphaOp_Unpremultiply;
    return dst_alpha ? ScaleAlphaOp_KeepAlpha : ScaleAlphaOp_Plain;
}

RowKernel get_conv_kernel(PixFmt src, PixFmt dst, bool use_avx2) {
    return row_kernel_for_tier(row_kernel_find(RowOp::conv, src, dst), use_avx2);
}

RowKernel get_premult_kernel(PixFmt src, PixFmt dst, bool use_avx2) {
    return row_kernel_for_tier(row_kernel_find(RowOp::premult, src, dst), use_avx2);
}

RowKernel get_unpremult_kernel(PixFmt src, PixFmt dst, bool use_avx2) {
    return row_kernel_for_tier(row_kernel_find(RowOp::unpremult, src, dst), use_avx2);
}

RowKernel get_alpha_op_kernel(PixFmt src, PixFmt dst, ScaleAlphaOp op, bool use_avx2) {
    switch (op) {
    case ScaleAlphaOp_Premultiply: return get_premult_kernel(src, dst, use_avx2);
    case ScaleAlphaOp_Unpremultiply: return get_unpremult_kernel(src, dst, use_avx2);
    default: return get_conv_kernel(src, dst, use_avx2);
    }
}

const char *get_scale_alpha_mode_name(uint32_t mode) {
    switch (mode) {
    case ScaleAlphaMode_Premultiplied: return "Premult Black";
    case ScaleAlphaMode_Straight: return "Straight";
    default: return "Unknown";
    }
}

void fill_zimg_image_format(zimg_image_format *format, PixFmt pix_fmt, uint32_t alpha_mode, uint32_t range,
                            uint32_t chroma_loc, uint32_t matrix) {
    const PixDescriptor desc = get_pix_descriptor(pix_fmt);
    switch (desc.bytes_per_pixel[0]) {
    case 1: format->pixel_type = ZIMG_PIXEL_BYTE; break;
    case 2: format->pixel_type = ZIMG_PIXEL_WORD; break;
    case 4:
        if (desc.flags & PixDesc_Float) {
            format->pixel_type = ZIMG_PIXEL_FLOAT;
            break;
        }
        [[fallthrough]];
    default: throw_process_error("Unsupported quantif pixel type z");
    }
    format->depth = desc.bit_depth[0];

    // Both sides carry the same transfer and primaries, so zimg converts matrix, range
    // and size only and never goes through linear light (as libswscale does).
    format->transfer_characteristics = ZIMG_TRANSFER_BT709;
    format->color_primaries = ZIMG_PRIMARIES_BT709;
    if (desc.flags & PixDesc_Grey) {
        format->color_family = ZIMG_COLOR_GREY;
        format->matrix_coefficients = ZIMG_MATRIX_BT709;
        format->pixel_range = ZIMG_RANGE_FULL;
    } else if (desc.flags & PixDesc_Rgb) {
        format->color_family = ZIMG_COLOR_RGB;
        format->pixel_range = ZIMG_RANGE_FULL;
        format->matrix_coefficients = ZIMG_MATRIX_RGB;
    } else if (desc.flags & PixDesc_Yuv) {
        format->color_family = ZIMG_COLOR_YUV;
        auto log2_factor = [](uint32_t factor, const char *error) -> unsigned {
            if (factor == 1) return 0;
            if (factor == 2) return 1;
            throw_process_error(error);
        };
        format->subsample_w = log2_factor(desc.sub_w[1], "Unsupported subsampling h");
        format->subsample_h = log2_factor(desc.sub_h[1], "Unsupported subsampling v");
        format->matrix_coefficients = matrix == 1 ? ZIMG_MATRIX_ST170_M : ZIMG_MATRIX_BT709;
        format->pixel_range = range == 1 ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
        switch (chroma_loc) {
        case 1: format->chroma_location = ZIMG_CHROMA_CENTER; break;
        case 2: format->chroma_location = ZIMG_CHROMA_TOP_LEFT; break;
        case 3: format->chroma_location = ZIMG_CHROMA_TOP; break;
        case 4: format->chroma_location = ZIMG_CHROMA_BOTTOM_LEFT; break;
        case 5: format->chroma_location = ZIMG_CHROMA_BOTTOM; break;
        default: format->chroma_location = ZIMG_CHROMA_LEFT; break;
        }
    } else {
        throw_process_error("Scale filter : can't find pix fmt graph conv");
    }
    if (desc.flags & PixDesc_Alpha)
        format->alpha = alpha_mode == ScaleAlphaMode_Premultiplied ? ZIMG_ALPHA_PREMULTIPLIED : ZIMG_ALPHA_STRAIGHT;
}

namespace {

// Adds 0.49999997 with the sign of x and truncates toward zero.
float round_half_almost(float x) { return std::trunc(x + std::copysign(0.49999997f, x)); }

unsigned fit_side(float x, unsigned box_side) {
    const float r = round_half_almost(x);
    if (!(r >= 2.0f)) return 1;  // 0, 1 and NaN
    if (r >= float(box_side)) return box_side;
    return unsigned(r);
}

}  // namespace

void get_fit_dim_keep_ratio(unsigned *out_w, unsigned *out_h, unsigned src_w, unsigned src_h, unsigned box_w,
                            unsigned box_h) {
    if (src_w == 0 || src_h == 0 || box_w == 0 || box_h == 0) {
        // No ratio to keep.
        *out_w = box_w;
        *out_h = box_h;
        return;
    }
    const float r = float(src_w) / float(src_h);
    const float big_r = float(box_w) / float(box_h);
    if (r == big_r) {
        *out_w = box_w;
        *out_h = box_h;
    } else if (big_r > r) {
        *out_h = box_h;
        *out_w = fit_side(r * float(box_h), box_w);
    } else {
        *out_w = box_w;
        *out_h = fit_side(float(box_w) / r, box_h);
    }
}
