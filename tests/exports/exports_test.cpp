// The analyzer module as a host sees it, on every platform, with the shipped
// common module it finds itself: a bundled block gives its expected XML; one
// the host cannot read a logged false, on the loading thread and on one
// started later (the translator comes from the analyzer's load hook).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "capturing_sink.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace {

using namespace OrvStatusAnalyzerQLX5100;

class Exports : public ::testing::Test {
protected:
    static HMODULE load() {
        const std::string path = ORV_ANALYZER_MODULE;
        return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    }
    void SetUp() override { ASSERT_TRUE(analyse && convert) << "cannot load " ORV_ANALYZER_MODULE; }
    void TearDown() override { FreeLibrary(module); }

    const HMODULE module = load();
    const ForeignProc<bool(char*, unsigned long long, StatusMap&)> analyse{
        GetProcAddress(module, kStartStatusAnalysisName)};
    const ForeignProc<bool(StatusMap&, ParamIoXML&)> convert{
        GetProcAddress(module, kStartConvertXMLName)};
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Exports, BundledAndUnreadableBlocks) {
    std::string block = readFile(ORV_EXAMPLES_DIR "/blocks/all-pinch-rollers.bin");
    StatusMap map;
    ASSERT_TRUE(analyse(block.data(), block.size(), map));
    ParamIoXML tree;
    ASSERT_TRUE(convert(map, tree));
    EXPECT_EQ(tree.toXml(), readFile(ORV_EXAMPLES_DIR "/expected/all-pinch-rollers.xml"));
    const auto expectLoggedFault = [this] {
        testsupport::CapturingSink sink(testsupport::CapturingSink::kErrors);
        StatusMap map;
        EXPECT_FALSE(analyse(reinterpret_cast<char*>(0x10), kMinimumStatusSize, map));
        std::string errors;
        for (const auto& record : sink.records()) {
            errors += record.message + "\n";
        }
        EXPECT_EQ(errors.rfind("ErrorCode :0x00000003\t\n", 0), 0u) << errors;
        EXPECT_NE(errors.find("The memory could not be read.\nComment :\nStatus analysis error\n"),
                  std::string::npos)
            << errors;
    };
    expectLoggedFault();
    std::thread(expectLoggedFault).join();
    expectLoggedFault();  // the thread can fault again
}

}  // namespace
