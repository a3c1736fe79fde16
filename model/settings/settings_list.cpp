#include "model/settings/settings_list.h"

#include <algorithm>

#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"
#include "platform/foundation/unicode_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

std::string lower_ascii(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

class ListReader : public XmlEventHandler {
public:
    explicit ListReader(SettingsList &l) : l_(l) {}
    void xml_start_element(const std::string &name, const XmlAttributes &attributes) override {
        l_.parser_didStartElement_namespaceURI_qualifiedName_attributes(name, attributes);
    }
    void xml_end_element(const std::string &name) override { l_.parser_didEndElement_namespaceURI_qualifiedName(name); }

private:
    SettingsList &l_;
};

}  // namespace

SettingsListRef SettingsList::init() { return std::make_shared<SettingsList>(); }

SettingsListRef SettingsList::init_from_folder(const std::optional<std::string> &folder) {
    if (!folder) {
        zlog("ERROR : invalid preset folder");
        return nullptr;
    }
    SettingsListRef l = init();
    l->folder_path_preset = *folder;
    std::vector<std::string> names;
    std::string error;
    if (!list_folder(*folder, names, error)) {
        zlog("Fail to get file from folder : %s : %s", folder->c_str(), error.c_str());
        names.clear();
    }
    for (const std::string &entry : names) {
        if (lower_ascii(path_extension(entry)) != "xml") continue;
        const std::string path = path_append_component(*folder, entry);
        SettingRef s = Setting::init();
        // A preset whose name cannot be its own file name could be neither saved nor deleted.
        if (!s->set_from_xml_file(path) || !s->name || !is_valid_preset_name(*s->name)) {
            zlog("ERROR : fail to load : %s", path.c_str());
            continue;
        }
        l->arr_setting.push_back(s);
    }
    return l;
}

SettingsListRef SettingsList::init_with_presets_file(const std::string &path) {
    SettingsListRef l = init();
    ListReader reader(*l);
    std::string error;
    try {
        xml_parse_file(path, reader, &error);  // a parse error ends the reading quietly
    } catch (const std::exception &e) { zlog("Error during presets parse : %s", e.what()); }
    l->parse_setting.reset();
    l->is_inside_naming_video_hap = false;
    l->is_inside_naming_audio_wav = false;
    return l;
}

SettingRef SettingsList::get_setting_by_index(uint64_t index) const {
    if (index >= arr_setting.size()) {
        zlog("ERR : invalid setting index : %lu", (unsigned long)index);
        return nullptr;
    }
    return arr_setting[index];
}

int64_t SettingsList::get_setting_index_by_name(const std::string &name) const {
    for (size_t i = 0; i < arr_setting.size(); i++) {
        const Setting &s = *arr_setting[i];
        if (s.is_custom()) {
            zlog("Warning : custom preset in list");
            continue;
        }
        if (*s.name == name) return int64_t(i);
    }
    return -1;
}

SettingRef SettingsList::get_setting_by_name(const std::optional<std::string> &name) const {
    if (!name) return nullptr;
    const int64_t i = get_setting_index_by_name(*name);
    return i < 0 ? nullptr : arr_setting[size_t(i)];
}

bool SettingsList::is_preset_name_valid_and_is_exists(const std::optional<std::string> &name, bool *exists) const {
    if (!name) {
        zlog("Warning nil preset name");
        return false;
    }
    if (name->empty()) {
        zlog("Warning empty preset name");
        return false;
    }
    if (exists) *exists = is_preset_exists(*name);
    return true;
}

bool SettingsList::is_setting_name_still_valid(const Setting &setting) const {
    if (setting.is_custom()) return false;
    const SettingRef preset = get_setting_by_name(setting.name);
    return preset && preset->is_equal_to_setting(setting);
}

bool SettingsList::is_other_list_have_preset_with_same_name(const SettingsList &other) const {
    for (const SettingRef &s : other.arr_setting)
        if (s->name && is_preset_exists(*s->name)) return true;
    return false;
}

std::vector<std::string> SettingsList::get_preset_list_name() const {
    std::vector<std::string> names;
    for (const SettingRef &s : arr_setting)
        if (!s->is_custom()) names.push_back(*s->name);
    std::stable_sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return unicode_compare_case_insensitive(a, b) < 0;
    });
    return names;
}

std::vector<std::string> SettingsList::get_preset_list_name_for_combo(bool with_custom) const {
    std::vector<std::string> names;
    if (with_custom) names.push_back("Custom");
    for (std::string &n : get_preset_list_name()) names.push_back(std::move(n));
    return names;
}

std::vector<std::string> SettingsList::get_preset_list_name_for_combo_prefs() const {
    std::vector<std::string> names{"Last preset"};
    for (std::string &n : get_preset_list_name()) names.push_back(std::move(n));
    return names;
}

std::string SettingsList::description() const {
    std::string s = "SettingsList : (\n";
    for (const SettingRef &p : arr_setting) s += p->description() + ",\n";
    return s + ")";
}

SettingsListRef SettingsList::mutableCopyWithZone() const {
    SettingsListRef l = init();
    l->folder_path_preset = folder_path_preset;
    for (const SettingRef &s : arr_setting) l->arr_setting.push_back(s->mutableCopyWithZone());
    return l;
}

bool SettingsList::save_new_preset_overwrite(const Setting &setting, bool overwrite) {
    // A list without folder has nowhere to keep files (the path would be relative).
    const std::optional<std::string> folder =
        folder_path_preset.empty() ? std::nullopt : std::optional<std::string>(folder_path_preset);
    if (!overwrite && setting.is_preset_file_exists(folder)) return false;
    // The new file replaces the old one in one step; on failure the old file and the list stay.
    if (!setting.save_preset_file(folder)) return false;
    const int64_t old = get_setting_index_by_name(*setting.name);
    if (old >= 0) arr_setting.erase(arr_setting.begin() + old);
    arr_setting.push_back(setting.mutableCopyWithZone());
    return true;
}

void SettingsList::delete_preset_with_name(const std::string &name) {
    const int64_t i = get_setting_index_by_name(name);
    if (i >= 0) delete_preset_at_index(uint64_t(i));
}

void SettingsList::delete_preset_at_index(uint64_t index) {
    const SettingRef s = get_setting_by_index(index);
    if (!s) return;
    s->delete_preset_file(folder_path_preset.empty() ? std::nullopt : std::optional<std::string>(folder_path_preset));
    arr_setting.erase(arr_setting.begin() + int64_t(index));
}

void SettingsList::remove_preset_from_arr_at_index(int64_t index) {
    if (index < 0 || uint64_t(index) >= arr_setting.size()) {
        zlog("Invalid index for removing setting in array : %ld", (long)index);
        return;
    }
    arr_setting.erase(arr_setting.begin() + index);
}

void SettingsList::merge_preset_from_other_list(const SettingsList &other) {
    for (const SettingRef &s : other.arr_setting) {
        if (s->name && !is_valid_preset_name(*s->name)) {
            zlog("Invalid preset name : %s", s->name->c_str());
            arr_err_import_export.push_back("Invalid preset name : " + *s->name);
            continue;
        }
        save_new_preset_overwrite(*s, true);
    }
}

void SettingsList::add_setting_at_parse(const SettingRef &setting) {
    if (!setting) {
        zlog("Can't add nil setting");
        return;
    }
    if (setting->name && !is_valid_preset_name(*setting->name)) {
        zlog("Invalid preset name : %s", setting->name->c_str());
        arr_err_import_export.push_back("Invalid preset name : " + *setting->name);
        return;
    }
    if (setting->name && is_preset_exists(*setting->name)) return;
    arr_setting.push_back(setting);
}

std::string SettingsList::get_xml_str_content_all_presets() const {
    XmlStreamWriter w;
    w.start_document("1.0", "UTF-8");
    w.start_element("root");
    for (const SettingRef &s : arr_setting) s->write(w);
    w.end_document();
    return w.text();
}

bool SettingsList::write_preset_list_xml_to_url(const std::string &path) const {
    std::string error;
    if (!write_file_atomic(path, get_xml_str_content_all_presets(), &error)) {
        zlog("Fail to write presets file : %s", error.c_str());
        return false;
    }
    return true;
}

void SettingsList::parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                                const XmlAttributes &attributes) {
    if (element == "setting") {
        parse_setting = Setting::init();
        return;
    }
    if (!parse_setting) return;
    if (element == "naming_txt_replace" && !is_inside_naming_video_hap && !is_inside_naming_audio_wav) {
        zlog("Node txt replace invalide");
        return;
    }
    if (element == "naming_video_hap") is_inside_naming_video_hap = true;
    if (element == "naming_audio_wav") is_inside_naming_audio_wav = true;
    parse_setting->parser_didStartElement_namespaceURI_qualifiedName_attributes(element, attributes);
}

void SettingsList::parser_didEndElement_namespaceURI_qualifiedName(const std::string &element) {
    if (element == "setting") {
        add_setting_at_parse(parse_setting);
        parse_setting.reset();
        is_inside_naming_video_hap = false;
        is_inside_naming_audio_wav = false;
        return;
    }
    if (element == "naming_video_hap") is_inside_naming_video_hap = false;
    if (element == "naming_audio_wav") is_inside_naming_audio_wav = false;
    if (parse_setting) parse_setting->parser_didEndElement_namespaceURI_qualifiedName(element);
}
