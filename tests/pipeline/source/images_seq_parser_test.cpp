#include "pipeline/source/images_seq_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace {

void touch(const std::string &path) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fclose(f);
}

std::string take_name(uint32_t n) {
    char name[32];
    snprintf(name, sizeof name, "take_%04u.png", n);
    return name;
}

struct SplitCase {
    const char *path;
    const char *error;  // nullptr: parses
    const char *folder;
    const char *basename;
    uint32_t digits;
    const char *ext;
    uint32_t number;
};

TEST(ImagesSeqParser, SplitsTheGivenPath) {
    const SplitCase cases[] = {
        {"/shots/take_0042.png", nullptr, "/shots", "take_", 4, "png", 42},
        {"/shots/clip.png", nullptr, "/shots", "clip", 0, "png", 0},
        {"/shots/0001.png", nullptr, "/shots", "", 4, "png", 1},
        {"/shots/v2_take10.tif", nullptr, "/shots", "v2_take", 2, "tif", 10},
        {"/shots/a4294967295.png", nullptr, "/shots", "a", 10, "png", 4294967295u},
        {"/shots/a4294967296.png", "Fail to get digit part", "/shots", "a", 10, "png", 0},
        // More than 10 digits: the last 10 are the number, as the probe and the source read it.
        {"/shots/a00000000042.png", nullptr, "/shots", "a0", 10, "png", 42},
        // Digits outside ASCII are not digits.
        {"/shots/take_\xd9\xa3.png", nullptr, "/shots", "take_\xd9\xa3", 0, "png", 0},
        {"/", "No filename", "/", "", 0, "", 0},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.path);
        const ImagesSeqParserRef p = ImagesSeqParser::init_with_filepath(c.path);
        if (c.error) {
            ASSERT_TRUE(p->error.has_value());
            EXPECT_EQ(*p->error, c.error);
            continue;
        }
        EXPECT_FALSE(p->error.has_value());
        EXPECT_EQ(p->folderpath, c.folder);
        EXPECT_EQ(p->basename, c.basename);
        EXPECT_EQ(p->digits, c.digits);
        EXPECT_EQ(p->ext, c.ext);
        EXPECT_EQ(p->in_f, c.number);
        EXPECT_EQ(p->start_f, c.number);
        EXPECT_EQ(p->end_f, c.number);
    }
}

struct ScanCase {
    const char *label;
    std::vector<uint32_t> files;
    uint32_t given;
    uint32_t start, end;
    const char *missing;  // nullptr: no text
    const char *ui_name;
};

TEST(ImagesSeqParser, FolderScanFindsTheRunAroundTheGivenFile) {
    const ScanCase cases[] = {
        {"whole run", {}, 1, 1, 100, nullptr, "take_[1-100].png"},
        {"alone", {42}, 42, 42, 42, nullptr, "take_0042.png"},
        {"gaps on both sides", {1, 3, 4, 5, 7}, 4, 3, 5, "2 missing frames : [2], [6]", "take_[3-5].png"},
        {"one gap above", {1, 2, 4}, 1, 1, 2, "1 missing frame : [3]", "take_[1-2].png"},
        {"ranges",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 16, 17, 18, 19, 20, 30},
         17,
         15,
         20,
         "13 missing frames : [11-14], [21-29]",
         "take_[15-20].png"},
    };
    for (const ScanCase &c : cases) {
        SCOPED_TRACE(c.label);
        testutil::TempDir dir;
        std::vector<uint32_t> files = c.files;
        if (files.empty())
            for (uint32_t i = 1; i <= 100; ++i) files.push_back(i);
        for (uint32_t n : files) touch(dir.file(take_name(n)));
        // Same number, other digit count, case, extension or base name: not in the sequence.
        for (const char *other : {"take_001.png", "TAKE_0002.PNG", "take_0050.jpg", "takes_0050.png", "take_.png"})
            touch(dir.file(other));

        const ImagesSeqParserRef p = ImagesSeqParser::init_with_filepath(dir.file(take_name(c.given)));
        p->parse_folder();
        EXPECT_FALSE(p->error.has_value()) << p->description();
        EXPECT_EQ(p->start_f, c.start);
        EXPECT_EQ(p->end_f, c.end);
        EXPECT_EQ(p->get_duration_f(), c.end - c.start + 1);
        EXPECT_EQ(p->str_missing_frame.has_value(), c.missing != nullptr);
        if (c.missing && p->str_missing_frame) { EXPECT_EQ(*p->str_missing_frame, c.missing); }
        EXPECT_EQ(p->get_basename_ui(), c.ui_name);
    }
}

TEST(ImagesSeqParser, RescanFollowsTheFolder) {
    testutil::TempDir dir;
    for (uint32_t n : {1u, 2u, 4u, 5u}) touch(dir.file(take_name(n)));
    const ImagesSeqParserRef p = ImagesSeqParser::init_with_filepath(dir.file(take_name(2)));
    p->parse_folder();
    EXPECT_EQ(p->end_f, 2u);
    ASSERT_TRUE(p->str_missing_frame.has_value());

    // The gap is filled: the text of the earlier scan must not stay.
    touch(dir.file(take_name(3)));
    p->parse_folder();
    EXPECT_EQ(p->start_f, 1u);
    EXPECT_EQ(p->end_f, 5u);
    EXPECT_FALSE(p->str_missing_frame.has_value());

    // The bounds of the earlier scan are gone: the run is worked out again around the file.
    ASSERT_EQ(remove(dir.file(take_name(5)).c_str()), 0);
    ASSERT_EQ(remove(dir.file(take_name(4)).c_str()), 0);
    p->parse_folder();
    EXPECT_FALSE(p->error.has_value());
    EXPECT_EQ(p->start_f, 1u);
    EXPECT_EQ(p->end_f, 3u);
    EXPECT_FALSE(p->str_missing_frame.has_value());
}

TEST(ImagesSeqParser, ScanFailures) {
    testutil::TempDir dir;
    const ImagesSeqParserRef missing = ImagesSeqParser::init_with_filepath(dir.file("take_0001.png"));
    missing->parse_folder();
    ASSERT_TRUE(missing->error.has_value());
    EXPECT_EQ(*missing->error, "File not found");

    // A single image: no scan, duration 1.
    touch(dir.file("logo.png"));
    const ImagesSeqParserRef still = ImagesSeqParser::init_with_filepath(dir.file("logo.png"));
    still->parse_folder();
    EXPECT_FALSE(still->error.has_value());
    EXPECT_EQ(still->get_duration_f(), 1u);
    EXPECT_EQ(still->get_basename_ui(), "logo.png");

    const ImagesSeqParserRef p = ImagesSeqParser::init();
    p->update_from_list_basename_file({});
    ASSERT_TRUE(p->error.has_value());
    EXPECT_EQ(*p->error, "Fail to get files from dir");

    // The given number is not among the files.
    const ImagesSeqParserRef q = ImagesSeqParser::init_with_filepath("/x/take_0005.png");
    q->update_from_list_basename_file({"take_0001.png", "take_0003.png"});
    ASSERT_TRUE(q->error.has_value());
    EXPECT_EQ(*q->error, "Fail to get images seq (2)");

    // The whole 32-bit range: the frame count does not fit.
    const ImagesSeqParserRef r = ImagesSeqParser::init_with_filepath("/x/a0000000000.png");
    r->update_from_list_basename_file({"a0000000000.png", "a4294967295.png"});
    ASSERT_TRUE(r->error.has_value());
    EXPECT_EQ(*r->error, "Fail to get images sequence");

    const ImagesSeqParserRef bad = ImagesSeqParser::init();
    bad->digits = 4;
    bad->start_f = 9;
    bad->end_f = 3;
    EXPECT_EQ(bad->get_duration_f(), 0u);
}

TEST(ImagesSeqParser, MembershipAndCopy) {
    const ImagesSeqParserRef p = ImagesSeqParser::init_with_filepath("/shots/take_0042.png");
    EXPECT_TRUE(p->is_filepath_in_img_seq("/shots/take_9999.png"));
    EXPECT_FALSE(p->is_filepath_in_img_seq("/shots/take_999.png"));
    EXPECT_FALSE(p->is_filepath_in_img_seq("/shots/Take_0001.png"));
    EXPECT_FALSE(p->is_filepath_in_img_seq("/shots/take_0001.PNG"));
    EXPECT_FALSE(p->is_filepath_in_img_seq("/other/take_0001.png"));
    EXPECT_FALSE(p->is_filepath_in_img_seq("/shots/take_9999999999.png"));

    p->str_missing_frame = "1 missing frame : [3]";
    const ImagesSeqParserRef c = p->mutableCopyWithZone();
    EXPECT_NE(c.get(), p.get());
    EXPECT_EQ(c->description(), p->description());
    c->basename = "other";
    EXPECT_EQ(p->basename, "take_");
}

TEST(ImagesSeqParser, MissingRangeTexts) {
    EXPECT_EQ(ImagesSeqParser::get_str_missing_range_from_val({7, 1}), "[7]");
    EXPECT_EQ(ImagesSeqParser::get_str_missing_range_from_val({4294967290u, 5}), "[4294967290-4294967294]");
    const auto ranges = ImagesSeqParser::get_missing_ranges_from_list_sort_nsnum_unsigned({0, 4294967295u});
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].location, 1u);
    EXPECT_EQ(ranges[0].length, 4294967294u);
    EXPECT_TRUE(ImagesSeqParser::get_missing_ranges_from_list_sort_nsnum_unsigned({5, 3}).empty());
}

}  // namespace
