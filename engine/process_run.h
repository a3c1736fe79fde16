#pragma once
// The run of a built main pass: the video stage (batches over two halves of slots,
// written in source order), the audio stage (one second per ring entry, written in time
// order), the closing of the writers and the end state of the task. Everything but the
// worker jobs runs on the task's background thread.
#include <cstdint>

#include "engine/base_process_task.h"
#include "engine/hap_standalone_process.h"

// What the run needs of its conversion task besides BaseProcessTask.
class HapProcessRunHost {
public:
    virtual ~HapProcessRunHost() = default;
    virtual BaseProcessTask &run_task() = 0;
    virtual bool have_error_processing() const = 0;
    virtual void setHave_error_processing(bool value) = 0;
    virtual bool have_warning_processing() const = 0;
    // Logs the pipeline warnings and the first worker error of the slots first ..
    // first + nb - 1 and sets the task's flags.
    virtual void log_video_error_warning_processing_for_nb_frames(uint32_t first, uint32_t nb) = 0;
};

// The whole main pass and the task's end state; never throws. A null context logs
// "ERROR : No hap process".
void hap_process_main_run(HapStandaloneProcess *ctx, HapProcessRunHost *host);

// --- Steps, for the run and its tests ------------------------------------------------------

// Worker jobs.
void video_slot_job(void *slot);
void audio_entry_job(void *entry);

// Frames demuxed into the current half (0 at the end of the range).
uint32_t process_demux_video_batch(HapStandaloneProcess *ctx);
// Starts the demuxed slots of the current half, then toggles the half.
void process_start_video_batch(HapStandaloneProcess *ctx);
// Joins the running slots of the current half, writing their frames when asked; returns
// how many were joined.
uint32_t process_collect_video_half(HapStandaloneProcess *ctx, uint32_t *first, bool write);
uint32_t process_flush_video_half(HapStandaloneProcess *ctx, uint32_t *first, bool write);

// Entries of the audio ring in use: 1 when a source is resampled (its converter keeps
// state across seconds, so it must see them in order), else nb_threads.
uint32_t process_audio_ring_size(const HapStandaloneProcess *ctx);
// Reads the next second into the entry at audio_index and starts it; answers whether
// audio remains to be read.
bool process_start_audio_entry(HapStandaloneProcess *ctx);
// Joins the entry at audio_index and writes its samples (silence for a failed entry,
// reported through host when given).
void process_collect_audio_entry(HapStandaloneProcess *ctx, HapProcessRunHost *host);
void process_drain_audio_ring(HapStandaloneProcess *ctx, HapProcessRunHost *host);
void process_set_audio_end_from_frames(HapStandaloneProcess *ctx);
void process_set_audio_end_without_video(HapStandaloneProcess *ctx);
