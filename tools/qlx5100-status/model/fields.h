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

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace qlx5100status {

// The status block's size as the analyzer counts it: the smallest it accepts,
// and the size the tool encodes and streams by default.
constexpr std::size_t kBlockSize = OrvStatusAnalyzerQLX5100::kMinimumStatusSize;

// The field types, one row each: name, bytes, the range of the values it
// reads (none for texts and constants) and how the analyzer reads it. The
// enumeration, typeName(), readWith(), the encoder's range checks, --describe
// and the docs check all expand this one table.
#define QLX5100_STATUS_FIELD_TYPES(X)                                                       \
    /* not in the block: the value is fixed by the index */                                 \
    X(Constant, "constant", 0, 0, 0, "the heater's own number")                             \
    X(Int8, "signed 8-bit", 1, -128, 127, "convertBigCharToLittleINT32")                    \
    X(UInt8, "unsigned 8-bit", 1, 0, 255, "convertBigUCharToLittleINT32")                   \
    X(UInt16BE, "unsigned 16-bit big-endian", 2, 0, 65535, "convertBigUShortToLittleINT32") \
    /* bytes up to the first NUL (or the whole field), trimmed of white space */            \
    X(Text, "text", 0, 0, 0, "copied up to the first NUL, white space trimmed")

enum class FieldType {
#define QLX5100_STATUS_ENUM(id, name, width, low, high, read) id,
    QLX5100_STATUS_FIELD_TYPES(QLX5100_STATUS_ENUM)
#undef QLX5100_STATUS_ENUM
};

struct FieldTypeInfo {
    FieldType type;
    const char* name;      // "signed 8-bit", ...
    std::size_t width;     // bytes of a number; 0 for texts (their row says) and constants
    long long low, high;   // the range of a number; 0, 0 for the others
    const char* readWith;  // the common-module function that reads it, or how it is read
};

// Every type, in the order of the enumeration.
const std::vector<FieldTypeInfo>& fieldTypes();
const FieldTypeInfo& typeInfo(FieldType type);

struct FieldInfo {
    const char* key;  // the StatusMap key and XML element name
    int index;        // the StatusMap index; 0 for a counted row (see countedBy)
    std::size_t offset;
    std::size_t width;  // bytes; 0 for a constant
    FieldType type;
    const char* constant;   // the value of a Constant row
    const char* countedBy;  // counted row: entry i (1..N) lies at offset + (i-1)*width,
                            // N being the value of this key
    const char* doc;        // what the value means, one line, for descriptions
};

// The rows in the order the analyzer decodes and writes them.
const std::vector<FieldInfo>& fieldTable();

// The dictionary's keys, each once, in the order of their first row.
std::vector<std::string> fieldKeys();

// The row for key and index (counted rows match any index from 1), or null.
const FieldInfo* findField(const std::string& key, int index);

// typeInfo(type).name and .readWith.
const char* typeName(FieldType type);
const char* readWith(FieldType type);

// Whether the key has more than one index (the heaters, a counted row), so
// that a value is named KEY[INDEX] and written as a list.
bool hasSeveralIndices(const FieldInfo& field);

// Where entry index of the row lies: a counted row's entry i at
// offset + (i-1)*width, any other row at its offset.
std::size_t entryOffset(const FieldInfo& field, int index);

// "0x" and at least digits lower-case hex digits: how every output writes an
// offset into the block.
std::string hexOffset(std::size_t offset, int digits = 3);

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
