#pragma once
// The frame record of the media pipeline: raw pixels in one of the PixFmt layouts,
// one compressed sample of a source codec, or the texture planes of one HAP frame.
//
// Owned planes (is_external 0) are 64-byte aligned and released with the frame.
// Every failure throws ProcessError with a fixed message, or std::bad_alloc.
// No function here takes a lock: a frame is written by one thread at a time.
#include <cstddef>
#include <cstdint>

// --- Error flags (VideoFrame::error_flags) -------------------------------------------
constexpr uint32_t VideoFrameError_Corrupt = 0x02;
constexpr uint32_t VideoFrameError_InvalidCodec = 0x04;
constexpr uint32_t VideoFrameError_InvalidResolution = 0x08;
constexpr uint32_t VideoFrameError_InvalidPixFmt = 0x10;
constexpr uint32_t VideoFrameError_ReadFailed = 0x20;

// Text of the first flag set, in the order 0x02, 0x04, 0x08, 0x10, 0x20
// ("Corrupt frame" ... "Fail to read frame"); "Unknown error (flags unknown)" for a
// non-zero word with none of them; nullptr for 0.
const char *get_video_frame_error_text(uint32_t error_flags);

// --- Rectangle information (written by crop detection, copied with the header) ---------
constexpr uint32_t VideoFrameRect_NoContent = 0x02;  // no visible content
constexpr uint32_t VideoFrameRect_Valid = 0x04;      // rect holds the visible rectangle

struct zrect {
    uint32_t x;
    uint32_t y;
    uint32_t w;
    uint32_t h;
};

// --- What a frame holds ------------------------------------------------------------
enum VideoFrameDataDescriptor : uint32_t {
    VideoFrameHapData = 0,
    VideoFramePngData = 1,
    VideoFrameJpegData = 2,
    VideoFrameTiffData = 3,
    VideoFrameProresData = 4,
    VideoFramePhotoJpegData = 5,
    VideoFrameNotchLcData = 6,
    VideoFrameDxv3Data = 7,
    VideoFrameExrData = 8,
    VideoFrameDnxHDData = 9,
    VideoFrameDnxHRData = 10,
    VideoFramePsdData = 11,
    VideoFrameHdrData = 12,
    VideoFrameDxtData_HAP = 13,           // one DXT1 plane
    VideoFrameDxtData_HAPA = 14,          // one DXT5 plane
    VideoFrameDxtData_HAPQ = 15,          // one YCoCg-DXT5 plane
    VideoFrameDxtData_HAPQA = 16,         // YCoCg-DXT5 plane, then RGTC1 alpha plane
    VideoFrameDxtData_HAPAlphaOnly = 17,  // one RGTC1 plane
    VideoFrameDxtData_HAPR = 18,          // one BC7 plane
    VideoFrameUnknown = 19,               // raw pixels described by pix_fmt
};

// --- Raw pixel layouts ---------------------------------------------------------------
// Comments give the display name printed in messages (get_pix_fmt_name).
enum PixFmt : uint32_t {
    PixFmt_ARGB8 = 0,           // "Packed ARGB8"
    PixFmt_RGBA8 = 1,           // "Packed RGBA8"
    PixFmt_RGB8 = 2,            // "Packed RGB8"
    PixFmt_BGR8 = 3,            // "Packed BGR8"
    PixFmt_RGBX8 = 4,           // "Packed RGBX8"
    PixFmt_RGBA16 = 5,          // "Packed RGBA16 LE"
    PixFmt_RGBX16 = 6,          // "Packed RGBX16 LE"
    PixFmt_RGBA32F = 7,         // "Packed RGBA32f LE"
    PixFmt_RGBX32F = 8,         // "Packed RGBX32f LE"
    PixFmt_PlanarRGB8 = 9,      // "Planar RGB8"
    PixFmt_PlanarRGBA8 = 10,    // "Planar RGBA8"
    PixFmt_PlanarRGB10 = 11,    // "Planar RGB 10 bits LE"
    PixFmt_PlanarRGB12 = 12,    // "Planar RGB 12 bits LE"
    PixFmt_PlanarRGB16 = 13,    // "Planar RGB 16 bits LE"
    PixFmt_PlanarRGBA16 = 14,   // "Planar RGBA 16 bits LE"
    PixFmt_PlanarRGB32F = 15,   // "Planar RGB 32f LE"
    PixFmt_PlanarRGBA32F = 16,  // "Planar RGBA 32f LE"
    PixFmt_Grey8 = 17,          // "Planar Grey8"
    PixFmt_Grey10 = 18,         // "Planar Grey 10 bits LE"
    PixFmt_Grey12 = 19,         // "Planar Grey 12 bits LE"
    PixFmt_Grey16 = 20,         // "Planar Grey 16 bits LE"
    PixFmt_Grey32F = 21,        // "Planar Grey 32f bits LE"
    PixFmt_YUV420 = 22,         // "Planar YUV 420"
    PixFmt_YUV422 = 23,         // "Planar YUV 422"
    PixFmt_YUV444 = 24,         // "Planar YUV 444"
    PixFmt_YUVA420 = 25,        // "Planar YUVA 422" (planes really are 4:2:0)
    PixFmt_YUVA444 = 26,        // "Planar YUVA 444"
    PixFmt_YUV420_10 = 27,      // "Planar YUV 420 10 bits LE"
    PixFmt_YUV422_10 = 28,      // "Planar YUV 422 10 bits LE"
    PixFmt_YUV444_10 = 29,      // "Planar YUV 444 10 bits LE"
    PixFmt_YUVA444_10 = 30,     // "Planar YUVA 444 10 bits LE"
    PixFmt_YUV422_12 = 31,      // "Planar YUV 422 12 bits LE"
    PixFmt_YUV444_12 = 32,      // "Planar YUV 444 12 bits LE"
    PixFmt_YUVA444_12 = 33,     // "Planar YUVA 444 12 bits LE"
    PixFmt_UYVY = 34,           // "Packed UYVY (422)": 2 pixels in 4 bytes
    PixFmt_V210 = 35,           // "Packed V210 (42210LE)": 6 pixels in 16 bytes
    PixFmt_UYVYA = 36,          // "Packed UYVY A (422)": UYVY plane + 8-bit alpha plane, one block
    PixFmt_CMYK8 = 37,          // "Packed CMYK8"
    PixFmt_CMYKA8 = 38,         // "Packed CMYKA8"
    PixFmt_Undefined = 39,      // "Undefined (Unknown)": no descriptor
};
constexpr uint32_t kPixFmtCount = 40;

// --- Layout descriptions -------------------------------------------------------------
constexpr uint32_t PixDesc_Alpha = 0x02;
constexpr uint32_t PixDesc_Packed = 0x04;
constexpr uint32_t PixDesc_Planar = 0x08;  // grey counts as planar
constexpr uint32_t PixDesc_Grey = 0x10;
constexpr uint32_t PixDesc_Rgb = 0x20;
constexpr uint32_t PixDesc_Yuv = 0x40;
constexpr uint32_t PixDesc_420 = 0x100;
constexpr uint32_t PixDesc_422 = 0x200;
constexpr uint32_t PixDesc_444 = 0x400;
constexpr uint32_t PixDesc_Cmyk = 0x800;
constexpr uint32_t PixDesc_Float = 0x1000;

struct PixDescriptor {
    uint8_t nb_planes = 1;
    uint32_t flags = 0;
    uint8_t bytes_per_pixel[4] = {0, 0, 0, 0};  // UYVY: per pair of pixels; V210: unused
    uint8_t bit_depth[4] = {0, 0, 0, 0};
    uint32_t sub_w[4] = {1, 1, 1, 1};  // horizontal division of the plane (1 or 2, rounded up)
    uint32_t sub_h[4] = {1, 1, 1, 1};  // vertical division
};

// Codes 0 to 38 their row; 39 throws "Can't get pix descriptor : Unknown pixfmt";
// codes above 39 give the defaults (1 plane, flags 0).
void get_pix_descriptor(PixDescriptor *desc, PixFmt pix_fmt);
PixDescriptor get_pix_descriptor(PixFmt pix_fmt);

// Display name; "Unknown pix fmt" above 39.
const char *get_pix_fmt_name(PixFmt pix_fmt);
// Enumerator name ("VideoFrameHapData"...); "Unknown data descriptor" above 19.
const char *get_data_descriptor_name(VideoFrameDataDescriptor descriptor);

// --- Small shared records ------------------------------------------------------------
struct ZRational {
    uint32_t num;
    uint32_t den;
};

// --- The frame ----------------------------------------------------------------------
struct VideoFrame {
    uint32_t error_flags;
    uint8_t is_raw;
    VideoFrameDataDescriptor data_descriptor;
    PixFmt pix_fmt;
    uint32_t width;  // visible size
    uint32_t height;
    uint32_t alloc_width;  // size the planes were allocated for
    uint32_t alloc_height;
    uint32_t nb_planes;  // 0 to 4
    uint8_t *data[4];
    int64_t linesize[4];  // negative: plane read bottom-up from data[i]
    uint32_t alloc_size[4];
    uint32_t data_size[4];  // compressed sample: its length (64 spare bytes follow)
    uint32_t frame_index;
    uint8_t block_bytes[2];  // bytes per 4x4 block of texture planes 0 and 1
    uint8_t is_external;     // planes belong to someone else
    uint32_t rect_flags;     // VideoFrameRect_*
    zrect rect;
};

// Frame slots; whoever creates the array creates and destroys the frames in it.
struct ArrayVideoFrame {
    VideoFrame **array;
    uint32_t count;
};

// --- Lifetime ------------------------------------------------------------------------
VideoFrame *video_frame_new();
// Resets a record in place, releasing nothing (for frames embedded in other records).
void video_frame_init(VideoFrame *frame);
// Releases owned planes and nulls their pointers; sizes and nb_planes stay.
// Packed UYVY A releases its single block once.
void video_frame_free_planes(VideoFrame *frame);
// Frees planes and record, then nulls *frame. Null-safe.
void video_frame_destroy(VideoFrame **frame);

// --- Raw frames ----------------------------------------------------------------------
// Owned planes for a raw layout (align: every line rounded up to 64 bytes). Planes held
// before are released. A plane of 4 GiB or more throws "Invalid plane size".
// error_flags, data_descriptor and frame_index are left alone.
void video_frame_alloc(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align);
// Allocates for round_width x round_height, then keeps width x height as visible size.
// A rounded size below the visible one throws "Invalid round resolution".
void video_frame_alloc_round(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align,
                             uint32_t round_width, uint32_t round_height);
// Keeps the planes (and their pixels) while size and layout stay; otherwise the frame
// gets new owned planes and becomes raw, owning, VideoFrameUnknown.
void video_frame_realloc_if_changed(VideoFrame *frame, uint32_t width, uint32_t height, PixFmt pix_fmt, uint8_t align);
// Makes the frame describe caller-owned planes. A negative line size describes a plane
// read bottom-up; plane size = |line size| x rows, and 0xFFFFFFFF or more throws
// "Invalid plane size". data_descriptor is not changed.
void video_frame_set_external_planes(VideoFrame *frame, uint8_t *const planes[4], const int64_t linesizes[4],
                                     uint32_t width, uint32_t height, PixFmt pix_fmt);

// --- Texture frames ------------------------------------------------------------------
// Owned texture planes for descriptors 13 to 18 (others: "DXT frame : invalid dxt codec").
// alloc size = visible size rounded up to 4; line = one row of blocks.
void video_frame_alloc_dxt(VideoFrame *frame, uint32_t width, uint32_t height, VideoFrameDataDescriptor descriptor);

// --- Compressed samples --------------------------------------------------------------
// One owned buffer of at least length + 64 bytes (reused while it is large enough);
// data_size[0] = length, frame_index 0. The caller reads the sample into data[0].
void video_frame_alloc_compressed(VideoFrame *frame, uint32_t length, VideoFrameDataDescriptor descriptor);
// Describes a sample living in the caller's buffer (external, one plane).
void video_frame_set_compressed_data(VideoFrame *frame, uint8_t *buffer, uint32_t length,
                                     VideoFrameDataDescriptor descriptor);

// --- Copies --------------------------------------------------------------------------
// dst becomes an external view of src's planes (header, planes and rectangle).
void video_frame_copy_header(VideoFrame *dst, const VideoFrame *src);
// Copies plane contents into an already allocated, compatible dst; frame_index follows.
// Never writes past dst's planes nor reads past src's.
void video_frame_copy(VideoFrame *dst, const VideoFrame *src);

// --- Texture sizing ------------------------------------------------------------------
enum DxtCodec : uint32_t {
    DxtCodec_DXT1 = 0,   // 8 bytes per block
    DxtCodec_DXT5 = 1,   // 16
    DxtCodec_RGTC1 = 2,  // 8
    DxtCodec_BC7 = 3,    // 16
};

// Blocks of 4 pixels covering n pixels (n / 4 rounded up).
uint32_t get_dxt_block_count(uint32_t n);
// (n + 3) with the two low bits cleared.
uint32_t round_up_mult_4(uint32_t n);
// 8, 16, 8, 16; other codecs throw "Unknown dxt codec".
uint32_t get_dxt_block_bytes(DxtCodec codec);
// Bytes of a whole texture. A size of 4 GiB or more throws "Invalid plane size".
uint32_t get_dxt_data_size(uint32_t width, uint32_t height, DxtCodec codec);
