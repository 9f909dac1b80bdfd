// Both entry points against stand-ins of the common module, on every path:
// the exact record sequence, what stays in the map or the tree, that the
// module is released before the exit record and that no reference to it is
// left behind.
#include <gtest/gtest.h>
#include <regex.h>

#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <boost/log/core.hpp>

#include "analyzer_harness.h"
#include "failing_allocator.h"
#include "text_forms.h"

namespace {

using commondouble::CommonMode;
using commondouble::Failure;
using namespace std::string_literals;

// The block every analysis decodes. Its conversion calls run 1-8 heaters,
// 9-10 pinch-roller counts, 11-13 settings, 14 ToolStatus ... 18 PrintAndCut,
// 19 MultiLayerPrintingInformation.
void fillBlock(harness::GuardedBlock& block) {
    block.set(0x44, "\x9C\x01\x7F\x02\x80\xFF\x00\x03"s);  // heaters: temperature, status
    block.set(0x334, "CUT\0"s);
    block.set(0x33C, "2.1\0"s);
    block.set(0x340, "\x08\x03\x0A\x14\x1E"s);  // total, activated, three settings
    block.set(0x352, "\x05"s);
    block.set(0x35A, "\x01\x02"s);
}

// What statusAnalysis writes for that block, in the order it writes it.
const std::vector<std::string> kDecoded = testsupport::splitItems(
    "HeaterNumber[1]=1; HeaterTemperature[1]=-100; HeaterStatus[1]=1; HeaterNumber[2]=2; "
    "HeaterTemperature[2]=127; HeaterStatus[2]=2; HeaterNumber[3]=3; HeaterTemperature[3]=-128; "
    "HeaterStatus[3]=255; HeaterNumber[4]=4; HeaterTemperature[4]=0; HeaterStatus[4]=3; "
    "CuttingCommandName[1]=CUT; CuttingCommandVersion[1]=2.1; TotalPinchRoller[1]=8; "
    "ActivatedPinchRoller[1]=3; PinchRollerPressureSetting[1]=10; "
    "PinchRollerPressureSetting[2]=20; PinchRollerPressureSetting[3]=30; ToolStatus[1]=5; "
    "OperationMode[1]=0; RegisterMarkType[1]=0; MultiFunctionJobStatus[1]=0; PrintAndCut[1]=258; "
    "MultiLayerPrintingInformation[1]=0");

// What convertXML appends for the map so decoded, in order.
const std::vector<std::string> kConverted = testsupport::splitItems(
    "Heaters; Heaters.Heater[No=1]; Heaters.Heater.HeaterTemperature=-100; "
    "Heaters.Heater.HeaterStatus=1; Heaters.Heater[No=2]; Heaters.Heater.HeaterTemperature=127; "
    "Heaters.Heater.HeaterStatus=2; Heaters.Heater[No=3]; Heaters.Heater.HeaterTemperature=-128; "
    "Heaters.Heater.HeaterStatus=255; Heaters.Heater[No=4]; Heaters.Heater.HeaterTemperature=0; "
    "Heaters.Heater.HeaterStatus=3; CuttingCommandName=CUT; CuttingCommandVersion=2.1; "
    "TotalPinchRoller=8; ActivatedPinchRoller=3; PinchRollerPressureSettings; "
    "PinchRollerPressureSettings.PinchRollerPressureSetting=10; "
    "PinchRollerPressureSettings.PinchRollerPressureSetting=20; "
    "PinchRollerPressureSettings.PinchRollerPressureSetting=30; ToolStatus=5; OperationMode=0; "
    "RegisterMarkType=0; MultiFunctionJobStatus=0; PrintAndCut=258; "
    "MultiLayerPrintingInformation=0");

// The tree holds the host's entry, the common step's and convertXML's up to
// "ToolStatus".
bool treeReachedToolStatus(const void* tree) {
    return static_cast<const ParamIoXML*>(tree)->getElements().size() == 2 + 21;
}

// The groups of a POSIX extended pattern in text; empty when it does not match.
std::vector<std::string> groups(const char* pattern, const std::string& text) {
    regex_t re;
    regmatch_t match[4];
    std::vector<std::string> out;
    if (regcomp(&re, pattern, REG_EXTENDED) == 0) {
        if (regexec(&re, text.c_str(), 4, match, 0) == 0) {
            for (int i = 0; i < 4 && match[i].rm_so >= 0; ++i) {
                out.push_back(text.substr(match[i].rm_so, match[i].rm_eo - match[i].rm_so));
            }
        }
        regfree(&re);
    }
    return out;
}

// The record trace on one line, "; " between records; an exception record's
// text as {INFO|COMMENT}, an access violation's INFO as "read fault at ADDRESS".
std::string traceText(const std::vector<testsupport::CapturedRecord>& records) {
    std::string out;
    for (std::string record : harness::trace(records)) {
        const auto e = groups(
            "^(.*)ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :(.*)\nComment :(.*)$",
            record);
        if (!e.empty()) {
            const auto v = groups(
                "^The instruction at 0x[0-9A-F]+ referenced memory at (0x[0-9A-F]+)\\. "
                "The memory could not be (read|write)\\.$",
                e[2]);
            record =
                e[1] + "{" + (v.empty() ? e[2] : v[2] + " fault at " + v[1]) + "|" + e[3] + "}";
        }
        out += (out.empty() ? "" : "; ") + record;
    }
    return out;
}

enum class Entry { Analyse, Convert };

struct Case {
    const char* name;
    Entry entry;
    const char* module;  // loaded by the test first; null: none
    std::size_t size;    // of the status block
    CommonMode commonMode;
    // Analyse: the conversion call that fails as `failure` says (14 is
    // ToolStatus). Convert: the allocation that fails once convertXML appends
    // "ToolStatus" (1: its key path, 2: inside addElement).
    int failAt;
    Failure failure;
    std::size_t modelEntries;  // leading kDecoded / kConverted entries left
    const char* trace;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

const Case kCases[] = {
    // A block longer than the minimum: the common step must get the size as given.
    {"Success", Entry::Analyse, ORV_DOUBLE_FULL, 1100, CommonMode::Succeed, 0, Failure::None, 25,
     "start|-->|; model|-->|; release; model|<--|true; release; start|<--|true"},
    {"NoCommonModule", Entry::Analyse, nullptr, 1024, CommonMode::Succeed, 0, Failure::None, 0,
     "start|-->|; start| |Failed to load [prtOrvCommonStatusAnalyzer.dll]; start|<--|false"},
    {"BlockOf1023", Entry::Analyse, ORV_DOUBLE_FULL, 1023, CommonMode::Succeed, 0, Failure::None, 0,
     "start|-->|; start| |Status size error; start|<--|false"},
    {"NoStartStatusAnalysis", Entry::Analyse, ORV_DOUBLE_NO_START, 1024, CommonMode::Succeed, 0,
     Failure::None, 0,
     "start|-->|; start| |Failed to get API [startStatusAnalysis]; release; start|<--|false"},
    {"CommonReturnsFalse", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::ReturnFalse, 0,
     Failure::None, 0,
     "start|-->|; start| |Common status analysis error; release; start|<--|false"},
    {"CommonThrowsStd", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::ThrowStd, 0,
     Failure::None, 0, "start|-->|; start| |{|common step failed}; release; start|<--|false"},
    {"CommonThrowsInt", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::ThrowInt, 0,
     Failure::None, 0, "start|-->|; start| |{|}; release; start|<--|false"},
    {"CommonFaults", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::Fault, 0, Failure::None, 0,
     "start|-->|; start| |{read fault at 0x10|}; release; start|<--|false"},
    {"NoUShortConversion", Entry::Analyse, ORV_DOUBLE_NO_USHORT, 1024, CommonMode::Succeed, 0,
     Failure::None, 0,
     "start|-->|; model|-->|; model| |Failed to get API [convertBigUShortToLittleINT32]; release; "
     "model|<--|false; start| |Status analysis error; release; start|<--|false"},
    {"NoConversions", Entry::Analyse, ORV_DOUBLE_NO_CONVERSIONS, 1024, CommonMode::Succeed, 0,
     Failure::None, 0,
     "start|-->|; model|-->|; model| |Failed to get API [convertBigCharToLittleINT32]; "
     "model| |Failed to get API [convertBigUCharToLittleINT32]; "
     "model| |Failed to get API [convertBigUShortToLittleINT32]; release; model|<--|false; "
     "start| |Status analysis error; release; start|<--|false"},
    {"ToolStatusThrowsStd", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::Succeed, 14,
     Failure::ThrowStd, 19,
     "start|-->|; model|-->|; model| |{|conversion failed}; release; model|<--|false; "
     "start| |Status analysis error; release; start|<--|false"},
    {"PrintAndCutFaults", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::Succeed, 18,
     Failure::Fault, 23,
     "start|-->|; model|-->|; model| |{read fault at 0x10|}; release; model|<--|false; "
     "start| |Status analysis error; release; start|<--|false"},
    {"LastConversionThrowsInt", Entry::Analyse, ORV_DOUBLE_FULL, 1024, CommonMode::Succeed, 19,
     Failure::ThrowInt, 24,
     "start|-->|; model|-->|; model| |{|}; release; model|<--|false; "
     "start| |Status analysis error; release; start|<--|false"},
    {"ConvertSuccess", Entry::Convert, ORV_DOUBLE_FULL, 1024, CommonMode::Succeed, 0, Failure::None,
     27, "start|-->|; model|-->|; model|<--|true; release; start|<--|true"},
    {"ConvertNoCommonModule", Entry::Convert, nullptr, 1024, CommonMode::Succeed, 0, Failure::None,
     0, "start|-->|; start| |Failed to load [prtOrvCommonStatusAnalyzer.dll]; start|<--|false"},
    {"ConvertNoStartConvertXML", Entry::Convert, ORV_DOUBLE_NO_START, 1024, CommonMode::Succeed, 0,
     Failure::None, 0,
     "start|-->|; start| |Failed to get API [startConvertXML]; release; start|<--|false"},
    {"ConvertCommonReturnsFalse", Entry::Convert, ORV_DOUBLE_FULL, 1024, CommonMode::ReturnFalse, 0,
     Failure::None, 0,
     "start|-->|; start| |Common status XML conversion error; release; start|<--|false"},
    {"ConvertCommonFaults", Entry::Convert, ORV_DOUBLE_FULL, 1024, CommonMode::Fault, 0,
     Failure::None, 0, "start|-->|; start| |{read fault at 0x10|}; release; start|<--|false"},
    {"ConvertAllocationFailsInAddElement", Entry::Convert, ORV_DOUBLE_FULL, 1024,
     CommonMode::Succeed, 2, Failure::None, 21,
     "start|-->|; model|-->|; model| |{|std::bad_alloc}; model|<--|false; "
     "start| |Status XML conversion error; release; start|<--|false"},
};

class EntryPoints : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { ASSERT_FALSE(harness::anyCommonModuleLoaded()); }
};

// Each case runs twice: on this thread with logging enabled, and with logging
// disabled on a thread started after the analyzer was loaded, where faults
// must be translated as well. Both leave the same map and tree behind.
TEST_P(EntryPoints, RecordsWhatIsLeftAndTheRelease) {
    const Case& c = GetParam();
    const bool analyse = c.entry == Entry::Analyse;
    const bool commonRan =
        c.module != nullptr && c.size >= 1024 && std::string(c.module) != ORV_DOUBLE_NO_START;
    const std::vector<std::string>& model = analyse ? kDecoded : kConverted;
    const std::vector<std::string> left(model.begin(),
                                        model.begin() + static_cast<long>(c.modelEntries));
    // What the host passes in, and what it finds afterwards.
    StatusMap hostMap;
    testsupport::addItems(hostMap,
                          analyse ? std::vector<std::string>{"Foreign[0]=host entry"} : kDecoded);
    StatusMap expectedMap = hostMap;
    std::string expectedTree = "Host=kept";
    if (analyse) {
        if (commonRan) {
            expectedMap[commondouble::kCommonKey][1] = commondouble::kCommonValue;
        }
        testsupport::addItems(expectedMap, left);
    } else {
        expectedTree += commonRan ? "; CommonStatus="s + commondouble::kCommonValue : "";
        for (const std::string& entry : left) {
            expectedTree += "; " + entry;
        }
    }
    for (const bool logging : {true, false}) {
        SCOPED_TRACE(logging ? "logging enabled" : "logging disabled, another thread");
        std::optional<harness::CommonModule> common;
        if (c.module != nullptr) {
            common.emplace(c.module);
            common->state()->commonMode = c.commonMode;
            common->state()->failAtCall = c.failAt;
            common->state()->failure = c.failure;
        }
        harness::GuardedBlock block(c.size);
        fillBlock(block);
        StatusMap map = hostMap;
        ParamIoXML tree = testsupport::treeOf("Host=kept");
        testsupport::CapturingSink sink;
        bool result = false;
        const auto call = [&] {
            if (analyse) {
                result = harness::startStatusAnalysis()(block.data(), block.size(), map);
                return;
            }
            failalloc::failNth(static_cast<std::size_t>(c.failAt), &treeReachedToolStatus, &tree);
            result = harness::startConvertXML()(map, tree);
            failalloc::disarm();
        };
        boost::log::core::get()->set_logging_enabled(logging);
        logging ? call() : std::thread(call).join();
        boost::log::core::get()->set_logging_enabled(true);

        EXPECT_EQ(result, c.modelEntries == model.size());
        EXPECT_EQ(map, expectedMap);
        EXPECT_EQ(testsupport::treeText(tree), expectedTree);
        if (common) {
            // The common step had the host's block and size as they were.
            if (commonRan && analyse) {
                EXPECT_EQ(common->state()->commonStatus, block.data());
                EXPECT_EQ(common->state()->commonSize, block.size());
            }
            EXPECT_TRUE(common->releaseAndCheckUnloaded());
        }
        EXPECT_EQ(traceText(sink.records()), logging ? c.trace : "");
        // Errors have severity 13, the others 10; exit records are written
        // by the scope-exit closure, after the clean-ups.
        for (const auto& r : sink.records()) {
            if (!r.inOutType.empty()) {  // not a release marker
                EXPECT_EQ(r.severity, r.inOutType == " " ? 13 : 10);
                EXPECT_EQ(r.currentFunction.find("lambda") != std::string::npos,
                          r.inOutType == "<--");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EntryPoints, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
