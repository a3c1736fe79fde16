#pragma once
// BC7 (BPTC, unsigned normalised) block decoding: one 16-byte block to 16 RGBA8 pixels.
// Stateless and allocation-free; any number of threads may decode at once.
#include <cstdint>

namespace bc7decomp {

// Next n bits (n <= 32) of the block, least significant first, from bit *offset.
inline uint32_t read_bits32(const uint8_t *block, uint32_t &offset, uint32_t n) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t bit = offset + i;
        v |= uint32_t((block[bit >> 3] >> (bit & 7)) & 1u) << i;
    }
    offset += n;
    return v;
}

// Expands an n-bit end-point component (with its p-bit when has_pbit) to 8 bits.
inline uint32_t bc7_dequant(uint32_t v, uint32_t pbit, uint32_t n, bool has_pbit) {
    if (has_pbit) {
        uint32_t x = ((v << 1) | pbit) << (7 - n);
        return (x | (x >> (n + 1))) & 0xFF;
    }
    uint32_t x = v << (8 - n);
    return (x | (x >> n)) & 0xFF;
}

inline uint32_t bc7_interp(uint32_t e0, uint32_t e1, uint32_t w) { return ((64 - w) * e0 + w * e1 + 32) >> 6; }
uint32_t bc7_interp2(uint32_t e0, uint32_t e1, uint32_t index);  // 2-bit index
uint32_t bc7_interp3(uint32_t e0, uint32_t e1, uint32_t index);  // 3-bit index

}  // namespace bc7decomp

// Decodes one block into 16 pixels (raster order, R, G, B, A bytes; 64 bytes).
// The reserved mode (first byte 0) gives 16 pixels of (0, 0, 0, 0) and false.
bool unpack_bc7(const void *block, void *pixels);

// Mode functions; each returns false (pixels untouched) when the block does not hold its mode.
bool unpack_bc7_mode0_2(uint32_t mode, const void *block, uint8_t *pixels);
bool unpack_bc7_mode1_3_7(uint32_t mode, const void *block, uint8_t *pixels);
bool unpack_bc7_mode4_5(uint32_t mode, const void *block, uint8_t *pixels);
bool unpack_bc7_mode6(const void *block, uint8_t *pixels);
