// Per-block encoders of DXT1 and DXT5 at the normal and slow qualities: blocks of several
// distinct colours go to the cluster fit.
#include <cstring>

#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/dxtenc_kernels.h"

void dxtenc_solid_color_block(uint8_t *out, int r, int g, int b);
void dxtenc_fast_fit_block(uint8_t *out, const uint8_t *planar, const DxtEncOps &ops);
void dxtenc_alpha_half(uint8_t *out, const uint8_t *values, uint64_t mn, uint64_t mx, const DxtEncOps &ops);

namespace {

const float kSqrtCount[16] = {1.0f, 1.4142135f, 1.7320508f, 2.0f,       2.2360680f, 2.4494898f, 2.6457512f, 2.8284271f,
                              3.0f, 3.1622777f, 3.3166248f, 3.4641016f, 3.6055512f, 3.7416574f, 3.8729833f, 4.0f};

inline int to_byte(float f) {
    int c = int(f * 255.0f + 0.5f);
    return c < 0 ? 0 : c > 255 ? 255 : c;
}

// One distinct colour: exact 565 value or a 2/3 : 1/3 mix, whichever is closer.
void one_color_block(uint8_t *out, const float *color, const DxtEncOps &ops) {
    const DxtOneColorEntry &r = dxt_one_color_lut5[to_byte(color[0])];
    const DxtOneColorEntry &g = dxt_one_color_lut6[to_byte(color[1])];
    const DxtOneColorEntry &b = dxt_one_color_lut5[to_byte(color[2])];
    const int err_a = r.error_a * r.error_a + g.error_a * g.error_a + b.error_a * b.error_a;
    const int err_b = r.error_b * r.error_b + g.error_b * g.error_b + b.error_b * b.error_b;
    uint8_t endpoints[8] = {};
    uint8_t indices[16];
    if (err_b < err_a) {
        const uint8_t e[8] = {r.x, g.x, b.x, 0, r.y, g.y, b.y, 0};
        std::memcpy(endpoints, e, 8);
        std::memset(indices, 2, 16);
    } else {
        endpoints[0] = r.a;
        endpoints[1] = g.a;
        endpoints[2] = b.a;
        std::memset(indices, 0, 16);
    }
    ops.pack_block_565(endpoints, indices, out);
}

void unique_colors_block(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    DxtColorSet set;
    ops.to_unique_colors(set.colors, &set.count, set.map, planes[0], planes[1], planes[2], strides[0], strides[1],
                         strides[2]);
    std::memset(set.weights, 0, sizeof(set.weights));
    for (uint64_t i = 0; i < set.count && i < 16; i++) set.weights[i] = kSqrtCount[set.pixel_counts[i] - 1];
    if (set.count == 0)
        std::memset(out, 0, 8);
    else if (set.count == 1)
        one_color_block(out, set.colors[0], ops);
    else if (set.count <= 16)
        cluster_fit_colors(set, out, set.count, ops);
}

void color_half_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alignas(16) uint8_t planar[48];
    uint64_t range = 0;
    ops.to_planar_rgb_range(planar, planes[0], planes[1], planes[2], strides[0], strides[1], strides[2], &range);
    if (range == 0)
        dxtenc_solid_color_block(out, planar[0], planar[16], planar[32]);
    else if (range <= 14)
        dxtenc_fast_fit_block(out, planar, ops);
    else
        unique_colors_block(out, planes, strides, ops);
}

void alpha_half(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alignas(16) uint8_t values[16];
    uint64_t mn, mx;
    ops.to_alpha(values, planes[0], planes[3], strides[0], strides[3], &mn, &mx);
    dxtenc_alpha_half(out, values, mn, mx, ops);
}

}  // namespace

void encode_block_dxt1_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    color_half_q2(out, planes, strides, ops);
}

void encode_block_dxt1_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    unique_colors_block(out, planes, strides, ops);
}

void encode_block_dxt5_q2(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alpha_half(out, planes, strides, ops);
    color_half_q2(out + 8, planes, strides, ops);
}

void encode_block_dxt5_q3(uint8_t *out, const uint8_t *const *planes, const int64_t *strides, const DxtEncOps &ops) {
    alpha_half(out, planes, strides, ops);
    unique_colors_block(out + 8, planes, strides, ops);
}
