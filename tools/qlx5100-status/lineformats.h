// The line-oriented outputs for scripts: csv, tsv and ndjson. Each writes
// one input's records as soon as it has them and keeps nothing, so that a
// batch or a stream of any length runs in the same memory.
#pragma once

#include <ostream>
#include <string>
#include <vector>

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

// The selected values, typed: a dictionary field with one index as one
// value, with several as an array in index order; numbers as numbers, the
// texts as shown() strings. Keys the dictionary does not know keep the
// map's form, {"INDEX": "text"}. A KEY[INDEX] choice is one value under
// "KEY[INDEX]". For all(), exactly what encode reads.
Json typedValues(const StatusMap& map, const FieldSelection& selection);

// One line: {"file", "ok": true, "values", "warnings"} for a decoded input,
// {"file", "ok": false, "error", "exit"} for a failed one.
void writeNdjsonLine(std::ostream& out, const std::string& name, int code, const std::string& error,
                     const StatusMap& map, const std::vector<Warning>& warnings,
                     const FieldSelection& selection);

}  // namespace qlx5100status
