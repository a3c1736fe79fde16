#pragma once
// PCM of any AudioSampleFormat and layout to planar float (with optional resampling),
// and planar float back to PCM. Kernels are chosen once at set-up; a run costs one
// indirect call per plane (or per run for interleaved layouts).
//
// Resampling keeps one libsamplerate state per channel for the whole stream, so the
// input converter must see the blocks of one stream in order. Each block of n input
// samples yields nearest(total in x ratio) minus what was already given out: whole
// seconds in give whole seconds out, and the total never drifts. The resampler's
// look-ahead is covered by a constant lead of silence at the start of the stream (a few
// milliseconds), which is what lets every block come out complete.
//
// Set-up failures throw ProcessError at init; runs only fail on a library error.
#include <cstdint>

#include "pipeline/audio/audio_frame.h"

// Read modes of the input converter.
enum : uint32_t {
    AudioReadMode_Plain = 1,
    AudioReadMode_PairAverage = 2,  // each output channel is the mean of two interleaved inputs
};

struct AudioInputConverter;
// Converts `samples` samples per channel from the input planes into float planes.
using AudioInputRoutine = void (*)(const AudioInputConverter *conv, float *const *dst, const uint8_t *const *src,
                                   uint64_t samples);
using AudioInputKernel = void (*)(float *const *dst, const uint8_t *src, uint64_t samples);

struct AudioResampleStream;  // per-channel libsamplerate states and carried samples

struct AudioInputConverter {
    uint64_t skip_mask;  // bit c: channel c is converted but not resampled
    uint32_t channels;
    AudioSampleFormat format;
    uint8_t planar;  // forced to 1 for one channel
    uint32_t in_frequency;
    uint32_t out_frequency;
    double ratio;  // out / in; exactly 1.0 when equal
    uint8_t resample;
    uint32_t read_mode;
    float **buffers;  // per channel, float planes before resampling; owned
    uint64_t buffer_capacity;
    AudioInputRoutine routine;
    AudioInputKernel kernel_plane;   // one channel, contiguous samples
    AudioInputKernel kernel_stereo;  // interleaved pair to two planes
    uint32_t in_channels;            // channels in the input data (twice `channels` with pair averaging)
    AudioResampleStream *stream;     // owned, when resampling
    uint64_t total_in;               // samples fed to the resampler so far
    uint64_t total_out;              // samples given out so far
};

struct AudioOutputConverter;
using AudioOutputRoutine = void (*)(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src,
                                    uint64_t samples);
using AudioOutputKernel = void (*)(uint8_t *dst, const float *const *src, uint64_t samples);

struct AudioOutputConverter {
    uint32_t channels;
    AudioSampleFormat format;
    uint8_t planar;  // forced to 1 for one channel
    uint32_t frequency;
    AudioOutputRoutine routine;
    AudioOutputKernel kernel_plane;
    AudioOutputKernel kernel_stereo;
};

// Silence of `samples` x `channels` samples: byte 128 for format 0, zero bytes otherwise.
void fill_pcm_silence(void *buffer, AudioSampleFormat format, uint64_t samples, uint32_t channels);

void reset_audio_input_converter(AudioInputConverter *conv);
// Fields, kernels, resampler states and buffers for `seconds` x input rate samples. Any
// zero among channels, rates, read mode and seconds throws "Zero value audio process p f";
// a rate ratio libsamplerate cannot take throws "Frequency conversion error".
void init_audio_input_converter(AudioInputConverter *conv, const AudioDescriptor *in, uint64_t skip_mask,
                                uint32_t out_frequency, uint32_t read_mode, uint32_t seconds);
void select_audio_input_kernels(AudioInputConverter *conv, uint32_t read_mode);
// Buffers of at least `samples` floats per channel; contents are not kept; never shrinks.
void reserve_audio_input_buffers(AudioInputConverter *conv, uint64_t samples);
// Whole seconds: seconds x input rate samples in, seconds x output rate samples out.
void run_audio_input_converter(AudioInputConverter *conv, float *const *dst, const uint8_t *const *src,
                               uint32_t seconds);
// `samples` input samples per channel (src planes hold at least that many); returns the
// samples written to each dst plane, at most `room`. When resampling that is
// nearest(total in x ratio) minus the samples given out before, capped at `room` (the
// rest comes out with the next block).
uint64_t run_audio_input_converter_samples(AudioInputConverter *conv, float *const *dst, const uint8_t *const *src,
                                           uint64_t samples, uint64_t room);
void free_audio_input_converter(AudioInputConverter *conv);

// Channels or frequency 0 throws "invalid dest audio params".
void init_audio_output_converter(AudioOutputConverter *conv, const AudioDescriptor *out);
void run_audio_output_converter(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src,
                                uint64_t samples);
