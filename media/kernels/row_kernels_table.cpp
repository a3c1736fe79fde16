// Which kernel serves which pair of layouts, the AVX2 twins and the tier gate.
#include "media/kernels/row_kernels.h"

#include "platform/core/cpu.h"

namespace {

constexpr PixFmt code_argb8 = PixFmt_ARGB8, code_rgba8 = PixFmt_RGBA8, code_rgb8 = PixFmt_RGB8, code_bgr8 = PixFmt_BGR8,
                 code_rgbx8 = PixFmt_RGBX8, code_rgba16 = PixFmt_RGBA16, code_rgbx16 = PixFmt_RGBX16,
                 code_rgba32f = PixFmt_RGBA32F, code_rgbx32f = PixFmt_RGBX32F, code_planar_rgb8 = PixFmt_PlanarRGB8,
                 code_planar_rgba8 = PixFmt_PlanarRGBA8, code_planar_rgb16 = PixFmt_PlanarRGB16,
                 code_planar_rgba16 = PixFmt_PlanarRGBA16, code_planar_rgb32f = PixFmt_PlanarRGB32F,
                 code_planar_rgba32f = PixFmt_PlanarRGBA32F;

struct RgbEntry {
    RowOp op;
    PixFmt src, dst;
    RowKernel fn;
};

#define ZELQA_RGB_ENTRY(op, s, d) {RowOp::op, code_##s, code_##d, op##_##s##_to_##d##_c},
const RgbEntry kRgbEntries[] = {ZELQA_PACKED_RGB_KERNELS(ZELQA_RGB_ENTRY) ZELQA_PLANAR_RGB_KERNELS(ZELQA_RGB_ENTRY)};
#undef ZELQA_RGB_ENTRY

RowKernel find_rgb(RowOp op, PixFmt src, PixFmt dst) {
    for (const RgbEntry &e : kRgbEntries)
        if (e.op == op && e.src == src && e.dst == dst) return e.fn;
    return nullptr;
}

bool is_padded(PixFmt fmt) { return fmt == PixFmt_RGBX8 || fmt == PixFmt_RGBX16 || fmt == PixFmt_RGBX32F; }

// The alpha layout of the same depth (rgbx8 -> rgba8, ...); other layouts unchanged.
PixFmt alpha_form(PixFmt fmt) {
    switch (fmt) {
    case PixFmt_RGBX8: return PixFmt_RGBA8;
    case PixFmt_RGBX16: return PixFmt_RGBA16;
    case PixFmt_RGBX32F: return PixFmt_RGBA32F;
    default: return fmt;
    }
}

bool has_fourth_sample(PixFmt fmt) {
    switch (fmt) {
    case PixFmt_ARGB8:
    case PixFmt_RGBA8:
    case PixFmt_RGBX8:
    case PixFmt_RGBA16:
    case PixFmt_RGBX16:
    case PixFmt_RGBA32F:
    case PixFmt_RGBX32F:
    case PixFmt_PlanarRGBA8:
    case PixFmt_PlanarRGBA16:
    case PixFmt_PlanarRGBA32F: return true;
    default: return false;
    }
}

}  // namespace

RowKernel row_kernel_find(RowOp op, PixFmt src, PixFmt dst) {
    if (op == RowOp::conv) {
        switch (src) {
        case PixFmt_UYVY:
        case PixFmt_UYVYA:
            if (dst == PixFmt_YUV422) return conv_uyvy_to_planar_yuv422_c;
            if (dst == PixFmt_YUV422_10) return conv_uyvy_to_planar_yuv422_10_c;
            if (dst == PixFmt_YUV422_12) return conv_uyvy_to_planar_yuv422_12_c;
            return nullptr;
        case PixFmt_V210:
            if (dst == PixFmt_YUV422) return conv_v210_to_planar_yuv422_c;
            if (dst == PixFmt_YUV422_10) return conv_v210_to_planar_yuv422_10_c;
            return nullptr;
        case PixFmt_YUV422: return dst == PixFmt_UYVY ? conv_planar_yuv422_to_uyvy_c : nullptr;
        case PixFmt_YUV422_10: return dst == PixFmt_UYVY ? conv_planar_yuv422_10_to_uyvy_c : nullptr;
        case PixFmt_YUV422_12: return dst == PixFmt_UYVY ? conv_planar_yuv422_12_to_uyvy_c : nullptr;
        default: break;
        }
        if (src == dst) return nullptr;  // a plane copy
        // rgbx8 widened to a padded layout carries its padding along like a channel.
        if (src == PixFmt_RGBX8 && dst == PixFmt_RGBX16) return conv_rgba8_to_rgba16_c;
        if (src == PixFmt_RGBX8 && dst == PixFmt_RGBX32F) return conv_rgba8_to_rgba32f_c;
    }
    if (RowKernel k = find_rgb(op, src, alpha_form(dst))) return k;
    // A padded source to a layout without alpha: its padding is read and dropped.
    if (is_padded(src) && !has_fourth_sample(dst)) return find_rgb(op, alpha_form(src), dst);
    return nullptr;
}

PlaneKernel plane_conv_kernel_find(int src_bits, int dst_bits) {
    struct Entry {
        int s, d;
        PlaneKernel fn;
    };
#define ZELQA_BITS_8            8
#define ZELQA_BITS_10           10
#define ZELQA_BITS_12           12
#define ZELQA_BITS_16           16
#define ZELQA_BITS_32f          32
#define ZELQA_PLANE_ENTRY(s, d) {ZELQA_BITS_##s, ZELQA_BITS_##d, conv_plane##s##_to_plane##d##_c},
    static const Entry entries[] = {ZELQA_PLANE_CONV_KERNELS(ZELQA_PLANE_ENTRY)};
#undef ZELQA_PLANE_ENTRY
    for (const Entry &e : entries)
        if (e.s == src_bits && e.d == dst_bits) return e.fn;
    return nullptr;
}

bool row_kernels_avx2_gate(bool allow_avx2) {
    if (!allow_avx2) return false;
    const CpuFeatures &f = cpu_features();
    return f.avx && f.avx2;
}

#define ZELQA_TWIN(stem, step, fma) {#stem, stem##_c, stem##_avx2, step, fma},
const RowKernelTwin kRowKernelTwins[] = {ZELQA_AVX2_ROW_KERNELS(ZELQA_TWIN)};
const unsigned kRowKernelTwinCount = sizeof(kRowKernelTwins) / sizeof(kRowKernelTwins[0]);
const PlaneKernelTwin kPlaneKernelTwins[] = {ZELQA_AVX2_PLANE_KERNELS(ZELQA_TWIN)};
const unsigned kPlaneKernelTwinCount = sizeof(kPlaneKernelTwins) / sizeof(kPlaneKernelTwins[0]);
#undef ZELQA_TWIN

namespace {

template <class Twin, class Fn>
Fn for_tier(const Twin *twins, unsigned count, Fn plain, bool use_avx2) {
    if (!use_avx2 || !plain) return plain;
    const CpuFeatures &f = cpu_features();
    if (!f.avx2) return plain;
    for (unsigned i = 0; i < count; ++i) {
        if (twins[i].plain != plain) continue;
        // The fused heads need FMA, which the AVX2 bit does not promise.
        if (twins[i].needs_fma && !f.fma) return plain;
        return twins[i].avx2;
    }
    return plain;
}

}  // namespace

RowKernel row_kernel_for_tier(RowKernel plain, bool use_avx2) {
    return for_tier(kRowKernelTwins, kRowKernelTwinCount, plain, use_avx2);
}

PlaneKernel plane_kernel_for_tier(PlaneKernel plain, bool use_avx2) {
    return for_tier(kPlaneKernelTwins, kPlaneKernelTwinCount, plain, use_avx2);
}
