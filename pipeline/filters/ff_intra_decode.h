#pragma once
// FFmpeg intra decode node: one compressed sample per run (ProRes, Photo-JPEG, Notch LC,
// DXV, DNxHD/DNxHR from the MOV reader) decoded by libavcodec into a raw frame of the
// requested size and PixFmt: the decoder's own planes when the picture already has that
// layout and 64-byte alignment, a plane copy when only the alignment or an alpha plane
// differs, swscale otherwise.
//
// A decoder error does not throw: the previous picture is handed on flagged
// VideoFrameError_Corrupt, with "Corrupt frame" in the node message. A frame pointing at
// the decoder's planes is valid until the node runs again.
#include <cstdint>

#include "media/video_filter.h"

struct FfIntraDecodeParams {
    uint32_t data_descriptor = VideoFrameProresData;  // 4, 5, 6, 7, 9 or 10
    uint32_t width = 0;                               // size of the delivered frame
    uint32_t height = 0;
    uint32_t codec_tag = 0;               // sample description code, first letter in the high byte ("apch")
    uint32_t sub_codec_tag = 0;           // DXV texture format ("DXT1", "DXT5", "YCG6", "YG10")
    uint32_t pix_fmt = PixFmt_Undefined;  // delivered layout
    uint8_t force_prores_10bit = 0;       // ProRes decoded as "apch": 4:4:4 comes out 10-bit
    uint8_t threaded = 0;                 // 1 slice threads (automatic count), 0 one thread
    uint8_t report_changes = 0;           // resolution, layout and alpha changes in the message
};

// The parameters for a source's samples: descriptor, size, codes and layout as given, but
// for DXV (VideoFrameDxv3Data) the layout of its texture format: "DXT1" Packed RGBX8,
// "DXT5" Packed RGBA8, "YCG6" Planar YUV 420, "YG10" Planar YUVA 420; another format
// throws "Unknown dxv codec". Options stay 0.
FfIntraDecodeParams ff_intra_decode_params(uint32_t data_descriptor, uint32_t width, uint32_t height,
                                           uint32_t codec_tag, uint32_t sub_codec_tag, uint32_t pix_fmt);
// True for the YCoCg layouts of DXV "YCG6" and "YG10": a YCoCg-to-RGB node follows the decoder.
bool ff_intra_decode_is_ycocg(const FfIntraDecodeParams &params);

// Type VideoFilterType_FfmpegDecode, one input. Throws "Invalid data descriptor",
// "Can't found video decoder" or "Can't open decoder".
VideoFilter *create_filter_ff_intra_decode(const FfIntraDecodeParams &params);
