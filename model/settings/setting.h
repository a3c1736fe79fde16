#pragma once
// Every parameter of one encoding job, as a preset (with a name) or as a task's own copy
// (no name: the Custom setting); its `setting` XML element and preset files; the bridge
// between the crop items and the one global crop mode; and the values a task derives.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/settings/crop_item.h"
#include "model/settings/naming_data.h"
#include "model/settings/property.h"
#include "model/settings/setting_naming.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;
class Setting;
using SettingRef = std::shared_ptr<Setting>;

// Derived from the flags and the first crop item, never stored.
enum VideoSetting_GlobalCropMode : uint32_t {
    VideoSetting_GlobalCropMode_OriginAndSize = 1,
    VideoSetting_GlobalCropMode_EdgesCrop = 2,
    VideoSetting_GlobalCropMode_ScreenRatio = 3,
    VideoSetting_GlobalCropMode_Multicrop = 4,
    VideoSetting_GlobalCropMode_Autocrop = 5,
    VideoSetting_GlobalCropMode_NoCrop = 6,
};
// "OriginAndSize", "EdgesCrop", ... "NoCrop"; "OriginAndSize" outside 1..6.
const char *global_crop_mode_name(uint32_t mode);

// "23.98", "24", "25", "29.97", "30", "48", "50", "59.94", "60" for indexes 0..8, else "".
const char *fps_custom_text(uint32_t index);

// A preset name that can be a file name in the preset folder: no "/" or NUL, not "." or "..".
bool is_valid_preset_name(const std::string &name);

class Setting {
public:
    ZQ_PROPERTY(uint64_t, version, setVersion) = 0;
    ZQ_PROPERTY(std::optional<std::string>, name, setName);
    ZQ_PROPERTY(bool, vid_enable_video, setVid_enable_video) = true;
    ZQ_PROPERTY(bool, vid_enable_smart_render, setVid_enable_smart_render) = true;
    ZQ_PROPERTY(uint32_t, vid_alpha_mode, setVid_alpha_mode) = 0;  // 0 preserve, 1 no alpha, 2 custom
    ZQ_PROPERTY(uint32_t, vid_codec_hap, setVid_codec_hap) = 0;    // 0 HAP .. 6 HAP R
    ZQ_PROPERTY(uint32_t, vid_hap_quality, setVid_hap_quality) = 1;
    ZQ_PROPERTY(bool, vid_enable_snappy, setVid_enable_snappy) = true;
    ZQ_PROPERTY(uint32_t, vid_chunks, setVid_chunks) = 8;
    ZQ_PROPERTY(std::string, vid_chunks_eval_str, setVid_chunks_eval_str);
    ZQ_PROPERTY(uint32_t, vid_fps_mode, setVid_fps_mode) = 0;
    ZQ_PROPERTY(uint32_t, vid_fps_custom, setVid_fps_custom) = 2;  // index, 25 fps
    ZQ_PROPERTY(uint32_t, vid_alpha_conversion, setVid_alpha_conversion) = 0;
    ZQ_PROPERTY(bool, is_multi_crop, setIs_multi_crop) = false;
    ZQ_PROPERTY(bool, is_auto_crop, setIs_auto_crop) = false;
    ZQ_PROPERTY(std::vector<CropItemRef>, _arr_multi_crop_items, set_arr_multi_crop_items);
    ZQ_PROPERTY(bool, vid_crop_to_multiple_4, setVid_crop_to_multiple_4) = false;
    ZQ_PROPERTY(bool, vid_crop_scale_to_screen_res, setVid_crop_scale_to_screen_res) = false;
    ZQ_PROPERTY(bool, vid_auto_crop_top, setVid_auto_crop_top) = true;
    ZQ_PROPERTY(bool, vid_auto_crop_left, setVid_auto_crop_left) = true;
    ZQ_PROPERTY(bool, vid_auto_crop_right, setVid_auto_crop_right) = true;
    ZQ_PROPERTY(bool, vid_auto_crop_bottom, setVid_auto_crop_bottom) = true;
    ZQ_PROPERTY(uint32_t, vid_transform_mode, setVid_transform_mode) = 0;
    ZQ_PROPERTY(uint32_t, vid_scale_mode, setVid_scale_mode) = 0;
    ZQ_PROPERTY(bool, vid_enable_scale_link_ratio, setVid_enable_scale_link_ratio) = true;
    ZQ_PROPERTY(uint32_t, vid_scale_width, setVid_scale_width) = 1920;
    ZQ_PROPERTY(std::string, vid_scale_width_eval_str, setVid_scale_width_eval_str);
    ZQ_PROPERTY(uint32_t, vid_scale_height, setVid_scale_height) = 1080;
    ZQ_PROPERTY(std::string, vid_scale_height_eval_str, setVid_scale_height_eval_str);
    ZQ_PROPERTY(uint32_t, vid_scale_screen_width, setVid_scale_screen_width) = 1280;
    ZQ_PROPERTY(std::string, vid_scale_screen_width_eval_str, setVid_scale_screen_width_eval_str);
    ZQ_PROPERTY(uint32_t, vid_scale_screen_height, setVid_scale_screen_height) = 720;
    ZQ_PROPERTY(std::string, vid_scale_screen_height_eval_str, setVid_scale_screen_height_eval_str);
    ZQ_PROPERTY(uint32_t, vid_scale_quality, setVid_scale_quality) = 0;
    ZQ_PROPERTY(bool, vid_scale_conform_mult_4, setVid_scale_conform_mult_4) = false;
    ZQ_PROPERTY(uint32_t, metadata_tc_mode, setMetadata_tc_mode) = 0;
    ZQ_PROPERTY(bool, metadata_tc_force_drop_frame, setMetadata_tc_force_drop_frame) = true;
    ZQ_PROPERTY(std::optional<std::string>, metadata_start_tc_force, setMetadata_start_tc_force) = "00:00:00:00";
    ZQ_PROPERTY(bool, metadata_write_crop_box_metadata, setMetadata_write_crop_box_metadata) = true;
    ZQ_PROPERTY(bool, aud_enable_audio, setAud_enable_audio) = true;
    ZQ_PROPERTY(uint32_t, aud_frequency, setAud_frequency) = 1;  // 0 44100 Hz, 1 48000 Hz
    ZQ_PROPERTY(uint32_t, aud_quantif, setAud_quantif) = 0;      // 0 16, 1 24, 2 32 bits
    ZQ_PROPERTY(uint32_t, aud_gain_mode, setAud_gain_mode) = 0;
    ZQ_PROPERTY(float, aud_set_gain_val, setAud_set_gain_val) = 0.0f;
    ZQ_PROPERTY(std::string, aud_set_gain_eval_str, setAud_set_gain_eval_str);
    ZQ_PROPERTY(float, aud_true_peak_val, setAud_true_peak_val) = -2.0f;
    ZQ_PROPERTY(std::string, aud_true_peak_eval_str, setAud_true_peak_eval_str);
    ZQ_PROPERTY(float, aud_target_loudness_val, setAud_target_loudness_val) = -23.0f;
    ZQ_PROPERTY(std::string, aud_target_loudness_eval_str, setAud_target_loudness_eval_str);
    ZQ_PROPERTY(bool, aud_embed_in_hap, setAud_embed_in_hap) = true;
    ZQ_PROPERTY(bool, aud_write_wav_file, setAud_write_wav_file) = false;
    ZQ_PROPERTY(bool, aud_write_multi_mono_file, setAud_write_multi_mono_file) = false;
    ZQ_PROPERTY(bool, aud_ignore_silent_track, setAud_ignore_silent_track) = false;
    ZQ_PROPERTY(uint32_t, aud_multi_mono_suffix, setAud_multi_mono_suffix) = 0;  // 0 names, 1 numbers
    ZQ_PROPERTY(SettingNamingRef, nam_video_hap, setNam_video_hap);
    ZQ_PROPERTY(bool, nam_use_video_hap_for_wav, setNam_use_video_hap_for_wav) = true;
    ZQ_PROPERTY(SettingNamingRef, nam_audio_wav, setNam_audio_wav);
    // Reader state while a file is read; not a parameter.
    ZQ_PROPERTY(bool, is_inside_naming_video_hap, setIs_inside_naming_video_hap) = false;
    ZQ_PROPERTY(bool, is_inside_naming_audio_wav, setIs_inside_naming_audio_wav) = false;

    // ---- Setting ----
    // Every default; the naming rules get their default masks.
    Setting();
    static SettingRef init();
    void set_default_preset_hapa_fast();
    void set_default_preset_hapa_normal();
    void set_default_preset_hapa_slow();
    void set_default_preset_hapqa_fast();
    void set_default_preset_hapqa_normal();
    void set_default_preset_hapqa_slow();
    void set_default_preset_hapalphaonly_luma();
    void set_default_preset_hapalphaonly_alpha();
    void set_default_preset_hapr();
    void set_default_preset_wav_only();
    void set_default_preset_cmd_rendering();
    bool is_custom() const { return !name.has_value(); }
    void set_to_custom() { name.reset(); }
    std::string get_preset_name_for_ui() const { return name.value_or("Custom"); }
    bool setting_is_valid_for_video_and_audio(bool has_video, bool has_audio) const;
    // A deep copy: no crop item, naming rule or text is shared.
    SettingRef mutableCopyWithZone() const;
    bool is_equal_to_setting(const Setting &other) const;
    std::string description() const;

    // ---- File form ----
    void write(XmlStreamWriter &w) const;
    std::string get_xml_str_content() const;
    uint32_t get_vid_alpha_mode_for_xml() const;
    uint32_t get_vid_codec_hap_for_xml() const;
    uint32_t get_vid_hap_quality_for_xml() const;
    uint32_t get_vid_fps_mode_for_xml() const;
    uint32_t get_vid_fps_custom_for_xml() const;
    uint32_t get_aud_frequency_for_xml() const;
    uint32_t get_aud_quantif_for_xml() const;
    uint32_t get_aud_multi_mono_suffix_for_xml() const;

    // Reading, one element at a time (containers forward the elements of a `setting`).
    void set_attributes_with_xml_dict(const XmlAttributes &attributes);
    bool set_vid_alpha_mode_from_xml(const std::string &text);
    bool set_vid_codec_hap_from_xml(const std::string &text);
    bool set_vid_hap_quality_from_xml(const std::string &text);
    bool set_vid_chunks_from_xml(const std::string &text);
    bool set_vid_fps_mode_from_xml(const std::string &text);
    bool set_vid_fps_custom_from_xml(const std::string &text);
    bool set_vid_scale_mode_from_xml(const std::string &text);
    bool set_vid_scale_width_from_xml(const std::string &text);
    bool set_vid_scale_height_from_xml(const std::string &text);
    bool set_vid_scale_screen_width_from_xml(const std::string &text);
    bool set_vid_scale_screen_height_from_xml(const std::string &text);
    bool set_vid_scale_quality_from_xml(const std::string &text);
    bool set_met_tc_mode_from_xml(const std::string &text);
    // nullptr stands for an absent text.
    bool set_met_tc_force_start_val(const std::string *text);
    bool set_aud_frequency_from_xml(const std::string &text);
    bool set_aud_quantif_from_xml(const std::string &text);
    bool set_aud_multi_mono_suffix_from_xml(const std::string &text);
    bool set_vid_crop_top_from_xml(const std::string &text);
    bool set_vid_crop_left_from_xml(const std::string &text);
    bool set_vid_crop_bottom_from_xml(const std::string &text);
    bool set_vid_crop_right_from_xml(const std::string &text);
    void add_crop_item_from_attributes_xml_dict(const XmlAttributes &attributes);
    void add_txt_replace_naming_video_from_attributes_xml_dict(const XmlAttributes &attributes);
    void add_txt_replace_naming_audio_from_attributes_xml_dict(const XmlAttributes &attributes);
    void parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                      const XmlAttributes &attributes);
    void parser_didEndElement_namespaceURI_qualifiedName(const std::string &element);

    // Preset files. A name holding "/" or NUL, or equal to "." or "..", makes no path.
    std::optional<std::string> get_preset_filepath(const std::optional<std::string> &folder) const;
    // Atomic: a failed write (false, logged) leaves the old file as it was.
    bool save_preset_file(const std::optional<std::string> &folder) const;
    void delete_preset_file(const std::optional<std::string> &folder) const;
    bool is_preset_file_exists(const std::optional<std::string> &folder) const;
    // Reads one preset file into this fresh setting: false when the file is not well formed
    // or does not hold exactly one `setting` element.
    bool set_from_xml_file(const std::string &path);

    // ---- Crop bridge ----
    uint32_t get_global_crop_mode() const;
    // The setting's own items, or one new default item it does not keep.
    std::vector<CropItemRef> get_array_crop_items() const;
    CropItemRef get_first_crop_item() const;
    std::vector<CropItemRef> get_array_crop_items_for_gpu_pvw() const;
    uint32_t get_first_crop_left() const;
    uint32_t get_first_crop_top() const;
    std::string get_first_crop_left_eval_str() const;
    std::string get_first_crop_top_eval_str() const;
    uint32_t get_first_crop_right() const;
    uint32_t get_first_crop_bottom() const;
    std::string get_first_crop_right_eval_str() const;
    std::string get_first_crop_bottom_eval_str() const;
    uint32_t get_first_crop_width() const;
    uint32_t get_first_crop_height() const;
    std::string get_first_crop_width_eval_str() const;
    std::string get_first_crop_height_eval_str() const;
    uint32_t get_first_crop_screen_width() const;
    uint32_t get_first_crop_screen_height() const;
    std::string get_first_crop_screen_width_eval_str() const;
    std::string get_first_crop_screen_height_eval_str() const;
    void set_global_crop_mode(uint32_t mode);
    bool set_crop_top(uint32_t v);
    bool set_crop_top_eval_str(const std::string &s);
    bool set_crop_left(uint32_t v);
    bool set_crop_left_eval_str(const std::string &s);
    bool set_crop_right(uint32_t v);
    bool set_crop_right_eval_str(const std::string &s);
    bool set_crop_bottom(uint32_t v);
    bool set_crop_bottom_eval_str(const std::string &s);
    bool set_crop_width(uint32_t v);
    bool set_crop_width_eval_str(const std::string &s);
    bool set_crop_height(uint32_t v);
    bool set_crop_height_eval_str(const std::string &s);
    bool set_crop_screen_width(uint32_t v);
    bool set_crop_screen_width_eval_str(const std::string &s);
    bool set_crop_screen_height(uint32_t v);
    bool set_crop_screen_height_eval_str(const std::string &s);
    void create_default_crop_none();
    bool set_multi_crop_items(const std::vector<CropItemRef> &items);
    void update_selected_crop_from_ui_with_video_width_and_video_height(const CropItem &crop, uint32_t video_width,
                                                                        uint32_t video_height);
    void set_new_selected_crop_item(size_t index);
    void remove_screen_ratio_crop_items();
    bool need_disable_scale() const;
    bool have_transform() const;

    // ---- Target values ----
    uint32_t get_target_codec_from_alpha(bool source_has_alpha) const;
    // texture_kind: the VideoFrameDataDescriptor of the source's HAP frames. Clears
    // *smart_render when those frames cannot serve the target; never sets it.
    uint32_t get_target_codec_from_hap_have_alpha_have_smart_render(uint32_t texture_kind, bool source_has_alpha,
                                                                    bool *smart_render) const;
    std::string get_target_hap_basename(const NamingData &naming) const;
    std::string get_target_hap_folder(const NamingData &naming) const;
    std::string get_target_audio_folder_and_custom_name_hap_out(const NamingData &naming,
                                                                const std::optional<std::string> &hap_path) const;
    std::vector<std::string> get_target_wav_basename_and_custom_name_hap_out(
        const NamingData &naming, const std::optional<std::string> &hap_path) const;
    uint32_t get_chunk_for_naming() const { return vid_enable_snappy ? vid_chunks : 1; }

    // ---- Interface texts ----
    std::string get_audio_freq_for_ui() const;
    std::string get_audio_quantif_for_ui() const;
    std::string get_overwrite_fps_line_for_ui() const;

private:
    // The first writer step of the top, left, right and bottom writers; false in the other modes.
    bool first_item_for_edit(uint32_t allowed_mask, const char *refusal, CropItemRef *item);
    bool set_legacy_crop(const std::string &text, uint32_t CropItem::*field, const char *message);
};
