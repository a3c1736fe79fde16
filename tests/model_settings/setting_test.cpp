#include "model/settings/setting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/file_io.h"
#include "platform/foundation/xml_writer.h"
#include "testutil/locale_guard.h"
#include "testutil/testutil.h"

namespace {

struct Preset {
    void (Setting::*make)();
    const char *file;
};

const Preset kPresets[] = {
    {&Setting::set_default_preset_hapa_fast, "HAP(A) Fast"},
    {&Setting::set_default_preset_hapa_normal, "HAP(A) Normal"},
    {&Setting::set_default_preset_hapa_slow, "HAP(A) Slow"},
    {&Setting::set_default_preset_hapqa_fast, "HAPQ(A) Fast"},
    {&Setting::set_default_preset_hapqa_normal, "HAPQ(A) Normal"},
    {&Setting::set_default_preset_hapqa_slow, "HAPQ(A) Slow"},
    {&Setting::set_default_preset_hapalphaonly_luma, "HAP Alpha Only From Luma"},
    {&Setting::set_default_preset_hapalphaonly_alpha, "HAP Alpha Only From Alpha"},
    {&Setting::set_default_preset_hapr, "HAPR Fast"},
    {&Setting::set_default_preset_wav_only, "Wav 16b 48Khz"},
};

std::string golden(const char *name) {
    std::string text, error;
    EXPECT_TRUE(read_whole_file(std::string(ZELQA_SOURCE_DIR) + "/tests/model_settings/presets/" + name + ".xml", &text,
                                &error))
        << error;
    return text;
}

// Feeds a `setting` element to a fresh setting the way a container's reader does.
struct ContainerReader : XmlEventHandler {
    SettingRef setting;
    void xml_start_element(const std::string &name, const XmlAttributes &a) override {
        if (name == "setting")
            setting = Setting::init();
        else if (setting)
            setting->parser_didStartElement_namespaceURI_qualifiedName_attributes(name, a);
    }
    void xml_end_element(const std::string &name) override {
        if (setting) setting->parser_didEndElement_namespaceURI_qualifiedName(name);
    }
};

SettingRef read_back(const std::string &text) {
    ContainerReader r;
    std::string error;
    EXPECT_TRUE(xml_parse_text(text, r, &error)) << error;
    return r.setting;
}

void check_presets() {
    for (const Preset &p : kPresets) {
        SCOPED_TRACE(p.file);
        Setting s;
        (s.*p.make)();
        EXPECT_EQ(s.name, p.file);
        EXPECT_EQ(s.get_xml_str_content(), golden(p.file));
    }
}

TEST(Setting, FactoryPresetsMatchTheirFiles) {
    check_presets();
    Setting cmd, fast;
    cmd.set_default_preset_cmd_rendering();
    fast.set_default_preset_hapa_fast();
    EXPECT_TRUE(cmd.is_equal_to_setting(fast));
}

TEST(Setting, FactoryPresetsIgnoreACommaDecimalLocale) {
    LocaleGuard guard("de_DE.UTF-8");
    ASSERT_TRUE(guard.ok()) << "the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)";
    check_presets();
    // And the texts read back the same way.
    Setting s;
    s.set_attributes_with_xml_dict({{"k", "aud_set_gain_val"}, {"v", "-3.5"}});
    EXPECT_EQ(s.aud_set_gain_val, -3.5f);
}

TEST(Setting, PresetFilesAreWellFormedAndReadBack) {
    const std::string xmllint = testutil::require_tool("xmllint");
    ASSERT_FALSE(xmllint.empty());
    testutil::TempDir dir;
    Setting odd;
    odd.name = std::string("Bell\x07 <&> \"tab\tand\x1b esc", 23);
    odd.save_preset_file(dir.path());
    for (const Preset &p : kPresets) {
        Setting s;
        (s.*p.make)();
        s.save_preset_file(dir.path());
        EXPECT_TRUE(s.is_preset_file_exists(dir.path()));
    }
    const auto r =
        testutil::run_command(testutil::shell_quote(xmllint) + " --noout " + testutil::shell_quote(dir.path()) +
                              "/*.xml 2>&1; ls " + testutil::shell_quote(dir.path()) + " | wc -l");
    EXPECT_EQ(r.output, "11\n");
    Setting back;
    ASSERT_TRUE(back.set_from_xml_file(*odd.get_preset_filepath(dir.path())));
    EXPECT_EQ(back.name, "Bell <&> \"tab\tand esc");  // the tab is kept, the other controls left out
}

TEST(Setting, WriteThenReadGivesAnEqualSetting) {
    const SettingRef custom = Setting::init();
    const std::string custom_text = custom->get_xml_str_content();
    EXPECT_EQ(custom_text.find("k=\"name\""), std::string::npos);
    EXPECT_TRUE(read_back(custom_text)->is_equal_to_setting(*custom));

    Setting s;
    s.name = "Every field";
    s.vid_enable_smart_render = false, s.vid_alpha_mode = 2, s.vid_codec_hap = 3, s.vid_hap_quality = 2;
    s.vid_enable_snappy = false, s.vid_chunks = 64, s.vid_fps_mode = 1, s.vid_fps_custom = 5;
    s.vid_alpha_conversion = 2, s.is_multi_crop = true;
    for (int i = 0; i < 3; i++) {
        CropItemRef c = CropItem::init();
        c->set_default_mode_origin_and_size();
        c->crop_left = 4 * i, c->name = "C" + std::to_string(i), c->transform_mode = uint32_t(i);
        c->crop_top_eval_str = "2*" + std::to_string(i);
        c->color = ZelColorFloat::init_with_r_and_g_and_b(0.2f, 0.4f, 0.6f);
        s._arr_multi_crop_items.push_back(c);
    }
    s.vid_crop_to_multiple_4 = true, s.vid_crop_scale_to_screen_res = true, s.vid_auto_crop_left = false;
    s.vid_transform_mode = 3, s.vid_scale_mode = 7, s.vid_enable_scale_link_ratio = false;
    s.vid_scale_width = 640, s.vid_scale_height = 360, s.vid_scale_screen_width = 3840,
    s.vid_scale_screen_height = 2160;
    s.vid_scale_quality = 2, s.vid_scale_conform_mult_4 = true, s.metadata_tc_mode = 3;
    s.metadata_tc_force_drop_frame = false, s.metadata_start_tc_force = "01:02:03;04";
    s.metadata_write_crop_box_metadata = false, s.aud_frequency = 0, s.aud_quantif = 2, s.aud_gain_mode = 3;
    s.aud_set_gain_val = -3.5f, s.aud_true_peak_val = -1.25f, s.aud_target_loudness_val = -16.0f;
    s.aud_embed_in_hap = false, s.aud_write_wav_file = true, s.aud_write_multi_mono_file = true;
    s.aud_ignore_silent_track = true, s.aud_multi_mono_suffix = 1, s.nam_use_video_hap_for_wav = false;
    s.nam_video_hap->folder_mode = 1, s.nam_video_hap->custom_folder = "/Out/\"q\"";
    s.nam_video_hap->keep_folder_hierarchy_mode = 2, s.nam_video_hap->nb_src_folders_to_keep_ignore = 3;
    s.nam_video_hap->is_enabled_txt_replace = true, s.nam_video_hap->space_char_process = 2;
    s.nam_video_hap->force_upper_case = true, s.nam_video_hap->keep_versioning_at_end = true;
    s.nam_video_hap->naming_mask = "[src_name]_[width]";
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    rule->txt_find = "a&b", rule->txt_replace = "", rule->match_case = false;
    s.nam_video_hap->arr_txt_replace.push_back(rule);
    TxtReplaceRef rule2 = SettingNamingSrcNameTxtReplace::init();
    rule2->txt_find = "x", rule2->txt_replace = "y";
    s.nam_audio_wav->arr_txt_replace.push_back(rule2);

    const std::string text = s.get_xml_str_content();
    EXPECT_NE(text.find("k=\"vid_fps_custom\" v=\"15\""), std::string::npos);
    EXPECT_NE(text.find("k=\"aud_gain_mode\" v=\"3\""), std::string::npos);
    EXPECT_NE(text.find("k=\"aud_quantif\" v=\"2\""), std::string::npos);
    EXPECT_NE(text.find("k=\"aud_set_gain_val\" v=\"-3.500000\""), std::string::npos);
    const SettingRef back = read_back(text);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->is_equal_to_setting(s));
    EXPECT_EQ(back->get_xml_str_content(), text);

    // Through a preset file too.
    testutil::TempDir dir;
    s.save_preset_file(dir.path());
    Setting file;
    ASSERT_TRUE(file.set_from_xml_file(dir.file("Every field.xml")));
    EXPECT_TRUE(file.is_equal_to_setting(s));

    // Outside multicrop only the first crop item is written.
    s.is_multi_crop = false;
    const SettingRef single = read_back(s.get_xml_str_content());
    EXPECT_EQ(single->_arr_multi_crop_items.size(), 1u);
}

TEST(Setting, ReadRules) {
    struct Case {
        const char *k, *v;
        const char *printed;
        std::function<bool(const Setting &)> check;
    };
    const Case cases[] = {
        {"aud_global_gain", "-6", "",
         [](const Setting &s) { return s.aud_gain_mode == 1 && s.aud_set_gain_val == -6.0f; }},
        {"aud_global_gain", "0", "",
         [](const Setting &s) { return s.aud_gain_mode == 0 && s.aud_set_gain_val == 1.5f; }},
        {"aud_global_gain", "1e40", "", [](const Setting &s) { return s.aud_gain_mode == 0; }},
        {"vid_crop_left", "10", "",
         [](const Setting &s) {
             return !s.is_multi_crop && !s.is_auto_crop && s._arr_multi_crop_items.size() == 1 &&
                    s._arr_multi_crop_items[0]->mode == 2 && s._arr_multi_crop_items[0]->crop_left == 10;
         }},
        {"vid_crop_bottom", "-1", "",
         [](const Setting &s) { return s.is_multi_crop && s._arr_multi_crop_items.empty(); }},
        {"vid_fps_custom", "15", "", [](const Setting &s) { return s.vid_fps_custom == 5; }},
        {"vid_fps_custom", "16", "", [](const Setting &s) { return s.vid_fps_custom == 6; }},
        {"vid_fps_custom", "5", "", [](const Setting &s) { return s.vid_fps_custom == 7; }},
        {"vid_fps_custom", "6", "", [](const Setting &s) { return s.vid_fps_custom == 8; }},
        {"vid_fps_custom", "7", "", [](const Setting &s) { return s.vid_fps_custom == 2; }},
        {"vid_chunks", "0", "", [](const Setting &s) { return s.vid_chunks == 8; }},
        {"vid_chunks", "64", "", [](const Setting &s) { return s.vid_chunks == 64; }},
        {"vid_chunks", "65", "", [](const Setting &s) { return s.vid_chunks == 8; }},
        {"metadata_start_tc_force", "01:02:03;04", "",
         [](const Setting &s) { return s.metadata_start_tc_force == "01:02:03;04"; }},
        {"metadata_start_tc_force", "01:xx:03:04", "",
         [](const Setting &s) { return s.metadata_start_tc_force == "00:00:00:00"; }},
        {"metadata_start_tc_force", "99:99", "", [](const Setting &s) { return s.metadata_start_tc_force == "99:99"; }},
        {"metadata_start_tc_force", "x:1:2.3,", "",
         [](const Setting &s) { return s.metadata_start_tc_force == "x:1:2.3,"; }},
        {"metadata_start_tc_force", "", "",
         [](const Setting &s) { return s.metadata_start_tc_force == "00:00:00:00"; }},
        {"metadata_start_tc_force", "1:4294967296", "",
         [](const Setting &s) { return s.metadata_start_tc_force == "00:00:00:00"; }},
        {"aud_set_gain_val", "1e40", "", [](const Setting &s) { return s.aud_set_gain_val == 0.0f; }},
        {"aud_set_gain_val", "-1e40", "", [](const Setting &s) { return s.aud_set_gain_val == 0.0f; }},
        {"aud_true_peak_val", "1e40", "", [](const Setting &s) { return s.aud_true_peak_val == -2.0f; }},
        {"aud_target_loudness_val", "-1e40", "", [](const Setting &s) { return s.aud_target_loudness_val == -23.0f; }},
        {"aud_target_loudness_val", "-16.5", "", [](const Setting &s) { return s.aud_target_loudness_val == -16.5f; }},
        {"vid_alpha_conversion", "0", "Unknown VideoSetting_AlphaConversion val : 0",
         [](const Setting &s) { return s.vid_alpha_conversion == 0; }},
        {"vid_alpha_conversion", "x", "", [](const Setting &s) { return s.vid_alpha_conversion == 1; }},
        {"vid_alpha_conversion", "3", "", [](const Setting &s) { return s.vid_alpha_conversion == 2; }},
        {"vid_transform_mode", "9", "Invalid Transform Rotate Flip : 9, default to no transform\n",
         [](const Setting &s) { return s.vid_transform_mode == 0; }},
        {"vid_transform_mode", "x", "", [](const Setting &s) { return s.vid_transform_mode == 0; }},
        {"vid_transform_mode", "5", "", [](const Setting &s) { return s.vid_transform_mode == 5; }},
        {"vid_scale_mode", "x", "", [](const Setting &s) { return s.vid_scale_mode == 4; }},
        {"vid_scale_mode", "8", "Unknown Scale Mode : 8\n", [](const Setting &s) { return s.vid_scale_mode == 4; }},
        {"vid_scale_quality", "3", "Unknown Scale quality : 3\n",
         [](const Setting &s) { return s.vid_scale_quality == 0; }},
        {"metadata_tc_mode", "4", "Unknown TC Mode : 4\n", [](const Setting &s) { return s.metadata_tc_mode == 0; }},
        {"aud_gain_mode", "4", "Unknown Audio Gain Mode : 4\n", [](const Setting &s) { return s.aud_gain_mode == 0; }},
        {"audio_gain_mode", "2", "", [](const Setting &s) { return s.aud_gain_mode == 2; }},
        {"aud_gain_mode", "x", "", [](const Setting &s) { return s.aud_gain_mode == 0; }},
        {"vid_scale_width", "0", "", [](const Setting &s) { return s.vid_scale_width == 1920; }},
        {"vid_scale_width", "4294967297", "", [](const Setting &s) { return s.vid_scale_width == 1920; }},
        {"vid_scale_screen_height", "+480", "", [](const Setting &s) { return s.vid_scale_screen_height == 480; }},
        {"vid_scale_height", " 480", "", [](const Setting &s) { return s.vid_scale_height == 1080; }},
        {"vid_alpha_mode", "3", "", [](const Setting &s) { return s.vid_alpha_mode == 0; }},
        {"vid_codec_hap", "6", "", [](const Setting &s) { return s.vid_codec_hap == 6; }},
        {"aud_multi_mono_suffix", "2", "", [](const Setting &s) { return s.aud_multi_mono_suffix == 0; }},
        {"aud_frequency", "0", "", [](const Setting &s) { return s.aud_frequency == 0; }},
        {"vid_enable_video", "yes", "", [](const Setting &s) { return !s.vid_enable_video; }},
        {"nam_use_video_hap_for_wav", "YES", "", [](const Setting &s) { return s.nam_use_video_hap_for_wav; }},
        {"unknown_key", "1", "", [](const Setting &s) { return s.is_multi_crop; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.k) + "=" + c.v);
        Setting s;
        s.is_multi_crop = true;
        s.vid_alpha_conversion = 1, s.vid_scale_mode = 4, s.aud_set_gain_val = 1.5f, s.aud_gain_mode = 2;
        s.nam_use_video_hap_for_wav = false;
        testing::internal::CaptureStdout();
        s.set_attributes_with_xml_dict({{"k", c.k}, {"v", c.v}});
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_TRUE(c.check(s));
    }
    Setting s;
    s.set_attributes_with_xml_dict({{"k", "vid_chunks"}});  // no value: nothing happens
    EXPECT_EQ(s.vid_chunks, 8u);
}

TEST(Setting, ElementsOfAFile) {
    const char *text =
        "<?xml version=\"1.0\"?><setting>"
        "<naming_txt_replace find=\"lost\" />"
        "<CropItem mode=\"1\" crop_1=\"0\" crop_2=\"0\" crop_3=\"3\" crop_4=\"100\" name=\"thin\" />"
        "<CropItem mode=\"2\" crop_1=\"4\" crop_2=\"0\" crop_3=\"0\" crop_4=\"0\" name=\"kept\" />"
        "<naming_video_hap folder_mode=\"2\" naming_mask=\"m\" space_char_process=\"7\">"
        "<naming_txt_replace find=\"v\" match_case=\"YES\" /></naming_video_hap>"
        "<naming_audio_wav><naming_txt_replace find=\"a\" replace=\"b\" /></naming_audio_wav>"
        "<naming_txt_replace find=\"lost2\" />"
        "</setting>";
    testing::internal::CaptureStdout();
    const SettingRef s = read_back(text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unknown SettingNaming_FolderMode val : 2Unknown HapStand_SpaceCharProcess val : 7 (default no)");
    ASSERT_EQ(s->_arr_multi_crop_items.size(), 1u);
    EXPECT_EQ(s->_arr_multi_crop_items[0]->name, "kept");
    EXPECT_EQ(s->nam_video_hap->folder_mode, 0u);
    EXPECT_EQ(s->nam_video_hap->naming_mask, "m");
    EXPECT_EQ(s->nam_video_hap->space_char_process, 0u);
    ASSERT_EQ(s->nam_video_hap->arr_txt_replace.size(), 1u);
    EXPECT_TRUE(s->nam_video_hap->arr_txt_replace[0]->match_case);
    ASSERT_EQ(s->nam_audio_wav->arr_txt_replace.size(), 1u);
    EXPECT_FALSE(s->nam_audio_wav->arr_txt_replace[0]->match_case);
    EXPECT_EQ(s->nam_audio_wav->arr_txt_replace[0]->txt_replace, "b");
    EXPECT_FALSE(s->nam_audio_wav->custom_folder.has_value());
}

TEST(Setting, PresetFileReading) {
    testutil::TempDir dir;
    Setting named;
    named.set_default_preset_hapqa_slow();
    const std::string one = named.get_xml_str_content();
    Setting custom;
    custom.vid_codec_hap = 6;
    const std::string unnamed = custom.get_xml_str_content();
    XmlStreamWriter exported;
    exported.start_document();
    exported.start_element("presets");
    named.write(exported);
    custom.write(exported);
    exported.end_document();

    struct Case {
        const char *file;
        std::string content;
        bool ok;
        const char *name;
    };
    const Case cases[] = {
        {"Other name.xml", one, true, "HAPQ(A) Slow"},
        {"From file.xml", unnamed, true, "From file"},
        {"export.zqp", exported.text(), false, nullptr},
        {"text.xml", "this is not xml", false, nullptr},
        {"truncated.xml", one.substr(0, one.size() / 2), false, nullptr},
        {"empty.xml", "", false, nullptr},
        {"nosetting.xml", "<?xml version=\"1.0\"?><root><params k=\"vid_chunks\" v=\"3\"/></root>", false, nullptr},
        {"missing.xml", "", false, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        if (std::string(c.file) != "missing.xml") {
            ASSERT_TRUE(write_file_atomic(dir.file(c.file), c.content, nullptr));
        }
        Setting s;
        EXPECT_EQ(s.set_from_xml_file(dir.file(c.file)), c.ok);
        if (c.ok) { EXPECT_EQ(s.name, c.name); }
    }
    Setting from_file;
    ASSERT_TRUE(from_file.set_from_xml_file(dir.file("From file.xml")));
    EXPECT_EQ(from_file.vid_codec_hap, 6u);
}

TEST(Setting, PresetNamesNeverLeaveTheFolder) {
    testutil::TempDir dir;
    const std::string folder = dir.file("presets");
    ASSERT_EQ(testutil::run_command("mkdir " + testutil::shell_quote(folder)).status, 0);
    for (const std::string &bad :
         {std::string("../evil"), std::string("a/b"), std::string(".."), std::string("."), std::string("nul\0x", 5)}) {
        SCOPED_TRACE(bad);
        Setting s;
        s.name = bad;
        EXPECT_FALSE(s.get_preset_filepath(folder).has_value());
        s.save_preset_file(folder);
        s.delete_preset_file(folder);
        EXPECT_FALSE(s.is_preset_file_exists(folder));
    }
    const auto r = testutil::run_command("find " + testutil::shell_quote(dir.path()) + " -type f | wc -l");
    EXPECT_EQ(r.output, "0\n");

    Setting fine;
    fine.name = "...name with dots.";
    EXPECT_EQ(fine.get_preset_filepath(folder), folder + "/...name with dots..xml");
    fine.save_preset_file(folder);
    EXPECT_TRUE(fine.is_preset_file_exists(folder));
    fine.vid_chunks = 3;
    fine.save_preset_file(folder);  // replaces the file
    Setting back;
    ASSERT_TRUE(back.set_from_xml_file(*fine.get_preset_filepath(folder)));
    EXPECT_EQ(back.vid_chunks, 3u);
    fine.delete_preset_file(folder);
    EXPECT_FALSE(fine.is_preset_file_exists(folder));
    Setting custom;
    EXPECT_FALSE(custom.get_preset_filepath(folder).has_value());
    EXPECT_FALSE(fine.get_preset_filepath(std::nullopt).has_value());
}

TEST(Setting, EqualityAndCopies) {
    Setting a, b;
    EXPECT_TRUE(a.is_equal_to_setting(b));
    EXPECT_TRUE(a.is_custom());
    EXPECT_EQ(a.get_preset_name_for_ui(), "Custom");
    b.name = "";
    EXPECT_FALSE(b.is_custom());
    EXPECT_EQ(b.get_preset_name_for_ui(), "");
    EXPECT_FALSE(a.is_equal_to_setting(b));
    b.set_to_custom();
    b.vid_scale_width_eval_str = "1920/1";
    b.version = 7;
    EXPECT_TRUE(a.is_equal_to_setting(b));
    b.vid_transform_mode = 2;
    EXPECT_FALSE(a.is_equal_to_setting(b));
    a.is_multi_crop = b.is_multi_crop = true;
    EXPECT_TRUE(a.is_equal_to_setting(b));

    Setting nan;
    nan.aud_set_gain_val = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(nan.mutableCopyWithZone()->is_equal_to_setting(nan));

    Setting multi;
    multi.is_multi_crop = true;
    for (int i = 0; i < 3; i++) {
        CropItemRef c = CropItem::init();
        c->crop_left = uint32_t(i);
        multi._arr_multi_crop_items.push_back(c);
    }
    multi.nam_video_hap->arr_txt_replace.push_back(SettingNamingSrcNameTxtReplace::init());
    const SettingRef copy = multi.mutableCopyWithZone();
    ASSERT_EQ(copy->_arr_multi_crop_items.size(), 3u);
    EXPECT_TRUE(copy->is_equal_to_setting(multi));
    copy->_arr_multi_crop_items[1]->crop_left = 99;
    copy->nam_video_hap->arr_txt_replace[0]->txt_find = "z";
    copy->nam_audio_wav->naming_mask = "other";
    EXPECT_EQ(multi._arr_multi_crop_items[1]->crop_left, 1u);
    EXPECT_EQ(multi.nam_video_hap->arr_txt_replace[0]->txt_find, "");
    EXPECT_EQ(multi.nam_audio_wav->naming_mask, "[src_name]");

    // Selection flags of rules are not compared.
    Setting sel = multi;
    sel.nam_video_hap = multi.nam_video_hap->mutableCopyWithZone();
    sel.nam_video_hap->arr_txt_replace[0]->isSelected = true;
    EXPECT_TRUE(sel.is_equal_to_setting(multi));
    EXPECT_NE(multi.description().find("Crop Item : 3\n  CropItem : Mode Edges Crop : Left 0"), std::string::npos);
}

TEST(Setting, ValidityForSources) {
    Setting wav, hap;
    wav.set_default_preset_wav_only();
    hap.set_default_preset_hapa_fast();
    // video only, audio only, both, neither
    const bool sources[4][2] = {{true, false}, {false, true}, {true, true}, {false, false}};
    const bool expect_wav[4] = {false, true, true, false}, expect_hap[4] = {true, false, true, false};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(wav.setting_is_valid_for_video_and_audio(sources[i][0], sources[i][1]), expect_wav[i]) << i;
        EXPECT_EQ(hap.setting_is_valid_for_video_and_audio(sources[i][0], sources[i][1]), expect_hap[i]) << i;
    }
}

}  // namespace
