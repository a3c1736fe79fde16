#pragma once
// The context of one main pass: every parameter of the task as plain values and copies,
// and everything the build makes for the run (workers, slots with their pipelines, the
// video source, the writers, the audio sources and the audio ring).
//
// Made zero-filled by create_hap_standalone_process (defaults set, workers reset), filled
// by the conversion task, built by build_hap_standalone_process and run by the frame loop.
// free_hap_standalone_process releases what it owns; the owner then deletes the record.
// Every array below is owned by the record unless said otherwise, and is made with
// new[] (value-initialised) so that the release can delete[] it; counts name how many
// entries were allocated, so a build that stops half-way leaves a record that frees.
#include "engine/audio_source_links.h"
#include <cstdint>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_writer_hl/mov_writer.h"
#include "container/mov/video_demuxer.h"
#include "container/wav/wav_writer.h"
#include "media/video_frame.h"
#include "media/zthread.h"
#include "model/settings/media_src_interpret.h"
#include "pipeline/audio/audio_demuxer.h"
#include "pipeline/audio/audio_filter.h"
#include "pipeline/audio/audio_frame.h"
#include "pipeline/graph/video_graph_tree.h"
#include "pipeline/probe/media_info.h"

// Owned copies of zero-terminated strings; never grows past its capacity.
struct ArrayCrossStr {
    char **items;
    uint32_t capacity;
    uint32_t count;
};

struct HAPStandalone_VideoInterpretation {
    bool use_custom_fps;
    ZRational custom_fps;  // 25/1 after creation
    int64_t start_frame;   // first source frame (image sequences: first image number); -1 unset
    int64_t end_frame;     // last source frame; -1 unset
    bool packed_intermediate;
    bool reserved[3];
    int32_t in_point;  // frames from start_frame; -1 none
    int32_t out_point;
};

// VideoSetting_TcMode: 0 never, 1 auto, 2 always, 3 overwrite.
struct HAPStandalone_VideoTimecode {
    uint32_t tc_mode;
    bool drop_frame;  // true after creation
    uint32_t start_hours;
    uint32_t start_minutes;
    uint32_t start_seconds;
    uint32_t start_frames;
};

// Pixels removed at each edge of the source; size and transform of the output
// (0 when not computed).
struct HAPStandalone_CropParamsItem {
    uint32_t crop_l;
    uint32_t crop_t;
    uint32_t crop_r;
    uint32_t crop_b;
    uint32_t dst_width;
    uint32_t dst_height;
    uint32_t transform_mode;
};

struct HAPStandalone_HapParams {
    uint32_t nb_chunks;  // 0 no snappy, else 1..64
    HAPStandalone_CropParamsItem *crop_items;
    uint32_t nb_crop_items;
    bool is_multicrop;
    HAPStandalone_VideoTimecode timecode;
    uint32_t transform_mode;    // VideoSetting_TransformMode of the single output
    uint32_t alpha_conversion;  // 0 as source, 1 premultiplied, 2 straight
    bool no_alpha;              // the setting's alpha mode is "No alpha"
    bool write_crop_box;        // true after creation
};

// Target codec of smart rendering, as VideoSetting_HapCodec.
struct HAPStandalone_HapConformParams {
    uint32_t codec;
};

// VideoSetting_HapCodec, VideoSetting_HapQuality, VideoSetting_ScaleQuality.
struct HAPStandalone_HapEncodeParams {
    uint32_t codec;
    uint32_t quality;
    uint32_t scale_quality;
};

constexpr uint32_t kHapStandMaxAudioGains = 8;

struct HAPStandalone_AudioParams {
    uint32_t frequency;      // 44100 or 48000
    uint32_t sample_format;  // AudioSampleFormat: 1 s16, 3 s24, 5 s32
    uint32_t layout;         // HapStand_AudioLayout
    bool embed_in_mov;
    bool write_wav;
    bool multi_mono;
    float gains[kHapStandMaxAudioGains];  // dB per output channel, 0 unchanged
};

// Slot states.
constexpr uint32_t kHapSlotFree = 0;
constexpr uint32_t kHapSlotDemuxed = 1;
constexpr uint32_t kHapSlotRunning = 2;

struct HAPStandalone_ThreadData {
    uint32_t state;         // kHapSlot*
    VideoGraphTree *graph;  // the slot's own pipeline
};

using HAPStandalone_AudioTrackLink = AudioSourceLink;

// One entry of the audio ring: one second of every source and the chain turning it
// into one second of each audio output.
struct HAPStandalone_AudioEncodeThreadData {
    bool failed;
    uint32_t state;  // kHapSlotFree or kHapSlotRunning
    uint32_t nb_sources;
    AudioFrame *src_frames;        // nb_sources frames
    ArrayAudioFilter filters;      // owns every node of the entry
    AudioFilter **src_converters;  // nb_sources, not owning
    AudioFilter *mapping;          // not owning
    AudioFilter *gain;             // not owning
    uint32_t nb_outputs;           // 1 or 2
    AudioFilter **out_converters;  // nb_outputs, not owning
};

// Values of mode.
constexpr uint32_t kHapProcessModeEncode = 0;
constexpr uint32_t kHapProcessModeSmart = 1;
constexpr uint32_t kHapProcessModeNoVideo = 2;

// Values of stage.
constexpr uint32_t kHapProcessStageVideo = 1;
constexpr uint32_t kHapProcessStageAudio = 4;

struct HapStandaloneProcess {
    MediaInfo *src_info;
    HapStandMediaSrcInterpret *src_interpret;
    MediaInfo **wav_infos;  // used WAV inputs, packed in input order
    uint32_t nb_wav_infos;
    ArrayCrossStr out_hap_paths;
    ArrayCrossStr out_wav_paths;
    HAPStandalone_VideoInterpretation video_interp;
    uint32_t mode;  // kHapProcessMode*
    HAPStandalone_HapParams hap_params;
    HAPStandalone_HapConformParams conform_params;
    HAPStandalone_HapEncodeParams encode_params;
    HAPStandalone_AudioParams audio_params;
    ZThread *workers;  // nb_workers
    uint32_t nb_workers;
    uint32_t stage;
    uint64_t progress;      // frames written, or audio sample frames done
    uint64_t stage_length;  // informational
    uint8_t half;           // half of the slots the next batch uses
    uint32_t nb_threads;    // slots per half = frames per batch
    uint32_t nb_frames_to_process;
    uint32_t nb_frames_written;
    ZRational fps;
    bool use_src_alpha;
    uint32_t target_width;
    uint32_t target_height;
    Mov_Writer_Video **mov_writers;  // nb_mov_writers, each owned
    uint32_t nb_mov_writers;
    int32_t hap_codec;  // HapCodec
    VideoDemuxer *video_demuxer;
    ArrayVideoFrame frames;  // one per slot, filled by the demuxer
    HAPStandalone_ThreadData *slots;
    uint32_t nb_slots;
    uint32_t audio_index;
    uint64_t audio_start_sample;
    uint64_t audio_skip_left;
    uint64_t audio_end_sample;
    uint64_t audio_samples_per_entry;
    uint64_t audio_samples_read;
    uint32_t nb_audio_sources;
    uint32_t nb_used_tracks;
    uint32_t nb_used_wavs;
    uint32_t nb_channels_in;
    uint64_t *channel_masks;                    // nb_channels_in
    HAPStandalone_AudioTrackLink *audio_links;  // nb_audio_sources
    WavWriter *wav_writers;                     // nb_wav_writers
    uint32_t nb_wav_writers;
    int32_t mov_audio_output;                         // chain output feeding the MOV writers; -1 none
    int32_t wav_audio_output;                         // chain output feeding the WAV writers; -1 none
    HAPStandalone_AudioEncodeThreadData *audio_ring;  // nb_threads entries
    AudioDemuxer *main_audio_demuxer;
    AudioDemuxer **wav_audio_demuxers;  // nb_wav_infos entries, null where unused
};

// A new record with its defaults, thread count and reset workers; std::bad_alloc when
// memory runs out.
HapStandaloneProcess *create_hap_standalone_process();
// Frees everything the record owns (not the record); null is ignored. Workers are
// joined first; MOV writers still open are destroyed without being finished; WAV writers
// still open are closed.
void free_hap_standalone_process(HapStandaloneProcess *ctx);

// Threads per half for a processor count: half of it, at least 1.
uint32_t hap_process_threads_for_cpus(uint32_t cpus);

// VideoSetting_HapCodec to HapCodec; an unknown value prints its line and gives HAP.
HapCodec hap_codec_from_setting(uint32_t setting_codec);

// Appends a copy; a full array throws "Not enough space in array str", no string or no
// memory throws std::bad_alloc.
void cross_str_array_add(ArrayCrossStr *array, const char *str);
// n empty slots (0 allocates nothing); strings held before are freed.
void alloc_cross_str_array(ArrayCrossStr *array, uint32_t n);
// Frees every string and the slots; count and capacity become 0.
void free_cross_str_array(ArrayCrossStr *array);
// Entry i, or null (with a printed line for an empty entry inside the count).
const char *cross_str_array_get(const ArrayCrossStr *array, uint32_t i);

// n zeroed crop items (0 gives none); items held before are freed.
void alloc_crop_params(HapStandaloneProcess *ctx, uint32_t n);
// n empty wav_infos entries; nb_wav_infos stays 0 (entries are appended by the fill).
void alloc_wav_media_infos(HapStandaloneProcess *ctx, uint32_t n);
