// The model's tables and the decisions made from them, in process.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "encode.h"
#include "exitcodes.h"
#include "fields.h"
#include "selection.h"
#include "valuestext.h"

namespace {

using namespace qlx5100status;

// Each number type's range, as the table gives it, is exactly what encode
// takes: the ends accepted, one past either end refused with the type's name.
TEST(FieldTypes, EncodeTakesExactlyTheTablesRange) {
    for (const FieldInfo& f : fieldTable()) {
        const FieldTypeInfo& type = typeInfo(f.type);
        if (f.type == FieldType::Constant || f.type == FieldType::Text || f.countedBy != nullptr ||
            hasSeveralIndices(f) || f.key == std::string("ActivatedPinchRoller")) {
            continue;
        }
        SCOPED_TRACE(f.key);
        EXPECT_EQ(type.width, f.width);
        for (const long long ok : {type.low, type.high}) {
            EXPECT_NO_THROW(encodeBlock({{f.key, ok}}));
        }
        for (const long long bad : {type.low - 1, type.high + 1}) {
            try {
                encodeBlock({{f.key, bad}});
                ADD_FAILURE() << bad << " was taken";
            } catch (const EncodeError& e) {
                EXPECT_NE(std::string(e.what()).find(type.name), std::string::npos) << e.what();
            }
        }
    }
}

std::string encodeMessage(const std::string& text) {
    try {
        encodeValuesText({text.begin(), text.end()});
    } catch (const EncodeError& e) {
        return e.what();
    }
    return "";
}

// encode's refusals quote the value as written, at most an excerpt of it,
// and say what the field takes; no input crashes it or echoes it whole.
TEST(EncodeValuesText, RefusesWithTheValueAsWrittenAndBounded) {
    const std::string big(100000, '7');
    const struct {
        std::string text;
        const char* says;  // "" when taken
    } cases[] = {
        {R"({"ToolStatus": 18446744073709551615})",
         "ToolStatus: 18446744073709551615 is outside 0..255 (unsigned 8-bit)"},
        {R"({"ToolStatus": 184467440737095516150})", "184467440737095516150 is outside 0..255"},
        {R"({"ToolStatus": "-99999999999999999999"})", "\"-99999999999999999999\" is outside"},
        {R"({"HeaterTemperature": [1.50]})",
         "HeaterTemperature[1]: 1.50 is not an integer; the field takes -128..127 (signed 8-bit)"},
        {R"({"ToolStatus": "7x"})", "\"7x\" is not a decimal integer; the field takes 0..255"},
        {R"({"ToolStatus": " 7"})", ""},
        {R"({"ToolStatus": "7 "})", ""},
        {R"({"ToolStatus": "+7"})", ""},
        {R"({"ToolStatus": "- 7"})", "is not a decimal integer"},
        {"{\"ToolStatus\": " + big + "}",
         "number overflow parsing '7777777777777777777777777777777777777777...'"},
        {"{\"ToolStatus\": \"" + big + "\"}", "is outside 0..255"},
        {"{\"CuttingCommandName\": \"" + big + "\"}", "7777...\" is 100000 bytes"},
        {"{\"" + big + "\": 1}", "unknown field \"7777"},
        {"{\"ToolStatus\": \"" + big, "not JSON we can read: line 1, column "},
        {std::string(100000, '[') + std::string(100000, ']'),
         "objects and arrays nested deeper than 64 levels"},
        {std::string(64, '[') + std::string(64, ']'), "expected a JSON object"},
        {R"({"ToolStatu": {"1": "1"}})", "unknown field \"ToolStatu\"; did you mean ToolStatus?"},
        {R"({"Extra": {"1": "1"}})", "unknown field \"Extra\""},
        {R"([{"file": "a", "error": "x"}, {"file": "b", "status": {"DeviceStatus": {"ToolStatus": "1"}}}])",
         ""},
        {R"([{"file": "a", "status": {"DeviceStatus": {}}}, {"file": "b", "status": {"DeviceStatus": {}}}])",
         "a --format json batch with 2 decoded reports"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        const std::string message = encodeMessage(c.text);
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(message.empty(), *c.says == '\0') << message;
        EXPECT_LT(message.size(), 200u) << message;
    }
    EXPECT_NE(encodeMessage(std::string(kMaxValuesBytes + 1, ' ')).find("larger than 4194304"),
              std::string::npos);
}

// -e: leading zeros name the same index, and an entry chosen twice comes
// once, where it was first chosen.
TEST(Selection, NamesEachEntryOnceAtItsFirstPlace) {
    StatusMap map;
    for (int i = 1; i <= 4; ++i) {
        map["HeaterTemperature"][i] = std::to_string(i * 10);
    }
    map["ToolStatus"][1] = "1";
    const FieldSelection picked({"HeaterTemperature[03]", "ToolStatus", "HeaterTemperature",
                                 "HeaterTemperature[3]", "ToolStatus"});
    std::vector<Entry> entries;
    picked.entries(map, entries);
    std::string order;
    for (const Entry& e : entries) {
        order += *e.key + "[" + std::to_string(e.index) + "] ";
    }
    EXPECT_EQ(order,
              "HeaterTemperature[3] ToolStatus[1] HeaterTemperature[1] HeaterTemperature[2] "
              "HeaterTemperature[4] ");
    EXPECT_EQ(picked.choices().front().given, "HeaterTemperature[3]");
    EXPECT_EQ(picked.choices().size(), 3u);
}

TEST(FieldTypes, EveryRowHasItsTypesNameAndReader) {
    std::set<std::string> names;
    for (const FieldTypeInfo& t : fieldTypes()) {
        EXPECT_EQ(&typeInfo(t.type), &t);
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
        EXPECT_NE(std::string(t.readWith), "");
    }
}

// The folded helpers agree with the dictionary's layout.
TEST(Fields, SeveralIndicesAndEntryOffsets) {
    const FieldInfo* heater = findField("HeaterTemperature", 3);
    const FieldInfo* setting = findField("PinchRollerPressureSetting", 5);
    const FieldInfo* tool = findField("ToolStatus", 1);
    ASSERT_TRUE(heater && setting && tool);
    EXPECT_TRUE(hasSeveralIndices(*heater));
    EXPECT_TRUE(hasSeveralIndices(*setting));
    EXPECT_FALSE(hasSeveralIndices(*tool));
    EXPECT_EQ(entryOffset(*setting, 1), setting->offset);
    EXPECT_EQ(entryOffset(*setting, 5), setting->offset + 4 * setting->width);
    EXPECT_EQ(entryOffset(*heater, 3), heater->offset);  // a row of its own per index
    EXPECT_EQ(hexOffset(0x342), "0x342");
    EXPECT_EQ(hexOffset(0x42, 8), "0x00000042");
    EXPECT_EQ(encodeBlock(nlohmann::json::object()).size(), kBlockSize);
}

TEST(ExitCodes, AreDistinctAscendingAndNamed) {
    int previous = -1;
    std::set<std::string> names;
    for (const ExitCodeInfo& e : kExitCodes) {
        EXPECT_GT(e.code, previous);
        previous = e.code;
        EXPECT_TRUE(names.insert(e.name).second) << e.name;
        EXPECT_NE(std::string(e.help), "");
    }
    EXPECT_EQ(kOutputError, 6);
}

}  // namespace
