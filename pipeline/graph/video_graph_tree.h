#pragma once
// A tree of linear filter graphs run for one demuxed frame.
//
// Each branch is a FilterGraph whose inputs come from the tree's global input frames or
// from the output of a node of an earlier branch. Branches run in index order; the tree's
// outputs are node outputs of chosen branches, in the order they were added (one per
// output file). The tree owns its branches (and through them graphs and nodes); frames
// are never owned by the tree: inputs belong to the caller, every other frame to the
// node that made it. One thread uses a tree at a time.
//
// Failures throw ProcessError with the fixed messages below, or std::bad_alloc.
#include <cstdint>

#include "media/video_filter.h"
#include "media/video_frame.h"

constexpr uint32_t kTreeGlobalInput = 0xFFFFFFFF;

// Where one input frame comes from: a global input (src_graph kTreeGlobalInput, index
// into the global input frames) or the output of node output_index of branch src_graph.
struct TreeConnection {
    uint32_t src_graph;
    uint32_t output_index;
};

struct ArrayTreeConnection {
    TreeConnection *array;
    uint32_t count;
    uint32_t capacity;
};

struct ArrayVideoFrameRef {
    VideoFrame **array;  // slots start null; frames not owned
    uint32_t capacity;
    uint32_t count;
};

struct VideoGraphTreeBranch {
    FilterGraph *graph;               // owned
    ArrayTreeConnection connections;  // capacity = the branch's number of inputs
    ArrayVideoFrameRef input_frames;  // refilled on every run
    uint8_t processed;                // 1 once run for the current inputs
};

struct VideoGraphTree {
    ArrayVideoFrameRef global_inputs;
    VideoGraphTreeBranch **branches;  // owned
    uint32_t nb_branches;
    uint32_t nb_branches_max;
    ArrayTreeConnection output_connections;
    ArrayVideoFrameRef output_frames;  // filled by each run
};

// --- Branches ------------------------------------------------------------------------

// A branch with a graph of max_filters nodes and nb_inputs graph inputs. nb_inputs 0
// throws "Invalid nb tree connection input zero".
VideoGraphTreeBranch *create_video_graph_tree_branch(uint32_t max_filters, uint32_t nb_inputs);
// Appends {kTreeGlobalInput, i}.
void branch_connect_global_input(VideoGraphTreeBranch *branch, uint32_t i);
// Appends {prev, last node index of branch prev}; prev must be below the branch count.
void branch_connect_prev_branch_output(VideoGraphTree *tree, VideoGraphTreeBranch *branch, uint32_t prev);
// Appends the node to the branch's graph, which owns it from then on; returns its index.
uint32_t branch_add_filter(VideoGraphTreeBranch *branch, VideoFilter *filter);
// Appends a pass-through node when the graph holds no node.
void branch_add_passthrough_if_empty(VideoGraphTreeBranch *branch);
// Node count minus 1; an empty graph prints and throws "Empty graph branch".
uint32_t branch_get_last_filter_index(VideoGraphTreeBranch *branch);
// Frees graph, nodes, arrays and record, then nulls *branch. Null-safe.
void free_video_graph_tree_branch(VideoGraphTreeBranch **branch);

// --- Trees ---------------------------------------------------------------------------

// nb_branches 0 throws "No graph"; nb_inputs and nb_outputs must be at least 1.
VideoGraphTree *create_video_graph_tree(uint32_t nb_branches, uint32_t nb_inputs, uint32_t nb_outputs);
// Stores the branch in the next slot; the tree owns it from then on. A full tree throws
// "Invalid space for video graph branch" and the branch stays the caller's.
void video_graph_tree_add_branch(VideoGraphTree *tree, VideoGraphTreeBranch *branch);
// Appends the output {i, last node index of branch i}; returns the output slot.
uint32_t video_graph_tree_add_output_from_branch(VideoGraphTree *tree, uint32_t i);
uint32_t video_graph_tree_add_output_from_last_branch(VideoGraphTree *tree);
// Clears the processed marks and the output frames, then sets the global inputs.
void video_graph_tree_set_input_frames(VideoGraphTree *tree, VideoFrame *const frames[], uint32_t n);
// Runs every branch in order and collects the outputs; returns their number.
uint32_t video_graph_tree_process(VideoGraphTree *tree);
// The frame a connection names (global input, or node output of a processed branch).
VideoFrame *video_graph_tree_get_connection_frame(VideoGraphTree *tree, const TreeConnection *connection);
// The first branch message (graph's own, else first node's); false when none.
bool video_graph_tree_get_message(VideoGraphTree *tree, const char **text);
// Frame index of global input 0; 0 with *ok false when there is none.
uint32_t video_graph_tree_get_input_frame_index(VideoGraphTree *tree, bool *ok);
// Frees branches and arrays, then nulls *tree; input frames are untouched. Null-safe.
void free_video_graph_tree(VideoGraphTree **tree);

// --- Pass-through node -----------------------------------------------------------------

// Type VideoFilterType_Pass, one input, no private data: its output is its input frame.
VideoFilter *create_filter_passthrough();
