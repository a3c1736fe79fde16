// Single-plane kernels: depth conversions, the float quantiser, fills and the plane copy.
#include <cmath>
#include <limits>

#include "kernels_test_util.h"

using namespace kt;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct DepthCase {
    const char *name;
    PlaneKernel fn;
    int in_bytes, out_bytes;
    uint32_t in, out;  // raw sample bits (floats as their bit patterns)
};

const DepthCase kDepthCases[] = {
    {"8->10 0", conv_plane8_to_plane10_c, 1, 2, 0, 0},
    {"8->10 128", conv_plane8_to_plane10_c, 1, 2, 128, 514},
    {"8->10 255", conv_plane8_to_plane10_c, 1, 2, 255, 1023},
    {"8->12 255", conv_plane8_to_plane12_c, 1, 2, 255, 4095},
    {"8->12 1", conv_plane8_to_plane12_c, 1, 2, 1, 16},
    {"8->16 1", conv_plane8_to_plane16_c, 1, 2, 1, 257},
    {"8->16 255", conv_plane8_to_plane16_c, 1, 2, 255, 65535},
    {"16->10 max", conv_plane16_to_plane10_c, 2, 2, 65535, 1023},
    {"16->12 max", conv_plane16_to_plane12_c, 2, 2, 65535, 4095},
    {"16->8 truncates", conv_plane16_to_plane8_c, 2, 1, 0x01FF, 1},
    {"10->8 max", conv_plane10_to_plane8_c, 2, 1, 1023, 255},
    {"12->10 max", conv_plane12_to_plane10_c, 2, 2, 4095, 1023},
    {"12->8 max", conv_plane12_to_plane8_c, 2, 1, 4095, 255},
    {"12->16 max", conv_plane12_to_plane16_c, 2, 2, 4095, 65535},
    {"10->16 max", conv_plane10_to_plane16_c, 2, 2, 1023, 65535},
    {"10->12 max", conv_plane10_to_plane12_c, 2, 2, 1023, 4095},
    // Stray bits above the tenth.
    {"10->12 stray", conv_plane10_to_plane12_c, 2, 2, 0xFC00 | 0x155, (0x155 << 2) | (0x155 >> 8)},
    {"10->8 stray", conv_plane10_to_plane8_c, 2, 1, 0x1400, 0x00},
    {"10->16 stray", conv_plane10_to_plane16_c, 2, 2, 0x07FF, 0xFFFF},
    // Full scale becomes exactly 1.0.
    {"8->f 255", conv_plane8_to_plane32f_c, 1, 4, 255, 0x3F800000},
    {"10->f 1023", conv_plane10_to_plane32f_c, 2, 4, 1023, 0x3F800000},
    {"12->f 4095", conv_plane12_to_plane32f_c, 2, 4, 4095, 0x3F800000},
    {"16->f 65535", conv_plane16_to_plane32f_c, 2, 4, 65535, 0x3F800000},
    {"8->f 1", conv_plane8_to_plane32f_c, 1, 4, 1, 0x3B808081},
    {"16->f 1", conv_plane16_to_plane32f_c, 2, 4, 1, 0x37800080},
    {"10->f 1", conv_plane10_to_plane32f_c, 2, 4, 1, fbits(1.0f / 1023.0f)},
    // The quantiser: halves round up, NaN and negatives give 0, 1.0 and above give full scale.
    {"f->8 0.5", conv_plane32f_to_plane8_c, 4, 1, fbits(0.5f), 128},
    {"f->10 0.5", conv_plane32f_to_plane10_c, 4, 2, fbits(0.5f), 512},
    {"f->12 0.5", conv_plane32f_to_plane12_c, 4, 2, fbits(0.5f), 2048},
    {"f->16 0.5", conv_plane32f_to_plane16_c, 4, 2, fbits(0.5f), 32768},
    {"f->8 NaN", conv_plane32f_to_plane8_c, 4, 1, fbits(kNaN), 0},
    {"f->16 NaN", conv_plane32f_to_plane16_c, 4, 2, fbits(kNaN), 0},
    {"f->8 -inf", conv_plane32f_to_plane8_c, 4, 1, fbits(-kInf), 0},
    {"f->12 -0", conv_plane32f_to_plane12_c, 4, 2, fbits(-0.0f), 0},
    {"f->10 -3", conv_plane32f_to_plane10_c, 4, 2, fbits(-3.0f), 0},
    {"f->8 +inf", conv_plane32f_to_plane8_c, 4, 1, fbits(kInf), 255},
    {"f->10 1.5", conv_plane32f_to_plane10_c, 4, 2, fbits(1.5f), 1023},
    {"f->12 1.0", conv_plane32f_to_plane12_c, 4, 2, fbits(1.0f), 4095},
    {"f->16 +inf", conv_plane32f_to_plane16_c, 4, 2, fbits(kInf), 65535},
    // The product just below one half rounds down (0.49999997 + 0.49999997 < 1).
    {"f->8 below 1/510", conv_plane32f_to_plane8_c, 4, 1, fbits(0.0019607841968536377f), 0},
    {"f->8 1/510", conv_plane32f_to_plane8_c, 4, 1, fbits(1.0f / 510.0f), 1},
};

TEST(KernelsPlane, DepthConversionsGiveExactSamplesInsideTheRectangleOnly) {
    for (const DepthCase &c : kDepthCases) {
        SCOPED_TRACE(c.name);
        const uint32_t w = 5, rows = 3;
        const int64_t ss = (w + 3) * c.in_bytes, ds = (w + 2) * c.out_bytes;
        std::vector<uint8_t> src(ss * rows), dst(ds * rows + 16, 0xCD);
        for (uint32_t i = 0; i < src.size() / c.in_bytes; ++i) std::memcpy(&src[i * c.in_bytes], &c.in, c.in_bytes);
        const std::vector<uint8_t> before = dst;
        c.fn(dst.data(), src.data(), ds, ss, w, 0);
        c.fn(dst.data(), src.data(), ds, ss, 0, rows);
        EXPECT_EQ(dst, before) << "zero rows or width wrote";
        c.fn(dst.data(), src.data(), ds, ss, w, rows);
        for (size_t off = 0; off < dst.size(); off += c.out_bytes) {
            const int64_t row = static_cast<int64_t>(off) / ds, col = (static_cast<int64_t>(off) % ds) / c.out_bytes;
            uint32_t got = 0;
            std::memcpy(&got, &dst[off], std::min<size_t>(c.out_bytes, dst.size() - off));
            if (row < rows && col < w) {
                EXPECT_EQ(got, c.out) << "row " << row << " col " << col;
            } else
                EXPECT_EQ(dst[off], 0xCD) << "wrote outside at byte " << off;
        }
    }
}

TEST(KernelsPlane, FillsWriteOpaqueAndStopAtTheRectangle) {
    struct Case {
        const char *name;
        FillKernel fn;
        int bytes;
        uint32_t value;
    } cases[] = {
        {"max", fill_alpha_plane_max, 1, 0xFF},       {"10bit", fill_alpha_plane_10bit, 2, 0x03FF},
        {"12bit", fill_alpha_plane_12bit, 2, 0x0FFF}, {"16bit", fill_alpha_plane_16bit, 2, 0xFFFF},
        {"32f", fill_alpha_plane_32f, 4, 0x3F800000},
    };
    for (const Case &c : cases) {
        for (int pad : {0, 3}) {  // pad 0: contiguous rows, one block
            SCOPED_TRACE(std::string(c.name) + " pad " + std::to_string(pad));
            const uint32_t w = 7, rows = 4;
            const int64_t stride = (w + pad) * c.bytes;
            std::vector<uint8_t> buf(stride * rows + 32, 0x11);
            c.fn(buf.data(), stride, w, 0);
            EXPECT_EQ(buf[0], 0x11);
            c.fn(buf.data(), stride, w, rows);
            for (size_t off = 0; off < buf.size(); off += c.bytes) {
                const int64_t row = static_cast<int64_t>(off) / stride,
                              col = (static_cast<int64_t>(off) % stride) / c.bytes;
                uint32_t got = 0;
                std::memcpy(&got, &buf[off], std::min<size_t>(c.bytes, buf.size() - off));
                if (row < rows && col < w) {
                    EXPECT_EQ(got, c.value) << "offset " << off;
                } else
                    EXPECT_EQ(buf[off], 0x11) << "wrote outside at byte " << off;
            }
        }
    }
}

TEST(KernelsPlane, CopyPlaneCopiesRowsAtTheirStrides) {
    for (int pad : {0, 5}) {
        SCOPED_TRACE(pad);
        const uint32_t w = 9, rows = 3;
        const int64_t ss = w + pad, ds = w + 2 * pad;
        std::vector<uint8_t> src(ss * rows), dst(ds * rows + 8, 0xEE);
        for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7 + 1);
        copy_plane(dst.data(), src.data(), ds, ss, w, rows);
        for (uint32_t r = 0; r < rows; ++r)
            for (int64_t x = 0; x < ds; ++x)
                EXPECT_EQ(dst[r * ds + x], x < w ? src[r * ss + x] : 0xEE) << r << "," << x;
        EXPECT_EQ(dst[ds * rows], 0xEE);
    }
}

TEST(KernelsPlane, FloatStridesAreUsedInWholeSamples) {
    // A stride of 4 * 3 + 2 bytes steps 3 floats per row.
    const float src[6] = {1.0f, 0.5f, 0.0f, 0.25f, 1.0f, 2.0f};
    uint8_t dst[8] = {};
    conv_plane32f_to_plane8_c(dst, reinterpret_cast<const uint8_t *>(src), 4, 14, 2, 2);
    const uint8_t want[8] = {255, 128, 0, 0, 64, 255, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dst[i], want[i]) << i;
}

}  // namespace
