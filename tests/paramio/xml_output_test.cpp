// XML output, checked by reading it back with pugixml and, for
// well-formedness, with xmllint.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"
#include "xml_describe.h"

namespace {

struct Entry {
    std::string key;
    std::string value;
    std::vector<std::pair<std::string, std::string>> attributes;
};

ParamIoXML makeTree(const std::vector<Entry>& entries) {
    ParamIoXML tree;
    for (const auto& e : entries) {
        IoXMLDefine* added = tree.addElement(e.key, e.value);
        for (const auto& a : e.attributes) {
            added->setAttribute(a.first, a.second);
        }
    }
    return tree;
}

pugi::xml_document parse(const std::string& xml) {
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_string(xml.c_str());
    EXPECT_TRUE(result) << result.description() << " at " << result.offset << " in\n" << xml;
    return doc;
}

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

struct NestingCase {
    const char* name;
    std::vector<Entry> entries;
    const char* expected;
};

void PrintTo(const NestingCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlNesting : public testing::TestWithParam<NestingCase> {};

TEST_P(XmlNesting, ParsesBackToTheTree) {
    const std::string xml = makeTree(GetParam().entries).toXml();
    const pugi::xml_document doc = parse(xml);
    EXPECT_EQ(testsupport::describeXml(doc.document_element()), GetParam().expected) << xml;
    expectXmllintAccepts(xml, std::string("nesting_") + GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlNesting,
    testing::Values(
        NestingCase{"EmptyTreeIsAnEmptyWrapper", {}, "ParamIoXML"},
        NestingCase{"ImplicitAncestors", {{"R.X.Y", "v", {}}}, "R{X{Y=\"v\"}}"},
        NestingCase{"EqualPathsAreSiblingsInOrder",
                    {{"R.A", "1", {}}, {"R.A", "2", {}}, {"R.B", "", {}}, {"R.A", "3", {}}},
                    "R{A=\"1\" A=\"2\" B A=\"3\"}"},
        NestingCase{"EntriesGoIntoTheMostRecentParent",
                    {{"R.H", "", {{"No", "1"}}},
                     {"R.H.T", "10", {}},
                     {"R.H.S", "0", {}},
                     {"R.H", "", {{"No", "2"}}},
                     {"R.H.T", "20", {}}},
                    "R{H[No=1]{T=\"10\" S=\"0\"} H[No=2]{T=\"20\"}}"},
        // The parent path is looked up as a whole: "R.A.B" still names the B
        // inside the first A after a second A was appended.
        NestingCase{"ParentPathIsLookedUpAsAWhole",
                    {{"R.A", "", {}}, {"R.A.B", "", {}}, {"R.A", "", {}}, {"R.A.B.C", "", {}}},
                    "R{A{B{C}} A}"},
        NestingCase{"ImplicitParentAfterSiblings",
                    {{"R.A", "", {}}, {"R.B.C", "x", {}}, {"R.B.D", "y", {}}},
                    "R{A B{C=\"x\" D=\"y\"}}"},
        NestingCase{
            "SeveralRootsAreWrapped", {{"A", "", {}}, {"B.C", "", {}}}, "ParamIoXML{A B{C}}"},
        NestingCase{"RootAppendedTwiceIsWrapped",
                    {{"A", "1", {}}, {"A", "2", {}}},
                    "ParamIoXML{A=\"1\" A=\"2\"}"},
        NestingCase{"ValueBeforeChildren", {{"R", "v", {}}, {"R.C", "", {}}}, "R=\"v\"{C}"},
        NestingCase{"AttributesInOrder",
                    {{"R", "", {{"z", "1"}, {"a", "2"}, {"m", "<&\"'>"}}}},
                    "R[z=1,a=2,m=<&\"'>]"},
        NestingCase{"NonAsciiNames",
                    {{"Ger\xC3\xA4t.\xC3\x9C"
                      "1._x-y",
                      "",
                      {{"\xC3\xA9t\xC3\xA9", "e"}}}},
                    "Ger\xC3\xA4t{\xC3\x9C"
                    "1{_x-y[\xC3\xA9t\xC3\xA9=e]}}"}),
    [](const testing::TestParamInfo<NestingCase>& info) { return info.param.name; });

TEST(XmlOutput, DeclarationIndentationAndLayout) {
    ParamIoXML tree;
    tree.addElement("DeviceStatus.Heaters");
    tree.addElement("DeviceStatus.Heaters.Heater")->setAttribute("No", "1");
    tree.addElement("DeviceStatus.Heaters.Heater.HeaterTemperature", "25");
    tree.addElement("DeviceStatus.ToolStatus", "a < b");
    EXPECT_EQ(tree.toXml(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<DeviceStatus>\n"
              "  <Heaters>\n"
              "    <Heater No=\"1\">\n"
              "      <HeaterTemperature>25</HeaterTemperature>\n"
              "    </Heater>\n"
              "  </Heaters>\n"
              "  <ToolStatus>a &lt; b</ToolStatus>\n"
              "</DeviceStatus>\n");
    std::ostringstream out;
    tree.writeXml(out);
    EXPECT_EQ(out.str(), tree.toXml());
}

struct BadEntryCase {
    const char* name;
    Entry entry;
    const char* why;
};

void PrintTo(const BadEntryCase& c, std::ostream* os) {
    *os << c.name;
}

class XmlBadEntry : public testing::TestWithParam<BadEntryCase> {};

TEST_P(XmlBadEntry, ThrowsNamingTheEntryAndWritesNothing) {
    ParamIoXML tree = makeTree({{"R.Good", "1", {}}, GetParam().entry, {"R.Later", "", {}}});
    std::ostringstream out;
    try {
        tree.writeXml(out);
        FAIL() << "no exception";
    } catch (const unitCmnException& e) {
        EXPECT_EQ(e.errorCode, 3u);
        const std::string comment = e.comment;
        const std::string named =
            "Entry 1 (key \"" + ParamIoXML::escapeText(GetParam().entry.key) + "\")";
        EXPECT_NE(comment.find(named), std::string::npos) << comment;
        EXPECT_NE(comment.find(GetParam().why), std::string::npos) << comment;
    }
    EXPECT_TRUE(out.str().empty());
    EXPECT_THROW(tree.toXml(), unitCmnException);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlBadEntry,
    testing::Values(
        BadEntryCase{"EmptyKey", {"", "", {}}, "empty path component"},
        BadEntryCase{"EmptyInnerComponent", {"R..B", "", {}}, "empty path component"},
        BadEntryCase{"TrailingDot", {"R.", "", {}}, "empty path component"},
        BadEntryCase{"LeadingDot", {".R", "", {}}, "empty path component"},
        BadEntryCase{"DigitFirst", {"R.1A", "", {}}, "\"1A\" is not an XML name"},
        BadEntryCase{"Blank", {"R.A B", "", {}}, "\"A B\" is not an XML name"},
        BadEntryCase{"Colon", {"R.a:b", "", {}}, "\"a:b\" is not an XML name"},
        BadEntryCase{"InvalidUtf8", {"R.A\xFF", "", {}}, "\"A\\xFF\" is not"},
        BadEntryCase{"MarkupInName", {"R.<A>", "", {}}, "is not an XML name"},
        BadEntryCase{"BadAttributeName", {"R.A", "", {{"1x", "v"}}}, "attribute \"1x\" is not"},
        BadEntryCase{"EmptyAttributeName", {"R.A", "", {{"", "v"}}}, "attribute \"\""},
        BadEntryCase{"NamespaceAttribute", {"R.A", "", {{"xmlns", "v"}}}, "attribute \"xmlns\""}),
    [](const testing::TestParamInfo<BadEntryCase>& info) { return info.param.name; });

TEST(XmlOutput, DuplicateAttributeNamesAreRefused) {
    ParamIoXML tree;
    IoXMLDefine* entry = tree.addElement("R");
    entry->setAttribute("a", "1");
    entry->setAttribute("b", "2");
    entry->findAttribute("b")->name = "a";  // only possible through the iterator
    EXPECT_THROW(tree.toXml(), unitCmnException);
}

TEST(XmlOutput, FailingStreamIsReported) {
    ParamIoXML tree;
    tree.addElement("R", "v");
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_THROW(tree.writeXml(out), unitCmnException);
}

struct EscapeCase {
    std::string raw;
    std::string escaped;
};

TEST(XmlEscaping, EscapesExactlyWhatParsersWouldChangeOrRefuse) {
    const std::vector<EscapeCase> cases = {
        {"", ""},
        {"plain 1.0", "plain 1.0"},
        {"a\\b", "a\\\\b"},
        {"\\x41", "\\\\x41"},
        {std::string("\0\t\n\r\x1F", 5), "\\x00\\x09\\x0A\\x0D\\x1F"},
        {" a  b ", "\\x20a  b\\x20"},
        {" ", "\\x20"},
        {"\x7F", "\\x7F"},
        {"\xC2\x85", "\\xC2\\x85"},                                      // NEL, a C1 control
        {"\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9"},                        // NBSP and e-acute stay
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "\\xEF\\xBF\\xBE\\xEF\\xBF\\xBF"},  // forbidden in XML
        {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                    // a surrogate
        {"\xC0\xAF\xE0\x80\xAF", "\\xC0\\xAF\\xE0\\x80\\xAF"},  // overlong forms
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},           // past U+10FFFF
        {"\xE2\x82"
         "A",
         "\\xE2\\x82A"},  // cut short
        {"\x80\xFF", "\\x80\\xFF"},
        {"<&>\"']]>", "<&>\"']]>"},  // markup is the writer's business
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParamIoXML::escapeText(c.raw), c.escaped);
        EXPECT_EQ(ParamIoXML::unescapeText(c.escaped), c.raw);
    }
    EXPECT_EQ(ParamIoXML::unescapeText("\\x0a\\x0A"), "\n\n");
    for (const char* malformed : {"\\", "a\\", "\\x", "\\x4", "\\xG0", "\\x4g", "\\q", "\\X41"}) {
        EXPECT_THROW(ParamIoXML::unescapeText(malformed), unitCmnException) << malformed;
    }
}

// Values as a device could send them: every byte, alone and together, and
// pseudo-random runs of the bytes that matter to UTF-8 and XML.
std::vector<std::string> hostileValues() {
    std::vector<std::string> values;
    std::string all;
    for (int b = 0; b < 256; ++b) {
        values.emplace_back(1, static_cast<char>(b));
        values.push_back(std::string("x") + static_cast<char>(b) + "y");
        all += static_cast<char>(b);
    }
    values.push_back(all);
    values.emplace_back(all.rbegin(), all.rend());
    const unsigned char alphabet[] = {0x00, 0x09, 0x0A, 0x0D, 0x20, 0x5C, 0x78, 0x41,
                                      0x26, 0x3C, 0x3E, 0x22, 0x27, 0x5D, 0x7F, 0x80,
                                      0x85, 0x9F, 0xA0, 0xBE, 0xBF, 0xC0, 0xC2, 0xC3,
                                      0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0x90};
    unsigned state = 12345;
    for (int i = 0; i < 2000; ++i) {
        std::string v;
        const int length = static_cast<int>(state % 12);
        for (int k = 0; k < length; ++k) {
            state = state * 1103515245u + 12345u;
            v += static_cast<char>(alphabet[(state >> 16) % sizeof alphabet]);
        }
        state = state * 1103515245u + 12345u;
        values.push_back(v);
    }
    return values;
}

TEST(XmlEscaping, EveryByteRoundTripsThroughAStrictParser) {
    const std::vector<std::string> values = hostileValues();
    ParamIoXML tree;
    for (const auto& v : values) {
        tree.addElement("R.V", v)->setAttribute("a", v);
    }
    const std::string xml = tree.toXml();
    expectXmllintAccepts(xml, "hostile");

    const pugi::xml_document doc = parse(xml);
    std::size_t i = 0;
    for (auto element : doc.document_element().children("V")) {
        ASSERT_LT(i, values.size());
        EXPECT_EQ(ParamIoXML::unescapeText(element.text().get()), values[i]) << "value " << i;
        EXPECT_EQ(ParamIoXML::unescapeText(element.attribute("a").value()), values[i])
            << "attribute " << i;
        ++i;
    }
    EXPECT_EQ(i, values.size());
}

}  // namespace
