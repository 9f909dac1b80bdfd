// --format csv: one table of every input's entries.
#include "escape.h"
#include "lineformats.h"

namespace qlx5100status {

void writeCsvHeading(std::ostream& out) {
    out << "file,key,index,value\n";
}

void writeCsvRows(std::ostream& out, const std::string& name, const StatusMap& map,
                  const FieldSelection& selection) {
    thread_local std::vector<Entry> entries;
    selection.entries(map, entries);
    const std::string file = csvField(name);
    std::string text;
    for (const Entry& e : entries) {
        text += file;
        text += ',';
        text += csvField(shown(*e.key));
        text += ',';
        text += std::to_string(e.index);
        text += ',';
        text += csvField(shown(*e.value));
        text += '\n';
    }
    out << text;
}

}  // namespace qlx5100status
