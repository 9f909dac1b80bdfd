// The JSON Schemas (draft 2020-12) of every JSON the tool writes. Each is a
// file of its own under schemas/, installed as it is and built into the
// program, so that the installed files and --describe --format json-schema
// are the same text.
#pragma once

#include <string>
#include <vector>

#include "render.h"

namespace qlx5100status {

struct SchemaFile {
    const char* name;  // the file is NAME.schema.json, the bundle's $defs member NAME
    const char* text;
};

// status (--format json, one input and a batch), ndjson-record, describe and
// diff, in that order.
const std::vector<SchemaFile>& schemaFiles();

// One document holding every schema under $defs by name, each with its own
// $id, so that a validator can be pointed at "#/$defs/NAME" or at the $id.
Json schemaBundle();

}  // namespace qlx5100status
