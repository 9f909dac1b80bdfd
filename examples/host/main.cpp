// A minimal host of the QLX5100 analyzer: configures where the log records
// go, loads the analyzer module, analyses one status block, converts the
// result and prints it as XML on stdout. Log records go to stderr.
//
//   orv_host_example [--verbose] [--module PATH] [STATUS_FILE]
//
// Without STATUS_FILE a block of 1024 zero bytes is analysed. --verbose shows
// every record (entry and exit records too), otherwise only errors. Exit
// status: 0 on success, 1 when a step failed, 2 on a usage or load error.
//
// The module is loaded with LoadLibraryW/GetProcAddress/FreeLibrary from the
// installed platform header: the Win32 calls themselves on Windows, the same
// names over dlopen/dlsym elsewhere. So this one host builds for both.
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <boost/core/null_deleter.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/smart_ptr/make_shared_object.hpp>

#include "orvplatform/win32.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"
#include "unitcmnexceptions/unitcmnexceptions.h"
#include "unitcom/boostloginclude.h"

// The Win32 names of the platform layer (on Windows the system's own).
using namespace orvplatform::win32;

namespace {

// The analyzer only produces records; the host decides where they go, which
// pass and how they look.
void configureLogging(bool verbose) {
    namespace logging = boost::log;
    namespace expr = boost::log::expressions;
    using Backend = logging::sinks::text_ostream_backend;
    using Sink = logging::sinks::synchronous_sink<Backend>;

    auto backend = boost::make_shared<Backend>();
    backend->add_stream(boost::shared_ptr<std::ostream>(&std::clog, boost::null_deleter()));
    backend->auto_flush(true);
    auto sink = boost::make_shared<Sink>(backend);
    const auto severity = expr::attr<RynCmnLog::severity_level>("Severity");
    sink->set_filter(severity >= (verbose ? RynCmnLog::trace : RynCmnLog::error));
    sink->set_formatter(expr::stream
                        << "[" << severity << "] " << expr::attr<std::string>("InOutType") << " "
                        << expr::attr<std::string>("SrcFile") << ":"
                        << expr::attr<std::string>("SrcLine") << " "
                        << expr::attr<std::string>("CurrentFunction") << " | " << expr::smessage);
    logging::core::get()->add_sink(sink);
}

struct ModuleCloser {
    void operator()(HMODULE handle) const { FreeLibrary(handle); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser>;

// File names are ASCII here; a host with other names converts properly.
HMODULE load(const std::string& path) {
    return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
}

template <typename Pointer>
Pointer exported(const Module& module, const char* name) {
    // Through void(*)(): FARPROC is itself a typed function pointer on Windows.
    return reinterpret_cast<Pointer>(
        reinterpret_cast<void (*)()>(GetProcAddress(module.get(), name)));
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    std::string modulePath = ORV_ANALYZER_MODULE;
    std::string statusFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--module" && i + 1 < argc) {
            modulePath = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && statusFile.empty()) {
            statusFile = arg;
        } else {
            std::cerr << "usage: " << argv[0] << " [--verbose] [--module PATH] [STATUS_FILE]\n";
            return 2;
        }
    }

    configureLogging(verbose);
    // The process's first record creates the logger here, and this program
    // stays loaded anyway. (The analyzer never creates it: it takes it from
    // its logger library, which stays loaded, so that the analyzer itself
    // can unload.)
    BOOST_LOG_SEV(RynCmnLog::glob_logger::get(), RynCmnLog::info) << "Loading " << modulePath;

    Module analyzer(load(modulePath));
    if (!analyzer) {
        std::cerr << "cannot load the analyzer " << modulePath << " (error " << GetLastError()
                  << ")\n";
        return 2;
    }
    // Every call of the analyzer loads the common module by name and frees it
    // again. Holding a reference of our own for as long as we use the
    // analyzer turns those into reference-count changes instead of a load and
    // an unload per call. We take the one beside the analyzer (on POSIX the
    // name becomes libprtOrvCommonStatusAnalyzer.so), and the analyzer's own
    // load by name then finds it: a module already loaded under that soname
    // (POSIX) or file name (Windows) is used again instead of searching.
    const std::string commonPath = directoryOf(modulePath) + "/prtOrvCommonStatusAnalyzer.dll";
    Module common(load(commonPath));
    if (!common) {
        std::cerr << "note: no common module beside the analyzer (error " << GetLastError()
                  << "); the analyzer searches for it on each call\n";
    }

    using namespace OrvStatusAnalyzerQLX5100;
    const auto analyse = exported<PFN_startStatusAnalysis>(analyzer, kStartStatusAnalysisName);
    const auto convert = exported<PFN_startConvertXML>(analyzer, kStartConvertXMLName);
    if (analyse == nullptr || convert == nullptr) {
        std::cerr << "the module does not export the analyzer's entry points\n";
        return 2;
    }

    std::vector<char> block(kMinimumStatusSize, 0);
    if (!statusFile.empty()) {
        std::ifstream in(statusFile, std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << statusFile << "\n";
            return 2;
        }
        block.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The map and the tree are ours; the analyzer only adds to them. One of
    // each per thread: the analyzer takes no locks.
    StatusMap status;
    if (!analyse(block.data(), block.size(), status)) {
        std::cerr << "status analysis failed (see the log records above)\n";
        return 1;
    }
    ParamIoXML tree;
    if (!convert(status, tree)) {
        std::cerr << "XML conversion failed (see the log records above)\n";
        return 1;
    }
    try {
        tree.writeXml(std::cout);
    } catch (const unitCmnException& e) {
        std::cerr << "cannot write the XML:\n" << e.getErrorText() << "\n";
        return 1;
    }
    return 0;
}
