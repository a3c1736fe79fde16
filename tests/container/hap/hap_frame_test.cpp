// HapFrame and the HAP encode and decode nodes.
#include "container/hap/hap_frame.h"
#include "container/hap/hap_test_clips.h"
#include "container/node_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace {

using nodetest::Filter;
using nodetest::run_node;

std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i / 48) * 5 + (rng() % 8 == 0 ? rng() : 0));
    return v;
}

struct Frame {
    VideoFrame *v = video_frame_new();
    ~Frame() { video_frame_destroy(&v); }
};

// Texture frame for a codec, filled with compressible data.
void fill_textures(VideoFrame *v, uint32_t w, uint32_t h, VideoFrameDataDescriptor desc, uint32_t seed) {
    video_frame_alloc_dxt(v, w, h, desc);
    for (uint32_t p = 0; p < v->nb_planes; ++p) {
        auto bytes = pattern(v->data_size[p], seed + p);
        std::memcpy(v->data[p], bytes.data(), bytes.size());
    }
}

// HAP frame bytes of one codec made through the encode node.
std::vector<uint8_t> encode_frame(HapCodec codec, uint32_t w, uint32_t h, uint32_t chunks, uint32_t seed,
                                  Frame *textures = nullptr) {
    Frame local;
    Frame *t = textures ? textures : &local;
    fill_textures(t->v, w, h, VideoFrameDataDescriptor(uint32_t(VideoFrameDxtData_HAP) + codec), seed);
    Filter enc(create_filter_hap_frame_encode({codec, w, h, chunks, HapCompressorSnappy}));
    EXPECT_EQ(run_node(enc.f, t->v), "");
    return std::vector<uint8_t>(enc.f->output->data[0], enc.f->output->data[0] + enc.f->output->data_size[0]);
}

void set_sample(VideoFrame *v, std::vector<uint8_t> &bytes, uint32_t index = 0) {
    video_frame_set_compressed_data(v, bytes.data(), uint32_t(bytes.size()), VideoFrameHapData);
    v->frame_index = index;
}

TEST(HapFrame, ResultNamesAndSizeLimits) {
    const char *names[] = {"HapResult_No_Error",  "HapResult_Bad_Arguments",  "HapResult_Buffer_Too_Small",
                           "HapResult_Bad_Frame", "HapResult_Internal_Error", "HapResult : Error unknown"};
    for (uint32_t r : {0u, 1u, 2u, 3u, 4u, 7u}) EXPECT_STREQ(hap_result_to_string(r), names[std::min(r, 5u)]);

    struct Case {
        uint32_t w, h, codec;
        const char *error;
    } cases[] = {
        {61440, 61440, HapCodec_HAPR, "Data size hap frame > UINT32_MAX"},
        {64, 64, 6, "Unknown codec"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        try {
            hap_get_max_frame_size(c.w, c.h, HapCodec(c.codec), 1);
            ADD_FAILURE() << "no throw";
        } catch (const std::exception &e) { EXPECT_STREQ(e.what(), c.error); }
    }
    // 1920 x 1080 HAP Q Alpha: both textures with their snappy bounds.
    EXPECT_GT(hap_get_max_frame_size(1920, 1080, HapCodec_HAPQA, 8), 1920u * 1080 * 3 / 2);
}

TEST(HapFrame, EncodeNodeChunkSettings) {
    // 200 x 100 DXT1: 1250 blocks. 0 chunks: stored raw whatever the compressor;
    // 100: 64 asked, lowered to 50 (largest divisor of 1250 up to 64).
    struct Case {
        uint32_t chunks;
        uint32_t nibble;
        uint32_t stored_chunks;
    } cases[] = {{0, 0xA, 1}, {1, 0xC, 1}, {7, 0xC, 5}, {100, 0xC, 50}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chunks);
        auto bytes = encode_frame(HapCodec_HAP, 200, 100, c.chunks, 3);
        EXPECT_EQ(bytes[3] >> 4, c.nibble);
        HapFrame f;
        hap_frame_init(&f);
        hap_frame_set_data(&f, 200, 100, bytes.data(), uint32_t(bytes.size()));
        EXPECT_EQ(f.chunk_counts[0], c.stored_chunks);
        EXPECT_EQ(f.codec, HapCodec_HAP);
        hap_frame_free(&f);  // borrowed: must not free the vector's bytes
        EXPECT_EQ(f.buffer, nullptr);
    }
}

TEST(HapFrame, NodesRoundTripEveryCodec) {
    for (uint32_t codec = 0; codec <= 5; ++codec)
        for (uint8_t parallel : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "codec " << codec << " parallel " << int(parallel));
            const uint32_t w = 1920 / 4 + 6, h = 270 / 2 + 3;  // partial edge blocks
            Frame tex;
            auto bytes = encode_frame(HapCodec(codec), w, h, 8, 10 + codec, &tex);
            Frame sample;
            set_sample(sample.v, bytes, 42);
            Filter dec(create_filter_hap_frame_decode({HapCodec(codec), w, h, 0, parallel}));
            ASSERT_EQ(run_node(dec.f, sample.v), "");
            const VideoFrame *out = dec.f->output;
            EXPECT_EQ(out->frame_index, 42u);
            EXPECT_EQ(out->error_flags, 0u);
            EXPECT_EQ(out->data_descriptor, VideoFrameDxtData_HAP + codec);
            ASSERT_EQ(out->nb_planes, tex.v->nb_planes);
            for (uint32_t p = 0; p < out->nb_planes; ++p) {
                ASSERT_EQ(out->data_size[p], tex.v->data_size[p]);
                EXPECT_EQ(std::memcmp(out->data[p], tex.v->data[p], out->data_size[p]), 0) << p;
            }
            EXPECT_STREQ(dec.f->message, "");
        }
}

TEST(HapFrame, QAlphaTextureChoice) {
    Frame tex;
    auto bytes = encode_frame(HapCodec_HAPQA, 64, 32, 4, 20, &tex);
    struct Case {
        uint32_t choice;
        VideoFrameDataDescriptor desc;
        uint32_t source_plane;
    } cases[] = {
        {1, VideoFrameDxtData_HAPQ, 0}, {2, VideoFrameDxtData_HAPAlphaOnly, 1}, {9, VideoFrameDxtData_HAPAlphaOnly, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.choice);
        Frame sample;
        set_sample(sample.v, bytes);
        Filter dec(create_filter_hap_frame_decode({HapCodec_HAPQA, 64, 32, c.choice, 0}));
        ASSERT_EQ(run_node(dec.f, sample.v), "");
        const VideoFrame *out = dec.f->output;
        EXPECT_EQ(out->data_descriptor, c.desc);
        ASSERT_EQ(out->nb_planes, 1u);
        ASSERT_EQ(out->data_size[0], tex.v->data_size[c.source_plane]);
        EXPECT_EQ(std::memcmp(out->data[0], tex.v->data[c.source_plane], out->data_size[0]), 0);
    }
}

TEST(HapFrame, DecodeNodeRefusesWrongFrames) {
    auto hap = encode_frame(HapCodec_HAP, 64, 32, 4, 30);
    auto hapq = encode_frame(HapCodec_HAPQ, 64, 32, 4, 31);
    // Two textures whose first is RGBA DXT5: build the container by hand.
    std::vector<uint8_t> two;
    {
        auto a = encode_frame(HapCodec_HAPA, 64, 32, 1, 32);
        auto b = encode_frame(HapCodec_HAPAlphaOnly, 64, 32, 1, 33);
        const uint32_t len = uint32_t(a.size() + b.size());
        two = {uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16), 0x0D};
        two.insert(two.end(), a.begin(), a.end());
        two.insert(two.end(), b.begin(), b.end());
    }
    auto corrupt = hap;
    corrupt.back() ^= 0xFF;  // inside the last snappy chunk or stored data
    corrupt[4 + 8] = 0x0C;   // first chunk compressor byte: not 0x0A or 0x0B
    auto truncated = std::vector<uint8_t>(hap.begin(), hap.begin() + hap.size() / 2);
    std::vector<uint8_t> empty;

    struct Case {
        const char *what;
        HapCodec node_codec;
        std::vector<uint8_t> *bytes;
        VideoFrameDataDescriptor desc;
        const char *error;
        uint32_t flags;
    } cases[] = {
        {"other codec", HapCodec_HAP, &hapq, VideoFrameHapData, "Decoding error : corrupt frame (codec)", 0x04},
        {"texture count", HapCodec_HAPQA, &hap, VideoFrameHapData, "Decoding error : corrupt frame (textures count)",
         0x04},
        {"first of two not YCoCg", HapCodec_HAPQA, &two, VideoFrameHapData, "Decoding error : corrupt frame (header)",
         0x02},
        {"truncated", HapCodec_HAP, &truncated, VideoFrameHapData, "Decoding error : corrupt frame (header)", 0x02},
        {"bad chunk", HapCodec_HAP, &corrupt, VideoFrameHapData, "Fail to decode hap frame", 0x02},
        {"empty sample", HapCodec_HAP, &empty, VideoFrameHapData, "Decoding error : invalid frame", 0x20},
        {"not a HAP sample", HapCodec_HAP, &hap, VideoFrameProresData, "Invalid data descriptor hap decode", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Frame sample;
        video_frame_set_compressed_data(sample.v, c.bytes->data(), uint32_t(c.bytes->size()), c.desc);
        Filter dec(create_filter_hap_frame_decode({c.node_codec, 64, 32, 0, 0}));
        dec.f->output->error_flags = 0;
        EXPECT_EQ(run_node(dec.f, sample.v), c.error);
        EXPECT_EQ(dec.f->output->error_flags, c.flags);
    }
    Filter dec(create_filter_hap_frame_decode({HapCodec_HAP, 64, 32, 0, 0}));
    EXPECT_EQ(run_node(dec.f, nullptr), "Invalid inputs");
    try {
        create_filter_hap_frame_decode({HapCodec(6), 64, 32, 0, 0});
        ADD_FAILURE();
    } catch (const std::exception &e) { EXPECT_STREQ(e.what(), "Invalid codec"); }
}

TEST(HapFrame, ShortTextureMarksFrameCorruptWithoutThrowing) {
    // A 64 x 32 frame fed to a node set up for 64 x 64: half the plane decodes.
    auto small = encode_frame(HapCodec_HAPA, 64, 32, 2, 40);
    auto right = encode_frame(HapCodec_HAPA, 64, 64, 2, 41);
    Filter dec(create_filter_hap_frame_decode({HapCodec_HAPA, 64, 64, 0, 0}));
    Frame sample;
    set_sample(sample.v, small, 5);
    EXPECT_EQ(run_node(dec.f, sample.v), "");
    EXPECT_STREQ(dec.f->message, "Corrupt hap frame");
    EXPECT_EQ(dec.f->output->error_flags, 0x02u);
    EXPECT_EQ(dec.f->output->frame_index, 5u);
    // A larger texture than the plane is refused before anything is written.
    Filter dec_small(create_filter_hap_frame_decode({HapCodec_HAPA, 64, 32, 0, 0}));
    set_sample(sample.v, right);
    EXPECT_EQ(run_node(dec_small.f, sample.v), "Fail to decode hap frame");
    // The next good frame is clean again.
    set_sample(sample.v, right, 6);
    EXPECT_EQ(run_node(dec.f, sample.v), "");
    EXPECT_STREQ(dec.f->message, "");
    EXPECT_EQ(dec.f->output->error_flags, 0u);
}

TEST(HapFrame, ShortTextureLeavesNoBlocksOfThePreviousFrame) {
    // The half the short frame does not cover is zero, not the previous frame's blocks.
    auto right = encode_frame(HapCodec_HAPA, 64, 64, 2, 42);
    auto small = encode_frame(HapCodec_HAPA, 64, 32, 2, 43);
    Filter dec(create_filter_hap_frame_decode({HapCodec_HAPA, 64, 64, 0, 0}));
    Frame sample;
    set_sample(sample.v, right, 1);
    ASSERT_EQ(run_node(dec.f, sample.v), "");
    const VideoFrame *out = dec.f->output;
    const uint32_t half = out->data_size[0] / 2;
    auto nonzero_tail = [&] {
        return std::count_if(out->data[0] + half, out->data[0] + 2 * half, [](uint8_t b) { return b != 0; });
    };
    ASSERT_GT(nonzero_tail(), 0);
    set_sample(sample.v, small, 2);
    ASSERT_EQ(run_node(dec.f, sample.v), "");
    EXPECT_STREQ(dec.f->message, "Corrupt hap frame");
    Frame textures;
    encode_frame(HapCodec_HAPA, 64, 32, 2, 43, &textures);
    EXPECT_EQ(std::memcmp(out->data[0], textures.v->data[0], half), 0);
    EXPECT_EQ(nonzero_tail(), 0);
}

TEST(HapFrame, ReadFromFileReusesOrFreesItsBuffer) {
    testutil::TempDir dir;
    auto big = encode_frame(HapCodec_HAPQA, 64, 32, 4, 60);
    auto small = encode_frame(HapCodec_HAPA, 16, 16, 1, 61);
    std::vector<uint8_t> file = big;
    file.insert(file.end(), small.begin(), small.end());
    testutil::write_file(dir.file("f.bin"), file);
    FILE *fp = fopen(dir.file("f.bin").c_str(), "rb");
    ASSERT_TRUE(fp);
    HapFrame f;
    hap_frame_init(&f);
    // A borrowed buffer is left to its owner.
    std::vector<uint8_t> borrowed = small;
    hap_frame_set_data(&f, 16, 16, borrowed.data(), uint32_t(borrowed.size()));
    hap_frame_read_from_file(&f, 16, 16, fp, big.size(), uint32_t(small.size()));
    EXPECT_NE(f.buffer, borrowed.data());
    EXPECT_EQ(borrowed, small);
    EXPECT_EQ(f.owns_buffer, 1);
    EXPECT_EQ(f.codec, HapCodec_HAPA);
    // An owned buffer is freed when too small (AddressSanitizer sees a leak otherwise)
    // and reused when large enough.
    hap_frame_read_from_file(&f, 64, 32, fp, 0, uint32_t(big.size()));
    const uint8_t *owned = f.buffer;
    EXPECT_EQ(f.codec, HapCodec_HAPQA);
    hap_frame_read_from_file(&f, 16, 16, fp, big.size(), uint32_t(small.size()));
    EXPECT_EQ(f.buffer, owned);
    EXPECT_EQ(f.capacity, small.size());
    EXPECT_EQ(f.codec, HapCodec_HAPA);
    // The capacity is now the small frame's: the large one takes a new buffer again.
    hap_frame_read_from_file(&f, 64, 32, fp, 0, uint32_t(big.size()));
    EXPECT_EQ(f.capacity, big.size());
    EXPECT_EQ(f.codec, HapCodec_HAPQA);
    hap_frame_free(&f);
    fclose(fp);
}

TEST(HapFrame, ReadFromFile) {
    testutil::TempDir dir;
    auto bytes = encode_frame(HapCodec_HAPQA, 64, 32, 4, 50);
    std::vector<uint8_t> file(100, 0xEE);
    file.insert(file.end(), bytes.begin(), bytes.end());
    testutil::write_file(dir.file("f.bin"), file);
    FILE *fp = fopen(dir.file("f.bin").c_str(), "rb");
    ASSERT_TRUE(fp);
    struct Case {
        uint64_t offset;
        uint32_t length;
        const char *error;
    } cases[] = {
        {100, uint32_t(bytes.size()), ""},
        {9223372036854775807ull, 16,
         "Seek from start error (offset > LONG_MAX) : 9223372036854775807. LONG_MAX : 9223372036854775807. "},
        {100, uint32_t(bytes.size()) + 1, "File read error"},
        {0, uint32_t(bytes.size()), "HapResult_Bad_Frame"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error);
        HapFrame f;
        hap_frame_init(&f);
        std::string err;
        try {
            hap_frame_read_from_file(&f, 64, 32, fp, c.offset, c.length);
        } catch (const std::exception &e) { err = e.what(); }
        EXPECT_EQ(err, c.error);
        EXPECT_NE(f.buffer, nullptr);  // kept for the caller to free
        if (err.empty()) {
            EXPECT_EQ(f.codec, HapCodec_HAPQA);
            EXPECT_EQ(f.texture_count, 2);
            EXPECT_EQ(f.chunk_counts[0], 4u);
            EXPECT_EQ(f.chunk_counts[1], 4u);
        }
        hap_frame_free(&f);
    }
    fclose(fp);
}

TEST(HapFrame, FfmpegFramesThroughTheDecodeNode) {
    struct Case {
        const char *format;
        HapCodec codec;
    } cases[] = {{"hap", HapCodec_HAP}, {"hap_alpha", HapCodec_HAPA}, {"hap_q", HapCodec_HAPQ}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        const auto &clip = haptest::ffmpeg_hap_clip(c.format, 192, 108);
        ASSERT_TRUE(clip.ok);
        Filter dec(create_filter_hap_frame_decode({c.codec, 192, 108, 0, 1}));
        Filter enc(create_filter_hap_frame_encode({c.codec, 192, 108, 8, HapCompressorSnappy}));
        Filter dec2(create_filter_hap_frame_decode({c.codec, 192, 108, 0, 0}));
        for (const auto &frame : clip.frames) {
            auto bytes = frame;
            Frame sample;
            set_sample(sample.v, bytes);
            ASSERT_EQ(run_node(dec.f, sample.v), "");
            EXPECT_STREQ(dec.f->message, "");
            ASSERT_EQ(run_node(enc.f, dec.f->output), "");
            ASSERT_EQ(run_node(dec2.f, enc.f->output), "");
            EXPECT_EQ(std::memcmp(dec.f->output->data[0], dec2.f->output->data[0], dec.f->output->data_size[0]), 0);
        }
    }
}

}  // namespace
