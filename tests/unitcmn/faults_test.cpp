// Machine faults in foreign code, called through the platform's guard, become
// unitCmnException records filled as Windows would fill them; everything
// else keeps the fate it would have had without us.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <regex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "orvplatform/win32.h"
#include "preinstalled_handlers.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

HMODULE loadTestModule(const char* windowsName) {
    const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/" + windowsName;
    return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
}

// The fault module, loaded once and never unloaded.
struct FaultModule {
    HMODULE handle = loadTestModule("faultmodule.dll");

    template <typename Signature>
    ForeignProc<Signature> proc(const char* name) const {
        return ForeignProc<Signature>(GetProcAddress(handle, name));
    }

    ForeignProc<int(const volatile int*)> readAt = proc<int(const volatile int*)>("readAt");
    ForeignProc<void(volatile int*, int)> writeAt = proc<void(volatile int*, int)>("writeAt");
    ForeignProc<int(int, int)> divideBy = proc<int(int, int)>("divideBy");
    ForeignProc<void()> illegalInstruction = proc<void()>("illegalInstruction");
    ForeignProc<void(void (*)())> callAt = proc<void(void (*)())>("callAt");
    ForeignProc<int(int, int, volatile char*)> recurse =
        proc<int(int, int, volatile char*)>("recurse");
    ForeignProc<int(const volatile int*)> readWithLocal =
        proc<int(const volatile int*)>("readWithLocal");
    ForeignProc<int()> destructorRuns = proc<int()>("destructorRuns");
    ForeignProc<void(int)> raiseSignal = proc<void(int)>("raiseSignal");
    ForeignProc<void(int)> killSelf = proc<void(int)>("killSelf");

    static const FaultModule& get() {
        static const FaultModule module;
        return module;
    }
};

template <typename T>
T* at(std::uintptr_t address) {
    return reinterpret_cast<T*>(address);
}

// Runs f, which must fault, and returns the record the translator threw.
unitCmnException translated(const std::function<void()>& f) {
    try {
        f();
    } catch (unitCmnException& e) {
        return e;
    } catch (...) {
        ADD_FAILURE() << "another exception than unitCmnException";
        return {};
    }
    ADD_FAILURE() << "no fault was reported";
    return {};
}

// Name of the exported function that holds an instruction address.
std::string functionAt(const void* address) {
    Dl_info info{};
    return (dladdr(address, &info) != 0 && info.dli_sname != nullptr) ? info.dli_sname : "";
}

std::string hex(std::uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Pages with given protections, for faults at a known address.
class Pages {
public:
    explicit Pages(int protection, std::size_t count = 1)
        : size_(count * static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
        void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
        if (base_ != nullptr) {
            std::memset(base_, 0x5A, size_);
            mprotect(base_, size_, protection);
        }
    }
    ~Pages() {
        if (base_ != nullptr) {
            munmap(base_, size_);
        }
    }
    Pages(const Pages&) = delete;
    Pages& operator=(const Pages&) = delete;

    char* base() const { return base_; }
    std::uintptr_t address() const { return reinterpret_cast<std::uintptr_t>(base_); }

private:
    std::size_t size_;
    char* base_;
};

class Faults : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(FaultModule::get().handle, nullptr);
        // As the analyzer's load hook does.
        _set_se_translator(&translateStructuredException);
    }
    const FaultModule& m = FaultModule::get();
};

// The groups of the access-violation sentence: instruction, address, access.
std::vector<std::string> accessViolationParts(const char* info) {
    regex_t re;
    if (regcomp(&re,
                "^The instruction at 0x([0-9A-F]+) referenced memory at 0x([0-9A-F]+)\\. "
                "The memory could not be (read|write)\\.$",
                REG_EXTENDED) != 0) {
        return {};
    }
    regmatch_t groups[4];
    std::vector<std::string> parts;
    if (regexec(&re, info, 4, groups, 0) == 0) {
        for (int i = 1; i < 4; ++i) {
            parts.emplace_back(info + groups[i].rm_so, info + groups[i].rm_eo);
        }
    }
    regfree(&re);
    return parts;
}

TEST_F(Faults, NullReadNamesTheInstructionAndTheAddress) {
    const unitCmnException e = translated([&] { m.readAt(nullptr); });
    const auto rip = e.contextRecord.Rip;
    EXPECT_EQ(accessViolationParts(e.info),
              (std::vector<std::string>{hex(rip).substr(2), "0", "read"}))
        << e.info;
    EXPECT_EQ(e.exceptionRecord.ExceptionAddress, reinterpret_cast<void*>(rip));
    EXPECT_EQ(functionAt(e.exceptionRecord.ExceptionAddress), "readAt");
    EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(e.errorCode, 3u);
    EXPECT_STREQ(e.comment, "");
    EXPECT_EQ(e.getErrorText().substr(0, 22), "ErrorCode :0x00000003\t");
}

// One access violation per row: the kind of access and the address the
// record must name.
struct ViolationCase {
    const char* name;
    int protection;                                     // of the page at hand
    std::function<std::uintptr_t(const Pages&)> where;  // the address to touch
    std::function<void(const FaultModule&, std::uintptr_t)> touch;
    ULONG_PTR access;
    const char* word;
    const char* function;  // where the instruction lies; empty: at the address itself
};

void PrintTo(const ViolationCase& c, std::ostream* os) {
    *os << c.name;
}

const auto kRead = [](const FaultModule& m, std::uintptr_t a) { m.readAt(at<int>(a)); };
const auto kWrite = [](const FaultModule& m, std::uintptr_t a) { m.writeAt(at<int>(a), 1); };
const auto kExecute = [](const FaultModule& m, std::uintptr_t a) {
    m.callAt(reinterpret_cast<void (*)()>(a));
};
const auto kFixed = [](std::uintptr_t a) { return [a](const Pages&) { return a; }; };
const auto kInPage = [](std::uintptr_t offset) {
    return [offset](const Pages& p) { return p.address() + offset; };
};

class AccessViolations : public Faults, public ::testing::WithParamInterface<ViolationCase> {};

TEST_P(AccessViolations, RecordNamesAccessAndAddress) {
    const ViolationCase& c = GetParam();
    const Pages pages(c.protection);
    ASSERT_NE(pages.base(), nullptr);
    const std::uintptr_t touched = c.where(pages);
    const unitCmnException e = translated([&] { c.touch(m, touched); });
    // The kernel names neither address nor access of a general protection
    // fault (a non-canonical address); Windows reports a read of all ones.
    const std::uintptr_t named = (touched >> 47) == 0 ? touched : ~std::uintptr_t{0};
    const EXCEPTION_RECORD& r = e.exceptionRecord;
    EXPECT_EQ(r.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(r.NumberParameters, 2u);
    EXPECT_EQ(r.ExceptionInformation[0], c.access);
    EXPECT_EQ(r.ExceptionInformation[1], named);
    const auto instruction = reinterpret_cast<std::uintptr_t>(r.ExceptionAddress);
    EXPECT_EQ(instruction, e.contextRecord.Rip);
    if (*c.function != '\0') {
        EXPECT_EQ(functionAt(r.ExceptionAddress), c.function);
    } else {
        EXPECT_EQ(instruction, touched);
    }
    EXPECT_EQ(std::string(e.info), "The instruction at " + hex(instruction) +
                                       " referenced memory at " + hex(named) +
                                       ". The memory could not be " + c.word + ".");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AccessViolations,
    ::testing::Values(
        ViolationCase{"WriteNearNull", PROT_READ, kFixed(0x10), kWrite, 1, "write", "writeAt"},
        ViolationCase{"WriteReadOnlyPage", PROT_READ, kInPage(8), kWrite, 1, "write", "writeAt"},
        ViolationCase{"ReadNoAccessPage", PROT_NONE, kInPage(4), kRead, 0, "read", "readAt"},
        ViolationCase{"NonCanonicalAddress", PROT_READ, kFixed(0x8000000000000000ull), kRead, 0,
                      "read", "readAt"},
        // Windows' access kind 8; the sentence knows only read and write.
        ViolationCase{"ExecuteDataPage", PROT_READ | PROT_WRITE, kInPage(0), kExecute, 8, "write",
                      ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Faults, ArithmeticAndIllegalInstructionGiveTheAddressForm) {
    struct {
        std::function<void()> fault;
        DWORD code;
        const char* function;
    } const cases[] = {
        {[&] { m.divideBy(1, 0); }, EXCEPTION_INT_DIVIDE_BY_ZERO, "divideBy"},
        {[&] { m.illegalInstruction(); }, EXCEPTION_ILLEGAL_INSTRUCTION, "illegalInstruction"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        const unitCmnException e = translated(c.fault);
        EXPECT_EQ(e.exceptionRecord.ExceptionCode, c.code);
        EXPECT_EQ(e.exceptionRecord.NumberParameters, 0u);
        EXPECT_EQ(functionAt(e.exceptionRecord.ExceptionAddress), c.function);
        EXPECT_EQ(std::string(e.info), "Address : " + hex(reinterpret_cast<std::uintptr_t>(
                                                          e.exceptionRecord.ExceptionAddress)));
    }
}

TEST_F(Faults, ReadPastTheEndOfATruncatedFileIsAnInPageError) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    char path[] = "/tmp/orvfaultsXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(page)), 0);
    void* mapping = mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    const auto address = reinterpret_cast<std::uintptr_t>(mapping) + 16;

    const unitCmnException e = translated([&] { m.readAt(at<int>(address)); });
    munmap(mapping, page);
    close(fd);
    EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_IN_PAGE_ERROR);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[1], address);
    EXPECT_EQ(functionAt(e.exceptionRecord.ExceptionAddress), "readAt");
    EXPECT_EQ(std::string(e.info),
              "The instruction at " +
                  hex(reinterpret_cast<std::uintptr_t>(e.exceptionRecord.ExceptionAddress)) +
                  " referenced memory at " + hex(address) +
                  ". The required data was not placed into memory because of an I/O error status "
                  "of 0xC0000011.");
}

bool blocked(int sig) {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, sig) == 1;
}

// A thread survives any number of faults, and its signal mask afterwards is
// the one it had before (the handler leaves the faulting signal blocked).
void faultRepeatedly(const FaultModule& m) {
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &usr2, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(translated([&] { m.readAt(nullptr); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_ACCESS_VIOLATION);
        EXPECT_EQ(translated([&] { m.divideBy(i, 0); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_INT_DIVIDE_BY_ZERO);
        EXPECT_FALSE(blocked(SIGSEGV));
        EXPECT_FALSE(blocked(SIGFPE));
        EXPECT_TRUE(blocked(SIGUSR2));
    }
    const int value = 42;
    EXPECT_EQ(m.readAt(&value), 42);
    pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
}

TEST_F(Faults, SameThreadFaultsAgainWithItsMaskIntact) {
    faultRepeatedly(m);
}

TEST_F(Faults, OtherThreadFaultsAsWell) {
    std::thread([&] { faultRepeatedly(m); }).join();
}

TEST_F(Faults, ManyThreadsFaultAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> reported{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                try {
                    m.readAt(at<int>(0x40 + i));
                } catch (unitCmnException& e) {
                    reported += e.exceptionRecord.ExceptionInformation[1] == 0x40u + i ? 1 : 0;
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(reported.load(), 800);
}

// A crash reporter installed after the library, chaining to us from a
// handler that blocks every signal.
struct sigaction g_chainedToUs;
void blockingHostHandler(int sig, siginfo_t* info, void* context) {
    g_chainedToUs.sa_sigaction(sig, info, context);
}

TEST_F(Faults, HandlerChainingToOursLeavesTheThreadsMaskAsItWas) {
    struct sigaction host {};
    host.sa_sigaction = &blockingHostHandler;
    host.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigfillset(&host.sa_mask);
    ASSERT_EQ(sigaction(SIGSEGV, &host, &g_chainedToUs), 0);
    ASSERT_TRUE((g_chainedToUs.sa_flags & SA_SIGINFO) != 0);

    const unitCmnException e = translated([&] { m.readAt(nullptr); });
    const bool termBlocked = blocked(SIGTERM);
    const bool segvBlocked = blocked(SIGSEGV);
    sigaction(SIGSEGV, &g_chainedToUs, nullptr);
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);

    EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_FALSE(termBlocked);
    EXPECT_FALSE(segvBlocked);
}

TEST_F(Faults, StackOverflowIsReportedOnEveryOverflow) {
    auto overflow = [&] {
        const unitCmnException e = translated([&] { m.recurse(0, -1, nullptr); });
        EXPECT_EQ(e.exceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
        EXPECT_EQ(functionAt(e.exceptionRecord.ExceptionAddress), "recurse");
    };
    overflow();
    overflow();
    std::thread([&] {
        overflow();
        overflow();
    }).join();
    EXPECT_EQ(m.recurse(0, 10, nullptr), 10);
}

TEST_F(Faults, FramesLeftByTheJumpRunNoDestructors) {
    const int before = m.destructorRuns();
    const int value = 5;
    EXPECT_EQ(m.readWithLocal(&value), 5);
    EXPECT_EQ(m.destructorRuns(), before + 1);
    // Unwinding through this frame would need its call-site table: the jump
    // passes over it instead, and its destructor is lost (a known limit).
    EXPECT_EQ(translated([&] { m.readWithLocal(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);
    EXPECT_EQ(m.destructorRuns(), before + 1);
}

TEST_F(Faults, CopyMemoryFromAnUnreadablePageThrows) {
    const Pages readable(PROT_READ);
    char copy[16] = {};
    CopyMemory(copy, readable.base(), sizeof copy);
    EXPECT_EQ(copy[15], 0x5A);

    const Pages none(PROT_NONE);
    const unitCmnException e = translated([&] { CopyMemory(copy, none.base() + 32, sizeof copy); });
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[0], 0u);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[1], none.address() + 32);
}

TEST_F(Faults, InnerGuardTakesItsFaultAndTheOuterOneGoesOn) {
    int afterInner = 0;
    const unitCmnException e = translated([&] {
        orvplatform::guardedCall([&] {
            EXPECT_EQ(translated([&] {
                          m.readAt(at<int>(0x20));
                      }).exceptionRecord.ExceptionInformation[1],
                      0x20u);
            afterInner = 1;
            m.readAt(at<int>(0x30));
        });
    });
    EXPECT_EQ(afterInner, 1);
    EXPECT_EQ(e.exceptionRecord.ExceptionInformation[1], 0x30u);
}

TEST_F(Faults, OrdinaryExceptionsPassTheGuardUnchanged) {
    EXPECT_THROW(orvplatform::guardedCall([] { throw std::runtime_error("ordinary"); }),
                 std::runtime_error);
    EXPECT_EQ(orvplatform::guardedCall([](int a, int b) { return a * b; }, 6, 7), 42);
}

bool sameHandler(const struct sigaction& a, const struct sigaction& b) {
    return a.sa_sigaction == b.sa_sigaction &&
           (a.sa_flags & SA_SIGINFO) == (b.sa_flags & SA_SIGINFO);
}

TEST_F(Faults, ModuleWithThePlatformLayerRestoresHandlersWhenUnloaded) {
    const int signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
    struct sigaction before[4];
    for (int i = 0; i < 4; ++i) {
        sigaction(signals[i], nullptr, &before[i]);
    }

    HMODULE hook = loadTestModule("hookmodule.dll");
    ASSERT_NE(hook, nullptr);
    for (int i = 0; i < 4; ++i) {
        struct sigaction now {};
        sigaction(signals[i], nullptr, &now);
        EXPECT_FALSE(sameHandler(now, before[i])) << "signal " << signals[i];
    }
    // Its handler sees a fault that is not its own and passes it on to ours.
    EXPECT_EQ(translated([&] { m.readAt(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);

    ASSERT_TRUE(FreeLibrary(hook));
    const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/libhookmodule.so";
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
    for (int i = 0; i < 4; ++i) {
        struct sigaction now {};
        sigaction(signals[i], nullptr, &now);
        EXPECT_TRUE(sameHandler(now, before[i])) << "signal " << signals[i];
    }
    EXPECT_EQ(translated([&] { m.readAt(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);
}

// What must not be translated. Each case runs in a fresh child process
// (threadsafe style re-executes the binary), so that it can install its own
// handler before the platform's and so that its death harms nobody.
class FaultsDeathTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_NE(FaultModule::get().handle, nullptr);
    }
    const FaultModule& m = FaultModule::get();
};

constexpr int kPreviousHandlerExit = 42;

void previousInfoHandler(int, siginfo_t*, void*) {
    const char text[] = "previous handler\n";
    (void)!write(2, text, sizeof text - 1);
    _exit(kPreviousHandlerExit);
}

void previousPlainHandler(int sig) {
    previousInfoHandler(sig, nullptr, nullptr);
}

void noCoreDumps() {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
}

// Installs a handler for sig as the host had it before the library came.
void installPrevious(int sig, void (*plain)(int), void (*withInfo)(int, siginfo_t*, void*)) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    if (withInfo != nullptr) {
        action.sa_sigaction = withInfo;
        action.sa_flags = SA_SIGINFO;
    } else {
        action.sa_handler = plain;
    }
    sigaction(sig, &action, nullptr);
}

TEST_F(FaultsDeathTest, FaultOutsideAGuardReachesThePreviousHandler) {
    const auto rawRead = m.readAt.get();
    for (bool withInfo : {true, false}) {
        EXPECT_EXIT(
            {
                installPrevious(SIGSEGV, &previousPlainHandler,
                                withInfo ? &previousInfoHandler : nullptr);
                _set_se_translator(&translateStructuredException);
                // Inside a guard the fault is still ours.
                try {
                    m.readAt(nullptr);
                    _exit(1);
                } catch (unitCmnException&) {
                }
                rawRead(nullptr);
            },
            ::testing::ExitedWithCode(kPreviousHandlerExit), "previous handler");
    }
}

TEST_F(FaultsDeathTest, FaultOutsideAGuardTakesTheDefaultAction) {
    if (const int sig = testsupport::kPreinstalledHandlers.firstOwned({SIGSEGV, SIGFPE})) {
        GTEST_SKIP() << strsignal(sig) << ": " << testsupport::kPreinstalledReason;
    }
    const auto rawRead = m.readAt.get();
    const auto rawDivide = m.divideBy.get();
    EXPECT_EXIT(
        {
            noCoreDumps();
            _set_se_translator(&translateStructuredException);
            rawRead(nullptr);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(
        {
            noCoreDumps();
            _set_se_translator(&translateStructuredException);
            rawDivide(1, 0);
        },
        ::testing::KilledBySignal(SIGFPE), "");
    // The kernel does not let an ignored hardware fault pass; neither do we.
    EXPECT_EXIT(
        {
            noCoreDumps();
            signal(SIGSEGV, SIG_IGN);
            _set_se_translator(&translateStructuredException);
            rawRead(nullptr);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultsDeathTest, GuardEndedByAnExceptionGuardsNoMore) {
    if (const int sig = testsupport::kPreinstalledHandlers.firstOwned({SIGSEGV})) {
        GTEST_SKIP() << strsignal(sig) << ": " << testsupport::kPreinstalledReason;
    }
    const auto rawRead = m.readAt.get();
    EXPECT_EXIT(
        {
            noCoreDumps();
            _set_se_translator(&translateStructuredException);
            try {
                orvplatform::guardedCall([] { throw 1; });
            } catch (int) {
            }
            rawRead(nullptr);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(FaultsDeathTest, SentSignalsInsideAGuardAreNotTranslated) {
    if (const int sig = testsupport::kPreinstalledHandlers.firstOwned({SIGSEGV, SIGBUS})) {
        GTEST_SKIP() << strsignal(sig) << ": " << testsupport::kPreinstalledReason;
    }
    EXPECT_EXIT(
        {
            noCoreDumps();
            _set_se_translator(&translateStructuredException);
            try {
                m.raiseSignal(SIGSEGV);
            } catch (...) {
                _exit(1);
            }
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(
        {
            noCoreDumps();
            _set_se_translator(&translateStructuredException);
            try {
                m.killSelf(SIGBUS);
            } catch (...) {
                _exit(1);
            }
        },
        ::testing::KilledBySignal(SIGBUS), "");
    EXPECT_EXIT(
        {
            installPrevious(SIGILL, nullptr, &previousInfoHandler);
            _set_se_translator(&translateStructuredException);
            try {
                m.raiseSignal(SIGILL);
            } catch (...) {
                _exit(1);
            }
        },
        ::testing::ExitedWithCode(kPreviousHandlerExit), "previous handler");
    // A sent signal the host ignores stays ignored.
    EXPECT_EXIT(
        {
            signal(SIGFPE, SIG_IGN);
            _set_se_translator(&translateStructuredException);
            m.killSelf(SIGFPE);
            _exit(7);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
