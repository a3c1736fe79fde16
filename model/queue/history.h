#pragma once
// Undo and redo of the render queue: up to 10 named levels, each a whole copy of the queue
// as it stood after a change, and the level that matches the live queue. Levels never share
// tasks with the live queue; undo and redo hand out copies. Main thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/queue/render_queue.h"

class History {
public:
    static constexpr uint64_t kMaxLevels = 10;

    ZQ_PROPERTY(std::vector<RenderQueueRef>, arr_rq, setArr_rq);
    ZQ_PROPERTY(std::vector<std::string>, arr_name, setArr_name);
    ZQ_PROPERTY(int64_t, currentHistoryLevelIndex, setCurrentHistoryLevelIndex) = -1;  // -1: empty
    ZQ_PROPERTY(uint64_t, nbHistoryLevel, setNbHistoryLevel) = 0;

    History() { arr_rq.reserve(kMaxLevels); }
    static History init() { return History(); }

    // A copy of the queue becomes the current and last level; redo levels are dropped, and
    // the oldest level when the history is full.
    void add_rq_history_level_for_name(const RenderQueue &rq, const std::string &name);
    void prepare_add_history_level();
    bool have_undo() const { return currentHistoryLevelIndex > 0; }
    bool have_redo() const { return uint64_t(currentHistoryLevelIndex) < nbHistoryLevel - 1; }
    std::optional<std::string> get_undo_name() const;
    std::optional<std::string> get_redo_name() const;
    // A copy of the previous or next level, which becomes the current one; none at the ends.
    RenderQueueRef get_undo_rq();
    RenderQueueRef get_redo_rq();
    // Before an undo or redo: tasks that have left the waiting state in the live queue
    // replace their twins in every level (see RenderQueue::overwrite_unqueue_task).
    void apply_current_rq_to_history(const RenderQueue &live);
    void delete_last_history_level();
    bool is_index_valid(int64_t index) const;
    std::string description() const;
};
