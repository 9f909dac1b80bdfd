// POSIX stand-ins for the Win32 names the analyzer uses. Only code that is
// specific to POSIX belongs in this file and in posix/*.cpp.
//
// Names: hosts include this file (through the installed headers), so the only
// names it puts in the global namespace are the fault records a host reads
// from a unitCmnException (EXCEPTION_RECORD, EXCEPTION_POINTERS, CONTEXT), as
// on Windows. Every other Win32 name is in orvplatform::win32, and it defines
// no macro without the ORV_ prefix: a host's own BOOL, TRUE or DWORD (X11,
// glib, ...) stays its own. The project's code says
// `using namespace orvplatform::win32;` and writes the names as on Windows.
//
// Loading: LoadLibraryW maps a bare "NAME.dll" to "libNAME.so" and lets the
// dynamic loader search for it (LD_LIBRARY_PATH, the caller's run path, the
// system directories); a bare name found nowhere is then tried in the
// directory of the module this layer is linked into, for when dlopen is
// interposed (sanitizers) and the loader sees the interposer as the caller.
// Every successful call takes one loader reference.
//
// Faults: _set_se_translator installs, for the whole process, the function that
// turns a machine fault into a C++ exception. Faults are only translated inside
// a guarded call (ForeignProc, CopyMemory, guardedCall) on the faulting thread;
// any other fault goes to the handler that was installed before us, or to the
// default action. The handlers are put back when the module holding this layer
// unloads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvplatform {
namespace win32 {

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using DWORD64 = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LPVOID = void*;
using LPCWSTR = const wchar_t*;
using LPCSTR = const char*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = void (*)();

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

// Exception codes the fault handler reports, with their Windows values.
constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005u;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006u;
constexpr DWORD EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002u;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du;
constexpr DWORD EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u;
constexpr DWORD EXCEPTION_INT_OVERFLOW = 0xC0000095u;
constexpr DWORD EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du;
constexpr DWORD EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu;
constexpr DWORD EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u;
constexpr DWORD EXCEPTION_FLT_OVERFLOW = 0xC0000091u;
constexpr DWORD EXCEPTION_FLT_UNDERFLOW = 0xC0000093u;
constexpr DWORD EXCEPTION_NONCONTINUABLE = 0x1u;

constexpr DWORD EXCEPTION_MAXIMUM_PARAMETERS = 15;

}  // namespace win32
}  // namespace orvplatform

struct EXCEPTION_RECORD {
    orvplatform::win32::DWORD ExceptionCode;
    orvplatform::win32::DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    void* ExceptionAddress;
    orvplatform::win32::DWORD NumberParameters;
    orvplatform::win32::ULONG_PTR
        ExceptionInformation[orvplatform::win32::EXCEPTION_MAXIMUM_PARAMETERS];
};

// The processor state at a fault: the general registers under their Windows
// x64 names, plus what the kernel told us about the fault itself. On other
// processors only Rip (program counter) and Rsp (stack pointer) are filled.
struct CONTEXT {
    orvplatform::win32::DWORD ContextFlags;
    orvplatform::win32::DWORD EFlags;
    std::uint64_t Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    std::uint64_t R8, R9, R10, R11, R12, R13, R14, R15;
    std::uint64_t Rip;
    // POSIX extras: the signal, its si_code, and for page faults the trap
    // number and the processor's error code.
    int Signal;
    int SignalCode;
    std::uint64_t TrapNo;
    std::uint64_t ErrorCode;
};

struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    CONTEXT* ContextRecord;
};

namespace orvplatform {
namespace win32 {

using PEXCEPTION_RECORD = EXCEPTION_RECORD*;
using PCONTEXT = CONTEXT*;
using PEXCEPTION_POINTERS = EXCEPTION_POINTERS*;

HMODULE LoadLibraryW(LPCWSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
DWORD GetLastError();
void SetLastError(DWORD error);

using _se_translator_function = void (*)(unsigned int, EXCEPTION_POINTERS*);
// Process-wide here (there are no per-thread attach notifications to hook):
// the translator is in force on every thread, also those that existed before
// the module was loaded. Returns the previous translator.
_se_translator_function _set_se_translator(_se_translator_function translator);

// Copies host memory that may be unreadable; a fault becomes the translator's
// exception, as the CRT's memcpy would under Windows' structured exceptions.
void CopyMemory(void* destination, const void* source, std::size_t length);

}  // namespace win32

namespace detail {

// Runs thunk(context) as one guarded region on this thread: a machine fault
// inside it leaves as the translator's exception, thrown from this function's
// frame. Not inline on purpose: the jump buffer must stay in a frame that is
// live for the whole call, and keeping sigsetjmp out of templates keeps the
// callers free of variables that a jump could clobber.
void callGuarded(void (*thunk)(void*), void* context);

}  // namespace detail

// Copies a NUL-terminated text of at most cap - 1 characters from memory that
// may not be readable, without relying on any signal handler. Returns false
// (and leaves dst empty) when the text is not readable up to its NUL or up to
// cap - 1 characters. A text longer than that is cut.
bool copyTextIfReadable(char* dst, std::size_t cap, const void* src) noexcept;

// Keeps the module that contains address loaded until the process ends (what
// GetModuleHandleEx with GET_MODULE_HANDLE_EX_FLAG_PIN does on Windows). For
// objects whose code must outlive a later FreeLibrary/dlclose of their module.
void keepModuleLoaded(const void* address) noexcept;

}  // namespace orvplatform
