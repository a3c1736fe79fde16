#include "pipeline/audio/pcm_convert.h"

#include <samplerate.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core/errors.h"

namespace {

// ---- one sample, stored <-> float ----

template <typename T>
T load_raw(const uint8_t *p) {
    T v;
    memcpy(&v, p, sizeof(T));
    return v;
}

template <typename T>
void store_raw(uint8_t *p, T v) {
    memcpy(p, &v, sizeof(T));
}

uint16_t swap(uint16_t v) { return __builtin_bswap16(v); }
uint32_t swap(uint32_t v) { return __builtin_bswap32(v); }
uint64_t swap(uint64_t v) { return __builtin_bswap64(v); }

// Clamp to -1..1; NaN becomes 0 so a hostile float stream cannot carry it further.
float clamp_unit(float v) {
    if (v > 1.0f) return 1.0f;
    if (v >= -1.0f) return v;
    return v < -1.0f ? -1.0f : 0.0f;
}

// Nearest integer, halves away from zero, in single precision.
float nearest(float v) { return std::trunc(v + std::copysign(0.49999997f, v)); }

template <AudioSampleFormat F>
float load(const uint8_t *p);

template <>
float load<AudioSampleFormat_U8>(const uint8_t *p) {
    return (float(p[0]) - 128.0f) * 0.0078125f;
}
template <>
float load<AudioSampleFormat_S16LE>(const uint8_t *p) {
    return float(int16_t(load_raw<uint16_t>(p))) * (1.0f / 32768.0f);
}
template <>
float load<AudioSampleFormat_S16BE>(const uint8_t *p) {
    return float(int16_t(swap(load_raw<uint16_t>(p)))) * (1.0f / 32768.0f);
}
constexpr float kS24Scale = 4.6566134e-10f;  // one ulp above 2^-31
template <>
float load<AudioSampleFormat_S24LE>(const uint8_t *p) {
    const uint32_t u = uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24;
    return float(int32_t(u)) * kS24Scale;
}
template <>
float load<AudioSampleFormat_S24BE>(const uint8_t *p) {
    const uint32_t u = uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
    return float(int32_t(u)) * kS24Scale;
}
template <>
float load<AudioSampleFormat_S32LE>(const uint8_t *p) {
    return float(int32_t(load_raw<uint32_t>(p))) * (1.0f / 2147483648.0f);
}
template <>
float load<AudioSampleFormat_S32BE>(const uint8_t *p) {
    return float(int32_t(swap(load_raw<uint32_t>(p)))) * (1.0f / 2147483648.0f);
}
template <>
float load<AudioSampleFormat_F32LE>(const uint8_t *p) {
    return clamp_unit(load_raw<float>(p));
}
template <>
float load<AudioSampleFormat_F32BE>(const uint8_t *p) {
    const uint32_t u = swap(load_raw<uint32_t>(p));
    float v;
    memcpy(&v, &u, 4);
    return clamp_unit(v);
}
template <>
float load<AudioSampleFormat_F64LE>(const uint8_t *p) {
    return clamp_unit(float(load_raw<double>(p)));
}
template <>
float load<AudioSampleFormat_F64BE>(const uint8_t *p) {
    const uint64_t u = swap(load_raw<uint64_t>(p));
    double v;
    memcpy(&v, &u, 8);
    return clamp_unit(float(v));
}

// Float to a clamped integer; lo/hi are the stored range. NaN is handled by the callers.
int32_t to_int(float v, float lo, float hi) {
    if (v <= lo) return int32_t(lo);
    if (v >= hi) return int32_t(hi);
    return int32_t(nearest(v));
}

int32_t to_s16(float f) { return to_int(f * 32767.0f, -32768.0f, 32767.0f); }
int32_t to_s24(float f) { return std::isnan(f) ? -8388608 : to_int(f * 8388607.0f, -8388608.0f, 8388607.0f); }
int32_t to_s32(float f) {
    if (std::isnan(f) || f < -1.0f) return INT32_MIN;
    const int64_t v = int64_t(nearest((f < 1.0f ? f : 1.0f) * 2147483648.0f));
    return v > INT32_MAX ? INT32_MAX : int32_t(v);
}

template <AudioSampleFormat F>
void store(uint8_t *p, float f);

template <>
void store<AudioSampleFormat_U8>(uint8_t *p, float f) {
    p[0] = std::isnan(f) ? 0 : uint8_t(to_int(f * 127.0f + 127.0f, 0.0f, 255.0f));
}
template <>
void store<AudioSampleFormat_S16LE>(uint8_t *p, float f) {
    store_raw(p, uint16_t(std::isnan(f) ? 0 : to_s16(f)));
}
template <>
void store<AudioSampleFormat_S16BE>(uint8_t *p, float f) {
    store_raw(p, swap(uint16_t(std::isnan(f) ? -32768 : to_s16(f))));
}
template <>
void store<AudioSampleFormat_S24LE>(uint8_t *p, float f) {
    const uint32_t v = uint32_t(to_s24(f));
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}
template <>
void store<AudioSampleFormat_S24BE>(uint8_t *p, float f) {
    const uint32_t v = uint32_t(to_s24(f));
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}
template <>
void store<AudioSampleFormat_S32LE>(uint8_t *p, float f) {
    store_raw(p, uint32_t(to_s32(f)));
}
template <>
void store<AudioSampleFormat_S32BE>(uint8_t *p, float f) {
    store_raw(p, swap(uint32_t(to_s32(f))));
}
template <>
void store<AudioSampleFormat_F32LE>(uint8_t *p, float f) {
    store_raw(p, f);
}
template <>
void store<AudioSampleFormat_F32BE>(uint8_t *p, float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    store_raw(p, swap(u));
}
template <>
void store<AudioSampleFormat_F64LE>(uint8_t *p, float f) {
    store_raw(p, double(f));
}
template <>
void store<AudioSampleFormat_F64BE>(uint8_t *p, float f) {
    const double d = f;
    uint64_t u;
    memcpy(&u, &d, 8);
    store_raw(p, swap(u));
}

constexpr uint32_t kBytes[11] = {1, 2, 2, 3, 3, 4, 4, 4, 4, 8, 8};

// ---- input kernels ----

template <AudioSampleFormat F>
void in_plane(float *const *dst, const uint8_t *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    float *d = dst[0];
    for (uint64_t i = 0; i < n; i++) d[i] = load<F>(src + i * B);
}

template <AudioSampleFormat F>
void in_plane_pairs(float *const *dst, const uint8_t *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    float *d = dst[0];
    for (uint64_t i = 0; i < n; i++) d[i] = (load<F>(src + 2 * i * B) + load<F>(src + (2 * i + 1) * B)) * 0.5f;
}

template <AudioSampleFormat F>
void in_stereo(float *const *dst, const uint8_t *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    float *l = dst[0], *r = dst[1];
    for (uint64_t i = 0; i < n; i++) {
        l[i] = load<F>(src + 2 * i * B);
        r[i] = load<F>(src + (2 * i + 1) * B);
    }
}

// Four interleaved channels: left from 1 and 3, right from 2 and 4.
template <AudioSampleFormat F>
void in_stereo_pairs(float *const *dst, const uint8_t *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    float *l = dst[0], *r = dst[1];
    for (uint64_t i = 0; i < n; i++) {
        const uint8_t *s = src + 4 * i * B;
        l[i] = (load<F>(s) + load<F>(s + 2 * B)) * 0.5f;
        r[i] = (load<F>(s + B) + load<F>(s + 3 * B)) * 0.5f;
    }
}

template <AudioSampleFormat F>
void in_multi(const AudioInputConverter *conv, float *const *dst, const uint8_t *const *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    const uint32_t ch = conv->channels;
    const uint8_t *s = src[0];
    for (uint64_t i = 0; i < n; i++)
        for (uint32_t c = 0; c < ch; c++, s += B) dst[c][i] = load<F>(s);
}

template <AudioSampleFormat F>
void in_multi_pairs(const AudioInputConverter *conv, float *const *dst, const uint8_t *const *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    const uint32_t ch = conv->channels;
    const uint8_t *s = src[0];
    for (uint64_t i = 0; i < n; i++)
        for (uint32_t c = 0; c < ch; c++, s += 2 * B) dst[c][i] = (load<F>(s) + load<F>(s + B)) * 0.5f;
}

void in_routine_planes(const AudioInputConverter *conv, float *const *dst, const uint8_t *const *src, uint64_t n) {
    for (uint32_t c = 0; c < conv->channels; c++) conv->kernel_plane(&dst[c], src[c], n);
}

void in_routine_stereo(const AudioInputConverter *conv, float *const *dst, const uint8_t *const *src, uint64_t n) {
    conv->kernel_stereo(dst, src[0], n);
}

struct InputKernels {
    AudioInputKernel plane, plane_pairs, stereo, stereo_pairs;
    AudioInputRoutine multi, multi_pairs;
};

template <AudioSampleFormat F>
constexpr InputKernels input_kernels() {
    return {in_plane<F>, in_plane_pairs<F>, in_stereo<F>, in_stereo_pairs<F>, in_multi<F>, in_multi_pairs<F>};
}

const InputKernels kInputKernels[11] = {
    input_kernels<AudioSampleFormat_U8>(),    input_kernels<AudioSampleFormat_S16LE>(),
    input_kernels<AudioSampleFormat_S16BE>(), input_kernels<AudioSampleFormat_S24LE>(),
    input_kernels<AudioSampleFormat_S24BE>(), input_kernels<AudioSampleFormat_S32LE>(),
    input_kernels<AudioSampleFormat_S32BE>(), input_kernels<AudioSampleFormat_F32LE>(),
    input_kernels<AudioSampleFormat_F32BE>(), input_kernels<AudioSampleFormat_F64LE>(),
    input_kernels<AudioSampleFormat_F64BE>(),
};

// ---- output kernels ----

template <AudioSampleFormat F>
void out_plane(uint8_t *dst, const float *const *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    const float *s = src[0];
    for (uint64_t i = 0; i < n; i++) store<F>(dst + i * B, s[i]);
}

template <AudioSampleFormat F>
void out_stereo(uint8_t *dst, const float *const *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    const float *l = src[0], *r = src[1];
    for (uint64_t i = 0; i < n; i++) {
        store<F>(dst + 2 * i * B, l[i]);
        store<F>(dst + (2 * i + 1) * B, r[i]);
    }
}

template <AudioSampleFormat F>
void out_multi(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src, uint64_t n) {
    constexpr uint32_t B = kBytes[F];
    const uint32_t ch = conv->channels;
    uint8_t *d = dst[0];
    for (uint64_t i = 0; i < n; i++)
        for (uint32_t c = 0; c < ch; c++, d += B) store<F>(d, src[c][i]);
}

void out_routine_planes(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src, uint64_t n) {
    for (uint32_t c = 0; c < conv->channels; c++) conv->kernel_plane(dst[c], &src[c], n);
}

void out_routine_stereo(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src, uint64_t n) {
    conv->kernel_stereo(dst[0], src, n);
}

struct OutputKernels {
    AudioOutputKernel plane, stereo;
    AudioOutputRoutine multi;
};

template <AudioSampleFormat F>
constexpr OutputKernels output_kernels() {
    return {out_plane<F>, out_stereo<F>, out_multi<F>};
}

const OutputKernels kOutputKernels[11] = {
    output_kernels<AudioSampleFormat_U8>(),    output_kernels<AudioSampleFormat_S16LE>(),
    output_kernels<AudioSampleFormat_S16BE>(), output_kernels<AudioSampleFormat_S24LE>(),
    output_kernels<AudioSampleFormat_S24BE>(), output_kernels<AudioSampleFormat_S32LE>(),
    output_kernels<AudioSampleFormat_S32BE>(), output_kernels<AudioSampleFormat_F32LE>(),
    output_kernels<AudioSampleFormat_F32BE>(), output_kernels<AudioSampleFormat_F64LE>(),
    output_kernels<AudioSampleFormat_F64BE>(),
};

}  // namespace

// ---- resampling stream ----

// Samples the resampler has made but not yet given out come first in the next block.
// `carry` starts with the lead of silence that covers the filter's look-ahead.
struct AudioResampleStream {
    std::vector<SRC_STATE *> states;
    std::vector<std::vector<float>> carry;
    std::vector<size_t> head;  // first unread sample of carry[c]

    ~AudioResampleStream() {
        for (SRC_STATE *s : states)
            if (s) src_delete(s);
    }
};

namespace {

[[noreturn]] void throw_src_error(int err) {
    printf("Sample rate error : %s\n", src_strerror(err));
    throw_process_error("Frequency conversion error");
}

// The best sinc filter looks about 144 input samples ahead at or above the input rate,
// which is 144 x ratio output samples when upsampling and 144 when downsampling.
uint64_t resample_lead(double ratio) { return uint64_t(std::ceil(148.0 * (ratio > 1.0 ? ratio : 1.0))); }

// nearest(samples x out / in), halves up, without rounding error or overflow.
uint64_t nearest_scaled(uint64_t samples, uint32_t out, uint32_t in) {
    const unsigned __int128 num = (unsigned __int128)samples * out * 2 + in;
    return uint64_t(num / ((unsigned __int128)in * 2));
}

// Feeds n samples of channel c and writes `want` samples into dst.
void resample_channel(AudioInputConverter *conv, uint32_t c, const float *in, uint64_t n, float *dst, uint64_t want) {
    AudioResampleStream *st = conv->stream;
    std::vector<float> &carry = st->carry[c];
    size_t &head = st->head[c];

    uint64_t o = carry.size() - head;
    if (o > want) o = want;
    memcpy(dst, carry.data() + head, o * sizeof(float));
    head += o;
    if (head == carry.size()) {
        carry.clear();
        head = 0;
    }

    uint64_t used = 0;
    if (o < want) {
        SRC_DATA d{};
        d.data_in = in;
        d.input_frames = long(n);
        d.data_out = dst + o;
        d.output_frames = long(want - o);
        d.src_ratio = conv->ratio;
        d.end_of_input = 0;
        if (int err = src_process(st->states[c], &d)) throw_src_error(err);
        used = uint64_t(d.input_frames_used);
        o += uint64_t(d.output_frames_gen);
    }
    // What the block makes beyond `want` waits in carry.
    while (used < n) {
        if (head) {
            carry.erase(carry.begin(), carry.begin() + long(head));
            head = 0;
        }
        const size_t old = carry.size();
        const size_t room = size_t(std::ceil(double(n - used) * conv->ratio)) + 64;
        carry.resize(old + room);
        SRC_DATA d{};
        d.data_in = in + used;
        d.input_frames = long(n - used);
        d.data_out = carry.data() + old;
        d.output_frames = long(room);
        d.src_ratio = conv->ratio;
        d.end_of_input = 0;
        if (int err = src_process(st->states[c], &d)) throw_src_error(err);
        carry.resize(old + size_t(d.output_frames_gen));
        if (d.input_frames_used == 0 && d.output_frames_gen == 0) {
            printf("Warning : not all input samples used for frequency conv (Expected %u ; found %ld)\n", unsigned(n),
                   long(used));
            break;
        }
        used += uint64_t(d.input_frames_used);
    }
    // Never expected once the lead covers the look-ahead: the block ends in silence.
    if (o < want) memset(dst + o, 0, (want - o) * sizeof(float));
}

}  // namespace

void fill_pcm_silence(void *buffer, AudioSampleFormat format, uint64_t samples, uint32_t channels) {
    if (format > 10) throw_process_error("Unknown audio descriptor");
    if (format == AudioSampleFormat_U8)
        memset(buffer, 128, samples * channels);
    else
        memset(buffer, 0, samples * channels * kBytes[format]);
}

void reset_audio_input_converter(AudioInputConverter *conv) {
    memset(conv, 0, sizeof(*conv));
    conv->format = AudioSampleFormat_S16LE;
    conv->ratio = 1.0;
    conv->read_mode = AudioReadMode_Plain;
}

void select_audio_input_kernels(AudioInputConverter *conv, uint32_t read_mode) {
    if (read_mode != AudioReadMode_Plain && read_mode != AudioReadMode_PairAverage)
        throw_process_error("Coeff read not supported");
    const bool pairs = read_mode == AudioReadMode_PairAverage;
    const uint32_t f = conv->format;
    if (!conv->planar && conv->channels == 2) {
        if (f > 10) throw_process_error("Unsupported pcm codec stereo");
        conv->kernel_stereo = pairs ? kInputKernels[f].stereo_pairs : kInputKernels[f].stereo;
        conv->routine = in_routine_stereo;
    } else if (!conv->planar && conv->channels > 2) {
        if (f > 10) throw_process_error("Unsupported pcm codec multi channels");
        conv->routine = pairs ? kInputKernels[f].multi_pairs : kInputKernels[f].multi;
    } else {
        if (f > 10) throw_process_error("Unsupported pcm codec mono");
        conv->kernel_plane = pairs ? kInputKernels[f].plane_pairs : kInputKernels[f].plane;
        conv->routine = in_routine_planes;
    }
    conv->read_mode = read_mode;
    conv->in_channels = pairs ? conv->channels * 2 : conv->channels;
}

void reserve_audio_input_buffers(AudioInputConverter *conv, uint64_t samples) {
    if (!conv->buffers) {
        conv->buffers = static_cast<float **>(calloc(conv->channels ? conv->channels : 1, sizeof(float *)));
        if (!conv->buffers) throw_alloc_error();
    }
    if (conv->buffer_capacity >= samples) return;
    for (uint32_t c = 0; c < conv->channels; c++) {
        free(conv->buffers[c]);
        conv->buffers[c] = nullptr;
    }
    conv->buffer_capacity = 0;
    for (uint32_t c = 0; c < conv->channels; c++) {
        conv->buffers[c] = static_cast<float *>(malloc(samples * sizeof(float)));
        if (!conv->buffers[c]) throw_alloc_error();
    }
    conv->buffer_capacity = samples;
}

void init_audio_input_converter(AudioInputConverter *conv, const AudioDescriptor *in, uint64_t skip_mask,
                                uint32_t out_frequency, uint32_t read_mode, uint32_t seconds) {
    if (!in->channels || !seconds || !read_mode || !out_frequency || !in->frequency) {
        printf("ERR : Channels : %u ; Freq : %u ; Freq Out ; %u ; Coeff Read : %d, Initial sec intern : %u\n",
               in->channels, in->frequency, out_frequency, int(read_mode), seconds);
        throw_process_error("Zero value audio process p f");
    }
    conv->skip_mask = skip_mask;
    conv->channels = in->channels;
    conv->format = in->format;
    conv->planar = in->planar || in->channels == 1;
    conv->in_frequency = in->frequency;
    conv->out_frequency = out_frequency;
    conv->resample = in->frequency != out_frequency;
    conv->ratio = conv->resample ? double(out_frequency) / double(in->frequency) : 1.0;
    select_audio_input_kernels(conv, read_mode);
    if (!conv->resample) return;

    if (!src_is_valid_ratio(conv->ratio)) {
        printf("Sample rate error : %s\n", "SRC ratio outside [1/256, 256] range.");
        throw_process_error("Frequency conversion error");
    }
    AudioResampleStream *st = new AudioResampleStream;
    conv->stream = st;
    st->states.assign(conv->channels, nullptr);
    st->carry.resize(conv->channels);
    st->head.assign(conv->channels, 0);
    const uint64_t lead = resample_lead(conv->ratio);
    for (uint32_t c = 0; c < conv->channels; c++) {
        int err = 0;
        st->states[c] = src_new(SRC_SINC_BEST_QUALITY, 1, &err);
        if (!st->states[c]) throw_src_error(err);
        st->carry[c].assign(lead, 0.0f);
    }
    reserve_audio_input_buffers(conv, uint64_t(seconds) * in->frequency);
}

uint64_t run_audio_input_converter_samples(AudioInputConverter *conv, float *const *dst, const uint8_t *const *src,
                                           uint64_t samples, uint64_t room) {
    if (!conv || !conv->routine) throw_process_error("Invalid params\n");
    if (!conv->resample) {
        if (samples > room) samples = room;
        conv->routine(conv, dst, src, samples);
        return samples;
    }
    reserve_audio_input_buffers(conv, samples);
    conv->routine(conv, conv->buffers, src, samples);
    const uint64_t total = nearest_scaled(conv->total_in + samples, conv->out_frequency, conv->in_frequency);
    const uint64_t want = total - conv->total_out < room ? total - conv->total_out : room;
    for (uint32_t c = 0; c < conv->channels; c++) {
        if (c < 64 && (conv->skip_mask >> c) & 1) continue;
        resample_channel(conv, c, conv->buffers[c], samples, dst[c], want);
    }
    conv->total_in += samples;
    conv->total_out += want;
    return want;
}

void run_audio_input_converter(AudioInputConverter *conv, float *const *dst, const uint8_t *const *src,
                               uint32_t seconds) {
    if (seconds == 0) throw_process_error("Invalid sec duration audio process");
    if (!conv) throw_process_error("Invalid params\n");
    run_audio_input_converter_samples(conv, dst, src, uint64_t(seconds) * conv->in_frequency,
                                      uint64_t(seconds) * conv->out_frequency);
}

void free_audio_input_converter(AudioInputConverter *conv) {
    if (!conv) return;
    if (conv->buffers) {
        for (uint32_t c = 0; c < conv->channels; c++) free(conv->buffers[c]);
        free(conv->buffers);
    }
    conv->buffers = nullptr;
    conv->buffer_capacity = 0;
    delete conv->stream;
    conv->stream = nullptr;
}

void init_audio_output_converter(AudioOutputConverter *conv, const AudioDescriptor *out) {
    if (!out->channels || !out->frequency) throw_process_error("invalid dest audio params");
    conv->channels = out->channels;
    conv->format = out->format;
    conv->planar = out->planar || out->channels == 1;
    conv->frequency = out->frequency;
    conv->kernel_plane = nullptr;
    conv->kernel_stereo = nullptr;
    const uint32_t f = out->format;
    if (conv->planar) {
        if (f > 10) throw_process_error("Unsupported pcm codec p");
        conv->kernel_plane = kOutputKernels[f].plane;
        conv->routine = out_routine_planes;
    } else if (out->channels == 2) {
        if (f > 10) throw_process_error("Unsupported pcm codec p");
        conv->kernel_stereo = kOutputKernels[f].stereo;
        conv->routine = out_routine_stereo;
    } else {
        if (f > 10) throw_process_error("Unsupported pcm codec gen");
        conv->routine = kOutputKernels[f].multi;
    }
}

void run_audio_output_converter(const AudioOutputConverter *conv, uint8_t *const *dst, const float *const *src,
                                uint64_t samples) {
    conv->routine(conv, dst, src, samples);
}
