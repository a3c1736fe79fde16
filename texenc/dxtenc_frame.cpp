// Frame encoding: texture sizes, horizontal slices, the block walk and edge blocks.
#include "platform/core/dispatch.h"
#include "platform/core/errors.h"
#include "texenc/dxtenc.h"

namespace {

// Bytes per block of texture 1 (texture 2 of codec 5 has 8).
uint32_t tex1_block_bytes(uint32_t codec) {
    switch (codec) {
    case DXTENC_CODEC_DXT1:
    case DXTENC_CODEC_RGTC1_LUMA:
    case DXTENC_CODEC_RGTC1_ALPHA: return 8;
    case DXTENC_CODEC_DXT5:
    case DXTENC_CODEC_YCOCG_DXT5:
    case DXTENC_CODEC_YCOCG_DXT5_ALPHA:
    case DXTENC_CODEC_BC7: return 16;
    default: return 24;
    }
}

uint64_t blocks_along(uint32_t n, uint32_t pad_mode) {
    return n / 4 + ((n % 4) != 0 && pad_mode != DXTENC_PAD_SKIP ? 1 : 0);
}

int plane_count(uint32_t pixel_format) {
    switch (pixel_format) {
    case DXTENC_PIX_PLANAR_RGBA8:
    case DXTENC_PIX_PLANAR_RGBA16: return 4;
    case DXTENC_PIX_PLANAR_RGB8:
    case DXTENC_PIX_PLANAR_RGB10:
    case DXTENC_PIX_PLANAR_RGB12:
    case DXTENC_PIX_PLANAR_RGB16: return 3;
    default: return 1;
    }
}

}  // namespace

uint16_t dxtenc_column_step(uint32_t pixel_format) {
    if (pixel_format <= 3) return 16;
    if (pixel_format <= 6) return 32;
    if (pixel_format == 7) return 64;
    if (pixel_format <= 9) return 12;
    if (pixel_format <= 11) return 4;
    return 8;
}

uint64_t dxtenc_encoded_size64(uint16_t width, uint16_t height, uint32_t codec, uint32_t pad_mode) {
    const uint64_t per_block = codec == DXTENC_CODEC_YCOCG_DXT5_ALPHA ? 24 : tex1_block_bytes(codec);
    return blocks_along(width, pad_mode) * blocks_along(height, pad_mode) * per_block;
}

uint32_t dxtenc_encoded_size(uint16_t width, uint16_t height, uint32_t codec, uint32_t pad_mode) {
    const uint64_t size = dxtenc_encoded_size64(width, height, codec, pad_mode);
    if (size >= (uint64_t(1) << 32)) throw_process_error("Invalid size (Out of range)");
    return uint32_t(size);
}

void dxtenc_encode_slice(const DxtEncContext *ctx, uint8_t *out, const uint8_t *const planes[4],
                         const int64_t strides[4], uint16_t rows, uint16_t column_step, uint8_t block_bytes,
                         uint32_t first_row, uint32_t out_offset, int texture) {
    const DxtEncOps &ops = ctx->ops;
    const DxtEncodeBlockFn encode = texture ? ops.encode_block_tex2 : ops.encode_block_tex1;
    const int nplanes = plane_count(ctx->pixel_format);
    const uint32_t whole_cols = ctx->width / 4, rest_cols = ctx->width % 4;
    const bool pad = ctx->pad_mode != DXTENC_PAD_SKIP;

    // Edge blocks are completed into this scratch block (plane k at k * 4 column steps).
    alignas(64) uint8_t scratch[4 * 4 * 64];
    const uint8_t *scratch_planes[4];
    int64_t scratch_strides[4];
    for (int k = 0; k < 4; k++) {
        scratch_planes[k] = scratch + k * 4 * column_step;
        scratch_strides[k] = column_step;
    }

    const uint8_t *base[4] = {};
    for (int k = 0; k < nplanes; k++) base[k] = planes[k] + int64_t(first_row) * strides[k];
    uint8_t *dst = out + out_offset;
    const uint8_t *p[4] = {};

    const uint32_t strips = rows / 4, rest_rows = rows % 4;
    for (uint32_t j = 0; j < strips; j++) {
        for (int k = 0; k < nplanes; k++) p[k] = base[k] + int64_t(4 * j) * strides[k];
        for (int k = nplanes; k < 4; k++) p[k] = planes[k];
        for (uint32_t x = 0; x < whole_cols; x++) {
            encode(dst, p, strides, ops);
            for (int k = 0; k < nplanes; k++) p[k] += column_step;
            dst += block_bytes;
        }
        if (rest_cols && pad) {
            ops.pad_partial_block(scratch, p, strides, rest_cols, 4);
            encode(dst, scratch_planes, scratch_strides, ops);
            dst += block_bytes;
        }
    }
    if (rest_rows && pad) {
        for (int k = 0; k < nplanes; k++) p[k] = base[k] + int64_t(4 * strips) * strides[k];
        for (int k = nplanes; k < 4; k++) p[k] = planes[k];
        for (uint32_t x = 0; x < whole_cols; x++) {
            ops.pad_partial_block(scratch, p, strides, 4, rest_rows);
            encode(dst, scratch_planes, scratch_strides, ops);
            for (int k = 0; k < nplanes; k++) p[k] += column_step;
            dst += block_bytes;
        }
        if (rest_cols) {
            ops.pad_partial_block(scratch, p, strides, rest_cols, rest_rows);
            encode(dst, scratch_planes, scratch_strides, ops);
        }
    }
}

void dxtenc_encode_frame(const DxtEncContext *ctx, uint8_t *out, const uint8_t *const planes[4],
                         const int64_t strides[4]) {
    const uint32_t bytes1 = tex1_block_bytes(ctx->codec);
    const bool two_textures = ctx->codec == DXTENC_CODEC_YCOCG_DXT5_ALPHA;
    const uint64_t bx = blocks_along(ctx->width, ctx->pad_mode);
    const uint64_t by = blocks_along(ctx->height, ctx->pad_mode);
    uint8_t *out2 = two_textures ? out + by * bx * 16 : nullptr;

    const uint8_t *p[4] = {planes[0], planes[1], planes[2], planes[3]};
    int64_t s[4] = {strides[0], strides[1], strides[2], strides[3]};
    const uint16_t step = dxtenc_column_step(ctx->pixel_format);
    if (ctx->pixel_format == DXTENC_PIX_BGRA8_BOTTOM_UP && ctx->height > 0) {
        // Read bottom-up rows through a top-down view.
        p[0] += int64_t(ctx->height - 1) * s[0];
        s[0] = -s[0];
    }

    if (ctx->slice_count <= 1) {
        dxtenc_encode_slice(ctx, out, p, s, ctx->height, step, uint8_t(bytes1), 0, 0, 0);
        if (two_textures) dxtenc_encode_slice(ctx, out2, p, s, ctx->height, step, 8, 0, 0, 1);
        return;
    }
    const uint64_t row_bytes1 = bx * bytes1, row_bytes2 = two_textures ? bx * 8 : 0;
    dispatch_apply(ctx->slice_count, [&](size_t i) {
        const uint32_t f = ctx->slice_first_row[i];
        const uint16_t n = ctx->slice_rows[i];
        dxtenc_encode_slice(ctx, out, p, s, n, step, uint8_t(bytes1), f, uint32_t(f / 4 * row_bytes1), 0);
        if (two_textures) dxtenc_encode_slice(ctx, out2, p, s, n, step, 8, f, uint32_t(f / 4 * row_bytes2), 1);
    });
}
