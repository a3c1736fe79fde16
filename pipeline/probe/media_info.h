#pragma once
// What a source file holds and which reader handles its video and its audio.
//
// MediaInfo is a plain record that owns its strings (heap copies, NUL-terminated) and
// its AudioInfo array. Create with new_media_info, release with free_media_info; deep
// copies through copy_media_info or clone_media_info. Failures throw ProcessError with a
// fixed message, or std::bad_alloc.
#include <cstdint>

#include "container/audio_sample_format.h"
#include "media/video_frame.h"

// Which reader decodes the video.
enum MediaInfoVideoSrc : uint32_t {
    MediaInfoVideoSrc_Image = 0,   // image file or numbered sequence (image decode nodes)
    MediaInfoVideoSrc_Mov = 1,     // the MOV reader
    MediaInfoVideoSrc_Ffmpeg = 3,  // libavformat
    MediaInfoVideoSrc_None = 4,
};

// Which reader decodes the audio.
enum MediaInfoAudioSrc : uint32_t {
    MediaInfoAudioSrc_Wav = 0,
    MediaInfoAudioSrc_Mov = 1,
    MediaInfoAudioSrc_Ffmpeg = 3,
    MediaInfoAudioSrc_None = 4,
};

// FFmpeg's first codec id for unknown codecs: "no codec id".
constexpr int32_t kMediaInfoNoCodecId = 0x18000;
constexpr uint32_t kAudioInfoMaxChannels = 64;

struct AudioInfo {
    bool enable;    // the user keeps the track
    bool is_valid;  // the probe could describe it
    bool is_planar;
    uint32_t nb_channels;
    uint32_t frequency;
    uint32_t bytes_per_sample;
    uint64_t nb_samples;    // per channel
    double duration;        // seconds
    uint32_t index_stream;  // FFmpeg stream index, or the index among the MOV audio tracks
    uint32_t track_id;      // MOV track identifier
    AudioSampleFormat format;
    int32_t ff_sample_fmt;
    bool is_pcm;  // decoded by the WAV or MOV reader
    int32_t ff_codec_id;
    char *description;
    // Mapping mask per channel: bit j set feeds output channel j (0 left, 1 right,
    // 2 centre, 3 LFE, 4 left surround, 5 right surround, 6 and 7 rear surrounds).
    uint64_t *channel_mapping;
};

struct MediaInfo {
    char *filepath;
    char *ext;                // after the last "." of the name; null without one
    char *img_seq_path_base;  // image files: the path up to the digits before the extension
    char *codec_name;
    uint32_t img_seq_digits;
    MediaInfoVideoSrc video_src_type;
    bool have_video;
    uint32_t width, height;
    ZRational pixel_ratio;
    ZRational fps;
    uint32_t nb_frames;
    bool is_vfr;
    VideoFrameDataDescriptor data_descriptor;
    PixFmt pix_fmt;
    uint32_t color_range;      // 0 limited, 1 full, 2 unknown
    uint32_t chroma_location;  // FFmpeg's location minus 1, 6 unknown
    uint32_t color_matrix;     // YUV matrix for the scale node: 1 BT.601, 3 BT.709
    uint32_t field_order;      // 1 interlaced top field first
    int32_t ff_codec_id;
    uint32_t codec_fourcc;  // first letter in the high byte
    uint32_t codec_sub_fourcc;
    int32_t ff_pix_fmt;
    bool is_hap;
    uint32_t hap_chunks;
    bool reserved[2];  // never set by the probe, copied with the record
    bool have_alpha;
    bool have_alpha_kind;
    uint32_t alpha_kind;  // 0 premultiplied, 1 straight, 2 unknown
    bool have_tc;
    uint32_t tc_start_frame;
    bool tc_drop_frame;
    uint32_t nb_audio_tracks;
    MediaInfoAudioSrc audio_src_type;
    AudioInfo *audio_tracks;
    bool force_ff;
    uint64_t mov_intra_demuxer_flags;
    ZRational max_vfr_to_cfr_fps;
    bool force_ff_audio;
};

struct MediaInfoParams {
    uint64_t mov_intra_demuxer_flags = 0;  // handed to the MOV reader
    ZRational max_vfr_to_cfr_fps{50, 1};
    bool force_ff = false;  // MOV and MP4 files through FFmpeg
};

MediaInfo *new_media_info();
// Writes the defaults; frees nothing.
void init_media_info(MediaInfo *info);
// Frees the strings and the tracks and nulls them; the record stays. Null-safe.
void clear_media_info(MediaInfo *info);
// clear_media_info, frees the record, nulls *info. Null-safe.
void free_media_info(MediaInfo **info);
// init_media_info(dst), then a deep copy of src.
void copy_media_info(MediaInfo *dst, const MediaInfo *src);

// Scale-node matrix of a YUV stream from its matrix index (ISO/IEC 23001-8, as in the
// colr atom and FFmpeg): BT.470 BG and SMPTE 170M give 1 (BT.601), BT.709 gives 3.
// Unspecified or other indexes follow the picture size: SD (up to 1024x576) is BT.601.
uint32_t media_yuv_matrix(int matrix_index, uint32_t width, uint32_t height);
MediaInfo *clone_media_info(const MediaInfo *src);

// count tracks with default fields (tracks held before are freed); 0 does nothing.
void alloc_audio_infos(MediaInfo *info, uint32_t count);
// One more default track at the end of the array; returns it.
AudioInfo *add_audio_info(MediaInfo *info);
void init_audio_info(AudioInfo *track);
// n in 1..64: nb_channels = n and masks 1 << i; otherwise "Invalid audio channels count".
void init_audio_info_channels(AudioInfo *track, uint32_t n);

// Heap copy; null for null; null (with a printed line) when memory runs out.
char *clone_str(const char *text);

// Fewer than two tracks, or every track has track 0's channels, rate and format.
bool audio_tracks_share_format(const MediaInfo *info);
// Exactly two stereo tracks: masks 1, 2 and 4, 8; otherwise false and no change.
bool map_dual_stereo_tracks(MediaInfo *info);
// Carries the enable flags and masks of old tracks over to the new record.
void copy_audio_mapping(MediaInfo *dst, const MediaInfo *old);
