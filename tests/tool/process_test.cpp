// The built program as a user runs it: outputs, exit codes, and what goes to
// which stream.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common_double.h"
#include "tool_test_support.h"

namespace {

using tooltest::example;
using tooltest::runTool;

std::string block(const std::string& name) {
    return example("blocks/" + name + ".bin");
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The examples are held in step: values -> encode -> block -> analysis -> XML.
TEST(Tool, ExamplesEncodeToTheirBlocksAndGiveTheirExpectedXml) {
    tooltest::TempDir dir;
    for (const std::string name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        const auto values = example("values/" + name + ".json");
        EXPECT_EQ(runTool({"encode", values, "-o", dir.path("b")}).code, 0) << name;
        EXPECT_EQ(tooltest::readFile(dir.path("b")), tooltest::readFile(block(name))) << name;
        const auto r = runTool({block(name)});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, tooltest::readFile(example("expected/" + name + ".xml"))) << name;
    }
}

// Raw device bytes reach the JSON as the escaped text the XML shows, and the
// document stays valid JSON.
TEST(Tool, JsonCarriesEscapedValuesAndHeaterArrays) {
    const auto r = runTool({"--format", "json", block("text-with-control-bytes")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto status = nlohmann::json::parse(r.out).at("DeviceStatus");
    EXPECT_EQ(status.at("Heaters").at("Heater").at(3).at("@No"), "4");
    EXPECT_EQ(status.at("CuttingCommandName"), "\\x01CUT\\x09A\\xFF");
}

// Dumps by the real tools, as a file and on standard input.
TEST(Tool, HexDumpInputDecodesLikeTheBinary) {
    const auto binary = runTool({"--format", "table", block("all-pinch-rollers")});
    ASSERT_EQ(binary.code, 0);
    for (const char* fixture : {"all-pinch-rollers.xxd", "all-pinch-rollers.od"}) {
        EXPECT_EQ(runTool({"--format", "table", tooltest::data(fixture)}).out, binary.out);
        EXPECT_EQ(runTool({"--format", "table", "-"}, tooltest::data(fixture)).out, binary.out);
    }
}

TEST(Tool, LogRecordsNeverReachStandardOutput) {
    const auto quiet = runTool({block("normal-operation")});
    const auto verbose = runTool({"-v", block("normal-operation")});
    EXPECT_EQ(verbose.out, quiet.out);
    EXPECT_TRUE(contains(verbose.err, "--> OrvStatusAnalyzerQLX5100::startStatusAnalysis"));
    EXPECT_TRUE(contains(verbose.err, "<-- OrvStatusAnalyzerQLX5100::startConvertXML"));
}

TEST(Tool, ExitCodes) {
    tooltest::TempDir dir;
    const std::string shortBlock = dir.path("short.bin");
    tooltest::writeFile(shortBlock, tooltest::readFile(block("heater-fault")).substr(0, 1023));
    tooltest::writeFile(dir.path("bad.hex"), "00 01\n02 0x3\n");
    tooltest::writeFile(dir.path("unknown.json"), "{\"Tool\": 1}");
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;  // on standard error
    } cases[] = {
        {{"diff", block("heater-fault"), block("heater-fault")}, 0, ""},
        {{"diff", block("heater-fault"), block("normal-operation")}, 1, ""},
        {{}, 2, "no input given"},
        {{"--format", "yaml", block("heater-fault")}, 2, "yaml"},
        {{dir.path("missing.bin")}, 3, "missing.bin: No such file"},
        {{shortBlock}, 3, "short.bin: the status block is 1023 bytes"},
        {{shortBlock}, 3, "Status size error"},  // the analyzer's own record
        {{dir.path("bad.hex")}, 3, "bad.hex: not a hex dump we can read: line 2: column 4"},
        {{"encode", dir.path("unknown.json"), "-o", dir.path("x")}, 3, "unknown field \"Tool\""},
        {{"--module", dir.path("none.so"), block("heater-fault")}, 5, "none.so"},
        {{"--common-module", ORV_DOUBLE_WRONG_SONAME, block("heater-fault")},
         5,
         "does not have the soname libprtOrvCommonStatusAnalyzer.so"},
    };
    for (const auto& c : cases) {
        const auto r = runTool(c.args);
        SCOPED_TRACE(c.args.empty() ? "(no arguments)" : c.args.back());
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_TRUE(c.code < 2 || !contains(r.out, "<DeviceStatus"));
    }
    // A batch goes on past an input that fails, and exits with the highest code.
    const auto batch = runTool({shortBlock, block("heater-fault")});
    EXPECT_EQ(batch.code, 3);
    EXPECT_TRUE(contains(batch.out, "<DeviceStatus"));
}

TEST(Tool, DiffNamesEachChangedValue) {
    const auto r =
        runTool({"diff", "--format", "json", block("normal-operation"), block("heater-fault")});
    ASSERT_EQ(r.code, 1) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    const auto changed = [&](const std::string& key, int index) {
        for (const auto& row : rows) {
            if (row["key"] == key && row["index"] == index) {
                return row.dump();
            }
        }
        return std::string("unchanged");
    };
    EXPECT_EQ(changed("HeaterTemperature", 2),
              R"({"index":2,"key":"HeaterTemperature","new":"-5","old":"45"})");
    EXPECT_EQ(changed("PinchRollerPressureSetting", 4),
              R"({"index":4,"key":"PinchRollerPressureSetting","new":null,"old":"2"})");
    EXPECT_EQ(changed("HeaterTemperature", 1), "unchanged");
}

// The analyzer loads the common module by name; the tool makes it find the
// one given by path.
TEST(Tool, CommonModuleGivenByPathIsTheOneTheAnalyzerUses) {
    const auto r = runTool(
        {"--common-module", ORV_DOUBLE_FULL, "--format", "table", block("normal-operation")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, commondouble::kCommonValue)) << r.out;
}

}  // namespace
