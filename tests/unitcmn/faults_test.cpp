// Machine faults in foreign code, called through the platform's guard, become
// unitCmnException records filled as Windows would fill them; everything
// else keeps the fate it would have had without us.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvplatform/win32.h"
#include "unitcmnexceptions/unitcmnexceptions.h"

namespace {

HMODULE loadTestModule(const char* windowsName) {
    const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/" + windowsName;
    return LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
}

// The fault module's functions, loaded once and never unloaded.
const HMODULE kFaultModule = loadTestModule("faultmodule.dll");

template <typename Signature>
ForeignProc<Signature> proc(const char* name) {
    return ForeignProc<Signature>(GetProcAddress(kFaultModule, name));
}

const auto readAt = proc<int(const volatile int*)>("readAt");
const auto writeAt = proc<void(volatile int*, int)>("writeAt");
const auto divideBy = proc<int(int, int)>("divideBy");
const auto illegalInstruction = proc<void()>("illegalInstruction");
const auto callAt = proc<void(void (*)())>("callAt");
const auto recurse = proc<int(int, int, volatile char*)>("recurse");
const auto raiseSignal = proc<void(int)>("raiseSignal");

// Runs f, which must fault, and returns the record the translator threw.
unitCmnException translated(const std::function<void()>& f) {
    try {
        f();
    } catch (unitCmnException& e) {
        return e;
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

std::string hex(const void* address) {
    return hex(reinterpret_cast<std::uintptr_t>(address));
}

class Faults : public ::testing::Test {
protected:
    // As the analyzer's load hook does.
    static void SetUpTestSuite() { _set_se_translator(&translateStructuredException); }
};

// Each row touches an address and names what the record must say about it.
TEST_F(Faults, AccessViolationsAndInPageErrorsNameTheAccessAndTheAddress) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    char path[] = "/tmp/orvfaultsXXXXXX";  // a file mapped, then truncated under the mapping
    const int fd = mkstemp(path);
    unlink(path);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(page)), 0);
    const auto map = [page](int protection, int fd) {
        const int flags = fd < 0 ? MAP_PRIVATE | MAP_ANONYMOUS : MAP_SHARED;
        return reinterpret_cast<std::uintptr_t>(mmap(nullptr, page, protection, flags, fd, 0));
    };
    const std::uintptr_t truncated = map(PROT_READ, fd), none = map(PROT_NONE, -1),
                         data = map(PROT_READ | PROT_WRITE, -1);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    const auto read = [](std::uintptr_t a) { readAt(reinterpret_cast<int*>(a)); };
    const auto write = [](std::uintptr_t a) { writeAt(reinterpret_cast<int*>(a), 1); };
    const auto execute = [](std::uintptr_t a) { callAt(reinterpret_cast<void (*)()>(a)); };
    const auto copy = [](std::uintptr_t a) {
        char buffer[16];
        CopyMemory(buffer, reinterpret_cast<const char*>(a), sizeof buffer);
    };
    const std::string ioError =
        ". The required data was not placed into memory because of an I/O error status of "
        "0xC0000011.";
    const struct {
        std::function<void(std::uintptr_t)> touch;
        std::uintptr_t address;
        ULONG_PTR access;   // parameter 0
        std::string tail;   // of the text
        const char* where;  // the faulting instruction's function; "": the address itself
    } cases[] = {
        {read, 0, 0, ". The memory could not be read.", "readAt"},
        {write, 0x10, 1, ". The memory could not be write.", "writeAt"},
        // Windows' access kind 8; the sentence knows only read and write.
        {execute, data, 8, ". The memory could not be write.", ""},
        {copy, none + 32, 0, ". The memory could not be read.", nullptr},
        {read, truncated + 16, 0, ioError, "readAt"},
        // The kernel names neither address nor access of a general protection
        // fault; Windows reports a read of all ones.
        {read, 0x8000000000000000ull, 0, ". The memory could not be read.", "readAt"},
    };
    for (const auto& c : cases) {
        const unitCmnException e = translated([&] { c.touch(c.address); });
        const EXCEPTION_RECORD& r = e.exceptionRecord;
        const std::uintptr_t named = (c.address >> 47) == 0 ? c.address : ~std::uintptr_t{0};
        SCOPED_TRACE(e.info);
        EXPECT_EQ(r.ExceptionCode,
                  c.tail == ioError ? EXCEPTION_IN_PAGE_ERROR : EXCEPTION_ACCESS_VIOLATION);
        EXPECT_EQ(r.ExceptionInformation[0], c.access);
        EXPECT_EQ(r.ExceptionInformation[1], named);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(r.ExceptionAddress), e.contextRecord.Rip);
        if (c.where != nullptr && *c.where != '\0') {
            EXPECT_EQ(functionAt(r.ExceptionAddress), c.where);
        } else if (c.where != nullptr) {
            EXPECT_EQ(hex(r.ExceptionAddress), hex(c.address));
        }
        EXPECT_EQ(std::string(e.info), "The instruction at " + hex(r.ExceptionAddress) +
                                           " referenced memory at " + hex(named) + c.tail);
    }
    for (const std::uintptr_t mapping : {truncated, none, data}) {
        munmap(reinterpret_cast<void*>(mapping), page);
    }
    close(fd);
}

bool blocked(int sig) {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, sig) == 1;
}

// A thread survives any number of faults of every kind, stack overflows
// included, and its signal mask afterwards is the one it had before (the
// handler runs with the faulting signal blocked).
void faultRepeatedly() {
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &usr2, nullptr);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(translated([&] { readAt(nullptr); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_ACCESS_VIOLATION);
        const unitCmnException divide = translated([&] { divideBy(i, 0); });
        EXPECT_EQ(divide.exceptionRecord.ExceptionCode, EXCEPTION_INT_DIVIDE_BY_ZERO);
        EXPECT_EQ(std::string(divide.info),
                  "Address : " + hex(divide.exceptionRecord.ExceptionAddress));
        EXPECT_EQ(translated([&] { illegalInstruction(); }).exceptionRecord.ExceptionCode,
                  EXCEPTION_ILLEGAL_INSTRUCTION);
        const unitCmnException overflow = translated([] { recurse(0, -1, nullptr); });
        EXPECT_EQ(functionAt(overflow.exceptionRecord.ExceptionAddress), "recurse");
        EXPECT_FALSE(blocked(SIGSEGV) || blocked(SIGFPE) || blocked(SIGILL));
        EXPECT_TRUE(blocked(SIGUSR2));
    }
    pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
}

TEST_F(Faults, EveryThreadFaultsAgainWithItsMaskIntact) {
    faultRepeatedly();
    std::vector<std::thread> threads(8);  // faulting at the same time
    for (auto& thread : threads) {
        thread = std::thread(faultRepeatedly);
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// The handlers of the four signals as the process has them now.
std::vector<std::pair<void*, int>> handlers() {
    std::vector<std::pair<void*, int>> out;
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        out.emplace_back(reinterpret_cast<void*>(now.sa_sigaction), now.sa_flags & SA_SIGINFO);
    }
    return out;
}

TEST_F(Faults, ModuleWithThePlatformLayerRestoresHandlersWhenUnloaded) {
    const auto before = handlers();
    HMODULE hook = loadTestModule("hookmodule.dll");
    ASSERT_NE(hook, nullptr);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_NE(handlers()[i], before[i]) << i;
    }
    // Its handler sees a fault that is not its own and passes it on to ours.
    EXPECT_EQ(translated([] { readAt(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);
    ASSERT_TRUE(FreeLibrary(hook));
    const std::string path = std::string(ORV_TEST_MODULE_DIR) + "/libhookmodule.so";
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the module stayed loaded";
    EXPECT_EQ(handlers(), before);
    EXPECT_EQ(translated([] { readAt(nullptr); }).exceptionRecord.ExceptionCode,
              EXCEPTION_ACCESS_VIOLATION);
}

// What must not be translated. Each case runs in a fresh child process
// (threadsafe style re-executes the binary), so that it can install its own
// handler before the platform's and so that its death harms nobody.
class FaultsDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void previousHandler(int, siginfo_t*, void*) {
    (void)!write(2, "previous handler\n", 17);
    _exit(42);
}

void previousPlainHandler(int sig) {
    previousHandler(sig, nullptr, nullptr);
}

struct sigaction disposition(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    return action;
}

// Faults outside a guard, and signals sent inside one, reach the handler the
// host had installed before the library, or the default action where it had
// none. A guard left by an exception guards no more.
TEST_F(FaultsDeathTest, WhatIsNotOursKeepsItsFate) {
    struct sigaction withInfo {};
    withInfo.sa_sigaction = &previousHandler;
    withInfo.sa_flags = SA_SIGINFO;
    const struct {
        const char* name;
        struct sigaction previous;
        bool sent;  // raised inside a guard, rather than a fault outside any
        bool previousRuns;
    } cases[] = {
        {"previous handler with SA_SIGINFO", withInfo, false, true},
        {"previous plain handler", disposition(&previousPlainHandler), false, true},
        {"signal sent inside a guard", withInfo, true, true},
        {"default action", disposition(SIG_DFL), false, false},
        // The kernel does not let an ignored hardware fault pass; neither do we.
        {"ignored", disposition(SIG_IGN), false, false},
    };
    const auto rawRead = readAt.get();
    for (const auto& c : cases) {
        const auto body = [&] {
            const rlimit noCoreDumps{0, 0};
            setrlimit(RLIMIT_CORE, &noCoreDumps);
            sigaction(SIGSEGV, &c.previous, nullptr);
            _set_se_translator(&translateStructuredException);
            try {
                readAt(nullptr);
                _exit(1);
            } catch (unitCmnException&) {
            }
            try {
                orvplatform::guardedCall([] { throw 1; });
            } catch (int) {
            }
            try {
                c.sent ? raiseSignal(SIGSEGV) : (void)rawRead(nullptr);
            } catch (...) {
                _exit(1);
            }
        };
        if (c.previousRuns) {
            EXPECT_EXIT(body(), ::testing::ExitedWithCode(42), "previous handler") << c.name;
        } else {
            EXPECT_EXIT(body(), ::testing::KilledBySignal(SIGSEGV), "") << c.name;
        }
    }
}

}  // namespace
