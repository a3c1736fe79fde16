#include "pipeline/image/mem_tiff_io.h"

#include <tiffio.h>

#include <cstring>

namespace {

constexpr uint64_t kGrowthStep = 10240;

MemTiffIo *io_of(thandle_t h) { return static_cast<MemTiffIo *>(h); }

tmsize_t client_read(thandle_t h, void *buffer, tmsize_t n) { return mem_tiff_read(h, buffer, n); }
tmsize_t client_write(thandle_t h, void *buffer, tmsize_t n) { return mem_tiff_write(h, buffer, n); }
toff_t client_seek(thandle_t h, toff_t offset, int whence) { return mem_tiff_seek(h, offset, whence); }
int client_close(thandle_t h) { return mem_tiff_close(h); }
toff_t client_size(thandle_t h) { return mem_tiff_size(h); }

int client_map(thandle_t h, void **base, toff_t *size) {
    MemTiffIo *io = io_of(h);
    *base = const_cast<uint8_t *>(io->data);  // read mode: libtiff never writes through it
    *size = io->size;
    return 1;
}

void client_unmap(thandle_t, void *, toff_t) {}

}  // namespace

void mem_tiff_io_init(MemTiffIo *io, const uint8_t *data, uint64_t size) {
    io->data = data;
    io->capacity = size;
    io->growth_step = kGrowthStep;
    io->size = size;
    io->position = 0;
}

TIFF *mem_tiff_open(MemTiffIo *io) {
    return TIFFClientOpen("MEMTIFF", "rb", io, client_read, client_write, client_seek, client_close, client_size,
                          client_map, client_unmap);
}

int64_t mem_tiff_read(void *h, void *buffer, int64_t n) {
    MemTiffIo *io = io_of(h);
    if (n <= 0 || io->position >= io->size) return 0;
    uint64_t count = io->size - io->position;
    if (uint64_t(n) < count) count = uint64_t(n);
    memcpy(buffer, io->data + io->position, count);
    io->position += count;
    return int64_t(count);
}

int64_t mem_tiff_write(void *, void *, int64_t) { return 0; }

uint64_t mem_tiff_seek(void *h, uint64_t offset, int whence) {
    MemTiffIo *io = io_of(h);
    // Offsets arrive unsigned; a relative step backwards is a wrapped negative value.
    const int64_t step = int64_t(offset);
    uint64_t target;
    switch (whence) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR:
        if (step < 0 && uint64_t(-(step + 1)) >= io->position) return uint64_t(-1);
        target = io->position + offset;
        break;
    case SEEK_END:
        if (step < 0 && uint64_t(-(step + 1)) >= io->capacity) return uint64_t(-1);
        target = io->capacity + offset;
        break;
    default: return io->position;
    }
    if (target > io->capacity) return uint64_t(-1);
    io->position = target;
    if (io->size < io->position) io->size = io->position;
    return io->position;
}

int mem_tiff_close(void *h) {
    io_of(h)->position = 0;
    return 0;
}

uint64_t mem_tiff_size(void *h) { return io_of(h)->size; }
