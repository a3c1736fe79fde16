#include "model/settings/media_src_interpret.h"

#include <gtest/gtest.h>

#include "platform/foundation/xml_writer.h"

namespace {

struct InterpretReader : XmlEventHandler {
    MediaSrcInterpretation m;
    void xml_start_element(const std::string &name, const XmlAttributes &a) override {
        if (name == "media_src_interpret") m.set_main_attributes_with_xml_dict(a);
    }
};

std::string written(const MediaSrcInterpretation &m) {
    XmlStreamWriter w;
    w.start_element("main_file_in");
    m.write(w);
    w.end_document();
    return w.text();
}

TEST(MediaSrcInterpretation, XmlRoundTrip) {
    MediaSrcInterpretation fresh;
    EXPECT_EQ(written(fresh), "<main_file_in />");  // nothing for the defaults

    MediaSrcInterpretation m;
    m.obj.alpha_mode = 3;
    m.obj.video_range = 2;
    m.obj.interpret_fps = 3;
    m.obj.custom_fps = 29.97;
    m.src_fps_custom_val_eval_str = "30000/1001";
    const std::string text = written(m);
    EXPECT_EQ(text,
              "<main_file_in>\n\t<media_src_interpret k=\"alpha_mode\" v=\"4\" />\n\t<media_src_interpret "
              "k=\"video_range\" v=\"3\" />\n\t<media_src_interpret k=\"interpret_fps\" v=\"4\" />\n\t"
              "<media_src_interpret k=\"custom_fps\" v=\"29.970000\" />\n\t<media_src_interpret "
              "k=\"custom_fps_eval_str\" v=\"30000/1001\" />\n</main_file_in>");
    InterpretReader r;
    std::string error;
    ASSERT_TRUE(xml_parse_text(text, r, &error)) << error;
    EXPECT_EQ(r.m.obj.alpha_mode, 3u);
    EXPECT_EQ(r.m.obj.video_range, 2u);
    EXPECT_EQ(r.m.obj.interpret_fps, 3u);
    EXPECT_EQ(r.m.obj.custom_fps, double(29.97f));
    EXPECT_EQ(r.m.src_fps_custom_val_eval_str, "30000/1001");
}

TEST(MediaSrcInterpretation, ReadRules) {
    const struct {
        const char *k, *v;
        uint32_t alpha, range, fps;
        double custom;
        const char *printed;
    } cases[] = {
        {"alpha_mode", "1", 0, 1, 5, 30.0, ""},
        {"alpha_mode", "0", 0, 1, 5, 30.0, "Unknown VideoSetting_SrcAlphaMode val : 0"},
        {"alpha_mode", "-2", 2, 1, 5, 30.0, ""},  // unreadable: ignored
        {"video_range", "1", 2, 0, 5, 30.0, ""},
        {"video_range", "7", 2, 0, 5, 30.0, ""},
        {"interpret_fps", "12", 2, 1, 0, 30.0, "Unknown VideoSetting_SrcInterpretFps val : 12"},
        {"custom_fps", "0.5", 2, 1, 5, 30.0, ""},
        {"custom_fps", "fast", 2, 1, 5, 30.0, ""},
        {"custom_fps", "1e39", 2, 1, 5, 30.0, ""},
        {"custom_fps", "48", 2, 1, 5, 48.0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.k) + "=" + c.v);
        MediaSrcInterpretation m;
        m.obj.alpha_mode = 2, m.obj.video_range = 1, m.obj.interpret_fps = 5, m.obj.custom_fps = 30.0;
        testing::internal::CaptureStdout();
        m.set_main_attributes_with_xml_dict({{"k", c.k}, {"v", c.v}});
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(m.obj.alpha_mode, c.alpha);
        EXPECT_EQ(m.obj.video_range, c.range);
        EXPECT_EQ(m.obj.interpret_fps, c.fps);
        EXPECT_EQ(m.obj.custom_fps, c.custom);
    }
}

TEST(MediaSrcInterpretation, EffectiveValues) {
    MediaSrcInterpretation m;
    const ZRational src{30000, 1001};
    const struct {
        uint32_t mode;
        double custom;
        ZRational expected;
        const char *printed;
    } rates[] = {
        {0, 25, {30000, 1001}, ""},
        {1, 25, {24000, 1001}, ""},
        {8, 25, {60000, 1001}, ""},
        {10, 29.97, {299700, 10000}, ""},
        {10, 1.0, {25, 1}, "WARNING invalid custom fps :  1\n"},
        {10, 500000.0, {25, 1}, "WARNING invalid custom fps : 500000\n"},
        {11, 25, {25, 1}, ""},
    };
    for (const auto &r : rates) {
        SCOPED_TRACE(r.mode);
        m.obj.interpret_fps = r.mode;
        m.obj.custom_fps = r.custom;
        testing::internal::CaptureStdout();
        const ZRational got = m.get_fps_with_src(src);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.printed);
        EXPECT_EQ(got.num, r.expected.num);
        EXPECT_EQ(got.den, r.expected.den);
    }
    m.obj.alpha_mode = 3;  // ignore alpha
    EXPECT_FALSE(m.is_alpha_need_with_src(true));
    EXPECT_EQ(m.get_alpha_mode_with_src(1), 0u);
    m.obj.alpha_mode = 0;
    m.obj.default_alpha = 1;
    EXPECT_EQ(m.get_alpha_mode_with_src(2), 1u);
    EXPECT_EQ(m.get_alpha_mode_with_src(0), 0u);
    m.obj.video_range = 2;
    EXPECT_EQ(m.get_color_range_with_src(0), 1u);
    m.obj.video_range = 0;
    EXPECT_EQ(m.get_color_range_with_src(0), 0u);
}

TEST(ParseAudioEntries, Attributes) {
    auto t = ParseAudioTrack::init_with_xml_dict({{"itr", "2"}});
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->track_enable);
    EXPECT_EQ(t->index_track, 2u);
    EXPECT_FALSE(ParseAudioTrack::init_with_xml_dict({{"itr", "2"}, {"enable", "NO"}})->track_enable);
    EXPECT_FALSE(ParseAudioTrack::init_with_xml_dict({{"itr", "-1"}}));
    EXPECT_FALSE(ParseAudioTrack::init_with_xml_dict({{"enable", "YES"}}));
    // Masks use the whole unsigned range: the top bit is output channel 64.
    auto c = ParseAudioChannel::init_with_xml_dict({{"ch", "1"}, {"map", "9223372036854775808"}});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->mapping, uint64_t(1) << 63);
    for (const char *bad : {"-4", "", "1x", "18446744073709551616", " 3"})
        EXPECT_FALSE(ParseAudioChannel::init_with_xml_dict({{"ch", "0"}, {"map", bad}})) << bad;
    EXPECT_FALSE(ParseAudioChannel::init_with_xml_dict({{"map", "1"}}));
    t->add_audio_channel_info(c);
    t->add_audio_channel_info(nullptr);
    EXPECT_EQ(t->arr_audio_channels.size(), 1u);
}

}  // namespace
