#include "heldmodules.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "escape.h"
#include "logforward.h"
#include "orvplatform/hostloader.h"

namespace qlx5100capi {

namespace fs = std::filesystem;
namespace platform = orvplatform;

namespace {

// The installed layout first: a library is installed with its modules, and
// the program that loaded it (python3, a host in any folder) says nothing
// about where they are.
std::vector<fs::path> analyzerCandidates() {
    std::vector<fs::path> out;
    const fs::path self =
        platform::moduleFileContaining(reinterpret_cast<const void*>(&heldModules));
    if (!self.empty()) {
        out.push_back((self.parent_path() / QLX5100_RELATIVE_MODULE_DIR /
                       platform::moduleFileName(qlx5100status::kAnalyzerModuleName))
                          .lexically_normal());
    }
    out.emplace_back(QLX5100_BUILD_TREE_MODULE);
    return out;
}

qlx5100status::ModulePaths modulePaths() {
    // The tool's --module, for a library that has no command line.
    if (const char* given = std::getenv("QLX5100_MODULE"); given != nullptr && *given != '\0') {
        return qlx5100status::ModulePaths{given, ""};
    }
    std::string tried;
    for (const fs::path& candidate : analyzerCandidates()) {
        std::error_code ec;
        if (!fs::is_regular_file(candidate, ec)) {
            tried += "\n  " + qlx5100status::shown(candidate.string());
            continue;
        }
        qlx5100status::ModulePaths paths{candidate.string(), ""};
        // Windows searches the program's folder for a bare name, not the
        // analyzer's: a common module beside the analyzer is loaded by its
        // path, and the analyzer's load by name then finds it in the process.
        const fs::path common =
            candidate.parent_path() / platform::moduleFileName(qlx5100status::kCommonModuleName);
        if (platform::bareNameRule() == platform::BareNameRule::FileName &&
            fs::is_regular_file(common, ec)) {
            paths.common = common.string();
        }
        return paths;
    }
    throw qlx5100status::ModuleError("cannot find the analyzer module; looked at:" + tried);
}

}  // namespace

const qlx5100status::AnalyzerModules& heldModules() {
    // Before the first record the analyzer makes: without a sink of ours,
    // Boost.Log would print it on the console.
    installLogSink();
    // A constructor that throws leaves the static unmade, so a later call
    // tries again (after a module was installed, say).
    static const qlx5100status::AnalyzerModules modules(modulePaths());
    return modules;
}

}  // namespace qlx5100capi
