#pragma once
// QuickTime MOV reader: walks the atom tree once at open and keeps what the video
// source, the PCM audio source and the media probe need. Samples stay in the file and
// are read later by offset through `file`.
//
// The record is plain: callers embed it, call mov_reader_init or mov_reader_open, and
// always mov_reader_close afterwards (also after a failed open). Errors are thrown as
// ProcessError with a fixed text; diagnostics go to standard output.
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "container/audio_sample_format.h"
#include "media/video_frame.h"  // ZRational


// Option bits of mov_intra_demuxer_flags.
enum : uint64_t {
    MOV_FLAG_DESCRIBE_ONLY = 0x02,  // no frame index, no audio chunk tables
    MOV_FLAG_VFR_KEEP_SAMPLES = 0x04,
    MOV_FLAG_IGNORE_AUDIO = 0x08,
    MOV_FLAG_VFR_LIMIT_FPS = 0x10,  // cap the constant rate at max_vfr_to_cfr_fps
    MOV_FLAG_SKIP_PRORES_ALPHA_CHECK = 0x20,
};

// warning_flags bits.
enum : uint64_t {
    MOV_WARNING_INDEX_INCOMPLETE = 0x02,
    MOV_WARNING_INVALID_DURATION = 0x08,
    MOV_WARNING_FILE_INCOMPLETE = 0x10,
};

// More frames than this are refused: the index would not fit in memory sensibly, and a
// hostile header could otherwise ask for billions of entries.
constexpr uint32_t MOV_READER_MAX_FRAMES = 1u << 24;

struct MovReaderParams {
    const char *path = nullptr;
    uint64_t mov_intra_demuxer_flags = 0;
    ZRational max_vfr_to_cfr_fps{60, 1};
};

struct MovSeekEntry {
    uint64_t offset;  // absolute file offset
    uint32_t size;
};

struct MovAudioChunk {
    uint64_t offset;
    uint32_t nb_samples;
};

struct MovAudioTrack {
    uint8_t track_flags;  // 0x02 chunk table cut (chunk outside the file), 0x04 parse failed
    uint32_t codec;       // four characters, big-endian number
    uint32_t channels;
    uint32_t sample_rate;
    bool pcm_supported;
    uint32_t pcm_flags;  // 0x01 float, 0x02 big-endian, 0x04 signed integer, 0x08 packed
    uint32_t bits_per_sample;
    uint64_t nb_samples;  // sample frames
    uint64_t bytes_per_frame;
    uint32_t *channel_labels;  // owned, `channels` entries or null
    MovAudioChunk *chunks;     // owned
    uint32_t nb_chunks;
    uint32_t first_run_chunks;
    uint32_t first_run_samples_per_chunk;
    uint32_t track_id;  // from the trak's tkhd
};

struct MovReader {
    char *path;
    uint64_t flags;
    ZRational max_vfr_to_cfr_fps;
    FILE *file;
    uint64_t file_size;
    // Serialises users of the shared stream position (audio reads, first-sample probes).
    std::mutex *audio_mutex;
    uint32_t nb_video_tracks;
    uint32_t nb_audio_tracks;
    bool video_codec_supported;
    bool is_vfr;
    uint32_t vfr_dropped_frames;
    uint32_t vfr_duplicated_frames;
    uint32_t width, height;
    double fps;
    ZRational fps_rational;
    uint32_t nb_frames;
    uint32_t codec;
    uint32_t codec_variant;
    uint16_t depth;
    ZRational pixel_aspect;
    bool have_color_range, is_full_range;
    uint16_t color_matrix;  // matrix index of the colr atom (2 unspecified)
    bool have_field_info;
    uint8_t field_count;
    uint8_t field_detail;
    bool have_timecode;
    uint32_t tc_start_frame;
    uint32_t tc_flags;
    uint32_t alfa_alpha_mode;  // 0 none, 2 premultiplied, 3 straight
    bool meta_set;
    uint16_t meta_version;
    uint8_t meta_alpha_mode;  // 0 unspecified, 1 premultiplied on black, 2 straight
    uint8_t meta_have_crop;
    uint32_t meta_display_w, meta_display_h, meta_crop_x, meta_crop_y;
    MovSeekEntry *seek_table;  // owned, nb_frames entries
    uint64_t warning_flags;
    MovAudioTrack *audio_tracks;  // owned, nb_audio_tracks entries
};

void mov_reader_init(MovReader *reader);
void mov_reader_open(MovReader *reader, const MovReaderParams *params);
void mov_reader_close_file(MovReader *reader);
void mov_reader_free_tables(MovReader *reader);
void mov_reader_close(MovReader *reader);
bool mov_fiel_is_progressive(const MovReader *reader);
bool mov_fiel_is_top_field_first(const MovReader *reader);

// Copies up to count sample frames of a PCM track, from sample frame first_sample on,
// back to back into buffer (count x bytes_per_frame bytes). Locks audio_mutex.
uint64_t mov_reader_read_audio(MovReader *reader, void *buffer, uint32_t track_index, uint64_t first_sample,
                               uint64_t count);
AudioSampleFormat mov_reader_get_pcm_format(const MovAudioTrack *track);
