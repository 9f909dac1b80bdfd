// A stand-in for the common analyzer module, built once per case: the version
// script of each build decides which of the five functions it exports, and so
// which missing-function case it plays. The rest is steered through the
// control block (common_double.h).
//
// Plain data and no function-local statics: a unique (STB_GNU_UNIQUE) symbol
// would keep the module loaded after the last dlclose and hide leaks.
#include "common_double.h"

#include <cstdint>
#include <stdexcept>

#include "orvplatform/win32.h"
#include "unitcmnparamio/paramioxml.h"

using commondouble::CommonMode;
using commondouble::Conversion;

namespace {

commondouble::State g_state;

// Read through a pointer the compiler cannot see through.
volatile std::uintptr_t g_badAddress = 0x10;

int readBadAddress() {
    return *reinterpret_cast<const volatile char*>(g_badAddress);
}

bool commonOutcome() {
    switch (g_state.commonMode) {
        case CommonMode::ReturnFalse:
            return false;
        case CommonMode::ThrowStd:
            throw std::runtime_error(commondouble::kCommonWhat);
        case CommonMode::ThrowInt:
            throw 7;
        case CommonMode::Fault:
            return readBadAddress() == 0;
        case CommonMode::Succeed:
            break;
    }
    return true;
}

int convert(Conversion kind, char* p) {
    auto& s = g_state;
    if (s.conversionCount < sizeof s.conversions / sizeof s.conversions[0]) {
        s.conversions[s.conversionCount] = {kind, p};
    }
    if (static_cast<int>(++s.conversionCount) == s.failAtCall) {
        switch (s.failure) {
            case commondouble::Failure::ThrowStd:
                throw std::runtime_error(commondouble::kConversionWhat);
            case commondouble::Failure::ThrowInt:
                throw 7;
            case commondouble::Failure::Fault:
                return readBadAddress();
            case commondouble::Failure::None:
                break;
        }
    }
    const auto byte = [p](int i) { return static_cast<unsigned char>(p[i]); };
    switch (kind) {
        case Conversion::Char:
            return static_cast<signed char>(p[0]);
        case Conversion::UChar:
            return byte(0);
        case Conversion::UShort:
            return (byte(0) << 8) | byte(1);
    }
    return 0;
}

}  // namespace

extern "C" {

ORV_MODULE_EXPORT commondouble::State* orvDoubleState() {
    return &g_state;
}

ORV_MODULE_EXPORT bool startStatusAnalysis(char* status, unsigned long long size, StatusMap& out) {
    ++g_state.commonCalls;
    g_state.commonStatus = status;
    g_state.commonSize = size;
    g_state.commonMap = &out;
    out[commondouble::kCommonKey][1] = commondouble::kCommonValue;
    return commonOutcome();
}

ORV_MODULE_EXPORT bool startConvertXML(StatusMap& in, ParamIoXML& tree) {
    ++g_state.commonCalls;
    g_state.commonMap = &in;
    tree.addElement(commondouble::kCommonTreeKey, commondouble::kCommonValue);
    return commonOutcome();
}

ORV_MODULE_EXPORT int convertBigCharToLittleINT32(char* p) {
    return convert(Conversion::Char, p);
}

ORV_MODULE_EXPORT int convertBigUCharToLittleINT32(char* p) {
    return convert(Conversion::UChar, p);
}

ORV_MODULE_EXPORT int convertBigUShortToLittleINT32(char* p) {
    return convert(Conversion::UShort, p);
}

}  // extern "C"
