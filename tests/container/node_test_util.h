#pragma once
// Helpers of the filter node tests: a node that frees itself, and one run of a node.
#include <exception>
#include <string>

#include "media/video_filter.h"

namespace nodetest {

struct Filter {
    VideoFilter *f;
    explicit Filter(VideoFilter *f) : f(f) {}
    ~Filter() { video_filter_free(f); }
};

// Runs the node once on in; returns the error text ("" when it succeeds).
inline std::string run_node(VideoFilter *f, VideoFrame *in) {
    f->inputs[0] = in;
    try {
        f->process(f);
    } catch (const std::exception &e) { return e.what(); }
    return "";
}

}  // namespace nodetest
