// HAP Q (scaled YCoCg-DXT5) blocks: fixed blocks, solid luma and chroma, the chroma scale,
// layouts that must agree, and the faster tiers against the baseline.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/cpu.h"
#include "testutil/testutil.h"
#include "texenc/dxtenc.h"
#include "texenc/ycocg.h"
#include "texenc/ycocg_test_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One pixel in the sample units of a layout: bytes, 16-bit words or floats.
struct Px {
    double r, g, b, a;
};

// A 4x4 block of one layout, with its planes and strides.
struct Block {
    std::vector<uint8_t> mem[4];
    const uint8_t *planes[4] = {};
    int64_t strides[4] = {};
};

template <typename T>
void put(std::vector<uint8_t> &m, size_t at, double v) {
    const T t = T(v);
    std::memcpy(&m[at * sizeof(T)], &t, sizeof(T));
}

Block make_block(uint32_t layout, const Px *px) {
    Block b;
    const bool planar = layout >= 10;
    const int size = layout == 7 ? 4 : (layout >= 4 && layout <= 6) || layout >= 12 ? 2 : 1;
    const int per_px = planar ? 1 : layout >= 8 ? 3 : 4;
    for (int k = 0; k < (planar ? 4 : 1); k++) {
        b.mem[k].assign(16 * per_px * size, 0);
        b.planes[k] = b.mem[k].data();
        b.strides[k] = 4 * per_px * size;
    }
    for (int i = 0; i < 16; i++) {
        const Px &p = px[i];
        double v[4];
        size_t at = size_t(i) * per_px;
        switch (layout) {
        case 0:
        case 4:
        case 5:
        case 7: v[0] = p.a, v[1] = p.r, v[2] = p.g, v[3] = p.b; break;
        case 1:
        case 2: v[0] = p.b, v[1] = p.g, v[2] = p.r, v[3] = p.a; break;
        case 8: v[0] = p.r, v[1] = p.g, v[2] = p.b; break;
        case 9: v[0] = p.b, v[1] = p.g, v[2] = p.r; break;
        default: v[0] = p.r, v[1] = p.g, v[2] = p.b, v[3] = p.a; break;
        }
        for (int c = 0; c < per_px; c++) {
            std::vector<uint8_t> &m = b.mem[planar ? 0 : 0];
            (void)m;
            if (size == 1)
                b.mem[0][at + c] = uint8_t(v[c]);
            else if (size == 2)
                put<uint16_t>(b.mem[0], at + c, v[c]);
            else
                put<float>(b.mem[0], at + c, v[c]);
        }
        if (planar) {
            for (int k = 0; k < 4; k++) {
                if (size == 1)
                    b.mem[k][i] = uint8_t(v[k]);
                else
                    put<uint16_t>(b.mem[k], i, v[k]);
            }
        }
    }
    return b;
}

// Encodes one block through the table that dxtenc_init sets up.
std::vector<uint8_t> encode_block(uint32_t layout, int quality, uint32_t isa, const Px *px) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    EXPECT_EQ(dxtenc_init(&ctx, 4, 4, 4, uint8_t(quality), 1, layout, 0, 1, isa), 0);
    Block b = make_block(layout, px);
    std::vector<uint8_t> out(16, 0xCD);
    ctx.ops.encode_block_tex1(out.data(), b.planes, b.strides, ctx.ops);
    return out;
}

std::string hex(const std::vector<uint8_t> &v) {
    std::string s;
    char buf[4];
    for (uint8_t c : v) snprintf(buf, sizeof buf, "%02X ", c), s += buf;
    return s;
}

uint16_t colour(const std::vector<uint8_t> &blk, int k) { return uint16_t(blk[8 + 2 * k] | blk[9 + 2 * k] << 8); }
uint32_t index_word(const std::vector<uint8_t> &blk) {
    uint32_t w;
    std::memcpy(&w, &blk[12], 4);
    return w;
}

const uint32_t kIsas[] = {0x00, 0xF8};

TEST(YcocgBlocks, BlackBlocksAreFixedWhateverAlphaAndTier) {
    const std::vector<uint8_t> q1 = {0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x84, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> q23 = {0, 0, 0, 0, 0, 0, 0, 0, 0x23, 0x08, 0xE3, 0xBD, 0xFF, 0xFF, 0xFF, 0xFF};
    struct Case {
        const char *name;
        uint32_t layout;
        Px px;
    };
    const Case cases[] = {
        {"RGBA8 alpha 200", 3, {0, 0, 0, 200}},
        {"ARGB8 alpha 0", 0, {0, 0, 0, 0}},
        {"RGB8", 8, {0, 0, 0, 0}},
        {"ARGB16", 4, {0, 0, 0, 65535}},
        {"planar 10-bit below 4", 12, {3, 2, 1, 0}},
        {"planar 12-bit below 16", 13, {15, 0, 9, 0}},
        {"floats zero and negative", 7, {-0.5, 0, -3, 1}},
        {"planar RGBA16", 14, {0, 0, 0, 123}},
    };
    for (const Case &c : cases) {
        Px px[16];
        for (Px &p : px) p = c.px;
        for (int q = 1; q <= 3; q++)
            for (uint32_t isa : kIsas) {
                SCOPED_TRACE(testing::Message() << c.name << " q" << q << " isa 0x" << std::hex << isa);
                EXPECT_EQ(hex(encode_block(c.layout, q, isa, px)), hex(q == 1 ? q1 : q23));
            }
    }
    // One channel of one pixel set is enough to leave the fixed path.
    Px px[16];
    for (Px &p : px) p = {0, 0, 0, 255};
    px[9].b = 1;
    EXPECT_NE(hex(encode_block(3, 1, 0, px)), hex(q1));
    EXPECT_NE(hex(encode_block(3, 2, 0, px)), hex(q23));
}

TEST(YcocgBlocks, NeutralGreyTakesScaleFourAndOneIndex) {
    for (int grey : {1, 77, 128, 200, 254}) {
        for (uint32_t layout : {3u, 9u, 11u}) {
            Px px[16];
            for (Px &p : px) p = {double(grey), double(grey), double(grey), 255};
            for (int q = 1; q <= 3; q++)
                for (uint32_t isa : kIsas) {
                    SCOPED_TRACE(testing::Message() << "grey " << grey << " layout " << layout << " q" << q << " isa 0x"
                                                    << std::hex << isa);
                    const std::vector<uint8_t> blk = encode_block(layout, q, isa, px);
                    // Solid luma: the luma byte then seven zero bytes; the +2 of the transform
                    // puts it half a step above the grey.
                    EXPECT_NEAR(blk[0], grey + 0.5, 0.5);
                    for (int i = 1; i < 8; i++) EXPECT_EQ(blk[i], 0) << i;
                    EXPECT_EQ(colour(blk, 0) & 31, 3);
                    EXPECT_EQ(colour(blk, 1) & 31, 3);
                    EXPECT_EQ(index_word(blk) % 0x55555555u, 0u) << std::hex << index_word(blk);
                }
        }
    }
}

TEST(YcocgBlocks, LayoutsWithTheSameColoursGiveTheSameBlock) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20; trial++) {
        Px base[16];
        // Narrow or wide chroma in turn, so that every scale is met.
        const int spread = trial % 3 == 0 ? 12 : trial % 3 == 1 ? 60 : 255;
        const int mid = int(rng() % (256 - spread));
        for (Px &p : base)
            p = {double(mid + rng() % spread), double(mid + rng() % spread), double(mid + rng() % spread), 0};
        auto with = [&](auto f) {
            Px px[16];
            for (int i = 0; i < 16; i++) px[i] = f(base[i], i);
            return std::vector<Px>(px, px + 16);
        };
        const std::vector<Px> bytes = with([&](Px p, int i) { return Px{p.r, p.g, p.b, double((i * 37) & 255)}; });
        const std::vector<Px> ten = with([](Px p, int) { return Px{p.r * 4 + 3, p.g * 4 + 1, p.b * 4 + 2, 0}; });
        const std::vector<Px> twelve = with([](Px p, int) { return Px{p.r * 16 + 15, p.g * 16, p.b * 16 + 8, 0}; });
        const std::vector<Px> words = with([](Px p, int i) {
            return Px{p.r * 250 + i, p.g * 251, p.b * 249 + 3, double(i * 999)};
        });
        for (int q = 1; q <= 3; q++)
            for (uint32_t isa : kIsas) {
                SCOPED_TRACE(testing::Message() << "trial " << trial << " q" << q << " isa 0x" << std::hex << isa);
                const std::string ref = hex(encode_block(3, q, isa, bytes.data()));
                for (uint32_t layout : {0u, 1u, 2u, 8u, 9u, 10u, 11u}) {
                    EXPECT_EQ(hex(encode_block(layout, q, isa, bytes.data())), ref) << "layout " << layout;
                }
                EXPECT_EQ(hex(encode_block(12, q, isa, ten.data())), ref);
                EXPECT_EQ(hex(encode_block(13, q, isa, twelve.data())), ref);
                const std::string w = hex(encode_block(4, q, isa, words.data()));
                for (uint32_t layout : {6u, 14u, 15u}) {
                    EXPECT_EQ(hex(encode_block(layout, q, isa, words.data())), w) << "layout " << layout;
                }
            }
    }
}

TEST(YcocgBlocks, WhiteIsTheSameAtEveryDepth) {
    struct Case {
        uint32_t layout;
        double full;
    };
    // 16-bit full scale lies at 257 on the 8-bit scale and clamps like 255.
    const Case cases[] = {{3, 255}, {4, 65535}, {6, 65535}, {15, 65535}, {5, 32768}, {7, 1.0}, {7, 7.5}, {13, 4095}};
    for (int q = 1; q <= 3; q++) {
        std::string ref;
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << "layout " << c.layout << " q" << q);
            Px px[16];
            for (Px &p : px) p = {c.full, c.full, c.full, c.full};
            const std::string got = hex(encode_block(c.layout, q, 0, px));
            if (ref.empty()) ref = got;
            EXPECT_EQ(got, ref);
        }
    }
}

TEST(YcocgBlocks, SolidLumaAndChroma) {
    // Luma varying by a quarter step: solid at qualities 2 and 3 (equal bytes), not at 1
    // (float equality).
    Px px[16];
    for (int i = 0; i < 16; i++) px[i] = {100.0 + (i & 1), 100, 100, 255};
    for (int q = 1; q <= 3; q++) {
        SCOPED_TRACE(q);
        const std::vector<uint8_t> blk = encode_block(3, q, 0, px);
        bool rest_zero = true;
        for (int i = 1; i < 8; i++) rest_zero &= blk[i] == 0;
        EXPECT_EQ(rest_zero, q != 1) << hex(blk);
        if (q == 1) {
            EXPECT_NE(blk[0], blk[1]);  // eight-value luma
        }
    }
    // Constant chroma, varying luma: at quality 1 one colour index for every pixel.
    for (int i = 0; i < 16; i++) {
        const double v = 40.0 + 10 * i;
        px[i] = {v + 20, v, v - 16, 255};
    }
    for (int q = 1; q <= 3; q++) {
        SCOPED_TRACE(q);
        for (uint32_t isa : kIsas) {
            const std::vector<uint8_t> blk = encode_block(3, q, isa, px);
            EXPECT_EQ(index_word(blk) % 0x55555555u, 0u) << hex(blk);
        }
    }
}

TEST(YcocgBlocks, ChromaScaleFollowsTheWidestBoxValue) {
    // One pixel carries the chroma (Co = 128 + (R - B) / 2 + 0.5), the rest neutral:
    // the scale changes at 32/255 and 64/255 from zero chroma (half a step either side).
    struct Case {
        int r_minus_b;
        int scale;
    };
    const Case cases[] = {{0, 4}, {62, 4}, {64, 2}, {126, 2}, {128, 1}, {-63, 4}, {-66, 2}, {-128, 2}, {-130, 1}};
    for (const Case &c : cases) {
        Px px[16];
        for (Px &p : px) p = {100, 100, 100, 255};
        const int r = c.r_minus_b > 0 ? 130 : 60, b = r - c.r_minus_b;
        px[5] = {double(r), (r + b) / 2.0, double(b), 255};
        px[5].g = std::floor(px[5].g);
        for (int q = 1; q <= 3; q++)
            for (uint32_t isa : kIsas) {
                SCOPED_TRACE(testing::Message() << "R-B " << c.r_minus_b << " q" << q << " isa 0x" << std::hex << isa);
                const std::vector<uint8_t> blk = encode_block(3, q, isa, px);
                EXPECT_EQ((colour(blk, 0) & 31) + 1, c.scale);
                EXPECT_EQ((colour(blk, 1) & 31) + 1, c.scale);
            }
    }
}

// ---------------------------------------------------------------------------------------
// Faster tiers.

bool have_avx() { return cpu_features().avx; }
bool have_avx2_fma() { return cpu_features().avx2 && cpu_features().fma; }

TEST(YcocgTiers, ConversionMatchesBaseline) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    std::mt19937 rng(11);
    const bool avx2 = cpu_features().avx2;
    for (uint32_t layout = 0; layout < 16; layout++) {
        if (layout == 7) continue;
        const bool planar = layout >= 10;
        const bool wide = layout == 4 || layout == 6 || layout == 14 || layout == 15;
        const double top = layout == 5           ? 32768
                           : layout == 12        ? 1023
                           : layout == 13        ? 4095
                           : wide || layout == 4 ? 65535
                                                 : 255;
        for (int trial = 0; trial < 50; trial++) {
            Px px[16];
            for (Px &p : px)
                p = {double(rng() % (uint32_t(top) + 1)), double(rng() % (uint32_t(top) + 1)),
                     double(rng() % (uint32_t(top) + 1)), double(rng() % 256)};
            Block b = make_block(layout, px);
            for (int tier = 0; tier < (avx2 ? 2 : 1); tier++) {
                SCOPED_TRACE(testing::Message() << "layout " << layout << " trial " << trial << " tier " << tier);
                DxtEncYcocgBlock ref, got;
                uint64_t black_ref = 7, black_got = 7;
                std::memset(&ref, 0, sizeof ref);
                std::memset(&got, 0, sizeof got);
                if (planar) {
                    ycocg_to_ycocg_planar_sse41[layout](&ref, b.planes[0], b.planes[1], b.planes[2], b.strides[0],
                                                        b.strides[1], b.strides[2], &black_ref);
                    (tier ? ycocg_to_ycocg_planar_avx2 : ycocg_to_ycocg_planar_avx)[layout](
                        &got, b.planes[0], b.planes[1], b.planes[2], b.strides[0], b.strides[1], b.strides[2],
                        &black_got);
                } else {
                    ycocg_to_ycocg_sse41[layout](&ref, b.planes[0], b.strides[0], &black_ref);
                    (tier ? ycocg_to_ycocg_avx2 : ycocg_to_ycocg_avx)[layout](&got, b.planes[0], b.strides[0],
                                                                              &black_got);
                }
                ASSERT_EQ(black_ref, black_got);
                for (int i = 0; i < 16; i++) {
                    ASSERT_EQ(ref.y[i], got.y[i]) << i;
                    ASSERT_EQ(ref.cg[i], got.cg[i]) << i;
                    // Co of 16-bit sources is rounded once more at the faster tiers.
                    if (wide)
                        ASSERT_LE(std::fabs(ref.co[i] - got.co[i]), std::nextafter(ref.co[i], 2.0f) - ref.co[i]);
                    else
                        ASSERT_EQ(ref.co[i], got.co[i]) << i;
                }
                if (!wide) {
                    EXPECT_EQ(0, std::memcmp(ref.box, got.box, sizeof ref.box));
                    EXPECT_EQ(ref.y_min, got.y_min);
                    EXPECT_EQ(ref.y_max, got.y_max);
                }
            }
        }
    }
    // The documented 16-bit pixel: Co one unit in the last place above the baseline's.
    Px px[16];
    for (Px &p : px) p = {32844, 1000, 418, 0};
    Block b = make_block(4, px);
    DxtEncYcocgBlock ref, got;
    uint64_t black = 0;
    ycocg_to_ycocg_sse41[4](&ref, b.planes[0], b.strides[0], &black);
    ycocg_to_ycocg_avx[4](&got, b.planes[0], b.strides[0], &black);
    EXPECT_EQ(ref.co[0], 0.75325638f);
    EXPECT_EQ(got.co[0], 0.75325644f);
    EXPECT_EQ(ref.y[0], got.y[0]);
    EXPECT_EQ(ref.cg[0], got.cg[0]);
}

TEST(YcocgTiers, QuantiserDiffersOnlyAtTheDocumentedCgValue) {
    if (!have_avx2_fma()) GTEST_SKIP() << "no AVX2 with FMA";
    // Cg end point exactly the largest float below 1/126: 1 at AVX2+FMA, 0 at the baseline.
    const float target = std::nextafter(1.0f / 126.0f, 0.0f);
    float box[4] = {0.5f, 0.0f, 0.5f, 0.0f};
    float cg = target + ycocg::kHalfStep;
    bool found = false;
    for (int step = 0; step < 64 && !found; step++) {
        if (cg - ycocg::kHalfStep == target)
            found = true;
        else
            cg = std::nextafter(cg, step % 2 ? 1.0f : 0.0f);
    }
    ASSERT_TRUE(found);
    box[1] = box[3] = cg;
    int32_t ref[4], got[4];
    ycocg_quantize_sse41[0](box, ref);
    ycocg_quantize_avx2[0](box, got);
    EXPECT_EQ(ref[1], 0);
    EXPECT_EQ(got[1], 1);
    EXPECT_EQ(ref[0], got[0]);
    EXPECT_EQ(ref[2], got[2]);
    EXPECT_EQ(ref[3], got[3]);
    // Elsewhere the members agree, over the whole range and past both ends.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-0.1f, 1.1f);
    for (int i = 0; i < 20000; i++) {
        float bx[4] = {u(rng), u(rng), u(rng), u(rng)};
        for (int k = 0; k < 3; k++) {
            int32_t a[4], b2[4], c[4], d[4];
            ycocg_quantize_sse41[k](bx, a);
            ycocg_quantize_avx2[k](bx, b2);
            ycocg_inset_quantize_sse41[k](bx, c);
            ycocg_inset_quantize_avx2[k](bx, d);
            ASSERT_EQ(0, std::memcmp(a, b2, sizeof a)) << i;
            ASSERT_EQ(0, std::memcmp(c, d, sizeof c)) << i;
        }
    }
}

TEST(YcocgTiers, IndicesAndFramesMatchBaseline) {
    if (!have_avx()) GTEST_SKIP() << "no AVX";
    // The index kernel is exact at AVX2 and leaves the upper half of its slot alone.
    if (have_avx2_fma()) {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> u(0.0f, 0.1f);
        for (int t = 0; t < 2000; t++) {
            alignas(32) float d[64];
            for (float &x : d) x = t % 2 ? u(rng) : float(rng() % 4);  // ties too
            uint64_t a = 0xAAAAAAAA00000000u, b = 0x1234567800000000u;
            ycocg_color_indices_sse41(d, &a);
            ycocg_color_indices_avx2(d, &b);
            ASSERT_EQ(a >> 32, 0u);
            ASSERT_EQ(uint32_t(a), uint32_t(b));
            ASSERT_EQ(b >> 32, 0x12345678u);
        }
    }
    // Whole pictures: the tiers differ from the baseline only on near ties (a luma at a
    // threshold, candidates whose errors differ by a rounding), so few blocks differ and
    // the picture decodes as well as the baseline's.
    const uint32_t w = 320, h = 192;
    const Bytes rgba = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(testutil::testdata_photo("rocket.jpg")),
                                                  "rgba", "scale=" + std::to_string(w) + ":" + std::to_string(h));
    ASSERT_EQ(rgba.size(), size_t(w) * h * 4);
    std::vector<uint32_t> isas = {0x28};
    if (cpu_features().avx2) isas.push_back(0xA8);
    if (have_avx2_fma()) isas.push_back(0xF8);
    auto encode = [&](int q, uint32_t isa) {
        DxtEncContext ctx;
        std::memset(&ctx, 0, sizeof(ctx));
        EXPECT_EQ(dxtenc_init(&ctx, w, h, 4, uint8_t(q), 1, DXTENC_PIX_RGBA8, 0, 4, isa), 0);
        Bytes out(dxtenc_encoded_size(w, h, 4, 0));
        const uint8_t *planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
        const int64_t strides[4] = {int64_t(w) * 4, 0, 0, 0};
        dxtenc_encode_frame(&ctx, out.data(), planes, strides);
        return out;
    };
    const size_t n = size_t(w) * h;
    for (int q = 1; q <= 3; q++) {
        const Bytes ref = encode(q, 0);
        const Bytes ref_dec = ycocg_test::decode_ycocg(ref.data(), w, h);
        const double ref_psnr = testutil::psnr8(rgba.data(), ref_dec.data(), n, 4, 3);
        for (uint32_t isa : isas) {
            SCOPED_TRACE(testing::Message() << "q" << q << " isa 0x" << std::hex << isa);
            const Bytes got = encode(q, isa);
            size_t differing = 0;
            for (size_t i = 0; i < ref.size(); i += 16) differing += std::memcmp(&ref[i], &got[i], 16) != 0;
            EXPECT_LE(differing * 20, ref.size() / 16);  // measured: 4% at most (AVX2+FMA, quality 2)
            const Bytes dec = ycocg_test::decode_ycocg(got.data(), w, h);
            EXPECT_NEAR(testutil::psnr8(rgba.data(), dec.data(), n, 4, 3), ref_psnr, 0.02);
        }
    }
}

}  // namespace
