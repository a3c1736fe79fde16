#pragma once
// Scalar steps of the fast colour fit, the same in every tier. Plain C++ only: tiers include
// this before their target pragma, so every copy of these inline functions is baseline code.
#include <cmath>
#include <cstdint>

namespace fastfit {

inline int quant5(int x) {
    int t = 31 * x + 128;
    return (t + (t >> 8)) >> 8;
}

inline int quant6(int x) {
    int t = 63 * x + 128;
    return (t + (t >> 8)) >> 8;
}

// RGB565 of pixel i of a planar block (R 0..15, G 16..31, B 32..47).
inline uint64_t pack565(const uint8_t *planar, int i) {
    return uint64_t(quant5(planar[i]) << 11 | quant6(planar[16 + i]) << 5 | quant5(planar[32 + i]));
}

// Principal axis by four power iterations of the covariance c (rr rg rb gg gb bb) from the
// channel ranges, as integer dot-product weights w (luma when the spread is too small).
inline void axis_weights(const float c[6], float vr, float vg, float vb, int w[3]) {
    for (int it = 0; it < 4; it++) {
        float r = (vr * c[0] + vg * c[1]) + vb * c[2];
        float g = (vr * c[1] + vg * c[3]) + vb * c[4];
        float bl = (vr * c[2] + vg * c[4]) + vb * c[5];
        vr = r;
        vg = g;
        vb = bl;
    }
    float m = std::fabs(vr);
    if (std::fabs(vg) > m) m = std::fabs(vg);
    if (std::fabs(vb) > m) m = std::fabs(vb);
    if (m < 4.0f) {
        // Too little spread for the axis to mean anything: use luma.
        w[0] = 299;
        w[1] = 587;
        w[2] = 114;
    } else {
        double s = 512.0 / double(m);
        w[0] = int(double(vr) * s);
        w[1] = int(double(vg) * s);
        w[2] = int(double(vb) * s);
    }
}

// Index search set-up: the axis d = A - B and the thresholds between the four palette
// colours projected on it (t1: 1|3, th: halves, t0: 2|0).
struct IndexAxis {
    int d[3];
    int t0, t1, th;
};

inline IndexAxis index_axis(uint32_t a, uint32_t b, const uint8_t *expand) {
    const int ca[3] = {expand[(a >> 11) & 31], expand[32 + ((a >> 5) & 63)], expand[a & 31]};
    const int cb[3] = {expand[(b >> 11) & 31], expand[32 + ((b >> 5) & 63)], expand[b & 31]};
    IndexAxis ax;
    int s[4] = {0, 0, 0, 0};
    for (int ch = 0; ch < 3; ch++) {
        ax.d[ch] = ca[ch] - cb[ch];
        s[0] += ca[ch] * ax.d[ch];
        s[1] += cb[ch] * ax.d[ch];
        s[2] += ((2 * ca[ch] + cb[ch]) / 3) * ax.d[ch];
        s[3] += ((ca[ch] + 2 * cb[ch]) / 3) * ax.d[ch];
    }
    ax.t1 = (s[1] + s[3]) >> 1;
    ax.th = (s[2] + s[3]) >> 1;
    ax.t0 = (s[0] + s[2]) >> 1;
    return ax;
}

}  // namespace fastfit
