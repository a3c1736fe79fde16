#include "container/texdec/rotate_flip.h"
#include "media/filter_node.h"

#include <cstring>
#include <new>

#include "platform/core/byte_order.h"
#include "platform/core/errors.h"

namespace {

// Destination (row, column) of source (r, c) on a W x H grid.
template <int T>
inline void move(uint32_t r, uint32_t c, uint32_t w, uint32_t h, uint32_t *dr, uint32_t *dc) {
    if constexpr (T == 1) *dr = c, *dc = h - 1 - r;
    if constexpr (T == 2) *dr = h - 1 - r, *dc = w - 1 - c;
    if constexpr (T == 3) *dr = w - 1 - c, *dc = r;
    if constexpr (T == 4) *dr = r, *dc = w - 1 - c;
    if constexpr (T == 5) *dr = h - 1 - r, *dc = c;
}

template <uint32_t E, int T>
void raw_kernel(uint8_t *dst, const uint8_t *src, uint32_t w, uint32_t h, int64_t sls, int64_t dls) {
    if constexpr (T == 5) {
        for (uint32_t r = 0; r < h; ++r)
            std::memcpy(dst + int64_t(h - 1 - r) * dls, src + int64_t(r) * sls, size_t(w) * E);
    } else {
        for (uint32_t r = 0; r < h; ++r) {
            const uint8_t *s = src + int64_t(r) * sls;
            for (uint32_t c = 0; c < w; ++c) {
                uint32_t dr, dc;
                move<T>(r, c, w, h, &dr, &dc);
                std::memcpy(dst + int64_t(dr) * dls + size_t(dc) * E, s + size_t(c) * E, E);
            }
        }
    }
}

// Pixel k = 4 x row + column of a block goes to position kPerm[T][k].
constexpr uint8_t kPerm[6][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {3, 7, 11, 15, 2, 6, 10, 14, 1, 5, 9, 13, 0, 4, 8, 12},
    {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {12, 8, 4, 0, 13, 9, 5, 1, 14, 10, 6, 2, 15, 11, 7, 3},
    {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12}, {12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3},
};

// Colour block: end points copied, 2-bit index fields permuted.
template <int T>
inline void permute_dxt1(uint8_t *d, const uint8_t *s) {
    uint32_t in;
    std::memcpy(&in, s + 4, 4);
    uint32_t out = 0;
    for (int k = 0; k < 16; ++k) out |= ((in >> (2 * k)) & 3u) << (2 * kPerm[T][k]);
    std::memcpy(d, s, 4);
    std::memcpy(d + 4, &out, 4);
}

// RGTC1 block (and DXT5 alpha half): end points copied, 3-bit index fields permuted.
template <int T>
inline void permute_rgtc1(uint8_t *d, const uint8_t *s) {
    const uint64_t in = load_le48(s + 2);
    uint64_t out = 0;
    for (int k = 0; k < 16; ++k) out |= ((in >> (3 * k)) & 7u) << (3 * kPerm[T][k]);
    d[0] = s[0];
    d[1] = s[1];
    store_le48(d + 2, out);
}

enum BlockKind { kDxt1, kRgtc1, kDxt5 };

template <BlockKind K, int T>
void texture_kernel(uint8_t *dst, const uint8_t *src, uint32_t w, uint32_t h, int64_t sls, int64_t dls) {
    constexpr size_t B = K == kDxt5 ? 16 : 8;
    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t *s = src + int64_t(r) * sls;
        for (uint32_t c = 0; c < w; ++c, s += B) {
            uint32_t dr, dc;
            move<T>(r, c, w, h, &dr, &dc);
            uint8_t *d = dst + int64_t(dr) * dls + dc * B;
            if constexpr (K == kDxt1) permute_dxt1<T>(d, s);
            if constexpr (K == kRgtc1) permute_rgtc1<T>(d, s);
            if constexpr (K == kDxt5) {
                permute_rgtc1<T>(d, s);
                permute_dxt1<T>(d + 8, s + 8);
            }
        }
    }
}

template <uint32_t E>
constexpr RotateFlipKernel kRaw[5] = {raw_kernel<E, 1>, raw_kernel<E, 2>, raw_kernel<E, 3>, raw_kernel<E, 4>,
                                      raw_kernel<E, 5>};
template <BlockKind K>
constexpr RotateFlipKernel kTex[5] = {texture_kernel<K, 1>, texture_kernel<K, 2>, texture_kernel<K, 3>,
                                      texture_kernel<K, 4>, texture_kernel<K, 5>};

bool raw_layout_accepted(PixFmt f) {
    return f <= PixFmt_Grey32F || f == PixFmt_YUV444 || f == PixFmt_YUVA444 || f == PixFmt_YUV444_10 ||
           f == PixFmt_YUVA444_10 || f == PixFmt_YUV444_12 || f == PixFmt_YUVA444_12;
}

struct RotateFlipFilterData {
    uint8_t texture;
    VideoFrame *output;
    uint32_t width;
    uint32_t height;
    uint8_t pass_through;
    uint32_t kernel_width;
    uint32_t kernel_height;
    PixFmt pix_fmt;
    uint32_t data_descriptor;
    RotateFlipKernel kernels[4];
};

}  // namespace

RotateFlipKernel rotate_flip_raw_kernel(uint32_t transform, uint32_t element_bytes) {
    if (transform < 1 || transform > 5) return nullptr;
    switch (element_bytes) {
    case 1: return kRaw<1>[transform - 1];
    case 2: return kRaw<2>[transform - 1];
    case 3: return kRaw<3>[transform - 1];
    case 4: return kRaw<4>[transform - 1];
    case 8: return kRaw<8>[transform - 1];
    case 16: return kRaw<16>[transform - 1];
    default: return nullptr;
    }
}

RotateFlipKernel rotate_flip_texture_kernel(uint32_t transform, uint32_t block_bytes, bool rgtc1) {
    if (transform < 1 || transform > 5) return nullptr;
    if (block_bytes == 16) return kTex<kDxt5>[transform - 1];
    if (block_bytes == 8) return rgtc1 ? kTex<kRgtc1>[transform - 1] : kTex<kDxt1>[transform - 1];
    return nullptr;
}

VideoFilter *create_filter_rotate_flip(const RotateFlipParams &params) {
    if (params.width == 0 || params.height == 0) throw_process_error("Invalid rotate/flip parameters");
    if (params.texture) {
        if (params.data_descriptor < VideoFrameDxtData_HAP || params.data_descriptor > VideoFrameDxtData_HAPAlphaOnly ||
            params.width % 4 || params.height % 4)
            throw_process_error("Invalid rotate/flip parameters");
    } else if (!raw_layout_accepted(params.pix_fmt)) {
        throw_process_error("Invalid rotate/flip parameters");
    }
    if (params.transform == RotateFlip_None) throw_process_error("Bypass Rotate/flip unavailable");

    return filter_node_create<RotateFlipFilterData>(
        VideoFilterType_RotateFlip, 1, filter_rotate_flip_process, filter_rotate_flip_destroy,
        [&](RotateFlipFilterData *d) -> VideoFrame * {
            d->texture = params.texture;
            d->width = params.width;
            d->height = params.height;
            d->pix_fmt = params.pix_fmt;
            d->data_descriptor = params.data_descriptor;
            d->pass_through = !params.texture && params.transform == RotateFlip_FlipV && params.pass_through_allowed;
            d->output = video_frame_new();
            const bool swap = params.transform == RotateFlip_Rotate90 || params.transform == RotateFlip_Rotate270;
            const uint32_t ow = swap ? params.height : params.width;
            const uint32_t oh = swap ? params.width : params.height;
            if (d->pass_through) {
                // Planes are set at each call.
            } else if (params.texture) {
                if (params.transform > 5) throw_process_error("Unknown case rotate/flip");
                const auto desc = VideoFrameDataDescriptor(params.data_descriptor);
                const bool rgtc1_first = desc == VideoFrameDxtData_HAPAlphaOnly;
                const uint32_t bytes0 = desc == VideoFrameDxtData_HAP || rgtc1_first ? 8 : 16;
                d->kernels[0] = rotate_flip_texture_kernel(params.transform, bytes0, rgtc1_first);
                if (desc == VideoFrameDxtData_HAPQA)
                    d->kernels[1] = rotate_flip_texture_kernel(params.transform, 8, true);
                video_frame_alloc_dxt(d->output, ow, oh, desc);
                d->kernel_width = (params.width + 3) / 4;
                d->kernel_height = (params.height + 3) / 4;
            } else {
                const PixDescriptor pd = get_pix_descriptor(params.pix_fmt);
                for (uint32_t p = 0; p < pd.nb_planes && p < 4; ++p) {
                    d->kernels[p] = rotate_flip_raw_kernel(params.transform, pd.bytes_per_pixel[p]);
                    if (!d->kernels[p]) throw_process_error("Unknown case rotate/flip");
                }
                video_frame_alloc(d->output, ow, oh, params.pix_fmt, 1);
                d->kernel_width = params.width;
                d->kernel_height = params.height;
            }
            return d->output;
        });
}

void filter_rotate_flip_process(VideoFilter *filter) {
    auto *d = filter_node_data<RotateFlipFilterData>(filter);
    VideoFrame *in = filter_node_input(filter);
    if (d->texture) {
        if (in->data_descriptor != d->data_descriptor) throw_process_error("Invalid data format");
    } else if (in->pix_fmt != d->pix_fmt) {
        throw_process_error("Invalid pixel format");
    }
    if (in->width != d->width) throw_process_error("Invalid width");
    if (in->height != d->height) throw_process_error("Invalid height");
    VideoFrame *out = d->output;
    if (d->pass_through) {
        uint8_t *planes[4] = {nullptr, nullptr, nullptr, nullptr};
        int64_t lines[4] = {0, 0, 0, 0};
        for (uint32_t p = 0; p < in->nb_planes && p < 4; ++p) {
            if (!in->data[p]) throw_process_error("Invalid data plane");
            planes[p] = in->data[p] + int64_t(in->height - 1) * in->linesize[p];
            lines[p] = -in->linesize[p];
        }
        video_frame_set_external_planes(out, planes, lines, in->width, in->height, in->pix_fmt);
    } else {
        for (uint32_t p = 0; p < in->nb_planes && p < 4; ++p) {
            if (!d->kernels[p]) continue;
            if (!in->data[p] || !out->data[p]) throw_process_error("Invalid data plane");
            d->kernels[p](out->data[p], in->data[p], d->kernel_width, d->kernel_height, in->linesize[p],
                          out->linesize[p]);
        }
    }
    out->frame_index = in->frame_index;
}

void filter_rotate_flip_destroy(VideoFilter *filter) {
    filter_node_destroy<RotateFlipFilterData>(filter, [](RotateFlipFilterData *d) { video_frame_destroy(&d->output); });
}
