// The line-oriented outputs for scripts: csv, tsv and ndjson. Each writes
// one input's records as soon as it has them and keeps nothing, so that a
// batch or a stream of any length runs in the same memory.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "fields.h"
#include "render.h"
#include "selection.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

// "file,key,index,value", then one row per selected entry; name is shown()
// already. Fields quoted per RFC 4180 where they need it, lines end in "\n".
void writeCsvHeading(std::ostream& out);
void writeCsvRows(std::ostream& out, const std::string& name, const StatusMap& map,
                  const FieldSelection& selection);

// The same columns separated by tabs, a tab and a line break in a text
// written "\t" and "\n" (and a backslash "\\").
void writeTsvHeading(std::ostream& out);
void writeTsvRows(std::ostream& out, const std::string& name, const StatusMap& map,
                  const FieldSelection& selection);

// One line per input: {"file", "ok": true, "values", "warnings"} for a
// decoded input, {"file", "ok": false, "error", "exit"} for a failed one.
// "values" are the selected values, typed: a dictionary field with one index
// as one value, with several as an array in index order; numbers as numbers,
// the texts as shown() strings. Keys the dictionary does not know keep the
// map's form, {"INDEX": "text"}. A KEY[INDEX] choice is one value under
// "KEY[INDEX]". For all(), exactly what encode reads. Each line goes to the
// stream in one write.
class NdjsonWriter {
public:
    explicit NdjsonWriter(const FieldSelection& selection);

    void write(std::ostream& out, const std::string& file, int code, const std::string& error,
               const StatusMap& map, const std::vector<Warning>& warnings);

private:
    // A key's dictionary rows and its JSON member name, for every block.
    struct Plan {
        std::string key;
        std::string name;  // "KEY": as JSON
        const FieldInfo* field = nullptr;
        bool indexed = false;
        std::vector<std::pair<bool, const FieldInfo*>> rows;  // by index, looked up yet?

        const FieldInfo* row(int index);
    };
    struct Chosen {
        std::string label;
        int index;
        Plan plan;
    };

    static Plan plan(const std::string& key, std::string jsonName);
    void quoted(const std::string& text);
    void separate(bool& first);  // a comma before every member but the first
    void member(const std::string& key);
    void typed(const FieldInfo* field, const std::string& value);
    void keyValues(Plan& p, const std::map<int, std::string>& values);
    void values(const StatusMap& map);

    bool all_;
    std::vector<Chosen> chosen_;
    std::vector<Plan> byPosition_;
    std::string line_;
};

}  // namespace qlx5100status
