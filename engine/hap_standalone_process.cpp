#include "engine/hap_standalone_process.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "platform/core/cpu.h"
#include "platform/core/errors.h"

uint32_t hap_process_threads_for_cpus(uint32_t cpus) {
    if (cpus == 0) cpus = 1;
    return cpus >= 2 ? cpus / 2 : cpus;
}

HapStandaloneProcess *create_hap_standalone_process() {
    auto *ctx = new HapStandaloneProcess();
    ctx->video_interp.custom_fps = ZRational{25, 1};
    ctx->video_interp.start_frame = -1;
    ctx->video_interp.end_frame = -1;
    ctx->mode = kHapProcessModeNoVideo;
    ctx->hap_params.timecode.drop_frame = true;
    ctx->hap_params.write_crop_box = true;
    ctx->mov_audio_output = -1;
    ctx->wav_audio_output = -1;

    // Processors this thread may use (sched_getaffinity, so taskset limits it).
    ctx->nb_threads = hap_process_threads_for_cpus(cpu_count_available());
    ctx->nb_workers = 2 * ctx->nb_threads;
    try {
        ctx->workers = new ZThread[ctx->nb_workers];
    } catch (...) {
        delete ctx;
        throw;
    }
    for (uint32_t i = 0; i < ctx->nb_workers; ++i) {
        ctx->workers[i].user_data = nullptr;
        ctx->workers[i].callback = nullptr;
        zthread_init(&ctx->workers[i]);
    }
    return ctx;
}

HapCodec hap_codec_from_setting(uint32_t setting_codec) {
    switch (setting_codec) {
    case 0: return HapCodec_HAP;
    case 1: return HapCodec_HAPA;
    case 2: return HapCodec_HAPQ;
    case 3: return HapCodec_HAPQA;
    case 4:
    case 5: return HapCodec_HAPAlphaOnly;
    case 6: return HapCodec_HAPR;
    default: printf("Unknown hap codec mode : %u\n", setting_codec); return HapCodec_HAP;
    }
}

// --- Strings ---------------------------------------------------------------------------

void free_cross_str_array(ArrayCrossStr *array) {
    if (array->items) {
        for (uint32_t i = 0; i < array->capacity; ++i) delete[] array->items[i];
        delete[] array->items;
    }
    *array = ArrayCrossStr{};
}

void alloc_cross_str_array(ArrayCrossStr *array, uint32_t n) {
    free_cross_str_array(array);
    if (n == 0) return;
    array->items = new char *[n]();
    array->capacity = n;
}

void cross_str_array_add(ArrayCrossStr *array, const char *str) {
    if (array->count >= array->capacity) {
        printf("Not enough space in array const cross str (max nb : %u ; Used items : %u\n", array->capacity,
               array->count);
        throw_process_error("Not enough space in array str");
    }
    char *copy = nullptr;
    if (str) {
        const size_t size = strlen(str) + 1;
        copy = new (std::nothrow) char[size];
        if (copy)
            memcpy(copy, str, size);
        else
            printf("Fail to alloc str clone : (%zu)\n", size);
    }
    if (!copy) {
        printf("Can't copy cross str to array\n");
        throw_alloc_error();
    }
    array->items[array->count++] = copy;
}

const char *cross_str_array_get(const ArrayCrossStr *array, uint32_t i) {
    if (!array->items || i >= array->count) return nullptr;
    if (!array->items[i]) printf("DEV ERROR : Index arr cross str is valid : %u but undefined\n", i);
    return array->items[i];
}

// --- Other arrays ------------------------------------------------------------------------

void alloc_crop_params(HapStandaloneProcess *ctx, uint32_t n) {
    delete[] ctx->hap_params.crop_items;
    ctx->hap_params.crop_items = nullptr;
    ctx->hap_params.nb_crop_items = 0;
    if (n == 0) return;
    ctx->hap_params.crop_items = new HAPStandalone_CropParamsItem[n]();
    ctx->hap_params.nb_crop_items = n;
}

namespace {

void free_wav_infos(HapStandaloneProcess *ctx) {
    if (ctx->wav_infos) {
        for (uint32_t i = 0; i < ctx->nb_wav_infos; ++i) free_media_info(&ctx->wav_infos[i]);
        delete[] ctx->wav_infos;
        ctx->wav_infos = nullptr;
    }
    ctx->nb_wav_infos = 0;
}

void free_audio_ring_entry(HAPStandalone_AudioEncodeThreadData *entry) {
    if (entry->src_frames) {
        for (uint32_t k = 0; k < entry->nb_sources; ++k) free_audio_frame(&entry->src_frames[k]);
        delete[] entry->src_frames;
        entry->src_frames = nullptr;
    }
    free_audio_filter_pool(&entry->filters);
    delete[] entry->src_converters;
    entry->src_converters = nullptr;
    delete[] entry->out_converters;
    entry->out_converters = nullptr;
    entry->mapping = nullptr;
    entry->gain = nullptr;
}

}  // namespace

void alloc_wav_media_infos(HapStandaloneProcess *ctx, uint32_t n) {
    free_wav_infos(ctx);
    if (n == 0) return;
    ctx->wav_infos = new MediaInfo *[n]();
}

// --- Release -----------------------------------------------------------------------------

void free_hap_standalone_process(HapStandaloneProcess *ctx) {
    if (!ctx) return;
    const uint32_t nb_wav_inputs = ctx->nb_wav_infos;  // size of wav_audio_demuxers
    free_media_info(&ctx->src_info);
    delete ctx->src_interpret;
    ctx->src_interpret = nullptr;
    free_wav_infos(ctx);
    free_cross_str_array(&ctx->out_hap_paths);
    free_cross_str_array(&ctx->out_wav_paths);
    alloc_crop_params(ctx, 0);

    // Workers before anything a job may still be using.
    if (ctx->workers) {
        for (uint32_t i = 0; i < ctx->nb_workers; ++i) zthread_wait(&ctx->workers[i]);
        delete[] ctx->workers;
        ctx->workers = nullptr;
    }

    if (ctx->mov_writers) {
        for (uint32_t i = 0; i < ctx->nb_mov_writers; ++i) delete ctx->mov_writers[i];
        delete[] ctx->mov_writers;
        ctx->mov_writers = nullptr;
    }
    ctx->nb_mov_writers = 0;

    if (ctx->wav_writers) {
        for (uint32_t i = 0; i < ctx->nb_wav_writers; ++i) {
            try {
                wav_writer_close(&ctx->wav_writers[i]);
            } catch (const std::exception &) { printf("Fail to close wav\n"); }
        }
        delete[] ctx->wav_writers;
        ctx->wav_writers = nullptr;
    }
    ctx->nb_wav_writers = 0;

    video_demuxer_free(ctx->video_demuxer);
    ctx->video_demuxer = nullptr;

    if (ctx->frames.array) {
        for (uint32_t i = 0; i < ctx->frames.count; ++i) video_frame_destroy(&ctx->frames.array[i]);
        delete[] ctx->frames.array;
    }
    ctx->frames = ArrayVideoFrame{};

    if (ctx->slots) {
        for (uint32_t i = 0; i < ctx->nb_slots; ++i) free_video_graph_tree(&ctx->slots[i].graph);
        delete[] ctx->slots;
        ctx->slots = nullptr;
    }
    ctx->nb_slots = 0;

    delete[] ctx->audio_links;
    ctx->audio_links = nullptr;

    if (ctx->audio_ring) {
        for (uint32_t i = 0; i < ctx->nb_threads; ++i) free_audio_ring_entry(&ctx->audio_ring[i]);
        delete[] ctx->audio_ring;
        ctx->audio_ring = nullptr;
    }

    delete[] ctx->channel_masks;
    ctx->channel_masks = nullptr;

    free_audio_demuxer(ctx->main_audio_demuxer);
    ctx->main_audio_demuxer = nullptr;
    if (ctx->wav_audio_demuxers) {
        for (uint32_t i = 0; i < nb_wav_inputs; ++i) free_audio_demuxer(ctx->wav_audio_demuxers[i]);
        delete[] ctx->wav_audio_demuxers;
        ctx->wav_audio_demuxers = nullptr;
    }
}
