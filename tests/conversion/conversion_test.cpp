// startConvertXML through the built analyzer module, loaded as a host loads
// it: with the shipped common module beside it, or as a copy in a directory
// of its own with a stand-in common module that the test loads first (the
// analyzer's load by bare name then finds the stand-in by its soname).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "capturing_sink.h"
#include "failing_allocator.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"
#include "unitcom/boostloginclude.h"
#include "xml_describe.h"

namespace {

namespace fs = std::filesystem;

const char kCommonSoname[] = "libprtOrvCommonStatusAnalyzer.so";

using Attributes = std::vector<std::pair<std::string, std::string>>;

struct Entry {
    std::string key;
    std::string value;
    Attributes attributes;

    bool operator==(const Entry& o) const {
        return key == o.key && value == o.value && attributes == o.attributes;
    }
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{\"" << e.key << "\", \"" << e.value << "\"";
    for (const auto& a : e.attributes) {
        *os << ", " << a.first << "=\"" << a.second << "\"";
    }
    *os << "}";
}

std::vector<Entry> entriesOf(const ParamIoXML& tree) {
    std::vector<Entry> out;
    for (const auto& e : tree.getElements()) {
        Entry entry{e.getName(), e.getValue(), {}};
        for (const auto& a : e.getAttributes()) {
            entry.attributes.emplace_back(a.name, a.value);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

class Library {
public:
    explicit Library(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW)) {
        if (handle_ == nullptr) {
            error_ = dlerror();
        }
    }
    ~Library() { close(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    template <typename Fn>
    Fn symbol(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }

    void close() {
        if (handle_ != nullptr) {
            dlclose(handle_);
            handle_ = nullptr;
        }
    }

private:
    void* handle_;
    std::string error_;
};

bool commonModuleLoaded() {
    if (void* handle = dlopen(kCommonSoname, RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(handle);
        return true;
    }
    return false;
}

// "startConvertXML -->", "convertXML <-- true", "startConvertXML   <text>":
// which function wrote the record, its kind and its message.
std::vector<std::string> trace(const testsupport::CapturingSink& sink) {
    std::vector<std::string> out;
    for (const auto& r : sink.records()) {
        std::string function = "?";
        if (r.currentFunction.find("startConvertXML") != std::string::npos) {
            function = "startConvertXML";
        } else if (r.currentFunction.find("convertXML(") != std::string::npos) {
            function = "convertXML";
        }
        out.push_back(function + " " + r.inOutType + (r.message.empty() ? "" : " " + r.message));
    }
    return out;
}

// A status block whose every model field holds a value of its own.
std::vector<char> craftedBlock() {
    std::vector<char> block(1024, 0);
    const auto put = [&block](unsigned offset, std::initializer_list<int> bytes) {
        for (int b : bytes) {
            block[offset++] = static_cast<char>(b);
        }
    };
    put(0x44, {0x19, 0x01, 0xF6, 0x00, 0x7F, 0xFF, 0x80, 0x02});  // 4 x (temperature, status)
    put(0x334, {' ', 'C', 'M', 'D', '-', 'X', ' ', ' '});         // cutting command name
    put(0x33C, {'1', '.', '2', 0});                               // cutting command version
    put(0x340, {8, 3, 10, 20, 30});  // total, activated, three settings
    put(0x352, {4, 1, 2, 5});        // tool, operation mode, register mark, job status
    put(0x35A, {0x01, 0x02});        // print and cut, 16-bit
    put(0x365, {6});                 // multi-layer printing
    return block;
}

const std::vector<Entry> kCraftedEntries = {
    {"DeviceStatus.Heaters", "", {}},
    {"DeviceStatus.Heaters.Heater", "", {{"No", "1"}}},
    {"DeviceStatus.Heaters.Heater.HeaterTemperature", "25", {}},
    {"DeviceStatus.Heaters.Heater.HeaterStatus", "1", {}},
    {"DeviceStatus.Heaters.Heater", "", {{"No", "2"}}},
    {"DeviceStatus.Heaters.Heater.HeaterTemperature", "-10", {}},
    {"DeviceStatus.Heaters.Heater.HeaterStatus", "0", {}},
    {"DeviceStatus.Heaters.Heater", "", {{"No", "3"}}},
    {"DeviceStatus.Heaters.Heater.HeaterTemperature", "127", {}},
    {"DeviceStatus.Heaters.Heater.HeaterStatus", "255", {}},
    {"DeviceStatus.Heaters.Heater", "", {{"No", "4"}}},
    {"DeviceStatus.Heaters.Heater.HeaterTemperature", "-128", {}},
    {"DeviceStatus.Heaters.Heater.HeaterStatus", "2", {}},
    {"DeviceStatus.CuttingCommandName", "CMD-X", {}},
    {"DeviceStatus.CuttingCommandVersion", "1.2", {}},
    {"DeviceStatus.TotalPinchRoller", "8", {}},
    {"DeviceStatus.ActivatedPinchRoller", "3", {}},
    {"DeviceStatus.PinchRollerPressureSettings", "", {}},
    {"DeviceStatus.PinchRollerPressureSettings.PinchRollerPressureSetting", "10", {}},
    {"DeviceStatus.PinchRollerPressureSettings.PinchRollerPressureSetting", "20", {}},
    {"DeviceStatus.PinchRollerPressureSettings.PinchRollerPressureSetting", "30", {}},
    {"DeviceStatus.ToolStatus", "4", {}},
    {"DeviceStatus.OperationMode", "1", {}},
    {"DeviceStatus.RegisterMarkType", "2", {}},
    {"DeviceStatus.MultiFunctionJobStatus", "5", {}},
    {"DeviceStatus.PrintAndCut", "258", {}},
    {"DeviceStatus.MultiLayerPrintingInformation", "6", {}},
};

// The keys convertXML looks up whatever the map holds.
const std::vector<std::string> kAlwaysReadKeys = {"HeaterTemperature",
                                                  "CuttingCommandName",
                                                  "CuttingCommandVersion",
                                                  "TotalPinchRoller",
                                                  "ActivatedPinchRoller",
                                                  "PinchRollerPressureSetting",
                                                  "ToolStatus",
                                                  "OperationMode",
                                                  "RegisterMarkType",
                                                  "MultiFunctionJobStatus",
                                                  "PrintAndCut",
                                                  "MultiLayerPrintingInformation"};

class ConversionTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // The logger must be this binary's: the module that creates it pins
        // itself, and these tests unload the analyzer.
        RynCmnLog::glob_logger::get();
    }

    void SetUp() override { ASSERT_FALSE(commonModuleLoaded()); }

    void TearDown() override {
        common_.reset();
        EXPECT_FALSE(commonModuleLoaded()) << "a reference to the common module was not released";
        analyzer_.reset();
    }

    void loadAnalyzer(const std::string& path) {
        analyzer_ = std::make_unique<Library>(path);
        ASSERT_TRUE(analyzer_->loaded()) << analyzer_->error();
        analyse_ = analyzer_->symbol<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
            OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName);
        convert_ = analyzer_->symbol<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
            OrvStatusAnalyzerQLX5100::kStartConvertXMLName);
        ASSERT_NE(analyse_, nullptr);
        ASSERT_NE(convert_, nullptr);
    }

    // A copy of the analyzer in a directory of its own, where no common
    // module lies beside it.
    static std::string isolatedAnalyzer() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        const fs::path dir = fs::path(ORV_TEST_WORK_DIR) / "isolated" / name;
        const fs::path source(ORV_ANALYZER_PATH);
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(source, dir / source.filename());
        return (dir / source.filename()).string();
    }

    // Loads a stand-in common module by its path, so that the analyzer's
    // load by bare name finds it by soname.
    void loadCommonDouble(const char* path) {
        common_ = std::make_unique<Library>(path);
        ASSERT_TRUE(common_->loaded()) << common_->error();
        ASSERT_TRUE(commonModuleLoaded());
    }

    StatusMap decodedMap() {
        std::vector<char> block = craftedBlock();
        StatusMap map;
        EXPECT_TRUE(analyse_(block.data(), block.size(), map));
        return map;
    }

    std::unique_ptr<Library> analyzer_;
    std::unique_ptr<Library> common_;
    OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis analyse_ = nullptr;
    OrvStatusAnalyzerQLX5100::PFN_startConvertXML convert_ = nullptr;
};

TEST_F(ConversionTest, DecodedStatusBecomesTheListedEntriesAndElementTree) {
    loadAnalyzer(ORV_ANALYZER_PATH);
    StatusMap map = decodedMap();
    ParamIoXML tree;
    testsupport::CapturingSink sink;
    EXPECT_TRUE(convert_(map, tree));
    EXPECT_EQ(entriesOf(tree), kCraftedEntries);
    EXPECT_EQ(trace(sink),
              (std::vector<std::string>{"startConvertXML -->", "convertXML -->",
                                        "convertXML <-- true", "startConvertXML <-- true"}));
    for (const auto& r : sink.records()) {
        EXPECT_EQ(r.severity, 10);
        EXPECT_EQ(r.srcFile, "orvstatusanalyzerqlx5100.cpp");
        EXPECT_TRUE(r.hasMessageId && r.messageId.empty());
    }

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(tree.toXml().c_str()));
    EXPECT_EQ(testsupport::describeXml(doc.document_element()),
              "DeviceStatus{Heaters{"
              "Heater[No=1]{HeaterTemperature=\"25\" HeaterStatus=\"1\"} "
              "Heater[No=2]{HeaterTemperature=\"-10\" HeaterStatus=\"0\"} "
              "Heater[No=3]{HeaterTemperature=\"127\" HeaterStatus=\"255\"} "
              "Heater[No=4]{HeaterTemperature=\"-128\" HeaterStatus=\"2\"}} "
              "CuttingCommandName=\"CMD-X\" CuttingCommandVersion=\"1.2\" "
              "TotalPinchRoller=\"8\" ActivatedPinchRoller=\"3\" "
              "PinchRollerPressureSettings{PinchRollerPressureSetting=\"10\" "
              "PinchRollerPressureSetting=\"20\" PinchRollerPressureSetting=\"30\"} "
              "ToolStatus=\"4\" OperationMode=\"1\" RegisterMarkType=\"2\" "
              "MultiFunctionJobStatus=\"5\" PrintAndCut=\"258\" "
              "MultiLayerPrintingInformation=\"6\"}");
}

struct CountingCase {
    const char* name;
    StatusMap input;
    std::vector<Entry> expected;
    // (key, index) pairs the lookups add with an empty text, besides the
    // always-read keys.
    std::vector<std::pair<std::string, int>> inserted;
};

void PrintTo(const CountingCase& c, std::ostream* os) {
    *os << c.name;
}

class ConversionCounting : public ConversionTest,
                           public testing::WithParamInterface<CountingCase> {};

TEST_P(ConversionCounting, WritesWhatTheEntriesCount) {
    loadAnalyzer(ORV_ANALYZER_PATH);
    const CountingCase& c = GetParam();
    StatusMap map = c.input;
    ParamIoXML tree;
    EXPECT_TRUE(convert_(map, tree));
    EXPECT_EQ(entriesOf(tree), c.expected);

    StatusMap expectedMap = c.input;
    for (const auto& key : kAlwaysReadKeys) {
        expectedMap[key];
    }
    for (const auto& added : c.inserted) {
        ASSERT_EQ(expectedMap[added.first].count(added.second), 0u) << added.first;
        expectedMap[added.first][added.second];
    }
    EXPECT_EQ(map, expectedMap);
}

const char kTemperature[] = "DeviceStatus.Heaters.Heater.HeaterTemperature";
const char kStatus[] = "DeviceStatus.Heaters.Heater.HeaterStatus";
const char kSetting[] = "DeviceStatus.PinchRollerPressureSettings.PinchRollerPressureSetting";

INSTANTIATE_TEST_SUITE_P(
    Cases, ConversionCounting,
    testing::Values(
        CountingCase{"EmptyMapWritesNothing", {}, {}, {}},
        CountingCase{
            "FourTemperaturesWithoutStatus",
            {{"HeaterTemperature", {{1, "1"}, {2, "2"}, {3, "3"}, {4, "4"}}},
             {"HeaterNumber", {{1, "1"}, {2, "2"}, {3, "3"}, {4, "4"}}}},
            {{"DeviceStatus.Heaters", "", {}},
             {"DeviceStatus.Heaters.Heater", "", {{"No", "1"}}},
             {kTemperature, "1", {}},
             {kStatus, "", {}},
             {"DeviceStatus.Heaters.Heater", "", {{"No", "2"}}},
             {kTemperature, "2", {}},
             {kStatus, "", {}},
             {"DeviceStatus.Heaters.Heater", "", {{"No", "3"}}},
             {kTemperature, "3", {}},
             {kStatus, "", {}},
             {"DeviceStatus.Heaters.Heater", "", {{"No", "4"}}},
             {kTemperature, "4", {}},
             {kStatus, "", {}}},
            {{"HeaterStatus", 1}, {"HeaterStatus", 2}, {"HeaterStatus", 3}, {"HeaterStatus", 4}}},
        // Only "HeaterTemperature" counts; "HeaterNumber" and "HeaterStatus"
        // are read at the counted indices, whatever else they hold.
        CountingCase{"HeatersCountedByTemperatureOnly",
                     {{"HeaterTemperature", {{1, "30"}, {2, "31"}}},
                      {"HeaterNumber", {{1, "7"}, {5, "9"}}},
                      {"HeaterStatus", {{1, "0"}, {2, "1"}, {3, "2"}}}},
                     {{"DeviceStatus.Heaters", "", {}},
                      {"DeviceStatus.Heaters.Heater", "", {{"No", "7"}}},
                      {kTemperature, "30", {}},
                      {kStatus, "0", {}},
                      {"DeviceStatus.Heaters.Heater", "", {{"No", ""}}},
                      {kTemperature, "31", {}},
                      {kStatus, "1", {}}},
                     {{"HeaterNumber", 2}}},
        CountingCase{"HeaterTemperatureAtIndexZeroCountsButIsNotRead",
                     {{"HeaterTemperature", {{0, "50"}, {1, "60"}}}},
                     {{"DeviceStatus.Heaters", "", {}},
                      {"DeviceStatus.Heaters.Heater", "", {{"No", ""}}},
                      {kTemperature, "60", {}},
                      {kStatus, "", {}},
                      {"DeviceStatus.Heaters.Heater", "", {{"No", ""}}},
                      {kTemperature, "", {}},
                      {kStatus, "", {}}},
                     {{"HeaterNumber", 1},
                      {"HeaterNumber", 2},
                      {"HeaterStatus", 1},
                      {"HeaterStatus", 2},
                      {"HeaterTemperature", 2}}},
        CountingCase{"NoActivatedRollerNoSettingsContainer",
                     {{"ActivatedPinchRoller", {{1, "0"}}}},
                     {{"DeviceStatus.ActivatedPinchRoller", "0", {}}},
                     {}},
        CountingCase{"SettingsCountedByEntriesNotByActivatedRollers",
                     {{"ActivatedPinchRoller", {{1, "2"}}},
                      {"PinchRollerPressureSetting", {{1, "5"}, {2, "6"}, {3, "7"}}}},
                     {{"DeviceStatus.ActivatedPinchRoller", "2", {}},
                      {"DeviceStatus.PinchRollerPressureSettings", "", {}},
                      {kSetting, "5", {}},
                      {kSetting, "6", {}},
                      {kSetting, "7", {}}},
                     {}},
        CountingCase{"SettingsAreReadAtOneToCount",
                     {{"PinchRollerPressureSetting", {{1, "5"}, {3, "7"}}}},
                     {{"DeviceStatus.PinchRollerPressureSettings", "", {}},
                      {kSetting, "5", {}},
                      {kSetting, "", {}}},
                     {{"PinchRollerPressureSetting", 2}}},
        CountingCase{"SingleValueAtIndexZeroIsWrittenEmpty",
                     {{"ToolStatus", {{0, "9"}}}, {"PrintAndCut", {{1, "258"}}}},
                     {{"DeviceStatus.ToolStatus", "", {}}, {"DeviceStatus.PrintAndCut", "258", {}}},
                     {{"ToolStatus", 1}}}),
    [](const testing::TestParamInfo<CountingCase>& info) { return info.param.name; });

// The failure paths, with the analyzer alone in a directory of its own.
class ConversionFailure : public ConversionTest {};

TEST_F(ConversionFailure, WithoutCommonModuleNeitherStepRuns) {
    // The test binary has no run path of its own: what it finds by bare
    // name, the analyzer copy finds too.
    if (void* handle = dlopen(kCommonSoname, RTLD_NOW)) {
        dlclose(handle);
        GTEST_SKIP() << "a common module is reachable through LD_LIBRARY_PATH or the system";
    }
    loadAnalyzer(isolatedAnalyzer());
    StatusMap map;
    ParamIoXML tree;
    tree.addElement("Host.Entry", "kept");
    testsupport::CapturingSink sink;
    EXPECT_FALSE(convert_(map, tree));
    EXPECT_EQ(trace(sink), (std::vector<std::string>{
                               "startConvertXML -->",
                               "startConvertXML   Failed to load [prtOrvCommonStatusAnalyzer.dll]",
                               "startConvertXML <-- false"}));
    EXPECT_EQ(entriesOf(tree), (std::vector<Entry>{{"Host.Entry", "kept", {}}}));
    EXPECT_TRUE(map.empty());
}

TEST_F(ConversionFailure, CommonModuleWithoutTheFunctionIsFreed) {
    loadCommonDouble(ORV_COMMON_DOUBLE_WITHOUT_CONVERT_PATH);
    loadAnalyzer(isolatedAnalyzer());
    StatusMap map;
    ParamIoXML tree;
    testsupport::CapturingSink sink;
    EXPECT_FALSE(convert_(map, tree));
    EXPECT_EQ(trace(sink),
              (std::vector<std::string>{"startConvertXML -->",
                                        "startConvertXML   Failed to get API [startConvertXML]",
                                        "startConvertXML <-- false"}));
    EXPECT_TRUE(tree.getElements().empty());
    EXPECT_TRUE(map.empty());
    // TearDown drops the test's own reference and checks that none is left.
}

struct CommonStepCase {
    const char* name;
    bool commonResult;
    bool expectedResult;
    std::vector<std::string> expectedTrace;
    std::vector<Entry> expectedTree;
};

void PrintTo(const CommonStepCase& c, std::ostream* os) {
    *os << c.name;
}

class ConversionCommonStep : public ConversionTest,
                             public testing::WithParamInterface<CommonStepCase> {};

TEST_P(ConversionCommonStep, ModelStepRunsOnlyAfterTheCommonStepSucceeded) {
    const CommonStepCase& c = GetParam();
    loadCommonDouble(ORV_COMMON_DOUBLE_PATH);
    common_->symbol<void (*)(bool, const char*)>("commonDoubleConfigure")(c.commonResult,
                                                                          "DeviceStatus.Common");
    loadAnalyzer(isolatedAnalyzer());
    StatusMap map = {{"ToolStatus", {{1, "4"}}}};
    ParamIoXML tree;
    testsupport::CapturingSink sink;
    EXPECT_EQ(convert_(map, tree), c.expectedResult);
    EXPECT_EQ(trace(sink), c.expectedTrace);
    EXPECT_EQ(entriesOf(tree), c.expectedTree);
    // The common step had the host's own objects, once.
    EXPECT_EQ(common_->symbol<int (*)()>("commonDoubleCalls")(), 1);
    EXPECT_EQ(common_->symbol<const void* (*)()>("commonDoubleLastMap")(), &map);
    EXPECT_EQ(common_->symbol<const void* (*)()>("commonDoubleLastTree")(), &tree);
    // convertXML, when it ran, added the keys it reads.
    EXPECT_EQ(map.size(), c.expectedResult ? kAlwaysReadKeys.size() : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConversionCommonStep,
    testing::Values(CommonStepCase{"CommonStepFalseStopsTheCall",
                                   false,
                                   false,
                                   {"startConvertXML -->",
                                    "startConvertXML   Common status XML conversion error",
                                    "startConvertXML <-- false"},
                                   {{"DeviceStatus.Common", "common", {}}}},
                    CommonStepCase{"ModelEntriesFollowTheCommonOnes",
                                   true,
                                   true,
                                   {"startConvertXML -->", "convertXML -->", "convertXML <-- true",
                                    "startConvertXML <-- true"},
                                   {{"DeviceStatus.Common", "common", {}},
                                    {"DeviceStatus.ToolStatus", "4", {}}}}),
    [](const testing::TestParamInfo<CommonStepCase>& info) { return info.param.name; });

// An allocation failure while "DeviceStatus.ToolStatus" is being appended:
// the n-th allocation once the tree holds every entry before it.
class ConversionAllocationFailure : public ConversionTest,
                                    public testing::WithParamInterface<std::size_t> {};

TEST_P(ConversionAllocationFailure, StopsAtTheFailingEntryAndKeepsTheEarlierOnes) {
    loadCommonDouble(ORV_COMMON_DOUBLE_PATH);
    common_->symbol<void (*)(bool, const char*)>("commonDoubleConfigure")(true,
                                                                          "DeviceStatus.Common");
    loadAnalyzer(isolatedAnalyzer());
    StatusMap map = decodedMap();

    std::vector<Entry> expected = kCraftedEntries;
    expected.insert(expected.begin(), Entry{"DeviceStatus.Common", "common", {}});
    const auto toolStatus = std::find_if(expected.begin(), expected.end(), [](const Entry& e) {
        return e.key == "DeviceStatus.ToolStatus";
    });
    expected.erase(toolStatus, expected.end());

    static std::size_t s_before;
    s_before = expected.size();
    const auto gate = [](const void* tree) {
        return static_cast<const ParamIoXML*>(tree)->getElements().size() == s_before;
    };

    ParamIoXML tree;
    testsupport::CapturingSink sink;
    failalloc::failNthOnceGateOpens(GetParam(), gate, &tree);
    const bool result = convert_(map, tree);
    failalloc::disarm();
    ASSERT_EQ(failalloc::injected(), 1u);

    EXPECT_FALSE(result);
    EXPECT_EQ(entriesOf(tree), expected);
    const std::vector<std::string> records = trace(sink);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0], "startConvertXML -->");
    EXPECT_EQ(records[1], "convertXML -->");
    EXPECT_EQ(records[2].rfind("convertXML   ErrorCode :0x00000003", 0), 0u) << records[2];
    EXPECT_NE(records[2].find("Comment :std::bad_alloc"), std::string::npos) << records[2];
    EXPECT_EQ(records[3], "convertXML <-- false");
    EXPECT_EQ(records[4], "startConvertXML   Status XML conversion error");
    EXPECT_EQ(records[5], "startConvertXML <-- false");
    EXPECT_EQ(sink.records()[2].severity, 13);
}

// 1: building the key path; 2: the list node in addElement (the key is moved
// in, the short value fits the string's own buffer).
INSTANTIATE_TEST_SUITE_P(FailingAllocation, ConversionAllocationFailure, testing::Values(1u, 2u));

}  // namespace
