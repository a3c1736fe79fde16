#pragma once
// Audio source handle: the engine pulls one read of whole seconds per call, per track.
// Each source fills priv_data and the two routines. Failures throw ProcessError.
#include <cstdint>

#include "pipeline/audio/audio_frame.h"

enum AudioDemuxerKind : uint32_t {
    AudioDemuxerKind_Wav = 0,
    AudioDemuxerKind_Other = 1,  // MOV PCM and FFmpeg sources
};

using AudioDemuxerReadFunc = void (*)(void *priv_data, AudioFrame *frame, uint32_t track_index);
using AudioDemuxerFreeFunc = void (*)(void *priv_data);

struct AudioDemuxer {
    uint32_t kind;
    void *priv_data;
    uint32_t seconds_per_read;  // at least 1
    AudioDemuxerReadFunc read;
    AudioDemuxerFreeFunc free;
};

// seconds_per_read 0 is stored as 1.
AudioDemuxer *new_audio_demuxer(uint32_t seconds_per_read, uint32_t kind);
// Fills frame with the next read of the track; a missing demuxer (or routine) throws
// "Invalid audio demuxer (NULL)".
void audio_demuxer_read(AudioDemuxer *demuxer, AudioFrame *frame, uint32_t track_index);
// Calls the free routine on the private data, then frees the handle. Null-safe.
void free_audio_demuxer(AudioDemuxer *demuxer);

struct AudioWavSourceParams {
    const char *path = nullptr;
    double start = 0;  // seconds, used when above 0
    double end = 0;    // seconds, used when above 0
};

// WAV and RF64 source (kind 0). Each read wants one interleaved frame in the file's
// format, channel count and rate, holding at least rate x seconds_per_read samples; it
// gets the next samples up to the end point and silence after them.
AudioDemuxer *create_audio_demuxer_wav(const AudioWavSourceParams &params, uint32_t seconds_per_read);
