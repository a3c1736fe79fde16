// Output writers and audio chains of the main pass, built on hand-filled records and read
// back with the ffmpeg tools.
#include "engine/process_outputs.h"

#include "engine/hap_standalone_preprocess.h"
#include "engine/process_build.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "container/mov/mov_writer_test_util.h"
#include "pipeline/probe/media_probe.h"
#include "platform/core/errors.h"
#include "testutil/testutil.h"

using namespace mwtest;
using testutil::shell_quote;

namespace {

struct Ctx {
    HapStandaloneProcess *p = create_hap_standalone_process();
    ~Ctx() {
        free_hap_standalone_process(p);
        delete p;
    }
    HapStandaloneProcess *operator->() { return p; }
};

// A video source description without a file: only what the writers read.
void set_video_source(HapStandaloneProcess *ctx, uint32_t w, uint32_t h, bool alpha) {
    ctx->src_info = new_media_info();
    ctx->src_info->have_video = true;
    ctx->src_info->width = w;
    ctx->src_info->height = h;
    ctx->src_info->fps = {25, 1};
    ctx->src_info->have_alpha = alpha;
    ctx->src_info->have_alpha_kind = true;
    ctx->src_info->alpha_kind = 1;
    ctx->src_interpret = new HapStandMediaSrcInterpret();
    ctx->fps = {25, 1};
    ctx->mode = kHapProcessModeEncode;
    ctx->target_width = w;
    ctx->target_height = h;
}

void set_paths(ArrayCrossStr *a, const std::vector<std::string> &paths) {
    alloc_cross_str_array(a, uint32_t(paths.size()));
    for (const std::string &p : paths) cross_str_array_add(a, p.c_str());
}

std::string thrown(const std::function<void()> &fn) {
    try {
        fn();
    } catch (const std::exception &e) { return e.what(); }
    return "(nothing thrown)";
}

// One frame into every writer, then closes them.
void finish_movs(HapStandaloneProcess *ctx, const char *fourcc) {
    for (uint32_t k = 0; k < ctx->nb_mov_writers; ++k) {
        uint32_t w = ctx->target_width, h = ctx->target_height;
        if (ctx->hap_params.is_multicrop)
            w = ctx->hap_params.crop_items[k].dst_width, h = ctx->hap_params.crop_items[k].dst_height;
        auto frame = make_hap_frame(fourcc, w, h, k + 1);
        ctx->mov_writers[k]->write_video_frame(frame.data(), uint32_t(frame.size()));
        ctx->mov_writers[k]->close();
    }
}

struct CropBox {
    int alpha = -1;  // -1: no metadata atom
    int flag = 0;
    uint32_t w = 0, h = 0, x = 0, y = 0;
    bool operator==(const CropBox &o) const {
        return alpha == o.alpha && flag == o.flag && w == o.w && h == o.h && x == o.x && y == o.y;
    }
};

std::ostream &operator<<(std::ostream &os, const CropBox &b) {
    return os << "alpha " << b.alpha << " box " << b.flag << " " << b.w << "x" << b.h << " at " << b.x << "," << b.y;
}

CropBox read_metadata(const std::string &path) {
    auto f = testutil::read_file(path);
    auto z = payload_of(f, find_box(f, "moov/udta/ZELQ"));
    CropBox b;
    if (z.size() < 20) return b;
    b.alpha = z[2];
    b.flag = z[3];
    b.w = le32(&z[4]), b.h = le32(&z[8]), b.x = le32(&z[12]), b.y = le32(&z[16]);
    return b;
}

}  // namespace

TEST(ProcessOutputs, VideoFormatByCodec) {
    struct Case {
        int32_t codec;
        bool alpha_applies, no_alpha;
        const char *fourcc;
        int depth;
    } cases[] = {
        {0, true, false, "Hap1", 24},  {1, false, false, "Hap5", 32}, {2, true, false, "HapY", 24},
        {3, false, false, "HapM", 32}, {4, true, false, "HapA", 24},  {5, true, false, "Hap7", 32},
        {5, true, true, "Hap7", 24},   {5, false, false, "Hap7", 24},
    };
    for (const Case &c : cases) {
        const MovVideoFormat f = mov_video_format(c.codec, c.alpha_applies, c.no_alpha);
        EXPECT_STREQ(f.fourcc, c.fourcc) << c.codec;
        EXPECT_EQ(f.depth, c.depth) << c.codec << " " << c.alpha_applies << c.no_alpha;
    }
    EXPECT_EQ(thrown([] { mov_video_format(6, false, false); }), "Invalid hap codec");

    // The source alpha applies only with video and alpha that the interpretation keeps.
    Ctx ctx;
    set_video_source(ctx.p, 64, 48, true);
    EXPECT_NE(get_process_src_alpha_kind(ctx.p), 2u);
    ctx->src_interpret->alpha_mode = 3;
    EXPECT_EQ(get_process_src_alpha_kind(ctx.p), 2u);
    EXPECT_EQ(get_process_target_alpha_kind(ctx.p), 2u);
    ctx->src_interpret->alpha_mode = 1;
    EXPECT_EQ(get_process_src_alpha_kind(ctx.p), 0u);
    ctx->hap_params.alpha_conversion = 2;
    EXPECT_EQ(get_process_target_alpha_kind(ctx.p), 1u);
    ctx->src_info->have_alpha = false;
    ctx->hap_params.alpha_conversion = 0;
    EXPECT_EQ(get_process_src_alpha_kind(ctx.p), 2u);
}

TEST(ProcessOutputs, MovWritersGetTheirSizeCodecAndCropBox) {
    struct Item {
        uint32_t l, t, r, b, dst_w, dst_h, transform;
    };
    struct Case {
        const char *name;
        std::vector<Item> items;
        bool multicrop;
        uint32_t transform;  // single output
        uint32_t target_w, target_h;
        bool write_crop_box;
        int32_t codec;
        std::vector<CropBox> expected;  // per output
        const char *printed;
    } cases[] = {
        {"cropped left, not scaled",
         {{100, 8, 0, 0, 0, 0, 0}},
         false,
         0,
         540,
         352,
         true,
         0,
         {{0, 1, 640, 360, 100, 8}},
         ""},
        {"cropped and scaled", {{100, 8, 0, 0, 0, 0, 0}}, false, 0, 320, 176, true, 0, {{0, 0}}, ""},
        {"cropped and rotated", {{100, 8, 0, 0, 0, 0, 0}}, false, 1, 352, 540, true, 0, {{0, 0}}, ""},
        {"no crop item", {}, false, 0, 640, 360, true, 0, {{0, 0}}, ""},
        {"crop box off",
         {{100, 8, 0, 0, 0, 0, 0}},
         false,
         0,
         540,
         352,
         false,
         0,
         {{0, 0}},
         "Write crop box metadata false\n"},
        {"HAP Alpha keeps the straight alpha", {}, false, 0, 640, 360, true, 1, {{2, 0}}, ""},
        {"multicrop, rotated item without box",
         {{0, 0, 320, 180, 320, 180, 0}, {320, 180, 0, 0, 180, 320, 1}, {0, 0, 0, 0, 640, 360, 0}},
         true,
         0,
         0,
         0,
         true,
         0,
         {{0, 1, 640, 360, 0, 0}, {0, 0}, {0, 0}},
         ""},
        {"multicrop item past the source",
         {{600, 0, 0, 0, 64, 64, 0}},
         true,
         0,
         0,
         0,
         true,
         0,
         {{0, 0}},
         "Write crop box : unset after set\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testutil::TempDir dir;
        Ctx ctx;
        set_video_source(ctx.p, 640, 360, true);
        ctx->target_width = c.target_w, ctx->target_height = c.target_h;
        ctx->hap_codec = c.codec;
        ctx->hap_params.is_multicrop = c.multicrop;
        ctx->hap_params.transform_mode = c.transform;
        ctx->hap_params.write_crop_box = c.write_crop_box;
        alloc_crop_params(ctx.p, uint32_t(c.items.size()));
        for (size_t i = 0; i < c.items.size(); ++i) {
            const Item &it = c.items[i];
            ctx->hap_params.crop_items[i] = {it.l, it.t, it.r, it.b, it.dst_w, it.dst_h, it.transform};
        }
        std::vector<std::string> paths;
        for (size_t i = 0; i < c.expected.size(); ++i) paths.push_back(dir.file("out" + std::to_string(i) + ".mov"));
        set_paths(&ctx->out_hap_paths, paths);

        testing::internal::CaptureStdout();
        build_mov_writers(ctx.p);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        ASSERT_EQ(ctx->nb_mov_writers, c.expected.size());
        const std::string fourcc = mov_video_format(c.codec, true, false).fourcc;
        finish_movs(ctx.p, fourcc.c_str());
        for (size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(read_metadata(paths[i]), c.expected[i]);
            uint32_t w = c.target_w, h = c.target_h;
            if (c.multicrop) w = c.items[i].dst_w, h = c.items[i].dst_h;
            EXPECT_EQ(
                probe_stream(paths[i], "v:0", "stream=codec_tag_string,width,height"),
                "codec_tag_string=" + fourcc + "\nwidth=" + std::to_string(w) + "\nheight=" + std::to_string(h) + "\n");
        }
    }
}

TEST(ProcessOutputs, MovWritersRefuseWhatTheyCannotWrite) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        std::function<void(HapStandaloneProcess *)> edit;
        const char *message;
    } cases[] = {
        {"no path", [](HapStandaloneProcess *ctx) { free_cross_str_array(&ctx->out_hap_paths); },
         "No target hap path set"},
        {"fewer paths than crop items",
         [](HapStandaloneProcess *ctx) {
             ctx->hap_params.is_multicrop = true;
             alloc_crop_params(ctx, 2);
             ctx->hap_params.crop_items[0] = {0, 0, 0, 0, 64, 48, 0};
             ctx->hap_params.crop_items[1] = {0, 0, 0, 0, 64, 48, 0};
         },
         "No target hap path set"},
        {"wider than a MOV can say", [](HapStandaloneProcess *ctx) { ctx->target_width = 70000; },
         "Invalid output dimensions : 70000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Ctx ctx;
        set_video_source(ctx.p, 64, 48, false);
        set_paths(&ctx->out_hap_paths, {dir.file(std::string(c.name) + ".mov")});
        c.edit(ctx.p);
        EXPECT_EQ(thrown([&] { build_mov_writers(ctx.p); }), c.message);
    }
    // Nothing at all without video output.
    Ctx none;
    none->mode = kHapProcessModeNoVideo;
    build_mov_writers(none.p);
    EXPECT_EQ(none->nb_mov_writers, 0u);
}

TEST(ProcessOutputs, TakenNamesMoveToTheNextFreeOneAndThePathsFollow) {
    testutil::TempDir dir;
    Ctx ctx;
    set_video_source(ctx.p, 64, 48, false);
    const std::string path = dir.file("clip.mov");
    testutil::write_file(path, "keep", 4);
    set_paths(&ctx->out_hap_paths, {path});
    build_mov_writers(ctx.p);
    EXPECT_STREQ(ctx->out_hap_paths.items[0], dir.file("clip_1.mov").c_str());
    EXPECT_EQ(ctx->mov_writers[0]->path(), dir.file("clip_1.mov"));
    EXPECT_EQ(testutil::read_file(path).size(), 4u);
}

TEST(ProcessOutputs, TimecodeTrackCarriesTheStartLabel) {
    struct Case {
        const char *name;
        std::function<void(HapStandaloneProcess *)> edit;
        const char *timecode;  // nullptr: no timecode track
    } cases[] = {
        {"never", [](HapStandaloneProcess *) {}, nullptr},
        {"overwrite at 29.97 drop frame",
         [](HapStandaloneProcess *ctx) {
             ctx->fps = {30000, 1001};
             ctx->hap_params.timecode = {3, true, 10, 0, 0, 0};
         },
         "10:00:00;00"},
        {"auto from the source plus the in point",
         [](HapStandaloneProcess *ctx) {
             ctx->src_info->have_tc = true;
             ctx->src_info->tc_start_frame = 90000;
             ctx->video_interp.in_point = 50;
             ctx->hap_params.timecode.tc_mode = 1;
         },
         "01:00:02:00"},
        {"auto without a source timecode", [](HapStandaloneProcess *ctx) { ctx->hap_params.timecode.tc_mode = 1; },
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testutil::TempDir dir;
        Ctx ctx;
        set_video_source(ctx.p, 64, 48, false);
        c.edit(ctx.p);
        const std::string path = dir.file("tc.mov");
        set_paths(&ctx->out_hap_paths, {path});
        build_mov_writers(ctx.p);
        finish_movs(ctx.p, "Hap1");
        const std::string tags = probe_stream(path, "d", "stream_tags=timecode");
        EXPECT_EQ(tags, c.timecode ? "TAG:timecode=" + std::string(c.timecode) + "\n" : "");
    }
}

namespace {

// A 2-second MOV with a small video track and a stereo s16 48 kHz track whose channels
// differ, made by the ffmpeg tool.
std::string make_av_source(const testutil::TempDir &dir) {
    const std::string path = dir.file("src.mov");
    auto r = run(testutil::require_tool("ffmpeg") +
                 " -v error -y -f lavfi -i testsrc2=size=64x48:rate=25:duration=2 -f lavfi -i "
                 "'aevalsrc=0.5*sin(2*PI*440*t)|0.25*sin(2*PI*660*t)+0.1:s=48000:d=2' -c:v mjpeg -c:a pcm_s16le " +
                 shell_quote(path));
    EXPECT_EQ(r.status, 0) << r.output;
    return path;
}

std::vector<int16_t> tool_pcm_s16(const std::string &path, size_t frames) {
    auto r = testutil::run_command(testutil::require_tool("ffmpeg") + " -v error -i " + shell_quote(path) +
                                   " -map 0:a:0 -f s16le -acodec pcm_s16le -");
    std::vector<int16_t> s(r.output.size() / 2);
    std::memcpy(s.data(), r.output.data(), s.size() * 2);
    if (s.size() > frames * 2) s.resize(frames * 2);
    return s;
}

// An audio context over the probed source: stereo layout, 48 kHz, 16-bit.
void set_audio_source(HapStandaloneProcess *ctx, const std::string &src) {
    ctx->src_info = get_media_info(src.c_str());
    ASSERT_NE(ctx->src_info, nullptr);
    ctx->src_interpret = new HapStandMediaSrcInterpret();
    ctx->fps = {25, 1};
    ctx->mode = kHapProcessModeNoVideo;
    ctx->audio_params.frequency = 48000;
    ctx->audio_params.sample_format = AudioSampleFormat_S16LE;
    ctx->audio_params.layout = 1;
}

// Runs entry e of the ring on the next second of every source; returns output o.
AudioFrame *run_entry(HapStandaloneProcess *ctx, uint32_t e, uint32_t o) {
    HAPStandalone_AudioEncodeThreadData &entry = ctx->audio_ring[e];
    for (uint32_t j = 0; j < entry.nb_sources; ++j) {
        audio_demuxer_read(ctx->audio_links[j].demuxer, &entry.src_frames[j], ctx->audio_links[j].track);
        entry.src_converters[j]->inputs[0] = &entry.src_frames[j];
        audio_filter_process(entry.src_converters[j]);
        entry.mapping->inputs[j] = entry.src_converters[j]->output;
    }
    audio_filter_process(entry.mapping);
    entry.gain->inputs[0] = entry.mapping->output;
    audio_filter_process(entry.gain);
    entry.out_converters[o]->inputs[0] = entry.gain->output;
    audio_filter_process(entry.out_converters[o]);
    return entry.out_converters[o]->output;
}

}  // namespace

TEST(ProcessOutputs, AudioChainGivesTheSourceSecondWithTheGain) {
    testutil::TempDir dir;
    const std::string src = make_av_source(dir);
    const std::vector<int16_t> ref = tool_pcm_s16(src, 48000);
    ASSERT_EQ(ref.size(), 96000u);
    for (float gain : {0.0f, -6.0206f}) {
        SCOPED_TRACE(gain);
        Ctx ctx;
        set_audio_source(ctx.p, src);
        ctx->audio_params.write_wav = true;
        for (float &g : ctx->audio_params.gains) g = gain;
        set_paths(&ctx->out_wav_paths, {dir.file("mix.wav")});
        build_audio_outputs(ctx.p);
        EXPECT_EQ(ctx->nb_audio_sources, 1u);
        EXPECT_EQ(ctx->nb_channels_in, 2u);
        EXPECT_EQ(ctx->audio_end_sample, 96000u);
        EXPECT_EQ(ctx->audio_samples_per_entry, 48000u);
        EXPECT_EQ(ctx->mov_audio_output, -1);
        EXPECT_EQ(ctx->wav_audio_output, 0);
        EXPECT_EQ(std::string(ctx->out_wav_paths.items[0]), dir.file(gain == 0.0f ? "mix.wav" : "mix_1.wav"));

        AudioFrame *out = run_entry(ctx.p, 0, 0);
        ASSERT_EQ(out->nb_samples, 48000u);
        ASSERT_EQ(out->planar, 0);
        const int16_t *s = reinterpret_cast<const int16_t *>(out->planes[0]);
        const double scale = std::pow(10.0, gain * 0.05);
        int worst = 0;
        for (size_t i = 0; i < ref.size(); ++i)
            worst = std::max(worst, std::abs(s[i] - int(std::lround(ref[i] * scale))));
        EXPECT_LE(worst, 1);
    }
}

TEST(ProcessOutputs, AudioOutputsByLayoutAndWriters) {
    testutil::TempDir dir;
    const std::string src = make_av_source(dir);
    struct Case {
        const char *name;
        uint32_t layout;
        bool mov, wav, multi_mono;
        uint32_t nb_outputs;
        int mov_out, wav_out;
        std::vector<uint32_t> wav_channels;  // per WAV writer
        bool dual_first;                     // output 0 splits into two stereo frames
    } cases[] = {
        {"MOV only", 1, true, false, false, 1, 0, -1, {}, false},
        {"MOV and one WAV", 2, true, true, false, 1, 0, 0, {6}, false},
        {"dual stereo, MOV and WAV", 3, true, true, false, 2, 0, 1, {4}, true},
        {"MOV and multi-mono WAV", 1, true, true, true, 2, 0, 1, {1, 1}, false},
        {"multi-mono WAV only", 4, false, true, true, 1, -1, 0, {1, 1, 1, 1, 1, 1, 1, 1}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testutil::TempDir out;
        Ctx ctx;
        set_audio_source(ctx.p, src);
        ctx->audio_params.layout = c.layout;
        ctx->audio_params.embed_in_mov = c.mov;
        ctx->audio_params.write_wav = c.wav;
        ctx->audio_params.multi_mono = c.multi_mono;
        if (c.mov) {
            ctx->mode = kHapProcessModeEncode;
            ctx->src_info->width = 64, ctx->src_info->height = 48;
            ctx->target_width = 64, ctx->target_height = 48;
            set_paths(&ctx->out_hap_paths, {out.file("a.mov")});
            build_mov_writers(ctx.p);
        }
        std::vector<std::string> wavs;
        for (size_t i = 0; i < c.wav_channels.size(); ++i) wavs.push_back(out.file("w" + std::to_string(i) + ".wav"));
        if (c.wav) set_paths(&ctx->out_wav_paths, wavs);
        build_audio_outputs(ctx.p);
        EXPECT_EQ(ctx->mov_audio_output, c.mov_out);
        EXPECT_EQ(ctx->wav_audio_output, c.wav_out);
        ASSERT_NE(ctx->audio_ring, nullptr);
        for (uint32_t e = 0; e < ctx->nb_threads; ++e) {
            const HAPStandalone_AudioEncodeThreadData &entry = ctx->audio_ring[e];
            ASSERT_EQ(entry.nb_outputs, c.nb_outputs);
            EXPECT_EQ(entry.filters.count, 1 + 2 + c.nb_outputs);  // source, mapping, gain, outputs
        }
        AudioFrame *o0 = run_entry(ctx.p, 0, 0);
        EXPECT_EQ(o0->nb_samples, 48000u);
        const HAPStandalone_AudioEncodeThreadData &entry = ctx->audio_ring[0];
        if (c.dual_first) {
            EXPECT_EQ(o0->channels, 2u);
            EXPECT_EQ(entry.out_converters[0]->output2->channels, 2u);
        }
        if (c.wav_out >= 0) {
            AudioFilter *w = entry.out_converters[c.wav_out];
            w->inputs[0] = entry.gain->output;
            audio_filter_process(w);
            EXPECT_EQ(w->output->planar, c.multi_mono ? 1 : 0);
            EXPECT_EQ(w->output->channels, hap_preprocess_layout_channels(c.layout));
        }
        ASSERT_EQ(ctx->nb_wav_writers, c.wav_channels.size());
        for (size_t i = 0; i < c.wav_channels.size(); ++i) EXPECT_EQ(ctx->wav_writers[i].channels, c.wav_channels[i]);
        if (c.mov) {
            finish_movs(ctx.p, "Hap1");
            const uint32_t tracks = c.layout == 3 ? 2 : 1;
            std::string expect;
            for (uint32_t t = 0; t < tracks; ++t)
                expect += "codec_name=pcm_s16le\nsample_rate=48000\nchannels=" +
                          std::to_string(c.layout == 3 ? 2 : hap_preprocess_layout_channels(c.layout)) + "\n";
            EXPECT_EQ(probe_stream(out.file("a.mov"), "a", "stream=codec_name,sample_rate,channels"), expect);
        }
    }
}
