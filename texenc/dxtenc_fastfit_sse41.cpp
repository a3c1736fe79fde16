// Fast DXT colour fit, baseline tier: end points from the block's principal axis, index
// matching against the four-colour palette, one least-squares refinement.
#include <cmath>
#include <cstdlib>

#include "texenc/dxtenc_fastfit_common.h"
#include "texenc/dxtenc_kernels.h"

const uint8_t dxt_expand_table[96] = {
    // 5-bit
    0,
    8,
    16,
    24,
    33,
    41,
    49,
    57,
    66,
    74,
    82,
    90,
    99,
    107,
    115,
    123,
    132,
    140,
    148,
    156,
    165,
    173,
    181,
    189,
    198,
    206,
    214,
    222,
    231,
    239,
    247,
    255,
    // 6-bit
    0,
    4,
    8,
    12,
    16,
    20,
    24,
    28,
    32,
    36,
    40,
    44,
    48,
    52,
    56,
    60,
    65,
    69,
    73,
    77,
    81,
    85,
    89,
    93,
    97,
    101,
    105,
    109,
    113,
    117,
    121,
    125,
    130,
    134,
    138,
    142,
    146,
    150,
    154,
    158,
    162,
    166,
    170,
    174,
    178,
    182,
    186,
    190,
    195,
    199,
    203,
    207,
    211,
    215,
    219,
    223,
    227,
    231,
    235,
    239,
    243,
    247,
    251,
    255,
};

void fast_fit_endpoints_sse41(const uint8_t *planar, uint64_t *a, uint64_t *b, DxtBlockStats *stats) {
    int mn[3], mx[3], mean[3];
    for (int ch = 0; ch < 3; ch++) {
        const uint8_t *p = planar + 16 * ch;
        int lo = 255, hi = 0, s = 0;
        for (int i = 0; i < 16; i++) {
            lo = p[i] < lo ? p[i] : lo;
            hi = p[i] > hi ? p[i] : hi;
            s += p[i];
        }
        mn[ch] = lo;
        mx[ch] = hi;
        mean[ch] = (s + 8) >> 4;
        stats->sum[ch] = s;
        stats->mean[ch] = mean[ch];
    }

    int cov[6] = {0, 0, 0, 0, 0, 0};  // rr rg rb gg gb bb
    for (int i = 0; i < 16; i++) {
        int r = planar[i] - mean[0];
        int g = planar[16 + i] - mean[1];
        int bb = planar[32 + i] - mean[2];
        cov[0] += r * r;
        cov[1] += r * g;
        cov[2] += r * bb;
        cov[3] += g * g;
        cov[4] += g * bb;
        cov[5] += bb * bb;
    }
    float c[6];
    for (int k = 0; k < 6; k++) c[k] = float(cov[k]) / 255.0f;

    float vr = float(mx[0] - mn[0]);
    float vg = float(mx[1] - mn[1]);
    float vb = float(mx[2] - mn[2]);
    int w[3];
    fastfit::axis_weights(c, vr, vg, vb, w);

    int lo_dot = 0, hi_dot = 0, lo_i = 0, hi_i = 0;
    for (int i = 0; i < 16; i++) {
        int d = planar[i] * w[0] + planar[16 + i] * w[1] + planar[32 + i] * w[2];
        if (i == 0 || d < lo_dot) {
            lo_dot = d;
            lo_i = i;
        }
        if (i == 0 || d > hi_dot) {
            hi_dot = d;
            hi_i = i;
        }
    }
    *a = fastfit::pack565(planar, hi_i);
    *b = fastfit::pack565(planar, lo_i);
}

void fast_fit_indices_sse41(const uint8_t *planar, uint32_t a, uint32_t b, uint64_t *index_word,
                            const uint8_t *expand) {
    const fastfit::IndexAxis ax = fastfit::index_axis(a, b, expand);
    uint32_t word = 0;
    for (int i = 0; i < 16; i++) {
        int p = planar[i] * ax.d[0] + planar[16 + i] * ax.d[1] + planar[32 + i] * ax.d[2];
        uint32_t idx;
        if (p >= ax.th)
            idx = p < ax.t0 ? 2 : 0;
        else
            idx = p < ax.t1 ? 1 : 3;
        word |= idx << (2 * i);
    }
    *index_word = word;
}

void fast_fit_refine_sse41(const uint8_t *planar, uint64_t *a, uint64_t *b, uint32_t index_word,
                           const DxtBlockStats *stats) {
    static const int kWeight[4] = {3, 0, 2, 1};
    static const int kProduct[4] = {0x090000, 0x000900, 0x040102, 0x010402};
    int packed = 0;
    int at1[3] = {0, 0, 0};
    for (int i = 0; i < 16; i++) {
        int idx = (index_word >> (2 * i)) & 3;
        int w = kWeight[idx];
        packed += kProduct[idx];
        at1[0] += w * planar[i];
        at1[1] += w * planar[16 + i];
        at1[2] += w * planar[32 + i];
    }
    const int xx = packed >> 16, yy = (packed >> 8) & 0xFF, xy = packed & 0xFF;
    const int det = xx * yy - xy * xy;
    const float f = 0.36470589f / float(det);
    const float fg = (63.0f * f) / 31.0f;
    int ea[3], eb[3];
    for (int ch = 0; ch < 3; ch++) {
        const int at2 = 3 * stats->sum[ch] - at1[ch];
        const float k = ch == 1 ? fg : f;
        const int top = ch == 1 ? 63 : 31;
        float fa = float(at1[ch] * yy - at2 * xy) * k + 0.5f;
        float fb = float(at2 * xx - at1[ch] * xy) * k + 0.5f;
        int ia = int(fa), ib = int(fb);
        ea[ch] = ia <= 0 ? 0 : ia > top ? top : ia;
        eb[ch] = ib <= 0 ? 0 : ib > top ? top : ib;
    }
    *a = uint64_t(ea[0] << 11 | ea[1] << 5 | ea[2]);
    *b = uint64_t(eb[0] << 11 | eb[1] << 5 | eb[2]);
}
