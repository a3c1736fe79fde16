#include "model/settings/naming_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

TEST(NamingData, VersionSplit) {
    struct Case {
        const char *text, *name, *version;
    };
    const Case cases[] = {
        {"clip_v2", "clip", "_v2"},
        {"clip-003", "clip", "-003"},
        {"CLIP__V3", "CLIP_", "_V3"},
        {"Take 12", "Take", " 12"},
        {"clipv2", "clipv2", ""},
        {"clip2", "clip2", ""},
        {"clip_vv2", "clip_vv2", ""},
        {"clip_", "clip_", ""},
        {"2024", "", "2024"},
        {"_01", "", "_01"},
        {"", "", ""},
        {"V12", "V12", ""},
        {"_V12", "", "_V12"},
        {"x_\u0661\u0662", "x", "_\u0661\u0662"},  // Arabic-Indic digits
        {"\u00E9v2", "\u00E9v2", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const auto [name, version] = split_version_suffix(c.text);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(version, c.version);
    }
    EXPECT_EQ(zero_padded_number(7, 2), "07");
    EXPECT_EQ(zero_padded_number(12345, 4), "12345");
    EXPECT_EQ(zero_padded_number(-5, 3), "0-5");
}

TEST(NamingData, Masks) {
    NamingData n;
    n.basename_src = "Show Intro_v3";
    n.hap_codec = 2;
    SettingNaming video;
    video.is_enabled_txt_replace = true, video.space_char_process = 2, video.keep_versioning_at_end = true;
    n.set_from_setting_naming(video);
    EXPECT_EQ(n.get_name_from_mask("[src_name]_[codec]"), "Show_Intro_HAPQ_v3");
    EXPECT_EQ(n.get_name_from_mask("[codec]"), "HAPQ_v3");  // the suffix comes without [src_name] too

    NamingData m;
    m.basename_src = "name";
    m.target_width = 1920, m.target_height = 1080, m.hap_chunks = 8, m.audio_channel = 6;
    m.crop_item->name = "Left", m.crop_item->crop_left = 16, m.crop_item->crop_top = 4;
    struct Case {
        const char *mask, *name;
    };
    const Case plain[] = {
        {"", "name"},
        {"[src_name]", "name"},
        {"[crop_name]", "Untitled"},
        {"[src_name]_[crop_index]", "name_"},
        {"[width]x[height]_[chunks]_[ch_count]_[crop_x]_[crop_y]", "1920x1080_8_6_16_4"},
        {"[codec][codec]-[CODEC]-[Width]", "HAPHAP-[CODEC]-[Width]"},
        {"a/b", "a_b"},
        {".", "_"},
        {"..", "_"},
        {"...", "..."},
    };
    for (const Case &c : plain) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(m.get_name_from_mask(c.mask), c.name);
    }
    m.is_multicrop = true, m.index_out = 2;
    EXPECT_EQ(m.get_name_from_mask("[src_name]_[crop_index]"), "name_3");
    EXPECT_EQ(m.get_name_from_mask("[crop_name]"), "Left");
    m.crop_item->name = "../x";  // from an imported crop list
    EXPECT_EQ(m.get_name_from_mask("[crop_name]"), ".._x");
    m.crop_item->name = "";
    EXPECT_EQ(m.get_name_from_mask("[crop_name]"), "Untitled");

    // A later token inside an earlier value is replaced, an earlier one inside a later value is not.
    m.basename_src = "x[codec]";
    m.crop_item->name = "[src_name]";
    EXPECT_EQ(m.get_name_from_mask("[src_name]-[crop_name]"), "xHAP-[src_name]");

    const char *codecs[] = {"HAP", "HAPA", "HAPQ", "HAPQA", "HAPAlphaOnly", "HAPAlphaOnly", "HAPR", "Unknown"};
    for (uint32_t c = 0; c < 8; c++) {
        m.hap_codec = c;
        EXPECT_EQ(m.get_codec_str(), codecs[c]);
    }
}

TEST(NamingData, SourceNameFormatting) {
    NamingData n;
    EXPECT_EQ(n.get_name_from_mask("[src_name]"), "NoName");
    n.force_uppercase = true;
    EXPECT_EQ(n.get_name_from_mask("[src_name]"), "NONAME");
    n.basename_src = "stra\u00DFe";
    EXPECT_EQ(n.get_src_name_with_txt_format(), "STRASSE");

    // The space rule runs first, so a rule looking for a space finds none.
    n.force_uppercase = false;
    n.basename_src = "My Clip";
    n.space_char_process = 1;
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    rule->txt_find = " ", rule->txt_replace = "-";
    TxtReplaceRef slash = SettingNamingSrcNameTxtReplace::init();
    slash->txt_find = "Clip", slash->txt_replace = std::string("a/b\0", 4);
    n.arr_txt_replace = {rule};
    EXPECT_EQ(n.get_name_from_mask("[src_name]"), "MyClip");
    n.arr_txt_replace = {rule, slash};
    EXPECT_EQ(n.get_name_from_mask("[src_name]"), "Mya_b_");  // no separator or NUL left in a name

    // Every rule removed: "NoName".
    TxtReplaceRef all = SettingNamingSrcNameTxtReplace::init();
    all->txt_find = "MyClip";
    n.arr_txt_replace = {all};
    EXPECT_EQ(n.get_src_name_with_txt_format(), "NoName");

    // Replacement off: the space rule, upper case and rules stay; keep-version is taken.
    NamingData k;
    k.space_char_process = 2, k.force_uppercase = true, k.arr_txt_replace = {rule};
    SettingNaming off;
    off.keep_versioning_at_end = true, off.force_upper_case = false;
    k.set_from_setting_naming(off);
    EXPECT_EQ(k.space_char_process, 2u);
    EXPECT_TRUE(k.force_uppercase);
    EXPECT_EQ(k.arr_txt_replace.size(), 1u);
    EXPECT_TRUE(k.keep_versioning_at_end);
    k.basename_src = "clip_v2";
    EXPECT_EQ(k.get_name_from_mask("[codec]"), "HAP_V2");
    k.basename_src = "2024";
    EXPECT_EQ(k.get_name_from_mask("[src_name]"), "2024");

    // Replacement on: copies of the rules, so editing the setting leaves the naming data alone.
    SettingNaming on;
    on.is_enabled_txt_replace = true;
    on.arr_txt_replace = {rule};
    k.set_from_setting_naming(on);
    EXPECT_FALSE(k.force_uppercase);
    EXPECT_EQ(k.space_char_process, 0u);
    ASSERT_EQ(k.arr_txt_replace.size(), 1u);
    EXPECT_NE(k.arr_txt_replace[0], rule);
}

TEST(NamingData, DateTokensUseLocalTime) {
    const char *old = getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "CET-1", 1);  // one hour east of UTC, no daylight saving
    tzset();
    struct tm utc {};
    utc.tm_year = 124, utc.tm_mon = 2, utc.tm_mday = 5, utc.tm_hour = 8, utc.tm_min = 7;
    NamingData n;
    n.rq_date = std::chrono::system_clock::from_time_t(timegm(&utc));
    EXPECT_EQ(n.get_name_from_mask("[YYYY]-[MM]-[DD]_[hh][mm]"), "2024-03-05_0907");
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(NamingData, CopyIsDeep) {
    NamingData n;
    n.crop_item->name = "A";
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    rule->txt_find = "a";
    n.arr_txt_replace = {rule};
    NamingDataRef c = n.mutableCopyWithZone();
    c->crop_item->name = "B";
    c->arr_txt_replace[0]->txt_find = "b";
    EXPECT_EQ(n.crop_item->name, "A");
    EXPECT_EQ(rule->txt_find, "a");
    EXPECT_EQ(c->rq_date, n.rq_date);
    EXPECT_NE(n.description().find("Multicrop : NO"), std::string::npos);
}

}  // namespace
