// Notch LC decode node on samples built here from the format's layout, with FFmpeg's
// notchlc decoder as the oracle for the 12-bit planes.
#include <gtest/gtest.h>

#include <lz4.h>
#include <sys/mman.h>

#include <cstring>
#include <random>

#include "container/mov/notchlc_decode.h"
#include "container/mov/mov_demuxer.h"
#include "container/mov/mov_reader_fixtures.h"
#include "container/mov/notchlc_sample.h"
#include "platform/core/errors.h"

using namespace movtest;
using namespace notchlc_sample;

namespace {

// --- Node helpers -------------------------------------------------------------------------

struct Node {
    VideoFilter *f = nullptr;
    VideoFrame *in = video_frame_new();
    Bytes sample;
    Node(PixFmt fmt, uint32_t w, uint32_t h, uint8_t slices = 0) {
        NotchLcDecodeParams p{fmt, w, h, slices};
        f = create_filter_notchlc_decode(&p);
        f->inputs[0] = in;
    }
    ~Node() {
        video_filter_free(f);
        video_frame_destroy(&in);
    }
    // Decodes; returns the error text or "".
    std::string run(const Bytes &s, uint32_t index = 7) {
        sample = s;
        sample.resize(s.size() + 64);  // frames keep 64 spare bytes after a sample
        video_frame_set_compressed_data(in, sample.data(), uint32_t(s.size()), VideoFrameNotchLcData);
        in->frame_index = index;
        try {
            notchlc_decode_process(f);
        } catch (const std::exception &e) { return e.what(); }
        return "";
    }
    const uint16_t *plane(int i, uint32_t y) const {
        const VideoFrame *o = f->output;
        return reinterpret_cast<const uint16_t *>(o->data[i] + int64_t(y) * o->linesize[i]);
    }
};

LumaBlock flat_luma(uint32_t m, uint32_t M, uint32_t mode) {
    LumaBlock b{m, M, {mode, mode, mode, mode}, {}};
    return b;
}

TEST(NotchLcDecode, LumaChromaAlphaValues) {
    // One 4x4 luma block per case, in a 4x4 picture (one chroma block, one alpha block).
    struct Case {
        const char *name;
        LumaBlock block;
        std::vector<uint16_t> row0;
    } cases[] = {
        {"mode 2 ramp",
         {0, 4095, {2, 2, 2, 2}, {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
         {0, 585, 1170, 1755}},
        {"wrapped range",
         {100, 50, {1, 1, 1, 1}, {{0, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
         {100, 4095, 100, 4095}},
        {"mode 0", {10, 20, {0, 0, 0, 0}, {{1, 0, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}}, {20, 10, 20, 10}},
        {"mode 3", {0, 15, {3, 3, 3, 3}, {{0, 15, 7, 8}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}}, {0, 15, 7, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Picture pic;
        pic.width = pic.height = 4;
        pic.luma = {c.block};
        ChromaBlock cb;
        cb.subs = {{255, 0, 0, 255, 0xE4}};  // codes 0,1,2,3 for the first four sub-blocks
        pic.chroma = {cb};
        AlphaBlock ab;
        ab.K = 2;  // sub-block 0 from an entry, the others 0
        uint64_t e = 0 | (255ull << 8);
        for (uint64_t px = 0; px < 16; px++) e |= (px % 8) << (16 + 3 * px);
        ab.entries = {e};
        pic.alpha = {ab};
        Node n(PixFmt_YUVA444_12, 4, 4);
        ASSERT_EQ(n.run(sample_of(payload_of(pic))), "");
        EXPECT_EQ(n.f->output->frame_index, 7u);
        EXPECT_EQ(n.f->output->error_flags, 0u);
        EXPECT_EQ(std::vector<uint16_t>(n.plane(0, 0), n.plane(0, 0) + 4), c.row0);
        if (std::string(c.name) == "mode 2 ramp") {
            EXPECT_EQ(std::vector<uint16_t>(n.plane(0, 1), n.plane(0, 1) + 4),
                      (std::vector<uint16_t>{2340, 2925, 3510, 4095}));
        }
        // Chroma 255 -> 0 over codes 0..3 (one value per 4x4 sub-block; the picture holds sub-block 0).
        EXPECT_EQ(n.plane(1, 0)[0], 4095);
        EXPECT_EQ(n.plane(2, 0)[0], 0);
        // Alpha palette 0..255: index 1 is 36, index 6 is 218, widened to 12 bits.
        const uint16_t alpha_row0[] = {0, (36 << 4) | (36 >> 4), (72 << 4) | (72 >> 4), (109 << 4) | (109 >> 4)};
        EXPECT_EQ(std::vector<uint16_t>(n.plane(3, 0), n.plane(3, 0) + 4),
                  std::vector<uint16_t>(alpha_row0, alpha_row0 + 4));
        EXPECT_EQ(n.plane(3, 1)[2], (218 << 4) | (218 >> 4));
        EXPECT_EQ(n.plane(3, 1)[3], 4095);
    }
}

TEST(NotchLcDecode, ChromaInterpolation) {
    // 16x16: one record covers the block; the four sub-blocks of row 0 take codes 0..3.
    Picture pic = random_picture(16, 16, false, 1);
    pic.chroma[0] = ChromaBlock{0, 0, {{255, 0, 0, 255, 0xE4}}};
    Node n(PixFmt_YUV444_12, 16, 16);
    ASSERT_EQ(n.run(sample_of(payload_of(pic))), "");
    const uint16_t cb[] = {4095, 2731, 1366, 1}, cr[] = {0, 1365, 2730, 4095};
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(n.plane(1, 3)[k * 4 + 3], cb[k]);
        EXPECT_EQ(n.plane(2, 0)[k * 4], cr[k]);
    }
}

TEST(NotchLcDecode, RgbConversion) {
    // A flat white frame without alpha: Y 4095, Cb = Cr = 2048.
    Picture pic;
    pic.width = 5;
    pic.height = 3;
    for (int i = 0; i < 2; i++) pic.luma.push_back(flat_luma(4095, 4095, 0));
    // 0x80 widens to 2048 and 0x7F to 2047; code 1 between them gives 2048 again.
    pic.chroma = {ChromaBlock{0, 0, {{0x80, 0x80, 0x7F, 0x7F, 0x55555555}}}};
    struct Case {
        PixFmt fmt;
        std::vector<uint32_t> px;  // R, G, B, A of pixel (4, 2)
    } cases[] = {
        {PixFmt_RGBA8, {255, 255, 255, 255}},
        {PixFmt_RGBX8, {255, 255, 255, 0xFFFFFFFF}},
        {PixFmt_RGBA16, {65535, 65529, 65535, 65535}},
        {PixFmt_RGBX16, {65535, 65529, 65535, 0xFFFFFFFF}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fmt);
        Node n(c.fmt, 5, 3, 1);
        ASSERT_EQ(n.run(sample_of(payload_of(pic))), "");
        const VideoFrame *o = n.f->output;
        EXPECT_EQ(o->pix_fmt, c.fmt);
        EXPECT_EQ(o->width, 5u);
        EXPECT_EQ(o->height, 3u);
        const bool wide = c.fmt == PixFmt_RGBA16 || c.fmt == PixFmt_RGBX16;
        for (int ch = 0; ch < 4; ch++) {
            if (c.px[ch] == 0xFFFFFFFF) continue;  // the fourth sample of RGBX is not written
            const uint8_t *row = o->data[0] + 2 * o->linesize[0];
            uint32_t v = wide ? reinterpret_cast<const uint16_t *>(row)[4 * 4 + ch] : row[4 * 4 + ch];
            EXPECT_EQ(v, c.px[ch]) << "channel " << ch;
        }
    }
}

TEST(NotchLcDecode, RefusesBadSamples) {
    Picture pic = random_picture(32, 20, true, 3);
    const Bytes payload = payload_of(pic);
    const Bytes good = sample_of(payload);
    auto with_word = [&](size_t at, uint32_t v) {
        Bytes p = payload;
        p[at] = uint8_t(v), p[at + 1] = uint8_t(v >> 8), p[at + 2] = uint8_t(v >> 16), p[at + 3] = uint8_t(v >> 24);
        return sample_of(p);
    };
    auto header_word = [&](size_t at, uint32_t v) {
        Bytes s = good;
        s[at] = uint8_t(v), s[at + 1] = uint8_t(v >> 8), s[at + 2] = uint8_t(v >> 16), s[at + 3] = uint8_t(v >> 24);
        return s;
    };
    Bytes short_payload = sample_of(Bytes(payload.begin(), payload.begin() + 30));
    struct Case {
        const char *name;
        Bytes sample;
        const char *error;
    } cases[] = {
        {"15 bytes", Bytes(good.begin(), good.begin() + 15), "Too small Notch LC frame"},
        {"magic", header_word(0, 0x4E4C4332), "Invalid Notch LC frame (1)"},
        {"LZF", header_word(12, 0), "LZF Notch LC frame unsupported\n"},
        {"format 2", header_word(12, 2), "Unsupported Notch LC frame format\n"},
        {"compressed size past the sample", header_word(8, uint32_t(good.size())),
         "Invalid Notch LC frame (compressed size)"},
        {"huge payload", header_word(4, 0xFFFFFFF0), "Invalid Notch LC frame (decompressed size)"},
        {"payload size too large", header_word(4, uint32_t(payload.size() + 1)), "Fail to uncompress Notch LC (2)"},
        {"payload size too small", header_word(4, uint32_t(payload.size() - 1)), "Fail to uncompress Notch LC (2)"},
        {"30-byte payload", short_payload, "Invalid notch ld data (3)"},
        {"position 1073741823", with_word(8, 0x3FFFFFFF), "Notch Lc invalid data (4)"},
        {"position past S", with_word(20, uint32_t(payload.size() / 4 + 1)), "Notch Lc invalid data (7)"},
        {"data end past S", with_word(36, uint32_t(payload.size() + 1)), "Notch Lc invalid data (11)"},
        {"luma size", with_word(24, 0xFFFFFFF0), "Notch Lc invalid data (12)"},
        {"height", with_word(4, 24), "Texture height != height unsupported"},
        {"width", with_word(0, 33), "Texture width != width unsupported"},
        {"luma row entry", with_word(40, 0x7FFFFFF0), "Fail to read bit, out of data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Node n(PixFmt_RGBA8, 32, 20, 1);
        EXPECT_EQ(n.run(c.sample), c.error);
        EXPECT_EQ(n.f->output->error_flags, VideoFrameError_Corrupt);
        // The node decodes the next good frame.
        EXPECT_EQ(n.run(good), "");
        EXPECT_EQ(n.f->output->error_flags, 0u);
    }
    // Every truncation of the compressed block and every corrupted payload word is refused
    // or decoded without leaving the buffers (AddressSanitizer watches this).
    Node n(PixFmt_RGBA16, 32, 20, 1);
    for (size_t len = 16; len < good.size(); len += 3) {
        Bytes s(good.begin(), good.begin() + len);
        s[8] = uint8_t(len - 16), s[9] = uint8_t((len - 16) >> 8), s[10] = 0, s[11] = 0;
        n.run(s);
    }
    for (size_t at = 0; at + 4 <= payload.size(); at += 4)
        for (uint32_t v : {0u, 0xFFFFFFFFu, 0x3FFFFFFEu, uint32_t(payload.size() / 4)}) n.run(with_word(at, v));
}

TEST(NotchLcDecode, CompressedSizeBeyondTheDecompressorLimit) {
    // Samples really that long (untouched pages cost nothing) whose compressed size the
    // decompressor cannot take: refused as a size, never narrowed to a signed count.
    Picture pic = random_picture(32, 20, false, 5);
    const Bytes good = sample_of(payload_of(pic));
    for (uint64_t compressed : {uint64_t(LZ4_MAX_INPUT_SIZE) + 1, uint64_t(INT32_MAX) + 1}) {
        SCOPED_TRACE(compressed);
        const size_t length = size_t(16 + compressed);
        void *map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        ASSERT_NE(map, MAP_FAILED);
        uint8_t *sample = static_cast<uint8_t *>(map);
        std::memcpy(sample, good.data(), good.size());
        for (int i = 0; i < 4; i++) sample[8 + i] = uint8_t(compressed >> (8 * i));
        Node n(PixFmt_RGBA8, 32, 20, 1);
        video_frame_set_compressed_data(n.in, sample, uint32_t(length), VideoFrameNotchLcData);
        std::string error;
        try {
            notchlc_decode_process(n.f);
        } catch (const std::exception &e) { error = e.what(); }
        munmap(map, length);
        EXPECT_EQ(error, "Invalid Notch LC frame (compressed size)");
        EXPECT_EQ(n.f->output->error_flags, VideoFrameError_Corrupt);
    }
}

TEST(NotchLcDecode, CreationAndInputErrors) {
    struct Case {
        PixFmt fmt;
        uint32_t w, h;
        const char *error;
    } cases[] = {{PixFmt_RGB8, 16, 16, "Unsupported dst fmt"}, {PixFmt_RGBA8, 0, 16, "Invalid decoding resolution"}};
    for (const Case &c : cases) {
        NotchLcDecodeParams p{c.fmt, c.w, c.h, 0};
        try {
            create_filter_notchlc_decode(&p);
            ADD_FAILURE() << "no error";
        } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), c.error); }
    }
    Node n(PixFmt_RGBA8, 16, 16);
    n.in->data_descriptor = VideoFrameHapData;
    EXPECT_THROW(notchlc_decode_process(n.f), ProcessError);
    n.f->inputs[0] = nullptr;
    EXPECT_THROW(notchlc_decode_process(n.f), ProcessError);
}

TEST(NotchLcDecode, SlicePlans) {
    struct Case {
        uint32_t units, min, cores;
        std::vector<uint32_t> counts;
    } cases[] = {
        {100, 1, 8, {13, 13, 13, 13, 12, 12, 12, 12}},
        {5, 1, 8, {1, 1, 1, 1, 1}},
        {100, 100, 8, {100}},
        {1, 1, 64, {1}},
        {70, 1, 200, std::vector<uint32_t>(6, 2)},  // cores capped at 64: 6 slices of 2, 58 of 1
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.units);
        SliceTable t;
        notchlc_slice_plan_for_cores(&t, c.units, c.min, c.cores);
        uint32_t pos = 0;
        for (uint32_t i = 0; i < t.nb_slices; i++) {
            EXPECT_EQ(t.first[i], pos);
            pos += t.count[i];
            if (i < c.counts.size()) { EXPECT_EQ(t.count[i], c.counts[i]); }
        }
        EXPECT_EQ(pos, c.units);
        if (c.cores <= 64) { EXPECT_EQ(t.nb_slices, c.counts.size()); }
    }
    SliceTable t;
    EXPECT_THROW(notchlc_slice_plan(&t, 10, 0), ProcessError);
}

// FFmpeg's notchlc decoder reads the same samples from a MOV file: the luma and chroma
// planes must agree. (Its alpha palette differs from ours; alpha is checked by value above.)
TEST(NotchLcDecode, AgreesWithFfmpeg) {
    struct Case {
        uint32_t w, h;
        bool alpha;
        uint8_t slices;
    } cases[] = {{64, 48, true, 1}, {50, 37, false, 0}, {16, 1, true, 1}, {200, 90, false, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        Picture pic = random_picture(c.w, c.h, c.alpha, c.w * 31 + c.h);
        const Bytes sample = sample_of(payload_of(pic));

        VideoTrakDesc s;
        s.codec = "nclc";
        s.width = c.w;
        s.height = c.h;
        s.stts = {{1, 1}};
        s.sizes = {uint32_t(sample.size())};
        s.stsc = {{1, 1}};
        s.chunk_offsets = {kMdatStart};
        testutil::TempDir dir;
        std::string mov = dir.file("nclc.mov"), raw = dir.file("out.raw");
        testutil::write_file(mov, mov_file(sample, atoms({atom("mvhd", zeros(100)), video_trak(s)})));
        ASSERT_TRUE(ffmpeg_make("-i " + testutil::shell_quote(mov) + " -f rawvideo -pix_fmt yuva444p12le", raw));
        const Bytes ref = testutil::read_file(raw);
        const size_t plane = size_t(c.w) * c.h * 2;
        ASSERT_EQ(ref.size(), plane * 4);

        // Through the MOV frame demuxer, as the pipeline does.
        MovDemuxerParams dp;
        dp.path = mov.c_str();
        VideoDemuxer *d = create_video_demuxer_mov(&dp, 1);
        VideoFrame *frame = video_frame_new();
        ASSERT_EQ(video_demuxer_demux(d, &frame), 1u);
        EXPECT_EQ(frame->data_descriptor, VideoFrameNotchLcData);
        NotchLcDecodeParams p{PixFmt_YUVA444_12, c.w, c.h, c.slices};
        VideoFilter *f = create_filter_notchlc_decode(&p);
        f->inputs[0] = frame;
        ASSERT_NO_THROW(notchlc_decode_process(f));
        const VideoFrame *o = f->output;
        for (int pl = 0; pl < 3; pl++) {
            SCOPED_TRACE(pl);
            size_t mismatches = 0;
            for (uint32_t y = 0; y < c.h; y++) {
                const uint16_t *ours = reinterpret_cast<const uint16_t *>(o->data[pl] + int64_t(y) * o->linesize[pl]);
                const uint8_t *theirs = ref.data() + pl * plane + size_t(y) * c.w * 2;
                for (uint32_t x = 0; x < c.w; x++)
                    if (ours[x] != uint16_t(theirs[2 * x] | (theirs[2 * x + 1] << 8))) mismatches++;
            }
            EXPECT_EQ(mismatches, 0u);
        }
        video_filter_free(f);
        video_frame_destroy(&frame);
        video_demuxer_free(d);
    }
}

}  // namespace
