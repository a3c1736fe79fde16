// The preferences document: writer and reader.
#include <cstdio>

#include "model/settings/global_settings.h"
#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

const char *yes_no(bool v) { return v ? "YES" : "NO"; }

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

void param(XmlStreamWriter &w, const char *key, const std::string &value) {
    w.start_element("params");
    w.attribute("k", key);
    w.attribute("v", value);
    w.end_element();
}

void param(XmlStreamWriter &w, const char *key, bool value) { param(w, key, std::string(yes_no(value))); }
void param_u(XmlStreamWriter &w, const char *key, uint64_t value) { param(w, key, number_text_from_uint(value)); }

// A string preference that is none is left out.
void param_opt(XmlStreamWriter &w, const char *key, const std::optional<std::string> &value) {
    if (value) param(w, key, *value);
}

void param_color(XmlStreamWriter &w, const char *key, const ZelColorFloat &color) {
    const ZelColor8b c = color.to_8b();
    w.start_element("params");
    w.attribute("k", key);
    w.attribute("r", number_text_from_uint(c.red));
    w.attribute("g", number_text_from_uint(c.green));
    w.attribute("b", number_text_from_uint(c.blue));
    if (c.alpha != 255) w.attribute("a", number_text_from_uint(c.alpha));
    w.end_element();
}

// The number rule: a non-negative integer that fits in 64 bits; false otherwise.
bool number(const std::string *text, uint64_t *v) { return number_text_to_uint(text, INT64_MAX, v); }

// The enumeration rule.
uint32_t enum_rule(const std::string *text, uint32_t highest, const char *message) {
    uint64_t v = 0;
    if (!number(text, &v) || v > UINT32_MAX) return 0;
    if (v > highest) {
        printf(message, uint32_t(v));
        return 0;
    }
    return uint32_t(v);
}

// A ranged 32-bit value: stored when in [lo, hi], else logged with the value (0 when unreadable).
void ranged(const std::string *text, uint64_t lo, uint64_t hi, uint32_t *field, const char *message) {
    uint64_t v = 0;
    if (!number(text, &v) || v > UINT32_MAX) v = 0;
    if (v < lo || v > hi) {
        zlog(message, (unsigned long)v);
        return;
    }
    *field = uint32_t(v);
}

// A frame-rate term: 1 to 4294967294; unreadable changes nothing without a message.
void rate_term(const std::string *text, uint32_t *field, const char *message) {
    uint64_t v = 0;
    if (!number(text, &v)) return;
    if (v < 1 || v > 4294967294u) {
        zlog(message, (unsigned long)v);
        return;
    }
    *field = uint32_t(v);
}

bool color_rule(const XmlAttributes &a, ZelColorFloat *out) {
    uint64_t rgb[3] = {0, 0, 0};
    const char *keys[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; i++) {
        if (!number(find_attr(a, keys[i]), &rgb[i]) || rgb[i] > 255) {
            zlog("ERREUR : Fail to parse RGB component : %s", xml_attributes_description(a).c_str());
            return false;
        }
    }
    uint64_t alpha = 255;
    if (!number(find_attr(a, "a"), &alpha) || alpha > 255) alpha = 255;
    out->set_with_8b_r_and_g_and_b_and_a(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]), uint8_t(alpha));
    return true;
}

}  // namespace

std::string GlobalSettings::get_xml_str_content() const {
    XmlStreamWriter w;
    w.start_document("1.0", "UTF-8");
    w.start_element("root");
    param(w, "version", std::string("2"));
    param(w, "ui_bitrate_unit_bits", ui_bitrate_unit_bits);
    param(w, "ui_bandwidth_gpu_unit_bits", ui_bandwidth_gpu_unit_bits);
    param(w, "ui_filesize_unit_ki", ui_filesize_unit_ki);
    param_color(w, "ui_letterbox_pillarbox_color", ui_letterbox_pillarbox_color);
    param_color(w, "ui_custom_bg_color", ui_custom_bg_color);
    param_color(w, "ui_custom_checkerboard_color_1", ui_custom_checkerboard_color_1);
    param_color(w, "ui_custom_checkerboard_color_2", ui_custom_checkerboard_color_2);
    param(w, "ui_remember_windows_view_settings", ui_remember_windows_view_settings);
    param(w, "ui_allow_remove_main_audio_track", ui_allow_remove_main_audio_track);
    param(w, "ui_audio_notif", ui_audio_notif);
    param(w, "ui_show_splash_screen", ui_show_splash_screen);
    param(w, "ui_notif_desktop_end_of_rq", ui_notif_desktop_end_of_rq);
    param(w, "ui_notif_desktop_end_of_task_success", ui_notif_desktop_end_of_task_success);
    param(w, "ui_notif_desktop_end_of_task_warning", ui_notif_desktop_end_of_task_warning);
    param(w, "ui_notif_desktop_process_error", ui_notif_desktop_process_error);
    param(w, "import_auto_load_wave_files", import_auto_load_wave_files);
    param_u(w, "default_img_fps_num", default_img_fps.num);
    param_u(w, "default_img_fps_den", default_img_fps.den);
    param(w, "vfr_limit_max_fps", vfr_limit_max_fps);
    param_u(w, "max_vfr_to_cfr_fps_num", max_vfr_to_cfr_fps.num);
    param_u(w, "max_vfr_to_cfr_fps_den", max_vfr_to_cfr_fps.den);
    param_u(w, "default_alpha_mode", default_alpha_mode >= 1 && default_alpha_mode <= 3 ? default_alpha_mode + 1 : 1);
    param(w, "enable_conditional_presets", enable_conditional_presets);
    for (const ConditionalPresetRef &cp : arr_conditional_presets) cp->write(w);
    param_opt(w, "default_preset_video_with_alpha", default_preset_video_with_alpha);
    param_opt(w, "default_preset_video_without_alpha", default_preset_video_without_alpha);
    param_opt(w, "default_preset_audio_only", default_preset_audio_only);
    param(w, "force_ff_decoding", force_ff_decoding);
    param_u(w, "snapshot_format", snapshot_format != 0 ? 1 : 0);
    param_u(w, "snapshot_output_folder_mode", snapshot_output_folder_mode <= 2 ? snapshot_output_folder_mode : 0);
    param_opt(w, "snapshot_custom_folder", snapshot_custom_folder);
    param_u(w, "snapshot_time_naming", snapshot_time_naming <= 3 ? snapshot_time_naming : 0);
    param_u(w, "snapshot_scaling_mode", snapshot_scaling_mode <= 2 ? snapshot_scaling_mode : 0);
    param_u(w, "snapshot_width", snapshot_width);
    param_u(w, "snapshot_height", snapshot_height);
    param_u(w, "snapshot_jpeg_quality", snapshot_jpeg_quality);
    glob_settings_edit_task->write(w);
    glob_settings_dialog_crop_divide->write(w);
    ui_bool_state->write(w);
    ui_double_state->write(w);
    if (main_window_settings) {
        w.start_element("panel");
        w.attribute("name", "main_win");
        main_window_settings->write(w);
        w.end_element();
    }
    if (last_preset) last_preset->write(w);
    w.end_document();
    return w.text();
}

void GlobalSettings::set_attributes_with_xml_dict(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k) {
        zlog("Invalid xml params (nokey) : %s", xml_attributes_description(attributes).c_str());
        return;
    }
    const std::string &key = *k;
    const bool yes = v && *v == "YES";
    const struct {
        const char *key;
        bool GlobalSettings::*field;
    } booleans[] = {
        {"ui_bitrate_unit_bits", &GlobalSettings::ui_bitrate_unit_bits},
        {"ui_bandwidth_gpu_unit_bits", &GlobalSettings::ui_bandwidth_gpu_unit_bits},
        {"ui_filesize_unit_ki", &GlobalSettings::ui_filesize_unit_ki},
        {"ui_remember_windows_view_settings", &GlobalSettings::ui_remember_windows_view_settings},
        {"ui_allow_remove_main_audio_track", &GlobalSettings::ui_allow_remove_main_audio_track},
        {"ui_audio_notif", &GlobalSettings::ui_audio_notif},
        {"ui_show_splash_screen", &GlobalSettings::ui_show_splash_screen},
        {"ui_notif_desktop_end_of_rq", &GlobalSettings::ui_notif_desktop_end_of_rq},
        {"ui_notif_desktop_end_of_task_success", &GlobalSettings::ui_notif_desktop_end_of_task_success},
        {"ui_notif_desktop_end_of_task_warning", &GlobalSettings::ui_notif_desktop_end_of_task_warning},
        {"ui_notif_desktop_process_error", &GlobalSettings::ui_notif_desktop_process_error},
        {"import_auto_load_wave_files", &GlobalSettings::import_auto_load_wave_files},
        {"vfr_limit_max_fps", &GlobalSettings::vfr_limit_max_fps},
        {"enable_conditional_presets", &GlobalSettings::enable_conditional_presets},
        {"force_ff_decoding", &GlobalSettings::force_ff_decoding},
    };
    for (const auto &b : booleans) {
        if (key == b.key) {
            this->*b.field = yes;
            return;
        }
    }
    const struct {
        const char *key;
        ZelColorFloat GlobalSettings::*field;
    } colors[] = {
        {"ui_letterbox_pillarbox_color", &GlobalSettings::ui_letterbox_pillarbox_color},
        {"ui_custom_bg_color", &GlobalSettings::ui_custom_bg_color},
        {"ui_custom_checkerboard_color_1", &GlobalSettings::ui_custom_checkerboard_color_1},
        {"ui_custom_checkerboard_color_2", &GlobalSettings::ui_custom_checkerboard_color_2},
    };
    for (const auto &c : colors) {
        if (key == c.key) {
            ZelColorFloat color;
            if (color_rule(attributes, &color)) this->*c.field = color;
            return;
        }
    }
    const struct {
        const char *key;
        std::optional<std::string> GlobalSettings::*field;
    } texts[] = {
        {"default_preset_video_with_alpha", &GlobalSettings::default_preset_video_with_alpha},
        {"default_preset_video_without_alpha", &GlobalSettings::default_preset_video_without_alpha},
        {"default_preset_audio_only", &GlobalSettings::default_preset_audio_only},
        {"snapshot_custom_folder", &GlobalSettings::snapshot_custom_folder},
    };
    for (const auto &t : texts) {
        if (key == t.key) {
            this->*t.field = v ? std::optional<std::string>(*v) : std::nullopt;
            return;
        }
    }
    if (key == "ui_advanced_setting_ui") {
        glob_settings_edit_task->ui_mode = HapStand_UIParametersMode_Expert;
    } else if (key == "default_img_fps_num") {
        rate_term(v, &default_img_fps.num, "Error : invalid default fps num : %lu");
    } else if (key == "default_img_fps_den") {
        rate_term(v, &default_img_fps.den, "Error : invalid default fps den : %lu");
    } else if (key == "max_vfr_to_cfr_fps_num") {
        rate_term(v, &max_vfr_to_cfr_fps.num, "Error : invalid vfr to cfr fps num : %lu");
    } else if (key == "max_vfr_to_cfr_fps_den") {
        rate_term(v, &max_vfr_to_cfr_fps.den, "Error : invalid vfr to cfr fps den : %lu");
    } else if (key == "default_alpha_mode") {
        uint64_t n = 0;
        if (!number(v, &n) || n > UINT32_MAX) {
            zlog("Error : invalid default alpha : %lu", 0ul);
            return;
        }
        uint32_t mode = 0;
        if (n >= 1 && n <= 4) {
            mode = uint32_t(n) - 1;
        } else {
            printf("Unknown VideoSetting_SrcAlphaMode val : %u", uint32_t(n));
        }
        if (mode == 3) {
            zlog("Error : Invalid src alpha mdoe default (ignore)");
            return;
        }
        default_alpha_mode = mode;
    } else if (key == "snapshot_format") {
        snapshot_format = enum_rule(v, 1, "Unknown HapStandSnapshot_Format val : %u (default jpeg)");
    } else if (key == "snapshot_output_folder_mode") {
        snapshot_output_folder_mode =
            enum_rule(v, 2, "Unknown HapStandSnapshot_OutputFolderMode val : %u (default desktop)");
    } else if (key == "snapshot_time_naming") {
        uint64_t n = 0;
        snapshot_time_naming = number(v, &n) && n <= 3 ? uint32_t(n) : 0;
    } else if (key == "snapshot_scaling_mode") {
        snapshot_scaling_mode =
            enum_rule(v, 2, "Unknown HapStandSnapshot_ScalingMode val : %u (default same as source)");
    } else if (key == "snapshot_width") {
        ranged(v, 4, 65535, &snapshot_width, "Error : invalid snapshot width : %lu");
    } else if (key == "snapshot_height") {
        ranged(v, 4, 65535, &snapshot_height, "Error : invalid snapshot height : %lu");
    } else if (key == "snapshot_jpeg_quality") {
        ranged(v, 1, 100, &snapshot_jpeg_quality, "Error : invalid snapshot jpeg qual : %lu");
    }
}

void GlobalSettings::set_dialog_attributes_with_xml_dict(const XmlAttributes &attributes) {
    const std::string *d = find_attr(attributes, "d");
    if (!d) {
        zlog("Invalid dialog xml params (no dialog key) : %s", xml_attributes_description(attributes).c_str());
        return;
    }
    if (*d == "crop_divide")
        glob_settings_dialog_crop_divide->set_with_xml_attribute(attributes);
    else if (*d == "edit_task")
        glob_settings_edit_task->set_with_xml_attribute(attributes);
    else
        zlog("Unknown dialog key : %s", d->c_str());
}

void GlobalSettings::parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                                  const XmlAttributes &attributes) {
    if (element == "setting") {
        parse_setting = Setting::init();
        parse_is_inside_setting = true;
        return;
    }
    if (parse_is_inside_setting) {
        if (parse_setting)
            parse_setting->parser_didStartElement_namespaceURI_qualifiedName_attributes(element, attributes);
        return;
    }
    if (element == "params") {
        set_attributes_with_xml_dict(attributes);
    } else if (element == "dialog_params") {
        set_dialog_attributes_with_xml_dict(attributes);
    } else if (element == "ui_bool_setting") {
        ui_bool_state->set_entry_for_xml_attribute(attributes);
    } else if (element == "ui_double_setting") {
        ui_double_state->set_entry_for_xml_attribute(attributes);
    } else if (element == "panel") {
        PanelSettingsRef panel = PanelSettings::init_with_xml_dict(attributes);
        const std::string *name = find_attr(attributes, "name");
        if (!panel || !name) return;
        if (*name == "main_win")
            main_window_settings = panel;
        else
            zlog("Unknown panel name : %s", name->c_str());
    } else if (element == "conditional_preset") {
        _parse_conditional_preset = ConditionalPreset::init();
        _parse_conditional_preset->set_from_xml_dict(attributes);
    } else if (element == "preset_condition") {
        if (_parse_conditional_preset) _parse_conditional_preset->create_preset_condition_from_xml_dict(attributes);
    } else if (element == "preset_condition_data") {
        if (_parse_conditional_preset) _parse_conditional_preset->add_data_to_last_condition_from_xml_dict(attributes);
    }
}

void GlobalSettings::parser_didEndElement_namespaceURI_qualifiedName(const std::string &element) {
    if (element == "setting") {
        if (parse_setting) last_preset = parse_setting;
        parse_setting.reset();
        parse_is_inside_setting = false;
    } else if (parse_is_inside_setting) {
        if (parse_setting) parse_setting->parser_didEndElement_namespaceURI_qualifiedName(element);
    } else if (element == "conditional_preset") {
        if (_parse_conditional_preset) arr_conditional_presets.push_back(_parse_conditional_preset);
        _parse_conditional_preset.reset();
    }
}
