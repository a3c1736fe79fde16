#pragma once
// Number texts of the stored files, independent of the process locale.
#include <cstdint>
#include <string>
#include <string_view>

// An integer text is an optional "+" or "-" and one or more ASCII digits, nothing else
// (no spaces, fractions, exponents or grouping). False when the text is not one or does
// not fit in 64 bits.
bool number_text_to_int64(std::string_view text, int64_t *out);

// The files' number rule: absent, unreadable or negative texts fail and give 0.
// `max` bounds the value too (above it fails and gives 0).
bool number_text_to_uint(const std::string *text, uint64_t max, uint64_t *out);

// A float read like strtof in the "C" locale: leading white space skipped, the longest
// decimal prefix taken, 0 when there is none, +-inf on overflow. "nan", "inf" and hex
// forms are not numbers (they read as 0, or as the "0" before an "x").
float number_text_to_float(std::string_view text);

// "%f" (six decimals) and decimal integers, always with "." and without grouping.
std::string number_text_from_double(double v);
std::string number_text_from_uint(uint64_t v);
std::string number_text_from_int(int64_t v);
