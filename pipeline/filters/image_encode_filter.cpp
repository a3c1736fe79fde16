#include "pipeline/filters/image_encode_filter.h"

#include <png.h>
#include <turbojpeg.h>

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "media/filter_node.h"
#include "pipeline/filters/filter_checks.h"
#include "platform/core/errors.h"

namespace {

// --- PNG -----------------------------------------------------------------------------

struct PngEncodeData {
    VideoFrame output;
    uint8_t channels;
    uint8_t bit_depth;
    uint32_t compression;
    uint8_t *buffer;  // malloc'd, grown by every written block
    size_t length;
};

enum PngStatus { PngOk = 0, PngNoWriteStruct = 1, PngNoInfoStruct = 2, PngLibError = 3, PngBadChannels = 4 };

void png_write_to_buffer(png_structp png, png_bytep data, png_size_t size) {
    auto *d = static_cast<PngEncodeData *>(png_get_io_ptr(png));
    auto *grown = static_cast<uint8_t *>(realloc(d->buffer, d->length + size));
    if (!grown) png_error(png, "Write Error");
    d->buffer = grown;
    memcpy(d->buffer + d->length, data, size);
    d->length += size;
}

// libpng reports errors by a long jump back here: no object with a destructor may live in
// this frame.
PngStatus png_encode(PngEncodeData *d, uint32_t width, uint32_t height, png_bytepp rows, int transforms) {
    png_structp png = png_create_write_struct("1.6.30", nullptr, nullptr, nullptr);
    if (!png) return PngNoWriteStruct;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return PngNoInfoStruct;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return PngLibError;
    }
    int color_type;
    switch (d->channels) {
    case 1: color_type = PNG_COLOR_TYPE_GRAY; break;
    case 2: color_type = PNG_COLOR_TYPE_GRAY_ALPHA; break;
    case 3: color_type = PNG_COLOR_TYPE_RGB; break;
    case 4: color_type = PNG_COLOR_TYPE_RGBA; break;
    default: png_destroy_write_struct(&png, &info); return PngBadChannels;
    }
    png_set_IHDR(png, info, width, height, d->bit_depth, color_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (d->compression == 1) {
        png_set_compression_level(png, 3);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
    } else if (d->compression == 0) {
        png_set_compression_level(png, 2);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_UP);
    }
    png_set_rows(png, info, rows);
    png_set_write_fn(png, d, png_write_to_buffer, nullptr);
    png_write_png(png, info, transforms, nullptr);
    png_destroy_write_struct(&png, &info);
    return PngOk;
}

void png_encode_process(VideoFilter *filter) {
    auto *d = filter_node_data<PngEncodeData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    free(d->buffer);
    d->buffer = nullptr;
    d->length = 0;
    video_frame_init(&d->output);

    const PixFmt fmt = in->pix_fmt;
    const bool packed_4 = fmt == PixFmt_RGBA8 || fmt == PixFmt_RGBX8 || fmt == PixFmt_RGBA16 || fmt == PixFmt_RGBX16;
    int transforms = PNG_TRANSFORM_IDENTITY;
    if (packed_4 && d->channels == 3) transforms |= PNG_TRANSFORM_STRIP_FILLER_AFTER;
    if (fmt == PixFmt_RGBA16 || fmt == PixFmt_RGBX16 || fmt == PixFmt_Grey16) transforms |= PNG_TRANSFORM_SWAP_ENDIAN;

    // libpng reads every row in full: make sure the input holds them.
    const uint64_t samples = uint64_t(d->channels) + ((transforms & PNG_TRANSFORM_STRIP_FILLER_AFTER) ? 1 : 0);
    const uint64_t row_bytes = uint64_t(in->width) * samples * (d->bit_depth > 8 ? 2 : 1);
    const uint64_t line = in->linesize[0] < 0 ? uint64_t(0) - uint64_t(in->linesize[0]) : uint64_t(in->linesize[0]);
    if (in->height && (!in->is_raw || !in->data[0] || line < row_bytes || line > in->data_size[0] ||
                       line * (in->height - 1) + row_bytes > in->data_size[0]))
        throw_process_error("Invalid input frame size");

    std::vector<png_bytep> rows(in->height);
    for (uint32_t i = 0; i < in->height; ++i) rows[i] = in->data[0] + int64_t(i) * in->linesize[0];
    switch (png_encode(d, in->width, in->height, rows.data(), transforms)) {
    case PngOk: break;
    case PngNoWriteStruct: throw_process_error("Fail to encode png 1");
    case PngNoInfoStruct: throw_process_error("Fail to encode png 2");
    case PngLibError: throw_process_error("Fail to encode png 3");
    case PngBadChannels: throw_process_error("Invalid channel count");
    }
    if (d->length > UINT32_MAX) throw_process_error("Invalid plane size");
    video_frame_set_compressed_data(&d->output, d->buffer, uint32_t(d->length), VideoFramePngData);
    d->output.frame_index = in->frame_index;
}

void png_encode_destroy(VideoFilter *filter) {
    filter_node_destroy<PngEncodeData>(filter, [](PngEncodeData *d) { free(d->buffer); });
}

// --- JPEG ----------------------------------------------------------------------------

struct JpegEncodeData {
    VideoFrame output;
    uint32_t width;
    uint32_t height;
    uint32_t quality;
    tjhandle handle;
    unsigned char *buffer;  // TurboJPEG's
    unsigned long length;
};

void jpeg_encode_process(VideoFilter *filter) {
    auto *d = filter_node_data<JpegEncodeData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (in->pix_fmt != PixFmt_RGBA8 && in->pix_fmt != PixFmt_RGBX8)
        throw_process_error("Encode Jpeg : unsupported pix fmt");
    tjFree(d->buffer);
    d->buffer = nullptr;
    d->length = 0;
    video_frame_init(&d->output);
    // Every frame gets a fresh compressor.
    if (d->handle) tjDestroy(d->handle);
    d->handle = tjInitCompress();
    if (!d->handle) throw_process_error("Fail to init jpeg encoding");

    // The compressor reads width x height pixels through plane 0.
    if (!raw_frame_fits(in, in->pix_fmt, d->width, d->height)) throw_process_error("Invalid input frame size");
    const int64_t ls = in->linesize[0];
    if (ls > INT_MAX || ls < -int64_t(INT_MAX) || d->width > INT_MAX || d->height > INT_MAX)
        throw_process_error("Invalid input frame size");
    const unsigned char *start = in->data[0];
    int pitch = int(ls);
    int flags = TJFLAG_FASTDCT;
    if (ls < 0) {
        // Rows go up in memory: hand the lowest row first, read bottom-up.
        start = in->data[0] + int64_t(d->height - 1) * ls;
        pitch = int(-ls);
        flags |= TJFLAG_BOTTOMUP;
    }
    if (tjCompress2(d->handle, start, int(d->width), pitch, int(d->height), TJPF_RGBX, &d->buffer, &d->length,
                    TJSAMP_420, int(d->quality), flags) != 0 ||
        d->length == 0 || d->length > UINT32_MAX) {
        tjFree(d->buffer);
        d->buffer = nullptr;
        d->length = 0;
        throw_process_error("Fail to encode jpeg");
    }
    video_frame_set_compressed_data(&d->output, d->buffer, uint32_t(d->length), VideoFrameJpegData);
    d->output.frame_index = in->frame_index;
}

void jpeg_encode_destroy(VideoFilter *filter) {
    filter_node_destroy<JpegEncodeData>(filter, [](JpegEncodeData *d) {
        if (d->handle) tjDestroy(d->handle);
        tjFree(d->buffer);
    });
}

}  // namespace

VideoFilter *create_filter_png_encode(const PngEncodeParams &params) {
    return filter_node_create<PngEncodeData>(VideoFilterType_PngEncode, 1, png_encode_process, png_encode_destroy,
                                             [&](PngEncodeData *d) -> VideoFrame * {
                                                 video_frame_init(&d->output);
                                                 d->channels = params.channels;
                                                 d->bit_depth = params.bit_depth;
                                                 d->compression = params.compression;
                                                 return &d->output;
                                             });
}

VideoFilter *create_filter_jpeg_encode(const JpegEncodeParams &params) {
    return filter_node_create<JpegEncodeData>(
        VideoFilterType_JpegEncode, 1, jpeg_encode_process, jpeg_encode_destroy,
        [&](JpegEncodeData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->width = params.width;
            d->height = params.height;
            d->quality = params.quality == 0 ? 1 : (params.quality > 100 ? 100 : params.quality);
            d->handle = tjInitCompress();
            if (!d->handle) throw_process_error("Fail to init jpeg encoding");
            return &d->output;
        });
}
