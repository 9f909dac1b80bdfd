// Every command x format x option, resolved in process, against the table of
// what each cell must do: run with the option honoured, or be refused (exit
// 2) with a message that names both sides.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "mode.h"
#include "rawoptions.h"

namespace {

using namespace qlx5100status;

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

Resolved resolveLine(const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"qlx5100-status"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    const RawOptions raw = parseCommandLine(static_cast<int>(argv.size()), argv.data());
    return resolve(raw, [](const std::string&) { return true; });
}

// What a command takes. formats: those it writes when -f is given ("-" is no
// -f at all); options: those it honours; field: the formats whose output -e
// picks from; labels: those --label adds to.
struct Row {
    const char* name;
    const char* line;
    const char* label;  // how its refusals name it
    const char* formats;
    const char* options;
    const char* field;
    const char* labels;
};

// clang-format off
const Row kTable[] = {
    {"analyse", "a.bin", "--stream",
     "- xml json table csv tsv ndjson html prometheus",
     "-e --label -o --input-format --strict --no-formula-guard --wide --module --common-module "
     "--log-level -v --log-file -r",
     "table csv tsv ndjson prometheus", "prometheus"},
    {"annotate", "--annotate a.bin", "--annotate", "-",
     "-o --input-format --strict --module --common-module --log-level -v --log-file -r", "", ""},
    {"stream", "--stream", "--stream", "table csv tsv ndjson prometheus",
     "-e --label -o --input-format --block-size --strict --no-formula-guard --wide --module "
     "--common-module --log-level -v --log-file", "table csv tsv ndjson prometheus", "prometheus"},
    {"stream-annotate", "--stream --annotate", "--annotate", "-",
     "-o --input-format --block-size --strict --module --common-module --log-level -v "
     "--log-file", "", ""},
    {"describe", "--describe", "--describe", "- table json csv tsv ksy json-schema", "-o", "", ""},
    {"version", "--version", "--version", "-",
     "-o --module --common-module --log-level -v --log-file", "", ""},
    {"diff", "diff a.bin b.bin", "diff", "- xml json table csv tsv ndjson html",
     "-e -o --input-format --strict --module --common-module --log-level -v --log-file --bytes",
     "xml json table csv tsv ndjson html", ""},
    {"encode", "encode v.json", "encode", "-", "-o", "", ""},
};

// Each option with a value that is valid on its own, and how a mode shows it
// was honoured.
struct OptionCase {
    const char* option;
    const char* words;
    bool (*honoured)(const Mode&);
};
const OptionCase kOptions[] = {
    {"-e", "-e ToolStatus", [](const Mode& m) { return !m.selection.all(); }},
    {"--label", "--label printer=lab-3", [](const Mode& m) {
         return m.labels.size() == 1 && m.labels[0].name == "printer" &&
                m.labels[0].value == "lab-3";
     }},
    {"-o", "-o out.txt", [](const Mode& m) { return m.output == "out.txt"; }},
    {"--input-format", "--input-format binary",
     [](const Mode& m) { return m.inputFormat == InputFormat::Binary; }},
    {"--block-size", "--block-size 512", [](const Mode& m) { return m.blockSize == 512; }},
    {"--strict", "--strict", [](const Mode& m) { return m.strict; }},
    {"--no-formula-guard", "--no-formula-guard", [](const Mode& m) { return !m.formulaGuard; }},
    {"--wide", "--wide", [](const Mode& m) { return m.wide; }},
    {"--module", "--module m.so", [](const Mode& m) { return m.modules.analyzer == "m.so"; }},
    {"--common-module", "--common-module c.so",
     [](const Mode& m) { return m.modules.common == "c.so"; }},
    {"--log-level", "--log-level none", [](const Mode& m) { return m.logLevel == LogLevel::None; }},
    {"-v", "-v", [](const Mode& m) { return m.logLevel == LogLevel::InOut; }},
    {"--log-file", "--log-file log.txt", [](const Mode& m) { return m.logFile == "log.txt"; }},
    {"-r", "-r", [](const Mode& m) { return m.recursive; }},
    {"--bytes", "--bytes", [](const Mode& m) { return m.bytes; }},
};
// clang-format on

const char* const kFormatNames[] = {"-",      "xml",  "json",       "table", "csv",        "tsv",
                                    "ndjson", "html", "prometheus", "ksy",   "json-schema"};

bool listed(const char* list, const std::string& word) {
    const std::vector<std::string> all = words(list);
    return std::find(all.begin(), all.end(), word) != all.end();
}

TEST(Matrix, EveryCommandFormatAndOptionIsHonouredOrRefusedNamingBoth) {
    int cells = 0;
    for (const Row& row : kTable) {
        for (const std::string format : kFormatNames) {
            for (int o = -1; o < static_cast<int>(std::size(kOptions)); ++o) {
                const OptionCase* option = o < 0 ? nullptr : &kOptions[o];
                std::string line = row.line;
                if (format != "-") {
                    line += " -f " + format;
                }
                if (option != nullptr) {
                    line += std::string(" ") + option->words;
                }
                SCOPED_TRACE(line);
                ++cells;
                const bool formatOk = listed(row.formats, format);
                const bool optionOk = option == nullptr || listed(row.options, option->option);
                // -e with no -f picks from the command's default format.
                const std::string shown = format == "-" ? "xml" : format;
                const bool fieldOk = option == nullptr || std::string(option->option) != "-e" ||
                                     listed(row.field, shown);
                const bool labelOk = option == nullptr ||
                                     std::string(option->option) != "--label" ||
                                     listed(row.labels, shown);
                // --bytes writes cmp's lines: the default output or -f table.
                const bool bytesOk = option == nullptr ||
                                     std::string(option->option) != "--bytes" || format == "-" ||
                                     format == "table";
                const bool guardOk = option == nullptr ||
                                     !listed("--no-formula-guard --wide", option->option) ||
                                     listed("csv tsv", shown);
                const Resolved r = resolveLine(words(line));
                if (formatOk && optionOk && fieldOk && labelOk && bytesOk && guardOk) {
                    ASSERT_EQ(r.kind, Resolved::Kind::Run) << r.message;
                    if (format != "-") {
                        EXPECT_TRUE(r.mode.formatGiven);
                        EXPECT_EQ(formatInfo(r.mode.format).name, format);
                    }
                    if (option != nullptr) {
                        EXPECT_TRUE(option->honoured(r.mode));
                    }
                    continue;
                }
                ASSERT_EQ(r.kind, Resolved::Kind::Refused);
                // Both sides named: the option or -f, and the command or the
                // format.
                const std::string& says = r.message;
                const bool namesOption =
                    (!optionOk || !fieldOk || !labelOk || !bytesOk || !guardOk) &&
                    says.find(option->option) != std::string::npos;
                const bool namesFormat = !formatOk && says.find("--format") != std::string::npos;
                EXPECT_TRUE(namesOption || namesFormat) << says;
                // Or a mode flag of the line, or the command the option
                // needs ("needs diff").
                const auto lineFlags = words(row.line);
                const bool namesOther =
                    says.find(row.label) != std::string::npos ||
                    says.find(" needs ") != std::string::npos ||
                    std::any_of(lineFlags.begin(), lineFlags.end(),
                                [&says](const std::string& w) {
                                    return w[0] == '-' && says.find(w) != std::string::npos;
                                }) ||
                    (format != "-" && says.find("--format " + format) != std::string::npos) ||
                    (format == "-" && says.find("--format xml") != std::string::npos);
                EXPECT_TRUE(namesOther) << says;
            }
        }
    }
    EXPECT_EQ(cells, 8 * 11 * 16);
}

// The modes themselves, two at a time: a subcommand or mode flag with another
// either makes one command or is refused naming both.
TEST(Matrix, ModesTwoAtATime) {
    struct Pair {
        const char* line;
        const char* says;  // "" when the pair makes one command
    };
    const Pair pairs[] = {
        {"--stream --annotate -", ""},
        {"--describe --annotate", "--annotate and --describe"},
        {"--describe --stream", "--stream and --describe"},
        {"--describe --version", "--version and --describe"},
        {"--version --stream", "--stream and --version"},
        {"--version --annotate", "--annotate and --version"},
        {"--describe diff a b", "--describe and diff"},
        {"--annotate diff a b", "--annotate and diff"},
        {"--stream diff a b", "--stream and diff"},
        {"--version diff a b", "--version and diff"},
        {"--describe encode v", "--describe and encode"},
        {"--annotate encode v", "--annotate and encode"},
        {"--stream encode v", "--stream and encode"},
        {"--version encode v", "--version and encode"},
        {"--describe a.bin", "--describe and inputs"},
        {"--version a.bin", "--version and inputs"},
        {"--stream -f csv a b", "--stream and more than one input"},
        {"--stream -f csv --input-format hex", "--stream and --input-format hex"},
    };
    for (const Pair& p : pairs) {
        const Resolved r = resolveLine(words(p.line));
        if (std::string(p.says).empty()) {
            EXPECT_EQ(r.kind, Resolved::Kind::Run) << p.line << ": " << r.message;
        } else {
            EXPECT_EQ(r.kind, Resolved::Kind::Refused) << p.line;
            EXPECT_NE(r.message.find(p.says), std::string::npos) << p.line << ": " << r.message;
        }
    }
}

}  // namespace
