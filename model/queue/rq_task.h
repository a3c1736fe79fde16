#pragma once
// One job of the render queue: a source file with its external WAV inputs, its own copy of
// the encoding settings, its MOV and WAV outputs, its identity, state, in and out points,
// audio layout, analysis results, log lines and progress record; and the cache of what the
// settings make of the source (codec, smart rendering, geometry and its notes, parameter
// error, naming data, output paths), rebuilt by refresh_cache_target_properties.
//
// Everything runs on the main thread, except the four analysis values: the analysis pass
// writes them from its worker, so every access to them takes lock_analyse_results.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/video_frame.h"
#include "model/queue/output_filepath.h"
#include "model/queue/progress_task_info.h"
#include "model/queue/rq_task_state.h"
#include "model/settings/conditional_preset.h"
#include "model/settings/crop_item.h"
#include "model/settings/crop_scale.h"
#include "model/settings/global_settings.h"
#include "model/settings/media_info_obj.h"
#include "model/settings/naming_data.h"
#include "model/settings/property.h"
#include "model/settings/setting.h"
#include "model/settings/ui_state.h"
#include "platform/foundation/xml_reader.h"

class RqTask;
using RqTaskRef = std::shared_ptr<RqTask>;


// "Queue", "Edit", "Progress", "Pause", "Cancel", "CancelDelete", "Succes", "End warning",
// "End Error"; "Unknown" (logged) above 8.
std::string rq_task_state_text(uint64_t state);
// Output channels of a HapStand_AudioLayout: 1, 2, 6, 4, 8; above 4 a line on standard
// output and 0.
uint32_t audio_layout_channel_count(uint32_t layout);

class RqTask {
public:
    ZQ_PROPERTY(std::optional<std::string>, error, setError);
    ZQ_PROPERTY(std::string, uuid, setUuid);
    ZQ_PROPERTY(GlobalSettingsRef, glob_settings, setGlob_settings);  // shared, never copied
    ZQ_PROPERTY(MediaInfoObjRef, in_main_file, setIn_main_file);
    ZQ_PROPERTY(int32_t, in_point, setIn_point) = -1;  // -1: none
    ZQ_PROPERTY(int32_t, out_point, setOut_point) = -1;
    ZQ_PROPERTY(std::vector<MediaInfoObjRef>, arr_in_wav, setArr_in_wav);
    ZQ_PROPERTY(uint32_t, audio_layout, setAudio_layout) = 0;  // HapStand_AudioLayout
    ZQ_PROPERTY(uint64_t, state, setState) = 0;                // RqTaskState
    ZQ_PROPERTY(std::vector<OutputFilepathRef>, arr_out_path_hap, setArr_out_path_hap);
    ZQ_PROPERTY(std::vector<OutputFilepathRef>, arr_out_path_wav, setArr_out_path_wav);
    ZQ_PROPERTY(std::chrono::system_clock::time_point, rq_date, setRq_date) = std::chrono::system_clock::now();
    ZQ_PROPERTY(SettingRef, setting, setSetting);
    ZQ_PROPERTY(ProgressTaskInfo, progress_info, setProgress_info);
    ZQ_PROPERTY(std::vector<std::string>, arr_logs, setArr_logs);
    // Cache of refresh_cache_target_properties.
    ZQ_PROPERTY(bool, have_target_hap, setHave_target_hap) = false;
    ZQ_PROPERTY(bool, have_target_smart_rendering, setHave_target_smart_rendering) = false;
    ZQ_PROPERTY(std::optional<std::string>, error_target_render, setError_target_render);
    ZQ_PROPERTY(uint32_t, target_codec_hap, setTarget_codec_hap) = 0;
    ZQ_PROPERTY(HapStandCropScale, target_crop_scale, setTarget_crop_scale);
    ZQ_PROPERTY(uint32_t, target_audio_channels, setTarget_audio_channels) = 0;
    ZQ_PROPERTY(uint32_t, target_audio_channel_after_analyse, setTarget_audio_channel_after_analyse) = 0;
    ZQ_PROPERTY(std::vector<NamingDataRef>, arr_naming_data, setArr_naming_data);
    ZQ_PROPERTY(std::string, str_smart_rendering_pvw, setStr_smart_rendering_pvw);
    ZQ_PROPERTY(std::string, str_crop_pvw, setStr_crop_pvw);
    ZQ_PROPERTY(bool, have_crop_error, setHave_crop_error) = false;
    ZQ_PROPERTY(std::string, str_transform_info, setStr_transform_info);
    ZQ_PROPERTY(std::string, str_scale_pvw, setStr_scale_pvw);
    ZQ_PROPERTY(bool, have_scale_error, setHave_scale_error) = false;
    ZQ_PROPERTY(std::string, str_scale_smart_pvw, setStr_scale_smart_pvw);

    RqTask();
    RqTask(const RqTask &) = delete;
    RqTask &operator=(const RqTask &) = delete;

    // ---- Creation and copies ----
    // Never fails: a probe failure is kept in `error` (then no layout guess, no recompute).
    static RqTaskRef init_with_main_filepath_and_settings(const std::string &path, const GlobalSettingsRef &settings);
    // Deep; keeps the uuid, gets a lock of its own; not recomputed.
    RqTaskRef mutableCopyWithZone() const;
    // A waiting copy with a new uuid and date, no error, logs, progress or render paths.
    RqTaskRef duplicate_task() const;

    // ---- Sources ----
    bool reload_medias();
    void reset_status();
    void reset_render_path();
    void guess_audio_layout();
    bool check_input_files_exists();
    // Sorted case-insensitively, then one path per channel suffix "_l", "_r", "_c", ... first.
    static std::vector<std::string> reorganize_wavs_paths(const std::vector<std::string> &paths);
    std::optional<std::string> get_filepath_main_file() const;
    std::optional<std::string> get_folderpath_main_file() const;
    std::string get_basename_main_file_for_ui() const;
    std::string get_basename_no_ext_main_file() const;
    std::vector<std::string> get_arr_in_wavs() const;
    std::string get_preset_name() const;
    bool is_img_seq() const;
    bool have_video_in() const;
    bool have_video_in_alpha() const;
    bool is_vfr() const;
    bool need_alpha_conversion_process() const;
    bool have_audio_in() const;
    uint32_t get_src_interpret_fps_mode(bool *applies) const;
    uint32_t get_src_alpha_mode(bool *applies) const;
    uint32_t get_src_video_range_mode(bool *applies) const;
    ZRational get_src_interpret_fps_val_as_rat() const;
    double get_src_interpret_fps_val() const;
    std::string get_src_interpret_fps_val_eval_str() const;
    ConditionPresetFileInfo get_conditional_preset_file_info() const;

    // ---- Settings and source interpretation ----
    // Stores a copy, then recomputes.
    void set_new_setting(const Setting &setting);
    bool set_default_fps_img_seq(ZRational fps);
    bool set_default_alpha_mode(uint32_t alpha);
    void set_max_vfr_params(const GlobalSettings &settings);
    // These two do not recompute.
    void update_selected_crop_from_ui(const CropItem &crop);
    void set_new_selected_crop_item(size_t index);

    // ---- In and out points ----
    void set_in_point(int32_t v);
    void set_out_point(int32_t v);
    void sanitize_in_out_point();

    // ---- State, errors, logs, progress ----
    bool is_editable() const { return state == RqTaskState_Queue; }
    bool is_progress_or_pause() const { return state == RqTaskState_Progress || state == RqTaskState_Pause; }
    bool is_smart_rendering_possible() const { return have_target_smart_rendering; }
    bool is_multicrop() const;
    bool is_autocrop() const;
    std::optional<std::string> get_error_params_out() const { return error_target_render; }
    bool have_error_params() const { return error_target_render.has_value(); }
    void add_log_line(const std::optional<std::string> &line);
    void add_log_lines_from_arr(const std::vector<std::string> &lines);
    std::vector<std::string> get_logs_lines() const { return arr_logs; }
    bool have_logs() const { return !arr_logs.empty(); }
    // Stores a copy when it differs from the stored record (percent, step, texts).
    bool set_progress_info(const ProgressTaskInfo &info);
    // Index over the MOV outputs then the WAV outputs; does not recompute.
    bool set_custom_out_path_at_index(const std::optional<std::string> &path, size_t index);
    std::string description() const;

    // ---- Output properties ----
    void refresh_cache_target_properties();
    // The caller sets the three flags to true; the failing ones are cleared.
    void update_crop_scale_params_test_is_valid_crop_and_valid_scale_and_is_smart(bool *valid_crop, bool *valid_scale,
                                                                                  bool *smart);
    void refresh_naming_data();
    std::vector<std::string> get_arr_out_hap() const;
    std::vector<std::string> get_arr_out_wav() const;
    std::vector<std::string> get_arr_out_hap_for_ui() const;
    std::vector<std::string> get_arr_out_wav_for_ui() const;
    std::vector<std::string> get_arr_out_hap_unique() const;
    std::vector<std::string> get_arr_out_wav_unique() const;
    std::vector<std::string> get_arr_out_file() const;
    std::vector<std::string> get_arr_out_file_for_rq_ui() const;
    std::vector<OutputFilepathRef> get_arr_out_filepath_obj() const;
    static std::vector<std::string> get_array_uniq_filepath(const std::vector<OutputFilepathRef> &outputs);
    static void apply_uniqu_name_to_array(const std::vector<OutputFilepathRef> &outputs);
    void apply_uniq_name();
    bool create_target_folder();

    // ---- Audio inputs and analysis results ----
    bool have_audio_out() const { return target_audio_channels != 0; }
    bool is_need_audio_analyse() const;
    bool is_need_video_analyse() const;
    bool is_need_preprocess_analyse() const { return is_need_audio_analyse() || is_need_video_analyse(); }
    void set_audio_analyse_results_and_dst_gain(bool silent, double gain_db);
    void set_auto_crop_analyse_results(uint32_t top, uint32_t left, uint32_t right, uint32_t bottom);
    bool have_audio_out_after_analyse() const;
    double get_audio_gain_after_analyse() const;
    bool is_audio_gain_set() const;
    bool have_crop_after_auto_crop_analyse() const;
    // A copy of the analysed crop, or the zero edges crop (stored too) when there is none.
    CropItemRef get_auto_crop_item_after_analyse();
    void set_audio_layout(uint32_t layout) { audio_layout = layout; }
    void delete_main_audio_track(uint64_t index);
    void delete_ext_wav_audio_track(uint64_t index);
    void set_audio_mapping_main_audio_track_with_src_ch_with_mapping(uint64_t track, uint64_t channel, uint64_t mask);
    void set_audio_mapping_ext_wav_audio_track_with_src_ch_with_mapping(uint64_t wav, uint64_t channel, uint64_t mask);
    // Error texts, empty when every file was added.
    std::vector<std::string> try_import_ext_audio_file_at_index(const std::vector<std::string> &paths, uint64_t index);
    bool load_ext_audio_file_from_xml_path(const std::optional<std::string> &path);
    // The four analysis values, read and written under the lock.
    OptionalBool analyse_is_silent_track() const;
    void setAnalyse_is_silent_track(const OptionalBool &v);
    OptionalDouble analyse_normalization_gain() const;
    void setAnalyse_normalization_gain(const OptionalDouble &v);
    OptionalBool analyse_have_autocrop_results() const;
    void setAnalyse_have_autocrop_results(const OptionalBool &v);
    CropItemRef analyse_auto_crop_value() const;  // a copy
    void setAnalyse_auto_crop_value(const CropItem &v);

    // ---- Queue file ----
    // The task's "task" element.
    void write(XmlStreamWriter &w) const;
    // File codes: internal layouts 2 and 3 trade places; a state above 8 is written as 0.
    uint32_t get_state_for_xml() const;
    uint32_t get_audio_layout_for_xml() const;
    // Stored running or paused tasks come back cancelled.
    bool set_state_from_xml(const std::string &text);
    bool set_audio_layout_from_xml(const std::string &text);
    // One "rq_params" element.
    void set_main_attributes_with_xml_dict(const XmlAttributes &attributes);
    void set_custom_path_with_xml_dict(const XmlAttributes &attributes);
    void set_render_path_with_xml_dict(const XmlAttributes &attributes);
    void set_progress_info_with_xml_dict(const XmlAttributes &attributes);
    void set_media_src_interpret_for_main_file_with_xml_dict(const XmlAttributes &attributes);
    void set_audio_info_for_main_file(const ParseAudioTrack &track);
    void set_audio_info_for_ext_wav_for_index(const ParseAudioTrack &track, int64_t index);

    // ---- Summary texts ----
    std::optional<std::string> get_warning_load() const;
    std::vector<std::string> get_main_file_info_ui() const;
    std::vector<std::vector<std::string>> get_ext_src_wav_info_ui() const;
    bool have_hap_out() const { return have_target_hap; }
    std::vector<std::string> get_hap_out_info_ui();
    std::vector<std::string> get_crop_info_ui();
    std::vector<std::string> get_main_audio_out_info_ui() const;
    std::vector<std::string> get_arr_hap_out_pvw_name_ui() const;
    std::vector<std::string> get_arr_wav_audio_out_pvw_name_ui() const;
    std::string get_first_folder_hap_out_pvw_ui() const;
    std::string get_first_folder_wav_out_pvw_ui() const;
    std::string get_layout_for_ui() const;

private:
    void _set_outpath_with_xml_dict_is_render(const XmlAttributes &attributes, bool render);
    // Source has video with alpha and the crop mode is automatic.
    bool autocrop_applies() const;
    // The geometry of one crop item on the source size, without scaling.
    HapStandCropScale crop_scale_of_item(const CropItem &item) const;
    void refresh_hap_list(size_t count);
    void refresh_wav_list();
    std::string quality_text() const;
    std::string chunk_text(uint32_t width, uint32_t height) const;

    mutable std::mutex lock_analyse_results_;
    OptionalBool analyse_is_silent_track_;
    OptionalDouble analyse_normalization_gain_;
    OptionalBool analyse_have_autocrop_results_;
    CropItemRef analyse_auto_crop_value_;
};
