#include <turbojpeg.h>

#include <cstdio>
#include <new>

#include "media/filter_node.h"
#include "pipeline/image/image_decode.h"
#include "platform/core/errors.h"

namespace {

struct JpegDecodeData {
    VideoFrame output;
    uint32_t width;
    uint32_t height;
    tjhandle handle;
};

void jpeg_decode_process(VideoFilter *filter) {
    auto *d = filter_node_data<JpegDecodeData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    if (in->data_descriptor != VideoFrameJpegData) throw_process_error("Invalid data descriptor");
    VideoFrame *out = &d->output;
    out->error_flags = 0;
    out->frame_index = in->frame_index;
    filter->message[0] = '\0';

    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (!in->data[0] ||
        tjDecompressHeader3(d->handle, in->data[0], in->data_size[0], &w, &h, &subsamp, &colorspace) != 0) {
        printf("ERR : Fail to decode jpeg header\n");
        out->error_flags = VideoFrameError_Corrupt;
        throw_process_error("Fail to decode jpeg image (Not a valid jpeg file, corrupt header)");
    }
    int pixel_format = TJPF_RGBX;
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
        pixel_format = TJPF_CMYK;
        snprintf(filter->message, sizeof(filter->message), "%s", "CMYK file. Colors can be inaccurate");
    }
    if (w != int(d->width) || h != int(d->height)) {
        printf("ERR : Fail to decode jpeg (resolution mismatch : Found : %dx%d ; Expected : %u x %u)\n", w, h, d->width,
               d->height);
        out->error_flags = VideoFrameError_InvalidResolution;
        throw_process_error("Fail to decode jpeg image (Resolution mismatch)");
    }
    int ret = tjDecompress2(d->handle, in->data[0], in->data_size[0], out->data[0], int(d->width),
                            int(out->linesize[0]), int(d->height), pixel_format, TJFLAG_FASTDCT);
    if (ret != 0) {
        printf("ERR : Fail to decode jpeg data : %d\n", ret);
        out->error_flags = VideoFrameError_Corrupt;
        throw_process_error("Fail to decode jpeg image (Corrupt data)");
    }
}

void jpeg_decode_destroy(VideoFilter *filter) {
    filter_node_destroy<JpegDecodeData>(filter, [](JpegDecodeData *d) {
        video_frame_free_planes(&d->output);
        if (d->handle) tjDestroy(d->handle);
    });
}

}  // namespace

VideoFilter *create_filter_jpeg_decode(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) throw_process_error("Invalid decoding resolution");
    return filter_node_create<JpegDecodeData>(VideoFilterType_JpegDecode, 1, jpeg_decode_process, jpeg_decode_destroy,
                                              [&](JpegDecodeData *d) -> VideoFrame * {
                                                  video_frame_init(&d->output);
                                                  d->width = width;
                                                  d->height = height;
                                                  // TurboJPEG takes sizes and pitch as int.
                                                  if (width > 0x7FFFFFF || height > 0x7FFFFFF)
                                                      throw_process_error("Invalid decoding resolution");
                                                  video_frame_alloc(&d->output, width, height, PixFmt_RGBX8, 1);
                                                  d->handle = tjInitDecompress();
                                                  if (!d->handle)
                                                      throw_process_error("Failed to initialize jpeg decoding");
                                                  return &d->output;
                                              });
}
