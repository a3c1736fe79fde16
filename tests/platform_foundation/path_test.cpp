#include "platform/foundation/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "testutil/testutil.h"

namespace {

struct PathCase {
    const char *path;
    const char *last;
    const char *ext;
    const char *name;
    const char *folder;
};

TEST(Path, ComponentsAndExtensions) {
    const PathCase cases[] = {
        {"/a/clip.mov", "clip.mov", "mov", "clip", "/a"},
        {"clip.mov", "clip.mov", "mov", "clip", ""},
        {"/a/clip", "clip", "", "clip", "/a"},           // no dot
        {"/a/.hidden", ".hidden", "", ".hidden", "/a"},  // only dot first
        {".hidden", ".hidden", "", ".hidden", ""},       //
        {"/a/.hidden.png", ".hidden.png", "png", ".hidden", "/a"},
        {"/a/clip.", "clip.", "", "clip", "/a"},           // ends with a dot
        {"/a/b.tar.gz", "b.tar.gz", "gz", "b.tar", "/a"},  // several dots
        {"/a/b..gz", "b..gz", "gz", "b.", "/a"},
        {"/a/dir.v2/shot", "shot", "", "shot", "/a/dir.v2"},  // dot in a folder only
        {"/a/dir/", "dir", "", "dir", "/a"},                  // trailing "/"
        {"/a/clip.mov//", "clip.mov", "mov", "clip", "/a"},
        {"a//b.wav", "b.wav", "wav", "b", "a"},
        {"/clip.mov", "clip.mov", "mov", "clip", "/"},
        {"/", "/", "", "/", "/"},
        {"", "", "", "", ""},
        {"..", "..", "", "..", ""},
    };
    for (const PathCase &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(path_last_component(c.path), c.last);
        EXPECT_EQ(path_extension(c.path), c.ext);
        EXPECT_EQ(path_name_without_extension(c.path), c.name);
        EXPECT_EQ(path_folder(c.path), c.folder);
    }
}

TEST(Path, ListFolderOneLevel) {
    testutil::TempDir dir;
    testutil::write_file(dir.file("a.png"), "x", 1);
    testutil::write_file(dir.file(".hidden"), "x", 1);
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
    testutil::write_file(dir.file("sub/inner.png"), "x", 1);

    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(list_folder(dir.path(), names, error)) << error;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a.png", "sub"}));
}

TEST(Path, ListFolderReportsSystemReason) {
    testutil::TempDir dir;
    testutil::write_file(dir.file("file"), "x", 1);
    struct Case {
        std::string path;
        const char *reason;
    } cases[] = {
        {dir.file("missing"), "No such file or directory"},
        {dir.file("file"), "Not a directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::string> names{"stale"};
        std::string error;
        EXPECT_FALSE(list_folder(c.path, names, error));
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(names.empty());
    }
}

}  // namespace

namespace {

TEST(Path, SplitAndJoin) {
    using V = std::vector<std::string>;
    EXPECT_EQ(path_components("/Users/ann/Shoot/Day1"), (V{"/", "Users", "ann", "Shoot", "Day1"}));
    EXPECT_EQ(path_components("/a//b/"), (V{"/", "a", "b"}));
    EXPECT_EQ(path_components("a/b"), (V{"a", "b"}));
    EXPECT_EQ(path_components("/"), (V{"/"}));
    EXPECT_EQ(path_components(""), V{});
    EXPECT_EQ(path_append_component("/Out", "Shoot/Day1"), "/Out/Shoot/Day1");
    EXPECT_EQ(path_append_component("/Out/", "/x"), "/Out/x");
    EXPECT_EQ(path_append_component("/", "x"), "/x");
    EXPECT_EQ(path_append_component("", "x"), "x");
    EXPECT_EQ(path_append_component("/Out", ""), "/Out");
}

TEST(Path, WithoutExtension) {
    const char *const cases[][2] = {
        {"/a/take.mp4", "/a/take"},
        {"/a/b.tar.gz/", "/a/b.tar"},
        {"/a/.rc", "/a/.rc"},
        {"/a.d/shot", "/a.d/shot"},
        {"take.", "take"},
        {"/", "/"},
        {"", ""},
        {"..", ".."},
    };
    for (const auto &c : cases) EXPECT_EQ(path_without_extension(c[0]), c[1]) << c[0];
}

}  // namespace
