// Baseline cluster-fit stages other than the search: gathering of distinct colours,
// principal axis, projection, ordering, range sums and block packing.
//
// Every float operation is written in the order the fit is defined with and rounded on
// its own (the build has no contraction into FMA): two builds give the same bits.
#include <emmintrin.h>

#include <cstring>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_stages.h"

namespace {

// ---------------------------------------------------------------------------------------
// Gathering.

inline uint16_t load_u16(const uint8_t *p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}

// Key of pixel (row r, column c): three 8-bit components, fourth byte zero.
struct KeyArgb8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint8_t *p = pl[0] + r * st[0] + 4 * c;
        return p[1] | p[2] << 8 | p[3] << 16;
    }
};
struct KeyBgra8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint8_t *p = pl[0] + r * st[0] + 4 * c;
        return p[2] | p[1] << 8 | p[0] << 16;
    }
};
struct KeyRgba8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint8_t *p = pl[0] + r * st[0] + 4 * c;
        return p[0] | p[1] << 8 | p[2] << 16;
    }
};
struct KeyRgb8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint8_t *p = pl[0] + r * st[0] + 3 * c;
        return p[0] | p[1] << 8 | p[2] << 16;
    }
};
struct KeyBgr8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint8_t *p = pl[0] + r * st[0] + 3 * c;
        return p[2] | p[1] << 8 | p[0] << 16;
    }
};
struct KeyPlanar8 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        return pl[0][r * st[0] + c] | pl[1][r * st[1] + c] << 8 | pl[2][r * st[2] + c] << 16;
    }
};

// 16-bit samples: the row step is stride / 2 samples (truncated toward zero).
inline const uint8_t *sample16(const uint8_t *plane, int64_t stride, int r, int index) {
    return plane + 2 * (r * (stride / 2) + index);
}

struct ReduceHigh {
    static uint32_t get(uint16_t v) { return v >> 8; }
};
struct Reduce15 {  // samples 0..0x8000
    static uint32_t get(uint16_t v) { return v == 0x8000 ? 255u : (v >> 7) & 0xFFu; }
};
struct Reduce10 {
    static uint32_t get(uint16_t v) { return (v >> 2) & 0xFFu; }
};
struct Reduce12 {
    static uint32_t get(uint16_t v) { return (v >> 4) & 0xFFu; }
};

// Packed four-word pixels; W0..W2 the words read as r, g, b.
template <int W0, int W1, int W2, class Reduce>
struct KeyPacked16 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint32_t a = Reduce::get(load_u16(sample16(pl[0], st[0], r, 4 * c + W0)));
        const uint32_t b = Reduce::get(load_u16(sample16(pl[0], st[0], r, 4 * c + W1)));
        const uint32_t d = Reduce::get(load_u16(sample16(pl[0], st[0], r, 4 * c + W2)));
        return a | b << 8 | d << 16;
    }
};
template <class Reduce>
struct KeyPlanar16 {
    static uint32_t get(const uint8_t *const *pl, const int64_t *st, int r, int c) {
        const uint32_t a = Reduce::get(load_u16(sample16(pl[0], st[0], r, c)));
        const uint32_t b = Reduce::get(load_u16(sample16(pl[1], st[1], r, c)));
        const uint32_t d = Reduce::get(load_u16(sample16(pl[2], st[2], r, c)));
        return a | b << 8 | d << 16;
    }
};

using KeyArgb16 = KeyPacked16<1, 2, 3, ReduceHigh>;
using KeyArgb15 = KeyPacked16<1, 2, 3, Reduce15>;
using KeyRgba16 = KeyPacked16<0, 1, 2, ReduceHigh>;

template <class Key>
void gather(float (*colors)[4], uint64_t *count, int32_t *map, const uint8_t *plane0, const uint8_t *plane1,
            const uint8_t *plane2, int64_t stride0, int64_t stride1, int64_t stride2) {
    const uint8_t *const planes[3] = {plane0, plane1, plane2};
    const int64_t strides[3] = {stride0, stride1, stride2};
    uint32_t keys[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) { keys[4 * r + c] = Key::get(planes, strides, r, c); }
    }
    int32_t *const pixel_counts = map + 16;  // the record's pixel_counts follow map
    int32_t found = 0;
    for (int j = 0; j < 16; ++j) {
        int k = 0;
        while (k < j && keys[k] != keys[j]) { ++k; }
        if (k < j) {
            map[j] = map[k];
            ++pixel_counts[map[k]];
            continue;
        }
        const uint32_t key = keys[j];
        colors[found][0] = static_cast<float>(key & 0xFF) / 255.0f;
        colors[found][1] = static_cast<float>((key >> 8) & 0xFF) / 255.0f;
        colors[found][2] = static_cast<float>((key >> 16) & 0xFF) / 255.0f;
        pixel_counts[found] = 1;
        map[j] = found;
        ++found;
    }
    *count = static_cast<uint64_t>(found);
}

// ---------------------------------------------------------------------------------------
// Projection, ordering, range sums.

template <int N>
void project(float *projections, const float (*colors)[4], const float *axis) {
    const float ax = axis[0], ay = axis[1], az = axis[2];
    for (int i = 0; i < N; ++i) { projections[i] = (colors[i][0] * ax + colors[i][1] * ay) + colors[i][2] * az; }
}

// Stable ascending order with strict "greater than" tests: a NaN never moves past
// anything. Needs the identity in order[0..N-1] on entry; leaves the rest untouched.
template <int N>
void insertion_sort(const float *projections, uint8_t *order) {
    for (int i = 1; i < N; ++i) {
        const uint8_t current = order[i];
        const float key = projections[current];
        int j = i;
        while (j > 0 && projections[order[j - 1]] > key) {
            order[j] = order[j - 1];
            --j;
        }
        if (j != i) { order[j] = current; }
    }
}

// The same order without branches on the data when no projection is a NaN: each
// colour goes to the place given by the number of colours before it in that order
// (smaller, or equal and earlier).
template <int N>
void sort(const float *projections, uint8_t *order) {
    float p[N];
    bool any_nan = false;
    for (int k = 0; k < N; ++k) {
        p[k] = projections[k];
        any_nan |= p[k] != p[k];
    }
    if (any_nan) {
        insertion_sort<N>(projections, order);
        return;
    }
    for (int i = 0; i < N; ++i) {
        int rank = 0;
        for (int j = 0; j < N; ++j) { rank += (p[j] < p[i]) | ((p[j] == p[i]) & (j < i)); }
        order[rank] = static_cast<uint8_t>(i);
    }
}

// Cross values of 16 colours by run length: the float nearest 2L/9 (not a running sum).
constexpr float kCross16[17] = {0.0f,       0.22222222f, 0.44444445f, 0.6666667f, 0.8888889f, 1.1111112f,
                                1.3333334f, 1.5555556f,  1.7777778f,  2.0f,       2.2222223f, 2.4444444f,
                                2.6666667f, 2.8888888f,  3.1111112f,  3.3333333f, 3.5555556f};

template <int C>
void prepare(const float (*sorted)[4], ClusterSums *out) {
    float *const sums = out->values;
    const __m128 k_third = _mm_setr_ps(1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 3.0f, 1.0f / 9.0f);
    const __m128 k_two_thirds = _mm_setr_ps(2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 4.0f / 9.0f);
    const float k_cross = 2.0f / 9.0f;
    __m128 f[C], t[C], u[C];
    float q[C];
    for (int k = 0; k < C; ++k) {
        f[k] = _mm_loadu_ps(sorted[k]);
        t[k] = _mm_mul_ps(f[k], k_third);
        u[k] = _mm_mul_ps(f[k], k_two_thirds);
        q[k] = sorted[k][3] * k_cross;
    }
    const __m128 zero = _mm_setzero_ps();
    _mm_storeu_ps(sums + 0, zero);
    _mm_storeu_ps(sums + 4, zero);
    _mm_storeu_ps(sums + 8, zero);
    float *const cross = sums + 12 * cluster_range_entries(C);
    cross[0] = 0.0f;
    for (int i = 0; i < C; ++i) {
        __m128 sf = f[i], st = t[i], su = u[i];
        float sq = q[i];
        for (int j = i + 1; j <= C; ++j) {
            if (j > i + 1) {  // extend the row's previous run by colour j - 1
                sf = _mm_add_ps(sf, f[j - 1]);
                st = _mm_add_ps(st, t[j - 1]);
                su = _mm_add_ps(su, u[j - 1]);
                sq = sq + q[j - 1];
            }
            if (!(i == 0 && j == C)) {
                float *e = sums + 12 * cluster_range_entry(C, i, j);
                _mm_storeu_ps(e + 0, sf);
                _mm_storeu_ps(e + 4, st);
                _mm_storeu_ps(e + 8, su);
            }
            if (C < 16) { cross[cluster_cross_index(C, i, j)] = sq; }
        }
    }
    if (C == 16) {
        for (int l = 1; l <= 16; ++l) { cross[l] = kCross16[l]; }
    }
}

// ---------------------------------------------------------------------------------------
// Packing.

void pack_colors(uint16_t c0, uint16_t c1, const uint8_t *indices, uint8_t *out) {
    uint32_t bits = 0;
    uint16_t first = c0, second = c1;
    if (c0 > c1) {
        for (int k = 0; k < 16; ++k) { bits |= static_cast<uint32_t>(indices[k]) << (2 * k); }
    } else if (c0 < c1) {
        first = c1;
        second = c0;
        for (int k = 0; k < 16; ++k) { bits |= static_cast<uint32_t>((indices[k] & 3) ^ 1) << (2 * k); }
    } else {
        second = 0;  // every pixel decodes to c0 (all-zero block for black)
    }
    const uint64_t word = first | static_cast<uint64_t>(second) << 16 | static_cast<uint64_t>(bits) << 32;
    for (int k = 0; k < 8; ++k) { out[k] = static_cast<uint8_t>(word >> (8 * k)); }
}

uint16_t quantize565(const float *v) {
    // truncate(v * k + 0.5), both steps rounded; NaN and overflow give INT32_MIN, hence 0.
    const __m128 x = _mm_setr_ps(v[0], v[1], v[2], 0.0f);
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(x, _mm_setr_ps(31.0f, 63.0f, 31.0f, 0.0f)), _mm_set1_ps(0.5f));
    int32_t q[4];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(q), _mm_cvttps_epi32(scaled));
    const int32_t lim[3] = {31, 63, 31};
    for (int k = 0; k < 3; ++k) { q[k] = q[k] < 0 ? 0 : q[k] > lim[k] ? lim[k] : q[k]; }
    return static_cast<uint16_t>(q[0] << 11 | q[1] << 5 | q[2]);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Exported members.

void cluster_axis_template_sse41(float *axis, const float (*colors)[4], const float *weights, int32_t count) {
    const int n = count;
    float w_sum = 0.0f, sx = 0.0f, sy = 0.0f, sz = 0.0f;
    if (n == 16) {
        // Every weight of a 16-colour block is 1: the weights are not read.
        w_sum = 16.0f;
        for (int i = 0; i < n; ++i) {
            sx = sx + colors[i][0];
            sy = sy + colors[i][1];
            sz = sz + colors[i][2];
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const float w = weights[i];
            w_sum = w_sum + w;
            sx = sx + w * colors[i][0];
            sy = sy + w * colors[i][1];
            sz = sz + w * colors[i][2];
        }
    }
    float mx = sx, my = sy, mz = sz;
    if (w_sum > 1.1920929e-07f) {
        mx = sx / w_sum;
        my = sy / w_sum;
        mz = sz / w_sum;
    }
    float xx = 0.0f, yy = 0.0f, zz = 0.0f, xy = 0.0f, xz = 0.0f, yz = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float dx = colors[i][0] - mx, dy = colors[i][1] - my, dz = colors[i][2] - mz;
        if (n == 16) {
            xx = xx + dx * dx;
            yy = yy + dy * dy;
            zz = zz + dz * dz;
            xy = xy + dy * dx;
            xz = xz + dz * dx;
            yz = yz + dz * dy;
        } else {
            const float w = weights[i];
            xx = xx + (w * dx) * dx;
            yy = yy + (w * dy) * dy;
            zz = zz + (w * dz) * dz;
            xy = xy + (w * dy) * dx;
            xz = xz + (w * dz) * dx;
            yz = yz + (w * dz) * dy;
        }
    }
    // Four power iterations from (1, 1, 1), scaled by the signed largest component. No
    // guard: a zero largest component gives a NaN axis, which the ordering tolerates.
    float vx = 1.0f, vy = 1.0f, vz = 1.0f;
    for (int it = 0; it < 4; ++it) {
        const float ux = (xx * vx + xy * vy) + xz * vz;
        const float uy = (xy * vx + yy * vy) + yz * vz;
        const float uz = (xz * vx + yz * vy) + zz * vz;
        const float m1 = uz > uy ? uz : uy;
        const float m = m1 > ux ? m1 : ux;
        const float s = 1.0f / m;
        vx = ux * s;
        vy = uy * s;
        vz = uz * s;
    }
    axis[0] = vx;
    axis[1] = vy;
    axis[2] = vz;
}

void dxt_pack_block_sse41(const ClusterBest *best, const uint8_t *indices, uint8_t *out) {
    pack_colors(quantize565(best->start), quantize565(best->end), indices, out);
}

void dxt_pack_block_565_sse41(const uint8_t *endpoints, const uint8_t *indices, uint8_t *out) {
    // Components are trusted to lie in their ranges (no masking).
    const uint16_t c0 = static_cast<uint16_t>(endpoints[0] << 11 | endpoints[1] << 5 | endpoints[2]);
    const uint16_t c1 = static_cast<uint16_t>(endpoints[4] << 11 | endpoints[5] << 5 | endpoints[6]);
    pack_colors(c0, c1, indices, out);
}

#define CF_GATHER(name, key)                                                                                         \
    void to_unique_colors_##name##_sse41(float(*colors)[4], uint64_t *count, int32_t *map, const uint8_t *p0,        \
                                         const uint8_t *p1, const uint8_t *p2, int64_t s0, int64_t s1, int64_t s2) { \
        gather<key>(colors, count, map, p0, p1, p2, s0, s1, s2);                                                     \
    }
CF_GATHER(argb8, KeyArgb8)
CF_GATHER(bgra8, KeyBgra8)
CF_GATHER(rgba8, KeyRgba8)
CF_GATHER(argb16, KeyArgb16)
CF_GATHER(argb15, KeyArgb15)
CF_GATHER(rgba16, KeyRgba16)
CF_GATHER(rgb8, KeyRgb8)
CF_GATHER(bgr8, KeyBgr8)
CF_GATHER(planar8, KeyPlanar8)
CF_GATHER(planar10, KeyPlanar16<Reduce10>)
CF_GATHER(planar12, KeyPlanar16<Reduce12>)
CF_GATHER(planar16, KeyPlanar16<ReduceHigh>)
#undef CF_GATHER

#define CF_COUNT_STAGES(NN, n)                                                                                     \
    void cluster_axis_count##NN##_sse41(float *axis, const float(*colors)[4], const float *weights) {              \
        cluster_axis_template_sse41(axis, colors, weights, n);                                                     \
    }                                                                                                              \
    void cluster_project_count##NN##_sse41(float *projections, const float(*colors)[4], const float *axis) {       \
        project<n>(projections, colors, axis);                                                                     \
    }                                                                                                              \
    void cluster_sort_count##NN##_sse41(const float *projections, uint8_t *order) { sort<n>(projections, order); } \
    void cluster_prepare_count##NN##_sse41(const float(*sorted)[4], ClusterSums *sums) { prepare<n>(sorted, sums); }
CLUSTER_FOR_EACH_COUNT(CF_COUNT_STAGES)
#undef CF_COUNT_STAGES
