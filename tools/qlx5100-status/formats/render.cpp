#include "render.h"

#include <algorithm>
#include <iomanip>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "escape.h"
#include "fields.h"
#include "kaitai.h"
#include "lineformats.h"
#include "schemas.h"

namespace qlx5100status {

namespace {

// Elements the model repeats: arrays even when only one is present.
const std::set<std::string> kAlwaysArrays = {"Heater", "PinchRollerPressureSetting"};

struct Node {
    std::string name;
    const IoXMLDefine* entry = nullptr;  // null: named only by a longer path
    std::vector<std::unique_ptr<Node>> children;
};

class TreeBuilder {
public:
    void add(const IoXMLDefine& entry) {
        const std::string& path = entry.getName();
        const std::size_t dot = path.rfind('.');
        Node* parent = dot == std::string::npos ? &root_ : element(path.substr(0, dot));
        Node* node = append(parent, dot == std::string::npos ? path : path.substr(dot + 1));
        node->entry = &entry;
        latest_[path] = node;
    }

    const Node& root() const { return root_; }

private:
    Node* append(Node* parent, std::string name) {
        parent->children.push_back(std::make_unique<Node>());
        parent->children.back()->name = std::move(name);
        return parent->children.back().get();
    }

    // The most recent element with this path, made when only longer paths
    // have named it so far.
    Node* element(const std::string& path) {
        const auto found = latest_.find(path);
        if (found != latest_.end()) {
            return found->second;
        }
        const std::size_t dot = path.rfind('.');
        Node* parent = dot == std::string::npos ? &root_ : element(path.substr(0, dot));
        Node* node = append(parent, dot == std::string::npos ? path : path.substr(dot + 1));
        latest_[path] = node;
        return node;
    }

    Node root_;
    std::map<std::string, Node*> latest_;
};

Json childrenJson(const Node& node, Json object);

Json nodeJson(const Node& node) {
    const std::string value = node.entry != nullptr ? shown(node.entry->getValue()) : std::string();
    const bool hasAttributes = node.entry != nullptr && !node.entry->getAttributes().empty();
    if (!hasAttributes && node.children.empty()) {
        return value;
    }
    Json object = Json::object();
    if (hasAttributes) {
        for (const IoXMLAttribute& a : node.entry->getAttributes()) {
            object["@" + shown(a.name)] = shown(a.value);
        }
    }
    if (!value.empty()) {
        object["#text"] = value;
    }
    return childrenJson(node, std::move(object));
}

Json childrenJson(const Node& node, Json object) {
    std::vector<std::string> order;
    std::map<std::string, std::vector<const Node*>> byName;
    for (const auto& child : node.children) {
        auto& group = byName[child->name];
        if (group.empty()) {
            order.push_back(child->name);
        }
        group.push_back(child.get());
    }
    for (const std::string& name : order) {
        const auto& group = byName[name];
        if (group.size() == 1 && kAlwaysArrays.count(name) == 0) {
            object[shown(name)] = nodeJson(*group.front());
        } else {
            Json list = Json::array();
            for (const Node* child : group) {
                list.push_back(nodeJson(*child));
            }
            object[shown(name)] = std::move(list);
        }
    }
    return object;
}

// Left-aligned columns, two blanks apart; the last column is not padded.
void writeColumns(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        out << line << '\n';
    }
}

std::string pad(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

std::string offsetText(const FieldInfo& f) {
    if (f.type == FieldType::Constant) {
        return "-";
    }
    return hexOffset(f.offset, 3) + " (" + std::to_string(f.offset) + ")";
}

std::string indexText(const FieldInfo& f) {
    return f.countedBy != nullptr ? "1..N" : std::to_string(f.index);
}

std::string howRead(const FieldInfo& f) {
    if (f.type == FieldType::Constant) {
        return std::string("always ") + f.constant + " (" + readWith(f.type) + ")";
    }
    std::string text = readWith(f.type);
    if (f.countedBy != nullptr) {
        text += "; entry i at " + hexOffset(f.offset, 3) + "+(i-1), N = " + f.countedBy;
    }
    return text;
}

std::string shownValue(const StatusMap& map, const FieldInfo& f, int index) {
    const auto key = map.find(f.key);
    if (key == map.end() || key->second.count(index) == 0) {
        return "(not decoded)";
    }
    const std::string value = shown(key->second.at(index));
    return f.type == FieldType::Text ? "\"" + value + "\"" : value;
}

}  // namespace

Json treeToJson(const ParamIoXML& tree) {
    TreeBuilder builder;
    for (const IoXMLDefine& entry : tree.getElements()) {
        builder.add(entry);
    }
    return childrenJson(builder.root(), Json::object());
}

std::string dumpJson(const Json& json) {
    // Every text is shown() already, so valid UTF-8; strict, so that one
    // that was not fails loudly instead of turning into U+FFFD.
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
}

void writeTable(std::ostream& out, const StatusMap& map, const FieldSelection& selection) {
    std::vector<std::vector<std::string>> rows = {{"KEY", "INDEX", "VALUE"}};
    std::vector<Entry> entries;
    selection.entries(map, entries);
    for (const Entry& e : entries) {
        rows.push_back({shown(*e.key), std::to_string(e.index), shown(*e.value)});
    }
    writeColumns(out, rows);
}

void writeAnnotated(std::ostream& out, const std::vector<std::uint8_t>& block, const StatusMap& map,
                    const std::vector<Warning>& warnings) {
    // Settings past their table start where later fields do; the dump is
    // read top to bottom, so the fields come in the order of their bytes.
    std::vector<Placement> fields = placements(block);
    std::stable_sort(fields.begin(), fields.end(),
                     [](const Placement& a, const Placement& b) { return a.offset < b.offset; });
    std::vector<bool> covered(block.size(), false);
    for (const Placement& p : fields) {
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(p.offset), p.width, true);
    }

    // The annotation columns line up over the whole dump.
    std::vector<std::string> widthText;
    std::vector<std::string> labels;
    std::size_t widths[3] = {0, 0, 0};
    for (const Placement& p : fields) {
        const bool several = hasSeveralIndices(*p.field);
        widthText.push_back(std::to_string(p.width) + (p.width == 1 ? " byte" : " bytes"));
        labels.push_back(std::string(p.field->key) +
                         (several ? "[" + std::to_string(p.index) + "]" : ""));
        widths[0] = std::max(widths[0], widthText.back().size() + 2);
        widths[1] = std::max(widths[1], std::string(typeName(p.field->type)).size() + 2);
        widths[2] = std::max(widths[2], labels.back().size() + 2);
    }

    constexpr std::size_t kPerLine = 16;
    const std::string indent(10, ' ');
    bool starred = false;
    for (std::size_t line = 0; line < block.size(); line += kPerLine) {
        const std::size_t end = std::min(line + kPerLine, block.size());
        const bool hasFields = std::any_of(covered.begin() + static_cast<std::ptrdiff_t>(line),
                                           covered.begin() + static_cast<std::ptrdiff_t>(end),
                                           [](bool b) { return b; });
        const bool repeat =
            line >= kPerLine && end - line == kPerLine && !hasFields &&
            std::equal(block.begin() + static_cast<std::ptrdiff_t>(line),
                       block.begin() + static_cast<std::ptrdiff_t>(end),
                       block.begin() + static_cast<std::ptrdiff_t>(line - kPerLine));
        if (repeat) {
            if (!starred) {
                out << "*\n";
                starred = true;
            }
            continue;
        }
        starred = false;

        std::string bytes;
        std::string marks;
        std::string text;
        for (std::size_t i = line; i < line + kPerLine; ++i) {
            const char* gap = (i - line == 8) ? "  " : " ";
            bytes += gap;
            marks += gap;
            if (i < end) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x", block[i]);
                bytes += hex;
                marks += covered[i] ? "^^" : "  ";
                text += (block[i] >= 0x20 && block[i] < 0x7F) ? static_cast<char>(block[i]) : '.';
            } else {
                bytes += "  ";
            }
        }
        char offset[24];
        std::snprintf(offset, sizeof offset, "%08zx", line);
        out << offset << ' ' << bytes << "  |" << text << "|\n";
        if (!hasFields) {
            continue;
        }
        while (!marks.empty() && marks.back() == ' ') {
            marks.pop_back();
        }
        out << std::string(9, ' ') << marks << '\n';
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].offset >= line && fields[i].offset < end) {
                out << indent << hexOffset(fields[i].offset, 3) << "  "
                    << pad(widthText[i], widths[0])
                    << pad(typeName(fields[i].field->type), widths[1]) << pad(labels[i], widths[2])
                    << "= " << shownValue(map, *fields[i].field, fields[i].index) << '\n';
                for (const Warning& w : warnings) {
                    if (w.key == fields[i].field->key && w.index == fields[i].index) {
                        out << indent << "warning: " << w.text << '\n';
                    }
                }
            }
        }
    }
    char end[16];
    std::snprintf(end, sizeof end, "%08zx", block.size());
    out << end << '\n';
    for (const Warning& w : warnings) {
        if (w.key.empty()) {
            out << "warning: " << w.text << '\n';
        }
    }
}

void writeDescription(std::ostream& out, Format format) {
    if (format == Format::Json) {
        out << dumpJson(describeJson()) << '\n';
        return;
    }
    if (format == Format::Ksy) {
        writeKaitai(out);
        return;
    }
    if (format == Format::JsonSchema) {
        out << dumpJson(schemaBundle()) << '\n';
        return;
    }
    const Delimited* delimited = delimitedFor(format);
    std::vector<std::vector<std::string>> rows;
    if (delimited != nullptr) {
        rows.push_back({"key", "index", "offset", "width", "type", "readWith"});
    } else {
        rows.push_back({"KEY", "INDEX", "OFFSET", "WIDTH", "TYPE", "READ WITH"});
    }
    for (const FieldInfo& f : fieldTable()) {
        rows.push_back({f.key, indexText(f), offsetText(f),
                        f.width == 0 ? "-" : std::to_string(f.width), typeName(f.type),
                        howRead(f)});
    }
    if (delimited != nullptr) {
        writeDelimitedRows(out, *delimited, rows);
    } else {
        writeColumns(out, rows);
    }
}

Json describeJson() {
    Json list = Json::array();
    for (const FieldInfo& f : fieldTable()) {
        Json row = Json::object();
        row["key"] = f.key;
        row["index"] = indexText(f);
        if (f.type == FieldType::Constant) {
            row["offset"] = nullptr;
            row["width"] = nullptr;
            row["value"] = f.constant;
        } else {
            row["offset"] = f.offset;
            row["width"] = f.width;
        }
        row["type"] = typeName(f.type);
        row["readWith"] = readWith(f.type);
        if (f.countedBy != nullptr) {
            row["countedBy"] = f.countedBy;
        }
        list.push_back(std::move(row));
    }
    return list;
}

void writeDifferences(std::ostream& out, const std::vector<Difference>& differences,
                      Format format) {
    if (format == Format::Json) {
        out << dumpJson(differencesJson(differences)) << '\n';
        return;
    }
    if (format == Format::Ndjson) {
        for (const Json& row : differencesJson(differences)) {
            out << row.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
        }
        return;
    }
    const Delimited* delimited = delimitedFor(format);
    if (delimited == nullptr && differences.empty()) {
        return;
    }
    const char* absent = delimited != nullptr ? "" : "(absent)";
    const auto shownOr = [absent](const std::optional<std::string>& v) {
        return v ? shown(*v) : std::string(absent);
    };
    std::vector<std::vector<std::string>> rows;
    if (delimited != nullptr) {
        rows.push_back({"key", "index", "old", "new"});
    } else {
        rows.push_back({"KEY", "INDEX", "OLD", "NEW"});
    }
    for (const Difference& d : differences) {
        rows.push_back(
            {shown(d.key), std::to_string(d.index), shownOr(d.before), shownOr(d.after)});
    }
    if (delimited != nullptr) {
        writeDelimitedRows(out, *delimited, rows);
    } else {
        writeColumns(out, rows);
    }
}

Json differencesJson(const std::vector<Difference>& differences) {
    Json list = Json::array();
    for (const Difference& d : differences) {
        Json row = Json::object();
        row["key"] = shown(d.key);
        row["index"] = d.index;
        row["old"] = d.before ? Json(shown(*d.before)) : Json(nullptr);
        row["new"] = d.after ? Json(shown(*d.after)) : Json(nullptr);
        list.push_back(std::move(row));
    }
    return list;
}

void writeByteDifferences(std::ostream& out, const std::vector<std::uint8_t>& before,
                          const std::vector<std::uint8_t>& after) {
    const auto width =
        static_cast<int>(std::to_string(std::min(before.size(), after.size())).size());
    std::ostringstream line;
    for (const ByteRun& run : differingBytes(before, after)) {
        for (std::size_t i = run.first; i <= run.last; ++i) {
            line.str("");
            line << std::dec << std::setw(width) << i + 1 << ' ' << std::oct << std::setw(3)
                 << unsigned{before[i]} << ' ' << std::setw(3) << unsigned{after[i]} << '\n';
            out << line.str();
        }
    }
}

}  // namespace qlx5100status
