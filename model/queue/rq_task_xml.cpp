// A task's element in the render-queue file, and what the reader hands it back.
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/queue/rq_task.h"
#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

void key_value(XmlStreamWriter &w, const char *element, const std::string &k, const std::string &v) {
    w.start_element(element);
    w.attribute("k", k);
    w.attribute("v", v);
    w.end_element();
}

void rq_param(XmlStreamWriter &w, const std::string &k, const std::string &v) { key_value(w, "rq_params", k, v); }

const char *yes_no(bool v) { return v ? "YES" : "NO"; }

const std::string *find(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

// A stored gain ("%f"): the longest decimal prefix, as a double so that a save, a load and a
// save give the same text; what is no finite number reads as 0.
double gain_from_text(const std::string &text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) i++;
    if (i < text.size() && text[i] == '+') i++;
    double d = 0.0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), d);
    if (r.ec != std::errc() || !std::isfinite(d)) return 0.0;
    return d;
}

bool is_analysis_state(uint64_t state) { return state >= RqTaskState_Cancel && state <= RqTaskState_EndError; }

}  // namespace

uint32_t RqTask::get_state_for_xml() const {
    if (state <= RqTaskState_EndError) return uint32_t(state);
    zlog("Unknown state : %" PRIu64, state);
    return 0;
}

uint32_t RqTask::get_audio_layout_for_xml() const {
    static const uint32_t kCodes[5] = {0, 1, 3, 2, 4};
    if (audio_layout <= 4) return kCodes[audio_layout];
    printf("ERR : Unknown audio channel layout : %u\n", audio_layout);
    return 1;
}

void RqTask::write(XmlStreamWriter &w) const {
    w.start_element("task");
    const std::optional<std::string> path = get_filepath_main_file();
    if (path) w.attribute("filepath", *path);
    if (error) rq_param(w, "error", *error);
    rq_param(w, "uuid", uuid);
    rq_param(w, "audio_layout", number_text_from_uint(get_audio_layout_for_xml()));
    rq_param(w, "state", number_text_from_uint(get_state_for_xml()));
    if (in_point >= 0) rq_param(w, "in_point", number_text_from_int(in_point));
    if (out_point >= 0) rq_param(w, "out_point", number_text_from_int(out_point));
    if (!progress_info.is_empty()) progress_info.write(w);
    if (is_analysis_state(state)) {
        const OptionalBool silent = analyse_is_silent_track();
        if (silent.v_is_set) rq_param(w, "analyse_is_silent_track", yes_no(silent.v_val));
        const OptionalBool have_crop = analyse_have_autocrop_results();
        if (have_crop.v_is_set) {
            const CropItemRef crop = analyse_auto_crop_value();
            w.start_element("rq_params");
            w.attribute("k", "analyse_auto_crop_value");
            w.attribute("v", yes_no(have_crop.v_val));
            w.attribute("crop_1", number_text_from_uint(crop ? crop->crop_left : 0));
            w.attribute("crop_2", number_text_from_uint(crop ? crop->crop_top : 0));
            w.attribute("crop_3", number_text_from_uint(crop ? crop->crop_right_width : 0));
            w.attribute("crop_4", number_text_from_uint(crop ? crop->crop_bottom_height : 0));
            w.end_element();
        }
        const OptionalDouble gain = analyse_normalization_gain();
        if (gain.v_is_set) rq_param(w, "analyse_normalization_gain", number_text_from_double(gain.v_val));
    }
    for (const std::string &line : arr_logs) key_value(w, "logl", "v", line);
    if (!in_main_file || in_main_file->have_error()) {
        zlog("In main file have error, can't write audio info to xml");
    } else {
        w.start_element("main_file_in");
        in_main_file->write_audio_info(w);
        if (in_main_file->media_interpret) in_main_file->media_interpret->write(w);
        w.end_element();
    }
    for (const MediaInfoObjRef &wav : arr_in_wav) {
        if (!wav) continue;
        w.start_element("ext_wav_in");
        if (wav->filepath) w.attribute("filepath", *wav->filepath);
        wav->write_audio_info(w);
        w.end_element();
    }
    if (setting) setting->write(w);
    for (size_t i = 0; i < arr_out_path_hap.size(); i++)
        if (arr_out_path_hap[i]) arr_out_path_hap[i]->write_custom_path_info_for_type_and_index(w, "video_hap", i);
    for (size_t i = 0; i < arr_out_path_wav.size(); i++)
        if (arr_out_path_wav[i]) arr_out_path_wav[i]->write_custom_path_info_for_type_and_index(w, "wav_out", i);
    w.end_element();
}

bool RqTask::set_state_from_xml(const std::string &text) {
    uint64_t v = 0;
    if (!number_text_to_uint(&text, UINT64_MAX, &v)) {
        zlog("Invalid state value : %s", text.c_str());
        return false;
    }
    if (v > RqTaskState_EndError) {
        zlog("Invalid state value : %" PRIu64, v);
        return false;
    }
    if (v == RqTaskState_Progress || v == RqTaskState_Pause) {
        zlog("WARNING : Task with pause or progress at load, set to cancel");
        v = RqTaskState_Cancel;
    }
    state = v;
    return true;
}

bool RqTask::set_audio_layout_from_xml(const std::string &text) {
    static const uint32_t kLayouts[5] = {0, 1, 3, 2, 4};
    uint64_t v = 0;
    if (!number_text_to_uint(&text, UINT64_MAX, &v)) {
        zlog("Invalid audio channel value : %s", text.c_str());
        return false;
    }
    if (v > 4) {
        printf("ERR : Unknown audio channel layout : %u\n", unsigned(v > UINT32_MAX ? UINT32_MAX : v));
        return false;
    }
    audio_layout = kLayouts[v];
    return true;
}

void RqTask::set_main_attributes_with_xml_dict(const XmlAttributes &a) {
    const std::string *k = find(a, "k");
    const std::string *v = find(a, "v");
    if (!k || !v) return;
    if (*k == "audio_layout") {
        set_audio_layout_from_xml(*v);
    } else if (*k == "state") {
        set_state_from_xml(*v);
    } else if (*k == "uuid") {
        uuid = *v;
    } else if (*k == "error") {
        error = *v;
    } else if (*k == "in_point" || *k == "out_point") {
        int64_t n = 0;
        if (!number_text_to_int64(*v, &n) || n < INT32_MIN || n > INT32_MAX) return;
        // Out point 0 is a real point (a one-frame render ends there); in point 0 is the start.
        if (*k == "in_point")
            in_point = n > 0 ? int32_t(n) : -1;
        else
            out_point = n >= 0 ? int32_t(n) : -1;
        sanitize_in_out_point();
    } else if (*k == "analyse_is_silent_track") {
        if (!is_analysis_state(state)) {
            zlog("WARN XML : Node analyse_is_silent_track found but invalid state");
            return;
        }
        OptionalBool b;
        b.set_value(*v == "YES");
        setAnalyse_is_silent_track(b);
    } else if (*k == "analyse_auto_crop_value") {
        if (!is_analysis_state(state)) {
            zlog("WARN XML : Node analyse_have_autocrop_results found but invalid state");
            return;
        }
        OptionalBool b;
        b.set_value(*v == "YES");
        setAnalyse_have_autocrop_results(b);
        uint64_t edge[4] = {0, 0, 0, 0};
        const char *const names[4] = {"crop_1", "crop_2", "crop_3", "crop_4"};
        for (int i = 0; i < 4; i++) number_text_to_uint(find(a, names[i]), UINT32_MAX, &edge[i]);
        CropItem item;
        item.set_default_mode_edges_crop();
        item.crop_left = uint32_t(edge[0]);
        item.crop_top = uint32_t(edge[1]);
        item.crop_right_width = uint32_t(edge[2]);
        item.crop_bottom_height = uint32_t(edge[3]);
        setAnalyse_auto_crop_value(item);
    } else if (*k == "analyse_normalization_gain") {
        if (!is_analysis_state(state)) {
            zlog("WARN XML : Node analyse_normalization_gain found but invalid state");
            return;
        }
        OptionalDouble g;
        g.set_value(gain_from_text(*v));
        setAnalyse_normalization_gain(g);
    } else {
        zlog("Unknown params task : %s", k->c_str());
    }
}

void RqTask::_set_outpath_with_xml_dict_is_render(const XmlAttributes &a, bool render) {
    const std::string *type = find(a, "type");
    const std::string *path = find(a, "path");
    uint64_t index = 0;
    if (!type || !path || !number_text_to_uint(find(a, "index"), UINT64_MAX, &index)) {
        zlog("Invalid custom path data : %s", xml_attributes_description(a).c_str());
        return;
    }
    OutputFilepathRef out;
    if (*type == "video_hap") {
        if (index >= arr_out_path_hap.size()) {
            zlog("Invalid out hap index : %" PRIu64 " (Nb Out hap : %zu)", index, arr_out_path_hap.size());
            return;
        }
        out = arr_out_path_hap[index];
    } else if (*type == "wav_out") {
        if (index >= arr_out_path_wav.size()) {
            zlog("Invalid out wav index : %" PRIu64 " (Nb Out Wav : %zu)", index, arr_out_path_wav.size());
            return;
        }
        out = arr_out_path_wav[index];
    } else {
        zlog("Unknown out type : %s", type->c_str());
        return;
    }
    if (!out) return;
    if (render)
        out->set_render_filepath(*path);
    else
        out->setCustom_filepath(path->empty() ? std::nullopt : std::optional<std::string>(*path));
}

void RqTask::set_custom_path_with_xml_dict(const XmlAttributes &a) { _set_outpath_with_xml_dict_is_render(a, false); }
void RqTask::set_render_path_with_xml_dict(const XmlAttributes &a) { _set_outpath_with_xml_dict_is_render(a, true); }
void RqTask::set_progress_info_with_xml_dict(const XmlAttributes &a) { progress_info.set_from_xml_dict(a); }

void RqTask::set_media_src_interpret_for_main_file_with_xml_dict(const XmlAttributes &a) {
    if (in_main_file && in_main_file->media_interpret)
        in_main_file->media_interpret->set_main_attributes_with_xml_dict(a);
}

void RqTask::set_audio_info_for_main_file(const ParseAudioTrack &track) {
    if (in_main_file) in_main_file->set_audio_track_from_parser(track);
}

void RqTask::set_audio_info_for_ext_wav_for_index(const ParseAudioTrack &track, int64_t index) {
    if (index < 0 || uint64_t(index) >= arr_in_wav.size()) {
        zlog("Invalid index wav in : %" PRId64, index);
        return;
    }
    if (arr_in_wav[size_t(index)]) arr_in_wav[size_t(index)]->set_audio_track_from_parser(track);
}
