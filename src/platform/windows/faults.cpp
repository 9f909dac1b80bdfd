// Machine faults -> the installed translator, on Windows with mingw-w64.
//
// g++ has neither /EHa nor __try, and the C runtime's translator never sees
// the exception frames g++ emits. So this mirrors
// the POSIX layer: every guarded call pushes a FaultFrame (with a jump buffer)
// on a per-thread chain; a vectored exception handler, when a machine fault
// happens on a thread inside a guard and with a translator set, copies the
// exception record and context into the frame and resumes the thread at a
// landing pad that jumps back into the guard; the guard then calls the
// translator, which throws from our own frame where ordinary unwinding works.
//
// Why not jump or throw from the handler itself: the dispatcher keeps a
// reference on the handler's list entry while it runs, and a jump out of it
// would leave that reference behind (the entry could then never be removed,
// and a later exception would call into an unloaded module); a C++ throw from
// there would have to unwind through the dispatcher's frames. Returning
// EXCEPTION_CONTINUE_EXECUTION with a changed context leaves the dispatcher
// the way it expects, and the jump then starts from an ordinary frame.
//
// Per-thread state lives in two Win32 TLS slots (translator, innermost frame):
// they need no allocation, so the handler never allocates, and nothing has to
// be freed at thread exit.
#include <setjmp.h>

#include <cstdlib>
#include <mutex>

#include "orvplatform/win32.h"

namespace {

// One guarded region on one thread. Filled by the handler before it resumes
// the thread at the landing pad.
struct FaultFrame {
    jmp_buf env;
    FaultFrame* previous;
    _se_translator_function translator;
    EXCEPTION_RECORD record;
    CONTEXT context;
};

// Exceptions the hardware raises for a faulting instruction. Everything else
// (C++ throws, which g++ raises as SEH exceptions, breakpoints, debugger
// notifications, exceptions raised by software) is none of our business. A
// stack overflow is left alone as well: the landing pad would need stack that
// the thread no longer has.
bool isMachineFault(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
        case EXCEPTION_IN_PAGE_ERROR:
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        case EXCEPTION_ILLEGAL_INSTRUCTION:
        case EXCEPTION_PRIV_INSTRUCTION:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_OVERFLOW:
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
            return true;
        default:
            return false;
    }
}

// Both slots are taken when the module is loaded (static initialisation runs
// before DllMain) and given back when it is unloaded.
struct ThreadSlots {
    DWORD translator = TlsAlloc();
    DWORD frame = TlsAlloc();
    PVOID handler = nullptr;
    std::mutex installMutex;

    ~ThreadSlots();
} g_slots;

// TlsGetValue clears the thread's last error on success; the last error is
// part of what a record reports, so keep it.
void* slotValue(DWORD slot) {
    if (slot == TLS_OUT_OF_INDEXES) {
        return nullptr;
    }
    const DWORD lastError = GetLastError();
    void* value = TlsGetValue(slot);
    SetLastError(lastError);
    return value;
}

void setSlotValue(DWORD slot, void* value) {
    if (slot != TLS_OUT_OF_INDEXES) {
        const DWORD lastError = GetLastError();
        TlsSetValue(slot, value);
        SetLastError(lastError);
    }
}

FaultFrame* topFrame() {
    return static_cast<FaultFrame*>(slotValue(g_slots.frame));
}

_se_translator_function threadTranslator() {
    return reinterpret_cast<_se_translator_function>(slotValue(g_slots.translator));
}

// Entered, in place of the faulting instruction, with the frame as its only
// argument and a fresh call frame below the fault's stack pointer. The C
// runtime's longjmp puts back every register the guard's caller relies on
// (rbx, rbp, rsi, rdi, r12 to r15, xmm6 to xmm15, the control words); with no
// frame recorded in the buffer it does not unwind, it only jumps.
[[noreturn]] void landingPad(FaultFrame* frame) {
    longjmp(frame->env, 1);
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record == nullptr || pointers->ContextRecord == nullptr ||
        !isMachineFault(record->ExceptionCode)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    FaultFrame* const frame = topFrame();
    const _se_translator_function translator = threadTranslator();
    if (frame == nullptr || translator == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // A fault from here until the guard has thrown is not handled again.
    setSlotValue(g_slots.frame, frame->previous);
    frame->translator = translator;
    frame->record = *record;
    frame->record.ExceptionRecord = nullptr;  // a chained record would not outlive us
    frame->context = *pointers->ContextRecord;

    CONTEXT& resume = *pointers->ContextRecord;
#if defined(__x86_64__)
    // The pad runs on the faulting thread's stack, well below the fault's
    // frame: 16-byte aligned, less the return address a call would have
    // pushed, with the 32 bytes of home space the callee may use above it.
    DWORD64 sp = (resume.Rsp - 512) & ~DWORD64{15};
    sp -= 8;
    resume.Rsp = sp;
    resume.Rcx = reinterpret_cast<DWORD64>(frame);
    resume.Rip = reinterpret_cast<DWORD64>(&landingPad);
#else
#error "the fault guard knows only the x86-64 context"
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

ThreadSlots::~ThreadSlots() {
    // Unloading the module must not leave a handler pointing into it.
    if (handler != nullptr) {
        RemoveVectoredExceptionHandler(handler);
        handler = nullptr;
    }
    if (translator != TLS_OUT_OF_INDEXES) {
        TlsFree(translator);
        translator = TLS_OUT_OF_INDEXES;
    }
    if (frame != TLS_OUT_OF_INDEXES) {
        TlsFree(frame);
        frame = TLS_OUT_OF_INDEXES;
    }
}

// Pushes a frame on this thread's chain for its lifetime.
class FaultGuard {
public:
    FaultGuard() noexcept {
        frame.previous = topFrame();
        setSlotValue(g_slots.frame, &frame);
    }
    ~FaultGuard() { setSlotValue(g_slots.frame, frame.previous); }
    FaultGuard(const FaultGuard&) = delete;
    FaultGuard& operator=(const FaultGuard&) = delete;

    // After the landing pad jumped back (the handler already took the frame
    // off the chain): hands the fault to the translator, which throws.
    [[noreturn]] void raiseTranslated() {
        EXCEPTION_POINTERS pointers{&frame.record, &frame.context};
        frame.translator(frame.record.ExceptionCode, &pointers);
        // A translator that returns breaks its contract; there is nothing to
        // go back to.
        std::abort();
    }

    FaultFrame frame{};
};

}  // namespace

_se_translator_function _set_se_translator(_se_translator_function translator) {
    if (translator != nullptr) {
        // First handler in the list: a fault inside a guard is ours before
        // any frame-based handler of the code that faulted.
        std::lock_guard<std::mutex> lock(g_slots.installMutex);
        if (g_slots.handler == nullptr) {
            g_slots.handler = AddVectoredExceptionHandler(1, &onException);
        }
    }
    const _se_translator_function previous = threadTranslator();
    setSlotValue(g_slots.translator, reinterpret_cast<void*>(translator));
    return previous;
}

namespace orvplatform {
namespace detail {

void callGuarded(void (*thunk)(void*), void* context) {
    FaultGuard guard;
    // No frame address: the jump back is a plain jump. An unwinding longjmp
    // would walk the foreign frames between fault and guard, which may have
    // no unwind information at all.
    if (_setjmp(guard.frame.env, nullptr) != 0) {
        guard.raiseTranslated();
    }
    thunk(context);
}

}  // namespace detail

}  // namespace orvplatform
