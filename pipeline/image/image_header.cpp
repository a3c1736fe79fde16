#include "pipeline/image/image_header.h"

#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/file_io.h"
#include "pipeline/image/mem_tiff_io.h"
#include "pipeline/image/tiff_checks.h"
#include "platform/core/errors.h"

namespace {

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File open_file(const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        int e = errno;
        throw_process_errorf("Can't open file : %s. Error : %d. %s", path, e, strerror(e));
    }
    return File(f);
}

// The whole file; `kind` names it in the size messages ("Empty jpeg file").
std::vector<uint8_t> read_whole(const char *path, const char *empty_message, const char *big_message) {
    File f = open_file(path);
    file_seek_to_end(f.get());
    const uint64_t size = file_tell(f.get());
    if (size == 0) throw_process_error(empty_message);
    if (size >= (uint64_t(1) << 32)) throw_process_error(big_message);
    std::vector<uint8_t> data(size);
    file_read_at(f.get(), data.data(), 0, size);
    return data;
}

// libpng reports errors by a long jump; nothing with a destructor may live in this frame.
// Returns 0, or the failure step (1 read struct, 2 info struct, 3 error while reading).
int png_header(FILE *file, PngHeaderInfo *info) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 1;
    png_infop pinfo = png_create_info_struct(png);
    if (!pinfo) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return 2;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &pinfo, nullptr);
        return 3;
    }
    png_init_io(png, file);
    png_read_info(png, pinfo);
    info->width = png_get_image_width(png, pinfo);
    info->height = png_get_image_height(png, pinfo);
    info->bit_depth = png_get_bit_depth(png, pinfo);
    info->channels = png_get_channels(png, pinfo);
    const int type = png_get_color_type(png, pinfo);
    info->has_alpha = type == PNG_COLOR_TYPE_GRAY_ALPHA || type == PNG_COLOR_TYPE_RGB_ALPHA;
    info->is_palette = type == PNG_COLOR_TYPE_PALETTE;
    png_destroy_read_struct(&png, &pinfo, nullptr);
    return 0;
}

struct TjHandle {
    tjhandle h = nullptr;
    ~TjHandle() {
        if (h) tjDestroy(h);
    }
};

struct TiffHandle {
    TIFF *t = nullptr;
    ~TiffHandle() {
        if (t) TIFFClose(t);
    }
};

}  // namespace

void read_png_header_info(const char *path, PngHeaderInfo *info) {
    File f = open_file(path);
    *info = PngHeaderInfo{};
    switch (png_header(f.get(), info)) {
    case 1: throw_process_error("Fail to read png 1");
    case 2: throw_process_error("Fail to read png 2");
    case 3: throw_process_error("Fail to read png 3");
    default: break;
    }
}

void read_jpeg_header_info(const char *path, JpegHeaderInfo *info) {
    std::vector<uint8_t> data = read_whole(path, "Empty jpeg file", "Jpeg filesize too big");
    TjHandle tj;
    tj.h = tjInitDecompress();
    if (!tj.h) throw_process_error("Fail to read jpeg (initialization failed)");
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.h, data.data(), (unsigned long)data.size(), &w, &h, &subsamp, &colorspace) != 0)
        throw_process_error("Fail to read jpeg file");
    if (w <= 0) throw_process_error("Invalid jpeg width");
    if (h <= 0) throw_process_error("Invalid jpeg height");
    info->width = uint32_t(w);
    info->height = uint32_t(h);
    info->file_size = data.size();
}

void read_tiff_header_info(const char *path, TiffHeaderInfo *info) {
    std::vector<uint8_t> data = read_whole(path, "Empty tiff file", "tiff file size too big");
    MemTiffIo io;
    mem_tiff_io_init(&io, data.data(), data.size());
    TiffHandle tif;
    tif.t = mem_tiff_open(&io);
    if (!tif.t) {
        printf("Can't create tiff\n");
        throw_process_error("Fail to decode tiff 2");
    }
    TiffFacts facts = read_tiff_facts(tif.t);
    check_tiff_bit_depth(facts);
    *info = TiffHeaderInfo{};
    info->width = facts.width;
    info->height = facts.height;
    switch (facts.samples_per_pixel) {
    case 1:
    case 3: break;
    case 4:
        if (facts.photometric == PHOTOMETRIC_SEPARATED) {
            if (facts.bits_per_sample != 8) throw_process_error("Unsupported tiff CMYK bitdepth");
            info->is_cmyk = 1;
        } else {
            info->has_alpha = 1;
        }
        break;
    case 5:
        if (facts.photometric == PHOTOMETRIC_SEPARATED) throw_process_error("Unsupported tiff CMYKA");
        throw_process_error("Unsupported bitdepth (5)");
    default:
        printf("Unsupported tiff channels : %u\n", facts.samples_per_pixel);
        throw_process_error("Unsupported tiff channels");
    }
}
