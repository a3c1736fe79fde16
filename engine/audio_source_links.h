#pragma once
// Audio inputs of a pass: which tracks of the source and which external WAV files feed the
// output layout, and the readers and links that deliver them, shared by the analysis and
// the main pass.
#include <cstdint>

#include "pipeline/audio/audio_demuxer.h"
#include "pipeline/probe/media_info.h"

struct AudioSourceLink {
    AudioDemuxer *demuxer;  // not owned
    uint32_t track;         // FFmpeg stream index, MOV audio track index, 0 for a WAV
    AudioInfo *info;        // into the source's or a WAV's MediaInfo, not owned
};

// A track feeds the layout when one of its channels names one of its first n_out outputs.
bool is_audio_track_used(const AudioInfo &track, uint32_t n_out);

// Opens the source's reader over its used tracks when open_source is set, then one reader
// per used WAV input (wav_demuxers: one slot per input, null where unused), and fills the
// links in that order. Answers the number of links; more than nb_links, or a WAV input
// that is not one WAV track, throws ProcessError. What was opened stays in the out
// parameters for the caller to free.
uint32_t open_audio_source_links(const MediaInfo *src, bool open_source, MediaInfo *const *wav_infos,
                                 uint32_t nb_wav_infos, uint32_t n_out, AudioDemuxer **main_demuxer,
                                 AudioDemuxer **wav_demuxers, AudioSourceLink *links, uint32_t nb_links);

// One mapping mask per input channel, links in order.
void fill_audio_channel_masks(const AudioSourceLink *links, uint32_t nb_links, uint64_t *masks);
