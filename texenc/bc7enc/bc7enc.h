#pragma once
// BC7 encoder: colour cell compression, block mode choice and bit packing.
// Blocks are coded in modes 5 (solid), 6 and 1 (opaque), 6, 5 and 7 (with alpha).
// No state between calls; nothing is allocated. The end-point tables must be built
// (bc7enc_build_tables) before the first block is encoded.
#include <cstdint>

struct Bc7EncodeParams {
    uint32_t m_partition_limit = 0;        // candidate two-subset partitions to estimate (at most 64)
    uint32_t m_weights[4] = {1, 1, 1, 1};  // R, G, B, A squared-error weights
    uint32_t m_level = 0;                  // refinement effort: 0, 1 or 4
    bool m_least_squares = true;
    bool m_partition_filter = true;
    bool m_alpha_mode5 = true;
    bool m_alpha_mode7 = true;
};

// One precomputed least-squares term per index value: {t^2, t(1-t), (1-t)^2, t}, t = weight / 64.
struct Bc7WeightTerms {
    float v[4];
};

// One subset of a block.
struct Bc7CellParams {
    uint32_t m_num_pixels = 0;               // 1 to 16
    const uint8_t (*m_pixels)[4] = nullptr;  // RGBA8
    uint32_t m_num_weights = 0;              // 16, 8 or 4 index values
    const uint32_t *m_weight_table = nullptr;
    const Bc7WeightTerms *m_weight_terms = nullptr;
    uint32_t m_endpoint_bits = 0;  // stored bits per channel, p-bit excluded
    uint32_t m_channel_weights[4] = {1, 1, 1, 1};
    bool m_has_alpha = false;
    bool m_has_pbits = false;
    bool m_shared_pbit = false;
};

struct Bc7CellResults {
    uint64_t m_best_overall_err = UINT64_MAX;
    uint8_t m_low[4] = {};  // stored end points, without p-bit
    uint8_t m_high[4] = {};
    uint32_t m_pbits[2] = {};             // low, high (a shared p-bit is the first)
    uint8_t *m_selectors = nullptr;       // one index per pixel
    uint8_t *m_selectors_temp = nullptr;  // scratch of the same size
};

struct Bc7OptimalEndpoint {
    uint16_t m_err;
    uint8_t m_lo;
    uint8_t m_hi;
};

// Best single-colour end points: mode 1 at 3-bit index 2 by [value][p-bit],
// mode 7 at 2-bit index 1 by [value][p_low + 2 p_high].
extern Bc7OptimalEndpoint g_bc7_mode_1_optimal_endpoints[256][2];
extern Bc7OptimalEndpoint g_bc7_mode_7_optimal_endpoints[256][4];

// Fills the end-point tables once per process; any thread may call it any number of times.
void bc7enc_build_tables();

// Weight terms of 2-, 3- and 4-bit indices.
extern const Bc7WeightTerms g_bc7_weight_terms2[4];
extern const Bc7WeightTerms g_bc7_weight_terms3[8];
extern const Bc7WeightTerms g_bc7_weight_terms4[16];

// 8-bit value of an n-bit stored value (p-bit included), 4 <= n <= 8.
uint32_t scale_color(uint32_t v, uint32_t n);

// Best end points, p-bits and indices of one cell in mode 1, 5 (colour part), 6 or 7.
uint64_t color_cell_compression(uint32_t mode, const Bc7CellParams *pParams, Bc7CellResults *pResults,
                                const Bc7EncodeParams *pComp_params);

// What encode_bc7_block packs. Indices are in pixel order; end points are stored values.
struct Bc7BlockSolution {
    uint32_t m_mode = 0;
    uint32_t m_partition = 0;
    uint8_t m_selectors[16] = {};
    uint8_t m_alpha_selectors[16] = {};  // second index set (modes 4 and 5)
    uint8_t m_low[3][4] = {};
    uint8_t m_high[3][4] = {};
    uint32_t m_pbits[3][2] = {};
    uint32_t m_rotation = 0;
    uint32_t m_index_selector = 0;
};

// Writes the 128 bits of a block of any mode, flipping subsets whose anchor index has its top bit set.
void encode_bc7_block(void *pBlock, const Bc7BlockSolution *pResults);

// Two-subset partition estimate for mode 1 or 7.
uint32_t bc7_estimate_partition(const uint8_t (*pPixels)[4], const Bc7EncodeParams *pComp_params,
                                const uint32_t weights[4], uint32_t mode);

// Encodes one non-solid block (16 RGBA8 pixels, raster order) into 16 bytes.
// Returns true when some alpha is below 255.
bool bc7enc_compress_block(void *pBlock, const uint8_t (*pPixels)[4], const Bc7EncodeParams *pComp_params);

// Writes a block whose four channels are each constant (mode 5, exact or nearest).
void bc7enc_encode_solid_block(void *pBlock, const uint8_t rgba[4]);

// Everything after the gather of the per-block encoder: solid test, then the compressor.
void bc7enc_encode_pixels(void *pBlock, const uint8_t (*pPixels)[4], uint32_t level, uint32_t partition_limit);

struct DxtEncOps;

// Per-block encoders of HAP R (the kernel table's per-block encoder signature): gather the
// block with ops.bc7_gather, then encode it at (level, partition limit) = (0, 4), (1, 16), (4, 64).
void encode_block_bc7(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, uint32_t level,
                      uint32_t partition_limit, const DxtEncOps &ops);
void encode_block_bc7_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_bc7_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
void encode_block_bc7_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops);
