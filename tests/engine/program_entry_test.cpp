// Runs the built executable and checks its output and exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

TEST(ProgramEntry, HelpAndVersion) {
    const std::vector<uint8_t> bytes =
        testutil::read_file(std::string(ZELQA_SOURCE_DIR) + "/tests/engine/data/help.txt");
    const std::string golden(bytes.begin(), bytes.end());
    ASSERT_FALSE(golden.empty());
    for (const std::vector<std::string> &args : {std::vector<std::string>{"--help"}, {"--help", "-i", "x.mov"}}) {
        const testutil::ProgramResult r = testutil::run_program(ZELQA_EXE, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, golden);
    }
    const testutil::ProgramResult v = testutil::run_program(ZELQA_EXE, {"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "1.0.0\n");
}

TEST(ProgramEntry, AnythingElseGoesToTheWindowedApplication) {
    // Exact, case-sensitive match of the first argument only.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {"--HELP"}, {"--help2"}, {"-i", "--help"}}) {
        const testutil::ProgramResult r = testutil::run_program(ZELQA_EXE, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("windowed application"), std::string::npos) << r.err;
    }
}

}  // namespace
