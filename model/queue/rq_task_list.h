#pragma once
// Reads and writes the parameters of one or several tasks at once for the task-parameters
// dialog. Each getter returns one value and sets *differ when the tasks disagree; each
// setter writes the value into every task unless `mv` (the control still shows several
// values). The list works on the caller's task objects, never on copies. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/queue/rq_task.h"

class RqTaskList;
using RqTaskListRef = std::shared_ptr<RqTaskList>;

class RqTaskList {
public:
    ZQ_PROPERTY(bool, is_single_task, setIs_single_task) = false;
    ZQ_PROPERTY(bool, isSameCropAndInputRes, setIsSameCropAndInputRes) = false;
    ZQ_PROPERTY(bool, isSameCropAndInputResAndTransform, setIsSameCropAndInputResAndTransform) = false;
    ZQ_PROPERTY(bool, isSameCropAndInputResAndTransformAndScale, setIsSameCropAndInputResAndTransformAndScale) = false;
    ZQ_PROPERTY(uint32_t, srcWidth, setSrcWidth) = 0;
    ZQ_PROPERTY(uint32_t, srcHeight, setSrcHeight) = 0;
    ZQ_PROPERTY(std::vector<RqTaskRef>, arr_tasks, setArr_tasks);

    // None (logged) for an empty array.
    static RqTaskListRef init_with_arr_tasks(const std::vector<RqTaskRef> &tasks);
    std::string description() const;

    // What a setter does besides writing, with `mv` on and off.
    enum class SetterMode { Plain, Crop, Multicrop, Transform, Scale, ScaleSize };

#define RQ_PLAIN(T, GET, SET, MODE, MIXED, READ, WRITE) \
    T GET(bool *differ) const;                          \
    void SET(const T &v, bool mv);
#define RQ_COND(T, GET, SET, MODE, APPLIES, FALLBACK, READ, WRITE) RQ_PLAIN(T, GET, SET, MODE, , READ, WRITE)
#include "model/queue/rq_task_list_props.inc"
#undef RQ_PLAIN
#undef RQ_COND

    // The source interpretation; *applies tells whether it applies to at least one task.
    uint32_t get_src_interpret_fps_mode_and_is_need(bool *differ, bool *applies) const;
    uint32_t get_src_alpha_mode_and_is_need(bool *differ, bool *applies) const;
    uint32_t get_src_video_range_mode_and_is_need(bool *differ, bool *applies) const;
    void set_src_interpret_fps_mode_and_mv(const uint32_t &v, bool mv);
    void set_src_alpha_mode_val_and_mv(const uint32_t &v, bool mv);
    void set_src_video_range_mode_and_mv(const uint32_t &v, bool mv);

    // ---- Read-only queries ----
    bool get_need_codec_quality(bool *differ) const;
    std::optional<std::string> get_preset_name(bool *differ) const;
    bool get_is_custom_video_hap_target_name() const;
    bool get_is_custom_audio_target_name() const;
    bool have_one_task_need_disable_scale() const;
    bool need_combo_transform_mode() const;
    bool is_same_input_res() const { return srcWidth != 0 && srcHeight != 0; }
    bool is_same_crop_and_input_res() const { return isSameCropAndInputRes; }
    bool is_same_crop_and_input_res_and_transform() const { return isSameCropAndInputResAndTransform; }
    bool is_same_crop_and_input_res_and_transform_and_scale() const {
        return isSameCropAndInputResAndTransformAndScale;
    }
    bool can_enable_btn_link_ratio() const { return is_same_input_res() && isSameCropAndInputResAndTransformAndScale; }

    // ---- Predicates on one setting ----
    static bool is_codec_mode_need_quality(uint32_t codec);
    static bool is_hap_codec_need_quality(const Setting &s) { return is_codec_mode_need_quality(s.vid_codec_hap); }
    static bool is_snappy_mode_need_chunks(const Setting &s) { return s.vid_enable_snappy; }
    static bool is_fps_mode_need_custom_fps(const Setting &s) { return s.vid_fps_mode == 1; }
    static bool is_scale_mode_need_width(const Setting &s) { return s.vid_scale_mode == 1; }
    static bool is_scale_mode_need_height(const Setting &s) { return s.vid_scale_mode == 1; }
    static bool is_scale_mode_need_screen_width(const Setting &s) {
        return s.vid_scale_mode == 2 || s.vid_scale_mode == 3;
    }
    static bool is_scale_mode_need_screen_height(const Setting &s) {
        return s.vid_scale_mode == 2 || s.vid_scale_mode == 4;
    }
    static bool is_params_need_audio_wav_suffix(const Setting &s) {
        return s.aud_enable_audio && s.aud_write_wav_file && s.aud_write_multi_mono_file;
    }

    // ---- On every task ----
    void set_new_preset(const Setting &setting);
    void set_tasks_to_custom();
    void refresh_cache_target_properties();
    void reset_custom_hap_out_name();
    void reset_custom_audio_out_name();
    void update_src_res();
    void update_same_crop_scale();

private:
    void set_same_flags(bool crop, bool transform, bool scale);
    void after_write(SetterMode mode, bool mv);
};
