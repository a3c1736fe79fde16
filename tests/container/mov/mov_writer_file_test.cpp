// MOV files written by Mov_Writer_Video, read back by FFmpeg and GStreamer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_reader.h"
#include "container/mov/mov_writer_hl/mov_writer.h"
#include "container/mov/mov_writer_test_util.h"
#include "platform/core/errors.h"

using namespace mwtest;
using testutil::shell_quote;

namespace {

// HAP packets made by FFmpeg's encoder (snappy-compressed, so their sizes vary).
std::vector<std::vector<uint8_t>> ffmpeg_hap_packets(const testutil::TempDir &dir, const std::string &format,
                                                     int frames) {
    std::string ffmpeg = testutil::require_tool("ffmpeg");
    std::string ffprobe = testutil::require_tool("ffprobe");
    std::string src = dir.file("src_" + format + ".mov");
    auto r = run(ffmpeg + " -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v " + std::to_string(frames) +
                 " -c:v hap -format " + format + " " + shell_quote(src));
    EXPECT_EQ(r.status, 0) << r.output;
    auto sizes = testutil::run_command(ffprobe + " -v error -show_entries packet=size -of csv=p=0 " + shell_quote(src));
    std::string bin = dir.file("src_" + format + ".bin");
    r = run(ffmpeg + " -v error -y -i " + shell_quote(src) + " -map 0:v -c copy -f data " + shell_quote(bin));
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<uint8_t> all = testutil::read_file(bin);
    std::vector<std::vector<uint8_t>> out;
    size_t pos = 0;
    for (size_t start = 0; start < sizes.output.size();) {
        size_t nl = sizes.output.find('\n', start);
        std::string line = sizes.output.substr(start, nl - start);
        start = nl == std::string::npos ? sizes.output.size() : nl + 1;
        if (line.empty()) continue;
        size_t n = std::stoul(line);
        if (pos + n > all.size()) break;
        out.emplace_back(all.begin() + pos, all.begin() + pos + n);
        pos += n;
    }
    EXPECT_EQ(out.size(), size_t(frames));
    return out;
}

// Raw bytes of one stream, copied out by ffmpeg (no decoding, no conversion).
std::vector<uint8_t> stream_bytes(const testutil::TempDir &dir, const std::string &mov, const std::string &map) {
    std::string out = dir.file("stream.bin");
    unlink(out.c_str());
    auto r = run(testutil::require_tool("ffmpeg") + " -v error -y -i " + shell_quote(mov) + " -map " + map +
                 " -c copy -f data " + shell_quote(out));
    EXPECT_EQ(r.status, 0) << r.output;
    return testutil::read_file(out);
}

void expect_gstreamer_parses(const std::string &mov) {
    std::string gst = testutil::require_tool("gst-launch-1.0");
    auto r = run("GST_DEBUG=qtdemux:1 " + gst + " -q filesrc location=" + shell_quote(mov) +
                 " ! qtdemux name=d d. ! queue ! fakesink");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("ERROR"), std::string::npos) << r.output;
}

// Frames from the project's HAP packer: compressible textures (runs of equal
// blocks) split into 4 snappy chunks, so the sizes vary from frame to frame.
std::vector<std::vector<uint8_t>> packer_hap_frames(HapCodec codec, uint32_t w, uint32_t h, int frames) {
    const size_t blocks = size_t(w / 4) * (h / 4);
    const bool wide0 =
        codec == HapCodec_HAPA || codec == HapCodec_HAPQ || codec == HapCodec_HAPQA || codec == HapCodec_HAPR;
    std::vector<std::vector<uint8_t>> out;
    for (int f = 0; f < frames; f++) {
        auto make = [&](size_t block_bytes, uint32_t seed) {
            std::vector<uint8_t> t(blocks * block_bytes);
            auto pattern = random_bytes(block_bytes * 8, seed);
            for (size_t b = 0; b < blocks; b++)
                std::memcpy(&t[b * block_bytes], &pattern[((b / (f + 2)) % 8) * block_bytes], block_bytes);
            return t;
        };
        auto t0 = make(wide0 ? 16 : 8, 500 + f);
        auto t1 = make(8, 900 + f);
        HapFrame hf;
        hap_frame_init(&hf);
        hap_frame_alloc(&hf, w, h, codec, 4);
        hap_frame_encode(&hf, t0.data(), codec == HapCodec_HAPQA ? t1.data() : nullptr, uint32_t(t0.size()),
                         codec == HapCodec_HAPQA ? uint32_t(t1.size()) : 0, 4, HapCompressorSnappy);
        out.emplace_back(hf.buffer, hf.buffer + hf.encoded_length);
        hap_frame_free(&hf);
    }
    return out;
}

std::vector<uint8_t> concat(const std::vector<std::vector<uint8_t>> &frames) {
    std::vector<uint8_t> all;
    for (const auto &f : frames) all.insert(all.end(), f.begin(), f.end());
    return all;
}

}  // namespace

TEST(MovWriterFile, HeaderAndMdatSizeFrameTheSamples) {
    testutil::TempDir dir;
    std::string path = dir.file("one.mov");
    auto frame = random_bytes(1000, 1);
    {
        Mov_Writer_Video w(path.c_str(), 64, 48, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
        w.write_video_frame(frame.data(), 1000);
        w.close();
    }
    auto f = testutil::read_file(path);
    const uint8_t head[40] = {0, 0, 0, 32, 'f', 't', 'y', 'p', 'q', 't', ' ', ' ', 0x20, 5, 3, 0, 'q', 't', ' ', ' ',
                              0, 0, 0, 0,  0,   0,   0,   0,   0,   0,   0,   0,   0,    0, 0, 1, 'm', 'd', 'a', 't'};
    ASSERT_GT(f.size(), 1048u + 8);
    EXPECT_EQ(std::memcmp(f.data(), head, 40), 0);
    EXPECT_EQ(be64(&f[40]), 1016u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 48, f.begin() + 1048), frame);
    EXPECT_EQ(std::memcmp(&f[1048 + 4], "moov", 4), 0);
    EXPECT_EQ(1048 + be32(&f[1048]), f.size());
    auto gama = find_box(f, "moov/trak/mdia/minf/stbl/stsd/Hap1");
    ASSERT_TRUE(gama.found);
    EXPECT_EQ(gama.payload_size(), 110u);
    EXPECT_EQ(std::memcmp(&f[gama.payload_offset() + 78 + 4], "gama", 4), 0);
    EXPECT_EQ(std::memcmp(&f[gama.payload_offset() + 90 + 4], "pasp", 4), 0);
}

TEST(MovWriterFile, EveryHapCodecReadsBackWithFFmpegAndGStreamer) {
    testutil::TempDir dir;
    enum Source { kFFmpeg, kHandMade, kPacker };
    struct Case {
        const char *tag;
        uint8_t depth;
        Source source;
        const char *ffmpeg_format;
        HapCodec codec;
        const char *codec_name;
        bool decodable;  // FFmpeg 5.1 has no Hap7 decoder
    } cases[] = {
        {"Hap1", 24, kFFmpeg, "hap", HapCodec_HAP, "hap", true},
        {"Hap5", 32, kFFmpeg, "hap_alpha", HapCodec_HAPA, "hap", true},
        {"HapY", 24, kFFmpeg, "hap_q", HapCodec_HAPQ, "hap", true},
        {"HapM", 32, kHandMade, nullptr, HapCodec_HAPQA, "hap", true},
        {"HapA", 24, kHandMade, nullptr, HapCodec_HAPAlphaOnly, "hap", true},
        {"Hap7", 32, kHandMade, nullptr, HapCodec_HAPR, "unknown", false},
        {"Hap1", 24, kPacker, nullptr, HapCodec_HAP, "hap", true},
        {"Hap5", 32, kPacker, nullptr, HapCodec_HAPA, "hap", true},
        {"HapY", 24, kPacker, nullptr, HapCodec_HAPQ, "hap", true},
        {"HapM", 32, kPacker, nullptr, HapCodec_HAPQA, "hap", true},
        {"HapA", 24, kPacker, nullptr, HapCodec_HAPAlphaOnly, "hap", true},
        {"Hap7", 24, kPacker, nullptr, HapCodec_HAPR, "unknown", false},
    };
    const uint32_t w = 96, h = 64;
    const int frames = 12;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.tag) + (c.source == kFFmpeg ? " ffmpeg" : c.source == kPacker ? " packer" : ""));
        std::vector<std::vector<uint8_t>> samples;
        if (c.source == kFFmpeg)
            samples = ffmpeg_hap_packets(dir, c.ffmpeg_format, frames);
        else if (c.source == kPacker)
            samples = packer_hap_frames(c.codec, w, h, frames);
        else
            for (int i = 0; i < frames; i++) samples.push_back(make_hap_frame(c.tag, w, h, 100 + i));
        ASSERT_EQ(samples.size(), size_t(frames));

        std::string path = dir.file(std::string(c.tag) + ".mov");
        unlink(path.c_str());  // the writers never replace a file
        {
            Mov_Writer_Video wr(path.c_str(), w, h, c.depth, {30000, 1001}, 1.0f, c.tag, 0, false, 0, false);
            for (const auto &s : samples) wr.write_video_frame(s.data(), uint32_t(s.size()));
            wr.close();
        }
        std::string info =
            probe_stream(path, "v:0", "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames");
        EXPECT_NE(info.find(std::string("codec_name=") + c.codec_name + "\n"), std::string::npos) << info;
        EXPECT_NE(info.find(std::string("codec_tag_string=") + c.tag + "\n"), std::string::npos) << info;
        EXPECT_NE(info.find("width=96\nheight=64\n"), std::string::npos) << info;
        EXPECT_NE(info.find("r_frame_rate=30000/1001\n"), std::string::npos) << info;
        EXPECT_NE(info.find("nb_frames=12\n"), std::string::npos) << info;

        // Every sample comes back whole and in order.
        EXPECT_EQ(stream_bytes(dir, path, "0:v"), concat(samples));
        if (c.decodable) {
            auto r = run(testutil::require_tool("ffmpeg") + " -v error -i " + shell_quote(path) + " -f null -");
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.output, "");
        }
        expect_gstreamer_parses(path);
    }
}

namespace {

struct AudioCase {
    const char *name;
    ZRational rate;
    uint32_t frames;
    uint32_t tracks;
    uint32_t frequency;
    uint16_t bits;
    uint32_t channels;
    uint32_t layout;
    uint64_t written;       // sample frames given per track
    uint32_t block;         // sample frames per call
    bool interleave;        // audio calls between video frames instead of after them
    const char *codec;      // FFmpeg codec name
    uint64_t expect_count;  // sample frames indexed per track
};

std::vector<uint8_t> pcm_for(const AudioCase &c, uint32_t track) {
    return random_bytes(size_t(c.written) * c.channels * (c.bits / 8), 1000 + track);
}

}  // namespace

TEST(MovWriterFile, PcmTracksReadBackAsWrittenPlusSilence) {
    testutil::TempDir dir;
    const AudioCase cases[] = {
        {"stereo 16-bit, exact length", {25, 1}, 50, 1, 48000, 16, 2, 0, 96000, 1000, false, "pcm_s16le", 96000},
        {"5.1 24-bit at 29.97, short audio padded",
         {30000, 1001},
         45,
         1,
         48000,
         24,
         6,
         1,
         48000,
         777,
         false,
         "pcm_s24le",
         72072},
        {"two stereo 32-bit at 44.1k, long audio cut",
         {24, 1},
         30,
         2,
         44100,
         32,
         2,
         0,
         88200,
         4096,
         false,
         "pcm_s32le",
         55125},
        {"mono 16-bit, no audio given", {25, 1}, 7, 1, 44100, 16, 1, 0, 0, 1, false, "pcm_s16le", 12348},
        {"7.1 16-bit", {25, 1}, 30, 1, 48000, 16, 8, 4, 57600, 48000, false, "pcm_s16le", 57600},
        {"three mono 24-bit written between frames",
         {60000, 1001},
         100,
         3,
         48000,
         24,
         1,
         0,
         80080,
         801,
         true,
         "pcm_s24le",
         80080},
        {"8-bit pads with 0x80", {25, 1}, 20, 1, 48000, 8, 1, 0, 20000, 3000, false, "pcm_u8", 38400},
        {"stereo 24-bit at 44.1k, 23.976",
         {24000, 1001},
         48,
         1,
         44100,
         24,
         2,
         0,
         88288,
         10000,
         false,
         "pcm_s24le",
         88288},
    };
    for (const AudioCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("audio.mov");
        unlink(path.c_str());  // the writers never replace a file
        std::vector<std::vector<uint8_t>> pcm;
        for (uint32_t t = 0; t < c.tracks; t++) pcm.push_back(pcm_for(c, t));
        const size_t frame_bytes = size_t(c.channels) * (c.bits / 8);
        {
            Mov_Writer_Video w(path.c_str(), 64, 48, 24, c.rate, 1.0f, "Hap1", 0, false, 0, false);
            w.set_audio_tracks(c.tracks, c.frequency, c.bits, c.channels, false, c.layout);
            std::vector<uint64_t> done(c.tracks, 0);
            auto feed = [&](uint32_t t, uint64_t upto) {
                while (done[t] < upto) {
                    uint64_t n = std::min<uint64_t>(c.block, upto - done[t]);
                    w.write_audio_samples(pcm[t].data() + done[t] * frame_bytes, int64_t(n), t);
                    done[t] += n;
                }
            };
            for (uint32_t f = 0; f < c.frames; f++) {
                auto frame = make_hap_frame("Hap1", 64, 48, f);
                w.write_video_frame(frame.data(), uint32_t(frame.size()));
                if (c.interleave)
                    for (uint32_t t = 0; t < c.tracks; t++) feed(t, c.written * (f + 1) / c.frames);
            }
            for (uint32_t t = 0; t < c.tracks; t++) feed(t, c.written);
            w.close();
        }
        for (uint32_t t = 0; t < c.tracks; t++) {
            SCOPED_TRACE(t);
            std::string info = probe_stream(path, "a:" + std::to_string(t), "stream=codec_name,sample_rate,channels");
            EXPECT_EQ(info, std::string("codec_name=") + c.codec + "\nsample_rate=" + std::to_string(c.frequency) +
                                "\nchannels=" + std::to_string(c.channels) + "\n");
            std::vector<uint8_t> expect(size_t(c.expect_count) * frame_bytes, c.bits == 8 ? 0x80 : 0);
            size_t keep = std::min(expect.size(), pcm[t].size());
            std::copy(pcm[t].begin(), pcm[t].begin() + keep, expect.begin());
            auto got = stream_bytes(dir, path, "0:a:" + std::to_string(t));
            ASSERT_EQ(got.size(), expect.size());
            EXPECT_TRUE(got == expect);
        }
        expect_gstreamer_parses(path);
        auto r = run(testutil::require_tool("ffmpeg") + " -v error -i " + shell_quote(path) + " -map 0:a -f null -");
        EXPECT_EQ(r.output, "");
    }
}

TEST(MovWriterFile, AudioChunksAreReservedAheadOfTheVideo) {
    // 50 frames at 25/1 with stereo 16-bit 48 kHz: chunks before frames 0, 24 and 49;
    // the index uses two of them, the third stays unindexed. Two tracks share each chunk.
    struct Case {
        uint32_t tracks;
    } cases[] = {{1}, {2}};
    testutil::TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tracks);
        std::string path = dir.file("chunks.mov");
        unlink(path.c_str());  // the writers never replace a file
        const uint32_t frame_size = 1000;
        {
            Mov_Writer_Video w(path.c_str(), 64, 48, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
            w.set_audio_tracks(c.tracks, 48000, 16, 2, false, 0);
            auto frame = random_bytes(frame_size, 3);
            for (int i = 0; i < 50; i++) w.write_video_frame(frame.data(), frame_size);
            w.close();
        }
        auto f = testutil::read_file(path);
        const uint64_t chunk = 192000ull * c.tracks;
        auto vstco = payload_of(f, find_box(f, "moov/trak#1/mdia/minf/stbl/stco"));
        ASSERT_EQ(be32(&vstco[4]), 50u);
        EXPECT_EQ(be32(&vstco[8]), 48 + chunk);
        EXPECT_EQ(be32(&vstco[8 + 4 * 23]), 48 + chunk + 23 * frame_size);
        EXPECT_EQ(be32(&vstco[8 + 4 * 24]), 48 + 2 * chunk + 24 * frame_size);
        EXPECT_EQ(be32(&vstco[8 + 4 * 49]), 48 + 3 * chunk + 49 * frame_size);
        for (uint32_t t = 0; t < c.tracks; t++) {
            std::string trak = "moov/trak#" + std::to_string(t + 2) + "/mdia/minf/stbl/";
            auto stco = payload_of(f, find_box(f, trak + "stco"));
            ASSERT_EQ(be32(&stco[4]), 2u);
            EXPECT_EQ(be32(&stco[8]), 48 + 192000u * t);
            EXPECT_EQ(be32(&stco[12]), 48 + chunk + 24 * frame_size + 192000u * t);
            auto stsc = payload_of(f, find_box(f, trak + "stsc"));
            EXPECT_EQ(std::vector<uint8_t>(stsc.begin() + 4, stsc.end()),
                      (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0xBB, 0x80, 0, 0, 0, 1}));
            auto stsz = payload_of(f, find_box(f, trak + "stsz"));
            EXPECT_EQ(be32(&stsz[4]), 4u);
            EXPECT_EQ(be32(&stsz[8]), 96000u);
        }
        EXPECT_EQ(be64(&f[40]), 48 + 3 * chunk + 50 * frame_size - 32);
    }
}

TEST(MovWriterFile, TimecodeTrackShowsTheStartTimecode) {
    struct Case {
        ZRational rate;
        uint32_t start;
        bool drop;
        const char *timecode;  // null: no timecode track
    } cases[] = {
        {{25, 1}, 90000, false, "01:00:00:00"},
        {{30000, 1001}, 1800, true, "00:01:00;02"},
        {{30000, 1001}, 1800, false, "00:01:00:00"},
        {{60000, 1001}, 3600, true, "00:01:00;04"},
        {{24000, 1001}, 24 * 3661 + 5, true, "01:01:01:05"},
        {{50, 2}, 25 * 10, false, "00:00:10:00"},
        {{25000, 1001}, 100, false, nullptr},
    };
    testutil::TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den) + " " + std::to_string(c.start));
        std::string path = dir.file("tc.mov");
        unlink(path.c_str());  // the writers never replace a file
        {
            Mov_Writer_Video w(path.c_str(), 64, 48, 24, c.rate, 1.0f, "Hap1", 0, true, c.start, c.drop);
            w.set_audio_tracks(1, 48000, 16, 2, false, 0);
            for (int i = 0; i < 10; i++) {
                auto frame = make_hap_frame("Hap1", 64, 48, i);
                w.write_video_frame(frame.data(), uint32_t(frame.size()));
            }
            w.close();
        }
        auto f = testutil::read_file(path);
        // The 12-byte timecode mdat sits right before the moov, whatever the rate.
        Box moov = find_box(f, "moov");
        ASSERT_TRUE(moov.found);
        ASSERT_GE(moov.offset, 12u);
        EXPECT_EQ(std::vector<uint8_t>(f.begin() + moov.offset - 12, f.begin() + moov.offset - 4),
                  (std::vector<uint8_t>{0, 0, 0, 12, 'm', 'd', 'a', 't'}));
        EXPECT_EQ(be32(&f[moov.offset - 4]), c.start);
        std::string info = probe_stream(path, "d", "stream=codec_tag_string:stream_tags=timecode");
        if (!c.timecode) {
            EXPECT_EQ(info, "");
            continue;
        }
        EXPECT_EQ(info, std::string("codec_tag_string=tmcd\nTAG:timecode=") + c.timecode + "\n");
        // The timecode trak is last and referenced by the others.
        auto tref = payload_of(f, find_box(f, "moov/trak#2/tref/tmcd"));
        ASSERT_EQ(tref.size(), 4u);
        EXPECT_EQ(be32(tref.data()), 3u);
        expect_gstreamer_parses(path);
    }
}

TEST(MovWriterFile, MetadataAtomsLandInTheUserData) {
    testutil::TempDir dir;
    std::string path = dir.file("meta.mov");
    {
        Mov_Writer_Video w(path.c_str(), 1280, 720, 32, {25, 1}, 1.0f, "Hap5", 0, false, 0, false);
        MovUdtaMetadata m;
        m.is_set = 1;
        m.version = 7;  // not copied: the writer keeps version 1
        m.alpha_mode = 2;
        m.have_crop_box = 1;
        m.display_width = 1920, m.display_height = 1080, m.crop_x = 640, m.crop_y = 360;
        w.set_metadata(m);
        auto frame = make_hap_frame("Hap5", 1280, 720, 1);
        w.write_video_frame(frame.data(), uint32_t(frame.size()));
        w.close();
    }
    auto f = testutil::read_file(path);
    auto udta = payload_of(f, find_box(f, "moov/udta"));
    const std::vector<uint8_t> expect = {
        0, 0, 0, 28,   'Z', 'E', 'L', 'Q', 1,   0,   2,   1,   0x80, 7,   0,   0,   0x38, 4,   0,   0,   0x80,
        2, 0, 0, 0x68, 1,   0,   0,   0,   0,   0,   18,  'A', 'L',  'F', 'A', 0,   1,    0,   0,   0,   0,
        0, 0, 0, 0,    0,   0,   0,   17,  'Z', 'E', 'L', 'A', 's',  't', 'r', 'a', 'i',  'g', 'h', 't', 0};
    EXPECT_EQ(udta, expect);
    auto r = run(testutil::require_tool("ffmpeg") + " -v error -i " + shell_quote(path) + " -f null -");
    EXPECT_EQ(r.output, "");
}

TEST(MovWriterFile, ShortWritesThrowAtEveryStage) {
    // Each case cuts the file at a byte limit and names the call that must fail.
    enum Stage { kOpen, kFrame, kChunk, kFlush, kClose };
    struct Case {
        const char *name;
        uint64_t limit;
        Stage stage;
    } cases[] = {
        {"header", 20, kOpen},
        {"third frame", 48 + 192000 + 2 * 1000 + 500, kFrame},
        {"second reserved chunk", 48 + 192000 + 24 * 1000 + 1000, kChunk},
        {"moov", 48 + 3 * 192000 + 50 * 1000 + 100, kClose},
    };
    testutil::TempDir dir;
    auto frame = random_bytes(1000, 9);
    auto pcm = random_bytes(48000 * 4, 10);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file("short.mov");
        unlink(path.c_str());
        Stage failed = kOpen;
        std::string msg;
        {
            FileSizeLimit limit(c.limit);
            std::unique_ptr<Mov_Writer_Video> w;
            try {
                w = std::make_unique<Mov_Writer_Video>(path.c_str(), 64, 48, 24, ZRational{25, 1}, 1.0f, "Hap1", 0,
                                                       false, 0, false);
                w->set_audio_tracks(1, 48000, 16, 2, false, 0);
                for (int i = 0; i < 50; i++) {
                    failed = (i == 24 || i == 49) ? kChunk : kFrame;
                    w->write_video_frame(frame.data(), 1000);
                }
                failed = kFlush;
                w->write_audio_samples(pcm.data(), 48000, 0);
                failed = kClose;
                w->close();
                msg = "(nothing thrown)";
            } catch (const ProcessError &e) { msg = e.what(); }
        }
        EXPECT_EQ(msg, "Error file write");
        EXPECT_EQ(failed, c.stage);
    }
}

TEST(MovWriterFile, ATakenNameMovesToTheNextFreeOne) {
    // Never opens an existing entry: a file, a folder or a device keeps its bytes.
    testutil::TempDir dir;
    const std::string path = dir.file("clip.mov");
    testutil::write_file(path, "keep", 4);
    ASSERT_EQ(mkdir(dir.file("clip_1.mov").c_str(), 0755), 0);
    auto frame = make_hap_frame("Hap1", 8, 8, 1);
    {
        Mov_Writer_Video w(path.c_str(), 8, 8, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
        EXPECT_EQ(w.path(), dir.file("clip_2.mov"));
        w.write_video_frame(frame.data(), uint32_t(frame.size()));
        w.close();
    }
    EXPECT_EQ(testutil::read_file(path), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(probe_stream(dir.file("clip_2.mov"), "v:0", "stream=codec_tag_string,nb_frames"),
              "codec_tag_string=Hap1\nnb_frames=1\n");
    Mov_Writer_Video free_name(dir.file("other.mov").c_str(), 8, 8, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
    EXPECT_EQ(free_name.path(), dir.file("other.mov"));
}

TEST(MovWriterFile, MisuseIsRefusedWithTheWritersMessages) {
    testutil::TempDir dir;
    std::string path = dir.file("misuse.mov");
    auto frame = make_hap_frame("Hap1", 8, 8, 1);
    auto open = [&](ZRational rate = {25, 1}) {
        return std::make_unique<Mov_Writer_Video>(path.c_str(), 8, 8, 24, rate, 1.0f, "Hap1", 0, false, 0, false);
    };
    struct Case {
        const char *message;
        std::function<void()> fn;
    } cases[] = {
        {"STBL : Duration 0 for the file", [&] { open()->close(); }},
        {"Invalid file pointer",
         [&] {
             auto w = open();
             w->write_video_frame(frame.data(), uint32_t(frame.size()));
             w->close();
             w->write_video_frame(frame.data(), uint32_t(frame.size()));
         }},
        {"Invalid file pointer",
         [&] {
             auto w = open();
             w->write_video_frame(frame.data(), uint32_t(frame.size()));
             w->close();
             w->close();
         }},
        {"Set audio tracks call multiple times",
         [&] {
             auto w = open();
             w->set_audio_tracks(1, 48000, 16, 2, false, 0);
             w->set_audio_tracks(1, 48000, 16, 2, false, 0);
         }},
        {"Unsupported audio track count (max 64 supported)",
         [&] { open()->set_audio_tracks(65, 48000, 16, 2, false, 0); }},
        {"Invalid 0 frequency", [&] { open()->set_audio_tracks(1, 0, 16, 2, false, 0); }},
        {"Invalid 0 nb channels by track", [&] { open()->set_audio_tracks(1, 48000, 16, 0, false, 0); }},
        {"Unsupported audio quantif for float", [&] { open()->set_audio_tracks(1, 48000, 16, 2, true, 0); }},
        {"Unsupported audio quantif for integer", [&] { open()->set_audio_tracks(1, 48000, 12, 2, false, 0); }},
        {"Invalid frame rate for audio tracks",
         [&] {
             open({0, 1})->set_audio_tracks(1, 48000, 16, 2, false, 0);
         }},
        {"Invalid audio track index : 2 Nb Audio tracks (2)",
         [&] {
             auto w = open();
             w->set_audio_tracks(2, 48000, 16, 2, false, 0);
             w->write_audio_samples(frame.data(), 0, 5);  // nothing to write: no check
             w->write_audio_samples(frame.data(), 1, 2);
         }},
        {"Can't open NULL file",
         [&] {
             Mov_Writer_Video(nullptr, 8, 8, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(thrown_message(c.fn), c.message);
    }
    std::string missing = dir.file("no/such/dir.mov");
    std::string msg = thrown_message([&] {
        Mov_Writer_Video(missing.c_str(), 8, 8, 24, {25, 1}, 1.0f, "Hap1", 0, false, 0, false);
    });
    EXPECT_EQ(msg.rfind("Can't open file : " + missing + ". Error : 2. ", 0), 0u) << msg;

    // A close that fails leaves a file without "moov"; the destructor only closes it.
    {
        auto w = open();
        EXPECT_EQ(thrown_message([&] { w->close(); }), "STBL : Duration 0 for the file");
    }
    auto f = testutil::read_file(path);
    ASSERT_EQ(f.size(), 48u);
    EXPECT_EQ(be64(&f[40]), 16u);
}

TEST(MovWriterFile, SamplesPastFourGigabytesUseWideOffsets) {
    // A sparse file: one sample at 48, one past the 4 GiB mark, then the movie
    // built with the writer's atoms. Only a few kilobytes touch the disk.
    testutil::TempDir dir;
    std::string path = dir.file("wide.mov");
    auto s0 = make_hap_frame("Hap1", 16, 16, 1);
    auto s1 = make_hap_frame("Hap1", 16, 16, 2);
    const uint64_t far = 0x100000010ull;
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    uint8_t head[48] = {0, 0, 0, 32, 'f', 't', 'y', 'p', 'q', 't', ' ', ' ', 0x20, 5, 3, 0, 'q', 't', ' ', ' '};
    const uint64_t mdat_end = far + s1.size();
    const uint8_t mdat[16] = {0,
                              0,
                              0,
                              1,
                              'm',
                              'd',
                              'a',
                              't',
                              0,
                              0,
                              0,
                              uint8_t((mdat_end - 32) >> 32),
                              uint8_t((mdat_end - 32) >> 24),
                              uint8_t((mdat_end - 32) >> 16),
                              uint8_t((mdat_end - 32) >> 8),
                              uint8_t(mdat_end - 32)};
    std::memcpy(head + 32, mdat, 16);
    ASSERT_EQ(pwrite(fd, head, 48, 0), 48);
    ASSERT_EQ(pwrite(fd, s0.data(), s0.size(), 48), ssize_t(s0.size()));
    ASSERT_EQ(pwrite(fd, s1.data(), s1.size(), off_t(far)), ssize_t(s1.size()));
    Moov_Video_Writer moov({25, 1}, 0, 16, 16, 24, 1.0f, "Hap1", 2, {48, far},
                           {uint32_t(s0.size()), uint32_t(s1.size())}, false, 0, false, 0, 0, {GAMA_Writer(2, 0x3333)});
    std::vector<uint8_t> m(moov.get_atom_size(nullptr));
    moov.write_atom(m.data());
    ASSERT_EQ(pwrite(fd, m.data(), m.size(), off_t(mdat_end)), ssize_t(m.size()));
    ::close(fd);

    Box co = find_box(m, "moov/trak/mdia/minf/stbl/co64");
    ASSERT_TRUE(co.found);
    EXPECT_EQ(stream_bytes(dir, path, "0:v"), concat({s0, s1}));
    auto r = run(testutil::require_tool("ffmpeg") + " -v error -i " + shell_quote(path) + " -f null -");
    EXPECT_EQ(r.output, "");
}

TEST(MovWriterFile, TheProjectsReaderReadsWhatTheWriterWrote) {
    testutil::TempDir dir;
    std::string path = dir.file("both.mov");
    const uint32_t frames = 40, tracks = 2;
    const uint64_t written = 30000;  // per track: less than the 64064 that span the video
    std::vector<std::vector<uint8_t>> video;
    std::vector<std::vector<uint8_t>> pcm;
    for (uint32_t t = 0; t < tracks; t++) pcm.push_back(random_bytes(written * 6, 50 + t));
    {
        Mov_Writer_Video w(path.c_str(), 96, 64, 32, {30000, 1001}, 1.0f, "Hap5", 0, true, 1800, true);
        MovUdtaMetadata m;
        m.is_set = 1, m.alpha_mode = 2, m.have_crop_box = 1;
        m.display_width = 200, m.display_height = 100, m.crop_x = 104, m.crop_y = 36;
        w.set_metadata(m);
        w.set_audio_tracks(tracks, 48000, 24, 2, false, 0);
        for (uint32_t f = 0; f < frames; f++) {
            video.push_back(make_hap_frame("Hap5", 96, 64, 300 + f));
            video.back().resize(video.back().size() - f);  // sizes differ
            w.write_video_frame(video.back().data(), uint32_t(video.back().size()));
        }
        for (uint32_t t = 0; t < tracks; t++) w.write_audio_samples(pcm[t].data(), int64_t(written), t);
        w.close();
    }
    MovReader r;
    mov_reader_init(&r);
    MovReaderParams params;
    params.path = path.c_str();
    mov_reader_open(&r, &params);
    EXPECT_EQ(r.nb_video_tracks, 1u);
    EXPECT_EQ(r.width, 96u);
    EXPECT_EQ(r.height, 64u);
    EXPECT_EQ(r.fps_rational.num, 30000u);
    EXPECT_EQ(r.fps_rational.den, 1001u);
    EXPECT_EQ(r.nb_frames, frames);
    EXPECT_EQ(r.codec, 0x48617035u);  // "Hap5"
    EXPECT_EQ(r.depth, 32);
    EXPECT_EQ(r.warning_flags, 0u);
    auto bytes = testutil::read_file(path);
    for (uint32_t f = 0; f < std::min(frames, r.nb_frames); f++) {
        ASSERT_EQ(r.seek_table[f].size, video[f].size());
        EXPECT_TRUE(std::equal(video[f].begin(), video[f].end(), bytes.begin() + r.seek_table[f].offset)) << f;
    }
    EXPECT_TRUE(r.have_timecode);
    EXPECT_EQ(r.tc_start_frame, 1800u);
    EXPECT_EQ(r.tc_flags & 1, 1u);
    EXPECT_EQ(r.alfa_alpha_mode, 3u);
    EXPECT_TRUE(r.meta_set);
    EXPECT_EQ(r.meta_alpha_mode, 2);
    EXPECT_EQ(r.meta_have_crop, 1);
    EXPECT_EQ(r.meta_display_w, 200u);
    EXPECT_EQ(r.meta_display_h, 100u);
    EXPECT_EQ(r.meta_crop_x, 104u);
    EXPECT_EQ(r.meta_crop_y, 36u);
    ASSERT_EQ(r.nb_audio_tracks, tracks);
    const uint64_t span = 64064;  // 40 frames at 29.97 of 48 kHz
    for (uint32_t t = 0; t < tracks; t++) {
        SCOPED_TRACE(t);
        const MovAudioTrack &a = r.audio_tracks[t];
        EXPECT_EQ(a.track_id, t + 2);
        EXPECT_EQ(a.channels, 2u);
        EXPECT_EQ(a.sample_rate, 48000u);
        EXPECT_EQ(a.bits_per_sample, 24u);
        EXPECT_EQ(a.nb_samples, span);
        std::vector<uint8_t> got(span * 6, 0xEE);
        EXPECT_EQ(mov_reader_read_audio(&r, got.data(), t, 0, span), span);
        std::vector<uint8_t> expect(span * 6, 0);
        std::copy(pcm[t].begin(), pcm[t].end(), expect.begin());
        EXPECT_TRUE(got == expect);
    }
    mov_reader_close(&r);
}
