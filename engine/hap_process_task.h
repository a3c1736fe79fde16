#pragma once
// The background task that converts one render-queue task into its output files: the
// analysis pass when the settings need one, then the main pass. Its outcome comes from
// two flags the passes raise: error (state 8) and warning (state 7).
//
// Made by init_with_rq_task on the controller's thread; a task whose `error` is set
// there is discarded without being started.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/base_process_task.h"
#include "model/queue/rq_task.h"

struct HapStandaloneProcess;
struct HapStandalonePreProcess;

class HAPProcessTask : public BaseProcessTask {
public:
    // Reloads the sources and creates the output folders; a failure is kept in error().
    static std::shared_ptr<HAPProcessTask> init_with_rq_task(const RqTaskRef &rq_task);
    HAPProcessTask();
    ~HAPProcessTask() override;

    std::optional<std::string> error() const;
    void setError(const std::optional<std::string> &e);
    const RqTaskRef &rq_task() const { return rq_task_; }
    void setRq_task(const RqTaskRef &t) { rq_task_ = t; }
    HapStandalonePreProcess *hap_preprocess() const { return hap_preprocess_; }
    void setHap_preprocess(HapStandalonePreProcess *p) { hap_preprocess_ = p; }
    HapStandaloneProcess *hap_process() const { return hap_process_; }
    void setHap_process(HapStandaloneProcess *p) { hap_process_ = p; }
    bool have_error_processing() const { return have_error_processing_.load(); }
    void setHave_error_processing(bool v) { have_error_processing_.store(v); }
    bool have_warning_processing() const { return have_warning_processing_.load(); }
    void setHave_warning_processing(bool v) { have_warning_processing_.store(v); }
    bool need_preprocess() const { return need_preprocess_.load(); }
    void setNeed_preprocess(bool v) { need_preprocess_.store(v); }
    bool is_process_cancel() const { return is_process_cancel_.load(); }
    void setIs_process_cancel(bool v) { is_process_cancel_.store(v); }

    // The work of the run, on the worker.
    void core_process_func() override;

    // Log lines and flags from the messages and failures of slots first .. first + n - 1
    // of the main pass; stops at the first failed slot.
    void log_video_error_warning_processing_for_nb_frames(uint32_t first, uint32_t n);

    // Analysis pass. True when the build failed, with error() set.
    bool _build_preprocess();
    void _set_preprocess_data();
    void _process_preprocess();
    void update_task_with_analyse_results();

    // Main pass. True when the build failed, with error() set; the error flag is raised
    // and "Fatal error : ..." logged too.
    bool _build_main_processing();
    // Fills hap_process() from the task; throws std::runtime_error with the reason.
    // Reads the task model, so it runs on the main thread (see _build_main_processing).
    void _set_process_data(RqTask &task);
    // Runs the frame loop and the audio stage and ends the run.
    void _process_main();

private:
    mutable std::mutex error_mutex_;
    std::optional<std::string> error_;
    RqTaskRef rq_task_;
    HapStandalonePreProcess *hap_preprocess_ = nullptr;
    HapStandaloneProcess *hap_process_ = nullptr;
    std::atomic<bool> have_error_processing_{false};
    std::atomic<bool> have_warning_processing_{false};
    std::atomic<bool> need_preprocess_{false};
    std::atomic<bool> is_process_cancel_{false};
    std::atomic<std::thread::id> worker_id_{};
};

// Runs fn on the main thread and waits for it; the calling thread's own exception
// handling sees what fn throws. Called on the main thread, it just runs fn.
void run_on_main_queue_and_wait(const std::function<void()> &fn);
