#pragma once
// One crop rectangle of a task or preset: mode, four values with their expression texts,
// rotate/flip, name, display colour and selection; its XML, JSON and CSV forms.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/settings/crop_scale.h"
#include "model/settings/setting_enums.h"
#include "model/settings/zel_color.h"
#include "platform/foundation/json.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;
class CropItem;
// Items are shared objects: lists hand out the same items, copies are explicit.
using CropItemRef = std::shared_ptr<CropItem>;

class CropItem {
public:
    bool isSelected = false;
    uint32_t mode = HapStandCropMode_EdgesCrop;  // HapStandCropMode
    uint32_t transform_mode = 0;                 // VideoSetting_TransformMode
    // Left/x, top/y, right/width/screen width, bottom/height/screen height by mode.
    uint32_t crop_left = 0, crop_top = 0, crop_right_width = 0, crop_bottom_height = 0;
    std::string crop_left_eval_str, crop_top_eval_str, crop_right_width_eval_str, crop_bottom_height_eval_str;
    std::string name = "Untitled";
    ZelColorFloat color = ZelColorFloat::init_with_r_and_g_and_b(1.0f, 0.0f, 0.0f);

    // Edges mode with zero edges, not selected, "Untitled", red.
    static CropItemRef init();
    void set_default_mode_edges_crop();
    void set_default_mode_origin_and_size();  // 0, 0, 1920 x 1080
    void set_default_mode_screen_ratio();     // 1920 x 1080
    void set_no_transform() { transform_mode = 0; }
    CropItemRef mutableCopyWithZone() const;

    // The first of Crop01, Crop02, ... Crop99, Crop100 ... that no item of the list holds.
    void set_default_name_with_other_crop(const std::vector<CropItemRef> &others);
    static bool is_other_crop_have_name(const std::vector<CropItemRef> &others, const std::string &name);
    // A random pleasant colour; items made in one batch get different colours.
    void set_new_random_color();

    bool is_valid() const;  // an origin-and-size item needs width and height above 3
    bool is_valid_for_multi_crop() const { return mode == 1 || mode == 2; }
    bool have_transform() const { return transform_mode != 0; }
    std::string get_crop_item_str() const;
    std::string description() const;
    bool is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(const CropItem &other, bool color_test,
                                                                             bool name_test, bool eval_test) const;

    // Fills the crop inputs and the transform of a geometry record.
    void edit_crop_scale_values(HapStandCropScale *r) const;
    // Takes a crop edited in the preview (other in edges form) for a video of this size.
    void update_from_ui_with_video_width_and_video_height(const CropItem &other, uint32_t video_width,
                                                          uint32_t video_height);

    // One empty `CropItem` element; the reader logs bad values and keeps the fields.
    void write(XmlStreamWriter &w) const;
    void set_attributes_with_xml_dict(const XmlAttributes &attributes);

    // Readers return "" on success, else the error text of the first bad field.
    Json get_json_dict() const;
    std::string set_from_json_dict(const Json &dict);
    std::string get_csv_line(bool *failed) const;
    std::string set_from_csv_line(const std::string &line);
    // nullptr stands for a missing text.
    std::string set_transform_mode_from_str(const std::string *text);
};

// Same length and every pair equal with the colour, name and expression tests.
bool crop_items_array_equal(const std::vector<CropItemRef> &a, const std::vector<CropItemRef> &b);

// "origin_and_size", "edges_crop", or "unknown" for any other mode.
const char *crop_mode_exchange_text(uint32_t mode);

// The files' number rule for a 32-bit value: absent, not a number, negative or too large fails.
bool parse_uint_from_string(const std::string *text, uint32_t *out);
