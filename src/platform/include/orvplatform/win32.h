// The one interface between the analyzer and the operating system.
//
// The analyzer is written against the Win32 names it would use as a DLL:
// LoadLibraryW / GetProcAddress / FreeLibrary / GetLastError for the common
// module, EXCEPTION_POINTERS and a per-process structured-exception translator
// for machine faults, and DllMain as its load-time hook. On Windows this header
// is the real API; elsewhere it declares stand-ins with the same names and
// meanings, implemented under posix/. No file outside this folder may test
// which platform it is built for.
#pragma once

#if defined(_WIN32)
#include "orvplatform/windows/win32_windows.h"
#else
#include "orvplatform/posix/win32_posix.h"
#endif

#include <type_traits>
#include <utility>

// A function found with GetProcAddress, typed and callable. Calls run inside
// the platform's fault guard, so a machine fault in foreign code reaches the
// installed translator and leaves the call as the translator's exception
// instead of killing the host. Arguments are passed through unchanged.
template <typename Signature>
class ForeignProc;

template <typename R, typename... Args>
class ForeignProc<R(Args...)> {
public:
    using pointer = R (*)(Args...);

    ForeignProc() = default;
    explicit ForeignProc(FARPROC proc) : fn_(reinterpret_cast<pointer>(proc)) {}

    explicit operator bool() const { return fn_ != nullptr; }
    pointer get() const { return fn_; }

    R operator()(Args... args) const {
        return orvplatform::guardedCall(fn_, std::forward<Args>(args)...);
    }

private:
    pointer fn_ = nullptr;
};
