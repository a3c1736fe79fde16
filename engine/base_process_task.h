#pragma once
// Base of every piece of background work: runs core_process_func once on the global
// queue and owns what the rest of the system sees of it while it runs: state and
// requested state, current step and its progress, elapsed time and log lines. Reports
// them to a delegate on the main thread (progress and logs coalesced by two delayed
// actions), or, in command-line mode, prints steps and whole percents on standard output.
//
// Create through a subclass's factory, then call init_base_process_task() once the
// object is owned by a shared pointer. The owner keeps the task alive while it runs;
// destruction stops the run and waits for it. A subclass whose core_process_func uses
// its own members calls stop_process() in its own destructor.
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "media/delay_action.h"
#include "model/queue/progress_task_info.h"
#include "model/queue/rq_task_state.h"
#include "platform/core/dispatch.h"

enum ProcessTaskStep : uint32_t {
    ProcessTaskStep_Unknown = 0,
    ProcessTaskStep_AudioAnalyse = 1,
    ProcessTaskStep_VideoAnalyse = 2,
    ProcessTaskStep_VideoProcessing = 3,
    ProcessTaskStep_VideoProcessing2 = 4,
    ProcessTaskStep_AudioProcessing = 5,
};

// Receiver of a task's messages, called on the main thread; the task is named by its uuid.
class ProcessTaskMsgSendDelegate {
public:
    virtual ~ProcessTaskMsgSendDelegate() = default;
    virtual void processTask_update_state_for_sender(uint64_t state, const std::string &uuid) = 0;
    virtual void processTask_update_progress_for_sender(const ProgressTaskInfo &info, const std::string &uuid) = 0;
    virtual void processTask_have_new_logs_for_sender(const std::vector<std::string> &lines,
                                                      const std::string &uuid) = 0;
};

class BaseProcessTask : public DelayActionDelegate, public std::enable_shared_from_this<BaseProcessTask> {
public:
    BaseProcessTask();
    ~BaseProcessTask() override;
    BaseProcessTask(const BaseProcessTask &) = delete;
    BaseProcessTask &operator=(const BaseProcessTask &) = delete;

    // Makes the two delayed actions and becomes their delegate.
    void init_base_process_task();

    // --- Controller side ---
    void set_as_cmd_rendering() { ui_rendering_ = false; }
    bool ui_rendering() const { return ui_rendering_; }
    void setDelegateTask(const std::weak_ptr<ProcessTaskMsgSendDelegate> &delegate);
    std::shared_ptr<ProcessTaskMsgSendDelegate> delegateTask() const;
    // Starts the run on the global queue; returns at once.
    void start_process();
    // Cancels the run and waits for its end; on the main thread the main queue keeps running.
    void stop_process();
    // Waits for the end of the run.
    void wait_end();

    void ask_pause_state() { ask_state(RqTaskState_Pause); }
    void ask_progress_state() { ask_state(RqTaskState_Progress); }
    void ask_cancel_state() { ask_state(RqTaskState_Cancel); }
    void ask_cancel_delete_state() { ask_state(RqTaskState_CancelDelete); }

    uint64_t get_request_state() const;
    uint64_t current_state() const;
    bool is_running() const;
    bool is_bg_process_running() const { return is_bg_process_running_.load(); }
    bool ask_stop() const { return ask_stop_.load(); }
    ProgressTaskInfo get_ui_info() const;
    ProgressTaskInfo get_end_ui_info() const;
    // Lines added since the previous call.
    std::vector<std::string> get_last_log_line();
    std::vector<std::string> get_log_line_from(uint64_t index) const;
    std::string get_step_str(uint32_t step) const;

    std::string uuid() const;
    void setUuid(const std::string &uuid);
    uint32_t step() const { return step_.load(); }
    float percent_f() const;
    uint32_t prev_precent() const { return prev_precent_.load(); }
    const std::vector<std::string> &arr_step_to_str() const { return arr_step_to_str_; }
    void setArr_step_to_str(std::vector<std::string> names) { arr_step_to_str_ = std::move(names); }

    // --- Worker side ---
    virtual void core_process_func();
    void set_new_state(uint64_t state);
    void start_new_step(uint32_t step);
    void setDuration_f_process(uint64_t units) { duration_f_process_.store(units); }
    void set_duration_process(uint64_t units) { setDuration_f_process(units); }
    uint64_t duration_f_process() const { return duration_f_process_.load(); }
    void update_progress_from_process_frames(uint64_t done);
    void update_progress_from_percent(float fraction);
    // Blocks while the task is paused (the worker has set state 3).
    void pause_loop();
    void end_step();
    // A null line is refused.
    void add_str_to_log(const char *line);
    void add_str_to_log(const std::string &line) { add_str_to_log(line.c_str()); }
    void add_str_array_to_log(const std::vector<std::string> &lines);
    void setGlobal_process_duration_frames(uint64_t frames);
    void setGlobal_process_real_nb_frames_process(uint64_t frames);
    uint64_t global_process_duration_frames() const;
    uint64_t global_process_real_nb_frames_process() const;
    // The last call of every run.
    void set_end_state_with_error_and_warning(bool error, bool warning);

    // --- Delayed deliveries (main thread) ---
    void DelayAction_StartFunc(uint64_t tag) override;
    void act_delay_update_progress();
    void act_end_update_progress();
    void act_delay_update_logs();

private:
    void ask_state(uint64_t state);
    void set_new_step(uint32_t step);
    void update_prev_time_step();
    void update_start_time_step();
    double get_elapsed_time_since_locked() const;
    ProgressTaskInfo get_ui_info_locked() const;
    void post_to_delegate(std::function<void(ProcessTaskMsgSendDelegate &, const std::string &)> message,
                          bool only_ui_rendering = false);

    std::atomic<bool> ui_rendering_{true};
    std::atomic<bool> ask_stop_{false};
    std::atomic<bool> is_bg_process_running_{false};
    std::atomic<uint32_t> prev_precent_{0xFFFFFFFFu};
    std::atomic<uint32_t> step_{0};
    std::atomic<uint64_t> duration_f_process_{0};
    std::vector<std::string> arr_step_to_str_;

    mutable std::mutex uuid_mutex_;
    std::string uuid_;
    mutable std::mutex delegate_mutex_;
    std::weak_ptr<ProcessTaskMsgSendDelegate> delegate_;

    // Guarded by lock_base_params_.
    mutable std::mutex lock_base_params_;
    float percent_f_ = 0.0f;
    uint64_t current_state_ = RqTaskState_Queue;
    uint64_t request_state_ = RqTaskState_Queue;
    double prev_steps_elapsed_time_sec_ = 0.0;
    double prev_elapsed_step_time_sec_ = 0.0;
    std::optional<std::chrono::steady_clock::time_point> start_process_date_;
    uint64_t global_process_duration_frames_ = 0;
    uint64_t global_process_real_nb_frames_process_ = 0;
    std::vector<std::string> array_logs_;
    uint64_t last_index_call_logs_ = 0;

    std::unique_ptr<DispatchGroup> bg_gcd_group_;
    std::atomic<std::thread::id> worker_thread_{};
    std::shared_ptr<DelayAction> delay_update_progress_;
    std::shared_ptr<DelayAction> delay_update_logs_;
};
