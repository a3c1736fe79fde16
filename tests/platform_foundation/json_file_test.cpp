#include <gtest/gtest.h>
#include <sys/stat.h>

#include <limits>
#include <string>

#include "platform/foundation/file_io.h"
#include "platform/foundation/json.h"
#include "testutil/testutil.h"

namespace {

TEST(Json, ParseRefusesScalarsAndDeepDocuments) {
    Json v;
    std::string error;
    EXPECT_TRUE(json_parse("{\"items\":[1,2]}", &v, &error)) << error;
    EXPECT_TRUE(json_parse("[]", &v, &error));
    for (const char *t : {"1", "\"s\"", "true", "null", "", "{", "{\"a\":}", "[1,]"}) {
        SCOPED_TRACE(t);
        error.clear();
        EXPECT_FALSE(json_parse(t, &v, &error));
        EXPECT_FALSE(error.empty());
    }
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(json_parse(deep, &v, &error));
    const std::string fine = std::string(100, '[') + std::string(100, ']');
    EXPECT_TRUE(json_parse(fine, &v, &error));
    // Brackets inside strings do not count.
    EXPECT_TRUE(json_parse("[\"" + std::string(1000, '[') + "\\\"\"]", &v, &error)) << error;
}

TEST(Json, DumpIsSortedWithPlainSlashes) {
    Json o = Json::object();
    o["b"] = "a/b";
    o["a"] = 1;
    o["c"] = std::string("\xFF");
    EXPECT_EQ(json_dump_pretty(o), "{\n  \"a\": 1,\n  \"b\": \"a/b\",\n  \"c\": \"\xEF\xBF\xBD\"\n}");
}

TEST(Json, UnsignedValues) {
    struct Case {
        Json v;
        bool ok;
        uint32_t out;
    };
    const Case cases[] = {
        {Json(0), true, 0},
        {Json(10), true, 10},
        {Json(4294967295u), true, 4294967295u},
        {Json(4294967296u), false, 0},
        {Json(-10), false, 0},
        {Json(-0.5), false, 0},
        {Json(3.9), true, 3},
        {Json(4294967295.5), true, 4294967295u},
        {Json(4294967296.0), false, 0},
        {Json(std::numeric_limits<double>::infinity()), false, 0},
        {Json(std::numeric_limits<double>::quiet_NaN()), false, 0},
        {Json(true), true, 1},
        {Json(false), true, 0},
        {Json("10"), false, 0},
        {Json(nullptr), false, 0},
        {Json::array(), false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.v.dump());
        uint32_t out = 77;
        EXPECT_EQ(json_to_u32(c.v, &out), c.ok);
        if (c.ok) { EXPECT_EQ(out, c.out); }
    }
}

TEST(FileIo, AtomicWriteReplacesOrLeavesTheOldFile) {
    testutil::TempDir dir;
    const std::string path = dir.file("a.txt");
    std::string error, text;
    ASSERT_TRUE(write_file_atomic(path, std::string("first"), &error)) << error;
    ASSERT_TRUE(write_file_atomic(path, std::string("second"), &error)) << error;
    ASSERT_TRUE(read_whole_file(path, &text, &error)) << error;
    EXPECT_EQ(text, "second");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u);  // not the private mode of a temporary file

    // A failed write reports the system's reason and leaves nothing behind.
    EXPECT_FALSE(write_file_atomic(dir.file("no/such/folder/b.txt"), std::string("x"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(write_file_atomic(dir.path(), std::string("x"), &error));  // a folder is not replaced
    const auto r = testutil::run_command("ls -A " + testutil::shell_quote(dir.path()));
    EXPECT_EQ(r.output, "a.txt\n");

    EXPECT_TRUE(is_existing_file(path));
    EXPECT_FALSE(is_existing_file(dir.path()));
    EXPECT_FALSE(is_existing_file(dir.file("none")));
    EXPECT_FALSE(read_whole_file(dir.path(), &text, &error));
    EXPECT_FALSE(read_whole_file(dir.file("none"), &text, &error));
    ASSERT_TRUE(write_file_atomic(path, std::string(100, 'x'), &error));
    EXPECT_FALSE(read_whole_file(path, &text, &error, 99));
    EXPECT_TRUE(read_whole_file(path, &text, &error, 100));
}

}  // namespace
