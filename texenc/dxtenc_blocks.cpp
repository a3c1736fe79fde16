// Per-block encoders of DXT1 and DXT5 at the fast quality and of RGTC1, the RGTC1 block
// fit shared with the DXT5 alpha half, and the single-colour tables.
#include <emmintrin.h>

#include <cstdlib>
#include <cstring>

#include "platform/core/byte_order.h"
#include "texenc/dxtenc_kernels.h"

namespace {

constexpr int expand5(int x) { return (x << 3) | (x >> 2); }
constexpr int expand6(int x) { return (x << 2) | (x >> 4); }
inline int expand(int x, int size) { return size == 32 ? expand5(x) : expand6(x); }

struct Luts {
    DxtSingleColorEntry single5[256], single6[256];
    DxtOneColorEntry one5[256], one6[256];
};

void build_single(DxtSingleColorEntry *lut, int size) {
    for (int v = 0; v < 256; v++) {
        int best = 256;
        for (int low = 0; low < size; low++) {
            for (int high = 0; high < size; high++) {
                int eh = expand(high, size), el = expand(low, size);
                int value = std::abs(eh - el) * 3 / 100 + std::abs((2 * eh + el) / 3 - v);
                if (value < best) {
                    best = value;
                    lut[v] = {uint8_t(high), uint8_t(low)};
                }
            }
        }
    }
}

void build_one(DxtOneColorEntry *lut, int size) {
    for (int v = 0; v < 256; v++) {
        DxtOneColorEntry e{};
        int best_a = 1 << 30;
        for (int a = 0; a < size; a++) {
            int err = std::abs(expand(a, size) - v);
            if (err < best_a) {
                best_a = err;
                e.a = uint8_t(a);
            }
        }
        e.error_a = uint8_t(best_a);
        // Among pairs of equal error, one coding a value not below v wins.
        int best_key = 1 << 30;
        for (int x = 0; x < size; x++) {
            for (int y = 0; y < size; y++) {
                int coded = (2 * expand(x, size) + expand(y, size)) / 3;
                int err = std::abs(coded - v);
                int key = 2 * err + (coded < v ? 1 : 0);
                if (key < best_key) {
                    best_key = key;
                    e.x = uint8_t(x);
                    e.y = uint8_t(y);
                    e.error_b = uint8_t(err);
                }
            }
        }
        lut[v] = e;
    }
}

const Luts &luts() {
    static const Luts *const t = [] {
        Luts *l = new Luts;
        build_single(l->single5, 32);
        build_single(l->single6, 64);
        build_one(l->one5, 32);
        build_one(l->one6, 64);
        return l;
    }();
    return *t;
}

inline void write_color_block(uint8_t *out, uint32_t c0, uint32_t c1, uint32_t word) {
    store_le16(out, uint16_t(c0));
    store_le16(out + 2, uint16_t(c1));
    store_le32(out + 4, word);
}

// A block of one colour: the (high, low) pairs of the single-colour tables, coded at the
// 2/3 : 1/3 point.
void solid_color_block(uint8_t *out, int r, int g, int b) {
    const DxtSingleColorEntry *l5 = dxt_single_color_lut5, *l6 = dxt_single_color_lut6;
    uint32_t e0 = uint32_t(l5[r].high << 11 | l6[g].high << 5 | l5[b].high);
    uint32_t e1 = uint32_t(l5[r].low << 11 | l6[g].low << 5 | l5[b].low);
    if (e0 == e1 && (e0 == 0 || e0 == 0xFFFF))
        write_color_block(out, e0, 0, 0);
    else if (e0 < e1)
        write_color_block(out, e1, e0, 0xFFFFFFFFu);
    else
        write_color_block(out, e0, e1, 0xAAAAAAAAu);
}

void fast_fit_block(uint8_t *out, const uint8_t *planar, const DxtEncOps &ops) {
    DxtBlockStats stats;
    uint64_t a, b, word = 0;
    ops.fast_fit_endpoints(planar, &a, &b, &stats);
    if (a != b) ops.fast_fit_indices(planar, uint32_t(a), uint32_t(b), &word, dxt_expand_table);
    uint64_t na, nb;
    const uint32_t w32 = uint32_t(word);
    if (((w32 << 2) ^ w32) > 3) {
        ops.fast_fit_refine(planar, &na, &nb, w32, &stats);
    } else {
        const DxtSingleColorEntry *l5 = dxt_single_color_lut5, *l6 = dxt_single_color_lut6;
        const int r = stats.mean[0], g = stats.mean[1], bl = stats.mean[2];
        na = uint64_t(l5[r].high << 11 | l6[g].high << 5 | l5[bl].high);
        nb = uint64_t(l5[r].low << 11 | l6[g].low << 5 | l5[bl].low);
    }
    if (na != a || nb != b) {
        if (na == nb) {
            write_color_block(out, uint32_t(na), 0, 0);
            return;
        }
        a = na;
        b = nb;
        ops.fast_fit_indices(planar, uint32_t(a), uint32_t(b), &word, dxt_expand_table);
    }
    const uint32_t w = uint32_t(word);
    if (w == 0)
        write_color_block(out, uint32_t(a), 0, 0);
    else if (a < b)
        write_color_block(out, uint32_t(b), uint32_t(a), w ^ 0x55555555u);
    else
        write_color_block(out, uint32_t(a), uint32_t(b), w);
}

void color_half_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alignas(16) uint8_t planar[48];
    uint64_t same = 0;
    ops.to_planar_rgb(planar, planes[0], planes[1], planes[2], strides[0], strides[1], strides[2], &same);
    if (same)
        solid_color_block(out, planar[0], planar[16], planar[32]);
    else
        fast_fit_block(out, planar, ops);
}

// Writes 16 3-bit indices from byte 2 on, pixel i at bits 3i of the 48-bit field.
inline void pack_indices3(uint8_t *out, const uint8_t *idx) {
    for (int half = 0; half < 2; half++) {
        uint32_t v = 0;
        for (int k = 0; k < 8; k++) v |= uint32_t(idx[8 * half + k]) << (3 * k);
        out[2 + 3 * half] = uint8_t(v);
        out[3 + 3 * half] = uint8_t(v >> 8);
        out[4 + 3 * half] = uint8_t(v >> 16);
    }
}

inline void constant_alpha_block(uint8_t *out, uint8_t v) {
    std::memset(out, 0, 8);
    out[0] = v;
}

// Alpha half at the fast quality: eight-value mode from the block's own extremes. The 16
// levels are found at once in 16-bit lanes (SSE2, part of the baseline).
void alpha_half_q1(uint8_t *out, const uint8_t *values, int m, int mx) {
    if (m == mx) {
        constant_alpha_block(out, uint8_t(m));
        return;
    }
    out[0] = uint8_t(mx);
    out[1] = uint8_t(m);
    const int d = mx - m;
    const int s = d >= 8 ? 1 : 0;
    const int r = (d >> s) + 3 * s - 1;
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values));
    const __m128i base = _mm_set1_epi16(short(-7 * m + r));
    const __m128i seven = _mm_set1_epi16(7);
    const __m128i d1 = _mm_set1_epi16(short(d)), d2 = _mm_set1_epi16(short(2 * d)), d4 = _mm_set1_epi16(short(4 * d));
    __m128i idx[2];
    for (int h = 0; h < 2; h++) {
        __m128i a = h ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
        __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, seven), base);  // 7 (a - m) + r
        // Three two-way decisions against 4d, 2d and d give the level q = 0..7.
        __m128i ge4 = _mm_cmpgt_epi16(d4, t);
        t = _mm_sub_epi16(t, _mm_andnot_si128(ge4, d4));
        __m128i ge2 = _mm_cmpgt_epi16(d2, t);
        t = _mm_sub_epi16(t, _mm_andnot_si128(ge2, d2));
        __m128i ge1 = _mm_cmpgt_epi16(d1, t);
        __m128i q = _mm_add_epi16(
            _mm_add_epi16(_mm_andnot_si128(ge4, _mm_set1_epi16(4)), _mm_andnot_si128(ge2, _mm_set1_epi16(2))),
            _mm_andnot_si128(ge1, _mm_set1_epi16(1)));
        // Index of level q: 1 for 0, 0 for 7, 8 - q otherwise: ((8 - q) & 7) with the low
        // bit flipped at both ends.
        __m128i i = _mm_and_si128(_mm_sub_epi16(_mm_set1_epi16(8), q), seven);
        __m128i ends = _mm_or_si128(_mm_cmpeq_epi16(q, zero), _mm_cmpeq_epi16(q, seven));
        idx[h] = _mm_xor_si128(i, _mm_and_si128(ends, _mm_set1_epi16(1)));
    }
    // Pixels 0..7 and 8..15: pairs to 6 bits, then fours to 12 bits.
    for (int h = 0; h < 2; h++) {
        __m128i p2 = _mm_madd_epi16(idx[h], _mm_set1_epi32(8 << 16 | 1));
        __m128i p4 = _mm_madd_epi16(_mm_packs_epi32(p2, p2), _mm_set1_epi32(64 << 16 | 1));
        const uint32_t lo = uint32_t(_mm_cvtsi128_si32(p4)), hi = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(p4, 4)));
        const uint32_t bits = lo | hi << 12;
        out[2 + 3 * h] = uint8_t(bits);
        out[3 + 3 * h] = uint8_t(bits >> 8);
        out[4 + 3 * h] = uint8_t(bits >> 16);
    }
}

}  // namespace

const DxtSingleColorEntry *const dxt_single_color_lut5 = luts().single5;
const DxtSingleColorEntry *const dxt_single_color_lut6 = luts().single6;
const DxtOneColorEntry *const dxt_one_color_lut5 = luts().one5;
const DxtOneColorEntry *const dxt_one_color_lut6 = luts().one6;

void encode_alpha_block(const uint8_t *values, uint64_t min, uint64_t max, uint8_t *out, const DxtEncOps &ops) {
    uint64_t inner_lo, inner_hi;
    ops.alpha_inner_range(values, &inner_lo, &inner_hi);
    int a = int(inner_lo), b = int(inner_hi);
    if (b - a < 5) {
        if (a <= 250)
            b = a + 5;
        else {
            a = 250;
            b = 255;
        }
    }
    int c = int(min), d = int(max);
    if (d - c < 7) {
        if (c <= 248)
            d = c + 7;
        else {
            c = 248;
            d = 255;
        }
    }
    const uint8_t pal6[8] = {uint8_t(a),
                             uint8_t(b),
                             uint8_t((4 * a + b) / 5),
                             uint8_t((3 * a + 2 * b) / 5),
                             uint8_t((2 * a + 3 * b) / 5),
                             uint8_t((a + 4 * b) / 5),
                             0,
                             255};
    uint8_t pal8[8] = {uint8_t(c), uint8_t(d)};
    for (int k = 1; k <= 6; k++) pal8[k + 1] = uint8_t(((7 - k) * c + k * d) / 7);
    alignas(16) uint8_t idx6[16], idx8[16];
    uint64_t e6, e8;
    ops.alpha_palette_indices(values, pal6, idx6, &e6);
    ops.alpha_palette_indices(values, pal8, idx8, &e8);
    if (e6 <= e8) {
        out[0] = uint8_t(a);
        out[1] = uint8_t(b);
        pack_indices3(out, idx6);
    } else {
        // Larger end point first so a decoder takes the eight-value palette.
        static const uint8_t kSwap[8] = {1, 0, 7, 6, 5, 4, 3, 2};
        for (int i = 0; i < 16; i++) idx8[i] = kSwap[idx8[i]];
        out[0] = uint8_t(d);
        out[1] = uint8_t(c);
        pack_indices3(out, idx8);
    }
}

void encode_block_dxt1_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    color_half_q1(out, planes, strides, ops);
}

void encode_block_dxt5_q1(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alignas(16) uint8_t values[16];
    uint64_t mn, mx;
    ops.to_alpha(values, planes[0], planes[3], strides[0], strides[3], &mn, &mx);
    alpha_half_q1(out, values, int(mn), int(mx));
    color_half_q1(out + 8, planes, strides, ops);
}

void encode_block_rgtc1_luma(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alignas(16) uint8_t values[16];
    uint64_t mn, mx;
    ops.to_luma(values, planes[0], planes[1], planes[2], strides[0], strides[1], strides[2], &mn, &mx);
    if (mn == mx)
        constant_alpha_block(out, uint8_t(mn));
    else
        encode_alpha_block(values, mn, mx, out, ops);
}

void encode_block_rgtc1_alpha(uint8_t *out, const uint8_t *const *planes, const int64_t *strides,
                              const DxtEncOps &ops) {
    alignas(16) uint8_t values[16];
    uint64_t mn, mx;
    ops.to_alpha(values, planes[0], planes[3], strides[0], strides[3], &mn, &mx);
    if (mn == mx)
        constant_alpha_block(out, uint8_t(mn));
    else
        encode_alpha_block(values, mn, mx, out, ops);
}

// Shared with the normal and slow encoders.
void dxtenc_solid_color_block(uint8_t *out, int r, int g, int b) { solid_color_block(out, r, g, b); }
void dxtenc_fast_fit_block(uint8_t *out, const uint8_t *planar, const DxtEncOps &ops) {
    fast_fit_block(out, planar, ops);
}
void dxtenc_alpha_half(uint8_t *out, const uint8_t *values, uint64_t mn, uint64_t mx, const DxtEncOps &ops) {
    if (mn == mx)
        constant_alpha_block(out, uint8_t(mn));
    else
        encode_alpha_block(values, mn, mx, out, ops);
}
