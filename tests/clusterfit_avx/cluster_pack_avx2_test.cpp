// Colour block packer, AVX2 tier: the same 8 bytes as the baseline packer for end points
// on the grid and off it (above 1, below 0, not a number), and the block rules.
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit_avx/cluster_avx.h"

using namespace cfavx;

namespace {

bool has_avx2() { return cpu_features().avx && cpu_features().avx2; }

std::vector<uint8_t> pack(DxtPackBlockFn fn, const float (&ends)[8], const uint8_t *indices) {
    ClusterBest best;
    std::memcpy(best.start, ends, 16);
    std::memcpy(best.end, ends + 4, 16);
    best.error = std::bit_cast<float>(0x7FC00000u);  // not read
    std::vector<uint8_t> out(8, 0xCD);
    fn(&best, indices, out.data());
    return out;
}

TEST(ClusterPackAvx2, SameBlocksAsTheBaselinePacker) {
    if (!has_avx2()) { GTEST_SKIP() << "no AVX2"; }
    std::mt19937 rng(2707);
    const float nan = std::bit_cast<float>(0x7FC00000u), inf = INFINITY;
    const float off_grid[] = {-1.0f, -0.01f, -0.0f, 0.0f,   0.3f,  0.5f / 31, 1.5f / 63, 0.999f, 1.0f,
                              1.02f, 1.5f,   2.0f,  100.0f, 1e10f, inf,       -inf,      nan,    -nan};
    int checked = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        float ends[8];
        for (int e = 0; e < 2; ++e) {
            for (int c = 0; c < 3; ++c) {
                const float steps = c == 1 ? 63.0f : 31.0f;
                // On the grid as the search leaves them, or (one trial in four) anything.
                ends[4 * e + c] = trial % 4 == 3
                                      ? off_grid[rng() % std::size(off_grid)]
                                      : float(rng() % (int(steps) + 1)) * (c == 1 ? 0.015873017f : 0.032258064f);
                (void)steps;
            }
            ends[4 * e + 3] = trial % 2 ? 0.0f : nan;  // the fourth lane is not used
        }
        if (trial % 7 == 0) { std::memcpy(ends + 4, ends, 16); }  // equal end points
        uint8_t indices[16];
        for (uint8_t &i : indices) { i = uint8_t(rng() % 4); }
        ASSERT_EQ(pack(dxt_pack_block_avx2, ends, indices), pack(dxt_pack_block_sse41, ends, indices))
            << "trial " << trial << ": " << ends[0] << " " << ends[1] << " " << ends[2] << " / " << ends[4] << " "
            << ends[5] << " " << ends[6];
        ++checked;
    }
    EXPECT_EQ(checked, 20000);
}

TEST(ClusterPackAvx2, BlockRules) {
    if (!has_avx2()) { GTEST_SKIP() << "no AVX2"; }
    struct Case {
        const char *name;
        float ends[8];
        uint8_t indices[4];  // repeated over the 16 pixels
        uint8_t block[8];
    };
    const Case cases[] = {
        {"black to white", {0, 0, 0, 0, 1, 1, 1, 0}, {0, 0, 0, 0}, {0xFF, 0xFF, 0, 0, 0x55, 0x55, 0x55, 0x55}},
        {"white to black", {1, 1, 1, 0, 0, 0, 0, 0}, {0, 0, 0, 0}, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"equal white, indices dropped", {1, 1, 1, 0, 1, 1, 1, 0}, {2, 3, 1, 2}, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"equal black", {0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"swap remaps 0 1 2 3 to 1 0 3 2",
         {0, 0, 0, 0, 1, 0, 0, 0},
         {0, 1, 2, 3},
         {0, 0xF8, 0, 0, 0xB1, 0xB1, 0xB1, 0xB1}},
        {"no swap keeps them", {1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3}, {0, 0xF8, 0, 0, 0xE4, 0xE4, 0xE4, 0xE4}},
        {"above 1 clamps, below 0 gives 0",
         {1.02f, -0.01f, 0.5f, 0, 0, 0, 0, 0},
         {0, 0, 0, 0},
         {0x10, 0xF8, 0, 0, 0, 0, 0, 0}},
        {"white above 1 stays white",
         {1.5f, 2.0f, 1.02f, 0, std::bit_cast<float>(0x7FC00000u), -1, 0, 0},
         {1, 1, 1, 1},
         {0xFF, 0xFF, 0, 0, 0x55, 0x55, 0x55, 0x55}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t indices[16];
        for (int k = 0; k < 16; ++k) { indices[k] = c.indices[k % 4]; }
        float ends[8];
        std::memcpy(ends, c.ends, sizeof ends);
        EXPECT_EQ(pack(dxt_pack_block_avx2, ends, indices), std::vector<uint8_t>(c.block, c.block + 8));
    }
}

}  // namespace
