#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "render.h"

namespace {

using qlx5100status::Json;
using qlx5100status::treeToJson;

struct Entry {
    const char* key;
    const char* value;  // null: no value
    const char* attribute = nullptr;
    const char* attributeValue = nullptr;
};

ParamIoXML tree(std::initializer_list<Entry> entries) {
    ParamIoXML t;
    for (const Entry& e : entries) {
        IoXMLDefine* d = e.value != nullptr ? t.addElement(e.key, e.value) : t.addElement(e.key);
        if (e.attribute != nullptr) {
            d->setAttribute(e.attribute, e.attributeValue);
        }
    }
    return t;
}

struct Case {
    const char* name;
    ParamIoXML tree;
    const char* json;
};

TEST(JsonMapping, ShapesFollowTheElementTree) {
    const Case cases[] = {
        {"empty tree", tree({}), R"({})"},
        {"implicit root, leaves as strings",
         tree({{"DeviceStatus.ToolStatus", "1"}, {"DeviceStatus.PrintAndCut", "258"}}),
         R"({"DeviceStatus":{"ToolStatus":"1","PrintAndCut":"258"}})"},
        {"repeated names become an array in order",
         tree({{"A.B", "1"}, {"A.C", "x"}, {"A.B", "2"}}), R"({"A":{"B":["1","2"],"C":"x"}})"},
        {"Heater is an array even alone, attributes as @",
         tree({{"D.Heaters", nullptr},
               {"D.Heaters.Heater", nullptr, "No", "1"},
               {"D.Heaters.Heater.HeaterTemperature", "25"}}),
         R"({"D":{"Heaters":{"Heater":[{"@No":"1","HeaterTemperature":"25"}]}}})"},
        {"children go to the latest element of their parent's path",
         tree({{"D.H", nullptr, "No", "1"},
               {"D.H.T", "10"},
               {"D.H", nullptr, "No", "2"},
               {"D.H.T", "20"}}),
         R"({"D":{"H":[{"@No":"1","T":"10"},{"@No":"2","T":"20"}]}})"},
        {"a value beside attributes is #text", tree({{"A", "v", "k", "w"}}),
         R"({"A":{"@k":"w","#text":"v"}})"},
        {"a single setting is still an array", tree({{"D.PinchRollerPressureSetting", "7"}}),
         R"({"D":{"PinchRollerPressureSetting":["7"]}})"},
        {"values escaped as in the XML",
         tree({{"A",
                "\x01"
                "a\\b\xFF"}}),
         R"({"A":"\\x01a\\\\b\\xFF"})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(treeToJson(c.tree).dump(), Json::parse(c.json).dump()) << c.name;
    }
}

TEST(JsonMapping, DumpIsValidJsonWhateverTheBytes) {
    std::string every;
    for (int i = 1; i < 256; ++i) {
        every += static_cast<char>(i);
    }
    const ParamIoXML t = tree({{"A", every.c_str()}});
    const auto parsed = nlohmann::json::parse(qlx5100status::dumpJson(treeToJson(t)));
    EXPECT_EQ(ParamIoXML::unescapeText(parsed["A"].get<std::string>()), every);
}

}  // namespace
