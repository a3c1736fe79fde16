#include "model/settings/setting_naming.h"

#include <gtest/gtest.h>

#include "platform/foundation/xml_writer.h"

namespace {

TEST(SettingNaming, OutputFolder) {
    struct Case {
        uint32_t folder_mode;
        const char *custom;  // nullptr: none
        uint32_t hierarchy, n;
        const char *src, *result;
    };
    const Case cases[] = {
        {0, "/Out", 1, 2, "/Users/ann/Shoot/Day1", "/Users/ann/Shoot/Day1"},
        {1, "", 1, 2, "/Users/ann/Shoot/Day1", "/Users/ann/Shoot/Day1"},
        {1, nullptr, 1, 2, "/Users/ann/Shoot/Day1", "/Users/ann/Shoot/Day1"},
        {1, "/Out", 0, 2, "/Users/ann/Shoot/Day1", "/Out"},
        {1, "/Out", 1, 0, "/Users/ann/Shoot/Day1", "/Out"},
        {1, "/Out", 1, 2, "/Users/ann/Shoot/Day1", "/Out/Shoot/Day1"},
        {1, "/Out", 1, 10, "/Users/ann/Shoot/Day1", "/Out/Users/ann/Shoot/Day1"},
        {1, "/Out", 2, 0, "/Users/ann/Shoot/Day1", "/Out/Users/ann/Shoot/Day1"},
        {1, "/Out", 2, 1, "/Users/ann/Shoot/Day1", "/Out/ann/Shoot/Day1"},
        {1, "/Out", 2, 4, "/Users/ann/Shoot/Day1", "/Out"},
        {1, "/Out", 2, 4294967295u, "/Users/ann/Shoot/Day1", "/Out"},
        {1, "/Out", 7, 0, "/Users/ann/Shoot/Day1", "/Out/Users/ann/Shoot/Day1"},
        {1, "/Out", 2, 0, "/Volumes/Disk/Shoot", "/Out/Disk/Shoot"},
        {1, "/Out", 2, 1, "/Volumes/Disk/Shoot", "/Out/Disk/Shoot"},
        {1, "/Out", 1, 3, "/Volumes/Disk/Shoot", "/Out/Disk/Shoot"},
        {1, "/Out", 2, 0, "", "/Out"},
        {1, "/Out", 2, 0, "/", "/Out"},
        {1, "/Out/", 1, 1, "/a/b/", "/Out/b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.hierarchy << " " << c.n << " " << c.src);
        SettingNaming n;
        n.folder_mode = c.folder_mode;
        if (c.custom) n.custom_folder = c.custom;
        n.keep_folder_hierarchy_mode = c.hierarchy;
        n.nb_src_folders_to_keep_ignore = c.n;
        EXPECT_EQ(n.get_folder_path_from_src_folder(c.src), c.result);
    }
}

std::string attributes_of(const SettingNaming &n) {
    XmlStreamWriter w;
    w.start_element("naming_video_hap");
    n.write(w);
    w.end_element();
    return w.text();
}

TEST(SettingNaming, XmlForm) {
    SettingNaming n;
    EXPECT_EQ(attributes_of(n),
              "<naming_video_hap folder_mode=\"0\" custom_folder=\"\" nb_src_folders_to_keep_ignore=\"0\" "
              "keep_folder_hierarchy_mode=\"0\" naming_mask=\"\" enabled_txt_replace=\"NO\" space_char_process=\"0\" "
              "force_upper_case=\"NO\" keep_versioning_at_end=\"NO\" />");
    n.folder_mode = 5, n.space_char_process = 7, n.keep_folder_hierarchy_mode = 2;
    TxtReplaceRef r = SettingNamingSrcNameTxtReplace::init();
    r->txt_find = "a", r->txt_replace = "b";
    TxtReplaceRef empty = SettingNamingSrcNameTxtReplace::init();
    empty->match_case = false;
    n.arr_txt_replace = {r, empty};
    EXPECT_EQ(attributes_of(n),
              "<naming_video_hap folder_mode=\"1\" custom_folder=\"\" nb_src_folders_to_keep_ignore=\"0\" "
              "keep_folder_hierarchy_mode=\"2\" naming_mask=\"\" enabled_txt_replace=\"NO\" space_char_process=\"0\" "
              "force_upper_case=\"NO\" keep_versioning_at_end=\"NO\">\n"
              "\t<naming_txt_replace find=\"a\" replace=\"b\" match_case=\"YES\" />\n"
              "\t<naming_txt_replace find=\"\" match_case=\"NO\" />\n"
              "</naming_video_hap>");

    SettingNaming in;
    in.folder_mode = 1;
    testing::internal::CaptureStdout();
    in.set_from_xml_dict({{"folder_mode", "x"},
                          {"force_upper_case", "yes"},
                          {"nb_src_folders_to_keep_ignore", "-3"},
                          {"keep_folder_hierarchy_mode", "3"},
                          {"enabled_txt_replace", "YES"}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown HapStand_KeepFolderHierarchyMode val : 3 (default no)");
    EXPECT_EQ(in.folder_mode, 1u);
    EXPECT_FALSE(in.force_upper_case);
    EXPECT_TRUE(in.is_enabled_txt_replace);
    EXPECT_EQ(in.nb_src_folders_to_keep_ignore, 0u);
    EXPECT_EQ(in.keep_folder_hierarchy_mode, 0u);
    EXPECT_FALSE(in.naming_mask.has_value());
    // Reading twice appends the rules of both readings.
    in.add_txt_replace_from_xml_attributes({{"find", "x"}});
    in.add_txt_replace_from_xml_attributes({{"find", "x"}});
    EXPECT_EQ(in.arr_txt_replace.size(), 2u);
}

TEST(SettingNaming, RulesAndEquality) {
    SettingNamingSrcNameTxtReplace r;
    EXPECT_EQ(r.get_json_dict(), Json::parse(R"({"find":""})"));
    struct Case {
        const char *json;
        std::string error;
        const char *find, *replace;
        bool match_case;
    };
    const Case cases[] = {
        {R"({"find":"a","replace":"b","match_case":false})", "", "a", "b", false},
        {R"({"find":"a","replace":3,"match_case":0})", "", "a", "", false},
        {R"({"find":"a","match_case":"no"})", "", "a", "", true},
        {R"({"find":"a","match_case":2})", "", "a", "", true},
        {R"({"find":1})", "invalid data for 'find'", "old", "old", false},
        {R"([])", "Invalid json data (expected Json object for data)", "old", "old", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        SettingNamingSrcNameTxtReplace t;
        t.txt_find = t.txt_replace = "old";
        t.match_case = false;
        EXPECT_EQ(t.set_from_json_dict(Json::parse(c.json)), c.error);
        EXPECT_EQ(t.txt_find, c.find);
        EXPECT_EQ(t.txt_replace, c.replace);
        EXPECT_EQ(t.match_case, c.match_case);
    }

    SettingNaming a, b;
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    a.set_arr_src_txt_replace({rule});
    b.set_arr_src_txt_replace({rule});
    EXPECT_NE(a.arr_txt_replace[0], rule);  // copies are kept
    b.arr_txt_replace[0]->isSelected = true;
    EXPECT_TRUE(a.is_equal_to_setting_naming(b));
    b.arr_txt_replace[0]->match_case = false;
    EXPECT_FALSE(a.is_equal_to_setting_naming(b));
    const SettingNamingRef copy = a.mutableCopyWithZone();
    copy->arr_txt_replace[0]->txt_find = "changed";
    EXPECT_EQ(a.arr_txt_replace[0]->txt_find, "");
    EXPECT_TRUE(compare_txt_replace_arrays({}, {}));
}

}  // namespace
