#include "platform/foundation/xml_writer.h"

#include <cstdint>

#include "platform/core/log.h"

namespace {

// Length of the UTF-8 sequence at s[i] and its code point, or 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF are malformed).
size_t utf8_decode(std::string_view s, size_t i, uint32_t *cp) {
    const uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t n;
    uint32_t v, min;
    if ((c & 0xE0) == 0xC0) {
        n = 2, v = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, v = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, v = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++) {
        const uint8_t d = uint8_t(s[i + k]);
        if ((d & 0xC0) != 0x80) return 0;
        v = (v << 6) | (d & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return n;
}

}  // namespace

std::string xml_escape_attribute(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    size_t i = 0;
    while (i < value.size()) {
        uint32_t cp = 0;
        const size_t n = utf8_decode(value, i, &cp);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i++;
            continue;
        }
        switch (cp) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        // As references: a reader turns them into blanks when they stand raw in a value.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            if (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF) out.append(value.substr(i, n));
            break;
        }
        i += n;
    }
    return out;
}

void XmlStreamWriter::start_document(std::string_view version, std::string_view encoding) {
    out_ += "<?xml version=\"";
    out_ += version;
    out_ += "\" encoding=\"";
    out_ += encoding;
    out_ += "\" ?>";
}

void XmlStreamWriter::start_element(std::string_view name) {
    if (tag_open_) out_ += ">";
    if (!out_.empty()) out_ += "\n";
    out_.append(open_.size(), '\t');
    out_ += "<";
    out_ += name;
    open_.emplace_back(name);
    tag_open_ = true;
}

void XmlStreamWriter::attribute(std::string_view name, std::string_view value) {
    ZASSERT(tag_open_);
    out_ += " ";
    out_ += name;
    out_ += "=\"";
    out_ += xml_escape_attribute(value);
    out_ += "\"";
}

void XmlStreamWriter::end_element() {
    ZASSERT(!open_.empty());
    if (tag_open_) {
        out_ += " />";
        tag_open_ = false;
    } else {
        out_ += "\n";
        out_.append(open_.size() - 1, '\t');
        out_ += "</";
        out_ += open_.back();
        out_ += ">";
    }
    open_.pop_back();
}

void XmlStreamWriter::end_document() {
    while (!open_.empty()) end_element();
}
