// Faster tiers against the baseline on random, smooth and edge blocks of every layout.
// Differences allowed: layout-5 words above 0x8000 (255 at the AVX tier), the zero fourth
// lanes of the block stats, and the refinement's rounding (green factor, fused add).
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/cpu.h"
#include "texenc/dxtenc.h"
#include "texenc/dxtenc_kernels.h"

namespace {

bool have_avx() { return cpu_features().avx; }
bool have_avx2() { return cpu_features().avx2; }

// Random source block of a layout: four planes of 4 rows with a stride past the block,
// every byte random (layout 5 kept within 0..0x8000 unless wild).
struct Block {
    std::vector<uint8_t> mem[4];
    const uint8_t *planes[4];
    int64_t strides[4];
};

Block random_block(std::mt19937 &rng, uint32_t fmt, int flavour, bool wild = false) {
    Block b;
    const int step = dxtenc_column_step(fmt);
    for (int k = 0; k < 4; k++) {
        const int64_t stride = step + 8 * (k + 1);
        b.mem[k].resize(size_t(stride) * 4);
        // flavour 0: random; 1: few values (solid-ish, ties); 2: narrow range
        const uint8_t base = uint8_t(rng());
        for (auto &x : b.mem[k]) {
            switch (flavour) {
            case 0: x = uint8_t(rng()); break;
            case 1: x = uint8_t(base + (rng() % 3 == 0 ? 1 : 0)); break;
            default: x = uint8_t(base + rng() % 12); break;
            }
        }
        if (fmt == DXTENC_PIX_ARGB16_SCALED && !wild) {
            for (size_t i = 0; i + 1 < b.mem[k].size(); i += 2) {
                uint16_t v = uint16_t(b.mem[k][i] | b.mem[k][i + 1] << 8) % 0x8001;
                if (rng() % 8 == 0) v = 0x8000;
                b.mem[k][i] = uint8_t(v), b.mem[k][i + 1] = uint8_t(v >> 8);
            }
        }
        b.planes[k] = b.mem[k].data();
        b.strides[k] = stride;
    }
    // One block read through a negative stride, as the bottom-up layout does.
    if (flavour == 2) {
        b.planes[0] = b.mem[0].data() + 3 * b.strides[0];
        b.strides[0] = -b.strides[0];
    }
    return b;
}

TEST(DxtTiers, GatherMembersMatchBaseline) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    std::mt19937 rng(11);
    for (uint32_t fmt = 0; fmt < 16; fmt++) {
        if (fmt == 7) continue;
        SCOPED_TRACE(testing::Message() << "layout " << fmt);
        for (int iter = 0; iter < 300; iter++) {
            Block b = random_block(rng, fmt, iter % 3);
            alignas(16) uint8_t p0[48], p1[48];
            uint64_t r0 = 7, r1 = 9;
            const auto &pl = b.planes;
            const auto &st = b.strides;
            dxtenc_to_planar_rgb_sse41[fmt](p0, pl[0], pl[1], pl[2], st[0], st[1], st[2], &r0);
            dxtenc_to_planar_rgb_avx[fmt](p1, pl[0], pl[1], pl[2], st[0], st[1], st[2], &r1);
            ASSERT_EQ(0, std::memcmp(p0, p1, 48)) << "planar, iteration " << iter;
            ASSERT_EQ(r0, r1) << "same-colour flag, iteration " << iter;
            dxtenc_to_planar_rgb_range_sse41[fmt](p0, pl[0], pl[1], pl[2], st[0], st[1], st[2], &r0);
            dxtenc_to_planar_rgb_range_avx[fmt](p1, pl[0], pl[1], pl[2], st[0], st[1], st[2], &r1);
            ASSERT_EQ(0, std::memcmp(p0, p1, 48));
            ASSERT_EQ(r0, r1) << "range, iteration " << iter;

            alignas(16) uint8_t v0[16], v1[16];
            uint64_t mn0, mx0, mn1, mx1;
            dxtenc_to_alpha_sse41[fmt](v0, pl[0], pl[3], st[0], st[3], &mn0, &mx0);
            dxtenc_to_alpha_avx[fmt](v1, pl[0], pl[3], st[0], st[3], &mn1, &mx1);
            ASSERT_EQ(0, std::memcmp(v0, v1, 16)) << "alpha, iteration " << iter;
            ASSERT_EQ(mn0, mn1);
            ASSERT_EQ(mx0, mx1);
            dxtenc_to_luma_sse41[fmt](v0, pl[0], pl[1], pl[2], st[0], st[1], st[2], &mn0, &mx0);
            dxtenc_to_luma_avx[fmt](v1, pl[0], pl[1], pl[2], st[0], st[1], st[2], &mn1, &mx1);
            ASSERT_EQ(0, std::memcmp(v0, v1, 16)) << "luma, iteration " << iter;
            ASSERT_EQ(mn0, mn1);
            ASSERT_EQ(mx0, mx1);
        }
    }
}

TEST(DxtTiers, ScaledWordsAboveRangeSaturateAtAvx) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    // Words 0x8000, 0x7FFF, 0x4000, 0x007F and the out-of-range 0x8080, 0xFFFF.
    const uint16_t words[6] = {0x8000, 0x7FFF, 0x4000, 0x007F, 0x8080, 0xFFFF};
    const uint8_t base[6] = {255, 255, 128, 0, 1, 255};
    const uint8_t avx[6] = {255, 255, 128, 0, 255, 255};
    for (int i = 0; i < 6; i++) {
        SCOPED_TRACE(words[i]);
        uint16_t px[16][4];
        for (auto &p : px) p[0] = 0, p[1] = words[i], p[2] = 0, p[3] = 0;
        const uint8_t *planes[4] = {reinterpret_cast<uint8_t *>(px), nullptr, nullptr, nullptr};
        alignas(16) uint8_t p0[48], p1[48];
        uint64_t r;
        dxtenc_to_planar_rgb_sse41[5](p0, planes[0], nullptr, nullptr, 32, 0, 0, &r);
        dxtenc_to_planar_rgb_avx[5](p1, planes[0], nullptr, nullptr, 32, 0, 0, &r);
        EXPECT_EQ(p0[0], base[i]);
        EXPECT_EQ(p1[0], avx[i]);
    }
}

TEST(DxtTiers, AlphaSearchMembersMatchBaseline) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    std::mt19937 rng(5);
    for (int iter = 0; iter < 3000; iter++) {
        alignas(16) uint8_t v[16], pal[8], i0[16], i1[16], i2[16];
        for (auto &x : v) x = uint8_t(iter % 2 ? rng() : 100 + rng() % 8);
        for (auto &x : pal) x = uint8_t(rng() % 3 == 0 ? pal[0] : rng());  // repeated entries: ties
        uint64_t e0, e1, e2, mn0, mx0, mn1, mx1;
        alpha_block_indices_sse41(v, pal, i0, &e0);
        alpha_block_indices_avx(v, pal, i1, &e1);
        ASSERT_EQ(0, std::memcmp(i0, i1, 16));
        ASSERT_EQ(e0, e1);
        if (have_avx2()) {
            alpha_block_indices_avx2(v, pal, i2, &e2);
            ASSERT_EQ(0, std::memcmp(i0, i2, 16));
            ASSERT_EQ(e0, e2);
        }
        if (iter % 3 == 0) v[rng() % 16] = 0, v[rng() % 16] = 255;
        if (iter % 7 == 0) std::memset(v, iter % 2 ? 255 : 0, 16);
        alpha_inner_minmax_sse41(v, &mn0, &mx0);
        alpha_inner_minmax_avx(v, &mn1, &mx1);
        ASSERT_EQ(mn0, mn1);
        ASSERT_EQ(mx0, mx1);
    }
}

struct FastFitTier {
    const char *name;
    DxtFastFitEndpointsFn endpoints;
    DxtFastFitIndicesFn indices;
    DxtFastFitRefineFn refine;
    bool available;
};

// End points and indices agree exactly; refined end points may differ by one step of a
// channel where the product rounds across .5.
TEST(DxtTiers, FastFitMembersMatchBaseline) {
    const CpuFeatures &cpu = cpu_features();
    const FastFitTier tiers[] = {
        {"avx", fast_fit_endpoints_avx, fast_fit_indices_avx, fast_fit_refine_avx, cpu.avx},
        {"avx2", fast_fit_endpoints_avx2, fast_fit_indices_avx2, fast_fit_refine_avx2, cpu.avx2 && cpu.fma},
    };
    std::mt19937 rng(3);
    for (const FastFitTier &t : tiers) {
        SCOPED_TRACE(t.name);
        if (!t.available) continue;
        int refine_diffs = 0;
        for (int iter = 0; iter < 20000; iter++) {
            alignas(16) uint8_t planar[48];
            const int flavour = iter % 4;
            const uint8_t base = uint8_t(rng());
            for (int i = 0; i < 48; i++) {
                switch (flavour) {
                case 0: planar[i] = uint8_t(rng()); break;
                case 1: planar[i] = uint8_t(base + (rng() % 4 == 0)); break;  // luma axis, ties
                case 2: planar[i] = uint8_t(std::min(255, (i % 16) * 16 + int(rng() % 20))); break;
                default: planar[i] = uint8_t(rng() % 2 ? 0 : 255); break;
                }
            }
            uint64_t a0, b0, a1, b1;
            DxtBlockStats s0, s1;
            fast_fit_endpoints_sse41(planar, &a0, &b0, &s0);
            t.endpoints(planar, &a1, &b1, &s1);
            ASSERT_EQ(a0, a1) << iter;
            ASSERT_EQ(b0, b1) << iter;
            ASSERT_EQ(0, std::memcmp(s0.sum, s1.sum, 12));
            ASSERT_EQ(0, std::memcmp(s0.mean, s1.mean, 12));
            EXPECT_EQ(s1.sum[3], 0);
            EXPECT_EQ(s1.mean[3], 0);
            // Random end points too, not only the chosen ones.
            const uint32_t ea = iter % 2 ? uint32_t(a0) : uint32_t(rng() & 0xFFFF);
            const uint32_t eb = iter % 2 ? uint32_t(b0) : uint32_t(rng() & 0xFFFF);
            uint64_t w0 = 1, w1 = 2;
            fast_fit_indices_sse41(planar, ea, eb, &w0, dxt_expand_table);
            t.indices(planar, ea, eb, &w1, dxt_expand_table);
            ASSERT_EQ(w0, w1) << iter;
            ASSERT_LT(w1, uint64_t(1) << 32);
            const uint32_t w = uint32_t(w0);
            if (((w << 2) ^ w) <= 3) continue;
            fast_fit_refine_sse41(planar, &a0, &b0, w, &s0);
            t.refine(planar, &a1, &b1, w, &s0);
            if (a0 != a1 || b0 != b1) {
                refine_diffs++;
                for (int sh : {11, 5, 0}) {
                    const int mask = sh == 5 ? 63 : 31;
                    ASSERT_LE(std::abs(int((a0 >> sh) & mask) - int((a1 >> sh) & mask)), 1) << iter;
                    ASSERT_LE(std::abs(int((b0 >> sh) & mask) - int((b1 >> sh) & mask)), 1) << iter;
                }
            }
        }
        // Rounding differences are rare, not the rule.
        EXPECT_LT(refine_diffs, 200);
    }
}

// Whole frames: the AVX/AVX2 tiers give the baseline's texture except where a refinement
// rounds differently.
TEST(DxtTiers, FramesCloseToBaseline) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    std::mt19937 rng(9);
    const int w = 64, h = 64;
    std::vector<uint8_t> px(w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 4; c++) px[(y * w + x) * 4 + c] = uint8_t(x * 3 + y * (c + 1) + rng() % 9);
    const uint8_t *planes[4] = {px.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * w, 0, 0, 0};
    for (uint32_t codec : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(codec);
        std::vector<uint8_t> out[2];
        for (int t = 0; t < 2; t++) {
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof(ctx));
            ASSERT_EQ(dxtenc_init(&ctx, w, h, codec, 1, 1, DXTENC_PIX_BGRA8, 0, 1, t ? 0xF8 : 0), 0);
            out[t].resize(dxtenc_encoded_size(w, h, codec, 0));
            dxtenc_encode_frame(&ctx, out[t].data(), planes, strides);
        }
        size_t differing = 0;
        const size_t bb = codec == 1 ? 16 : 8;
        for (size_t i = 0; i < out[0].size(); i += bb) differing += std::memcmp(&out[0][i], &out[1][i], bb) != 0;
        if (codec >= 2)
            EXPECT_EQ(differing, 0u);
        else
            EXPECT_LT(differing, out[0].size() / bb / 20);
    }
}

}  // namespace
