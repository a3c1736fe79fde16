#include "model/settings/global_settings.h"

#include "platform/core/log.h"
#include "platform/foundation/config_folder.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"
#include "platform/foundation/xml_reader.h"

namespace {

class PrefsReader : public XmlEventHandler {
public:
    explicit PrefsReader(GlobalSettings &g) : g_(g) {}
    void xml_start_element(const std::string &name, const XmlAttributes &attributes) override {
        g_.parser_didStartElement_namespaceURI_qualifiedName_attributes(name, attributes);
    }
    void xml_end_element(const std::string &name) override { g_.parser_didEndElement_namespaceURI_qualifiedName(name); }

private:
    GlobalSettings &g_;
};

}  // namespace

GlobalSettingsRef GlobalSettings::init() {
    auto g = std::make_shared<GlobalSettings>();
    const std::optional<std::string> presets = get_and_create_preset_folder_path();
    if (presets) g->settings_list = SettingsList::init_from_folder(presets);
    return g;
}

std::optional<std::string> GlobalSettings::get_prefs_folder_path() { return config_folder_path(); }

std::optional<std::string> GlobalSettings::get_prefs_path() {
    const std::optional<std::string> folder = get_prefs_folder_path();
    if (!folder) return std::nullopt;
    return path_append_component(*folder, "zelqa_hap_encoder_prefs.xml");
}

std::optional<std::string> GlobalSettings::get_renderqueue_path() {
    const std::optional<std::string> folder = get_prefs_folder_path();
    if (!folder) return std::nullopt;
    return path_append_component(*folder, "zelqa_hap_encoder_renderqueue.xml");
}

bool GlobalSettings::create_folder(const std::optional<std::string> &path) {
    if (!path) {
        zlog("Can't create directory (unset path)");
        return false;
    }
    if (path->empty()) {
        zlog("Can't create directory (empty path)");
        return false;
    }
    std::string error;
    if (!make_folder_with_parents(*path, &error)) {
        zlog("Failed to create directory \"%s\". Error: %s", path->c_str(), error.c_str());
        return false;
    }
    return true;
}

bool GlobalSettings::create_pref_dir() { return create_folder(get_prefs_folder_path()); }

std::optional<std::string> GlobalSettings::get_and_create_preset_folder_path() {
    const std::optional<std::string> folder = get_prefs_folder_path();
    if (!folder) return std::nullopt;
    const std::string presets = path_append_component(*folder, "ZelqaHapEncoder_Presets");
    if (!create_folder(presets)) return std::nullopt;
    return presets;
}

void GlobalSettings::clear_parse_state() {
    _parse_conditional_preset.reset();
    parse_setting.reset();
    parse_is_inside_setting = false;
}

void GlobalSettings::load_xml_settings() {
    clear_parse_state();
    const std::optional<std::string> path = get_prefs_path();
    if (!path || !is_existing_file(*path)) {
        create_default_preset();
        return;
    }
    PrefsReader reader(*this);
    std::string error;
    try {
        xml_parse_file(*path, reader, &error);  // a malformed file is read up to the error
    } catch (const std::exception &e) { zlog("Error during pref load : %s", e.what()); }
    if (main_window_settings && screens) main_window_settings->update_is_valid_pos(screens->screen_frames());
    clear_parse_state();
}

bool GlobalSettings::save_xml_settings() {
    try {
        const std::string text = get_xml_str_content();
        if (!create_pref_dir()) {
            zlog("Fail to create pref dir");
            return false;
        }
        const std::optional<std::string> path = get_prefs_path();
        std::string error;
        if (!path || !write_file_atomic(*path, text, &error)) {
            zlog("Fail to write prefs file : %s", error.c_str());
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        zlog("Error during pref save : %s", e.what());
        return false;
    }
}

void GlobalSettings::create_default_preset() {
    if (!settings_list) return;
    void (Setting::*const makers[])() = {
        &Setting::set_default_preset_hapa_fast,
        &Setting::set_default_preset_hapa_normal,
        &Setting::set_default_preset_hapa_slow,
        &Setting::set_default_preset_hapqa_fast,
        &Setting::set_default_preset_hapqa_normal,
        &Setting::set_default_preset_hapqa_slow,
        &Setting::set_default_preset_hapalphaonly_luma,
        &Setting::set_default_preset_hapalphaonly_alpha,
        &Setting::set_default_preset_hapr,
        &Setting::set_default_preset_wav_only,
    };
    for (auto make : makers) {
        SettingRef s = Setting::init();
        ((*s).*make)();
        settings_list->save_new_preset_overwrite(*s, false);
    }
}

SettingRef GlobalSettings::get_last_preset_with_vid_and_aud_and_have_alpha(bool have_video, bool have_audio,
                                                                           bool have_alpha) {
    const std::optional<std::string> *wanted = nullptr;
    if (have_video)
        wanted = have_alpha ? &default_preset_video_with_alpha : &default_preset_video_without_alpha;
    else if (have_audio)
        wanted = &default_preset_audio_only;
    if (wanted && settings_list) {
        SettingRef found = settings_list->get_setting_by_name(*wanted);
        if (found) return found;
    }
    SettingRef candidate = last_preset;
    if (!candidate) {
        candidate = Setting::init();
        candidate->set_default_preset_hapa_fast();
    }
    if (!candidate->setting_is_valid_for_video_and_audio(have_video, have_audio)) {
        candidate = Setting::init();
        if (have_video)
            candidate->set_default_preset_hapa_fast();
        else
            candidate->set_default_preset_wav_only();
    }
    if (!candidate->is_custom() && !(settings_list && settings_list->is_setting_name_still_valid(*candidate)))
        candidate->set_to_custom();
    return candidate;
}

SettingRef GlobalSettings::get_default_preset_for_conditional_file_info(const ConditionPresetFileInfo &info) {
    if (enable_conditional_presets) {
        for (const ConditionalPresetRef &cp : arr_conditional_presets) {
            if (!cp->is_enabled) continue;
            if (!cp->is_condition_valid_for_file(info)) {
                zlog("Condition not valid");
                continue;
            }
            const std::string &name = cp->get_preset_name_for_file(info);
            if (!name.empty()) {
                SettingRef found = settings_list ? settings_list->get_setting_by_name(name) : nullptr;
                if (!found) {
                    zlog("Can't found preset named : %s", name.c_str());
                    continue;
                }
                if (found->setting_is_valid_for_video_and_audio(info.have_video, info.have_audio)) return found;
            } else if (last_preset &&
                       last_preset->setting_is_valid_for_video_and_audio(info.have_video, info.have_audio)) {
                return last_preset;
            }
        }
        zlog("No conditional preset match");
    }
    return get_last_preset_with_vid_and_aud_and_have_alpha(info.have_video, info.have_audio,
                                                           info.have_video_with_alpha);
}

uint32_t GlobalSettings::get_default_alpha_interpret() const {
    if (default_alpha_mode == 1) return 0;
    if (default_alpha_mode == 2) return 1;
    zlog("Unknown default alpha interpret mode");
    return 0;
}
