#pragma once
// Describes a source through libavformat's stream information, without decoding.
#include <cstdint>

#include "media/video_frame.h"
#include "pipeline/probe/media_info.h"

// Fills `info` from the file at info->filepath. Whole-file mode sets video_src_type 3 and
// takes video and audio; partial mode (after the MOV reader) takes only the halves asked.
// Throws "Fail to get information : Can't open file" / "... : Can't find stream info", and
// "Invalid audio channels count" for an audio stream of more than 64 channels; every other
// problem is printed and leaves a track invalid or no video.
void probe_media_info_ff(MediaInfo *info, bool whole_file, bool take_video, bool take_audio);

// Display name of a codec (FFmpeg codec id, stream codec tag as FFmpeg stores it).
const char *get_ff_codec_display_name(int codec_id, uint32_t codec_tag);
// PixFmt of an FFmpeg pixel format; PixFmt_Undefined (printed) for the others.
PixFmt ff_pix_fmt_to_pix_fmt(int ff_pix_fmt);
bool ff_pix_fmt_has_alpha(int ff_pix_fmt);
// A frame rate as the probe keeps it: n/d becomes (n/d)/1 when d divides n.
ZRational ff_probe_reduce_rate(uint32_t num, uint32_t den);
// Frames in `seconds` at num/den frames per second, rounded to nearest: stored durations
// are themselves rounded (3.336 s for 100 frames at 30000/1001), so truncation would lose
// the last frame. 0 when the result is not above 0.
uint64_t ff_probe_frames_in_duration(double seconds, int num, int den);
