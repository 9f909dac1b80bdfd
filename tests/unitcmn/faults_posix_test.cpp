// What only POSIX has: signals that are not ours.
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <utility>
#include <vector>

#include "analyzer_exports.h"
#include "capturing_sink.h"
#include "fault_module.h"
#include "prtorvstatusanalyzerqlx5100/orvstatusanalyzerqlx5100.h"

namespace faults {
namespace {

void previousHandler(int, siginfo_t*, void*) {
    (void)!write(2, "previous handler\n", 17);
    _exit(42);
}

// The export table gives what the loader gives, in libraries with versioned
// exports, data and indirect functions (glibc's memcpy and strlen are).
TEST(GetProcAddress, AgreesWithTheLoaderOnTheSystemsLibraries) {
    const struct {
        const wchar_t* library;
        std::vector<const char*> names;
    } cases[] = {
        {L"libc.so.6", {"malloc", "memcpy", "strlen", "qsort", "environ", "printf"}},
        {L"libstdc++.so.6", {"_Znwm", "_ZSt4cout", "_ZNSt6thread4joinEv", "_ZdlPv"}},
    };
    for (const auto& c : cases) {
        const HMODULE module = LoadLibraryW(c.library);
        ASSERT_NE(module, nullptr);
        for (const char* name : c.names) {
            void* expected = dlsym(module, name);
            ASSERT_NE(expected, nullptr) << name;
            EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, name)), expected) << name;
        }
        FreeLibrary(module);
    }
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

// Whether the host's handler must find itself on the host's alternate stack.
volatile bool g_wantOnAltStack = false;

// A host handler that needs a megabyte of stack and checks that it runs on
// the stack it asked for.
void hungryHandler(int, siginfo_t*, void*) {
    volatile char scratch[1 << 20];
    for (std::size_t i = 0; i < sizeof scratch; i += 256) {
        scratch[i] = 1;
    }
    stack_t now{};
    sigaltstack(nullptr, &now);
    if (((now.ss_flags & SS_ONSTACK) != 0) != g_wantOnAltStack) {
        (void)!write(2, "host handler on another stack\n", 30);
        _exit(43);
    }
    (void)!write(2, "host handler\n", 13);
    _exit(42);
}

// Gives this thread a 2 MiB alternate stack of the host's, or none at all
// (a sanitizer sets up one of its own on every thread).
void setThreadAltStack(bool host2MiB) {
    if (!host2MiB) {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        return;
    }
    stack_t host{};
    host.ss_size = 2u << 20;
    host.ss_sp =
        mmap(nullptr, host.ss_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    sigaltstack(&host, nullptr);
}

// After analyzer calls on a thread, the thread's alternate-stack setting is
// the host's own, and a fault of the host's there runs the host's handler on
// the stack that handler asked for: the thread's own stack, or the host's
// alternate stack when the handler has SA_ONSTACK and the thread has one.
TEST(FaultsDeathTest, TheHostsHandlerRunsOnTheStackItAskedForAfterAnalyzerCalls) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* stack;
        int flags;
        bool hostAltStack;
    } cases[] = {
        {"the thread's stack", SA_SIGINFO, false},
        {"the thread's stack: SA_ONSTACK but no alternate stack", SA_SIGINFO | SA_ONSTACK, false},
        {"the thread's stack: an alternate stack but no SA_ONSTACK", SA_SIGINFO, true},
        {"the host's alternate stack", SA_SIGINFO | SA_ONSTACK, true},
    };
    for (const auto& c : cases) {
        const auto body = [&c] {
            setThreadAltStack(c.hostAltStack);
            stack_t before{};
            sigaltstack(nullptr, &before);
            g_wantOnAltStack = c.hostAltStack && (c.flags & SA_ONSTACK) != 0;
            struct sigaction action {};
            action.sa_sigaction = &hungryHandler;
            action.sa_flags = c.flags;
            sigaction(SIGSEGV, &action, nullptr);
            const auto analyzer = testsupport::loadExports(ORV_ANALYZER_MODULE);
            std::vector<char> block(OrvStatusAnalyzerQLX5100::kMinimumStatusSize);
            for (int round = 0; round < 3; ++round) {
                StatusMap map;
                ParamIoXML tree;
                if (!analyzer.analyse(block.data(), block.size(), map) ||
                    !analyzer.convert(map, tree)) {
                    _exit(2);
                }
            }
            stack_t after{};
            sigaltstack(nullptr, &after);
            if (after.ss_flags != before.ss_flags || after.ss_sp != before.ss_sp) {
                (void)!write(2, "another alternate stack\n", 24);
                _exit(3);
            }
            readAt.get()(nullptr);
            _exit(1);
        };
        EXPECT_EXIT(body(), ::testing::ExitedWithCode(42), "host handler\n") << c.stack;
    }
}

// Deep enough to overflow any thread's stack.
int deeper(unsigned depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return depth == 0 ? 0 : deeper(depth - 1) + frame[0];
}

// A stack overflow can be reported only from another stack, and the library
// sets up none of its own: on a thread that has one (the host's), an overflow
// inside a guarded call is translated, the second as well as the first; on a
// thread without one the process dies of it, as it would without us.
TEST(FaultsDeathTest, AStackOverflowInsideAGuardedCallIsTranslatedOnTheHostsAltStack) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto overflow = [](bool hostAltStack) {
        setThreadAltStack(hostAltStack);
        _set_se_translator(&translateStructuredException);
        for (int round = 0; round < 2; ++round) {
            const unitCmnException e =
                translated([] { orvplatform::guardedCall(&deeper, 1u << 30); });
            if (e.exceptionRecord.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) {
                _exit(3);
            }
        }
        (void)!write(2, "translated twice\n", 17);
        _exit(0);
    };
    EXPECT_EXIT(overflow(true), ::testing::ExitedWithCode(0), "translated twice");
    EXPECT_EXIT(overflow(false), ::testing::KilledBySignal(SIGSEGV), "");
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
