#include "media/zthread.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "platform/core/errors.h"

namespace {

struct Job {
    enum Kind { Succeed, Pipeline, Empty, OutOfMemory, Logic, Other } kind;
    std::string text;
    std::thread::id ran_on;
};

void run_job(void *p) {
    auto *job = static_cast<Job *>(p);
    job->ran_on = std::this_thread::get_id();
    switch (job->kind) {
    case Job::Succeed: return;
    case Job::Pipeline: throw ProcessError(job->text);
    case Job::Empty: throw ProcessError("");
    case Job::OutOfMemory: throw std::bad_alloc();
    case Job::Logic: throw std::logic_error("logic");
    case Job::Other: throw 3.5;
    }
}

TEST(ZThread, JobFailuresBecomeText) {
    struct Case {
        const char *name;
        Job::Kind kind;
        std::string text;
        bool success;
        std::string error;
    } cases[] = {
        {"success", Job::Succeed, "", true, ""},
        {"pipeline error", Job::Pipeline, "Corrupt frame", false, "Corrupt frame"},
        {"empty text", Job::Empty, "", false, "Unknown error"},
        {"out of memory", Job::OutOfMemory, "", false, "Memory Error"},
        {"not a runtime error", Job::Logic, "", false, "Unknown Error"},
        {"not an exception class", Job::Other, "", false, "Unknown Error"},
        {"300 characters kept as 255", Job::Pipeline, std::string(300, 'x'), false, std::string(255, 'x')},
    };
    ZThread zt;
    zthread_init(&zt);
    // One record reused job after job: each start clears the previous text.
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Job job{c.kind, c.text, {}};
        zthread_start(&zt, run_job, &job);
        EXPECT_EQ(zthread_join(&zt), c.success ? 1 : 0);
        EXPECT_NE(job.ran_on, std::this_thread::get_id());
        EXPECT_EQ(zt.is_running.load(), 0);
        EXPECT_EQ(zt.thread, nullptr);
        EXPECT_EQ(zthread_has_error(&zt), !c.error.empty());
        const char *text = "untouched";
        EXPECT_EQ(zthread_get_error(&zt, &text), !c.error.empty());
        EXPECT_EQ(std::string(text), c.error.empty() ? "untouched" : c.error);
    }
}

TEST(ZThread, JoinWithoutJobAndStrayThread) {
    ZThread zt;
    zthread_init(&zt);
    testing::internal::CaptureStdout();
    EXPECT_EQ(zthread_join(&zt), 1);
    EXPECT_EQ(zthread_wait(&zt), 1);
    EXPECT_EQ(zthread_join(nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // A thread on a record not marked running is reported and left alone.
    Job job{Job::Pipeline, "late", {}};
    zthread_start(&zt, run_job, &job);
    zt.is_running.store(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(zthread_join(&zt), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error : Process run false, et thread NON NULL\n");
    // Starting again finishes that thread first instead of dropping it while joinable.
    Job next{Job::Succeed, "", {}};
    zthread_start(&zt, run_job, &next);
    EXPECT_EQ(zthread_wait(&zt), 1);
    EXPECT_FALSE(zthread_has_error(&zt));
}

}  // namespace
