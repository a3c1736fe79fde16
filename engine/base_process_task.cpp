#include "engine/base_process_task.h"

#include <cmath>
#include <cstdio>
#include <thread>

#include "platform/core/log.h"
#include "platform/core/main_queue.h"
#include "platform/foundation/uuid.h"

namespace {

constexpr uint64_t kDelayProgressTag = 1;
constexpr uint64_t kDelayLogsTag = 2;

bool is_ended_or_cancel_request(uint64_t state) {
    return state == RqTaskState_Cancel || state == RqTaskState_CancelDelete;
}

}  // namespace

BaseProcessTask::BaseProcessTask() : uuid_(uuid_random_text()) {}

BaseProcessTask::~BaseProcessTask() {
    if (delay_update_logs_) delay_update_logs_->stop();
    if (delay_update_progress_) delay_update_progress_->stop();
    stop_process();
    // A run that has reported its end may still be returning from its job; wait for it,
    // unless this is that job dropping the last reference.
    if (bg_gcd_group_ && std::this_thread::get_id() != worker_thread_.load()) bg_gcd_group_->wait();
}

void BaseProcessTask::init_base_process_task() {
    delay_update_progress_ = DelayAction::init_with_delay_and_tag(0.5, kDelayProgressTag);
    delay_update_logs_ = DelayAction::init_with_delay_and_tag(1.0, kDelayLogsTag);
    delay_update_progress_->setDelegateObj(weak_from_this());
    delay_update_logs_->setDelegateObj(weak_from_this());
}

void BaseProcessTask::setDelegateTask(const std::weak_ptr<ProcessTaskMsgSendDelegate> &delegate) {
    std::lock_guard<std::mutex> g(delegate_mutex_);
    delegate_ = delegate;
}

std::shared_ptr<ProcessTaskMsgSendDelegate> BaseProcessTask::delegateTask() const {
    std::lock_guard<std::mutex> g(delegate_mutex_);
    return delegate_.lock();
}

std::string BaseProcessTask::uuid() const {
    std::lock_guard<std::mutex> g(uuid_mutex_);
    return uuid_;
}

void BaseProcessTask::setUuid(const std::string &uuid) {
    std::lock_guard<std::mutex> g(uuid_mutex_);
    uuid_ = uuid;
}

// Queued on the main queue; the message keeps the task alive and reads the delegate on
// delivery, so a delegate that has gone receives nothing.
void BaseProcessTask::post_to_delegate(std::function<void(ProcessTaskMsgSendDelegate &, const std::string &)> message,
                                       bool only_ui_rendering) {
    if (!delegateTask()) return;
    std::shared_ptr<BaseProcessTask> self = shared_from_this();
    main_queue::post([self, message = std::move(message), only_ui_rendering] {
        if (only_ui_rendering && !self->ui_rendering()) return;
        std::shared_ptr<ProcessTaskMsgSendDelegate> delegate = self->delegateTask();
        if (delegate) message(*delegate, self->uuid());
    });
}

// --- Run --------------------------------------------------------------------------------

void BaseProcessTask::start_process() {
    stop_process();
    bg_gcd_group_ = std::make_unique<DispatchGroup>();
    is_bg_process_running_.store(true);
    set_new_state(RqTaskState_Progress);
    bg_gcd_group_->async([this] {
        worker_thread_.store(std::this_thread::get_id());
        core_process_func();
    });
}

void BaseProcessTask::stop_process() {
    if (!is_bg_process_running_.load()) return;
    {
        std::lock_guard<std::mutex> g(lock_base_params_);
        ask_stop_.store(true);
        request_state_ = RqTaskState_Cancel;
    }
    wait_end();
    std::lock_guard<std::mutex> g(lock_base_params_);
    // A run that ended on its own before the request was seen keeps its end state.
    if (current_state_ != RqTaskState_Succes && current_state_ != RqTaskState_EndWarning &&
        current_state_ != RqTaskState_EndError)
        current_state_ = RqTaskState_Cancel;
}

void BaseProcessTask::wait_end() {
    if (bg_gcd_group_) {
        // The worker may wait for work queued on the main thread: keep serving it.
        if (main_queue::is_main_thread()) {
            while (!bg_gcd_group_->wait_for(0.0)) main_queue::run_for(0.05);
        } else {
            bg_gcd_group_->wait();
        }
    }
    is_bg_process_running_.store(false);
}

void BaseProcessTask::core_process_func() { zlog("Warning : process from parent obj"); }

// --- States and requests ----------------------------------------------------------------

void BaseProcessTask::ask_state(uint64_t state) {
    if (ask_stop_.load()) return;
    std::lock_guard<std::mutex> g(lock_base_params_);
    request_state_ = state;
}

uint64_t BaseProcessTask::get_request_state() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return request_state_;
}

uint64_t BaseProcessTask::current_state() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return current_state_;
}

bool BaseProcessTask::is_running() const {
    uint64_t request, current;
    {
        std::lock_guard<std::mutex> g(lock_base_params_);
        request = request_state_;
        current = current_state_;
    }
    auto running = [](uint64_t s) { return s == RqTaskState_Progress || s == RqTaskState_Pause; };
    if (running(request) || running(current)) return true;
    if (is_bg_process_running_.load()) zlog("ERREUR : BG process running no pause or progress");
    return false;
}

void BaseProcessTask::set_new_state(uint64_t state) {
    {
        std::lock_guard<std::mutex> g(lock_base_params_);
        current_state_ = state;
        request_state_ = ask_stop_.load() ? uint64_t(RqTaskState_Cancel) : state;
    }
    post_to_delegate([state](ProcessTaskMsgSendDelegate &d, const std::string &uuid) {
        d.processTask_update_state_for_sender(state, uuid);
    });
}

void BaseProcessTask::pause_loop() {
    update_prev_time_step();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (ask_stop_.load()) return;
        const uint64_t request = get_request_state();
        if (request == RqTaskState_Pause) continue;
        if (is_ended_or_cancel_request(request)) {
            set_new_state(request);
            return;
        }
        set_new_state(RqTaskState_Progress);
        update_start_time_step();
        return;
    }
}

// --- Steps and time ---------------------------------------------------------------------

std::string BaseProcessTask::get_step_str(uint32_t step) const {
    if (step < arr_step_to_str_.size()) return arr_step_to_str_[step];
    zlog("Unknown step : %u", step);
    return "Step " + std::to_string(step);
}

float BaseProcessTask::percent_f() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return percent_f_;
}

void BaseProcessTask::set_new_step(uint32_t step) {
    step_.store(step);
    if (!ui_rendering_.load()) {
        printf("INFO : Start step : %s\n", get_step_str(step).c_str());
        printf("PROGRESS : 0 %s\n", "%");
        fflush(stdout);
        prev_precent_.store(0);
    }
    if (delay_update_progress_) delay_update_progress_->start();
}

void BaseProcessTask::start_new_step(uint32_t step) {
    set_new_step(step);
    update_start_time_step();
    std::lock_guard<std::mutex> g(lock_base_params_);
    percent_f_ = 0.0f;
    prev_elapsed_step_time_sec_ = 0.0;
}

void BaseProcessTask::update_prev_time_step() {
    std::lock_guard<std::mutex> g(lock_base_params_);
    prev_elapsed_step_time_sec_ += get_elapsed_time_since_locked();
    start_process_date_.reset();
}

void BaseProcessTask::update_start_time_step() {
    std::lock_guard<std::mutex> g(lock_base_params_);
    start_process_date_ = std::chrono::steady_clock::now();
}

void BaseProcessTask::end_step() {
    std::lock_guard<std::mutex> g(lock_base_params_);
    prev_steps_elapsed_time_sec_ += get_elapsed_time_since_locked();
    prev_elapsed_step_time_sec_ = 0.0;
    start_process_date_.reset();
}

double BaseProcessTask::get_elapsed_time_since_locked() const {
    if (!start_process_date_) return 0.0;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - *start_process_date_).count();
    return s > 0.0 ? s : 0.0;
}

ProgressTaskInfo BaseProcessTask::get_ui_info_locked() const {
    const float fraction = percent_f_;
    const double prev_steps = prev_steps_elapsed_time_sec_;
    double step_time = prev_elapsed_step_time_sec_;
    if (current_state_ == RqTaskState_Progress) step_time += get_elapsed_time_since_locked();
    ProgressTaskInfo info;
    info.setStep(step_.load());
    info.set_percent(fraction);
    info.set_time_str_from_elapsed_and_percent_and_prev_step_time(step_time, fraction, float(prev_steps));
    info.set_fps_render_from_duration_and_percent_and_elapsed_time(duration_f_process_.load(), fraction, step_time);
    return info;
}

ProgressTaskInfo BaseProcessTask::get_ui_info() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return get_ui_info_locked();
}

ProgressTaskInfo BaseProcessTask::get_end_ui_info() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    const uint64_t total = global_process_duration_frames_;
    const uint64_t processed = global_process_real_nb_frames_process_;
    const double prev_steps = prev_steps_elapsed_time_sec_;
    if (total != 0 && prev_steps != 0.0) {
        ProgressTaskInfo info;
        info.set_end_values_from_total_dur_and_real_process_f_and_total_time(total, processed, prev_steps);
        return info;
    }
    return get_ui_info_locked();
}

void BaseProcessTask::setGlobal_process_duration_frames(uint64_t frames) {
    std::lock_guard<std::mutex> g(lock_base_params_);
    global_process_duration_frames_ = frames;
}

void BaseProcessTask::setGlobal_process_real_nb_frames_process(uint64_t frames) {
    std::lock_guard<std::mutex> g(lock_base_params_);
    global_process_real_nb_frames_process_ = frames;
}

uint64_t BaseProcessTask::global_process_duration_frames() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return global_process_duration_frames_;
}

uint64_t BaseProcessTask::global_process_real_nb_frames_process() const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    return global_process_real_nb_frames_process_;
}

// --- Progress ---------------------------------------------------------------------------

void BaseProcessTask::update_progress_from_process_frames(uint64_t done) {
    const uint64_t units = duration_f_process_.load();
    if (units == 0) {
        zlog("Error: update progress without frame duration");
        return;
    }
    update_progress_from_percent(done == 0 ? 0.0f : float(done) / float(units));
}

void BaseProcessTask::update_progress_from_percent(float fraction) {
    if (ui_rendering_.load()) {
        {
            std::lock_guard<std::mutex> g(lock_base_params_);
            percent_f_ = fraction;
        }
        if (delay_update_progress_) delay_update_progress_->start();
        return;
    }
    // Whole percents below 100; 100 is printed by the end of the run only.
    const float rounded = std::round(fraction * 100.0f);
    const uint32_t p = rounded >= 0.0f && rounded < 99.0f ? uint32_t(rounded) : 99u;
    if (p == prev_precent_.load()) return;
    prev_precent_.store(p);
    printf("PROGRESS : %u %s\n", p, "%");
    fflush(stdout);
}

void BaseProcessTask::DelayAction_StartFunc(uint64_t tag) {
    if (tag == kDelayProgressTag) {
        act_delay_update_progress();
    } else if (tag == kDelayLogsTag) {
        act_delay_update_logs();
    } else {
        zlog("Unknown delay action tag : %lu", static_cast<unsigned long>(tag));
    }
}

void BaseProcessTask::act_delay_update_progress() {
    if (!delegateTask()) return;
    const ProgressTaskInfo info = get_ui_info();
    post_to_delegate([info](ProcessTaskMsgSendDelegate &d, const std::string &uuid) {
        d.processTask_update_progress_for_sender(info, uuid);
    });
}

void BaseProcessTask::act_end_update_progress() {
    if (!delegateTask()) return;
    const ProgressTaskInfo info = get_end_ui_info();
    post_to_delegate([info](ProcessTaskMsgSendDelegate &d,
                            const std::string &uuid) { d.processTask_update_progress_for_sender(info, uuid); },
                     true);
}

// --- Logs -------------------------------------------------------------------------------

void BaseProcessTask::add_str_to_log(const char *line) {
    if (!line) {
        zlog("Nil log line");
        return;
    }
    {
        std::lock_guard<std::mutex> g(lock_base_params_);
        array_logs_.emplace_back(line);
    }
    if (delay_update_logs_) delay_update_logs_->start();
}

void BaseProcessTask::add_str_array_to_log(const std::vector<std::string> &lines) {
    if (lines.empty()) return;
    {
        std::lock_guard<std::mutex> g(lock_base_params_);
        array_logs_.insert(array_logs_.end(), lines.begin(), lines.end());
    }
    if (delay_update_logs_) delay_update_logs_->start();
}

std::vector<std::string> BaseProcessTask::get_last_log_line() {
    std::lock_guard<std::mutex> g(lock_base_params_);
    if (array_logs_.empty()) {
        last_index_call_logs_ = 0;
        return {};
    }
    std::vector<std::string> lines;
    if (last_index_call_logs_ < array_logs_.size()) {
        lines.assign(array_logs_.begin() + ptrdiff_t(last_index_call_logs_), array_logs_.end());
    }
    last_index_call_logs_ = array_logs_.size();
    return lines;
}

std::vector<std::string> BaseProcessTask::get_log_line_from(uint64_t index) const {
    std::lock_guard<std::mutex> g(lock_base_params_);
    if (index >= array_logs_.size()) return {};
    return std::vector<std::string>(array_logs_.begin() + ptrdiff_t(index), array_logs_.end());
}

void BaseProcessTask::act_delay_update_logs() {
    if (!delegateTask()) return;
    std::vector<std::string> lines = get_last_log_line();
    if (lines.empty()) return;
    post_to_delegate([lines = std::move(lines)](ProcessTaskMsgSendDelegate &d, const std::string &uuid) {
        d.processTask_have_new_logs_for_sender(lines, uuid);
    });
}

// --- End --------------------------------------------------------------------------------

void BaseProcessTask::set_end_state_with_error_and_warning(bool error, bool warning) {
    end_step();
    if (delay_update_logs_) delay_update_logs_->stop();
    if (delay_update_progress_) delay_update_progress_->stop();
    const uint64_t state = current_state();
    if (state == RqTaskState_Progress) {
        if (error) {
            set_new_state(RqTaskState_EndError);
        } else {
            setGlobal_process_real_nb_frames_process(global_process_duration_frames());
            set_new_state(warning ? RqTaskState_EndWarning : RqTaskState_Succes);
        }
    } else if (!is_ended_or_cancel_request(state)) {
        zlog("ERROR : Invalid end state : %lu", static_cast<unsigned long>(state));
    }
    act_delay_update_logs();
    act_end_update_progress();
    if (!ui_rendering_.load()) {
        printf("PROGRESS : 100 %s\n", "%");
        fflush(stdout);
        prev_precent_.store(100);
    }
    is_bg_process_running_.store(false);
}
