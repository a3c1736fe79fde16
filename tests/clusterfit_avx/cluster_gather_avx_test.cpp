// Distinct-colour gathering, AVX tier: every layout against the baseline member on random
// blocks, blocks of few colours, padded edge blocks and bottom-up rows; the reductions of
// the 16-bit, 10-bit, 12-bit and scaled layouts; and reads that stop at the block's bytes
// (blocks against guard pages at both ends of an exactly sized frame).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc_kernels.h"

using namespace cfavx;

namespace {

enum class Reduce { None, High8, Low10, Low12, Scaled15 };

// A source layout: where the red, green and blue samples of a pixel sit.
struct Layout {
    uint32_t format;
    const char *name;
    int planes;        // 1 packed, 4 planar (the gathering reads planes 0..2)
    int sample_bytes;  // 1 or 2
    int channels;      // samples per pixel in a plane
    int pos[3];        // sample of red, green, blue within a packed pixel
    Reduce reduce;
};

const Layout kLayouts[] = {
    {DXTENC_PIX_ARGB8, "argb8", 1, 1, 4, {1, 2, 3}, Reduce::None},
    {DXTENC_PIX_BGRA8, "bgra8", 1, 1, 4, {2, 1, 0}, Reduce::None},
    {DXTENC_PIX_BGRA8_BOTTOM_UP, "bgra8 bottom-up", 1, 1, 4, {2, 1, 0}, Reduce::None},
    {DXTENC_PIX_RGBA8, "rgba8", 1, 1, 4, {0, 1, 2}, Reduce::None},
    {DXTENC_PIX_ARGB16, "argb16", 1, 2, 4, {1, 2, 3}, Reduce::High8},
    {DXTENC_PIX_ARGB16_SCALED, "argb16 scaled", 1, 2, 4, {1, 2, 3}, Reduce::Scaled15},
    {DXTENC_PIX_RGBA16, "rgba16", 1, 2, 4, {0, 1, 2}, Reduce::High8},
    {DXTENC_PIX_RGB8, "rgb8", 1, 1, 3, {0, 1, 2}, Reduce::None},
    {DXTENC_PIX_BGR8, "bgr8", 1, 1, 3, {2, 1, 0}, Reduce::None},
    {DXTENC_PIX_PLANAR_RGBA8, "planar rgba8", 4, 1, 1, {0, 0, 0}, Reduce::None},
    {DXTENC_PIX_PLANAR_RGB8, "planar rgb8", 4, 1, 1, {0, 0, 0}, Reduce::None},
    {DXTENC_PIX_PLANAR_RGB10, "planar rgb10", 4, 2, 1, {0, 0, 0}, Reduce::Low10},
    {DXTENC_PIX_PLANAR_RGB12, "planar rgb12", 4, 2, 1, {0, 0, 0}, Reduce::Low12},
    {DXTENC_PIX_PLANAR_RGBA16, "planar rgba16", 4, 2, 1, {0, 0, 0}, Reduce::High8},
    {DXTENC_PIX_PLANAR_RGB16, "planar rgb16", 4, 2, 1, {0, 0, 0}, Reduce::High8},
};

int pixel_bytes(const Layout &l) { return l.channels * l.sample_bytes; }

// An in-range sample whose reduction is the 8-bit value v, with random bits in the part
// the reduction drops.
uint32_t sample_of(const Layout &l, uint32_t v, std::mt19937 &rng) {
    const uint32_t noise = rng();
    switch (l.reduce) {
    case Reduce::None: return v;
    case Reduce::High8: return v << 8 | (noise & 0xFF);
    case Reduce::Low10: return v << 2 | (noise & 3);
    case Reduce::Low12: return v << 4 | (noise & 15);
    case Reduce::Scaled15: return v == 255 && noise % 3 == 0 ? 0x8000 : v << 7 | (noise >> 8 & 0x7F);
    }
    return v;
}

// One block in memory: up to four planes of four rows with the given stride (negative:
// the plane pointer is the last row in memory and rows go down).
struct Block {
    std::vector<uint8_t> bytes[4];
    const uint8_t *planes[4] = {};
    int64_t strides[4] = {};
};

void put(uint8_t *p, int sample_bytes, uint32_t v) {
    p[0] = uint8_t(v);
    if (sample_bytes == 2) { p[1] = uint8_t(v >> 8); }
}

// Pixel k's 8-bit colour is rgb[k]; alpha and dropped bits are random.
Block make_block(const Layout &l, const uint32_t (*rgb)[3], int64_t pad, std::mt19937 &rng) {
    Block b;
    const int64_t row = 4 * pixel_bytes(l), stride = row + pad * l.sample_bytes;
    const bool bottom_up = l.format == DXTENC_PIX_BGRA8_BOTTOM_UP;
    for (int p = 0; p < l.planes; ++p) {
        b.bytes[p].resize(size_t(3 * stride + row));
        for (uint8_t &x : b.bytes[p]) { x = uint8_t(rng()); }
        b.planes[p] = b.bytes[p].data() + (bottom_up ? 3 * stride : 0);
        b.strides[p] = bottom_up ? -stride : stride;
    }
    for (int k = 0; k < 16; ++k) {
        const int r = k / 4, c = k % 4;
        for (int ch = 0; ch < 3; ++ch) {
            const int plane = l.planes == 1 ? 0 : ch;
            const int at = l.planes == 1 ? l.pos[ch] : 0;
            uint8_t *p = const_cast<uint8_t *>(b.planes[plane]) + r * b.strides[plane] + c * pixel_bytes(l) +
                         at * l.sample_bytes;
            put(p, l.sample_bytes, sample_of(l, rgb[k][ch], rng));
        }
    }
    return b;
}

// The caller's colour set, filled with a marker so that unwritten entries show.
struct alignas(32) Gathered {
    float colors[16][4];
    uint64_t count;
    int32_t map_and_counts[32];

    Gathered() {
        for (auto &c : colors) {
            for (float &f : c) { f = std::bit_cast<float>(0x7FC0DEADu); }
        }
        count = 99;
        for (int32_t &v : map_and_counts) { v = -7; }
    }
    const int32_t *map() const { return map_and_counts; }
    const int32_t *counts() const { return map_and_counts + 16; }
};

Gathered run(DxtToUniqueColorsFn fn, const uint8_t *const *planes, const int64_t *strides) {
    Gathered g;
    fn(g.colors, &g.count, g.map_and_counts, planes[0], planes[1], planes[2], strides[0], strides[1], strides[2]);
    return g;
}

// The AVX member's set equals the baseline's, and what only the AVX member promises holds.
void expect_same(const Gathered &avx, const Gathered &base) {
    ASSERT_EQ(avx.count, base.count);
    ASSERT_GE(avx.count, 1u);
    ASSERT_LE(avx.count, 16u);
    for (int k = 0; k < 16; ++k) { EXPECT_EQ(avx.map()[k], base.map()[k]) << "pixel " << k; }
    int total = 0;
    for (uint64_t i = 0; i < 16; ++i) {
        if (i < avx.count) {
            EXPECT_EQ(avx.counts()[i], base.counts()[i]) << "colour " << i;
            total += avx.counts()[i];
            for (int c = 0; c < 3; ++c) { EXPECT_EQ(bits(avx.colors[i][c]), bits(base.colors[i][c])); }
            EXPECT_EQ(bits(avx.colors[i][3]), 0u);
        } else {
            EXPECT_EQ(avx.counts()[i], -7) << "count past the colours written";
            for (float f : avx.colors[i]) { EXPECT_EQ(bits(f), 0x7FC0DEADu) << "colour past the count written"; }
        }
    }
    EXPECT_EQ(total, 16);
}

TEST(ClusterGatherAvx, EveryLayoutMatchesTheBaseline) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(2701);
    for (const Layout &l : kLayouts) {
        SCOPED_TRACE(l.name);
        const DxtToUniqueColorsFn avx = cluster_unique_colors_kernel_avx(l.format);
        const DxtToUniqueColorsFn base = cluster_unique_colors_kernel(l.format);
        ASSERT_NE(avx, nullptr);
        for (int trial = 0; trial < 600; ++trial) {
            // Random colours, then palettes of 1 to 6 colours (pixels picked at random).
            const int palette = trial < 100 ? 0 : 1 + trial % 6;
            uint32_t pal[6][3], rgb[16][3];
            for (auto &p : pal) {
                for (uint32_t &v : p) { v = rng() & 0xFF; }
            }
            for (auto &px : rgb) {
                const int pick = palette == 0 ? -1 : int(rng() % palette);
                for (int c = 0; c < 3; ++c) { px[c] = pick < 0 ? rng() & 0xFF : pal[pick][c]; }
            }
            const Block b = make_block(l, rgb, int64_t(rng() % 4), rng);
            expect_same(run(avx, b.planes, b.strides), run(base, b.planes, b.strides));
            if (HasFatalFailure()) { return; }
        }
    }
}

TEST(ClusterGatherAvx, PaddedEdgeBlocksMatchTheBaseline) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    std::mt19937 rng(2702);
    for (const Layout &l : kLayouts) {
        if (l.format == DXTENC_PIX_BGRA8_BOTTOM_UP) { continue; }  // padded as layout 1
        SCOPED_TRACE(l.name);
        const DxtToUniqueColorsFn avx = cluster_unique_colors_kernel_avx(l.format);
        const DxtToUniqueColorsFn base = cluster_unique_colors_kernel(l.format);
        for (uint32_t mode : {DXTENC_PAD_REPEAT, DXTENC_PAD_BLACK, DXTENC_PAD_ZERO}) {
            for (uint32_t cols = 1; cols <= 4; ++cols) {
                for (uint32_t rows = 1; rows <= 4; ++rows) {
                    if (cols == 4 && rows == 4) { continue; }
                    uint32_t rgb[16][3];
                    for (auto &px : rgb) {
                        for (uint32_t &v : px) { v = rng() % 3 * 100; }  // a few colours
                    }
                    const Block src = make_block(l, rgb, 2, rng);
                    // The scratch block: plane k at k * 4 * B, every stride B (B: bytes of 4 pixels).
                    const int64_t row = 4 * pixel_bytes(l);
                    alignas(16) uint8_t scratch[4 * 4 * 64] = {};
                    dxtenc_pad_member(l.format, mode)(scratch, src.planes, src.strides, cols, rows);
                    const uint8_t *planes[3] = {scratch, scratch + 4 * row, scratch + 8 * row};
                    const int64_t strides[3] = {row, row, row};
                    const Gathered a = run(avx, planes, strides);
                    expect_same(a, run(base, planes, strides));
                    if (HasFatalFailure()) { return; }
                }
            }
        }
    }
}

// Samples of one colour in every layout: the 8-bit value v with the dropped bits zero.
Block solid_rows(const Layout &l, const uint32_t (*rgb)[3]) {
    std::mt19937 rng(1);
    Block b = make_block(l, rgb, 0, rng);
    // Rewrite the samples without noise.
    for (int k = 0; k < 16; ++k) {
        for (int ch = 0; ch < 3; ++ch) {
            const int plane = l.planes == 1 ? 0 : ch, at = l.planes == 1 ? l.pos[ch] : 0;
            uint8_t *p = const_cast<uint8_t *>(b.planes[plane]) + (k / 4) * b.strides[plane] +
                         (k % 4) * pixel_bytes(l) + at * l.sample_bytes;
            const uint32_t v = rgb[k][ch];
            const uint32_t s = l.reduce == Reduce::High8      ? v << 8
                               : l.reduce == Reduce::Low10    ? v << 2
                               : l.reduce == Reduce::Low12    ? v << 4
                               : l.reduce == Reduce::Scaled15 ? v << 7
                                                              : v;
            put(p, l.sample_bytes, s);
        }
    }
    return b;
}

TEST(ClusterGatherAvx, ColoursInOrderOfFirstPixelWithTheirCounts) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    const uint32_t X[3] = {10, 200, 30}, Y[3] = {0, 0, 0}, Z[3] = {255, 255, 255};
    struct Case {
        const char *name;
        uint32_t rgb[16][3];
        uint64_t count;
        std::vector<int32_t> map, counts;
    };
    Case cases[3];
    cases[0].name = "X Y X Z over three rows of Y";
    for (int k = 0; k < 16; ++k) {
        const uint32_t *c = k == 0 || k == 2 ? X : k == 3 ? Z : Y;
        std::memcpy(cases[0].rgb[k], c, sizeof X);
    }
    cases[0].count = 3;
    cases[0].map = {0, 1, 0, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    cases[0].counts = {2, 13, 1};
    cases[1].name = "one colour";
    for (auto &px : cases[1].rgb) { std::memcpy(px, X, sizeof X); }
    cases[1].count = 1;
    cases[1].map.assign(16, 0);
    cases[1].counts = {16};
    cases[2].name = "sixteen colours, a new one last";
    for (int k = 0; k < 16; ++k) {
        cases[2].rgb[k][0] = uint32_t(k * 17);
        cases[2].rgb[k][1] = uint32_t(255 - k);
        cases[2].rgb[k][2] = 7;
        cases[2].map.push_back(k);
        cases[2].counts.push_back(1);
    }
    cases[2].count = 16;
    for (const Layout &l : kLayouts) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << l.name << ": " << c.name);
            const Block b = solid_rows(l, c.rgb);
            const Gathered g = run(cluster_unique_colors_kernel_avx(l.format), b.planes, b.strides);
            ASSERT_EQ(g.count, c.count);
            EXPECT_EQ(std::vector<int32_t>(g.map(), g.map() + 16), c.map);
            EXPECT_EQ(std::vector<int32_t>(g.counts(), g.counts() + c.count), c.counts);
            for (uint64_t i = 0; i < c.count; ++i) {
                const uint32_t *rgb = c.rgb[std::find(c.map.begin(), c.map.end(), int32_t(i)) - c.map.begin()];
                for (int ch = 0; ch < 3; ++ch) { EXPECT_EQ(g.colors[i][ch], float(rgb[ch]) / 255.0f); }
            }
        }
    }
}

// Red samples of one reduced layout: the red float of each (one pixel per value, the
// others black), and whether two samples are one colour.
struct Reduction {
    uint32_t format;
    uint16_t sample;
    float red;
};

TEST(ClusterGatherAvx, SamplesReduceToTheirKeptBits) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    const Reduction cases[] = {
        {DXTENC_PIX_ARGB16_SCALED, 0x8000, 1.0f},
        {DXTENC_PIX_ARGB16_SCALED, 0x8001, 1.0f},
        {DXTENC_PIX_ARGB16_SCALED, 0xFFFF, 1.0f},
        {DXTENC_PIX_ARGB16_SCALED, 0x7F80, 1.0f},
        {DXTENC_PIX_ARGB16_SCALED, 0x7F7F, 254.0f / 255},
        {DXTENC_PIX_ARGB16_SCALED, 0x0080, 1.0f / 255},
        {DXTENC_PIX_ARGB16_SCALED, 0x007F, 0.0f},
        {DXTENC_PIX_PLANAR_RGB16, 0x1200, 18.0f / 255},
        {DXTENC_PIX_PLANAR_RGB16, 0x12FF, 18.0f / 255},
        {DXTENC_PIX_ARGB16, 0x12FF, 18.0f / 255},
        {DXTENC_PIX_RGBA16, 0xFF00, 1.0f},
        {DXTENC_PIX_PLANAR_RGB10, 0x3FC, 1.0f},
        {DXTENC_PIX_PLANAR_RGB10, 0x3FF, 1.0f},
        {DXTENC_PIX_PLANAR_RGB10, 0xFC07, 1.0f / 255},
        {DXTENC_PIX_PLANAR_RGB12, 0x0FFF, 1.0f},
        {DXTENC_PIX_PLANAR_RGB12, 0xF01F, 1.0f / 255},
        {DXTENC_PIX_PLANAR_RGB12, 0x0800, 128.0f / 255},
    };
    for (const Reduction &c : cases) {
        const Layout &l = *std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                        [&](const Layout &x) { return x.format == c.format; });
        SCOPED_TRACE(testing::Message() << l.name << " sample 0x" << std::hex << c.sample);
        const uint32_t black[16][3] = {};
        Block b = solid_rows(l, black);
        put(const_cast<uint8_t *>(b.planes[0]) + l.pos[0] * l.sample_bytes, l.sample_bytes, c.sample);
        const Gathered g = run(cluster_unique_colors_kernel_avx(l.format), b.planes, b.strides);
        const bool black_red = c.red == 0.0f;
        ASSERT_EQ(g.count, black_red ? 1u : 2u);
        EXPECT_EQ(bits(g.colors[0][0]), bits(c.red));
        EXPECT_EQ(g.colors[0][1], 0.0f);
    }
    // Samples differing only in dropped bits, or in bits above a 10- or 12-bit sample, are
    // one colour.
    const struct {
        uint32_t format;
        uint16_t a, b;
    } same[] = {{DXTENC_PIX_PLANAR_RGB16, 0x1200, 0x12FF},  {DXTENC_PIX_PLANAR_RGB10, 0x3FC, 0x3FF},
                {DXTENC_PIX_PLANAR_RGB10, 0x0123, 0xFD23},  {DXTENC_PIX_PLANAR_RGB12, 0x0ABC, 0xFABF},
                {DXTENC_PIX_ARGB16_SCALED, 0x8000, 0x7F80}, {DXTENC_PIX_ARGB16, 0x4400, 0x44FF}};
    for (const auto &c : same) {
        const Layout &l = *std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                        [&](const Layout &x) { return x.format == c.format; });
        SCOPED_TRACE(testing::Message() << l.name << " 0x" << std::hex << c.a << " and 0x" << c.b);
        const uint32_t black[16][3] = {};
        Block b = solid_rows(l, black);
        for (int k = 0; k < 16; ++k) {
            uint8_t *p = const_cast<uint8_t *>(b.planes[1 % l.planes]) + (k / 4) * b.strides[1 % l.planes] +
                         (k % 4) * pixel_bytes(l) + (l.planes == 1 ? l.pos[1] : 0) * l.sample_bytes;
            put(p, l.sample_bytes, k % 3 ? c.a : c.b);  // green
        }
        const Gathered g = run(cluster_unique_colors_kernel_avx(l.format), b.planes, b.strides);
        EXPECT_EQ(g.count, 1u);
        EXPECT_EQ(g.counts()[0], 16);
    }
}

// Bytes with inaccessible pages right before and right after them.
class Guarded {
public:
    // at_end: the bytes end at a page end, otherwise they start at a page start.
    Guarded(size_t size, bool at_end) {
        page_ = size_t(sysconf(_SC_PAGESIZE));
        const size_t body = (size + page_ - 1) / page_ * page_;
        length_ = body + 2 * page_;
        base_ = static_cast<uint8_t *>(mmap(nullptr, length_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED) {
            base_ = nullptr;
            return;
        }
        mprotect(base_ + page_, body, PROT_READ | PROT_WRITE);
        data_ = at_end ? base_ + page_ + body - size : base_ + page_;
    }
    ~Guarded() {
        if (base_) { munmap(base_, length_); }
    }
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;
    uint8_t *data() const { return data_; }

private:
    size_t page_ = 0, length_ = 0;
    uint8_t *base_ = nullptr, *data_ = nullptr;
};

TEST(ClusterGatherAvx, BlocksAtTheFrameEdgesReadOnlyTheFrame) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    constexpr int kWidth = 8, kHeight = 4;
    std::mt19937 rng(2703);
    for (const Layout &l : kLayouts) {
        for (bool at_end : {true, false}) {
            SCOPED_TRACE(testing::Message() << l.name << (at_end ? ": last block" : ": first block"));
            // Exactly sized planes; the block is the last one (frame end) or the first one
            // (frame start, which bottom-up rows reach last).
            const int64_t stride = int64_t(kWidth) * pixel_bytes(l);
            const size_t size = size_t(stride * kHeight);
            std::vector<std::unique_ptr<Guarded>> planes;
            const uint8_t *ptr[3] = {};
            int64_t strides[3] = {};
            const bool bottom_up = l.format == DXTENC_PIX_BGRA8_BOTTOM_UP;
            for (int p = 0; p < (l.planes == 1 ? 1 : 3); ++p) {
                planes.push_back(std::make_unique<Guarded>(size, at_end));
                uint8_t *d = planes.back()->data();
                ASSERT_NE(d, nullptr);
                for (size_t i = 0; i < size; ++i) { d[i] = uint8_t(rng() & 0x3F); }
                const int64_t x = at_end ? (kWidth - 4) * pixel_bytes(l) : 0;
                ptr[p] = d + x + (bottom_up ? 3 * stride : 0);
                strides[p] = bottom_up ? -stride : stride;
            }
            for (int p = 1; p < 3; ++p) {
                if (!ptr[p]) { ptr[p] = ptr[0]; }
            }
            const Gathered a = run(cluster_unique_colors_kernel_avx(l.format), ptr, strides);
            expect_same(a, run(cluster_unique_colors_kernel(l.format), ptr, strides));
        }
    }
}

TEST(ClusterGatherAvx, LayoutsWithoutAMemberHaveNone) {
    for (uint32_t format : {uint32_t(DXTENC_PIX_ARGB32F), 16u, 0xFFFFFFFFu}) {
        EXPECT_EQ(cluster_unique_colors_kernel_avx(format), nullptr);
    }
}

}  // namespace
