#include "model/settings/crop_item_list.h"

#include <gtest/gtest.h>

#include "platform/foundation/file_io.h"
#include "testutil/testutil.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<CropItemRef> sample_items() {
    CropItemRef a = CropItem::init(), b = CropItem::init();
    a->set_default_mode_origin_and_size();
    a->name = "Crop01";
    a->crop_left = 8, a->crop_top = 4, a->crop_right_width = 640, a->crop_bottom_height = 360;
    a->transform_mode = 1;
    b->name = "Right/side";
    b->crop_left = 960, b->crop_bottom_height = 2;
    b->transform_mode = 5;
    return {a, b};
}

void write_text(const std::string &path, const std::string &text) {
    ASSERT_TRUE(write_file_atomic(path, text, nullptr));
}

std::string read_text(const std::string &path) {
    std::string t, e;
    EXPECT_TRUE(read_whole_file(path, &t, &e)) << e;
    return t;
}

TEST(CropItemList, RoundTripBothForms) {
    testutil::TempDir dir;
    for (const char *name : {"items.json", "items.csv"}) {
        SCOPED_TRACE(name);
        CropItemList out;
        out.set_with_arr_crop_items(sample_items());
        ASSERT_TRUE(out.write_to_file(dir.file(name)));
        CropItemList in;
        ASSERT_TRUE(in.load_from_file(dir.file(name)));
        EXPECT_TRUE(in.arr_err_import_export.empty());
        ASSERT_EQ(in.arr_crops.size(), 2u);
        for (size_t i = 0; i < 2; i++)
            EXPECT_TRUE(in.arr_crops[i]->is_equal_to_crop_item_with_color_test_with_name_test_with_eval_test(
                *out.arr_crops[i], false, true, false));
    }
    EXPECT_EQ(read_text(dir.file("items.csv")),
              "\"Crop01\",origin_and_size,8,4,640,360,90\n\"Right/side\",edges_crop,960,0,0,2,flip_v");
    EXPECT_EQ(read_text(dir.file("items.json")),
              "{\n  \"items\": [\n    {\n      \"h\": 360,\n      \"mode\": \"origin_and_size\",\n      \"name\": "
              "\"Crop01\",\n      \"transform_mode\": \"90\",\n      \"w\": 640,\n      \"x\": 8,\n      \"y\": 4\n    "
              "},\n    {\n      \"bottom\": 2,\n      \"left\": 960,\n      \"mode\": \"edges_crop\",\n      \"name\": "
              "\"Right/side\",\n      \"right\": 0,\n      \"top\": 0,\n      \"transform_mode\": \"flip_v\"\n    }\n  "
              "]\n}");
}

TEST(CropItemList, LoadedItemsGetNewColours) {
    testutil::TempDir dir;
    std::string csv;
    for (int i = 0; i < 12; i++) csv += "A,edges_crop,0,0,0,0\n";
    write_text(dir.file("a.csv"), csv);
    CropItemList in;
    ASSERT_TRUE(in.load_from_file(dir.file("a.csv")));
    int red = 0;
    for (const CropItemRef &c : in.arr_crops)
        red += c->color.to_8b().is_equal_to_color(ZelColor8b::init_with_r_and_g_and_b(255, 0, 0));
    EXPECT_LT(red, 3);
}

TEST(CropItemList, LoadFailures) {
    testutil::TempDir dir;
    struct Case {
        const char *file;
        const char *content;  // nullptr: no file
        bool ok;
        size_t items;
        Lines errors;
    };
    const Case cases[] = {
        {"a.JSON", "{}", false, 0, {"Unsupported file extension : JSON"}},
        {"missing.json", nullptr, false, 0, {"Fail to read json file", "Can't find valid crop data inside the file"}},
        {"bad.json",
         "{\"items\": [",
         false,
         0,
         {"Fail to read json file", "Can't find valid crop data inside the file"}},
        {"root.json",
         "[{\"name\":\"A\"}]",
         false,
         0,
         {"Invalid root json object (expected object)", "Can't find valid crop data inside the file"}},
        {"empty.json",
         "{\"items\": []}",
         false,
         0,
         {"Can't find valid crop items in json file", "Can't find valid crop data inside the file"}},
        {"none.json",
         "{\"other\": 1}",
         false,
         0,
         {"Can't find valid crop items in json file", "Can't find valid crop data inside the file"}},
        {"three.json",
         R"({"items":[{"name":"A","mode":"edges_crop","left":0,"top":0,"right":0,"bottom":0},
                      {"name":"B","mode":"unknown","left":0,"top":0,"right":0,"bottom":0},
                      {"name":"C","mode":"edges_crop","left":0,"top":0,"right":0,"bottom":0}]})",
         false,
         2,
         {"Fail to read json data for item : 1 : unknown crop 'mode' (allowed values : 'origin_and_size', "
          "'edges_crop')"}},
        {"missing.csv",
         nullptr,
         false,
         0,
         {"Fail to read csv file : Invalid filepath", "Can't find valid crop data inside the file"}},
        {"crlf.csv", "\"A\",edges_crop,1,2,3,4,no_transform\r\n\"B\",origin_and_size,0,0,8,8\r\n", true, 2, {}},
        {"blank.csv", "\n\nA,edges_crop,1,2,3,4\n\n\nB,edges_crop,1,2,3,4\n", true, 2, {}},
        {"screen.csv",
         "\"S\",unknown,0,0,1920,1080,no_transform\nA,edges_crop,1,2,3,4",
         false,
         1,
         {"Fail to read csv data for line : 0 : unknown crop mode in column 2 (allowed values : 'origin_and_size', "
          "'edges_crop')"}},
        {"short.csv",
         "A,edges_crop\n",
         false,
         0,
         {"Fail to read csv data for line : 0 : not enough value found : 2 (expected at least 6)",
          "Can't find valid crop data inside the file"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        if (c.content) write_text(dir.file(c.file), c.content);
        CropItemList in;
        EXPECT_EQ(in.load_from_file(dir.file(c.file)), c.ok);
        EXPECT_EQ(in.arr_crops.size(), c.items);
        EXPECT_EQ(in.arr_err_import_export, c.errors);
    }
}

TEST(CropItemList, WriteFailures) {
    testutil::TempDir dir;
    std::vector<CropItemRef> items = sample_items();
    CropItemRef comma = CropItem::init(), screen = CropItem::init();
    comma->name = "a,b";
    screen->set_default_mode_screen_ratio();
    screen->name = "S";
    items.insert(items.begin() + 1, comma);
    items.push_back(screen);

    CropItemList out;
    out.set_with_arr_crop_items(items);
    EXPECT_FALSE(out.write_to_file(dir.file("x.csv")));
    EXPECT_EQ(out.arr_err_import_export,
              Lines{"Fail to write csv line for crop item 2 : Invalid name. (character ',' in crop name is not allowed "
                    "for csv file)"});
    EXPECT_EQ(read_text(dir.file("x.csv")),
              "\"Crop01\",origin_and_size,8,4,640,360,90\n\"Right/side\",edges_crop,960,0,0,2,flip_v\n"
              "\"S\",unknown,0,0,1920,1080,no_transform");
    // The screen-ratio row cannot be read back.
    CropItemList in;
    EXPECT_FALSE(in.load_from_file(dir.file("x.csv")));
    EXPECT_EQ(in.arr_crops.size(), 2u);
    ASSERT_EQ(in.arr_err_import_export.size(), 1u);
    EXPECT_EQ(
        in.arr_err_import_export[0].rfind("Fail to read csv data for line : 2 : unknown crop mode in column 2", 0), 0u);

    CropItemList only_bad;
    only_bad.set_with_arr_crop_items({comma});
    EXPECT_FALSE(only_bad.write_to_file(dir.file("y.csv")));
    EXPECT_EQ(only_bad.arr_err_import_export.back(), "Fail to write csv : no valid csv line to write");
    EXPECT_FALSE(is_existing_file(dir.file("y.csv")));

    CropItemList nowhere;
    nowhere.set_with_arr_crop_items(sample_items());
    EXPECT_FALSE(nowhere.write_to_file(dir.file("no/such/z.csv")));
    ASSERT_EQ(nowhere.arr_err_import_export.size(), 1u);
    EXPECT_EQ(nowhere.arr_err_import_export[0].rfind("Fail to write csv : ", 0), 0u);
    EXPECT_FALSE(nowhere.write_to_file(dir.file("no/such/z.json")));
    EXPECT_FALSE(nowhere.write_to_file(dir.file("z.txt")));
    EXPECT_EQ(nowhere.arr_err_import_export.back(), "Unsupported file extension : txt");
}

}  // namespace
