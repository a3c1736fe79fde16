#pragma once
// The object form of one source file: its probed record, probe options, interpretation and,
// for an image file, its numbered sequence; the questions the rest of the system asks about
// it, its description lines, and its audio mapping in the render-queue file.
// Lives on the main thread with its task; nothing here throws.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/settings/media_src_interpret.h"
#include "pipeline/probe/media_info.h"
#include "pipeline/source/images_seq_parser.h"

class GlobalSettings;
class XmlStreamWriter;
class MediaInfoObj;
using MediaInfoObjRef = std::shared_ptr<MediaInfoObj>;

// HapStand_AudioLayout: 0 mono, 1 stereo, 2 5.1, 3 dual stereo, 4 7.1.
enum HapStand_AudioLayout : uint32_t {
    HapStand_AudioLayout_Mono = 0,
    HapStand_AudioLayout_Stereo = 1,
    HapStand_AudioLayout_5_1 = 2,
    HapStand_AudioLayout_DualStereo = 3,
    HapStand_AudioLayout_7_1 = 4,
};

// Bit 0x10 of the MOV reader's flags: limit a variable rate to max_vfr_to_cfr_fps.
constexpr uint64_t kMovFlagLimitVfrRate = 0x10;

class MediaInfoObj {
public:
    std::optional<std::string> error;
    // Kept for a missing file too, so the queue can show and save it.
    std::optional<std::string> filepath;
    MediaInfo *info = nullptr;  // owned; null when the first probe failed
    ImagesSeqParserRef img_seq_parser;
    MediaSrcInterpretationRef media_interpret;
    MediaInfoParams info_params;

    MediaInfoObj();
    ~MediaInfoObj();
    MediaInfoObj(const MediaInfoObj &) = delete;
    MediaInfoObj &operator=(const MediaInfoObj &) = delete;

    // Always an object; check have_error.
    static MediaInfoObjRef init_from_filepath_and_settings(const std::string &path, const GlobalSettings &settings);
    // Probes again, keeping the interpretation, the track choices and a sequence's rate.
    void reload_media();
    MediaInfoObjRef mutableCopyWithZone() const;
    void set_media_info_params(const MediaInfoParams &params) { info_params = params; }
    void set_vfr_global_settings_info_params(const GlobalSettings &settings);
    // For an image file whose rate differs: stores it, YES.
    bool set_default_fps_img_seq(ZRational fps);
    // YES only when the value changed and decides something (video with alpha of unknown kind).
    bool set_default_alpha_interpret(uint32_t value);
    // One mono track: its mask from the file name's ending ("_l", "_lfe", ...), else 3.
    void update_mapping_for_mono_wav_file();
    void set_audio_track_from_parser(const ParseAudioTrack &parser);
    // `audio_track` elements with their `audio_ch` children, inside the caller's element.
    void write_audio_info(XmlStreamWriter &w) const;
    std::string description() const;

    bool have_error() const { return error.has_value(); }
    bool have_video() const { return info && info->have_video; }
    bool have_video_with_alpha() const { return have_video() && info->have_alpha; }
    bool have_video_with_alpha_with_media_interpret() const;
    bool is_video_in_yuv() const;
    bool is_hap_file() const { return have_video() && info->is_hap; }
    bool is_wav_file() const { return info && info->audio_src_type == MediaInfoAudioSrc_Wav; }
    bool is_same_width_and_height(uint32_t w, uint32_t h) const { return get_width() == w && get_height() == h; }
    bool is_vfr() const { return have_video() && info->is_vfr; }
    // The texture descriptor of a HAP source's codec; 19 otherwise.
    uint32_t get_hap_dxt_format() const;
    uint32_t get_width() const { return have_video() ? info->width : 0; }
    uint32_t get_height() const { return have_video() ? info->height : 0; }
    uint32_t get_duration_frames() const { return have_video() ? info->nb_frames : 0; }
    bool is_index_audio_track_valid(uint64_t index) const { return info && index < info->nb_audio_tracks; }
    bool have_useful_audio_for_layout(uint32_t layout) const;
    uint64_t get_concat_audio_mapping() const;
    bool is_img_seq() const { return info && info->video_src_type == MediaInfoVideoSrc_Image; }
    int64_t get_img_seq_start_f() const { return img_seq_parser ? int64_t(img_seq_parser->start_f) : -1; }
    int64_t get_img_seq_end_f() const { return img_seq_parser ? int64_t(img_seq_parser->end_f) : -1; }
    bool have_timecode() const { return info && (info->have_tc || is_img_seq()); }
    bool is_drop_frame_tc() const { return info && info->have_tc && info->tc_drop_frame; }
    uint32_t get_start_tc_frame() const;
    std::string get_timecode_str() const;
    ZRational get_file_fps() const;
    // 0 premultiplied, 1 straight, 2 no alpha used.
    uint32_t get_alpha_interpretation_with_media_interpret() const;
    // 0 limited, 1 full, 2 no video.
    uint32_t get_color_range_interpretation_with_media_interpret() const;
    std::string get_audio_track_info_str_for_ui(uint32_t index) const;
    std::vector<std::string> get_lines_info_file(bool audio_only) const;
};

// "HH:MM:SS:FF" of frame n at num/den ("HH;MM;SS;FF" with drop frame). Rates below one
// frame per second count as one.
std::string media_timecode_text(uint64_t n, ZRational rate, bool drop_frame);
// "HH:MM:SS:FF (N frames)", or "00:00:00:01 (1 frame)".
std::string media_duration_text(uint32_t nb_frames, ZRational rate);
