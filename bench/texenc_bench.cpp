// Texture encoder speed and quality on a 1920x1080 photograph: megapixels per second per
// codec, quality and tier, on one thread and on all cores, with the PSNR of the result
// (decoded here, RGB for DXT1/DXT5 colour, the channel for RGTC1, alpha for DXT5).
//
// The frame is a photo from the shared test data scaled by the ffmpeg tool
// (ZELQA_BENCH_PHOTO overrides the file). FFmpeg's own HAP encoder on the same frame:
// bench/ffmpeg_hap_bench.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/cpu.h"
#include "texenc/dxtenc.h"

namespace {

constexpr int kW = 1920, kH = 1080;

std::vector<uint8_t> load_frame() {
    const char *env = std::getenv("ZELQA_BENCH_PHOTO");
    std::string photo = env ? env : std::string(ZELQA_SOURCE_DIR) + "/../shared/testdata/photos/coffee.png";
    // Alpha from the picture's own detail, max(r, g, b) - min(r, g, b), so the alpha paths
    // have real work.
    std::string cmd = "ffmpeg -v error -nostdin -i '" + photo +
                      "' -vf scale=1920:1080:flags=lanczos,format=rgba -frames:v 1 -f rawvideo -pix_fmt rgba -";
    std::vector<uint8_t> px(size_t(kW) * kH * 4);
    FILE *f = popen(cmd.c_str(), "r");
    size_t got = f ? fread(px.data(), 1, px.size(), f) : 0;
    if (f) pclose(f);
    if (got != px.size()) {
        std::fprintf(stderr, "could not make the frame with: %s\n", cmd.c_str());
        std::exit(1);
    }
    for (size_t i = 0; i < px.size(); i += 4) {
        const uint8_t r = px[i], g = px[i + 1], b = px[i + 2];
        px[i + 3] = uint8_t(std::max(r, std::max(g, b)) - std::min(r, std::min(g, b)));
    }
    return px;
}

const std::vector<uint8_t> &frame() {
    static const std::vector<uint8_t> px = load_frame();
    return px;
}

int e5(int v) { return (v << 3) | (v >> 2); }
int e6(int v) { return (v << 2) | (v >> 4); }

// Decodes an 8-byte colour block into 16 RGB triples.
void decode_color(const uint8_t *b, uint8_t rgb[16][3]) {
    const int c0 = b[0] | b[1] << 8, c1 = b[2] | b[3] << 8;
    int pal[4][3];
    const int a[3] = {e5(c0 >> 11), e6((c0 >> 5) & 63), e5(c0 & 31)};
    const int z[3] = {e5(c1 >> 11), e6((c1 >> 5) & 63), e5(c1 & 31)};
    for (int k = 0; k < 3; k++) {
        pal[0][k] = a[k];
        pal[1][k] = z[k];
        if (c0 > c1) {
            pal[2][k] = (2 * a[k] + z[k]) / 3;
            pal[3][k] = (a[k] + 2 * z[k]) / 3;
        } else {
            pal[2][k] = (a[k] + z[k]) / 2;
            pal[3][k] = 0;
        }
    }
    const uint32_t w = uint32_t(b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24);
    for (int i = 0; i < 16; i++)
        for (int k = 0; k < 3; k++) rgb[i][k] = uint8_t(pal[(w >> (2 * i)) & 3][k]);
}

void decode_single(const uint8_t *b, uint8_t v[16]) {
    int pal[8] = {b[0], b[1]};
    if (b[0] > b[1]) {
        for (int k = 1; k <= 6; k++) pal[k + 1] = ((7 - k) * b[0] + k * b[1]) / 7;
    } else {
        for (int k = 1; k <= 4; k++) pal[k + 1] = ((5 - k) * b[0] + k * b[1]) / 5;
        pal[6] = 0;
        pal[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; i++) bits |= uint64_t(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; i++) v[i] = uint8_t(pal[(bits >> (3 * i)) & 7]);
}

double psnr(double se, double n) { return se == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * n / se); }

// PSNR of the decoded texture against the frame: colour for DXT1/DXT5, alpha (DXT5,
// RGTC1 from alpha) or luma (RGTC1 from luma) as the second figure.
void measure(const std::vector<uint8_t> &tex, uint32_t codec, double *color_db, double *single_db) {
    const std::vector<uint8_t> &px = frame();
    double se_c = 0, se_s = 0;
    const int bx = kW / 4;
    for (int by = 0; by < kH / 4; by++)
        for (int x = 0; x < bx; x++) {
            const size_t blk = size_t(by) * bx + x;
            uint8_t rgb[16][3], v[16];
            if (codec == 0) decode_color(&tex[blk * 8], rgb);
            if (codec == 1) {
                decode_single(&tex[blk * 16], v);
                decode_color(&tex[blk * 16 + 8], rgb);
            }
            if (codec >= 2) decode_single(&tex[blk * 8], v);
            for (int i = 0; i < 16; i++) {
                const uint8_t *s = &px[((size_t(by) * 4 + i / 4) * kW + x * 4 + i % 4) * 4];
                if (codec <= 1)
                    for (int k = 0; k < 3; k++) se_c += (s[k] - rgb[i][k]) * double(s[k] - rgb[i][k]);
                if (codec >= 1) {
                    int ref = codec == 2 ? (s[0] + s[1] + s[2]) / 3 : s[3];
                    se_s += (ref - v[i]) * double(ref - v[i]);
                }
            }
        }
    *color_db = psnr(se_c, 3.0 * kW * kH);
    *single_db = psnr(se_s, double(kW) * kH);
}

void bm_encode(benchmark::State &state, uint32_t codec, int quality, uint32_t isa, uint32_t threads) {
    const CpuFeatures &cpu = cpu_features();
    if (((isa & 0x20) && !cpu.avx) || ((isa & 0x80) && !cpu.avx2)) {
        state.SkipWithError("tier not available on this CPU");
        return;
    }
    const std::vector<uint8_t> &px = frame();
    DxtEncContext ctx;
    std::memset(&ctx, 0, sizeof(ctx));
    if (dxtenc_init(&ctx, kW, kH, codec, uint8_t(quality), 1, DXTENC_PIX_RGBA8, 0, threads, isa) != 0) {
        state.SkipWithError("set-up refused");
        return;
    }
    std::vector<uint8_t> tex(dxtenc_encoded_size(kW, kH, codec, 0));
    const uint8_t *planes[4] = {px.data(), nullptr, nullptr, nullptr};
    const int64_t strides[4] = {4 * kW, 0, 0, 0};
    for (auto _ : state) {
        dxtenc_encode_frame(&ctx, tex.data(), planes, strides);
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(double(kW) * kH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    double c_db, s_db;
    measure(tex, codec, &c_db, &s_db);
    if (codec <= 1) state.counters["PSNR_rgb"] = c_db;
    if (codec >= 1) state.counters[codec == 2 ? "PSNR_luma" : "PSNR_alpha"] = s_db;
}

void register_all() {
    struct Tier {
        const char *name;
        uint32_t isa;
    };
    const Tier tiers[] = {{"sse41", 0x00}, {"avx", 0x28}, {"avx2", 0xF8}};
    struct Codec {
        const char *name;
        uint32_t codec;
    };
    const Codec codecs[] = {{"DXT1", 0}, {"DXT5", 1}, {"RGTC1_luma", 2}, {"RGTC1_alpha", 3}};
    for (const Codec &c : codecs) {
        for (int q = 1; q <= (c.codec <= 1 ? 3 : 1); q++) {
            for (const Tier &t : tiers) {
                for (uint32_t threads : {1u, 0u}) {
                    std::string name = std::string(c.name) + "/q" + std::to_string(q) + "/" + t.name +
                                       (threads == 1 ? "/1thread" : "/allcores");
                    auto *b = benchmark::RegisterBenchmark(name.c_str(), bm_encode, c.codec, q, t.isa, threads);
                    // One thread: rates over processor time, so a busy machine skews them less.
                    b->Unit(benchmark::kMillisecond);
                    if (threads != 1) b->UseRealTime();
                    if (q == 3 && threads == 1) b->Iterations(2);
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    frame();
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
