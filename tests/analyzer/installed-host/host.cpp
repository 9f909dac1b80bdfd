// A host of the installed analyzer: it configures its own Boost.Log sink,
// loads the analyzer at run time, analyses a block of zero bytes and checks
// that the analyzer's records reached the sink. Exit status 0 on success.
#include <dlfcn.h>

#include <iostream>
#include <string>
#include <vector>

#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/make_shared.hpp>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"
#include "unitcom/boostloginclude.h"

namespace {

namespace sinks = boost::log::sinks;

// "<InOutType> <message>" per record.
class Collector : public sinks::basic_sink_backend<sinks::synchronized_feeding> {
public:
    void consume(const boost::log::record_view& rec) {
        using boost::log::extract_or_default;
        lines.push_back(extract_or_default<std::string>("InOutType", rec, std::string("?")) + " " +
                        extract_or_default<std::string>("Message", rec, std::string()));
    }
    std::vector<std::string> lines;
};

}  // namespace

int main() {
    // Log first, so that the logger is ours and the analyzer need not pin itself.
    RynCmnLog::glob_logger::get();
    const auto collector = boost::make_shared<Collector>();
    boost::log::core::get()->add_sink(
        boost::make_shared<sinks::synchronous_sink<Collector>>(collector));

    void* analyzer = dlopen(ORV_ANALYZER, RTLD_NOW | RTLD_LOCAL);
    if (analyzer == nullptr) {
        std::cerr << "cannot load " << ORV_ANALYZER << ": " << dlerror() << "\n";
        return 1;
    }
    const auto start = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
        dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
    if (start == nullptr) {
        std::cerr << "no startStatusAnalysis in " << ORV_ANALYZER << "\n";
        return 1;
    }

    std::vector<char> block(1024);
    StatusMap map;
    const bool ok = start(block.data(), block.size(), map);

    // Both functions' entry and exit records, the model step's inside.
    const std::vector<std::string> expected{"--> ", "--> ", "<-- true", "<-- true"};
    if (!ok || map["HeaterNumber"][4] != "4" || collector->lines != expected) {
        std::cerr << "analysis " << (ok ? "succeeded" : "failed") << "; records:\n";
        for (const auto& line : collector->lines) {
            std::cerr << "  [" << line << "]\n";
        }
        return 1;
    }
    std::cout << "analysed a zero block through " << ORV_ANALYZER << "\n";
    return 0;
}
