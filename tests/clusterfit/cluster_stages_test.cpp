// Stages of the cluster fit, through the table that dxtenc_init_ops_cluster fills.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "texenc/clusterfit/cluster_fit.h"

namespace {

DxtEncOps baseline_ops(uint32_t pixel_format = DXTENC_PIX_RGBA8) {
    DxtEncOps ops;
    memset(&ops, 0, sizeof ops);
    dxtenc_init_ops_cluster(&ops, pixel_format);
    return ops;
}

struct Gathered {
    DxtColorSet set;
    Gathered() { memset(&set, 0x55, sizeof set); }
};

// ---------------------------------------------------------------------------------------
// Gathering.

TEST(ClusterGather, ColoursCountsAndMap) {
    const DxtEncOps ops = baseline_ops(DXTENC_PIX_RGBA8);
    struct Case {
        const char *name;
        std::vector<uint32_t> pixels;  // RGBA8 as 0xAABBGGRR, 16 of them
        uint64_t count;
        std::vector<int32_t> map;
        std::vector<int32_t> pixel_counts;
    };
    std::vector<uint32_t> all_different(16), alpha_only(16, 0x00102030);
    for (uint32_t i = 0; i < 16; ++i) {
        all_different[i] = 0xFF000000u | (i * 16 + 3);
        alpha_only[i] |= i << 24;
    }
    std::vector<uint32_t> repeats(16, 0x000000FF);
    repeats[2] = 0x0000FF00;
    repeats[5] = 0x0000FF00;
    repeats[9] = 0x0000FF00;
    repeats[3] = 0x00FF0000;
    const Case cases[] = {
        {"uniform", std::vector<uint32_t>(16, 0xFF336699), 1, std::vector<int32_t>(16, 0), {16}},
        {"sixteen",
         all_different,
         16,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
         std::vector<int32_t>(16, 1)},
        {"alpha ignored", alpha_only, 1, std::vector<int32_t>(16, 0), {16}},
        {"first match", repeats, 3, {0, 0, 1, 2, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}, {12, 3, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Gathered g;
        ops.to_unique_colors(g.set.colors, &g.set.count, g.set.map, reinterpret_cast<const uint8_t *>(c.pixels.data()),
                             nullptr, nullptr, 16, 0, 0);
        ASSERT_EQ(g.set.count, c.count);
        for (int j = 0; j < 16; ++j) { EXPECT_EQ(g.set.map[j], c.map[j]) << "pixel " << j; }
        for (uint64_t i = 0; i < c.count; ++i) {
            EXPECT_EQ(g.set.pixel_counts[i], c.pixel_counts[i]) << "colour " << i;
        }
    }
    // Values: 8-bit v becomes v / 255 in single precision (0 and 255 exactly).
    std::vector<uint32_t> px(16, 0xFF80FF00);
    Gathered g;
    ops.to_unique_colors(g.set.colors, &g.set.count, g.set.map, reinterpret_cast<const uint8_t *>(px.data()), nullptr,
                         nullptr, 16, 0, 0);
    EXPECT_EQ(g.set.colors[0][0], 0.0f);
    EXPECT_EQ(g.set.colors[0][1], 1.0f);
    EXPECT_EQ(g.set.colors[0][2], 128.0f / 255.0f);
}

TEST(ClusterGather, LayoutsReduceToEightBits) {
    // Pixel 0 is the probe value; the other 15 pixels hold zero samples.
    struct Case {
        uint32_t format;
        int bytes_per_pixel;  // packed layouts; 0 for planar
        int sample_bytes;     // planar sample size
        int word_of_red;      // packed 16-bit: word index of the first component
        uint16_t sample;      // value written into every component of pixel 0
        uint8_t expected;
    };
    const Case cases[] = {
        {DXTENC_PIX_ARGB16, 8, 0, 1, 0x12FF, 0x12},       {DXTENC_PIX_ARGB16, 8, 0, 1, 0x1200, 0x12},
        {DXTENC_PIX_RGBA16, 8, 0, 0, 0xABCD, 0xAB},       {DXTENC_PIX_ARGB16_SCALED, 8, 0, 1, 0x8000, 255},
        {DXTENC_PIX_ARGB16_SCALED, 8, 0, 1, 0x7F80, 255}, {DXTENC_PIX_ARGB16_SCALED, 8, 0, 1, 0x7FFF, 255},
        {DXTENC_PIX_ARGB16_SCALED, 8, 0, 1, 0x0080, 1},   {DXTENC_PIX_PLANAR_RGB10, 0, 2, 0, 0x3FF, 255},
        {DXTENC_PIX_PLANAR_RGB12, 0, 2, 0, 0x0A50, 0xA5}, {DXTENC_PIX_PLANAR_RGB16, 0, 2, 0, 0xFE01, 0xFE},
        {DXTENC_PIX_PLANAR_RGBA16, 0, 2, 0, 0x0100, 1},   {DXTENC_PIX_PLANAR_RGB8, 0, 1, 0, 77, 77},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " sample " << c.sample);
        const DxtEncOps ops = baseline_ops(c.format);
        ASSERT_NE(ops.to_unique_colors, nullptr);
        Gathered g;
        if (c.bytes_per_pixel) {
            std::vector<uint8_t> buf(4 * 40, 0);  // stride 40 bytes: rows are not contiguous
            for (int k = 0; k < 3; ++k) { memcpy(&buf[2 * (c.word_of_red + k)], &c.sample, 2); }
            ops.to_unique_colors(g.set.colors, &g.set.count, g.set.map, buf.data(), nullptr, nullptr, 40, 0, 0);
        } else {
            std::vector<uint8_t> planes[3];
            const uint8_t *ptr[3];
            for (int k = 0; k < 3; ++k) {
                planes[k].assign(4 * 16, 0);
                memcpy(planes[k].data(), &c.sample, c.sample_bytes);
                ptr[k] = planes[k].data();
            }
            ops.to_unique_colors(g.set.colors, &g.set.count, g.set.map, ptr[0], ptr[1], ptr[2], 16, 16, 16);
        }
        ASSERT_EQ(g.set.count, c.expected == 0 ? 1u : 2u);
        for (int k = 0; k < 3; ++k) { EXPECT_EQ(g.set.colors[0][k], static_cast<float>(c.expected) / 255.0f); }
    }
    // Component order of the byte layouts: pixel (r, g, b) = (10, 20, 30).
    struct Order {
        uint32_t format;
        std::vector<uint8_t> pixel;
    };
    const Order orders[] = {
        {DXTENC_PIX_ARGB8, {99, 10, 20, 30}}, {DXTENC_PIX_BGRA8, {30, 20, 10, 99}},
        {DXTENC_PIX_RGBA8, {10, 20, 30, 99}}, {DXTENC_PIX_RGB8, {10, 20, 30}},
        {DXTENC_PIX_BGR8, {30, 20, 10}},
    };
    for (const Order &o : orders) {
        SCOPED_TRACE(o.format);
        const DxtEncOps ops = baseline_ops(o.format);
        std::vector<uint8_t> buf;
        for (int p = 0; p < 4; ++p) { buf.insert(buf.end(), o.pixel.begin(), o.pixel.end()); }
        Gathered g;
        ops.to_unique_colors(g.set.colors, &g.set.count, g.set.map, buf.data(), nullptr, nullptr, 0, 0, 0);
        ASSERT_EQ(g.set.count, 1u);
        EXPECT_EQ(g.set.colors[0][0], 10.0f / 255.0f);
        EXPECT_EQ(g.set.colors[0][1], 20.0f / 255.0f);
        EXPECT_EQ(g.set.colors[0][2], 30.0f / 255.0f);
    }
}

// ---------------------------------------------------------------------------------------
// Axis, projection, ordering.

TEST(ClusterAxis, WorkedExamples) {
    const DxtEncOps ops = baseline_ops();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char *name;
        std::vector<std::vector<float>> colors;
        std::vector<float> weights;
        std::vector<float> axis;
        std::vector<float> projections;
    };
    const Case cases[] = {
        {"grey line", {{0, 0, 0}, {1, 1, 1}}, {1, 1}, {1, 1, 1}, {0, 3}},
        {"red only", {{0, 0, 0}, {1, 0, 0}}, {1, 1}, {1, 0, 0}, {0, 1}},
        {"colours on a line",
         {{0, 0, 0}, {0.5f, 0.25f, 0}, {1, 0.5f, 0}},
         {1, 2, 1.4142135f},
         {1, 0.5f, 0},
         {0, 0.625f, 1.25f}},
        {"rows summing to zero",
         {{10 / 255.0f, 20 / 255.0f, 30 / 255.0f}, {20 / 255.0f, 10 / 255.0f, 30 / 255.0f}},
         {1, 1},
         {nan, nan, nan},
         {nan, nan}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        alignas(16) float colors[16][4] = {};
        float weights[16] = {};
        const size_t n = c.colors.size();
        for (size_t i = 0; i < n; ++i) {
            memcpy(colors[i], c.colors[i].data(), 3 * sizeof(float));
            colors[i][3] = 1e30f;  // the spare lane is never read
            weights[i] = c.weights[i];
        }
        alignas(16) float axis[4] = {0, 0, 0, -7.0f};
        ops.cluster_axis[n - 2](axis, colors, weights);
        float proj[16];
        ops.cluster_project[n - 2](proj, colors, axis);
        EXPECT_EQ(axis[3], -7.0f);
        for (int k = 0; k < 3; ++k) {
            if (std::isnan(c.axis[k])) {
                EXPECT_TRUE(std::isnan(axis[k]));
            } else {
                EXPECT_EQ(axis[k], c.axis[k]) << "lane " << k;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            if (std::isnan(c.projections[i])) {
                EXPECT_TRUE(std::isnan(proj[i]));
            } else {
                EXPECT_EQ(proj[i], c.projections[i]) << "colour " << i;
            }
        }
    }
}

TEST(ClusterAxis, SixteenColoursIgnoreWeights) {
    const DxtEncOps ops = baseline_ops();
    alignas(16) float colors[16][4];
    float w1[16], w2[16];
    for (int i = 0; i < 16; ++i) {
        colors[i][0] = static_cast<float>((i * 37) % 256) / 255.0f;
        colors[i][1] = static_cast<float>((i * 91) % 256) / 255.0f;
        colors[i][2] = static_cast<float>((i * 13) % 256) / 255.0f;
        w1[i] = 1.0f;
        w2[i] = static_cast<float>(i + 1);
    }
    float a1[4] = {}, a2[4] = {};
    ops.cluster_axis[14](a1, colors, w1);
    ops.cluster_axis[14](a2, colors, w2);
    EXPECT_EQ(0, memcmp(a1, a2, 3 * sizeof(float)));
}

TEST(ClusterSort, StableAscendingWithStrictTests) {
    const DxtEncOps ops = baseline_ops();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char *name;
        std::vector<float> projections;
        std::vector<uint8_t> order;
    };
    std::vector<float> desc(16), equal(16, 0.5f), nans(16, nan);
    std::vector<uint8_t> desc_order(16), identity(16);
    for (int i = 0; i < 16; ++i) {
        desc[i] = static_cast<float>(16 - i);
        desc_order[i] = static_cast<uint8_t>(15 - i);
        identity[i] = static_cast<uint8_t>(i);
    }
    const Case cases[] = {
        {"equal pair", {2, 2}, {0, 1}},
        {"three", {3, 1, 2}, {1, 2, 0}},
        {"ties keep colour order", {1, 0, 1, 0}, {1, 3, 0, 2}},
        {"signed zeros are equal", {0.0f, -0.0f, -1.0f}, {2, 0, 1}},
        {"descending", desc, desc_order},
        {"all equal", equal, identity},
        {"all NaN", nans, identity},
        {"nine with ties", {5, 1, 5, 0, 1, 9, 5, 0, 1}, {3, 7, 1, 4, 8, 0, 2, 6, 5}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const size_t n = c.projections.size();
        uint8_t order[16];
        for (int i = 0; i < 16; ++i) { order[i] = static_cast<uint8_t>(i); }
        ops.cluster_sort[n - 2](c.projections.data(), order);
        for (size_t j = 0; j < n; ++j) { EXPECT_EQ(order[j], c.order[j]) << "position " << j; }
        for (size_t j = n; j < 16; ++j) { EXPECT_EQ(order[j], j) << "untouched position " << j; }
    }
    // Every count on many small values (ties everywhere), some with a NaN: the order of an
    // insertion with strict tests.
    uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int n = 2; n <= 16; ++n) {
        for (int trial = 0; trial < 300; ++trial) {
            float p[16];
            for (int k = 0; k < n; ++k) {
                p[k] = static_cast<float>(int(next() % 7) - 3) * (next() % 2 ? 1.0f : -1.0f);
            }
            if (trial % 10 == 0) { p[next() % n] = nan; }
            uint8_t want[16], got[16];
            for (int i = 0; i < 16; ++i) { want[i] = got[i] = static_cast<uint8_t>(i); }
            for (int i = 1; i < n; ++i) {
                const uint8_t cur = want[i];
                int j = i;
                while (j > 0 && p[want[j - 1]] > p[cur]) {
                    want[j] = want[j - 1];
                    --j;
                }
                want[j] = cur;
            }
            ops.cluster_sort[n - 2](p, got);
            ASSERT_EQ(std::memcmp(got, want, 16), 0) << n << " colours, trial " << trial;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Range sums.

TEST(ClusterPrepare, LayoutAndOrderOfAdditions) {
    const DxtEncOps ops = baseline_ops();
    const float third = 1.0f / 3.0f, two_thirds = 2.0f / 3.0f, ninth = 1.0f / 9.0f, four_ninths = 4.0f / 9.0f;
    const float two_ninths = 2.0f / 9.0f;

    // Count 2: 40 floats, whatever the buffer held before.
    {
        alignas(16) float sorted[16][4] = {{0.1f, 0.2f, 0.3f, 1.5f}, {0.7f, 0.11f, 0.13f, 2.5f}};
        sorted[2][0] = 1e9f;  // past the count: never read
        ClusterSums sums;
        memset(&sums, 0x7F, sizeof sums);
        ops.cluster_prepare[0](sorted, &sums);
        const float *v = sums.values;
        for (int k = 0; k < 12; ++k) { EXPECT_EQ(v[k], 0.0f) << "empty entry"; }
        for (int e = 1; e <= 2; ++e) {
            const float *s = sorted[e - 1];
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(v[12 * e + k], s[k]);
                EXPECT_EQ(v[12 * e + 4 + k], s[k] * third);
                EXPECT_EQ(v[12 * e + 8 + k], s[k] * two_thirds);
            }
            EXPECT_EQ(v[12 * e + 3], s[3]);
            EXPECT_EQ(v[12 * e + 7], s[3] * ninth);
            EXPECT_EQ(v[12 * e + 11], s[3] * four_ninths);
        }
        EXPECT_EQ(v[36], 0.0f);
        EXPECT_EQ(v[37], 1.5f * two_ninths);
        EXPECT_EQ(v[38], 1.5f * two_ninths + 2.5f * two_ninths);
        EXPECT_EQ(v[39], 2.5f * two_ninths);
    }
    // Count 5: runs summed from the left, scaled terms summed per colour.
    {
        alignas(16) float sorted[16][4];
        for (int k = 0; k < 5; ++k) {
            for (int l = 0; l < 4; ++l) {
                sorted[k][l] = 0.1f + 0.37f * static_cast<float>(k) + 0.011f * static_cast<float>(l);
            }
        }
        ClusterSums sums;
        ops.cluster_prepare[3](sorted, &sums);
        const float *e = sums.values + 12 * cluster_range_entry(5, 1, 5);
        for (int l = 0; l < 4; ++l) { EXPECT_EQ(e[l], ((sorted[1][l] + sorted[2][l]) + sorted[3][l]) + sorted[4][l]); }
        const float *e02 = sums.values + 12 * 2;
        EXPECT_EQ(e02[4], sorted[0][0] * third + sorted[1][0] * third);
        const float *cross = sums.values + 12 * 15;
        EXPECT_EQ(cross[5], (((sorted[0][3] * two_ninths + sorted[1][3] * two_ninths) + sorted[2][3] * two_ninths) +
                             sorted[3][3] * two_ninths) +
                                sorted[4][3] * two_ninths);
    }
    // Count 16: cross values are the constants nearest 2L/9, not running sums; count 11
    // with weights 1 gives the running sum.
    {
        alignas(16) float sorted[16][4];
        for (int k = 0; k < 16; ++k) {
            sorted[k][0] = sorted[k][1] = sorted[k][2] = static_cast<float>(k) / 15.0f;
            sorted[k][3] = 1.0f;
        }
        ClusterSums s16, s11;
        ops.cluster_prepare[14](sorted, &s16);
        ops.cluster_prepare[9](sorted, &s11);
        const float *c16 = s16.values + 12 * 136;
        for (int l = 0; l <= 16; ++l) { EXPECT_EQ(c16[l], static_cast<float>(2.0L * l / 9.0L)) << "length " << l; }
        EXPECT_EQ(c16[11], 2.4444444f);
        EXPECT_EQ(s11.values[12 * 66 + 11], 2.4444447f);  // cross of [0, 11)
    }
}

// ---------------------------------------------------------------------------------------
// Packing.

TEST(ClusterPack, BlockBytes) {
    const DxtEncOps ops = baseline_ops();
    struct Case {
        const char *name;
        float start[3], end[3];
        std::vector<uint8_t> indices;
        std::vector<uint8_t> block;
    };
    std::vector<uint8_t> zeros(16, 0), twos(16, 2), rotating(16);
    for (int i = 0; i < 16; ++i) { rotating[i] = static_cast<uint8_t>("\x02\x03\x00\x01"[i % 4]); }
    const Case cases[] = {
        {"swapped", {0, 0, 0}, {1, 1, 1}, zeros, {0xFF, 0xFF, 0, 0, 0x55, 0x55, 0x55, 0x55}},
        {"in order", {1, 1, 1}, {0, 0, 0}, zeros, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"equal white", {1, 1, 1}, {1, 1, 1}, twos, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"equal black", {0, 0, 0}, {0, 0, 0}, twos, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"swap remaps 2 and 3", {0, 0, 0}, {1, 1, 1}, rotating, {0xFF, 0xFF, 0, 0, 0x1B, 0x1B, 0x1B, 0x1B}},
        {"clamped", {1.02f, -0.01f, 0.5f}, {0, 0, 0}, zeros, {0x10, 0xF8, 0, 0, 0, 0, 0, 0}},
        {"half step rounds up", {0.5f / 31.0f, 0, 0}, {0, 0, 0}, zeros, {0x00, 0x08, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ClusterBest best;
        memset(&best, 0, sizeof best);
        memcpy(best.start, c.start, sizeof c.start);
        memcpy(best.end, c.end, sizeof c.end);
        best.start[3] = best.end[3] = std::numeric_limits<float>::quiet_NaN();
        uint8_t out[8];
        ops.pack_block(&best, c.indices.data(), out);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 8), c.block);
    }
    const uint8_t ep[8] = {16, 32, 16, 0xEE, 0, 0, 0, 0xEE}, swapped[8] = {0, 0, 0, 0xEE, 16, 32, 16, 0xEE};
    std::vector<uint8_t> threes(16, 3);
    uint8_t out[8];
    ops.pack_block_565(ep, threes.data(), out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0x10, 0x84, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    ops.pack_block_565(swapped, threes.data(), out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0x10, 0x84, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
}

}  // namespace
