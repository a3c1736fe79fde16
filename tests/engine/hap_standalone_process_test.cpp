#include "engine/hap_standalone_process.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cstring>
#include <string>

#include "platform/core/errors.h"
#include "testutil/testutil.h"

namespace {

// Limits the calling thread to the first n processors it may use, and restores it.
class AffinityGuard {
public:
    explicit AffinityGuard(int n) {
        ok_ = sched_getaffinity(0, sizeof(old_), &old_) == 0;
        if (!ok_ || CPU_COUNT(&old_) < n) {
            ok_ = false;
            return;
        }
        cpu_set_t set;
        CPU_ZERO(&set);
        int taken = 0;
        for (int c = 0; c < CPU_SETSIZE && taken < n; ++c) {
            if (CPU_ISSET(c, &old_)) {
                CPU_SET(c, &set);
                ++taken;
            }
        }
        ok_ = sched_setaffinity(0, sizeof(set), &set) == 0;
    }
    ~AffinityGuard() {
        if (ok_) sched_setaffinity(0, sizeof(old_), &old_);
    }
    bool ok() const { return ok_; }

private:
    cpu_set_t old_;
    bool ok_ = false;
};

struct ContextDeleter {
    void operator()(HapStandaloneProcess *ctx) const {
        free_hap_standalone_process(ctx);
        delete ctx;
    }
};
using ContextPtr = std::unique_ptr<HapStandaloneProcess, ContextDeleter>;

TEST(HapStandaloneProcess, ThreadsAreHalfTheProcessorsAtLeastOne) {
    const struct { uint32_t cpus, threads; } cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {8, 4}, {12, 6}, {13, 6}};
    for (const auto &c : cases) EXPECT_EQ(hap_process_threads_for_cpus(c.cpus), c.threads) << c.cpus;
}

TEST(HapStandaloneProcess, CreationFollowsTheProcessorsThisThreadMayUse) {
    for (int n : {1, 2, 4}) {
        AffinityGuard guard(n);
        if (!guard.ok()) continue;  // fewer processors than n here
        ContextPtr ctx(create_hap_standalone_process());
        EXPECT_EQ(ctx->nb_threads, hap_process_threads_for_cpus(uint32_t(n))) << n;
        EXPECT_EQ(ctx->nb_workers, 2 * ctx->nb_threads);
    }
}

TEST(HapStandaloneProcess, CreationDefaults) {
    ContextPtr ctx(create_hap_standalone_process());
    EXPECT_EQ(ctx->mode, kHapProcessModeNoVideo);
    EXPECT_EQ(ctx->video_interp.custom_fps.num, 25u);
    EXPECT_EQ(ctx->video_interp.custom_fps.den, 1u);
    EXPECT_EQ(ctx->video_interp.start_frame, -1);
    EXPECT_EQ(ctx->video_interp.end_frame, -1);
    EXPECT_FALSE(ctx->video_interp.use_custom_fps);
    EXPECT_FALSE(ctx->video_interp.packed_intermediate);
    EXPECT_TRUE(ctx->hap_params.timecode.drop_frame);
    EXPECT_TRUE(ctx->hap_params.write_crop_box);
    EXPECT_EQ(ctx->mov_audio_output, -1);
    EXPECT_EQ(ctx->wav_audio_output, -1);
    EXPECT_EQ(ctx->frames.count, 0u);
    EXPECT_EQ(ctx->nb_slots, 0u);
    ASSERT_NE(ctx->workers, nullptr);
    for (uint32_t i = 0; i < ctx->nb_workers; ++i) {
        EXPECT_EQ(ctx->workers[i].thread, nullptr);
        EXPECT_EQ(ctx->workers[i].is_running.load(), 0);
        EXPECT_EQ(ctx->workers[i].success, 1);
    }
}

TEST(HapStandaloneProcess, CodecFromSetting) {
    const struct {
        uint32_t setting;
        HapCodec codec;
    } cases[] = {{0, HapCodec_HAP},          {1, HapCodec_HAPA},         {2, HapCodec_HAPQ}, {3, HapCodec_HAPQA},
                 {4, HapCodec_HAPAlphaOnly}, {5, HapCodec_HAPAlphaOnly}, {6, HapCodec_HAPR}};
    for (const auto &c : cases) EXPECT_EQ(hap_codec_from_setting(c.setting), c.codec) << c.setting;
    testing::internal::CaptureStdout();
    EXPECT_EQ(hap_codec_from_setting(7), HapCodec_HAP);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown hap codec mode : 7\n");
}

TEST(HapStandaloneProcess, StringArrayCopiesAndStopsAtItsCapacity) {
    ArrayCrossStr a{};
    alloc_cross_str_array(&a, 2);
    EXPECT_EQ(a.capacity, 2u);
    std::string first = "/tmp/a.mov";
    cross_str_array_add(&a, first.c_str());
    first[1] = 'X';  // the array holds its own copy
    cross_str_array_add(&a, "");
    EXPECT_STREQ(cross_str_array_get(&a, 0), "/tmp/a.mov");
    EXPECT_STREQ(cross_str_array_get(&a, 1), "");
    EXPECT_EQ(cross_str_array_get(&a, 2), nullptr);

    testing::internal::CaptureStdout();
    try {
        cross_str_array_add(&a, "more");
        ADD_FAILURE() << "a full array took a string";
    } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "Not enough space in array str"); }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Not enough space in array const cross str (max nb : 2 ; Used items : 2\n");
    EXPECT_EQ(a.count, 2u);
    free_cross_str_array(&a);
    EXPECT_EQ(a.items, nullptr);
    EXPECT_EQ(a.count, 0u);
    EXPECT_EQ(a.capacity, 0u);

    // No capacity at all, and no string given.
    ArrayCrossStr empty{};
    alloc_cross_str_array(&empty, 0);
    EXPECT_EQ(empty.items, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_THROW(cross_str_array_add(&empty, "x"), ProcessError);
    alloc_cross_str_array(&empty, 1);
    EXPECT_THROW(cross_str_array_add(&empty, nullptr), std::bad_alloc);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Can't copy cross str to array\n"), std::string::npos);
    EXPECT_EQ(empty.count, 0u);
    free_cross_str_array(&empty);
}

TEST(HapStandaloneProcess, AllocationsReplaceWhatWasThere) {
    ContextPtr ctx(create_hap_standalone_process());
    alloc_crop_params(ctx.get(), 3);
    ASSERT_NE(ctx->hap_params.crop_items, nullptr);
    EXPECT_EQ(ctx->hap_params.nb_crop_items, 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(ctx->hap_params.crop_items[i].crop_l, 0u);
    alloc_crop_params(ctx.get(), 0);
    EXPECT_EQ(ctx->hap_params.crop_items, nullptr);
    EXPECT_EQ(ctx->hap_params.nb_crop_items, 0u);

    alloc_wav_media_infos(ctx.get(), 2);
    ASSERT_NE(ctx->wav_infos, nullptr);
    EXPECT_EQ(ctx->nb_wav_infos, 0u);
    ctx->wav_infos[ctx->nb_wav_infos++] = new_media_info();
    alloc_cross_str_array(&ctx->out_hap_paths, 1);
    cross_str_array_add(&ctx->out_hap_paths, "a.mov");
}

// A record left half-built (writers open, workers with a finished job, a slot graph, an
// audio entry) is released completely: the WAV file is closed with its sizes patched, the
// MOV writer's file is closed without an index.
TEST(HapStandaloneProcess, ReleaseOfAHalfBuiltRecord) {
    testutil::TempDir dir;
    ContextPtr ctx(create_hap_standalone_process());
    ctx->src_info = new_media_info();
    ctx->src_interpret = new HapStandMediaSrcInterpret();

    ctx->nb_mov_writers = 2;
    ctx->mov_writers = new Mov_Writer_Video *[2]();
    ctx->mov_writers[0] =
        new Mov_Writer_Video(dir.file("a.mov").c_str(), 16, 16, 24, ZRational{25, 1}, 1.0f, "Hap1", 0, false, 0, false);

    ctx->nb_wav_writers = 2;
    ctx->wav_writers = new WavWriter[2]();
    wav_writer_init(&ctx->wav_writers[0]);
    wav_writer_set_format(&ctx->wav_writers[0], 2, 2, 48000, false);
    wav_writer_alloc_buffer(&ctx->wav_writers[0], 1);
    wav_writer_open(&ctx->wav_writers[0], dir.file("a.wav").c_str());
    const int16_t samples[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    wav_writer_add_samples(&ctx->wav_writers[0], samples, sizeof(samples));

    static int ran = 0;
    zthread_start(
        &ctx->workers[0], [](void *) { ran = 1; }, nullptr);  // joined by the release

    ctx->nb_slots = ctx->nb_workers;
    ctx->slots = new HAPStandalone_ThreadData[ctx->nb_slots]();
    ctx->slots[0].graph = create_video_graph_tree(1, 1, 1);
    ctx->frames.count = ctx->nb_slots;
    ctx->frames.array = new VideoFrame *[ctx->nb_slots]();
    ctx->frames.array[0] = video_frame_new();

    ctx->audio_ring = new HAPStandalone_AudioEncodeThreadData[ctx->nb_threads]();
    auto &entry = ctx->audio_ring[0];
    entry.nb_sources = 1;
    entry.src_frames = new AudioFrame[1]();
    init_audio_frame(&entry.src_frames[0]);
    alloc_audio_frame(&entry.src_frames[0], AudioSampleFormat(1), 2, 48000, 0, 48000);
    init_audio_filter_pool(&entry.filters, 1);
    entry.src_converters = new AudioFilter *[1]();
    ctx->nb_channels_in = 2;
    ctx->channel_masks = new uint64_t[2]();
    ctx->wav_audio_demuxers = new AudioDemuxer *[1]();

    free_hap_standalone_process(ctx.get());
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(ctx->workers, nullptr);
    EXPECT_EQ(ctx->mov_writers, nullptr);
    EXPECT_EQ(ctx->wav_writers, nullptr);
    EXPECT_EQ(ctx->slots, nullptr);
    EXPECT_EQ(ctx->frames.array, nullptr);
    EXPECT_EQ(ctx->audio_ring, nullptr);
    EXPECT_EQ(ctx->src_info, nullptr);

    const auto wav = testutil::read_file(dir.file("a.wav"));
    ASSERT_GE(wav.size(), 80u + sizeof(samples));
    uint32_t data_size = 0;
    memcpy(&data_size, wav.data() + 76, 4);
    EXPECT_EQ(data_size, sizeof(samples));
    EXPECT_EQ(testutil::read_file(dir.file("a.mov")).size(), 48u);

    free_hap_standalone_process(ctx.get());  // a second release finds nothing to do
    free_hap_standalone_process(nullptr);
}

}  // namespace
