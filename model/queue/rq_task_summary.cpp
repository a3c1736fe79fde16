// The short lines a task shows about itself: sources, MOV output, crop, audio output, names.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "model/queue/rq_task.h"
#include "platform/core/log.h"
#include "platform/foundation/path.h"

namespace {

const char *codec_name(uint32_t codec) {
    static const char *const kNames[7] = {
        "HAP", "HAPA", "HAPQ", "HAPQAlpha", "HAP AlphaOnly From Luma", "HAP AlphaOnly From Alpha", "HAPR"};
    return codec <= 6 ? kNames[codec] : "";
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    return text;
}

}  // namespace

std::string RqTask::quality_text() const {
    if (have_target_smart_rendering || target_codec_hap == 4 || target_codec_hap == 5) return "";
    switch (setting->vid_hap_quality) {
    case 0: return " (Fast)";
    case 1: return " (Normal)";
    default: return " (Slow)";
    }
}

std::string RqTask::chunk_text(uint32_t width, uint32_t height) const {
    if (!setting->vid_enable_snappy) return "No snappy";
    if (setting->vid_chunks < 2) return "1 chunk";
    const uint32_t blocks = ((width + 3) / 4) * ((height + 3) / 4);
    uint32_t count = 1;
    for (uint32_t n = std::min<uint32_t>(setting->vid_chunks, 64); n >= 1; n--) {
        if (blocks % n == 0) {
            count = n;
            break;
        }
    }
    return count == 1 ? "1 chunk" : format("%u chunks", count);
}

std::optional<std::string> RqTask::get_warning_load() const {
    if (!is_img_seq() || !in_main_file->img_seq_parser) return std::nullopt;
    return in_main_file->img_seq_parser->str_missing_frame;
}

std::vector<std::string> RqTask::get_main_file_info_ui() const {
    return in_main_file ? in_main_file->get_lines_info_file(false) : std::vector<std::string>{};
}

std::vector<std::vector<std::string>> RqTask::get_ext_src_wav_info_ui() const {
    std::vector<std::vector<std::string>> lines;
    for (const MediaInfoObjRef &w : arr_in_wav)
        if (w) lines.push_back(w->get_lines_info_file(true));
    return lines;
}

std::vector<std::string> RqTask::get_hap_out_info_ui() {
    std::vector<std::string> lines;
    const uint32_t mode = setting->get_global_crop_mode();
    const char *codec = codec_name(target_codec_hap);
    if (mode == 5) {
        const HapStandCropScale r = crop_scale_of_item(*get_auto_crop_item_after_analyse());
        if (r.have_crop_error)
            lines.push_back("Invalid autocrop");
        else
            lines.push_back(format("%ux%u px, %s%s, %s", r.target_w, r.target_h, codec, quality_text().c_str(),
                                   chunk_text(r.target_w, r.target_h).c_str()));
    } else if (mode == 4) {
        const std::string chunks = !setting->vid_enable_snappy ? "No snappy"
                                   : setting->vid_chunks == 1  ? "1 chunk"
                                                               : format("%u chunks max", setting->vid_chunks);
        lines.push_back(format("Multicrop, %s%s, %s", codec, quality_text().c_str(), chunks.c_str()));
    } else {
        const HapStandCropScale &r = target_crop_scale;
        lines.push_back(format("%ux%u px, %s%s, %s", r.target_w, r.target_h, codec, quality_text().c_str(),
                               chunk_text(r.target_w, r.target_h).c_str()));
    }
    const std::string fps = setting->get_overwrite_fps_line_for_ui();
    if (!fps.empty()) lines.push_back(fps);
    if (in_main_file && in_main_file->have_video_with_alpha_with_media_interpret()) {
        const uint32_t alpha = in_main_file->get_alpha_interpretation_with_media_interpret();
        if (alpha == 0 && setting->vid_alpha_conversion == 2) lines.push_back("Unpremultiply Alpha");
        if (alpha == 1 && setting->vid_alpha_conversion == 1) lines.push_back("Premultiply Alpha");
    }
    return lines;
}

std::vector<std::string> RqTask::get_crop_info_ui() {
    const uint32_t mode = setting->get_global_crop_mode();
    if (mode == 5) {
        if (have_crop_after_auto_crop_analyse()) {
            const HapStandCropScale r = crop_scale_of_item(*get_auto_crop_item_after_analyse());
            if (r.have_crop_error) {
                zlog("DEV !! : Crop error during get info crop ui multicrop");
                return {"Autocrop : Invalid crop"};
            }
            if (!crop_scale_have_crop(&r)) return {"Autocrop : No possible crop"};
            return {"Autocrop : " + crop_scale_get_info_str(&r, true, false)};
        }
        std::string edges;
        const std::pair<bool, const char *> flags[] = {{setting->vid_auto_crop_left, "Left"},
                                                       {setting->vid_auto_crop_top, "Top"},
                                                       {setting->vid_auto_crop_right, "Right"},
                                                       {setting->vid_auto_crop_bottom, "Bottom"}};
        for (const auto &[on, name] : flags)
            if (on) edges += (edges.empty() ? "" : " / ") + std::string(name);
        return {edges.empty() ? "No autocrop" : "Autocrop : " + edges};
    }
    if (mode == 4) {
        std::vector<std::string> lines;
        for (const CropItemRef &item : setting->get_array_crop_items()) {
            if (!item) continue;
            const HapStandCropScale r = crop_scale_of_item(*item);
            if (r.have_crop_error) {
                zlog("DEV !! : Crop error during get info crop ui multicrop");
                lines.push_back("Invalid crop");
            } else {
                lines.push_back(crop_scale_get_crop_info_str(&r, true));
            }
        }
        return lines;
    }
    return {crop_scale_get_crop_info_str(&target_crop_scale, false)};
}

std::vector<std::string> RqTask::get_main_audio_out_info_ui() const {
    if (!have_audio_out()) return {"No audio out"};
    if (!have_audio_out_after_analyse()) return {"Silent audio track(s) ignored"};
    std::vector<std::string> lines;
    if (!analyse_is_silent_track().is_set()) lines.push_back("Test silent audio track(s)");
    lines.push_back(get_layout_for_ui() + " ; " + setting->get_audio_freq_for_ui() + "Khz " +
                    setting->get_audio_quantif_for_ui());
    const uint32_t mode = setting->aud_gain_mode;
    if (mode == 1) lines.push_back(format("Audio gain : %.2f Db", double(setting->aud_set_gain_val)));
    if (mode == 2) lines.push_back(format("True Peak Normalization : %.2f DbTP", double(setting->aud_true_peak_val)));
    if (mode == 3)
        lines.push_back(format("Loudness Normalization : %.2f LUFS (Max True Peak : %.2f DbTP)",
                               double(setting->aud_target_loudness_val), double(setting->aud_true_peak_val)));
    if ((mode == 2 || mode == 3) && is_audio_gain_set()) {
        const double gain = get_audio_gain_after_analyse();
        lines.push_back(format("Normalization gain : %s%.2f dB", float(gain) > 0.0f ? "+" : "", gain));
    }
    return lines;
}

std::vector<std::string> RqTask::get_arr_hap_out_pvw_name_ui() const {
    std::vector<std::string> names;
    for (const std::string &p : get_arr_out_hap()) names.push_back(path_last_component(p));
    return names;
}

std::vector<std::string> RqTask::get_arr_wav_audio_out_pvw_name_ui() const {
    std::vector<std::string> names;
    for (const std::string &p : get_arr_out_wav()) names.push_back(path_last_component(p));
    return names;
}

std::string RqTask::get_first_folder_hap_out_pvw_ui() const {
    const std::vector<std::string> paths = get_arr_out_hap();
    return paths.empty() ? "" : path_folder(paths[0]);
}

std::string RqTask::get_first_folder_wav_out_pvw_ui() const {
    const std::vector<std::string> paths = get_arr_out_wav();
    return paths.empty() ? "" : path_folder(paths[0]);
}

std::string RqTask::get_layout_for_ui() const {
    static const char *const kNames[5] = {"Mono", "Stereo", "5.1", "Dual Stereo", "7.1"};
    if (audio_layout <= 4) return kNames[audio_layout];
    zlog("Unknown audio layout");
    return "Unknown layout";
}
