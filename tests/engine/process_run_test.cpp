#include "engine/process_run.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/hap_standalone_process.h"
#include "engine/process_build.h"
#include "pipeline/probe/media_probe.h"
#include "testutil/testutil.h"

namespace {

struct ContextDeleter {
    void operator()(HapStandaloneProcess *ctx) const {
        free_hap_standalone_process(ctx);
        delete ctx;
    }
};
using ContextPtr = std::unique_ptr<HapStandaloneProcess, ContextDeleter>;

// Runs a built context as the conversion task does, logging failed slots the same way.
class RunTask : public BaseProcessTask, public HapProcessRunHost {
public:
    static std::shared_ptr<RunTask> create(HapStandaloneProcess *ctx) {
        auto t = std::make_shared<RunTask>(ctx);
        t->init_base_process_task();
        t->set_as_cmd_rendering();
        t->setArr_step_to_str(
            {"Unknown", "AudioAnalyse", "VideoAnalyse", "VideoProcessing", "VideoProcessing2", "AudioProcessing"});
        return t;
    }
    explicit RunTask(HapStandaloneProcess *ctx) : ctx_(ctx) {}
    ~RunTask() override { stop_process(); }

    void core_process_func() override { hap_process_main_run(ctx_, this); }

    BaseProcessTask &run_task() override { return *this; }
    bool have_error_processing() const override { return error_; }
    void setHave_error_processing(bool value) override { error_ = value; }
    bool have_warning_processing() const override { return warning_; }
    void log_video_error_warning_processing_for_nb_frames(uint32_t first, uint32_t nb) override {
        if (cancel_at_check_ > 0 && --cancel_at_check_ == 0) ask_cancel_state();
        for (uint32_t k = first; k < first + nb; ++k) {
            const char *text = nullptr;
            if (zthread_get_error(&ctx_->workers[k], &text)) {
                add_str_to_log(std::string("ERROR Processing video : ") + text);
                error_ = true;
                return;
            }
        }
    }

    int cancel_at_check_ = 0;  // a stop request arrives at this check of the video stage

private:
    HapStandaloneProcess *ctx_;
    bool error_ = false;
    bool warning_ = false;
};

// Limits the calling thread to its first usable processor, and restores it.
class OneCpu {
public:
    OneCpu() {
        sched_getaffinity(0, sizeof(old_), &old_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (CPU_ISSET(c, &old_)) {
                CPU_SET(c, &one);
                break;
            }
        }
        sched_setaffinity(0, sizeof(one), &one);
    }
    ~OneCpu() { sched_setaffinity(0, sizeof(old_), &old_); }

private:
    cpu_set_t old_;
};

std::string make_clip(const testutil::TempDir &dir, const std::string &name, int frames) {
    const std::string path = dir.file(name);
    const std::string cmd = testutil::shell_quote(testutil::require_tool("ffmpeg")) +
                            " -v error -y -f lavfi -i testsrc2=size=96x54:rate=25 -frames:v " + std::to_string(frames) +
                            " -c:v prores_ks -profile:v 3 " + testutil::shell_quote(path);
    EXPECT_EQ(testutil::run_command(cmd).status, 0) << cmd;
    return path;
}

ContextPtr built_context(const std::string &src, const std::string &out, bool one_thread = false) {
    ContextPtr ctx;
    if (one_thread) {
        OneCpu guard;
        ctx.reset(create_hap_standalone_process());
    } else {
        ctx.reset(create_hap_standalone_process());
    }
    ctx->src_info = get_media_info(src.c_str());
    ctx->src_interpret = new HapStandMediaSrcInterpret();
    ctx->video_interp.packed_intermediate = true;
    ctx->video_interp.in_point = -1;
    ctx->video_interp.out_point = -1;
    ctx->mode = kHapProcessModeEncode;
    ctx->target_width = ctx->src_info->width;
    ctx->target_height = ctx->src_info->height;
    ctx->hap_params.nb_chunks = 4;
    alloc_cross_str_array(&ctx->out_hap_paths, 1);
    cross_str_array_add(&ctx->out_hap_paths, out.c_str());
    build_hap_standalone_process(ctx.get());
    return ctx;
}

uint64_t run(HapStandaloneProcess *ctx, std::shared_ptr<RunTask> *task_out = nullptr) {
    auto task = RunTask::create(ctx);
    testing::internal::CaptureStdout();
    task->start_process();
    task->wait_end();
    testing::internal::GetCapturedStdout();
    const uint64_t state = task->current_state();
    if (task_out) *task_out = task;
    return state;
}

std::string probe(const std::string &path, const std::string &entries) {
    return testutil::run_command(testutil::shell_quote(testutil::require_tool("ffprobe")) +
                                 " -v error -select_streams v:0 -count_frames -show_entries stream=" + entries +
                                 " -of default=nw=1 " + testutil::shell_quote(path))
        .output;
}

// The batches of every thread count write every frame once, in source order, into a file
// the ffmpeg tool reads back without a complaint; one worker and many give the same bytes.
TEST(ProcessRun, EncodesEveryFrameInOrder) {
    testutil::TempDir dir;
    const std::string src = make_clip(dir, "src.mov", 11);
    ContextPtr ctx = built_context(src, dir.file("many.mov"));
    EXPECT_EQ(run(ctx.get()), RqTaskState_Succes);
    EXPECT_EQ(ctx->nb_frames_written, 11u);
    EXPECT_EQ(ctx->progress, 11u);
    ContextPtr one = built_context(src, dir.file("one.mov"), true);
    EXPECT_EQ(one->nb_threads, 1u);
    EXPECT_EQ(run(one.get()), RqTaskState_Succes);

    EXPECT_EQ(probe(dir.file("many.mov"), "codec_name,codec_tag_string,width,height,nb_read_frames,r_frame_rate"),
              "codec_name=hap\ncodec_tag_string=Hap1\nwidth=96\nheight=54\nr_frame_rate=25/1\nnb_read_frames=11\n");
    const auto errors =
        testutil::run_command(testutil::shell_quote(testutil::require_tool("ffmpeg")) + " -v error -i " +
                              testutil::shell_quote(dir.file("many.mov")) + " -f null - 2>&1");
    EXPECT_EQ(errors.status, 0);
    EXPECT_EQ(errors.output, "");
    EXPECT_EQ(testutil::read_file(dir.file("many.mov")), testutil::read_file(dir.file("one.mov")));
}

// A frame that fails stops the run in error; frames of earlier batches stay in a file the
// tool reads, and only the frames written are counted as written.
TEST(ProcessRun, FailedFrameCountsOnlyWrittenFrames) {
    testutil::TempDir dir;
    const std::string src = make_clip(dir, "src.mov", 12);
    ContextPtr ctx = built_context(src, dir.file("out.mov"), true);  // one frame per batch
    // Break the pipeline of the second slot: the second frame fails.
    ctx->slots[1].graph->branches[0]->graph->filters[0]->process = [](VideoFilter *) {
        throw std::runtime_error("broken node");
    };
    std::shared_ptr<RunTask> task;
    EXPECT_EQ(run(ctx.get(), &task), RqTaskState_EndError);
    EXPECT_EQ(ctx->nb_frames_written, 1u);
    EXPECT_EQ(task->global_process_real_nb_frames_process(), 1u);
    const auto logs = task->get_log_line_from(0);
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs[0], "ERROR Processing video : broken node");
    EXPECT_NE(probe(dir.file("out.mov"), "nb_read_frames").find("nb_read_frames=1\n"), std::string::npos);
}

// A stop request between batches closes the file after the frames in flight.
TEST(ProcessRun, StopRequestLeavesAReadableShorterFile) {
    testutil::TempDir dir;
    const std::string src = make_clip(dir, "src.mov", 40);
    ContextPtr ctx = built_context(src, dir.file("out.mov"), true);
    auto task = RunTask::create(ctx.get());
    task->cancel_at_check_ = 3;  // after the first batch was collected
    testing::internal::CaptureStdout();
    task->start_process();
    task->wait_end();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(task->current_state(), RqTaskState_Cancel);
    EXPECT_GT(ctx->nb_frames_written, 0u);
    EXPECT_LT(ctx->nb_frames_written, 40u);
    const std::string out = probe(dir.file("out.mov"), "nb_read_frames");
    EXPECT_EQ(out, "nb_read_frames=" + std::to_string(ctx->nb_frames_written) + "\n");
}

TEST(ProcessRun, AudioEndFromWrittenFrames) {
    ContextPtr ctx(create_hap_standalone_process());
    ctx->nb_frames_to_process = 250;
    ctx->nb_audio_sources = 1;
    ctx->audio_params.frequency = 48000;
    ctx->fps = ZRational{25, 1};
    ctx->nb_frames_written = 250;
    process_set_audio_end_from_frames(ctx.get());
    EXPECT_EQ(ctx->audio_end_sample, 480000u);
    ctx->fps = ZRational{30000, 1001};
    ctx->nb_frames_written = 1;
    ctx->audio_start_sample = 72000;
    process_set_audio_end_from_frames(ctx.get());
    EXPECT_EQ(ctx->audio_end_sample, 1602u + 72000u);  // 1601.6 rounded
    ctx->nb_frames_written = 0;
    testing::internal::CaptureStdout();
    process_set_audio_end_from_frames(ctx.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning no frame to process, no audio process\n");
    EXPECT_EQ(ctx->audio_end_sample, 0u);
}

}  // namespace

namespace {

// One mono 16-bit output per entry whose samples are their own index in the second, made
// by stand-in nodes; the second entry's job fails when asked.
struct AudioRig {
    ContextPtr ctx{create_hap_standalone_process()};
    std::vector<AudioFrame> outputs;
    static inline bool fail_second = false;
    static inline uint32_t reads = 0;

    // The source read numbers its frame; the source node hands the number on.
    static void read(void *, AudioFrame *frame, uint32_t) { frame->nb_samples = ++reads; }
    static void pass_number(AudioFilter *node) { node->output->nb_samples = node->inputs[0]->nb_samples; }
    static void fill(AudioFilter *node) {
        AudioFrame *f = node->output;
        const uint32_t second = f->nb_samples;
        auto *s = reinterpret_cast<int16_t *>(f->planes[0]);
        for (uint32_t i = 0; i < f->capacity; ++i) s[i] = int16_t(i % 30000 + 1);
        f->nb_samples = f->capacity;
        if (fail_second && second == 2) throw std::runtime_error("broken audio");
    }
    static void noop(AudioFilter *) {}

    explicit AudioRig(const std::string &wav_path) {
        reads = 0;
        HapStandaloneProcess *c = ctx.get();
        c->audio_params.frequency = 48000;
        c->audio_params.sample_format = 1;
        c->audio_params.layout = 0;
        c->audio_samples_per_entry = 48000;
        c->nb_audio_sources = 1;
        c->main_audio_demuxer = new_audio_demuxer(1, AudioDemuxerKind_Other);
        c->main_audio_demuxer->read = read;
        c->main_audio_demuxer->priv_data = nullptr;
        static AudioInfo info{};
        info.frequency = 48000;
        c->audio_links = new HAPStandalone_AudioTrackLink[1]{{c->main_audio_demuxer, 0, &info}};
        c->audio_ring = new HAPStandalone_AudioEncodeThreadData[c->nb_threads]();
        outputs.resize(c->nb_threads);
        for (uint32_t e = 0; e < c->nb_threads; ++e) {
            auto &entry = c->audio_ring[e];
            entry.nb_sources = 1;
            entry.src_frames = new AudioFrame[1]();
            init_audio_frame(&entry.src_frames[0]);
            init_audio_filter_pool(&entry.filters, 4);
            auto make = [&](AudioFilterProcessFunc process, AudioFrame *out) {
                AudioFilter *n = new_audio_filter(AudioFilterType_Convert, 1);
                n->process = process;
                n->output = out;
                audio_filter_pool_add(&entry.filters, n);
                return n;
            };
            init_audio_frame(&outputs[e]);
            alloc_audio_frame(&outputs[e], AudioSampleFormat(1), 1, 48000, 0, 48000);
            entry.src_converters = new AudioFilter *[1] { make(pass_number, &outputs[e]) };
            entry.mapping = make(noop, &outputs[e]);
            entry.gain = make(noop, &outputs[e]);
            entry.nb_outputs = 1;
            entry.out_converters = new AudioFilter *[1] { make(fill, &outputs[e]) };
        }
        c->nb_wav_writers = 1;
        c->wav_writers = new WavWriter[1]();
        wav_writer_init(&c->wav_writers[0]);
        wav_writer_set_format(&c->wav_writers[0], 1, 2, 48000, false);
        wav_writer_alloc_buffer(&c->wav_writers[0], 1);
        wav_writer_open(&c->wav_writers[0], wav_path.c_str());
        c->wav_audio_output = 0;
    }
    ~AudioRig() {
        free_hap_standalone_process(ctx.get());
        for (auto &f : outputs) free_audio_frame(&f);
    }
};

std::vector<int16_t> wav_samples(const std::string &path) {
    const auto bytes = testutil::read_file(path);
    std::vector<int16_t> s;
    if (bytes.size() < 80) return s;
    s.resize((bytes.size() - 80) / 2);
    memcpy(s.data(), bytes.data() + 80, s.size() * 2);
    return s;
}

// An in point of 1.5 s skips one whole second and half of the next; the audio stage ends
// by sample count. Samples keep their place in the second they came from.
TEST(ProcessRun, AudioSkipAndLength) {
    testutil::TempDir dir;
    AudioRig rig(dir.file("a.wav"));
    HapStandaloneProcess *c = rig.ctx.get();
    c->audio_start_sample = c->audio_skip_left = 72000;
    c->audio_end_sample = 60000;  // the longest source, without video: the skipped start is added
    auto task = RunTask::create(c);
    testing::internal::CaptureStdout();
    task->start_process();
    task->wait_end();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(task->current_state(), RqTaskState_Succes);
    EXPECT_EQ(c->progress, 132000u);
    const auto s = wav_samples(dir.file("a.wav"));
    ASSERT_EQ(s.size(), 60000u);
    EXPECT_EQ(s[0], 24000 + 1);  // second 1 from its middle
    EXPECT_EQ(s[23999], 47999 % 30000 + 1);
    EXPECT_EQ(s[24000], 1);  // second 2 from its start
    EXPECT_EQ(s[59999], 35999 % 30000 + 1);
}

// A failed audio job is reported in the task log, ends the task in error and leaves
// silence for its second, never the samples of an older second.
TEST(ProcessRun, FailedAudioJobWritesSilence) {
    testutil::TempDir dir;
    AudioRig::fail_second = true;
    AudioRig rig(dir.file("a.wav"));
    HapStandaloneProcess *c = rig.ctx.get();
    c->audio_end_sample = 3 * 48000;
    std::shared_ptr<RunTask> task = RunTask::create(c);
    testing::internal::CaptureStdout();
    task->start_process();
    task->wait_end();
    const std::string out = testing::internal::GetCapturedStdout();
    AudioRig::fail_second = false;
    EXPECT_NE(out.find("ERR : process audio : broken audio\n"), std::string::npos);
    EXPECT_EQ(task->current_state(), RqTaskState_EndError);
    const auto logs = task->get_log_line_from(0);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0], "ERROR Processing audio : failed second written as silence");
    const auto s = wav_samples(dir.file("a.wav"));
    ASSERT_EQ(s.size(), 3u * 48000u);
    EXPECT_EQ(s[48000 - 1], 47999 % 30000 + 1);
    for (uint32_t i = 48000; i < 96000; ++i) ASSERT_EQ(s[i], 0) << i;
    EXPECT_EQ(s[96000], 1);
}

TEST(ProcessRun, ResampledSourcesUseOneRingEntry) {
    testutil::TempDir dir;
    AudioRig rig(dir.file("a.wav"));
    EXPECT_EQ(process_audio_ring_size(rig.ctx.get()), rig.ctx->nb_threads);
    rig.ctx->audio_links[0].info->frequency = 44100;
    EXPECT_EQ(process_audio_ring_size(rig.ctx.get()), 1u);
    rig.ctx->audio_links[0].info->frequency = 48000;
}

}  // namespace
