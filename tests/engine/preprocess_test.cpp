#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>
#include <string>

#include "engine/hap_standalone_preprocess.h"
#include "pipeline/filters/crop_detect_filter.h"
#include "pipeline/probe/media_probe.h"
#include "platform/core/errors.h"
#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

struct PreProcessDeleter {
    void operator()(HapStandalonePreProcess *pp) const {
        hap_preprocess_free(pp);
        delete pp;
    }
};
using PreProcessPtr = std::unique_ptr<HapStandalonePreProcess, PreProcessDeleter>;

PreProcessPtr make_record(const std::string &path) {
    PreProcessPtr pp(hap_preprocess_create());
    pp->src_info = get_media_info(path.c_str());
    EXPECT_NE(pp->src_info, nullptr) << path;
    return pp;
}

void ffmpeg(const std::string &args) { testutil::run_ffmpeg(args); }

bool keep_going(void *, uint64_t, bool) { return true; }

struct Measure {
    double integrated = NAN;
    double true_peak = NAN;
};

// The ffmpeg tool's integrated loudness and true peak of an audio input.
Measure ffmpeg_ebur128(const std::string &input_args, const std::string &af_prefix = "") {
    const std::string tool = testutil::require_tool("ffmpeg");
    const auto r = testutil::run_command(tool + " -hide_banner -nostats " + input_args + " -af " +
                                         shell_quote(af_prefix + "ebur128=peak=true") + " -f null - 2>&1");
    Measure m;
    std::smatch sm;
    const std::string &out = r.output;
    const size_t summary = out.rfind("Summary:");
    const std::string tail = summary == std::string::npos ? out : out.substr(summary);
    if (std::regex_search(tail, sm, std::regex(R"(I:\s+(-?[0-9.]+|-inf) LUFS)"))) m.integrated = std::stod(sm[1]);
    if (std::regex_search(tail, sm, std::regex(R"(True peak:\s+Peak:\s+(-?[0-9.]+|-inf) dBFS)")))
        m.true_peak = std::stod(sm[1]);
    return m;
}

void run_audio(HapStandalonePreProcess *pp) {
    hap_preprocess_build(pp);
    ASSERT_TRUE(pp->audio_params.enable);
    ASSERT_GT(pp->audio_samples_to_analyse, 0u);
    EXPECT_TRUE(hap_preprocess_run_audio_step(pp, keep_going, nullptr));
}

void loudness_params(HapStandalonePreProcess *pp, uint32_t layout) {
    pp->audio_params.enable = true;
    pp->audio_params.loudness_test = true;
    pp->audio_params.audio_layout = layout;
}

TEST(PreProcessAudio, LoudnessAndTruePeakMatchTheToolOverSeveralSourceKinds) {
    testutil::TempDir dir;
    // Two sines on two channels, in three containers: a WAV read by the WAV reader, a PCM
    // MOV, and an AAC file decoded by FFmpeg; and a 44.1 kHz WAV that is resampled.
    const std::string sine =
        "-f lavfi -i \"sine=f=440:d=12:sample_rate=48000\" -f lavfi -i \"sine=f=997:d=12:sample_rate=48000\" "
        "-filter_complex \"[0][1]amerge=inputs=2,volume=0.4[a]\" -map \"[a]\" ";
    struct Case {
        std::string name, codec;
    } cases[] = {
        {"a.wav", "-c:a pcm_s16le"},
        {"a.mov", "-c:a pcm_s24le"},
        {"a.m4a", "-c:a aac -b:a 192k"},
        {"b.wav", "-c:a pcm_s16le -ar 44100"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ffmpeg(sine + c.codec + " " + shell_quote(path));
        PreProcessPtr pp = make_record(path);
        ASSERT_NE(pp->src_info, nullptr);
        loudness_params(pp.get(), 1);
        run_audio(pp.get());
        const Measure want = ffmpeg_ebur128("-i " + shell_quote(path));
        ASSERT_FALSE(std::isnan(want.integrated));
        EXPECT_FALSE(pp->audio_results.is_silent);
        EXPECT_NEAR(pp->audio_results.loudness, want.integrated, 0.2);
        EXPECT_NEAR(pp->audio_results.true_peak, want.true_peak, 0.3);
        EXPECT_TRUE(pp->audio_params.true_peak_test && pp->audio_params.silence_test);
    }
}

TEST(PreProcessAudio, RangeFromInAndOutPointsIncludesTheOutFrame) {
    testutil::TempDir dir;
    const std::string path = dir.file("ramp.wav");
    // Quiet first half, loud second half: the measure depends on where the range lies.
    ffmpeg(
        "-f lavfi -i \"sine=f=500:d=8:sample_rate=48000\" -af \"volume='if(lt(t,4),0.05,0.8)':eval=frame\" -ac 2 "
        "-c:a pcm_s16le " +
        shell_quote(path));
    PreProcessPtr pp = make_record(path);
    ASSERT_NE(pp->src_info, nullptr);
    loudness_params(pp.get(), 1);
    pp->src_interpret.media_interpret.interpret_fps = 3;  // 25/1
    pp->src_interpret.in_point = 50;                      // 2 s
    pp->src_interpret.out_point = 149;                    // up to 6 s, frame 149 included
    run_audio(pp.get());
    EXPECT_EQ(pp->audio_analyser->start_sample, 96000u);
    EXPECT_EQ(pp->audio_samples_to_analyse, 192000u);
    const Measure want = ffmpeg_ebur128("-i " + shell_quote(path), "atrim=start_sample=96000:end_sample=288000,");
    EXPECT_NEAR(pp->audio_results.loudness, want.integrated, 0.2);
    EXPECT_NEAR(pp->audio_results.true_peak, want.true_peak, 0.3);
}

TEST(PreProcessAudio, RangeTable) {
    struct Row {
        int32_t in, out;
        ZRational fps;
        uint64_t nb;
        uint64_t first, end;
    } rows[] = {
        {50, -1, {25, 1}, 480000, 96000, 480000},
        {50, 100, {25, 1}, 480000, 96000, 193920},  // out frame 100 included
        {-1, 0, {25, 1}, 480000, 0, 1920},          // out point 0 is frame 0
        {0, -1, {30000, 1001}, 100, 0, 100},
        {-1, 1000000, {25, 1}, 480000, 0, 480000},  // capped at the track length
        {1, 1, {30000, 1001}, 480000, 1601, 3203},
        {2000000000, 2000000000, {1, 4000000000u}, UINT64_MAX, UINT64_MAX, UINT64_MAX},  // no overflow
    };
    for (const Row &r : rows) {
        uint64_t first = 1, end = 1;
        hap_preprocess_audio_range(r.in, r.out, r.fps, r.nb, &first, &end);
        EXPECT_EQ(first, r.first) << r.in << " " << r.out;
        EXPECT_EQ(end, r.end) << r.in << " " << r.out;
    }
    HapStandMediaSrcInterpret mi;
    mi.interpret_fps = 0;
    EXPECT_EQ(hap_preprocess_audio_fps(mi, {0, 0}).num, 25u);  // a source without a rate
    mi.interpret_fps = 10;
    mi.custom_fps = 29.97;
    const ZRational c = hap_preprocess_audio_fps(mi, {25, 1});
    EXPECT_EQ(c.num, 299700u);
    EXPECT_EQ(c.den, 10000u);
    mi.custom_fps = 0.5;
    EXPECT_EQ(hap_preprocess_audio_fps(mi, {25, 1}).num, 25u);
}

TEST(PreProcessAudio, SilenceAndWavInputsFeedingTheLayout) {
    testutil::TempDir dir;
    const std::string silent = dir.file("silent.wav");
    const std::string left = dir.file("x_l.wav");
    ffmpeg("-f lavfi -i \"anullsrc=r=48000:cl=stereo\" -t 3 -c:a pcm_s16le " + shell_quote(silent));
    ffmpeg("-f lavfi -i \"sine=f=300:d=3:sample_rate=48000\" -c:a pcm_s16le " + shell_quote(left));

    {  // every used sample zero
        PreProcessPtr pp = make_record(silent);
        ASSERT_NE(pp->src_info, nullptr);
        pp->audio_params.enable = true;
        pp->audio_params.silence_test = true;
        run_audio(pp.get());
        EXPECT_TRUE(pp->audio_results.is_silent);
        EXPECT_EQ(hap_preprocess_gain_db(3, -2, -23, pp->audio_results), 0.0);
    }
    {  // the source's tracks feed nothing; of two WAV inputs only the second feeds the layout
        PreProcessPtr pp = make_record(silent);
        ASSERT_NE(pp->src_info, nullptr);
        pp->src_info->audio_tracks[0].enable = false;
        hap_preprocess_alloc_wav_infos(pp.get(), 2);
        pp->wav_infos[0] = get_media_info(silent.c_str());
        pp->wav_infos[0]->audio_tracks[0].channel_mapping[0] = 1ull << 5;  // outside stereo
        pp->wav_infos[0]->audio_tracks[0].channel_mapping[1] = 1ull << 6;
        pp->wav_infos[1] = get_media_info(left.c_str());
        pp->nb_wav_infos = 2;
        pp->audio_params.enable = true;
        pp->audio_params.true_peak_test = true;
        run_audio(pp.get());
        EXPECT_EQ(pp->nb_used_tracks, 0u);
        EXPECT_EQ(pp->nb_used_wavs, 1u);
        EXPECT_EQ(pp->main_audio_demuxer, nullptr);
        EXPECT_EQ(pp->audio_links[0].info, &pp->wav_infos[1]->audio_tracks[0]);
        EXPECT_FALSE(pp->audio_results.is_silent);
        const Measure want = ffmpeg_ebur128("-i " + shell_quote(left));
        EXPECT_NEAR(pp->audio_results.true_peak, want.true_peak, 0.3);
    }
}

TEST(PreProcessAudio, BuildRefusals) {
    testutil::TempDir dir;
    const std::string wav = dir.file("s.wav");
    ffmpeg("-f lavfi -i \"sine=f=300:d=2:sample_rate=48000\" -ac 2 -c:a pcm_s16le " + shell_quote(wav));
    {  // an in point past the end, with no out point
        PreProcessPtr pp = make_record(wav);
        loudness_params(pp.get(), 1);
        pp->src_interpret.in_point = 100;
        pp->src_interpret.media_interpret.interpret_fps = 3;
        try {
            hap_preprocess_build(pp.get());
            ADD_FAILURE() << "built";
        } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "Fail to find audio range to analyse"); }
    }
    {  // a WAV probe with two tracks
        PreProcessPtr pp = make_record(wav);
        loudness_params(pp.get(), 1);
        hap_preprocess_alloc_wav_infos(pp.get(), 1);
        pp->wav_infos[0] = get_media_info(wav.c_str());
        pp->nb_wav_infos = 1;
        add_audio_info(pp->wav_infos[0]);
        try {
            hap_preprocess_build(pp.get());
            ADD_FAILURE() << "built";
        } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "Invalid audio track count for wav"); }
    }
    {  // no test asked: the step is switched off
        PreProcessPtr pp = make_record(wav);
        pp->audio_params.enable = true;
        hap_preprocess_build(pp.get());
        EXPECT_FALSE(pp->audio_params.enable);
    }
}

TEST(PreProcessAudio, AFailedJobEndsTheStepWithItsText) {
    testutil::TempDir dir;
    const std::string wav = dir.file("s.wav");
    ffmpeg("-f lavfi -i \"sine=f=300:d=4:sample_rate=48000\" -ac 2 -c:a pcm_s16le " + shell_quote(wav));
    PreProcessPtr pp = make_record(wav);
    loudness_params(pp.get(), 1);
    hap_preprocess_build(pp.get());
    ASSERT_TRUE(pp->audio_params.enable);
    // A mapping node that cannot run: the job fails, and no measure may follow.
    pp->audio_ring[0].mapping->process = nullptr;
    uint32_t reads = 0;
    try {
        hap_preprocess_run_audio_step(
            pp.get(),
            [](void *user, uint64_t, bool) {
                ++*static_cast<uint32_t *>(user);
                return true;
            },
            &reads);
        ADD_FAILURE() << "no failure";
    } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "Invalid intern data"); }
}

// A resampler keeps its state from one block to the next: the seconds of a resampled
// source go through one ring entry in order, or the joins of a loud low tone click.
TEST(PreProcessAudio, AResampledSourceIsReadInOrder) {
    testutil::TempDir dir;
    for (const int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        const std::string path = dir.file(std::to_string(rate) + ".wav");
        ffmpeg("-f lavfi -i \"sine=f=100.37:d=12:sample_rate=" + std::to_string(rate) +
               "\" -af volume=7 -ac 2 -c:a pcm_f32le " + shell_quote(path));
        PreProcessPtr pp = make_record(path);
        ASSERT_NE(pp->src_info, nullptr);
        loudness_params(pp.get(), 1);
        run_audio(pp.get());
        EXPECT_EQ(pp->audio_ring_size, rate == 48000 ? pp->nb_cpu : 1u);
        const Measure want = ffmpeg_ebur128("-i " + shell_quote(path));
        EXPECT_NEAR(pp->audio_results.true_peak, want.true_peak, 0.15);
        EXPECT_NEAR(pp->audio_results.loudness, want.integrated, 0.1);
    }
}

TEST(PreProcessResults, GainAndCropTables) {
    struct Gain {
        uint32_t mode;
        double tp_target, loud_target, tp, loud;
        bool silent;
        double want;
    } gains[] = {
        {3, -2, -23, -3, -30, false, 1.0},    // loudness gain limited by the true peak
        {3, -2, -23, -10, -20, false, -3.0},  // loudness gain
        {2, -2, -23, -6, -40, false, 4.0},    // true peak
        {2, -2, -23, -6, -40, true, 0.0},     // silent
        {1, -2, -23, -6, -40, false, 0.0},    // no normalisation
        {3, -2, -23, -INFINITY, -INFINITY, false, 0.0},
    };
    for (const Gain &g : gains) {
        HapStandPreProcess_AudioAnalyseResults r{g.silent, g.tp, g.loud};
        EXPECT_DOUBLE_EQ(hap_preprocess_gain_db(g.mode, g.tp_target, g.loud_target, r), g.want) << g.mode;
    }
    HapStandPreProcess_VideoAnalyseResults none{true, ~0u, ~0u, ~0u, ~0u};
    HapStandPreProcess_VideoAnalyseResults some{false, 8, 12, 16, 20};
    struct Crop {
        HapStandPreProcess_VideoAnalyseResults r;
        uint32_t w, h;
        HapPreProcess_CropEdges want;
    } crops[] = {
        {none, 640, 360, {0, 0, 636, 356}},  // every frame empty: a 4 x 4 block stays
        {some, 3, 360, {0, 0, 0, 0}},        // too small for a crop
        {some, 640, 360, {8, 12, 20, 16}},   // top, left, right, bottom
    };
    for (const Crop &c : crops) {
        const HapPreProcess_CropEdges e = hap_preprocess_crop_edges(c.r, c.w, c.h);
        EXPECT_EQ(e.top, c.want.top);
        EXPECT_EQ(e.left, c.want.left);
        EXPECT_EQ(e.right, c.want.right);
        EXPECT_EQ(e.bottom, c.want.bottom);
    }
}

// ---- video ----

void run_video(HapStandalonePreProcess *pp) {
    hap_preprocess_build(pp);
    ASSERT_TRUE(pp->video_params.enable);
    EXPECT_TRUE(hap_preprocess_run_video_step(pp, keep_going, nullptr));
}

void crop_params(HapStandalonePreProcess *pp) {
    pp->video_params.enable = true;
    pp->video_params.alpha_crop_test = true;
    pp->video_params.crop_detect_flag = true;
}

TEST(PreProcessVideo, TransparentBordersOfProResAndHapAlphaSources) {
    testutil::TempDir dir;
    struct Case {
        std::string name, codec;
        uint32_t x;
        uint32_t top, left, bottom, right;
    } cases[] = {
        // Top and bottom 90 round down to 88; a left edge at 162 rounds down to 160.
        {"p.mov", "-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le", 160, 88, 160, 88, 160},
        {"h.mov", "-c:v hap -format hap_alpha", 162, 88, 160, 88, 156},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ffmpeg("-f lavfi -i \"testsrc2=s=320x180:d=0.4:r=25,format=rgba,pad=640:360:" + std::to_string(c.x) +
               ":90:color=black@0\" " + c.codec + " " + shell_quote(path));
        PreProcessPtr pp = make_record(path);
        ASSERT_NE(pp->src_info, nullptr);
        crop_params(pp.get());
        run_video(pp.get());
        EXPECT_EQ(pp->nb_frames_to_analyse, 10u);
        EXPECT_EQ(pp->nb_frames_analysed, 10u);
        EXPECT_TRUE(pp->video_failed_frames.empty());
        const HapStandPreProcess_VideoAnalyseResults &r = pp->video_results;
        EXPECT_FALSE(r.no_result);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.left, c.left);
        EXPECT_EQ(r.bottom, c.bottom);
        EXPECT_EQ(r.right, c.right);
    }
}

TEST(PreProcessVideo, FrameRangeAndEarlyStop) {
    testutil::TempDir dir;
    const std::string path = dir.file("r.mov");
    // 100 frames: a centred 64 x 64 square, then from frame 60 on the whole picture.
    ffmpeg(
        "-f lavfi -i \"color=c=red:s=128x128:r=25:d=4,format=rgba,"
        "geq=r=255:g=0:b=0:a='if(gte(N,60)+between(X,32,95)*between(Y,32,95),255,0)'\" -c:v prores_ks "
        "-profile:v 4444 -pix_fmt yuva444p10le " +
        shell_quote(path));
    struct Row {
        int32_t in, out;
        uint32_t frames;
        uint32_t left;
    } rows[] = {
        {10, 19, 10, 32},  {10, 150, 90, 0},  // out point past the end: the last frame; stops early
        {-1, 0, 1, 32},                       // out point 0 is frame 0
        {200, -1, 100, 0},                    // in point past the end: from frame 0
        {40, 30, 1, 32},                      // out before in: clamped to the in point
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::to_string(r.in) + " " + std::to_string(r.out));
        PreProcessPtr pp = make_record(path);
        ASSERT_NE(pp->src_info, nullptr);
        crop_params(pp.get());
        pp->src_interpret.in_point = r.in;
        pp->src_interpret.out_point = r.out;
        run_video(pp.get());
        EXPECT_EQ(pp->nb_frames_to_analyse, r.frames);
        EXPECT_EQ(pp->video_results.left, r.left);
        if (r.left != 0)
            EXPECT_EQ(pp->nb_frames_analysed, r.frames);
        else
            EXPECT_LT(pp->nb_frames_analysed, r.frames);  // nothing left to crop: no need to read on
    }
}

TEST(PreProcessVideo, NoAlphaSwitchesTheStepOff) {
    testutil::TempDir dir;
    const std::string path = dir.file("n.mov");
    ffmpeg("-f lavfi -i \"testsrc2=s=64x64:d=0.2\" -c:v prores_ks -profile:v 2 " + shell_quote(path));
    PreProcessPtr pp = make_record(path);
    crop_params(pp.get());
    hap_preprocess_build(pp.get());
    EXPECT_FALSE(pp->video_params.alpha_crop_test);
    EXPECT_FALSE(pp->video_params.enable);
}

TEST(PreProcessVideo, AFailedFrameIsReportedAndTheOthersStillCount) {
    // Slots built by hand: a crop-detect node on Packed RGBA8 frames.
    PreProcessPtr pp(hap_preprocess_create());
    mp_intra_alloc(&pp->frame_pool);
    mp_intra_create_graphs(&pp->frame_pool, 4);
    CropDetectParams cd{1, 0, 0, 0, PixFmt_RGBA8, 0};
    for (uint32_t k = 0; k < pp->frame_pool.nb_slots; ++k)
        pp->crop_detect_index = filter_graph_add_filter(pp->frame_pool.slots[k].graph, create_filter_crop_detect(cd));
    const uint32_t n = pp->frame_pool.nb_threads;
    if (n < 2) GTEST_SKIP() << "needs two slots per half";
    VideoFrame **frames = mp_intra_get_frames(&pp->frame_pool);
    for (uint32_t i = 0; i < n; ++i) {
        video_frame_alloc(frames[i], 16, 16, PixFmt_RGBA8, 1);
        for (uint32_t y = 0; y < 16; ++y) memset(frames[i]->data[0] + y * frames[i]->linesize[0], 0, 64);
        frames[i]->frame_index = 7 + i;
        frames[i]->error_flags = 0;
    }
    // Frame 0 fails; the last frame alone has a visible pixel at (2, 3).
    frames[0]->error_flags = 0x02;
    frames[n - 1]->data[0][3 * frames[n - 1]->linesize[0] + 2 * 4 + 3] = 255;
    mp_intra_start_jobs(&pp->frame_pool, n);
    hap_preprocess_video_finish(pp.get());
    EXPECT_EQ(pp->nb_frames_analysed, n);
    ASSERT_EQ(pp->video_failed_frames.size(), 1u);
    EXPECT_EQ(pp->video_failed_frames[0], "Frame 7 : Corrupt frame");
    EXPECT_FALSE(pp->video_results.no_result);
    EXPECT_EQ(pp->video_results.left, 2u);
    EXPECT_EQ(pp->video_results.top, 3u);
    EXPECT_EQ(pp->video_results.right, 13u);
    EXPECT_EQ(pp->video_results.bottom, 12u);
}

}  // namespace
