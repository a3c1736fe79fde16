#include "engine/hap_process_task.h"

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "engine/hap_standalone_preprocess.h"
#include "engine/hap_standalone_process.h"
#include "platform/core/dispatch.h"
#include "platform/core/log.h"
#include "platform/core/main_queue.h"

void run_on_main_queue_and_wait(const std::function<void()> &fn) {
    if (main_queue::is_main_thread()) {
        fn();
        return;
    }
    auto done = std::make_shared<DispatchSemaphore>(0);
    auto failure = std::make_shared<std::exception_ptr>();
    main_queue::post([fn, done, failure] {
        try {
            fn();
        } catch (...) { *failure = std::current_exception(); }
        done->signal();
    });
    done->wait();
    if (*failure) std::rethrow_exception(*failure);
}

HAPProcessTask::HAPProcessTask() = default;

HAPProcessTask::~HAPProcessTask() {
    // The run uses the contexts: it ends before they go (unless this is the run itself
    // dropping the last reference, past its last use of them).
    if (std::this_thread::get_id() != worker_id_.load()) {
        stop_process();
        wait_end();
    }
    if (hap_preprocess_) {
        hap_preprocess_free(hap_preprocess_);
        delete hap_preprocess_;
        hap_preprocess_ = nullptr;
    }
    if (hap_process_) {
        free_hap_standalone_process(hap_process_);
        delete hap_process_;
        hap_process_ = nullptr;
    }
}

std::shared_ptr<HAPProcessTask> HAPProcessTask::init_with_rq_task(const RqTaskRef &rq_task) {
    auto t = std::make_shared<HAPProcessTask>();
    t->init_base_process_task();
    t->rq_task_ = rq_task;
    if (!rq_task) {
        t->setError(std::string("No task"));
        return t;
    }
    t->setUuid(rq_task->uuid);
    t->need_preprocess_.store(rq_task->is_need_preprocess_analyse());
    t->setArr_step_to_str(
        {"Unknown", "AudioAnalyse", "VideoAnalyse", "VideoProcessing", "VideoProcessing2", "AudioProcessing"});
    if (!rq_task->reload_medias()) {
        zlog("Fail to reload medias before processing");
        t->setError(rq_task->error);
    } else if (!rq_task->create_target_folder()) {
        zlog("Fail to create target folder");
        t->setError(rq_task->error);
    }
    return t;
}

std::optional<std::string> HAPProcessTask::error() const {
    std::lock_guard<std::mutex> g(error_mutex_);
    return error_;
}

void HAPProcessTask::setError(const std::optional<std::string> &e) {
    std::lock_guard<std::mutex> g(error_mutex_);
    error_ = e;
}

void HAPProcessTask::core_process_func() {
    worker_id_.store(std::this_thread::get_id());
    try {
        if (need_preprocess()) {
            if (_build_preprocess()) {
                zlog("Preprocessing build failed");
                setHave_error_processing(true);
                add_str_to_log("Fatal error : " + error().value_or("Unknown"));
                set_end_state_with_error_and_warning(true, false);
                return;
            }
            _process_preprocess();
            if (have_error_processing()) {
                zlog("Error during preprocess");
                set_end_state_with_error_and_warning(have_error_processing(), have_warning_processing());
                return;
            }
            update_task_with_analyse_results();
        }
        const uint64_t request = get_request_state();
        if (request == RqTaskState_Cancel || request == RqTaskState_CancelDelete) {
            set_new_state(RqTaskState_Cancel);
            setIs_process_cancel(true);
            set_end_state_with_error_and_warning(have_error_processing(), have_warning_processing());
            return;
        }
        if (is_process_cancel()) {
            zlog("Cancel analyse, no need main processing");
            set_end_state_with_error_and_warning(have_error_processing(), have_warning_processing());
            return;
        }
        if (_build_main_processing()) {
            zlog("Preprocessing build failed");
            set_end_state_with_error_and_warning(true, false);
            return;
        }
        _process_main();
    } catch (...) {
        // The passes catch their own failures; this keeps the run from ending without a state.
        zlog("Unexpected failure in the conversion task");
        setHave_error_processing(true);
        add_str_to_log("Fatal error : Unknown");
        if (is_bg_process_running()) set_end_state_with_error_and_warning(true, have_warning_processing());
    }
}

void HAPProcessTask::log_video_error_warning_processing_for_nb_frames(uint32_t first, uint32_t n) {
    HapStandaloneProcess *ctx = hap_process_;
    if (n == 0 || !ctx) return;
    for (uint32_t s = first; s < first + n; ++s) {
        if (s >= ctx->nb_slots || !ctx->slots || s >= ctx->nb_workers || !ctx->workers) {
            zlog("Invalid slot for the frame log : %u", s);
            return;
        }
        VideoGraphTree *graph = ctx->slots[s].graph;
        bool has_index = false;
        uint32_t index = 0;
        const char *message = nullptr;
        bool has_message = false;
        if (graph) {
            index = video_graph_tree_get_input_frame_index(graph, &has_index);
            has_message = video_graph_tree_get_message(graph, &message);
        }
        if (has_message) {
            if (!message) {
                printf("ERREUR : Warning null but found\n");
            } else {
                char line[4096];
                if (has_index)
                    snprintf(line, sizeof(line), "WARNING Processing video : frame %llu : %s",
                             static_cast<unsigned long long>(index), message);
                else
                    snprintf(line, sizeof(line), "WARNING Processing video :: %s", message);
                add_str_to_log(line);
            }
            setHave_warning_processing(true);
        }
        const ZThread *worker = &ctx->workers[s];
        if (zthread_has_error(worker)) {
            const char *text = nullptr;
            if (!zthread_get_error(worker, &text) || !text) {
                printf("ERREUR : Error null but found\n");
            } else {
                char line[4096];
                if (has_index)
                    snprintf(line, sizeof(line), "ERROR Processing video : frame %llu : %s",
                             static_cast<unsigned long long>(index), text);
                else
                    snprintf(line, sizeof(line), "ERROR Processing video :: %s", text);
                add_str_to_log(line);
            }
            setHave_error_processing(true);
            return;
        }
    }
}
