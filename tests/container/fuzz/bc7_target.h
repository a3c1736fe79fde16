#pragma once
// One fuzz input for the BC7 block decoder: every 16-byte block through the whole-block
// decoder, each mode function and the texture walker. Shared by the libFuzzer harness
// and the replay test. Returns false when a decoder broke its contract.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "container/texdec/bc7decomp/bc7decomp.h"
#include "container/texdec/dxt_decoder.h"

namespace fuzz_target {

inline bool run_bc7(const uint8_t *data, size_t size) {
    const size_t nb_blocks = size / 16;
    if (nb_blocks == 0 || nb_blocks > 4096) return true;
    using ModeFn = bool (*)(const void *, uint8_t *);
    static const ModeFn modes[8] = {
        [](const void *b, uint8_t *p) { return unpack_bc7_mode0_2(0, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode1_3_7(1, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode0_2(2, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode1_3_7(3, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode4_5(4, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode4_5(5, b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode6(b, p); },
        [](const void *b, uint8_t *p) { return unpack_bc7_mode1_3_7(7, b, p); },
    };
    for (size_t i = 0; i < nb_blocks; ++i) {
        // Each block in its own 16-byte allocation: a read past it is caught.
        std::unique_ptr<uint8_t[]> block(new uint8_t[16]);
        std::memcpy(block.get(), data + 16 * i, 16);
        uint8_t pixels[64];
        std::memset(pixels, 0xCD, sizeof(pixels));
        const bool decoded = unpack_bc7(block.get(), pixels);
        if (decoded != (block[0] != 0)) return false;
        if (!decoded)
            for (uint8_t v : pixels)
                if (v != 0) return false;  // the reserved mode is transparent black
        const int mode = block[0] ? __builtin_ctz(block[0]) : -1;
        for (int m = 0; m < 8; ++m) {
            uint8_t other[64];
            std::memset(other, 0xA5, sizeof(other));
            const bool held = modes[m](block.get(), other);
            if (held != (m == mode)) return false;
            if (held && std::memcmp(other, pixels, 64) != 0) return false;
            if (!held)
                for (uint8_t v : other)
                    if (v != 0xA5) return false;  // untouched
        }
    }
    // The texture walker over the blocks as one row of a texture 4 pixels high.
    const uint32_t width = uint32_t(nb_blocks) * 4;
    std::vector<uint8_t> texture(data, data + 16 * nb_blocks);
    std::vector<uint8_t> out(size_t(width) * 4 * 4);
    DxtDecContext ctx;
    if (dxtdec_init(&ctx, uint16_t(width), 4, DxtDecCodec_BC7, 0) != 0) return false;
    dxtdec_decode_frame(&ctx, texture.data(), nullptr, out.data(), ptrdiff_t(width) * 4);
    for (size_t i = 0; i < nb_blocks; ++i) {
        uint8_t pixels[64];
        unpack_bc7(data + 16 * i, pixels);
        for (int y = 0; y < 4; ++y)
            if (std::memcmp(&out[(size_t(y) * width + 4 * i) * 4], pixels + 16 * y, 16) != 0) return false;
    }
    return true;
}

}  // namespace fuzz_target
