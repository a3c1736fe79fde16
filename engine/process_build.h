#pragma once
// Build of the main pass on a filled context: frame range, output frame rate and codec,
// the video source, the MOV writers, one pipeline per slot and the audio outputs.
// Failures throw ProcessError with a fixed message, or std::bad_alloc.
#include <cstdint>

#include "engine/hap_standalone_process.h"

struct HapProcessFrameRange {
    int64_t first;
    int64_t last;
};

// Everything the run needs; the outputs are opened here.
void build_hap_standalone_process(HapStandaloneProcess *ctx);

// First and last source frame of the start and end frames and the task's in and out
// points (-1 none); "Invalid start/end range" when empty.
HapProcessFrameRange compute_process_frame_range(int64_t start, int64_t end, int32_t in_point, int32_t out_point);
// Frame rate of the outputs (custom rate, else the interpretation's choice).
ZRational get_process_output_fps(const HapStandaloneProcess *ctx);
// Frame rate of the interpretation's choice alone (the source's own for "as source").
ZRational get_interpretation_fps(const MediaInfo *info, const HapStandMediaSrcInterpret *interpret);

// Alpha kind (0 premultiplied, 1 straight, 2 none) of the source as interpreted, and of
// the outputs.
uint32_t get_process_src_alpha_kind(const HapStandaloneProcess *ctx);
uint32_t get_process_target_alpha_kind(const HapStandaloneProcess *ctx);

// Layout to ask of any decoder of the source.
PixFmt get_out_pix_fmt_for_ffmpeg_decoding(const MediaInfo *info, bool use_src_alpha);

struct HapProcessCropParams {
    PixFmt pix_fmt;
    uint32_t width;
    uint32_t height;
    uint32_t crop_l, crop_t, crop_r, crop_b;
};
// Whether the crop keeps whole chroma samples in this layout.
bool is_crop_compatible_pix_fmt(const HapProcessCropParams &params);
// Size after the crop; "Invalid horizontal crop" or "Invalid vertical crop" when fewer
// than 4 pixels would remain.
void check_crop_out_dims(const HapProcessCropParams &params, uint32_t *out_width, uint32_t *out_height);

// The video source's warning, or null when it left none.
const char *get_video_demuxer_warning(const HapStandaloneProcess *ctx);
