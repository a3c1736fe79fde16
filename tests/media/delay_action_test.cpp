#include "media/delay_action.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/core/main_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Recorder : DelayActionDelegate {
    struct Call {
        uint64_t tag;
        double at;  // seconds since t0
        bool on_main;
    };
    Clock::time_point t0 = Clock::now();
    std::vector<Call> calls;
    void DelayAction_StartFunc(uint64_t tag) override {
        calls.push_back({tag, std::chrono::duration<double>(Clock::now() - t0).count(), main_queue::is_main_thread()});
    }
};

class DelayActionTest : public testing::Test {
protected:
    void SetUp() override {
        main_queue::bind_to_current_thread();
        main_queue::run_pending();
    }
};

TEST_F(DelayActionTest, RequestsWhileWaitingFoldIntoOneCallOnTheMainThread) {
    auto rec = std::make_shared<Recorder>();
    auto action = DelayAction::init_with_delay_and_tag(0.5, 1);
    action->setDelegateObj(rec);
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->tag(), 1u);

    rec->t0 = Clock::now();
    std::thread([&] { action->start(); }).join();  // workers request too
    EXPECT_TRUE(action->is_delay_action_in_progress());
    EXPECT_NE(action->timer_process(), 0u);
    main_queue::run_for(0.1);
    action->start();
    main_queue::run_for(0.1);
    action->start();
    main_queue::run_for(0.6);
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].tag, 1u);
    EXPECT_TRUE(rec->calls[0].on_main);
    EXPECT_GE(rec->calls[0].at, 0.5);
    EXPECT_LT(rec->calls[0].at, 0.75);  // timed from the first request
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->timer_process(), 0u);

    // A request after the firing schedules a new one.
    action->setMin_wait_time(0.05);
    action->setTag(2);
    action->start();
    main_queue::run_for(0.2);
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[1].tag, 2u);
}

TEST_F(DelayActionTest, StopCancelsAndStopAndFireCallsAtOnce) {
    auto rec = std::make_shared<Recorder>();
    auto action = DelayAction::init_with_delay_and_tag(0.05, 7);
    action->setDelegateObj(rec);

    action->stop();  // idle: nothing changes
    EXPECT_FALSE(action->is_delay_action_in_progress());

    action->start();
    action->stop();
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->timer_process(), 0u);
    main_queue::run_for(0.15);
    EXPECT_TRUE(rec->calls.empty());

    action->setMin_wait_time(10);
    action->start();
    action->stop_and_fire_if_need();
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].tag, 7u);
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->timer_process(), 0u);
    action->stop_and_fire_if_need();  // nothing pending: no call
    EXPECT_EQ(rec->calls.size(), 1u);
}

TEST_F(DelayActionTest, GoneDelegateOrGoneActionMeansNoCall) {
    auto rec = std::make_shared<Recorder>();
    auto action = DelayAction::init_with_delay_and_tag(0.05, 3);
    action->setDelegateObj(rec);
    std::weak_ptr<Recorder> watch = rec;
    action->start();
    rec.reset();  // the action does not keep its delegate alive
    EXPECT_TRUE(watch.expired());
    testing::internal::CaptureStderr();
    main_queue::run_for(0.15);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No delegate for func\n");
    EXPECT_FALSE(action->is_delay_action_in_progress());

    // An action released while pending never fires.
    auto rec2 = std::make_shared<Recorder>();
    auto doomed = DelayAction::init_with_delay_and_tag(0.05, 4);
    doomed->setDelegateObj(rec2);
    doomed->start();
    doomed.reset();
    main_queue::run_for(0.15);
    EXPECT_TRUE(rec2->calls.empty());
}

}  // namespace
