// Decoding of the QLX5100 fields through the shipped common module. Every
// block ends at an unreadable page, so a read at or past the block's size
// fails the call instead of passing unnoticed.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analyzer_harness.h"
#include "text_forms.h"

namespace {

using namespace std::string_literals;

// The map a 1024-byte block of zero bytes yields: 22 entries under 13 keys,
// no "PinchRollerPressureSetting" among them.
const StatusMap kZeroBlock = testsupport::mapOf(
    "HeaterNumber[1]=1; HeaterTemperature[1]=0; HeaterStatus[1]=0; HeaterNumber[2]=2; "
    "HeaterTemperature[2]=0; HeaterStatus[2]=0; HeaterNumber[3]=3; HeaterTemperature[3]=0; "
    "HeaterStatus[3]=0; HeaterNumber[4]=4; HeaterTemperature[4]=0; HeaterStatus[4]=0; "
    "CuttingCommandName[1]=; CuttingCommandVersion[1]=; TotalPinchRoller[1]=0; "
    "ActivatedPinchRoller[1]=0; ToolStatus[1]=0; OperationMode[1]=0; RegisterMarkType[1]=0; "
    "MultiFunctionJobStatus[1]=0; PrintAndCut[1]=0; MultiLayerPrintingInformation[1]=0");

class Decoding : public ::testing::Test {
protected:
    void SetUp() override { common_.emplace(ORV_SHIPPED_COMMON_MODULE); }
    void TearDown() override { EXPECT_TRUE(common_->releaseAndCheckUnloaded()); }

    static StatusMap decode(const harness::GuardedBlock& block, StatusMap map = {}) {
        EXPECT_TRUE(harness::startStatusAnalysis()(block.data(), block.size(), map));
        return map;
    }

    std::optional<harness::CommonModule> common_;
};

TEST_F(Decoding, ZeroBlockGivesEveryFieldOnce) {
    EXPECT_EQ(decode(harness::GuardedBlock(1024)), kZeroBlock);
}

// Each case patches a zero block and names the entries that change. The map
// already holds entries: the one at an index written is replaced, the others
// (an earlier fifth setting, the common module's) stay.
TEST_F(Decoding, FieldVectors) {
    const struct {
        std::size_t offset;
        std::string bytes;
        const char* changes;
    } cases[] = {
        {0x44, "\x80\x80\x7F\xFF\xFF\x01\x02\x03"s,
         "HeaterTemperature[1]=-128; HeaterStatus[1]=128; HeaterTemperature[2]=127; "
         "HeaterStatus[2]=255; HeaterTemperature[3]=-1; HeaterStatus[3]=1; "
         "HeaterTemperature[4]=2; HeaterStatus[4]=3"},
        // 0x340 is no count: no setting is read for it.
        {0x340, "\x10"s, "TotalPinchRoller[1]=16"},
        {0x352, "\x80\xFF\x01\xFE"s,
         "ToolStatus[1]=128; OperationMode[1]=255; RegisterMarkType[1]=1; "
         "MultiFunctionJobStatus[1]=254"},
        {0x365, "\x80"s, "MultiLayerPrintingInformation[1]=128"},
        {0x35A, "\x01\x02"s, "PrintAndCut[1]=258"},
        {0x35A, "\xFF\xFF"s, "PrintAndCut[1]=65535"},
        // Texts: up to the first NUL within the field, trimmed at both ends.
        {0x334, "AB\0\0\0\0\0\0"s, "CuttingCommandName[1]=AB"},
        {0x334, "A\0BCDEFG"s, "CuttingCommandName[1]=A"},
        {0x334, " \t\nX 1\v\f"s, "CuttingCommandName[1]=X 1"},
        {0x334, "        "s, "CuttingCommandName[1]="},
        {0x334, "\xC4\xE9z\0\0\0\0\0"s, "CuttingCommandName[1]=\xC4\xE9z"},
        {0x33C, " 1.0"s, "CuttingCommandVersion[1]=1.0"},
        // Full fields without NUL end at their width, not at the next field.
        {0x334, "ABCDEFGHWXYZQ"s,
         "CuttingCommandName[1]=ABCDEFGH; CuttingCommandVersion[1]=WXYZ; TotalPinchRoller[1]=81"},
        // Bytes between and around the fields are not read.
        {0x40, "\xFF\xFF\xFF\xFF"s, ""},
        {0x4C, "\xFF\xFF"s, ""},
        {0x356, "\xFF\xFF\xFF\xFF"s, ""},
        {0x35C, std::string(9, '\xFF'), ""},
        {0x366, "\xFF"s, ""},
    };
    const char kKept[] = "PinchRollerPressureSetting[5]=earlier; Common[0]=common";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        harness::GuardedBlock block(1024);
        block.set(c.offset, c.bytes);
        StatusMap before = testsupport::mapOf(kKept);
        before["ToolStatus"][1] = "old";
        StatusMap expected = kZeroBlock;
        testsupport::addItems(expected, kKept);
        EXPECT_EQ(decode(block, before), testsupport::addItems(expected, c.changes));
    }
}

// The count at 0x341 is the device's word: past the 16-entry table the
// following fields are read as settings, and only the block's end stops it.
TEST_F(Decoding, PinchRollerCountDecidesTheSettingsUpToTheBlockEnd) {
    const struct {
        std::size_t size;
        unsigned char count;
        int settings;  // entries expected
    } cases[] = {{1024, 18, 18}, {1024, 255, 190}, {1100, 255, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        harness::GuardedBlock block(c.size);
        block.set(0x341, std::string(1, static_cast<char>(c.count)));
        std::map<int, std::string> expected;
        for (std::size_t offset = 0x342; offset < c.size; ++offset) {
            const auto byte = static_cast<unsigned char>(offset * 7 + 3);
            block.set(offset, std::string(1, static_cast<char>(byte)));
            if (offset - 0x342 < static_cast<std::size_t>(c.settings)) {
                expected[static_cast<int>(offset - 0x341)] = std::to_string(byte);
            }
        }
        StatusMap map = decode(block);
        EXPECT_EQ(map["PinchRollerPressureSetting"], expected);
        EXPECT_EQ(expected[17], map["ToolStatus"][1]);
        EXPECT_EQ(expected[18], map["OperationMode"][1]);
    }
}

}  // namespace
