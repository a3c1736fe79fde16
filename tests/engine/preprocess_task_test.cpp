#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>

#include "engine/base_process_task.h"
#include "engine/hap_process_task.h"
#include "engine/hap_standalone_preprocess.h"
#include "model/queue/rq_task.h"
#include "platform/core/main_queue.h"
#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

// The analysis pass alone on a worker: fill, build, steps, results into the task.
class AnalysisTask : public BaseProcessTask {
public:
    static std::shared_ptr<AnalysisTask> create(const RqTaskRef &task) {
        auto t = std::make_shared<AnalysisTask>();
        t->init_base_process_task();
        t->set_as_cmd_rendering();
        t->task_ = task;
        return t;
    }
    ~AnalysisTask() override {
        stop_process();
        hap_preprocess_free(pp_);
        delete pp_;
    }
    void core_process_func() override {
        bool error = false, warning = false, cancel = false;
        try {
            pp_ = hap_preprocess_create();
            hap_preprocess_set_data_from_task(pp_, task_);
            hap_preprocess_build(pp_);
        } catch (const std::exception &e) {
            build_error_ = e.what();
            error = true;
        }
        if (!error) error = hap_preprocess_process(pp_, *this, &cancel, &warning);
        if (!error && !cancel) {
            before_refresh_ = true;
            if (hold_before_refresh_) usleep(200000);
            hap_preprocess_update_task(pp_, task_);
            refreshed_ = true;
        }
        set_end_state_with_error_and_warning(error, warning);
    }
    RqTaskRef task_;
    HapStandalonePreProcess *pp_ = nullptr;
    std::string build_error_;
    bool hold_before_refresh_ = false;
    std::atomic<bool> before_refresh_{false}, refreshed_{false};
};

class PreProcessTaskTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        const std::string ffmpeg = testutil::require_tool("ffmpeg");
        if (ffmpeg.empty()) return;
        // 640 x 360 with alpha, content 320 x 180 at (160, 90); a stereo sine at -30 dBFS.
        const auto r = testutil::run_command(
            ffmpeg +
            " -v error -nostdin -y -f lavfi -i \"testsrc2=s=320x180:r=25:d=2,format=rgba,pad=640:360:160:90:"
            "color=black@0\" -f lavfi -i \"sine=f=1000:d=2:sample_rate=48000\" -af \"volume=0.25\" -ac 2 "
            "-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le -c:a pcm_s16le " +
            shell_quote(dir_->file("clip.mov")) + " 2>/dev/null");
        EXPECT_EQ(r.status, 0);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    RqTaskRef make_task(const std::string &out = "") {
        RqTaskRef t = RqTask::init_with_main_filepath_and_settings(dir_->file("clip.mov"), settings_);
        EXPECT_FALSE(t->error) << t->error.value_or("");
        t->setting->setAud_gain_mode(3);
        t->setting->setIs_auto_crop(true);
        if (!out.empty()) t->set_custom_out_path_at_index(out, 0);
        t->refresh_cache_target_properties();
        return t;
    }
    GlobalSettingsRef settings_ = GlobalSettings::init();
    static testutil::TempDir *dir_;
};
testutil::TempDir *PreProcessTaskTest::dir_ = nullptr;

TEST_F(PreProcessTaskTest, ResultsReachTheTaskAfterTheRefreshOnTheMainQueue) {
    main_queue::bind_to_current_thread();
    RqTaskRef task = make_task();
    ASSERT_TRUE(task->is_need_audio_analyse());
    ASSERT_TRUE(task->is_need_video_analyse());
    auto worker = AnalysisTask::create(task);
    worker->start_process();
    ASSERT_TRUE(main_queue::run_until([&] { return !worker->is_bg_process_running(); }, 60.0));
    EXPECT_EQ(worker->build_error_, "");
    EXPECT_TRUE(worker->refreshed_.load());
    EXPECT_EQ(worker->current_state(), uint64_t(RqTaskState_Succes));

    // The tool's sine has amplitude 1/8; at 0.25 more it peaks at -30 dBFS, about -33 LUFS in
    // stereo: the whole loudness gain of about +10 dB applies.
    ASSERT_TRUE(task->analyse_normalization_gain().is_set());
    EXPECT_NEAR(task->analyse_normalization_gain().get_value(), -23.0 - worker->pp_->audio_results.loudness, 1e-9);
    EXPECT_NEAR(task->analyse_normalization_gain().get_value(), 10.0, 0.5);
    EXPECT_FALSE(task->analyse_is_silent_track().is_true_and_set());
    const CropItemRef crop = task->analyse_auto_crop_value();
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->crop_left, 160u);
    EXPECT_EQ(crop->crop_top, 88u);
    EXPECT_EQ(crop->crop_right_width, 160u);
    EXPECT_EQ(crop->crop_bottom_height, 88u);
}

TEST_F(PreProcessTaskTest, StopWhileTheWorkerWaitsForItsRefreshReturns) {
    main_queue::bind_to_current_thread();
    RqTaskRef task = make_task();
    auto worker = AnalysisTask::create(task);
    worker->hold_before_refresh_ = true;
    worker->start_process();
    ASSERT_TRUE(main_queue::run_until(
        [&] { return worker->before_refresh_.load() || !worker->is_bg_process_running(); }, 60.0));
    ASSERT_TRUE(worker->before_refresh_.load());
    // The worker now waits for its refresh while the main thread does not serve its queue,
    // until it stops the worker.
    usleep(500000);
    EXPECT_FALSE(worker->refreshed_.load());
    worker->stop_process();
    EXPECT_FALSE(worker->is_bg_process_running());
    EXPECT_TRUE(worker->refreshed_.load());
}

// The conversion task runs the analysis before its main pass and hands the results to
// its render-queue task.
TEST_F(PreProcessTaskTest, TheConversionTaskRunsItsAnalysisFirst) {
    main_queue::bind_to_current_thread();
    RqTaskRef rq = make_task(dir_->file("conv/clip.mov"));
    ASSERT_TRUE(rq->is_need_preprocess_analyse());
    auto t = HAPProcessTask::init_with_rq_task(rq);
    ASSERT_FALSE(t->error()) << t->error().value_or("");
    t->set_as_cmd_rendering();
    testing::internal::CaptureStdout();
    t->start_process();
    const bool ended = main_queue::run_until([&] { return !t->is_bg_process_running(); }, 60.0);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ended);
    t->wait_end();
    ASSERT_NE(t->hap_preprocess(), nullptr);
    EXPECT_EQ(t->hap_preprocess()->nb_frames_analysed, 50u) << out;
    for (const std::string &line : t->get_log_line_from(0)) EXPECT_EQ(line.find("Analyse"), std::string::npos) << line;
    ASSERT_TRUE(rq->analyse_normalization_gain().is_set());
    EXPECT_NEAR(rq->analyse_normalization_gain().get_value(), 10.0, 0.5);
    const CropItemRef crop = rq->analyse_auto_crop_value();
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->crop_left, 160u);
    EXPECT_EQ(crop->crop_top, 88u);
}

// A cancel met in the audio step skips the video step and the main pass; what was
// measured still reaches the task.
TEST_F(PreProcessTaskTest, ACancelInTheAudioStepSkipsTheRest) {
    main_queue::bind_to_current_thread();
    RqTaskRef rq = make_task(dir_->file("cancel/clip.mov"));
    auto t = HAPProcessTask::init_with_rq_task(rq);
    ASSERT_FALSE(t->error()) << t->error().value_or("");
    t->set_as_cmd_rendering();
    t->ask_cancel_state();
    testing::internal::CaptureStdout();
    t->core_process_func();  // on this thread, as the worker would
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(t->current_state(), uint64_t(RqTaskState_Cancel));
    EXPECT_TRUE(t->is_process_cancel());
    ASSERT_NE(t->hap_preprocess(), nullptr);
    EXPECT_TRUE(t->hap_preprocess()->audio_params.enable);
    EXPECT_EQ(t->hap_preprocess()->nb_frames_analysed, 0u);
    EXPECT_EQ(t->hap_process(), nullptr);
}

}  // namespace
