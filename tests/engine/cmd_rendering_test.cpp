// The render job's argument parser, in process: what it prints and what the task and
// setting hold afterwards.
#include "engine/cmd_rendering.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/timecode_text.h"
#include "model/settings/settings_list.h"
#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

// A short ProRes clip with stereo sound and a mono WAV, made once by the ffmpeg tool.
class CmdRenderingParse : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        const std::string ffmpeg = testutil::require_tool("ffmpeg");
        if (ffmpeg.empty()) return;
        auto run = [&](const std::string &args) {
            EXPECT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y " + args).status, 0) << args;
        };
        run("-f lavfi -i testsrc2=size=64x32:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -ac 2 "
            "-frames:v 3 -t 0.12 -c:v prores -c:a pcm_s16le " +
            shell_quote(dir_->file("src.mov")));
        run("-f lavfi -i sine=duration=0.1:sample_rate=48000 -ac 1 -c:a pcm_s16le " +
            shell_quote(dir_->file("voice_c.wav")));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string &name) { return dir_->file(name); }

    // Parses "prog --cmd_line_render args..." and returns the status; out gets stdout.
    int parse(HapStandCmdRendering &job, const std::vector<std::string> &args, std::string *out) {
        std::vector<std::string> all = {"prog", "--cmd_line_render"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<const char *> argv;
        for (const std::string &a : all) argv.push_back(a.c_str());
        testing::internal::CaptureStdout();
        const int status = job.parse_cmd_args_with_argv(int(argv.size()), argv.data());
        fflush(stdout);
        *out = testing::internal::GetCapturedStdout();
        return status;
    }

    static testutil::TempDir *dir_;
};

testutil::TempDir *CmdRenderingParse::dir_ = nullptr;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST_F(CmdRenderingParse, ArgumentErrorsAndTheirStatus) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string line;
    } cases[] = {
        {{}, 1, "ERROR : Not enough input arguments\n"},
        {{"-codec"}, 1, "ERROR : Not enough arguments. -codec expect value.\n"},
        {{"-i", "SRC", "-o"}, 1, "ERROR : Not enough arguments. -o expect value.\n"},
        {{"-codec", "hapq"}, 1, "ERROR : No valid input file set\n"},
        {{"-i", "missing.mov", "-codec", "hapq"}, 2, "ERROR : Invalid input file : "},
        // Nothing after an unusable input is read: the stray option is never reported.
        {{"-i", "missing.mov", "-bogus"}, 2, ""},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        for (std::string &a : args)
            if (a == "SRC") a = file("src.mov");
        HapStandCmdRendering job;
        std::string out;
        EXPECT_EQ(parse(job, args, &out), c.status) << out;
        EXPECT_TRUE(contains(out, c.line)) << out;
        if (c.status == 2) {
            EXPECT_FALSE(contains(out, "-bogus")) << out;
            EXPECT_EQ(job.task(), nullptr);
        }
    }
}

TEST_F(CmdRenderingParse, OptionValuesWarningsAndOrder) {
    // Interpretation options before "-i" are refused; unknown arguments and values are
    // reported and change nothing; the setting options apply in order.
    HapStandCmdRendering job;
    std::string out;
    ASSERT_EQ(parse(job,
                    {"-i_fps",
                     "25",
                     "-i",
                     file("src.mov"),
                     "-i_fps",
                     "29.97",
                     "-i_alpha",
                     "straight",
                     "-i_video_range",
                     "full",
                     "-codec",
                     "hapq",
                     "-enc_quality",
                     "slow",
                     "-audio_freq",
                     "44100",
                     "-audio_quantif",
                     "24i",
                     "-audio_gain",
                     "abc",
                     "-write_tc",
                     "overwrite",
                     "-overwrite_tc",
                     "10:00:00;00",
                     "-disable_drop_frame_tc",
                     "-disable_crop_box_metadata",
                     "-disable_smart_rendering",
                     "-alpha_conversion",
                     "straight",
                     "-codec",
                     "hapz",
                     "-enc_quality",
                     "FAST",
                     "-overwrite_tc",
                     "10:0x:00:00",
                     "-bogus",
                     "stray",
                     "-i",
                     file("src.mov"),
                     "-NSDocumentRevisionsDebugMode",
                     "YES"},
                    &out),
              0)
        << out;
    EXPECT_TRUE(contains(out, "WARNING : parameter '-i_fps' set before valid input file ('-i' input_path)\n"));
    EXPECT_TRUE(contains(out, "INFO : value 'hapz' unknown for parameter '-codec' (will be ignored)\n"));
    EXPECT_TRUE(contains(out, "INFO : value 'FAST' unknown for parameter '-enc_quality' (will be ignored)\n"));
    EXPECT_TRUE(contains(out, "INFO : value '10:0x:00:00' unknown for parameter '-overwrite_tc' (will be ignored)\n"));
    EXPECT_TRUE(contains(out, "WARNING : Unknown argument (will be ignore) : '-bogus'\n"));
    EXPECT_TRUE(contains(out, "WARNING : Unknown argument (will be ignore) : 'stray'\n"));
    EXPECT_TRUE(contains(out, "WARNING : Multiple '-i' arguments/ Only first one will be used\n"));
    EXPECT_FALSE(contains(out, "YES"));

    ASSERT_NE(job.task(), nullptr);
    const HapStandMediaSrcInterpret &interp = job.task()->in_main_file->media_interpret->obj;
    EXPECT_EQ(interp.interpret_fps, 10u);
    EXPECT_DOUBLE_EQ(interp.custom_fps, 29.97);
    EXPECT_EQ(interp.alpha_mode, 2u);
    EXPECT_EQ(interp.video_range, 2u);

    const Setting &s = *job.task()->setting;  // the task's copy
    EXPECT_EQ(s.vid_alpha_mode, 2u);
    EXPECT_EQ(s.vid_codec_hap, 2u);
    EXPECT_EQ(s.vid_hap_quality, 2u);
    EXPECT_EQ(s.aud_frequency, 0u);
    EXPECT_EQ(s.aud_quantif, 1u);
    EXPECT_EQ(s.aud_gain_mode, 1u);
    EXPECT_EQ(s.aud_set_gain_val, 0.0f);
    EXPECT_EQ(s.metadata_tc_mode, 3u);
    EXPECT_EQ(s.metadata_start_tc_force, std::optional<std::string>("10:00:00;00"));
    EXPECT_FALSE(s.metadata_tc_force_drop_frame);
    EXPECT_FALSE(s.metadata_write_crop_box_metadata);
    EXPECT_FALSE(s.vid_enable_smart_render);
    EXPECT_EQ(s.vid_alpha_conversion, 2u);
    EXPECT_EQ(job.task()->target_codec_hap, 2u);

    // Fixed rates are matched on their exact texts; 0 and texts without a number are unknown.
    const struct {
        const char *value;
        uint32_t choice;
        bool unknown;
    } rates[] = {{"24000/1001", 1, false}, {"60", 9, false}, {"50", 10, false}, {"0", 0, true}, {"fps", 0, true}};
    for (const auto &r : rates) {
        HapStandCmdRendering j;
        ASSERT_EQ(parse(j, {"-i", file("src.mov"), "-i_fps", r.value}, &out), 0);
        EXPECT_EQ(j.task()->in_main_file->media_interpret->obj.interpret_fps, r.choice) << r.value;
        EXPECT_EQ(contains(out, "unknown for parameter '-i_fps'"), r.unknown) << r.value;
    }
}

// "-audio_gain" takes the leading number in dB; a value too large for a float stores 0 dB,
// as a preset file's does, and is never reported.
TEST_F(CmdRenderingParse, AudioGainValues) {
    const struct {
        const char *value;
        float gain;
    } cases[] = {
        {"-3.5", -3.5f}, {"6dB", 6.0f},   {"abc", 0.0f}, {"1e30", 1e30f},
        {"1e39", 0.0f},  {"-1e39", 0.0f}, {"inf", 0.0f}, {"nan", 0.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        HapStandCmdRendering job;
        std::string out;
        ASSERT_EQ(parse(job, {"-i", file("src.mov"), "-audio_gain", c.value}, &out), 0) << out;
        const Setting &s = *job.task()->setting;
        EXPECT_EQ(s.aud_gain_mode, 1u);
        EXPECT_EQ(s.aud_set_gain_val, c.gain);
        EXPECT_FALSE(contains(out, "-audio_gain")) << out;
    }
}

TEST_F(CmdRenderingParse, PresetFilesReplaceTheSettingInOrder) {
    Setting preset;
    preset.setName(std::string("Slow Q"));
    preset.setVid_codec_hap(2);
    preset.setVid_alpha_mode(2);
    preset.setVid_hap_quality(2);
    ASSERT_TRUE(preset.save_preset_file(dir_->path()));
    const std::string single = file("Slow Q.xml");

    SettingsList list;
    for (uint32_t codec : {6u, 0u, 1u}) {
        SettingRef s = Setting::init();
        s->setName("list " + std::to_string(codec));
        s->setVid_alpha_mode(2);
        s->setVid_codec_hap(codec);
        list.arr_setting.push_back(s);
    }
    ASSERT_TRUE(list.write_preset_list_xml_to_url(file("presets_export.xml")));

    const struct {
        std::vector<std::string> args;
        uint32_t codec, quality;
        std::string line;
    } cases[] = {
        // An option before the preset is lost, one after it wins.
        {{"-codec", "hap", "-enc_quality", "fast", "-preset", single}, 2, 2, ""},
        {{"-preset", single, "-enc_quality", "normal"}, 2, 1, ""},
        {{"-preset", file("presets_export.xml")}, 6, 1, "WARNING : Multiple preset in the preset file ("},
        {{"-codec", "hapq", "-preset", file("nothing.xml")}, 2, 0, "WARNING : preset file don't exist ("},
        {{"-preset", file("voice_c.wav")}, 0, 0, "WARNING : Fail to load preset file ("},
    };
    for (const auto &c : cases) {
        HapStandCmdRendering job;
        std::vector<std::string> args = {"-i", file("src.mov")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string out;
        ASSERT_EQ(parse(job, args, &out), 0) << out;
        EXPECT_EQ(job.task()->setting->vid_codec_hap, c.codec) << out;
        EXPECT_EQ(job.task()->setting->vid_hap_quality, c.quality) << out;
        EXPECT_TRUE(contains(out, c.line)) << out;
    }
}

// Relative "-i", "-i_wav", "-preset" and "-o" are taken from the current folder, and
// outputs named after the MOV (the WAV beside it) follow its "-o" path.
TEST_F(CmdRenderingParse, RelativePathsAndOutputsFollowingTheOutPath) {
    Setting preset;
    preset.setName(std::string("With wav"));
    preset.setAud_write_wav_file(true);
    ASSERT_TRUE(preset.save_preset_file(dir_->path()));

    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    ASSERT_EQ(chdir(dir_->path().c_str()), 0);
    HapStandCmdRendering job;
    std::string out;
    const int status = parse(job,
                             {"-o", "out/clip.mov", "-i", "./src.mov", "-i_wav", "voice_c.wav", "-preset",
                              "With wav.xml", "-o", "", "-o", "out//audio.wav", "-o", "extra.mov"},
                             &out);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(contains(out, "WARNING : Empty out path\n"));
    EXPECT_TRUE(
        contains(out, "WARNING : Fail to set custom outpath ('" + dir_->path() + "/extra.mov') for target file : 2\n"))
        << out;
    const RqTaskRef &task = job.task();
    EXPECT_EQ(task->get_filepath_main_file(), std::optional<std::string>(file("src.mov")));
    EXPECT_EQ(task->get_arr_in_wavs(), std::vector<std::string>{file("voice_c.wav")});
    EXPECT_TRUE(task->setting->aud_write_wav_file);
    EXPECT_EQ(task->get_arr_out_hap(), std::vector<std::string>{file("out/clip.mov")});
    EXPECT_EQ(task->get_arr_out_wav(), std::vector<std::string>{file("out/audio.wav")});
    EXPECT_FALSE(task->have_error_params()) << task->get_error_params_out().value_or("");

    // Without a WAV path of its own, the WAV is named after the MOV's.
    HapStandCmdRendering job2;
    ASSERT_EQ(parse(job2, {"-i", file("src.mov"), "-preset", file("With wav.xml"), "-o", file("sub/clip.mov")}, &out),
              0);
    ASSERT_EQ(job2.task()->get_arr_out_wav().size(), 1u);
    EXPECT_EQ(job2.task()->get_arr_out_wav()[0].rfind(file("sub/clip"), 0), 0u) << job2.task()->get_arr_out_wav()[0];
}

TEST(CmdAbsolutePath, FromTheCurrentFolder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    const std::string here = cwd;
    const struct {
        const char *in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"/a/b.mov", "/a/b.mov"},
        {"/a//./b.mov", "/a/b.mov"},
        {"b.mov", here + "/b.mov"},
        {"./x/../b.mov", here + "/x/../b.mov"},
        {"out/", here + "/out/"},
    };
    for (const auto &c : cases) EXPECT_EQ(cmd_absolute_path(c.in), c.out) << c.in;
}

TEST(TimecodeText, PiecesCarriesAndRefusals) {
    const struct {
        const char *text;
        bool ok;
        uint32_t h, m, s, f;
        bool drop;
    } cases[] = {
        {"01:02:03:04", true, 1, 2, 3, 4, false},
        {"75:10", true, 0, 1, 15, 10, false},
        {"1;00;00;00", true, 1, 0, 0, 0, true},
        {"10:00:00,00", true, 10, 0, 0, 0, true},
        {"12", true, 0, 0, 0, 12, false},
        {"::", true, 0, 0, 0, 0, false},
        {"x:99:1:2:3", true, 99, 1, 2, 3, false},   // only the last four pieces count
        {"0:59:3600:0", true, 1, 59, 0, 0, false},  // 3600 s carry 60 min, which carry 1 h
        {"4294967295:0:0:0", true, 4294967295u, 0, 0, 0, false},
        {"", false, 0, 0, 0, 0, false},
        {"10:0a:00:00", false, 0, 0, 0, 0, false},
        {"-1:00:00:00", false, 0, 0, 0, 0, false},
        {"4294967296", false, 0, 0, 0, 0, false},
        {" 1:00:00:00", false, 0, 0, 0, 0, false},
    };
    for (const auto &c : cases) {
        TimecodeTextValue v;
        v.hours = 77;
        EXPECT_EQ(parse_timecode_text(c.text, &v), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(v.hours, 77u) << c.text;
            continue;
        }
        EXPECT_EQ(v.hours, c.h) << c.text;
        EXPECT_EQ(v.minutes, c.m) << c.text;
        EXPECT_EQ(v.seconds, c.s) << c.text;
        EXPECT_EQ(v.frames, c.f) << c.text;
        EXPECT_EQ(v.has_drop_separator, c.drop) << c.text;
    }
}

}  // namespace
