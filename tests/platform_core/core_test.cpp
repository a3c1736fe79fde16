#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/core/aligned_alloc.h"
#include "platform/core/cpu.h"
#include "platform/core/errors.h"
#include "platform/core/main_queue.h"

TEST(AlignedAlloc, Is64ByteAligned) {
    for (size_t size : {1u, 63u, 64u, 65u, 1u << 20}) {
        void *p = zalloc_aligned(size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
        zfree_aligned(p);
    }
    EXPECT_EQ(zalloc_aligned(0), nullptr);
    EXPECT_THROW(zalloc_aligned_or_throw(SIZE_MAX / 2), std::bad_alloc);
}

TEST(Errors, MessagesAreKept) {
    try {
        throw_process_errorf("Fail to read frame : %u", 12u);
    } catch (const ProcessError &e) { EXPECT_STREQ(e.what(), "Fail to read frame : 12"); }
    EXPECT_THROW(throw_alloc_error(), std::bad_alloc);
}

TEST(Cpu, FeaturesAreConsistent) {
    const CpuFeatures &f = cpu_features();
    if (f.avx2 || f.fma) { EXPECT_TRUE(f.avx); }
    EXPECT_GE(cpu_count_available(), 1u);
    EXPECT_GE(cpu_count_total(), 1u);
    EXPECT_GE(cpu_count_physical(), 1u);
    EXPECT_LE(cpu_count_physical(), cpu_count_total());
}

TEST(MainQueue, RunsPostsAndTimersOnTheDrivingThread) {
    main_queue::bind_to_current_thread();
    std::vector<int> order;
    std::atomic<bool> off_main{false};
    main_queue::post_delayed(0.05, [&] { order.push_back(3); });
    MainQueueTimerId cancelled = main_queue::post_delayed(0.01, [&] { order.push_back(99); });
    main_queue::post_delayed(0.02, [&] { order.push_back(2); });
    std::thread t([&] {
        main_queue::post([&] {
            if (!main_queue::is_main_thread()) off_main = true;
            order.push_back(1);
        });
    });
    t.join();
    EXPECT_TRUE(main_queue::cancel(cancelled));
    EXPECT_FALSE(main_queue::cancel(cancelled));
    main_queue::run_for(0.1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(off_main.load());
}

TEST(MainQueue, RunUntilServesTheQueueWhileWaiting) {
    main_queue::bind_to_current_thread();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        // A worker that needs the main thread before it can finish.
        std::atomic<bool> refreshed{false};
        main_queue::post([&] { refreshed = true; });
        while (!refreshed) std::this_thread::yield();
        done = true;
    });
    EXPECT_TRUE(main_queue::run_until([&] { return done.load(); }, 5.0));
    worker.join();
    EXPECT_FALSE(main_queue::run_until([] { return false; }, 0.02));
}
