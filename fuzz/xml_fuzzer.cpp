// startConvertXML through the built analyzer module, then the tree's XML
// output, on hostile maps and trees: any keys, indices and value bytes in the
// map, and a few entries with any keys, values and attributes already in the
// tree (as a host or a common module may have appended them).
//
// Property: the conversion succeeds and keeps the entries that were there;
// toXml then either gives a document that pugixml parses, in which every
// entry appears as an element of its path whose text and attributes give
// back the entry's bytes through unescapeText (and any further element is an
// empty ancestor created for a path), or throws a unitCmnException whose
// comment names the first entry that cannot be written, by index and key.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "fuzz_support.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

using fuzzsupport::fail;
using fuzzsupport::printable;

const char* const kModelKeys[] = {
    "HeaterNumber",
    "HeaterTemperature",
    "HeaterStatus",
    "CuttingCommandName",
    "CuttingCommandVersion",
    "TotalPinchRoller",
    "ActivatedPinchRoller",
    "PinchRollerPressureSetting",
    "ToolStatus",
    "OperationMode",
    "RegisterMarkType",
    "MultiFunctionJobStatus",
    "PrintAndCut",
    "MultiLayerPrintingInformation",
};
constexpr std::size_t kModelKeyCount = sizeof kModelKeys / sizeof kModelKeys[0];

// Mostly the model's keys at small indices (the conversion reads those),
// sometimes any key or any index.
StatusMap readMap(fuzzsupport::ByteReader& in) {
    StatusMap map;
    while (!in.empty()) {
        const std::uint8_t selector = in.byte();
        std::string key = selector < 0xE0 ? kModelKeys[selector % kModelKeyCount] : in.text();
        const std::uint8_t small = in.byte();
        const int index =
            small < 0xF0 ? static_cast<int>(small % 20) - 1 : static_cast<int>(in.u32());
        map[std::move(key)][index] = in.text();
    }
    return map;
}

void readTreeEntries(fuzzsupport::ByteReader& in, ParamIoXML& tree) {
    const int count = in.byte() % 4;
    for (int i = 0; i < count; ++i) {
        std::string key = in.text();
        IoXMLDefine* entry = tree.addElement(std::move(key), in.text());
        const int attributes = in.byte() % 3;
        for (int a = 0; a < attributes; ++a) {
            std::string name = in.text();
            entry->setAttribute(name, in.text());
        }
    }
}

using Attributes = std::vector<std::pair<std::string, std::string>>;
// path, value, attributes
using Element = std::tuple<std::string, std::string, Attributes>;

Element elementOf(const IoXMLDefine& entry) {
    Attributes attributes;
    for (const auto& a : entry.getAttributes()) {
        attributes.emplace_back(a.name, a.value);
    }
    return {entry.getName(), entry.getValue(), attributes};
}

std::string describe(const Element& e) {
    std::string out =
        "\"" + printable(std::get<0>(e)) + "\" = \"" + printable(std::get<1>(e)) + "\"";
    for (const auto& [name, value] : std::get<2>(e)) {
        out += " " + printable(name) + "=\"" + printable(value) + "\"";
    }
    return out;
}

void collect(const pugi::xml_node& node, const std::string& parentPath,
             std::multiset<Element>& out) {
    const std::string path = parentPath.empty() ? node.name() : parentPath + "." + node.name();
    Attributes attributes;
    for (auto a = node.first_attribute(); a; a = a.next_attribute()) {
        attributes.emplace_back(a.name(), ParamIoXML::unescapeText(a.value()));
    }
    out.emplace(path, ParamIoXML::unescapeText(node.text().get()), std::move(attributes));
    for (auto child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            collect(child, path, out);
        }
    }
}

// The number of top-level elements the entries make: a one-component key
// always starts a new one; a longer key starts one only when its first
// component has none yet.
std::size_t topLevelElements(const ParamIoXML& tree) {
    std::set<std::string> seen;
    std::size_t count = 0;
    for (const auto& entry : tree.getElements()) {
        const std::string& key = entry.getName();
        const std::size_t dot = key.find('.');
        const std::string first = key.substr(0, dot);
        if (dot == std::string::npos || seen.count(first) == 0) {
            ++count;
            seen.insert(first);
        }
    }
    return count;
}

void checkDocument(const ParamIoXML& tree, const std::string& xml) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed) {
        fail(std::string("the output does not parse: ") + parsed.description() + " at offset " +
             std::to_string(parsed.offset) + "\n" + printable(xml));
    }
    const pugi::xml_node root = doc.document_element();
    std::multiset<Element> elements;
    try {
        if (topLevelElements(tree) == 1) {
            collect(root, "", elements);
        } else {
            if (std::strcmp(root.name(), "ParamIoXML") != 0 || root.first_attribute() ||
                !std::string(root.text().get()).empty()) {
                fail("expected the <ParamIoXML> wrapper\n" + printable(xml));
            }
            for (auto child = root.first_child(); child; child = child.next_sibling()) {
                collect(child, "", elements);
            }
        }
    } catch (unitCmnException& e) {
        fail("a text of the output does not unescape: " + std::string(e.comment) + "\n" +
             printable(xml));
    }
    for (const auto& entry : tree.getElements()) {
        const Element wanted = elementOf(entry);
        const auto it = elements.find(wanted);
        if (it == elements.end()) {
            fail("no element for the entry " + describe(wanted) + "\n" + printable(xml));
        }
        elements.erase(it);
    }
    for (const auto& rest : elements) {
        if (!std::get<1>(rest).empty() || !std::get<2>(rest).empty()) {
            fail("an element that is no entry has content: " + describe(rest) + "\n" +
                 printable(xml));
        }
    }
}

ParamIoXML firstEntries(const ParamIoXML& tree, std::size_t count) {
    ParamIoXML out;
    for (const auto& entry : tree.getElements()) {
        if (count-- == 0) {
            break;
        }
        IoXMLDefine* copy = out.addElement(entry.getName(), entry.getValue());
        for (const auto& a : entry.getAttributes()) {
            copy->setAttribute(a.name, a.value);
        }
    }
    return out;
}

// The comment must begin "Entry <i> (key "<escaped key>") cannot be written
// as XML: " (cut where the record's field ends), <i> must be one of the
// entries put there before the conversion (the analyzer's own keys are XML
// names), and entry i must be the first that cannot be written.
void checkError(const ParamIoXML& tree, std::size_t before, const unitCmnException& e) {
    const std::string comment = e.comment;
    std::size_t index = 0;
    const IoXMLDefine* named = nullptr;
    for (const auto& entry : tree.getElements()) {
        const std::string expected = "Entry " + std::to_string(index) + " (key \"" +
                                     ParamIoXML::escapeText(entry.getName()) +
                                     "\") cannot be written as XML: ";
        if (comment.compare(0, expected.size(), expected) == 0 ||
            (comment.size() == sizeof e.comment - 1 &&
             expected.compare(0, comment.size(), comment) == 0)) {
            named = &entry;
            break;
        }
        ++index;
    }
    if (named == nullptr || index >= before) {
        fail("the error names no entry put there before the conversion: \"" + printable(comment) +
             "\"");
    }
    try {
        firstEntries(tree, index).toXml();
    } catch (unitCmnException& earlier) {
        fail("entry " + std::to_string(index) + " is named, but an earlier one fails: \"" +
             printable(earlier.comment) + "\"");
    }
    try {
        firstEntries(tree, index + 1).toXml();
        fail("entry " + std::to_string(index) + " is named, but writes on its own");
    } catch (unitCmnException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& analyzer = fuzzsupport::Analyzer::get();
    fuzzsupport::ByteReader in(data, size);
    ParamIoXML tree;
    readTreeEntries(in, tree);
    StatusMap map = readMap(in);

    const std::size_t before = tree.getElements().size();
    std::vector<Element> kept;
    for (const auto& entry : tree.getElements()) {
        kept.push_back(elementOf(entry));
    }
    const bool result = analyzer.startConvertXML(map, tree);
    const std::vector<std::string> errors = fuzzsupport::takeErrorRecords();
    if (!result || !errors.empty()) {
        fail(std::string("the conversion failed: ") + (errors.empty() ? "" : printable(errors[0])));
    }
    auto it = tree.getElements().begin();
    for (const auto& e : kept) {
        if (elementOf(*it++) != e) {
            fail("an entry that was there before the conversion changed: " + describe(e));
        }
    }

    std::string xml;
    try {
        xml = tree.toXml();
    } catch (unitCmnException& e) {
        checkError(tree, before, e);
        return 0;
    }
    checkDocument(tree, xml);
    return 0;
}
