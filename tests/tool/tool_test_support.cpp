#include "tool_test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

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

RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile,
                  const std::vector<std::string>& env) {
    TempDir dir;
    std::string command;
    for (const std::string& assignment : env) {
        command += assignment + " ";
    }
    command += quote(TOOL_PATH);
    for (const std::string& a : args) {
        command += " " + quote(a);
    }
    command += " <" + quote(stdinFile.empty() ? "/dev/null" : stdinFile) + " >" +
               quote(dir.path("out")) + " 2>" + quote(dir.path("err"));
    RunResult r;
    r.code = exitCode(std::system(command.c_str()));
    r.out = readFile(dir.path("out"));
    r.err = readFile(dir.path("err"));
    return r;
}

int runShell(const std::string& command, const std::string& outFile) {
    return exitCode(std::system((command + " >" + quote(outFile) + " 2>/dev/null").c_str()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    const std::string s = readFile(path);
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string example(const std::string& relative) {
    return std::string(EXAMPLES_DIR) + "/" + relative;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tooltest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

}  // namespace tooltest
