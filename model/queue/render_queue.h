#pragma once
// The render queue: tasks in rendering order (index 0 first), every edit the main window
// makes to it, lookups, the choice of the next task and of the running tasks that must give
// way, and the queue file. The queue never starts, pauses or stops processing itself:
// operations that touch running or paused tasks return their uuids (or the changed tasks)
// for the caller to hand to the task pool.
//
// Main thread only; nothing here takes a lock. Index lists may hold repeats and entries out
// of range.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/queue/rq_task.h"
#include "model/settings/global_settings.h"
#include "model/settings/settings_list.h"
#include "platform/foundation/xml_reader.h"

class RenderQueue;
using RenderQueueRef = std::shared_ptr<RenderQueue>;

// The index returned for a uuid the queue does not hold.
constexpr uint64_t kRqNoIndex = UINT64_MAX;

class RenderQueue : private XmlEventHandler {
public:
    ZQ_PROPERTY(GlobalSettingsRef, glob_settings, setGlob_settings);  // shared, never copied
    ZQ_PROPERTY(std::vector<RqTaskRef>, arr_tasks, setArr_tasks);
    // Reader state, used only while the queue file is read.
    ZQ_PROPERTY(RqTaskRef, parse_rqtask, setParse_rqtask);
    ZQ_PROPERTY(ParseAudioTrackRef, parse_audio_track, setParse_audio_track);
    ZQ_PROPERTY(bool, parse_is_inside_main_file, setParse_is_inside_main_file) = false;
    ZQ_PROPERTY(int64_t, parse_index_out_wav, setParse_index_out_wav) = -1;
    ZQ_PROPERTY(bool, parse_is_inside_setting, setParse_is_inside_setting) = false;
    ZQ_PROPERTY(bool, is_inside_naming_video_hap, setIs_inside_naming_video_hap) = false;
    ZQ_PROPERTY(bool, is_inside_naming_audio_wav, setIs_inside_naming_audio_wav) = false;

    static RenderQueueRef init_with_glob_settings(const GlobalSettingsRef &settings);
    void clear_memory() { arr_tasks.clear(); }
    // They do nothing: the queue belongs to the main thread.
    void lock_rq() {}
    void unlock_rq() {}
    // Same settings object, a copy of every task (no task shared).
    RenderQueueRef mutableCopyWithZone() const;
    std::string description() const;

    // ---- Edits ----
    void insert_new_tasks_at_index(const std::vector<RqTaskRef> &tasks, uint64_t index);
    // Uuids of the removed tasks that were running or paused.
    std::vector<std::string> remove_tasks_at_index(const std::vector<uint64_t> &indexes);
    bool is_need_move_at_index_for_arr(uint64_t target, const std::vector<uint64_t> &indexes) const;
    void move_tasks_at_index_for_arr(uint64_t target, const std::vector<uint64_t> &indexes);
    // Uuids of the cancelled tasks that were running or paused.
    std::vector<std::string> cancel_tasks_at_index(const std::vector<uint64_t> &indexes);
    // The reset tasks. Paused ones still have a processing task in the pool: their uuids go to
    // *paused_uuids, for the caller to cancel before the task can start again.
    std::vector<RqTaskRef> reset_status_at_index(const std::vector<uint64_t> &indexes,
                                                 std::vector<std::string> *paused_uuids = nullptr);
    // Indexes of the duplicates in the new order.
    std::vector<uint64_t> duplicate_tasks_at_index(const std::vector<uint64_t> &indexes);
    void set_setting_for_arr(const Setting &setting, const std::vector<uint64_t> &indexes);
    // Indexes of the tasks whose setting became custom.
    std::vector<uint64_t> refresh_preset_name(const SettingsList &presets);
    bool set_custom_out_path_task_for_path_at_index(uint64_t task_index, const std::optional<std::string> &path,
                                                    uint64_t out_index);
    bool set_custom_out_path_task_from_uuid_for_path_at_index(const std::string &uuid,
                                                              const std::optional<std::string> &path,
                                                              uint64_t out_index);
    // Each given task takes the place of the queued task with its uuid.
    void overwrite_tasks(const std::vector<RqTaskRef> &tasks);
    // Sent to a stored copy: tasks that have left the waiting state in the live queue replace
    // their stored twins; stored running or paused tasks that the live queue no longer holds
    // become cancelled (nothing processes them any more).
    void overwrite_unqueue_task(const RenderQueue &live);
    // The tasks whose state changed.
    std::vector<RqTaskRef> set_state_for_uuids(uint64_t state, const std::vector<std::string> &uuids);

    // ---- Lookups and queries ----
    std::vector<RqTaskRef> get_tasks_from_array_index(const std::vector<uint64_t> &indexes) const;
    RqTaskRef get_task_by_index(uint64_t index) const;
    RqTaskRef get_task_by_uuid(const std::string &uuid) const;
    uint64_t get_index_task_by_uuid(const std::string &uuid) const;
    bool is_tasks_in_progress_or_pause(const std::vector<uint64_t> &indexes) const;
    bool can_edit_tasks(const std::vector<uint64_t> &indexes) const;
    bool have_task_not_ended() const;
    bool have_task_in_progress() const;
    // "reset_status", "edit", "move_to_top", "move_to_bottom", "reveal_target".
    std::map<std::string, bool> get_context_menu_state_for_tasks(const std::vector<uint64_t> &indexes) const;
    RqTaskRef get_next_task() const;
    std::vector<std::string> get_uuid_task_to_pause() const;
    std::vector<std::string> get_src_path_to_reveal(const std::vector<uint64_t> &indexes) const;
    std::vector<std::string> get_target_path_to_reveal(const std::vector<uint64_t> &indexes) const;

    // ---- Preferences ----
    // Running and paused tasks are left alone: their worker may be reading the source.
    std::vector<RqTaskRef> set_default_img_seq_fps(ZRational fps);
    std::vector<RqTaskRef> set_default_alpha_interpret(uint32_t alpha);
    std::vector<RqTaskRef> reload_vfr_files(const GlobalSettings &settings);

    // ---- Queue file ----
    std::string get_xml_str_content() const;
    // Atomic; a failure is logged and the old file stays.
    void save_to_xml(const std::optional<std::string> &path) const;
    // Appends every task that loads; a damaged file keeps the tasks read before the damage.
    void load_from_xml(const std::optional<std::string> &path);

private:
    void xml_start_element(const std::string &name, const XmlAttributes &attributes) override;
    void xml_end_element(const std::string &name) override;
    void reset_parse_state();
    // The enclosing "ext_wav_in" failed to load: its tracks are dropped.
    bool parse_ext_wav_failed_ = false;
};
