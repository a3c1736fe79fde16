#include <gtest/gtest.h>

#include "media/video_frame.h"
#include "model/settings/setting.h"

namespace {

// Names every output "B" under the "[src_name]" masks the test sets.
struct FixedNaming : NamingData {
    FixedNaming() { folder_src = "/media/shoot", basename_src = "B", audio_channel = 2; }
};

TEST(SettingCrop, ModesAndItems) {
    Setting s;
    EXPECT_EQ(s.get_global_crop_mode(), 6u);
    EXPECT_EQ(s.get_first_crop_item()->mode, 2u);
    EXPECT_EQ(s.get_first_crop_width(), 1920u);
    EXPECT_TRUE(s._arr_multi_crop_items.empty());
    EXPECT_FALSE(s.set_crop_top(4));  // no crop
    EXPECT_TRUE(s._arr_multi_crop_items.empty());

    s.set_global_crop_mode(2);
    ASSERT_EQ(s._arr_multi_crop_items.size(), 1u);
    EXPECT_TRUE(s.set_crop_right(16));
    EXPECT_EQ(s.get_first_crop_right(), 16u);
    EXPECT_EQ(s.get_first_crop_width(), 1920u);
    EXPECT_FALSE(s.set_crop_width(100));
    s.set_global_crop_mode(5);
    s.set_global_crop_mode(2);
    EXPECT_EQ(s.get_first_crop_right(), 16u);  // an edges item keeps its values

    s.set_global_crop_mode(1);
    EXPECT_EQ(s.get_first_crop_width(), 1920u);
    EXPECT_TRUE(s.set_crop_width(640));
    EXPECT_TRUE(s.set_crop_left_eval_str("2*4"));
    EXPECT_EQ(s.get_first_crop_left_eval_str(), "2*4");
    EXPECT_EQ(s.get_first_crop_right(), 0u);
    s.set_global_crop_mode(4);  // keeps the origin-and-size crop
    ASSERT_EQ(s._arr_multi_crop_items.size(), 1u);
    EXPECT_EQ(s._arr_multi_crop_items[0]->crop_right_width, 640u);

    Setting r;
    r.set_global_crop_mode(3);
    EXPECT_TRUE(r.set_crop_screen_width(1000));
    r.vid_crop_scale_to_screen_res = true;
    EXPECT_TRUE(r.need_disable_scale());
    r.set_global_crop_mode(4);  // a screen-ratio crop is not a multicrop item
    ASSERT_EQ(r._arr_multi_crop_items.size(), 1u);
    EXPECT_EQ(r._arr_multi_crop_items[0]->mode, 2u);
    EXPECT_TRUE(r.need_disable_scale());

    Setting m;
    m.is_multi_crop = true;
    for (int i = 0; i < 3; i++) m._arr_multi_crop_items.push_back(CropItem::init());
    m._arr_multi_crop_items[1]->transform_mode = 4;
    EXPECT_TRUE(m.have_transform());
    EXPECT_FALSE(m.set_multi_crop_items({}));
    m.set_new_selected_crop_item(1);
    EXPECT_TRUE(m._arr_multi_crop_items[1]->isSelected);
    CropItem edited;
    edited.crop_left = 12;
    m.update_selected_crop_from_ui_with_video_width_and_video_height(edited, 1920, 1080);
    EXPECT_EQ(m._arr_multi_crop_items[1]->crop_left, 12u);
    m.set_new_selected_crop_item(5);
    for (const CropItemRef &c : m._arr_multi_crop_items) EXPECT_FALSE(c->isSelected);
    EXPECT_EQ(m.get_array_crop_items_for_gpu_pvw().size(), 3u);
    m.set_global_crop_mode(1);
    EXPECT_EQ(m.get_global_crop_mode(), 1u);
    EXPECT_EQ(m._arr_multi_crop_items.size(), 3u);
    EXPECT_EQ(m._arr_multi_crop_items[0]->crop_right_width, 1920u);
    EXPECT_FALSE(m.set_multi_crop_items({CropItem::init()}));
    EXPECT_EQ(m.get_array_crop_items_for_gpu_pvw().size(), 1u);
    EXPECT_TRUE(m._arr_multi_crop_items[0]->isSelected);
    EXPECT_FALSE(m.have_transform());

    Setting none;
    none.update_selected_crop_from_ui_with_video_width_and_video_height(edited, 1920, 1080);
    EXPECT_EQ(none.get_global_crop_mode(), 2u);
    EXPECT_EQ(none.get_first_crop_left(), 12u);
    none.set_global_crop_mode(6);
    EXPECT_TRUE(none._arr_multi_crop_items.empty());
    EXPECT_TRUE(none.get_array_crop_items_for_gpu_pvw()[0]->isSelected);
    EXPECT_TRUE(none._arr_multi_crop_items.empty());
}

TEST(SettingCrop, TargetCodecAndSmartRendering) {
    struct Case {
        uint32_t kind, alpha_mode, codec;
        bool has_alpha;
        uint32_t target;
        bool smart;
    };
    const Case cases[] = {
        {VideoFrameDxtData_HAPA, 0, 0, true, 1, true},
        {VideoFrameDxtData_HAPA, 1, 0, true, 0, true},
        {VideoFrameDxtData_HAPA, 0, 2, true, 3, false},
        {VideoFrameDxtData_HAPA, 2, 5, true, 5, true},
        {VideoFrameDxtData_HAP, 0, 1, false, 0, true},
        {VideoFrameDxtData_HAPQ, 0, 3, true, 3, true},
        {VideoFrameDxtData_HAPQA, 2, 5, true, 5, true},
        {VideoFrameDxtData_HAPQA, 0, 0, true, 1, false},
        {VideoFrameDxtData_HAPAlphaOnly, 2, 4, true, 4, true},
        {VideoFrameDxtData_HAPAlphaOnly, 2, 5, true, 5, false},
        {VideoFrameDxtData_HAPR, 1, 6, true, 6, false},
        {VideoFrameDxtData_HAPR, 0, 6, true, 6, true},
        {VideoFrameDxtData_HAPR, 1, 6, false, 6, true},
        {3, 0, 2, false, 2, true},  // not a HAP source: untouched
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.alpha_mode << " " << c.codec);
        Setting s;
        s.vid_alpha_mode = c.alpha_mode, s.vid_codec_hap = c.codec;
        bool smart = true;
        EXPECT_EQ(s.get_target_codec_from_hap_have_alpha_have_smart_render(c.kind, c.has_alpha, &smart), c.target);
        EXPECT_EQ(smart, c.smart);
        bool off = false;
        s.get_target_codec_from_hap_have_alpha_have_smart_render(c.kind, c.has_alpha, &off);
        EXPECT_FALSE(off);  // never set
    }
}

TEST(SettingCrop, OutputNames) {
    FixedNaming naming;
    Setting s;
    s.nam_video_hap->naming_mask = "[src_name]", s.nam_audio_wav->naming_mask = "[src_name]";
    s.aud_write_wav_file = true, s.aud_write_multi_mono_file = true;
    using V = std::vector<std::string>;
    struct Case {
        uint32_t channels, suffix;
        V names;
    };
    const Case cases[] = {
        {6, 0, {"B_L", "B_R", "B_C", "B_Lfe", "B_Ls", "B_Rs"}},
        {2, 1, {"B_1", "B_2"}},
        {2, 0, {"B_L", "B_R"}},
        {1, 0, {"B"}},
        {4, 0, {"B_1_L", "B_1_R", "B_2_L", "B_2_R"}},
        {8, 0, {"B_L", "B_R", "B_C", "B_Lfe", "B_Lss", "B_Rss", "B_Lrs", "B_Rrs"}},
        {3, 0, {}},
        {3, 1, {"B_1", "B_2", "B_3"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " " << c.suffix);
        naming.audio_channel = c.channels;
        s.aud_multi_mono_suffix = c.suffix;
        EXPECT_EQ(s.get_target_wav_basename_and_custom_name_hap_out(naming, std::nullopt), c.names);
    }
    naming.audio_channel = 2;
    s.aud_multi_mono_suffix = 1;
    EXPECT_EQ(s.get_target_wav_basename_and_custom_name_hap_out(naming, std::string("/x/custom.mov")),
              (V{"custom_1", "custom_2"}));
    s.aud_write_multi_mono_file = false;
    EXPECT_EQ(s.get_target_wav_basename_and_custom_name_hap_out(naming, std::nullopt), V{"B"});
    s.aud_write_wav_file = false;
    EXPECT_EQ(s.get_target_wav_basename_and_custom_name_hap_out(naming, std::nullopt), V{});

    EXPECT_EQ(s.get_target_hap_folder(naming), "/media/shoot");
    EXPECT_EQ(s.get_target_audio_folder_and_custom_name_hap_out(naming, std::string("/x/custom.mov")), "/x");
    s.nam_use_video_hap_for_wav = false;
    s.nam_audio_wav->folder_mode = 1, s.nam_audio_wav->custom_folder = "/wav";
    EXPECT_EQ(s.get_target_audio_folder_and_custom_name_hap_out(naming, std::string("/x/custom.mov")), "/wav");

    s.vid_chunks = 16;
    EXPECT_EQ(s.get_chunk_for_naming(), 16u);
    s.vid_enable_snappy = false;
    EXPECT_EQ(s.get_chunk_for_naming(), 1u);
}

TEST(SettingCrop, InterfaceTexts) {
    Setting s;
    EXPECT_EQ(s.get_audio_freq_for_ui(), "48");
    s.aud_frequency = 0;
    EXPECT_EQ(s.get_audio_freq_for_ui(), "44.1");
    s.aud_frequency = 2;
    EXPECT_EQ(s.get_audio_freq_for_ui(), "Invalid freq");
    s.aud_quantif = 1;
    EXPECT_EQ(s.get_audio_quantif_for_ui(), "24Bits LE");
    s.aud_quantif = 3;
    EXPECT_EQ(s.get_audio_quantif_for_ui(), "Invalid Quantif");
    EXPECT_EQ(s.get_overwrite_fps_line_for_ui(), "");
    s.vid_fps_mode = 1, s.vid_fps_custom = 7;
    EXPECT_EQ(s.get_overwrite_fps_line_for_ui(), "Interpret as : 59.94 fps");
    s.vid_fps_custom = 9;
    EXPECT_EQ(s.get_overwrite_fps_line_for_ui(), "");
    EXPECT_STREQ(global_crop_mode_name(9), "OriginAndSize");
    EXPECT_STREQ(global_crop_mode_name(6), "NoCrop");
}

}  // namespace
