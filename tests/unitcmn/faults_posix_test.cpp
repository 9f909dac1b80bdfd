// What only POSIX has: signals that are not ours.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "capturing_sink.h"
#include "fault_module.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace faults {
namespace {

void previousHandler(int, siginfo_t*, void*) {
    (void)!write(2, "previous handler\n", 17);
    _exit(42);
}

// A fault outside a guard, and a signal sent inside one, reach the handler the
// host had installed before the library; a guard left by an exception guards
// no more. Each case runs in a fresh process (threadsafe style), which
// installs its handler before ours.
TEST(FaultsDeathTest, WhatIsNotOursReachesTheHostsHandler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool sent : {false, true}) {
        const auto body = [sent] {
            struct sigaction previous {};
            previous.sa_sigaction = &previousHandler;
            previous.sa_flags = SA_SIGINFO;
            sigaction(SIGSEGV, &previous, nullptr);
            _set_se_translator(&translateStructuredException);
            translated([] { readAt(nullptr); });
            EXPECT_THROW(orvplatform::guardedCall([] { throw 1; }), int);
            try {
                sent ? orvplatform::guardedCall(&raise, SIGSEGV) : readAt.get()(nullptr);
            } catch (...) {
            }
            _exit(1);
        };
        EXPECT_EXIT(body(), ::testing::ExitedWithCode(42), "previous handler") << sent;
    }
}

// With the analyzer loaded, the host's own fault is still the host's.
TEST(FaultsDeathTest, TheHostsFaultWithTheAnalyzerLoadedReachesTheHostsHandler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto body = [] {
        struct sigaction previous {};
        previous.sa_sigaction = &previousHandler;
        previous.sa_flags = SA_SIGINFO;
        sigaction(SIGSEGV, &previous, nullptr);
        if (dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_LOCAL) == nullptr) {
            _exit(2);
        }
        readAt.get()(nullptr);
        _exit(1);
    };
    EXPECT_EXIT(body(), ::testing::ExitedWithCode(42), "previous handler");
}

std::vector<std::pair<void*, int>> handlers() {
    std::vector<std::pair<void*, int>> out;
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        out.emplace_back(reinterpret_cast<void*>(now.sa_sigaction), now.sa_flags & SA_SIGINFO);
    }
    return out;
}

// The analyzer carries its own copy of the platform layer: loading it puts
// its handlers in front, and unloading must give the host its own back, or
// the next fault would jump into unmapped code.
TEST(FaultsPosix, UnloadingTheAnalyzerGivesBackTheHandlersItFound) {
    const auto before = handlers();
    void* analyzer = dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(analyzer, nullptr) << dlerror();
    EXPECT_NE(handlers(), before);
    ASSERT_EQ(dlclose(analyzer), 0);
    EXPECT_EQ(dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
    EXPECT_EQ(handlers(), before);
}

// The analyzer writes the process's first record, so the logger is created
// then, but in the library the analyzer takes it from, not in the analyzer:
// unloading the analyzer still unloads it and gives the host its SIGSEGV
// handler back, the host's own records reach its sink through the same
// logger, and the analyzer can be loaded and unloaded again.
TEST(FaultsPosix, TheAnalyzerUnloadsAfterWritingTheFirstRecord) {
    struct sigaction host {};
    host.sa_sigaction = &previousHandler;
    host.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &host, nullptr);
    const auto before = handlers();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            testsupport::CapturingSink sink;
            void* analyzer = dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_LOCAL);
            ASSERT_NE(analyzer, nullptr) << dlerror();
            const auto analyse =
                reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
                    dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
            const auto convert = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
                dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
            std::vector<char> block(OrvStatusAnalyzerQLX5100::kMinimumStatusSize);
            StatusMap map;
            ParamIoXML tree;
            EXPECT_TRUE(analyse(block.data(), block.size(), map));
            EXPECT_TRUE(convert(map, tree));
            EXPECT_EQ(sink.count("<--"), 4u);
            ASSERT_EQ(dlclose(analyzer), 0);
        }
        EXPECT_EQ(dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_NOLOAD), nullptr) << "still loaded";
        EXPECT_EQ(handlers(), before);
        testsupport::CapturingSink sink;
        BOOST_LOG_SEV(RynCmnLog::glob_logger::get(), RynCmnLog::error) << "the host's record";
        const auto records = sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].message, "the host's record");
        EXPECT_TRUE(records[0].hasLoggerAttributes);
    }
}

}  // namespace
}  // namespace faults
