#pragma once
// The analysis pass: one reading of the source before the conversion, to measure what
// some settings need first. The audio step converts every used track to 48 kHz float,
// maps it to the output layout and measures silence, true peak and loudness; the video
// step decodes every frame of the range on worker slots and measures the transparent
// borders from the alpha channel.
//
// HapStandalonePreProcess is a plain record made by hap_preprocess_create, filled by its
// owner, built by hap_preprocess_build and emptied by hap_preprocess_free (the owner
// deletes the record). Everything runs on the owner's worker thread except the jobs.
// Failures throw ProcessError with a fixed message, or std::bad_alloc.
#include "engine/audio_source_links.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "container/mov/video_demuxer.h"
#include "engine/mp_intra.h"
#include "media/zthread.h"
#include "model/settings/media_src_interpret.h"
#include "pipeline/audio/audio_analyser.h"
#include "pipeline/audio/audio_demuxer.h"
#include "pipeline/audio/audio_filter.h"
#include "pipeline/probe/media_info.h"

struct HapStandPreProcess_SrcInterpret {
    int32_t in_point;   // frames; -1 when none
    int32_t out_point;  // frames; -1 when none
    uint32_t img_seq_start_f;
    uint32_t img_seq_end_f;
    HapStandMediaSrcInterpret media_interpret;
};

struct HapStandPreProcess_AudioAnalyseParams {
    bool enable;
    bool silence_test;
    bool loudness_test;
    bool true_peak_test;
    uint32_t audio_layout;  // HapStand_AudioLayout
};

struct HapStandPreProcess_VideoAnalyseParams {
    bool enable;
    bool alpha_crop_test;
    bool crop_detect_flag;  // borders rounded so the rest keeps multiples of 4
};

// Smallest border on each side over every measured frame, in pixels.
struct HapStandPreProcess_VideoAnalyseResults {
    bool no_result;  // no frame had a visible pixel yet
    uint32_t top;
    uint32_t left;
    uint32_t bottom;
    uint32_t right;
};

struct HapStandPreProcess_AudioAnalyseResults {
    bool is_silent;
    double true_peak;  // dBTP, highest over every channel
    double loudness;   // LUFS, highest over the channel groups
};

// One used audio source: a track of the source file or an external WAV.
using HapPreProcess_AudioTrackLink = AudioSourceLink;

// One second of every source, converted and mapped by one job.
struct HAPStandalone_PreProcess_AudioEncodeThreadData {
    bool failed;
    uint32_t state;  // 0 idle, 2 job running
    uint32_t nb_sources;
    AudioFrame *src_frames;  // nb_sources, owned
    ArrayAudioFilter filters;
    AudioFilter **src_converters;  // nb_sources, owned by filters
    AudioFilter *mapping;          // owned by filters
};

struct HapStandalonePreProcess {
    MediaInfo *src_info;
    HapStandPreProcess_SrcInterpret src_interpret;
    MediaInfo **wav_infos;
    uint32_t nb_wav_infos;
    HapStandPreProcess_AudioAnalyseParams audio_params;
    HapStandPreProcess_VideoAnalyseParams video_params;
    HapStandPreProcess_VideoAnalyseResults video_results;
    HapStandPreProcess_AudioAnalyseResults audio_results;

    VideoDemuxer *video_demuxer;
    MPIntraVideoProcessing frame_pool;
    uint32_t crop_detect_index;  // 0xFFFFFFFF when none
    uint32_t nb_frames_to_analyse;
    uint32_t nb_frames_analysed;
    // One line per frame that could not be measured; the owner logs them as warnings.
    std::vector<std::string> video_failed_frames;

    uint32_t audio_index;
    uint64_t audio_nb_samples;
    uint64_t audio_samples_per_entry;
    uint64_t audio_samples_read;
    uint32_t nb_audio_sources;
    uint32_t nb_used_tracks;
    uint32_t nb_used_wavs;
    uint32_t nb_channels_in;
    uint64_t *channel_masks;
    HapPreProcess_AudioTrackLink *audio_links;
    HAPStandalone_PreProcess_AudioEncodeThreadData *audio_ring;  // audio_ring_size entries
    // nb_cpu, or 1 when a source is resampled: a resampler keeps its state from one block
    // to the next, so every second of a stream goes through the same one, in order.
    uint32_t audio_ring_size;
    AudioDemuxer *main_audio_demuxer;
    AudioDemuxer **wav_audio_demuxers;  // nb_wav_infos entries, null where unused
    AudioAnalyser *audio_analyser;
    uint64_t audio_samples_analysed;
    uint64_t audio_samples_to_analyse;
    ZThread *audio_workers;
    uint32_t nb_audio_workers;
    uint32_t nb_cpu;
};

HapStandalonePreProcess *hap_preprocess_create();
// count empty entries (nothing for 0).
void hap_preprocess_alloc_wav_infos(HapStandalonePreProcess *pp, uint32_t count);
// Checks the measurement flags, then builds the audio and video machinery.
void hap_preprocess_build(HapStandalonePreProcess *pp);
// Frees every member after waiting for the workers; the record itself stays.
void hap_preprocess_free(HapStandalonePreProcess *pp);

// ---- audio step ----
// Output channels of a layout; an unknown layout prints a line and gives 0.
uint32_t hap_preprocess_layout_channels(uint32_t layout);
// Frame rate of the range from the interpretation and the source's rate.
ZRational hap_preprocess_audio_fps(const HapStandMediaSrcInterpret &interpret, ZRational src_fps);
// First and end sample at 48 kHz of the in-to-out range; the out-point frame is included.
void hap_preprocess_audio_range(int32_t in_point, int32_t out_point, ZRational fps, uint64_t nb_samples,
                                uint64_t *first, uint64_t *end);
// Collects the entry at audio_index; false once the analyser wants no more samples.
bool hap_preprocess_audio_collect(HapStandalonePreProcess *pp);
// Reads the next second into the entry at audio_index and starts its job; false once
// every sample has been read.
bool hap_preprocess_audio_start_next(HapStandalonePreProcess *pp);
void hap_preprocess_audio_job(void *entry);
// Drains the ring, finishes the analyser and fills audio_results.
void hap_preprocess_audio_finish(HapStandalonePreProcess *pp);

// ---- video step ----
// Frames demuxed and started; 0 at the end.
uint32_t hap_preprocess_video_start_next(HapStandalonePreProcess *pp);
// Joins the current half and merges it; *stop is set once no border is left to crop.
void hap_preprocess_video_collect(HapStandalonePreProcess *pp, bool *stop);
void hap_preprocess_video_accumulate(HapStandalonePreProcess *pp, uint32_t first, uint32_t count);
void hap_preprocess_video_finish(HapStandalonePreProcess *pp);
VideoFilter *hap_preprocess_create_image_decoder(const MediaInfo *info);
VideoFilter *hap_preprocess_create_intra_decoder(const MediaInfo *info);

// ---- step loops ----
// Called after every unit (a second of audio, a batch of frames) with the progress so far;
// false stops the step (a cancel). The final report after the step only reports.
using HapPreProcessUnitCheck = bool (*)(void *user, uint64_t progress, bool final_report);
// Steps run with every unit checked; each returns false when the check stopped it. The
// audio progress counts the samples of the range handed to the analyser.
bool hap_preprocess_run_audio_step(HapStandalonePreProcess *pp, HapPreProcessUnitCheck check, void *user);
bool hap_preprocess_run_video_step(HapStandalonePreProcess *pp, HapPreProcessUnitCheck check, void *user);

// ---- results ----
// Gain in dB of a gain mode (2 true peak, 3 loudness, others none) for the measurements.
double hap_preprocess_gain_db(uint32_t gain_mode, double true_peak_target, double loudness_target,
                              const HapStandPreProcess_AudioAnalyseResults &results);

struct HapPreProcess_CropEdges {
    uint32_t top, left, right, bottom;
};
// The automatic crop of a w x h source from the video results.
HapPreProcess_CropEdges hap_preprocess_crop_edges(const HapStandPreProcess_VideoAnalyseResults &results, uint32_t w,
                                                  uint32_t h);

// ---- with the task ----
// The task model belongs to the main thread: these functions reach it through the main
// queue, waiting on a semaphore (directly when called on the main thread). A main thread
// that waits for the worker meanwhile must keep serving its queue.
class RqTask;
class BaseProcessTask;

// Copies what the pass needs out of the task.
void hap_preprocess_set_data_from_task(HapStandalonePreProcess *pp, const std::shared_ptr<RqTask> &task);
// Runs the audio then the video step on the task's worker, with its progress, pause and
// cancel. Returns true when a step failed (logged as "Analyse Fatal error : ..."). Frames
// that could not be measured are logged as warnings and set *warning.
bool hap_preprocess_process(HapStandalonePreProcess *pp, BaseProcessTask &worker, bool *is_process_cancel,
                            bool *warning);
// Writes the silent flag, the gain and the automatic crop into the task and refreshes its
// output properties, all on the main queue; returns once that is done.
void hap_preprocess_update_task(HapStandalonePreProcess *pp, const std::shared_ptr<RqTask> &task);
