// Whether something installed a handler for a fault signal before the test
// program ran. A sanitizer does, unless it is told not to (the asan and tsan
// test presets set handle_segv=0 and its siblings). With such a handler the
// library forwards the faults that are not its own to it, as it should,
// instead of leaving them to the default action; so the tests that expect
// the default action, or no handler at all, cannot run.
#pragma once

#include <signal.h>

#include <initializer_list>

namespace testsupport {

class PreinstalledHandlers {
public:
    PreinstalledHandlers() {
        for (int i = 0; i < kCount; ++i) {
            struct sigaction a {};
            owned_[i] = sigaction(kSignals[i], nullptr, &a) == 0 && a.sa_handler != SIG_DFL;
        }
    }

    // The first of sigs that such a handler owns, or 0.
    int firstOwned(std::initializer_list<int> sigs) const {
        for (int sig : sigs) {
            for (int i = 0; i < kCount; ++i) {
                if (kSignals[i] == sig && owned_[i]) {
                    return sig;
                }
            }
        }
        return 0;
    }

private:
    static constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
    static constexpr int kCount = sizeof kSignals / sizeof kSignals[0];
    bool owned_[kCount] = {};
};

// Probed during static initialisation: before main(), when only a runtime's
// start-up can have installed anything, and before any test installs the
// library's handlers.
inline const PreinstalledHandlers kPreinstalledHandlers;

constexpr const char kPreinstalledReason[] =
    "a handler was installed before the tests ran (a sanitizer's: run with "
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0, as the test presets do); "
    "the library rightly forwards faults that are not its own to it";

}  // namespace testsupport
