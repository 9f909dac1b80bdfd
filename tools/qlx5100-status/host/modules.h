// The analyzer module and the common module, loaded once for the whole run
// the way any host loads them: load the file, then the two exports through
// GetProcAddress (the platform layer's loader, orvplatform/hostloader.h).
//
// The tool holds its own reference to the common module so that the
// analyzer's per-call load finds it already in the process instead of
// mapping it afresh for every block. The analyzer loads the common module by
// its bare file name, and the loader hands back a module already in the
// process that answers to that name: on POSIX one whose soname is
// libprtOrvCommonStatusAnalyzer.so, on Windows one whose file name is
// prtOrvCommonStatusAnalyzer.dll. So a common module given by path is used
// only if it answers to the name, which the constructor checks.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "orvplatform/win32.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace qlx5100status {

// The modules' Windows file names; the platform layer gives each platform's
// own (libNAME.so on POSIX).
constexpr const char kAnalyzerModuleName[] = "prtOrvStatusAnalyzerQLX5100.dll";
constexpr const char kCommonModuleName[] = "prtOrvCommonStatusAnalyzer.dll";

class ModuleError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ModulePaths {
    std::string analyzer;  // empty: the installed layout, then the build tree
    std::string common;    // empty: where the analyzer's load by name would look
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
    orvplatform::win32::HMODULE common_ = nullptr;
    orvplatform::win32::HMODULE analyzer_ = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis analyse_ = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML convert_ = nullptr;
};

// Where the tool looks for the analyzer when no path is given, in order.
std::vector<std::string> defaultAnalyzerCandidates();

}  // namespace qlx5100status
