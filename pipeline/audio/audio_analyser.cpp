#include "pipeline/audio/audio_analyser.h"

#include <ebur128.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pipeline/audio/audio_filter.h"
#include "platform/core/errors.h"

namespace {

struct AnalyserPriv {
    uint32_t channels;
    AudioSampleFormat format;
    uint8_t planar;
    uint8_t dual;
    AudioAnalyserOptions options;
    ebur128_state *states[2];
    uint32_t state_channels[2];
    uint32_t nb_states;
    uint8_t convert;
    AudioFilter *converter;
};

void analyser_free(AudioAnalyser *a) {
    AnalyserPriv *p = static_cast<AnalyserPriv *>(a->priv_data);
    if (p) {
        for (ebur128_state *&st : p->states)
            if (st) ebur128_destroy(&st);
        free_audio_filter(p->converter);
        free(p);
    }
    a->priv_data = nullptr;
    free(a->results);
    a->results = nullptr;
}

bool only_stop_at_sound(const AudioAnalyserOptions &o) {
    return o.stop_at_sound && !o.loudness && !o.short_term && !o.loudness_range && !o.peaks;
}

// 1 when no channel of any state has a true peak above zero yet.
uint8_t all_silent_so_far(AnalyserPriv *p) {
    uint8_t silent = 1;
    for (uint32_t s = 0; s < p->nb_states; s++)
        for (uint32_t c = 0; c < p->state_channels[s]; c++) {
            double peak = 0;
            int err = ebur128_true_peak(p->states[s], c, &peak);
            if (err != EBUR128_SUCCESS)
                printf("WARNING : Fail to get sample peak %d (Ch : %d) : %d\n", int(s), int(c), err);
            else if (peak > 0)
                silent = 0;
        }
    return silent;
}

void add_frames(ebur128_state *st, const AudioFrame *f, uint32_t samples) {
    int err;
    const void *data = f->planes[0];
    switch (f->format) {
    case AudioSampleFormat_S16LE: err = ebur128_add_frames_short(st, static_cast<const short *>(data), samples); break;
    case AudioSampleFormat_S32LE: err = ebur128_add_frames_int(st, static_cast<const int *>(data), samples); break;
    case AudioSampleFormat_F32LE: err = ebur128_add_frames_float(st, static_cast<const float *>(data), samples); break;
    case AudioSampleFormat_F64LE:
        err = ebur128_add_frames_double(st, static_cast<const double *>(data), samples);
        break;
    default: throw_process_error("Unsupported audio descriptor");
    }
    if (err != EBUR128_SUCCESS) throw_process_error("Fail to add audio frame to analyser");
}

uint8_t analyser_feed(AudioAnalyser *a, AudioFrame *frame) {
    AnalyserPriv *p = static_cast<AnalyserPriv *>(a->priv_data);
    if (frame->channels != p->channels) throw_process_error("Invalid audio channels");
    if (frame->format != p->format) throw_process_error("Not correct descriptor");
    if (frame->channels >= 2 && frame->planar != p->planar) throw_process_error("Not correct planar");

    const AudioFrame *measured[2] = {frame, nullptr};
    if (p->convert) {
        if (!p->converter) throw_process_error("Invalid audio scaling");
        p->converter->inputs[0] = frame;
        audio_filter_process(p->converter);
        measured[0] = p->converter->output;
        measured[1] = p->dual ? p->converter->output2 : nullptr;
    }
    for (uint32_t s = 0; s < p->nb_states; s++) {
        if (!measured[s]) throw_process_error(s == 0 ? "Invalid first audio frame" : "Invalid second audio frame");
        if (!p->states[s]) throw_process_error("Invalid r128 analyser");
        add_frames(p->states[s], measured[s], frame->nb_samples);
    }
    if (!only_stop_at_sound(p->options)) return 1;
    return all_silent_so_far(p);
}

double to_db(double v) { return 20.0 * std::log10(v); }

uint8_t analyser_finish(AudioAnalyser *a) {
    AnalyserPriv *p = static_cast<AnalyserPriv *>(a->priv_data);
    AudioAnalyserResults *r = a->results;
    uint32_t first_channel = 0;
    for (uint32_t s = 0; s < p->nb_states; s++) {
        ebur128_state *st = p->states[s];
        if (!st || !p->state_channels[s]) continue;
        int err;
        if (p->options.loudness) {
            if ((err = ebur128_loudness_momentary(st, &r->momentary[s])))
                printf("WARNING : Fail to get momentary loudness : %d\n", err);
            if ((err = ebur128_loudness_global(st, &r->integrated[s])))
                printf("WARNING : Fail to get global loudness : %d\n", err);
        }
        if (p->options.short_term && (err = ebur128_loudness_shortterm(st, &r->short_term[s])))
            printf("WARNING : Fail to get short term loudness : %d\n", err);
        if (p->options.loudness_range && (err = ebur128_loudness_range(st, &r->range[s])))
            printf("WARNING : Fail to get loudness range : %d\n", err);
        if (p->options.peaks) {
            for (uint32_t c = 0; c < p->state_channels[s]; c++) {
                double v = 0;
                if ((err = ebur128_sample_peak(st, c, &v)))
                    printf("WARNING : Fail to get sample peak %d : %d\n", int(c), err);
                else
                    r->sample_peak[first_channel + c] = to_db(v);
                if ((err = ebur128_true_peak(st, c, &v)))
                    printf("WARNING : Fail to get true peak %d : %d\n", int(c), err);
                else
                    r->true_peak[first_channel + c] = to_db(v);
            }
        }
        first_channel += p->state_channels[s];
    }
    r->is_silent = all_silent_so_far(p);
    return r->is_silent;
}

}  // namespace

AudioAnalyser *create_audio_analyser(const AudioAnalyserParams &prm, const AudioAnalyserOptions &opt) {
    const uint32_t ch = prm.channels;
    if (ch != 1 && ch != 2 && ch != 4 && ch != 6 && ch != 8) {
        printf("Audio Channels not supported (%d)\n", int(ch));
        throw_process_error("Unsupported input");
    }
    AudioAnalyser *a = static_cast<AudioAnalyser *>(calloc(1, sizeof(AudioAnalyser)));
    if (!a) throw_alloc_error();
    try {
        a->kind = 1;
        a->start_sample = prm.start_sample;
        a->sample_count = prm.sample_count;
        a->feed = analyser_feed;
        a->finish = analyser_finish;
        a->free = analyser_free;
        AnalyserPriv *p = static_cast<AnalyserPriv *>(calloc(1, sizeof(AnalyserPriv)));
        if (!p) throw_alloc_error();
        a->priv_data = p;
        a->results = static_cast<AudioAnalyserResults *>(calloc(1, sizeof(AudioAnalyserResults)));
        if (!a->results) throw_alloc_error();
        p->channels = ch;
        p->format = prm.format;
        p->planar = prm.planar;
        p->options = opt;
        p->dual = ch == 4;
        p->nb_states = p->dual ? 2 : 1;
        p->state_channels[0] = p->dual ? 2 : ch;
        p->state_channels[1] = p->dual ? 2 : 0;

        int mode = EBUR128_MODE_M;
        if (opt.loudness) mode |= EBUR128_MODE_I;
        if (opt.short_term) mode |= EBUR128_MODE_S;
        if (opt.loudness_range) mode |= EBUR128_MODE_LRA;
        if (opt.peaks || opt.stop_at_sound) mode |= EBUR128_MODE_TRUE_PEAK;
        for (uint32_t s = 0; s < p->nb_states; s++) {
            if (p->state_channels[s] == 0) throw_process_error("Invalid channel number");
            p->states[s] = ebur128_init(p->state_channels[s], prm.frequency, mode);
            if (!p->states[s]) throw_process_error("Can't create ebur128_state");
            if (ch == 8) {
                static const int roles[8] = {EBUR128_LEFT,  EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED,
                                             EBUR128_Mp090, EBUR128_Mm090, EBUR128_Mp135,  EBUR128_Mm135};
                for (unsigned c = 0; c < 8; c++) ebur128_set_channel(p->states[s], c, roles[c]);
            }
        }
        a->results->nb_states = p->nb_states;
        a->results->channels[0] = p->state_channels[0];
        a->results->channels[1] = p->state_channels[1];

        const bool direct_format = prm.format == AudioSampleFormat_S16LE || prm.format == AudioSampleFormat_S32LE ||
                                   prm.format == AudioSampleFormat_F32LE || prm.format == AudioSampleFormat_F64LE;
        p->convert = p->dual || !direct_format || (ch >= 2 && prm.planar);
        if (p->convert) {
            AudioFilterConvertParams cp{int32_t(prm.seconds),
                                        ch,
                                        prm.format,
                                        prm.planar,
                                        prm.frequency,
                                        AudioSampleFormat_F32LE,
                                        0,
                                        prm.frequency,
                                        uint8_t(p->dual ? 1 : 0)};
            p->converter = create_audio_filter_convert(cp);
        }
    } catch (...) {
        printf("Fail to create audio analyse loudness\n");
        free_audio_analyser(a);
        throw;
    }
    return a;
}

uint8_t audio_analyser_add_frame(AudioAnalyser *a, AudioFrame *frame) {
    if (!a) throw_process_error("Invalid audio analyser (NULL)");
    const uint64_t n = frame->nb_samples;
    uint64_t skip = 0;
    if (a->start_sample > a->skipped) skip = a->start_sample - a->skipped < n ? a->start_sample - a->skipped : n;
    a->skipped += skip;
    uint64_t rest = n - skip;
    if (rest == 0) return 1;
    if (a->sample_count) {
        if (a->measured >= a->sample_count) return 0;
        if (rest > a->sample_count - a->measured) rest = a->sample_count - a->measured;
    }
    AudioFrame view;
    init_audio_frame(&view);
    uint8_t more;
    try {
        ref_audio_frame(&view, frame);
        skip_audio_frame_start(&view, uint32_t(skip));
        view.nb_samples = uint32_t(rest);
        more = a->feed(a, &view);
    } catch (...) {
        free_audio_frame(&view);
        throw;
    }
    free_audio_frame(&view);
    a->measured += rest;
    if (a->sample_count && a->measured >= a->sample_count) more = 0;
    return more;
}

uint8_t audio_analyser_finish(AudioAnalyser *a) {
    if (!a || !a->finish) return 0;
    return a->finish(a);
}

void free_audio_analyser(AudioAnalyser *a) {
    if (!a) return;
    if (a->free)
        a->free(a);
    else
        printf("No close free func\n");
    free(a);
}
