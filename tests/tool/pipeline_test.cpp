// The tool in pipelines: expert warnings, the line-oriented formats, field
// selection and streams, each output read back with a real parser.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "encode.h"
#include "escape.h"
#include "lineformats.h"
#include "tool_run.h"

namespace {

using namespace toolrun;
using testsupport::TempDir;

// A block from encode's values, with extra bytes past the 1024.
std::string encoded(const nlohmann::json& values, std::size_t extra = 0) {
    const auto block = qlx5100status::encodeBlock(values);
    std::string bytes(block.begin(), block.end());
    for (std::size_t i = 0; i < extra; ++i) {
        bytes += static_cast<char>(i + 1);
    }
    return bytes;
}

struct WarningCase {
    const char* name;
    const char* values;
    std::size_t extra;
    std::vector<const char*> warnings;  // in this order
};

// clang-format off
const WarningCase kWarningCases[] = {
    {"None", R"({"TotalPinchRoller": 8, "PinchRollerPressureSetting": [1, 2]})", 0, {}},
    {"MoreActivatedThanTotal", R"({"TotalPinchRoller": 2, "PinchRollerPressureSetting": [1, 1, 1]})",
     0, {"ActivatedPinchRoller is 3, more than TotalPinchRoller (2)"}},
    {"SettingsRunIntoToolStatus",
     R"({"TotalPinchRoller": 20, "ActivatedPinchRoller": 20, "ToolStatus": 7})", 0,
     {"20 pressure settings, more than the 16 the table holds: settings 17..20 are read from "
      "the bytes of ToolStatus (0x352) onwards"}},
    {"SettingsCutAtTheEnd", R"({"TotalPinchRoller": 255, "ActivatedPinchRoller": 200})", 0,
     {"190 pressure settings, more than the 16", "ActivatedPinchRoller is 200, but the block ends "
      "after setting 190: settings 191..200 are not decoded"}},
    {"LongerBlockNotRead", R"({"TotalPinchRoller": 4})", 6,
     {"the block is 1030 bytes, 6 past 1024; the analyzer read none of them"}},
    {"LongerBlockRead", R"({"TotalPinchRoller": 255, "ActivatedPinchRoller": 200})", 6,
     {"196 pressure settings",
      "ActivatedPinchRoller is 200, but the block ends after setting 196: settings 197..200",
      "the block is 1030 bytes, 6 past 1024; the analyzer read 6 of them "
      "(PinchRollerPressureSetting 191..196)"}},
};
// clang-format on

void PrintTo(const WarningCase& c, std::ostream* os) {
    *os << c.name;
}

class Warnings : public ::testing::TestWithParam<WarningCase> {};

// Each warning on standard error with the input's name, beside its field in
// --annotate (fields in offset order), in the page; --strict makes it exit 3.
TEST_P(Warnings, GoToEveryOutputAndStrictFailsTheInput) {
    TempDir dir;
    const std::string path = dir.path("b.bin");
    writeFile(path, encoded(nlohmann::json::parse(GetParam().values), GetParam().extra));
    const auto& expected = GetParam().warnings;

    const auto plain = runTool({"-f", "table", path});
    EXPECT_EQ(plain.code, 0) << plain.err;
    std::size_t at = 0;
    for (const char* text : expected) {
        const std::size_t found =
            plain.err.find("qlx5100-status: " + path + ": warning: " + text, at);
        ASSERT_NE(found, std::string::npos) << text << "\n" << plain.err;
        at = found + 1;
    }
    EXPECT_EQ(std::count(plain.err.begin(), plain.err.end(), '\n'),
              static_cast<long>(expected.size()))
        << plain.err;

    EXPECT_EQ(runTool({"--strict", "-f", "table", path}).code, expected.empty() ? 0 : 3);

    const auto annotated = runTool({"--annotate", path});
    EXPECT_EQ(annotated.code, 0);
    std::istringstream lines(annotated.out);
    const std::regex fieldLine("^ {10}0x([0-9a-f]{3})  .*");
    long last = -1;
    std::size_t seen = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, fieldLine)) {
            const long offset = std::stol(m[1], nullptr, 16);
            EXPECT_GE(offset, last) << line;
            last = offset;
        } else if (contains(line, "warning: ")) {
            ASSERT_LT(seen, expected.size()) << line;
            EXPECT_TRUE(contains(line, expected[seen])) << line;
            ++seen;
        }
    }
    EXPECT_EQ(seen, expected.size());

    const auto page = runTool({"-f", "html", path});
    const std::string open = "id=\"report-data\">";
    const std::size_t start = page.out.find(open) + open.size();
    const auto data =
        nlohmann::json::parse(page.out.substr(start, page.out.find("</script>", start) - start));
    ASSERT_EQ(data.at("inputs").at(0).at("warnings").size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Blocks, Warnings, ::testing::ValuesIn(kWarningCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Python's csv module reads both tables: {"csv": [[...], ...], "tsv": [...]}.
nlohmann::json parsedTables(const std::string& csvFile, const std::string& tsvFile) {
    TempDir dir;
    const std::string script = dir.path("read.py");
    writeFile(script,
              "import csv, json, sys\n"
              "def rows(path, **kw):\n"
              "    with open(path, newline='', encoding='utf-8') as f:\n"
              "        return list(csv.reader(f, strict=True, **kw))\n"
              "print(json.dumps({'csv': rows(sys.argv[1]),\n"
              "                  'tsv': rows(sys.argv[2], delimiter='\\t', "
              "quoting=csv.QUOTE_NONE)}))\n");
    EXPECT_EQ(runShell("python3 '" + script + "' '" + csvFile + "' '" + tsvFile + "' >'" +
                       dir.path("out") + "'"),
              0);
    return nlohmann::json::parse(readFile(dir.path("out")));
}

// The bundled blocks and one whose texts and file name hold every character
// a table format must quote or escape: the csv, tsv and ndjson outputs carry
// the same entries, each in its own escaping, and parse with real parsers.
TEST(LineFormats, CsvTsvAndNdjsonAgreeOnEveryEntryAndEscapeHostileText) {
    TempDir dir;
    const std::string hostileName = "a, \"b.bin";
    const std::string rawName = std::string("a, \"\t\n\\") + '\xFF';
    const std::string rawVersion = "x,y\"";
    writeFile(dir.path(hostileName), encoded({{"CuttingCommandName", qlx5100status::shown(rawName)},
                                              {"CuttingCommandVersion", rawVersion}}));
    const std::vector<std::string> inputs = {EXAMPLES_DIR "/blocks", dir.path(hostileName)};
    std::map<std::string, RunResult> out;
    for (const std::string format : {"csv", "tsv", "ndjson"}) {
        std::vector<std::string> args = {"-f", format};
        args.insert(args.end(), inputs.begin(), inputs.end());
        out[format] = runTool(args);
        ASSERT_EQ(out[format].code, 0) << out[format].err;
        writeFile(dir.path(format), out[format].out);
    }
    const auto tables = parsedTables(dir.path("csv"), dir.path("tsv"));
    const auto& csv = tables.at("csv");
    const auto& tsv = tables.at("tsv");
    ASSERT_EQ(csv.size(), tsv.size());
    EXPECT_EQ(csv.at(0), nlohmann::json({"file", "key", "index", "value", "warning"}));
    EXPECT_EQ(tsv.at(0), csv.at(0));

    std::map<std::string, nlohmann::json> lines;  // ndjson by file
    std::istringstream ndjson(out["ndjson"].out);
    for (std::string line; std::getline(ndjson, line);) {
        const auto record = nlohmann::json::parse(line);
        EXPECT_TRUE(record.at("ok").get<bool>());
        EXPECT_EQ(record.at("warnings"), nlohmann::json::array());
        lines[record.at("file").get<std::string>()] = record.at("values");
    }
    ASSERT_EQ(lines.size(), 5u);

    std::map<std::string, std::string> hostile;
    for (std::size_t r = 1; r < csv.size(); ++r) {
        const auto& row = csv.at(r);
        ASSERT_EQ(row.size(), 5u);
        EXPECT_EQ(row.at(4), "");  // no warnings here: schema_test.py reads those
        for (std::size_t c = 0; c < 4; ++c) {
            EXPECT_EQ(tsv.at(r).at(c).get<std::string>(),
                      qlx5100status::tsvField(row.at(c).get<std::string>()));
        }
        const std::string file = row[0], key = row[1], value = row[3];
        const int index = std::stoi(row[2].get<std::string>());
        const auto& typed = lines.at(file).at(key);
        const auto& item = typed.is_array() ? typed.at(index - 1) : typed;
        EXPECT_EQ(item.is_string() ? item.get<std::string>() : item.dump(), value) << key;
        if (file == dir.path(hostileName)) {
            hostile[key] = value;
        }
    }
    std::size_t entries = 0;
    for (const auto& [file, values] : lines) {
        for (const auto& value : values) {
            entries += value.is_array() ? value.size() : 1;
        }
    }
    EXPECT_EQ(csv.size(), 1 + entries);
    EXPECT_EQ(hostile.at("CuttingCommandName"), qlx5100status::shown(rawName));
    EXPECT_EQ(hostile.at("CuttingCommandVersion"), rawVersion);
    EXPECT_TRUE(contains(out["tsv"].out, "\ta, \"\\t\\n\\\\\\xFF\t\n")) << out["tsv"].out;
}

// -e keeps the order given in every format that takes it; mistakes are usage
// errors that say where to look.
TEST(FieldSelection, KeepsTheOrderGivenAndRefusesWhatItCannotSelect) {
    const std::string normal = EXAMPLES_DIR "/blocks/normal-operation.bin";
    const std::vector<std::string> pick = {"-e", "ToolStatus",        "-e", "HeaterTemperature[2]",
                                           "-e", "CuttingCommandName"};
    auto args = pick;
    args.insert(args.end(), {"-f", "ndjson", normal});
    const auto line = nlohmann::ordered_json::parse(runTool(args).out).at("values");
    EXPECT_EQ(line.dump(),
              R"({"ToolStatus":1,"HeaterTemperature[2]":45,"CuttingCommandName":"CUTCMD"})");
    // A whole key after one of its indices: every value once, where it first stood.
    args = {"-e",  "HeaterTemperature[2]", "-e", "ToolStatus",
            "-e",  "HeaterTemperature",    "-f", "ndjson",
            normal};
    EXPECT_EQ(nlohmann::ordered_json::parse(runTool(args).out).at("values").dump(),
              R"({"HeaterTemperature":[45,45,40,35],"ToolStatus":1})");
    args = pick;
    args.insert(args.end(), {"-f", "csv", normal});
    EXPECT_EQ(runTool(args).out, "file,key,index,value,warning\n" + std::string(normal) +
                                     ",ToolStatus,1,1,\n" + normal + ",HeaterTemperature,2,45,\n" +
                                     normal + ",CuttingCommandName,1,CUTCMD,\n");
    args = {"diff",
            "-e",
            "ToolStatus",
            "-e",
            "HeaterTemperature",
            normal,
            EXAMPLES_DIR "/blocks/heater-fault.bin"};
    const auto diff = runTool(args);
    EXPECT_EQ(diff.code, 1);
    EXPECT_EQ(diff.out.substr(diff.out.find('\n') + 1, 10), "ToolStatus");

    struct Refused {
        std::vector<std::string> args;
        const char* says;
    };
    const Refused refused[] = {
        {{"-e", "Tool", "-f", "table", normal},
         "-e Tool: unknown field (qlx5100-status --describe"},
        {{"-e", "HeaterTemperature[5]", "-f", "csv", normal},
         "HeaterTemperature[5]: index out of range (HeaterTemperature has 1..4)"},
        {{"-e", "HeaterTemperature[0]", "-f", "csv", normal}, "[0]: index out of range"},
        {{"-e", "HeaterTemperature[99999999999999999999]", "-f", "csv", normal},
         "[99999999999999999999]: index out of range"},
        {{"-e", "ToolStatus[x]", "-f", "csv", normal}, "expected KEY or KEY[INDEX]"},
        {{"-e", "ToolStatus", normal}, "not of --format xml (the default"},
        {{"-e", "ToolStatus", "-f", "json", normal}, "not of --format json"},
        {{"-e", "ToolStatus", "--annotate", "-f", "table", normal}, "not of --annotate"},
    };
    for (const Refused& r : refused) {
        const auto result = runTool(r.args);
        EXPECT_EQ(result.code, 2) << r.says;
        EXPECT_TRUE(contains(result.err, r.says)) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

// A failed input is a line of its own; a warned one carries its warnings.
TEST(LineFormats, NdjsonReportsFailuresAndWarningsPerInput) {
    TempDir dir;
    writeFile(dir.path("a.bin"), encoded({{"TotalPinchRoller", 1}, {"ActivatedPinchRoller", 2}}));
    writeFile(dir.path("b.bin"), "short");
    const auto r = runTool({"-f", "ndjson", "--strict", dir.path("a.bin"), dir.path("b.bin")});
    EXPECT_EQ(r.code, 3);
    std::istringstream lines(r.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    const auto warned = nlohmann::ordered_json::parse(first);
    EXPECT_EQ(warned.at("warnings").dump(),
              "[{\"key\":\"ActivatedPinchRoller\",\"index\":1,\"text\":"
              "\"ActivatedPinchRoller is 2, more than TotalPinchRoller (1)\"}]");
    const auto failed = nlohmann::json::parse(second);
    EXPECT_EQ(failed.at("ok"), false);
    EXPECT_EQ(failed.at("exit"), 3);
    EXPECT_TRUE(contains(failed.at("error").get<std::string>(), "the status block is 5 bytes"));
}

}  // namespace

namespace {

// csv rows less the file column: what a block decodes to.
std::string decodedRows(const std::string& path) {
    std::string rows;
    std::istringstream csv(runTool({"-f", "csv", path}).out);
    for (std::string line; std::getline(csv, line);) {
        rows += line.substr(line.find(',') + 1) + "\n";
    }
    return rows;
}

// analyse | encode and a dumped StatusMap both give back blocks that decode
// to the same values, hostile texts included.
TEST(Encode, ReadsNdjsonLinesAndTheStatusMapForm) {
    TempDir dir;
    for (const std::string name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        const std::string original = EXAMPLES_DIR "/blocks/" + name + ".bin";
        const std::string wanted = decodedRows(original);
        ASSERT_EQ(runShell(std::string(TOOL_PATH) + " -f ndjson '" + original + "' | " + TOOL_PATH +
                           " encode - -o '" + dir.path("a.bin") + "'"),
                  0);
        EXPECT_EQ(decodedRows(dir.path("a.bin")), wanted) << name;

        // The map's own form, numbers as strings.
        nlohmann::ordered_json map = nlohmann::ordered_json::object();
        writeFile(dir.path("c.csv"), runTool({"-f", "csv", original}).out);
        const auto parsed = parsedTables(dir.path("c.csv"), dir.path("c.csv"));
        for (std::size_t r = 1; r < parsed.at("csv").size(); ++r) {
            const auto& f = parsed.at("csv").at(r);
            map[f.at(1).get<std::string>()][f.at(2).get<std::string>()] = f.at(3);
        }
        writeFile(dir.path("map.json"), map.dump());
        const auto r = runTool({"encode", dir.path("map.json"), "-o", dir.path("m.bin")});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(decodedRows(dir.path("m.bin")), wanted) << name;
    }
    struct Refused {
        const char* json;
        const char* says;
    };
    const Refused refused[] = {
        {R"({"file": "x", "ok": false, "error": "x", "exit": 3})", "an input that failed"},
        {R"({"CommonValue": {"1": "x"}})", "unknown field \"CommonValue\""},
        {R"({"HeaterStatus": {"1": 1, "3": 1}})", "HeaterStatus: index 2 is missing"},
        {R"({"ToolStatus": {"one": 1}})", "\"one\" is not an index"},
    };
    for (const Refused& c : refused) {
        writeFile(dir.path("bad.json"), c.json);
        const auto r = runTool({"encode", dir.path("bad.json"), "-o", dir.path("x.bin")});
        EXPECT_EQ(r.code, 3) << c.json;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
    }
}

}  // namespace

namespace {

// A poller's pipe: blocks written into a FIFO in pieces with pauses. Each
// record is read before the next block is written, so a tool that waited
// for more input or held its output back would hang here (the timeout ends
// it); a partial last block is an error of its own, the others stand.
TEST(Stream, PrintsEachBlockAsItsLastByteArrives) {
    TempDir dir;
    const std::string fifo = dir.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string command =
        "timeout 60 " + std::string(TOOL_PATH) + " --stream -f ndjson -e ToolStatus '" + fifo + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> tool(popen(command.c_str(), "r"), &pclose);
    ASSERT_TRUE(tool);
    std::ofstream writer(fifo, std::ios::binary);
    const auto readLine = [&] {
        char line[4096];
        return fgets(line, sizeof line, tool.get()) != nullptr ? nlohmann::json::parse(line)
                                                               : nlohmann::json();
    };
    for (int n = 1; n <= 3; ++n) {
        const std::string block = encoded({{"ToolStatus", n}});
        for (const auto& [from, to] : {std::pair{0, 300}, {300, 1000}, {1000, 1024}}) {
            writer.write(block.data() + from, to - from);
            writer.flush();
            usleep(20000);
        }
        const auto record = readLine();
        EXPECT_EQ(record.value("file", ""), fifo + "#" + std::to_string(n));
        EXPECT_EQ(record.at("values").at("ToolStatus"), n);
    }
    writer.write("partial", 7);
    writer.close();
    const auto last = readLine();
    EXPECT_EQ(last.value("ok", true), false);
    EXPECT_EQ(last.value("error", ""),
              fifo + "#4: the stream ended 7 bytes into the block, 1024 needed");
    const int status = pclose(tool.release());
    EXPECT_EQ(WEXITSTATUS(status), 3);
}

// Memory stays flat: 100,000 blocks through a pipe within 16 MiB at peak.
TEST(Stream, HundredThousandBlocksStayUnder16MiB) {
#ifdef TOOL_SANITIZED
    GTEST_SKIP() << "the sanitizers' shadow memory is not the tool's";
#endif
    const int code = runShell("head -c " + std::to_string(100000 * 1024) + " /dev/zero | " +
                              TOOL_PATH + " --stream -f ndjson --strict | tail -n 1 | " +
                              "grep -q '\"file\":\"(stdin)#100000\",\"ok\":true'");
    EXPECT_EQ(code, 0);
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 16 * 1024) << "KiB at peak";  // head, grep and tail are smaller
}

}  // namespace

namespace {

// The command lines a new user tried, each now honoured: what only the
// process shows (the streams, the files written, the exit code).
TEST(Honoured, DiffDescribeVersionAndEncodeWriteWhereAndHowTheyAreAsked) {
    TempDir dir;
    const std::string normal = EXAMPLES_DIR "/blocks/normal-operation.bin";
    const std::string fault = EXAMPLES_DIR "/blocks/heater-fault.bin";
    const auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            out.push_back(line);
        }
        return out;
    };

    const auto csv = runTool({"diff", "-f", "csv", normal, fault});
    EXPECT_EQ(csv.code, 1) << csv.err;
    ASSERT_GT(lines(csv.out).size(), 1u);
    EXPECT_EQ(lines(csv.out)[0], "key,index,old,new");
    const auto tsv = runTool({"diff", "-f", "tsv", normal, fault});
    EXPECT_EQ(lines(tsv.out)[0], "key\tindex\told\tnew");
    EXPECT_EQ(lines(tsv.out).size(), lines(csv.out).size());
    const auto ndjson = runTool({"diff", "-f", "ndjson", normal, fault});
    EXPECT_EQ(lines(ndjson.out).size() + 1, lines(csv.out).size());
    for (const std::string& line : lines(ndjson.out)) {
        EXPECT_TRUE(nlohmann::json::parse(line).contains("key")) << line;
    }
    const auto picked = runTool({"diff", "-f", "json", "-e", "HeaterStatus", normal, fault});
    EXPECT_EQ(picked.code, 1) << picked.err;
    for (const auto& row : nlohmann::json::parse(picked.out)) {
        EXPECT_EQ(row.at("key"), "HeaterStatus");
    }

    const auto described = runTool({"--describe", "-f", "csv"});
    EXPECT_EQ(lines(described.out).at(0), "key,index,offset,width,type,readWith");
    const auto toFile = runTool({"--describe", "-o", dir.path("fields.txt")});
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readFile(dir.path("fields.txt")).rfind("KEY", 0), 0u);
    const auto version = runTool({"--version", "-o", dir.path("version.txt")});
    EXPECT_EQ(version.out, "");
    EXPECT_EQ(readFile(dir.path("version.txt")).rfind("qlx5100-status ", 0), 0u);
    const auto encoded =
        runTool({"-o", dir.path("block.bin"), "encode", EXAMPLES_DIR "/values/heater-fault.json"});
    EXPECT_EQ(encoded.code, 0) << encoded.err;
    EXPECT_EQ(readFile(dir.path("block.bin")), readFile(fault));
}

// The rest of what a new user tried is refused, both sides named, nothing
// written.
TEST(Refused, WhatNoCommandCanHonour) {
    const std::string normal = EXAMPLES_DIR "/blocks/normal-operation.bin";
    const std::string values = EXAMPLES_DIR "/values/heater-fault.json";
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--describe", "-f", "html"}, "--describe and --format html cannot be combined"},
        {{"encode", values, "--strict"}, "--strict and encode cannot be combined"},
        {{"encode", values, "-e", "ToolStatus"}, "-e/--field and encode cannot be combined"},
        {{"encode", values, "--annotate"}, "--annotate and encode cannot be combined"},
        {{"--block-size", "512", normal}, "--block-size needs --stream"},
        {{"--annotate", "-f", "csv", normal}, "--annotate and --format csv cannot be combined"},
        {{"--strict", "--describe"}, "--strict and --describe cannot be combined"},
        {{"--formt", "csv", normal}, "unknown option --formt; did you mean --format?"},
    };
    for (const auto& c : cases) {
        const auto r = runTool(c.args);
        EXPECT_EQ(r.code, 2) << c.says;
        EXPECT_TRUE(contains(r.err, std::string("qlx5100-status: ") + c.says)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// diff says the warnings of both blocks and, under --strict, fails for them.
TEST(Honoured, DiffUnderStrict) {
    TempDir dir;
    writeFile(dir.path("a.bin"), encoded(nlohmann::json::parse(kWarningCases[1].values)));
    writeFile(dir.path("b.bin"), encoded(nlohmann::json::parse(kWarningCases[0].values)));
    const auto plain = runTool({"diff", dir.path("a.bin"), dir.path("b.bin")});
    EXPECT_EQ(plain.code, 1);
    EXPECT_TRUE(contains(plain.err, "a.bin: warning: ActivatedPinchRoller is 3")) << plain.err;
    EXPECT_EQ(runTool({"diff", "--strict", dir.path("a.bin"), dir.path("b.bin")}).code, 3);
    EXPECT_EQ(runTool({"diff", "--strict", dir.path("b.bin"), dir.path("b.bin")}).code, 0);
}

// diff --bytes lists what cmp -l lists, line for line, and exits as cmp does.
TEST(Honoured, DiffBytesListsWhatCmpLists) {
    TempDir dir;
    const std::string normal = EXAMPLES_DIR "/blocks/normal-operation.bin";
    writeFile(dir.path("long.bin"), readFile(normal) + std::string(300, '\x7f'));
    for (const std::string& other :
         {std::string(EXAMPLES_DIR "/blocks/heater-fault.bin"), dir.path("long.bin"), normal}) {
        const auto r = runTool({"diff", "--bytes", normal, other});
        const int cmp =
            runShell("cmp -l '" + normal + "' '" + other + "' >'" + dir.path("cmp") + "' 2>&1");
        EXPECT_EQ(r.code, cmp) << other;
        const std::string expected = readFile(dir.path("cmp"));
        EXPECT_EQ(r.out, expected.substr(0, expected.find("cmp: EOF")));
        EXPECT_EQ(contains(r.err, "qlx5100-status: EOF on " + normal + " after byte 1024"),
                  other == dir.path("long.bin"))
            << r.err;
    }
}

}  // namespace
