#include "engine/base_process_task.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/main_queue.h"
#include "testutil/testutil.h"

namespace {

// Records every message with its kind, in delivery order.
struct Recorder : ProcessTaskMsgSendDelegate {
    std::vector<std::string> events;
    std::vector<uint64_t> states;
    std::vector<std::vector<std::string>> log_messages;
    std::vector<ProgressTaskInfo> progress;
    void processTask_update_state_for_sender(uint64_t state, const std::string &) override {
        events.push_back("state " + std::to_string(state));
        states.push_back(state);
    }
    void processTask_update_progress_for_sender(const ProgressTaskInfo &info, const std::string &) override {
        events.push_back("progress");
        progress.push_back(info);
    }
    void processTask_have_new_logs_for_sender(const std::vector<std::string> &lines, const std::string &) override {
        events.push_back("logs");
        log_messages.push_back(lines);
    }
};

// A worker that runs `units` units of one step, checking the request after each one the
// way the passes do, and logging one line per unit.
class ScriptedTask : public BaseProcessTask {
public:
    static std::shared_ptr<ScriptedTask> create(uint64_t units, double unit_seconds) {
        auto t = std::make_shared<ScriptedTask>(units, unit_seconds);
        t->init_base_process_task();
        t->setArr_step_to_str(
            {"Unknown", "AudioAnalyse", "VideoAnalyse", "VideoProcessing", "VideoProcessing2", "AudioProcessing"});
        return t;
    }
    ScriptedTask(uint64_t units, double unit_seconds) : units_(units), unit_seconds_(unit_seconds) {}
    ~ScriptedTask() override { stop_process(); }

    void core_process_func() override {
        start_new_step(ProcessTaskStep_VideoProcessing);
        setDuration_f_process(units_);
        setGlobal_process_duration_frames(units_);
        for (uint64_t i = 0; i < units_; ++i) {
            usleep(useconds_t(unit_seconds_ * 1e6));
            add_str_to_log("unit " + std::to_string(i));
            update_progress_from_process_frames(i + 1);
            const uint64_t request = get_request_state();
            if (request == RqTaskState_Pause) {
                set_new_state(RqTaskState_Pause);
                pause_loop();
            } else if (request == RqTaskState_Cancel || request == RqTaskState_CancelDelete) {
                set_new_state(RqTaskState_Cancel);
                break;
            }
            if (stop_after_ >= 0 && int64_t(i) >= stop_after_) break;
        }
        end_step();
        set_end_state_with_error_and_warning(fail_, warn_);
    }

    bool fail_ = false, warn_ = false;
    int64_t stop_after_ = -1;

private:
    uint64_t units_;
    double unit_seconds_;
};

bool run_main_queue_until(const std::function<bool()> &done, double seconds = 20.0) {
    return main_queue::run_until(done, seconds);
}

TEST(BaseProcessTask, DelegateGetsCoalescedLogsAndProgressThenStateLogsProgressAtTheEnd) {
    main_queue::bind_to_current_thread();
    auto recorder = std::make_shared<Recorder>();
    auto task = ScriptedTask::create(10, 0.05);  // ten lines within about half a second
    task->setDelegateTask(recorder);
    const auto t0 = std::chrono::steady_clock::now();
    task->start_process();
    ASSERT_TRUE(run_main_queue_until([&] { return !task->is_bg_process_running(); }));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    main_queue::run_for(0.2);

    // Ended state, then the last lines, then the final progress.
    ASSERT_GE(recorder->events.size(), 4u);
    EXPECT_EQ(recorder->events.front(), "state 2");
    const size_t n = recorder->events.size();
    EXPECT_EQ(recorder->events[n - 3], "state 6");
    EXPECT_EQ(recorder->events[n - 2], "logs");
    EXPECT_EQ(recorder->events[n - 1], "progress");
    // Every line exactly once, in order; lines within one second come as one list.
    std::vector<std::string> all;
    for (const auto &m : recorder->log_messages) all.insert(all.end(), m.begin(), m.end());
    ASSERT_EQ(all.size(), 10u);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], "unit " + std::to_string(i));
    // Lines are coalesced over one second and progress over half a second, plus the
    // final deliveries (one list when the run took under a second).
    EXPECT_LE(double(recorder->log_messages.size()), 1.0 + seconds / 1.0);
    EXPECT_LE(double(recorder->progress.size()), 2.0 + seconds / 0.5);
    EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Succes));
    EXPECT_EQ(task->global_process_real_nb_frames_process(), 10u);
    EXPECT_EQ(task->get_log_line_from(8), (std::vector<std::string>{"unit 8", "unit 9"}));
}

TEST(BaseProcessTask, EndStatesFromTheFlags) {
    main_queue::bind_to_current_thread();
    const struct {
        bool fail, warn;
        uint64_t state;
    } cases[] = {
        {false, false, RqTaskState_Succes}, {false, true, RqTaskState_EndWarning}, {true, true, RqTaskState_EndError}};
    for (const auto &c : cases) {
        auto task = ScriptedTask::create(2, 0.0);
        task->fail_ = c.fail;
        task->warn_ = c.warn;
        task->start_process();
        ASSERT_TRUE(run_main_queue_until([&] { return !task->is_bg_process_running(); }));
        EXPECT_EQ(task->current_state(), c.state);
        EXPECT_FALSE(task->is_running());
    }
}

TEST(BaseProcessTask, PauseResumeAndCancelWhilePaused) {
    main_queue::bind_to_current_thread();
    auto recorder = std::make_shared<Recorder>();
    auto task = ScriptedTask::create(100000, 0.002);
    task->setDelegateTask(recorder);
    task->start_process();
    task->ask_pause_state();
    EXPECT_TRUE(task->is_running());  // a pause asked counts as running at once
    ASSERT_TRUE(run_main_queue_until([&] { return task->current_state() == RqTaskState_Pause; }));
    task->ask_progress_state();
    ASSERT_TRUE(run_main_queue_until([&] { return task->current_state() == RqTaskState_Progress; }));
    task->ask_pause_state();
    ASSERT_TRUE(run_main_queue_until([&] { return task->current_state() == RqTaskState_Pause; }));
    task->ask_cancel_delete_state();
    ASSERT_TRUE(run_main_queue_until([&] { return !task->is_bg_process_running(); }));
    main_queue::run_for(0.1);
    EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Cancel));
    // 2, 3, 2, 3, then 5 from the pause loop and 4 at the worker's check.
    EXPECT_EQ(recorder->states, (std::vector<uint64_t>{2, 3, 2, 3, 5, 4}));
}

TEST(BaseProcessTask, StopBeforeStartAfterStopAndGoneDelegate) {
    main_queue::bind_to_current_thread();
    {
        auto recorder = std::make_shared<Recorder>();
        auto task = ScriptedTask::create(3, 0.0);
        task->setDelegateTask(recorder);
        task->stop_process();  // never started: nothing
        main_queue::run_for(0.05);
        EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Queue));
        EXPECT_TRUE(recorder->events.empty());
    }
    {
        auto task = ScriptedTask::create(100000, 0.002);
        task->start_process();
        usleep(20000);
        task->stop_process();
        EXPECT_FALSE(task->is_bg_process_running());
        EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Cancel));
        task->ask_progress_state();  // ignored once stopped
        EXPECT_EQ(task->get_request_state(), uint64_t(RqTaskState_Cancel));
        // A new start is cancelled at the worker's first check.
        task->start_process();
        ASSERT_TRUE(run_main_queue_until([&] { return !task->is_bg_process_running(); }));
        EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Cancel));
    }
    {
        auto recorder = std::make_shared<Recorder>();
        auto task = ScriptedTask::create(3, 0.0);
        task->setDelegateTask(recorder);
        task->start_process();
        const std::weak_ptr<Recorder> weak = recorder;
        recorder.reset();  // the delegate goes before anything is delivered
        ASSERT_TRUE(run_main_queue_until([&] { return !task->is_bg_process_running(); }));
        main_queue::run_for(0.1);
        EXPECT_TRUE(weak.expired());
    }
}

TEST(BaseProcessTask, EndWhilePausedKeepsTheState) {
    main_queue::bind_to_current_thread();
    auto task = ScriptedTask::create(0, 0.0);
    task->set_new_state(RqTaskState_Pause);
    task->set_end_state_with_error_and_warning(false, false);
    EXPECT_EQ(task->current_state(), uint64_t(RqTaskState_Pause));
}

// Command-line mode prints the step, whole percents that never repeat and stay below
// 100, then 100 at the end.
TEST(BaseProcessTask, CommandLineProgressLines) {
    main_queue::bind_to_current_thread();
    testutil::TempDir dir;
    const std::string path = dir.file("out.txt");
    fflush(stdout);
    const int saved = dup(1);
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    dup2(fileno(f), 1);
    {
        auto task = ScriptedTask::create(1000, 0.0);
        task->set_as_cmd_rendering();
        task->start_process();
        task->wait_end();
        task->update_progress_from_process_frames(0);  // after the end: the 0 line again
    }
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    fclose(f);
    const std::vector<uint8_t> bytes = testutil::read_file(path);
    const std::string out(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(out.substr(start, nl - start));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "INFO : Start step : VideoProcessing");
    EXPECT_EQ(lines[1], "PROGRESS : 0 %");
    int prev = 0;
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        int p = -1;
        ASSERT_EQ(sscanf(lines[i].c_str(), "PROGRESS : %d %%", &p), 1) << lines[i];
        EXPECT_GT(p, prev);
        EXPECT_LE(p, 99);
        prev = p;
    }
    EXPECT_EQ(prev, 99);
    EXPECT_EQ(lines[lines.size() - 2], "PROGRESS : 100 %");
    EXPECT_EQ(lines.back(), "PROGRESS : 0 %");
}

}  // namespace
