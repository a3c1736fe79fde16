// The quality-2 and quality-3 chroma searches find the best end points of their candidate
// sets: checked against an exhaustive evaluation of the same sets in double precision.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "platform/core/cpu.h"
#include "texenc/dxtenc.h"
#include "texenc/ycocg.h"
#include "texenc/ycocg_test_decoder.h"

namespace {

// Pixel-domain value of a quantised component at a scale.
double pixel_value(int q, int top, int scale) {
    const double zero = 128.0 / 255.0;
    return (double(q) / top - zero) / scale + zero;
}

// Sum over the pixels of the squared smallest squared distance to the four-colour palette
// of first end point (e0, e1) and second (e2, e3).
double block_error(const DxtEncYcocgBlock &b, const int *e, int scale) {
    const double aco = pixel_value(e[0], 31, scale), acg = pixel_value(e[1], 63, scale);
    const double bco = pixel_value(e[2], 31, scale), bcg = pixel_value(e[3], 63, scale);
    const double pco[4] = {bco, aco, bco + (aco - bco) / 3, bco + 2 * (aco - bco) / 3};
    const double pcg[4] = {bcg, acg, bcg + (acg - bcg) / 3, bcg + 2 * (acg - bcg) / 3};
    double err = 0;
    for (int i = 0; i < 16; i++) {
        double m = 1e30;
        for (int k = 0; k < 4; k++) {
            const double a = b.co[i] - pco[k], c = b.cg[i] - pcg[k];
            m = std::min(m, a * a + c * c);
        }
        err += m * m;
    }
    return err;
}

TEST(YcocgSearch, ChosenEndPointsAreTheBestOfTheCandidateSet) {
    std::mt19937 rng(21);
    for (int trial = 0; trial < 400; trial++) {
        // Chroma spreads from narrow (scale 4) to wide (scale 1).
        const int spread = trial % 3 == 0 ? 20 : trial % 3 == 1 ? 70 : 256;
        const int lo = int(rng() % (257 - spread));
        uint8_t px[64];
        for (int i = 0; i < 16; i++) {
            for (int c = 0; c < 3; c++) px[4 * i + c] = uint8_t(lo + rng() % spread);
            px[4 * i + 3] = 255;
        }
        for (int q = 2; q <= 3; q++) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " q" << q);
            DxtEncContext ctx;
            std::memset(&ctx, 0, sizeof ctx);
            ASSERT_EQ(dxtenc_init(&ctx, 4, 4, 4, uint8_t(q), 1, DXTENC_PIX_RGBA8, 0, 1, 0), 0);
            const DxtEncOps &ops = ctx.ops;
            DxtEncYcocgBlock b;
            uint64_t black = 0;
            ops.to_ycocg(&b, px, 16, &black);
            ASSERT_EQ(black, 0u);
            DxtEncYcocgBlock ref = b;
            uint8_t out[8];
            if (q == 2)
                ycocg_color_search_q2(ops, out, &b);
            else
                ycocg_color_search_q3(ops, out, &b);
            const uint16_t c0 = uint16_t(out[0] | out[1] << 8), c1 = uint16_t(out[2] | out[3] << 8);
            const int scale = (c0 & 31) + 1;
            ASSERT_EQ(c1 & 31, c0 & 31);
            const int chosen[4] = {c1 >> 11, (c1 >> 5) & 63, c0 >> 11, (c0 >> 5) & 63};

            // The candidate set around the quantised box (after the diagonal choice): the first
            // end point moves down and the second up. Along the falling diagonal (Cg bounds
            // exchanged) the set that widens the Cg ends counts too: the end points start
            // inset as along the rising diagonal, the first takes the upper Cg and raises it,
            // the second the lower one and lowers it.
            ycocg_select_diagonal(&ref);
            ASSERT_EQ(scale, ycocg_choose_scale(ref.box, 4));
            const bool falling = ref.box[1] > ref.box[3];
            double best = 1e30;
            for (int dir : {1, -1}) {
                if (dir < 0 && !falling) continue;
                int32_t o[4];
                if (dir > 0) {
                    ycocg_inset_quantize_sse41[scale >> 1](ref.box, o);
                } else {
                    const float rising[4] = {ref.box[0], ref.box[3], ref.box[2], ref.box[1]};
                    ycocg_inset_quantize_sse41[scale >> 1](rising, o);
                    std::swap(o[1], o[3]);
                }
                for (int d0 = 0; d0 < 6; d0++)
                    for (int d1 = 0; d1 < 6; d1++)
                        for (int j2 = 0; j2 < 6; j2++)
                            for (int j3 = 0; j3 < 6; j3++) {
                                // Quality 2 moves both components of an end point together.
                                if (q == 2 && (d0 != d1 || j2 != j3)) continue;
                                const int e[4] = {std::max(0, o[0] - d0), std::clamp(o[1] - dir * d1, 0, 63),
                                                  std::min(o[2] + j2, 31), std::clamp(o[3] + dir * j3, 0, 63)};
                                best = std::min(best, block_error(ref, e, scale));
                            }
            }
            const double got = block_error(ref, chosen, scale);
            EXPECT_LE(got, best * (1 + 1e-4) + 1e-12)
                << chosen[0] << " " << chosen[1] << " " << chosen[2] << " " << chosen[3];
        }
    }
}

// Blocks of two colours in a checkerboard come back close to both colours whichever
// diagonal of the (Co, Cg) plane they lie on, at every scale, quality and tier. The search
// once narrowed both Cg ends of a block along the falling diagonal and left them up to 12
// levels off (magenta / cyan at the slow quality).
TEST(YcocgSearch, TwoColourBlocksOnEitherDiagonal) {
    struct Pair {
        const char *name;
        uint8_t a[3], b[3];
    };
    const Pair pairs[] = {
        // Co and Cg rise together.
        {"yellow / blue", {255, 255, 0}, {0, 0, 255}},
        {"orange / purple", {255, 128, 0}, {128, 0, 255}},
        {"scale 4 rising", {140, 130, 100}, {100, 110, 120}},
        // Cg falls as Co rises.
        {"magenta / cyan", {254, 0, 253}, {0, 255, 255}},
        {"red / green", {255, 0, 0}, {0, 255, 0}},
        {"scale 2 falling", {180, 100, 100}, {100, 160, 130}},
        {"scale 4 falling", {140, 120, 100}, {100, 130, 120}},
    };
    std::vector<uint32_t> isas = {0};
    if (cpu_features().avx2 && cpu_features().fma) isas.push_back(0xF8);
    for (const Pair &p : pairs) {
        uint8_t px[64];
        for (int i = 0; i < 16; i++) {
            const uint8_t *c = ((i / 4 + i % 4) & 1) ? p.b : p.a;
            std::memcpy(px + 4 * i, c, 3);
            px[4 * i + 3] = 255;
        }
        for (int q = 2; q <= 3; q++)
            for (uint32_t isa : isas) {
                SCOPED_TRACE(testing::Message() << p.name << " q" << q << " isa " << isa);
                DxtEncContext ctx;
                std::memset(&ctx, 0, sizeof ctx);
                ASSERT_EQ(dxtenc_init(&ctx, 4, 4, 4, uint8_t(q), 1, DXTENC_PIX_RGBA8, 0, 1, isa), 0);
                const uint8_t *planes[4] = {px, nullptr, nullptr, nullptr};
                const int64_t strides[4] = {16, 0, 0, 0};
                uint8_t blk[16];
                ctx.ops.encode_block_tex1(blk, planes, strides, ctx.ops);
                uint8_t rgb[16][3];
                ycocg_test::decode_ycocg_block(blk, rgb);
                int worst = 0;
                for (int i = 0; i < 16; i++)
                    for (int c = 0; c < 3; c++) worst = std::max(worst, std::abs(int(rgb[i][c]) - int(px[4 * i + c])));
                EXPECT_LE(worst, q == 2 ? 10 : 5);
            }
    }
}

}  // namespace
