#pragma once
// Random access to the decoded frames of one source, for the preview: a demuxer chosen by
// the source kind, a decoder graph chosen by the samples' data descriptor, and a cache of
// the last frame. One thread uses an access at a time.
#include <cstdint>

#include "container/mov/video_demuxer.h"
#include "media/video_filter.h"
#include "pipeline/probe/media_info.h"

struct VideoFrameAccessParams {
    const MediaInfo *info = nullptr;  // borrowed; the access keeps a clone
    uint32_t first_img = 0;           // image sequences: the numbers to serve
    uint32_t last_img = 0;
    uint8_t keep_textures = 0;  // 1: HAP frames come out as texture data
};

struct VideoFrameAccess {
    MediaInfo *info;
    uint8_t keep_textures;
    uint32_t first_img, last_img;
    VideoDemuxer *demuxer;
    VideoFrame *demux_frame;
    VideoFrame *cached;  // output of the graph's last node for the last request, or null
    FilterGraph *graph;  // at most 2 nodes, 1 input
};

// Throws "Unset src info", "No video in src", "Unsupported media type", "Mov dataformat
// not hap codec", "Unknown dxv codec", "Unsupported codec intra decode", or what the
// demuxer or a node throws; nothing stays allocated after a failure.
VideoFrameAccess *create_video_frame_access(const VideoFrameAccessParams &params);
// Decoded frame n (the nearest one for a number outside an image sequence or MOV file),
// valid until the next call or the free. A frame the source could not give throws its
// error text ("Fail to read frame", "Corrupt frame" ...).
VideoFrame *video_frame_access_get_frame(VideoFrameAccess *access, uint32_t n);
// Frees everything and nulls *access. Null-safe.
void free_video_frame_access(VideoFrameAccess **access);
