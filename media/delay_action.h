#pragma once
// A one-shot timer on the main queue that calls its delegate on the main thread at
// least min_wait_time seconds after the first request, and folds every request made
// while it waits into that one call (progress at most every 0.5 s, logs every 1 s).
//
// start() may be called from any thread; the firing and the delegate run on the
// thread that drives the main queue. The delegate is held weakly: a delayed action
// never keeps its receiver alive. Create instances with init_with_delay_and_tag.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/core/main_queue.h"

class DelayActionDelegate {
public:
    virtual ~DelayActionDelegate() = default;
    // Called on the main thread when a delayed action fires; tag tells actions apart.
    virtual void DelayAction_StartFunc(uint64_t tag) = 0;
};

class DelayAction : public std::enable_shared_from_this<DelayAction> {
public:
    // No delegate, no timer, not in progress.
    static std::shared_ptr<DelayAction> init_with_delay_and_tag(double min_wait_time, uint64_t tag);
    // Cancels a scheduled firing.
    ~DelayAction();
    DelayAction(const DelayAction &) = delete;
    DelayAction &operator=(const DelayAction &) = delete;

    // Requests a firing; absorbed when one is already pending.
    void start();
    // Cancels a pending firing; nothing happens when none is scheduled.
    void stop();
    // Fires a pending request now, else stop().
    void stop_and_fire_if_need();
    // The timer's action (main thread).
    void internal_func();

    std::shared_ptr<DelayActionDelegate> delegateObj() const;
    void setDelegateObj(const std::weak_ptr<DelayActionDelegate> &delegate);
    uint64_t tag() const { return tag_.load(); }
    void setTag(uint64_t tag) { tag_.store(tag); }
    // Id of the scheduled main-queue timer, 0 when none.
    MainQueueTimerId timer_process() const { return timer_process_.load(); }
    void setTimer_process(MainQueueTimerId id) { timer_process_.store(id); }
    bool is_delay_action_in_progress() const { return in_progress_.load(); }
    void setIs_delay_action_in_progress(bool value) { in_progress_.store(value); }
    double min_wait_time() const { return min_wait_time_.load(); }
    void setMin_wait_time(double seconds) { min_wait_time_.store(seconds); }

private:
    DelayAction(double min_wait_time, uint64_t tag);

    std::atomic<bool> in_progress_{false};
    mutable std::mutex delegate_mutex_;
    std::weak_ptr<DelayActionDelegate> delegate_;
    std::atomic<uint64_t> tag_;
    std::atomic<MainQueueTimerId> timer_process_{0};
    std::atomic<double> min_wait_time_;
};
