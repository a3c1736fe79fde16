#pragma once
// Tag reading and bit-depth rule shared by the TIFF header reader and the TIFF decode node.
#include <cstdint>

typedef struct tiff TIFF;

struct TiffFacts {
    uint32_t width;
    uint32_t height;
    uint32_t bits_per_sample;
    uint32_t samples_per_pixel;
    uint32_t photometric;  // 0 when absent
};

TiffFacts read_tiff_facts(TIFF *tif);
// 1, 2, 4, 5, 8, 10 and 16 bits pass; 32 throws "Unsupported tiff float", others
// "Unsupported tiff bitdepth".
void check_tiff_bit_depth(const TiffFacts &facts);
