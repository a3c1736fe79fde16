#pragma once
// A start timecode typed by the user: "HH:MM:SS:FF" or fewer pieces, separated by ":",
// ";", "." or ",".
#include <cstdint>
#include <string>

struct TimecodeTextValue {
    uint32_t hours = 0;
    uint32_t minutes = 0;
    uint32_t seconds = 0;
    uint32_t frames = 0;
    bool has_drop_separator = false;  // the text holds "," or ";"
};

// The last four pieces are frames, seconds, minutes and hours; an empty piece counts 0,
// any other must be a whole number 0..4294967295. Seconds and minutes above 59 carry
// upward. False (and *out untouched) for an empty text or a piece that is not a number.
bool parse_timecode_text(const std::string &text, TimecodeTextValue *out);
