#include "engine/pool_tasks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/core/dispatch.h"
#include "platform/core/main_queue.h"

namespace {

// A worker that runs until it is cancelled, pausing when asked. With `wait_main` it first
// hands a job to the main queue and waits for it, as the analysis pass does for its refresh.
class LoopTask : public BaseProcessTask {
public:
    static std::shared_ptr<LoopTask> create(const std::string &uuid, bool wait_main = false) {
        auto t = std::make_shared<LoopTask>();
        t->init_base_process_task();
        t->setUuid(uuid);
        t->wait_main_ = wait_main;
        return t;
    }
    ~LoopTask() override { stop_process(); }

    void core_process_func() override {
        if (wait_main_) {
            DispatchSemaphore done(0);
            waiting_ = true;
            main_queue::post([&done] { done.signal(); });
            done.wait();
        }
        while (true) {
            usleep(2000);
            const uint64_t request = get_request_state();
            if (request == RqTaskState_Pause) {
                set_new_state(RqTaskState_Pause);
                pause_loop();
            } else if (request == RqTaskState_Cancel || request == RqTaskState_CancelDelete) {
                set_new_state(RqTaskState_Cancel);
                break;
            }
        }
        set_end_state_with_error_and_warning(false, false);
    }
    std::atomic<bool> waiting_{false};

private:
    bool wait_main_ = false;
};

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(PoolTasks, PauseAllAndStopAllFollowTheRequestedStates) {
    main_queue::bind_to_current_thread();
    PoolTasks pool;
    auto a = LoopTask::create("A"), b = LoopTask::create("B");
    pool.add_and_start_process_task(a);
    pool.add_and_start_process_task(b);
    pool.add_process_task(a);  // held once
    EXPECT_EQ(pool.pool().size(), 2u);
    EXPECT_TRUE(pool.have_task_in_progress());

    testing::internal::CaptureStderr();
    EXPECT_EQ(sorted(pool.ask_pause_all_tasks()), (std::vector<std::string>{"A", "B"}));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING Pause All : > 1 task in progress (2)"), std::string::npos) << err;
    EXPECT_EQ(a->get_request_state(), uint64_t(RqTaskState_Pause));
    // Already asked to pause: not asked again; stop-all still cancels and lists both.
    EXPECT_TRUE(pool.ask_pause_all_tasks().empty());
    EXPECT_EQ(sorted(pool.ask_stop_all_tasks()), (std::vector<std::string>{"A", "B"}));
    pool.stop_tasks();
    EXPECT_EQ(pool.pool().size(), 2u);  // stopped tasks stay
    EXPECT_FALSE(pool.have_task_in_progress());
    EXPECT_EQ(a->current_state(), uint64_t(RqTaskState_Cancel));
    pool.clear_memory();
    EXPECT_TRUE(pool.pool().empty());
}

TEST(PoolTasks, LookupsByUuid) {
    main_queue::bind_to_current_thread();
    PoolTasks pool;
    EXPECT_FALSE(pool.have_task_in_progress());
    auto a = LoopTask::create("A");
    pool.add_and_start_process_task(a);
    EXPECT_EQ(pool.get_task_by_uuid("A"), a);

    testing::internal::CaptureStderr();
    pool.remove_task_with_uuid("nope");
    pool.ask_pause_tasks({"nope2"});
    pool.cancel_tasks_for_uuid({"nope3"});
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char *line : {"Can't find task : nope\n", "Can't remove task : nope\n",
                             "WARNING : Can't found task : nope2\n", "Can't find task : nope3\n"})
        EXPECT_NE(err.find(line), std::string::npos) << line << " in " << err;
    EXPECT_EQ(pool.pool().size(), 1u);

    pool.ask_pause_tasks({"A"});
    EXPECT_EQ(a->get_request_state(), uint64_t(RqTaskState_Pause));
    pool.cancel_tasks_for_uuid({"A"});
    EXPECT_EQ(a->get_request_state(), uint64_t(RqTaskState_Cancel));
    a->wait_end();
    EXPECT_FALSE(pool.have_task_in_progress());  // only an ended task left
    pool.remove_task_with_uuid("A");
    EXPECT_TRUE(pool.pool().empty());
}

TEST(PoolTasks, StopWhileAWorkerWaitsForTheMainQueueReturns) {
    main_queue::bind_to_current_thread();
    PoolTasks pool;
    auto a = LoopTask::create("A", true);
    pool.add_and_start_process_task(a);
    while (!a->waiting_.load()) usleep(1000);
    // The worker waits for a job that only the main thread can run.
    pool.stop_tasks();
    EXPECT_FALSE(a->is_bg_process_running());
    EXPECT_EQ(a->current_state(), uint64_t(RqTaskState_Cancel));
}

}  // namespace
