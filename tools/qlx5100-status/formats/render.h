// Text forms of an analysis result, apart from the XML that the parameter
// tree writes itself. Everything here writes to the stream it is given and
// keeps no state.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "difference.h"
#include "formatlist.h"
#include "selection.h"
#include "unitcmnparamio/paramioxml.h"
#include "unitcom/statusmap.h"
#include "warnings.h"

namespace qlx5100status {

using Json = nlohmann::ordered_json;

// The element tree that the entries denote (nesting as paramioxml.h states
// it), as JSON in document order:
//   - an element with neither attributes nor children is its text, a string;
//   - otherwise an object: attributes as "@name", a non-empty text as
//     "#text", children by name;
//   - children that share a name become an array in document order, and so
//     do "Heater" and "PinchRollerPressureSetting" always, so that their
//     shape does not depend on how many there are;
//   - values are always strings, escaped as the XML output escapes them
//     (ParamIoXML::escapeText: "\\" for a backslash, "\xHH" for control
//     bytes and bytes that are not UTF-8), so both formats show the same text.
// The top level is an object keyed by the root elements ("DeviceStatus").
Json treeToJson(const ParamIoXML& tree);

// Dumped with two-space indentation. Every text in json must be valid UTF-8
// (shown() makes it so); throws nlohmann::json::type_error otherwise.
std::string dumpJson(const Json& json);

// KEY, INDEX, VALUE columns, one row per map entry in map order. Here and in
// the annotated dump and the differences, values are escaped as in the XML.
void writeTable(std::ostream& out, const StatusMap& map,
                const FieldSelection& selection = FieldSelection());

// 16 bytes a line with offsets and a text column; under each line that holds
// model fields, "^^" under their bytes and one line per field starting there,
// in offset order (offset, width, type, key[index] and the value in map), each
// followed by the warnings about it. Runs of identical lines without fields
// collapse into "*". Warnings about the whole block close the dump.
void writeAnnotated(std::ostream& out, const std::vector<std::uint8_t>& block, const StatusMap& map,
                    const std::vector<Warning>& warnings = {});

// The field dictionary in format: table (the default for any other), csv,
// tsv, json (describeJson(), an array), ksy (writeKaitai()) or json-schema
// (schemaBundle(): the schemas of every JSON output).
void writeDescription(std::ostream& out, Format format);
Json describeJson();

// diff's rows in format: KEY, INDEX, OLD, NEW as a table (xml and table;
// nothing when there are none), csv or tsv (key,index,old,new; an absent entry
// an empty cell), ndjson (a line {"key","index","old","new"} per row, null
// for an absent entry) or json (differencesJson(), an array). html is a page
// of its own (HtmlReport).
void writeDifferences(std::ostream& out, const std::vector<Difference>& differences, Format format);
Json differencesJson(const std::vector<Difference>& differences);

// diff --bytes: a line per differing byte within the shorter block, as cmp -l
// writes it: the offset counted from 1 (right-aligned to the width of the
// shorter block's length) and the two bytes in octal, three columns each.
void writeByteDifferences(std::ostream& out, const std::vector<std::uint8_t>& before,
                          const std::vector<std::uint8_t>& after);

}  // namespace qlx5100status
