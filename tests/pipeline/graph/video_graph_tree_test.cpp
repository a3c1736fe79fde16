#include "pipeline/graph/video_graph_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "media/error_of.h"

namespace {

using mediatest::error_of;

// A node that stamps its output with its tag and the frame index it received, and
// records runs and destructions in a shared log.
struct TagLog {
    std::vector<int> runs;
    int destroyed = 0;
};

struct TagData {
    VideoFrame out;
    int tag;
    TagLog *log;
    std::vector<uint32_t> seen;  // frame index of every input slot, last run
};

void tag_process(VideoFilter *f) {
    auto *d = static_cast<TagData *>(f->priv_data);
    d->seen.clear();
    for (uint32_t i = 0; i < f->nb_inputs; ++i) d->seen.push_back(f->inputs[i] ? f->inputs[i]->frame_index : ~0u);
    d->out.frame_index = uint32_t(d->tag);
    d->log->runs.push_back(d->tag);
}

void tag_destroy(VideoFilter *f) {
    auto *d = static_cast<TagData *>(f->priv_data);
    d->log->destroyed++;
    delete d;
}

VideoFilter *tag_node(int tag, TagLog *log, uint32_t nb_inputs = 1) {
    VideoFilter *f = video_filter_create(VideoFilterType_Scale, nb_inputs);
    auto *d = new TagData{};
    video_frame_init(&d->out);
    d->tag = tag;
    d->log = log;
    f->priv_data = d;
    f->output = &d->out;
    f->process = tag_process;
    f->destroy = tag_destroy;
    return f;
}

struct Tree {
    VideoGraphTree *t;
    explicit Tree(VideoGraphTree *t) : t(t) {}
    ~Tree() { free_video_graph_tree(&t); }
};

VideoFrame input_frame(uint32_t index) {
    VideoFrame f;
    video_frame_init(&f);
    f.frame_index = index;
    return f;
}

// The multicrop shape: decode branch, then one branch per crop item fed by it.
TEST(VideoGraphTree, MulticropShapeRunsBranchesInOrderAndOutputsPerItem) {
    TagLog log;
    Tree tree(create_video_graph_tree(3, 1, 2));
    VideoGraphTreeBranch *decode = create_video_graph_tree_branch(4, 1);
    branch_connect_global_input(decode, 0);
    branch_add_passthrough_if_empty(decode);
    branch_add_passthrough_if_empty(decode);  // already holds a node: nothing added
    EXPECT_EQ(decode->graph->nb_filters, 1u);
    video_graph_tree_add_branch(tree.t, decode);
    for (int item = 0; item < 2; ++item) {
        VideoGraphTreeBranch *b = create_video_graph_tree_branch(5, 1);
        branch_connect_prev_branch_output(tree.t, b, 0);
        EXPECT_EQ(branch_add_filter(b, tag_node(10 + item, &log)), 0u);
        EXPECT_EQ(branch_add_filter(b, tag_node(20 + item, &log)), 1u);
        video_graph_tree_add_branch(tree.t, b);
        EXPECT_EQ(video_graph_tree_add_output_from_last_branch(tree.t), uint32_t(item));
    }
    for (uint32_t frame = 7; frame < 9; ++frame) {
        SCOPED_TRACE(frame);
        log.runs.clear();
        VideoFrame in = input_frame(frame);
        VideoFrame *inputs[] = {&in};
        video_graph_tree_set_input_frames(tree.t, inputs, 1);
        ASSERT_EQ(video_graph_tree_process(tree.t), 2u);
        EXPECT_EQ(log.runs, (std::vector<int>{10, 20, 11, 21}));
        EXPECT_EQ(tree.t->output_frames.array[0]->frame_index, 20u);
        EXPECT_EQ(tree.t->output_frames.array[1]->frame_index, 21u);
        // The pass-through hands the caller's frame itself to every item branch.
        EXPECT_EQ(tree.t->branches[0]->graph->output, &in);
        const auto *first = static_cast<TagData *>(tree.t->branches[1]->graph->filters[0]->priv_data);
        EXPECT_EQ(first->seen, std::vector<uint32_t>{frame});
        bool ok = false;
        EXPECT_EQ(video_graph_tree_get_input_frame_index(tree.t, &ok), frame);
        EXPECT_TRUE(ok);
    }
    const char *text = nullptr;
    EXPECT_FALSE(video_graph_tree_get_message(tree.t, &text));
    tree.t->branches[2]->graph->filters[1]->message[0] = 'x';
    tree.t->branches[2]->graph->filters[1]->message[1] = '\0';
    ASSERT_TRUE(video_graph_tree_get_message(tree.t, &text));
    EXPECT_STREQ(text, "x");
}

TEST(VideoGraphTree, OutputOrderIsTheOrderOfAdding) {
    TagLog log;
    Tree tree(create_video_graph_tree(3, 1, 2));
    for (int b = 0; b < 3; ++b) {
        VideoGraphTreeBranch *branch = create_video_graph_tree_branch(1, 1);
        branch_connect_global_input(branch, 0);
        branch_add_filter(branch, tag_node(b, &log));
        video_graph_tree_add_branch(tree.t, branch);
    }
    EXPECT_EQ(video_graph_tree_add_output_from_branch(tree.t, 2), 0u);
    EXPECT_EQ(video_graph_tree_add_output_from_branch(tree.t, 1), 1u);
    VideoFrame in = input_frame(0);
    VideoFrame *inputs[] = {&in};
    video_graph_tree_set_input_frames(tree.t, inputs, 1);
    ASSERT_EQ(video_graph_tree_process(tree.t), 2u);
    EXPECT_EQ(tree.t->output_frames.array[0]->frame_index, 2u);
    EXPECT_EQ(tree.t->output_frames.array[1]->frame_index, 1u);
}

TEST(VideoGraphTree, TwoInputBranchTakesConnectionsInOrder) {
    TagLog log;
    Tree tree(create_video_graph_tree(2, 2, 1));
    VideoGraphTreeBranch *first = create_video_graph_tree_branch(1, 1);
    branch_connect_global_input(first, 1);
    branch_add_filter(first, tag_node(5, &log));
    video_graph_tree_add_branch(tree.t, first);
    VideoGraphTreeBranch *second = create_video_graph_tree_branch(1, 2);
    branch_connect_prev_branch_output(tree.t, second, 0);
    branch_connect_global_input(second, 0);
    branch_add_filter(second, tag_node(6, &log, 2));
    video_graph_tree_add_branch(tree.t, second);
    video_graph_tree_add_output_from_last_branch(tree.t);
    VideoFrame a = input_frame(100), b = input_frame(200);
    VideoFrame *inputs[] = {&a, &b};
    video_graph_tree_set_input_frames(tree.t, inputs, 2);
    ASSERT_EQ(video_graph_tree_process(tree.t), 1u);
    EXPECT_EQ(static_cast<TagData *>(first->graph->filters[0]->priv_data)->seen, std::vector<uint32_t>{200});
    EXPECT_EQ(static_cast<TagData *>(second->graph->filters[0]->priv_data)->seen, (std::vector<uint32_t>{5, 100}));
}

// Every refused call of the tree and its branches, with its message.
TEST(VideoGraphTree, RefusedCallsThrowTheirMessages) {
    TagLog log;
    struct Case {
        const char *name;
        const char *message;
        std::function<void()> run;
    };
    // A tree of two branches: branch 0 holds one node, branch 1 none.
    auto build = [&log](uint32_t inputs = 1) {
        VideoGraphTree *t = create_video_graph_tree(2, inputs, 1);
        VideoGraphTreeBranch *b0 = create_video_graph_tree_branch(2, 1);
        branch_connect_global_input(b0, 0);
        branch_add_filter(b0, tag_node(0, &log));
        video_graph_tree_add_branch(t, b0);
        video_graph_tree_add_branch(t, create_video_graph_tree_branch(2, 1));
        return t;
    };
    // The input outlives every run of the cases (a second run reads it again).
    VideoFrame in = input_frame(3);
    auto run_once = [&in](VideoGraphTree *t, uint32_t n = 1) {
        VideoFrame *inputs[] = {&in, &in};
        video_graph_tree_set_input_frames(t, inputs, n);
        video_graph_tree_process(t);
    };
    const Case cases[] = {
        {"no branch", "No graph", [] { create_video_graph_tree(0, 1, 1); }},
        {"no input", "Invalid nb frames for array video frame ref (zero)", [] { create_video_graph_tree(1, 0, 1); }},
        {"no output", "Invalid nb tree connection input zero", [] { create_video_graph_tree(1, 1, 0); }},
        {"branch without input", "Invalid nb tree connection input zero", [] { create_video_graph_tree_branch(1, 0); }},
        {"prev index equal to count", "Invalid graph prev index",
         [&] {
             Tree t(build());
             VideoGraphTreeBranch *b = create_video_graph_tree_branch(1, 1);
             std::string e = error_of([&] { branch_connect_prev_branch_output(t.t, b, 2); });
             free_video_graph_tree_branch(&b);
             throw ProcessError(e);
         }},
        {"output from an empty last branch", "Empty graph branch",
         [&] {
             Tree t(build());
             video_graph_tree_add_output_from_last_branch(t.t);
         }},
        {"output from a tree without branch", "Invalid last graph : no graph",
         [] {
             Tree t(create_video_graph_tree(1, 1, 1));
             video_graph_tree_add_output_from_last_branch(t.t);
         }},
        {"output beyond capacity", "Not enough space in array connection",
         [&] {
             Tree t(build());
             video_graph_tree_add_output_from_branch(t.t, 0);
             video_graph_tree_add_output_from_branch(t.t, 0);
         }},
        {"connection beyond capacity", "Not enough space in array connection",
         [] {
             VideoGraphTreeBranch *b = create_video_graph_tree_branch(1, 1);
             branch_connect_global_input(b, 0);
             std::string e = error_of([&] { branch_connect_global_input(b, 1); });
             free_video_graph_tree_branch(&b);
             throw ProcessError(e);
         }},
        {"branch beyond capacity", "Invalid space for video graph branch",
         [&] {
             Tree t(build());
             VideoGraphTreeBranch *b = create_video_graph_tree_branch(1, 1);
             std::string e = error_of([&] { video_graph_tree_add_branch(t.t, b); });
             free_video_graph_tree_branch(&b);  // refused: still ours
             throw ProcessError(e);
         }},
        {"too many input frames", "Invalid input frames count graph tree",
         [&] {
             Tree t(build());
             run_once(t.t, 2);
         }},
        {"global input index equal to count", "Invalid global frame index",
         [&] {
             Tree t(build(2));
             branch_connect_global_input(t.t->branches[1], 1);
             branch_add_filter(t.t->branches[1], tag_node(1, &log));
             run_once(t.t, 1);
         }},
        {"connection to a later branch", "Can't connect to unprocessed graph",
         [&] {
             Tree t(build());
             branch_add_filter(t.t->branches[1], tag_node(1, &log));
             t.t->branches[0]->connections.array[0] = {1, 0};
             run_once(t.t);
         }},
        {"running twice without new inputs", "Invalid space for array video frame",
         [&] {
             Tree t(build());
             video_graph_tree_add_output_from_branch(t.t, 0);
             t.t->branches[1]->connections.count = 0;
             branch_connect_global_input(t.t->branches[1], 0);
             branch_add_filter(t.t->branches[1], tag_node(1, &log));
             run_once(t.t);
             video_graph_tree_process(t.t);
         }},
        {"node without output", "Invalid output frame graph filter",
         [&] {
             Tree t(build());
             t.t->branches[0]->graph->filters[0]->output = nullptr;
             video_graph_tree_add_output_from_branch(t.t, 0);
             t.t->branches[0]->graph->filters[0]->process = [](VideoFilter *) {};
             branch_connect_global_input(t.t->branches[1], 0);
             branch_add_filter(t.t->branches[1], tag_node(1, &log));
             run_once(t.t);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of(c.run), c.message);
    }
}

TEST(VideoGraphTree, PrintsIndexAndCountOfABadGlobalInput) {
    TagLog log;
    Tree tree(create_video_graph_tree(1, 2, 1));
    VideoGraphTreeBranch *b = create_video_graph_tree_branch(1, 1);
    branch_connect_global_input(b, 1);
    branch_add_filter(b, tag_node(0, &log));
    video_graph_tree_add_branch(tree.t, b);
    VideoFrame in = input_frame(0);
    VideoFrame *inputs[] = {&in};
    video_graph_tree_set_input_frames(tree.t, inputs, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(error_of([&] { video_graph_tree_process(tree.t); }), "Invalid global frame index");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Input frame outside array (index : 1 ; Nb global frames : 1)\n");
}

TEST(VideoGraphTree, FreeingDestroysEveryNodeOnceAndLeavesInputs) {
    TagLog log;
    VideoFrame *in = video_frame_new();
    {
        Tree tree(create_video_graph_tree(2, 1, 1));
        for (int b = 0; b < 2; ++b) {
            VideoGraphTreeBranch *branch = create_video_graph_tree_branch(3, 1);
            if (b == 0)
                branch_connect_global_input(branch, 0);
            else
                branch_connect_prev_branch_output(tree.t, branch, 0);
            for (int n = 0; n < 3; ++n) branch_add_filter(branch, tag_node(n, &log));
            video_graph_tree_add_branch(tree.t, branch);
        }
        video_graph_tree_add_output_from_last_branch(tree.t);
        video_graph_tree_set_input_frames(tree.t, &in, 1);
        video_graph_tree_process(tree.t);
    }
    EXPECT_EQ(log.destroyed, 6);
    EXPECT_EQ(in->frame_index, 0u);  // still ours and alive
    video_frame_destroy(&in);
    VideoGraphTree *null_tree = nullptr;
    free_video_graph_tree(&null_tree);
    free_video_graph_tree(nullptr);
}

TEST(VideoGraphTree, InputFrameIndexQueriesWithoutInput) {
    Tree tree(create_video_graph_tree(1, 1, 1));
    bool ok = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(video_graph_tree_get_input_frame_index(tree.t, &ok), 0u);
    EXPECT_FALSE(ok);
    VideoFrame *none[] = {nullptr};
    video_graph_tree_set_input_frames(tree.t, none, 1);
    EXPECT_EQ(video_graph_tree_get_input_frame_index(tree.t, &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid no input frame tree\nInvalid first frame input tree\n");
}

TEST(VideoGraphTree, PassthroughOutputIsItsInput) {
    VideoFilter *f = create_filter_passthrough();
    EXPECT_EQ(f->type, VideoFilterType_Pass);
    EXPECT_EQ(error_of([&] { f->process(f); }), "Invalid inputs");
    VideoFrame in = input_frame(4);
    f->inputs[0] = &in;
    f->process(f);
    EXPECT_EQ(f->output, &in);
    video_filter_free(f);
}

}  // namespace
