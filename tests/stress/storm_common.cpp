// A common module that faults on every Nth byte conversion of each armed
// thread, in turn a read, a write and a division by zero, so that a long run
// of calls all end in a machine fault inside foreign code.
//
// No function-local statics and only trivially destructible thread-locals:
// anything that registers an exit hook would keep the module loaded and hide
// a reference the analyzer forgot to release.
#include <atomic>
#include <cstdint>

#include "orvplatform/win32.h"
#include "unitcom/statusmap.h"

class ParamIoXML;

namespace {

std::atomic<int> g_every{0};
thread_local bool t_armed = false;
thread_local unsigned t_conversions = 0;

// Through volatiles, so that the compiler neither sees the fault coming nor
// drops the access (nor turns 1 / x into a comparison).
volatile std::uintptr_t g_badAddress = 0x10;
volatile int g_dividend = 1;
volatile int g_zero = 0;

int faultIfDue() {
    const int every = g_every.load(std::memory_order_relaxed);
    if (!t_armed || every <= 0 || ++t_conversions % static_cast<unsigned>(every) != 0) {
        return 0;
    }
    switch ((t_conversions / static_cast<unsigned>(every)) % 3) {
        case 0:
            return *reinterpret_cast<const volatile char*>(g_badAddress);
        case 1:
            *reinterpret_cast<volatile char*>(g_badAddress) = 1;
            return 0;
        default:
            return g_dividend / g_zero;
    }
}

int byteAt(const char* p, int i) {
    return static_cast<unsigned char>(p[i]);
}

}  // namespace

extern "C" {

// N for every thread; 0 never faults.
ORV_MODULE_EXPORT void stormFaultEvery(int n) {
    g_every.store(n, std::memory_order_relaxed);
}

// Faults happen only on armed threads; arming starts the count afresh.
ORV_MODULE_EXPORT void stormArm(bool armed) {
    t_armed = armed;
    t_conversions = 0;
}

ORV_MODULE_EXPORT bool startStatusAnalysis(char*, unsigned long long, StatusMap&) {
    return true;
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap&, ParamIoXML&) {
    return true;
}

ORV_MODULE_EXPORT int convertBigCharToLittleINT32(char* p) {
    return faultIfDue() + static_cast<signed char>(p[0]);
}

ORV_MODULE_EXPORT int convertBigUCharToLittleINT32(char* p) {
    return faultIfDue() + byteAt(p, 0);
}

ORV_MODULE_EXPORT int convertBigUShortToLittleINT32(char* p) {
    return faultIfDue() + ((byteAt(p, 0) << 8) | byteAt(p, 1));
}

}  // extern "C"
