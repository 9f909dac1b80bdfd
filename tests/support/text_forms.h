// Maps and trees as one line of text, for writing expectations that way:
// items separated by "; ". A map item is KEY[INDEX]=TEXT; a tree item is
// KEY[=VALUE][[NAME=VALUE,...]], less a leading "DeviceStatus.".
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"

namespace testsupport {

inline std::vector<std::string> splitItems(const std::string& items, const char* by = "; ") {
    std::vector<std::string> out;
    for (std::size_t at = 0, end = 0; at < items.size(); at = end + std::strlen(by)) {
        end = std::min(items.find(by, at), items.size());
        out.push_back(items.substr(at, end - at));
    }
    return out;
}

template <typename Items>  // a string of items, or a vector of them
StatusMap& addItems(StatusMap& map, const Items& items) {
    if constexpr (std::is_convertible_v<Items, std::string>) {
        return addItems(map, splitItems(items));
    } else {
        for (const std::string& item : items) {
            const std::size_t open = item.find('[');
            map[item.substr(0, open)][std::stoi(item.substr(open + 1))] =
                item.substr(item.find("]=") + 2);
        }
        return map;
    }
}

inline StatusMap mapOf(const std::string& items) {
    StatusMap map;
    return addItems(map, items);
}

inline std::string treeText(const ParamIoXML& tree) {
    std::string out;
    for (const auto& e : tree.getElements()) {
        out += out.empty() ? "" : "; ";
        out += e.getName().rfind("DeviceStatus.", 0) == 0 ? e.getName().substr(13) : e.getName();
        out += e.getValue().empty() ? "" : "=" + e.getValue();
        for (const auto& a : e.getAttributes()) {
            out += (&a == &e.getAttributes().front() ? "[" : ",") + a.name + "=" + a.value;
        }
        out += e.getAttributes().empty() ? "" : "]";
    }
    return out;
}

// The other way round, for trees whose texts hold none of "[]=,;".
inline ParamIoXML treeOf(const std::string& items) {
    ParamIoXML tree;
    for (const std::string& item : splitItems(items)) {
        const std::size_t open = std::min(item.find('['), item.size());
        const std::size_t equals = std::min(item.find('='), open);
        const std::string value = equals < open ? item.substr(equals + 1, open - equals - 1) : "";
        IoXMLDefine* entry = tree.addElement(item.substr(0, equals), value);
        const std::string attributes =
            open < item.size() ? item.substr(open + 1, item.size() - open - 2) : "";
        for (const std::string& a : splitItems(attributes, ",")) {
            entry->setAttribute(a.substr(0, a.find('=')), a.substr(a.find('=') + 1));
        }
    }
    return tree;
}

}  // namespace testsupport
