#include "model/settings/media_info_obj.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "model/settings/global_settings.h"
#include "pipeline/probe/media_probe.h"
#include "platform/core/errors.h"
#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/path.h"
#include "platform/foundation/xml_writer.h"

namespace {

std::string fmt(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char *format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof(buf), format, ap);
    va_end(ap);
    return buf;
}

// Rounded half away from zero, and never below one: the counts divide.
int64_t round_count(double v) {
    if (!(v >= 1.0)) return 1;
    if (v > 1e15) return int64_t(1e15);
    return int64_t(std::round(v));
}

std::string two_digits(uint64_t v) { return fmt("%02llu", (unsigned long long)v); }

// Runs a probe step, turning its exceptions into the object's error.
template <typename F>
bool guarded(MediaInfoObj &o, const char *what, F &&step) {
    const char *path = o.filepath ? o.filepath->c_str() : "(null)";
    try {
        step();
        return true;
    } catch (const std::bad_alloc &) {
        zlog("ERROR : %s : Fail to %s OOM", path, what);
        o.error = "Memory error";
    } catch (const std::exception &e) {
        zlog("ERROR : %s : Fail to %s : %s", path, what, e.what());
        o.error = e.what();
    } catch (...) {
        zlog("ERROR%s : %s : Fail to %s Unknown", std::string(what) == "get info" ? " INIT" : "", path, what);
        o.error = "Unknown error";
    }
    return false;
}

}  // namespace

std::string media_timecode_text(uint64_t n, ZRational rate, bool drop_frame) {
    const uint32_t num = rate.num, den = rate.den;
    int64_t R;
    if (den == 1)
        R = num;
    else if (den == 1001 && (num == 60000 || num == 30000 || num == 24000))
        R = num / 1000;
    else
        R = den ? round_count(double(num) / den) : 1;
    if (R < 1) R = 1;
    double F;
    int64_t D = 0;
    if (drop_frame) {
        F = den ? double(num) / den : 0.0;
        D = int64_t(std::round(F * 0.066666));
    } else {
        F = double(R);
    }
    uint64_t frames = n % uint64_t(round_count(F * 60 * 60 * 24));
    if (drop_frame && D > 0) {
        const int64_t T = round_count(F * 600);
        const int64_t q = int64_t(frames) / T, m = int64_t(frames) % T;
        int64_t add = 9 * D * q;
        const int64_t per_minute = round_count(F) * 60 - D;
        if (m > D && per_minute > 0) add += D * ((m - D) / per_minute);
        frames += uint64_t(add);
    }
    const uint64_t t = frames / uint64_t(R), f = frames % uint64_t(R);
    const char *sep = drop_frame ? ";" : ":";
    return two_digits(t / 3600) + sep + two_digits((t / 60) % 60) + sep + two_digits(t % 60) + sep + two_digits(f);
}

std::string media_duration_text(uint32_t nb_frames, ZRational rate) {
    if (nb_frames == 1) return "00:00:00:01 (1 frame)";
    const float f = rate.den ? float(rate.num) / float(rate.den) : 0.0f;
    uint64_t h = 0, m = 0, s = 0, fr = 0;
    if (f > 0.0f) {
        const uint64_t P = uint64_t(round_count(double(f) * 60 * 60)), M = uint64_t(round_count(double(f) * 60)),
                       S = uint64_t(round_count(double(f)));
        const uint64_t n = nb_frames;
        h = n / P;
        m = (n % P) / M;
        s = ((n % P) % M) / S;
        fr = ((n % P) % M) % S;
    }
    return two_digits(h) + ":" + two_digits(m) + ":" + two_digits(s) + ":" + two_digits(fr) +
           fmt(" (%u frames)", nb_frames);
}

MediaInfoObj::MediaInfoObj() : media_interpret(MediaSrcInterpretation::init()) {}

MediaInfoObj::~MediaInfoObj() { free_media_info(&info); }

MediaInfoObjRef MediaInfoObj::init_from_filepath_and_settings(const std::string &path, const GlobalSettings &settings) {
    auto o = std::make_shared<MediaInfoObj>();
    o->info_params = MediaInfoParams();
    o->info_params.force_ff = settings.force_ff_decoding;
    o->set_vfr_global_settings_info_params(settings);
    o->filepath = path;
    if (!is_existing_file(path)) {
        o->error = "ERROR : File not found";
        return o;
    }
    guarded(*o, "get info", [&] {
        o->info = get_media_info_with_params(path.c_str(), o->info_params);
        if (o->is_img_seq()) {
            o->img_seq_parser = ImagesSeqParser::init_with_filepath(path);
            if (o->img_seq_parser->error) {
                o->error = o->img_seq_parser->error;
                return;
            }
            o->img_seq_parser->parse_folder();
            if (o->img_seq_parser->error) {
                o->error = o->img_seq_parser->error;
                return;
            }
            o->info->nb_frames = o->img_seq_parser->get_duration_f();
        }
        map_dual_stereo_tracks(o->info);
    });
    return o;
}

void MediaInfoObj::reload_media() {
    if (!filepath || !is_existing_file(*filepath)) {
        error = "ERROR : File not found";
        return;
    }
    error.reset();
    MediaInfo *fresh = nullptr;
    const bool ok = guarded(*this, "reload media", [&] {
        fresh = get_media_info_with_params(filepath->c_str(), info_params);
        if (info && info->video_src_type == MediaInfoVideoSrc_Image && img_seq_parser) {
            img_seq_parser->parse_folder();
            if (img_seq_parser->error) {
                error = img_seq_parser->error;
                return;
            }
            fresh->nb_frames = img_seq_parser->get_duration_f();
            fresh->fps = info->fps;  // the rate given to the sequence survives
        }
        if (info) copy_audio_mapping(fresh, info);
    });
    if (!ok || error) {
        free_media_info(&fresh);
        return;
    }
    free_media_info(&info);
    info = fresh;
}

MediaInfoObjRef MediaInfoObj::mutableCopyWithZone() const {
    auto c = std::make_shared<MediaInfoObj>();
    c->error = error;
    c->filepath = filepath;
    c->set_media_info_params(info_params);
    c->media_interpret = media_interpret->mutableCopyWithZone();
    if (img_seq_parser) c->img_seq_parser = img_seq_parser->mutableCopyWithZone();
    if (!info) return c;
    try {
        c->info = new_media_info();
    } catch (const std::bad_alloc &) {
        c->error = "ERROR : " + filepath.value_or("") + " : Fail to create info OOM";
        return c;
    }
    try {
        copy_media_info(c->info, info);
    } catch (const std::bad_alloc &) {
        zlog("ERROR : Fail to copy info OOM");
        c->error = "Memory error";
    } catch (const std::exception &e) {
        zlog("ERROR : Fail to copy info : %s", e.what());
        c->error = e.what();
    } catch (...) {
        zlog("ERROR : Fail to copy info Unknown");
        c->error = "Unknown error";
    }
    return c;
}

void MediaInfoObj::set_vfr_global_settings_info_params(const GlobalSettings &settings) {
    if (settings.vfr_limit_max_fps) {
        info_params.mov_intra_demuxer_flags |= kMovFlagLimitVfrRate;
        info_params.max_vfr_to_cfr_fps = settings.max_vfr_to_cfr_fps;
    } else {
        info_params.mov_intra_demuxer_flags &= ~kMovFlagLimitVfrRate;
    }
}

bool MediaInfoObj::set_default_fps_img_seq(ZRational fps) {
    if (!is_img_seq()) return false;
    if (info->fps.num == fps.num && info->fps.den == fps.den) return false;
    info->fps = fps;
    return true;
}

bool MediaInfoObj::set_default_alpha_interpret(uint32_t value) {
    if (media_interpret->obj.default_alpha == value) return false;
    media_interpret->obj.default_alpha = value;
    return have_video_with_alpha() && info->alpha_kind == 2;
}

void MediaInfoObj::update_mapping_for_mono_wav_file() {
    if (!info || info->nb_audio_tracks != 1 || info->audio_tracks[0].nb_channels != 1) return;
    std::string name = filepath ? path_name_without_extension(*filepath) : std::string();
    for (char &ch : name)
        if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
    static const struct {
        const char *ending;
        uint64_t mask;
    } kEndings[] = {{"_l", 1},    {"_r", 2},   {"_c", 4},    {"_lfe", 8},  {"_ls", 16},
                    {"_lss", 16}, {"_rs", 32}, {"_rss", 32}, {"_lrs", 64}, {"_rrs", 128}};
    uint64_t mask = 3;
    for (const auto &e : kEndings) {
        const size_t len = strlen(e.ending);
        if (name.size() >= len && name.compare(name.size() - len, len, e.ending) == 0) {
            mask = e.mask;
            break;
        }
    }
    info->audio_tracks[0].channel_mapping[0] = mask;
}

void MediaInfoObj::set_audio_track_from_parser(const ParseAudioTrack &parser) {
    if (!is_index_audio_track_valid(parser.index_track)) {
        zlog("Invalid index audio track : %d", int(parser.index_track));
        return;
    }
    AudioInfo &track = info->audio_tracks[parser.index_track];
    track.enable = parser.track_enable;
    for (const ParseAudioChannelRef &ch : parser.arr_audio_channels) {
        if (ch->index_channel >= track.nb_channels || !track.channel_mapping) {
            zlog("Invalid audio channel : %lu", (unsigned long)ch->index_channel);
            continue;
        }
        track.channel_mapping[ch->index_channel] = ch->mapping;
    }
}

void MediaInfoObj::write_audio_info(XmlStreamWriter &w) const {
    if (!info) return;
    for (uint32_t i = 0; i < info->nb_audio_tracks; i++) {
        const AudioInfo &track = info->audio_tracks[i];
        w.start_element("audio_track");
        w.attribute("itr", number_text_from_uint(i));
        if (!track.enable) w.attribute("enable", "NO");
        for (uint32_t j = 0; track.channel_mapping && j < track.nb_channels; j++) {
            w.start_element("audio_ch");
            w.attribute("ch", number_text_from_uint(j));
            w.attribute("map", number_text_from_uint(track.channel_mapping[j]));
            w.end_element();
        }
        w.end_element();
    }
}

std::string MediaInfoObj::description() const {
    const std::string path = filepath.value_or("(null)");
    if (img_seq_parser)
        return "MediaInfoObj : Filepath : " + path + " : \n" + media_interpret->description() +
               "\nImg Parser : " + img_seq_parser->description();
    return "MediaInfoObj : Filepath : " + path + " ; \n" + media_interpret->description();
}

bool MediaInfoObj::have_video_with_alpha_with_media_interpret() const {
    return have_video_with_alpha() && media_interpret->is_alpha_need_with_src(info->have_alpha);
}

bool MediaInfoObj::is_video_in_yuv() const {
    return have_video() && uint32_t(info->pix_fmt) >= 22 && uint32_t(info->pix_fmt) <= 36;
}

uint32_t MediaInfoObj::get_hap_dxt_format() const {
    if (!is_hap_file()) return VideoFrameUnknown;
    switch (info->codec_fourcc) {
    case 0x48617031: return VideoFrameDxtData_HAP;           // Hap1
    case 0x48617035: return VideoFrameDxtData_HAPA;          // Hap5
    case 0x48617059: return VideoFrameDxtData_HAPQ;          // HapY
    case 0x4861704D: return VideoFrameDxtData_HAPQA;         // HapM
    case 0x48617041: return VideoFrameDxtData_HAPAlphaOnly;  // HapA
    case 0x48617037: return VideoFrameDxtData_HAPR;          // Hap7
    default: zlog("Unknown hap type file : %d", int(info->codec_fourcc)); return VideoFrameUnknown;
    }
}

bool MediaInfoObj::have_useful_audio_for_layout(uint32_t layout) const {
    if (!info) return false;
    static const uint32_t kChannels[5] = {1, 2, 6, 4, 8};
    for (uint32_t t = 0; t < info->nb_audio_tracks; t++) {
        const AudioInfo &track = info->audio_tracks[t];
        if (!track.enable) continue;
        if (layout > 4) {
            printf("ERR : Unknown audio channel layout : %u\n", layout);
            continue;
        }
        const uint64_t wanted = (uint64_t(1) << kChannels[layout]) - 1;
        for (uint32_t c = 0; track.channel_mapping && c < track.nb_channels; c++)
            if (track.channel_mapping[c] & wanted) return true;
    }
    return false;
}

uint64_t MediaInfoObj::get_concat_audio_mapping() const {
    uint64_t all = 0;
    if (!info) return 0;
    for (uint32_t t = 0; t < info->nb_audio_tracks; t++)
        for (uint32_t c = 0; info->audio_tracks[t].channel_mapping && c < info->audio_tracks[t].nb_channels; c++)
            all |= info->audio_tracks[t].channel_mapping[c];
    return all;
}

uint32_t MediaInfoObj::get_start_tc_frame() const {
    if (!info) return 0;
    if (info->have_tc) return info->tc_start_frame;
    if (is_img_seq() && get_img_seq_start_f() > 0) return uint32_t(get_img_seq_start_f());
    return 0;
}

std::string MediaInfoObj::get_timecode_str() const {
    const ZRational fps = info ? info->fps : ZRational{25, 1};
    return media_timecode_text(get_start_tc_frame(), fps, is_drop_frame_tc());
}

ZRational MediaInfoObj::get_file_fps() const {
    if (!have_video()) return ZRational{25, 1};
    return media_interpret->get_fps_with_src(info->fps);
}

uint32_t MediaInfoObj::get_alpha_interpretation_with_media_interpret() const {
    if (!have_video_with_alpha_with_media_interpret()) return 2;
    return media_interpret->get_alpha_mode_with_src(info->alpha_kind);
}

uint32_t MediaInfoObj::get_color_range_interpretation_with_media_interpret() const {
    if (!have_video()) return 2;
    if (!is_video_in_yuv()) return 1;
    const uint32_t r = media_interpret->get_color_range_with_src(info->color_range);
    if (r == 2) {
        zlog("WARNING : Get color range, unknown from yuv");
        return 0;
    }
    return r;
}

std::string MediaInfoObj::get_audio_track_info_str_for_ui(uint32_t index) const {
    if (!is_index_audio_track_valid(index)) return "";
    const AudioInfo &t = info->audio_tracks[index];
    const bool format_set = uint32_t(t.format) <= 10;
    std::string encoding;
    if (t.is_pcm) {
        if (format_set)
            encoding = get_pcm_format_name(t.format);
        else if (t.description)
            encoding = t.description;
    } else if (t.description) {
        encoding = t.description;
    } else if (format_set) {
        encoding = get_pcm_format_name(t.format);
    }
    return fmt("%u channel%s ; %u Hz ; ", t.nb_channels, t.nb_channels > 1 ? "s" : "", t.frequency) + encoding;
}

std::vector<std::string> MediaInfoObj::get_lines_info_file(bool audio_only) const {
    std::vector<std::string> lines;
    if (have_error() || !info) {
        zlog("Can't get lines info file. File have error");
        return lines;
    }
    if (!audio_only) {
        if (!have_video()) {
            lines.push_back("No video");
        } else {
            std::string size = fmt("%ux%u px", info->width, info->height);
            const ZRational pr = info->pixel_ratio;
            if (!(pr.num == 1 && pr.den == 1))
                size += fmt(" (Pixel ratio : %.2f)", pr.den ? double(pr.num) / pr.den : 0.0);
            if (info->codec_name) {
                const std::string codec =
                    info->is_hap ? fmt("%s : %u Chunks", info->codec_name, info->hap_chunks) : info->codec_name;
                std::string alpha;
                if (have_video_with_alpha_with_media_interpret())
                    alpha = get_alpha_interpretation_with_media_interpret() == 1 ? " (Alpha straight)"
                                                                                 : " (Alpha premultiply)";
                lines.push_back(size + " ; " + codec + alpha);
            } else {
                zlog("Video codec : Unset");
                lines.push_back(size);
            }
            const ZRational r = get_file_fps();
            std::string rate = r.den == 1 ? fmt("%u fps", r.num) : fmt("%.2f fps", r.den ? double(r.num) / r.den : 0.0);
            if (info->is_vfr) rate += " (variable fps)";
            lines.push_back(media_duration_text(info->nb_frames, r) + " ; " + rate);
            if (info->have_tc)
                lines.push_back("Timecode : " + media_timecode_text(info->tc_start_frame, r, info->tc_drop_frame));
        }
    }
    if (info->nb_audio_tracks == 0) {
        lines.push_back("No audio");
    } else {
        const std::string count = info->nb_audio_tracks == 1 ? "1 track" : fmt("%u tracks", info->nb_audio_tracks);
        if (audio_tracks_share_format(info)) {
            lines.push_back(count + " : " + get_audio_track_info_str_for_ui(0));
        } else {
            lines.push_back(count);
            for (uint32_t i = 0; i < info->nb_audio_tracks; i++)
                lines.push_back(count + " : " + get_audio_track_info_str_for_ui(i));
        }
        if (!have_video()) {
            const float d = float(info->audio_tracks[0].duration);
            if (!(d >= 0.0f) || !std::isfinite(d)) {
                lines.push_back("NA");
            } else {
                const unsigned long s = (unsigned long)std::min(d, 4e18f);
                if (s < 60)
                    lines.push_back(fmt("%lus", s));
                else if (s < 3600)
                    lines.push_back(s % 60 ? fmt("%lumin %lus", s / 60, s % 60) : fmt("%lumin", s / 60));
                else
                    lines.push_back(s % 60 ? fmt("%luh %lumin %lus", s / 3600, (s / 60) % 60, s % 60)
                                           : fmt("%luh %lumin", s / 3600, (s / 60) % 60));
            }
        }
    }
    return lines;
}
