// Renders through the built executable whose settings need the analysis pass: audio gain
// modes, the silent-track rule and the automatic crop, reached through a preset file.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "model/settings/setting.h"
#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

using testutil::shell_quote;

void ffmpeg(const std::string &args) { testutil::run_ffmpeg(args); }

std::string ffprobe(const std::string &args) {
    const std::string tool = testutil::require_tool("ffprobe");
    std::string s = testutil::run_command(tool + " -v error " + args + " 2>/dev/null").output;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// A preset file holding the command line's default setting with `edit` applied.
template <typename Edit>
std::string write_preset(const testutil::TempDir &dir, const std::string &name, Edit edit) {
    Setting s;
    s.set_default_preset_cmd_rendering();
    edit(s);
    const std::string path = dir.file(name);
    const std::string text = s.get_xml_str_content();
    testutil::write_file(path, text.data(), text.size());
    return path;
}

testutil::ProgramResult render(const std::string &src, const std::string &preset, const std::string &out) {
    return testutil::run_program(ZELQA_EXE, {"--cmd_line_render", "-i", src, "-preset", preset, "-o", out});
}

struct Loudness {
    double integrated = NAN;
    double true_peak = NAN;
};

// The tool's integrated loudness and true peak of a file's audio.
Loudness ebur128(const std::string &path) {
    const std::string tool = testutil::require_tool("ffmpeg");
    const auto r = testutil::run_command(tool + " -hide_banner -nostats -i " + shell_quote(path) +
                                         " -map 0:a -af ebur128=peak=true -f null - 2>&1");
    Loudness m;
    const size_t summary = r.output.rfind("Summary:");
    const std::string tail = summary == std::string::npos ? r.output : r.output.substr(summary);
    std::smatch sm;
    if (std::regex_search(tail, sm, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)"))) m.integrated = std::stod(sm[1]);
    if (std::regex_search(tail, sm, std::regex(R"(True peak:\s+Peak:\s+(-?[0-9.]+) dBFS)")))
        m.true_peak = std::stod(sm[1]);
    return m;
}

TEST(AnalysisRenderExe, GainModesAndTheSilentTrack) {
    testutil::TempDir dir;
    const std::string video = "-f lavfi -i testsrc2=s=64x32:r=25:d=4 ";
    const std::string sine = dir.file("sine.mov");
    ffmpeg(video + "-f lavfi -i \"sine=f=1000:d=4:sample_rate=48000\" -af volume=0.25 -ac 2 -c:v prores " +
           "-c:a pcm_s16le " + shell_quote(sine));
    const std::string silent = dir.file("silent.mov");
    ffmpeg(video + "-f lavfi -i \"anullsrc=r=48000:cl=stereo\" -t 4 -c:v prores -c:a pcm_s16le " + shell_quote(silent));

    const std::string loud = write_preset(dir, "loud.xml", [](Setting &s) {
        s.setAud_gain_mode(3);
        s.setAud_target_loudness_val(-23.0f);
        s.setAud_true_peak_val(-2.0f);
    });
    auto r = render(sine, loud, dir.file("loud.mov"));
    ASSERT_EQ(r.status, 0) << r.out;
    Loudness m = ebur128(dir.file("loud.mov"));
    EXPECT_NEAR(m.integrated, -23.0, 0.5) << r.out;
    EXPECT_LE(m.true_peak, -1.9);

    const std::string peak = write_preset(dir, "peak.xml", [](Setting &s) {
        s.setAud_gain_mode(2);
        s.setAud_true_peak_val(-2.0f);
    });
    r = render(sine, peak, dir.file("peak.mov"));
    ASSERT_EQ(r.status, 0) << r.out;
    m = ebur128(dir.file("peak.mov"));
    EXPECT_NEAR(m.true_peak, -2.0, 0.2) << r.out;

    const std::string drop = write_preset(dir, "drop.xml", [](Setting &s) { s.setAud_ignore_silent_track(true); });
    r = render(silent, drop, dir.file("drop.mov"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(
        ffprobe("-select_streams v -show_entries stream=codec_type -of csv=p=0 " + shell_quote(dir.file("drop.mov"))),
        "video");
    EXPECT_EQ(
        ffprobe("-select_streams a -show_entries stream=codec_type -of csv=p=0 " + shell_quote(dir.file("drop.mov"))),
        "");
    // With sound, the same rule keeps the track.
    r = render(sine, drop, dir.file("kept.mov"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(
        ffprobe("-select_streams a -show_entries stream=codec_type -of csv=p=0 " + shell_quote(dir.file("kept.mov"))),
        "audio");
}

// Content 320 x 180 in transparent borders of a 640 x 360 picture: the crop keeps the
// content, top and bottom rounded down to multiples of 4, and a left edge at 162 is
// rounded down to the block of 4 before it.
TEST(AnalysisRenderExe, AutomaticCropOfTransparentBorders) {
    testutil::TempDir dir;
    const std::string content = "-f lavfi -i \"testsrc2=s=320x180:r=25:d=0.4,format=rgba,pad=640:360:";
    const std::string prores = dir.file("prores.mov");
    ffmpeg(content + "160:90:color=black@0\" -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le " +
           shell_quote(prores));
    const std::string hap = dir.file("hap.mov");
    ffmpeg(content + "162:90:color=black@0\" -c:v hap -format hap_alpha " + shell_quote(hap));
    const std::string preset = write_preset(dir, "crop.xml", [](Setting &s) { s.setIs_auto_crop(true); });
    const struct {
        std::string src, out, size;
    } cases[] = {{prores, dir.file("a.mov"), "320,184"}, {hap, dir.file("b.mov"), "324,184"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.src);
        const auto r = render(c.src, preset, c.out);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(ffprobe("-select_streams v:0 -show_entries stream=width,height -of csv=p=0 " + shell_quote(c.out)),
                  c.size)
            << r.out;
    }
}

TEST(AnalysisRenderExe, InterruptDuringTheAnalysisExitsWithStatus3) {
    testutil::TempDir dir;
    // Ten minutes of sound behind one second of picture: a long audio analysis.
    const std::string src = dir.file("long.mkv");
    ffmpeg(
        "-f lavfi -i testsrc2=s=64x32:r=25:d=1 -f lavfi -i \"sine=f=440:sample_rate=48000:d=600\" -ac 2 "
        "-c:v mpeg4 -c:a flac " +
        shell_quote(src));
    const std::string preset = write_preset(dir, "loud.xml", [](Setting &s) { s.setAud_gain_mode(3); });
    testutil::SpawnedProgram p(ZELQA_EXE,
                               {"--cmd_line_render", "-i", src, "-preset", preset, "-o", dir.file("out.mov")});
    ASSERT_TRUE(p.wait_for_output("Start step : AudioAnalyse", 60.0)) << p.out();
    const auto sent = std::chrono::steady_clock::now();
    p.send_signal(SIGINT);
    const testutil::ProgramResult r = p.finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_LT(seconds, 10.0);
    EXPECT_EQ(r.out.find("Start step : VideoProcessing"), std::string::npos) << r.out;
}

}  // namespace
