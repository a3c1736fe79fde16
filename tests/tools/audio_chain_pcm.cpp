// Runs WAV files through the audio chain of one output (per-file conversion to planar
// float at the output rate, channel mapping, gain, output conversion) and writes raw
// interleaved PCM.
//   audio_chain_pcm [-rate HZ] [-format N] [-channels N] [-gain DB] [-masks M,M,...]
//                   [-dual] -o OUT [-o2 OUT2] IN.wav...
// -format is an AudioSampleFormat number (default 1, s16le); -channels the output
// channels (default: the sum of the inputs'); -masks one mapping mask per input channel
// (default: channel k feeds output k); -dual splits four channels into two stereo files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/audio/audio_demuxer.h"
#include "pipeline/audio/audio_filter.h"
#include "pipeline/audio/wav_reader.h"
#include "platform/core/errors.h"

namespace {

struct Source {
    AudioDemuxer *demuxer = nullptr;
    AudioFrame frame;
    AudioFilter *convert = nullptr;
};

void write_frame(FILE *f, const AudioFrame *fr) {
    const size_t bytes = size_t(fr->nb_samples) * fr->channels * fr->bytes_per_sample;
    if (bytes && fwrite(fr->planes[0], 1, bytes, f) != bytes) throw_process_error("Error file write");
}

int run(int argc, char **argv) {
    uint32_t rate = 48000, format = 1, out_channels = 0;
    float gain = 0;
    bool dual = false;
    std::vector<uint64_t> masks;
    std::string out, out2;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "-rate" && has_value) {
            rate = uint32_t(strtoul(argv[++i], nullptr, 10));
        } else if (a == "-format" && has_value) {
            format = uint32_t(strtoul(argv[++i], nullptr, 10));
        } else if (a == "-channels" && has_value) {
            out_channels = uint32_t(strtoul(argv[++i], nullptr, 10));
        } else if (a == "-gain" && has_value) {
            gain = strtof(argv[++i], nullptr);
        } else if (a == "-masks" && has_value) {
            for (char *p = argv[++i]; *p;) {
                masks.push_back(strtoull(p, &p, 0));
                if (*p == ',') p++;
            }
        } else if (a == "-dual") {
            dual = true;
        } else if (a == "-o" && has_value) {
            out = argv[++i];
        } else if (a == "-o2" && has_value) {
            out2 = argv[++i];
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty() || out.empty() || (dual && out2.empty())) {
        fprintf(stderr, "usage: audio_chain_pcm [options] -o OUT [-o2 OUT2] IN.wav...\n");
        return 1;
    }

    std::vector<Source> sources(inputs.size());
    ArrayAudioFilter pool;
    init_audio_filter_pool(&pool, uint32_t(inputs.size()) + 3);
    uint32_t in_channels = 0;
    for (size_t i = 0; i < inputs.size(); i++) {
        Source &s = sources[i];
        init_audio_frame(&s.frame);
        AudioWavSourceParams wp;
        wp.path = inputs[i].c_str();
        s.demuxer = create_audio_demuxer_wav(wp, 1);
        WavReader r;
        wav_reader_init(&r);
        wav_reader_open(&r, wp.path);
        const AudioSampleFormat f = wav_reader_get_format(&r);
        const uint32_t ch = r.channels, in_rate = r.sample_rate;
        wav_reader_free(&r);
        alloc_audio_frame(&s.frame, f, ch, in_rate, 0, in_rate);
        s.convert = create_audio_filter_convert({1, ch, f, 0, in_rate, AudioSampleFormat_F32LE, 1, rate, 0});
        audio_filter_pool_add(&pool, s.convert);
        in_channels += ch;
    }
    if (!out_channels) out_channels = in_channels;
    if (masks.empty())
        for (uint32_t k = 0; k < in_channels; k++) masks.push_back(uint64_t(1) << k);
    if (masks.size() != in_channels) {
        fprintf(stderr, "need %u masks\n", in_channels);
        return 1;
    }
    AudioFilter *mapping =
        create_audio_filter_mapping({rate, rate, uint32_t(inputs.size()), in_channels, out_channels, masks.data()});
    audio_filter_pool_add(&pool, mapping);
    std::vector<float> gains(out_channels, gain);
    AudioFilter *gain_node = create_audio_filter_gain({rate, rate, out_channels, gains.data(), 1});
    audio_filter_pool_add(&pool, gain_node);
    AudioFilter *output = create_audio_filter_convert(
        {1, out_channels, AudioSampleFormat_F32LE, 1, rate, AudioSampleFormat(format), 0, rate, uint8_t(dual)});
    audio_filter_pool_add(&pool, output);

    FILE *f1 = fopen(out.c_str(), "wb");
    FILE *f2 = dual ? fopen(out2.c_str(), "wb") : nullptr;
    if (!f1 || (dual && !f2)) throw_process_error("Can't open output");
    for (;;) {
        bool any = false;
        for (size_t i = 0; i < sources.size(); i++) {
            audio_demuxer_read(sources[i].demuxer, &sources[i].frame, 0);
            any = any || sources[i].frame.nb_samples > 0;
            sources[i].convert->inputs[0] = &sources[i].frame;
            audio_filter_process(sources[i].convert);
            mapping->inputs[i] = sources[i].convert->output;
        }
        if (!any) break;
        audio_filter_process(mapping);
        gain_node->inputs[0] = mapping->output;
        audio_filter_process(gain_node);
        output->inputs[0] = gain_node->output;
        audio_filter_process(output);
        write_frame(f1, output->output);
        if (dual) write_frame(f2, output->output2);
    }
    fclose(f1);
    if (f2) fclose(f2);
    free_audio_filter_pool(&pool);
    for (Source &s : sources) {
        free_audio_demuxer(s.demuxer);
        free_audio_frame(&s.frame);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        fprintf(stderr, "audio_chain_pcm: %s\n", e.what());
        return 2;
    }
}
