// --format tsv: the csv table with tabs, for cut, awk and spreadsheets'
// paste.
#include "escape.h"
#include "lineformats.h"

namespace qlx5100status {

void writeTsvHeading(std::ostream& out) {
    out << "file\tkey\tindex\tvalue\n";
}

void writeTsvRows(std::ostream& out, const std::string& name, const StatusMap& map,
                  const FieldSelection& selection) {
    thread_local std::vector<Entry> entries;
    selection.entries(map, entries);
    const std::string file = tsvField(name);
    std::string text;
    for (const Entry& e : entries) {
        text += file;
        text += '\t';
        text += tsvField(shown(*e.key));
        text += '\t';
        text += std::to_string(e.index);
        text += '\t';
        text += tsvField(shown(*e.value));
        text += '\n';
    }
    out << text;
}

}  // namespace qlx5100status
