// What only POSIX has: signals that are not ours.
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

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

// A host handler that needs far more stack than any alternate stack of ours.
void hungryHandler(int, siginfo_t*, void*) {
    volatile char scratch[1 << 20];
    for (std::size_t i = 0; i < sizeof scratch; i += 256) {
        scratch[i] = 1;
    }
    (void)!write(2, "host handler\n", 13);
    _exit(42);
}

// After analyzer calls on a thread, the thread's alternate-stack setting is
// the host's own again, and a fault of the host's there runs the host's
// handler on the stack that handler asked for: the thread's own stack, or the
// alternate stack the host set up, with a megabyte of it in use.
TEST(FaultsDeathTest, TheHostsHandlerRunsOnTheStackItAskedForAfterAnalyzerCalls) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* stack;
        int flags;
        bool hostAltStack;
    } cases[] = {
        {"the thread's stack", SA_SIGINFO, false},
        {"the thread's stack: SA_ONSTACK but no alternate stack", SA_SIGINFO | SA_ONSTACK, false},
        {"the host's alternate stack", SA_SIGINFO | SA_ONSTACK, true},
    };
    for (const auto& c : cases) {
        const auto body = [&c] {
            stack_t host{};
            host.ss_flags = SS_DISABLE;
            if (c.hostAltStack) {
                host.ss_size = 2u << 20;
                host.ss_sp = mmap(nullptr, host.ss_size, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                host.ss_flags = 0;
                sigaltstack(&host, nullptr);
            }
            struct sigaction action {};
            action.sa_sigaction = &hungryHandler;
            action.sa_flags = c.flags;
            sigaction(SIGSEGV, &action, nullptr);
            void* analyzer = dlopen(ORV_ANALYZER_MODULE, RTLD_NOW | RTLD_LOCAL);
            const auto analyse =
                reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startStatusAnalysis>(
                    dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartStatusAnalysisName));
            const auto convert = reinterpret_cast<OrvStatusAnalyzerQLX5100::PFN_startConvertXML>(
                dlsym(analyzer, OrvStatusAnalyzerQLX5100::kStartConvertXMLName));
            std::vector<char> block(OrvStatusAnalyzerQLX5100::kMinimumStatusSize);
            for (int round = 0; round < 3; ++round) {
                StatusMap map;
                ParamIoXML tree;
                if (!analyse(block.data(), block.size(), map) || !convert(map, tree)) {
                    _exit(2);
                }
            }
            stack_t now{};
            sigaltstack(nullptr, &now);
            if ((now.ss_flags & SS_DISABLE) != (host.ss_flags & SS_DISABLE) ||
                (c.hostAltStack && now.ss_sp != host.ss_sp)) {
                (void)!write(2, "another alternate stack\n", 24);
                _exit(3);
            }
            readAt.get()(nullptr);
            _exit(1);
        };
        EXPECT_EXIT(body(), ::testing::ExitedWithCode(42), "host handler") << c.stack;
    }
}

// Deep enough to overflow any thread's stack.
int deeper(unsigned depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return depth == 0 ? 0 : deeper(depth - 1) + frame[0];
}

// A stack overflow can be reported only from another stack: the one a guarded
// call arms, for the call alone. The second overflow on the thread is
// reported as well as the first.
TEST(FaultsPosix, AStackOverflowInsideAGuardedCallIsTranslatedEveryTime) {
    _set_se_translator(&translateStructuredException);
    for (int round = 0; round < 2; ++round) {
        const unitCmnException e = translated([] { orvplatform::guardedCall(&deeper, 1u << 30); });
        EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION) << round;
        stack_t now{};
        sigaltstack(nullptr, &now);
        EXPECT_NE(now.ss_flags & SS_DISABLE, 0) << "left armed after the call";
    }
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
