#include <gtest/gtest.h>

#include "model/settings/setting_naming.h"

namespace {

TEST(TxtReplaceRule, ApplyAndListLine) {
    struct Case {
        const char *find, *replacement;
        bool match_case;
        const char *name, *result, *line;
    };
    const Case cases[] = {
        {"a", "o", false, "Banana", "Bonono", "'a' -> 'o'"}, {"a", "o", true, "BANANA", "BANANA", "'a' -> 'o'"},
        {"aa", "a", true, "aaaa", "aa", "'aa' -> 'a'"},      {"_v", "", true, "clip_v2", "clip2", "Remove : '_v'"},
        {"", "x", true, "clip", "clip", "Do nothing"},       {"a", "o", true, "", "", "'a' -> 'o'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SettingNamingSrcNameTxtReplace r;
        r.txt_find = c.find, r.txt_replace = c.replacement, r.match_case = c.match_case;
        EXPECT_EQ(r.is_no_op(), *c.find == '\0');
        EXPECT_EQ(r.apply_txt_replace(c.name), c.result);
        EXPECT_EQ(r.get_name_for_ui(), c.line);
    }
}

TEST(TxtReplaceRule, SpaceRule) {
    const char *results[] = {"My Clip 01", "MyClip01", "My_Clip_01", "My Clip 01"};
    for (uint32_t mode = 0; mode < 4; mode++) {
        SCOPED_TRACE(mode);
        SettingNamingSrcNameTxtReplace r;
        r.txt_find = "x", r.txt_replace = "y", r.match_case = false;
        r.set_for_space_process(mode);
        EXPECT_FALSE(r.match_case);  // left alone
        EXPECT_EQ(r.apply_txt_replace("My Clip 01"), results[mode]);
        EXPECT_EQ(r.apply_txt_replace("My\tClip"), "My\tClip");  // only U+0020
    }
}

}  // namespace
