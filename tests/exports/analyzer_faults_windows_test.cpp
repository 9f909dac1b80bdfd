// Machine faults inside the analyzer, through its exports, on Windows: the
// translator comes from the analyzer's own DllMain, on the thread that loaded
// it and on every thread started afterwards, and the fault ends as a logged
// false instead of ending the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "capturing_sink.h"
#include "orvplatform/win32.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace {

using namespace OrvStatusAnalyzerQLX5100;

// A status block whose bytes from the cutting command name (0x334) on lie in
// a page that may not be touched: the heaters decode, the text copy faults.
class TruncatedBlock {
public:
    static constexpr std::size_t kReadable = 0x334;

    TruncatedBlock() {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ != nullptr) {
            std::memset(base_, 0, 2 * page_);
            DWORD old = 0;
            VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
        }
    }
    ~TruncatedBlock() {
        if (base_ != nullptr) {
            VirtualFree(base_, 0, MEM_RELEASE);
        }
    }
    TruncatedBlock(const TruncatedBlock&) = delete;
    TruncatedBlock& operator=(const TruncatedBlock&) = delete;

    char* data() const { return base_ + page_ - kReadable; }
    std::uintptr_t unreadable() const { return reinterpret_cast<std::uintptr_t>(base_ + page_); }

private:
    std::size_t page_ = 0;
    char* base_ = nullptr;
};

class AnalyzerFaults : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = ORV_ANALYZER_MODULE;
        module_ = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
        ASSERT_NE(module_, nullptr);
        analyse_ = reinterpret_cast<PFN_startStatusAnalysis>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, kStartStatusAnalysisName)));
        ASSERT_NE(analyse_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    // Runs the analysis on a truncated block; expects false and one error
    // record that describes the read of the first unreadable byte.
    void expectLoggedFault() {
        testsupport::CapturingSink sink;
        const TruncatedBlock block;
        StatusMap map;
        EXPECT_FALSE(analyse_(block.data(), 1024, map));
        EXPECT_EQ(map["HeaterNumber"].size(), 4u) << "the fields before the fault were decoded";

        std::string errors;
        for (const auto& record : sink.records()) {
            if (record.severity == RynCmnLog::error) {
                errors += record.message + "\n";
            }
        }
        char address[32];
        std::snprintf(address, sizeof address, "0x%llX",
                      static_cast<unsigned long long>(block.unreadable()));
        EXPECT_NE(errors.find("ErrorCode :0x00000003\t"), std::string::npos) << errors;
        EXPECT_NE(errors.find(std::string("referenced memory at ") + address +
                              ". The memory could not be read."),
                  std::string::npos)
            << errors;
    }

    HMODULE module_ = nullptr;
    PFN_startStatusAnalysis analyse_ = nullptr;
};

TEST_F(AnalyzerFaults, OnTheLoadingThreadAFaultIsALoggedFalse) {
    expectLoggedFault();
    expectLoggedFault();  // and the thread can fault again
}

TEST_F(AnalyzerFaults, OnAThreadStartedAfterLoadingAsWell) {
    std::thread([&] { expectLoggedFault(); }).join();
}

}  // namespace
