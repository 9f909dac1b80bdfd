// Running the built tool as a user does, for the process-level tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "files.h"
#include "temp_dir.h"

namespace toolrun {

using testsupport::readFile;
using testsupport::writeFile;

// A shell command's exit status (127: not found).
inline int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct RunResult {
    int code = -1;
    std::string out, err;
};

// The tool run with args (none may hold a single quote), standard input from
// stdinFile or /dev/null, standard output to stdoutFile when given.
inline RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile = "",
                         const std::string& stdoutFile = "") {
    testsupport::TempDir dir;
    std::string command = TOOL_PATH;
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    command += " <'" + (stdinFile.empty() ? "/dev/null" : stdinFile) + "' >'" +
               (stdoutFile.empty() ? dir.path("out") : stdoutFile) + "' 2>'" + dir.path("err") +
               "'";
    const int code = runShell(command);
    return {code, readFile(dir.path("out")), readFile(dir.path("err"))};
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace toolrun
