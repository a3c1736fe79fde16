#include "pipeline/source/img_seq_demuxer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "platform/core/errors.h"
#include "platform/core/file_io.h"

namespace {

constexpr uint32_t kMaxDigits = 10;

struct ImgSeqDemuxerData {
    std::string prefix;
    std::string ext;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t digits = 0;
    uint64_t next = 0;  // 64 bits: reading number 0xFFFFFFFF must not wrap back to 0
    std::string path;   // reused for every file name
    char pattern[12] = {};
    VideoFrameDataDescriptor kind = VideoFramePngData;
};

struct FileCloser {
    FILE *f;
    ~FileCloser() {
        if (f) fclose(f);
    }
};

void format_path(ImgSeqDemuxerData *d, uint32_t k) {
    // prefix + at most 10 digits + "." + ext + NUL
    d->path.resize(d->prefix.size() + d->ext.size() + 12);
    int n = d->digits ? snprintf(d->path.data(), d->path.size(), d->pattern, d->prefix.c_str(), k, d->ext.c_str())
                      : snprintf(d->path.data(), d->path.size(), d->pattern, d->prefix.c_str(), d->ext.c_str());
    d->path.resize(n > 0 ? std::min(size_t(n), d->path.size() - 1) : 0);
}

void read_file_into(ImgSeqDemuxerData *d, uint32_t k, VideoFrame *frame) {
    format_path(d, k);
    FileCloser file{fopen(d->path.c_str(), "rb")};
    if (!file.f) throw_process_error(("Can't open file : " + d->path).c_str());
    file_seek_to_end(file.f);
    const uint64_t size = file_tell(file.f);
    if (size == 0) throw_process_error("Empty file");
    if (size > 0xFFFFFFFFull) throw_process_error("File excess size");
    video_frame_alloc_compressed(frame, uint32_t(size), d->kind);
    file_read_at(file.f, frame->data[0], 0, size);
}

void read_number(ImgSeqDemuxerData *d, uint32_t k, VideoFrame *frame) {
    try {
        read_file_into(d, k, frame);
        frame->error_flags = 0;
    } catch (const std::bad_alloc &) {
        printf("Error read image %u Memory error\n", k);
        frame->error_flags = VideoFrameError_ReadFailed;
    } catch (const std::exception &e) {
        printf("Error read image %u (%s)\n", k, e.what());
        frame->error_flags = VideoFrameError_ReadFailed;
    } catch (...) {
        printf("Error read image %u Unknown error\n", k);
        frame->error_flags = VideoFrameError_ReadFailed;
    }
    frame->frame_index = k;
}

uint32_t img_seq_demux(void *priv, uint32_t n, VideoFrame **frames) {
    auto *d = static_cast<ImgSeqDemuxerData *>(priv);
    if (n == 0 || d->next > d->last) return 0;
    const uint64_t last_wanted = std::min<uint64_t>(d->next + n - 1, d->last);
    uint32_t count = 0;
    for (uint64_t k = d->next; k <= last_wanted; ++k) read_number(d, uint32_t(k), frames[count++]);
    d->next += count;
    return count;
}

void img_seq_get_frame(void *priv, uint32_t k, VideoFrame *frame, bool clamp) {
    auto *d = static_cast<ImgSeqDemuxerData *>(priv);
    if (k < d->first) {
        if (!clamp) throw_process_error("Out of range frame");
        k = d->first;
    } else if (k > d->last) {
        if (!clamp) throw_process_error("Out of range frame");
        k = d->last;
    }
    read_number(d, k, frame);
}

void img_seq_close(void *priv) { delete static_cast<ImgSeqDemuxerData *>(priv); }

}  // namespace

VideoDemuxer *create_video_demuxer_img_seq(const ImgSeqDemuxerParams &p, uint32_t frames_per_call) {
    VideoDemuxer *demuxer = video_demuxer_new(frames_per_call, 0);
    ImgSeqDemuxerData *d = nullptr;
    try {
        d = new ImgSeqDemuxerData;
        if (p.first > p.last) throw_process_error("Invalid start f (> a end)");
        switch (p.image_kind) {
        case VideoFramePngData:
        case VideoFrameJpegData:
        case VideoFrameTiffData:
        case VideoFrameExrData: break;
        default: throw_process_error("Invalid image sequence format");
        }
        d->kind = VideoFrameDataDescriptor(p.image_kind);
        d->digits = std::min(p.digits, kMaxDigits);
        if (d->digits)
            snprintf(d->pattern, sizeof d->pattern, "%s%u%s", "%s%0", d->digits, "u.%s");
        else
            snprintf(d->pattern, sizeof d->pattern, "%s", "%s.%s");
        if (!p.path_prefix || !p.ext || !*p.path_prefix || !*p.ext) throw_process_error("Invalid path or ext len");
        d->prefix = p.path_prefix;
        d->ext = p.ext;
        d->first = d->digits ? p.first : 0;
        d->last = d->digits ? p.last : 0;
        d->next = d->first;
        d->path.reserve(d->prefix.size() + d->ext.size() + 12);
    } catch (...) {
        delete d;
        video_demuxer_free(demuxer);
        throw;
    }
    demuxer->priv_data = d;
    demuxer->demux = img_seq_demux;
    demuxer->get_frame = img_seq_get_frame;
    demuxer->close = img_seq_close;
    return demuxer;
}
