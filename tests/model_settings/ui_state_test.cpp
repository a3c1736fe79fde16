#include "model/settings/ui_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/xml_writer.h"

namespace {

XmlAttributes kv(const char *k, const char *v) { return {{"d", "edit_task"}, {"k", k}, {"v", v}}; }

TEST(GlobalSettingsEditTask, WriteAndReadBack) {
    for (uint32_t mode : {1u, 2u, 3u}) {
        SCOPED_TRACE(mode);
        auto t = GlobalSettingsEditTask::init();
        t->ui_mode = mode;
        t->enable_gpu_pvw = false;
        t->pvw_channel_mode = 2;
        t->pvw_bg_mode = 4;
        t->pvw_timemode = 3;
        XmlStreamWriter w;
        w.start_element("root");
        t->write(w);
        w.end_document();
        // ui_mode is stored one below its value.
        EXPECT_NE(w.text().find("k=\"ui_mode\" v=\"" + std::to_string(mode - 1) + "\""), std::string::npos);
        auto back = GlobalSettingsEditTask::init();
        struct Reader : XmlEventHandler {
            GlobalSettingsEditTask *t;
            void xml_start_element(const std::string &name, const XmlAttributes &a) override {
                if (name == "dialog_params") t->set_with_xml_attribute(a);
            }
        } r;
        r.t = back.get();
        std::string error;
        ASSERT_TRUE(xml_parse_text(w.text(), r, &error)) << error;
        EXPECT_EQ(back->ui_mode, mode);
        EXPECT_FALSE(back->enable_gpu_pvw);
        EXPECT_EQ(back->pvw_channel_mode, 2u);
        EXPECT_EQ(back->pvw_bg_mode, 4u);
        EXPECT_EQ(back->pvw_timemode, 3u);
    }
}

TEST(GlobalSettingsEditTask, ReadRules) {
    const struct {
        const char *k, *v;
        uint32_t GlobalSettingsEditTask::*field;
        uint32_t expected;
        const char *printed;
    } cases[] = {
        {"ui_mode", "5", &GlobalSettingsEditTask::ui_mode, 1,
         "Unknown HapStand_UIParametersMode val : 5 (default basic)"},
        {"ui_mode", "x", &GlobalSettingsEditTask::ui_mode, 3, ""},  // unreadable: unchanged
        {"pvw_timemode", "0", &GlobalSettingsEditTask::pvw_timemode, 0, ""},
        {"pvw_timemode", "7", &GlobalSettingsEditTask::pvw_timemode, 0, ""},
        {"pvw_timemode", "2", &GlobalSettingsEditTask::pvw_timemode, 2, ""},
        {"pvw_channel_mode", "3", &GlobalSettingsEditTask::pvw_channel_mode, 0,
         "Unknown GpuPvwTaskRenderer_ChannelMode val : 3 (default RGBA)"},
        {"pvw_bg_mode", "5", &GlobalSettingsEditTask::pvw_bg_mode, 0,
         "Unknown GpuPvwTaskRenderer_BackgroundMode val : 5 (default Black)"},
        {"pvw_bg_mode", "-1", &GlobalSettingsEditTask::pvw_bg_mode, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.k) + "=" + c.v);
        GlobalSettingsEditTask t;
        t.ui_mode = 3;
        t.pvw_timemode = 1;
        t.pvw_channel_mode = 1;
        t.pvw_bg_mode = 2;
        testing::internal::CaptureStdout();
        t.set_with_xml_attribute(kv(c.k, c.v));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(t.*c.field, c.expected);
    }
    GlobalSettingsEditTask t;
    t.set_with_xml_attribute(kv("enable_gpu_pvw", "yes"));  // only "YES" is true
    EXPECT_FALSE(t.enable_gpu_pvw);
    t.set_with_xml_attribute({{"k", "pvw_bg_mode"}});  // no value: nothing
    EXPECT_EQ(t.pvw_bg_mode, 0u);
}

TEST(PanelSettings, XmlForm) {
    PanelSettings p;
    p.coord_x = 10, p.coord_y = 20, p.width = 1440.5, p.height = 900;
    p.is_visible = true;
    XmlStreamWriter w;
    w.start_element("panel");
    p.write(w);
    w.end_document();
    EXPECT_EQ(w.text(),
              "<panel is_visible=\"YES\" is_full_screen=\"NO\" x=\"10.000000\" y=\"20.000000\" "
              "w=\"1440.500000\" h=\"900.000000\" />");
    auto back = PanelSettings::init_with_xml_dict(
        {{"is_visible", "YES"}, {"x", "1234.567"}, {"y", "abc"}, {"w", "1440.5"}, {"h", "900"}});
    ASSERT_TRUE(back);
    EXPECT_EQ(back->coord_x, double(1234.567f));  // through single precision
    EXPECT_EQ(back->coord_y, 0.0);                // not a number reads 0
    EXPECT_EQ(back->width, 1440.5);
    EXPECT_TRUE(back->is_visible);
    EXPECT_FALSE(back->is_full_screen);
    EXPECT_FALSE(PanelSettings::init_with_xml_dict({{"x", "1"}, {"y", "1"}, {"w", "1"}}));
    EXPECT_FALSE(PanelSettings::init_with_xml_dict({{"x", "1e39"}, {"y", "1"}, {"w", "1"}, {"h", "1"}}));
}

TEST(PanelSettings, ValidPositionAndWindow) {
    struct Win : PanelWindow {
        PanelRect frame() const override { return {100, 50, 800, 600}; }
        bool is_full_screen() const override { return true; }
        bool is_visible() const override { return true; }
    } win;
    auto p = PanelSettings::init_with_window(&win);
    EXPECT_EQ(p->width, 800);
    EXPECT_TRUE(p->is_full_screen);
    p->update_is_valid_pos({{0, 0, 640, 480}, {0, 0, 1920, 1080}});
    EXPECT_TRUE(p->is_valid_pos);
    p->update_is_valid_pos({{0, 0, 640, 480}, {1920, 0, 1920, 1080}});
    EXPECT_FALSE(p->is_valid_pos);
    auto none = PanelSettings::init_with_window(nullptr);
    EXPECT_EQ(none->width, 0);
    EXPECT_TRUE(none->is_valid_pos);
}

TEST(StateDictionaries, EntriesAndWriting) {
    SettingBoolState b;
    b.set_entry_for_xml_attribute({{"k", "grp"}, {"v", "yes"}});
    EXPECT_TRUE(b.have_val_for_key("grp"));
    EXPECT_FALSE(b.get_val_for_key_and_default_val("grp", true));
    EXPECT_TRUE(b.get_val_for_key_and_default_val("other", true));
    b.set_entry_for_xml_attribute({{"k", "x"}});
    EXPECT_FALSE(b.have_val_for_key("x"));
    b.set_val_for_arr_keys(true, {"b", "a"});
    auto copy = b.mutableCopyWithZone();
    copy->set_val_for_key(false, "a");
    EXPECT_TRUE(b.get_val_for_key_and_default_val("a", false));

    SettingsDoubleState d;
    d.set_entry_for_xml_attribute({{"k", "split"}, {"v", "0.62"}});
    EXPECT_EQ(d.get_val_for_key_and_default_val("split", 0), double(0.62f));
    d.set_entry_for_xml_attribute({{"k", "huge"}, {"v", "1e40"}});
    EXPECT_FALSE(d.have_val_for_key("huge"));

    XmlStreamWriter w;
    w.start_element("root");
    b.write(w);
    d.write(w);
    w.end_document();
    EXPECT_EQ(
        w.text(),
        "<root>\n\t<ui_bool_setting k=\"a\" v=\"YES\" />\n\t<ui_bool_setting k=\"b\" v=\"YES\" />"
        "\n\t<ui_bool_setting k=\"grp\" v=\"NO\" />\n\t<ui_double_setting k=\"split\" v=\"0.620000\" />\n</root>");
}

TEST(OptionalValues, Equality) {
    OptionalDouble a, b;
    a.v_val = 3;  // unset values are equal whatever they hold
    EXPECT_TRUE(a.is_equal_to_obj(b));
    a.set_value(0.5);
    EXPECT_FALSE(a.is_equal_to_obj(b));
    b.set_value(0.5);
    EXPECT_TRUE(a.is_equal_to_obj(b));
    a.set_value(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(a.is_equal_to_obj(a));
    a.reset();
    EXPECT_FALSE(a.is_set());
    EXPECT_EQ(a.get_value(), 0);

    OptionalBool x, y;
    EXPECT_TRUE(x.is_equal_to_obj(y));
    x.set_value(false);
    EXPECT_TRUE(x.is_false_and_set());
    EXPECT_FALSE(x.is_true_and_set());
    EXPECT_FALSE(x.is_equal_to_obj(y));
    EXPECT_EQ(x.description(), "Optional BOOL : Set : 0");
    EXPECT_EQ(y.description(), "OptionalBOOL : Unset");
}

}  // namespace
