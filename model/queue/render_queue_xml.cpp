// The render-queue file: the whole queue as one document, read back with an event reader.
#include <exception>

#include "model/queue/render_queue.h"
#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/xml_writer.h"

std::string RenderQueue::get_xml_str_content() const {
    XmlStreamWriter w;
    w.start_document("1.0", "UTF-8");
    w.start_element("root");
    for (const RqTaskRef &t : arr_tasks)
        if (t) t->write(w);
    w.end_element();
    w.end_document();
    return w.text();
}

void RenderQueue::save_to_xml(const std::optional<std::string> &path) const {
    std::string error = "no path";
    if (!path || !write_file_atomic(*path, get_xml_str_content(), &error))
        zlog("Fail to write preset file : %s", error.c_str());
}

void RenderQueue::reset_parse_state() {
    parse_rqtask.reset();
    parse_audio_track.reset();
    parse_is_inside_main_file = false;
    parse_index_out_wav = -1;
    parse_is_inside_setting = false;
    is_inside_naming_video_hap = false;
    is_inside_naming_audio_wav = false;
    parse_ext_wav_failed_ = false;
}

void RenderQueue::load_from_xml(const std::optional<std::string> &path) {
    if (!path || !is_existing_file(*path)) {
        zlog("No render queue xml");
        return;
    }
    reset_parse_state();
    try {
        // A damaged document ends the reading where it is; the tasks read before it stay.
        std::string error;
        xml_parse_file(*path, *this, &error);
    } catch (const std::exception &e) { zlog("Error during rq parse : %s", e.what()); } catch (...) {
        zlog("Error during rq parse : %s", "unknown");
    }
    parse_rqtask.reset();
    parse_audio_track.reset();
}

void RenderQueue::xml_start_element(const std::string &name, const XmlAttributes &a) {
    RqTask *t = parse_rqtask.get();
    Setting *s = t ? t->setting.get() : nullptr;
    if (name == "task") {
        parse_rqtask.reset();
        const auto path = a.find("filepath");
        if (path == a.end()) {
            zlog("No filepath for task");
            return;
        }
        RqTaskRef task = RqTask::init_with_main_filepath_and_settings(path->second, glob_settings);
        if (task->error) {
            zlog("Fail to load : %s : %s", path->second.c_str(), task->error->c_str());
            return;
        }
        parse_rqtask = task;
    } else if (name == "rq_params" || name == "logl") {
        if (!t) {
            zlog("No rq task for params load");
        } else if (name == "rq_params") {
            t->set_main_attributes_with_xml_dict(a);
        } else if (const auto v = a.find("v"); v != a.end()) {
            t->add_log_line(v->second);
        }
    } else if (name == "params") {
        if (!s)
            zlog("No rq task for setting params load : %s", xml_attributes_description(a).c_str());
        else if (!parse_is_inside_setting)
            zlog("Params node outside setting");
        else
            s->set_attributes_with_xml_dict(a);
    } else if (name == "CropItem") {
        if (!s)
            zlog("No rq task for setting crop item load");
        else if (!parse_is_inside_setting)
            zlog("CropItem node outside setting");
        else
            s->add_crop_item_from_attributes_xml_dict(a);
    } else if (name == "naming_video_hap" || name == "naming_audio_wav" || name == "naming_txt_replace") {
        if (!s || !s->nam_video_hap || !s->nam_audio_wav) {
            zlog("No rq task for setting params load");
        } else if (!parse_is_inside_setting) {
            zlog("Params node outside setting");
        } else if (name == "naming_video_hap") {
            s->nam_video_hap->set_from_xml_dict(a);
            is_inside_naming_video_hap = true;
        } else if (name == "naming_audio_wav") {
            s->nam_audio_wav->set_from_xml_dict(a);
            is_inside_naming_audio_wav = true;
        } else if (is_inside_naming_video_hap) {
            s->nam_video_hap->add_txt_replace_from_xml_attributes(a);
        } else if (is_inside_naming_audio_wav) {
            s->nam_audio_wav->add_txt_replace_from_xml_attributes(a);
        } else {
            zlog("Node txt replace invalide");
        }
    } else if (name == "custom_path") {
        if (t) t->set_custom_path_with_xml_dict(a);
    } else if (name == "render_path") {
        if (t) t->set_render_path_with_xml_dict(a);
    } else if (name == "progress_task_info") {
        if (t) t->set_progress_info_with_xml_dict(a);
    } else if (name == "audio_track") {
        parse_audio_track = ParseAudioTrack::init_with_xml_dict(a);
    } else if (name == "audio_ch") {
        if (!parse_audio_track)
            zlog("No audio track parser for channel");
        else
            parse_audio_track->add_audio_channel_info(ParseAudioChannel::init_with_xml_dict(a));
    } else if (name == "main_file_in") {
        parse_is_inside_main_file = true;
    } else if (name == "media_src_interpret") {
        if (!parse_is_inside_main_file)
            zlog("media_src_interpret outside main file in");
        else if (!t)
            zlog("No rq task to add");
        else
            t->set_media_src_interpret_for_main_file_with_xml_dict(a);
    } else if (name == "ext_wav_in") {
        if (!t) {
            zlog("Can't load ext audio file");
            return;
        }
        const auto path = a.find("filepath");
        const bool loaded =
            t->load_ext_audio_file_from_xml_path(path == a.end() ? std::nullopt : std::optional(path->second));
        if (loaded) parse_index_out_wav++;
        parse_ext_wav_failed_ = !loaded;
    } else if (name == "setting") {
        parse_is_inside_setting = true;
    }
}

void RenderQueue::xml_end_element(const std::string &name) {
    RqTask *t = parse_rqtask.get();
    if (name == "task") {
        if (t) {
            t->refresh_cache_target_properties();
            arr_tasks.push_back(parse_rqtask);
        }
        parse_rqtask.reset();
        parse_index_out_wav = -1;
    } else if (name == "audio_track") {
        if (!parse_audio_track || !t) return;
        if (parse_is_inside_main_file)
            t->set_audio_info_for_main_file(*parse_audio_track);
        else if (!parse_ext_wav_failed_)
            t->set_audio_info_for_ext_wav_for_index(*parse_audio_track, parse_index_out_wav);
    } else if (name == "ext_wav_in") {
        parse_ext_wav_failed_ = false;
    } else if (name == "main_file_in") {
        parse_is_inside_main_file = false;
    } else if (name == "setting") {
        if (t) t->refresh_cache_target_properties();
        parse_is_inside_setting = false;
    } else if (name == "naming_video_hap") {
        is_inside_naming_video_hap = false;
    } else if (name == "naming_audio_wav") {
        is_inside_naming_audio_wav = false;
    }
}
