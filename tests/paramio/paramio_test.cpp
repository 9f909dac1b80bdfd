// The parameter tree: the operations the conversion relies on, a failing
// allocation inside addElement, and the XML output, checked for
// well-formedness with xmllint. (The XML fuzz target reads output back with a
// parser and checks the errors for names that are no XML names; the tool's
// expected example output holds the exact layout.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>

#include "failing_allocator.h"
#include "text_forms.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

using namespace std::string_literals;

TEST(ParamTree, AppendsEveryEntryAndReplacesAttributesInPlace) {
    ParamIoXML tree;
    tree.addElement("A.B", "1");
    tree.addElement("A.B", "2");
    tree.addElement("");
    IoXMLDefine* entry = tree.addElement("A.B");
    EXPECT_TRUE(entry->findAttribute("No") == entry->getAttributes().end());
    entry->setAttribute("No", "1");
    entry->setAttribute("Kind", "x");
    entry->setAttribute("No", "2");
    entry->setAttribute("no", "3");
    EXPECT_EQ(testsupport::treeText(tree), "A.B=1; A.B=2; ; A.B[No=2,Kind=x,no=3]");
}

// Every allocation inside a tree operation fails in turn, until it needs no
// more: each failure leaves the tree as it was and arrives as
// unitCmnException 3 with the allocation failure's text.
TEST(ParamTree, AllocationFailuresLeaveTheTreeUnchangedAndArriveAsRecords) {
    using Operation = void (*)(ParamIoXML&, IoXMLDefine&, std::string, std::string);
    const struct {
        const char* name;
        Operation operation;
        std::size_t allocations;  // that fail in turn, at least
        const char* after;        // the tree once it succeeds, T standing for the text
    } cases[] = {
        {"addElement",
         [](ParamIoXML& t, IoXMLDefine&, std::string k, std::string v) {
             t.addElement(std::move(k), std::move(v));
         },
         1, "E=v[No=1]; T=T"},  // key and value are moved in: only the list node is new
        {"setValue", [](ParamIoXML&, IoXMLDefine& e, std::string, std::string v) { e.setValue(v); },
         1, "E=T[No=1]"},
        {"setAttribute, new",
         [](ParamIoXML&, IoXMLDefine& e, std::string k, std::string v) { e.setAttribute(k, v); }, 1,
         "E=v[No=1,T=T]"},
        {"setAttribute, replaced",
         [](ParamIoXML&, IoXMLDefine& e, std::string, std::string v) { e.setAttribute("No", v); },
         1, "E=v[No=T]"},
    };
    const std::string text(40, 'x');  // longer than any small-string buffer
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ParamIoXML tree;
        IoXMLDefine& entry = *tree.addElement("E", "v");
        entry.setAttribute("No", "1");
        for (std::size_t n = 1;; ++n) {
            std::string k = text, v = text;  // made before the failures start
            failalloc::failNth(n);
            try {
                c.operation(tree, entry, std::move(k), std::move(v));
                failalloc::failNth(0);
                ASSERT_EQ(failalloc::injected(), 0u)
                    << "a failure was swallowed at allocation " << n;
                EXPECT_GT(n, c.allocations);  // and each of the earlier ones failed
                break;
            } catch (const unitCmnException& e) {
                failalloc::failNth(0);
                ASSERT_EQ(failalloc::injected(), 1u) << "allocation " << n;
                EXPECT_EQ(e.errorCode, 3u);
                EXPECT_STREQ(e.comment, std::bad_alloc().what());
                EXPECT_EQ(testsupport::treeText(tree), "E=v[No=1]") << "allocation " << n;
            }
        }
        std::string expected = c.after;
        for (std::size_t at; (at = expected.find('T')) != std::string::npos;) {
            expected.replace(at, 1, text);
        }
        EXPECT_EQ(testsupport::treeText(tree), expected);
    }
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

TEST(XmlOutput, EntriesNestUnderTheLatestElementOfTheirParentPath) {
    const struct {
        const char* entries;   // see text_forms.h
        const char* document;  // less the declaration, line ends and indentation
    } cases[] = {
        {"", "<ParamIoXML />"},
        {"R.H[No=1]; R.H.T=10; R.H[No=2]; R.H.T=20",
         "<R><H No=\"1\"><T>10</T></H><H No=\"2\"><T>20</T></H></R>"},
        // The parent path is looked up as a whole: "R.A.B" still names the B
        // inside the first A after a second A was appended.
        {"R.A; R.A.B; R.A; R.A.B.C", "<R><A><B><C /></B></A><A /></R>"},
        {"A; B.C", "<ParamIoXML><A /><B><C /></B></ParamIoXML>"},
        {"R=v; R.C[z=1,a=<&\"'>]", "<R>v<C z=\"1\" a=\"&lt;&amp;&quot;'>\" /></R>"},
        // Texts and attribute values go through escapeText.
        {"R=\x01; R.C[a=\t ]", "<R>\\x01<C a=\"\\x09\\x20\" /></R>"},
    };
    for (const auto& c : cases) {
        const std::string xml = testsupport::treeOf(c.entries).toXml();
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        ASSERT_EQ(xml.rfind(declaration, 0), 0u) << xml;
        std::string flat;
        bool lineStart = false;
        for (std::size_t i = declaration.size(); i < xml.size(); ++i) {
            lineStart = xml[i] == '\n' || (lineStart && xml[i] == ' ');
            flat += lineStart ? "" : std::string(1, xml[i]);
        }
        EXPECT_EQ(flat, c.document);
        expectXmllintAccepts(xml, "nesting" + std::to_string(&c - cases));
    }
}

TEST(XmlEscaping, EscapesExactlyWhatParsersWouldChangeOrRefuse) {
    const struct {
        std::string raw, escaped;
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

}  // namespace
