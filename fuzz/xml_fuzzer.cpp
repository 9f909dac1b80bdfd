// startConvertXML through the built analyzer, then the tree's XML output, on
// hostile maps and trees: any keys, indices and value bytes in the map, and a
// few entries with any keys, values and attributes already in the tree (as a
// host or a common module may have appended them).
//
// Property: the conversion succeeds and keeps the entries that were there;
// writeXml then either writes a document that pugixml parses, in which every
// entry appears as an element of its path whose text and attributes give back
// the entry's bytes through unescapeText, or writes nothing and throws a
// unitCmnException whose comment names an entry that was there before, by
// index and key.
#include <algorithm>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "fuzz_support.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

using fuzzsupport::fail;
using fuzzsupport::printable;

const char* const kModelKeys[] = {"HeaterNumber",
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
                                  "MultiLayerPrintingInformation"};

// An entry as comparable text: path, value, attribute names and values, each
// escaped (so without line ends) on a line of its own.
std::string text(const IoXMLDefine& entry) {
    std::string out =
        ParamIoXML::escapeText(entry.getName()) + "\n" + ParamIoXML::escapeText(entry.getValue());
    for (const auto& a : entry.getAttributes()) {
        out += "\n" + ParamIoXML::escapeText(a.name) + "\n" + ParamIoXML::escapeText(a.value);
    }
    return out;
}

// The same for every element under node, the values unescaped first.
void collect(const pugi::xml_node& node, const std::string& parent,
             std::multiset<std::string>& out) {
    const std::string path = parent.empty() ? node.name() : parent + "." + node.name();
    std::string line = ParamIoXML::escapeText(path) + "\n" +
                       ParamIoXML::escapeText(ParamIoXML::unescapeText(node.text().get()));
    for (auto a = node.first_attribute(); a; a = a.next_attribute()) {
        line += "\n" + ParamIoXML::escapeText(a.name()) + "\n" +
                ParamIoXML::escapeText(ParamIoXML::unescapeText(a.value()));
    }
    out.insert(line);
    for (auto child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            collect(child, path, out);
        }
    }
}

void checkDocument(const ParamIoXML& tree, const std::string& xml) {
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) {
        fail("the output does not parse:\n" + printable(xml));
    }
    // One top-level element is the document element, several are wrapped. A
    // one-component key always starts a new one, a longer key only when its
    // first component has none yet.
    std::set<std::string> tops;
    std::size_t topLevel = 0;
    for (const auto& entry : tree.getElements()) {
        const std::string first = entry.getName().substr(0, entry.getName().find('.'));
        topLevel += first == entry.getName() || tops.count(first) == 0;
        tops.insert(first);
    }
    const pugi::xml_node root = doc.document_element();
    std::multiset<std::string> elements;
    try {
        if (topLevel == 1) {
            collect(root, "", elements);
        } else if (root.name() != std::string("ParamIoXML") || root.first_attribute() ||
                   *root.text().get() != '\0') {
            fail("expected the <ParamIoXML> wrapper\n" + printable(xml));
        }
        for (auto child = root.first_child(); topLevel != 1 && child;
             child = child.next_sibling()) {
            collect(child, "", elements);
        }
    } catch (unitCmnException& e) {
        fail("a text of the output does not unescape: " + std::string(e.comment));
    }
    for (const auto& entry : tree.getElements()) {
        const auto it = elements.find(text(entry));
        if (it == elements.end()) {
            fail("no element for the entry " + printable(text(entry)) + "\n" + printable(xml));
        }
        elements.erase(it);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The bytes front to back; past the end every read gives zero or empty.
    const std::uint8_t* const end = data + size;
    const auto byte = [&] { return data == end ? std::uint8_t{0} : *data++; };
    const auto bytes = [&] {  // a length byte, then up to that many bytes
        const std::size_t wanted = byte(), n = std::min<std::size_t>(wanted, end - data);
        data += n;
        return std::string(reinterpret_cast<const char*>(data - n), n);
    };
    ParamIoXML tree;
    for (int i = byte() % 4; i > 0; --i) {
        std::string key = bytes();
        IoXMLDefine* entry = tree.addElement(std::move(key), bytes());
        for (int a = byte() % 3; a > 0; --a) {
            std::string name = bytes();
            entry->setAttribute(name, bytes());
        }
    }
    // Mostly the model's keys at small indices (those the conversion reads),
    // sometimes any key or any index (four bytes, most significant first).
    StatusMap map;
    while (data != end) {
        const std::uint8_t selector = byte();
        std::string key = selector < 0xE0 ? kModelKeys[selector % 14] : bytes();
        const std::uint8_t small = byte();
        std::uint32_t index = small % 20 - 1;
        for (int i = 0; small >= 0xF0 && i < 4; ++i) {
            index = (i == 0 ? 0 : index << 8) | byte();
        }
        map[std::move(key)][static_cast<int>(index)] = bytes();
    }

    std::vector<std::string> kept;
    for (const auto& entry : tree.getElements()) {
        kept.push_back(text(entry));
    }
    const bool result = fuzzsupport::analyzer().convert(map, tree);
    const std::vector<std::string> errors = fuzzsupport::errorRecords();
    if (!result || !errors.empty()) {
        fail("the conversion failed: " + (errors.empty() ? "" : printable(errors[0])));
    }
    if (!std::equal(
            kept.begin(), kept.end(), tree.getElements().begin(),
            [](const std::string& t, const IoXMLDefine& entry) { return t == text(entry); })) {
        fail("an entry that was there before the conversion changed");
    }
    std::ostringstream xml;
    try {
        tree.writeXml(xml);
    } catch (unitCmnException& e) {
        if (!xml.str().empty()) {
            fail("a tree that cannot be written was written in part");
        }
        // "Entry <i> (key "<escaped key>") cannot be written as XML: ", cut
        // where the record's field ends; the analyzer's own keys are XML names.
        const std::string comment = e.comment;
        std::size_t i = 0;
        for (auto entry = tree.getElements().begin(); i < kept.size(); ++i, ++entry) {
            const std::string named = "Entry " + std::to_string(i) + " (key \"" +
                                      ParamIoXML::escapeText(entry->getName()) +
                                      "\") cannot be written as XML: ";
            if (comment.rfind(named, 0) == 0 ||
                (comment.size() == sizeof e.comment - 1 && named.rfind(comment, 0) == 0)) {
                return 0;
            }
        }
        fail("the error names no entry that was there before: " + printable(comment));
    }
    checkDocument(tree, xml.str());
    return 0;
}
