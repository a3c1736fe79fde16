#include "pipeline/filters/filter_checks.h"

uint64_t plane_row_bytes(const PixDescriptor &desc, PixFmt pix_fmt, uint32_t plane, uint32_t width) {
    if (pix_fmt == PixFmt_V210) return (uint64_t(width) + 5) / 6 * 16;
    if ((pix_fmt == PixFmt_UYVY || pix_fmt == PixFmt_UYVYA) && plane == 0) return (uint64_t(width) + 1) / 2 * 4;
    const uint32_t sub = desc.sub_w[plane] < 2 ? 1 : desc.sub_w[plane];
    return (uint64_t(width) + sub - 1) / sub * desc.bytes_per_pixel[plane];
}

uint64_t plane_rows(const PixDescriptor &desc, uint32_t plane, uint32_t height) {
    const uint32_t sub = desc.sub_h[plane] < 2 ? 1 : desc.sub_h[plane];
    return (uint64_t(height) + sub - 1) / sub;
}

bool raw_frame_fits(const VideoFrame *frame, PixFmt pix_fmt, uint32_t width, uint32_t height) {
    if (!frame || !frame->is_raw || frame->pix_fmt != pix_fmt || pix_fmt >= PixFmt_Undefined) return false;
    if (frame->width != width || frame->height != height) return false;
    const PixDescriptor desc = get_pix_descriptor(pix_fmt);
    if (frame->nb_planes < desc.nb_planes) return false;
    for (uint32_t i = 0; i < desc.nb_planes; ++i) {
        const uint64_t row = plane_row_bytes(desc, pix_fmt, i, width);
        const uint64_t rows = plane_rows(desc, i, height);
        if (rows == 0 || row == 0) continue;
        if (!frame->data[i]) return false;
        const int64_t ls = frame->linesize[i];
        const uint64_t line = ls < 0 ? uint64_t(0) - uint64_t(ls) : uint64_t(ls);
        if (line < row || line > frame->data_size[i]) return false;
        if (line * (rows - 1) + row > frame->data_size[i]) return false;
    }
    return true;
}
