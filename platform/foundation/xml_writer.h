#pragma once
// XML stream writer shared by every file the model writes.
//
// Layout: the declaration `<?xml version="1.0" encoding="UTF-8" ?>`, then every start tag on
// a new line indented with one tab per level; attributes in the order written; an element
// without children closed with " />"; an element with children closed by an end tag on its
// own line; no line break after the last end tag. No element holds text.
//
// Attribute values: "&", "<", ">" and the double quote are escaped; tab, line feed and
// carriage return are kept; other characters below U+0020 and U+FFFE, U+FFFF are left out
// (they cannot appear in a well-formed document); bytes that are not UTF-8 become U+FFFD.
#include <string>
#include <string_view>
#include <vector>

class XmlStreamWriter {
public:
    void start_document(std::string_view version = "1.0", std::string_view encoding = "UTF-8");
    void start_element(std::string_view name);
    // Only while the current start tag is open (before any child).
    void attribute(std::string_view name, std::string_view value);
    void end_element();
    // Closes every element still open.
    void end_document();

    const std::string &text() const { return out_; }

private:
    std::string out_;
    std::vector<std::string> open_;
    bool tag_open_ = false;
};

// The escaped form of an attribute value, as the writer puts it between double quotes.
std::string xml_escape_attribute(std::string_view value);
