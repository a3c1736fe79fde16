#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/foundation/xml_reader.h"
#include "platform/foundation/xml_writer.h"
#include "testutil/testutil.h"

namespace {

struct Recorder : XmlEventHandler {
    std::vector<std::string> events;
    void xml_start_element(const std::string &name, const XmlAttributes &attributes) override {
        std::string e = "<" + name;
        for (const auto &[k, v] : attributes) e += " " + k + "=" + v;
        events.push_back(e);
    }
    void xml_end_element(const std::string &name) override { events.push_back("/" + name); }
};

TEST(XmlWriter, LayoutIsByteExact) {
    XmlStreamWriter w;
    w.start_document();
    w.start_element("root");
    w.start_element("task");
    w.attribute("a", "1");
    w.attribute("b", "x y");
    w.start_element("params");
    w.attribute("k", "name");
    w.end_element();
    w.end_element();
    w.start_element("empty");
    w.end_element();
    w.end_document();
    EXPECT_EQ(w.text(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
              "<root>\n"
              "\t<task a=\"1\" b=\"x y\">\n"
              "\t\t<params k=\"name\" />\n"
              "\t</task>\n"
              "\t<empty />\n"
              "</root>");

    XmlStreamWriter empty;
    empty.start_document();
    empty.start_element("root");
    empty.end_document();
    EXPECT_EQ(empty.text(), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<root />");
}

TEST(XmlWriter, Escaping) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e'f"},
        {"tab\tlf\ncr\r crlf\r\n", "tab&#9;lf&#10;cr&#13; crlf&#13;&#10;"},
        {std::string("nul\0bell\x07"
                     "esc\x1b"
                     "end",
                     16),
         "nulbellescend"},
        {"\x1f\x01", ""},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", ""},                                                      // U+FFFE, U+FFFF
        {"\xEF\xBF\xBD \xC3\xA9 \xF0\x9F\x98\x80", "\xEF\xBF\xBD \xC3\xA9 \xF0\x9F\x98\x80"},  // kept as they are
        {"\xFF"
         "a\xC3",
         "\xEF\xBF\xBD"
         "a\xEF\xBF\xBD"},                                         // not UTF-8
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // an encoded surrogate
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong "/"
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(xml_escape_attribute(c.in), c.out);
    }
}

TEST(XmlWriter, EveryCharacterGivesAWellFormedDocument) {
    const std::string xmllint = testutil::require_tool("xmllint");
    ASSERT_FALSE(xmllint.empty());
    std::string all;
    for (int c = 1; c < 0x80; c++) all += char(c);
    all += std::string(1, '\0') + "\xEF\xBF\xBE\xEF\xBF\xBF\xFE\xC3\xA9";
    XmlStreamWriter w;
    w.start_document();
    w.start_element("root");
    w.attribute("v", all);
    w.end_document();
    testutil::TempDir dir;
    const std::string path = dir.file("all.xml");
    ASSERT_TRUE(write_file_atomic(path, w.text(), nullptr));
    const auto r =
        testutil::run_command(testutil::shell_quote(xmllint) + " --noout " + testutil::shell_quote(path) + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;

    // Our reader gets back every character that was kept, tab, LF and CR included.
    struct One : XmlEventHandler {
        std::string v;
        void xml_start_element(const std::string &, const XmlAttributes &a) override { v = a.at("v"); }
    } one;
    std::string error;
    ASSERT_TRUE(xml_parse_file(path, one, &error)) << error;
    std::string expected = "\t\n\r";
    for (int c = 0x20; c < 0x80; c++) expected += char(c);
    expected += "\xEF\xBF\xBD\xC3\xA9";
    EXPECT_EQ(one.v, expected);
}

TEST(XmlReader, EventsAndErrors) {
    Recorder r;
    std::string error;
    ASSERT_TRUE(xml_parse_text("<?xml version=\"1.0\"?><a x=\"1&amp;2\"><b y='&#x41;'/></a>", r, &error)) << error;
    EXPECT_EQ(r.events, (std::vector<std::string>{"<a x=1&2", "<b y=A", "/b", "/a"}));

    // A parse error stops the reading where it is and is reported.
    Recorder broken;
    EXPECT_FALSE(xml_parse_text("<a><b/><c></a><d/>", broken, &error));
    EXPECT_EQ(broken.events, (std::vector<std::string>{"<a", "<b", "/b", "<c"}));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;

    const char *bad[] = {"", "not xml", "<a>", "<a x=\"1\" x=\"2\"/>", "<a/><b/>", "<a>\x01</a>"};
    for (const char *t : bad) {
        SCOPED_TRACE(t);
        Recorder rr;
        error.clear();
        EXPECT_FALSE(xml_parse_text(t, rr, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(XmlReader, EntitiesAreNeverExpandedFromOutside) {
    testutil::TempDir dir;
    const std::string secret = dir.file("secret.txt");
    testutil::write_file(secret, "SECRET", 6);
    const std::string docs[] = {
        "<!DOCTYPE a [<!ENTITY e SYSTEM \"file://" + secret + "\">]><a v=\"&e;\">&e;</a>",
        "<!DOCTYPE a SYSTEM \"file://" + secret + "\"><a/>",
        "<!DOCTYPE a [<!ENTITY x \"xx\"><!ENTITY y \"&x;&x;&x;\">]><a v=\"&y;\"/>",
    };
    for (const std::string &d : docs) {
        SCOPED_TRACE(d);
        Recorder r;
        std::string error;
        xml_parse_text(d, r, &error);
        for (const std::string &e : r.events) EXPECT_EQ(e.find("SECRET"), std::string::npos);
    }
    Recorder r;
    std::string error;
    EXPECT_FALSE(xml_parse_text(docs[2], r, &error));
    EXPECT_TRUE(r.events.empty());
}

TEST(XmlReader, HandlerExceptionsStopTheReading) {
    struct Thrower : XmlEventHandler {
        int seen = 0;
        void xml_start_element(const std::string &name, const XmlAttributes &) override {
            seen++;
            if (name == "b") throw std::runtime_error("stop here");
        }
    } t;
    std::string error;
    EXPECT_THROW(xml_parse_text("<a><b/><c/></a>", t, &error), std::runtime_error);
    EXPECT_EQ(t.seen, 2);
}

TEST(XmlReader, Files) {
    testutil::TempDir dir;
    Recorder r;
    std::string error;
    EXPECT_FALSE(xml_parse_file(dir.file("missing.xml"), r, &error));
    EXPECT_NE(error.find("missing.xml"), std::string::npos);
    EXPECT_FALSE(xml_parse_file(dir.path(), r, &error));  // a folder

    // A document larger than one read block.
    XmlStreamWriter w;
    w.start_document();
    w.start_element("root");
    for (int i = 0; i < 20000; i++) {
        w.start_element("p");
        w.attribute("i", std::to_string(i));
        w.end_element();
    }
    w.end_document();
    ASSERT_GT(w.text().size(), size_t(1) << 17);
    ASSERT_TRUE(write_file_atomic(dir.file("big.xml"), w.text(), nullptr));
    Recorder big;
    ASSERT_TRUE(xml_parse_file(dir.file("big.xml"), big, &error)) << error;
    ASSERT_EQ(big.events.size(), 40002u);
    EXPECT_EQ(big.events[39999], "<p i=19999");
}

}  // namespace
