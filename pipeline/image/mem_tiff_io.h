#pragma once
// In-memory client for libtiff: a TIFF image read from a caller's buffer.
//
// Read-only: libtiff maps the bytes in place. The client never throws through libtiff's C
// frames: a seek outside the image returns -1 (libtiff's error result) and a write
// returns 0, so libtiff reports the failure itself.
#include <cstdint>

typedef struct tiff TIFF;

struct MemTiffIo {
    const uint8_t *data;   // not owned
    uint64_t capacity;     // bytes
    uint64_t growth_step;  // 10240; writes are refused, so it never applies
    uint64_t size;
    uint64_t position;
};

void mem_tiff_io_init(MemTiffIo *io, const uint8_t *data, uint64_t size);
// TIFFClientOpen with the name "MEMTIFF" and mode "rb" over io (which must outlive the
// handle); null when libtiff refuses the bytes.
TIFF *mem_tiff_open(MemTiffIo *io);

// The client operations, exposed for tests. `handle` is the MemTiffIo.
int64_t mem_tiff_read(void *handle, void *buffer, int64_t n);
int64_t mem_tiff_write(void *handle, void *buffer, int64_t n);
// Whence 0 start, 1 current, 2 end (capacity). -1 for a result outside 0..capacity.
uint64_t mem_tiff_seek(void *handle, uint64_t offset, int whence);
int mem_tiff_close(void *handle);
uint64_t mem_tiff_size(void *handle);
