#pragma once
// Unicode text edits (ICU) on UTF-8 strings: upper-casing, the decimal-digit class, and
// plain-text find and replace. Bytes that are not UTF-8 count as U+FFFD.
#include <cstddef>
#include <string>
#include <string_view>

// Full upper-casing with the root locale's rules, so one letter may become two ("ß" -> "SS").
std::string unicode_to_upper(std::string_view text);

// Byte offset where the run of decimal digits (general category Nd, any script) that ends
// the text begins; text.size() when the text does not end with one.
size_t unicode_trailing_digits_start(std::string_view text);

// Replaces every occurrence of `find` by `replacement`, left to right, without overlaps and
// without searching the inserted text again. Canonically equivalent sequences match (a
// precomposed "é" and "e" + U+0301); with `ignore_case` letters also match across case
// (full case folding). A match must cover whole characters of the text: "e" does not match
// inside a precomposed "é". Text outside the matches keeps its bytes. An empty `find`
// changes nothing.
std::string unicode_replace_all(std::string_view text, std::string_view find, std::string_view replacement,
                                bool ignore_case);
