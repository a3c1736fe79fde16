#pragma once
// Substitute for the dispatch services the processing code relies on: one global
// concurrent queue (a thread pool sized to the processor), groups, semaphores and a
// blocking parallel apply.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

// Runs fn on the global concurrent queue.
void dispatch_async_global(std::function<void()> fn);

// Calls fn(i) for every i in [0, n) on the global queue and returns when all are done.
// The calling thread takes part, so nested calls (from inside a slice, or from a pool
// thread) cannot deadlock. If slices throw, the first exception is rethrown after every
// slice has ended.
void dispatch_apply(size_t n, const std::function<void(size_t)> &fn);

// Number of threads of the global queue.
unsigned dispatch_global_thread_count();

class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long value = 0) : value_(value) {}
    void signal();
    void wait();
    // Returns false when the timeout passed without a signal.
    bool wait_for(double seconds);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long value_;
};

class DispatchGroup {
public:
    DispatchGroup();
    ~DispatchGroup();
    DispatchGroup(const DispatchGroup &) = delete;
    DispatchGroup &operator=(const DispatchGroup &) = delete;

    // Runs fn on the global queue as a member of the group. Exceptions are swallowed.
    void async(std::function<void()> fn);
    void enter();
    void leave();
    void wait();
    // Returns false when the timeout passed with members still running.
    bool wait_for(double seconds);

private:
    struct State;
    std::shared_ptr<State> state_;
};
