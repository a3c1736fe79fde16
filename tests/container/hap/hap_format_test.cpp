// HAP frame packing and unpacking: chunk rules, fallbacks, header forms, and frames
// that lie about their sizes.
#include "container/hap/hap.h"

#include <gtest/gtest.h>
#include <snappy-c.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

void serial_for(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *) {
    for (uint32_t i = 0; i < count; ++i) work(jobs, i);
}

// Runs the chunks in reverse order to show that order does not matter.
void reverse_for(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *info) {
    if (info) ++*static_cast<int *>(info);
    for (uint32_t i = count; i-- > 0;) work(jobs, i);
}

// Runs of one value with sparse changes: snappy shrinks it well. Fast for 16 MB.
std::vector<uint8_t> compressible(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = uint8_t((i / 64) * 7 + ((x >> 28) == 0 ? (x >> 20) % 3 : 0));
    }
    return v;
}

std::vector<uint8_t> noise(size_t n, uint32_t seed = 2) {
    std::vector<uint8_t> v(n);
    uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        v[i] = uint8_t(x >> 32);
    }
    return v;
}

std::vector<uint8_t> encode1(const std::vector<uint8_t> &tex, HapTextureFormat format, uint32_t compressor,
                             uint32_t chunks) {
    const uint64_t len = tex.size();
    const uint64_t cap = hap_max_encoded_length(1, &len, &format, &chunks);
    std::vector<uint8_t> out(cap);
    const void *buf = tex.data();
    uint64_t used = 0;
    EXPECT_EQ(hap_encode(1, &buf, &len, &format, &compressor, &chunks, out.data(), cap, &used), HapResult_No_Error);
    out.resize(used);
    return out;
}

// Decodes into a buffer of exactly `capacity` bytes on the heap (so ASan sees overruns).
HapResult decode(const std::vector<uint8_t> &frame, uint32_t index, uint64_t capacity, std::vector<uint8_t> *out,
                 HapTextureFormat *format = nullptr) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[frame.size() ? frame.size() : 1]);
    if (!frame.empty()) std::memcpy(copy.get(), frame.data(), frame.size());
    std::unique_ptr<uint8_t[]> buf(new uint8_t[capacity ? capacity : 1]);
    uint64_t used = 0;
    HapTextureFormat f = 0;
    HapResult r =
        hap_decode(copy.get(), uint32_t(frame.size()), index, reverse_for, nullptr, buf.get(), capacity, &used, &f);
    if (format) *format = f;
    if (out && r == HapResult_No_Error) out->assign(buf.get(), buf.get() + used);
    return r;
}

void put32(std::vector<uint8_t> &v, uint32_t x);
// Section header; empty content needs the long form.
void put24(std::vector<uint8_t> &v, uint32_t len, uint8_t type) {
    if (len == 0) {
        v.insert(v.end(), {0, 0, 0, type});
        put32(v, 0);
        return;
    }
    v.push_back(uint8_t(len));
    v.push_back(uint8_t(len >> 8));
    v.push_back(uint8_t(len >> 16));
    v.push_back(type);
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A chunked DXT1 texture section built by hand from its tables.
struct ChunkedLayout {
    std::vector<uint8_t> compressors;
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> offsets;  // written as an offset table when not empty
    bool with_sizes = true;
    std::vector<uint8_t> data;
};

std::vector<uint8_t> chunked_frame(const ChunkedLayout &s) {
    std::vector<uint8_t> tables;
    put24(tables, uint32_t(s.compressors.size()), 0x02);
    tables.insert(tables.end(), s.compressors.begin(), s.compressors.end());
    if (s.with_sizes) {
        put24(tables, uint32_t(4 * s.sizes.size()), 0x03);
        for (uint32_t x : s.sizes) put32(tables, x);
    }
    if (!s.offsets.empty()) {
        put24(tables, uint32_t(4 * s.offsets.size()), 0x04);
        for (uint32_t x : s.offsets) put32(tables, x);
    }
    std::vector<uint8_t> content;
    put24(content, uint32_t(tables.size()), 0x01);
    content.insert(content.end(), tables.begin(), tables.end());
    content.insert(content.end(), s.data.begin(), s.data.end());
    std::vector<uint8_t> frame;
    put24(frame, uint32_t(content.size()), 0xCB);
    frame.insert(frame.end(), content.begin(), content.end());
    return frame;
}

TEST(HapFormat, ChunkCountIsLargestDivisorOfBlockCount) {
    struct Case {
        HapTextureFormat format;
        size_t blocks;
        uint32_t requested;
        uint32_t expected;
    } cases[] = {
        {HapTextureFormat_RGB_DXT1, 100, 7, 5},       {HapTextureFormat_RGBA_DXT5, 40, 64, 40},
        {HapTextureFormat_A_RGTC1, 97, 8, 1},         {HapTextureFormat_YCoCg_DXT5, 480, 8, 8},
        {HapTextureFormat_RGBA_BPTC_UNORM, 30, 4, 3}, {HapTextureFormat_RGB_DXT1, 3355432 * 2, 4000000, 3355432 / 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.blocks);
        const size_t bytes = (c.format == HapTextureFormat_RGB_DXT1 || c.format == HapTextureFormat_A_RGTC1) ? 8 : 16;
        const uint64_t len = c.blocks * bytes;
        // The stored bound is length + 5d + 20.
        EXPECT_EQ(hap_max_texture_length(len, c.format, HapCompressorNone, c.requested), len + 5 * c.expected + 20);
        if (len / c.expected < 64 || len > (1u << 20)) continue;  // chunks too small for snappy to shrink
        const std::vector<uint8_t> tex(len, 0x11);
        const auto frame = encode1(tex, c.format, HapCompressorSnappy, c.requested);
        ASSERT_EQ(frame[3] >> 4, 0xC);
        uint32_t n = 0;
        ASSERT_EQ(hap_get_chunk_count(frame.data(), uint32_t(frame.size()), 0, &n), HapResult_No_Error);
        EXPECT_EQ(n, c.expected);
        std::vector<uint8_t> back;
        ASSERT_EQ(decode(frame, 0, tex.size(), &back), HapResult_No_Error);
        EXPECT_EQ(back, tex);
    }
}

TEST(HapFormat, RoundTripsEveryFormatAndCompressor) {
    const HapTextureFormat formats[] = {HapTextureFormat_RGB_DXT1, HapTextureFormat_RGBA_DXT5,
                                        HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1,
                                        HapTextureFormat_RGBA_BPTC_UNORM};
    for (HapTextureFormat f : formats)
        for (uint32_t comp : {HapCompressorNone, HapCompressorSnappy})
            for (uint32_t chunks : {1u, 3u, 16u})
                for (bool random : {false, true}) {
                    SCOPED_TRACE(testing::Message() << std::hex << f << std::dec << " comp " << comp << " chunks "
                                                    << chunks << " random " << random);
                    const auto tex = random ? noise(48 * 16) : compressible(48 * 16);
                    const auto frame = encode1(tex, f, comp, chunks);
                    ASSERT_LE(frame.size(), hap_max_texture_length(tex.size(), f, comp, chunks));
                    std::vector<uint8_t> back;
                    HapTextureFormat got = 0;
                    ASSERT_EQ(decode(frame, 0, tex.size(), &back, &got), HapResult_No_Error);
                    EXPECT_EQ(got, f);
                    EXPECT_EQ(back, tex);
                    // Noise never shrinks: stored raw, never chunked.
                    if (random || comp == HapCompressorNone) { EXPECT_EQ(frame[3] >> 4, 0xA); }
                }
}

TEST(HapFormat, IncompressibleChunksAreStoredRaw) {
    // Chunk 0 compressible, chunk 1 noise: the section stays chunked, chunk 1 is 0x0A.
    auto tex = compressible(256 * 8);
    const auto n = noise(128 * 8);
    std::copy(n.begin(), n.end(), tex.begin() + 128 * 8);
    const auto frame = encode1(tex, HapTextureFormat_RGB_DXT1, HapCompressorSnappy, 2);
    ASSERT_EQ(frame[3], 0xCB);
    // content: {18, 0x01} {2, 0x02} c0 c1 {8, 0x03} s0 s1
    EXPECT_EQ(frame[4], 5 * 2 + 8);
    EXPECT_EQ(frame[7], 0x01);
    EXPECT_EQ(frame[12], 0x0B);
    EXPECT_EQ(frame[13], 0x0A);
    uint32_t s1;
    std::memcpy(&s1, &frame[22], 4);
    EXPECT_EQ(s1, 128u * 8);
    std::vector<uint8_t> back;
    ASSERT_EQ(decode(frame, 0, tex.size(), &back), HapResult_No_Error);
    EXPECT_EQ(back, tex);
}

TEST(HapFormat, LongHeaderAtTwentyFourBitBoundary) {
    // 1048575 DXT5 blocks: length + 5d + 12 reaches 2^24, so snappy gets the long
    // header even when it falls back to raw storage; without snappy the short one.
    const size_t len = (1u << 24) - 16;
    for (bool random : {false, true})
        for (uint32_t comp : {HapCompressorNone, HapCompressorSnappy}) {
            SCOPED_TRACE(testing::Message() << "random " << random << " comp " << comp);
            const auto tex = random ? noise(len) : compressible(len);
            const auto frame = encode1(tex, HapTextureFormat_RGBA_DXT5, comp, 1);
            const bool long_form = comp == HapCompressorSnappy;
            if (long_form) {
                EXPECT_EQ(frame[0] | frame[1] | frame[2], 0);
            } else {
                EXPECT_EQ(frame[0] | frame[1] << 8 | frame[2] << 16, int(len));
            }
            EXPECT_EQ(frame[3] >> 4, (random || !long_form) ? 0xA : 0xC);
            std::vector<uint8_t> back;
            ASSERT_EQ(decode(frame, 0, len, &back), HapResult_No_Error);
            EXPECT_TRUE(back == tex);
        }
}

TEST(HapFormat, TwoTexturesNeedOneYCoCgAndOneRgtc1) {
    const auto a = compressible(64 * 16, 3), b = compressible(64 * 8, 4);
    struct Case {
        HapTextureFormat f0, f1;
        HapResult expected;
    } cases[] = {
        {HapTextureFormat_RGB_DXT1, HapTextureFormat_RGBA_DXT5, HapResult_Bad_Arguments},
        {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_YCoCg_DXT5, HapResult_Bad_Arguments},
        {HapTextureFormat_RGB_DXT1, HapTextureFormat_A_RGTC1, HapResult_Bad_Arguments},
        {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1, HapResult_No_Error},
        {HapTextureFormat_A_RGTC1, HapTextureFormat_YCoCg_DXT5, HapResult_No_Error},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.f0 << " " << c.f1);
        const bool first_big = c.f0 != HapTextureFormat_A_RGTC1 && c.f0 != HapTextureFormat_RGB_DXT1;
        const auto &t0 = first_big ? a : b;
        const auto &t1 = first_big ? b : a;
        const void *bufs[2] = {t0.data(), t1.data()};
        const uint64_t lens[2] = {t0.size(), t1.size()};
        const HapTextureFormat fmts[2] = {c.f0, c.f1};
        const uint32_t comps[2] = {HapCompressorSnappy, HapCompressorNone}, chunks[2] = {4, 2};
        const uint64_t cap = hap_max_encoded_length(2, lens, fmts, chunks);
        std::vector<uint8_t> out(cap);
        uint64_t used = 0;
        ASSERT_EQ(hap_encode(2, bufs, lens, fmts, comps, chunks, out.data(), cap, &used), c.expected);
        if (c.expected != HapResult_No_Error) continue;
        out.resize(used);
        EXPECT_EQ(out[3], 0x0D);
        uint32_t count = 0;
        ASSERT_EQ(hap_get_texture_count(out.data(), uint32_t(used), &count), HapResult_No_Error);
        EXPECT_EQ(count, 2u);
        for (uint32_t i = 0; i < 2; ++i) {
            std::vector<uint8_t> back;
            HapTextureFormat f;
            ASSERT_EQ(decode(out, i, lens[i], &back, &f), HapResult_No_Error);
            EXPECT_EQ(f, fmts[i]);
            EXPECT_EQ(back, i ? t1 : t0);
        }
        EXPECT_EQ(decode(out, 2, 1 << 20, nullptr), HapResult_Bad_Arguments);
    }
}

TEST(HapFormat, RefusesBadArguments) {
    const auto tex = compressible(64);
    const void *buf = tex.data();
    std::vector<uint8_t> out(1024);
    uint64_t used = 0;
    struct Case {
        const char *what;
        uint64_t length;
        HapTextureFormat format;
        uint32_t compressor, chunks;
        uint64_t capacity;
    } cases[] = {
        {"zero length", 0, HapTextureFormat_RGB_DXT1, 1, 1, 1024},
        {"zero chunks", 64, HapTextureFormat_RGB_DXT1, 1, 0, 1024},
        {"compressor 2", 64, HapTextureFormat_RGB_DXT1, 2, 1, 1024},
        {"zero capacity", 64, HapTextureFormat_RGB_DXT1, 1, 1, 0},
        {"unknown format", 64, 0x1234, 1, 1, 1024},
        {"partial block", 60, HapTextureFormat_RGB_DXT1, 1, 1, 1024},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hap_encode(1, &buf, &c.length, &c.format, &c.compressor, &c.chunks, out.data(), c.capacity, &used),
                  HapResult_Bad_Arguments);
    }
    const uint64_t len = 64;
    const HapTextureFormat f = HapTextureFormat_RGB_DXT1;
    const uint32_t comp = 0, chunks = 1;
    EXPECT_EQ(hap_encode(3, &buf, &len, &f, &comp, &chunks, out.data(), 1024, &used), HapResult_Bad_Arguments);
    EXPECT_EQ(hap_max_encoded_length(3, &len, &f, &chunks), 0u);
    const uint32_t zero = 0;
    EXPECT_EQ(hap_max_encoded_length(1, &len, &f, &zero), 0u);
}

TEST(HapFormat, EncodeNeverWritesPastCapacity) {
    // Exactly sized heap buffers: ASan reports any write beyond them.
    const auto big = compressible(128 * 16, 5), small = compressible(128 * 8, 6);
    const void *bufs[2] = {big.data(), small.data()};
    const uint64_t lens[2] = {big.size(), small.size()};
    const HapTextureFormat fmts[2] = {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1};
    const uint32_t comps[2] = {HapCompressorSnappy, HapCompressorSnappy}, chunks[2] = {8, 8};
    const uint64_t bound = hap_max_encoded_length(2, lens, fmts, chunks);
    for (uint64_t cap : {uint64_t(1), uint64_t(3), uint64_t(7), uint64_t(8), bound / 2, bound - 1, bound}) {
        SCOPED_TRACE(cap);
        std::unique_ptr<uint8_t[]> out(new uint8_t[cap]);
        uint64_t used = 12345;
        for (uint32_t count : {1u, 2u}) {
            const HapResult r = hap_encode(count, bufs, lens, fmts, comps, chunks, out.get(), cap, &used);
            // Each texture is checked against what is left, so two textures may fit
            // below the frame bound; never below 8 bytes, always at the bound.
            const uint64_t need = count == 2 ? bound : hap_max_encoded_length(1, lens, fmts, chunks) - 8;
            if (cap >= need) {
                EXPECT_EQ(r, HapResult_No_Error);
            } else if (count == 1 || cap < 8) {
                EXPECT_EQ(r, HapResult_Buffer_Too_Small);
            } else {
                EXPECT_TRUE(r == HapResult_No_Error || r == HapResult_Buffer_Too_Small) << r;
            }
            if (r == HapResult_No_Error) { EXPECT_LE(used, cap); }
        }
    }
}

TEST(HapFormat, OutputOneByteTooSmallDecodesNothing) {
    const auto tex = compressible(256 * 8);
    const auto stored = encode1(tex, HapTextureFormat_RGB_DXT1, HapCompressorNone, 1);
    const auto chunked = encode1(tex, HapTextureFormat_RGB_DXT1, HapCompressorSnappy, 4);
    // Whole-texture snappy is never written, only read: build one by hand.
    std::vector<uint8_t> whole;
    {
        std::vector<uint8_t> one = encode1(tex, HapTextureFormat_RGB_DXT1, HapCompressorSnappy, 1);
        ASSERT_EQ(one[3], 0xCB);
        // content = instructions (4 + 1 + 4 + 4 + 4 = 17 bytes) then one snappy chunk.
        std::vector<uint8_t> stream(one.begin() + 4 + 17, one.end());
        put24(whole, uint32_t(stream.size()), 0xBB);
        whole.insert(whole.end(), stream.begin(), stream.end());
    }
    const std::vector<uint8_t> *frames[] = {&stored, &whole, &chunked};
    for (const std::vector<uint8_t> *frame : frames) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[tex.size() - 1]);
        std::memset(out.get(), 0x5A, tex.size() - 1);
        uint64_t used = 77;
        HapTextureFormat f;
        EXPECT_EQ(hap_decode(frame->data(), uint32_t(frame->size()), 0, serial_for, nullptr, out.get(), tex.size() - 1,
                             &used, &f),
                  HapResult_Buffer_Too_Small);
        EXPECT_EQ(used, 77u);
        if (frame == &chunked) {
            for (size_t i = 0; i < tex.size() - 1; ++i) ASSERT_EQ(out[i], 0x5A);
        }
        std::vector<uint8_t> back;
        ASSERT_EQ(decode(*frame, 0, tex.size(), &back), HapResult_No_Error);
        EXPECT_EQ(back, tex);
    }
}

TEST(HapFormat, ParallelCallbackOnlyForSeveralChunks) {
    const auto tex = compressible(64 * 8);
    for (uint32_t chunks : {1u, 4u}) {
        const auto frame = encode1(tex, HapTextureFormat_RGB_DXT1, HapCompressorSnappy, chunks);
        std::vector<uint8_t> out(tex.size());
        int calls = 0;
        uint64_t used = 0;
        HapTextureFormat f;
        ASSERT_EQ(
            hap_decode(frame.data(), uint32_t(frame.size()), 0, reverse_for, &calls, out.data(), out.size(), &used, &f),
            HapResult_No_Error);
        EXPECT_EQ(calls, chunks > 1 ? 1 : 0);
        EXPECT_EQ(out, tex);
    }
}

TEST(HapFormat, ReadsHandMadeSections) {
    const auto raw = noise(32);
    struct Case {
        const char *what;
        std::vector<uint8_t> frame;
        uint32_t index;
        HapResult expected;
        size_t decoded;  // bytes on success
    };
    std::vector<Case> cases;
    {
        // Long header form with a small length reads like the short form.
        std::vector<uint8_t> f = {0, 0, 0, 0xAB};
        put32(f, 32);
        f.insert(f.end(), raw.begin(), raw.end());
        cases.push_back({"long form small length", f, 0, HapResult_No_Error, 32});
    }
    cases.push_back({"empty tables", chunked_frame({{}, {}, {}, true, {}}), 0, HapResult_No_Error, 0});
    cases.push_back(
        {"offset table", chunked_frame({{0x0A, 0x0A}, {16, 16}, {16, 0}, true, raw}), 0, HapResult_No_Error, 32});
    cases.push_back({"tables differ", chunked_frame({{0x0A, 0x0A}, {32}, {}, true, raw}), 0, HapResult_Bad_Frame, 0});
    cases.push_back({"no size table", chunked_frame({{0x0A}, {}, {}, false, raw}), 0, HapResult_Bad_Frame, 0});
    cases.push_back({"size table empty", chunked_frame({{0x0A, 0x0A}, {}, {}, true, raw}), 0, HapResult_Bad_Frame, 0});
    cases.push_back({"bad chunk compressor", chunked_frame({{0x0C}, {32}, {}, true, raw}), 0, HapResult_Bad_Frame, 0});
    cases.push_back(
        {"index 1 of one texture", chunked_frame({{0x0A}, {32}, {}, true, raw}), 1, HapResult_Bad_Arguments, 0});
    cases.push_back({"index 2", chunked_frame({{0x0A}, {32}, {}, true, raw}), 2, HapResult_Bad_Arguments, 0});
    {
        std::vector<uint8_t> f = {0, 0, 0, 0xAB, 4, 0, 0};
        cases.push_back({"long form in 7 bytes", f, 0, HapResult_Bad_Frame, 0});
    }
    {
        std::vector<uint8_t> f;
        put24(f, 33, 0xAB);
        f.insert(f.end(), raw.begin(), raw.end());
        cases.push_back({"section longer than frame", f, 0, HapResult_Bad_Frame, 0});
    }
    {
        std::vector<uint8_t> f;
        put24(f, 32, 0xA7);
        f.insert(f.end(), raw.begin(), raw.end());
        cases.push_back({"unknown format nibble", f, 0, HapResult_Bad_Frame, 0});
    }
    {
        // Lengths at the 24-bit boundary and near 2^32 in frames far shorter.
        std::vector<uint8_t> f = {0xFF, 0xFF, 0xFF, 0xAB};
        f.insert(f.end(), raw.begin(), raw.end());
        cases.push_back({"24-bit length 2^24 - 1", f, 0, HapResult_Bad_Frame, 0});
        for (uint32_t len : {1u << 24, 0xFFFFFFFFu, 0xFFFFFFF8u}) {
            std::vector<uint8_t> g = {0, 0, 0, 0xAB};
            put32(g, len);
            g.insert(g.end(), raw.begin(), raw.end());
            cases.push_back({"32-bit length past the frame", g, 0, HapResult_Bad_Frame, 0});
            std::vector<uint8_t> two = {0, 0, 0, 0x0D};
            put32(two, 8 + 32);
            two.insert(two.end(), g.begin(), g.end());
            cases.push_back({"texture inside a container past its end", two, 0, HapResult_Bad_Frame, 0});
        }
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> back;
        EXPECT_EQ(decode(c.frame, c.index, 64, &back), c.expected);
        if (c.expected == HapResult_No_Error) {
            EXPECT_EQ(back.size(), c.decoded);
            if (c.decoded == 32 && std::string(c.what) != "offset table") { EXPECT_EQ(back, raw); }
        }
    }
    // The offset table reorders the chunks.
    std::vector<uint8_t> back;
    ASSERT_EQ(decode(chunked_frame({{0x0A, 0x0A}, {16, 16}, {16, 0}, true, raw}), 0, 64, &back), HapResult_No_Error);
    EXPECT_TRUE(std::equal(raw.begin() + 16, raw.end(), back.begin()));
    EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 16, back.begin() + 16));
}

TEST(HapFormat, ChunksOutsideTheSectionAreBadFrames) {
    const auto raw = noise(32);
    struct Case {
        const char *what;
        ChunkedLayout layout;
    } cases[] = {
        {"sizes past the data", {{0x0A, 0x0A}, {16, 17}, {}, true, raw}},
        {"offset past the data", {{0x0A}, {16}, {17}, true, raw}},
        {"offset wraps 32 bits", {{0x0A}, {16}, {0xFFFFFFF8u}, true, raw}},
        {"size wraps 32 bits", {{0x0A, 0x0A}, {16, 0xFFFFFFF0u}, {}, true, raw}},
        {"huge snappy length", {{0x0B}, {5}, {}, true, {0xFF, 0xFF, 0xFF, 0xFF, 0x0F}}},
        {"snappy chunk past the data", {{0x0B, 0x0B}, {4, 40}, {}, true, raw}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const auto frame = chunked_frame(c.layout);
        const HapResult r = decode(frame, 0, 1 << 16, nullptr);
        EXPECT_TRUE(r == HapResult_Bad_Frame || r == HapResult_Buffer_Too_Small) << r;
    }
}

TEST(HapFormat, ChunkCountBoundedByTheChunkData) {
    // Every chunk takes at least one byte of the section's chunk data: a table of empty
    // chunks cannot make the decoder allocate jobs beyond what the section holds.
    const auto raw = noise(32);
    struct Case {
        const char *what;
        ChunkedLayout layout;
        HapResult expected;
    } cases[] = {
        {"4096 empty chunks, no data",
         {std::vector<uint8_t>(4096, 0x0A), std::vector<uint32_t>(4096, 0), {}, true, {}},
         HapResult_Bad_Frame},
        {"33 chunks over 32 bytes",
         {std::vector<uint8_t>(33, 0x0A), std::vector<uint32_t>(33, 1), {}, true, raw},
         HapResult_Bad_Frame},
        {"32 one-byte chunks",
         {std::vector<uint8_t>(32, 0x0A), std::vector<uint32_t>(32, 1), {}, true, raw},
         HapResult_No_Error},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const auto frame = chunked_frame(c.layout);
        std::vector<uint8_t> back;
        EXPECT_EQ(decode(frame, 0, 64, &back), c.expected);
        uint32_t count = 0;
        EXPECT_EQ(hap_get_chunk_count(frame.data(), uint32_t(frame.size()), 0, &count), c.expected);
        if (c.expected == HapResult_No_Error) {
            EXPECT_EQ(back, raw);
            EXPECT_EQ(count, 32u);
        }
    }
}

TEST(HapFormat, BadSnappyStreamIsABadFrame) {
    // A whole-texture snappy stream that snappy rejects is the frame's fault, as for chunks.
    const auto tex = compressible(64 * 8);
    std::vector<uint8_t> stream(snappy_max_compressed_length(tex.size()));
    size_t stream_length = stream.size();
    ASSERT_EQ(snappy_compress(reinterpret_cast<const char *>(tex.data()), tex.size(),
                              reinterpret_cast<char *>(stream.data()), &stream_length),
              SNAPPY_OK);
    std::vector<uint8_t> good;
    put24(good, uint32_t(stream_length), 0xBB);
    good.insert(good.end(), stream.begin(), stream.begin() + stream_length);
    struct Case {
        const char *what;
        std::vector<uint8_t> frame;
    };
    std::vector<Case> cases;
    {
        // A length varint that never ends.
        std::vector<uint8_t> f;
        put24(f, 6, 0xBB);
        f.insert(f.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        cases.push_back({"endless length", f});
    }
    {
        // The right length, then a copy from before the start.
        std::vector<uint8_t> f;
        put24(f, 4, 0xBB);
        f.insert(f.end(), {0x08, 0x05, 0x10, 0x00});
        cases.push_back({"copy before the start", f});
    }
    {
        std::vector<uint8_t> f(good.begin(), good.end() - 3);
        f[0] = uint8_t(f.size() - 4), f[1] = uint8_t((f.size() - 4) >> 8), f[2] = uint8_t((f.size() - 4) >> 16);
        cases.push_back({"stream cut short", f});
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decode(c.frame, 0, 1 << 16, nullptr), HapResult_Bad_Frame);
    }
    std::vector<uint8_t> back;
    EXPECT_EQ(decode(good, 0, tex.size(), &back), HapResult_No_Error);
    EXPECT_EQ(back, tex);
}

TEST(HapFormat, TruncatedAndCorruptedFramesNeverReadOutside) {
    // Every truncation and many single-byte corruptions of real frames, each decoded
    // from an exactly sized heap copy: only result codes, never an overrun.
    const auto big = compressible(96 * 16, 7), small = compressible(96 * 8, 8);
    const void *bufs[2] = {big.data(), small.data()};
    const uint64_t lens[2] = {big.size(), small.size()};
    const HapTextureFormat fmts[2] = {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1};
    const uint32_t comps[2] = {HapCompressorSnappy, HapCompressorSnappy}, chunks[2] = {6, 4};
    std::vector<uint8_t> frames[2];
    for (uint32_t count : {1u, 2u}) {
        std::vector<uint8_t> out(hap_max_encoded_length(count, lens, fmts, chunks));
        uint64_t used;
        ASSERT_EQ(hap_encode(count, bufs, lens, fmts, comps, chunks, out.data(), out.size(), &used),
                  HapResult_No_Error);
        out.resize(used);
        frames[count - 1] = out;
    }
    std::mt19937 rng(9);
    for (const auto &frame : frames) {
        for (size_t cut = 0; cut < frame.size(); ++cut) {
            std::vector<uint8_t> t(frame.begin(), frame.begin() + cut);
            for (uint32_t index : {0u, 1u}) EXPECT_NE(decode(t, index, 1 << 16, nullptr), HapResult_No_Error);
            uint32_t n;
            EXPECT_NE(hap_get_texture_count(t.data(), uint32_t(cut), &n), HapResult_No_Error) << cut;
        }
        for (int trial = 0; trial < 3000; ++trial) {
            std::vector<uint8_t> t = frame;
            const size_t at = rng() % std::min<size_t>(t.size(), 120);  // headers and tables
            t[at] = uint8_t(rng());
            for (uint32_t index : {0u, 1u}) {
                std::vector<uint8_t> back;
                decode(t, index, 1 << 16, &back);
                uint32_t n;
                HapTextureFormat f;
                hap_get_chunk_count(t.data(), uint32_t(t.size()), index, &n);
                hap_get_texture_format(t.data(), uint32_t(t.size()), index, &f);
            }
        }
    }
}

}  // namespace
