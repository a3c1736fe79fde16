// The MOV reader on hand-made files: open errors, sample tables, the frame index,
// user data, audio chunks and hostile input.
#include <gtest/gtest.h>

#include <cstring>

#include "container/mov/mov_reader.h"
#include "container/mov/mov_reader_internal.h"
#include "container/mov/mov_reader_fixtures.h"
#include "platform/core/errors.h"

using namespace movtest;

namespace {

struct Opened {
    MovReader r;
    std::string error;  // empty when open succeeded
};

// Writes the bytes to a file and opens it; the record is closed by the caller via close().
std::string open_bytes(MovReader &r, const testutil::TempDir &dir, const Bytes &file, uint64_t flags = 0,
                       ZRational cap = {60, 1}) {
    std::string path = dir.file("t.mov");
    testutil::write_file(path, file);
    MovReaderParams p;
    p.path = path.c_str();
    p.mov_intra_demuxer_flags = flags;
    p.max_vfr_to_cfr_fps = cap;
    mov_reader_init(&r);
    try {
        mov_reader_open(&r, &p);
    } catch (const ProcessError &e) { return e.what(); }
    return "";
}

struct Reader {
    MovReader r;
    Reader() { mov_reader_init(&r); }
    ~Reader() { mov_reader_close(&r); }
};

Bytes mvhd() { return atom("mvhd", zeros(100)); }

// n samples of `size` bytes with distinct contents.
Bytes sample_bytes(uint32_t n, uint32_t size) {
    Bytes b;
    for (uint32_t i = 0; i < n; i++)
        for (uint32_t k = 0; k < size; k++) b.push_back(uint8_t(i * 31 + k));
    return b;
}

TEST(MovReaderOpen, RefusesFilesThatAreNotMov) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        Bytes file;
        const char *error;
    } cases[] = {
        {"11 bytes", zeros(11), "Not a mov file (too small)"},
        {"free first", atoms({atom("free", zeros(8)), atom("moov", mvhd())}), "Not a mov file"},
        {"moov first", atoms({atom("moov", mvhd())}), "Not a mov file"},
        {"ftyp and mdat only", atoms({atom("ftyp", zeros(8)), atom("mdat", zeros(20))}), "Fail to parse root atom"},
        {"ftyp too short", atoms({atom("ftyp", zeros(2)), atom("moov", mvhd())}), "Invalid Mov start file"},
        {"mdat past the end", atoms({atom("ftyp", zeros(8)), Bytes{0, 0, 0x10, 0, 'm', 'd', 'a', 't'}, zeros(30)}),
         "Fail to parse root atom"},
        {"moov past the end", atoms({atom("ftyp", zeros(8)), Bytes{0x7F, 0, 0, 0, 'm', 'o', 'o', 'v'}, zeros(30)}),
         "Fail to parse root atom"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MovReader r;
        EXPECT_EQ(open_bytes(r, dir, c.file), c.error);
        mov_reader_close(&r);
    }
    MovReader r;
    MovReaderParams p;
    p.path = "/nonexistent/file.mov";
    EXPECT_THROW(
        {
            try {
                mov_reader_open(&r, &p);
            } catch (const ProcessError &e) {
                EXPECT_EQ(std::string(e.what()).rfind("Can't open file : /nonexistent/file.mov. Error : ", 0), 0u);
                throw;
            }
        },
        ProcessError);
    mov_reader_close(&r);
}

TEST(MovReaderOpen, MoovWithoutTrakOpens) {
    testutil::TempDir dir;
    Reader h;
    EXPECT_EQ(open_bytes(h.r, dir, mov_file(zeros(4), mvhd())), "");
    EXPECT_EQ(h.r.nb_video_tracks, 0u);
    EXPECT_EQ(h.r.seek_table, nullptr);
    EXPECT_EQ(h.r.nb_audio_tracks, 0u);
}

TEST(MovReaderTables, SampleToChunkExpansion) {
    struct Case {
        std::vector<std::pair<uint32_t, uint32_t>> entries;
        uint32_t chunks;
        std::vector<uint32_t> expected;
        const char *error;
    } cases[] = {
        {{{1, 10}, {3, 5}}, 4, {10, 10, 5, 5}, nullptr},
        {{{1, 10}, {3, 5}}, 5, {10, 10, 5, 5, 5}, nullptr},
        {{{2, 10}}, 4, {}, "Stsc error"},
        {{{1, 10}, {3, 5}, {2, 7}}, 4, {}, "Outside array index"},
        {{{0, 10}}, 4, {}, "Invalid First chunk index (zero)"},
        {{{1, 10}, {0, 5}}, 4, {}, "Invalid Next First chunk index (zero)"},
        {{}, 4, {}, "Stsc atom entries 0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error ? c.error : "ok");
        Bytes payload;
        put_be32(payload, 0);
        put_be32(payload, uint32_t(c.entries.size()));
        for (auto &e : c.entries) put_be32(payload, e.first), put_be32(payload, e.second), put_be32(payload, 1);
        Bytes buf = zeros(8);
        append(buf, payload);
        MovAtomLocation loc{8, uint32_t(payload.size())};
        if (c.error) {
            try {
                free(mov_expand_sample_to_chunk(buf.data(), loc, c.chunks));
                ADD_FAILURE() << "no error";
            } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), c.error); }
        } else {
            uint32_t *t = mov_expand_sample_to_chunk(buf.data(), loc, c.chunks);
            EXPECT_EQ(std::vector<uint32_t>(t, t + c.chunks), c.expected);
            free(t);
        }
    }
    // A count whose table would run past the atom.
    Bytes buf = zeros(8);
    put_be32(buf, 0);
    put_be32(buf, 0xFFFFFFFF);
    EXPECT_THROW(mov_expand_sample_to_chunk(buf.data(), MovAtomLocation{8, 8}, 4), ProcessError);
    EXPECT_THROW(mov_parse_chunk_offsets(buf.data(), MovAtomLocation{8, 8}, 8), ProcessError);
}

// Video trak of n samples of 10 bytes each, stored in chunks as the stsc says.
VideoTrakDesc simple_video(uint32_t n, std::vector<uint32_t> chunk_sizes) {
    VideoTrakDesc s;
    s.stts = {{n, 1}};
    s.sizes.assign(n, 10);
    uint64_t off = kMdatStart;
    uint32_t first = 1;
    for (uint32_t c : chunk_sizes) {
        s.chunk_offsets.push_back(off);
        s.stsc.push_back({first++, c});
        off += uint64_t(c) * 10;
    }
    return s;
}

TEST(MovReaderIndex, KeepsEveryCompleteSample) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        uint32_t samples;
        std::vector<uint32_t> chunks;
        size_t cut;  // bytes removed from the end of the sample data
        uint32_t expect_frames;
        uint64_t expect_flags;
        const char *error;
    } cases[] = {
        // The chunks describe more samples than stsz: the last slot is still filled.
        {"chunks longer than stsz", 5, {3, 3}, 0, 5, 0, nullptr},
        {"exact", 6, {2, 2, 2}, 0, 6, 0, nullptr},
        // Cut inside the fifth sample: the four before it lie wholly inside the file.
        {"cut in fifth", 6, {3, 3}, 15, 4, MOV_WARNING_FILE_INCOMPLETE | MOV_WARNING_INDEX_INCOMPLETE, nullptr},
        {"cut in last", 6, {6}, 5, 5, MOV_WARNING_FILE_INCOMPLETE | MOV_WARNING_INDEX_INCOMPLETE, nullptr},
        {"cut in first", 1, {1}, 5, 0, 0, "Invalid offset size"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VideoTrakDesc s = simple_video(c.samples, c.chunks);
        Bytes data = sample_bytes(c.samples, 10);
        // The moov comes first here so that cutting the data truly shortens the file.
        Bytes moov = atoms({mvhd(), video_trak(s)});
        Bytes head = atom("ftyp", atoms({Bytes{'q', 't', ' ', ' '}, zeros(20)}));
        append(head, atom("wide", {}));
        Bytes mdat_hdr;
        put_be32(mdat_hdr, 0);  // size 0: runs to the end of the file
        for (char ch : std::string("mdat")) mdat_hdr.push_back(uint8_t(ch));
        // Layout: ftyp(32) wide(8) mdat header(8) data... but moov must come before an
        // open-ended mdat, so put moov in a 'free'-free spot: ftyp, moov, mdat.
        Bytes file = head;
        Bytes moov_atom = atom("moov", moov);
        // Shift the chunk offsets by the moov size.
        for (auto &o : s.chunk_offsets) o += moov_atom.size();
        moov_atom = atom("moov", atoms({mvhd(), video_trak(s)}));
        append(file, moov_atom);
        append(file, mdat_hdr);
        data.resize(data.size() - c.cut);
        append(file, data);
        Reader h;
        std::string err = open_bytes(h.r, dir, file);
        if (c.error) {
            EXPECT_EQ(err, c.error);
            continue;
        }
        ASSERT_EQ(err, "");
        EXPECT_EQ(h.r.nb_frames, c.expect_frames);
        EXPECT_EQ(h.r.warning_flags, c.expect_flags);
        for (uint32_t i = 0; i < h.r.nb_frames; i++) {
            EXPECT_EQ(h.r.seek_table[i].offset, s.chunk_offsets[0] + 10 * i);
            EXPECT_EQ(h.r.seek_table[i].size, 10u);
        }
    }
}

TEST(MovReaderIndex, VariableRateToConstantRate) {
    testutil::TempDir dir;
    VideoTrakDesc s;
    s.timescale = 4;
    s.media_duration = 12;
    s.stts = {{4, 2}, {4, 1}};
    s.sizes.assign(8, 10);
    s.stsc = {{1, 8}};
    s.chunk_offsets = {kMdatStart};
    Bytes file = mov_file(sample_bytes(8, 10), atoms({mvhd(), video_trak(s)}));
    {
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, file), "");
        EXPECT_TRUE(h.r.is_vfr);
        EXPECT_EQ(h.r.fps_rational.num, 4u);
        EXPECT_EQ(h.r.fps_rational.den, 1u);
        ASSERT_EQ(h.r.nb_frames, 12u);
        const uint32_t map[] = {0, 0, 1, 1, 2, 2, 3, 3, 4, 5, 6, 7};
        for (uint32_t k = 0; k < 12; k++) EXPECT_EQ(h.r.seek_table[k].offset, kMdatStart + 10 * map[k]) << k;
        EXPECT_EQ(h.r.vfr_duplicated_frames, 4u);
        EXPECT_EQ(h.r.vfr_dropped_frames, 0u);
    }
    {
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, file, MOV_FLAG_VFR_KEEP_SAMPLES), "");
        EXPECT_EQ(h.r.fps_rational.num, 2u);
        EXPECT_EQ(h.r.fps_rational.den, 1u);
        ASSERT_EQ(h.r.nb_frames, 8u);
        for (uint32_t k = 0; k < 8; k++) EXPECT_EQ(h.r.seek_table[k].offset, kMdatStart + 10 * k);
    }
    {
        // Capped at 2 fps: 6 frames over 3 seconds; the last one comes from the last samples.
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, file, MOV_FLAG_VFR_LIMIT_FPS, {2, 1}), "");
        EXPECT_EQ(h.r.fps_rational.num, 2u);
        ASSERT_EQ(h.r.nb_frames, 6u);
        EXPECT_GE(h.r.seek_table[5].offset, kMdatStart + 10 * 6);
    }
}

TEST(MovReaderIndex, ConstantRateFramesStayWithinTheSamples) {
    // Output frame k shows time k / fps: the indexed samples, with their durations, cover
    // ceil(span x fps) frames; a longer media duration or larger sample counts add none.
    testutil::TempDir dir;
    struct Case {
        const char *name;
        uint32_t timescale, media_duration;
        std::vector<std::pair<uint32_t, uint32_t>> stts;
        uint32_t samples;       // in stsz and in the file
        uint32_t file_samples;  // samples whose bytes are in the file
        uint64_t flags;
        uint32_t expect_frames;
        uint32_t last_sample;  // shown by the last frame
    } cases[] = {
        // 2^32 - 1 ticks at 15360 ticks/s and 60 fps asked for 2^24 frames.
        {"duration past the samples", 15360, 0xFFFFFFFF, {{2, 256}, {1, 512}}, 3, 3, 0, 4, 2},
        {"capped rate", 15360, 0xFFFFFFFF, {{2, 256}, {1, 512}}, 3, 3, MOV_FLAG_VFR_LIMIT_FPS, 2, 2},
        {"counts past the samples", 15360, 5632, {{0x800006, 256}, {5, 768}, {1, 256}}, 12, 12, 0, 12, 11},
        // Five samples indexed of eight: 4 x 2 + 1 ticks at 4 ticks/s and 4 fps.
        {"file cut after five samples", 4, 12, {{4, 2}, {4, 1}}, 8, 5, 0, 9, 4},
        {"media duration shorter", 4, 10, {{4, 2}, {4, 1}}, 8, 8, 0, 10, 5},
        {"media duration equal", 4, 12, {{4, 2}, {4, 1}}, 8, 8, 0, 12, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VideoTrakDesc s;
        s.timescale = c.timescale;
        s.media_duration = c.media_duration;
        s.stts = c.stts;
        s.const_size = 10;
        s.stsz_count = c.samples;
        s.stsc = {{1, c.samples}};
        // The moov comes first and the mdat runs to the end, so missing samples are past the end.
        Bytes file = atom("ftyp", atoms({Bytes{'q', 't', ' ', ' '}, zeros(20)}));
        s.chunk_offsets = {0};
        const size_t moov_size = atom("moov", atoms({mvhd(), video_trak(s)})).size();
        const uint64_t first = file.size() + moov_size + 8;
        s.chunk_offsets = {first};
        append(file, atom("moov", atoms({mvhd(), video_trak(s)})));
        put_be32(file, 0);
        for (char ch : std::string("mdat")) file.push_back(uint8_t(ch));
        append(file, sample_bytes(c.file_samples, 10));
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, file, c.flags, {30, 1}), "");
        EXPECT_TRUE(h.r.is_vfr);
        EXPECT_EQ(h.r.nb_frames, c.expect_frames);
        for (uint32_t k = 0; k < h.r.nb_frames; k++)
            ASSERT_LT(h.r.seek_table[k].offset, first + 10 * c.file_samples) << k;
        EXPECT_EQ(h.r.seek_table[h.r.nb_frames - 1].offset, first + 10 * c.last_sample);
    }
}

TEST(MovReaderIndex, DescriptionAndExtensions) {
    testutil::TempDir dir;
    Bytes pasp, fiel, colr;
    put_be32(pasp, 10), put_be32(pasp, 11);
    fiel = {2, 9};
    colr = {'n', 'c', 'l', 'x', 0, 1, 0, 1, 0, 1, 0x80};
    VideoTrakDesc s = simple_video(3, {3});
    s.timescale = 2500;
    s.stts = {{3, 100}};
    s.stsd_extensions = atoms({atom("fiel", fiel), atom("colr", colr), atom("pasp", pasp)});
    s.codec = "avc1";
    {
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, mov_file(sample_bytes(3, 10), atoms({mvhd(), video_trak(s)}))), "");
        EXPECT_EQ(h.r.fps_rational.num, 25u);
        EXPECT_EQ(h.r.fps_rational.den, 1u);
        EXPECT_EQ(h.r.pixel_aspect.num, 10u);
        EXPECT_EQ(h.r.pixel_aspect.den, 11u);
        EXPECT_TRUE(mov_fiel_is_top_field_first(&h.r));
        EXPECT_TRUE(h.r.have_color_range);
        EXPECT_TRUE(h.r.is_full_range);
        EXPECT_FALSE(h.r.video_codec_supported);
        EXPECT_EQ(h.r.seek_table, nullptr);
    }
    // A second video trak is counted and ignored; a text trak is dropped quietly.
    VideoTrakDesc text = simple_video(3, {3});
    text.handler = "text";
    VideoTrakDesc second = simple_video(3, {3});
    second.width = 999;
    Reader h;
    ASSERT_EQ(open_bytes(h.r, dir,
                         mov_file(sample_bytes(3, 10), atoms({mvhd(), video_trak(simple_video(3, {3})),
                                                              video_trak(text), video_trak(second)}))),
              "");
    EXPECT_EQ(h.r.nb_video_tracks, 2u);
    EXPECT_EQ(h.r.width, 64u);
    EXPECT_EQ(h.r.nb_frames, 3u);
}

Bytes zelq(uint16_t version, uint8_t alpha, uint8_t crop, uint32_t w, uint32_t h, uint32_t x, uint32_t y) {
    Bytes b;
    put_le16(b, version);
    b.push_back(alpha);
    b.push_back(crop);
    put_le32(b, w), put_le32(b, h), put_le32(b, x), put_le32(b, y);
    return atom("ZELQ", b);
}
Bytes text_atom(const char *type, const std::string &s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return atom(type, b);
}

TEST(MovReaderUserData, MetadataAtoms) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        Bytes udta;
        bool set;
        uint16_t version;
        uint8_t alpha;
        uint8_t crop;
        uint32_t display_w;
        uint32_t alfa;
    } cases[] = {
        {"crop", zelq(1, 1, 1, 1920, 1080, 640, 360), true, 1, 1, 1, 1920, 0},
        {"version 2", zelq(2, 1, 0, 0, 0, 0, 0), false, 2, 0, 0, 0, 0},
        {"zero display", zelq(1, 0, 1, 0, 1080, 0, 0), false, 1, 0, 1, 0, 0},
        {"ZELQ then ZELA", atoms({zelq(1, 1, 0, 0, 0, 0, 0), text_atom("ZELA", "straight")}), true, 1, 1, 0, 0, 0},
        {"ZELA then ZELQ", atoms({text_atom("ZELA", "straight"), zelq(1, 1, 0, 0, 0, 0, 0)}), true, 1, 1, 0, 0, 0},
        {"ZELA alone", text_atom("ZELA", "premultiply_black"), true, 0, 1, 0, 0, 0},
        {"ALFA premultiplied", atom("ALFA", Bytes{0, 1, 0, 0, 0, 1, 0, 0, 0, 1}), false, 0, 0, 0, 0, 2},
        {"ALFA straight", atom("ALFA", Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 0}), false, 0, 0, 0, 0, 3},
        {"ALFA short", atom("ALFA", Bytes{0, 1, 0}), false, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, mov_file(zeros(4), atoms({mvhd(), atom("udta", c.udta)}))), "");
        EXPECT_EQ(h.r.meta_set, c.set);
        EXPECT_EQ(h.r.meta_version, c.version);
        EXPECT_EQ(h.r.meta_alpha_mode, c.alpha);
        EXPECT_EQ(h.r.meta_have_crop, c.crop);
        EXPECT_EQ(h.r.meta_display_w, c.display_w);
        EXPECT_EQ(h.r.alfa_alpha_mode, c.alfa);
    }
}

// ---- audio ------------------------------------------------------------------------------

struct AudioTrakDesc {
    const char *codec = "twos";
    uint16_t version = 0;
    uint32_t channels = 2, bits = 16, rate = 48000, lpcm_flags = 0;
    uint32_t mdhd_timescale = 0, duration = 0;
    std::vector<uint32_t> chunk_samples;
    std::vector<uint64_t> chunk_offsets;
    Bytes children;
};

AudioTrakDesc audio_spec(const char *codec, uint16_t version = 0, uint32_t channels = 2, uint32_t bits = 16,
                         uint32_t lpcm_flags = 0, Bytes children = {}) {
    AudioTrakDesc s;
    s.codec = codec;
    s.version = version;
    s.channels = channels;
    s.bits = bits;
    s.lpcm_flags = lpcm_flags;
    s.children = std::move(children);
    return s;
}

Bytes audio_trak(const AudioTrakDesc &s) {
    Bytes tkhd = zeros(84);
    tkhd[15] = 7;  // track id
    Bytes mdhd = zeros(24);
    uint32_t ts = s.mdhd_timescale ? s.mdhd_timescale : s.rate;
    for (int i = 0; i < 4; i++)
        mdhd[12 + i] = uint8_t(ts >> (24 - 8 * i)), mdhd[16 + i] = uint8_t(s.duration >> (24 - 8 * i));
    Bytes hdlr = zeros(8);
    for (char ch : std::string("soun")) hdlr.push_back(uint8_t(ch));
    append(hdlr, zeros(12));
    Bytes body;  // after size and code
    append(body, zeros(6));
    put_be16(body, 1);
    put_be16(body, s.version);
    append(body, zeros(6));
    if (s.version < 2) {
        put_be16(body, s.channels);
        put_be16(body, s.bits);
        put_be32(body, 0);
        put_be32(body, s.rate << 16);
        if (s.version == 1) put_be32(body, 1), put_be32(body, 0), put_be32(body, 0), put_be32(body, 0);
    } else {
        put_be16(body, 3), put_be16(body, 16), put_be16(body, 0xFFFE), put_be16(body, 0);
        put_be32(body, 0x00010000);
        put_be32(body, 72);
        double rate = s.rate;
        uint64_t bits;
        std::memcpy(&bits, &rate, 8);
        put_be64(body, bits);
        put_be32(body, s.channels);
        put_be32(body, 0x7F000000);
        put_be32(body, s.bits);
        put_be32(body, s.lpcm_flags);
        put_be32(body, s.channels * s.bits / 8);
        put_be32(body, 1);
    }
    append(body, s.children);
    Bytes stsd;
    put_be32(stsd, 0), put_be32(stsd, 1);
    put_be32(stsd, uint32_t(body.size() + 8));
    for (int i = 0; i < 4; i++) stsd.push_back(uint8_t(s.codec[i]));
    append(stsd, body);
    Bytes stts;
    put_be32(stts, 0), put_be32(stts, 1), put_be32(stts, s.duration), put_be32(stts, 1);
    Bytes stsz;
    put_be32(stsz, 0), put_be32(stsz, 1), put_be32(stsz, s.duration);
    Bytes stsc;
    put_be32(stsc, 0), put_be32(stsc, uint32_t(s.chunk_samples.size()));
    for (size_t i = 0; i < s.chunk_samples.size(); i++)
        put_be32(stsc, uint32_t(i + 1)), put_be32(stsc, s.chunk_samples[i]), put_be32(stsc, 1);
    Bytes stco;
    put_be32(stco, 0), put_be32(stco, uint32_t(s.chunk_offsets.size()));
    for (uint64_t o : s.chunk_offsets) put_be32(stco, uint32_t(o));
    Bytes stbl =
        atoms({atom("stsd", stsd), atom("stts", stts), atom("stsc", stsc), atom("stsz", stsz), atom("stco", stco)});
    Bytes mdia = atoms({atom("mdhd", mdhd), atom("hdlr", hdlr), atom("minf", atom("stbl", stbl))});
    return atom("trak", atoms({atom("tkhd", tkhd), atom("mdia", mdia)}));
}

TEST(MovReaderAudio, DescriptionsAndFormats) {
    testutil::TempDir dir;
    Bytes enda_le = atom("wave", atoms({atom("frma", Bytes{'i', 'n', '2', '4'}), atom("enda", Bytes{0, 1})}));
    struct Case {
        const char *name;
        AudioTrakDesc desc;
        bool supported;
        uint32_t flags;
        AudioSampleFormat format;
    } cases[] = {
        {"twos", audio_spec("twos"), true, 0x0E, AudioSampleFormat_S16BE},
        {"sowt", audio_spec("sowt"), true, 0x0C, AudioSampleFormat_S16LE},
        {"in24 enda 1", audio_spec("in24", 1, 2, 24, 0, enda_le), true, 0x0C, AudioSampleFormat_S24LE},
        {"in24", audio_spec("in24", 1, 2, 24), true, 0x0E, AudioSampleFormat_S24BE},
        {"lpcm v2 float", audio_spec("lpcm", 2, 2, 32, 0x09), true, 0x09, AudioSampleFormat_F32LE},
        {"lpcm v2 float be", audio_spec("lpcm", 2, 2, 32, 0x0B), true, 0x0B, AudioSampleFormat_F32BE},
        {"lpcm v2 24", audio_spec("lpcm", 2, 2, 24, 0x0C), true, 0x0C, AudioSampleFormat_S24LE},
        {"lpcm v0", audio_spec("lpcm"), false, 0, AudioSampleFormat_Unsupported},
        {"mp4a", audio_spec("mp4a"), false, 0, AudioSampleFormat_Unsupported},
        {"alac", audio_spec("alac"), false, 0, AudioSampleFormat_Unsupported},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.desc.duration = 100;
        c.desc.chunk_samples = {100};
        c.desc.chunk_offsets = {kMdatStart};
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, mov_file(zeros(100 * 16), atoms({mvhd(), audio_trak(c.desc)}))), "");
        ASSERT_EQ(h.r.nb_audio_tracks, 1u);
        const MovAudioTrack &t = h.r.audio_tracks[0];
        EXPECT_EQ(t.track_flags, 0u);
        EXPECT_EQ(t.track_id, 7u);
        EXPECT_EQ(t.pcm_supported, c.supported);
        if (c.supported) { EXPECT_EQ(t.pcm_flags, c.flags); }
        EXPECT_EQ(mov_reader_get_pcm_format(&t), c.format);
        if (!c.supported) {
            uint8_t buf[16];
            EXPECT_THROW(mov_reader_read_audio(&h.r, buf, 0, 0, 1), ProcessError);
        }
    }
    // A timescale that is not the rate fails the track, not the file.
    AudioTrakDesc bad = audio_spec("twos");
    bad.mdhd_timescale = 44100;
    bad.duration = 10;
    bad.chunk_samples = {10};
    bad.chunk_offsets = {kMdatStart};
    Reader h;
    ASSERT_EQ(open_bytes(h.r, dir, mov_file(zeros(100), atoms({mvhd(), audio_trak(bad)}))), "");
    ASSERT_EQ(h.r.nb_audio_tracks, 1u);
    EXPECT_EQ(h.r.audio_tracks[0].track_flags, 0x04);
    // The count is cleared with the tables it describes.
    mov_reader_free_tables(&h.r);
    EXPECT_EQ(h.r.nb_audio_tracks, 0u);
}

// Mono 16-bit samples whose value is their sample number.
Bytes numbered_samples(uint32_t first, uint32_t n) {
    Bytes b;
    for (uint32_t i = 0; i < n; i++) put_be16(b, first + i);
    return b;
}

TEST(MovReaderAudio, ChunkWalkAndReads) {
    testutil::TempDir dir;
    struct Case {
        const char *name;
        std::vector<uint32_t> chunks;
        uint32_t duration;
        uint64_t first, count;
        uint64_t expect_samples;  // nb_samples after open
        uint64_t expect_read;
        uint8_t flags;
        bool cut_last;  // last chunk lies outside the file
    } cases[] = {
        {"spans two chunks", {48, 48, 48, 20}, 164, 139, 10, 164, 10, 0, false},
        {"longer duration", {48, 48, 48, 20}, 200, 0, 200, 164, 164, 0, false},
        {"shorter duration", {48, 48, 48, 20}, 100, 90, 50, 100, 10, 0, false},
        // An empty chunk in the middle does not end the read.
        {"empty chunk", {48, 48, 0, 30, 0, 20}, 146, 80, 66, 146, 66, 0, false},
        {"empty first run", {0, 0, 30, 20}, 50, 10, 40, 50, 40, 0, false},
        {"chunk outside the file", {48, 48, 48}, 144, 90, 54, 96, 6, 0x02, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioTrakDesc s = audio_spec("twos", 0, 1, 16);
        s.duration = c.duration;
        s.chunk_samples = c.chunks;
        Bytes data;
        uint32_t sample = 0;
        for (uint32_t n : c.chunks) {
            s.chunk_offsets.push_back(kMdatStart + data.size());
            append(data, numbered_samples(sample, n));
            append(data, zeros(6));  // gap between chunks
            sample += n;
        }
        if (c.cut_last) s.chunk_offsets.back() = 1000000;
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, mov_file(data, atoms({mvhd(), audio_trak(s)}))), "");
        const MovAudioTrack &t = h.r.audio_tracks[0];
        EXPECT_EQ(t.track_flags, c.flags);
        EXPECT_EQ(t.nb_samples, c.expect_samples);
        std::vector<uint8_t> buf(c.count * 2 + 2, 0xEE);
        uint64_t got = 0;
        ASSERT_NO_THROW(got = mov_reader_read_audio(&h.r, buf.data(), 0, c.first, c.count));
        EXPECT_EQ(got, c.expect_read);
        Bytes expected = numbered_samples(uint32_t(c.first), uint32_t(got));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buf.begin()));
        EXPECT_EQ(buf[got * 2], 0xEE);  // nothing written past the frames read
    }
    {
        AudioTrakDesc s = audio_spec("twos", 0, 1, 16);
        s.duration = 10;
        s.chunk_samples = {10};
        s.chunk_offsets = {kMdatStart};
        Reader h;
        ASSERT_EQ(open_bytes(h.r, dir, mov_file(zeros(20), atoms({mvhd(), audio_trak(s)}))), "");
        uint8_t buf[32];
        EXPECT_THROW(mov_reader_read_audio(&h.r, buf, 0, 0, 0), ProcessError);  // "0 sample to read"
        EXPECT_THROW(mov_reader_read_audio(&h.r, buf, 1, 0, 1), ProcessError);  // track index
        EXPECT_EQ(mov_reader_read_audio(&h.r, buf, 0, 10, 1), 0u);
    }
}

// Every truncation and a sweep of corrupted bytes of a real file either opens or fails
// with a message; under AddressSanitizer this also proves no read leaves its buffer.
TEST(MovReaderHostile, TruncationsAndCorruptions) {
    testutil::TempDir dir;
    std::string src = dir.file("src.mov");
    ASSERT_TRUE(
        ffmpeg_make("-f lavfi -i testsrc2=size=32x16:rate=25 -f lavfi -i sine=duration=0.2 -frames:v 3 "
                    "-c:v hap -c:a pcm_s24le -timecode 00:00:01:00",
                    src));
    Bytes good = testutil::read_file(src);
    ASSERT_GT(good.size(), 100u);
    auto try_open = [&](const Bytes &b) {
        std::string path = dir.file("bad.mov");
        testutil::write_file(path, b);
        MovReader r;
        MovReaderParams p;
        p.path = path.c_str();
        try {
            mov_reader_open(&r, &p);
            for (uint32_t i = 0; i < r.nb_audio_tracks; i++) {
                std::vector<uint8_t> buf(64 * 16);
                if (r.audio_tracks[i].pcm_supported && r.audio_tracks[i].bytes_per_frame <= 16) {
                    try {
                        mov_reader_read_audio(&r, buf.data(), i, 0, 64);
                    } catch (const ProcessError &) {}
                }
            }
        } catch (const ProcessError &e) { EXPECT_NE(std::string(e.what()), ""); }
        mov_reader_close(&r);
    };
    for (size_t len = 0; len < good.size(); len += (len < 64 || len > good.size() - 1200) ? 1 : 7) {
        Bytes b(good.begin(), good.begin() + len);
        try_open(b);
    }
    // Every 32-bit field of the moov set to values that break sizes and counts.
    size_t moov = 0;
    for (size_t i = 4; i + 4 <= good.size(); i++)
        if (std::memcmp(&good[i], "moov", 4) == 0) moov = i - 4;
    ASSERT_GT(moov, 0u);
    const uint32_t values[] = {0, 1, 7, 0xFFFFFFFF, 0x7FFFFFFF, 0x40000000};
    for (size_t i = moov; i + 4 <= good.size(); i += 4)
        for (uint32_t v : values) {
            Bytes b = good;
            b[i] = uint8_t(v >> 24), b[i + 1] = uint8_t(v >> 16), b[i + 2] = uint8_t(v >> 8), b[i + 3] = uint8_t(v);
            try_open(b);
        }
}

}  // namespace
