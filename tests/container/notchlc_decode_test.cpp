// Notch LC decode node on samples built here from the format's layout, with FFmpeg's
// notchlc decoder as the oracle for the 12-bit planes.
#include <gtest/gtest.h>

#include <lz4.h>

#include <cstring>
#include <random>

#include "container/notchlc_decode.h"
#include "container/video_demuxer.h"
#include "mov_reader_fixtures.h"
#include "platform/core/errors.h"

using namespace movtest;

namespace {

// --- Sample builder -----------------------------------------------------------------------

struct LumaBlock {
    uint32_t m, M;
    uint32_t modes[4];
    uint32_t codes[4][4];  // [row][pixel]
};

struct ChromaSubRecord {
    uint8_t cb0, cr0, cb1, cr1;
    uint32_t codes;
};
struct ChromaBlock {
    uint16_t W8 = 0, W4 = 0;
    std::vector<ChromaSubRecord> subs;
};

struct AlphaBlock {
    uint32_t K = 0;
    std::vector<uint64_t> entries;  // one per code-2 sub-block
};

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<LumaBlock> luma;      // raster, ceil(w/4) x ceil(h/4)
    std::vector<ChromaBlock> chroma;  // raster, ceil(w/16) x ceil(h/16)
    std::vector<AlphaBlock> alpha;    // empty: no alpha in the frame
};

class BitWriter {
public:
    void put(uint32_t v, uint32_t k)
    {
        acc_ |= uint64_t(v) << n_;
        n_ += k;
        while (n_ >= 32) {
            put_le32(out, uint32_t(acc_));
            acc_ >>= 32;
            n_ -= 32;
        }
    }
    void flush()
    {
        if (n_) put_le32(out, uint32_t(acc_));
        acc_ = 0;
        n_ = 0;
    }
    Bytes out;

private:
    uint64_t acc_ = 0;
    uint32_t n_ = 0;
};

Bytes payload_of(const Picture &pic)
{
    const uint32_t bw4 = (pic.width + 3) / 4, bh4 = (pic.height + 3) / 4;
    const uint32_t bw16 = (pic.width + 15) / 16, bh16 = (pic.height + 15) / 16;
    // Luma streams, one per 4-row group.
    Bytes luma;
    std::vector<uint32_t> rows;
    for (uint32_t g = 0; g < bh4; g++) {
        rows.push_back(uint32_t(luma.size()));
        BitWriter w;
        for (uint32_t b = 0; b < bw4; b++) {
            const LumaBlock &lb = pic.luma[g * bw4 + b];
            for (uint32_t r = 0; r < 4; r++) {
                uint32_t nb = lb.modes[r] + 1, field = 0;
                for (uint32_t j = 0; j < 4; j++) field |= lb.codes[r][j] << (j * nb);
                w.put(field, 4 * nb);
            }
        }
        w.flush();
        append(luma, w.out);
    }
    Bytes chroma;
    std::vector<uint32_t> chroma_pos;
    for (const ChromaBlock &cb : pic.chroma) {
        chroma_pos.push_back(uint32_t(chroma.size() / 4));
        put_le16(chroma, cb.W8);
        put_le16(chroma, cb.W4);
        for (const ChromaSubRecord &s : cb.subs) {
            chroma.push_back(s.cb0), chroma.push_back(s.cr0), chroma.push_back(s.cb1), chroma.push_back(s.cr1);
            put_le32(chroma, s.codes);
        }
    }
    Bytes alpha;
    std::vector<std::pair<uint32_t, uint32_t>> alpha_ctrl;
    for (const AlphaBlock &ab : pic.alpha) {
        alpha_ctrl.push_back({ab.K, uint32_t(alpha.size() / 4)});
        for (uint64_t e : ab.entries) put_le32(alpha, uint32_t(e)), put_le32(alpha, uint32_t(e >> 32));
    }
    const uint32_t row_table = 10;  // words
    const uint32_t luma_ctrl = row_table + bh4;
    const uint32_t chroma_table = luma_ctrl + bw4 * bh4;
    const uint32_t alpha_ctrl_pos = chroma_table + bw16 * bh16;
    const uint32_t chroma_data = alpha_ctrl_pos + 2 * uint32_t(alpha_ctrl.size());
    const uint32_t alpha_data = uint32_t(chroma.size() / 4);  // from the chroma data
    const uint32_t L = 4 * (chroma_data + alpha_data) + uint32_t(alpha.size());
    const uint32_t data_end = L + uint32_t(luma.size());
    Bytes p;
    put_le32(p, pic.width);
    put_le32(p, pic.height);
    put_le32(p, chroma_table);
    put_le32(p, luma_ctrl);
    // Without alpha the alpha control position is the one that marks it absent.
    put_le32(p, pic.alpha.empty() ? (L - 4 * alpha_data) / 4 : alpha_ctrl_pos);
    put_le32(p, chroma_data);
    put_le32(p, uint32_t(luma.size()));
    put_le32(p, alpha_data);
    put_le32(p, 0);
    put_le32(p, data_end);
    for (uint32_t r : rows) put_le32(p, r);
    for (const LumaBlock &lb : pic.luma)
        put_le32(p, lb.m | (lb.M << 12) | (lb.modes[0] << 24) | (lb.modes[1] << 26) | (lb.modes[2] << 28) |
                        (lb.modes[3] << 30));
    for (uint32_t c : chroma_pos) put_le32(p, c);
    for (auto &ac : alpha_ctrl) put_le32(p, ac.first), put_le32(p, ac.second);
    append(p, chroma);
    append(p, alpha);
    EXPECT_EQ(p.size(), L);
    append(p, luma);
    return p;
}

Bytes sample_of(const Bytes &payload, uint32_t compression = 1)
{
    Bytes z(LZ4_compressBound(int(payload.size())));
    int n = LZ4_compress_default(reinterpret_cast<const char *>(payload.data()), reinterpret_cast<char *>(z.data()),
                                 int(payload.size()), int(z.size()));
    z.resize(size_t(n));
    Bytes s = {0x31, 0x43, 0x4C, 0x4E};
    put_le32(s, uint32_t(payload.size()));
    put_le32(s, uint32_t(z.size()));
    put_le32(s, compression);
    append(s, z);
    return s;
}

Picture random_picture(uint32_t w, uint32_t h, bool with_alpha, uint32_t seed)
{
    std::mt19937 rng(seed);
    Picture pic;
    pic.width = w;
    pic.height = h;
    const uint32_t n4 = ((w + 3) / 4) * ((h + 3) / 4), n16 = ((w + 15) / 16) * ((h + 15) / 16);
    for (uint32_t i = 0; i < n4; i++) {
        LumaBlock b;
        b.m = rng() % 4096;
        b.M = b.m + rng() % (4096 - b.m);  // M >= m: the range every encoder writes
        for (uint32_t r = 0; r < 4; r++) {
            b.modes[r] = rng() % 4;
            for (uint32_t j = 0; j < 4; j++) b.codes[r][j] = rng() % (1u << (b.modes[r] + 1));
        }
        pic.luma.push_back(b);
    }
    auto sub = [&] {
        return ChromaSubRecord{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint32_t(rng())};
    };
    for (uint32_t i = 0; i < n16; i++) {
        ChromaBlock c;
        switch (i % 4) {
        case 0:  // one record for the block
            c.subs.push_back(sub());
            break;
        case 1:  // every quadrant in 2x2 cells
            c.W8 = 0xF;
            for (int k = 0; k < 4; k++) c.subs.push_back(sub());
            break;
        case 2:  // 4x4 records in quadrants 1 and 2, 2x2 cells in 0 and 3
            c.W8 = 0x9;
            c.W4 = 1;
            for (int k = 0; k < 1 + 4 + 4 + 1; k++) c.subs.push_back(sub());
            break;
        default:  // quadrant 0 in cells, the rest zero
            c.W8 = 0x1;
            c.subs.push_back(sub());
            break;
        }
        pic.chroma.push_back(c);
    }
    if (with_alpha)
        for (uint32_t i = 0; i < n16; i++) {
            AlphaBlock a;
            for (uint32_t s = 0; s < 16; s++) {
                uint32_t code = rng() % 3;
                a.K |= code << (2 * s);
                if (code == 2) a.entries.push_back(uint64_t(rng()) << 32 | rng());
            }
            pic.alpha.push_back(a);
        }
    return pic;
}

// --- Node helpers -------------------------------------------------------------------------

struct Node {
    VideoFilter *f = nullptr;
    VideoFrame *in = video_frame_new();
    Bytes sample;
    Node(PixFmt fmt, uint32_t w, uint32_t h, uint8_t slices = 0)
    {
        NotchLcDecodeParams p{fmt, w, h, slices};
        f = create_filter_notchlc_decode(&p);
        f->inputs[0] = in;
    }
    ~Node()
    {
        video_filter_free(f);
        video_frame_destroy(&in);
    }
    // Decodes; returns the error text or "".
    std::string run(const Bytes &s, uint32_t index = 7)
    {
        sample = s;
        sample.resize(s.size() + 64);  // frames keep 64 spare bytes after a sample
        video_frame_set_compressed_data(in, sample.data(), uint32_t(s.size()), VideoFrameNotchLcData);
        in->frame_index = index;
        try {
            notchlc_decode_process(f);
        } catch (const std::exception &e) {
            return e.what();
        }
        return "";
    }
    const uint16_t *plane(int i, uint32_t y) const
    {
        const VideoFrame *o = f->output;
        return reinterpret_cast<const uint16_t *>(o->data[i] + int64_t(y) * o->linesize[i]);
    }
};

LumaBlock flat_luma(uint32_t m, uint32_t M, uint32_t mode)
{
    LumaBlock b{m, M, {mode, mode, mode, mode}, {}};
    return b;
}

TEST(NotchLcDecode, LumaChromaAlphaValues)
{
    // One 4x4 luma block per case, in a 4x4 picture (one chroma block, one alpha block).
    struct Case {
        const char *name;
        LumaBlock block;
        std::vector<uint16_t> row0;
    } cases[] = {
        {"mode 2 ramp", {0, 4095, {2, 2, 2, 2}, {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
         {0, 585, 1170, 1755}},
        {"wrapped range", {100, 50, {1, 1, 1, 1}, {{0, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
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
            EXPECT_EQ(std::vector<uint16_t>(n.plane(0, 1), n.plane(0, 1) + 4), (std::vector<uint16_t>{2340, 2925, 3510, 4095}));
        }
        // Chroma 255 -> 0 over codes 0..3 (one value per 4x4 sub-block; the picture holds sub-block 0).
        EXPECT_EQ(n.plane(1, 0)[0], 4095);
        EXPECT_EQ(n.plane(2, 0)[0], 0);
        // Alpha palette 0..255: index 1 is 36, index 6 is 218, widened to 12 bits.
        const uint16_t alpha_row0[] = {0, (36 << 4) | (36 >> 4), (72 << 4) | (72 >> 4), (109 << 4) | (109 >> 4)};
        EXPECT_EQ(std::vector<uint16_t>(n.plane(3, 0), n.plane(3, 0) + 4), std::vector<uint16_t>(alpha_row0, alpha_row0 + 4));
        EXPECT_EQ(n.plane(3, 1)[2], (218 << 4) | (218 >> 4));
        EXPECT_EQ(n.plane(3, 1)[3], 4095);
    }
}

TEST(NotchLcDecode, ChromaInterpolation)
{
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

TEST(NotchLcDecode, RgbConversion)
{
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

TEST(NotchLcDecode, RefusesBadSamples)
{
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
        {"compressed size past the sample", header_word(8, uint32_t(good.size())), "Invalid Notch LC frame (compressed size)"},
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

TEST(NotchLcDecode, CreationAndInputErrors)
{
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
        } catch (const ProcessError &e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
    Node n(PixFmt_RGBA8, 16, 16);
    n.in->data_descriptor = VideoFrameHapData;
    EXPECT_THROW(notchlc_decode_process(n.f), ProcessError);
    n.f->inputs[0] = nullptr;
    EXPECT_THROW(notchlc_decode_process(n.f), ProcessError);
}

TEST(NotchLcDecode, SlicePlans)
{
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
            if (i < c.counts.size()) {
                EXPECT_EQ(t.count[i], c.counts[i]);
            }
        }
        EXPECT_EQ(pos, c.units);
        if (c.cores <= 64) {
            EXPECT_EQ(t.nb_slices, c.counts.size());
        }
    }
    SliceTable t;
    EXPECT_THROW(notchlc_slice_plan(&t, 10, 0), ProcessError);
}

// FFmpeg's notchlc decoder reads the same samples from a MOV file: the luma and chroma
// planes must agree. (Its alpha palette differs from ours; alpha is checked by value above.)
TEST(NotchLcDecode, AgreesWithFfmpeg)
{
    struct Case {
        uint32_t w, h;
        bool alpha;
        uint8_t slices;
    } cases[] = {{64, 48, true, 1}, {50, 37, false, 0}, {16, 1, true, 1}, {200, 90, false, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        Picture pic = random_picture(c.w, c.h, c.alpha, c.w * 31 + c.h);
        const Bytes sample = sample_of(payload_of(pic));

        VideoTrakSpec s;
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
