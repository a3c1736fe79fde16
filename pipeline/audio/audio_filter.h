#pragma once
// Audio filter nodes: each takes one or more input frames (set by the caller before a
// run, never owned) and fills one or two output frames of its own. An ArrayAudioFilter
// owns the nodes of one chain. Planar float (format 7) is the working format between
// nodes. Failures throw ProcessError; a constructor that fails frees what it built.
//
// A node is run by one thread at a time. Its output frames stay valid until its next
// run, and a forwarding run leaves them pointing into the input frame.
#include <cstdint>

#include "pipeline/audio/audio_frame.h"

enum AudioFilterType : uint32_t {
    AudioFilterType_Convert = 0,
    AudioFilterType_Mapping = 1,
    AudioFilterType_Gain = 2,
};

struct AudioFilter;
using AudioFilterProcessFunc = void (*)(AudioFilter *node);
using AudioFilterDestroyFunc = void (*)(AudioFilter *node);

struct AudioFilter {
    uint32_t type;
    void *priv_data;
    AudioFrame **inputs;  // input_count entries, set by the caller
    uint32_t input_count;
    AudioFrame *output;   // owned by priv_data
    AudioFrame *output2;  // second output of the dual-stereo split; else a frame without buffers
    AudioFilterProcessFunc process;
    AudioFilterDestroyFunc destroy;
};

struct ArrayAudioFilter {
    AudioFilter **items;
    uint32_t capacity;
    uint32_t count;
};

// Input count 0 throws "Zero input filter audio".
AudioFilter *new_audio_filter(uint32_t type, uint32_t input_count);
// Null-safe: the destroy routine, then the input array and the record.
void free_audio_filter(AudioFilter *node);
// Runs the node; a node without a process routine throws "Invalid intern data".
void audio_filter_process(AudioFilter *node);

void init_audio_filter_pool(ArrayAudioFilter *array, uint32_t capacity);
void audio_filter_pool_add(ArrayAudioFilter *array, AudioFilter *node);
// Frees every node and the item array; the record stays with its owner.
void free_audio_filter_pool(ArrayAudioFilter *array);

struct AudioFilterConvertParams {
    int32_t seconds;  // per run: sizes the frames and buffers
    uint32_t channels;
    AudioSampleFormat in_format;
    uint32_t in_planar;
    uint32_t in_frequency;
    AudioSampleFormat out_format;
    uint32_t out_planar;
    uint32_t out_frequency;
    uint8_t dual_stereo;  // four channels in, two interleaved stereo outputs
};

// Sample format, layout and rate conversion (type 0, one input). A resampling node
// keeps its resampler's state between runs: feed it the consecutive blocks of one stream.
AudioFilter *create_audio_filter_convert(const AudioFilterConvertParams &params);

// ---- channel mapping (type 1) ----

struct AudioFilterMappingParams {
    uint32_t samples;  // capacity of the output frame
    uint32_t frequency;
    uint32_t input_count;     // input frames, one per source track
    uint32_t input_channels;  // channels of all inputs together, and the number of masks
    uint32_t output_channels;
    const uint64_t *masks;  // per input channel, track then channel order: bit j feeds output j
};

struct AudioChannelSources {
    uint32_t count;
    uint32_t *inputs;  // input channel indices, increasing
};

using AudioSumKernel = void (*)(float *dst, const float *const *src, uint32_t samples);

struct AudioChannelMatrix {
    uint32_t input_channels;
    uint32_t output_channels;
    AudioChannelSources *sources;  // one list per output channel
    AudioSumKernel sum2, sum3, sum4;
};

// Output channel j takes every input channel k whose mask has bit j set. Either count 0
// throws "Invalid tracks count In,out (0)".
void init_audio_channel_matrix(AudioChannelMatrix *matrix, uint32_t input_channels, uint32_t output_channels,
                               const uint64_t *masks);
// Plain float sums, left to right, without scaling or clamping; an output without
// sources is zeroed.
void run_audio_channel_matrix(const AudioChannelMatrix *matrix, float *const *out, const float *const *in,
                              uint32_t samples);
void free_audio_channel_matrix(AudioChannelMatrix *matrix);

// Planar float inputs (input_count of them) to output_channels planes; an output channel
// no mask names is silent (state 2) for good.
AudioFilter *create_audio_filter_mapping(const AudioFilterMappingParams &params);

// ---- gain (type 2) ----

struct AudioFilterGainParams {
    uint32_t frequency;
    uint32_t samples;
    uint32_t channels;
    const float *gains;  // dB, one per channel
    uint8_t clamp;       // clamp to -1..1 after the gain
};

// Multiplies channel c by 10^(gains[c] x 0.05); a 0 dB channel is forwarded without a
// copy and a silent channel (state 2) gives zeros.
AudioFilter *create_audio_filter_gain(const AudioFilterGainParams &params);
