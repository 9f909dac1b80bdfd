// What only POSIX has: signals that are not ours.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "fault_module.h"

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

}  // namespace
}  // namespace faults
