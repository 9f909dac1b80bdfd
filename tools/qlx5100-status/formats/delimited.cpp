// --format csv and tsv: one table of every input's entries, for spreadsheets,
// cut and awk; the two differ only in how a cell is written.
#include <algorithm>
#include <cstring>

#include "escape.h"
#include "fields.h"
#include "lineformats.h"

namespace qlx5100status {

namespace {

std::string cellOf(const Delimited& d, const std::string& text) {
    const bool formula = !text.empty() && std::strchr("=+-@", text[0]) != nullptr;
    const bool number = text.size() > 1 && text[0] == '-' &&
                        text.find_first_not_of("0123456789", 1) == std::string::npos;
    return d.cell(d.formulaGuard && formula && !number ? "'" + text : text);
}

}  // namespace

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\" ") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + '"';
}

std::string tsvField(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
        } else if (text.compare(i, 4, "\\x09") == 0 || text.compare(i, 4, "\\x0A") == 0) {
            out += text[i + 3] == '9' ? "\\t" : "\\n";
            i += 3;
        } else {
            out.append(text, i, 2);  // "\\" or the start of another "\xHH"
            ++i;
        }
    }
    return out;
}

const Delimited* delimitedFor(Format format) {
    static const Delimited csv{',', &csvField};
    static const Delimited tsv{'\t', &tsvField};
    return format == Format::Csv ? &csv : format == Format::Tsv ? &tsv : nullptr;
}

void writeDelimitedHeading(std::ostream& out, const Delimited& d,
                           const std::vector<std::string>& columns) {
    writeDelimitedRows(out, d, {columns});
}

void writeDelimitedRows(std::ostream& out, const Delimited& d,
                        const std::vector<std::vector<std::string>>& rows) {
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i > 0) {
                text += d.separator;
            }
            text += cellOf(d, row[i]);
        }
        text += '\n';
    }
    out << text;
}

void writeDelimitedEntries(std::ostream& out, const Delimited& d, const std::string& name,
                           const StatusMap& map, const FieldSelection& selection,
                           const std::vector<Warning>& warnings) {
    // Called for every block of a stream: no allocation that can be kept.
    thread_local std::vector<Entry> entries;
    selection.entries(map, entries);
    const std::string file = cellOf(d, name);
    std::string text;
    for (const Entry& e : entries) {
        text += file;
        text += d.separator;
        text += cellOf(d, shown(*e.key));
        text += d.separator;
        text += std::to_string(e.index);
        text += d.separator;
        text += cellOf(d, shown(*e.value));
        text += d.separator;
        text += '\n';
    }
    for (const Warning& w : warnings) {
        text += file;
        text += d.separator;
        text += cellOf(d, shown(w.key));
        text += d.separator;
        text += w.key.empty() ? std::string() : std::to_string(w.index);
        text += d.separator;
        text += d.separator;
        text += cellOf(d, shown(w.text));
        text += '\n';
    }
    out << text;
}

std::vector<std::pair<std::string, int>> wideColumns(const FieldSelection& selection) {
    std::vector<std::pair<std::string, int>> columns;
    const auto addKey = [&columns](const std::string& key, int only) {
        const FieldInfo* first = findField(key, 1);
        const auto rows = std::count_if(fieldTable().begin(), fieldTable().end(),
                                        [&key](const FieldInfo& f) { return key == f.key; });
        const int last = static_cast<int>(
            first->countedBy != nullptr ? roomFor(*first) : static_cast<std::size_t>(rows));
        for (int i = 1; i <= last; ++i) {
            const std::pair<std::string, int> column{key, i};
            if ((only == 0 || only == i) &&
                std::find(columns.begin(), columns.end(), column) == columns.end()) {
                columns.push_back(column);
            }
        }
    };
    if (selection.all()) {
        std::vector<std::string> keys = fieldKeys();
        std::sort(keys.begin(), keys.end());  // the map's order
        for (const std::string& key : keys) {
            addKey(key, 0);
        }
    }
    for (const FieldSelection::Choice& c : selection.choices()) {
        addKey(c.key, c.index);
    }
    return columns;
}

void writeWideHeading(std::ostream& out, const Delimited& d,
                      const std::vector<std::pair<std::string, int>>& columns) {
    std::vector<std::string> cells = {"file"};
    for (const auto& [key, index] : columns) {
        cells.push_back(key + "[" + std::to_string(index) + "]");
    }
    cells.emplace_back("warnings");
    writeDelimitedHeading(out, d, cells);
}

void writeWideRow(std::ostream& out, const Delimited& d, const std::string& name,
                  const StatusMap& map, const std::vector<std::pair<std::string, int>>& columns,
                  const std::vector<Warning>& warnings) {
    std::string text = cellOf(d, name);
    for (const auto& [key, index] : columns) {
        text += d.separator;
        const auto k = map.find(key);
        if (k != map.end()) {
            const auto v = k->second.find(index);
            text += v == k->second.end() ? std::string() : cellOf(d, shown(v->second));
        }
    }
    std::string joined;
    for (const Warning& w : warnings) {
        joined += (joined.empty() ? "" : "; ") + w.text;
    }
    text += d.separator;
    text += cellOf(d, shown(joined));
    text += '\n';
    out << text;
}

}  // namespace qlx5100status
