#pragma once
// MOV frame demuxer: serves the stored samples of a MOV file's video track (not decoded)
// through the VideoDemuxer handle.
#include <cstdint>

#include "container/mov/mov_reader.h"
#include "container/mov/video_demuxer.h"
#include "media/video_frame.h"

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
