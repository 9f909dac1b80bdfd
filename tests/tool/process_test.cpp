// The built program as a user runs it: outputs parsed back, exit codes, and
// what goes to which stream.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "tool_test_support.h"

namespace {

using tooltest::example;
using tooltest::runTool;

const char* const kExamples[] = {"normal-operation", "heater-fault", "all-pinch-rollers",
                                 "text-with-control-bytes"};

std::string block(const std::string& name) {
    return example("blocks/" + name + ".bin");
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Element names, attributes and texts, depth first: two documents that give
// the same string hold the same tree, whatever their indentation.
std::string canonical(const pugi::xml_node& node) {
    std::string out;
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata) {
            out += std::string("\"") + child.value() + "\"";
        } else if (child.type() == pugi::node_element) {
            out += std::string("<") + child.name();
            for (pugi::xml_attribute a : child.attributes()) {
                out += std::string(" ") + a.name() + "=" + a.value();
            }
            out += ">" + canonical(child) + "</>";
        }
    }
    return out;
}

std::string canonicalXml(const std::string& text) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_string(text.c_str());
    EXPECT_TRUE(parsed) << parsed.description() << "\n" << text;
    return canonical(doc);
}

TEST(Tool, ExamplesGiveTheirExpectedXml) {
    for (const char* name : kExamples) {
        const auto r = runTool({block(name)});
        EXPECT_EQ(r.code, 0) << name << r.err;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(
            canonicalXml(r.out),
            canonicalXml(tooltest::readFile(example(std::string("expected/") + name + ".xml"))))
            << name;
    }
}

TEST(Tool, ExampleBlocksAreWhatEncodeMakesOfTheirValues) {
    tooltest::TempDir dir;
    for (const char* name : kExamples) {
        const auto r = runTool(
            {"encode", example(std::string("values/") + name + ".json"), "-o", dir.path("b")});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(tooltest::readBytes(dir.path("b")), tooltest::readBytes(block(name))) << name;
    }
}

TEST(Tool, JsonCarriesTheValuesTheBlockWasMadeFrom) {
    const auto r = runTool({"--format", "json", block("heater-fault")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto status = nlohmann::json::parse(r.out).at("DeviceStatus");
    const auto values =
        nlohmann::json::parse(tooltest::readFile(example("values/heater-fault.json")));
    const auto& heaters = status.at("Heaters").at("Heater");
    ASSERT_EQ(heaters.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(heaters[i].at("@No"), std::to_string(i + 1));
        EXPECT_EQ(heaters[i].at("HeaterTemperature"), values["HeaterTemperature"][i].dump());
        EXPECT_EQ(heaters[i].at("HeaterStatus"), values["HeaterStatus"][i].dump());
    }
    EXPECT_EQ(status.at("PinchRollerPressureSettings").at("PinchRollerPressureSetting"),
              nlohmann::json({"2", "3"}));
    EXPECT_EQ(status.at("CuttingCommandName"), "CUTCMD");
    EXPECT_EQ(status.at("OperationMode"), "3");
}

TEST(Tool, HexDumpInputDecodesLikeTheBinary) {
    tooltest::TempDir dir;
    const auto binary = runTool({"--format", "table", block("all-pinch-rollers")});
    ASSERT_EQ(binary.code, 0);
    for (const char* fixture : {"all-pinch-rollers.xxd", "all-pinch-rollers.od"}) {
        const std::string dump = std::string(TEST_DATA_DIR) + "/" + fixture;
        EXPECT_EQ(runTool({"--format", "table", dump}).out, binary.out) << fixture;
        EXPECT_EQ(runTool({"--format", "table", "-"}, dump).out, binary.out) << fixture;
    }
    // Told it is binary, a dump is just a block of text.
    const auto forced = runTool({"--input-format", "binary", "--format", "table",
                                 std::string(TEST_DATA_DIR) + "/all-pinch-rollers.xxd"});
    EXPECT_EQ(forced.code, 0);
    EXPECT_NE(forced.out, binary.out);
}

TEST(Tool, LogRecordsNeverReachStandardOutput) {
    const auto quiet = runTool({block("normal-operation")});
    const auto verbose = runTool({"-v", block("normal-operation")});
    ASSERT_EQ(verbose.code, 0);
    EXPECT_EQ(verbose.out, quiet.out);
    EXPECT_EQ(quiet.err, "");
    EXPECT_TRUE(contains(verbose.err, "--> OrvStatusAnalyzerQLX5100::startStatusAnalysis"));
    EXPECT_TRUE(contains(verbose.err, "<-- OrvStatusAnalyzerQLX5100::startConvertXML"));
    EXPECT_TRUE(contains(verbose.err, ") true"));

    tooltest::TempDir dir;
    const auto toFile =
        runTool({"--log-level", "inout", "--log-file", dir.path("log"), block("normal-operation")});
    EXPECT_EQ(toFile.err, "");
    EXPECT_EQ(toFile.out, quiet.out);
    EXPECT_TRUE(contains(tooltest::readFile(dir.path("log")), "--> OrvStatusAnalyzerQLX5100::"));
}

TEST(Tool, ShortBlockIsNamedWithItsSize) {
    tooltest::TempDir dir;
    const auto bytes = tooltest::readFile(block("normal-operation"));
    tooltest::writeFile(dir.path("short.bin"), bytes.substr(0, 1023));
    const auto r = runTool({dir.path("short.bin")});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, dir.path("short.bin") + ": the status block is 1023 bytes"));
    EXPECT_TRUE(contains(r.err, "Status size error"));  // the analyzer's own record
    const auto silent = runTool({"--log-level", "none", dir.path("short.bin")});
    EXPECT_EQ(silent.code, 3);
    EXPECT_FALSE(contains(silent.err, "Status size error"));
}

TEST(Tool, ExitCodes) {
    tooltest::TempDir dir;
    tooltest::writeFile(dir.path("bad.hex"), "00 01\n02 0x3\n");
    tooltest::writeFile(dir.path("bad.json"), "{\"ToolStatus\": 1,}");
    tooltest::writeFile(dir.path("unknown.json"), "{\"Tool\": 1}");
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;
    } cases[] = {
        {{"--describe"}, 0, ""},
        {{"diff", block("heater-fault"), block("heater-fault")}, 0, ""},
        {{"diff", block("heater-fault"), block("normal-operation")}, 1, ""},
        {{}, 2, "no input given"},
        {{"--no-such-option", block("heater-fault")}, 2, "no-such-option"},
        {{"--format", "yaml", block("heater-fault")}, 2, "yaml"},
        {{dir.path("missing.bin")}, 3, "missing.bin: No such file"},
        {{dir.path("bad.hex")}, 3, "bad.hex: not a hex dump we can read: line 2: column 4"},
        {{"encode", dir.path("bad.json"), "-o", dir.path("x")}, 3, "bad.json: "},
        {{"encode", dir.path("unknown.json"), "-o", dir.path("x")}, 3, "unknown field \"Tool\""},
        {{"--module", dir.path("none.so"), block("heater-fault")}, 5, "none.so"},
        {{"--common-module", WRONG_SONAME_COMMON_PATH, block("heater-fault")},
         5,
         "does not have the soname libprtOrvCommonStatusAnalyzer.so"},
    };
    for (const auto& c : cases) {
        const auto r = runTool(c.args);
        const std::string shown = c.args.empty() ? "(no arguments)" : c.args.front();
        EXPECT_EQ(r.code, c.code) << shown << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << shown << "\n" << r.err;
        if (c.code >= 2) {
            EXPECT_EQ(r.out.find("<?xml"), std::string::npos) << shown;
        }
    }
}

TEST(Tool, DiffNamesEachChangedValue) {
    const auto r =
        runTool({"diff", "--format", "json", block("normal-operation"), block("heater-fault")});
    ASSERT_EQ(r.code, 1) << r.err;
    const auto rows = nlohmann::json::parse(r.out);
    auto row = [&](const std::string& key, int index) {
        for (const auto& d : rows) {
            if (d["key"] == key && d["index"] == index) {
                return d;
            }
        }
        return nlohmann::json();
    };
    EXPECT_EQ(
        row("HeaterTemperature", 2),
        nlohmann::json::parse(R"({"key":"HeaterTemperature","index":2,"old":"45","new":"-5"})"));
    EXPECT_EQ(row("PinchRollerPressureSetting", 4)["new"], nullptr);
    EXPECT_TRUE(row("HeaterTemperature", 1).is_null());
}

TEST(Tool, BatchGivesOneResultPerFileAndGoesOnPastFailures) {
    tooltest::TempDir dir;
    for (const char* name : kExamples) {
        tooltest::writeFile(dir.path(std::string(name) + ".bin"), tooltest::readFile(block(name)));
    }
    tooltest::writeFile(dir.path("broken.bin"), "short");

    const auto json = runTool({"--format", "json", dir.dir()});
    EXPECT_EQ(json.code, 3);
    const auto list = nlohmann::json::parse(json.out);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[1]["file"], dir.path("broken.bin"));  // sorted by name
    EXPECT_TRUE(contains(list[1]["error"].get<std::string>(), "5 bytes"));
    EXPECT_EQ(list[0]["file"], dir.path("all-pinch-rollers.bin"));
    EXPECT_EQ(list[0]["status"]["DeviceStatus"]["TotalPinchRoller"], "16");

    const auto xml = runTool({block("heater-fault"), block("normal-operation")});
    EXPECT_EQ(xml.code, 0) << xml.err;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.out.c_str()));
    const auto reports = doc.child("StatusReports").children("StatusReport");
    std::vector<std::string> files;
    for (pugi::xml_node report : reports) {
        files.push_back(report.attribute("file").value());
        EXPECT_TRUE(report.child("DeviceStatus").child("Heaters"));
    }
    EXPECT_EQ(files, (std::vector<std::string>{block("heater-fault"), block("normal-operation")}));
}

TEST(Tool, CommonModuleGivenByPathIsTheOneTheAnalyzerUses) {
    const auto r = runTool(
        {"--common-module", STANDIN_COMMON_PATH, "--format", "table", block("normal-operation")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "StandInCommonModule")) << r.out;
    EXPECT_FALSE(contains(runTool({"--format", "table", block("normal-operation")}).out,
                          "StandInCommonModule"));

    const auto version = runTool({"--common-module", STANDIN_COMMON_PATH, "--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(contains(version.out, std::string("common module:   ") + STANDIN_COMMON_PATH));
    EXPECT_TRUE(contains(version.out, "analyzer module: "));
}

TEST(Tool, DescribeAndAnnotateCoverEveryField) {
    const auto describe = runTool({"--describe", "--format", "json"});
    ASSERT_EQ(describe.code, 0);
    std::set<std::string> keys;
    for (const auto& row : nlohmann::json::parse(describe.out)) {
        keys.insert(row["key"].get<std::string>());
    }
    EXPECT_EQ(keys.size(), 14u);

    const auto annotated = runTool({"--annotate", block("text-with-control-bytes")});
    ASSERT_EQ(annotated.code, 0) << annotated.err;
    for (const std::string& key : keys) {
        if (key != "HeaterNumber" && key != "PinchRollerPressureSetting") {  // none activated
            EXPECT_TRUE(contains(annotated.out, key)) << key;
        }
    }
    // The text field's line: offset, width, key and the value as escaped text.
    const std::size_t at = annotated.out.find("0x334  8 bytes");
    ASSERT_NE(at, std::string::npos) << annotated.out;
    const std::string line = annotated.out.substr(at, annotated.out.find('\n', at) - at);
    EXPECT_TRUE(contains(line, "CuttingCommandName")) << line;
    EXPECT_TRUE(contains(line, R"(= "\x01CUT\x09A\xFF")")) << line;
}

}  // namespace
