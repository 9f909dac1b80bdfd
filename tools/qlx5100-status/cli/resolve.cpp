// From what was typed to what to do, once. The order of the checks decides
// which of several faults a line is refused for: unknown words first, then
// options the command does not take, then the format, the inputs and the
// values.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "escape.h"
#include "input.h"
#include "mode.h"

namespace qlx5100status {

namespace {

struct Refusal {
    std::string message;
};

std::string didYouMean(const std::string& word, const std::vector<std::string>& candidates) {
    const std::string best = nearest(word, candidates);
    return best.empty() ? std::string() : "; did you mean " + best + "?";
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) {
        text += (text.empty() ? "" : ", ") + w;
    }
    return text;
}

// The row of table whose name is value, or a refusal naming the option.
template <typename Row, std::size_t N>
const Row& choice(const Row (&table)[N], const OptionDef& def, const std::string& value) {
    for (const Row& row : table) {
        if (value == row.name) {
            return row;
        }
    }
    throw Refusal{std::string(def.longName) + " " + shown(value) + ": not one of " +
                  joined(def.choices) + didYouMean(value, def.choices)};
}

std::vector<std::string> optionNames() {
    std::vector<std::string> names;
    for (const OptionDef& def : optionTable()) {
        if (!def.hidden) {
            names.emplace_back(def.longName);
        }
    }
    return names;
}

std::vector<std::string> subcommandNames() {
    std::vector<std::string> names;
    for (const CommandDef& c : commandTable()) {
        if (c.subcommand != nullptr) {
            names.emplace_back(c.subcommand);
        }
    }
    return names;
}

Command commandOf(const RawOptions& raw) {
    for (const CommandDef& c : commandTable()) {
        if (c.subcommand != nullptr && raw.subcommand == c.subcommand) {
            return c.command;
        }
    }
    // The modes of the main program, the first that applies.
    const std::pair<OptionId, Command> modes[] = {{OptionId::Describe, Command::Describe},
                                                  {OptionId::Version, Command::Version},
                                                  {OptionId::Stream, Command::Stream},
                                                  {OptionId::Annotate, Command::Annotate}};
    for (const auto& [id, command] : modes) {
        if (raw.has(id)) {
            return command;
        }
    }
    return Command::Analyse;
}

void checkOptionsTaken(const RawOptions& raw, Command command) {
    const CommandDef& cmd = commandDef(command);
    for (const RawOptions::Given& g : raw.given) {
        const OptionDef& def = optionDef(g.id);
        if ((def.commands & bit(command)) != 0) {
            continue;
        }
        if (command == Command::Analyse && (def.commands & bit(Command::Stream)) != 0) {
            throw Refusal{optionName(def) + " needs --stream"};
        }
        if (command == Command::Analyse && def.commands == bit(Command::Diff)) {
            throw Refusal{optionName(def) + " needs diff (diff " + def.longName + " OLD NEW)"};
        }
        throw Refusal{optionName(def) + " and " + cmd.label + " cannot be combined"};
    }
}

void resolveFormat(const RawOptions& raw, Mode& mode) {
    const CommandDef& cmd = commandDef(mode.command);
    const OptionDef& def = optionDef(OptionId::Format);
    const std::string* given = raw.last(OptionId::Format);
    if (given == nullptr) {
        if (mode.command == Command::Stream && !mode.annotate) {
            throw Refusal{
                "--stream and --format xml (the default; give -f) cannot be combined: --stream "
                "writes " +
                std::string(cmd.writes) + ", a block at a time"};
        }
        mode.format = mode.command == Command::Describe ? Format::Table : Format::Xml;
        return;
    }
    mode.format = choice(kFormats, def, *given).format;
    mode.formatGiven = true;
}

// After -e, whose refusal says more about a format it cannot pick from.
void checkFormat(const Mode& mode) {
    const CommandDef& cmd = commandDef(mode.command);
    if (!mode.formatGiven) {
        return;
    }
    const std::string given = formatInfo(mode.format).name;
    const unsigned allowed = mode.annotate ? 0u : cmd.formats;
    if ((allowed & formatBit(mode.format)) == 0) {
        const char* label = mode.annotate ? "--annotate" : cmd.label;
        const char* writes = mode.annotate ? commandDef(Command::Annotate).writes : cmd.writes;
        throw Refusal{std::string(label) + " and --format " + given +
                      " cannot be combined: " + label + " writes " + writes};
    }
}

void resolveInputs(const RawOptions& raw, Mode& mode, const PathExists& exists) {
    const CommandDef& cmd = commandDef(mode.command);
    const auto count = static_cast<int>(raw.positionals.size());
    if (count == 0 && cmd.minInputs > 0 && cmd.subcommand == nullptr) {
        throw Refusal{"no input given (try --help)"};
    }
    if (count > 0 && !exists(raw.positionals.front()) && cmd.subcommand == nullptr &&
        cmd.maxInputs != 0) {
        const std::string suggestion = nearest(raw.positionals.front(), subcommandNames());
        if (!suggestion.empty()) {
            throw Refusal{shown(raw.positionals.front()) +
                          ": no such file, and no command; did you mean " + suggestion + "?"};
        }
    }
    if (count < cmd.minInputs || (cmd.maxInputs >= 0 && count > cmd.maxInputs)) {
        if (cmd.subcommand == nullptr) {
            throw Refusal{std::string(cmd.label) + " and " + cmd.inputsName +
                          " cannot be combined"};
        }
        throw Refusal{std::string(cmd.label) + " takes " +
                      (cmd.minInputs == 2 ? "two blocks, OLD and NEW" : "one values file") + "; " +
                      std::to_string(count) + " given"};
    }
    if (std::count(raw.positionals.begin(), raw.positionals.end(), "-") > 1) {
        throw Refusal{"standard input ('-') can be read only once"};
    }
    mode.inputs = raw.positionals;
}

void resolveSelection(const RawOptions& raw, Mode& mode) {
    const std::vector<std::string> wanted = raw.all(OptionId::Field);
    if (wanted.empty()) {
        return;
    }
    try {
        mode.selection = FieldSelection(wanted);
    } catch (const SelectionError& e) {
        const std::vector<std::string> keys = fieldKeys();
        std::string suggestion;
        for (const std::string& w : wanted) {
            const std::string key = w.substr(0, w.find('['));
            if (findField(key, 1) == nullptr && suggestion.empty()) {
                suggestion = didYouMean(key, keys);
            }
        }
        throw Refusal{"-e " + std::string(e.what()) +
                      " (qlx5100-status --describe lists the fields)" + suggestion};
    }
    // The documents keep the analyzer's tree whole; diff's rows are there to
    // be picked in every format.
    const bool selectable = mode.command == Command::Diff || formatInfo(mode.format).selectable;
    if (mode.annotate || !selectable) {
        throw Refusal{
            "-e selects the fields of table, csv, tsv, ndjson and prometheus output and of diff, "
            "not of " +
            (mode.annotate ? std::string("--annotate")
                           : "--format " + std::string(formatInfo(mode.format).name)) +
            (mode.format == Format::Xml && !mode.formatGiven ? " (the default; give -f table)"
                                                             : "")};
    }
}

// After the format: --label belongs to prometheus output alone.
void resolveLabels(const RawOptions& raw, Mode& mode) {
    const std::vector<std::string> given = raw.all(OptionId::Label);
    if (given.empty()) {
        return;
    }
    if (mode.annotate || mode.format != Format::Prometheus) {
        throw Refusal{"--label adds labels to prometheus series, not to " +
                      (mode.annotate ? std::string("--annotate")
                                     : "--format " + std::string(formatInfo(mode.format).name)) +
                      (mode.format == Format::Xml && !mode.formatGiven
                           ? " (the default; give -f prometheus)"
                           : "")};
    }
    for (const std::string& g : given) {
        const std::size_t equals = g.find('=');
        const std::string name = g.substr(0, equals);
        if (equals == std::string::npos) {
            throw Refusal{"--label " + shown(g) + ": expected NAME=VALUE"};
        }
        const std::string problem = labelNameProblem(name);
        if (!problem.empty()) {
            throw Refusal{"--label " + shown(name) + ": " + problem};
        }
        for (const Label& l : mode.labels) {
            if (l.name == name) {
                throw Refusal{"--label " + shown(name) + " is given twice"};
            }
        }
        mode.labels.push_back({name, g.substr(equals + 1)});
    }
}

std::size_t blockSize(const std::string& text) {
    constexpr std::size_t kMost = kMaxInputBytes;
    std::size_t value = 0;
    bool ok = !text.empty() && text.size() <= 9 &&
              text.find_first_not_of("0123456789") == std::string::npos;
    if (ok) {
        value = std::stoul(text);
        ok = value >= 1 && value <= kMost;
    }
    if (!ok) {
        throw Refusal{"--block-size " + shown(text) + ": expected a number of bytes from 1 to " +
                      std::to_string(kMost)};
    }
    return value;
}

void resolveSettings(const RawOptions& raw, Mode& mode) {
    for (const RawOptions::Given& g : raw.given) {
        const OptionDef& def = optionDef(g.id);
        // An alias is its option's value, in the order given: the last wins.
        const OptionId id = def.aliasValue != nullptr ? def.aliasOf : g.id;
        const std::string& value = def.aliasValue != nullptr ? def.aliasValue : g.value;
        switch (id) {
            case OptionId::InputFormat:
                mode.inputFormat = choice(kInputFormats, optionDef(id), value).value;
                break;
            case OptionId::LogLevel:
                mode.logLevel = choice(kLogLevels, optionDef(id), value).value;
                break;
            case OptionId::LogFile:
                mode.logFile = value;
                break;
            case OptionId::Module:
                mode.modules.analyzer = value;
                break;
            case OptionId::CommonModule:
                mode.modules.common = value;
                break;
            case OptionId::Output:
                mode.output = value;
                break;
            case OptionId::BlockSize:
                mode.blockSize = blockSize(value);
                break;
            case OptionId::Strict:
                mode.strict = true;
                break;
            case OptionId::Recursive:
                mode.recursive = true;
                break;
            case OptionId::Bytes:
                mode.bytes = true;
                break;
            case OptionId::NoFormulaGuard:
                mode.formulaGuard = false;
                break;
            case OptionId::Wide:
                mode.wide = true;
                break;
            default:
                break;
        }
    }
    if (mode.command == Command::Stream && raw.has(OptionId::InputFormat) &&
        mode.inputFormat != InputFormat::Binary) {
        throw Refusal{"--stream and --input-format " + *raw.last(OptionId::InputFormat) +
                      " cannot be combined: --stream reads binary blocks"};
    }
    // --bytes writes cmp's lines, no table of fields in any form.
    if (mode.bytes && mode.formatGiven && mode.format != Format::Table) {
        throw Refusal{"--bytes and --format " + std::string(formatInfo(mode.format).name) +
                      " cannot be combined: --bytes writes cmp -l lines"};
    }
    if (mode.bytes && !mode.selection.all()) {
        throw Refusal{"-e/--field and --bytes cannot be combined: --bytes lists every byte"};
    }
}

}  // namespace

Resolved resolve(const RawOptions& raw, const PathExists& exists) {
    Resolved out;
    try {
        for (const std::string& word : raw.unknown) {
            const std::string name = word.substr(0, word.find('='));
            throw Refusal{"unknown option " + shown(name) + didYouMean(name, optionNames()) +
                          " (try --help)"};
        }
        if (const std::string* what = raw.last(OptionId::Generate)) {
            const OptionDef& def = optionDef(OptionId::Generate);
            if (std::find(def.choices.begin(), def.choices.end(), *what) == def.choices.end()) {
                throw Refusal{std::string(def.longName) + " " + shown(*what) + ": not one of " +
                              joined(def.choices) + didYouMean(*what, def.choices)};
            }
            out.kind = Resolved::Kind::Generate;
            out.generate = *what;
            return out;
        }
        Mode& mode = out.mode;
        mode.command = commandOf(raw);
        if (raw.has(OptionId::Help)) {
            out.kind = Resolved::Kind::Help;
            out.helpFor =
                commandDef(mode.command).subcommand != nullptr ? mode.command : Command::Analyse;
            return out;
        }
        mode.annotate = raw.has(OptionId::Annotate);
        checkOptionsTaken(raw, mode.command);
        resolveFormat(raw, mode);
        resolveInputs(raw, mode, exists);
        resolveSelection(raw, mode);
        checkFormat(mode);
        resolveLabels(raw, mode);
        for (const OptionId id : {OptionId::NoFormulaGuard, OptionId::Wide}) {
            if (raw.has(id) &&
                (mode.annotate || (mode.format != Format::Csv && mode.format != Format::Tsv))) {
                throw Refusal{
                    std::string(optionDef(id).longName) + " is for csv and tsv, not for " +
                    (mode.annotate ? std::string("--annotate")
                                   : "--format " + std::string(formatInfo(mode.format).name))};
            }
        }
        resolveSettings(raw, mode);
        out.kind = Resolved::Kind::Run;
    } catch (const Refusal& r) {
        out.kind = Resolved::Kind::Refused;
        out.message = r.message;
    }
    return out;
}

}  // namespace qlx5100status
