#pragma once
// Independent BC7 decoder for tests: Mesa's software OpenGL (OSMesa) decodes the blocks.
#include <cstdint>
#include <string>
#include <vector>

// Decodes 16-byte blocks into 64 bytes of RGBA8 each (raster order within the block).
// Returns false with a reason when no GL context or BPTC support is available.
bool bc7_gl_oracle_decode(const std::vector<uint8_t> &blocks, std::vector<uint8_t> &pixels, std::string &why);
