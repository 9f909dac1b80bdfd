// The line-oriented outputs for scripts: csv, tsv and ndjson. Each writes
// one input's records as soon as it has them and keeps nothing, so that a
// batch or a stream of any length runs in the same memory.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "fields.h"
#include "formatlist.h"
#include "render.h"
#include "selection.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

// csv and tsv: one delimited writer, two dialects. Every cell is a shown()
// text; lines end in "\n".
struct Delimited {
    char separator;
    // One cell: csv quotes per RFC 4180 where a cell needs it; tsv writes a
    // tab and a line break (which shown() wrote "\x09", "\x0A") as "\t" and
    // "\n", a backslash staying shown()'s "\\".
    std::string (*cell)(const std::string& shownText);
    // A text cell that starts with =, +, - or @ gets a leading ', so that a
    // spreadsheet shows it instead of running it as a formula (a tab or a
    // carriage return cannot start one: shown() wrote them \x09, \x0D). A
    // number (-5) is never touched.
    bool formulaGuard = true;
};

// The dialect of format, or null for a format that is not delimited.
const Delimited* delimitedFor(Format format);

std::string csvField(const std::string& text);
std::string tsvField(const std::string& text);

void writeDelimitedHeading(std::ostream& out, const Delimited& d,
                           const std::vector<std::string>& columns);
// Rows of cells, each a shown() text.
void writeDelimitedRows(std::ostream& out, const Delimited& d,
                        const std::vector<std::vector<std::string>>& rows);
// One row per selected entry of one input: file (name, shown() already),
// key, index, value and an empty warning; then one row per expert warning:
// file, the key and index it is about (empty for the whole block), no value,
// and its text under warning.
void writeDelimitedEntries(std::ostream& out, const Delimited& d, const std::string& name,
                           const StatusMap& map, const FieldSelection& selection,
                           const std::vector<Warning>& warnings);

// --wide: the columns, KEY[INDEX] each: the selected fields in the order
// given, or every field of the dictionary in map order (a counted table at
// its room in the block); keys the dictionary does not know have no column.
std::vector<std::pair<std::string, int>> wideColumns(const FieldSelection& selection);
// The heading: file, the columns, warnings.
void writeWideHeading(std::ostream& out, const Delimited& d,
                      const std::vector<std::pair<std::string, int>>& columns);
// One row: the input's name, its value for each column (empty where it has
// none, all empty for a failed input) and its warnings' texts joined by "; ".
void writeWideRow(std::ostream& out, const Delimited& d, const std::string& name,
                  const StatusMap& map, const std::vector<std::pair<std::string, int>>& columns,
                  const std::vector<Warning>& warnings);

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

    // strict: an input with warnings is an input error (--strict); its line
    // keeps its values and warnings and says "ok": false, "exit": 3.
    void write(std::ostream& out, const std::string& file, int code, const std::string& error,
               const StatusMap& map, const std::vector<Warning>& warnings, bool strict = false);

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
