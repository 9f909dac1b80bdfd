// Windows: the real API. Faults are turned into exceptions by the translator
// that DllMain installs with _set_se_translator, so a guarded call is a plain
// call here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#if defined(_MSC_VER)
#include <eh.h>
#else
using _se_translator_function = void (*)(unsigned int, EXCEPTION_POINTERS*);
_se_translator_function _set_se_translator(_se_translator_function translator);
#endif

#include <cstddef>
#include <cstring>

// The load-time hook is DllMain itself on Windows: the loader calls it.
#define ORV_PLATFORM_DLLMAIN(fn)

// Exports are listed by ordinal in the module definition file.
#define ORV_MODULE_EXPORT

namespace orvplatform {

template <typename Fn, typename... Args>
inline decltype(auto) guardedCall(Fn fn, Args&&... args) {
    return fn(std::forward<Args>(args)...);
}

// Pins the module containing address (GET_MODULE_HANDLE_EX_FLAG_PIN).
inline void keepModuleLoaded(const void* address) noexcept {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<LPCWSTR>(address), &module);
}

// Copies a NUL-terminated text of at most cap - 1 characters from memory that
// may not be readable. Returns false when it is not.
bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept;

}  // namespace orvplatform
