// The tool's commands, each from a resolved Mode; each returns the exit code
// (exitcodes.h) and has said on standard error what went wrong.
#pragma once

#include <set>
#include <string>

#include "analysis.h"
#include "mode.h"
#include "modules.h"

namespace qlx5100status {

class Writer;

// Analyses every input (files, '-', directories) and writes the results.
int runAnalysis(const Mode& mode, const AnalyzerModules& modules);

// Reads standard input or one file as consecutive blocks and writes each as
// soon as it is complete.
int runStream(const Mode& mode, const AnalyzerModules& modules);

// Compares the decoded values of mode.inputs[0] and [1].
int runDiff(const Mode& mode, const AnalyzerModules& modules);

// Builds a block from the values in mode.inputs[0].
int runEncode(const Mode& mode);

// Writes the field dictionary.
int runDescribe(const Mode& mode);

// Writes the version and the modules' paths.
int runVersion(const Mode& mode, const AnalyzerModules& modules);

// The command loop's one place for what an input's result means: says its
// error (and why writing it failed, when it did) and its warnings on standard
// error, applies --strict, and returns the input's exit code.
int settle(const Mode& mode, const std::string& name, int code, const Analysis& analysis,
           const std::string& writeProblem = std::string());

// Gives writer what mode says beyond its constructor's arguments (--strict,
// --no-formula-guard, --wide); before the writer's begin().
void applyOutputSettings(Writer& writer, const Mode& mode);

// Notes, once a run for each, the keys of map that prometheus output leaves
// out because the field dictionary does not know them (a common module's).
void noteLeftOut(const Mode& mode, const std::string& name, const StatusMap& map,
                 std::set<std::string>& noted);

}  // namespace qlx5100status
