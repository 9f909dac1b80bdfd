// What the command line asks for, resolved once from RawOptions: the command,
// the format and every setting typed, defaults filled in. A combination that
// the command cannot honour never becomes a Mode: resolve() refuses it,
// naming both sides.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "fields.h"
#include "formatlist.h"
#include "hexdump.h"
#include "logsetup.h"
#include "modules.h"
#include "optiontable.h"
#include "prometheus.h"
#include "rawoptions.h"
#include "selection.h"

namespace qlx5100status {

struct Mode {
    Command command = Command::Analyse;
    bool annotate = false;  // Annotate, or Stream with --annotate
    Format format = Format::Xml;
    bool formatGiven = false;  // -f was given, not the command's default
    InputFormat inputFormat = InputFormat::Auto;
    LogLevel logLevel = LogLevel::Error;
    std::string logFile;
    ModulePaths modules;
    std::string output = "-";  // "-": standard output
    FieldSelection selection;
    std::vector<Label> labels;  // prometheus' constant labels, names checked
    bool strict = false;
    bool recursive = false;    // -r: folders inside folders too
    bool bytes = false;        // diff --bytes: the bytes that differ, not the fields
    bool formulaGuard = true;  // csv and tsv: a ' before a cell a spreadsheet would run
    bool wide = false;         // csv and tsv: a row per input, a column per KEY[INDEX]
    std::size_t blockSize = kBlockSize;
    // The inputs (Analyse, Annotate, Stream), OLD and NEW (Diff), the values
    // file (Encode).
    std::vector<std::string> inputs;
};

struct Resolved {
    enum class Kind {
        Run,       // mode holds what to do
        Help,      // print the help of helpFor
        Generate,  // print generate: "bash", "zsh", "fish" or "man"
        Refused,   // exit 2 with message
    };
    Kind kind = Kind::Refused;
    Mode mode;
    Command helpFor = Command::Analyse;
    std::string generate;
    std::string message;  // without the program's name
};

// Whether a word names something on disk; the one question resolve() asks of
// the world, to tell a misspelt command from a file name.
using PathExists = std::function<bool(const std::string&)>;

Resolved resolve(const RawOptions& raw, const PathExists& exists);

}  // namespace qlx5100status
