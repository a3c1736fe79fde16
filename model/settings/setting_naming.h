#pragma once
// Naming rule of one kind of output: output folder (the source's or a custom one, which may
// repeat part of the source's folders), file-name mask and source-name options, with the
// find/replace rules applied to the source name; and its XML form.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/settings/property.h"
#include "platform/foundation/json.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

// One find/replace rule on the source name.
class SettingNamingSrcNameTxtReplace {
public:
    std::string txt_find;
    std::string txt_replace;
    bool match_case = true;
    bool isSelected = false;  // list selection in the interface only

    static std::shared_ptr<SettingNamingSrcNameTxtReplace> init();
    // The space rule of a naming: 2 replaces each " " by "_", 1 removes it, others do nothing.
    void set_for_space_process(uint32_t mode);
    // Every occurrence of the find text replaced (case folded unless `match_case`, canonical
    // equivalents matching); a rule with an empty find text changes nothing.
    std::string apply_txt_replace(const std::string &text) const;
    bool is_no_op() const { return txt_find.empty(); }
    // The rule's line in the rule list.
    std::string get_name_for_ui() const;
    // "find", "replace" as they are (absent: ""); "match_case" YES only for "YES".
    void set_from_xml_dict(const XmlAttributes &attributes);
    // One empty `naming_txt_replace` element.
    void write(XmlStreamWriter &w) const;
    Json get_json_dict() const;
    // "" on success, else the error text.
    std::string set_from_json_dict(const Json &dict);
    std::shared_ptr<SettingNamingSrcNameTxtReplace> mutableCopyWithZone() const;
    // Find, replacement and match-case flag; the selection is not compared.
    bool is_equal_to_txt_replace(const SettingNamingSrcNameTxtReplace &other) const;
    std::string description() const;
};
using TxtReplaceRef = std::shared_ptr<SettingNamingSrcNameTxtReplace>;

bool compare_txt_replace_arrays(const std::vector<TxtReplaceRef> &a, const std::vector<TxtReplaceRef> &b);

class SettingNaming {
public:
    ZQ_PROPERTY(bool, is_enabled_txt_replace, setIs_enabled_txt_replace) = false;
    ZQ_PROPERTY(bool, force_upper_case, setForce_upper_case) = false;
    ZQ_PROPERTY(bool, keep_versioning_at_end, setKeep_versioning_at_end) = false;
    // SettingNaming_FolderMode: 0 the source's folder, 1 a custom folder.
    ZQ_PROPERTY(uint32_t, folder_mode, setFolder_mode) = 0;
    // HapStand_KeepFolderHierarchyMode: 0 none, 1 keep the last N folders, 2 drop the first N.
    ZQ_PROPERTY(uint32_t, keep_folder_hierarchy_mode, setKeep_folder_hierarchy_mode) = 0;
    ZQ_PROPERTY(uint32_t, nb_src_folders_to_keep_ignore, setNb_src_folders_to_keep_ignore) = 0;
    // HapStand_SpaceCharProcess: 0 keep, 1 remove, 2 replace by "_".
    ZQ_PROPERTY(uint32_t, space_char_process, setSpace_char_process) = 0;
    ZQ_PROPERTY(std::optional<std::string>, custom_folder, setCustom_folder);
    ZQ_PROPERTY(std::optional<std::string>, naming_mask, setNaming_mask);
    ZQ_PROPERTY(std::vector<TxtReplaceRef>, arr_txt_replace, setArr_txt_replace);

    static std::shared_ptr<SettingNaming> init();
    void set_default_mask_video();  // "[src_name]_[codec]"
    void set_default_mask_audio();  // "[src_name]"
    // Keeps copies of the given rules.
    void set_arr_src_txt_replace(const std::vector<TxtReplaceRef> &rules);
    void add_txt_replace_from_xml_attributes(const XmlAttributes &attributes);
    // The folder the output goes to, for the folder of the source ("" for none).
    std::string get_folder_path_from_src_folder(const std::string &src_folder) const;
    std::string get_folder_mode_for_xml() const;
    bool set_folder_mode_from_xml_val(const std::string *text);
    // Every scalar field and the two texts; the rule list is left alone.
    void set_from_xml_dict(const XmlAttributes &attributes);
    // Attributes and rule children of the element the caller opened.
    void write(XmlStreamWriter &w) const;
    std::shared_ptr<SettingNaming> mutableCopyWithZone() const;
    bool is_equal_to_setting_naming(const SettingNaming &other) const;
    std::string description() const;
};
using SettingNamingRef = std::shared_ptr<SettingNaming>;
