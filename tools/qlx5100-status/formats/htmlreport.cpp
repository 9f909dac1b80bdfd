#include "htmlreport.h"

#include <algorithm>
#include <boost/archive/iterators/base64_from_binary.hpp>
#include <boost/archive/iterators/transform_width.hpp>
#include <cctype>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "escape.h"
#include "fields.h"
#include "pageassets.h"

namespace qlx5100status {

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string base64(Bytes::const_iterator begin, Bytes::const_iterator end) {
    using namespace boost::archive::iterators;
    using Encoder = base64_from_binary<transform_width<Bytes::const_iterator, 6, 8>>;
    const Encoder first(begin);
    const Encoder last(end);
    std::string out(first, last);
    out.append((3 - static_cast<std::size_t>(end - begin) % 3) % 3, '=');
    return out;
}

// The bytes as [offset, base64] for the stretches that are not zero: status
// blocks are mostly zeros, and a batch of thousands would otherwise spend
// most of its page on them. Zero runs shorter than a stretch's own cost in
// the page are kept inside the stretch.
Json nonZeroStretches(const Bytes& bytes) {
    constexpr std::size_t kWorthSplitting = 16;
    Json out = Json::array();
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == 0) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t end = i;  // one past the last non-zero byte so far
        while (i < bytes.size() && i - end < kWorthSplitting) {
            if (bytes[i] != 0) {
                end = i + 1;
            }
            ++i;
        }
        out.push_back({start, base64(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(end))});
        i = end;
    }
    return out;
}

// Where the column's bytes lie, for keys the dictionary places.
const FieldInfo* placedField(const std::string& key, int index) {
    const FieldInfo* f = findField(key, index);
    return f != nullptr && f->type != FieldType::Constant ? f : nullptr;
}

// "-5" as -5 and so on: a number is shorter in the page than its text, and
// the page shows it as the same text.
Json asNumberWhereExact(const std::string& text) {
    if (text.empty() || text.size() > 15 || (text[0] == '0' && text.size() > 1) || text == "-0" ||
        text.rfind("-0", 0) == 0) {
        return text;
    }
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size() || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                         [](char c) { return c >= '0' && c <= '9'; })) {
        return text;
    }
    return std::stoll(text);
}

bool isInteger(const std::string& text) {
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    return i < text.size() && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                          [](unsigned char c) { return std::isdigit(c) != 0; });
}

// JSON inside a script element: no "<" may reach the HTML parser, or a value
// holding "</script>" would end the element. JSON keeps its meaning with the
// \u forms, and in JSON these characters only occur inside strings.
std::string scriptSafe(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        switch (c) {
            case '<':
                out += "\\u003c";
                break;
            case '>':
                out += "\\u003e";
                break;
            case '&':
                out += "\\u0026";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The assets go into raw-text elements, which end at the first "</style" or
// "</script"; our own files must never hold one.
std::string_view rawText(const char* text, std::size_t size, const char* closing) {
    const std::string_view view(text, size);
    std::string lower(view);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find(closing) != std::string::npos || lower.find("<!--") != std::string::npos) {
        throw std::logic_error(std::string("page asset holds ") + closing);
    }
    return view;
}

void replaceOnce(std::string& text, const std::string& what, std::string_view with) {
    const std::size_t at = text.find(what);
    if (at == std::string::npos) {
        throw std::logic_error("page template lacks " + what);
    }
    text.replace(at, what.size(), with);
}

pugi::xml_node element(pugi::xml_node parent, const char* name, const std::string& text = "") {
    pugi::xml_node node = parent.append_child(name);
    if (!text.empty()) {
        node.text().set(text.c_str());
    }
    return node;
}

void attribute(pugi::xml_node node, const char* name, const std::string& value) {
    node.append_attribute(name).set_value(value.c_str());
}

}  // namespace

void HtmlReport::add(const Decoded& decoded) {
    const std::vector<std::uint8_t>& block = *decoded.block;
    const StatusMap& map = *decoded.map;
    Input input;
    input.name = *decoded.name;
    input.code = decoded.code;
    input.error = decoded.code != 0 ? *decoded.error : std::string();
    // A block the analyzer refused (short, or failed) is shown as far as it
    // goes, with the fields it has room for: the bytes are what a technician
    // needs to see why.
    input.size = block.size();
    // The status block proper; longer inputs are shown as far as a field reaches.
    std::size_t reach = std::min(block.size(), kBlockSize);
    for (const Placement& p : placements(block)) {
        input.placed.emplace_back(p.field->key, p.index);
        reach = std::max(reach, p.offset + p.width);
    }
    input.bytes.assign(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(reach));
    if (decoded.code != 0) {
        inputs_.push_back(std::move(input));
        return;
    }
    for (const auto& [key, entries] : map) {
        for (const auto& [index, value] : entries) {
            input.values.emplace_back(Column{key, index}, shown(value));
        }
    }
    input.warnings = *decoded.warnings;
    inputs_.push_back(std::move(input));
}

std::vector<HtmlReport::Column> HtmlReport::columns() const {
    std::set<Column> all;
    for (const Input& input : inputs_) {
        for (const auto& entry : input.values) {
            all.insert(entry.first);
        }
        all.insert(input.placed.begin(), input.placed.end());
    }
    for (const Difference& d : differences_) {
        all.emplace(d.key, d.index);
    }
    // The dictionary's order (the order of the block), then the keys it does
    // not know, sorted.
    const auto rank = [](const Column& c) {
        const std::vector<FieldInfo>& table = fieldTable();
        const FieldInfo* f = findField(c.first, c.second);
        const std::size_t position =
            f != nullptr ? static_cast<std::size_t>(f - table.data()) : table.size();
        return std::make_tuple(position, f != nullptr ? std::string() : c.first, c.second);
    };
    std::vector<Column> out(all.begin(), all.end());
    std::stable_sort(out.begin(), out.end(),
                     [&](const Column& a, const Column& b) { return rank(a) < rank(b); });
    return out;
}

std::string HtmlReport::dataJson(const std::vector<Column>& columns) const {
    std::map<Column, std::size_t> id;
    Json cols = Json::array();
    for (const Column& c : columns) {
        id[c] = cols.size();
        Json col = Json::object();
        col["key"] = c.first;
        col["index"] = c.second;
        if (const FieldInfo* placed = placedField(c.first, c.second)) {
            col["offset"] = entryOffset(*placed, c.second);
            col["width"] = placed->width;
        } else {
            col["offset"] = nullptr;
            col["width"] = nullptr;
        }
        cols.push_back(std::move(col));
    }
    Json inputs = Json::array();
    for (const Input& input : inputs_) {
        Json item = Json::object();
        item["file"] = input.name;
        item["ok"] = input.code == 0;
        if (input.code != 0) {
            item["error"] = input.error;
            item["exit"] = input.code;
        }
        if (input.code != 0 && input.size == 0) {
            inputs.push_back(std::move(item));
            continue;
        }
        item["size"] = input.size;
        item["shown"] = input.bytes.size();
        item["bytes"] = nonZeroStretches(input.bytes);
        std::set<std::size_t> placed;
        for (const Column& c : input.placed) {
            placed.insert(id.at(c));
        }
        if (input.code != 0) {
            // No values to derive it from.
            item["placed"] = placed;
            inputs.push_back(std::move(item));
            continue;
        }
        // Aligned with the columns, null where this input has no entry (none
        // after the last it has), so that a batch of thousands does not
        // repeat every key; integers as numbers when that reads back as the
        // same text.
        Json values(columns.size(), nullptr);
        std::size_t used = 0;
        std::set<std::size_t> derived;  // the fields the page takes as placed
        for (const auto& [column, value] : input.values) {
            const std::size_t c = id.at(column);
            values[c] = asNumberWhereExact(value);
            used = std::max(used, c + 1);
            const Json& col = cols[c];
            if (!col["offset"].is_null() &&
                col["offset"].get<std::size_t>() + col["width"].get<std::size_t>() <=
                    input.bytes.size()) {
                derived.insert(c);
            }
        }
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(used), values.end());
        item["values"] = std::move(values);
        if (placed != derived) {
            item["placed"] = placed;
        }
        Json warnings = Json::array();
        for (const Warning& w : input.warnings) {
            Json note = Json::object();
            note["key"] = w.key;
            note["index"] = w.index;
            note["text"] = w.text;
            warnings.push_back(std::move(note));
        }
        item["warnings"] = std::move(warnings);
        inputs.push_back(std::move(item));
    }

    Json data = Json::object();
    data["kind"] = kind_ == PageKind::Block ? "block" : kind_ == PageKind::Diff ? "diff" : "batch";
    // The dictionary as --describe gives it: the page's colours follow its
    // order, so that a key has the same colour on every page.
    data["fields"] = describeJson();
    data["columns"] = std::move(cols);
    data["inputs"] = std::move(inputs);
    if (kind_ == PageKind::Diff) {
        Json changes = Json::array();
        for (const Difference& d : differences_) {
            Json change = Json::object();
            change["column"] = id.at({d.key, d.index});
            change["old"] = d.before ? Json(shown(*d.before)) : Json(nullptr);
            change["new"] = d.after ? Json(shown(*d.after)) : Json(nullptr);
            changes.push_back(std::move(change));
        }
        data["changes"] = std::move(changes);
    }
    // Every text in it went through shown(), so it is valid UTF-8 already;
    // should one not have, a replacement character beats a broken page.
    return scriptSafe(data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

std::string HtmlReport::page() const {
    const std::vector<Column> cols = columns();
    const std::size_t failed = static_cast<std::size_t>(
        std::count_if(inputs_.begin(), inputs_.end(), [](const Input& i) { return i.code != 0; }));

    pugi::xml_document doc;
    doc.append_child(pugi::node_doctype).set_value("html");
    pugi::xml_node html = element(doc, "html");
    attribute(html, "lang", "en");
    pugi::xml_node head = element(html, "head");
    attribute(element(head, "meta"), "charset", "utf-8");
    pugi::xml_node viewport = element(head, "meta");
    attribute(viewport, "name", "viewport");
    attribute(viewport, "content", "width=device-width, initial-scale=1");

    std::string title;
    std::string heading;
    if (kind_ == PageKind::Block) {
        heading = "QLX5100 status block";
        title = inputs_.empty() ? heading : inputs_.front().name + " - " + heading;
    } else if (kind_ == PageKind::Diff) {
        heading = "QLX5100 status blocks compared";
        title = inputs_.size() == 2 ? inputs_[0].name + " / " + inputs_[1].name + " - " + heading
                                    : heading;
    } else {
        heading = "QLX5100 status batch";
        title = heading + " of " + std::to_string(inputs_.size()) + " inputs";
    }
    element(head, "title", title);
    element(element(head, "style"), "qlx5100-style");

    pugi::xml_node body = element(html, "body");
    attribute(body, "class",
              kind_ == PageKind::Block  ? "kind-block"
              : kind_ == PageKind::Diff ? "kind-diff"
                                        : "kind-batch");
    pugi::xml_node header = element(body, "header");
    element(header, "h1", heading);
    pugi::xml_node summary = element(header, "p");
    attribute(summary, "class", "summary");
    if (kind_ == PageKind::Batch) {
        summary.text().set((std::to_string(inputs_.size()) + " inputs in the order given, " +
                            std::to_string(failed) + " failed.")
                               .c_str());
    } else {
        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            if (kind_ == PageKind::Diff) {
                element(summary, "span", i == 0 ? "Old: " : " New: ");
            }
            attribute(element(summary, "code", inputs_[i].name), "class", "file");
        }
    }
    pugi::xml_node noscript = element(body, "noscript");
    element(noscript, "p",
            "This report draws its hex grids, tables and chart with its own script, which "
            "is switched off here. The data is in the page's source, in the element "
            "\"report-data\".");

    pugi::xml_node main = element(body, "main");
    if (kind_ == PageKind::Diff) {
        pugi::xml_node section = element(main, "section");
        attribute(section, "id", "changes");
        element(section, "h2", "Changed fields");
        if (differences_.empty()) {
            element(section, "p", "The two blocks decode to the same values.");
        } else {
            pugi::xml_node table = element(section, "table");
            attribute(table, "class", "fields changes");
            pugi::xml_node row = element(element(table, "thead"), "tr");
            for (const char* name : {"Key", "Index", "Offset", "Width", "Old", "New"}) {
                element(row, "th", name);
            }
            pugi::xml_node tbody = element(table, "tbody");
            for (const Difference& d : differences_) {
                const std::size_t column = static_cast<std::size_t>(
                    std::find(cols.begin(), cols.end(), Column{d.key, d.index}) - cols.begin());
                pugi::xml_node tr = element(tbody, "tr");
                attribute(tr, "data-col", std::to_string(column));
                attribute(tr, "tabindex", "0");
                element(tr, "td", d.key);
                element(tr, "td", std::to_string(d.index));
                const FieldInfo* f = placedField(d.key, d.index);
                element(tr, "td", f != nullptr ? hexOffset(entryOffset(*f, d.index)) : "-");
                element(tr, "td", f != nullptr ? std::to_string(f->width) : "-");
                attribute(element(tr, "td", d.before ? shown(*d.before) : "(absent)"), "class",
                          "old");
                attribute(element(tr, "td", d.after ? shown(*d.after) : "(absent)"), "class",
                          "new");
            }
        }
    }
    if (kind_ == PageKind::Batch) {
        pugi::xml_node overview = element(main, "section");
        attribute(overview, "id", "overview");
        element(overview, "h2", "Inputs");
        element(overview, "p",
                "One row per input; a marked cell differs from the row above it (the "
                "nearest input that decoded). Each row links to its block below.");
        attribute(element(overview, "div", "Drawn by the page's script."), "id", "overview-table");

        pugi::xml_node chart = element(main, "section");
        attribute(chart, "id", "chart-section");
        element(chart, "h2", "Across the inputs");
        pugi::xml_node controls = element(chart, "p");
        attribute(controls, "class", "controls");
        pugi::xml_node label = element(controls, "label", "Show ");
        pugi::xml_node select = element(label, "select");
        attribute(select, "id", "chart-field");
        attribute(element(select, "option", "HeaterTemperature, all heaters"), "value", "heaters");
        // Numeric columns: the dictionary's numbers, and keys it does not
        // know whose every value is an integer.
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const FieldInfo* f = findField(cols[c].first, cols[c].second);
            bool numeric = f != nullptr && f->type != FieldType::Text;
            if (f == nullptr) {
                numeric = true;
                for (const Input& input : inputs_) {
                    for (const auto& [column, value] : input.values) {
                        numeric = numeric && (column != cols[c] || isInteger(value));
                    }
                }
            }
            if (numeric) {
                attribute(element(select, "option",
                                  cols[c].first + "[" + std::to_string(cols[c].second) + "]"),
                          "value", std::to_string(c));
            }
        }
        attribute(element(chart, "div", "Drawn by the page's script."), "id", "chart");
    }
    pugi::xml_node views = element(main, "section");
    attribute(views, "id", "views");
    if (kind_ == PageKind::Batch) {
        element(views, "p", "Choose an input above to see its block.");
    } else {
        element(views, "p", "Drawn by the page's script.");
    }

    pugi::xml_node data = element(body, "script");
    attribute(data, "type", "application/json");
    attribute(data, "id", "report-data");
    element(data, "qlx5100-data");
    element(element(body, "script"), "qlx5100-script");

    std::ostringstream out;
    doc.save(out, "",
             pugi::format_raw | pugi::format_no_declaration | pugi::format_no_empty_element_tags,
             pugi::encoding_utf8);
    std::string text = out.str();
    // Markup never holds a raw "<" from a text (pugixml escapes them), so
    // these are our own elements.
    for (std::size_t at; (at = text.find("></meta>")) != std::string::npos;) {
        text.replace(at, 8, ">");  // a void element in HTML
    }
    replaceOnce(text, "<qlx5100-style></qlx5100-style>",
                rawText(kReportCss, kReportCssSize, "</style"));
    replaceOnce(text, "<qlx5100-script></qlx5100-script>",
                rawText(kReportJs, kReportJsSize, "</script"));
    replaceOnce(text, "<qlx5100-data></qlx5100-data>", dataJson(cols));
    text += '\n';
    return text;
}

}  // namespace qlx5100status
