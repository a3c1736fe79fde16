#pragma once
// Event-driven XML reader (expat). External entities are never loaded and a document that
// declares entities is refused. A parse error stops the reading where it is: the events
// already delivered stand, and the error is returned.
#include <map>
#include <string>
#include <string_view>

using XmlAttributes = std::map<std::string, std::string>;

class XmlEventHandler {
public:
    virtual ~XmlEventHandler() = default;
    virtual void xml_start_element(const std::string &name, const XmlAttributes &attributes) = 0;
    virtual void xml_end_element(const std::string &name) { (void)name; }
};

// True when the whole text is a well-formed document; otherwise false with a message
// ("line L, column C: reason") in *error. An exception thrown by a handler stops the
// reading and is thrown again from here once expat has returned.
bool xml_parse_text(std::string_view text, XmlEventHandler &handler, std::string *error);
// The same for a file, read in blocks; an unreadable file is an error too.
bool xml_parse_file(const std::string &path, XmlEventHandler &handler, std::string *error);

// A one-line text of an attribute set for log lines: {k = v; k2 = v2; }.
std::string xml_attributes_description(const XmlAttributes &attributes);
