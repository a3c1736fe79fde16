#pragma once
// Image-sequence video source: each frame is one whole image file, read undecoded into a
// compressed-sample frame whose data descriptor names the image kind; the PNG, JPEG or
// TIFF decode node behind it makes the pixels. A single still image has digits 0.
//
// A file that cannot be read is not an exception: its frame carries
// VideoFrameError_ReadFailed and its number, and the decode graph stops there with
// "Fail to read frame : <number>". One thread uses a source at a time.
#include <cstdint>

#include "container/mov/video_demuxer.h"

struct ImgSeqDemuxerParams {
    const char *path_prefix = nullptr;  // folder and the name up to the number
    const char *ext = nullptr;          // without the dot
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t digits = 0;                      // zero-padded width of the number (above 10 counts as 10); 0: one image
    uint32_t image_kind = VideoFramePngData;  // 1 PNG, 2 JPEG, 3 TIFF or 8 OpenEXR
};

// A VideoDemuxer of kind 0. Throws "Invalid start f (> a end)", "Invalid image sequence
// format" or "Invalid path or ext len"; nothing stays allocated after a failure.
VideoDemuxer *create_video_demuxer_img_seq(const ImgSeqDemuxerParams &params, uint32_t frames_per_call);
