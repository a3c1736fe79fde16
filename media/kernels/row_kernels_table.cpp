// Which kernel serves which pair of layouts, the AVX2 twins and the tier gate.
#include "media/kernels/row_kernels.h"

#include "platform/core/cpu.h"

namespace {

constexpr int code_argb8 = kRowArgb8, code_rgba8 = kRowRgba8, code_rgb8 = kRowRgb8, code_bgr8 = kRowBgr8,
              code_rgbx8 = kRowRgbx8, code_rgba16 = kRowRgba16, code_rgbx16 = kRowRgbx16,
              code_rgba32f = kRowRgba32f, code_rgbx32f = kRowRgbx32f, code_planar_rgb8 = kRowPlanarRgb8,
              code_planar_rgba8 = kRowPlanarRgba8, code_planar_rgb16 = kRowPlanarRgb16,
              code_planar_rgba16 = kRowPlanarRgba16, code_planar_rgb32f = kRowPlanarRgb32f,
              code_planar_rgba32f = kRowPlanarRgba32f;

struct RgbEntry {
    RowOp op;
    int src, dst;
    RowKernel fn;
};

#define ZELQA_RGB_ENTRY(op, s, d) {RowOp::op, code_##s, code_##d, op##_##s##_to_##d##_c},
const RgbEntry kRgbEntries[] = {
    ZELQA_PACKED_RGB_KERNELS(ZELQA_RGB_ENTRY) ZELQA_PLANAR_RGB_KERNELS(ZELQA_RGB_ENTRY)};
#undef ZELQA_RGB_ENTRY

RowKernel find_rgb(RowOp op, int src, int dst) {
    for (const RgbEntry &e : kRgbEntries)
        if (e.op == op && e.src == src && e.dst == dst) return e.fn;
    return nullptr;
}

bool is_padded(int fmt) { return fmt == kRowRgbx8 || fmt == kRowRgbx16 || fmt == kRowRgbx32f; }

// The alpha layout of the same depth (rgbx8 -> rgba8, ...); other layouts unchanged.
int alpha_form(int fmt) {
    switch (fmt) {
    case kRowRgbx8: return kRowRgba8;
    case kRowRgbx16: return kRowRgba16;
    case kRowRgbx32f: return kRowRgba32f;
    default: return fmt;
    }
}

bool has_fourth_sample(int fmt) {
    switch (fmt) {
    case kRowArgb8: case kRowRgba8: case kRowRgbx8: case kRowRgba16: case kRowRgbx16:
    case kRowRgba32f: case kRowRgbx32f: case kRowPlanarRgba8: case kRowPlanarRgba16: case kRowPlanarRgba32f:
        return true;
    default:
        return false;
    }
}

}  // namespace

RowKernel row_kernel_find(RowOp op, int src, int dst) {
    if (op == RowOp::conv) {
        switch (src) {
        case kRowUyvy:
        case kRowUyvya:
            if (dst == kRowPlanarYuv422) return conv_uyvy_to_planar_yuv422_c;
            if (dst == kRowPlanarYuv422_10) return conv_uyvy_to_planar_yuv422_10_c;
            if (dst == kRowPlanarYuv422_12) return conv_uyvy_to_planar_yuv422_12_c;
            return nullptr;
        case kRowV210:
            if (dst == kRowPlanarYuv422) return conv_v210_to_planar_yuv422_c;
            if (dst == kRowPlanarYuv422_10) return conv_v210_to_planar_yuv422_10_c;
            return nullptr;
        case kRowPlanarYuv422:
            return dst == kRowUyvy ? conv_planar_yuv422_to_uyvy_c : nullptr;
        case kRowPlanarYuv422_10:
            return dst == kRowUyvy ? conv_planar_yuv422_10_to_uyvy_c : nullptr;
        case kRowPlanarYuv422_12:
            return dst == kRowUyvy ? conv_planar_yuv422_12_to_uyvy_c : nullptr;
        default:
            break;
        }
        if (src == dst) return nullptr;  // a plane copy
        // rgbx8 widened to a padded layout carries its padding along like a channel.
        if (src == kRowRgbx8 && dst == kRowRgbx16) return conv_rgba8_to_rgba16_c;
        if (src == kRowRgbx8 && dst == kRowRgbx32f) return conv_rgba8_to_rgba32f_c;
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
#define ZELQA_BITS_8 8
#define ZELQA_BITS_10 10
#define ZELQA_BITS_12 12
#define ZELQA_BITS_16 16
#define ZELQA_BITS_32f 32
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
