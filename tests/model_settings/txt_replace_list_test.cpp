#include "model/settings/txt_replace_list.h"

#include <gtest/gtest.h>

#include "platform/foundation/file_io.h"
#include "testutil/testutil.h"

namespace {

using Lines = std::vector<std::string>;

void write_text(const std::string &path, const std::string &text) {
    ASSERT_TRUE(write_file_atomic(path, text, nullptr));
}

TEST(TxtReplaceList, LoadErrors) {
    testutil::TempDir dir;
    const struct {
        const char *name, *text;
        Lines errors;
        size_t rules;
    } cases[] = {
        {"a.json",
         R"({"items": []})",
         {"Can't find valid items in json file", "Can't find valid data inside the file"},
         0},
        {"b.json",
         R"({"items": 5})",
         {"Can't find valid items in json file", "Can't find valid data inside the file"},
         0},
        {"c.json",
         R"([{"find": "a"}])",
         {"Invalid root json object (expected object)", "Can't find valid data inside the file"},
         0},
        {"d.json", "{not json", {"Fail to read json file", "Can't find valid data inside the file"}, 0},
        {"e.json",
         R"({"items": [{"find": "a"}, {"replace": "b"}, 7]})",
         {"Fail to read json data for item : 1 : invalid data for 'find'",
          "Fail to read json data for item : 2 : Invalid json data (expected Json object for data)"},
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        write_text(dir.file(c.name), c.text);
        SettingNamingSrcNameTxtReplaceList list;
        EXPECT_FALSE(list.load_from_file(dir.file(c.name)));
        EXPECT_EQ(list.arr_err_import_export, c.errors);
        EXPECT_EQ(list.arr_objs.size(), c.rules);
    }
    SettingNamingSrcNameTxtReplaceList list;
    EXPECT_FALSE(list.load_from_file(dir.file("missing.json")));
    EXPECT_EQ(list.arr_err_import_export, (Lines{"Fail to read json file", "Can't find valid data inside the file"}));
}

TEST(TxtReplaceList, ExtensionIsExact) {
    testutil::TempDir dir;
    for (const char *name : {"rules.JSON", "rules.csv"}) {
        SCOPED_TRACE(name);
        write_text(dir.file(name), R"({"items": [{"find": "a"}]})");
        SettingNamingSrcNameTxtReplaceList list;
        list.arr_objs.push_back(SettingNamingSrcNameTxtReplace::init());
        EXPECT_FALSE(list.load_from_file(dir.file(name)));
        EXPECT_EQ(list.arr_err_import_export, Lines{std::string("Unsupported file extension : ") + (name + 6)});
        EXPECT_EQ(list.arr_objs.size(), 1u);  // untouched
        EXPECT_FALSE(list.write_to_file(dir.file(name)));
    }
}

TEST(TxtReplaceList, RoundTrip) {
    testutil::TempDir dir;
    SettingNamingSrcNameTxtReplaceList list;
    const struct {
        const char *find, *replace;
        bool match_case;
    } rules[] = {{"_v2", "", true}, {"A/B", "c", false}, {"\xc3\xa9t\xc3\xa9", "\"q\"", true}};
    for (const auto &r : rules) {
        TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
        rule->txt_find = r.find, rule->txt_replace = r.replace, rule->match_case = r.match_case;
        list.arr_objs.push_back(rule);
    }
    const std::string path = dir.file("r.json");
    ASSERT_TRUE(list.write_to_file(path));
    std::string text, error;
    ASSERT_TRUE(read_whole_file(path, &text, &error));
    // An empty replacement with match case on is the key "find" alone; "/" is not escaped.
    EXPECT_NE(text.find("{\n      \"find\": \"_v2\"\n    }"), std::string::npos) << text;
    EXPECT_NE(text.find("\"A/B\""), std::string::npos);
    SettingNamingSrcNameTxtReplaceList back;
    ASSERT_TRUE(back.load_from_file(path));
    EXPECT_TRUE(back.arr_err_import_export.empty());
    EXPECT_TRUE(compare_txt_replace_arrays(back.arr_objs, list.arr_objs));

    // match_case: a number gives its truth, a string gives on.
    write_text(path, R"({"items": [{"find": "a", "match_case": 0}, {"find": "b", "match_case": "no"}]})");
    ASSERT_TRUE(back.load_from_file(path));
    EXPECT_FALSE(back.arr_objs[0]->match_case);
    EXPECT_TRUE(back.arr_objs[1]->match_case);

    SettingNamingSrcNameTxtReplaceList empty;
    ASSERT_TRUE(empty.write_to_file(path));
    ASSERT_TRUE(read_whole_file(path, &text, &error));
    EXPECT_EQ(text, "{\n  \"items\": []\n}");
    // A write into a missing folder fails and says so.
    EXPECT_FALSE(empty.write_to_file(dir.file("no/such/r.json")));
}

}  // namespace
