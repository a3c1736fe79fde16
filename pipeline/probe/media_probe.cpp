#include "pipeline/probe/media_probe.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "container/hap/hap_frame.h"
#include "container/mov/mov_reader.h"
#include "pipeline/audio/audio_frame.h"
#include "pipeline/audio/wav_reader.h"
#include "pipeline/image/image_header.h"
#include "pipeline/probe/ff_probe.h"
#include "platform/core/errors.h"
#include "platform/foundation/path.h"

namespace {

// Longest digit run taken as a frame number; the sequence source formats at most 10 digits.
constexpr uint32_t kMaxSeqDigits = 10;

constexpr uint32_t fourcc(const char s[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
           uint32_t(uint8_t(s[3]));
}

void set_str(char **field, const char *text) {
    free(*field);
    *field = clone_str(text);
    if (!*field && text) throw_alloc_error();
}

bool ext_is(const char *ext, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (strcmp(ext, n) == 0) return true;
    return false;
}

// Runs a reader step and turns its failure into "<prefix><message>", with "OOM" for an
// allocation failure and "Unknown error" for anything else.
template <typename Fn>
void with_prefix(const std::string &prefix, const std::string &lower_prefix, Fn fn) {
    try {
        fn();
    } catch (const ProcessError &e) { throw ProcessError(prefix + e.what()); } catch (const std::bad_alloc &) {
        throw ProcessError(lower_prefix + "OOM");
    } catch (...) { throw ProcessError(lower_prefix + "Unknown error"); }
}

// --- Images --------------------------------------------------------------------------

void probe_image(MediaInfo *info, const char *kind) {
    const char *path = info->filepath;
    info->have_video = true;
    info->video_src_type = MediaInfoVideoSrc_Image;
    const std::string prefix = std::string("Fail to get ") + kind + " information : ";
    if (strcmp(kind, "png") == 0) {
        PngHeaderInfo h;
        with_prefix(prefix, prefix, [&] { read_png_header_info(path, &h); });
        info->width = h.width;
        info->height = h.height;
        set_str(&info->codec_name, "PNG");
        info->data_descriptor = VideoFramePngData;
        if (h.has_alpha) {
            info->have_alpha = true;
            info->have_alpha_kind = true;
            info->alpha_kind = 1;
            info->pix_fmt = PixFmt_RGBA8;
        } else {
            info->pix_fmt = PixFmt_RGBX8;
        }
    } else if (strcmp(kind, "jpeg") == 0) {
        JpegHeaderInfo h;
        with_prefix(prefix, prefix, [&] { read_jpeg_header_info(path, &h); });
        info->width = h.width;
        info->height = h.height;
        set_str(&info->codec_name, "JPEG");
        info->data_descriptor = VideoFrameJpegData;
        info->pix_fmt = PixFmt_RGBX8;
    } else {
        TiffHeaderInfo h;
        with_prefix(prefix, prefix, [&] { read_tiff_header_info(path, &h); });
        info->width = h.width;
        info->height = h.height;
        set_str(&info->codec_name, "TIFF");
        info->data_descriptor = VideoFrameTiffData;
        info->have_alpha = h.has_alpha;
        info->pix_fmt = h.has_alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
    }
}

// Splits an image path into the part before the frame number and the number's digits.
void split_image_sequence(MediaInfo *info) {
    if (!info->filepath) {
        printf("No src path to parse\n");
        info->img_seq_digits = 0;
        set_str(&info->img_seq_path_base, nullptr);
        throw_process_error("Fail to get image sequence path information");
    }
    const std::string path = info->filepath;
    const std::string ext = path_extension(path);
    info->nb_frames = 1;
    if (ext.empty()) {
        printf("No name in image file\n");
        info->img_seq_digits = 0;
        set_str(&info->img_seq_path_base, path.c_str());
        return;
    }
    // The extension's dot ends the digit run (image paths have no trailing "/": the road
    // was chosen by their extension).
    size_t end = path.size() - ext.size() - 1;
    size_t start = end;
    while (start > 0 && end - start < kMaxSeqDigits && path[start - 1] >= '0' && path[start - 1] <= '9') start--;
    info->img_seq_digits = uint32_t(end - start);
    try {
        set_str(&info->img_seq_path_base, path.substr(0, start).c_str());
    } catch (const std::bad_alloc &) { throw_process_error("Fail to get image sequence path information"); }
}

// --- MOV -----------------------------------------------------------------------------

struct MovMissing {
    bool video = true;
    bool audio = true;
};

struct MovReaderHolder {
    MovReader r;
    MovReaderHolder() { mov_reader_init(&r); }
    ~MovReaderHolder() { mov_reader_close(&r); }
};

struct CodecRow {
    uint32_t code;
    const char *name;
    VideoFrameDataDescriptor descriptor;
};

void set_range_chroma(MediaInfo *info, uint32_t range, uint32_t chroma) {
    info->color_range = range;
    info->chroma_location = chroma;
}

void mov_alpha(MediaInfo *info, const MovReader &r) {
    if (r.depth != 32) {
        info->have_alpha = false;
        return;
    }
    info->have_alpha = true;
    const uint32_t c = r.codec;
    const bool no_alpha_codec =
        c == fourcc("apch") || c == fourcc("apcn") || c == fourcc("apco") || c == fourcc("apcs") ||
        c == fourcc("2vuy") || c == fourcc("Hap1") || c == fourcc("HapY") || c == fourcc("jpeg") ||
        c == fourcc("v210") ||
        (c == fourcc("DXD3") && (r.codec_variant == fourcc("DXT1") || r.codec_variant == fourcc("YCG6")));
    if (no_alpha_codec) {
        printf("Warning mov bitdepth 32, with no alpha codec : %d\n", int(c));
        info->have_alpha = false;
        return;
    }
    int kind = -1;
    if (r.meta_set) {
        if (r.meta_alpha_mode == 1 || r.alfa_alpha_mode == 2)
            kind = 0;
        else if (r.meta_alpha_mode == 2 || r.alfa_alpha_mode == 3)
            kind = 1;
    } else if (r.alfa_alpha_mode == 3) {
        kind = 1;
    } else if (r.alfa_alpha_mode == 2) {
        kind = 0;
    }
    if (kind >= 0) {
        info->have_alpha_kind = true;
        info->alpha_kind = uint32_t(kind);
    }
}

// Fills the codec fields from the codec table; false when the system does not decode it.
bool mov_codec(MediaInfo *info, const MovReader &r) {
    const uint32_t c = r.codec;
    const uint32_t sub = r.codec_variant;
    auto set = [&](const char *name, VideoFrameDataDescriptor d) {
        set_str(&info->codec_name, name);
        info->data_descriptor = d;
    };
    auto hap = [&](const char *name, bool alpha) {
        set(name, VideoFrameHapData);
        info->have_alpha = alpha;
        info->pix_fmt = alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
    };
    if (c == fourcc("Hap1")) {
        hap("HAP", false);
    } else if (c == fourcc("Hap5")) {
        hap("HAPA", true);
    } else if (c == fourcc("Hap7")) {
        hap("HAPR", r.depth != 24);
    } else if (c == fourcc("HapA")) {
        hap("HAP Alpha Only", false);
    } else if (c == fourcc("HapM")) {
        hap("HAPQA", true);
    } else if (c == fourcc("HapY")) {
        hap("HAPQ", false);
    } else if (c == fourcc("apch") || c == fourcc("apcn") || c == fourcc("apco") || c == fourcc("apcs")) {
        set(c == fourcc("apch")   ? "Prores 422 HQ"
            : c == fourcc("apcn") ? "Prores 422"
            : c == fourcc("apco") ? "Prores 422 Proxy"
                                  : "Prores 422 LT",
            VideoFrameProresData);
        info->pix_fmt = PixFmt_YUV422_10;
        set_range_chroma(info, 0, 0);
    } else if (c == fourcc("ap4h") || c == fourcc("ap4x")) {
        set(c == fourcc("ap4h") ? "Prores 4444" : "Prores 4444 XQ", VideoFrameProresData);
        info->pix_fmt = info->have_alpha ? PixFmt_YUVA444_12 : PixFmt_YUV444_12;
        set_range_chroma(info, 0, 0);
    } else if (c == fourcc("2vuy")) {
        set("Uncompress 4:2:2 8 Bits", VideoFrameUnknown);
        info->pix_fmt = PixFmt_UYVY;
        set_range_chroma(info, 0, 0);
    } else if (c == fourcc("v210")) {
        set("Uncompress 4:2:2 10 Bits", VideoFrameUnknown);
        info->pix_fmt = PixFmt_V210;
        set_range_chroma(info, 0, 0);
    } else if (c == fourcc("jpeg")) {
        set("Photo JPEG", VideoFramePhotoJpegData);
        info->pix_fmt = PixFmt_YUV422;
        set_range_chroma(info, 1, 1);
    } else if (c == fourcc("nclc")) {
        set("Notch LC", VideoFrameNotchLcData);
        info->pix_fmt = info->have_alpha ? PixFmt_YUVA444_12 : PixFmt_YUV444_12;
        set_range_chroma(info, 1, 0);
    } else if (c == fourcc("DXD3")) {
        const char *name = sub == fourcc("DXT1")   ? "DXV3 (DXT1)"
                           : sub == fourcc("DXT5") ? "DXV3 (DXT5)"
                           : sub == fourcc("YCG6") ? "DXV3 (YCG6)"
                           : sub == fourcc("YG10") ? "DXV3 (YG10)"
                                                   : nullptr;
        set(name ? name : "DXV3 (Unknown)", VideoFrameDxv3Data);
        info->pix_fmt = info->have_alpha ? PixFmt_RGBA8 : PixFmt_RGBX8;
        set_range_chroma(info, 0, 0);
        return name != nullptr;
    } else if (c == fourcc("AVdn") || c == fourcc("AVdh")) {
        struct Family {
            uint32_t sub;
            const char *name;
            PixFmt fmt;
        };
        static const Family dnxhd[] = {{1, "DnxHD 422 8 bits", PixFmt_YUV422},
                                       {2, "DnxHD 422 10 bits", PixFmt_YUV422_10},
                                       {3, "DnxHD 444 10 bits", PixFmt_YUV444_10}};
        static const Family dnxhr[] = {{4, "DnxHR 422 8 bits", PixFmt_YUV422},
                                       {5, "DnxHR 422 10 bits", PixFmt_YUV422_10},
                                       {6, "DnxHR 422 12 bits", PixFmt_YUV422_12},
                                       {8, "DnxHR 444 10 bits", PixFmt_YUV444_10},
                                       {9, "DnxHR 444 12 bits", PixFmt_YUV444_12}};
        const bool hd = c == fourcc("AVdn");
        set(hd ? "DnxHD (Unknown)" : "DnxHR (Unknown)", hd ? VideoFrameDnxHDData : VideoFrameDnxHRData);
        set_range_chroma(info, r.have_color_range && r.is_full_range ? 1 : 0, 0);
        const Family *first = hd ? std::begin(dnxhd) : std::begin(dnxhr);
        const Family *last = hd ? std::end(dnxhd) : std::end(dnxhr);
        for (const Family *f = first; f != last; f++) {
            if (f->sub == sub) {
                set_str(&info->codec_name, f->name);
                info->pix_fmt = f->fmt;
                return true;
            }
        }
        return false;
    } else {
        return false;
    }
    return true;
}

// Chunk count of the first texture of the first frame; 1 when it cannot be read.
void mov_hap_chunks(MediaInfo *info, MovReader &r) {
    info->is_hap = true;
    info->hap_chunks = 1;
    HapFrame frame;
    hap_frame_init(&frame);
    try {
        std::lock_guard<std::mutex> lock(*r.audio_mutex);
        if (!r.seek_table || r.nb_frames == 0) throw_process_error("No video sample");
        hap_frame_read_from_file(&frame, r.width, r.height, r.file, r.seek_table[0].offset, r.seek_table[0].size);
        info->hap_chunks = frame.chunk_counts[0];
    } catch (const ProcessError &e) {
        printf("Error read first frame (%s)\n", e.what());
    } catch (const std::bad_alloc &) { printf("Error read first frame (%s)\n", "Memory error"); } catch (...) {
        printf("Error read first frame (%s)\n", "Unknown error");
    }
    hap_frame_free(&frame);
}

uint64_t mask_of_label(uint32_t label, uint32_t channel, uint64_t current) {
    switch (label) {
    case 0: return uint64_t(1) << channel;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6: return uint64_t(1) << (label - 1);
    case 33: printf("Rear surround left found\n"); return 0x40;
    case 34: printf("Rear surround right found\n"); return 0x80;
    case 42: return 3;
    case 100: printf("Warning : Mov audio track with audio coordinates unsupported\n"); return current;
    case 0xFFFFFFFFu: return current;
    default: printf("Unknown val channel mov info (%u)\n", label); return current;
    }
}

void mov_audio(MediaInfo *info, const MovReader &r, MovMissing &missing) {
    for (uint32_t i = 0; i < r.nb_audio_tracks; i++)
        if (!r.audio_tracks[i].pcm_supported) return;
    if (info->force_ff_audio) return;
    info->audio_src_type = MediaInfoAudioSrc_Mov;
    missing.audio = false;
    if (r.nb_audio_tracks == 0) return;
    alloc_audio_infos(info, r.nb_audio_tracks);
    for (uint32_t i = 0; i < r.nb_audio_tracks; i++) {
        const MovAudioTrack &a = r.audio_tracks[i];
        AudioInfo *t = &info->audio_tracks[i];
        t->index_stream = i;
        t->track_id = a.track_id;
        init_audio_info_channels(t, a.channels);
        t->frequency = a.sample_rate;
        t->nb_samples = a.nb_samples;
        if (a.sample_rate) t->duration = float(a.nb_samples) / float(a.sample_rate);
        t->bytes_per_sample = a.bits_per_sample / 8;
        t->is_pcm = true;
        t->format = mov_reader_get_pcm_format(&a);
        set_str(&t->description, get_pcm_format_name(t->format));
        if (a.sample_rate > kWavMaxSampleRate) {
            // Buffers are sized by the rate: a hostile header must not choose them.
            printf("Invalid audio frequency %u\n", a.sample_rate);
            t->is_valid = false;
        }
        if (a.channel_labels)
            for (uint32_t c = 0; c < a.channels; c++)
                t->channel_mapping[c] = mask_of_label(a.channel_labels[c], c, t->channel_mapping[c]);
    }
}

MovMissing probe_mov(MediaInfo *info) {
    MovMissing missing;
    MovReaderHolder holder;
    MovReader &r = holder.r;
    with_prefix("Fail to get Mov information : ", "Fail to get mov information : ", [&] {
        MovReaderParams p;
        p.path = info->filepath;
        p.mov_intra_demuxer_flags = info->mov_intra_demuxer_flags;
        p.max_vfr_to_cfr_fps = info->max_vfr_to_cfr_fps;
        mov_reader_open(&r, &p);

        if (r.nb_video_tracks > 0) {
            info->video_src_type = MediaInfoVideoSrc_Ffmpeg;
            info->have_video = true;
            info->is_vfr = r.is_vfr;
            info->fps = r.fps_rational;
            info->nb_frames = r.nb_frames;
            info->codec_fourcc = r.codec;
            info->codec_sub_fourcc = r.codec_variant;
            info->width = r.width;
            info->height = r.height;
            info->color_matrix = media_yuv_matrix(r.color_matrix, r.width, r.height);
            info->pixel_ratio = r.pixel_aspect;
            if (mov_fiel_is_progressive(&r))
                info->field_order = 0;
            else if (mov_fiel_is_top_field_first(&r))
                info->field_order = 1;
            mov_alpha(info, r);
            if (mov_codec(info, r)) {
                missing.video = false;
                info->video_src_type = MediaInfoVideoSrc_Mov;
            } else if (info->codec_name) {
                info->video_src_type = MediaInfoVideoSrc_Mov;  // a known family, an unknown variant
            }
            const uint32_t c = r.codec;
            if (c == fourcc("Hap1") || c == fourcc("Hap5") || c == fourcc("Hap7") || c == fourcc("HapA") ||
                c == fourcc("HapM") || c == fourcc("HapY"))
                mov_hap_chunks(info, r);
        }
        if (r.have_timecode) {
            info->have_tc = true;
            info->tc_start_frame = r.tc_start_frame;
            info->tc_drop_frame = (r.tc_flags & 1) != 0;
        }
        mov_audio(info, r, missing);
    });
    return missing;
}

// --- WAV -----------------------------------------------------------------------------

void probe_wav(MediaInfo *info) {
    WavReader r;
    wav_reader_init(&r);
    try {
        with_prefix("Fail to get wav information : ", "Fail to get wav information : ", [&] {
            wav_reader_open(&r, info->filepath);
            alloc_audio_infos(info, 1);
            AudioInfo *t = &info->audio_tracks[0];
            init_audio_info_channels(t, r.channels);
            t->frequency = r.sample_rate;
            t->nb_samples = r.nb_samples;
            t->duration = r.duration;
            t->format = wav_reader_get_format(&r);
            set_str(&t->description, get_pcm_format_name(t->format));
            if (t->format > 10) throw_process_error("Unknown audio descriptor");
            t->bytes_per_sample = get_audio_sample_bytes(t->format);
            t->is_pcm = true;
            info->audio_src_type = MediaInfoAudioSrc_Wav;
        });
    } catch (...) {
        wav_reader_free(&r);
        throw;
    }
    wav_reader_free(&r);
}

// Forgets the audio a failed reader described, so FFmpeg's tracks stand alone.
void drop_audio(MediaInfo *info) {
    for (uint32_t i = 0; i < info->nb_audio_tracks; i++) {
        free(info->audio_tracks[i].description);
        free(info->audio_tracks[i].channel_mapping);
    }
    free(info->audio_tracks);
    info->audio_tracks = nullptr;
    info->nb_audio_tracks = 0;
    info->audio_src_type = MediaInfoAudioSrc_None;
}

}  // namespace

const char *get_pcm_format_name(AudioSampleFormat format) {
    static const char *const names[] = {"PCM U8bits",          "PCM S16bits LE",      "PCM S16bits BE",
                                        "PCM S24bits LE",      "PCM S24bits BE",      "PCM S32bits LE",
                                        "PCM S32bits BE",      "PCM Float 32bits LE", "PCM Float 32bits BE",
                                        "PCM Float 64bits LE", "PCM Float 64bits BE"};
    return format <= 10 ? names[format] : "Unknown";
}

void probe_media_info(MediaInfo *info, const char *path) {
    if (!path) throw_process_error("Invalid filepath");
    av_log_set_level(AV_LOG_ERROR);
    set_str(&info->filepath, path);
    const std::string ext = path_extension(path);
    set_str(&info->ext, ext.empty() ? nullptr : ext.c_str());

    bool whole = true, take_video = true, take_audio = true;
    if (!ext.empty()) {
        const char *e = ext.c_str();
        const char *image = ext_is(e, {"png", "PNG"})                   ? "png"
                            : ext_is(e, {"jpg", "jpeg", "JPG", "JPEG"}) ? "jpeg"
                            : ext_is(e, {"tif", "tiff", "TIF", "TIFF"}) ? "tiff"
                                                                        : nullptr;
        if (image) {
            probe_image(info, image);
            split_image_sequence(info);
            return;
        }
        if (ext_is(e, {"mov", "MOV", "Mov", "mp4", "MP4", "Mp4"}) && !info->force_ff) {
            try {
                MovMissing missing = probe_mov(info);
                if (!missing.video && !missing.audio) return;
                whole = false;
                take_video = missing.video;
                take_audio = missing.audio;
            } catch (const ProcessError &e) {
                printf("ERROR : Fail to get mov information : %s\n", e.what());
            } catch (...) { printf("ERROR : Fail to get mov information : Unknown\n"); }
        } else if (ext == "wav") {
            try {
                probe_wav(info);
                return;
            } catch (const ProcessError &e) {
                printf("ERROR : Fail to get wav information : %s\n", e.what());
            } catch (...) { printf("ERROR : Fail to get wav information : Unknown\n"); }
            drop_audio(info);
        }
    }
    probe_media_info_ff(info, whole, take_video, take_audio);
}

MediaInfo *get_media_info_with_params(const char *path, const MediaInfoParams &params) {
    MediaInfo *info = new_media_info();
    info->force_ff = params.force_ff;
    info->mov_intra_demuxer_flags = params.mov_intra_demuxer_flags;
    info->max_vfr_to_cfr_fps = params.max_vfr_to_cfr_fps;
    try {
        probe_media_info(info, path);
    } catch (...) {
        free_media_info(&info);
        throw;
    }
    return info;
}

MediaInfo *get_media_info(const char *path) { return get_media_info_with_params(path, MediaInfoParams{}); }
