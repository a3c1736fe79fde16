#pragma once
// The handle through which the pipeline pulls video frames out of a source, whatever
// the source is (MOV file, image sequence, FFmpeg): a small callback table over private
// data. A maker builds its private data first and only then sets priv_data and the
// three callbacks; until then video_demuxer_free releases the record alone.
#include <cstdint>

#include "media/video_frame.h"

constexpr uint32_t kVideoDemuxerMessageSize = 256;

// Writes `count` consecutive frames into frames[0..] and returns how many; 0 ends the source.
using VideoDemuxerDemuxFunc = uint32_t (*)(void *priv, uint32_t count, VideoFrame **frames);
// Fills a caller-owned frame with frame `index`; with `clamp` an index outside the served
// range is clamped into it, otherwise it throws.
using VideoDemuxerGetFrameFunc = void (*)(void *priv, uint32_t index, VideoFrame *frame, bool clamp);
using VideoDemuxerCloseFunc = void (*)(void *priv);

struct VideoDemuxer {
    uint32_t kind;                           // 1 MOV demuxer, 0 image-sequence and FFmpeg sources
    void *priv_data;                         // released through close
    uint32_t frames_per_call;                // at least 1
    char message[kVideoDemuxerMessageSize];  // warnings found while opening; empty when none
    VideoDemuxerDemuxFunc demux;
    VideoDemuxerGetFrameFunc get_frame;
    VideoDemuxerCloseFunc close;
};

VideoDemuxer *video_demuxer_new(uint32_t frames_per_call, uint32_t kind);
// frames holds at least frames_per_call frames.
uint32_t video_demuxer_demux(VideoDemuxer *demuxer, VideoFrame **frames);
void video_demuxer_get_frame(VideoDemuxer *demuxer, uint32_t index, VideoFrame *frame, bool clamp);
void video_demuxer_free(VideoDemuxer *demuxer);
