#pragma once
// A circular buffer of audio samples with one libsoundio ring buffer per plane. Only
// used as a plain buffer by one thread; the libsoundio context is never connected.
// Each plane's readable and writable spans are contiguous (libsoundio mirrors its
// memory), so whole runs of samples are copied in one go.
#include <cstdint>

struct SoundIo;
struct SoundIoRingBuffer;

struct AudioPlanarRing {
    uint32_t bytes_per_plane_sample;
    uint32_t nb_planes;
    uint32_t frequency;
    uint32_t capacity;  // samples
    uint32_t margin;    // samples the largest buffer holds beyond the capacity
    SoundIoRingBuffer **buffers;
};

// Checks in order: no ring "Unallocated ring buffer p", "Invalid plane count (0)",
// "Invalid frequency (0)", "Invalid nb samples (0)", "Invalid byte per sample (0)"; a
// plane larger than the library can hold throws "Invalid nb samples".
void audio_planar_ring_init(SoundIo *ctx, AudioPlanarRing *ring, uint32_t planes, uint32_t frequency, uint32_t capacity,
                            uint32_t bytes_per_plane_sample);
void audio_planar_ring_free(AudioPlanarRing *ring);
// Whole samples every plane can give; plane pointers into `planes` (nb_planes entries).
void audio_planar_ring_get_readable(AudioPlanarRing *ring, uint32_t *count, uint8_t **planes);
void audio_planar_ring_advance_read(AudioPlanarRing *ring, uint32_t samples);
// Whole samples every plane can take without holding more than the capacity.
void audio_planar_ring_get_writable(AudioPlanarRing *ring, uint32_t *count, uint8_t **planes);
void audio_planar_ring_advance_write(AudioPlanarRing *ring, uint32_t samples);
