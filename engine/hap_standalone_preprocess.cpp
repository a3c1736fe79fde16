#include "engine/hap_standalone_preprocess.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "container/hap/hap_frame.h"
#include "container/mov/mov_demuxer.h"
#include "container/mov/notchlc_decode.h"
#include "container/texdec/dxt_decode_filter.h"
#include "media/scale/scale_filter.h"
#include "pipeline/audio/audio_sources.h"
#include "pipeline/filters/crop_detect_filter.h"
#include "pipeline/filters/ff_intra_decode.h"
#include "pipeline/filters/ycocg_filter.h"
#include "pipeline/image/image_decode.h"
#include "pipeline/source/ff_video_demuxer.h"
#include "pipeline/source/img_seq_demuxer.h"
#include "engine/base_process_task.h"
#include "engine/hap_process_task.h"
#include "model/queue/rq_task.h"
#include "platform/core/cpu.h"
#include "platform/core/errors.h"

namespace {

constexpr uint32_t kNoIndex = 0xFFFFFFFFu;
constexpr uint32_t kAnalyseFrequency = 48000;

uint32_t available_cpus() {
    uint32_t n = cpu_count_available();
    if (n == 0) n = cpu_count_total();
    return n == 0 ? 1 : n;
}

void check_track(const AudioInfo &track) {
    if (track.nb_channels == 0 || track.nb_channels > kAudioInfoMaxChannels || !track.channel_mapping ||
        track.frequency == 0)
        throw_process_error("Invalid input track info");
}

// ---- audio build ----

void build_audio(HapStandalonePreProcess *pp) {
    pp->audio_nb_samples = 0;
    pp->audio_samples_per_entry = 0;
    pp->nb_audio_sources = pp->nb_used_tracks = pp->nb_used_wavs = pp->nb_channels_in = 0;
    const uint32_t n_out = hap_preprocess_layout_channels(pp->audio_params.audio_layout);
    const MediaInfo *src = pp->src_info;

    double longest = 0.0;
    auto note_duration = [&longest](const AudioInfo &t) {
        if (std::isfinite(t.duration) && t.duration > longest) longest = t.duration;
    };
    if (src->audio_tracks) {
        for (uint32_t i = 0; i < src->nb_audio_tracks; ++i) {
            const AudioInfo &t = src->audio_tracks[i];
            if (!is_audio_track_used(t, n_out)) continue;
            check_track(t);
            ++pp->nb_used_tracks;
            pp->nb_channels_in += t.nb_channels;
            note_duration(t);
        }
    }
    for (uint32_t w = 0; w < pp->nb_wav_infos; ++w) {
        const MediaInfo *wi = pp->wav_infos[w];
        if (!wi || wi->nb_audio_tracks != 1 || !wi->audio_tracks)
            throw_process_error("Invalid audio track count for wav");
        const AudioInfo &t = wi->audio_tracks[0];
        if (!is_audio_track_used(t, n_out)) continue;
        check_track(t);
        ++pp->nb_used_wavs;
        pp->nb_channels_in += t.nb_channels;
        note_duration(t);
    }
    pp->nb_audio_sources = pp->nb_used_tracks + pp->nb_used_wavs;
    // About 12 days at 48 kHz: more than any source, and no overflow below.
    if (longest > 1.0e6) longest = 1.0e6;
    pp->audio_nb_samples = uint64_t(std::llround(longest * kAnalyseFrequency));
    pp->audio_samples_per_entry = kAnalyseFrequency;
    if (pp->nb_audio_sources == 0) {
        printf("No need audio\n");
        return;
    }
    if (pp->nb_channels_in > kAudioFrameMaxChannels) throw_process_error("Invalid input track info");

    // Range.
    uint64_t first = 0, end = 0;
    const ZRational fps = hap_preprocess_audio_fps(pp->src_interpret.media_interpret, src->fps);
    hap_preprocess_audio_range(pp->src_interpret.in_point, pp->src_interpret.out_point, fps, pp->audio_nb_samples,
                               &first, &end);
    if (end < first) throw_process_error("Fail to find audio range to analyse");

    // Sources and links.
    pp->audio_links = new HapPreProcess_AudioTrackLink[pp->nb_audio_sources]();
    if (pp->nb_wav_infos > 0) pp->wav_audio_demuxers = new AudioDemuxer *[pp->nb_wav_infos]();
    const uint32_t nb_links =
        open_audio_source_links(src, pp->nb_used_tracks > 0, pp->wav_infos, pp->nb_wav_infos, n_out,
                                &pp->main_audio_demuxer, pp->wav_audio_demuxers, pp->audio_links, pp->nb_audio_sources);
    if (nb_links != pp->nb_audio_sources) throw_process_error("Invalid audio src count");

    pp->channel_masks = new uint64_t[pp->nb_channels_in]();
    fill_audio_channel_masks(pp->audio_links, nb_links, pp->channel_masks);

    // Ring.
    pp->audio_ring_size = pp->nb_cpu;
    for (uint32_t j = 0; j < nb_links; ++j) {
        if (pp->audio_links[j].info->frequency != kAnalyseFrequency) pp->audio_ring_size = 1;
    }
    pp->audio_ring = new HAPStandalone_PreProcess_AudioEncodeThreadData[pp->audio_ring_size]();
    for (uint32_t e = 0; e < pp->audio_ring_size; ++e) {
        HAPStandalone_PreProcess_AudioEncodeThreadData &entry = pp->audio_ring[e];
        entry.nb_sources = pp->nb_audio_sources;
        init_audio_filter_pool(&entry.filters, pp->nb_audio_sources + 1);
        entry.src_frames = new AudioFrame[pp->nb_audio_sources];
        for (uint32_t j = 0; j < pp->nb_audio_sources; ++j) init_audio_frame(&entry.src_frames[j]);
        entry.src_converters = new AudioFilter *[pp->nb_audio_sources]();
        for (uint32_t j = 0; j < pp->nb_audio_sources; ++j) {
            const AudioInfo *t = pp->audio_links[j].info;
            AudioFrame *f = &entry.src_frames[j];
            alloc_audio_frame(f, t->format, t->nb_channels, t->frequency, t->is_planar ? 1 : 0, t->frequency);
            for (uint32_t c = 0; c < t->nb_channels; ++c) f->channel_masks[c] = t->channel_mapping[c];
            AudioFilterConvertParams cp{};
            cp.seconds = 1;
            cp.channels = t->nb_channels;
            cp.in_format = t->format;
            cp.in_planar = t->is_planar ? 1 : 0;
            cp.in_frequency = t->frequency;
            cp.out_format = AudioSampleFormat_F32LE;
            cp.out_planar = 1;
            cp.out_frequency = kAnalyseFrequency;
            cp.dual_stereo = 0;
            AudioFilter *conv = create_audio_filter_convert(cp);
            entry.src_converters[j] = conv;
            audio_filter_pool_add(&entry.filters, conv);
        }
        AudioFilterMappingParams mp{};
        mp.samples = kAnalyseFrequency;
        mp.frequency = kAnalyseFrequency;
        mp.input_count = pp->nb_audio_sources;
        mp.input_channels = pp->nb_channels_in;
        mp.output_channels = n_out;
        mp.masks = pp->channel_masks;
        entry.mapping = create_audio_filter_mapping(mp);
        audio_filter_pool_add(&entry.filters, entry.mapping);
    }

    // Analyser: only the measurements the gain mode needs.
    AudioAnalyserParams ap{};
    ap.seconds = 1;
    ap.channels = n_out;
    ap.format = AudioSampleFormat_F32LE;
    ap.planar = 1;
    ap.frequency = kAnalyseFrequency;
    ap.start_sample = first;
    ap.sample_count = end - first;
    AudioAnalyserOptions ao{};
    ao.loudness = pp->audio_params.loudness_test;
    ao.short_term = pp->audio_params.loudness_test;
    ao.loudness_range = pp->audio_params.loudness_test;
    ao.peaks = pp->audio_params.true_peak_test;
    ao.stop_at_sound = pp->audio_params.silence_test;
    pp->audio_analyser = create_audio_analyser(ap, ao);
    pp->audio_samples_to_analyse = end - first;
    pp->audio_samples_analysed = 0;
    pp->audio_index = 0;
    pp->audio_samples_read = 0;
}

// ---- video build ----

void video_range(uint32_t duration, int32_t in_point, int32_t out_point, uint32_t *in, uint32_t *out) {
    if (duration <= 1) {
        if (duration == 0) printf("ERR : Invalid file duration zero\n");
        *in = *out = 0;
        return;
    }
    const uint32_t last = duration - 1;
    *in = in_point <= 0 ? 0 : uint32_t(in_point);
    if (*in > last) {
        printf("ERR : Invalid in point : %d Duration : %u (set to zero)\n", in_point, duration);
        *in = 0;
    }
    // Out point 0 is frame 0; only a negative out point means the last frame.
    *out = out_point < 0 ? last : uint32_t(out_point);
    if (*out > last) {
        printf("ERR : Invalid out point : %d Duration : %u (set to last frame)\n", out_point, duration);
        *out = last;
    }
    if (*out < *in) {
        printf("ERR : Invalid out point : %d (In point : %u : Duration : %u (clamp to in))\n", out_point, *in,
               duration);
        *out = *in;
    }
}

bool crop_detect_reads(uint32_t f) {
    switch (f) {
    case PixFmt_RGBA8:
    case PixFmt_RGBA16:
    case PixFmt_RGBA32F:
    case PixFmt_PlanarRGBA8:
    case PixFmt_PlanarRGBA16:
    case PixFmt_PlanarRGBA32F:
    case PixFmt_YUVA420:
    case PixFmt_YUVA444:
    case PixFmt_YUVA444_10:
    case PixFmt_YUVA444_12: return true;
    default: return false;
    }
}

// Adds a node to every slot's graph and returns its position. create is called once per slot.
template <typename Make>
uint32_t add_to_slots(HapStandalonePreProcess *pp, Make make) {
    uint32_t pos = kNoIndex;
    for (uint32_t k = 0; k < pp->frame_pool.nb_slots; ++k) {
        VideoFilter *f = make();
        try {
            pos = filter_graph_add_filter(pp->frame_pool.slots[k].graph, f);
        } catch (...) {
            video_filter_free(f);
            throw;
        }
    }
    return pos;
}

void build_video(HapStandalonePreProcess *pp) {
    const MediaInfo *src = pp->src_info;
    MPIntraVideoProcessing *pool = &pp->frame_pool;
    mp_intra_alloc(pool);
    mp_intra_create_graphs(pool, 4);

    uint32_t in = 0, out = 0;
    video_range(src->nb_frames, pp->src_interpret.in_point, pp->src_interpret.out_point, &in, &out);

    switch (src->video_src_type) {
    case MediaInfoVideoSrc_Image: {
        const uint32_t start = pp->src_interpret.img_seq_start_f;
        const uint32_t end_f = pp->src_interpret.img_seq_end_f;
        const int32_t ip = pp->src_interpret.in_point;
        const uint64_t first = uint64_t(start) + uint64_t(ip > 0 ? ip : 0);
        uint64_t last =
            pp->src_interpret.out_point < 0 ? end_f : uint64_t(start) + uint64_t(pp->src_interpret.out_point);
        if (first > end_f) {
            printf("Invalid frame range range : StartF : %u > src End frame : %u\n", uint32_t(first), end_f);
            throw_process_error("Invalid start/end range");
        }
        if (last > end_f) {
            printf("Invalid end frame (%u) > src end frame (%u) (clamp)\n", uint32_t(last), end_f);
            last = end_f;
        }
        if (first > last) {
            printf("Invalid frame range range : StartF : %u > End frame : %u\n", uint32_t(first), uint32_t(last));
            throw_process_error("Invalid start/end range");
        }
        ImgSeqDemuxerParams prm;
        prm.path_prefix = src->img_seq_path_base;
        prm.ext = src->ext;
        prm.first = uint32_t(first);
        prm.last = uint32_t(last);
        prm.digits = src->img_seq_digits;
        prm.image_kind = src->data_descriptor;
        pp->video_demuxer = create_video_demuxer_img_seq(prm, pool->nb_threads);
        break;
    }
    case MediaInfoVideoSrc_Mov: {
        MovDemuxerParams prm;
        prm.path = src->filepath;
        prm.start_frame = in;
        prm.end_frame = out;
        prm.reverse = false;
        prm.data_descriptor = src->data_descriptor;
        prm.mov_intra_demuxer_flags = 0;
        prm.max_vfr_to_cfr_fps = ZRational{60, 1};
        pp->video_demuxer = create_video_demuxer_mov(&prm, pool->nb_threads);
        break;
    }
    case MediaInfoVideoSrc_Ffmpeg: {
        FfVideoDemuxerParams prm;
        prm.path = src->filepath;
        prm.pix_fmt = src->pix_fmt == PixFmt_Undefined ? PixFmt_RGBA8 : src->pix_fmt;
        prm.dec_width = prm.dst_width = src->width;
        prm.dec_height = prm.dst_height = src->height;
        prm.scale_quality = 1;
        prm.alignment = 64;
        prm.start_frame = pp->src_interpret.in_point;
        prm.end_frame = pp->src_interpret.out_point;
        prm.slice_threading = pool->nb_threads == 1 ? 1 : 0;
        pp->video_demuxer = create_video_demuxer_ff(prm, pool->nb_threads);
        break;
    }
    default: throw_process_error("Unsupported video demuxer");
    }

    uint32_t f = src->pix_fmt;
    if (src->video_src_type == MediaInfoVideoSrc_Image) {
        add_to_slots(pp, [src] { return hap_preprocess_create_image_decoder(src); });
    } else if (src->video_src_type == MediaInfoVideoSrc_Mov) {
        switch (src->data_descriptor) {
        case VideoFrameHapData: {
            const HapCodec codec = hap_codec_of_fourcc(src->codec_fourcc);
            add_to_slots(pp, [&] { return create_filter_hap_frame_decode({codec, src->width, src->height, 0, 0}); });
            add_to_slots(pp, [&] {
                return create_filter_dxt_decode({codec, src->width, src->height, 0, src->pix_fmt, 0});
            });
            break;
        }
        case VideoFramePngData:
        case VideoFrameJpegData:
        case VideoFrameTiffData: add_to_slots(pp, [src] { return hap_preprocess_create_image_decoder(src); }); break;
        case VideoFrameProresData:
        case VideoFramePhotoJpegData:
        case VideoFrameDnxHDData:
        case VideoFrameDnxHRData: add_to_slots(pp, [src] { return hap_preprocess_create_intra_decoder(src); }); break;
        case VideoFrameDxv3Data: {
            add_to_slots(pp, [src] { return hap_preprocess_create_intra_decoder(src); });
            const FfIntraDecodeParams dec = ff_intra_decode_params(
                src->data_descriptor, src->width, src->height, src->codec_fourcc, src->codec_sub_fourcc, src->pix_fmt);
            f = dec.pix_fmt;
            if (ff_intra_decode_is_ycocg(dec)) {
                add_to_slots(pp, [&] { return create_filter_ycocg_to_rgb({dec.pix_fmt, src->width, src->height, 0}); });
                f = dec.pix_fmt == PixFmt_YUV420 ? PixFmt_RGBX8 : PixFmt_RGBA8;
            }
            break;
        }
        case VideoFrameNotchLcData: {
            NotchLcDecodeParams prm{src->pix_fmt, src->width, src->height, 0};
            add_to_slots(pp, [&] { return create_filter_notchlc_decode(&prm); });
            break;
        }
        case VideoFrameUnknown: break;
        default: throw_process_error("Unsupported codec intra decode");
        }
    } else if (f == PixFmt_Undefined) {
        f = PixFmt_RGBA8;  // what the FFmpeg demuxer was asked for
    }

    if (!crop_detect_reads(f)) {
        ScaleFilterParams sp{};
        sp.src_pix_fmt = f;
        sp.src_range = 2;
        sp.src_chroma_loc = 6;
        sp.src_matrix = 3;
        sp.src_alpha_mode = 0;
        sp.src_w = src->width;
        sp.src_h = src->height;
        sp.dst_pix_fmt = PixFmt_RGBA8;
        sp.dst_range = 2;
        sp.dst_chroma_loc = 6;
        sp.dst_matrix = 3;
        sp.dst_alpha_mode = 0;
        sp.dst_w = src->width;
        sp.dst_h = src->height;
        sp.quality = 1;
        sp.interlaced = 0;
        sp.disable_fast_path = 0;
        sp.use_swscale = 1;
        sp.allow_avx2 = 1;
        add_to_slots(pp, [&] { return create_filter_scale(&sp); });
        f = PixFmt_RGBA8;
    }
    CropDetectParams cd{};
    cd.detect_mode = 1;
    cd.align_4 = pp->video_params.crop_detect_flag ? 1 : 0;
    cd.alpha_as_grey = 0;
    cd.alpha_need_mode = 0;
    cd.pix_fmt = f;
    cd.write_back = 0;
    pp->crop_detect_index = add_to_slots(pp, [&] { return create_filter_crop_detect(cd); });
    pp->nb_frames_to_analyse = out - in + 1;
    pp->nb_frames_analysed = 0;
}

}  // namespace

// ---- record ----

HapStandalonePreProcess *hap_preprocess_create() {
    auto *pp = new HapStandalonePreProcess();
    pp->src_interpret.in_point = -1;
    pp->src_interpret.out_point = -1;
    pp->audio_params.audio_layout = 1;
    pp->video_params.crop_detect_flag = true;
    pp->video_results = {true, kNoIndex, kNoIndex, kNoIndex, kNoIndex};
    mp_intra_reset(&pp->frame_pool);
    pp->crop_detect_index = kNoIndex;
    pp->nb_cpu = available_cpus();
    pp->nb_audio_workers = 2 * pp->nb_cpu;
    try {
        pp->audio_workers = new ZThread[pp->nb_audio_workers];
    } catch (...) {
        delete pp;
        throw;
    }
    for (uint32_t i = 0; i < pp->nb_audio_workers; ++i) {
        pp->audio_workers[i].user_data = nullptr;
        pp->audio_workers[i].callback = nullptr;
        zthread_init(&pp->audio_workers[i]);
    }
    return pp;
}

void hap_preprocess_alloc_wav_infos(HapStandalonePreProcess *pp, uint32_t count) {
    if (count == 0) return;
    pp->wav_infos = new MediaInfo *[count]();
}

void hap_preprocess_build(HapStandalonePreProcess *pp) {
    const MediaInfo *src = pp->src_info;
    if (!src) throw_process_error("Invalid input file info");
    HapStandPreProcess_VideoAnalyseParams &vp = pp->video_params;
    HapStandPreProcess_AudioAnalyseParams &ap = pp->audio_params;
    if (src->have_video && !src->have_alpha && vp.enable && vp.alpha_crop_test) {
        printf("No alpha video, no need alpha crop test\n");
        vp.alpha_crop_test = false;
    }
    if (!src->have_video && vp.enable) {
        printf("No video, no need video test\n");
        vp.enable = false;
    }
    if (src->nb_audio_tracks == 0 && pp->nb_wav_infos == 0 && ap.enable) {
        printf("No audio in input, no need audio analyse\n");
        ap.enable = false;
    }
    if (ap.enable) {
        if (!ap.silence_test && !ap.true_peak_test && !ap.loudness_test) {
            printf("WARNING : No audio test to make\n");
            ap.enable = false;
        } else {
            if (ap.true_peak_test) ap.silence_test = true;
            if (ap.loudness_test) ap.true_peak_test = ap.silence_test = true;
        }
    }
    if (vp.enable && !vp.alpha_crop_test) {
        printf("WARNING : No video test to make\n");
        vp.enable = false;
    }
    if (ap.enable) build_audio(pp);
    if (vp.enable) build_video(pp);
}

void hap_preprocess_free(HapStandalonePreProcess *pp) {
    if (!pp) return;
    const uint32_t nb_wav_inputs = pp->nb_wav_infos;  // size of wav_audio_demuxers
    // Every worker first: a running job uses its entry or slot.
    if (pp->audio_workers) {
        for (uint32_t i = 0; i < pp->nb_audio_workers; ++i) zthread_wait(&pp->audio_workers[i]);
    }
    if (pp->src_info) free_media_info(&pp->src_info);
    if (pp->wav_infos) {
        for (uint32_t i = 0; i < pp->nb_wav_infos; ++i) free_media_info(&pp->wav_infos[i]);
        delete[] pp->wav_infos;
        pp->wav_infos = nullptr;
    }
    pp->nb_wav_infos = 0;
    mp_intra_free(&pp->frame_pool);
    video_demuxer_free(pp->video_demuxer);
    pp->video_demuxer = nullptr;
    delete[] pp->audio_links;
    pp->audio_links = nullptr;
    if (pp->audio_ring) {
        for (uint32_t e = 0; e < pp->audio_ring_size; ++e) {
            HAPStandalone_PreProcess_AudioEncodeThreadData &entry = pp->audio_ring[e];
            if (entry.src_frames) {
                for (uint32_t j = 0; j < entry.nb_sources; ++j) free_audio_frame(&entry.src_frames[j]);
                delete[] entry.src_frames;
            }
            free_audio_filter_pool(&entry.filters);
            delete[] entry.src_converters;
        }
        delete[] pp->audio_ring;
        pp->audio_ring = nullptr;
    }
    delete[] pp->channel_masks;
    pp->channel_masks = nullptr;
    free_audio_demuxer(pp->main_audio_demuxer);
    pp->main_audio_demuxer = nullptr;
    if (pp->wav_audio_demuxers) {
        for (uint32_t i = 0; i < nb_wav_inputs; ++i) free_audio_demuxer(pp->wav_audio_demuxers[i]);
        delete[] pp->wav_audio_demuxers;
        pp->wav_audio_demuxers = nullptr;
    }
    delete[] pp->audio_workers;
    pp->audio_workers = nullptr;
    free_audio_analyser(pp->audio_analyser);
    pp->audio_analyser = nullptr;
}

// ---- audio step ----

uint32_t hap_preprocess_layout_channels(uint32_t layout) {
    switch (layout) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 6;
    case 3: return 4;
    case 4: return 8;
    default: printf("ERR : Unknown audio channel layout : %u\n", layout); return 0;
    }
}

ZRational hap_preprocess_audio_fps(const HapStandMediaSrcInterpret &interpret, ZRational src_fps) {
    switch (interpret.interpret_fps) {
    case 0:
        // A source without a usable rate is counted at 25 frames per second.
        if (src_fps.num == 0 || src_fps.den == 0) return {25, 1};
        return src_fps;
    case 1: return {24000, 1001};
    case 2: return {24, 1};
    case 3: return {25, 1};
    case 4: return {30000, 1001};
    case 5: return {30, 1};
    case 6: return {48, 1};
    case 7: return {50, 1};
    case 8: return {60000, 1001};
    case 9: return {60, 1};
    case 10: {
        const double c = interpret.custom_fps;
        if (c > 1.0 && c < 400000.0) return {uint32_t(std::llround(c * 10000.0)), 10000};
        printf("WARNING invalid custom fps : %2.f\n", c);
        return {25, 1};
    }
    default: return {25, 1};
    }
}

void hap_preprocess_audio_range(int32_t in_point, int32_t out_point, ZRational fps, uint64_t nb_samples,
                                uint64_t *first, uint64_t *end) {
    using u128 = unsigned __int128;
    const u128 num = fps.num == 0 ? 1 : fps.num;
    *first = 0;
    if (in_point >= 1) {
        const u128 s = u128(fps.den) * u128(uint32_t(in_point)) * kAnalyseFrequency / num;
        *first = s > u128(UINT64_MAX) ? UINT64_MAX : uint64_t(s);
    }
    *end = nb_samples;
    if (out_point >= 0) {
        // The out-point frame is part of the range, as in the conversion.
        const u128 e = u128(fps.den) * (u128(uint32_t(out_point)) + 1) * kAnalyseFrequency / num;
        if (e < u128(nb_samples)) *end = uint64_t(e);
    }
}

bool hap_preprocess_audio_collect(HapStandalonePreProcess *pp) {
    if (!pp->audio_ring || !pp->audio_analyser) throw_process_error("Invalid audio intern data");
    HAPStandalone_PreProcess_AudioEncodeThreadData &entry = pp->audio_ring[pp->audio_index];
    if (entry.state != 2) return true;
    zthread_join(&pp->audio_workers[pp->audio_index]);
    entry.state = 0;
    if (entry.failed) {
        // The measurement would be made on samples this job never wrote.
        entry.failed = false;
        const char *text = nullptr;
        if (zthread_get_error(&pp->audio_workers[pp->audio_index], &text) && text && *text) throw_process_error(text);
        throw_process_error("Fail to process audio");
    }
    AudioFrame *out = entry.mapping->output;
    const uint8_t more = audio_analyser_add_frame(pp->audio_analyser, out);
    pp->audio_samples_analysed += out->nb_samples;
    return more != 0;
}

bool hap_preprocess_audio_start_next(HapStandalonePreProcess *pp) {
    if (!pp->audio_ring) throw_process_error("Invalid audio intern data");
    HAPStandalone_PreProcess_AudioEncodeThreadData &entry = pp->audio_ring[pp->audio_index];
    if (entry.state != 0) printf("WARNING : invalid entry state for index : %u\n", pp->audio_index);
    for (uint32_t j = 0; j < entry.nb_sources; ++j) {
        const HapPreProcess_AudioTrackLink &link = pp->audio_links[j];
        audio_demuxer_read(link.demuxer, &entry.src_frames[j], link.track);
    }
    entry.failed = false;
    entry.state = 2;
    zthread_start(&pp->audio_workers[pp->audio_index], hap_preprocess_audio_job, &entry);
    pp->audio_samples_read += pp->audio_samples_per_entry;
    pp->audio_index = pp->audio_index + 1 >= pp->audio_ring_size ? 0 : pp->audio_index + 1;
    return pp->audio_samples_read < pp->audio_nb_samples;
}

void hap_preprocess_audio_job(void *data) {
    auto *entry = static_cast<HAPStandalone_PreProcess_AudioEncodeThreadData *>(data);
    try {
        for (uint32_t j = 0; j < entry->nb_sources; ++j) {
            AudioFilter *conv = entry->src_converters[j];
            conv->inputs[0] = &entry->src_frames[j];
            audio_filter_process(conv);
            entry->mapping->inputs[j] = conv->output;
        }
        audio_filter_process(entry->mapping);
    } catch (const std::bad_alloc &) {
        printf("ERR : process audio : OOM\n");
        entry->failed = true;
        throw;
    } catch (const std::exception &e) {
        printf("ERR : process audio : %s\n", e.what());
        entry->failed = true;
        throw;
    } catch (...) {
        printf("ERR : process audio : Unknown\n");
        entry->failed = true;
        throw;
    }
}

void hap_preprocess_audio_finish(HapStandalonePreProcess *pp) {
    for (uint32_t i = 0; i < pp->audio_ring_size; ++i) {
        hap_preprocess_audio_collect(pp);
        pp->audio_index = pp->audio_index + 1 >= pp->audio_ring_size ? 0 : pp->audio_index + 1;
    }
    audio_analyser_finish(pp->audio_analyser);
    const AudioAnalyserResults *r = pp->audio_analyser->results;
    if (!r) throw_process_error("Fail to get audio analyse results");
    if (r->nb_states == 0 || r->nb_states > 2) throw_process_error("Invalid audio output results");
    pp->audio_results.is_silent = r->is_silent != 0;
    double peak = -INFINITY, loud = -INFINITY;
    uint32_t ch = 0;
    for (uint32_t s = 0; s < r->nb_states; ++s) {
        for (uint32_t c = 0; c < r->channels[s] && ch < 64; ++c, ++ch) {
            if (r->true_peak[ch] > peak) peak = r->true_peak[ch];
        }
        if (r->integrated[s] > loud) loud = r->integrated[s];
    }
    pp->audio_results.true_peak = peak;
    pp->audio_results.loudness = loud;
}

// ---- video step ----

uint32_t hap_preprocess_video_start_next(HapStandalonePreProcess *pp) {
    VideoFrame **frames = mp_intra_get_frames(&pp->frame_pool);
    if (!frames) {
        printf("Fail to get next frames\n");
        return 0;
    }
    const uint32_t n = video_demuxer_demux(pp->video_demuxer, frames);
    if (n > 0) mp_intra_start_jobs(&pp->frame_pool, n > pp->frame_pool.nb_threads ? pp->frame_pool.nb_threads : n);
    return n;
}

void hap_preprocess_video_collect(HapStandalonePreProcess *pp, bool *stop) {
    *stop = false;
    uint32_t first = 0;
    const uint32_t n = mp_intra_collect(&pp->frame_pool, &first);
    hap_preprocess_video_accumulate(pp, first, n);
    const HapStandPreProcess_VideoAnalyseResults &r = pp->video_results;
    if (!r.no_result && r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0) *stop = true;
    pp->nb_frames_analysed += n;
}

void hap_preprocess_video_accumulate(HapStandalonePreProcess *pp, uint32_t first, uint32_t count) {
    HapStandPreProcess_VideoAnalyseResults &r = pp->video_results;
    for (uint32_t k = first; k < first + count; ++k) {
        MPIntraVideoProcessThreadData &slot = pp->frame_pool.slots[k];
        const ZThread *worker = &pp->frame_pool.workers[k];
        if (zthread_has_error(worker)) {
            // Not measured: reported, and the other frames of the batch still count.
            const char *text = "";
            zthread_get_error(worker, &text);
            const uint32_t index = slot.frame ? slot.frame->frame_index : 0;
            printf("ERR : Frame %u : \n%s\n", index, text);
            char line[kZThreadErrorSize + 64];
            snprintf(line, sizeof line, "Frame %u : %s", index, text);
            pp->video_failed_frames.emplace_back(line);
            continue;
        }
        if (pp->crop_detect_index == kNoIndex) continue;
        FilterGraph *g = slot.graph;
        if (!g || pp->crop_detect_index >= g->nb_filters || !g->filters[pp->crop_detect_index])
            throw_process_error("No autocrop filter");
        const VideoFilter *node = g->filters[pp->crop_detect_index];
        if (node->type != VideoFilterType_CropDetect) throw_process_error("Invalid index autocrop");
        const CropDetectResult *res = crop_detect_get_result(node);
        if (!res) throw_process_error("Invalid index autocrop");
        if (res->empty) continue;
        r.no_result = false;
        if (res->left < r.left) r.left = res->left;
        if (res->top < r.top) r.top = res->top;
        if (res->right < r.right) r.right = res->right;
        if (res->bottom < r.bottom) r.bottom = res->bottom;
    }
}

void hap_preprocess_video_finish(HapStandalonePreProcess *pp) {
    uint32_t first = 0;
    const uint32_t n = mp_intra_switch_and_collect(&pp->frame_pool, &first);
    hap_preprocess_video_accumulate(pp, first, n);
    pp->nb_frames_analysed += n;
}

VideoFilter *hap_preprocess_create_image_decoder(const MediaInfo *info) {
    switch (info->data_descriptor) {
    case VideoFramePngData:
        return create_filter_png_decode({info->width, info->height, info->pix_fmt, uint8_t(info->have_alpha)});
    case VideoFrameJpegData: return create_filter_jpeg_decode(info->width, info->height);
    case VideoFrameTiffData: return create_filter_tiff_decode({info->width, info->height, info->pix_fmt, 0});
    default: throw_process_error("Unsupported image seq format");
    }
}

VideoFilter *hap_preprocess_create_intra_decoder(const MediaInfo *info) {
    const uint32_t d = info->data_descriptor;
    if (!((d >= VideoFrameProresData && d <= VideoFrameDxv3Data) || d == VideoFrameDnxHDData ||
          d == VideoFrameDnxHRData))
        throw_process_error("Unknown codec");
    FfIntraDecodeParams prm =
        ff_intra_decode_params(d, info->width, info->height, info->codec_fourcc, info->codec_sub_fourcc, info->pix_fmt);
    prm.force_prores_10bit = 0;
    prm.threaded = 0;
    prm.report_changes = 1;
    return create_filter_ff_intra_decode(prm);
}

// ---- step loops ----

namespace {
uint64_t audio_progress(const HapStandalonePreProcess *pp) {
    const uint64_t first = pp->audio_analyser ? pp->audio_analyser->start_sample : 0;
    const uint64_t done = pp->audio_samples_analysed > first ? pp->audio_samples_analysed - first : 0;
    return done < pp->audio_samples_to_analyse ? done : pp->audio_samples_to_analyse;
}
}  // namespace

bool hap_preprocess_run_audio_step(HapStandalonePreProcess *pp, HapPreProcessUnitCheck check, void *user) {
    bool go_on = true;
    for (;;) {
        if (!hap_preprocess_audio_collect(pp)) {
            printf("No need to continue audio analyse\n");
            break;
        }
        if (!check(user, audio_progress(pp), false)) {
            go_on = false;
            break;
        }
        if (!hap_preprocess_audio_start_next(pp)) break;
    }
    hap_preprocess_audio_finish(pp);
    check(user, audio_progress(pp), true);
    return go_on;
}

bool hap_preprocess_run_video_step(HapStandalonePreProcess *pp, HapPreProcessUnitCheck check, void *user) {
    bool go_on = true;
    for (;;) {
        bool stop = false;
        hap_preprocess_video_collect(pp, &stop);
        if (stop) {
            printf("Ask stop video analyse\n");
            break;
        }
        if (!check(user, pp->nb_frames_analysed, false)) {
            go_on = false;
            break;
        }
        if (hap_preprocess_video_start_next(pp) == 0) break;
    }
    hap_preprocess_video_finish(pp);
    check(user, pp->nb_frames_analysed, true);
    return go_on;
}

// ---- results ----

double hap_preprocess_gain_db(uint32_t gain_mode, double true_peak_target, double loudness_target,
                              const HapStandPreProcess_AudioAnalyseResults &results) {
    if (results.is_silent || !std::isfinite(results.true_peak)) return 0.0;
    const double t = true_peak_target;
    if (gain_mode == 2) return t - results.true_peak;
    if (gain_mode == 3) {
        const double d = loudness_target - results.loudness;
        if (std::isnan(d)) return 0.0;
        // The loudness gain, lowered so the true peak stays at or below the target.
        return t < results.true_peak + d ? t - results.true_peak : d;
    }
    return 0.0;
}

HapPreProcess_CropEdges hap_preprocess_crop_edges(const HapStandPreProcess_VideoAnalyseResults &results, uint32_t w,
                                                  uint32_t h) {
    if (w < 4 || h < 4) return {0, 0, 0, 0};
    if (results.no_result) return {0, 0, w - 4, h - 4};
    return {results.top, results.left, results.right, results.bottom};
}

// ---- with the task ----

void hap_preprocess_set_data_from_task(HapStandalonePreProcess *pp, const std::shared_ptr<RqTask> &task) {
    if (!task) return;  // the build then fails for want of a source
    run_on_main_queue_and_wait([pp, &task] {
        const MediaInfoObjRef &src = task->in_main_file;
        if (src && src->info) pp->src_info = clone_media_info(src->info);
        if (src && src->media_interpret) pp->src_interpret.media_interpret = src->media_interpret->obj;
        if (src && src->is_img_seq()) {
            const int64_t s = src->get_img_seq_start_f(), e = src->get_img_seq_end_f();
            pp->src_interpret.img_seq_start_f = s < 0 ? 0 : uint32_t(s);
            pp->src_interpret.img_seq_end_f = e < 0 ? 0 : uint32_t(e);
        }
        const SettingRef &setting = task->setting;
        if (setting && task->is_need_audio_analyse()) {
            const uint32_t layout = task->audio_layout;
            const std::vector<MediaInfoObjRef> &wavs = task->arr_in_wav;
            hap_preprocess_alloc_wav_infos(pp, uint32_t(wavs.size()));
            for (const MediaInfoObjRef &wav : wavs) {
                if (!wav || !wav->info || !wav->have_useful_audio_for_layout(layout)) continue;
                pp->wav_infos[pp->nb_wav_infos] = clone_media_info(wav->info);
                ++pp->nb_wav_infos;
            }
            pp->audio_params.enable = true;
            pp->audio_params.audio_layout = layout;
            pp->audio_params.silence_test = setting->aud_ignore_silent_track;
            if (setting->aud_gain_mode == 2) pp->audio_params.true_peak_test = true;
            if (setting->aud_gain_mode == 3) pp->audio_params.loudness_test = true;
        }
        pp->src_interpret.in_point = task->in_point;
        pp->src_interpret.out_point = task->out_point;
        if (setting && task->is_need_video_analyse()) {
            pp->video_params.enable = true;
            if (setting->get_global_crop_mode() == 5) {
                pp->video_params.alpha_crop_test = true;
                pp->video_params.crop_detect_flag = true;
            }
        }
    });
}

namespace {

struct StepCheck {
    BaseProcessTask *worker;
    bool *cancel;
};

bool check_unit(void *user, uint64_t progress, bool final_report) {
    auto *c = static_cast<StepCheck *>(user);
    c->worker->update_progress_from_process_frames(progress);
    if (final_report) return true;
    uint64_t request = c->worker->get_request_state();
    if (request == RqTaskState_Pause) {
        c->worker->set_new_state(RqTaskState_Pause);
        c->worker->pause_loop();
        request = c->worker->get_request_state();
    }
    if (request == RqTaskState_Cancel || request == RqTaskState_CancelDelete || c->worker->ask_stop()) {
        c->worker->set_new_state(RqTaskState_Cancel);
        *c->cancel = true;
        return false;
    }
    return true;
}

}  // namespace

bool hap_preprocess_process(HapStandalonePreProcess *pp, BaseProcessTask &worker, bool *is_process_cancel,
                            bool *warning) {
    if (!pp) {
        printf("ERROR : No analyse process\n");
        return false;
    }
    StepCheck check{&worker, is_process_cancel};
    try {
        if (pp->audio_params.enable && pp->audio_samples_to_analyse != 0) {
            worker.start_new_step(ProcessTaskStep_AudioAnalyse);
            worker.setDuration_f_process(pp->audio_samples_to_analyse);
            if (hap_preprocess_run_audio_step(pp, check_unit, &check)) worker.end_step();
        }
        if (pp->video_params.enable && pp->nb_frames_to_analyse != 0 && !*is_process_cancel) {
            worker.start_new_step(ProcessTaskStep_VideoAnalyse);
            worker.setDuration_f_process(pp->nb_frames_to_analyse);
            hap_preprocess_run_video_step(pp, check_unit, &check);
            worker.end_step();
            for (const std::string &line : pp->video_failed_frames) {
                worker.add_str_to_log("WARNING : Analyse : " + line);
                *warning = true;
            }
        }
    } catch (const std::bad_alloc &) {
        printf("Error Analyse : OOM\n");
        worker.add_str_to_log("Analyse Fatal error : Out Of Memory");
        return true;
    } catch (const std::exception &e) {
        printf("Error Analyse : %s\n", e.what());
        worker.add_str_to_log(std::string("Analyse Fatal error : ") + e.what());
        return true;
    } catch (...) {
        printf("Error Analyse : Unknown\n");
        worker.add_str_to_log("Analyse Fatal error : Unknown");
        return true;
    }
    return false;
}

void hap_preprocess_update_task(HapStandalonePreProcess *pp, const std::shared_ptr<RqTask> &task) {
    if (!pp) return;
    // The results are written and the outputs recomputed on the main queue, which owns
    // the task model; the refresh runs even when nothing was written.
    run_on_main_queue_and_wait([pp, task] {
        const SettingRef &setting = task->setting;
        if (pp->audio_params.enable && setting) {
            const double gain = hap_preprocess_gain_db(setting->aud_gain_mode, setting->aud_true_peak_val,
                                                       setting->aud_target_loudness_val, pp->audio_results);
            task->set_audio_analyse_results_and_dst_gain(pp->audio_results.is_silent, gain);
        }
        if (pp->video_params.enable && pp->src_info) {
            const HapPreProcess_CropEdges e =
                hap_preprocess_crop_edges(pp->video_results, pp->src_info->width, pp->src_info->height);
            task->set_auto_crop_analyse_results(e.top, e.left, e.right, e.bottom);
        }
        task->refresh_cache_target_properties();
    });
}
