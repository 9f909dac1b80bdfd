// Where a command's output goes: standard output, or the file -o names.
#pragma once

#include <fstream>
#include <iostream>
#include <ostream>
#include <string>

namespace qlx5100status {

class Output {
public:
    // "-" is standard output. Opening FILE truncates it; a failure is said
    // when ok() is asked.
    explicit Output(const std::string& path);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    std::ostream& stream() { return path_ == "-" ? static_cast<std::ostream&>(std::cout) : file_; }

    // Whether the file could be opened; says why not on standard error.
    bool opened();

    // Flushes; false, with the reason said, when any write failed.
    bool finish();

private:
    std::string path_;
    std::ofstream file_;
    int openErrno_ = 0;
};

}  // namespace qlx5100status
