// The built program as a user runs it: outputs, exit codes, what goes to
// which stream, and inputs a user should not give it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <set>
#include <sstream>

#include "common_double.h"
#include "escape.h"
#include "hexdump.h"
#include "temp_dir.h"
#include "tool_run.h"
#include "unitcmnparamio/paramioxml.h"

namespace {

using namespace toolrun;
using testsupport::TempDir;

std::string block(const std::string& name) {
    return EXAMPLES_DIR "/blocks/" + name + ".bin";
}

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// -o FILE is put in place whole, in every format: a replaced file keeps its
// bits, a new one gets the usual ones, a link stays a link and its file is
// replaced, and nothing is left beside them.
TEST(Output, FileIsReplacedWholeKeepingItsMode) {
    TempDir dir;
    const std::string kept = dir.path("kept.prom");
    writeFile(kept, "old\n");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("kept.prom", dir.path("link.prom").c_str()), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const std::string format : {"prometheus", "xml", "csv", "html"}) {
        SCOPED_TRACE(format);
        const auto r = runTool({"-f", format, block("normal-operation"), "-o", kept});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(modeOf(kept), 0640u);
        const std::string fresh = dir.path("new-" + format);
        EXPECT_EQ(runTool({"-f", format, block("normal-operation"), "-o", fresh}).code, 0);
        EXPECT_EQ(modeOf(fresh), 0666u & ~mask);
        EXPECT_EQ(readFile(fresh), readFile(kept));
    }
    EXPECT_EQ(
        runTool({"-f", "prometheus", block("heater-fault"), "-o", dir.path("link.prom")}).code, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.prom")));
    EXPECT_TRUE(contains(readFile(kept), "heater-fault"));
    EXPECT_EQ(entriesOf(dir.path("")),
              (std::set<std::string>{"kept.prom", "link.prom", "new-prometheus", "new-xml",
                                     "new-csv", "new-html"}));
}

// A stream in prometheus: FILE holds the latest block's exposition; stopped
// while it waits for a block, it leaves FILE as it was and no temporary file.
TEST(Output, PrometheusStreamReplacesTheFileEveryBlock) {
    TempDir dir;
    std::string blocks;
    for (const char* name : {"normal-operation", "heater-fault", "all-pinch-rollers"}) {
        blocks += readFile(block(name));
    }
    writeFile(dir.path("blocks"), blocks);
    const std::string file = dir.path("status.prom");
    auto r = runTool({"--stream", "-f", "prometheus", "-o", file}, dir.path("blocks"));
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string last = readFile(file);
    EXPECT_TRUE(contains(last, "input=\"(stdin)#3\"")) << last;
    EXPECT_FALSE(contains(last, "(stdin)#2"));
    EXPECT_EQ(last.find("# TYPE qlx5100_tool_status gauge"),
              last.rfind("# TYPE qlx5100_tool_status gauge"));

    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    // The writer holds the FIFO open past the tool's end, and nothing else.
    const std::string command =
        "(sleep 3 >'" + dir.path("fifo") + "' 2>/dev/null </dev/null &); timeout -s TERM 1 " +
        TOOL_PATH + " --stream -f prometheus -o '" + file + "' <'" + dir.path("fifo") + "'";
    EXPECT_EQ(runShell(command), 124);
    EXPECT_EQ(readFile(file), last);
    EXPECT_EQ(entriesOf(dir.path("")), (std::set<std::string>{"blocks", "fifo", "status.prom"}));
}

// An output that is an input, by any path to it, is refused before anything
// is read; a run with nothing to show leaves FILE as it was; a folder being
// read leaves out the report written into it.
TEST(Output, NeverReplacesAnInputNorAFileWithNothing) {
    TempDir dir;
    const std::string original = readFile(block("heater-fault"));
    const std::string a = dir.path("a.bin"), hard = dir.path("hard.bin"),
                      soft = dir.path("soft.bin");
    writeFile(a, original);
    ASSERT_EQ(::link(a.c_str(), hard.c_str()), 0);
    ASSERT_EQ(::symlink("a.bin", soft.c_str()), 0);
    const struct {
        std::vector<std::string> args;
        std::string in;
        std::string says;
    } refused[] = {
        {{"-f", "table", a, "-o", a}, "", "-o " + a + " and the input " + a + " are the same file"},
        {{"-f", "table", soft, "-o", hard}, "", "-o " + hard + " and the input " + soft},
        {{"--annotate", a, "-o", soft}, "", "-o " + soft + " and the input " + a},
        {{"--stream", "-f", "csv", a, "-o", a}, "", "-o " + a + " and the input " + a},
        {{"--stream", "-f", "ndjson", "-o", a}, a, "-o " + a + " and the input (stdin)"},
        {{"diff", block("normal-operation"), a, "-o", hard},
         "",
         "-o " + hard + " and the input " + a},
        {{"-f", "table", a, "--log-file", a}, "", "--log-file " + a + " and the input " + a},
    };
    for (const auto& c : refused) {
        const auto r = runTool(c.args, c.in);
        EXPECT_EQ(r.code, 2) << c.says;
        EXPECT_TRUE(contains(r.err, "qlx5100-status: " + c.says)) << r.err;
        EXPECT_EQ(readFile(a), original) << c.says;
    }
    const std::string report = dir.path("r.txt");
    writeFile(report, "old\n");
    EXPECT_EQ(runTool({"-f", "table", dir.path("missing.bin"), "-o", report}).code, 3);
    EXPECT_EQ(readFile(report), "old\n");

    std::filesystem::create_directory(dir.path("dumps"));
    writeFile(dir.path("dumps/a.bin"), original);
    const std::string csv = dir.path("dumps/report.csv");
    for (int run = 0; run < 2; ++run) {
        const auto r = runTool({"-f", "csv", "-e", "ToolStatus", dir.path("dumps"), "-o", csv});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(contains(r.err, csv + ": skipped: this run writes it"), run == 1) << r.err;
    }
    EXPECT_EQ(readFile(csv),
              "file,key,index,value,warning\n" + dir.path("dumps/a.bin") + ",ToolStatus,1,0,\n");
}

// With --stream, -o FILE in a line format holds each record before the next
// block comes: a reader following FILE sees every block as it arrives.
TEST(Output, StreamWritesEachRecordToTheFileAsItComes) {
    TempDir dir;
    const std::string fifo = dir.path("fifo"), out = dir.path("out.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::unique_ptr<FILE, int (*)(FILE*)> tool(
        popen(("timeout 60 " + std::string(TOOL_PATH) + " --stream -f csv -e ToolStatus '" + fifo +
               "' -o '" + out + "'")
                  .c_str(),
              "r"),
        &pclose);
    ASSERT_TRUE(tool);
    std::ofstream writer(fifo, std::ios::binary);
    const std::string one = readFile(block("normal-operation"));
    for (int n = 1; n <= 2; ++n) {
        writer.write(one.data(), static_cast<std::streamsize>(one.size()));
        writer.flush();
        const std::string row = fifo + "#" + std::to_string(n) + ",ToolStatus,1,1,\n";
        for (int wait = 0; wait < 3000 && !contains(readFile(out), row); ++wait) {
            usleep(10000);
        }
        EXPECT_TRUE(contains(readFile(out), row)) << readFile(out);
    }
    writer.close();
    EXPECT_EQ(WEXITSTATUS(pclose(tool.release())), 0);
}

// The examples are held in step: values -> encode -> block -> analysis -> XML.
TEST(Tool, ExamplesEncodeToTheirBlocksAndGiveTheirExpectedXml) {
    TempDir dir;
    for (const std::string name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        EXPECT_EQ(
            runTool({"encode", EXAMPLES_DIR "/values/" + name + ".json", "-o", dir.path("b")}).code,
            0);
        EXPECT_EQ(readFile(dir.path("b")), readFile(block(name))) << name;
        const auto r = runTool({block(name)});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, readFile(EXAMPLES_DIR "/expected/" + name + ".xml")) << name;
    }
}

// encode reads what the tool writes: the json document, alone and as the one
// decoded report of a batch, and an ndjson line give back the block.
TEST(Tool, EncodeReadsTheToolsOwnOutput) {
    TempDir dir;
    for (const std::string name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        for (const std::vector<std::string>& run :
             {std::vector<std::string>{"-f", "json", block(name)},
              {"-f", "json", block(name), dir.path("missing.bin")},
              {"-f", "ndjson", block(name)}}) {
            SCOPED_TRACE(name + " " + run[1] + " " + std::to_string(run.size()));
            runTool(run, "", dir.path("out"));
            const auto r = runTool({"encode", "-", "-o", dir.path("b")}, dir.path("out"));
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(readFile(dir.path("b")), readFile(block(name)));
        }
    }
}

// What the real tools print for a block of every byte value (text columns
// with '|', '>', blanks and hex letters; lines of zeros squeezed; a short last
// line) reads back as the block.
TEST(HexDump, RealToolOutputGivesTheBlockBack) {
    TempDir dir;
    std::vector<std::uint8_t> bytes(1031);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = i >= 100 && i < 103 ? 'a' : i >= 512 && i < 576 ? 0 : (i * 7) & 0xFF;
    }
    writeFile(dir.path("b"), std::string(bytes.begin(), bytes.end()));
    for (const std::string command :
         {"xxd", "xxd -a", "xxd -p", "xxd -g8 -u -c8", "xxd -i", "xxd -i -u -C -c8", "xxd -i <",
          "od -Ax -tx1", "od -Ax -tx1z", "hexdump -C"}) {
        const int status = runShell(command + " " + dir.path("b") + " >'" + dir.path("d") + "'");
        if (status == 127) {
            GTEST_SKIP() << command << " is not installed";
        }
        EXPECT_EQ(status, 0) << command;
        EXPECT_EQ(qlx5100status::parseHexDump(readFile(dir.path("d"))), bytes) << command;
    }
}

// Dumps by the real tools, as a file and on standard input; log records go
// to standard error only.
TEST(Tool, HexDumpInputDecodesLikeTheBinaryAndLogsGoToStandardError) {
    const auto binary = runTool({"--format", "table", block("all-pinch-rollers")});
    ASSERT_EQ(binary.code, 0);
    for (const char* suffix : {"xxd", "od"}) {
        const std::string dump = TEST_DATA_DIR "/all-pinch-rollers." + std::string(suffix);
        EXPECT_EQ(runTool({"--format", "table", dump}).out, binary.out);
        EXPECT_EQ(runTool({"--format", "table", "-"}, dump).out, binary.out);
    }
    const auto verbose = runTool({"-v", "--format", "table", block("all-pinch-rollers")});
    EXPECT_EQ(verbose.out, binary.out);
    EXPECT_TRUE(contains(verbose.err, "--> OrvStatusAnalyzerQLX5100::startStatusAnalysis"));
    EXPECT_TRUE(contains(verbose.err, "<-- OrvStatusAnalyzerQLX5100::startStatusAnalysis"));
}

// diff exits 1 for blocks that differ and 0 for equal ones; a common module
// given by path is the one the analyzer uses.
TEST(Tool, DiffAndCommonModuleByPath) {
    const auto r = runTool({"diff", block("normal-operation"), block("heater-fault")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(contains(r.out, "HeaterTemperature")) << r.out;
    EXPECT_EQ(runTool({"diff", block("heater-fault"), block("heater-fault")}).code, 0);
    const auto common = runTool(
        {"--common-module", ORV_DOUBLE_FULL, "--format", "table", block("normal-operation")});
    EXPECT_TRUE(contains(common.out, commondouble::kCommonValue)) << common.err;
    // prometheus leaves the common module's key out, and says so once a run.
    const auto metrics = runTool({"--common-module", ORV_DOUBLE_FULL, "-f", "prometheus",
                                  block("normal-operation"), block("heater-fault")});
    EXPECT_EQ(metrics.code, 0) << metrics.err;
    EXPECT_FALSE(contains(metrics.out, commondouble::kCommonValue)) << metrics.out;
    EXPECT_TRUE(contains(metrics.out, "qlx5100_tool_status{")) << metrics.out;
    EXPECT_EQ(metrics.err, "qlx5100-status: " + block("normal-operation") + ": " +
                               commondouble::kCommonKey +
                               " is no field of the dictionary (a common module's key); the "
                               "prometheus output leaves it out\n");
}

// A batch goes on past a failing input, reports it in its place and exits
// with the worst input's code; each block's entry is the single-file output.
TEST(Tool, JsonBatchKeepsEveryInputAndReportsTheFailedOne) {
    TempDir dir;
    writeFile(dir.path("short.bin"), readFile(block("normal-operation")).substr(0, 1023));
    const auto batch = runTool({"--format", "json", EXAMPLES_DIR "/blocks", dir.path("short.bin")});
    EXPECT_EQ(batch.code, 3);
    const auto all = nlohmann::json::parse(batch.out);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_TRUE(contains(all[4].at("error").get<std::string>(), "1023 bytes"));
    auto single = nlohmann::json::parse(runTool({"--format", "json", block("heater-fault")}).out);
    const auto& status = all[1].at("status");
    EXPECT_EQ(all[1].at("warnings"), single.at("warnings"));
    single.erase("warnings");
    EXPECT_EQ(status, single);
    EXPECT_TRUE(status.at("DeviceStatus").at("Heaters").at("Heater").is_array());
}

// The field dictionary behind --describe, --annotate and encode knows every
// key the analyzer gives, and --annotate shows the analyzer's value in place.
TEST(Tool, DictionaryCoversWhatTheAnalyzerDecodes) {
    std::set<std::string> described;
    for (const auto& field :
         nlohmann::json::parse(runTool({"--describe", "--format", "json"}).out)) {
        described.insert(field.at("key").get<std::string>());
    }
    std::istringstream table(runTool({"--format", "table", block("all-pinch-rollers")}).out);
    std::string row;
    std::getline(table, row);  // the heading
    unsigned rows = 0;
    for (std::string key, index, value; table >> key >> index && std::getline(table, value);) {
        EXPECT_EQ(described.count(key), 1u) << key;
        ++rows;
    }
    EXPECT_EQ(rows, 38u);  // 16 pinch-roller settings among them
    EXPECT_TRUE(contains(runTool({"--annotate", block("normal-operation")}).out,
                         "0x334  8 bytes  text                        CuttingCommandName"
                         "             = \"CUTCMD\""));
}

struct Failing {
    const char* name;
    // Separated by blanks, "\xHH" for any byte; "@name": that input
    // (SetUpTestSuite); ">FILE": standard output goes to FILE, "<FILE":
    // standard input comes from it.
    const char* args;
    int code;
    const char* says;  // on standard error; "{}" is the last argument as the tool shows it
    // Standard output: nullptr for none; "xml:TEXT" or "json:TEXT" for a
    // document the real parser accepts whose texts (values, attribute
    // values) hold TEXT; "text:TEXT" for text holding TEXT and no control
    // byte but line breaks.
    const char* out = nullptr;
};

constexpr const char* kHeaterFaultRow = "text:HeaterStatus                   4      128";
constexpr const char* kFullStdout =
    "qlx5100-status: standard output: write error: No space left on device";

// Tests run as root, so unreadable inputs are ones that fail for root too: a
// path through a regular file, a symbolic link loop, a file whose reads fail
// (/proc/self/mem at offset 0). A FIFO is read to its end like a file
// (process substitution hands one). The analyzer has the entry points, but
// not the soname a common module needs.
// clang-format off
const Failing kFailing[] = {
    {"NoInput", "", 2, "no input given"},
    {"UnknownFormat", "--format yaml @short.bin", 2, "yaml"},
    {"UnknownField", "encode @unknown.json -o @x", 3, "unknown field \"Tool\""},
    {"NoAnalyzer", "--module @none.so @short.bin", 5, "none.so"},
    {"CommonModuleWithoutItsSoname", "--common-module " ORV_ANALYZER_MODULE " @short.bin", 5,
     "does not have the soname libprtOrvCommonStatusAnalyzer.so"},
    {"Missing", "@missing.bin", 3, "qlx5100-status: {}: No such file"},
    {"EmptyFile", "@empty", 3, "{}: the status block is 0 bytes; the analyzer needs at least 1024"},
    {"BlockOf1023", "@short.bin", 3, "qlx5100-status: {}: the status block is 1023 bytes"},
    {"HexDumpOf1023BytesInAFifo", "@fifo", 3, "{}: the status block is 1023 bytes"},
    {"HugeFile", "@huge.bin", 3, "{}: larger than 67108864 bytes; not a status block"},
    {"RepeatPastTheLimit", "@repeat.od", 3, "{}: not a hex dump we can read: line 3: offset "
     "0x4000000000 is beyond the 16777216-byte limit"},
    {"OddDigitCount", "@odd.hex", 3,
     "{}: not a hex dump we can read: line 2: column 6: odd number of hex digits in \"5\""},
    {"JunkInAHexDump", "@junk.hex", 3, "{}: not a hex dump we can read: line 1: column 17: "
     "\"g\" is not a hex digit (in \"0g03\")"},
    {"TextThatIsNoDump", "@notes.txt", 3, "{}: not a hex dump we can read: line 1: expected a "
     "hexadecimal offset, found \"Status\" (use --input-format binary if it is a binary block)"},
    {"BinaryReadAsHex", "--input-format hex @short.bin", 3,
     "{}: not a hex dump we can read: line 1: "},
    {"PathThroughAFile", "@short.bin/block.bin", 3, "qlx5100-status: {}: Not a directory"},
    {"SymbolicLinkLoop", "@loop", 3, "{}: Too many levels of symbolic links"},
    {"ReadsFail", "/proc/self/mem", 3, "{}: read error: Input/output error"},
    {"EmptyDirectory", "@blocks", 3, "qlx5100-status: no files to read in {}"},
    {"EncodeADirectory", "encode @blocks", 3, "qlx5100-status: {}: Is a directory"},
    {"EncodeWhatCannotBeRead", "encode /proc/self/mem", 3, "{}: read error: Input/output error"},
    {"XmlBatchWithANameThatIsNotUtf8", "@names @missing\\xFF.bin", 3,
     "qlx5100-status: {}: No such file", "xml:{}: No such file"},
    {"JsonBatchNamesItAlike", "-f json @names @missing\\xFF.bin", 3, "{}: No such file",
     "json:{}: No such file"},
    {"ControlBytesInANameOnStandardError", "@new\\x0Aline\\x1B[31m.bin", 3,
     "qlx5100-status: {}: No such file"},
    // Characters that show nothing or reorder the text, as control bytes are.
    {"BidiOverrideInANameOnStandardError", "@rlo\\xE2\\x80\\xAEnib.exe", 3,
     "rlo\\xE2\\x80\\xAEnib.exe: No such file"},
    {"BidiOverrideInANameInXml", "@names @rlo\\xE2\\x80\\xAEnib.exe", 3, "",
     "xml:rlo\\xE2\\x80\\xAEnib.exe: No such file"},
    {"LineSeparatorInAnNdjsonValue", "-f ndjson @separator.bin", 0, "", "text:a\\\\xE2\\\\x80\\\\xA8b"},
    {"LineSeparatorInACsvValue", "-f csv @separator.bin", 0, "", "text:a\\xE2\\x80\\xA8b"},
    {"ControlBytesInANameInATable", "-f table @names", 0, "",
     "text:== {}/new\\x0Aline\\x1B[31m.bin =="},
    {"ControlBytesInANameAnnotated", "--annotate @names", 0, "",
     "text:== {}/new\\x0Aline\\x1B[31m.bin =="},
    {"StreamAnnotated", "--stream --annotate <" EXAMPLES_DIR "/blocks/heater-fault.bin", 0, "",
     "text:HeaterStatus[4]                = 128"},
    // Output that is lost is an error, whichever command wrote it.
    {"BatchToAFullDisk", "-f json " EXAMPLES_DIR "/blocks >/dev/full", 6,
     "qlx5100-status: standard output: write error: No space left on device"},
    {"AnnotateToAFullDisk", "--annotate @names >/dev/full", 6, kFullStdout},
    {"DescribeToAFullDisk", "--describe >/dev/full", 6, kFullStdout},
    {"VersionToAFullDisk", "--version >/dev/full", 6, kFullStdout},
    {"HelpToAFullDisk", "--help >/dev/full", 6, kFullStdout},
    {"EncodeToAFullDisk", "encode " EXAMPLES_DIR "/values/heater-fault.json >/dev/full", 6,
     kFullStdout},
    {"OutputFileOnAFullDisk", "@names -o /dev/full", 6,
     "qlx5100-status: /dev/full: write error: No space left on device"},
    {"EncodeOutputFileOnAFullDisk", "encode " EXAMPLES_DIR "/values/heater-fault.json -o "
     "/dev/full", 6, "qlx5100-status: /dev/full: write error: No space left on device"},
    {"EncodeOutputFileThatCannotBeOpened", "encode " EXAMPLES_DIR "/values/heater-fault.json -o "
     "@short.bin/block.bin", 6, "qlx5100-status: {}: cannot write: Not a directory"},
    {"LogFileOnAFullDisk", "-v --format table @names --log-file /dev/full", 6,
     "qlx5100-status: the log file /dev/full: write error: No space left on device",
     "text:HeaterTemperature"},
    // Dumps as editors and converters leave them read as the dump, never as a binary block.
    {"DumpAfterAByteOrderMark", "-f table @bom.xxd", 0, "", kHeaterFaultRow},
    {"DumpAfterAByteOrderMarkAsHex", "-f table --input-format hex @bom.xxd", 0, "",
     kHeaterFaultRow},
    {"DumpInUtf16", "-f table @utf16.xxd", 0, "", kHeaterFaultRow},
    {"DumpInUtf16WithoutAMark", "-f table @utf16le.xxd", 0, "", kHeaterFaultRow},
    {"DumpWithANonAsciiComment", "-f table @comment.xxd", 0, "", kHeaterFaultRow},
    {"DumpEndingInNul", "-f table @nul.xxd", 0, "", kHeaterFaultRow},
    {"LittleEndianDump", "@e.xxd", 3, "{}: not a hex dump we can read: line 5: the text column "
     "shows the bytes of each group in the other order: an xxd -e (little-endian) dump"},
    {"DumpWithAnOddFirstLine", "@title.xxd", 3, "{}: not a hex dump we can read: line 1: "},
    // Text read as a binary block is said to be text, per block in a stream too.
    {"BlockOfPrintableBytes", "-f table @printable.bin", 0, "qlx5100-status: {}: warning: the "
     "block is text (113 lines of printable characters), not a binary status block; if it is a "
     "hex dump, --input-format hex says why", "text:CuttingCommandName"},
    {"TextBlockUnderStrict", "--strict -f table @printable.bin", 3, "{}: warning: the block is "
     "text", "text:CuttingCommandName"},
    {"StreamOfText", "--stream -f csv <@printable.bin", 0, "qlx5100-status: (stdin)#1: warning: "
     "the block is text", "text:(stdin)#1,CuttingCommandName"},
    {"XxdCArray", "-f table @c.xxd-i", 0, "", kHeaterFaultRow},
    {"XxdCArrayAsHex", "-f table --input-format hex @c.xxd-i", 0, "", kHeaterFaultRow},
    {"XxdCArrayOfAnotherLength", "@len.xxd-i", 3, "{}: not a hex dump we can read: line 89: the "
     "C array's length line says 1000 bytes; the array holds 1024"},
    // Every input named alike: subfolders, loops, the analyzer's records.
    {"SubfolderNamedAsSkipped", "-f csv @nested", 0, "qlx5100-status: {}/sub: skipped: a folder "
     "(-r reads the folders inside)", "text:{}/a.bin,"},
    {"RecursiveNamesALoop", "-r -f csv @nested", 0, "qlx5100-status: {}/sub/up: skipped: a link "
     "back to", "text:{}/sub/deeper/c.bin,"},
    {"AnalyzerRecordsNameTheInput", "@short.bin", 3, "] {}:     OrvStatusAnalyzerQLX5100::"
     "startStatusAnalysis ("},
    // diff is not fooled by fields that agree.
    {"DiffOfBlocksThatDecodeAlike", "diff " EXAMPLES_DIR "/blocks/heater-fault.bin @unread.bin",
     1, "heater-fault.bin and {} decode alike but differ in bytes no field reads, at 0x3f0, "
     "0x3f2..0x3f3 (diff --bytes lists every byte)"},
    {"DiffOfBlocksOfTwoLengths", "diff " EXAMPLES_DIR "/blocks/heater-fault.bin @longer.bin", 1,
     "heater-fault.bin is 1024 bytes, {} 1025 (diff"},
    {"HexDigitsThatMakeAShortBlock", "@digits.txt", 3, "{}: the status block is 512 bytes; the "
     "analyzer needs at least 1024 (read as a hex dump; --input-format binary reads the file as "
     "it is)"},
    // Options that contradict each other are refused, both named.
    {"DescribeWithAnInput", "--describe @short.bin", 2,
     "qlx5100-status: --describe and inputs cannot be combined"},
    {"DescribeWithDiff", "--describe diff @short.bin @short.bin", 2,
     "--describe and diff cannot be combined"},
    {"AnnotateWithDescribe", "--annotate --describe", 2,
     "--annotate and --describe cannot be combined"},
    {"AnnotateWithJson", "--annotate -f json @short.bin", 2,
     "--annotate and --format json cannot be combined"},
    {"EncodeWithJson", "encode @unknown.json -f json", 2,
     "encode and --format json cannot be combined: encode writes a binary block"},
    {"ParseErrorsSpeakAsTheTool", "--no-such-option", 2, "qlx5100-status: "},
    {"DirectoryWithEntriesThatAreNoFiles", "-f table @mixed", 0,
     "qlx5100-status: {}/dangling: skipped: a symbolic link to nothing", kHeaterFaultRow},
    {"DirectoryWithAFifo", "-f table @mixed", 0, "{}/fifo: skipped: a FIFO", kHeaterFaultRow},
    {"EncodeWithAKeyGivenTwice", "encode @twice.json -o @x", 3,
     "twice.json: the key \"ToolStatus\" is given twice"},
    {"EncodeJsonThatDoesNotParse", "encode @broken.json -o @x", 3,
     "broken.json: not JSON we can read: line 2, column 17: syntax error"},
    {"EncodeJsonWithANul", "encode @nul.json -o @x", 3,
     "nul.json: not JSON we can read: line 1, column 16: a NUL byte"},
    // Spreadsheets run a cell starting with =, +, - or @ unless told not to.
    {"FormulaInACsvCell", "-f csv @formula.bin", 0, "", "text:,CuttingCommandName,1,'@S(1),"},
    {"FormulaInACsvCellUnguarded", "-f csv --no-formula-guard @formula.bin", 0, "",
     "text:,CuttingCommandName,1,@S(1),"},
    // --wide: a row per input, a column per KEY[INDEX] chosen, in that order.
    {"WideCsv", "-f csv --wide -e CuttingCommandName -e HeaterTemperature[2] @formula.bin", 0, "",
     "text:file,CuttingCommandName[1],HeaterTemperature[2],warnings\n"},
    {"WideCsvRow", "-f csv --wide -e CuttingCommandName -e HeaterTemperature[2] @formula.bin", 0,
     "", "text:,'@S(1),0,\n"},
    {"EncodeValuesOverTheLimit", "encode @big.json -o @x", 3,
     "big.json: larger than 4194304 bytes, the most encode reads; not a values file"},
    {"EncodeMisspeltKeyInTheMapForm", "encode @misspelt.json -o @x", 3,
     "misspelt.json: unknown field \"ToolStatu\"; did you mean ToolStatus?"},
    {"LogFileThatCannotBeOpened", "@names --log-file @short.bin/log", 3,
     "qlx5100-status: cannot open the log file {}: Not a directory"},
};
// clang-format on

void PrintTo(const Failing& c, std::ostream* os) {
    *os << c.name;
}

class Failures : public ::testing::TestWithParam<Failing> {
protected:
    // The inputs, the huge one sparse (65 MiB that take no disk space).
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        std::string hex;  // one byte a line
        for (const unsigned char c : readFile(block("heater-fault")).substr(0, 1023)) {
            hex += std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 0xF] + "\n";
        }
        writeFile(dir_->path("short.hex"), hex);
        const std::string script =
            "cd '" + dir_->path("") + "' && : >empty && head -c 1023 '" + block("heater-fault") +
            "' >short.bin && echo '{\"Tool\": 1}' >unknown.json && echo '{\"ToolStatus\": 1, "
            "\"ToolStatus\": 2}' >twice.json && printf '{\\n  \"ToolStatus\": x}' >broken.json && "
            "printf '{\"ToolStatus\": \\0}' >nul.json && printf '000000 00 01\\n*\\n"
            "4000000000\\n' >repeat.od && printf '00 01 02\\n0304 5\\n' >odd.hex && echo '00000000:"
            " 0001 0g03  ....' >junk.hex && echo 'Status of the cutter' >notes.txt && truncate -s "
            "65M huge.bin && truncate -s 5M big.json && echo '{\"ToolStatu\": {\"1\": \"1\"}}' "
            ">misspelt.json && ln -s loop loop && mkdir blocks names && mkfifo fifo && cp '" +
            block("heater-fault") + "' \"names/$(printf 'new\\nline\\033[31m.bin')\" && xxd '" +
            block("heater-fault") +
            "' >d && (printf '\\357\\273\\277'; cat d) >bom.xxd && iconv -t UTF-16 <d >utf16.xxd"
            " && iconv -t UTF-16LE <d >utf16le.xxd && (echo '# relev\\303\\251'; cat d) "
            ">comment.xxd && (cat d; printf '\\0') >nul.xxd && (echo 'Dump of printer 3'; cat d) "
            ">title.xxd && xxd -e '" +
            block("heater-fault") +
            "' >e.xxd && yes 'Status! ' | head "
            "-c 1024 >printable.bin && head -c 1024 /dev/zero | tr '\\0' a >digits.txt && mkdir "
            "mixed && xxd -r d mixed/a.bin && ln -s nowhere "
            "mixed/dangling && mkfifo mixed/fifo && xxd -i '" +
            block("heater-fault") +
            "' >c.xxd-i && "
            "sed 's/_len = 1024/_len = 1000/' c.xxd-i >len.xxd-i && mkdir -p nested/sub/deeper "
            "nested/.hidden && cp d nested/.hidden/x.bin && xxd -r d nested/a.bin && xxd -r d "
            "nested/sub/deeper/c.bin && ln -s .. nested/sub/up && xxd -r d unread.bin && printf "
            "'\\377\\0\\1\\1' | dd of=unread.bin bs=1 seek=1008 conv=notrunc 2>/dev/null && (xxd "
            "-r d; echo) >longer.bin && "
            "head -c 1024 /dev/zero >separator.bin && "
            "printf "
            "'a\\342\\200\\250b' | dd of=separator.bin bs=1 seek=820 conv=notrunc 2>/dev/null && "
            "cp separator.bin formula.bin && printf '@S(1)' | dd "
            "of=formula.bin bs=1 seek=820 conv=notrunc 2>/dev/null";
        ASSERT_EQ(std::system(script.c_str()), 0);
    }
    static void TearDownTestSuite() { delete dir_; }
    static TempDir* dir_;
};

TempDir* Failures::dir_ = nullptr;

// The texts of a parsed document, one a line.
std::string xmlTexts(const pugi::xml_node& node) {
    std::string out;
    for (const pugi::xml_attribute& a : node.attributes()) {
        out += std::string(a.value()) + "\n";
    }
    for (const pugi::xml_node& child : node.children()) {
        out +=
            child.type() == pugi::node_pcdata ? std::string(child.value()) + "\n" : xmlTexts(child);
    }
    return out;
}

std::string jsonTexts(const nlohmann::json& j) {
    std::string out;
    if (j.is_string()) {
        return j.get<std::string>() + "\n";
    }
    for (const auto& item : j.items()) {
        out += (j.is_object() ? item.key() + "\n" : "") + jsonTexts(item.value());
    }
    return out;
}

// Each ends with one clear message and its exit code, writes nothing to
// standard output or a document that parses, and never hangs.
TEST_P(Failures, EndWithOneClearMessageAndTheirExitCode) {
    std::vector<std::string> args;
    std::string in, out;
    std::istringstream words(GetParam().args);
    for (std::string word; words >> word;) {
        std::string arg = ParamIoXML::unescapeText(word);
        std::string* target = &args.emplace_back();
        if (arg[0] == '<' || arg[0] == '>') {
            args.pop_back();
            target = arg[0] == '<' ? &in : &out;
            arg.erase(0, 1);
        }
        *target = arg[0] == '@' ? dir_->path(arg.substr(1)) : arg;
    }
    if (!args.empty() && args.back() == dir_->path("fifo")) {  // a writer that goes away
        const std::string writer = "cat '" + dir_->path("short.hex") + "' >'" + args.back() + "'";
        ASSERT_EQ(std::system(("timeout 30 sh -c \"" + writer + "\" >/dev/null 2>&1 &").c_str()),
                  0);
    }
    const auto r = runTool(args, in, out);
    const std::string last = args.empty() ? "" : qlx5100status::shown(args.back());
    const auto withLast = [&](std::string text) {
        for (std::size_t at; (at = text.find("{}")) != std::string::npos;) {
            text.replace(at, 2, last);
        }
        return text;
    };
    EXPECT_EQ(r.code, GetParam().code) << r.err;
    EXPECT_TRUE(contains(r.err, withLast(GetParam().says))) << r.err;
    const std::string expected = GetParam().out == nullptr ? "" : GetParam().out;
    const std::string kind = expected.substr(0, expected.find(':') + 1);
    const std::string holds = withLast(expected.substr(kind.size()));
    if (!kind.empty()) {  // dump() throws for text that is not UTF-8
        EXPECT_NO_THROW(nlohmann::json(r.out).dump()) << r.out;
    }
    if (kind == "xml:") {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(r.out.c_str())) << r.out;
        EXPECT_TRUE(contains(xmlTexts(doc), holds)) << r.out;
    } else if (kind == "json:") {
        EXPECT_TRUE(contains(jsonTexts(nlohmann::json::parse(r.out)), holds)) << r.out;
    } else if (kind == "text:") {
        EXPECT_TRUE(contains(r.out, holds)) << r.out;
        EXPECT_EQ(std::count_if(r.out.begin(), r.out.end(),
                                [](unsigned char c) { return c < 0x20 && c != '\n'; }),
                  0)
            << r.out;
    } else {
        EXPECT_EQ(r.out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, Failures, ::testing::ValuesIn(kFailing),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
