#include "model/settings/conditional_preset.h"

#include <gtest/gtest.h>

#include "platform/foundation/file_io.h"
#include "platform/foundation/xml_writer.h"
#include "testutil/testutil.h"

namespace {

using Lines = std::vector<std::string>;

ConditionPresetFileInfo file(const char *path, uint32_t w = 1920, uint32_t h = 1080) {
    ConditionPresetFileInfo f = ConditionPresetFileInfo::init_with_filepath(path);
    f.width = w, f.height = h;
    f.have_video = w != 0;
    return f;
}

PresetConditionRef text_cond(uint32_t mode, Lines in, Lines out, bool match_case = false) {
    PresetConditionRef c = PresetConditionObj::init_for_mode(mode);
    c->arr_text_contains = std::move(in);
    c->arr_text_not_contains = std::move(out);
    c->match_case = match_case;
    return c;
}

PresetConditionRef cmp_cond(uint32_t mode, uint32_t op, uint32_t ref) {
    PresetConditionRef c = PresetConditionObj::init_for_mode(mode);
    c->compare_mode = op;
    c->ref_uint32_value = ref;
    return c;
}

TEST(PresetCondition, Tests) {
    const struct {
        PresetConditionRef cond;
        ConditionPresetFileInfo info;
        bool expected;
    } cases[] = {
        {text_cond(1, {".MOV"}, {}), file("/a/clip.mov"), true},
        {text_cond(1, {".MOV"}, {}, true), file("/a/clip.mov"), false},
        {text_cond(1, {"mp"}, {}), file("/a/clip.mpg"), true},
        {text_cond(1, {"", "."}, {}), file("/a/clip.mov"), true},  // cleaned to nothing: holds
        {text_cond(0, {}, {}), file("/a/x.mov"), true},
        {text_cond(0, {"intro", "logo"}, {"test"}), file("/a/Logo_final.mov"), true},
        {text_cond(0, {"intro", "logo"}, {"test"}), file("/a/logo_TEST.mov"), false},
        {text_cond(0, {"mov"}, {}), file("/a/clip.mov"), false},  // the name has no extension
        {cmp_cond(2, 0, 0), file("/a/x.wav", 0, 0), true},
        {cmp_cond(2, 5, 1920), file("/a/x.mov"), true},
        {cmp_cond(3, 4, 1080), file("/a/x.mov"), false},
        {cmp_cond(3, 3, 1080), file("/a/x.mov"), true},
        {cmp_cond(2, 1, 1920), file("/a/x.mov"), false},
        {cmp_cond(2, 2, 1921), file("/a/x.mov"), true},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cases[i].cond->is_condition_valid_for_file(cases[i].info), cases[i].expected);
    }
}

TEST(PresetCondition, UiText) {
    EXPECT_EQ(text_cond(0, {"intro", "", "logo"}, {"test"})->get_name_for_ui(),
              "Filename ; Contains : 'intro', 'logo' ; Not contains : 'test'");
    EXPECT_EQ(text_cond(1, {}, {})->get_name_for_ui(), "Extension");
    EXPECT_EQ(cmp_cond(2, 5, 1920)->get_name_for_ui(), "Width >= 1920");
    EXPECT_EQ(cmp_cond(3, 9, 4)->get_name_for_ui(), "Height == 4");
}

TEST(ConditionalPreset, MatchingAndNames) {
    ConditionalPreset p;
    EXPECT_TRUE(p.is_condition_valid_for_file(file("/x.mov")));  // no condition: every file
    p.preset_alpha = "A", p.preset_no_alpha = "N", p.preset_audio_only = "W";
    ConditionPresetFileInfo f = file("/x.mov");
    EXPECT_EQ(p.get_preset_name_for_file(f), "N");
    f.have_video_with_alpha = true;
    EXPECT_EQ(p.get_preset_name_for_file(f), "A");
    EXPECT_EQ(p.get_preset_name_for_file(file("/x.wav", 0, 0)), "W");
    EXPECT_EQ(p.get_name_for_ui(), "No name");
    p.arr_conditions = {cmp_cond(2, 0, 1920), cmp_cond(3, 0, 720)};
    EXPECT_FALSE(p.is_condition_valid_for_file(file("/x.mov")));
}

TEST(ConditionalPreset, XmlRoundTrip) {
    ConditionalPreset p;
    p.name = "Logos";
    p.is_enabled = false;
    p.preset_alpha = "HAP(A) Fast";
    p.arr_conditions = {text_cond(1, {".mov", ""}, {"tmp"}, true), cmp_cond(2, 5, 1920)};
    XmlStreamWriter w;
    w.start_element("root");
    p.write(w);
    w.end_document();
    EXPECT_EQ(w.text(),
              "<root>\n\t<conditional_preset is_enabled=\"NO\" name=\"Logos\" preset_no_alpha=\"\" "
              "preset_alpha=\"HAP(A) Fast\" preset_audio_only=\"\">\n\t\t<preset_condition mode=\"1\" "
              "match_case=\"YES\">\n\t\t\t<preset_condition_data k=\"contains\" v=\".mov\" />\n\t\t\t"
              "<preset_condition_data k=\"contains\" v=\"\" />\n\t\t\t<preset_condition_data k=\"not_contains\" "
              "v=\"tmp\" />\n\t\t</preset_condition>\n\t\t<preset_condition mode=\"2\" compare_mode=\"5\" "
              "ref_value=\"1920\" />\n\t</conditional_preset>\n</root>");
    struct Reader : XmlEventHandler {
        ConditionalPresetRef p;
        void xml_start_element(const std::string &name, const XmlAttributes &a) override {
            if (name == "conditional_preset") {
                p = ConditionalPreset::init();
                p->set_from_xml_dict(a);
            } else if (name == "preset_condition") {
                p->create_preset_condition_from_xml_dict(a);
            } else if (name == "preset_condition_data") {
                p->add_data_to_last_condition_from_xml_dict(a);
            }
        }
    } r;
    std::string error;
    ASSERT_TRUE(xml_parse_text(w.text(), r, &error)) << error;
    ASSERT_TRUE(r.p);
    EXPECT_EQ(r.p->get_json_dict(), p.get_json_dict());

    // Out-of-range numbers fall back with their printed lines; a missing is_enabled is NO.
    ConditionalPreset q;
    q.set_from_xml_dict({{"name", "n"}});
    EXPECT_FALSE(q.is_enabled);
    testing::internal::CaptureStdout();
    q.create_preset_condition_from_xml_dict({{"mode", "9"}, {"compare_mode", "6"}, {"ref_value", "-4"}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unknown HapStandConditionalPreset_Type val : 9 (default filename)"
              "Unknown HapStandConditionalPreset_CompareMode val : 6 (default equal)");
    ASSERT_EQ(q.arr_conditions.size(), 1u);
    EXPECT_EQ(q.arr_conditions[0]->mode, 0u);
    EXPECT_EQ(q.arr_conditions[0]->ref_uint32_value, 0u);
}

TEST(ConditionalPreset, JsonReading) {
    ConditionalPreset p;
    const Json doc = Json::parse(R"({"name": "n", "preset_condition_items": [
        {"mode": "width", "compare_mode": ">=", "ref_value": 1920},
        {"mode": "Width", "ref_value": 3},
        {"mode": "height", "ref_value": -10},
        {"mode": "height", "ref_value": 1e12},
        {"mode": "height", "ref_value": 720.9, "compare_mode": "=>"},
        {"mode": "extension", "contains": ["mov", 4, "mp4"], "match_case": 1},
        7]})");
    EXPECT_EQ(p.set_from_json_dict(doc), "");
    EXPECT_TRUE(p.is_enabled);  // missing in JSON: on
    ASSERT_EQ(p.arr_conditions.size(), 3u);
    EXPECT_EQ(p.arr_conditions[0]->compare_mode, 5u);
    EXPECT_EQ(p.arr_conditions[0]->ref_uint32_value, 1920u);
    EXPECT_EQ(p.arr_conditions[1]->ref_uint32_value, 720u);
    EXPECT_EQ(p.arr_conditions[1]->compare_mode, 0u);
    EXPECT_EQ(p.arr_conditions[2]->arr_text_contains, (Lines{"mov", "mp4"}));
    EXPECT_TRUE(p.arr_conditions[2]->match_case);

    PresetConditionObj c;
    EXPECT_EQ(c.set_from_json_dict(Json::parse(R"({"mode": "Width"})")), "Unknown mode value : Width");
    EXPECT_EQ(c.set_from_json_dict(Json::parse(R"({"x": 1})")), "Fail to find mode key");
    EXPECT_EQ(c.set_from_json_dict(Json::parse(R"([1])")), "Invalid json data (expected Json object for data)");
    EXPECT_EQ(c.set_from_json_dict(Json::parse(R"({"mode": "width", "ref_value": -1})")), "invalid 'ref_value' value");
}

TEST(ConditionalPreset, EditingOperations) {
    ConditionalPreset p;
    p.action_add_preset_condition();  // nothing selected: a file-name condition, selected
    ASSERT_EQ(p.get_preset_condition_count(), 1u);
    EXPECT_EQ(p.get_index_first_selected_item(), 0u);
    p.arr_conditions[0]->arr_text_contains = {"a"};
    p.action_add_preset_condition();  // a copy of the selection right after it
    ASSERT_EQ(p.get_preset_condition_count(), 2u);
    EXPECT_EQ(p.get_index_first_selected_item(), 1u);
    EXPECT_EQ(p.arr_conditions[1]->arr_text_contains, Lines{"a"});
    EXPECT_NE(p.arr_conditions[0], p.arr_conditions[1]);
    p.select_preset_for_str_index("2");
    EXPECT_EQ(p.get_index_first_selected_item(), kConditionalNotFound);
    EXPECT_FALSE(p.get_first_selected_obj());
    p.select_preset_for_str_index("0");
    p.remove_selected_preset_condition();
    EXPECT_EQ(p.get_preset_condition_count(), 1u);
    EXPECT_EQ(p.get_index_first_selected_item(), 0u);

    ConditionalPresetList l;
    ConditionalPreset a, b;
    a.name = "a", b.name = "b";
    l.set_new_conditional_preset_obj_is_mode_add(a, true);
    l.set_new_conditional_preset_obj_is_mode_add(b, true);
    EXPECT_EQ(l.get_arr_name_conditional_preset_for_ui(), (Lines{"a", "b"}));
    l.select_conditional_preset_for_str_index("0");
    l.set_new_conditional_preset_obj_is_mode_add(b, false);  // replaces the selection
    EXPECT_EQ(l.get_arr_name_conditional_preset_for_ui(), (Lines{"b", "b"}));
    l.select_conditional_preset_for_str_index("3");
    EXPECT_FALSE(l.get_first_selected_preset());
    l.remove_first_selected_obj();  // nothing selected: nothing removed
    EXPECT_EQ(l.arr_objs.size(), 2u);
    l.select_conditional_preset_for_str_index("1");
    l.remove_first_selected_obj();
    EXPECT_EQ(l.arr_objs.size(), 1u);
    EXPECT_EQ(l.get_index_first_selected_item(), 0u);
    EXPECT_EQ(l.get_list_enable_preset({true, true}).size(), 1u);  // the shorter length
}

TEST(ConditionalPresetList, JsonFile) {
    testutil::TempDir dir;
    ConditionalPresetList l;
    ConditionalPreset p;
    p.name = "p";
    p.preset_no_alpha = "HAP(A) Fast";
    p.arr_conditions = {text_cond(0, {"intro"}, {}), cmp_cond(3, 2, 720)};
    l.set_with_arr_obj({p.mutableCopyWithZone()});
    const std::string path = dir.file("c.json");
    ASSERT_TRUE(l.write_to_file(path));
    ConditionalPresetList back;
    ASSERT_TRUE(back.load_from_file(path));
    ASSERT_EQ(back.arr_objs.size(), 1u);
    EXPECT_EQ(back.arr_objs[0]->get_json_dict(), p.get_json_dict());

    ASSERT_TRUE(write_file_atomic(path, std::string(R"({"items": [{"name": "x"}, "y"]})"), nullptr));
    EXPECT_FALSE(back.load_from_file(path));
    EXPECT_EQ(back.arr_err_import_export,
              Lines{"Fail to read json data for item : 1 : Invalid json data (expected Json object for data)"});
    EXPECT_EQ(back.arr_objs.size(), 1u);
    EXPECT_FALSE(back.load_from_file(dir.file("c.JSON")));
    EXPECT_EQ(back.arr_err_import_export.back(), "Unsupported file extension : JSON");
}

}  // namespace
