// Running the built tool as a process, and small file helpers.
#pragma once

#include <string>
#include <vector>

#include "temp_dir.h"

namespace tooltest {

using testsupport::TempDir;

struct RunResult {
    int code = -1;  // the exit code; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the tool with args, standard input from stdinFile (or /dev/null).
RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile = "");

// Runs a shell command with standard output sent to outFile; returns its
// exit status (127: command not found).
int runShell(const std::string& command, const std::string& outFile);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

std::string example(const std::string& relative);  // a path under examples/
std::string data(const std::string& name);         // a path under tests/tool/data/

}  // namespace tooltest
