#pragma once
// What every process callback of the container nodes checks first.
#include "media/video_filter.h"
#include "platform/core/errors.h"

// The node's private record; throws "Invalid intern data" when there is none.
template <typename T>
T *filter_node_data(VideoFilter *f) {
    T *d = static_cast<T *>(f ? f->priv_data : nullptr);
    if (!d) throw_process_error("Invalid intern data");
    return d;
}

// Input slot 0; throws "Invalid inputs" when the slots or the frame are missing.
inline VideoFrame *filter_node_input(VideoFilter *f) {
    if (!f->inputs || !f->inputs[0]) throw_process_error("Invalid inputs");
    return f->inputs[0];
}
