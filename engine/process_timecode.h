#pragma once
// Timecode arithmetic of the outputs: counting a label h:m:s:f at a frame rate, the label
// of a frame number, drop-frame rules, and the start timecode written into the MOV files.
//
// A label is counted at R frames per second, R being the rate rounded half away from
// zero (24, 30 and 60 for the x000/1001 rates). Drop-frame labels skip D = round(rate / 15)
// frame numbers at the start of every minute except every tenth (2 at 29.97, 4 at 59.94).
#include <cstdint>

#include "media/video_frame.h"

struct TimecodeLabel {
    uint32_t hours;  // not limited to 23
    uint32_t minutes;
    uint32_t seconds;
    uint32_t frames;  // not limited by the rate
};

// R: the rate rounded half away from zero; at least 1 (a rate of 0/0 or below one half counts as 1).
uint32_t timecode_label_rate(ZRational rate);
// D: frame numbers skipped per dropping minute, round(rate / 15); 0 for an invalid rate.
uint32_t timecode_drop_count(ZRational rate);
// Frames in 24 hours: round(rate x 86400) with dropping, R x 86400 without.
uint64_t timecode_day_frames(ZRational rate, bool drop);

// Frame number of a label. Hours so large that the count would not fit in 64 bits are
// taken modulo 24 (the label's clock position).
uint64_t timecode_count_label(const TimecodeLabel &label, ZRational rate, bool drop);
// Label of a frame number; n is first reduced to 24 hours.
TimecodeLabel timecode_label_of_frame(uint64_t n, ZRational rate, bool drop);

// Output labels drop frames only at 30000/1001 and 60000/1001, when asked.
bool timecode_output_drop_rule(bool drop_frame, ZRational fps);
// Two rates giving the same frames per second (25/1 and 50/2 are equal).
bool timecode_same_rate(ZRational a, ZRational b);

// What decides the start timecode of the outputs.
struct OutputTimecodeParams {
    uint32_t tc_mode;            // 0 never, 1 auto, 2 always, 3 overwrite; other values: never
    bool drop_frame;             // the task's drop-frame choice
    TimecodeLabel forced_start;  // mode 3
    bool src_have_tc;
    uint32_t src_tc_start;  // start frame of the source's timecode
    bool src_tc_drop;
    ZRational src_fps;  // rate the source's timecode counts at
    bool src_is_img_seq;
    int64_t start_frame;  // first image number of a sequence (negative counts as 0)
    ZRational fps;        // rate of the outputs
    int64_t in_point;     // added when positive, except in mode 3
};

struct OutputTimecode {
    bool have_timecode;
    uint32_t start_frame;  // frame number of the first written frame's label
};

// The start frame is kept as a label: a source timecode at another rate or another
// drop-frame rule is turned into its label and counted again at the output rate. A start
// that does not fit in 32 bits is reduced to 24 hours.
OutputTimecode compute_output_timecode(const OutputTimecodeParams &params);
