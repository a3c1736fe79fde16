#include "engine/process_build.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/hap_standalone_process.h"
#include "pipeline/probe/media_probe.h"
#include "platform/core/errors.h"
#include "testutil/testutil.h"

namespace {

struct ContextDeleter {
    void operator()(HapStandaloneProcess *ctx) const {
        free_hap_standalone_process(ctx);
        delete ctx;
    }
};
using ContextPtr = std::unique_ptr<HapStandaloneProcess, ContextDeleter>;

std::string make_clip(const testutil::TempDir &dir, const std::string &name, const std::string &codec_args,
                      const std::string &size = "64x36", int frames = 10) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const std::string path = dir.file(name);
    const std::string cmd = testutil::shell_quote(ffmpeg) + " -v error -y -f lavfi -i testsrc2=size=" + size +
                            ":rate=25 -frames:v " + std::to_string(frames) + " " + codec_args + " " +
                            testutil::shell_quote(path);
    EXPECT_EQ(testutil::run_command(cmd).status, 0) << cmd;
    return path;
}

// A context for the clip, as the conversion task fills it for a plain encode.
ContextPtr encode_context(const std::string &path, uint32_t codec = 0) {
    ContextPtr ctx(create_hap_standalone_process());
    ctx->src_info = get_media_info(path.c_str());
    ctx->src_interpret = new HapStandMediaSrcInterpret();
    ctx->video_interp.packed_intermediate = true;
    ctx->video_interp.in_point = -1;
    ctx->video_interp.out_point = -1;
    ctx->mode = kHapProcessModeEncode;
    ctx->encode_params.codec = codec;
    ctx->target_width = ctx->src_info->width;
    ctx->target_height = ctx->src_info->height;
    ctx->hap_params.nb_chunks = 1;
    alloc_cross_str_array(&ctx->out_hap_paths, 1);
    cross_str_array_add(&ctx->out_hap_paths, (path + ".out.mov").c_str());
    return ctx;
}

std::string message_of(const std::function<void()> &f) {
    try {
        f();
    } catch (const ProcessError &e) { return e.what(); }
    return "";
}

// Node types of one branch of a slot's pipeline.
std::vector<uint32_t> branch_types(const HapStandaloneProcess *ctx, uint32_t slot, uint32_t branch) {
    std::vector<uint32_t> types;
    const FilterGraph *g = ctx->slots[slot].graph->branches[branch]->graph;
    for (uint32_t i = 0; i < g->nb_filters; ++i) types.push_back(g->filters[i]->type);
    return types;
}

const std::vector<uint32_t> kProresEncode = {VideoFilterType_FfmpegDecode, VideoFilterType_Scale,
                                             VideoFilterType_DxtEncode, VideoFilterType_HapEncode};

TEST(ProcessBuild, FrameRange) {
    const struct {
        int64_t start, end;
        int32_t in, out;
        int64_t first, last;
    } ok[] = {
        {0, 99, -1, -1, 0, 99},          {0, 99, 10, 19, 10, 19},  {0, 99, 0, 0, 0, 0},
        {1000, 1010, 5, -1, 1005, 1010}, {0, 99, 50, 500, 50, 99},  // out point past the end: clamped
    };
    for (const auto &c : ok) {
        testing::internal::CaptureStdout();
        const HapProcessFrameRange r = compute_process_frame_range(c.start, c.end, c.in, c.out);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(r.first, c.first) << c.in << " " << c.out;
        EXPECT_EQ(r.last, c.last) << c.in << " " << c.out;
        EXPECT_EQ(out.empty(), c.out < 0 || c.start + c.out <= c.end) << out;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(message_of([] { compute_process_frame_range(0, 99, 100, -1); }), "Invalid start/end range");
    EXPECT_EQ(message_of([] { compute_process_frame_range(0, 99, 20, 10); }), "Invalid start/end range");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Invalid frame range range : StartF : 100 > src End frame : 99\n"
              "Invalid frame range range : StartF : 20 > End frame : 10\n");
}

TEST(ProcessBuild, CropChecks) {
    uint32_t w = 0, h = 0;
    check_crop_out_dims({PixFmt_RGBA8, 64, 36, 30, 16, 30, 16}, &w, &h);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 4u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(message_of([&] {
                  check_crop_out_dims({PixFmt_RGBA8, 64, 36, 31, 0, 30, 0}, &w, &h);
              }),
              "Invalid horizontal crop");
    EXPECT_EQ(message_of([&] {
                  check_crop_out_dims({PixFmt_RGBA8, 64, 36, 0, 40, 0, 0}, &w, &h);
              }),
              "Invalid vertical crop");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR : Check after crop dim : Invalid horizontal crop : 3\n)"
              "ERROR : Check after crop dim : Invalid vertical crop : -4\n)");

    const struct {
        PixFmt f;
        uint32_t l, t, r, b;
        bool ok;
    } cases[] = {
        {PixFmt_YUV420, 1, 0, 0, 0, false}, {PixFmt_YUV420, 2, 2, 0, 0, true},     {PixFmt_YUV420, 2, 1, 0, 0, false},
        {PixFmt_YUV422, 2, 1, 0, 0, true},  {PixFmt_YUV444, 1, 1, 1, 1, true},     {PixFmt_RGBA8, 1, 1, 1, 1, true},
        {PixFmt_UYVY, 2, 1, 2, 0, true},    {PixFmt_UYVY, 1, 0, 0, 0, false},      {PixFmt_UYVYA, 2, 0, 0, 0, false},
        {PixFmt_V210, 6, 0, 0, 0, false},   {PixFmt_Undefined, 0, 0, 0, 0, false},
    };
    testing::internal::CaptureStdout();
    for (const auto &c : cases)
        EXPECT_EQ(is_crop_compatible_pix_fmt({c.f, 64, 36, c.l, c.t, c.r, c.b}), c.ok) << c.f << " " << c.l;
    testing::internal::GetCapturedStdout();
}

TEST(ProcessBuild, DecodeLayoutAndFrameRates) {
    MediaInfo *info = new_media_info();
    testing::internal::CaptureStdout();
    info->pix_fmt = PixFmt_YUV422_10;
    EXPECT_EQ(get_out_pix_fmt_for_ffmpeg_decoding(info, false), PixFmt_YUV422_10);
    info->pix_fmt = PixFmt_UYVYA;
    EXPECT_EQ(get_out_pix_fmt_for_ffmpeg_decoding(info, true), PixFmt_RGBA8);
    info->pix_fmt = PixFmt_YUVA420;
    EXPECT_EQ(get_out_pix_fmt_for_ffmpeg_decoding(info, false), PixFmt_RGBX8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unsupported pix fmt for scaling : Packed UYVY A (422)\n"
              "Warning : Unsupported pix fmt for scaling : 25\n"
              "Unsupported pix fmt for scaling : Planar YUVA 422\n");

    ContextPtr ctx(create_hap_standalone_process());
    info->fps = ZRational{30000, 1001};
    ctx->src_info = info;
    ctx->src_interpret = new HapStandMediaSrcInterpret();
    const struct {
        bool use_custom;
        uint32_t interpret;
        double custom;
        ZRational fps;
    } cases[] = {
        {true, 3, 0, {25, 1}},         // the custom rate of the setting wins (25/1 after creation)
        {false, 0, 0, {30000, 1001}},  // the source's
        {false, 8, 0, {60000, 1001}},  // a fixed choice
        {false, 10, 29.97, {299700, 10000}},
        {false, 10, 23.976023976, {239760, 10000}},  // kept to four decimals
        {false, 10, 1.0, {25, 1}},                   // refused
    };
    testing::internal::CaptureStdout();
    for (const auto &c : cases) {
        ctx->video_interp.use_custom_fps = c.use_custom;
        ctx->src_interpret->interpret_fps = c.interpret;
        ctx->src_interpret->custom_fps = c.custom;
        const ZRational r = get_process_output_fps(ctx.get());
        EXPECT_EQ(r.num, c.fps.num) << c.interpret << " " << c.custom;
        EXPECT_EQ(r.den, c.fps.den) << c.interpret << " " << c.custom;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING invalid custom fps :  1\n");
}

TEST(ProcessBuild, SourceChecks) {
    testutil::TempDir dir;
    const std::string prores = make_clip(dir, "a.mov", "-c:v prores_ks -profile:v 3");
    ContextPtr ctx = encode_context(prores);
    free_media_info(&ctx->src_info);
    EXPECT_EQ(message_of([&] { build_hap_standalone_process(ctx.get()); }), "No main input file");

    ctx = encode_context(prores);
    ctx->src_info->have_video = false;
    EXPECT_EQ(message_of([&] { build_hap_standalone_process(ctx.get()); }), "No supported video for main input file");

    ctx = encode_context(prores);
    ctx->mode = kHapProcessModeSmart;
    EXPECT_EQ(message_of([&] { build_hap_standalone_process(ctx.get()); }), "No hap source for conform mode");

    const struct {
        int64_t start, end;
        const char *message;
    } ranges[] = {
        {10, -1, "Invalid start frame"},
        {0, 10, "Invalid end frame (outside file)"},
        {5, 4, "Invalid end frame (before start frame)"},
    };
    for (const auto &r : ranges) {
        ctx = encode_context(prores);
        ctx->video_interp.start_frame = r.start;
        ctx->video_interp.end_frame = r.end;
        EXPECT_EQ(message_of([&] { build_hap_standalone_process(ctx.get()); }), r.message);
    }
    ctx = encode_context(prores);
    ctx->src_info->nb_frames = 0;
    EXPECT_EQ(message_of([&] { build_hap_standalone_process(ctx.get()); }), "Invalid duration main input file");

    // No video output: nothing of the video is built.
    ctx = encode_context(prores);
    ctx->mode = kHapProcessModeNoVideo;
    build_hap_standalone_process(ctx.get());
    EXPECT_EQ(ctx->nb_slots, 0u);
    EXPECT_EQ(ctx->video_demuxer, nullptr);
    EXPECT_EQ(ctx->nb_frames_to_process, 0u);
}

TEST(ProcessBuild, EncodePipelines) {
    testutil::TempDir dir;
    const std::string prores = make_clip(dir, "p.mov", "-c:v prores_ks -profile:v 3");
    const std::string hap = make_clip(dir, "h.mov", "-c:v hap -format hap");

    {  // Plain encode: decode, conversion to RGBX8, textures, HAP frame, in every slot.
        ContextPtr ctx = encode_context(prores);
        ctx->video_interp.in_point = 2;
        ctx->video_interp.out_point = 5;
        build_hap_standalone_process(ctx.get());
        EXPECT_EQ(ctx->nb_frames_to_process, 4u);
        EXPECT_EQ(ctx->fps.num, 25u);
        EXPECT_EQ(ctx->fps.den, 1u);
        EXPECT_EQ(ctx->hap_codec, HapCodec_HAP);
        EXPECT_FALSE(ctx->use_src_alpha);
        ASSERT_EQ(ctx->nb_slots, 2 * ctx->nb_threads);
        ASSERT_EQ(ctx->frames.count, ctx->nb_slots);
        ASSERT_NE(ctx->video_demuxer, nullptr);
        for (uint32_t s = 0; s < ctx->nb_slots; ++s) {
            ASSERT_NE(ctx->slots[s].graph, nullptr);
            EXPECT_EQ(ctx->slots[s].graph->nb_branches, 1u);
            EXPECT_EQ(branch_types(ctx.get(), s, 0), kProresEncode);
        }
    }
    {  // A layout the encoder takes at the target size needs no conversion.
        ContextPtr ctx = encode_context(hap);
        build_hap_standalone_process(ctx.get());
        EXPECT_EQ(branch_types(ctx.get(), 0, 0),
                  (std::vector<uint32_t>{VideoFilterType_HapDecode, VideoFilterType_DxtDecode,
                                         VideoFilterType_DxtEncode, VideoFilterType_HapEncode}));
    }
    {  // A 4:2:2 crop with an odd left edge goes through the intermediate layout first; an even
        // one is cropped in place. Then a scale to the target size.
        const struct {
            uint32_t left;
            std::vector<uint32_t> types;
        } cases[] = {
            {3,
             {VideoFilterType_FfmpegDecode, VideoFilterType_Scale, VideoFilterType_Crop, VideoFilterType_Scale,
              VideoFilterType_DxtEncode, VideoFilterType_HapEncode}},
            {4,
             {VideoFilterType_FfmpegDecode, VideoFilterType_Crop, VideoFilterType_Scale, VideoFilterType_DxtEncode,
              VideoFilterType_HapEncode}},
        };
        for (const auto &c : cases) {
            ContextPtr ctx = encode_context(prores);
            alloc_crop_params(ctx.get(), 1);
            ctx->hap_params.crop_items[0].crop_l = c.left;
            testing::internal::CaptureStdout();
            build_hap_standalone_process(ctx.get());
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(branch_types(ctx.get(), 0, 0), c.types) << c.left;
        }
    }
    {  // A quarter turn of a 4:2:2 source: conversion, rotation, the output is portrait.
        ContextPtr ctx = encode_context(prores);
        ctx->hap_params.transform_mode = 1;
        ctx->target_width = 36;
        ctx->target_height = 64;
        build_hap_standalone_process(ctx.get());
        EXPECT_EQ(
            branch_types(ctx.get(), 0, 0),
            (std::vector<uint32_t>{VideoFilterType_FfmpegDecode, VideoFilterType_Scale, VideoFilterType_RotateFlip,
                                   VideoFilterType_DxtEncode, VideoFilterType_HapEncode}));
    }
    {  // Multicrop: branch 0 decodes and converts, one branch and one output per item.
        ContextPtr ctx = encode_context(prores);
        ctx->hap_params.is_multicrop = true;
        alloc_crop_params(ctx.get(), 3);
        ctx->hap_params.crop_items[0] = {0, 0, 32, 0, 32, 36, 0};
        ctx->hap_params.crop_items[1] = {32, 0, 0, 0, 32, 36, 1};
        ctx->hap_params.crop_items[2] = {0, 0, 0, 0, 64, 36, 0};
        free_cross_str_array(&ctx->out_hap_paths);
        alloc_cross_str_array(&ctx->out_hap_paths, 3);
        for (int k = 0; k < 3; ++k)
            cross_str_array_add(&ctx->out_hap_paths, dir.file("m" + std::to_string(k) + ".mov").c_str());
        build_hap_standalone_process(ctx.get());
        const VideoGraphTree *tree = ctx->slots[0].graph;
        EXPECT_EQ(tree->nb_branches, 4u);
        EXPECT_EQ(tree->output_connections.count, 3u);
        EXPECT_EQ(branch_types(ctx.get(), 0, 0),
                  (std::vector<uint32_t>{VideoFilterType_FfmpegDecode, VideoFilterType_Scale}));
        EXPECT_EQ(branch_types(ctx.get(), 0, 1),
                  (std::vector<uint32_t>{VideoFilterType_Crop, VideoFilterType_DxtEncode, VideoFilterType_HapEncode}));
        EXPECT_EQ(branch_types(ctx.get(), 0, 2),
                  (std::vector<uint32_t>{VideoFilterType_Crop, VideoFilterType_RotateFlip, VideoFilterType_DxtEncode,
                                         VideoFilterType_HapEncode}));
        EXPECT_EQ(branch_types(ctx.get(), 0, 3),
                  (std::vector<uint32_t>{VideoFilterType_DxtEncode, VideoFilterType_HapEncode}));
        for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(tree->output_connections.array[k].src_graph, k + 1);
    }
}

TEST(ProcessBuild, SmartPipelines) {
    testutil::TempDir dir;
    const std::string hapa = make_clip(dir, "a.mov", "-c:v hap -format hap_alpha", "64x36");
    const std::string hap = make_clip(dir, "h.mov", "-c:v hap -format hap", "64x36");
    auto smart = [](const std::string &path, uint32_t codec) {
        ContextPtr ctx = encode_context(path);
        ctx->mode = kHapProcessModeSmart;
        ctx->conform_params.codec = codec;
        return ctx;
    };
    {  // HAP Alpha to HAP keeps the colour blocks: no pixel is decoded.
        ContextPtr ctx = smart(hapa, 0);
        build_hap_standalone_process(ctx.get());
        EXPECT_EQ(ctx->hap_codec, HapCodec_HAP);
        EXPECT_EQ(branch_types(ctx.get(), 0, 0),
                  (std::vector<uint32_t>{VideoFilterType_HapDecode, VideoFilterType_DxtCropConvert,
                                         VideoFilterType_HapEncode}));
    }
    {  // Same codec, no crop: unpack and pack again.
        ContextPtr ctx = smart(hap, 0);
        build_hap_standalone_process(ctx.get());
        EXPECT_EQ(branch_types(ctx.get(), 0, 0),
                  (std::vector<uint32_t>{VideoFilterType_HapDecode, VideoFilterType_HapEncode}));
    }
    EXPECT_EQ(message_of([&] {
                  ContextPtr ctx = smart(hap, 2);
                  build_hap_standalone_process(ctx.get());
              }),
              "Hap codec conversion unsupported for HAP In");
    testing::internal::CaptureStdout();
    EXPECT_EQ(message_of([&] {
                  ContextPtr ctx = smart(hap, 0);
                  ctx->target_width = 60;
                  build_hap_standalone_process(ctx.get());
              }),
              "Internal error in output resolution evaluation of smart rendering (please contact support)");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Single output smart render : Target dim (64 x 36) != Expected dim (60 x 36)\n");
}

}  // namespace
