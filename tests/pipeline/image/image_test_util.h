#pragma once
// Image fixtures made by the ffmpeg tool (and TurboJPEG for what the tool cannot write).
#include <tiffio.h>
#include <turbojpeg.h>

#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace imagetest {

// Writes one picture of testsrc2 cropped to WxH ("37x21": odd sizes are kept, testsrc2
// itself makes even ones only), through the filter chain `vf`, in the given pixel format.
inline bool make_image(const std::string &path, const std::string &size, const std::string &pix_fmt,
                       const std::string &vf = "") {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const size_t x = size.find('x');
    const int w = std::stoi(size.substr(0, x)), h = std::stoi(size.substr(x + 1));
    const std::string chain =
        "format=rgba,crop=" + std::to_string(w) + ":" + std::to_string(h) + ":0:0" + (vf.empty() ? "" : "," + vf);
    std::string cmd = ffmpeg + " -v error -nostdin -y -f lavfi -i testsrc2=size=" + std::to_string(w + 2) + "x" +
                      std::to_string(h + 2) + " -vf " + testutil::shell_quote(chain) + " -frames:v 1 -pix_fmt " +
                      pix_fmt + " " + testutil::shell_quote(path);
    return testutil::run_command(cmd).status == 0;
}

// A TIFF written by libtiff with the given layout; byte i of stored row y is i x 13 + y x 7.
inline bool make_tiff(const std::string &path, uint32_t width, uint32_t height, uint16_t samples, uint16_t bits,
                      uint16_t photometric, uint16_t sample_format = SAMPLEFORMAT_UINT,
                      uint16_t orientation = ORIENTATION_TOPLEFT) {
    TIFF *t = TIFFOpen(path.c_str(), "w");
    if (!t) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, sample_format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    if (samples == 2 || (samples == 4 && photometric == PHOTOMETRIC_RGB) || samples == 5) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    std::vector<uint8_t> row(size_t(TIFFScanlineSize64(t)));
    bool ok = true;
    for (uint32_t y = 0; y < height && ok; y++) {
        for (size_t i = 0; i < row.size(); i++) row[i] = uint8_t(i * 13 + y * 7);
        ok = TIFFWriteScanline(t, row.data(), y, 0) >= 0;
    }
    TIFFClose(t);
    return ok;
}

// JPEG of a 4-channel pattern compressed by TurboJPEG in the given pixel format
// (TJPF_GRAY with TJSAMP_GRAY, or TJPF_CMYK).
inline std::vector<uint8_t> turbojpeg_image(int width, int height, int pixel_format, int subsamp) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint8_t((i * 7) ^ (i >> 5));
    tjhandle h = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    int ret = tjCompress2(h, pixels.data(), width, 0, height, pixel_format, &out, &size, subsamp, 90, 0);
    std::vector<uint8_t> jpeg;
    if (ret == 0) jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(h);
    return jpeg;
}

}  // namespace imagetest
