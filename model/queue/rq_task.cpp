#include "model/queue/rq_task.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>

#include "platform/core/log.h"
#include "platform/foundation/path.h"
#include "platform/foundation/uuid.h"

namespace {

// Given, existing, and not a folder (a link counts as what it points to).
bool is_present_file(const std::optional<std::string> &path) {
    struct stat st;
    return path && !path->empty() && stat(path->c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string rq_task_state_text(uint64_t state) {
    static const char *const kTexts[9] = {"Queue",        "Edit",   "Progress",    "Pause",    "Cancel",
                                          "CancelDelete", "Succes", "End warning", "End Error"};
    if (state <= 8) return kTexts[state];
    zlog("Unknown state : %" PRIu64, state);
    return "Unknown";
}

uint32_t audio_layout_channel_count(uint32_t layout) {
    static const uint32_t kCounts[5] = {1, 2, 6, 4, 8};
    if (layout <= 4) return kCounts[layout];
    printf("ERR : Unknown audio channel layout : %u\n", layout);
    return 0;
}

RqTask::RqTask() : uuid(uuid_random_text()), setting(Setting::init()), analyse_auto_crop_value_(CropItem::init()) {
    crop_scale_init(&target_crop_scale);
}

// ---- Creation and copies ----

RqTaskRef RqTask::init_with_main_filepath_and_settings(const std::string &path, const GlobalSettingsRef &settings) {
    RqTaskRef t = std::make_shared<RqTask>();
    t->glob_settings = settings ? settings : GlobalSettings::init();
    t->in_main_file = MediaInfoObj::init_from_filepath_and_settings(path, *t->glob_settings);
    if (t->in_main_file->have_error()) t->error = t->in_main_file->error;
    if (!t->error) {
        t->guess_audio_layout();
        t->refresh_cache_target_properties();
    }
    return t;
}

RqTaskRef RqTask::mutableCopyWithZone() const {
    RqTaskRef c = std::make_shared<RqTask>();
    c->error = error;
    c->uuid = uuid;
    c->glob_settings = glob_settings;
    c->in_main_file = in_main_file ? in_main_file->mutableCopyWithZone() : nullptr;
    c->in_point = in_point;
    c->out_point = out_point;
    c->arr_in_wav.clear();
    for (const MediaInfoObjRef &w : arr_in_wav)
        if (w) c->arr_in_wav.push_back(w->mutableCopyWithZone());
    c->audio_layout = audio_layout;
    c->state = state;
    for (const OutputFilepathRef &o : arr_out_path_hap)
        if (o) c->arr_out_path_hap.push_back(o->mutableCopyWithZone());
    for (const OutputFilepathRef &o : arr_out_path_wav)
        if (o) c->arr_out_path_wav.push_back(o->mutableCopyWithZone());
    c->rq_date = rq_date;
    c->setting = setting ? setting->mutableCopyWithZone() : Setting::init();
    c->progress_info = progress_info;
    c->arr_logs = arr_logs;
    c->have_target_hap = have_target_hap;
    c->have_target_smart_rendering = have_target_smart_rendering;
    c->error_target_render = error_target_render;
    c->target_codec_hap = target_codec_hap;
    c->target_crop_scale = target_crop_scale;
    c->target_audio_channels = target_audio_channels;
    c->target_audio_channel_after_analyse = target_audio_channel_after_analyse;
    for (const NamingDataRef &n : arr_naming_data)
        if (n) c->arr_naming_data.push_back(n->mutableCopyWithZone());
    c->str_smart_rendering_pvw = str_smart_rendering_pvw;
    c->str_crop_pvw = str_crop_pvw;
    c->have_crop_error = have_crop_error;
    c->str_transform_info = str_transform_info;
    c->str_scale_pvw = str_scale_pvw;
    c->have_scale_error = have_scale_error;
    c->str_scale_smart_pvw = str_scale_smart_pvw;
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    c->analyse_is_silent_track_ = analyse_is_silent_track_;
    c->analyse_normalization_gain_ = analyse_normalization_gain_;
    c->analyse_have_autocrop_results_ = analyse_have_autocrop_results_;
    c->analyse_auto_crop_value_ =
        analyse_auto_crop_value_ ? analyse_auto_crop_value_->mutableCopyWithZone() : CropItem::init();
    return c;
}

RqTaskRef RqTask::duplicate_task() const {
    RqTaskRef c = mutableCopyWithZone();
    c->uuid = uuid_random_text();
    c->state = RqTaskState_Queue;
    c->error.reset();
    c->arr_logs.clear();
    c->progress_info = ProgressTaskInfo();
    c->rq_date = std::chrono::system_clock::now();
    c->reset_render_path();
    c->refresh_cache_target_properties();
    return c;
}

// ---- Sources ----

bool RqTask::reload_medias() {
    if (!in_main_file) return false;
    in_main_file->reload_media();
    if (in_main_file->have_error()) {
        error = in_main_file->error;
        return false;
    }
    sanitize_in_out_point();
    for (const MediaInfoObjRef &w : arr_in_wav) {
        if (!w) continue;
        w->reload_media();
        if (w->have_error()) {
            error = w->error;
            return false;
        }
    }
    return true;
}

void RqTask::reset_status() {
    state = RqTaskState_Queue;
    arr_logs.clear();
    progress_info = ProgressTaskInfo();
    reset_render_path();
    reload_medias();
    if (!in_main_file || in_main_file->have_error()) state = RqTaskState_EndError;
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_is_silent_track_.reset();
    analyse_normalization_gain_.reset();
    analyse_have_autocrop_results_.reset();
    if (!analyse_auto_crop_value_) analyse_auto_crop_value_ = CropItem::init();
    analyse_auto_crop_value_->set_default_mode_edges_crop();
}

void RqTask::reset_render_path() {
    for (const OutputFilepathRef &o : arr_out_path_hap)
        if (o) o->reset_render_path();
    for (const OutputFilepathRef &o : arr_out_path_wav)
        if (o) o->reset_render_path();
}

void RqTask::guess_audio_layout() {
    uint64_t m = in_main_file ? in_main_file->get_concat_audio_mapping() : 0;
    for (const MediaInfoObjRef &w : arr_in_wav)
        if (w) m |= w->get_concat_audio_mapping();
    if (m == 0)
        audio_layout = HapStand_AudioLayout_Mono;
    else if (m & 0xC0)
        audio_layout = HapStand_AudioLayout_7_1;
    else if (m & 0x30)
        audio_layout = HapStand_AudioLayout_5_1;
    else if (m & 0x0C)
        audio_layout = HapStand_AudioLayout_DualStereo;
    else if (m == 1)
        audio_layout = HapStand_AudioLayout_Mono;
    else
        audio_layout = HapStand_AudioLayout_Stereo;
}

bool RqTask::check_input_files_exists() {
    std::vector<std::optional<std::string>> paths = {get_filepath_main_file()};
    for (const std::string &p : get_arr_in_wavs()) paths.push_back(p);
    size_t missing = 0;
    for (const std::optional<std::string> &p : paths) {
        if (is_present_file(p)) continue;
        missing++;
        error_target_render = "Missing file : " + p.value_or("(null)");
    }
    if (missing >= 2) error_target_render = std::to_string(missing) + " missing files";
    return missing == 0;
}

std::optional<std::string> RqTask::get_filepath_main_file() const {
    return in_main_file ? in_main_file->filepath : std::nullopt;
}

std::optional<std::string> RqTask::get_folderpath_main_file() const {
    const std::optional<std::string> p = get_filepath_main_file();
    if (!p) return std::nullopt;
    return path_folder(*p);
}

std::string RqTask::get_basename_main_file_for_ui() const {
    if (in_main_file && in_main_file->is_img_seq() && in_main_file->img_seq_parser)
        return in_main_file->img_seq_parser->get_basename_ui();
    return path_last_component(get_filepath_main_file().value_or(""));
}

std::string RqTask::get_basename_no_ext_main_file() const {
    if (in_main_file && in_main_file->is_img_seq() && in_main_file->img_seq_parser)
        return in_main_file->img_seq_parser->basename;
    return path_name_without_extension(get_filepath_main_file().value_or(""));
}

std::vector<std::string> RqTask::get_arr_in_wavs() const {
    std::vector<std::string> paths;
    for (const MediaInfoObjRef &w : arr_in_wav)
        if (w && w->filepath) paths.push_back(*w->filepath);
    return paths;
}

std::string RqTask::get_preset_name() const { return setting ? setting->get_preset_name_for_ui() : "Custom"; }
bool RqTask::is_img_seq() const { return in_main_file && in_main_file->is_img_seq(); }
bool RqTask::have_video_in() const { return in_main_file && in_main_file->have_video(); }
bool RqTask::have_video_in_alpha() const { return in_main_file && in_main_file->have_video_with_alpha(); }
bool RqTask::is_vfr() const { return in_main_file && in_main_file->is_vfr(); }

bool RqTask::need_alpha_conversion_process() const {
    if (!in_main_file || !setting || !in_main_file->have_video_with_alpha_with_media_interpret()) return false;
    const uint32_t alpha = in_main_file->get_alpha_interpretation_with_media_interpret();
    return (alpha == 0 && setting->vid_alpha_conversion == 2) || (alpha == 1 && setting->vid_alpha_conversion == 1);
}

bool RqTask::have_audio_in() const {
    if (in_main_file && in_main_file->have_useful_audio_for_layout(audio_layout)) return true;
    for (const MediaInfoObjRef &w : arr_in_wav)
        if (w && w->have_useful_audio_for_layout(audio_layout)) return true;
    return false;
}

uint32_t RqTask::get_src_interpret_fps_mode(bool *applies) const {
    const bool on = have_video_in() && in_main_file->media_interpret;
    if (applies) *applies = have_video_in();
    return on ? in_main_file->media_interpret->obj.interpret_fps : 0;
}

uint32_t RqTask::get_src_alpha_mode(bool *applies) const {
    const bool on = have_video_in_alpha() && in_main_file->media_interpret;
    if (applies) *applies = have_video_in_alpha();
    return on ? in_main_file->media_interpret->obj.alpha_mode : 0;
}

uint32_t RqTask::get_src_video_range_mode(bool *applies) const {
    const bool yuv = have_video_in() && in_main_file->is_video_in_yuv();
    if (applies) *applies = yuv;
    return yuv && in_main_file->media_interpret ? in_main_file->media_interpret->obj.video_range : 0;
}

ZRational RqTask::get_src_interpret_fps_val_as_rat() const {
    return have_video_in() ? in_main_file->get_file_fps() : ZRational{25, 1};
}

double RqTask::get_src_interpret_fps_val() const {
    const ZRational r = get_src_interpret_fps_val_as_rat();
    return r.den != 0 ? double(r.num) / double(r.den) : 0.0;
}

std::string RqTask::get_src_interpret_fps_val_eval_str() const {
    if (!have_video_in() || !in_main_file->media_interpret) return "";
    return in_main_file->media_interpret->src_fps_custom_val_eval_str;
}

ConditionPresetFileInfo RqTask::get_conditional_preset_file_info() const {
    ConditionPresetFileInfo info = ConditionPresetFileInfo::init_with_filepath(get_filepath_main_file().value_or(""));
    info.filepath = get_filepath_main_file();
    info.width = in_main_file ? in_main_file->get_width() : 0;
    info.height = in_main_file ? in_main_file->get_height() : 0;
    info.have_video = have_video_in();
    info.have_video_with_alpha = have_video_in_alpha();
    info.have_audio = have_audio_in();
    return info;
}

// ---- Settings and source interpretation ----

void RqTask::set_new_setting(const Setting &s) {
    setting = s.mutableCopyWithZone();
    refresh_cache_target_properties();
}

bool RqTask::set_default_fps_img_seq(ZRational fps) {
    return in_main_file && in_main_file->set_default_fps_img_seq(fps);
}

bool RqTask::set_default_alpha_mode(uint32_t alpha) {
    return in_main_file && in_main_file->set_default_alpha_interpret(alpha);
}

void RqTask::set_max_vfr_params(const GlobalSettings &s) {
    if (in_main_file) in_main_file->set_vfr_global_settings_info_params(s);
}

void RqTask::update_selected_crop_from_ui(const CropItem &crop) {
    if (!setting || !in_main_file) return;
    setting->update_selected_crop_from_ui_with_video_width_and_video_height(crop, in_main_file->get_width(),
                                                                            in_main_file->get_height());
}

void RqTask::set_new_selected_crop_item(size_t index) {
    if (setting) setting->set_new_selected_crop_item(index);
}

bool RqTask::is_multicrop() const { return setting && setting->get_global_crop_mode() == 4; }
bool RqTask::is_autocrop() const { return setting && setting->get_global_crop_mode() == 5; }

// ---- In and out points ----

void RqTask::set_in_point(int32_t v) {
    in_point = v;
    sanitize_in_out_point();
}

void RqTask::set_out_point(int32_t v) {
    if (v != -1 && in_point >= 0 && in_point > v) in_point = -1;
    out_point = v;
    sanitize_in_out_point();
}

void RqTask::sanitize_in_out_point() {
    const int64_t n = in_main_file ? in_main_file->get_duration_frames() : 0;
    if (n == 0) return;
    if (in_point >= 0 && in_point >= n) in_point = -1;
    if (out_point >= 0 && out_point >= n) out_point = -1;
    if (out_point >= 0 && in_point >= 0 && out_point < in_point) out_point = -1;
}

// ---- State, errors, logs, progress ----

void RqTask::add_log_line(const std::optional<std::string> &line) {
    if (line) arr_logs.push_back(*line);
}

void RqTask::add_log_lines_from_arr(const std::vector<std::string> &lines) {
    arr_logs.insert(arr_logs.end(), lines.begin(), lines.end());
}

bool RqTask::set_progress_info(const ProgressTaskInfo &info) {
    if (progress_info.is_equal_to_progress_info(info)) return false;
    progress_info = info;
    return true;
}

bool RqTask::set_custom_out_path_at_index(const std::optional<std::string> &path, size_t index) {
    const std::vector<OutputFilepathRef> outputs = get_arr_out_filepath_obj();
    if (index >= outputs.size()) {
        zlog("Invalid index out file :%zud", index);
        return false;
    }
    outputs[index]->set_from_custom_filepath(path);
    return true;
}

std::string RqTask::description() const {
    std::string d = "RqTask : " + get_filepath_main_file().value_or("(null)") + " ; In : " + std::to_string(in_point) +
                    " ; Out : " + std::to_string(out_point) + "\nWavs : (";
    for (const std::string &w : get_arr_in_wavs()) d += "\n\t" + w;
    d += ")\nOut hap : (";
    for (const OutputFilepathRef &o : arr_out_path_hap)
        if (o) d += "\n\t" + o->description();
    d += ")\nOut wav : (";
    for (const OutputFilepathRef &o : arr_out_path_wav)
        if (o) d += "\n\t" + o->description();
    d += ")\n" + (setting ? setting->description() : std::string("(null)"));
    d += "\n" + progress_info.description();
    d += "\nState : " + rq_task_state_text(state);
    static const char *const kLayouts[5] = {"Mono", "Stereo", "5.1 LRCLfeLsRs", "Dual Stereo",
                                            "7.1 LRCLfeLssRssLrsRrs"};
    if (audio_layout <= 4) {
        d += std::string(" ; Layout : ") + kLayouts[audio_layout];
    } else {
        printf("ERR : Unknown audio channel layout : %u\n", audio_layout);
        d += " ; Layout : Unknown";
    }
    d += "\nLogs : (";
    for (const std::string &l : arr_logs) d += "\n\t" + l;
    return d + ")";
}
