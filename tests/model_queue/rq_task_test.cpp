#include "model/queue/rq_task.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <memory>

#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

// Sources made once by the ffmpeg tool: a ProRes clip with stereo sound, HAP clips without
// sound, mono WAVs.
class RqTaskTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        const std::string ffmpeg = testutil::require_tool("ffmpeg");
        if (ffmpeg.empty()) return;
        auto run = [&](const std::string &args) {
            const int status = testutil::run_command(ffmpeg + " -v error -nostdin -y " + args).status;
            EXPECT_EQ(status, 0) << args;
        };
        run("-f lavfi -i testsrc2=size=1920x1080:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 "
            "-ac 2 -frames:v 3 -t 0.12 -c:v prores -c:a pcm_s16le " +
            shell_quote(file("clip.mov")));
        const char *const haps[][2] = {{"hap", "hap.mov"}, {"hap_alpha", "hap_alpha.mov"}, {"hap_q", "hap_q.mov"}};
        for (const auto &h : haps)
            run("-f lavfi -i testsrc2=size=64x32:rate=25,format=rgba -frames:v 2 -c:v hap -format " +
                std::string(h[0]) + " " + shell_quote(file(h[1])));
        for (const char *name : {"a_r.wav", "b_l.wav", "c.wav", "mono_l.wav", "mono_r.wav"})
            run("-f lavfi -i sine=duration=0.1:sample_rate=48000 -ac 1 -c:a pcm_s16le " + shell_quote(file(name)));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string &name) { return dir_->file(name); }

    RqTaskRef make(const std::string &name) {
        RqTaskRef t = RqTask::init_with_main_filepath_and_settings(file(name), settings_);
        EXPECT_FALSE(t->error) << name << ": " << t->error.value_or("");
        return t;
    }

    GlobalSettingsRef settings_ = GlobalSettings::init();
    static testutil::TempDir *dir_;
};
testutil::TempDir *RqTaskTest::dir_ = nullptr;

TEST_F(RqTaskTest, CreationOfAnUnreadableSource) {
    RqTaskRef t = RqTask::init_with_main_filepath_and_settings(file("missing.mov"), settings_);
    EXPECT_TRUE(t->error);
    EXPECT_EQ(t->state, 0u);
    EXPECT_EQ(t->audio_layout, 0u);
    EXPECT_TRUE(t->arr_out_path_hap.empty());
    EXPECT_TRUE(t->arr_out_path_wav.empty());
    EXPECT_FALSE(t->have_error_params());
    EXPECT_EQ(t->get_filepath_main_file(), file("missing.mov"));
}

TEST_F(RqTaskTest, ProResSourceOutputsAndNotes) {
    RqTaskRef t = make("clip.mov");
    EXPECT_EQ(t->uuid.size(), 36u);
    for (char c : t->uuid) EXPECT_TRUE(c == '-' || isdigit(c) || (c >= 'A' && c <= 'F')) << t->uuid;
    EXPECT_EQ(t->audio_layout, 1u);  // stereo
    EXPECT_FALSE(t->have_error_params()) << t->get_error_params_out().value_or("");
    EXPECT_TRUE(t->have_target_hap);
    EXPECT_FALSE(t->is_smart_rendering_possible());
    EXPECT_EQ(t->str_smart_rendering_pvw, "Source codec disable smart rendering");
    EXPECT_EQ(t->str_crop_pvw, "No Crop");
    EXPECT_EQ(t->str_scale_pvw, "Target resolution : 1920x1080 px (No scaling)");
    EXPECT_EQ(t->get_arr_out_hap(), std::vector<std::string>{file("clip_HAP.mov")});
    EXPECT_TRUE(t->get_arr_out_wav().empty());
    EXPECT_EQ(t->get_hap_out_info_ui(), std::vector<std::string>{"1920x1080 px, HAP (Normal), 8 chunks"});
    EXPECT_EQ(t->get_crop_info_ui(), std::vector<std::string>{""});
    EXPECT_EQ(t->get_main_audio_out_info_ui(),
              (std::vector<std::string>{"Test silent audio track(s)", "Stereo ; 48Khz 16Bits LE"}));
    EXPECT_EQ(t->get_first_folder_hap_out_pvw_ui(), dir_->path());
    EXPECT_EQ(t->get_first_folder_wav_out_pvw_ui(), "");

    Setting s = *t->setting;
    s.vid_scale_mode = 5;  // half size
    t->set_new_setting(s);
    EXPECT_EQ(t->str_scale_pvw, "Target resolution : 960x540 px (50.00% x 50.00%)");

    s.vid_scale_mode = 1, s.vid_scale_width = 1000, s.vid_scale_height = 1000;
    s.vid_hap_quality = 0;
    t->set_new_setting(s);
    EXPECT_EQ(t->get_hap_out_info_ui(), std::vector<std::string>{"1000x1000 px, HAP (Fast), 5 chunks"});
    s.vid_enable_snappy = false;
    t->set_new_setting(s);
    EXPECT_EQ(t->get_hap_out_info_ui(), std::vector<std::string>{"1000x1000 px, HAP (Fast), No snappy"});
}

TEST_F(RqTaskTest, ParameterErrors) {
    RqTaskRef t = make("clip.mov");
    const std::vector<std::string> before = t->get_arr_out_file();
    struct Case {
        bool video, audio, embed, wav, crop_error;
        const char *error;  // nullptr: none
    };
    const Case cases[] = {
        {false, false, true, false, false, "No video/audio target"},
        {false, true, true, false, false, "Can't embed audio in HAP file without video"},
        {true, true, false, false, false, "Audio output need 'Embed in HAP' and/or 'Write Wav file(s)'"},
        {false, true, false, false, false, "Audio only output need 'Write Wav file(s)' checked"},
        {true, true, true, false, true, "Invalid Crop"},
        {false, true, false, true, false, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error ? c.error : "none");
        Setting s;
        s.vid_enable_video = c.video, s.aud_enable_audio = c.audio;
        s.aud_embed_in_hap = c.embed, s.aud_write_wav_file = c.wav;
        if (c.crop_error) {
            s.set_global_crop_mode(2);
            s.set_crop_left(1000), s.set_crop_right(1000);  // wider than the picture
        }
        t->set_new_setting(s);
        EXPECT_EQ(t->get_error_params_out().value_or("none"), c.error ? c.error : "none");
        EXPECT_EQ(t->have_crop_error, c.crop_error);
        if (c.crop_error) { EXPECT_EQ(t->str_scale_pvw, "Invalid Crop"); }
        if (c.error && !c.crop_error) {
            EXPECT_EQ(t->get_arr_out_file(), before);  // stopped: lists kept
        }
    }
    // Audio-only output: the WAV follows the video naming, no MOV.
    EXPECT_TRUE(t->get_arr_out_hap().empty());
    EXPECT_EQ(t->get_arr_out_wav(), std::vector<std::string>{file("clip_HAP.wav")});

    // Without useful audio for the layout there is nothing to write.
    RqTaskRef h = make("hap.mov");
    Setting s;
    s.vid_enable_video = false;
    h->set_new_setting(s);
    EXPECT_EQ(h->get_error_params_out(), "No video/audio target");

    // A folder at the source path, and several missing files.
    RqTaskRef m = make("clip.mov");
    m->in_main_file->filepath = dir_->path();
    m->refresh_cache_target_properties();
    EXPECT_EQ(m->get_error_params_out(), "Missing file : " + dir_->path());
    m->load_ext_audio_file_from_xml_path(file("b_l.wav"));
    m->arr_in_wav.push_back(m->arr_in_wav[0]->mutableCopyWithZone());
    m->arr_in_wav[1]->filepath = file("gone.wav");
    m->refresh_cache_target_properties();
    EXPECT_EQ(m->get_error_params_out(), "2 missing files");
}

TEST_F(RqTaskTest, InAndOutPoints) {
    RqTaskRef t = make("clip.mov");
    ASSERT_EQ(t->in_main_file->get_duration_frames(), 3u);
    struct Step {
        bool in;  // set_in_point, else set_out_point
        int32_t value, in_after, out_after;
    };
    const std::vector<Step> steps[] = {
        {{true, 2, 2, -1}, {false, 1, -1, 1}},                          // the point set last wins
        {{false, 1, -1, 1}, {true, 2, 2, -1}},    {{true, 3, -1, -1}},  // past the end
        {{true, 1, 1, -1}, {false, 1, 1, 1}},                           // one-frame range
        {{false, 5, -1, -1}, {true, -7, -7, -1}},
    };
    for (const auto &sequence : steps) {
        t->in_point = -1, t->out_point = -1;
        for (const Step &s : sequence) {
            SCOPED_TRACE(testing::Message() << (s.in ? "in " : "out ") << s.value);
            if (s.in)
                t->set_in_point(s.value);
            else
                t->set_out_point(s.value);
            EXPECT_EQ(t->in_point, s.in_after);
            EXPECT_EQ(t->out_point, s.out_after);
        }
    }
    // No video: nothing is clamped.
    RqTaskRef w = RqTask::init_with_main_filepath_and_settings(file("c.wav"), settings_);
    w->set_in_point(50);
    EXPECT_EQ(w->in_point, 50);
}

TEST_F(RqTaskTest, LayoutGuessAndWavImport) {
    RqTaskRef t = make("hap.mov");
    const std::pair<uint64_t, uint32_t> guesses[] = {{0x1, 0},  {0x3, 1}, {0x5, 3}, {0x31, 2},
                                                     {0xC3, 4}, {0x2, 1}, {0, 0}};
    t->load_ext_audio_file_from_xml_path(file("c.wav"));
    for (const auto &[mask, layout] : guesses) {
        t->arr_in_wav[0]->info->audio_tracks[0].channel_mapping[0] = mask;
        t->guess_audio_layout();
        EXPECT_EQ(t->audio_layout, layout) << mask;
    }

    EXPECT_EQ(RqTask::reorganize_wavs_paths({"/x/a_r.wav", "/x/b_l.wav", "/x/c.wav"}),
              (std::vector<std::string>{"/x/b_l.wav", "/x/a_r.wav", "/x/c.wav"}));
    EXPECT_EQ(RqTask::reorganize_wavs_paths({"/x/d_lfe.wav", "/x/e_c.wav", "/x/B.wav", "/x/a.wav"}),
              (std::vector<std::string>{"/x/e_c.wav", "/x/d_lfe.wav", "/x/a.wav", "/x/B.wav"}));
    EXPECT_EQ(RqTask::reorganize_wavs_paths({"/x/z_l.wav", "/x/A_L.WAV", "/x/m.wav"}),
              (std::vector<std::string>{"/x/A_L.WAV", "/x/m.wav", "/x/z_l.wav"}));

    RqTaskRef h = make("hap.mov");  // no sound, layout Mono
    EXPECT_EQ(h->audio_layout, 0u);
    const std::vector<std::string> errors =
        h->try_import_ext_audio_file_at_index({file("a_r.wav"), file("x.aiff"), file("b_l.wav"), file("c.wav")}, 9);
    EXPECT_EQ(errors, std::vector<std::string>{"Fail to load : " + file("x.aiff") +
                                               " : Invalid extension : aiff (Supported extension .wav)"});
    EXPECT_EQ(h->get_arr_in_wavs(), (std::vector<std::string>{file("b_l.wav"), file("a_r.wav"), file("c.wav")}));
    EXPECT_EQ(h->audio_layout, 1u);  // stereo from the _l and _r masks
    EXPECT_EQ(h->arr_in_wav[0]->info->audio_tracks[0].channel_mapping[0], 0x1u);
    EXPECT_EQ(h->arr_in_wav[2]->info->audio_tracks[0].channel_mapping[0], 0x3u);
    // Inserted at an index; a missing file reports its probe error.
    const std::vector<std::string> more =
        h->try_import_ext_audio_file_at_index({file("mono_l.wav"), file("no.wav")}, 1);
    ASSERT_EQ(more.size(), 1u);
    EXPECT_EQ(more[0].rfind("Fail to load : " + file("no.wav") + " : ", 0), 0u);
    EXPECT_EQ(h->get_arr_in_wavs()[1], file("mono_l.wav"));
    h->delete_ext_wav_audio_track(4);  // past the end: nothing
    EXPECT_EQ(h->arr_in_wav.size(), 4u);
    h->delete_ext_wav_audio_track(1);
    EXPECT_EQ(h->arr_in_wav.size(), 3u);

    // An import never takes channels away.
    RqTaskRef five = make("hap.mov");
    five->set_audio_layout(2);
    five->try_import_ext_audio_file_at_index({file("mono_l.wav"), file("mono_r.wav")}, 0);
    EXPECT_EQ(five->audio_layout, 2u);
}

TEST_F(RqTaskTest, MultiMonoWavNamesAndUserPaths) {
    RqTaskRef t = make("clip.mov");
    Setting s;
    s.aud_write_wav_file = true, s.aud_write_multi_mono_file = true;
    t->set_audio_layout(2);  // 5.1: the stereo source feeds its first two channels
    t->set_new_setting(s);
    const char *const suffixes[] = {"_L", "_R", "_C", "_Lfe", "_Ls", "_Rs"};
    const std::vector<std::string> wavs = t->get_arr_out_wav();
    ASSERT_EQ(wavs.size(), 6u);
    for (size_t i = 0; i < 6; i++) EXPECT_EQ(wavs[i], file(std::string("clip_HAP") + suffixes[i] + ".wav"));

    // Positions: MOV first, then WAVs; a user path survives a recompute that keeps its index.
    EXPECT_FALSE(t->set_custom_out_path_at_index(std::string("/x/y.mov"), 7));
    EXPECT_TRUE(t->set_custom_out_path_at_index(file("mine/take.mp4"), 0));
    EXPECT_TRUE(t->set_custom_out_path_at_index(file("w.wav"), 3));
    t->refresh_cache_target_properties();
    EXPECT_EQ(t->get_arr_out_hap(), std::vector<std::string>{file("mine/take.mov")});
    EXPECT_EQ(t->get_arr_out_wav()[0], file("mine/take_L.wav"));  // WAVs follow the user's MOV path
    EXPECT_EQ(t->get_arr_out_wav()[2], file("w.wav"));
    s.aud_write_multi_mono_file = false;
    t->set_new_setting(s);
    EXPECT_EQ(t->get_arr_out_wav(), std::vector<std::string>{file("mine/take.wav")});

    // Silent audio to be ignored: no WAV, no channel in the naming.
    s.aud_ignore_silent_track = true;
    t->set_audio_analyse_results_and_dst_gain(true, 0.0);
    t->set_new_setting(s);
    EXPECT_TRUE(t->get_arr_out_wav().empty());
    EXPECT_EQ(t->arr_naming_data[0]->audio_channel, 0u);
    EXPECT_EQ(t->get_main_audio_out_info_ui(), std::vector<std::string>{"Silent audio track(s) ignored"});
}

TEST_F(RqTaskTest, UniqueRenderPathsAndFolders) {
    RqTaskRef t = make("clip.mov");
    Setting s;
    s.set_global_crop_mode(4);
    CropItemRef second = CropItem::init();
    second->crop_left = 8;
    std::vector<CropItemRef> items = s.get_array_crop_items();
    items.push_back(second);
    ASSERT_TRUE(s.set_multi_crop_items(items));
    s.nam_video_hap->naming_mask = "[src_name]";
    s.nam_video_hap->folder_mode = 1, s.nam_video_hap->custom_folder = file("out");
    t->set_new_setting(s);
    ASSERT_EQ(t->arr_naming_data.size(), 2u);
    EXPECT_EQ(t->arr_naming_data[1]->index_out, 1u);
    EXPECT_EQ(t->str_crop_pvw, "Multicrop");
    EXPECT_EQ(t->get_arr_out_hap(), (std::vector<std::string>{file("out/clip.mov"), file("out/clip.mov")}));

    EXPECT_TRUE(t->create_target_folder());
    ASSERT_EQ(mkdir(file("out/clip_1.mov").c_str(), 0755), 0);  // a folder holds its name too
    EXPECT_EQ(t->get_arr_out_hap_unique(), (std::vector<std::string>{file("out/clip.mov"), file("out/clip_2.mov")}));
    EXPECT_EQ(t->get_arr_out_hap_for_ui(), t->get_arr_out_hap());
    t->apply_uniq_name();
    EXPECT_EQ(t->get_arr_out_hap_for_ui(), (std::vector<std::string>{file("out/clip.mov"), file("out/clip_2.mov")}));
    EXPECT_EQ(t->get_arr_hap_out_pvw_name_ui(), (std::vector<std::string>{"clip.mov", "clip.mov"}));

    // A regular file in the folder's path: the folder cannot be made (root can't either).
    testutil::write_file(file("blocker"), "x", 1);
    s.nam_video_hap->custom_folder = file("blocker/sub");
    t->set_new_setting(s);
    EXPECT_FALSE(t->create_target_folder());
    EXPECT_EQ(t->error, "Fail to create target directory : " + file("blocker/sub"));
    t->error.reset();

    // Copy and duplicate.
    t->state = 6;
    t->add_log_line(std::string("done"));
    t->add_log_line(std::nullopt);
    EXPECT_EQ(t->get_logs_lines().size(), 1u);
    t->apply_uniq_name();
    t->set_custom_out_path_at_index(file("user/take"), 1);
    RqTaskRef c = t->mutableCopyWithZone();
    EXPECT_EQ(c->uuid, t->uuid);
    EXPECT_EQ(c->state, 6u);
    EXPECT_TRUE(c->arr_out_path_hap[0]->have_render_path());
    c->setting->vid_chunks = 3;
    EXPECT_EQ(t->setting->vid_chunks, 8u);
    RqTaskRef d = t->duplicate_task();
    EXPECT_NE(d->uuid, t->uuid);
    EXPECT_EQ(d->uuid.size(), 36u);
    EXPECT_EQ(d->state, 0u);
    EXPECT_FALSE(d->have_logs());
    EXPECT_FALSE(d->arr_out_path_hap[0]->have_render_path());
    EXPECT_EQ(d->arr_out_path_hap[1]->custom_filepath(), file("user/take"));
    EXPECT_EQ(t->state, 6u);
    EXPECT_TRUE(t->arr_out_path_hap[0]->have_render_path());

    ProgressTaskInfo p;
    EXPECT_FALSE(t->set_progress_info(p));
    p.percent = 3;
    EXPECT_TRUE(t->set_progress_info(p));
    EXPECT_FALSE(t->set_progress_info(p));
    t->reset_status();
    EXPECT_EQ(t->state, 0u);
    EXPECT_TRUE(t->progress_info.is_empty());
    EXPECT_FALSE(t->arr_out_path_hap[0]->have_render_path());
}

TEST_F(RqTaskTest, HapSourcesAndSmartRendering) {
    RqTaskRef t = make("hap.mov");
    EXPECT_EQ(t->str_smart_rendering_pvw, "Hap codec choice enable smart rendering");
    EXPECT_TRUE(t->is_smart_rendering_possible());
    EXPECT_EQ(t->get_hap_out_info_ui(), std::vector<std::string>{"64x32 px, HAP, 8 chunks"});  // no quality text
    Setting s;
    s.vid_codec_hap = 2;  // HAP Q from HAP blocks
    t->set_new_setting(s);
    EXPECT_EQ(t->str_smart_rendering_pvw, "Hap codec choice disable smart rendering");
    EXPECT_FALSE(t->is_smart_rendering_possible());
    EXPECT_EQ(t->target_codec_hap, 2u);
    s.vid_enable_smart_render = false;
    t->set_new_setting(s);
    EXPECT_EQ(t->str_smart_rendering_pvw, "");

    // Automatic crop on a source with alpha: the analysed edges decide smart rendering.
    RqTaskRef a = make("hap_alpha.mov");
    Setting ac;
    ac.set_global_crop_mode(5);
    a->set_new_setting(ac);
    EXPECT_EQ(a->target_codec_hap, 1u);
    EXPECT_TRUE(a->is_need_video_analyse());
    EXPECT_EQ(a->str_crop_pvw, "Autocrop");
    EXPECT_EQ(a->str_transform_info, "Transform not available in Autocrop mode");
    EXPECT_TRUE(a->is_smart_rendering_possible());
    EXPECT_EQ(a->get_crop_info_ui(), std::vector<std::string>{"Autocrop : Left / Top / Right / Bottom"});
    a->set_auto_crop_analyse_results(4, 6, 0, 0);
    a->refresh_cache_target_properties();
    EXPECT_FALSE(a->is_smart_rendering_possible());
    EXPECT_EQ(a->arr_naming_data[0]->target_width, 58u);
    EXPECT_EQ(a->get_hap_out_info_ui()[0].rfind("58x28 px, HAPA", 0), 0u);
    a->set_auto_crop_analyse_results(4, 8, 0, 0);
    a->refresh_cache_target_properties();
    EXPECT_TRUE(a->is_smart_rendering_possible());
    EXPECT_EQ(a->get_crop_info_ui(),
              std::vector<std::string>{"Autocrop :  Left : 8px, Top : 4px, Width : 56px, Height : 28px"});

    // A crop stored while an edge is off keeps that edge at 0; the item handed out is a copy.
    ac.vid_auto_crop_top = false;
    a->set_new_setting(ac);
    a->set_auto_crop_analyse_results(4, 8, 2, 6);
    CropItemRef item = a->get_auto_crop_item_after_analyse();
    EXPECT_EQ(item->crop_top, 0u);
    EXPECT_EQ(item->crop_left, 8u);
    EXPECT_EQ(item->crop_right_width, 2u);
    EXPECT_EQ(item->crop_bottom_height, 6u);
    item->crop_left = 99;
    EXPECT_EQ(a->analyse_auto_crop_value()->crop_left, 8u);

    // Without alpha no video pass, and the item is the zero crop.
    RqTaskRef q = make("hap_q.mov");
    q->set_new_setting(ac);
    EXPECT_FALSE(q->is_need_video_analyse());
    q->set_auto_crop_analyse_results(4, 8, 2, 6);
    EXPECT_FALSE(q->have_crop_after_auto_crop_analyse());
    EXPECT_EQ(q->get_auto_crop_item_after_analyse()->crop_left, 0u);
}

TEST_F(RqTaskTest, GainAfterAnalysis) {
    RqTaskRef t = make("clip.mov");
    Setting s;
    s.aud_set_gain_val = 1.5f;
    struct Case {
        uint32_t mode;
        bool silent, stored, ignore_silent;
        double gain;
        const char *last_line;
    };
    const Case cases[] = {
        {0, false, true, false, 0.0, "Stereo ; 48Khz 16Bits LE"},
        {1, false, true, false, 1.5, "Audio gain : 1.50 Db"},
        {3, false, true, false, -3.5, "Normalization gain : -3.50 dB"},
        {2, false, true, false, 2.0, "Normalization gain : +2.00 dB"},
        {3, true, true, false, 0.0, "Normalization gain : 0.00 dB"},
        {3, false, false, false, 0.0, "Loudness Normalization : -23.00 LUFS (Max True Peak : -2.00 DbTP)"},
        {2, true, true, true, 0.0, "Silent audio track(s) ignored"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.gain);
        s.aud_gain_mode = c.mode, s.aud_ignore_silent_track = c.ignore_silent;
        t->reset_status();
        if (c.stored) t->set_audio_analyse_results_and_dst_gain(c.silent, c.gain == 0.0 ? 5.0 : c.gain);
        t->set_new_setting(s);
        EXPECT_EQ(t->is_need_audio_analyse(), c.mode >= 2 || c.ignore_silent);
        EXPECT_EQ(t->get_audio_gain_after_analyse(), c.gain);
        EXPECT_EQ(t->get_main_audio_out_info_ui().back(), c.last_line);
    }
    Setting off;
    off.aud_enable_audio = false, off.aud_gain_mode = 1, off.aud_set_gain_val = 4.0f;
    t->set_new_setting(off);
    EXPECT_FALSE(t->is_need_audio_analyse());
    EXPECT_EQ(t->get_audio_gain_after_analyse(), 0.0);
    EXPECT_EQ(t->get_main_audio_out_info_ui(), std::vector<std::string>{"No audio out"});
}

}  // namespace
