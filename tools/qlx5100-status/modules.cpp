#include "modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qlx5100status {

namespace fs = std::filesystem;

namespace {

std::string dlerrorText() {
    const char* e = dlerror();
    return e != nullptr ? e : "unknown error";
}

fs::path executableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

std::string loadedPath(void* handle, const char* symbol) {
    Dl_info info{};
    void* address = dlsym(handle, symbol);
    if (address != nullptr && dladdr(address, &info) != 0 && info.dli_fname != nullptr) {
        std::error_code ec;
        const fs::path canonical = fs::canonical(info.dli_fname, ec);
        return ec ? info.dli_fname : canonical.string();
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
        return map->l_name;
    }
    return "?";
}

// The order in which the analyzer's own load would search: LD_LIBRARY_PATH,
// then its run path ($ORIGIN: its own folder).
std::vector<fs::path> commonCandidates(const fs::path& analyzer) {
    std::vector<fs::path> out;
    if (const char* env = std::getenv("LD_LIBRARY_PATH")) {
        std::string list = env;
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t colon = std::min(list.find(':', start), list.size());
            const std::string dir = list.substr(start, colon - start);
            out.push_back(fs::path(dir.empty() ? "." : dir) / kCommonFileName);
            start = colon + 1;
        }
    }
    out.push_back(analyzer.parent_path() / kCommonFileName);
    return out;
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
        tried += "\n  " + candidate;
    }
    throw ModuleError("cannot find the analyzer module; looked at:" + tried +
                      "\n(give its path with --module PATH)");
}

void* openCommon(const fs::path& file) {
    void* handle = dlopen(fs::absolute(file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw ModuleError("cannot load the common module " + file.string() + ": " + dlerrorText());
    }
    return handle;
}

// Loads the common module and checks that it is the object the analyzer's
// load by name will be handed.
void* loadCommon(const std::string& given, const fs::path& analyzer) {
    void* handle = nullptr;
    if (!given.empty()) {
        handle = openCommon(given);
    } else {
        for (const fs::path& candidate : commonCandidates(analyzer)) {
            if (isFile(candidate)) {
                handle = openCommon(candidate);
                break;
            }
        }
        if (handle == nullptr) {
            handle = dlopen(kCommonFileName, RTLD_NOW | RTLD_LOCAL);
        }
        if (handle == nullptr) {
            throw ModuleError(std::string("cannot find the common module ") + kCommonFileName +
                              " on LD_LIBRARY_PATH, beside the analyzer (" +
                              analyzer.parent_path().string() + ") or in the system's folders: " +
                              dlerrorText() + "\n(give its path with --common-module PATH)");
        }
    }
    void* byName = dlopen(kCommonFileName, RTLD_NOW | RTLD_NOLOAD);
    if (byName != nullptr) {
        dlclose(byName);
    }
    if (byName != handle) {
        const std::string path = loadedPath(handle, "startStatusAnalysis");
        dlclose(handle);
        throw ModuleError("the common module " + path + " does not have the soname " +
                          kCommonFileName +
                          ", so the analyzer, which loads the module by that name, would not use "
                          "it; build it with -Wl,-soname," +
                          kCommonFileName);
    }
    return handle;
}

}  // namespace

std::vector<std::string> defaultAnalyzerCandidates() {
    std::vector<std::string> out;
    const fs::path dir = executableDir();
    if (!dir.empty()) {
        out.push_back((dir / QLX5100_STATUS_RELATIVE_MODULE).lexically_normal().string());
    }
    out.push_back(QLX5100_STATUS_BUILD_TREE_MODULE);
    return out;
}

AnalyzerModules::AnalyzerModules(const ModulePaths& paths) {
    // Absolute paths, so that the loader takes each as a file and not as a
    // name to search for. Neither module loads the other at load time: the
    // order only decides which error a user sees first.
    const fs::path analyzerFile = fs::absolute(findAnalyzer(paths.analyzer));
    analyzer_ = dlopen(analyzerFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (analyzer_ == nullptr) {
        throw ModuleError("cannot load the analyzer module " + analyzerFile.string() + ": " +
                          dlerrorText());
    }
    try {
        analyse_ = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
            dlsym(analyzer_, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
        convert_ = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
            dlsym(analyzer_, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
        if (analyse_ == nullptr || convert_ == nullptr) {
            throw ModuleError("the analyzer module " + analyzerFile.string() + " lacks " +
                              (analyse_ == nullptr
                                   ? OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName
                                   : OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
        }
        common_ = loadCommon(paths.common, analyzerFile);
    } catch (...) {
        dlclose(analyzer_);
        throw;
    }
}

AnalyzerModules::~AnalyzerModules() {
    if (analyzer_ != nullptr) {
        dlclose(analyzer_);
    }
    if (common_ != nullptr) {
        dlclose(common_);
    }
}

std::string AnalyzerModules::analyzerPath() const {
    return loadedPath(analyzer_, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName);
}

std::string AnalyzerModules::commonPath() const {
    return loadedPath(common_, "startStatusAnalysis");
}

}  // namespace qlx5100status
