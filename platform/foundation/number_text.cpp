#include "platform/foundation/number_text.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <limits>

bool number_text_to_int64(std::string_view text, int64_t *out) {
    size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    if (i == text.size()) return false;
    // Accumulate as a negative value so that INT64_MIN is representable.
    int64_t v = 0;
    for (; i < text.size(); i++) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        const int d = c - '0';
        if (v < (std::numeric_limits<int64_t>::min() + d) / 10) return false;
        v = v * 10 - d;
    }
    if (!neg) {
        if (v == std::numeric_limits<int64_t>::min()) return false;
        v = -v;
    }
    *out = v;
    return true;
}

bool number_text_to_uint(const std::string *text, uint64_t max, uint64_t *out) {
    int64_t v = 0;
    *out = 0;
    if (!text || !number_text_to_int64(*text, &v) || v < 0 || uint64_t(v) > max) return false;
    *out = uint64_t(v);
    return true;
}

namespace {

locale_t c_locale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return loc;
}

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

float number_text_to_float(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) i++;
    size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) j++;
    // Only a digit or a point may start a number: this refuses the nan and inf words.
    if (j == text.size() || !((text[j] >= '0' && text[j] <= '9') || text[j] == '.')) return 0.0f;
    // The text may hold NUL bytes or lack a terminator: work on a bounded copy.
    std::string s(text.substr(i));
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    // Hex forms stop at the "x": only the leading "0" counts.
    const size_t k = j - i;
    if (k + 1 < s.size() && s[k] == '0' && (s[k + 1] == 'x' || s[k + 1] == 'X')) s.resize(k + 1);
    return strtof_l(s.c_str(), nullptr, c_locale());
}

std::string number_text_from_double(double v) {
    char buf[400];  // the largest double in fixed notation with six decimals fits
    const auto r = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::fixed, 6);
    return std::string(buf, r.ptr);
}

std::string number_text_from_uint(uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, r.ptr);
}

std::string number_text_from_int(int64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof(buf), v);
    return std::string(buf, r.ptr);
}
