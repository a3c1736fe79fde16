#include <tiffio.h>

#include <cstdio>
#include <new>

#include "media/filter_node.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/image/mem_tiff_io.h"
#include "pipeline/image/tiff_checks.h"
#include "platform/core/errors.h"

namespace {

struct TiffDecodeData {
    VideoFrame output;
    uint32_t width;
    uint32_t height;
    PixFmt pix_fmt;
    uint8_t alpha_expected;
};

struct TiffHandle {
    TIFF *t = nullptr;
    ~TiffHandle() {
        if (t) TIFFClose(t);
    }
};

void decode_tiff(VideoFilter *filter, TiffDecodeData *d, const VideoFrame *in) {
    if (!in->data[0] || in->data_size[0] == 0) throw_process_error("Empty data");
    MemTiffIo io;
    mem_tiff_io_init(&io, in->data[0], in->data_size[0]);
    TiffHandle tif;
    tif.t = mem_tiff_open(&io);
    if (!tif.t) {
        printf("Can't create tiff\n");
        throw_process_error("Fail to decode tiff (Invalid file)");
    }
    const TiffFacts f = read_tiff_facts(tif.t);
    printf("photometric : %d\n", int(f.photometric));
    if (f.width != d->width || f.height != d->height) {
        printf("ERROR : Found res : %u x %u ; Expected : %u x %u\n", f.width, f.height, d->width, d->height);
        throw_process_error("Fail to decode tiff image (Resolution mismatch)");
    }
    check_tiff_bit_depth(f);
    switch (f.samples_per_pixel) {
    case 1:
    case 3:
        if (d->alpha_expected)
            snprintf(filter->message, sizeof(filter->message), "%s", "Alpha channel mismatch (No alpha found)");
        break;
    case 4:
        if (f.photometric == PHOTOMETRIC_SEPARATED) {
            if (f.bits_per_sample != 8) throw_process_error("Unsupported tiff CMYK bitdepth");
            snprintf(filter->message, sizeof(filter->message), "%s", "CMYK file. Colors can be inaccurate");
        } else if (f.photometric == PHOTOMETRIC_RGB && !d->alpha_expected) {
            snprintf(filter->message, sizeof(filter->message), "%s", "Alpha channel mismatch (Alpha found)");
        }
        break;
    case 5:
        if (f.photometric == PHOTOMETRIC_RGB) throw_process_error("Unsupported tiff channels (5)");
        if (f.photometric == PHOTOMETRIC_SEPARATED) throw_process_error("Unsupported tiff CMYKA");
        break;
    default: throw_process_error("Unsupported tiff channels");
    }
    if (!d->output.data[0]) return;
    // Rows are packed at width x 4 bytes, the layout libtiff's RGBA reader writes.
    if (!TIFFReadRGBAImageOriented(tif.t, d->width, d->height, reinterpret_cast<uint32_t *>(d->output.data[0]),
                                   ORIENTATION_TOPLEFT, 0))
        throw_process_error("Fail to decode tiff 1");
}

void tiff_decode_process(VideoFilter *filter) {
    auto *d = filter_node_data<TiffDecodeData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (in->data_descriptor != VideoFrameTiffData) throw_process_error("Invalid data descriptor");
    d->output.error_flags = 0;
    d->output.frame_index = in->frame_index;
    filter->message[0] = '\0';
    try {
        decode_tiff(filter, d, in);
    } catch (...) {
        printf("Fail to decode tiff\n");
        throw;
    }
}

void tiff_decode_destroy(VideoFilter *filter) {
    filter_node_destroy<TiffDecodeData>(filter, [](TiffDecodeData *d) { video_frame_free_planes(&d->output); });
}

}  // namespace

VideoFilter *create_filter_tiff_decode(const ImageDecodeParams &params) {
    if (params.width == 0 || params.height == 0) throw_process_error("Invalid decoding resolution");
    if (params.pix_fmt != PixFmt_RGBA8 && params.pix_fmt != PixFmt_RGBX8) throw_process_error("Invalid out pix fmt");
    return filter_node_create<TiffDecodeData>(VideoFilterType_TiffDecode, 1, tiff_decode_process, tiff_decode_destroy,
                                              [&](TiffDecodeData *d) -> VideoFrame * {
                                                  video_frame_init(&d->output);
                                                  d->width = params.width;
                                                  d->height = params.height;
                                                  d->pix_fmt = params.pix_fmt;
                                                  d->alpha_expected = params.alpha_expected;
                                                  video_frame_alloc(&d->output, params.width, params.height,
                                                                    params.pix_fmt, 0);
                                                  return &d->output;
                                              });
}
