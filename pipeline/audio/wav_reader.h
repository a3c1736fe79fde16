#pragma once
// Reader of RIFF WAVE and RF64 files holding integer PCM or float samples.
//
// A plain record: wav_reader_init, wav_reader_open, then always wav_reader_free (after a
// failed open too). Failures throw ProcessError with fixed messages; diagnostics go to
// standard output. Sample reads through the _locked call may come from several threads.
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "container/audio_sample_format.h"

// Highest sample rate accepted; a hostile header must not size buffers by a rate of 4 GHz.
constexpr uint32_t kWavMaxSampleRate = 768000;

struct WavReader {
    FILE *file;
    char *path;
    std::mutex *mutex;
    uint8_t is_rf64;
    uint16_t channels;
    uint16_t bits_per_sample;
    uint8_t is_float;
    uint32_t sample_rate;
    uint64_t file_size;
    uint64_t data_offset;  // file position of the first sample
    uint64_t nb_samples;   // sample instants
    uint64_t bytes_per_sample_instant;
    float duration;               // seconds
    uint32_t chunk_table_length;  // from ds64; 0 once accepted
    uint64_t data_size;           // bytes, as the file states them
};

void wav_reader_init(WavReader *reader);
void wav_reader_open(WavReader *reader, const char *path);
// AudioSampleFormat of the samples; AudioSampleFormat_Unsupported (printed) for others.
AudioSampleFormat wav_reader_get_format(const WavReader *reader);
// Reads min(count, nb_samples - start) sample instants into buffer; returns how many.
uint64_t wav_reader_read_samples(WavReader *reader, void *buffer, uint64_t start, uint64_t count);
uint64_t wav_reader_read_samples_locked(WavReader *reader, void *buffer, uint64_t start, uint64_t count);
// Closes the file, frees the path and the mutex. Null-safe and safe to repeat.
void wav_reader_free(WavReader *reader);
