#include "pipeline/audio/audio_filter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pipeline/audio/pcm_convert.h"
#include "platform/core/errors.h"

AudioFilter *new_audio_filter(uint32_t type, uint32_t input_count) {
    if (input_count == 0) throw_process_error("Zero input filter audio");
    AudioFilter *node = static_cast<AudioFilter *>(calloc(1, sizeof(AudioFilter)));
    if (!node) throw_alloc_error();
    node->inputs = static_cast<AudioFrame **>(calloc(input_count, sizeof(AudioFrame *)));
    if (!node->inputs) {
        free(node);
        throw_alloc_error();
    }
    node->type = type;
    node->input_count = input_count;
    return node;
}

void free_audio_filter(AudioFilter *node) {
    if (!node) return;
    if (node->destroy) node->destroy(node);
    free(node->inputs);
    free(node);
}

void audio_filter_process(AudioFilter *node) {
    if (!node || !node->process) throw_process_error("Invalid intern data");
    node->process(node);
}

void init_audio_filter_pool(ArrayAudioFilter *array, uint32_t capacity) {
    if (capacity == 0) throw_process_error("Invalid filters count");
    array->items = static_cast<AudioFilter **>(calloc(capacity, sizeof(AudioFilter *)));
    if (!array->items) throw_alloc_error();
    array->capacity = capacity;
    array->count = 0;
}

void audio_filter_pool_add(ArrayAudioFilter *array, AudioFilter *node) {
    if (array->count >= array->capacity) {
        printf("ERR Pool invalid : Max : %u ; Current : %u\n", array->capacity, array->count);
        throw_process_error("Not enough space for filter");
    }
    array->items[array->count++] = node;
}

void free_audio_filter_pool(ArrayAudioFilter *array) {
    if (!array) return;
    if (array->items)
        for (uint32_t i = 0; i < array->capacity; i++) free_audio_filter(array->items[i]);
    free(array->items);
    array->items = nullptr;
    array->capacity = 0;
    array->count = 0;
}

namespace {

struct ConvertPriv {
    uint32_t in_frequency;
    uint32_t channels;
    uint32_t out_frequency;
    double ratio;
    uint8_t resample, convert_in, convert_out, dual_stereo;
    uint32_t seconds;
    AudioSampleFormat in_format;
    uint8_t in_planar;
    AudioInputConverter in_conv;
    AudioOutputConverter out_conv;
    AudioFrame work;
    AudioFrame out1;
    AudioFrame out2;
};

void convert_destroy(AudioFilter *node) {
    ConvertPriv *p = static_cast<ConvertPriv *>(node->priv_data);
    if (!p) return;
    free_audio_input_converter(&p->in_conv);
    free_audio_frame(&p->work);
    free_audio_frame(&p->out1);
    free_audio_frame(&p->out2);
    free(p);
    node->priv_data = nullptr;
}

void copy_channel_info(AudioFrame *dst, const AudioFrame *src, uint32_t first) {
    for (uint32_t c = 0; c < dst->channels && first + c < src->channels; c++) {
        dst->channel_masks[c] = src->channel_masks[first + c];
        dst->channel_states[c] = src->channel_states[first + c];
    }
}

void convert_process(AudioFilter *node) {
    ConvertPriv *p = static_cast<ConvertPriv *>(node->priv_data);
    if (!p) throw_process_error("Invalid intern data");
    if (!node->inputs || !node->inputs[0]) throw_process_error("Invalid inputs");
    AudioFrame *in = node->inputs[0];
    if (in->frequency != p->in_frequency) throw_process_error("Invalid in freq");
    if (in->channels != p->channels) throw_process_error("Invalid in ch");
    // The kernels were chosen for one format and layout, and the frames sized for a
    // number of seconds: anything else would read or write outside the planes.
    if (in->format != p->in_format || in->planar != p->in_planar || !in->planes || in->nb_samples > in->capacity ||
        uint64_t(in->nb_samples) > uint64_t(p->seconds) * p->in_frequency)
        throw_process_error("Invalid in frame");

    const uint32_t n = in->nb_samples;
    uint32_t out_count = 0;
    if (n == 0) {
        for (uint32_t i = 0; i < p->out1.nb_planes; i++) reset_audio_frame_plane(&p->out1, i);
        p->out1.nb_samples = 0;
        fill_audio_frame_silence(&p->out1);
        if (p->dual_stereo) {
            p->out2.nb_samples = 0;
            fill_audio_frame_silence(&p->out2);
        }
    } else if (!p->convert_in && !p->convert_out) {
        for (uint32_t i = 0; i < p->out1.nb_planes; i++) p->out1.planes[i] = in->planes[i];
        out_count = n;
    } else {
        if (p->resample) pad_audio_frame_to_second(in);
        const float *const *float_planes = reinterpret_cast<const float *const *>(in->planes);
        out_count = n;
        if (p->convert_in) {
            AudioFrame *dst = p->convert_out ? &p->work : &p->out1;
            out_count = uint32_t(run_audio_input_converter_samples(
                &p->in_conv, reinterpret_cast<float *const *>(dst->planes), in->planes, n, dst->capacity));
            float_planes = reinterpret_cast<const float *const *>(p->work.planes);
        }
        if (p->convert_out) {
            run_audio_output_converter(&p->out_conv, p->out1.planes, float_planes, out_count);
            if (p->dual_stereo) run_audio_output_converter(&p->out_conv, p->out2.planes, float_planes + 2, out_count);
        }
    }
    p->out1.nb_samples = out_count;
    if (p->dual_stereo) p->out2.nb_samples = out_count;
    // A short block leaves stale samples of an earlier run behind its count: the mapping
    // node reads up to its longest input, so they become silence.
    if (n > 0 && (p->convert_in || p->convert_out)) {
        fill_audio_frame_silence(&p->out1);
        if (p->dual_stereo) fill_audio_frame_silence(&p->out2);
    }
    copy_channel_info(&p->out1, in, 0);
    if (p->dual_stereo) copy_channel_info(&p->out2, in, 2);
}

}  // namespace

AudioFilter *create_audio_filter_convert(const AudioFilterConvertParams &prm) {
    AudioFilter *node = new_audio_filter(AudioFilterType_Convert, 1);
    try {
        ConvertPriv *p = static_cast<ConvertPriv *>(calloc(1, sizeof(ConvertPriv)));
        if (!p) throw_alloc_error();
        node->priv_data = p;
        node->destroy = convert_destroy;
        p->in_frequency = prm.in_frequency;
        p->channels = prm.channels;
        p->out_frequency = prm.out_frequency;
        p->ratio = prm.in_frequency ? double(prm.out_frequency) / double(prm.in_frequency) : 0.0;
        p->seconds = prm.seconds > 0 ? uint32_t(prm.seconds) : 0;
        reset_audio_input_converter(&p->in_conv);
        init_audio_frame(&p->work);
        init_audio_frame(&p->out1);
        init_audio_frame(&p->out2);

        if (prm.dual_stereo) {
            if (prm.channels != 4) throw_process_error("Invalid dual stereo channels");
            if (prm.out_planar) throw_process_error("Invalid dual stereo out mode");
        }
        p->dual_stereo = prm.dual_stereo ? 1 : 0;
        p->in_format = prm.in_format;
        p->in_planar = (prm.channels == 1 || prm.in_planar) ? 1 : 0;
        const uint8_t out_planar = (prm.channels == 1 || prm.out_planar) ? 1 : 0;
        const bool in_float_planar = prm.in_format == AudioSampleFormat_F32LE && p->in_planar;
        p->resample = prm.in_frequency != prm.out_frequency;
        p->convert_in = p->resample || !in_float_planar;
        p->convert_out = !(prm.out_format == AudioSampleFormat_F32LE && out_planar);

        if (p->convert_in) {
            AudioDescriptor d;
            init_audio_descriptor(&d, prm.in_format, prm.channels, prm.in_frequency, p->in_planar);
            init_audio_input_converter(&p->in_conv, &d, 0, prm.out_frequency, AudioReadMode_Plain, p->seconds);
        }
        const uint32_t out_channels = p->dual_stereo ? 2 : prm.channels;
        if (p->convert_out) {
            AudioDescriptor d;
            init_audio_descriptor(&d, prm.out_format, out_channels, prm.out_frequency, out_planar);
            init_audio_output_converter(&p->out_conv, &d);
        }
        const uint64_t samples = uint64_t(prm.out_frequency) * p->seconds;
        if (samples > UINT32_MAX)
            throw_process_errorf("Invalid audio data alloc size (%llu)", (unsigned long long)samples);
        alloc_audio_frame(&p->work, AudioSampleFormat_F32LE, prm.channels, prm.out_frequency, 1, uint32_t(samples));
        alloc_audio_frame(&p->out1, prm.out_format, out_channels, prm.out_frequency, out_planar, uint32_t(samples));
        if (p->dual_stereo)
            alloc_audio_frame(&p->out2, prm.out_format, out_channels, prm.out_frequency, out_planar, uint32_t(samples));
        node->output = &p->out1;
        node->output2 = &p->out2;
        node->process = convert_process;
    } catch (...) {
        free_audio_filter(node);
        throw;
    }
    return node;
}
