#pragma once
// The MOV reader's internal steps and helpers, shared by its source files (and its tests).
// Callers bound every offset first.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "container/mov/mov_reader.h"
#include "platform/core/byte_order.h"

struct MovAtomHeader {
    char type[4];
    uint64_t size;            // whole atom
    uint64_t payload_offset;  // file offset (file parse) or buffer offset (memory parse)
    uint64_t payload_size;
};

struct MovAtomLocation {
    uint64_t offset = 0;  // payload offset in the moov buffer
    uint32_t size = 0;
    bool present() const { return offset != 0 || size != 0; }
};

struct MovTrakAtoms {
    char handler[4] = {0, 0, 0, 0};
    uint32_t chunk_offset_width = 0;
    MovAtomLocation tkhd, mdhd, stts, stsd, stsz, stsc, chunk_offsets;
};

// Atom headers, from the file or from a buffer (the moov payload); 0 on success.
int mov_atom_read_header(MovAtomHeader *header, FILE *file, uint64_t available);
int mov_atom_parse_header(MovAtomHeader *header, const uint8_t *buffer, uint64_t offset, uint64_t remaining);

// Tables owned by the caller (free()).
struct MovChunkOffsets {
    uint64_t *offsets = nullptr;
    uint32_t count = 0;
};
MovChunkOffsets mov_parse_chunk_offsets(const uint8_t *moov, const MovAtomLocation &location, uint32_t entry_width);
uint32_t *mov_expand_sample_to_chunk(const uint8_t *moov, const MovAtomLocation &location, uint32_t chunk_count);

// Steps of open, one per track kind.
void mov_reader_parse_video_track(MovReader *reader, const MovTrakAtoms &atoms, const uint8_t *moov);
void mov_reader_parse_audio_track(MovReader *reader, MovAudioTrack *track, const MovTrakAtoms &atoms,
                                  const uint8_t *moov);

namespace movr {

inline bool type_is(const char t[4], const char *s) { return std::memcmp(t, s, 4) == 0; }
inline constexpr uint32_t fourcc(const char *s) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

}  // namespace movr
