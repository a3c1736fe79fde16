#pragma once
// One fuzz input for the HAP frame parser and the texture unpacking: the header walk,
// every texture's decode into a buffer of a chosen size, then the HAP decode node and the
// texture decode node over the frame. Shared by the libFuzzer harness and the replay test.
//
// Input: flags, width - 1, height - 1, then the HAP frame.
//   flags bit 0: chunks on the global queue; bits 1-2: texture choice of the decode node;
//   bit 3: RGBX output; bit 4: float YCoCg conversion; bits 5-7: capacity of the direct decode.
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "container/hap/hap.h"
#include "container/hap/hap_frame.h"
#include "container/texdec/dxt_decode_filter.h"
#include "media/video_filter.h"
#include "media/video_frame.h"
#include "platform/core/errors.h"

namespace fuzz_target {

struct FilterHolder {
    VideoFilter *f = nullptr;
    ~FilterHolder() { video_filter_free(f); }
};

inline void run_hap_frame(const uint8_t *data, size_t size) {
    if (size < 3 || size - 3 > UINT32_MAX) return;
    const uint8_t flags = data[0];
    const uint32_t width = uint32_t(data[1]) + 1, height = uint32_t(data[2]) + 1;
    // An exactly sized copy: any read past the frame is caught.
    std::vector<uint8_t> bytes(data + 3, data + size);
    const uint32_t length = uint32_t(bytes.size());
    uint8_t *frame_bytes = bytes.empty() ? nullptr : bytes.data();

    // The header functions and the direct decode of each texture.
    uint32_t count = 0;
    if (hap_get_texture_count(frame_bytes, length, &count) == HapResult_No_Error) {
        for (uint32_t i = 0; i < count && i < 2; ++i) {
            HapTextureFormat format = 0;
            uint32_t chunks = 0, section_length = 0, type = 0;
            const void *content = nullptr;
            (void)hap_get_texture_format(frame_bytes, length, i, &format);
            (void)hap_get_chunk_count(frame_bytes, length, i, &chunks);
            (void)hap_get_section(frame_bytes, length, i, &content, &section_length, &type);
            // Capacities around a texture of this size: short, exact, roomy.
            const uint64_t blocks = uint64_t((width + 3) / 4) * ((height + 3) / 4);
            const uint64_t capacities[8] = {
                0, 1, 8 * blocks - 1, 8 * blocks, 16 * blocks - 1, 16 * blocks, 16 * blocks + 64, 4096};
            std::vector<uint8_t> out(capacities[flags >> 5]);
            uint64_t used = 0;
            HapTextureFormat out_format = 0;
            uint8_t dummy = 0;
            (void)hap_decode(frame_bytes, length, i, hap_chunk_work_serial, nullptr, out.empty() ? &dummy : out.data(),
                             out.size(), &used, &out_format);
        }
    }

    // The nodes, as the pipeline runs them.
    HapFrame frame;
    hap_frame_init(&frame);
    try {
        hap_frame_set_data(&frame, width, height, frame_bytes, length);
    } catch (const ProcessError &) { return; }
    const HapCodec codec = frame.codec;
    const uint32_t choice = (flags >> 1) & 3;
    try {
        FilterHolder dec, pix;
        dec.f = create_filter_hap_frame_decode({codec, width, height, choice, uint8_t(flags & 1)});
        VideoFrame in;
        video_frame_init(&in);
        video_frame_set_compressed_data(&in, frame_bytes, length, VideoFrameHapData);
        dec.f->inputs[0] = &in;
        dec.f->process(dec.f);
        HapCodec tex_codec = codec;
        if (codec == HapCodec_HAPQA && choice == 1) tex_codec = HapCodec_HAPQ;
        if (codec == HapCodec_HAPQA && choice >= 2) tex_codec = HapCodec_HAPAlphaOnly;
        const PixFmt pix_fmt = (flags & 8) ? PixFmt_RGBX8 : PixFmt_RGBA8;
        pix.f = create_filter_dxt_decode({tex_codec, width, height, 0, pix_fmt, uint8_t((flags >> 4) & 1)});
        pix.f->inputs[0] = dec.f->output;
        pix.f->process(pix.f);
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
}

}  // namespace fuzz_target
