// 4:2:2 packing (UYVY, V210 to and from planar YUV 4:2:2) and the 8-bit RGBA halving.
#include "media/kernels/row_kernels.h"
#include "media/kernels/row_kernels_internal.h"

using namespace rowk;

namespace {

inline uint8_t same8(uint8_t v) { return v; }
inline uint16_t widen8_10(uint8_t v) { return static_cast<uint16_t>((v << 2) | (v >> 6)); }
inline uint16_t widen8_12(uint8_t v) { return static_cast<uint16_t>((v << 4) | (v >> 4)); }
inline uint8_t narrow10_8(uint16_t v) { return static_cast<uint8_t>(v >> 2); }
inline uint8_t narrow12_8(uint16_t v) { return static_cast<uint8_t>(v >> 4); }

template <class T, T (*Widen)(uint8_t)>
void uyvy_to_planar(ZELQA_ROW_KERNEL_ARGS) {
    const uint32_t pairs = width / 2;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t *s = row_at<const uint8_t>(src[0], src_stride[0], r);
        T *y = row_at<T>(dst[0], dst_stride[0], r);
        T *u = row_at<T>(dst[1], dst_stride[1], r);
        T *v = row_at<T>(dst[2], dst_stride[2], r);
        for (uint32_t k = 0; k < pairs; ++k) {
            u[k] = Widen(s[4 * k]);
            y[2 * k] = Widen(s[4 * k + 1]);
            v[k] = Widen(s[4 * k + 2]);
            y[2 * k + 1] = Widen(s[4 * k + 3]);
        }
    }
}

template <class T, uint8_t (*Narrow)(T)>
void planar_to_uyvy(ZELQA_ROW_KERNEL_ARGS) {
    const uint32_t pairs = width / 2;
    for (uint32_t r = 0; r < rows; ++r) {
        const T *y = row_at<const T>(src[0], src_stride[0], r);
        const T *u = row_at<const T>(src[1], src_stride[1], r);
        const T *v = row_at<const T>(src[2], src_stride[2], r);
        uint8_t *d = row_at<uint8_t>(dst[0], dst_stride[0], r);
        for (uint32_t k = 0; k < pairs; ++k) {
            d[4 * k] = Narrow(u[k]);
            d[4 * k + 1] = Narrow(y[2 * k]);
            d[4 * k + 2] = Narrow(v[k]);
            d[4 * k + 3] = Narrow(y[2 * k + 1]);
        }
    }
}

// V210 rows: groups of 6 pixels in four 32-bit words of three 10-bit samples each:
// U0 Y0 V0 | Y1 U1 Y2 | V1 Y3 U2 | Y4 V2 Y5.
template <class T, bool Eight>
struct V210Row {
    T *y, *u, *v;
    static T out(uint32_t word, int slot) {
        const uint32_t s = (word >> (10 * slot)) & 0x3FFu;
        return static_cast<T>(Eight ? (s >> 2) : s);
    }
    // Group g (6 pixels) from words w[0..3].
    void group(const uint32_t *w, uint32_t g) const {
        T *yy = y + 6 * g, *uu = u + 3 * g, *vv = v + 3 * g;
        uu[0] = out(w[0], 0);
        yy[0] = out(w[0], 1);
        vv[0] = out(w[0], 2);
        yy[1] = out(w[1], 0);
        uu[1] = out(w[1], 1);
        yy[2] = out(w[1], 2);
        vv[1] = out(w[2], 0);
        yy[3] = out(w[2], 1);
        uu[2] = out(w[2], 2);
        yy[4] = out(w[3], 0);
        vv[2] = out(w[3], 1);
        yy[5] = out(w[3], 2);
    }
};

template <class T, bool Eight>
void v210_to_planar(ZELQA_ROW_KERNEL_ARGS) {
    for (uint32_t r = 0; r < rows; ++r) {
        const uint32_t *w = row_at<const uint32_t>(src[0], src_stride[0], r);
        const V210Row<T, Eight> o{row_at<T>(dst[0], dst_stride[0], r), row_at<T>(dst[1], dst_stride[1], r),
                                  row_at<T>(dst[2], dst_stride[2], r)};
        const uint32_t pairs_of_groups = width / 12;
        uint32_t g = 0;
        for (; g < 2 * pairs_of_groups; g += 2) {
            o.group(w + 4 * g, g);
            o.group(w + 4 * g + 4, g + 1);
        }
        uint32_t left = width - 12 * pairs_of_groups;
        if (left >= 6) {
            o.group(w + 4 * g, g);
            ++g;
            left -= 6;
        }
        const uint32_t *t = w + 4 * g;
        T *yy = o.y + 6 * g, *uu = o.u + 3 * g, *vv = o.v + 3 * g;
        if (left >= 2) {
            uu[0] = o.out(t[0], 0);
            yy[0] = o.out(t[0], 1);
            vv[0] = o.out(t[0], 2);
            yy[1] = o.out(t[1], 0);
        }
        if (left >= 4) {
            uu[1] = o.out(t[1], 1);
            yy[2] = o.out(t[1], 2);
            vv[1] = o.out(t[2], 0);
            yy[3] = o.out(t[2], 1);
        }
    }
}

// 2x2 box average: s / 4 rounded down, except that a remainder of 3 rounds up.
inline uint8_t avg4(uint32_t s) { return static_cast<uint8_t>((s + ((s >> 1) & 1u)) >> 2); }

template <bool OpaqueAlpha>
void halfsize(ZELQA_ROW_KERNEL_ARGS) {
    const uint32_t w = width / 2, h = rows / 2;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t *s0 = row_at<const uint8_t>(src[0], src_stride[0], 2 * y);
        const uint8_t *s1 = row_at<const uint8_t>(src[0], src_stride[0], 2 * y + 1);
        uint8_t *d = row_at<uint8_t>(dst[0], dst_stride[0], y);
        for (uint32_t x = 0; x < w; ++x) {
            for (int k = 0; k < 4; ++k) {
                if (OpaqueAlpha && k == 3) {
                    d[4 * x + 3] = 255;
                    continue;
                }
                d[4 * x + k] = avg4(uint32_t(s0[8 * x + k]) + s0[8 * x + 4 + k] + s1[8 * x + k] + s1[8 * x + 4 + k]);
            }
        }
    }
}

}  // namespace

void conv_uyvy_to_planar_yuv422_c(ZELQA_ROW_KERNEL_ARGS) {
    uyvy_to_planar<uint8_t, same8>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_uyvy_to_planar_yuv422_10_c(ZELQA_ROW_KERNEL_ARGS) {
    uyvy_to_planar<uint16_t, widen8_10>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_uyvy_to_planar_yuv422_12_c(ZELQA_ROW_KERNEL_ARGS) {
    uyvy_to_planar<uint16_t, widen8_12>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_planar_yuv422_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS) {
    planar_to_uyvy<uint8_t, same8>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_planar_yuv422_10_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS) {
    planar_to_uyvy<uint16_t, narrow10_8>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_planar_yuv422_12_to_uyvy_c(ZELQA_ROW_KERNEL_ARGS) {
    planar_to_uyvy<uint16_t, narrow12_8>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_v210_to_planar_yuv422_c(ZELQA_ROW_KERNEL_ARGS) {
    v210_to_planar<uint8_t, true>(dst, src, dst_stride, src_stride, width, rows);
}
void conv_v210_to_planar_yuv422_10_c(ZELQA_ROW_KERNEL_ARGS) {
    v210_to_planar<uint16_t, false>(dst, src, dst_stride, src_stride, width, rows);
}
void halfsize_rgba8_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS) {
    halfsize<false>(dst, src, dst_stride, src_stride, width, rows);
}
void halfsize_rgbx8_to_rgba8_c(ZELQA_ROW_KERNEL_ARGS) { halfsize<true>(dst, src, dst_stride, src_stride, width, rows); }
