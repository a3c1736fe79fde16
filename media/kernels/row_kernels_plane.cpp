// Plane copy, opaque-alpha fills and sample-depth conversions of single planes.
#include <cstring>

#include "media/kernels/row_kernels.h"
#include "media/kernels/row_kernels_internal.h"

using namespace rowk;

void copy_plane(ZELQA_PLANE_KERNEL_ARGS) {
    if (rows == 0 || width == 0) return;
    if (dst_stride == static_cast<int64_t>(width) && src_stride == static_cast<int64_t>(width)) {
        std::memcpy(dst, src, static_cast<size_t>(rows) * width);
        return;
    }
    for (uint32_t r = 0; r < rows; ++r) std::memcpy(dst + r * dst_stride, src + r * src_stride, width);
}

namespace {

// Byte fill: one block when the rows are contiguous.
void fill_bytes(uint8_t *plane, int64_t stride, uint64_t row_bytes, uint32_t rows) {
    if (rows == 0 || row_bytes == 0) return;
    if (stride == static_cast<int64_t>(row_bytes)) {
        std::memset(plane, 0xFF, row_bytes * rows);
        return;
    }
    for (uint32_t r = 0; r < rows; ++r) std::memset(plane + r * stride, 0xFF, row_bytes);
}

template <class T>
void fill_samples(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows, T value) {
    for (uint32_t r = 0; r < rows; ++r) {
        T *row = row_at<T>(plane, stride, r);
        for (uint32_t i = 0; i < width; ++i) row[i] = value;
    }
}

}  // namespace

void fill_alpha_plane_max(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows) {
    fill_bytes(plane, stride, width, rows);
}
void fill_alpha_plane_10bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows) {
    fill_samples<uint16_t>(plane, stride, width, rows, 0x03FF);
}
void fill_alpha_plane_12bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows) {
    fill_samples<uint16_t>(plane, stride, width, rows, 0x0FFF);
}
void fill_alpha_plane_16bit(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows) {
    fill_bytes(plane, stride, 2ull * width, rows);
}
void fill_alpha_plane_32f(uint8_t *plane, int64_t stride, uint32_t width, uint32_t rows) {
    fill_samples<float>(plane, stride, width, rows, 1.0f);
}

namespace {

// Sample type of each depth word.
template <int Bits>
struct PlaneSample {
    using type = uint16_t;
};
template <>
struct PlaneSample<8> {
    using type = uint8_t;
};
template <>
struct PlaneSample<32> {
    using type = float;
};

// One destination sample from source sample v; 32 stands for float.
template <int S, int D>
auto convert_sample(typename PlaneSample<S>::type v);

#define ZELQA_SAMPLE(S, D, expr)                                        \
    template <>                                                         \
    inline auto convert_sample<S, D>(typename PlaneSample<S>::type v) { \
        using Out = typename PlaneSample<D>::type;                      \
        return static_cast<Out>(expr);                                  \
    }
ZELQA_SAMPLE(8, 10, (uint32_t(v) << 2) | (uint32_t(v) >> 6))
ZELQA_SAMPLE(8, 12, (uint32_t(v) << 4) | (uint32_t(v) >> 4))
ZELQA_SAMPLE(8, 16, uint32_t(v) * 257u)
ZELQA_SAMPLE(8, 32, static_cast<float>(v) * kK8)
ZELQA_SAMPLE(10, 8, (uint32_t(v) >> 2) & 0xFFu)
ZELQA_SAMPLE(10, 12, ((uint32_t(v) & 0x3FFu) << 2) | ((uint32_t(v) & 0x3FFu) >> 8))
ZELQA_SAMPLE(10, 16, ((uint32_t(v) << 6) | ((uint32_t(v) >> 4) & 0x3Fu)) & 0xFFFFu)
ZELQA_SAMPLE(10, 32, static_cast<float>(v) / 1023.0f)
ZELQA_SAMPLE(12, 8, (uint32_t(v) >> 4) & 0xFFu)
ZELQA_SAMPLE(12, 10, (uint32_t(v) >> 2) & 0x3FFu)
ZELQA_SAMPLE(12, 16, ((uint32_t(v) << 4) | ((uint32_t(v) >> 8) & 0xFu)) & 0xFFFFu)
ZELQA_SAMPLE(12, 32, static_cast<float>(v) / 4095.0f)
ZELQA_SAMPLE(16, 8, uint32_t(v) >> 8)
ZELQA_SAMPLE(16, 10, uint32_t(v) >> 6)
ZELQA_SAMPLE(16, 12, uint32_t(v) >> 4)
ZELQA_SAMPLE(16, 32, static_cast<float>(v) * kK16)
ZELQA_SAMPLE(32, 8, quantise(v, 255))
ZELQA_SAMPLE(32, 10, quantise(v, 1023))
ZELQA_SAMPLE(32, 12, quantise(v, 4095))
ZELQA_SAMPLE(32, 16, quantise(v, 65535))
#undef ZELQA_SAMPLE

template <int S, int D>
void convert_plane(ZELQA_PLANE_KERNEL_ARGS) {
    using In = typename PlaneSample<S>::type;
    using Out = typename PlaneSample<D>::type;
    for (uint32_t r = 0; r < rows; ++r) {
        const In *s = row_at<const In>(src, src_stride, r);
        Out *d = row_at<Out>(dst, dst_stride, r);
        for (uint32_t i = 0; i < width; ++i) d[i] = convert_sample<S, D>(s[i]);
    }
}

}  // namespace

#define ZELQA_BITS_8   8
#define ZELQA_BITS_10  10
#define ZELQA_BITS_12  12
#define ZELQA_BITS_16  16
#define ZELQA_BITS_32f 32
#define ZELQA_DEFINE_PLANE_CONV(s, d)                                                                 \
    void conv_plane##s##_to_plane##d##_c(ZELQA_PLANE_KERNEL_ARGS) {                                   \
        convert_plane<ZELQA_BITS_##s, ZELQA_BITS_##d>(dst, src, dst_stride, src_stride, width, rows); \
    }
ZELQA_PLANE_CONV_KERNELS(ZELQA_DEFINE_PLANE_CONV)
