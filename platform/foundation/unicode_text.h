#pragma once
// Unicode text comparisons (ICU) on UTF-8 strings.
#include <string_view>

// Order of two names for lists shown to the user: the root locale's collation at secondary
// strength (case is ignored, accents are not). Negative, 0 or positive. Bytes that are not
// UTF-8 compare as U+FFFD.
int unicode_compare_case_insensitive(std::string_view a, std::string_view b);

// Whether `needle` occurs in `text`; with `ignore_case` both are case folded first (full
// folding, so "STRASSE" occurs in "straße"). An empty needle occurs everywhere.
bool unicode_contains(std::string_view text, std::string_view needle, bool ignore_case);
