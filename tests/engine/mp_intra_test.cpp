#include "engine/mp_intra.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "container/mov/mov_demuxer.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/probe/media_probe.h"
#include "testutil/testutil.h"

namespace {

// Counts, per frame index, how often a graph ran on it.
struct CountData {
    std::vector<std::atomic<int>> *runs;
};

void count_process(VideoFilter *f) {
    auto *d = static_cast<CountData *>(f->priv_data);
    (*d->runs)[f->inputs[0]->frame_index]++;
    f->output = f->inputs[0];
}

void count_destroy(VideoFilter *f) { delete static_cast<CountData *>(f->priv_data); }

struct Pool {
    MPIntraVideoProcessing p;
    std::vector<std::atomic<int>> runs = std::vector<std::atomic<int>>(256);
    Pool() {
        mp_intra_reset(&p);
        mp_intra_alloc(&p);
        mp_intra_create_graphs(&p, 2);
        for (uint32_t k = 0; k < p.nb_slots; ++k) {
            VideoFilter *f = video_filter_create(VideoFilterType_Pass, 1);
            f->priv_data = new CountData{&runs};
            f->process = count_process;
            f->destroy = count_destroy;
            filter_graph_add_filter(p.slots[k].graph, f);
        }
    }
    ~Pool() { mp_intra_free(&p); }
    // Fills n frames of the current half with the next indexes and starts them.
    void start(uint32_t n, uint32_t *next, uint32_t flags = 0) {
        VideoFrame **frames = mp_intra_get_frames(&p);
        for (uint32_t i = 0; i < n; ++i) {
            frames[i]->frame_index = (*next)++;
            frames[i]->error_flags = flags;
        }
        mp_intra_start_jobs(&p, n);
    }
};

TEST(MpIntra, TurnsOverBothHalvesRunEveryFrameOnce) {
    Pool pool;
    const uint32_t n = pool.p.nb_threads;
    ASSERT_EQ(pool.p.nb_slots, 2 * n);
    uint32_t next = 0, first = 99;
    EXPECT_EQ(mp_intra_collect(&pool.p, &first), 0u);  // nothing started yet
    EXPECT_EQ(first, 0u);

    // Full batches, then a short one of up to 3 frames, as the owner turns them over.
    const uint32_t last = n < 3 ? n : 3;
    const uint32_t total = 3 * n + last;
    uint32_t collected = 0;
    for (int turn = 0; turn < 4; ++turn) {
        const uint32_t count = mp_intra_collect(&pool.p, &first);
        EXPECT_EQ(first, pool.p.half * n);
        collected += count;
        pool.start(turn == 3 ? last : n, &next);
    }
    collected += mp_intra_collect(&pool.p, &first);
    const uint32_t tail = mp_intra_switch_and_collect(&pool.p, &first);
    EXPECT_EQ(tail, last);
    EXPECT_EQ(first, 1 * n);  // the fourth batch ran on half 1
    collected += tail;
    EXPECT_EQ(collected, total);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(pool.runs[i].load(), i < total ? 1 : 0) << i;
    for (uint32_t k = 0; k < pool.p.nb_slots; ++k) {
        EXPECT_EQ(pool.p.slots[k].state, 0u);
        EXPECT_FALSE(zthread_has_error(&pool.p.workers[k]));
    }
}

TEST(MpIntra, FlaggedFramesFailWithTheFirstFlagsTextAndSkipTheGraph) {
    const struct {
        uint32_t flags;
        const char *text;
    } cases[] = {
        {0x06, "Corrupt frame"},        {0x04, "Invalid codec"},      {0x18, "Invalid resolution"},
        {0x10, "Invalid pixel format"}, {0x20, "Fail to read frame"}, {0x40, "Unknown error (flags unknown)"},
    };
    Pool pool;
    uint32_t next = 0, first = 0;
    for (const auto &c : cases) {
        const uint32_t index = next;
        pool.start(1, &next, c.flags);
        EXPECT_EQ(mp_intra_switch_and_collect(&pool.p, &first), 1u);
        pool.p.half = uint8_t(1 - pool.p.half);  // the next case runs on the other half
        const char *text = nullptr;
        ASSERT_TRUE(zthread_get_error(&pool.p.workers[first], &text)) << c.flags;
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(pool.runs[index].load(), 0);
    }
}

TEST(MpIntra, OneProcessorGivesOneSlotPerHalf) {
    // The pool follows this thread's affinity, as under taskset.
    std::thread([] {
        cpu_set_t one;
        CPU_ZERO(&one);
        cpu_set_t mine;
        ASSERT_EQ(sched_getaffinity(0, sizeof(mine), &mine), 0);
        int cpu = 0;
        while (!CPU_ISSET(cpu, &mine)) ++cpu;
        CPU_SET(cpu, &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof(one), &one), 0);
        MPIntraVideoProcessing p;
        mp_intra_reset(&p);
        mp_intra_alloc(&p);
        EXPECT_EQ(p.nb_threads, 1u);
        EXPECT_EQ(p.nb_slots, 2u);
        EXPECT_EQ(p.frames.count, 2u);
        mp_intra_free(&p);
        mp_intra_free(&p);  // a freed pool frees nothing twice
    }).join();
}

TEST(MpIntra, ZeroFramesAndFreeingAResetPool) {
    MPIntraVideoProcessing p;
    mp_intra_reset(&p);
    try {
        mp_intra_alloc_frames(&p, 0);
        FAIL() << "no failure";
    } catch (const std::exception &e) { EXPECT_STREQ(e.what(), "Invalid nb frames"); }
    mp_intra_free(&p);
}

// ---- decoding through the pool ----

// The rows of a Packed RGBA8 picture, without padding.
std::vector<uint8_t> rgba_rows(const VideoFrame *f, uint32_t w, uint32_t h) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y) memcpy(&px[size_t(y) * w * 4], f->data[0] + int64_t(y) * f->linesize[0], w * 4);
    return px;
}

VideoFilter *rgba_decoder(const MediaInfo *info) {
    FfIntraDecodeParams p = ff_intra_decode_params(info->data_descriptor, info->width, info->height, info->codec_fourcc,
                                                   info->codec_sub_fourcc, info->pix_fmt);
    p.pix_fmt = PixFmt_RGBA8;
    return create_filter_ff_intra_decode(p);
}

VideoDemuxer *mov_source(const MediaInfo *info, uint32_t frames_per_call) {
    MovDemuxerParams prm;
    prm.path = info->filepath;
    prm.data_descriptor = info->data_descriptor;
    return create_video_demuxer_mov(&prm, frames_per_call);
}

// Every frame decoded in turn by one decoder, by frame index.
std::map<uint32_t, std::vector<uint8_t>> decode_in_sequence(const MediaInfo *info) {
    std::map<uint32_t, std::vector<uint8_t>> out;
    VideoDemuxer *d = mov_source(info, 1);
    FilterGraph *g = filter_graph_create(1, 1);
    filter_graph_add_filter(g, rgba_decoder(info));
    VideoFrame *f = video_frame_new();
    while (video_demuxer_demux(d, &f) == 1) {
        filter_graph_process(g, &f, 1);
        out[f->frame_index] = rgba_rows(g->output, info->width, info->height);
    }
    video_frame_destroy(&f);
    filter_graph_free(g);
    video_demuxer_free(d);
    return out;
}

// The same frames over the pool's two halves, on a thread limited to `cpus` processors.
std::map<uint32_t, std::vector<uint8_t>> decode_in_pool(const MediaInfo *info, uint32_t cpus, uint32_t *threads) {
    std::map<uint32_t, std::vector<uint8_t>> out;
    std::thread([&] {
        cpu_set_t mine, some;
        ASSERT_EQ(sched_getaffinity(0, sizeof(mine), &mine), 0);
        CPU_ZERO(&some);
        for (int cpu = 0, n = 0; cpu < CPU_SETSIZE && n < int(cpus); ++cpu) {
            if (CPU_ISSET(cpu, &mine)) {
                CPU_SET(cpu, &some);
                ++n;
            }
        }
        ASSERT_EQ(sched_setaffinity(0, sizeof(some), &some), 0);
        MPIntraVideoProcessing p;
        mp_intra_reset(&p);
        mp_intra_alloc(&p);
        *threads = p.nb_threads;
        mp_intra_create_graphs(&p, 1);
        for (uint32_t k = 0; k < p.nb_slots; ++k) filter_graph_add_filter(p.slots[k].graph, rgba_decoder(info));
        VideoDemuxer *d = mov_source(info, p.nb_threads);
        auto take = [&](uint32_t first, uint32_t n) {
            for (uint32_t k = first; k < first + n; ++k) {
                EXPECT_FALSE(zthread_has_error(&p.workers[k]));
                out[p.slots[k].frame->frame_index] = rgba_rows(p.slots[k].graph->output, info->width, info->height);
            }
        };
        for (;;) {
            uint32_t first = 0;
            const uint32_t n = mp_intra_collect(&p, &first);
            take(first, n);
            const uint32_t filled = video_demuxer_demux(d, mp_intra_get_frames(&p));
            if (filled == 0) break;
            mp_intra_start_jobs(&p, filled);
        }
        uint32_t first = 0;
        const uint32_t n = mp_intra_switch_and_collect(&p, &first);
        take(first, n);
        video_demuxer_free(d);
        mp_intra_free(&p);
    }).join();
    return out;
}

TEST(MpIntra, DecodingOverTheHalvesMatchesASequentialDecode) {
    testutil::TempDir dir;
    const std::string path = dir.file("clip.mov");
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    ASSERT_FALSE(ffmpeg.empty());
    ASSERT_EQ(testutil::run_command(ffmpeg + " -v error -nostdin -y -f lavfi -i testsrc2=s=96x64:r=25:d=1.4 " +
                                    "-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le " +
                                    testutil::shell_quote(path) + " 2>/dev/null")
                  .status,
              0);
    MediaInfo *info = get_media_info(path.c_str());
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->video_src_type, MediaInfoVideoSrc_Mov);
    const auto want = decode_in_sequence(info);
    ASSERT_EQ(want.size(), 35u);
    for (const uint32_t cpus : {1u, 8u}) {
        SCOPED_TRACE(cpus);
        uint32_t threads = 0;
        const auto got = decode_in_pool(info, cpus, &threads);
        EXPECT_LE(threads, cpus);
        EXPECT_EQ(got.size(), want.size());
        for (const auto &[index, px] : want) {
            const auto it = got.find(index);
            ASSERT_NE(it, got.end()) << index;
            EXPECT_TRUE(it->second == px) << "frame " << index;
        }
    }
    free_media_info(&info);
}

}  // namespace
