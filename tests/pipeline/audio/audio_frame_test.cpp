#include "pipeline/audio/audio_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/errors.h"
#include "media/error_of.h"

namespace {

struct Frame {
    AudioFrame f;
    Frame() { init_audio_frame(&f); }
    ~Frame() { free_audio_frame(&f); }
};

TEST(AudioFrame, AllocChecksInOrder) {
    struct Case {
        uint32_t format, channels, frequency, samples;
        const char *message;
    } cases[] = {
        {11, 65, 0, 0, "Unknown audio descriptor"},
        {1, 0, 0, 0, "Invalid zero channel"},
        {1, 65, 0, 0, "Too much channels"},
        {1, 2, 0, 0, "Invalid frequency (0)"},
        {1, 2, 48000, 0, "Invalid samples (0)"},
        // 2^26 Hz x 64 channels x 1 byte is exactly 4 GiB: it must not wrap to an empty block.
        {0, 64, 1u << 26, 1, "Invalid audio data alloc size (4294967296)"},
        {9, 64, 0xFFFFFFFFu, 1, "Invalid audio data alloc size (2199023255040)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Frame fr;
        EXPECT_EQ(mediatest::error_of([&] {
                      alloc_audio_frame(&fr.f, AudioSampleFormat(c.format), c.channels, c.frequency, 0, c.samples);
                  }),
                  c.message);
        EXPECT_EQ(fr.f.data, nullptr);
        EXPECT_EQ(fr.f.planes, nullptr);
    }
}

TEST(AudioFrame, CapacityIsWholeSecondsAndPlanesFollowLayout) {
    struct Case {
        AudioSampleFormat format;
        uint32_t channels, frequency;
        uint8_t planar;
        uint32_t samples, capacity, nb_planes;
    } cases[] = {
        {AudioSampleFormat_S16LE, 2, 48000, 0, 1000, 48000, 1},
        {AudioSampleFormat_S16LE, 2, 48000, 0, 96001, 144000, 1},
        {AudioSampleFormat_F32LE, 6, 44100, 1, 44100, 44100, 6},
        {AudioSampleFormat_F32LE, 2, 44100, 1, 44101, 88200, 2},
        {AudioSampleFormat_S24LE, 1, 48000, 0, 5, 48000, 1},  // mono is always planar
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.samples));
        Frame fr;
        alloc_audio_frame(&fr.f, c.format, c.channels, c.frequency, c.planar, c.samples);
        const AudioFrame &f = fr.f;
        const uint32_t bps = get_audio_sample_bytes(c.format);
        EXPECT_EQ(f.capacity, c.capacity);
        EXPECT_EQ(f.nb_planes, c.nb_planes);
        EXPECT_EQ(f.planar, c.channels == 1 || c.planar);
        EXPECT_EQ(f.data_size, uint64_t(c.capacity) * c.channels * bps);
        EXPECT_EQ(f.bytes_per_second, c.frequency * bps);
        EXPECT_EQ(f.nb_samples, 0u);
        for (uint32_t p = 0; p < f.nb_planes; p++) EXPECT_EQ(f.planes[p], f.data + p * uint64_t(c.capacity) * bps);
        for (uint32_t ch = 0; ch < c.channels; ch++) {
            EXPECT_EQ(f.channel_masks[ch], uint64_t(1) << ch);
            EXPECT_EQ(f.channel_states[ch], 0);
        }
    }
}

TEST(AudioFrame, SilenceFillsTailOnlyAndMarksEmptyFrames) {
    {
        Frame fr;
        alloc_audio_frame(&fr.f, AudioSampleFormat_U8, 2, 100, 0, 100);
        memset(fr.f.data, 7, fr.f.data_size);
        fill_audio_frame_silence(&fr.f);
        for (uint32_t i = 0; i < fr.f.data_size; i++) ASSERT_EQ(fr.f.data[i], 128) << i;
        EXPECT_EQ(fr.f.channel_states[0], AudioChannelState_Silent);
        EXPECT_EQ(fr.f.channel_states[1], AudioChannelState_Silent);
    }
    for (uint8_t planar : {0, 1}) {
        SCOPED_TRACE(int(planar));
        Frame fr;
        alloc_audio_frame(&fr.f, AudioSampleFormat_S16LE, 2, 100, planar, 200);
        memset(fr.f.data, 7, fr.f.data_size);
        fr.f.nb_samples = 150;
        pad_audio_frame_to_second(&fr.f);  // up to sample 200: nothing left to fill after
        const uint8_t *d = fr.f.data;
        if (planar) {
            for (uint32_t p = 0; p < 2; p++)
                for (uint32_t i = 0; i < 400; i++) ASSERT_EQ(d[p * 400 + i], i < 300 ? 7 : 0) << p << " " << i;
        } else {
            for (uint32_t i = 0; i < 800; i++) ASSERT_EQ(d[i], i < 600 ? 7 : 0) << i;
        }
        memset(fr.f.data, 7, fr.f.data_size);
        fr.f.nb_samples = 120;
        pad_audio_frame_to_second(&fr.f);  // up to sample 200 only
        fill_audio_frame_silence(&fr.f);
        EXPECT_EQ(fr.f.channel_states[0], 0);  // samples were held: states stay
        EXPECT_EQ(fr.f.nb_samples, 120u);
        if (planar) {
            EXPECT_EQ(d[239], 7);
            EXPECT_EQ(d[240], 0);
        } else {
            EXPECT_EQ(d[479], 7);
            EXPECT_EQ(d[480], 0);
        }
    }
}

TEST(AudioFrame, ReferenceViewsSkipsAndPlaneHandOut) {
    Frame src;
    alloc_audio_frame(&src.f, AudioSampleFormat_S24LE, 3, 48000, 0, 48000);
    src.f.nb_samples = 1000;
    src.f.channel_masks[2] = 0x30;

    Frame view;
    ref_audio_frame(&view.f, &src.f);
    EXPECT_EQ(view.f.data, nullptr);
    EXPECT_EQ(view.f.planes[0], src.f.planes[0]);
    EXPECT_EQ(view.f.channel_masks[2], 0x30u);

    EXPECT_EQ(mediatest::error_of([&] { skip_audio_frame_start(&view.f, 1000); }), "Invalid start sample for ref");
    skip_audio_frame_start(&view.f, 10);
    EXPECT_EQ(view.f.nb_samples, 990u);
    EXPECT_EQ(view.f.planes[0], src.f.planes[0] + 10 * 3 * 3);

    // A silence fill on the skipped view ends at the source's block end.
    memset(src.f.data, 7, src.f.data_size);
    fill_audio_frame_silence(&view.f);
    EXPECT_EQ(src.f.data[src.f.data_size - 1], 0);
    EXPECT_EQ(src.f.data[(10 + 990) * 9 - 1], 7);
    EXPECT_EQ(src.f.data[(10 + 990) * 9], 0);

    uint8_t *planes[kAudioFrameMaxPlanes];
    get_audio_frame_planes_with_skip(planes, &src.f, 1000);  // just past the last sample
    EXPECT_EQ(planes[0], src.f.planes[0] + 1000 * 9);
    EXPECT_EQ(mediatest::error_of([&] { get_audio_frame_planes_with_skip(planes, &src.f, 1001); }),
              "Error invalid audio sample skip");

    Frame nine;
    alloc_audio_frame(&nine.f, AudioSampleFormat_F32LE, 9, 100, 1, 100);
    EXPECT_EQ(mediatest::error_of([&] { get_audio_frame_planes_with_skip(planes, &nine.f, 0); }),
              "Too much audio planes");

    // A view grows its arrays for a source with more planes.
    ref_audio_frame(&view.f, &nine.f);
    EXPECT_EQ(view.f.nb_planes, 9u);
    EXPECT_EQ(view.f.planes[8], nine.f.planes[8]);
}

TEST(AudioFrame, DescriptorChecks) {
    AudioDescriptor d;
    EXPECT_EQ(mediatest::error_of([&] { init_audio_descriptor(&d, AudioSampleFormat(11), 2, 48000, 0); }),
              "Unknown audio descriptor");
    EXPECT_EQ(mediatest::error_of([&] { init_audio_descriptor(&d, AudioSampleFormat_S16LE, 0, 48000, 0); }),
              "Invalid channel count (0)");
    EXPECT_EQ(mediatest::error_of([&] { init_audio_descriptor(&d, AudioSampleFormat_S16LE, 2, 0, 0); }),
              "Invalid frequency (0)");
    init_audio_descriptor(&d, AudioSampleFormat_F64BE, 100, 44100, 0);  // no channel ceiling
    EXPECT_EQ(d.bytes_per_sample, 8u);
    EXPECT_EQ(d.bytes_per_second, 44100u * 8);
    init_audio_descriptor(&d, AudioSampleFormat_F32LE, 1, 48000, 0);  // keeps the flag for one channel
    EXPECT_EQ(d.planar, 0);
}

}  // namespace
