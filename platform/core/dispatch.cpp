#include "platform/core/dispatch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <thread>
#include <vector>

#include "platform/core/cpu.h"

namespace {

class ThreadPool {
public:
    explicit ThreadPool(unsigned n) {
        for (unsigned i = 0; i < n; i++) threads_.emplace_back([this] { loop(); });
    }
    ~ThreadPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        for (auto &t : threads_) t.join();
    }
    void submit(std::function<void()> fn) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(fn));
        }
        cv_.notify_one();
    }
    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

private:
    void loop() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            try {
                fn();
            } catch (...) {}
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    bool stop_ = false;
};

ThreadPool &global_pool() {
    static ThreadPool pool(std::max(2u, cpu_count_available()));
    return pool;
}

struct ApplyState {
    size_t n = 0;
    const std::function<void(size_t)> *fn = nullptr;
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable cv;
    size_t done = 0;
    std::exception_ptr error;

    // Takes indices until none is left. Returns after its last slice ends.
    void work() {
        for (;;) {
            size_t i = next.fetch_add(1);
            if (i >= n) return;
            std::exception_ptr err;
            try {
                (*fn)(i);
            } catch (...) { err = std::current_exception(); }
            std::lock_guard<std::mutex> lock(mutex);
            if (err && !error) error = err;
            if (++done == n) cv.notify_all();
        }
    }
};

}  // namespace

void dispatch_async_global(std::function<void()> fn) { global_pool().submit(std::move(fn)); }

unsigned dispatch_global_thread_count() { return global_pool().size(); }

void dispatch_apply(size_t n, const std::function<void(size_t)> &fn) {
    if (n == 0) return;
    if (n == 1) {
        fn(0);
        return;
    }
    auto state = std::make_shared<ApplyState>();
    state->n = n;
    state->fn = &fn;
    size_t helpers = std::min<size_t>(n - 1, global_pool().size());
    for (size_t i = 0; i < helpers; i++) {
        // A helper that starts after every index is taken returns at once; it never
        // touches fn then, so the caller may return before it runs.
        global_pool().submit([state] { state->work(); });
    }
    state->work();
    std::unique_lock<std::mutex> lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done == state->n; });
    if (state->error) std::rethrow_exception(state->error);
}

void DispatchSemaphore::signal() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value_++;
    }
    cv_.notify_one();
}

void DispatchSemaphore::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return value_ > 0; });
    value_--;
}

bool DispatchSemaphore::wait_for(double seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return value_ > 0; })) return false;
    value_--;
    return true;
}

struct DispatchGroup::State {
    std::mutex mutex;
    std::condition_variable cv;
    long count = 0;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

DispatchGroup::~DispatchGroup() = default;

void DispatchGroup::enter() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->count++;
}

void DispatchGroup::leave() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (--state_->count <= 0) {
        state_->count = 0;
        state_->cv.notify_all();
    }
}

void DispatchGroup::async(std::function<void()> fn) {
    enter();
    auto st = state_;
    dispatch_async_global([st, fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {}
        std::lock_guard<std::mutex> lock(st->mutex);
        if (--st->count <= 0) {
            st->count = 0;
            st->cv.notify_all();
        }
    });
}

void DispatchGroup::wait() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->cv.wait(lock, [this] { return state_->count == 0; });
}

bool DispatchGroup::wait_for(double seconds) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->cv.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return state_->count == 0; });
}
