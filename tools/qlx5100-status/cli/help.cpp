#include "help.h"

#include <set>
#include <sstream>
#include <vector>

#include "exitcodes.h"
#include "fields.h"
#include "formatlist.h"
#include "orvplatform/hostloader.h"

namespace qlx5100status {

namespace {

const char kProgram[] = "qlx5100-status";

const char kInputHelp[] =
    "A binary status block, '-' for standard input (named (stdin), in a stream (stdin)#1, "
    "...), or a hex dump (xxd, xxd -i, od -Ax -tx1, hexdump -C, or bare hex bytes). Several "
    "files or a directory make a batch: one result per file, each with its file name; -r "
    "reads the folders inside too. -o FILE is never one of the inputs: that is refused, and "
    "a directory being read leaves FILE out.";

const char kModulesBySoname[] =
    "The analyzer is looked for in " QLX5100_STATUS_RELATIVE_MODULE_DIR
    " relative to this program, then in the build tree; the common module on "
    "LD_LIBRARY_PATH, then beside the analyzer. --common-module loads another file in its "
    "place; it is used only if its soname is libprtOrvCommonStatusAnalyzer.so, since the "
    "analyzer loads the module by that name.";
const char kModulesByFileName[] =
    "The analyzer is looked for beside this program, then in the build tree; the common "
    "module beside this program, then in the system's folders, the current folder and on "
    "PATH. --common-module loads another file in its place; it is used only if it is named "
    "prtOrvCommonStatusAnalyzer.dll, since the analyzer loads the module by that name.";

const char* const kExamples[] = {
    "qlx5100-status examples/blocks/normal-operation.bin",
    "qlx5100-status --format table -v dump.bin",
    "xxd dump.bin | qlx5100-status --format json -",
    "qlx5100-status --annotate dump.bin",
    "qlx5100-status --format json examples/blocks/ > all.json",
    "qlx5100-status diff before.bin after.bin",
    "qlx5100-status -r -f csv dumps/ -o dumps/report.csv",
    "qlx5100-status --format html examples/blocks/ -o report.html",
    "qlx5100-status -f csv -e ToolStatus -e 'HeaterTemperature[1]' examples/blocks/",
    "poller | qlx5100-status --stream -f ndjson --strict",
    "qlx5100-status -f ndjson dump.bin | qlx5100-status encode - -o copy.bin",
    "qlx5100-status encode values.json -o block.bin",
    "qlx5100-status --describe",
};

const char kDiffHelp[] =
    "Reads OLD and NEW as the analysis reads its inputs and writes one row per key and index "
    "whose value differs: KEY INDEX OLD NEW, (absent) where one side has no such entry "
    "(xml, the default, and table; nothing when they are equal). csv and tsv write "
    "key,index,old,new; ndjson a line {\"key\", \"index\", \"old\", \"new\"} per row; json "
    "an array of them (null for absent); html a page with both blocks, changes marked. "
    "-e limits the rows (and the exit code) to the fields given. Blocks that decode alike but "
    "differ in bytes no field reads, or in length, differ too, with a note saying where. "
    "--bytes lists every differing byte as cmp -l does: the offset from 1 and both bytes in "
    "octal. Exit 0 when the blocks are the same, 1 when not; with --strict 3 when either has "
    "expert warnings.";

const char kEncodeHelp[] =
    "VALUES is one JSON object keyed by field name (qlx5100-status --describe lists them), or "
    "'-' for standard input. A field with one value takes a number or a decimal string; one "
    "with several (HeaterTemperature, HeaterStatus, PinchRollerPressureSetting) an array in "
    "index order. Texts take the tool's escaped form (\\\\ for a backslash, \\xHH for any "
    "byte). The -f json document (or a batch with one decoded report), a line of -f ndjson and "
    "the StatusMap form {\"Key\": {\"1\": value}} are read as well. At most 4 MiB, nested at "
    "most 64 deep. Missing fields and every other byte are zero. The block goes to -o FILE or to "
    "standard output (never to a terminal).";

// The text wrapped to width, every line after the first indented by indent.
std::string wrapped(const std::string& text, std::size_t width, std::size_t indent,
                    std::size_t first) {
    std::istringstream words(text);
    std::string out;
    std::size_t column = first;
    bool lineStart = true;
    for (std::string word; words >> word;) {
        if (!lineStart && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineStart = true;
        }
        if (!lineStart) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineStart = false;
    }
    return out;
}

std::string paragraph(const std::string& text) {
    return wrapped(text, 79, 0, 0) + "\n";
}

std::string spelling(const OptionDef& def) {
    std::string text = def.shortName[0] != '\0' ? std::string(def.shortName) + "," : "";
    text += def.longName;
    if (def.valueName != nullptr) {
        text += std::string(" ") + def.valueName;
    }
    return text;
}

std::vector<const OptionDef*> listed(Command context) {
    std::vector<const OptionDef*> out;
    for (const OptionDef& def : optionTable()) {
        if (listedFor(def, context)) {
            out.push_back(&def);
        }
    }
    return out;
}

std::vector<std::string> fieldKeys() {
    std::vector<std::string> keys;
    std::set<std::string> seen;
    for (const FieldInfo& f : fieldTable()) {
        if (seen.insert(f.key).second) {
            keys.emplace_back(f.key);
        }
    }
    return keys;
}

std::string joined(const std::vector<std::string>& words, const char* separator = " ") {
    std::string text;
    for (const std::string& w : words) {
        text += (text.empty() ? "" : separator) + w;
    }
    return text;
}

// Each name a context's words: "main" and the subcommands.
struct Context {
    const char* name;
    Command command;
};
const Context kContexts[] = {
    {"main", Command::Analyse}, {"diff", Command::Diff}, {"encode", Command::Encode}};

// The main program's commands: the options any of them takes.
constexpr CommandSet kMain = bit(Command::Analyse) | bit(Command::Annotate) | bit(Command::Stream) |
                             bit(Command::Describe) | bit(Command::Version);

void writeBash(std::ostream& out) {
    out << "# bash completion for qlx5100-status, written by qlx5100-status --generate bash\n"
           "# from its option table.\n\n"
           "_qlx5100_status_words() { # CONTEXT: the options of a context\n"
           "    case $1 in\n";
    for (const Context& c : kContexts) {
        std::vector<std::string> words;
        for (const OptionDef* def : listed(c.command)) {
            if (def->shortName[0] != '\0') {
                words.emplace_back(def->shortName);
            }
            words.emplace_back(def->longName);
        }
        out << "    " << c.name << ") echo '" << joined(words) << "' ;;\n";
    }
    out << "    esac\n}\n\n"
           "_qlx5100_status_value() { # OPTION: how OPTION's value completes\n"
           "    case $1 in\n";
    for (const OptionDef& def : optionTable()) {
        if (def.hidden || def.valueName == nullptr) {
            continue;
        }
        std::string kind = "none";
        if (def.completion == Completion::File) {
            kind = "files";
        } else if (def.completion == Completion::Field) {
            kind = "keys";
        } else if (def.completion == Completion::Choice) {
            kind = joined(def.choices);
        }
        out << "    " << (def.shortName[0] != '\0' ? std::string(def.shortName) + "|" : "")
            << def.longName << ") echo '" << kind << "' ;;\n";
    }
    std::vector<std::string> subcommands;
    for (const CommandDef& c : commandTable()) {
        if (c.subcommand != nullptr) {
            subcommands.emplace_back(c.subcommand);
        }
    }
    out << "    *) return 1 ;;\n    esac\n}\n\n"
           "_qlx5100_status() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev= context=main i word kind\n"
           "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
           "    # --option=value: bash splits at '=' (COMP_WORDBREAKS).\n"
           "    if [[ $cur == = ]]; then\n"
           "        cur=\n"
           "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
           "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
           "    fi\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        word=${COMP_WORDS[i]}\n"
           "        case ' "
        << joined(subcommands)
        << " ' in\n"
           "        *\" $word \"*) context=$word ;;\n"
           "        esac\n"
           "    done\n"
           "    COMPREPLY=()\n"
           "    if [[ $prev == -* ]] && kind=$(_qlx5100_status_value \"$prev\"); then\n"
           "        case $kind in\n"
           "        files) mapfile -t COMPREPLY < <(compgen -f -- \"$cur\") ;;\n"
           "        keys) mapfile -t COMPREPLY < <(compgen -W '"
        << joined(fieldKeys())
        << "' -- \"$cur\") ;;\n"
           "        none) ;;\n"
           "        *) mapfile -t COMPREPLY < <(compgen -W \"$kind\" -- \"$cur\") ;;\n"
           "        esac\n"
           "        return 0\n"
           "    fi\n"
           "    if [[ $cur == -* ]]; then\n"
           "        mapfile -t COMPREPLY < <(compgen -W \"$(_qlx5100_status_words "
           "\"$context\")\" -- \"$cur\")\n"
           "        return 0\n"
           "    fi\n"
           "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
           "    if [[ $context == main ]]; then\n"
           "        mapfile -t -O \"${#COMPREPLY[@]}\" COMPREPLY < <(compgen -W '"
        << joined(subcommands)
        << "' -- \"$cur\")\n"
           "    fi\n"
           "    return 0\n"
           "}\n"
           "complete -o filenames -o bashdefault -F _qlx5100_status qlx5100-status\n";
}

// A help line inside a zsh _arguments def or a fish -d '...'.
std::string escapedFor(const std::string& text, const std::string& specials) {
    std::string out;
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
            continue;
        }
        if (specials.find(c) != std::string::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

void writeZsh(std::ostream& out) {
    out << "#compdef qlx5100-status\n"
           "# zsh completion for qlx5100-status, written by qlx5100-status --generate zsh\n"
           "# from its option table.\n\n"
           "_qlx5100_status() {\n"
           "    local -a arguments\n"
           "    arguments=(\n";
    for (const OptionDef& def : optionTable()) {
        if (def.hidden) {
            continue;
        }
        const std::string help = escapedFor(def.help, "[]:\\");
        std::string names;
        std::string exclusion;
        if (def.shortName[0] != '\0') {
            exclusion =
                def.repeatable ? "*" : "(" + std::string(def.shortName) + " " + def.longName + ")";
            names = std::string("{") + def.shortName + "," + def.longName + "}";
        } else {
            exclusion = def.repeatable ? "*" : "";
            names = def.longName;
        }
        std::string action;
        if (def.valueName != nullptr) {
            action = std::string(":") + def.valueName + ":";
            if (def.completion == Completion::File) {
                action += "_files";
            } else if (def.completion == Completion::Field) {
                action += "(" + joined(fieldKeys()) + ")";
            } else if (def.completion == Completion::Choice) {
                action += "(" + joined(def.choices) + ")";
            } else {
                action += " ";
            }
        }
        out << "        '" << exclusion << "'" << names << "'[" << help << "]" << action << "'\n";
    }
    out << "        '1: :->first'\n"
           "        '*:input:_files'\n"
           "    )\n"
           "    _arguments -s -S $arguments && return 0\n"
           "    case $state in\n"
           "    first)\n"
           "        local -a commands\n"
           "        commands=(\n";
    for (const CommandDef& c : commandTable()) {
        if (c.subcommand != nullptr) {
            out << "            '" << c.subcommand << ":" << escapedFor(c.summary, ":") << "'\n";
        }
    }
    out << "        )\n"
           "        _alternative 'commands:command:_describe command commands' "
           "'files:input:_files'\n"
           "        ;;\n"
           "    esac\n"
           "}\n\n"
           "_qlx5100_status \"$@\"\n";
}

void writeFish(std::ostream& out) {
    out << "# fish completion for qlx5100-status, written by qlx5100-status --generate fish\n"
           "# from its option table.\n"
           "complete -c qlx5100-status -f\n";
    std::vector<std::string> subcommands;
    for (const CommandDef& c : commandTable()) {
        if (c.subcommand != nullptr) {
            subcommands.emplace_back(c.subcommand);
            out << "complete -c qlx5100-status -n '__fish_use_subcommand' -a " << c.subcommand
                << " -d '" << escapedFor(c.summary, "") << "'\n";
        }
    }
    out << "complete -c qlx5100-status -n '__fish_use_subcommand' -F\n"
           "complete -c qlx5100-status -n '__fish_seen_subcommand_from "
        << joined(subcommands) << "' -F\n";
    for (const OptionDef& def : optionTable()) {
        if (def.hidden) {
            continue;
        }
        out << "complete -c qlx5100-status";
        if (def.shortName[0] != '\0') {
            out << " -s " << (def.shortName + 1);
        }
        out << " -l " << (def.longName + 2);
        if (def.valueName != nullptr) {
            if (def.completion == Completion::File) {
                out << " -r -F";
            } else if (def.completion == Completion::Field) {
                out << " -x -a '" << joined(fieldKeys()) << "'";
            } else if (def.completion == Completion::Choice) {
                out << " -x -a '" << joined(def.choices) << "'";
            } else {
                out << " -x";
            }
        }
        out << " -d '" << escapedFor(def.help, "") << "'\n";
    }
}

// Text for roff: a leading dot or quote kept literal, backslashes and minus
// signs as roff spells them.
std::string roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

void manOptions(std::ostream& out, Command context) {
    for (const OptionDef* def : listed(context)) {
        out << ".TP\n.B " << roff(spelling(*def)) << "\n" << roff(def->help) << "\n";
    }
}

void writeMan(std::ostream& out) {
    out << ".TH QLX5100-STATUS 1 \"\" \"qlx5100-status " QLX5100_STATUS_VERSION
           "\" \"User Commands\"\n"
           ".SH NAME\nqlx5100-status \\- decode QLX5100 printer status blocks\n"
           ".SH SYNOPSIS\n";
    for (const CommandDef& c : commandTable()) {
        out << ".B qlx5100-status\n" << roff(c.usage) << "\n.br\n";
    }
    out << ".SH DESCRIPTION\n"
        << roff(commandDef(Command::Analyse).summary)
        << " It is a host of the analyzer module like any other program.\n"
           ".SS Input\n"
        << roff(kInputHelp) << "\n.SH OPTIONS\n";
    manOptions(out, Command::Analyse);
    out << ".SH COMMANDS\n";
    for (const Context& c : kContexts) {
        if (c.command == Command::Analyse) {
            continue;
        }
        const CommandDef& def = commandDef(c.command);
        out << ".SS " << c.name << "\n"
            << roff(def.summary) << ".\n.PP\n"
            << roff(c.command == Command::Diff ? kDiffHelp : kEncodeHelp) << "\n";
        manOptions(out, c.command);
    }
    out << ".SH FORMATS\n";
    for (const FormatInfo& f : kFormats) {
        out << ".TP\n.B " << f.name << "\n" << roff(f.help) << "\n";
    }
    out << ".SH EXIT STATUS\n";
    for (const ExitCodeInfo& e : kExitCodes) {
        out << ".TP\n.B " << e.code << "\n" << roff(e.help) << "\n";
    }
    out << ".SH FILES\n"
           ".TP\n.I " QLX5100_STATUS_MODULE_DIR
           "/libprtOrvStatusAnalyzerQLX5100.so\n"
           "The analyzer module, found from the program's own directory.\n"
           ".TP\n.I " QLX5100_STATUS_MODULE_DIR
           "/libprtOrvCommonStatusAnalyzer.so\n"
           "The common analyzer module, loaded by the analyzer from beside itself unless\n"
           ".B LD_LIBRARY_PATH\nnames another directory first.\n"
           ".SH ENVIRONMENT\n.TP\n.B LD_LIBRARY_PATH\n"
           "Directories searched for the common module before the analyzer's own one.\n"
           ".SH EXAMPLES\n";
    for (const char* example : kExamples) {
        out << ".PP\n.nf\n" << roff(example) << "\n.fi\n";
    }
    out << ".SH SEE ALSO\n.IR " QLX5100_STATUS_DOC_DIR
           "/cli.md :\n"
           "every option, the output formats, the field dictionary and the\n"
           ".B encode\ninput in detail.\n";
}

// Two columns: the names, and their help wrapped beside the widest name.
void writeRows(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& rows) {
    std::size_t width = 0;
    for (const auto& row : rows) {
        width = std::max(width, row.first.size());
    }
    for (const auto& [left, help] : rows) {
        out << "  " << left << std::string(width - left.size() + 2, ' ')
            << wrapped(help, 79, width + 4, width + 4) << "\n";
    }
}

}  // namespace

bool listedFor(const OptionDef& def, Command context) {
    if (def.hidden) {
        return false;
    }
    const CommandSet commands = context == Command::Analyse ? kMain : bit(context);
    if ((def.commands & commands) == 0) {
        return false;
    }
    // A command that writes one thing only has no --format to offer.
    return def.id != OptionId::Format || context == Command::Analyse ||
           commandDef(context).formats != 0;
}

void writeHelp(std::ostream& out, Command context) {
    const CommandDef& command = commandDef(context);
    out << paragraph(command.summary) << "\n";
    if (context == Command::Analyse) {
        const char* prefix = "Usage: ";
        for (const CommandDef& c : commandTable()) {
            out << prefix << kProgram << " " << c.usage << "\n";
            prefix = "       ";
        }
    } else {
        out << "Usage: " << kProgram << " " << command.usage << "\n";
    }
    std::vector<std::pair<std::string, std::string>> rows;
    for (const OptionDef* def : listed(context)) {
        rows.emplace_back(spelling(*def), def->help);
    }
    out << "\nOptions:\n";
    writeRows(out, rows);
    if (context == Command::Analyse) {
        out << "\nSubcommands:\n";
        for (const CommandDef& c : commandTable()) {
            if (c.subcommand != nullptr) {
                out << "  " << c.subcommand
                    << std::string(8 - std::string(c.subcommand).size(), ' ')
                    << wrapped(c.summary, 79, 10, 10) << "\n";
            }
        }
        out << "\nInput:\n" << paragraph(kInputHelp);
        out << "\nOutput (standard output only; log records go to standard error or "
               "--log-file):\n";
        std::vector<std::pair<std::string, std::string>> formats;
        for (const FormatInfo& f : kFormats) {
            formats.emplace_back(f.name, f.help);
        }
        writeRows(out, formats);
        const bool bySoname = orvplatform::bareNameRule() == orvplatform::BareNameRule::Soname;
        out << "\nModules:\n" << paragraph(bySoname ? kModulesBySoname : kModulesByFileName);
    } else {
        out << "\n" << paragraph(context == Command::Diff ? kDiffHelp : kEncodeHelp);
    }
    out << "\nExit codes:\n";
    for (const ExitCodeInfo& e : kExitCodes) {
        out << "  " << e.code << "  " << wrapped(e.help, 79, 5, 5) << "\n";
    }
    if (context == Command::Analyse) {
        out << "\nExamples:\n";
        for (const char* example : kExamples) {
            out << "  " << example << "\n";
        }
    }
}

void writeGenerated(std::ostream& out, const std::string& what) {
    if (what == "bash") {
        writeBash(out);
    } else if (what == "zsh") {
        writeZsh(out);
    } else if (what == "fish") {
        writeFish(out);
    } else {
        writeMan(out);
    }
}

}  // namespace qlx5100status
