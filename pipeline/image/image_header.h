#pragma once
// Size and alpha facts of PNG, JPEG and TIFF files, read from their headers without
// decoding the picture. Each reader fills a caller's record or throws ProcessError with a
// fixed message (std::bad_alloc when memory runs out); the file and every library handle
// are released on every path.
#include <cstdint>

struct PngHeaderInfo {
    uint32_t width, height;
    uint8_t has_alpha;  // grey with alpha, or RGBA
    uint32_t bit_depth;
    uint32_t channels;
    uint8_t is_palette;
};

struct JpegHeaderInfo {
    uint32_t width, height;
    uint64_t file_size;
};

struct TiffHeaderInfo {
    uint32_t width, height;
    uint8_t has_alpha;
    uint8_t is_cmyk;
};

void read_png_header_info(const char *path, PngHeaderInfo *info);
// The JPEG and TIFF readers load the whole file (files of 4 GiB or more are refused).
void read_jpeg_header_info(const char *path, JpegHeaderInfo *info);
void read_tiff_header_info(const char *path, TiffHeaderInfo *info);
