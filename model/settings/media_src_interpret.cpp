#include "model/settings/media_src_interpret.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

// Index and mask texts: ASCII digits only, the whole unsigned 64-bit range (the writer
// puts masks with the top bit set).
bool parse_u64(const std::string *text, uint64_t *out) {
    if (!text || text->empty()) return false;
    const char *b = text->data(), *e = b + text->size();
    if (*b == '+') b++;
    if (b == e || *b < '0' || *b > '9') return false;
    const auto r = std::from_chars(b, e, *out);
    return r.ec == std::errc() && r.ptr == e;
}

void interpret_param(XmlStreamWriter &w, const char *key, const std::string &value) {
    w.start_element("media_src_interpret");
    w.attribute("k", key);
    w.attribute("v", value);
    w.end_element();
}

}  // namespace

ZRational MediaSrcInterpretation::get_fps_with_src(ZRational src_fps) const {
    static const ZRational kRates[10] = {{0, 0},  {24000, 1001}, {24, 1}, {25, 1},       {30000, 1001},
                                         {30, 1}, {48, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    const uint32_t mode = obj.interpret_fps;
    if (mode == 0) return src_fps;
    if (mode <= 9) return kRates[mode];
    if (mode == 10) {
        // The numerator holds custom_fps x 10000 in 32 bits.
        const double scaled = std::round(obj.custom_fps * 10000.0);
        if (obj.custom_fps > 1.0 && scaled <= double(UINT32_MAX)) return ZRational{uint32_t(scaled), 10000};
        printf("WARNING invalid custom fps : %2.f\n", obj.custom_fps);
    }
    return ZRational{25, 1};
}

uint32_t MediaSrcInterpretation::get_alpha_mode_with_src(uint32_t src_alpha_kind) const {
    switch (obj.alpha_mode) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 0;
    default: return src_alpha_kind == 2 ? obj.default_alpha : src_alpha_kind;
    }
}

uint32_t MediaSrcInterpretation::get_color_range_with_src(uint32_t src_range) const {
    if (obj.video_range == 1) return 0;
    if (obj.video_range == 2) return 1;
    return src_range;
}

void MediaSrcInterpretation::set_main_attributes_with_xml_dict(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k || !v) return;
    const std::string &key = *k;
    const bool is_enum = key == "alpha_mode" || key == "video_range" || key == "interpret_fps";
    uint64_t n = 0;
    if (is_enum && !number_text_to_uint(v, UINT32_MAX, &n)) return;
    if (key == "alpha_mode") {
        if (n >= 1 && n <= 4) {
            obj.alpha_mode = uint32_t(n) - 1;
        } else {
            printf("Unknown VideoSetting_SrcAlphaMode val : %u", uint32_t(n));
            obj.alpha_mode = 0;
        }
    } else if (key == "video_range") {
        obj.video_range = n >= 1 && n <= 3 ? uint32_t(n) - 1 : 0;
    } else if (key == "interpret_fps") {
        if (n >= 1 && n <= 11) {
            obj.interpret_fps = uint32_t(n) - 1;
        } else {
            printf("Unknown VideoSetting_SrcInterpretFps val : %u", uint32_t(n));
            obj.interpret_fps = 0;
        }
    } else if (key == "custom_fps") {
        const float f = number_text_to_float(*v);
        if (std::isfinite(f) && f > 1.0f) obj.custom_fps = double(f);
    } else if (key == "custom_fps_eval_str") {
        src_fps_custom_val_eval_str = *v;
    } else {
        zlog("Unknown params media interpret : %s", key.c_str());
    }
}

void MediaSrcInterpretation::write(XmlStreamWriter &w) const {
    if (obj.alpha_mode != 0)
        interpret_param(w, "alpha_mode", number_text_from_uint(obj.alpha_mode <= 3 ? obj.alpha_mode + 1 : 1));
    if (obj.video_range != 0)
        interpret_param(w, "video_range", obj.video_range == 1 ? "2" : obj.video_range == 2 ? "3" : "1");
    if (obj.interpret_fps != 0) {
        interpret_param(w, "interpret_fps", number_text_from_uint(obj.interpret_fps <= 10 ? obj.interpret_fps + 1 : 1));
        interpret_param(w, "custom_fps", number_text_from_double(obj.custom_fps));
    }
    if (!src_fps_custom_val_eval_str.empty()) interpret_param(w, "custom_fps_eval_str", src_fps_custom_val_eval_str);
}

std::string MediaSrcInterpretation::description() const {
    static const char *const kAlpha[4] = {"Same as source", "Premultiply", "Straight", "IgnoreAlpha"};
    static const char *const kRange[3] = {"Same As Source", "Legal", "Full"};
    static const char *const kFps[11] = {"Same as source", "23.98", "24",    "25", "29.97", "30", "48", "50",
                                         "59.94",          "60",    "Custom"};
    char buf[256];
    snprintf(buf, sizeof(buf), "MediaSrcInterpretation :\n\tAlpha mode : %s\n\tVideo Range : %s\n\tFps : %s (%2.f)",
             kAlpha[obj.alpha_mode <= 3 ? obj.alpha_mode : 0], kRange[obj.video_range <= 2 ? obj.video_range : 0],
             kFps[obj.interpret_fps <= 10 ? obj.interpret_fps : 0], obj.custom_fps);
    return buf;
}

ParseAudioChannelRef ParseAudioChannel::init_with_xml_dict(const XmlAttributes &attributes) {
    auto c = std::make_shared<ParseAudioChannel>();
    if (!parse_u64(find_attr(attributes, "ch"), &c->index_channel)) {
        zlog("Fail to get index channel : %s", xml_attributes_description(attributes).c_str());
        return nullptr;
    }
    if (!parse_u64(find_attr(attributes, "map"), &c->mapping)) {
        zlog("Fail to get index mapping : %s", xml_attributes_description(attributes).c_str());
        return nullptr;
    }
    return c;
}

ParseAudioTrackRef ParseAudioTrack::init_with_xml_dict(const XmlAttributes &attributes) {
    auto t = std::make_shared<ParseAudioTrack>();
    if (!parse_u64(find_attr(attributes, "itr"), &t->index_track)) {
        zlog("Fail to get index track : %s", xml_attributes_description(attributes).c_str());
        return nullptr;
    }
    const std::string *enable = find_attr(attributes, "enable");
    t->track_enable = !enable || *enable == "YES";
    return t;
}
