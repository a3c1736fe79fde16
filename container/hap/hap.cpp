#include "container/hap/hap.h"

#include <snappy-c.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/byte_order.h"

namespace {

constexpr uint32_t kSectionDecodeInstructions = 0x01;
constexpr uint32_t kSectionChunkCompressors = 0x02;
constexpr uint32_t kSectionChunkSizes = 0x03;
constexpr uint32_t kSectionChunkOffsets = 0x04;
constexpr uint32_t kSectionMultipleTextures = 0x0D;

constexpr uint32_t kNibbleStored = 0xA;
constexpr uint32_t kNibbleSnappy = 0xB;
constexpr uint32_t kNibbleChunked = 0xC;

constexpr uint8_t kChunkStored = 0x0A;
constexpr uint8_t kChunkSnappy = 0x0B;

constexpr uint64_t kShortHeaderLimit = 1u << 24;

// 4-byte form; the caller guarantees length < 2^24.
void write_short_header(uint8_t *p, uint32_t length, uint32_t type) {
    store_le24(p, length);
    p[3] = uint8_t(type);
}

void write_section_header(uint8_t *p, uint32_t header_length, uint32_t content_length, uint32_t type) {
    if (header_length == 4) {
        write_short_header(p, content_length, type);
    } else {
        p[0] = p[1] = p[2] = 0;
        p[3] = uint8_t(type);
        store_le32(p + 4, content_length);
    }
}

struct Section {
    uint32_t header_length;
    uint32_t content_length;
    uint32_t type;
};

// Reads the section header at p with `available` bytes left; false when the header
// or its content does not fit in them.
bool read_section(const uint8_t *p, uint64_t available, Section *s) {
    if (available < 4) return false;
    uint32_t length = load_le24(p);
    s->type = p[3];
    s->header_length = 4;
    if (length == 0) {
        if (available < 8) return false;
        length = load_le32(p + 4);
        s->header_length = 8;
    }
    s->content_length = length;
    return uint64_t(s->header_length) + length <= available;
}

bool is_known_format(HapTextureFormat format) {
    switch (format) {
    case HapTextureFormat_RGB_DXT1:
    case HapTextureFormat_RGBA_DXT5:
    case HapTextureFormat_YCoCg_DXT5:
    case HapTextureFormat_A_RGTC1:
    case HapTextureFormat_RGBA_BPTC_UNORM: return true;
    default: return false;
    }
}

uint32_t block_bytes(HapTextureFormat format) {
    return (format == HapTextureFormat_RGB_DXT1 || format == HapTextureFormat_A_RGTC1) ? 8 : 16;
}

uint32_t format_nibble(HapTextureFormat format) {
    switch (format) {
    case HapTextureFormat_RGB_DXT1: return 0xB;
    case HapTextureFormat_RGBA_DXT5: return 0xE;
    case HapTextureFormat_YCoCg_DXT5: return 0xF;
    case HapTextureFormat_A_RGTC1: return 0x1;
    case HapTextureFormat_RGBA_BPTC_UNORM: return 0xC;
    default: return 0;
    }
}

// 0 for a nibble that names no texture format.
HapTextureFormat format_from_nibble(uint32_t nibble) {
    switch (nibble) {
    case 0xB: return HapTextureFormat_RGB_DXT1;
    case 0xE: return HapTextureFormat_RGBA_DXT5;
    case 0xF: return HapTextureFormat_YCoCg_DXT5;
    case 0x1: return HapTextureFormat_A_RGTC1;
    case 0xC: return HapTextureFormat_RGBA_BPTC_UNORM;
    default: return 0;
    }
}

// Largest d <= min(requested, cap) dividing the block count; 0 only for a request of 0.
uint32_t chunk_count_for(uint64_t length, HapTextureFormat format, uint32_t requested) {
    const uint64_t blocks = length / block_bytes(format);
    uint32_t d = std::min(requested, kHapMaxChunkCount);
    if (d == 0) return 0;
    while (blocks % d != 0) --d;
    return d;
}

}  // namespace

uint64_t hap_max_texture_length(uint64_t length, HapTextureFormat format, uint32_t compressor, uint32_t chunk_count) {
    const uint32_t d = chunk_count_for(length, format, chunk_count);
    if (d == 0) return 0;
    uint64_t data = length;
    if (compressor == HapCompressorSnappy) data = uint64_t(snappy_max_compressed_length(length / d)) * d;
    return data + 5ull * d + 20;
}

uint64_t hap_max_encoded_length(uint32_t count, const uint64_t *lengths, const HapTextureFormat *formats,
                                const uint32_t *chunk_counts) {
    if ((count != 1 && count != 2) || !lengths || !formats || !chunk_counts) return 0;
    uint64_t total = 8;
    for (uint32_t i = 0; i < count; ++i) {
        if (chunk_counts[i] == 0) return 0;
        total += hap_max_texture_length(lengths[i], formats[i], HapCompressorSnappy, chunk_counts[i]);
    }
    return total;
}

HapResult hap_encode_texture(const void *buffer, uint64_t length, HapTextureFormat format, uint32_t compressor,
                             uint32_t chunk_count, void *out, uint64_t out_capacity, uint64_t *out_used) {
    if (!buffer || length == 0 || !is_known_format(format) || compressor > HapCompressorSnappy || !out || !out_used ||
        chunk_count == 0)
        return HapResult_Bad_Arguments;
    // A texture is whole blocks (otherwise equal chunks would drop the tail), and
    // every section length must fit the 32-bit header field.
    if (length % block_bytes(format) != 0 || length > 0xFFFFFFFFull - 16) return HapResult_Bad_Arguments;
    if (hap_max_texture_length(length, format, compressor, chunk_count) > out_capacity)
        return HapResult_Buffer_Too_Small;

    const uint8_t *src = static_cast<const uint8_t *>(buffer);
    uint8_t *dst = static_cast<uint8_t *>(out);
    uint32_t h = length < kShortHeaderLimit ? 4 : 8;
    uint32_t compressor_nibble = kNibbleStored;
    uint64_t content_length = length;

    if (compressor == HapCompressorSnappy) {
        const uint32_t d = chunk_count_for(length, format, chunk_count);
        const uint64_t c = length / d;
        if (length + 5ull * d + 12 >= kShortHeaderLimit) h = 8;

        uint8_t *instructions = dst + h;
        write_short_header(instructions, 5 * d + 8, kSectionDecodeInstructions);
        write_short_header(instructions + 4, d, kSectionChunkCompressors);
        uint8_t *compressor_table = instructions + 8;
        write_short_header(compressor_table + d, 4 * d, kSectionChunkSizes);
        uint8_t *size_table = compressor_table + d + 4;

        const uint64_t tables_end = uint64_t(h) + 5ull * d + 12;
        uint64_t used = tables_end;  // bytes of out written so far
        for (uint32_t i = 0; i < d; ++i) {
            size_t compressed = size_t(out_capacity - used);
            snappy_status st = snappy_compress(reinterpret_cast<const char *>(src + i * c), size_t(c),
                                               reinterpret_cast<char *>(dst + used), &compressed);
            if (st != SNAPPY_OK) return HapResult_Internal_Error;
            if (compressed >= c) {
                // No gain from snappy: keep the chunk as it is.
                std::memcpy(dst + used, src + i * c, size_t(c));
                compressor_table[i] = kChunkStored;
                compressed = size_t(c);
            } else {
                compressor_table[i] = kChunkSnappy;
            }
            store_le32(size_table + 4ull * i, uint32_t(compressed));
            used += compressed;
        }
        const uint64_t chunked_length = used - h;
        if (chunked_length >= length + h) {
            std::memcpy(dst + h, src, size_t(length));
        } else {
            compressor_nibble = kNibbleChunked;
            content_length = chunked_length;
        }
    } else {
        std::memcpy(dst + h, src, size_t(length));
    }

    write_section_header(dst, h, uint32_t(content_length), compressor_nibble << 4 | format_nibble(format));
    *out_used = h + content_length;
    return HapResult_No_Error;
}

HapResult hap_encode(uint32_t count, const void *const *buffers, const uint64_t *lengths,
                     const HapTextureFormat *formats, const uint32_t *compressors, const uint32_t *chunk_counts,
                     void *out, uint64_t out_capacity, uint64_t *out_used) {
    if ((count != 1 && count != 2) || !buffers || !lengths || !formats || !compressors || !chunk_counts || !out ||
        !out_used || out_capacity == 0)
        return HapResult_Bad_Arguments;
    for (uint32_t i = 0; i < count; ++i)
        if (chunk_counts[i] == 0) return HapResult_Bad_Arguments;

    if (count == 1)
        return hap_encode_texture(buffers[0], lengths[0], formats[0], compressors[0], chunk_counts[0], out,
                                  out_capacity, out_used);

    const bool ycocg_rgtc1 = (formats[0] == HapTextureFormat_YCoCg_DXT5 && formats[1] == HapTextureFormat_A_RGTC1) ||
                             (formats[0] == HapTextureFormat_A_RGTC1 && formats[1] == HapTextureFormat_YCoCg_DXT5);
    if (!ycocg_rgtc1) return HapResult_Bad_Arguments;

    uint64_t estimate = 0;
    for (uint32_t i = 0; i < 2; ++i) estimate += lengths[i] + 5ull * chunk_counts[i] + 12;
    const uint32_t h = estimate < kShortHeaderLimit ? 4 : 8;

    uint8_t *dst = static_cast<uint8_t *>(out);
    uint64_t content = 0;
    for (uint32_t i = 0; i < 2; ++i) {
        if (out_capacity < h + content) return HapResult_Buffer_Too_Small;
        uint64_t section = 0;
        HapResult r = hap_encode_texture(buffers[i], lengths[i], formats[i], compressors[i], chunk_counts[i],
                                         dst + h + content, out_capacity - h - content, &section);
        if (r != HapResult_No_Error) return r;
        content += section;
    }
    // The estimate bounds the real sections, so the short form always fits; guard anyway.
    if ((h == 4 && content >= kShortHeaderLimit) || content > 0xFFFFFFFFull) return HapResult_Internal_Error;
    write_section_header(dst, h, uint32_t(content), kSectionMultipleTextures);
    *out_used = content + h;
    return HapResult_No_Error;
}

namespace {

// Checks the top header of a frame.
HapResult read_top_section(const uint8_t *frame, uint32_t frame_length, Section *top) {
    if (!read_section(frame, frame_length, top)) return HapResult_Bad_Frame;
    return HapResult_No_Error;
}

}  // namespace

HapResult hap_get_section(const void *frame, uint32_t frame_length, uint32_t index, const void **out_content,
                          uint32_t *out_length, uint32_t *out_type) {
    if (!frame || !out_content || !out_length || !out_type) return HapResult_Bad_Arguments;
    const uint8_t *bytes = static_cast<const uint8_t *>(frame);
    Section top;
    if (HapResult r = read_top_section(bytes, frame_length, &top); r != HapResult_No_Error) return r;

    if (top.type != kSectionMultipleTextures) {
        if (index != 0) {
            *out_content = nullptr;
            *out_length = 0;
            *out_type = 0;
            return HapResult_Bad_Arguments;
        }
        *out_content = bytes + top.header_length;
        *out_length = top.content_length;
        *out_type = top.type;
        return HapResult_No_Error;
    }

    const uint8_t *p = bytes + top.header_length;
    uint64_t remaining = top.content_length;
    for (uint32_t i = 0;; ++i) {
        if (remaining == 0) return HapResult_Bad_Arguments;
        Section s;
        if (!read_section(p, remaining, &s)) return HapResult_Bad_Frame;
        if (i == index) {
            *out_content = p + s.header_length;
            *out_length = s.content_length;
            *out_type = s.type;
            return HapResult_No_Error;
        }
        const uint64_t size = uint64_t(s.header_length) + s.content_length;
        p += size;
        remaining -= size;
    }
}

HapResult hap_get_texture_count(const void *frame, uint32_t frame_length, uint32_t *out_count) {
    if (!frame || !out_count) return HapResult_Bad_Arguments;
    const uint8_t *bytes = static_cast<const uint8_t *>(frame);
    Section top;
    if (HapResult r = read_top_section(bytes, frame_length, &top); r != HapResult_No_Error) return r;
    if (top.type != kSectionMultipleTextures) {
        *out_count = 1;
        return HapResult_No_Error;
    }
    const uint8_t *p = bytes + top.header_length;
    uint64_t remaining = top.content_length;
    uint32_t count = 0;
    while (remaining > 0) {
        Section s;
        if (!read_section(p, remaining, &s)) return HapResult_Bad_Frame;
        const uint64_t size = uint64_t(s.header_length) + s.content_length;
        p += size;
        remaining -= size;
        ++count;
    }
    *out_count = count;
    return HapResult_No_Error;
}

HapResult hap_get_texture_format(const void *frame, uint32_t frame_length, uint32_t index,
                                 HapTextureFormat *out_format) {
    if (!frame || !out_format || index > 1) return HapResult_Bad_Arguments;
    const void *content;
    uint32_t length, type;
    if (HapResult r = hap_get_section(frame, frame_length, index, &content, &length, &type); r != HapResult_No_Error)
        return r;
    *out_format = format_from_nibble(type & 0x0F);
    return *out_format ? HapResult_No_Error : HapResult_Bad_Frame;
}

HapResult hap_parse_decode_instructions(const void *content, uint32_t content_length, uint32_t *chunk_count,
                                        const uint8_t **compressors, const uint8_t **sizes, const uint8_t **offsets,
                                        const uint8_t **chunk_data_start) {
    if (!content || !chunk_count || !compressors || !sizes || !offsets || !chunk_data_start)
        return HapResult_Bad_Arguments;
    *compressors = *sizes = *offsets = nullptr;
    const uint8_t *bytes = static_cast<const uint8_t *>(content);
    Section outer;
    if (!read_section(bytes, content_length, &outer) || outer.type != kSectionDecodeInstructions)
        return HapResult_Bad_Frame;
    *chunk_data_start = bytes + outer.header_length + outer.content_length;

    const uint8_t *p = bytes + outer.header_length;
    uint64_t remaining = outer.content_length;
    uint32_t count = 0;
    uint32_t entries[3] = {0, 0, 0};  // compressors, sizes, offsets
    while (remaining > 0) {
        Section s;
        if (!read_section(p, remaining, &s)) return HapResult_Bad_Frame;
        const uint8_t *table = p + s.header_length;
        int slot = -1;
        uint32_t n = 0;
        switch (s.type) {
        case kSectionChunkCompressors:
            slot = 0;
            n = s.content_length;
            *compressors = table;
            break;
        case kSectionChunkSizes:
            slot = 1;
            n = s.content_length / 4;
            *sizes = table;
            break;
        case kSectionChunkOffsets:
            slot = 2;
            n = s.content_length / 4;
            *offsets = table;
            break;
        default: break;
        }
        if (slot >= 0) {
            entries[slot] = n;
            if (n != 0) {
                if (count != 0 && n != count) return HapResult_Bad_Frame;
                count = n;
            }
        }
        const uint64_t size = uint64_t(s.header_length) + s.content_length;
        p += size;
        remaining -= size;
    }
    if (!*compressors || !*sizes) return HapResult_Bad_Frame;
    // A table shorter than the chunk count would be read past its end.
    for (int slot = 0; slot < 3; ++slot) {
        const bool present = slot == 0 ? *compressors : slot == 1 ? *sizes : *offsets;
        if (present && entries[slot] != count) return HapResult_Bad_Frame;
    }
    // Every chunk takes at least one byte of chunk data, so the section bounds the count
    // (and the decoder's job list) before anything is allocated.
    if (count > uint64_t(bytes + content_length - *chunk_data_start)) return HapResult_Bad_Frame;
    *chunk_count = count;
    return HapResult_No_Error;
}

HapResult hap_get_chunk_count(const void *frame, uint32_t frame_length, uint32_t index, uint32_t *out_count) {
    if (out_count) *out_count = 0;
    if (!frame || !out_count || index > 1) return HapResult_Bad_Arguments;
    const void *content;
    uint32_t length, type;
    if (HapResult r = hap_get_section(frame, frame_length, index, &content, &length, &type); r != HapResult_No_Error)
        return r;
    switch (type >> 4) {
    case kNibbleChunked: {
        const uint8_t *compressors, *sizes, *offsets, *data;
        uint32_t count = 0;
        HapResult r = hap_parse_decode_instructions(content, length, &count, &compressors, &sizes, &offsets, &data);
        if (r != HapResult_No_Error) return r;
        *out_count = count;
        return HapResult_No_Error;
    }
    case kNibbleStored:
    case kNibbleSnappy: *out_count = 1; return HapResult_No_Error;
    default: return HapResult_Bad_Frame;
    }
}

void hap_decode_chunk(void *jobs, uint32_t index) {
    if (!jobs) return;
    HapChunkJob &job = static_cast<HapChunkJob *>(jobs)[index];
    if (job.compressor == kChunkStored) {
        if (job.source_length) std::memcpy(job.destination, job.source, size_t(job.source_length));
        job.result = HapResult_No_Error;
    } else if (job.compressor == kChunkSnappy) {
        size_t length = size_t(job.destination_length);
        snappy_status st = snappy_uncompress(reinterpret_cast<const char *>(job.source), size_t(job.source_length),
                                             reinterpret_cast<char *>(job.destination), &length);
        job.destination_length = length;
        job.result = st == SNAPPY_OK              ? HapResult_No_Error
                     : st == SNAPPY_INVALID_INPUT ? HapResult_Bad_Frame
                                                  : HapResult_Internal_Error;
    } else {
        job.result = HapResult_Bad_Frame;
    }
}

namespace {

HapResult decode_chunked(const uint8_t *content, uint32_t content_length, HapDecodeCallback parallel_for, void *info,
                         uint8_t *out, uint64_t out_capacity, uint64_t *used) {
    const uint8_t *compressors, *sizes, *offsets, *data;
    uint32_t count = 0;
    HapResult r = hap_parse_decode_instructions(content, content_length, &count, &compressors, &sizes, &offsets, &data);
    if (r != HapResult_No_Error) return r;
    if (count == 0) {
        *used = 0;
        return HapResult_No_Error;
    }
    HapChunkJob *jobs = static_cast<HapChunkJob *>(std::calloc(count, sizeof(HapChunkJob)));
    if (!jobs) return HapResult_Internal_Error;

    // Every chunk must lie inside the section's chunk data; sums in 64 bits.
    const uint64_t data_length = uint64_t(content + content_length - data);
    uint64_t running = 0;
    uint64_t total = 0;
    r = HapResult_No_Error;
    for (uint32_t i = 0; i < count && r == HapResult_No_Error; ++i) {
        HapChunkJob &job = jobs[i];
        const uint64_t size = load_le32(sizes + 4ull * i);
        const uint64_t start = offsets ? load_le32(offsets + 4ull * i) : running;
        running += size;
        if (start + size > data_length) {
            r = HapResult_Bad_Frame;
            break;
        }
        job.compressor = compressors[i];
        job.source = data + start;
        job.source_length = size;
        if (job.compressor == kChunkSnappy) {
            size_t length = 0;
            snappy_status st =
                snappy_uncompressed_length(reinterpret_cast<const char *>(job.source), size_t(size), &length);
            if (st != SNAPPY_OK) {
                r = st == SNAPPY_INVALID_INPUT ? HapResult_Bad_Frame : HapResult_Internal_Error;
                break;
            }
            job.destination_length = length;
        } else {
            job.destination_length = size;
        }
        job.destination = out + total;
        total += job.destination_length;
        // Checked as it grows: pointers past the buffer are never formed.
        if (total > out_capacity) r = HapResult_Buffer_Too_Small;
    }

    if (r == HapResult_No_Error) {
        if (count == 1)
            hap_decode_chunk(jobs, 0);
        else
            parallel_for(hap_decode_chunk, jobs, count, info);
        for (uint32_t i = 0; i < count; ++i) {
            if (jobs[i].result != HapResult_No_Error) {
                r = jobs[i].result;
                break;
            }
        }
    }
    std::free(jobs);
    if (r == HapResult_No_Error) *used = total;
    return r;
}

}  // namespace

HapResult hap_decode(const void *frame, uint32_t frame_length, uint32_t index, HapDecodeCallback parallel_for,
                     void *info, void *out, uint64_t out_capacity, uint64_t *out_used, HapTextureFormat *out_format) {
    if (!frame || !parallel_for || !out || !out_format || index >= 2) return HapResult_Bad_Arguments;
    const void *section;
    uint32_t length, type;
    if (HapResult r = hap_get_section(frame, frame_length, index, &section, &length, &type); r != HapResult_No_Error)
        return r;
    *out_format = format_from_nibble(type & 0x0F);
    if (!*out_format) return HapResult_Bad_Frame;

    const uint8_t *content = static_cast<const uint8_t *>(section);
    uint8_t *dst = static_cast<uint8_t *>(out);
    uint64_t used = 0;
    switch (type >> 4) {
    case kNibbleStored:
        if (length > out_capacity) return HapResult_Buffer_Too_Small;
        std::memcpy(dst, content, length);
        used = length;
        break;
    case kNibbleSnappy: {
        // A stream snappy rejects is a bad frame, as in the chunked path.
        size_t decoded = 0;
        snappy_status st = snappy_uncompressed_length(reinterpret_cast<const char *>(content), length, &decoded);
        if (st != SNAPPY_OK) return st == SNAPPY_INVALID_INPUT ? HapResult_Bad_Frame : HapResult_Internal_Error;
        if (decoded > out_capacity) return HapResult_Buffer_Too_Small;
        st =
            snappy_uncompress(reinterpret_cast<const char *>(content), length, reinterpret_cast<char *>(dst), &decoded);
        if (st != SNAPPY_OK) return st == SNAPPY_INVALID_INPUT ? HapResult_Bad_Frame : HapResult_Internal_Error;
        used = decoded;
        break;
    }
    case kNibbleChunked:
        if (HapResult r = decode_chunked(content, length, parallel_for, info, dst, out_capacity, &used);
            r != HapResult_No_Error)
            return r;
        break;
    default: return HapResult_Bad_Frame;
    }
    if (out_used) *out_used = used;
    return HapResult_No_Error;
}
