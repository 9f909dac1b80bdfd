// What convertXML makes of maps that the decoding would not produce: heaters
// and settings are counted under "HeaterTemperature" and
// "PinchRollerPressureSetting" alone and read at 1..count, single values at
// index 1, and every lookup leaves its key or index in the host's map. Run
// through startConvertXML with the shipped common module, which appends
// nothing.
#include <gtest/gtest.h>

#include <string>

#include "analyzer_harness.h"
#include "text_forms.h"

namespace {

TEST(Conversion, WritesWhatTheEntriesCount) {
    harness::CommonModule common(ORV_SHIPPED_COMMON_MODULE);
    const struct {
        const char* input;    // map items, see text_forms.h
        const char* entries;  // the tree's
        const char* added;    // map items the lookups add, besides the always-read keys
    } cases[] = {
        // The always-read keys only, with empty inner maps.
        {"", "", ""},
        // Neither "HeaterNumber" (one entry) nor "HeaterStatus" (three) counts.
        {"HeaterTemperature[1]=30; HeaterTemperature[2]=31; HeaterNumber[1]=7; "
         "HeaterStatus[1]=0; HeaterStatus[2]=1; HeaterStatus[3]=2",
         "Heaters; Heaters.Heater[No=7]; Heaters.Heater.HeaterTemperature=30; "
         "Heaters.Heater.HeaterStatus=0; Heaters.Heater[No=]; "
         "Heaters.Heater.HeaterTemperature=31; Heaters.Heater.HeaterStatus=1",
         "HeaterNumber[2]="},
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
        EXPECT_TRUE(harness::startConvertXML()(map, tree));
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
    EXPECT_TRUE(common.releaseAndCheckUnloaded());
}

}  // namespace
