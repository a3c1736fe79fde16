// Reads a video file through the FFmpeg video source and prints one line per frame:
// "<frame index> <error flags> <md5>", the md5 taken over the planes in FFmpeg's order and
// packed rows, as `ffmpeg -f framemd5` does for rawvideo.
//
//   ff_source_frames PATH PIXFMT WIDTH HEIGHT [options]
//     --start S --end E     stretch to read (default: whole file)
//     --batch N             frames per demux call (default 1)
//     --align A             alignment for handing out decoder planes (default 64)
//     --quality Q           scale quality (default 1)
//     --slice               slice threading instead of frame threading
//     --get N[,N...]        read these frames by number instead of demuxing
//     --raw FILE            also write the packed frames to FILE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/md5.h>
#include <libavutil/pixdesc.h>
}

#include "pipeline/source/ff_video_demuxer.h"

namespace {

// Packed rows of every plane in FFmpeg's order (planar RGB: G, B, R, A).
std::vector<uint8_t> pack(const VideoFrame *f, int ff_fmt) {
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(ff_fmt));
    const bool gbr = (desc->flags & AV_PIX_FMT_FLAG_RGB) && (desc->flags & AV_PIX_FMT_FLAG_PLANAR);
    static const int kGbrOurs[4] = {1, 2, 0, 3};  // our plane of FFmpeg plane j
    const uint8_t *data[4] = {};
    int ls[4] = {};
    for (uint32_t j = 0; j < f->nb_planes && j < 4; ++j) {
        const int i = gbr ? kGbrOurs[j] : int(j);
        data[j] = f->data[i];
        ls[j] = int(f->linesize[i]);
    }
    const int size = av_image_get_buffer_size(AVPixelFormat(ff_fmt), int(f->width), int(f->height), 1);
    std::vector<uint8_t> out(size_t(size > 0 ? size : 0));
    if (size > 0)
        av_image_copy_to_buffer(out.data(), size, data, ls, AVPixelFormat(ff_fmt), int(f->width), int(f->height), 1);
    return out;
}

void print_frame(const VideoFrame *f, int ff_fmt, FILE *raw) {
    char hex[33] = "-";
    std::vector<uint8_t> bytes;
    if (f->nb_planes && f->data[0] && !(f->error_flags & VideoFrameError_ReadFailed)) {
        bytes = pack(f, ff_fmt);
        uint8_t md5[16];
        av_md5_sum(md5, bytes.data(), int(bytes.size()));
        for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", md5[i]);
    }
    fprintf(stdout, "RESULT %u %u %s\n", f->frame_index, f->error_flags, hex);
    if (raw && !bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), raw);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: %s PATH PIXFMT WIDTH HEIGHT [options]\n", argv[0]);
        return 2;
    }
    FfVideoDemuxerParams p;
    p.path = argv[1];
    p.pix_fmt = uint32_t(atoi(argv[2]));
    p.dec_width = p.dst_width = uint32_t(atoi(argv[3]));
    p.dec_height = p.dst_height = uint32_t(atoi(argv[4]));
    uint32_t batch = 1;
    std::vector<uint32_t> gets;
    const char *raw_path = nullptr;
    for (int i = 5; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : "0";
        if (a == "--start")
            p.start_frame = atoi(v), ++i;
        else if (a == "--end")
            p.end_frame = atoi(v), ++i;
        else if (a == "--batch")
            batch = uint32_t(atoi(v)), ++i;
        else if (a == "--align")
            p.alignment = uint32_t(atoi(v)), ++i;
        else if (a == "--quality")
            p.scale_quality = uint8_t(atoi(v)), ++i;
        else if (a == "--slice")
            p.slice_threading = 1;
        else if (a == "--raw")
            raw_path = v, ++i;
        else if (a == "--get") {
            for (const char *s = v; *s;) {
                gets.push_back(uint32_t(strtoul(s, nullptr, 10)));
                s = strchr(s, ',');
                if (!s) break;
                ++s;
            }
            ++i;
        }
    }
    FILE *raw = raw_path ? fopen(raw_path, "wb") : nullptr;
    int status = 0;
    VideoDemuxer *d = nullptr;
    std::vector<VideoFrame *> frames;
    try {
        d = create_video_demuxer_ff(p, batch);
        const int ff_fmt = ff_video_demuxer_ff_format(PixFmt(p.pix_fmt));
        for (uint32_t i = 0; i < d->frames_per_call; ++i) frames.push_back(video_frame_new());
        if (!gets.empty()) {
            for (uint32_t n : gets) {
                video_demuxer_get_frame(d, n, frames[0], false);
                print_frame(frames[0], ff_fmt, raw);
            }
        } else {
            uint32_t n;
            while ((n = video_demuxer_demux(d, frames.data())) > 0)
                for (uint32_t i = 0; i < n; ++i) print_frame(frames[i], ff_fmt, raw);
        }
    } catch (const std::exception &e) {
        fprintf(stdout, "ERROR %s\n", e.what());
        status = 1;
    }
    video_demuxer_free(d);
    for (VideoFrame *f : frames) video_frame_destroy(&f);
    if (raw) fclose(raw);
    return status;
}
