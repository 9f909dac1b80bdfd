// qlx5100-status: runs the QLX5100 analyzer module on status blocks and prints
// what it makes of them. A host like any other: it loads the module at run
// time, configures the logging core and owns the map and the tree.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "exitcodes.h"
#include "help.h"
#include "logsetup.h"
#include "messages.h"
#include "mode.h"
#include "modules.h"
#include "output.h"
#include "rawoptions.h"
#include "samefile.h"

namespace qs = qlx5100status;

namespace {

int run(int argc, char** argv) {
    qs::RawOptions raw;
    try {
        raw = qs::parseCommandLine(argc, argv);
    } catch (const qs::UsageError& e) {
        qs::printError(std::string(e.what()) + " (try --help)");
        return qs::kUsage;
    }
    const qs::Resolved resolved = qs::resolve(raw, [](const std::string& path) {
        std::error_code ec;
        return path == "-" || std::filesystem::exists(std::filesystem::symlink_status(path, ec));
    });
    switch (resolved.kind) {
        case qs::Resolved::Kind::Help:
            qs::writeHelp(std::cout, resolved.helpFor);
            return qs::kOk;
        case qs::Resolved::Kind::Generate:
            qs::writeGenerated(std::cout, resolved.generate);
            return qs::kOk;
        case qs::Resolved::Kind::Refused:
            qs::printError(resolved.message);
            return qs::kUsage;
        case qs::Resolved::Kind::Run:
            break;
    }
    const qs::Mode& mode = resolved.mode;
    // Before anything is read or opened: the output would replace the input.
    std::vector<std::string> read = mode.inputs;
    if (read.empty() && mode.command == qs::Command::Stream) {
        read.push_back("-");
    }
    const std::string clash =
        qs::outputOverInput({{"-o", mode.output}, {"--log-file", mode.logFile}}, read);
    if (!clash.empty()) {
        qs::printError(clash);
        return qs::kUsage;
    }
    if (mode.command == qs::Command::Encode) {
        return qs::runEncode(mode);
    }
    if (mode.command == qs::Command::Describe) {
        return qs::runDescribe(mode);
    }
    try {
        qs::setUpLogging(mode.logLevel, mode.logFile);
    } catch (const std::exception& e) {
        qs::printError(e.what());
        return qs::kInputError;
    }
    std::unique_ptr<qs::AnalyzerModules> modules;
    try {
        modules = std::make_unique<qs::AnalyzerModules>(mode.modules);
    } catch (const qs::ModuleError& e) {
        if (mode.command == qs::Command::Version) {
            std::cout << "qlx5100-status " << QLX5100_STATUS_VERSION << '\n';
        }
        qs::printError(e.what());
        return qs::kModuleError;
    }
    switch (mode.command) {
        case qs::Command::Version:
            return qs::runVersion(mode, *modules);
        case qs::Command::Stream:
            return qs::runStream(mode, *modules);
        case qs::Command::Diff:
            return qs::runDiff(mode, *modules);
        default:
            return qs::runAnalysis(mode, *modules);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qs::checkStandardOutput();
    // The modules are unloaded by now, so the log file has every record.
    int code = run(argc, argv);
    if (!qs::finishLogging()) {
        code = qs::kOutputError;
    }
    if (!qs::finishStandardOutput()) {
        code = qs::kOutputError;
    }
    return code;
}
