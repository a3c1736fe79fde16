#pragma once
// One fuzz input for the Notch LC decode node. Shared by the libFuzzer harness and the
// replay test.
//
// Input: flags, then
//   flags bit 0 clear: a payload, which gets compressed and wrapped in a sample here, so
//     that the fuzzer reaches the decoding phases; the node's size is the payload's own
//     (each side up to 256);
//   flags bit 0 set: width - 1, height - 1, then the whole sample as stored.
//   bits 1-3: output layout; bit 4: slices over the cores.
#include <lz4.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "container/mov/notchlc_decode.h"
#include "media/video_filter.h"
#include "media/video_frame.h"
#include "platform/core/errors.h"

namespace fuzz_target {

inline void run_notchlc(const uint8_t *data, size_t size) {
    if (size < 1) return;
    const uint8_t flags = data[0];
    data++, size--;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> sample;
    if (flags & 1) {
        if (size < 2) return;
        width = uint32_t(data[0]) + 1;
        height = uint32_t(data[1]) + 1;
        sample.assign(data + 2, data + size);
    } else {
        if (size < 8 || size > (1u << 20)) return;
        auto le32 = [&](size_t at) {
            return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
                   uint32_t(data[at + 3]) << 24;
        };
        width = le32(0);
        height = le32(4);
        if (width == 0 || height == 0 || width > 256 || height > 256) return;
        std::vector<uint8_t> z(static_cast<size_t>(LZ4_compressBound(int(size))));
        const int n = LZ4_compress_default(reinterpret_cast<const char *>(data), reinterpret_cast<char *>(z.data()),
                                           int(size), int(z.size()));
        if (n <= 0) return;
        sample = {0x31, 0x43, 0x4C, 0x4E};
        for (uint32_t v : {uint32_t(size), uint32_t(n), 1u})
            for (int s = 0; s < 32; s += 8) sample.push_back(uint8_t(v >> s));
        sample.insert(sample.end(), z.begin(), z.begin() + n);
    }
    if (sample.size() > UINT32_MAX) return;
    static const PixFmt formats[8] = {PixFmt_RGBA8,     PixFmt_RGBX8,      PixFmt_RGBA16, PixFmt_RGBX16,
                                      PixFmt_YUV444_12, PixFmt_YUVA444_12, PixFmt_RGBA8,  PixFmt_YUVA444_12};
    const NotchLcDecodeParams params{formats[(flags >> 1) & 7], width, height, uint8_t((flags >> 4) & 1)};
    VideoFilter *filter = nullptr;
    VideoFrame in;
    video_frame_init(&in);
    try {
        filter = create_filter_notchlc_decode(&params);
        // An exactly sized sample: any read past it is caught.
        video_frame_set_compressed_data(&in, sample.empty() ? nullptr : sample.data(), uint32_t(sample.size()),
                                        VideoFrameNotchLcData);
        filter->inputs[0] = &in;
        filter->process(filter);
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
    video_filter_free(filter);
}

}  // namespace fuzz_target
