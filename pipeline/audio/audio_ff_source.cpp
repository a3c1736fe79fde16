// Audio streams of any file FFmpeg reads, decoded into one planar ring per track.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}
#include <soundio/soundio.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pipeline/audio/audio_planar_ring.h"
#include "pipeline/audio/audio_sources.h"
#include "platform/core/errors.h"

namespace {

constexpr uint32_t kRingSeconds = 60;

struct FfTrack {
    uint64_t samples_per_read;
    AudioPlanarRing ring;
    uint8_t **plane_ptrs;  // scratch for the ring's positions
    int32_t ff_format;
    AudioSampleFormat format;
    uint8_t planar;
    uint32_t bytes_per_sample;
    uint32_t bytes_per_plane_sample;
    int32_t stream_index;
    uint32_t frequency;
    uint32_t channels;
    AVCodecContext *decoder;
    AVFrame *frame;
    uint64_t ring_capacity;
    uint64_t buffered;
};

struct FfSource {
    AVFormatContext *fmt;
    uint8_t eof;
    FfTrack *tracks;
    uint32_t nb_tracks;
    SoundIo *soundio;
};

void ff_source_free(void *priv) {
    FfSource *s = static_cast<FfSource *>(priv);
    if (!s) return;
    for (uint32_t i = 0; s->tracks && i < s->nb_tracks; i++) {
        FfTrack &t = s->tracks[i];
        audio_planar_ring_free(&t.ring);
        avcodec_free_context(&t.decoder);
        av_frame_free(&t.frame);
        free(t.plane_ptrs);
    }
    free(s->tracks);
    if (s->soundio) soundio_destroy(s->soundio);
    if (s->fmt) avformat_close_input(&s->fmt);
    free(s);
}

AudioSampleFormat map_ff_format(int f) {
    if (f < 0) throw_process_error("Invalid audio track fmt");
    switch (f) {
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
    case AV_SAMPLE_FMT_S64:
    case AV_SAMPLE_FMT_S64P: throw_process_error("Unsupported S64");
    default: throw_process_error("unknown audio fmt");
    }
}

// Copies the decoded frame into the track's ring.
void push_frame(FfTrack &t, const AVFrame *f) {
    if (f->nb_samples < 1) {
        printf("Warning : empty frame\n");
        return;
    }
    // The ring's planes were sized for the stream's format and channels: a frame in
    // another layout would be read past its end.
    if (f->format != t.ff_format || uint32_t(f->ch_layout.nb_channels) != t.channels) {
        printf("WARNING : audio frame layout changed for track : %d (dropped)\n", t.stream_index);
        return;
    }
    uint32_t space = 0;
    audio_planar_ring_get_writable(&t.ring, &space, t.plane_ptrs);
    uint32_t n = uint32_t(f->nb_samples);
    if (space < n) {
        printf("WARNING : Not enough space for audio data (%u ; %u)\n", n, space);
        n = space;
    }
    if (n == 0) return;
    for (uint32_t p = 0; p < t.ring.nb_planes; p++)
        memcpy(t.plane_ptrs[p], f->extended_data[p], size_t(n) * t.bytes_per_plane_sample);
    t.buffered += n;
    audio_planar_ring_advance_write(&t.ring, n);
}

// Decodes one packet into the track; a null packet drains the decoder.
void decode_packet(FfTrack &t, const AVPacket *pkt) {
    int ret = avcodec_send_packet(t.decoder, pkt);
    if (ret < 0) {
        printf("Fail to send audio data : %d\n", ret);
        throw_process_error("Fail to send audio data");
    }
    for (;;) {
        ret = avcodec_receive_frame(t.decoder, t.frame);
        if (ret == AVERROR(EAGAIN)) return;
        if (ret == AVERROR_EOF) {
            printf("Decoding EOF\n");
            return;
        }
        if (ret < 0) {
            printf("Decoding error for track : %u : %d\n", unsigned(t.stream_index), ret);
            throw_process_error("Fail to decode audio data");
        }
        push_frame(t, t.frame);
        av_frame_unref(t.frame);
    }
}

// Appends up to `wanted` buffered samples of the track after the frame's samples.
void take_samples(FfTrack &t, AudioFrame *frame, uint64_t wanted) {
    uint32_t readable = 0;
    audio_planar_ring_get_readable(&t.ring, &readable, t.plane_ptrs);
    uint64_t k = t.buffered < wanted ? t.buffered : wanted;
    if (readable != t.buffered) {
        printf("Warning track sample count mismatch (%u ; %llu)\n", readable, (unsigned long long)t.buffered);
        if (k > readable) k = readable;
    }
    if (k == 0) return;
    const uint64_t offset = uint64_t(frame->nb_samples) * t.bytes_per_plane_sample;
    for (uint32_t p = 0; p < t.ring.nb_planes; p++)
        memcpy(frame->planes[p] + offset, t.plane_ptrs[p], size_t(k) * t.bytes_per_plane_sample);
    audio_planar_ring_advance_read(&t.ring, uint32_t(k));
    t.buffered -= k;
    frame->nb_samples += uint32_t(k);
}

void ff_source_read(void *priv, AudioFrame *frame, uint32_t stream_index) {
    FfSource *s = static_cast<FfSource *>(priv);
    FfTrack *t = nullptr;
    for (uint32_t i = 0; i < s->nb_tracks; i++)
        if (uint32_t(s->tracks[i].stream_index) == stream_index) t = &s->tracks[i];
    if (!t) throw_process_error("Invalid audio track index");
    if (frame->channels != t->channels) throw_process_error("Invalid channels");
    if (frame->frequency != t->frequency) throw_process_error("Invalid freq");
    if (frame->planar != t->planar || !frame->planes) throw_process_error("Invalid planar mode");
    if (frame->format != t->format) throw_process_error("Invalid pcm fmt");
    if (frame->capacity < t->samples_per_read) throw_process_error("Not enough space out f (ff)");

    clear_audio_frame_channel_states(frame);
    frame->nb_samples = 0;
    take_samples(*t, frame, t->samples_per_read);
    if (frame->nb_samples < t->samples_per_read && !s->eof) {
        const uint64_t need = t->samples_per_read - frame->nb_samples;
        AVPacket *pkt = av_packet_alloc();
        if (!pkt) throw_alloc_error();
        try {
            while (t->buffered < need) {
                bool full = false;
                for (uint32_t i = 0; i < s->nb_tracks && !full; i++) {
                    if (s->tracks[i].buffered >= s->tracks[i].ring_capacity) {
                        printf("Warning : Buffering full for track : %u\n", i);
                        printf("WARNING : Audio buffering is full\n");
                        full = true;
                    }
                }
                if (full) break;
                if (av_read_frame(s->fmt, pkt) < 0) {
                    s->eof = 1;
                    for (uint32_t i = 0; i < s->nb_tracks; i++) decode_packet(s->tracks[i], nullptr);
                    break;
                }
                if (pkt->stream_index < 0) {
                    printf("WARNING : Invalid packet : %d\n", pkt->stream_index);
                } else {
                    for (uint32_t i = 0; i < s->nb_tracks; i++)
                        if (s->tracks[i].stream_index == pkt->stream_index) {
                            decode_packet(s->tracks[i], pkt);
                            break;
                        }
                }
                av_packet_unref(pkt);
            }
        } catch (...) {
            av_packet_free(&pkt);
            throw;
        }
        av_packet_free(&pkt);
        take_samples(*t, frame, need);
    }
    fill_audio_frame_silence(frame);
}

}  // namespace

AudioDemuxer *create_audio_demuxer_ff(const AudioFfmpegSourceParams &prm, uint32_t seconds_per_read) {
    if (prm.count == 0 || !prm.stream_indices) throw_process_error("Invalid demuxing track count");
    AudioDemuxer *d = new_audio_demuxer(seconds_per_read, AudioDemuxerKind_Other);
    FfSource *s = static_cast<FfSource *>(calloc(1, sizeof(FfSource)));
    try {
        if (!s) throw_alloc_error();
        s->tracks = static_cast<FfTrack *>(calloc(prm.count, sizeof(FfTrack)));
        if (!s->tracks) throw_alloc_error();
        s->nb_tracks = prm.count;
        s->soundio = soundio_create();
        if (!s->soundio) throw_alloc_error();
        for (uint32_t i = 0; i < prm.count; i++) {
            s->tracks[i].ff_format = -1;
            s->tracks[i].format = AudioSampleFormat_Unsupported;
            s->tracks[i].stream_index = prm.stream_indices[i];
        }
        if (avformat_open_input(&s->fmt, prm.path, nullptr, nullptr) < 0) {
            s->fmt = nullptr;
            throw_process_error("Can't open input file");
        }
        if (avformat_find_stream_info(s->fmt, nullptr) < 0) {
            printf("ERROR : Can't find stream information\n");
            avformat_close_input(&s->fmt);
            throw_process_error("Can't get input file info");
        }
        for (unsigned i = 0; i < s->fmt->nb_streams; i++) s->fmt->streams[i]->discard = AVDISCARD_ALL;
        av_dump_format(s->fmt, 0, prm.path, 0);

        for (uint32_t i = 0; i < prm.count; i++) {
            FfTrack &t = s->tracks[i];
            if (t.stream_index < 0 || unsigned(t.stream_index) >= s->fmt->nb_streams)
                throw_process_error("Invalid audio track num");
            AVStream *st = s->fmt->streams[t.stream_index];
            const AVCodecParameters *par = st->codecpar;
            if (par->codec_type != AVMEDIA_TYPE_AUDIO) throw_process_error("Invalid audio track");
            st->discard = AVDISCARD_DEFAULT;
            if (par->ch_layout.nb_channels <= 0) throw_process_error("Invalid channels");
            if (par->ch_layout.nb_channels > int(kAudioFrameMaxChannels)) throw_process_error("Too much channels");
            if (par->sample_rate <= 0) throw_process_error("Invalid freq");
            t.channels = uint32_t(par->ch_layout.nb_channels);
            t.frequency = uint32_t(par->sample_rate);
            t.samples_per_read = uint64_t(d->seconds_per_read) * t.frequency;
            t.format = map_ff_format(par->format);
            t.ff_format = par->format;
            t.bytes_per_sample = uint32_t(av_get_bytes_per_sample(AVSampleFormat(par->format)));
            t.planar = (av_sample_fmt_is_planar(AVSampleFormat(par->format)) || t.channels == 1) ? 1 : 0;
            t.bytes_per_plane_sample = t.bytes_per_sample * (t.planar ? 1 : t.channels);

            const AVCodec *codec = avcodec_find_decoder(par->codec_id);
            if (!codec) throw_process_error("Can't find audio decoder");
            t.decoder = avcodec_alloc_context3(codec);
            if (!t.decoder) throw_alloc_error();
            if (avcodec_parameters_to_context(t.decoder, par) < 0) throw_process_error("Can't find audio decoder");
            if (int ret = avcodec_open2(t.decoder, codec, nullptr); ret < 0) {
                printf("Can't open audio decoder (%d)\n", ret);
                throw_process_error("Can't open audio decoder");
            }

            t.ring_capacity = uint64_t(t.frequency) * kRingSeconds;
            if (t.ring_capacity > UINT32_MAX) throw_process_error("Invalid freq");
            const uint32_t planes = t.planar ? t.channels : 1;
            t.plane_ptrs = static_cast<uint8_t **>(calloc(planes, sizeof(uint8_t *)));
            if (!t.plane_ptrs) throw_alloc_error();
            audio_planar_ring_init(s->soundio, &t.ring, planes, t.frequency, uint32_t(t.ring_capacity),
                                   t.bytes_per_plane_sample);
            t.frame = av_frame_alloc();
            if (!t.frame) throw_alloc_error();
        }
    } catch (...) {
        ff_source_free(s);
        free_audio_demuxer(d);
        throw;
    }
    d->priv_data = s;
    d->read = ff_source_read;
    d->free = ff_source_free;
    return d;
}
