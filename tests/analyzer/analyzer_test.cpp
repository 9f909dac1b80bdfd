// The analyzer through its two exports: the model steps with the shipped
// common module (which adds nothing) on blocks that end at an unreadable page
// and on maps the decoding would not produce; then both entry points against
// stand-ins of the common module on every path: the records, what stays in
// the map or the tree, and the module's release before the exit record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analyzer_harness.h"
#include "failing_allocator.h"
#include "temp_dir.h"
#include "text_forms.h"

namespace {

using O = commondouble::Outcome;
using namespace std::string_literals;

// The shipped common module, held for the test and given up at its end.
struct ModelSteps : ::testing::Test {
    harness::CommonModule common{ORV_SHIPPED_COMMON_MODULE};
    void TearDown() override { EXPECT_TRUE(common.release()); }
};

// What a 1024-byte block of zero bytes gives: 22 entries under 13 keys.
const StatusMap kZeroBlock = testsupport::mapOf(
    "HeaterNumber[1]=1; HeaterTemperature[1]=0; HeaterStatus[1]=0; HeaterNumber[2]=2; "
    "HeaterTemperature[2]=0; HeaterStatus[2]=0; HeaterNumber[3]=3; HeaterTemperature[3]=0; "
    "HeaterStatus[3]=0; HeaterNumber[4]=4; HeaterTemperature[4]=0; HeaterStatus[4]=0; "
    "CuttingCommandName[1]=; CuttingCommandVersion[1]=; TotalPinchRoller[1]=0; "
    "ActivatedPinchRoller[1]=0; ToolStatus[1]=0; OperationMode[1]=0; RegisterMarkType[1]=0; "
    "MultiFunctionJobStatus[1]=0; PrintAndCut[1]=0; MultiLayerPrintingInformation[1]=0");

// Each case patches a zero block and names the entries that change. The map
// already holds entries: one at an index written is replaced, the others (an
// earlier fifth setting, the common module's) stay.
TEST_F(ModelSteps, DecodingWritesEachFieldAtItsIndex) {
    const struct {
        std::size_t offset;
        std::string bytes;
        const char* changes;
    } cases[] = {
        {0, "", ""},
        {0x44, "\x80\x80\x7F\xFF\xFF\x01\x02\x03"s,
         "HeaterTemperature[1]=-128; HeaterStatus[1]=128; HeaterTemperature[2]=127; "
         "HeaterStatus[2]=255; HeaterTemperature[3]=-1; HeaterStatus[3]=1; "
         "HeaterTemperature[4]=2; HeaterStatus[4]=3"},
        // The count at 0x341 alone decides the settings, not the total at 0x340.
        {0x340, "\x10\x03\x0A\x14\x1E"s,
         "TotalPinchRoller[1]=16; ActivatedPinchRoller[1]=3; PinchRollerPressureSetting[1]=10; "
         "PinchRollerPressureSetting[2]=20; PinchRollerPressureSetting[3]=30"},
        // 18 settings: [17] and [18] are the bytes of ToolStatus and OperationMode.
        {0x341, "\x12\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11\x12"s,
         "ActivatedPinchRoller[1]=18; PinchRollerPressureSetting[1]=1; "
         "PinchRollerPressureSetting[2]=2; PinchRollerPressureSetting[3]=3; "
         "PinchRollerPressureSetting[4]=4; PinchRollerPressureSetting[5]=5; "
         "PinchRollerPressureSetting[6]=6; PinchRollerPressureSetting[7]=7; "
         "PinchRollerPressureSetting[8]=8; PinchRollerPressureSetting[9]=9; "
         "PinchRollerPressureSetting[10]=10; PinchRollerPressureSetting[11]=11; "
         "PinchRollerPressureSetting[12]=12; PinchRollerPressureSetting[13]=13; "
         "PinchRollerPressureSetting[14]=14; PinchRollerPressureSetting[15]=15; "
         "PinchRollerPressureSetting[16]=16; PinchRollerPressureSetting[17]=17; "
         "PinchRollerPressureSetting[18]=18; ToolStatus[1]=17; OperationMode[1]=18"},
        {0x352, "\x80\xFF\x01\xFE"s,
         "ToolStatus[1]=128; OperationMode[1]=255; RegisterMarkType[1]=1; "
         "MultiFunctionJobStatus[1]=254"},
        {0x365, "\x80"s, "MultiLayerPrintingInformation[1]=128"},
        {0x35A, "\x01\x02"s, "PrintAndCut[1]=258"},
        {0x35A, "\x00\x01"s, "PrintAndCut[1]=1"},
        {0x35A, "\xFF\xFF"s, "PrintAndCut[1]=65535"},
        // Texts: up to the first NUL within the field, trimmed at both ends.
        {0x334, "AB\0\0\0\0\0\0"s, "CuttingCommandName[1]=AB"},
        {0x334, "A\0BCDEFG"s, "CuttingCommandName[1]=A"},
        {0x334, " \t\nX 1\v\f"s, "CuttingCommandName[1]=X 1"},
        {0x334, "        "s, "CuttingCommandName[1]="},
        {0x33C, " 1.0"s, "CuttingCommandVersion[1]=1.0"},
        // Full fields without NUL end at their width, not at the next field.
        {0x334, "ABCDEFGHWXYZQ"s,
         "CuttingCommandName[1]=ABCDEFGH; CuttingCommandVersion[1]=WXYZ; TotalPinchRoller[1]=81"},
    };
    const char kKept[] = "PinchRollerPressureSetting[5]=earlier; Common[0]=common";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        testsupport::GuardedBlock block(1024);
        block.set(c.offset, c.bytes);
        StatusMap map = testsupport::mapOf(kKept + "; ToolStatus[1]=old"s);
        EXPECT_TRUE(harness::analyzer().analyse(block.data(), block.size(), map));
        StatusMap expected = kZeroBlock;
        testsupport::addItems(expected, kKept);
        EXPECT_EQ(map, testsupport::addItems(expected, c.changes));
    }
}

// A count of 255 reads 255 settings where the block holds them and stops at
// its last byte where it does not (the page after it is unreadable).
TEST_F(ModelSteps, SettingsStopAtTheEndOfTheBlock) {
    const struct {
        std::size_t size;
        std::size_t settings;  // entries, the last one read from the block's last byte or not
    } cases[] = {{1024, 190}, {1089, 255}, {1100, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        testsupport::GuardedBlock block(c.size);
        block.set(0x341, "\xFF"s);
        block.set(c.size - 1, "\x7B"s);
        StatusMap map;
        ASSERT_TRUE(harness::analyzer().analyse(block.data(), block.size(), map));
        const auto& settings = map["PinchRollerPressureSetting"];
        ASSERT_EQ(settings.size(), c.settings);
        EXPECT_EQ(settings.rbegin()->first, static_cast<int>(c.settings));
        EXPECT_EQ(settings.rbegin()->second, c.size == 1100 ? "0" : "123");
    }
}

// A block in a mapped file that another party truncated: the first read of
// it, the common module's conversion of heater 1, raises a real SIGBUS,
// logged as the in-page error at that byte, with the end-of-file status.
TEST_F(ModelSteps, ABlockInATruncatedFileGivesTheInPageText) {
    const testsupport::TempDir dir;
    const std::string path = dir.path("block.bin");
    std::ofstream(path, std::ios::binary) << std::string(4096, '\0');
    const int fd = open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    void* mapping = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    close(fd);
    char* block = static_cast<char*>(mapping);
    testsupport::CapturingSink sink(testsupport::CapturingSink::kErrors);
    StatusMap map;
    EXPECT_FALSE(harness::analyzer().analyse(block, 1024, map));
    munmap(mapping, 4096);
    const auto records = sink.records();
    ASSERT_EQ(records.size(), 2u);
    char address[32];
    std::snprintf(address, sizeof address, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(block + 0x44)));
    const std::string& text = records[0].message;
    EXPECT_EQ(text.find("Info :The instruction at 0x"), text.find("Info :")) << text;
    EXPECT_NE(text.find(" referenced memory at "s + address +
                        ". The required data was not placed into memory because of an I/O "
                        "error status of 0xC0000011.\nComment :"),
              std::string::npos)
        << text;
    EXPECT_EQ(records[1].message, "Status analysis error");
}

// Heaters and settings are counted under "HeaterTemperature" and
// "PinchRollerPressureSetting" alone and read at 1..count, single values at
// index 1; every lookup leaves its key or index in the host's map.
TEST_F(ModelSteps, ConversionWritesWhatTheEntriesCount) {
    const struct {
        const char* input;    // map items, see text_forms.h
        const char* entries;  // the tree's
        const char* added;    // map items the lookups add, besides the always-read keys
    } cases[] = {
        {"", "", ""},
        // Neither "HeaterNumber" (one entry) nor "HeaterStatus" (three) counts.
        {"HeaterTemperature[1]=30; HeaterTemperature[2]=31; HeaterNumber[1]=7; "
         "HeaterStatus[1]=0; HeaterStatus[2]=1; HeaterStatus[3]=2",
         "Heaters; Heaters.Heater[No=7]; Heaters.Heater.HeaterTemperature=30; "
         "Heaters.Heater.HeaterStatus=0; Heaters.Heater[No=]; "
         "Heaters.Heater.HeaterTemperature=31; Heaters.Heater.HeaterStatus=1",
         "HeaterNumber[2]="},
        // No "HeaterStatus" key at all: each heater gets an empty one.
        {"HeaterTemperature[1]=1; HeaterTemperature[2]=2; HeaterTemperature[3]=3; "
         "HeaterTemperature[4]=4",
         "Heaters; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature=1; "
         "Heaters.Heater.HeaterStatus; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature=2; "
         "Heaters.Heater.HeaterStatus; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature=3; "
         "Heaters.Heater.HeaterStatus; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature=4; "
         "Heaters.Heater.HeaterStatus",
         "HeaterNumber[1]=; HeaterNumber[2]=; HeaterNumber[3]=; HeaterNumber[4]=; "
         "HeaterStatus[1]=; HeaterStatus[2]=; HeaterStatus[3]=; HeaterStatus[4]="},
        {"HeaterTemperature[0]=50; HeaterTemperature[1]=60",
         "Heaters; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature=60; "
         "Heaters.Heater.HeaterStatus; Heaters.Heater[No=]; Heaters.Heater.HeaterTemperature; "
         "Heaters.Heater.HeaterStatus",
         "HeaterNumber[1]=; HeaterNumber[2]=; HeaterStatus[1]=; HeaterStatus[2]=; "
         "HeaterTemperature[2]="},
        // Three entries while "ActivatedPinchRoller" says 2, read at 1..3.
        {"ActivatedPinchRoller[1]=2; PinchRollerPressureSetting[1]=5; "
         "PinchRollerPressureSetting[3]=7; PinchRollerPressureSetting[4]=8",
         "ActivatedPinchRoller=2; PinchRollerPressureSettings; "
         "PinchRollerPressureSettings.PinchRollerPressureSetting=5; "
         "PinchRollerPressureSettings.PinchRollerPressureSetting; "
         "PinchRollerPressureSettings.PinchRollerPressureSetting=7",
         "PinchRollerPressureSetting[2]="},
        {"ToolStatus[0]=9; PrintAndCut[1]=258", "ToolStatus; PrintAndCut=258", "ToolStatus[1]="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        StatusMap map = testsupport::mapOf(c.input);
        ParamIoXML tree;
        EXPECT_TRUE(harness::analyzer().convert(map, tree));
        EXPECT_EQ(testsupport::treeText(tree), c.entries);
        StatusMap expected = testsupport::mapOf(c.input);
        for (const std::string& key : testsupport::splitItems(
                 "HeaterTemperature; CuttingCommandName; CuttingCommandVersion; TotalPinchRoller; "
                 "ActivatedPinchRoller; PinchRollerPressureSetting; ToolStatus; OperationMode; "
                 "RegisterMarkType; MultiFunctionJobStatus; PrintAndCut; "
                 "MultiLayerPrintingInformation")) {
            expected[key];
        }
        EXPECT_EQ(map, testsupport::addItems(expected, c.added));
    }
}

// The block every analysis decodes; its conversions are 1-8 the heaters, 9-10
// the pinch-roller counts, 11-13 the settings, 14 ToolStatus ... 18
// PrintAndCut, 19 MultiLayerPrintingInformation. What statusAnalysis writes
// for it, and what convertXML appends for that map, in order:
const std::vector<std::string> kDecoded = testsupport::splitItems(
    "HeaterNumber[1]=1; HeaterTemperature[1]=-100; HeaterStatus[1]=1; HeaterNumber[2]=2; "
    "HeaterTemperature[2]=127; HeaterStatus[2]=2; HeaterNumber[3]=3; HeaterTemperature[3]=-128; "
    "HeaterStatus[3]=255; HeaterNumber[4]=4; HeaterTemperature[4]=0; HeaterStatus[4]=3; "
    "CuttingCommandName[1]=CUT; CuttingCommandVersion[1]=2.1; TotalPinchRoller[1]=8; "
    "ActivatedPinchRoller[1]=3; PinchRollerPressureSetting[1]=10; "
    "PinchRollerPressureSetting[2]=20; PinchRollerPressureSetting[3]=30; ToolStatus[1]=5; "
    "OperationMode[1]=0; RegisterMarkType[1]=0; MultiFunctionJobStatus[1]=0; PrintAndCut[1]=258; "
    "MultiLayerPrintingInformation[1]=0");
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

void fillBlock(testsupport::GuardedBlock& block) {
    block.set(0x44, "\x9C\x01\x7F\x02\x80\xFF\x00\x03"s);
    block.set(0x334, "CUT\0"s);
    block.set(0x33C, "2.1\0"s);
    block.set(0x340, "\x08\x03\x0A\x14\x1E"s);
    block.set(0x352, "\x05"s);
    block.set(0x35A, "\x01\x02"s);
}

// The tree holds the host's entry, the common step's and convertXML's up to
// "ToolStatus".
bool treeReachedToolStatus(const void* tree) {
    return static_cast<const ParamIoXML*>(tree)->getElements().size() == 2 + 21;
}

struct Case {
    const char* name;
    bool analyse;        // startStatusAnalysis, or startConvertXML
    const char* module;  // loaded by the test first; null: none
    std::size_t size;    // of the status block
    O common;
    // Analyse: the conversion that ends as `conversion` says (14 is ToolStatus).
    // Convert: the allocation that fails once convertXML appends "ToolStatus"
    // (1: its key path, 2: inside addElement).
    int failAt;
    O conversion;
    std::size_t modelEntries;  // leading kDecoded / kConverted entries left
    const char* trace;
};

// The traces leave out "start|-->|; " before and "; start|<--|<result>" after.
// clang-format off
const Case kCases[] = {
    // A block longer than the minimum: the common step gets the size as given.
    {"Success", true, ORV_DOUBLE_FULL, 1100, O::Succeed, 0, O::Succeed, 25,
     "model|-->|; release; model|<--|true; release"},
    {"NoCommonModule", true, nullptr, 1024, O::Succeed, 0, O::Succeed, 0,
     "start| |Failed to load [prtOrvCommonStatusAnalyzer.dll]"},
    {"BlockOf1023", true, ORV_DOUBLE_FULL, 1023, O::Succeed, 0, O::Succeed, 0,
     "start| |Status size error"},
    {"NoStartStatusAnalysis", true, ORV_DOUBLE_NO_START, 1024, O::Succeed, 0, O::Succeed, 0,
     "start| |Failed to get API [startStatusAnalysis]; release"},
    {"CommonReturnsFalse", true, ORV_DOUBLE_FULL, 1024, O::ReturnFalse, 0, O::Succeed, 0,
     "start| |Common status analysis error; release"},
    {"CommonThrowsStd", true, ORV_DOUBLE_FULL, 1024, O::ThrowStd, 0, O::Succeed, 0,
     "start| |{|common step failed}; release"},
    {"CommonThrowsInt", true, ORV_DOUBLE_FULL, 1024, O::ThrowInt, 0, O::Succeed, 0,
     "start| |{|}; release"},
    {"CommonFaults", true, ORV_DOUBLE_FULL, 1024, O::Read, 0, O::Succeed, 0,
     "start| |{read fault at 0x10|}; release"},
    {"NoUShortConversion", true, ORV_DOUBLE_NO_USHORT, 1024, O::Succeed, 0, O::Succeed, 0,
     "model|-->|; model| |Failed to get API [convertBigUShortToLittleINT32]; release; "
     "model|<--|false; start| |Status analysis error; release"},
    {"NoConversions", true, ORV_DOUBLE_NO_CONVERSIONS, 1024, O::Succeed, 0, O::Succeed, 0,
     "model|-->|; model| |Failed to get API [convertBigCharToLittleINT32]; "
     "model| |Failed to get API [convertBigUCharToLittleINT32]; model| |Failed to get API "
     "[convertBigUShortToLittleINT32]; release; model|<--|false; "
     "start| |Status analysis error; release"},
    {"ToolStatusThrowsStd", true, ORV_DOUBLE_FULL, 1024, O::Succeed, 14, O::ThrowStd, 19,
     "model|-->|; model| |{|conversion failed}; release; model|<--|false; "
     "start| |Status analysis error; release"},
    {"PrintAndCutFaults", true, ORV_DOUBLE_FULL, 1024, O::Succeed, 18, O::Read, 23,
     "model|-->|; model| |{read fault at 0x10|}; release; model|<--|false; "
     "start| |Status analysis error; release"},
    {"LastConversionThrowsInt", true, ORV_DOUBLE_FULL, 1024, O::Succeed, 19, O::ThrowInt, 24,
     "model|-->|; model| |{|}; release; model|<--|false; start| |Status analysis error; release"},
    {"ConvertSuccess", false, ORV_DOUBLE_FULL, 1024, O::Succeed, 0, O::Succeed, 27,
     "model|-->|; model|<--|true; release"},
    {"ConvertNoCommonModule", false, nullptr, 1024, O::Succeed, 0, O::Succeed, 0,
     "start| |Failed to load [prtOrvCommonStatusAnalyzer.dll]"},
    {"ConvertNoStartConvertXML", false, ORV_DOUBLE_NO_START, 1024, O::Succeed, 0, O::Succeed, 0,
     "start| |Failed to get API [startConvertXML]; release"},
    {"ConvertCommonReturnsFalse", false, ORV_DOUBLE_FULL, 1024, O::ReturnFalse, 0, O::Succeed, 0,
     "start| |Common status XML conversion error; release"},
    {"ConvertCommonFaults", false, ORV_DOUBLE_FULL, 1024, O::Read, 0, O::Succeed, 0,
     "start| |{read fault at 0x10|}; release"},
    {"ConvertCommonThrowsStd", false, ORV_DOUBLE_FULL, 1024, O::ThrowStd, 0, O::Succeed, 0,
     "start| |{|common step failed}; release"},
    {"ConvertCommonThrowsInt", false, ORV_DOUBLE_FULL, 1024, O::ThrowInt, 0, O::Succeed, 0,
     "start| |{|}; release"},
    {"ConvertAllocationFailsInKeyPath", false, ORV_DOUBLE_FULL, 1024, O::Succeed, 1, O::Succeed,
     21, "model|-->|; model| |{|std::bad_alloc}; model|<--|false; "
     "start| |Status XML conversion error; release"},
    {"ConvertAllocationFailsInAddElement", false, ORV_DOUBLE_FULL, 1024, O::Succeed, 2, O::Succeed,
     21, "model|-->|; model| |{|std::bad_alloc}; model|<--|false; "
     "start| |Status XML conversion error; release"},
};
// clang-format on

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class EntryPoints : public ::testing::TestWithParam<Case> {};

// Each case runs twice: on this thread with logging enabled, and with logging
// disabled on a thread started after the analyzer was loaded, where faults
// must be translated as well. Both leave the same map and tree behind.
TEST_P(EntryPoints, RecordsWhatIsLeftAndTheRelease) {
    const Case& c = GetParam();
    ASSERT_FALSE(harness::anyCommonModuleLoaded());
    const bool commonRan =
        c.module != nullptr && c.size >= 1024 && std::string(c.module) != ORV_DOUBLE_NO_START;
    const std::vector<std::string>& model = c.analyse ? kDecoded : kConverted;
    const std::vector<std::string> left(model.begin(), model.begin() + c.modelEntries);
    // What the host passes in, and what it finds afterwards.
    StatusMap hostMap;
    testsupport::addItems(hostMap,
                          c.analyse ? std::vector<std::string>{"Foreign[0]=host entry"} : kDecoded);
    StatusMap expectedMap = hostMap;
    std::string expectedTree = "Host=kept";
    if (c.analyse) {
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
            *common->state = {c.common, c.analyse ? c.failAt : 0, c.conversion, nullptr, 0};
        }
        testsupport::GuardedBlock block(c.size);
        fillBlock(block);
        StatusMap map = hostMap;
        ParamIoXML tree = testsupport::treeOf("Host=kept");
        testsupport::CapturingSink sink;
        bool ok = false;
        const auto call = [&] {
            if (c.analyse) {
                ok = harness::analyzer().analyse(block.data(), block.size(), map);
                return;
            }
            failalloc::failNth(static_cast<std::size_t>(c.failAt), &treeReachedToolStatus, &tree);
            ok = harness::analyzer().convert(map, tree);
            failalloc::failNth(0);
        };
        boost::log::core::get()->set_logging_enabled(logging);
        logging ? call() : std::thread(call).join();
        boost::log::core::get()->set_logging_enabled(true);

        EXPECT_EQ(ok, c.modelEntries == model.size());
        EXPECT_EQ(map, expectedMap);
        EXPECT_EQ(testsupport::treeText(tree), expectedTree);
        if (common) {
            if (commonRan && c.analyse) {  // the host's block and size as they were
                EXPECT_EQ(common->state->commonStatus, block.data());
                EXPECT_EQ(common->state->commonSize, block.size());
            }
            EXPECT_TRUE(common->release());
        }
        const std::string result = c.modelEntries == model.size() ? "true" : "false";
        EXPECT_EQ(harness::trace(sink.records()),
                  logging ? "start|-->|; " + std::string(c.trace) + "; start|<--|" + result : "");
        // Errors have severity 13, the others 10; the exit record comes from
        // the scope-exit closure, after the clean-ups.
        for (const auto& r : sink.records()) {
            if (!r.inOutType.empty()) {  // not a release marker
                EXPECT_EQ(r.severity, r.inOutType == " " ? 13 : 10);
                EXPECT_EQ(r.srcFile, "orvstatusanalyzerqlx5100.cpp");
                EXPECT_TRUE(r.hasLoggerAttributes && r.hasMessageId && r.messageId.empty());
                EXPECT_EQ(r.currentFunction.find("lambda") != std::string::npos,
                          r.inOutType == "<--");
            }
        }
    }
}

// A T alone at the start of a page that the host made inaccessible after
// constructing it there.
template <typename T>
class LockedObject {
public:
    LockedObject()
        : page_(mmap(nullptr, pageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1,
                     0)) {
        if (page_ == MAP_FAILED) {
            throw std::runtime_error("cannot map a page");
        }
        new (page_) T();
        mprotect(page_, pageSize(), PROT_NONE);
    }
    ~LockedObject() {
        mprotect(page_, pageSize(), PROT_READ | PROT_WRITE);
        get().~T();
        munmap(page_, pageSize());
    }
    T& get() const { return *static_cast<T*>(page_); }
    // A trace with every address in the page named "the locked page".
    std::string name(std::string trace) const {
        const auto base = reinterpret_cast<std::uintptr_t>(page_);
        for (std::size_t at = 0; (at = trace.find(" fault at 0x", at)) != std::string::npos;) {
            at += 10;
            std::size_t end = at;
            const auto address = std::stoull(trace.substr(at), &end, 16);
            if (address >= base && address < base + pageSize()) {
                trace.replace(at, end, "the locked page");
            }
        }
        return trace;
    }

private:
    static std::size_t pageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }
    void* page_;
};

// Runs body in a child process: what it returns, followed by how the child
// died if it did not return (a fault that kills the host kills only it).
std::string inChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "no pipe";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string out;
        try {
            out = body();
        } catch (...) {
            out = "an exception reached the host";
        }
        (void)!write(fds[1], out.data(), out.size());
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char chunk[4096];
    for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) {
        out.append(chunk, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? out + "[killed by signal " + std::to_string(WTERMSIG(status)) + "]"
                               : out;
}

// The host's map or tree lies in a page it made inaccessible, and the shipped
// common module leaves them alone: the fault comes in the analyzer's own code
// (the decoding, the conversion, the parameter tree's addElement). It is
// logged with the release of the module before the exit records, and the
// same thread then analyses and converts a block as if nothing had happened.
TEST(OwnCodeFaults, HostObjectsInALockedPageGiveALoggedFalse) {
    const struct {
        const char* name;
        bool analyse;
        bool lockMap;  // or the tree
        const char* trace;
    } cases[] = {
        {"decoding into the map", true, true,
         "model|-->|; model| |{read fault at the locked page|}; release; model|<--|false; "
         "start| |Status analysis error; release"},
        {"converting from the map", false, true,
         "model|-->|; model| |{read fault at the locked page|}; model|<--|false; "
         "start| |Status XML conversion error; release"},
        // addElement appends to the tree: its first access to it is a read.
        {"appending to the tree", false, false,
         "model|-->|; model| |{read fault at the locked page|}; model|<--|false; "
         "start| |Status XML conversion error; release"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string result = inChild([&c] {
            harness::CommonModule common(ORV_SHIPPED_COMMON_MODULE);
            const LockedObject<StatusMap> lockedMap;
            const LockedObject<ParamIoXML> lockedTree;
            StatusMap map;
            testsupport::addItems(map, kDecoded);
            ParamIoXML tree;
            testsupport::GuardedBlock block(1024);
            testsupport::CapturingSink sink;
            const bool ok =
                c.analyse ? harness::analyzer().analyse(block.data(), block.size(), lockedMap.get())
                          : harness::analyzer().convert(c.lockMap ? lockedMap.get() : map,
                                                        c.lockMap ? tree : lockedTree.get());
            std::string out = std::string(ok ? "true" : "false") + "; " +
                              lockedTree.name(lockedMap.name(harness::trace(sink.take())));
            StatusMap fresh;
            ParamIoXML freshTree;
            const bool again = harness::analyzer().analyse(block.data(), block.size(), fresh) &&
                               fresh == kZeroBlock && harness::analyzer().convert(fresh, freshTree);
            return out + (again ? "" : "; a later call failed");
        });
        EXPECT_EQ(result, "false; start|-->|; "s + c.trace + "; start|<--|false");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EntryPoints, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
