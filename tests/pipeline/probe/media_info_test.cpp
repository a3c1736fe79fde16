#include "pipeline/probe/media_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media/error_of.h"

namespace {

struct Record {
    MediaInfo *m = new_media_info();
    ~Record() { free_media_info(&m); }
};

void add_track(MediaInfo *m, uint32_t channels, uint32_t rate, AudioSampleFormat format) {
    AudioInfo *t = add_audio_info(m);
    init_audio_info_channels(t, channels);
    t->frequency = rate;
    t->format = format;
}

TEST(MediaInfo, Defaults) {
    Record r;
    const MediaInfo &m = *r.m;
    EXPECT_EQ(m.video_src_type, MediaInfoVideoSrc_None);
    EXPECT_EQ(m.audio_src_type, MediaInfoAudioSrc_None);
    EXPECT_EQ(m.fps.num, 25u);
    EXPECT_EQ(m.pixel_ratio.den, 1u);
    EXPECT_EQ(m.data_descriptor, VideoFrameUnknown);
    EXPECT_EQ(m.pix_fmt, PixFmt_Undefined);
    EXPECT_EQ(m.color_range, 2u);
    EXPECT_EQ(m.chroma_location, 6u);
    EXPECT_EQ(m.ff_codec_id, 0x18000);
    EXPECT_EQ(m.ff_pix_fmt, -1);
    EXPECT_EQ(m.hap_chunks, 1u);
    EXPECT_EQ(m.alpha_kind, 2u);
    EXPECT_EQ(m.max_vfr_to_cfr_fps.num, 50u);
    EXPECT_EQ(m.filepath, nullptr);
    alloc_audio_infos(r.m, 2);
    EXPECT_TRUE(m.audio_tracks[1].enable);
    EXPECT_TRUE(m.audio_tracks[1].is_valid);
    EXPECT_EQ(m.audio_tracks[1].format, AudioSampleFormat_Unsupported);
    EXPECT_EQ(m.audio_tracks[1].ff_codec_id, 0x18000);
}

TEST(MediaInfo, ChannelCountsAndMasks) {
    AudioInfo t;
    init_audio_info(&t);
    for (uint32_t n : {0u, 65u})
        EXPECT_EQ(mediatest::error_of([&] { init_audio_info_channels(&t, n); }), "Invalid audio channels count") << n;
    init_audio_info_channels(&t, 2);
    EXPECT_EQ(t.channel_mapping[0], 1u);
    EXPECT_EQ(t.channel_mapping[1], 2u);
    init_audio_info_channels(&t, 64);
    EXPECT_EQ(t.channel_mapping[63], uint64_t(1) << 63);
    free(t.channel_mapping);
}

TEST(MediaInfo, DualStereoAndSharedFormat) {
    Record r;
    add_track(r.m, 2, 48000, AudioSampleFormat_S24LE);
    add_track(r.m, 2, 48000, AudioSampleFormat_S24LE);
    EXPECT_TRUE(audio_tracks_share_format(r.m));
    EXPECT_TRUE(map_dual_stereo_tracks(r.m));
    const AudioInfo *t = r.m->audio_tracks;
    EXPECT_EQ(t[0].channel_mapping[0], 1u);
    EXPECT_EQ(t[0].channel_mapping[1], 2u);
    EXPECT_EQ(t[1].channel_mapping[0], 4u);
    EXPECT_EQ(t[1].channel_mapping[1], 8u);

    r.m->audio_tracks[1].frequency = 44100;
    EXPECT_FALSE(audio_tracks_share_format(r.m));
    add_track(r.m, 2, 48000, AudioSampleFormat_S24LE);
    EXPECT_FALSE(map_dual_stereo_tracks(r.m));  // three tracks
    EXPECT_EQ(r.m->audio_tracks[2].channel_mapping[0], 1u);
}

TEST(MediaInfo, CloneIsDeep) {
    Record r;
    r.m->filepath = clone_str("/a/clip.mov");
    r.m->ext = clone_str("mov");
    r.m->codec_name = clone_str("HAP");
    r.m->have_tc = true;
    r.m->tc_start_frame = 90000;
    r.m->tc_drop_frame = true;
    r.m->field_order = 1;
    r.m->force_ff = true;
    r.m->mov_intra_demuxer_flags = 0x14;
    r.m->max_vfr_to_cfr_fps = ZRational{30, 1};
    r.m->reserved[1] = true;
    add_track(r.m, 6, 48000, AudioSampleFormat_S16LE);
    r.m->audio_tracks[0].description = clone_str("PCM S16bits LE");
    r.m->audio_tracks[0].channel_mapping[5] = 0x30;

    MediaInfo *c = clone_media_info(r.m);
    EXPECT_STREQ(c->filepath, "/a/clip.mov");
    EXPECT_NE(c->filepath, r.m->filepath);
    EXPECT_STREQ(c->codec_name, "HAP");
    EXPECT_EQ(c->img_seq_path_base, nullptr);
    EXPECT_TRUE(c->have_tc);
    EXPECT_EQ(c->tc_start_frame, 90000u);
    EXPECT_TRUE(c->tc_drop_frame);
    EXPECT_EQ(c->field_order, 1u);
    EXPECT_TRUE(c->force_ff);
    EXPECT_EQ(c->mov_intra_demuxer_flags, 0x14u);
    EXPECT_EQ(c->max_vfr_to_cfr_fps.num, 30u);
    EXPECT_TRUE(c->reserved[1]);
    ASSERT_EQ(c->nb_audio_tracks, 1u);
    EXPECT_NE(c->audio_tracks, r.m->audio_tracks);
    EXPECT_STREQ(c->audio_tracks[0].description, "PCM S16bits LE");
    EXPECT_NE(c->audio_tracks[0].channel_mapping, r.m->audio_tracks[0].channel_mapping);
    EXPECT_EQ(c->audio_tracks[0].channel_mapping[5], 0x30u);
    free_media_info(&c);
    EXPECT_EQ(c, nullptr);
    free_media_info(&c);  // already null
}

TEST(MediaInfo, MappingCarriesOverToANewProbe) {
    Record old_r, new_r;
    add_track(old_r.m, 6, 48000, AudioSampleFormat_S16LE);
    add_track(old_r.m, 6, 48000, AudioSampleFormat_S16LE);
    old_r.m->audio_tracks[0].enable = false;
    for (uint32_t c = 0; c < 6; c++) {
        old_r.m->audio_tracks[0].channel_mapping[c] = 0x100 + c;
        old_r.m->audio_tracks[1].channel_mapping[c] = 0x200 + c;
    }
    for (int i = 0; i < 3; i++) add_track(new_r.m, 2, 48000, AudioSampleFormat_S16LE);
    new_r.m->audio_tracks[2].enable = false;
    copy_audio_mapping(new_r.m, old_r.m);
    const AudioInfo *t = new_r.m->audio_tracks;
    EXPECT_FALSE(t[0].enable);
    EXPECT_TRUE(t[1].enable);
    EXPECT_FALSE(t[2].enable);  // keeps its own
    EXPECT_EQ(t[0].channel_mapping[1], 0x101u);
    EXPECT_EQ(t[1].channel_mapping[0], 0x200u);
    EXPECT_EQ(t[2].channel_mapping[0], 1u);
    EXPECT_EQ(t[2].channel_mapping[1], 2u);
}

}  // namespace
