#include "engine/process_outputs.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/hap_standalone_preprocess.h"
#include "engine/process_build.h"
#include "pipeline/audio/audio_sources.h"
#include "platform/core/errors.h"

namespace {

constexpr uint32_t kLayoutDualStereo = 3;

// Replaces entry i of a path list with the path a writer actually created.
void set_created_path(ArrayCrossStr *paths, uint32_t i, const std::string &created) {
    if (!paths->items || i >= paths->count || (paths->items[i] && created == paths->items[i])) return;
    char *copy = new char[created.size() + 1];
    std::memcpy(copy, created.c_str(), created.size() + 1);
    delete[] paths->items[i];
    paths->items[i] = copy;
}

// Size left by a crop item on the source; false when less than 4 pixels remain either way
// (the pipeline build reports that crop).
bool cropped_size(const HAPStandalone_CropParamsItem &item, uint32_t src_w, uint32_t src_h, uint32_t *w, uint32_t *h) {
    const int64_t cw = int64_t(src_w) - item.crop_l - item.crop_r;
    const int64_t ch = int64_t(src_h) - item.crop_t - item.crop_b;
    if (cw < 4 || ch < 4) return false;
    *w = uint32_t(cw);
    *h = uint32_t(ch);
    return true;
}

uint32_t checked_size16(uint32_t v) {
    // The MOV sample description stores 16-bit sizes: a larger output cannot be described.
    if (v == 0 || v > 0xFFFF) throw_process_errorf("Invalid output dimensions : %u", v);
    return v;
}

// Descriptions come from files: refuse what the nodes could not take.
void check_track(const AudioInfo &track) {
    if (track.nb_channels == 0 || track.nb_channels > kAudioInfoMaxChannels || !track.channel_mapping ||
        track.frequency == 0 || track.format >= AudioSampleFormat_Unsupported)
        throw_process_error("Invalid input track info");
}

struct AudioOutputDesc {
    bool planar;
    bool dual_stereo;
};

}  // namespace

MovVideoFormat mov_video_format(int32_t hap_codec, bool src_alpha_applies, bool no_alpha) {
    switch (hap_codec) {
    case HapCodec_HAP: return {"Hap1", 24};
    case HapCodec_HAPA: return {"Hap5", 32};
    case HapCodec_HAPQ: return {"HapY", 24};
    case HapCodec_HAPQA: return {"HapM", 32};
    case HapCodec_HAPAlphaOnly: return {"HapA", 24};
    case HapCodec_HAPR: return {"Hap7", uint8_t(src_alpha_applies && !no_alpha ? 32 : 24)};
    default: throw_process_error("Invalid hap codec");
    }
}

OutputTimecodeParams process_timecode_params(const HapStandaloneProcess *ctx) {
    const HAPStandalone_VideoTimecode &tc = ctx->hap_params.timecode;
    OutputTimecodeParams p{};
    p.tc_mode = tc.tc_mode;
    p.drop_frame = tc.drop_frame;
    p.forced_start = {tc.start_hours, tc.start_minutes, tc.start_seconds, tc.start_frames};
    if (const MediaInfo *src = ctx->src_info) {
        p.src_have_tc = src->have_tc;
        p.src_tc_start = src->tc_start_frame;
        p.src_tc_drop = src->tc_drop_frame;
        p.src_fps = src->fps;
        p.src_is_img_seq = src->video_src_type == MediaInfoVideoSrc_Image;
    }
    p.start_frame = ctx->video_interp.start_frame;
    p.fps = ctx->fps;
    p.in_point = ctx->video_interp.in_point;
    return p;
}

void fill_crop_box_metadata(MovUdtaMetadata *metadata, const HapStandaloneProcess *ctx, uint32_t item_index,
                            uint32_t out_width, uint32_t out_height) {
    const MediaInfo *src = ctx->src_info;
    if (!src || !src->have_video) {
        printf("Write crop box : no video\n");
        return;
    }
    if (!ctx->hap_params.write_crop_box) {
        printf("Write crop box metadata false\n");
        return;
    }
    if (!ctx->hap_params.crop_items || item_index >= ctx->hap_params.nb_crop_items) return;
    const HAPStandalone_CropParamsItem &item = ctx->hap_params.crop_items[item_index];
    const uint32_t src_w = src->width, src_h = src->height;
    if (out_width == src_w && out_height == src_h) return;  // the whole picture: no box
    metadata->have_crop_box = 1;
    metadata->display_width = src_w;
    metadata->display_height = src_h;
    metadata->crop_x = item.crop_l;
    metadata->crop_y = item.crop_t;
    if (uint64_t(item.crop_t) + out_height > src_h || src_w == 0 || src_h == 0 ||
        uint64_t(item.crop_l) + out_width > src_w) {
        metadata->have_crop_box = 0;
        metadata->display_width = metadata->display_height = 0;
        metadata->crop_x = metadata->crop_y = 0;
        printf("Write crop box : unset after set\n");
    }
}

void build_mov_writers(HapStandaloneProcess *ctx) {
    if (ctx->mode == kHapProcessModeNoVideo) return;
    const char *first = cross_str_array_get(&ctx->out_hap_paths, 0);
    if (!first || !*first) throw_process_error("No target hap path set");

    const OutputTimecode tc = compute_output_timecode(process_timecode_params(ctx));
    const HAPStandalone_HapParams &hp = ctx->hap_params;
    const bool multicrop = hp.is_multicrop;
    const uint32_t nb = hp.nb_crop_items > 1 ? hp.nb_crop_items : 1;
    const MovVideoFormat format = mov_video_format(ctx->hap_codec, get_process_src_alpha_kind(ctx) != 2, hp.no_alpha);

    uint8_t alpha_mode = 0;
    if (format.depth == 32) {
        const uint32_t kind = get_process_target_alpha_kind(ctx);
        if (kind == 0)
            alpha_mode = 1;
        else if (kind == 1)
            alpha_mode = 2;
        else
            printf("WARNING : Unknown alpha mode, for file with alpha\n");
    }

    ctx->mov_writers = new Mov_Writer_Video *[nb]();
    ctx->nb_mov_writers = nb;
    for (uint32_t k = 0; k < nb; ++k) {
        const char *path = cross_str_array_get(&ctx->out_hap_paths, k);
        if (!path || !*path) throw_process_error("No target hap path set");
        uint32_t w = ctx->target_width, h = ctx->target_height;
        if (multicrop && hp.crop_items) w = hp.crop_items[k].dst_width, h = hp.crop_items[k].dst_height;
        Mov_Writer_Video *writer =
            new Mov_Writer_Video(path, uint16_t(checked_size16(w)), uint16_t(checked_size16(h)), format.depth, ctx->fps,
                                 1.0f, format.fourcc, 0, tc.have_timecode, tc.start_frame, hp.timecode.drop_frame);
        ctx->mov_writers[k] = writer;
        set_created_path(&ctx->out_hap_paths, k, writer->path());

        MovUdtaMetadata meta;
        meta.is_set = 1;
        meta.version = 1;
        meta.alpha_mode = alpha_mode;
        if (multicrop) {
            if (hp.crop_items && hp.crop_items[k].transform_mode == 0)
                fill_crop_box_metadata(&meta, ctx, k, hp.crop_items[k].dst_width, hp.crop_items[k].dst_height);
        } else if (hp.nb_crop_items > 0 && hp.crop_items && hp.transform_mode == 0 && ctx->src_info) {
            uint32_t cw = 0, ch = 0;
            if (cropped_size(hp.crop_items[0], ctx->src_info->width, ctx->src_info->height, &cw, &ch) &&
                cw == ctx->target_width && ch == ctx->target_height)
                fill_crop_box_metadata(&meta, ctx, 0, cw, ch);
        }
        writer->set_metadata(meta);
    }
}

void build_audio_outputs(HapStandaloneProcess *ctx) {
    ctx->audio_end_sample = 0;
    ctx->audio_samples_per_entry = 0;
    ctx->nb_audio_sources = 0;
    const HAPStandalone_AudioParams &ap = ctx->audio_params;
    if (!ap.embed_in_mov && !ap.write_wav) return;
    MediaInfo *src = ctx->src_info;
    if (!src) throw_process_error("No main input file");

    // Used sources.
    const uint32_t n_out = hap_preprocess_layout_channels(ap.layout);
    ctx->nb_used_tracks = ctx->nb_used_wavs = ctx->nb_channels_in = 0;
    double longest = 0.0;
    auto count_track = [&](const AudioInfo &t) {
        check_track(t);
        ctx->nb_channels_in += t.nb_channels;
        if (std::isfinite(t.duration) && t.duration > longest) longest = t.duration;
    };
    if (src->nb_audio_tracks > 0 && !src->audio_tracks) throw_process_error("Invalid input track info");
    for (uint32_t i = 0; i < src->nb_audio_tracks; ++i) {
        if (!is_audio_track_used(src->audio_tracks[i], n_out)) continue;
        count_track(src->audio_tracks[i]);
        ++ctx->nb_used_tracks;
    }
    for (uint32_t w = 0; w < ctx->nb_wav_infos; ++w) {
        const MediaInfo *wi = ctx->wav_infos ? ctx->wav_infos[w] : nullptr;
        if (!wi || wi->nb_audio_tracks != 1 || !wi->audio_tracks)
            throw_process_error("Invalid audio track count for wav");
        if (!is_audio_track_used(wi->audio_tracks[0], n_out)) continue;
        count_track(wi->audio_tracks[0]);
        ++ctx->nb_used_wavs;
    }
    // About 12 days: more than any source, and no overflow in the sample counts.
    if (longest > 1.0e6) longest = 1.0e6;
    ctx->audio_end_sample = uint64_t(std::llround(double(ap.frequency) * longest));
    ctx->audio_samples_per_entry = ap.frequency;
    ctx->nb_audio_sources = ctx->nb_used_tracks + ctx->nb_used_wavs;
    if (ctx->nb_audio_sources == 0) return;
    if (ctx->nb_channels_in > kAudioFrameMaxChannels) throw_process_error("Invalid input track info");

    uint16_t bits = 0;
    switch (ap.sample_format) {
    case AudioSampleFormat_S16LE: bits = 16; break;
    case AudioSampleFormat_S24LE: bits = 24; break;
    case AudioSampleFormat_S32LE: bits = 32; break;
    default: throw_process_error("Unsupported mov audio pcm");
    }

    // MOV audio tracks.
    if (ap.embed_in_mov) {
        if (!ctx->mov_writers || ctx->nb_mov_writers == 0)
            throw_process_error("Can't write audio tracks inside Mov HAP");
        uint32_t tracks = 1, channels = n_out, layout_code = 0;
        if (ap.layout == 2) layout_code = 1;
        if (ap.layout == kLayoutDualStereo) tracks = 2, channels = 2;
        if (ap.layout == 4) layout_code = 4;
        for (uint32_t k = 0; k < ctx->nb_mov_writers; ++k) {
            if (!ctx->mov_writers[k]) throw_process_error("Can't write audio tracks inside Mov HAP");
            ctx->mov_writers[k]->set_audio_tracks(tracks, ap.frequency, bits, channels, false, layout_code);
        }
    }

    // WAV writers.
    if (ap.write_wav) {
        if (!ctx->out_wav_paths.items) throw_process_error("Undefined out wav paths");
        const uint32_t expected = ap.multi_mono ? n_out : 1;
        if (ctx->out_wav_paths.count != expected) {
            printf("Invalid wav path count : %u found : %u expected\n", ctx->out_wav_paths.count, expected);
            throw_process_error("Invalid wav path count");
        }
        ctx->wav_writers = new WavWriter[expected]();
        ctx->nb_wav_writers = expected;
        for (uint32_t i = 0; i < expected; ++i) wav_writer_init(&ctx->wav_writers[i]);
        for (uint32_t i = 0; i < expected; ++i) {
            const char *path = cross_str_array_get(&ctx->out_wav_paths, i);
            if (!path || !*path) {
                printf("Undefined wav path for index : %u\n", i);
                throw_process_error("Undefined wav path");
            }
            WavWriter *w = &ctx->wav_writers[i];
            wav_writer_set_format(w, uint8_t(ap.multi_mono ? 1 : n_out), uint8_t(bits / 8), ap.frequency, false);
            wav_writer_alloc_buffer(w, 1);
            set_created_path(&ctx->out_wav_paths, i, wav_writer_open(w, path));
        }
    }

    // Samples before the in point, at the interpretation's rate.
    ctx->audio_start_sample = ctx->audio_skip_left = 0;
    if (ctx->video_interp.in_point > 0) {
        const HapStandMediaSrcInterpret interpret =
            ctx->src_interpret ? *ctx->src_interpret : HapStandMediaSrcInterpret{};
        const ZRational rate = hap_preprocess_audio_fps(interpret, src->fps);
        const unsigned __int128 num = rate.num ? rate.num : 1;
        const unsigned __int128 skip =
            (unsigned __int128)rate.den * ap.frequency * uint32_t(ctx->video_interp.in_point) / num;
        ctx->audio_start_sample = ctx->audio_skip_left = skip > UINT64_MAX ? UINT64_MAX : uint64_t(skip);
    }

    // Chain outputs.
    AudioOutputDesc outputs[2];
    uint32_t nb_outputs = 1;
    if (ap.embed_in_mov) {
        outputs[0] = {false, ap.layout == kLayoutDualStereo};
        ctx->mov_audio_output = 0;
        ctx->wav_audio_output = -1;
        if (ap.write_wav) {
            if (ap.layout == kLayoutDualStereo || ap.multi_mono) {
                outputs[1] = {ap.multi_mono, false};
                nb_outputs = 2;
                ctx->wav_audio_output = 1;
            } else {
                ctx->wav_audio_output = 0;
            }
        }
    } else if (ap.write_wav) {
        outputs[0] = {ap.multi_mono, false};
        ctx->mov_audio_output = -1;
        ctx->wav_audio_output = 0;
    } else {
        throw_process_error("Invalid out");
    }

    ctx->audio_links = new HAPStandalone_AudioTrackLink[ctx->nb_audio_sources]();

    if (ctx->nb_wav_infos > 0) ctx->wav_audio_demuxers = new AudioDemuxer *[ctx->nb_wav_infos]();
    const uint32_t nb_links = open_audio_source_links(src, ctx->nb_used_tracks > 0, ctx->wav_infos, ctx->nb_wav_infos,
                                                      n_out, &ctx->main_audio_demuxer, ctx->wav_audio_demuxers,
                                                      ctx->audio_links, ctx->nb_audio_sources);
    if (nb_links != ctx->nb_audio_sources) throw_process_error("Invalid audio src count");

    ctx->channel_masks = new uint64_t[ctx->nb_channels_in]();
    fill_audio_channel_masks(ctx->audio_links, nb_links, ctx->channel_masks);

    // The ring: one chain per entry.
    ctx->audio_ring = new HAPStandalone_AudioEncodeThreadData[ctx->nb_threads]();
    for (uint32_t e = 0; e < ctx->nb_threads; ++e) {
        HAPStandalone_AudioEncodeThreadData &entry = ctx->audio_ring[e];
        entry.nb_sources = ctx->nb_audio_sources;
        entry.nb_outputs = nb_outputs;
        init_audio_filter_pool(&entry.filters, ctx->nb_audio_sources + nb_outputs + 2);
        entry.src_frames = new AudioFrame[ctx->nb_audio_sources]();
        for (uint32_t j = 0; j < ctx->nb_audio_sources; ++j) init_audio_frame(&entry.src_frames[j]);
        entry.src_converters = new AudioFilter *[ctx->nb_audio_sources]();
        entry.out_converters = new AudioFilter *[nb_outputs]();
        for (uint32_t j = 0; j < ctx->nb_audio_sources; ++j) {
            const AudioInfo *t = ctx->audio_links[j].info;
            if (!t) throw_process_error("Invalid input track info");
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
            cp.out_frequency = ap.frequency;
            entry.src_converters[j] = create_audio_filter_convert(cp);
            audio_filter_pool_add(&entry.filters, entry.src_converters[j]);
        }
        AudioFilterMappingParams mp{};
        mp.samples = ap.frequency;
        mp.frequency = ap.frequency;
        mp.input_count = ctx->nb_audio_sources;
        mp.input_channels = ctx->nb_channels_in;
        mp.output_channels = n_out;
        mp.masks = ctx->channel_masks;
        entry.mapping = create_audio_filter_mapping(mp);
        audio_filter_pool_add(&entry.filters, entry.mapping);

        AudioFilterGainParams gp{};
        gp.frequency = ap.frequency;
        gp.samples = ap.frequency;
        gp.channels = n_out;
        gp.gains = ap.gains;
        entry.gain = create_audio_filter_gain(gp);
        audio_filter_pool_add(&entry.filters, entry.gain);

        for (uint32_t o = 0; o < nb_outputs; ++o) {
            AudioFilterConvertParams cp{};
            cp.seconds = 1;
            cp.channels = n_out;
            cp.in_format = AudioSampleFormat_F32LE;
            cp.in_planar = 1;
            cp.in_frequency = ap.frequency;
            cp.out_format = AudioSampleFormat(ap.sample_format);
            cp.out_planar = outputs[o].planar ? 1 : 0;
            cp.out_frequency = ap.frequency;
            cp.dual_stereo = outputs[o].dual_stereo ? 1 : 0;
            entry.out_converters[o] = create_audio_filter_convert(cp);
            audio_filter_pool_add(&entry.filters, entry.out_converters[o]);
        }
    }
}
