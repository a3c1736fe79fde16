#pragma once
// QuickTime MOV output: one video track of compressed frames, up to 64 PCM audio
// tracks, an optional timecode track and the user-data metadata.
//
// File layout: 32-byte "ftyp", an "mdat" with a 64-bit size (0 until close),
// samples from offset 48, then the optional 12-byte timecode "mdat" and the
// "moov", built at close. Audio is stored in one-second chunks (every track of
// a second back to back) that are reserved ahead of the video as silence and
// filled later by seeking back, so audio may arrive after all the video.
//
// One thread at a time; no lock. Every write and seek is checked and throws
// ProcessError ("Error file write" for a short write).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "container/mov/mov_writer_hl/mov_atoms.h"

class Mov_Writer_Video {
public:
    // depth: 24 or 32; format: a four-character video code ("Hap1", ...). Creates
    // path, or the next free "<name>_<n>.<ext>" when it is taken (see path()), and
    // writes the 48-byte header; throws on failure.
    Mov_Writer_Video(const char *path, uint16_t width, uint16_t height, uint8_t depth, ZRational frame_rate,
                     float pixel_ratio, const char format[4], uint32_t creation_time, bool have_timecode,
                     uint32_t timecode_start, bool drop_frame);
    // Closes the file if still open, writing nothing more (no "moov").
    ~Mov_Writer_Video();
    Mov_Writer_Video(const Mov_Writer_Video &) = delete;
    Mov_Writer_Video &operator=(const Mov_Writer_Video &) = delete;

    // Once, before the first video frame. bits: 8/16/24/32 integer, 32/64 float.
    // layout: 1 for 5.1, 4 for 7.1 (labels of the "chan" atom), 0 otherwise.
    void set_audio_tracks(uint32_t nb_tracks, uint32_t frequency, uint16_t bits, uint32_t channels, bool is_float,
                          uint32_t layout);
    // Copies everything but the version, which stays 1.
    void set_metadata(const MovUdtaMetadata &metadata);
    // Writes one sample straight from the caller's buffer.
    void write_video_frame(const uint8_t *data, uint32_t size);
    // data: nb_samples interleaved little-endian sample frames of the track.
    void write_audio_samples(const void *data, int64_t nb_samples, uint32_t track_index);
    // Writes the pending audio, the index and the "moov", then closes the file.
    void close();

    uint32_t frame_count() const { return frame_count_; }
    // The file actually created.
    const std::string &path() const { return path_; }

private:
    void open_file(const char *path);
    void check_file() const;
    void reserve_audio_chunk();
    void add_video_sample(uint64_t offset, uint32_t size);
    void check_audio_track(uint32_t track_index) const;
    void flush_audio_buffer(uint32_t track);
    void flush_partial_audio_buffers();
    void pad_audio_chunks(uint64_t sample_count);
    std::vector<uint64_t> get_audio_chunk_offsets(uint32_t track, uint64_t sample_count) const;
    // Audio sample frames per track that span the video, rounded to nearest.
    uint64_t audio_sample_count() const;

    FILE *file_ = nullptr;
    std::string path_;
    uint16_t width_;
    uint16_t height_;
    uint8_t depth_;
    uint32_t field_mode_ = 3;   // 3: no "fiel" atom
    uint32_t colour_mode_ = 2;  // 2: a "gama" atom of 2.2
    ZRational frame_rate_;
    char format_[4];
    uint32_t creation_time_;
    float pixel_ratio_;

    std::vector<uint64_t> video_offsets_;
    std::vector<uint32_t> video_sizes_;
    uint32_t frame_count_ = 0;
    uint64_t file_pos_ = 0;

    bool have_timecode_ = false;
    uint32_t timecode_start_ = 0;
    bool drop_frame_ = false;
    uint64_t timecode_offset_ = 0;

    MovUdtaMetadata metadata_;

    uint32_t audio_tracks_ = 0;
    uint32_t frequency_ = 0;
    uint16_t bits_ = 0;
    uint32_t channels_ = 0;
    bool is_float_ = false;
    uint32_t layout_ = 0;
    uint32_t bytes_per_sample_ = 0;
    uint32_t track_second_size_ = 0;
    uint32_t chunk_size_ = 0;

    uint64_t chunks_reserved_ = 0;
    std::vector<uint64_t> chunk_offsets_;

    struct AudioTrackBuffer {
        std::vector<uint8_t> buffer;  // one track-second
        uint32_t fill = 0;            // sample frames
        uint32_t chunks_written = 0;
        uint64_t samples_written = 0;
    };
    std::vector<AudioTrackBuffer> tracks_;
    std::vector<uint8_t> silence_chunk_;
    uint8_t silence_byte_ = 0;
};
