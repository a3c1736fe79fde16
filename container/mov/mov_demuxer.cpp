// MOV frame demuxer.
#include "container/mov/mov_demuxer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "container/mov/mov_reader_internal.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"

using namespace movr;

namespace {

struct CodecMap {
    const char *code;
    bool raw;
    uint32_t value;  // VideoFrameDataDescriptor or PixFmt
};

const CodecMap kCodecs[] = {
    {"Hap1", false, VideoFrameHapData},
    {"Hap5", false, VideoFrameHapData},
    {"Hap7", false, VideoFrameHapData},
    {"HapA", false, VideoFrameHapData},
    {"HapM", false, VideoFrameHapData},
    {"HapY", false, VideoFrameHapData},
    {"apch", false, VideoFrameProresData},
    {"apcn", false, VideoFrameProresData},
    {"apco", false, VideoFrameProresData},
    {"apcs", false, VideoFrameProresData},
    {"ap4h", false, VideoFrameProresData},
    {"ap4x", false, VideoFrameProresData},
    {"jpeg", false, VideoFramePhotoJpegData},
    {"nclc", false, VideoFrameNotchLcData},
    {"DXD3", false, VideoFrameDxv3Data},
    {"AVdn", false, VideoFrameDnxHDData},
    {"AVdh", false, VideoFrameDnxHRData},
    {"2vuy", true, PixFmt_UYVY},
    {"v210", true, PixFmt_V210},
};

void free_data(MovDemuxerData *m) {
    mov_reader_close_file(&m->reader);
    mov_reader_free_tables(&m->reader);
    delete m;
}

void build(VideoDemuxer *d, MovDemuxerData *m, const MovDemuxerParams *p) {
    if (p->end_frame != 0xFFFFFFFF && p->start_frame > p->end_frame) throw_process_error("Invalid start end f");
    m->start_frame = p->start_frame;
    m->end_frame = p->end_frame;
    m->reverse = p->reverse;
    m->data_descriptor = p->data_descriptor;

    MovReaderParams rp;
    rp.path = p->path;
    rp.mov_intra_demuxer_flags = p->mov_intra_demuxer_flags | MOV_FLAG_IGNORE_AUDIO;
    rp.max_vfr_to_cfr_fps = p->max_vfr_to_cfr_fps;
    mov_reader_open(&m->reader, &rp);
    m->raw_width = m->reader.width;
    m->raw_height = m->reader.height;

    const uint32_t nb = m->reader.nb_frames;
    if (m->start_frame >= nb) throw_process_error("Invalid start f (outside file)");
    if (m->end_frame >= nb) {
        if (m->end_frame != 0xFFFFFFFF) throw_process_error("Invalid end f (outside file)");
        printf("Force end f to end of file : (Duration : %u)\n", nb);
        m->end_frame = nb - 1;
    }
    m->current_frame = m->reverse ? m->end_frame : m->start_frame;

    const CodecMap *found = nullptr;
    for (const CodecMap &c : kCodecs)
        if (fourcc(c.code) == m->reader.codec) found = &c;
    if (!found) throw_process_error("Invalid mov format mov demux");
    if (found->raw) {
        m->is_raw = true;
        m->raw_pix_fmt = PixFmt(found->value);
    } else {
        m->data_descriptor = VideoFrameDataDescriptor(found->value);
    }

    std::string msg;
    const uint64_t w = m->reader.warning_flags;
    if (w & MOV_WARNING_INVALID_DURATION) {
        printf("WARNING : Mov demuxer : File contains frame(s) with invalid duration\n");
        msg = "File contains frame(s) with invalid duration";
    }
    if (w & MOV_WARNING_FILE_INCOMPLETE) {
        printf("WARNING : Mov demuxer : Incomplete mov file\n");
        if (!msg.empty()) msg += " ; ";
        msg += "Incomplete mov file";
    }
    if (w & (MOV_WARNING_INVALID_DURATION | MOV_WARNING_FILE_INCOMPLETE)) {
        msg += ".";
        snprintf(d->message, sizeof(d->message), "%s", msg.c_str());
    }
}

}  // namespace

VideoDemuxer *create_video_demuxer_mov(const MovDemuxerParams *params, uint32_t frames_per_call) {
    VideoDemuxer *d = video_demuxer_new(frames_per_call, 1);
    MovDemuxerData *m = new (std::nothrow) MovDemuxerData;
    if (!m) {
        video_demuxer_free(d);
        throw_alloc_error();
    }
    mov_reader_init(&m->reader);
    m->raw_pix_fmt = PixFmt_Undefined;
    m->raw_width = m->raw_height = 0;
    m->is_raw = false;
    try {
        build(d, m, params);
    } catch (...) {
        free_data(m);
        video_demuxer_free(d);
        throw;
    }
    d->priv_data = m;
    d->demux = mov_demuxer_demux;
    d->get_frame = mov_demuxer_get_frame;
    d->close = mov_demuxer_close;
    return d;
}

uint32_t mov_demuxer_demux(void *priv, uint32_t count, VideoFrame **frames) {
    auto *m = static_cast<MovDemuxerData *>(priv);
    int64_t n;
    if (!m->reverse) {
        if (m->current_frame > int64_t(m->end_frame)) return 0;
        n = std::min<int64_t>(count, int64_t(m->end_frame) - m->current_frame + 1);
    } else {
        // current_frame goes below start_frame (to -1 from frame 0), so the run ends.
        if (m->current_frame < int64_t(m->start_frame)) {
            printf("End of mov reverse\n");
            return 0;
        }
        n = std::min<int64_t>(count, m->current_frame - int64_t(m->start_frame) + 1);
    }
    for (int64_t i = 0; i < n; i++) {
        mov_demuxer_read_frame(m, uint32_t(m->current_frame), frames[i]);
        m->current_frame += m->reverse ? -1 : 1;
    }
    return uint32_t(n);
}

void mov_demuxer_get_frame(void *priv, uint32_t index, VideoFrame *frame, bool clamp) {
    auto *m = static_cast<MovDemuxerData *>(priv);
    if (index > m->end_frame) {
        if (!clamp) throw_process_error("Out of range frame");
        index = m->end_frame;
    } else if (index < m->start_frame) {
        if (!clamp) throw_process_error("Out of range frame");
        index = m->start_frame;
    }
    mov_demuxer_read_frame(m, index, frame);
}

void mov_demuxer_read_frame(MovDemuxerData *m, uint32_t index, VideoFrame *frame) {
    try {
        if (!m->reader.seek_table || index >= m->reader.nb_frames) throw_process_error("Out of range frame");
        const MovSeekEntry e = m->reader.seek_table[index];
        frame->error_flags = 0;
        if (m->is_raw) {
            video_frame_realloc_if_changed(frame, m->raw_width, m->raw_height, m->raw_pix_fmt, 0);
            const uint32_t plane = frame->data_size[0];
            const uint32_t n = std::min(plane, e.size);
            file_read_at(m->reader.file, frame->data[0], e.offset, n);
            if (n < plane) {
                // A short sample must not show the previous frame's pixels as if they were its own.
                std::memset(frame->data[0] + n, 0, plane - n);
                frame->error_flags |= VideoFrameError_Corrupt;
            }
            frame->is_raw = 1;
            frame->pix_fmt = m->raw_pix_fmt;
            frame->width = m->raw_width;
            frame->height = m->raw_height;
        } else {
            video_frame_alloc_compressed(frame, e.size, m->data_descriptor);
            file_read_at(m->reader.file, frame->data[0], e.offset, e.size);
            frame->data_descriptor = m->data_descriptor;
        }
    } catch (const std::bad_alloc &) {
        printf("Error read image %u Memory error\n", index);
        frame->error_flags = VideoFrameError_ReadFailed;
    } catch (const std::exception &ex) {
        printf("Error read mov frame %u (%s)\n", index, ex.what());
        frame->error_flags = VideoFrameError_ReadFailed;
    } catch (...) {
        printf("Error read image %u Unknown error\n", index);
        frame->error_flags = VideoFrameError_ReadFailed;
    }
    frame->frame_index = index;
}

void mov_demuxer_close(void *priv) {
    if (!priv) {
        printf("Intern data mov intra NULL\n");
        return;
    }
    free_data(static_cast<MovDemuxerData *>(priv));
}
