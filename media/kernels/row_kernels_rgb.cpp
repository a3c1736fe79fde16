// RGB conversions between packed and planar layouts at 8-bit, 16-bit and float depth, with
// optional premultiply or unpremultiply. Every member is one instance of rgb_kernel, built
// from the traits of its two layouts.
#include <algorithm>
#include <type_traits>

#include "media/kernels/row_kernels.h"
#include "media/kernels/row_kernels_internal.h"

using namespace rowk;

namespace {

enum class Dep { d8 = 0, d16 = 1, f32 = 2 };  // in order of fineness
enum class Op { conv, premult, unpremult, premult_black };

// One layout: sample depth, packed or planar, samples per packed pixel, position of R, G, B
// and A in a packed pixel (-1: absent), and whether the fourth sample is padding (X).
struct LayoutDesc {
    Dep dep;
    bool planar;
    int n;
    int pos[4];
    bool pad;
    constexpr bool has_alpha() const { return pos[3] >= 0 && !pad; }
    constexpr bool writes_fourth() const { return pos[3] >= 0; }
};

#define ZELQA_LAYOUT(name, dep, planar, n, r, g, b, a, pad)                    \
    struct L_##name {                                                          \
        static constexpr LayoutDesc d{Dep::dep, planar, n, {r, g, b, a}, pad}; \
    };
ZELQA_LAYOUT(argb8, d8, false, 4, 1, 2, 3, 0, false)
ZELQA_LAYOUT(rgba8, d8, false, 4, 0, 1, 2, 3, false)
ZELQA_LAYOUT(rgb8, d8, false, 3, 0, 1, 2, -1, false)
ZELQA_LAYOUT(bgr8, d8, false, 3, 2, 1, 0, -1, false)
ZELQA_LAYOUT(rgbx8, d8, false, 4, 0, 1, 2, 3, true)
ZELQA_LAYOUT(rgba16, d16, false, 4, 0, 1, 2, 3, false)
ZELQA_LAYOUT(rgbx16, d16, false, 4, 0, 1, 2, 3, true)
ZELQA_LAYOUT(rgba32f, f32, false, 4, 0, 1, 2, 3, false)
ZELQA_LAYOUT(rgbx32f, f32, false, 4, 0, 1, 2, 3, true)
// Planar layouts: pos is the plane number.
ZELQA_LAYOUT(planar_rgb8, d8, true, 1, 0, 1, 2, -1, false)
ZELQA_LAYOUT(planar_rgba8, d8, true, 1, 0, 1, 2, 3, false)
ZELQA_LAYOUT(planar_rgb16, d16, true, 1, 0, 1, 2, -1, false)
ZELQA_LAYOUT(planar_rgba16, d16, true, 1, 0, 1, 2, 3, false)
ZELQA_LAYOUT(planar_rgb32f, f32, true, 1, 0, 1, 2, -1, false)
ZELQA_LAYOUT(planar_rgba32f, f32, true, 1, 0, 1, 2, 3, false)
#undef ZELQA_LAYOUT

template <Dep D>
using Sample = std::conditional_t<D == Dep::d8, uint8_t, std::conditional_t<D == Dep::d16, uint16_t, float>>;
template <Dep D>
using Work = std::conditional_t<D == Dep::f32, float, uint32_t>;

template <Dep D>
constexpr Work<D> full_scale() {
    if constexpr (D == Dep::d8)
        return 255u;
    else if constexpr (D == Dep::d16)
        return 65535u;
    else
        return 1.0f;
}

// Sample conversion to a finer or equal depth.
template <Dep From, Dep To>
inline Work<To> widen(Work<From> v) {
    if constexpr (From == To)
        return v;
    else if constexpr (From == Dep::d8 && To == Dep::d16)
        return v * 257u;
    else if constexpr (From == Dep::d8)
        return static_cast<float>(v) * kK8;
    else
        return static_cast<float>(v) * kK16;
}

// Sample conversion to a coarser or equal depth.
template <Dep From, Dep To>
inline Sample<To> narrow(Work<From> v) {
    if constexpr (From == To)
        return static_cast<Sample<To>>(v);
    else if constexpr (From == Dep::d16)
        return static_cast<Sample<To>>(v >> 8);
    else if constexpr (To == Dep::d8)
        return static_cast<uint8_t>(quantise(v, 255));
    else
        return static_cast<uint16_t>(quantise(v, 65535));
}

template <Dep W>
inline Work<W> premultiply(Work<W> c, Work<W> a) {
    if constexpr (W == Dep::d8) {
        const uint32_t t = (c + (a >> 7)) * a;
        return ((t >> 8) + ((t & (255u - a)) >> 7)) & 0xFFu;
    } else if constexpr (W == Dep::d16) {
        return ((c + 1u) * a) >> 16;
    } else {
        return c * a;
    }
}

// Alpha 0 is handled by the caller (all colours 0).
template <Dep W>
inline Work<W> unpremultiply(Work<W> c, Work<W> a) {
    if constexpr (W == Dep::d8) {
        const float y = (static_cast<float>(c) / static_cast<float>(a)) * 255.0f;
        return std::min<uint32_t>(round_pos(y), 255u);
    } else if constexpr (W == Dep::d16) {
        const float qt = std::min(1.0f, static_cast<float>(c) / static_cast<float>(a));
        return round_pos(qt * 65535.0f);
    } else {
        return c / a;
    }
}

// Pointers to the four channels of one row; channel k of pixel i is base[k][i * step].
template <class L, class Ptr>
struct RowView {
    static constexpr LayoutDesc d = L::d;
    static constexpr int step = d.planar ? 1 : d.n;
    Ptr base[4] = {};

    template <class P4>
    RowView(P4 planes, const int64_t *strides, uint32_t r) {
        using T = std::remove_pointer_t<Ptr>;
        for (int k = 0; k < 4; ++k) {
            if (d.pos[k] < 0) continue;
            if (d.planar)
                base[k] = row_at<T>(planes[d.pos[k]], strides[d.pos[k]], r);
            else
                base[k] = row_at<T>(planes[0], strides[0], r) + d.pos[k];
        }
    }
};

template <Op O, class S, class D>
void rgb_kernel(ZELQA_ROW_KERNEL_ARGS) {
    constexpr LayoutDesc sd = S::d, dd = D::d;
    constexpr Dep W = static_cast<int>(sd.dep) > static_cast<int>(dd.dep) ? sd.dep : dd.dep;
    using SrcT = const Sample<sd.dep>;
    using DstT = Sample<dd.dep>;
    for (uint32_t r = 0; r < rows; ++r) {
        const RowView<S, SrcT *> in(src, src_stride, r);
        const RowView<D, DstT *> out(dst, dst_stride, r);
        for (uint32_t i = 0; i < width; ++i) {
            Work<W> px[4];
            for (int k = 0; k < 3; ++k) px[k] = widen<sd.dep, W>(in.base[k][i * in.step]);
            if constexpr (sd.has_alpha())
                px[3] = widen<sd.dep, W>(in.base[3][i * in.step]);
            else
                px[3] = widen<sd.dep, W>(full_scale<sd.dep>());
            const Work<W> a = px[3];
            if constexpr (O == Op::premult || O == Op::premult_black) {
                for (int k = 0; k < 3; ++k) px[k] = premultiply<W>(px[k], a);
            } else if constexpr (O == Op::unpremult) {
                for (int k = 0; k < 3; ++k) px[k] = a == Work<W>(0) ? Work<W>(0) : unpremultiply<W>(px[k], a);
            }
            for (int k = 0; k < 3; ++k) out.base[k][i * out.step] = narrow<W, dd.dep>(px[k]);
            if constexpr (dd.writes_fourth()) {
                if constexpr (O == Op::premult_black)
                    out.base[3][i * out.step] = full_scale<dd.dep>();
                else
                    out.base[3][i * out.step] = narrow<W, dd.dep>(px[3]);
            }
        }
    }
}

}  // namespace

#define ZELQA_DEFINE_RGB_KERNEL(op, s, d)                                                \
    void op##_##s##_to_##d##_c(ZELQA_ROW_KERNEL_ARGS) {                                  \
        rgb_kernel<Op::op, L_##s, L_##d>(dst, src, dst_stride, src_stride, width, rows); \
    }
ZELQA_PACKED_RGB_KERNELS(ZELQA_DEFINE_RGB_KERNEL)
ZELQA_PLANAR_RGB_KERNELS(ZELQA_DEFINE_RGB_KERNEL)
ZELQA_DEFINE_RGB_KERNEL(premult_black, rgba8, rgbx8)
ZELQA_DEFINE_RGB_KERNEL(premult_black, rgba16, rgbx16)
ZELQA_DEFINE_RGB_KERNEL(premult_black, rgba32f, rgbx32f)
