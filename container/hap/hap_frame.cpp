#include "container/hap/hap_frame.h"
#include "media/filter_node.h"

#include <cinttypes>
#include <climits>
#include <cstring>
#include <new>

#include "platform/core/dispatch.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"
#include "platform/core/log.h"

namespace {

struct CodecTextures {
    uint32_t count;
    HapTextureFormat formats[2];
    DxtCodec dxt[2];
};

// Throws "Unknown codec" outside 0..5.
CodecTextures codec_textures(HapCodec codec) {
    switch (codec) {
    case HapCodec_HAP: return {1, {HapTextureFormat_RGB_DXT1, 0}, {DxtCodec_DXT1, DxtCodec_DXT1}};
    case HapCodec_HAPA: return {1, {HapTextureFormat_RGBA_DXT5, 0}, {DxtCodec_DXT5, DxtCodec_DXT5}};
    case HapCodec_HAPQ: return {1, {HapTextureFormat_YCoCg_DXT5, 0}, {DxtCodec_DXT5, DxtCodec_DXT5}};
    case HapCodec_HAPQA:
        return {2, {HapTextureFormat_YCoCg_DXT5, HapTextureFormat_A_RGTC1}, {DxtCodec_DXT5, DxtCodec_RGTC1}};
    case HapCodec_HAPAlphaOnly: return {1, {HapTextureFormat_A_RGTC1, 0}, {DxtCodec_RGTC1, DxtCodec_RGTC1}};
    case HapCodec_HAPR: return {1, {HapTextureFormat_RGBA_BPTC_UNORM, 0}, {DxtCodec_BC7, DxtCodec_BC7}};
    }
    throw_process_error("Unknown codec");
}

[[noreturn]] void throw_result(HapResult r) { throw_process_error(hap_result_to_string(r)); }

void check(HapResult r) {
    if (r != HapResult_No_Error) throw_result(r);
}

}  // namespace

const char *hap_result_to_string(uint32_t result) {
    switch (result) {
    case HapResult_No_Error: return "HapResult_No_Error";
    case HapResult_Bad_Arguments: return "HapResult_Bad_Arguments";
    case HapResult_Buffer_Too_Small: return "HapResult_Buffer_Too_Small";
    case HapResult_Bad_Frame: return "HapResult_Bad_Frame";
    case HapResult_Internal_Error: return "HapResult_Internal_Error";
    default: return "HapResult : Error unknown";
    }
}

HapCodec hap_codec_of_fourcc(uint32_t code) {
    struct Row {
        char code[5];
        HapCodec codec;
    } static const kRows[] = {{"Hap1", HapCodec_HAP},   {"Hap5", HapCodec_HAPA},         {"HapY", HapCodec_HAPQ},
                              {"HapM", HapCodec_HAPQA}, {"HapA", HapCodec_HAPAlphaOnly}, {"Hap7", HapCodec_HAPR}};
    for (const Row &r : kRows) {
        const uint32_t c = uint32_t(uint8_t(r.code[0])) << 24 | uint32_t(uint8_t(r.code[1])) << 16 |
                           uint32_t(uint8_t(r.code[2])) << 8 | uint32_t(uint8_t(r.code[3]));
        if (c == code) return r.codec;
    }
    throw_process_error("Mov dataformat not hap codec");
}

void hap_frame_init(HapFrame *frame) { *frame = HapFrame{}; }

void hap_frame_free(HapFrame *frame) {
    if (!frame) return;
    if (frame->buffer && frame->owns_buffer) delete[] frame->buffer;
    frame->buffer = nullptr;
    frame->owns_buffer = 0;
}

uint32_t hap_get_max_frame_size(uint32_t width, uint32_t height, HapCodec codec, uint32_t chunk_count) {
    const CodecTextures t = codec_textures(codec);
    uint64_t lengths[2];
    uint32_t chunks[2] = {chunk_count, chunk_count};
    for (uint32_t i = 0; i < t.count; ++i) lengths[i] = get_dxt_data_size(width, height, t.dxt[i]);
    const uint64_t size = hap_max_encoded_length(t.count, lengths, t.formats, chunks);
    if (size > UINT32_MAX) throw_process_error("Data size hap frame > UINT32_MAX");
    return uint32_t(size);
}

void hap_frame_alloc(HapFrame *frame, uint32_t width, uint32_t height, HapCodec codec, uint32_t chunk_count) {
    ZASSERT(frame->buffer == nullptr);
    frame->width = width;
    frame->height = height;
    frame->codec = codec;
    frame->texture_count = codec == HapCodec_HAPQA ? 2 : 1;
    frame->capacity = hap_get_max_frame_size(width, height, codec, chunk_count);
    frame->buffer = new uint8_t[frame->capacity ? frame->capacity : 1];
    frame->owns_buffer = 1;
    frame->encoded_length = 0;
    frame->chunk_counts[0] = frame->chunk_counts[1] = chunk_count;
}

void hap_frame_encode(HapFrame *frame, const uint8_t *texture0, const uint8_t *texture1, uint32_t size0, uint32_t size1,
                      uint32_t chunk_count, uint32_t compressor) {
    const CodecTextures t = codec_textures(frame->codec);
    if (frame->codec == HapCodec_HAPQA && !texture1) throw_process_error("HAPQA : Dxt Buffer 2 == NULL");
    const void *buffers[2] = {texture0, texture1};
    const uint64_t lengths[2] = {size0, size1};
    const uint32_t compressors[2] = {compressor, compressor};
    const uint32_t chunks[2] = {chunk_count, chunk_count};
    uint64_t used = 0;
    const HapResult r = hap_encode(frame->texture_count, buffers, lengths, t.formats, compressors, chunks,
                                   frame->buffer, frame->capacity, &used);
    frame->encoded_length = r == HapResult_No_Error ? used : 0;
    if (r != HapResult_No_Error) {
        printf("ERROR : %s\n", hap_result_to_string(r));
        throw_result(r);
    }
}

void hap_frame_parse_header(HapFrame *frame) {
    const uint32_t length = uint32_t(frame->capacity);
    uint32_t count = 0;
    check(hap_get_texture_count(frame->buffer, length, &count));
    uint32_t chunks0 = 0;
    check(hap_get_chunk_count(frame->buffer, length, 0, &chunks0));
    frame->chunk_counts[0] = chunks0;
    frame->texture_count = uint8_t(count);
    HapTextureFormat format = 0;
    if (count == 2) {
        check(hap_get_texture_format(frame->buffer, length, 0, &format));
        if (format != HapTextureFormat_YCoCg_DXT5) throw_process_error("First tex (of two) not YcoCg DXT5");
        check(hap_get_texture_format(frame->buffer, length, 1, &format));
        if (format != HapTextureFormat_A_RGTC1) throw_process_error("Second tex (of two) not RGTC1");
        check(hap_get_chunk_count(frame->buffer, length, 1, &frame->chunk_counts[1]));
        frame->codec = HapCodec_HAPQA;
    } else if (count == 1) {
        check(hap_get_texture_format(frame->buffer, length, 0, &format));
        switch (format) {
        case HapTextureFormat_RGB_DXT1: frame->codec = HapCodec_HAP; break;
        case HapTextureFormat_RGBA_DXT5: frame->codec = HapCodec_HAPA; break;
        case HapTextureFormat_YCoCg_DXT5: frame->codec = HapCodec_HAPQ; break;
        case HapTextureFormat_A_RGTC1: frame->codec = HapCodec_HAPAlphaOnly; break;
        default: frame->codec = HapCodec_HAPR; break;  // the only format left
        }
    } else {
        throw_process_error("Invalid texture count");
    }
}

void hap_frame_set_data(HapFrame *frame, uint32_t width, uint32_t height, uint8_t *data, uint32_t length) {
    frame->width = width;
    frame->height = height;
    frame->buffer = data;
    frame->owns_buffer = 0;
    frame->capacity = frame->encoded_length = length;
    hap_frame_parse_header(frame);
}

void hap_frame_read_from_file(HapFrame *frame, uint32_t width, uint32_t height, FILE *file, uint64_t offset,
                              uint32_t length) {
    frame->width = width;
    frame->height = height;
    // An owned buffer large enough is reused; any other is released (a borrowed one is
    // left to its owner) before a new one is allocated.
    if (!frame->buffer || !frame->owns_buffer || frame->capacity < length) {
        hap_frame_free(frame);
        frame->buffer = new uint8_t[length ? length : 1];
        frame->owns_buffer = 1;
    }
    frame->capacity = frame->encoded_length = length;
    file_read_at(file, frame->buffer, offset, length);
    hap_frame_parse_header(frame);
}

void hap_chunk_work_serial(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *) {
    for (uint32_t i = 0; i < count; ++i) work(jobs, i);
}

void hap_chunk_work_parallel(HapDecodeWorkFunction work, void *jobs, uint32_t count, void *) {
    dispatch_apply(count, [&](size_t i) { work(jobs, uint32_t(i)); });
}

// ---------------------------------------------------------------------------------------
// Encode node

namespace {

struct HapEncodeFilterData {
    HapFrame frame;
    VideoFrame output;
    HapCodec codec;
    uint8_t texture_count;
    uint32_t width;
    uint32_t height;
    uint32_t chunk_count;
    uint32_t compressor;
};

struct HapDecodeFilterData {
    VideoFrame output;
    HapCodec codec;
    uint8_t texture_count;
    uint32_t texture_choice;
    uint32_t width;
    uint32_t height;
    uint8_t parallel;
};

}  // namespace

VideoFilter *create_filter_hap_frame_encode(const HapFrameEncodeParams &params) {
    return filter_node_create<HapEncodeFilterData>(
        VideoFilterType_HapEncode, 1, hap_frame_encode_process, hap_frame_encode_destroy,
        [&](HapEncodeFilterData *d) -> VideoFrame * {
            d->codec = params.codec;
            d->width = params.width;
            d->height = params.height;
            d->chunk_count = params.chunk_count;
            d->compressor = params.compressor;
            d->texture_count = params.codec == HapCodec_HAPQA ? 2 : 1;
            if (d->chunk_count == 0) {
                d->chunk_count = 1;
                d->compressor = HapCompressorNone;
            } else if (d->chunk_count >= 64) {
                d->chunk_count = 64;
            }
            hap_frame_init(&d->frame);
            video_frame_init(&d->output);
            hap_frame_alloc(&d->frame, d->width, d->height, d->codec, d->chunk_count);
            return &d->output;
        });
}

void hap_frame_encode_process(VideoFilter *filter) {
    auto *d = filter_node_data<HapEncodeFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    const uint8_t *tex1 = d->texture_count == 2 ? in->data[1] : nullptr;
    const uint32_t size1 = d->texture_count == 2 ? in->data_size[1] : 0;
    hap_frame_encode(&d->frame, in->data[0], tex1, in->data_size[0], size1, d->chunk_count, d->compressor);
    video_frame_set_compressed_data(&d->output, d->frame.buffer, uint32_t(d->frame.encoded_length), VideoFrameHapData);
    d->output.frame_index = in->frame_index;
}

void hap_frame_encode_destroy(VideoFilter *filter) {
    filter_node_destroy<HapEncodeFilterData>(filter, [](HapEncodeFilterData *d) { hap_frame_free(&d->frame); });
}

// ---------------------------------------------------------------------------------------
// Decode node

VideoFilter *create_filter_hap_frame_decode(const HapFrameDecodeParams &params) {
    return filter_node_create<HapDecodeFilterData>(
        VideoFilterType_HapDecode, 1, hap_frame_decode_process, hap_frame_decode_destroy,
        [&](HapDecodeFilterData *d) -> VideoFrame * {
            video_frame_init(&d->output);
            d->codec = params.codec;
            d->width = params.width;
            d->height = params.height;
            d->parallel = params.parallel;
            d->texture_count = 1;
            d->texture_choice = 0;
            VideoFrameDataDescriptor descriptor;
            switch (params.codec) {
            case HapCodec_HAP: descriptor = VideoFrameDxtData_HAP; break;
            case HapCodec_HAPA: descriptor = VideoFrameDxtData_HAPA; break;
            case HapCodec_HAPQ: descriptor = VideoFrameDxtData_HAPQ; break;
            case HapCodec_HAPAlphaOnly: descriptor = VideoFrameDxtData_HAPAlphaOnly; break;
            case HapCodec_HAPR: descriptor = VideoFrameDxtData_HAPR; break;
            case HapCodec_HAPQA:
                d->texture_count = 2;
                if (params.texture_choice == 0) {
                    descriptor = VideoFrameDxtData_HAPQA;
                } else if (params.texture_choice == 1) {
                    d->texture_choice = 1;
                    descriptor = VideoFrameDxtData_HAPQ;
                } else {
                    d->texture_choice = 2;
                    descriptor = VideoFrameDxtData_HAPAlphaOnly;
                }
                break;
            default: throw_process_error("Invalid codec");
            }
            video_frame_alloc_dxt(&d->output, d->width, d->height, descriptor);
            return &d->output;
        });
}

void hap_frame_decode_process(VideoFilter *filter) {
    auto *d = filter_node_data<HapDecodeFilterData>(filter);
    const VideoFrame *in = filter_node_input(filter);
    VideoFrame *out = &d->output;
    if (in->data_descriptor != VideoFrameHapData) throw_process_error("Invalid data descriptor hap decode");
    if (in->data_size[0] == 0 || !in->data[0]) {
        out->error_flags = VideoFrameError_ReadFailed;
        throw_process_error("Decoding error : invalid frame");
    }
    out->error_flags = 0;
    out->frame_index = in->frame_index;
    filter->message[0] = '\0';  // the note is about this frame only

    HapFrame frame;
    hap_frame_init(&frame);
    try {
        hap_frame_set_data(&frame, d->width, d->height, in->data[0], in->data_size[0]);
    } catch (const std::exception &e) {
        printf("ERR decoding header tex hap : %s\n", e.what());
        out->error_flags |= VideoFrameError_Corrupt;
        throw_process_error("Decoding error : corrupt frame (header)");
    }
    const uint32_t expected = d->codec == HapCodec_HAPQA ? 2 : 1;
    if (frame.texture_count != expected) {
        printf("ERR %d textures found, %u expected\n", int(frame.texture_count), expected);
        out->error_flags |= VideoFrameError_InvalidCodec;
        throw_process_error("Decoding error : corrupt frame (textures count)");
    }
    if (frame.codec != d->codec) {
        printf("ERR codec found doesn't match expected\n");
        out->error_flags |= VideoFrameError_InvalidCodec;
        throw_process_error("Decoding error : corrupt frame (codec)");
    }

    const uint32_t planes = d->texture_choice == 0 ? frame.texture_count : 1;
    const uint32_t first_texture = d->texture_choice == 2 ? 1 : 0;
    const HapDecodeCallback callback = d->parallel ? hap_chunk_work_parallel : hap_chunk_work_serial;
    for (uint32_t p = 0; p < planes; ++p) {
        uint64_t used = 0;
        HapTextureFormat format = 0;
        const HapResult r = hap_decode(frame.buffer, uint32_t(frame.capacity), first_texture + p, callback, nullptr,
                                       out->data[p], out->data_size[p], &used, &format);
        if (used != out->data_size[p]) {
            // A shorter texture leaves the rest black, not the previous frame's blocks.
            if (r == HapResult_No_Error && used < out->data_size[p])
                std::memset(out->data[p] + used, 0, out->data_size[p] - used);
            printf("ERR decoding tex %u hap : Nb bytes decode (%lu) != nb bytes dxt (%u)\n", p, (unsigned long)used,
                   out->data_size[p]);
            out->error_flags |= VideoFrameError_Corrupt;
            snprintf(filter->message, sizeof(filter->message), "%s", "Corrupt hap frame");
        }
        if (r != HapResult_No_Error) {
            printf("ERR decoding tex %u hap : %s\n", p, hap_result_to_string(r));
            out->error_flags |= VideoFrameError_Corrupt;
            throw_process_error("Fail to decode hap frame");
        }
    }
}

void hap_frame_decode_destroy(VideoFilter *filter) {
    filter_node_destroy<HapDecodeFilterData>(filter,
                                             [](HapDecodeFilterData *d) { video_frame_free_planes(&d->output); });
}
