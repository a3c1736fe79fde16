#pragma once
// HapFrame: one HAP frame tied to a picture size and codec, plus the HAP encode
// node (texture planes -> HAP frame) and HAP decode node (HAP frame -> texture
// planes). Failures throw ProcessError whose text is the HapResult name or a
// fixed message; allocation failures throw std::bad_alloc.
#include <cstdint>
#include <cstdio>

#include "container/hap/hap.h"
#include "media/video_filter.h"
#include "media/video_frame.h"

enum HapCodec : uint32_t {
    HapCodec_HAP = 0,           // "Hap1": RGB DXT1
    HapCodec_HAPA = 1,          // "Hap5": RGBA DXT5
    HapCodec_HAPQ = 2,          // "HapY": YCoCg DXT5
    HapCodec_HAPQA = 3,         // "HapM": YCoCg DXT5 + RGTC1 alpha
    HapCodec_HAPAlphaOnly = 4,  // "HapA": RGTC1
    HapCodec_HAPR = 5,          // "Hap7": BC7
};

struct HapFrame {
    uint32_t width;
    uint32_t height;
    uint8_t *buffer;  // owned when owns_buffer, else borrowed from the caller
    uint64_t capacity;
    uint64_t encoded_length;  // bytes of the frame in buffer
    uint8_t texture_count;    // 1 or 2
    uint32_t chunk_counts[2];
    HapCodec codec;
    uint8_t owns_buffer;  // a borrowed buffer is never freed through the record
};

struct HapFrameEncodeParams {
    HapCodec codec;
    uint32_t width;
    uint32_t height;
    uint32_t chunk_count;  // 0: stored without compression; 64 and above: 64
    uint32_t compressor;   // HapCompressorSnappy or HapCompressorNone
};

struct HapFrameDecodeParams {
    HapCodec codec;
    uint32_t width;
    uint32_t height;
    uint32_t texture_choice;  // HAP Q Alpha only: 0 both, 1 colour, else alpha
    uint8_t parallel;         // decode chunks on the global queue
};

// The codec of a sample description code ("Hap1", "Hap5", "HapY", "HapM", "HapA", "Hap7",
// first letter in the high byte); another code throws "Mov dataformat not hap codec".
HapCodec hap_codec_of_fourcc(uint32_t code);

void hap_frame_init(HapFrame *frame);
void hap_frame_free(HapFrame *frame);
// Allocates the buffer for the largest frame of these settings (no buffer held before).
void hap_frame_alloc(HapFrame *frame, uint32_t width, uint32_t height, HapCodec codec, uint32_t chunk_count);
// Bound of hap_encode for the codec's textures; throws "Unknown codec" or
// "Data size hap frame > UINT32_MAX".
uint32_t hap_get_max_frame_size(uint32_t width, uint32_t height, HapCodec codec, uint32_t chunk_count);
void hap_frame_encode(HapFrame *frame, const uint8_t *texture0, const uint8_t *texture1, uint32_t size0, uint32_t size1,
                      uint32_t chunk_count, uint32_t compressor);
// Borrows data (never freed through the record) and parses the header.
void hap_frame_set_data(HapFrame *frame, uint32_t width, uint32_t height, uint8_t *data, uint32_t length);
// Reads length bytes at offset into an owned buffer: the one held when large enough,
// else a new one (kept on failure: hap_frame_free).
void hap_frame_read_from_file(HapFrame *frame, uint32_t width, uint32_t height, FILE *file, uint64_t offset,
                              uint32_t length);
void hap_frame_parse_header(HapFrame *frame);

const char *hap_result_to_string(uint32_t result);

// Parallel-for callbacks for hap_decode.
void hap_chunk_work_serial(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *info);
void hap_chunk_work_parallel(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *info);

VideoFilter *create_filter_hap_frame_encode(const HapFrameEncodeParams &params);
VideoFilter *create_filter_hap_frame_decode(const HapFrameDecodeParams &params);

void hap_frame_encode_process(VideoFilter *filter);
void hap_frame_encode_destroy(VideoFilter *filter);
void hap_frame_decode_process(VideoFilter *filter);
void hap_frame_decode_destroy(VideoFilter *filter);
