#include "schemas.h"

namespace qlx5100status {

// Defined by EmbedText.cmake from schemas/*.schema.json.
extern const char kStatusSchema[];
extern const char kNdjsonRecordSchema[];
extern const char kDescribeSchema[];
extern const char kDiffSchema[];

const std::vector<SchemaFile>& schemaFiles() {
    static const std::vector<SchemaFile> files = {{"status", kStatusSchema},
                                                  {"ndjson-record", kNdjsonRecordSchema},
                                                  {"describe", kDescribeSchema},
                                                  {"diff", kDiffSchema}};
    return files;
}

Json schemaBundle() {
    Json bundle = Json::object();
    bundle["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    bundle["title"] = "qlx5100-status: the JSON it writes";
    bundle["description"] =
        "Every schema of the tool under $defs: status (--format json), ndjson-record (one line "
        "of --format ndjson), describe (--describe --format json), diff (diff --format json). "
        "Each carries its version in its $id.";
    Json defs = Json::object();
    for (const SchemaFile& f : schemaFiles()) {
        defs[f.name] = Json::parse(f.text);
    }
    bundle["$defs"] = std::move(defs);
    return bundle;
}

}  // namespace qlx5100status
