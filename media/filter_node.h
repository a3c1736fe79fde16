#pragma once
// What every filter node shares: the making and releasing of its private record, and
// the checks its process callback makes first.
#include "media/video_filter.h"
#include "platform/core/errors.h"

// Makes a node of `type` whose private record is a new value-initialised T, with
// priv_data, process and destroy set before setup(T *) fills the record; setup returns
// the node's output frame (null when process sets it). When anything throws, the node is
// released through destroy, which therefore takes a half-made record.
template <typename T, typename Setup>
VideoFilter *filter_node_create(VideoFilterType type, uint32_t nb_inputs, VideoFilterProcessFunc process,
                                VideoFilterDestroyFunc destroy, Setup &&setup) {
    VideoFilter *filter = video_filter_create(type, nb_inputs);
    try {
        T *d = new T{};
        filter->priv_data = d;
        filter->process = process;
        filter->destroy = destroy;
        filter->output = setup(d);
    } catch (...) {
        video_filter_free(filter);
        throw;
    }
    return filter;
}

// The body of a destroy callback: release(T *) frees what the record holds, then the
// record goes and the node keeps no pointer into it. A node without a record is left as is.
template <typename T, typename Release>
void filter_node_destroy(VideoFilter *filter, Release &&release) {
    T *d = static_cast<T *>(filter ? filter->priv_data : nullptr);
    if (!d) return;
    release(d);
    delete d;
    filter->priv_data = nullptr;
    filter->output = nullptr;
}

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
