// The main job: every input through both exports, the results printed.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "analysis.h"
#include "commands.h"
#include "exitcodes.h"
#include "input.h"
#include "messages.h"
#include "output.h"
#include "printer.h"

namespace qlx5100status {

int runAnalysis(const Options& options, const AnalyzerModules& modules) {
    std::vector<std::string> inputs;
    try {
        inputs = expandInputs(options.inputs);
    } catch (const InputError& e) {
        fail(e.what());
        return kInputError;
    }
    if (inputs.empty()) {
        fail("no files to read in " + displayName(options.inputs.front()));
        return kInputError;
    }
    if (std::count(inputs.begin(), inputs.end(), "-") > 1) {
        fail("standard input ('-') can be read only once");
        return kUsage;
    }
    // A folder is a batch even when it holds one file: the output's shape
    // should not depend on how many files happen to be in it.
    std::error_code ec;
    const bool batch =
        inputs.size() > 1 || std::filesystem::is_directory(options.inputs.front(), ec);
    Analysis analysis(modules, parseInputFormat(options.inputFormat));
    Output output(options.output);
    if (!output.opened()) {
        return kOutputError;
    }
    Printer printer(output.stream(), options, options.selection, batch);
    const bool convert = !options.annotate && options.format != "table" && options.format != "html";
    int worst = kOk;
    printer.begin();
    for (const std::string& path : inputs) {
        const int code = printer.result(path, analysis.run(path, convert), analysis);
        worst = std::max(worst, code);
    }
    printer.end();
    return output.finish() ? worst : kOutputError;
}

}  // namespace qlx5100status
