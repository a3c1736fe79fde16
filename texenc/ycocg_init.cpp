// Choice of the YCoCg-DXT5 kernels for a quality, layout and processor tier.
#include "texenc/ycocg.h"

void ycocg_init_ops(DxtEncOps *ops, int quality, uint32_t pixel_format, const YcocgTiers &t) {
    const bool planar = pixel_format >= DXTENC_PIX_PLANAR_RGBA8;
    const bool avx = t.any && t.avx;
    const bool avx2 = t.any && t.avx2;
    const bool avx2_fma = avx2 && t.fma;

    // Conversion: AVX, then AVX2 (no FMA needed); the float layout keeps the baseline.
    if (planar) {
        ops->to_ycocg_planar = ycocg_to_ycocg_planar_sse41[pixel_format];
        if (avx) ops->to_ycocg_planar = ycocg_to_ycocg_planar_avx[pixel_format];
        if (avx2) ops->to_ycocg_planar = ycocg_to_ycocg_planar_avx2[pixel_format];
    } else {
        ops->to_ycocg = ycocg_to_ycocg_sse41[pixel_format];
        if (pixel_format != DXTENC_PIX_ARGB32F) {
            if (avx) ops->to_ycocg = ycocg_to_ycocg_avx[pixel_format];
            if (avx2) ops->to_ycocg = ycocg_to_ycocg_avx2[pixel_format];
        }
    }

    if (quality == 1) {
        ops->encode_block_tex1 = planar ? encode_block_ycocg_q1_planar : encode_block_ycocg_q1_packed;
        ops->ycocg_y_block = ycocg_y_block_fast_sse41;
        ops->ycocg_color_block = ycocg_color_block_sse41;
        ops->ycocg_color_block_flat = ycocg_color_block_flat_sse41;
        if (avx) {
            ops->ycocg_y_block = ycocg_y_block_fast_avx;
            ops->ycocg_color_block = ycocg_color_block_avx;
        }
        if (avx2_fma) {
            ops->ycocg_y_block = ycocg_y_block_fast_avx2;
            ops->ycocg_color_block = ycocg_color_block_avx2;
            ops->ycocg_color_block_flat = ycocg_color_block_flat_avx2;
        }
        return;
    }

    const bool q2 = quality == 2;
    if (q2)
        ops->encode_block_tex1 = planar ? encode_block_ycocg_q2_planar : encode_block_ycocg_q2_packed;
    else
        ops->encode_block_tex1 = planar ? encode_block_ycocg_q3_planar : encode_block_ycocg_q3_packed;
    ops->ycocg_y_block = avx2_fma ? ycocg_y_block_avx2 : ycocg_y_block_sse41;
    ops->ycocg_color_indices = avx2_fma ? ycocg_color_indices_avx2 : ycocg_color_indices_sse41;
    for (int k = 0; k < 3; k++) {
        ops->ycocg_inset_quantize[k] = (avx2_fma ? ycocg_inset_quantize_avx2 : ycocg_inset_quantize_sse41)[k];
        ops->ycocg_quantize[k] = (avx2_fma ? ycocg_quantize_avx2 : ycocg_quantize_sse41)[k];
        if (q2) {
            ops->ycocg_endpoint_search[k] =
                (avx2_fma ? ycocg_endpoint_search_q2_avx2 : ycocg_endpoint_search_q2_sse41)[k];
            ops->ycocg_refine_a[k] = (avx2_fma ? ycocg_refine_a_q2_avx2 : ycocg_refine_a_q2_sse41)[k];
            ops->ycocg_refine_b[k] = (avx2_fma ? ycocg_refine_b_q2_avx2 : ycocg_refine_b_q2_sse41)[k];
        } else {
            // The quality-3 constant-chroma evaluators have one member for every tier.
            ops->ycocg_endpoint_search[k] = ycocg_endpoint_search_q3_sse41[k];
            ops->ycocg_refine_a[k] = (avx2_fma ? ycocg_refine_a_q3_avx2 : ycocg_refine_a_q3_sse41)[k];
            ops->ycocg_refine_b[k] = (avx2_fma ? ycocg_refine_b_q3_avx2 : ycocg_refine_b_q3_sse41)[k];
        }
    }
}
