#include "pipeline/graph/video_graph_tree.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "platform/core/errors.h"

namespace {

// --- Fixed-capacity arrays ---------------------------------------------------------------

void frame_refs_init(ArrayVideoFrameRef *a, uint32_t capacity) {
    if (capacity == 0) throw_process_error("Invalid nb frames for array video frame ref (zero)");
    a->array = new VideoFrame *[capacity]();
    a->capacity = capacity;
    a->count = 0;
}

void frame_refs_free(ArrayVideoFrameRef *a) {
    delete[] a->array;
    a->array = nullptr;
    a->capacity = a->count = 0;
}

void frame_refs_clear(ArrayVideoFrameRef *a) {
    for (uint32_t i = 0; i < a->count; ++i) a->array[i] = nullptr;
    a->count = 0;
}

void frame_refs_append(ArrayVideoFrameRef *a, VideoFrame *frame) {
    if (a->count >= a->capacity) {
        printf("Not enough space to store video frame ref : max size : %u (used size : %u)\n", a->capacity, a->count);
        throw_process_error("Invalid space for array video frame");
    }
    a->array[a->count++] = frame;
}

void connections_init(ArrayTreeConnection *a, uint32_t capacity) {
    if (capacity == 0) throw_process_error("Invalid nb tree connection input zero");
    a->array = new TreeConnection[capacity];
    for (uint32_t i = 0; i < capacity; ++i) a->array[i] = {kTreeGlobalInput, 0};
    a->capacity = capacity;
    a->count = 0;
}

void connections_free(ArrayTreeConnection *a) {
    delete[] a->array;
    a->array = nullptr;
    a->capacity = a->count = 0;
}

uint32_t connections_append(ArrayTreeConnection *a, const TreeConnection *c) {
    if (!a || !c || !a->array) {
        printf("Can't copy tree connection (NULL)\n");
        throw_process_error("Invalid connection");
    }
    if (a->count >= a->capacity) {
        printf("Not enough space in array connection : max size : %u (used size : %u)\n", a->capacity, a->count);
        throw_process_error("Not enough space in array connection");
    }
    a->array[a->count] = *c;
    return a->count++;
}

void free_branch_record(VideoGraphTreeBranch *b) {
    if (!b) return;
    filter_graph_free(b->graph);
    connections_free(&b->connections);
    frame_refs_free(&b->input_frames);
    delete b;
}

void free_tree_record(VideoGraphTree *t) {
    if (!t) return;
    if (t->branches) {
        for (uint32_t i = 0; i < t->nb_branches; ++i) free_branch_record(t->branches[i]);
        delete[] t->branches;
    }
    frame_refs_free(&t->global_inputs);
    connections_free(&t->output_connections);
    frame_refs_free(&t->output_frames);
    delete t;
}

VideoGraphTree *checked_tree(VideoGraphTree *tree) {
    if (!tree) throw_process_error("Invalid video graph tree");
    return tree;
}

VideoGraphTreeBranch *checked_branch(VideoGraphTreeBranch *branch) {
    if (!branch) throw_process_error("Invalid video graph tree branch");
    return branch;
}

void passthrough_process(VideoFilter *filter) {
    if (!filter->inputs || !filter->inputs[0]) throw_process_error("Invalid inputs");
    filter->output = filter->inputs[0];
}

}  // namespace

// --- Branches ------------------------------------------------------------------------

VideoGraphTreeBranch *create_video_graph_tree_branch(uint32_t max_filters, uint32_t nb_inputs) {
    VideoGraphTreeBranch *b = nullptr;
    try {
        b = new VideoGraphTreeBranch{};
        b->graph = filter_graph_create(max_filters, nb_inputs);
        connections_init(&b->connections, nb_inputs);
        frame_refs_init(&b->input_frames, nb_inputs);
    } catch (const std::bad_alloc &) {
        free_branch_record(b);
        printf("Not enough memory to allocate graph tree branch\n");
        throw;
    } catch (const std::exception &e) {
        free_branch_record(b);
        printf("Fail to create video graph tree branch : %s\n", e.what());
        throw;
    }
    return b;
}

void branch_connect_global_input(VideoGraphTreeBranch *branch, uint32_t i) {
    const TreeConnection c{kTreeGlobalInput, i};
    connections_append(branch ? &branch->connections : nullptr, &c);
}

void branch_connect_prev_branch_output(VideoGraphTree *tree, VideoGraphTreeBranch *branch, uint32_t prev) {
    checked_tree(tree);
    if (prev >= tree->nb_branches) throw_process_error("Invalid graph prev index");
    const TreeConnection c{prev, branch_get_last_filter_index(tree->branches[prev])};
    connections_append(branch ? &branch->connections : nullptr, &c);
}

uint32_t branch_add_filter(VideoGraphTreeBranch *branch, VideoFilter *filter) {
    return filter_graph_add_filter(checked_branch(branch)->graph, filter);
}

void branch_add_passthrough_if_empty(VideoGraphTreeBranch *branch) {
    if (!checked_branch(branch)->graph) throw_process_error("No graph in branch");
    if (branch->graph->nb_filters != 0) return;
    VideoFilter *pass = create_filter_passthrough();
    try {
        filter_graph_add_filter(branch->graph, pass);
    } catch (...) {
        video_filter_free(pass);
        throw;
    }
}

uint32_t branch_get_last_filter_index(VideoGraphTreeBranch *branch) {
    if (!checked_branch(branch)->graph) throw_process_error("invalid graph");
    if (branch->graph->nb_filters == 0) {
        printf("Empty graph branch\n");
        throw_process_error("Empty graph branch");
    }
    return branch->graph->nb_filters - 1;
}

void free_video_graph_tree_branch(VideoGraphTreeBranch **branch) {
    if (!branch) return;
    free_branch_record(*branch);
    *branch = nullptr;
}

// --- Trees ---------------------------------------------------------------------------

VideoGraphTree *create_video_graph_tree(uint32_t nb_branches, uint32_t nb_inputs, uint32_t nb_outputs) {
    VideoGraphTree *t = nullptr;
    try {
        if (nb_branches == 0) throw_process_error("No graph");
        t = new VideoGraphTree{};
        frame_refs_init(&t->global_inputs, nb_inputs);
        t->branches = new VideoGraphTreeBranch *[nb_branches]();
        t->nb_branches_max = nb_branches;
        connections_init(&t->output_connections, nb_outputs);
        frame_refs_init(&t->output_frames, nb_outputs);
    } catch (const std::bad_alloc &) {
        free_tree_record(t);
        printf("Not enough memory to allocate graph tree\n");
        throw;
    } catch (const std::exception &e) {
        free_tree_record(t);
        printf("Fail to create video graph tree : %s\n", e.what());
        throw;
    }
    return t;
}

void video_graph_tree_add_branch(VideoGraphTree *tree, VideoGraphTreeBranch *branch) {
    checked_tree(tree);
    checked_branch(branch);
    if (tree->nb_branches >= tree->nb_branches_max) {
        printf("Not enough space to store tree branch : max size : %u (used size : %u)\n", tree->nb_branches_max,
               tree->nb_branches);
        throw_process_error("Invalid space for video graph branch");
    }
    tree->branches[tree->nb_branches++] = branch;
}

uint32_t video_graph_tree_add_output_from_branch(VideoGraphTree *tree, uint32_t i) {
    checked_tree(tree);
    if (i >= tree->nb_branches) throw_process_error("Invalid graph prev index");
    const TreeConnection c{i, branch_get_last_filter_index(tree->branches[i])};
    return connections_append(&tree->output_connections, &c);
}

uint32_t video_graph_tree_add_output_from_last_branch(VideoGraphTree *tree) {
    if (checked_tree(tree)->nb_branches == 0) throw_process_error("Invalid last graph : no graph");
    return video_graph_tree_add_output_from_branch(tree, tree->nb_branches - 1);
}

void video_graph_tree_set_input_frames(VideoGraphTree *tree, VideoFrame *const frames[], uint32_t n) {
    checked_tree(tree);
    for (uint32_t i = 0; i < tree->nb_branches; ++i) tree->branches[i]->processed = 0;
    frame_refs_clear(&tree->output_frames);
    frame_refs_clear(&tree->global_inputs);
    if (n > tree->global_inputs.capacity) {
        printf("ERROR : Too much input frames for graph (Nb inputs : %d ; Max nb Frames : %d)\n", int(n),
               int(tree->global_inputs.capacity));
        throw_process_error("Invalid input frames count graph tree");
    }
    for (uint32_t i = 0; i < n; ++i) tree->global_inputs.array[i] = frames ? frames[i] : nullptr;
    tree->global_inputs.count = n;
}

VideoFrame *video_graph_tree_get_connection_frame(VideoGraphTree *tree, const TreeConnection *connection) {
    checked_tree(tree);
    if (!connection) throw_process_error("Invalid connection");
    if (connection->src_graph == kTreeGlobalInput) {
        if (connection->output_index >= tree->global_inputs.count) {
            printf("Input frame outside array (index : %u ; Nb global frames : %u)\n", connection->output_index,
                   tree->global_inputs.count);
            throw_process_error("Invalid global frame index");
        }
        return tree->global_inputs.array[connection->output_index];
    }
    if (connection->src_graph >= tree->nb_branches) throw_process_error("Invalid graph index");
    VideoGraphTreeBranch *src = tree->branches[connection->src_graph];
    if (!src->processed) throw_process_error("Can't connect to unprocessed graph");
    return filter_graph_get_output_frame(src->graph, connection->output_index);
}

uint32_t video_graph_tree_process(VideoGraphTree *tree) {
    checked_tree(tree);
    for (uint32_t b = 0; b < tree->nb_branches; ++b) {
        VideoGraphTreeBranch *branch = tree->branches[b];
        frame_refs_clear(&branch->input_frames);
        for (uint32_t c = 0; c < branch->connections.count; ++c)
            frame_refs_append(&branch->input_frames,
                              video_graph_tree_get_connection_frame(tree, &branch->connections.array[c]));
        if (branch->input_frames.count != branch->connections.count) {
            printf("Inputs frames : %u != Branch connexions count : %u\n", branch->input_frames.count,
                   branch->connections.count);
            throw_process_error("Can't connect all inputs for branch processing");
        }
        filter_graph_process(branch->graph, branch->input_frames.array, branch->input_frames.count);
        branch->processed = 1;
    }
    for (uint32_t o = 0; o < tree->output_connections.count; ++o)
        frame_refs_append(&tree->output_frames,
                          video_graph_tree_get_connection_frame(tree, &tree->output_connections.array[o]));
    if (tree->output_frames.count != tree->output_connections.count)
        throw_process_error("Invalid output frame connections");
    return tree->output_frames.count;
}

bool video_graph_tree_get_message(VideoGraphTree *tree, const char **text) {
    checked_tree(tree);
    for (uint32_t i = 0; i < tree->nb_branches; ++i)
        if (filter_graph_get_message(tree->branches[i]->graph, text)) return true;
    return false;
}

uint32_t video_graph_tree_get_input_frame_index(VideoGraphTree *tree, bool *ok) {
    *ok = false;
    if (!tree || tree->global_inputs.count == 0) {
        printf("Invalid no input frame tree\n");
        return 0;
    }
    if (!tree->global_inputs.array[0]) {
        printf("Invalid first frame input tree\n");
        return 0;
    }
    *ok = true;
    return tree->global_inputs.array[0]->frame_index;
}

void free_video_graph_tree(VideoGraphTree **tree) {
    if (!tree) return;
    free_tree_record(*tree);
    *tree = nullptr;
}

// --- Pass-through node -----------------------------------------------------------------

VideoFilter *create_filter_passthrough() {
    VideoFilter *filter = video_filter_create(VideoFilterType_Pass, 1);
    filter->process = passthrough_process;
    return filter;
}
