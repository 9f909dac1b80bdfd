// The one description of the command line: every command and every option,
// defined once. CLI11 is set up from it (commandline.h), --help, the man page
// and the shell completions are written from it (help.h), and resolving
// (mode.h) checks each option given against the commands that take it.
#pragma once

#include <string>
#include <vector>

#include "nearest.h"  // what "did you mean" offers

namespace qlx5100status {

// What a command line asks for. Annotate is the analysis written as
// annotated dumps; --stream --annotate is Stream with the annotation.
enum class Command { Analyse, Annotate, Stream, Describe, Version, Diff, Encode };

using CommandSet = unsigned;
constexpr CommandSet bit(Command c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr CommandSet kAllCommands = (1u << 7) - 1;
// The commands that analyse blocks with the modules.
constexpr CommandSet kAnalysing =
    bit(Command::Analyse) | bit(Command::Annotate) | bit(Command::Stream) | bit(Command::Diff);

struct CommandDef {
    Command command;
    const char* label;         // in messages: "diff", "--stream", ...
    const char* subcommand;    // its word on the command line, or null
    unsigned formats;          // bits of the Format values it can write when -f is given
    const char* writes;        // what it writes, for a refused --format
    int minInputs, maxInputs;  // maxInputs -1: any number
    const char* inputsName;    // in messages: "inputs", "blocks", ...
    const char* summary;       // one line
    const char* usage;         // after the program's name
};

const std::vector<CommandDef>& commandTable();
const CommandDef& commandDef(Command command);

// How a shell completes an option's value.
enum class Completion { None, File, Choice, Field };

enum class OptionId {
    Help,
    Format,
    Field,
    Label,
    Output,
    InputFormat,
    Recursive,
    Annotate,
    Stream,
    BlockSize,
    Strict,
    Bytes,
    NoFormulaGuard,
    Wide,
    Describe,
    Module,
    CommonModule,
    LogLevel,
    Verbose,
    LogFile,
    Version,
    Generate,
};

struct OptionDef {
    OptionId id;
    const char* shortName;             // "-f", or "" for none
    const char* longName;              // "--format"
    const char* valueName;             // "FORMAT"; null for a flag
    std::vector<std::string> choices;  // the values it takes, when they are a fixed few
    std::string help;                  // one sentence
    Completion completion;
    CommandSet commands;  // the commands that take it
    bool repeatable;      // every value counts (-e); otherwise the last one wins
    bool hidden;          // left out of --help and the completions
    // A flag that is another option's value written short: -v is
    // --log-level inout. Its value counts in the order given, like the
    // option's own.
    OptionId aliasOf;
    const char* aliasValue;  // null: no alias
};

const std::vector<OptionDef>& optionTable();
const OptionDef& optionDef(OptionId id);

// An option as a refusal names it: "-e/--field", "--strict".
std::string optionName(const OptionDef& def);

}  // namespace qlx5100status
