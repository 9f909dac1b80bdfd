// The prometheus writer in process: the names it promises, and texts and
// names that would break the exposition if written as they came.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "escape.h"
#include "fields.h"
#include "files.h"
#include "prometheus.h"
#include "writer.h"

namespace {

using namespace qlx5100status;

struct Input {
    std::string name;
    int code = 0;
    StatusMap map;
    std::vector<Warning> warnings;
    std::string error;
    std::vector<std::uint8_t> block;

    Decoded decoded() const { return {&name, code, &error, &block, &map, nullptr, &warnings}; }
};

std::string exposition(const std::vector<Input>& inputs, std::vector<Label> labels = {},
                       const FieldSelection& selection = FieldSelection()) {
    std::ostringstream out;
    Writer writer(out, Format::Prometheus, false, selection, inputs.size() > 1, std::move(labels));
    writer.begin();
    for (const Input& in : inputs) {
        EXPECT_EQ(writer.write(in.decoded()), "");
    }
    writer.end();
    return out.str();
}

using testsupport::lines;

// A line of the exposition as the format's grammar has it: a name, label
// pairs whose values hold only the three escapes, and a value.
const std::regex kSeries(
    R"(([a-zA-Z_:][a-zA-Z0-9_:]*)\{([a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*"(,[a-zA-Z_][a-zA-Z0-9_]*="([^"\\\n]|\\[\\"n])*")*)\} -?[0-9]+)");

// Checks what promtool would: every line a comment of HELP/TYPE or a series
// line, a family's HELP and TYPE once and before its series, the series of
// a family together. Returns the series lines.
std::vector<std::string> checkedSeries(const std::string& text) {
    std::vector<std::string> series;
    std::set<std::string> families;
    std::string current;
    for (const std::string& line : lines(text)) {
        std::smatch m;
        if (line.rfind("# HELP ", 0) == 0) {
            current = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_TRUE(families.insert(current).second) << "two HELP lines for " << current;
        } else if (line.rfind("# TYPE ", 0) == 0) {
            EXPECT_EQ(line, "# TYPE " + current + " gauge");
        } else if (std::regex_match(line, m, kSeries)) {
            EXPECT_EQ(m[1].str(), current) << line;
            series.push_back(line);
        } else {
            ADD_FAILURE() << "not a line of the format: " << line;
        }
    }
    return series;
}

Input decodedInput(const std::string& name) {
    Input in;
    in.name = name;
    in.map = {{"HeaterTemperature", {{1, "45"}, {2, "-3"}}},
              {"HeaterNumber", {{1, "1"}, {2, "2"}}},
              {"ToolStatus", {{1, "7"}}},
              {"CuttingCommandName", {{1, "CUT"}}},
              {"SomeCommonModuleKey", {{1, "9"}}}};
    return in;
}

TEST(Prometheus, NamesFollowOneRuleAndNeverCollide) {
    const struct {
        const char* key;
        const char* snake;
    } cases[] = {
        {"HeaterTemperature", "heater_temperature"},
        {"MultiLayerPrintingInformation", "multi_layer_printing_information"},
        {"IDNumber", "id_number"},
        {"Heater2Status", "heater2_status"},
        {"ToolStatus", "tool_status"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(snakeCase(c.key), c.snake);
    }
    std::set<std::string> names;
    for (const MetricFamily& f : metricFamilies()) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        EXPECT_TRUE(std::regex_match(f.name, std::regex("qlx5100_[a-z0-9_]+"))) << f.name;
    }
    std::set<std::string> keys;
    for (const FieldInfo& f : fieldTable()) {
        keys.insert(f.key);
    }
    EXPECT_EQ(names.size(), keys.size() + 2);
}

TEST(Prometheus, LabelNamesAreCheckedAndTheToolsOwnReserved) {
    for (const char* good : {"printer", "_site", "rack_2", "A"}) {
        EXPECT_EQ(labelNameProblem(good), "") << good;
    }
    for (const char* bad :
         {"", "2rack", "rack-2", "na me", "caf\xC3\xA9", "__name__", "input", "index", "value"}) {
        EXPECT_NE(labelNameProblem(bad), "") << bad;
    }
}

// One input: a gauge per number, index only where the key has several, the
// text as an _info series, and the key the dictionary does not know left
// out.
TEST(Prometheus, OneInputGivesItsSeries) {
    const std::string text = exposition({decodedInput("a.bin")}, {{"printer", "lab-3"}});
    const std::vector<std::string> series = checkedSeries(text);
    const std::set<std::string> got(series.begin(), series.end());
    const std::set<std::string> expected = {
        R"(qlx5100_decode_success{input="a.bin",printer="lab-3"} 1)",
        R"(qlx5100_warnings{input="a.bin",printer="lab-3"} 0)",
        R"(qlx5100_heater_number{input="a.bin",index="1",printer="lab-3"} 1)",
        R"(qlx5100_heater_number{input="a.bin",index="2",printer="lab-3"} 2)",
        R"(qlx5100_heater_temperature{input="a.bin",index="1",printer="lab-3"} 45)",
        R"(qlx5100_heater_temperature{input="a.bin",index="2",printer="lab-3"} -3)",
        R"(qlx5100_tool_status{input="a.bin",printer="lab-3"} 7)",
        R"(qlx5100_cutting_command_name_info{input="a.bin",value="CUT",printer="lab-3"} 1)",
    };
    EXPECT_EQ(got, expected);
    EXPECT_EQ(text.find("common"), std::string::npos);
}

// A batch: each family once, a series per input, a failed input with only
// decode_success 0 and its warnings; -e picks the fields.
TEST(Prometheus, BatchIsOneExposition) {
    Input failed;
    failed.name = "b.bin";
    failed.code = 3;
    failed.error = "b.bin: too short";
    failed.warnings = {{"", 0, "short"}, {"", 0, "odd"}};
    const std::vector<std::string> series =
        checkedSeries(exposition({decodedInput("a.bin"), failed, decodedInput("c.bin")}));
    std::map<std::string, int> perInput;
    for (const std::string& s : series) {
        ++perInput[s.substr(s.find("input=\""), 13)];
    }
    EXPECT_EQ(perInput["input=\"a.bin\""], 8);
    EXPECT_EQ(perInput["input=\"b.bin\""], 2);
    EXPECT_EQ(perInput["input=\"c.bin\""], 8);
    const std::string text = exposition({failed});
    EXPECT_NE(text.find(R"(qlx5100_decode_success{input="b.bin"} 0)"), std::string::npos);
    EXPECT_NE(text.find(R"(qlx5100_warnings{input="b.bin"} 2)"), std::string::npos);

    const std::vector<std::string> picked = checkedSeries(
        exposition({decodedInput("a.bin")}, {}, FieldSelection({"HeaterTemperature[2]"})));
    EXPECT_EQ(picked.size(), 3u);
    EXPECT_EQ(picked.back(), R"(qlx5100_heater_temperature{input="a.bin",index="2"} -3)");
}

// Texts from the device and names from the file system, whatever their
// bytes: each label value is the tool's escaped form, then the format's
// three escapes, and every line still parses.
TEST(Prometheus, HostileTextsAndNamesStayInsideTheirLabel) {
    const struct {
        const char* raw;
        const char* written;
    } texts[] = {
        {"\x01"
         "CUT",
         R"(\\x01CUT)"},
        {"say \"hi\"", R"(say \"hi\")"},
        {"back\\slash", R"(back\\\\slash)"},
        {"line\nfeed", R"(line\\x0Afeed)"},
        {"not \xFF utf-8", R"(not \\xFF utf-8)"},
        {"rlo\xE2\x80\xAEnib.exe", R"(rlo\\xE2\\x80\\xAEnib.exe)"},
        {"zero\xE2\x80\x8Bwidth", R"(zero\\xE2\\x80\\x8Bwidth)"},
        {"\xEF\xBB\xBF"
         "bom",
         R"(\\xEF\\xBB\\xBFbom)"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"} 1\n# TYPE x counter", R"(} 1\\x0A# TYPE x counter)"},
    };
    for (const auto& t : texts) {
        Input in = decodedInput("a.bin");
        in.map["CuttingCommandName"][1] = t.raw;
        const std::string text = exposition({in}, {{"site", t.raw}});
        SCOPED_TRACE(t.written);
        checkedSeries(text);
        EXPECT_NE(text.find("value=\"" + std::string(t.written) + "\",site=\"" + t.written + "\""),
                  std::string::npos)
            << text;
    }
    // The name arrives shown() already (the invisible characters' bytes
    // escaped too); the writer adds only the format's escapes.
    Input named = decodedInput(shown("dir/\"q\"\\x0A\xE2\x80\xAE.bin"));
    const std::string text = exposition({named});
    checkedSeries(text);
    EXPECT_NE(text.find(R"(input="dir/\"q\"\\\\x0A\\xE2\\x80\\xAE.bin")"), std::string::npos)
        << text;
}

std::string readDoc(const std::string& name) {
    return testsupport::readFile(std::string(DOCS_DIR) + "/" + name);
}

// docs/monitoring.md lists the families the dictionary gives, with their
// labels and help; the dashboard and the alert rules name no other.
TEST(Prometheus, DocumentedMetricsAreTheOnesWritten) {
    std::vector<std::string> expected;
    for (const MetricFamily& f : metricFamilies()) {
        expected.push_back("| `" + f.name + "` | `input" + (f.indexed ? ",index" : "") +
                           (f.info ? ",value" : "") + "` | " + f.help + " |");
    }
    std::vector<std::string> documented;
    for (const std::string& line : lines(readDoc("monitoring.md"))) {
        if (line.rfind("| `qlx5100_", 0) == 0) {
            documented.push_back(line);
        }
    }
    EXPECT_EQ(documented, expected);

    std::set<std::string> names;
    for (const MetricFamily& f : metricFamilies()) {
        names.insert(f.name);
    }
    const std::regex metric("qlx5100_[a-z0-9_]+");
    for (const char* file :
         {"monitoring/qlx5100-dashboard.json", "monitoring/qlx5100-alerts.yml"}) {
        const std::string text = readDoc(file);
        int named = 0;
        for (auto m = std::sregex_iterator(text.begin(), text.end(), metric);
             m != std::sregex_iterator(); ++m) {
            EXPECT_EQ(names.count(m->str()), 1u) << file << " names " << m->str();
            ++named;
        }
        EXPECT_GT(named, 2) << file;
    }
    const auto dashboard = nlohmann::json::parse(readDoc("monitoring/qlx5100-dashboard.json"));
    EXPECT_FALSE(dashboard.at("panels").empty());
}

}  // namespace
