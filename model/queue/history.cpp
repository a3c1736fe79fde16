#include "model/queue/history.h"

#include <cinttypes>
#include <cstdio>

#include "platform/core/log.h"

void History::prepare_add_history_level() {
    if (currentHistoryLevelIndex < 0) return;
    while (have_redo() && !arr_rq.empty()) {
        arr_rq.pop_back();
        arr_name.pop_back();
        nbHistoryLevel--;
    }
    if (nbHistoryLevel == kMaxLevels && !arr_rq.empty()) {
        arr_rq.erase(arr_rq.begin());
        arr_name.erase(arr_name.begin());
        nbHistoryLevel--;
        currentHistoryLevelIndex--;
    }
}

void History::add_rq_history_level_for_name(const RenderQueue &rq, const std::string &name) {
    prepare_add_history_level();
    arr_rq.push_back(rq.mutableCopyWithZone());
    arr_name.push_back(name);
    nbHistoryLevel++;
    currentHistoryLevelIndex++;
}

bool History::is_index_valid(int64_t index) const {
    if (index < 0 || uint64_t(index) >= nbHistoryLevel) return false;
    if (uint64_t(index) < arr_name.size() && uint64_t(index) < arr_rq.size()) return true;
    zlog("ERREUR : Nb history level %" PRIu64 " != array size : %zu", nbHistoryLevel, arr_name.size());
    return false;
}

std::optional<std::string> History::get_undo_name() const {
    if (!is_index_valid(currentHistoryLevelIndex)) return std::nullopt;
    return arr_name[size_t(currentHistoryLevelIndex)];
}

std::optional<std::string> History::get_redo_name() const {
    if (!is_index_valid(currentHistoryLevelIndex + 1)) return std::nullopt;
    return arr_name[size_t(currentHistoryLevelIndex + 1)];
}

RenderQueueRef History::get_undo_rq() {
    if (!is_index_valid(currentHistoryLevelIndex - 1) || !arr_rq[size_t(currentHistoryLevelIndex - 1)]) return nullptr;
    currentHistoryLevelIndex--;
    return arr_rq[size_t(currentHistoryLevelIndex)]->mutableCopyWithZone();
}

RenderQueueRef History::get_redo_rq() {
    if (!is_index_valid(currentHistoryLevelIndex + 1) || !arr_rq[size_t(currentHistoryLevelIndex + 1)]) return nullptr;
    currentHistoryLevelIndex++;
    return arr_rq[size_t(currentHistoryLevelIndex)]->mutableCopyWithZone();
}

void History::apply_current_rq_to_history(const RenderQueue &live) {
    for (const RenderQueueRef &level : arr_rq)
        if (level) level->overwrite_unqueue_task(live);
}

void History::delete_last_history_level() {
    if (nbHistoryLevel == 0 || arr_rq.empty() || arr_name.empty()) return;
    arr_rq.pop_back();
    arr_name.pop_back();
    nbHistoryLevel--;
    if (uint64_t(currentHistoryLevelIndex) >= nbHistoryLevel) currentHistoryLevelIndex--;
}

std::string History::description() const {
    std::string list = "(";
    const bool valid = is_index_valid(currentHistoryLevelIndex);
    for (size_t i = 0; i < arr_name.size(); i++) {
        list += i ? ",\n    " : "\n    ";
        if (valid) {
            const size_t n = i < arr_rq.size() && arr_rq[i] ? arr_rq[i]->arr_tasks.size() : 0;
            const std::string line = arr_name[i] + " (" + std::to_string(n) + " Tasks)";
            list += int64_t(i) == currentHistoryLevelIndex ? "-- " + line : line;
        } else {
            list += arr_name[i];
        }
    }
    list += "\n)";
    char head[160];
    snprintf(head, sizeof(head),
             valid ? "History : Nb : %" PRIu64 " ; CurrentIndex : %" PRId64 " ; Names : "
                   : "History : Nb : %" PRIu64 " ; CurrentIndex (Unset) : %" PRId64 " ; Names : ",
             nbHistoryLevel, currentHistoryLevelIndex);
    return head + list;
}
