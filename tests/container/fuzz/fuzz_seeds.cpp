// Writes starting inputs for the fuzz targets into a folder: valid HAP frames of every
// codec and packing, Notch LC payloads and samples, BC7 blocks of every mode.
// Built and run by scripts/fuzz.sh.
//   fuzz_seeds TARGET DIR
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../mov/notchlc_sample.h"
#include "container/hap/hap.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool write_file(const std::string &path, const Bytes &b) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

// Texture bytes with repeats, so that snappy has something to shorten.
Bytes texture(size_t n, std::mt19937 &rng) {
    Bytes t(n);
    for (size_t i = 0; i < n; ++i) t[i] = i >= 16 && rng() % 3 ? t[i - 16] : uint8_t(rng());
    return t;
}

bool hap_seeds(const std::string &dir) {
    std::mt19937 rng(1);
    struct Codec {
        const char *name;
        uint32_t count;
        HapTextureFormat formats[2];
        uint32_t block_bytes[2];
    } const codecs[] = {
        {"hap", 1, {HapTextureFormat_RGB_DXT1, 0}, {8, 0}},
        {"hapa", 1, {HapTextureFormat_RGBA_DXT5, 0}, {16, 0}},
        {"hapq", 1, {HapTextureFormat_YCoCg_DXT5, 0}, {16, 0}},
        {"hapqa", 2, {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1}, {16, 8}},
        {"hapalpha", 1, {HapTextureFormat_A_RGTC1, 0}, {8, 0}},
        {"hapr", 1, {HapTextureFormat_RGBA_BPTC_UNORM, 0}, {16, 0}},
    };
    struct Size {
        uint32_t w, h;
    } const sizes[] = {{8, 8}, {13, 7}, {32, 16}};
    int n = 0;
    for (const Codec &c : codecs)
        for (const Size &s : sizes)
            for (uint32_t compressor : {HapCompressorNone, HapCompressorSnappy})
                for (uint32_t chunks : {1u, 4u}) {
                    const uint64_t blocks = uint64_t((s.w + 3) / 4) * ((s.h + 3) / 4);
                    Bytes tex[2];
                    const void *buffers[2] = {nullptr, nullptr};
                    uint64_t lengths[2] = {0, 0};
                    const uint32_t compressors[2] = {compressor, compressor};
                    const uint32_t chunk_counts[2] = {chunks, chunks};
                    for (uint32_t i = 0; i < c.count; ++i) {
                        tex[i] = texture(blocks * c.block_bytes[i], rng);
                        buffers[i] = tex[i].data();
                        lengths[i] = tex[i].size();
                    }
                    Bytes out(4096 + 2 * 16 * blocks * 2);
                    uint64_t used = 0;
                    if (hap_encode(c.count, buffers, lengths, c.formats, compressors, chunk_counts, out.data(),
                                   out.size(), &used) != HapResult_No_Error)
                        return false;
                    out.resize(used);
                    const uint8_t flags = uint8_t(rng());
                    out.insert(out.begin(), {flags, uint8_t(s.w - 1), uint8_t(s.h - 1)});
                    if (!write_file(dir + "/" + c.name + "_" + std::to_string(n++), out)) return false;
                }
    return true;
}

bool notchlc_seeds(const std::string &dir) {
    struct Case {
        uint32_t w, h;
        bool alpha;
    } const cases[] = {{4, 4, false}, {16, 16, true}, {20, 12, true}, {33, 17, false}};
    int n = 0;
    for (const Case &c : cases) {
        const Bytes payload = notchlc_sample::payload_of(notchlc_sample::random_picture(c.w, c.h, c.alpha, 7 + n));
        for (uint8_t format = 0; format < 6; ++format) {
            Bytes b = {uint8_t(format << 1)};
            b.insert(b.end(), payload.begin(), payload.end());
            if (!write_file(dir + "/payload_" + std::to_string(n) + "_" + std::to_string(format), b)) return false;
        }
        // The stored sample, for the sample header checks.
        const Bytes sample = notchlc_sample::sample_of(payload);
        Bytes b = {uint8_t(1 | (n % 6) << 1), uint8_t(c.w - 1), uint8_t(c.h - 1)};
        b.insert(b.end(), sample.begin(), sample.end());
        if (!write_file(dir + "/sample_" + std::to_string(n), b)) return false;
        n++;
    }
    return true;
}

bool bc7_seeds(const std::string &dir) {
    std::mt19937 rng(3);
    for (uint32_t mode = 0; mode < 8; ++mode) {
        Bytes b(16 * 4);
        for (auto &v : b) v = uint8_t(rng());
        for (size_t i = 0; i < b.size(); i += 16) b[i] = uint8_t((b[i] & ~((2u << mode) - 1)) | (1u << mode));
        if (!write_file(dir + "/mode" + std::to_string(mode), b)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fuzz_seeds TARGET DIR\n");
        return 2;
    }
    const std::string target = argv[1], dir = argv[2];
    bool ok = false;
    if (target == "hap_frame")
        ok = hap_seeds(dir);
    else if (target == "notchlc")
        ok = notchlc_seeds(dir);
    else if (target == "bc7")
        ok = bc7_seeds(dir);
    else
        fprintf(stderr, "no seeds for %s\n", target.c_str());
    if (!ok) fprintf(stderr, "could not write the seeds of %s into %s\n", target.c_str(), dir.c_str());
    return ok ? 0 : 1;
}
