#pragma once
// Scaled YCoCg-DXT5 (HAP Q) block encoder: the per-block work record, the kernels of every
// tier and the per-block encoders. A block is a DXT5 block whose alpha half holds the luma
// and whose colour half holds Co (5-bit red), Cg (6-bit green) and the chroma scale - 1
// (blue); stored chroma stands for (stored - 128/255) / scale + 128/255.
#include <cstdint>

#include "texenc/ops/dxtenc_ops.h"

// Filled by a conversion kernel, then read (and partly overwritten) by the stages.
// co and cg start on 32-byte boundaries: the AVX2 kernels load them aligned.
struct alignas(32) DxtEncYcocgBlock {
    float y[16];  // luma per pixel, 0..1
    float y_min;  // smallest / largest y; the luma encoders store the end points used
    float y_max;
    float pad_[6];
    alignas(32) float co[16];  // chroma per pixel, 0..1, 128/255 is zero chroma
    alignas(32) float cg[16];
    alignas(16) float box[4];  // co_min, cg_min, co_max, cg_max
};

namespace ycocg {
// Single-precision constants shared by every tier.
inline constexpr float kHalf = 0.50196081f;        // 128/255
inline constexpr float kHalfStep = 0.0019607844f;  // 1/510
inline constexpr float k32 = 0.1254902f;           // 32/255
inline constexpr float k64 = 0.2509804f;           // 64/255
inline constexpr float kInv31 = 0.032258064f;
inline constexpr float kInv63 = 0.015873017f;
inline constexpr float kThird = 0.33333334f;
inline constexpr float kTwoThirds = 0.6666667f;
inline constexpr float kSeventh = 0.14285715f;
inline constexpr float kInv255 = 0.003921569f;
inline constexpr float kInv14 = 0.071428575f;
}  // namespace ycocg

// Conversion kernels: baseline, AVX and AVX2 members by layout (null where none: layout 7
// has only the baseline; packed tables are null for planar layouts and the reverse).
extern const DxtToYcocgFn ycocg_to_ycocg_sse41[16];
extern const DxtToYcocgFn ycocg_to_ycocg_avx[16];
extern const DxtToYcocgFn ycocg_to_ycocg_avx2[16];
extern const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_sse41[16];
extern const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_avx[16];
extern const DxtToYcocgPlanarFn ycocg_to_ycocg_planar_avx2[16];

// The generic conversion behind the baseline members (layout outside the table: prints
// "Unsupported pix fmt ycocg : %d\n" and leaves the record's values undefined).
void to_ycocg_template(DxtEncYcocgBlock *block, const uint8_t *const *planes, const int64_t *strides,
                       uint64_t *all_black, uint32_t pixel_format);

// Luma (alpha half).
void ycocg_y_block_fast_sse41(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_y_block_fast_avx(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_y_block_fast_avx2(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_y_block_sse41(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_y_block_avx2(uint8_t *out, DxtEncYcocgBlock *block);
// 48-bit luma index field for float end points lo < hi.
uint64_t ycocg_y_indices_sse41(const float *y, float lo, float hi);

// Quality-1 chroma (colour half).
void ycocg_color_block_sse41(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_color_block_avx(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_color_block_avx2(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_color_block_flat_sse41(uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_color_block_flat_avx2(uint8_t *out, DxtEncYcocgBlock *block);

// Shared steps of the chroma paths.
void ycocg_select_diagonal(DxtEncYcocgBlock *block);
int ycocg_choose_scale(const float *values, int count);
// Colour index (0..3) of one pixel from its four palette distances.
inline uint32_t ycocg_color_index(float d0, float d1, float d2, float d3) {
    const uint32_t x0 = (d2 < d0) & (d2 < d1);
    const uint32_t x1 = (d3 < d0) & (d3 < d1);
    const uint32_t x2 = (d3 < d0) & (d3 < d2);
    return x2 + 2 * (x0 | x1);
}

// Quality-2 and quality-3 chroma search stages, index k = scale >> 1.
extern const DxtYcocgQuantizeFn ycocg_inset_quantize_sse41[3];
extern const DxtYcocgQuantizeFn ycocg_inset_quantize_avx2[3];
extern const DxtYcocgQuantizeFn ycocg_quantize_sse41[3];
extern const DxtYcocgQuantizeFn ycocg_quantize_avx2[3];
extern const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q2_sse41[3];
extern const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q2_avx2[3];
extern const DxtYcocgEndpointSearchFn ycocg_endpoint_search_q3_sse41[3];
extern const DxtYcocgRefineFn ycocg_refine_a_q2_sse41[3];
extern const DxtYcocgRefineFn ycocg_refine_b_q2_sse41[3];
extern const DxtYcocgRefineFn ycocg_refine_a_q3_sse41[3];
extern const DxtYcocgRefineFn ycocg_refine_b_q3_sse41[3];
extern const DxtYcocgRefineFn ycocg_refine_a_q2_avx2[3];
extern const DxtYcocgRefineFn ycocg_refine_b_q2_avx2[3];
extern const DxtYcocgRefineFn ycocg_refine_a_q3_avx2[3];
extern const DxtYcocgRefineFn ycocg_refine_b_q3_avx2[3];
void ycocg_color_indices_sse41(const float *distances, uint64_t *index_word);
void ycocg_color_indices_avx2(const float *distances, uint64_t *index_word);

// The searches: write the colour half (8 bytes at out); may exchange cg_min and cg_max.
void ycocg_color_search_q2(const DxtEncOps &ops, uint8_t *out, DxtEncYcocgBlock *block);
void ycocg_color_search_q3(const DxtEncOps &ops, uint8_t *out, DxtEncYcocgBlock *block);

// Per-block encoders (encode_block_tex1 of codecs 4 and 5).
void encode_block_ycocg_q1_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);
void encode_block_ycocg_q1_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);
void encode_block_ycocg_q2_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);
void encode_block_ycocg_q2_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);
void encode_block_ycocg_q3_packed(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);
void encode_block_ycocg_q3_planar(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);

// Tier bits after the processor check, as dxtenc_init sees them.
struct YcocgTiers {
    bool any;   // 0x08
    bool avx;   // 0x20
    bool fma;   // 0x40
    bool avx2;  // 0x80
};

// Fills encode_block_tex1 and every field the YCoCg-DXT5 texture uses at this quality
// (1..3) and layout (0..15), baseline first, then the members the tiers allow.
void ycocg_init_ops(DxtEncOps *ops, int quality, uint32_t pixel_format, const YcocgTiers &tiers);
