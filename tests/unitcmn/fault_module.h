// The fault tests' foreign module (modules/faultmodule.cpp), loaded once and
// never unloaded, and how a test sees a translated fault.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "orvplatform/win32.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace faults {

using namespace orvplatform::win32;
using orvplatform::ForeignProc;

inline HMODULE faultModule() {
    static const HMODULE module = [] {
        const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/faultmodule.dll";
        return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    }();
    return module;
}

template <typename Signature>
ForeignProc<Signature> proc(const char* name) {
    return ForeignProc<Signature>(GetProcAddress(faultModule(), name));
}

inline const auto readAt = proc<int(const volatile int*)>("readAt");
inline const auto writeAt = proc<void(volatile int*, int)>("writeAt");
inline const auto divideBy = proc<int(int, int)>("divideBy");
inline const auto illegalInstruction = proc<void()>("illegalInstruction");

// The record the translator threw for f, which must fault.
inline unitCmnException translated(const std::function<void()>& f) {
    try {
        f();
    } catch (unitCmnException& e) {
        return e;
    }
    ADD_FAILURE() << "no fault was reported";
    return {};
}

inline std::string hex(const void* value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", reinterpret_cast<unsigned long long>(value));
    return text;
}

// Whether a fault's instruction lies in fn: within the first bytes, all that
// the module's tiny functions have.
template <typename Proc>
bool inFunction(const void* instruction, const Proc& fn) {
    const auto at = reinterpret_cast<const char*>(instruction);
    const auto start = reinterpret_cast<const char*>(fn.get());
    return at >= start && at < start + 256;
}

// As the analyzer's load hook does on the thread that loads it.
class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _set_se_translator(&translateStructuredException); }
};

}  // namespace faults
