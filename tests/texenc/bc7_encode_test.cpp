// BC7 encoder: solid-block bytes, single-colour tables and cells, partition estimate,
// modes used, the per-block entry points and concurrent first use.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "texenc/ops/bc7_format.h"
#include "texenc/bc7enc/bc7enc.h"
#include "texenc/ops/dxtenc_ops.h"

namespace {

using Block = std::vector<uint8_t>;

Block encode_pixels(const uint8_t (*px)[4], uint32_t level, uint32_t limit) {
    bc7enc_build_tables();
    Block b(16);
    bc7enc_encode_pixels(b.data(), px, level, limit);
    return b;
}

uint32_t mode_of(const Block &b) {
    for (uint32_t m = 0; m < 8; m++)
        if (b[0] & (1u << m)) return m;
    return 8;
}

// Reads `n` bits at `ofs` of a block, least significant first.
uint32_t bits_at(const Block &b, uint32_t ofs, uint32_t n) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; i++) v |= uint32_t((b[(ofs + i) >> 3] >> ((ofs + i) & 7)) & 1) << i;
    return v;
}

void random_block(std::mt19937 &rng, uint8_t (*px)[4], bool opaque) {
    // Two colours mixed with noise: neither trivial nor pure noise.
    uint8_t a[4], b[4];
    for (int c = 0; c < 4; c++) {
        a[c] = uint8_t(rng());
        b[c] = uint8_t(rng());
    }
    for (int i = 0; i < 16; i++) {
        const int t = int(rng() % 5);
        for (int c = 0; c < 4; c++) {
            const int v = (a[c] * (4 - t) + b[c] * t) / 4 + int(rng() % 9) - 4;
            px[i][c] = uint8_t(std::clamp(v, 0, 255));
        }
        if (opaque) px[i][3] = 255;
    }
}

TEST(Bc7Encode, SolidBlocksAreWrittenDirectlyInMode5) {
    struct Case {
        uint8_t rgba[4];
        uint8_t bytes[16];
    };
    const Case cases[] = {
        // Every channel exact in 7 bits: end point 0 = c >> 1, end point 1 = 0, indices 0.
        {{0, 126, 129, 255}, {0x20, 0x00, 0xC0, 0x0F, 0x00, 0x04, 0xFC, 0x03, 0, 0, 0, 0, 0, 0, 0, 0}},
        // 128 needs end points 63 and 66 with every colour index 1.
        {{128, 128, 128, 255},
         {0x20, 0x3F, 0xE1, 0x4F, 0xF8, 0x13, 0xFE, 0x03, 0xAC, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0x00, 0x00}},
        // Fully transparent black: alpha end point 0.
        {{0, 0, 0, 0}, {0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>(c.rgba, c.rgba + 4)));
        uint8_t px[16][4];
        for (auto &p : px) std::memcpy(p, c.rgba, 4);
        for (uint32_t q = 0; q < 3; q++) {
            const uint32_t level[3] = {0, 1, 4}, limit[3] = {4, 16, 64};
            EXPECT_EQ(encode_pixels(px, level[q], limit[q]), Block(c.bytes, c.bytes + 16)) << "quality " << q + 1;
        }
    }
}

TEST(Bc7Encode, SingleColourTablesHoldHandCheckedEntries) {
    bc7enc_build_tables();
    struct Entry {
        int table, value, p, err, lo, hi;
    };
    // Mode 1 (weight 18 of 7-bit values 2v + p): 255 with p 0 reaches at best 253 (error 4);
    // 1 with p 0 is (18 * 4 + 32) >> 6 = 1 from (0, 1). Mode 7 (weight 21 of 6-bit values):
    // with both p-bits 1 the smallest value is 4 (error 16 for 0); 255 needs (31, 31).
    const Entry entries[] = {
        {1, 0, 0, 0, 0, 0},     {1, 0, 1, 4, 0, 0}, {1, 1, 0, 0, 0, 1},  {1, 1, 1, 1, 0, 0},     {1, 255, 0, 4, 63, 63},
        {1, 255, 1, 0, 63, 63}, {7, 0, 0, 0, 0, 0}, {7, 0, 3, 16, 0, 0}, {7, 255, 3, 0, 31, 31},
    };
    for (const Entry &e : entries) {
        SCOPED_TRACE(::testing::Message() << "mode " << e.table << " value " << e.value << " p " << e.p);
        const Bc7OptimalEndpoint &t =
            e.table == 1 ? g_bc7_mode_1_optimal_endpoints[e.value][e.p] : g_bc7_mode_7_optimal_endpoints[e.value][e.p];
        EXPECT_EQ(t.m_err, e.err);
        EXPECT_EQ(t.m_lo, e.lo);
        EXPECT_EQ(t.m_hi, e.hi);
    }
    // With the better of its two p-bits, mode 1 reproduces every value exactly.
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(std::min(g_bc7_mode_1_optimal_endpoints[c][0].m_err, g_bc7_mode_1_optimal_endpoints[c][1].m_err), 0)
            << c;
}

TEST(Bc7Encode, OneColourCellsUseTheTablesInModes1And7) {
    bc7enc_build_tables();
    struct Case {
        uint32_t mode;
        uint32_t pixels;
        uint8_t rgba[4];
        uint8_t want_index;
    };
    const Case cases[] = {{1, 1, {10, 200, 77, 255}, 2},
                          {1, 6, {255, 0, 128, 255}, 2},
                          {7, 1, {10, 200, 77, 90}, 1},
                          {7, 8, {1, 2, 3, 4}, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " pixels " << c.pixels);
        uint8_t px[16][4];
        for (auto &p : px) std::memcpy(p, c.rgba, 4);
        Bc7CellParams cell;
        cell.m_num_pixels = c.pixels;
        cell.m_pixels = px;
        cell.m_num_weights = c.mode == 1 ? 8 : 4;
        cell.m_weight_table = c.mode == 1 ? bc7fmt::kWeights3 : bc7fmt::kWeights2;
        cell.m_weight_terms = c.mode == 1 ? g_bc7_weight_terms3 : g_bc7_weight_terms2;
        cell.m_endpoint_bits = c.mode == 1 ? 6 : 5;
        cell.m_has_alpha = c.mode == 7;
        cell.m_has_pbits = true;
        cell.m_shared_pbit = c.mode == 1;
        uint8_t sel[16], tmp[16];
        std::memset(sel, 0xEE, sizeof sel);
        Bc7CellResults res;
        res.m_selectors = sel;
        res.m_selectors_temp = tmp;
        Bc7EncodeParams params;
        params.m_level = 4;
        const uint64_t err = color_cell_compression(c.mode, &cell, &res, &params);
        EXPECT_EQ(err, res.m_best_overall_err);
        for (uint32_t i = 0; i < c.pixels; i++) EXPECT_EQ(sel[i], c.want_index) << "pixel " << i;
        // The table end points decode to the colour within the table error.
        const uint32_t nc = c.mode == 1 ? 3 : 4;
        for (uint32_t ch = 0; ch < nc; ch++) {
            const uint32_t pl = res.m_pbits[0], ph = c.mode == 1 ? res.m_pbits[0] : res.m_pbits[1];
            const uint32_t bits = c.mode == 1 ? 7 : 6;
            const uint32_t lo8 = scale_color((res.m_low[ch] << 1) | pl, bits);
            const uint32_t hi8 = scale_color((res.m_high[ch] << 1) | ph, bits);
            const uint32_t w = c.mode == 1 ? 18 : 21;
            const int v = int(((64 - w) * lo8 + w * hi8 + 32) >> 6);
            EXPECT_LE(std::abs(v - c.rgba[ch]), 2) << "channel " << ch;
        }
    }
}

TEST(Bc7Encode, PartitionEstimateTriesOnlyTheAllowedCandidates) {
    bc7enc_build_tables();
    // Rows 0-2 red and black, row 3 green: only partition 15 leaves two colours per subset
    // (error 0), but it is the fifth candidate, beyond the four of quality 1 (0, 13, 1, 2).
    uint8_t px[16][4];
    for (int i = 0; i < 16; i++) {
        px[i][0] = i < 12 && i % 2 ? 255 : 0;
        px[i][1] = i >= 12 ? 255 : 0;
        px[i][2] = 0;
        px[i][3] = 255;
    }
    for (uint32_t mode : {1u, 7u}) {
        SCOPED_TRACE(mode);
        Bc7EncodeParams p;
        p.m_partition_limit = 16;
        EXPECT_EQ(bc7_estimate_partition(px, &p, p.m_weights, mode), 15u);
        p.m_partition_limit = 1;
        EXPECT_EQ(bc7_estimate_partition(px, &p, p.m_weights, mode), 0u);
        p.m_partition_limit = 4;
        const uint32_t q1 = bc7_estimate_partition(px, &p, p.m_weights, mode);
        EXPECT_TRUE(q1 == 0 || q1 == 13 || q1 == 1 || q1 == 2) << q1;
    }
    // Quality 1 never picks another partition, whatever the block.
    std::mt19937 rng(11);
    Bc7EncodeParams p;
    p.m_partition_limit = 4;
    for (int n = 0; n < 300; n++) {
        random_block(rng, px, n % 2 == 0);
        const uint32_t q1 = bc7_estimate_partition(px, &p, p.m_weights, n % 2 ? 7 : 1);
        ASSERT_TRUE(q1 == 0 || q1 == 13 || q1 == 1 || q1 == 2) << q1;
    }
}

TEST(Bc7Encode, ModesAndPartitionsPerQuality) {
    // Opaque blocks: modes 6 and 1 (5 when solid); blocks with alpha: 6, 5 and 7. Never 0, 2, 3, 4.
    // Quality 1 writes mode 1 only with partitions 0, 13, 1 and 2.
    std::mt19937 rng(5);
    const uint32_t level[3] = {0, 1, 4}, limit[3] = {4, 16, 64};
    for (int q = 0; q < 3; q++) {
        SCOPED_TRACE("quality " + std::to_string(q + 1));
        bool seen[8] = {};
        for (int n = 0; n < 400; n++) {
            const bool opaque = n % 2 == 0;
            uint8_t px[16][4];
            random_block(rng, px, opaque);
            const Block b = encode_pixels(px, level[q], limit[q]);
            const uint32_t m = mode_of(b);
            seen[m] = true;
            if (opaque)
                ASSERT_TRUE(m == 6 || m == 1) << "opaque block in mode " << m;
            else
                ASSERT_TRUE(m == 6 || m == 5 || m == 7) << "alpha block in mode " << m;
            if (q == 0 && (m == 1 || m == 7)) {
                const uint32_t part = bits_at(b, m + 1, 6);
                ASSERT_TRUE(part == 0 || part == 13 || part == 1 || part == 2) << "partition " << part;
            }
        }
        EXPECT_TRUE(seen[1] && seen[6] && seen[7]) << "random blocks should exercise modes 1, 6 and 7";
    }
}

TEST(Bc7Encode, AnchorIndicesHaveAClearTopBit) {
    // Mode 6 with pixel 0 at index 15 and mode 1 with anchor 15 of partition 13 at index 7:
    // the packer inverts those subsets, exchanges their end points, and writes the anchor
    // with one bit less.
    Bc7BlockSolution s6;
    s6.m_mode = 6;
    for (int i = 0; i < 16; i++) s6.m_selectors[i] = uint8_t(15 - i);
    const uint8_t lo6[4] = {1, 2, 3, 4}, hi6[4] = {100, 101, 102, 103};
    std::memcpy(s6.m_low[0], lo6, 4);
    std::memcpy(s6.m_high[0], hi6, 4);
    s6.m_pbits[0][0] = 0;
    s6.m_pbits[0][1] = 1;
    Block b6(16);
    encode_bc7_block(b6.data(), &s6);
    EXPECT_EQ(bits_at(b6, 7, 7), 100u);  // R0 now the former high end point
    EXPECT_EQ(bits_at(b6, 14, 7), 1u);   // R1
    EXPECT_EQ(bits_at(b6, 63, 1), 1u);   // p-bits exchanged with their end points
    EXPECT_EQ(bits_at(b6, 64, 1), 0u);
    EXPECT_EQ(bits_at(b6, 65, 3), 0u);    // pixel 0: 15 inverted, 3 bits
    EXPECT_EQ(bits_at(b6, 68, 4), 1u);    // pixel 1: 14 inverted
    EXPECT_EQ(bits_at(b6, 124, 4), 15u);  // pixel 15: 0 inverted

    Bc7BlockSolution s1;
    s1.m_mode = 1;
    s1.m_partition = 13;  // rows 0-1 subset 0, rows 2-3 subset 1 (anchor 15)
    for (int i = 0; i < 16; i++) s1.m_selectors[i] = i < 8 ? 3 : 7;
    s1.m_low[1][0] = 5;
    s1.m_high[1][0] = 60;
    s1.m_pbits[1][0] = s1.m_pbits[1][1] = 1;
    Block b1(16);
    encode_bc7_block(b1.data(), &s1);
    EXPECT_EQ(bits_at(b1, 8, 6), 0u);    // subset 0 untouched (anchor index 3 < 4)
    EXPECT_EQ(bits_at(b1, 20, 6), 60u);  // subset 1 red end points exchanged
    EXPECT_EQ(bits_at(b1, 26, 6), 5u);
    EXPECT_EQ(bits_at(b1, 81, 1), 1u);   // shared p-bit of subset 1 kept
    EXPECT_EQ(bits_at(b1, 82, 2), 3u);   // pixel 0 (anchor, 2 bits)
    EXPECT_EQ(bits_at(b1, 126, 2), 0u);  // pixel 15 (anchor, 2 bits): 7 inverted
}

// A gather over four separate 8-bit planes, enough to drive the per-block entry points.
void planar_gather(uint8_t *rgba, const uint8_t *p0, const uint8_t *p1, const uint8_t *p2, const uint8_t *p3,
                   int64_t s0, int64_t s1, int64_t s2, int64_t s3) {
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            uint8_t *o = rgba + 4 * (4 * y + x);
            o[0] = p0[y * s0 + x];
            o[1] = p1[y * s1 + x];
            o[2] = p2[y * s2 + x];
            o[3] = p3[y * s3 + x];
        }
}

TEST(Bc7Encode, PerBlockEntryPointsGatherThenEncode) {
    std::mt19937 rng(3);
    uint8_t px[16][4];
    random_block(rng, px, false);
    // Planes of 8 columns (stride 8), the block at column 2.
    std::vector<uint8_t> planes(4 * 32, 0);
    for (int c = 0; c < 4; c++)
        for (int i = 0; i < 16; i++) planes[32 * c + 8 * (i / 4) + 2 + i % 4] = px[i][c];
    const uint8_t *ptr[4] = {&planes[2], &planes[34], &planes[66], &planes[98]};
    const int64_t strides[4] = {8, 8, 8, 8};
    DxtEncOps ops;
    std::memset(&ops, 0, sizeof ops);
    ops.bc7_gather = planar_gather;
    bc7enc_build_tables();
    using Fn = void (*)(uint8_t *, const uint8_t *const *, const int64_t *, const DxtEncOps &);
    const Fn fns[3] = {encode_block_bc7_q1, encode_block_bc7_q2, encode_block_bc7_q3};
    const uint32_t level[3] = {0, 1, 4}, limit[3] = {4, 16, 64};
    for (int q = 0; q < 3; q++) {
        Block b(16);
        fns[q](b.data(), ptr, strides, ops);
        EXPECT_EQ(b, encode_pixels(px, level[q], limit[q])) << "quality " << q + 1;
    }
}

TEST(Bc7Encode, FirstUseFromManyThreadsGivesTheSameBlocks) {
    // Every thread asks for the tables and encodes at once; the tables are built once and
    // never rewritten under a running encoder, so every thread writes the same bytes.
    std::mt19937 rng(9);
    std::vector<std::array<std::array<uint8_t, 4>, 16>> blocks(64);
    for (auto &b : blocks) random_block(rng, reinterpret_cast<uint8_t(*)[4]>(b.data()), false);
    auto run = [&](std::vector<uint8_t> &out) {
        out.resize(blocks.size() * 16);
        for (size_t k = 0; k < blocks.size(); k++) {
            bc7enc_build_tables();
            bc7enc_encode_pixels(&out[16 * k], reinterpret_cast<const uint8_t(*)[4]>(blocks[k].data()), 1, 16);
        }
    };
    std::vector<std::vector<uint8_t>> outs(8);
    std::vector<std::thread> threads;
    for (auto &o : outs) threads.emplace_back(run, std::ref(o));
    for (auto &t : threads) t.join();
    for (size_t t = 1; t < outs.size(); t++) EXPECT_EQ(outs[t], outs[0]) << "thread " << t;
}

}  // namespace
