// Windows: the real Win32 API. Only code that is specific to Windows belongs
// in this file and in windows/*.cpp.
//
// Loading: LoadLibraryW, GetProcAddress, FreeLibrary and GetLastError are the
// system's own, with the system's search order for a bare name.
//
// Built with mingw-w64 only: hosts share std::map and std::string with the
// modules, which only works with one compiler and C++ runtime on both sides
// (docs/fault-translation.md). Faults: g++ has no /EHa and no __try, so this
// layer provides _set_se_translator itself, per thread like the C runtime's.
// A machine fault is translated only inside a guarded call (ForeignProc,
// CopyMemory, guardedCall) on a thread whose translator is set: a vectored
// exception handler records the fault and resumes the thread at a landing pad
// that jumps back to the guard, and the guard calls the translator, which
// throws from our own frame where C++ unwinding works. Other exceptions go on
// to the next handler unchanged.
// See docs/fault-translation.md.
#pragma once

#if !defined(__MINGW32__)
#error "the Windows build is mingw-w64 only (docs/fault-translation.md)"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

// The loader calls DllMain by its C name; this declaration gives the module's
// definition that linkage.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

// The load-time hook is DllMain itself on Windows: the loader calls it.
#define ORV_PLATFORM_DLLMAIN(fn)

// Exports are listed by ordinal in the module definition (.def) files.
#define ORV_MODULE_EXPORT

namespace orvplatform {

// Pins the module containing address (GET_MODULE_HANDLE_EX_FLAG_PIN).
inline void keepModuleLoaded(const void* address) noexcept {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       static_cast<LPCWSTR>(address), &module);
}

// Copies a NUL-terminated text of at most cap - 1 characters from memory that
// may not be readable, without relying on any exception handler. Returns false
// (and leaves dst empty) when it is not readable up to its NUL or cap - 1.
bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept;

}  // namespace orvplatform

using _se_translator_function = void (*)(unsigned int, EXCEPTION_POINTERS*);

// Sets the translator of the calling thread and returns the one it had
// (null on a thread where none was set). Each thread starts without one: the
// module's DllMain sets it on DLL_PROCESS_ATTACH and DLL_THREAD_ATTACH.
// The translator must not return; it throws.
_se_translator_function _set_se_translator(_se_translator_function translator);

// <windows.h> makes CopyMemory a macro for memcpy, which would fault straight
// through. Here it is a guarded copy: a fault becomes the translator's
// exception instead.
#undef CopyMemory
namespace orvplatform {
namespace win32 {
void CopyMemory(void* destination, const void* source, std::size_t length);
}  // namespace win32
}  // namespace orvplatform

namespace orvplatform {

namespace detail {

// Runs thunk(context) as one guarded region on this thread. Not inline on
// purpose: the jump buffer must stay in a frame that is live for the whole
// call, and keeping the jump out of templates keeps the callers free of
// variables a jump could clobber.
void callGuarded(void (*thunk)(void*), void* context);

}  // namespace detail

}  // namespace orvplatform

// The names the project uses, in the namespace they have on every platform.
namespace orvplatform {
namespace win32 {

using ::BOOL;
using ::BYTE;
using ::CONTEXT;
using ::DWORD;
using ::DWORD64;
using ::EXCEPTION_POINTERS;
using ::EXCEPTION_RECORD;
using ::FARPROC;
using ::HINSTANCE;
using ::HMODULE;
using ::LPCSTR;
using ::LPCWSTR;
using ::LPVOID;
using ::PCONTEXT;
using ::PEXCEPTION_POINTERS;
using ::PEXCEPTION_RECORD;
using ::ULONG_PTR;
using ::WORD;

using ::FreeLibrary;
using ::GetLastError;
using ::GetProcAddress;
using ::LoadLibraryW;
using ::SetLastError;

using ::_se_translator_function;
using ::_set_se_translator;

}  // namespace win32
}  // namespace orvplatform
