#include "platform/core/file_create.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "testutil/testutil.h"

TEST(FileCreate, NumberedNames) {
    struct Case {
        const char *path;
        unsigned long n;
        const char *expected;
    } cases[] = {
        {"/a/clip.mov", 1, "/a/clip_1.mov"}, {"/a/clip.mov", 12, "/a/clip_12.mov"}, {"/a/b.tar.gz", 2, "/a/b.tar_2.gz"},
        {"/a.d/clip", 1, "/a.d/clip_1"},     {"/a/.hidden", 3, "/a/.hidden_3"},     {"clip.wav", 1, "clip_1.wav"},
    };
    for (const Case &c : cases) EXPECT_EQ(file_numbered_path(c.path, c.n), c.expected) << c.path;
}

TEST(FileCreate, NeverReplacesAnEntryAndMovesToTheNextFreeName) {
    testutil::TempDir dir;
    const std::string base = dir.file("clip.mov");
    testutil::write_file(base, "old", 3);
    testutil::write_file(dir.file("clip_1.mov"), "one", 3);
    ASSERT_EQ(mkdir(dir.file("clip_2.mov").c_str(), 0755), 0);
    // A dangling link is taken too, and never followed.
    ASSERT_EQ(symlink(dir.file("target.mov").c_str(), dir.file("clip_3.mov").c_str()), 0);

    std::string path = base;
    FILE *f = file_create_exclusive(path);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(path, dir.file("clip_4.mov"));
    fputs("new", f);
    fclose(f);
    EXPECT_EQ(testutil::read_file(base), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(testutil::read_file(dir.file("clip_1.mov")), (std::vector<uint8_t>{'o', 'n', 'e'}));
    EXPECT_EQ(testutil::read_file(dir.file("clip_4.mov")), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_NE(access(dir.file("target.mov").c_str(), F_OK), 0);

    // A free name is created as asked.
    std::string free_path = dir.file("other.wav");
    f = file_create_exclusive(free_path);
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(free_path, dir.file("other.wav"));
}

TEST(FileCreate, OtherFailuresKeepThePathAndSetErrno) {
    testutil::TempDir dir;
    std::string path = dir.file("missing/clip.mov");
    errno = 0;
    EXPECT_EQ(file_create_exclusive(path), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(path, dir.file("missing/clip.mov"));
}
