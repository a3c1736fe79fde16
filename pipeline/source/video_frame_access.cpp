#include "pipeline/source/video_frame_access.h"

#include <cstdio>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_demuxer.h"
#include "container/mov/notchlc_decode.h"
#include "container/texdec/dxt_decode_filter.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/filters/ycocg_filter.h"
#include "pipeline/graph/video_graph_tree.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/source/ff_video_demuxer.h"
#include "pipeline/source/img_seq_demuxer.h"
#include "platform/core/errors.h"

namespace {


// Adds a node; a node the full graph refuses is freed here.
void add(FilterGraph *g, VideoFilter *f) {
    try {
        filter_graph_add_filter(g, f);
    } catch (...) {
        video_filter_free(f);
        throw;
    }
}

void video_frame_access_build_decoder(VideoFrameAccess *a) {
    const MediaInfo *m = a->info;
    FilterGraph *g = a->graph;
    switch (m->data_descriptor) {
    case VideoFrameHapData: {
        const HapCodec codec = hap_codec_of_fourcc(m->codec_fourcc);
        add(g, create_filter_hap_frame_decode(HapFrameDecodeParams{codec, m->width, m->height, 0, 1}));
        if (!a->keep_textures)
            add(g, create_filter_dxt_decode(DxtDecodeParams{codec, m->width, m->height, 1, m->pix_fmt, 0}));
        break;
    }
    case VideoFramePngData:
        add(g, create_filter_png_decode(ImageDecodeParams{m->width, m->height, m->pix_fmt, m->have_alpha}));
        break;
    case VideoFrameJpegData: add(g, create_filter_jpeg_decode(m->width, m->height)); break;
    case VideoFrameTiffData:
        add(g, create_filter_tiff_decode(ImageDecodeParams{m->width, m->height, m->pix_fmt, 0}));
        break;
    case VideoFrameProresData:
    case VideoFramePhotoJpegData:
    case VideoFrameDxv3Data:
    case VideoFrameDnxHDData:
    case VideoFrameDnxHRData: {
        FfIntraDecodeParams p = ff_intra_decode_params(m->data_descriptor, m->width, m->height, m->codec_fourcc,
                                                       m->codec_sub_fourcc, m->pix_fmt);
        p.threaded = 1;
        p.report_changes = 1;
        add(g, create_filter_ff_intra_decode(p));
        if (ff_intra_decode_is_ycocg(p))
            add(g, create_filter_ycocg_to_rgb(YCoCgToRgbParams{p.pix_fmt, m->width, m->height, 1}));
        break;
    }
    case VideoFrameNotchLcData: {
        NotchLcDecodeParams p{m->pix_fmt, m->width, m->height, 1};
        add(g, create_filter_notchlc_decode(&p));
        break;
    }
    case VideoFrameUnknown: add(g, create_filter_passthrough()); break;
    default: throw_process_error("Unsupported codec intra decode");
    }
}

void build(VideoFrameAccess *a, const VideoFrameAccessParams &p) {
    a->info = clone_media_info(p.info);
    a->keep_textures = p.keep_textures;
    a->first_img = p.first_img;
    a->last_img = p.last_img;
    a->demux_frame = video_frame_new();
    a->graph = filter_graph_create(2, 1);
    const MediaInfo *m = a->info;
    switch (m->video_src_type) {
    case MediaInfoVideoSrc_Image: {
        ImgSeqDemuxerParams ip;
        ip.path_prefix = m->img_seq_path_base;
        ip.ext = m->ext;
        ip.first = a->first_img;
        ip.last = a->last_img;
        ip.digits = m->img_seq_digits;
        ip.image_kind = m->data_descriptor;
        a->demuxer = create_video_demuxer_img_seq(ip, 1);
        video_frame_access_build_decoder(a);
        break;
    }
    case MediaInfoVideoSrc_Mov: {
        MovDemuxerParams mp;
        mp.path = m->filepath;
        mp.start_frame = 0;
        mp.end_frame = 0xFFFFFFFF;  // the last sample the reader finds
        mp.data_descriptor = m->data_descriptor;
        mp.max_vfr_to_cfr_fps = ZRational{60, 1};
        a->demuxer = create_video_demuxer_mov(&mp, 1);
        video_frame_access_build_decoder(a);
        break;
    }
    case MediaInfoVideoSrc_Ffmpeg: {
        FfVideoDemuxerParams fp;
        fp.path = m->filepath;
        fp.pix_fmt = m->pix_fmt == PixFmt_Undefined ? PixFmt_RGBA8 : m->pix_fmt;
        fp.dec_width = fp.dst_width = m->width;
        fp.dec_height = fp.dst_height = m->height;
        fp.scale_quality = 1;
        fp.alignment = 64;
        fp.start_frame = -1;
        fp.end_frame = -1;
        fp.slice_threading = 1;
        a->demuxer = create_video_demuxer_ff(fp, 1);
        add(a->graph, create_filter_passthrough());
        break;
    }
    default: throw_process_error("Unsupported media type");
    }
}

}  // namespace

VideoFrameAccess *create_video_frame_access(const VideoFrameAccessParams &params) {
    if (!params.info) throw_process_error("Unset src info");
    if (!params.info->have_video) throw_process_error("No video in src");
    auto *a = new VideoFrameAccess{};
    try {
        build(a, params);
    } catch (...) {
        free_video_frame_access(&a);
        throw;
    }
    return a;
}

VideoFrame *video_frame_access_get_frame(VideoFrameAccess *a, uint32_t n) {
    if (a->cached && a->cached->frame_index == n) {
        printf("Frame : %u already in cache\n", n);
        return a->cached;
    }
    a->cached = nullptr;
    // Image sequences and MOV files give their nearest frame; an FFmpeg source past its end
    // fails rather than show its last picture under another number.
    const bool clamp = a->info->video_src_type != MediaInfoVideoSrc_Ffmpeg;
    video_demuxer_get_frame(a->demuxer, n, a->demux_frame, clamp);
    if (const char *error = get_video_frame_error_text(a->demux_frame->error_flags)) throw_process_error(error);
    VideoFrame *inputs[1] = {a->demux_frame};
    filter_graph_process(a->graph, inputs, 1);
    VideoFrame *out = a->graph->output;
    if (out->frame_index != a->demux_frame->frame_index) {
        printf("WARNING : Unpass frame number (%u -> %u)\n", a->demux_frame->frame_index, out->frame_index);
        out->frame_index = a->demux_frame->frame_index;
    }
    a->cached = out;
    return out;
}

void free_video_frame_access(VideoFrameAccess **access) {
    if (!access || !*access) return;
    VideoFrameAccess *a = *access;
    free_media_info(&a->info);
    video_frame_destroy(&a->demux_frame);
    video_demuxer_free(a->demuxer);
    filter_graph_free(a->graph);
    delete a;
    *access = nullptr;
}
