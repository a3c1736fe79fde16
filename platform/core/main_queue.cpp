#include "platform/core/main_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    Clock::time_point due;
    std::function<void()> fn;
};

struct MainQueue {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::function<void()>> items;
    std::map<MainQueueTimerId, Timer> timers;
    MainQueueTimerId next_id = 1;
    std::function<void()> wakeup;
    std::thread::id main_thread = std::this_thread::get_id();
};

MainQueue &mq() {
    static MainQueue q;
    return q;
}

void wake(MainQueue &q, std::unique_lock<std::mutex> &lock) {
    auto hook = q.wakeup;
    lock.unlock();
    q.cv.notify_all();
    if (hook) hook();
}

// Takes one runnable closure: a posted item first, else the earliest due timer.
bool take_one(MainQueue &q, std::function<void()> &out) {
    if (!q.items.empty()) {
        out = std::move(q.items.front());
        q.items.pop_front();
        return true;
    }
    auto now = Clock::now();
    auto best = q.timers.end();
    for (auto it = q.timers.begin(); it != q.timers.end(); ++it) {
        if (it->second.due <= now && (best == q.timers.end() || it->second.due < best->second.due)) best = it;
    }
    if (best == q.timers.end()) return false;
    out = std::move(best->second.fn);
    q.timers.erase(best);
    return true;
}

Clock::time_point next_due(MainQueue &q, Clock::time_point limit) {
    for (auto &kv : q.timers)
        if (kv.second.due < limit) limit = kv.second.due;
    return limit;
}

}  // namespace

namespace main_queue {

void bind_to_current_thread() {
    std::lock_guard<std::mutex> lock(mq().mutex);
    mq().main_thread = std::this_thread::get_id();
}

bool is_main_thread() { return std::this_thread::get_id() == mq().main_thread; }

void post(std::function<void()> fn) {
    auto &q = mq();
    std::unique_lock<std::mutex> lock(q.mutex);
    q.items.push_back(std::move(fn));
    wake(q, lock);
}

MainQueueTimerId post_delayed(double seconds, std::function<void()> fn) {
    auto &q = mq();
    std::unique_lock<std::mutex> lock(q.mutex);
    MainQueueTimerId id = q.next_id++;
    auto delay = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
    q.timers[id] = Timer{Clock::now() + delay, std::move(fn)};
    wake(q, lock);
    return id;
}

bool cancel(MainQueueTimerId id) {
    auto &q = mq();
    std::lock_guard<std::mutex> lock(q.mutex);
    return q.timers.erase(id) > 0;
}

size_t run_pending() {
    auto &q = mq();
    size_t count = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(q.mutex);
            if (!take_one(q, fn)) return count;
        }
        fn();
        count++;
    }
}

bool run_until(const std::function<bool()> &done, double timeout_seconds) {
    auto &q = mq();
    auto end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout_seconds));
    for (;;) {
        run_pending();
        if (done && done()) return true;
        auto now = Clock::now();
        if (now >= end) return done ? done() : false;
        std::unique_lock<std::mutex> lock(q.mutex);
        if (!q.items.empty()) continue;
        // Wake at least every 10 ms so that done() is polled even without posts.
        auto limit = std::min(end, now + std::chrono::milliseconds(10));
        q.cv.wait_until(lock, next_due(q, limit));
    }
}

size_t run_for(double seconds) {
    size_t count = 0;
    auto &q = mq();
    auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (;;) {
        count += run_pending();
        if (Clock::now() >= end) return count;
        std::unique_lock<std::mutex> lock(q.mutex);
        if (!q.items.empty()) continue;
        q.cv.wait_until(lock, next_due(q, end));
    }
}

double seconds_to_next_timer() {
    auto &q = mq();
    std::lock_guard<std::mutex> lock(q.mutex);
    if (q.timers.empty()) return -1.0;
    auto far = Clock::time_point::max();
    auto due = next_due(q, far);
    double s = std::chrono::duration<double>(due - Clock::now()).count();
    return s < 0 ? 0 : s;
}

void set_wakeup_hook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mq().mutex);
    mq().wakeup = std::move(hook);
}

}  // namespace main_queue
