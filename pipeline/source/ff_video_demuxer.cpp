#include "pipeline/source/ff_video_demuxer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/core/errors.h"

namespace {

struct FfConvertJob {
    VideoFrame *out = nullptr;
    const AVFrame *src = nullptr;
    SwsContext *sws = nullptr;
    int dst_fmt = AV_PIX_FMT_NONE;
};

struct FfVideoDemuxerData {
    uint32_t n = 1;
    uint8_t slice_threading = 0;
    uint32_t nb_slots = 2;
    uint32_t half = 0;
    uint32_t dec_w = 0, dec_h = 0, dst_w = 0, dst_h = 0;
    PixFmt pix_fmt = PixFmt_Undefined;
    uint32_t alignment = 0;
    uint32_t frame_counter = 0;
    int32_t start_frame = -1, end_frame = -1;
    // Frames at or after start_ts pass the start; a frame at or after end_ts ends the stretch.
    bool have_start_ts = false, have_end_ts = false;
    int64_t start_ts = 0, end_ts = 0;
    bool start_seek_done = true;
    AVFormatContext *fmt_ctx = nullptr;
    AVCodecContext *dec_ctx = nullptr;
    AVPixelFormat ff_fmt = AV_PIX_FMT_NONE;
    int stream_index = -1;
    bool pending = false, eof = false, end_reached = false;
    std::vector<AVFrame *> slots;
    int sws_flags = SWS_BILINEAR;
    std::vector<SwsContext *> sws;
    std::vector<std::thread> threads;
    std::vector<FfConvertJob> jobs;
    AVPacket *pkt = nullptr;
    AVRational rate{1, 1}, time_base{1, 1};
    int64_t stream_start = 0;
    // The stream carries no timestamps at all (raw elementary streams): frames are
    // counted from the beginning and never reached by seeking.
    bool no_timestamps = false;
    // Number of the next frame when it is known (-1 after a seek, until a timestamp is seen).
    int64_t next_number = 0;
};

struct FormatRow {
    PixFmt pix_fmt;
    AVPixelFormat ff;
};

const FormatRow kFormats[] = {
    {PixFmt_ARGB8, AV_PIX_FMT_ARGB},
    {PixFmt_RGBA8, AV_PIX_FMT_RGBA},
    {PixFmt_RGB8, AV_PIX_FMT_RGB24},
    {PixFmt_BGR8, AV_PIX_FMT_BGR24},
    {PixFmt_RGBX8, AV_PIX_FMT_RGB0},
    {PixFmt_RGBA16, AV_PIX_FMT_RGBA64LE},
    {PixFmt_RGBX16, AV_PIX_FMT_RGBA64LE},
    {PixFmt_PlanarRGB8, AV_PIX_FMT_GBRP},
    {PixFmt_PlanarRGBA8, AV_PIX_FMT_GBRAP},
    {PixFmt_PlanarRGB10, AV_PIX_FMT_GBRP10LE},
    {PixFmt_PlanarRGB12, AV_PIX_FMT_GBRP12LE},
    {PixFmt_PlanarRGB16, AV_PIX_FMT_GBRP16LE},
    {PixFmt_PlanarRGBA16, AV_PIX_FMT_GBRAP16LE},
    {PixFmt_Grey8, AV_PIX_FMT_GRAY8},
    {PixFmt_Grey10, AV_PIX_FMT_GRAY10LE},
    {PixFmt_Grey12, AV_PIX_FMT_GRAY12LE},
    {PixFmt_Grey16, AV_PIX_FMT_GRAY16LE},
    {PixFmt_Grey32F, AV_PIX_FMT_GRAYF32LE},
    {PixFmt_YUV420, AV_PIX_FMT_YUV420P},
    {PixFmt_YUV422, AV_PIX_FMT_YUV422P},
    {PixFmt_YUV444, AV_PIX_FMT_YUV444P},
    {PixFmt_YUVA420, AV_PIX_FMT_YUVA420P},
    {PixFmt_YUVA444, AV_PIX_FMT_YUVA444P},
    {PixFmt_YUV420_10, AV_PIX_FMT_YUV420P10LE},
    {PixFmt_YUV422_10, AV_PIX_FMT_YUV422P10LE},
    {PixFmt_YUV444_10, AV_PIX_FMT_YUV444P10LE},
    {PixFmt_YUVA444_10, AV_PIX_FMT_YUVA444P10LE},
    {PixFmt_YUV422_12, AV_PIX_FMT_YUV422P12LE},
    {PixFmt_YUV444_12, AV_PIX_FMT_YUV444P12LE},
    {PixFmt_YUVA444_12, AV_PIX_FMT_YUVA444P12LE},
    {PixFmt_UYVY, AV_PIX_FMT_UYVY422},
};

// FFmpeg keeps planar RGB as G, B, R(, A); our planes are R, G, B(, A).
bool is_gbr(AVPixelFormat f) {
    switch (f) {
    case AV_PIX_FMT_GBRP:
    case AV_PIX_FMT_GBRAP:
    case AV_PIX_FMT_GBRP10LE:
    case AV_PIX_FMT_GBRP12LE:
    case AV_PIX_FMT_GBRP16LE:
    case AV_PIX_FMT_GBRAP16LE: return true;
    default: return false;
    }
}

// FFmpeg plane of our plane i.
int ff_plane(AVPixelFormat f, int i) {
    static const int kGbr[4] = {2, 0, 1, 3};
    return is_gbr(f) ? kGbr[i] : i;
}

AVPixelFormat plain_twin(AVPixelFormat f) {
    switch (f) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return f;
    }
}

void print_av_error(const char *what, int code) {
    char text[256];
    av_strerror(code, text, sizeof text);
    printf("%s : %d, %s\n", what, code, text);
}

bool frame_is_corrupt(const AVFrame *f) { return f->decode_error_flags != 0 || (f->flags & AV_FRAME_FLAG_CORRUPT); }

// Start of the window of frame n: n - 1/2 frame after the stream's start, so a stored
// timestamp rounded either way still lands on its frame.
int64_t frame_window_start(const FfVideoDemuxerData *d, int64_t n) {
    if (n <= 0) return d->stream_start;
    const AVRational half_frame = av_mul_q(av_inv_q(d->rate), AVRational{1, 2});
    return d->stream_start + av_rescale_q(2 * n - 1, half_frame, d->time_base);
}

int64_t frame_time(const FfVideoDemuxerData *d, int64_t n) {
    return d->stream_start + av_rescale_q(n, av_inv_q(d->rate), d->time_base);
}

// The timestamp a picture is placed by: its best-effort timestamp, else the one of the
// frame that follows the last placed one, counted from the start of the stream.
int64_t placement_ts(FfVideoDemuxerData *d, const AVFrame *f) {
    int64_t ts = f->best_effort_timestamp;
    if (ts != AV_NOPTS_VALUE) {
        d->next_number = av_rescale_q(ts - d->stream_start, d->time_base, av_inv_q(d->rate)) + 1;
        return ts;
    }
    if (d->next_number < 0) return AV_NOPTS_VALUE;
    return frame_time(d, d->next_number++);
}

// A video key packet at or before `target` follows a seek to `ts`.
bool key_packet_before(FfVideoDemuxerData *d, int64_t ts, int64_t target) {
    if (av_seek_frame(d->fmt_ctx, d->stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    for (int i = 0; i < 4096 && av_read_frame(d->fmt_ctx, d->pkt) >= 0; ++i) {
        const bool key = d->pkt->stream_index == d->stream_index && (d->pkt->flags & AV_PKT_FLAG_KEY);
        const int64_t kts = d->pkt->pts != AV_NOPTS_VALUE ? d->pkt->pts : d->pkt->dts;
        av_packet_unref(d->pkt);
        if (key) return kts == AV_NOPTS_VALUE || kts <= target;
    }
    return false;
}

// Positions the input so that decoding reaches `target` from a key frame. Seeks that
// land after the target (timestamp searches in files without an index) are retried
// further back. A stream without timestamps restarts from its first byte.
int ff_seek_before(FfVideoDemuxerData *d, int64_t target) {
    if (d->no_timestamps) {
        d->next_number = 0;
        return av_seek_frame(d->fmt_ctx, d->stream_index, 0, AVSEEK_FLAG_BYTE);
    }
    d->next_number = -1;
    const int64_t second = std::max<int64_t>(1, av_rescale_q(1, AVRational{1, 1}, d->time_base));
    int64_t ts = target;
    for (int64_t back = second, i = 0; i < 12 && ts > d->stream_start; back *= 2, ++i) {
        if (key_packet_before(d, ts, target))
            return av_seek_frame(d->fmt_ctx, d->stream_index, ts, AVSEEK_FLAG_BACKWARD);
        ts = target - back;
    }
    // From the beginning of the stream, else from the first byte of the file.
    if (key_packet_before(d, d->stream_start, target))
        return av_seek_frame(d->fmt_ctx, d->stream_index, d->stream_start, AVSEEK_FLAG_BACKWARD);
    if (av_seek_frame(d->fmt_ctx, d->stream_index, 0, AVSEEK_FLAG_BYTE) >= 0) return 0;
    return av_seek_frame(d->fmt_ctx, d->stream_index, d->stream_start, AVSEEK_FLAG_BACKWARD);
}

// Owned planes of the destination size and layout (64-byte lines).
void give_owned_planes(FfVideoDemuxerData *d, VideoFrame *out) {
    video_frame_realloc_if_changed(out, d->dst_w, d->dst_h, d->pix_fmt, 1);
    out->data_descriptor = VideoFrameUnknown;
}

// A frame the decoder failed on: never left pointing at a released picture.
void fill_black(FfVideoDemuxerData *d, VideoFrame *out) {
    give_owned_planes(d, out);
    uint8_t *planes[4] = {};
    ptrdiff_t ls[4] = {};
    for (uint32_t i = 0; i < out->nb_planes && i < 4; ++i) {
        planes[ff_plane(d->ff_fmt, int(i))] = out->data[i];
        ls[ff_plane(d->ff_fmt, int(i))] = ptrdiff_t(out->linesize[i]);
    }
    if (av_image_fill_black(planes, ls, d->ff_fmt, AVCOL_RANGE_MPEG, int(d->dst_w), int(d->dst_h)) < 0) {
        for (uint32_t i = 0; i < out->nb_planes && i < 4; ++i)
            if (out->data[i]) memset(out->data[i], 0, out->alloc_size[i]);
    }
}

void ff_frame_copy_to_video_frame(FfVideoDemuxerData *d, const AVFrame *src, VideoFrame *out) {
    give_owned_planes(d, out);
    const PixDescriptor desc = get_pix_descriptor(d->pix_fmt);
    for (uint32_t i = 0; i < out->nb_planes && i < 4; ++i) {
        const int p = ff_plane(d->ff_fmt, int(i));
        if (!src->data[p] || !out->data[i]) {
            if (i != 3) printf(src->data[p] ? "Error : No target data : %d\n" : "Error : No src data : %d\n", int(i));
            continue;
        }
        const uint32_t rows = (d->dst_h + desc.sub_h[i] - 1) / desc.sub_h[i];
        const int row_bytes = av_image_get_linesize(d->ff_fmt, int(d->dst_w), p);
        if (row_bytes <= 0) continue;
        const size_t n = std::min<size_t>(size_t(row_bytes), size_t(std::abs(int64_t(out->linesize[i]))));
        for (uint32_t y = 0; y < rows; ++y)
            memcpy(out->data[i] + int64_t(y) * out->linesize[i], src->data[p] + int64_t(y) * src->linesize[p], n);
    }
}

// One sws_scale of the whole picture; false when the scaler did not write every row.
bool run_conversion(const FfConvertJob &job) {
    VideoFrame *out = job.out;
    uint8_t *dst[4] = {};
    int dst_ls[4] = {};
    for (uint32_t i = 0; i < out->nb_planes && i < 4; ++i) {
        const int p = ff_plane(AVPixelFormat(job.dst_fmt), int(i));
        dst[p] = out->data[i];
        dst_ls[p] = int(out->linesize[i]);
    }
    const int rows = sws_scale(job.sws, job.src->data, job.src->linesize, 0, job.src->height, dst, dst_ls);
    return rows == int(out->height);
}

void ff_convert_job_run(FfConvertJob job) {
    try {
        if (!run_conversion(job)) throw_process_error("Fail to scale frame");
    } catch (...) {
        printf("Fail to scale frame\n");
        job.out->error_flags |= VideoFrameError_Corrupt;
    }
}

SwsContext *get_scaler(FfVideoDemuxerData *d, uint32_t slot, const AVFrame *src) {
    d->sws[slot] =
        sws_getCachedContext(d->sws[slot], src->width, src->height, AVPixelFormat(src->format), int(d->dst_w),
                             int(d->dst_h), d->ff_fmt, d->sws_flags, nullptr, nullptr, nullptr);
    if (!d->sws[slot]) throw_process_error("Fail to create scaler");
    return d->sws[slot];
}

void ff_video_demuxer_join_jobs(FfVideoDemuxerData *d) {
    for (std::thread &t : d->threads)
        if (t.joinable()) t.join();
}

bool planes_aligned(const FfVideoDemuxerData *d, const AVFrame *f) {
    if (d->alignment == 0) return true;
    for (int i = 0; i < AV_NUM_DATA_POINTERS && f->data[i]; ++i) {
        if (uintptr_t(f->data[i]) % d->alignment) {
            printf("Data : %d, not aligned to : %d\n", i, int(d->alignment));
            return false;
        }
        if (f->linesize[i] % int64_t(d->alignment)) {
            printf("Linesize : %d, not aligned to : %d\n", i, int(d->alignment));
            return false;
        }
    }
    return true;
}

// Hands one decoded picture out in slot `slot`: direct, copy, or a conversion thread.
void deliver(FfVideoDemuxerData *d, uint32_t slot, const AVFrame *f, VideoFrame *out) {
    if (uint32_t(f->width) != d->dec_w || uint32_t(f->height) != d->dec_h) printf("Decoding res mismatch\n");
    const bool corrupt = frame_is_corrupt(f);
    const bool same = uint32_t(f->width) == d->dst_w && uint32_t(f->height) == d->dst_h &&
                      plain_twin(AVPixelFormat(f->format)) == d->ff_fmt;
    if (same && planes_aligned(d, f)) {
        uint8_t *planes[4] = {};
        int64_t ls[4] = {};
        for (int i = 0; i < 4; ++i) {
            planes[i] = f->data[ff_plane(d->ff_fmt, i)];
            ls[i] = f->linesize[ff_plane(d->ff_fmt, i)];
        }
        video_frame_set_external_planes(out, planes, ls, d->dst_w, d->dst_h, d->pix_fmt);
        out->data_descriptor = VideoFrameUnknown;
    } else if (same) {
        ff_frame_copy_to_video_frame(d, f, out);
    } else {
        give_owned_planes(d, out);
        FfConvertJob &job = d->jobs[slot];
        job = FfConvertJob{out, f, get_scaler(d, slot, f), d->ff_fmt};
        out->error_flags = corrupt ? VideoFrameError_Corrupt : 0;
        if (d->threads[slot].joinable()) {
            printf("Warning : unfinish thread : %u\n", slot);
            d->threads[slot].join();
        }
        try {
            d->threads[slot] = std::thread(ff_convert_job_run, job);
        } catch (const std::system_error &) {
            ff_convert_job_run(job);  // no thread to spare: convert here
        }
        return;
    }
    out->error_flags = corrupt ? VideoFrameError_Corrupt : 0;
}

void ff_video_demuxer_receive_frames(FfVideoDemuxerData *d, uint32_t n, VideoFrame **frames, uint32_t *produced) {
    for (;;) {
        if (*produced == n) {
            d->pending = true;
            return;
        }
        const uint32_t slot = d->half * d->n + *produced;
        AVFrame *f = d->slots[slot];
        const int ret = avcodec_receive_frame(d->dec_ctx, f);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) {
            // Where a failed picture sits is unknown: before the first frame it cannot
            // pass the start; after it, it is handed out flagged and the stretch goes on.
            if (d->frame_counter == 0 && d->have_start_ts) {
                printf("NO PTS IN TEST\n Need drop frame\n");
                continue;
            }
            if (ret == AVERROR_INVALIDDATA) {
                printf("Decoding error : Invalid data (at frame : %u)\n", d->frame_counter);
            } else {
                printf("Decoding error : Unknown (at frame : %u)\n", d->frame_counter);
                print_av_error("Error : ", ret);
            }
            VideoFrame *out = frames[*produced];
            fill_black(d, out);
            out->error_flags = VideoFrameError_Corrupt;
            out->frame_index = d->frame_counter++;
            (*produced)++;
            return;
        }
        const int64_t ts = placement_ts(d, f);
        if (d->frame_counter == 0 && d->have_start_ts) {
            if (ts == AV_NOPTS_VALUE) printf("NO PTS IN TEST\n");
            if (ts == AV_NOPTS_VALUE || ts < d->start_ts) {
                printf(" Need drop frame\n");
                continue;
            }
        }
        if (d->frame_counter != 0 && d->have_end_ts) {
            if (ts == AV_NOPTS_VALUE) {
                printf("NO PTS OUT TEST\n");
                d->end_reached = true;
                return;
            }
            if (ts >= d->end_ts) {
                d->end_reached = true;
                return;
            }
        }
        VideoFrame *out = frames[*produced];
        deliver(d, slot, f, out);
        out->frame_index = d->frame_counter++;
        (*produced)++;
    }
}

// Sends the end of stream; false when the decoder refused it (nothing to receive).
bool send_flush(FfVideoDemuxerData *d) {
    const int ret = avcodec_send_packet(d->dec_ctx, nullptr);
    if (ret == AVERROR_INVALIDDATA) {
        printf("Invalid data flush\n");
    } else if (ret < 0 && ret != AVERROR_EOF) {
        printf("Error sending flush to decoder\n");
        return false;
    }
    return true;
}

void timing_of_stream(FfVideoDemuxerData *d, const AVStream *st) {
    d->rate = st->r_frame_rate;
    if (d->rate.num <= 0 || d->rate.den <= 0) {
        printf("Warning unset real framerate for video stream (%d/%d)\n", d->rate.den, d->rate.num);
        d->rate = AVRational{1, 1};
    }
    d->time_base = st->time_base;
    if (d->time_base.num <= 0 || d->time_base.den <= 0) {
        printf("Warning unset timebase for video stream (%d/%d)\n", d->time_base.den, d->time_base.num);
        d->time_base = AVRational{1, 1};
    }
    d->no_timestamps = st->start_time == AV_NOPTS_VALUE;
    d->stream_start = d->no_timestamps ? 0 : st->start_time;
}

void free_data(FfVideoDemuxerData *d) {
    if (!d) return;
    ff_video_demuxer_join_jobs(d);
    avformat_close_input(&d->fmt_ctx);
    avcodec_free_context(&d->dec_ctx);
    for (AVFrame *&f : d->slots) av_frame_free(&f);
    for (SwsContext *s : d->sws) sws_freeContext(s);
    av_packet_free(&d->pkt);
    delete d;
}

void open_source(FfVideoDemuxerData *d, const FfVideoDemuxerParams &p) {
    if (p.dec_width == 0 || p.dec_height == 0) throw_process_error("Invalid dec resolution");
    if (p.dst_width == 0 || p.dst_height == 0) {
        printf("ERR : Dst resolution FF : %ux%u\n", p.dst_width, p.dst_height);
        throw_process_error("Invalid dst resolution");
    }
    const int ff = ff_video_demuxer_ff_format(PixFmt(p.pix_fmt));
    if (ff < 0) throw_process_error("Request unknown pix fmt for ff");
    d->ff_fmt = AVPixelFormat(ff);

    if (!p.path || avformat_open_input(&d->fmt_ctx, p.path, nullptr, nullptr) < 0) {
        d->fmt_ctx = nullptr;
        throw_process_error("Can't open input file");
    }
    int ret = avformat_find_stream_info(d->fmt_ctx, nullptr);
    if (ret < 0) {
        printf("ERROR : Can't find stream information : %d\n", ret);
        throw_process_error("Fail to find stream info");
    }
    const AVCodec *codec = nullptr;
    ret = av_find_best_stream(d->fmt_ctx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (ret < 0 || !codec) throw_process_error("Can't find video stream");
    d->stream_index = ret;
    for (unsigned i = 0; i < d->fmt_ctx->nb_streams; ++i)
        if (int(i) != d->stream_index) d->fmt_ctx->streams[i]->discard = AVDISCARD_ALL;
    const AVStream *st = d->fmt_ctx->streams[d->stream_index];

    d->dec_ctx = avcodec_alloc_context3(codec);
    if (!d->dec_ctx) throw_alloc_error();
    avcodec_parameters_to_context(d->dec_ctx, st->codecpar);
    d->dec_ctx->thread_count = 0;
    d->dec_ctx->thread_type = d->slice_threading ? FF_THREAD_SLICE : FF_THREAD_FRAME;
    ret = avcodec_open2(d->dec_ctx, codec, nullptr);
    if (ret < 0) {
        printf("Can't open video decoder (%d)\n", ret);
        throw_process_error("Can't open video decoder");
    }

    timing_of_stream(d, st);
    if (d->end_frame >= 0) {
        d->have_end_ts = true;
        d->end_ts = frame_window_start(d, int64_t(d->end_frame) + 1);
    }
    if (d->start_frame > 0) {
        d->have_start_ts = true;
        d->start_ts = frame_window_start(d, d->start_frame);
    }

    d->slots.assign(d->nb_slots, nullptr);
    for (AVFrame *&f : d->slots) {
        f = av_frame_alloc();
        if (!f) throw_alloc_error();
    }
    d->sws.assign(d->nb_slots, nullptr);
    d->threads.resize(d->nb_slots);
    d->jobs.assign(d->nb_slots, FfConvertJob{});
    d->pkt = av_packet_alloc();
    if (!d->pkt) throw_alloc_error();
}

}  // namespace

int ff_video_demuxer_ff_format(PixFmt pix_fmt) {
    for (const FormatRow &r : kFormats)
        if (r.pix_fmt == pix_fmt) return r.ff;
    return -1;
}

VideoDemuxer *create_video_demuxer_ff(const FfVideoDemuxerParams &p, uint32_t frames_per_call) {
    VideoDemuxer *demuxer = video_demuxer_new(frames_per_call, 0);
    FfVideoDemuxerData *d = nullptr;
    try {
        d = new FfVideoDemuxerData;
        d->n = demuxer->frames_per_call;
        d->slice_threading = p.slice_threading;
        d->nb_slots = 2 * d->n;
        d->dec_w = p.dec_width;
        d->dec_h = p.dec_height;
        d->dst_w = p.dst_width;
        d->dst_h = p.dst_height;
        d->pix_fmt = PixFmt(p.pix_fmt);
        d->alignment = p.alignment;
        d->start_frame = p.start_frame;
        d->end_frame = p.end_frame;
        d->start_seek_done = p.start_frame <= 0;
        d->sws_flags = p.scale_quality == 2 ? SWS_BICUBIC : p.scale_quality == 3 ? SWS_LANCZOS : SWS_BILINEAR;
        open_source(d, p);
    } catch (...) {
        free_data(d);
        video_demuxer_free(demuxer);
        throw;
    }
    demuxer->priv_data = d;
    demuxer->demux = ff_video_demuxer_demux;
    demuxer->get_frame = ff_video_demuxer_get_frame;
    demuxer->close = ff_video_demuxer_close;
    return demuxer;
}

uint32_t ff_video_demuxer_demux(void *priv, uint32_t n, VideoFrame **frames) {
    auto *d = static_cast<FfVideoDemuxerData *>(priv);
    n = std::min(n, d->n);
    d->half ^= 1;
    uint32_t produced = 0;
    struct JoinOnExit {
        FfVideoDemuxerData *d;
        ~JoinOnExit() { ff_video_demuxer_join_jobs(d); }
    } join{d};

    if (d->pending) {
        ff_video_demuxer_receive_frames(d, n, frames, &produced);
        if (produced == n || d->end_reached) return produced;
    }
    if (d->eof) return produced;
    while (produced < n) {
        if (d->end_reached) break;
        if (!d->start_seek_done) {
            // Nothing has been read yet: a stream without timestamps is already at its start.
            const int ret = d->no_timestamps ? 0 : ff_seek_before(d, d->start_ts);
            d->start_seek_done = true;
            if (ret < 0) printf("Fail to seek : %d\n", ret);
        }
        if (av_read_frame(d->fmt_ctx, d->pkt) < 0) {
            d->eof = true;
            if (send_flush(d)) ff_video_demuxer_receive_frames(d, n, frames, &produced);
            break;
        }
        if (d->pkt->stream_index == d->stream_index) {
            const int ret = avcodec_send_packet(d->dec_ctx, d->pkt);
            if (ret == AVERROR_INVALIDDATA) printf("ERR : Invalid data decoding\n");
            if (ret < 0 && ret != AVERROR_INVALIDDATA) {
                print_av_error("Error sending packet to decoder (unknown)", ret);
                av_packet_unref(d->pkt);
                break;
            }
            ff_video_demuxer_receive_frames(d, n, frames, &produced);
        }
        av_packet_unref(d->pkt);
    }
    if (produced < n && !d->end_reached) ff_video_demuxer_receive_frames(d, n, frames, &produced);
    return produced;
}

namespace {

// A decoded picture into `out`, always with owned planes.
void ff_deliver_picture(FfVideoDemuxerData *d, AVFrame *f, VideoFrame *out) {
    if (uint32_t(f->width) != d->dec_w || uint32_t(f->height) != d->dec_h) printf("Decoding res mismatch\n");
    const bool corrupt = frame_is_corrupt(f);
    if (uint32_t(f->width) == d->dst_w && uint32_t(f->height) == d->dst_h &&
        plain_twin(AVPixelFormat(f->format)) == d->ff_fmt) {
        ff_frame_copy_to_video_frame(d, f, out);
        out->error_flags = corrupt ? VideoFrameError_Corrupt : 0;
    } else {
        give_owned_planes(d, out);
        out->error_flags = corrupt ? VideoFrameError_Corrupt : 0;
        ff_convert_job_run(FfConvertJob{out, f, get_scaler(d, 0, f), d->ff_fmt});
    }
}

// One picture at or after `target` into `out`. Pictures before the target are passed
// over; with `before` set, the latest of them is kept there.
bool ff_video_demuxer_receive_one(FfVideoDemuxerData *d, VideoFrame *out, int64_t target, AVFrame *before) {
    AVFrame *f = av_frame_alloc();
    if (!f) throw_alloc_error();
    struct FreeOnExit {
        AVFrame **f;
        ~FreeOnExit() { av_frame_free(f); }
    } free_frame{&f};
    for (;;) {
        const int ret = avcodec_receive_frame(d->dec_ctx, f);
        if (ret == AVERROR(EAGAIN)) return false;
        if (ret == AVERROR_EOF) {
            printf("Decoding EOF\n");
            return false;
        }
        if (ret < 0) {
            if (ret == AVERROR_INVALIDDATA) {
                printf("Decoding error : Invalid data (at frame :)\n");
            } else {
                printf("Decoding error : Unknown (at frame)\n");
                print_av_error("Error : ", ret);
            }
            fill_black(d, out);
            out->error_flags = VideoFrameError_Corrupt;
            return true;
        }
        const int64_t ts = placement_ts(d, f);
        if (ts == AV_NOPTS_VALUE || ts < target) {
            if (before && ts != AV_NOPTS_VALUE) {
                av_frame_unref(before);
                av_frame_move_ref(before, f);
            } else {
                av_frame_unref(f);
            }
            continue;
        }
        ff_deliver_picture(d, f, out);
        return true;
    }
}

}  // namespace

void ff_video_demuxer_get_frame(void *priv, uint32_t index, VideoFrame *out, bool clamp) {
    auto *d = static_cast<FfVideoDemuxerData *>(priv);
    ff_video_demuxer_join_jobs(d);
    // With clamp, a number past the last picture gives the last picture.
    AVFrame *before = nullptr;
    if (clamp && !(before = av_frame_alloc())) throw_alloc_error();
    struct FreeOnExit {
        AVFrame **f;
        ~FreeOnExit() { av_frame_free(f); }
    } free_before{&before};
    d->pending = false;
    avcodec_flush_buffers(d->dec_ctx);
    const int64_t target = frame_window_start(d, index);
    if (ff_seek_before(d, target) < 0) printf("Fail to seek : %" PRId64 "\n", target);

    bool delivered = false;
    while (!delivered) {
        if (av_read_frame(d->fmt_ctx, d->pkt) < 0) {
            if (send_flush(d)) delivered = ff_video_demuxer_receive_one(d, out, target, before);
            if (!delivered && before && before->buf[0]) {
                ff_deliver_picture(d, before, out);
                delivered = true;
            }
            break;
        }
        if (d->pkt->stream_index != d->stream_index) {
            printf("PAQUET NON VIDEO\n");
            av_packet_unref(d->pkt);
            continue;
        }
        if ((d->pkt->flags & AV_PKT_FLAG_DISPOSABLE) && d->pkt->pts != AV_NOPTS_VALUE && d->pkt->pts < target) {
            av_packet_unref(d->pkt);
            continue;
        }
        const int ret = avcodec_send_packet(d->dec_ctx, d->pkt);
        av_packet_unref(d->pkt);
        if (ret == AVERROR_INVALIDDATA) printf("ERR : Invalid data decoding\n");
        if (ret < 0 && ret != AVERROR_INVALIDDATA) {
            print_av_error("Error sending packet to decoder (unknown)", ret);
            break;
        }
        delivered = ff_video_demuxer_receive_one(d, out, target, before);
    }
    // Nothing decoded at that number (past the end without clamp, or no picture): a failed
    // read, never the previous picture passed off as this one.
    if (!delivered) out->error_flags = VideoFrameError_ReadFailed;
    out->frame_index = index;
}

void ff_video_demuxer_close(void *priv) { free_data(static_cast<FfVideoDemuxerData *>(priv)); }
