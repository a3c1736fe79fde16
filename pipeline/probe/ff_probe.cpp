#include "pipeline/probe/ff_probe.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libavutil/timecode.h>
}

#include "pipeline/audio/wav_reader.h"  // kWavMaxSampleRate
#include "platform/core/errors.h"

namespace {

constexpr uint32_t tag_le(const char s[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

struct FormatContext {
    AVFormatContext *ctx = nullptr;
    ~FormatContext() { avformat_close_input(&ctx); }
};

void set_codec_name(MediaInfo *info, const char *name) {
    free(info->codec_name);
    info->codec_name = clone_str(name);
    if (!info->codec_name) throw_alloc_error();
}

// Parses a timecode text at a rate; false when FFmpeg refuses it.
bool parse_timecode(MediaInfo *info, const char *text, AVRational rate, AVFormatContext *ctx) {
    AVTimecode tc;
    if (av_timecode_init_from_string(&tc, rate, text, ctx) < 0) return false;
    info->have_tc = true;
    info->tc_start_frame = uint32_t(tc.start);
    info->tc_drop_frame = (tc.flags & AV_TIMECODE_FLAG_DROPFRAME) != 0;
    return true;
}

AudioSampleFormat audio_format_of(int fmt) {
    switch (fmt) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P: return AudioSampleFormat_U8;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P: return AudioSampleFormat_S16LE;
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P: return AudioSampleFormat_S32LE;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP: return AudioSampleFormat_F32LE;
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_DBLP: return AudioSampleFormat_F64LE;
    case AV_SAMPLE_FMT_NONE: throw_process_error("Undefined audio fmt");
    case AV_SAMPLE_FMT_S64:
    case AV_SAMPLE_FMT_S64P: throw_process_error("Unsupported S64");
    default: throw_process_error("unknown audio fmt");
    }
}

void describe_audio(MediaInfo *info, AudioInfo *t, AVStream *st, uint32_t index, const AVFormatContext *ctx) {
    info->audio_src_type = MediaInfoAudioSrc_Ffmpeg;
    t->index_stream = index;
    const AVCodecParameters *par = st->codecpar;

    const int channels = par->ch_layout.nb_channels;
    if (channels <= 0) {
        printf("Invalid channel count 0\n");
        t->is_valid = false;
        return;
    }
    init_audio_info_channels(t, uint32_t(channels));  // more than 64 leaves the probe

    if (par->sample_rate <= 0 || uint32_t(par->sample_rate) > kWavMaxSampleRate) {
        printf("Invalid audio frequency %d\n", par->sample_rate);
        t->is_valid = false;
        return;
    }
    t->frequency = uint32_t(par->sample_rate);

    try {
        t->format = audio_format_of(par->format);
    } catch (const ProcessError &) {
        printf("Unknown audio fmt : %d\n", par->format);
        t->is_valid = false;
        return;
    }
    const AVSampleFormat fmt = AVSampleFormat(par->format);
    t->bytes_per_sample = uint32_t(av_get_bytes_per_sample(fmt));
    t->ff_sample_fmt = par->format;
    t->is_planar = av_sample_fmt_is_planar(fmt) != 0;

    const double tb = st->time_base.den ? double(st->time_base.num) / st->time_base.den : 0;
    if (!(tb > 0)) {
        printf("Invalid audio stream timebase : %d/%d\n", st->time_base.num, st->time_base.den);
        t->is_valid = false;
        return;
    }
    t->ff_codec_id = par->codec_id;
    t->description = clone_str(get_ff_codec_display_name(par->codec_id, par->codec_tag));
    if (!t->description) throw_alloc_error();

    if (st->duration >= 1) {
        t->duration = double(st->duration) * tb;
        t->nb_samples = uint64_t(t->duration * t->frequency);
    } else if (st->duration == AV_NOPTS_VALUE && ctx->duration > 0) {
        // Containers such as Matroska store no stream duration: the file's stands for it.
        t->duration = double(ctx->duration) / AV_TIME_BASE;
        t->nb_samples = uint64_t(t->duration * t->frequency);
    } else if (st->duration == AV_NOPTS_VALUE) {
        printf("Invalid audio stream duration : No Pts\n");
        t->is_valid = false;
    } else {
        printf("Invalid audio stream duration : %lld\n", (long long)st->duration);
        t->is_valid = false;
    }
}

// Frame count of a stream without one: from the stream's duration, else the container's.
bool count_frames(MediaInfo *info, AVStream *st, AVFormatContext *ctx) {
    const AVRational a = st->avg_frame_rate;
    if (a.num <= 0 || a.den <= 0) {
        printf("can't get duration f invalid fps\n");
        return false;
    }
    uint64_t frames;
    if (st->time_base.num > 0 && st->time_base.den > 0 && st->duration > 0) {
        frames =
            ff_probe_frames_in_duration(double(st->duration) * st->time_base.num / st->time_base.den, a.num, a.den);
        if (frames == 0) {
            printf("can't get duration f from stream\n");
            return false;
        }
    } else {
        frames = ctx->duration > 0 ? ff_probe_frames_in_duration(double(ctx->duration) / 1000000.0, a.num, a.den) : 0;
        if (frames == 0) {
            printf("can't get duration f from ctx\n");
            return false;
        }
    }
    if (frames >= 4294967295u) {
        printf("Out of range duration f\n");
        info->have_video = false;
        return true;
    }
    info->nb_frames = uint32_t(frames);
    return true;
}

void describe_video(MediaInfo *info, AVStream *st, AVFormatContext *ctx) {
    const AVCodecParameters *par = st->codecpar;
    info->have_video = true;
    info->ff_codec_id = par->codec_id;
    info->codec_fourcc = __builtin_bswap32(par->codec_tag);

    if (par->width <= 0 || par->height <= 0) {
        printf("ERROR : Invalid resolution : (%dx%d)\n", par->width, par->height);
        info->have_video = false;
        return;
    }
    info->width = uint32_t(par->width);
    info->height = uint32_t(par->height);

    const AVRational r = st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0) {
        printf("Invalid fps : (%d/%d)\n", r.num, r.den);
        info->have_video = false;
        return;
    }
    info->fps = ff_probe_reduce_rate(uint32_t(r.num), uint32_t(r.den));

    const AVRational sar = par->sample_aspect_ratio;
    if (sar.num == 0 || sar.num == sar.den) {
        // square pixels
    } else if (sar.den <= 0 || sar.num < 0) {
        printf("Invalid sample aspect ratio\n");
    } else {
        info->pixel_ratio = ZRational{uint32_t(sar.num), uint32_t(sar.den)};
    }

    set_codec_name(info, get_ff_codec_display_name(par->codec_id, par->codec_tag));

    if (st->nb_frames > 0 && st->nb_frames < 4294967295) {
        info->nb_frames = uint32_t(st->nb_frames);
    } else if (st->nb_frames >= 4294967295) {
        printf("Out of range duration f\n");
        info->have_video = false;
        return;
    } else if (!count_frames(info, st, ctx)) {
        printf("Can't get duration\n");
        info->have_video = false;
        return;
    }
    if (!info->have_video) return;

    int fmt = par->format;
    switch (fmt) {
    case AV_PIX_FMT_YUVJ420P: fmt = AV_PIX_FMT_YUV420P; break;
    case AV_PIX_FMT_YUVJ422P: fmt = AV_PIX_FMT_YUV422P; break;
    case AV_PIX_FMT_YUVJ444P: fmt = AV_PIX_FMT_YUV444P; break;
    case AV_PIX_FMT_YUVJ440P: fmt = AV_PIX_FMT_YUV440P; break;
    case AV_PIX_FMT_YUVJ411P: fmt = AV_PIX_FMT_YUV411P; break;
    default: break;
    }
    info->ff_pix_fmt = fmt;
    info->pix_fmt = ff_pix_fmt_to_pix_fmt(fmt);
    info->color_range = par->color_range == AVCOL_RANGE_MPEG ? 0 : par->color_range == AVCOL_RANGE_JPEG ? 1 : 2;
    const int loc = int(par->chroma_location) - 1;
    info->chroma_location = loc >= 0 && loc <= 5 ? uint32_t(loc) : 6;
    info->color_matrix = media_yuv_matrix(int(par->color_space), info->width, info->height);
    info->have_alpha = ff_pix_fmt_has_alpha(fmt);
}

}  // namespace

ZRational ff_probe_reduce_rate(uint32_t num, uint32_t den) {
    if (den != 1 && den != 0 && num % den == 0) return ZRational{num / den, 1};
    return ZRational{num, den};
}

uint64_t ff_probe_frames_in_duration(double seconds, int num, int den) {
    if (num <= 0 || den <= 0) return 0;
    const double frames = std::round(seconds * num / den);
    if (!(frames > 0)) return 0;
    if (frames >= 18446744073709551615.0) return UINT64_MAX;
    return uint64_t(frames);
}

const char *get_ff_codec_display_name(int codec_id, uint32_t tag) {
    switch (codec_id) {
    case AV_CODEC_ID_MPEG2VIDEO: return "Mpeg2";
    case AV_CODEC_ID_MJPEG: return "MJPEG";
    case AV_CODEC_ID_RAWVIDEO: return "Uncompressed";
    case AV_CODEC_ID_H264: return "H.264";
    case AV_CODEC_ID_THEORA: return "Theora";
    case AV_CODEC_ID_MSRLE: return "Microsoft RLE";
    case AV_CODEC_ID_QTRLE: return "Animation";
    case AV_CODEC_ID_PNG: return "PNG";
    case AV_CODEC_ID_JPEG2000: return "Jpeg2000";
    case AV_CODEC_ID_TARGA: return "Targa";
    case AV_CODEC_ID_TIFF: return "Tiff";
    case AV_CODEC_ID_DNXHD: return "DnxHD";
    case AV_CODEC_ID_V210: return "Uncompressed 4:2:2 10-bit";
    case AV_CODEC_ID_PRORES:
        if (tag == tag_le("ap4h")) return "Prores 4444";
        if (tag == tag_le("apch")) return "Prores 422HQ";
        if (tag == tag_le("apcn")) return "Prores 422";
        if (tag == tag_le("apco")) return "Prores Proxy";
        if (tag == tag_le("apcs")) return "Prores LT";
        return "Prores (Unknown)";
    case AV_CODEC_ID_VP9: return "VP9";
    case AV_CODEC_ID_HEVC: return "HEVC";
    case AV_CODEC_ID_HAP:
        if (tag == tag_le("Hap1")) return "HAP";
        if (tag == tag_le("Hap5")) return "HAPA";
        if (tag == tag_le("HapA")) return "HAP Alpha Only";
        if (tag == tag_le("HapM")) return "HAPQA";
        if (tag == tag_le("HapY")) return "HAPQ";
        return "HAP (Unknown)";
    case AV_CODEC_ID_PCM_S16LE: return "PCM S16bits LE";
    case AV_CODEC_ID_PCM_S24LE: return "PCM S24bits LE";
    case AV_CODEC_ID_AAC: return "AAC";
    case AV_CODEC_ID_VORBIS: return "Vorbis";
    case AV_CODEC_ID_OPUS: return "Opus";
    default: return avcodec_get_name(AVCodecID(codec_id));
    }
}

PixFmt ff_pix_fmt_to_pix_fmt(int fmt) {
    switch (fmt) {
    case AV_PIX_FMT_YUV420P: return PixFmt_YUV420;
    case AV_PIX_FMT_RGB24: return PixFmt_RGB8;
    case AV_PIX_FMT_BGR24: return PixFmt_BGR8;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P: return PixFmt_YUV422;
    case AV_PIX_FMT_YUV444P: return PixFmt_YUV444;
    case AV_PIX_FMT_UYVY422: return PixFmt_UYVY;
    case AV_PIX_FMT_ARGB: return PixFmt_ARGB8;
    case AV_PIX_FMT_RGBA: return PixFmt_RGBA8;
    case AV_PIX_FMT_RGB0: return PixFmt_RGBX8;
    case AV_PIX_FMT_YUVA420P: return PixFmt_YUVA420;
    case AV_PIX_FMT_GBRAP: return PixFmt_PlanarRGBA8;
    case AV_PIX_FMT_GBRP12LE: return PixFmt_PlanarRGB12;
    case AV_PIX_FMT_GBRAP16LE: return PixFmt_PlanarRGBA16;
    case AV_PIX_FMT_YUVA444P: return PixFmt_YUVA444;
    case AV_PIX_FMT_YUV420P10LE: return PixFmt_YUV420_10;
    case AV_PIX_FMT_YUV422P10LE: return PixFmt_YUV422_10;
    case AV_PIX_FMT_YUV444P10LE: return PixFmt_YUV444_10;
    case AV_PIX_FMT_YUVA444P10LE: return PixFmt_YUVA444_10;
    case AV_PIX_FMT_YUV422P12LE: return PixFmt_YUV422_12;
    case AV_PIX_FMT_YUV444P12LE: return PixFmt_YUV444_12;
    case AV_PIX_FMT_YUVA444P12LE: return PixFmt_YUVA444_12;
    case AV_PIX_FMT_RGBA64LE: return PixFmt_RGBA16;
    case AV_PIX_FMT_GBRP: return PixFmt_PlanarRGB8;
    case AV_PIX_FMT_GBRP10LE: return PixFmt_PlanarRGB10;
    case AV_PIX_FMT_GBRP16LE: return PixFmt_PlanarRGB16;
    default: {
        const char *name = av_get_pix_fmt_name(AVPixelFormat(fmt));
        printf("Unknown FF fmt : %s (%d)\n", name ? name : "(null)", fmt);
        return PixFmt_Undefined;
    }
    }
}

bool ff_pix_fmt_has_alpha(int fmt) {
    const AVPixFmtDescriptor *d = av_pix_fmt_desc_get(AVPixelFormat(fmt));
    if (!d) {
        printf("Can't find pix fmt description\n");
        return false;
    }
    return (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

void probe_media_info_ff(MediaInfo *info, bool whole_file, bool take_video, bool take_audio) {
    FormatContext fc;
    if (!info->filepath || avformat_open_input(&fc.ctx, info->filepath, nullptr, nullptr) < 0) {
        printf("ERROR : Can't open file with FF\n");
        throw_process_error("Fail to get information : Can't open file");
    }
    AVFormatContext *ctx = fc.ctx;
    int ret = avformat_find_stream_info(ctx, nullptr);
    if (ret < 0) {
        printf("ERROR : Can't find stream information : %d\n", ret);
        throw_process_error("Fail to get information : Can't find stream info");
    }
    if (whole_file) info->video_src_type = MediaInfoVideoSrc_Ffmpeg;

    bool video_examined = false;
    for (unsigned i = 0; i < ctx->nb_streams; i++) {
        AVStream *st = ctx->streams[i];
        const AVCodecParameters *par = st->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_DATA && par->codec_tag == tag_le("tmcd") && !info->have_tc) {
            const AVDictionaryEntry *e = av_dict_get(st->metadata, "timecode", nullptr, 0);
            if (!e)
                printf("Tc non trouve\n");
            else if (!parse_timecode(info, e->value, st->avg_frame_rate, ctx))
                printf("Error : Can't create timecode\n");  // this stream only; the scan goes on
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && take_audio) {
            AudioInfo *t;
            try {
                t = add_audio_info(info);
            } catch (const std::bad_alloc &) {
                printf("ERROR : Fail to add audio info track (OOM)\n");
                printf("Fail to add audio\n");
                break;
            }
            describe_audio(info, t, st, i, ctx);
        } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (video_examined) {
                printf("Multiple video stream. Skip\n");
            } else if (par->codec_id == AV_CODEC_ID_NONE) {
                printf("WARNING : Invalid video codec\n");
            } else if (!take_video) {
                printf("Partial info and no video, skip video track\n");
            } else if (whole_file && info->have_video) {
                printf("WARNING : Multiple video stream found (ignore)\n");
            } else {
                video_examined = true;
                describe_video(info, st, ctx);
            }
        }
    }

    if (info->have_video && !info->have_tc) {
        const AVDictionaryEntry *e = av_dict_get(ctx->metadata, "timecode", nullptr, AV_DICT_IGNORE_SUFFIX);
        if (e && !parse_timecode(info, e->value, AVRational{int(info->fps.num), int(info->fps.den)}, ctx))
            printf("Error : Can't create timecode\n");
    }
}
