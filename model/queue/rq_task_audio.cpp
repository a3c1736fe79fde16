// Audio inputs of a task and the results of its analysis pass.
#include <algorithm>

#include "model/queue/rq_task.h"
#include "platform/core/log.h"
#include "platform/foundation/path.h"
#include "platform/foundation/unicode_text.h"

namespace {

std::string ascii_lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool ends_with(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool RqTask::is_need_audio_analyse() const {
    if (!have_audio_out() || !setting) return false;
    return setting->aud_ignore_silent_track || setting->aud_gain_mode == 2 || setting->aud_gain_mode == 3;
}

bool RqTask::autocrop_applies() const { return have_video_in_alpha() && is_autocrop(); }

bool RqTask::is_need_video_analyse() const {
    return autocrop_applies() && (setting->vid_auto_crop_left || setting->vid_auto_crop_top ||
                                  setting->vid_auto_crop_right || setting->vid_auto_crop_bottom);
}

void RqTask::set_audio_analyse_results_and_dst_gain(bool silent, double gain_db) {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_is_silent_track_.set_value(silent);
    analyse_normalization_gain_.set_value(gain_db);
}

void RqTask::set_auto_crop_analyse_results(uint32_t top, uint32_t left, uint32_t right, uint32_t bottom) {
    // The setting is read before the lock: the lock guards the results only.
    const bool l = setting && setting->vid_auto_crop_left, t = setting && setting->vid_auto_crop_top;
    const bool r = setting && setting->vid_auto_crop_right, b = setting && setting->vid_auto_crop_bottom;
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_have_autocrop_results_.set_value(true);
    if (!analyse_auto_crop_value_) analyse_auto_crop_value_ = CropItem::init();
    CropItem &item = *analyse_auto_crop_value_;
    item.crop_left = l ? left : 0;
    item.crop_top = t ? top : 0;
    item.crop_right_width = r ? right : 0;
    item.crop_bottom_height = b ? bottom : 0;
}

bool RqTask::have_audio_out_after_analyse() const {
    if (!have_audio_out()) return false;
    const bool ignore_silent = setting && setting->aud_ignore_silent_track;
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return !(ignore_silent && analyse_is_silent_track_.is_true_and_set());
}

double RqTask::get_audio_gain_after_analyse() const {
    if (!have_audio_out_after_analyse() || !setting) return 0.0;
    switch (setting->aud_gain_mode) {
    case 0: return 0.0;
    case 1: return setting->aud_set_gain_val;
    case 2:
    case 3: {
        std::lock_guard<std::mutex> g(lock_analyse_results_);
        if (analyse_is_silent_track_.is_true_and_set()) return 0.0;
        if (analyse_normalization_gain_.is_set()) return analyse_normalization_gain_.get_value();
        zlog("Unset audio gain norm");
        return 0.0;
    }
    default: zlog("DEV : Unknown audio gain mode"); return 0.0;
    }
}

bool RqTask::is_audio_gain_set() const {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_normalization_gain_.is_set();
}

bool RqTask::have_crop_after_auto_crop_analyse() const {
    if (!autocrop_applies()) return false;
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_have_autocrop_results_.is_true_and_set();
}

CropItemRef RqTask::get_auto_crop_item_after_analyse() {
    const bool applies = autocrop_applies();
    // Tested, reset and copied in one hold of the lock: the analysis pass may be storing it.
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    if (!analyse_auto_crop_value_) analyse_auto_crop_value_ = CropItem::init();
    if (!applies || !analyse_have_autocrop_results_.is_true_and_set()) {
        analyse_auto_crop_value_->set_default_mode_edges_crop();
        analyse_auto_crop_value_->set_no_transform();
    }
    return analyse_auto_crop_value_->mutableCopyWithZone();
}

OptionalBool RqTask::analyse_is_silent_track() const {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_is_silent_track_;
}

void RqTask::setAnalyse_is_silent_track(const OptionalBool &v) {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_is_silent_track_ = v;
}

OptionalDouble RqTask::analyse_normalization_gain() const {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_normalization_gain_;
}

void RqTask::setAnalyse_normalization_gain(const OptionalDouble &v) {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_normalization_gain_ = v;
}

OptionalBool RqTask::analyse_have_autocrop_results() const {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_have_autocrop_results_;
}

void RqTask::setAnalyse_have_autocrop_results(const OptionalBool &v) {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_have_autocrop_results_ = v;
}

CropItemRef RqTask::analyse_auto_crop_value() const {
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    return analyse_auto_crop_value_ ? analyse_auto_crop_value_->mutableCopyWithZone() : CropItem::init();
}

void RqTask::setAnalyse_auto_crop_value(const CropItem &v) {
    CropItemRef copy = v.mutableCopyWithZone();
    std::lock_guard<std::mutex> g(lock_analyse_results_);
    analyse_auto_crop_value_ = std::move(copy);
}

// ---- Audio mapping edits ----

void RqTask::delete_main_audio_track(uint64_t index) {
    if (in_main_file && in_main_file->info && index < in_main_file->info->nb_audio_tracks)
        in_main_file->info->audio_tracks[index].enable = false;
}

void RqTask::delete_ext_wav_audio_track(uint64_t index) {
    if (index < arr_in_wav.size()) arr_in_wav.erase(arr_in_wav.begin() + ptrdiff_t(index));
}

void RqTask::set_audio_mapping_main_audio_track_with_src_ch_with_mapping(uint64_t track, uint64_t channel,
                                                                         uint64_t mask) {
    MediaInfo *info = in_main_file ? in_main_file->info : nullptr;
    if (!info || track >= info->nb_audio_tracks) return;
    AudioInfo &t = info->audio_tracks[track];
    if (channel < t.nb_channels && t.channel_mapping) t.channel_mapping[channel] = mask;
}

void RqTask::set_audio_mapping_ext_wav_audio_track_with_src_ch_with_mapping(uint64_t wav, uint64_t channel,
                                                                            uint64_t mask) {
    if (wav >= arr_in_wav.size() || !arr_in_wav[wav]) return;
    MediaInfo *info = arr_in_wav[wav]->info;
    if (!info || info->nb_audio_tracks < 1) return;
    AudioInfo &t = info->audio_tracks[0];
    if (channel < t.nb_channels && t.channel_mapping) t.channel_mapping[channel] = mask;
}

std::vector<std::string> RqTask::reorganize_wavs_paths(const std::vector<std::string> &paths) {
    std::vector<std::string> sorted = paths;
    std::stable_sort(sorted.begin(), sorted.end(), [](const std::string &a, const std::string &b) {
        return unicode_compare_case_insensitive(a, b) < 0;
    });
    static const char *const kSuffixes[] = {"_l", "_r", "_c", "_lfe", "_ls", "_rs", "_lss", "_rss", "_lrs", "_rrs"};
    std::vector<bool> placed(sorted.size(), false);
    std::vector<std::string> out;
    for (const char *suffix : kSuffixes) {
        for (size_t i = 0; i < sorted.size(); i++) {
            if (placed[i] || !ends_with(ascii_lower(path_without_extension(sorted[i])), suffix)) continue;
            placed[i] = true;
            out.push_back(sorted[i]);
            break;
        }
    }
    for (size_t i = 0; i < sorted.size(); i++)
        if (!placed[i]) out.push_back(sorted[i]);
    return out;
}

std::vector<std::string> RqTask::try_import_ext_audio_file_at_index(const std::vector<std::string> &paths,
                                                                    uint64_t index) {
    std::vector<std::string> errors, kept;
    for (const std::string &p : paths) {
        const std::string ext = ascii_lower(path_extension(p));
        if (ext == "wav")
            kept.push_back(p);
        else
            errors.push_back("Fail to load : " + p + " : Invalid extension : " + ext + " (Supported extension .wav)");
    }
    if (!glob_settings) glob_settings = GlobalSettings::init();
    std::vector<MediaInfoObjRef> collected;
    for (const std::string &p : reorganize_wavs_paths(kept)) {
        MediaInfoObjRef w = MediaInfoObj::init_from_filepath_and_settings(p, *glob_settings);
        if (w->have_error()) {
            errors.push_back("Fail to load : " + p + " : " + w->error.value_or(""));
            continue;
        }
        if (!w->is_wav_file()) {
            errors.push_back("Fail to load : " + p + " : Unsupported ext file");
            continue;
        }
        w->update_mapping_for_mono_wav_file();
        collected.push_back(w);
    }
    if (!collected.empty()) {
        const size_t at = index < arr_in_wav.size() ? size_t(index) : arr_in_wav.size();
        arr_in_wav.insert(arr_in_wav.begin() + ptrdiff_t(at), collected.begin(), collected.end());
        const uint32_t old_layout = audio_layout;
        const uint32_t old_channels = audio_layout_channel_count(old_layout);
        guess_audio_layout();
        // An import never takes channels away from the layout.
        if (audio_layout != HapStand_AudioLayout_7_1 && audio_layout_channel_count(audio_layout) < old_channels)
            audio_layout = old_layout;
    }
    return errors;
}

bool RqTask::load_ext_audio_file_from_xml_path(const std::optional<std::string> &path) {
    if (!path) return false;
    if (ascii_lower(path_extension(*path)) != "wav") {
        zlog("Invalid extension : %s", path->c_str());
        return false;
    }
    if (!glob_settings) glob_settings = GlobalSettings::init();
    MediaInfoObjRef w = MediaInfoObj::init_from_filepath_and_settings(*path, *glob_settings);
    if (w->have_error()) {
        zlog("Fail to load : %s : %s", path->c_str(), w->error.value_or("").c_str());
        return false;
    }
    arr_in_wav.push_back(w);
    return true;
}
