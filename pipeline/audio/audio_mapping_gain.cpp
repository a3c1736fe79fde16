// Channel-mapping and gain nodes.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pipeline/audio/audio_filter.h"
#include "platform/core/errors.h"

namespace {

void sum2(float *d, const float *const *s, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) d[i] = s[0][i] + s[1][i];
}
void sum3(float *d, const float *const *s, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) d[i] = s[0][i] + s[1][i] + s[2][i];
}
void sum4(float *d, const float *const *s, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) d[i] = s[0][i] + s[1][i] + s[2][i] + s[3][i];
}
// d += sources, left to right.
void add_to(float *d, const float *const *s, uint32_t k, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        float v = d[i];
        for (uint32_t j = 0; j < k; j++) v += s[j][i];
        d[i] = v;
    }
}

}  // namespace

void init_audio_channel_matrix(AudioChannelMatrix *m, uint32_t input_channels, uint32_t output_channels,
                               const uint64_t *masks) {
    memset(m, 0, sizeof(*m));
    if (input_channels == 0 || output_channels == 0) throw_process_error("Invalid tracks count In,out (0)");
    m->sources = static_cast<AudioChannelSources *>(calloc(output_channels, sizeof(AudioChannelSources)));
    if (!m->sources) throw_alloc_error();
    m->output_channels = output_channels;
    m->input_channels = input_channels;
    m->sum2 = sum2;
    m->sum3 = sum3;
    m->sum4 = sum4;
    for (uint32_t j = 0; j < output_channels; j++) {
        AudioChannelSources &list = m->sources[j];
        list.inputs = static_cast<uint32_t *>(malloc(sizeof(uint32_t) * input_channels));
        if (!list.inputs) {
            free_audio_channel_matrix(m);
            throw_alloc_error();
        }
        if (!masks || j >= 64) continue;
        for (uint32_t k = 0; k < input_channels; k++)
            if ((masks[k] >> j) & 1) list.inputs[list.count++] = k;
    }
}

void run_audio_channel_matrix(const AudioChannelMatrix *m, float *const *out, const float *const *in,
                              uint32_t samples) {
    const float *src[4];
    for (uint32_t j = 0; j < m->output_channels; j++) {
        const AudioChannelSources &list = m->sources[j];
        float *d = out[j];
        const uint32_t k = list.count;
        if (k == 0) {
            memset(d, 0, sizeof(float) * samples);
            continue;
        }
        if (k == 1) {
            memcpy(d, in[list.inputs[0]], sizeof(float) * samples);
            continue;
        }
        const uint32_t first = k < 4 ? k : 4;
        for (uint32_t i = 0; i < first; i++) src[i] = in[list.inputs[i]];
        if (first == 2) m->sum2(d, src, samples);
        if (first == 3) m->sum3(d, src, samples);
        if (first == 4) m->sum4(d, src, samples);
        for (uint32_t done = first; done < k;) {
            const uint32_t step = k - done >= 3 ? 3 : k - done;
            for (uint32_t i = 0; i < step; i++) src[i] = in[list.inputs[done + i]];
            add_to(d, src, step, samples);
            done += step;
        }
    }
}

void free_audio_channel_matrix(AudioChannelMatrix *m) {
    if (!m) return;
    if (m->sources)
        for (uint32_t j = 0; j < m->output_channels; j++) free(m->sources[j].inputs);
    free(m->sources);
    m->sources = nullptr;
}

namespace {

struct MappingPriv {
    uint32_t input_count;
    uint32_t input_channels;
    uint32_t output_channels;
    uint32_t samples;
    AudioFrame out;
    AudioChannelMatrix matrix;
    const float **in_planes;  // one per input channel
};

void mapping_destroy(AudioFilter *node) {
    MappingPriv *p = static_cast<MappingPriv *>(node->priv_data);
    if (!p) return;
    free_audio_frame(&p->out);
    free_audio_channel_matrix(&p->matrix);
    free(p->in_planes);
    free(p);
    node->priv_data = nullptr;
}

void mapping_process(AudioFilter *node) {
    MappingPriv *p = static_cast<MappingPriv *>(node->priv_data);
    if (!p) throw_process_error("Invalid intern data");
    if (!node->inputs) throw_process_error("Invalid inputs");
    if (node->input_count != p->input_count) throw_process_error("Inconsistent inputs mapping");
    for (uint32_t i = 0; i < node->input_count; i++)
        if (!node->inputs[i]) throw_process_error("Invalid inputs");

    uint32_t n = node->inputs[0]->nb_samples;
    uint32_t gathered = 0;
    for (uint32_t i = 0; i < node->input_count; i++) {
        const AudioFrame *in = node->inputs[i];
        if (!in->planar) throw_process_error("Invalid data layout");
        if (in->format != AudioSampleFormat_F32LE) throw_process_error("Invalid data type");
        if (in->nb_samples > n) {
            printf("Warning : inconsistent sample count for track (Frame samples : %u ; Sample process : %u\n",
                   in->nb_samples, n);
            n = in->nb_samples;
        }
        if (gathered + in->channels > p->input_channels) {
            printf("ERROR : Invalid channels count in Mapping : %d > %d\n", int(gathered + in->channels),
                   int(p->input_channels));
            throw_process_error("Invalid channels count in");
        }
        for (uint32_t c = 0; c < in->channels; c++)
            p->in_planes[gathered + c] = reinterpret_cast<const float *>(in->planes[c]);
        gathered += in->channels;
    }
    // Fewer channels than the masks name would leave planes unset.
    if (gathered != p->input_channels) {
        printf("ERROR : Invalid channels count in Mapping : %d > %d\n", int(gathered), int(p->input_channels));
        throw_process_error("Invalid channels count in");
    }
    // The run covers the longest input: every input and the output must hold that many.
    for (uint32_t i = 0; i < node->input_count; i++)
        if (node->inputs[i]->capacity < n) throw_process_error("Invalid samples count in");
    if (n > p->out.capacity) throw_process_error("Invalid samples count in");

    if (n > 0)
        run_audio_channel_matrix(&p->matrix, reinterpret_cast<float *const *>(p->out.planes), p->in_planes, n);
    else
        printf("Warning No sample to process\n");
    p->out.nb_samples = n;
}

}  // namespace

AudioFilter *create_audio_filter_mapping(const AudioFilterMappingParams &prm) {
    AudioFilter *node = new_audio_filter(AudioFilterType_Mapping, prm.input_count);
    try {
        MappingPriv *p = static_cast<MappingPriv *>(calloc(1, sizeof(MappingPriv)));
        if (!p) throw_alloc_error();
        node->priv_data = p;
        node->destroy = mapping_destroy;
        init_audio_frame(&p->out);
        p->input_count = prm.input_count;
        p->input_channels = prm.input_channels;
        p->output_channels = prm.output_channels;
        p->samples = prm.samples;

        bool any = false;
        for (uint32_t k = 0; prm.masks && k < prm.input_channels; k++) any = any || prm.masks[k] != 0;
        if (!any) printf("WARNING : No mapping mask\n");
        init_audio_channel_matrix(&p->matrix, prm.input_channels, prm.output_channels, prm.masks);
        p->in_planes = static_cast<const float **>(calloc(prm.input_channels, sizeof(float *)));
        if (!p->in_planes) throw_alloc_error();
        alloc_audio_frame(&p->out, AudioSampleFormat_F32LE, prm.output_channels, prm.frequency, 1, prm.samples);
        for (uint32_t j = 0; j < prm.output_channels; j++)
            if (p->matrix.sources[j].count == 0) p->out.channel_states[j] = AudioChannelState_Silent;
        node->output = &p->out;
        node->process = mapping_process;
    } catch (...) {
        free_audio_filter(node);
        throw;
    }
    return node;
}

namespace {

using GainKernel = void (*)(float *dst, const float *src, float factor, uint32_t samples);

void gain_plain(float *d, const float *s, float f, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) d[i] = s[i] * f;
}
void gain_clamped(float *d, const float *s, float f, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        float v = s[i] * f;
        d[i] = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
    }
}

// Linear factor of a gain in dB. A gain too large for a float factor takes the largest
// one, so that silence stays silent instead of becoming NaN (0 x inf); a NaN gain leaves
// the channel unchanged.
float gain_factor(float db) {
    if (db == 0.0f || std::isnan(db)) return 1.0f;
    const double f = std::pow(10.0, double(db) * double(0.05f));
    return f > double(FLT_MAX) ? FLT_MAX : float(f);
}

struct GainPriv {
    uint32_t channels;
    float *gains;    // dB
    float *factors;  // linear
    uint32_t samples;
    AudioFrame out;
    GainKernel kernel;
};

void gain_destroy(AudioFilter *node) {
    GainPriv *p = static_cast<GainPriv *>(node->priv_data);
    if (!p) return;
    free_audio_frame(&p->out);
    free(p->gains);
    free(p->factors);
    free(p);
    node->priv_data = nullptr;
}

void gain_process(AudioFilter *node) {
    GainPriv *p = static_cast<GainPriv *>(node->priv_data);
    if (!p) throw_process_error("Invalid intern data");
    if (!node->inputs || !node->inputs[0]) throw_process_error("Invalid inputs");
    if (node->input_count != 1) throw_process_error("Invalid input count");
    const AudioFrame *in = node->inputs[0];
    if (in->format != AudioSampleFormat_F32LE) throw_process_error("Invalid input format");
    if (in->channels > 1 && !in->planar) throw_process_error("Invalid packed");
    if (in->channels != p->channels) throw_process_error("Inconsistent channels count");
    const uint32_t n = in->nb_samples;
    if (n > p->out.capacity) throw_process_error("Invalid samples count in");

    for (uint32_t c = 0; c < p->channels; c++) {
        if (in->channel_states[c] & AudioChannelState_Silent) {
            reset_audio_frame_plane(&p->out, c);
            memset(p->out.planes[c], 0, sizeof(float) * n);
        } else if (p->gains[c] != 0.0f) {
            reset_audio_frame_plane(&p->out, c);
            p->kernel(reinterpret_cast<float *>(p->out.planes[c]), reinterpret_cast<const float *>(in->planes[c]),
                      p->factors[c], n);
        } else {
            p->out.planes[c] = in->planes[c];
        }
        p->out.channel_masks[c] = in->channel_masks[c];
        p->out.channel_states[c] = in->channel_states[c];
    }
    p->out.nb_samples = n;
}

}  // namespace

AudioFilter *create_audio_filter_gain(const AudioFilterGainParams &prm) {
    AudioFilter *node = new_audio_filter(AudioFilterType_Gain, 1);
    try {
        GainPriv *p = static_cast<GainPriv *>(calloc(1, sizeof(GainPriv)));
        if (!p) throw_alloc_error();
        node->priv_data = p;
        node->destroy = gain_destroy;
        init_audio_frame(&p->out);
        p->channels = prm.channels;
        p->samples = prm.samples;
        p->gains = static_cast<float *>(calloc(prm.channels ? prm.channels : 1, sizeof(float)));
        p->factors = static_cast<float *>(calloc(prm.channels ? prm.channels : 1, sizeof(float)));
        if (!p->gains || !p->factors) throw_alloc_error();
        for (uint32_t c = 0; c < prm.channels; c++) {
            const float g = prm.gains ? prm.gains[c] : 0.0f;
            p->gains[c] = g;
            p->factors[c] = gain_factor(g);
        }
        p->kernel = prm.clamp ? gain_clamped : gain_plain;
        alloc_audio_frame(&p->out, AudioSampleFormat_F32LE, prm.channels, prm.frequency, 1, prm.samples);
        node->output = &p->out;
        node->process = gain_process;
    } catch (...) {
        free_audio_filter(node);
        throw;
    }
    return node;
}
