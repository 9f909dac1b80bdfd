// Running the built tool as a process, and small file helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tooltest {

struct RunResult {
    int code = -1;  // the exit code; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs the tool with args, standard input from stdinFile (or /dev/null),
// with the given environment assignments ("NAME=value") in front.
RunResult runTool(const std::vector<std::string>& args, const std::string& stdinFile = "",
                  const std::vector<std::string>& env = {});

// Runs a shell command with standard output sent to outFile; returns its
// exit status (127: command not found).
int runShell(const std::string& command, const std::string& outFile);

std::string readFile(const std::string& path);
std::vector<std::uint8_t> readBytes(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

std::string example(const std::string& relative);  // a path under examples/

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

}  // namespace tooltest
