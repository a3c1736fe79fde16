#pragma once
// Members of the texture encoder's kernel families, by tier. dxtenc_init picks one member
// of each field; tests call them directly to compare tiers.
#include <cstdint>

#include "texenc/ops/dxtenc_ops.h"

// Expansion of 5-bit (entries 0..31) and 6-bit (entries 32..95) values to 8 bits.
extern const uint8_t dxt_expand_table[96];

// Single-colour tables: per 8-bit value, the (high, low) pair whose 2/3 : 1/3 mix codes it.
struct DxtSingleColorEntry {
    uint8_t high, low;
};
extern const DxtSingleColorEntry *const dxt_single_color_lut5;
extern const DxtSingleColorEntry *const dxt_single_color_lut6;
// One-colour tables: exact candidate (a, 0, error a) and interpolated (x, y, error b).
struct DxtOneColorEntry {
    uint8_t a, zero, error_a, x, y, error_b;
};
extern const DxtOneColorEntry *const dxt_one_color_lut5;
extern const DxtOneColorEntry *const dxt_one_color_lut6;

// Edge-block completion: one member per layout and mode (repeat, black, zero).
#define DXTENC_PAD_DECL(stem)                                                                                       \
    void pad_partial_block_##stem##_repeat(uint8_t *, const uint8_t *const *, const int64_t *, uint32_t, uint32_t); \
    void pad_partial_block_##stem##_black(uint8_t *, const uint8_t *const *, const int64_t *, uint32_t, uint32_t);  \
    void pad_partial_block_##stem##_zero(uint8_t *, const uint8_t *const *, const int64_t *, uint32_t, uint32_t);
DXTENC_PAD_DECL(argb8)
DXTENC_PAD_DECL(bgra8)
DXTENC_PAD_DECL(rgba8)
DXTENC_PAD_DECL(argb16)
DXTENC_PAD_DECL(argb16_scaled)
DXTENC_PAD_DECL(rgba16)
DXTENC_PAD_DECL(argb32f)
DXTENC_PAD_DECL(rgb8)
DXTENC_PAD_DECL(bgr8)
DXTENC_PAD_DECL(planar_rgba8)
DXTENC_PAD_DECL(planar_rgb8)
DXTENC_PAD_DECL(planar_rgb10)
DXTENC_PAD_DECL(planar_rgb12)
DXTENC_PAD_DECL(planar_rgba16)
DXTENC_PAD_DECL(planar_rgb16)
#undef DXTENC_PAD_DECL
// The generic routine behind them (prints and writes nothing for a layout above 15).
void pad_partial_block(uint8_t *scratch, const uint8_t *const *planes, const int64_t *strides, uint32_t cols,
                       uint32_t rows, uint32_t pixel_format, uint32_t pad_mode);
// Member of the field for a layout (0..15) and pad mode.
DxtPadPartialBlockFn dxtenc_pad_member(uint32_t pixel_format, uint32_t pad_mode);

// Member tables by layout (index 0..15; null where a layout has no member).
extern const DxtToPlanarRgbFn dxtenc_to_planar_rgb_sse41[16];
extern const DxtToPlanarRgbFn dxtenc_to_planar_rgb_avx[16];
extern const DxtToPlanarRgbFn dxtenc_to_planar_rgb_range_sse41[16];
extern const DxtToPlanarRgbFn dxtenc_to_planar_rgb_range_avx[16];
extern const DxtToAlphaFn dxtenc_to_alpha_sse41[16];
extern const DxtToAlphaFn dxtenc_to_alpha_avx[16];
extern const DxtToLumaFn dxtenc_to_luma_sse41[16];
extern const DxtToLumaFn dxtenc_to_luma_avx[16];
extern const DxtBc7GatherFn dxtenc_bc7_gather_sse41[16];         // with source alpha
extern const DxtBc7GatherFn dxtenc_bc7_gather_opaque_sse41[16];  // alpha 255

void to_alpha_opaque(uint8_t *values, const uint8_t *, const uint8_t *, int64_t, int64_t, uint64_t *min, uint64_t *max);

// Generic baseline routines (flag / form 0 alpha or same-colour, 1 luma or range).
void to_alpha_template(uint8_t *values, const uint8_t *const *planes, const int64_t *strides, uint64_t *min,
                       uint64_t *max, uint32_t pixel_format, int luma);
void to_planar_rgb_template_c(uint8_t *planar, const uint8_t *plane0, const uint8_t *plane1, const uint8_t *plane2,
                              int64_t stride0, int64_t stride1, int64_t stride2, uint64_t *result,
                              uint32_t pixel_format, int form);

void alpha_inner_minmax_sse41(const uint8_t *values, uint64_t *min, uint64_t *max);
void alpha_inner_minmax_avx(const uint8_t *values, uint64_t *min, uint64_t *max);
void alpha_block_indices_sse41(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error);
void alpha_block_indices_avx(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error);
void alpha_block_indices_avx2(const uint8_t *values, const uint8_t *palette, uint8_t *indices, uint64_t *error);

void fast_fit_endpoints_sse41(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats);
void fast_fit_endpoints_avx(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats);
void fast_fit_endpoints_avx2(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats);
void fast_fit_indices_sse41(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word,
                            const uint8_t *expand_table);
void fast_fit_indices_avx(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word,
                          const uint8_t *expand_table);
void fast_fit_indices_avx2(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word,
                           const uint8_t *expand_table);
void fast_fit_refine_sse41(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                           const DxtBlockStats *stats);
void fast_fit_refine_avx(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                         const DxtBlockStats *stats);
void fast_fit_refine_avx2(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                          const DxtBlockStats *stats);

// Fits an RGTC1 block (8 bytes) to 16 values whose minimum and maximum differ.
void encode_alpha_block(const uint8_t *values, uint64_t min, uint64_t max, uint8_t *out, const DxtEncOps &ops);

// Per-block encoders.
void encode_block_dxt1_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_dxt5_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_dxt1_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_dxt5_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_dxt1_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_dxt5_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_rgtc1_luma(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_rgtc1_alpha(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
