#pragma once
// Crop, rotate/flip and scale geometry of one output: inputs and, after
// crop_scale_compute, the results and the flags that forbid smart rendering.
#include <cstdint>
#include <string>

struct HapStandCropScale {
    uint32_t crop_mode;  // HapStandCropMode
    uint32_t src_w, src_h;
    uint32_t crop_t, crop_l, crop_b, crop_r;  // edges: input in mode 2, result in modes 1 and 3
    uint32_t crop_width, crop_height;         // mode 1 size (lowered by the multiple-of-4 step)
    uint32_t crop_screen_width, crop_screen_height;
    bool crop_to_mult_4;
    bool crop_scale_to_screen_res;
    bool crop_top_disable_smart, crop_left_disable_smart;
    bool have_crop_error;
    uint32_t crop_out_w, crop_out_h;
    uint32_t transform_mode;  // VideoSetting_TransformMode
    bool transform_disable_smart;
    uint32_t transform_out_w, transform_out_h;
    uint32_t scale_mode;  // VideoSetting_ScaleMode; set to 1 by a screen-ratio crop scaled to the screen
    uint32_t scale_w, scale_h;
    uint32_t scale_screen_w, scale_screen_h;
    bool scale_to_mult_4;
    uint32_t target_w, target_h;
    float percent_scale_w, percent_scale_h;
    bool scale_disable_smart;
    bool have_scale_error;
};

// Edges mode, every other field 0.
void crop_scale_init(HapStandCropScale *r);
// Runs crop, transform and scale; false with have_crop_error or have_scale_error set (and a
// line printed on standard output). Results of a later stage keep their values on error.
bool crop_scale_compute(HapStandCropScale *r);

bool crop_scale_have_crop(const HapStandCropScale *r);
bool crop_scale_have_transform(const HapStandCropScale *r);
bool crop_scale_have_scale(const HapStandCropScale *r);
bool crop_scale_is_smart_compatible(const HapStandCropScale *r);
void crop_scale_get_mult_4_flags(const HapStandCropScale *r, bool *w_ok, bool *h_ok);
// Every field but the four transform fields, which dst keeps.
void crop_scale_copy_params(HapStandCropScale *dst, const HapStandCropScale *src);

std::string crop_scale_get_info_str(const HapStandCropScale *r, bool with_size, bool with_prefix);
std::string crop_scale_get_crop_info_str(const HapStandCropScale *r, bool with_size);
std::string crop_scale_get_mult_4_warning_str(const HapStandCropScale *r);
