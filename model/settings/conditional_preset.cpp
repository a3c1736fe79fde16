#include "model/settings/conditional_preset.h"

#include <cmath>
#include <cstdio>

#include "model/settings/json_items_file.h"
#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/path.h"
#include "platform/foundation/unicode_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

const char *const kModeNames[4] = {"Filename", "Extension", "Width", "Height"};
const char *const kModeJson[4] = {"filename", "extension", "width", "height"};
const char *const kCompareSymbols[6] = {"==", "!=", "<", "<=", ">", ">="};

const char *yes_no(bool v) { return v ? "YES" : "NO"; }
const char *yes_no_ui(bool v) { return v ? "Yes" : "No"; }

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

std::string attr_or_empty(const XmlAttributes &a, const char *key) {
    const std::string *v = find_attr(a, key);
    return v ? *v : std::string();
}

// The files' number rule for a 32-bit value; 0 when unreadable.
uint32_t number_u32(const std::string *text) {
    uint64_t v = 0;
    number_text_to_uint(text, UINT32_MAX, &v);
    return uint32_t(v);
}

// "is_enabled", "match_case": the truth of a number or boolean, else the fallback.
bool json_truth(const Json &dict, const char *key, bool fallback) {
    const auto it = dict.find(key);
    if (it == dict.end()) return fallback;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>() != 0.0;
    return fallback;
}

std::string json_string(const Json &dict, const char *key) {
    const auto it = dict.find(key);
    return it != dict.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::vector<std::string> json_strings(const Json &dict, const char *key) {
    std::vector<std::string> out;
    const auto it = dict.find(key);
    if (it == dict.end() || !it->is_array()) return out;
    for (const Json &e : *it) {
        if (e.is_string())
            out.push_back(e.get<std::string>());
        else
            zlog("Json read error : Expected string in array. Found (%s)", e.dump().c_str());
    }
    return out;
}

std::string join(const std::vector<std::string> &parts, const std::string &sep) {
    std::string s;
    for (size_t i = 0; i < parts.size(); i++) s += (i ? sep : "") + parts[i];
    return s;
}

std::string list_description(const std::vector<std::string> &list) {
    std::string s = "(";
    for (size_t i = 0; i < list.size(); i++) s += (i ? ", " : "") + list[i];
    return s + ")";
}

// Index text of the list views: a non-negative integer below the count, else not found.
uint64_t index_from_text(const std::string &text, uint64_t count) {
    uint64_t v = 0;
    if (!number_text_to_uint(&text, UINT32_MAX, &v) || v >= count) return kConditionalNotFound;
    return v;
}

}  // namespace

// ---- ConditionPresetFileInfo ----

ConditionPresetFileInfo ConditionPresetFileInfo::init_with_filepath(const std::string &path) {
    ConditionPresetFileInfo info;
    info.filepath = path;
    return info;
}

std::optional<std::string> ConditionPresetFileInfo::get_basename_no_ext() const {
    if (!filepath) return std::nullopt;
    return path_name_without_extension(*filepath);
}

std::string ConditionPresetFileInfo::get_extension() const { return filepath ? path_extension(*filepath) : ""; }

// ---- PresetConditionObj ----

PresetConditionRef PresetConditionObj::init_for_mode(uint32_t mode) {
    auto c = std::make_shared<PresetConditionObj>();
    c->mode = mode;
    return c;
}

std::vector<std::string> PresetConditionObj::clean_array_for_mode(const std::vector<std::string> &list) const {
    std::vector<std::string> out;
    for (std::string s : list) {
        if (mode == HapStandConditionalPreset_Type_Extension && !s.empty() && s[0] == '.') s.erase(0, 1);
        if (!s.empty()) out.push_back(std::move(s));
    }
    return out;
}

bool PresetConditionObj::is_src_str_valid_for_contains(const std::string &text) const {
    const std::vector<std::string> list = clean_array_for_mode(arr_text_contains);
    if (list.empty()) return true;
    for (const std::string &e : list)
        if (unicode_contains(text, e, !match_case)) return true;
    return false;
}

bool PresetConditionObj::is_src_str_valid_for_not_contains(const std::string &text) const {
    for (const std::string &e : clean_array_for_mode(arr_text_not_contains))
        if (unicode_contains(text, e, !match_case)) return false;
    return true;
}

bool PresetConditionObj::is_valid_str(const std::string &text) const {
    return is_src_str_valid_for_contains(text) && is_src_str_valid_for_not_contains(text);
}

bool PresetConditionObj::is_uint32_val_valid(uint32_t v) const {
    const uint32_t ref = ref_uint32_value;
    switch (compare_mode) {
    case 0: return v == ref;
    case 1: return v != ref;
    case 2: return v < ref;
    case 3: return v <= ref;
    case 4: return v > ref;
    case 5: return v >= ref;
    default: return false;
    }
}

bool PresetConditionObj::is_condition_valid_for_file(const ConditionPresetFileInfo &info) const {
    switch (mode) {
    case HapStandConditionalPreset_Type_Filename: return is_valid_str(info.get_basename_no_ext().value_or(""));
    case HapStandConditionalPreset_Type_Extension: return is_valid_str(info.get_extension());
    case HapStandConditionalPreset_Type_Width: return is_uint32_val_valid(info.width);
    case HapStandConditionalPreset_Type_Height: return is_uint32_val_valid(info.height);
    default: return false;
    }
}

std::string PresetConditionObj::get_name_for_ui() const {
    if (need_compare_mode()) {
        const char *symbol = compare_mode >= 1 && compare_mode <= 5 ? kCompareSymbols[compare_mode] : "==";
        return std::string(kModeNames[mode]) + " " + symbol + " " + std::to_string(ref_uint32_value);
    }
    std::vector<std::string> parts{mode == 1 ? "Extension" : "Filename"};
    const std::vector<std::string> in = clean_array_for_mode(arr_text_contains);
    const std::vector<std::string> out = clean_array_for_mode(arr_text_not_contains);
    if (!in.empty()) parts.push_back("Contains : '" + join(in, "', '") + "'");
    if (!out.empty()) parts.push_back("Not contains : '" + join(out, "', '") + "'");
    return join(parts, " ; ");
}

void PresetConditionObj::write(XmlStreamWriter &w) const {
    w.start_element("preset_condition");
    const uint32_t m = mode >= 1 && mode <= 3 ? mode : 0;
    w.attribute("mode", number_text_from_uint(m));
    if (m == 2 || m == 3) {
        w.attribute("compare_mode", number_text_from_uint(compare_mode >= 1 && compare_mode <= 5 ? compare_mode : 0));
        w.attribute("ref_value", number_text_from_uint(ref_uint32_value));
    } else {
        w.attribute("match_case", yes_no(match_case));
        for (const std::string &s : arr_text_contains) {
            w.start_element("preset_condition_data");
            w.attribute("k", "contains");
            w.attribute("v", s);
            w.end_element();
        }
        for (const std::string &s : arr_text_not_contains) {
            w.start_element("preset_condition_data");
            w.attribute("k", "not_contains");
            w.attribute("v", s);
            w.end_element();
        }
    }
    w.end_element();
}

void PresetConditionObj::set_from_xml_dict(const XmlAttributes &attributes) {
    uint32_t m = number_u32(find_attr(attributes, "mode"));
    if (m > 3) {
        printf("Unknown HapStandConditionalPreset_Type val : %u (default filename)", m);
        m = 0;
    }
    mode = m;
    const std::string *mc = find_attr(attributes, "match_case");
    match_case = mc && *mc == "YES";
    uint32_t c = number_u32(find_attr(attributes, "compare_mode"));
    if (c > 5) {
        printf("Unknown HapStandConditionalPreset_CompareMode val : %u (default equal)", c);
        c = 0;
    }
    compare_mode = c;
    ref_uint32_value = number_u32(find_attr(attributes, "ref_value"));
}

void PresetConditionObj::set_data_from_xml_dict(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k || !v) return;
    if (*k == "contains")
        arr_text_contains.push_back(*v);
    else if (*k == "not_contains")
        arr_text_not_contains.push_back(*v);
    else
        zlog("Unknown key conditional : %s", k->c_str());
}

Json PresetConditionObj::get_json_dict() const {
    Json d = Json::object();
    d["mode"] = mode <= 3 ? kModeJson[mode] : "filename";
    if (need_compare_mode()) {
        d["compare_mode"] = compare_mode <= 5 ? kCompareSymbols[compare_mode] : "==";
        d["ref_value"] = ref_uint32_value;
    } else {
        d["match_case"] = match_case;
        if (!arr_text_contains.empty()) d["contains"] = arr_text_contains;
        if (!arr_text_not_contains.empty()) d["not_contains"] = arr_text_not_contains;
    }
    return d;
}

std::string PresetConditionObj::set_from_json_dict(const Json &dict) {
    if (!dict.is_object()) return "Invalid json data (expected Json object for data)";
    const auto m = dict.find("mode");
    if (m == dict.end() || !m->is_string()) return "Fail to find mode key";
    const std::string ms = m->get<std::string>();
    uint32_t new_mode = 4;
    for (uint32_t i = 0; i < 4; i++)
        if (ms == kModeJson[i]) new_mode = i;
    if (new_mode > 3) return "Unknown mode value : " + ms;
    mode = new_mode;
    if (need_text_contains_not_contains()) {
        match_case = json_truth(dict, "match_case", false);
        arr_text_contains = json_strings(dict, "contains");
        arr_text_not_contains = json_strings(dict, "not_contains");
    }
    if (need_compare_mode()) {
        const auto c = dict.find("compare_mode");
        if (c != dict.end() && c->is_string()) {
            const std::string cs = c->get<std::string>();
            bool found = false;
            for (uint32_t i = 0; i < 6; i++)
                if (cs == kCompareSymbols[i]) {
                    compare_mode = i;
                    found = true;
                }
            if (!found) zlog("Unknown compare mode : %s", cs.c_str());
        }
        const auto r = dict.find("ref_value");
        ref_uint32_value = 0;
        if (r != dict.end() && (r->is_number() || r->is_boolean())) {
            // A negative, fractional overflow or out-of-range reference would silently
            // become another number.
            if (!json_to_u32(*r, &ref_uint32_value)) return "invalid 'ref_value' value";
        }
    }
    return "";
}

PresetConditionRef PresetConditionObj::mutableCopyWithZone() const {
    auto c = std::make_shared<PresetConditionObj>(*this);
    c->is_selected = false;
    return c;
}

std::string PresetConditionObj::description() const {
    std::vector<std::string> lines{std::string("Mode : ") + (mode <= 3 ? kModeNames[mode] : "Unknown")};
    if (need_text_contains_not_contains()) {
        lines.push_back("Contains : " + list_description(arr_text_contains));
        lines.push_back("NOT Contains : " + list_description(arr_text_not_contains));
        lines.push_back(std::string("Match case : ") + yes_no_ui(match_case));
    }
    if (need_compare_mode()) {
        lines.push_back(std::string("Compare mode : ") + (compare_mode <= 5 ? kCompareSymbols[compare_mode] : "=="));
        lines.push_back("Ref value UINT32 : " + std::to_string(ref_uint32_value));
    }
    return "Preset Condition :\n" + join(lines, "\n\t");
}

// ---- ConditionalPreset ----

ConditionalPresetRef ConditionalPreset::init() { return std::make_shared<ConditionalPreset>(); }

void ConditionalPreset::add_default_condition() {
    arr_conditions.push_back(PresetConditionObj::init_for_mode(HapStandConditionalPreset_Type_Filename));
}

bool ConditionalPreset::is_condition_valid_for_file(const ConditionPresetFileInfo &info) const {
    for (const PresetConditionRef &c : arr_conditions)
        if (!c->is_condition_valid_for_file(info)) return false;
    return true;
}

const std::string &ConditionalPreset::get_preset_name_for_file(const ConditionPresetFileInfo &info) const {
    if (!info.have_video) return preset_audio_only;
    return info.have_video_with_alpha ? preset_alpha : preset_no_alpha;
}

std::string ConditionalPreset::get_name_for_ui() const { return name.empty() ? "No name" : name; }

uint64_t ConditionalPreset::get_index_first_selected_item() const {
    for (size_t i = 0; i < arr_conditions.size(); i++)
        if (arr_conditions[i]->is_selected) return i;
    return kConditionalNotFound;
}

PresetConditionRef ConditionalPreset::get_first_selected_obj() const {
    const uint64_t i = get_index_first_selected_item();
    return i == kConditionalNotFound ? nullptr : arr_conditions[i];
}

void ConditionalPreset::deselect_all_preset_condition() {
    for (const PresetConditionRef &c : arr_conditions) c->is_selected = false;
}

void ConditionalPreset::select_first_preset_condition() {
    deselect_all_preset_condition();
    if (!arr_conditions.empty()) arr_conditions.front()->is_selected = true;
}

void ConditionalPreset::select_last_preset_condition() {
    deselect_all_preset_condition();
    if (!arr_conditions.empty()) arr_conditions.back()->is_selected = true;
}

void ConditionalPreset::select_preset_for_str_index(const std::string &text) {
    deselect_all_preset_condition();
    const uint64_t i = index_from_text(text, arr_conditions.size());
    if (i == kConditionalNotFound) {
        zlog("Invalid index : %s", text.c_str());
        return;
    }
    arr_conditions[i]->is_selected = true;
}

void ConditionalPreset::action_add_preset_condition() {
    const uint64_t i = get_index_first_selected_item();
    if (i == kConditionalNotFound) {
        add_default_condition();
        select_last_preset_condition();
        return;
    }
    PresetConditionRef copy = arr_conditions[i]->mutableCopyWithZone();
    deselect_all_preset_condition();
    copy->is_selected = true;
    arr_conditions.insert(arr_conditions.begin() + int64_t(i) + 1, copy);
}

void ConditionalPreset::remove_selected_preset_condition() {
    const uint64_t i = get_index_first_selected_item();
    if (i != kConditionalNotFound) arr_conditions.erase(arr_conditions.begin() + int64_t(i));
    select_last_preset_condition();
}

void ConditionalPreset::write(XmlStreamWriter &w) const {
    w.start_element("conditional_preset");
    w.attribute("is_enabled", yes_no(is_enabled));
    w.attribute("name", name);
    w.attribute("preset_no_alpha", preset_no_alpha);
    w.attribute("preset_alpha", preset_alpha);
    w.attribute("preset_audio_only", preset_audio_only);
    for (const PresetConditionRef &c : arr_conditions) c->write(w);
    w.end_element();
}

void ConditionalPreset::set_from_xml_dict(const XmlAttributes &attributes) {
    const std::string *e = find_attr(attributes, "is_enabled");
    is_enabled = e && *e == "YES";
    name = attr_or_empty(attributes, "name");
    preset_no_alpha = attr_or_empty(attributes, "preset_no_alpha");
    preset_alpha = attr_or_empty(attributes, "preset_alpha");
    preset_audio_only = attr_or_empty(attributes, "preset_audio_only");
}

void ConditionalPreset::create_preset_condition_from_xml_dict(const XmlAttributes &attributes) {
    PresetConditionRef c = PresetConditionObj::init_for_mode(HapStandConditionalPreset_Type_Filename);
    c->set_from_xml_dict(attributes);
    arr_conditions.push_back(c);
}

void ConditionalPreset::add_data_to_last_condition_from_xml_dict(const XmlAttributes &attributes) {
    if (arr_conditions.empty()) {
        zlog("ERROR : No condition obj for adding data");
        return;
    }
    arr_conditions.back()->set_data_from_xml_dict(attributes);
}

Json ConditionalPreset::get_json_dict() const {
    Json d = Json::object();
    d["is_enabled"] = is_enabled;
    d["name"] = name;
    d["preset_no_alpha"] = preset_no_alpha;
    d["preset_alpha"] = preset_alpha;
    d["preset_audio_only"] = preset_audio_only;
    Json items = Json::array();
    for (const PresetConditionRef &c : arr_conditions) items.push_back(c->get_json_dict());
    d["preset_condition_items"] = std::move(items);
    return d;
}

std::string ConditionalPreset::set_from_json_dict(const Json &dict) {
    if (!dict.is_object()) return "Invalid json data (expected Json object for data)";
    is_enabled = json_truth(dict, "is_enabled", true);
    name = json_string(dict, "name");
    preset_no_alpha = json_string(dict, "preset_no_alpha");
    preset_alpha = json_string(dict, "preset_alpha");
    preset_audio_only = json_string(dict, "preset_audio_only");
    arr_conditions.clear();
    const auto items = dict.find("preset_condition_items");
    if (items == dict.end() || !items->is_array()) return "";
    for (const Json &e : *items) {
        if (!e.is_object()) {
            zlog("Invalid json type found items");
            continue;
        }
        PresetConditionRef c = PresetConditionObj::init_for_mode(HapStandConditionalPreset_Type_Filename);
        const std::string err = c->set_from_json_dict(e);
        if (!err.empty()) {
            zlog("Fail to read json obj : %s", err.c_str());
            continue;
        }
        arr_conditions.push_back(c);
    }
    return "";
}

ConditionalPresetRef ConditionalPreset::mutableCopyWithZone() const {
    auto p = std::make_shared<ConditionalPreset>(*this);
    p->arr_conditions.clear();
    for (const PresetConditionRef &c : arr_conditions) p->arr_conditions.push_back(c->mutableCopyWithZone());
    return p;
}

std::string ConditionalPreset::description() const {
    std::vector<std::string> conditions;
    for (const PresetConditionRef &c : arr_conditions) conditions.push_back(c->description());
    return std::string("Conditional Preset :\n Enabled : ") + yes_no_ui(is_enabled) +
           " ; Is selected : " + yes_no_ui(is_selected) + " Name : " + name +
           "\n\tPreset no alpha : " + preset_no_alpha + "\n\tPreset Alpha " + preset_alpha +
           "\n\tPreset audio only : " + preset_audio_only + "\n PresetConditions :\n" + join(conditions, "\n");
}

// ---- ConditionalPresetList ----

void ConditionalPresetList::set_with_arr_obj(const std::vector<ConditionalPresetRef> &list) {
    arr_objs.clear();
    for (const ConditionalPresetRef &p : list) arr_objs.push_back(p->mutableCopyWithZone());
}

std::vector<std::string> ConditionalPresetList::get_arr_name_conditional_preset_for_ui() const {
    std::vector<std::string> names;
    for (const ConditionalPresetRef &p : arr_objs) names.push_back(p->get_name_for_ui());
    return names;
}

uint64_t ConditionalPresetList::get_index_first_selected_item() const {
    for (size_t i = 0; i < arr_objs.size(); i++)
        if (arr_objs[i]->is_selected) return i;
    return kConditionalNotFound;
}

ConditionalPresetRef ConditionalPresetList::get_first_selected_preset() const {
    const uint64_t i = get_index_first_selected_item();
    return i == kConditionalNotFound ? nullptr : arr_objs[i];
}

void ConditionalPresetList::deselect_all_items() {
    for (const ConditionalPresetRef &p : arr_objs) p->is_selected = false;
}

void ConditionalPresetList::select_last_item() {
    deselect_all_items();
    if (!arr_objs.empty()) arr_objs.back()->is_selected = true;
}

std::vector<ConditionalPresetRef> ConditionalPresetList::get_list_enable_preset(const std::vector<bool> &states) const {
    if (states.size() != arr_objs.size())
        zlog("WARNING : Array obj : %lu != Array State : %lu", (unsigned long)arr_objs.size(),
             (unsigned long)states.size());
    std::vector<ConditionalPresetRef> out;
    const size_t n = std::min(states.size(), arr_objs.size());
    for (size_t i = 0; i < n; i++)
        if (states[i]) out.push_back(arr_objs[i]);
    return out;
}

void ConditionalPresetList::set_new_conditional_preset_obj_is_mode_add(const ConditionalPreset &preset, bool add) {
    const uint64_t i = get_index_first_selected_item();
    deselect_all_items();
    ConditionalPresetRef copy = preset.mutableCopyWithZone();
    copy->is_selected = true;
    if (i == kConditionalNotFound)
        arr_objs.push_back(copy);
    else if (add)
        arr_objs.insert(arr_objs.begin() + int64_t(i) + 1, copy);
    else
        arr_objs[i] = copy;
}

void ConditionalPresetList::select_conditional_preset_for_str_index(const std::string &text) {
    deselect_all_items();
    const uint64_t i = index_from_text(text, arr_objs.size());
    if (i == kConditionalNotFound) {
        zlog("Invalid index : %s", text.c_str());
        return;
    }
    arr_objs[i]->is_selected = true;
}

void ConditionalPresetList::remove_first_selected_obj() {
    const uint64_t i = get_index_first_selected_item();
    if (i == kConditionalNotFound) {
        zlog("No selected item to remove");
        return;
    }
    arr_objs.erase(arr_objs.begin() + int64_t(i));
    select_last_item();
}

bool ConditionalPresetList::load_from_file(const std::string &path) {
    if (!json_items_file_check_extension(path, arr_err_import_export)) return false;
    const bool ok = load_from_json_file(path);
    if (arr_objs.empty()) {
        arr_err_import_export.push_back("Can't find valid data inside the file");
        return false;
    }
    return ok;
}

bool ConditionalPresetList::load_from_json_file(const std::string &path) {
    arr_err_import_export.clear();
    arr_objs.clear();
    return json_items_file_load(path, arr_err_import_export, [this](const Json &item) {
        ConditionalPresetRef p = ConditionalPreset::init();
        std::string err = p->set_from_json_dict(item);
        if (err.empty()) arr_objs.push_back(p);
        return err;
    });
}

bool ConditionalPresetList::write_to_file(const std::string &path) {
    if (!json_items_file_check_extension(path, arr_err_import_export)) return false;
    return write_to_json_file(path);
}

bool ConditionalPresetList::write_to_json_file(const std::string &path) {
    Json items = Json::array();
    for (const ConditionalPresetRef &p : arr_objs) items.push_back(p->get_json_dict());
    return json_items_file_write(path, std::move(items));
}
