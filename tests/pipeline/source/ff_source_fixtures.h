#pragma once
// Small video files made once per test run by the ffmpeg tool, and what the tool itself
// reads from them (per-frame md5 of the decoded rawvideo).
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace sourcetest {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;

inline const testutil::TempDir &fixture_dir() {
    static testutil::TempDir dir;
    return dir;
}

// A file of the given name made from testsrc2 with the given encoder arguments, once.
inline std::string make_clip(const std::string &name, const std::string &args, uint32_t frames = 48,
                             const std::string &rate = "25") {
    static std::map<std::string, std::string> made;
    const std::string path = fixture_dir().file(name);
    if (made.count(name)) return path;
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const std::string cmd = ffmpeg + " -v error -nostdin -y -f lavfi -i testsrc2=size=" + std::to_string(kWidth) + "x" +
                            std::to_string(kHeight) + ":rate=" + rate + " -frames:v " + std::to_string(frames) + " " +
                            args + " " + testutil::shell_quote(path);
    EXPECT_EQ(testutil::run_command(cmd).status, 0) << cmd;
    made[name] = path;
    return path;
}

// A short sine tone, no video.
inline std::string make_tone(const std::string &name) {
    const std::string path = fixture_dir().file(name);
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    EXPECT_EQ(
        testutil::run_command(ffmpeg + " -v error -nostdin -y -f lavfi -i sine -t 0.5 " + testutil::shell_quote(path))
            .status,
        0);
    return path;
}

// H.264 with B-frames and a key frame every 12 frames.
inline std::string h264_args(const std::string &container) {
    return "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p" + (container.empty() ? "" : " -f " + container);
}

// The md5 of every frame as `ffmpeg -f framemd5` gives it, in the given pixel format.
inline std::vector<std::string> tool_md5s(const std::string &path, const std::string &pix_fmt) {
    static std::map<std::string, std::vector<std::string>> known;
    const std::string key = path + " " + pix_fmt;
    if (known.count(key)) return known[key];
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const auto r = testutil::run_command(ffmpeg + " -v error -nostdin -i " + testutil::shell_quote(path) +
                                         " -pix_fmt " + pix_fmt + " -f framemd5 -");
    std::vector<std::string> md5s;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.rfind(',');
        std::string h = line.substr(comma + 1);
        h.erase(0, h.find_first_not_of(' '));
        md5s.push_back(h);
    }
    known[key] = md5s;
    return md5s;
}

}  // namespace sourcetest
