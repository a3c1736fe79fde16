// Editing several tasks at once: differ flags, defaults, setters and the same-geometry flags.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "model/queue/rq_task_list.h"
#include "queue_fixture.h"

namespace {

std::string text_of(const std::optional<std::string> &s) { return s ? "'" + *s + "'" : "none"; }

TEST(RqTaskList, EmptyListIsRefused) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RqTaskList::init_with_arr_tasks({}), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : Invalid task list empty"), std::string::npos);
}

TEST(RqTaskList, DifferFlags) {
    using Setup = std::function<void(Setting &, Setting &)>;
    using Get = std::function<std::string(const RqTaskList &, bool *)>;
    const Get chunks = [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_chunks(d)); };
    const struct {
        const char *name;
        Setup setup;
        Get get;
        std::string value;
        bool differ;
    } cases[] = {
        {"video on and off", [](Setting &a, Setting &b) { a.vid_enable_video = false, b.vid_enable_video = true; },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_enable_video(d)); }, "1", true},
        {"alpha modes 0 and 1", [](Setting &a, Setting &b) { a.vid_alpha_mode = 0, b.vid_alpha_mode = 1; },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_alpha_mode(d)); }, "2", true},
        {"scale link on and off",
         [](Setting &a, Setting &b) { a.vid_enable_scale_link_ratio = true, b.vid_enable_scale_link_ratio = false; },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_enable_scale_link_ratio(d)); }, "0", true},
        {"upper case gives the first",
         [](Setting &a, Setting &b) {
             a.nam_video_hap->force_upper_case = false, b.nam_video_hap->force_upper_case = true;
         },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_naming_force_upper_case(d)); }, "0", true},
        {"codecs", [](Setting &a, Setting &b) { a.vid_codec_hap = 3, b.vid_codec_hap = 6; },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_codec_hap(d)); }, "3", true},
        {"same chunks", [](Setting &a, Setting &b) { a.vid_chunks = b.vid_chunks = 4; }, chunks, "4", false},
        {"snappy off: chunk counts not compared",
         [](Setting &a, Setting &b) {
             a.vid_enable_snappy = b.vid_enable_snappy = false, a.vid_chunks = 4, b.vid_chunks = 16;
         },
         chunks, "8", false},
        {"snappy only on the second",
         [](Setting &a, Setting &b) { a.vid_enable_snappy = false, a.vid_chunks = 4, b.vid_chunks = 16; }, chunks, "16",
         false},
        {"chunks differ", [](Setting &a, Setting &b) { a.vid_chunks = 4, b.vid_chunks = 16; }, chunks, "4", true},
        {"alpha-only codecs take no quality",
         [](Setting &a, Setting &b) {
             a.vid_codec_hap = 4, b.vid_codec_hap = 5, a.vid_hap_quality = 0, b.vid_hap_quality = 2;
         },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_vid_hap_quality(d)); }, "1", false},
        {"no custom scale", [](Setting &, Setting &) {},
         [](const RqTaskList &l, bool *d) {
             bool d2 = false;
             const std::string v = std::to_string(l.get_vid_scale_screen_width(d)) + "x" +
                                   std::to_string(l.get_vid_scale_screen_height(&d2));
             *d = *d || d2;
             return v;
         },
         "1920x1080", false},
        {"none folder and empty folder",
         [](Setting &a, Setting &b) { a.nam_video_hap->custom_folder.reset(), b.nam_video_hap->custom_folder = ""; },
         [](const RqTaskList &l, bool *d) { return text_of(l.get_vid_custom_folder(d)); }, "none", true},
        {"two none folders",
         [](Setting &a, Setting &b) { a.nam_audio_wav->custom_folder.reset(), b.nam_audio_wav->custom_folder.reset(); },
         [](const RqTaskList &l, bool *d) { return text_of(l.get_aud_custom_folder(d)); }, "none", false},
        {"NaN gains", [](Setting &a, Setting &b) { a.aud_set_gain_val = b.aud_set_gain_val = NAN; },
         [](const RqTaskList &l, bool *d) { return std::to_string(std::isnan(l.get_aud_set_gain(d))); }, "1", true},
        {"preset names", [](Setting &a, Setting &b) { a.name.reset(), b.name = "HAP"; },
         [](const RqTaskList &l, bool *d) { return text_of(l.get_preset_name(d)); }, "none", true},
        {"multicrop item names",
         [](Setting &a, Setting &b) {
             for (Setting *s : {&a, &b}) {
                 s->set_global_crop_mode(VideoSetting_GlobalCropMode_Multicrop);
                 CropItemRef i = CropItem::init();
                 i->name = s == &a ? "A" : "B";
                 s->set_multi_crop_items({i});
             }
         },
         [](const RqTaskList &l, bool *d) { return l.get_multi_crop_items(d).at(0)->name; }, "A", true},
        {"text replacement rules",
         [](Setting &a, Setting &b) {
             TxtReplaceRef r = SettingNamingSrcNameTxtReplace::init();
             r->txt_find = "x";
             a.nam_video_hap->set_arr_src_txt_replace({r});
             r->txt_find = "y";
             b.nam_video_hap->set_arr_src_txt_replace({r});
         },
         [](const RqTaskList &l, bool *d) { return l.get_vid_naming_txt_replace_items(d).at(0)->txt_find; }, "x", true},
        {"quality need differs", [](Setting &a, Setting &b) { a.vid_codec_hap = 1, b.vid_codec_hap = 4; },
         [](const RqTaskList &l, bool *d) { return std::to_string(l.get_need_codec_quality(d)); }, "1", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // A third task equal to the second: only the first differs.
        std::vector<RqTaskRef> tasks = bare_tasks({0, 0, 0});
        c.setup(*tasks[0]->setting, *tasks[1]->setting);
        Setting spare;
        c.setup(spare, *tasks[2]->setting);
        RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
        ASSERT_NE(l, nullptr);
        bool differ = !c.differ;
        EXPECT_EQ(c.get(*l, &differ), c.value);
        EXPECT_EQ(differ, c.differ);
    }
}

TEST(RqTaskList, OneTaskGivesItsOwnValue) {
    std::vector<RqTaskRef> tasks = bare_tasks({0});
    tasks[0]->setting->vid_enable_snappy = false;
    tasks[0]->setting->vid_chunks = 5;
    RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
    bool differ = true;
    EXPECT_EQ(l->get_vid_chunks(&differ), 5u);
    EXPECT_FALSE(differ);
    EXPECT_TRUE(l->is_single_task);
}

TEST(RqTaskList, DefaultsWithoutApplyingTask) {
    std::vector<RqTaskRef> tasks = bare_tasks({0, 0});
    for (const RqTaskRef &t : tasks) t->setting->vid_enable_snappy = false;
    RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
    bool d[8];
    EXPECT_EQ(l->get_vid_chunks(&d[0]), 8u);
    EXPECT_EQ(l->get_vid_scale_width(&d[1]), 1920u);
    EXPECT_EQ(l->get_vid_scale_height(&d[2]), 1080u);
    EXPECT_EQ(l->get_src_interpret_fps_val(&d[3]), 25.0);
    EXPECT_EQ(l->get_src_interpret_fps_val_eval_str(&d[4]), "");
    EXPECT_EQ(l->get_vid_fps_custom(&d[5]), 2u);
    bool applies = true;
    EXPECT_EQ(l->get_src_alpha_mode_and_is_need(&d[6], &applies), 0u);
    EXPECT_FALSE(applies);
    for (bool f : {d[0], d[1], d[2], d[3], d[4], d[5], d[6]}) EXPECT_FALSE(f);
}

TEST(RqTaskList, SettersWithAndWithoutMultipleValues) {
    std::vector<RqTaskRef> tasks = bare_tasks({0, 0});
    tasks[0]->setting->set_global_crop_mode(VideoSetting_GlobalCropMode_OriginAndSize);
    tasks[1]->setting->set_global_crop_mode(VideoSetting_GlobalCropMode_EdgesCrop);
    tasks[1]->setting->vid_enable_snappy = false;
    RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
    l->set_vid_chunks_and_mv(3, true);
    l->set_vid_crop_width_and_mv(100, true);
    l->set_vid_output_mask_and_mv(std::string("[src_name]"), true);
    for (const RqTaskRef &t : tasks) {
        EXPECT_EQ(t->setting->vid_chunks, 8u);
        EXPECT_EQ(t->setting->nam_video_hap->naming_mask, "[src_name]_[codec]");
    }
    EXPECT_EQ(tasks[0]->setting->get_first_crop_width(), 1920u);

    testing::internal::CaptureStderr();
    l->set_vid_chunks_and_mv(3, false);
    l->set_vid_crop_width_and_mv(100, false);
    l->set_vid_output_mask_and_mv(std::string("[src_name]"), false);
    testing::internal::GetCapturedStderr();
    for (const RqTaskRef &t : tasks) {
        EXPECT_EQ(t->setting->vid_chunks, 3u);  // written also where snappy is off
        EXPECT_EQ(t->setting->nam_video_hap->naming_mask, "[src_name]");
    }
    EXPECT_EQ(tasks[0]->setting->get_first_crop_width(), 100u);
    EXPECT_EQ(tasks[1]->setting->get_first_crop_right(), 0u);  // an edges crop has no width
}

TEST(RqTaskList, MulticropItemsAreNotShared) {
    std::vector<RqTaskRef> tasks = bare_tasks({0, 0});
    for (const RqTaskRef &t : tasks) t->setting->set_global_crop_mode(VideoSetting_GlobalCropMode_Multicrop);
    RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
    CropItemRef item = CropItem::init();
    item->crop_left = 8;
    l->set_vid_multicrop_array_items_and_mv({item}, false);
    const std::vector<CropItemRef> a = tasks[0]->setting->get_array_crop_items();
    const std::vector<CropItemRef> b = tasks[1]->setting->get_array_crop_items();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_NE(a[0], b[0]);
    EXPECT_NE(a[0], item);
    a[0]->crop_left = 12;  // an edit of one task's crop
    EXPECT_EQ(b[0]->crop_left, 8u);
    EXPECT_FALSE(l->need_combo_transform_mode());
}

class RqTaskListSources : public QueueFiles {};

TEST_F(RqTaskListSources, SameGeometryFlags) {
    const std::string clip = make_clip("a.mov"), other = dir_.file("b.mov");
    ffmpeg("-f lavfi -i testsrc2=size=64x32:rate=25 -frames:v 2 -c:v hap " + testutil::shell_quote(other));
    ASSERT_FALSE(HasFatalFailure());
    auto custom_scale = [](Setting &s, uint32_t w, uint32_t h) {
        s.vid_scale_mode = 1, s.vid_scale_width = w, s.vid_scale_height = h;
    };
    const struct {
        const char *name;
        bool same_source;
        std::function<void(Setting &, Setting &)> setup;
        bool crop, transform, scale;
    } cases[] = {
        {"same everything", true,
         [&](Setting &a, Setting &b) { custom_scale(a, 1280, 720), custom_scale(b, 1280, 720); }, true, true, true},
        {"scale heights differ", true,
         [&](Setting &a, Setting &b) { custom_scale(a, 1280, 720), custom_scale(b, 1280, 800); }, true, true, false},
        {"scale widths differ", true,
         [&](Setting &a, Setting &b) { custom_scale(a, 1280, 720), custom_scale(b, 1920, 720); }, true, true, false},
        {"no crop, transforms differ", true,
         [](Setting &a, Setting &b) { a.vid_transform_mode = 1, b.vid_transform_mode = 2; }, true, false, false},
        {"crop widths differ", true,
         [](Setting &a, Setting &b) {
             for (Setting *s : {&a, &b}) s->set_global_crop_mode(VideoSetting_GlobalCropMode_OriginAndSize);
             a.set_crop_width(16), b.set_crop_width(20);
         },
         false, false, false},
        {"sources differ in size", false, [](Setting &, Setting &) {}, false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RqTaskRef> tasks = {task_of(clip), task_of(c.same_source ? clip : other)};
        c.setup(*tasks[0]->setting, *tasks[1]->setting);
        RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
        EXPECT_FALSE(l->is_same_crop_and_input_res());  // not computed before a write pass
        l->update_same_crop_scale();
        EXPECT_EQ(l->is_same_input_res(), c.same_source);
        EXPECT_EQ(l->is_same_crop_and_input_res(), c.crop);
        EXPECT_EQ(l->is_same_crop_and_input_res_and_transform(), c.transform);
        EXPECT_EQ(l->is_same_crop_and_input_res_and_transform_and_scale(), c.scale);
        // A crop setter in the multiple-values state clears all three.
        l->set_vid_crop_top_and_mv(0, true);
        EXPECT_FALSE(l->is_same_crop_and_input_res());
    }
}

TEST_F(RqTaskListSources, SourceInterpretation) {
    const std::string plain = make_clip("plain.mov"), alpha = dir_.file("alpha.mov");
    ffmpeg("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 2 -pix_fmt rgba -c:v hap -format hap_alpha " +
           testutil::shell_quote(alpha));
    ASSERT_FALSE(HasFatalFailure());
    std::vector<RqTaskRef> tasks = {task_of(plain), task_of(plain), task_of(alpha)};
    ASSERT_TRUE(tasks[2]->have_video_in_alpha());
    tasks[2]->in_main_file->media_interpret->obj.alpha_mode = 2;
    RqTaskListRef l = RqTaskList::init_with_arr_tasks(tasks);
    bool differ = true, applies = false;
    EXPECT_EQ(l->get_src_alpha_mode_and_is_need(&differ, &applies), 2u);
    EXPECT_TRUE(applies);
    EXPECT_FALSE(differ);

    // Custom rates 25 and 30 on the first two.
    l->set_src_interpret_fps_mode_and_mv(10, false);
    tasks[1]->in_main_file->media_interpret->obj.custom_fps = 30.0;
    EXPECT_EQ(l->get_src_interpret_fps_val(&differ), 25.0);
    EXPECT_TRUE(differ);
    EXPECT_EQ(l->get_src_interpret_fps_mode_and_is_need(&differ, &applies), 10u);
    EXPECT_FALSE(differ);
    l->set_src_interpret_fps_val_and_mv(50.0, false);
    EXPECT_EQ(l->get_src_interpret_fps_val(&differ), 50.0);
    EXPECT_FALSE(differ);
}

}  // namespace
