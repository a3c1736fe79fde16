// Fill of the main-pass context from the render-queue task.
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/hap_process_task.h"
#include "engine/hap_standalone_process.h"
#include "engine/timecode_text.h"
#include "platform/core/errors.h"
#include "platform/core/log.h"

namespace {

ZRational custom_fps_of_setting(uint32_t index) {
    static const ZRational kRates[] = {{24000, 1001}, {24, 1}, {25, 1},       {30000, 1001}, {30, 1},
                                       {48, 1},       {50, 1}, {60000, 1001}, {60, 1}};
    if (index < sizeof(kRates) / sizeof(kRates[0])) return kRates[index];
    printf("Unknown fps mode : %u\n", index);
    return {25, 1};
}

// A crop item through the geometry record: edges mode on the source size.
HapStandCropScale compute_item_geometry(const CropItem &item, uint32_t src_w, uint32_t src_h) {
    HapStandCropScale r;
    crop_scale_init(&r);
    r.crop_mode = 2;
    r.src_w = src_w;
    r.src_h = src_h;
    item.edit_crop_scale_values(&r);
    crop_scale_compute(&r);
    return r;
}

bool has_edges(uint32_t l, uint32_t t, uint32_t r, uint32_t b) { return l != 0 || t != 0 || r != 0 || b != 0; }

}  // namespace

void HAPProcessTask::_set_process_data(RqTask &task) {
    HapStandaloneProcess *ctx = hap_process_;
    if (!ctx) throw_process_error("No process context");
    const MediaInfoObjRef main = task.in_main_file;
    if (!main || !main->info) throw_process_error("Invalid source media");
    const Setting *setting = task.setting.get();
    if (!setting) throw_process_error("Invalid setting");

    // 1. The source.
    ctx->src_info = clone_media_info(main->info);
    if (!ctx->src_info) throw_alloc_error();
    ctx->src_interpret =
        new HapStandMediaSrcInterpret(main->media_interpret ? main->media_interpret->obj : HapStandMediaSrcInterpret{});
    // 2. Image sequences number their frames from the first image.
    if (main->is_img_seq()) {
        ctx->video_interp.start_frame = main->get_img_seq_start_f();
        ctx->video_interp.end_frame = main->get_img_seq_end_f();
    }

    // 3. Audio inputs.
    const bool audio = task.have_audio_out_after_analyse();
    if (!audio && !task.have_target_hap) throw_process_error("Nothing to export");
    if (audio) {
        alloc_wav_media_infos(ctx, static_cast<uint32_t>(task.arr_in_wav.size()));
        for (const MediaInfoObjRef &wav : task.arr_in_wav) {
            if (!wav || !wav->info || !wav->have_useful_audio_for_layout(task.audio_layout)) continue;
            MediaInfo *copy = clone_media_info(wav->info);
            if (!copy) throw_alloc_error();
            ctx->wav_infos[ctx->nb_wav_infos++] = copy;
        }
    }

    // 4. Output paths.
    const std::vector<std::string> hap_paths = task.get_arr_out_hap_unique();
    alloc_cross_str_array(&ctx->out_hap_paths, static_cast<uint32_t>(hap_paths.size()));
    for (const std::string &p : hap_paths) cross_str_array_add(&ctx->out_hap_paths, p.c_str());
    if (audio) {
        const std::vector<std::string> wav_paths = task.get_arr_out_wav_unique();
        alloc_cross_str_array(&ctx->out_wav_paths, static_cast<uint32_t>(wav_paths.size()));
        for (const std::string &p : wav_paths) cross_str_array_add(&ctx->out_wav_paths, p.c_str());
    }

    // 5, 6. Frame rate and range.
    if (setting->vid_fps_mode == 1) {
        ctx->video_interp.use_custom_fps = true;
        ctx->video_interp.custom_fps = custom_fps_of_setting(setting->vid_fps_custom);
    }
    ctx->video_interp.in_point = task.in_point;
    ctx->video_interp.out_point = task.out_point;

    // 7. Video parameters.
    if (task.have_target_hap) {
        HAPStandalone_HapParams &hp = ctx->hap_params;
        ctx->target_width = task.target_crop_scale.target_w;
        ctx->target_height = task.target_crop_scale.target_h;
        if (task.is_smart_rendering_possible()) {
            ctx->mode = kHapProcessModeSmart;
            ctx->conform_params.codec = task.target_codec_hap;
        } else {
            ctx->mode = kHapProcessModeEncode;
            ctx->encode_params.codec = task.target_codec_hap;
            ctx->encode_params.quality = setting->vid_hap_quality;
            ctx->encode_params.scale_quality = setting->vid_scale_quality;
        }
        const uint32_t src_w = ctx->src_info->width, src_h = ctx->src_info->height;
        if (task.is_multicrop()) {
            hp.is_multicrop = true;
            const std::vector<CropItemRef> items = setting->get_array_crop_items();
            alloc_crop_params(ctx, static_cast<uint32_t>(items.size()));
            for (size_t i = 0; i < items.size(); ++i) {
                if (!items[i]) throw_process_error("Fail to create process. Invalid crop found in multicrop mode");
                const HapStandCropScale r = compute_item_geometry(*items[i], src_w, src_h);
                if (r.have_crop_error) {
                    zlog("Invalid crop item in multicrop : %s", items[i]->description().c_str());
                    throw_process_error("Fail to create process. Invalid crop found in multicrop mode");
                }
                HAPStandalone_CropParamsItem &c = hp.crop_items[i];
                c.crop_l = r.crop_l;
                c.crop_t = r.crop_t;
                c.crop_r = r.crop_r;
                c.crop_b = r.crop_b;
                c.dst_width = r.transform_out_w;
                c.dst_height = r.transform_out_h;
                c.transform_mode = r.transform_mode;
            }
            if (ctx->out_hap_paths.count != hp.nb_crop_items) {
                zlog("Output hap path (%u) didn't match multicrop item count (%u)", ctx->out_hap_paths.count,
                     hp.nb_crop_items);
                throw_process_error("Fail to create process. Invalid target hap files in multicrop");
            }
        } else if (task.is_autocrop()) {
            hp.is_multicrop = false;
            // The getter copies the analysed item under the task's results lock.
            const CropItemRef item = task.get_auto_crop_item_after_analyse();
            if (!item) throw_process_error("Fail to create process. Invalid crop found in autocrop mode");
            const HapStandCropScale r = compute_item_geometry(*item, src_w, src_h);
            if (r.have_crop_error) {
                zlog("Invalid crop item in autocrop : %s", item->description().c_str());
                throw_process_error("Fail to create process. Invalid crop found in autocrop mode");
            }
            if (has_edges(r.crop_l, r.crop_t, r.crop_r, r.crop_b)) {
                alloc_crop_params(ctx, 1);
                HAPStandalone_CropParamsItem &c = hp.crop_items[0];
                c.crop_l = r.crop_l;
                c.crop_t = r.crop_t;
                c.crop_r = r.crop_r;
                c.crop_b = r.crop_b;
                c.dst_width = r.transform_out_w;
                c.dst_height = r.transform_out_h;
                c.transform_mode = 0;
                ctx->target_width = r.target_w;
                ctx->target_height = r.target_h;
            }
            hp.transform_mode = 0;
        } else {
            const HapStandCropScale &cs = task.target_crop_scale;
            if (has_edges(cs.crop_l, cs.crop_t, cs.crop_r, cs.crop_b)) {
                alloc_crop_params(ctx, 1);
                HAPStandalone_CropParamsItem &c = hp.crop_items[0];
                c.crop_l = cs.crop_l;
                c.crop_t = cs.crop_t;
                c.crop_r = cs.crop_r;
                c.crop_b = cs.crop_b;
            }
            hp.is_multicrop = false;
            hp.transform_mode = setting->vid_transform_mode;
        }
        // Timecode.
        hp.timecode.tc_mode = setting->metadata_tc_mode;
        hp.timecode.drop_frame = setting->metadata_tc_force_drop_frame;
        if (setting->metadata_start_tc_force && !setting->metadata_start_tc_force->empty()) {
            TimecodeTextValue tc;
            if (parse_timecode_text(*setting->metadata_start_tc_force, &tc)) {
                hp.timecode.start_hours = tc.hours;
                hp.timecode.start_minutes = tc.minutes;
                hp.timecode.start_seconds = tc.seconds;
                hp.timecode.start_frames = tc.frames;
                if (tc.has_drop_separator) hp.timecode.drop_frame = true;
            }
        }
        // Chunks.
        if (setting->vid_enable_snappy) {
            uint32_t chunks = setting->vid_chunks;
            if (chunks == 0) chunks = 1;
            if (chunks > 64) chunks = 64;
            hp.nb_chunks = chunks;
        } else {
            hp.nb_chunks = 0;
        }
        hp.alpha_conversion = setting->vid_alpha_conversion;
        hp.no_alpha = setting->vid_alpha_mode == 1;
        hp.write_crop_box = setting->metadata_write_crop_box_metadata;
    } else {
        ctx->mode = kHapProcessModeNoVideo;
    }

    // 8. Audio parameters.
    if (audio) {
        HAPStandalone_AudioParams &ap = ctx->audio_params;
        if (setting->aud_frequency == 0) {
            ap.frequency = 44100;
        } else if (setting->aud_frequency == 1) {
            ap.frequency = 48000;
        } else {
            printf("Unknown audio frequency : %u\n", setting->aud_frequency);
            ap.frequency = 48000;
        }
        if (setting->aud_quantif <= 2) {
            ap.sample_format = 2 * setting->aud_quantif + 1;
        } else {
            printf("Unknown audio setting quantif : %u\n", setting->aud_quantif);
            ap.sample_format = 1;
        }
        ap.layout = task.audio_layout;
        ap.embed_in_mov = task.have_target_hap && setting->aud_embed_in_hap;
        ap.write_wav = setting->aud_write_wav_file;
        ap.multi_mono = ap.write_wav && setting->aud_write_multi_mono_file;
        const uint32_t channels = audio_layout_channel_count(task.audio_layout);
        const float gain = static_cast<float>(task.get_audio_gain_after_analyse());
        if (gain != 0.0f)
            for (uint32_t c = 0; c < channels && c < kHapStandMaxAudioGains; ++c) ap.gains[c] = gain;
    }
}
