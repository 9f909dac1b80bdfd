// The main job: every input through both exports, the results written.
#include <algorithm>
#include <filesystem>

#include "commands.h"
#include "escape.h"
#include "exitcodes.h"
#include "fields.h"
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

void applyOutputSettings(Writer& writer, const Mode& mode) {
    writer.strict(mode.strict);
    writer.formulaGuard(mode.formulaGuard);
    writer.wide(mode.wide);
}

void noteLeftOut(const Mode& mode, const std::string& name, const StatusMap& map,
                 std::set<std::string>& noted) {
    if (mode.format != Format::Prometheus || mode.annotate) {
        return;
    }
    for (const auto& entry : map) {
        const std::string& key = entry.first;
        const bool known = std::any_of(fieldTable().begin(), fieldTable().end(),
                                       [&key](const FieldInfo& f) { return key == f.key; });
        if (!known && noted.insert(key).second) {
            printNote(name + ": " + shown(key) +
                      " is no field of the dictionary (a common module's key); the prometheus "
                      "output leaves it out");
        }
    }
}

int runAnalysis(const Mode& mode, const AnalyzerModules& modules) {
    std::vector<std::string> inputs;
    try {
        Expansion how;
        how.recursive = mode.recursive;
        for (const std::string& written : {mode.output, mode.logFile}) {
            if (!written.empty() && written != "-") {
                how.outputs.push_back(written);
            }
        }
        inputs = expandInputs(mode.inputs, how);
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
    Writer writer(output.stream(), mode.format, mode.annotate, mode.selection, batch, mode.labels);
    applyOutputSettings(writer, mode);
    const bool convert = Writer::needsTree(mode.format, mode.annotate);
    int worst = kOk;
    bool anyRead = false;
    std::set<std::string> noted;
    writer.begin();
    for (const std::string& path : inputs) {
        const std::string name = displayName(path);
        const int code = analysis.run(path, convert);
        anyRead = anyRead || code == kOk;
        const Decoded decoded = analysis.decoded(name, code);
        const std::string problem = writer.write(decoded);
        noteLeftOut(mode, name, *decoded.map, noted);
        worst = std::max(worst, settle(mode, name, code, analysis, problem));
    }
    writer.end();
    if (!anyRead && mode.output != "-") {
        // Nothing to show for the run: FILE stays as it was (Output's
        // destructor removes what was written).
        return worst;
    }
    return output.finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
