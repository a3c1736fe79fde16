#include "model/settings/global_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"
#include "testutil/testutil.h"

namespace {

using Names = std::vector<std::string>;

const Names kFactory = {"HAP(A) Fast",
                        "HAP(A) Normal",
                        "HAP(A) Slow",
                        "HAPQ(A) Fast",
                        "HAPQ(A) Normal",
                        "HAPQ(A) Slow",
                        "HAP Alpha Only From Luma",
                        "HAP Alpha Only From Alpha",
                        "HAPR Fast",
                        "Wav 16b 48Khz"};

std::string read_text(const std::string &path) {
    std::string t, e;
    EXPECT_TRUE(read_whole_file(path, &t, &e)) << e;
    return t;
}

// Every test gets its own configuration folder.
class Prefs : public testing::Test {
protected:
    void SetUp() override {
        const char *old = getenv("XDG_CONFIG_HOME");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (had_)
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    std::string app() const { return dir_.file("ZelqaHapEncoder"); }
    std::string presets() const { return app() + "/ZelqaHapEncoder_Presets"; }

    testutil::TempDir dir_;
    bool had_ = false;
    std::string old_;
};

TEST_F(Prefs, FirstStartWritesFactoryPresets) {
    GlobalSettingsRef g = GlobalSettings::init();
    ASSERT_TRUE(g->settings_list);
    EXPECT_TRUE(g->settings_list->is_empty());
    EXPECT_EQ(g->settings_list->folder_path_preset, presets());
    g->load_xml_settings();
    Names order;
    for (const SettingRef &s : g->settings_list->arr_setting) order.push_back(*s->name);
    EXPECT_EQ(order, kFactory);
    for (const std::string &n : kFactory) EXPECT_TRUE(is_existing_file(presets() + "/" + n + ".xml")) << n;
    Names sorted = g->settings_list->get_preset_list_name();
    EXPECT_EQ(sorted.front(), "HAP Alpha Only From Alpha");
    EXPECT_EQ(sorted.back(), "Wav 16b 48Khz");
    EXPECT_EQ(*GlobalSettings::get_renderqueue_path(), app() + "/zelqa_hap_encoder_renderqueue.xml");
}

TEST_F(Prefs, UserEditedFactoryPresetStays) {
    ASSERT_TRUE(GlobalSettings::create_folder(presets()));
    SettingRef mine = Setting::init();
    mine->set_default_preset_hapa_fast();
    mine->vid_chunks = 4;
    ASSERT_TRUE(mine->save_preset_file(presets()));
    const std::string before = read_text(presets() + "/HAP(A) Fast.xml");
    GlobalSettingsRef g = GlobalSettings::init();
    g->load_xml_settings();
    EXPECT_EQ(read_text(presets() + "/HAP(A) Fast.xml"), before);
    EXPECT_EQ(g->settings_list->get_nb_setting(), 10u);
    EXPECT_EQ(g->settings_list->get_setting_by_name(std::string("HAP(A) Fast"))->vid_chunks, 4u);
}

TEST_F(Prefs, DefaultDocument) {
    GlobalSettingsRef g = GlobalSettings::init();
    ASSERT_TRUE(g->save_xml_settings());
    const std::string path = *GlobalSettings::get_prefs_path();
    EXPECT_EQ(path, app() + "/zelqa_hap_encoder_prefs.xml");
    EXPECT_EQ(read_text(path),
              read_text(std::string(ZELQA_SOURCE_DIR) + "/tests/model_settings/prefs/default_prefs.xml"));
    const std::string xmllint = testutil::require_tool("xmllint");
    ASSERT_FALSE(xmllint.empty());
    EXPECT_EQ(testutil::run_command(xmllint + " --noout " + testutil::shell_quote(path)).status, 0);
}

TEST_F(Prefs, ChangedPreferencesSurvive) {
    GlobalSettingsRef g = GlobalSettings::init();
    g->ui_filesize_unit_ki = false;
    g->ui_custom_bg_color.set_with_8b_r_and_g_and_b_and_a(1, 2, 3, 127);
    g->default_img_fps = {30000, 1001};
    g->max_vfr_to_cfr_fps = {60, 1};
    g->vfr_limit_max_fps = false;
    g->default_alpha_mode = 2;
    g->enable_conditional_presets = true;
    ConditionalPresetRef cp = ConditionalPreset::init();
    cp->name = "Logos & <titles>";
    cp->preset_alpha = "HAPQ(A) Slow";
    cp->arr_conditions = {PresetConditionObj::init_for_mode(1), PresetConditionObj::init_for_mode(2)};
    cp->arr_conditions[0]->arr_text_contains = {"mov", "\"q\""};
    cp->arr_conditions[1]->compare_mode = 4;
    cp->arr_conditions[1]->ref_uint32_value = 3840;
    g->arr_conditional_presets = {cp, ConditionalPreset::init()};
    g->default_preset_video_without_alpha = "HAPR Fast";
    g->snapshot_custom_folder = "/tmp/snaps";
    g->snapshot_format = 1;
    g->snapshot_scaling_mode = 2;
    g->snapshot_width = 640;
    g->snapshot_jpeg_quality = 75;
    g->glob_settings_edit_task->ui_mode = 3;
    g->glob_settings_edit_task->pvw_bg_mode = 3;
    g->glob_settings_dialog_crop_divide->mode = 2;
    g->glob_settings_dialog_crop_divide->horiz_count = 4;
    g->set_enable_trackpad_zoom(false);
    g->ui_double_state->set_val_for_key(0.25, "edit_task_main_vert_split");
    struct Win : PanelWindow {
        PanelRect frame() const override { return {10, 20, 1440.5, 900}; }
        bool is_full_screen() const override { return false; }
        bool is_visible() const override { return true; }
    } win;
    g->set_main_win_params(&win);
    SettingRef last = Setting::init();
    last->set_default_preset_hapqa_normal();
    last->is_multi_crop = true;
    CropItemRef a = CropItem::init(), b = CropItem::init();
    a->set_default_mode_origin_and_size();
    a->name = "Crop01";
    b->name = "Crop02";
    b->crop_left = 16;
    last->_arr_multi_crop_items = {a, b};
    last->nam_video_hap->naming_mask = std::string("[src_name]_[crop_name]_[width]");
    last->nam_audio_wav->naming_mask = std::string("[src_name]_[ch_count]");
    TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
    rule->txt_find = "_final";
    last->nam_video_hap->arr_txt_replace = {rule};
    g->set_last_preset(*last);
    ASSERT_TRUE(g->save_xml_settings());

    struct Screens : PanelScreens {
        std::vector<PanelRect> screen_frames() const override { return {{0, 0, 1920, 1080}}; }
    } screens;
    GlobalSettingsRef back = GlobalSettings::init();
    back->screens = &screens;
    back->load_xml_settings();
    EXPECT_EQ(back->get_xml_str_content(), g->get_xml_str_content());
    ASSERT_TRUE(back->last_preset);
    EXPECT_TRUE(back->last_preset->is_equal_to_setting(*last));
    EXPECT_EQ(back->last_preset->_arr_multi_crop_items.size(), 2u);
    EXPECT_EQ(*back->last_preset->nam_audio_wav->naming_mask, "[src_name]_[ch_count]");
    EXPECT_EQ(back->ui_custom_bg_color.to_8b().alpha, 127);
    EXPECT_FALSE(back->is_trackpad_zoom_enable());
    EXPECT_TRUE(back->is_trackpad_pan_enable());
    ASSERT_TRUE(back->main_window_settings);
    EXPECT_TRUE(back->main_window_settings->is_valid_pos);
    EXPECT_EQ(back->main_window_settings->width, 1440.5);
    // A missing file brought the factory presets once; the present one does not.
    EXPECT_EQ(back->settings_list->get_nb_setting(), 0u);
}

// Loads a document whose root holds the given elements.
GlobalSettingsRef load_body(const std::string &app, const std::string &body) {
    EXPECT_TRUE(GlobalSettings::create_folder(app));
    EXPECT_TRUE(write_file_atomic(app + "/zelqa_hap_encoder_prefs.xml", "<root>" + body + "</root>", nullptr));
    GlobalSettingsRef g = GlobalSettings::init();
    g->load_xml_settings();
    return g;
}

TEST_F(Prefs, ReaderRules) {
    const struct {
        const char *body;
        const char *logged;   // on standard error
        const char *printed;  // on standard output
        std::function<bool(const GlobalSettings &)> check;
    } cases[] = {
        {R"(<params k="default_alpha_mode" v="4"/>)", "Error : Invalid src alpha mdoe default (ignore)\n", "",
         [](const GlobalSettings &g) { return g.default_alpha_mode == 1; }},
        {R"(<params k="default_alpha_mode" v="9"/>)", "", "Unknown VideoSetting_SrcAlphaMode val : 9",
         [](const GlobalSettings &g) { return g.default_alpha_mode == 0; }},
        {R"(<params k="default_alpha_mode" v="x"/>)", "Error : invalid default alpha : 0\n", "",
         [](const GlobalSettings &g) { return g.default_alpha_mode == 1; }},
        {R"(<params k="default_alpha_mode" v="3"/>)", "", "",
         [](const GlobalSettings &g) { return g.default_alpha_mode == 2; }},
        {R"(<params k="snapshot_width" v="3"/>)", "Error : invalid snapshot width : 3\n", "",
         [](const GlobalSettings &g) { return g.snapshot_width == 1920; }},
        {R"(<params k="snapshot_height" v="70000"/>)", "Error : invalid snapshot height : 70000\n", "",
         [](const GlobalSettings &g) { return g.snapshot_height == 1080; }},
        {R"(<params k="snapshot_width" v="wide"/>)", "Error : invalid snapshot width : 0\n", "",
         [](const GlobalSettings &g) { return g.snapshot_width == 1920; }},
        {R"(<params k="snapshot_jpeg_quality" v="101"/>)", "Error : invalid snapshot jpeg qual : 101\n", "",
         [](const GlobalSettings &g) { return g.snapshot_jpeg_quality == 90; }},
        {R"(<params k="snapshot_format" v="1"/><params k="snapshot_format" v="7"/>)", "",
         "Unknown HapStandSnapshot_Format val : 7 (default jpeg)",
         [](const GlobalSettings &g) { return g.snapshot_format == 0; }},
        {R"(<params k="snapshot_scaling_mode" v="2"/><params k="snapshot_scaling_mode" v="two"/>)", "", "",
         [](const GlobalSettings &g) { return g.snapshot_scaling_mode == 0; }},
        {R"(<params k="default_img_fps_num" v="0"/><params k="default_img_fps_den" v="x"/>)",
         "Error : invalid default fps num : 0\n", "",
         [](const GlobalSettings &g) { return g.default_img_fps.num == 25 && g.default_img_fps.den == 1; }},
        {R"(<params k="max_vfr_to_cfr_fps_den" v="4294967295"/>)", "Error : invalid vfr to cfr fps den : 4294967295\n",
         "", [](const GlobalSettings &g) { return g.max_vfr_to_cfr_fps.den == 1; }},
        {R"(<params k="ui_custom_bg_color" r="1" g="256" b="3"/>)",
         "ERREUR : Fail to parse RGB component : {b = 3; g = 256; k = ui_custom_bg_color; r = 1; }\n", "",
         [](const GlobalSettings &g) { return g.ui_custom_bg_color.to_8b().red == 27; }},
        {R"(<params k="ui_audio_notif" v="yes"/><params k="ui_advanced_setting_ui"/>)", "", "",
         [](const GlobalSettings &g) { return !g.ui_audio_notif && g.glob_settings_edit_task->ui_mode == 3; }},
        {R"(<params k="default_preset_audio_only"/><params k="version" v="9"/><params k="future_key" v="1"/>)", "", "",
         [](const GlobalSettings &g) { return !g.default_preset_audio_only.has_value(); }},
        {R"(<panel name="other" x="1" y="2" w="3" h="4"/><panel name="main_win" x="1" y="2" w="3"/>)",
         "Unknown panel name : other\nError height\n", "",
         [](const GlobalSettings &g) { return !g.main_window_settings; }},
        {R"(<dialog_params k="mode" v="2"/><dialog_params d="zoom" k="a" v="1"/>)",
         "Invalid dialog xml params (no dialog key) : {k = mode; v = 2; }\nUnknown dialog key : zoom\n", "",
         [](const GlobalSettings &g) { return g.glob_settings_dialog_crop_divide->mode == 1; }},
        // A malformed file is read up to the error.
        {R"(<params k="snapshot_width" v="800"/><params k="snapshot_height" v="600"<x/>)", "", "",
         [](const GlobalSettings &g) { return g.snapshot_width == 800 && g.snapshot_height == 1080; }},
        {R"(<preset_condition mode="2"/><conditional_preset name="c"><preset_condition mode="3" ref_value="5"/>)"
         R"(<preset_condition_data k="contains" v="x"/></conditional_preset>)",
         "", "",
         [](const GlobalSettings &g) {
             return g.arr_conditional_presets.size() == 1 && !g.arr_conditional_presets[0]->is_enabled &&
                    g.arr_conditional_presets[0]->arr_conditions.size() == 1 &&
                    g.arr_conditional_presets[0]->arr_conditions[0]->arr_text_contains.size() == 1;
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.body);
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        GlobalSettingsRef g = load_body(app(), c.body);
        const std::string printed = testing::internal::GetCapturedStdout();
        const std::string logged = testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(logged, c.logged);
        EXPECT_TRUE(c.check(*g));
    }
}

TEST_F(Prefs, SaveFailureIsReported) {
    // A file where the folder should be.
    ASSERT_TRUE(write_file_atomic(app(), std::string("x"), nullptr));
    GlobalSettingsRef g = GlobalSettings::init();
    EXPECT_FALSE(g->settings_list);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(g->save_xml_settings());
    const std::string logged = testing::internal::GetCapturedStderr();
    EXPECT_NE(logged.find("Failed to create directory \"" + app() + "\". Error: Not a directory"), std::string::npos);
    EXPECT_NE(logged.find("Fail to create pref dir"), std::string::npos);
    g->load_xml_settings();  // no library: nothing to write, no crash
    const ConditionPresetFileInfo info = ConditionPresetFileInfo::init_with_filepath("/a.mov");
    EXPECT_TRUE(g->get_default_preset_for_conditional_file_info(info));
}

SettingRef preset(const char *name, bool video) {
    SettingRef s = Setting::init();
    s->name = name;
    s->vid_enable_video = video;
    return s;
}

ConditionPresetFileInfo facts(bool video, bool alpha, bool audio) {
    ConditionPresetFileInfo f = ConditionPresetFileInfo::init_with_filepath("/src/clip_intro.mov");
    f.have_video = video, f.have_video_with_alpha = alpha, f.have_audio = audio;
    f.width = video ? 1920 : 0, f.height = video ? 1080 : 0;
    return f;
}

TEST_F(Prefs, PresetChoice) {
    GlobalSettingsRef g = GlobalSettings::init();
    SettingsList &lib = *g->settings_list;
    for (const SettingRef &s : {preset("VidA", true), preset("VidB", true), preset("Audio", false)})
        lib.save_new_preset_overwrite(*s, false);
    SettingRef fast = Setting::init();
    fast->set_default_preset_hapa_fast();
    lib.save_new_preset_overwrite(*fast, false);

    auto rule = [](const char *name, bool enabled, const char *no_alpha, const char *audio, uint32_t min_width) {
        ConditionalPresetRef cp = ConditionalPreset::init();
        cp->name = name;
        cp->is_enabled = enabled;
        cp->preset_no_alpha = no_alpha;
        cp->preset_audio_only = audio;
        if (min_width) {
            cp->arr_conditions = {PresetConditionObj::init_for_mode(2)};
            cp->arr_conditions[0]->compare_mode = 5;
            cp->arr_conditions[0]->ref_uint32_value = min_width;
        }
        return cp;
    };
    g->enable_conditional_presets = true;
    const struct {
        std::vector<ConditionalPresetRef> rules;
        ConditionPresetFileInfo info;
        const char *expected;  // preset name, or "" for a custom result
        const char *logged;
    } cases[] = {
        // A disabled rule is skipped even though it matches.
        {{rule("off", false, "VidA", "", 0), rule("on", true, "VidB", "", 0)}, facts(true, false, true), "VidB", ""},
        // A deleted preset is skipped with its line, the next rule decides.
        {{rule("gone", true, "Deleted", "", 0), rule("on", true, "VidA", "", 0)},
         facts(true, false, false),
         "VidA",
         "Can't found preset named : Deleted\n"},
        // An audio-only file passes over a rule whose preset has video.
        {{rule("vid", true, "", "VidA", 0), rule("aud", true, "", "Audio", 0)}, facts(false, false, true), "Audio", ""},
        // Conditions that fail: the line, then the default choice.
        {{rule("4k", true, "VidA", "", 3840)},
         facts(true, false, true),
         "HAP(A) Fast",
         "Condition not valid\nNo conditional preset match\n"},
        // No conditions match every file.
        {{rule("all", true, "VidB", "", 0)}, facts(true, false, false), "VidB", ""},
        // Neither video nor audio: nothing suits, a new "Wav 16b 48Khz" made custom.
        {{rule("all", true, "VidB", "Audio", 0)}, facts(false, false, false), "", "No conditional preset match\n"},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        g->arr_conditional_presets = cases[i].rules;
        testing::internal::CaptureStderr();
        SettingRef got = g->get_default_preset_for_conditional_file_info(cases[i].info);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), cases[i].logged);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->get_preset_name_for_ui(), *cases[i].expected ? cases[i].expected : "Custom");
    }
    // The switch off: the rules are not read.
    g->enable_conditional_presets = false;
    g->arr_conditional_presets = {rule("all", true, "VidB", "", 0)};
    EXPECT_EQ(*g->get_default_preset_for_conditional_file_info(facts(true, false, false))->name, "HAP(A) Fast");
}

TEST_F(Prefs, DefaultChoice) {
    GlobalSettingsRef g = GlobalSettings::init();
    SettingsList &lib = *g->settings_list;
    lib.save_new_preset_overwrite(*preset("AudioNamed", false), false);
    lib.save_new_preset_overwrite(*preset("NoVideo", false), false);
    // A named default is returned as is, even when it does not suit.
    g->default_preset_video_with_alpha = "NoVideo";
    EXPECT_EQ(g->get_last_preset_with_vid_and_aud_and_have_alpha(true, true, true),
              lib.get_setting_by_name(std::string("NoVideo")));
    // No library "HAP(A) Fast": the new one comes back custom.
    SettingRef v = g->get_last_preset_with_vid_and_aud_and_have_alpha(true, false, false);
    EXPECT_TRUE(v->is_custom());
    EXPECT_TRUE(v->vid_enable_video);
    SettingRef a = g->get_last_preset_with_vid_and_aud_and_have_alpha(false, true, false);
    EXPECT_TRUE(a->is_custom());
    EXPECT_FALSE(a->vid_enable_video);
    // The stored last preset loses its name when the library no longer holds it as it is.
    g->set_last_preset(*preset("AudioNamed", false));
    g->last_preset->aud_quantif = 2;
    SettingRef last = g->get_last_preset_with_vid_and_aud_and_have_alpha(false, true, false);
    EXPECT_EQ(last, g->last_preset);
    EXPECT_TRUE(g->last_preset->is_custom());
    // Unchanged, it keeps it.
    g->set_last_preset(*preset("AudioNamed", false));
    EXPECT_EQ(*g->get_last_preset_with_vid_and_aud_and_have_alpha(false, true, false)->name, "AudioNamed");

    EXPECT_EQ(g->get_default_alpha_interpret(), 0u);
    g->default_alpha_mode = 2;
    EXPECT_EQ(g->get_default_alpha_interpret(), 1u);
    g->default_alpha_mode = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(g->get_default_alpha_interpret(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown default alpha interpret mode\n");
}

}  // namespace
