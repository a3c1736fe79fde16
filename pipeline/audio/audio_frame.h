#pragma once
// Audio frames: blocks of whole seconds of PCM samples, planar or interleaved, with a
// mapping mask and a state word per channel; and the small stream descriptor.
//
// A frame is a plain record: reset it (init_audio_frame or new_audio_frame), give it
// buffers once (alloc_audio_frame), empty it with free_audio_frame. A reference frame
// (ref_audio_frame) views another frame's samples and owns only its pointer arrays.
// Failures throw ProcessError with a fixed message, or std::bad_alloc.
#include <cstdint>

#include "container/audio_sample_format.h"

constexpr uint32_t kAudioFrameMaxChannels = 64;
// Most planes get_audio_frame_planes_with_skip hands out.
constexpr uint32_t kAudioFrameMaxPlanes = 8;

// Channel state word: the channel holds only silence.
constexpr int32_t AudioChannelState_Silent = 2;

// Bytes of one sample of one channel; 0 for format 11 and above.
uint32_t get_audio_sample_bytes(AudioSampleFormat format);

struct AudioFrame {
    AudioSampleFormat format;
    uint8_t planar;  // 1: one plane per channel; 0: one interleaved plane
    uint32_t channels;
    uint32_t frequency;
    uint32_t bytes_per_sample;
    uint32_t bytes_per_second;  // frequency x bytes per sample, one channel
    uint8_t *data;              // owned block; null in a reference frame
    uint32_t data_size;
    uint32_t capacity;        // samples per channel the planes can hold
    uint64_t plane_size;      // bytes of one plane (planar frames)
    uint8_t **planes;         // owned array of nb_planes pointers
    uint32_t nb_planes;       // channels when planar, else 1
    uint64_t *channel_masks;  // per channel: bit j set feeds output channel j
    int32_t *channel_states;  // per channel: 0 or AudioChannelState_Silent
    uint32_t nb_samples;      // samples per channel held, at most capacity
};

// The first six fields of a frame, without buffers.
struct AudioDescriptor {
    AudioSampleFormat format;
    uint8_t planar;
    uint32_t channels;
    uint32_t frequency;
    uint32_t bytes_per_sample;
    uint32_t bytes_per_second;
};

// Format 1, interleaved, everything else zero; frees nothing.
void init_audio_frame(AudioFrame *frame);
AudioFrame *new_audio_frame();
// Buffers for a reset record: capacity = samples rounded up to whole seconds, one
// channel is always planar, masks 1 << i, states 0, nb_samples 0. Sizes are checked in
// 64 bits: a block of 4 GiB or more throws "Invalid audio data alloc size (N)".
void alloc_audio_frame(AudioFrame *frame, AudioSampleFormat format, uint32_t channels, uint32_t frequency,
                       uint8_t planar, uint32_t samples);
// Frees what the frame owns and nulls the pointers; the record stays. Null-safe.
void free_audio_frame(AudioFrame *frame);
// Releases free_audio_frame's buffers and the record itself (from new_audio_frame); null-safe.
void delete_audio_frame(AudioFrame *frame);

// Points plane p back at its own place in the frame's block.
void reset_audio_frame_plane(AudioFrame *frame, uint32_t p);
void clear_audio_frame_channel_states(AudioFrame *frame);
// Silence from nb_samples to capacity in every plane; when nb_samples is 0 every channel
// state becomes silent. nb_samples is unchanged. Never throws.
void fill_audio_frame_silence(AudioFrame *frame);
// Silence from nb_samples up to the next whole second (never past capacity). Never throws.
void pad_audio_frame_to_second(AudioFrame *frame);

// Makes `view` show `source`'s samples without copying (view owns no block).
void ref_audio_frame(AudioFrame *view, const AudioFrame *source);
// Drops the first `skip` samples of a reference frame in place (capacity shrinks with them,
// so a later silence fill stays inside the viewed block).
void skip_audio_frame_start(AudioFrame *frame, uint32_t skip);
// Plane pointers advanced by `skip` samples into dst (room for kAudioFrameMaxPlanes).
void get_audio_frame_planes_with_skip(uint8_t *dst[kAudioFrameMaxPlanes], const AudioFrame *frame, uint32_t skip);

void init_audio_descriptor(AudioDescriptor *desc, AudioSampleFormat format, uint32_t channels, uint32_t frequency,
                           uint8_t planar);
