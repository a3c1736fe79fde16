// The whole chain of one output (WAV source, conversion, mapping, gain, output
// conversion) through tests/tools/audio_chain_pcm, on files made by the ffmpeg tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace {

using testutil::shell_quote;

std::vector<int16_t> read_s16(const std::string &path) {
    const std::vector<uint8_t> b = testutil::read_file(path);
    std::vector<int16_t> s(b.size() / 2);
    memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

class AudioChainTool : public ::testing::Test {
protected:
    void SetUp() override {
        ffmpeg_ = testutil::require_tool("ffmpeg");
        ffprobe_ = testutil::require_tool("ffprobe");
    }
    // A WAV file from an ffmpeg audio source description.
    std::string make_wav(const std::string &name, const std::string &source, const std::string &codec = "pcm_s16le") {
        const std::string path = dir_.file(name);
        EXPECT_EQ(testutil::run_command(ffmpeg_ + " -v error -f lavfi -i " + shell_quote(source) + " -c:a " + codec +
                                        " " + shell_quote(path))
                      .status,
                  0);
        return path;
    }
    int chain(const std::string &args) {
        return testutil::run_command(std::string(ZELQA_AUDIO_CHAIN_PCM) + " " + args + " >/dev/null").status;
    }
    std::string probe(const std::string &args) {
        return testutil::run_command(ffprobe_ + " -v error " + args + " -of default=nw=1:nk=1").output;
    }
    testutil::TempDir dir_;
    std::string ffmpeg_, ffprobe_;
};

TEST_F(AudioChainTool, ResamplingGivesTheNearestSampleCount) {
    ASSERT_FALSE(ffmpeg_.empty());
    ASSERT_FALSE(ffprobe_.empty());
    // 2.3 s plus 17 samples: not a whole number of seconds.
    const std::string in =
        make_wav("in.wav", "aevalsrc=0.5*sin(2*PI*440*t)|0.25*sin(2*PI*880*t):c=stereo:s=44100:d=2.3004");
    const uint64_t n = std::strtoull(probe("-show_entries stream=duration_ts " + shell_quote(in)).c_str(), nullptr, 10);
    ASSERT_GT(n, 101000u);
    const std::string out = dir_.file("out.raw");
    ASSERT_EQ(chain("-rate 48000 -o " + shell_quote(out) + " " + shell_quote(in)), 0);
    const std::string fields =
        probe("-f s16le -ar 48000 -ch_layout stereo -show_entries stream=sample_rate,channels " + shell_quote(out));
    EXPECT_EQ(fields, "48000\n2\n");
    const uint64_t expected = uint64_t(std::floor(double(n) * 48000 / 44100 + 0.5));
    const uint64_t frames =
        std::strtoull(testutil::run_command(ffmpeg_ + " -v error -f s16le -ar 48000 -ch_layout stereo -i " +
                                            shell_quote(out) + " -f s16le - | wc -c")
                          .output.c_str(),
                      nullptr, 10) /
        4;
    EXPECT_EQ(frames, expected);
}

TEST_F(AudioChainTool, GainMappingAndDualStereo) {
    ASSERT_FALSE(ffmpeg_.empty());
    // -6 dB on a full-scale sine at 48000 Hz (no resampling): 32767 x 0.501187.
    const std::string full = make_wav("full.wav", "aevalsrc=sin(2*PI*1000*t):c=mono:s=48000:d=1.5");
    const std::string out = dir_.file("gain.raw");
    ASSERT_EQ(chain("-gain -6 -o " + shell_quote(out) + " " + shell_quote(full)), 0);
    std::vector<int16_t> s = read_s16(out);
    ASSERT_EQ(s.size(), 72000u);
    const int peak = std::abs(int(*std::max_element(
        s.begin(), s.end(), [](int16_t a, int16_t b) { return std::abs(int(a)) < std::abs(int(b)); })));
    EXPECT_NEAR(peak, 16422, 1);

    // Two stereo files with masks 1, 2, 1, 2: left and right sum.
    const std::string a = make_wav("a.wav", "aevalsrc=0.25|-0.125:c=stereo:s=48000:d=1", "pcm_f32le");
    const std::string b = make_wav("b.wav", "aevalsrc=0.5|0.25:c=stereo:s=48000:d=1", "pcm_f32le");
    const std::string mixed = dir_.file("mix.raw");
    ASSERT_EQ(
        chain("-channels 2 -masks 1,2,1,2 -o " + shell_quote(mixed) + " " + shell_quote(a) + " " + shell_quote(b)), 0);
    s = read_s16(mixed);
    ASSERT_EQ(s.size(), 96000u);
    EXPECT_EQ(s[1000], int16_t(std::lround(0.75 * 32767)));
    EXPECT_EQ(s[1001], int16_t(std::lround(0.125 * 32767)));

    // Four channels split into two stereo outputs.
    const std::string quad = make_wav("quad.wav", "aevalsrc=0.1|0.2|0.3|0.4:c=4.0:s=48000:d=1", "pcm_f32le");
    const std::string o1 = dir_.file("d1.raw"), o2 = dir_.file("d2.raw");
    ASSERT_EQ(chain("-dual -o " + shell_quote(o1) + " -o2 " + shell_quote(o2) + " " + shell_quote(quad)), 0);
    const std::vector<int16_t> s1 = read_s16(o1), s2 = read_s16(o2);
    ASSERT_EQ(s1.size(), 96000u);
    ASSERT_EQ(s2.size(), 96000u);
    const float v[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_EQ(s1[500], int16_t(std::lround(v[0] * 32767)));
    EXPECT_EQ(s1[501], int16_t(std::lround(v[1] * 32767)));
    EXPECT_EQ(s2[500], int16_t(std::lround(v[2] * 32767)));
    EXPECT_EQ(s2[501], int16_t(std::lround(v[3] * 32767)));
}

}  // namespace
