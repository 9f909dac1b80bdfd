// What the fuzz targets share. A broken property ends in fail(), which aborts:
// libFuzzer keeps the input as a crash, the replay test fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "analyzer_exports.h"
#include "capturing_sink.h"

namespace fuzzsupport {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::abort();
}

// The messages of the error records written since the last call.
inline std::vector<std::string> errorRecords() {
    static testsupport::CapturingSink sink(testsupport::CapturingSink::kErrors);
    std::vector<std::string> out;
    for (const auto& r : sink.take()) {
        out.push_back(r.message);
    }
    return out;
}

// The built analyzer, with the shipped common module held for the whole
// process (so that each call's load of it is a reference count, not a mapping).
inline const testsupport::Exports& analyzer() {
    static const testsupport::Exports exports = [] {
        RynCmnLog::glob_logger::get();  // ours, so that the analyzer does not pin itself
        errorRecords();                 // the sink, before any record
        if (dlopen(ORV_SHIPPED_COMMON_MODULE, RTLD_NOW | RTLD_LOCAL) == nullptr) {
            fail(dlerror());
        }
        return testsupport::loadExports(ORV_ANALYZER_MODULE);
    }();
    return exports;
}

// Every byte outside printable ASCII as \xHH, for messages.
inline std::string printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        char hex[5];
        std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out;
}

}  // namespace fuzzsupport
