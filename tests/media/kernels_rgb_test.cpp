// Packed and planar RGB kernels: every member's channel routing, depth and alpha handling,
// exact premultiply and unpremultiply values, and which kernel serves which pair.
#include <cmath>
#include <limits>

#include "kernels_test_util.h"

using namespace kt;

namespace {

struct Member {
    const char *name;
    const char *op;
    const char *src;
    const char *dst;
    RowKernel fn;
};

#define KT_MEMBER(op, s, d) {#op "_" #s "_to_" #d "_c", #op, #s, #d, op##_##s##_to_##d##_c},
const Member kMembers[] = {
    ZELQA_PACKED_RGB_KERNELS(KT_MEMBER) ZELQA_PLANAR_RGB_KERNELS(KT_MEMBER){
        "premult_black_rgba8_to_rgbx8_c", "premult_black", "rgba8", "rgbx8", premult_black_rgba8_to_rgbx8_c},
    {"premult_black_rgba16_to_rgbx16_c", "premult_black", "rgba16", "rgbx16", premult_black_rgba16_to_rgbx16_c},
    {"premult_black_rgba32f_to_rgbx32f_c", "premult_black", "rgba32f", "rgbx32f", premult_black_rgba32f_to_rgbx32f_c},
};
#undef KT_MEMBER

// An 8-bit level v as a sample of the layout's depth.
uint32_t level(const Layout &l, uint32_t v) {
    if (l.sample == 1) return v;
    if (l.sample == 2) return v * 257;
    return fbits(static_cast<float>(v) * kK8);
}

// What a level written at the source depth becomes at the destination depth.
uint32_t converted(const Layout &s, const Layout &d, uint32_t v) {
    if (d.sample == 1) return v;
    if (d.sample == 2) return v * 257;
    if (s.sample == 2) return fbits(static_cast<float>(v * 257) * kK16);
    return fbits(static_cast<float>(v) * kK8);
}

uint32_t full(const Layout &l) { return l.sample == 1 ? 0xFF : l.sample == 2 ? 0xFFFF : 0x3F800000; }

// Every member on a 3x2 image: colours are distinct 8-bit levels at the source depth.
// Plain conversions use alpha 77; premultiply and unpremultiply use alpha 255 (colours
// unchanged) and 0 (colours 0). Padding in the source holds a stray value that must never
// reach the destination.
TEST(KernelsRgb, EveryMemberRoutesChannelsDepthsAndAlpha) {
    EXPECT_EQ(sizeof(kMembers) / sizeof(kMembers[0]), 145u + 78u + 3u);
    for (const Member &m : kMembers) {
        SCOPED_TRACE(m.name);
        const Layout &sl = layout(m.src), &dl = layout(m.dst);
        const std::string op = m.op;
        const uint32_t w = 3, h = 2;
        Image src(sl, w, h), dst(dl, w, h);
        const Image untouched(dl, w, h);
        auto alpha_of = [&](uint32_t x) -> uint32_t { return op == "conv" ? 77 : (x == 1 ? 0 : 255); };
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                src.set(x, y, 'R', level(sl, 10 + 40 * x + y));
                src.set(x, y, 'G', level(sl, 128 + x));
                src.set(x, y, 'B', level(sl, 250 - 3 * y - x));
                if (sl.has_alpha()) src.set(x, y, 'A', level(sl, alpha_of(x)));
                if (sl.has_pad())
                    src.set(x, y, 'X', sl.is_float() ? fbits(0.3f) : 0x1234 & (sl.sample == 1 ? 0xFF : 0xFFFF));
            }
        run(m.fn, dst, src, w, 0);
        for (int p = 0; p < 4; ++p) EXPECT_EQ(dst.buf[p], untouched.buf[p]) << "zero rows wrote";
        run(m.fn, dst, src, w, h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                SCOPED_TRACE("pixel " + std::to_string(x) + "," + std::to_string(y));
                const uint32_t a8 = sl.has_alpha() ? alpha_of(x) : 255;
                const bool cleared = op != "conv" && a8 == 0;
                const uint32_t rgb[3] = {10 + 40 * x + y, 128 + x, 250 - 3 * y - x};
                const char names[3] = {'R', 'G', 'B'};
                for (int k = 0; k < 3; ++k) {
                    const uint32_t want = cleared ? 0 : converted(sl, dl, rgb[k]);
                    EXPECT_EQ(dst.get(x, y, names[k]), want) << names[k];
                }
                const char fourth = dl.has_alpha() ? 'A' : dl.has_pad() ? 'X' : 0;
                if (fourth) {
                    uint32_t want = sl.has_alpha() ? converted(sl, dl, a8) : full(dl);
                    if (op == "premult_black") want = full(dl);
                    if (cleared && op != "premult_black") want = 0;
                    EXPECT_EQ(dst.get(x, y, fourth), want) << "alpha";
                }
            }
        // Row padding and everything past the last row stay as they were.
        for (int p = 0; p < 4; ++p)
            for (size_t i = 0; i < dst.buf[p].size(); ++i) {
                const int64_t row = static_cast<int64_t>(i) / dst.stride[p];
                const int64_t col = static_cast<int64_t>(i) % dst.stride[p];
                const int64_t used = static_cast<int64_t>(w) * (dl.planar ? 1 : dl.nch()) * dl.sample;
                if (row >= h || col >= used) { ASSERT_EQ(dst.buf[p][i], 0xCD) << "plane " << p << " byte " << i; }
            }
    }
}

// One pixel through a kernel; samples given and expected as raw bits per channel letter.
struct PixelCase {
    const char *name;
    RowKernel fn;
    const char *src, *dst;
    uint32_t in[4];    // R, G, B, A (A ignored for layouts without it)
    uint32_t want[4];  // R, G, B, then A or X (ignored when the destination has neither)
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

const PixelCase kPixelCases[] = {
    {"premult 8: a255 keeps, a128 halves",
     premult_rgba8_to_rgba8_c,
     "rgba8",
     "rgba8",
     {255, 128, 0, 128},
     {128, 64, 0, 128}},
    {"premult 8: c200 a100", premult_rgba8_to_rgba8_c, "rgba8", "rgba8", {200, 1, 255, 100}, {78, 0, 100, 100}},
    {"premult 8: c254 a254", premult_rgba8_to_rgba8_c, "rgba8", "rgba8", {254, 255, 7, 254}, {253, 254, 7, 254}},
    {"premult 8: a255", premult_argb8_to_rgba8_c, "argb8", "rgba8", {3, 200, 254, 255}, {3, 200, 254, 255}},
    {"premult 8 planar",
     premult_planar_rgba8_to_planar_rgb8_c,
     "planar_rgba8",
     "planar_rgb8",
     {255, 128, 1, 128},
     {128, 64, 1, 0}},
    {"unpremult 8: c64 a128", unpremult_rgba8_to_rgba8_c, "rgba8", "rgba8", {64, 200, 0, 128}, {128, 255, 0, 128}},
    {"unpremult 8: c200 a100 clamps",
     unpremult_rgba8_to_rgba8_c,
     "rgba8",
     "rgba8",
     {200, 50, 1, 100},
     {255, 128, 3, 100}},
    {"unpremult 8: a0", unpremult_rgba8_to_planar_rgba8_c, "rgba8", "planar_rgba8", {200, 50, 1, 0}, {0, 0, 0, 0}},
    {"unpremult argb8 to rgba16",
     unpremult_argb8_to_rgba16_c,
     "argb8",
     "rgba16",
     {64, 128, 0, 128},
     {32768, 65535, 0, 32896}},
    {"premult 16", premult_rgba16_to_rgba16_c, "rgba16", "rgba16", {0, 65535, 1000, 65535}, {0, 65535, 1000, 65535}},
    {"premult 16 to 8", premult_rgba16_to_rgba8_c, "rgba16", "rgba8", {65535, 0, 32768, 65535}, {255, 0, 128, 255}},
    {"premult planar 16 to 8",
     premult_planar_rgba16_to_rgba8_c,
     "planar_rgba16",
     "rgba8",
     {1000, 65535, 30000, 40000},
     {2, 156, 71, 156}},
    {"unpremult 16: limited to 1",
     unpremult_rgba16_to_rgba16_c,
     "rgba16",
     "rgba16",
     {40000, 20000, 0, 30000},
     {65535, 43690, 0, 30000}},
    {"conv 16 to 8 truncates",
     conv_rgba16_to_rgba8_c,
     "rgba16",
     "rgba8",
     {0x01FF, 0xFFFF, 0x00FF, 0x8000},
     {1, 255, 0, 128}},
    {"conv float to 8 clamps",
     conv_rgba32f_to_rgba8_c,
     "rgba32f",
     "rgba8",
     {fbits(kNaN), fbits(1.5f), fbits(-2.0f), fbits(0.5f)},
     {0, 255, 0, 128}},
    {"conv float keeps out of range",
     conv_rgba32f_to_planar_rgba32f_c,
     "rgba32f",
     "planar_rgba32f",
     {fbits(1.5f), fbits(-2.0f), fbits(kNaN), fbits(7.0f)},
     {fbits(1.5f), fbits(-2.0f), fbits(kNaN), fbits(7.0f)}},
    {"unpremult float",
     unpremult_rgba32f_to_rgba32f_c,
     "rgba32f",
     "rgba32f",
     {fbits(0.8f), fbits(0.25f), 0, fbits(0.5f)},
     {fbits(0.8f / 0.5f), fbits(0.5f), 0, fbits(0.5f)}},
    {"unpremult float to 8",
     unpremult_rgba32f_to_rgba8_c,
     "rgba32f",
     "rgba8",
     {fbits(0.8f), fbits(0.25f), 0, fbits(0.5f)},
     {255, 128, 0, 128}},
    {"unpremult float a -0",
     unpremult_rgba32f_to_rgba32f_c,
     "rgba32f",
     "rgba32f",
     {fbits(0.8f), fbits(0.25f), fbits(1.0f), fbits(-0.0f)},
     {0, 0, 0, fbits(-0.0f)}},
    {"premult float from 8",
     premult_rgba8_to_rgba32f_c,
     "rgba8",
     "rgba32f",
     {255, 51, 0, 51},
     {fbits(51 * kK8), fbits((51 * kK8) * (51 * kK8)), 0, fbits(51 * kK8)}},
    {"premult black 8", premult_black_rgba8_to_rgbx8_c, "rgba8", "rgbx8", {255, 200, 0, 100}, {100, 78, 0, 255}},
    {"premult black 16",
     premult_black_rgba16_to_rgbx16_c,
     "rgba16",
     "rgbx16",
     {65535, 1000, 0, 32768},
     {32768, 500, 0, 65535}},
    {"premult black float",
     premult_black_rgba32f_to_rgbx32f_c,
     "rgba32f",
     "rgbx32f",
     {fbits(0.5f), fbits(2.0f), 0, fbits(0.5f)},
     {fbits(0.25f), fbits(1.0f), 0, fbits(1.0f)}},
    {"rgbx8 padding never reaches alpha", conv_rgbx8_to_argb8_c, "rgbx8", "argb8", {1, 2, 3, 0x12}, {1, 2, 3, 255}},
    {"rgbx16 to rgba8 opaque",
     conv_rgbx16_to_rgba8_c,
     "rgbx16",
     "rgba8",
     {0x1234, 0xFF00, 0, 0x1234},
     {0x12, 0xFF, 0, 255}},
    {"rgbx32f to rgba16 opaque",
     conv_rgbx32f_to_rgba16_c,
     "rgbx32f",
     "rgba16",
     {fbits(0.5f), fbits(1.0f), 0, fbits(0.25f)},
     {32768, 65535, 0, 65535}},
};

TEST(KernelsRgb, ExactPremultiplyUnpremultiplyAndConversionValues) {
    for (const PixelCase &c : kPixelCases) {
        SCOPED_TRACE(c.name);
        const Layout &sl = layout(c.src), &dl = layout(c.dst);
        Image src(sl, 1, 1), dst(dl, 1, 1);
        const char names[4] = {'R', 'G', 'B', sl.has_alpha() ? 'A' : 'X'};
        for (int k = 0; k < 4; ++k)
            if (src.at(0, 0, names[k])) src.set(0, 0, names[k], c.in[k]);
        run(c.fn, dst, src, 1, 1);
        const char out[4] = {'R', 'G', 'B', dl.has_alpha() ? 'A' : 'X'};
        for (int k = 0; k < 4; ++k)
            if (dst.at(0, 0, out[k])) { EXPECT_EQ(dst.get(0, 0, out[k]), c.want[k]) << out[k]; }
    }
}

// Premultiply at 8 bits stays within one of c * a / 255, with a = 0 and a = 255 exact.
TEST(KernelsRgb, EightBitPremultiplyIsCloseToTheProductForEveryPair) {
    Image src(layout("rgba8"), 256, 256), dst(layout("rgba8"), 256, 256);
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t c = 0; c < 256; ++c) {
            src.set(c, a, 'R', c);
            src.set(c, a, 'G', c);
            src.set(c, a, 'B', c);
            src.set(c, a, 'A', a);
        }
    run(premult_rgba8_to_rgba8_c, dst, src, 256, 256);
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t c = 0; c < 256; ++c) {
            const double exact = c * a / 255.0;
            const uint32_t got = dst.get(c, a, 'R');
            ASSERT_LE(std::fabs(got - exact), 1.0) << "c " << c << " a " << a;
            if (a == 0) { ASSERT_EQ(got, 0u); }
            if (a == 255) { ASSERT_EQ(got, c); }
            ASSERT_EQ(dst.get(c, a, 'A'), a);
        }
}

struct FindCase {
    const char *name;
    RowOp op;
    PixFmt src, dst;
    RowKernel want;
};

const FindCase kFindCases[] = {
    {"padding read and dropped", RowOp::conv, PixFmt_RGBX8, PixFmt_BGR8, conv_rgba8_to_bgr8_c},
    {"padding to planar rgb", RowOp::conv, PixFmt_RGBX16, PixFmt_PlanarRGB32F, conv_rgba16_to_planar_rgb32f_c},
    {"padding to planar rgba is opaque", RowOp::conv, PixFmt_RGBX32F, PixFmt_PlanarRGBA8,
     conv_rgbx32f_to_planar_rgba8_c},
    {"rgbx8 widened keeps padding", RowOp::conv, PixFmt_RGBX8, PixFmt_RGBX16, conv_rgba8_to_rgba16_c},
    {"rgbx8 widened to float keeps padding", RowOp::conv, PixFmt_RGBX8, PixFmt_RGBX32F, conv_rgba8_to_rgba32f_c},
    {"rgbx8 to rgba16 opaque", RowOp::conv, PixFmt_RGBX8, PixFmt_RGBA16, conv_rgbx8_to_rgba16_c},
    {"rgbx16 to rgbx8 opaque", RowOp::conv, PixFmt_RGBX16, PixFmt_RGBX8, conv_rgbx16_to_rgba8_c},
    {"rgbx32f to rgbx16 opaque", RowOp::conv, PixFmt_RGBX32F, PixFmt_RGBX16, conv_rgbx32f_to_rgba16_c},
    {"rgbx8 to rgba8 opaque", RowOp::conv, PixFmt_RGBX8, PixFmt_RGBA8, conv_rgbx8_to_rgba8_c},
    {"rgbx8 to argb8", RowOp::conv, PixFmt_RGBX8, PixFmt_ARGB8, conv_rgbx8_to_argb8_c},
    {"same layout is a copy", RowOp::conv, PixFmt_RGBX16, PixFmt_RGBX16, nullptr},
    {"rgba8 to rgbx8 plain is a copy", RowOp::conv, PixFmt_RGBA8, PixFmt_RGBX8, nullptr},
    {"premultiply into padding", RowOp::premult, PixFmt_RGBA8, PixFmt_RGBX8, premult_rgba8_to_rgba8_c},
    {"unpremultiply argb8 into rgbx32f", RowOp::unpremult, PixFmt_ARGB8, PixFmt_RGBX32F, unpremult_argb8_to_rgba32f_c},
    {"no premultiply from padding", RowOp::premult, PixFmt_RGBX8, PixFmt_RGBA8, nullptr},
    {"planar to padded", RowOp::conv, PixFmt_PlanarRGB8, PixFmt_RGBX8, conv_planar_rgb8_to_rgba8_c},
    {"planar to planar only with alpha work", RowOp::conv, PixFmt_PlanarRGBA8, PixFmt_PlanarRGB16, nullptr},
    {"planar unpremultiply", RowOp::unpremult, PixFmt_PlanarRGBA32F, PixFmt_PlanarRGB16,
     unpremult_planar_rgba32f_to_planar_rgb16_c},
    {"rgbx16 to rgb8 has none", RowOp::conv, PixFmt_RGBX16, PixFmt_RGB8, nullptr},
    {"uyvya as uyvy", RowOp::conv, PixFmt_UYVYA, PixFmt_YUV422_12, conv_uyvy_to_planar_yuv422_12_c},
    {"v210 to 10 bits", RowOp::conv, PixFmt_V210, PixFmt_YUV422_10, conv_v210_to_planar_yuv422_10_c},
    {"v210 to 12 bits has none", RowOp::conv, PixFmt_V210, PixFmt_YUV422_12, nullptr},
    {"12 bits to uyvy", RowOp::conv, PixFmt_YUV422_12, PixFmt_UYVY, conv_planar_yuv422_12_to_uyvy_c},
};

TEST(KernelsRgb, FindPicksTheKernelServingEachPair) {
    for (const FindCase &c : kFindCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(row_kernel_find(c.op, c.src, c.dst), c.want);
    }
    EXPECT_EQ(plane_conv_kernel_find(8, 32), conv_plane8_to_plane32f_c);
    EXPECT_EQ(plane_conv_kernel_find(12, 10), conv_plane12_to_plane10_c);
    EXPECT_EQ(plane_conv_kernel_find(16, 16), nullptr);
}

}  // namespace
