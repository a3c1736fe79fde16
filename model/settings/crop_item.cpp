#include "model/settings/crop_item.h"

#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cstdio>

#include "model/settings/randomcolor/random_color.h"
#include "model/settings/setting_enums.h"
#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

const char *text_or_null(const std::string *s) { return s ? s->c_str() : "(null)"; }

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

std::string fmt(const char *f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char *f, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, f);
    vsnprintf(buf, sizeof(buf), f, ap);
    va_end(ap);
    return buf;
}

}  // namespace

bool parse_uint_from_string(const std::string *text, uint32_t *out) {
    uint64_t v = 0;
    const bool ok = number_text_to_uint(text, UINT32_MAX, &v);
    *out = uint32_t(v);
    return ok;
}

const char *crop_mode_exchange_text(uint32_t mode) {
    if (mode == 1) return "origin_and_size";
    if (mode == 2) return "edges_crop";
    return "unknown";
}

CropItemRef CropItem::init() { return std::make_shared<CropItem>(); }

void CropItem::set_default_mode_edges_crop() {
    transform_mode = 0;
    mode = HapStandCropMode_EdgesCrop;
    crop_left = crop_top = crop_right_width = crop_bottom_height = 0;
    crop_left_eval_str.clear();
    crop_top_eval_str.clear();
    crop_right_width_eval_str.clear();
    crop_bottom_height_eval_str.clear();
}

void CropItem::set_default_mode_origin_and_size() {
    set_default_mode_edges_crop();
    mode = HapStandCropMode_OriginAndSize;
    crop_right_width = 1920;
    crop_bottom_height = 1080;
}

void CropItem::set_default_mode_screen_ratio() {
    set_default_mode_origin_and_size();
    mode = HapStandCropMode_ScreenRatio;
}

CropItemRef CropItem::mutableCopyWithZone() const { return std::make_shared<CropItem>(*this); }

void CropItem::set_default_name_with_other_crop(const std::vector<CropItemRef> &others) {
    // At most others.size() names are taken, so this ends within size + 1 candidates.
    for (uint64_t n = 1;; n++) {
        const std::string candidate = fmt("Crop%02llu", (unsigned long long)n);
        if (!is_other_crop_have_name(others, candidate)) {
            name = candidate;
            return;
        }
    }
}

bool CropItem::is_other_crop_have_name(const std::vector<CropItemRef> &others, const std::string &n) {
    for (const CropItemRef &o : others)
        if (o && o->name == n) return true;
    return false;
}

void CropItem::set_new_random_color() {
    // The clock alone repeats within one tick: a counter tells apart the items of a batch.
    static std::atomic<uint32_t> counter{0};
    const uint32_t tick = uint32_t(std::chrono::system_clock::now().time_since_epoch().count());
    RandomColorState state;
    random_color_seed(state, tick + counter.fetch_add(1) * 0x9E3779B9u);
    const int32_t rgb = random_color_generate(state, 16, 1);
    color = ZelColorFloat::init_with_r_and_g_and_b(((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f,
                                                   (rgb & 0xFF) / 255.0f);
}

bool CropItem::is_valid() const {
    if (mode == HapStandCropMode_OriginAndSize) return crop_right_width > 3 && crop_bottom_height > 3;
    return true;
}

std::string CropItem::get_crop_item_str() const {
    if (mode == HapStandCropMode_EdgesCrop)
        return fmt("Crop : Left : %upx, Top : %upx, Right : %upx, Bottom : %upx", crop_left, crop_top, crop_right_width,
                   crop_bottom_height);
    return fmt("Crop : X : %upx, Y : %upx, Width : %upx, Height : %upx", crop_left, crop_top, crop_right_width,
               crop_bottom_height);
}

std::string CropItem::description() const {
    const std::string transform =
        transform_mode != 0 ? std::string("; Transform : ") + transform_mode_exchange_text(transform_mode) : "";
    if (mode == HapStandCropMode_OriginAndSize)
        return fmt("CropItem : Mode OriginAndSize : X %u, Y %u, Width : %u, Height : %u (Selected : %d)", crop_left,
                   crop_top, crop_right_width, crop_bottom_height, isSelected) +
               transform;
    if (mode == HapStandCropMode_ScreenRatio)
        return fmt("CropItem : Mode Screen Ratio : Width : %u x Height : %u (Selected : %d)", crop_right_width,
                   crop_bottom_height, isSelected) +
               transform;
    return fmt("CropItem : Mode Edges Crop : Left %u, Top %u, Right : %u, Bottom : %u (Selected : %d)", crop_left,
               crop_top, crop_right_width, crop_bottom_height, isSelected) +
           transform;
}

bool CropItem::is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(const CropItem &o, bool color_test,
                                                                                   bool name_test,
                                                                                   bool eval_test) const {
    if (mode != o.mode || transform_mode != o.transform_mode || crop_left != o.crop_left || crop_top != o.crop_top ||
        crop_right_width != o.crop_right_width || crop_bottom_height != o.crop_bottom_height)
        return false;
    if (name_test && name != o.name) return false;
    if (color_test && !color.to_8b().is_equal_to_color(o.color.to_8b())) return false;
    if (eval_test && (crop_left_eval_str != o.crop_left_eval_str || crop_top_eval_str != o.crop_top_eval_str ||
                      crop_right_width_eval_str != o.crop_right_width_eval_str ||
                      crop_bottom_height_eval_str != o.crop_bottom_height_eval_str))
        return false;
    return true;
}

bool crop_items_array_equal(const std::vector<CropItemRef> &a, const std::vector<CropItemRef> &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (!a[i] || !b[i]) {
            if (a[i] != b[i]) return false;
            continue;
        }
        if (!a[i]->is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(*b[i], true, true, true))
            return false;
    }
    return true;
}

void CropItem::edit_crop_scale_values(HapStandCropScale *r) const {
    r->crop_mode = mode;
    r->crop_l = crop_left;
    r->crop_t = crop_top;
    r->transform_mode = transform_mode;
    switch (mode) {
    case HapStandCropMode_OriginAndSize:
        r->crop_width = crop_right_width;
        r->crop_height = crop_bottom_height;
        break;
    case HapStandCropMode_ScreenRatio:
        r->crop_screen_width = crop_right_width;
        r->crop_screen_height = crop_bottom_height;
        break;
    case HapStandCropMode_EdgesCrop:
        r->crop_r = crop_right_width;
        r->crop_b = crop_bottom_height;
        break;
    default: zlog("Invalid crop mode, edit crop scale\n"); break;
    }
}

void CropItem::update_from_ui_with_video_width_and_video_height(const CropItem &other, uint32_t video_width,
                                                                uint32_t video_height) {
    crop_left = other.crop_left;
    crop_top = other.crop_top;
    if (mode == HapStandCropMode_EdgesCrop) {
        crop_right_width = other.crop_right_width;
        crop_bottom_height = other.crop_bottom_height;
        return;
    }
    const int64_t w = int64_t(video_width) - other.crop_left - other.crop_right_width;
    const int64_t h = int64_t(video_height) - other.crop_top - other.crop_bottom_height;
    crop_right_width = w < 5 ? 4 : uint32_t(w);
    crop_bottom_height = h < 5 ? 4 : uint32_t(h);
}

void CropItem::write(XmlStreamWriter &w) const {
    const ZelColor8b c = color.to_8b();
    w.start_element("CropItem");
    w.attribute("r", number_text_from_uint(c.red));
    w.attribute("g", number_text_from_uint(c.green));
    w.attribute("b", number_text_from_uint(c.blue));
    w.attribute("name", name);
    uint32_t m = mode;
    if (m < 1 || m > 3) {
        printf("Unknown HapStandCropMode : %u\n", m);
        m = 1;
    }
    w.attribute("mode", number_text_from_uint(m));
    if (transform_mode != 0)
        w.attribute("transform_mode", number_text_from_uint(transform_mode < kTransformModeCount ? transform_mode : 0));
    w.attribute("crop_1", number_text_from_uint(crop_left));
    w.attribute("crop_2", number_text_from_uint(crop_top));
    w.attribute("crop_3", number_text_from_uint(crop_right_width));
    w.attribute("crop_4", number_text_from_uint(crop_bottom_height));
    const std::pair<const char *, const std::string *> evals[] = {{"crop_1_eval_str", &crop_left_eval_str},
                                                                  {"crop_2_eval_str", &crop_top_eval_str},
                                                                  {"crop_3_eval_str", &crop_right_width_eval_str},
                                                                  {"crop_4_eval_str", &crop_bottom_height_eval_str}};
    for (const auto &[key, text] : evals)
        if (!text->empty()) w.attribute(key, *text);
    w.end_element();
}

void CropItem::set_attributes_with_xml_dict(const XmlAttributes &a) {
    uint32_t v = 0;
    const std::string *t = find_attr(a, "mode");
    if (!parse_uint_from_string(t, &v)) {
        zlog("Invalid mode value : %s", text_or_null(t));
    } else if (v < 1 || v > 3) {
        printf("Unknown HapStandCropMode val : %u\n", v);
        mode = 1;
    } else {
        mode = v;
    }

    t = find_attr(a, "transform_mode");
    if (!parse_uint_from_string(t, &v)) {
        transform_mode = 0;
    } else if (v > 5) {
        printf("Invalid Transform Rotate Flip : %u, default to no transform\n", v);
        transform_mode = 0;
    } else {
        transform_mode = v;
    }

    t = find_attr(a, "name");
    if (!t || t->empty())
        zlog("Invalid name :%s", text_or_null(t));
    else
        name = *t;

    uint8_t rgb[3];
    const char *keys[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; i++) {
        t = find_attr(a, keys[i]);
        if (!parse_uint_from_string(t, &v) || v > 255) {
            zlog("Invalid %s value : %s", keys[i], text_or_null(t));
            v = 255;
        }
        rgb[i] = uint8_t(v);
    }
    color.set_with_8b_r_and_g_and_b_and_a(rgb[0], rgb[1], rgb[2], 255);

    uint32_t *values[4] = {&crop_left, &crop_top, &crop_right_width, &crop_bottom_height};
    std::string *evals[4] = {&crop_left_eval_str, &crop_top_eval_str, &crop_right_width_eval_str,
                             &crop_bottom_height_eval_str};
    for (int i = 0; i < 4; i++) {
        const std::string key = "crop_" + std::to_string(i + 1);
        t = find_attr(a, key.c_str());
        if (parse_uint_from_string(t, &v))
            *values[i] = v;
        else
            zlog("Invalid crop %d val : %s", i + 1, text_or_null(t));
        t = find_attr(a, (key + "_eval_str").c_str());
        if (t && !t->empty()) *evals[i] = *t;
    }
}

Json CropItem::get_json_dict() const {
    Json d = Json::object();
    d["name"] = name;
    d["mode"] = crop_mode_exchange_text(mode);
    const char *const *keys;
    static const char *const kOrigin[4] = {"x", "y", "w", "h"};
    static const char *const kEdges[4] = {"left", "top", "right", "bottom"};
    keys = mode == HapStandCropMode_OriginAndSize ? kOrigin : kEdges;
    d[keys[0]] = crop_left;
    d[keys[1]] = crop_top;
    d[keys[2]] = crop_right_width;
    d[keys[3]] = crop_bottom_height;
    if (transform_mode != 0) d["transform_mode"] = transform_mode_exchange_text(transform_mode);
    return d;
}

std::string CropItem::set_from_json_dict(const Json &dict) {
    if (!dict.is_object()) return "Invalid json data (expected Json object for crop item data";
    const std::string dump = json_dump_pretty(dict);
    const auto n = dict.find("name");
    if (n == dict.end() || !n->is_string()) {
        zlog("Invalid json crop name : %s", dump.c_str());
        return "invalid data for crop 'name'";
    }
    name = n->get<std::string>();
    const auto m = dict.find("mode");
    if (m == dict.end() || !m->is_string()) {
        zlog("Invalid json crop mode : %s", dump.c_str());
        return "invalid data for crop 'mode'";
    }
    const std::string mode_text = m->get<std::string>();
    const char *const *keys;
    static const char *const kOrigin[4] = {"x", "y", "w", "h"};
    static const char *const kEdges[4] = {"left", "top", "right", "bottom"};
    if (mode_text == "origin_and_size") {
        mode = HapStandCropMode_OriginAndSize;
        keys = kOrigin;
    } else if (mode_text == "edges_crop") {
        mode = HapStandCropMode_EdgesCrop;
        keys = kEdges;
    } else {
        zlog("Invalid json crop mode val : %s", mode_text.c_str());
        return "unknown crop 'mode' (allowed values : 'origin_and_size', 'edges_crop')";
    }
    uint32_t *values[4] = {&crop_left, &crop_top, &crop_right_width, &crop_bottom_height};
    for (int i = 0; i < 4; i++) {
        const auto it = dict.find(keys[i]);
        uint32_t v = 0;
        // Negative, non-finite and too large numbers are refused rather than wrapped.
        if (it == dict.end() || !json_to_u32(*it, &v)) {
            zlog("Invalid json crop %s val : %s", keys[i], dump.c_str());
            return fmt("invalid crop '%s' value", keys[i]);
        }
        *values[i] = v;
    }
    const auto t = dict.find("transform_mode");
    if (t != dict.end() && t->is_string()) {
        const std::string text = t->get<std::string>();
        const std::string err = set_transform_mode_from_str(&text);
        if (!err.empty()) return err;
    }
    if (!is_valid()) {
        zlog("Invalid json values (invalid crop item : %s", dump.c_str());
        return dict.dump(-1, ' ', false, Json::error_handler_t::replace) + " : invalid data for crop";
    }
    return "";
}

std::string CropItem::set_transform_mode_from_str(const std::string *text) {
    if (!text) return "unset 'transform_mode'";
    for (uint32_t m = 0; m < kTransformModeCount; m++) {
        if (*text == transform_mode_exchange_text(m)) {
            transform_mode = m;
            return "";
        }
    }
    zlog("Invalid transform mode val : %s", text->c_str());
    return "unknown 'transform_mode' (allowed values : 'no_transform', '90', '180', '270', 'flip_h', 'flip_v')";
}

std::string CropItem::get_csv_line(bool *failed) const {
    if (name.find(',') != std::string::npos) {
        *failed = true;
        return "Invalid name. (character ',' in crop name is not allowed for csv file)";
    }
    if (name.find('"') != std::string::npos) {
        *failed = true;
        return "Invalid name. (character \" in crop name is not allowed for csv file)";
    }
    // Rows are lines: a line break in a name would split the row when read back.
    if (name.find_first_of("\r\n") != std::string::npos) {
        *failed = true;
        return "Invalid name. (line break in crop name is not allowed for csv file)";
    }
    const std::string quoted = name.empty() ? "" : "\"" + name + "\"";
    return quoted + "," + crop_mode_exchange_text(mode) + "," + number_text_from_uint(crop_left) + "," +
           number_text_from_uint(crop_top) + "," + number_text_from_uint(crop_right_width) + "," +
           number_text_from_uint(crop_bottom_height) + "," + transform_mode_exchange_text(transform_mode);
}

std::string CropItem::set_from_csv_line(const std::string &line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() < 6) {
        zlog("Invalid csv values (invalid count) : %s", line.c_str());
        return fmt("not enough value found : %lu (expected at least 6)", (unsigned long)fields.size());
    }
    const size_t used = fields.size() < 7 ? fields.size() : 7;
    for (size_t i = 0; i < used; i++) {
        std::string &f = fields[i];
        if (!f.empty() && f.front() == '"') f.erase(0, 1);
        if (!f.empty() && f.back() == '"') f.pop_back();
    }
    if (!fields[0].empty()) name = fields[0];
    if (fields[1] == "origin_and_size")
        mode = HapStandCropMode_OriginAndSize;
    else if (fields[1] == "edges_crop")
        mode = HapStandCropMode_EdgesCrop;
    else
        return "unknown crop mode in column 2 (allowed values : 'origin_and_size', 'edges_crop')";
    uint32_t *values[4] = {&crop_left, &crop_top, &crop_right_width, &crop_bottom_height};
    for (int i = 0; i < 4; i++) {
        uint32_t v = 0;
        if (!parse_uint_from_string(&fields[2 + i], &v))
            return fmt("invalid value in column %d ('%s')", 3 + i, fields[2 + i].c_str());
        *values[i] = v;
    }
    if (fields.size() == 6) return "";
    return set_transform_mode_from_str(&fields[6]);
}
