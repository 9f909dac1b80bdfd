// The output formats: one table, expanded into the enumeration, the choices
// of --format, its help and completions, and the rules of which command can
// write which.
#pragma once

#include <optional>
#include <string>

namespace qlx5100status {

// X(enumerator, name, carries a field selection, a stream replaces it per block, help)
#define QLX5100_STATUS_FORMATS(X)                                                              \
    X(Xml, "xml", false, false,                                                                \
      "the \"DeviceStatus\" document; a batch is wrapped in "                                  \
      "<StatusReports><StatusReport file=\"...\">...</StatusReport>...")                       \
    X(Json, "json", false, false,                                                              \
      "the same tree as JSON: attributes as \"@No\", repeated elements (and always Heater, "   \
      "PinchRollerPressureSetting) as arrays, values as strings; a batch is an array of "      \
      "{\"file\": ..., \"status\": ...}")                                                      \
    X(Table, "table", true, false, "the decoded values: KEY, INDEX, VALUE")                    \
    X(Csv, "csv", true, false,                                                                 \
      "one table of every input: file,key,index,value,warning (RFC 4180 quoting)")             \
    X(Tsv, "tsv", true, false,                                                                 \
      "the same, tab-separated; tab, line break, backslash as \\t \\n \\\\")                   \
    X(Ndjson, "ndjson", true, false,                                                           \
      "one JSON object per input per line, flushed: {\"file\", \"ok\": true, \"values\": "     \
      "{...}, \"warnings\": [...]} or {\"file\", \"ok\": false, \"error\", \"exit\"}; values " \
      "typed as encode reads them")                                                            \
    X(Html, "html", false, false,                                                              \
      "one self-contained page (no external resources): hex grid beside the decoded "          \
      "fields; diff: both blocks, changes marked; a batch: overview table and a chart "        \
      "across the inputs")                                                                     \
    X(Prometheus, "prometheus", true, true,                                                    \
      "the text exposition format for node_exporter's textfile collector: gauges "             \
      "qlx5100_KEY{input,index}, texts as qlx5100_KEY_info{input,value} 1, "                   \
      "qlx5100_decode_success and qlx5100_warnings per input; a batch is one exposition")      \
    X(Ksy, "ksy", false, false,                                                                \
      "--describe only: the status block as a Kaitai Struct description, every field at its "  \
      "offset with its type and a doc line, for hex viewers and generated parsers")            \
    X(JsonSchema, "json-schema", false, false,                                                 \
      "--describe only: the JSON Schemas (draft 2020-12) of every JSON the tool writes, in "   \
      "one document under $defs; the same files are installed in share/qlx5100-status/schemas")

enum class Format {
#define QLX5100_STATUS_ENUM(id, name, selectable, snapshot, help) id,
    QLX5100_STATUS_FORMATS(QLX5100_STATUS_ENUM)
#undef QLX5100_STATUS_ENUM
};

struct FormatInfo {
    Format format;
    const char* name;
    bool selectable;  // writes entries one by one, so -e can pick some
    // Each state is a whole document: --stream writes one per block, and -o
    // FILE then always holds the latest block's.
    bool snapshot;
    const char* help;
};

inline constexpr FormatInfo kFormats[] = {
#define QLX5100_STATUS_ROW(id, name, selectable, snapshot, help) \
    {Format::id, name, selectable, snapshot, help},
    QLX5100_STATUS_FORMATS(QLX5100_STATUS_ROW)
#undef QLX5100_STATUS_ROW
};

// A format's bit in a set of formats.
constexpr unsigned formatBit(Format format) {
    return 1u << static_cast<unsigned>(format);
}

inline const FormatInfo& formatInfo(Format format) {
    return kFormats[static_cast<int>(format)];
}

inline std::optional<Format> formatNamed(const std::string& name) {
    for (const FormatInfo& f : kFormats) {
        if (name == f.name) {
            return f.format;
        }
    }
    return std::nullopt;
}

}  // namespace qlx5100status
