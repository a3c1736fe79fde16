// Encoder set-up: parameters, processor tiers, slice plan and the choice of every kernel.
#include <cstdio>

#include "platform/core/cpu.h"
#include "texenc/bc7enc/bc7enc.h"
#include "texenc/dxtenc.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit_avx/cluster_avx.h"
#include "texenc/dxtenc_kernels.h"
#include "texenc/ycocg.h"

namespace {

// Which tiers the caller allows and the processor has, after the clean-up of the mask.
struct Tiers {
    bool avx;       // 0x08 and 0x20
    bool avx2;      // 0x08 and 0x80
    bool avx2_fma;  // 0x08, 0x40 and 0x80
    bool avx_fma;   // 0x08, 0x20 and 0x40
};

Tiers tiers_of(uint32_t mask) {
    const bool any = mask & DXTENC_ISA_ANY;
    return {any && (mask & DXTENC_ISA_AVX), any && (mask & DXTENC_ISA_AVX2),
            any && (mask & DXTENC_ISA_AVX2) && (mask & DXTENC_ISA_FMA),
            any && (mask & DXTENC_ISA_AVX) && (mask & DXTENC_ISA_FMA)};
}

void plan_slices(DxtEncContext *ctx, uint16_t height, uint32_t threads) {
    if (threads == 0) threads = cpu_count_available();
    if (threads == 0) threads = cpu_count_total();
    if (threads == 0) threads = 1;
    if (threads == 1) {
        ctx->slice_count = 1;
        return;
    }
    const uint32_t m = threads < 64 ? threads : 64;
    const uint32_t n = (uint32_t(height) + 31) / 32;
    uint32_t s;
    if (m > n) {
        s = n;
        if (n < 2) {
            ctx->slice_count = uint16_t(n);
            return;
        }
    } else {
        s = m;
    }
    ctx->slice_count = uint16_t(s);
    const uint32_t block_rows = height / 4;
    uint32_t first = 0;
    for (uint32_t i = 0; i < s; i++) {
        uint32_t rows = 4 * (block_rows / s) + (i < block_rows % s ? 4 : 0);
        if (i == s - 1) rows += height % 4;
        ctx->slice_first_row[i] = uint16_t(first);
        ctx->slice_rows[i] = uint16_t(rows);
        first += rows;
    }
}

void set_alpha_fields(DxtEncContext *ctx, const Tiers &t) {
    ctx->ops.alpha_inner_range = t.avx ? alpha_inner_minmax_avx : alpha_inner_minmax_sse41;
    ctx->ops.alpha_palette_indices = t.avx2  ? alpha_block_indices_avx2
                                     : t.avx ? alpha_block_indices_avx
                                             : alpha_block_indices_sse41;
}

void set_to_alpha(DxtEncContext *ctx, const Tiers &t) {
    if (ctx->no_alpha)
        ctx->ops.to_alpha = to_alpha_opaque;
    else
        ctx->ops.to_alpha = (t.avx ? dxtenc_to_alpha_avx : dxtenc_to_alpha_sse41)[ctx->pixel_format];
}

void set_fast_fit(DxtEncContext *ctx, const Tiers &t) {
    DxtEncOps &o = ctx->ops;
    o.fast_fit_indices = t.avx2 ? fast_fit_indices_avx2 : t.avx ? fast_fit_indices_avx : fast_fit_indices_sse41;
    o.fast_fit_endpoints = t.avx2 ? fast_fit_endpoints_avx2 : t.avx ? fast_fit_endpoints_avx : fast_fit_endpoints_sse41;
    o.fast_fit_refine = t.avx2_fma ? fast_fit_refine_avx2 : t.avx ? fast_fit_refine_avx : fast_fit_refine_sse41;
}

// DXT1 (codec 0) and DXT5 (codec 1).
int init_dxt(DxtEncContext *ctx, const Tiers &t) {
    const bool dxt5 = ctx->codec == DXTENC_CODEC_DXT5;
    const uint32_t fmt = ctx->pixel_format;
    const int q = ctx->quality;
    if (q < 1 || q > 3) {
        printf(dxt5 ? "DxtEnc DXT5 Qualite inconnu : %d\n" : "DxtEnc DXT1 Qualite inconnu : %d\n", q);
        return 1;
    }
    if (fmt == DXTENC_PIX_ARGB32F) {
        printf(q == 3 ? "Cs unsupported : %d\n" : "DXT1 invalid pix fmt : %d\n", int(fmt));
        return 1;
    }
    DxtEncOps &o = ctx->ops;
    if (q == DXTENC_QUALITY_FAST) {
        o.encode_block_tex1 = dxt5 ? encode_block_dxt5_q1 : encode_block_dxt1_q1;
        o.to_planar_rgb = (t.avx ? dxtenc_to_planar_rgb_avx : dxtenc_to_planar_rgb_sse41)[fmt];
        set_fast_fit(ctx, t);
    } else {
        if (q == DXTENC_QUALITY_NORMAL) {
            o.encode_block_tex1 = dxt5 ? encode_block_dxt5_q2 : encode_block_dxt1_q2;
            o.to_planar_rgb_range = (t.avx ? dxtenc_to_planar_rgb_range_avx : dxtenc_to_planar_rgb_range_sse41)[fmt];
            set_fast_fit(ctx, t);
        } else {
            o.encode_block_tex1 = dxt5 ? encode_block_dxt5_q3 : encode_block_dxt1_q3;
        }
        // Cluster-fit fields: the baseline members, then the faster tiers the mask allows.
        dxtenc_init_ops_cluster(&o, fmt);
        if (t.avx) {
            o.to_unique_colors = cluster_unique_colors_kernel_avx(fmt);
            cluster_init_axis_project_avx(&o);
        }
        if (t.avx2) { o.pack_block = dxt_pack_block_avx2; }
        if (t.avx) {
            dxtenc_init_ops_avx(&o);
            if (t.avx_fma) { dxtenc_init_ops_fma(&o); }
        }
    }
    if (dxt5) {
        set_to_alpha(ctx, t);
        set_alpha_fields(ctx, t);
    }
    return 0;
}

}  // namespace

int32_t dxtenc_init(DxtEncContext *ctx, uint16_t width, uint16_t height, uint32_t codec, uint8_t quality,
                    uint8_t reserved, uint32_t pixel_format, uint32_t pad_mode, uint32_t threads, uint32_t isa_mask) {
    ctx->quality = quality;
    ctx->reserved = reserved;
    ctx->codec = codec;
    ctx->pixel_format = pixel_format;
    ctx->width = width;
    ctx->height = height;
    ctx->pad_mode = pad_mode;

    const CpuFeatures &cpu = cpu_features();
    if (!cpu.avx) {
        isa_mask &= ~uint32_t(DXTENC_ISA_AVX | DXTENC_ISA_FMA | DXTENC_ISA_AVX2);
    } else {
        if (!cpu.avx2) isa_mask &= ~uint32_t(DXTENC_ISA_AVX2);
        if (!cpu.fma) isa_mask &= ~uint32_t(DXTENC_ISA_FMA);
    }

    plan_slices(ctx, height, threads);

    if (pixel_format > 15) {
        printf("Pad invalid pix fmt : %d\n", int(pixel_format));
        return 1;
    }
    ctx->ops.pad_partial_block = dxtenc_pad_member(pixel_format, pad_mode);

    if (codec > DXTENC_CODEC_BC7) {
        printf("DxtEnc unknown codec : %u\n", codec);
        return 1;
    }
    // A texture that cannot be addressed in 32 bits is refused here rather than overrun.
    if (dxtenc_encoded_size64(width, height, codec, pad_mode) >= (uint64_t(1) << 32)) {
        printf("DxtEnc invalid size : %ux%u\n", unsigned(width), unsigned(height));
        return 1;
    }

    if ((codec == DXTENC_CODEC_DXT1 || codec == DXTENC_CODEC_DXT5) && quality >= 3) {
        isa_mask &= ~uint32_t(DXTENC_ISA_AVX2);
    }
    const Tiers t = tiers_of(isa_mask);
    DxtEncOps &o = ctx->ops;

    switch (codec) {
    case DXTENC_CODEC_DXT1:
    case DXTENC_CODEC_DXT5:
        if (init_dxt(ctx, t)) return 1;
        break;
    case DXTENC_CODEC_RGTC1_LUMA:
        if (pixel_format == DXTENC_PIX_ARGB32F) {
            printf("RGTC1 Luma invalid pix fmt : %d\n", int(pixel_format));
            return 1;
        }
        o.encode_block_tex1 = encode_block_rgtc1_luma;
        o.to_luma = (t.avx ? dxtenc_to_luma_avx : dxtenc_to_luma_sse41)[pixel_format];
        set_alpha_fields(ctx, t);
        break;
    case DXTENC_CODEC_RGTC1_ALPHA:
        if (pixel_format == DXTENC_PIX_ARGB32F && !ctx->no_alpha) {
            printf("RGTC1 Alpha invalid pix fmt : %d\n", int(pixel_format));
            return 1;
        }
        o.encode_block_tex1 = encode_block_rgtc1_alpha;
        set_to_alpha(ctx, t);
        set_alpha_fields(ctx, t);
        break;
    case DXTENC_CODEC_YCOCG_DXT5:
    case DXTENC_CODEC_YCOCG_DXT5_ALPHA:
        if (quality < 1 || quality > 3) {
            printf("DxtEnc DXT5 ycocg unknown quality : %d\n", int(quality));
            return 1;
        }
        if (codec == DXTENC_CODEC_YCOCG_DXT5_ALPHA) {
            if (pixel_format == DXTENC_PIX_ARGB32F && !ctx->no_alpha) {
                printf("RGTC1 Alpha invalid pix fmt : %d\n", int(pixel_format));
                return 1;
            }
            o.encode_block_tex2 = encode_block_rgtc1_alpha;
            set_to_alpha(ctx, t);
            set_alpha_fields(ctx, t);
        }
        ycocg_init_ops(&o, quality, pixel_format,
                       {bool(isa_mask & DXTENC_ISA_ANY), bool(isa_mask & DXTENC_ISA_AVX),
                        bool(isa_mask & DXTENC_ISA_FMA), bool(isa_mask & DXTENC_ISA_AVX2)});
        break;
    case DXTENC_CODEC_BC7:
        if (pixel_format == DXTENC_PIX_ARGB32F) {
            printf("BC7 invalid pix fmt : %d\n", int(pixel_format));
            return 1;
        }
        if (quality < 1 || quality > 3) {
            printf("BC7 invalid quality : %d\n", int(quality));
            return 1;
        }
        o.bc7_gather = (ctx->no_alpha ? dxtenc_bc7_gather_opaque_sse41 : dxtenc_bc7_gather_sse41)[pixel_format];
        o.encode_block_tex1 =
            quality == 1 ? encode_block_bc7_q1 : (quality == 2 ? encode_block_bc7_q2 : encode_block_bc7_q3);
        bc7enc_build_tables();  // once per process; later set-ups find them built
        break;
    }
    return 0;
}
