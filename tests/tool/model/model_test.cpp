// The model's tables and the decisions made from them, in process.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "encode.h"
#include "exitcodes.h"
#include "fields.h"

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
