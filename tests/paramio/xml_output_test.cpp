// XML output, read back with pugixml and checked for well-formedness with
// xmllint. The exact layout is held by the tool's expected example output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "text_forms.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

using namespace std::string_literals;

// Well-formed for a strict parser; pugixml would accept much that is not.
void expectXmllintAccepts(const std::string& xml, const std::string& name) {
    if (std::string(ORV_XMLLINT).empty()) {
        GTEST_SKIP() << "no xmllint to run (package libxml2-utils; none in cross builds)";
    }
    const std::string path = std::string(ORV_TEST_WORK_DIR) + "/" + name + ".xml";
    std::ofstream(path, std::ios::binary) << xml;
    const std::string command = std::string(ORV_XMLLINT) + " --noout '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(XmlOutput, EntriesNestUnderTheLatestElementOfTheirParentPath) {
    const struct {
        const char* entries;   // see text_forms.h
        const char* document;  // less the declaration, line ends and indentation
    } cases[] = {
        {"", "<ParamIoXML />"},
        {"R.X.Y=v", "<R><X><Y>v</Y></X></R>"},
        {"R.H[No=1]; R.H.T=10; R.H[No=2]; R.H.T=20",
         "<R><H No=\"1\"><T>10</T></H><H No=\"2\"><T>20</T></H></R>"},
        // The parent path is looked up as a whole: "R.A.B" still names the B
        // inside the first A after a second A was appended.
        {"R.A; R.A.B; R.A; R.A.B.C", "<R><A><B><C /></B></A><A /></R>"},
        {"A; B.C", "<ParamIoXML><A /><B><C /></B></ParamIoXML>"},
        {"R=v; R.C[z=1,a=<&\"'>]", "<R>v<C z=\"1\" a=\"&lt;&amp;&quot;'>\" /></R>"},
    };
    for (const auto& c : cases) {
        const std::string xml = testsupport::treeOf(c.entries).toXml();
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        ASSERT_EQ(xml.rfind(declaration, 0), 0u) << xml;
        std::string flat;  // less line ends and indentation
        bool lineStart = false;
        for (std::size_t i = declaration.size(); i < xml.size(); ++i) {
            lineStart = xml[i] == '\n' || (lineStart && xml[i] == ' ');
            flat += lineStart ? "" : std::string(1, xml[i]);
        }
        EXPECT_EQ(flat, c.document);
        expectXmllintAccepts(xml, "nesting" + std::to_string(&c - cases));
    }
}

TEST(XmlOutput, BadNamesThrowNamingTheEntryAndNothingIsWritten) {
    const struct {
        const char* entry;
        const char* why;
    } cases[] = {
        {"R..B", "Entry 1 (key \"R..B\") cannot be written as XML: empty path component"},
        {"R.a:b", "\"a:b\" is not an XML name"},
        {"R.A\xFF", "(key \"R.A\\xFF\")"},
        {"R.A[xmlns=v]", "attribute \"xmlns\""},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        try {
            testsupport::treeOf("R.Good=1; "s + c.entry + "; R.Later").writeXml(out);
            ADD_FAILURE() << c.why << ": no exception";
        } catch (const unitCmnException& e) {
            EXPECT_NE(std::string(e.comment).find(c.why), std::string::npos) << e.comment;
        }
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(XmlEscaping, EscapesExactlyWhatParsersWouldChangeOrRefuse) {
    const struct {
        std::string raw;
        std::string escaped;
    } cases[] = {
        {"plain 1.0", "plain 1.0"},
        {"a\\b", "a\\\\b"},
        {"\0\t\n\r\x1F"s, "\\x00\\x09\\x0A\\x0D\\x1F"},
        {" a  b ", "\\x20a  b\\x20"},
        {"\x7F\xC2\x85", "\\x7F\\xC2\\x85"},                                       // DEL, NEL (C1)
        {"\xC2\xA0\xC3\xA9\xF0\x9F\x98\x80", "\xC2\xA0\xC3\xA9\xF0\x9F\x98\x80"},  // stay
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "\\xEF\\xBF\\xBE\\xEF\\xBF\\xBF"},  // not allowed in XML
        {"\xED\xA0\x80\xC0\xAF", "\\xED\\xA0\\x80\\xC0\\xAF"},           // surrogate, overlong
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                    // past U+10FFFF
        {"\xE2\x82"
         "A\x80",
         "\\xE2\\x82A\\x80"},        // cut short, stray continuation byte
        {"<&>\"']]>", "<&>\"']]>"},  // markup is the writer's business
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParamIoXML::escapeText(c.raw), c.escaped);
        EXPECT_EQ(ParamIoXML::unescapeText(c.escaped), c.raw);
    }
    EXPECT_EQ(ParamIoXML::unescapeText("\\x0a\\x0A"), "\n\n");
    for (const char* malformed : {"a\\", "\\x4", "\\xG0", "\\q"}) {
        EXPECT_THROW(ParamIoXML::unescapeText(malformed), unitCmnException) << malformed;
    }
}

// Values as a device could send them, in the texts and in an attribute:
// every byte alone, in context and all together, and pseudo-random runs of
// the bytes that matter to UTF-8 and XML.
TEST(XmlEscaping, EveryByteRoundTripsThroughAStrictParser) {
    std::vector<std::string> values(1);
    for (int b = 0; b < 256; ++b) {
        values.emplace_back(1, static_cast<char>(b));
        values.push_back("x"s + static_cast<char>(b) + "y");
        values[0] += static_cast<char>(b);
    }
    const char alphabet[] =
        "\x00\x09\x0A\x0D\x20\x5C\x78\x41\x26\x3C\x3E\x22\x27\x5D\x7F\x80"
        "\x85\x9F\xA0\xBE\xBF\xC0\xC2\xC3\xE0\xED\xEF\xF0\xF4\xF5\xFF\x90";
    unsigned state = 12345;
    for (int i = 0; i < 2000; ++i) {
        std::string v;
        for (unsigned k = state % 12; k > 0; --k) {
            state = state * 1103515245u + 12345u;
            v += alphabet[(state >> 16) % (sizeof alphabet - 1)];
        }
        state = state * 1103515245u + 12345u;
        values.push_back(v);
    }
    ParamIoXML tree;
    for (const auto& v : values) {
        tree.addElement("R.V", v)->setAttribute("a", v);
    }
    const std::string xml = tree.toXml();
    expectXmllintAccepts(xml, "hostile");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    std::size_t i = 0;
    for (auto element : doc.document_element().children("V")) {
        ASSERT_LT(i, values.size());
        EXPECT_EQ(ParamIoXML::unescapeText(element.text().get()), values[i]) << "value " << i;
        EXPECT_EQ(ParamIoXML::unescapeText(element.attribute("a").value()), values[i]) << i;
        ++i;
    }
    EXPECT_EQ(i, values.size());
}

}  // namespace
