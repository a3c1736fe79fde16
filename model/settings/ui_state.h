#pragma once
// Small records the preferences keep for the interface: the task-parameters dialog's
// settings, a window frame, keyed boolean and number states; and optional values.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/settings/property.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

// HapStand_UIParametersMode: interface level of the task-parameters dialog.
enum HapStand_UIParametersMode : uint32_t {
    HapStand_UIParametersMode_Basic = 1,
    HapStand_UIParametersMode_Advanced = 2,
    HapStand_UIParametersMode_Expert = 3,
};

// The preview's background numbering: 0 black, 1 white, 2 checkerboard, 3 custom colour,
// 4 custom checkerboard.
enum GpuPvwTaskRenderer_BackgroundMode : uint32_t {
    GpuPvwTaskRenderer_BackgroundMode_Black = 0,
    GpuPvwTaskRenderer_BackgroundMode_White = 1,
    GpuPvwTaskRenderer_BackgroundMode_Checkerboard = 2,
    GpuPvwTaskRenderer_BackgroundMode_CustomColor = 3,
    GpuPvwTaskRenderer_BackgroundMode_CustomCheckerboard = 4,
};

class GlobalSettingsEditTask {
public:
    ZQ_PROPERTY(uint32_t, ui_mode, setUi_mode) = HapStand_UIParametersMode_Basic;
    ZQ_PROPERTY(bool, enable_gpu_pvw, setEnable_gpu_pvw) = true;
    ZQ_PROPERTY(bool, pvw_snapping_crop, setPvw_snapping_crop) = true;
    ZQ_PROPERTY(bool, pvw_align_4_crop, setPvw_align_4_crop) = true;
    ZQ_PROPERTY(uint32_t, pvw_timemode, setPvw_timemode) = 0;          // 0 to 3
    ZQ_PROPERTY(uint32_t, pvw_channel_mode, setPvw_channel_mode) = 0;  // 0 RGBA, 1 RGB, 2 alpha
    ZQ_PROPERTY(uint32_t, pvw_bg_mode, setPvw_bg_mode) = 0;            // GpuPvwTaskRenderer_BackgroundMode

    static std::shared_ptr<GlobalSettingsEditTask> init();
    void set_to_default();
    // One `dialog_params` element (d="edit_task") per field.
    void write(XmlStreamWriter &w) const;
    // One `dialog_params` element whose "d" is "edit_task".
    void set_with_xml_attribute(const XmlAttributes &attributes);
};

// A rectangle in screen coordinates.
struct PanelRect {
    double x = 0, y = 0, w = 0, h = 0;
};

// What the preferences ask of a window; the interface shell implements it.
class PanelWindow {
public:
    virtual ~PanelWindow() = default;
    virtual PanelRect frame() const = 0;
    virtual bool is_full_screen() const = 0;
    virtual bool is_visible() const = 0;
};

class PanelSettings {
public:
    ZQ_PROPERTY(double, coord_x, setCoord_x) = 0;
    ZQ_PROPERTY(double, coord_y, setCoord_y) = 0;
    ZQ_PROPERTY(double, width, setWidth) = 0;
    ZQ_PROPERTY(double, height, setHeight) = 0;
    ZQ_PROPERTY(bool, is_visible, setIs_visible) = false;
    ZQ_PROPERTY(bool, is_full_screen, setIs_full_screen) = false;
    ZQ_PROPERTY(bool, is_valid_pos, setIs_valid_pos) = true;

    // nullptr gives an all-zero frame.
    static std::shared_ptr<PanelSettings> init_with_window(const PanelWindow *window);
    // Null when a coordinate is absent or infinite (logged).
    static std::shared_ptr<PanelSettings> init_with_xml_dict(const XmlAttributes &attributes);
    PanelRect get_panel_rect() const { return {coord_x, coord_y, width, height}; }
    // Valid when one screen frame holds the whole rectangle.
    void update_is_valid_pos(const std::vector<PanelRect> &screens);
    // Attributes of the `panel` element the caller opened.
    void write(XmlStreamWriter &w) const;
};
using PanelSettingsRef = std::shared_ptr<PanelSettings>;

class SettingBoolState {
public:
    std::map<std::string, bool> dict_values;

    static std::shared_ptr<SettingBoolState> init();
    bool get_val_for_key_and_default_val(const std::string &key, bool default_val) const;
    bool have_val_for_key(const std::string &key) const { return dict_values.count(key) != 0; }
    void set_val_for_key(bool value, const std::string &key) { dict_values[key] = value; }
    void set_val_for_arr_keys(bool value, const std::vector<std::string> &keys);
    void set_entry_for_xml_attribute(const XmlAttributes &attributes);
    // One `ui_bool_setting` element per key, keys in sorted order.
    void write(XmlStreamWriter &w) const;
    std::string description() const;
    std::shared_ptr<SettingBoolState> mutableCopyWithZone() const;
};

class SettingsDoubleState {
public:
    std::map<std::string, double> dict_values;

    static std::shared_ptr<SettingsDoubleState> init();
    double get_val_for_key_and_default_val(const std::string &key, double default_val) const;
    bool have_val_for_key(const std::string &key) const { return dict_values.count(key) != 0; }
    void set_val_for_key(double value, const std::string &key) { dict_values[key] = value; }
    void set_val_for_arr_keys(double value, const std::vector<std::string> &keys);
    void set_entry_for_xml_attribute(const XmlAttributes &attributes);
    // One `ui_double_setting` element per key, keys in sorted order.
    void write(XmlStreamWriter &w) const;
    std::string description() const;
};

class OptionalBool {
public:
    bool v_is_set = false;
    bool v_val = false;

    void set_value(bool v) {
        v_is_set = true;
        v_val = v;
    }
    void reset() {
        v_is_set = false;
        v_val = false;
    }
    bool is_set() const { return v_is_set; }
    bool get_value() const { return v_val; }
    bool is_true_and_set() const { return v_is_set && v_val; }
    bool is_false_and_set() const { return v_is_set && !v_val; }
    bool is_equal_to_obj(const OptionalBool &other) const;
    OptionalBool mutableCopyWithZone() const { return *this; }
    std::string description() const;
};

class OptionalDouble {
public:
    bool v_is_set = false;
    double v_val = 0;

    void set_value(double v) {
        v_is_set = true;
        v_val = v;
    }
    void reset() {
        v_is_set = false;
        v_val = 0;
    }
    bool is_set() const { return v_is_set; }
    double get_value() const { return v_val; }
    // Both unset, or both set with numerically equal values (NaN never equals).
    bool is_equal_to_obj(const OptionalDouble &other) const;
    OptionalDouble mutableCopyWithZone() const { return *this; }
    std::string description() const;
};
