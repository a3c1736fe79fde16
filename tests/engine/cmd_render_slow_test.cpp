// Renders at the slow quality through the built executable: the DXT1 and DXT5 cluster fit
// on every processor tier the machine has, checked with ffprobe and the ffmpeg tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

using testutil::shell_quote;

TEST(CmdRenderSlow, HapAndHapAlphaReadAsHapAndDecode) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg"), ffprobe = testutil::require_tool("ffprobe");
    ASSERT_FALSE(ffmpeg.empty() || ffprobe.empty());
    testutil::TempDir dir;
    const std::string clip = dir.file("clip.mov");
    ASSERT_EQ(
        testutil::run_command(ffmpeg +
                              " -v error -nostdin -y -f lavfi -i testsrc2=size=200x120:rate=25,format=rgba -t 0.4 "
                              "-vf \"colorchannelmixer=aa=0.6\" -c:v prores_ks -profile:v 4444 "
                              "-pix_fmt yuva444p10le " +
                              shell_quote(clip))
            .status,
        0);
    for (const char *codec : {"hap", "hapa"}) {
        SCOPED_TRACE(codec);
        const std::string out = dir.file(std::string("out/") + codec + ".mov");
        const testutil::ProgramResult r = testutil::run_program(
            ZELQA_EXE, {"--cmd_line_render", "-i", clip, "-o", out, "-codec", codec, "-enc_quality", "slow"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const testutil::CommandResult probe = testutil::run_command(
            ffprobe + " -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 " + shell_quote(out));
        EXPECT_EQ(probe.output, "hap\n");
        EXPECT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -i " + shell_quote(out) + " -f null -").status, 0);
    }
}

}  // namespace
