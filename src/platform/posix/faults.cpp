// Machine faults -> the installed translator, on POSIX.
//
// Mechanism: every guarded call pushes a FaultFrame (with a sigsetjmp buffer)
// on a per-thread chain. The signal handler, when the fault is the hardware's
// and a frame is active on the faulting thread, copies what the kernel says
// about the fault into that frame and siglongjmps back; the guard then calls
// the translator, which throws from our own frame where ordinary unwinding
// works. Throwing straight out of the handler is not used: the unwinder
// terminates the process in foreign frames built without -fnon-call-exceptions.
//
// Signal-safe: everything onFault and forward touch (initial-exec TLS, so no
// lazy TLS allocation inside the handler; the saved sigactions; memset;
// sigaction; pthread_sigmask; raise). Everything else here is not.
#include <dlfcn.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "orvplatform/posix/module_posix.h"
#include "orvplatform/win32.h"

using namespace orvplatform::win32;

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr std::size_t kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Windows' NTSTATUS values carried as the I/O status of an in-page error.
constexpr ULONG_PTR kStatusEndOfFile = 0xC0000011u;
constexpr ULONG_PTR kStatusDeviceDataError = 0xC000009Cu;

// Windows' access kinds in ExceptionInformation[0] of an access violation.
constexpr ULONG_PTR kAccessRead = 0;
constexpr ULONG_PTR kAccessWrite = 1;
constexpr ULONG_PTR kAccessExecute = 8;

// One guarded region on one thread. Filled by the signal handler before it
// jumps back.
struct FaultFrame {
    sigjmp_buf env;
    FaultFrame* previous;
    // The signal mask of the interrupted code: the jump does not restore it
    // (sigsetjmp(env, 0) costs a few ns, saving the mask a system call), so
    // the guard puts it back itself.
    sigset_t mask;
    _se_translator_function translator;
    EXCEPTION_RECORD record;
    CONTEXT context;
};

std::atomic<_se_translator_function> g_translator{nullptr};
std::mutex g_installMutex;
bool g_installed = false;
struct sigaction g_previous[kSignalCount];

__attribute__((tls_model("initial-exec"))) thread_local FaultFrame* t_top = nullptr;

// Whether the action runs a handler (rather than the default or ignoring).
bool runsHandler(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) != 0
               ? action.sa_sigaction != nullptr
               : action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

// The slot of sig in kSignals: onFault is installed for those alone.
std::size_t slotOf(int sig) {
    std::size_t i = 0;
    while (kSignals[i] != sig) {
        ++i;
    }
    return i;
}

// Signal-safe.
void fillContext(CONTEXT& c, int sig, const siginfo_t* info, const ucontext_t* uc) {
    std::memset(&c, 0, sizeof c);
    c.Signal = sig;
    c.SignalCode = info->si_code;
#if defined(__x86_64__)
    const greg_t* g = uc->uc_mcontext.gregs;
    c.Rax = g[REG_RAX];
    c.Rcx = g[REG_RCX];
    c.Rdx = g[REG_RDX];
    c.Rbx = g[REG_RBX];
    c.Rsp = g[REG_RSP];
    c.Rbp = g[REG_RBP];
    c.Rsi = g[REG_RSI];
    c.Rdi = g[REG_RDI];
    c.R8 = g[REG_R8];
    c.R9 = g[REG_R9];
    c.R10 = g[REG_R10];
    c.R11 = g[REG_R11];
    c.R12 = g[REG_R12];
    c.R13 = g[REG_R13];
    c.R14 = g[REG_R14];
    c.R15 = g[REG_R15];
    c.Rip = g[REG_RIP];
    c.EFlags = static_cast<DWORD>(g[REG_EFL]);
    c.TrapNo = g[REG_TRAPNO];
    c.ErrorCode = g[REG_ERR];
#elif defined(__aarch64__)
    c.Rip = uc->uc_mcontext.pc;
    c.Rsp = uc->uc_mcontext.sp;
#else
    (void)uc;
#endif
}

// Fills the record as Windows would for the same fault. Signal-safe.
void fillRecord(EXCEPTION_RECORD& r, const CONTEXT& c, int sig, const siginfo_t* info) {
    std::memset(&r, 0, sizeof r);
#if defined(__x86_64__)
    r.ExceptionAddress = reinterpret_cast<void*>(c.Rip);
    // The error code describes the access only for a page fault.
    const bool pageFault = c.TrapNo == 14;
#else
    r.ExceptionAddress =
        (sig == SIGSEGV || sig == SIGBUS) ? reinterpret_cast<void*>(c.Rip) : info->si_addr;
    const bool pageFault = false;
#endif
    const auto address = reinterpret_cast<ULONG_PTR>(info->si_addr);
    // Page-fault error code: bit 4 for an instruction fetch, bit 1 for a write.
    const ULONG_PTR access = !pageFault             ? kAccessRead
                             : (c.ErrorCode & 0x10) ? kAccessExecute
                             : (c.ErrorCode & 0x2)  ? kAccessWrite
                                                    : kAccessRead;
    switch (sig) {
        case SIGSEGV:
            r.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
            r.NumberParameters = 2;
            if (info->si_code == SI_KERNEL) {
                // General protection (a non-canonical address, a privileged
                // instruction): the kernel does not say which address or
                // access; Windows reports a read of all ones.
                r.ExceptionInformation[0] = kAccessRead;
                r.ExceptionInformation[1] = ~ULONG_PTR{0};
            } else {
                r.ExceptionInformation[0] = access;
                r.ExceptionInformation[1] = address;
            }
            break;
        case SIGBUS:
            if (info->si_code == BUS_ADRALN) {
                r.ExceptionCode = EXCEPTION_DATATYPE_MISALIGNMENT;
                break;
            }
            r.ExceptionCode = EXCEPTION_IN_PAGE_ERROR;
            r.NumberParameters = 3;
            r.ExceptionInformation[0] = access;
            r.ExceptionInformation[1] = address;
            r.ExceptionInformation[2] =
                info->si_code == BUS_ADRERR ? kStatusEndOfFile : kStatusDeviceDataError;
            break;
        case SIGFPE:
            switch (info->si_code) {
                case FPE_INTDIV:
                    r.ExceptionCode = EXCEPTION_INT_DIVIDE_BY_ZERO;
                    break;
                case FPE_INTOVF:
                    r.ExceptionCode = EXCEPTION_INT_OVERFLOW;
                    break;
                case FPE_FLTDIV:
                    r.ExceptionCode = EXCEPTION_FLT_DIVIDE_BY_ZERO;
                    break;
                case FPE_FLTOVF:
                    r.ExceptionCode = EXCEPTION_FLT_OVERFLOW;
                    break;
                case FPE_FLTUND:
                    r.ExceptionCode = EXCEPTION_FLT_UNDERFLOW;
                    break;
                case FPE_FLTRES:
                    r.ExceptionCode = EXCEPTION_FLT_INEXACT_RESULT;
                    break;
                case FPE_FLTSUB:
                    r.ExceptionCode = EXCEPTION_FLT_DENORMAL_OPERAND;
                    break;
                default:
                    r.ExceptionCode = EXCEPTION_FLT_INVALID_OPERATION;
                    break;
            }
            break;
        default:  // SIGILL
            r.ExceptionCode = (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG)
                                  ? EXCEPTION_PRIV_INSTRUCTION
                                  : EXCEPTION_ILLEGAL_INSTRUCTION;
            break;
    }
}

// Not ours: behave as if we had never been installed. Signal-safe.
void forward(int sig, siginfo_t* info, void* uctx) {
    const struct sigaction& prev = g_previous[slotOf(sig)];
    if (runsHandler(prev)) {
        // The kernel would have blocked the previous handler's mask while it ran.
        sigset_t saved;
        pthread_sigmask(SIG_BLOCK, &prev.sa_mask, &saved);
        if ((prev.sa_flags & SA_SIGINFO) != 0) {
            prev.sa_sigaction(sig, info, uctx);
        } else {
            prev.sa_handler(sig);
        }
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
        return;
    }
    const bool sent = info == nullptr || info->si_code <= 0;
    if (prev.sa_handler == SIG_IGN && sent) {
        return;  // a sent signal that was ignored stays ignored
    }
    // Default action (the kernel forces it on an ignored hardware fault too):
    // a hardware fault runs again on return and dies with the signal; a sent
    // one is raised again and, being blocked until this handler returns, is
    // delivered then.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    if (sent) {
        raise(sig);
    }
}

// Signal-safe.
void onFault(int sig, siginfo_t* info, void* uctx) {
    const int savedErrno = errno;
    FaultFrame* const frame = t_top;
    const _se_translator_function translator = g_translator.load(std::memory_order_relaxed);
    // Only faults the hardware raised on this very thread inside a guard;
    // signals sent by kill(), raise() or sigqueue() carry si_code <= 0.
    if (frame != nullptr && info != nullptr && info->si_code > 0 && translator != nullptr) {
        t_top = nullptr;  // a fault from here on is not handled again
        const auto* uc = static_cast<const ucontext_t*>(uctx);
        frame->mask = uc->uc_sigmask;
        frame->translator = translator;
        fillContext(frame->context, sig, info, uc);
        fillRecord(frame->record, frame->context, sig, info);
        errno = savedErrno;
        siglongjmp(frame->env, 1);
    }
    forward(sig, info, uctx);
    errno = savedErrno;
}

// Our handler runs on the stack the host's would have run on: the thread's
// alternate stack only if the handler it replaces asked for one with
// SA_ONSTACK (or there was none, so that the host's or a sanitizer's
// alternate stack, where a thread has one, lets a stack overflow inside a
// call be reported). The library sets up no alternate stack of its own: it
// would take two system calls per call to keep it out of the host's way
// outside calls, and left installed it would carry the host's handlers.
void installHandlersLocked() {
    if (g_installed) {
        return;
    }
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        const struct sigaction& prev = g_previous[i];
        struct sigaction action {};
        action.sa_sigaction = &onFault;
        action.sa_flags =
            SA_SIGINFO | (runsHandler(prev) ? (prev.sa_flags & SA_ONSTACK) : SA_ONSTACK);
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[i], &action, nullptr);
    }
    g_installed = true;
}

// Unloading the module that holds this code must not leave a handler or a
// key destructor pointing into unmapped memory: put back what was there
// before, where it is still ours.
struct HandlerRestorer {
    ~HandlerRestorer() {
        std::lock_guard<std::mutex> lock(g_installMutex);
        g_translator.store(nullptr);
        if (g_installed) {
            for (std::size_t i = 0; i < kSignalCount; ++i) {
                struct sigaction current {};
                if (sigaction(kSignals[i], nullptr, &current) == 0 &&
                    (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == &onFault) {
                    sigaction(kSignals[i], &g_previous[i], nullptr);
                }
            }
            g_installed = false;
        }
    }
} g_restorer;

// Pushes a frame on this thread's chain for its lifetime.
class FrameLink {
public:
    explicit FrameLink(FaultFrame& frame) noexcept : frame_(frame) {
        frame_.previous = t_top;
        t_top = &frame_;
    }
    ~FrameLink() { t_top = frame_.previous; }
    FrameLink(const FrameLink&) = delete;
    FrameLink& operator=(const FrameLink&) = delete;

private:
    FaultFrame& frame_;
};

}  // namespace

_se_translator_function orvplatform::win32::_set_se_translator(_se_translator_function translator) {
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (translator != nullptr) {
        installHandlersLocked();
    }
    return g_translator.exchange(translator);
}

namespace orvplatform {
namespace detail {

void callGuarded(void (*thunk)(void*), void* context) {
    FaultFrame frame;
    {
        const FrameLink link(frame);
        if (sigsetjmp(frame.env, 0) == 0) {
            thunk(context);
            return;
        }
    }
    // The handler jumped back. The frame is off the chain, so a fault while
    // the translator builds its record belongs to the enclosing guard, if
    // any. The faulting signal is still blocked from the handler: put back
    // the interrupted code's mask, then let the translator throw.
    pthread_sigmask(SIG_SETMASK, &frame.mask, nullptr);
    EXCEPTION_POINTERS pointers{&frame.record, &frame.context};
    frame.translator(frame.record.ExceptionCode, &pointers);
    // A translator that returns breaks its contract; there is nothing to go
    // back to.
    std::abort();
}

}  // namespace detail

DllMainRegistrar::DllMainRegistrar(Fn fn) noexcept : fn_(fn), self_(nullptr) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(fn), &info) != 0) {
        self_ = static_cast<HINSTANCE>(info.dli_fbase);
    }
    fn_(self_, DLL_PROCESS_ATTACH, nullptr);
}

DllMainRegistrar::~DllMainRegistrar() {
    fn_(self_, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace orvplatform
