// The descriptions the tool hands to other tools: the JSON Schemas against
// the field dictionary they describe, and the Kaitai Struct description's
// shape. Whether real tools accept them is the process tests' part
// (kaitai_test.js, schema_test.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "fields.h"
#include "kaitai.h"
#include "schemas.h"

namespace {

using namespace qlx5100status;

Json schema(const std::string& name) {
    for (const SchemaFile& f : schemaFiles()) {
        if (name == f.name) {
            return Json::parse(f.text);
        }
    }
    ADD_FAILURE() << "no schema " << name;
    return Json::object();
}

// "#/$defs/NAME" -> the definition.
const Json& resolve(const Json& root, const Json& ref) {
    const std::string text = ref.get<std::string>();
    const std::string prefix = "#/$defs/";
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    return root.at("$defs").at(text.substr(prefix.size()));
}

// A value schema's item type: itself, or its items' for an array.
const Json& itemOf(const Json& root, const Json& value) {
    const Json& v = value.contains("$ref") ? resolve(root, value["$ref"]) : value;
    return v.contains("items") ? resolve(root, v["items"]["$ref"]) : v;
}

std::set<std::string> dictionaryKeys() {
    std::set<std::string> keys;
    for (const FieldInfo& f : fieldTable()) {
        keys.insert(f.key);
    }
    return keys;
}

TEST(Schemas, EachIsDraft202012WithAVersionedIdOfItsName) {
    const std::regex id(R"(https://qlx5100-status\.invalid/schemas/([a-z-]+)/([1-9][0-9]*))");
    std::set<std::string> ids;
    for (const SchemaFile& f : schemaFiles()) {
        SCOPED_TRACE(f.name);
        const Json s = Json::parse(f.text);
        EXPECT_EQ(s.at("$schema"), "https://json-schema.org/draft/2020-12/schema");
        std::smatch m;
        const std::string text = s.at("$id").get<std::string>();
        ASSERT_TRUE(std::regex_match(text, m, id)) << text;
        EXPECT_EQ(m[1], f.name);
        EXPECT_TRUE(ids.insert(text).second);
    }
}

TEST(Schemas, TheBundleHoldsEveryFileUnderItsName) {
    const Json bundle = schemaBundle();
    ASSERT_EQ(bundle.at("$defs").size(), schemaFiles().size());
    for (const SchemaFile& f : schemaFiles()) {
        EXPECT_EQ(bundle["$defs"].at(f.name), Json::parse(f.text)) << f.name;
    }
}

// The ndjson values are typed as the dictionary says: every key, with its
// type's range, an array where the key has several indices.
TEST(Schemas, NdjsonValuesFollowTheDictionary) {
    const Json s = schema("ndjson-record");
    const Json& values = s["$defs"]["values"]["properties"];
    std::set<std::string> described;
    for (const auto& [key, value] : values.items()) {
        described.insert(key);
    }
    EXPECT_EQ(described, dictionaryKeys());
    for (const FieldInfo& f : fieldTable()) {
        SCOPED_TRACE(f.key);
        const Json& value = values.at(f.key);
        const bool several = hasSeveralIndices(f);
        EXPECT_EQ(value.contains("items"), several);
        const Json& item = itemOf(s, value);
        const FieldTypeInfo& type = typeInfo(f.type);
        if (f.type == FieldType::Text) {
            EXPECT_EQ(item.at("type"), "string");
        } else if (f.type == FieldType::Constant) {
            const long long n = std::stoll(f.constant);
            EXPECT_LE(item.at("minimum").get<long long>(), n);
            EXPECT_GE(item.at("maximum").get<long long>(), n);
        } else {
            EXPECT_EQ(item.at("minimum").get<long long>(), type.low);
            EXPECT_EQ(item.at("maximum").get<long long>(), type.high);
        }
        if (several && f.countedBy == nullptr) {
            EXPECT_GE(value.at("maxItems").get<int>(), f.index);
        }
        if (f.countedBy != nullptr) {
            EXPECT_EQ(value.at("maxItems").get<long long>(),
                      typeInfo(findField(f.countedBy, 1)->type).high);
        }
    }
}

// Every model key has its element in the --format json tree: at the top of
// DeviceStatus, in a heater or in the pressure settings' list.
TEST(Schemas, TheJsonTreeHasAnElementForEveryKey) {
    const Json s = schema("status");
    const Json& device = s["$defs"]["deviceStatus"]["properties"];
    const Json& heater = s["$defs"]["heater"]["properties"];
    const Json& settings = device["PinchRollerPressureSettings"]["properties"];
    for (const std::string& key : dictionaryKeys()) {
        if (key == "HeaterNumber") {
            EXPECT_TRUE(heater.contains("@No"));
            continue;
        }
        EXPECT_TRUE(device.contains(key) || heater.contains(key) || settings.contains(key)) << key;
    }
}

TEST(Schemas, DescribeNamesExactlyTheFieldTypes) {
    const Json s = schema("describe");
    std::set<std::string> names;
    for (const FieldTypeInfo& t : fieldTypes()) {
        names.insert(t.name);
    }
    const Json& types = s["$defs"]["field"]["properties"]["type"]["enum"];
    EXPECT_EQ(std::set<std::string>(types.begin(), types.end()), names);
}

// One instance per row of the dictionary, each at its offset; the counted
// row's length is its count's instance.
TEST(Kaitai, OneInstancePerRowAtItsOffset) {
    std::ostringstream out;
    writeKaitai(out);
    const std::string ksy = out.str();
    std::istringstream lines(ksy);
    std::string line;
    std::vector<std::string> ids;
    std::vector<std::string> positions;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex("  ([a-z0-9_]+):"))) {
            ids.push_back(m[1]);
        } else if (std::regex_match(line, m, std::regex("    pos: (0x[0-9a-f]+)"))) {
            positions.push_back(m[1]);
        }
    }
    ASSERT_EQ(ids.size(), fieldTable().size()) << ksy;
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
    std::vector<std::string> expected;
    for (const FieldInfo& f : fieldTable()) {
        if (f.type != FieldType::Constant) {
            expected.push_back(hexOffset(f.offset));
        }
    }
    EXPECT_EQ(positions, expected);
    EXPECT_NE(ksy.find("repeat-expr: \"activated_pinch_roller < (_io.size - 0x342) / 1 ? "),
              std::string::npos)
        << ksy;
}

}  // namespace
