#pragma once
// Re-pack kernels between texture block layouts: one row of blocks per call.
// Colour blocks keep their decoded colours (see dxt_repack.cpp for the DXT1 three-
// colour blocks, which a DXT5 colour half cannot hold as they are).
#include <cstdint>

typedef void (*DxtRepackKernel)(void *dst, const void *src, uint32_t count);

void dxt_repack_dxt1_to_dxt5(void *dst, const void *src, uint32_t count);   // 8 -> 16 bytes
void dxt_repack_dxt5_to_dxt1(void *dst, const void *src, uint32_t count);   // 16 -> 8
void dxt_repack_dxt5_to_rgtc1(void *dst, const void *src, uint32_t count);  // 16 -> 8 (alpha half)
void dxt_repack_rgtc1_to_dxt5(void *dst, const void *src, uint32_t count);  // 8 -> 16 (white colour)

// The colour half of a DXT5 block (decoded with four colours whatever the end-point
// order) showing the same pixels as a DXT1 block (three-colour mode when c0 <= c1).
// Exact when some end-point pair can hold the block's colours, else the closest fit.
// Returns true when exact.
bool dxt1_block_to_four_colour(const uint8_t dxt1[8], uint8_t out[8]);
// The DXT1 block showing the same pixels as a DXT5 colour half. Always exact.
void four_colour_block_to_dxt1(const uint8_t colour[8], uint8_t out[8]);
