// What the command line asked for, as parsed; the commands read it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "selection.h"

namespace qlx5100status {

struct Options {
    std::vector<std::string> inputs;
    std::string format = "xml";
    std::string inputFormat = "auto";
    std::string modulePath;
    std::string commonPath;
    std::string logLevel = "error";
    bool verbose = false;
    std::string logFile;
    std::string output = "-";  // -o FILE for the analysis and diff output
    bool annotate = false;
    std::vector<std::string> fields;  // -e KEY, -e KEY[INDEX]
    FieldSelection selection;         // fields, checked
    bool strict = false;
    bool stream = false;           // consecutive blocks of blockSize bytes
    std::size_t blockSize = 1024;  // a warning makes its input an input error
    bool describe = false;
    bool version = false;
    std::string diffOld;
    std::string diffNew;
    std::string encodeValues;
    std::string encodeOutput = "-";
};

}  // namespace qlx5100status
