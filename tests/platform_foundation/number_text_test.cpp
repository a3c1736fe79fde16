#include "platform/foundation/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "testutil/locale_guard.h"

namespace {

TEST(NumberText, IntegerGrammar) {
    struct Case {
        const char *text;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"+7", true, 7},
        {"-12", true, -12},
        {"-0", true, 0},
        {"9223372036854775807", true, std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", true, std::numeric_limits<int64_t>::min()},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {" 1", false, 0},
        {"1 ", false, 0},
        {"1.0", false, 0},
        {"1,5", false, 0},
        {"1e3", false, 0},
        {"1 000", false, 0},
        {"0x10", false, 0},
        {"١٢", false, 0},  // Arabic-Indic digits are not ASCII digits
        {"++1", false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int64_t v = 99;
        EXPECT_EQ(number_text_to_int64(c.text, &v), c.ok);
        if (c.ok) { EXPECT_EQ(v, c.value); }
    }
    int64_t v = 0;
    EXPECT_FALSE(number_text_to_int64(std::string_view("12\0", 3), &v));
}

TEST(NumberText, FileNumberRule) {
    uint64_t v = 5;
    EXPECT_FALSE(number_text_to_uint(nullptr, UINT32_MAX, &v));
    EXPECT_EQ(v, 0u);
    const std::string neg = "-1", big = "4294967296", max = "4294967295", bad = "x";
    v = 5;
    EXPECT_FALSE(number_text_to_uint(&neg, UINT32_MAX, &v));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(number_text_to_uint(&big, UINT32_MAX, &v));
    EXPECT_FALSE(number_text_to_uint(&bad, UINT32_MAX, &v));
    EXPECT_TRUE(number_text_to_uint(&max, UINT32_MAX, &v));
    EXPECT_EQ(v, 4294967295u);
    EXPECT_TRUE(number_text_to_uint(&big, UINT64_MAX, &v));
    EXPECT_EQ(v, 4294967296u);
}

void check_floats() {
    struct Case {
        const char *text;
        float value;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"1.5", 1.5f},  {"  -3.25", -3.25f}, {"\t+2", 2.0f},   {".5", 0.5f},     {"-23", -23.0f},
        {"1,5", 1.0f},  {"2.5abc", 2.5f},    {"1e3", 1000.0f}, {"1e", 1.0f},     {"", 0.0f},
        {"abc", 0.0f},  {"nan", 0.0f},       {"-nan", 0.0f},   {"inf", 0.0f},    {"-infinity", 0.0f},
        {"0x10", 0.0f}, {"-0x1p3", -0.0f},   {"1e40", inf},    {"-1e999", -inf}, {".", 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const float v = number_text_to_float(c.text);
        EXPECT_EQ(v, c.value);
        EXPECT_FALSE(std::isnan(v));
    }
    EXPECT_EQ(number_text_to_float(std::string_view("7.5\0"
                                                    "9",
                                                    5)),
              7.5f);
    EXPECT_EQ(number_text_from_double(-3.5), "-3.500000");
    EXPECT_EQ(number_text_from_double(0.1f), "0.100000");
    EXPECT_EQ(number_text_from_double(-23.0f), "-23.000000");
    EXPECT_EQ(number_text_from_double(1e20), "100000000000000000000.000000");
    EXPECT_EQ(number_text_from_double(2.0000005), "2.000001");  // rounds like "%f"
    EXPECT_EQ(number_text_from_uint(4294967295u), "4294967295");
    EXPECT_EQ(number_text_from_int(-12), "-12");
}

TEST(NumberText, FloatsInTheCLocale) { check_floats(); }

TEST(NumberText, FloatsIgnoreACommaDecimalLocale) {
    LocaleGuard guard("de_DE.UTF-8");
    ASSERT_TRUE(guard.ok()) << "the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)";
    char buf[16];
    snprintf(buf, sizeof(buf), "%.1f", 1.5);
    ASSERT_STREQ(buf, "1,5");  // the locale is really in force
    check_floats();
}

}  // namespace
