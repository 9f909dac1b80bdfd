// Foreign code that faults on request. Built without -fnon-call-exceptions and
// without anything of ours, like a common module whose build we do not choose.
// Every fault happens here, behind a function pointer, so the compiler of the
// test cannot see it and remove it.
#include "faultmodule_export.h"

namespace {

// Volatile, like the faulting reads: an optimiser may otherwise move the
// destructor's increment before the read that faults.
volatile int g_destructorRuns = 0;

struct Tracker {
    ~Tracker() { g_destructorRuns = g_destructorRuns + 1; }
};

void noop() {}
// Opaque to the optimiser, so the call may throw and readWithLocal keeps a
// call-site table (an LSDA) that does not cover the faulting load.
void (*volatile g_hook)() = &noop;

}  // namespace

extern "C" {

FAULTMODULE_EXPORT int readAt(const volatile int* p) {
    return *p;
}

FAULTMODULE_EXPORT void writeAt(volatile int* p, int value) {
    *p = value;
}

FAULTMODULE_EXPORT int divideBy(int a, int b) {
    return a / b;
}

FAULTMODULE_EXPORT void illegalInstruction() {
    __builtin_trap();
}

FAULTMODULE_EXPORT void callAt(void (*fn)()) {
    fn();
}

// Each frame hands its buffer to the next, so no call can become a jump and
// the stack really grows until it overflows (stopAt < 0 never stops).
FAULTMODULE_EXPORT int recurse(int depth, int stopAt, volatile char* parent) {
    volatile char pad[512];
    pad[0] = static_cast<char>(parent != nullptr ? parent[0] + 1 : 0);
    if (depth == stopAt) {
        return pad[0];
    }
    pad[1] = static_cast<char>(recurse(depth + 1, stopAt, pad));
    return pad[1];
}

FAULTMODULE_EXPORT int readWithLocal(const volatile int* p) {
    Tracker tracker;
    g_hook();
    return *p;
}

FAULTMODULE_EXPORT int destructorRuns() {
    return g_destructorRuns;
}

}  // extern "C"
