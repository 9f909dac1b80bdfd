// Resolving a command line: last values, aliases, where options stand,
// suggestions, and the values each option checks.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "help.h"
#include "mode.h"
#include "rawoptions.h"

namespace {

using namespace qlx5100status;

Resolved resolveLine(
    const std::string& line, const PathExists& exists = [](const std::string&) { return true; }) {
    std::istringstream in(line);
    std::vector<std::string> args;
    for (std::string w; in >> w;) {
        args.push_back(w);
    }
    std::vector<const char*> argv = {"qlx5100-status"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    return resolve(parseCommandLine(static_cast<int>(argv.size()), argv.data()), exists);
}

TEST(Resolve, TheLastValueOfAnOptionGivenTwiceWinsAliasesIncluded) {
    EXPECT_EQ(resolveLine("-f csv -f json a").mode.format, Format::Json);
    EXPECT_EQ(resolveLine("-o x -o y a").mode.output, "y");
    EXPECT_EQ(resolveLine("-v --log-level none a").mode.logLevel, LogLevel::None);
    EXPECT_EQ(resolveLine("--log-level none -v a").mode.logLevel, LogLevel::InOut);
    EXPECT_EQ(resolveLine("--log-level=none --log-level=error a").mode.logLevel, LogLevel::Error);
    // -e is the one that adds up.
    EXPECT_EQ(
        resolveLine("-f csv -e ToolStatus -e OperationMode a").mode.selection.choices().size(), 2u);
}

TEST(Resolve, OptionsCountWhereverTheyStand) {
    for (const char* line : {"-o b.bin encode v.json", "encode -o b.bin v.json",
                             "encode v.json -o b.bin", "encode v.json --output=b.bin"}) {
        const Resolved r = resolveLine(line);
        ASSERT_EQ(r.kind, Resolved::Kind::Run) << line << ": " << r.message;
        EXPECT_EQ(r.mode.command, Command::Encode);
        EXPECT_EQ(r.mode.output, "b.bin") << line;
        EXPECT_EQ(r.mode.inputs, std::vector<std::string>{"v.json"});
    }
    const Resolved diff = resolveLine("-f json diff -e ToolStatus a b --strict");
    ASSERT_EQ(diff.kind, Resolved::Kind::Run) << diff.message;
    EXPECT_EQ(diff.mode.format, Format::Json);
    EXPECT_TRUE(diff.mode.strict);
    EXPECT_EQ(diff.mode.inputs, (std::vector<std::string>{"a", "b"}));
}

TEST(Resolve, SuggestsTheNearestOptionChoiceOrCommand) {
    const auto says = [](
                          const std::string& line,
                          const PathExists& exists = [](const std::string&) { return true; }) {
        const Resolved r = resolveLine(line, exists);
        EXPECT_EQ(r.kind, Resolved::Kind::Refused) << line;
        return r.message;
    };
    EXPECT_EQ(says("--formt csv a"), "unknown option --formt; did you mean --format? (try --help)");
    EXPECT_EQ(says("--stirct a"), "unknown option --stirct; did you mean --strict? (try --help)");
    EXPECT_EQ(says("--nothing-like-it a"), "unknown option --nothing-like-it (try --help)");
    EXPECT_EQ(says("-f csvv a"),
              "--format csvv: not one of xml, json, table, csv, tsv, ndjson, html, prometheus, "
              "ksy, json-schema; did you mean csv?");
    EXPECT_EQ(says("--input-format hexx a"),
              "--input-format hexx: not one of auto, binary, hex; did you mean hex?");
    EXPECT_EQ(says("--log-level eror a"),
              "--log-level eror: not one of none, error, inout; did you mean error?");
    EXPECT_NE(says("-f yaml a").find("yaml: not one of"), std::string::npos);
    EXPECT_EQ(says("-f yaml a").find("did you mean"), std::string::npos);
    const PathExists nothing = [](const std::string&) { return false; };
    EXPECT_EQ(says("dif a b", nothing), "dif: no such file, and no command; did you mean diff?");
    EXPECT_EQ(says("-f table -e ToolStatu a"),
              "-e ToolStatu: unknown field (qlx5100-status --describe lists the fields); did "
              "you mean ToolStatus?");
    // A file that happens to be called so is read.
    EXPECT_EQ(resolveLine("dif", [](const std::string&) { return true; }).kind,
              Resolved::Kind::Run);
}

TEST(Resolve, RefusesInputsAndValuesNoCommandCanUse) {
    const struct {
        const char* line;
        const char* says;
    } cases[] = {
        {"", "no input given (try --help)"},
        {"- -", "standard input ('-') can be read only once"},
        {"diff - -", "standard input ('-') can be read only once"},
        {"diff a", "diff takes two blocks, OLD and NEW; 1 given"},
        {"diff a b c", "diff takes two blocks, OLD and NEW; 3 given"},
        {"encode", "encode takes one values file; 0 given"},
        {"--stream -f csv --block-size 0", "--block-size 0: expected a number of bytes from 1"},
        {"--stream -f csv --block-size 67108865", "expected a number of bytes from 1 to 67108864"},
        {"--stream -f csv --block-size 1k", "--block-size 1k: expected"},
        {"--stream", "--stream and --format xml (the default; give -f) cannot be combined"},
        {"--block-size 512 a", "--block-size needs --stream"},
        {"--generate ksh", "--generate ksh: not one of bash, zsh, fish, man"},
        {"-f prometheus --label printer a", "--label printer: expected NAME=VALUE"},
        {"-f prometheus --label rack-2=x a", "--label rack-2: a label name is a letter"},
        {"-f prometheus --label input=x a", "--label input: the tool's series use the label"},
        {"-f prometheus --label __name__=x a", "--label __name__: names that start with"},
        {"-f prometheus --label a=1 --label b=2 --label a=3 x", "--label a is given twice"},
        {"--label a=1 a", "not to --format xml (the default; give -f prometheus)"},
        {"diff -f prometheus a b", "diff and --format prometheus cannot be combined"},
    };
    for (const auto& c : cases) {
        const Resolved r = resolveLine(c.line);
        EXPECT_EQ(r.kind, Resolved::Kind::Refused) << c.line;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.line << ": " << r.message;
    }
}

// A label's value is any text (written escaped); = after the first belongs
// to it.
TEST(Resolve, LabelsKeepTheirOrderAndValues) {
    const Resolved r =
        resolveLine("--stream -f prometheus --label site=a=b --label printer= --label x=\"");
    ASSERT_EQ(r.kind, Resolved::Kind::Run) << r.message;
    ASSERT_EQ(r.mode.labels.size(), 3u);
    EXPECT_EQ(r.mode.labels[0].value, "a=b");
    EXPECT_EQ(r.mode.labels[1].name, "printer");
    EXPECT_EQ(r.mode.labels[1].value, "");
    EXPECT_EQ(r.mode.labels[2].value, "\"");
}

TEST(Resolve, HelpAndGenerateComeBeforeEverythingElse) {
    EXPECT_EQ(resolveLine("--help").kind, Resolved::Kind::Help);
    EXPECT_EQ(resolveLine("--describe --help").helpFor, Command::Analyse);
    EXPECT_EQ(resolveLine("diff --help").helpFor, Command::Diff);
    EXPECT_EQ(resolveLine("encode -h").helpFor, Command::Encode);
    const Resolved g = resolveLine("--generate zsh");
    EXPECT_EQ(g.kind, Resolved::Kind::Generate);
    EXPECT_EQ(g.generate, "zsh");
    EXPECT_THROW(resolveLine("-o"), UsageError);
}

// Each command's help lists exactly the options it takes (the main help
// those of the main program's modes, diff's --bytes only diff's), and the
// table's hidden option is in none.
TEST(Help, EachCommandListsTheOptionsItTakes) {
    const auto help = [](Command c) {
        std::ostringstream out;
        writeHelp(out, c);
        return out.str();
    };
    const std::string main = help(Command::Analyse);
    const std::string diff = help(Command::Diff);
    const std::string encode = help(Command::Encode);
    for (const OptionDef& def : optionTable()) {
        // The option's row: where the line starts with its names.
        const std::string name =
            "\n  " + (def.shortName[0] != '\0' ? std::string(def.shortName) + "," : "") +
            def.longName + " ";
        EXPECT_EQ(main.find(name) != std::string::npos, listedFor(def, Command::Analyse))
            << def.longName;
        EXPECT_EQ(diff.find(name) != std::string::npos, listedFor(def, Command::Diff))
            << def.longName;
        EXPECT_EQ(encode.find(name) != std::string::npos, listedFor(def, Command::Encode))
            << def.longName;
    }
    EXPECT_EQ(encode.find("--format"), std::string::npos);
    EXPECT_NE(encode.find("Usage: qlx5100-status encode"), std::string::npos);
    EXPECT_NE(encode.find("VALUES is one JSON object"), std::string::npos);
    EXPECT_EQ(diff.find("Examples:"), std::string::npos);
    EXPECT_NE(main.find("Exit codes:\n  0  success"), std::string::npos);
}

}  // namespace
