// The conversion task: creation checks, the fill of the main-pass context from a task
// made on a source of the ffmpeg tool, build failures, frame error lines and stops.
#include "engine/hap_process_task.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/hap_standalone_process.h"
#include "platform/core/main_queue.h"
#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

class HapProcessTaskTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        const std::string ffmpeg = testutil::require_tool("ffmpeg");
        if (ffmpeg.empty()) return;
        auto run = [&](const std::string &args) {
            EXPECT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y " + args).status, 0) << args;
        };
        run("-f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -ac 2 "
            "-frames:v 3 -t 0.12 -c:v prores -c:a pcm_s16le " +
            shell_quote(dir_->file("src.mov")));
        run("-f lavfi -i testsrc2=size=64x32:rate=25 -frames:v 3 -c:v prores " + shell_quote(dir_->file("mute.mov")));
        for (const char *name : {"a_l.wav", "b_r.wav"})
            run("-f lavfi -i sine=duration=0.1:sample_rate=48000 -ac 1 -c:a pcm_s16le " +
                shell_quote(dir_->file(name)));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override { main_queue::bind_to_current_thread(); }
    static std::string file(const std::string &name) { return dir_->file(name); }

    static RqTaskRef make_task(const std::string &source, const Setting &setting, const std::string &out) {
        RqTaskRef t = RqTask::init_with_main_filepath_and_settings(source, GlobalSettings::init());
        EXPECT_FALSE(t->error) << t->error.value_or("");
        t->set_new_setting(setting);
        t->set_custom_out_path_at_index(out, 0);
        t->refresh_cache_target_properties();
        return t;
    }

    // A task with a fresh context filled from rq.
    static std::shared_ptr<HAPProcessTask> filled(const RqTaskRef &rq, std::string *failure) {
        auto t = HAPProcessTask::init_with_rq_task(rq);
        EXPECT_FALSE(t->error()) << t->error().value_or("");
        t->setHap_process(create_hap_standalone_process());
        try {
            t->_set_process_data(*rq);
        } catch (const std::exception &e) { *failure = e.what(); }
        return t;
    }

    static testutil::TempDir *dir_;
};

testutil::TempDir *HapProcessTaskTest::dir_ = nullptr;

TEST_F(HapProcessTaskTest, CreationChecksTheSourcesAndMakesTheFolders) {
    Setting setting;
    setting.set_default_preset_cmd_rendering();
    {
        RqTaskRef rq = make_task(file("src.mov"), setting, file("made/sub/clip.mov"));
        auto t = HAPProcessTask::init_with_rq_task(rq);
        EXPECT_FALSE(t->error()) << t->error().value_or("");
        EXPECT_EQ(t->uuid(), rq->uuid);
        EXPECT_FALSE(t->need_preprocess());
        EXPECT_EQ(t->arr_step_to_str().size(), 6u);
        EXPECT_EQ(t->get_step_str(ProcessTaskStep_AudioProcessing), "AudioProcessing");
        struct stat st;
        EXPECT_EQ(stat(file("made/sub").c_str(), &st), 0);
        EXPECT_EQ(t->current_state(), uint64_t(RqTaskState_Queue));
    }
    {
        // The source went away after the task was queued.
        testutil::run_command("cp " + shell_quote(file("src.mov")) + " " + shell_quote(file("gone.mov")));
        RqTaskRef rq = make_task(file("gone.mov"), setting, file("gone_out.mov"));
        ASSERT_EQ(unlink(file("gone.mov").c_str()), 0);
        auto t = HAPProcessTask::init_with_rq_task(rq);
        ASSERT_TRUE(t->error());
        EXPECT_EQ(t->error(), rq->error);
    }
    {
        // An output folder that cannot be made: a file is in the way.
        testutil::write_file(file("blocker"), "x", 1);
        RqTaskRef rq = make_task(file("src.mov"), setting, file("blocker/clip.mov"));
        auto t = HAPProcessTask::init_with_rq_task(rq);
        ASSERT_TRUE(t->error());
        EXPECT_EQ(t->error(), rq->error);
    }
}

TEST_F(HapProcessTaskTest, FillCopiesEveryParameter) {
    Setting setting;
    setting.set_default_preset_cmd_rendering();
    setting.setVid_alpha_mode(2);
    setting.setVid_codec_hap(2);
    setting.setVid_hap_quality(2);
    setting.setVid_chunks(65);
    setting.setVid_fps_mode(1);
    setting.setVid_fps_custom(3);
    setting.setMetadata_tc_mode(3);
    setting.setMetadata_tc_force_drop_frame(false);
    setting.setMetadata_start_tc_force(std::string("10:00:00;00"));
    setting.setAud_frequency(0);
    setting.setAud_quantif(1);
    setting.setAud_gain_mode(1);
    setting.setAud_set_gain_val(-3.0f);
    setting.setAud_write_wav_file(true);
    RqTaskRef rq = make_task(file("src.mov"), setting, file("fill/clip.mov"));
    rq->set_in_point(1);
    std::string failure;
    auto t = filled(rq, &failure);
    ASSERT_EQ(failure, "");
    const HapStandaloneProcess &c = *t->hap_process();
    ASSERT_NE(c.src_info, nullptr);
    EXPECT_EQ(c.src_info->width, 64u);
    ASSERT_NE(c.src_interpret, nullptr);
    EXPECT_EQ(c.mode, kHapProcessModeEncode);
    EXPECT_EQ(c.encode_params.codec, 2u);
    EXPECT_EQ(c.encode_params.quality, 2u);
    EXPECT_EQ(c.target_width, 64u);
    EXPECT_EQ(c.target_height, 32u);
    EXPECT_EQ(c.hap_params.nb_chunks, 64u);
    EXPECT_EQ(c.hap_params.nb_crop_items, 0u);
    EXPECT_TRUE(c.video_interp.use_custom_fps);
    EXPECT_EQ(c.video_interp.custom_fps.num, 30000u);
    EXPECT_EQ(c.video_interp.custom_fps.den, 1001u);
    EXPECT_EQ(c.video_interp.in_point, 1);
    EXPECT_EQ(c.video_interp.out_point, -1);
    EXPECT_EQ(c.hap_params.timecode.tc_mode, 3u);
    EXPECT_EQ(c.hap_params.timecode.start_hours, 10u);
    EXPECT_TRUE(c.hap_params.timecode.drop_frame);  // ";" in the text
    ASSERT_EQ(c.out_hap_paths.count, 1u);
    EXPECT_STREQ(c.out_hap_paths.items[0], file("fill/clip.mov").c_str());
    ASSERT_EQ(c.out_wav_paths.count, 1u);
    EXPECT_EQ(std::string(c.out_wav_paths.items[0]).rfind(file("fill/clip"), 0), 0u);
    EXPECT_EQ(c.audio_params.frequency, 44100u);
    EXPECT_EQ(c.audio_params.sample_format, 3u);
    EXPECT_TRUE(c.audio_params.embed_in_mov);
    EXPECT_TRUE(c.audio_params.write_wav);
    EXPECT_EQ(c.audio_params.layout, rq->audio_layout);
    EXPECT_EQ(c.audio_params.gains[0], -3.0f);
    EXPECT_EQ(c.audio_params.gains[1], -3.0f);
    EXPECT_EQ(c.audio_params.gains[2], 0.0f);  // stereo: two channels
}

TEST_F(HapProcessTaskTest, FillCropAndRefusals) {
    {
        // Snappy off gives no chunks; a crop of the setting gives one item with its edges.
        Setting setting;
        setting.set_default_preset_cmd_rendering();
        setting.setVid_enable_snappy(false);
        setting.setVid_chunks(0);
        ASSERT_FALSE(setting.get_array_crop_items().empty());
        RqTaskRef rq = make_task(file("mute.mov"), setting, file("crop/clip.mov"));
        rq->target_crop_scale.crop_l = 4;
        rq->target_crop_scale.crop_b = 8;
        std::string failure;
        auto t = filled(rq, &failure);
        ASSERT_EQ(failure, "");
        const HapStandaloneProcess &c = *t->hap_process();
        EXPECT_EQ(c.hap_params.nb_chunks, 0u);
        ASSERT_EQ(c.hap_params.nb_crop_items, 1u);
        EXPECT_EQ(c.hap_params.crop_items[0].crop_l, 4u);
        EXPECT_EQ(c.hap_params.crop_items[0].crop_b, 8u);
        EXPECT_EQ(c.out_wav_paths.count, 0u);
        EXPECT_EQ(c.audio_params.frequency, 0u);  // no audio out: untouched
    }
    {
        // No video out and no audio out.
        Setting setting;
        setting.set_default_preset_cmd_rendering();
        setting.setVid_enable_video(false);
        RqTaskRef rq = make_task(file("mute.mov"), setting, file("none/clip.mov"));
        std::string failure;
        filled(rq, &failure);
        EXPECT_EQ(failure, "Nothing to export");
    }
    {
        // Audio only keeps the no-video mode.
        Setting setting;
        setting.set_default_preset_cmd_rendering();
        setting.setVid_enable_video(false);
        setting.setAud_write_wav_file(true);
        RqTaskRef rq = make_task(file("src.mov"), setting, file("audio_only/clip.wav"));
        std::string failure;
        auto t = filled(rq, &failure);
        ASSERT_EQ(failure, "");
        EXPECT_EQ(t->hap_process()->mode, kHapProcessModeNoVideo);
        EXPECT_EQ(t->hap_process()->hap_params.nb_chunks, 0u);
        EXPECT_FALSE(t->hap_process()->audio_params.embed_in_mov);
    }
}

TEST_F(HapProcessTaskTest, FillKeepsOnlyTheWavInputsTheLayoutUses) {
    Setting setting;
    setting.set_default_preset_cmd_rendering();
    RqTaskRef rq = make_task(file("mute.mov"), setting, file("wavs/clip.mov"));
    EXPECT_TRUE(rq->try_import_ext_audio_file_at_index({file("a_l.wav"), file("b_r.wav")}, 0).empty());
    rq->refresh_cache_target_properties();
    std::string failure;
    auto t = filled(rq, &failure);
    ASSERT_EQ(failure, "");
    const HapStandaloneProcess &c = *t->hap_process();
    ASSERT_EQ(c.nb_wav_infos, 2u);
    EXPECT_NE(c.wav_infos[0], nullptr);
    EXPECT_NE(c.wav_infos[0], rq->arr_in_wav[0]->info);  // copies
}

// A build that fails on the worker ends the task in error with its reason in the log.
TEST_F(HapProcessTaskTest, BuildFailureEndsInErrorWithItsReason) {
    Setting setting;
    setting.set_default_preset_cmd_rendering();
    setting.setVid_enable_video(false);
    RqTaskRef rq = make_task(file("mute.mov"), setting, file("fail/clip.mov"));
    auto t = HAPProcessTask::init_with_rq_task(rq);
    ASSERT_FALSE(t->error());
    t->set_as_cmd_rendering();
    testing::internal::CaptureStdout();
    t->start_process();
    ASSERT_TRUE(main_queue::run_until([&] { return !t->is_bg_process_running(); }, 30.0));
    t->wait_end();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(t->current_state(), uint64_t(RqTaskState_EndError));
    EXPECT_TRUE(t->have_error_processing());
    EXPECT_EQ(t->error(), std::optional<std::string>("Nothing to export"));
    EXPECT_EQ(t->get_log_line_from(0), std::vector<std::string>{"Fatal error : Nothing to export"});
    EXPECT_NE(out.find("PROGRESS : 100 %"), std::string::npos) << out;
}

// A cancel asked before the main pass is built ends the task cancelled, unbuilt.
TEST_F(HapProcessTaskTest, CancelBeforeTheMainPass) {
    Setting setting;
    setting.set_default_preset_cmd_rendering();
    RqTaskRef rq = make_task(file("src.mov"), setting, file("cancel/clip.mov"));
    auto t = HAPProcessTask::init_with_rq_task(rq);
    ASSERT_FALSE(t->error());
    t->ask_cancel_state();
    testing::internal::CaptureStdout();
    t->set_as_cmd_rendering();
    t->core_process_func();  // on this thread, as the worker would
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(t->current_state(), uint64_t(RqTaskState_Cancel));
    EXPECT_TRUE(t->is_process_cancel());
    EXPECT_EQ(t->hap_process(), nullptr);
}

void failing_job(void *) { throw std::runtime_error("decode failed"); }
void good_job(void *) {}

// Of the slots of a batch, the first failure is logged with its frame and the rest is
// not looked at.
TEST_F(HapProcessTaskTest, FrameErrorsOfABatch) {
    auto t = std::make_shared<HAPProcessTask>();
    t->init_base_process_task();
    t->setHap_process(create_hap_standalone_process());
    HapStandaloneProcess *c = t->hap_process();
    ASSERT_GE(c->nb_workers, 2u);
    std::vector<HAPStandalone_ThreadData> slots(c->nb_workers);
    for (auto &s : slots) s = HAPStandalone_ThreadData{kHapSlotFree, nullptr};
    c->slots = slots.data();
    c->nb_slots = c->nb_workers;
    const uint32_t last = c->nb_workers - 1;
    zthread_start(&c->workers[0], good_job, nullptr);
    zthread_start(&c->workers[last], failing_job, nullptr);
    zthread_join(&c->workers[0]);
    zthread_join(&c->workers[last]);

    t->log_video_error_warning_processing_for_nb_frames(0, 0);
    t->log_video_error_warning_processing_for_nb_frames(0, 1);
    EXPECT_FALSE(t->have_error_processing());
    EXPECT_TRUE(t->get_log_line_from(0).empty());
    t->log_video_error_warning_processing_for_nb_frames(0, last + 1);
    EXPECT_TRUE(t->have_error_processing());
    EXPECT_FALSE(t->have_warning_processing());
    ASSERT_EQ(t->get_log_line_from(0).size(), 1u);
    EXPECT_EQ(t->get_log_line_from(0)[0], "ERROR Processing video :: decode failed");
    // Slots past the context's count are refused, not read.
    t->log_video_error_warning_processing_for_nb_frames(last, 5);
    EXPECT_EQ(t->get_log_line_from(0).size(), 2u);
    c->slots = nullptr;
    c->nb_slots = 0;
}

// A worker that has reached its end state when stop_process comes keeps that state.
class EndsAtOnceTask : public BaseProcessTask {
public:
    std::atomic<bool> release{false};
    ~EndsAtOnceTask() override {
        release = true;
        stop_process();
    }
    void core_process_func() override {
        set_new_state(RqTaskState_Succes);
        while (!release.load()) usleep(1000);
        set_end_state_with_error_and_warning(false, false);
    }
};

TEST(BaseProcessTaskStop, KeepsAnEndedState) {
    main_queue::bind_to_current_thread();
    auto t = std::make_shared<EndsAtOnceTask>();
    t->init_base_process_task();
    t->start_process();
    ASSERT_TRUE(main_queue::run_until([&] { return t->current_state() == RqTaskState_Succes; }, 30.0));
    std::thread releaser([&] {
        usleep(50000);
        t->release = true;
    });
    t->stop_process();
    releaser.join();
    EXPECT_EQ(t->current_state(), uint64_t(RqTaskState_Succes));
    EXPECT_FALSE(t->is_bg_process_running());
}

}  // namespace
