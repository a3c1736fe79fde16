#pragma once
// The processing tasks the window's controller has started, reached by the uuid they
// share with their queue task. The pool does no work of its own: every request goes to
// the task. Used on the main thread only; the waits keep serving the main queue.
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/base_process_task.h"

using BaseProcessTaskRef = std::shared_ptr<BaseProcessTask>;

class PoolTasks {
public:
    PoolTasks() = default;
    ~PoolTasks();
    PoolTasks(const PoolTasks &) = delete;
    PoolTasks &operator=(const PoolTasks &) = delete;

    void init() { pool_.clear(); }
    // A task is held at most once.
    void add_process_task(const BaseProcessTaskRef &task);
    void add_and_start_process_task(const BaseProcessTaskRef &task);
    // The first task with this uuid; logs and returns null when none.
    BaseProcessTaskRef get_task_by_uuid(const std::string &uuid) const;
    bool have_task_in_progress() const;
    // Asks every task whose requested state is Progress to pause; returns their uuids.
    std::vector<std::string> ask_pause_all_tasks();
    void ask_pause_tasks(const std::vector<std::string> &uuids);
    // Asks every task whose requested state is Progress or Pause to cancel; returns their uuids.
    std::vector<std::string> ask_stop_all_tasks();
    void cancel_tasks_for_uuid(const std::vector<std::string> &uuids);
    void remove_task_with_uuid(const std::string &uuid);
    // Stops every task and waits for each worker; the tasks stay in the pool.
    void stop_tasks();
    // Stops every task, then empties the pool.
    void clear_memory();

    const std::unordered_set<BaseProcessTaskRef> &pool() const { return pool_; }
    void setPool(std::unordered_set<BaseProcessTaskRef> pool) { pool_ = std::move(pool); }

private:
    std::unordered_set<BaseProcessTaskRef> pool_;
};
