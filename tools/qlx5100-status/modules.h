// The analyzer module and the common module, loaded once for the whole run
// the way any host loads them: dlopen, then the two exports through dlsym.
//
// The tool holds its own reference to the common module so that the
// analyzer's per-call load finds it already in the process instead of
// mapping it afresh for every block. The analyzer loads the common module by
// its bare file name, and the loader hands back an object already in the
// process whose soname is that name; so a common module given by path is
// used only if its soname is libprtOrvCommonStatusAnalyzer.so, which load()
// checks.
//
// Linux only: module paths come from /proc/self/exe and dlinfo.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace qlx5100status {

constexpr const char kAnalyzerFileName[] = "libprtOrvStatusAnalyzerQLX5100.so";
constexpr const char kCommonFileName[] = "libprtOrvCommonStatusAnalyzer.so";

class ModuleError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ModulePaths {
    std::string analyzer;  // empty: beside the tool (../lib), then the build tree
    std::string common;    // empty: LD_LIBRARY_PATH, the analyzer's folder, the system
};

class AnalyzerModules {
public:
    // Throws ModuleError saying which file could not be loaded and why.
    explicit AnalyzerModules(const ModulePaths& paths);
    ~AnalyzerModules();
    AnalyzerModules(const AnalyzerModules&) = delete;
    AnalyzerModules& operator=(const AnalyzerModules&) = delete;

    bool analyse(char* status, unsigned long long size, StatusMap& out) const {
        return analyse_(status, size, out);
    }
    bool convert(StatusMap& in, ParamIoXML& tree) const { return convert_(in, tree); }

    // The files the loader actually mapped, as it reports them.
    std::string analyzerPath() const;
    std::string commonPath() const;

private:
    void* common_ = nullptr;
    void* analyzer_ = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis analyse_ = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML convert_ = nullptr;
};

// Where the tool looks for the analyzer when no path is given, in order.
std::vector<std::string> defaultAnalyzerCandidates();

}  // namespace qlx5100status
