#include "media/video_frame.h"
#include "model/settings/setting.h"
#include "platform/core/log.h"
#include "platform/foundation/path.h"

namespace {

const char *const kGlobalCropModeNames[7] = {"OriginAndSize", "OriginAndSize", "EdgesCrop", "ScreenRatio",
                                             "Multicrop",     "Autocrop",      "NoCrop"};

// Modes past 31 share the top bit, which only the any-mode mask holds.
constexpr uint32_t bit(uint32_t mode) { return mode < 31 ? 1u << mode : 1u << 31; }

}  // namespace

const char *global_crop_mode_name(uint32_t mode) { return kGlobalCropModeNames[mode <= 6 ? mode : 0]; }

uint32_t Setting::get_global_crop_mode() const {
    if (is_multi_crop) return VideoSetting_GlobalCropMode_Multicrop;
    if (is_auto_crop) return VideoSetting_GlobalCropMode_Autocrop;
    if (_arr_multi_crop_items.empty() || !_arr_multi_crop_items.front()) return VideoSetting_GlobalCropMode_NoCrop;
    const uint32_t m = _arr_multi_crop_items.front()->mode;
    if (m == HapStandCropMode_OriginAndSize) return VideoSetting_GlobalCropMode_OriginAndSize;
    if (m == HapStandCropMode_ScreenRatio) return VideoSetting_GlobalCropMode_ScreenRatio;
    return VideoSetting_GlobalCropMode_EdgesCrop;
}

std::vector<CropItemRef> Setting::get_array_crop_items() const {
    if (_arr_multi_crop_items.empty()) return {CropItem::init()};
    return _arr_multi_crop_items;
}

CropItemRef Setting::get_first_crop_item() const {
    const CropItemRef first = get_array_crop_items().front();
    return first ? first : CropItem::init();
}

std::vector<CropItemRef> Setting::get_array_crop_items_for_gpu_pvw() const {
    const uint32_t m = get_global_crop_mode();
    if (m == VideoSetting_GlobalCropMode_Multicrop) return get_array_crop_items();
    if (m == VideoSetting_GlobalCropMode_Autocrop) return {};
    CropItemRef first = get_first_crop_item();
    first->isSelected = true;
    return {first};
}

#define FIRST_READER(fn, expr, modes, def)               \
    auto Setting::fn() const->decltype(CropItem::expr) { \
        const CropItemRef c = get_first_crop_item();     \
        if (!((modes)&bit(c->mode))) return def;         \
        return c->expr;                                  \
    }

constexpr uint32_t kAnyMode = ~0u;
FIRST_READER(get_first_crop_left, crop_left, kAnyMode, 0)
FIRST_READER(get_first_crop_top, crop_top, kAnyMode, 0)
FIRST_READER(get_first_crop_left_eval_str, crop_left_eval_str, kAnyMode, "")
FIRST_READER(get_first_crop_top_eval_str, crop_top_eval_str, kAnyMode, "")
FIRST_READER(get_first_crop_right, crop_right_width, bit(2), 0)
FIRST_READER(get_first_crop_bottom, crop_bottom_height, bit(2), 0)
FIRST_READER(get_first_crop_right_eval_str, crop_right_width_eval_str, bit(2), "")
FIRST_READER(get_first_crop_bottom_eval_str, crop_bottom_height_eval_str, bit(2), "")
FIRST_READER(get_first_crop_width, crop_right_width, bit(1), 1920)
FIRST_READER(get_first_crop_height, crop_bottom_height, bit(1), 1080)
FIRST_READER(get_first_crop_width_eval_str, crop_right_width_eval_str, bit(1), "")
FIRST_READER(get_first_crop_height_eval_str, crop_bottom_height_eval_str, bit(1), "")
FIRST_READER(get_first_crop_screen_width, crop_right_width, bit(3), 1920)
FIRST_READER(get_first_crop_screen_height, crop_bottom_height, bit(3), 1080)
FIRST_READER(get_first_crop_screen_width_eval_str, crop_right_width_eval_str, bit(3), "")
FIRST_READER(get_first_crop_screen_height_eval_str, crop_bottom_height_eval_str, bit(3), "")
#undef FIRST_READER

void Setting::set_global_crop_mode(uint32_t m) {
    if (m == get_global_crop_mode()) return;
    if (m >= 1 && m <= 3) {
        CropItemRef first = _arr_multi_crop_items.empty() ? nullptr : _arr_multi_crop_items.front();
        const bool add = !first;
        if (add) first = CropItem::init();
        if (add || first->mode != m) {
            if (m == 1)
                first->set_default_mode_origin_and_size();
            else if (m == 2)
                first->set_default_mode_edges_crop();
            else
                first->set_default_mode_screen_ratio();
        }
        if (add) _arr_multi_crop_items.push_back(first);
        is_multi_crop = false;
        is_auto_crop = false;
    } else if (m == VideoSetting_GlobalCropMode_Autocrop) {
        is_multi_crop = false;
        is_auto_crop = true;
    } else if (m == VideoSetting_GlobalCropMode_NoCrop) {
        _arr_multi_crop_items.clear();
        is_multi_crop = false;
        is_auto_crop = false;
    } else {
        is_multi_crop = true;
        is_auto_crop = false;
        remove_screen_ratio_crop_items();
        if (_arr_multi_crop_items.empty()) _arr_multi_crop_items.push_back(CropItem::init());
    }
}

void Setting::create_default_crop_none() {
    is_multi_crop = false;
    is_auto_crop = false;
    if (_arr_multi_crop_items.empty() || !_arr_multi_crop_items.front()) {
        _arr_multi_crop_items.clear();
        _arr_multi_crop_items.push_back(CropItem::init());
    }
}

bool Setting::first_item_for_edit(uint32_t allowed, const char *refusal, CropItemRef *item) {
    const uint32_t m = get_global_crop_mode();
    if (!(allowed & bit(m))) {
        zlog(refusal, global_crop_mode_name(m));
        return false;
    }
    create_default_crop_none();
    *item = _arr_multi_crop_items.front();
    return true;
}

#define EDGE_WRITER(fn, type, field, allowed, refusal)                   \
    bool Setting::fn(type v) {                                           \
        CropItemRef item;                                                \
        if (!first_item_for_edit(allowed, refusal, &item)) return false; \
        item->field = v;                                                 \
        return true;                                                     \
    }
EDGE_WRITER(set_crop_top, uint32_t, crop_top, bit(1) | bit(2), "Can't set crop top current mode invalide : %s")
EDGE_WRITER(set_crop_top_eval_str, const std::string &, crop_top_eval_str, bit(1) | bit(2),
            "Can't set crop top current mode invalide : %s")
EDGE_WRITER(set_crop_left, uint32_t, crop_left, bit(1) | bit(2), "Can't set crop left current mode invalide : %s")
EDGE_WRITER(set_crop_left_eval_str, const std::string &, crop_left_eval_str, bit(1) | bit(2),
            "Can't set crop left current mode invalide : %s")
EDGE_WRITER(set_crop_right, uint32_t, crop_right_width, bit(2), "Can't set crop right current mode invalide : %s")
EDGE_WRITER(set_crop_right_eval_str, const std::string &, crop_right_width_eval_str, bit(2),
            "Can't set crop right current mode invalide : %s")
EDGE_WRITER(set_crop_bottom, uint32_t, crop_bottom_height, bit(2), "Can't set crop bottom current mode invalide : %s")
EDGE_WRITER(set_crop_bottom_eval_str, const std::string &, crop_bottom_height_eval_str, bit(2),
            "Can't set crop bottom current mode invalide : %s")
#undef EDGE_WRITER

#define SIZE_WRITER(fn, type, field, mode, refusal, missing)                   \
    bool Setting::fn(type v) {                                                 \
        const uint32_t m = get_global_crop_mode();                             \
        if (m != (mode)) {                                                     \
            zlog(refusal, global_crop_mode_name(m));                           \
            return false;                                                      \
        }                                                                      \
        if (_arr_multi_crop_items.empty() || !_arr_multi_crop_items.front()) { \
            zlog(missing);                                                     \
            return false;                                                      \
        }                                                                      \
        _arr_multi_crop_items.front()->field = v;                              \
        return true;                                                           \
    }
SIZE_WRITER(set_crop_width, uint32_t, crop_right_width, 1u, "Can't set crop width current mode invalide : %s",
            "DEV ?? : No crop item in origin and size mode")
SIZE_WRITER(set_crop_width_eval_str, const std::string &, crop_right_width_eval_str, 1u,
            "Can't set crop width current mode invalide : %s", "DEV ?? : No crop item in origin and size mode")
SIZE_WRITER(set_crop_height, uint32_t, crop_bottom_height, 1u, "Can't set crop height current mode invalide : %s",
            "DEV ?? : No crop item in origin and size mode")
SIZE_WRITER(set_crop_height_eval_str, const std::string &, crop_bottom_height_eval_str, 1u,
            "Can't set crop height current mode invalide : %s", "DEV ?? : No crop item in origin and size mode")
SIZE_WRITER(set_crop_screen_width, uint32_t, crop_right_width, 3u,
            "Can't set crop screen width current mode invalide : %s", "DEV ?? : No crop item in screen ratio mode")
SIZE_WRITER(set_crop_screen_width_eval_str, const std::string &, crop_right_width_eval_str, 3u,
            "Can't set crop screen width current mode invalide : %s", "DEV ?? : No crop item in screen ratio mode")
SIZE_WRITER(set_crop_screen_height, uint32_t, crop_bottom_height, 3u,
            "Can't set crop screen height current mode invalide : %s", "DEV ?? : No crop item in screen ratio mode")
SIZE_WRITER(set_crop_screen_height_eval_str, const std::string &, crop_bottom_height_eval_str, 3u,
            "Can't set crop screen height current mode invalide : %s", "DEV ?? : No crop item in screen ratio mode")
#undef SIZE_WRITER

bool Setting::set_multi_crop_items(const std::vector<CropItemRef> &items) {
    const uint32_t m = get_global_crop_mode();
    if (m != VideoSetting_GlobalCropMode_Multicrop) {
        zlog("Can't set crop items current mode invalide : %s", global_crop_mode_name(m));
        return false;
    }
    if (items.empty()) {
        zlog("DEV ?? : No crop item in new multicrop");
        return false;
    }
    _arr_multi_crop_items = items;
    return true;
}

void Setting::update_selected_crop_from_ui_with_video_width_and_video_height(const CropItem &crop, uint32_t video_width,
                                                                             uint32_t video_height) {
    if (is_multi_crop) {
        for (const CropItemRef &item : _arr_multi_crop_items) {
            if (item && item->isSelected) {
                item->update_from_ui_with_video_width_and_video_height(crop, video_width, video_height);
                return;
            }
        }
        zlog("DEV ?? : Fail to find selected multicrop item");
        return;
    }
    if (!_arr_multi_crop_items.empty() && _arr_multi_crop_items.front()) {
        _arr_multi_crop_items.front()->update_from_ui_with_video_width_and_video_height(crop, video_width,
                                                                                        video_height);
        return;
    }
    CropItemRef item = CropItem::init();
    item->update_from_ui_with_video_width_and_video_height(crop, video_width, video_height);
    _arr_multi_crop_items.clear();
    _arr_multi_crop_items.push_back(item);
    zlog("Edit new crop item : %s", item->description().c_str());
}

void Setting::set_new_selected_crop_item(size_t index) {
    if (!is_multi_crop) return;
    for (size_t i = 0; i < _arr_multi_crop_items.size(); i++)
        if (_arr_multi_crop_items[i]) _arr_multi_crop_items[i]->isSelected = i == index;
}

void Setting::remove_screen_ratio_crop_items() {
    std::vector<CropItemRef> kept;
    for (const CropItemRef &item : _arr_multi_crop_items)
        if (item && item->mode != HapStandCropMode_ScreenRatio) kept.push_back(item);
    _arr_multi_crop_items = std::move(kept);
}

bool Setting::need_disable_scale() const {
    const uint32_t m = get_global_crop_mode();
    if (m == VideoSetting_GlobalCropMode_Multicrop) return true;
    if (m == VideoSetting_GlobalCropMode_ScreenRatio) return vid_crop_scale_to_screen_res;
    return false;
}

bool Setting::have_transform() const {
    if (!is_multi_crop) return vid_transform_mode != 0;
    for (const CropItemRef &item : _arr_multi_crop_items)
        if (item && item->have_transform()) return true;
    return false;
}

uint32_t Setting::get_target_codec_from_alpha(bool source_has_alpha) const {
    if (vid_alpha_mode == 2) return vid_codec_hap;
    const bool keep_alpha = source_has_alpha && vid_alpha_mode != 1;
    if (vid_codec_hap <= 1) return keep_alpha ? 1 : 0;
    if (vid_codec_hap <= 3) return keep_alpha ? 3 : 2;
    return vid_codec_hap;
}

uint32_t Setting::get_target_codec_from_hap_have_alpha_have_smart_render(uint32_t kind, bool has_alpha,
                                                                         bool *smart) const {
    const uint32_t x = get_target_codec_from_alpha(has_alpha);
    bool keep = true;
    switch (kind) {
    case VideoFrameDxtData_HAP: keep = x == 0 || x == 1; break;
    case VideoFrameDxtData_HAPA: keep = x == 0 || x == 1 || x == 5; break;
    case VideoFrameDxtData_HAPQ: keep = x == 2 || x == 3; break;
    case VideoFrameDxtData_HAPQA: keep = x == 2 || x == 3 || x == 5; break;
    case VideoFrameDxtData_HAPAlphaOnly: keep = x == 4; break;
    case VideoFrameDxtData_HAPR: keep = x == 6 && !(has_alpha && vid_alpha_mode == 1); break;
    default: break;
    }
    if (!keep) *smart = false;
    return x;
}

std::string Setting::get_target_hap_basename(const NamingData &naming) const {
    return naming.get_name_from_mask(nam_video_hap ? nam_video_hap->naming_mask.value_or("") : "");
}

std::string Setting::get_target_hap_folder(const NamingData &naming) const {
    return nam_video_hap ? nam_video_hap->get_folder_path_from_src_folder(naming.folder_src) : naming.folder_src;
}

std::string Setting::get_target_audio_folder_and_custom_name_hap_out(const NamingData &naming,
                                                                     const std::optional<std::string> &hap_path) const {
    if (nam_use_video_hap_for_wav) return hap_path ? path_folder(*hap_path) : get_target_hap_folder(naming);
    return nam_audio_wav ? nam_audio_wav->get_folder_path_from_src_folder(naming.folder_src) : naming.folder_src;
}

std::vector<std::string> Setting::get_target_wav_basename_and_custom_name_hap_out(
    const NamingData &naming, const std::optional<std::string> &hap_path) const {
    if (!aud_write_wav_file) return {};
    std::string base;
    if (nam_use_video_hap_for_wav)
        base = hap_path ? path_name_without_extension(*hap_path) : get_target_hap_basename(naming);
    else
        base = naming.get_name_from_mask(nam_audio_wav ? nam_audio_wav->naming_mask.value_or("") : "");
    if (!aud_write_multi_mono_file) return {base};
    const uint32_t n = naming.audio_channel;
    std::vector<std::string> names;
    if (aud_multi_mono_suffix == 1) {
        for (uint32_t i = 1; i <= n; i++) names.push_back(base + "_" + std::to_string(i));
        return names;
    }
    static const char *const kSix[6] = {"L", "R", "C", "Lfe", "Ls", "Rs"};
    static const char *const kEight[8] = {"L", "R", "C", "Lfe", "Lss", "Rss", "Lrs", "Rrs"};
    static const char *const kFour[4] = {"1_L", "1_R", "2_L", "2_R"};
    const char *const *suffixes = nullptr;
    switch (n) {
    case 1: return {base};
    case 2:
    case 6: suffixes = kSix; break;
    case 4: suffixes = kFour; break;
    case 8: suffixes = kEight; break;
    default: zlog("Unknown mode Setting target wav"); return {};
    }
    for (uint32_t i = 0; i < n; i++) names.push_back(base + "_" + suffixes[i]);
    return names;
}

std::string Setting::get_audio_freq_for_ui() const {
    if (aud_frequency == 0) return "44.1";
    if (aud_frequency == 1) return "48";
    return "Invalid freq";
}

std::string Setting::get_audio_quantif_for_ui() const {
    static const char *const kTexts[3] = {"16Bits LE", "24Bits LE", "32Bits LE"};
    return aud_quantif <= 2 ? kTexts[aud_quantif] : "Invalid Quantif";
}

std::string Setting::get_overwrite_fps_line_for_ui() const {
    if (vid_fps_mode != 1) return "";
    if (vid_fps_custom > 8) {
        zlog("Invalid custom fps mode");
        return "";
    }
    return std::string("Interpret as : ") + fps_custom_text(vid_fps_custom) + " fps";
}
