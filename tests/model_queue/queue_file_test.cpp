// The render-queue file: byte form, golden document, round trips and hostile files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "queue_fixture.h"

namespace {

std::string read_text(const std::string &path) {
    const std::vector<uint8_t> b = testutil::read_file(path);
    return std::string(b.begin(), b.end());
}

void write_text(const std::string &path, const std::string &text) {
    testutil::write_file(path, text.data(), text.size());
}

std::string replace_all(std::string s, const std::string &from, const std::string &to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<root>";

// One task element holding only what the reader needs, with extra children.
std::string task_xml(const std::string &source, const std::string &children) {
    return "\n\t<task filepath=\"" + source + "\">" + children + "\n\t</task>";
}

std::string param(const std::string &k, const std::string &v) {
    return "\n\t\t<rq_params k=\"" + k + "\" v=\"" + v + "\" />";
}

class QueueFile : public QueueFiles {
protected:
    // Loads the text as the queue file into a new queue; the log lines go to *log.
    RenderQueueRef load_text(const std::string &text, std::string *log = nullptr) {
        write_text(queue_path(), text);
        RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
        testing::internal::CaptureStderr();
        q->load_from_xml(queue_path());
        const std::string logged = testing::internal::GetCapturedStderr();
        if (log) *log = logged;
        return q;
    }

    // The finished task and the waiting task of the golden file.
    RenderQueueRef two_tasks() {
        const std::string clip = make_clip("clip.mov"), clip2 = make_clip("second clip.mov", 5);
        const std::string wl = make_mono_wav("second clip_L.wav"), wr = make_mono_wav("second clip_R.wav");
        RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
        if (HasFatalFailure()) return q;

        RqTaskRef done = task_of(clip);
        done->uuid = "0F1E2D3C-0000-4000-8000-00000000000A";
        done->state = RqTaskState_Succes;
        done->set_out_point(0);
        OptionalBool silent, crop;
        silent.set_value(false);
        crop.set_value(true);
        OptionalDouble gain;
        gain.set_value(-3.25);
        done->setAnalyse_is_silent_track(silent);
        done->setAnalyse_have_autocrop_results(crop);
        done->setAnalyse_normalization_gain(gain);
        CropItem edges;
        edges.set_default_mode_edges_crop();
        edges.crop_left = 4, edges.crop_top = 0, edges.crop_right_width = 8, edges.crop_bottom_height = 2;
        done->setAnalyse_auto_crop_value(edges);
        done->add_log_line(std::string("Start step : VideoProcessing"));
        done->add_log_line(std::string("Warning : a & b <c> \"d\""));
        ProgressTaskInfo p;
        p.percent = 100;
        p.step = 3;
        p.str_elapsed_time = "2s";
        p.str_remain_time = "-";
        p.str_fps_render = "25.00 f/s";
        done->set_progress_info(p);
        EXPECT_TRUE(done->set_custom_out_path_at_index(dir_.file("out/my.clip.v2.mov"), 0));
        done->refresh_cache_target_properties();
        done->arr_out_path_hap.at(0)->set_render_filepath(dir_.file("out/my.clip.v2_1.mov"));

        RqTaskRef waiting = task_of(clip2);
        waiting->uuid = "0F1E2D3C-0000-4000-8000-00000000000B";
        EXPECT_TRUE(waiting->try_import_ext_audio_file_at_index({wr, wl}, 0).empty());
        waiting->audio_layout = HapStand_AudioLayout_5_1;
        waiting->setting->set_global_crop_mode(VideoSetting_GlobalCropMode_Multicrop);
        CropItemRef a = CropItem::init(), b = CropItem::init();
        a->set_default_mode_origin_and_size();
        a->crop_right_width = 16, a->crop_bottom_height = 8, a->name = "Left";
        b->crop_left = 16, b->name = "Right";
        EXPECT_TRUE(waiting->setting->set_multi_crop_items({a, b}));
        waiting->refresh_cache_target_properties();
        q->insert_new_tasks_at_index({done, waiting}, 0);
        return q;
    }
};

TEST_F(QueueFile, EmptyQueueBytesAndLoad) {
    RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
    const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<root />";
    EXPECT_EQ(q->get_xml_str_content(), expected);
    q->save_to_xml(queue_path());
    EXPECT_EQ(read_text(queue_path()), expected);
    RenderQueueRef back = RenderQueue::init_with_glob_settings(settings_);
    back->load_from_xml(queue_path());
    EXPECT_TRUE(back->arr_tasks.empty());
}

TEST_F(QueueFile, TwoTasksMatchGoldenAndRoundTrip) {
    RenderQueueRef q = two_tasks();
    ASSERT_FALSE(HasFatalFailure());
    q->save_to_xml(queue_path());
    const std::string saved = read_text(queue_path());
    const std::string golden = read_text(std::string(ZELQA_SOURCE_DIR) + "/tests/model_queue/data/two_tasks.xml");
    EXPECT_EQ(saved, replace_all(golden, "@DIR@", dir_.path()));

    const std::string xmllint = testutil::require_tool("xmllint");
    ASSERT_FALSE(xmllint.empty());
    EXPECT_EQ(testutil::run_command(xmllint + " --noout " + testutil::shell_quote(queue_path())).status, 0);

    // No temporary file is left beside the queue file.
    for (const auto &e : std::filesystem::directory_iterator(*GlobalSettings::get_prefs_folder_path()))
        EXPECT_EQ(e.path().string().find(queue_path() + "."), std::string::npos) << e.path();

    RenderQueueRef back = RenderQueue::init_with_glob_settings(settings_);
    back->load_from_xml(queue_path());
    ASSERT_EQ(back->arr_tasks.size(), 2u);
    EXPECT_EQ(back->get_xml_str_content(), saved);

    const RqTask &done = *back->arr_tasks[0];
    EXPECT_EQ(done.state, uint64_t(RqTaskState_Succes));
    EXPECT_EQ(done.out_point, 0);  // a one-frame render stays one frame
    EXPECT_EQ(done.in_point, -1);
    EXPECT_EQ(done.analyse_normalization_gain().v_val, -3.25);
    EXPECT_EQ(done.analyse_auto_crop_value()->crop_right_width, 8u);
    ASSERT_EQ(done.arr_logs.size(), 2u);
    EXPECT_EQ(done.arr_logs[1], "Warning : a & b <c> \"d\"");
    EXPECT_EQ(done.arr_out_path_hap.at(0)->custom_filepath(), dir_.file("out/my.clip.v2"));
    EXPECT_EQ(done.arr_out_path_hap.at(0)->get_default_path(), dir_.file("out/my.clip.v2.mov"));
    const RqTask &waiting = *back->arr_tasks[1];
    EXPECT_EQ(waiting.audio_layout, uint32_t(HapStand_AudioLayout_5_1));
    ASSERT_EQ(waiting.arr_in_wav.size(), 2u);
    EXPECT_EQ(waiting.arr_out_path_hap.size(), 2u);
}

// Tabs and line breaks are legal in file names and log lines: a save and a load keep them.
TEST_F(QueueFile, ControlCharactersInNamesSurviveARoundTrip) {
    const struct {
        const char *name, *part;
    } cases[] = {
        {"tab", "a\tb"},           {"line feed", "a\nb"},          {"carriage return", "a\rb"},
        {"both breaks", "a\r\nb"}, {"trailing blanks", "ab \t\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string clip = make_clip(std::string("clip ") + c.part + ".mov", 3);
        ASSERT_FALSE(HasFatalFailure());
        RqTaskRef t = task_of(clip);
        ASSERT_FALSE(t->error.has_value());
        const std::string line = std::string("Warning : ") + c.part;
        t->add_log_line(line);
        const std::string out = dir_.file(std::string("out ") + c.part);
        ASSERT_TRUE(t->set_custom_out_path_at_index(out + ".mov", 0));
        t->refresh_cache_target_properties();
        RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
        q->insert_new_tasks_at_index({t}, 0);
        q->save_to_xml(queue_path());

        RenderQueueRef back = RenderQueue::init_with_glob_settings(settings_);
        back->load_from_xml(queue_path());
        ASSERT_EQ(back->arr_tasks.size(), 1u);
        const RqTask &b = *back->arr_tasks[0];
        EXPECT_EQ(b.get_filepath_main_file(), clip);
        ASSERT_FALSE(b.arr_logs.empty());
        EXPECT_EQ(b.arr_logs.back(), line);
        EXPECT_EQ(b.arr_out_path_hap.at(0)->custom_filepath(), out);
        EXPECT_EQ(back->get_xml_str_content(), q->get_xml_str_content());
    }
}

TEST_F(QueueFile, StoredValuesAsLoaded) {
    const std::string clip = make_clip("clip.mov");
    ASSERT_FALSE(HasFatalFailure());
    const struct {
        const char *name;
        std::string children;
        uint64_t state;
        int32_t in, out;
        uint32_t layout;
        const char *logged;
    } cases[] = {
        {"running", param("state", "2"), 4, -1, -1, 1, "WARNING : Task with pause or progress at load, set to cancel"},
        {"paused", param("state", "3"), 4, -1, -1, 1, "WARNING : Task with pause or progress at load, set to cancel"},
        {"state too large", param("state", "9"), 0, -1, -1, 1, "Invalid state value : 9"},
        {"state not a number", param("state", "x"), 0, -1, -1, 1, "Invalid state value : x"},
        {"layout 5.1", param("audio_layout", "3"), 0, -1, -1, HapStand_AudioLayout_5_1, ""},
        {"layout dual stereo", param("audio_layout", "2"), 0, -1, -1, HapStand_AudioLayout_DualStereo, ""},
        {"layout unknown", param("audio_layout", "5"), 0, -1, -1, 1, ""},
        {"layout negative", param("audio_layout", "-1"), 0, -1, -1, 1, "Invalid audio channel value : -1"},
        {"points", param("in_point", "2") + param("out_point", "7"), 0, 2, 7, 1, ""},
        {"zero points", param("in_point", "0") + param("out_point", "0"), 0, -1, 0, 1, ""},
        {"points past the end", param("in_point", "10") + param("out_point", "99"), 0, -1, -1, 1, ""},
        {"points beyond 32 bits", param("out_point", "4294967298"), 0, -1, -1, 1, ""},
        {"analysis in state 0", param("analyse_normalization_gain", "2.0"), 0, -1, -1, 1,
         "WARN XML : Node analyse_normalization_gain found but invalid state"},
        {"unknown key", param("colour", "red"), 0, -1, -1, 1, "Unknown params task : colour"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string log;
        RenderQueueRef q = load_text(kHead + task_xml(clip, c.children) + "\n</root>", &log);
        ASSERT_EQ(q->arr_tasks.size(), 1u);
        const RqTask &t = *q->arr_tasks[0];
        EXPECT_EQ(t.state, c.state);
        EXPECT_EQ(t.in_point, c.in);
        EXPECT_EQ(t.out_point, c.out);
        EXPECT_EQ(t.audio_layout, c.layout);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_FALSE(t.analyse_normalization_gain().v_is_set);
    }
}

TEST_F(QueueFile, TaskWithMissingSourceIsDropped) {
    const std::string clip = make_clip("clip.mov");
    const std::string wav = make_mono_wav("a_R.wav");
    ASSERT_FALSE(HasFatalFailure());
    const std::string gone = dir_.file("gone.mov"), gone_wav = dir_.file("gone_L.wav");
    const std::string track =
        "\n\t\t\t<audio_track itr=\"0\">\n\t\t\t\t<audio_ch ch=\"0\" map=\"%s\" />\n\t\t\t</audio_track>";
    auto track_map = [&](const char *map) { return replace_all(track, "%s", map); };
    const std::string text =
        kHead +
        task_xml(gone, param("uuid", "lost") + "\n\t\t<ext_wav_in filepath=\"" + wav + "\">" + track_map("1") +
                           "\n\t\t</ext_wav_in>" + "\n\t\t<logl k=\"v\" v=\"x\" />") +
        task_xml(clip, param("uuid", "kept") + "\n\t\t<ext_wav_in filepath=\"" + gone_wav + "\">" + track_map("4") +
                           "\n\t\t</ext_wav_in>\n\t\t<ext_wav_in filepath=\"" + wav + "\">" + track_map("2") +
                           "\n\t\t</ext_wav_in>") +
        "\n</root>";
    std::string log;
    RenderQueueRef q = load_text(text, &log);
    EXPECT_NE(log.find("Fail to load : " + gone + " : "), std::string::npos) << log;
    EXPECT_NE(log.find("No rq task for params load"), std::string::npos);
    EXPECT_NE(log.find("Fail to load : " + gone_wav + " : "), std::string::npos);
    ASSERT_EQ(q->arr_tasks.size(), 1u);
    const RqTask &t = *q->arr_tasks[0];
    EXPECT_EQ(t.uuid, "kept");
    ASSERT_EQ(t.arr_in_wav.size(), 1u);
    // The missing WAV's mapping is dropped; the loaded one keeps its own.
    ASSERT_TRUE(t.arr_in_wav[0]->info);
    EXPECT_EQ(t.arr_in_wav[0]->info->audio_tracks[0].channel_mapping[0], 2u);
}

TEST_F(QueueFile, FileCutInTheMiddleKeepsTheTasksBeforeTheCut) {
    RenderQueueRef q = two_tasks();
    ASSERT_FALSE(HasFatalFailure());
    const std::string full = q->get_xml_str_content();
    const size_t second = full.find("\n\t<task", full.find("\n\t<task") + 1);
    ASSERT_NE(second, std::string::npos);
    for (size_t cut : {second, second + 40, full.size() - 10}) {
        SCOPED_TRACE(cut);
        RenderQueueRef back = load_text(full.substr(0, cut));
        ASSERT_EQ(back->arr_tasks.size(), 1u);
        EXPECT_EQ(back->arr_tasks[0]->uuid, "0F1E2D3C-0000-4000-8000-00000000000A");
    }
    EXPECT_TRUE(load_text(full.substr(0, second - 20))->arr_tasks.empty());
}

TEST_F(QueueFile, ExternalEntityIsNeverRead) {
    const std::string clip = make_clip("clip.mov");
    ASSERT_FALSE(HasFatalFailure());
    const std::string secret = dir_.file("secret.txt");
    write_text(secret, "SECRET");
    const std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE root [<!ENTITY e SYSTEM \"file://" + secret +
                             "\"> <!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]>\n<root>" +
                             task_xml(clip, "\n\t\t<logl k=\"v\" v=\"&e;\" />") + "\n</root>";
    std::string log;
    RenderQueueRef q = load_text(text, &log);
    for (const RqTaskRef &t : q->arr_tasks)
        for (const std::string &l : t->arr_logs) EXPECT_EQ(l.find("SECRET"), std::string::npos);
    EXPECT_EQ(log.find("SECRET"), std::string::npos);
}

TEST_F(QueueFile, HostileElementsAreSkipped) {
    const std::string clip = make_clip("clip.mov");
    ASSERT_FALSE(HasFatalFailure());
    std::string deep;
    for (int i = 0; i < 5000; i++) deep += "<a>";
    for (int i = 0; i < 5000; i++) deep += "</a>";
    const std::string children =
        "\n\t\t<audio_ch ch=\"0\" map=\"1\" />"  // before any track
        "\n\t\t<audio_track itr=\"99999999999999999999\" />"
        "\n\t\t<audio_track itr=\"7\"><audio_ch ch=\"18446744073709551615\" map=\"-1\" /></audio_track>"
        "\n\t\t<main_file_in><audio_track itr=\"4000000000\"><audio_ch ch=\"4000000000\" map=\"255\" />"
        "</audio_track><media_src_interpret k=\"interpret_fps\" v=\"99999999999\" /></main_file_in>"
        "\n\t\t<params k=\"vid_chunks\" v=\"64\" />"  // outside setting
        "\n\t\t<setting><params k=\"vid_chunks\" v=\"99999999999999999999\" /><CropItem mode=\"9\" />"
        "<naming_txt_replace find=\"a\" /></setting>"
        "\n\t\t<custom_path type=\"video_hap\" index=\"5\" path=\"x\" />"
        "\n\t\t<render_path type=\"wav_out\" index=\"0\" path=\"x\" />"
        "\n\t\t<custom_path type=\"other\" index=\"0\" path=\"x\" />"
        "\n\t\t<custom_path type=\"video_hap\" index=\"-1\" path=\"x\" />"
        "\n\t\t<ext_wav_in filepath=\"/etc/passwd\" />"
        "\n\t\t<ext_wav_in />"
        "\n\t\t<progress_task_info percent=\"4294967296\" step=\"-3\" />"
        "\n\t\t<logl k=\"v\" />" +
        param("state", "8") +
        "\n\t\t<rq_params k=\"analyse_auto_crop_value\" v=\"YES\" crop_1=\"4294967296\" crop_2=\"x\" />" +
        param("analyse_normalization_gain", "1e999") + deep;
    std::string log;
    RenderQueueRef q = load_text(kHead + task_xml(clip, children) + "<task/><logl v=\"x\"/></root>", &log);
    ASSERT_EQ(q->arr_tasks.size(), 1u);
    const RqTask &t = *q->arr_tasks[0];
    EXPECT_TRUE(t.arr_logs.empty());
    EXPECT_TRUE(t.arr_in_wav.empty());
    EXPECT_EQ(t.state, 8u);
    EXPECT_EQ(t.analyse_auto_crop_value()->crop_left, 0u);
    EXPECT_EQ(t.analyse_normalization_gain().v_val, 0.0);
    EXPECT_EQ(t.progress_info.percent, 0u);
    for (const char *line : {"No audio track parser for channel", "Params node outside setting",
                             "Node txt replace invalide", "Invalid out hap index : 5 (Nb Out hap : 1)",
                             "Invalid out wav index : 0 (Nb Out Wav : 0)", "Unknown out type : other",
                             "Invalid custom path data : ", "Invalid extension : /etc/passwd", "No filepath for task"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(QueueFile, LoadAndSaveFailures) {
    std::string log;
    RenderQueueRef q = RenderQueue::init_with_glob_settings(settings_);
    for (const std::optional<std::string> &p :
         {std::optional<std::string>(), std::optional(dir_.file("none.xml")), std::optional(dir_.path())}) {
        testing::internal::CaptureStderr();
        q->load_from_xml(p);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("No render queue xml"), std::string::npos);
    }
    // A save into a folder that does not exist fails and leaves nothing behind.
    testing::internal::CaptureStderr();
    q->save_to_xml(dir_.file("no/such/folder/q.xml"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Fail to write preset file : "), std::string::npos);
    // A failed save keeps the old file.
    write_text(queue_path(), "old");
    ASSERT_EQ(chmod(GlobalSettings::get_prefs_folder_path()->c_str(), 0500), 0);
    testing::internal::CaptureStderr();
    q->save_to_xml(queue_path());
    const std::string logged = testing::internal::GetCapturedStderr();
    chmod(GlobalSettings::get_prefs_folder_path()->c_str(), 0700);
    if (geteuid() != 0) {
        EXPECT_NE(logged.find("Fail to write preset file : "), std::string::npos);
        EXPECT_EQ(read_text(queue_path()), "old");
    }
}

}  // namespace
