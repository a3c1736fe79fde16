// Damaged samples through both FFmpeg decoders: flagged frames whose planes stay readable
// (the sanitizer build reads every byte of them), and the next good sample decodes as the
// tool decodes the undamaged file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/md5.h>
}

#include "container/mov/mov_demuxer.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/probe/media_probe.h"
#include "pipeline/source/ff_source_fixtures.h"
#include "pipeline/source/ff_video_demuxer.h"
#include "testutil/testutil.h"

namespace {

using namespace sourcetest;

struct Packet {
    uint64_t pos;
    uint32_t size;
};

// File position and size of every video packet, in file order.
std::vector<Packet> packets(const std::string &path) {
    const std::string ffprobe = testutil::require_tool("ffprobe");
    const auto r = testutil::run_command(ffprobe + " -v error -select_streams v:0 -show_entries packet=pos,size " +
                                         "-of csv=p=0 " + testutil::shell_quote(path));
    std::vector<Packet> list;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        list.push_back({strtoull(line.c_str(), nullptr, 10), uint32_t(strtoul(line.c_str() + comma + 1, nullptr, 10))});
    }
    return list;
}

// md5 of the packed planes of a YUV frame (reads every visible byte).
std::string md5_of(const VideoFrame *f, AVPixelFormat ff) {
    const uint8_t *data[4] = {};
    int ls[4] = {};
    for (uint32_t i = 0; i < f->nb_planes && i < 4; ++i) {
        data[i] = f->data[i];
        ls[i] = int(f->linesize[i]);
    }
    const int size = av_image_get_buffer_size(ff, int(f->width), int(f->height), 1);
    std::vector<uint8_t> packed(size > 0 ? size_t(size) : 0);
    av_image_copy_to_buffer(packed.data(), size, data, ls, ff, int(f->width), int(f->height), 1);
    uint8_t md5[16];
    av_md5_sum(md5, packed.data(), size);
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", md5[i]);
    return hex;
}

std::string damaged_copy(const std::string &path, const std::string &name, const std::vector<Packet> &hit) {
    std::vector<uint8_t> bytes = testutil::read_file(path);
    for (const Packet &p : hit)
        for (uint64_t i = p.pos + 8; i < p.pos + p.size && i < p.pos + 40; ++i) bytes[i] ^= 0x5A;
    const std::string out = fixture_dir().file(name);
    testutil::write_file(out, bytes);
    return out;
}

// Damaged packets in the second group of pictures of an H.264 file: the frames of the
// last two groups are the tool's frames of the undamaged file.
TEST(CorruptInput, FfmpegSourceGoesOnAfterDamagedPackets) {
    const std::string clean = make_clip("h264.mkv", h264_args("matroska"), 48, "30000/1001");
    const std::vector<std::string> ref = tool_md5s(clean, "yuv420p");
    const std::vector<Packet> list = packets(clean);
    ASSERT_EQ(list.size(), 48u);
    const std::string damaged = damaged_copy(clean, "damaged.mkv", {list[13], list[14], list[16]});

    FfVideoDemuxerParams p;
    p.path = damaged.c_str();
    p.pix_fmt = PixFmt_YUV420;
    p.dec_width = p.dst_width = kWidth;
    p.dec_height = p.dst_height = kHeight;
    for (uint32_t batch : {1u, 4u}) {
        SCOPED_TRACE(batch);
        VideoDemuxer *d = create_video_demuxer_ff(p, batch);
        std::vector<VideoFrame *> frames(batch);
        for (VideoFrame *&f : frames) f = video_frame_new();
        std::vector<std::string> ours;
        uint32_t n;
        testing::internal::CaptureStdout();
        while ((n = video_demuxer_demux(d, frames.data())) > 0)
            for (uint32_t i = 0; i < n; ++i) ours.push_back(md5_of(frames[i], AV_PIX_FMT_YUV420P));
        // Single frames after the damage decode too.
        video_demuxer_get_frame(d, 30, frames[0], false);
        EXPECT_EQ(frames[0]->error_flags, 0u);
        EXPECT_EQ(md5_of(frames[0], AV_PIX_FMT_YUV420P), ref[30]);
        video_demuxer_get_frame(d, 15, frames[0], false);
        md5_of(frames[0], AV_PIX_FMT_YUV420P);
        testing::internal::GetCapturedStdout();
        ASSERT_GE(ours.size(), 24u);
        // Frames of the last two groups, wherever the damage left the count.
        for (size_t k = 1; k <= 24; ++k) EXPECT_EQ(ours[ours.size() - k], ref[ref.size() - k]) << k;
        for (VideoFrame *&f : frames) video_frame_destroy(&f);
        video_demuxer_free(d);
    }
}

// Damaged and truncated ProRes samples through the intra decode node: flagged, readable,
// and the next sample is the tool's picture.
TEST(CorruptInput, IntraDecodeGoesOnAfterDamagedSamples) {
    const std::string file = make_clip("intra_prores6.mov", "-c:v prores_ks -profile:v 2", 6);
    const std::vector<std::string> ref = tool_md5s(file, "yuv422p10le");
    MediaInfo *m = get_media_info(file.c_str());
    MovDemuxerParams dp;
    dp.path = file.c_str();
    VideoDemuxer *demuxer = create_video_demuxer_mov(&dp, 1);
    for (uint8_t threaded : {0, 1}) {
        SCOPED_TRACE(int(threaded));
        FfIntraDecodeParams p;
        p.data_descriptor = m->data_descriptor;
        p.width = m->width;
        p.height = m->height;
        p.codec_tag = m->codec_fourcc;
        p.pix_fmt = m->pix_fmt;
        p.threaded = threaded;
        VideoFilter *node = create_filter_ff_intra_decode(p);
        VideoFrame *in = video_frame_new();
        for (uint32_t n = 0; n < 6; ++n) {
            SCOPED_TRACE(n);
            video_demuxer_get_frame(demuxer, n, in, false);
            const bool damaged = n == 0 || n == 2 || n == 3;
            if (n == 0 || n == 2)
                for (uint32_t i = 4; i < 8; ++i) in->data[0][i] ^= 0x5A;  // the frame marker
            if (n == 3) in->data_size[0] = 100;                           // truncated
            node->inputs[0] = in;
            node->process(node);
            const VideoFrame *out = node->output;
            EXPECT_EQ(out->frame_index, n);
            const std::string md5 = md5_of(out, AV_PIX_FMT_YUV422P10LE);
            if (damaged) {
                EXPECT_EQ(out->error_flags, uint32_t(VideoFrameError_Corrupt));
                EXPECT_STREQ(node->message, "Corrupt frame");
            } else {
                EXPECT_EQ(out->error_flags, 0u);
                EXPECT_EQ(md5, ref[n]);
            }
        }
        video_frame_destroy(&in);
        video_filter_free(node);
    }
    video_demuxer_free(demuxer);
    free_media_info(&m);
}

}  // namespace
