#include "engine/cmd_snapshot.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_demuxer.h"
#include "container/mov/notchlc_decode.h"
#include "container/texdec/dxt_decode_filter.h"
#include "media/scale/scale_filter.h"
#include "model/settings/global_settings.h"
#include "pipeline/filters/bg_merge_filter.h"
#include "pipeline/filters/crop_pad_filter.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/filters/image_encode_filter.h"
#include "pipeline/filters/ycocg_filter.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/probe/media_probe.h"
#include "pipeline/source/ff_video_demuxer.h"
#include "pipeline/source/img_seq_demuxer.h"
#include "engine/cmd_rendering.h"
#include "platform/core/errors.h"
#include "platform/core/file_create.h"
#include "platform/core/log.h"
#include "platform/foundation/config_folder.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"

namespace {

char *copy_text(const std::string &s) {
    char *p = static_cast<char *>(malloc(s.size() + 1));
    if (!p) throw std::bad_alloc();
    memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// The leading decimal number of a text (white space and a sign allowed), 0 when none;
// saturates far outside every accepted range.
int64_t leading_number(const char *text) {
    errno = 0;
    const long long v = strtoll(text, nullptr, 10);
    return int64_t(v);
}

bool is_folder(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void add_node(FilterGraph *graph, VideoFilter *node) {
    try {
        filter_graph_add_filter(graph, node);
    } catch (...) {
        video_filter_free(node);
        throw;
    }
}

// The image number of an image path: the digits right before its last ".".
uint32_t image_number(const std::string &path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= name_start) {
        printf("No name in image file\n");
        return 0;
    }
    size_t d = dot;
    while (d > name_start && path[d - 1] >= '0' && path[d - 1] <= '9') --d;
    uint64_t v = 0;
    for (size_t i = d; i < dot && v <= 0xFFFFFFFFull; ++i) v = v * 10 + uint64_t(path[i] - '0');
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(v);
}

void open_source(HapStandSnapshotCmdLine *snap) {
    const MediaInfo *info = snap->info;
    switch (info->video_src_type) {
    case MediaInfoVideoSrc_Image: {
        const uint32_t n = image_number(snap->input_path);
        if (!info->img_seq_path_base) throw_process_error("Fail to get image sequence path information");
        ImgSeqDemuxerParams prm;
        prm.path_prefix = info->img_seq_path_base;
        prm.ext = info->ext;
        prm.first = n;
        prm.last = n;
        prm.digits = info->img_seq_digits;
        prm.image_kind = info->data_descriptor;
        snap->demuxer = create_video_demuxer_img_seq(prm, 1);
        break;
    }
    case MediaInfoVideoSrc_Mov: {
        MovDemuxerParams prm;
        prm.path = snap->input_path;
        prm.start_frame = 0;
        prm.end_frame = info->nb_frames > 0 ? info->nb_frames - 1 : 0;
        prm.reverse = false;
        prm.data_descriptor = info->data_descriptor;
        prm.mov_intra_demuxer_flags = 0;
        prm.max_vfr_to_cfr_fps = ZRational{60, 1};
        snap->demuxer = create_video_demuxer_mov(&prm, 1);
        break;
    }
    case MediaInfoVideoSrc_Ffmpeg: {
        FfVideoDemuxerParams prm;
        prm.path = snap->input_path;
        prm.pix_fmt = info->pix_fmt == PixFmt_Undefined ? PixFmt_RGBA8 : info->pix_fmt;
        prm.dec_width = prm.dst_width = info->width;
        prm.dec_height = prm.dst_height = info->height;
        prm.scale_quality = 1;
        prm.alignment = 64;
        prm.start_frame = -1;
        prm.end_frame = -1;
        prm.slice_threading = 1;
        snap->demuxer = create_video_demuxer_ff(prm, 1);
        break;
    }
    default: throw_process_error("Unsupported video demuxer");
    }
}

// Appends the decode nodes; returns the layout they deliver.
uint32_t add_decoders(HapStandSnapshotCmdLine *snap) {
    const MediaInfo *info = snap->info;
    FilterGraph *g = snap->graph;
    const uint32_t w = info->width, h = info->height;
    switch (info->data_descriptor) {
    case VideoFrameHapData: {
        const HapCodec codec = hap_codec_of_fourcc(info->codec_fourcc);
        add_node(g, create_filter_hap_frame_decode({codec, w, h, 0, 1}));
        add_node(g, create_filter_dxt_decode({codec, w, h, 1, info->pix_fmt, 0}));
        return info->pix_fmt;
    }
    case VideoFramePngData:
        add_node(g, create_filter_png_decode({w, h, info->pix_fmt, uint8_t(info->have_alpha)}));
        return info->pix_fmt;
    case VideoFrameJpegData: add_node(g, create_filter_jpeg_decode(w, h)); return PixFmt_RGBX8;
    case VideoFrameTiffData: add_node(g, create_filter_tiff_decode({w, h, info->pix_fmt, 0})); return info->pix_fmt;
    case VideoFrameProresData:
    case VideoFramePhotoJpegData:
    case VideoFrameDnxHDData:
    case VideoFrameDnxHRData:
    case VideoFrameDxv3Data: {
        FfIntraDecodeParams prm = ff_intra_decode_params(info->data_descriptor, w, h, info->codec_fourcc,
                                                         info->codec_sub_fourcc, info->pix_fmt);
        prm.threaded = 1;
        prm.report_changes = 1;
        add_node(g, create_filter_ff_intra_decode(prm));
        if (!ff_intra_decode_is_ycocg(prm)) return prm.pix_fmt;
        add_node(g, create_filter_ycocg_to_rgb({prm.pix_fmt, w, h, 1}));
        return prm.pix_fmt == PixFmt_YUV420 ? PixFmt_RGBX8 : PixFmt_RGBA8;
    }
    case VideoFrameNotchLcData: {
        NotchLcDecodeParams prm{info->pix_fmt, w, h, 0};
        add_node(g, create_filter_notchlc_decode(&prm));
        return info->pix_fmt;
    }
    case VideoFrameUnknown: return info->pix_fmt;
    default: throw_process_error("Unsupported codec intra decode");
    }
}

bool layout_has_alpha(uint32_t f) {
    switch (f) {
    case PixFmt_ARGB8:
    case PixFmt_RGBA8:
    case PixFmt_RGBA16:
    case PixFmt_RGBA32F:
    case PixFmt_PlanarRGBA8:
    case PixFmt_PlanarRGBA16:
    case PixFmt_PlanarRGBA32F:
    case PixFmt_YUVA420:
    case PixFmt_YUVA444:
    case PixFmt_YUVA444_10:
    case PixFmt_YUVA444_12:
    case PixFmt_UYVYA:
    case PixFmt_CMYKA8: return true;
    default: return false;
    }
}

}  // namespace

// ---- engine record ----

HapStandSnapshotCmdLine *snapshot_cmd_line_create() {
    auto *snap = static_cast<HapStandSnapshotCmdLine *>(calloc(1, sizeof(HapStandSnapshotCmdLine)));
    if (!snap) throw std::bad_alloc();
    snap->jpg_quality = 90;
    snap->box_width = 1920;
    snap->box_height = 1080;
    return snap;
}

void snapshot_cmd_line_check(const HapStandSnapshotCmdLine *snap) {
    if (!snap) throw_process_error("Invalid snapshot object");
    if (!snap->input_path) throw_process_error("Unset input file");
    if (!snap->output_path) throw_process_error("Unset output file");
}

void snapshot_cmd_line_free(HapStandSnapshotCmdLine **snap) {
    if (!snap || !*snap) return;
    HapStandSnapshotCmdLine *s = *snap;
    free(s->input_path);
    free(s->output_path);
    free_media_info(&s->info);
    video_demuxer_free(s->demuxer);
    filter_graph_free(s->graph);
    video_frame_destroy(&s->in_frame);
    free(s);
    *snap = nullptr;
}

void snapshot_cmd_line_process(HapStandSnapshotCmdLine *snap) {
    snapshot_cmd_line_check(snap);
    snap->info = get_media_info(snap->input_path);
    const MediaInfo *info = snap->info;
    if (!info || !info->have_video) throw_process_error("No video found in input file");
    open_source(snap);
    snap->in_frame = video_frame_new();
    video_demuxer_get_frame(snap->demuxer, snap->frame, snap->in_frame, true);
    snap->graph = filter_graph_create(7, 1);

    uint32_t w = info->width, h = info->height, f = info->pix_fmt;
    if (snap->in_frame->is_raw) {
        w = snap->in_frame->width;
        h = snap->in_frame->height;
        f = snap->in_frame->pix_fmt;
    } else {
        f = add_decoders(snap);
    }

    const bool png = snap->output_format == 1;
    const bool ignore_alpha = snap->alpha_interpret == 3;
    uint32_t alpha_mode = info->alpha_kind;
    if (snap->alpha_interpret == 2) alpha_mode = ScaleAlphaMode_Straight;
    if (snap->alpha_interpret == 1) alpha_mode = ScaleAlphaMode_Premultiplied;
    const bool keep_alpha = !ignore_alpha && info->have_alpha;

    uint32_t tw = w, th = h;
    if (snap->scale_mode == 1 || snap->scale_mode == 2) {
        unsigned fw = 0, fh = 0;
        get_fit_dim_keep_ratio(&fw, &fh, w, h, snap->box_width, snap->box_height);
        tw = fw;
        th = fh;
    }
    const uint32_t target_fmt = keep_alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
    const uint32_t src_alpha = png && ignore_alpha ? uint32_t(ScaleAlphaMode_Straight) : alpha_mode;
    const uint32_t dst_alpha = png ? uint32_t(ScaleAlphaMode_Straight) : alpha_mode;
    const bool same = tw == w && th == h && target_fmt == f && (!layout_has_alpha(f) || src_alpha == dst_alpha);
    if (!same) {
        ScaleFilterParams sp{};
        sp.src_pix_fmt = f;
        sp.src_range = info->color_range;
        sp.src_chroma_loc = info->chroma_location;
        sp.src_matrix = info->color_matrix;
        sp.src_alpha_mode = src_alpha;
        sp.src_w = w;
        sp.src_h = h;
        sp.dst_pix_fmt = target_fmt;
        sp.dst_range = 2;
        sp.dst_chroma_loc = 6;
        sp.dst_matrix = sp.src_matrix;
        sp.dst_alpha_mode = dst_alpha;
        sp.dst_w = tw;
        sp.dst_h = th;
        sp.quality = 1;
        sp.interlaced = 0;
        sp.disable_fast_path = 0;
        sp.use_swscale = 1;
        sp.allow_avx2 = 1;
        add_node(snap->graph, create_filter_scale(&sp));
    }
    f = target_fmt;
    w = tw;
    h = th;

    if (!png && keep_alpha && alpha_mode == ScaleAlphaMode_Straight) {
        BgMergeParams bp{};
        bp.src_pix_fmt = f;
        bp.width = w;
        bp.height = h;
        bp.opacity = 1.0f;
        bp.alpha_mode = alpha_mode;
        bp.background = BgMerge_Black;
        bp.color1[0] = bp.color1[1] = bp.color1[2] = 0.0f;
        bp.color1[3] = 1.0f;
        bp.color2[0] = bp.color2[1] = bp.color2[2] = bp.color2[3] = 1.0f;
        bp.in_place = 1;
        bp.sliced = 1;
        bp.allow_avx2 = 1;
        add_node(snap->graph, create_filter_bg_merge(bp));
        f = PixFmt_RGBX8;
    }

    if (snap->scale_mode == 2 && (w != snap->box_width || h != snap->box_height)) {
        // Centred; an odd extra row goes to the top, an odd extra column to the left.
        const uint32_t extra_w = snap->box_width - w, extra_h = snap->box_height - h;
        PadFilterParams pp{};
        pp.transparent = 0;
        pp.pix_fmt = f;
        pp.src_width = w;
        pp.src_height = h;
        pp.dst_width = snap->box_width;
        pp.dst_height = snap->box_height;
        pp.explicit_margins = 1;
        pp.left = (extra_w + 1) / 2;
        pp.right = extra_w / 2;
        pp.top = (extra_h + 1) / 2;
        pp.bottom = extra_h / 2;
        add_node(snap->graph, create_filter_pad(pp));
        w = snap->box_width;
        h = snap->box_height;
    }

    if (png) {
        PngEncodeParams ep{};
        ep.channels = f == PixFmt_RGBA8 ? 4 : 3;
        ep.bit_depth = 8;
        ep.width = w;
        ep.height = h;
        ep.compression = 2;
        add_node(snap->graph, create_filter_png_encode(ep));
    } else {
        add_node(snap->graph, create_filter_jpeg_encode({w, h, snap->jpg_quality}));
    }

    VideoFrame *inputs[] = {snap->in_frame};
    filter_graph_process(snap->graph, inputs, 1);
    const VideoFrame *out = snap->graph->output;
    if (!out || !out->data[0] || out->data_size[0] == 0) throw_process_error("Fail to write empty frame");

    // Exclusive creation: a file that appeared since the name was chosen is never touched.
    std::string path = snap->output_path;
    FILE *file = file_create_exclusive(path);
    if (!file) {
        const int err = errno;
        char msg[PATH_MAX + 256];
        snprintf(msg, sizeof msg, "Can't open file : %s. Error : %d. %s", path.c_str(), err, strerror(err));
        throw_process_error(msg);
    }
    if (path != snap->output_path) {
        char *copy = strdup(path.c_str());
        if (copy) {
            free(snap->output_path);
            snap->output_path = copy;
        }
    }
    const size_t size = out->data_size[0];
    const size_t written = fwrite(out->data[0], 1, size, file);
    const bool closed = fclose(file) == 0;
    if (written != size || !closed) {
        printf("Number of bytes to write : %zu. Number bytes write : %zu\n", size, written);
        printf("Error file write\n");
        throw_process_error("Error file write");
    }
}

// ---- job ----

HapStandCmdSnapshot::HapStandCmdSnapshot()
    : glob_settings_(std::make_unique<GlobalSettings>()), obj_process_(snapshot_cmd_line_create()) {}

HapStandCmdSnapshot::~HapStandCmdSnapshot() { snapshot_cmd_line_free(&obj_process_); }

int32_t HapStandCmdSnapshot::parse_cmd_args_with_argv(int argc, char **argv) {
    if (argc < 3) {
        printf("ERROR : %s\n", "Not enough input arguments");
        return 1;
    }
    HapStandSnapshotCmdLine *snap = obj_process_;
    static const char *const kWithValue[] = {"-i",           "-o",          "-i_alpha", "-frame", "-output_format",
                                             "-jpg_quality", "-scale_mode", "-width",   "-height"};
    for (int i = 2; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "-NSDocumentRevisionsDebugMode") {
            ++i;
            continue;
        }
        bool with_value = false;
        for (const char *o : kWithValue) with_value = with_value || opt == o;
        if (!with_value) {
            printf("WARNING : Unknown argument (will be ignore) : '%s'\n", opt.c_str());
            continue;
        }
        if (i + 1 >= argc) {
            printf("ERROR : Not enough arguments. %s expect value.\n", opt.c_str());
            return 1;
        }
        const std::string value = argv[++i];
        auto unknown = [&] {
            printf("INFO : value '%s' unknown for parameter '%s' (will be ignored)\n", value.c_str(), opt.c_str());
        };
        auto number_in = [&](int64_t lo, int64_t hi, uint32_t *field) {
            const int64_t v = leading_number(value.c_str());
            if (v < lo || v > hi)
                unknown();
            else
                *field = uint32_t(v);
        };
        auto choice = [&](std::initializer_list<std::pair<const char *, uint32_t>> table, uint32_t *field) {
            for (const auto &[name, code] : table) {
                if (value == name) {
                    *field = code;
                    return;
                }
            }
            unknown();
        };
        if (opt == "-i") {
            src_filepath_ = cmd_absolute_path(value);
        } else if (opt == "-o") {
            output_filepath_ = cmd_absolute_path(value);
        } else if (opt == "-i_alpha") {
            choice({{"same_as_src", 0}, {"premult_black", 1}, {"straight", 2}, {"ignore", 3}}, &snap->alpha_interpret);
        } else if (opt == "-frame") {
            number_in(0, 4294967294LL, &snap->frame);
        } else if (opt == "-output_format") {
            choice({{"png", 1}, {"jpg", 0}}, &snap->output_format);
        } else if (opt == "-jpg_quality") {
            number_in(1, 100, &snap->jpg_quality);
        } else if (opt == "-scale_mode") {
            choice({{"same_as_src", 0}, {"fit", 1}, {"fit_and_pad", 2}}, &snap->scale_mode);
        } else if (opt == "-width") {
            number_in(4, 65535, &snap->box_width);
        } else if (opt == "-height") {
            number_in(4, 65535, &snap->box_height);
        }
    }
    return 0;
}

void HapStandCmdSnapshot::update_target_snapshot_name() {
    const std::string folder = path_folder(output_filepath_);
    if (folder.empty()) {
        zlog("%s", "Can't create directory (empty path)");
    } else {
        std::string reason;
        if (!make_folder_with_parents(folder, &reason)) {
            const std::string line = "Failed to create directory \"" + folder + "\". Error: " + reason;
            zlog("%s", line.c_str());
        }
    }
    if (folder.empty() || !is_folder(folder)) throw_process_error("Fail to create target folder");
    const std::string base = path_without_extension(output_filepath_);
    const std::string ext = obj_process_->output_format == 1 ? "png" : "jpg";
    const std::string first = base + "." + ext;
    std::string candidate = first;
    for (unsigned long n = 1; is_existing_file(candidate); ++n) candidate = file_numbered_path(first, n);
    output_filepath_uniq_ = candidate;
}

int32_t HapStandCmdSnapshot::process() {
    if (!obj_process_) {
        printf("ERROR : %s\n", "Invalid processing");
        return 3;
    }
    if (src_filepath_.empty()) {
        printf("ERROR : Unset input file\n");
        return 3;
    }
    if (output_filepath_.empty()) {
        printf("ERROR : Unset output file\n");
        return 3;
    }
    try {
        update_target_snapshot_name();
        free(obj_process_->input_path);
        obj_process_->input_path = nullptr;
        obj_process_->input_path = copy_text(src_filepath_);
        free(obj_process_->output_path);
        obj_process_->output_path = nullptr;
        obj_process_->output_path = copy_text(output_filepath_uniq_);
        snapshot_cmd_line_check(obj_process_);
    } catch (const std::bad_alloc &) {
        printf("ERROR : OOM\n");
        return 3;
    } catch (const std::exception &e) {
        printf("ERROR : Invalid parameters : %s\n", e.what());
        return 3;
    }
    try {
        snapshot_cmd_line_process(obj_process_);
    } catch (const std::bad_alloc &) {
        printf("ERROR : OOM\n");
        return 3;
    } catch (const std::exception &e) {
        printf("ERROR : %s\n", e.what());
        return 3;
    } catch (...) {
        printf("ERROR : Unknown\n");
        return 3;
    }
    output_filepath_uniq_ = obj_process_->output_path;
    return 0;
}
