#include "fuzz_support.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>

#include "unitcom/boostloginclude.h"

namespace fuzzsupport {

namespace {

class ErrorBackend
    : public boost::log::sinks::basic_sink_backend<boost::log::sinks::concurrent_feeding> {
public:
    void consume(const boost::log::record_view& rec) {
        std::string message;
        if (auto m = boost::log::extract<std::string>("Message", rec)) {
            message = *m;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(std::move(message));
    }

    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> out;
        out.swap(messages_);
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

ErrorBackend& errorBackend() {
    static ErrorBackend* const backend = [] {
        auto shared = boost::make_shared<ErrorBackend>();
        auto sink = boost::make_shared<boost::log::sinks::synchronous_sink<ErrorBackend>>(shared);
        sink->set_filter(boost::log::expressions::attr<RynCmnLog::severity_level>("Severity") ==
                         RynCmnLog::error);
        boost::log::core::get()->add_sink(sink);
        return shared.get();  // the core keeps the sink, and the sink the backend
    }();
    return *backend;
}

void* openOrFail(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        fail(std::string("cannot load ") + path + ": " + dlerror());
    }
    return handle;
}

}  // namespace

void fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

const Analyzer& Analyzer::get() {
    static const Analyzer analyzer = [] {
        // Log first ourselves, so that the analyzer does not create (and pin
        // itself for) the logger; then the sink, before any record.
        RynCmnLog::glob_logger::get();
        errorBackend();
        // Loaded by path and never released: the analyzer's load by bare name
        // finds this one by its soname.
        openOrFail(ORV_SHIPPED_COMMON_MODULE);
        void* module = openOrFail(ORV_ANALYZER_MODULE);
        Analyzer a;
        a.startStatusAnalysis = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
            dlsym(module, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
        a.startConvertXML = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
            dlsym(module, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
        if (a.startStatusAnalysis == nullptr || a.startConvertXML == nullptr) {
            fail("the analyzer lacks an export");
        }
        return a;
    }();
    return analyzer;
}

std::vector<std::string> takeErrorRecords() {
    return errorBackend().take();
}

GuardedBuffer::~GuardedBuffer() {
    if (base_ != nullptr) {
        munmap(base_, readable_ + static_cast<std::size_t>(sysconf(_SC_PAGESIZE)));
    }
}

char* GuardedBuffer::place(const std::uint8_t* data, std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (base_ == nullptr || size > readable_) {
        if (base_ != nullptr) {
            munmap(base_, readable_ + page);
        }
        readable_ = (size / page + 1) * page;
        void* base = mmap(nullptr, readable_ + page, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED ||
            mprotect(static_cast<char*>(base) + readable_, page, PROT_NONE) != 0) {
            fail("cannot map a guarded buffer");
        }
        base_ = static_cast<char*>(base);
    }
    char* start = base_ + readable_ - size;
    if (size != 0) {
        std::memcpy(start, data, size);
    }
    return start;
}

std::string printable(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

}  // namespace fuzzsupport
