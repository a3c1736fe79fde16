#include "pipeline/filters/crop_detect_filter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "media/filter_node.h"
#include "pipeline/filters/filter_checks.h"
#include "platform/core/errors.h"

namespace {

// Per frame row: first non-transparent column and one past the last; a fully transparent
// row holds the width twice.
struct RowSpan {
    uint32_t first;
    uint32_t end;
};

using CornerTest = bool (*)(const VideoFrame *frame);
using RowScanner = void (*)(const VideoFrame *frame, RowSpan *spans);
using AlphaNeedTest = bool (*)(const VideoFrame *frame);

struct CropDetectData {
    CropDetectParams params;
    RowSpan *spans;
    uint32_t span_capacity;  // rows
    CornerTest corner_test;
    RowScanner scan_rows;
    AlphaNeedTest alpha_need;
    bool has_alpha;
    CropDetectResult *result;  // owned
};

// Alpha sample of a layout: type T at byte Offset of each PixelBytes-byte pixel of plane
// Plane, compared after masking with Mask (integers).
template <typename T, int Plane, int PixelBytes, int Offset, uint32_t Mask>
struct AlphaOf {
    static T at(const uint8_t *row, uint32_t x) {
        T v;
        memcpy(&v, row + size_t(x) * PixelBytes + Offset, sizeof(T));
        return v;
    }
    static bool transparent(const uint8_t *row, uint32_t x) {
        if constexpr (std::is_floating_point_v<T>)
            return at(row, x) == T(0);  // NaN is not zero
        else
            return (uint32_t(at(row, x)) & Mask) == 0;
    }
    static bool full(const uint8_t *row, uint32_t x) {
        if constexpr (std::is_floating_point_v<T>)
            return at(row, x) == T(1);  // NaN is not full
        else
            return (uint32_t(at(row, x)) & Mask) == Mask;
    }
    static const uint8_t *row(const VideoFrame *f, uint32_t y) {
        return f->data[Plane] + int64_t(y) * f->linesize[Plane];
    }
};

template <class A>
bool corner_test(const VideoFrame *f) {
    if (!f->is_raw) throw_process_error("Invalid data type video frame");
    const uint32_t w = f->width, h = f->height;
    if (w == 0 || h == 0) return false;
    const bool tl = A::transparent(A::row(f, 0), 0);
    const bool tr = A::transparent(A::row(f, 0), w - 1);
    const bool bl = A::transparent(A::row(f, h - 1), 0);
    const bool br = A::transparent(A::row(f, h - 1), w - 1);
    return (tl || br) && (tr || bl);
}

template <class A>
void scan_rows(const VideoFrame *f, RowSpan *spans) {
    const uint32_t w = f->width;
    for (uint32_t y = 0; y < f->height; ++y) {
        const uint8_t *row = A::row(f, y);
        uint32_t first = 0;
        while (first < w && A::transparent(row, first)) ++first;
        uint32_t end = w;
        if (first < w && w > 1) {
            while (end > first + 1 && A::transparent(row, end - 1)) --end;
        }
        spans[y] = {first, end};
    }
}

template <class A>
bool alpha_need_pixels(const VideoFrame *f) {
    for (uint32_t y = 0; y < f->height; ++y) {
        const uint8_t *row = A::row(f, y);
        for (uint32_t x = 0; x < f->width; ++x)
            if (!A::full(row, x)) return true;
    }
    return false;
}

template <class A>
void set_ops(CropDetectData *d) {
    d->corner_test = corner_test<A>;
    d->scan_rows = scan_rows<A>;
}

using AlphaRgba8 = AlphaOf<uint8_t, 0, 4, 3, 0xff>;
using AlphaRgba16 = AlphaOf<uint16_t, 0, 8, 6, 0xffff>;
using AlphaRgba32f = AlphaOf<float, 0, 16, 12, 0>;
using AlphaPlane8 = AlphaOf<uint8_t, 3, 1, 0, 0xff>;
using AlphaPlane16 = AlphaOf<uint16_t, 3, 2, 0, 0xffff>;
using AlphaPlane32f = AlphaOf<float, 3, 4, 0, 0>;
using AlphaPlane10 = AlphaOf<uint16_t, 3, 2, 0, 0x3ff>;
using AlphaPlane12 = AlphaOf<uint16_t, 3, 2, 0, 0xfff>;

bool choose_ops(CropDetectData *d, PixFmt fmt) {
    switch (fmt) {
    case PixFmt_RGBA8: set_ops<AlphaRgba8>(d); return true;
    case PixFmt_RGBA16: set_ops<AlphaRgba16>(d); return true;
    case PixFmt_RGBA32F: set_ops<AlphaRgba32f>(d); return true;
    case PixFmt_PlanarRGBA8:
    case PixFmt_YUVA420:
    case PixFmt_YUVA444: set_ops<AlphaPlane8>(d); return true;
    case PixFmt_PlanarRGBA16: set_ops<AlphaPlane16>(d); return true;
    case PixFmt_PlanarRGBA32F: set_ops<AlphaPlane32f>(d); return true;
    case PixFmt_YUVA444_10: set_ops<AlphaPlane10>(d); return true;
    case PixFmt_YUVA444_12: set_ops<AlphaPlane12>(d); return true;
    default: return false;
    }
}

AlphaNeedTest pixel_alpha_need(PixFmt fmt) {
    switch (fmt) {
    case PixFmt_RGBA8: return alpha_need_pixels<AlphaRgba8>;
    case PixFmt_RGBA16: return alpha_need_pixels<AlphaRgba16>;
    case PixFmt_RGBA32F: return alpha_need_pixels<AlphaRgba32f>;
    default: return nullptr;
    }
}

uint32_t align_far_border(uint32_t border, uint32_t size) {
    if (size % 4 == 0) return border & ~3u;
    const uint64_t kept = (uint64_t(size) - border + 3) & ~uint64_t(3);
    return kept > size ? 0 : uint32_t(size - kept);
}

void measure(CropDetectData *d, const VideoFrame *f) {
    CropDetectResult *res = d->result;
    const uint32_t w = f->width, h = f->height;
    if (d->span_capacity < h) {
        auto *spans = new (std::nothrow) RowSpan[h];
        if (!spans) throw std::bad_alloc();
        delete[] d->spans;
        d->spans = spans;
        d->span_capacity = h;
    }
    if (!d->spans) throw_process_error("Invalid arr alpha index");
    if (!d->corner_test || !d->corner_test(f)) return;
    d->scan_rows(f, d->spans);
    uint32_t top = 0;
    while (top < h && d->spans[top].first == w) ++top;
    if (top == h) {
        res->empty = 1;
        return;
    }
    uint32_t bottom = 0;
    while (d->spans[h - 1 - bottom].first == w) ++bottom;
    uint32_t left = w, right = w;
    for (uint32_t y = top; y < h - bottom; ++y) {
        if (d->spans[y].first == w) continue;
        left = std::min(left, d->spans[y].first);
        right = std::min(right, w - d->spans[y].end);
    }
    if (d->params.align_4 == 1) {
        left &= ~3u;
        top &= ~3u;
        right = align_far_border(right, w);
        bottom = align_far_border(bottom, h);
    }
    if (left || top || right || bottom) {
        res->left = left;
        res->top = top;
        res->right = right;
        res->bottom = bottom;
        res->found = 1;
    }
}

void write_back(const CropDetectData *d, VideoFrame *f) {
    const CropDetectResult *res = d->result;
    const uint32_t w = f->width, h = f->height;
    if (res->empty) {
        f->rect_flags = VideoFrameRect_NoContent | VideoFrameRect_Valid;
        f->rect = {0, 0, 0, 0};
        return;
    }
    if (!d->has_alpha) {
        f->rect_flags &= ~VideoFrameRect_Valid;
        return;
    }
    if (uint64_t(res->left) + res->right == w || uint64_t(res->top) + res->bottom == h) {
        f->rect_flags = VideoFrameRect_NoContent | VideoFrameRect_Valid;
        f->rect = {0, 0, 0, 0};
        return;
    }
    f->rect_flags &= ~VideoFrameRect_NoContent;
    f->rect = {res->left, res->top, w - res->left - res->right, h - res->top - res->bottom};
    if (uint64_t(f->rect.x) + f->rect.w > w) {
        printf("Invalid zrect horizontal : x : %u ; w : %u (width : %u)\n", f->rect.x, f->rect.w, w);
        f->rect_flags &= ~VideoFrameRect_Valid;
    } else if (uint64_t(f->rect.y) + f->rect.h > h) {
        printf("Invalid zrect vertical : y : %u ; h : %u (height : %u)\n", f->rect.y, f->rect.h, h);
        f->rect_flags &= ~VideoFrameRect_Valid;
    } else {
        f->rect_flags |= VideoFrameRect_Valid;
    }
}

void relabel_without_alpha(VideoFrame *f) {
    switch (f->pix_fmt) {
    case PixFmt_RGBA8: f->pix_fmt = PixFmt_RGBX8; break;
    case PixFmt_RGBA16: f->pix_fmt = PixFmt_RGBX16; break;
    case PixFmt_RGBA32F: f->pix_fmt = PixFmt_RGBX32F; break;
    default: printf("WARNING : can't get no alpha pix fmt : %s\n", get_pix_fmt_name(f->pix_fmt)); break;
    }
}

void crop_detect_process(VideoFilter *filter) {
    auto *d = filter_node_data<CropDetectData>(filter);
    if (!d->result) throw_process_error("Invalid output info");
    VideoFrame *in = filter_node_input(filter);
    if (in->pix_fmt != d->params.pix_fmt) throw_process_error("Unexpected pix fmt");
    *d->result = CropDetectResult{};
    if (d->corner_test) {
        if (!in->is_raw) throw_process_error("Invalid data type video frame");
        // Every row is read up to the frame's width: its planes must hold them.
        if (!raw_frame_fits(in, in->pix_fmt, in->width, in->height)) throw_process_error("Invalid input frame size");
    }
    if (d->params.detect_mode == 1) measure(d, in);
    d->result->alpha_needed = d->alpha_need ? d->alpha_need(in) : d->has_alpha;
    if (d->params.write_back == 1) {
        write_back(d, in);
        if (!d->result->alpha_needed && d->has_alpha) relabel_without_alpha(in);
    }
    filter->output = in;
}

void crop_detect_destroy(VideoFilter *filter) {
    filter_node_destroy<CropDetectData>(filter, [](CropDetectData *d) {
        delete[] d->spans;
        delete d->result;
    });
}

}  // namespace

VideoFilter *create_filter_crop_detect(const CropDetectParams &params) {
    return filter_node_create<CropDetectData>(
        VideoFilterType_CropDetect, 1, crop_detect_process, crop_detect_destroy,
        [&](CropDetectData *d) -> VideoFrame * {
            d->result = new CropDetectResult{};
            d->params = params;
            const PixFmt fmt = PixFmt(params.pix_fmt);
            if (!choose_ops(d, fmt)) printf("Unsupported crop detect for pix fmt : %s\n", get_pix_fmt_name(fmt));
            if (params.alpha_as_grey == 1) throw_process_error("not imp rgba as grey");
            d->has_alpha = fmt < PixFmt_Undefined && (get_pix_descriptor(fmt).flags & PixDesc_Alpha);
            if (d->has_alpha) {
                if (params.alpha_need_mode == 1) {
                    d->alpha_need = pixel_alpha_need(fmt);
                    if (!d->alpha_need) printf("Unsupported alpha need for pix fmt : %s\n", get_pix_fmt_name(fmt));
                } else if (params.alpha_need_mode != 0) {
                    throw_process_error("not imp alpha need mode");
                }
            }
            return nullptr;
        });
}

const CropDetectResult *crop_detect_get_result(const VideoFilter *filter) {
    if (!filter || filter->type != VideoFilterType_CropDetect || !filter->priv_data) return nullptr;
    return static_cast<const CropDetectData *>(filter->priv_data)->result;
}
