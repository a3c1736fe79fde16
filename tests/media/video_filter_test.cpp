#include "media/video_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "error_of.h"
#include "platform/core/errors.h"

namespace {

// What a test node does when it runs, and what it saw.
enum class Action { Pass, Fail, OutOfMemory, FailOther };

struct TestNode {
    std::vector<std::string> *log;  // shared run log: "name" per process, "~name" per destroy
    std::string name;
    Action action = Action::Pass;
    const char *message = nullptr;   // left in the node's message when set
    VideoFrame own_output;           // the node's output frame
    std::vector<VideoFrame *> seen;  // input slots at the last run
};

void test_process(VideoFilter *f) {
    auto *node = static_cast<TestNode *>(f->priv_data);
    node->log->push_back(node->name);
    node->seen.assign(f->inputs, f->inputs + f->nb_inputs);
    if (node->message) snprintf(f->message, sizeof(f->message), "%s", node->message);
    switch (node->action) {
    case Action::Pass: break;
    case Action::Fail: throw_process_error("Bad node");
    case Action::OutOfMemory: throw std::bad_alloc();
    case Action::FailOther: throw 42;
    }
    node->own_output.frame_index = f->inputs[0] ? f->inputs[0]->frame_index : 0;
    f->output = &node->own_output;
}

void test_destroy(VideoFilter *f) {
    auto *node = static_cast<TestNode *>(f->priv_data);
    // The input slots must still be there while destroy runs.
    node->log->push_back("~" + node->name + (f->inputs ? "" : "!"));
    f->inputs[0] = nullptr;
    delete node;
}

VideoFilter *make_node(std::vector<std::string> *log, const std::string &name, uint32_t nb_inputs = 1,
                       Action action = Action::Pass, const char *message = nullptr) {
    VideoFilter *f = video_filter_create(VideoFilterType_Crop, nb_inputs);
    auto *node = new TestNode{log, name, action, message, {}, {}};
    video_frame_init(&node->own_output);
    f->priv_data = node;
    f->process = test_process;
    f->destroy = test_destroy;
    return f;
}

TestNode *node_of(FilterGraph *g, uint32_t i) { return static_cast<TestNode *>(g->filters[i]->priv_data); }

using mediatest::error_of;

struct Graph {
    FilterGraph *g;
    Graph(uint32_t cap, uint32_t inputs) : g(filter_graph_create(cap, inputs)) {}
    ~Graph() { filter_graph_free(g); }
};

VideoFrame frame_with(uint32_t flags, uint32_t index) {
    VideoFrame f;
    video_frame_init(&f);
    f.error_flags = flags;
    f.frame_index = index;
    return f;
}

TEST(VideoFilter, CreateAndFreeOrder) {
    EXPECT_EQ(error_of([] { video_filter_create(VideoFilterType_Scale, 0); }), "Zero input filter");
    VideoFilter *f = video_filter_create(VideoFilterType_HapEncode, 3);
    EXPECT_EQ(f->type, VideoFilterType_HapEncode);
    EXPECT_EQ(f->nb_inputs, 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f->inputs[i], nullptr);
    EXPECT_EQ(f->priv_data, nullptr);
    EXPECT_EQ(f->output, nullptr);
    EXPECT_EQ(f->process, nullptr);
    EXPECT_EQ(f->destroy, nullptr);
    EXPECT_EQ(f->message[0], '\0');
    video_filter_free(f);  // no destroy callback
    video_filter_free(nullptr);

    // destroy runs first and may still touch the input slots (ASan sees a late free).
    std::vector<std::string> log;
    video_filter_free(make_node(&log, "a"));
    EXPECT_EQ(log, std::vector<std::string>{"~a"});
}

TEST(FilterGraph, FullGraphRefusesTheNodeWhichStaysTheCallers) {
    std::vector<std::string> log;
    Graph graph(2, 1);
    EXPECT_EQ(filter_graph_add_filter(graph.g, make_node(&log, "a")), 0u);
    EXPECT_EQ(filter_graph_add_filter(graph.g, make_node(&log, "b")), 1u);
    VideoFilter *extra = make_node(&log, "c");
    testing::internal::CaptureStdout();
    EXPECT_EQ(error_of([&] { filter_graph_add_filter(graph.g, extra); }), "Not enough space in filter graph");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid nb filter (2 found), 2 already store\n");
    EXPECT_EQ(graph.g->nb_filters, 2u);
    video_filter_free(extra);
    filter_graph_free(graph.g);
    graph.g = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"~c", "~a", "~b"}));
}

TEST(FilterGraph, ChainPassesEachOutputToTheNextNode) {
    std::vector<std::string> log;
    Graph graph(3, 2);
    filter_graph_add_filter(graph.g, make_node(&log, "a", 2));
    filter_graph_add_filter(graph.g, make_node(&log, "b", 2));
    filter_graph_add_filter(graph.g, make_node(&log, "c"));
    VideoFrame in0 = frame_with(0, 7), in1 = frame_with(0, 8), in2 = frame_with(0, 9);
    VideoFrame *inputs[] = {&in0, &in1, &in2};
    filter_graph_process(graph.g, inputs, 3);  // the third input is beyond nb_inputs
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(node_of(graph.g, 0)->seen, (std::vector<VideoFrame *>{&in0, &in1}));
    // Later nodes get the previous output in slot 0; their other slots are left alone.
    EXPECT_EQ(node_of(graph.g, 1)->seen, (std::vector<VideoFrame *>{&node_of(graph.g, 0)->own_output, nullptr}));
    EXPECT_EQ(node_of(graph.g, 2)->seen, (std::vector<VideoFrame *>{&node_of(graph.g, 1)->own_output}));
    EXPECT_EQ(graph.g->output, &node_of(graph.g, 2)->own_output);
    EXPECT_EQ(graph.g->output->frame_index, 7u);
    EXPECT_EQ(filter_graph_get_output_frame(graph.g, 1), &node_of(graph.g, 1)->own_output);

    // A run with fewer inputs must not leave the previous frame in the empty slot.
    filter_graph_process(graph.g, inputs, 1);
    EXPECT_EQ(node_of(graph.g, 0)->seen, (std::vector<VideoFrame *>{&in0, nullptr}));
    EXPECT_EQ(graph.g->inputs[1], nullptr);
}

struct FlagCase {
    const char *name;
    uint32_t nb_nodes;
    uint32_t flags0, flags1;
    const char *error;    // "" when the run goes on
    const char *message;  // graph message afterwards ("" none)
    const char *printed;
    size_t nodes_run;
};

TEST(FilterGraph, InputErrorFlags) {
    const FlagCase cases[] = {
        {"read failure with nodes", 2, 0x20, 0, "Fail to read frame : 12", "", "", 0},
        {"read failure on second input", 2, 0, 0x20 | 0x02, "Fail to read frame : 13", "", "", 0},
        {"read failure without nodes", 0, 0x20, 0, "Fail to read frame : 12", "", "", 0},
        {"corrupt with nodes runs them", 2, 0x02, 0, "", "Corrupt input frame", "WARNING : Input : 0 is corrupt\n", 2},
        {"unknown bit counts as corrupt", 1, 0, 0x40, "", "Corrupt input frame", "WARNING : Input : 1 is corrupt\n", 1},
        {"corrupt without nodes", 0, 0x08, 0, "", "Corrupt input frame", "WARNING : Input : 0 is corrupt\n", 0},
        {"clean", 2, 0, 0, "", "", "", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        Graph graph(2, 2);
        for (uint32_t i = 0; i < c.nb_nodes; ++i) filter_graph_add_filter(graph.g, make_node(&log, "n", 2));
        VideoFrame in0 = frame_with(c.flags0, 12), in1 = frame_with(c.flags1, 13);
        VideoFrame *inputs[] = {&in0, &in1};
        testing::internal::CaptureStdout();
        EXPECT_EQ(error_of([&] { filter_graph_process(graph.g, inputs, 2); }), c.error);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(log.size(), c.nodes_run);
        const char *text = nullptr;
        if (*c.message) {
            ASSERT_TRUE(filter_graph_get_message(graph.g, &text));
            EXPECT_STREQ(text, c.message);
        } else {
            EXPECT_FALSE(filter_graph_get_message(graph.g, &text));
        }
        if (!*c.error && c.nb_nodes == 0) {
            EXPECT_EQ(graph.g->output, &in0);  // passed through
        }
        if (*c.error) { EXPECT_EQ(graph.g->output, nullptr); }
    }
}

TEST(FilterGraph, MessageIsClearedByTheNextRunAndNodeMessagesFollowChainOrder) {
    std::vector<std::string> log;
    Graph graph(3, 1);
    filter_graph_add_filter(graph.g, make_node(&log, "a"));
    filter_graph_add_filter(graph.g, make_node(&log, "b", 1, Action::Pass, "from b"));
    filter_graph_add_filter(graph.g, make_node(&log, "c", 1, Action::Pass, "from c"));
    VideoFrame bad = frame_with(VideoFrameError_Corrupt, 1), good = frame_with(0, 2);
    VideoFrame *in_bad[] = {&bad}, *in_good[] = {&good};
    const char *text = nullptr;
    testing::internal::CaptureStdout();
    filter_graph_process(graph.g, in_bad, 1);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(filter_graph_get_message(graph.g, &text));
    EXPECT_STREQ(text, "Corrupt input frame");
    filter_graph_process(graph.g, in_good, 1);
    ASSERT_TRUE(filter_graph_get_message(graph.g, &text));
    EXPECT_STREQ(text, "from b");
}

struct FailCase {
    const char *name;
    Action action;
    const char *printed;
};

TEST(FilterGraph, NodeFailureStopsTheRunAndKeepsThePreviousOutput) {
    const FailCase cases[] = {
        {"pipeline error", Action::Fail, "Fail to process filter : Bad node\n"},
        {"out of memory", Action::OutOfMemory, "Fail to process filter : OOM\n"},
        {"other failure", Action::FailOther, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        Graph graph(3, 1);
        filter_graph_add_filter(graph.g, make_node(&log, "a"));
        filter_graph_add_filter(graph.g, make_node(&log, "b"));
        filter_graph_add_filter(graph.g, make_node(&log, "c"));
        VideoFrame in = frame_with(0, 3);
        VideoFrame *inputs[] = {&in};
        filter_graph_process(graph.g, inputs, 1);
        VideoFrame *first_output = graph.g->output;
        node_of(graph.g, 1)->action = c.action;
        log.clear();
        testing::internal::CaptureStdout();
        bool threw = false;
        try {
            filter_graph_process(graph.g, inputs, 1);
        } catch (const ProcessError &e) {
            threw = c.action == Action::Fail && std::string(e.what()) == "Bad node";
        } catch (const std::bad_alloc &) { threw = c.action == Action::OutOfMemory; } catch (int) {
            threw = c.action == Action::FailOther;
        }
        EXPECT_TRUE(threw);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(graph.g->output, first_output);
    }
}

TEST(FilterGraph, EdgeShapesAndLookupFailures) {
    // Neither nodes nor inputs: a run ends with no output.
    Graph empty(0, 0);
    VideoFrame in = frame_with(0, 1);
    VideoFrame *inputs[] = {&in};
    filter_graph_process(empty.g, inputs, 1);
    EXPECT_EQ(empty.g->output, nullptr);

    // Inputs but no node: the first input is the output.
    Graph pass(1, 1);
    filter_graph_process(pass.g, inputs, 1);
    EXPECT_EQ(pass.g->output, &in);
    filter_graph_process(pass.g, inputs, 0);
    EXPECT_EQ(pass.g->output, nullptr);

    std::vector<std::string> log;
    Graph graph(2, 1);
    filter_graph_add_filter(graph.g, make_node(&log, "a"));
    EXPECT_EQ(error_of([&] { filter_graph_get_output_frame(graph.g, 0); }), "Invalid output frame graph filter");
    EXPECT_EQ(error_of([&] { filter_graph_get_output_frame(graph.g, 1); }), "Invalid filter index");
    EXPECT_EQ(error_of([&] { filter_graph_get_output_frame(nullptr, 0); }), "No filter graph");
    const char *text = nullptr;
    EXPECT_EQ(error_of([&] { filter_graph_get_message(nullptr, &text); }), "No filter graph");
    EXPECT_EQ(error_of([&] { filter_graph_process(nullptr, inputs, 1); }), "No filter graph");
    filter_graph_free(nullptr);
}

}  // namespace
