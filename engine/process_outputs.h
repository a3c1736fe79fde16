#pragma once
// The outputs of the main pass: one MOV writer per MOV output with its video format,
// timecode and user-data metadata, then the WAV writers, the audio sources of the task
// and, for every entry of the audio ring, the chain of audio nodes that turns one second
// of every source into one second of each audio output.
//
// Both builds run on the conversion task's thread before the frame loop. Failures throw
// ProcessError with a fixed message, or std::bad_alloc; what was made before a failure
// stays in the record, which frees it. Writers create their files without replacing
// anything: when a name was taken meanwhile the next free one is used and the record's
// path list is updated to it.
#include <cstdint>

#include "container/mov/mov_writer_hl/mov_atoms.h"
#include "engine/hap_standalone_process.h"
#include "engine/process_timecode.h"

// Four-character code and sample depth of the MOV video track.
struct MovVideoFormat {
    char fourcc[5];
    uint8_t depth;  // 24 or 32
};

// HAP R carries alpha (depth 32) only when the source alpha applies and the setting
// keeps alpha. Any other HapCodec throws "Invalid hap codec".
MovVideoFormat mov_video_format(int32_t hap_codec, bool src_alpha_applies, bool no_alpha);

// What decides the outputs' start timecode, read from the record (fps must be set).
OutputTimecodeParams process_timecode_params(const HapStandaloneProcess *ctx);

// Crop box of output item `item_index` of out_width x out_height: set when the output is
// a part of the source, cleared again when it does not fit inside the source. Prints
// "Write crop box : no video", "Write crop box metadata false" or
// "Write crop box : unset after set" on standard output.
void fill_crop_box_metadata(MovUdtaMetadata *metadata, const HapStandaloneProcess *ctx, uint32_t item_index,
                            uint32_t out_width, uint32_t out_height);

// Creates the MOV writers (nothing when mode is kHapProcessModeNoVideo) and hands each
// its metadata. Needs fps, hap_codec, the target size and the crop items.
void build_mov_writers(HapStandaloneProcess *ctx);

// Audio build: MOV audio tracks, WAV writers, audio sources and links, channel masks and
// the audio ring. Nothing is made when no output wants audio or no source track is used.
void build_audio_outputs(HapStandaloneProcess *ctx);
