// The tool in pipelines: expert warnings, the line-oriented formats, field
// selection and streams, each output read back with a real parser.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "encode.h"
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
