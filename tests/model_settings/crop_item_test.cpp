#include "model/settings/crop_item.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/foundation/xml_writer.h"

namespace {

CropItemRef named(const std::string &n) {
    CropItemRef c = CropItem::init();
    c->name = n;
    return c;
}

TEST(CropItem, DefaultsAndNames) {
    const CropItemRef c = CropItem::init();
    EXPECT_EQ(c->mode, 2u);
    EXPECT_EQ(c->crop_left + c->crop_top + c->crop_right_width + c->crop_bottom_height, 0u);
    EXPECT_EQ(c->name, "Untitled");
    EXPECT_FALSE(c->isSelected);
    EXPECT_EQ(c->color.to_8b().description(), "ZelColorRGBA8 : RGBA : 255/0/0/255");

    c->set_default_name_with_other_crop({named("Crop01"), named("Crop03")});
    EXPECT_EQ(c->name, "Crop02");
    c->set_default_name_with_other_crop({named("crop01")});
    EXPECT_EQ(c->name, "Crop01");
    std::vector<CropItemRef> many;
    for (int i = 1; i <= 99; i++)
        many.push_back(named(i < 10 ? "Crop0" + std::to_string(i) : "Crop" + std::to_string(i)));
    c->set_default_name_with_other_crop(many);
    EXPECT_EQ(c->name, "Crop100");
}

TEST(CropItem, ValidityAndCopies) {
    CropItem c;
    c.set_default_mode_origin_and_size();
    c.crop_right_width = 4, c.crop_bottom_height = 4;
    EXPECT_TRUE(c.is_valid());
    c.crop_right_width = 3;
    EXPECT_FALSE(c.is_valid());
    c.set_default_mode_screen_ratio();
    EXPECT_TRUE(c.is_valid());
    EXPECT_FALSE(c.is_valid_for_multi_crop());

    const CropItemRef a = CropItem::init();
    a->crop_left_eval_str = "1+1";
    a->isSelected = true;
    const CropItemRef b = a->mutableCopyWithZone();
    EXPECT_TRUE(b->isSelected);
    EXPECT_TRUE(crop_items_array_equal({a}, {b}));
    b->crop_left_eval_str = "2";
    EXPECT_FALSE(crop_items_array_equal({a}, {b}));
    EXPECT_TRUE(a->is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(*b, true, true, false));
    EXPECT_EQ(a->crop_left_eval_str, "1+1");
    b->color.red = 0.999f;  // 254 as a byte
    EXPECT_FALSE(a->is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(*b, true, false, false));
    EXPECT_TRUE(a->is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(*b, false, false, false));
    EXPECT_FALSE(crop_items_array_equal({a}, {a, a}));
}

TEST(CropItem, BatchesGetDifferentColours) {
    std::set<uint32_t> colours;
    for (int i = 0; i < 20; i++) {
        CropItem c;
        c.set_new_random_color();
        const ZelColor8b b = c.color.to_8b();
        EXPECT_EQ(b.alpha, 255);
        colours.insert(uint32_t(b.red) << 16 | b.green << 8 | b.blue);
    }
    EXPECT_GE(colours.size(), 15u);
}

TEST(CropItem, UpdateFromPreview) {
    CropItem edited;
    edited.crop_left = 1000, edited.crop_top = 5, edited.crop_right_width = 1000, edited.crop_bottom_height = 7;
    CropItem o;
    o.set_default_mode_origin_and_size();
    o.update_from_ui_with_video_width_and_video_height(edited, 1920, 1080);
    EXPECT_EQ(o.crop_left, 1000u);
    EXPECT_EQ(o.crop_right_width, 4u);  // 1920 - 2000 is below 5
    EXPECT_EQ(o.crop_bottom_height, 1068u);
    CropItem e;
    e.update_from_ui_with_video_width_and_video_height(edited, 1920, 1080);
    EXPECT_EQ(e.crop_right_width, 1000u);
    EXPECT_EQ(e.crop_bottom_height, 7u);
}

TEST(CropItem, GeometryAndTexts) {
    CropItem c;
    c.set_default_mode_screen_ratio();
    c.crop_right_width = 1000, c.crop_bottom_height = 1000;
    HapStandCropScale r;
    crop_scale_init(&r);
    r.src_w = 1920, r.src_h = 1080;
    c.edit_crop_scale_values(&r);
    ASSERT_TRUE(crop_scale_compute(&r));
    EXPECT_EQ(r.crop_out_w, 1080u);

    c.transform_mode = 4;
    EXPECT_EQ(c.description(),
              "CropItem : Mode Screen Ratio : Width : 1000 x Height : 1000 (Selected : 0); Transform : flip_h");
    c.set_default_mode_edges_crop();
    c.crop_left = 1;
    EXPECT_EQ(c.get_crop_item_str(), "Crop : Left : 1px, Top : 0px, Right : 0px, Bottom : 0px");
    EXPECT_EQ(c.description(), "CropItem : Mode Edges Crop : Left 1, Top 0, Right : 0, Bottom : 0 (Selected : 0)");
}

std::string xml_of(const CropItem &c) {
    XmlStreamWriter w;
    c.write(w);
    return w.text();
}

TEST(CropItem, XmlForm) {
    CropItem c;
    c.set_default_mode_origin_and_size();
    c.name = "A \"b\" & <c>";
    c.transform_mode = 3;
    c.crop_top_eval_str = "2*5";
    c.color = ZelColorFloat::init_with_r_and_g_and_b(0.0f, 0.5f, 1.0f);
    EXPECT_EQ(
        xml_of(c),
        "<CropItem r=\"0\" g=\"127\" b=\"255\" name=\"A &quot;b&quot; &amp; &lt;c&gt;\" mode=\"1\" "
        "transform_mode=\"3\" crop_1=\"0\" crop_2=\"0\" crop_3=\"1920\" crop_4=\"1080\" crop_2_eval_str=\"2*5\" />");
    c.mode = 9, c.transform_mode = 8;
    testing::internal::CaptureStdout();
    const std::string bad = xml_of(c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown HapStandCropMode : 9\n");
    EXPECT_NE(bad.find("mode=\"1\" transform_mode=\"0\""), std::string::npos);

    struct Case {
        XmlAttributes attrs;
        uint32_t mode, transform, v1, v3;
        uint8_t r, g;
        std::string name, printed;
    };
    const Case cases[] = {
        {{{"mode", "2"}, {"crop_1", "10"}, {"name", "N"}, {"r", "1"}, {"g", "2"}, {"b", "3"}},
         2,
         0,
         10,
         7,
         1,
         2,
         "N",
         ""},
        {{{"mode", "1"}, {"transform_mode", "9"}, {"r", "300"}},
         1,
         0,
         7,
         7,
         255,
         255,
         "Old",
         "Invalid Transform Rotate Flip : 9, default to no transform\n"},
        {{{"mode", "7"}, {"transform_mode", "x"}, {"crop_1", "-1"}, {"crop_3", "4294967295"}},
         1,
         0,
         7,
         4294967295u,
         255,
         255,
         "Old",
         "Unknown HapStandCropMode val : 7\n"},
        {{{"mode", "x"}, {"transform_mode", "5"}, {"crop_1", "4294967296"}, {"name", ""}},
         3,
         5,
         7,
         7,
         255,
         255,
         "Old",
         ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name + k.printed);
        CropItem item;
        item.mode = 3, item.transform_mode = 2, item.name = "Old";
        item.crop_left = item.crop_right_width = 7;
        testing::internal::CaptureStdout();
        item.set_attributes_with_xml_dict(k.attrs);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), k.printed);
        EXPECT_EQ(item.mode, k.mode);
        EXPECT_EQ(item.transform_mode, k.transform);
        EXPECT_EQ(item.crop_left, k.v1);
        EXPECT_EQ(item.crop_right_width, k.v3);
        EXPECT_EQ(item.color.to_8b().red, k.r);
        EXPECT_EQ(item.color.to_8b().green, k.g);
        EXPECT_EQ(item.name, k.name);
    }
}

TEST(CropItem, JsonForm) {
    CropItem o;
    o.set_default_mode_origin_and_size();
    o.name = "a/b";
    EXPECT_EQ(o.get_json_dict(),
              Json::parse(R"({"name":"a/b","mode":"origin_and_size","x":0,"y":0,"w":1920,"h":1080})"));
    CropItem s;
    s.set_default_mode_screen_ratio();
    s.transform_mode = 1;
    EXPECT_EQ(s.get_json_dict(), Json::parse(R"({"name":"Untitled","mode":"unknown","left":0,"top":0,"right":1920,
                                                 "bottom":1080,"transform_mode":"90"})"));

    struct Case {
        const char *json;
        std::string error;
        uint32_t mode, left, transform;
        const char *name;
    };
    const Case cases[] = {
        {R"({"name":"A","mode":"edges_crop","left":10,"top":0,"right":0,"bottom":0})", "", 2, 10, 2, "A"},
        {R"({"name":"","mode":"edges_crop","left":1,"top":0,"right":0,"bottom":0,"transform_mode":"flip_v"})", "", 2, 1,
         5, ""},
        {R"({"name":"B","mode":"edges_crop","left":true,"top":2.7,"right":0,"bottom":0,"transform_mode":3})", "", 2, 1,
         2, "B"},
        {R"([1])", "Invalid json data (expected Json object for crop item data", 3, 7, 2, "Old"},
        {R"({"mode":"edges_crop"})", "invalid data for crop 'name'", 3, 7, 2, "Old"},
        {R"({"name":"C","mode":2})", "invalid data for crop 'mode'", 3, 7, 2, "C"},
        {R"({"name":"C","mode":"unknown"})", "unknown crop 'mode' (allowed values : 'origin_and_size', 'edges_crop')",
         3, 7, 2, "C"},
        {R"({"name":"C","mode":"edges_crop","left":-10,"top":0,"right":0,"bottom":0})", "invalid crop 'left' value", 2,
         7, 2, "C"},
        {R"({"name":"C","mode":"edges_crop","left":0,"top":4294967296,"right":0,"bottom":0})",
         "invalid crop 'top' value", 2, 0, 2, "C"},
        {R"({"name":"C","mode":"edges_crop","left":0,"top":1e300,"right":0,"bottom":0})", "invalid crop 'top' value", 2,
         0, 2, "C"},
        {R"({"name":"C","mode":"origin_and_size","x":0,"y":0,"w":100})", "invalid crop 'h' value", 1, 0, 2, "C"},
        {R"({"name":"C","mode":"edges_crop","left":0,"top":0,"right":0,"bottom":0,"transform_mode":"rot90"})",
         "unknown 'transform_mode' (allowed values : 'no_transform', '90', '180', '270', 'flip_h', 'flip_v')", 2, 0, 2,
         "C"},
        {R"({"name":"C","mode":"origin_and_size","x":0,"y":0,"w":3,"h":100})",
         R"({"h":100,"mode":"origin_and_size","name":"C","w":3,"x":0,"y":0} : invalid data for crop)", 1, 0, 2, "C"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        CropItem item;
        item.mode = 3, item.transform_mode = 2, item.name = "Old", item.crop_left = 7;
        EXPECT_EQ(item.set_from_json_dict(Json::parse(c.json, nullptr, true, false)), c.error);
        EXPECT_EQ(item.mode, c.mode);
        EXPECT_EQ(item.crop_left, c.left);
        EXPECT_EQ(item.transform_mode, c.transform);
        EXPECT_EQ(item.name, c.name);
    }
    CropItem t;
    EXPECT_EQ(t.set_transform_mode_from_str(nullptr), "unset 'transform_mode'");
}

TEST(CropItem, CsvForm) {
    CropItem o;
    o.set_default_mode_origin_and_size();
    o.name = "Crop01";
    bool failed = false;
    EXPECT_EQ(o.get_csv_line(&failed), "\"Crop01\",origin_and_size,0,0,1920,1080,no_transform");
    EXPECT_FALSE(failed);
    o.name = "";
    EXPECT_EQ(o.get_csv_line(&failed), ",origin_and_size,0,0,1920,1080,no_transform");
    o.name = "a,b";
    EXPECT_EQ(o.get_csv_line(&failed), "Invalid name. (character ',' in crop name is not allowed for csv file)");
    EXPECT_TRUE(failed);
    failed = false;
    o.name = "a\"b";
    EXPECT_EQ(o.get_csv_line(&failed), "Invalid name. (character \" in crop name is not allowed for csv file)");
    EXPECT_TRUE(failed);
    // A line break would split the row (a name read from a JSON file may hold one); a tab is kept.
    for (const char *name : {"a\nb", "a\rb", "ab\r\n"}) {
        SCOPED_TRACE(name);
        failed = false;
        o.name = name;
        EXPECT_EQ(o.get_csv_line(&failed), "Invalid name. (line break in crop name is not allowed for csv file)");
        EXPECT_TRUE(failed);
    }
    failed = false;
    o.name = "a\tb";
    EXPECT_EQ(o.get_csv_line(&failed), "\"a\tb\",origin_and_size,0,0,1920,1080,no_transform");
    EXPECT_FALSE(failed);

    struct Case {
        const char *line;
        std::string error;
        uint32_t mode, left, bottom, transform;
        const char *name;
    };
    const Case cases[] = {
        {"A,edges_crop,1,2,3,4", "", 2, 1, 4, 2, "A"},
        {"\"B\",\"origin_and_size\",0,0,\"1920\",1080,\"270\",extra", "", 1, 0, 1080, 3, "B"},
        {",edges_crop,1,2,3,4,no_transform", "", 2, 1, 4, 0, "Old"},
        {"A,edges_crop,1,2,3", "not enough value found : 5 (expected at least 6)", 3, 7, 7, 2, "Old"},
        {"A,unknown,1,2,3,4", "unknown crop mode in column 2 (allowed values : 'origin_and_size', 'edges_crop')", 3, 7,
         7, 2, "A"},
        {"A,edges_crop,1,2,3,4\r", "invalid value in column 6 ('4\r')", 2, 1, 7, 2, "A"},
        {"A,edges_crop, 1,2,3,4", "invalid value in column 3 (' 1')", 2, 7, 7, 2, "A"},
        {"A,edges_crop,1,2,3,-4", "invalid value in column 6 ('-4')", 2, 1, 7, 2, "A"},
        {"A,edges_crop,1,2,3,4,rot90",
         "unknown 'transform_mode' (allowed values : 'no_transform', '90', '180', '270', 'flip_h', 'flip_v')", 2, 1, 4,
         2, "A"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        CropItem item;
        item.mode = 3, item.transform_mode = 2, item.name = "Old", item.crop_left = 7, item.crop_bottom_height = 7;
        EXPECT_EQ(item.set_from_csv_line(c.line), c.error);
        EXPECT_EQ(item.mode, c.mode);
        EXPECT_EQ(item.crop_left, c.left);
        EXPECT_EQ(item.crop_bottom_height, c.bottom);
        EXPECT_EQ(item.transform_mode, c.transform);
        EXPECT_EQ(item.name, c.name);
    }
}

}  // namespace
