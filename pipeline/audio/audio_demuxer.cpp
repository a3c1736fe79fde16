#include "pipeline/audio/audio_demuxer.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pipeline/audio/wav_reader.h"
#include "platform/core/errors.h"

namespace {

struct WavSource {
    WavReader reader;
    uint64_t current;
    uint64_t end;  // exclusive
    uint64_t samples_per_read;
    AudioSampleFormat format;
};

void wav_source_free(void *priv) {
    WavSource *s = static_cast<WavSource *>(priv);
    wav_reader_free(&s->reader);
    delete s;
}

// nearest(seconds x rate), halves away from zero; negative and overflowing values are
// clamped so the conversion stays defined.
uint64_t seconds_to_sample(double seconds, uint32_t rate) {
    double v = std::round(seconds * rate);
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551615.0) return UINT64_MAX;
    return uint64_t(v);
}

void wav_source_read(void *priv, AudioFrame *frame, uint32_t) {
    WavSource *s = static_cast<WavSource *>(priv);
    const WavReader &r = s->reader;
    if (frame->channels != r.channels) {
        printf("ERR : Invalid channels out frame input wav : %d (expected : %d)\n", int(frame->channels),
               int(r.channels));
        throw_process_error("Invalid channels input wav");
    }
    if (frame->frequency != r.sample_rate) throw_process_error("Invalid freq");
    if (frame->nb_planes != 1) throw_process_error("Invalid planar");
    if (frame->format != s->format) throw_process_error("Invalid pcm fmt");
    if (frame->capacity < s->samples_per_read) throw_process_error("Not enough space out f wav");

    clear_audio_frame_channel_states(frame);
    frame->nb_samples = 0;
    if (s->current < s->end) {
        uint64_t n = s->end - s->current;
        if (n > s->samples_per_read) n = s->samples_per_read;
        uint64_t got = wav_reader_read_samples_locked(&s->reader, frame->planes[0], s->current, n);
        if (got != n) printf("WARNING : Invalid wav read : %" PRIu64 " (expected : %" PRIu64 ")\n", got, n);
        s->current += n;
        frame->nb_samples = uint32_t(n);
    }
    fill_audio_frame_silence(frame);
}

}  // namespace

AudioDemuxer *new_audio_demuxer(uint32_t seconds_per_read, uint32_t kind) {
    AudioDemuxer *d = new AudioDemuxer;
    d->kind = kind;
    d->priv_data = nullptr;
    d->seconds_per_read = seconds_per_read ? seconds_per_read : 1;
    d->read = nullptr;
    d->free = nullptr;
    return d;
}

void audio_demuxer_read(AudioDemuxer *d, AudioFrame *frame, uint32_t track_index) {
    if (!d || !d->read) throw_process_error("Invalid audio demuxer (NULL)");
    d->read(d->priv_data, frame, track_index);
}

void free_audio_demuxer(AudioDemuxer *d) {
    if (!d) return;
    if (d->free && d->priv_data) d->free(d->priv_data);
    delete d;
}

AudioDemuxer *create_audio_demuxer_wav(const AudioWavSourceParams &params, uint32_t seconds_per_read) {
    AudioDemuxer *d = new_audio_demuxer(seconds_per_read, AudioDemuxerKind_Wav);
    WavSource *s = new WavSource;
    wav_reader_init(&s->reader);
    try {
        wav_reader_open(&s->reader, params.path);
        const uint32_t rate = s->reader.sample_rate;
        s->current = 0;
        s->end = s->reader.nb_samples;
        s->format = wav_reader_get_format(&s->reader);
        s->samples_per_read = uint64_t(rate) * d->seconds_per_read;
        if (params.start > 0) s->current = seconds_to_sample(params.start, rate);
        if (params.end > 0) {
            uint64_t e = seconds_to_sample(params.end, rate);
            if (e > s->reader.nb_samples)
                printf("WARNING : Not enough sample, for end sample value\n");
            else
                s->end = e;
        }
    } catch (...) {
        wav_source_free(s);
        free_audio_demuxer(d);
        throw;
    }
    d->priv_data = s;
    d->read = wav_source_read;
    d->free = wav_source_free;
    return d;
}
