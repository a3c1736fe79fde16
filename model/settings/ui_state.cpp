#include "model/settings/ui_state.h"

#include <cmath>
#include <cstdio>

#include "platform/core/log.h"
#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

const char *yes_no(bool v) { return v ? "YES" : "NO"; }

const std::string *find_attr(const XmlAttributes &a, const char *key) {
    const auto it = a.find(key);
    return it == a.end() ? nullptr : &it->second;
}

void dialog_param(XmlStreamWriter &w, const char *dialog, const char *key, const std::string &value) {
    w.start_element("dialog_params");
    w.attribute("d", dialog);
    w.attribute("k", key);
    w.attribute("v", value);
    w.end_element();
}

void key_value(XmlStreamWriter &w, const char *element, const std::string &key, const std::string &value) {
    w.start_element(element);
    w.attribute("k", key);
    w.attribute("v", value);
    w.end_element();
}

}  // namespace

// ---- GlobalSettingsEditTask ----

std::shared_ptr<GlobalSettingsEditTask> GlobalSettingsEditTask::init() {
    auto t = std::make_shared<GlobalSettingsEditTask>();
    t->set_to_default();
    return t;
}

void GlobalSettingsEditTask::set_to_default() {
    ui_mode = HapStand_UIParametersMode_Basic;
    enable_gpu_pvw = true;
    pvw_snapping_crop = true;
    pvw_align_4_crop = true;
    pvw_timemode = 0;
    pvw_channel_mode = 0;
    pvw_bg_mode = 0;
}

void GlobalSettingsEditTask::write(XmlStreamWriter &w) const {
    const char *d = "edit_task";
    dialog_param(w, d, "ui_mode", ui_mode == 3 ? "2" : ui_mode == 2 ? "1" : "0");
    dialog_param(w, d, "enable_gpu_pvw", yes_no(enable_gpu_pvw));
    dialog_param(w, d, "pvw_snapping_crop", yes_no(pvw_snapping_crop));
    dialog_param(w, d, "pvw_align_4_crop", yes_no(pvw_align_4_crop));
    dialog_param(w, d, "pvw_channel_mode", pvw_channel_mode == 2 ? "2" : pvw_channel_mode == 1 ? "1" : "0");
    dialog_param(w, d, "pvw_bg_mode", number_text_from_uint(pvw_bg_mode >= 1 && pvw_bg_mode <= 4 ? pvw_bg_mode : 0));
    dialog_param(w, d, "pvw_timemode",
                 number_text_from_uint(pvw_timemode >= 1 && pvw_timemode <= 3 ? pvw_timemode : 0));
}

void GlobalSettingsEditTask::set_with_xml_attribute(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k || !v) return;
    uint64_t n = 0;
    const bool readable = number_text_to_uint(v, UINT32_MAX, &n);
    if (*k == "ui_mode") {
        if (!readable) {
            zlog("Error : invalid ui_parameters : %lu", 0ul);
        } else if (n > 2) {
            printf("Unknown HapStand_UIParametersMode val : %u (default basic)", uint32_t(n));
            ui_mode = HapStand_UIParametersMode_Basic;
        } else {
            ui_mode = uint32_t(n) + 1;
        }
    } else if (*k == "enable_gpu_pvw") {
        enable_gpu_pvw = *v == "YES";
    } else if (*k == "pvw_snapping_crop") {
        pvw_snapping_crop = *v == "YES";
    } else if (*k == "pvw_align_4_crop") {
        pvw_align_4_crop = *v == "YES";
    } else if (*k == "pvw_channel_mode") {
        if (n > 2) {
            printf("Unknown GpuPvwTaskRenderer_ChannelMode val : %u (default RGBA)", uint32_t(n));
            pvw_channel_mode = 0;
        } else {
            pvw_channel_mode = uint32_t(n);
        }
    } else if (*k == "pvw_timemode") {
        pvw_timemode = n >= 1 && n <= 3 ? uint32_t(n) : 0;
    } else if (*k == "pvw_bg_mode") {
        if (n > 4) {
            printf("Unknown GpuPvwTaskRenderer_BackgroundMode val : %u (default Black)", uint32_t(n));
            pvw_bg_mode = 0;
        } else {
            pvw_bg_mode = uint32_t(n);
        }
    }
}

// ---- PanelSettings ----

std::shared_ptr<PanelSettings> PanelSettings::init_with_window(const PanelWindow *window) {
    auto p = std::make_shared<PanelSettings>();
    if (window) {
        const PanelRect r = window->frame();
        p->coord_x = r.x;
        p->coord_y = r.y;
        p->width = r.w;
        p->height = r.h;
        p->is_full_screen = window->is_full_screen();
        p->is_visible = window->is_visible();
    }
    p->is_valid_pos = true;
    return p;
}

std::shared_ptr<PanelSettings> PanelSettings::init_with_xml_dict(const XmlAttributes &attributes) {
    auto p = std::make_shared<PanelSettings>();
    const std::string *visible = find_attr(attributes, "is_visible");
    const std::string *full = find_attr(attributes, "is_full_screen");
    p->is_visible = visible && *visible == "YES";
    p->is_full_screen = full && *full == "YES";
    p->is_valid_pos = true;
    const struct {
        const char *key;
        const char *error;
        double PanelSettings::*field;
    } coords[] = {{"x", "Error coord x", &PanelSettings::coord_x},
                  {"y", "Error coord y", &PanelSettings::coord_y},
                  {"w", "Error width", &PanelSettings::width},
                  {"h", "Error height", &PanelSettings::height}};
    for (const auto &c : coords) {
        const std::string *text = find_attr(attributes, c.key);
        const float v = text ? number_text_to_float(*text) : 0.0f;
        if (!text || std::isinf(v)) {
            zlog("%s", c.error);
            return nullptr;
        }
        (*p).*c.field = double(v);
    }
    return p;
}

void PanelSettings::update_is_valid_pos(const std::vector<PanelRect> &screens) {
    is_valid_pos = false;
    for (const PanelRect &s : screens) {
        if (coord_x >= s.x && coord_y >= s.y && coord_x + width <= s.x + s.w && coord_y + height <= s.y + s.h) {
            is_valid_pos = true;
            return;
        }
    }
}

void PanelSettings::write(XmlStreamWriter &w) const {
    w.attribute("is_visible", yes_no(is_visible));
    w.attribute("is_full_screen", yes_no(is_full_screen));
    w.attribute("x", number_text_from_double(coord_x));
    w.attribute("y", number_text_from_double(coord_y));
    w.attribute("w", number_text_from_double(width));
    w.attribute("h", number_text_from_double(height));
}

// ---- SettingBoolState ----

std::shared_ptr<SettingBoolState> SettingBoolState::init() { return std::make_shared<SettingBoolState>(); }

bool SettingBoolState::get_val_for_key_and_default_val(const std::string &key, bool default_val) const {
    const auto it = dict_values.find(key);
    return it == dict_values.end() ? default_val : it->second;
}

void SettingBoolState::set_val_for_arr_keys(bool value, const std::vector<std::string> &keys) {
    for (const std::string &k : keys) dict_values[k] = value;
}

void SettingBoolState::set_entry_for_xml_attribute(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k || !v) {
        zlog("Invalid XML Attribute for SettingBoolState : key : %s ; Val : %s", k ? k->c_str() : "(null)",
             v ? v->c_str() : "(null)");
        return;
    }
    dict_values[*k] = *v == "YES";
}

void SettingBoolState::write(XmlStreamWriter &w) const {
    for (const auto &[k, v] : dict_values) key_value(w, "ui_bool_setting", k, yes_no(v));
}

std::string SettingBoolState::description() const {
    std::string s = "SettingBoolState : {";
    for (const auto &[k, v] : dict_values) s += "\n    " + k + " = " + (v ? "1" : "0") + ";";
    return s + "\n}";
}

std::shared_ptr<SettingBoolState> SettingBoolState::mutableCopyWithZone() const {
    return std::make_shared<SettingBoolState>(*this);
}

// ---- SettingsDoubleState ----

std::shared_ptr<SettingsDoubleState> SettingsDoubleState::init() { return std::make_shared<SettingsDoubleState>(); }

double SettingsDoubleState::get_val_for_key_and_default_val(const std::string &key, double default_val) const {
    const auto it = dict_values.find(key);
    return it == dict_values.end() ? default_val : it->second;
}

void SettingsDoubleState::set_val_for_arr_keys(double value, const std::vector<std::string> &keys) {
    for (const std::string &k : keys) dict_values[k] = value;
}

void SettingsDoubleState::set_entry_for_xml_attribute(const XmlAttributes &attributes) {
    const std::string *k = find_attr(attributes, "k");
    const std::string *v = find_attr(attributes, "v");
    if (!k || !v) {
        zlog("Invalid XML Attribute for SettingDoubleState : key : %s ; Val : %s", k ? k->c_str() : "(null)",
             v ? v->c_str() : "(null)");
        return;
    }
    const float f = number_text_to_float(*v);
    if (!std::isinf(f)) dict_values[*k] = double(f);
}

void SettingsDoubleState::write(XmlStreamWriter &w) const {
    for (const auto &[k, v] : dict_values) key_value(w, "ui_double_setting", k, number_text_from_double(v));
}

std::string SettingsDoubleState::description() const {
    std::string s = "SettingDoubleState : {";
    for (const auto &[k, v] : dict_values) s += "\n    " + k + " = " + number_text_from_double(v) + ";";
    return s + "\n}";
}

// ---- Optional values ----

bool OptionalBool::is_equal_to_obj(const OptionalBool &other) const {
    if (v_is_set != other.v_is_set) return false;
    return !v_is_set || v_val == other.v_val;
}

std::string OptionalBool::description() const {
    return v_is_set ? std::string("Optional BOOL : Set : ") + (v_val ? "1" : "0") : "OptionalBOOL : Unset";
}

bool OptionalDouble::is_equal_to_obj(const OptionalDouble &other) const {
    if (v_is_set != other.v_is_set) return false;
    return !v_is_set || v_val == other.v_val;
}

std::string OptionalDouble::description() const {
    return v_is_set ? "OptionalDouble : Set : " + number_text_from_double(v_val) : "OptionalDouble : Unset";
}
