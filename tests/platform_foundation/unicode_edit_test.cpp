#include "platform/foundation/unicode_edit.h"

#include <gtest/gtest.h>

namespace {

TEST(UnicodeEdit, ReplaceAll) {
    struct Case {
        const char *text, *find, *replacement;
        bool ignore_case;
        const char *result;
    };
    const Case cases[] = {
        {"Banana", "a", "o", true, "Bonono"},
        {"BANANA", "a", "o", false, "BANANA"},
        {"BANANA", "a", "o", true, "BoNoNo"},          // the replacement goes in as written
        {"aaaa", "aa", "a", false, "aa"},              // no overlap, no second pass
        {"abab", "ab", "abab", false, "abababab"},     // inserted text is not searched again
        {"Cafe\u0301", "\u00E9", "e", false, "Cafe"},  // precomposed find, decomposed text
        {"Caf\u00E9", "e\u0301", "E", false, "CafE"},  // and the other way round
        {"Caf\u00E9", "e", "x", false, "Caf\u00E9"},   // no match inside a composed letter
        {"\u00C9cole", "\u00E9", "e", true, "ecole"},  // case folding of an accented letter
        {"\u00C9cole", "\u00E9", "e", false, "\u00C9cole"},
        {"Stra\u00DFe", "SS", "s", true, "Strase"},  // full folding: sharp s is "ss"
        {"Gro\u00DF", "s", "x", true, "Gro\u00DF"},  // half of a folded letter is no match
        // e + acute + dot below is canonically the same as e + dot below + acute.
        {"x\u00E9\u0323y", "e\u0323\u0301", "E", false, "xEy"},
        {"a\377b", "b", "c", false, "a\377c"},  // bytes that are not UTF-8 stay as they were
        {"abc", "", "x", false, "abc"},
        {"", "a", "x", false, ""},
        {"My Clip 01", " ", "", false, "MyClip01"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " / " << c.find);
        EXPECT_EQ(unicode_replace_all(c.text, c.find, c.replacement, c.ignore_case), c.result);
    }
}

TEST(UnicodeEdit, UpperAndDigits) {
    EXPECT_EQ(unicode_to_upper("stra\u00DFe caf\u00E9"), "STRASSE CAF\u00C9");
    EXPECT_EQ(unicode_to_upper(""), "");
    struct Case {
        const char *text;
        size_t start;
    };
    const Case cases[] = {
        {"clip12", 4},
        {"clip", 4},
        {"", 0},
        {"2024", 0},
        {"x\xD9\xA3", 1},                 // ARABIC-INDIC DIGIT THREE
        {"\xEF\xBC\x91\xEF\xBC\x92", 0},  // full-width 1 2
        {"x\xC2\xB2", 3},                 // superscript two is not a decimal digit
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(unicode_trailing_digits_start(c.text), c.start);
    }
}

}  // namespace
