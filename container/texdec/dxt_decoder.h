#pragma once
// Texture block decoders: DXT1 (BC1), DXT5 (BC3), RGTC1 (BC4 unsigned), YCoCg DXT5
// and BC7 blocks to 8-bit R, G, B, A pixels, and a walker over whole textures.
#include <cstddef>
#include <cstdint>

// Decodes one block into a 4x4 square at dst (rows line_size bytes apart, 16 bytes
// each) and returns the bytes consumed from src (8 or 16).
typedef uint32_t (*DxtBlockDecoder)(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);

uint32_t decode_block_dxt1(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
uint32_t decode_block_dxt5(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
uint32_t decode_block_ycocg_int(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
uint32_t decode_block_ycocg_float(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
uint32_t decode_block_rgtc1_grey(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
// Writes only the alpha byte of each pixel.
uint32_t decode_block_rgtc1_alpha(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);
uint32_t decode_block_bc7(uint8_t *dst, ptrdiff_t line_size, const uint8_t *src);

// The 16 values of one RGTC1 block (pixel j = 4 x row + column).
void rgtc1_unpack_block(const uint8_t *src, uint8_t values[16]);

// Texture codec numbering of the texture encoder.
enum : uint32_t {
    DxtDecCodec_DXT1 = 0,
    DxtDecCodec_DXT5 = 1,
    DxtDecCodec_RGTC1_Luma = 2,
    DxtDecCodec_RGTC1_Alpha = 3,
    DxtDecCodec_YCoCg = 4,
    DxtDecCodec_YCoCg_RGTC1 = 5,
    DxtDecCodec_BC7 = 6,
};

struct DxtDecContext {
    uint32_t codec;
    uint16_t width;
    uint16_t height;
    DxtBlockDecoder block_decoder;
    DxtBlockDecoder second_block_decoder;  // codec 5 only: the RGTC1 alpha texture
};

// 0 on success, 1 for a codec outside 0..6. A non-zero option selects the float
// YCoCg conversion for codec 5 (codec 4 always uses it).
int dxtdec_init(DxtDecContext *context, uint16_t width, uint16_t height, uint32_t codec, uint8_t option);
// Decodes ceil(w/4) x ceil(h/4) blocks stored row-major without gaps; texture1 is
// read for codec 5 only. The destination must hold rounded-up rows of 4-byte pixels.
int dxtdec_decode_frame(const DxtDecContext *context, const uint8_t *texture0, const uint8_t *texture1, uint8_t *dst,
                        ptrdiff_t line_size);
