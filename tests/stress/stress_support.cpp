#include "stress_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>

#include "unitcom/boostloginclude.h"

namespace stress {

Analyzer loadAnalyzer() {
    void* module = dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        throw std::runtime_error(std::string("cannot load the analyzer: ") + dlerror());
    }
    Analyzer a;
    a.startStatusAnalysis = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
        dlsym(module, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
    a.startConvertXML = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
        dlsym(module, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
    if (a.startStatusAnalysis == nullptr || a.startConvertXML == nullptr) {
        throw std::runtime_error("the analyzer lacks an export");
    }
    return a;
}

unsigned rounds(unsigned full) {
    if (const char* wanted = std::getenv("ORV_STRESS_ROUNDS")) {
        const long n = std::strtol(wanted, nullptr, 10);
        if (n > 0) {
            return static_cast<unsigned>(n);
        }
    }
    const unsigned scaled = full / ORV_STRESS_ROUNDS_DIVISOR;
    return scaled > 0 ? scaled : 1;
}

std::vector<std::uint8_t> makeBlock(std::size_t size, unsigned seed, std::uint8_t activated) {
    std::vector<std::uint8_t> block(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : block) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    block[0x341] = activated;
    return block;
}

void RecordCounter::consume(const boost::log::record_view& rec) {
    const auto inOut = boost::log::extract<std::string>("InOutType", rec);
    const auto severity = boost::log::extract<RynCmnLog::severity_level>("Severity", rec);
    if (severity && *severity == RynCmnLog::error) {
        errors.fetch_add(1, std::memory_order_relaxed);
    } else if (inOut && *inOut == "-->") {
        entries.fetch_add(1, std::memory_order_relaxed);
    } else if (inOut && *inOut == "<--") {
        exits.fetch_add(1, std::memory_order_relaxed);
    } else {
        other.fetch_add(1, std::memory_order_relaxed);
    }
}

CountingSink::CountingSink()
    : backend_(boost::make_shared<RecordCounter>()),
      sink_(boost::make_shared<boost::log::sinks::unlocked_sink<RecordCounter>>(backend_)) {
    boost::log::core::get()->add_sink(sink_);
}

CountingSink::~CountingSink() {
    boost::log::core::get()->remove_sink(sink_);
}

}  // namespace stress
