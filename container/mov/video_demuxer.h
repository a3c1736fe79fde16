#pragma once
// The handle through which the pipeline pulls video frames out of a source, whatever
// the source is (MOV file, image sequence, FFmpeg): a small callback table over private
// data. A maker builds its private data first and only then sets priv_data and the
// three callbacks; until then video_demuxer_free releases the record alone.
#include <cstdint>

#include "container/mov/mov_reader.h"
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

// --- MOV frame demuxer: stored samples, not decoded -----------------------------------

struct MovDemuxerParams {
    const char *path = nullptr;
    uint32_t start_frame = 0;
    uint32_t end_frame = 0xFFFFFFFF;  // 0xFFFFFFFF: the last frame of the file
    bool reverse = false;
    VideoFrameDataDescriptor data_descriptor = VideoFrameHapData;
    uint64_t mov_intra_demuxer_flags = 0;  // audio is always ignored
    ZRational max_vfr_to_cfr_fps{60, 1};
};

struct MovDemuxerData {
    MovReader reader;
    uint32_t start_frame, end_frame;
    bool reverse;
    // Next frame demux hands out; signed so that a reverse run can step below frame 0.
    int64_t current_frame;
    VideoFrameDataDescriptor data_descriptor;
    PixFmt raw_pix_fmt;
    uint32_t raw_width, raw_height;
    bool is_raw;
};

VideoDemuxer *create_video_demuxer_mov(const MovDemuxerParams *params, uint32_t frames_per_call);

uint32_t mov_demuxer_demux(void *priv, uint32_t count, VideoFrame **frames);
void mov_demuxer_get_frame(void *priv, uint32_t index, VideoFrame *frame, bool clamp);
void mov_demuxer_close(void *priv);
// Reads one stored frame; never throws: a failed read leaves error flag 0x20.
void mov_demuxer_read_frame(MovDemuxerData *data, uint32_t index, VideoFrame *frame);
