#include "pipeline/audio/audio_planar_ring.h"

#include <soundio/soundio.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/errors.h"

void audio_planar_ring_init(SoundIo *ctx, AudioPlanarRing *ring, uint32_t planes, uint32_t frequency, uint32_t capacity,
                            uint32_t bps) {
    if (!ring) throw_process_error("Unallocated ring buffer p");
    memset(ring, 0, sizeof(*ring));
    if (planes == 0) throw_process_error("Invalid plane count (0)");
    if (frequency == 0) throw_process_error("Invalid frequency (0)");
    if (capacity == 0) throw_process_error("Invalid nb samples (0)");
    if (bps == 0) throw_process_error("Invalid byte per sample (0)");
    // libsoundio sizes its buffers in int and rounds them up to whole pages.
    const uint64_t size = uint64_t(capacity) * bps;
    if (size > uint64_t(INT_MAX) / 2) throw_process_error("Invalid nb samples");
    ring->buffers = static_cast<SoundIoRingBuffer **>(calloc(planes, sizeof(SoundIoRingBuffer *)));
    if (!ring->buffers) throw_alloc_error();
    ring->nb_planes = planes;
    ring->bytes_per_plane_sample = bps;
    ring->frequency = frequency;
    ring->capacity = capacity;
    uint64_t largest = 0;
    for (uint32_t p = 0; p < planes; p++) {
        ring->buffers[p] = soundio_ring_buffer_create(ctx, int(size));
        if (!ring->buffers[p]) {
            printf("ERR : Fail to create ring buffer for : %u\n", unsigned(size));
            audio_planar_ring_free(ring);
            throw_alloc_error();
        }
        const uint64_t cap = uint64_t(soundio_ring_buffer_capacity(ring->buffers[p]));
        if (cap > largest) largest = cap;
    }
    const uint64_t samples = largest / bps;
    ring->margin = samples > capacity ? uint32_t(samples - capacity) : 0;
}

void audio_planar_ring_free(AudioPlanarRing *ring) {
    if (!ring || !ring->buffers) return;
    for (uint32_t p = 0; p < ring->nb_planes; p++)
        if (ring->buffers[p]) soundio_ring_buffer_destroy(ring->buffers[p]);
    free(ring->buffers);
    ring->buffers = nullptr;
}

void audio_planar_ring_get_readable(AudioPlanarRing *ring, uint32_t *count, uint8_t **planes) {
    uint64_t least = UINT64_MAX;
    for (uint32_t p = 0; p < ring->nb_planes; p++) {
        if (!ring->buffers || !ring->buffers[p]) {
            least = 0;
            continue;
        }
        const int fill = soundio_ring_buffer_fill_count(ring->buffers[p]);
        if (uint64_t(fill) < least) least = uint64_t(fill);
        planes[p] = reinterpret_cast<uint8_t *>(soundio_ring_buffer_read_ptr(ring->buffers[p]));
    }
    *count = ring->nb_planes ? uint32_t(least / ring->bytes_per_plane_sample) : 0;
}

void audio_planar_ring_advance_read(AudioPlanarRing *ring, uint32_t samples) {
    for (uint32_t p = 0; p < ring->nb_planes; p++)
        soundio_ring_buffer_advance_read_ptr(ring->buffers[p], int(samples * ring->bytes_per_plane_sample));
}

void audio_planar_ring_get_writable(AudioPlanarRing *ring, uint32_t *count, uint8_t **planes) {
    uint64_t least = UINT64_MAX;
    for (uint32_t p = 0; p < ring->nb_planes; p++) {
        if (!ring->buffers || !ring->buffers[p]) {
            least = 0;
            continue;
        }
        const int free_bytes = soundio_ring_buffer_free_count(ring->buffers[p]);
        if (uint64_t(free_bytes) < least) least = uint64_t(free_bytes);
        planes[p] = reinterpret_cast<uint8_t *>(soundio_ring_buffer_write_ptr(ring->buffers[p]));
    }
    const uint64_t samples = ring->nb_planes ? least / ring->bytes_per_plane_sample : 0;
    *count = samples > ring->margin ? uint32_t(samples - ring->margin) : 0;
}

void audio_planar_ring_advance_write(AudioPlanarRing *ring, uint32_t samples) {
    for (uint32_t p = 0; p < ring->nb_planes; p++)
        soundio_ring_buffer_advance_write_ptr(ring->buffers[p], int(samples * ring->bytes_per_plane_sample));
}
