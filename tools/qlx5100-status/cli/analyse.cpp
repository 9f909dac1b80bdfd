// The main job: every input through both exports, the results written.
#include <algorithm>
#include <filesystem>

#include "commands.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "output.h"
#include "writer.h"

namespace qlx5100status {

int settle(const Mode& mode, const std::string& name, int code, const Analysis& analysis,
           const std::string& writeProblem) {
    if (code != kOk) {
        printError(analysis.error());
    }
    for (const Warning& w : analysis.warnings()) {
        printWarning(name, w.text);
    }
    if (code == kOk && !writeProblem.empty()) {
        printError(name + ": " + writeProblem);
        return kAnalysisFailed;
    }
    return code == kOk && mode.strict && !analysis.warnings().empty() ? kInputError : code;
}

int runAnalysis(const Mode& mode, const AnalyzerModules& modules) {
    std::vector<std::string> inputs;
    try {
        inputs = expandInputs(mode.inputs);
    } catch (const InputError& e) {
        printError(e.what());
        return kInputError;
    }
    if (inputs.empty()) {
        printError("no files to read in " + displayName(mode.inputs.front()));
        return kInputError;
    }
    // A folder is a batch even when it holds one file: the output's shape
    // should not depend on how many files happen to be in it.
    std::error_code ec;
    const bool batch = inputs.size() > 1 || std::filesystem::is_directory(mode.inputs.front(), ec);
    Analysis analysis(modules, mode.inputFormat);
    Output output(mode.output);
    if (!output.opened()) {
        return kOutputError;
    }
    Writer writer(output.stream(), mode.format, mode.annotate, mode.selection, batch);
    const bool convert = Writer::needsTree(mode.format, mode.annotate);
    int worst = kOk;
    writer.begin();
    for (const std::string& path : inputs) {
        const std::string name = displayName(path);
        const int code = analysis.run(path, convert);
        const std::string problem = writer.write(analysis.decoded(name, code));
        worst = std::max(worst, settle(mode, name, code, analysis, problem));
    }
    writer.end();
    return output.finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
