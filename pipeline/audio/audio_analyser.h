#pragma once
// EBU R128 loudness and peak measurement (libebur128) of the analysis pass: one state for
// 1, 2, 6 or 8 channels, two stereo states for 4 channels (dual stereo). Frames are fed
// in order; a start sample is skipped and a sample count ends the measure. Failures
// throw ProcessError.
#include <cstdint>

#include "pipeline/audio/audio_frame.h"

struct AudioAnalyserParams {
    uint32_t seconds;  // per fed frame: sizes the internal conversion node
    uint32_t channels;
    AudioSampleFormat format;
    uint8_t planar;
    uint32_t frequency;
    uint64_t start_sample;
    uint64_t sample_count;  // 0: until the caller stops
};

struct AudioAnalyserOptions {
    uint8_t loudness;  // momentary and integrated
    uint8_t short_term;
    uint8_t loudness_range;
    uint8_t peaks;          // sample and true peak per channel
    uint8_t stop_at_sound;  // feeding stops at the first sample that is not silent
};

struct AudioAnalyserResults {
    uint32_t nb_states;
    uint32_t channels[2];
    double momentary[2];  // LUFS, per state
    double short_term[2];
    double integrated[2];
    double range[2];         // LU
    double sample_peak[64];  // dBFS per channel, state 1's channels first; -inf for silence
    double true_peak[64];
    uint8_t is_silent;
};

struct AudioAnalyser;
using AudioAnalyserFeedFunc = uint8_t (*)(AudioAnalyser *analyser, AudioFrame *frame);
using AudioAnalyserFinishFunc = uint8_t (*)(AudioAnalyser *analyser);
using AudioAnalyserFreeFunc = void (*)(AudioAnalyser *analyser);

struct AudioAnalyser {
    uint32_t kind;  // 1
    void *priv_data;
    AudioAnalyserResults *results;  // owned
    uint64_t start_sample;
    uint64_t sample_count;
    uint64_t skipped;
    uint64_t measured;
    AudioAnalyserFeedFunc feed;
    AudioAnalyserFinishFunc finish;
    AudioAnalyserFreeFunc free;
};

// Channel counts other than 1, 2, 4, 6 and 8 throw "Unsupported input".
AudioAnalyser *create_audio_analyser(const AudioAnalyserParams &params, const AudioAnalyserOptions &options);
// Returns 1 while more samples are wanted.
uint8_t audio_analyser_add_frame(AudioAnalyser *analyser, AudioFrame *frame);
// Computes the results; returns the silent flag (0 without a finish routine).
uint8_t audio_analyser_finish(AudioAnalyser *analyser);
void free_audio_analyser(AudioAnalyser *analyser);
