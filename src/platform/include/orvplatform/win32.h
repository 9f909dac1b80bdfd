// The one interface between the analyzer and the operating system.
//
// The analyzer is written against the Win32 names it would use as a DLL, in
// orvplatform::win32 (on Windows the system's own, declared there too):
// LoadLibraryW / GetProcAddress / FreeLibrary / GetLastError for the common
// module, EXCEPTION_POINTERS and a structured-exception translator for
// machine faults, and DllMain as its load-time hook. On Windows this header is
// the real API (with the translator from windows/faults.cpp where the C
// runtime has none, as with mingw-w64); elsewhere it declares stand-ins with
// the same names and meanings, implemented under posix/. No file outside this
// folder may test which platform it is built for.
#pragma once

#if defined(_WIN32)
#include "orvplatform/windows/win32_windows.h"
#else
#include "orvplatform/posix/win32_posix.h"
#endif

#include <optional>
#include <type_traits>
#include <utility>

namespace orvplatform {

namespace detail {

template <typename Call>
void invokeCall(void* call) {
    (*static_cast<Call*>(call))();
}

}  // namespace detail

// Runs fn(args...) so that a machine fault inside it ends as the translator's
// exception (detail::callGuarded, one per platform). Frames between the fault
// and this call are left by a jump and run no destructors: what they hold
// leaks (docs/fault-translation.md says what that is for the analyzer's own
// work).
template <typename Fn, typename... Args>
inline decltype(auto) guardedCall(Fn fn, Args&&... args) {
    using R = std::invoke_result_t<Fn&, Args&&...>;
    static_assert(!std::is_reference_v<R>, "a guarded call returns a value or nothing");
    if constexpr (std::is_void_v<R>) {
        auto call = [&] { fn(std::forward<Args>(args)...); };
        detail::callGuarded(&detail::invokeCall<decltype(call)>, &call);
    } else {
        std::optional<R> result;
        auto call = [&] { result.emplace(fn(std::forward<Args>(args)...)); };
        detail::callGuarded(&detail::invokeCall<decltype(call)>, &call);
        return R(std::move(*result));
    }
}

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
    // Through void(*)(): FARPROC is a typed pointer on Windows, and casting it
    // straight to another function type draws -Wcast-function-type.
    explicit ForeignProc(win32::FARPROC proc)
        : fn_(reinterpret_cast<pointer>(reinterpret_cast<void (*)()>(proc))) {}

    explicit operator bool() const { return fn_ != nullptr; }
    pointer get() const { return fn_; }

    R operator()(Args... args) const { return guardedCall(fn_, std::forward<Args>(args)...); }

private:
    pointer fn_ = nullptr;
};

}  // namespace orvplatform
