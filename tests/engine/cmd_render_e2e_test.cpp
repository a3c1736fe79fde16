// Whole renders through the built executable on clips made by the ffmpeg tool, checked
// with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

using testutil::shell_quote;

class CmdRenderE2E : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new testutil::TempDir();
        ffmpeg_ = testutil::require_tool("ffmpeg");
        ffprobe_ = testutil::require_tool("ffprobe");
        if (ffmpeg_.empty() || ffprobe_.empty()) return;
        auto run = [&](const std::string &args) {
            EXPECT_EQ(testutil::run_command(ffmpeg_ + " -v error -nostdin -y " + args).status, 0) << args;
        };
        run("-f lavfi -i testsrc2=size=640x360:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 4 "
            "-ac 2 -c:v prores_ks -c:a pcm_s16le " +
            shell_quote(file("clip.mov")));
        run("-f lavfi -i testsrc2=size=128x72:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 -ac 2 "
            "-c:v prores -c:a pcm_s16le " +
            shell_quote(file("small.mov")));
        run("-f lavfi -i testsrc2=size=128x72:rate=25 -t 1 -c:v prores " + shell_quote(file("mute.mov")));
        run("-f lavfi -i testsrc2=size=128x72:rate=25 -t 1 -vf \"format=rgba,colorchannelmixer=aa=0.5\" "
            "-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le " +
            shell_quote(file("alpha.mov")));
        run("-f lavfi -i testsrc2=size=128x72:rate=25,format=rgba -t 1 -c:v hap -format hap_alpha " +
            shell_quote(file("hapa.mov")));
        // Six mono WAVs of distinct amplitudes named by their channel.
        const char *suffixes[] = {"l", "r", "c", "lfe", "ls", "rs"};
        for (int i = 0; i < 6; ++i)
            run("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -af volume=" +
                std::to_string(0.1 * (i + 1)) + " -ac 1 -c:a pcm_s16le " +
                shell_quote(file(std::string("x_") + suffixes[i] + ".wav")));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string &name) { return dir_->file(name); }

    static testutil::ProgramResult render(const std::vector<std::string> &args) {
        std::vector<std::string> all = {"--cmd_line_render"};
        all.insert(all.end(), args.begin(), args.end());
        return testutil::run_program(ZELQA_EXE, all);
    }
    // key=value lines of ffprobe for one stream.
    static std::map<std::string, std::string> probe(const std::string &path, const std::string &stream,
                                                    const std::string &entries) {
        const testutil::CommandResult r =
            testutil::run_command(ffprobe_ + " -v error -select_streams " + stream + " -count_packets -show_entries " +
                                  entries + " -of default=noprint_wrappers=1 " + shell_quote(path));
        std::map<std::string, std::string> m;
        std::istringstream in(r.output);
        std::string line;
        while (std::getline(in, line)) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && !m.count(line.substr(0, eq))) m[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return m;
    }
    // PSNR of a render against its source in RGB; the source's chroma is upsampled the
    // way the renderer does it (bilinear, full horizontal interpolation).
    static double psnr(const std::string &render, const std::string &source) {
        const testutil::CommandResult r = testutil::run_command(
            ffmpeg_ + " -nostdin -i " + shell_quote(render) + " -i " + shell_quote(source) +
            " -lavfi '[0:v]format=rgb24[x];[1:v]scale=flags=bilinear+full_chroma_int,format=rgb24[y];[x][y]psnr' "
            "-f null - 2>&1");
        const size_t at = r.output.rfind("average:");
        return at == std::string::npos ? 0.0 : atof(r.output.c_str() + at + 8);
    }
    static std::string media_hash(const std::string &path, const std::string &options) {
        return testutil::run_command(ffmpeg_ + " -v error -nostdin -i " + shell_quote(path) + " " + options +
                                     " -f framemd5 - | grep -v '^#'")
            .output;
    }
    static std::vector<int16_t> pcm16(const std::string &path, int channels) {
        const testutil::CommandResult r =
            testutil::run_command(ffmpeg_ + " -v error -nostdin -i " + shell_quote(path) + " -map 0:a:0 -ac " +
                                  std::to_string(channels) + " -f s16le -");
        std::vector<int16_t> s(r.output.size() / 2);
        memcpy(s.data(), r.output.data(), s.size() * 2);
        return s;
    }

    static testutil::TempDir *dir_;
    static std::string ffmpeg_, ffprobe_;
};

testutil::TempDir *CmdRenderE2E::dir_ = nullptr;
std::string CmdRenderE2E::ffmpeg_, CmdRenderE2E::ffprobe_;

// Percent lines of each step: from 0, rising, never repeated, at most 99; the run ends at 100.
void expect_progress_lines(const std::string &out) {
    std::istringstream in(out);
    std::string line;
    std::vector<std::string> steps;
    int last = -1;
    std::string last_line;
    while (std::getline(in, line)) {
        if (line.rfind("INFO : Start step : ", 0) == 0) {
            steps.push_back(line.substr(20));
            last = -1;
        } else if (line.rfind("PROGRESS : ", 0) == 0) {
            const int p = atoi(line.c_str() + 11);
            if (last == -1) { EXPECT_EQ(p, 0) << line; }
            if (line != "PROGRESS : 100 %") {
                EXPECT_GT(p, last) << out;
                EXPECT_LE(p, 99) << out;
            }
            last = p;
        }
        if (!line.empty()) last_line = line;
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"VideoProcessing", "AudioProcessing"})) << out;
    EXPECT_EQ(last_line, "PROGRESS : 100 %") << out;
}

// The first render as a new user types it, from the clip's folder with relative paths.
TEST_F(CmdRenderE2E, FirstRenderHapAndHapQ) {
    const testutil::CommandResult r =
        testutil::run_command("cd " + shell_quote(dir_->path()) + " && " + shell_quote(ZELQA_EXE) +
                              " --cmd_line_render -i clip.mov -o out/clip.mov");
    ASSERT_EQ(r.status, 0) << r.output;
    expect_progress_lines(r.output);
    const std::string out = file("out/clip.mov");
    std::map<std::string, std::string> v = probe(out, "v:0",
                                                 "stream=codec_name,codec_tag_string,width,height,"
                                                 "r_frame_rate,nb_read_packets");
    EXPECT_EQ(v["codec_name"], "hap");
    EXPECT_EQ(v["codec_tag_string"], "Hap1");
    EXPECT_EQ(v["width"], "640");
    EXPECT_EQ(v["height"], "360");
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_packets"], "100");
    std::map<std::string, std::string> a = probe(out, "a:0", "stream=codec_name,sample_rate,channels,duration_ts");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(a["duration_ts"], "192000");
    const testutil::CommandResult decode =
        testutil::run_command(ffmpeg_ + " -v error -nostdin -i " + shell_quote(out) + " -f null - 2>&1");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
    EXPECT_GE(psnr(out, file("clip.mov")), 35.0);
    const std::vector<int16_t> got = pcm16(out, 2), want = pcm16(file("clip.mov"), 2);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::abs(got[i] - want[i]), 1) << "sample " << i;

    // A second render never overwrites the first.
    const testutil::ProgramResult again = render({"-i", file("clip.mov"), "-o", out, "-codec", "hapq"});
    ASSERT_EQ(again.status, 0) << again.out;
    const std::string q = file("out/clip_1.mov");
    EXPECT_EQ(probe(q, "v:0", "stream=codec_tag_string")["codec_tag_string"], "HapY");
    EXPECT_EQ(probe(out, "v:0", "stream=codec_tag_string")["codec_tag_string"], "Hap1");
    EXPECT_GE(psnr(q, file("clip.mov")), 37.0);
}

TEST_F(CmdRenderE2E, OptionRuns) {
    const struct {
        std::string source;
        std::vector<std::string> options;
        std::string tag;
        std::string audio;  // codec_name,sample_rate of the audio, "" for none
        std::string timecode;
    } cases[] = {
        {"alpha.mov", {"-codec", "hapa"}, "Hap5", "", ""},
        {"small.mov", {"-codec", "hapr"}, "Hap7", "pcm_s16le,48000", ""},
        {"small.mov", {"-audio_freq", "44100", "-audio_quantif", "24i"}, "Hap1", "pcm_s24le,44100", ""},
        {"small.mov", {"-disable_audio"}, "Hap1", "", ""},
        {"small.mov",
         {"-i_fps", "30000/1001", "-write_tc", "overwrite", "-overwrite_tc", "10:00:00:00"},
         "Hap1",
         "pcm_s16le,48000",
         "10:00:00;00"},
    };
    int n = 0;
    for (const auto &c : cases) {
        const std::string out = file("opt/run" + std::to_string(n++) + ".mov");
        std::vector<std::string> args = {"-i", file(c.source), "-o", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const testutil::ProgramResult r = render(args);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(probe(out, "v:0", "stream=codec_tag_string")["codec_tag_string"], c.tag) << out;
        std::map<std::string, std::string> a = probe(out, "a", "stream=codec_name,sample_rate");
        EXPECT_EQ(a.empty() ? "" : a["codec_name"] + "," + a["sample_rate"], c.audio) << out;
        std::map<std::string, std::string> d = probe(out, "d", "stream=codec_tag_string:stream_tags=timecode");
        EXPECT_EQ(d["TAG:timecode"], c.timecode) << out;
        if (!c.timecode.empty()) { EXPECT_EQ(d["codec_tag_string"], "tmcd"); }
    }
}

// Six WAVs named by channel give one 5.1 track in that order.
TEST_F(CmdRenderE2E, SixWavInputsMakeOneSixChannelTrack) {
    const std::string out = file("wav6/clip.mov");
    std::vector<std::string> args = {"-i", file("mute.mov"), "-o", out};
    // Given in a scrambled order: the channel suffixes decide.
    for (const char *s : {"rs", "c", "l", "ls", "lfe", "r"}) {
        args.push_back("-i_wav");
        args.push_back(file(std::string("x_") + s + ".wav"));
    }
    const testutil::ProgramResult r = render(args);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(probe(out, "a", "stream=channels")["channels"], "6");
    const std::vector<int16_t> s = pcm16(out, 6);
    ASSERT_GE(s.size(), 6u * 48000u);
    double peak[6] = {0};
    for (size_t i = 0; i < s.size(); ++i) peak[i % 6] = std::max(peak[i % 6], std::fabs(double(s[i])));
    // The sine source peaks at 1/8 before the volume.
    for (int ch = 0; ch < 6; ++ch) EXPECT_NEAR(peak[ch] / 32768.0, 0.0125 * (ch + 1), 0.001) << "channel " << ch;
}

// HAP Alpha rendered as HAP re-packs the blocks: the pictures are the source's.
TEST_F(CmdRenderE2E, SmartRenderingKeepsThePictures) {
    const std::string out = file("smart/clip.mov");
    const testutil::ProgramResult r = render({"-i", file("hapa.mov"), "-o", out, "-codec", "hap"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(probe(out, "v:0", "stream=codec_tag_string")["codec_tag_string"], "Hap1");
    const std::string want = media_hash(file("hapa.mov"), "-pix_fmt rgb24");
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(media_hash(out, "-pix_fmt rgb24"), want);
}

// One processor or all give the same samples.
TEST_F(CmdRenderE2E, OneProcessorGivesTheSameSamples) {
    const std::string taskset = testutil::require_tool("taskset");
    if (taskset.empty()) return;
    const std::string all = file("cpus/all.mov"), one = file("cpus/one.mov");
    ASSERT_EQ(render({"-i", file("small.mov"), "-o", all, "-enc_quality", "normal"}).status, 0);
    const testutil::ProgramResult r = testutil::run_program(
        taskset,
        {"-c", "0", ZELQA_EXE, "--cmd_line_render", "-i", file("small.mov"), "-o", one, "-enc_quality", "normal"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string want = media_hash(all, "-map 0 -c copy");
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(media_hash(one, "-map 0 -c copy"), want);
}

// SIGINT stops the render: the line, status 3 and a shorter file that can be read.
TEST_F(CmdRenderE2E, StopSignal) {
    const std::string out = file("stop/clip.mov");
    testutil::SpawnedProgram p(
        ZELQA_EXE, {"--cmd_line_render", "-i", file("clip.mov"), "-o", out, "-codec", "hapq", "-enc_quality", "slow"});
    // The second percent line comes once frames are written (a stop before the first frame
    // leaves nothing to index).
    ASSERT_TRUE(p.wait_for_output("INFO : Start step : VideoProcessing", 60.0)) << p.out();
    ASSERT_TRUE(p.wait_for_output(" %\nPROGRESS : ", 60.0)) << p.out();
    p.send_signal(SIGINT);
    const testutil::ProgramResult r = p.finish();
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("INFO : Received stop signal\n"), std::string::npos) << r.out;
    const std::map<std::string, std::string> v = probe(out, "v:0", "stream=codec_tag_string,nb_read_packets");
    ASSERT_TRUE(v.count("codec_tag_string")) << r.out << r.err;
    EXPECT_EQ(v.at("codec_tag_string"), "HapY");
    EXPECT_LT(atoi(v.at("nb_read_packets").c_str()), 100);
}

}  // namespace
