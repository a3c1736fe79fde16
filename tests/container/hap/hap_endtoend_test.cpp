// Whole path: pixels -> texture encoder -> HAP encode node -> MOV file that the ffmpeg
// tool decodes, and our own decode of the same frames (HAP decode node, texture decode
// node) must show ffmpeg's pixels.
#include "container/texdec/dxt_decode_filter.h"
#include "container/hap/hap_frame.h"
#include "container/mov/mov_writer_hl/mov_writer.h"
#include "texenc/dxtenc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "testutil/testutil.h"

namespace {

struct Node {
    VideoFilter *f;
    explicit Node(VideoFilter *f) : f(f) {}
    ~Node() { video_filter_free(f); }
};

void run(VideoFilter *f, VideoFrame *in) {
    f->inputs[0] = in;
    f->process(f);
}

TEST(HapEndToEnd, OurFramesDecodeInFfmpegToOurPixels) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    struct Case {
        HapCodec codec;
        uint32_t enc_codec;
        const char *fourcc;
        uint8_t depth;
        int channels;     // compared channels of ffmpeg's RGBA output
        double min_psnr;  // our decode against the source picture
        int max_diff;     // ffmpeg against our decode node
    } cases[] = {
        {HapCodec_HAP, DXTENC_CODEC_DXT1, "Hap1", 24, 3, 28.0, 0},
        {HapCodec_HAPA, DXTENC_CODEC_DXT5, "Hap5", 32, 4, 28.0, 0},
        {HapCodec_HAPAlphaOnly, DXTENC_CODEC_RGTC1_ALPHA, "HapA", 24, 3, 0.0, 0},  // grey from the alpha
        // HAP Q decodes through the float YCoCg conversion, which rounds where ffmpeg's
        // integer one truncates; the integer block decoder must match ffmpeg exactly.
        {HapCodec_HAPQ, DXTENC_CODEC_YCOCG_DXT5, "HapY", 24, 3, 30.0, 1},
        {HapCodec_HAPQA, DXTENC_CODEC_YCOCG_DXT5_ALPHA, "HapM", 32, 4, 30.0, 0},
    };
    const uint32_t w = 200, h = 108;  // 50 x 27 blocks
    const auto source = testutil::ffmpeg_raw_frame(
        "-f lavfi -i " +
            testutil::shell_quote("testsrc2=size=200x108,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X+Y'"),
        "rgba");
    ASSERT_EQ(source.size(), size_t(w) * h * 4);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fourcc);
        DxtEncContext ctx{};
        ASSERT_EQ(
            dxtenc_init(&ctx, w, h, c.enc_codec, DXTENC_QUALITY_FAST, 0, DXTENC_PIX_RGBA8, DXTENC_PAD_REPEAT, 1, 0), 0);
        VideoFrame *tex = video_frame_new();
        video_frame_alloc_dxt(tex, w, h, VideoFrameDataDescriptor(uint32_t(VideoFrameDxtData_HAP) + c.codec));
        // The encoder writes both textures of HAP Q Alpha one after the other.
        const uint32_t size0 = tex->data_size[0], size1 = tex->nb_planes == 2 ? tex->data_size[1] : 0;
        std::vector<uint8_t> encoded(dxtenc_encoded_size(w, h, c.enc_codec, DXTENC_PAD_REPEAT));
        ASSERT_EQ(encoded.size(), size_t(size0) + size1);
        const uint8_t *planes[4] = {source.data(), nullptr, nullptr, nullptr};
        const int64_t strides[4] = {int64_t(w) * 4, 0, 0, 0};
        dxtenc_encode_frame(&ctx, encoded.data(), planes, strides);
        std::memcpy(tex->data[0], encoded.data(), size0);
        if (size1) std::memcpy(tex->data[1], encoded.data() + size0, size1);

        Node enc(create_filter_hap_frame_encode({c.codec, w, h, 8, HapCompressorSnappy}));
        run(enc.f, tex);
        const VideoFrame *sample = enc.f->output;
        testutil::TempDir dir;
        const std::string mov = dir.file("out.mov");
        {
            Mov_Writer_Video writer(mov.c_str(), w, h, c.depth, ZRational{25, 1}, 1.0f, c.fourcc, 0, false, 0, false);
            for (int i = 0; i < 2; ++i) writer.write_video_frame(sample->data[0], sample->data_size[0]);
            writer.close();
        }
        const auto theirs = testutil::run_command(testutil::shell_quote(ffmpeg) + " -v error -i " +
                                                  testutil::shell_quote(mov) + " -f rawvideo -pix_fmt rgba -");
        ASSERT_EQ(theirs.output.size(), 2 * source.size());

        // Our decode of the stored sample.
        VideoFrame *stored = video_frame_new();
        std::vector<uint8_t> bytes(sample->data[0], sample->data[0] + sample->data_size[0]);
        video_frame_set_compressed_data(stored, bytes.data(), uint32_t(bytes.size()), VideoFrameHapData);
        Node dec(create_filter_hap_frame_decode({c.codec, w, h, 0, 1}));
        Node pix(create_filter_dxt_decode({c.codec, w, h, 0, PixFmt_RGBA8, 0}));
        run(dec.f, stored);
        ASSERT_EQ(dec.f->output->error_flags, 0u);
        ASSERT_EQ(dec.f->output->nb_planes, tex->nb_planes);
        for (uint32_t i = 0; i < tex->nb_planes; ++i)
            EXPECT_EQ(std::memcmp(dec.f->output->data[i], tex->data[i], tex->data_size[i]), 0) << "texture " << i;
        run(pix.f, dec.f->output);
        const VideoFrame *ours = pix.f->output;
        std::vector<uint8_t> ours_packed(source.size());
        for (uint32_t y = 0; y < h; ++y)
            std::memcpy(&ours_packed[y * w * 4], ours->data[0] + y * ours->linesize[0], w * 4);
        // Largest difference over the compared channels, pixel by pixel.
        auto worst_against_ffmpeg = [&](const std::vector<uint8_t> &pixels) {
            int worst = 0;
            for (size_t i = 0; i < size_t(w) * h; ++i)
                for (int ch = 0; ch < c.channels; ++ch)
                    worst =
                        std::max(worst, std::abs(int(pixels[i * 4 + ch]) - int(uint8_t(theirs.output[i * 4 + ch]))));
            return worst;
        };
        EXPECT_LE(worst_against_ffmpeg(ours_packed), c.max_diff);
        if (c.codec == HapCodec_HAPQ) {
            const uint32_t aw = (w + 3) & ~3u, ah = (h + 3) & ~3u;
            std::vector<uint8_t> full(size_t(aw) * ah * 4);
            const uint8_t *block = dec.f->output->data[0];
            for (uint32_t by = 0; by < ah; by += 4)
                for (uint32_t bx = 0; bx < aw; bx += 4)
                    block += decode_block_ycocg_int(&full[(size_t(by) * aw + bx) * 4], ptrdiff_t(aw) * 4, block);
            std::vector<uint8_t> int_packed(source.size());
            for (uint32_t y = 0; y < h; ++y) std::memcpy(&int_packed[y * w * 4], &full[size_t(y) * aw * 4], w * 4);
            EXPECT_EQ(worst_against_ffmpeg(int_packed), 0);
        }
        if (c.min_psnr > 0) {
            EXPECT_GT(testutil::psnr8(ours_packed.data(), source.data(), size_t(w) * h, 4, 3), c.min_psnr);
        }
        video_frame_destroy(&stored);
        video_frame_destroy(&tex);
    }
}

}  // namespace
