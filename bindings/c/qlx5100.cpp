// The C interface: C types at the boundary, the tool's layers behind it.
// No exception crosses it; every failure is a code and a message for the
// calling thread.
#include "qlx5100/qlx5100.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "analysis.h"
#include "encode.h"
#include "escape.h"
#include "exitcodes.h"
#include "heldmodules.h"
#include "lineformats.h"
#include "logforward.h"
#include "selection.h"
#include "valuestext.h"
#include "writer.h"

namespace qs = qlx5100status;

struct qlx5100_result {
    explicit qlx5100_result(const qs::AnalyzerModules& modules)
        : analysis(modules, qs::InputFormat::Binary) {}

    // Mutable for the XML document only, which is written on the first
    // qlx5100_result_xml (once, whichever thread asks first): writing it
    // costs twice the analysis, and many callers want the values alone.
    mutable qs::Analysis analysis;
    std::vector<qs::Entry> entries;  // into analysis.map()
    std::string json;
    mutable std::once_flag xmlOnce;
    mutable std::string xml;  // empty: the tree could not be written
};

namespace {

static_assert(QLX5100_OK == qs::kOk && QLX5100_INPUT_ERROR == qs::kInputError &&
                  QLX5100_ANALYZER_FAILED == qs::kAnalysisFailed &&
                  QLX5100_MODULE_ERROR == qs::kModuleError,
              "the C codes are the tool's exit codes");

thread_local std::string lastError;

int failed(int code, std::string message) {
    lastError = std::move(message);
    return code;
}

int succeeded() {
    lastError.clear();
    return QLX5100_OK;
}

// The tool's ndjson line for the block, less what names the file: the
// writer is the tool's, so the two cannot differ. One writer per thread
// keeps its per-key plans from block to block, as in a tool's batch.
std::string ndjsonRecord(const qs::Analysis& analysis) {
    thread_local qs::NdjsonWriter writer{qs::FieldSelection()};
    thread_local std::ostringstream line;
    line.str(std::string());
    writer.write(line, "", qs::kOk, "", analysis.map(), analysis.warnings());
    std::string record = line.str();
    static const char kFile[] = "{\"file\":\"\",";
    if (record.compare(0, sizeof kFile - 1, kFile) == 0) {
        record.replace(0, sizeof kFile - 1, "{");
    }
    if (!record.empty() && record.back() == '\n') {
        record.pop_back();
    }
    return record;
}

// The tool's messages end with the option that would help, "(give its path
// with --common-module PATH)"; a library has no options.
std::string withoutToolHint(std::string message) {
    const std::size_t hint = message.rfind("\n(give its path with --");
    if (hint != std::string::npos) {
        message.erase(hint);
    }
    return message;
}

int analyze(const void* block, std::size_t size, qlx5100_result** out) {
    if (out == nullptr) {
        return failed(QLX5100_INPUT_ERROR, "qlx5100_analyze: out is NULL");
    }
    *out = nullptr;
    if (block == nullptr && size != 0) {
        return failed(QLX5100_INPUT_ERROR,
                      "qlx5100_analyze: block is NULL but size is " + std::to_string(size));
    }
    const qs::AnalyzerModules* modules = nullptr;
    try {
        modules = &qlx5100capi::heldModules();
    } catch (const std::exception& e) {
        return failed(QLX5100_MODULE_ERROR, withoutToolHint(e.what()));
    }
    auto result = std::make_unique<qlx5100_result>(*modules);
    qs::Analysis& analysis = result->analysis;
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    analysis.block().assign(bytes, bytes + size);
    int code = analysis.analyse("qlx5100_analyze", false);
    if (code != qs::kOk) {
        return failed(code, analysis.error());
    }
    // The record and the entries are the map as the analysis left it; the
    // conversion adds the keys it looked up and found missing.
    qs::FieldSelection().entries(analysis.map(), result->entries);
    result->json = ndjsonRecord(analysis);
    code = analysis.convert("qlx5100_analyze");
    if (code != qs::kOk) {
        return failed(code, analysis.error());
    }
    *out = result.release();
    return succeeded();
}

int encode(const char* valuesJson, void* block, std::size_t size) {
    if (valuesJson == nullptr || block == nullptr) {
        return failed(QLX5100_INPUT_ERROR, std::string("qlx5100_encode: ") +
                                               (valuesJson == nullptr ? "values_json" : "block") +
                                               " is NULL");
    }
    if (size < QLX5100_BLOCK_SIZE) {
        return failed(QLX5100_INPUT_ERROR, "qlx5100_encode: the block has room for " +
                                               std::to_string(size) + " bytes; it needs " +
                                               std::to_string(QLX5100_BLOCK_SIZE));
    }
    std::vector<std::uint8_t> encoded;
    try {
        const auto* text = reinterpret_cast<const std::uint8_t*>(valuesJson);
        encoded = qs::encodeValuesText({text, text + std::strlen(valuesJson)});
    } catch (const qs::EncodeError& e) {
        return failed(QLX5100_INPUT_ERROR, std::string("qlx5100_encode: ") + e.what());
    }
    std::copy(encoded.begin(), encoded.end(), static_cast<std::uint8_t*>(block));
    return succeeded();
}

// What no check above foresaw (memory running out, above all) ends as the
// analyzer's failure, never as an exception in a C caller.
template <typename Call>
int guarded(const char* function, Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return failed(QLX5100_ANALYZER_FAILED, std::string(function) + ": out of memory");
    } catch (const std::exception& e) {
        return failed(QLX5100_ANALYZER_FAILED, std::string(function) + ": " + e.what());
    } catch (...) {
        return failed(QLX5100_ANALYZER_FAILED, std::string(function) + ": unknown failure");
    }
}

}  // namespace

extern "C" {

int qlx5100_analyze(const void* block, size_t size, qlx5100_result** out) {
    return guarded("qlx5100_analyze", [&] { return analyze(block, size, out); });
}

size_t qlx5100_result_count(const qlx5100_result* r) {
    return r == nullptr ? 0 : r->entries.size();
}

int qlx5100_result_entry(const qlx5100_result* r, size_t i, const char** key, int* index,
                         const char** value) {
    const bool there = r != nullptr && i < r->entries.size();
    const qs::Entry* entry = there ? &r->entries[i] : nullptr;
    if (key != nullptr) {
        *key = there ? entry->key->c_str() : nullptr;
    }
    if (index != nullptr) {
        *index = there ? entry->index : 0;
    }
    if (value != nullptr) {
        *value = there ? entry->value->c_str() : nullptr;
    }
    if (!there) {
        return guarded("qlx5100_result_entry", [&] {
            return failed(QLX5100_INPUT_ERROR,
                          r == nullptr
                              ? std::string("qlx5100_result_entry: the result is NULL")
                              : "qlx5100_result_entry: no entry " + std::to_string(i) +
                                    "; the result has " + std::to_string(r->entries.size()));
        });
    }
    return succeeded();
}

const char* qlx5100_result_value(const qlx5100_result* r, const char* key, int index) {
    if (r == nullptr || key == nullptr) {
        return nullptr;
    }
    const StatusMap& map = r->analysis.map();
    try {
        const auto k = map.find(key);
        if (k == map.end()) {
            return nullptr;
        }
        const auto v = k->second.find(index);
        return v == k->second.end() ? nullptr : v->second.c_str();
    } catch (...) {
        return nullptr;
    }
}

const char* qlx5100_result_xml(const qlx5100_result* r) {
    if (r == nullptr) {
        return nullptr;
    }
    try {
        std::call_once(r->xmlOnce, [r] {
            std::string why;
            r->xml = qs::xmlDocument(r->analysis.tree(), why);
        });
    } catch (...) {
        // Memory ran out: the once flag stays unset, a later call tries again.
        return nullptr;
    }
    return r->xml.empty() ? nullptr : r->xml.c_str();
}

const char* qlx5100_result_json(const qlx5100_result* r) {
    return r == nullptr ? nullptr : r->json.c_str();
}

void qlx5100_result_free(qlx5100_result* r) {
    delete r;
}

int qlx5100_encode(const char* values_json, void* block, size_t size) {
    return guarded("qlx5100_encode", [&] { return encode(values_json, block, size); });
}

const char* qlx5100_last_error(void) {
    return lastError.c_str();
}

const char* qlx5100_version(void) {
    return QLX5100_VERSION;
}

void qlx5100_set_log(qlx5100_log_fn fn, void* user) {
    try {
        qlx5100capi::setLogCallback(fn, user);
    } catch (...) {
        // Only installing the sink can throw (memory), and then no record
        // could reach a callback either.
    }
}

}  // extern "C"
