#include "pipeline/filters/ff_intra_decode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "media/filter_node.h"
#include "pipeline/filters/ff_intra_decode_internal.h"
#include "pipeline/filters/ycocg_filter.h"
#include "platform/core/errors.h"

namespace {

constexpr uint32_t kAlign = 64;

constexpr uint32_t tag(const char s[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
           uint32_t(uint8_t(s[3]));
}

// FFmpeg keeps the first letter of a tag in the low byte.
uint32_t ff_tag(uint32_t t) { return __builtin_bswap32(t); }

using AlphaFill = void (*)(VideoFrame *frame);

void fill_alpha_plane_max(VideoFrame *f) {
    for (uint32_t y = 0; y < f->height; ++y) memset(f->data[3] + int64_t(y) * f->linesize[3], 0xFF, f->width);
}

template <uint16_t kMax>
void fill_alpha_words(VideoFrame *f) {
    for (uint32_t y = 0; y < f->height; ++y) {
        auto *row = reinterpret_cast<uint16_t *>(f->data[3] + int64_t(y) * f->linesize[3]);
        std::fill(row, row + f->width, kMax);
    }
}

void fill_alpha_plane_10bit(VideoFrame *f) { fill_alpha_words<0x3FF>(f); }
void fill_alpha_plane_12bit(VideoFrame *f) { fill_alpha_words<0xFFF>(f); }

struct FfIntraDecodeData {
    VideoFrame *out = nullptr;
    VideoFrameDataDescriptor descriptor = VideoFrameProresData;
    uint32_t width = 0, height = 0;
    PixFmt pix_fmt = PixFmt_Undefined;
    uint8_t force_prores_10bit = 0;
    uint32_t codec_tag = 0, sub_codec_tag = 0;
    AVPacket *pkt = nullptr;
    // The picture the output may point at, and the one being received: a failed receive
    // releases only `next`, so a flagged frame never points at released planes.
    AVFrame *picture = nullptr;
    AVFrame *next = nullptr;
    AVCodecContext *ctx = nullptr;
    SwsContext *sws = nullptr;
    uint8_t threaded = 0, report_changes = 0;
    AlphaFill alpha_fill = nullptr;
};

struct DecoderRow {
    VideoFrameDataDescriptor descriptor;
    AVCodecID id;
};

const DecoderRow kDecoders[] = {
    {VideoFrameProresData, AV_CODEC_ID_PRORES},   {VideoFramePhotoJpegData, AV_CODEC_ID_MJPEG},
    {VideoFrameNotchLcData, AV_CODEC_ID_NOTCHLC}, {VideoFrameDxv3Data, AV_CODEC_ID_DXV},
    {VideoFrameDnxHDData, AV_CODEC_ID_DNXHD},     {VideoFrameDnxHRData, AV_CODEC_ID_DNXHD},
};

struct FormatRow {
    AVPixelFormat ff;
    PixFmt pix_fmt;
};

const FormatRow kPictureFormats[] = {
    {AV_PIX_FMT_YUV420P, PixFmt_YUV420},
    {AV_PIX_FMT_RGB24, PixFmt_RGB8},
    {AV_PIX_FMT_BGR24, PixFmt_BGR8},
    {AV_PIX_FMT_YUV422P, PixFmt_YUV422},
    {AV_PIX_FMT_YUVJ422P, PixFmt_YUV422},
    {AV_PIX_FMT_YUV444P, PixFmt_YUV444},
    {AV_PIX_FMT_UYVY422, PixFmt_UYVY},
    {AV_PIX_FMT_ARGB, PixFmt_ARGB8},
    {AV_PIX_FMT_RGBA, PixFmt_RGBA8},
    {AV_PIX_FMT_YUVA444P12LE, PixFmt_YUVA444_12},
    {AV_PIX_FMT_YUVA420P, PixFmt_YUVA420},
    {AV_PIX_FMT_YUV420P10LE, PixFmt_YUV420_10},
    {AV_PIX_FMT_YUV422P10LE, PixFmt_YUV422_10},
    {AV_PIX_FMT_YUV444P10LE, PixFmt_YUV444_10},
    {AV_PIX_FMT_GBRP, PixFmt_PlanarRGB8},
    {AV_PIX_FMT_GBRP10LE, PixFmt_PlanarRGB10},
    {AV_PIX_FMT_GBRP12LE, PixFmt_PlanarRGB12},
    {AV_PIX_FMT_YUV422P12LE, PixFmt_YUV422_12},
    {AV_PIX_FMT_GBRP16LE, PixFmt_PlanarRGB16},
    {AV_PIX_FMT_YUVA444P, PixFmt_YUVA444},
    {AV_PIX_FMT_YUVA444P10LE, PixFmt_YUVA444_10},
    {AV_PIX_FMT_RGBA64LE, PixFmt_RGBA16},
    {AV_PIX_FMT_GBRAP, PixFmt_PlanarRGBA8},
    {AV_PIX_FMT_GBRAP16LE, PixFmt_PlanarRGBA16},
    {AV_PIX_FMT_RGB0, PixFmt_RGBX8},
    {AV_PIX_FMT_YUV444P12LE, PixFmt_YUV444_12},
};

// FFmpeg keeps planar RGB as G, B, R(, A); our planes are R, G, B(, A).
int ff_plane(int ff_format, int i) {
    static const int kGbr[4] = {2, 0, 1, 3};
    switch (ff_format) {
    case AV_PIX_FMT_GBRP:
    case AV_PIX_FMT_GBRP10LE:
    case AV_PIX_FMT_GBRP12LE:
    case AV_PIX_FMT_GBRP16LE:
    case AV_PIX_FMT_GBRAP:
    case AV_PIX_FMT_GBRAP16LE: return kGbr[i];
    default: return i;
    }
}

void set_message(VideoFilter *f, const char *text) { snprintf(f->message, sizeof f->message, "%s", text); }

bool picture_aligned(const AVFrame *p) {
    for (int i = 0; i < AV_NUM_DATA_POINTERS && p->data[i]; ++i) {
        if (uintptr_t(p->data[i]) % kAlign) {
            printf("Data : %d, not aligned to : %d\n", i, int(kAlign));
            return false;
        }
        if (p->linesize[i] % int(kAlign)) {
            printf("Linesize : %d, not aligned to : %d\n", i, int(kAlign));
            return false;
        }
    }
    return true;
}

void copy_planes(FfIntraDecodeData *d, const AVFrame *p) {
    video_frame_realloc_if_changed(d->out, d->width, d->height, d->pix_fmt, 1);
    const PixDescriptor desc = get_pix_descriptor(d->pix_fmt);
    const int dst_ff = pix_fmt_to_ff(d->pix_fmt);
    for (uint32_t i = 0; i < d->out->nb_planes && i < 4; ++i) {
        const int src_plane = ff_plane(p->format, int(i));
        const uint8_t *src = p->data[src_plane];
        uint8_t *dst = d->out->data[i];
        if (!src || !dst) {
            if (i != 3) printf(src ? "Error : No target data : %d\n" : "Error : No src data : %d\n", int(i));
            continue;
        }
        const uint32_t rows = (d->height + desc.sub_h[i] - 1) / desc.sub_h[i];
        const int row_bytes = av_image_get_linesize(AVPixelFormat(dst_ff), int(d->width), ff_plane(dst_ff, int(i)));
        if (row_bytes <= 0) continue;
        const int64_t src_ls = p->linesize[src_plane], dst_ls = d->out->linesize[i];
        const size_t n = std::min<int64_t>({row_bytes, std::abs(src_ls), std::abs(dst_ls)});
        if (src_ls == dst_ls && int64_t(n) == dst_ls) {
            memcpy(dst, src, size_t(rows) * n);
        } else {
            for (uint32_t y = 0; y < rows; ++y) memcpy(dst + int64_t(y) * dst_ls, src + int64_t(y) * src_ls, n);
        }
    }
}

void convert_picture(FfIntraDecodeData *d, const AVFrame *p) {
    const int dst_ff = pix_fmt_to_ff(d->pix_fmt);
    video_frame_realloc_if_changed(d->out, d->width, d->height, d->pix_fmt, 1);
    d->sws = sws_getCachedContext(d->sws, p->width, p->height, AVPixelFormat(p->format), int(d->width), int(d->height),
                                  AVPixelFormat(dst_ff), SWS_BILINEAR | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!d->sws) throw_process_error("Fail to create scaler");
    int *inv_table, *table, src_range, dst_range, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(d->sws, &inv_table, &src_range, &table, &dst_range, &brightness, &contrast,
                                 &saturation) >= 0) {
        const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(d->sws, bt709, src_range, bt709, dst_range, brightness, contrast, saturation);
    }
    uint8_t *dst[4] = {};
    int dst_ls[4] = {};
    for (uint32_t i = 0; i < d->out->nb_planes && i < 4; ++i) {
        dst[ff_plane(dst_ff, int(i))] = d->out->data[i];
        dst_ls[ff_plane(dst_ff, int(i))] = int(d->out->linesize[i]);
    }
    sws_scale(d->sws, p->data, p->linesize, 0, p->height, dst, dst_ls);
}

// A flagged frame handed on must still be a frame of the node's size and layout.
void ensure_output_planes(FfIntraDecodeData *d) {
    VideoFrame *o = d->out;
    if (o->data[0] && o->is_raw && o->width == d->width && o->height == d->height && o->pix_fmt == d->pix_fmt) return;
    video_frame_realloc_if_changed(o, d->width, d->height, d->pix_fmt, 1);
    uint8_t *planes[4] = {};
    ptrdiff_t ls[4] = {};
    const int ff = pix_fmt_to_ff(d->pix_fmt);
    for (uint32_t i = 0; i < o->nb_planes && i < 4; ++i) {
        planes[ff_plane(ff, int(i))] = o->data[i];
        ls[ff_plane(ff, int(i))] = ptrdiff_t(o->linesize[i]);
    }
    if (av_image_fill_black(planes, ls, AVPixelFormat(ff), AVCOL_RANGE_MPEG, int(d->width), int(d->height)) < 0)
        for (uint32_t i = 0; i < o->nb_planes && i < 4; ++i) memset(o->data[i], 0, o->alloc_size[i]);
}

// Receives one picture; false when the decoder has none now.
bool receive(VideoFilter *filter, FfIntraDecodeData *d, uint32_t frame_index) {
    const int ret = avcodec_receive_frame(d->ctx, d->next);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return false;
    if (ret < 0) {
        printf("Decoding error : %d (at frame : %u)\n", ret, frame_index);
        printf("On assign une frame avec erreur en sortie\n");
        ensure_output_planes(d);
        d->out->error_flags = VideoFrameError_Corrupt;
        return true;
    }
    ff_intra_deliver_picture(filter, d->next);
    av_frame_unref(d->picture);
    av_frame_move_ref(d->picture, d->next);
    return true;
}

// False when the decoder rejects the sample as invalid data.
bool send_packet(FfIntraDecodeData *d, const VideoFrame *in) {
    if (!in->data[0] || in->data_size[0] == 0) throw_process_error("Invalid frame data");
    // Not reference-counted: libavcodec copies the sample into a padded buffer of its own.
    d->pkt->data = in->data[0];
    d->pkt->size = int(std::min<uint32_t>(in->data_size[0], INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE));
    const int ret = avcodec_send_packet(d->ctx, d->pkt);
    d->pkt->data = nullptr;
    d->pkt->size = 0;
    if (ret >= 0) return true;
    if (ret == AVERROR_INVALIDDATA) return false;
    if (ret == AVERROR(EAGAIN)) throw_process_error("Error send frame data (EAGAIN)");
    if (ret == AVERROR(EINVAL)) throw_process_error("Error send frame data (EINVAL)");
    if (ret == AVERROR(ENOMEM)) throw_process_error("Error send frame data (ENOMEM)");
    char text[256];
    av_strerror(ret, text, sizeof text);
    printf("%s : %d, %s\n", "Error send data unknown", ret, text);
    throw_process_error("Error send frame data (unknown)");
}

void ff_intra_process(VideoFilter *filter) {
    auto *d = filter_node_data<FfIntraDecodeData>(filter);
    VideoFrame *in = filter_node_input(filter);
    filter->message[0] = 0;
    d->out->error_flags = 0;
    if (!send_packet(d, in)) {
        // A decoding error, not a failure of the run: the last picture goes on, flagged.
        printf("Decoding error : %d (at frame : %u)\n", AVERROR_INVALIDDATA, in->frame_index);
        ensure_output_planes(d);
        d->out->error_flags = VideoFrameError_Corrupt;
    } else if (!receive(filter, d, in->frame_index)) {
        // Drain, then flush: a drained decoder refuses every later packet otherwise.
        const int ret = avcodec_send_packet(d->ctx, nullptr);
        const bool got = ret >= 0 && receive(filter, d, in->frame_index);
        avcodec_flush_buffers(d->ctx);
        if (ret < 0) throw_process_error("Error send flush data");
        if (!got) throw_process_error("Can't decode frame");
    }
    d->out->frame_index = in->frame_index;
    if (d->out->error_flags) set_message(filter, "Corrupt frame");
}

void ff_intra_destroy(VideoFilter *filter) {
    filter_node_destroy<FfIntraDecodeData>(filter, [](FfIntraDecodeData *d) {
        video_frame_destroy(&d->out);
        av_frame_free(&d->picture);
        av_frame_free(&d->next);
        av_packet_free(&d->pkt);
        avcodec_free_context(&d->ctx);
        sws_freeContext(d->sws);
    });
}

}  // namespace

PixFmt ff_intra_pix_fmt_of(int ff_format) {
    for (const FormatRow &r : kPictureFormats)
        if (r.ff == ff_format) return r.pix_fmt;
    const char *name = av_get_pix_fmt_name(AVPixelFormat(ff_format));
    printf("Unknown FF fmt : %s (%d)\n", name ? name : "none", ff_format);
    return PixFmt_Undefined;
}

void ff_intra_deliver_picture(VideoFilter *filter, const AVFrame *p) {
    auto *d = filter_node_data<FfIntraDecodeData>(filter);
    int format = p->format;
    if (d->descriptor == VideoFrameNotchLcData && d->pix_fmt == PixFmt_YUV444_12) format = AV_PIX_FMT_YUV444P12LE;
    if (d->descriptor == VideoFrameDxv3Data && d->sub_codec_tag == tag("DXT1")) format = AV_PIX_FMT_RGB0;
    const PixFmt src = ff_intra_pix_fmt_of(format);
    const PixFmt want = d->pix_fmt;

    enum { Direct, Copy, Convert } path;
    bool fill_alpha = false;
    if (uint32_t(p->width) != d->width || uint32_t(p->height) != d->height) {
        path = Convert;
        if (d->report_changes) set_message(filter, "Resolution change");
    } else if (src == want) {
        path = Direct;
    } else if ((src == PixFmt_YUVA444_10 && want == PixFmt_YUV444_10) ||
               (src == PixFmt_YUVA444_12 && want == PixFmt_YUV444_12)) {
        path = Direct;
        if (d->report_changes) set_message(filter, "Alpha found, but no alpha expected (alpha will be ignored)");
    } else if ((src == PixFmt_YUV444_10 && want == PixFmt_YUVA444_10) ||
               (src == PixFmt_YUV444_12 && want == PixFmt_YUVA444_12)) {
        path = Copy;
        fill_alpha = true;
    } else {
        path = Convert;
        if (d->report_changes) set_message(filter, "Frame pixel format change");
    }
    if (path == Direct && !picture_aligned(p)) path = Copy;
    if (fill_alpha && !d->alpha_fill) {
        printf("Warning, no alpha fill found\n");
        path = Convert;
        fill_alpha = false;
    }

    if (path == Direct) {
        uint8_t *planes[4] = {};
        int64_t ls[4] = {};
        for (int i = 0; i < 4; ++i) {
            planes[i] = p->data[ff_plane(format, i)];
            ls[i] = p->linesize[ff_plane(format, i)];
        }
        video_frame_set_external_planes(d->out, planes, ls, d->width, d->height, want);
        d->out->data_descriptor = VideoFrameUnknown;
    } else if (path == Copy) {
        copy_planes(d, p);
        if (fill_alpha) d->alpha_fill(d->out);
    } else {
        convert_picture(d, p);
    }
    d->out->error_flags = (p->decode_error_flags || (p->flags & AV_FRAME_FLAG_CORRUPT)) ? VideoFrameError_Corrupt : 0;
}

FfIntraDecodeParams ff_intra_decode_params(uint32_t data_descriptor, uint32_t width, uint32_t height,
                                           uint32_t codec_tag, uint32_t sub_codec_tag, uint32_t pix_fmt) {
    FfIntraDecodeParams p;
    p.data_descriptor = data_descriptor;
    p.width = width;
    p.height = height;
    p.codec_tag = codec_tag;
    p.sub_codec_tag = sub_codec_tag;
    p.pix_fmt = pix_fmt;
    if (data_descriptor == VideoFrameDxv3Data) {
        if (sub_codec_tag == tag("DXT1"))
            p.pix_fmt = PixFmt_RGBX8;
        else if (sub_codec_tag == tag("DXT5"))
            p.pix_fmt = PixFmt_RGBA8;
        else if (sub_codec_tag == tag("YCG6"))
            p.pix_fmt = PixFmt_YUV420;
        else if (sub_codec_tag == tag("YG10"))
            p.pix_fmt = PixFmt_YUVA420;
        else
            throw_process_error("Unknown dxv codec");
    }
    return p;
}

bool ff_intra_decode_is_ycocg(const FfIntraDecodeParams &params) {
    return params.data_descriptor == VideoFrameDxv3Data &&
           (params.pix_fmt == PixFmt_YUV420 || params.pix_fmt == PixFmt_YUVA420);
}

VideoFilter *create_filter_ff_intra_decode(const FfIntraDecodeParams &params) {
    return filter_node_create<FfIntraDecodeData>(
        VideoFilterType_FfmpegDecode, 1, ff_intra_process, ff_intra_destroy, [&](FfIntraDecodeData *d) -> VideoFrame * {
            d->descriptor = VideoFrameDataDescriptor(params.data_descriptor);
            d->width = params.width;
            d->height = params.height;
            d->pix_fmt = PixFmt(params.pix_fmt);
            d->force_prores_10bit = params.force_prores_10bit;
            d->codec_tag = params.codec_tag;
            d->sub_codec_tag = params.sub_codec_tag;
            d->threaded = params.threaded;
            d->report_changes = params.report_changes;
            d->picture = av_frame_alloc();
            d->next = av_frame_alloc();
            d->pkt = av_packet_alloc();
            if (!d->picture || !d->next || !d->pkt) throw_alloc_error();

            const DecoderRow *row = nullptr;
            for (const DecoderRow &r : kDecoders)
                if (r.descriptor == d->descriptor) row = &r;
            if (!row) {
                printf("Data descriptor invalide : %s\n", get_data_descriptor_name(d->descriptor));
                throw_process_error("Invalid data descriptor");
            }
            const AVCodec *codec = avcodec_find_decoder(row->id);
            if (!codec) throw_process_error("Can't found video decoder");
            d->ctx = avcodec_alloc_context3(codec);
            if (!d->ctx) throw_alloc_error();
            d->ctx->width = int(d->width);
            d->ctx->height = int(d->height);
            const bool prores = d->descriptor == VideoFrameProresData;
            d->ctx->codec_tag = ff_tag(prores && d->force_prores_10bit ? tag("apch") : d->codec_tag);
            if (d->threaded) {
                d->ctx->thread_type = FF_THREAD_SLICE;
                d->ctx->thread_count = 0;
            } else {
                d->ctx->thread_type = FF_THREAD_FRAME;
                d->ctx->thread_count = 1;
            }
            const int ret = avcodec_open2(d->ctx, codec, nullptr);
            if (ret < 0) {
                printf("Could not open codec: %d\n", ret);
                throw_process_error("Can't open decoder");
            }

            const PixDescriptor desc = get_pix_descriptor(d->pix_fmt);
            if ((desc.flags & PixDesc_Planar) && (desc.flags & PixDesc_Alpha) && desc.nb_planes == 4) {
                switch (desc.bit_depth[3]) {
                case 8: d->alpha_fill = fill_alpha_plane_max; break;
                case 10: d->alpha_fill = fill_alpha_plane_10bit; break;
                case 12: d->alpha_fill = fill_alpha_plane_12bit; break;
                default: printf("Warning : Unknown alpha planar fmt quantif\n");
                }
            }
            d->out = video_frame_new();
            return d->out;
        });
}
