// Files of our own MOV writer read back: every HAP code, crop box and alpha user data,
// PCM tracks and the timecode.
#include <gtest/gtest.h>

#include <cstring>

#include "container/mov/mov_reader.h"
#include "container/mov/mov_writer_hl/mov_writer.h"
#include "container/mov/mov_reader_fixtures.h"

namespace {

struct Reader {
    MovReader r;
    Reader() { mov_reader_init(&r); }
    ~Reader() { mov_reader_close(&r); }
};

std::vector<uint8_t> sample(uint32_t i) { return std::vector<uint8_t>(100 + 37 * i, uint8_t(i * 13 + 1)); }

TEST(MovReaderRoundTrip, VideoCodesAndUserData) {
    struct Case {
        const char *tag;
        uint8_t depth;
        MovUdtaMetadata meta;
        uint32_t alfa;
    } cases[] = {
        {"Hap1", 24, {1, 1, 0, 1, 1920, 1080, 640, 360}, 0}, {"Hap5", 32, {1, 1, 1, 0, 0, 0, 0, 0}, 2},
        {"HapY", 24, {0, 1, 0, 0, 0, 0, 0, 0}, 0},           {"HapM", 32, {1, 1, 2, 0, 0, 0, 0, 0}, 3},
        {"HapA", 24, {1, 1, 0, 1, 640, 480, 0, 0}, 0},       {"Hap7", 32, {1, 1, 1, 1, 2000, 1000, 10, 20}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tag);
        testutil::TempDir dir;
        std::string path = dir.file("own.mov");
        {
            Mov_Writer_Video w(path.c_str(), 64, 48, c.depth, {30000, 1001}, 1.0f, c.tag, 0, false, 0, false);
            w.set_metadata(c.meta);
            for (uint32_t i = 0; i < 9; i++) {
                auto s = sample(i);
                w.write_video_frame(s.data(), uint32_t(s.size()));
            }
            w.close();
        }
        Reader h;
        MovReaderParams p;
        p.path = path.c_str();
        ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
        EXPECT_EQ(h.r.codec, (uint32_t(uint8_t(c.tag[0])) << 24) | (uint32_t(uint8_t(c.tag[1])) << 16) |
                                 (uint32_t(uint8_t(c.tag[2])) << 8) | uint8_t(c.tag[3]));
        EXPECT_TRUE(h.r.video_codec_supported);
        EXPECT_EQ(h.r.depth, c.depth);
        EXPECT_EQ(h.r.width, 64u);
        EXPECT_EQ(h.r.fps_rational.num, 30000u);
        EXPECT_EQ(h.r.fps_rational.den, 1001u);
        ASSERT_EQ(h.r.nb_frames, 9u);
        auto bytes = testutil::read_file(path);
        for (uint32_t i = 0; i < 9; i++) {
            auto s = sample(i);
            ASSERT_EQ(h.r.seek_table[i].size, s.size());
            EXPECT_EQ(std::memcmp(bytes.data() + h.r.seek_table[i].offset, s.data(), s.size()), 0);
        }
        EXPECT_EQ(h.r.meta_set, c.meta.is_set != 0);
        if (c.meta.is_set) {
            EXPECT_EQ(h.r.meta_version, 1u);
            EXPECT_EQ(h.r.meta_alpha_mode, c.meta.alpha_mode);
            EXPECT_EQ(h.r.meta_have_crop, c.meta.have_crop_box);
            EXPECT_EQ(h.r.meta_display_w, c.meta.display_width);
            EXPECT_EQ(h.r.meta_display_h, c.meta.display_height);
            EXPECT_EQ(h.r.meta_crop_x, c.meta.crop_x);
            EXPECT_EQ(h.r.meta_crop_y, c.meta.crop_y);
        }
        EXPECT_EQ(h.r.alfa_alpha_mode, c.alfa);
        EXPECT_EQ(h.r.warning_flags, 0u);
    }
}

TEST(MovReaderRoundTrip, AudioTracksAndTimecode) {
    struct Case {
        uint32_t tracks, channels, bits, layout;
        bool is_float;
        AudioSampleFormat format;
    } cases[] = {
        {2, 2, 24, 0, false, AudioSampleFormat_S24LE},
        {1, 6, 16, 1, false, AudioSampleFormat_S16LE},
        {1, 2, 32, 0, true, AudioSampleFormat_F32LE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.channels);
        testutil::TempDir dir;
        std::string path = dir.file("own.mov");
        const uint32_t frame_bytes = c.channels * c.bits / 8;
        const uint32_t frames = 60, rate = 48000;
        const uint64_t total = uint64_t(frames) * rate / 25;  // 2.4 s of audio per track
        std::vector<std::vector<uint8_t>> pcm(c.tracks);
        for (uint32_t t = 0; t < c.tracks; t++) {
            pcm[t].resize(total * frame_bytes);
            for (size_t i = 0; i < pcm[t].size(); i++) pcm[t][i] = uint8_t(i * 7 + t * 3 + i / 251);
        }
        {
            Mov_Writer_Video w(path.c_str(), 64, 48, 24, {25, 1}, 1.0f, "Hap1", 0, true, 90000, false);
            w.set_audio_tracks(c.tracks, rate, uint16_t(c.bits), c.channels, c.is_float, c.layout);
            const uint64_t per_frame = total / frames;
            for (uint32_t f = 0; f < frames; f++) {
                for (uint32_t t = 0; t < c.tracks; t++)
                    w.write_audio_samples(pcm[t].data() + f * per_frame * frame_bytes, int64_t(per_frame), t);
                auto s = sample(f % 5);
                w.write_video_frame(s.data(), uint32_t(s.size()));
            }
            w.close();
        }
        Reader h;
        MovReaderParams p;
        p.path = path.c_str();
        ASSERT_NO_THROW(mov_reader_open(&h.r, &p));
        ASSERT_EQ(h.r.nb_frames, frames);
        EXPECT_TRUE(h.r.have_timecode);
        EXPECT_EQ(h.r.tc_start_frame, 90000u);
        ASSERT_EQ(h.r.nb_audio_tracks, c.tracks);
        for (uint32_t t = 0; t < c.tracks; t++) {
            SCOPED_TRACE(t);
            const MovAudioTrack &a = h.r.audio_tracks[t];
            EXPECT_EQ(a.track_id, t + 2);
            EXPECT_EQ(a.channels, c.channels);
            EXPECT_EQ(a.sample_rate, rate);
            EXPECT_EQ(mov_reader_get_pcm_format(&a), c.format);
            EXPECT_EQ(a.nb_samples, total);
            if (c.layout) { EXPECT_NE(a.channel_labels, nullptr); }
            std::vector<uint8_t> got(total * frame_bytes);
            uint64_t pos = 0;
            while (pos < total) {
                uint64_t n = mov_reader_read_audio(&h.r, got.data() + pos * frame_bytes, t, pos, 7001);
                ASSERT_GT(n, 0u);
                pos += n;
            }
            EXPECT_EQ(got, pcm[t]);
        }
    }
}

}  // namespace
