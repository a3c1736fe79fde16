#include "media/delay_action.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/core/main_queue.h"

// Timers only fire while the test serves the main queue, so these tests check order,
// counts and lower bounds on the delay, never an upper bound that a loaded machine
// could miss. Waits use a generous timeout that only matters when something is broken.
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPatience = 30.0;

struct Recorder : DelayActionDelegate {
    struct Call {
        uint64_t tag;
        double at;  // seconds since t0
        bool on_main;
    };
    Clock::time_point t0 = Clock::now();
    std::vector<Call> calls;
    double now() const { return std::chrono::duration<double>(Clock::now() - t0).count(); }
    void DelayAction_StartFunc(uint64_t tag) override { calls.push_back({tag, now(), main_queue::is_main_thread()}); }
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
    const MainQueueTimerId first = action->timer_process();
    EXPECT_NE(first, 0u);
    // Later requests are absorbed: the pending timer, timed from the first request, stays.
    std::thread([&] { action->start(); }).join();
    action->start();
    EXPECT_EQ(action->timer_process(), first);

    ASSERT_TRUE(main_queue::run_until([&] { return !rec->calls.empty(); }, kPatience));
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].tag, 1u);
    EXPECT_TRUE(rec->calls[0].on_main);
    EXPECT_GE(rec->calls[0].at, 0.5);
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->timer_process(), 0u);
    EXPECT_LT(main_queue::seconds_to_next_timer(), 0);  // nothing else is scheduled

    // A request after the firing schedules a new one.
    action->setMin_wait_time(0.05);
    action->setTag(2);
    const double again = rec->now();
    action->start();
    EXPECT_NE(action->timer_process(), 0u);
    EXPECT_NE(action->timer_process(), first);
    ASSERT_TRUE(main_queue::run_until([&] { return rec->calls.size() >= 2; }, kPatience));
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[1].tag, 2u);
    EXPECT_GE(rec->calls[1].at - again, 0.05);
    EXPECT_FALSE(action->is_delay_action_in_progress());
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
    EXPECT_LT(main_queue::seconds_to_next_timer(), 0);  // the timer is gone
    main_queue::run_for(0.15);                          // past the delay: still nothing
    EXPECT_TRUE(rec->calls.empty());

    action->setMin_wait_time(10);
    action->start();
    action->stop_and_fire_if_need();
    ASSERT_EQ(rec->calls.size(), 1u);
    EXPECT_EQ(rec->calls[0].tag, 7u);
    EXPECT_FALSE(action->is_delay_action_in_progress());
    EXPECT_EQ(action->timer_process(), 0u);
    EXPECT_LT(main_queue::seconds_to_next_timer(), 0);
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
    const bool fired = main_queue::run_until([&] { return !action->is_delay_action_in_progress(); }, kPatience);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No delegate for func\n");
    EXPECT_TRUE(fired);

    // An action released while pending never fires.
    auto rec2 = std::make_shared<Recorder>();
    auto doomed = DelayAction::init_with_delay_and_tag(0.05, 4);
    doomed->setDelegateObj(rec2);
    doomed->start();
    doomed.reset();
    EXPECT_LT(main_queue::seconds_to_next_timer(), 0);  // its timer went with it
    main_queue::run_for(0.15);
    EXPECT_TRUE(rec2->calls.empty());
}

}  // namespace
