#include "engine/audio_source_links.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "pipeline/audio/audio_sources.h"
#include "platform/core/errors.h"

bool is_audio_track_used(const AudioInfo &track, uint32_t n_out) {
    if (!track.enable || !track.channel_mapping) return false;
    const uint32_t bits = n_out < 1 ? 1 : n_out;
    const uint64_t want = bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
    for (uint32_t c = 0; c < track.nb_channels && c < kAudioInfoMaxChannels; ++c) {
        if (track.channel_mapping[c] & want) return true;
    }
    return false;
}

namespace {

AudioDemuxer *open_source_demuxer(const MediaInfo *src, const std::vector<int32_t> &streams) {
    try {
        switch (src->audio_src_type) {
        case MediaInfoAudioSrc_Wav: {
            AudioWavSourceParams prm;
            prm.path = src->filepath;
            prm.start = 0.0;
            prm.end = -1.0;
            return create_audio_demuxer_wav(prm, 1);
        }
        case MediaInfoAudioSrc_Mov: {
            AudioMovSourceParams prm;
            prm.path = src->filepath;
            return create_audio_demuxer_mov_pcm(prm, 1);
        }
        case MediaInfoAudioSrc_Ffmpeg: {
            AudioFfmpegSourceParams prm;
            prm.path = src->filepath;
            prm.stream_indices = streams.data();
            prm.count = uint32_t(streams.size());
            return create_audio_demuxer_ff(prm, 1);
        }
        default: printf("Unknown audio demuxer\n"); throw_process_error("Unknown audio demuxer main file");
        }
    } catch (const ProcessError &e) {
        if (std::strcmp(e.what(), "Unknown audio demuxer main file") != 0) printf("Fail to create audio demuxer\n");
        throw;
    }
}

}  // namespace

uint32_t open_audio_source_links(const MediaInfo *src, bool open_source, MediaInfo *const *wav_infos,
                                 uint32_t nb_wav_infos, uint32_t n_out, AudioDemuxer **main_demuxer,
                                 AudioDemuxer **wav_demuxers, AudioSourceLink *links, uint32_t nb_links) {
    uint32_t n = 0;
    auto link = [&](AudioDemuxer *d, uint32_t track, AudioInfo *info) {
        if (n >= nb_links) throw_process_error("Invalid audio src count");
        links[n++] = {d, track, info};
    };
    if (open_source) {
        std::vector<int32_t> streams;
        for (uint32_t i = 0; i < src->nb_audio_tracks; ++i) {
            if (is_audio_track_used(src->audio_tracks[i], n_out))
                streams.push_back(int32_t(src->audio_tracks[i].index_stream));
        }
        *main_demuxer = open_source_demuxer(src, streams);
        for (uint32_t i = 0; i < src->nb_audio_tracks; ++i) {
            AudioInfo *t = &src->audio_tracks[i];
            if (!is_audio_track_used(*t, n_out)) continue;
            link(*main_demuxer, src->audio_src_type == MediaInfoAudioSrc_Wav ? 0 : t->index_stream, t);
        }
    }
    for (uint32_t w = 0; w < nb_wav_infos; ++w) {
        MediaInfo *wi = wav_infos[w];
        if (wi->audio_src_type != MediaInfoAudioSrc_Wav) throw_process_error("Unsupported ext audio file");
        if (wi->nb_audio_tracks != 1) throw_process_error("Invalid audio track count for wav");
        if (!wi->audio_tracks) throw_process_error("Invalid audio track info for wav");
        AudioInfo *t = &wi->audio_tracks[0];
        if (!is_audio_track_used(*t, n_out)) continue;
        AudioWavSourceParams prm;
        prm.path = wi->filepath;
        prm.start = 0.0;
        prm.end = -1.0;
        wav_demuxers[w] = create_audio_demuxer_wav(prm, 1);
        link(wav_demuxers[w], 0, t);
    }
    return n;
}

void fill_audio_channel_masks(const AudioSourceLink *links, uint32_t nb_links, uint64_t *masks) {
    uint32_t c_in = 0;
    for (uint32_t j = 0; j < nb_links; ++j) {
        const AudioInfo *t = links[j].info;
        if (!t) throw_process_error("Invalid input track info");
        for (uint32_t c = 0; c < t->nb_channels; ++c) masks[c_in++] = t->channel_mapping[c];
    }
}
