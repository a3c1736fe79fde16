// Atom layouts of the MOV writer: size rule, header atoms, sample descriptions,
// sample tables, the movie's frame-rate and track rules, user data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "container/mov/mov_writer_hl/mov_atoms.h"
#include "container/mov/mov_writer_test_util.h"
#include "platform/core/errors.h"

using namespace mwtest;

namespace {

std::vector<uint8_t> serialise(const Atom_Writer &a) {
    std::vector<uint8_t> out(a.get_atom_size(nullptr));
    EXPECT_EQ(a.write_atom(out.data()), out.size());
    return out;
}

// A leaf that claims a size without holding the bytes, to reach the 64-bit form cheaply.
class HugeLeaf : public Atom_Writer {
public:
    explicit HugeLeaf(uint64_t payload_size) : Atom_Writer("huge"), n_(payload_size) {}
    uint64_t get_atom_size(bool *is64) const override { return mov_atom_size_for_content(n_, is64); }

private:
    uint64_t n_;
};

class HugeContainer : public Atom_Container {
public:
    explicit HugeContainer(uint64_t child_payload) : Atom_Container("cont") {
        children.push_back(std::make_unique<HugeLeaf>(child_payload));
    }
};

}  // namespace

TEST(MovWriterAtoms, SizeRuleSwitchesToTheLongHeaderPast32Bits) {
    struct Case {
        uint64_t content;
        bool is64;
        uint64_t size;
    } cases[] = {
        {0, false, 8},
        {0xFFFFFFF6ull, false, 0xFFFFFFFEull},
        {0xFFFFFFF7ull, true, 0xFFFFFFF7ull + 16},
        {0x123456789ull, true, 0x123456789ull + 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content);
        HugeLeaf leaf(c.content);
        bool is64 = !c.is64;
        EXPECT_EQ(leaf.get_atom_size(&is64), c.size);
        EXPECT_EQ(is64, c.is64);
        uint8_t h[16] = {};
        EXPECT_EQ(leaf.write_header(h), c.is64 ? 16u : 8u);
        EXPECT_EQ(std::memcmp(h + 4, "huge", 4), 0);
        if (c.is64) {
            EXPECT_EQ(be32(h), 1u);
            EXPECT_EQ(be64(h + 8), c.size);
        } else {
            EXPECT_EQ(be32(h), c.size);
        }
    }
    // A container sums its children and picks its own form: a child of 0xFFFFFFEE
    // payload bytes is 0xFFFFFFF6 in the short form, its container 0xFFFFFFFE.
    HugeContainer fits(0xFFFFFFEEull);
    bool is64 = true;
    EXPECT_EQ(fits.get_atom_size(&is64), 0xFFFFFFFEull);
    EXPECT_FALSE(is64);
    HugeContainer wide(0xFFFFFFEFull);
    EXPECT_EQ(wide.get_atom_size(&is64), 0xFFFFFFF7ull + 16);
    EXPECT_TRUE(is64);
}

TEST(MovWriterAtoms, HeaderAtomsHaveTheirFixedLayouts) {
    const ZRational r30 = {30000, 1001};
    struct Spot {
        size_t offset;  // in the payload
        std::vector<uint8_t> bytes;
    };
    struct Case {
        const char *name;
        std::function<std::unique_ptr<Atom_Writer>()> make;
        const char *type;
        size_t payload;
        std::vector<Spot> spots;
    } cases[] = {
        {"mvhd",
         [&] { return std::make_unique<MVHD_Writer>(7, 100, r30, 3); },
         "mvhd",
         100,
         {{4, {0, 0, 0, 7, 0, 0, 0, 7}},
          {12, {0, 0, 0x75, 0x30, 0, 1, 0x87, 0x04}},
          {96, {0, 0, 0, 4}},
          {36, {0, 1, 0, 0}},
          {68, {0x40, 0, 0, 0}}}},
        {"tkhd video",
         [&] { return std::make_unique<TKHD_Writer>(0, 10, r30, 1, 1920, 1080, false); },
         "tkhd",
         84,
         {{0, {0, 0, 0, 0x0F}},
          {12, {0, 0, 0, 1}},
          {20, {0, 0, 0x27, 0x1A}},
          {36, {0, 0}},
          {76, {0x07, 0x80, 0, 0, 0x04, 0x38, 0, 0}}}},
        {"tkhd audio",
         [&] { return std::make_unique<TKHD_Audio_Writer>(0, 10, r30, 2); },
         "tkhd",
         84,
         {{0, {0, 0, 0, 0x0F}}, {12, {0, 0, 0, 2}}, {36, {1, 0}}, {76, {0, 0, 0, 0, 0, 0, 0, 0}}}},
        {"tkhd timecode",
         [&] { return std::make_unique<TKHD_TC_Writer>(0, 10, r30, 3); },
         "tkhd",
         84,
         {{0, {0, 0, 0, 0x0F}}, {36, {0, 0}}}},
        {"tapt",
         [] { return std::make_unique<TAPT_Writer>(1440, 1080, 1920); },
         "tapt",
         60,
         {{4, {'c', 'l', 'e', 'f'}},
          {12, {0x07, 0x80, 0, 0, 0x04, 0x38, 0, 0}},
          {24, {'p', 'r', 'o', 'f'}},
          {44, {'e', 'n', 'o', 'f'}},
          {52, {0x05, 0xA0, 0, 0}}}},
        {"load", [] { return std::make_unique<LOAD_Writer>(); }, "load", 16, {{12, {0, 0, 1, 0}}}},
        {"edts",
         [&] { return std::make_unique<EDTS_Writer>(10, r30); },
         "edts",
         28,
         {{0, {0, 0, 0, 28, 'e', 'l', 's', 't', 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x27, 0x1A, 0, 0, 0, 0, 0, 1, 0, 0}}}},
        {"tref",
         [] { return std::make_unique<TREF_Writer>(4); },
         "tref",
         12,
         {{0, {0, 0, 0, 12, 't', 'm', 'c', 'd', 0, 0, 0, 4}}}},
        {"mdhd",
         [&] { return std::make_unique<MDHD_Writer>(0, 10, r30); },
         "mdhd",
         24,
         {{12, {0, 0, 0x75, 0x30, 0, 0, 0x27, 0x1A, 0, 0, 0, 0}}}},
        {"mdhd audio",
         [] { return std::make_unique<MDHD_Audio_Writer>(0, 96000, 48000); },
         "mdhd",
         24,
         {{12, {0, 0, 0xBB, 0x80, 0, 1, 0x77, 0}}}},
        {"hdlr video",
         [] { return std::make_unique<HDLR_Video_Writer>(); },
         "hdlr",
         48,
         {{4, {'m', 'h', 'l', 'r', 'v', 'i', 'd', 'e', 'a', 'p', 'p', 'l', 0, 0, 0, 0, 0, 1, 0, 0x23, 23, 'M'}}}},
        {"hdlr audio",
         [] { return std::make_unique<HDLR_Audio_Writer>(); },
         "hdlr",
         49,
         {{8, {'s', 'o', 'u', 'n'}}, {16, {0x10, 0, 0, 0, 0, 1, 2, 0x55, 24}}}},
        {"hdlr timecode",
         [] { return std::make_unique<HDLR_TC_Writer>(); },
         "hdlr",
         51,
         {{8, {'t', 'm', 'c', 'd'}}, {16, {0, 0, 0, 1, 0, 1, 1, 0x28, 26}}}},
        {"hdlr alias",
         [] { return std::make_unique<HDLR_Media_Writer>(); },
         "hdlr",
         51,
         {{4, {'d', 'h', 'l', 'r', 'a', 'l', 'i', 's'}}, {24, {26}}, {38, {'d', 0x92, 'a'}}}},
        {"vmhd",
         [] { return std::make_unique<VMHD_Writer>(); },
         "vmhd",
         12,
         {{0, {0, 0, 0, 1, 0, 0x40, 0x80, 0, 0x80, 0, 0x80, 0}}}},
        {"smhd", [] { return std::make_unique<SMHD_Writer>(); }, "smhd", 8, {{0, {0, 0, 0, 0, 0, 0, 0, 0}}}},
        {"gmhd",
         [] { return std::make_unique<GMHD_Writer>(); },
         "gmhd",
         71,
         {{0, {0, 0, 0, 24, 'g', 'm', 'i', 'n'}},
          {24, {0, 0, 0, 47, 't', 'm', 'c', 'd', 0, 0, 0, 39, 't', 'c', 'm', 'i'}},
          {48, {0, 12}},
          {58, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 6, 'S', 'y', 's', 't', 'e', 'm'}}}},
        {"dinf",
         [] { return std::make_unique<DINF_Writer>(); },
         "dinf",
         28,
         {{0, {0, 0, 0, 28, 'd', 'r', 'e', 'f', 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 12, 'a', 'l', 'i', 's', 0, 0, 0, 1}}}},
        {"mdat timecode", [] { return std::make_unique<MDAT_TC_Writer>(90000); }, "mdat", 4, {{0, {0, 1, 0x5F, 0x90}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto atom = c.make();
        std::vector<uint8_t> bytes = serialise(*atom);
        ASSERT_EQ(bytes.size(), c.payload + 8);
        EXPECT_EQ(be32(bytes.data()), c.payload + 8);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&bytes[4]), 4), c.type);
        for (const Spot &s : c.spots) {
            SCOPED_TRACE(s.offset);
            ASSERT_LE(s.offset + s.bytes.size(), c.payload);
            EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8 + s.offset, bytes.begin() + 8 + s.offset + s.bytes.size()),
                      s.bytes);
        }
    }
}

TEST(MovWriterAtoms, ConstructorsRefuseOverflowsAndBadIds) {
    const ZRational r = {30000, 1001};
    struct Case {
        std::function<void()> fn;
        const char *message;
    } cases[] = {
        {[&] { MVHD_Writer(0, 4294967, r, 1); }, "mvhd duration overflow"},
        {[&] { MVHD_Writer(0, 10, r, 0xFFFFFFFE); }, "mvhd track count overflow"},
        {[&] { TKHD_Writer(0, 4294967, r, 1, 1, 1, false); }, "tkhd duration overflow"},
        {[&] { EDTS_Writer(4294967, r); }, "edts duration overflow"},
        {[&] { MDHD_Writer(0, 4294967, r); }, "MDHD duration overflow"},
        {[&] { STTS_Writer(4294967, r, STTS_TRACK_TIMECODE); }, "STTS TC duration overflow"},
        {[&] { STTS_Writer(10, r, 2); }, "Type trak unknown STTS"},
        {[] { TREF_Writer(-1); }, "TREF without valid value"},
        {[] { TREF_TC_Entry_Writer(-1); }, "Tref TC Entry invalid track index"},
        {[] { STSC_Audio_Writer(10, 0); }, "STSC zero frequency"},
        {[] { FIEL_Writer(3); }, "Field atom interlace type invalide"},
        {[] { COLR_NCLC_Writer(2); }, "Colr atom colorspace type invalide"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(thrown_message(c.fn), c.message);
    }
    // The largest product that fits is accepted.
    EXPECT_NO_THROW(MVHD_Writer(0, 4294967295u / 1001, r, 1));
}

TEST(MovWriterAtoms, VideoDescriptionFollowsTheFormatTable) {
    struct Case {
        const char *format;
        uint8_t depth_arg;
        uint16_t version;
        const char *vendor;
        uint32_t spatial;
        const char *name;
        uint16_t depth;
    } cases[] = {
        {"Hap1", 32, 1, "VDVX", 1024, "Hap", 24},
        {"Hap5", 24, 1, "VDVX", 1024, "Hap Alpha", 32},
        {"HapY", 32, 1, "VDVX", 1024, "Hap Q", 24},
        {"HapM", 24, 1, "VDVX", 1024, "Hap Q Alpha", 32},
        {"HapA", 32, 1, "VDVX", 1024, "Hap Alpha-Only", 24},
        {"Hap7", 32, 1, "VDVX", 1024, "Hap R", 32},
        {"Hap7", 24, 1, "VDVX", 1024, "Hap R", 24},
        {"ap4x", 32, 0, "appl", 1023, "Apple ProRes 4444 XQ", 32},
        {"DXD3", 24, 0, "FFMP", 512, "", 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.depth_arg));
        SampleDescription_Video d(1920, 1080, c.depth_arg, c.format, {});
        ASSERT_EQ(d.payload.size(), 82u);
        EXPECT_EQ(std::memcmp(d.type, c.format, 4), 0);
        const uint8_t *p = d.payload.data();
        EXPECT_EQ(be16(p + 6), 1);
        EXPECT_EQ(be16(p + 8), c.version);
        EXPECT_EQ(std::memcmp(p + 12, c.vendor, 4), 0);
        EXPECT_EQ(be32(p + 20), c.spatial);
        EXPECT_EQ(be16(p + 24), 1920);
        EXPECT_EQ(be16(p + 26), 1080);
        EXPECT_EQ(be32(p + 28), 0x00480000u);
        EXPECT_EQ(be16(p + 40), 1);
        EXPECT_EQ(p[42], std::strlen(c.name));
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(p + 43), p[42]), c.name);
        for (size_t i = 43 + p[42]; i < 74; i++) EXPECT_EQ(p[i], 0) << i;
        EXPECT_EQ(be16(p + 74), c.depth);
        EXPECT_EQ(be16(p + 76), 0xFFFF);
        EXPECT_EQ(be32(p + 78), 0u);
    }

    std::vector<Atom_Writer> ext = {GAMA_Writer(2, 0x3333), PASP_Writer(1920, 1440)};
    SampleDescription_Video with(1440, 1080, 24, "Hap1", ext);
    ASSERT_EQ(with.payload.size(), 82u + 12 + 16);
    const uint8_t *p = with.payload.data() + 78;
    EXPECT_EQ(std::vector<uint8_t>(p, p + 12),
              (std::vector<uint8_t>{0, 0, 0, 12, 'g', 'a', 'm', 'a', 0, 2, 0x33, 0x33}));
    EXPECT_EQ(std::vector<uint8_t>(p + 12, p + 28),
              (std::vector<uint8_t>{0, 0, 0, 16, 'p', 'a', 's', 'p', 0, 0, 7, 0x80, 0, 0, 5, 0xA0}));

    EXPECT_EQ(thrown_message([] { SampleDescription_Video(8, 8, 24, "avc1", {}); }),
              "Sample description, codec unsupported");
    EXPECT_EQ(thrown_message([] { SampleDescription_Video(8, 8, 24, "ap4o", {}); }), "codec video unsupported");
}

TEST(MovWriterAtoms, ExtensionAtomsEncodeTheirModes) {
    struct Case {
        Atom_Writer atom;
        std::vector<uint8_t> payload;
    } cases[] = {
        {FIEL_Writer(0), {1, 0}},
        {FIEL_Writer(1), {2, 9}},
        {FIEL_Writer(2), {2, 14}},
        {COLR_NCLC_Writer(0), {'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 1}},
        {COLR_NCLC_Writer(1), {'n', 'c', 'l', 'c', 0, 5, 0, 1, 0, 6}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.atom.type, 4));
        EXPECT_EQ(c.atom.payload, c.payload);
    }
}

TEST(MovWriterAtoms, AudioDescriptionChoosesFormatAndLayout) {
    struct Case {
        uint16_t bits;
        uint32_t freq;
        uint16_t channels;
        bool is_float;
        uint32_t layout;
        const char *type;
        size_t payload;
        std::vector<uint32_t> labels;  // lpcm only
    } cases[] = {
        {16, 48000, 2, false, 0, "sowt", 44, {}},
        {8, 44100, 1, false, 0, "raw ", 44, {}},
        {24, 48000, 2, false, 0, "in24", 82, {}},
        {32, 48000, 1, false, 0, "in32", 82, {}},
        {32, 48000, 2, true, 0, "fl32", 82, {}},
        {64, 48000, 2, true, 0, "fl64", 82, {}},
        {24, 96000, 2, false, 0, "lpcm", 64 + 64, {1, 2}},
        {16, 48000, 6, false, 1, "lpcm", 64 + 24 + 120, {1, 2, 3, 4, 5, 6}},
        {16, 48000, 6, false, 2, "lpcm", 64 + 24 + 120, {1, 2, 5, 6, 3, 4}},
        {16, 48000, 6, false, 3, "lpcm", 64 + 24 + 120, {1, 3, 2, 5, 6, 4}},
        {24, 48000, 8, false, 4, "lpcm", 64 + 24 + 160, {1, 2, 3, 4, 5, 6, 33, 34}},
        {32, 48000, 4, true, 0, "lpcm", 64 + 24 + 80, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}},
        {16, 96000, 1, false, 0, "lpcm", 64 + 24 + 20, {42}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + " bits " + std::to_string(c.bits) + " ch " + std::to_string(c.channels));
        SampleDescription_Audio d(c.bits, c.freq, c.channels, c.is_float, c.layout);
        EXPECT_EQ(std::string(d.type, 4), c.type);
        ASSERT_EQ(d.payload.size(), c.payload);
        const uint8_t *p = d.payload.data();
        EXPECT_EQ(be16(p + 6), 1);
        const uint32_t bpf = c.channels * (c.bits / 8u);
        if (std::string(c.type) != "lpcm") {
            EXPECT_EQ(be16(p + 8), 1);
            EXPECT_EQ(be16(p + 16), c.channels);
            EXPECT_EQ(be16(p + 18), c.bits == 8 ? 8 : 16);
            EXPECT_EQ(be16(p + 20), 0xFFFF);
            EXPECT_EQ(be32(p + 24), c.freq << 16);
            EXPECT_EQ(be32(p + 28), 1u);
            EXPECT_EQ(be32(p + 32), c.bits / 8u);
            EXPECT_EQ(be32(p + 36), bpf);
            EXPECT_EQ(be32(p + 40), c.bits == 8 ? 1u : 2u);
            if (c.bits > 16) {
                const uint8_t wave[38] = {0,
                                          0,
                                          0,
                                          38,
                                          'w',
                                          'a',
                                          'v',
                                          'e',
                                          0,
                                          0,
                                          0,
                                          12,
                                          'f',
                                          'r',
                                          'm',
                                          'a',
                                          uint8_t(c.type[0]),
                                          uint8_t(c.type[1]),
                                          uint8_t(c.type[2]),
                                          uint8_t(c.type[3]),
                                          0,
                                          0,
                                          0,
                                          10,
                                          'e',
                                          'n',
                                          'd',
                                          'a',
                                          0,
                                          1,
                                          0,
                                          0,
                                          0,
                                          8,
                                          0,
                                          0,
                                          0,
                                          0};
                EXPECT_EQ(std::memcmp(p + 44, wave, 38), 0);
            }
            continue;
        }
        EXPECT_EQ(be16(p + 8), 2);
        EXPECT_EQ(be16(p + 16), 3);
        EXPECT_EQ(be16(p + 18), 16);
        EXPECT_EQ(be16(p + 20), 0xFFFE);
        EXPECT_EQ(be32(p + 24), 0x00010000u);
        EXPECT_EQ(be32(p + 28), 72u);
        double rate;
        uint64_t bits64 = be64(p + 32);
        std::memcpy(&rate, &bits64, 8);
        EXPECT_EQ(rate, double(c.freq));
        EXPECT_EQ(be32(p + 40), c.channels);
        EXPECT_EQ(be32(p + 44), 0x7F000000u);
        EXPECT_EQ(be32(p + 48), c.bits);
        EXPECT_EQ(be32(p + 52), c.is_float ? 9u : 12u);
        EXPECT_EQ(be32(p + 56), bpf);
        EXPECT_EQ(be32(p + 60), 1u);
        EXPECT_EQ(be32(p + 64), 24 + 20u * c.channels);
        EXPECT_EQ(std::memcmp(p + 68, "chan", 4), 0);
        EXPECT_EQ(be32(p + 76), 0u);
        EXPECT_EQ(be32(p + 84), c.channels);
        for (size_t i = 0; i < c.labels.size(); i++) {
            EXPECT_EQ(be32(p + 88 + 20 * i), c.labels[i]) << "channel " << i;
            for (int k = 4; k < 20; k++) EXPECT_EQ(p[88 + 20 * i + k], 0);
        }
    }

    struct Bad {
        uint16_t bits;
        uint32_t freq;
        uint16_t channels;
        bool is_float;
        const char *message;
    } bad[] = {
        {16, 48000, 0, false, "nb channnel audio 0 invalid"},
        {16, 0, 2, false, "frequency audio 0 invalid"},
        {24, 48000, 2, true, "Quantif audio inconnue STSD"},
        {12, 48000, 2, false, "Quantif audio inconnue STSD"},
        {16, 96000, 2, true, "Quantif audio inconnue STSD Float"},
        {12, 48000, 6, false, "Quantif audio inconnue STSD Integer"},
    };
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.message);
        EXPECT_EQ(thrown_message([&] { SampleDescription_Audio(b.bits, b.freq, b.channels, b.is_float, 0); }),
                  b.message);
    }
}

TEST(MovWriterAtoms, TimecodeDescriptionFollowsTheRateTable) {
    struct Case {
        ZRational rate;
        bool drop;
        uint32_t flags, scale, duration;
        uint8_t frames;
    } cases[] = {
        {{25, 1}, true, 0, 25, 1, 25},
        {{0, 1}, false, 0, 0, 1, 0},
        {{255, 1}, false, 0, 255, 1, 255},
        {{30000, 1001}, true, 1, 2997, 100, 30},
        {{30000, 1001}, false, 0, 2997, 100, 30},
        {{60000, 1001}, true, 1, 2997, 50, 60},
        {{24000, 1001}, true, 0, 2997, 125, 24},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den));
        SampleDescription_Timecode d(c.rate, c.drop);
        ASSERT_EQ(d.payload.size(), 26u);
        const uint8_t *p = d.payload.data();
        EXPECT_EQ(be16(p + 6), 1);
        EXPECT_EQ(be32(p + 12), c.flags);
        EXPECT_EQ(be32(p + 16), c.scale);
        EXPECT_EQ(be32(p + 20), c.duration);
        EXPECT_EQ(p[24], c.frames);
        EXPECT_EQ(p[25], 0);
    }
    for (ZRational bad : {ZRational{256, 1}, ZRational{25000, 1001}, ZRational{50, 2}}) {
        EXPECT_EQ(thrown_message([&] { SampleDescription_Timecode(bad, false); }),
                  "FPS not supported for TC sample description");
    }
}

TEST(MovWriterAtoms, AudioChunkTableDescribesOneSecondChunks) {
    struct Case {
        uint32_t samples;
        std::vector<uint32_t> entries;  // (first chunk, samples per chunk) pairs
    } cases[] = {
        {4 * 48000, {1, 48000}},
        {216000, {1, 48000, 5, 24000}},
        {24000, {1, 24000}},
        {48001, {1, 48000, 2, 1}},
        {1, {1, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.samples);
        STSC_Audio_Writer s(c.samples, 48000);
        const uint8_t *p = s.payload.data();
        const uint32_t n = be32(p + 4);
        ASSERT_EQ(n * 2, c.entries.size());
        ASSERT_EQ(s.payload.size(), 8 + 12u * n);
        for (uint32_t i = 0; i < n; i++) {
            EXPECT_EQ(be32(p + 8 + 12 * i), c.entries[2 * i]);
            EXPECT_EQ(be32(p + 12 + 12 * i), c.entries[2 * i + 1]);
            EXPECT_EQ(be32(p + 16 + 12 * i), 1u);
        }
    }
}

TEST(MovWriterAtoms, ChunkOffsetsWidenOnlyWhenTheLastOneNeedsIt) {
    struct Case {
        std::vector<uint64_t> offsets;
        const char *type;
    } cases[] = {
        {{}, "stco"},
        {{48, 0xFFFFFFFEull}, "stco"},
        {{48, 0xFFFFFFFFull}, "co64"},
        {{48, 0x100000000ull, 0x1234567890ull}, "co64"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        CO_Writer co(c.offsets);
        EXPECT_EQ(std::string(co.type, 4), c.type);
        const bool wide = std::string(c.type) == "co64";
        ASSERT_EQ(co.payload.size(), 8 + (wide ? 8 : 4) * c.offsets.size());
        EXPECT_EQ(be32(co.payload.data() + 4), c.offsets.size());
        for (size_t i = 0; i < c.offsets.size(); i++) {
            const uint8_t *p = co.payload.data() + 8 + (wide ? 8 : 4) * i;
            EXPECT_EQ(wide ? be64(p) : be32(p), c.offsets[i]);
        }
    }
}

TEST(MovWriterAtoms, MovieRateIsCorrectedOnlyWhenNeeded) {
    struct Case {
        ZRational in;
        uint32_t frames;
        ZRational out;
    } cases[] = {
        {{25, 1}, 100, {25, 1}},
        {{50, 2}, 100, {25, 1}},
        {{30000, 1000}, 100, {30, 1}},
        {{0, 1}, 100, {25, 1}},
        {{25, 0}, 100, {25, 1}},
        {{30000, 1001}, 4290000, {30000, 1001}},
        {{30000, 1001}, 4294967, {29970, 1000}},
        {{30000, 1001}, 5000000, {2997, 100}},
        {{30000, 1001}, 50000000, {300, 10}},
        {{30000, 1001}, 500000000, {30, 1}},
        // r = 0 at every scale: nothing representable, 25/1.
        {{1, 3000000}, 5000, {25, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in.num) + "/" + std::to_string(c.in.den) + " x " + std::to_string(c.frames));
        ZRational r = mov_movie_frame_rate(c.in, c.frames);
        EXPECT_EQ(r.num, c.out.num);
        EXPECT_EQ(r.den, c.out.den);
        EXPECT_LE(uint64_t(r.den) * c.frames, 0xFFFFFFFFull);
    }
}

namespace {
struct MovieLayout {
    std::vector<std::string> traks;  // handler subtype per trak
    std::vector<uint32_t> track_ids;
    std::vector<bool> has_tref;
    uint32_t next_track_id = 0;
};

MovieLayout layout_of(const std::vector<uint8_t> &moov) {
    MovieLayout l;
    l.next_track_id = be32(&payload_of(moov, find_box(moov, "moov/mvhd"))[96]);
    for (int i = 1;; i++) {
        std::string t = "moov/trak#" + std::to_string(i);
        Box trak = find_box(moov, t);
        if (!trak.found) break;
        auto hdlr = payload_of(moov, find_box(moov, t + "/mdia/hdlr"));
        l.traks.emplace_back(reinterpret_cast<const char *>(&hdlr[8]), 4);
        l.track_ids.push_back(be32(&payload_of(moov, find_box(moov, t + "/tkhd"))[12]));
        Box tref = find_box(moov, t + "/tref/tmcd");
        l.has_tref.push_back(tref.found);
    }
    return l;
}
}  // namespace

TEST(MovWriterAtoms, MovieNumbersTracksAndAddsTimecodeOnlyForCarriedRates) {
    struct Case {
        ZRational rate;
        uint32_t audio;
        bool timecode;
        bool expect_tc;
    } cases[] = {
        {{25, 1}, 0, true, true},       {{25, 1}, 2, true, true},       {{48, 2}, 1, true, true},
        {{30000, 1000}, 0, true, true}, {{30000, 1001}, 3, true, true}, {{25000, 1001}, 1, true, false},
        {{25, 1}, 2, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den) + " audio " +
                     std::to_string(c.audio) + (c.timecode ? " tc" : ""));
        const uint32_t frames = 10;
        std::vector<uint64_t> offs;
        std::vector<uint32_t> sizes;
        for (uint32_t i = 0; i < frames; i++) offs.push_back(48 + 100 * i), sizes.push_back(100);
        Moov_Video_Writer moov(c.rate, 0, 64, 32, 24, 1.0f, "Hap1", frames, offs, sizes, c.timecode, 0, false, 2000,
                               c.audio, {GAMA_Writer(2, 0x3333)});
        for (uint32_t a = 0; a < c.audio; a++) moov.add_audio_track(16, 48000, 19200, 2, {5000}, false, 0);
        auto bytes = serialise(moov);
        MovieLayout l = layout_of(bytes);
        const uint32_t tracks = 1 + c.audio + (c.expect_tc ? 1 : 0);
        ASSERT_EQ(l.traks.size(), tracks);
        EXPECT_EQ(l.next_track_id, tracks + 1);
        EXPECT_EQ(l.traks[0], "vide");
        for (uint32_t i = 0; i < tracks; i++) {
            EXPECT_EQ(l.track_ids[i], i + 1);
            const bool is_tc = c.expect_tc && i == tracks - 1;
            if (i >= 1 && i <= c.audio) { EXPECT_EQ(l.traks[i], "soun"); }
            if (is_tc) { EXPECT_EQ(l.traks[i], "tmcd"); }
            EXPECT_EQ(l.has_tref[i], c.expect_tc && !is_tc) << "trak " << i;
            if (l.has_tref[i]) {
                auto tref = payload_of(bytes, find_box(bytes, "moov/trak#" + std::to_string(i + 1) + "/tref/tmcd"));
                EXPECT_EQ(be32(tref.data()), tracks);
            }
        }
        EXPECT_EQ(moov.timecode_track_id(), c.expect_tc ? int32_t(tracks) : -1);
        EXPECT_FALSE(find_box(bytes, "moov/udta").found);
    }
}

TEST(MovWriterAtoms, MovieRefusesAWrongNumberOfAudioTracks) {
    std::vector<uint64_t> offs = {48};
    std::vector<uint32_t> sizes = {100};
    Moov_Video_Writer moov({25, 1}, 0, 64, 32, 24, 1.0f, "Hap1", 1, offs, sizes, false, 0, false, 0, 2, {});
    moov.add_audio_track(16, 48000, 1920, 2, {500}, false, 0);
    EXPECT_EQ(thrown_message([&] { moov.get_atom_size(nullptr); }), "Not enough audio track created");
    moov.add_audio_track(16, 48000, 1920, 2, {500}, false, 0);
    EXPECT_NO_THROW(moov.get_atom_size(nullptr));
    EXPECT_EQ(thrown_message([&] { moov.add_audio_track(16, 48000, 1920, 2, {500}, false, 0); }),
              "Not enough audio track set at start");

    EXPECT_EQ(thrown_message([] {
                  Moov_Video_Writer({25, 1}, 0, 64, 32, 24, 1.0f, "Hap1", 0, {}, {}, false, 0, false, 0, 0, {});
              }),
              "STBL : Duration 0 for the file");
    EXPECT_EQ(thrown_message([] {
                  Moov_Video_Writer({25, 1}, 0, 64, 32, 24, 1.0f, "Hap1", 0, {}, {}, true, 0, false, 0, 0, {});
              }),
              "STBL TC : Duration 0 for the file");
}

TEST(MovWriterAtoms, UserDataHoldsTheMetadataAtoms) {
    struct Case {
        const char *name;
        uint8_t depth;
        MovUdtaMetadata meta;
        bool allow_alfa;
        std::vector<std::vector<uint8_t>> atoms;  // complete atoms of the udta, in order
    };
    auto md = [](uint8_t is_set, uint16_t version, uint8_t alpha, uint8_t crop, uint32_t dw, uint32_t dh, uint32_t x,
                 uint32_t y) {
        MovUdtaMetadata m;
        m.is_set = is_set, m.version = version, m.alpha_mode = alpha, m.have_crop_box = crop;
        m.display_width = dw, m.display_height = dh, m.crop_x = x, m.crop_y = y;
        return m;
    };
    const std::vector<uint8_t> zelq_plain = {0, 0, 0, 28, 'Z', 'E', 'L', 'Q', 1, 0, 1, 0, 0, 0,
                                             0, 0, 0, 0,  0,   0,   0,   0,   0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> zelq_crop = {0, 0, 0,    28, 'Z', 'E', 'L',  'Q', 1, 0, 0,    1, 0x80, 7,
                                            0, 0, 0x38, 4,  0,   0,   0x80, 2,   0, 0, 0x68, 1, 0,    0};
    const std::vector<uint8_t> zelq_straight = {0, 0, 0, 28, 'Z', 'E', 'L', 'Q', 1, 0, 2, 0, 0, 0,
                                                0, 0, 0, 0,  0,   0,   0,   0,   0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> alfa_pre = {0, 0, 0, 18, 'A', 'L', 'F', 'A', 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::vector<uint8_t> alfa_straight = {0, 0, 0, 18, 'A', 'L', 'F', 'A', 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> zela_pre = {0, 0, 0, 26, 'Z', 'E', 'L', 'A'};
    for (char ch : std::string("premultiply_black")) zela_pre.push_back(uint8_t(ch));
    zela_pre.push_back(0);
    std::vector<uint8_t> zela_straight = {0, 0, 0, 17, 'Z', 'E', 'L', 'A', 's', 't', 'r', 'a', 'i', 'g', 'h', 't', 0};

    const Case cases[] = {
        {"24-bit premultiplied: ZELQ only", 24, md(1, 1, 1, 0, 0, 0, 0, 0), true, {zelq_plain}},
        {"32-bit premultiplied", 32, md(1, 1, 1, 0, 0, 0, 0, 0), true, {zelq_plain, alfa_pre, zela_pre}},
        {"32-bit straight", 32, md(1, 1, 2, 0, 0, 0, 0, 0), true, {zelq_straight, alfa_straight, zela_straight}},
        {"32-bit straight, no ALFA", 32, md(1, 1, 2, 0, 0, 0, 0, 0), false, {zelq_straight, zela_straight}},
        {"32-bit unset alpha", 32, md(1, 1, 0, 0, 0, 0, 0, 0), true, {{0, 0, 0, 28, 'Z', 'E', 'L', 'Q', 1, 0,
                                                                       0, 0, 0, 0,  0,   0,   0,   0,   0, 0,
                                                                       0, 0, 0, 0,  0,   0,   0,   0}}},
        {"crop box inside", 24, md(1, 1, 0, 1, 1920, 1080, 640, 360), true, {zelq_crop}},
        {"crop box one pixel out", 24, md(1, 1, 0, 1, 1920, 1080, 641, 360), true, {}},
        {"crop box with zero display", 24, md(1, 1, 0, 1, 0, 1080, 0, 0), true, {}},
        {"not set", 32, md(0, 1, 1, 0, 0, 0, 0, 0), true, {}},
        {"bad version", 32, md(1, 2, 1, 0, 0, 0, 0, 0), true, {}},
        {"bad alpha", 32, md(1, 1, 3, 0, 0, 0, 0, 0), true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Moov_Video_Writer moov({25, 1}, 0, 1280, 720, c.depth, 1.0f, "Hap1", 1, {48}, {100}, false, 0, false, 0, 0, {});
        moov.add_udta_metadata(c.meta, c.allow_alfa);
        auto bytes = serialise(moov);
        Box udta = find_box(bytes, "moov/udta");
        if (c.atoms.empty()) {
            EXPECT_FALSE(udta.found);
            continue;
        }
        ASSERT_TRUE(udta.found);
        std::vector<uint8_t> expect;
        for (const auto &a : c.atoms) expect.insert(expect.end(), a.begin(), a.end());
        EXPECT_EQ(payload_of(bytes, udta), expect);
        // udta is the last child of the movie.
        EXPECT_EQ(udta.offset + udta.size, bytes.size());
    }
}

TEST(MovWriterAtoms, VideoTrackDisplayWidthFollowsThePixelRatio) {
    struct Case {
        float ratio;
        uint16_t width;
        uint32_t display;
    } cases[] = {
        {1.0f, 1440, 1440},
        {4.0f / 3.0f, 1440, 1920},
        {1.5f, 7, 12},  // 10.5 rounds away to 11, made even
        {0.0001f, 1440, 1440},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ratio);
        Moov_Video_Writer moov({25, 1}, 0, c.width, 32, 24, c.ratio, "Hap1", 1, {48}, {100}, false, 0, false, 0, 0, {});
        auto bytes = serialise(moov);
        auto clef = payload_of(bytes, find_box(bytes, "moov/trak/tapt/clef"));
        auto enof = payload_of(bytes, find_box(bytes, "moov/trak/tapt/enof"));
        ASSERT_EQ(clef.size(), 12u);
        EXPECT_EQ(be16(&clef[4]), c.display);
        EXPECT_EQ(be16(&enof[4]), c.width);
        auto pasp = payload_of(bytes, find_box(bytes, "moov/trak/mdia/minf/stbl/stsd/Hap1"));
        ASSERT_EQ(pasp.size(), 82u + 16);
        EXPECT_EQ(be32(&pasp[78 + 8]), c.display);
        EXPECT_EQ(be32(&pasp[78 + 12]), c.width);
    }
}
