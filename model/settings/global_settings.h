#pragma once
// The application's preferences: every user preference, the preset library, the conditional
// presets, the last preset, the remembered interface states; where the preferences file,
// the render-queue file and the preset folder lie; and which preset an imported file gets.
// Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/video_frame.h"
#include "model/settings/conditional_preset.h"
#include "model/settings/crop_autosplit.h"
#include "model/settings/property.h"
#include "model/settings/settings_list.h"
#include "model/settings/ui_state.h"
#include "model/settings/zel_color.h"

class GlobalSettings;
using GlobalSettingsRef = std::shared_ptr<GlobalSettings>;

// The frames of the screens present now; the interface shell implements it.
class PanelScreens {
public:
    virtual ~PanelScreens() = default;
    virtual std::vector<PanelRect> screen_frames() const = 0;
};

// An opaque colour from 8-bit components.
inline ZelColorFloat settings_color(uint8_t r, uint8_t g, uint8_t b) {
    ZelColorFloat c;
    c.set_with_8b_r_and_g_and_b_and_a(r, g, b, 255);
    return c;
}

enum HapStandSnapshot_Format : uint32_t { HapStandSnapshot_Format_Jpeg = 0, HapStandSnapshot_Format_Png = 1 };

class GlobalSettings {
public:
    ZQ_PROPERTY(bool, ui_bitrate_unit_bits, setUi_bitrate_unit_bits) = true;
    ZQ_PROPERTY(bool, ui_bandwidth_gpu_unit_bits, setUi_bandwidth_gpu_unit_bits) = true;
    ZQ_PROPERTY(bool, ui_filesize_unit_ki, setUi_filesize_unit_ki) = true;
    ZQ_PROPERTY(ZelColorFloat, ui_letterbox_pillarbox_color, setUi_letterbox_pillarbox_color) = settings_color(0, 0, 0);
    ZQ_PROPERTY(ZelColorFloat, ui_custom_bg_color, setUi_custom_bg_color) = settings_color(27, 43, 54);
    ZQ_PROPERTY(ZelColorFloat, ui_custom_checkerboard_color_1, setUi_custom_checkerboard_color_1) = settings_color(255, 255, 255);
    ZQ_PROPERTY(ZelColorFloat, ui_custom_checkerboard_color_2, setUi_custom_checkerboard_color_2) = settings_color(228, 85, 87);
    ZQ_PROPERTY(bool, ui_remember_windows_view_settings, setUi_remember_windows_view_settings) = true;
    ZQ_PROPERTY(bool, ui_allow_remove_main_audio_track, setUi_allow_remove_main_audio_track) = false;
    ZQ_PROPERTY(bool, ui_audio_notif, setUi_audio_notif) = true;
    ZQ_PROPERTY(bool, ui_show_splash_screen, setUi_show_splash_screen) = true;
    ZQ_PROPERTY(bool, ui_notif_desktop_end_of_rq, setUi_notif_desktop_end_of_rq) = true;
    ZQ_PROPERTY(bool, ui_notif_desktop_end_of_task_success, setUi_notif_desktop_end_of_task_success) = false;
    ZQ_PROPERTY(bool, ui_notif_desktop_end_of_task_warning, setUi_notif_desktop_end_of_task_warning) = false;
    ZQ_PROPERTY(bool, ui_notif_desktop_process_error, setUi_notif_desktop_process_error) = true;
    ZQ_PROPERTY(bool, import_auto_load_wave_files, setImport_auto_load_wave_files) = false;
    ZQ_PROPERTY(ZRational, default_img_fps, setDefault_img_fps) = {25, 1};
    ZQ_PROPERTY(bool, vfr_limit_max_fps, setVfr_limit_max_fps) = true;
    ZQ_PROPERTY(ZRational, max_vfr_to_cfr_fps, setMax_vfr_to_cfr_fps) = {50, 1};
    // VideoSetting_SrcAlphaMode: 1 premultiplied, 2 straight.
    ZQ_PROPERTY(uint32_t, default_alpha_mode, setDefault_alpha_mode) = 1;
    ZQ_PROPERTY(bool, enable_conditional_presets, setEnable_conditional_presets) = false;
    ZQ_PROPERTY(std::vector<ConditionalPresetRef>, arr_conditional_presets, setArr_conditional_presets);
    ZQ_PROPERTY(std::optional<std::string>, default_preset_video_with_alpha, setDefault_preset_video_with_alpha) = "";
    ZQ_PROPERTY(std::optional<std::string>, default_preset_video_without_alpha,
                setDefault_preset_video_without_alpha) = "";
    ZQ_PROPERTY(std::optional<std::string>, default_preset_audio_only, setDefault_preset_audio_only) = "";
    ZQ_PROPERTY(bool, force_ff_decoding, setForce_ff_decoding) = false;
    ZQ_PROPERTY(uint32_t, snapshot_format, setSnapshot_format) = 0;                          // 0 JPEG, 1 PNG
    ZQ_PROPERTY(uint32_t, snapshot_output_folder_mode, setSnapshot_output_folder_mode) = 0;  // desktop, source, custom
    ZQ_PROPERTY(std::optional<std::string>, snapshot_custom_folder, setSnapshot_custom_folder) = "";
    ZQ_PROPERTY(uint32_t, snapshot_time_naming, setSnapshot_time_naming) = 0;
    ZQ_PROPERTY(uint32_t, snapshot_scaling_mode, setSnapshot_scaling_mode) = 0;
    ZQ_PROPERTY(uint32_t, snapshot_width, setSnapshot_width) = 1920;
    ZQ_PROPERTY(uint32_t, snapshot_height, setSnapshot_height) = 1080;
    ZQ_PROPERTY(uint32_t, snapshot_jpeg_quality, setSnapshot_jpeg_quality) = 90;

    // Owned objects.
    SettingsListRef settings_list;  // null when the preset folder cannot be made
    SettingRef last_preset;
    std::shared_ptr<GlobalSettingsEditTask> glob_settings_edit_task = GlobalSettingsEditTask::init();
    std::shared_ptr<GlobalSettingsDialogCropDivide> glob_settings_dialog_crop_divide =
        GlobalSettingsDialogCropDivide::init();
    std::shared_ptr<SettingBoolState> ui_bool_state = SettingBoolState::init();
    std::shared_ptr<SettingsDoubleState> ui_double_state = SettingsDoubleState::init();
    PanelSettingsRef main_window_settings;
    // Where the loaded window frame is checked; none skips the check.
    const PanelScreens *screens = nullptr;

    // Reader state of a load.
    SettingRef parse_setting;
    bool parse_is_inside_setting = false;
    ConditionalPresetRef _parse_conditional_preset;

    // Defaults, owned objects, and the library of the preset folder (made when missing).
    static GlobalSettingsRef init();

    void load_xml_settings();
    // False (logged) when the folder or the file could not be written; the old file stays.
    bool save_xml_settings();

    static std::optional<std::string> get_prefs_folder_path();
    static std::optional<std::string> get_prefs_path();
    static std::optional<std::string> get_renderqueue_path();
    static std::optional<std::string> get_and_create_preset_folder_path();
    static bool create_pref_dir();
    // Makes a folder and its parents; false with the reason logged.
    static bool create_folder(const std::optional<std::string> &path);

    // The ten factory presets, each saved unless its file is already there.
    void create_default_preset();
    // The preset of a source when no conditional preset decides; may be the library's own
    // object or the stored last preset (whose name may be cleared here).
    SettingRef get_last_preset_with_vid_and_aud_and_have_alpha(bool have_video, bool have_audio, bool have_alpha);
    // The preset of an imported file; never null.
    SettingRef get_default_preset_for_conditional_file_info(const ConditionPresetFileInfo &info);

    void set_last_preset(const Setting &setting) { last_preset = setting.mutableCopyWithZone(); }
    void set_main_win_params(const PanelWindow *window) {
        main_window_settings = PanelSettings::init_with_window(window);
    }
    void set_default_img_fps_from_ration(ZRational r) { default_img_fps = r; }
    void set_max_fps_vfr_fps_from_ration(ZRational r) { max_vfr_to_cfr_fps = r; }

    bool get_ui_bool_state_default_val(const std::string &key, bool default_val) const {
        return ui_bool_state->get_val_for_key_and_default_val(key, default_val);
    }
    bool have_ui_bool_state(const std::string &key) const { return ui_bool_state->have_val_for_key(key); }
    void set_ui_bool_state_for_key(bool value, const std::string &key) { ui_bool_state->set_val_for_key(value, key); }
    bool is_trackpad_pan_enable() const { return get_ui_bool_state_default_val("ui_trackpad_pan_enable", true); }
    bool is_trackpad_zoom_enable() const { return get_ui_bool_state_default_val("ui_trackpad_zoom_enable", true); }
    void set_enable_trackpad_pan(bool v) { set_ui_bool_state_for_key(v, "ui_trackpad_pan_enable"); }
    void set_enable_trackpad_zoom(bool v) { set_ui_bool_state_for_key(v, "ui_trackpad_zoom_enable"); }

    // 0 premultiplied, 1 straight.
    uint32_t get_default_alpha_interpret() const;

    // ---- Preferences file ----
    std::string get_xml_str_content() const;
    void set_attributes_with_xml_dict(const XmlAttributes &attributes);
    void set_dialog_attributes_with_xml_dict(const XmlAttributes &attributes);
    void parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                      const XmlAttributes &attributes);
    void parser_didEndElement_namespaceURI_qualifiedName(const std::string &element);

private:
    void clear_parse_state();
};
