#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "platform/core/dispatch.h"
#include "platform/core/errors.h"

TEST(DispatchApply, RunsEverySliceOnce) {
    for (size_t n : {0u, 1u, 2u, 7u, 1000u}) {
        SCOPED_TRACE(n);
        std::vector<std::atomic<int>> hits(n);
        dispatch_apply(n, [&](size_t i) { hits[i]++; });
        for (auto &h : hits) EXPECT_EQ(h.load(), 1);
    }
}

TEST(DispatchApply, RethrowsAfterAllSlicesEnd) {
    std::atomic<int> ran{0};
    try {
        dispatch_apply(64, [&](size_t i) {
            ran++;
            if (i == 3) throw ProcessError("slice failed");
        });
        FAIL() << "no exception";
    } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "slice failed"); }
    EXPECT_EQ(ran.load(), 64);
    EXPECT_THROW(dispatch_apply(4, [](size_t) { throw std::bad_alloc(); }), std::bad_alloc);
}

TEST(DispatchApply, NestedCallsDoNotDeadlock) {
    // More outer slices than pool threads, each running an inner apply.
    size_t outer = dispatch_global_thread_count() * 3;
    std::atomic<size_t> total{0};
    dispatch_apply(outer,
                   [&](size_t) { dispatch_apply(16, [&](size_t) { dispatch_apply(4, [&](size_t) { total++; }); }); });
    EXPECT_EQ(total.load(), outer * 16 * 4);
}

TEST(DispatchGroup, WaitsForMembers) {
    DispatchGroup group;
    std::atomic<int> n{0};
    for (int i = 0; i < 20; i++) group.async([&] { n++; });
    group.wait();
    EXPECT_EQ(n.load(), 20);

    DispatchSemaphore gate(0);
    group.async([&] { gate.wait(); });
    EXPECT_FALSE(group.wait_for(0.05));
    gate.signal();
    EXPECT_TRUE(group.wait_for(5));
}

TEST(DispatchSemaphore, TimesOutAndCounts) {
    DispatchSemaphore s(1);
    EXPECT_TRUE(s.wait_for(0));
    EXPECT_FALSE(s.wait_for(0.02));
    s.signal();
    s.signal();
    s.wait();
    EXPECT_TRUE(s.wait_for(0));
}
