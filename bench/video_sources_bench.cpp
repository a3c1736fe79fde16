// Frames per second of the FFmpeg video source (1080p H.264 and ProRes, native layout and
// RGBA8, batches of 1 and 8) and of the FFmpeg intra decode node (ProRes, one thread or
// slice threads). The clips are made once by the ffmpeg tool in a temporary folder; run by hand.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "container/mov/mov_demuxer.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/probe/media_probe.h"
#include "pipeline/source/ff_video_demuxer.h"

namespace {

const std::string &clip(const std::string &name, const std::string &args) {
    static std::string dir;
    static std::vector<std::pair<std::string, std::string>> made;
    for (const auto &m : made)
        if (m.first == name) return m.second;
    if (dir.empty()) {
        char tmpl[] = "/tmp/zelqa_bench_XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    const std::string path = dir + "/" + name;
    const std::string cmd = "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 60 " +
                            args + " '" + path + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "ffmpeg failed: %s\n", cmd.c_str());
    made.emplace_back(name, path);
    return made.back().second;
}

const std::string &h264() { return clip("h264.mkv", "-c:v libx264 -preset veryfast -pix_fmt yuv420p"); }
const std::string &prores() { return clip("prores.mov", "-c:v prores_ks -profile:v 2"); }

void source(benchmark::State &state, const std::string &path, uint32_t pix_fmt, uint32_t batch) {
    FfVideoDemuxerParams p;
    p.path = path.c_str();
    p.pix_fmt = pix_fmt;
    p.dec_width = p.dst_width = 1920;
    p.dec_height = p.dst_height = 1080;
    std::vector<VideoFrame *> frames(batch);
    for (VideoFrame *&f : frames) f = video_frame_new();
    int64_t total = 0;
    for (auto _ : state) {
        VideoDemuxer *d = create_video_demuxer_ff(p, batch);
        uint32_t n;
        while ((n = video_demuxer_demux(d, frames.data())) > 0) total += n;
        video_demuxer_free(d);
    }
    state.counters["fps"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
    for (VideoFrame *&f : frames) video_frame_destroy(&f);
}

void intra(benchmark::State &state, uint8_t threaded) {
    const std::string &path = prores();
    MediaInfo *m = get_media_info(path.c_str());
    MovDemuxerParams dp;
    dp.path = path.c_str();
    VideoDemuxer *d = create_video_demuxer_mov(&dp, 1);
    std::vector<VideoFrame *> samples;
    for (uint32_t i = 0; i < m->nb_frames; ++i) {
        samples.push_back(video_frame_new());
        video_demuxer_get_frame(d, i, samples.back(), false);
    }
    FfIntraDecodeParams p;
    p.data_descriptor = m->data_descriptor;
    p.width = m->width;
    p.height = m->height;
    p.codec_tag = m->codec_fourcc;
    p.pix_fmt = m->pix_fmt;
    p.threaded = threaded;
    VideoFilter *node = create_filter_ff_intra_decode(p);
    int64_t total = 0;
    for (auto _ : state) {
        for (VideoFrame *s : samples) {
            node->inputs[0] = s;
            node->process(node);
        }
        total += int64_t(samples.size());
    }
    state.counters["fps"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
    video_filter_free(node);
    for (VideoFrame *&s : samples) video_frame_destroy(&s);
    video_demuxer_free(d);
    free_media_info(&m);
}

void register_all() {
    struct Clip {
        const char *name;
        const std::string &(*path)();
        uint32_t native;
    } clips[] = {{"h264", h264, PixFmt_YUV420}, {"prores", prores, PixFmt_YUV422_10}};
    for (const Clip &c : clips)
        for (uint32_t fmt : {c.native, uint32_t(PixFmt_RGBA8)})
            for (uint32_t batch : {1u, 8u}) {
                const std::string name = std::string("FfSource/") + c.name +
                                         (fmt == PixFmt_RGBA8 ? "/rgba8" : "/native") + "/batch" +
                                         std::to_string(batch);
                auto path = c.path;
                benchmark::RegisterBenchmark(name.c_str(),
                                             [path, fmt, batch](benchmark::State &s) { source(s, path(), fmt, batch); })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
    for (uint8_t threaded : {0, 1})
        benchmark::RegisterBenchmark(
            threaded ? "FfIntraDecode/prores/slice_threads" : "FfIntraDecode/prores/one_thread",
            [threaded](benchmark::State &s) { intra(s, threaded); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
}

}  // namespace

int main(int argc, char **argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
