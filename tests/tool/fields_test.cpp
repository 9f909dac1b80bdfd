// The tool's field dictionary against the analyzer's real decoder: blocks
// built from the table are decoded by the module, and every value must be
// where and what the table says.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "encode.h"
#include "fields.h"
#include "logsetup.h"
#include "modules.h"
#include "tool_test_support.h"

namespace {

namespace qs = qlx5100status;
using Bytes = std::vector<std::uint8_t>;

class FieldDictionary : public testing::Test {
protected:
    static void SetUpTestSuite() {
        qs::setUpLogging(qs::LogLevel::None, "");
        modules_ = std::make_unique<qs::AnalyzerModules>(qs::ModulePaths{ANALYZER_PATH, ""});
    }
    static void TearDownTestSuite() { modules_.reset(); }

    static StatusMap analyse(Bytes block) {
        StatusMap map;
        EXPECT_TRUE(modules_->analyse(reinterpret_cast<char*>(block.data()), block.size(), map));
        return map;
    }

    static std::unique_ptr<qs::AnalyzerModules> modules_;
};

std::unique_ptr<qs::AnalyzerModules> FieldDictionary::modules_;

// The value the table says the bytes at a placement give, worked out from
// its type alone.
std::string valueByTable(const Bytes& block, const qs::Placement& p) {
    const std::uint8_t* b = block.data() + p.offset;
    switch (p.field->type) {
        case qs::FieldType::Int8:
            return std::to_string(static_cast<std::int8_t>(b[0]));
        case qs::FieldType::UInt8:
            return std::to_string(b[0]);
        case qs::FieldType::UInt16BE:
            return std::to_string((b[0] << 8) | b[1]);
        case qs::FieldType::Text:
            return std::string(b, b + p.width);
        case qs::FieldType::Constant:
            break;
    }
    return "?";
}

TEST_F(FieldDictionary, EveryDecodedValueIsWhereTheTableSays) {
    // 18 reads two settings past the 16-byte table, 255 runs to the block's
    // end: the table must follow the decoder there too.
    for (const int count : {0, 18, 255}) {
        SCOPED_TRACE(count);
        Bytes block(1024);
        for (std::size_t k = 0; k < block.size(); ++k) {
            block[k] = static_cast<std::uint8_t>(k * 37 + 11);
        }
        std::uint8_t letter = 'A';
        for (const qs::FieldInfo& f : qs::fieldTable()) {
            if (f.type == qs::FieldType::Text) {
                for (std::size_t i = 0; i < f.width; ++i) {
                    block[f.offset + i] = letter++;
                }
            }
        }
        block[qs::findField("ActivatedPinchRoller", 1)->offset] = static_cast<std::uint8_t>(count);

        const StatusMap map = analyse(block);
        std::set<std::pair<std::string, int>> described;
        for (const qs::Placement& p : qs::placements(block)) {
            described.emplace(p.field->key, p.index);
            const std::string where =
                std::string(p.field->key) + "[" + std::to_string(p.index) + "]";
            ASSERT_TRUE(map.count(p.field->key) && map.at(p.field->key).count(p.index)) << where;
            EXPECT_EQ(map.at(p.field->key).at(p.index), valueByTable(block, p)) << where;
        }
        for (const qs::FieldInfo& f : qs::fieldTable()) {
            if (f.type == qs::FieldType::Constant) {
                described.emplace(f.key, f.index);
                EXPECT_EQ(map.at(f.key).at(f.index), f.constant);
            }
        }
        for (const auto& [key, entries] : map) {
            for (const auto& entry : entries) {
                EXPECT_TRUE(described.count({key, entry.first})) << "undescribed " << key;
            }
        }
    }
}

// The examples' values cover every field, negative, largest and escaped
// texts included.
TEST_F(FieldDictionary, EncodeThenAnalyseGivesTheValuesBack) {
    for (const std::string name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        const auto values = nlohmann::json::parse(
            tooltest::readFile(tooltest::example("values/" + name + ".json")));
        const StatusMap map = analyse(qs::encodeBlock(values));
        for (const auto& item : values.items()) {
            const auto list =
                item.value().is_array() ? item.value() : nlohmann::json::array({item.value()});
            for (std::size_t i = 0; i < list.size(); ++i) {
                EXPECT_EQ(map.at(item.key()).at(static_cast<int>(i + 1)),
                          list[i].is_string() ? ParamIoXML::unescapeText(list[i].get<std::string>())
                                              : list[i].dump())
                    << name << ": " << item.key() << "[" << i + 1 << "]";
            }
        }
    }
}

}  // namespace
