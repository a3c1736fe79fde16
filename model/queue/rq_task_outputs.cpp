// Output properties of a task: codec, smart rendering, geometry and its notes, parameter
// error, naming data, output lists, unique render paths and output folders.
#include <cstdio>

#include "model/queue/rq_task.h"
#include "platform/core/log.h"
#include "platform/foundation/config_folder.h"
#include "platform/foundation/path.h"

namespace {

std::string format_target_resolution(const HapStandCropScale &r) {
    char text[160];
    snprintf(text, sizeof(text), "Target resolution : %ux%u px (%0.2f%s x %0.2f%s)", r.target_w, r.target_h,
             double(r.percent_scale_w) * 100.0, "%", double(r.percent_scale_h) * 100.0, "%");
    return text;
}

}  // namespace

HapStandCropScale RqTask::crop_scale_of_item(const CropItem &item) const {
    HapStandCropScale r;
    crop_scale_init(&r);
    r.src_w = in_main_file && in_main_file->info ? in_main_file->info->width : 0;
    r.src_h = in_main_file && in_main_file->info ? in_main_file->info->height : 0;
    item.edit_crop_scale_values(&r);
    crop_scale_compute(&r);
    return r;
}

void RqTask::update_crop_scale_params_test_is_valid_crop_and_valid_scale_and_is_smart(bool *valid_crop,
                                                                                      bool *valid_scale, bool *smart) {
    crop_scale_init(&target_crop_scale);
    const uint32_t src_w = in_main_file && in_main_file->info ? in_main_file->info->width : 0;
    const uint32_t src_h = in_main_file && in_main_file->info ? in_main_file->info->height : 0;
    auto check = [&](const HapStandCropScale &r) {
        if (r.have_crop_error) *valid_crop = false;
        if (r.have_scale_error) *valid_scale = false;
        if (!crop_scale_is_smart_compatible(&r)) *smart = false;
    };
    if (is_autocrop()) {
        target_crop_scale.src_w = src_w, target_crop_scale.src_h = src_h;
        target_crop_scale.scale_mode = 0;
        crop_scale_compute(&target_crop_scale);
        check(target_crop_scale);
        // The analysed crop is applied by the engine: its edges decide smart rendering too, or
        // a HAP source would be cropped by blocks at edges that are not multiples of 4.
        const CropItemRef item = get_auto_crop_item_after_analyse();
        if (!crop_scale_is_smart_compatible(&target_crop_scale) || !item) return;
        const HapStandCropScale analysed = crop_scale_of_item(*item);
        if (!crop_scale_is_smart_compatible(&analysed)) *smart = false;
        return;
    }
    if (!is_multicrop()) {
        target_crop_scale.src_w = src_w, target_crop_scale.src_h = src_h;
        const CropItemRef item = setting->get_first_crop_item();
        if (item) item->edit_crop_scale_values(&target_crop_scale);
        target_crop_scale.crop_to_mult_4 = setting->vid_crop_to_multiple_4;
        target_crop_scale.crop_scale_to_screen_res = item && item->mode == 3 && setting->vid_crop_scale_to_screen_res;
        target_crop_scale.transform_mode = setting->vid_transform_mode;
        target_crop_scale.scale_mode = setting->vid_scale_mode;
        target_crop_scale.scale_w = setting->vid_scale_width;
        target_crop_scale.scale_h = setting->vid_scale_height;
        target_crop_scale.scale_screen_w = setting->vid_scale_screen_width;
        target_crop_scale.scale_screen_h = setting->vid_scale_screen_height;
        target_crop_scale.scale_to_mult_4 = setting->vid_scale_conform_mult_4;
        crop_scale_compute(&target_crop_scale);
        check(target_crop_scale);
        return;
    }
    for (const CropItemRef &item : setting->get_array_crop_items())
        if (item) check(crop_scale_of_item(*item));
}

void RqTask::refresh_cache_target_properties() {
    if (!setting) setting = Setting::init();
    have_target_hap = false;
    have_target_smart_rendering = setting->vid_enable_smart_render;
    error_target_render.reset();
    target_codec_hap = 0;
    target_audio_channels = 0;
    target_audio_channel_after_analyse = 0;
    crop_scale_init(&target_crop_scale);
    str_smart_rendering_pvw.clear();
    str_crop_pvw.clear();
    str_transform_info.clear();
    str_scale_pvw.clear();
    str_scale_smart_pvw.clear();
    have_crop_error = false;
    have_scale_error = false;

    if (!check_input_files_exists()) return;

    bool alpha = false, alpha_conversion = false;
    if (setting->vid_enable_video) {
        if (!in_main_file || !in_main_file->have_video()) {
            have_target_smart_rendering = false;
            error_target_render = "No video in source file";
            return;
        }
        have_target_hap = true;
        alpha = in_main_file->have_video_with_alpha_with_media_interpret();
        alpha_conversion = need_alpha_conversion_process();
    }

    if (setting->aud_enable_audio) {
        target_audio_channels = audio_layout_channel_count(audio_layout);
        if (!have_audio_in()) target_audio_channels = 0;
        if (!setting->aud_embed_in_hap && !setting->aud_write_wav_file) {
            error_target_render = have_target_hap ? "Audio output need 'Embed in HAP' and/or 'Write Wav file(s)'"
                                                  : "Audio only output need 'Write Wav file(s)' checked";
            return;
        }
        target_audio_channel_after_analyse = have_audio_out_after_analyse() ? target_audio_channels : 0;
    }

    size_t hap_count = 0;
    if (!have_target_hap) {
        if (target_audio_channel_after_analyse == 0) {
            error_target_render = "No video/audio target";
            return;
        }
        if (setting->aud_enable_audio && setting->aud_embed_in_hap) {
            error_target_render = "Can't embed audio in HAP file without video";
            return;
        }
        have_target_smart_rendering = false;
    } else {
        const bool multicrop = is_multicrop(), autocrop = is_autocrop();
        hap_count = multicrop ? setting->get_array_crop_items().size() : 1;

        // Codec and smart rendering.
        bool valid_crop = true, valid_scale = true, smart_possible = true;
        update_crop_scale_params_test_is_valid_crop_and_valid_scale_and_is_smart(&valid_crop, &valid_scale,
                                                                                 &smart_possible);
        if (!in_main_file->is_hap_file()) {
            have_target_smart_rendering = false;
            target_codec_hap = setting->get_target_codec_from_alpha(alpha);
            str_smart_rendering_pvw = "Source codec disable smart rendering";
        } else {
            const uint32_t format = in_main_file->get_hap_dxt_format();
            bool smart = have_target_smart_rendering;
            target_codec_hap = setting->get_target_codec_from_hap_have_alpha_have_smart_render(format, alpha, &smart);
            bool blocked = false;
            if (setting->vid_enable_smart_render) {
                if (!smart) {
                    str_smart_rendering_pvw = "Hap codec choice disable smart rendering";
                } else if (alpha_conversion) {
                    str_smart_rendering_pvw = "Alpha conversion disable smart rendering";
                    blocked = true;
                } else {
                    str_smart_rendering_pvw = "Hap codec choice enable smart rendering";
                }
                if (format == VideoFrameDxtData_HAPR && setting->have_transform()) {
                    str_transform_info = "Using Transform with HapR codec disable smart rendering";
                    blocked = true;
                }
            }
            if (smart_possible) {
                have_target_smart_rendering = smart && !blocked;
            } else {
                have_target_smart_rendering = false;
                if (!multicrop && target_crop_scale.scale_disable_smart && smart)
                    str_scale_smart_pvw = "Scale disable smart rendering";
            }
        }

        // Crop, scale and transform notes.
        if (!valid_crop) {
            have_crop_error = true;
            str_crop_pvw = "Invalid Crop";
            error_target_render = "Invalid Crop";
        } else if (autocrop) {
            str_crop_pvw = setting->vid_auto_crop_left || setting->vid_auto_crop_top || setting->vid_auto_crop_right ||
                                   setting->vid_auto_crop_bottom
                               ? "Autocrop"
                               : "Autocrop no crop";
        } else if (multicrop) {
            str_crop_pvw = "Multicrop";
        } else if (crop_scale_have_crop(&target_crop_scale)) {
            if (setting->get_global_crop_mode() == 3 && setting->vid_crop_scale_to_screen_res) {
                str_crop_pvw = format_target_resolution(target_crop_scale);
            } else {
                char text[96];
                snprintf(text, sizeof(text), "Target crop resolution : %ux%u px", target_crop_scale.crop_out_w,
                         target_crop_scale.crop_out_h);
                str_crop_pvw = text;
            }
        } else {
            str_crop_pvw = "No Crop";
        }
        if (multicrop) {
            str_transform_info = "In multicrop, transform need to be set by crop area";
        } else if (target_crop_scale.have_scale_error) {
            have_scale_error = true;
            str_scale_pvw = "Invalid Scale";
            error_target_render = "Invalid Scale";
        } else if (crop_scale_have_scale(&target_crop_scale)) {
            str_scale_pvw = format_target_resolution(target_crop_scale);
        } else if (have_crop_error) {
            str_scale_pvw = "Invalid Crop";
            have_scale_error = true;
        } else {
            char text[96];
            snprintf(text, sizeof(text), "Target resolution : %ux%u px (No scaling)", target_crop_scale.target_w,
                     target_crop_scale.target_h);
            str_scale_pvw = text;
        }
        if (autocrop) str_transform_info = "Transform not available in Autocrop mode";
    }

    refresh_naming_data();
    refresh_hap_list(hap_count);
    refresh_wav_list();
}

void RqTask::refresh_naming_data() {
    const std::vector<CropItemRef> items = setting->get_array_crop_items();
    const uint32_t mode = setting->get_global_crop_mode();
    arr_naming_data.clear();
    auto common = [&] {
        NamingDataRef n = NamingData::init();
        n->folder_src = get_folderpath_main_file().value_or("");
        n->basename_src = get_basename_no_ext_main_file();
        n->hap_codec = target_codec_hap;
        n->hap_chunks = setting->get_chunk_for_naming();
        n->rq_date = rq_date;
        n->audio_channel = target_audio_channel_after_analyse;
        return n;
    };
    if (mode == 4) {
        for (size_t i = 0; i < items.size(); i++) {
            if (!items[i]) continue;
            NamingDataRef n = common();
            n->is_multicrop = true;
            n->index_out = i;
            n->crop_item = items[i]->mutableCopyWithZone();
            const HapStandCropScale r = crop_scale_of_item(*items[i]);
            n->target_width = r.have_crop_error ? 0 : r.target_w;
            n->target_height = r.have_crop_error ? 0 : r.target_h;
            arr_naming_data.push_back(n);
        }
        if (arr_naming_data.empty()) zlog("DEV ?? : No naming data after refresh");
        return;
    }
    NamingDataRef n = common();
    if (mode == 5) {
        n->crop_item = get_auto_crop_item_after_analyse();
        const HapStandCropScale r = crop_scale_of_item(*n->crop_item);
        n->target_width = r.target_w, n->target_height = r.target_h;
    } else {
        n->target_width = target_crop_scale.target_w, n->target_height = target_crop_scale.target_h;
        const CropItemRef first = setting->get_first_crop_item();
        n->crop_item = first ? first->mutableCopyWithZone() : CropItem::init();
    }
    arr_naming_data.push_back(n);
}

void RqTask::refresh_hap_list(size_t count) {
    if (!have_target_hap) {
        arr_out_path_hap.clear();
        return;
    }
    if (arr_naming_data.size() < count) {
        arr_out_path_hap.clear();
        zlog("DEV !! : Not enough naming data : %zu (Nb Hap : %zu)", arr_naming_data.size(), count);
        return;
    }
    const std::vector<OutputFilepathRef> old = std::move(arr_out_path_hap);
    arr_out_path_hap.clear();
    for (size_t i = 0; i < count; i++) {
        NamingData &n = *arr_naming_data[i];
        if (setting->nam_video_hap) n.set_from_setting_naming(*setting->nam_video_hap);
        OutputFilepathRef o = OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext(
            setting->get_target_hap_folder(n), setting->get_target_hap_basename(n), std::string("mov"));
        if (!o) {
            zlog("Fail to create output filepath hap");
            continue;
        }
        if (i < old.size() && old[i]) o->copy_custom_filepath_from_obj(old[i].get());
        arr_out_path_hap.push_back(o);
    }
}

void RqTask::refresh_wav_list() {
    if (target_audio_channel_after_analyse == 0 || !setting->aud_write_wav_file) {
        arr_out_path_wav.clear();
        return;
    }
    std::optional<std::string> user_path;
    if (!arr_out_path_hap.empty() && arr_out_path_hap[0]) user_path = arr_out_path_hap[0]->custom_filepath();
    if (arr_naming_data.empty() || !arr_naming_data[0]) {
        zlog("DEV ? : Naming null");
        arr_out_path_wav.clear();
        return;
    }
    NamingData &n = *arr_naming_data[0];
    if (setting->nam_audio_wav) n.set_from_setting_naming(*setting->nam_audio_wav);
    const std::string folder = setting->get_target_audio_folder_and_custom_name_hap_out(n, user_path);
    const std::vector<std::string> names = setting->get_target_wav_basename_and_custom_name_hap_out(n, user_path);
    const std::vector<OutputFilepathRef> old = std::move(arr_out_path_wav);
    arr_out_path_wav.clear();
    for (size_t i = 0; i < names.size(); i++) {
        OutputFilepathRef o =
            OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext(folder, names[i], std::string("wav"));
        if (!o) continue;
        if (i < old.size() && old[i]) o->copy_custom_filepath_from_obj(old[i].get());
        arr_out_path_wav.push_back(o);
    }
}

// ---- Output lists ----

namespace {

std::vector<std::string> default_paths(const std::vector<OutputFilepathRef> &outputs) {
    std::vector<std::string> paths;
    for (const OutputFilepathRef &o : outputs)
        if (o) paths.push_back(o->get_default_path());
    return paths;
}

std::vector<std::string> ui_paths(const std::vector<OutputFilepathRef> &outputs) {
    std::vector<std::string> paths;
    for (const OutputFilepathRef &o : outputs)
        if (o) paths.push_back(o->get_target_name_for_ui());
    return paths;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

std::vector<std::string> RqTask::get_arr_out_hap() const { return default_paths(arr_out_path_hap); }
std::vector<std::string> RqTask::get_arr_out_wav() const { return default_paths(arr_out_path_wav); }
std::vector<std::string> RqTask::get_arr_out_hap_for_ui() const { return ui_paths(arr_out_path_hap); }
std::vector<std::string> RqTask::get_arr_out_wav_for_ui() const { return ui_paths(arr_out_path_wav); }
std::vector<std::string> RqTask::get_arr_out_hap_unique() const { return get_array_uniq_filepath(arr_out_path_hap); }
std::vector<std::string> RqTask::get_arr_out_wav_unique() const { return get_array_uniq_filepath(arr_out_path_wav); }
std::vector<std::string> RqTask::get_arr_out_file() const { return joined(get_arr_out_hap(), get_arr_out_wav()); }

std::vector<std::string> RqTask::get_arr_out_file_for_rq_ui() const {
    return joined(get_arr_out_hap_for_ui(), get_arr_out_wav_for_ui());
}

std::vector<OutputFilepathRef> RqTask::get_arr_out_filepath_obj() const {
    std::vector<OutputFilepathRef> all;
    for (const OutputFilepathRef &o : arr_out_path_hap)
        if (o) all.push_back(o);
    for (const OutputFilepathRef &o : arr_out_path_wav)
        if (o) all.push_back(o);
    return all;
}

std::vector<std::string> RqTask::get_array_uniq_filepath(const std::vector<OutputFilepathRef> &outputs) {
    std::vector<std::string> taken;
    for (const OutputFilepathRef &o : outputs)
        if (o) taken.push_back(o->get_uniq_out_name(&taken));
    return taken;
}

void RqTask::apply_uniqu_name_to_array(const std::vector<OutputFilepathRef> &outputs) {
    std::vector<std::string> taken;
    for (const OutputFilepathRef &o : outputs)
        if (o) taken.push_back(o->apply_uniq_name_to_render_path(&taken));
}

void RqTask::apply_uniq_name() {
    apply_uniqu_name_to_array(arr_out_path_hap);
    apply_uniqu_name_to_array(arr_out_path_wav);
}

bool RqTask::create_target_folder() {
    for (const std::string &path : get_arr_out_file()) {
        const std::string folder = path_folder(path);
        std::string message, reason;
        if (folder.empty())
            message = "Can't create directory (empty path)";
        else if (!make_folder_with_parents(folder, &reason))
            message = "Failed to create directory \"" + folder + "\". Error: " + reason;
        if (message.empty()) continue;
        zlog("%s", message.c_str());
        error = "Fail to create target directory : " + folder;
        return false;
    }
    return true;
}
