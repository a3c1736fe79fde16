// Row kernels of the background merge node. Every member works in single precision, in
// the order the formulas are written (no contraction), so results are exact to the byte.
#include <cstring>

#include "media/kernels/row_kernels.h"
#include "pipeline/filters/bg_merge_filter.h"

namespace {

#define BG_KERNEL_ARGS                                                                                            \
    uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_stride[4], const int64_t src_stride[4], \
        uint32_t width, uint32_t rows, float opacity, uint32_t first_col, uint32_t first_row, const float *colors

constexpr float kRound = 0.49999997f;

enum class Depth { U8, U16, F32 };
enum class Bg { Black, White, Checker, Custom, CustomChecker };

template <Depth D>
struct Px;

template <>
struct Px<Depth::U8> {
    using T = uint8_t;
    static constexpr T kMax = 255;
    static constexpr int64_t kStrideMask = ~int64_t(0);
    static float norm(T v) { return float(v) * 0.003921569f; }
    static T store(float r) {
        const float s = r >= 1.0f ? 255.0f : (r > 0.0f ? 255.0f * r : 0.0f);
        return T(s + kRound);
    }
};

template <>
struct Px<Depth::U16> {
    using T = uint16_t;
    static constexpr T kMax = 65535;
    static constexpr int64_t kStrideMask = ~int64_t(1);
    static float norm(T v) { return float(v) * 0.000015259022f; }
    static T store(float r) {
        const float s = r >= 1.0f ? 65535.0f : (r > 0.0f ? 65535.0f * r : 0.0f);
        return T(s + kRound);
    }
};

template <>
struct Px<Depth::F32> {
    using T = float;
    static constexpr float kMax = 1.0f;
    static constexpr int64_t kStrideMask = ~int64_t(3);
    static float norm(T v) { return v; }
    static T store(float r) { return r; }
};

// Integer part of a sum meant for a byte (the unclamped 8-bit members); values outside
// 0..255 (an opacity outside 0..1, or NaN) are clamped rather than wrapped.
inline uint8_t trunc8(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return uint8_t(v);
}

template <Depth D>
inline typename Px<D>::T *row_out(uint8_t *const dst[4], const int64_t dst_stride[4], uint32_t r) {
    return reinterpret_cast<typename Px<D>::T *>(dst[0] + int64_t(r) * (dst_stride[0] & Px<D>::kStrideMask));
}

template <Depth D>
inline const typename Px<D>::T *row_in(const uint8_t *const src[4], const int64_t src_stride[4], uint32_t r) {
    return reinterpret_cast<const typename Px<D>::T *>(src[0] + int64_t(r) * (src_stride[0] & Px<D>::kStrideMask));
}

// Background value of channel ch; `same` tells whether the row and column phases agree.
template <Bg B>
inline float bg_value(int ch, bool same, const float *colors) {
    switch (B) {
    case Bg::Black: return 0.0f;
    case Bg::White: return 1.0f;
    case Bg::Checker: return same ? 1.0f : 0.7f;
    case Bg::Custom: return colors[ch];
    case Bg::CustomChecker: return same ? colors[ch] : colors[4 + ch];
    }
    return 0.0f;
}

// The general member: alpha-0 shortcut (with alpha), full-alpha shortcut in mode 1,
// otherwise straight n(c) x A + (1 - A) x B or premultiplied n(c) x opacity + (1 - A) x B.
// SkipOpaque leaves pixels of full alpha untouched (in place, they already hold the result).
template <Depth D, bool SrcAlpha, bool Straight, int Mode, Bg B, bool SkipOpaque = false>
void merge_rows(BG_KERNEL_ARGS) {
    using P = Px<D>;
    using T = typename P::T;
    for (uint32_t r = 0; r < rows; ++r) {
        const T *s = row_in<D>(src, src_stride, r);
        T *d = row_out<D>(dst, dst_stride, r);
        const bool row_phase = (first_row + r) % 20 < 10;
        uint32_t col = first_col % 20;
        for (uint32_t x = 0; x < width; ++x, s += 4, d += 4) {
            const bool same = row_phase == (col < 10);
            if (++col == 20) col = 0;
            float A;
            if constexpr (SrcAlpha) {
                const T a = s[3];
                if (a == T(0)) {
                    for (int ch = 0; ch < 3; ++ch) d[ch] = P::store(bg_value<B>(ch, same, colors));
                    d[3] = P::kMax;
                    continue;
                }
                if constexpr (Mode == 1) {
                    if (a == P::kMax) {
                        if constexpr (!SkipOpaque) {
                            d[0] = s[0];
                            d[1] = s[1];
                            d[2] = s[2];
                            d[3] = P::kMax;
                        }
                        continue;
                    }
                    A = P::norm(a);
                } else {
                    A = P::norm(a) * opacity;
                }
            } else {
                A = opacity;
            }
            const float inv = 1.0f - A;
            T out[3];
            for (int ch = 0; ch < 3; ++ch) {
                const float c = P::norm(s[ch]);
                const float bgv = bg_value<B>(ch, same, colors);
                const float res = (Straight || !SrcAlpha) ? c * A + inv * bgv : c * opacity + inv * bgv;
                out[ch] = P::store(res);
            }
            d[0] = out[0];
            d[1] = out[1];
            d[2] = out[2];
            d[3] = P::kMax;
        }
    }
}

// Opacity 1.0, 8-bit straight over white, in integers.
void white_straight_rgba8(BG_KERNEL_ARGS) {
    (void)opacity, (void)first_col, (void)first_row, (void)colors;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = row_in<Depth::U8>(src, src_stride, r);
        uint8_t *d = row_out<Depth::U8>(dst, dst_stride, r);
        for (uint32_t x = 0; x < width; ++x, s += 4, d += 4) {
            const uint32_t a = s[3], e = 255 - a;
            uint8_t out[3];
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t l = (s[ch] + (a >> 7)) * a;
                out[ch] = uint8_t((l >> 8) + ((l & e) >> 7) + e);
            }
            d[0] = out[0];
            d[1] = out[1];
            d[2] = out[2];
            d[3] = 255;
        }
    }
}

// Opacity 1.0, 8-bit premultiplied over white: min(255, c + 255 - a).
void white_premult_rgba8(BG_KERNEL_ARGS) {
    (void)opacity, (void)first_col, (void)first_row, (void)colors;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = row_in<Depth::U8>(src, src_stride, r);
        uint8_t *d = row_out<Depth::U8>(dst, dst_stride, r);
        for (uint32_t x = 0; x < width; ++x, s += 4, d += 4) {
            const uint32_t e = 255u - s[3];
            uint8_t out[3];
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t v = s[ch] + e;
                out[ch] = uint8_t(v > 255 ? 255 : v);
            }
            d[0] = out[0];
            d[1] = out[1];
            d[2] = out[2];
            d[3] = 255;
        }
    }
}

// Opacity not 1.0, 8-bit black and white without clamping:
// straight c x (a x opacity) x k [+ 255 - a x opacity], premultiplied c x opacity [+ 255 - a x opacity].
template <bool Straight, bool White>
void unclamped_rgba8(BG_KERNEL_ARGS) {
    (void)first_col, (void)first_row, (void)colors;
    const float k = 0.003921569f;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = row_in<Depth::U8>(src, src_stride, r);
        uint8_t *d = row_out<Depth::U8>(dst, dst_stride, r);
        for (uint32_t x = 0; x < width; ++x, s += 4, d += 4) {
            const float aop = float(s[3]) * opacity;
            uint8_t out[3];
            for (int ch = 0; ch < 3; ++ch) {
                float v = Straight ? float(s[ch]) * aop * k : float(s[ch]) * opacity;
                if (White) {
                    v = v + 255.0f;
                    v = v - aop;
                }
                out[ch] = trunc8(v + kRound);
            }
            d[0] = out[0];
            d[1] = out[1];
            d[2] = out[2];
            d[3] = 255;
        }
    }
}

// Background "none" at an opacity other than 1.0: the alpha (and, premultiplied or
// without alpha, the colour) scaled by the opacity.
template <Depth D, bool SrcAlpha, bool Straight>
void none_rows(BG_KERNEL_ARGS) {
    (void)first_col, (void)first_row, (void)colors;
    using P = Px<D>;
    using T = typename P::T;
    for (uint32_t r = 0; r < rows; ++r) {
        const T *s = row_in<D>(src, src_stride, r);
        T *d = row_out<D>(dst, dst_stride, r);
        for (uint32_t x = 0; x < width; ++x, s += 4, d += 4) {
            T out[4];
            if constexpr (!SrcAlpha) {
                for (int ch = 0; ch < 3; ++ch) out[ch] = P::store(P::norm(s[ch]) * opacity);
                out[3] = P::store(opacity);
            } else if constexpr (D == Depth::U8) {
                if (Straight) {
                    out[0] = s[0];
                    out[1] = s[1];
                    out[2] = s[2];
                    out[3] = trunc8(float(s[3]) * opacity + kRound);
                } else {
                    for (int ch = 0; ch < 4; ++ch) out[ch] = trunc8(float(s[ch]) * opacity + kRound);
                }
            } else {
                if (s[3] == T(0)) {
                    out[0] = out[1] = out[2] = out[3] = T(0);
                } else if (Straight) {
                    out[0] = s[0];
                    out[1] = s[1];
                    out[2] = s[2];
                    out[3] = P::store(P::norm(s[3]) * opacity);
                } else {
                    for (int ch = 0; ch < 4; ++ch) out[ch] = P::store(P::norm(s[ch]) * opacity);
                }
            }
            memcpy(d, out, sizeof(out));
        }
    }
}

// The premultiply-over-black row kernels, under the merge kernel's signature.
template <RowKernel K>
void premult_black(BG_KERNEL_ARGS) {
    (void)opacity, (void)first_col, (void)first_row, (void)colors;
    K(dst, src, dst_stride, src_stride, width, rows);
}

template <Depth D, bool SrcAlpha, bool Straight, int Mode>
BgMergeKernel general_member(uint32_t background, bool skip_opaque) {
    switch (background) {
    case BgMerge_Black: return merge_rows<D, SrcAlpha, Straight, Mode, Bg::Black>;
    case BgMerge_White: return merge_rows<D, SrcAlpha, Straight, Mode, Bg::White>;
    case BgMerge_Checkerboard:
        if constexpr (D == Depth::U8 && SrcAlpha && Mode == 1)
            if (skip_opaque) return merge_rows<D, SrcAlpha, Straight, Mode, Bg::Checker, true>;
        return merge_rows<D, SrcAlpha, Straight, Mode, Bg::Checker>;
    case BgMerge_None: return Mode == 2 ? none_rows<D, SrcAlpha, Straight> : nullptr;
    case BgMerge_CustomColor: return merge_rows<D, SrcAlpha, Straight, Mode, Bg::Custom>;
    case BgMerge_CustomChecker: return merge_rows<D, SrcAlpha, Straight, Mode, Bg::CustomChecker>;
    default: return nullptr;
    }
}

template <Depth D, bool SrcAlpha, int Mode>
BgMergeKernel member_by_alpha(bool straight, uint32_t background, bool skip_opaque) {
    return straight ? general_member<D, SrcAlpha, true, Mode>(background, skip_opaque)
                    : general_member<D, SrcAlpha, false, Mode>(background, skip_opaque);
}

}  // namespace

BgMergeKernel bg_merge_find_kernel(PixFmt src, bool straight, uint32_t background, uint32_t mode, bool in_place,
                                   bool avx2) {
    if (mode == 1) {
        // Opacity 1.0: only layouts with alpha get here, and never background "none".
        if (background == BgMerge_None) return nullptr;
        switch (src) {
        case PixFmt_RGBA8:
            if (background == BgMerge_Black)
                return straight ? (avx2 ? premult_black<premult_black_rgba8_to_rgbx8_avx2>
                                        : premult_black<premult_black_rgba8_to_rgbx8_c>)
                                : nullptr;
            if (background == BgMerge_White) return straight ? white_straight_rgba8 : white_premult_rgba8;
            return member_by_alpha<Depth::U8, true, 1>(straight, background, in_place);
        case PixFmt_RGBA16:
            if (background == BgMerge_Black)
                return straight ? premult_black<premult_black_rgba16_to_rgbx16_c> : nullptr;
            return member_by_alpha<Depth::U16, true, 1>(straight, background, false);
        case PixFmt_RGBA32F:
            if (background == BgMerge_Black)
                return straight ? (avx2 ? premult_black<premult_black_rgba32f_to_rgbx32f_avx2>
                                        : premult_black<premult_black_rgba32f_to_rgbx32f_c>)
                                : nullptr;
            return member_by_alpha<Depth::F32, true, 1>(straight, background, false);
        default: return nullptr;
        }
    }
    if (mode != 2) return nullptr;
    switch (src) {
    case PixFmt_RGBA8:
        if (background == BgMerge_Black) return straight ? unclamped_rgba8<true, false> : unclamped_rgba8<false, false>;
        if (background == BgMerge_White) return straight ? unclamped_rgba8<true, true> : unclamped_rgba8<false, true>;
        return member_by_alpha<Depth::U8, true, 2>(straight, background, false);
    case PixFmt_RGBX8: return general_member<Depth::U8, false, true, 2>(background, false);
    case PixFmt_RGBA16: return member_by_alpha<Depth::U16, true, 2>(straight, background, false);
    case PixFmt_RGBX16: return general_member<Depth::U16, false, true, 2>(background, false);
    case PixFmt_RGBA32F: return member_by_alpha<Depth::F32, true, 2>(straight, background, false);
    case PixFmt_RGBX32F: return general_member<Depth::F32, false, true, 2>(background, false);
    default: return nullptr;
    }
}
