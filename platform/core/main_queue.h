#pragma once
// The main queue: closures and one-shot timers run on the main thread.
//
// Console jobs drive it themselves with run_for(); the windowed application drives
// it from its event loop through the wake-up hook. Any thread may post.
#include <cstdint>
#include <functional>

using MainQueueTimerId = uint64_t;

namespace main_queue {

// The thread that drives the queue. Defaults to the first thread that used it.
void bind_to_current_thread();
bool is_main_thread();

void post(std::function<void()> fn);
// One-shot timer; returns an id for cancel(). Ids are never 0.
MainQueueTimerId post_delayed(double seconds, std::function<void()> fn);
// Returns true when the timer was still pending.
bool cancel(MainQueueTimerId id);

// Runs due closures and timers on the calling thread for about `seconds`.
// Returns the number of closures run.
size_t run_for(double seconds);
// Runs what is due now and returns at once.
size_t run_pending();
// Serves the queue until done() is true or the timeout passes; returns done().
bool run_until(const std::function<bool()> &done, double timeout_seconds);

// Seconds until the next timer is due (negative when none is pending).
double seconds_to_next_timer();
// Called (from any thread) whenever something is posted; lets an event loop wake up.
void set_wakeup_hook(std::function<void()> hook);

}  // namespace main_queue
