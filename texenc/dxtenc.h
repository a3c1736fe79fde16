#pragma once
// Texture encoder: DXT1, DXT5, RGTC1 (and, through other modules, YCoCg-DXT5 and BC7)
// from raw planes. Set up a DxtEncContext once with dxtenc_init, size the output with
// dxtenc_encoded_size, then encode every frame with dxtenc_encode_frame.
#include <cstdint>

#include "texenc/ops/dxtenc_ops.h"

// Encoder context: plain data owned by the caller, no resources. Set no_alpha before
// dxtenc_init; afterwards the context is only read.
struct DxtEncContext {
    DxtEncOps ops;
    uint8_t quality;        // DxtEncQuality
    uint8_t reserved;       // stored, never read
    uint8_t no_alpha;       // 1: take the source's alpha as 255
    uint32_t codec;         // DxtEncCodec
    uint32_t pixel_format;  // DxtEncPixelFormat
    uint32_t pad_mode;      // DxtEncPadMode
    uint16_t slice_count;   // 0..64
    uint16_t width;
    uint16_t height;
    uint16_t slice_first_row[64];  // written only when slice_count >= 2
    uint16_t slice_rows[64];
};

// Sets up ctx (set ctx->no_alpha first). threads 0 means one per available processor.
// Returns 0 when ready, 1 when a parameter was refused (one message line printed on
// standard output); a refused context must not be used for encoding.
int32_t dxtenc_init(DxtEncContext *ctx, uint16_t width, uint16_t height, uint32_t codec, uint8_t quality,
                    uint8_t reserved, uint32_t pixel_format, uint32_t pad_mode, uint32_t threads, uint32_t isa_mask);

// Bytes of the encoded frame (both textures for codec 5). Computed in 64 bits; a frame
// that would need 4 GiB or more throws ProcessError "Invalid size (Out of range)".
uint32_t dxtenc_encoded_size(uint16_t width, uint16_t height, uint32_t codec, uint32_t pad_mode);
// The same without the limit.
uint64_t dxtenc_encoded_size64(uint16_t width, uint16_t height, uint32_t codec, uint32_t pad_mode);

// Encodes the whole frame into out, which holds dxtenc_encoded_size bytes. Packed layouts
// use planes[0]; planar ones planes 0..2 (0..3 with alpha). Strides are signed bytes.
void dxtenc_encode_frame(const DxtEncContext *ctx, uint8_t *out, const uint8_t *const planes[4],
                         const int64_t strides[4]);

// Encodes rows first_row .. first_row + rows - 1 from out + out_offset on, with
// encode_block_tex1 (texture 0) or encode_block_tex2 (texture 1).
void dxtenc_encode_slice(const DxtEncContext *ctx, uint8_t *out, const uint8_t *const planes[4],
                         const int64_t strides[4], uint16_t rows, uint16_t column_step, uint8_t block_bytes,
                         uint32_t first_row, uint32_t out_offset, int texture);

// Column step of a layout: bytes of four pixels in one row of one plane.
uint16_t dxtenc_column_step(uint32_t pixel_format);
