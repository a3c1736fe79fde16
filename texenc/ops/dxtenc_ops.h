#pragma once
// Declarations every texture-encoder library shares: the kernel table, its kernel
// signatures, the enumerations and the records the kernels exchange. Each library that
// fills fields of the table declares its own set-up functions.
//
// The table is filled once by dxtenc_init and only read afterwards; every kernel is a
// pure function of its arguments, so any number of slice workers call them at once.
#include <cstdint>

// ---------------------------------------------------------------------------------------
// Enumerations (stored as plain 32-bit / 8-bit words: callers may pass any value and
// dxtenc_init refuses the ones it does not know).

enum DxtEncCodec : uint32_t {
    DXTENC_CODEC_DXT1 = 0,              // 8 bytes per block
    DXTENC_CODEC_DXT5 = 1,              // 16
    DXTENC_CODEC_RGTC1_LUMA = 2,        // 8
    DXTENC_CODEC_RGTC1_ALPHA = 3,       // 8
    DXTENC_CODEC_YCOCG_DXT5 = 4,        // 16
    DXTENC_CODEC_YCOCG_DXT5_ALPHA = 5,  // 16 (texture 1) + 8 (texture 2)
    DXTENC_CODEC_BC7 = 6,               // 16
};

enum DxtEncQuality : uint8_t {
    DXTENC_QUALITY_FAST = 1,
    DXTENC_QUALITY_NORMAL = 2,
    DXTENC_QUALITY_SLOW = 3,
};

enum DxtEncPixelFormat : uint32_t {
    DXTENC_PIX_ARGB8 = 0,
    DXTENC_PIX_BGRA8 = 1,
    DXTENC_PIX_BGRA8_BOTTOM_UP = 2,  // encoded through a flipped view of layout 1
    DXTENC_PIX_RGBA8 = 3,
    DXTENC_PIX_ARGB16 = 4,
    DXTENC_PIX_ARGB16_SCALED = 5,  // samples 0..0x8000
    DXTENC_PIX_RGBA16 = 6,
    DXTENC_PIX_ARGB32F = 7,  // four floats A, R, G, B (YCoCg-DXT5 and RGTC1 alpha only)
    DXTENC_PIX_RGB8 = 8,
    DXTENC_PIX_BGR8 = 9,
    DXTENC_PIX_PLANAR_RGBA8 = 10,
    DXTENC_PIX_PLANAR_RGB8 = 11,
    DXTENC_PIX_PLANAR_RGB10 = 12,  // 10 bits in 16
    DXTENC_PIX_PLANAR_RGB12 = 13,  // 12 bits in 16
    DXTENC_PIX_PLANAR_RGBA16 = 14,
    DXTENC_PIX_PLANAR_RGB16 = 15,
};

// Kernel tiers the caller allows; dxtenc_init clears the bits the processor lacks.
enum DxtEncIsa : uint32_t {
    DXTENC_ISA_ANY = 0x08,   // without it every field keeps its baseline member
    DXTENC_ISA_NONE = 0x10,  // no effect
    DXTENC_ISA_AVX = 0x20,
    DXTENC_ISA_FMA = 0x40,
    DXTENC_ISA_AVX2 = 0x80,
};

// Completion of blocks that reach past the right or bottom edge.
enum DxtEncPadMode : uint32_t {
    DXTENC_PAD_REPEAT = 0,  // repeat the last column and row
    DXTENC_PAD_BLACK = 1,   // opaque black
    DXTENC_PAD_ZERO = 2,    // all bytes zero (any value above 3 too)
    DXTENC_PAD_SKIP = 3,    // only whole blocks are encoded
};

// ---------------------------------------------------------------------------------------
// Records the kernels exchange.

// Per-channel sums and rounded means (sum + 8) >> 4 of a block's red, green and blue;
// the fourth lanes are not read.
struct alignas(16) DxtBlockStats {
    int32_t sum[4];
    int32_t mean[4];
};

// The distinct colours of a 4x4 block, in order of first appearance.
struct alignas(16) DxtColorSet {
    uint64_t count;                   // 1..16 after gathering
    alignas(16) float colors[16][4];  // r, g, b on 0..1 (8-bit value / 255); lane 3 never written
    float weights[16];                // sqrt(pixel count), set by the block encoder; 0 past count
    int32_t map[16];                  // colour number of each pixel (raster order)
    int32_t pixel_counts[16];         // written through &map[16] by the gathering kernels
};

// Owned by the cluster fit; the texture encoder only passes pointers to them through.
struct ClusterBest;
struct ClusterBounds;
struct ClusterSums;
// Owned by the YCoCg-DXT5 encoder.
struct DxtEncYcocgBlock;

struct DxtEncOps;

// ---------------------------------------------------------------------------------------
// Kernel signatures. Planes point at the block's top-left pixel; strides are signed bytes.

// Per-block encoder: writes one block (8 or 16 bytes) at out. The table is only read.
// (The table is handed down by reference: a per-block copy of 1.3 KB would cost more
// than the fast encoders themselves.)
using DxtEncodeBlockFn = void (*)(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                                  const DxtEncOps &ops);

// Copies the valid cols x rows pixels of an edge block into a 4x4 scratch block of the
// same layout (plane k at scratch + k * 4 * column step) and completes the rest.
using DxtPadPartialBlockFn = void (*)(uint8_t *scratch, const uint8_t *const *planes, const int64_t *strides,
                                      uint32_t cols, uint32_t rows);

// 16 alpha values (pixel order) with their minimum and maximum. values: 16-byte aligned.
using DxtToAlphaFn = void (*)(uint8_t *values, const uint8_t *plane0, const uint8_t *plane3, int64_t stride0,
                              int64_t stride3, uint64_t *min, uint64_t *max);
// 16 luma values floor((R + G + B) / 3) with their minimum and maximum.
using DxtToLumaFn = void (*)(uint8_t *values, const uint8_t *plane0, const uint8_t *plane1, const uint8_t *plane2,
                             int64_t stride0, int64_t stride1, int64_t stride2, uint64_t *min, uint64_t *max);
// Smallest value other than 0 (255 if none), largest other than 255 (0 if none).
using DxtAlphaInnerRangeFn = void (*)(const uint8_t *values, uint64_t *min, uint64_t *max);
// Nearest of 8 palette entries (lowest index on ties) for 16 values; summed squared error.
using DxtAlphaPaletteIndicesFn = void (*)(const uint8_t *values, const uint8_t *palette, uint8_t *indices,
                                          uint64_t *error);

using DxtToYcocgFn = void (*)(DxtEncYcocgBlock *block, const uint8_t *plane0, int64_t stride0, uint64_t *all_black);
using DxtToYcocgPlanarFn = void (*)(DxtEncYcocgBlock *block, const uint8_t *plane0, const uint8_t *plane1,
                                    const uint8_t *plane2, int64_t stride0, int64_t stride1, int64_t stride2,
                                    uint64_t *all_black);
using DxtYcocgYBlockFn = void (*)(uint8_t *out, DxtEncYcocgBlock *block);
using DxtYcocgColorBlockFn = void (*)(uint8_t *out, DxtEncYcocgBlock *block);
using DxtYcocgQuantizeFn = void (*)(const float *box, int32_t *endpoints);
using DxtYcocgEndpointSearchFn = void (*)(const DxtEncYcocgBlock *block, float *best_error, const int32_t *candidate,
                                          float *distances, int32_t *best);
using DxtYcocgColorIndicesFn = void (*)(const float *distances, uint64_t *index_word);
using DxtYcocgRefineFn = void (*)(const DxtEncYcocgBlock *block, float *best_error, int32_t *candidate,
                                  float *distances, int32_t *best, float *scratch);

// Planar RGB block (48 bytes, 16-byte aligned: 16 red, 16 green, 16 blue) and a result
// word: the same-colour flag, or the largest channel range for the range form.
using DxtToPlanarRgbFn = void (*)(uint8_t *planar, const uint8_t *plane0, const uint8_t *plane1, const uint8_t *plane2,
                                  int64_t stride0, int64_t stride1, int64_t stride2, uint64_t *result);

// Fast colour fit. End points are RGB565 in the low 16 bits; index word in the low 32.
using DxtFastFitEndpointsFn = void (*)(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats);
using DxtFastFitIndicesFn = void (*)(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word,
                                     const uint8_t *expand_table);
using DxtFastFitRefineFn = void (*)(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                                    const DxtBlockStats *stats);

// Cluster-fit stages (contracts owned by the cluster fit).
// colors: DxtColorSet::colors; map: DxtColorSet::map (pixel_counts follow it).
using DxtToUniqueColorsFn = void (*)(float (*colors)[4], uint64_t *count, int32_t *map, const uint8_t *plane0,
                                     const uint8_t *plane1, const uint8_t *plane2, int64_t stride0, int64_t stride1,
                                     int64_t stride2);
// Two float end points (start, end) and 16 indices (one byte per pixel) to 8 bytes.
using DxtPackBlockFn = void (*)(const ClusterBest *best, const uint8_t *indices, uint8_t *out);
// Two 4-byte end points (r 0..31, g 0..63, b 0..31, spare) and 16 indices to 8 bytes.
using DxtPackBlock565Fn = void (*)(const uint8_t *endpoints, const uint8_t *indices, uint8_t *out);
using DxtClusterAxisFn = void (*)(float *axis, const float (*colors)[4], const float *weights);
using DxtClusterProjectFn = void (*)(float *projections, const float (*colors)[4], const float *axis);
using DxtClusterSortFn = void (*)(const float *projections, uint8_t *order);
using DxtClusterPrepareFn = void (*)(const float (*sorted)[4], ClusterSums *sums);
// Array e: the kernel knows its own candidates.
using DxtClusterSearchEFn = void (*)(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums);
// Arrays a to d, 2 to 15 colours: candidate records and their bounds.
using DxtClusterSearchFn = void (*)(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                    const void *records, const void *bounds_list);
// Arrays a to d, 16 colours: with the factor table.
using DxtClusterSearch16Fn = void (*)(ClusterBest *best, ClusterBounds *bounds, const ClusterSums *sums,
                                      const void *factors, const void *records, const void *bounds_list);

// The 16 pixels as RGBA8 (64 bytes, pixel order).
using DxtBc7GatherFn = void (*)(uint8_t *rgba, const uint8_t *plane0, const uint8_t *plane1, const uint8_t *plane2,
                                const uint8_t *plane3, int64_t stride0, int64_t stride1, int64_t stride2,
                                int64_t stride3);

// ---------------------------------------------------------------------------------------
// The kernel table: 172 pointers in this fixed order. Arrays indexed by colour count hold
// the member for count i + 2 at index i. A field the set-up does not fill keeps whatever
// it held (null in a zeroed context) and is never called.
struct DxtEncOps {
    DxtPadPartialBlockFn pad_partial_block;
    DxtToAlphaFn to_alpha;
    DxtToLumaFn to_luma;
    DxtAlphaInnerRangeFn alpha_inner_range;
    DxtAlphaPaletteIndicesFn alpha_palette_indices;
    DxtToYcocgFn to_ycocg;
    DxtToYcocgPlanarFn to_ycocg_planar;
    DxtYcocgYBlockFn ycocg_y_block;
    DxtYcocgColorBlockFn ycocg_color_block;
    DxtYcocgColorBlockFn ycocg_color_block_flat;
    DxtYcocgQuantizeFn ycocg_inset_quantize[3];  // chroma scale 1, 2, 4
    DxtYcocgQuantizeFn ycocg_quantize[3];
    DxtYcocgEndpointSearchFn ycocg_endpoint_search[3];
    DxtYcocgColorIndicesFn ycocg_color_indices;
    DxtYcocgRefineFn ycocg_refine_a[3];
    DxtYcocgRefineFn ycocg_refine_b[3];
    DxtToPlanarRgbFn to_planar_rgb;
    DxtToPlanarRgbFn to_planar_rgb_range;
    DxtFastFitIndicesFn fast_fit_indices;
    DxtFastFitEndpointsFn fast_fit_endpoints;
    DxtFastFitRefineFn fast_fit_refine;
    DxtToUniqueColorsFn to_unique_colors;
    DxtPackBlockFn pack_block;
    DxtPackBlock565Fn pack_block_565;
    DxtClusterAxisFn cluster_axis[15];         // counts 2..16
    DxtClusterProjectFn cluster_project[15];   // counts 2..16
    DxtClusterSortFn cluster_sort[15];         // counts 2..16
    DxtClusterPrepareFn cluster_prepare[15];   // counts 2..16
    DxtClusterSearchFn cluster_search_a[14];   // counts 2..15 (set for 5..15)
    DxtClusterSearchFn cluster_search_b[14];   // set for 5..15
    DxtClusterSearchFn cluster_search_c[14];   // set for 2..15
    DxtClusterSearchFn cluster_search_d[14];   // set for 2, 3, 7, 8, 10, 11, 15
    DxtClusterSearchEFn cluster_search_e[14];  // set for 3..15
    DxtClusterSearchEFn cluster_search_e16;
    DxtClusterSearch16Fn cluster_search_a16;
    DxtClusterSearch16Fn cluster_search_b16;
    DxtClusterSearch16Fn cluster_search_c16;
    DxtClusterSearch16Fn cluster_search_d16;
    DxtBc7GatherFn bc7_gather;
    DxtEncodeBlockFn encode_block_tex1;
    DxtEncodeBlockFn encode_block_tex2;  // codec 5 only
};

static_assert(sizeof(DxtEncOps) == 172 * sizeof(void *), "kernel table has 172 pointers");
