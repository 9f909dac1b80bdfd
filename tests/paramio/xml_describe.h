// A compact text form of a parsed element tree, for comparing XML output
// with an expectation written on one line: Name[attr=value,...]="text"{children}.
#pragma once

#include <string>

#include <pugixml.hpp>

namespace testsupport {

inline std::string describeXml(const pugi::xml_node& node) {
    std::string out = node.name();
    if (node.first_attribute()) {
        out += '[';
        for (auto a = node.first_attribute(); a; a = a.next_attribute()) {
            out += std::string(a.name()) + "=" + a.value() + (a.next_attribute() ? "," : "");
        }
        out += ']';
    }
    const std::string text = node.text().get();
    if (!text.empty()) {
        out += "=\"" + text + "\"";
    }
    std::string children;
    for (auto child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            children += (children.empty() ? "" : " ") + describeXml(child);
        }
    }
    if (!children.empty()) {
        out += "{" + children + "}";
    }
    return out;
}

}  // namespace testsupport
