// Prints the MediaInfo of each file named on the command line as JSON on standard output,
// one object per file in an array; the probe's own lines go to standard error.
//   media_info_json [--force-ff] FILE...
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "pipeline/probe/media_probe.h"
#include "platform/foundation/json.h"

namespace {

Json str_or_null(const char *s) { return s ? Json(s) : Json(nullptr); }
Json rational(ZRational r) { return Json::array({r.num, r.den}); }

Json track_json(const AudioInfo &t) {
    Json masks = Json::array();
    for (uint32_t c = 0; t.channel_mapping && c < t.nb_channels; c++) masks.push_back(t.channel_mapping[c]);
    return Json{
        {"enable", t.enable},           {"is_valid", t.is_valid},       {"is_planar", t.is_planar},
        {"nb_channels", t.nb_channels}, {"frequency", t.frequency},     {"bytes_per_sample", t.bytes_per_sample},
        {"nb_samples", t.nb_samples},   {"duration", t.duration},       {"index_stream", t.index_stream},
        {"track_id", t.track_id},       {"format", uint32_t(t.format)}, {"ff_sample_fmt", t.ff_sample_fmt},
        {"is_pcm", t.is_pcm},           {"ff_codec_id", t.ff_codec_id}, {"description", str_or_null(t.description)},
        {"channel_mapping", masks}};
}

Json info_json(const MediaInfo &m) {
    Json tracks = Json::array();
    for (uint32_t i = 0; i < m.nb_audio_tracks; i++) tracks.push_back(track_json(m.audio_tracks[i]));
    return Json{{"filepath", str_or_null(m.filepath)},
                {"ext", str_or_null(m.ext)},
                {"img_seq_path_base", str_or_null(m.img_seq_path_base)},
                {"codec_name", str_or_null(m.codec_name)},
                {"img_seq_digits", m.img_seq_digits},
                {"video_src_type", uint32_t(m.video_src_type)},
                {"have_video", m.have_video},
                {"width", m.width},
                {"height", m.height},
                {"pixel_ratio", rational(m.pixel_ratio)},
                {"fps", rational(m.fps)},
                {"nb_frames", m.nb_frames},
                {"is_vfr", m.is_vfr},
                {"data_descriptor", uint32_t(m.data_descriptor)},
                {"pix_fmt", uint32_t(m.pix_fmt)},
                {"color_range", m.color_range},
                {"chroma_location", m.chroma_location},
                {"color_matrix", m.color_matrix},
                {"field_order", m.field_order},
                {"ff_codec_id", m.ff_codec_id},
                {"codec_fourcc", m.codec_fourcc},
                {"codec_sub_fourcc", m.codec_sub_fourcc},
                {"ff_pix_fmt", m.ff_pix_fmt},
                {"is_hap", m.is_hap},
                {"hap_chunks", m.hap_chunks},
                {"have_alpha", m.have_alpha},
                {"have_alpha_kind", m.have_alpha_kind},
                {"alpha_kind", m.alpha_kind},
                {"have_tc", m.have_tc},
                {"tc_start_frame", m.tc_start_frame},
                {"tc_drop_frame", m.tc_drop_frame},
                {"nb_audio_tracks", m.nb_audio_tracks},
                {"audio_src_type", uint32_t(m.audio_src_type)},
                {"audio_tracks", tracks},
                {"force_ff", m.force_ff},
                {"mov_intra_demuxer_flags", m.mov_intra_demuxer_flags},
                {"max_vfr_to_cfr_fps", rational(m.max_vfr_to_cfr_fps)},
                {"force_ff_audio", m.force_ff_audio}};
}

}  // namespace

int main(int argc, char **argv) {
    // The probe prints its lines on standard output: move them to standard error so that
    // standard output holds only the JSON.
    fflush(stdout);
    const int json_fd = dup(1);
    dup2(2, 1);
    FILE *json_out = fdopen(json_fd, "w");

    MediaInfoParams params;
    Json all = Json::array();
    int status = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--force-ff") == 0) {
            params.force_ff = true;
            continue;
        }
        try {
            MediaInfo *m = get_media_info_with_params(argv[i], params);
            all.push_back(info_json(*m));
            free_media_info(&m);
        } catch (const std::exception &e) {
            all.push_back(Json{{"filepath", argv[i]}, {"error", e.what()}});
            status = 1;
        }
    }
    fflush(stdout);
    fprintf(json_out, "%s\n", json_dump_pretty(all).c_str());
    fclose(json_out);
    return status;
}
