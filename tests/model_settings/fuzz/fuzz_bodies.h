#pragma once
// What the fuzz targets of the settings readers run on one input; the replay test runs the
// same bodies on the inputs kept in inputs/<target>/.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/settings/conditional_preset.h"
#include "model/settings/crop_item_list.h"
#include "model/settings/expr.h"
#include "model/settings/global_settings.h"
#include "model/settings/setting.h"
#include "model/settings/settings_list.h"
#include "model/settings/txt_replace_list.h"
#include "platform/foundation/file_io.h"

namespace settings_fuzz {

inline std::string scratch(const char *suffix) {
    const char *dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zelqa_settings_fuzz_" + std::to_string(getpid()) + suffix;
}

// A preset file: read it, write it again, read the written text back.
inline void setting_reader(const uint8_t *data, size_t size) {
    static const std::string path = scratch(".xml");
    write_file_atomic(path, data, size, nullptr);
    Setting s;
    s.set_from_xml_file(path);
    const std::string text = s.get_xml_str_content();
    write_file_atomic(path, text, nullptr);
    Setting back;
    if (!back.set_from_xml_file(path)) abort();  // our own output must always read
}

// A crop list file, JSON or CSV by the last byte; loaded items are written again.
inline void crop_list_reader(const uint8_t *data, size_t size) {
    static const std::string json = scratch(".json"), csv = scratch(".csv");
    const bool as_json = size > 0 && (data[size - 1] & 1);
    const std::string &path = as_json ? json : csv;
    write_file_atomic(path, data, size, nullptr);
    CropItemList list;
    list.load_from_file(path);
    list.write_to_file(path);
    CropItemList back;
    back.load_from_file(path);
}

inline void expression(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    int error = 0;
    expr_interpret(text.c_str(), &error);
    ExprEvaluate e;
    e.set_str(text);
    e.process_evaluate();
    e.get_int_in_range_and_max_v_and_default(-100, 100, 0);
    e.get_float_in_range_and_max_v_and_default(-100.0f, 100.0f, 0.0f);
}

// A preferences file: loaded, saved, loaded again; the second load must give the same document.
inline void prefs_reader(const uint8_t *data, size_t size) {
    static const std::string config = [] {
        const std::string dir = scratch("_config");
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        GlobalSettings::create_pref_dir();
        return dir;
    }();
    const std::string path = *GlobalSettings::get_prefs_path();
    write_file_atomic(path, data, size, nullptr);
    GlobalSettingsRef g = GlobalSettings::init();
    g->load_xml_settings();
    const std::string text = g->get_xml_str_content();
    if (!g->save_xml_settings()) abort();
    GlobalSettingsRef back = GlobalSettings::init();
    back->load_xml_settings();
    if (back->get_xml_str_content() != text) abort();
}

// A presets export file: read, written, read back to as many presets.
inline void presets_export_reader(const uint8_t *data, size_t size) {
    static const std::string path = scratch(".zqp");
    write_file_atomic(path, data, size, nullptr);
    SettingsListRef l = SettingsList::init_with_presets_file(path);
    l->get_preset_list_name();
    if (!l->write_preset_list_xml_to_url(path)) abort();
    SettingsListRef back = SettingsList::init_with_presets_file(path);
    if (back->get_nb_setting() != l->get_nb_setting()) abort();
}

// A JSON exchange file of text replacements or conditional presets (by the last byte):
// loaded, written, loaded back to as many items.
inline void json_exchange_reader(const uint8_t *data, size_t size) {
    static const std::string path = scratch(".json");
    write_file_atomic(path, data, size, nullptr);
    if (size > 0 && (data[size - 1] & 1)) {
        SettingNamingSrcNameTxtReplaceList l, back;
        l.load_from_file(path);
        l.write_to_file(path);
        back.load_from_file(path);
        if (back.arr_objs.size() != l.arr_objs.size()) abort();
    } else {
        ConditionalPresetList l, back;
        l.load_from_file(path);
        ConditionPresetFileInfo info = ConditionPresetFileInfo::init_with_filepath("/a/Clip_v2.MOV");
        info.width = 1920;
        for (const ConditionalPresetRef &p : l.arr_objs) {
            p->is_condition_valid_for_file(info);
            for (const PresetConditionRef &c : p->arr_conditions) c->get_name_for_ui();
        }
        l.write_to_file(path);
        back.load_from_file(path);
        if (back.arr_objs.size() != l.arr_objs.size()) abort();
    }
}

}  // namespace settings_fuzz
