#include "pipeline/filters/ff_intra_decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
}

#include "container/mov/mov_demuxer.h"
#include "media/error_of.h"
#include "pipeline/filters/ff_intra_decode_internal.h"
#include "pipeline/probe/media_probe.h"
#include "pipeline/source/ff_source_fixtures.h"
#include "testutil/testutil.h"

namespace {

using mediatest::error_of;
using sourcetest::make_clip;

struct Node {
    VideoFilter *f = nullptr;
    ~Node() { video_filter_free(f); }
};

struct Picture {
    AVFrame *p = av_frame_alloc();
    ~Picture() { av_frame_free(&p); }
};

// A picture whose plane k holds the value fill[k] in every sample (16-bit words for depths
// above 8), with FFmpeg's aligned buffers.
void fill_picture(AVFrame *p, int format, int w, int h, const std::vector<uint16_t> &fill) {
    p->format = format;
    p->width = w;
    p->height = h;
    ASSERT_EQ(av_frame_get_buffer(p, 64), 0);
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(format));
    const bool words = desc->comp[0].depth > 8;
    for (size_t k = 0; k < fill.size() && p->data[k]; ++k)
        for (int y = 0; y < h; ++y) {
            uint8_t *row = p->data[k] + int64_t(y) * p->linesize[k];
            const int n = av_image_get_linesize(AVPixelFormat(format), w, int(k)) / (words ? 2 : 1);
            for (int x = 0; x < n; ++x) {
                if (words)
                    reinterpret_cast<uint16_t *>(row)[x] = fill[k];
                else
                    row[x] = uint8_t(fill[k]);
            }
        }
}

uint32_t sample(const VideoFrame *f, int plane, uint32_t x, uint32_t y, bool words) {
    const uint8_t *row = f->data[plane] + int64_t(y) * f->linesize[plane];
    return words ? reinterpret_cast<const uint16_t *>(row)[x] : row[x];
}

FfIntraDecodeParams node_params(uint32_t descriptor, uint32_t w, uint32_t h, PixFmt out) {
    FfIntraDecodeParams p;
    p.data_descriptor = descriptor;
    p.width = w;
    p.height = h;
    p.codec_tag = 0x61706368;  // "apch"
    p.pix_fmt = out;
    p.report_changes = 1;
    return p;
}

// How a decoded picture becomes the output: plane order, alpha fill, the alpha the output
// does not want, and the pictures taken as another layout.
TEST(FfIntraDecode, PictureDelivery) {
    struct Case {
        const char *label;
        uint32_t descriptor;
        uint32_t sub_tag;
        int picture_format;
        std::vector<uint16_t> fill;  // per FFmpeg plane
        PixFmt out;
        bool external;                   // decoder planes handed out
        std::vector<uint32_t> expected;  // per output plane
        const char *message;
    } cases[] = {
        {"gbrp10 to planar RGB 10: R first",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_GBRP10LE,
         {100, 200, 300},
         PixFmt_PlanarRGB10,
         true,
         {300, 100, 200},
         ""},
        {"gbrap to planar RGBA 8",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_GBRAP,
         {10, 20, 30, 40},
         PixFmt_PlanarRGBA8,
         true,
         {30, 10, 20, 40},
         ""},
        {"10-bit 4:4:4 to YUVA: alpha filled",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_YUV444P10LE,
         {64, 512, 513},
         PixFmt_YUVA444_10,
         false,
         {64, 512, 513, 0x3FF},
         ""},
        {"12-bit 4:4:4 to YUVA: alpha filled",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_YUV444P12LE,
         {256, 2048, 2049},
         PixFmt_YUVA444_12,
         false,
         {256, 2048, 2049, 0xFFF},
         ""},
        {"YUVA 10 to YUV 10: alpha ignored",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_YUVA444P10LE,
         {70, 500, 501, 9},
         PixFmt_YUV444_10,
         true,
         {70, 500, 501},
         "Alpha found, but no alpha expected (alpha will be ignored)"},
        {"Notch LC YUVA 12 asked as YUV 12",
         VideoFrameNotchLcData,
         0,
         AV_PIX_FMT_YUVA444P12LE,
         {300, 2000, 2001, 7},
         PixFmt_YUV444_12,
         true,
         {300, 2000, 2001},
         ""},
        {"DXV DXT1 RGBA taken as RGBX",
         VideoFrameDxv3Data,
         0x44585431,
         AV_PIX_FMT_RGBA,
         {77},
         PixFmt_RGBX8,
         true,
         {77},
         ""},
        {"layout change: converted",
         VideoFrameProresData,
         0,
         AV_PIX_FMT_GBRP,
         {10, 20, 30},
         PixFmt_PlanarRGB10,
         false,
         {30 * 4 + 30 / 64, 10 * 4 + 10 / 64, 20 * 4 + 20 / 64},
         "Frame pixel format change"},
    };
    const uint32_t w = 64, h = 16;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        FfIntraDecodeParams p = node_params(c.descriptor, w, h, c.out);
        p.sub_codec_tag = c.sub_tag;
        Node node{create_filter_ff_intra_decode(p)};
        Picture pic;
        fill_picture(pic.p, c.picture_format, int(w), int(h), c.fill);
        ff_intra_deliver_picture(node.f, pic.p);
        const VideoFrame *out = node.f->output;
        EXPECT_EQ(out->pix_fmt, c.out);
        EXPECT_EQ(out->error_flags, 0u);
        EXPECT_EQ(out->is_external != 0, c.external);
        EXPECT_STREQ(node.f->message, c.message);
        const PixDescriptor desc = get_pix_descriptor(c.out);
        ASSERT_EQ(out->nb_planes, c.expected.size());
        for (uint32_t i = 0; i < out->nb_planes; ++i) {
            SCOPED_TRACE(i);
            const bool words = desc.bit_depth[i] > 8;
            // The packed RGBX case reads the first byte (R) of each pixel.
            const uint32_t step = c.out == PixFmt_RGBX8 ? 4 : 1;
            for (uint32_t y = 0; y < h; y += 5)
                for (uint32_t x = 0; x < w; x += 7) EXPECT_EQ(sample(out, int(i), x * step, y, words), c.expected[i]);
        }
    }
}

// Planes that are not 64-byte aligned are copied, in our plane order.
TEST(FfIntraDecode, UnalignedPicturesAreCopied) {
    const uint32_t w = 40, h = 8;
    Node node{create_filter_ff_intra_decode(node_params(VideoFrameProresData, w, h, PixFmt_PlanarRGB8))};
    std::vector<uint8_t> buffer(3 * (w + 8) * h + 64);
    Picture pic;
    pic.p->format = AV_PIX_FMT_GBRP;
    pic.p->width = int(w);
    pic.p->height = int(h);
    const uint8_t values[3] = {1, 2, 3};  // G, B, R
    for (int k = 0; k < 3; ++k) {
        pic.p->linesize[k] = int(w + 8);
        pic.p->data[k] = buffer.data() + 8 + k * (w + 8) * h;
        memset(pic.p->data[k], values[k], (w + 8) * h);
    }
    testing::internal::CaptureStdout();
    ff_intra_deliver_picture(node.f, pic.p);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("not aligned to : 64"), std::string::npos) << out;
    const VideoFrame *f = node.f->output;
    EXPECT_EQ(f->is_external, 0);
    EXPECT_EQ(f->data[0][0], 3);
    EXPECT_EQ(f->data[1][f->linesize[1] * (h - 1) + w - 1], 1);
    EXPECT_EQ(f->data[2][5], 2);
}

TEST(FfIntraDecode, CreationFailures) {
    for (uint32_t descriptor : {uint32_t(VideoFrameExrData), uint32_t(VideoFrameHapData), uint32_t(VideoFramePngData),
                                uint32_t(VideoFrameUnknown), 77u}) {
        SCOPED_TRACE(descriptor);
        EXPECT_EQ(
            error_of([&] {
                video_filter_free(create_filter_ff_intra_decode(node_params(descriptor, 64, 64, PixFmt_YUV422_10)));
            }),
            "Invalid data descriptor");
    }
    // The decoders of every accepted descriptor exist.
    for (uint32_t descriptor : {4u, 5u, 6u, 7u, 9u, 10u}) {
        SCOPED_TRACE(descriptor);
        Node node{create_filter_ff_intra_decode(node_params(descriptor, 64, 64, PixFmt_RGBA8))};
        EXPECT_EQ(node.f->type, VideoFilterType_FfmpegDecode);
    }
}

struct MovCase {
    const char *label;
    std::string file;
    const char *tool_pix_fmt;  // the decoder's own layout, as the tool writes it
};

std::vector<MovCase> mov_cases() {
    return {
        {"ProRes 422", make_clip("intra_prores422.mov", "-c:v prores_ks -profile:v 2", 3), "yuv422p10le"},
        {"ProRes 4444 with alpha",
         make_clip("intra_prores4444.mov",
                   "-vf format=rgba,colorchannelmixer=aa=0.5 -c:v prores_ks -profile:v 4 -pix_fmt yuva444p10le", 3),
         "yuva444p12le"},
        {"DNxHD", make_clip("intra_dnxhd.mov", "-vf scale=1280:720 -c:v dnxhd -b:v 90M -pix_fmt yuv422p", 2),
         "yuv422p"},
        {"DNxHR", make_clip("intra_dnxhr.mov", "-c:v dnxhd -profile:v dnxhr_sq -pix_fmt yuv422p", 3), "yuv422p"},
        {"Photo-JPEG", make_clip("intra_mjpeg.mov", "-c:v mjpeg -pix_fmt yuvj422p", 3), "yuvj422p"},
    };
}

struct Probe {
    MediaInfo *m = nullptr;
    ~Probe() { free_media_info(&m); }
};

// Samples taken by our MOV reader decode to the tool's own pictures, plane for plane.
TEST(FfIntraDecode, MovSamplesMatchTheToolsPictures) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    for (const MovCase &c : mov_cases()) {
        SCOPED_TRACE(c.label);
        Probe probe{get_media_info(c.file.c_str())};
        const MediaInfo *m = probe.m;
        ASSERT_EQ(m->video_src_type, MediaInfoVideoSrc_Mov);
        const std::string raw = sourcetest::fixture_dir().file("intra.raw");
        ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y -i " + testutil::shell_quote(c.file) +
                                        " -f rawvideo -pix_fmt " + c.tool_pix_fmt + " " + testutil::shell_quote(raw))
                      .status,
                  0);
        const std::vector<uint8_t> ref = testutil::read_file(raw);

        MovDemuxerParams dp;
        dp.path = c.file.c_str();
        VideoDemuxer *demuxer = create_video_demuxer_mov(&dp, 1);
        FfIntraDecodeParams p = node_params(m->data_descriptor, m->width, m->height, m->pix_fmt);
        p.codec_tag = m->codec_fourcc;
        p.sub_codec_tag = m->codec_sub_fourcc;
        p.report_changes = 0;
        for (uint8_t threaded : {0, 1}) {
            SCOPED_TRACE(int(threaded));
            p.threaded = threaded;
            Node node{create_filter_ff_intra_decode(p)};
            VideoFrame *in = video_frame_new();
            size_t offset = 0;
            for (uint32_t n = 0; n < m->nb_frames; ++n) {
                video_demuxer_get_frame(demuxer, n, in, false);
                node.f->inputs[0] = in;
                node.f->process(node.f);
                const VideoFrame *out = node.f->output;
                ASSERT_EQ(out->error_flags, 0u);
                EXPECT_EQ(out->frame_index, n);
                EXPECT_EQ(out->pix_fmt, m->pix_fmt);
                // Packed rows of every plane, as the tool writes them.
                const AVPixelFormat ff = av_get_pix_fmt(c.tool_pix_fmt);
                const PixDescriptor desc = get_pix_descriptor(out->pix_fmt);
                for (uint32_t i = 0; i < out->nb_planes; ++i) {
                    const size_t row = size_t(av_image_get_linesize(ff, int(out->width), int(i)));
                    const uint32_t rows = (out->height + desc.sub_h[i] - 1) / desc.sub_h[i];
                    for (uint32_t y = 0; y < rows; ++y, offset += row) {
                        ASSERT_LE(offset + row, ref.size());
                        ASSERT_EQ(memcmp(out->data[i] + int64_t(y) * out->linesize[i], ref.data() + offset, row), 0)
                            << "frame " << n << " plane " << i << " row " << y;
                    }
                }
            }
            EXPECT_EQ(offset, ref.size());
            video_frame_destroy(&in);
        }
        video_demuxer_free(demuxer);
    }
}

// ProRes 4444 forced to 10 bits comes out in the 10-bit layout with its alpha; a node
// smaller than the picture converts it and says so.
TEST(FfIntraDecode, ProresForcedTo10BitsAndResolutionChange) {
    const std::string file = mov_cases()[1].file;
    Probe probe{get_media_info(file.c_str())};
    MovDemuxerParams dp;
    dp.path = file.c_str();
    VideoDemuxer *demuxer = create_video_demuxer_mov(&dp, 1);
    VideoFrame *in = video_frame_new();
    video_demuxer_get_frame(demuxer, 0, in, false);

    FfIntraDecodeParams p = node_params(VideoFrameProresData, 320, 240, PixFmt_YUVA444_10);
    p.codec_tag = probe.m->codec_fourcc;
    p.force_prores_10bit = 1;
    Node forced{create_filter_ff_intra_decode(p)};
    forced.f->inputs[0] = in;
    forced.f->process(forced.f);
    const VideoFrame *out = forced.f->output;
    EXPECT_EQ(out->pix_fmt, PixFmt_YUVA444_10);
    EXPECT_STREQ(forced.f->message, "");
    // Alpha 0.5 of 10 bits.
    EXPECT_NEAR(double(sample(out, 3, 100, 100, true)), 512.0, 2.0);

    p = node_params(VideoFrameProresData, 320, 232, PixFmt_YUVA444_12);
    p.codec_tag = probe.m->codec_fourcc;
    Node smaller{create_filter_ff_intra_decode(p)};
    smaller.f->inputs[0] = in;
    smaller.f->process(smaller.f);
    EXPECT_STREQ(smaller.f->message, "Resolution change");
    EXPECT_EQ(smaller.f->output->height, 232u);
    EXPECT_EQ(smaller.f->output->is_external, 0);

    video_frame_destroy(&in);
    video_demuxer_free(demuxer);
}

}  // namespace
