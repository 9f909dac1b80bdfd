// A stand-in for the common analyzer module (CMakeLists.txt, common_double.h).
// Plain data and trivially destructible thread-locals only: a function-local
// static or an exit hook would keep the module loaded after the last dlclose
// and hide a reference the analyzer forgot to release.
#include "common_double.h"

#include <cstdint>
#include <stdexcept>

#include "orvplatform/module.h"
#include "unitcmnparamio/paramioxml.h"

using commondouble::Outcome;

namespace {

commondouble::State g_state;
thread_local unsigned t_conversions = 0;

// Through volatiles, so that the compiler neither sees a fault coming nor
// drops the access (nor turns 1 / x into a comparison).
volatile std::uintptr_t g_badAddress = 0x10;
volatile int g_one = 1;
volatile int g_zero = 0;

// Whether to succeed, unless the outcome throws or faults.
bool act(Outcome outcome, const char* what) {
    switch (outcome) {
        case Outcome::ThrowStd:
            throw std::runtime_error(what);
        case Outcome::ThrowInt:
            throw 7;
        case Outcome::Read:
            return *reinterpret_cast<const volatile char*>(g_badAddress) == 0;
        case Outcome::Write:
            *reinterpret_cast<volatile char*>(g_badAddress) = 1;
            return false;
        case Outcome::Divide:
            return g_one / g_zero == 0;
        default:
            return outcome != Outcome::ReturnFalse;
    }
}

int failIfDue() {
    const auto every = static_cast<unsigned>(g_state.failEvery);
    if (every != 0 && ++t_conversions % every == 0) {
        const unsigned k = t_conversions / every - 1;  // this thread's failures before
        act(g_state.conversion == Outcome::Cycle ? static_cast<Outcome>(4 + k % 3)
                                                 : g_state.conversion,
            "conversion failed");
    }
    return 0;
}

}  // namespace

extern "C" {

ORV_MODULE_EXPORT commondouble::State* orvDoubleState() {
    return &g_state;
}

ORV_MODULE_EXPORT bool startStatusAnalysis(char* status, unsigned long long size, StatusMap& out) {
    g_state.commonStatus = status;
    g_state.commonSize = size;
    out[commondouble::kCommonKey][1] = commondouble::kCommonValue;
    return act(g_state.common, "common step failed");
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap&, ParamIoXML& tree) {
    tree.addElement(commondouble::kCommonTreeKey, commondouble::kCommonValue);
    return act(g_state.common, "common step failed");
}

ORV_MODULE_EXPORT int convertBigCharToLittleINT32(char* p) {
    return failIfDue() + static_cast<signed char>(p[0]);
}

ORV_MODULE_EXPORT int convertBigUCharToLittleINT32(char* p) {
    return failIfDue() + static_cast<unsigned char>(p[0]);
}

ORV_MODULE_EXPORT int convertBigUShortToLittleINT32(char* p) {
    return failIfDue() + (static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]));
}

}  // extern "C"
