// The media probe against the ffmpeg tool: fixtures are made at test time, and ffprobe is
// the oracle for what FFmpeg-described files hold. The JSON printer in tests/tools is run
// as a separate program for the file-level cases.
#include "pipeline/probe/media_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "media/error_of.h"
#include "pipeline/probe/ff_probe.h"
#include "platform/foundation/json.h"
#include "testutil/testutil.h"

extern "C" {
#include <libavcodec/codec_id.h>
#include <libavutil/pixdesc.h>
}

namespace {

using testutil::shell_quote;

// Fixtures shared by every test of this file, made once.
class ProbeFixtures {
public:
    static ProbeFixtures &get() {
        static ProbeFixtures f;
        return f;
    }
    std::string path(const std::string &name) const { return dir_.file(name); }
    // Makes `name` with the given ffmpeg arguments (inputs and options) unless it exists.
    std::string make(const std::string &name, const std::string &args) {
        const std::string out = path(name);
        if (made_.count(name)) return out;
        const std::string ffmpeg = testutil::require_tool("ffmpeg");
        testutil::CommandResult r =
            testutil::run_command(ffmpeg + " -v error -nostdin -y " + args + " " + shell_quote(out) + " 2>&1");
        EXPECT_EQ(r.status, 0) << name << ": " << r.output;
        made_[name] = true;
        return out;
    }

private:
    testutil::TempDir dir_;
    std::map<std::string, bool> made_;
};

const char *kVideo3001 = "-f lavfi -i testsrc2=size=64x48:rate=30000/1001";

std::string hapa_mov() {
    return ProbeFixtures::get().make("hapa.mov",
                                     "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 5 -c:v hap -format hap_alpha "
                                     "-chunks 4");
}

// Runs the JSON printer on one file.
Json probe_json(const std::string &file, bool force_ff = false) {
    testutil::CommandResult r = testutil::run_command(
        std::string(ZELQA_MEDIA_INFO_JSON) + (force_ff ? " --force-ff " : " ") + shell_quote(file) + " 2>/dev/null");
    Json all;
    std::string error;
    EXPECT_TRUE(json_parse(r.output, &all, &error)) << error << r.output;
    if (!all.is_array() || all.empty()) return Json::object();
    return all[0];
}

// ffprobe's streams of a file (with frames counted when asked).
Json ffprobe_streams(const std::string &file, bool count_frames = false) {
    const std::string ffprobe = testutil::require_tool("ffprobe");
    testutil::CommandResult r = testutil::run_command(ffprobe + " -v error -of json -show_streams -show_format " +
                                                      (count_frames ? "-count_frames " : "") + shell_quote(file));
    Json j;
    std::string error;
    EXPECT_TRUE(json_parse(r.output, &j, &error)) << error;
    return j;
}

Json first_stream(const Json &probe, const char *type) {
    for (const Json &s : probe["streams"])
        if (s.value("codec_type", "") == type) return s;
    return Json::object();
}

// ffprobe's "30000/1001" as {num, den}, reduced the way FFmpeg reports it.
Json rate_of(const std::string &text) {
    size_t slash = text.find('/');
    return Json::array({std::stoul(text.substr(0, slash)), std::stoul(text.substr(slash + 1))});
}


// --- Tables --------------------------------------------------------------------------

TEST(FfProbe, RatesReduceAndDurationsRoundToNearest) {
    struct Rate {
        uint32_t num, den, want_num, want_den;
    } rates[] = {{30000, 1001, 30000, 1001}, {50, 2, 25, 1}, {24, 1, 24, 1}, {60000, 1000, 60, 1}, {0, 0, 0, 0}};
    for (const Rate &r : rates) {
        ZRational z = ff_probe_reduce_rate(r.num, r.den);
        EXPECT_EQ(z.num, r.want_num) << r.num << "/" << r.den;
        EXPECT_EQ(z.den, r.want_den) << r.num << "/" << r.den;
    }
    struct Frames {
        double seconds;
        int num, den;
        uint64_t frames;
    } frames[] = {
        {3.336, 30000, 1001, 100},  // 99.98 frames stored: the last frame stays
        {4.0, 25, 1, 100},
        {0.01, 25, 1, 0},  // rounds to nothing
        {-1, 25, 1, 0},
        {1, 0, 1, 0},
    };
    for (const Frames &f : frames)
        EXPECT_EQ(ff_probe_frames_in_duration(f.seconds, f.num, f.den), f.frames) << f.seconds;
}

TEST(FfProbe, PixelFormatsAndCodecNames) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(ff_pix_fmt_to_pix_fmt(AV_PIX_FMT_YUV420P), PixFmt_YUV420);
    EXPECT_EQ(ff_pix_fmt_to_pix_fmt(AV_PIX_FMT_RGB24), PixFmt_RGB8);
    EXPECT_EQ(ff_pix_fmt_to_pix_fmt(AV_PIX_FMT_GBRAP16LE), PixFmt_PlanarRGBA16);
    EXPECT_EQ(ff_pix_fmt_to_pix_fmt(AV_PIX_FMT_YUVJ422P), PixFmt_YUV422);
    EXPECT_EQ(ff_pix_fmt_to_pix_fmt(AV_PIX_FMT_YUVJ420P), PixFmt_Undefined);  // replaced before the table
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Unknown FF fmt : yuvj420p (12)"), std::string::npos);
    EXPECT_TRUE(ff_pix_fmt_has_alpha(AV_PIX_FMT_RGBA));
    EXPECT_FALSE(ff_pix_fmt_has_alpha(AV_PIX_FMT_YUV420P));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ff_pix_fmt_has_alpha(100000));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Can't find pix fmt description"), std::string::npos);

    auto tag = [](const char *s) {
        return uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
    };
    struct Name {
        int codec_id;
        const char *tag;
        const char *name;
    } names[] = {
        {AV_CODEC_ID_H264, "avc1", "H.264"},
        {AV_CODEC_ID_PRORES, "apch", "Prores 422HQ"},
        {AV_CODEC_ID_PRORES, "xxxx", "Prores (Unknown)"},
        {AV_CODEC_ID_HAP, "HapM", "HAPQA"},
        {AV_CODEC_ID_FFV1, "", "ffv1"},
        {AV_CODEC_ID_AAC, "mp4a", "AAC"},
        {AV_CODEC_ID_PCM_S16LE, "", "PCM S16bits LE"},
    };
    for (const Name &n : names) EXPECT_STREQ(get_ff_codec_display_name(n.codec_id, *n.tag ? tag(n.tag) : 0), n.name);
}

// --- Routing -------------------------------------------------------------------------

struct Probed {
    MediaInfo *m = nullptr;
    std::string printed;
    std::string error;
    ~Probed() { free_media_info(&m); }
};

std::unique_ptr<Probed> probe(const std::string &path, MediaInfoParams params = {}) {
    auto p = std::make_unique<Probed>();
    testing::internal::CaptureStdout();
    p->error = mediatest::error_of([&] { p->m = get_media_info_with_params(path.c_str(), params); });
    p->printed = testing::internal::GetCapturedStdout();
    return p;
}

TEST(MediaProbe, RoutesByExtension) {
    ProbeFixtures &fx = ProbeFixtures::get();
    const std::string hap = hapa_mov();
    const std::string wav = fx.make("s16.wav", "-f lavfi -i sine=duration=0.1 -c:a pcm_s16le");
    const std::string png = fx.make("frame.png", "-f lavfi -i testsrc2=size=32x16 -frames:v 1");
    testutil::TempDir dir;
    auto link = [&](const std::string &target, const std::string &name) {
        const std::string p = dir.file(name);
        EXPECT_EQ(symlink(target.c_str(), p.c_str()), 0) << name;
        return p;
    };
    enum Road { Mov, Wav, Ffmpeg, Image };
    struct Case {
        std::string name;
        const std::string &target;
        Road road;
        const char *ext;
    } cases[] = {
        {"clip.MOV", hap, Mov, "MOV"},    {"clip.Mp4", hap, Mov, "Mp4"},    {"clip.mov", hap, Mov, "mov"},
        {"clip.mOv", hap, Ffmpeg, "mOv"}, {"clip", hap, Ffmpeg, nullptr},   {".hidden", hap, Ffmpeg, nullptr},
        {"clip.wav", wav, Wav, "wav"},    {"clip.WAV", wav, Ffmpeg, "WAV"}, {"x.PNG", png, Image, "PNG"},
        {"dir.mov", hap, Mov, "mov"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto p = probe(link(c.target, c.name));
        ASSERT_EQ(p->error, "");
        const MediaInfo &m = *p->m;
        if (c.ext)
            EXPECT_STREQ(m.ext, c.ext);
        else
            EXPECT_EQ(m.ext, nullptr);
        switch (c.road) {
        case Mov:
            EXPECT_EQ(m.video_src_type, MediaInfoVideoSrc_Mov);
            EXPECT_TRUE(m.is_hap);
            EXPECT_EQ(m.ff_codec_id, 0x18000);
            break;
        case Wav: EXPECT_EQ(m.audio_src_type, MediaInfoAudioSrc_Wav); break;
        case Image: EXPECT_EQ(m.video_src_type, MediaInfoVideoSrc_Image); break;
        case Ffmpeg:
            if (c.target == wav) {
                EXPECT_EQ(m.audio_src_type, MediaInfoAudioSrc_Ffmpeg);
            } else {
                EXPECT_EQ(m.video_src_type, MediaInfoVideoSrc_Ffmpeg);
                EXPECT_FALSE(m.is_hap);
                EXPECT_NE(m.ff_codec_id, 0x18000);
            }
            break;
        }
    }
    // A dot in a folder name is no extension.
    const std::string folder = dir.file("take.v2");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    auto p = probe(link(hap, "take.v2/clip"));
    EXPECT_EQ(p->m->ext, nullptr);
    EXPECT_EQ(p->m->video_src_type, MediaInfoVideoSrc_Ffmpeg);
}

TEST(MediaProbe, ImageSequenceSplit) {
    ProbeFixtures &fx = ProbeFixtures::get();
    const std::string png = fx.make("frame.png", "-f lavfi -i testsrc2=size=32x16 -frames:v 1");
    testutil::TempDir dir;
    struct Case {
        const char *name;
        uint32_t digits;
        const char *base_end;
    } cases[] = {
        {"shot_0042.png", 4, "/shot_"},    {"photo.png", 0, "/photo"}, {"12.png", 2, "/"},
        {"a123456789012.png", 10, "/a12"},  // at most 10 digits make the number
        {"v2.take_7.png", 1, "/v2.take_"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p = dir.file(c.name);
        ASSERT_EQ(symlink(png.c_str(), p.c_str()), 0);
        auto r = probe(p);
        ASSERT_EQ(r->error, "");
        EXPECT_EQ(r->m->img_seq_digits, c.digits);
        EXPECT_EQ(std::string(r->m->img_seq_path_base), dir.path() + c.base_end);
        EXPECT_EQ(r->m->nb_frames, 1u);
        EXPECT_EQ(r->m->width, 32u);
        EXPECT_EQ(r->m->data_descriptor, VideoFramePngData);
    }
    EXPECT_EQ(mediatest::error_of([] { get_media_info(nullptr); }), "Invalid filepath");
}

// --- Agreement with ffprobe -------------------------------------------------------------

TEST(MediaProbe, FfmpegFilesAgreeWithFfprobe) {
    ProbeFixtures &fx = ProbeFixtures::get();
    struct Case {
        std::string name;
        std::string args;
        uint32_t nb_frames;
        int pix_fmt;
    } cases[] = {
        {"h264.avi", std::string(kVideo3001) + " -frames:v 100 -c:v libx264 -pix_fmt yuv420p", 100, 22},
        // Matroska stores 3.336 s: 99.98 frames, which must round to 100.
        {"h264.mkv", std::string(kVideo3001) + " -frames:v 100 -c:v libx264 -pix_fmt yuv420p", 100, 22},
        {"mjpeg.avi", std::string(kVideo3001) + " -frames:v 10 -c:v mjpeg -pix_fmt yuvj420p", 10, 22},
        {"png.mkv", "-f lavfi -i testsrc2=size=64x48:rate=50/2 -frames:v 7 -c:v png -pix_fmt rgba", 7, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = fx.make(c.name, c.args);
        const Json m = probe_json(file);
        const Json v = first_stream(ffprobe_streams(file, true), "video");
        EXPECT_EQ(m["video_src_type"], 3);
        EXPECT_EQ(m["have_video"], true);
        EXPECT_EQ(m["width"], v["width"]);
        EXPECT_EQ(m["height"], v["height"]);
        EXPECT_EQ(m["fps"], rate_of(v["r_frame_rate"]));
        EXPECT_EQ(m["nb_frames"], std::stoul(v["nb_read_frames"].get<std::string>()));
        EXPECT_EQ(m["nb_frames"], c.nb_frames);
        EXPECT_EQ(m["pix_fmt"], c.pix_fmt);
        std::string ff_fmt = v["pix_fmt"];
        if (ff_fmt == "yuvj420p") ff_fmt = "yuv420p";
        EXPECT_EQ(m["ff_pix_fmt"], int(av_get_pix_fmt(ff_fmt.c_str())));
        EXPECT_EQ(m["have_alpha"], c.pix_fmt == 1);
    }
}

TEST(MediaProbe, AudioAgreesWithFfprobe) {
    ProbeFixtures &fx = ProbeFixtures::get();
    struct Case {
        std::string name;
        std::string args;
        uint32_t audio_src_type;
        uint32_t format;
        bool planar;
        const char *description;
    } cases[] = {
        {"aac.mp4", "-f lavfi -i sine=duration=1:sample_rate=48000 -ac 2 -c:a aac", 3, 7, true, "AAC"},
        // No stream duration in Matroska: the file's duration stands for it.
        {"aac.mkv", "-f lavfi -i sine=duration=1:sample_rate=48000 -ac 2 -c:a aac", 3, 7, true, "AAC"},
        {"rf64.wav", "-f lavfi -i sine=duration=1 -c:a pcm_s24le -rf64 always", 0, 3, false, "PCM S24bits LE"},
        {"s32.wav", "-f lavfi -i sine=duration=1 -ac 2 -c:a pcm_s32le", 0, 5, false, "PCM S32bits LE"},
        {"flac.flac", "-f lavfi -i sine=duration=1 -ac 2 -c:a flac", 3, 1, false, "flac"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = fx.make(c.name, c.args);
        const Json m = probe_json(file);
        const Json a = first_stream(ffprobe_streams(file), "audio");
        EXPECT_EQ(m["audio_src_type"], c.audio_src_type);
        ASSERT_EQ(m["nb_audio_tracks"], 1);
        const Json &t = m["audio_tracks"][0];
        EXPECT_EQ(t["is_valid"], true);
        EXPECT_EQ(t["nb_channels"], a["channels"]);
        EXPECT_EQ(t["frequency"], std::stoul(a["sample_rate"].get<std::string>()));
        EXPECT_EQ(t["format"], c.format);
        EXPECT_EQ(t["is_planar"], c.planar);
        EXPECT_EQ(t["description"], c.description);
        EXPECT_EQ(t["is_pcm"], c.audio_src_type == 0);
        const double seconds =
            std::stod(a.contains("duration") ? a["duration"].get<std::string>()
                                             : ffprobe_streams(file)["format"]["duration"].get<std::string>());
        EXPECT_NEAR(t["nb_samples"].get<double>(), seconds * t["frequency"].get<double>(), 1.0);
    }
}

TEST(MediaProbe, MovFilesThroughTheMovReaderAndFfmpeg) {
    ProbeFixtures &fx = ProbeFixtures::get();
    // HAP Alpha: the MOV reader describes everything, the chunk count as written.
    {
        const Json m = probe_json(hapa_mov());
        EXPECT_EQ(m["codec_name"], "HAPA");
        EXPECT_EQ(m["pix_fmt"], 1);
        EXPECT_EQ(m["have_alpha"], true);
        EXPECT_EQ(m["data_descriptor"], 0);
        EXPECT_EQ(m["video_src_type"], 1);
        EXPECT_EQ(m["is_hap"], true);
        EXPECT_EQ(m["hap_chunks"], 4);
        EXPECT_EQ(m["nb_frames"], 5);
        EXPECT_EQ(m["audio_src_type"], 1);  // the MOV reader's, even without a track
        EXPECT_EQ(m["nb_audio_tracks"], 0);
    }
    // H.264 with PCM: video from FFmpeg, audio from the MOV reader.
    {
        const std::string file =
            fx.make("h264_pcm.mov", std::string(kVideo3001) +
                                        " -f lavfi -i sine=duration=2:sample_rate=48000 -frames:v 30 "
                                        "-c:v libx264 -c:a pcm_s16le -ac 2 -t 1.001");
        const Json m = probe_json(file);
        const Json probe = ffprobe_streams(file, true);
        const Json a = first_stream(probe, "audio");
        EXPECT_EQ(m["video_src_type"], 3);
        EXPECT_EQ(m["codec_name"], "H.264");
        EXPECT_EQ(m["nb_frames"], 30);
        EXPECT_EQ(m["fps"], rate_of("30000/1001"));
        EXPECT_EQ(m["audio_src_type"], 1);
        ASSERT_EQ(m["nb_audio_tracks"], 1);
        const Json &t = m["audio_tracks"][0];
        EXPECT_EQ(t["is_pcm"], true);
        EXPECT_EQ(t["format"], 1);
        EXPECT_EQ(t["description"], "PCM S16bits LE");
        EXPECT_EQ(t["nb_channels"], 2);
        EXPECT_EQ(t["nb_samples"], a["duration_ts"]);
    }
    // A fragmented MOV, which the MOV reader refuses, is described by FFmpeg whole.
    {
        const std::string file =
            fx.make("frag.mov", std::string(kVideo3001) +
                                    " -f lavfi -i sine=duration=3 -frames:v 60 -c:v libx264 -c:a aac "
                                    "-movflags frag_keyframe+empty_moov");
        const Json m = probe_json(file);
        const Json probe = ffprobe_streams(file, true);
        EXPECT_EQ(m["video_src_type"], 3);
        EXPECT_EQ(m["nb_frames"], std::stoul(first_stream(probe, "video")["nb_read_frames"].get<std::string>()));
        EXPECT_EQ(m["audio_src_type"], 3);
        ASSERT_EQ(m["nb_audio_tracks"], 1);
        EXPECT_EQ(m["audio_tracks"][0]["description"], "AAC");
        EXPECT_EQ(m["audio_tracks"][0]["is_valid"], true);
    }
    // The MOV reader's timecode.
    {
        const std::string file = fx.make(
            "tc.mov", "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 25 -c:v libx264 -timecode 01:00:00:00");
        const Json m = probe_json(file);
        EXPECT_EQ(m["have_tc"], true);
        EXPECT_EQ(m["tc_start_frame"], 90000);
        EXPECT_EQ(m["tc_drop_frame"], false);
        const Json ff = probe_json(file, true);  // FFmpeg's reading of the same track
        EXPECT_EQ(ff["have_tc"], true);
        EXPECT_EQ(ff["tc_start_frame"], 90000);
    }
}

TEST(MediaProbe, FailedTimecodeStreamSkipsOnlyItself) {
    ProbeFixtures &fx = ProbeFixtures::get();
    const std::string mov = fx.make("tc_av.mov",
                                    "-f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i sine=duration=1 "
                                    "-frames:v 25 -c:v libx264 -c:a pcm_s16le -t 1 -timecode 01:00:00:00");
    // The timecode stream first, with a text FFmpeg cannot parse.
    const std::string nut = fx.make(
        "tc_bad.nut", "-i " + shell_quote(mov) + " -map 0:2 -map 0:0 -map 0:1 -c copy -metadata:s:0 timecode=garbage");
    auto p = probe(nut);
    ASSERT_EQ(p->error, "");
    EXPECT_NE(p->printed.find("Error : Can't create timecode"), std::string::npos);
    EXPECT_FALSE(p->m->have_tc);
    EXPECT_TRUE(p->m->have_video);
    EXPECT_GT(p->m->nb_frames, 0u);
    EXPECT_EQ(p->m->nb_audio_tracks, 1u);
    EXPECT_EQ(p->m->audio_src_type, MediaInfoAudioSrc_Ffmpeg);
}

TEST(MediaProbe, RejectedWavIsDescribedByFfmpegAlone) {
    // 16-bit float samples: the WAV reader reads the header but has no format for them.
    std::vector<uint8_t> b;
    auto put = [&](const char *s) {
        for (int i = 0; i < 4; i++) b.push_back(uint8_t(s[i]));
    };
    auto put16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put("RIFF");
    put32(36 + 400);
    put("WAVE");
    put("fmt ");
    put32(16);
    put16(3);
    put16(1);
    put32(48000);
    put32(96000);
    put16(2);
    put16(16);
    put("data");
    put32(400);
    b.resize(b.size() + 400, 0);
    testutil::TempDir dir;
    const std::string path = dir.file("half.wav");
    testutil::write_file(path, b);
    auto p = probe(path);
    ASSERT_EQ(p->error, "");
    EXPECT_NE(
        p->printed.find("ERROR : Fail to get wav information : Fail to get wav information : Unknown audio descriptor"),
        std::string::npos)
        << p->printed;
    EXPECT_EQ(p->m->audio_src_type, MediaInfoAudioSrc_Ffmpeg);
    // One track, FFmpeg's (which has no decoder for these samples either): the WAV
    // reader's half-filled track is gone.
    ASSERT_EQ(p->m->nb_audio_tracks, 1u);
    EXPECT_FALSE(p->m->audio_tracks[0].is_pcm);
    EXPECT_EQ(p->m->audio_tracks[0].description, nullptr);
}

TEST(MediaProbe, UnreadableFilesRaise) {
    testutil::TempDir dir;
    const std::string text = dir.file("x.mp4");
    testutil::write_file(text, "not a movie at all, just words", 30);
    const std::string empty_jpg = dir.file("empty.jpg");
    testutil::write_file(empty_jpg, "", 0);
    struct Case {
        std::string path;
        std::string error;
    } cases[] = {
        {text, "Fail to get information : Can't open file"},
        {dir.file("missing.mkv"), "Fail to get information : Can't open file"},
        {dir.file("missing.png"), "Fail to get png information : Can't open file : " + dir.file("missing.png") +
                                      ". Error : 2. No such file or directory"},
        {empty_jpg, "Fail to get jpeg information : Empty jpeg file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        auto p = probe(c.path);
        EXPECT_EQ(p->error, c.error);
        EXPECT_EQ(p->m, nullptr);
    }
}

}  // namespace

TEST(MediaProbe, YuvMatrixFromTheTagOrTheSize) {
    const struct {
        int index;
        uint32_t w, h, matrix;
    } table[] = {
        {1, 640, 360, 3}, {5, 1920, 1080, 1}, {6, 1920, 1080, 1}, {2, 640, 360, 1},
        {2, 720, 576, 1}, {2, 1280, 720, 3},  {2, 1024, 600, 3},  {9, 640, 360, 1},
    };
    for (const auto &c : table)
        EXPECT_EQ(media_yuv_matrix(c.index, c.w, c.h), c.matrix) << c.index << " " << c.w << "x" << c.h;

    // Through the MOV reader (colr atom) and through FFmpeg (stream colour space).
    ProbeFixtures &fx = ProbeFixtures::get();
    const struct {
        const char *name;
        const char *args;
        uint32_t matrix;
    } files[] = {
        {"sd_untagged.mov", "-f lavfi -i testsrc2=size=64x48 -frames:v 1 -c:v prores_ks", 1},
        {"sd_709.mov",
         "-f lavfi -i testsrc2=size=64x48 -frames:v 1 -c:v prores_ks -vf "
         "setparams=colorspace=bt709:color_primaries=bt709:color_trc=bt709",
         3},
        {"hd_601.mov",
         "-f lavfi -i testsrc2=size=1280x720 -frames:v 1 -c:v prores_ks -vf "
         "setparams=colorspace=smpte170m:color_primaries=smpte170m:color_trc=smpte170m",
         1},
        {"hd_untagged.mp4", "-f lavfi -i testsrc2=size=1280x720 -frames:v 1 -c:v libx264", 3},
        {"sd_601.mp4", "-f lavfi -i testsrc2=size=64x48 -frames:v 1 -c:v libx264 -colorspace bt470bg", 1},
        {"sd_709.mp4", "-f lavfi -i testsrc2=size=64x48 -frames:v 1 -c:v libx264 -colorspace bt709", 3},
    };
    for (const auto &f : files) EXPECT_EQ(probe_json(fx.make(f.name, f.args))["color_matrix"], f.matrix) << f.name;
}
