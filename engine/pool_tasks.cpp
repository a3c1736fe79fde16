#include "engine/pool_tasks.h"

#include "model/queue/rq_task_state.h"
#include "platform/core/log.h"

PoolTasks::~PoolTasks() {
    zlog("Dealloc pool");
    stop_tasks();
    pool_.clear();
}

void PoolTasks::add_process_task(const BaseProcessTaskRef &task) {
    if (task) pool_.insert(task);
}

void PoolTasks::add_and_start_process_task(const BaseProcessTaskRef &task) {
    if (!task) return;
    add_process_task(task);
    task->start_process();
}

BaseProcessTaskRef PoolTasks::get_task_by_uuid(const std::string &uuid) const {
    for (const BaseProcessTaskRef &task : pool_) {
        if (task->uuid() == uuid) return task;
    }
    zlog("Can't find task : %s", uuid.c_str());
    return nullptr;
}

bool PoolTasks::have_task_in_progress() const {
    for (const BaseProcessTaskRef &task : pool_) {
        if (task->is_running()) return true;
    }
    return false;
}

std::vector<std::string> PoolTasks::ask_pause_all_tasks() {
    std::vector<std::string> uuids;
    for (const BaseProcessTaskRef &task : pool_) {
        if (task->get_request_state() != RqTaskState_Progress) continue;
        uuids.push_back(task->uuid());
        task->ask_pause_state();
    }
    if (uuids.size() > 1) zlog("WARNING Pause All : > 1 task in progress (%lu)", (unsigned long)uuids.size());
    return uuids;
}

void PoolTasks::ask_pause_tasks(const std::vector<std::string> &uuids) {
    for (const std::string &uuid : uuids) {
        BaseProcessTaskRef task = get_task_by_uuid(uuid);
        if (task)
            task->ask_pause_state();
        else
            zlog("WARNING : Can't found task : %s", uuid.c_str());
    }
}

std::vector<std::string> PoolTasks::ask_stop_all_tasks() {
    std::vector<std::string> uuids;
    for (const BaseProcessTaskRef &task : pool_) {
        const uint64_t request = task->get_request_state();
        if (request != RqTaskState_Progress && request != RqTaskState_Pause) continue;
        uuids.push_back(task->uuid());
        task->ask_cancel_state();
    }
    if (uuids.size() > 1) zlog("WARNING Stop All : > 1 task in progress (%lu)", (unsigned long)uuids.size());
    return uuids;
}

void PoolTasks::cancel_tasks_for_uuid(const std::vector<std::string> &uuids) {
    for (const std::string &uuid : uuids) {
        BaseProcessTaskRef task = get_task_by_uuid(uuid);
        if (task) task->ask_cancel_state();
    }
}

void PoolTasks::remove_task_with_uuid(const std::string &uuid) {
    BaseProcessTaskRef task = get_task_by_uuid(uuid);
    if (task)
        pool_.erase(task);
    else
        zlog("Can't remove task : %s", uuid.c_str());
}

void PoolTasks::stop_tasks() {
    // A copy: a main-queue job run during a wait may change the pool.
    const std::vector<BaseProcessTaskRef> tasks(pool_.begin(), pool_.end());
    for (const BaseProcessTaskRef &task : tasks) task->stop_process();
}

void PoolTasks::clear_memory() {
    stop_tasks();
    pool_.clear();
}
