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
    for (const int count : {0, 3, 16, 18, 255}) {
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
            ASSERT_TRUE(map.count(p.field->key) && map.at(p.field->key).count(p.index))
                << "count " << count << ": the decoder wrote no " << p.field->key << "[" << p.index
                << "]";
            EXPECT_EQ(map.at(p.field->key).at(p.index), valueByTable(block, p))
                << "count " << count << ": " << p.field->key << "[" << p.index << "] at "
                << p.offset;
        }
        for (const qs::FieldInfo& f : qs::fieldTable()) {
            if (f.type == qs::FieldType::Constant) {
                described.emplace(f.key, f.index);
                EXPECT_EQ(map.at(f.key).at(f.index), f.constant);
            }
        }
        for (const auto& [key, entries] : map) {
            for (const auto& entry : entries) {
                EXPECT_TRUE(described.count({key, entry.first}))
                    << "count " << count << ": the table does not describe " << key << "["
                    << entry.first << "]";
            }
        }
    }
}

// A distinct value for every field, in the forms encode takes.
nlohmann::json distinctValues() {
    nlohmann::json values = nlohmann::json::object();
    int v = 1;
    for (const qs::FieldInfo& f : qs::fieldTable()) {
        nlohmann::json value;
        switch (f.type) {
            case qs::FieldType::Constant:
                continue;
            case qs::FieldType::Int8:
                value = -v;
                break;
            case qs::FieldType::UInt8:
                value = 100 + v;
                break;
            case qs::FieldType::UInt16BE:
                value = std::to_string(1000 * v + v);  // decimal strings are taken too
                break;
            case qs::FieldType::Text:
                value = std::string(f.width, static_cast<char>('a' + v));
                break;
        }
        ++v;
        if (f.countedBy != nullptr) {
            nlohmann::json list = nlohmann::json::array();
            for (int i = 0; i < 16; ++i) {
                list.push_back(200 + i);
            }
            values[f.key] = list;
        } else if (qs::findField(f.key, 2) != nullptr) {
            values[f.key].push_back(value);
        } else {
            values[f.key] = value;
        }
    }
    values.erase("ActivatedPinchRoller");  // encode counts the settings itself
    return values;
}

TEST_F(FieldDictionary, EncodeThenAnalyseGivesTheValuesBack) {
    std::vector<std::pair<std::string, nlohmann::json>> inputs = {{"distinct", distinctValues()}};
    for (const char* name :
         {"normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"}) {
        inputs.emplace_back(name, nlohmann::json::parse(tooltest::readFile(
                                      tooltest::example(std::string("values/") + name + ".json"))));
    }
    for (const auto& [name, values] : inputs) {
        const StatusMap map = analyse(qs::encodeBlock(values));
        for (const auto& item : values.items()) {
            const nlohmann::json list =
                item.value().is_array() ? item.value() : nlohmann::json::array({item.value()});
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string expected =
                    list[i].is_string() ? ParamIoXML::unescapeText(list[i].get<std::string>())
                                        : list[i].dump();
                EXPECT_EQ(map.at(item.key()).at(static_cast<int>(i + 1)), expected)
                    << name << ": " << item.key() << "[" << i + 1 << "]";
            }
        }
        if (values.contains("PinchRollerPressureSetting") &&
            !values.contains("ActivatedPinchRoller")) {
            EXPECT_EQ(map.at("ActivatedPinchRoller").at(1),
                      std::to_string(values["PinchRollerPressureSetting"].size()))
                << name;
        }
    }
}

TEST(Encode, RefusesWhatWouldNotComeBack) {
    const struct {
        const char* json;
        const char* says;
    } cases[] = {
        {R"([])", "expected a JSON object"},
        {R"({"ToolStat": 1})", "unknown field \"ToolStat\""},
        {R"({"ToolStatus": 256})", "ToolStatus: 256 is outside 0..255"},
        {R"({"HeaterTemperature": [0, -129]})", "HeaterTemperature[2]: -129 is outside -128..127"},
        {R"({"PrintAndCut": "12a"})", "not a decimal integer"},
        {R"({"ToolStatus": [1]})", "expected an integer"},
        {R"({"HeaterStatus": 1})", "expected an array"},
        {R"({"HeaterStatus": [1, 2, 3, 4, 5]})", "room for 4"},
        {R"({"CuttingCommandVersion": "12345"})", "5 bytes; the field holds 4"},
        {R"({"CuttingCommandName": "a\u0000b"})", "NUL"},
        {R"({"CuttingCommandName": "a\\q"})", "backslash"},
        {R"({"HeaterNumber": [1, 3]})", "HeaterNumber[2]: is always 2"},
        {R"({"PinchRollerPressureSetting": [0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]})", "room for 16"},
    };
    for (const auto& c : cases) {
        try {
            qs::encodeBlock(nlohmann::json::parse(c.json));
            ADD_FAILURE() << c.json << ": accepted";
        } catch (const qs::EncodeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
                << c.json << ": " << e.what();
        }
    }
}

}  // namespace
