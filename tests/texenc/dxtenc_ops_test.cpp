// Layout of the kernel table and of the records shared with the cluster fit: other
// libraries and hand-written kernels address them by position.
#include "texenc/ops/dxtenc_ops.h"

#include <cstddef>

#include <gtest/gtest.h>

TEST(DxtEncOps, FieldPositions) {
    struct Case {
        const char *name;
        size_t offset;
        size_t index;
    };
    const Case cases[] = {
        {"pad_partial_block", offsetof(DxtEncOps, pad_partial_block), 0},
        {"ycocg_inset_quantize", offsetof(DxtEncOps, ycocg_inset_quantize), 10},
        {"ycocg_refine_b", offsetof(DxtEncOps, ycocg_refine_b), 23},
        {"to_planar_rgb", offsetof(DxtEncOps, to_planar_rgb), 26},
        {"fast_fit_indices", offsetof(DxtEncOps, fast_fit_indices), 28},
        {"to_unique_colors", offsetof(DxtEncOps, to_unique_colors), 31},
        {"pack_block", offsetof(DxtEncOps, pack_block), 32},
        {"pack_block_565", offsetof(DxtEncOps, pack_block_565), 33},
        {"cluster_axis", offsetof(DxtEncOps, cluster_axis), 34},
        {"cluster_prepare", offsetof(DxtEncOps, cluster_prepare), 79},
        {"cluster_search_a", offsetof(DxtEncOps, cluster_search_a), 94},
        {"cluster_search_e", offsetof(DxtEncOps, cluster_search_e), 150},
        {"cluster_search_e16", offsetof(DxtEncOps, cluster_search_e16), 164},
        {"cluster_search_d16", offsetof(DxtEncOps, cluster_search_d16), 168},
        {"bc7_gather", offsetof(DxtEncOps, bc7_gather), 169},
        {"encode_block_tex2", offsetof(DxtEncOps, encode_block_tex2), 171},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.offset, c.index * sizeof(void *));
    }
}

TEST(DxtColorSet, FieldOrder) {
    EXPECT_EQ(offsetof(DxtColorSet, count), 0u);
    EXPECT_EQ(offsetof(DxtColorSet, colors), 16u);
    EXPECT_EQ(offsetof(DxtColorSet, weights), 16u + 256u);
    EXPECT_EQ(offsetof(DxtColorSet, map), 16u + 256u + 64u);
    // The gathering kernels write pixel_counts through the end of map.
    EXPECT_EQ(offsetof(DxtColorSet, pixel_counts), offsetof(DxtColorSet, map) + 16 * sizeof(int32_t));
}
