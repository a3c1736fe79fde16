#include "model/queue/render_queue.h"

#include <algorithm>
#include <cinttypes>

#include "platform/core/log.h"

namespace {

bool is_index_is_in_array(uint64_t index, const std::vector<uint64_t> &indexes) {
    zlog("DEPRECATED : is_index_is_in_array");
    return std::find(indexes.begin(), indexes.end(), index) != indexes.end();
}

bool is_waiting(const RqTask &t) { return t.state == RqTaskState_Queue; }
bool is_running(const RqTask &t) { return t.state == RqTaskState_Progress; }
bool is_paused(const RqTask &t) { return t.state == RqTaskState_Pause; }

}  // namespace

RenderQueueRef RenderQueue::init_with_glob_settings(const GlobalSettingsRef &settings) {
    RenderQueueRef q = std::make_shared<RenderQueue>();
    q->glob_settings = settings;
    return q;
}

RenderQueueRef RenderQueue::mutableCopyWithZone() const {
    RenderQueueRef q = init_with_glob_settings(glob_settings);
    q->arr_tasks.reserve(arr_tasks.size());
    for (const RqTaskRef &t : arr_tasks)
        if (t) q->arr_tasks.push_back(t->mutableCopyWithZone());
    return q;
}

std::string RenderQueue::description() const {
    std::string d = "RenderQueue : ";
    for (size_t i = 0; i < arr_tasks.size(); i++) {
        if (i) d += "\n";
        d += arr_tasks[i] ? arr_tasks[i]->description() : std::string("(null)");
    }
    return d;
}

// ---- Edits ----

void RenderQueue::insert_new_tasks_at_index(const std::vector<RqTaskRef> &tasks, uint64_t index) {
    const size_t at = index < arr_tasks.size() ? size_t(index) : arr_tasks.size();
    arr_tasks.insert(arr_tasks.begin() + ptrdiff_t(at), tasks.begin(), tasks.end());
}

std::vector<std::string> RenderQueue::remove_tasks_at_index(const std::vector<uint64_t> &indexes) {
    std::vector<std::string> uuids;
    std::vector<RqTaskRef> kept;
    for (size_t i = 0; i < arr_tasks.size(); i++) {
        if (!is_index_is_in_array(i, indexes)) {
            kept.push_back(arr_tasks[i]);
        } else if (arr_tasks[i] && arr_tasks[i]->is_progress_or_pause()) {
            uuids.push_back(arr_tasks[i]->uuid);
        }
    }
    arr_tasks = std::move(kept);
    return uuids;
}

bool RenderQueue::is_need_move_at_index_for_arr(uint64_t target, const std::vector<uint64_t> &indexes) const {
    const uint64_t n = arr_tasks.size();
    if (n == 0) {
        zlog("No tasks in rq");
        return false;
    }
    if (indexes.size() != 1) return true;
    const uint64_t k = indexes[0];
    if (target == k || target == k + 1) return false;
    if (k == n - 1 && target >= n) return false;
    return true;
}

void RenderQueue::move_tasks_at_index_for_arr(uint64_t target, const std::vector<uint64_t> &indexes) {
    if (indexes.empty()) return;
    std::vector<RqTaskRef> block, before, after;
    for (size_t i = 0; i < arr_tasks.size(); i++) {
        if (is_index_is_in_array(i, indexes))
            block.push_back(arr_tasks[i]);
        else if (i < target)
            before.push_back(arr_tasks[i]);
        else
            after.push_back(arr_tasks[i]);
    }
    std::vector<RqTaskRef> order = std::move(before);
    order.insert(order.end(), block.begin(), block.end());
    order.insert(order.end(), after.begin(), after.end());
    arr_tasks = std::move(order);
}

std::vector<std::string> RenderQueue::cancel_tasks_at_index(const std::vector<uint64_t> &indexes) {
    std::vector<std::string> uuids;
    if (arr_tasks.empty()) return uuids;
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes)) {
        if (!t) continue;
        if (t->is_progress_or_pause()) uuids.push_back(t->uuid);
        t->state = RqTaskState_Cancel;
    }
    return uuids;
}

std::vector<RqTaskRef> RenderQueue::reset_status_at_index(const std::vector<uint64_t> &indexes,
                                                          std::vector<std::string> *paused_uuids) {
    std::vector<RqTaskRef> reset;
    if (arr_tasks.empty()) return reset;
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes)) {
        if (!t || is_running(*t)) continue;
        if (is_paused(*t) && paused_uuids &&
            std::find(paused_uuids->begin(), paused_uuids->end(), t->uuid) == paused_uuids->end())
            paused_uuids->push_back(t->uuid);
        t->reset_status();
        t->refresh_cache_target_properties();
        reset.push_back(t);
    }
    return reset;
}

std::vector<uint64_t> RenderQueue::duplicate_tasks_at_index(const std::vector<uint64_t> &indexes) {
    std::vector<uint64_t> created;
    if (arr_tasks.empty()) return created;
    std::vector<RqTaskRef> order;
    for (size_t i = 0; i < arr_tasks.size(); i++) {
        order.push_back(arr_tasks[i]);
        if (arr_tasks[i] && is_index_is_in_array(i, indexes)) {
            order.push_back(arr_tasks[i]->duplicate_task());
            created.push_back(order.size() - 1);
        }
    }
    arr_tasks = std::move(order);
    return created;
}

void RenderQueue::set_setting_for_arr(const Setting &setting, const std::vector<uint64_t> &indexes) {
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes))
        if (t) t->set_new_setting(setting);
}

std::vector<uint64_t> RenderQueue::refresh_preset_name(const SettingsList &presets) {
    std::vector<uint64_t> changed;
    for (size_t i = 0; i < arr_tasks.size(); i++) {
        const RqTaskRef &t = arr_tasks[i];
        if (!t || !t->setting || t->setting->is_custom()) continue;
        if (presets.is_setting_name_still_valid(*t->setting)) continue;
        t->setting->set_to_custom();
        changed.push_back(i);
    }
    return changed;
}

bool RenderQueue::set_custom_out_path_task_for_path_at_index(uint64_t task_index,
                                                             const std::optional<std::string> &path,
                                                             uint64_t out_index) {
    if (!path || path->empty()) {
        zlog("Invalid new out path");
        return false;
    }
    if (task_index >= arr_tasks.size() || !arr_tasks[task_index]) {
        zlog("Invalid index task : %" PRIu64, task_index);
        return false;
    }
    const RqTaskRef &t = arr_tasks[task_index];
    t->set_custom_out_path_at_index(path, out_index);
    t->refresh_cache_target_properties();
    return true;
}

bool RenderQueue::set_custom_out_path_task_from_uuid_for_path_at_index(const std::string &uuid,
                                                                       const std::optional<std::string> &path,
                                                                       uint64_t out_index) {
    return set_custom_out_path_task_for_path_at_index(get_index_task_by_uuid(uuid), path, out_index);
}

void RenderQueue::overwrite_tasks(const std::vector<RqTaskRef> &tasks) {
    for (const RqTaskRef &t : tasks) {
        if (!t) continue;
        const uint64_t i = get_index_task_by_uuid(t->uuid);
        if (i == kRqNoIndex) {
            zlog("ERROR : Fail to overwrite task : %s", t->uuid.c_str());
            continue;
        }
        arr_tasks[i] = t;
    }
}

void RenderQueue::overwrite_unqueue_task(const RenderQueue &live) {
    for (RqTaskRef &stored : arr_tasks) {
        if (!stored) continue;
        const RqTaskRef twin = live.get_task_by_uuid(stored->uuid);
        if (twin && twin->state != RqTaskState_Queue) {
            stored = twin->mutableCopyWithZone();
        } else if (stored->is_progress_or_pause()) {
            // No processing task stands behind it any more: restored as it is, it would stay
            // "running" forever or fail to resume.
            stored->state = RqTaskState_Cancel;
        }
    }
}

std::vector<RqTaskRef> RenderQueue::set_state_for_uuids(uint64_t state, const std::vector<std::string> &uuids) {
    std::vector<RqTaskRef> changed;
    for (const std::string &u : uuids) {
        const RqTaskRef t = get_task_by_uuid(u);
        if (!t || t->state == state) continue;
        t->state = state;
        changed.push_back(t);
    }
    return changed;
}

// ---- Lookups and queries ----

std::vector<RqTaskRef> RenderQueue::get_tasks_from_array_index(const std::vector<uint64_t> &indexes) const {
    std::vector<RqTaskRef> tasks;
    for (uint64_t i : indexes) {
        if (i < arr_tasks.size())
            tasks.push_back(arr_tasks[i]);
        else
            zlog("Warning : invalid index task : %" PRIu64, i);
    }
    return tasks;
}

RqTaskRef RenderQueue::get_task_by_index(uint64_t index) const {
    if (index < arr_tasks.size()) return arr_tasks[index];
    zlog("Invalid index :%" PRIu64 "d", index);
    return nullptr;
}

RqTaskRef RenderQueue::get_task_by_uuid(const std::string &uuid) const {
    for (const RqTaskRef &t : arr_tasks)
        if (t && t->uuid == uuid) return t;
    return nullptr;
}

uint64_t RenderQueue::get_index_task_by_uuid(const std::string &uuid) const {
    for (size_t i = 0; i < arr_tasks.size(); i++)
        if (arr_tasks[i] && arr_tasks[i]->uuid == uuid) return i;
    zlog("Can't find task with uuid : %s", uuid.c_str());
    return kRqNoIndex;
}

bool RenderQueue::is_tasks_in_progress_or_pause(const std::vector<uint64_t> &indexes) const {
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes))
        if (t && t->is_progress_or_pause()) return true;
    return false;
}

bool RenderQueue::can_edit_tasks(const std::vector<uint64_t> &indexes) const {
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes))
        if (t && !is_waiting(*t)) return false;
    return true;
}

bool RenderQueue::have_task_not_ended() const {
    for (const RqTaskRef &t : arr_tasks) {
        if (!t) continue;
        if ((is_waiting(*t) && !t->have_error_params()) || t->is_progress_or_pause()) return true;
    }
    return false;
}

bool RenderQueue::have_task_in_progress() const {
    for (const RqTaskRef &t : arr_tasks)
        if (t && is_running(*t)) return true;
    return false;
}

std::map<std::string, bool> RenderQueue::get_context_menu_state_for_tasks(const std::vector<uint64_t> &indexes) const {
    const std::vector<RqTaskRef> tasks = get_tasks_from_array_index(indexes);
    bool reset = false, edit = true, reveal = false;
    for (const RqTaskRef &t : tasks) {
        if (!t) continue;
        if (!is_running(*t)) reset = true;
        if (!is_waiting(*t)) edit = false, reveal = true;
    }
    const bool one = tasks.size() == 1 && indexes.size() == 1;
    return {{"reset_status", reset},
            {"edit", edit},
            {"move_to_top", !(one && indexes[0] == 0)},
            {"move_to_bottom", !(one && indexes[0] + 1 >= arr_tasks.size())},
            {"reveal_target", reveal}};
}

RqTaskRef RenderQueue::get_next_task() const {
    for (const RqTaskRef &t : arr_tasks) {
        if (!t) continue;
        if (is_paused(*t) || (is_waiting(*t) && !t->have_error_params())) return t;
        if (is_running(*t)) zlog("WARNING : get next task, tache in progress");
    }
    return nullptr;
}

std::vector<std::string> RenderQueue::get_uuid_task_to_pause() const {
    std::vector<std::string> uuids;
    bool above = false;
    for (const RqTaskRef &t : arr_tasks) {
        if (!t) continue;
        if (above && is_running(*t)) uuids.push_back(t->uuid);
        if (is_waiting(*t) || is_paused(*t)) above = true;
    }
    if (uuids.size() > 1) zlog("WARNING : > 1 task to pause (%zu)", uuids.size());
    return uuids;
}

std::vector<std::string> RenderQueue::get_src_path_to_reveal(const std::vector<uint64_t> &indexes) const {
    std::vector<std::string> paths;
    auto add = [&](const std::string &p) {
        if (std::find(paths.begin(), paths.end(), p) == paths.end()) paths.push_back(p);
    };
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes)) {
        if (!t) continue;
        if (const std::optional<std::string> main = t->get_filepath_main_file()) add(*main);
        for (const std::string &w : t->get_arr_in_wavs()) add(w);
    }
    return paths;
}

std::vector<std::string> RenderQueue::get_target_path_to_reveal(const std::vector<uint64_t> &indexes) const {
    std::vector<std::string> paths;
    for (const RqTaskRef &t : get_tasks_from_array_index(indexes)) {
        if (!t || is_waiting(*t)) continue;
        const std::vector<std::string> out = t->get_arr_out_file_for_rq_ui();
        paths.insert(paths.end(), out.begin(), out.end());
    }
    return paths;
}

// ---- Preferences ----

std::vector<RqTaskRef> RenderQueue::set_default_img_seq_fps(ZRational fps) {
    std::vector<RqTaskRef> changed;
    for (const RqTaskRef &t : arr_tasks)
        if (t && !t->is_progress_or_pause() && t->set_default_fps_img_seq(fps)) changed.push_back(t);
    return changed;
}

std::vector<RqTaskRef> RenderQueue::set_default_alpha_interpret(uint32_t alpha) {
    std::vector<RqTaskRef> changed;
    for (const RqTaskRef &t : arr_tasks)
        if (t && !t->is_progress_or_pause() && t->set_default_alpha_mode(alpha)) changed.push_back(t);
    return changed;
}

std::vector<RqTaskRef> RenderQueue::reload_vfr_files(const GlobalSettings &settings) {
    std::vector<RqTaskRef> reloaded;
    for (const RqTaskRef &t : arr_tasks) {
        if (!t || t->is_progress_or_pause() || !t->is_vfr()) continue;
        t->set_max_vfr_params(settings);
        t->reload_medias();
        reloaded.push_back(t);
    }
    return reloaded;
}
