#pragma once
// Turns a source path into a MediaInfo: PNG, JPEG and TIFF through their header readers,
// MOV and MP4 through the MOV reader (FFmpeg completing what it cannot describe), WAV
// through the WAV reader, everything else through FFmpeg. The road is chosen by the
// extension of the file name, compared case-sensitively.
//
// Failures throw ProcessError (or std::bad_alloc); every message of the probe is printed on
// standard output. No state is kept between calls; FFmpeg's log level is set to errors.
#include "pipeline/probe/media_info.h"

// With the default options (FFmpeg not forced, no MOV flags, limit 50/1). Caller frees.
MediaInfo *get_media_info(const char *path);
MediaInfo *get_media_info_with_params(const char *path, const MediaInfoParams &params);
void probe_media_info(MediaInfo *info, const char *path);

// Display name of a PCM format ("PCM S16bits LE"); "Unknown" above 10.
const char *get_pcm_format_name(AudioSampleFormat format);
