#include "pipeline/probe/media_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/errors.h"

namespace {

char *clone_or_throw(const char *text) {
    if (!text) return nullptr;
    char *copy = clone_str(text);
    if (!copy) throw_alloc_error();
    return copy;
}

void clear_audio_info(AudioInfo *t) {
    free(t->description);
    free(t->channel_mapping);
    t->description = nullptr;
    t->channel_mapping = nullptr;
}

void clear_tracks(MediaInfo *info) {
    for (uint32_t i = 0; info->audio_tracks && i < info->nb_audio_tracks; i++) clear_audio_info(&info->audio_tracks[i]);
    free(info->audio_tracks);
    info->audio_tracks = nullptr;
    info->nb_audio_tracks = 0;
}

}  // namespace

char *clone_str(const char *text) {
    if (!text) return nullptr;
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (!copy) {
        printf("Fail to alloc str clone : (%zu)\n", size);
        return nullptr;
    }
    memcpy(copy, text, size);
    return copy;
}

void init_media_info(MediaInfo *m) {
    memset(m, 0, sizeof(*m));
    m->video_src_type = MediaInfoVideoSrc_None;
    m->pixel_ratio = ZRational{1, 1};
    m->fps = ZRational{25, 1};
    m->data_descriptor = VideoFrameUnknown;
    m->pix_fmt = PixFmt_Undefined;
    m->color_range = 2;
    m->chroma_location = 6;
    m->color_matrix = 3;
    m->ff_codec_id = kMediaInfoNoCodecId;
    m->ff_pix_fmt = -1;
    m->hap_chunks = 1;
    m->alpha_kind = 2;
    m->audio_src_type = MediaInfoAudioSrc_None;
    m->max_vfr_to_cfr_fps = ZRational{50, 1};
}

MediaInfo *new_media_info() {
    MediaInfo *m = static_cast<MediaInfo *>(malloc(sizeof(MediaInfo)));
    if (!m) throw_alloc_error();
    init_media_info(m);
    return m;
}

void clear_media_info(MediaInfo *m) {
    if (!m) return;
    free(m->filepath);
    free(m->ext);
    free(m->img_seq_path_base);
    free(m->codec_name);
    m->filepath = m->ext = m->img_seq_path_base = m->codec_name = nullptr;
    clear_tracks(m);
}

void free_media_info(MediaInfo **m) {
    if (!m || !*m) return;
    clear_media_info(*m);
    free(*m);
    *m = nullptr;
}

void copy_media_info(MediaInfo *dst, const MediaInfo *src) {
    init_media_info(dst);
    *dst = *src;
    dst->filepath = dst->ext = dst->img_seq_path_base = dst->codec_name = nullptr;
    dst->audio_tracks = nullptr;
    dst->nb_audio_tracks = 0;
    dst->filepath = clone_or_throw(src->filepath);
    dst->ext = clone_or_throw(src->ext);
    dst->img_seq_path_base = clone_or_throw(src->img_seq_path_base);
    dst->codec_name = clone_or_throw(src->codec_name);
    if (src->nb_audio_tracks && src->audio_tracks) {
        dst->audio_tracks = static_cast<AudioInfo *>(calloc(src->nb_audio_tracks, sizeof(AudioInfo)));
        if (!dst->audio_tracks) throw_alloc_error();
        dst->nb_audio_tracks = src->nb_audio_tracks;
        for (uint32_t i = 0; i < src->nb_audio_tracks; i++) {
            const AudioInfo &s = src->audio_tracks[i];
            AudioInfo &d = dst->audio_tracks[i];
            d = s;
            d.description = nullptr;
            d.channel_mapping = nullptr;
            d.description = clone_or_throw(s.description);
            if (s.channel_mapping && s.nb_channels) {
                d.channel_mapping = static_cast<uint64_t *>(malloc(sizeof(uint64_t) * s.nb_channels));
                if (!d.channel_mapping) throw_alloc_error();
                memcpy(d.channel_mapping, s.channel_mapping, sizeof(uint64_t) * s.nb_channels);
            }
        }
    }
}

MediaInfo *clone_media_info(const MediaInfo *src) {
    MediaInfo *m = new_media_info();
    try {
        copy_media_info(m, src);
    } catch (...) {
        free_media_info(&m);
        throw;
    }
    return m;
}

void init_audio_info(AudioInfo *t) {
    memset(t, 0, sizeof(*t));
    t->enable = true;
    t->is_valid = true;
    t->format = AudioSampleFormat_Unsupported;
    t->ff_sample_fmt = -1;
    t->ff_codec_id = kMediaInfoNoCodecId;
}

void alloc_audio_infos(MediaInfo *m, uint32_t count) {
    if (count == 0) return;
    AudioInfo *tracks = static_cast<AudioInfo *>(malloc(sizeof(AudioInfo) * uint64_t(count)));
    if (!tracks) throw_alloc_error();
    clear_tracks(m);
    for (uint32_t i = 0; i < count; i++) init_audio_info(&tracks[i]);
    m->audio_tracks = tracks;
    m->nb_audio_tracks = count;
}

AudioInfo *add_audio_info(MediaInfo *m) {
    AudioInfo *tracks =
        static_cast<AudioInfo *>(realloc(m->audio_tracks, sizeof(AudioInfo) * (uint64_t(m->nb_audio_tracks) + 1)));
    if (!tracks) throw_alloc_error();
    m->audio_tracks = tracks;
    AudioInfo *t = &tracks[m->nb_audio_tracks++];
    init_audio_info(t);
    return t;
}

void init_audio_info_channels(AudioInfo *t, uint32_t n) {
    if (n == 0 || n > kAudioInfoMaxChannels) {
        printf("ERROR : Invalid audio channels (%u)\n", n);
        throw_process_error("Invalid audio channels count");
    }
    uint64_t *masks = static_cast<uint64_t *>(malloc(sizeof(uint64_t) * n));
    if (!masks) throw_alloc_error();
    for (uint32_t i = 0; i < n; i++) masks[i] = uint64_t(1) << i;
    free(t->channel_mapping);
    t->channel_mapping = masks;
    t->nb_channels = n;
}

bool audio_tracks_share_format(const MediaInfo *m) {
    if (m->nb_audio_tracks < 2) return true;
    const AudioInfo &first = m->audio_tracks[0];
    for (uint32_t i = 1; i < m->nb_audio_tracks; i++) {
        const AudioInfo &t = m->audio_tracks[i];
        if (t.nb_channels != first.nb_channels || t.frequency != first.frequency || t.format != first.format)
            return false;
    }
    return true;
}

bool map_dual_stereo_tracks(MediaInfo *m) {
    if (m->nb_audio_tracks != 2) return false;
    AudioInfo *t = m->audio_tracks;
    if (t[0].nb_channels != 2 || t[1].nb_channels != 2 || !t[0].channel_mapping || !t[1].channel_mapping) return false;
    t[0].channel_mapping[0] = 1;
    t[0].channel_mapping[1] = 2;
    t[1].channel_mapping[0] = 4;
    t[1].channel_mapping[1] = 8;
    return true;
}

void copy_audio_mapping(MediaInfo *dst, const MediaInfo *old) {
    uint32_t tracks = dst->nb_audio_tracks < old->nb_audio_tracks ? dst->nb_audio_tracks : old->nb_audio_tracks;
    for (uint32_t i = 0; i < tracks; i++) {
        AudioInfo &d = dst->audio_tracks[i];
        const AudioInfo &o = old->audio_tracks[i];
        d.enable = o.enable;
        if (!d.channel_mapping || !o.channel_mapping) continue;
        uint32_t n = d.nb_channels < o.nb_channels ? d.nb_channels : o.nb_channels;
        for (uint32_t c = 0; c < n; c++) d.channel_mapping[c] = o.channel_mapping[c];
    }
}

uint32_t media_yuv_matrix(int matrix_index, uint32_t width, uint32_t height) {
    switch (matrix_index) {
    case 1: return 3;
    case 5:
    case 6: return 1;
    default: return width <= 1024 && height <= 576 ? 1 : 3;
    }
}
