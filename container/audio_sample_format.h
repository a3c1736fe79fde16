#pragma once
// PCM encodings of audio samples, as sources deliver them and writers receive them.
#include <cstdint>

// In each pair the little-endian form comes first. The value indexes per-format tables,
// so the numbers are fixed.
enum AudioSampleFormat : uint32_t {
    AudioSampleFormat_U8 = 0,  // unsigned, offset 128 (silence is byte 128)
    AudioSampleFormat_S16LE = 1,
    AudioSampleFormat_S16BE = 2,
    AudioSampleFormat_S24LE = 3,  // packed in 3 bytes
    AudioSampleFormat_S24BE = 4,
    AudioSampleFormat_S32LE = 5,
    AudioSampleFormat_S32BE = 6,
    AudioSampleFormat_F32LE = 7,  // native float, the working format of the filter nodes
    AudioSampleFormat_F32BE = 8,
    AudioSampleFormat_F64LE = 9,
    AudioSampleFormat_F64BE = 10,
    AudioSampleFormat_Unsupported = 11,  // no usable format; never valid in a frame
};
