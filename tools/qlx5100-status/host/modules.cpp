#include "modules.h"

#include <filesystem>
#include <system_error>

#include "escape.h"
#include "orvplatform/hostloader.h"

using namespace orvplatform::win32;

namespace qlx5100status {

namespace fs = std::filesystem;
namespace platform = orvplatform;

namespace {

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool namesBySoname() {
    return platform::bareNameRule() == platform::BareNameRule::Soname;
}

// An export, typed. Through void(*)(): FARPROC is a typed pointer on Windows,
// and casting it straight to another function type draws -Wcast-function-type.
template <typename Pointer>
Pointer procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Pointer>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

fs::path findAnalyzer(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const std::vector<std::string> candidates = defaultAnalyzerCandidates();
    std::string tried;
    for (const std::string& candidate : candidates) {
        if (isFile(candidate)) {
            return candidate;
        }
        tried += "\n  " + shown(candidate);
    }
    throw ModuleError("cannot find the analyzer module; looked at:" + tried +
                      "\n(give its path with --module PATH)");
}

HMODULE openCommon(const fs::path& file) {
    std::string error;
    const HMODULE handle = platform::loadModuleFile(file, error);
    if (handle == nullptr) {
        throw ModuleError("cannot load the common module " + shown(file.string()) + ": " + error);
    }
    return handle;
}

std::string notFoundMessage(const std::string& fileName, const fs::path& analyzer,
                            const std::string& error) {
    std::string where;
    if (namesBySoname()) {
        where = "on LD_LIBRARY_PATH, beside the analyzer (" +
                shown(analyzer.parent_path().string()) + ") or in the system's folders";
    } else {
        where = "beside the program (" + shown(platform::executableDirectory().string()) +
                "), in the system's folders, the current folder or on PATH";
    }
    return "cannot find the common module " + fileName + " " + where + ": " + error +
           "\n(give its path with --common-module PATH)";
}

std::string notAnsweringMessage(const std::string& path, const std::string& fileName) {
    const char* const consequence =
        ", so the analyzer, which loads the module by that name, would not use it; ";
    if (namesBySoname()) {
        return "the common module " + shown(path) + " does not have the soname " + fileName +
               consequence + "build it with -Wl,-soname," + fileName;
    }
    return "the common module " + shown(path) + " is not named " + fileName + consequence +
           "give the file that name";
}

// Loads the common module and checks that it is the module the analyzer's
// load by name will be handed.
HMODULE loadCommon(const std::string& given, const fs::path& analyzer) {
    const std::string fileName = platform::moduleFileName(kCommonModuleName);
    HMODULE handle = nullptr;
    if (!given.empty()) {
        handle = openCommon(given);
    } else {
        for (const fs::path& folder : platform::bareNameFolders(analyzer)) {
            if (isFile(folder / fileName)) {
                handle = openCommon(folder / fileName);
                break;
            }
        }
        if (handle == nullptr) {
            std::string error;
            handle = platform::loadModuleByName(fileName, error);
            if (handle == nullptr) {
                throw ModuleError(notFoundMessage(fileName, analyzer, error));
            }
        }
    }
    if (platform::moduleAnsweringName(fileName) != handle) {
        const std::string path = platform::moduleFilePath(handle);
        FreeLibrary(handle);
        throw ModuleError(notAnsweringMessage(path, fileName));
    }
    return handle;
}

}  // namespace

std::vector<std::string> defaultAnalyzerCandidates() {
    std::vector<std::string> out;
    const fs::path dir = platform::executableDirectory();
    if (!dir.empty()) {
        const fs::path installed = fs::path(QLX5100_STATUS_RELATIVE_MODULE_DIR) /
                                   platform::moduleFileName(kAnalyzerModuleName);
        out.push_back((dir / installed).lexically_normal().string());
    }
    out.push_back(QLX5100_STATUS_BUILD_TREE_MODULE);
    return out;
}

AnalyzerModules::AnalyzerModules(const ModulePaths& paths) {
    // Absolute paths, so that the loader takes each as a file and not as a
    // name to search for. Neither module loads the other at load time: the
    // order only decides which error a user sees first.
    const fs::path analyzerFile = fs::absolute(findAnalyzer(paths.analyzer));
    std::string error;
    analyzer_ = platform::loadModuleFile(analyzerFile, error);
    if (analyzer_ == nullptr) {
        throw ModuleError("cannot load the analyzer module " + shown(analyzerFile.string()) + ": " +
                          error);
    }
    try {
        analyse_ = procedure<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
            analyzer_, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName);
        convert_ = procedure<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
            analyzer_, OrvStatusAnalyzerQLX5100::kStartConvertXMLName);
        if (analyse_ == nullptr || convert_ == nullptr) {
            throw ModuleError("the analyzer module " + shown(analyzerFile.string()) + " lacks " +
                              (analyse_ == nullptr
                                   ? OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName
                                   : OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
        }
        common_ = loadCommon(paths.common, analyzerFile);
    } catch (...) {
        FreeLibrary(analyzer_);
        throw;
    }
}

AnalyzerModules::~AnalyzerModules() {
    if (analyzer_ != nullptr) {
        FreeLibrary(analyzer_);
    }
    if (common_ != nullptr) {
        FreeLibrary(common_);
    }
}

std::string AnalyzerModules::analyzerPath() const {
    return platform::moduleFilePath(analyzer_);
}

std::string AnalyzerModules::commonPath() const {
    return platform::moduleFilePath(common_);
}

}  // namespace qlx5100status
