#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/config_folder.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/unicode_text.h"
#include "testutil/testutil.h"

namespace {

TEST(UnicodeText, CaseInsensitiveOrder) {
    EXPECT_LT(unicode_compare_case_insensitive("Alpha", "beta"), 0);
    EXPECT_LT(unicode_compare_case_insensitive("beta", "Gamma"), 0);
    EXPECT_EQ(unicode_compare_case_insensitive("alpha", "ALPHA"), 0);
    // Accents still order: secondary strength.
    EXPECT_NE(unicode_compare_case_insensitive("cote", "c\xc3\xb4te"), 0);
    // Broken UTF-8 does not throw or crash.
    EXPECT_NE(unicode_compare_case_insensitive("\xff\xfe", "a"), 2);
}

TEST(UnicodeText, Contains) {
    const struct {
        const char *text, *needle;
        bool ignore_case, expected;
    } cases[] = {
        {"clip.MOV", "mov", true, true},
        {"clip.MOV", "mov", false, false},
        {"Intro_Logo", "LOGO", true, true},
        {"stra\xc3\x9f"
         "e",
         "STRASSE", true, true},
        {"abc", "", false, true},
        {"", "a", true, false},
        {"\xc3\x89t\xc3\xa9", "\xc3\xa9T\xc3\x89", true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.needle);
        EXPECT_EQ(unicode_contains(c.text, c.needle, c.ignore_case), c.expected);
    }
}

class EnvGuard {
public:
    explicit EnvGuard(const char *name) : name_(name) {
        const char *v = getenv(name);
        had_ = v != nullptr;
        if (v) old_ = v;
    }
    ~EnvGuard() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char *name_;
    bool had_ = false;
    std::string old_;
};

TEST(ConfigFolder, XdgThenHome) {
    EnvGuard g1("XDG_CONFIG_HOME"), g2("HOME");
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(config_folder_path().value_or(""), "/tmp/xdg/ZelqaHapEncoder");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(config_folder_path().value_or(""), "/home/u/.config/ZelqaHapEncoder");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    EXPECT_FALSE(config_folder_path().has_value());
}

TEST(ConfigFolder, MakeWithParents) {
    testutil::TempDir dir;
    std::string error;
    const std::string deep = dir.file("a/b/c");
    EXPECT_TRUE(make_folder_with_parents(deep, &error)) << error;
    EXPECT_TRUE(make_folder_with_parents(deep + "/", &error)) << error;  // existing is success
    struct stat st;
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // A file in the way: the system's reason.
    ASSERT_TRUE(write_file_atomic(dir.file("f"), std::string("x"), nullptr));
    EXPECT_FALSE(make_folder_with_parents(dir.file("f/sub"), &error));
    EXPECT_EQ(error, "Not a directory");
    EXPECT_FALSE(make_folder_with_parents("", &error));
}

}  // namespace
