#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/settings/setting.h"
#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/path.h"
#include "platform/foundation/xml_writer.h"

namespace {

// VideoSetting_FpsCustom index to file code; 7 to 14 are not used.
const uint32_t kFpsCodes[9] = {0, 1, 2, 3, 4, 15, 16, 5, 6};

const char *yes_no(bool v) { return v ? "YES" : "NO"; }

void param(XmlStreamWriter &w, const char *key, const std::string &value) {
    w.start_element("params");
    w.attribute("k", key);
    w.attribute("v", value);
    w.end_element();
}

void param(XmlStreamWriter &w, const char *key, bool value) { param(w, key, std::string(yes_no(value))); }

void param_u(XmlStreamWriter &w, const char *key, uint64_t value) { param(w, key, number_text_from_uint(value)); }

void param_f(XmlStreamWriter &w, const char *key, float value) { param(w, key, number_text_from_double(value)); }

// The number rule: a non-negative 64-bit integer; false (and 0) otherwise.
bool number(const std::string &text, uint64_t *v) { return number_text_to_uint(&text, INT64_MAX, v); }

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

// The common shape of the ranged keys: stored when the number is at most `max`, else one
// of two log lines, the property unchanged.
bool ranged(const std::string &text, uint64_t max, uint32_t *field, const char *bad_value, const char *not_number) {
    uint64_t v = 0;
    if (!number(text, &v)) {
        zlog(not_number, text.c_str());
        return false;
    }
    if (v > max) {
        zlog(bad_value, (unsigned long)v);
        return false;
    }
    *field = uint32_t(v);
    return true;
}


class SettingFileReader : public XmlEventHandler {
public:
    explicit SettingFileReader(Setting &s) : s_(s) {}
    void xml_start_element(const std::string &name, const XmlAttributes &attributes) override {
        if (name == "setting") settings_++;
        s_.parser_didStartElement_namespaceURI_qualifiedName_attributes(name, attributes);
    }
    void xml_end_element(const std::string &name) override { s_.parser_didEndElement_namespaceURI_qualifiedName(name); }
    int settings() const { return settings_; }

private:
    Setting &s_;
    int settings_ = 0;
};

// An enumeration value to write: values past its range are written as 0 with a log line.
uint32_t enum_for_xml(uint32_t v, uint32_t max, const char *unknown) {
    if (v <= max) return v;
    zlog(unknown, (unsigned long)v);
    return 0;
}

}  // namespace

uint32_t Setting::get_vid_alpha_mode_for_xml() const {
    return enum_for_xml(vid_alpha_mode, 2, "Unknown alpha mode : %lu");
}

uint32_t Setting::get_vid_codec_hap_for_xml() const {
    return enum_for_xml(vid_codec_hap, 6, "Unknown codec hap : %lu");
}

uint32_t Setting::get_vid_hap_quality_for_xml() const {
    return enum_for_xml(vid_hap_quality, 2, "Unknown codec hap quality : %lu");
}

uint32_t Setting::get_vid_fps_mode_for_xml() const { return enum_for_xml(vid_fps_mode, 1, "Unknown fps mode : %lu"); }

uint32_t Setting::get_vid_fps_custom_for_xml() const {
    if (vid_fps_custom <= 8) return kFpsCodes[vid_fps_custom];
    zlog("Unknown fps custom : %lu", (unsigned long)vid_fps_custom);
    return 0;
}

uint32_t Setting::get_aud_frequency_for_xml() const { return enum_for_xml(aud_frequency, 1, "Unknown aud freq : %lu"); }

uint32_t Setting::get_aud_quantif_for_xml() const { return enum_for_xml(aud_quantif, 2, "Unknown auqd quantif : %lu"); }

uint32_t Setting::get_aud_multi_mono_suffix_for_xml() const {
    return enum_for_xml(aud_multi_mono_suffix, 1, "Unknown audio multi mono suffix : %lu");
}

void Setting::write(XmlStreamWriter &w) const {
    w.start_element("setting");
    if (name) param(w, "name", *name);
    param(w, "vid_enable_video", vid_enable_video);
    param(w, "vid_enable_smart_render", vid_enable_smart_render);
    param_u(w, "vid_alpha_mode", get_vid_alpha_mode_for_xml());
    param_u(w, "vid_codec_hap", get_vid_codec_hap_for_xml());
    param_u(w, "vid_hap_quality", get_vid_hap_quality_for_xml());
    param(w, "vid_enable_snappy", vid_enable_snappy);
    param_u(w, "vid_chunks", vid_chunks);
    param_u(w, "vid_fps_mode", get_vid_fps_mode_for_xml());
    param_u(w, "vid_fps_custom", get_vid_fps_custom_for_xml());
    param_u(w, "vid_alpha_conversion", vid_alpha_conversion <= 2 ? vid_alpha_conversion + 1 : 1);
    param(w, "is_multi_crop", is_multi_crop);
    param(w, "is_auto_crop", is_auto_crop);
    for (size_t i = 0; i < _arr_multi_crop_items.size() && (is_multi_crop || i == 0); i++)
        if (_arr_multi_crop_items[i]) _arr_multi_crop_items[i]->write(w);
    param(w, "vid_crop_to_multiple_4", vid_crop_to_multiple_4);
    param(w, "vid_crop_scale_to_screen_res", vid_crop_scale_to_screen_res);
    param(w, "vid_auto_crop_top", vid_auto_crop_top);
    param(w, "vid_auto_crop_left", vid_auto_crop_left);
    param(w, "vid_auto_crop_right", vid_auto_crop_right);
    param(w, "vid_auto_crop_bottom", vid_auto_crop_bottom);
    param_u(w, "vid_transform_mode", vid_transform_mode <= 5 ? vid_transform_mode : 0);
    param_u(w, "vid_scale_mode", vid_scale_mode <= 7 ? vid_scale_mode : 0);
    param(w, "vid_enable_scale_link_ratio", vid_enable_scale_link_ratio);
    param_u(w, "vid_scale_width", vid_scale_width);
    param_u(w, "vid_scale_height", vid_scale_height);
    param_u(w, "vid_scale_screen_width", vid_scale_screen_width);
    param_u(w, "vid_scale_screen_height", vid_scale_screen_height);
    param_u(w, "vid_scale_quality", vid_scale_quality <= 2 ? vid_scale_quality : 0);
    param(w, "vid_scale_conform_mult_4", vid_scale_conform_mult_4);
    uint32_t tc = metadata_tc_mode;
    if (tc > 3) {
        printf("Unknown TC Mode : %d\n", int(tc));
        tc = 0;
    }
    param_u(w, "metadata_tc_mode", tc);
    param(w, "metadata_tc_force_drop_frame", metadata_tc_force_drop_frame);
    if (metadata_start_tc_force) param(w, "metadata_start_tc_force", *metadata_start_tc_force);
    param(w, "metadata_write_crop_box_metadata", metadata_write_crop_box_metadata);
    param(w, "aud_enable_audio", aud_enable_audio);
    param_u(w, "aud_frequency", get_aud_frequency_for_xml());
    param_u(w, "aud_quantif", get_aud_quantif_for_xml());
    param_u(w, "aud_gain_mode", aud_gain_mode <= 3 ? aud_gain_mode : 0);
    param_f(w, "aud_set_gain_val", aud_set_gain_val);
    param_f(w, "aud_true_peak_val", aud_true_peak_val);
    param_f(w, "aud_target_loudness_val", aud_target_loudness_val);
    param(w, "aud_embed_in_hap", aud_embed_in_hap);
    param(w, "aud_write_wav_file", aud_write_wav_file);
    param(w, "aud_write_multi_mono_file", aud_write_multi_mono_file);
    param(w, "aud_ignore_silent_track", aud_ignore_silent_track);
    param_u(w, "aud_multi_mono_suffix", get_aud_multi_mono_suffix_for_xml());
    w.start_element("naming_video_hap");
    if (nam_video_hap) nam_video_hap->write(w);
    w.end_element();
    param(w, "nam_use_video_hap_for_wav", nam_use_video_hap_for_wav);
    w.start_element("naming_audio_wav");
    if (nam_audio_wav) nam_audio_wav->write(w);
    w.end_element();
    w.end_element();
}

std::string Setting::get_xml_str_content() const {
    XmlStreamWriter w;
    w.start_document("1.0", "UTF-8");
    write(w);
    w.end_document();
    return w.text();
}

bool Setting::set_vid_alpha_mode_from_xml(const std::string &t) {
    return ranged(t, 2, &vid_alpha_mode, "Invalid alpha mode value : %lu", "Invalid Alpha mode value : %s");
}

bool Setting::set_vid_codec_hap_from_xml(const std::string &t) {
    return ranged(t, 6, &vid_codec_hap, "Invalid codec hap mode value : %lu", "Invalid codec hap : %s");
}

bool Setting::set_vid_hap_quality_from_xml(const std::string &t) {
    return ranged(t, 2, &vid_hap_quality, "Invalid codec hap quality value : %lu", "Invalid codec hap quality : %s");
}

bool Setting::set_vid_chunks_from_xml(const std::string &t) {
    uint64_t v = 0;
    if (!number(t, &v) || v < 1 || v > 64) {
        zlog("Invalid video chunks : %s", t.c_str());
        return false;
    }
    vid_chunks = uint32_t(v);
    return true;
}

bool Setting::set_vid_fps_mode_from_xml(const std::string &t) {
    return ranged(t, 1, &vid_fps_mode, "Invalid fps mode value : %lu", "Invalid fps mode : %s");
}

bool Setting::set_vid_fps_custom_from_xml(const std::string &t) {
    uint64_t v = 0;
    if (!number(t, &v)) {
        zlog("Invalid fps custom : %s", t.c_str());
        return false;
    }
    for (uint32_t i = 0; i < 9; i++) {
        if (kFpsCodes[i] == v) {
            vid_fps_custom = i;
            return true;
        }
    }
    zlog("Invalid fps custom value : %lu", (unsigned long)v);
    return false;
}

bool Setting::set_vid_scale_mode_from_xml(const std::string &t) {
    uint64_t v = 0;
    if (!number(t, &v) || v > UINT32_MAX) {
        zlog("Invalid scale mode : %s", t.c_str());
        return false;
    }
    if (v > 7) {
        printf("Unknown Scale Mode : %d\n", int(uint32_t(v)));
        zlog("Invalid scale mode : %s", t.c_str());
        return false;
    }
    vid_scale_mode = uint32_t(v);
    return true;
}

namespace {

// A size above 0 that fits in 32 bits (larger values are refused rather than wrapped).
bool size_from_xml(const std::string &t, uint32_t *field, const char *message) {
    uint64_t v = 0;
    if (!number(t, &v) || v == 0 || v > UINT32_MAX) {
        zlog(message, t.c_str());
        return false;
    }
    *field = uint32_t(v);
    return true;
}

}  // namespace

bool Setting::set_vid_scale_width_from_xml(const std::string &t) {
    return size_from_xml(t, &vid_scale_width, "Invalid scale width : %s");
}

bool Setting::set_vid_scale_height_from_xml(const std::string &t) {
    return size_from_xml(t, &vid_scale_height, "Invalid scale height : %s");
}

bool Setting::set_vid_scale_screen_width_from_xml(const std::string &t) {
    return size_from_xml(t, &vid_scale_screen_width, "Invalid scale screen width : %s");
}

bool Setting::set_vid_scale_screen_height_from_xml(const std::string &t) {
    return size_from_xml(t, &vid_scale_screen_height, "Invalid scale screen height : %s");
}

bool Setting::set_vid_scale_quality_from_xml(const std::string &t) {
    uint64_t v = 0;
    if (!number(t, &v) || v > UINT32_MAX) {
        zlog("Invalid scale quality : %s", t.c_str());
        return false;
    }
    if (v > 2) {
        printf("Unknown Scale quality : %d\n", int(uint32_t(v)));
        zlog("Invalid scale quality : %s", t.c_str());
        return false;
    }
    vid_scale_quality = uint32_t(v);
    return true;
}

bool Setting::set_met_tc_mode_from_xml(const std::string &t) {
    uint64_t v = 0;
    if (!number(t, &v) || v > UINT32_MAX) {
        zlog("Invalid timecode mode : %s", t.c_str());
        return false;
    }
    if (v > 3) {
        printf("Unknown TC Mode : %d\n", int(uint32_t(v)));
        return false;
    }
    metadata_tc_mode = uint32_t(v);
    return true;
}

bool Setting::set_met_tc_force_start_val(const std::string *t) {
    const auto fail = [&] {
        zlog("Invalid timecode start : %s", t ? t->c_str() : "(null)");
        metadata_start_tc_force = "00:00:00:00";
        return false;
    };
    if (!t || t->empty()) return fail();
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t sep = t->find_first_of(":;.,", start);
        parts.push_back(t->substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    // Frames, seconds, minutes and hours, from the end; earlier parts are not examined.
    for (size_t k = 0; k < 4 && k < parts.size(); k++) {
        const std::string &p = parts[parts.size() - 1 - k];
        uint64_t v = 0;
        if (!p.empty() && (!number(p, &v) || v > UINT32_MAX)) return fail();
    }
    metadata_start_tc_force = *t;
    return true;
}

bool Setting::set_aud_frequency_from_xml(const std::string &t) {
    return ranged(t, 1, &aud_frequency, "Invalid aud frequency value : %lu", "Invalid aud frequency : %s");
}

bool Setting::set_aud_quantif_from_xml(const std::string &t) {
    return ranged(t, 2, &aud_quantif, "Invalid aud quantif value : %lu", "Invalid aud quantif : %s");
}

bool Setting::set_aud_multi_mono_suffix_from_xml(const std::string &t) {
    return ranged(t, 1, &aud_multi_mono_suffix, "Invalid aud multi mono suffix value : %lu",
                  "Invalid aud multi mono suffix : %s");
}

bool Setting::set_legacy_crop(const std::string &t, uint32_t CropItem::*field, const char *message) {
    uint64_t v = 0;
    if (!number(t, &v) || v > UINT32_MAX) {
        zlog(message, t.c_str());
        return false;
    }
    create_default_crop_none();
    (*_arr_multi_crop_items.front()).*field = uint32_t(v);
    return true;
}

bool Setting::set_vid_crop_top_from_xml(const std::string &t) {
    return set_legacy_crop(t, &CropItem::crop_top, "Invalid crop top : %s");
}

bool Setting::set_vid_crop_left_from_xml(const std::string &t) {
    return set_legacy_crop(t, &CropItem::crop_left, "Invalid crop left : %s");
}

bool Setting::set_vid_crop_bottom_from_xml(const std::string &t) {
    return set_legacy_crop(t, &CropItem::crop_bottom_height, "Invalid crop bottom : %s");
}

bool Setting::set_vid_crop_right_from_xml(const std::string &t) {
    return set_legacy_crop(t, &CropItem::crop_right_width, "Invalid crop right : %s");
}

void Setting::set_attributes_with_xml_dict(const XmlAttributes &a) {
    const std::string *kp = find_attr(a, "k"), *vp = find_attr(a, "v");
    if (!kp || !vp) {
        zlog("Invalid xml params : %s ; %s", kp ? kp->c_str() : "(null)", vp ? vp->c_str() : "(null)");
        return;
    }
    const std::string &k = *kp, &v = *vp;
    const bool yes = v == "YES";
    struct BoolKey {
        const char *key;
        bool Setting::*field;
    };
    static const BoolKey kBools[] = {
        {"vid_enable_video", &Setting::vid_enable_video},
        {"vid_enable_smart_render", &Setting::vid_enable_smart_render},
        {"vid_enable_snappy", &Setting::vid_enable_snappy},
        {"is_multi_crop", &Setting::is_multi_crop},
        {"is_auto_crop", &Setting::is_auto_crop},
        {"vid_crop_to_multiple_4", &Setting::vid_crop_to_multiple_4},
        {"vid_crop_scale_to_screen_res", &Setting::vid_crop_scale_to_screen_res},
        {"vid_auto_crop_top", &Setting::vid_auto_crop_top},
        {"vid_auto_crop_left", &Setting::vid_auto_crop_left},
        {"vid_auto_crop_right", &Setting::vid_auto_crop_right},
        {"vid_auto_crop_bottom", &Setting::vid_auto_crop_bottom},
        {"vid_enable_scale_link_ratio", &Setting::vid_enable_scale_link_ratio},
        {"vid_scale_conform_mult_4", &Setting::vid_scale_conform_mult_4},
        {"metadata_tc_force_drop_frame", &Setting::metadata_tc_force_drop_frame},
        {"metadata_write_crop_box_metadata", &Setting::metadata_write_crop_box_metadata},
        {"aud_enable_audio", &Setting::aud_enable_audio},
        {"aud_embed_in_hap", &Setting::aud_embed_in_hap},
        {"aud_write_wav_file", &Setting::aud_write_wav_file},
        {"aud_write_multi_mono_file", &Setting::aud_write_multi_mono_file},
        {"aud_ignore_silent_track", &Setting::aud_ignore_silent_track},
        {"nam_use_video_hap_for_wav", &Setting::nam_use_video_hap_for_wav},
    };
    for (const BoolKey &b : kBools) {
        if (k == b.key) {
            this->*b.field = yes;
            return;
        }
    }
    uint64_t n = 0;
    if (k == "name") {
        name = v;
    } else if (k == "vid_alpha_mode") {
        set_vid_alpha_mode_from_xml(v);
    } else if (k == "vid_codec_hap") {
        set_vid_codec_hap_from_xml(v);
    } else if (k == "vid_hap_quality") {
        set_vid_hap_quality_from_xml(v);
    } else if (k == "vid_chunks") {
        set_vid_chunks_from_xml(v);
    } else if (k == "vid_fps_mode") {
        set_vid_fps_mode_from_xml(v);
    } else if (k == "vid_fps_custom") {
        set_vid_fps_custom_from_xml(v);
    } else if (k == "vid_alpha_conversion") {
        if (!number(v, &n) || n > UINT32_MAX) {
            zlog("Fail to read vid_alpha_conversion %s", v.c_str());
        } else if (n < 1 || n > 3) {
            printf("Unknown VideoSetting_AlphaConversion val : %u", uint32_t(n));
            vid_alpha_conversion = 0;
        } else {
            vid_alpha_conversion = uint32_t(n - 1);
        }
    } else if (k == "vid_transform_mode") {
        if (!number(v, &n) || n > UINT32_MAX) n = 0;
        if (n > 5) {
            printf("Invalid Transform Rotate Flip : %u, default to no transform\n", uint32_t(n));
            n = 0;
        }
        vid_transform_mode = uint32_t(n);
    } else if (k == "vid_scale_mode") {
        set_vid_scale_mode_from_xml(v);
    } else if (k == "vid_scale_width") {
        set_vid_scale_width_from_xml(v);
    } else if (k == "vid_scale_height") {
        set_vid_scale_height_from_xml(v);
    } else if (k == "vid_scale_screen_width") {
        set_vid_scale_screen_width_from_xml(v);
    } else if (k == "vid_scale_screen_height") {
        set_vid_scale_screen_height_from_xml(v);
    } else if (k == "vid_scale_quality") {
        set_vid_scale_quality_from_xml(v);
    } else if (k == "metadata_tc_mode") {
        set_met_tc_mode_from_xml(v);
    } else if (k == "metadata_start_tc_force") {
        set_met_tc_force_start_val(&v);
    } else if (k == "aud_frequency") {
        set_aud_frequency_from_xml(v);
    } else if (k == "aud_quantif") {
        set_aud_quantif_from_xml(v);
    } else if (k == "aud_gain_mode" || k == "audio_gain_mode") {
        if (!number(v, &n) || n > UINT32_MAX) n = 0;
        if (n > 3) {
            printf("Unknown Audio Gain Mode : %d\n", int(uint32_t(n)));
            n = 0;
        }
        aud_gain_mode = uint32_t(n);
    } else if (k == "aud_set_gain_val") {
        const float g = number_text_to_float(v);
        aud_set_gain_val = std::isinf(g) ? 0.0f : g;
    } else if (k == "aud_true_peak_val") {
        const float g = number_text_to_float(v);
        if (!std::isinf(g)) aud_true_peak_val = g;
    } else if (k == "aud_target_loudness_val") {
        const float g = number_text_to_float(v);
        if (!std::isinf(g)) aud_target_loudness_val = g;
    } else if (k == "aud_multi_mono_suffix") {
        set_aud_multi_mono_suffix_from_xml(v);
    } else if (k == "aud_global_gain") {
        const float g = number_text_to_float(v);
        if (std::isfinite(g) && g != 0.0f) {
            aud_gain_mode = 1;
            aud_set_gain_val = g;
        } else {
            aud_gain_mode = 0;
        }
    } else if (k == "vid_crop_top") {
        set_vid_crop_top_from_xml(v);
    } else if (k == "vid_crop_left") {
        set_vid_crop_left_from_xml(v);
    } else if (k == "vid_crop_bottom") {
        set_vid_crop_bottom_from_xml(v);
    } else if (k == "vid_crop_right") {
        set_vid_crop_right_from_xml(v);
    }
}

void Setting::add_crop_item_from_attributes_xml_dict(const XmlAttributes &attributes) {
    CropItemRef item = CropItem::init();
    item->set_attributes_with_xml_dict(attributes);
    if (item->is_valid())
        _arr_multi_crop_items.push_back(item);
    else
        zlog("Invalid crop item : %s", xml_attributes_description(attributes).c_str());
}

void Setting::add_txt_replace_naming_video_from_attributes_xml_dict(const XmlAttributes &attributes) {
    nam_video_hap->add_txt_replace_from_xml_attributes(attributes);
}

void Setting::add_txt_replace_naming_audio_from_attributes_xml_dict(const XmlAttributes &attributes) {
    nam_audio_wav->add_txt_replace_from_xml_attributes(attributes);
}

void Setting::parser_didStartElement_namespaceURI_qualifiedName_attributes(const std::string &element,
                                                                           const XmlAttributes &attributes) {
    if (element == "params") {
        set_attributes_with_xml_dict(attributes);
    } else if (element == "naming_video_hap") {
        nam_video_hap->set_from_xml_dict(attributes);
        is_inside_naming_video_hap = true;
    } else if (element == "naming_audio_wav") {
        nam_audio_wav->set_from_xml_dict(attributes);
        is_inside_naming_audio_wav = true;
    } else if (element == "naming_txt_replace") {
        if (is_inside_naming_video_hap)
            add_txt_replace_naming_video_from_attributes_xml_dict(attributes);
        else if (is_inside_naming_audio_wav)
            add_txt_replace_naming_audio_from_attributes_xml_dict(attributes);
        else
            zlog("Node txt replace invalide");
    } else if (element == "CropItem") {
        add_crop_item_from_attributes_xml_dict(attributes);
    }
}

void Setting::parser_didEndElement_namespaceURI_qualifiedName(const std::string &element) {
    if (element == "naming_video_hap")
        is_inside_naming_video_hap = false;
    else if (element == "naming_audio_wav")
        is_inside_naming_audio_wav = false;
}

bool is_valid_preset_name(const std::string &name) {
    return name != "." && name != ".." && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::optional<std::string> Setting::get_preset_filepath(const std::optional<std::string> &folder) const {
    if (!name || !folder) return std::nullopt;
    // The name becomes a file name: it must not reach outside the preset folder.
    if (!is_valid_preset_name(*name)) return std::nullopt;
    return path_append_component(*folder, *name + ".xml");
}

bool Setting::save_preset_file(const std::optional<std::string> &folder) const {
    if (is_custom()) return false;
    const std::optional<std::string> path = get_preset_filepath(folder);
    if (!path) {
        zlog("Can't save preset file (invalid path)");
        return false;
    }
    std::string error;
    if (!write_file_atomic(*path, get_xml_str_content(), &error)) {
        zlog("Fail to write preset file : %s", error.c_str());
        return false;
    }
    return true;
}

void Setting::delete_preset_file(const std::optional<std::string> &folder) const {
    if (is_custom()) return;
    const std::optional<std::string> path = get_preset_filepath(folder);
    if (!path || path->empty()) {
        zlog(path ? "Empty filepath" : "Nil filepath");
        zlog("Fail to delete preset file");
        return;
    }
    if (unlink(path->c_str()) != 0) {
        zlog("Fail to delete file : %s : %s", path->c_str(), strerror(errno));
        zlog("Fail to delete preset file");
    }
}

bool Setting::is_preset_file_exists(const std::optional<std::string> &folder) const {
    const std::optional<std::string> path = get_preset_filepath(folder);
    return path && is_existing_file(*path);
}

bool Setting::set_from_xml_file(const std::string &path) {
    name = path_name_without_extension(path);
    is_inside_naming_video_hap = false;
    is_inside_naming_audio_wav = false;
    SettingFileReader reader(*this);
    std::string error;
    bool ok;
    try {
        ok = xml_parse_file(path, reader, &error);
    } catch (const std::exception &e) {
        zlog("Error during pref parse : %s", e.what());
        return false;
    }
    if (!ok) {
        zlog("Error during pref parse : %s", error.c_str());
        return false;
    }
    // A presets export file holds several settings; a file without one is no preset.
    return reader.settings() == 1;
}
