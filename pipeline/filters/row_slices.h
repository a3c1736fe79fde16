#pragma once
// Division of a frame's rows into slices for parallel apply, one slice per physical
// core (at most 64).
#include <cstdint>

#include "media/video_frame.h"

constexpr uint32_t kRowSliceMax = 64;

struct RowSlicePlan {
    uint32_t first_row[kRowSliceMax];
    uint32_t rows[kRowSliceMax];
    uint32_t count;
};

// Pure: rows over min(cores, 64) slices (cores 0 counts as 1). More rows than cores:
// every slice gets rows / cores rows and the first rows % cores slices one more, from
// row 0 on. Otherwise one slice per row. Throws "Fail to calc slice threading (1)" or
// "(2)" when the slices do not add up.
void plan_row_slices(RowSlicePlan *plan, uint32_t rows, uint32_t cores);

// The core count the nodes slice for: the physical core count, or the logical count when
// that is not usable (with the printed reason).
uint32_t row_slice_core_count();

// Plane pointers and line sizes of a frame from row first_row on, as a slice's row kernel
// takes them; a plane without pointer or with a line size of 0 or less is passed as none.
void row_slice_planes(const VideoFrame *frame, uint32_t first_row, uint8_t *planes[4], int64_t strides[4]);
