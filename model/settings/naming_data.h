#pragma once
// The values that name one output of a render-queue task, and the expansion of a naming
// mask ("[src_name]_[codec]") into the output's file name, without folder or extension.
// A `Setting` asks it for names; the task fills one per MOV output.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/settings/crop_item.h"
#include "model/settings/property.h"
#include "model/settings/setting_naming.h"

class NamingData;
using NamingDataRef = std::shared_ptr<NamingData>;

class NamingData {
public:
    ZQ_PROPERTY(std::string, folder_src, setFolder_src);      // read by the settings' folder rule
    ZQ_PROPERTY(std::string, basename_src, setBasename_src);  // without extension
    ZQ_PROPERTY(uint32_t, target_width, setTarget_width) = 0;
    ZQ_PROPERTY(uint32_t, target_height, setTarget_height) = 0;
    ZQ_PROPERTY(uint32_t, hap_codec, setHap_codec) = 0;  // VideoSetting_HapCodec
    ZQ_PROPERTY(uint32_t, hap_chunks, setHap_chunks) = 1;
    ZQ_PROPERTY(std::chrono::system_clock::time_point, rq_date, setRq_date) = std::chrono::system_clock::now();
    ZQ_PROPERTY(uint32_t, audio_channel, setAudio_channel) = 0;
    ZQ_PROPERTY(CropItemRef, crop_item, setCrop_item) = CropItem::init();
    ZQ_PROPERTY(uint64_t, index_out, setIndex_out) = 0;  // among the multicrop outputs, from 0
    ZQ_PROPERTY(bool, is_multicrop, setIs_multicrop) = false;
    ZQ_PROPERTY(uint32_t, space_char_process, setSpace_char_process) = 0;  // 0 keep, 1 remove, 2 "_"
    ZQ_PROPERTY(bool, force_uppercase, setForce_uppercase) = false;
    ZQ_PROPERTY(bool, keep_versioning_at_end, setKeep_versioning_at_end) = false;
    // Applied to the source name in order; the object keeps its own copies.
    ZQ_PROPERTY(std::vector<TxtReplaceRef>, arr_txt_replace, setArr_txt_replace);

    static NamingDataRef init();
    // With text replacement on, takes the upper-case flag, the space rule and copies of the
    // rules; the keep-version flag is taken in every case.
    void set_from_setting_naming(const SettingNaming &naming);

    // The file name: the tokens replaced in table order, the version suffix appended,
    // "Untitled" for an empty result. A name never holds "/" or NUL (they become "_") and is
    // never "." or ".." (it becomes "_"), whatever the rules and crop names put in.
    std::string get_name_from_mask(const std::string &mask) const;
    // "[src_name]" for an empty mask.
    static std::string fix_naming_mask(const std::string &mask);
    // The 15 tokens and their texts, in the order the expansion replaces them.
    std::vector<std::pair<std::string, std::string>> get_naming_dict() const;

    // Space rule, then the rules in order; "NoName" when empty; then the upper case.
    std::string get_src_name_with_txt_format() const;
    std::string get_src_name_str() const;
    std::string get_versioning() const;  // "" unless the keep-version flag is on
    std::string get_width_str() const;
    std::string get_height_str() const;
    std::string get_codec_str() const;
    std::string get_chunks_str() const;
    std::string get_audio_channel_str() const;
    std::string get_year_str() const;
    std::string get_month_str() const;
    std::string get_day_str() const;
    std::string get_hour_str() const;
    std::string get_min_str() const;
    std::string get_crop_name() const;
    std::string get_crop_x() const;
    std::string get_crop_y() const;
    std::string get_crop_index() const;

    // Deep: the crop item and every rule are copied.
    NamingDataRef mutableCopyWithZone() const;
    std::string description() const;
};

// (name part, version part): "clip_v2" -> ("clip", "_v2"), "Take 12" -> ("Take", " 12"),
// "2024" -> ("", "2024"); no version part when the digits are not preceded by " ", "_" or
// "-" (optionally followed by "v" or "V"). A "v" that starts the text ("V12") has no
// separator before it: no version part.
std::pair<std::string, std::string> split_version_suffix(const std::string &text);

// "%d" of the value, left-filled with "0" up to `width` characters.
std::string zero_padded_number(int32_t value, uint32_t width);
