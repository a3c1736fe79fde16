// The render job through the built executable: statuses and console lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil/spawn.h"
#include "testutil/testutil.h"

#ifndef ZELQA_EXE
#error "ZELQA_EXE must name the built executable"
#endif

namespace {

TEST(CmdRenderExe, ArgumentErrorsAndUnusableInput) {
    const testutil::ProgramResult alone = testutil::run_program(ZELQA_EXE, {"--cmd_line_render"});
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.out,
              "INFO : Use command line render\n"
              "ERROR : Not enough input arguments\n"
              "ERROR : Fail to process input arguments\n");

    testutil::TempDir dir;
    const std::string missing = dir.file("missing.mov");
    const testutil::ProgramResult r =
        testutil::run_program(ZELQA_EXE, {"--cmd_line_render", "-i", missing, "-o", dir.file("out.mov")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("INFO : Use command line render\nERROR : Invalid input file : " + missing + " : ", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("\nERROR : Fail to process input arguments\n"), std::string::npos) << r.out;
}

}  // namespace
