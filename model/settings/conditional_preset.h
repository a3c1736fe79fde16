#pragma once
// Conditional presets: rules on an imported file's name, extension and size that choose the
// preset of its task; their element in the preferences file and their exchange file.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/settings/property.h"
#include "platform/foundation/json.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

// The facts of one imported file that conditions are tested against.
class ConditionPresetFileInfo {
public:
    std::optional<std::string> filepath;
    uint32_t width = 0, height = 0;
    bool have_video = false;
    bool have_video_with_alpha = false;
    bool have_audio = false;

    static ConditionPresetFileInfo init_with_filepath(const std::string &path);
    // Last component without extension; none without a path.
    std::optional<std::string> get_basename_no_ext() const;
    // Extension without the dot; "" without one.
    std::string get_extension() const;
};

enum HapStandConditionalPreset_Type : uint32_t {
    HapStandConditionalPreset_Type_Filename = 0,
    HapStandConditionalPreset_Type_Extension = 1,
    HapStandConditionalPreset_Type_Width = 2,
    HapStandConditionalPreset_Type_Height = 3,
};

// 0 ==, 1 !=, 2 <, 3 <=, 4 >, 5 >= (the file's value against the reference).
enum HapStandConditionalPreset_CompareMode : uint32_t {
    HapStandConditionalPreset_CompareMode_Equal = 0,
    HapStandConditionalPreset_CompareMode_NotEqual = 1,
    HapStandConditionalPreset_CompareMode_Smaller = 2,
    HapStandConditionalPreset_CompareMode_SmallerOrEqual = 3,
    HapStandConditionalPreset_CompareMode_Bigger = 4,
    HapStandConditionalPreset_CompareMode_BiggerOrEqual = 5,
};

class PresetConditionObj;
using PresetConditionRef = std::shared_ptr<PresetConditionObj>;

class PresetConditionObj {
public:
    bool is_selected = false;  // editor selection, never stored
    bool match_case = false;
    uint32_t mode = HapStandConditionalPreset_Type_Filename;
    uint32_t compare_mode = HapStandConditionalPreset_CompareMode_Equal;
    uint32_t ref_uint32_value = 0;
    std::vector<std::string> arr_text_contains;
    std::vector<std::string> arr_text_not_contains;

    static PresetConditionRef init_for_mode(uint32_t mode);
    bool need_text_contains_not_contains() const { return mode == 0 || mode == 1; }
    bool need_compare_mode() const { return mode == 2 || mode == 3; }

    bool is_condition_valid_for_file(const ConditionPresetFileInfo &info) const;
    bool is_uint32_val_valid(uint32_t value) const;
    bool is_valid_str(const std::string &text) const;
    bool is_src_str_valid_for_contains(const std::string &text) const;
    bool is_src_str_valid_for_not_contains(const std::string &text) const;
    // Empty entries dropped; for extensions one leading "." removed.
    std::vector<std::string> clean_array_for_mode(const std::vector<std::string> &list) const;
    std::string get_name_for_ui() const;

    void write(XmlStreamWriter &w) const;
    void set_from_xml_dict(const XmlAttributes &attributes);
    void set_data_from_xml_dict(const XmlAttributes &attributes);
    Json get_json_dict() const;
    // "" on success, else the error text.
    std::string set_from_json_dict(const Json &dict);
    PresetConditionRef mutableCopyWithZone() const;
    std::string description() const;
};

class ConditionalPreset;
using ConditionalPresetRef = std::shared_ptr<ConditionalPreset>;

// "Not found" index of the selection queries.
constexpr uint64_t kConditionalNotFound = UINT64_MAX;

class ConditionalPreset {
public:
    ZQ_PROPERTY(bool, is_enabled, setIs_enabled) = true;
    ZQ_PROPERTY(bool, is_selected, setIs_selected) = false;
    ZQ_PROPERTY(std::string, name, setName);
    ZQ_PROPERTY(std::string, preset_no_alpha, setPreset_no_alpha);
    ZQ_PROPERTY(std::string, preset_alpha, setPreset_alpha);
    ZQ_PROPERTY(std::string, preset_audio_only, setPreset_audio_only);
    ZQ_PROPERTY(std::vector<PresetConditionRef>, arr_conditions, setArr_conditions);

    static ConditionalPresetRef init();
    void add_default_condition();
    // Every condition holds (an empty list always holds).
    bool is_condition_valid_for_file(const ConditionPresetFileInfo &info) const;
    const std::string &get_preset_name_for_file(const ConditionPresetFileInfo &info) const;
    std::string get_name_for_ui() const;

    uint64_t get_preset_condition_count() const { return arr_conditions.size(); }
    uint64_t get_index_first_selected_item() const;
    PresetConditionRef get_first_selected_obj() const;
    void deselect_all_preset_condition();
    void select_first_preset_condition();
    void select_last_preset_condition();
    void select_preset_for_str_index(const std::string &text);
    void action_add_preset_condition();
    void remove_selected_preset_condition();

    void write(XmlStreamWriter &w) const;
    void set_from_xml_dict(const XmlAttributes &attributes);
    void create_preset_condition_from_xml_dict(const XmlAttributes &attributes);
    void add_data_to_last_condition_from_xml_dict(const XmlAttributes &attributes);
    Json get_json_dict() const;
    std::string set_from_json_dict(const Json &dict);
    ConditionalPresetRef mutableCopyWithZone() const;
    std::string description() const;
};

class ConditionalPresetList {
public:
    std::vector<ConditionalPresetRef> arr_objs;
    std::vector<std::string> arr_err_import_export;

    // Keeps copies of the given presets.
    void set_with_arr_obj(const std::vector<ConditionalPresetRef> &list);
    bool is_empty() const { return arr_objs.empty(); }
    std::vector<std::string> get_arr_name_conditional_preset_for_ui() const;
    uint64_t get_index_first_selected_item() const;
    ConditionalPresetRef get_first_selected_preset() const;
    void deselect_all_items();
    void select_last_item();
    // The items whose flag is set, over the shorter of the two lengths.
    std::vector<ConditionalPresetRef> get_list_enable_preset(const std::vector<bool> &states) const;
    void set_new_conditional_preset_obj_is_mode_add(const ConditionalPreset &preset, bool add);
    void select_conditional_preset_for_str_index(const std::string &text);
    void remove_first_selected_obj();

    bool load_from_file(const std::string &path);
    bool load_from_json_file(const std::string &path);
    bool write_to_file(const std::string &path);
    bool write_to_json_file(const std::string &path);
};
