#pragma once
// Audio sources beyond WAV: the PCM tracks of a MOV file, and any audio stream FFmpeg
// decodes. Both are AudioDemuxer handles of kind 1; each read fills the caller's frame
// with the next read of one track and silence after it, and an exhausted track gives
// frames of count 0. Failures throw ProcessError; a failed creation frees what it built.
#include <cstdint>

#include "pipeline/audio/audio_demuxer.h"

struct AudioMovSourceParams {
    const char *path = nullptr;
    uint8_t use_file_rate = 1;  // 1: the video track's frame rate; 0: rate_num / rate_den
    uint32_t rate_num = 25;
    uint32_t rate_den = 1;
    uint32_t start_frame = 0;  // 0: from the beginning
    int32_t end_frame = -1;    // inclusive; -1: to the end
};

// The track index of a read is the index among the file's audio tracks. Each read wants
// one interleaved frame in the track's own format, channels and rate, holding at least
// rate x seconds_per_read samples; the stored bytes are copied unchanged.
AudioDemuxer *create_audio_demuxer_mov_pcm(const AudioMovSourceParams &params, uint32_t seconds_per_read);

struct AudioFfmpegSourceParams {
    const char *path = nullptr;
    const int32_t *stream_indices = nullptr;  // FFmpeg stream index of each requested track
    uint32_t count = 0;
};

// The track index of a read is the FFmpeg stream index. Samples keep the decoder's format
// (u8, s16, s32, float or double) and layout, so the frame must match them. Decoded
// samples wait in a ring of up to 60 s per track, since packets of all requested tracks
// arrive interleaved while the engine reads one track at a time.
AudioDemuxer *create_audio_demuxer_ff(const AudioFfmpegSourceParams &params, uint32_t seconds_per_read);
