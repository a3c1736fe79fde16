// Every layout the texture encode node takes, made by the ffmpeg tool from one testsrc2
// picture, goes through the node, the HAP frame encode node and a MOV file; the ffmpeg
// tool decodes it (HAP R, which it cannot read, goes through our own decode nodes) and the
// picture must come back within a floor per codec, with its channels in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_writer_hl/mov_writer.h"
#include "container/node_test_util.h"
#include "container/texdec/dxt_decode_filter.h"
#include "pipeline/filters/dxt_encode_filter.h"
#include "pipeline/filters/frames_util.h"
#include "testutil/testutil.h"

namespace {

using nodetest::Filter;
using nodetest::run_node;

constexpr uint32_t kW = 198, kH = 106;  // partial blocks on both edges

struct Layout {
    PixFmt fmt;
    const char *ff;
    bool planar;  // ffmpeg's planes are G, B, R (A)
    uint32_t sample_bytes;
    uint32_t channels;  // samples per pixel (packed) or planes
    bool alpha;         // the node keeps its alpha
};

const Layout kLayouts[] = {
    {PixFmt_ARGB8, "argb", false, 1, 4, true},           {PixFmt_RGBA8, "rgba", false, 1, 4, true},
    {PixFmt_RGB8, "rgb24", false, 1, 3, false},          {PixFmt_BGR8, "bgr24", false, 1, 3, false},
    {PixFmt_RGBX8, "rgba", false, 1, 4, false},  // alpha present in the bytes, ignored
    {PixFmt_RGBA16, "rgba64le", false, 2, 4, true},      {PixFmt_RGBX16, "rgba64le", false, 2, 4, false},
    {PixFmt_PlanarRGB8, "gbrp", true, 1, 3, false},      {PixFmt_PlanarRGBA8, "gbrap", true, 1, 4, true},
    {PixFmt_PlanarRGB10, "gbrp10le", true, 2, 3, false}, {PixFmt_PlanarRGB12, "gbrp12le", true, 2, 3, false},
    {PixFmt_PlanarRGB16, "gbrp16le", true, 2, 3, false}, {PixFmt_PlanarRGBA16, "gbrap16le", true, 2, 4, true},
};

struct Codec {
    HapCodec codec;
    const char *fourcc;
    uint8_t depth;
    double rgb_floor;    // PSNR of R, G, B against the source (alpha-only: of the alpha)
    double alpha_floor;  // 0: alpha not compared
};

const Codec kCodecs[] = {
    {HapCodec_HAP, "Hap1", 24, 30.0, 0},          {HapCodec_HAPA, "Hap5", 32, 30.0, 38.0},
    {HapCodec_HAPQ, "HapY", 24, 29.0, 0},         {HapCodec_HAPQA, "HapM", 32, 29.0, 38.0},
    {HapCodec_HAPAlphaOnly, "HapA", 24, 38.0, 0}, {HapCodec_HAPR, "Hap7", 32, 36.0, 38.0},
};

const std::string kSource =
    "-f lavfi -i " + testutil::shell_quote(
                         "testsrc2=size=198x106,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
                         "a='40+200*X/W'");

// The ffmpeg tool's raw frame of the layout as one of our frames (planar RGB reordered).
void load_layout(VideoFrame *f, const Layout &l, const std::vector<uint8_t> &raw) {
    video_frame_alloc(f, kW, kH, l.fmt, 1);
    if (!l.planar) {
        pipetest::fill_plane(f, 0, raw.data(), size_t(kW) * l.channels * l.sample_bytes, kH);
        return;
    }
    const size_t plane = size_t(kW) * kH * l.sample_bytes;
    const uint32_t ff_plane_of[4] = {2, 0, 1, 3};  // our R, G, B, A from ffmpeg's G, B, R, A
    for (uint32_t i = 0; i < l.channels; ++i)
        pipetest::fill_plane(f, i, raw.data() + ff_plane_of[i] * plane, size_t(kW) * l.sample_bytes, kH);
}

// R, G, B, A bytes of a reference with the alpha of the layout (255 without alpha).
std::vector<uint8_t> expected_rgba(const std::vector<uint8_t> &rgba, bool alpha) {
    std::vector<uint8_t> out = rgba;
    if (!alpha)
        for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
    return out;
}

double psnr_channel(const std::vector<uint8_t> &a, int ca, const std::vector<uint8_t> &b, int cb) {
    std::vector<uint8_t> x(size_t(kW) * kH), y(size_t(kW) * kH);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = a[4 * i + ca];
        y[i] = b[4 * i + cb];
    }
    return testutil::psnr8(x.data(), y.data(), x.size());
}

// Our own decode of one stored HAP frame to packed RGBA.
std::vector<uint8_t> our_decode(HapCodec codec, const VideoFrame *sample) {
    std::vector<uint8_t> bytes(sample->data[0], sample->data[0] + sample->data_size[0]);
    pipetest::Frame stored;
    video_frame_set_compressed_data(stored.f, bytes.data(), uint32_t(bytes.size()), VideoFrameHapData);
    Filter dec(create_filter_hap_frame_decode({codec, kW, kH, 0, 0}));
    Filter pix(create_filter_dxt_decode({codec, kW, kH, 0, PixFmt_RGBA8, 0}));
    EXPECT_EQ(run_node(dec.f, stored.f), "");
    EXPECT_EQ(run_node(pix.f, dec.f->output), "");
    return pipetest::plane_bytes(pix.f->output, 0, size_t(kW) * 4, kH);
}

// One ffmpeg run per phase (the tool starts slowly on a busy machine): every layout of
// the source first, then the decode of every MOV file.
TEST(DxtEncodeEndToEnd, EveryLayoutAndCodecDecodesInFfmpeg) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    testutil::TempDir dir;
    const std::string q_ffmpeg = testutil::shell_quote(ffmpeg) + " -v error -nostdin";
    std::string make = q_ffmpeg + " " + kSource + " -frames:v 1 -f rawvideo -pix_fmt rgba " +
                       testutil::shell_quote(dir.file("reference.raw"));
    for (const Layout &l : kLayouts)
        make += std::string(" -frames:v 1 -f rawvideo -pix_fmt ") + l.ff + " " +
                testutil::shell_quote(dir.file(std::string("layout") + std::to_string(l.fmt) + ".raw"));
    ASSERT_EQ(testutil::run_command(make + " 2>/dev/null").status, 0) << make;
    const std::vector<uint8_t> reference = testutil::read_file(dir.file("reference.raw"));
    ASSERT_EQ(reference.size(), size_t(kW) * kH * 4);

    struct Result {
        const Layout *layout;
        const Codec *codec;
        std::string decoded;        // file of the ffmpeg tool's decode
        std::vector<uint8_t> ours;  // HAP R: our decode
    };
    std::vector<Result> results;
    std::string decode = q_ffmpeg;
    std::string outputs;
    uint32_t inputs = 0;
    for (const Layout &l : kLayouts) {
        SCOPED_TRACE(get_pix_fmt_name(l.fmt));
        const std::vector<uint8_t> raw =
            testutil::read_file(dir.file(std::string("layout") + std::to_string(l.fmt) + ".raw"));
        ASSERT_EQ(raw.size(), size_t(kW) * kH * l.channels * l.sample_bytes);
        pipetest::Frame in;
        load_layout(in.f, l, raw);
        for (const Codec &c : kCodecs) {
            SCOPED_TRACE(c.fourcc);
            Filter enc(create_filter_dxt_encode({uint32_t(c.codec), kW, kH, uint32_t(l.fmt), 1, 0}));
            Filter hap(create_filter_hap_frame_encode({c.codec, kW, kH, 4, HapCompressorSnappy}));
            ASSERT_EQ(run_node(enc.f, in.f), "");
            ASSERT_EQ(run_node(hap.f, enc.f->output), "");
            const VideoFrame *sample = hap.f->output;
            Result r{&l, &c, "", {}};
            if (c.codec == HapCodec_HAPR) {
                r.ours = our_decode(c.codec, sample);  // FFmpeg 5.1 has no HAP R decoder
            } else {
                const std::string name = std::to_string(results.size());
                const std::string mov = dir.file(name + ".mov");
                Mov_Writer_Video writer(mov.c_str(), kW, kH, c.depth, ZRational{25, 1}, 1.0f, c.fourcc, 0, false, 0,
                                        false);
                writer.write_video_frame(sample->data[0], sample->data_size[0]);
                writer.close();
                r.decoded = dir.file(name + ".rgba");
                decode += " -i " + testutil::shell_quote(mov);
                outputs += " -map " + std::to_string(inputs++) + ":v -f rawvideo -pix_fmt rgba " +
                           testutil::shell_quote(r.decoded);
            }
            results.push_back(std::move(r));
        }
    }
    ASSERT_EQ(testutil::run_command(decode + outputs + " 2>/dev/null").status, 0);

    for (const Result &r : results) {
        SCOPED_TRACE(get_pix_fmt_name(r.layout->fmt));
        SCOPED_TRACE(r.codec->fourcc);
        const std::vector<uint8_t> want = expected_rgba(reference, r.layout->alpha);
        const std::vector<uint8_t> got = r.decoded.empty() ? r.ours : testutil::read_file(r.decoded);
        ASSERT_EQ(got.size(), want.size());
        if (r.codec->codec == HapCodec_HAPAlphaOnly) {
            // Grey from the alpha of the source (255 for layouts without alpha).
            EXPECT_GT(psnr_channel(got, 0, want, 3), r.codec->rgb_floor);
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            SCOPED_TRACE(ch);
            EXPECT_GT(psnr_channel(got, ch, want, ch), r.codec->rgb_floor);
        }
        // A swap of red and blue would not pass the floor.
        EXPECT_LT(psnr_channel(got, 0, want, 2), r.codec->rgb_floor);
        if (r.codec->alpha_floor > 0) { EXPECT_GT(psnr_channel(got, 3, want, 3), r.codec->alpha_floor); }
    }
}

}  // namespace
