#include "model/settings/naming_data.h"

#include <cstdio>
#include <ctime>

#include "platform/core/log.h"
#include "platform/foundation/unicode_edit.h"

namespace {

std::string replace_every(std::string text, const std::string &token, const std::string &value) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
    return text;
}

// Local calendar parts of the task's date.
struct tm local_parts(std::chrono::system_clock::time_point t) {
    const time_t secs = std::chrono::system_clock::to_time_t(t);
    struct tm parts {};
    if (!localtime_r(&secs, &parts)) parts = {};
    return parts;
}

}  // namespace

NamingDataRef NamingData::init() { return std::make_shared<NamingData>(); }

void NamingData::set_from_setting_naming(const SettingNaming &naming) {
    if (naming.is_enabled_txt_replace) {
        force_uppercase = naming.force_upper_case;
        space_char_process = naming.space_char_process;
        arr_txt_replace.clear();
        for (const TxtReplaceRef &r : naming.arr_txt_replace)
            if (r) arr_txt_replace.push_back(r->mutableCopyWithZone());
    }
    keep_versioning_at_end = naming.keep_versioning_at_end;
}

std::string NamingData::fix_naming_mask(const std::string &mask) { return mask.empty() ? "[src_name]" : mask; }

std::vector<std::pair<std::string, std::string>> NamingData::get_naming_dict() const {
    return {
        {"[src_name]", get_src_name_str()}, {"[width]", get_width_str()},   {"[height]", get_height_str()},
        {"[codec]", get_codec_str()},       {"[chunks]", get_chunks_str()}, {"[ch_count]", get_audio_channel_str()},
        {"[YYYY]", get_year_str()},         {"[MM]", get_month_str()},      {"[DD]", get_day_str()},
        {"[hh]", get_hour_str()},           {"[mm]", get_min_str()},        {"[crop_name]", get_crop_name()},
        {"[crop_x]", get_crop_x()},         {"[crop_y]", get_crop_y()},     {"[crop_index]", get_crop_index()},
    };
}

std::string NamingData::get_name_from_mask(const std::string &mask) const {
    std::string name = fix_naming_mask(mask);
    for (const auto &[token, value] : get_naming_dict()) name = replace_every(std::move(name), token, value);
    name += get_versioning();
    if (name.empty()) name = "Untitled";
    // Rules and crop names come from imported files: keep the name inside its folder.
    for (char &c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name == "." || name == "..") name = "_";
    return name;
}

std::string NamingData::get_src_name_with_txt_format() const {
    std::string name = basename_src;
    if (!name.empty()) {
        SettingNamingSrcNameTxtReplace space;
        space.set_for_space_process(space_char_process);
        name = space.apply_txt_replace(name);
        for (const TxtReplaceRef &r : arr_txt_replace)
            if (r) name = r->apply_txt_replace(name);
    }
    if (name.empty()) name = "NoName";
    if (force_uppercase) name = unicode_to_upper(name);
    return name;
}

std::string NamingData::get_src_name_str() const {
    const std::string name = get_src_name_with_txt_format();
    return keep_versioning_at_end ? split_version_suffix(name).first : name;
}

std::string NamingData::get_versioning() const {
    return keep_versioning_at_end ? split_version_suffix(get_src_name_with_txt_format()).second : "";
}

std::string NamingData::get_width_str() const { return std::to_string(target_width); }
std::string NamingData::get_height_str() const { return std::to_string(target_height); }

std::string NamingData::get_codec_str() const {
    switch (hap_codec) {
    case 0: return "HAP";
    case 1: return "HAPA";
    case 2: return "HAPQ";
    case 3: return "HAPQA";
    case 4:
    case 5: return "HAPAlphaOnly";
    case 6: return "HAPR";
    default: zlog("Unknown hap codec"); return "Unknown";
    }
}

std::string NamingData::get_chunks_str() const { return std::to_string(hap_chunks); }
std::string NamingData::get_audio_channel_str() const { return std::to_string(audio_channel); }
std::string NamingData::get_year_str() const { return zero_padded_number(local_parts(rq_date).tm_year + 1900, 4); }
std::string NamingData::get_month_str() const { return zero_padded_number(local_parts(rq_date).tm_mon + 1, 2); }
std::string NamingData::get_day_str() const { return zero_padded_number(local_parts(rq_date).tm_mday, 2); }
std::string NamingData::get_hour_str() const { return zero_padded_number(local_parts(rq_date).tm_hour, 2); }
std::string NamingData::get_min_str() const { return zero_padded_number(local_parts(rq_date).tm_min, 2); }

std::string NamingData::get_crop_name() const { return is_multicrop && crop_item ? crop_item->name : ""; }
std::string NamingData::get_crop_x() const { return std::to_string(crop_item ? crop_item->crop_left : 0); }
std::string NamingData::get_crop_y() const { return std::to_string(crop_item ? crop_item->crop_top : 0); }
std::string NamingData::get_crop_index() const { return is_multicrop ? std::to_string(index_out + 1) : ""; }

NamingDataRef NamingData::mutableCopyWithZone() const {
    NamingDataRef c = std::make_shared<NamingData>(*this);
    c->crop_item = crop_item ? crop_item->mutableCopyWithZone() : CropItem::init();
    c->arr_txt_replace.clear();
    for (const TxtReplaceRef &r : arr_txt_replace)
        if (r) c->arr_txt_replace.push_back(r->mutableCopyWithZone());
    return c;
}

std::string NamingData::description() const {
    std::string rules;
    for (const TxtReplaceRef &r : arr_txt_replace)
        if (r) rules += (rules.empty() ? "" : ", ") + r->description();
    char text[512];
    snprintf(text, sizeof(text),
             "NamingData : Folder : %s ; Basename : %s ; Size : %ux%u ; Codec : %u ; Chunks : %u ; Date : %s-%s-%s "
             "%s:%s ; Audio channels : %u ; Index out : %llu ; Multicrop : %s ; Space process : %u ; Upper case : %s ; "
             "Keep versioning : %s",
             folder_src.c_str(), basename_src.c_str(), target_width, target_height, hap_codec, hap_chunks,
             get_year_str().c_str(), get_month_str().c_str(), get_day_str().c_str(), get_hour_str().c_str(),
             get_min_str().c_str(), audio_channel, (unsigned long long)index_out, is_multicrop ? "YES" : "NO",
             space_char_process, force_uppercase ? "YES" : "NO", keep_versioning_at_end ? "YES" : "NO");
    return std::string(text) + " ; Crop : " + (crop_item ? crop_item->description() : "(null)") + " ; Replace : (" +
           rules + ")";
}

std::pair<std::string, std::string> split_version_suffix(const std::string &text) {
    if (text.empty()) return {"", ""};
    const size_t run = unicode_trailing_digits_start(text);
    if (run == text.size()) return {text, ""};
    if (run == 0) return {"", text};
    // The letter and the separators are ASCII, so a byte test cannot hit part of a character.
    size_t candidate = run - 1;
    if (text[candidate] == 'v' || text[candidate] == 'V') {
        if (candidate == 0) return {text, ""};
        candidate--;
    }
    const char c = text[candidate];
    if (c != ' ' && c != '_' && c != '-') return {text, ""};
    return {text.substr(0, candidate), text.substr(candidate)};
}

std::string zero_padded_number(int32_t value, uint32_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}
