#pragma once
// HAP frame format: pack block-compressed textures into one HAP frame (stored,
// whole or chunked snappy) and unpack them. Plain functions over caller-owned
// buffers; every outcome is a HapResult, nothing throws. Thread-safe (no state).
#include <cstdint>

enum HapResult : uint32_t {
    HapResult_No_Error = 0,
    HapResult_Bad_Arguments = 1,
    HapResult_Buffer_Too_Small = 2,
    HapResult_Bad_Frame = 3,
    HapResult_Internal_Error = 4,
};

// Block codec of one texture (OpenGL compressed internal-format codes, except YCoCg).
typedef uint32_t HapTextureFormat;
enum : uint32_t {
    HapTextureFormat_RGB_DXT1 = 0x83F0,
    HapTextureFormat_RGBA_DXT5 = 0x83F3,
    HapTextureFormat_YCoCg_DXT5 = 0x0001,
    HapTextureFormat_A_RGTC1 = 0x8DBB,
    HapTextureFormat_RGBA_BPTC_UNORM = 0x8E8C,
};

// Compressor argument of the encoder.
enum : uint32_t {
    HapCompressorNone = 0,
    HapCompressorSnappy = 1,
};

// Largest chunk count written: keeps every table section in the 4-byte header form.
constexpr uint32_t kHapMaxChunkCount = 3355431;

// One chunk of a chunked decode. The work function writes result and, for snappy
// chunks, the decoded length.
struct HapChunkJob {
    HapResult result;
    uint8_t compressor;
    const uint8_t *source;
    uint64_t source_length;
    uint8_t *destination;
    uint64_t destination_length;
};

typedef void (*HapDecodeWorkFunction)(void *jobs, uint32_t index);
// Must call work(jobs, i) once for every i in 0..count-1 (any thread, any order)
// and return only when all calls have finished.
typedef void (*HapDecodeCallback)(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *info);

// Writer side. The bounds assume snappy where asked; 0 for bad arguments.
uint64_t hap_max_encoded_length(uint32_t count, const uint64_t *lengths, const HapTextureFormat *formats,
                                const uint32_t *chunk_counts);
uint64_t hap_max_texture_length(uint64_t length, HapTextureFormat format, uint32_t compressor, uint32_t chunk_count);

// Writes one frame at the start of out (never beyond out_capacity) and its byte
// count to *out_used (only on success). Two textures: one YCoCg DXT5 and one RGTC1.
HapResult hap_encode(uint32_t count, const void *const *buffers, const uint64_t *lengths,
                     const HapTextureFormat *formats, const uint32_t *compressors, const uint32_t *chunk_counts,
                     void *out, uint64_t out_capacity, uint64_t *out_used);
HapResult hap_encode_texture(const void *buffer, uint64_t length, HapTextureFormat format, uint32_t compressor,
                             uint32_t chunk_count, void *out, uint64_t out_capacity, uint64_t *out_used);

// Reader side. Nothing outside [frame, frame + frame_length) is ever read.
HapResult hap_decode(const void *frame, uint32_t frame_length, uint32_t index, HapDecodeCallback parallel_for,
                     void *info, void *out, uint64_t out_capacity, uint64_t *out_used, HapTextureFormat *out_format);
HapResult hap_get_texture_count(const void *frame, uint32_t frame_length, uint32_t *out_count);
HapResult hap_get_texture_format(const void *frame, uint32_t frame_length, uint32_t index,
                                 HapTextureFormat *out_format);
HapResult hap_get_chunk_count(const void *frame, uint32_t frame_length, uint32_t index, uint32_t *out_count);
HapResult hap_get_section(const void *frame, uint32_t frame_length, uint32_t index, const void **out_content,
                          uint32_t *out_length, uint32_t *out_type);
// Over the content of a chunked texture section. The tables point into the content;
// *chunk_data_start is where the chunk data begins.
HapResult hap_parse_decode_instructions(const void *content, uint32_t content_length, uint32_t *chunk_count,
                                        const uint8_t **compressors, const uint8_t **sizes, const uint8_t **offsets,
                                        const uint8_t **chunk_data_start);
void hap_decode_chunk(void *jobs, uint32_t index);
