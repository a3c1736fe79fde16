#pragma once
// FFmpeg video source: decodes the best video stream of any file libavformat opens and
// hands out raw frames in one requested PixFmt and size.
//
// Two ways of reading, never mixed on one source:
//  - demux: batches of N frames over the whole file or from a start frame to an end
//    frame. Batches alternate between two halves of 2N decoded-frame slots: a frame
//    handed out without copying (the decoder's own planes) stays valid until the demux
//    call after the next one. Conversions of one batch run in parallel, one thread per
//    frame, and have all ended when the call returns.
//  - get frame N: seeks back to a key frame and decodes forward to frame N; the frame
//    always owns its planes. Nothing decoded at N (past the end) sets
//    VideoFrameError_ReadFailed.
//
// Frames are placed by their best-effort timestamp from the stream's start time: frame n
// is the frame nearest to start + n / r_frame_rate. A frame the decoder fails on is
// handed out with owned black planes and VideoFrameError_Corrupt. One thread uses a
// source at a time.
#include <cstdint>

#include "container/mov/video_demuxer.h"

struct FfVideoDemuxerParams {
    const char *path = nullptr;
    uint32_t pix_fmt = PixFmt_RGBA8;  // layout of every frame handed out
    uint32_t dec_width = 0;           // the probed size of the source
    uint32_t dec_height = 0;
    uint32_t dst_width = 0;  // size of every frame handed out
    uint32_t dst_height = 0;
    uint8_t scale_quality = 1;    // 2 bicubic, 3 Lanczos, other values bilinear
    uint32_t alignment = 64;      // decoder planes are handed out only when aligned to it (0: always)
    int32_t start_frame = -1;     // 0 or less: from the beginning
    int32_t end_frame = -1;       // negative: to the end
    uint8_t slice_threading = 0;  // 0 frame threads (batches), 1 slice threads (single frames)
};

// A VideoDemuxer of kind 0 with N = frames_per_call (0 counts as 1). Throws "Invalid dec
// resolution", "Invalid dst resolution", "Request unknown pix fmt for ff", "Can't open
// input file", "Fail to find stream info", "Can't find video stream", "Can't open video
// decoder", or std::bad_alloc; nothing stays allocated after a failure.
VideoDemuxer *create_video_demuxer_ff(const FfVideoDemuxerParams &params, uint32_t frames_per_call);

uint32_t ff_video_demuxer_demux(void *priv, uint32_t count, VideoFrame **frames);
// The clamp flag is ignored.
void ff_video_demuxer_get_frame(void *priv, uint32_t index, VideoFrame *frame, bool clamp);
void ff_video_demuxer_close(void *priv);

// FFmpeg's pixel format (AVPixelFormat value) of a requested layout; -1 when refused
// (float RGB layouts and codes 35 to 39).
int ff_video_demuxer_ff_format(PixFmt pix_fmt);
