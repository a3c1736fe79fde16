#include "platform/foundation/json.h"

#include <cmath>

namespace {

// Deeper documents are refused before they reach the recursive parts of the library.
constexpr int kMaxDepth = 512;

bool depth_ok(const std::string &text) {
    int depth = 0;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); i++) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                i++;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return false;
        } else if (c == ']' || c == '}') {
            depth--;
        }
    }
    return true;
}

}  // namespace

bool json_parse(const std::string &text, Json *out, std::string *error) {
    if (!depth_ok(text)) {
        if (error) *error = "document nested too deeply";
        return false;
    }
    try {
        Json v = Json::parse(text);
        if (!v.is_object() && !v.is_array()) {
            if (error) *error = "the root is neither an object nor an array";
            return false;
        }
        *out = std::move(v);
        return true;
    } catch (const Json::exception &e) {
        if (error) *error = e.what();
        return false;
    }
}

std::string json_dump_pretty(const Json &value) { return value.dump(2, ' ', false, Json::error_handler_t::replace); }

bool json_to_u32(const Json &value, uint32_t *out) {
    if (value.is_boolean()) {
        *out = value.get<bool>() ? 1 : 0;
        return true;
    }
    if (value.is_number_unsigned()) {
        const uint64_t v = value.get<uint64_t>();
        if (v > UINT32_MAX) return false;
        *out = uint32_t(v);
        return true;
    }
    if (value.is_number_integer()) {
        const int64_t v = value.get<int64_t>();
        if (v < 0 || v > int64_t(UINT32_MAX)) return false;
        *out = uint32_t(v);
        return true;
    }
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (!std::isfinite(v) || v < 0.0 || v >= 4294967296.0) return false;
        *out = uint32_t(v);
        return true;
    }
    return false;
}
