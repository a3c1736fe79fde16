// PCM tracks of a MOV file, read through the MOV reader without decoding.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "container/mov/mov_reader.h"
#include "pipeline/audio/audio_sources.h"
#include "platform/core/errors.h"

namespace {

struct MovTrackState {
    uint64_t current;
    uint64_t end;  // exclusive
    uint64_t samples_per_read;
    AudioSampleFormat format;
    uint32_t frequency;
    uint32_t channels;
    uint8_t planar;  // always 0: stored samples are interleaved
};

struct MovPcmSource {
    MovReader reader;
    MovTrackState *tracks;
    uint32_t nb_tracks;
};

void mov_pcm_free(void *priv) {
    MovPcmSource *s = static_cast<MovPcmSource *>(priv);
    mov_reader_close(&s->reader);
    free(s->tracks);
    delete s;
}

// nearest(v), halves away from zero, kept inside the 64-bit range.
uint64_t nearest_sample(double v) {
    v = std::round(v);
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551615.0) return UINT64_MAX;
    return uint64_t(v);
}

void mov_pcm_read(void *priv, AudioFrame *frame, uint32_t t) {
    MovPcmSource *s = static_cast<MovPcmSource *>(priv);
    if (t >= s->nb_tracks) throw_process_error("Invalid track num");
    MovTrackState &tr = s->tracks[t];
    if (frame->channels != tr.channels) throw_process_error("Invalid channels");
    if (frame->frequency != tr.frequency) throw_process_error("Invalid freq");
    if (frame->nb_planes != 1 || !frame->planes) throw_process_error("Invalid planar");
    if (frame->format != tr.format) throw_process_error("Invalid pcm fmt");
    if (frame->capacity < tr.samples_per_read) throw_process_error("Not enough space out f mov pcm");

    clear_audio_frame_channel_states(frame);
    frame->nb_samples = 0;
    if (tr.current < tr.end) {
        uint64_t n = tr.end - tr.current;
        if (n > tr.samples_per_read) n = tr.samples_per_read;
        const uint64_t got = mov_reader_read_audio(&s->reader, frame->planes[0], t, tr.current, n);
        if (got != n) printf("WARNING : Invalid mov pcm read : %" PRIu64 " (expected : %" PRIu64 ")\n", got, n);
        tr.current += n;
        frame->nb_samples = uint32_t(n);
    }
    fill_audio_frame_silence(frame);
}

}  // namespace

AudioDemuxer *create_audio_demuxer_mov_pcm(const AudioMovSourceParams &prm, uint32_t seconds_per_read) {
    AudioDemuxer *d = new_audio_demuxer(seconds_per_read, AudioDemuxerKind_Other);
    MovPcmSource *s = new MovPcmSource;
    s->tracks = nullptr;
    s->nb_tracks = 0;
    mov_reader_init(&s->reader);
    try {
        MovReaderParams rp;
        rp.path = prm.path;
        mov_reader_open(&s->reader, &rp);
        const MovReader &r = s->reader;
        if (r.nb_audio_tracks == 0 || !r.audio_tracks) throw_process_error("Can't find audio");
        s->tracks = static_cast<MovTrackState *>(calloc(r.nb_audio_tracks, sizeof(MovTrackState)));
        if (!s->tracks) throw_alloc_error();
        s->nb_tracks = r.nb_audio_tracks;

        const ZRational rate = prm.use_file_rate ? r.fps_rational : ZRational{prm.rate_num, prm.rate_den};
        const double fps = rate.den ? double(rate.num) / double(rate.den) : 0.0;
        const bool need_rate = prm.start_frame > 0 || prm.end_frame != -1;

        for (uint32_t i = 0; i < s->nb_tracks; i++) {
            const MovAudioTrack &at = r.audio_tracks[i];
            MovTrackState &tr = s->tracks[i];
            tr.current = 0;
            tr.end = at.nb_samples;
            tr.samples_per_read = uint64_t(d->seconds_per_read) * at.sample_rate;
            tr.format = mov_reader_get_pcm_format(&at);
            if (tr.format == AudioSampleFormat_Unsupported) throw_process_error("Invalid pcm data");
            tr.frequency = at.sample_rate;
            tr.channels = at.channels;
            tr.planar = 0;
            // A zero rate would turn frame numbers into infinite sample numbers.
            if (need_rate && !(fps > 0)) throw_process_error("Invalid frame rate");
            if (prm.start_frame > 0) tr.current = nearest_sample(double(tr.frequency) * prm.start_frame / fps);
            if (prm.end_frame != -1) {
                if (prm.end_frame < int64_t(prm.start_frame)) throw_process_error("Invalid end f");
                const double frames = double(prm.end_frame) - double(prm.start_frame) + 1.0;
                const uint64_t length = nearest_sample(double(tr.frequency) * frames / fps);
                const uint64_t candidate = length > UINT64_MAX - tr.current ? UINT64_MAX : tr.current + length;
                if (candidate < at.nb_samples)
                    tr.end = candidate;
                else
                    printf("Not enough samples in audio track mov pcm\n");
            }
        }
    } catch (...) {
        mov_pcm_free(s);
        free_audio_demuxer(d);
        throw;
    }
    d->priv_data = s;
    d->read = mov_pcm_read;
    d->free = mov_pcm_free;
    return d;
}
