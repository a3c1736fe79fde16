#include <png.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "media/filter_node.h"
#include "pipeline/image/image_decode.h"
#include "platform/core/errors.h"

namespace {

struct PngDecodeData {
    VideoFrame output;
    uint32_t width;
    uint32_t height;
    PixFmt pix_fmt;
    uint8_t alpha_expected;
    png_bytep *rows;
};

struct MemReader {
    const uint8_t *data;
    uint64_t size;
    uint64_t offset;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
    MemReader *r = static_cast<MemReader *>(png_get_io_ptr(png));
    if (n > r->size - r->offset) png_error(png, "Read past the end of the image");
    memcpy(out, r->data + r->offset, n);
    r->offset += n;
}

enum PngResult {
    PngOk = 0,
    PngReadError,    // a libpng error during the read
    PngHeaderError,  // the header query failed
    PngSizeMismatch,
    PngRowMismatch,  // rows after the transforms do not fit the output lines
};

// libpng reports errors by a long jump: nothing with a destructor may live in this frame.
PngResult decode_png(PngDecodeData *d, MemReader *reader, char *message, size_t message_size) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) throw std::bad_alloc();
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw std::bad_alloc();
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngReadError;
    }
    png_set_read_fn(png, reader, read_from_memory);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0;
    if (!png_get_IHDR(png, info, &w, &h, &depth, &type, nullptr, nullptr, nullptr)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngHeaderError;
    }
    if (w != d->width || h != d->height) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngSizeMismatch;
    }

    const bool out16 = d->pix_fmt == PixFmt_RGBA16 || d->pix_fmt == PixFmt_RGBX16;
    if (depth == 16 && !out16) png_set_strip_16(png);
    if (depth == 16 && out16) png_set_swap(png);
    if (depth < 16 && out16) png_set_expand_16(png);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_PALETTE)
        png_set_filler(png, out16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);

    if ((type == PNG_COLOR_TYPE_GRAY_ALPHA || type == PNG_COLOR_TYPE_RGB_ALPHA) && !d->alpha_expected)
        snprintf(message, message_size, "%s", "Alpha channel mismatch (Alpha found)");
    else if ((type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB) && d->alpha_expected)
        snprintf(message, message_size, "%s", "Alpha channel mismatch (No alpha found)");

    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) > uint64_t(d->output.linesize[0])) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngRowMismatch;
    }
    for (uint32_t i = 0; i < d->height; i++) d->rows[i] = d->output.data[0] + i * d->output.linesize[0];
    png_read_image(png, d->rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return PngOk;
}

void png_decode_process(VideoFilter *filter) {
    auto *d = filter_node_data<PngDecodeData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (in->data_descriptor != VideoFramePngData) throw_process_error("Invalid data descriptor");
    VideoFrame *out = &d->output;
    out->error_flags = 0;
    out->frame_index = in->frame_index;
    filter->message[0] = '\0';

    MemReader reader{in->data[0], in->data_size[0], 0};
    if (!in->data[0] || reader.size < 8) {
        out->error_flags = VideoFrameError_Corrupt;
        throw_process_error("Failed to read png (Invalid filesize (< 8))");
    }
    if (png_sig_cmp(in->data[0], 0, 8) != 0) {
        out->error_flags = VideoFrameError_Corrupt;
        throw_process_error("Failed to read png (Not a png file)");
    }
    switch (decode_png(d, &reader, filter->message, sizeof(filter->message))) {
    case PngOk: return;
    case PngReadError:
    case PngRowMismatch: out->error_flags = VideoFrameError_Corrupt; throw_process_error("Error reading png file");
    case PngHeaderError: out->error_flags = VideoFrameError_Corrupt; throw_process_error("Error reading png header");
    case PngSizeMismatch:
        out->error_flags = VideoFrameError_InvalidResolution;
        throw_process_error("Fail to decode png image (Resolution mismatch)");
    }
}

void png_decode_destroy(VideoFilter *filter) {
    filter_node_destroy<PngDecodeData>(filter, [](PngDecodeData *d) {
        video_frame_free_planes(&d->output);
        delete[] d->rows;
    });
}

}  // namespace

VideoFilter *create_filter_png_decode(const ImageDecodeParams &params) {
    if (params.width == 0 || params.height == 0) throw_process_error("Invalid decoding resolution");
    if (params.pix_fmt != PixFmt_RGBA8 && params.pix_fmt != PixFmt_RGBX8 && params.pix_fmt != PixFmt_RGBA16 &&
        params.pix_fmt != PixFmt_RGBX16)
        throw_process_error("Invalid out pix fmt");
    return filter_node_create<PngDecodeData>(
        VideoFilterType_PngDecode, 1, png_decode_process, png_decode_destroy, [&](PngDecodeData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->width = params.width;
            d->height = params.height;
            d->pix_fmt = params.pix_fmt;
            d->alpha_expected = params.alpha_expected;
            video_frame_alloc(&d->output, params.width, params.height, params.pix_fmt, 1);
            d->rows = new png_bytep[params.height];
            return &d->output;
        });
}
