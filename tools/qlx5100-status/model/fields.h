// The tool's own dictionary of the QLX5100 fields in a status block: where
// each value lies, how wide it is and how the analyzer reads it.
//
// It is written down here independently of the analyzer's decoder (which the
// tool only reaches through the module's exports); a test encodes blocks
// through this table, has the module decode them and compares every value, so
// the two cannot drift apart unnoticed. --describe, --annotate and encode all
// work from this one table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlx5100status {

enum class FieldType {
    Constant,  // not in the block: the value is fixed by the index
    Int8,      // one byte, signed
    UInt8,     // one byte, unsigned
    UInt16BE,  // two bytes, most significant first, unsigned
    Text,      // bytes up to the first NUL (or the whole field), trimmed of white space
};

struct FieldInfo {
    const char* key;  // the StatusMap key and XML element name
    int index;        // the StatusMap index; 0 for a counted row (see countedBy)
    std::size_t offset;
    std::size_t width;  // bytes; 0 for a constant
    FieldType type;
    const char* constant;   // the value of a Constant row
    const char* countedBy;  // counted row: entry i (1..N) lies at offset + (i-1)*width,
                            // N being the value of this key
};

// The rows in the order the analyzer decodes and writes them.
const std::vector<FieldInfo>& fieldTable();

// The row for key and index (counted rows match any index from 1), or null.
const FieldInfo* findField(const std::string& key, int index);

// "signed 8-bit", ... and the common-module function that reads the type.
const char* typeName(FieldType type);
const char* readWith(FieldType type);

// One field value's place in a particular block.
struct Placement {
    const FieldInfo* field;
    int index;
    std::size_t offset;
    std::size_t width;
};

// How many entries a counted row has room for before the next field starts;
// entries past it read that field's bytes.
std::size_t roomFor(const FieldInfo& counted);

// Where every field of the table lies in block, in table order: counted rows
// expanded by the count the block itself holds, cut at the block's end as the
// analyzer cuts them. Constant rows are left out. A block shorter than the
// table reaches gives the fields that fit.
std::vector<Placement> placements(const std::vector<std::uint8_t>& block);

}  // namespace qlx5100status
