#include "pipeline/filters/row_slices.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/cpu.h"
#include "platform/core/errors.h"

void plan_row_slices(RowSlicePlan *plan, uint32_t rows, uint32_t cores) {
    cores = std::clamp<uint32_t>(cores, 1, kRowSliceMax);
    plan->count = 0;
    uint64_t total = 0;
    if (rows > cores) {
        const uint32_t base = rows / cores;
        const uint32_t extra = rows % cores;
        uint32_t first = 0;
        for (uint32_t i = 0; i < cores; ++i) {
            plan->first_row[i] = first;
            plan->rows[i] = base + (i < extra ? 1 : 0);
            first += plan->rows[i];
            total += plan->rows[i];
        }
        plan->count = cores;
        if (total != rows) {
            printf("Invlaid height end slice threading : %u (expected : %u) (Nb cores : %u)\n", unsigned(total), rows,
                   cores);
            throw_process_error("Fail to calc slice threading (2)");
        }
        return;
    }
    for (uint32_t i = 0; i < rows; ++i) {
        plan->first_row[i] = i;
        plan->rows[i] = 1;
        total += 1;
    }
    plan->count = rows;
    if (total != rows) throw_process_error("Fail to calc slice threading (1)");
}

uint32_t row_slice_core_count() {
    const unsigned logical = cpu_count_available();
    const unsigned physical = cpu_count_physical();
    if (physical < 1) {
        printf("ERR invalid physical count : %u\n", physical);
        return logical;
    }
    if (physical > logical) {
        printf("ERR invalid physical count : %u. Logicial count inf : %u\n", physical, logical);
        return logical;
    }
    return physical;
}

void row_slice_planes(const VideoFrame *frame, uint32_t first_row, uint8_t *planes[4], int64_t strides[4]) {
    for (uint32_t i = 0; i < 4; ++i) {
        const bool usable = frame->data[i] && frame->linesize[i] > 0;
        planes[i] = usable ? frame->data[i] + int64_t(first_row) * frame->linesize[i] : nullptr;
        strides[i] = usable ? frame->linesize[i] : 0;
    }
}
