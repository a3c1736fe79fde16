#include "engine/mp_intra.h"

#include <new>

#include "platform/core/cpu.h"
#include "platform/core/errors.h"

void mp_intra_reset(MPIntraVideoProcessing *pool) { *pool = MPIntraVideoProcessing{}; }

void mp_intra_alloc_frames(MPIntraVideoProcessing *pool, uint32_t n) {
    if (n == 0) throw_process_error("Invalid nb frames");
    pool->frames.array = new VideoFrame *[n]();
    pool->frames.count = n;
    for (uint32_t i = 0; i < n; ++i) pool->frames.array[i] = video_frame_new();
}

void mp_intra_alloc(MPIntraVideoProcessing *pool) {
    pool->nb_threads = cpu_count_available();
    if (pool->nb_threads == 0) pool->nb_threads = 1;
    pool->nb_slots = 2 * pool->nb_threads;
    pool->half = 0;
    mp_intra_alloc_frames(pool, pool->nb_slots);
    pool->workers = new ZThread[pool->nb_slots];
    for (uint32_t i = 0; i < pool->nb_slots; ++i) {
        pool->workers[i].user_data = nullptr;
        pool->workers[i].callback = nullptr;
        zthread_init(&pool->workers[i]);
    }
    pool->slots = new MPIntraVideoProcessThreadData[pool->nb_slots]();
}

void mp_intra_create_graphs(MPIntraVideoProcessing *pool, uint32_t nb_filters_max) {
    for (uint32_t k = 0; k < pool->nb_slots; ++k) {
        if (!pool->slots[k].graph) pool->slots[k].graph = filter_graph_create(nb_filters_max, 1);
    }
}

VideoFrame **mp_intra_get_frames(MPIntraVideoProcessing *pool) {
    return pool->frames.array + size_t(pool->half) * pool->nb_threads;
}

void mp_intra_start_jobs(MPIntraVideoProcessing *pool, uint32_t n) {
    const uint32_t first = pool->half * pool->nb_threads;
    for (uint32_t i = 0; i < pool->nb_threads; ++i) {
        const uint32_t k = first + i;
        MPIntraVideoProcessThreadData *slot = &pool->slots[k];
        if (i < n) {
            slot->frame = pool->frames.array[k];
            slot->state = 2;
            zthread_start(&pool->workers[k], mp_intra_job, slot);
        } else {
            slot->state = 0;
        }
    }
    pool->half = uint8_t(1 - pool->half);
}

uint32_t mp_intra_collect(MPIntraVideoProcessing *pool, uint32_t *first) {
    *first = pool->half * pool->nb_threads;
    uint32_t count = 0;
    for (uint32_t i = 0; i < pool->nb_threads; ++i) {
        const uint32_t k = *first + i;
        if (pool->slots[k].state != 2) continue;
        zthread_join(&pool->workers[k]);
        pool->slots[k].state = 0;
        ++count;
    }
    return count;
}

uint32_t mp_intra_switch_and_collect(MPIntraVideoProcessing *pool, uint32_t *first) {
    pool->half = uint8_t(1 - pool->half);
    return mp_intra_collect(pool, first);
}

void mp_intra_job(void *data) {
    auto *slot = static_cast<MPIntraVideoProcessThreadData *>(data);
    if (slot->frame->error_flags != 0) throw_process_error(get_video_frame_error_text(slot->frame->error_flags));
    VideoFrame *inputs[] = {slot->frame};
    filter_graph_process(slot->graph, inputs, 1);
}

void mp_intra_free(MPIntraVideoProcessing *pool) {
    // Workers first: a job still running uses its slot's frame and graph.
    if (pool->workers) {
        for (uint32_t i = 0; i < pool->nb_slots; ++i) zthread_wait(&pool->workers[i]);
        delete[] pool->workers;
        pool->workers = nullptr;
    }
    if (pool->frames.array) {
        for (uint32_t i = 0; i < pool->frames.count; ++i) video_frame_destroy(&pool->frames.array[i]);
        delete[] pool->frames.array;
        pool->frames = ArrayVideoFrame{};
    }
    if (pool->slots) {
        for (uint32_t i = 0; i < pool->nb_slots; ++i) filter_graph_free(pool->slots[i].graph);
        delete[] pool->slots;
        pool->slots = nullptr;
    }
}
