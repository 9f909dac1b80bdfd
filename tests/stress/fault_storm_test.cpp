// A thousand calls in a row on each of two threads whose common module
// faults on every seventh conversion (a read, a write, a division by zero in
// turn): every call must end as a logged false with the fault's record, the
// threads must be able to call successfully afterwards, and the analyzer
// must have given back every reference to the module. Leaks are left to
// LeakSanitizer (asan preset) and valgrind (docs/hardening.md).
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "capturing_sink.h"
#include "reference_decode.h"
#include "stress_support.h"
#include "unitcom/boostloginclude.h"

namespace {

constexpr unsigned kFullCalls = 1000;
constexpr int kThreads = 2;
constexpr int kEvery = 7;

using FaultEvery = void (*)(int);
using Arm = void (*)(bool);

// The record text of a translated fault, by kind.
const std::regex kRead(
    "ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :The instruction at 0x[0-9A-F]+ "
    "referenced memory at 0x10\\. The memory could not be read\\.\nComment :");
const std::regex kWrite(
    "ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :The instruction at 0x[0-9A-F]+ "
    "referenced memory at 0x10\\. The memory could not be write\\.\nComment :");
const std::regex kDivide(
    "ErrorCode :0x00000003\t\nLastErr :0x[0-9A-F]{8}\t\nInfo :Address : 0x[0-9A-F]+\nComment :");

TEST(FaultStorm, EveryCallOfTwoThreadsFaultsAndEndsAsALoggedFalse) {
    // Log first, so that the analyzer does not pin itself as the logger's
    // creator; then load the storm module, which the analyzer's load by
    // bare name finds by its soname.
    RynCmnLog::glob_logger::get();
    void* storm = dlopen(ORV_STORM_COMMON, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(storm, nullptr) << dlerror();
    const auto faultEvery = reinterpret_cast<FaultEvery>(dlsym(storm, "stormFaultEvery"));
    const auto arm = reinterpret_cast<Arm>(dlsym(storm, "stormArm"));
    ASSERT_TRUE(faultEvery && arm);
    const stress::Analyzer analyzer = stress::loadAnalyzer();
    testsupport::CapturingSink sink;

    const unsigned calls = stress::rounds(kFullCalls);
    const std::vector<std::uint8_t> bytes = stress::makeBlock(1024, 7, 3);
    const StatusMap expected = testsupport::referenceDecode(bytes.data(), bytes.size());
    faultEvery(kEvery);

    std::atomic<unsigned> unexpectedTrue{0};
    std::atomic<unsigned> failedAfterwards{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            std::vector<std::uint8_t> block = bytes;
            arm(true);
            for (unsigned i = 0; i < calls; ++i) {
                StatusMap map;
                if (analyzer.startStatusAnalysis(reinterpret_cast<char*>(block.data()),
                                                 block.size(), map)) {
                    unexpectedTrue.fetch_add(1);
                }
            }
            // The same thread, right after its last fault.
            arm(false);
            StatusMap map;
            if (!analyzer.startStatusAnalysis(reinterpret_cast<char*>(block.data()), block.size(),
                                              map) ||
                map != expected) {
                failedAfterwards.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(unexpectedTrue.load(), 0u);
    EXPECT_EQ(failedAfterwards.load(), 0u);

    // Per faulting call: statusAnalysis logs the fault's record, then
    // startStatusAnalysis "Status analysis error". Faults k = 1, 2, 3, ... of
    // a thread are a write, a division, a read, a write, ...
    std::size_t reads = 0, writes = 0, divisions = 0, analysisErrors = 0;
    std::vector<std::string> unexpected;
    for (const auto& r : sink.records()) {
        if (r.severity != RynCmnLog::error) {
            continue;
        }
        if (r.message == "Status analysis error") {
            ++analysisErrors;
        } else if (std::regex_match(r.message, kRead)) {
            ++reads;
        } else if (std::regex_match(r.message, kWrite)) {
            ++writes;
        } else if (std::regex_match(r.message, kDivide)) {
            ++divisions;
        } else if (unexpected.size() < 5) {
            unexpected.push_back(r.message);
        }
    }
    EXPECT_THAT(unexpected, ::testing::IsEmpty());
    EXPECT_EQ(analysisErrors, kThreads * calls);
    EXPECT_EQ(writes, kThreads * ((calls + 2) / 3));
    EXPECT_EQ(divisions, kThreads * ((calls + 1) / 3));
    EXPECT_EQ(reads, kThreads * (calls / 3));

    // Only the test's own reference is left: once it goes, so does the module.
    dlclose(storm);
    void* again = dlopen(ORV_STORM_COMMON, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(again, nullptr) << "the analyzer kept a reference to the common module";
    if (again != nullptr) {
        dlclose(again);
    }
}

}  // namespace
