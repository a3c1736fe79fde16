// Whole frames through the AVX cluster-fit tiers: a 1920x1080 photograph coded as DXT1
// and DXT5 at the normal and slow qualities with the baseline and each faster tier.
// Every colour block that differs from the baseline's must come from a known rounding
// cause (a near tie of the fit's error, a least-squares value on a half step of the grid,
// or a colour order that the two tiers' axes put otherwise), and the picture the ffmpeg
// tool decodes keeps the baseline's PSNR.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cluster_avx_common.h"
#include "testutil/testutil.h"
#include "texenc/clusterfit/cluster_stages.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc.h"

using namespace cfavx;

namespace {

constexpr int kW = 1920, kH = 1080;

const std::vector<uint8_t> &photo() {
    static const std::vector<uint8_t> p =
        testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(testutil::testdata_photo("coffee.png")), "rgba",
                                   "scale=" + std::to_string(kW) + ":" + std::to_string(kH));
    return p;
}

std::vector<uint8_t> encode(uint32_t codec, uint8_t quality, uint32_t isa) {
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    ctx.no_alpha = 1;
    EXPECT_EQ(dxtenc_init(&ctx, kW, kH, codec, quality, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 4, isa), 0);
    std::vector<uint8_t> out(dxtenc_encoded_size(kW, kH, codec, DXTENC_PAD_REPEAT));
    const uint8_t *planes[4] = {photo().data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * kW, 0, 0, 0};
    dxtenc_encode_frame(&ctx, out.data(), planes, strides);
    return out;
}

// The block's distinct colours (channels on 0..1), their weights (square root of the
// pixel count) and the palette index each took in a colour block.
struct Fit {
    std::vector<std::array<double, 3>> colors;
    std::vector<double> weights;
    std::vector<int> index;
    double end[2][3];  // end points on the grid, 0..1
};

Fit fit_of(int bx, int by, const uint8_t *color_block) {
    Fit f;
    std::map<uint32_t, int> seen;
    std::vector<int> counts;
    const uint16_t c0 = uint16_t(color_block[0] | color_block[1] << 8),
                   c1 = uint16_t(color_block[2] | color_block[3] << 8);
    const uint32_t indices = uint32_t(color_block[4]) | uint32_t(color_block[5]) << 8 | uint32_t(color_block[6]) << 16 |
                             uint32_t(color_block[7]) << 24;
    const uint16_t cs[2] = {c0, c1};
    for (int e = 0; e < 2; ++e) {
        f.end[e][0] = double(cs[e] >> 11) / 31.0;
        f.end[e][1] = double((cs[e] >> 5) & 63) / 63.0;
        f.end[e][2] = double(cs[e] & 31) / 31.0;
    }
    for (int p = 0; p < 16; ++p) {
        const uint8_t *px = photo().data() + (size_t(by * 4 + p / 4) * kW + size_t(bx * 4 + p % 4)) * 4;
        const uint32_t key = uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16;
        auto it = seen.find(key);
        if (it == seen.end()) {
            it = seen.emplace(key, int(f.colors.size())).first;
            f.colors.push_back({px[0] / 255.0, px[1] / 255.0, px[2] / 255.0});
            f.index.push_back(int((indices >> (2 * p)) & 3));
            counts.push_back(0);
        }
        ++counts[it->second];
    }
    for (int n : counts) { f.weights.push_back(std::sqrt(double(n))); }
    return f;
}

// Weights of the palette index on the two end points.
double alpha_of(int index) { return index == 0 ? 1.0 : index == 1 ? 0.0 : index == 2 ? 2.0 / 3.0 : 1.0 / 3.0; }

double fit_error(const Fit &f) {
    double e = 0;
    for (size_t k = 0; k < f.colors.size(); ++k) {
        const double a = alpha_of(f.index[k]);
        for (int c = 0; c < 3; ++c) {
            const double d = a * f.end[0][c] + (1 - a) * f.end[1][c] - f.colors[k][c];
            e += f.weights[k] * d * d;
        }
    }
    return e;
}
double energy(const Fit &f) {
    double e = 0;
    for (size_t k = 0; k < f.colors.size(); ++k) {
        for (int c = 0; c < 3; ++c) { e += f.weights[k] * f.colors[k][c] * f.colors[k][c]; }
    }
    return e;
}
// Least-squares end points of the block's partition (clamped to 0..1): does any channel
// sit within rounding of a half step of the grid?
bool half_step(const Fit &f) {
    double a2 = 0, b2 = 0, ab = 0, ax[3] = {}, bx[3] = {};
    for (size_t k = 0; k < f.colors.size(); ++k) {
        const double a = alpha_of(f.index[k]), b = 1 - a, w = f.weights[k];
        a2 += w * a * a;
        b2 += w * b * b;
        ab += w * a * b;
        for (int c = 0; c < 3; ++c) {
            ax[c] += w * a * f.colors[k][c];
            bx[c] += w * b * f.colors[k][c];
        }
    }
    const double det = a2 * b2 - ab * ab;
    if (!(det > 1e-12)) { return false; }
    const double scale[3] = {31, 63, 31};
    for (int c = 0; c < 3; ++c) {
        const double ends[2] = {(ax[c] * b2 - bx[c] * ab) / det, (bx[c] * a2 - ax[c] * ab) / det};
        for (double v : ends) {
            const double x = std::fmin(std::fmax(v, 0.0), 1.0) * scale[c];
            if (std::fabs(x - std::floor(x) - 0.5) < 1e-4) { return true; }
        }
    }
    return false;
}

// Do the AVX axis and projection order the block's colours otherwise than the baseline's?
// (They round differently; the axis tests bound when that changes the order.)
bool order_differs(const Fit &f) {
    const size_t n = f.colors.size();
    if (n < 2 || n > 16) { return false; }
    alignas(32) float colors[16][4] = {}, weights[16] = {}, axis[4], p[16];
    for (size_t k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) { colors[k][c] = float(f.colors[k][c]); }
        weights[k] = float(f.weights[k]);
    }
#define ORDER_ROW(NN, n) \
    {cluster_axis_count##NN##_sse41, cluster_project_count##NN##_sse41, cluster_sort_count##NN##_sse41},
    const struct {
        DxtClusterAxisFn axis;
        DxtClusterProjectFn project;
        DxtClusterSortFn sort;
    } base[15] = {CLUSTER_FOR_EACH_COUNT(ORDER_ROW)};
#undef ORDER_ROW
#define ORDER_ROW(NN) {cluster_axis_count##NN##_avx, cluster_project_count##NN##_avx},
    const struct {
        DxtClusterAxisFn axis;
        DxtClusterProjectFn project;
    } avx[15] = {CLUSTER_AVX_FOR_EACH_COUNT(ORDER_ROW)};
#undef ORDER_ROW
    uint8_t order[2][16];
    for (int t = 0; t < 2; ++t) {
        for (int i = 0; i < 16; ++i) { order[t][i] = uint8_t(i); }
        (t == 0 ? base[n - 2].axis : avx[n - 2].axis)(axis, colors, weights);
        (t == 0 ? base[n - 2].project : avx[n - 2].project)(p, colors, axis);
        base[n - 2].sort(p, order[t]);
    }
    return std::memcmp(order[0], order[1], n) != 0;
}

double decoded_psnr(const testutil::TempDir &dir, uint32_t codec, const std::vector<uint8_t> &blocks) {
    const std::string path = dir.file("frame.dds");
    testutil::write_file(path, testutil::dds_file(kW, kH, codec == DXTENC_CODEC_DXT5 ? "DXT5" : "DXT1", blocks));
    const std::vector<uint8_t> decoded = testutil::ffmpeg_raw_frame("-i " + testutil::shell_quote(path), "rgba");
    EXPECT_EQ(decoded.size(), photo().size());
    if (decoded.size() != photo().size()) { return 0; }
    return testutil::psnr8(photo().data(), decoded.data(), size_t(kW) * kH, 4, 3);
}

TEST(ClusterAvxFrames, DifferencesFromTheBaselineHaveKnownCausesAndKeepThePsnr) {
    if (!has_avx()) { GTEST_SKIP() << "no AVX"; }
    ASSERT_FALSE(testutil::require_tool("ffmpeg").empty());
    ASSERT_EQ(photo().size(), size_t(kW) * kH * 4);
    testutil::TempDir dir;
    for (uint32_t codec : {uint32_t(DXTENC_CODEC_DXT1), uint32_t(DXTENC_CODEC_DXT5)}) {
        for (uint8_t quality : {uint8_t(2), uint8_t(3)}) {
            const std::vector<uint8_t> base = encode(codec, quality, 0x00);
            const double base_db = decoded_psnr(dir, codec, base);
            const size_t block_bytes = codec == DXTENC_CODEC_DXT5 ? 16 : 8, colour_at = block_bytes - 8;
            for (uint32_t isa : {0x28u, 0x68u, 0xF8u}) {
                if ((isa & 0x40) && !has_fma()) { continue; }
                if (isa == 0xF8 && quality == 3) { continue; }  // the slow quality clears AVX2: 0x68 again
                SCOPED_TRACE(testing::Message()
                             << "codec " << codec << " quality " << int(quality) << " mask 0x" << std::hex << isa);
                const std::vector<uint8_t> tier = encode(codec, quality, isa);
                ASSERT_EQ(tier.size(), base.size());
                int differ = 0, ties = 0, halves = 0, orders = 0, unexplained = 0;
                for (int by = 0; by < kH / 4; ++by) {
                    for (int bx = 0; bx < kW / 4; ++bx) {
                        const size_t at = (size_t(by) * (kW / 4) + bx) * block_bytes;
                        ASSERT_EQ(std::memcmp(&tier[at], &base[at], colour_at), 0) << "alpha half differs";
                        if (std::memcmp(&tier[at + colour_at], &base[at + colour_at], 8) == 0) { continue; }
                        ++differ;
                        const Fit t = fit_of(bx, by, &tier[at + colour_at]), b = fit_of(bx, by, &base[at + colour_at]);
                        const double et = fit_error(t), eb = fit_error(b);
                        if (std::fabs(et - eb) <= 1e-5 * std::fmax(energy(t), 1e-30)) {
                            ++ties;
                        } else if (half_step(t) || half_step(b)) {
                            ++halves;
                        } else if (order_differs(t)) {
                            ++orders;
                        } else if (++unexplained <= 5) {
                            ADD_FAILURE() << "block (" << bx << ", " << by << "): errors " << et << " and " << eb
                                          << " of energy " << energy(t);
                        }
                    }
                }
                const double db = decoded_psnr(dir, codec, tier);
                std::printf(
                    "[ codec %u quality %d mask 0x%02x ] %d of %d colour blocks differ (%d near ties, %d half "
                    "steps, %d colour orders, %d unexplained); PSNR %.4f dB, baseline %.4f dB\n",
                    codec, quality, isa, differ, kW * kH / 16, ties, halves, orders, unexplained, db, base_db);
                EXPECT_EQ(unexplained, 0);
                EXPECT_GE(db, base_db - 0.01);
            }
        }
    }
}

}  // namespace
