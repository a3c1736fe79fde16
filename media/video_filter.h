#pragma once
// Filter nodes and linear filter graphs.
//
// A node (VideoFilter) is a plain record: type, private data, input slots, one output
// frame, a message and two callbacks; each kind of node is made by its own creation
// function, which calls video_filter_create and then sets priv_data, output, process
// and destroy. A graph (FilterGraph) owns its nodes and runs them in order: node 0
// takes the graph inputs, every later node the previous node's output in slot 0.
// Input frames are never owned by a node or a graph. One thread uses a graph at a time.
#include <cstdint>

#include "media/video_frame.h"

enum VideoFilterType : uint32_t {
    VideoFilterType_Pass = 0,
    VideoFilterType_Scale = 1,
    VideoFilterType_YCoCgToRgb = 2,
    VideoFilterType_Pad = 4,
    VideoFilterType_BgMerge = 6,
    VideoFilterType_Crop = 7,
    VideoFilterType_DxtCropConvert = 8,
    VideoFilterType_RotateFlip = 17,
    VideoFilterType_CropDetect = 24,
    VideoFilterType_HapDecode = 25,
    VideoFilterType_DxtDecode = 26,
    VideoFilterType_PngDecode = 27,
    VideoFilterType_TiffDecode = 28,
    VideoFilterType_JpegDecode = 29,
    VideoFilterType_NotchLcDecode = 30,
    VideoFilterType_FfmpegDecode = 32,
    VideoFilterType_PngEncode = 35,
    VideoFilterType_JpegEncode = 36,
    VideoFilterType_DxtEncode = 37,
    VideoFilterType_HapEncode = 38,
};

constexpr uint32_t kVideoFilterMessageSize = 256;

struct VideoFilter;
// Processes inputs into output; fails by throwing (ProcessError or std::bad_alloc).
using VideoFilterProcessFunc = void (*)(VideoFilter *filter);
// Releases priv_data and everything the node owns, its output frame included.
using VideoFilterDestroyFunc = void (*)(VideoFilter *filter);

struct VideoFilter {
    VideoFilterType type;
    void *priv_data;      // owned by the node, released by destroy
    VideoFrame **inputs;  // nb_inputs slots, filled by the graph; frames not owned
    uint32_t nb_inputs;   // at least 1
    VideoFrame *output;
    char message[kVideoFilterMessageSize];  // NUL-terminated note about the last frame
    VideoFilterProcessFunc process;
    VideoFilterDestroyFunc destroy;  // may be null
};

struct FilterGraph {
    VideoFilter **filters;  // the chain, owned
    uint32_t nb_filters_max;
    uint32_t nb_filters;
    VideoFrame **inputs;  // inputs of the current run, not owned
    uint32_t nb_inputs;
    VideoFrame *output;                     // result of the last run, not owned
    char message[kVideoFilterMessageSize];  // the graph's own message, cleared every run
};

// nb_inputs 0 throws "Zero input filter".
VideoFilter *video_filter_create(VideoFilterType type, uint32_t nb_inputs);
// Calls destroy (when set), then releases the input slots and the record. Null-safe.
void video_filter_free(VideoFilter *filter);

FilterGraph *filter_graph_create(uint32_t nb_filters_max, uint32_t nb_inputs);
// Appends the node (the graph owns it from then on) and returns its position. A full
// graph prints a line and throws "Not enough space in filter graph"; the node then
// stays the caller's.
uint32_t filter_graph_add_filter(FilterGraph *graph, VideoFilter *filter);
// Frees every node and the graph; input and output frames are not touched. Null-safe.
void filter_graph_free(FilterGraph *graph);

// Runs the chain once on inputs[0 .. count-1] (extra inputs are ignored, missing ones
// leave their slots null). An input flagged VideoFrameError_ReadFailed throws
// "Fail to read frame : <frame_index>"; other flags only set "Corrupt input frame".
// Afterwards graph->output is the result (the first input when there is no node).
void filter_graph_process(FilterGraph *graph, VideoFrame *inputs[], uint32_t count);
// Output frame of node index.
VideoFrame *filter_graph_get_output_frame(FilterGraph *graph, uint32_t index);
// The graph's own message, else the first non-empty node message; false when none.
bool filter_graph_get_message(FilterGraph *graph, const char **text);
