#include "media/delay_action.h"

#include "platform/core/log.h"

std::shared_ptr<DelayAction> DelayAction::init_with_delay_and_tag(double min_wait_time, uint64_t tag) {
    return std::shared_ptr<DelayAction>(new DelayAction(min_wait_time, tag));
}

DelayAction::DelayAction(double min_wait_time, uint64_t tag) : tag_(tag), min_wait_time_(min_wait_time) {}

DelayAction::~DelayAction() {
    MainQueueTimerId id = timer_process_.exchange(0);
    if (id) main_queue::cancel(id);
}

void DelayAction::start() {
    // Test-and-set in one step: two threads starting together schedule one firing.
    if (in_progress_.exchange(true)) return;
    // The timer holds the action weakly, so a released action is never called.
    std::weak_ptr<DelayAction> weak = weak_from_this();
    MainQueueTimerId id = main_queue::post_delayed(min_wait_time_.load(), [weak] {
        if (auto self = weak.lock()) self->internal_func();
    });
    timer_process_.store(id);
}

void DelayAction::stop() {
    MainQueueTimerId id = timer_process_.exchange(0);
    if (!id) return;
    main_queue::cancel(id);
    in_progress_.store(false);
}

void DelayAction::stop_and_fire_if_need() {
    if (in_progress_.load())
        internal_func();
    else
        stop();
}

void DelayAction::internal_func() {
    // Cleared before the call: a request made while the delegate runs schedules the
    // next firing instead of being lost.
    stop();
    in_progress_.store(false);
    if (auto delegate = delegateObj())
        delegate->DelayAction_StartFunc(tag_.load());
    else
        zlog("No delegate for func");
}

std::shared_ptr<DelayActionDelegate> DelayAction::delegateObj() const {
    std::lock_guard<std::mutex> lock(delegate_mutex_);
    return delegate_.lock();
}

void DelayAction::setDelegateObj(const std::weak_ptr<DelayActionDelegate> &delegate) {
    std::lock_guard<std::mutex> lock(delegate_mutex_);
    delegate_ = delegate;
}
