#include "model/settings/media_info_obj.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "model/settings/global_settings.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/xml_writer.h"
#include "testutil/testutil.h"

namespace {

using Lines = std::vector<std::string>;

// A source object over a hand-made record (no file behind it).
MediaInfoObjRef with_record(bool video, ZRational fps, uint32_t frames) {
    auto o = std::make_shared<MediaInfoObj>();
    o->filepath = "/src/clip.mov";
    o->info = new_media_info();
    o->info->have_video = video;
    o->info->video_src_type = video ? MediaInfoVideoSrc_Ffmpeg : MediaInfoVideoSrc_None;
    o->info->width = 1920, o->info->height = 1080;
    o->info->fps = fps;
    o->info->nb_frames = frames;
    o->info->codec_name = clone_str("ProRes 422");
    o->info->pix_fmt = PixFmt(22);
    return o;
}

AudioInfo *add_track(MediaInfo *info, uint32_t channels, uint32_t rate, AudioSampleFormat format, double duration) {
    AudioInfo *t = add_audio_info(info);
    init_audio_info_channels(t, channels);
    t->frequency = rate;
    t->format = format;
    t->is_pcm = true;
    t->duration = duration;
    return t;
}

TEST(MediaTexts, Timecodes) {
    const struct {
        uint64_t n;
        ZRational rate;
        bool drop;
        const char *expected;
    } cases[] = {
        {100, {25, 1}, false, "00:00:04:00"},
        {1800, {30000, 1001}, true, "00;01;00;02"},
        {17982, {30000, 1001}, true, "00;10;00;00"},
        {90000, {25, 1}, false, "01:00:00:00"},
        {25 * 86400 + 3, {25, 1}, false, "00:00:00:03"},  // one day wraps
        {7, {1, 3}, false, "00:00:07:00"},                // below one frame per second: one
        {7, {1, 3}, true, "00;00;07;00"},
        {5, {0, 0}, true, "00;00;00;00"},
        {123456, {24000, 1001}, false, "01:25:44:00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " at " + std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den));
        EXPECT_EQ(media_timecode_text(c.n, c.rate, c.drop), c.expected);
    }
}

TEST(MediaInfoObj, DescriptionLines) {
    const struct {
        ZRational fps;
        uint32_t frames;
        const char *second;
    } cases[] = {
        {{25, 1}, 90000, "01:00:00:00 (90000 frames) ; 25 fps"},
        {{30000, 1001}, 3, "00:00:00:03 (3 frames) ; 29.97 fps"},
        {{25, 1}, 1, "00:00:00:01 (1 frame) ; 25 fps"},
        {{1, 3}, 10, "00:00:10:00 (10 frames) ; 0.33 fps"},  // no division by zero
        {{0, 0}, 10, "00:00:00:00 (10 frames) ; 0.00 fps"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.second);
        MediaInfoObjRef o = with_record(true, c.fps, c.frames);
        const Lines lines = o->get_lines_info_file(false);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "1920x1080 px ; ProRes 422");
        EXPECT_EQ(lines[1], c.second);
        EXPECT_EQ(lines[2], "No audio");
    }
    // Pixel ratio, HAP chunks, straight alpha, timecode and tracks of different formats.
    MediaInfoObjRef o = with_record(true, {25, 1}, 50);
    o->info->pixel_ratio = {4, 3};
    o->info->is_hap = true;
    o->info->hap_chunks = 4;
    o->info->have_alpha = true;
    o->info->alpha_kind = 1;
    o->info->have_tc = true;
    o->info->tc_start_frame = 90000;
    o->info->is_vfr = true;
    add_track(o->info, 2, 48000, AudioSampleFormat(1), 2);
    add_track(o->info, 6, 48000, AudioSampleFormat(3), 2);
    add_track(o->info, 1, 44100, AudioSampleFormat(1), 2);
    EXPECT_EQ(
        o->get_lines_info_file(false),
        (Lines{"1920x1080 px (Pixel ratio : 1.33) ; ProRes 422 : 4 Chunks (Alpha straight)",
               "00:00:02:00 (50 frames) ; 25 fps (variable fps)", "Timecode : 01:00:00:00", "3 tracks",
               "3 tracks : 2 channels ; 48000 Hz ; PCM S16bits LE", "3 tracks : 6 channels ; 48000 Hz ; PCM S24bits LE",
               "3 tracks : 1 channel ; 44100 Hz ; PCM S16bits LE"}));
    EXPECT_EQ(o->get_lines_info_file(true).size(), 4u);
    o->error = "ERROR : File not found";
    EXPECT_TRUE(o->get_lines_info_file(false).empty());
}

TEST(MediaInfoObj, AudioOnlyDuration) {
    const struct {
        double seconds;
        const char *line;
    } cases[] = {{3725.4, "1h 2min 5s"}, {120, "2min"}, {59.9, "59s"}, {3600, "1h 0min"}, {-1, "NA"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        MediaInfoObjRef o = with_record(false, {25, 1}, 0);
        add_track(o->info, 2, 48000, AudioSampleFormat(1), c.seconds);
        EXPECT_EQ(o->get_lines_info_file(false),
                  (Lines{"No video", "1 track : 2 channels ; 48000 Hz ; PCM S16bits LE", c.line}));
    }
}

TEST(MediaInfoObj, QuestionsThroughTheInterpretation) {
    MediaInfoObjRef o = with_record(true, {30000, 1001}, 10);
    o->info->have_alpha = true;
    o->info->alpha_kind = 2;
    o->info->color_range = 2;
    EXPECT_EQ(o->get_alpha_interpretation_with_media_interpret(), 0u);
    EXPECT_FALSE(o->set_default_alpha_interpret(0));  // unchanged
    EXPECT_TRUE(o->set_default_alpha_interpret(1));
    EXPECT_EQ(o->get_alpha_interpretation_with_media_interpret(), 1u);
    o->media_interpret->obj.alpha_mode = 3;
    EXPECT_EQ(o->get_alpha_interpretation_with_media_interpret(), 2u);
    EXPECT_EQ(o->get_color_range_interpretation_with_media_interpret(), 0u);  // unknown YUV range: limited
    o->info->pix_fmt = PixFmt(0);
    EXPECT_EQ(o->get_color_range_interpretation_with_media_interpret(), 1u);
    o->media_interpret->obj.interpret_fps = 3;
    EXPECT_EQ(o->get_file_fps().num, 25u);
    EXPECT_FALSE(o->set_default_fps_img_seq({30, 1}));  // not an image file
    o->info->is_hap = true;
    o->info->codec_fourcc = 0x4861704D;  // HapM
    EXPECT_EQ(o->get_hap_dxt_format(), uint32_t(VideoFrameDxtData_HAPQA));
    o->info->codec_fourcc = 0x48617058;
    EXPECT_EQ(o->get_hap_dxt_format(), uint32_t(VideoFrameUnknown));

    MediaInfoObjRef a = with_record(false, {25, 1}, 0);
    EXPECT_FALSE(a->set_default_alpha_interpret(1));  // stored, decides nothing
    EXPECT_EQ(a->media_interpret->obj.default_alpha, 1u);
    AudioInfo *t = add_track(a->info, 2, 48000, AudioSampleFormat(1), 1);
    t->channel_mapping[0] = 4, t->channel_mapping[1] = 8;
    EXPECT_FALSE(a->have_useful_audio_for_layout(HapStand_AudioLayout_Stereo));
    EXPECT_TRUE(a->have_useful_audio_for_layout(HapStand_AudioLayout_DualStereo));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(a->have_useful_audio_for_layout(9));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERR : Unknown audio channel layout : 9\n");
    t->enable = false;
    EXPECT_FALSE(a->have_useful_audio_for_layout(HapStand_AudioLayout_7_1));
    EXPECT_EQ(a->get_concat_audio_mapping(), 12u);
    EXPECT_EQ(a->get_file_fps().num, 25u);
}

TEST(MediaInfoObj, AudioMappingRoundTrip) {
    MediaInfoObjRef o = with_record(false, {25, 1}, 0);
    add_track(o->info, 2, 48000, AudioSampleFormat(1), 1);
    add_track(o->info, 1, 48000, AudioSampleFormat(1), 1);
    AudioInfo *t0 = &o->info->audio_tracks[0];  // the array moves as tracks are added
    t0->enable = false;
    t0->channel_mapping[0] = 4, t0->channel_mapping[1] = uint64_t(1) << 63;
    XmlStreamWriter w;
    w.start_element("main_file_in");
    o->write_audio_info(w);
    w.end_document();
    EXPECT_EQ(w.text(),
              "<main_file_in>\n\t<audio_track itr=\"0\" enable=\"NO\">\n\t\t<audio_ch ch=\"0\" map=\"4\" />\n\t\t"
              "<audio_ch ch=\"1\" map=\"9223372036854775808\" />\n\t</audio_track>\n\t<audio_track itr=\"1\">\n\t\t"
              "<audio_ch ch=\"0\" map=\"1\" />\n\t</audio_track>\n</main_file_in>");

    // Read back the way the render-queue reader does, into a fresh source.
    MediaInfoObjRef back = with_record(false, {25, 1}, 0);
    add_track(back->info, 2, 48000, AudioSampleFormat(1), 1);
    add_track(back->info, 1, 48000, AudioSampleFormat(1), 1);
    struct Reader : XmlEventHandler {
        MediaInfoObj *o;
        ParseAudioTrackRef track;
        void xml_start_element(const std::string &name, const XmlAttributes &a) override {
            if (name == "audio_track") track = ParseAudioTrack::init_with_xml_dict(a);
            if (name == "audio_ch" && track) track->add_audio_channel_info(ParseAudioChannel::init_with_xml_dict(a));
        }
        void xml_end_element(const std::string &name) override {
            if (name == "audio_track" && track) o->set_audio_track_from_parser(*track);
        }
    } r;
    r.o = back.get();
    std::string error;
    ASSERT_TRUE(xml_parse_text(w.text(), r, &error)) << error;
    EXPECT_FALSE(back->info->audio_tracks[0].enable);
    EXPECT_TRUE(back->info->audio_tracks[1].enable);
    EXPECT_EQ(back->info->audio_tracks[0].channel_mapping[0], 4u);
    EXPECT_EQ(back->info->audio_tracks[0].channel_mapping[1], uint64_t(1) << 63);

    // Out-of-range indexes are logged and skipped.
    ParseAudioTrack bad;
    bad.index_track = 7;
    back->set_audio_track_from_parser(bad);
    bad.index_track = 1;
    auto ch = std::make_shared<ParseAudioChannel>();
    ch->index_channel = 1;
    ch->mapping = 2;
    bad.add_audio_channel_info(ch);
    back->set_audio_track_from_parser(bad);
    EXPECT_EQ(back->info->audio_tracks[1].channel_mapping[0], 1u);
}

// Sources made by the ffmpeg tool in a configuration folder of their own.
class MediaFiles : public testing::Test {
protected:
    void SetUp() override {
        ffmpeg_ = testutil::require_tool("ffmpeg");
        const char *old = getenv("XDG_CONFIG_HOME");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
        settings_ = GlobalSettings::init();
    }
    void TearDown() override {
        if (had_)
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    void ffmpeg(const std::string &args) {
        ASSERT_FALSE(ffmpeg_.empty());
        ASSERT_EQ(testutil::run_command(ffmpeg_ + " -v error -nostdin -y " + args).status, 0) << args;
    }

    testutil::TempDir dir_;
    std::string ffmpeg_;
    GlobalSettingsRef settings_;
    bool had_ = false;
    std::string old_;
};

TEST_F(MediaFiles, MonoWavMaskFromItsName) {
    const struct {
        const char *name;
        uint64_t mask;
    } cases[] = {{"Mix_LFE.wav", 8}, {"Mix.wav", 3}, {"take_Rs.wav", 32}, {"x_L.wav", 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ffmpeg("-f lavfi -i sine=duration=0.1 -ac 1 -c:a pcm_s16le " + testutil::shell_quote(dir_.file(c.name)));
        MediaInfoObjRef o = MediaInfoObj::init_from_filepath_and_settings(dir_.file(c.name), *settings_);
        ASSERT_FALSE(o->have_error()) << *o->error;
        EXPECT_TRUE(o->is_wav_file());
        o->update_mapping_for_mono_wav_file();
        EXPECT_EQ(o->info->audio_tracks[0].channel_mapping[0], c.mask);
    }
}

TEST_F(MediaFiles, MissingFileKeepsItsPath) {
    MediaInfoObjRef o = MediaInfoObj::init_from_filepath_and_settings(dir_.file("gone.mov"), *settings_);
    EXPECT_EQ(o->error.value_or(""), "ERROR : File not found");
    EXPECT_EQ(o->filepath.value_or(""), dir_.file("gone.mov"));
    EXPECT_FALSE(o->info);
    MediaInfoObjRef copy = o->mutableCopyWithZone();
    EXPECT_EQ(copy->error, o->error);
    EXPECT_FALSE(copy->info);
    // Not a media file: the probe's message becomes the error.
    ASSERT_TRUE(write_file_atomic(dir_.file("text.mp4"), std::string("not a movie"), nullptr));
    MediaInfoObjRef t = MediaInfoObj::init_from_filepath_and_settings(dir_.file("text.mp4"), *settings_);
    EXPECT_TRUE(t->have_error());
    EXPECT_FALSE(t->info);
}

TEST_F(MediaFiles, ImageSequence) {
    ffmpeg("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 5 -start_number 100 " +
           testutil::shell_quote(dir_.file("frame_%04d.png")));
    MediaInfoObjRef o = MediaInfoObj::init_from_filepath_and_settings(dir_.file("frame_0100.png"), *settings_);
    ASSERT_FALSE(o->have_error()) << *o->error;
    ASSERT_TRUE(o->is_img_seq());
    EXPECT_EQ(o->get_img_seq_start_f(), 100);
    EXPECT_EQ(o->get_img_seq_end_f(), 104);
    EXPECT_EQ(o->get_duration_frames(), 5u);
    EXPECT_TRUE(o->have_timecode());
    EXPECT_EQ(o->get_start_tc_frame(), 100u);
    EXPECT_EQ(o->get_timecode_str(), "00:00:04:00");
    EXPECT_TRUE(o->set_default_fps_img_seq({30, 1}));
    EXPECT_FALSE(o->set_default_fps_img_seq({30, 1}));
    // A frame more on disk: the reload sees it and keeps the rate the sequence was given.
    ffmpeg("-f lavfi -i testsrc2=size=32x16:rate=25 -frames:v 1 " + testutil::shell_quote(dir_.file("frame_0105.png")));
    o->reload_media();
    ASSERT_FALSE(o->have_error()) << *o->error;
    EXPECT_EQ(o->get_duration_frames(), 6u);
    EXPECT_EQ(o->info->fps.num, 30u);
    MediaInfoObjRef copy = o->mutableCopyWithZone();
    EXPECT_NE(copy->info, o->info);
    EXPECT_EQ(copy->get_img_seq_end_f(), 105);
    EXPECT_EQ(copy->info->fps.num, 30u);
    EXPECT_NE(copy->img_seq_parser, o->img_seq_parser);
}

TEST_F(MediaFiles, ReloadKeepsUserChoices) {
    const std::string path = dir_.file("two.mov");
    ffmpeg(
        "-f lavfi -i testsrc2=size=32x16:rate=25 -f lavfi -i sine=duration=0.4 -f lavfi -i sine=duration=0.4 "
        "-map 0 -map 1 -map 2 -frames:v 10 -c:v mjpeg -c:a pcm_s16le -ac 2 " +
        testutil::shell_quote(path));
    MediaInfoObjRef o = MediaInfoObj::init_from_filepath_and_settings(path, *settings_);
    ASSERT_FALSE(o->have_error()) << *o->error;
    ASSERT_EQ(o->info->nb_audio_tracks, 2u);
    // Two stereo tracks are mapped as dual stereo.
    EXPECT_EQ(o->info->audio_tracks[1].channel_mapping[0], 4u);
    EXPECT_EQ(o->info->audio_tracks[1].channel_mapping[1], 8u);
    o->media_interpret->obj.interpret_fps = 7;
    o->info->audio_tracks[0].enable = false;
    o->info->audio_tracks[1].channel_mapping[0] = 16;
    o->reload_media();
    ASSERT_FALSE(o->have_error());
    EXPECT_FALSE(o->info->audio_tracks[0].enable);
    EXPECT_EQ(o->info->audio_tracks[1].channel_mapping[0], 16u);
    EXPECT_EQ(o->get_file_fps().num, 50u);
    // Removed file: the error, the record kept.
    ASSERT_EQ(remove(path.c_str()), 0);
    o->reload_media();
    EXPECT_EQ(o->error.value_or(""), "ERROR : File not found");
    EXPECT_TRUE(o->info);
}

TEST_F(MediaFiles, ProbeOptionsFromThePreferences) {
    settings_->force_ff_decoding = true;
    settings_->max_vfr_to_cfr_fps = {30, 1};
    ffmpeg("-f lavfi -i sine=duration=0.1 -c:a pcm_s16le " + testutil::shell_quote(dir_.file("a.wav")));
    MediaInfoObjRef o = MediaInfoObj::init_from_filepath_and_settings(dir_.file("a.wav"), *settings_);
    EXPECT_TRUE(o->info_params.force_ff);
    EXPECT_EQ(o->info_params.mov_intra_demuxer_flags, kMovFlagLimitVfrRate);
    EXPECT_EQ(o->info_params.max_vfr_to_cfr_fps.num, 30u);
    settings_->vfr_limit_max_fps = false;
    o->set_vfr_global_settings_info_params(*settings_);
    EXPECT_EQ(o->info_params.mov_intra_demuxer_flags, 0u);
    EXPECT_EQ(o->info_params.max_vfr_to_cfr_fps.num, 30u);
}

}  // namespace
