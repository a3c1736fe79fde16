#include "pipeline/image/tiff_checks.h"

#include <tiffio.h>

#include "platform/core/errors.h"

TiffFacts read_tiff_facts(TIFF *tif) {
    TiffFacts f{};
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &v32)) f.width = v32;
    v32 = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &v32)) f.height = v32;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &v16)) f.bits_per_sample = v16;
    v16 = 0;
    if (TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &v16)) f.samples_per_pixel = v16;
    v16 = 0;
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &v16)) f.photometric = v16;
    return f;
}

void check_tiff_bit_depth(const TiffFacts &f) {
    switch (f.bits_per_sample) {
    case 1:
    case 2:
    case 4:
    case 5:
    case 8:
    case 10:
    case 16: return;
    case 32: throw_process_error("Unsupported tiff float");
    default: throw_process_error("Unsupported tiff bitdepth");
    }
}
