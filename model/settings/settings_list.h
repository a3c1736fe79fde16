#pragma once
// An ordered list of named presets: the preset library of a folder (one XML file per
// preset, saved and deleted together with the list), the contents of a presets export
// file, or a plain temporary list. Lookups by name are exact and return the first match.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/settings/setting.h"

class SettingsList;
using SettingsListRef = std::shared_ptr<SettingsList>;

class SettingsList {
public:
    std::string folder_path_preset;  // "" for a list without folder
    std::vector<SettingRef> arr_setting;
    // Presets refused while reading an export file or merging (names that cannot be file names).
    std::vector<std::string> arr_err_import_export;
    // Reader state of an export file.
    SettingRef parse_setting;
    bool is_inside_naming_video_hap = false;
    bool is_inside_naming_audio_wav = false;

    static SettingsListRef init();
    // The library of a folder: its files whose extension is "xml" in any case. None for none.
    static SettingsListRef init_from_folder(const std::optional<std::string> &folder);
    // The presets of an export file (may be empty).
    static SettingsListRef init_with_presets_file(const std::string &path);

    SettingRef get_setting_by_index(uint64_t index) const;
    // Index of the first non-custom preset with exactly that name, or -1.
    int64_t get_setting_index_by_name(const std::string &name) const;
    // The list's own object, or null.
    SettingRef get_setting_by_name(const std::optional<std::string> &name) const;
    bool is_preset_exists(const std::string &name) const { return get_setting_index_by_name(name) >= 0; }
    // False for none or "" (logged), *exists untouched; otherwise sets *exists.
    bool is_preset_name_valid_and_is_exists(const std::optional<std::string> &name, bool *exists) const;
    // Named, present here and equal to the preset of that name.
    bool is_setting_name_still_valid(const Setting &setting) const;
    bool is_other_list_have_preset_with_same_name(const SettingsList &other) const;
    bool is_empty() const { return arr_setting.empty(); }
    uint64_t get_nb_setting() const { return arr_setting.size(); }
    // Names of the non-custom presets, sorted case-insensitively for display.
    std::vector<std::string> get_preset_list_name() const;
    std::vector<std::string> get_preset_list_name_for_combo(bool with_custom) const;
    std::vector<std::string> get_preset_list_name_for_combo_prefs() const;
    std::string description() const;
    SettingsListRef mutableCopyWithZone() const;

    // Writes the preset's file first (atomically), then replaces the list entry of that name
    // by a deep copy appended at the end. False, with nothing changed, when overwrite is off
    // and the file exists, or when the preset cannot be written (custom, invalid name, no
    // folder, write failure).
    bool save_new_preset_overwrite(const Setting &setting, bool overwrite);
    void delete_preset_with_name(const std::string &name);
    void delete_preset_at_index(uint64_t index);
    void remove_preset_from_arr_at_index(int64_t index);
    // Saves every preset of the other list with overwrite on; refused names get an error line.
    void merge_preset_from_other_list(const SettingsList &other);
    // Export-file reader: appends the setting itself unless its name is already here.
    void add_setting_at_parse(const SettingRef &setting);

    std::string get_xml_str_content_all_presets() const;
    bool write_preset_list_xml_to_url(const std::string &path) const;

    void parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                      const XmlAttributes &attributes);
    void parser_didEndElement_namespaceURI_qualifiedName(const std::string &element);
};
