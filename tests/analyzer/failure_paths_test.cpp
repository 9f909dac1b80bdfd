// startStatusAnalysis and statusAnalysis against stand-ins of the common
// module: what reaches the common step and the conversions, and on every
// failure path the exact record sequence, what stays in the map, and that no
// reference to the module is left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <boost/log/core.hpp>

#include "analyzer_harness.h"

namespace {

using commondouble::CommonMode;
using commondouble::Failure;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::MatchesRegex;
using namespace std::string_literals;

enum class Module { None, Full, NoStart, NoUShort, NoConversions };

const char* modulePath(Module module) {
    switch (module) {
        case Module::Full:
            return ORV_DOUBLE_FULL;
        case Module::NoStart:
            return ORV_DOUBLE_NO_START;
        case Module::NoUShort:
            return ORV_DOUBLE_NO_USHORT;
        case Module::NoConversions:
            return ORV_DOUBLE_NO_CONVERSIONS;
        case Module::None:
            break;
    }
    return nullptr;
}

// The block every case decodes: three pinch-roller settings, so that the
// conversion calls run 1-8 heaters, 9-10 pinch-roller counts, 11-13
// settings, 14 ToolStatus ... 18 PrintAndCut, 19 MultiLayerPrintingInformation.
void fillBlock(harness::GuardedBlock& block) {
    block.set(0x44, "\x9C\x01"s);  // heater 1: -100, status 1
    block.set(0x334, "CUT\0"s);
    block.set(0x33C, "2.1\0"s);
    block.set(0x340, "\x08\x03\x0A\x14\x1E"s);
    block.set(0x352, "\x05"s);
    block.set(0x35A, "\x01\x02"s);
}

// What statusAnalysis writes for that block, in the order it writes it.
std::vector<std::pair<std::string, std::pair<int, std::string>>> decodedInOrder() {
    std::vector<std::pair<std::string, std::pair<int, std::string>>> out;
    for (int n = 1; n <= 4; ++n) {
        out.push_back({"HeaterNumber", {n, std::to_string(n)}});
        out.push_back({"HeaterTemperature", {n, n == 1 ? "-100" : "0"}});
        out.push_back({"HeaterStatus", {n, n == 1 ? "1" : "0"}});
    }
    out.push_back({"CuttingCommandName", {1, "CUT"}});
    out.push_back({"CuttingCommandVersion", {1, "2.1"}});
    out.push_back({"TotalPinchRoller", {1, "8"}});
    out.push_back({"ActivatedPinchRoller", {1, "3"}});
    out.push_back({"PinchRollerPressureSetting", {1, "10"}});
    out.push_back({"PinchRollerPressureSetting", {2, "20"}});
    out.push_back({"PinchRollerPressureSetting", {3, "30"}});
    out.push_back({"ToolStatus", {1, "5"}});
    out.push_back({"OperationMode", {1, "0"}});
    out.push_back({"RegisterMarkType", {1, "0"}});
    out.push_back({"MultiFunctionJobStatus", {1, "0"}});
    out.push_back({"PrintAndCut", {1, "258"}});
    out.push_back({"MultiLayerPrintingInformation", {1, "0"}});
    return out;
}
constexpr std::size_t kAllDecoded = 25;
constexpr std::size_t kBeforeToolStatus = 19;

// An error record holding an exception record's text.
Matcher<std::string> exceptionRecord(const std::string& who, const std::string& info,
                                     const std::string& comment) {
    return MatchesRegex(who + "\\| \\|ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :" +
                        info + "\nComment :" + comment);
}

const char kReadFault[] =
    "The instruction at 0x[0-9A-F]+ referenced memory at 0x10\\. The memory could not be read\\.";

// Which module stands in front of the analyzer and what it is told to do.
struct Setup {
    Module module;
    std::size_t size;
    CommonMode commonMode;
    int failAtCall;  // 14 is ToolStatus, see fillBlock()
    Failure failure;
};

struct FailureCase {
    const char* name;
    Setup setup;
    std::size_t decoded;  // leading entries of decodedInOrder() left in the map
    std::vector<Matcher<std::string>> trace;
};

// How failed calls end.
const char kModelEnd[] = "model|<--|false";
const char kStartEnd[] = "start|<--|false";
const char kModelFailed[] = "start| |Status analysis error";

const FailureCase kCases[] = {
    {"Success",
     {Module::Full, 1024, CommonMode::Succeed, 0, Failure::None},
     kAllDecoded,
     {"start|-->|", "model|-->|", "release", "model|<--|true", "release", "start|<--|true"}},
    {"NoCommonModule",
     {Module::None, 1024, CommonMode::Succeed, 0, Failure::None},
     0,
     {"start|-->|", "start| |Failed to load [prtOrvCommonStatusAnalyzer.dll]", kStartEnd}},
    {"BlockOf1023",
     {Module::Full, 1023, CommonMode::Succeed, 0, Failure::None},
     0,
     {"start|-->|", "start| |Status size error", kStartEnd}},
    {"NoStartStatusAnalysis",
     {Module::NoStart, 1024, CommonMode::Succeed, 0, Failure::None},
     0,
     {"start|-->|", "start| |Failed to get API [startStatusAnalysis]", "release", kStartEnd}},
    {"CommonReturnsFalse",
     {Module::Full, 1024, CommonMode::ReturnFalse, 0, Failure::None},
     0,
     {"start|-->|", "start| |Common status analysis error", "release", kStartEnd}},
    {"CommonThrowsStd",
     {Module::Full, 1024, CommonMode::ThrowStd, 0, Failure::None},
     0,
     {"start|-->|", exceptionRecord("start", "", commondouble::kCommonWhat), "release", kStartEnd}},
    {"CommonThrowsInt",
     {Module::Full, 1024, CommonMode::ThrowInt, 0, Failure::None},
     0,
     {"start|-->|", exceptionRecord("start", "", ""), "release", kStartEnd}},
    {"CommonFaults",
     {Module::Full, 1024, CommonMode::Fault, 0, Failure::None},
     0,
     {"start|-->|", exceptionRecord("start", kReadFault, ""), "release", kStartEnd}},
    {"NoUShortConversion",
     {Module::NoUShort, 1024, CommonMode::Succeed, 0, Failure::None},
     0,
     {"start|-->|", "model|-->|", "model| |Failed to get API [convertBigUShortToLittleINT32]",
      "release", kModelEnd, kModelFailed, "release", kStartEnd}},
    {"NoConversions",
     {Module::NoConversions, 1024, CommonMode::Succeed, 0, Failure::None},
     0,
     {"start|-->|", "model|-->|", "model| |Failed to get API [convertBigCharToLittleINT32]",
      "model| |Failed to get API [convertBigUCharToLittleINT32]",
      "model| |Failed to get API [convertBigUShortToLittleINT32]", "release", kModelEnd,
      kModelFailed, "release", kStartEnd}},
    {"ToolStatusThrowsStd",
     {Module::Full, 1024, CommonMode::Succeed, 14, Failure::ThrowStd},
     kBeforeToolStatus,
     {"start|-->|", "model|-->|", exceptionRecord("model", "", commondouble::kConversionWhat),
      "release", kModelEnd, kModelFailed, "release", kStartEnd}},
    {"PrintAndCutFaults",
     {Module::Full, 1024, CommonMode::Succeed, 18, Failure::Fault},
     kBeforeToolStatus + 4,
     {"start|-->|", "model|-->|", exceptionRecord("model", kReadFault, ""), "release", kModelEnd,
      kModelFailed, "release", kStartEnd}},
    {"LastConversionThrowsInt",
     {Module::Full, 1024, CommonMode::Succeed, 19, Failure::ThrowInt},
     kAllDecoded - 1,
     {"start|-->|", "model|-->|", exceptionRecord("model", "", ""), "release", kModelEnd,
      kModelFailed, "release", kStartEnd}},
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

// Severity by kind; file and empty messageId everywhere; entry and error
// records name their function, exit records the closure inside it.
void expectRecordAttributes(const std::vector<testsupport::CapturedRecord>& records) {
    std::map<std::string, std::string> entryFunction;  // by "start"/"model"
    const auto traced = harness::trace(records);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        if (traced[i] == "release") {
            continue;
        }
        SCOPED_TRACE(traced[i]);
        const std::string who = traced[i].substr(0, traced[i].find('|'));
        EXPECT_EQ(r.severity, r.inOutType == " " ? 13 : 10);
        EXPECT_EQ(r.srcFile, "orvstatusanalyzerqlx5100.cpp");
        EXPECT_THAT(r.srcLine, MatchesRegex("[1-9][0-9]*"));
        EXPECT_TRUE(r.hasMessageId);
        EXPECT_EQ(r.messageId, "");
        EXPECT_TRUE(r.hasTimeStamp && r.hasUtcTimeStamp && r.hasProcess && r.hasThreadId);
        if (r.inOutType == "-->") {
            entryFunction[who] = r.currentFunction;
        } else if (r.inOutType == " ") {
            EXPECT_EQ(r.currentFunction, entryFunction[who]);
        } else {
            EXPECT_NE(r.currentFunction, entryFunction[who]);
            EXPECT_THAT(r.currentFunction, HasSubstr("lambda"));
        }
    }
}

class FailurePaths : public ::testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override { ASSERT_FALSE(harness::anyCommonModuleLoaded()); }
    void TearDown() override { boost::log::core::get()->set_logging_enabled(true); }
};

TEST_P(FailurePaths, RecordsMapAndModuleRelease) {
    const FailureCase& c = GetParam();
    for (const bool logging : {true, false}) {
        SCOPED_TRACE(logging ? "logging enabled" : "logging disabled");
        std::optional<harness::CommonModule> common;
        if (c.setup.module != Module::None) {
            common.emplace(modulePath(c.setup.module));
            commondouble::State& state = *common->state();
            state.commonMode = c.setup.commonMode;
            state.failAtCall = c.setup.failAtCall;
            state.failure = c.setup.failure;
        }
        harness::GuardedBlock block(c.setup.size);
        fillBlock(block);
        StatusMap map{{"Foreign", {{0, "host entry"}}}};
        testsupport::CapturingSink sink;
        boost::log::core::get()->set_logging_enabled(logging);

        const bool result = harness::startStatusAnalysis()(block.data(), block.size(), map);
        boost::log::core::get()->set_logging_enabled(true);

        EXPECT_EQ(result, c.decoded == kAllDecoded);
        const bool commonRan = c.setup.size >= 1024 && c.setup.module != Module::None &&
                               c.setup.module != Module::NoStart;
        StatusMap expected{{"Foreign", {{0, "host entry"}}}};
        if (commonRan) {
            expected[commondouble::kCommonKey][1] = commondouble::kCommonValue;
        }
        const auto decoded = decodedInOrder();
        for (std::size_t i = 0; i < c.decoded; ++i) {
            expected[decoded[i].first].insert(decoded[i].second);
        }
        EXPECT_EQ(map, expected);
        if (common) {
            EXPECT_EQ(common->state()->commonCalls, commonRan ? 1 : 0);
            EXPECT_TRUE(common->releaseAndCheckUnloaded());
        }
        if (logging) {
            EXPECT_THAT(harness::trace(sink.records()), ::testing::ElementsAreArray(c.trace));
            expectRecordAttributes(sink.records());
        } else {
            EXPECT_TRUE(sink.records().empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StartStatusAnalysis, FailurePaths, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The common step gets the host's block, size and map as they are; each
// conversion gets the block's start advanced by its field's offset.
TEST(Delegation, ArgumentsReachTheCommonModuleUnchanged) {
    ASSERT_FALSE(harness::anyCommonModuleLoaded());
    harness::CommonModule common(ORV_DOUBLE_FULL);
    harness::GuardedBlock block(1100);
    fillBlock(block);
    StatusMap map;
    ASSERT_TRUE(harness::startStatusAnalysis()(block.data(), block.size(), map));

    const commondouble::State& state = *common.state();
    EXPECT_EQ(state.commonCalls, 1);
    EXPECT_EQ(state.commonStatus, block.data());
    EXPECT_EQ(state.commonSize, 1100u);
    EXPECT_EQ(state.commonMap, &map);

    const auto call = [](char kind, unsigned offset) {
        char text[16];
        std::snprintf(text, sizeof text, "%c 0x%X", kind, offset);
        return std::string(text);
    };
    std::vector<std::string> expected;
    for (unsigned heater = 0; heater < 4; ++heater) {
        expected.push_back(call('s', 0x44 + 2 * heater));
        expected.push_back(call('u', 0x45 + 2 * heater));
    }
    for (unsigned offset : {0x340, 0x341, 0x342, 0x343, 0x344, 0x352, 0x353, 0x354, 0x355}) {
        expected.push_back(call('u', offset));
    }
    expected.push_back(call('w', 0x35A));
    expected.push_back(call('u', 0x365));

    std::vector<std::string> calls;
    for (std::size_t i = 0; i < state.conversionCount; ++i) {
        static const char kinds[] = {'s', 'u', 'w'};
        calls.push_back(call(kinds[static_cast<int>(state.conversions[i].kind)],
                             static_cast<unsigned>(state.conversions[i].pointer - block.data())));
    }
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(calls.at(13), call('u', 0x352)) << "the failure cases count ToolStatus as call 14";
    EXPECT_TRUE(common.releaseAndCheckUnloaded());
}

// Faults are translated on threads that started after the analyzer was
// loaded, not only on the one that loaded it.
TEST(Delegation, FaultOnALaterThreadEndsAsFalse) {
    harness::startStatusAnalysis();
    ASSERT_FALSE(harness::anyCommonModuleLoaded());
    harness::CommonModule common(ORV_DOUBLE_FULL);
    common.state()->failAtCall = 18;
    common.state()->failure = Failure::Fault;
    harness::GuardedBlock block(1024);
    fillBlock(block);
    StatusMap map;
    bool result = true;
    std::thread([&] {
        result = harness::startStatusAnalysis()(block.data(), block.size(), map);
    }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(map.count("MultiFunctionJobStatus"), 1u);
    EXPECT_EQ(map.count("PrintAndCut"), 0u);
    EXPECT_TRUE(common.releaseAndCheckUnloaded());
}

}  // namespace
