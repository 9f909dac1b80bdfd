// Running the built tool as a process, and small file helpers.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace tooltest {

using testsupport::TempDir;

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string example(const std::string& relative) {
    return std::string(EXAMPLES_DIR) + "/" + relative;
}

inline std::string data(const std::string& name) {  // under tests/tool/data/
    return std::string(TEST_DATA_DIR) + "/" + name;
}

// Runs a shell command with standard output sent to outFile; returns its exit
// status (127: command not found; -1: it did not exit).
inline int runShell(const std::string& command, const std::string& outFile) {
    const int status = std::system((command + " >'" + outFile + "'").c_str());
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the tool with args (none may hold a single quote), standard input from
// stdinFile or /dev/null.
inline RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile = "") {
    TempDir dir;
    std::string command = TOOL_PATH;
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    command +=
        " <'" + (stdinFile.empty() ? "/dev/null" : stdinFile) + "' 2>'" + dir.path("err") + "'";
    RunResult r;
    r.code = runShell(command, dir.path("out"));
    r.out = readFile(dir.path("out"));
    r.err = readFile(dir.path("err"));
    return r;
}

}  // namespace tooltest
