#include "engine/process_run.h"

#include <cinttypes>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "model/queue/rq_task.h"
#include "model/queue/rq_task_state.h"
#include "platform/core/errors.h"
#include "platform/core/log.h"

// --- Video ---------------------------------------------------------------------------------

void video_slot_job(void *data) {
    auto *slot = static_cast<HAPStandalone_ThreadData *>(data);
    video_graph_tree_process(slot->graph);
}

uint32_t process_demux_video_batch(HapStandaloneProcess *ctx) {
    const uint32_t first = uint32_t(ctx->half) * ctx->nb_threads;
    for (uint32_t i = 0; i < ctx->nb_threads; ++i) {
        // A slot still busy would have its frame replaced under its job.
        if (ctx->slots[first + i].state != kHapSlotFree) {
            printf("ERREUR : In progress frame at index : %u\n", first + i);
            throw_process_error("Internal error : video slot still in use");
        }
    }
    const uint32_t n = video_demuxer_demux(ctx->video_demuxer, ctx->frames.array + first);
    if (n > ctx->nb_threads) throw_process_error("Internal error : too many frames demuxed");
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t k = first + i;
        video_graph_tree_set_input_frames(ctx->slots[k].graph, &ctx->frames.array[k], 1);
        ctx->slots[k].state = kHapSlotDemuxed;
    }
    return n;
}

void process_start_video_batch(HapStandaloneProcess *ctx) {
    const uint32_t first = uint32_t(ctx->half) * ctx->nb_threads;
    for (uint32_t i = 0; i < ctx->nb_threads; ++i) {
        const uint32_t k = first + i;
        HAPStandalone_ThreadData *slot = &ctx->slots[k];
        if (slot->state == kHapSlotFree) break;
        if (slot->state == kHapSlotRunning) {
            printf("ERREUR : In progress frame at index : %u\n", k);
            throw_process_error("Internal error : video slot still in use");
        }
        slot->state = kHapSlotRunning;
        zthread_start(&ctx->workers[k], video_slot_job, slot);
    }
    ctx->half = uint8_t(1 - ctx->half);
}

namespace {

void write_slot_outputs(HapStandaloneProcess *ctx, HAPStandalone_ThreadData *slot) {
    const ArrayVideoFrameRef &outputs = slot->graph->output_frames;
    if (outputs.count < ctx->nb_mov_writers) throw_process_error("Internal error : missing video output");
    for (uint32_t j = 0; j < ctx->nb_mov_writers; ++j) {
        const VideoFrame *frame = outputs.array[j];
        if (!frame || !frame->data[0]) throw_process_error("Internal error : missing video output");
        ctx->mov_writers[j]->write_video_frame(frame->data[0], frame->data_size[0]);
    }
}

}  // namespace

uint32_t process_collect_video_half(HapStandaloneProcess *ctx, uint32_t *first, bool write) {
    *first = uint32_t(ctx->half) * ctx->nb_threads;
    uint32_t joined = 0;
    bool failed = false;
    for (uint32_t i = 0; i < ctx->nb_threads; ++i) {
        const uint32_t k = *first + i;
        HAPStandalone_ThreadData *slot = &ctx->slots[k];
        if (slot->state != kHapSlotRunning) continue;
        zthread_join(&ctx->workers[k]);
        if (!write) continue;
        slot->state = kHapSlotFree;
        ++joined;
        if (zthread_has_error(&ctx->workers[k])) failed = true;
        if (failed) continue;  // nothing after a failed frame of the half reaches the files
        write_slot_outputs(ctx, slot);
        ++ctx->nb_frames_written;
    }
    if (write) ctx->progress += joined;
    return joined;
}

uint32_t process_flush_video_half(HapStandaloneProcess *ctx, uint32_t *first, bool write) {
    ctx->half = uint8_t(1 - ctx->half);
    return process_collect_video_half(ctx, first, write);
}

// --- Audio ---------------------------------------------------------------------------------

uint32_t process_audio_ring_size(const HapStandaloneProcess *ctx) {
    if (!ctx->audio_ring || ctx->nb_threads == 0) return 0;
    for (uint32_t k = 0; k < ctx->nb_audio_sources; ++k) {
        const AudioInfo *info = ctx->audio_links ? ctx->audio_links[k].info : nullptr;
        if (info && info->frequency != ctx->audio_params.frequency) return 1;
    }
    return ctx->nb_threads;
}

void audio_entry_job(void *data) {
    auto *entry = static_cast<HAPStandalone_AudioEncodeThreadData *>(data);
    try {
        for (uint32_t k = 0; k < entry->nb_sources; ++k) {
            AudioFilter *conv = entry->src_converters[k];
            conv->inputs[0] = &entry->src_frames[k];
            audio_filter_process(conv);
            entry->mapping->inputs[k] = conv->output;
        }
        audio_filter_process(entry->mapping);
        entry->gain->inputs[0] = entry->mapping->output;
        audio_filter_process(entry->gain);
        for (uint32_t o = 0; o < entry->nb_outputs; ++o) {
            entry->out_converters[o]->inputs[0] = entry->gain->output;
            audio_filter_process(entry->out_converters[o]);
        }
    } catch (const std::bad_alloc &) {
        printf("ERR : process audio : OOM\n");
        entry->failed = true;
    } catch (const std::exception &e) {
        printf("ERR : process audio : %s\n", e.what());
        entry->failed = true;
    } catch (...) {
        printf("ERR : process audio : Unknown\n");
        entry->failed = true;
    }
}

bool process_start_audio_entry(HapStandaloneProcess *ctx) {
    const uint32_t ring = process_audio_ring_size(ctx);
    if (ring == 0 || ctx->audio_index >= ring) throw_process_error("Invalid audio intern data");
    HAPStandalone_AudioEncodeThreadData *entry = &ctx->audio_ring[ctx->audio_index];
    if (entry->state != kHapSlotFree) {
        // Its worker still runs the previous second.
        printf("WARNING : invalid entry state for index : %u\n", ctx->audio_index);
        throw_process_error("Internal error : audio entry still in use");
    }
    for (uint32_t k = 0; k < entry->nb_sources; ++k) {
        const HAPStandalone_AudioTrackLink &link = ctx->audio_links[k];
        audio_demuxer_read(link.demuxer, &entry->src_frames[k], link.track);
    }
    entry->failed = false;
    entry->state = kHapSlotRunning;
    zthread_start(&ctx->workers[ctx->audio_index], audio_entry_job, entry);
    ctx->audio_samples_read += ctx->audio_samples_per_entry;
    ctx->audio_index = (ctx->audio_index + 1) % ring;
    return ctx->audio_samples_read < ctx->audio_end_sample;
}

namespace {

// The samples from `skip` on of one output frame, after checking it holds them.
const uint8_t *output_samples(const AudioFrame *frame, uint64_t skip, uint64_t count, uint32_t plane) {
    if (!frame || !frame->planes || plane >= frame->nb_planes || skip + count > frame->capacity)
        throw_process_error("Internal error : audio output too short");
    uint8_t *planes[kAudioFrameMaxPlanes] = {};
    get_audio_frame_planes_with_skip(planes, frame, uint32_t(skip));
    if (plane >= kAudioFrameMaxPlanes || !planes[plane]) throw_process_error("Internal error : audio output too short");
    return planes[plane];
}

uint32_t output_bytes_per_sample(const HapStandaloneProcess *ctx) {
    switch (ctx->audio_params.sample_format) {
    case 1: return 2;
    case 3: return 3;
    case 5: return 4;
    default: throw_process_error("Unsupported mov audio pcm");
    }
}

void write_entry_samples(HapStandaloneProcess *ctx, const HAPStandalone_AudioEncodeThreadData *entry, uint64_t skip,
                         uint64_t count) {
    const uint32_t channels = audio_layout_channel_count(ctx->audio_params.layout);
    const uint32_t bps = output_bytes_per_sample(ctx);
    std::vector<uint8_t> silence;
    if (entry->failed) silence.assign(count * channels * bps, 0);

    if (ctx->mov_audio_output >= 0 && ctx->nb_mov_writers > 0) {
        const bool dual = ctx->audio_params.layout == 3;
        const AudioFilter *out = entry->out_converters[ctx->mov_audio_output];
        const void *track0 = entry->failed ? silence.data() : output_samples(out->output, skip, count, 0);
        const void *track1 =
            !dual ? nullptr : (entry->failed ? silence.data() : output_samples(out->output2, skip, count, 0));
        for (uint32_t j = 0; j < ctx->nb_mov_writers; ++j) {
            ctx->mov_writers[j]->write_audio_samples(track0, int64_t(count), 0);
            if (dual) ctx->mov_writers[j]->write_audio_samples(track1, int64_t(count), 1);
        }
    }
    if (ctx->wav_audio_output >= 0 && ctx->nb_wav_writers > 0) {
        const AudioFilter *out = entry->out_converters[ctx->wav_audio_output];
        if (ctx->nb_wav_writers == 1) {
            const void *data = entry->failed ? silence.data() : output_samples(out->output, skip, count, 0);
            wav_writer_add_samples(&ctx->wav_writers[0], data, count * channels * bps);
        } else {
            for (uint32_t i = 0; i < ctx->nb_wav_writers; ++i) {
                const void *data = entry->failed ? silence.data() : output_samples(out->output, skip, count, i);
                wav_writer_add_samples(&ctx->wav_writers[i], data, count * bps);
            }
        }
    }
}

}  // namespace

void process_collect_audio_entry(HapStandaloneProcess *ctx, HapProcessRunHost *host) {
    const uint32_t ring = process_audio_ring_size(ctx);
    if (ring == 0 || ctx->audio_index >= ring) throw_process_error("Invalid audio intern data");
    HAPStandalone_AudioEncodeThreadData *entry = &ctx->audio_ring[ctx->audio_index];
    const uint64_t left = ctx->progress < ctx->audio_end_sample ? ctx->audio_end_sample - ctx->progress : 0;
    const uint64_t length = std::min<uint64_t>(ctx->audio_samples_per_entry, left);
    if (entry->state == kHapSlotFree) return;
    zthread_join(&ctx->workers[ctx->audio_index]);
    entry->state = kHapSlotFree;
    if (entry->failed && host) {
        host->run_task().add_str_to_log("ERROR Processing audio : failed second written as silence");
        host->setHave_error_processing(true);
    }
    if (ctx->audio_skip_left >= length) {
        ctx->audio_skip_left -= length;
    } else {
        const uint64_t skip = ctx->audio_skip_left;
        ctx->audio_skip_left = 0;
        write_entry_samples(ctx, entry, skip, length - skip);
    }
    ctx->progress += length;
}

void process_drain_audio_ring(HapStandaloneProcess *ctx, HapProcessRunHost *host) {
    const uint32_t ring = process_audio_ring_size(ctx);
    for (uint32_t i = 0; i < ring; ++i) {
        process_collect_audio_entry(ctx, host);
        ctx->audio_index = (ctx->audio_index + 1) % ring;
    }
}

void process_set_audio_end_from_frames(HapStandaloneProcess *ctx) {
    if (ctx->nb_frames_to_process == 0 || ctx->nb_audio_sources == 0) return;
    if (ctx->nb_frames_written == 0 || ctx->fps.num == 0) {
        printf("Warning no frame to process, no audio process\n");
        ctx->audio_end_sample = 0;
        return;
    }
    const double seconds = double(ctx->fps.den) / double(ctx->fps.num) * double(ctx->nb_frames_written);
    ctx->audio_end_sample =
        uint64_t(std::llround(double(ctx->audio_params.frequency) * seconds)) + ctx->audio_start_sample;
}

void process_set_audio_end_without_video(HapStandaloneProcess *ctx) {
    ctx->audio_end_sample += ctx->audio_start_sample;
}

// --- The run -------------------------------------------------------------------------------

namespace {

// Pause and stop between two units of work; true when the run must stop.
bool handle_requests(BaseProcessTask &task) {
    uint64_t request = task.get_request_state();
    if (request == RqTaskState_Pause) {
        task.set_new_state(RqTaskState_Pause);
        task.pause_loop();
        request = task.get_request_state();
    }
    if (request == RqTaskState_Cancel || request == RqTaskState_CancelDelete) {
        task.set_new_state(RqTaskState_Cancel);
        return true;
    }
    return false;
}

void close_writers(HapStandaloneProcess *ctx) {
    for (uint32_t j = 0; j < ctx->nb_mov_writers; ++j) ctx->mov_writers[j]->close();
    if (ctx->wav_writers) {
        for (uint32_t i = 0; i < ctx->nb_wav_writers; ++i) wav_writer_close(&ctx->wav_writers[i]);
        delete[] ctx->wav_writers;
        ctx->wav_writers = nullptr;
        ctx->nb_wav_writers = 0;
    }
}

// Video stage; true when stopped by a request.
bool run_video_stage(HapStandaloneProcess *ctx, HapProcessRunHost *host) {
    BaseProcessTask &task = host->run_task();
    ctx->stage = kHapProcessStageVideo;
    ctx->stage_length = ctx->nb_frames_to_process;
    ctx->progress = 0;
    ctx->half = 0;
    ctx->nb_frames_written = 0;
    task.start_new_step(3);
    task.setDuration_f_process(ctx->nb_frames_to_process);
    bool stopped = false;
    uint32_t first = 0;
    for (;;) {
        const uint32_t joined = process_collect_video_half(ctx, &first, true);
        host->log_video_error_warning_processing_for_nb_frames(first, joined);
        if (host->have_error_processing()) {
            zlog("Stop after error processing");
            break;
        }
        if (joined) task.update_progress_from_process_frames(ctx->progress);
        if (handle_requests(task)) {
            stopped = true;
            break;
        }
        if (process_demux_video_batch(ctx) == 0) break;
        process_start_video_batch(ctx);
    }
    const uint32_t joined = process_flush_video_half(ctx, &first, !host->have_error_processing());
    host->log_video_error_warning_processing_for_nb_frames(first, joined);
    task.update_progress_from_process_frames(ctx->progress);
    process_set_audio_end_from_frames(ctx);
    task.end_step();
    return stopped;
}

// Audio stage; true when stopped by a request.
bool run_audio_stage(HapStandaloneProcess *ctx, HapProcessRunHost *host) {
    BaseProcessTask &task = host->run_task();
    ctx->stage = kHapProcessStageAudio;
    ctx->stage_length = ctx->audio_end_sample;
    ctx->progress = 0;
    ctx->audio_index = 0;
    task.start_new_step(5);
    task.setDuration_f_process(ctx->audio_end_sample);
    bool stopped = false;
    for (;;) {
        process_collect_audio_entry(ctx, host);
        task.update_progress_from_process_frames(ctx->progress);
        if (ctx->progress >= ctx->audio_end_sample) {
            printf("Warning : Enough audio sample process\n");
            task.end_step();
            break;
        }
        if (handle_requests(task)) {
            stopped = true;
            break;
        }
        if (!process_start_audio_entry(ctx)) {
            task.end_step();
            break;
        }
    }
    process_drain_audio_ring(ctx, host);
    task.update_progress_from_process_frames(ctx->progress);
    return stopped;
}

}  // namespace

void hap_process_main_run(HapStandaloneProcess *ctx, HapProcessRunHost *host) {
    BaseProcessTask &task = host->run_task();
    if (!ctx) {
        zlog("ERROR : No hap process");
        host->setHave_error_processing(true);
        task.set_end_state_with_error_and_warning(true, host->have_warning_processing());
        return;
    }
    try {
        bool stopped = false;
        if (ctx->nb_frames_to_process == 0) {
            printf("No video to process\n");
            process_set_audio_end_without_video(ctx);
        } else {
            stopped = run_video_stage(ctx, host);
        }
        if (!stopped && ctx->audio_end_sample != 0 && ctx->audio_ring) run_audio_stage(ctx, host);
        close_writers(ctx);
    } catch (const std::bad_alloc &) {
        zlog("Error Process A : OOM");
        task.add_str_to_log("Fatal error : Out Of Memory");
        host->setHave_error_processing(true);
    } catch (const std::exception &e) {
        zlog("Error Process A : %s", e.what());
        task.add_str_to_log(std::string("Fatal error : ") + e.what());
        host->setHave_error_processing(true);
    } catch (...) {
        zlog("Error Process A : Unknown");
        task.add_str_to_log("Fatal error : Unknown");
        host->setHave_error_processing(true);
    }
    task.setGlobal_process_duration_frames(ctx->nb_frames_to_process);
    task.setGlobal_process_real_nb_frames_process(ctx->nb_frames_written);
    task.set_end_state_with_error_and_warning(host->have_error_processing(), host->have_warning_processing());
}
