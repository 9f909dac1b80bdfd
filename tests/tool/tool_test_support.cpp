#include "tool_test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tooltest {

namespace {

std::string quote(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

int exitCode(int status) {
    return (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile) {
    TempDir dir;
    std::string command = quote(TOOL_PATH);
    for (const std::string& a : args) {
        command += " " + quote(a);
    }
    command +=
        " <" + quote(stdinFile.empty() ? "/dev/null" : stdinFile) + " 2>" + quote(dir.path("err"));
    RunResult r;
    r.code = runShell(command, dir.path("out"));
    r.out = readFile(dir.path("out"));
    r.err = readFile(dir.path("err"));
    return r;
}

int runShell(const std::string& command, const std::string& outFile) {
    return exitCode(std::system((command + " >" + quote(outFile)).c_str()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string example(const std::string& relative) {
    return std::string(EXAMPLES_DIR) + "/" + relative;
}

std::string data(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/" + name;
}

}  // namespace tooltest
