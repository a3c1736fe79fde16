// AVX2 twins against their plain kernels, and the tier choice.
#include <cmath>
#include <limits>

#include "kernels_test_util.h"
#include "platform/core/cpu.h"

using namespace kt;

namespace {

bool have_avx2() { return cpu_features().avx && cpu_features().avx2; }
bool have_twin_cpu(bool fma) { return have_avx2() && (!fma || cpu_features().fma); }

// The one float whose 8-bit value differs between the fused head (1) and q (0).
constexpr float kBelow510 = 0.0019607841968536377f;

// Random samples: floats mostly in -0.25..1.25 with the special values mixed in.
void fill_random(std::vector<uint8_t> &buf, bool floats, std::mt19937 &rng) {
    if (!floats) {
        for (uint8_t &b : buf) b = static_cast<uint8_t>(rng());
        return;
    }
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              0.5f,
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              1.0f / 510.0f,
                              2.0f,
                              1e-30f};
    std::uniform_real_distribution<float> uni(-0.25f, 1.25f);
    for (size_t i = 0; i + 4 <= buf.size(); i += 4) {
        const uint32_t pick = rng() % 16;
        float f = pick < 10 ? specials[pick] : uni(rng);
        if (f == kBelow510) f = 0.0f;
        std::memcpy(&buf[i], &f, 4);
    }
}

struct Planes {
    std::vector<uint8_t> buf[4];
    uint8_t *p[4] = {};
    int64_t stride[4] = {};
    Planes(uint32_t bytes_per_row, uint32_t rows, int64_t extra) {
        for (int k = 0; k < 4; ++k) {
            stride[k] = bytes_per_row + extra;
            buf[k].assign(stride[k] * rows + 64, 0);
            p[k] = buf[k].data();
        }
    }
};

// Every twin on random rows of widths 0 to 3 steps + 1 (and odd strides) writes exactly
// the bytes of its plain kernel, destination padding included.
TEST(KernelsAvx2, TwinsMatchPlainKernelsByteForByte) {
    if (!have_avx2()) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(1234);
    for (unsigned t = 0; t < kRowKernelTwinCount; ++t) {
        const RowKernelTwin &k = kRowKernelTwins[t];
        if (!have_twin_cpu(k.needs_fma)) continue;
        SCOPED_TRACE(k.name);
        const std::string name = k.name;
        const bool half = name.rfind("halfsize", 0) == 0;
        const bool floats = name.find("32f_to") != std::string::npos;
        const uint32_t max_w = half ? 2 * (3 * k.step + 1) + 1 : 3 * k.step + 1;
        for (uint32_t w = 0; w <= max_w; ++w) {
            SCOPED_TRACE("width " + std::to_string(w));
            const uint32_t rows = 5;
            Planes src(16 * w, rows, 20), a(16 * w, rows, 36), b(16 * w, rows, 36);
            for (int p = 0; p < 4; ++p) {
                fill_random(src.buf[p], floats, rng);
                fill_random(a.buf[p], false, rng);
                b.buf[p] = a.buf[p];
            }
            const uint8_t *s[4] = {src.p[0], src.p[1], src.p[2], src.p[3]};
            k.plain(a.p, s, a.stride, src.stride, w, rows);
            k.avx2(b.p, s, b.stride, src.stride, w, rows);
            for (int p = 0; p < 4; ++p) ASSERT_TRUE(a.buf[p] == b.buf[p]) << "plane " << p;
        }
    }
    for (unsigned t = 0; t < kPlaneKernelTwinCount; ++t) {
        const PlaneKernelTwin &k = kPlaneKernelTwins[t];
        if (!have_twin_cpu(k.needs_fma)) continue;
        SCOPED_TRACE(k.name);
        const bool floats = std::string(k.name).find("32f_to") != std::string::npos;
        for (uint32_t w = 0; w <= 3 * k.step + 1; ++w) {
            SCOPED_TRACE("width " + std::to_string(w));
            const uint32_t rows = 3;
            Planes src(4 * w, rows, 13), a(4 * w, rows, 10), b(4 * w, rows, 10);
            fill_random(src.buf[0], floats, rng);
            fill_random(a.buf[0], false, rng);
            b.buf[0] = a.buf[0];
            k.plain(a.p[0], src.p[0], a.stride[0], src.stride[0], w, rows);
            k.avx2(b.p[0], src.p[0], b.stride[0], src.stride[0], w, rows);
            ASSERT_TRUE(a.buf[0] == b.buf[0]);
        }
    }
}

// The fused unpremultiply equals the plain one for every 8-bit colour and alpha.
TEST(KernelsAvx2, EightBitUnpremultiplyMatchesForEveryPair) {
    if (!have_twin_cpu(true)) GTEST_SKIP() << "no AVX2 with FMA";
    Image src(layout("rgba8"), 256, 256), a(layout("rgba8"), 256, 256), b(layout("rgba8"), 256, 256);
    for (uint32_t al = 0; al < 256; ++al)
        for (uint32_t c = 0; c < 256; ++c) {
            src.set(c, al, 'R', c);
            src.set(c, al, 'G', 255 - c);
            src.set(c, al, 'B', (c * 7) & 0xFF);
            src.set(c, al, 'A', al);
        }
    run(unpremult_rgba8_to_rgba8_c, a, src, 256, 256);
    run(unpremult_rgba8_to_rgba8_avx2, b, src, 256, 256);
    EXPECT_TRUE(a.buf[0] == b.buf[0]);
    EXPECT_EQ(b.get(64, 128, 'R'), 128u);
    EXPECT_EQ(b.get(200, 0, 'R'), 0u);
    EXPECT_EQ(b.get(200, 100, 'R'), 255u);
}

// The sample just below 1/510 becomes 1 in the fused heads and 0 in tails and plain kernels;
// its neighbours agree everywhere.
TEST(KernelsAvx2, FusedQuantiserDiffersOnlyJustBelowOneOver510InHeads) {
    if (!have_twin_cpu(true)) GTEST_SKIP() << "no AVX2 with FMA";
    const float below = std::nextafter(kBelow510, 0.0f), above = std::nextafter(kBelow510, 1.0f);
    struct Case {
        float x;
        uint8_t head, tail;
    } cases[] = {{kBelow510, 1, 0}, {below, 0, 0}, {above, 1, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        // rgba32f rows of 9 pixels: head 0..7, tail 8.
        std::vector<float> px(36, c.x);
        std::vector<uint8_t> out(36, 0xEE), plain(36, 0xEE);
        const uint8_t *s[4] = {reinterpret_cast<const uint8_t *>(px.data())};
        const int64_t ss[4] = {36 * 4}, ds[4] = {36};
        uint8_t *d[4] = {out.data()}, *dp[4] = {plain.data()};
        conv_rgba32f_to_rgba8_avx2(d, s, ds, ss, 9, 1);
        conv_rgba32f_to_rgba8_c(dp, s, ds, ss, 9, 1);
        for (int i = 0; i < 36; ++i) {
            EXPECT_EQ(out[i], i < 32 ? c.head : c.tail) << i;
            EXPECT_EQ(plain[i], c.tail) << i;
        }
        conv_rgbx32f_to_rgba8_avx2(d, s, ds, ss, 9, 1);
        for (int i = 0; i < 36; ++i) EXPECT_EQ(out[i], i % 4 == 3 ? 255 : i < 32 ? c.head : c.tail) << i;
        // A float plane of 40 samples: head 0..31.
        std::vector<float> plane(40, c.x);
        std::vector<uint8_t> p8(40, 0xEE);
        conv_plane32f_to_plane8_avx2(p8.data(), reinterpret_cast<const uint8_t *>(plane.data()), 40, 160, 40, 1);
        for (int i = 0; i < 40; ++i) EXPECT_EQ(p8[i], i < 32 ? c.head : c.tail) << i;
        // No float differs at 16 bits.
        std::vector<uint16_t> p16(40), p16c(40);
        conv_plane32f_to_plane16_avx2(reinterpret_cast<uint8_t *>(p16.data()),
                                      reinterpret_cast<const uint8_t *>(plane.data()), 80, 160, 40, 1);
        conv_plane32f_to_plane16_c(reinterpret_cast<uint8_t *>(p16c.data()),
                                   reinterpret_cast<const uint8_t *>(plane.data()), 80, 160, 40, 1);
        EXPECT_EQ(p16, p16c);
    }
}

uint32_t full_of(const Layout &l) { return l.sample == 1 ? 0xFF : l.sample == 2 ? 0xFFFF : 0x3F800000; }

// Padded-to-padded conversions write the same opaque padding in both tiers.
TEST(KernelsAvx2, BothTiersWriteOpaquePaddingForTheSameConversion) {
    struct Case {
        const char *name;
        PixFmt src, dst;
    } cases[] = {
        {"rgbx16 to rgbx8", PixFmt_RGBX16, PixFmt_RGBX8},
        {"rgbx16 to rgbx32f", PixFmt_RGBX16, PixFmt_RGBX32F},
        {"rgbx32f to rgbx8", PixFmt_RGBX32F, PixFmt_RGBX8},
        {"rgbx32f to rgbx16", PixFmt_RGBX32F, PixFmt_RGBX16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Layout &sl = kLayouts[c.src], &dl = kLayouts[c.dst];
        ASSERT_EQ(sl.code, c.src);
        const uint32_t w = 37;
        Image src(sl, w, 2);
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                for (char ch : {'R', 'G', 'B'})
                    src.set(x, y, ch, sl.is_float() ? fbits(0.25f * (x % 4)) : 0x1111 * (x % 4));
                src.set(x, y, 'X', sl.is_float() ? fbits(0.0625f) : 0x1234);
            }
        const RowKernel plain = row_kernel_find(RowOp::conv, c.src, c.dst);
        ASSERT_NE(plain, nullptr);
        for (bool avx2 : {false, true}) {
            if (avx2 && !have_avx2()) continue;
            SCOPED_TRACE(avx2 ? "avx2 tier" : "plain tier");
            const RowKernel k = row_kernel_for_tier(plain, avx2 && row_kernels_avx2_gate(true));
            if (avx2) { EXPECT_NE(k, plain) << "the conversion has an AVX2 member"; }
            Image dst(dl, w, 2);
            run(k, dst, src, w, 2);
            for (uint32_t x = 0; x < w; ++x) EXPECT_EQ(dst.get(x, 1, 'X'), full_of(dl)) << x;
        }
    }
}

TEST(KernelsAvx2, TierGateAndChoice) {
    EXPECT_FALSE(row_kernels_avx2_gate(false));
    EXPECT_EQ(row_kernels_avx2_gate(true), have_avx2());
    // Without the gate every conversion keeps its plain kernel.
    EXPECT_EQ(row_kernel_for_tier(conv_rgba16_to_rgba8_c, false), conv_rgba16_to_rgba8_c);
    EXPECT_EQ(plane_kernel_for_tier(conv_plane8_to_plane10_c, false), conv_plane8_to_plane10_c);
    // Kernels without a twin serve both tiers.
    EXPECT_EQ(row_kernel_for_tier(conv_argb8_to_rgba16_c, true), conv_argb8_to_rgba16_c);
    EXPECT_EQ(plane_kernel_for_tier(conv_plane8_to_plane12_c, true), conv_plane8_to_plane12_c);
    if (!have_avx2()) return;
    EXPECT_EQ(row_kernel_for_tier(conv_rgba16_to_rgba8_c, true), conv_rgba16_to_rgba8_avx2);
    EXPECT_EQ(row_kernel_for_tier(premult_black_rgba8_to_rgbx8_c, true), premult_black_rgba8_to_rgbx8_avx2);
    EXPECT_EQ(plane_kernel_for_tier(conv_plane16_to_plane32f_c, true), conv_plane16_to_plane32f_avx2);
    // Members with fused heads need FMA as well.
    const bool fma = cpu_features().fma;
    EXPECT_EQ(row_kernel_for_tier(unpremult_rgba8_to_rgba8_c, true),
              fma ? unpremult_rgba8_to_rgba8_avx2 : unpremult_rgba8_to_rgba8_c);
    EXPECT_EQ(plane_kernel_for_tier(conv_plane32f_to_plane8_c, true),
              fma ? conv_plane32f_to_plane8_avx2 : conv_plane32f_to_plane8_c);
}

}  // namespace
