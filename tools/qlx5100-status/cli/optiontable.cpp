#include "optiontable.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "fields.h"  // kBlockSize
#include "formatlist.h"
#include "hexdump.h"
#include "logsetup.h"
#include "orvplatform/hostloader.h"

namespace qlx5100status {

namespace {

// The descriptions of the block and the outputs are the dictionary's alone.
constexpr unsigned kDescriptions = formatBit(Format::Ksy) | formatBit(Format::JsonSchema);
constexpr unsigned kEveryFormat = ((1u << std::size(kFormats)) - 1) & ~kDescriptions;
// What a stream can write: a line at a time, or each block as a whole
// exposition.
constexpr unsigned kStreamFormats = formatBit(Format::Table) | formatBit(Format::Csv) |
                                    formatBit(Format::Tsv) | formatBit(Format::Ndjson) |
                                    formatBit(Format::Prometheus);

template <typename Table>
std::vector<std::string> namesOf(const Table& table) {
    std::vector<std::string> names;
    for (const auto& row : table) {
        names.emplace_back(row.name);
    }
    return names;
}

std::vector<CommandDef> makeCommands() {
    const std::string blockSize = std::to_string(kBlockSize);
    static const std::string encodeSummary =
        "Build a " + blockSize + "-byte block from field values in JSON (see docs/cli.md)";
    return {
        {Command::Analyse, "the analysis", nullptr, kEveryFormat,
         "xml, json, table, csv, tsv, ndjson, html or prometheus", 1, -1, "inputs",
         "Decodes QLX5100 status blocks with the analyzer module and prints the result.",
         "[OPTIONS] INPUT..."},
        {Command::Annotate, "--annotate", nullptr, 0, "its own annotated hex dump", 1, -1, "inputs",
         "Print each block as an annotated hex dump", "--annotate [OPTIONS] INPUT..."},
        {Command::Stream, "--stream", nullptr, kStreamFormats,
         "table, csv, tsv, ndjson or prometheus", 0, 1, "more than one input",
         "Decode consecutive blocks of one input as they arrive",
         "--stream -f FORMAT [OPTIONS] [INPUT]"},
        {Command::Describe, "--describe", nullptr,
         formatBit(Format::Table) | formatBit(Format::Json) | formatBit(Format::Csv) |
             formatBit(Format::Tsv) | kDescriptions,
         "table, json, csv, tsv, ksy or json-schema", 0, 0, "inputs", "Print the field dictionary",
         "--describe [-f FORMAT] [-o FILE]"},
        {Command::Version, "--version", nullptr, 0, "its own lines", 0, 0, "inputs",
         "Print the version and the paths of the modules loaded", "--version [OPTIONS]"},
        // Metrics describe a state, not the change between two.
        {Command::Diff, "diff", "diff", kEveryFormat & ~formatBit(Format::Prometheus),
         "xml, json, table, csv, tsv, ndjson or html", 2, 2, "blocks",
         "Compare two blocks' values (or bytes); exit 0 when the same, 1 when not",
         "diff [OPTIONS] OLD NEW"},
        {Command::Encode, "encode", "encode", 0, "a binary block", 1, 1, "values files",
         encodeSummary.c_str(), "encode [OPTIONS] VALUES"},
    };
}

// A flag, and an option that takes a value: the table's two kinds of row.
OptionDef flag(OptionId id, const char* shortName, const char* longName, std::string help,
               CommandSet commands) {
    return {id,    shortName,       longName,         nullptr,
            {},    std::move(help), Completion::None, commands,
            false, false,           OptionId::Help,   nullptr};
}

OptionDef valued(OptionId id, const char* shortName, const char* longName, const char* valueName,
                 std::string help, Completion completion, CommandSet commands,
                 std::vector<std::string> choices = {}) {
    return {id,         shortName, longName, valueName, std::move(choices), std::move(help),
            completion, commands,  false,    false,     OptionId::Help,     nullptr};
}

std::vector<OptionDef> makeOptions() {
    const bool bySoname = orvplatform::bareNameRule() == orvplatform::BareNameRule::Soname;
    const CommandSet hosts = kAnalysing | bit(Command::Version);
    std::vector<OptionDef> table = {
        flag(OptionId::Help, "-h", "--help", "Print this help (a command's own after it)",
             kAllCommands),
        valued(OptionId::Format, "-f", "--format", "FORMAT",
               "Output: xml (default), json, table, csv, tsv, ndjson, html (one page to look "
               "at) or prometheus (metrics for node_exporter); --describe also ksy and "
               "json-schema",
               Completion::Choice, kAllCommands, namesOf(kFormats)),
        valued(OptionId::Field, "-e", "--field", "KEY[INDEX]",
               "Only this field (KEY or KEY[INDEX]; repeatable, in this order) in table, csv, "
               "tsv, ndjson, prometheus and diff output",
               Completion::Field, kAnalysing | bit(Command::Annotate)),
        valued(OptionId::Label, "", "--label", "NAME=VALUE",
               "Add this label to every prometheus series (repeatable; input, index and value "
               "are the tool's own)",
               Completion::None, bit(Command::Analyse) | bit(Command::Stream)),
        valued(OptionId::Output, "-o", "--output", "FILE",
               "Write the result (the diff, the block, the dictionary) to this file instead of "
               "standard output; an existing FILE is replaced only once it is complete (with "
               "--stream -f prometheus, after every block); never one of the inputs",
               Completion::File, kAllCommands),
        valued(OptionId::InputFormat, "", "--input-format", "HOW",
               "How to read inputs: auto (default: text that looks like a hex dump is one), "
               "binary or hex",
               Completion::Choice, kAnalysing, namesOf(kInputFormats)),
        flag(OptionId::Recursive, "-r", "--recursive",
             "Read the folders inside a folder given as input too (without it they are skipped, "
             "and named)",
             bit(Command::Analyse) | bit(Command::Annotate)),
        flag(OptionId::Annotate, "", "--annotate",
             "Print each block as an annotated hex dump with every field's value",
             bit(Command::Annotate) | bit(Command::Stream)),
        flag(OptionId::Stream, "", "--stream",
             "Read standard input (or one file or FIFO) as consecutive blocks, printing each as "
             "soon as it is complete; names NAME#1, NAME#2, ...",
             bit(Command::Stream)),
        valued(OptionId::BlockSize, "", "--block-size", "BYTES",
               "The size of each block with --stream (default " + std::to_string(kBlockSize) + ")",
               Completion::None, bit(Command::Stream)),
        flag(OptionId::Strict, "", "--strict",
             "Treat an input with expert warnings as an input error (exit code 3)", kAnalysing),
        flag(OptionId::Bytes, "", "--bytes",
             "diff: list every byte that differs, as cmp -l does (offset from 1, octal bytes)",
             bit(Command::Diff)),
        flag(OptionId::NoFormulaGuard, "", "--no-formula-guard",
             "In csv and tsv, write text cells starting with =, +, - or @ as they are, without "
             "the ' that keeps spreadsheets from running them as formulas",
             bit(Command::Analyse) | bit(Command::Stream)),
        flag(OptionId::Wide, "", "--wide",
             "In csv and tsv, one row per input and one column per KEY[INDEX] (with -e, the "
             "fields chosen, in that order)",
             bit(Command::Analyse) | bit(Command::Stream)),
        flag(OptionId::Describe, "", "--describe",
             "Print the field dictionary (table, json, csv or tsv with --format), or describe the "
             "block (ksy) or the JSON outputs (json-schema)",
             bit(Command::Describe)),
        valued(OptionId::Module, "", "--module", "FILE", "The analyzer module to load",
               Completion::File, hosts),
        valued(OptionId::CommonModule, "", "--common-module", "FILE",
               std::string("The common module to load in place of the one the analyzer would "
                           "find; its ") +
                   (bySoname ? "soname must be libprtOrvCommonStatusAnalyzer.so"
                             : "file name must be prtOrvCommonStatusAnalyzer.dll"),
               Completion::File, hosts),
        valued(OptionId::LogLevel, "", "--log-level", "LEVEL",
               "Log records to show: error (default), inout (entry and exit too) or none",
               Completion::Choice, hosts, namesOf(kLogLevels)),
        flag(OptionId::Verbose, "-v", "--verbose", "Same as --log-level inout", hosts),
        valued(OptionId::LogFile, "", "--log-file", "FILE",
               "Append log records to this file instead of standard error", Completion::File,
               hosts),
        flag(OptionId::Version, "", "--version",
             "Print the version and the paths of the modules loaded", bit(Command::Version)),
        valued(OptionId::Generate, "", "--generate", "WHAT",
               "Print the bash, zsh or fish completion or the man page", Completion::Choice,
               kAllCommands, {"bash", "zsh", "fish", "man"}),
    };
    table[static_cast<std::size_t>(OptionId::Field)].repeatable = true;
    table[static_cast<std::size_t>(OptionId::Label)].repeatable = true;
    table[static_cast<std::size_t>(OptionId::Generate)].hidden = true;
    table[static_cast<std::size_t>(OptionId::Verbose)].aliasOf = OptionId::LogLevel;
    table[static_cast<std::size_t>(OptionId::Verbose)].aliasValue = "inout";
    // The rows stand in the enumeration's order: optionDef() relies on it.
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (static_cast<std::size_t>(table[i].id) != i) {
            throw std::logic_error("the option table is out of order");
        }
    }
    return table;
}

}  // namespace

const std::vector<CommandDef>& commandTable() {
    static const std::vector<CommandDef> table = makeCommands();
    return table;
}

const CommandDef& commandDef(Command command) {
    return commandTable().at(static_cast<std::size_t>(command));
}

const std::vector<OptionDef>& optionTable() {
    static const std::vector<OptionDef> table = makeOptions();
    return table;
}

const OptionDef& optionDef(OptionId id) {
    return optionTable().at(static_cast<std::size_t>(id));
}

std::string optionName(const OptionDef& def) {
    return def.shortName[0] != '\0' ? std::string(def.shortName) + "/" + def.longName
                                    : std::string(def.longName);
}

}  // namespace qlx5100status
