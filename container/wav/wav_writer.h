#pragma once
// RIFF WAVE output of interleaved PCM samples, stored as given (never converted).
//
// Header: 80 bytes (RIFF, a 28-byte JUNK chunk, fmt, data) or 690 bytes with a
// broadcast-extension chunk ("bext", Originator "ZELQA_STUDIO"). The two size
// fields are patched at close. A file whose RIFF size does not fit in 32 bits is
// turned into RF64 at close: the reserved JUNK chunk becomes the "ds64" chunk
// carrying the 64-bit sizes, and both 32-bit sizes become 0xFFFFFFFF.
//
// A plain record owned by the caller; one thread at a time. Failures throw
// ProcessError with the writer's fixed messages.
#include <cstdint>
#include <cstdio>
#include <string>

struct WavWriter {
    FILE *file;                    // null before open, after a failed open and after close
    uint8_t channels;              // 1 to 255
    uint8_t is_float;              // format tag 3 instead of 1
    uint8_t bytes_per_sample;      // 2, 3 or 4
    uint32_t frequency;            // 44100 or 48000
    uint64_t bext_time_reference;  // TimeReference of the bext chunk
    uint8_t write_bext;            // open writes the 690-byte header
    uint64_t data_chunk_offset;    // offset of the "data" identifier: 72 or 682
    uint8_t *buffer;               // interleaved samples waiting to be written
    uint64_t buffer_capacity;      // bytes, a whole number of seconds
    uint64_t buffer_fill;
    uint64_t data_bytes_written;  // sample bytes already in the file
    // Largest RIFF size kept in the 32-bit header; a longer file becomes RF64.
    // wav_writer_init sets 4294967294; tests lower it to reach RF64 cheaply.
    uint64_t max_riff32_size;
};

void wav_writer_init(WavWriter *w);
void wav_writer_set_format(WavWriter *w, uint8_t channels, uint8_t bytes_per_sample, uint32_t frequency, bool is_float);
// seconds 0 counts as 1.
void wav_writer_alloc_buffer(WavWriter *w, uint32_t seconds);
// Refuses a writer whose format is not set (the format messages) before creating the file.
// Creates path, or the next free "<name>_<n>.<ext>" when it is taken; returns the path created.
std::string wav_writer_open(WavWriter *w, const char *path);
void wav_writer_add_samples(WavWriter *w, const void *data, uint64_t length);
// Writes what is buffered and the pad byte of an odd data size, patches the sizes, closes and
// frees. A failure still closes the file and frees the buffer. Null or closed writers are ignored.
void wav_writer_close(WavWriter *w);
