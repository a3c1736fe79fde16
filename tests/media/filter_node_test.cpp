#include <gtest/gtest.h>

#include <string>

#include "media/filter_node.h"

namespace {

int g_released = 0;

struct Record {
    int value;
    VideoFrame output;
    bool made;
};

void record_process(VideoFilter *filter) { filter_node_data<Record>(filter)->value++; }

void record_destroy(VideoFilter *filter) {
    filter_node_destroy<Record>(filter, [](Record *r) {
        g_released++;
        EXPECT_TRUE(r->value == 0 || r->made);  // never a record from another node
    });
}

}  // namespace

TEST(FilterNode, MakesTheRecordAndReleasesItOnce) {
    g_released = 0;
    VideoFilter *f = filter_node_create<Record>(VideoFilterType_Pass, 2, record_process, record_destroy, [](Record *r) {
        EXPECT_EQ(r->value, 0);  // value-initialised
        r->made = true;
        return &r->output;
    });
    ASSERT_NE(f, nullptr);
    auto *r = static_cast<Record *>(f->priv_data);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(f->type, VideoFilterType_Pass);
    EXPECT_EQ(f->nb_inputs, 2u);
    EXPECT_EQ(f->output, &r->output);
    f->process(f);
    EXPECT_EQ(r->value, 1);
    video_filter_free(f);
    EXPECT_EQ(g_released, 1);
}

TEST(FilterNode, AFailingSetupReleasesWhatItMade) {
    g_released = 0;
    std::string msg;
    try {
        filter_node_create<Record>(VideoFilterType_Pass, 1, record_process, record_destroy,
                                   [](Record *r) -> VideoFrame * {
                                       r->made = true;
                                       throw_process_error("Invalid size (empty)");
                                   });
    } catch (const ProcessError &e) { msg = e.what(); }
    EXPECT_EQ(msg, "Invalid size (empty)");
    EXPECT_EQ(g_released, 1);  // through destroy, once
    // Zero inputs fail before any record exists.
    EXPECT_THROW(filter_node_create<Record>(VideoFilterType_Pass, 0, record_process, record_destroy,
                                            [](Record *r) { return &r->output; }),
                 ProcessError);
    EXPECT_EQ(g_released, 1);
}
