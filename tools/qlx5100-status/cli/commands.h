// The tool's commands; each returns the exit code (exitcodes.h) and has said
// on standard error what went wrong.
#pragma once

#include "modules.h"
#include "options.h"

namespace qlx5100status {

// Analyses every input (files, '-', directories) and prints the results.
int runAnalysis(const Options& options, const AnalyzerModules& modules);

// Reads standard input or one file as consecutive blocks and prints each as
// soon as it is complete.
int runStream(const Options& options, const AnalyzerModules& modules);

// Compares the decoded values of options.diffOld and options.diffNew.
int runDiff(const Options& options, const AnalyzerModules& modules);

// Builds a block from the values in options.encodeValues.
int runEncode(const Options& options);

// Prints the field dictionary.
int runDescribe(const Options& options);

}  // namespace qlx5100status
