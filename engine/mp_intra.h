#pragma once
// A double-buffered pool of worker slots, each running its own graph on one frame.
// The owner fills the frames of one half, starts a job per filled slot and, while that
// half runs, collects and refills the other half. Frames, graphs and workers are made
// once and reused for every batch. Everything but mp_intra_job runs on the owner's thread.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"
#include "media/zthread.h"

struct MPIntraVideoProcessThreadData {
    uint32_t state;      // 0 idle, 2 job running
    VideoFrame *frame;   // the slot's frame while a job runs; owned by the pool's frames
    FilterGraph *graph;  // owned
};

struct MPIntraVideoProcessing {
    ArrayVideoFrame frames;  // one per slot, owned
    ZThread *workers;        // one per slot, owned
    MPIntraVideoProcessThreadData *slots;
    uint8_t half;         // half used by the next batch
    uint32_t nb_threads;  // slots per half
    uint32_t nb_slots;    // 2 x nb_threads
};

void mp_intra_reset(MPIntraVideoProcessing *pool);
// Slots for the processors available, their frames and workers; graphs come afterwards.
void mp_intra_alloc(MPIntraVideoProcessing *pool);
// n new frames; 0 throws "Invalid nb frames".
void mp_intra_alloc_frames(MPIntraVideoProcessing *pool, uint32_t n);
void mp_intra_create_graphs(MPIntraVideoProcessing *pool, uint32_t nb_filters_max);
// The nb_threads frames of the current half.
VideoFrame **mp_intra_get_frames(MPIntraVideoProcessing *pool);
// Starts jobs on the first n slots of the current half, marks the rest idle, switches halves.
void mp_intra_start_jobs(MPIntraVideoProcessing *pool, uint32_t n);
// Joins the running jobs of the current half; they are slots first .. first + count - 1.
// A job's failure is read afterwards from its worker.
uint32_t mp_intra_collect(MPIntraVideoProcessing *pool, uint32_t *first);
uint32_t mp_intra_switch_and_collect(MPIntraVideoProcessing *pool, uint32_t *first);
// The job of one slot, on its worker: a flagged frame fails with the flag's text and the
// graph is not run.
void mp_intra_job(void *slot);
// Joins every worker, then frees frames, graphs and slots. Safe on a reset pool.
void mp_intra_free(MPIntraVideoProcessing *pool);
