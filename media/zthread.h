#pragma once
// One job on a worker thread of its own. Whatever the job throws is caught on that
// thread and kept as text, so a failing job never takes the process down; the caller
// joins and reads success and the text afterwards.
//
// success and error are written by the worker and read by the joining thread only
// after the join.
#include <atomic>
#include <cstdint>
#include <thread>

using ZThreadFunc = void (*)(void *user_data);

constexpr size_t kZThreadErrorSize = 256;

struct ZThread {
    std::atomic<uint8_t> is_running;  // started and not yet joined
    std::thread *thread;              // owned; null when none
    void *user_data;
    ZThreadFunc callback;
    uint8_t success;                // 0 after a failure of the last job
    char error[kZThreadErrorSize];  // failure text of the last job, "" when it succeeded
};

// Not running, no thread, success 1, no error; user_data and callback are left alone.
void zthread_init(ZThread *zt);
// Starts callback(user_data) on a new thread. A thread still held from an earlier job is
// joined first. Failing to create the thread throws std::system_error.
void zthread_start(ZThread *zt, ZThreadFunc callback, void *user_data);
// Waits for the job; returns its success (true when there was nothing to join, and for null).
uint8_t zthread_join(ZThread *zt);
// zthread_join for a record kept as an untyped pointer.
uint8_t zthread_wait(void *zt);
bool zthread_has_error(const ZThread *zt);
// Points *text at the failure text and returns true; false (text untouched) when none.
bool zthread_get_error(const ZThread *zt, const char **text);
