#include "container/hap/hap_test_clips.h"

#include "testutil/testutil.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

namespace haptest {

namespace {

HapClip make_clip(const std::string &format, uint32_t width, uint32_t height, uint32_t chunks, uint32_t count) {
    HapClip clip;
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    const std::string ffprobe = testutil::require_tool("ffprobe");
    if (ffmpeg.empty() || ffprobe.empty()) return clip;
    testutil::TempDir dir;
    const std::string mov = dir.file("clip.mov");
    // Alpha varies across the picture so that HAP Alpha blocks carry real alpha (geq
    // is slow, so only there).
    const std::string alpha = format == "hap_alpha" ? ",geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='3*X+2*Y'" : "";
    std::ostringstream cmd;
    cmd << testutil::shell_quote(ffmpeg) << " -v error -f lavfi -i "
        << testutil::shell_quote("testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                                 ":rate=5,format=rgba" + alpha)
        << " -frames:v " << count << " -c:v hap -format " << format << " -chunks " << chunks << " -y "
        << testutil::shell_quote(mov);
    if (testutil::run_command(cmd.str()).status != 0) {
        ADD_FAILURE() << "ffmpeg could not make " << format;
        return clip;
    }
    const auto probe = testutil::run_command(testutil::shell_quote(ffprobe) +
                                             " -v error -select_streams v:0 -show_entries packet=pos,size "
                                             "-of default=nw=1 " +
                                             testutil::shell_quote(mov));
    const std::vector<uint8_t> file = testutil::read_file(mov);
    std::istringstream lines(probe.output);
    std::string line;
    long long size = -1, pos = -1;
    while (std::getline(lines, line)) {
        if (line.rfind("size=", 0) == 0) size = std::stoll(line.substr(5));
        if (line.rfind("pos=", 0) == 0) pos = std::stoll(line.substr(4));
        if (size >= 0 && pos >= 0) {
            if (size_t(pos + size) > file.size()) {
                ADD_FAILURE() << "packet outside the file";
                return clip;
            }
            clip.frames.emplace_back(file.begin() + pos, file.begin() + pos + size);
            size = pos = -1;
        }
    }
    const auto raw = testutil::run_command(testutil::shell_quote(ffmpeg) + " -v error -i " +
                                           testutil::shell_quote(mov) + " -f rawvideo -pix_fmt rgba -");
    const size_t frame_bytes = size_t(width) * height * 4;
    for (size_t off = 0; off + frame_bytes <= raw.output.size(); off += frame_bytes)
        clip.rgba.emplace_back(raw.output.begin() + off, raw.output.begin() + off + frame_bytes);
    if (clip.frames.size() != count || clip.rgba.size() != count) {
        ADD_FAILURE() << "expected " << count << " frames, got " << clip.frames.size() << " and " << clip.rgba.size();
        return clip;
    }
    clip.width = width;
    clip.height = height;
    clip.ok = true;
    return clip;
}

}  // namespace

const HapClip &ffmpeg_hap_clip(const std::string &format, uint32_t width, uint32_t height, uint32_t chunks,
                               uint32_t frame_count) {
    static std::map<std::tuple<std::string, uint32_t, uint32_t, uint32_t, uint32_t>, HapClip> cache;
    auto key = std::make_tuple(format, width, height, chunks, frame_count);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, make_clip(format, width, height, chunks, frame_count)).first;
    return it->second;
}

}  // namespace haptest
