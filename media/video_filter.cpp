#include "media/video_filter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/core/errors.h"

VideoFilter *video_filter_create(VideoFilterType type, uint32_t nb_inputs) {
    if (nb_inputs == 0) throw_process_error("Zero input filter");
    auto *filter = new VideoFilter{};
    filter->type = type;
    filter->nb_inputs = nb_inputs;
    try {
        filter->inputs = new VideoFrame *[nb_inputs]();
    } catch (...) {
        delete filter;
        throw;
    }
    return filter;
}

void video_filter_free(VideoFilter *filter) {
    if (!filter) return;
    // destroy may still look at the input slots, so they go after it.
    if (filter->destroy) filter->destroy(filter);
    delete[] filter->inputs;
    delete filter;
}

FilterGraph *filter_graph_create(uint32_t nb_filters_max, uint32_t nb_inputs) {
    auto *graph = new FilterGraph{};
    try {
        if (nb_filters_max) graph->filters = new VideoFilter *[nb_filters_max]();
        if (nb_inputs) graph->inputs = new VideoFrame *[nb_inputs]();
    } catch (...) {
        delete[] graph->filters;
        delete graph;
        throw;
    }
    graph->nb_filters_max = nb_filters_max;
    graph->nb_inputs = nb_inputs;
    return graph;
}

uint32_t filter_graph_add_filter(FilterGraph *graph, VideoFilter *filter) {
    if (!graph) throw_process_error("No filter graph");
    if (graph->nb_filters >= graph->nb_filters_max) {
        printf("Invalid nb filter (%u found), %u already store\n", graph->nb_filters, graph->nb_filters_max);
        throw_process_error("Not enough space in filter graph");
    }
    graph->filters[graph->nb_filters] = filter;
    return graph->nb_filters++;
}

void filter_graph_free(FilterGraph *graph) {
    if (!graph) return;
    for (uint32_t i = 0; i < graph->nb_filters; ++i) video_filter_free(graph->filters[i]);
    delete[] graph->filters;
    delete[] graph->inputs;
    delete graph;
}

namespace {

void set_message(char (&dst)[kVideoFilterMessageSize], const char *text) { snprintf(dst, sizeof(dst), "%s", text); }

void run_filter(VideoFilter *filter) {
    try {
        filter->process(filter);
    } catch (const std::bad_alloc &) {
        printf("Fail to process filter : OOM\n");
        throw;
    } catch (const std::runtime_error &e) {
        printf("Fail to process filter : %s\n", e.what());
        throw;
    }
}

}  // namespace

void filter_graph_process(FilterGraph *graph, VideoFrame *inputs[], uint32_t count) {
    if (!graph) throw_process_error("No filter graph");
    graph->message[0] = '\0';
    if (!inputs) count = 0;

    if (graph->nb_filters == 0) {
        if (graph->nb_inputs == 0) {
            graph->output = nullptr;
            return;
        }
        VideoFrame *first = count ? inputs[0] : nullptr;
        graph->inputs[0] = first;
        for (uint32_t i = 1; i < graph->nb_inputs; ++i) graph->inputs[i] = nullptr;
        if (first && first->error_flags) {
            // A frame that could not be read is a failure with or without nodes.
            if (first->error_flags & VideoFrameError_ReadFailed)
                throw_process_errorf("Fail to read frame : %u", first->frame_index);
            set_message(graph->message, "Corrupt input frame");
            printf("WARNING : Input : 0 is corrupt\n");
        }
        graph->output = first;
        return;
    }

    const uint32_t n = std::min(count, graph->nb_inputs);
    bool corrupt = false;
    for (uint32_t i = 0; i < n; ++i) {
        VideoFrame *frame = inputs[i];
        graph->inputs[i] = frame;
        if (!frame || !frame->error_flags) continue;
        if (frame->error_flags & VideoFrameError_ReadFailed)
            throw_process_errorf("Fail to read frame : %u", frame->frame_index);
        printf("WARNING : Input : %u is corrupt\n", i);
        corrupt = true;
    }
    // Slots not given this run must not keep last run's (possibly freed) frames.
    for (uint32_t i = n; i < graph->nb_inputs; ++i) graph->inputs[i] = nullptr;
    if (corrupt) set_message(graph->message, "Corrupt input frame");

    for (uint32_t f = 0; f < graph->nb_filters; ++f) {
        VideoFilter *filter = graph->filters[f];
        if (f == 0) {
            const uint32_t m = std::min(filter->nb_inputs, graph->nb_inputs);
            for (uint32_t i = 0; i < m; ++i) filter->inputs[i] = graph->inputs[i];
        } else if (filter->nb_inputs > 0) {
            filter->inputs[0] = graph->filters[f - 1]->output;
        }
        run_filter(filter);
    }
    graph->output = graph->filters[graph->nb_filters - 1]->output;
}

VideoFrame *filter_graph_get_output_frame(FilterGraph *graph, uint32_t index) {
    if (!graph) throw_process_error("No filter graph");
    if (index >= graph->nb_filters) throw_process_error("Invalid filter index");
    VideoFrame *out = graph->filters[index]->output;
    if (!out) throw_process_error("Invalid output frame graph filter");
    return out;
}

bool filter_graph_get_message(FilterGraph *graph, const char **text) {
    if (!graph) throw_process_error("No filter graph");
    if (graph->message[0]) {
        *text = graph->message;
        return true;
    }
    for (uint32_t i = 0; i < graph->nb_filters; ++i) {
        if (graph->filters[i]->message[0]) {
            *text = graph->filters[i]->message;
            return true;
        }
    }
    return false;
}
