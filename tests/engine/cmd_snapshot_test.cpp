#include "engine/cmd_snapshot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

using testutil::shell_quote;

void ffmpeg(const std::string &args) { testutil::run_ffmpeg(args); }

// "codec width height pix_fmt" of the first video stream, as ffprobe reads it.
std::string probe(const std::string &path) {
    const std::string tool = testutil::require_tool("ffprobe");
    const auto r = testutil::run_command(tool +
                                         " -v error -select_streams v:0 -show_entries "
                                         "stream=codec_name,width,height,pix_fmt -of csv=p=0 " +
                                         shell_quote(path) + " 2>/dev/null");
    std::string s = r.output;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

testutil::ProgramResult snapshot(const std::vector<std::string> &args) {
    std::vector<std::string> all = {"--cmd_line_snapshot"};
    all.insert(all.end(), args.begin(), args.end());
    return testutil::run_program(ZELQA_EXE, all);
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

TEST(CmdSnapshot, NamesFormatsAndSizes) {
    testutil::TempDir dir;
    const std::string src = dir.file("src.mov");
    ffmpeg("-f lavfi -i \"testsrc2=s=1920x1080:d=0.2:r=25\" -c:v prores_ks -profile:v 2 " + shell_quote(src));

    // JPEG by default at the source size, whatever the requested extension; never overwritten.
    auto r = snapshot({"-i", src, "-o", dir.file("out/snap.png")});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(probe(dir.file("out/snap.jpg")), "mjpeg,1920,1080,yuvj420p");
    r = snapshot({"-i", src, "-o", dir.file("out/snap.png")});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(exists(dir.file("out/snap_1.jpg")));

    struct Row {
        std::vector<std::string> args;
        std::string file, want;
    } rows[] = {
        {{"-output_format", "png", "-scale_mode", "fit", "-width", "500", "-height", "500"},
         "fit.png",
         "png,500,281,rgb24"},
        {{"-output_format", "png", "-scale_mode", "fit_and_pad", "-width", "500", "-height", "500"},
         "pad.png",
         "png,500,500,rgb24"},
        {{"-jpg_quality", "100", "-scale_mode", "fit", "-width", "64", "-height", "64"},
         "q.jpg",
         "mjpeg,64,36,yuvj420p"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"-i", src, "-o", dir.file(row.file)};
        args.insert(args.end(), row.args.begin(), row.args.end());
        r = snapshot(args);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(probe(dir.file(row.file)), row.want) << row.file;
    }
    // The padded picture is centred: 109 black rows above (the odd one on top), 110 below.
    const std::vector<uint8_t> px = testutil::ffmpeg_raw_frame("-i " + shell_quote(dir.file("pad.png")), "gray");
    ASSERT_EQ(px.size(), 500u * 500u);
    auto row_max = [&](int y) {
        uint8_t m = 0;
        for (int x = 0; x < 500; ++x) m = std::max(m, px[size_t(y) * 500 + size_t(x)]);
        return m;
    };
    EXPECT_EQ(row_max(108), 0);
    EXPECT_GT(row_max(110), 16);
    EXPECT_GT(row_max(389), 16);
    EXPECT_EQ(row_max(391), 0);
}

TEST(CmdSnapshot, FramePastTheEndAndAlpha) {
    testutil::TempDir dir;
    // Ten frames, the last one white: read by the MOV reader and by FFmpeg.
    const std::string frames =
        "-f lavfi -i \"color=c=black:s=64x32:r=25:d=0.4,geq=lum='if(eq(N,9),235,16)':cb=128:cr=128\" ";
    for (const std::string name : {"src.mov", "src.mkv"}) {
        SCOPED_TRACE(name);
        const std::string src = dir.file(name);
        ffmpeg(frames + (name == "src.mov" ? "-c:v prores_ks -profile:v 2 " : "-c:v mpeg4 -q:v 2 -g 4 ") +
               shell_quote(src));
        for (const char *frame : {"500", "9"}) {
            const std::string out = dir.file(name + "_" + frame + ".png");
            auto r = snapshot({"-i", src, "-o", out, "-output_format", "png", "-frame", frame});
            EXPECT_EQ(r.status, 0) << r.out;
            const std::vector<uint8_t> last = testutil::ffmpeg_raw_frame("-i " + shell_quote(out), "gray");
            ASSERT_FALSE(last.empty()) << frame;
            EXPECT_GT(last[0], 200) << frame;
        }
        const std::string out = dir.file(name + "_8.png");
        auto r = snapshot({"-i", src, "-o", out, "-output_format", "png", "-frame", "8"});
        EXPECT_EQ(r.status, 0) << r.out;
        const std::vector<uint8_t> before = testutil::ffmpeg_raw_frame("-i " + shell_quote(out), "gray");
        ASSERT_FALSE(before.empty());
        EXPECT_LT(before[0], 40);
    }

    // A straight-alpha picture: 4 channels in PNG, 3 with the alpha ignored.
    const std::string img = dir.file("a.png");
    ffmpeg(
        "-f lavfi -i \"testsrc2=s=64x32:d=0.04,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*4'\" "
        "-frames:v 1 " +
        shell_quote(img));
    auto r = snapshot({"-i", img, "-o", dir.file("s1.png"), "-output_format", "png"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(probe(dir.file("s1.png")), "png,64,32,rgba");
    r = snapshot({"-i", img, "-o", dir.file("s2.png"), "-output_format", "png", "-i_alpha", "ignore"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(probe(dir.file("s2.png")), "png,64,32,rgb24");
    // As JPEG, merged over black: the transparent left column is black.
    r = snapshot({"-i", img, "-o", dir.file("s3.jpg")});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::vector<uint8_t> j = testutil::ffmpeg_raw_frame("-i " + shell_quote(dir.file("s3.jpg")), "gray");
    ASSERT_EQ(j.size(), 64u * 32u);
    EXPECT_LT(j[16 * 64 + 0], 24);
}

TEST(CmdSnapshot, ArgumentsAndFailures) {
    testutil::TempDir dir;
    auto r = snapshot({"-jpg_quality", "0", "-width", "3", "-o", dir.file("x.jpg"), "-bogus"});
    EXPECT_EQ(r.status, 3);
    for (const char *line : {"INFO : value '0' unknown for parameter '-jpg_quality' (will be ignored)\n",
                             "INFO : value '3' unknown for parameter '-width' (will be ignored)\n",
                             "WARNING : Unknown argument (will be ignore) : '-bogus'\n",
                             "ERROR : Unset input file\nERROR : Processing failed\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in " << r.out;

    r = snapshot({"-i", dir.file("x.mov")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("ERROR : Unset output file\nERROR : Processing failed\n"), std::string::npos) << r.out;

    r = snapshot({"-i", dir.file("x.mov"), "-o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ERROR : Not enough arguments. -o expect value.\n"), std::string::npos) << r.out;

    r = snapshot({});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ERROR : Not enough input arguments\n"), std::string::npos) << r.out;

    // A source that cannot be read: the engine's message, nothing written.
    testutil::write_file(dir.file("bad.mov"), "not a movie", 11);
    r = snapshot({"-i", dir.file("bad.mov"), "-o", dir.file("bad.jpg")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("ERROR : "), std::string::npos);
    EXPECT_FALSE(exists(dir.file("bad.jpg")));
}

TEST(CmdSnapshot, ANameTakenAfterTheChoiceIsNotOverwritten) {
    testutil::TempDir dir;
    const std::string src = dir.file("src.mov");
    ffmpeg("-f lavfi -i \"testsrc2=s=64x32:d=0.04\" -c:v prores_ks -profile:v 2 " + shell_quote(src));
    HapStandSnapshotCmdLine *snap = snapshot_cmd_line_create();
    snap->input_path = strdup(src.c_str());
    snap->output_path = strdup(dir.file("s.jpg").c_str());
    testutil::write_file(dir.file("s.jpg"), "keep", 4);  // appears after the name was chosen
    snapshot_cmd_line_process(snap);
    EXPECT_EQ(std::string(snap->output_path), dir.file("s_1.jpg"));
    EXPECT_EQ(testutil::read_file(dir.file("s.jpg")).size(), 4u);
    EXPECT_EQ(probe(dir.file("s_1.jpg")), "mjpeg,64,32,yuvj420p");
    snapshot_cmd_line_free(&snap);
    EXPECT_EQ(snap, nullptr);
}

}  // namespace
