// Decoding of the QLX5100 fields through the shipped common module. Every
// block ends at an unreadable page, so a read at or past the block's size
// fails the call instead of passing unnoticed.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analyzer_harness.h"

namespace {

using namespace std::string_literals;

// The map a 1024-byte block of zero bytes yields: 22 entries under 13 keys.
StatusMap zeroBlockEntries() {
    StatusMap m;
    for (int n = 1; n <= 4; ++n) {
        m["HeaterNumber"][n] = std::to_string(n);
        m["HeaterTemperature"][n] = "0";
        m["HeaterStatus"][n] = "0";
    }
    m["CuttingCommandName"][1] = "";
    m["CuttingCommandVersion"][1] = "";
    for (const char* key : {"TotalPinchRoller", "ActivatedPinchRoller", "ToolStatus",
                            "OperationMode", "RegisterMarkType", "MultiFunctionJobStatus",
                            "PrintAndCut", "MultiLayerPrintingInformation"}) {
        m[key][1] = "0";
    }
    return m;
}

class Decoding : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(harness::anyCommonModuleLoaded());
        common_.emplace(ORV_SHIPPED_COMMON_MODULE);
    }
    void TearDown() override { EXPECT_TRUE(common_->releaseAndCheckUnloaded()); }

    static bool decode(const harness::GuardedBlock& block, StatusMap& map) {
        return harness::startStatusAnalysis()(block.data(), block.size(), map);
    }

    std::optional<harness::CommonModule> common_;
};

TEST_F(Decoding, ZeroBlockGivesEveryFieldOnce) {
    harness::GuardedBlock block(1024);
    StatusMap map;
    ASSERT_TRUE(decode(block, map));
    EXPECT_EQ(map, zeroBlockEntries());
    std::size_t entries = 0;
    for (const auto& key : map) {
        entries += key.second.size();
    }
    EXPECT_EQ(map.size(), 13u);
    EXPECT_EQ(entries, 22u);
    EXPECT_EQ(map.count("PinchRollerPressureSetting"), 0u);
}

TEST_F(Decoding, ExistingEntriesAreReplacedOthersKept) {
    harness::GuardedBlock block(1024);
    block.set(0x341, "\x03\x0A\x14\x1E"s);  // three settings: 10, 20, 30
    StatusMap map{{"HeaterTemperature", {{2, "old"}, {7, "beyond the heaters"}}},
                  {"ToolStatus", {{1, "old"}}},
                  {"PinchRollerPressureSetting", {{2, "old"}, {5, "earlier setting"}}},
                  {"CommonField", {{0, "common"}}}};
    ASSERT_TRUE(decode(block, map));

    StatusMap expected = zeroBlockEntries();
    expected["ActivatedPinchRoller"][1] = "3";
    expected["PinchRollerPressureSetting"] = {
        {1, "10"}, {2, "20"}, {3, "30"}, {5, "earlier setting"}};
    expected["HeaterTemperature"][7] = "beyond the heaters";
    expected["CommonField"][0] = "common";
    EXPECT_EQ(map, expected);
}

struct Patch {
    std::size_t offset;
    std::string bytes;
};

struct Entry {
    const char* key;
    int index;
    const char* text;
};

struct FieldCase {
    const char* name;
    std::vector<Patch> patches;
    std::vector<Entry> changes;  // against the zero block's entries
};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << c.name;
}

class FieldDecoding : public Decoding, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldDecoding, ChangesOnlyItsEntries) {
    harness::GuardedBlock block(1024);
    for (const auto& patch : GetParam().patches) {
        block.set(patch.offset, patch.bytes);
    }
    StatusMap expected = zeroBlockEntries();
    for (const auto& change : GetParam().changes) {
        expected[change.key][change.index] = change.text;
    }
    StatusMap map;
    ASSERT_TRUE(decode(block, map));
    EXPECT_EQ(map, expected);
}

const FieldCase kFieldCases[] = {
    // Nothing between or around the fields is read.
    {"GapBytesIgnored",
     {{0x40, "\xFF\xFF\xFF\xFF"s},
      {0x4C, "\xFF\xFF"s},
      {0x356, "\xFF\xFF\xFF\xFF"s},
      {0x35C, std::string(9, '\xFF')},
      {0x366, "\xFF"s}},
     {}},
    // Temperatures are signed, statuses unsigned.
    {"Temperature1Min", {{0x44, "\x80"s}}, {{"HeaterTemperature", 1, "-128"}}},
    {"Temperature1MinusOne", {{0x44, "\xFF"s}}, {{"HeaterTemperature", 1, "-1"}}},
    {"Temperature2Max", {{0x46, "\x7F"s}}, {{"HeaterTemperature", 2, "127"}}},
    {"Temperature4Min", {{0x4A, "\x80"s}}, {{"HeaterTemperature", 4, "-128"}}},
    {"Status1High", {{0x45, "\x80"s}}, {{"HeaterStatus", 1, "128"}}},
    {"Status3Max", {{0x49, "\xFF"s}}, {{"HeaterStatus", 3, "255"}}},
    {"Status4Max", {{0x4B, "\xFF"s}}, {{"HeaterStatus", 4, "255"}}},
    {"TotalPinchRollerIsNoCount", {{0x340, "\x10"s}}, {{"TotalPinchRoller", 1, "16"}}},
    {"ToolStatus", {{0x352, "\x80"s}}, {{"ToolStatus", 1, "128"}}},
    {"OperationMode", {{0x353, "\xFF"s}}, {{"OperationMode", 1, "255"}}},
    {"RegisterMarkType", {{0x354, "\x01"s}}, {{"RegisterMarkType", 1, "1"}}},
    {"MultiFunctionJobStatus", {{0x355, "\xFE"s}}, {{"MultiFunctionJobStatus", 1, "254"}}},
    {"MultiLayerPrintingInformation",
     {{0x365, "\x80"s}},
     {{"MultiLayerPrintingInformation", 1, "128"}}},
    // PrintAndCut: two bytes, most significant first.
    {"PrintAndCut258", {{0x35A, "\x01\x02"s}}, {{"PrintAndCut", 1, "258"}}},
    {"PrintAndCutMax", {{0x35A, "\xFF\xFF"s}}, {{"PrintAndCut", 1, "65535"}}},
    {"PrintAndCutLowByte", {{0x35A, "\x00\x01"s}}, {{"PrintAndCut", 1, "1"}}},
    {"PrintAndCutHighBit", {{0x35A, "\x80\x00"s}}, {{"PrintAndCut", 1, "32768"}}},
    // Texts: up to the first NUL within the field, trimmed at both ends.
    {"NameStopsAtNul", {{0x334, "AB\0\0\0\0\0\0"s}}, {{"CuttingCommandName", 1, "AB"}}},
    {"NameTrimmed", {{0x334, "  X1    "s}}, {{"CuttingCommandName", 1, "X1"}}},
    {"NameEveryBlankTrimmedInnerKept",
     {{0x334, "\t\nX 1\v\f\r"s}},
     {{"CuttingCommandName", 1, "X 1"}}},
    {"NameOnlyToFirstNul", {{0x334, "A\0BCDEFG"s}}, {{"CuttingCommandName", 1, "A"}}},
    {"NameAllBlank", {{0x334, "        "s}}, {{"CuttingCommandName", 1, ""}}},
    {"NameBytesAsTheyStand",
     {{0x334, "\xC4\xE9z\0\0\0\0\0"s}},
     {{"CuttingCommandName", 1, "\xC4\xE9z"}}},
    {"VersionTrimmed", {{0x33C, " 1.0"s}}, {{"CuttingCommandVersion", 1, "1.0"}}},
    {"VersionLeadingNul", {{0x33C, "\0abc"s}}, {{"CuttingCommandVersion", 1, ""}}},
    // Full fields without NUL end at their width, not at the next field.
    {"FullFieldsStopAtTheirWidth",
     {{0x334, "ABCDEFGHWXYZQ"s}},
     {{"CuttingCommandName", 1, "ABCDEFGH"},
      {"CuttingCommandVersion", 1, "WXYZ"},
      {"TotalPinchRoller", 1, "81"}}},
};

INSTANTIATE_TEST_SUITE_P(Vectors, FieldDecoding, ::testing::ValuesIn(kFieldCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct PinchCase {
    const char* name;
    std::size_t size;
    unsigned char count;
    int settings;  // entries expected
};

void PrintTo(const PinchCase& c, std::ostream* os) {
    *os << c.name;
}

class PinchRollers : public Decoding, public ::testing::WithParamInterface<PinchCase> {};

// The count at 0x341 is the device's word: past the 16-entry table the
// following fields are read as settings, and only the block's end stops it.
TEST_P(PinchRollers, CountDecidesTheSettingsUpToTheBlockEnd) {
    const auto& c = GetParam();
    harness::GuardedBlock block(c.size);
    const auto pattern = [](std::size_t offset) {
        return static_cast<unsigned char>(offset * 7 + 3);
    };
    block.set(0x341, std::string(1, static_cast<char>(c.count)));
    for (std::size_t offset = 0x342; offset < c.size; ++offset) {
        block.set(offset, std::string(1, static_cast<char>(pattern(offset))));
    }
    StatusMap map;
    ASSERT_TRUE(decode(block, map));
    EXPECT_EQ(map["ActivatedPinchRoller"][1], std::to_string(c.count));

    std::map<int, std::string> expected;
    for (int i = 1; i <= c.settings; ++i) {
        expected[i] = std::to_string(pattern(0x342 + static_cast<std::size_t>(i) - 1));
    }
    if (c.settings == 0) {
        EXPECT_EQ(map.count("PinchRollerPressureSetting"), 0u);
    } else {
        EXPECT_EQ(map["PinchRollerPressureSetting"], expected);
    }
    if (c.settings >= 18) {
        EXPECT_EQ(expected[17], map["ToolStatus"][1]);
        EXPECT_EQ(expected[18], map["OperationMode"][1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Counts, PinchRollers,
                         ::testing::Values(PinchCase{"None", 1024, 0, 0},
                                           PinchCase{"Three", 1024, 3, 3},
                                           PinchCase{"WholeTable", 1024, 16, 16},
                                           PinchCase{"IntoToolStatus", 1024, 18, 18},
                                           PinchCase{"CutAtEndOf1024", 1024, 255, 190},
                                           PinchCase{"CutAtEndOf1050", 1050, 255, 216},
                                           PinchCase{"AllWithin1100", 1100, 255, 255}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
