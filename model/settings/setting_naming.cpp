#include "model/settings/setting_naming.h"

#include <cstdio>

#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/path.h"
#include "platform/foundation/unicode_edit.h"
#include "platform/foundation/xml_writer.h"

namespace {

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

const char *yes_no(bool v) { return v ? "YES" : "NO"; }

bool is_yes(const std::string *t) { return t && *t == "YES"; }

// Absent, not a number, negative or above 32 bits gives 0 and false.
bool read_u32(const std::string *t, uint32_t *out) {
    uint64_t v = 0;
    const bool ok = number_text_to_uint(t, UINT32_MAX, &v);
    *out = uint32_t(v);
    return ok;
}

}  // namespace

TxtReplaceRef SettingNamingSrcNameTxtReplace::init() { return std::make_shared<SettingNamingSrcNameTxtReplace>(); }

void SettingNamingSrcNameTxtReplace::set_for_space_process(uint32_t mode) {
    txt_find = mode == 1 || mode == 2 ? " " : "";
    txt_replace = mode == 2 ? "_" : "";
}

std::string SettingNamingSrcNameTxtReplace::apply_txt_replace(const std::string &text) const {
    if (is_no_op()) return text;
    return unicode_replace_all(text, txt_find, txt_replace, !match_case);
}

std::string SettingNamingSrcNameTxtReplace::get_name_for_ui() const {
    if (is_no_op()) return "Do nothing";
    if (txt_replace.empty()) return "Remove : '" + txt_find + "'";
    return "'" + txt_find + "' -> '" + txt_replace + "'";
}

void SettingNamingSrcNameTxtReplace::set_from_xml_dict(const XmlAttributes &a) {
    const std::string *f = find_attr(a, "find"), *r = find_attr(a, "replace");
    txt_find = f ? *f : "";
    txt_replace = r ? *r : "";
    match_case = is_yes(find_attr(a, "match_case"));
}

void SettingNamingSrcNameTxtReplace::write(XmlStreamWriter &w) const {
    w.start_element("naming_txt_replace");
    w.attribute("find", txt_find);
    if (!txt_replace.empty()) w.attribute("replace", txt_replace);
    w.attribute("match_case", yes_no(match_case));
    w.end_element();
}

Json SettingNamingSrcNameTxtReplace::get_json_dict() const {
    Json d = Json::object();
    d["find"] = txt_find;
    if (!txt_replace.empty()) d["replace"] = txt_replace;
    if (!match_case) d["match_case"] = false;
    return d;
}

std::string SettingNamingSrcNameTxtReplace::set_from_json_dict(const Json &dict) {
    if (!dict.is_object()) return "Invalid json data (expected Json object for data)";
    const auto f = dict.find("find");
    if (f == dict.end() || !f->is_string()) {
        zlog("Invalid json txt find : %s", json_dump_pretty(dict).c_str());
        return "invalid data for 'find'";
    }
    txt_find = f->get<std::string>();
    const auto r = dict.find("replace");
    txt_replace = r != dict.end() && r->is_string() ? r->get<std::string>() : "";
    const auto m = dict.find("match_case");
    if (m != dict.end() && m->is_boolean())
        match_case = m->get<bool>();
    else if (m != dict.end() && m->is_number())
        match_case = m->get<double>() != 0.0;
    else
        match_case = true;
    return "";
}

TxtReplaceRef SettingNamingSrcNameTxtReplace::mutableCopyWithZone() const {
    return std::make_shared<SettingNamingSrcNameTxtReplace>(*this);
}

bool SettingNamingSrcNameTxtReplace::is_equal_to_txt_replace(const SettingNamingSrcNameTxtReplace &o) const {
    return txt_find == o.txt_find && txt_replace == o.txt_replace && match_case == o.match_case;
}

std::string SettingNamingSrcNameTxtReplace::description() const {
    return "Find : " + txt_find + " ; Replace : " + txt_replace + " ; Match case : " + yes_no(match_case);
}

bool compare_txt_replace_arrays(const std::vector<TxtReplaceRef> &a, const std::vector<TxtReplaceRef> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (!a[i] || !b[i]) {
            if (a[i] != b[i]) return false;
        } else if (!a[i]->is_equal_to_txt_replace(*b[i])) {
            return false;
        }
    }
    return true;
}

SettingNamingRef SettingNaming::init() { return std::make_shared<SettingNaming>(); }

void SettingNaming::set_default_mask_video() { naming_mask = "[src_name]_[codec]"; }

void SettingNaming::set_default_mask_audio() { naming_mask = "[src_name]"; }

void SettingNaming::set_arr_src_txt_replace(const std::vector<TxtReplaceRef> &rules) {
    arr_txt_replace.clear();
    for (const TxtReplaceRef &r : rules)
        if (r) arr_txt_replace.push_back(r->mutableCopyWithZone());
}

void SettingNaming::add_txt_replace_from_xml_attributes(const XmlAttributes &attributes) {
    TxtReplaceRef r = SettingNamingSrcNameTxtReplace::init();
    r->set_from_xml_dict(attributes);
    arr_txt_replace.push_back(r);
}

std::string SettingNaming::get_folder_path_from_src_folder(const std::string &src) const {
    if (folder_mode != 1 || !custom_folder || custom_folder->empty()) return src;
    const std::string &custom = *custom_folder;
    if (keep_folder_hierarchy_mode == 0) return custom;
    const int64_t n = nb_src_folders_to_keep_ignore;
    if (keep_folder_hierarchy_mode == 1 && n == 0) return custom;
    const std::vector<std::string> comps = path_components(src);
    const int64_t count = int64_t(comps.size());
    std::string relative;
    if (!src.empty() && count >= 2) {
        int64_t first = keep_folder_hierarchy_mode == 1 ? count - n : n + 1;
        if (first < 1) first = 1;
        for (int64_t i = first; i < count; i++) {
            // A mount point under /Volumes is never repeated.
            if (i == 1 && comps[1] == "Volumes") continue;
            relative = path_append_component(relative, comps[size_t(i)]);
        }
    }
    return relative.empty() ? custom : path_append_component(custom, relative);
}

std::string SettingNaming::get_folder_mode_for_xml() const { return folder_mode != 0 ? "1" : "0"; }

bool SettingNaming::set_folder_mode_from_xml_val(const std::string *text) {
    uint32_t v = 0;
    if (!read_u32(text, &v)) {
        zlog("Error : invalid folder mode : %s", text ? text->c_str() : "(null)");
        return false;
    }
    if (v > 1) {
        printf("Unknown SettingNaming_FolderMode val : %u", v);
        zlog("Error : invalid folder mode : %s", text->c_str());
        return false;
    }
    folder_mode = v;
    return true;
}

void SettingNaming::set_from_xml_dict(const XmlAttributes &a) {
    set_folder_mode_from_xml_val(find_attr(a, "folder_mode"));
    const std::string *t = find_attr(a, "custom_folder");
    custom_folder = t ? std::optional<std::string>(*t) : std::nullopt;
    t = find_attr(a, "naming_mask");
    naming_mask = t ? std::optional<std::string>(*t) : std::nullopt;
    uint32_t v = 0;
    read_u32(find_attr(a, "nb_src_folders_to_keep_ignore"), &v);
    nb_src_folders_to_keep_ignore = v;
    read_u32(find_attr(a, "keep_folder_hierarchy_mode"), &v);
    if (v > 2) {
        printf("Unknown HapStand_KeepFolderHierarchyMode val : %u (default no)", v);
        v = 0;
    }
    keep_folder_hierarchy_mode = v;
    read_u32(find_attr(a, "space_char_process"), &v);
    if (v > 2) {
        printf("Unknown HapStand_SpaceCharProcess val : %u (default no)", v);
        v = 0;
    }
    space_char_process = v;
    force_upper_case = is_yes(find_attr(a, "force_upper_case"));
    keep_versioning_at_end = is_yes(find_attr(a, "keep_versioning_at_end"));
    is_enabled_txt_replace = is_yes(find_attr(a, "enabled_txt_replace"));
}

void SettingNaming::write(XmlStreamWriter &w) const {
    w.attribute("folder_mode", get_folder_mode_for_xml());
    w.attribute("custom_folder", custom_folder.value_or(""));
    w.attribute("nb_src_folders_to_keep_ignore", number_text_from_uint(nb_src_folders_to_keep_ignore));
    w.attribute("keep_folder_hierarchy_mode", keep_folder_hierarchy_mode == 1   ? "1"
                                              : keep_folder_hierarchy_mode == 2 ? "2"
                                                                                : "0");
    w.attribute("naming_mask", naming_mask.value_or(""));
    w.attribute("enabled_txt_replace", yes_no(is_enabled_txt_replace));
    w.attribute("space_char_process", space_char_process == 1 ? "1" : space_char_process == 2 ? "2" : "0");
    w.attribute("force_upper_case", yes_no(force_upper_case));
    w.attribute("keep_versioning_at_end", yes_no(keep_versioning_at_end));
    for (const TxtReplaceRef &r : arr_txt_replace)
        if (r) r->write(w);
}

SettingNamingRef SettingNaming::mutableCopyWithZone() const {
    SettingNamingRef c = std::make_shared<SettingNaming>(*this);
    c->set_arr_src_txt_replace(arr_txt_replace);
    return c;
}

// An absent text equals an empty one: the file form writes an absent folder or mask as an
// empty value, and a rule read back must equal the rule written.
bool SettingNaming::is_equal_to_setting_naming(const SettingNaming &o) const {
    return folder_mode == o.folder_mode && keep_folder_hierarchy_mode == o.keep_folder_hierarchy_mode &&
           nb_src_folders_to_keep_ignore == o.nb_src_folders_to_keep_ignore &&
           custom_folder.value_or("") == o.custom_folder.value_or("") &&
           naming_mask.value_or("") == o.naming_mask.value_or("") &&
           is_enabled_txt_replace == o.is_enabled_txt_replace && space_char_process == o.space_char_process &&
           force_upper_case == o.force_upper_case && keep_versioning_at_end == o.keep_versioning_at_end &&
           compare_txt_replace_arrays(arr_txt_replace, o.arr_txt_replace);
}

std::string SettingNaming::description() const {
    const char *hierarchy = keep_folder_hierarchy_mode == 1   ? "Keep parent folders"
                            : keep_folder_hierarchy_mode == 2 ? "Ignore root folders"
                                                              : "No keep hierarchy";
    std::string rules = "(";
    for (const TxtReplaceRef &r : arr_txt_replace)
        if (r) rules += "\n    " + r->description();
    rules += arr_txt_replace.empty() ? ")" : "\n)";
    char head[160];
    snprintf(head, sizeof(head), "SettingNaming : Mode : %lu (Mode Keep hierarchy : %s / Nb Level to keep : %u)",
             (unsigned long)folder_mode, hierarchy, nb_src_folders_to_keep_ignore);
    return std::string(head) + "; Custom Folder : " + custom_folder.value_or("(null)") +
           " ; Naming Mask : " + naming_mask.value_or("(null)") +
           "\n\tEnbled txt replace : " + (is_enabled_txt_replace ? "Yes" : "No") + " : " + rules +
           " ; Keep versioning at end : " + (keep_versioning_at_end ? "1" : "0");
}
