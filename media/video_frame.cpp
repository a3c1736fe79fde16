#include "media/video_frame.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/core/aligned_alloc.h"
#include "platform/core/errors.h"

namespace {

struct PixFmtRow {
    const char *name;
    uint8_t nb_planes;
    uint32_t flags;
    uint8_t bpp[4];
    uint8_t depth[4];
    uint32_t sub_w[4];
    uint32_t sub_h[4];
};

// Rows 0 to 38; 39 has a name but no descriptor.
const PixFmtRow kPixFmtTable[kPixFmtCount] = {
    {"Packed ARGB8", 1, 0x26, {4}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBA8", 1, 0x26, {4}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGB8", 1, 0x24, {3}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed BGR8", 1, 0x24, {3}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBX8", 1, 0x24, {4}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBA16 LE", 1, 0x26, {8}, {16}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBX16 LE", 1, 0x24, {8}, {16}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBA32f LE", 1, 0x1026, {16}, {32}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed RGBX32f LE", 1, 0x1024, {16}, {32}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGB8", 3, 0x28, {1, 1, 1}, {8, 8, 8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGBA8", 4, 0x2A, {1, 1, 1, 1}, {8, 8, 8, 8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGB 10 bits LE", 3, 0x28, {2, 2, 2}, {10, 10, 10}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGB 12 bits LE", 3, 0x28, {2, 2, 2}, {12, 12, 12}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGB 16 bits LE", 3, 0x28, {2, 2, 2}, {16, 16, 16}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGBA 16 bits LE", 4, 0x2A, {2, 2, 2, 2}, {16, 16, 16, 16}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGB 32f LE", 3, 0x1028, {4, 4, 4}, {32, 32, 32}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar RGBA 32f LE", 4, 0x102A, {4, 4, 4, 4}, {32, 32, 32, 32}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar Grey8", 1, 0x18, {1}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar Grey 10 bits LE", 1, 0x18, {2}, {10}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar Grey 12 bits LE", 1, 0x18, {2}, {12}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar Grey 16 bits LE", 1, 0x18, {2}, {16}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar Grey 32f bits LE", 1, 0x1018, {4}, {32}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUV 420", 3, 0x148, {1, 1, 1}, {8, 8, 8}, {1, 2, 2, 1}, {1, 2, 2, 1}},
    {"Planar YUV 422", 3, 0x248, {1, 1, 1}, {8, 8, 8}, {1, 2, 2, 1}, {1, 1, 1, 1}},
    {"Planar YUV 444", 3, 0x448, {1, 1, 1}, {8, 8, 8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUVA 422", 4, 0x14A, {1, 1, 1, 1}, {8, 8, 8, 8}, {1, 2, 2, 1}, {1, 2, 2, 1}},
    {"Planar YUVA 444", 4, 0x44A, {1, 1, 1, 1}, {8, 8, 8, 8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUV 420 10 bits LE", 3, 0x148, {2, 2, 2}, {10, 10, 10}, {1, 2, 2, 1}, {1, 2, 2, 1}},
    {"Planar YUV 422 10 bits LE", 3, 0x248, {2, 2, 2}, {10, 10, 10}, {1, 2, 2, 1}, {1, 1, 1, 1}},
    {"Planar YUV 444 10 bits LE", 3, 0x448, {2, 2, 2}, {10, 10, 10}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUVA 444 10 bits LE", 4, 0x44A, {2, 2, 2, 2}, {10, 10, 10, 10}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUV 422 12 bits LE", 3, 0x248, {2, 2, 2}, {12, 12, 12}, {1, 2, 2, 1}, {1, 1, 1, 1}},
    {"Planar YUV 444 12 bits LE", 3, 0x448, {2, 2, 2}, {12, 12, 12}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Planar YUVA 444 12 bits LE", 4, 0x44A, {2, 2, 2, 2}, {12, 12, 12, 12}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed UYVY (422)", 1, 0x244, {4}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed V210 (42210LE)", 1, 0x244, {4}, {10}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed UYVY A (422)", 2, 0x246, {4, 1}, {8, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed CMYK8", 1, 0x804, {4}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Packed CMYKA8", 1, 0x806, {5}, {8}, {1, 1, 1, 1}, {1, 1, 1, 1}},
    {"Undefined (Unknown)", 0, 0, {0}, {0}, {1, 1, 1, 1}, {1, 1, 1, 1}},
};

const char *const kDataDescriptorNames[] = {
    "VideoFrameHapData",      "VideoFramePngData",       "VideoFrameJpegData",
    "VideoFrameTiffData",     "VideoFrameProresData",    "VideoFramePhotoJpegData",
    "VideoFrameNotchLcData",  "VideoFrameDxv3Data",      "VideoFrameExrData",
    "VideoFrameDnxHDData",    "VideoFrameDnxHRData",     "VideoFramePsdData",
    "VideoFrameHdrData",      "VideoFrameDxtData_HAP",   "VideoFrameDxtData_HAPA",
    "VideoFrameDxtData_HAPQ", "VideoFrameDxtData_HAPQA", "VideoFrameDxtData_HAPAlphaOnly",
    "VideoFrameDxtData_HAPR", "VideoFrameUnknown",
};

// Plane sizes live in 32-bit fields: anything that does not fit is refused.
constexpr uint64_t kMaxPlaneSize = 0xFFFFFFFFull;

uint64_t round64(uint64_t x) { return (x + 63) & ~uint64_t(63); }

uint64_t div_up(uint64_t n, uint32_t d) { return d < 2 ? n : (n + d - 1) / d; }

uint32_t checked_plane_size(uint64_t size) {
    if (size > kMaxPlaneSize) throw_process_error("Invalid plane size");
    return static_cast<uint32_t>(size);
}

// Releases owned planes and clears every plane entry, so no stale (possibly
// external) pointer can be freed or read later.
void drop_planes(VideoFrame *frame) {
    video_frame_free_planes(frame);
    for (int i = 0; i < 4; ++i) {
        frame->data[i] = nullptr;
        frame->linesize[i] = 0;
        frame->alloc_size[i] = 0;
        frame->data_size[i] = 0;
    }
}

uint64_t abs_linesize(int64_t ls) {
    return ls < 0 ? uint64_t(0) - static_cast<uint64_t>(ls) : static_cast<uint64_t>(ls);
}

}  // namespace

const char *get_video_frame_error_text(uint32_t error_flags) {
    if (error_flags == 0) return nullptr;
    if (error_flags & VideoFrameError_Corrupt) return "Corrupt frame";
    if (error_flags & VideoFrameError_InvalidCodec) return "Invalid codec";
    if (error_flags & VideoFrameError_InvalidResolution) return "Invalid resolution";
    if (error_flags & VideoFrameError_InvalidPixFmt) return "Invalid pixel format";
    if (error_flags & VideoFrameError_ReadFailed) return "Fail to read frame";
    return "Unknown error (flags unknown)";
}

void get_pix_descriptor(PixDescriptor *desc, PixFmt pix_fmt) {
    *desc = PixDescriptor{};
    if (pix_fmt == PixFmt_Undefined) throw_process_error("Can't get pix descriptor : Unknown pixfmt");
    if (pix_fmt > PixFmt_Undefined) return;
    const PixFmtRow &row = kPixFmtTable[pix_fmt];
    desc->nb_planes = row.nb_planes;
    desc->flags = row.flags;
    for (int i = 0; i < 4; ++i) {
        if (i >= row.nb_planes) break;  // later planes keep the defaults
        desc->bytes_per_pixel[i] = row.bpp[i];
        desc->bit_depth[i] = row.depth[i];
        desc->sub_w[i] = row.sub_w[i];
        desc->sub_h[i] = row.sub_h[i];
    }
}

PixDescriptor get_pix_descriptor(PixFmt pix_fmt) {
    PixDescriptor d;
    get_pix_descriptor(&d, pix_fmt);
    return d;
}

const char *get_pix_fmt_name(PixFmt pix_fmt) {
    if (pix_fmt >= kPixFmtCount) return "Unknown pix fmt";
    return kPixFmtTable[pix_fmt].name;
}

const char *get_data_descriptor_name(VideoFrameDataDescriptor descriptor) {
    if (descriptor > VideoFrameUnknown) return "Unknown data descriptor";
    return kDataDescriptorNames[descriptor];
}

// --- Lifetime ------------------------------------------------------------------------

VideoFrame *video_frame_new() {
    auto *frame = new VideoFrame;  // throws std::bad_alloc
    video_frame_init(frame);
    return frame;
}

void video_frame_init(VideoFrame *frame) {
    std::memset(frame, 0, sizeof(*frame));
    frame->is_raw = 1;
    frame->data_descriptor = VideoFrameUnknown;
    frame->pix_fmt = PixFmt_Undefined;
}

void video_frame_free_planes(VideoFrame *frame) {
    if (!frame || frame->is_external) return;
    if (frame->pix_fmt == PixFmt_UYVYA) {
        // Both planes live in the block at data[0].
        zfree_aligned(frame->data[0]);
        frame->data[0] = nullptr;
        frame->data[1] = nullptr;
        return;
    }
    for (int i = 0; i < 4; ++i) {
        zfree_aligned(frame->data[i]);
        frame->data[i] = nullptr;
    }
}

void video_frame_destroy(VideoFrame **frame) {
    if (!frame || !*frame) return;
    video_frame_free_planes(*frame);
    delete *frame;
    *frame = nullptr;
}

// --- Raw frames ----------------------------------------------------------------------

void video_frame_alloc(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align) {
    PixDescriptor desc;
    get_pix_descriptor(&desc, pix_fmt);

    // Sizes first (64-bit), so a refused size changes nothing.
    uint64_t line[4] = {0, 0, 0, 0};
    uint64_t size[4] = {0, 0, 0, 0};
    uint32_t nb_planes = desc.nb_planes;
    if (pix_fmt == PixFmt_UYVY || pix_fmt == PixFmt_UYVYA) {
        line[0] = 2 * ((uint64_t(width) + 1) & ~uint64_t(1));
        if (align) line[0] = round64(line[0]);
        size[0] = line[0] * height;
        if (pix_fmt == PixFmt_UYVYA) {
            line[1] = align ? round64(width) : width;
            size[1] = line[1] * height;
        }
    } else if (pix_fmt == PixFmt_V210) {
        // 128-byte lines whatever align says.
        line[0] = (div_up(width, 6) * 16 + 127) & ~uint64_t(127);
        size[0] = line[0] * height;
    } else {
        for (uint32_t i = 0; i < nb_planes; ++i) {
            uint64_t pw = div_up(width, desc.sub_w[i]);
            uint64_t ph = div_up(height, desc.sub_h[i]);
            line[i] = pw * desc.bytes_per_pixel[i];
            if (align) line[i] = round64(line[i]);
            size[i] = line[i] * ph;
        }
    }
    for (uint32_t i = 0; i < nb_planes; ++i) checked_plane_size(size[i]);
    if (pix_fmt == PixFmt_UYVYA) checked_plane_size(size[0] + size[1]);

    drop_planes(frame);
    frame->is_raw = 1;
    frame->is_external = 0;
    frame->width = frame->alloc_width = width;
    frame->height = frame->alloc_height = height;
    frame->pix_fmt = pix_fmt;
    frame->nb_planes = nb_planes;
    frame->block_bytes[0] = frame->block_bytes[1] = 0;
    for (uint32_t i = 0; i < nb_planes; ++i) {
        frame->linesize[i] = static_cast<int64_t>(line[i]);
        frame->alloc_size[i] = frame->data_size[i] = static_cast<uint32_t>(size[i]);
    }

    if (pix_fmt == PixFmt_UYVYA) {
        auto *block = static_cast<uint8_t *>(zalloc_aligned_or_throw(size[0] + size[1]));
        frame->data[0] = block;
        frame->data[1] = block + size[0];
        return;
    }
    // A failure leaves the planes allocated so far in the frame, freed with it.
    for (uint32_t i = 0; i < nb_planes; ++i) frame->data[i] = static_cast<uint8_t *>(zalloc_aligned_or_throw(size[i]));
}

void video_frame_alloc_round(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align,
                             uint32_t round_width, uint32_t round_height) {
    if (round_width < width || round_height < height) throw_process_error("Invalid round resolution");
    video_frame_alloc(frame, round_width, round_height, pix_fmt, align);
    frame->width = width;
    frame->height = height;
}

void video_frame_realloc_if_changed(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align) {
    if (!frame->is_external && frame->is_raw && frame->width == width && frame->height == height &&
        frame->pix_fmt == pix_fmt && frame->data[0] != nullptr)
        return;
    // External planes stay with their owner: video_frame_alloc only drops the pointers.
    video_frame_alloc(frame, width, height, pix_fmt, align);
    frame->data_descriptor = VideoFrameUnknown;
}

void video_frame_set_external_planes(VideoFrame *frame, uint8_t *const planes[4], const int64_t linesizes[4],
                                     uint32_t width, uint32_t height, PixFmt pix_fmt) {
    PixDescriptor desc;
    get_pix_descriptor(&desc, pix_fmt);
    uint32_t size[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < desc.nb_planes; ++i) {
        uint64_t rows = div_up(height, desc.sub_h[i]);
        uint64_t line = abs_linesize(linesizes[i]);
        // Refuse before multiplying so the product cannot wrap.
        if (line >= kMaxPlaneSize || (rows != 0 && line * rows >= kMaxPlaneSize))
            throw_process_error("Invalid plane size");
        size[i] = static_cast<uint32_t>(line * rows);
    }

    drop_planes(frame);
    frame->nb_planes = desc.nb_planes;
    frame->is_external = 1;
    frame->is_raw = 1;
    frame->pix_fmt = pix_fmt;
    frame->error_flags = 0;
    frame->width = frame->alloc_width = width;
    frame->height = frame->alloc_height = height;
    for (uint32_t i = 0; i < desc.nb_planes; ++i) {
        frame->data[i] = planes[i];
        frame->linesize[i] = linesizes[i];
        frame->alloc_size[i] = frame->data_size[i] = size[i];
    }
}

// --- Texture frames ------------------------------------------------------------------

void video_frame_alloc_dxt(VideoFrame *frame, uint32_t width, uint32_t height, VideoFrameDataDescriptor descriptor) {
    DxtCodec codecs[2];
    uint32_t nb_planes = 1;
    switch (descriptor) {
    case VideoFrameDxtData_HAP: codecs[0] = DxtCodec_DXT1; break;
    case VideoFrameDxtData_HAPA:
    case VideoFrameDxtData_HAPQ: codecs[0] = DxtCodec_DXT5; break;
    case VideoFrameDxtData_HAPQA:
        codecs[0] = DxtCodec_DXT5;
        codecs[1] = DxtCodec_RGTC1;
        nb_planes = 2;
        break;
    case VideoFrameDxtData_HAPAlphaOnly: codecs[0] = DxtCodec_RGTC1; break;
    case VideoFrameDxtData_HAPR: codecs[0] = DxtCodec_BC7; break;
    default: throw_process_error("DXT frame : invalid dxt codec");
    }

    const uint64_t aw = (uint64_t(width) + 3) & ~uint64_t(3);
    const uint64_t ah = (uint64_t(height) + 3) & ~uint64_t(3);
    if (aw > UINT32_MAX || ah > UINT32_MAX) throw_process_error("Invalid plane size");
    uint64_t line[2] = {0, 0};
    uint64_t size[2] = {0, 0};
    for (uint32_t i = 0; i < nb_planes; ++i) {
        line[i] = aw / 4 * get_dxt_block_bytes(codecs[i]);
        size[i] = checked_plane_size(line[i] * (ah / 4));
    }

    drop_planes(frame);
    frame->is_raw = 0;
    frame->is_external = 0;
    frame->width = width;
    frame->height = height;
    frame->alloc_width = static_cast<uint32_t>(aw);
    frame->alloc_height = static_cast<uint32_t>(ah);
    frame->data_descriptor = descriptor;
    frame->nb_planes = nb_planes;
    frame->block_bytes[0] = frame->block_bytes[1] = 0;
    for (uint32_t i = 0; i < nb_planes; ++i) {
        frame->block_bytes[i] = static_cast<uint8_t>(get_dxt_block_bytes(codecs[i]));
        frame->linesize[i] = static_cast<int64_t>(line[i]);
        frame->alloc_size[i] = frame->data_size[i] = static_cast<uint32_t>(size[i]);
    }
    for (uint32_t i = 0; i < nb_planes; ++i) frame->data[i] = static_cast<uint8_t *>(zalloc_aligned_or_throw(size[i]));
}

// --- Compressed samples --------------------------------------------------------------

void video_frame_alloc_compressed(VideoFrame *frame, uint32_t length, VideoFrameDataDescriptor descriptor) {
    const uint64_t need = uint64_t(length) + 64;
    if (need > kMaxPlaneSize) throw_process_error("Invalid plane size");

    frame->error_flags = 0;
    frame->is_raw = 0;
    frame->data_descriptor = descriptor;
    const bool reuse = !frame->is_external && frame->data[0] && frame->alloc_size[0] >= need;
    if (reuse) {
        // Keep plane 0, release whatever else the frame owned.
        if (frame->pix_fmt == PixFmt_UYVYA) {
            frame->data[1] = nullptr;
        } else {
            for (int i = 1; i < 4; ++i) zfree_aligned(frame->data[i]);
        }
        uint8_t *keep = frame->data[0];
        uint32_t keep_size = frame->alloc_size[0];
        for (int i = 0; i < 4; ++i) {
            frame->data[i] = nullptr;
            frame->linesize[i] = 0;
            frame->alloc_size[i] = frame->data_size[i] = 0;
        }
        frame->data[0] = keep;
        frame->alloc_size[0] = keep_size;
    } else {
        drop_planes(frame);
        frame->is_external = 0;
        frame->data[0] = static_cast<uint8_t *>(zalloc_aligned_or_throw(need));
        frame->alloc_size[0] = static_cast<uint32_t>(need);
    }
    frame->nb_planes = 1;
    frame->data_size[0] = length;
    frame->frame_index = 0;
    frame->is_external = 0;
}

void video_frame_set_compressed_data(VideoFrame *frame, uint8_t *buffer, uint32_t length,
                                     VideoFrameDataDescriptor descriptor) {
    drop_planes(frame);
    frame->nb_planes = 1;
    frame->is_external = 1;
    frame->is_raw = 0;
    frame->data_descriptor = descriptor;
    frame->data[0] = buffer;
    frame->data_size[0] = length;
    frame->alloc_size[0] = length;
}

// --- Copies --------------------------------------------------------------------------

void video_frame_copy_header(VideoFrame *dst, const VideoFrame *src) {
    if (dst == src) { return; }
    // dst is about to share src's planes: what it owned would be lost otherwise.
    drop_planes(dst);
    dst->is_external = 1;
    dst->error_flags = src->error_flags;
    dst->is_raw = src->is_raw;
    dst->data_descriptor = src->data_descriptor;
    dst->pix_fmt = src->pix_fmt;
    dst->width = src->width;
    dst->height = src->height;
    dst->alloc_width = src->alloc_width;
    dst->alloc_height = src->alloc_height;
    dst->nb_planes = src->nb_planes;
    for (uint32_t i = 0; i < std::min<uint32_t>(src->nb_planes, 4); ++i) {
        dst->data[i] = src->data[i];
        dst->linesize[i] = src->linesize[i];
        dst->alloc_size[i] = src->alloc_size[i];
        dst->data_size[i] = src->data_size[i];
    }
    dst->frame_index = src->frame_index;
    dst->block_bytes[0] = src->block_bytes[0];
    dst->block_bytes[1] = src->block_bytes[1];
    dst->rect_flags = src->rect_flags;
    dst->rect = src->rect;
}

void video_frame_copy(VideoFrame *dst, const VideoFrame *src) {
    if (!dst) throw_process_error("Invalid dst video frame (copy)");
    if (!src) throw_process_error("Invalid src video frame (copy)");

    const bool row_mode = src->is_raw == 1 && src->pix_fmt != PixFmt_Undefined;
    PixDescriptor desc;
    if (row_mode) get_pix_descriptor(&desc, src->pix_fmt);

    dst->frame_index = src->frame_index;

    for (int i = 0; i < 4; ++i) {
        if (!src->data[i] || !dst->data[i]) break;
        const int64_t sls = src->linesize[i];
        const int64_t dls = dst->linesize[i];
        // A negative line size (bottom-up plane) cannot be copied in one piece.
        if (row_mode && (sls != dls || sls < 0)) {
            if (sls == 0 || dls == 0) {
                printf("ERR : Src linesize : %td ; Dst linesize : %td\n", static_cast<ptrdiff_t>(sls),
                       static_cast<ptrdiff_t>(dls));
                throw_process_error("Invalid linesize");
            }
            const uint64_t sabs = abs_linesize(sls);
            const uint64_t dabs = abs_linesize(dls);
            // Rows the source has, bounded by the rows each plane really holds.
            uint64_t rows = div_up(src->height, desc.sub_h[i]);
            rows = std::min(rows, div_up(std::max(dst->height, dst->alloc_height), desc.sub_h[i]));
            rows = std::min(rows, uint64_t(src->data_size[i]) / sabs);
            rows = std::min(rows, uint64_t(dst->data_size[i]) / dabs);
            const size_t row_bytes = static_cast<size_t>(std::min(sabs, dabs));
            const uint8_t *s = src->data[i];
            uint8_t *d = dst->data[i];
            for (uint64_t r = 0; r < rows; ++r) {
                std::memcpy(d, s, row_bytes);
                s += sls;
                d += dls;
            }
        } else {
            const uint32_t n = std::min(dst->data_size[i], src->data_size[i]);
            if (n == 0) {
                printf("WARN : Can't copy data for plane : %d (size src : %u ; size dst : %u)\n", i, src->data_size[i],
                       dst->data_size[i]);
                break;
            }
            std::memcpy(dst->data[i], src->data[i], n);
        }
    }
}

// --- Texture sizing ------------------------------------------------------------------

uint32_t get_dxt_block_count(uint32_t n) { return static_cast<uint32_t>((uint64_t(n) + 3) / 4); }

uint32_t round_up_mult_4(uint32_t n) { return (n + 3) & ~uint32_t(3); }

uint32_t get_dxt_block_bytes(DxtCodec codec) {
    switch (codec) {
    case DxtCodec_DXT1: return 8;
    case DxtCodec_DXT5: return 16;
    case DxtCodec_RGTC1: return 8;
    case DxtCodec_BC7: return 16;
    }
    throw_process_error("Unknown dxt codec");
}

uint32_t get_dxt_data_size(uint32_t width, uint32_t height, DxtCodec codec) {
    const uint64_t size =
        uint64_t(get_dxt_block_count(width)) * get_dxt_block_count(height) * get_dxt_block_bytes(codec);
    return checked_plane_size(size);
}
