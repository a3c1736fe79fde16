#pragma once
// How a task's main source is interpreted whatever its file says (frame rate, alpha, video
// range), with its `media_src_interpret` elements; and the entries the render-queue reader
// makes from a source's `audio_track` and `audio_ch` elements.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/video_frame.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

// VideoSetting_SrcAlphaMode: 0 same as source, 1 premultiply, 2 straight, 3 ignore alpha.
// VideoSetting_SrcVideoRange: 0 same as source, 1 legal, 2 full.
// VideoSetting_SrcInterpretFps: 0 same as source, 1 23.98, 2 24, 3 25, 4 29.97, 5 30, 6 48,
// 7 50, 8 59.94, 9 60, 10 custom.
struct HapStandMediaSrcInterpret {
    uint32_t alpha_mode = 0;
    uint32_t video_range = 0;
    uint32_t interpret_fps = 0;
    double custom_fps = 25.0;
    uint32_t default_alpha = 0;  // 0 premultiplied, 1 straight; never stored in files
};

class MediaSrcInterpretation;
using MediaSrcInterpretationRef = std::shared_ptr<MediaSrcInterpretation>;

class MediaSrcInterpretation {
public:
    HapStandMediaSrcInterpret obj;
    std::string src_fps_custom_val_eval_str;

    static MediaSrcInterpretationRef init() { return std::make_shared<MediaSrcInterpretation>(); }
    void setObj(const HapStandMediaSrcInterpret &o) { obj = o; }
    void setSrc_fps_custom_val_eval_str(const std::string &s) { src_fps_custom_val_eval_str = s; }

    // The custom rate is custom_fps x 10000 / 10000; a custom rate not above 1 (or too
    // large for the numerator) prints a warning and gives 25/1.
    ZRational get_fps_with_src(ZRational src_fps) const;
    // Source kind 0 premultiplied, 1 straight, 2 unknown; the result is 0 or 1.
    uint32_t get_alpha_mode_with_src(uint32_t src_alpha_kind) const;
    // Source range 0 legal, 1 full.
    uint32_t get_color_range_with_src(uint32_t src_range) const;
    bool is_alpha_need_with_src(bool src_has_alpha) const { return src_has_alpha && obj.alpha_mode != 3; }

    void set_main_attributes_with_xml_dict(const XmlAttributes &attributes);
    // The `media_src_interpret` elements of the values that are not the defaults.
    void write(XmlStreamWriter &w) const;
    MediaSrcInterpretationRef mutableCopyWithZone() const { return std::make_shared<MediaSrcInterpretation>(*this); }
    std::string description() const;
};

class ParseAudioChannel;
using ParseAudioChannelRef = std::shared_ptr<ParseAudioChannel>;

class ParseAudioChannel {
public:
    uint64_t index_channel = 0;
    uint64_t mapping = 0;  // bit n feeds output channel n

    // Null (logged) when "ch" or "map" is missing or not a non-negative integer.
    static ParseAudioChannelRef init_with_xml_dict(const XmlAttributes &attributes);
};

class ParseAudioTrack;
using ParseAudioTrackRef = std::shared_ptr<ParseAudioTrack>;

class ParseAudioTrack {
public:
    bool track_enable = true;
    uint64_t index_track = 0;
    std::vector<ParseAudioChannelRef> arr_audio_channels;

    // Null (logged) when "itr" is missing or not a non-negative integer.
    static ParseAudioTrackRef init_with_xml_dict(const XmlAttributes &attributes);
    void add_audio_channel_info(const ParseAudioChannelRef &channel) {
        if (channel) arr_audio_channels.push_back(channel);
    }
};
