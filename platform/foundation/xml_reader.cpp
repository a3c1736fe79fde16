#include "platform/foundation/xml_reader.h"

#include <expat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

struct ParseState {
    XML_Parser parser = nullptr;
    XmlEventHandler *handler = nullptr;
    std::exception_ptr exception;
    std::string refusal;  // our own reason to stop (entity declarations)
};

void stop_with_exception(ParseState *st) {
    st->exception = std::current_exception();
    XML_StopParser(st->parser, XML_FALSE);
}

void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **atts) {
    auto *st = static_cast<ParseState *>(data);
    try {
        XmlAttributes attributes;
        for (size_t i = 0; atts[i] && atts[i + 1]; i += 2) attributes[atts[i]] = atts[i + 1];
        st->handler->xml_start_element(name, attributes);
    } catch (...) { stop_with_exception(st); }
}

void XMLCALL on_end(void *data, const XML_Char *name) {
    auto *st = static_cast<ParseState *>(data);
    try {
        st->handler->xml_end_element(name);
    } catch (...) { stop_with_exception(st); }
}

void XMLCALL on_entity_decl(void *data, const XML_Char *, int, const XML_Char *, int, const XML_Char *,
                            const XML_Char *, const XML_Char *, const XML_Char *) {
    auto *st = static_cast<ParseState *>(data);
    st->refusal = "entity declarations are not accepted";
    XML_StopParser(st->parser, XML_FALSE);
}

struct ParserDeleter {
    void operator()(XML_ParserStruct *p) const { XML_ParserFree(p); }
};

class Parser {
public:
    explicit Parser(XmlEventHandler &handler) : parser_(XML_ParserCreate("UTF-8")) {
        if (!parser_) throw std::bad_alloc();
        st_.parser = parser_.get();
        st_.handler = &handler;
        XML_SetUserData(parser_.get(), &st_);
        XML_SetElementHandler(parser_.get(), on_start, on_end);
        XML_SetEntityDeclHandler(parser_.get(), on_entity_decl);
        XML_SetParamEntityParsing(parser_.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    // False when the reading stopped; *error then tells why.
    bool feed(const char *data, size_t size, bool last, std::string *error) {
        while (size > 0 || last) {
            const int n = size > (1u << 30) ? (1 << 30) : int(size);
            const bool final_piece = last && size_t(n) == size;
            const XML_Status s = XML_Parse(parser_.get(), data, n, final_piece ? XML_TRUE : XML_FALSE);
            if (st_.exception) std::rethrow_exception(st_.exception);
            if (s != XML_STATUS_OK) {
                if (error) *error = message();
                return false;
            }
            data += n;
            size -= size_t(n);
            if (final_piece) break;
        }
        return true;
    }

private:
    std::string message() const {
        const char *reason = st_.refusal.empty() ? XML_ErrorString(XML_GetErrorCode(parser_.get())) : nullptr;
        std::string text = "line " + std::to_string(XML_GetCurrentLineNumber(parser_.get())) + ", column " +
                           std::to_string(XML_GetCurrentColumnNumber(parser_.get())) + ": ";
        text += reason ? reason : st_.refusal.c_str();
        return text;
    }

    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser_;
    ParseState st_;
};

}  // namespace

bool xml_parse_text(std::string_view text, XmlEventHandler &handler, std::string *error) {
    Parser p(handler);
    return p.feed(text.data(), text.size(), true, error);
}

bool xml_parse_file(const std::string &path, XmlEventHandler &handler, std::string *error) {
    std::unique_ptr<FILE, int (*)(FILE *)> f(fopen(path.c_str(), "rb"), fclose);
    if (!f) {
        if (error) *error = "can't open " + path + ": " + strerror(errno);
        return false;
    }
    Parser p(handler);
    std::unique_ptr<char[]> buf(new char[1 << 16]);
    for (;;) {
        const size_t n = fread(buf.get(), 1, 1 << 16, f.get());
        if (ferror(f.get())) {
            if (error) *error = "can't read " + path + ": " + strerror(errno);
            return false;
        }
        const bool last = n < (1 << 16);
        if (!p.feed(buf.get(), n, last, error)) return false;
        if (last) return true;
    }
}

std::string xml_attributes_description(const XmlAttributes &attributes) {
    std::string s = "{";
    for (const auto &[k, v] : attributes) s += k + " = " + v + "; ";
    return s + "}";
}
