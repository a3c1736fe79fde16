#include "pipeline/audio/audio_frame.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/aligned_alloc.h"
#include "platform/core/errors.h"

namespace {

const uint32_t kSampleBytes[11] = {1, 2, 2, 3, 3, 4, 4, 4, 4, 8, 8};

template <typename T>
T *alloc_array(uint32_t count) {
    T *p = static_cast<T *>(malloc(sizeof(T) * (count ? count : 1)));
    if (!p) throw_alloc_error();
    return p;
}

// Bytes between two sample positions of one plane.
uint64_t sample_bytes(const AudioFrame *f, uint64_t samples) {
    return samples * f->bytes_per_sample * (f->planar ? 1u : f->channels);
}

void fill_range(AudioFrame *f, uint64_t from, uint64_t to) {
    if (from >= to || !f->planes) return;
    const int value = f->format == AudioSampleFormat_U8 ? 128 : 0;
    const uint64_t start = sample_bytes(f, from);
    const uint64_t end = sample_bytes(f, to);
    if (!f->planar) {
        if (start >= end) {
            printf("Warning invalid silence fill\n");
            return;
        }
        if (f->planes[0]) memset(f->planes[0] + start, value, end - start);
        return;
    }
    for (uint32_t p = 0; p < f->nb_planes; p++)
        if (f->planes[p]) memset(f->planes[p] + start, value, end - start);
}

}  // namespace

uint32_t get_audio_sample_bytes(AudioSampleFormat format) { return format <= 10 ? kSampleBytes[format] : 0; }

void init_audio_frame(AudioFrame *f) {
    memset(f, 0, sizeof(*f));
    f->format = AudioSampleFormat_S16LE;
}

AudioFrame *new_audio_frame() {
    AudioFrame *f = alloc_array<AudioFrame>(1);
    init_audio_frame(f);
    return f;
}

void alloc_audio_frame(AudioFrame *f, AudioSampleFormat format, uint32_t channels, uint32_t frequency, uint8_t planar,
                       uint32_t samples) {
    if (format > 10) throw_process_error("Unknown audio descriptor");
    if (channels == 0) throw_process_error("Invalid zero channel");
    if (channels > kAudioFrameMaxChannels) throw_process_error("Too much channels");
    if (frequency == 0) throw_process_error("Invalid frequency (0)");
    if (samples == 0) throw_process_error("Invalid samples (0)");

    const uint32_t bps = kSampleBytes[format];
    uint64_t capacity = samples;
    if (capacity % frequency) capacity += frequency - capacity % frequency;
    const uint64_t size = capacity * channels * bps;
    // A hostile rate or channel count must not wrap the 32-bit sizes into a small block.
    if (size == 0 || size > UINT32_MAX) throw_process_errorf("Invalid audio data alloc size (%" PRIu64 ")", size);

    const bool is_planar = planar || channels == 1;
    const uint32_t nb_planes = is_planar ? channels : 1;
    ZAlignedPtr<uint8_t[]> data = zalloc_aligned_array<uint8_t>(size);
    uint8_t **planes = alloc_array<uint8_t *>(nb_planes);
    uint64_t *masks = static_cast<uint64_t *>(malloc(sizeof(uint64_t) * channels));
    int32_t *states = static_cast<int32_t *>(calloc(channels, sizeof(int32_t)));
    if (!masks || !states) {
        free(planes);
        free(masks);
        free(states);
        throw_alloc_error();
    }

    f->format = format;
    f->planar = is_planar ? 1 : 0;
    f->channels = channels;
    f->frequency = frequency;
    f->bytes_per_sample = bps;
    f->bytes_per_second = frequency * bps;
    f->data = data.release();
    f->data_size = uint32_t(size);
    f->capacity = uint32_t(capacity);
    f->plane_size = capacity * bps;
    f->planes = planes;
    f->nb_planes = nb_planes;
    for (uint32_t p = 0; p < nb_planes; p++) planes[p] = f->data + p * f->plane_size;
    f->channel_masks = masks;
    for (uint32_t c = 0; c < channels; c++) masks[c] = uint64_t(1) << c;
    f->channel_states = states;
    f->nb_samples = 0;
}

void free_audio_frame(AudioFrame *f) {
    if (!f) return;
    zfree_aligned(f->data);
    free(f->planes);
    free(f->channel_states);
    free(f->channel_masks);
    f->data = nullptr;
    f->planes = nullptr;
    f->channel_states = nullptr;
    f->channel_masks = nullptr;
}

void delete_audio_frame(AudioFrame *f) {
    free_audio_frame(f);
    free(f);
}

void reset_audio_frame_plane(AudioFrame *f, uint32_t p) {
    if (!f->data || !f->planes || p >= f->nb_planes) return;
    f->planes[p] = f->data + (f->planar ? p * f->plane_size : 0);
}

void clear_audio_frame_channel_states(AudioFrame *f) {
    if (f->channel_states) memset(f->channel_states, 0, sizeof(int32_t) * f->channels);
}

void fill_audio_frame_silence(AudioFrame *f) {
    if (f->nb_samples >= f->capacity) return;
    if (f->nb_samples == 0 && f->channel_states)
        for (uint32_t c = 0; c < f->channels; c++) f->channel_states[c] = AudioChannelState_Silent;
    fill_range(f, f->nb_samples, f->capacity);
}

void pad_audio_frame_to_second(AudioFrame *f) {
    if (f->frequency == 0 || f->nb_samples % f->frequency == 0) return;
    uint64_t end = uint64_t(f->nb_samples) + f->frequency - f->nb_samples % f->frequency;
    if (end > f->capacity) end = f->capacity;
    fill_range(f, f->nb_samples, end);
}

void ref_audio_frame(AudioFrame *v, const AudioFrame *s) {
    if (!v->planes || v->nb_planes < s->nb_planes) {
        uint8_t **planes = alloc_array<uint8_t *>(s->nb_planes);
        free(v->planes);
        v->planes = planes;
    }
    if (!v->channel_masks || !v->channel_states || v->channels < s->channels) {
        uint64_t *masks = alloc_array<uint64_t>(s->channels);
        int32_t *states = static_cast<int32_t *>(malloc(sizeof(int32_t) * (s->channels ? s->channels : 1)));
        if (!states) {
            free(masks);
            throw_alloc_error();
        }
        free(v->channel_masks);
        free(v->channel_states);
        v->channel_masks = masks;
        v->channel_states = states;
    }
    v->format = s->format;
    v->planar = s->planar;
    v->channels = s->channels;
    v->frequency = s->frequency;
    v->bytes_per_sample = s->bytes_per_sample;
    v->bytes_per_second = s->bytes_per_second;
    v->capacity = s->capacity;
    v->plane_size = s->plane_size;
    v->nb_planes = s->nb_planes;
    v->nb_samples = s->nb_samples;
    v->data = nullptr;
    v->data_size = 0;
    if (s->nb_planes) memcpy(v->planes, s->planes, sizeof(uint8_t *) * s->nb_planes);
    if (s->channels) {
        memcpy(v->channel_masks, s->channel_masks, sizeof(uint64_t) * s->channels);
        memcpy(v->channel_states, s->channel_states, sizeof(int32_t) * s->channels);
    }
}

void skip_audio_frame_start(AudioFrame *f, uint32_t skip) {
    if (skip == 0) return;
    if (skip >= f->nb_samples) {
        printf("Start sample : %d ; Real sample count : %d\n", int(skip), int(f->nb_samples));
        throw_process_error("Invalid start sample for ref");
    }
    const uint64_t bytes = sample_bytes(f, skip);
    for (uint32_t p = 0; p < f->nb_planes; p++) f->planes[p] += bytes;
    f->nb_samples -= skip;
    f->capacity -= skip;
}

void get_audio_frame_planes_with_skip(uint8_t *dst[kAudioFrameMaxPlanes], const AudioFrame *f, uint32_t skip) {
    if (f->nb_planes > kAudioFrameMaxPlanes) {
        printf("Invalid src audio frame plane count : %u (Max : %u)\n", f->nb_planes, kAudioFrameMaxPlanes);
        throw_process_error("Too much audio planes");
    }
    if (skip > f->nb_samples) {
        printf("Invalid sample audio skip : %u (Max : %u)\n", skip, f->nb_samples);
        throw_process_error("Error invalid audio sample skip");
    }
    const uint64_t bytes = sample_bytes(f, skip);
    for (uint32_t p = 0; p < f->nb_planes; p++) dst[p] = f->planes[p] + bytes;
}

void init_audio_descriptor(AudioDescriptor *d, AudioSampleFormat format, uint32_t channels, uint32_t frequency,
                           uint8_t planar) {
    if (format > 10) throw_process_error("Unknown audio descriptor");
    if (channels == 0) throw_process_error("Invalid channel count (0)");
    if (frequency == 0) throw_process_error("Invalid frequency (0)");
    d->format = format;
    d->planar = planar;
    d->channels = channels;
    d->frequency = frequency;
    d->bytes_per_sample = kSampleBytes[format];
    d->bytes_per_second = frequency * kSampleBytes[format];
}
