#include "engine/timecode_text.h"

#include <vector>

#include "platform/foundation/number_text.h"

bool parse_timecode_text(const std::string &text, TimecodeTextValue *out) {
    if (text.empty()) return false;
    std::vector<std::string> pieces(1);
    bool drop = false;
    for (char c : text) {
        if (c == ':' || c == ';' || c == '.' || c == ',') {
            if (c == ';' || c == ',') drop = true;
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    // values[0] frames, [1] seconds, [2] minutes, [3] hours.
    uint64_t values[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 4 && i < pieces.size(); ++i) {
        const std::string &piece = pieces[pieces.size() - 1 - i];
        if (piece.empty()) continue;
        if (!number_text_to_uint(&piece, 0xFFFFFFFFull, &values[i])) return false;
    }
    uint64_t minutes = values[2] + values[1] / 60;
    const uint64_t seconds = values[1] % 60;
    const uint64_t hours = values[3] + minutes / 60;
    minutes %= 60;
    out->frames = static_cast<uint32_t>(values[0]);
    out->seconds = static_cast<uint32_t>(seconds);
    out->minutes = static_cast<uint32_t>(minutes);
    out->hours = static_cast<uint32_t>(hours > 0xFFFFFFFFull ? 0xFFFFFFFFull : hours);
    out->has_drop_separator = drop;
    return true;
}
