#include "model/settings/setting.h"

#include <cstdarg>
#include <cstdio>

namespace {

const char *const kFpsTexts[9] = {"23.98", "24", "25", "29.97", "30", "48", "50", "59.94", "60"};

std::string fmt_line(const char *f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt_line(const char *f, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof(buf), f, ap);
    va_end(ap);
    return std::string(buf) + "\n";
}

}  // namespace

const char *fps_custom_text(uint32_t index) { return index < 9 ? kFpsTexts[index] : ""; }

Setting::Setting() : nam_video_hap(SettingNaming::init()), nam_audio_wav(SettingNaming::init()) {
    nam_video_hap->set_default_mask_video();
    nam_audio_wav->set_default_mask_audio();
}

SettingRef Setting::init() { return std::make_shared<Setting>(); }

void Setting::set_default_preset_hapa_fast() {
    name = "HAP(A) Fast";
    vid_hap_quality = 0;
}

void Setting::set_default_preset_hapa_normal() {
    name = "HAP(A) Normal";
    vid_hap_quality = 1;
}

void Setting::set_default_preset_hapa_slow() {
    name = "HAP(A) Slow";
    vid_hap_quality = 2;
}

void Setting::set_default_preset_hapqa_fast() {
    name = "HAPQ(A) Fast";
    vid_codec_hap = 2;
    vid_hap_quality = 0;
}

void Setting::set_default_preset_hapqa_normal() {
    name = "HAPQ(A) Normal";
    vid_codec_hap = 2;
    vid_hap_quality = 1;
}

void Setting::set_default_preset_hapqa_slow() {
    name = "HAPQ(A) Slow";
    vid_codec_hap = 2;
    vid_hap_quality = 2;
}

void Setting::set_default_preset_hapalphaonly_luma() {
    name = "HAP Alpha Only From Luma";
    vid_codec_hap = 4;
    vid_hap_quality = 1;
}

void Setting::set_default_preset_hapalphaonly_alpha() {
    name = "HAP Alpha Only From Alpha";
    vid_codec_hap = 5;
    vid_hap_quality = 1;
}

void Setting::set_default_preset_hapr() {
    name = "HAPR Fast";
    vid_codec_hap = 6;
    vid_hap_quality = 0;
}

void Setting::set_default_preset_wav_only() {
    name = "Wav 16b 48Khz";
    vid_enable_video = false;
    aud_enable_audio = true;
    aud_embed_in_hap = false;
    aud_write_wav_file = true;
    nam_use_video_hap_for_wav = false;
}

void Setting::set_default_preset_cmd_rendering() { set_default_preset_hapa_fast(); }

bool Setting::setting_is_valid_for_video_and_audio(bool has_video, bool has_audio) const {
    if (!has_video && !has_audio) return false;
    if (has_video && has_audio) return true;
    return has_video ? vid_enable_video : !vid_enable_video;
}

SettingRef Setting::mutableCopyWithZone() const {
    SettingRef c = std::make_shared<Setting>(*this);
    c->version = 0;
    c->is_inside_naming_video_hap = false;
    c->is_inside_naming_audio_wav = false;
    c->_arr_multi_crop_items.clear();
    for (const CropItemRef &item : _arr_multi_crop_items)
        if (item) c->_arr_multi_crop_items.push_back(item->mutableCopyWithZone());
    c->nam_video_hap = nam_video_hap ? nam_video_hap->mutableCopyWithZone() : SettingNaming::init();
    c->nam_audio_wav = nam_audio_wav ? nam_audio_wav->mutableCopyWithZone() : SettingNaming::init();
    return c;
}

bool Setting::is_equal_to_setting(const Setting &o) const {
    if (name != o.name) return false;
    if (vid_enable_video != o.vid_enable_video || vid_enable_smart_render != o.vid_enable_smart_render ||
        vid_alpha_mode != o.vid_alpha_mode || vid_codec_hap != o.vid_codec_hap ||
        vid_hap_quality != o.vid_hap_quality || vid_enable_snappy != o.vid_enable_snappy ||
        vid_chunks != o.vid_chunks || vid_fps_mode != o.vid_fps_mode || vid_fps_custom != o.vid_fps_custom ||
        vid_alpha_conversion != o.vid_alpha_conversion || is_multi_crop != o.is_multi_crop ||
        is_auto_crop != o.is_auto_crop)
        return false;
    if (!crop_items_array_equal(_arr_multi_crop_items, o._arr_multi_crop_items)) return false;
    if (vid_crop_to_multiple_4 != o.vid_crop_to_multiple_4 ||
        vid_crop_scale_to_screen_res != o.vid_crop_scale_to_screen_res || vid_auto_crop_top != o.vid_auto_crop_top ||
        vid_auto_crop_left != o.vid_auto_crop_left || vid_auto_crop_right != o.vid_auto_crop_right ||
        vid_auto_crop_bottom != o.vid_auto_crop_bottom)
        return false;
    // In multicrop every item carries its own transform.
    if (!is_multi_crop && vid_transform_mode != o.vid_transform_mode) return false;
    if (vid_scale_mode != o.vid_scale_mode || vid_enable_scale_link_ratio != o.vid_enable_scale_link_ratio ||
        vid_scale_width != o.vid_scale_width || vid_scale_height != o.vid_scale_height ||
        vid_scale_screen_width != o.vid_scale_screen_width || vid_scale_screen_height != o.vid_scale_screen_height ||
        vid_scale_quality != o.vid_scale_quality || vid_scale_conform_mult_4 != o.vid_scale_conform_mult_4)
        return false;
    if (metadata_tc_mode != o.metadata_tc_mode || metadata_tc_force_drop_frame != o.metadata_tc_force_drop_frame ||
        metadata_start_tc_force != o.metadata_start_tc_force ||
        metadata_write_crop_box_metadata != o.metadata_write_crop_box_metadata)
        return false;
    if (aud_enable_audio != o.aud_enable_audio || aud_frequency != o.aud_frequency || aud_quantif != o.aud_quantif ||
        aud_gain_mode != o.aud_gain_mode)
        return false;
    // Exact float equality: a NaN differs from everything.
    if (!(aud_set_gain_val == o.aud_set_gain_val) || !(aud_true_peak_val == o.aud_true_peak_val) ||
        !(aud_target_loudness_val == o.aud_target_loudness_val))
        return false;
    if (aud_embed_in_hap != o.aud_embed_in_hap || aud_write_wav_file != o.aud_write_wav_file ||
        aud_write_multi_mono_file != o.aud_write_multi_mono_file ||
        aud_ignore_silent_track != o.aud_ignore_silent_track || aud_multi_mono_suffix != o.aud_multi_mono_suffix)
        return false;
    const auto naming_equal = [](const SettingNamingRef &a, const SettingNamingRef &b) {
        if (!a || !b) return a == b;
        return a->is_equal_to_setting_naming(*b);
    };
    if (!naming_equal(nam_video_hap, o.nam_video_hap)) return false;
    if (nam_use_video_hap_for_wav != o.nam_use_video_hap_for_wav) return false;
    return naming_equal(nam_audio_wav, o.nam_audio_wav);
}

std::string Setting::description() const {
    static const char *const kConversions[3] = {"Same as source", "Premultiply Black", "Straight"};
    const auto ul = [](uint64_t v) { return (unsigned long)v; };
    std::string s;
    s += "name : " + name.value_or("(null)") + "\n";
    s += fmt_line("vid_enable_video : %d", vid_enable_video);
    s += fmt_line("vid_enable_smart_render : %d", vid_enable_smart_render);
    s += fmt_line("vid_alpha_mode : %lu", ul(vid_alpha_mode));
    s += fmt_line("vid_codec_hap : %lu", ul(vid_codec_hap));
    s += fmt_line("vid_hap_quality : %lu", ul(vid_hap_quality));
    s += fmt_line("vid_enable_snappy : %d", vid_enable_snappy);
    s += fmt_line("vid_chunks : %lu", ul(vid_chunks));
    s += fmt_line("vid_fps_mode : %lu", ul(vid_fps_mode));
    s += fmt_line("vid_fps_custom : %lu", ul(vid_fps_custom));
    s += fmt_line("vid_alpha_conversion : %s",
                  vid_alpha_conversion < 3 ? kConversions[vid_alpha_conversion] : "Unknown");
    s += fmt_line("vid_crop_to_multiple_4 : %lu", ul(vid_crop_to_multiple_4));
    s += fmt_line("is_multi_crop : %d", is_multi_crop);
    s += fmt_line("Crop Item : %lu", ul(_arr_multi_crop_items.size()));
    for (const CropItemRef &item : _arr_multi_crop_items)
        if (item) s += "  " + item->description() + "\n";
    s += fmt_line("vid_transform_mode : %s", transform_mode_exchange_text(vid_transform_mode));
    s += fmt_line("vid_scale_mode : %lu", ul(vid_scale_mode));
    s += fmt_line("vid_enable_scale_link_ratio : %d", vid_enable_scale_link_ratio);
    s += fmt_line("vid_scale_width : %lu", ul(vid_scale_width));
    s += fmt_line("vid_scale_height : %lu", ul(vid_scale_height));
    s += fmt_line("vid_scale_quality : %lu", ul(vid_scale_quality));
    s += fmt_line("vid_scale_conform_mult_4 : %d", vid_scale_conform_mult_4);
    s += fmt_line("metadata_tc_mode : %lu", ul(metadata_tc_mode));
    s += fmt_line("metadata_tc_force_drop_frame : %d", metadata_tc_force_drop_frame);
    s += "metadata_start_tc_force : " + metadata_start_tc_force.value_or("(null)") + "\n";
    s += fmt_line("aud_enable_audio : %d", aud_enable_audio);
    s += fmt_line("aud_frequency : %lu", ul(aud_frequency));
    s += fmt_line("aud_quantif : %lu", ul(aud_quantif));
    s += fmt_line("aud_gain_mode : %d", int(aud_gain_mode));
    s += fmt_line("aud_set_gain_val : %f", aud_set_gain_val);
    s += fmt_line("aud_true_peak_val : %f", aud_true_peak_val);
    s += fmt_line("aud_target_loudness_val : %f", aud_target_loudness_val);
    s += fmt_line("aud_embed_in_hap : %d", aud_embed_in_hap);
    s += fmt_line("aud_write_wav_file : %d", aud_write_wav_file);
    s += fmt_line("aud_write_multi_mono_file : %d", aud_write_multi_mono_file);
    s += fmt_line("aud_ignore_silent_track : %d", aud_ignore_silent_track);
    s += fmt_line("aud_multi_mono_suffix : %lu", ul(aud_multi_mono_suffix));
    s += "nam_video_hap : " + (nam_video_hap ? nam_video_hap->description() : "(null)") + "\n";
    s += fmt_line("nam_use_video_hap_for_wav : %d", nam_use_video_hap_for_wav);
    s += "nam_audio_wav : " + (nam_audio_wav ? nam_audio_wav->description() : "(null)");
    return "Setting Obj : " + s;
}
